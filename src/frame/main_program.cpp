#include "frame/main_program.h"

#include "frame/run_files.h"
#include "frame/simulation_driver.h"
#include "output/column_solver_counts.h"
#include "output/run_outputs.h"
#include "output/visualisation/plan_file_library.h"
#include "services/console.h"
#include "services/error_reporting.h"
#include "services/stops.h"

namespace quendal {

void MAIN_START_HOOK() {}

int MAIN_PROGRAM(const std::vector<std::string>& args, const std::string& current_dir,
                 Model& model) {
  set_flush_to_zero();
  REPORT_ERROR(model.io, SEVERITY_INITIALISE, 0, 0, 0, 0, "Initialise error messages");
  READ_COMMAND_LINE(args, current_dir, model.io);
  MAIN_START_HOOK();
  model.frame.STEP_COUNT = 0;
  model.frame.UZNOW = 0.0;
  OPEN_RUN_FILES(model.io);
  // A run that names a plan or a visualisation output reads and checks its plan; a
  // layer put in place before the run (a test's) stays.
  const RunNames& names = model.io.names;
  if ((!names.PLAN_FILE_NAME.empty() || !names.HDF5_FILE_NAME.empty()) &&
      !model.output.visualisation.VIS_LIBRARY) {
    model.output.visualisation.VIS_LIBRARY = make_plan_file_library(model.io, model.frame);
  }
  SIMULATION_DRIVER(model);
  WRITE_RUN_OUTPUTS("end  ", model.frame, model.surface, model.subsurface, model.output,
                    model.io);
  // The run says it completed only once everything it wrote is on disk: the
  // visualisation output closed, every file flushed, then the summary with the column
  // solver's counts under its budget, which confirms the completion last. A write that
  // fails on the way is fatal error 1094.
  call_visualisation(model, "end");
  model.io.units.flush_all_checked();
  complete_run(model.io, [&] {
    END_OF_RUN_SUMMARY(model.frame, model.output, model.io);
    write_column_solver_counts(model.subsurface, model.io);
  });
  wait_milliseconds(500);
  return EXIT_NORMAL;
}

int run_program(const std::vector<std::string>& args, const std::string& current_dir,
                Model& model) {
  return run_guarded(model, [&] { return MAIN_PROGRAM(args, current_dir, model); });
}

int run_guarded(Model& model, const std::function<int()>& body) {
  // However the run ends, the visualisation output is closed (once) and every file with
  // it, before the lock on the outputs goes, so that the next run finds them complete.
  auto end_with = [&](int status) {
    try {
      VIS_CLOSE(model.output.visualisation);
    } catch (const FatalError&) {
      // The close failed and said so (1094). Only a stopped run gets here with the
      // output open, so its status stands.
    }
    model.io.units.flush_all();
    model.io.units.close_all();
    // A run that stopped before its visualisation file was made leaves no empty file
    // under that name for a reader to fail on: the file is made only with its contents.
    if (status != EXIT_NORMAL && !model.io.names.HDF5_FILE_NAME.empty()) {
      model.io.output_locks.remove_if_created_and_empty(model.io.names.HDF5_FILE_NAME);
    }
    model.io.output_locks.release();
    return status;
  };
  try {
    return end_with(body());
  } catch (const OutputWriteError& e) {
    try {
      report_write_failure(model.io, e.file, e.reason);
    } catch (const FatalError&) {
    }
    return end_with(EXIT_FATAL_ERROR);
  } catch (const FatalError&) {
    return end_with(EXIT_FATAL_ERROR);
  } catch (const ImmediateStop&) {
    return end_with(EXIT_IMMEDIATE_STOP);
  } catch (const InputError& e) {
    // A value that cannot be read: say where, on the print file and the console.
    std::string message = std::string(" Input error: ") + e.what();
    if (&model.io.units.print() != &model.io.console) {
      try {
        model.io.units.print().write_record(message);
      } catch (const OutputWriteError&) {
        // The console has it.
      }
    }
    model.io.console.write_record(message);
    return end_with(EXIT_INPUT_ERROR);
  }
}

}  // namespace quendal
