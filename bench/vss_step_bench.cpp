// Cost of the subsurface step on generated catchments of growing size (the catchment
// of generated_catchment.h): one loam layer reaching 10 m below ground under three
// near-surface cells (0.5 m in all), cells of 0.5 m, so 22 cells in every column; the water table 1 m below the ground and
// steady rain of 7.2 mm/h on the surface. Each benchmark iteration is the same step.
//
// Counters: "per_cell_step" is the time of one step divided by the number of cells;
// "newton_per_column" the mean Newton iterations of a column solve and "sweeps" the
// global sweeps of the step.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "frame/element_order.h"
#include "generated_catchment.h"
#include "subsurface/vss_data_file.h"
#include "subsurface/vss_setup.h"
#include "subsurface/vss_time_step.h"

namespace quendal {
namespace {

const char* const VSS_DATA =
    ":VS01 generated catchment\ngenerated catchment\noptions\nF F F\n"
    ":VS03\n1 3 0 1\n"
    ":VS04\n1.0 0.05 0.5 0.0 1.0\n"
    ":VS05\n1 1 0\n0.5 0.5 0.25 0.43 0.08 0.0001 1.56 0.036\n"
    ":VS06\n0.1 0.2 0.2\n:VS08\n1 0\n:VS08a\n1 1\n1\n10.0\n:VS10\n0\n"
    ":VS11\n0 0 0 0 0 0 0 0\n";

struct VssCatchment {
  std::unique_ptr<bench::Catchment> c;
  std::string data_file;
};

VssCatchment generate_with_cells(int n) {
  VssCatchment v{bench::generate(n), "/tmp/quendal_vss_bench_" + std::to_string(n) + ".txt"};
  std::FILE* f = std::fopen(v.data_file.c_str(), "w");
  std::fputs(VSS_DATA, f);
  std::fclose(f);
  Model& model = *v.c->model;
  model.io.units.open(VSS_DATA_UNIT, v.data_file, UnitDirection::Input);
  VSS_INITIALISE(model);
  const int nel = model.frame.NEL;
  SurfaceState& s = model.surface;
  s.ET_SOIL_EVAP.resize(nel, 0.0);
  s.ET_GROUND_EVAP.resize(nel, 0.0);
  model.frame.UZNEXT = bench::STEP_HOURS;
  model.frame.DTUZ = bench::STEP_HOURS * 3600.0;
  model.frame.ISORT.resize(nel, 0);
  for (int e = 1; e <= nel; ++e) model.frame.ISORT(e) = e;
  BUILD_ISORT(model.frame, s, model.subsurface);
  return v;
}

void BM_VssTimeStep(benchmark::State& bench) {
  const int n = static_cast<int>(bench.range(0));
  VssCatchment v = generate_with_cells(n);
  Model& model = *v.c->model;
  SubsurfaceState& vss = model.subsurface;
  VSS_TIME_STEP(model.frame, model.surface, vss, model.io);  // first call: set-up tables
  const Array2<double> heads = vss.vspsi, theta = vss.CELL_THETA;
  const long solves0 = vss.column_solves, newton0 = vss.newton_iterations, sweeps0 = vss.global_sweeps;
  long steps = 0;
  for (auto _ : bench) {
    VSS_TIME_STEP(model.frame, model.surface, vss, model.io);
    ++steps;
    bench.PauseTiming();
    vss.vspsi = heads;
    vss.CELL_THETA = theta;
    bench.ResumeTiming();
  }
  long cells = 0;
  for (int e = model.frame.NLF + 1; e <= model.frame.NEL; ++e) cells += vss.LL - vss.LAYER_BOTTOM_CELL(e, 1) + 1;
  bench.counters["elements"] = model.frame.NEL;
  bench.counters["cells"] = static_cast<double>(cells);
  bench.counters["per_cell_step"] = benchmark::Counter(
      static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  bench.counters["newton_per_column"] =
      static_cast<double>(vss.newton_iterations - newton0) / static_cast<double>(vss.column_solves - solves0);
  bench.counters["sweeps"] = static_cast<double>(vss.global_sweeps - sweeps0) / static_cast<double>(steps);
  std::remove(v.data_file.c_str());
}

BENCHMARK(BM_VssTimeStep)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quendal

BENCHMARK_MAIN();
