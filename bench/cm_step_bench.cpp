// Cost of the contaminant step on generated catchments of growing size, timed two ways.
//
// BM_CmTimeStep: the whole step (every column and link in ISORT order, then the copy
// to the next step's start) on grids with banks and 20 cells under every square, from
// the state the contaminant set-up leaves; see generate_catchment. Its counter
// "per_element_contaminant" is the time of one step divided by the number of elements
// times the number of contaminants: it should stay flat as the catchment grows.
//
// BM_CmLinkStep: the channel links' part alone on generated networks of growing size: a
// main channel of east-west links with a north-south tributary of five links joining it
// at a three-way junction every ten links, every link with a bank on both sides (columns
// of 20 cells of 0.5 m, the bed at cell 14), water flowing downstream with bed exchange,
// sorption on three size groups, decay into a daughter and a rain tracer. The state is
// set directly, as the contaminant set-up leaves it; each benchmark iteration is the
// same step.
//
// The counter "per_link_contaminant" is the time of one step divided by the number of
// links times the number of contaminants: it should stay flat as the network grows.
#include <benchmark/benchmark.h>

#include <memory>

#include "contaminant/cm_initialise.h"
#include "contaminant/cm_link_setup.h"
#include "contaminant/cm_link_transport.h"
#include "contaminant/contaminant.h"
#include "frame/geometry.h"
#include "frame/topology.h"
#include "include/model.h"
#include "services/units.h"

