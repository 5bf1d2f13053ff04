#include "sediment/sy_flow_variables.h"

#include <gtest/gtest.h>

#include "sediment/sediment_fixture.h"

#include <cmath>

#include "sediment/sy_initial_state.h"

namespace quendal {
namespace {

// Expected values are worked by hand from the physical constants to ten figures; the
// code's doubles agree to rounding, so 1e-9 relative only leaves room for the last
// bits of exp and pow.
constexpr double REL = 1e-9;

TEST(SyCriticalShear, GrainRuleFollowsTheReynoldsClassesAndSoilRuleOnlyTheParameter) {
  struct Case {
    int sw;
    double d, tau, p, expected;
  } cases[] = {
      // R = sqrt(tau) x 31654.446891645923 x d; tau_c = 16200.5858 d a R^b.
      {0, 0.5e-3, 1.0, 0.0, 0.2673096657},    // R 15.827, class 3: a 0.033, b 0
      {0, 0.1e-3, 0.5, 0.0, 0.09830610405},   // R 2.2383, class 2: a 0.1, b -0.62
      {0, 2e-3, 10.0, 0.0, 1.651309356},      // R 200.20, class 5: a 0.03, b 0.1
      {0, 0.5e-3, 4.89351835, 0.0, 0.2849865551},  // R 35.012, class 4: a 0.013, b 0.28
      // R clamped to 0.03 (still water): 16200.5858 x 1e-4 x 0.1 x 0.03^-0.3.
      {0, 1e-4, 0.0, 0.0, 16200.5858 * 1e-4 * 0.1 * std::pow(0.03, -0.3)},
      // Soil rule: 0.493 exp(4.213730720179104 p), whatever d and tau.
      {1, 0.5e-3, 1.0, 0.2, 1.145109241},
      {1, 2e-3, 50.0, 0.2, 1.145109241},
      {1, 0.0, 0.0, 0.0, 0.493},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "switch " << c.sw << " d " << c.d << " tau " << c.tau);
    EXPECT_NEAR(SY_CRITICAL_SHEAR(c.sw, c.d, c.tau, c.p), c.expected, REL * c.expected);
  }
}

TEST(SyDropDiameter, LargestOfFloorDrainageDropsAndRainDrops) {
  struct Case {
    double p, drainage, drip, expected;
  } cases[] = {
      {20.0 / 3.6e6, 0.0, 0.005, 0.002139052153},  // 0.01935 P^0.182 at 20 mm/h
      {2e-5, 0.5e-5, 0.005, 0.002700650775},       // rain drops beat 0.25 x 5 mm
      {2e-5, 1.6e-5, 0.005, 0.004},                // drainage: 0.8 x 5 mm
      {1e-15, 0.0, 0.005, 1e-4},                   // 3.6e-5 from the rain: the floor
      {0.0, 1e-6, 0.005, 1e-4},                    // no net rain
      {-1e-6, 1e-6, 0.005, 1e-4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.p);
    EXPECT_NEAR(sy_drop_diameter(c.p, c.drainage, c.drip), c.expected, REL * c.expected);
  }
}

// A hand-built mesh (no frame data): links and squares wired through ICMREF directly,
// every node-to-face distance 50 m unless a test says otherwise, ground at 100 m.
struct SyHandMesh : ::testing::Test {
  FrameState frame;
  SurfaceState surface;
  SedimentState sediment;

