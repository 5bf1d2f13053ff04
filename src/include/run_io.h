// The run's files, names and error log: what every component needs to read its data
// file and to report. The Model owns one RunIo; procedures take it by reference.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "include/arrays.h"
#include "services/console.h"
#include "services/input_places.h"
#include "services/units.h"

namespace quendal {

// Names and switches found on the command line and in the run-data file.
struct RunNames {
  std::string RUNDATA_FILE_NAME;
  std::string RUN_NAME;
  std::string RUN_DIR;    // directory of the run-data file, ending in "/" (or empty)
  std::string START_DIR;  // current directory when the program started
  std::string CATCHMENT_LIST_FILE_NAME;  // the catchment list read for "-c" ("" otherwise)
  std::string LOG_FILE_NAME;
  std::string PLAN_FILE_NAME;
  std::string CHECK_FILE_NAME;
  std::string HDF5_FILE_NAME;
  std::string RESULTS_STORE_FILE_NAME;
  bool STATUS_FILE_ON = false;
  bool AIR_TEMPERATURE_FILES_ON = false;
  bool EXTRA_DISCHARGE_POINTS_ON = false;
  bool ZQ_TABLES_ON = false;
};

class FatalReportContext;

// Counts of the reports made through REPORT_ERROR.
struct ErrorLog {
  ErrorLog() { ERROR_COUNTS.resize_range(0, 100, 0, 3, 0); }
  int ERROR_TOTAL = 0;
  Array2<int> ERROR_COUNTS;  // (remainder 0..100, thousands digit 0..3)
  std::string HELP_FOLDER;
  // The contexts whose lines a fatal report adds, outermost first.
  std::vector<const FatalReportContext*> fatal_contexts;
  // The error reports (severity 2, with their continuation lines) made at the simulated
  // time `errors_time`, as their unit has them: the console shows them before a fatal
  // report made at that time, the first ERRORS_SHOWN of them and the count of the rest.
  static constexpr int ERRORS_SHOWN = 10;
  std::vector<std::string> errors_lines;
  double errors_time = 0.0;
  int errors_shown = 0;
  int errors_not_shown = 0;
  bool error_continues = false;  // continuation lines belong to a report kept
  // Every number reported with a non-zero severity (those without a count of their own
  // in ERROR_COUNTS too): how often, and the files its reports went to, in the order
  // first met ("" for the console). The console names them at the end of a completed
  // run.
  struct NumberReports {
    int count = 0;
    std::vector<std::string> files;
  };
  std::map<int, NumberReports> reported;
};

struct RunIo {
  explicit RunIo(std::FILE* console_out = stdout) : console(console_out), units(console) {}
  RunIo(const RunIo&) = delete;
  RunIo& operator=(const RunIo&) = delete;

  Console console;
  UnitTable units;
  RunNames names;
  ErrorLog errors;
  // Where the values of the data files were read, for the checks made after reading.
  InputPlaces places;
  // Every output of the run, opened and locked before any is emptied and held until the
  // run ends: a second run that would write one of them stops at start, touching nothing.
  OutputLocks output_locks;
  // The simulated time shown in every error heading; points at the run clock.
  const double* clock_hours = nullptr;
  double now() const { return clock_hours ? *clock_hours : 0.0; }
};

}  // namespace quendal