namespace quendal {
namespace {

constexpr int LL = 20, BED_CELL = 14, NCON = 3;
constexpr double LENGTH = 100.0, WIDTH = 4.0, DTUZ = 3600.0;

struct Network {
  std::unique_ptr<Model> model = std::make_unique<Model>();
  int links = 0;
};

void join(FrameState& f, int e, int face, int n, int back) {
  f.ICMREF(e, face, 2) = n;
  f.ICMREF(e, face, 3) = back;
  if (n > 0) {
    f.ICMREF(n, back, 2) = e;
    f.ICMREF(n, back, 3) = face;
  }
}

// `main_links` east-west links flowing east, link 1 the westernmost; after every tenth
// a tributary of five north-south links flowing south into the junction at its east end.
std::unique_ptr<Network> generate(int main_links) {
  auto net = std::make_unique<Network>();
  Model& m = *net->model;
  FrameState& f = m.frame;
  const int tributaries = main_links / 10;
  const int nlf = main_links + 5 * tributaries, nel = 3 * nlf;
  net->links = nlf;
  f.NLF = nlf;
  f.NEL = nel;
  f.NGDBGN = nlf + 1;
  f.DTUZ = DTUZ;
  f.ICMREF.resize(nel, 4, 3, 0);
  for (int e = 1; e <= nel; ++e) {
    for (int face = 1; face <= 4; ++face) f.ICMREF(e, face, 3) = face;
  }
  f.LINK_NORTH_SOUTH.resize(nlf, 0);
  f.AREA.resize(nel, LENGTH * 10.0);
  f.CLENTH.resize(nlf, LENGTH);
  f.ISORT.resize(nel, 0);
  f.ICMRF2.resize(3 * tributaries, 6, 0);
  SurfaceState& s = m.surface;
  s.QOC.resize(nel, 4, 0.0);
  s.ARXL.resize(nlf, 2.0);
  s.CWIDTH.resize(nlf, WIDTH);
  s.PNETTO.resize(nel, 1e-6);

  // Main channel 1..main_links; tributary t: links main_links + 5 (t - 1) + 1..5, the
  // first at the top, the last meeting main link 10 t at its east end (junction t).
  int junctions = 0;
  for (int l = 1; l <= main_links; ++l) {
    f.AREA(l) = LENGTH * WIDTH;
    const double q = 1.0 + 0.5 * (l / 10);  // each tributary adds 0.5 m3/s
    s.QOC(l, 1) = s.QOC(l, 3) = q;
    if (l % 10 == 0 && l < main_links) {
      const int trib = main_links + 5 * (l / 10);  // its last link
      // One junction entry per link end, listing the other two links.
      const int ends[3][2] = {{l, 1}, {l + 1, 3}, {trib, 4}};
      for (int i = 0; i < 3; ++i) {
        ++junctions;
        f.ICMREF(ends[i][0], ends[i][1], 2) = -junctions;
        f.ICMREF(ends[i][0], ends[i][1], 3) = 0;
        f.ICMRF2(junctions, 1) = ends[(i + 1) % 3][0];
        f.ICMRF2(junctions, 2) = ends[(i + 2) % 3][0];
      }
    } else if (l < main_links) {
      join(f, l, 1, l + 1, 3);
    }
  }
  for (int t = 1; t <= tributaries; ++t) {
    for (int i = 1; i <= 5; ++i) {
      const int l = main_links + 5 * (t - 1) + i;
      f.LINK_NORTH_SOUTH(l) = 1;
      f.AREA(l) = LENGTH * WIDTH;
      s.QOC(l, 2) = s.QOC(l, 4) = -0.5;  // southwards
      if (i < 5) join(f, l, 4, l + 1, 2);
    }
  }
  for (int l = 1; l <= nlf; ++l) {
    const bool ns = f.LINK_NORTH_SOUTH(l);
    const int fa = ns ? 1 : 2, fb = ns ? 3 : 4;
    join(f, l, fa, nlf + l, fb);
    join(f, l, fb, 2 * nlf + l, fa);
    f.ICMREF(nlf + l, 1, 1) = 1;
    f.ICMREF(2 * nlf + l, 1, 1) = 2;
  }
  for (int p = 1; p <= nel; ++p) f.ISORT(p) = p;

  SubsurfaceState& v = m.subsurface;
  v.LL = LL;
  v.CELL_THICKNESS.resize(MAX_CELLS_PER_COLUMN, nel, 0.5);
  v.CELL_THETA.resize(LL, nel, 0.3);
  v.CELL_LATERAL_FLOW.resize(4, LL, nel, 0.0);
  v.LINK_BED_CELL.resize(nlf, 2, BED_CELL);
  v.LINK_BED_CELL_FRACTION.resize(nlf, 2, 0.0);
  v.STREAM_AQUIFER_WET_FLOW.resize(nlf, 2, 1e-5);
  v.WELL_WATER_SOURCE.resize(nel, 0);
  for (int l = 1; l <= nlf; ++l) {
    for (int side = 1; side <= 2; ++side) {
      const int bank = side * nlf + l;
      const int face = f.ICMREF(l, f.LINK_NORTH_SOUTH(l) ? 2 * side - 1 : 2 * side, 3);
      for (int c = BED_CELL + 1; c <= LL; ++c) v.CELL_LATERAL_FLOW(face, c, bank) = 1e-6;
    }
  }

  SedimentState& sed = m.sediment;
  sed.NSED = 3;
  sed.SY_NET_DEPOSITION_AREA.resize(nlf, 0.0);
  sed.SY_BANK_EROSION_RATE.resize(nlf, 0.0);
  sed.PBSED.resize(nlf, 0.4);
  sed.DLS.resize(nel, 0.0);
  sed.FBETA.resize(nel, NSEDEE, 0.0);
  sed.FDEL.resize(nel, NSEDEE, 0.0);
  sed.SOSDFN.resize(1, NSEDEE, 0.0);
  sed.SOSDFN(1, 1) = 0.4;
  sed.SOSDFN(1, 2) = 0.4;
  sed.SOSDFN(1, 3) = 0.2;
  sed.SY_INFILTRATION_RATE_DEEP.resize(nlf, NSEDEE, 0.0);
  sed.SY_INFILTRATION_RATE_SURFACE.resize(nlf, NSEDEE, 0.0);

  ContaminantState& cm = m.contaminant;
  cm.size(nel, nlf, LL);
  cm.NCON = NCON;
  const double kd[3][3] = {{0.5, 1.0, 2.0}, {0.2, 0.4, 0.8}, {0.0, 0.0, 0.0}};
  for (int k = 1; k <= NCON; ++k) {
    for (int g = 1; g <= 3; ++g) cm.CM_SEDIMENT_KD(g, k) = kd[k - 1][g - 1];
    cm.CM_BED_LAYER_EXCHANGE(k) = 1e-6;
    cm.CM_WATER_BED_EXCHANGE(k) = 1e-5;
  }
  cm.CM_DECAY_RATE_SCALED(1) = 2.5e6 * 2e-7;
  cm.CM_RAIN_REL_CONC(3) = 1.0;
  for (int l = 1; l <= nlf; ++l) {
    cm.CM_LINK_BED_SOIL(l) = 1;
    cm.CM_LINK_BED_SIZE_SHARE(l, 1) = cm.CM_LINK_BED_SIZE_SHARE_PREVIOUS(l, 1) = 1.0;
    for (int g = 1; g <= 3; ++g) cm.CM_LINK_BED_FRACTIONS_PREVIOUS(l, g) = sed.SOSDFN(1, g);
    for (int side = 1; side <= 2; ++side) {
      cm.CM_BANK_ELEMENT(l, side) = side * nlf + l;
      cm.CM_BED_BOTTOM_CELL(l, side) = BED_CELL - 2;
      cm.CM_BED_BOTTOM_FRACTION(l, side) = 0.5;
      cm.CM_BANK_EXCHANGE_CELL(l, side) = BED_CELL;
    }
    cm.CM_SURFACE_LAYER_AREA(l) = 0.1 * WIDTH / 2500.0;
    cm.CM_BED_AREA_BASE(l) = 0.4 * WIDTH / 2500.0;
    cm.CM_LINK_WATER_AREA(l) = 2.0 / 2500.0;
    cm.CM_LINK_BED_AREA(l) = cm.CM_BED_AREA_BASE(l);
    cm.CM_LINK_BED_THETA(l) = cm.CM_LINK_BED_THETA_OLD(l) = 0.3;
    for (int c = LL - 2; c <= LL; ++c) {
      cm.CM_REL_CONC_DYNAMIC(c, l, 1) = cm.CM_REL_CONC_DYNAMIC_OLD(c, l, 1) = 0.5;
    }
  }
  for (int e = nlf + 1; e <= nel; ++e) {
    for (int c = 1; c <= LL; ++c) {
      cm.CM_REL_CONC_DYNAMIC(c, e, 1) = cm.CM_REL_CONC_DYNAMIC_OLD(c, e, 1) = 0.2;
      cm.CM_REL_CONC_DEAD_SPACE_OLD(c, e, 1) = 0.2;
    }
  }
  cm.CM_STEP_FACTOR = cm.CM_DIFFUSIVITY_SCALE * DTUZ / cm.CM_AREA_SCALE;
  CM_SET_LINK_END_FLOWS(m);
  return net;
}

void BM_CmLinkStep(benchmark::State& bench) {
  auto net = generate(static_cast<int>(bench.range(0)));
  Model& m = *net->model;
  const Array3<double> start = m.contaminant.CM_REL_CONC_DYNAMIC_OLD;
  for (auto _ : bench) {
    for (int p = 1; p <= m.frame.NEL; ++p) {
      const int l = m.frame.ISORT(p);
      if (l > m.frame.NLF) continue;
      CM_LINK_SETUP(l, m);
      CM_LINK_TRANSPORT(l, m);
    }
    CM_COPY_LINK_STATE(m);
    bench.PauseTiming();
    m.contaminant.CM_REL_CONC_DYNAMIC_OLD = start;
    bench.ResumeTiming();
  }
  bench.counters["links"] = net->links;
  bench.counters["snl3_failures"] = m.contaminant.SNL3_FAILURE_COUNT;
  bench.counters["per_link_contaminant"] =
      benchmark::Counter(static_cast<double>(net->links) * NCON,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// From a few dozen links to the largest network a model holds (NLFEE links, 3 NLFEE
// elements with the banks).
BENCHMARK(BM_CmLinkStep)->Arg(30)->Arg(300)->Arg(3000)->Arg(6600)->Unit(benchmark::kMillisecond);

// The whole contaminant step on an n x n grid of 100 m squares with banks on: a main
// channel (4 m wide) along the south faces of the middle row flowing east, and every
// ten columns a tributary of ten north-south links from the north joining it at a
// three-way junction. About n^2 + 6 n elements. Under every square 20 cells of 0.5 m of
// one soil (and a placeholder cell 1 of no thickness below them), the stream bed 2 m
// below the ground; water draining slowly down every column, rain, flows along the
// links and a little water from both banks into each link. Three contaminants of
// different sorption, the first decaying, the third a rain tracer. The initial state is
// the one the contaminant set-up leaves; the timed steps follow each other.
constexpr int COLUMN_CELLS = 20, STEP_LL = COLUMN_CELLS + 1, STEP_BED_CELL = 17;
constexpr double CELL = 0.5, GROUND = 100.0, SQUARE = 100.0;

std::unique_ptr<Model> generate_catchment(int n) {
  auto model = std::make_unique<Model>();
  Model& m = *model;
  FrameState& f = m.frame;
  m.io.units.open(PRINT_UNIT, "/dev/null", UnitDirection::Output);
  const int mid = n / 2 + 1;
  f.NX = f.NY = n;
  f.BANKS_ON = true;
  f.CATCHMENT_MASK.resize(n, n, 1);
  f.LCODEX.resize(n + 1, n, 2);  // grid-grid faces
  f.LCODEY.resize(n, n + 1, 2);
  f.GRID_SPACING_X.resize(n - 1, SQUARE);
  f.GRID_SPACING_Y.resize(n - 1, SQUARE);
  constexpr int RIVER = 6;
  for (int i = 1; i <= n; ++i) f.LCODEY(i, mid) = RIVER;
  for (int x = 5; x <= n; x += 10) {
    for (int j = mid; j < mid + 10 && j <= n; ++j) f.LCODEX(x, j) = RIVER;
  }
  NUMBER_ELEMENTS(f, m.io, false);
  const int nel = f.NEL, nlf = f.NLF;
  f.ZGRUND.resize(nel, GROUND);
  f.DTUZ = DTUZ;
  SurfaceState& s = m.surface;
  s.CWIDTH.resize(nlf, WIDTH);
  element_geometry(f, s, m.io, false);
  f.ISORT.resize(nel, 0);
  for (int p = 1; p <= nel; ++p) f.ISORT(p) = p;

  s.HRF.resize(nel, GROUND);
  s.QOC.resize(nel, 4, 0.0);
  s.ARXL.resize(nlf, 2.0);
  s.PNETTO.resize(nel, 1e-7);
  s.ET_GROUND_EVAP.resize(nel, 0.0);
  s.ET_ROOT_UPTAKE.resize(STEP_LL, nel, 0.0);
  for (int l = 1; l <= nlf; ++l) {
    s.HRF(l) = GROUND - 2.0 + 0.5;
    if (f.LINK_NORTH_SOUTH(l)) {
      s.QOC(l, 2) = s.QOC(l, 4) = -0.5;  // southwards
    } else {
      s.QOC(l, 1) = s.QOC(l, 3) = 1.0 + 0.5 * (f.ICMREF(l, 2, 1) / 10);  // eastwards
    }
  }

  SubsurfaceState& v = m.subsurface;
  v.set_no_cells(nel, nlf, f.ZGRUND);
  v.LL = STEP_LL;
  v.NS = 1;
  v.THSAT.resize(1, 0.4);
  v.NLYR.resize(nel, 1);
  v.NTSOIL.resize(nel, NLYREE, 1);
  v.LAYER_BOTTOM_CELL.resize(nel, NLYREE + 1, STEP_LL + 1);
  v.CELL_THICKNESS.resize(MAX_CELLS_PER_COLUMN, nel, 0.0);
  v.CELL_ELEVATION.resize(MAX_CELLS_PER_COLUMN, nel, 0.0);
  for (int e = 1; e <= nel; ++e) {
    v.LAYER_BOTTOM_CELL(e, 1) = 2;
    for (int k = 2; k <= STEP_LL; ++k) {
      v.CELL_THICKNESS(k, e) = CELL;
      v.CELL_ELEVATION(k, e) = GROUND - (STEP_LL - k + 0.5) * CELL;
    }
  }
  v.CELL_FACE_CELL.resize(4, STEP_LL, nel, 0);
  v.CELL_FACE_SPLIT.resize(4, STEP_LL, nel, 0);
  for (int e = nlf + 1; e <= nel; ++e) {
    for (int face = 1; face <= 4; ++face) {
      if (f.ICMREF(e, face, 2) <= 0) continue;
      for (int k = 2; k <= STEP_LL; ++k) v.CELL_FACE_CELL(face, k, e) = k;
    }
  }
  v.LINK_BED_CELL.resize(nlf, 2, STEP_BED_CELL);
  v.LINK_BED_CELL_FRACTION.resize(nlf, 2, 0.0);
  v.STREAM_AQUIFER_WET_FLOW.resize(nlf, 2, 1e-5);
  // Steady drainage of 1e-8 m/s through every cell and the base.
  v.CELL_THETA.resize(STEP_LL, nel, 0.3);
  v.CELL_VERTICAL_FLOW.resize(STEP_LL, nel, -1e-8);
  v.CELL_LATERAL_FLOW.resize(4, STEP_LL, nel, 0.0);
  v.COLUMN_BASE_FLOW.resize(nel, -1e-8);
  v.CELL_WELL_ABSTRACTION.resize(STEP_LL, nel, 0.0);
  v.WELL_NUMBER.resize(nel, 0);
  v.WELL_SCREEN_BOTTOM_CELL.resize(nel, 1);
  v.WELL_SCREEN_TOP_CELL.resize(nel, 1);
  v.WELL_ABSTRACTION.resize(nel, 0.0);
  v.WELL_WATER_SOURCE.resize(nel, 0);

  ContaminantState& cm = m.contaminant;
  cm.CM_LENGTH_SCALE = 50.0;
  cm.CM_DIFFUSIVITY_SCALE = 0.001;
  cm.size(nel, nlf, STEP_LL);
  cm.NCON = NCON;
  cm.CM_SURFACE_LAYER_DEPTH = 0.05;
  cm.CM_BED_DEPTH = 0.75;
  cm.CM_FREUNDLICH_EXPONENT.fill(1.0);
  cm.CM_SOIL_SIZE_FRACTIONS(1, 1) = 0.4;
  cm.CM_SOIL_SIZE_FRACTIONS(1, 2) = 0.4;
  cm.CM_SOIL_SIZE_FRACTIONS(1, 3) = 0.2;
  const double kd[3][3] = {{0.5, 1.0, 2.0}, {0.2, 0.4, 0.8}, {0.0, 0.0, 0.0}};
  for (int k = 1; k <= NCON; ++k) {
    for (int g = 1; g <= 3; ++g) cm.CM_SEDIMENT_KD(g, k) = kd[k - 1][g - 1];
    cm.CM_DYNAMIC_SORPTION_FRACTION(1, k) = 0.6;
    cm.CM_DEAD_SPACE_EXCHANGE(1, k) = 1e-6;
    cm.CM_BED_LAYER_EXCHANGE(k) = 1e-6;
    cm.CM_WATER_BED_EXCHANGE(k) = 1e-5;
  }
  cm.CM_UNIFORM_REL_CONC(1) = 0.5;
  cm.CM_UNIFORM_REL_CONC(2) = 0.2;
  cm.CM_DECAY_RATE(1) = 2e-7;
  cm.CM_RAIN_REL_CONC(3) = 1.0;
  initialise_contaminant_state(false, m);
  for (int l = 1; l <= nlf; ++l) {
    for (int side = 1; side <= 2; ++side) {
      const int bank = cm.CM_BANK_ELEMENT(l, side);
      if (bank == 0) continue;
      for (int k = 1; k <= NCON; ++k) {
        cm.CM_BANK_EXCHANGE_CONC(l, side, k) = cm.CM_REL_CONC_DYNAMIC_OLD(1, bank, k);
      }
    }
  }
  cm.initial_state_set = true;
  return model;
}

void BM_CmTimeStep(benchmark::State& bench) {
  auto model = generate_catchment(static_cast<int>(bench.range(0)));
  Model& m = *model;
  for (auto _ : bench) CM_TIME_STEP(false, m);
  bench.counters["elements"] = m.frame.NEL;
  bench.counters["links"] = m.frame.NLF;
  bench.counters["snl3_failures"] = m.contaminant.SNL3_FAILURE_COUNT;
  bench.counters["per_element_contaminant"] =
      benchmark::Counter(static_cast<double>(m.frame.NEL) * NCON,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// About 1,000, 10,000 and 40,000 elements (the most a model holds).
BENCHMARK(BM_CmTimeStep)->Arg(30)->Arg(98)->Arg(196)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quendal

BENCHMARK_MAIN();
