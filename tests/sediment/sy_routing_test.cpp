#include "sediment/sy_routing.h"

#include <gtest/gtest.h>

#include "sediment/sediment_fixture.h"

#include <cmath>
#include <string>

#include "model_fixture.h"
#include "sediment/sediment_solids.h"
#include "sediment/sy_initial_state.h"
#include "sediment/sy_step.h"

namespace quendal {
namespace {

// A hand-built catchment with a three-way junction: link 1 (east-west) runs into the
// junction with its east face; link 2 (east-west) and link 3 (north-south) take water
// from it with their west and south faces. Squares 4 (north of link 1), 5 (south of
// link 1) and 6 (north of link 2) drain into the links; square 7 drains west into
// square 4. Squares are 100 m x 100 m, links 100 m long and 3 m wide. Link 2's east face
// has no neighbour: water and sediment leave the catchment there when it flows.
// Sediment: two size groups (one fine), one soil, one vegetation type; ISORT lists the
// downstream elements first, so every hand-on goes to an element already visited.
struct SyRoutingMesh : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& subsurface = model.subsurface;
  SedimentState& s = model.sediment;

  static constexpr int NEL = 7, NLF = 3;

  void SetUp() override {
    ModelWithFiles::SetUp();
    frame.NEL = NEL;
    frame.NLF = NLF;
    frame.NGDBGN = NLF + 1;
    frame.NV = 1;
    frame.NVC.resize(NEL, 1);
    frame.ICMREF.resize(NEL, 4, 3, 0);
    frame.junction_entry_count = 3;
    frame.ICMRF2.resize(3, 6, 0);
    const int entries[3][6] = {{2, 3, 0, 3, 4, 0}, {3, 1, 0, 4, 1, 0}, {1, 2, 0, 1, 3, 0}};
    for (int j = 1; j <= 3; ++j) {
      for (int k = 1; k <= 6; ++k) frame.ICMRF2(j, k) = entries[j - 1][k - 1];
    }
    frame.ICMREF(1, 1, 2) = -1;
    frame.ICMREF(2, 3, 2) = -2;
    frame.ICMREF(3, 4, 2) = -3;
    frame.LINK_NORTH_SOUTH.resize(NLF, 0);
    frame.LINK_NORTH_SOUTH(3) = 1;
    join(4, 4, 1, 2);
    join(5, 2, 1, 4);
    join(6, 4, 2, 2);
    join(7, 3, 4, 1);
    frame.DHF.resize(NEL, 4, 50.0);
    frame.AREA.resize(NEL, 1e4);
    frame.CLENTH.resize(NLF, 100.0);
    frame.DXQQ.resize(NEL, 100.0);
    frame.DYQQ.resize(NEL, 100.0);
    frame.NBFACE.resize(NEL, 0);
    frame.ISORT.resize(NEL, 0);
    const int order[NEL] = {3, 2, 1, 6, 5, 4, 7};
    for (int p = 1; p <= NEL; ++p) frame.ISORT(p) = order[p - 1];
    frame.DTUZ = 60.0;
    surface.CWIDTH.resize(NLF, 3.0);
    surface.ZBFULL.resize(NLF, 101.0);
    surface.ARXL.resize(NLF, 0.0);
    surface.QOC.resize(NEL, 4, 0.0);
    surface.CLAI.resize(1, 1.0);
    surface.PLAI.resize(1, 0.3);
    surface.PNETTO.resize(NEL, 0.0);
    surface.DRAINA.resize(NEL, 0.0);
    // Links 0.5 to 0.6 m deep below the bank top; squares 2 cm deep on falling ground.
    const double ground[NEL] = {100.0, 99.9, 99.9, 101.5, 101.3, 101.2, 102.0};
    const double depth[NEL] = {0.6, 0.6, 0.55, 0.02, 0.02, 0.02, 0.02};
    frame.ZGRUND.resize(NEL, 0.0);
    frame.HRF_SY_COPY.resize(NEL, 0.0);
    for (int e = 1; e <= NEL; ++e) {
      frame.ZGRUND(e) = ground[e - 1];
      frame.HRF_SY_COPY(e) = ground[e - 1] + depth[e - 1];
    }
    for (int k = 1; k <= NLF; ++k) surface.ARXL(k) = 3.0 * depth[k - 1];
    flow(7, 3, 4, 1, 0.05);
    flow(4, 4, 1, 2, 0.1);
    flow(5, 2, 1, 4, 0.08);
    flow(6, 4, 2, 2, 0.06);
    outflow(1, 1, 0.3);   // into the junction
    outflow(2, 3, -0.2);  // link 2 takes 0.2 m3/s from it
    outflow(3, 4, -0.1);  // link 3 takes 0.1 m3/s

    subsurface.NS = 1;
    subsurface.THSAT.resize(1, 0.45);
    s.NSED = 2;
    s.NFINE = 1;
    s.NEPS = 4;
    s.SY_OVERLAND_CAPACITY_SWITCH = 1;
    s.SY_CHANNEL_CAPACITY_SWITCH = 1;
    s.FPCRIT = 0.05;
    s.ALPHA = 1.0;
    s.DCBEDO = 0.1;
    s.DLSMAX = 0.01;
    s.SY_FINES_FRACTION_LIMIT = 0.3;
    s.SY_FINES_CONCENTRATION_LIMIT = 1e-4;
    s.DRSED.resize(NSEDEE, 0.0);
    s.DRSED(1) = 5e-5;
    s.DRSED(2) = 5e-4;
    for (Array1<double>* a : {&s.GKR, &s.GKF, &s.BKB}) a->resize(1, 0.0);
    s.RHOSO.resize(1, 1500.0);
    s.SY_SOIL_SHEAR_PARAMETER.resize(1, 0.5);
    s.SOSDFN.resize(1, NSEDEE, 0.0);
    s.SOSDFN(1, 1) = 0.3;
    s.SOSDFN(1, 2) = 0.7;
    s.XDRIP.resize(1, 0.5);
    s.DRDRIP.resize(1, 0.005);
    s.FDRIP.resize(1, 1.0);
    s.NTSOBK.resize(NLF, 1);
    s.FCG.resize(NEL, 0.0);
    s.FCROCK.resize(NEL, 0.0);
    s.PLS.resize(NEL, 0.4);
    s.PBSED.resize(NLF, 0.35);
    s.SY_SURFACE_SOIL_TYPE.resize(NEL, 1);
    s.DLS.resize(NEL, 0.002);
    s.FBETA.resize(NEL, NSEDEE, 0.0);
    s.FDEL.resize(NEL, NSEDEE, 0.0);
    for (int e = 1; e <= NEL; ++e) {
      const bool link = e <= NLF;
      if (link) s.DLS(e) = 0.15;  // deeper than the active layer
      s.FBETA(e, 1) = link ? 0.2 : 0.3;
      s.FBETA(e, 2) = link ? 0.8 : 0.7;
      s.FDEL(e, 1) = link ? 2e-4 : 1e-4;
      s.FDEL(e, 2) = link ? 1e-4 : 2e-4;
    }
    SY_INITIAL_STATE(frame, surface, subsurface, s);
    SY_SIZE_WORK_ARRAYS(frame, s);
  }

