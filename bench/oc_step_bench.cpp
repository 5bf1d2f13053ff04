// Cost of the overland and channel flow step on generated catchments of growing size.
//
// The generated catchment of generated_catchment.h; each benchmark iteration is the
// same OC step.
//
// The counter "per_element_step" is the time of one step divided by the number of
// elements. The step solves its level changes by the sparse iteration (solver 0), whose
// cost should stay flat with n, or by the elimination over grid rows (solver 1, the
// reference), whose dense row blocks cost about n^3 per grid row. "iterations" is the
// iteration count of the sparse solve, "factorised" the share of its solves that fell
// back to LU.
#include <benchmark/benchmark.h>

#include "generated_catchment.h"

namespace quendal {
namespace {

using bench::advance;
using bench::generate;

void BM_OcTimeStep(benchmark::State& bench) {
  const int n = static_cast<int>(bench.range(0));
  auto catchment = generate(n);
  OcStepState& state = catchment->state;
  state.solve_by_rows = bench.range(1) == 1;
  const long solves_before = state.iterated_solves + state.factorised_solves;
  const long iterations_before = state.iterations, factorised_before = state.factorised_solves;
  // Every iteration times the same step: the levels and flows it starts from are put
  // back, so the catchment does not drift with the number of iterations.
  SurfaceState& surface = catchment->model->surface;
  FrameState& frame = catchment->model->frame;
  const Array1<double> levels = surface.HRF;
  const Array2<double> flows = surface.QSA;
  const double start = frame.LAST_OC_STEP_TIME;
  for (auto _ : bench) {
    advance(*catchment);
    bench.PauseTiming();
    surface.HRF = levels;
    surface.QSA = flows;
    frame.LAST_OC_STEP_TIME = start;
    bench.ResumeTiming();
  }
  bench.counters["elements"] = frame.NEL;
  bench.counters["links"] = frame.NLF;
  if (!state.solve_by_rows) {
    const double solves = static_cast<double>(state.iterated_solves + state.factorised_solves - solves_before);
    bench.counters["iterations"] = static_cast<double>(state.iterations - iterations_before) / solves;
    bench.counters["factorised"] = static_cast<double>(state.factorised_solves - factorised_before) / solves;
  }
  bench.counters["per_element_step"] = benchmark::Counter(
      frame.NEL, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_OcTimeStep)
    ->ArgNames({"n", "solver"})
    ->ArgsProduct({{50, 100, 200}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quendal

BENCHMARK_MAIN();
