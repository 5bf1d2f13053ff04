// Storms on the generated valleys (generated_run.h), run to the end and drained: every
// run of the program's step, in the simulation driver's order, from a storm peaking at
// each of the given rates to 72 hours, with no rain after the storm and a channel-flow
// cap high enough never to stop it. A measurement, not a test: it reports, per valley and
// storm,
//   - whether the run completed, and the reports of fatal 1060 and warnings 1024, 1026,
//     1030 and 1095 it made;
//   - the largest |accumulated balance error| of an element at the end (m), and the
//     lowest outlet discharge of a step (m3/s; never negative if the weir never runs
//     backwards);
//   - the freeze criteria after the rain: the steps in which the land-surface plus
//     channel storage rose by more than the water the subsurface returned to the surface
//     in the step, and the steps, while that storage exceeded 1 mm, in which the outlet
//     discharge fell by more than half from one step to the next;
//   - the time that storage fell below 1 mm, the outlet peak and its time, and the time
//     the outlet fell below 1 % of its peak;
//   - the steps, and the largest number of sub-steps an OC step took.
//
// Usage: valley_storm_runs [--peaks=20,30,40,50] [--hours=72] [--step=1] [n ...] (grids,
// default 50 100 200; the basic time step in hours). With QUENDAL_BENCH_KEEP set, the run directories (under the system's
// temporary directory) are kept, with a file hydrograph.csv of time, outlet discharge,
// storage and subsurface return per step.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "frame/catchment_setup.h"
#include "frame/element_order.h"
#include "frame/main_program.h"
#include "frame/run_files.h"
#include "frame/simulation_driver.h"
#include "frame/timestep_control.h"
#include "generated_run.h"
#include "output/run_output_files.h"
#include "output/water_balance.h"
#include "services/error_reporting.h"
#include "subsurface/vss_time_step.h"
#include "surface/et/et_step.h"
#include "surface/oc/oc_time_step.h"