  void join(int e, int f, int n, int b) { testing::join_faces(frame, e, f, n, b); }
  void outflow(int e, int f, double q) { testing::set_outflow(surface, e, f, q); }
  // q from e over its face f into n over its face b (one face flow, seen from both).
  void flow(int e, int f, int n, int b, double q) {
    outflow(e, f, q);
    outflow(n, b, -q);
  }

  double solids(int g) const { return testing::catchment_solids(frame, s, g); }
  double all_solids() const { return solids(1) + solids(2); }

  // Every sediment value finite, no negative loose depth, every composition summing to 1.
  void expect_sound_state() const {
    for (int e = 1; e <= NEL; ++e) {
      SCOPED_TRACE(e);
      EXPECT_GE(s.DLS(e), 0.0);
      double sum = 0.0;
      for (int g = 1; g <= s.NSED; ++g) {
        sum += s.FBETA(e, g);
        EXPECT_TRUE(std::isfinite(s.FDEL(e, g)));
        EXPECT_GE(s.FDEL(e, g), 0.0);
        for (int f = 1; f <= 4; ++f) EXPECT_TRUE(std::isfinite(s.SY_FACE_SEDIMENT_DISCHARGE(e, g, f)));
      }
      EXPECT_NEAR(sum, 1.0, 1e-10);
    }
  }
};

// Rounding of sums of a few dozen terms of similar size, relative.
constexpr double ROUNDING = 1e-12;

TEST_F(SyRoutingMesh, ClosedCatchmentKeepsEverySizeGroupAcrossOutOfOrderVisits) {
  const double start[3] = {0.0, solids(1), solids(2)};
  const double square_start = s.DLS(4), link_start = s.DLS(2);
  double most_held = 0.0;
  for (int call = 1; call <= 100; ++call) {
    SY_MOVE_SEDIMENT(frame, surface, s);
    for (int g = 1; g <= 2; ++g) most_held = std::max(most_held, s.SY_HELD_SEDIMENT(2, g));
    for (int g = 1; g <= 2; ++g) {
      ASSERT_NEAR(solids(g), start[g], ROUNDING * start[g]) << "call " << call << " group " << g;
    }
  }
  // Sediment did move: through the squares into the links and on through the junction.
  EXPECT_NE(s.DLS(4), square_start);
  EXPECT_NE(s.DLS(2), link_start);
  EXPECT_GT(most_held, 0.0);
  EXPECT_NE(s.SY_NET_DEPOSITION_AREA(2), 0.0);
  for (int g = 1; g <= 2; ++g) {
    EXPECT_EQ(s.SY_INFILTRATION_RATE_SURFACE(1, g), s.SY_INFILTRATION_RATE_DEEP(1, g));
  }
  expect_sound_state();
}

TEST_F(SyRoutingMesh, DetachmentAndBankErosionAreTheOnlySources) {
  s.GKR(1) = 20.0;
  s.BKB(1) = 1e-4;
  for (int e = NLF + 1; e <= NEL; ++e) surface.PNETTO(e) = 1e-5;
  double total_gain = 0.0;
  for (int call = 1; call <= 10; ++call) {
    const double before = all_solids();
    SY_MOVE_SEDIMENT(frame, surface, s);
    double gain = 0.0, ground = 0.0, banks = 0.0;
    for (int e = NLF + 1; e <= NEL; ++e) {
      ground += (1.0 - subsurface.THSAT(1)) * s.SY_GROUND_EROSION_RATE(e) * frame.DTUZ * frame.AREA(e);
    }
    for (int k = 1; k <= NLF; ++k) {
      banks += (1.0 - subsurface.THSAT(s.NTSOBK(k))) * 2.0 * frame.CLENTH(k) *
               std::min(s.SY_WATER_DEPTH(k), s.SY_BANK_HEIGHT(k)) * s.SY_BANK_EROSION_RATE(k) *
               frame.DTUZ;
    }
    gain = ground + banks;
    ASSERT_GT(ground, 0.0);
    ASSERT_GT(banks, 0.0);
    ASSERT_NEAR(all_solids() - before, gain, ROUNDING * before) << "call " << call;
    total_gain += gain;
  }
  EXPECT_NEAR(s.solids_eroded(1) + s.solids_eroded(2), total_gain, ROUNDING * total_gain);
  expect_sound_state();
}

TEST_F(SyRoutingMesh, WhatLeavesThroughTheOpenEndIsWhatTheCatchmentLoses) {
  outflow(2, 1, 0.4);
  s.NEPS = 1;
  const double start = all_solids();
  double left = 0.0;
  for (int call = 1; call <= 50; ++call) {
    SY_MOVE_SEDIMENT(frame, surface, s);
    for (int g = 1; g <= 2; ++g) left += s.SY_FACE_SEDIMENT_DISCHARGE(2, g, 1) * frame.DTUZ;
  }
  EXPECT_GT(left, 0.0);
  EXPECT_NEAR(start - all_solids(), left, ROUNDING * start);
  EXPECT_NEAR(s.solids_out(1) + s.solids_out(2), left, ROUNDING * start);
  expect_sound_state();
}

TEST_F(SyRoutingMesh, SquareWithoutOutflowSettlesEverythingAndOneWithAmpleCapacityIsScoured) {
  s.NEPS = 1;
  const double a = 1e4, depth = 0.02;  // square 7
  {
    SCOPED_TRACE("no outflow");
    flow(7, 3, 4, 1, 0.0);
    const double dls = s.DLS(7);
    SY_MOVE_SEDIMENT(frame, surface, s);
    // Loose layer plus the suspended volume 3e-4 x 0.02 m of the last sub-step.
    const double expected = dls + 3e-4 * depth;
    EXPECT_NEAR(s.DLS(7), expected, 1e-15);
    EXPECT_NEAR(s.FBETA(7, 1), (0.3 * dls + 1e-4 * depth) / expected, 1e-12);
    EXPECT_EQ(s.FDEL(7, 1), 0.0);
    EXPECT_EQ(s.FDEL(7, 2), 0.0);
    for (int f = 1; f <= 4; ++f) EXPECT_EQ(s.SY_FACE_SEDIMENT_DISCHARGE(7, 2, f), 0.0);
  }
  {
    SCOPED_TRACE("ample capacity");
    // A thin layer on a steep square with a strong outflow: Engelund-Hansen's capacity
    // and FPCRIT x 0.5 m3/s both exceed the potential outflow of about 3e-3 m3/s.
    frame.ZGRUND(7) = 110.0;
    frame.HRF_SY_COPY(7) = 110.0 + depth;
    flow(7, 3, 4, 1, 0.5);
    s.DLS(7) = 0.0002;
    s.FBETA(7, 1) = 0.5;
    s.FBETA(7, 2) = 0.5;
    s.FDEL(7, 1) = 1e-4;
    s.FDEL(7, 2) = 2e-4;
    SY_MOVE_SEDIMENT(frame, surface, s);
    EXPECT_EQ(s.DLS(7), 0.0);
    EXPECT_EQ(s.FBETA(7, 1), 0.3);  // the surface soil's composition
    EXPECT_EQ(s.FBETA(7, 2), 0.7);
    // Everything available is spread through the 60 x 0.5 + 0.02 x 1e4 m3 of water.
    const double vw = 60.0 * 0.5 + depth * a;
    EXPECT_NEAR(s.FDEL(7, 1), (1e-4 * depth + 0.5 * 0.0002) * a / vw, 1e-15);
    EXPECT_NEAR(s.FDEL(7, 2), (2e-4 * depth + 0.5 * 0.0002) * a / vw, 1e-15);
  }
}

TEST_F(SyRoutingMesh, BedLayerSplitKeepsTheActiveDepthAndCountsNetDeposition) {
  // Link 1 (3 m wide) starts with a 0.3 m bed: two sub-steps leave it 2 mm deeper, then
  // 1 mm shallower than that.
  s.DLS(1) = 0.3;
  auto leave = [&](double a1, double a2, double d1, double d2) {
    s.SY_NEW_ACTIVE_SEDIMENT(1, 1) = a1;
    s.SY_NEW_ACTIVE_SEDIMENT(1, 2) = a2;
    s.SY_NEW_DEEP_SEDIMENT(1, 1) = d1;
    s.SY_NEW_DEEP_SEDIMENT(1, 2) = d2;
    SY_BED_LAYER_SPLIT(frame, surface, s);
  };
  const double before = s.SY_NET_DEPOSITION_AREA(1);
  leave(0.05, 0.052, 0.1, 0.1);
  leave(0.05, 0.051, 0.1, 0.1);
  EXPECT_NEAR(s.SY_NET_DEPOSITION_AREA(1) - before, 0.003, 1e-15);
  EXPECT_NEAR(s.DLS(1), 0.301, 1e-15);
  // Erosion leaves 0.05 m of the active layer over 0.2 m below: the active layer keeps
  // its 0.05 m and takes 0.05 m from below, a quarter of each group there.
  leave(0.02, 0.03, 0.12, 0.08);
  EXPECT_NEAR(s.SY_ACTIVE_LAYER_DEPTH(1), 0.1, 1e-15);
  EXPECT_NEAR(s.SY_ACTIVE_LAYER_SEDIMENT(1, 1), 0.02 + 0.03, 1e-15);
  EXPECT_NEAR(s.SY_ACTIVE_LAYER_SEDIMENT(1, 2), 0.03 + 0.02, 1e-15);
  EXPECT_NEAR(s.SY_DEEP_LAYER_SEDIMENT(1, 1), 0.09, 1e-15);
  EXPECT_NEAR(s.SY_DEEP_LAYER_SEDIMENT(1, 2), 0.06, 1e-15);
  EXPECT_NEAR(s.FBETA(1, 1), 0.14 / 0.25, 1e-15);
  // An empty bed keeps its composition.
  leave(0.0, 0.0, 0.0, 0.0);
  EXPECT_EQ(s.DLS(1), 0.0);
  EXPECT_EQ(s.SY_ACTIVE_LAYER_DEPTH(1), 0.0);
  EXPECT_NEAR(s.FBETA(1, 1), 0.14 / 0.25, 1e-15);
}

TEST_F(SyRoutingMesh, ZeroStepLeavesAFiniteStateAndZeroRates) {
  frame.DTUZ = 0.0;
  const double start = all_solids();
  SY_MOVE_SEDIMENT(frame, surface, s);
  for (int k = 1; k <= NLF; ++k) {
    for (int g = 1; g <= 2; ++g) EXPECT_EQ(s.SY_INFILTRATION_RATE_DEEP(k, g), 0.0);
  }
  EXPECT_NEAR(all_solids(), start, ROUNDING * start);
  expect_sound_state();
}

TEST_F(SyRoutingMesh, TimeDependentCheckRunsEveryIntervalAndTheRunGoesOn) {
  // ISORT lists the downstream elements first: every element that hands water on fails
  // the order check.
  struct Case {
    int interval, checks;
  } cases[] = {{3, 3}, {1, 8}, {0, 0}, {-1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interval);
    s.SY_CHECK_INTERVAL = c.interval;
    s.SY_CALL_COUNT = 1;  // set up
    const int before = testing::count_of(print_text(), "QOC[iel=1,...,NEL][face=4]:");
    const int reports_before = testing::count_of(
        print_text(), "Error(s) detected while checking time-dependent WAT-SY interface");
    for (int call = 2; call <= 9; ++call) {
      SY_STEP(frame, surface, subsurface, s, model.io);
    }
    const std::string text = print_text();
    EXPECT_EQ(testing::count_of(text, "QOC[iel=1,...,NEL][face=4]:") - before, c.checks);
    EXPECT_EQ(testing::count_of(
                  text, "Error(s) detected while checking time-dependent WAT-SY interface") -
                  reports_before,
              c.checks);
    EXPECT_EQ(s.SY_CALL_COUNT, 9);
  }
  const std::string text = print_text();
  EXPECT_NE(text.find(" DTUZ:"), std::string::npos);
  EXPECT_NE(text.find("position_in_ISORT(iel)"), std::string::npos);
  // The upstream-first order passes.
  const int order[NEL] = {7, 4, 5, 6, 1, 2, 3};
  for (int p = 1; p <= NEL; ++p) frame.ISORT(p) = order[p - 1];
  s.SY_CHECK_INTERVAL = 1;
  const int reports = testing::count_of(text, "time-dependent WAT-SY interface");
  SY_STEP(frame, surface, subsurface, s, model.io);
  EXPECT_EQ(testing::count_of(print_text(), "time-dependent WAT-SY interface"), reports);
}

}  // namespace
}  // namespace quendal
