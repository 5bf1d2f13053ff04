// The overland and channel flow step on small catchments built in the state: the
// physics a user checks first (runoff reaching the outlet, the water balance, a surface
// at rest staying at rest), the exact recurrence of a linear element, the boundary
// series, the print window and the stops.
#include "surface/oc/oc_time_step.h"
#include "surface/oc/oc_storage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "services/calendar.h"
#include "services/stops.h"
#include "surface/oc/oc_catchment.h"

namespace quendal {
namespace {

using testing::add_oc_boundary;
using testing::build_oc_catchment;
using testing::oc_step;
using testing::OcCatchmentLayout;

struct OcStepTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  OcStepState state;

  void rain(double rate) {
    for (int e = 1; e <= frame.NEL; ++e) surface.PNETTO(e) = rate;
  }
  void set_depth(int e, double depth) { surface.SET_HRF(e, frame.ZGRUND(e) + depth); }
  double depth(int e) const { return surface.GET_HRF(e) - frame.ZGRUND(e); }
};

// ---- an isolated grid square -------------------------------------------------------

// One grid square, the only cell of a 2 x 2 grid inside the catchment.
struct IsolatedSquare : OcStepTest {
  void SetUp() override {
    OcStepTest::SetUp();
    OcCatchmentLayout layout;
    layout.nx = 2;
    layout.ny = 2;
    layout.outside = {{2, 1}, {1, 2}, {2, 2}};
    build_oc_catchment(model, layout);
    ASSERT_EQ(frame.NEL, 1);
    ASSERT_NE(frame.NBFACE(1), 0);
  }
};

TEST_F(IsolatedSquare, LinearOutflowFollowsTheBackwardEulerRecurrence) {
  // Outflow a1 y through its open face, constant rain r, no evaporation: the one
  // linearisation per step is exact, so the depth follows
  //   AREA (y' - y) / dt = r AREA - a1 y'   ->   y' = (y + dt r) / (1 + dt a1 / AREA).
  const double a1 = 5.0, r = 1e-5, dt = 3600.0;
  add_oc_boundary(surface, 1, 1, frame.NBFACE(1), OC_BC_POLYNOMIAL, 1, {0.0, 0.0, 0.0, a1, 0.0});
  const double area = frame.AREA(1);
  ASSERT_EQ(area, 1e4);
  rain(r);
  set_depth(1, 0.05);
  double y = 0.05;
  for (int n = 1; n <= 20; ++n) {
    oc_step(model, state, dt / 3600.0);
    y = (y + dt * r) / (1.0 + dt * a1 / area);
    ASSERT_NEAR(depth(1), y, 1e-12) << "step " << n;
    EXPECT_NEAR(surface.GET_QSA(1, frame.NBFACE(1)), -a1 * y, 1e-12);
  }
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(IsolatedSquare, FluxSeriesEntersAsItsMeanOverTheStep) {
  // Records at 00:30 (2 m3/s, holding from the run start) and 02:00 (4 m3/s): over the
  // first hour the mean is 3 m3/s, over the second 4 m3/s.
  frame.RUN_START_TIME = DATE_TO_HOURS(1990, 1, 1, 0, 0, model.io);
  open_input(OC_FLUX_SERIES_UNIT, "ofb.txt",
             "flux series\n1990 1 1 0 30 2.0\n1990 1 1 2 0 4.0\n1990 1 1 9 0 4.0\n");
  std::string title;
  model.io.units.unit(OC_FLUX_SERIES_UNIT).read_record(title);
  surface.OC_N_FLUX_CATEGORIES = 1;
  add_oc_boundary(surface, 1, 1, frame.NBFACE(1), OC_BC_FLUX, 1);
  set_depth(1, 0.1);
  oc_step(model, state, 1.0);
  EXPECT_NEAR(depth(1), 0.1 + 3.0 * 3600.0 / 1e4, 1e-12);
  oc_step(model, state, 1.0);
  EXPECT_NEAR(depth(1), 0.1 + 7.0 * 3600.0 / 1e4, 1e-12);
}

TEST_F(IsolatedSquare, HeadElementTakesItsSeriesDepthAtMidStep) {
  // Depths 0.3 m at 00:00 and 0.5 m at 24:00 the next day: at the middle of the first
  // hour the series gives 0.3 + 0.2 x 0.5 / 24.
  frame.RUN_START_TIME = DATE_TO_HOURS(1990, 1, 1, 0, 0, model.io);
  open_input(OC_HEAD_SERIES_UNIT, "ohb.txt",
             "head series\n1990 1 1 0 0 0.3\n1990 1 2 0 0 0.5\n");
  std::string title;
  model.io.units.unit(OC_HEAD_SERIES_UNIT).read_record(title);
  surface.OC_N_HEAD_CATEGORIES = 1;
  add_oc_boundary(surface, 1, 1, 0, OC_BC_HEAD, 1);
  rain(1e-4);  // whatever else enters, the depth is the series'
  set_depth(1, 0.1);
  oc_step(model, state, 1.0);
  EXPECT_NEAR(depth(1), 0.3 + 0.2 * 0.5 / 24.0, 1e-12);
  // The series ends before the fourth day: the run stops.
  EXPECT_THROW(
      {
        for (int n = 0; n < 30; ++n) oc_step(model, state, 2.0);
      },
      FatalError);
  EXPECT_NE(print_text().find("END OF OC HEAD BOUNDARY DATA"), std::string::npos);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(7, 1), 1);
}

TEST_F(IsolatedSquare, PrintsItsResultsWhileTheWindowIsOpen) {
  frame.RUN_START_TIME = DATE_TO_HOURS(1990, 1, 1, 0, 0, model.io);
  open_input(OC_FLUX_SERIES_UNIT, "ofb.txt", "flux series\n1990 1 1 9 0 3.0\n");
  std::string title;
  model.io.units.unit(OC_FLUX_SERIES_UNIT).read_record(title);
  surface.OC_N_FLUX_CATEGORIES = 1;
  add_oc_boundary(surface, 1, 1, frame.NBFACE(1), OC_BC_FLUX, 1);
  surface.OC_PRINT_START = 1.5;
  surface.OC_PRINT_END = 2.0;
  oc_step(model, state, 1.0);  // ends at 1 h: shut
  EXPECT_EQ(print_text().find("OC MODULE"), std::string::npos);
  oc_step(model, state, 1.0);  // ends at 2 h: open
  oc_step(model, state, 1.0);  // ends at 3 h: shut again
  ASSERT_EQ(frame.NBFACE(1), 1);
  // 3 m3/s in through the east face for 2 h over 1e4 m2: 2.16 m on ground at 10 m.
  const std::string expected =
      "\n\n---- OC MODULE  RESULTS AFTER      2.00 HOURS ----\n\n\n"
      "     iel  QOC(iel,1)  QOC(iel,2)  QOC(iel,3)  QOC(iel,4)         HRF        ARXL\n\n"
      "       1      -3.000      -0.000       0.000       0.000      12.160\n\n\n"
      "---- OC MODULE  RESULTS END ----\n";
  EXPECT_EQ(print_text(), expected);
}

TEST_F(IsolatedSquare, ASingularRowStopsTheRun) {
  // A square of no area and no flows leaves its equation without a level term.
  frame.AREA(1) = 0.0;
  try {
    oc_step(model, state, 1.0);
    FAIL() << "no stop";
  } catch (const FatalError&) {
  }
  EXPECT_NE(print_text().find("iel =    1"), std::string::npos) << print_text();
  EXPECT_NE(print_text().find("Singular OC row matrix in grid row    1"), std::string::npos);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(18, 1), 1);
}