namespace quendal {
namespace {

constexpr double DRAINED = 1.0;                // mm of surface and channel storage

struct Outcome {
  int n = 0, status = 0;
  double peak_rate = 0.0;  // mm/h
  double hours = 0.0, seconds = 0.0;
  long steps = 0;
  int fatal_1060 = 0, warnings_1024 = 0, warnings_1026 = 0, warnings_1030 = 0, warnings_1095 = 0;
  double largest_balance_error = 0.0;                        // m
  double lowest_outlet = std::numeric_limits<double>::infinity();  // m3/s
  int storage_rises = 0;          // steps after the rain that made surface water
  double largest_rise = 0.0;      // mm beyond the subsurface's return
  int outlet_drops = 0;           // steps with the outlet more than halved while wet
  double deepest_drop = 1.0;      // lowest ratio of a step's outlet to the last one's
  double drained_at = -1.0;       // h: storage below DRAINED after the rain
  double peak = 0.0, peak_at = 0.0;  // m3/s, h
  double receded_at = -1.0;       // h: outlet below 1 % of its peak after it
  double storage_at_end = 0.0;    // mm
  int largest_substeps = 0;
  long substepped = 0;          // steps taken in more than one sub-step
  int largest_rounds = 0;       // of a call of the outflow limiter
  long circulations = 0;        // cancelled by the limiter
};

// Surface water on the land and in the channels, mm over the catchment.
double surface_storage(const Model& m) {
  const FrameState& f = m.frame;
  double volume = 0.0;
  for (int e = 1; e <= f.NEL; ++e) {
    if (e <= f.NLF) {
      volume += m.surface.ARXL(e) * f.CLENTH(e);
    } else {
      volume += std::max(m.surface.GET_HRF(e) - f.ZGRUND(e), 0.0) * f.AREA(e);
    }
  }
  return 1000.0 * volume / f.TOTAL_CATCHMENT_AREA;
}

// Water the subsurface returned to the surface over the step, mm over the catchment:
// exfiltration and springs of the squares, inflow from the aquifer into the channels.
double subsurface_return(const Model& m) {
  const FrameState& f = m.frame;
  const SubsurfaceState& s = m.subsurface;
  double rate = 0.0;  // m3/s
  for (int e = 1; e <= f.NEL; ++e) {
    if (e <= f.NLF) {
      double out = 0.0;
      for (int side = 1; side <= 2; ++side) {
        out += s.STREAM_AQUIFER_LATERAL_FLOW(e, side) + s.STREAM_AQUIFER_WET_FLOW(e, side) +
               s.STREAM_AQUIFER_DRY_FLOW(e, side);
      }
      rate += std::max(-out, 0.0);
    } else {
      const double spring = s.SPRING_DISCHARGE.empty() ? 0.0 : s.SPRING_DISCHARGE(e);
      rate += std::max(s.INFILTRATION_RATE(e) * f.AREA(e) + spring, 0.0);
    }
  }
  return 1000.0 * rate * f.DTUZ / f.TOTAL_CATCHMENT_AREA;
}

Outcome run_storm(int n, double peak_rate, double hours, double basic_step) {
  Outcome r;
  r.n = n;
  r.peak_rate = peak_rate;
  bench::Storm storm;
  storm.peak = peak_rate;
  const std::string dir =
      (std::filesystem::temp_directory_path() /
       ("quendal_storm_" + std::to_string(n) + "_" + std::to_string(static_cast<int>(peak_rate)) +
        "_" + std::to_string(getpid())))
          .string();
  const std::string rundata = bench::write_valley_run(dir, n, hours, storm, bench::NO_CHANNEL_FLOW_CAP, basic_step);
  std::FILE* console = std::fopen((dir + "/console.txt").c_str(), "w");
  auto model = std::make_unique<Model>(console);
  Model& m = *model;
  FrameState& frame = m.frame;
  std::ostringstream hydrograph;
  hydrograph << "hours,outlet_m3s,storage_mm,return_mm\n";
  const auto t0 = std::chrono::steady_clock::now();

  r.status = run_guarded(m, [&] {
    REPORT_ERROR(m.io, SEVERITY_INITIALISE, 0, 0, 0, 0, "Initialise error messages");
    READ_COMMAND_LINE({"-f", rundata}, dir, m.io);
    OPEN_RUN_FILES(m.io);
    CATCHMENT_SETUP(m);
    BUILD_ISORT(frame, m.surface, m.subsurface);
    frame.UZNEXT = frame.BASIC_TIMESTEP;
    WRITE_RUN_OUTPUTS("start", frame, m.surface, m.subsurface, m.output, m.io);
    const double run_length = std::round((frame.RUN_END_TIME - frame.RUN_START_TIME) * 60.0) / 60.0;
    double storage = surface_storage(m), outlet = 0.0;
    while (frame.UZNOW < run_length - 1e-7) {
      // The driver's step (snow, sediment and contaminants are off).
      TIMESTEP_CONTROL(frame, m.surface, m.surface.SD, m.io);
      frame.STEP_COUNT += 1;
      frame.PREVIOUS_TIMESTEP = frame.UZNEXT;
      ET_TIME_STEP(frame, m.subsurface, m.surface, m.io);
      VSS_TIME_STEP(frame, m.surface, m.subsurface, m.io);
      frame.UZNOW += frame.UZNEXT;
      fill_link_evaporation(m);
      OC_TIME_STEP(frame, m.surface, m.subsurface, m.oc_step, m.io);
      frame.LAST_OC_STEP_TIME = frame.UZNOW;
      BUILD_ISORT(frame, m.surface, m.subsurface);
      WATER_BALANCE_ERROR(frame, m.surface, m.subsurface, m.output);
      WRITE_RUN_OUTPUTS("main ", frame, m.surface, m.subsurface, m.output, m.io);
      r.steps += 1;

      const double t = frame.UZNOW;
      const double q = m.output.outlet_outflow(m.surface.QOC(m.output.OUTLET_ELEMENT, m.output.OUTLET_FACE));
      const double s = surface_storage(m), returned = subsurface_return(m);
      hydrograph << t << "," << q << "," << s << "," << returned << "\n";
      r.lowest_outlet = std::min(r.lowest_outlet, q);
      if (q > r.peak) {
        r.peak = q;
        r.peak_at = t;
        r.receded_at = -1.0;
      } else if (r.receded_at < 0.0 && q < 0.01 * r.peak) {
        r.receded_at = t;
      }
      if (t - frame.UZNEXT >= storm.end - 1e-9) {
        // Round-off of the storage sums: far below a micrometre.
        const double rise = (s - storage) - returned;
        if (rise > 1e-9) {
          r.storage_rises += 1;
          r.largest_rise = std::max(r.largest_rise, rise);
        }
        if (storage > DRAINED && outlet > 0.0) {
          if (q < 0.5 * outlet) r.outlet_drops += 1;
          r.deepest_drop = std::min(r.deepest_drop, q / outlet);
        }
        if (r.drained_at < 0.0 && s < DRAINED) r.drained_at = t;
      }
      storage = s;
      outlet = q;
    }
    return 0;
  });
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.hours = frame.UZNOW;
  r.storage_at_end = surface_storage(m);
  const Array2<int>& counts = m.io.errors.ERROR_COUNTS;
  r.fatal_1060 = counts(60, 1);
  r.warnings_1024 = counts(24, 1);
  r.warnings_1026 = counts(26, 1);
  r.warnings_1030 = counts(30, 1);
  r.warnings_1095 = counts(95, 1);
  for (int e = 1; e <= frame.NEL && !m.output.ELEMENT_BALANCE_ERROR.empty(); ++e) {
    r.largest_balance_error = std::max(r.largest_balance_error, std::fabs(m.output.ELEMENT_BALANCE_ERROR(e)));
  }
  r.largest_substeps = m.oc_step.largest_substeps;
  r.substepped = m.oc_step.substepped_steps;
  r.largest_rounds = m.oc_step.limiter.largest_rounds;
  r.circulations = m.oc_step.limiter.cancelled_circulations;
  if (console != nullptr) std::fclose(console);
  if (std::getenv("QUENDAL_BENCH_KEEP") != nullptr) {
    std::FILE* out = std::fopen((dir + "/hydrograph.csv").c_str(), "w");
    if (out != nullptr) {
      std::fputs(hydrograph.str().c_str(), out);
      std::fclose(out);
    }
  } else {
    std::filesystem::remove_all(dir);
  }
  return r;
}

void print(const Outcome& r) {
  std::printf("%5d %5.0f %6s %7.2f %5ld %5d %5d %5d %5d %5d %9.1e %9.2e %5d %8.1e %5d %6.3f %7.2f %8.2f %6.2f %7.2f %7.3f %4d %5ld %6d %6ld %6.1f\n",
              r.n, r.peak_rate, r.status == 0 ? "yes" : "NO", r.hours, r.steps, r.fatal_1060,
              r.warnings_1024, r.warnings_1026, r.warnings_1030, r.warnings_1095,
              r.largest_balance_error, r.lowest_outlet, r.storage_rises, r.largest_rise,
              r.outlet_drops, r.deepest_drop, r.drained_at, r.peak, r.peak_at, r.receded_at,
              r.storage_at_end, r.largest_substeps, r.substepped, r.largest_rounds, r.circulations, r.seconds);
  std::fflush(stdout);
}

}  // namespace
}  // namespace quendal

