#include "sediment/sy_initial_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sediment/sediment_fixture.h"

namespace quendal {
namespace {

using testing::SYD_ONE_LINK;

// Results are hand-computed to many more digits than the doubles they come from can
// lose in a few additions: 1e-12 relative.
constexpr double TOL = 1e-12;

TEST(SyDiameterPercentile, InterpolatesBetweenMidGroupCumulatives) {
  struct Case {
    double p;
    std::vector<double> fractions;
    double expected_mm;
  } cases[] = {
      // Twice the mid-group cumulative runs 0.2, 0.7, 1.5.
      {0.5, {0.2, 0.3, 0.5}, 2.375},   // 3 - 1 x (1.5 - 1) / 0.8
      {0.16, {0.2, 0.3, 0.5}, 1.24},   // 2 - 1 x (0.7 - 0.32) / 0.5
      {0.84, {0.2, 0.3, 0.5}, 3.225},  // 3 - 1 x (1.5 - 1.68) / 0.8: past the coarsest
      {0.5, {1.0, 0.0, 0.0}, 1.0},                                // all in the first group
      {0.5, {0.0, 0.0, 0.0}, 0.0},                                // no material
  };
  const std::vector<double> d = {0.001, 0.002, 0.003};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.p);
    EXPECT_NEAR(SY_DIAMETER_PERCENTILE(c.p, ConstRealSection(c.fractions), 3, ConstRealSection(d)),
                c.expected_mm / 1000.0, TOL * 0.003);
  }
}

TEST(SyDiameterPercentile, ReadsARowOfATableWithItsStride) {
  Array2<double> table(2, 3, 9.0);  // row 2 holds (0.2, 0.3, 0.5); row 1 is in between
  table(2, 1) = 0.2;
  table(2, 2) = 0.3;
  table(2, 3) = 0.5;
  const std::vector<double> d = {0.001, 0.002, 0.003};
  EXPECT_NEAR(SY_DIAMETER_PERCENTILE(0.5, ConstRealSection(&table(2, 1), 3, 2), 3, ConstRealSection(d)),
              0.002375, TOL * 0.003);
}

struct SyInitialStateTest : testing::SedimentMesh {
  void read(const std::string& text) {
    build(true);
    syd(text);
    SYREAD(frame, 2, sediment, io);
  }
};

// The link's bed of 0.3 m under a 0.1 m active layer of bank soil 2 (0.6, 0.3, 0.1).
TEST_F(SyInitialStateTest, LinkBedSplitsIntoActiveAndDeepLayersByComposition) {
  read(SYD_ONE_LINK);
  // What the set-up must reset, dirtied first.
  sediment.SY_FACE_SEDIMENT_DISCHARGE.resize(frame.NEL, NSEDEE, 4, 7.0);
  sediment.SY_NET_DEPOSITION_AREA.resize(frame.NLF, 7.0);
  sediment.SY_GROUND_EROSION_RATE.resize(frame.NEL, 7.0);
  surface.ARXL(1) = 0.25;
  frame.HRF_SY_COPY(5) = 99.9;
  SY_INITIAL_STATE(frame, surface, subsurface, sediment);

  EXPECT_NEAR(sediment.SY_ACTIVE_LAYER_DEPTH(1), 0.1, TOL);
  const double fbeta[3] = {0.6, 0.3, 0.1};
  for (int k = 1; k <= 3; ++k) {
    EXPECT_NEAR(sediment.SY_ACTIVE_LAYER_SEDIMENT(1, k), 0.1 * fbeta[k - 1], TOL) << k;
    EXPECT_NEAR(sediment.SY_DEEP_LAYER_SEDIMENT(1, k), 0.2 * fbeta[k - 1], TOL) << k;
    EXPECT_EQ(sediment.SY_INFILTRATION_RATE_DEEP(1, k), 0.0);
    for (int e = 1; e <= frame.NEL; ++e) {
      for (int f = 1; f <= 4; ++f) EXPECT_EQ(sediment.SY_FACE_SEDIMENT_DISCHARGE(e, k, f), 0.0);
    }
  }
  EXPECT_EQ(sediment.SY_NET_DEPOSITION_AREA(1), 0.0);
  for (int e = 1; e <= frame.NEL; ++e) EXPECT_EQ(sediment.SY_GROUND_EROSION_RATE(e), 0.0);
  EXPECT_EQ(sediment.SY_PREVIOUS_ARXL(1), 0.25);
  EXPECT_NEAR(sediment.SY_BANK_HEIGHT(1), 1.5, TOL);
  // Solid fractions: bank soil 2 (1 - 0.5) over the bed (1 - 0.4); top soil 1 (1 - 0.4)
  // over the loose sediment (1 - 0.4).
  EXPECT_NEAR(sediment.SY_SOIL_TO_SEDIMENT_RATIO(1), 0.5 / 0.6, TOL);
  EXPECT_NEAR(sediment.SY_SOIL_TO_SEDIMENT_RATIO(5), 1.0, TOL);
  // Levels below the ground are kept as negative depths (the difference of two levels
  // near 100 m carries their rounding, some 1e-14 m).
  EXPECT_NEAR(sediment.SY_PREVIOUS_WATER_DEPTH(5), -0.1, 1e-12);
  EXPECT_EQ(sediment.SY_PREVIOUS_WATER_DEPTH(4), 0.0);
  // Soil 1 (0.2, 0.3, 0.5) at 1, 2, 3 mm; soil 2 (0.6, 0.3, 0.1): 2 - (1.5 - 1) / 0.9 mm.
  EXPECT_NEAR(sediment.SY_SOIL_MEDIAN_DIAMETER(1), 0.002375, TOL * 0.003);
  EXPECT_NEAR(sediment.SY_SOIL_MEDIAN_DIAMETER(2), (2.0 - 0.5 / 0.9) / 1000.0, TOL * 0.003);
}

TEST_F(SyInitialStateTest, BedThinnerThanTheActiveLayerHasNoDeepLayer) {
  read(changed(":SY51a\n0.3", ":SY51a\n0.05"));
  SY_INITIAL_STATE(frame, surface, subsurface, sediment);
  EXPECT_EQ(sediment.SY_ACTIVE_LAYER_DEPTH(1), 0.05);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(sediment.SY_DEEP_LAYER_SEDIMENT(1, k), 0.0);
    EXPECT_EQ(sediment.SY_ACTIVE_LAYER_SEDIMENT(1, k), 0.05 * sediment.FBETA(1, k));
  }
}

}  // namespace
}  // namespace quendal
