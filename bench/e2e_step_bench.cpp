// End-to-end cost of the model's step on generated catchments of about 2,500, 10,000
// and 40,000 elements (generated_run.h: 20 cells under every square, grass, one
// simulated day with a storm), read by the catchment set-up from their files and run
// step by step in the simulation driver's order.
//
// Prints per catchment the time per element and step of the whole step and of its
// overland and channel flow (OC, with the links' ET outputs the driver fills before
// it), subsurface (VSS) and evapotranspiration (ET) parts; per step the mean Krylov
// iterations of the OC level solve, the global sweeps of the subsurface iteration, the
// most sweeps a step took and the share of steps whose iteration ended unconverged
// (error 1039); the mean Newton iterations of a column
// solve and the column solves per column and step, and over the day the rows the column
// solver solved with their Picard diagonal and the iterations it scaled down to its step
// limit. Below the table, per catchment, the subsurface's cost per cell-iteration (one cell
// through one Newton iteration of a column solve) and the share of the whole step that
// the column solver's tridiagonal elimination takes: the elimination of a system of the
// columns' size is timed on its own and multiplied by the Newton iterations of the run.
// Then the time one simulated year of
// the largest catchment would take at the measured cost, with hourly steps and the
// storm day's share of extra steps on one day in ten.
//
// Usage: e2e_step_bench [--peak=mm/h] [--kernel=baseline|avx2|avx512] [n ...]: the
// storm's peak (default 20 mm/h), the build of the column solver (default the one a
// run takes on this processor) and the grid sizes (default 50 100 200). With QUENDAL_BENCH_KEEP set, the run directories
// (under the system's temporary directory) are kept for a look at their files.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
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
#include "services/solvers.h"
#include "services/console.h"
#include "services/error_reporting.h"
#include "subsurface/vss_column_solver.h"
#include "subsurface/vss_time_step.h"
#include "surface/et/et_step.h"
#include "surface/oc/oc_time_step.h"