  void build(int nel, int nlf, int junctions = 0) {
    frame.NEL = nel;
    frame.NLF = nlf;
    frame.NGDBGN = nlf + 1;
    frame.NV = 1;
    frame.NVC.resize(nel, 1);
    frame.ICMREF.resize(nel, 4, 3, 0);
    frame.junction_entry_count = junctions;
    frame.ICMRF2.resize(junctions, 6, 0);
    frame.DHF.resize(nel, 4, 50.0);
    frame.LINK_NORTH_SOUTH.resize(nlf, 0);
    frame.ZGRUND.resize(nel, 100.0);
    frame.HRF_SY_COPY.resize(nel, 100.0);
    surface.QOC.resize(nel, 4, 0.0);
    surface.ZBFULL.resize(nlf, 101.0);
    surface.CLAI.resize(1, 1.0);
    surface.PLAI.resize(1, 0.0);
    surface.PNETTO.resize(nel, 0.0);
    surface.DRAINA.resize(nel, 0.0);
    sediment.DRDRIP.resize(1, 0.005);
    SY_SIZE_WORK_ARRAYS(frame, sediment);
  }
  // e's face f and n's face b face each other.
  void join(int e, int f, int n, int b) { testing::join_faces(frame, e, f, n, b); }
  void outflow(int e, int f, double q) { testing::set_outflow(surface, e, f, q); }
};

// Link 1 (east-west, bank-full 101 m) along the south side of square 2; square 3 east
// of square 2. Square 3 has no neighbour to the east or north.
struct SySlopeMesh : SyHandMesh {
  void SetUp() override {
    build(3, 1);
    join(2, 4, 1, 2);
    join(2, 1, 3, 3);
  }
};

TEST_F(SySlopeMesh, BoundaryFaceTakesTheSlopeAcrossTheOppositeFace) {
  frame.HRF_SY_COPY(2) = 100.3;
  frame.HRF_SY_COPY(3) = 100.1;
  frame.DHF(3, 3) = 40.0;
  frame.DHF(2, 1) = 60.0;
  outflow(3, 1, 0.2);   // out over the boundary: slope across face 3 towards square 2
  outflow(3, 2, 0.1);   // no neighbour north or south: slope 0
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_NEAR(sediment.SY_WATER_DEPTH(3), 0.1, 1e-12);
  EXPECT_NEAR(sediment.SY_FACE_SLOPE(3, 1), 0.2 / 100.0, 1e-15);  // 0.2 m over 40 + 60 m
  EXPECT_NEAR(sediment.SY_FACE_SHEAR(3, 1), 9787.0367 * 0.1 * 0.002, 1e-12);
  EXPECT_EQ(sediment.SY_FACE_SLOPE(3, 2), 0.0);
  EXPECT_EQ(sediment.SY_FACE_SLOPE(3, 3), 0.0);  // no flow
  EXPECT_NEAR(sediment.SY_ELEMENT_SHEAR(3), sediment.SY_FACE_SHEAR(3, 1), 1e-15);
}

TEST_F(SySlopeMesh, WaterBelowTheBankTopIsMeasuredFromTheBankTop) {
  frame.DHF(1, 2) = 2.0;  // link node to its side face
  frame.DHF(2, 4) = 50.0;
  // Square below the bank top, link above it: the square's level becomes the bank top
  // and its half distance drops out.
  frame.HRF_SY_COPY(2) = 100.2;
  frame.HRF_SY_COPY(1) = 101.5;
  outflow(2, 4, -0.3);
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_NEAR(sediment.SY_FACE_SLOPE(2, 4), 0.5 / 2.0, 1e-12);
  EXPECT_NEAR(sediment.SY_FACE_SHEAR(2, 4), 9787.0367 * 0.2 * 0.25, 1e-9);
  // Square above the bank top, link below: the link's level becomes the bank top and
  // the link's distance drops out.
  frame.HRF_SY_COPY(2) = 101.2;
  frame.HRF_SY_COPY(1) = 100.5;
  outflow(2, 4, 0.3);
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_NEAR(sediment.SY_FACE_SLOPE(2, 4), 0.2 / 50.0, 1e-12);
  // Both below: level.
  frame.HRF_SY_COPY(2) = 100.2;
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_EQ(sediment.SY_FACE_SLOPE(2, 4), 0.0);
  // The link itself computes only its end faces: its side face keeps 0 with flow.
  outflow(1, 2, 0.3);
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_EQ(sediment.SY_FACE_SLOPE(1, 2), 0.0);
  EXPECT_EQ(sediment.SY_ELEMENT_SHEAR(1), 0.0);
}

TEST_F(SySlopeMesh, ElementShearIsThatOfTheLargestFlowAndTiesKeepTheEarlierFace) {
  frame.HRF_SY_COPY(1) = 101.6;  // link 0.5 m above square 2, both above the bank top
  frame.HRF_SY_COPY(2) = 101.1;
  frame.HRF_SY_COPY(3) = 101.0;  // 0.1 m below square 2
  outflow(2, 1, 0.4);
  outflow(2, 4, -0.4);  // same magnitude, later face
  SY_FLOW_VARIABLES(frame, surface, sediment);
  // Depth 1.1 m; slopes 0.1 and 0.5 m over 50 + 50 m.
  const double east = 9787.0367 * 1.1 * 0.1 / 100.0, south = 9787.0367 * 1.1 * 0.5 / 100.0;
  EXPECT_NEAR(sediment.SY_FACE_SHEAR(2, 1), east, 1e-9);
  EXPECT_NEAR(sediment.SY_FACE_SHEAR(2, 4), south, 1e-9);
  EXPECT_NEAR(sediment.SY_ELEMENT_SHEAR(2), east, 1e-9);
  outflow(2, 4, -0.41);  // now strictly larger
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_NEAR(sediment.SY_ELEMENT_SHEAR(2), south, 1e-9);
  // A dry, still element: depth and shear 0.
  frame.HRF_SY_COPY(3) = 99.0;
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_EQ(sediment.SY_WATER_DEPTH(3), 0.0);
  EXPECT_EQ(sediment.SY_ELEMENT_SHEAR(3), 0.0);
}

TEST_F(SySlopeMesh, CanopyDropsAndDirectRainPerColumnElement) {
  surface.CLAI(1) = 1.5;  // cover min(1.5, 1) x 0.4
  surface.PLAI(1) = 0.4;
  surface.PNETTO(2) = 2e-5;
  surface.DRAINA(2) = 0.5e-5;
  surface.PNETTO(3) = 1e-6;
  surface.DRAINA(3) = 2e-6;  // more drainage than net rain: no direct rain
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_NEAR(sediment.SY_CANOPY_COVER(1), 0.4, 1e-15);
  EXPECT_NEAR(sediment.SY_DIRECT_RAIN_RATE(2), 1.5e-5 / 0.6, 1e-18);
  EXPECT_NEAR(sediment.SY_DROP_DIAMETER(2), 0.002700650775, REL * 0.0027);
  EXPECT_EQ(sediment.SY_DIRECT_RAIN_RATE(3), 0.0);
  surface.PLAI(1) = 1.0;  // a closed canopy lets no rain through
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_EQ(sediment.SY_DIRECT_RAIN_RATE(2), 0.0);
}

// A T junction: link 1 (east-west) ends at junction entry 1 with its east face; link 2
// (east-west) leaves it with its west face, link 3 (north-south) with its south face.
// Each link's end at the junction has its own entry listing the other two.
struct SyJunctionMesh : SyHandMesh {
  void SetUp() override {
    build(3, 3, 3);
    frame.LINK_NORTH_SOUTH(3) = 1;
    const int entries[3][6] = {{2, 3, 0, 3, 4, 0}, {3, 1, 0, 4, 1, 0}, {1, 2, 0, 1, 3, 0}};
    for (int j = 1; j <= 3; ++j) {
      for (int k = 1; k <= 6; ++k) frame.ICMRF2(j, k) = entries[j - 1][k - 1];
    }
    frame.ICMREF(1, 1, 2) = -1;
    frame.ICMREF(2, 3, 2) = -2;
    frame.ICMREF(3, 4, 2) = -3;
    frame.HRF_SY_COPY(1) = 100.6;
    frame.HRF_SY_COPY(2) = 100.5;
    frame.HRF_SY_COPY(3) = 100.2;
    frame.DHF(1, 1) = 30.0;
    frame.DHF(2, 3) = 20.0;
    frame.DHF(3, 4) = 70.0;
  }
};

TEST_F(SyJunctionMesh, SharesSplitTheInflowByWhatEachLinkTakesAndSlopesFollowTheMainPath) {
  outflow(1, 1, 2.0);
  outflow(2, 3, -1.5);  // link 2 takes 1.5 m3/s from the junction
  outflow(3, 4, -0.5);  // link 3 takes 0.5 m3/s
  outflow(2, 1, 1.5);   // and passes it on over its open east end
  sediment.SY_JUNCTION_SHARE(2, 1) = 0.3;  // nothing discharges into entries 2 and 3
  SY_FLOW_VARIABLES(frame, surface, sediment);
  EXPECT_NEAR(sediment.SY_JUNCTION_SHARE(1, 1), 0.75, 1e-15);
  EXPECT_NEAR(sediment.SY_JUNCTION_SHARE(1, 2), 0.25, 1e-15);
  EXPECT_EQ(sediment.SY_JUNCTION_SHARE(1, 3), 0.0);
  EXPECT_EQ(sediment.SY_JUNCTION_SHARE(2, 1), 0.3);
  // Link 1's water goes mostly into link 2: slope 0.1 m over 30 + 20 m.
  EXPECT_NEAR(sediment.SY_FACE_SLOPE(1, 1), 0.1 / 50.0, 1e-12);
  // Water entering link 2 comes mostly from link 1; link 2's open end takes the slope
  // across its junction end.
  EXPECT_NEAR(sediment.SY_FACE_SLOPE(2, 3), 0.1 / 50.0, 1e-12);
  EXPECT_NEAR(sediment.SY_FACE_SLOPE(2, 1), 0.1 / 50.0, 1e-12);
  EXPECT_NEAR(sediment.SY_FACE_SLOPE(3, 4), 0.4 / 100.0, 1e-12);
}

TEST_F(SyJunctionMesh, NoLinkTakingWaterOutGivesZeroSharesNeverNaN) {
  outflow(1, 1, 2.0);
  outflow(2, 3, 1.5);  // both others discharge into the junction too
  outflow(3, 4, 0.5);
  SY_FLOW_VARIABLES(frame, surface, sediment);
  for (int j = 1; j <= 3; ++j) {
    for (int k = 1; k <= 3; ++k) {
      EXPECT_EQ(sediment.SY_JUNCTION_SHARE(j, k), 0.0) << j << " " << k;
    }
  }
  for (int e = 1; e <= 3; ++e) {
    for (int f = 1; f <= 4; ++f) EXPECT_TRUE(std::isfinite(sediment.SY_FACE_SLOPE(e, f)));
  }
  // Link 1's slope is taken towards the link with the largest inflow from the
  // junction, here link 3's -0.5 m3/s: 0.4 m over 30 + 70 m.
  EXPECT_NEAR(sediment.SY_FACE_SLOPE(1, 1), 0.4 / 100.0, 1e-12);
}

}  // namespace
}  // namespace quendal
