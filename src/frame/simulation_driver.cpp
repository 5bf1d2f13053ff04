#include "frame/simulation_driver.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "contaminant/cm_initialise.h"
#include "contaminant/contaminant.h"
#include "frame/catchment_setup.h"
#include "frame/early_counts.h"
#include "frame/element_order.h"
#include "frame/hotstart.h"
#include "frame/timestep_control.h"
#include "output/run_outputs.h"
#include "sediment/sy_step.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "subsurface/vss_time_step.h"
#include "surface/et/et_step.h"
#include "surface/oc/oc_time_step.h"
#include "surface/surface_state.h"

namespace quendal {

namespace {

constexpr int STATUS_UNIT = 22;
constexpr int SEDIMENT_PRINT_UNIT = 24;
constexpr int CONTAMINANT_PRINT_UNIT = 25;

// Dates are given to the minute, so the run length and the start times of sediment and
// contaminants are taken in whole minutes (the calendar's small offset and rounding
// never add a step), and the clock reaches a mark when it is within a tolerance far
// below the smallest step allowed.
double hours_in_whole_minutes(double hours) { return std::round(hours * 60.0) / 60.0; }
bool clock_reached(double clock, double mark) { return clock >= mark - 1e-7; }

void write_status(Model& model) {
  if (!model.io.names.STATUS_FILE_ON) return;
  model.io.units.rewind(STATUS_UNIT);
  Unit& status = model.io.units.unit(STATUS_UNIT);
  write_formatted(status, "('Current time = ',F10.2,' hours. Number of steps = ',I7,' steps.'/)",
                  model.frame.UZNOW, model.frame.STEP_COUNT);
  status.flush();
}

// The print files hand what they were given to the system (no sync to disk): a run
// killed later leaves in them every line written up to here. A file not written to
// since its last flush costs nothing.
void flush_print_files(Model& model) {
  for (int unit : {PRINT_UNIT, SEDIMENT_PRINT_UNIT, CONTAMINANT_PRINT_UNIT}) {
    model.io.units.flush_written(unit);
  }
}

// When sediment and contaminants become due: hours after the run's start.
struct ComponentStarts {
  double sediment = 0.0, contaminants = 0.0;
};

// The start-up of the time loop, after the catchment set-up.
void start_up(Model& model, bool& first_cm_step, const ComponentStarts& starts) {
  FrameState& frame = model.frame;
  first_cm_step = true;
  // The start-up calls pass the clock (0, or the hot-start time), so nothing recorded
  // then is stamped earlier than the state it holds.
  call_visualisation(model);
  // A hot start that restored the order keeps it: the order a sort pass leaves depends
  // on the order it starts from, and the run that saved it had sorted it once already.
  if (!frame.ISORT_RESTORED) BUILD_ISORT(frame, model.surface, model.subsurface);
  // A hot start keeps the step the hot-start record restored.
  if (!frame.HOTSTART_READ) frame.UZNEXT = frame.BASIC_TIMESTEP;
  WRITE_RUN_OUTPUTS("start", frame, model.surface, model.subsurface, model.output, model.io);
  model.io.console.write_record(format_line("('  Length of Simulation =',F12.2,' hours. ')",
                                            frame.RUN_END_TIME - frame.RUN_START_TIME));
  model.io.console.write_record("");
  model.io.console.write_record("");
  if (frame.SEDIMENT_ON) GET_NSED_EARLY(model.sediment, model.io);
  if (frame.CONTAMINANT_ON) {
    GET_NCON_EARLY(model.contaminant, model.io);
    // A catchment the contaminants cannot run on stops now, not when they become due.
    check_contaminant_banks(frame, model.io);
  }
  frame.HRF_SY_COPY.resize(frame.NEL, 0.0);
  if (frame.HOTSTART_READ) {
    check_saved_components(model, clock_reached(frame.UZNOW, starts.sediment),
                           clock_reached(frame.UZNOW, starts.contaminants));
    // Components whose state the record holds are set up now and take it back, so that
    // the run's first records show it; their first step then moves on from it as the
    // saved run's next step did.
    if (model.sediment.saved.given) {
      for (int iel = 1; iel <= frame.NEL; ++iel) frame.HRF_SY_COPY(iel) = GET_HRF(model.surface, iel);
      SY_RESUME(frame, model.surface, model.subsurface, model.sediment, model.io);
    }
    if (model.contaminant.saved.given) {
      CM_RESUME(frame.SEDIMENT_ON, model);
      first_cm_step = false;
    }
  }
  call_visualisation(model);
  // The echo of the inputs is kept even when the first step is killed.
  flush_print_files(model);
}

}  // namespace

void fill_link_evaporation(Model& model) {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  const SubsurfaceState& subsurface = model.subsurface;
  for (int iel = 1; iel <= frame.NLF; ++iel) {
    surface.PNETTO(iel) = frame.ELEMENT_RAIN_RATE(iel);
    surface.ET_POTENTIAL_EVAP(iel) =
        frame.STATION_POTENTIAL_EVAP(frame.MET_SITE_OF_ELEMENT(iel)) / 1000.0;
    int well = subsurface.WELL_WATER_SOURCE.empty() ? 0 : subsurface.WELL_WATER_SOURCE(iel);
    if (well != 0) {
      surface.PNETTO(iel) += subsurface.WELL_ABSTRACTION(well) * frame.AREA(well) / frame.AREA(iel);
    }
  }
  for (int iel = 1; iel <= frame.NLF; ++iel) {
    double available = surface.ARXL(iel) / (frame.AREA(iel) * frame.DTUZ);
    double evaporation = std::min(surface.ET_POTENTIAL_EVAP(iel), available);
    surface.ET_SURFACE_WATER_EVAP(iel) = evaporation;
    surface.ET_GROUND_EVAP(iel) = evaporation;
  }
}

void write_progress_line(Model& model) {
  FrameState& frame = model.frame;
  if (!(frame.UZNOW > static_cast<double>(frame.PROGRESS_HOUR_MARK))) return;
  double length = hours_in_whole_minutes(frame.RUN_END_TIME - frame.RUN_START_TIME);
  double percent = std::min(100.0 * frame.UZNOW / length, 100.0);
  model.io.console.write_record(format_line(
      "('+','Simulation Timestep =',F12.2,' hours   % Completed = ',F6.2)", frame.UZNOW, percent));
  frame.PROGRESS_HOUR_MARK += 24;
}

void call_visualisation(Model& model, std::string_view mode) {
  VIS_DRIVER(model.frame.UZNOW, mode, model.frame, model.surface, model.subsurface,
             model.sediment, model.contaminant, model.output, model.output.visualisation,
             model.io);
}

void SIMULATION_DRIVER(Model& model) {
  // From here on a console record starting with "+" overwrites the progress line.
  model.io.console.connect_carriage_control();
  bool first_cm_step = true;
  CATCHMENT_SETUP(model);
  FrameState& frame = model.frame;
  const double run_length = hours_in_whole_minutes(frame.RUN_END_TIME - frame.RUN_START_TIME);
  const ComponentStarts starts{
      hours_in_whole_minutes(frame.SEDIMENT_START_TIME - frame.RUN_START_TIME),
      hours_in_whole_minutes(frame.CONTAMINANT_START_TIME - frame.RUN_START_TIME)};
  start_up(model, first_cm_step, starts);

  // A run restarted from a record at or after its end has no step left to take.
  bool finished = frame.HOTSTART_READ && clock_reached(frame.UZNOW, run_length);
  while (!finished) {
    // 1-2: the step, the met data, evapotranspiration, the subsurface.
    TIMESTEP_CONTROL(frame, model.surface, model.surface.SD, model.io);
    frame.STEP_COUNT += 1;
    frame.PREVIOUS_TIMESTEP = frame.UZNEXT;
    ET_TIME_STEP(frame, model.subsurface, model.surface, model.io);
    VSS_TIME_STEP(frame, model.surface, model.subsurface, model.io);

    // 3-5: the clock, the channel links' ET outputs, overland and channel flow.
    frame.UZNOW += frame.UZNEXT;
    fill_link_evaporation(model);
    OC_TIME_STEP(frame, model.surface, model.subsurface, model.oc_step, model.io);
    frame.LAST_OC_STEP_TIME = frame.UZNOW;

    // 6-9: sediment and contaminants, once due.
    const bool sediment_due = frame.SEDIMENT_ON && clock_reached(frame.UZNOW, starts.sediment);
    const bool contaminants_due =
        frame.CONTAMINANT_ON && clock_reached(frame.UZNOW, starts.contaminants);
    BUILD_ISORT(frame, model.surface, model.subsurface);
    if (sediment_due) {
      for (int iel = 1; iel <= frame.NEL; ++iel) frame.HRF_SY_COPY(iel) = GET_HRF(model.surface, iel);
      SY_STEP(frame, model.surface, model.subsurface, model.sediment, model.io);
    } else if (contaminants_due && frame.SEDIMENT_ON) {
      // The two dates, where the frame data file gave them.
      std::vector<std::string> dates;
      if (!frame.SEDIMENT_START_PLACE.file.empty()) {
        dates.push_back("the sediment start was read from " +
                        describe_place(frame.SEDIMENT_START_PLACE));
      }
      if (!frame.CONTAMINANT_START_PLACE.file.empty()) {
        dates.push_back("the contaminant start was read from " +
                        describe_place(frame.CONTAMINANT_START_PLACE));
      }
      report_fatal_with_details(model.io, 1041, CONTAMINANT_PRINT_UNIT, 0, 0,
                                "Start-time for sediment is later than for contaminants", dates);
    }
    if (contaminants_due) {
      if (first_cm_step) {
        CM_INITIALISE(frame.SEDIMENT_ON, model);
        first_cm_step = false;
        frame.RESULTS_CLASS_MASK = std::string(31, '0') + std::string(10, '1') + std::string(9, ' ');
        if (frame.RESULTS_STORE_ON) {
          STORE_RESULTS_BY_CLASS(frame.RESULTS_CLASS_MASK, 0.0, false, frame, model.output, model.io);
        }
      } else {
        CM_TIME_STEP(frame.SEDIMENT_ON, model);
      }
    }

    // 10-12: water balance and the results store.
    WATER_BALANCE_ERROR(frame, model.surface, model.subsurface, model.output);
    model.output.BALANCE_PERIOD_DAILY = 1;
    WRITE_DAILY_BALANCE(frame, model.surface, model.subsurface, model.output, model.io);
    if (sediment_due) SY_POST_STEP();
    frame.RESULTS_CLASS_MASK = std::string(49, '1') + " ";
    if (frame.RESULTS_STORE_ON) {
      STORE_RESULTS_BY_CLASS(frame.RESULTS_CLASS_MASK, frame.UZNOW, false, frame, model.output,
                             model.io);
    }

    // 13-17: hot-start record, visualisation, print files, run outputs, status file,
    // progress line. The print files are handed over before the run outputs, so that a
    // step's dated discharge line is never in its file without the step's print lines.
    if (frame.HOTSTART_WRITE && frame.UZNOW >= frame.NEXT_HOTSTART_TIME) {
      write_hotstart_record(model);
      frame.NEXT_HOTSTART_TIME += frame.HOTSTART_INTERVAL;
    }
    call_visualisation(model);
    flush_print_files(model);
    WRITE_RUN_OUTPUTS("main ", frame, model.surface, model.subsurface, model.output, model.io);
    // The status file counts the step only once every output of the step is in its file,
    // so it comes last rather than before the visualisation and the run outputs: a run
    // killed in between never leaves a status counting a step whose dated discharge
    // line (or any other record of the step) is missing.
    write_status(model);
    write_progress_line(model);

    // 18: the end test.
    finished = clock_reached(frame.UZNOW, run_length);
  }
}

}  // namespace quendal
