// The subsurface step on small catchments built in memory, against closed-form
// results: drainage under steady rain, and mirror symmetry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "services/calendar.h"
#include "services/stops.h"
#include "subsurface/vss_column_solver.h"
#include "subsurface/vss_data_file.h"
#include "subsurface/vss_setup.h"
#include "subsurface/vss_time_step.h"

namespace quendal {
namespace {

// One van Genuchten soil (Ks 1 m/day in every direction, theta 0.4 to 0.05, Ss 1e-4 /m,
// n 2, alpha 1 /m, so that Kr = Se^2 = 1 / (1 + psi^2)), layers `depth` m deep in cells
// of `cell` m, the water table `table` m below ground (at most at the column base);
// `exponents` the vertical and lateral mean exponents.
std::string uniform_vss(int elements, double depth, double table, int initial_mode,
                        const std::string& tail, double cell, const std::string& exponents) {
  std::string text =
      ":VS01 test\nUniform soil\noptions\nF F F\n"
      ":VS03\n1 0 0 " + std::to_string(initial_mode) + "\n"
      ":VS04\n" + std::to_string(table) + " 0.05 " + std::to_string(cell) + " " + exponents + "\n"
      ":VS05\n1 1 0\n1 1 1 0.4 0.05 0.0001 2.0 0.01\n"
      ":VS08\n0 " + std::to_string(elements) + "\n:VS08d\n";
  for (int e = 1; e <= elements; ++e) text += std::to_string(e) + " 1\n1\n" + std::to_string(depth) + "\n";
  return text + ":VS10\n0\n" + tail;
}

constexpr const char* NO_BOUNDARIES = ":VS11\n0 0 0 0 0 0 0 0\n";

// An nx x 1 row of 100 m squares, ground at 100 m, steps of one hour, its subsurface
// data file written into `dir`.
void build_row(Model& model, testing::TempDir& dir, int nx, double depth, double table,
               int initial_mode = 1, const std::string& tail = NO_BOUNDARIES, double cell = 0.5,
               const std::string& exponents = "0.0 1.0") {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  testing::build_mesh(frame, nx, 1, {}, {}, false);
  NUMBER_ELEMENTS(frame, model.io, false);
  const int nel = frame.NEL;
  frame.ZGRUND.resize(nel, 100.0);
  frame.AREA.resize(nel, 1.0e4);
  frame.DHF.resize(nel, 4, 50.0);
  frame.ISORT.resize(nel, 0);
  for (int i = 1; i <= nel; ++i) frame.ISORT(i) = i;
  frame.DTUZ = 3600.0;
  frame.UZNEXT = 1.0;
  const std::string text = uniform_vss(nel, depth, table, initial_mode, tail, cell, exponents);
  ASSERT_TRUE(model.io.units.open(VSS_DATA_UNIT, dir.write("vss.txt", text), UnitDirection::Input));
  VSS_SET_UP(frame, surface, model.subsurface, model.io);
  surface.HRF.resize(nel, 100.0);  // no ponded water
  for (Array1<double>* a : {&surface.PNETTO, &surface.ET_SOIL_EVAP, &surface.ET_GROUND_EVAP}) {
    a->resize(nel, 0.0);
  }
  surface.ET_ROOT_UPTAKE.resize(model.subsurface.LL, nel, 0.0);
}

void run_steps(Model& model, int n) {
  for (int i = 0; i < n; ++i) {
    VSS_TIME_STEP(model.frame, model.surface, model.subsurface, model.io);
    model.frame.UZNOW += model.frame.UZNEXT;
  }
}

// A row of `nx` squares over soil drained to 5 m down, built in a model of its own with
// its own print file and console, for tests that compare several runs.
struct OwnRow {
  testing::TempDir dir;
  std::FILE* console = std::tmpfile();
  std::unique_ptr<Model> model = std::make_unique<Model>(console);
  SubsurfaceState& v = model->subsurface;
  explicit OwnRow(int nx, const std::string& exponents = "0.0 1.0") {
    model->io.units.open(PRINT_UNIT, dir.file("print.txt"), UnitDirection::Output);
    build_row(*model, dir, nx, 5.0, 5.0, 1, NO_BOUNDARIES, 0.5, exponents);
  }
  ~OwnRow() {
    model.reset();
    std::fclose(console);
  }
};

struct VssColumnTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& v = model.subsurface;
  static constexpr double KS = 1.0 / 86400.0;  // m/s

