#include "sediment/sy_detachment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sediment/sy_initial_state.h"

namespace quendal {
namespace {

// Expected values are worked by hand to ten figures, with the momentum coefficients
// widened from single precision as they are stored (unwidened they differ by up to
// 6e-7 relative, which 1e-9 catches); 1e-9 leaves room for the last bits of exp and pow.
constexpr double REL = 1e-9;

TEST(SyRainMomentum, PowerLawOfTheIntensityClass) {
  struct Case {
    double intensity, expected;
  } cases[] = {
      {5.0 / 3.6e6, 4.07960883e-07},     // class 1: 3214.9 I^1.6896
      {20.0 / 3.6e6, 3.950439536e-06},   // class 2: 583.4 I^1.5545
      {60.0 / 3.6e6, 2.085137926e-05},   // class 3: 133.1 I^1.4242
      {120.0 / 3.6e6, 5.439440007e-05},  // class 4: 29.9 I^1.2821
      {2.78e-6, 1.346586227e-06},        // the lower bound of class 2 belongs to it
      {2.78e-6 * 0.999, 1.315501787e-06},
      {1.0, 29.9f},                      // far above: still class 4
      {0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.intensity);
    EXPECT_NEAR(sy_rain_momentum(c.intensity), c.expected, REL * c.expected);
  }
}

TEST(SyLeafDrip, FactorByFallHeightAndDropClass) {
  struct Case {
    double fdrip, fall, drop, expected;
  } cases[] = {
      // V = A d + B; factor = fdrip x 5114231.471989904 d^3 V (1 - exp(-2 X / V)).
      {1.0, 5.0, 0.005, 4.062776645},    // class 2: A 1640, B 1.93
      {1.0, 10.0, 0.002, 0.1781099631},  // class 1: A 2200, B 0
      {1.0, 10.0, 0.005, 4.89097026},    // class 3: A 660, B 5.14
      {0.5, 10.0, 0.005, 2.44548513},
      {1.0, 0.0, 0.005, 0.0},            // no fall, no drip energy
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fall << " m, " << c.drop << " m");
    EXPECT_NEAR(sy_leaf_drip_factor(c.fdrip, c.fall, c.drop), c.expected, REL * c.expected);
  }
}

TEST(SyFilmDamping, FullImpactUpToOneDropDiameterThenExponentialDecay) {
  EXPECT_EQ(sy_film_damping(0.0, 0.002), 1.0);
  EXPECT_EQ(sy_film_damping(0.002, 0.002), 1.0);
  EXPECT_NEAR(sy_film_damping(0.005, 0.002139052153), 0.2625053242, REL * 0.26);
  EXPECT_NEAR(sy_film_damping(0.01, 0.002), 0.01831563889, REL * 0.018);  // exp(-4)
}

// Link 1 and column element 2 of soil 1 under vegetation 1; the flow variables are
// set directly.
struct SyDetachmentTest : ::testing::Test {
  FrameState frame;
  SurfaceState surface;
  SedimentState s;