int main(int argc, char** argv) {
  using namespace quendal;
  set_flush_to_zero();  // as the program does
  std::vector<int> sizes;
  std::vector<double> peaks = {20.0, 30.0, 40.0, 50.0};
  double hours = 72.0, basic_step = 1.0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--peaks=")) {
      peaks.clear();
      std::stringstream list(arg.substr(8));
      for (std::string item; std::getline(list, item, ',');) peaks.push_back(std::atof(item.c_str()));
    } else if (arg.starts_with("--step=")) {
      basic_step = std::atof(arg.c_str() + 7);
    } else if (arg.starts_with("--hours=")) {
      hours = std::atof(arg.c_str() + 8);
    } else {
      sizes.push_back(std::atoi(arg.c_str()));
    }
  }
  if (sizes.empty()) sizes = {50, 100, 200};
  std::printf("Generated valleys, storms from hour 6 to 15 peaking at hour 9, runs of %.0f h, basic step %.2f h.\n"
              "done: completed; 1060 ... 1095: reports; balance: largest |element balance error|"
              " (m); lowest: lowest outlet discharge (m3/s);\n"
              "rises / by: steps after the rain whose surface storage rose by more than the"
              " subsurface returned, and the largest excess (mm);\n"
              "drops / ratio: steps the outlet fell by more than half while the storage exceeded"
              " 1 mm, and the lowest ratio of one step's outlet to the last;\n"
              "dry: hour the storage fell below 1 mm; peak (m3/s) at hour; 1%%: hour the outlet"
              " fell below 1%% of its peak; end: storage at the end (mm); sub: largest number of"
              " sub-steps; subst: steps taken in sub-steps; rounds: most rounds of a limiter call; cycles: circulations the limiter"
              " cancelled; s: wall time.\n\n",
              hours, basic_step);
  std::printf("%5s %5s %6s %7s %5s %5s %5s %5s %5s %5s %9s %9s %5s %8s %5s %6s %7s %8s %6s %7s %7s %4s %5s %6s %6s %6s\n",
              "grid", "mm/h", "done", "hours", "steps", "1060", "1024", "1026", "1030", "1095",
              "balance", "lowest", "rises", "by", "drops", "ratio", "dry", "peak", "at", "1%",
              "end", "sub", "subst", "rounds", "cycles", "s");
  for (int n : sizes) {
    for (double p : peaks) print(run_storm(n, p, hours, basic_step));
  }
  return 0;
}