  void build(int nx, double depth, double table, int initial_mode = 1,
             const std::string& tail = NO_BOUNDARIES, double cell = 0.5) {
    build_row(model, dir, nx, depth, table, initial_mode, tail, cell);
  }
  // Rain on the two outer squares of a row of four spreads toward the middle. The row
  // is its own mirror image (element e and 5 - e), so the heads must be too, whichever
  // end the sweeps start from; the global iteration stops at changes of 1e-4 m, which
  // bounds what the order may leave behind.
  void rain_on_the_ends(bool reversed);
  void pond_on_a_row_of(double width);
  void steps(int n) { run_steps(model, n); }
};

// Steady rain q < Ks on a column whose base drains freely (the head below the base
// one metre lower than its level, that is the unit-gradient head) ends with the suction
// gradient gone: the water drains under gravity alone, K(psi) = q, here
// 1 / (1 + psi^2) = 0.5 at psi = -1 m in every cell.
TEST_F(VssColumnTest, SteadyRainDrainsAtTheUnitGradientHead) {
  frame.RUN_START_TIME = DATE_TO_HOURS(2000, 1, 1, 0, 0, model.io);
  open_input(VSS_BHB_UNIT, "bhb.txt", "Base head\n2000 1 1 0 0 75.0\n2100 1 1 0 0 75.0\n");
  build(1, 24.0, 24.0, 1, ":VS11\n0 0 0 0 0 0 1 0\n:VS17\n      1 7\n:VS18\n      1 1\n");
  const double q = 0.5 * KS;
  surface.PNETTO(1) = q;
  steps(960);  // forty days
  const int kb = v.LAYER_BOTTOM_CELL(1, 1), ll = v.LL;
  // The tabulated Kr is q / Ks up to the head tolerance of the iterations (1e-4 m over
  // the 0.5 m between cells: 2e-4 of the gradient; seen 4e-4 in the cells just above
  // the base, whose boundary conductance takes the bottom cell's Kr alone). The head is off
  // by what linear interpolation of Kr between table points 7% of head apart (0.07 m at
  // 1 m) makes of it: h^2/8 |Kr''| = 3e-4 of Kr, 6e-4 m of head at dKr/dpsi = 0.5 per m.
  for (int k = kb; k <= ll; ++k) {
    EXPECT_NEAR(v.vspsi(k, 1), -1.0, 1e-3) << "cell " << k;
    EXPECT_NEAR(v.CELL_KR(k, 1), 0.5, 1e-3 * 0.5) << "cell " << k;
  }
  // What enters at the top passes every interface and leaves at the base.
  EXPECT_NEAR(v.INFILTRATION_RATE(1), -q, 1e-12 * q);
  for (int k = kb - 1; k < ll; ++k) EXPECT_NEAR(v.CELL_VERTICAL_FLOW(k, 1), -q, 2e-4 * q) << k;
}

void VssColumnTest::rain_on_the_ends(bool reversed) {
  build(4, 5.0, 2.0);
  ASSERT_EQ(frame.NEL, 4);
  ASSERT_EQ(frame.ICMREF(1, 1, 2), 2);  // element 1 lies west of element 2
  if (reversed) {
    for (int i = 1; i <= 4; ++i) frame.ISORT(i) = 5 - i;
  }
  surface.PNETTO(1) = surface.PNETTO(4) = 0.5 * KS;
  steps(48);
  double largest = 0.0;
  for (int e = 1; e <= 2; ++e) {
    for (int k = v.LAYER_BOTTOM_CELL(e, 1); k <= v.LL; ++k) {
      largest = std::max(largest, std::fabs(v.vspsi(k, e) - v.vspsi(k, 5 - e)));
    }
  }
  EXPECT_LT(largest, 1e-4) << "m";
  // Not symmetric by emptiness: the wet and the dry squares differ, and water moves
  // from the wet ones toward the middle.
  EXPECT_GT(std::fabs(v.vspsi(v.LL, 1) - v.vspsi(v.LL, 2)), 0.1);
  EXPECT_GT(v.CELL_LATERAL_FLOW(3, v.LL, 2), 0.0);
  EXPECT_GT(v.CELL_LATERAL_FLOW(1, v.LL, 3), 0.0);
}

TEST_F(VssColumnTest, MirrorCatchmentGivesMirrorHeadsSweepingFromTheWest) { rain_on_the_ends(false); }
TEST_F(VssColumnTest, MirrorCatchmentGivesMirrorHeadsSweepingFromTheEast) { rain_on_the_ends(true); }

// The mean exponents that need no power stand for a power mean: the vertical series
// form (p = 0) is the power mean of exponent -1 of the two cells' conductivities when
// the cells are equally thick, as the lateral harmonic form (q = 0) is for the two
// faces; p = 1 and q = 1 are the arithmetic means. Rain on one end of a row of four
// squares over dry soil (the water table at the base, 5 m down) drives a wetting front
// down and a mound sideways. Each form gives the heads of the power mean it stands for
// to within the iterations' head tolerance (1e-4 m; the two runs round differently, so a
// column could stop one iteration sooner in one of them), and with the same derivatives
// the same Newton iterations (within 1% for such a column; a derivative taken by the
// wrong cell costs 7% more here). Taking the wrong mean is seen: here the series and
// arithmetic vertical forms differ by over a centimetre, the harmonic and arithmetic
// lateral ones by over two millimetres.
TEST_F(VssColumnTest, ConductanceFormsGiveThePowerMeansTheyStandFor) {
  struct Run {
    std::vector<double> psi;
    long newton = 0;
  };
  auto run = [](const std::string& exponents) {
    OwnRow row(4, exponents);
    row.model->surface.PNETTO(1) = 0.8 * KS;
    run_steps(*row.model, 24);
    Run r;
    for (int e = 1; e <= 4; ++e) {
      for (int k = row.v.LAYER_BOTTOM_CELL(e, 1); k <= row.v.LL; ++k) r.psi.push_back(row.v.vspsi(k, e));
    }
    r.newton = row.v.newton_iterations;
    return r;
  };
  auto largest_difference = [](const Run& a, const Run& b) {
    EXPECT_EQ(a.psi.size(), b.psi.size());
    double largest = 0.0;
    for (std::size_t i = 0; i < std::min(a.psi.size(), b.psi.size()); ++i) {
      largest = std::max(largest, std::fabs(a.psi[i] - b.psi[i]));
    }
    return largest;
  };
  struct Case {
    const char* exponents;
    const char* power_mean;
  };
  const Case cases[] = {{"0.0 1.0", "-1.0 1.0"},
                        {"1.0 1.0", "1.000000000001 1.0"},
                        {"0.0 0.0", "0.0 -1.0"},
                        {"0.0 1.0", "0.0 1.000000000001"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exponents);
    const Run form = run(c.exponents), power = run(c.power_mean);
    EXPECT_LT(largest_difference(form, power), 1e-4);
    EXPECT_NEAR(static_cast<double>(form.newton), static_cast<double>(power.newton),
                0.01 * static_cast<double>(power.newton));
  }
  const Run series_arithmetic = run("0.0 1.0");
  EXPECT_GT(largest_difference(series_arithmetic, run("1.0 1.0")), 1e-2);
  EXPECT_GT(largest_difference(series_arithmetic, run("0.0 0.0")), 2e-3);
}

// A column's first heads for a step carry on along the last step's course, but never
// across saturation, never from saturation, and by no more than the column solver's
// step limit (half the distance from saturation, at least 0.5 m).
TEST(ColumnStartHead, CarriesOnWithinTheSolversLimits) {
  struct Case {
    double psi, change, expected;
  };
  const Case cases[] = {
      {-3.0, 0.2, -2.8},     // a wetting front: on along its course
      {-3.0, -0.2, -3.2},    // drying
      {2.0, 0.3, 2.3},       // a saturated cell under a rising table
      {-0.1, 0.3, -0.1},     // would cross saturation: stays
      {0.1, -0.3, 0.1},      // would fall below saturation: stays
      {0.0, -0.3, 0.0},      // on saturation: stays
      {-0.2, 0.2, -0.2},     // would end on saturation: stays
      {-10.0, 8.0, -5.0},    // held to half the distance from saturation
      {-10.0, -8.0, -15.0},
      {-0.6, -2.0, -1.1},    // near saturation: held to 0.5 m
      {-3.0, 0.0, -3.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(column_start_head(c.psi, c.change), c.expected)
        << "psi " << c.psi << ", change " << c.change;
  }
}

// Rain at half the saturated conductivity on a column drained to its base (heads down
// to -5 m at the top) drives a wetting front down, cell after cell: the heads move
// steadily from step to step, so heads carried on along the last step's course start
// each step closer to where it ends. Started there, the steps end where steps started
// from the last heads end, to within what the column iteration's tolerance lets a
// step's heads differ by (1e-4 m per step over the day; seen 3e-8), take in the same
// rain to within the same, and need fewer Newton iterations (seen 11% fewer: the
// second sweep of every step takes one iteration either way).
TEST_F(VssColumnTest, WettingFrontStartedFromCarriedOnHeadsEndsWhereItWould) {
  struct Run {
    std::vector<double> psi;
    double infiltrated = 0.0;  // m
    long newton = 0;
  };
  auto run = [](bool carry_on) {
    OwnRow row(1);
    SubsurfaceState& v = row.v;
    row.model->surface.PNETTO(1) = 0.5 * KS;
    Run r;
    for (int step = 1; step <= 24; ++step) {
      if (!carry_on) v.LAST_STEP_SECONDS = 0.0;
      run_steps(*row.model, 1);
      r.infiltrated -= v.INFILTRATION_RATE(1) * row.model->frame.DTUZ;
    }
    for (int k = v.LAYER_BOTTOM_CELL(1, 1); k <= v.LL; ++k) r.psi.push_back(v.vspsi(k, 1));
    r.newton = v.newton_iterations;
    return r;
  };
  const Run carried = run(true), plain = run(false);
  ASSERT_EQ(carried.psi.size(), plain.psi.size());
  double largest = 0.0;
  for (std::size_t i = 0; i < plain.psi.size(); ++i) {
    largest = std::max(largest, std::fabs(carried.psi[i] - plain.psi[i]));
  }
  EXPECT_LT(largest, 24 * 1e-4);
  EXPECT_GT(plain.psi.back(), -2.0);  // the front did move: the top wetted from -5 m
  EXPECT_NEAR(carried.infiltrated, plain.infiltrated, 24 * 1e-4 * 0.35);
  EXPECT_LT(carried.newton, 0.95 * plain.newton);
}

// The column solver's builds for the vector units give the baseline build's results to
// the bit: rain on one end of a row of four squares over dry soil (a wetting front, a
// mound spreading sideways, heads limited in their steps) for a day, every head,
// moisture content and flow of every cell equal. A build the processor cannot run is
// left out.
TEST(ColumnKernels, VectorBuildsGiveTheBaselineResultsToTheBit) {
  struct Run {
    std::vector<double> values;
    long newton = 0;
  };
  auto run = [](ColumnKernel kernel) {
    OwnRow row(4);
    SubsurfaceState& v = row.v;
    v.column_kernel = kernel;
    row.model->surface.PNETTO(1) = 0.8 * VssColumnTest::KS;
    run_steps(*row.model, 24);
    Run r;
    for (int e = 1; e <= 4; ++e) {
      for (int k = v.LAYER_BOTTOM_CELL(e, 1); k <= v.LL; ++k) {
        for (double x : {v.vspsi(k, e), v.CELL_THETA(k, e), v.CELL_KR(k, e), v.CELL_VERTICAL_FLOW(k, e)}) {
          r.values.push_back(x);
        }
        for (int f = 1; f <= 4; ++f) r.values.push_back(v.CELL_LATERAL_FLOW(f, k, e));
      }
    }
    r.newton = v.newton_iterations;
    return r;
  };
  const Run baseline = run(ColumnKernel::Baseline);
  ASSERT_GT(baseline.newton, 0);
  int compared = 0;
  for (ColumnKernel kernel : {ColumnKernel::Avx2, ColumnKernel::Avx512}) {
    if (!column_kernel_runs(kernel)) continue;
    SCOPED_TRACE(column_kernel_name(kernel));
    const Run other = run(kernel);
    EXPECT_EQ(other.newton, baseline.newton);
    ASSERT_EQ(other.values.size(), baseline.values.size());
    for (std::size_t i = 0; i < baseline.values.size(); ++i) {
      EXPECT_EQ(other.values[i], baseline.values[i]) << "value " << i;
    }
    ++compared;
  }
  if (compared == 0) GTEST_SKIP() << "this processor runs the baseline build only";
}

// Rain on the west end of a row of thirty squares of 10 m changes the heads there and
// leaves the rest of the row as it was: after the first two sweeps of a step (which
// solve every column) only the columns that still change and their neighbours are
// solved again, here two or three at the west end, never the whole row.
TEST_F(VssColumnTest, ColumnsFarFromAChangeAreNotSolvedAgainAfterTheSecondSweep) {
  constexpr int COLUMNS = 30;
  build(COLUMNS, 5.0, 2.0);
  frame.DHF.fill(5.0);  // squares of 10 m: the columns pass water on within a step
  frame.AREA.fill(100.0);
  surface.PNETTO(1) = 0.8 * KS;
  long later_sweeps = 0;
  for (int step = 1; step <= 12; ++step) {
    const long sweeps = v.global_sweeps, solves = v.column_solves;
    steps(1);
    const long swept = v.global_sweeps - sweeps, solved = v.column_solves - solves;
    const long full = std::min(swept, 2L);
    later_sweeps += swept - full;
    EXPECT_GE(solved, COLUMNS * full) << "step " << step;
    EXPECT_LE(solved, COLUMNS * full + 5 * (swept - full)) << "step " << step;
  }
  EXPECT_GT(later_sweeps, 0);  // the steps did go past the second sweep
}

// A pond of 0.5 m on the west square of a row of twelve small squares over a water table
// 1 m down: narrow columns couple so strongly through their saturated cells that a sweep
// of the global iteration takes little off the change (about 0.87 of it remains with
// 1 m squares, 0.99 with 0.2 m squares). With 1 m squares the iteration goes on past
// ten sweeps and reaches its tolerance at every step (in 30 to 45 sweeps; ten left each
// step unconverged); with 0.2 m squares the change stalls above the tolerance, and the
// iteration stops well before its cap and says why.
void VssColumnTest::pond_on_a_row_of(double width) {
  build(12, 5.0, 1.0);
  frame.DHF.fill(0.5 * width);
  frame.AREA.fill(width * width);
  surface.HRF(1) = 100.5;
}

TEST_F(VssColumnTest, NarrowColumnsSweepOnWhileTheChangeFalls) {
  pond_on_a_row_of(1.0);
  long most = 0;
  for (int step = 1; step <= 3; ++step) {
    const long sweeps = v.global_sweeps;
    steps(1);
    most = std::max(most, v.global_sweeps - sweeps);
  }
  EXPECT_TRUE(report_numbers().empty()) << print_text();
  EXPECT_GT(most, 10);
}

TEST_F(VssColumnTest, NarrowColumnsStopWhenTheChangeStalls) {
  pond_on_a_row_of(0.2);
  steps(1);
  const long sweeps = v.global_sweeps;
  EXPECT_GT(sweeps, 10);
  EXPECT_LT(sweeps, VSS_MAX_GLOBAL_SWEEPS);
  EXPECT_EQ(report_numbers(), std::vector<std::string>{"1039"});
  EXPECT_NE(print_text().find("        Maximum iterations in VSS global solver\n        stopped after " +
                              std::to_string(sweeps) +
                              " sweeps: the largest head change fell by less than 10% over the "
                              "last 5\n"),
            std::string::npos)
      << print_text();
}

// When the global iteration gives up short of its tolerance, fed the largest change of
// each sweep. A change that keeps falling by a tenth within five sweeps goes on (the bank
// catchments' 0.76 per sweep reaches 1e-4 m from 1.2 m in 36 sweeps; 0.95 per sweep only
// at the cap); one that no longer does stops, but never before the tenth sweep, which
// ends every stop that comes earlier, as the ten sweeps always did.
TEST(GlobalSweepLimit, GoesOnWhileTheChangeFallsAndStopsWhenItStalls) {
  struct Case {
    const char* name;
    std::function<double(int)> change;  // of sweep s
    int last;                           // the sweep that is the last one
    bool stalled;
  };
  const Case cases[] = {
      {"0.76 per sweep", [](int s) { return 1.2 * std::pow(0.76, s - 1); }, 0, false},
      {"0.95 per sweep", [](int s) { return std::pow(0.95, s - 1); }, VSS_MAX_GLOBAL_SWEEPS, false},
      {"flat from the third", [](int s) { return s < 3 ? 1.0 / s : 1e-3; }, 10, true},
      {"0.99 per sweep", [](int s) { return std::pow(0.99, s - 1); }, 10, true},
      {"falling, then flat from the 20th", [](int s) { return std::pow(0.76, std::min(s, 20)); },
       26, true},
      {"swinging after the 15th",
       [](int s) { return std::pow(0.7, std::min(s, 15)) * (s > 15 && s % 2 ? 3.0 : 1.0); }, 21,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GlobalSweepLimit limit;
    int last = 0;
    for (int s = 1; s < VSS_MAX_GLOBAL_SWEEPS && last == 0; ++s) {
      if (c.change(s) <= VSS_HEAD_TOLERANCE) break;  // converged
      if (limit.next_is_last(s, c.change(s))) last = s + 1;
    }
    EXPECT_EQ(last, c.last);
    if (last == 0) continue;
    const std::string text = limit.stop_text(last);
    EXPECT_EQ(text, c.stalled ? "stopped after " + std::to_string(last) +
                                    " sweeps: the largest head change fell by less than 10% over "
                                    "the last 5"
                              : "stopped at the limit of 100 sweeps, the largest head change "
                                "still falling");
  }
}

// A saturated column under a pond of 0.5 m: every head rises by 0.5 m and the soil
// takes in water by compression only, Ss per metre of head: 1e4 m2 x 5 m x 0.5 m x
// 1e-4 /m = 2.5 m3. Storage at the unsaturated slope of the point nearest saturation
// between 0 and 0.5 m of pressure (eta5 = 0.0036 /m here) would take 4.4 m3 more in
// the top cell alone, and specific storage counted twice 2.5 m3 more.
TEST_F(VssColumnTest, SaturatedColumnStoresSpecificStorageOnce) {
  build(1, 5.0, 0.0);  // the water table at the ground, cells centred 0.25 .. 4.75 m down
  ASSERT_EQ(v.LL - v.LAYER_BOTTOM_CELL(1, 1) + 1, 10);
  surface.HRF(1) = 100.5;
  double start = 0.0;
  for (int k = v.LAYER_BOTTOM_CELL(1, 1); k <= v.LL; ++k) start += 1.0e4 * 0.5 * v.CELL_THETA(k, 1);
  steps(3);
  for (int k = v.LAYER_BOTTOM_CELL(1, 1); k <= v.LL; ++k) {
    EXPECT_NEAR(v.vspsi(k, 1), 100.5 - v.CELL_ELEVATION(k, 1), 1e-4) << k;  // Newton tolerance
  }
  const double expected = 1.0e4 * 5.0 * 0.5 * 1e-4;
  // Heads converged to 1e-4 m of the 0.5 m rise: 2e-4 of the volume.
  EXPECT_NEAR(v.run_totals.surface, expected, 2e-4 * expected);
  double now = 0.0;
  for (int k = v.LAYER_BOTTOM_CELL(1, 1); k <= v.LL; ++k) now += 1.0e4 * 0.5 * v.CELL_THETA(k, 1);
  EXPECT_NEAR(now - start, v.run_totals.surface, 1e-9 * expected);
}

// Initial conditions from a vsi file: levels, or per element its number and the heads
// of its cells. Two columns of 2 m in 0.5 m cells: cells 2..5, centred 98.25 .. 99.75 m.
TEST_F(VssColumnTest, VsiFileGivesLevelsOrHeads) {
  open_input(VSS_INITIAL_CONDITIONS_UNIT, "vsi.txt", "Levels\n 98.6,\n99.0\n");
  build(2, 2.0, 0.0, 2);
  ASSERT_EQ(v.LAYER_BOTTOM_CELL(1, 1), 2);
  ASSERT_EQ(v.LL, 5);
  EXPECT_EQ(v.PHREATIC_LEVEL(1), 98.6);
  EXPECT_EQ(v.PHREATIC_LEVEL(2), 99.0);
  EXPECT_NEAR(v.vspsi(2, 1), 0.35, 1e-12);   // hydrostatic below and above the level
  EXPECT_NEAR(v.vspsi(5, 2), -0.75, 1e-12);
}

TEST_F(VssColumnTest, VsiFileGivesHeadsAndTheirLevels) {
  // Element 1 saturated to cell 3 (level 98.75 + 0.1); element 2 saturated throughout.
  open_input(VSS_INITIAL_CONDITIONS_UNIT, "vsi.txt",
             "Heads\n1 ignored\n0.6 0.1\n-0.4 0.2\n2\n1.75 1.25 0.75 0.3\n");
  build(2, 2.0, 0.0, 3);
  EXPECT_NEAR(v.PHREATIC_LEVEL(1), 98.85, 1e-12);  // a negative head cuts the run
  EXPECT_NEAR(v.PHREATIC_LEVEL(2), 100.05, 1e-12);
  EXPECT_EQ(v.vspsi(5, 1), 0.2);
}

// A damaged vsi file is an input error (exit status 3) naming file, record and element.
struct DamagedVsi {
  int mode;
  const char* text;
  const char* shows;
};
struct DamagedVsiTest : VssColumnTest, ::testing::WithParamInterface<DamagedVsi> {};

TEST_P(DamagedVsiTest, NamesFileRecordAndElement) {
  const DamagedVsi& c = GetParam();
  open_input(VSS_INITIAL_CONDITIONS_UNIT, "vsi.txt", c.text);
  try {
    build(2, 2.0, 0.0, c.mode);
    ADD_FAILURE() << "accepted: " << c.text;
  } catch (const InputError& error) {
    const std::string what = error.what();
    EXPECT_NE(what.find("vsi.txt"), std::string::npos) << what;
    EXPECT_NE(what.find(c.shows), std::string::npos) << what;
    EXPECT_NE(what.find("element 2"), std::string::npos) << what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Vsi, DamagedVsiTest,
    ::testing::Values(DamagedVsi{2, "Levels\n98.6\n", "record 2"},       // ends before element 2
                      DamagedVsi{2, "Levels\n98.6 9x.0\n", "record 2"},  // not a number
                      DamagedVsi{3, "Heads\n1\n0 0 0 0\n2\n0 0 0\n", "record 5"},  // a head short
                      DamagedVsi{3, "Heads\n1\n0 0 0 0\n2\n0 0 abc 0\n", "record 5"}));

TEST_F(VssColumnTest, VsiElementOutOfOrderIsCountedThenFatal) {
  open_input(VSS_INITIAL_CONDITIONS_UNIT, "vsi.txt", "Heads\n2\n0 0 0 0\n");
  EXPECT_THROW(build(2, 2.0, 0.0, 3), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find("Error reading VSS initial conditions for element    1."), std::string::npos) << text;
  EXPECT_NE(text.find("FATAL ERROR 1040"), std::string::npos);
}

// A spring level below the column: no cell holds it, so the element has no spring
// (warning 1084) and its well, if any, keeps working.
TEST_F(VssColumnTest, SpringBelowTheColumnIsNoSpring) {
  build(1, 2.0, 1.0, 1,
        ":VS11\n0 1 0 0 0 0 0 0\n:VS13a\n1 0\n:VS13b\n3.0 90.0 1.0e-3\n");
  EXPECT_EQ(v.SPRING_CELL(1), v.LL + 1);
  const std::string text = print_text();
  EXPECT_NE(text.find("1084"), std::string::npos) << text;
  EXPECT_NE(text.find("lies in no cell of the column: no spring"), std::string::npos) << text;
  steps(2);
  EXPECT_EQ(v.SPRING_DISCHARGE(1), 0.0);
  EXPECT_EQ(v.VSS_BOUNDARY_CODE(6, 1), 0);
}

// A head-gradient boundary is read, warned of, and in the step only says on the console,
// at each evaluation of its face, that it is unfinished: it moves no water, so the
// column drains as one without it (a water table 1 m down in a 2 m column, no rain).
TEST_F(VssColumnTest, AHeadGradientBoundaryMovesNoWaterAndSaysItIsUnfinished) {
  frame.RUN_START_TIME = DATE_TO_HOURS(2000, 1, 1, 0, 0, model.io);
  open_input(VSS_LGB_UNIT, "lgb.txt", "2000 1 1 0 0 0.5\n2100 1 1 0 0 0.5\n");
  build(1, 2.0, 1.0, 1,
        ":VS11\n0 0 0 0 1 0 0 0\n"
        ":VS14\n      1 5\n:VS15\n      1 1\n:VS16\n1\n:VS16a\n5 1 1\n:VS16b\n1\n");
  ASSERT_EQ(v.LATERAL_BOUNDARY_TYPE(1), VSS_LATERAL_HEAD_GRADIENT);
  EXPECT_NE(print_text().find("Head-gradient boundaries have no effect, elements:     1"),
            std::string::npos)
      << print_text();
  Model plain{console_file};
  testing::TempDir plain_dir;
  build_row(plain, plain_dir, 1, 2.0, 1.0);
  steps(2);
  run_steps(plain, 2);
  const int face = v.LATERAL_BOUNDARY_FACE(1);
  for (int k = v.LAYER_BOTTOM_CELL(1, 1); k <= v.LL; ++k) {
    EXPECT_EQ(v.CELL_LATERAL_FLOW(face, k, 1), 0.0) << k;
    EXPECT_EQ(v.vspsi(k, 1), plain.subsurface.vspsi(k, 1)) << k;
  }
  const std::string console = console_text();
  EXPECT_NE(console.find(" unfinished code for boundary type 5 - head gradients\n"),
            std::string::npos)
      << console;
}

// A value that is not a number where the column takes its inputs stops the step with
// fatal error 1083 naming the element and the cell, never a column of NaN heads.
TEST_F(VssColumnTest, ANonFiniteInputStopsTheColumnWithItsElementAndCell) {
  build(1, 2.0, 1.0);
  surface.PNETTO(1) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW(steps(1), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find("FATAL ERROR 1083 at time =        0.00 hours, iel =    1, cell ="),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("VSS column solver: a head change is not finite"), std::string::npos) << text;
  // What the user checks next: the column and its soil.
  EXPECT_NE(text.find("soil type 1 (:VS05): function 1"), std::string::npos) << text;
}

// A boundary series that ends stops the run in the step that meets its end, naming
// the file's kind. Each file holds the run start and one hour after it.
struct EndingSeries {
  const char* counts;    // :VS11
  const char* sections;  // what the counts ask for
  int unit;
  const char* number;
  const char* message;
};
struct EndingSeriesTest : VssColumnTest, ::testing::WithParamInterface<EndingSeries> {};

TEST_P(EndingSeriesTest, StopsWithItsNumberedError) {
  const EndingSeries& c = GetParam();
  frame.RUN_START_TIME = DATE_TO_HOURS(2000, 1, 1, 0, 0, model.io);
  open_input(c.unit, "series.txt", "Heading\n2000 1 1 0 0 0.0\n2000 1 1 1 0 0.0\n");
  build(1, 2.0, 1.0, 1, std::string(":VS11\n") + c.counts + "\n" + c.sections);
  EXPECT_THROW(steps(3), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find(std::string("FATAL ERROR ") + c.number), std::string::npos) << text;
  EXPECT_NE(text.find(c.message), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Vss, EndingSeriesTest,
    ::testing::Values(
        EndingSeries{"1 0 0 0 0 0 0 0", ":VS12\n1\n:VS12a\n1 1 0\n:VS12b\n1.5 0.5\n",
                     VSS_WLD_UNIT, "1042", "End of well abstraction file (WLD)"},
        EndingSeries{"0 0 1 0 0 0 0 0",
                     ":VS14\n      1 3\n:VS15\n      1 1\n:VS16\n1\n:VS16a\n3 1 1\n:VS16b\n1\n",
                     VSS_LFB_UNIT, "1043", "End of lateral flow boundary condition file (LFB)"},
        EndingSeries{"0 0 0 1 0 0 0 0",
                     ":VS14\n      1 4\n:VS15\n      1 1\n:VS16\n1\n:VS16a\n4 1 1\n:VS16b\n1\n",
                     VSS_LHB_UNIT, "1044", "End of lateral head boundary condition file (LHB)"},
        EndingSeries{"0 0 0 0 0 1 0 0",
                     ":VS17\n      1 6\n:VS18\n      1 1\n", VSS_BFB_UNIT, "1045",
                     "End of column base flow boundary condition file (BFB)"},
        EndingSeries{"0 0 0 0 0 0 1 0",
                     ":VS17\n      1 7\n:VS18\n      1 1\n", VSS_BHB_UNIT, "1046",
                     "End of column base head boundary condition file (BHB)"}));

}  // namespace
}  // namespace quendal
