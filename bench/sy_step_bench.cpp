// Cost of the sediment step on generated catchments of growing size, with the water
// state of generated_catchment.h held fixed: every iteration moves the sediment over
// the same water step in NEPS sub-steps, and checks the state it leaves.
//
// The counter "per_element_substep" is the time of one sub-step divided by the number
// of elements: it should stay flat as n grows (the step is linear in the elements).
#include <benchmark/benchmark.h>

#include "generated_catchment.h"
#include "include/sediment_state.h"
#include "sediment/sy_initial_state.h"
#include "sediment/sy_routing.h"
#include "sediment/sy_state_check.h"

namespace quendal {
namespace {

constexpr int NEPS_BENCH = 4;

// Three size groups (one fine), one soil and one vegetation type, 1 mm of loose
// sediment on every square and a 0.15 m bed in every link.
void set_up_sediment(Model& model) {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SedimentState& s = model.sediment;
  const int nel = frame.NEL, nlf = frame.NLF;
  frame.NV = 1;
  frame.NVC.resize(nel, 1);
  frame.HRF_SY_COPY.resize(nel, 0.0);
  for (int e = 1; e <= nel; ++e) frame.HRF_SY_COPY(e) = surface.GET_HRF(e);
  frame.ISORT.resize(nel, 0);
  for (int p = 1; p <= nel; ++p) frame.ISORT(p) = p;
  surface.CLAI.resize(1, 1.0);
  surface.PLAI.resize(1, 0.3);
  surface.DRAINA.resize(nel, 0.0);
  SubsurfaceState soils;
  soils.NS = 1;
  soils.THSAT.resize(1, 0.45);
  s.NSED = 3;
  s.NFINE = 1;
  s.NEPS = NEPS_BENCH;
  s.SY_OVERLAND_CAPACITY_SWITCH = 1;
  s.SY_CHANNEL_CAPACITY_SWITCH = 2;
  s.FPCRIT = 0.05;
  s.ALPHA = 1.0;
  s.DCBEDO = 0.1;
  s.DLSMAX = 0.01;
  s.SY_FINES_FRACTION_LIMIT = 0.3;
  s.SY_FINES_CONCENTRATION_LIMIT = 1e-3;
  s.DRSED.resize(NSEDEE, 0.0);
  s.DRSED(1) = 4e-5;
  s.DRSED(2) = 5e-4;
  s.DRSED(3) = 4e-3;
  s.GKR.resize(1, 20.0);
  s.GKF.resize(1, 1e-6);
  s.BKB.resize(1, 1e-6);
  s.RHOSO.resize(1, 1500.0);
  s.SY_SOIL_SHEAR_PARAMETER.resize(1, 0.5);
  s.SOSDFN.resize(1, NSEDEE, 0.0);
  s.SOSDFN(1, 1) = 0.4;
  s.SOSDFN(1, 2) = 0.45;
  s.SOSDFN(1, 3) = 0.15;
  s.XDRIP.resize(1, 0.5);
  s.DRDRIP.resize(1, 0.005);
  s.FDRIP.resize(1, 1.0);
  s.NTSOBK.resize(nlf, 1);
  s.FCG.resize(nel, 0.3);
  s.FCROCK.resize(nel, 0.0);
  s.PLS.resize(nel, 0.4);
  s.PBSED.resize(nlf, 0.35);
  s.SY_SURFACE_SOIL_TYPE.resize(nel, 1);
  s.DLS.resize(nel, 0.001);
  s.FBETA.resize(nel, NSEDEE, 0.0);
  s.FDEL.resize(nel, NSEDEE, 0.0);
  for (int e = 1; e <= nel; ++e) {
    if (e <= nlf) s.DLS(e) = 0.15;
    for (int g = 1; g <= 3; ++g) s.FBETA(e, g) = s.SOSDFN(1, g);
  }
  SY_INITIAL_STATE(frame, surface, soils, s);
  SY_SIZE_WORK_ARRAYS(frame, s);
}

void BM_SyStep(benchmark::State& bench) {
  const int n = static_cast<int>(bench.range(0));
  auto catchment = bench::generate(n);
  Model& model = *catchment->model;
  set_up_sediment(model);
  // What SY_STEP does in every later call: move the sediment, then check what it left.
  for (auto _ : bench) {
    SY_MOVE_SEDIMENT(model.frame, model.surface, model.sediment);
    SY_CHECK_STATE(model.frame, model.sediment, model.io);
  }
  bench.counters["elements"] = model.frame.NEL;
  bench.counters["links"] = model.frame.NLF;
  bench.counters["per_element_substep"] =
      benchmark::Counter(static_cast<double>(model.frame.NEL) * NEPS_BENCH,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// From about 2,500 elements to the largest grid a model holds (200 x 200).
BENCHMARK(BM_SyStep)->Arg(50)->Arg(100)->Arg(141)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quendal

BENCHMARK_MAIN();