// ---- a valley of two tilted planes draining to one channel ------------------------

// 6 x 5 squares of 100 m. A channel of six east-west links runs along the south faces
// of row 3 and leaves the catchment over a free weir at the east end of link 6. The
// ground falls 2 m per row towards the channel from both sides (a 2% cross slope) and
// 1 m per column towards the east.
struct Valley : OcStepTest {
  static constexpr double WEIR_COEFFICIENT = 3.0;
  int outlet = 0;

  void SetUp() override {
    OcStepTest::SetUp();
    outlet = build_valley(model);
    ASSERT_EQ(frame.NLF, 6);
    ASSERT_NE(outlet, 0);
  }
  // Builds the valley in `m`, its channels `channel_width` m wide, and returns its outlet.
  static int build_valley(Model& m, double channel_width = 2.0) {
    OcCatchmentLayout layout;
    layout.channel_width = channel_width;
    layout.nx = 6;
    layout.ny = 5;
    for (int i = 1; i <= 6; ++i) layout.ew_links.push_back({i, 3});
    layout.ground = [](int i, int j) {
      const double across = j >= 3 ? j - 3 + 0.5 : 2.5 - j;
      return 10.0 + 1.0 * (6 - i) + 2.0 * across;
    };
    build_oc_catchment(m, layout);
    // The link whose east face leaves the catchment.
    int outlet = 0;
    for (int l = 1; l <= m.frame.NLF; ++l) {
      if (m.frame.ICMREF(l, 1, 2) == 0) outlet = l;
    }
    if (outlet == 0) return 0;
    const double bed = m.frame.ZGRUND(outlet);
    add_oc_boundary(m.surface, 1, outlet, 1, OC_BC_WEIR, 1,
                    {WEIR_COEFFICIENT, 0.67, bed, bed - 10.0, 0.0});
    // Every element starts wet (a rain-fed surface then never dries).
    for (int e = 1; e <= m.frame.NEL; ++e) {
      m.surface.SET_HRF(e, m.frame.ZGRUND(e) + (e <= m.frame.NLF ? 0.05 : 0.002));
    }
    return outlet;
  }
  double outflow() const { return -surface.GET_QSA(outlet, 1); }
  double total_area() const {
    double a = 0.0;
    for (int e = 1; e <= frame.NEL; ++e) a += frame.AREA(e);
    return a;
  }
  // Water on the surface before the first step, when ARXL is not yet computed: the
  // channels are rectangular.
  double initial_storage() const {
    double v = 0.0;
    for (int e = 1; e <= frame.NEL; ++e) {
      const double a = e <= frame.NLF ? surface.CWIDTH(e) * frame.CLENTH(e) : frame.AREA(e);
      v += depth(e) * a;
    }
    return v;
  }
};

