#include "sediment/sy_transport_capacity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sediment/sy_initial_state.h"

namespace quendal {
namespace {

// Expected values are worked by hand to ten figures from the stored constants (the
// Ackers-White constants widened from single precision); 1e-9 relative leaves room
// for the last bits of exp, log and pow.
constexpr double REL = 1e-9;

// The channel flow of the tests: 0.5 m deep at slope 0.001, so 9787.0367 x 0.5 x 0.001.
constexpr double CHANNEL_SHEAR = 4.89351835;

TEST(SyOverlandFormulas, EngelundHansenAndYalinOnOneFace) {
  // q 0.01 m3/s over 100 m at slope 0.01, d 0.3 mm, h 5 mm.
  EXPECT_NEAR(sy_engelund_hansen(0.01, 0.01, 100.0, 0.3e-3, 0.005), 2.746909847e-07, REL * 2.7e-7);
  EXPECT_EQ(sy_engelund_hansen(0.01, 0.01, 100.0, 0.3e-3, 0.0), 0.0);
  // The same face's shear 0.489351835 Pa against its critical 0.1603857994 Pa.
  EXPECT_NEAR(sy_yalin(0.489351835, 0.3e-3, 100.0), 1.914643833e-4, REL * 1.9e-4);
  EXPECT_EQ(sy_yalin(0.1, 0.3e-3, 100.0), 0.0);  // below the critical shear
  EXPECT_EQ(sy_yalin(0.489351835, 0.0, 100.0), 0.0);  // no grain size: no critical shear
}

TEST(SyOverlandCapacity, SumsTheOutflowFacesWithTheirOwnWidths) {
  // Faces 2 (across DXQQ = 100 m) and 3 (across DYQQ = 50 m) carry water out, face 1
  // brings it in. Sediment of one group of 0.3 mm.
  const std::vector<double> q = {-0.05, 0.01, 0.02, 0.0};
  const std::vector<double> slope = {0.02, 0.01, 0.01, 0.0};
  const std::vector<double> shear = {0.9, 0.489351835, 0.489351835, 0.0};
  const std::vector<double> available = {2.0}, drsed = {0.3e-3};
  auto capacity = [&](int sw, double h) {
    return SY_OVERLAND_CAPACITY(100.0, 50.0, sw, h, 1, ConstRealSection(available),
                                ConstRealSection(drsed), ConstRealSection(q), ConstRealSection(slope),
                                ConstRealSection(shear));
  };
  // Face 3 carries twice the water over half the width: 2^2 / 0.5 = 8 times face 2.
  EXPECT_NEAR(capacity(1, 0.005), 9.0 * 2.746909847e-07, REL * 2.5e-6);
  EXPECT_EQ(capacity(1, 0.0), 0.0);  // no depth: no Engelund-Hansen capacity
  // Yalin: the full width of face 2 and half of it over face 3; depth not used.
  EXPECT_NEAR(capacity(0, 0.0), 1.5 * 1.914643833e-4, REL * 2.9e-4);
  EXPECT_EQ(capacity(2, 0.005), 0.0);
  const std::vector<double> none = {0.0};
  EXPECT_EQ(SY_OVERLAND_CAPACITY(100.0, 50.0, 1, 0.005, 1, ConstRealSection(none),
                                 ConstRealSection(drsed), ConstRealSection(q),
                                 ConstRealSection(slope), ConstRealSection(shear)),
            0.0);
}

TEST(SyAckersWhite, CoefficientsOfFineMediumAndCoarseGrains) {
  struct Case {
    double d, n, A, m, C, E;
  } cases[] = {
      // D 12.66008816.
      {0.5e-3, 0.3826354311, 0.2046412108, 2.103027883, 0.02556243477, 11.09979375},
      // D limited to 61.05412296585327: fully coarse, n 0.
      {5e-3, 0.0, 0.1694354279, 1.498220304, 0.02445494454, 3.510062982},
      // D raised to 1: fully fine.
      {1e-6, 1.0, 0.3700000048, 10.99999988, 0.0002951209421, 248.1989337},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.d);
    const SyAckersWhite k = sy_ackers_white_coefficients(c.d);
    EXPECT_NEAR(k.n, c.n, REL);
    EXPECT_NEAR(k.A, c.A, REL * c.A);
    EXPECT_NEAR(k.m, c.m, REL * c.m);
    EXPECT_NEAR(k.C, c.C, REL * c.C);
    EXPECT_NEAR(k.E, c.E, REL * c.E);
  }
}

TEST(SyAckersWhite, RateFromTheMobilityAboveItsThreshold) {
  // h 0.5 m, Q 1 m3/s through 2 m2: V 0.5 m/s, u* sqrt(4.89351835 / 998).
  const double u = std::sqrt(CHANNEL_SHEAR / 998.0);
  const SyAckersWhite medium = sy_ackers_white_coefficients(0.5e-3);
  EXPECT_NEAR(sy_ackers_white_rate(medium, 0.5e-3, 0.5, 1.0, 0.5, u), 3.982867247e-05, REL * 4e-5);
  // 5 mm: mobility 0.1034 below its threshold 0.1694.
  EXPECT_EQ(sy_ackers_white_rate(sy_ackers_white_coefficients(5e-3), 5e-3, 0.5, 1.0, 0.5, u), 0.0);
  // Grains of ten depths or more, and a dry channel, carry nothing.
  EXPECT_EQ(sy_ackers_white_rate(medium, 0.5e-3, 0.5e-4, 1.0, 0.5, u), 0.0);
  EXPECT_EQ(sy_ackers_white_rate(medium, 0.5e-3, 0.0, 1.0, 0.5, u), 0.0);
}

TEST(SyHiding, ReferenceDiameterAndThresholdsOfAGradedBed) {
  // Equal depths of 0.5 mm and 2 mm: D84 2.27, D50 1.25, D16 0.32 mm.
  const std::vector<double> layer = {0.05, 0.05}, d = {0.5e-3, 2e-3};
  const double d_a = sy_hiding_diameter(ConstRealSection(layer), 2, ConstRealSection(d));
  EXPECT_NEAR(d_a, 0.00116998362, REL * 1.2e-3);
  EXPECT_NEAR(sy_hiding_threshold(d_a, 0.5e-3), 0.2208739651, REL * 0.22);  // hidden
  EXPECT_NEAR(sy_hiding_threshold(d_a, 2e-3), 0.165114258, REL * 0.17);     // exposed
  const std::vector<double> empty = {0.0, 0.0};
  EXPECT_EQ(sy_hiding_diameter(ConstRealSection(empty), 2, ConstRealSection(d)), 0.0);
  EXPECT_NEAR(sy_hiding_threshold(0.0, 0.5e-3), 0.2220000117, REL * 0.22);  // 0.6 x 0.37
}

// Link 1 east-west, link 2 north-south, 4 m wide, 0.5 m deep with 2 m2 wetted; three
// groups: a fine one of 0.05 mm, then 0.5 mm and 5 mm. Active layers of 0.1 m all of
// 0.5 mm; nothing suspended. FPCRIT 0.1.
struct SyChannelCapacityTest : ::testing::Test {
  FrameState frame;
  SurfaceState surface;
  SedimentState s;

