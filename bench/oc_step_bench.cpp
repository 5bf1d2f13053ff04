// Cost of the overland and channel flow step on generated catchments of growing size.
//
// The generated catchment of generated_catchment.h; each benchmark iteration is the
// same OC step.
//
// The counter "per_element_step" is the time of one step divided by the number of
// elements: how it grows with n shows how the row solver's cost grows with the width of
// the rows (its dense blocks cost about n^3 per grid row).
#include <benchmark/benchmark.h>

#include "generated_catchment.h"

namespace quendal {
namespace {

using bench::advance;
using bench::generate;

void BM_OcTimeStep(benchmark::State& bench) {
  const int n = static_cast<int>(bench.range(0));
  auto catchment = generate(n);
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
  bench.counters["per_element_step"] = benchmark::Counter(
      frame.NEL, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_OcTimeStep)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quendal

BENCHMARK_MAIN();