TEST_F(Valley, SteadyRainSettlesToRainTimesAreaAtTheOutlet) {
  const double r = 5e-6;  // 18 mm/h
  rain(r);
  const double steady = r * total_area();
  // Kinematic-wave time of concentration of the longer plane: 250 m at a 2% slope with
  // Strickler 5 (Manning n 0.2): t = (L n / sqrt(S))^0.6 / r^0.4, about 1.2 h.
  const double t_c = std::pow(250.0 * 0.2 / std::sqrt(0.02), 0.6) / std::pow(r, 0.4) / 3600.0;
  const double dt = 0.25;
  double previous = outflow(), settled_at = -1.0;
  for (int n = 1; n <= 48 * 4; ++n) {
    oc_step(model, state, dt);
    const double q = outflow();
    // Rises monotonically (to the rounding of the step's solution).
    EXPECT_GE(q, previous - 1e-9 * steady) << "step " << n;
    previous = q;
    if (settled_at < 0.0 && std::fabs(q - steady) <= 0.01 * steady) settled_at = n * dt;
  }
  EXPECT_NEAR(outflow(), steady, 0.01 * steady);
  ASSERT_GT(settled_at, 0.0);
  EXPECT_GT(settled_at, 0.25 * t_c) << "t_c " << t_c;
  EXPECT_LT(settled_at, 10.0 * t_c) << "t_c " << t_c;
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(Valley, WaterBalanceClosesOverAStormAndItsRecession) {
  // Surface only, rectangular channels, no evaporation: the change of the water stored
  // on the surface equals the rain in minus the outflow at the weir.
  const double dt = 0.5;
  const double v0 = initial_storage();
  double rain_in = 0.0, out = 0.0;
  for (int n = 1; n <= 40; ++n) {
    rain(n <= 12 ? 1e-5 : 2e-7);
    for (int e = 1; e <= frame.NEL; ++e) rain_in += surface.PNETTO(e) * frame.AREA(e) * dt * 3600.0;
    oc_step(model, state, dt);
    out -= testing::boundary_inflow(model) * dt * 3600.0;
  }
  ASSERT_GT(out, 0.1 * rain_in);
  const double v1 = testing::surface_storage(model);
  EXPECT_NEAR(v1 - v0, rain_in - out, 1e-6 * rain_in);
  // Rectangular channels: ARXL is the depth times the width.
  for (int l = 1; l <= frame.NLF; ++l) {
    EXPECT_NEAR(surface.ARXL(l), depth(l) * surface.CWIDTH(l), 1e-12);
  }
}

TEST_F(Valley, FaceFlowsAreAntisymmetric) {
  rain(1e-5);
  for (int n = 1; n <= 8; ++n) {
    oc_step(model, state, 0.5);
    for (int e = 1; e <= frame.NEL; ++e) {
      for (int f = 1; f <= 4; ++f) {
        const int g = frame.ICMREF(e, f, 2);
        if (g <= 0) continue;
        const int h = frame.ICMREF(e, f, 3);
        ASSERT_NEAR(surface.GET_QSA(e, f), -surface.GET_QSA(g, h),
                    1e-12 * (1.0 + std::fabs(surface.GET_QSA(e, f))))
            << "element " << e << " face " << f;
        // QOC reads the same from both sides.
        ASSERT_NEAR(surface.QOC(e, f), surface.QOC(g, h),
                    1e-12 * (1.0 + std::fabs(surface.QOC(e, f))));
      }
    }
  }
}

TEST(OcSubSteps, AStepFarFromItsLinearisationIsTakenInSubStepsAndConservesWater) {
  // The valley with its outlet link dry and the squares on both sides of it flooded, no
  // rain, one step of an hour: the squares pour over the banks into a link whose weir,
  // linearised at a dry crest, carries almost nothing, so the one linear solution would
  // raise the link by metres. The step is taken in sub-steps instead. Channels 10 m
  // wide beside squares 0.5 m deep take some 120 m3/s, which sub-steps of a few seconds
  // resolve; channels 2 m wide beside squares 1.4 m deep take 560 m3/s, which would fill
  // the link in half a second, below the finest sub-step: that step goes on with
  // warning 1095.
  struct Case {
    const char* name;
    double channel_width, square_depth;
    int warnings;
  };
  const std::vector<Case> cases = {{"resolved", 10.0, 0.5, 0}, {"too stiff", 2.0, 1.4, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto flooded_valley = [&](Model& m) {
      m.io.units.open(PRINT_UNIT, "/dev/null", UnitDirection::Output);
      const int outlet = Valley::build_valley(m, c.channel_width);
      for (int e = 1; e <= m.frame.NEL; ++e) m.surface.SET_HRF(e, m.frame.ZGRUND(e));
      for (int f : {2, 4}) {
        const int square = m.frame.ICMREF(outlet, f, 2);
        m.surface.SET_HRF(square, m.frame.ZGRUND(square) + c.square_depth);
      }
    };
    const auto volumes = [](const Model& m) {
      std::vector<double> v(m.frame.NEL + 1, 0.0);
      const OcLinkSections sections = link_sections(m.surface);
      for (int e = 1; e <= m.frame.NEL; ++e) {
        v[e] = OC_SURFACE_VOLUME(m.frame, sections, e, m.surface.GET_HRF(e));
      }
      return v;
    };
    Model model;
    flooded_valley(model);
    OcStepState state;
    const std::vector<double> before = volumes(model);
    const double hours = 1.0, dt = hours * 3600.0;
    oc_step(model, state, hours);
    EXPECT_GT(state.largest_substeps, 1);
    EXPECT_EQ(model.io.errors.ERROR_COUNTS(95, 1), c.warnings);
    EXPECT_EQ(model.io.errors.ERROR_TOTAL, c.warnings);

    // QOC holds what crossed each face over the step: every element holds what it held
    // plus what its faces delivered (to the rounding of some 10^4 m3).
    const std::vector<double> after = volumes(model);
    double stored = 0.0;
    for (int e = 1; e <= model.frame.NEL; ++e) {
      double inflow = 0.0;
      for (int f = 1; f <= 4; ++f) inflow += testing::step_inflow(model, e, f);
      EXPECT_NEAR(after[e] - before[e], dt * inflow, 1e-9) << "element " << e;
      stored += after[e] - before[e];
    }
    const double left = -dt * testing::boundary_inflow(model);
    EXPECT_GT(left, 0.0);
    EXPECT_NEAR(stored, -left, 1e-9);
    if (c.warnings != 0) continue;

    // The hour in 720 steps of 5 s: the water that left over the weir agrees to the
    // backward-Euler error of steps as long as the hour's later sub-steps (the weir
    // drains the flood in about an hour; steps of 15 minutes give 4% less, 60 of a
    // minute 0.3%, measured).
    Model fine;
    flooded_valley(fine);
    OcStepState fine_state;
    double fine_left = 0.0;
    for (int n = 0; n < 720; ++n) {
      oc_step(fine, fine_state, hours / 720.0);
      fine_left -= dt / 720.0 * testing::boundary_inflow(fine);
    }
    EXPECT_NEAR(left, fine_left, 0.1 * fine_left);
  }
}

TEST_F(Valley, ChannelFlowAboveTheMaximumStopsTheRun) {
  rain(1e-5);
  frame.OC_MAX_CHANNEL_FLOW = 1e-3;
  EXPECT_THROW(
      {
        for (int n = 0; n < 10; ++n) oc_step(model, state, 0.5);
      },
      FatalError);
  EXPECT_NE(print_text().find("CHANNEL FLOWS EXCEED MAXIMUM ALLOWED"), std::string::npos);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(29, 1), 1);
}

TEST_F(OcStepTest, AJunctionThatDoesNotConvergeIsReportedUpToTheLimit) {
  for (int n = 1; n <= OC_JUNCTION_MESSAGE_LIMIT + 5; ++n) report_junction_failure(state, 7, model.io);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(26, 1), OC_JUNCTION_MESSAGE_LIMIT);
  const std::string print = print_text();
  std::size_t reports = 0;
  for (std::size_t at = print.find("Maximum iterations in OC channel junction level");
       at != std::string::npos;
       at = print.find("Maximum iterations in OC channel junction level", at + 1)) {
    ++reports;
  }
  EXPECT_EQ(reports, static_cast<std::size_t>(OC_JUNCTION_MESSAGE_LIMIT - 1));
  EXPECT_NE(print.find(" !!!    WARNING 1026 at time =        0.00 hours, iel =    7\n"
                       "        **** Last printout of the error message - maximum iterations in "
                       "OC channel junction level *****\n"),
            std::string::npos);
  EXPECT_EQ(print.find("Last printout"), print.rfind("Last printout"));
}