  void SetUp() override {
    frame.NEL = 2;
    frame.NLF = 2;
    frame.LINK_NORTH_SOUTH.resize(2, 0);
    frame.LINK_NORTH_SOUTH(2) = 1;
    surface.QOC.resize(2, 4, 0.0);
    surface.ARXL.resize(2, 2.0);
    surface.CWIDTH.resize(2, 4.0);
    s.NSED = 3;
    s.NFINE = 1;
    s.FPCRIT = 0.1;
    s.DRSED.resize(NSEDEE, 0.0);
    s.DRSED(1) = 0.05e-3;
    s.DRSED(2) = 0.5e-3;
    s.DRSED(3) = 5e-3;
    s.FDEL.resize(2, NSEDEE, 0.0);
    s.SY_ACTIVE_LAYER_DEPTH.resize(2, 0.1);
    s.SY_ACTIVE_LAYER_SEDIMENT.resize(2, NSEDEE, 0.0);
    s.SY_ACTIVE_LAYER_SEDIMENT(1, 2) = 0.1;
    s.SY_ACTIVE_LAYER_SEDIMENT(2, 2) = 0.1;
    SY_SIZE_WORK_ARRAYS(frame, s);
    for (int link = 1; link <= 2; ++link) {
      s.SY_WATER_DEPTH(link) = 0.5;
      for (int f = 1; f <= 4; ++f) {
        s.SY_FACE_SLOPE(link, f) = 0.001;
        s.SY_FACE_SHEAR(link, f) = CHANNEL_SHEAR;
      }
    }
  }
  void outflow(int link, int f, double q) { surface.QOC(link, f) = f <= 2 ? q : -q; }
  double concentration(int link, int k) { return s.SY_CHANNEL_CAPACITY_CONCENTRATION(link, k); }
  double carrier(int link, int k, int f) { return s.SY_CHANNEL_CARRIER_DISCHARGE(link, k, f); }
};

TEST_F(SyChannelCapacityTest, AckersWhiteForCoarseGroupsFinesAtTheLimitAndNoOutflowNoCapacity) {
  s.SY_CHANNEL_CAPACITY_SWITCH = 1;
  outflow(1, 1, 1.0);  // out of link 1's east end
  outflow(2, 1, 0.3);  // link 2 loses water only over a side face
  SY_CHANNEL_CAPACITY(frame, surface, s);
  EXPECT_EQ(concentration(1, 1), 0.1);
  // The whole active layer is of 0.5 mm: share 1 of the rate per carrier 1 m3/s.
  EXPECT_NEAR(concentration(1, 2), 3.982867247e-05, REL * 4e-5);
  EXPECT_EQ(concentration(1, 3), 0.0);  // 5 mm does not move
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(carrier(1, k, 1), 1.0) << k;
  EXPECT_EQ(concentration(2, 1), 0.1);
  EXPECT_EQ(concentration(2, 2), 0.0);
  EXPECT_EQ(concentration(2, 3), 0.0);
  EXPECT_EQ(carrier(2, 2, 1), 0.3);  // carried out over the side, no end-face carrier
  // The table holds the coefficients of the coarse groups.
  const SyAckersWhite medium = sy_ackers_white_coefficients(0.5e-3);
  EXPECT_EQ(s.SY_ACKERS_WHITE_TABLE(1, 2), medium.n);
  EXPECT_EQ(s.SY_ACKERS_WHITE_TABLE(2, 2), medium.A);
  EXPECT_EQ(s.SY_ACKERS_WHITE_TABLE(5, 2), medium.E);
}

TEST_F(SyChannelCapacityTest, HidingCorrectionSetsEachGroupsThresholdFromTheBed) {
  s.SY_CHANNEL_CAPACITY_SWITCH = 2;
  s.DRSED(3) = 2e-3;
  // Link 1's active layer: 0.05 m of 0.5 mm and 0.05 m of 2 mm; link 2's empty.
  s.SY_ACTIVE_LAYER_SEDIMENT(1, 2) = 0.05;
  s.SY_ACTIVE_LAYER_SEDIMENT(1, 3) = 0.05;
  s.SY_ACTIVE_LAYER_SEDIMENT(2, 2) = 0.0;
  outflow(1, 1, 1.0);
  outflow(2, 2, 1.0);  // link 2's first end, after link 1's
  SY_CHANNEL_CAPACITY(frame, surface, s);
  // Threshold 0.2208739651 for the hidden 0.5 mm grains; half the layer is theirs.
  EXPECT_NEAR(concentration(1, 2), 1.384957477e-05, REL * 1.4e-5);
  // Link 2 came last: its empty layer leaves 0.6 x 0.37 for every group.
  EXPECT_NEAR(s.SY_ACKERS_WHITE_TABLE(2, 2), 0.2220000117, REL * 0.22);
  EXPECT_NEAR(s.SY_ACKERS_WHITE_TABLE(2, 3), 0.2220000117, REL * 0.22);
}

TEST_F(SyChannelCapacityTest, EngelundHansenPerGroupTakesTheLargerShareAndStopsAtTheLimit) {
  s.SY_CHANNEL_CAPACITY_SWITCH = 0;
  outflow(1, 3, 1.0);  // out of link 1's west end
  // Suspended 3:1, on the bed 1:4 (0.02 and 0.08 m of 0.1 m).
  s.FDEL(1, 2) = 0.003;
  s.FDEL(1, 3) = 0.001;
  s.SY_ACTIVE_LAYER_SEDIMENT(1, 2) = 0.02;
  s.SY_ACTIVE_LAYER_SEDIMENT(1, 3) = 0.08;
  SY_CHANNEL_CAPACITY(frame, surface, s);
  // Rates 1.302973747e-4 (0.5 mm) and a tenth of it (5 mm); shares 0.75 and 0.8.
  EXPECT_NEAR(concentration(1, 2), 9.772303101e-05, REL * 9.8e-5);
  EXPECT_NEAR(concentration(1, 3), 1.042378997e-05, REL * 1e-5);
  s.FPCRIT = 5e-5;
  SY_CHANNEL_CAPACITY(frame, surface, s);
  EXPECT_EQ(concentration(1, 2), 5e-5);
  EXPECT_EQ(concentration(1, 1), 5e-5);
}

TEST_F(SyChannelCapacityTest, LiftingFlowCarriesCoarseGroupsAndSidesOnlyAboveTheThreshold) {
  s.SY_CHANNEL_CAPACITY_SWITCH = 0;
  s.ISUSED = 1;
  s.SY_CAPACITY_CONCENTRATION_THRESHOLD = 1e-5;
  outflow(1, 1, 1.0);
  outflow(1, 2, 0.2);  // and over its north side
  SY_CHANNEL_CAPACITY(frame, surface, s);
  // End face: the fines ride on all the water; 0.5 mm on min(1, 1.036865121); 5 mm on
  // 0.26906 x 2 m2 x sqrt(tau - sqrt(tau x 4.36559569)) = 0.2803900502 m3/s.
  EXPECT_EQ(carrier(1, 1, 1), 1.0);
  EXPECT_EQ(carrier(1, 2, 1), 1.0);
  EXPECT_NEAR(carrier(1, 3, 1), 0.2803900502, REL * 0.28);
  // 5 mm: share 0.05 of 1.302973747e-5 over its own carrier.
  EXPECT_NEAR(concentration(1, 2), 1.302973747e-4, REL * 1.3e-4);
  EXPECT_NEAR(concentration(1, 3), 2.32350211e-06, REL * 2.3e-6);
  // Side face: the part of the capacity above the threshold leaves; 5 mm has none.
  EXPECT_EQ(carrier(1, 1, 2), 0.2);
  EXPECT_NEAR(carrier(1, 2, 2), 0.1846504966, REL * 0.18);
  EXPECT_EQ(carrier(1, 3, 2), 0.0);
}

}  // namespace
}  // namespace quendal