namespace quendal {
namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Result {
  int n = 0, elements = 0, columns = 0, cells = 0;
  long steps = 0;
  int status = 0;
  double hours = 0.0;        // simulated
  double setup = 0.0;        // s
  double whole = 0.0, oc = 0.0, vss = 0.0, et = 0.0;  // s over the steps
  long krylov = 0, newton = 0, solves = 0, sweeps = 0, most_sweeps = 0, unconverged = 0;
  long factorised = 0;
  long picard = 0, limited = 0;
};

Result run_day(int n, const bench::Storm& storm, ColumnKernel kernel) {
  Result r;
  r.n = n;
  const std::string dir = (std::filesystem::temp_directory_path() /
                           ("quendal_e2e_" + std::to_string(n) + "_" + std::to_string(getpid())))
                              .string();
  const std::string rundata = bench::write_valley_run(dir, n, 24.0, storm);
  std::FILE* console = std::fopen((dir + "/console.txt").c_str(), "w");
  auto model = std::make_unique<Model>(console);
  Model& m = *model;
  FrameState& frame = m.frame;
  SubsurfaceState& vss = m.subsurface;
  OcStepState& oc = m.oc_step;

  r.status = run_guarded(m, [&] {
    const auto t0 = Clock::now();
    REPORT_ERROR(m.io, SEVERITY_INITIALISE, 0, 0, 0, 0, "Initialise error messages");
    READ_COMMAND_LINE({"-f", rundata}, dir, m.io);
    OPEN_RUN_FILES(m.io);
    CATCHMENT_SETUP(m);
    vss.column_kernel = kernel;
    BUILD_ISORT(frame, m.surface, vss);
    frame.UZNEXT = frame.BASIC_TIMESTEP;
    WRITE_RUN_OUTPUTS("start", frame, m.surface, vss, m.output, m.io);
    r.setup = seconds(Clock::now() - t0);
    r.elements = frame.NEL;
    for (int e = 1; e <= frame.NEL; ++e) {
      const int cells = vss.LL - vss.LAYER_BOTTOM_CELL(e, 1) + 1;
      if (e > frame.NLF && cells > 0) {
        r.columns += 1;
        r.cells += cells;
      }
    }

    const double run_length = std::round((frame.RUN_END_TIME - frame.RUN_START_TIME) * 60.0) / 60.0;
    while (true) {
      // The driver's step, in its order (snow, sediment and contaminants are off).
      const long sweeps0 = vss.global_sweeps, failures0 = vss.GLOBAL_SOLVER_FAILURES;
      const auto a = Clock::now();
      TIMESTEP_CONTROL(frame, m.surface, m.surface.SD, m.io);
      frame.STEP_COUNT += 1;
      frame.PREVIOUS_TIMESTEP = frame.UZNEXT;
      const auto b = Clock::now();
      ET_TIME_STEP(frame, vss, m.surface, m.io);
      const auto c = Clock::now();
      VSS_TIME_STEP(frame, m.surface, vss, m.io);
      const auto d = Clock::now();
      frame.UZNOW += frame.UZNEXT;
      fill_link_evaporation(m);
      OC_TIME_STEP(frame, m.surface, vss, oc, m.io);
      frame.LAST_OC_STEP_TIME = frame.UZNOW;
      const auto e = Clock::now();
      BUILD_ISORT(frame, m.surface, vss);
      WATER_BALANCE_ERROR(frame, m.surface, vss, m.output);
      m.output.BALANCE_PERIOD_DAILY = 1;
      WRITE_DAILY_BALANCE(frame, m.surface, vss, m.output, m.io);
      WRITE_RUN_OUTPUTS("main ", frame, m.surface, vss, m.output, m.io);
      const auto g = Clock::now();
      r.whole += seconds(g - a);
      r.et += seconds(c - b);
      r.vss += seconds(d - c);
      r.oc += seconds(e - d);
      r.steps += 1;
      r.most_sweeps = std::max(r.most_sweeps, vss.global_sweeps - sweeps0);
      r.unconverged += vss.GLOBAL_SOLVER_FAILURES - failures0;
      if (frame.UZNOW >= run_length - 1e-7) break;
    }
    r.hours = frame.UZNOW;
    return 0;
  });
  r.hours = frame.UZNOW;
  r.krylov = oc.iterations;
  r.factorised = oc.factorised_solves;
  r.newton = vss.newton_iterations;
  r.solves = vss.column_solves;
  r.sweeps = vss.global_sweeps;
  r.picard = vss.picard_rows;
  r.limited = vss.limited_steps;
  if (console != nullptr) std::fclose(console);
  if (r.status == 0 && std::getenv("QUENDAL_BENCH_KEEP") == nullptr) std::filesystem::remove_all(dir);
  return r;
}

// The time of one tridiagonal elimination of n rows, s: a diagonally dominant system
// solved many times over, each solve starting from the last one's solution so that no
// solve can be skipped or overlapped with the next.
double elimination_time(int n) {
  std::vector<double> a(n + 1, -0.3), b(n + 1, -1.0), c(n + 1, -0.4), r(n + 1, 0.0), u(n + 1, 0.0),
      g(n + 1, 0.0);
  for (int i = 1; i <= n; ++i) r[i] = 1e-3 * i;
  const int repeats = 200000;
  double best = 1e30;
  for (int trial = 0; trial < 5; ++trial) {
    const auto t0 = Clock::now();
    for (int k = 0; k < repeats; ++k) {
      tridiagonal_elimination_two_ended(
          [&](int i) { return a[i]; }, [&](int i) { return b[i]; }, [&](int i) { return c[i]; },
          [&](int i) { return r[i] - 1e-9 * u[i]; }, [&](int i) -> double& { return u[i]; },
          [&](int i) -> double& { return g[i]; }, n);
    }
    best = std::min(best, seconds(Clock::now() - t0) / repeats);
  }
  if (!std::isfinite(u[1])) std::printf("(elimination diverged)\n");
  return best;
}

void print_floor(const Result& r) {
  if (r.solves == 0 || r.columns == 0) return;
  const int cells = (r.cells + r.columns / 2) / r.columns;  // per column
  const double cell_iterations = static_cast<double>(r.newton) * r.cells / r.columns;
  const double elimination = elimination_time(cells) * static_cast<double>(r.newton);
  std::printf("%6d  subsurface %6.1f ns per cell-iteration; tridiagonal elimination %4.1f%% of the"
              " step (%.0f ns per %d-cell system)\n",
              r.n, 1e9 * r.vss / cell_iterations, 100.0 * elimination / r.whole,
              1e9 * elimination / static_cast<double>(r.newton), cells);
}

void print(const Result& r) {
  const double per = 1e6 / (static_cast<double>(r.elements) * static_cast<double>(r.steps));
  const double steps = static_cast<double>(r.steps);
  std::printf("%6d %8d %6ld %8.2f %8.2f %8.2f %8.2f %8.1f %8.2f %6ld %8.2f %7.0f%% %8.2f %8.2f"
              " %6.1f %8ld %8ld\n",
              r.n, r.elements, r.steps, r.whole * per, r.oc * per, r.vss * per, r.et * per,
              static_cast<double>(r.krylov) / steps, static_cast<double>(r.sweeps) / steps,
              r.most_sweeps, static_cast<double>(r.newton) / static_cast<double>(r.solves),
              100.0 * static_cast<double>(r.unconverged) / steps,
              static_cast<double>(r.solves) / (steps * r.columns),
              static_cast<double>(r.factorised) / steps, r.setup, r.picard, r.limited);
  if (r.status != 0) {
    std::printf("       the run stopped with status %d after %.2f simulated hours\n", r.status,
                r.hours);
  }
}

}  // namespace
}  // namespace quendal

