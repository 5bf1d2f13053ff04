#include "contaminant/cm_link_setup.h"

#include <gtest/gtest.h>

#include "contaminant/cm_link_fixture.h"

namespace quendal {
namespace {

using testing::CmLinkRow;

constexpr double G0 = 1.0 / (0.001 * 50.0);  // m3/s to a scaled velocity x area

// Neighbour slots of the middle link of three: its east end meets link 3 (back face 3,
// slot 2, whose second end flow points at it), its west end link 1 (back face 1, slot 5,
// first end flow). Link 1's west end is free: slot 4 carries its own inflow over its
// own area. A neighbour with no water counts with area 1e-6, so the flow it delivers,
// a x v, is unchanged.
TEST(CmLinkSetup, NeighbourSlotsAtLinksAndFreeEnds) {
  CmLinkRow row(3);
  row.flow_east(0.7);
  row.cm.CM_LINK_WATER_AREA(3) = 0.0;
  CM_SET_LINK_END_FLOWS(row.model);
  EXPECT_DOUBLE_EQ(row.cm.CM_LINK_END_FLOW_1(2), -0.7);  // leaves through the east end
  EXPECT_DOUBLE_EQ(row.cm.CM_LINK_END_FLOW_2(2), 0.7);   // enters through the west end
  row.cm.CM_STEP_FACTOR = 3600.0 / 2.5e6;
  const ContaminantLinkWork& w = row.cm.link_work;

  CM_LINK_SETUP(2, row.model);
  EXPECT_TRUE(w.HAS_NEIGHBOURS(1) && w.HAS_NEIGHBOURS(2));
  const int slots[7] = {0, 0, 3, 0, 0, 1, 0};
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(w.NEIGHBOUR(k), slots[k]) << "slot " << k;
  EXPECT_EQ(w.NEIGHBOUR_END(2), 2);
  EXPECT_EQ(w.NEIGHBOUR_END(5), 1);
  EXPECT_DOUBLE_EQ(w.NEIGHBOUR_AREA(2), 1e-6);
  EXPECT_NEAR(w.NEIGHBOUR_AREA(2) * w.NEIGHBOUR_VELOCITY(2), -0.7 * G0, 1e-12);
  EXPECT_DOUBLE_EQ(w.NEIGHBOUR_AREA(5), 2.0 / 2500.0);
  EXPECT_NEAR(w.NEIGHBOUR_AREA(5) * w.NEIGHBOUR_VELOCITY(5), 0.7 * G0, 1e-12);
  EXPECT_NEAR(w.END_VELOCITY(2) * w.WATER_AREA, 0.7 * G0, 1e-12);

  CM_LINK_SETUP(1, row.model);
  EXPECT_FALSE(w.HAS_NEIGHBOURS(2));
  EXPECT_EQ(w.NEIGHBOUR(4), 0);
  EXPECT_DOUBLE_EQ(w.NEIGHBOUR_AREA(4), 2.0 / 2500.0);
  EXPECT_NEAR(w.NEIGHBOUR_AREA(4) * w.NEIGHBOUR_VELOCITY(4), 0.7 * G0, 1e-12);
  EXPECT_EQ(w.NEIGHBOUR_AREA(5), 0.0);
  EXPECT_EQ(w.NEIGHBOUR_AREA(6), 0.0);
}

// An end at a junction takes the junction's links in the order column 3, 2, 1; the
// end each one uses still follows the orientation of the link in hand.
TEST(CmLinkSetup, JunctionFillsItsSlotsInReverseColumnOrder) {
  CmLinkRow row(3);
  row.frame.ICMRF2.resize(1, 6, 0);
  row.frame.ICMRF2(1, 1) = 1;
  row.frame.ICMRF2(1, 2) = 2;
  row.frame.ICMREF(3, 1, 2) = -1;
  row.frame.ICMREF(3, 1, 3) = 0;
  row.cm.CM_LINK_END_FLOW_2(1) = 0.2;
  row.cm.CM_LINK_END_FLOW_2(2) = 0.5;
  row.cm.CM_STEP_FACTOR = 3600.0 / 2.5e6;
  CM_LINK_SETUP(3, row.model);
  const ContaminantLinkWork& w = row.cm.link_work;
  EXPECT_TRUE(w.HAS_NEIGHBOURS(1));
  EXPECT_EQ(w.NEIGHBOUR(1), 0);
  EXPECT_EQ(w.NEIGHBOUR(2), 2);
  EXPECT_EQ(w.NEIGHBOUR(3), 1);
  EXPECT_EQ(w.NEIGHBOUR_END(2), 2);
  EXPECT_EQ(w.NEIGHBOUR_END(3), 2);
  EXPECT_NEAR(w.NEIGHBOUR_AREA(2) * w.NEIGHBOUR_VELOCITY(2), -0.5 * G0, 1e-12);
  EXPECT_NEAR(w.NEIGHBOUR_AREA(3) * w.NEIGHBOUR_VELOCITY(3), -0.2 * G0, 1e-12);
}

// A dry channel has no rates, no own velocities and no stream-aquifer flow, and stores
// a zero water area; the next wet step sees the whole area as change.
TEST(CmLinkSetup, DryChannelStopsItsFlows) {
  CmLinkRow row(1);
  row.surface.ARXL(1) = 0.0;
  row.sub.STREAM_AQUIFER_WET_FLOW(1, 1) = 0.01;
  row.sub.STREAM_AQUIFER_WET_FLOW(1, 2) = -0.02;
  row.surface.QOC(1, 3) = 0.3;
  row.sed.SY_NET_DEPOSITION_AREA(1) = 0.01;
  CM_SET_LINK_END_FLOWS(row.model);
  const double dt = row.cm.CM_STEP_FACTOR = 3600.0 / 2.5e6;
  CM_LINK_SETUP(1, row.model);
  const ContaminantLinkWork& w = row.cm.link_work;
  EXPECT_EQ(w.WET, 0.0);
  EXPECT_EQ(w.WATER_AREA_RATE, 0.0);
  EXPECT_EQ(w.BED_AREA_RATE, 0.0);
  EXPECT_EQ(w.END_VELOCITY(1), 0.0);
  EXPECT_EQ(w.END_VELOCITY(2), 0.0);
  EXPECT_EQ(row.sub.STREAM_AQUIFER_WET_FLOW(1, 1), 0.0);
  EXPECT_EQ(row.sub.STREAM_AQUIFER_WET_FLOW(1, 2), 0.0);
  EXPECT_EQ(w.WET_EXCHANGE(1), 0.0);
  EXPECT_EQ(row.cm.CM_LINK_WATER_AREA(1), 0.0);

  row.surface.ARXL(1) = 1.0;
  CM_LINK_SETUP(1, row.model);
  EXPECT_EQ(w.WET, 1.0);
  EXPECT_DOUBLE_EQ(w.WATER_AREA_RATE, (1.0 / 2500.0) / dt);
}

// The bed's water content weights the bank cells it spans: the upper half of cell 5,
// cell 6 and the bed's share of cell 7 on both sides. It never exceeds the porosity.
TEST(CmLinkSetup, BedWaterContentWeightsTheBankCellsAndIsCapped) {
  CmLinkRow row(1);
  row.cm.CM_STEP_FACTOR = 3600.0 / 2.5e6;
  row.sub.LINK_BED_CELL_FRACTION(1, 1) = 0.4;
  const int north = 2, south = 3;
  row.sub.CELL_THETA(5, north) = 0.2;
  row.sub.CELL_THETA(6, north) = 0.3;
  row.sub.CELL_THETA(7, north) = 0.35;
  for (int c = 1; c <= CmLinkRow::LL; ++c) row.sub.CELL_THETA(c, south) = 0.25;
  CM_LINK_SETUP(1, row.model);
  // Weights in cells of 0.5 m: 0.25, 0.5, 0.2 (north); 0.25, 0.5, 0 (south).
  const double expected =
      (0.25 * 0.2 + 0.5 * 0.3 + 0.2 * 0.35 + 0.75 * 0.25) / (0.25 + 0.5 + 0.2 + 0.75);
  EXPECT_NEAR(row.cm.CM_LINK_BED_THETA(1), expected, 1e-15);
  EXPECT_DOUBLE_EQ(row.cm.CM_LINK_BED_THETA_OLD(1), CmLinkRow::THETA);

  for (int c = 1; c <= CmLinkRow::LL; ++c) row.sub.CELL_THETA(c, north) = 0.5;
  for (int c = 1; c <= CmLinkRow::LL; ++c) row.sub.CELL_THETA(c, south) = 0.5;
  CM_LINK_SETUP(1, row.model);
  EXPECT_DOUBLE_EQ(row.cm.CM_LINK_BED_THETA(1), CmLinkRow::POROSITY);
  EXPECT_NEAR(row.cm.CM_LINK_BED_THETA_OLD(1), expected, 1e-15);
}

}  // namespace
}  // namespace quendal