// ---- a channel network with a junction ------------------------------------------------

// 5 x 5 squares; an east-west channel along the south faces of row 3 with a tributary
// coming from the north along the west faces of column 3, rows 3 to 5: three links meet
// at the south-west corner of square (3, 3). The outlet is a free weir at the east end.
struct Network : OcStepTest {
  int outlet = 0;
  std::vector<int> junction_links;  // the three links at the node
  std::vector<int> junction_faces;

  void SetUp() override {
    OcStepTest::SetUp();
    OcCatchmentLayout layout;
    layout.nx = 5;
    layout.ny = 5;
    for (int i = 1; i <= 5; ++i) layout.ew_links.push_back({i, 3});
    for (int j = 3; j <= 5; ++j) layout.ns_links.push_back({3, j});
    layout.ground = [](int i, int j) {
      const double across = j >= 3 ? j - 3 + 0.5 : 2.5 - j;
      return 10.0 + 0.8 * (5 - i) + 1.5 * across + 0.3 * std::abs(i - 3);
    };
    build_oc_catchment(model, layout);
    for (int l = 1; l <= frame.NLF; ++l) {
      if (frame.ICMREF(l, 1, 2) == 0 && !frame.LINK_NORTH_SOUTH(l)) outlet = l;
      for (int f = 1; f <= 4; ++f) {
        if (frame.ICMREF(l, f, 2) < 0) {
          junction_links.push_back(l);
          junction_faces.push_back(f);
        }
      }
    }
    ASSERT_NE(outlet, 0);
    ASSERT_EQ(junction_links.size(), 3u);
    add_oc_boundary(surface, 1, outlet, 1, OC_BC_WEIR, 1,
                    {30.0, 0.67, frame.ZGRUND(outlet), frame.ZGRUND(outlet) - 10.0, 0.0});
  }
};