int main(int argc, char** argv) {
  using namespace quendal;
  set_flush_to_zero();  // as the program does
  std::vector<int> sizes;
  bench::Storm storm;
  ColumnKernel kernel = best_column_kernel();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--peak=")) {
      storm.peak = std::atof(arg.c_str() + 7);
    } else if (arg.starts_with("--kernel=")) {
      const std::string name = arg.substr(9);
      bool known = false;
      for (ColumnKernel k : {ColumnKernel::Baseline, ColumnKernel::Avx2, ColumnKernel::Avx512}) {
        if (name == column_kernel_name(k)) {
          kernel = k;
          known = true;
        }
      }
      if (!known || !column_kernel_runs(kernel)) {
        std::fprintf(stderr, "--kernel=%s: this processor runs baseline%s%s\n", name.c_str(),
                     column_kernel_runs(ColumnKernel::Avx2) ? ", avx2" : "",
                     column_kernel_runs(ColumnKernel::Avx512) ? ", avx512" : "");
        return 2;
      }
    } else {
      sizes.push_back(std::atoi(argv[i]));
    }
  }
  if (sizes.empty()) sizes = {50, 100, 200};
  std::printf("One simulated day, a storm from hour %.0f to %.0f peaking at %.0f mm/h at hour %.0f;"
              " 20 cells per column.\n",
              storm.start, storm.end, storm.peak, storm.peak_hour);
  std::printf("Column solver build: %s. Times in microseconds per element and step.\n\n",
              column_kernel_name(kernel));
  std::printf("%6s %8s %6s %8s %8s %8s %8s %8s %8s %6s %8s %8s %8s %8s %6s %8s %8s\n", "grid",
              "elements", "steps", "whole", "OC", "VSS", "ET", "krylov", "sweeps", "most", "newton",
              "1039", "solves", "LU", "setup", "picard", "limited");
  std::printf("%6s %8s %6s %8s %8s %8s %8s %8s %8s %6s %8s %8s %8s %8s %6s %8s %8s\n", "", "", "",
              "", "", "", "", "/step", "/step", "sweeps", "/solve", "steps", "/col/st", "/step", "s",
              "rows", "steps");
  Result largest, smallest;
  std::vector<Result> results;
  for (int n : sizes) {
    const Result r = run_day(n, storm, kernel);
    print(r);
    std::fflush(stdout);
    results.push_back(r);
    if (r.elements > largest.elements && r.status == 0) largest = r;
    if ((smallest.elements == 0 || r.elements < smallest.elements) && r.status == 0) smallest = r;
  }
  std::printf("\n");
  for (const Result& r : results) print_floor(r);
  if (smallest.steps > 0 && largest.elements > smallest.elements) {
    const auto per = [](const Result& r) { return r.whole / (static_cast<double>(r.elements) * r.steps); };
    std::printf("\nCost per element-step at %d elements: %.2f times that at %d.\n", largest.elements,
                per(largest) / per(smallest), smallest.elements);
  }
  if (largest.steps > 0) {
    // A year of hourly steps, and on one day in ten the storm day's extra steps.
    const double per_step = largest.whole / static_cast<double>(largest.steps);
    const double steps = 8760.0 + 36.5 * (static_cast<double>(largest.steps) - 24.0);
    std::printf("\nOne simulated year of the %d-element catchment: about %.0f steps, %.1f minutes"
                " (%.2f s per step).\n",
                largest.elements, steps, steps * per_step / 60.0, per_step);
  }
  return 0;
}