  void SetUp() override {
    frame.NEL = 2;
    frame.NLF = 1;
    frame.NV = 1;
    frame.NVC.resize(2, 1);
    surface.DRAINA.resize(2, 1e-6);
    SY_SIZE_WORK_ARRAYS(frame, s);
    s.SY_GROUND_EROSION_RATE.resize(2, 0.0);
    s.SY_SURFACE_SOIL_TYPE.resize(2, 1);
    s.DLS.resize(2, 0.0);
    s.DLSMAX = 0.01;
    s.FCROCK.resize(2, 0.1);
    s.FCG.resize(2, 0.2);
    s.GKR.resize(1, 0.5);
    s.GKF.resize(1, 2e-4);
    s.RHOSO.resize(1, 1500.0);
    s.SY_SOIL_MEDIAN_DIAMETER.resize(1, 0.5e-3);
    s.SY_SOIL_SHEAR_PARAMETER.resize(1, 0.0);
    s.FDRIP.resize(1, 1.0);
    s.XDRIP.resize(1, 5.0);
    s.DRDRIP.resize(1, 0.005);
    s.SY_CANOPY_COVER(1) = 0.4;
    s.SY_DIRECT_RAIN_RATE(2) = 20.0 / 3.6e6;
    s.SY_WATER_DEPTH(2) = 0.005;
    s.SY_DROP_DIAMETER(2) = 0.002139052153;
    s.SY_ELEMENT_SHEAR(2) = 1.0;
  }
};

TEST_F(SyDetachmentTest, DropsLeafDripAndFlowAddUpPerSoilDensity) {
  SY_SOIL_DETACHMENT(frame, surface, s);
  // Drops: 0.7 x 0.5 x 0.26250532 x (0.6 x 3.9504395e-6 + 4.0627766 x 1e-6);
  // flow: 2e-4 x 0.9 x (1 - 0.26730967) / 0.26730967; both over 1500 kg/m3.
  EXPECT_NEAR(s.SY_GROUND_EROSION_RATE(2), 3.293115809e-07, REL * 3.3e-7);
  EXPECT_EQ(s.SY_GROUND_EROSION_RATE(1), 0.0);  // links are not detached
  EXPECT_NEAR(s.leaf_drip_factor(1), 4.062776645, REL * 4.06);
}

TEST_F(SyDetachmentTest, ShieldsAndCoversSwitchTermsOff) {
  // Covered ground (rock and ground cover together 1): the flow term alone.
  s.FCROCK(2) = 0.6;
  s.FCG(2) = 0.4;
  SY_SOIL_DETACHMENT(frame, surface, s);
  EXPECT_NEAR(s.SY_GROUND_EROSION_RATE(2), 1.461855774e-07, REL * 1.46e-7);
  // Still flow, or a soil with no grain size (critical shear 0): the drop term alone,
  // and finite.
  s.FCROCK(2) = 0.1;
  s.FCG(2) = 0.2;
  s.SY_ELEMENT_SHEAR(2) = 0.0;
  SY_SOIL_DETACHMENT(frame, surface, s);
  EXPECT_NEAR(s.SY_GROUND_EROSION_RATE(2), 3.940317143e-10, REL * 3.9e-10);
  s.SY_ELEMENT_SHEAR(2) = 1.0;
  s.SY_SOIL_MEDIAN_DIAMETER(1) = 0.0;
  SY_SOIL_DETACHMENT(frame, surface, s);
  EXPECT_NEAR(s.SY_GROUND_EROSION_RATE(2), 3.940317143e-10, REL * 3.9e-10);
  // Loose sediment DLSMAX deep shields the ground from both.
  s.DLS(2) = s.DLSMAX;
  SY_SOIL_DETACHMENT(frame, surface, s);
  EXPECT_EQ(s.SY_GROUND_EROSION_RATE(2), 0.0);
}

TEST_F(SyDetachmentTest, SoilRuleMakesTheCriticalShearIndependentOfTheFlow) {
  // Switch 1: tau_c = 0.493 exp(4.2137 x 0.2) = 1.145109241 for any flow; with FCG and
  // no drops (no rain, no drainage) the rate is 2e-4 x 0.9 x (tau - tau_c) / tau_c / 1500.
  s.SY_CRITICAL_SHEAR_SWITCH = 1;
  s.SY_SOIL_SHEAR_PARAMETER(1) = 0.2;
  s.SY_DIRECT_RAIN_RATE(2) = 0.0;
  surface.DRAINA(2) = 0.0;
  for (double tau : {1.0, 2.0, 5.0}) {
    s.SY_ELEMENT_SHEAR(2) = tau;
    SY_SOIL_DETACHMENT(frame, surface, s);
    const double expected = 2e-4 * 0.9 * std::max(tau - 1.145109241, 0.0) / 1.145109241 / 1500.0;
    // tau_c is written to ten figures; near tau_c that is 1e-8 of the rate.
    EXPECT_NEAR(s.SY_GROUND_EROSION_RATE(2), expected, 1e-8 * expected) << tau;
  }
}

}  // namespace
}  // namespace quendal