TEST_F(Network, AFlatWaterSurfaceStaysAtRest) {
  double top = 0.0;
  for (int e = 1; e <= frame.NEL; ++e) top = std::max(top, frame.ZGRUND(e));
  for (int e = 1; e <= frame.NEL; ++e) surface.SET_HRF(e, top + 0.1);
  // No outlet: the weir would drain the surface.
  surface.OC_BOUNDARY_OF_ELEMENT(outlet) = 0;
  for (int n = 1; n <= 3; ++n) {
    oc_step(model, state, 1.0);
    for (int e = 1; e <= frame.NEL; ++e) {
      EXPECT_NEAR(surface.GET_HRF(e), top + 0.1, 1e-12) << "element " << e;
      for (int f = 1; f <= 4; ++f) EXPECT_NEAR(surface.GET_QSA(e, f), 0.0, 1e-12);
    }
  }
}

TEST(OcStepStorage, AChannelHoldsExactlyTheWaterItsFlowsDelivered) {
  // Flat ground at 10 m; the links of the network have sections of 4 m at bank-full
  // (1 m) over a rectangle, a V or a trapezoid. Every link starts at one depth; rain or
  // evaporation acts on the links alone (on the squares too when these are flooded
  // above the bank tops). Whatever the section and whether the level rises, falls or
  // crosses bank-full within the step, the wetted area times the length changes by
  // exactly what the link's face flows and its vertical terms delivered over the step.
  struct Case {
    const char* name;
    double bed_width, link_depth, square_depth;
    double rain, evaporation;  // m/s
    bool on_squares;
  };
  const std::vector<Case> cases = {
      {"rectangle rising", 4.0, 0.3, 0.0, 2e-4, 0.0, false},
      {"V rising from dry", 0.0, 0.0, 0.0, 2e-4, 0.0, false},
      {"V falling", 0.0, 0.5, 0.0, 0.0, 5e-5, false},
      {"trapezoid rising", 0.5, 0.5, 0.0, 2e-4, 0.0, false},
      {"trapezoid falling", 0.5, 0.5, 0.0, 0.0, 5e-5, false},
      {"trapezoid crossing bank-full", 0.5, 0.9, 0.0, 4e-4, 0.0, false},
      {"above bank-full", 0.5, 1.5, 0.5, 2e-4, 0.0, true},
  };
  const double hours = 0.5, dt = hours * 3600.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    model.io.units.open(PRINT_UNIT, "/dev/null", UnitDirection::Output);
    OcCatchmentLayout layout;
    layout.nx = 5;
    layout.ny = 5;
    for (int i = 1; i <= 5; ++i) layout.ew_links.push_back({i, 3});
    for (int j = 3; j <= 5; ++j) layout.ns_links.push_back({3, j});
    layout.channel_width = 4.0;
    build_oc_catchment(model, layout);
    FrameState& frame = model.frame;
    SurfaceState& surface = model.surface;
    for (int l = 1; l <= frame.NLF; ++l) surface.XINW(l, 1) = c.bed_width;
    build_link_sections(surface, frame.NLF);
    const OcLinkSections sections = link_sections(surface);
    std::vector<double> volume_before(frame.NLF + 1, 0.0);
    for (int e = 1; e <= frame.NEL; ++e) {
      const bool link = e <= frame.NLF;
      surface.SET_HRF(e, frame.ZGRUND(e) + (link ? c.link_depth : c.square_depth));
      surface.PNETTO(e) = link || c.on_squares ? c.rain : 0.0;
      surface.ET_SURFACE_WATER_EVAP(e) = link || c.on_squares ? c.evaporation : 0.0;
      if (link) volume_before[e] = OC_SURFACE_VOLUME(frame, sections, e, surface.GET_HRF(e));
    }
    OcStepState state;
    oc_step(model, state, hours);
    for (int l = 1; l <= frame.NLF; ++l) {
      double inflow = frame.AREA(l) * (c.rain - c.evaporation);
      for (int f = 1; f <= 4; ++f) inflow += testing::step_inflow(model, l, f);
      const double change = surface.ARXL(l) * frame.CLENTH(l) - volume_before[l];
      EXPECT_NEAR(change, dt * inflow, 1e-9 * std::fabs(dt * inflow)) << "link " << l;
    }
  }
}

TEST_F(Network, JunctionFlowsAddUpToZeroEveryStep) {
  for (int e = 1; e <= frame.NEL; ++e) set_depth(e, e <= frame.NLF ? 0.05 : 0.002);
  for (int n = 1; n <= 24; ++n) {
    rain(n <= 8 ? 5e-6 : 2e-7);
    try {
      oc_step(model, state, 0.5);
    } catch (const FatalError&) {
      FAIL() << print_text();
    }
    double sum = 0.0, total = 0.0;
    for (std::size_t b = 0; b < junction_links.size(); ++b) {
      const double q = surface.GET_QSA(junction_links[b], junction_faces[b]);
      sum += q;
      total += std::fabs(q);
    }
    ASSERT_GT(total, 0.0) << "step " << n;
    EXPECT_NEAR(sum, 0.0, 1e-12 * total) << "step " << n;
  }
  EXPECT_GT(-surface.GET_QSA(outlet, 1), 0.0);
}

}  // namespace
}  // namespace quendal
