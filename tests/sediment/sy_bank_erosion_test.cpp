#include "sediment/sy_bank_erosion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sediment/sy_initial_state.h"

namespace quendal {
namespace {

// Hand-worked to ten figures; 1e-9 relative leaves room for the last bits of pow.
constexpr double REL = 1e-9;

TEST(SyBankShear, ShareOfTheBedShearGrowsWithTheWidthRatioUpToFour) {
  struct Case {
    double h, w, weight;
  } cases[] = {
      {4.0, 4.0, 0.46},  {2.0, 4.0, 0.68},  {4.0 / 3.0, 4.0, 0.715},
      {1.0, 4.0, 0.75},  {0.5, 4.0, 0.75},  {0.0, 4.0, 0.75},  // dry: counts as wide
      {8.0, 4.0, 0.05 + 0.41 * 0.5},                          // deeper than wide
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.h);
    EXPECT_NEAR(sy_bank_shear(2.0, c.h, c.w), 2.0 * c.weight, 1e-14);
  }
  EXPECT_NEAR(sy_bank_shear(4.89351835, 0.5, 4.0), 3.6701387625, 1e-12);
}

// Two links of 100 m, 4 m wide, banks 1.5 m high, bank soil 1 (median 0.5 mm,
// BKB 1e-5, RHOSO 1450) turned into bed sediment at 0.9.
struct SyBankErosionTest : ::testing::Test {
  FrameState frame;
  SurfaceState surface;
  SedimentState s;

  void SetUp() override {
    frame.NEL = 2;
    frame.NLF = 2;
    frame.CLENTH.resize(2, 100.0);
    surface.CWIDTH.resize(2, 4.0);
    SY_SIZE_WORK_ARRAYS(frame, s);
    s.SY_BANK_EROSION_RATE.resize(2, 0.0);
    s.NTSOBK.resize(2, 1);
    s.BKB.resize(1, 1e-5);
    s.RHOSO.resize(1, 1450.0);
    s.SY_SOIL_MEDIAN_DIAMETER.resize(1, 0.5e-3);
    s.SY_SOIL_SHEAR_PARAMETER.resize(1, 0.0);
    s.SY_BANK_HEIGHT.resize(2, 1.5);
    s.SY_SOIL_TO_SEDIMENT_RATIO.resize(2, 0.9);
  }
};

TEST_F(SyBankErosionTest, RateFromExcessBankShearAndSupplyFromTheWettedBanks) {
  // Link 1: 0.5 m deep at slope 0.001 (4.89351835 Pa), bank shear 3.6701388 Pa, the
  // grain rule at the link's shear gives 0.28498656 Pa (R 35.01, class 4).
  s.SY_WATER_DEPTH(1) = 0.5;
  s.SY_ELEMENT_SHEAR(1) = 4.89351835;
  // Link 2: 2 m deep, above the 1.5 m bank top, 9.7870367 Pa; ratio 2 weighs 0.68,
  // critical 0.31402814 Pa (R 49.51).
  s.SY_WATER_DEPTH(2) = 2.0;
  s.SY_ELEMENT_SHEAR(2) = 9.7870367;
  SY_BANK_EROSION(frame, surface, s);
  EXPECT_NEAR(s.SY_BANK_EROSION_RATE(1), 8.191922348e-08, REL * 8.2e-8);
  // 0.9 x 2 banks x 100 m x 0.5 m wetted x rate.
  EXPECT_NEAR(s.SY_BANK_SEDIMENT_SUPPLY(1), 7.372730113e-06, REL * 7.4e-6);
  EXPECT_NEAR(s.SY_BANK_EROSION_RATE(2), 1.39261773e-07, REL * 1.4e-7);
  // Wetted only up to the bank top, 1.5 m.
  EXPECT_NEAR(s.SY_BANK_SEDIMENT_SUPPLY(2), 3.76006787e-05, REL * 3.8e-5);
}

TEST_F(SyBankErosionTest, DryStillOrGrainlessBanksDeliverNothing) {
  // Link 1 dry and still; link 2 flowing but its bank soil has no grain size, so its
  // critical shear is 0 under the grain rule.
  s.SY_WATER_DEPTH(2) = 0.5;
  s.SY_ELEMENT_SHEAR(2) = 4.89351835;
  s.NTSOBK(2) = 2;
  s.BKB.resize(2, 1e-5);
  s.RHOSO.resize(2, 1450.0);
  s.SY_SOIL_MEDIAN_DIAMETER.resize(2, 0.5e-3);
  s.SY_SOIL_MEDIAN_DIAMETER(2) = 0.0;
  s.SY_SOIL_SHEAR_PARAMETER.resize(2, 0.0);
  SY_BANK_EROSION(frame, surface, s);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(s.SY_BANK_EROSION_RATE(k), 0.0) << k;
    EXPECT_EQ(s.SY_BANK_SEDIMENT_SUPPLY(k), 0.0) << k;
  }
  // A bank shear just at the critical shear erodes nothing: soil rule with the
  // critical shear set to 3.6701387625 Pa.
  s.NTSOBK(2) = 1;
  s.SY_CRITICAL_SHEAR_SWITCH = 1;
  s.SY_SOIL_SHEAR_PARAMETER(1) = std::log(3.6701387625 / 0.493) / 4.213730720179104;
  SY_BANK_EROSION(frame, surface, s);
  EXPECT_NEAR(s.SY_BANK_EROSION_RATE(2), 0.0, 1e-20);
}

}  // namespace
}  // namespace quendal
