// Conveyance functions and the on-demand depth/conveyance table of a channel section.
// Expected values are worked out by hand from the Strickler law C = K A R^(2/3) (depth as
// hydraulic radius) and the trapezoid areas of the sections.
#include "surface/oc/oc_conveyance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quendal {
namespace {

// Relative tolerance for values computed with pow(): a few units of round-off.
constexpr double REL = 1e-13;

double central_difference(double K, double h, int form, double r, double s, double step) {
  return (OC_CONVEYANCE(K, h + step, form, r, s).C - OC_CONVEYANCE(K, h - step, form, r, s).C) /
         (2.0 * step);
}

struct OverlandCase {
  double h;
  double C;      // per unit K
  double dC_dh;  // per unit K
};

TEST(OcConveyance, OverlandFormByHand) {
  const double K = 2.5;
  const std::vector<OverlandCase> cases = {
      {0.0, 0.0, 0.0},
      {5e-10, 0.0, 0.0},                                                // dry film: no conveyance
      {0.5e-3, 10.0 / 3.0 * 0.25e-6 * 3.5, 10.0 / 3.0 * 0.5e-3 * 6.5},  // shallow cubic
      {1.0, 1.0, 5.0 / 3.0},
      {8.0, 32.0, 5.0 / 3.0 * 4.0},
  };
  for (const OverlandCase& c : cases) {
    const Conveyance got = OC_CONVEYANCE(K, c.h, OC_CONVEYANCE_OVERLAND);
    EXPECT_NEAR(got.C, K * c.C, REL * K * c.C) << c.h;
    EXPECT_NEAR(got.dC_dh, K * c.dC_dh, REL * K * c.dC_dh) << c.h;
  }
}

// At 1 mm the shallow polynomial and the power law meet in value and slope:
// C = K 1e-5, dC/dh = K 5/3 1e-2.
TEST(OcConveyance, ShallowBranchJoinsThePowerLawAtOneMillimetre) {
  const double K = 4.0;
  const Conveyance below = OC_CONVEYANCE(K, std::nextafter(0.001, 0.0), OC_CONVEYANCE_OVERLAND);
  const Conveyance at = OC_CONVEYANCE(K, 0.001, OC_CONVEYANCE_OVERLAND);
  EXPECT_NEAR(at.C, K * 1e-5, 1e-12 * K);
  EXPECT_NEAR(below.C, K * 1e-5, 1e-12 * K);
  EXPECT_NEAR(at.dC_dh, K * 0.0166667, 1e-7 * K);
  EXPECT_NEAR(below.dC_dh, K * 0.0166667, 1e-7 * K);
}

// The derivative of the overland form against a central difference, on both branches.
TEST(OcConveyance, OverlandDerivativeMatchesFiniteDifference) {
  const double K = 3.0;
  for (double h : {2e-4, 7e-4, 0.002, 0.05, 1.3}) {
    const double step = h * 1e-5;
    const double fd = central_difference(K, h, OC_CONVEYANCE_OVERLAND, 0.0, 0.0, step);
    EXPECT_NEAR(OC_CONVEYANCE(K, h, OC_CONVEYANCE_OVERLAND).dC_dh, fd, 1e-6 * std::fabs(fd)) << h;
  }
}

TEST(OcConveyance, ChannelAndAboveBankFullForms) {
  // Channel: the overland form times area / depth.
  EXPECT_NEAR(OC_CONVEYANCE(30.0, 1.0, OC_CONVEYANCE_CHANNEL, 3.0).C, 90.0, 90.0 * REL);
  EXPECT_NEAR(OC_CONVEYANCE(30.0, 8.0, OC_CONVEYANCE_CHANNEL, 2.0).C, 30.0 * 2.0 * 4.0, 240 * REL);
  EXPECT_NEAR(OC_CONVEYANCE(30.0, 0.5e-3, OC_CONVEYANCE_CHANNEL, 2.0).C,
              30.0 * 10.0 / 3.0 * 0.5e-3 * 3.5 * 2.0, 1e-15);
  EXPECT_EQ(OC_CONVEYANCE(30.0, 1e-10, OC_CONVEYANCE_CHANNEL, 2.0).C, 0.0);

  // Above bank-full, h = 1, area 4, top width 4: C = 120, dC/dh = 120 (2/3 + 1).
  const Conveyance above = OC_CONVEYANCE(30.0, 1.0, OC_CONVEYANCE_ABOVE_BANK_FULL, 4.0, 4.0);
  EXPECT_NEAR(above.C, 120.0, 120.0 * REL);
  EXPECT_NEAR(above.dC_dh, 200.0, 200.0 * REL);

  const Conveyance other = OC_CONVEYANCE(30.0, 1.0, 7, 4.0, 4.0);
  EXPECT_EQ(other.C, 0.0);
  EXPECT_EQ(other.dC_dh, 0.0);
}

// A section widening from 2 m at the bed to 4 m at 1 m: the width at depth y is 2 + 2y,
// the area 2y + y^2 (1.25 m2 at 0.5 m, 3 m2 full).
struct TwoPairSection : ::testing::Test {
  const double K = 30.0;
  OcSectionTable table =
      build_section_table(std::vector<double>{2.0, 4.0}, std::vector<double>{0.0, 1.0}, K);
  static double area(double y) { return 2.0 * y + y * y; }
  double conveyance(double y) const { return K * area(y) * std::pow(y, 2.0 / 3.0); }
};

TEST_F(TwoPairSection, AreasAndRange) {
  EXPECT_EQ(table.pairs, 2);
  EXPECT_EQ(table.pair_area[1], 3.0);
  EXPECT_DOUBLE_EQ(section_area_below(table, 0.5), 1.25);
  EXPECT_DOUBLE_EQ(section_area_below(table, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(table.depth_step, 1.0 / 99999.0);
  // The last row's depth is the table's range: the top height up to rounding.
  EXPECT_NEAR(table.last_depth, 1.0, 1e-15);
  EXPECT_NEAR(OC_SECTION_TABLE_ROW(table, NXSCEE).depth, 1.0, 1e-15);
}

TEST_F(TwoPairSection, RowsHoldDepthConveyanceAndForwardSlope) {
  const double step = 1.0 / 99999.0;
  const OcSectionRow first = OC_SECTION_TABLE_ROW(table, 1);
  EXPECT_EQ(first.depth, 0.0);
  EXPECT_EQ(first.conveyance, 0.0);
  // Row 2 lies below 1 mm: the shallow polynomial times the area over the depth.
  const double c2 = K * 10.0 / 3.0 * step * (4.0 - 1000.0 * step) * area(step);
  EXPECT_NEAR(first.slope, c2 / step, 1e-9 * c2 / step);

  for (int j : {2, 101, 50001, 99999}) {
    const double y = (j - 1) * step;
    const OcSectionRow row = OC_SECTION_TABLE_ROW(table, j);
    EXPECT_DOUBLE_EQ(row.depth, y) << j;
    if (y >= 0.001) {
      EXPECT_NEAR(row.conveyance, conveyance(y), 1e-12 * conveyance(y)) << j;
      const double slope = (conveyance(j * step) - conveyance(y)) / step;
      EXPECT_NEAR(row.slope, slope, 1e-6 * slope) << j;
    }
  }
}

TEST_F(TwoPairSection, LookupInterpolatesBetweenRowsBelowBankFull) {
  const int j = 50001;
  const OcSectionRow row = OC_SECTION_TABLE_ROW(table, j);
  const OcSectionRow next = OC_SECTION_TABLE_ROW(table, j + 1);
  // K, W and A are not used below bank-full: nonsense values must not matter.
  const Conveyance at_row = OC_SECTION_TABLE_CONVEYANCE(table, row.depth, -1.0, -1.0, -1.0);
  EXPECT_NEAR(at_row.C, row.conveyance, 1e-12 * row.conveyance);
  EXPECT_EQ(at_row.dC_dh, row.slope);
  const Conveyance half =
      OC_SECTION_TABLE_CONVEYANCE(table, 0.5 * (row.depth + next.depth), -1.0, -1.0, -1.0);
  EXPECT_NEAR(half.C, 0.5 * (row.conveyance + next.conveyance), 1e-9 * row.conveyance);
  EXPECT_EQ(half.dC_dh, row.slope);

  // Just below bank-full the table agrees with the section's own conveyance, K A D^(2/3)
  // = 90, to the accuracy of the linear interpolation.
  EXPECT_NEAR(OC_SECTION_TABLE_CONVEYANCE(table, 0.99999, K, 4.0, 3.0).C, conveyance(0.99999),
              1e-6 * 90.0);
}

TEST_F(TwoPairSection, AboveBankFullTheAreaGrowsByTheTopWidth) {
  // Depth 1.5: area 3 + 0.5 x 4 = 5, C = 30 x 5 x 1.5^(2/3), dC/dy = C (2/4.5 + 4/5).
  const Conveyance c = OC_SECTION_TABLE_CONVEYANCE(table, 1.5, K, 4.0, 3.0);
  const double C = 150.0 * std::pow(1.5, 2.0 / 3.0);
  EXPECT_NEAR(c.C, C, C * REL);
  EXPECT_NEAR(c.dC_dh, C * (2.0 / 4.5 + 0.8), C * REL);
  // At exactly the range the extension starts with the full area.
  const Conveyance at_top = OC_SECTION_TABLE_CONVEYANCE(table, table.last_depth, K, 4.0, 3.0);
  EXPECT_NEAR(at_top.C, 90.0, 1e-9);
  // A depth far above bank-full does not overflow the row number.
  EXPECT_GT(OC_SECTION_TABLE_CONVEYANCE(table, 1e12, K, 4.0, 3.0).C, 0.0);
}

TEST_F(TwoPairSection, DepthAtOrBelowZeroReadsRowOne) {
  const double slope = OC_SECTION_TABLE_ROW(table, 1).slope;
  for (double y : {0.0, -1e-21, -0.3}) {
    const Conveyance c = OC_SECTION_TABLE_CONVEYANCE(table, y, K, 4.0, 3.0);
    EXPECT_EQ(c.C, 0.0) << y;
    EXPECT_EQ(c.dC_dh, slope) << y;
  }
}

// Three pairs: the pair interval changes at 0.5 m. Width 2 at 0, 3 at 0.5, 4 at 1.5:
// area 1.25 at 0.5 (trapezoid), then 1.25 + 0.5 (y - 0.5)(6 + (y - 0.5)) above.
TEST(OcSectionTable, ThreePairSectionFollowsEachTrapezoid) {
  const OcSectionTable t = build_section_table(std::vector<double>{2.0, 3.0, 4.0},
                                               std::vector<double>{0.0, 0.5, 1.5}, 20.0);
  EXPECT_DOUBLE_EQ(t.pair_area[1], 1.25);
  EXPECT_DOUBLE_EQ(t.pair_area[2], 4.75);
  EXPECT_DOUBLE_EQ(section_area_below(t, 0.25), 0.25 * 2.25);
  EXPECT_DOUBLE_EQ(section_area_below(t, 1.0), 1.25 + 0.5 * 0.5 * 6.5);
  EXPECT_DOUBLE_EQ(section_area_below(t, 1.5), 4.75);
}

}  // namespace
}  // namespace quendal
