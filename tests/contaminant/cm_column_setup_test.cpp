// Column set-up: the flows the transport gets, and the pairs of start and end values.
#include "contaminant/cm_column_setup.h"
#include "contaminant/cm_column_transport.h"

#include <gtest/gtest.h>

#include "contaminant/cm_column_fixture.h"

namespace quendal::testing {
namespace {

struct CmSetup : CmColumns {
  // A 25-cell column (every flow weight occurs) whose water changes over the step:
  // rain at the top, lateral inflow and outflow, root uptake, a well, and subsurface
  // flows that close every cell's balance.
  void water_that_closes() {
    build(1, 25, 0.2, 0.3);
    const double P = 5e-7;
    surface.PNETTO(1) = P;
    prime_stores();
    const std::vector<double> before = thetas(1);
    for (int k = 1; k <= 25; ++k) vss.CELL_THETA(k, 1) = 0.3 + 1e-4 * ((k * 7) % 5 - 2);
    vss.CELL_LATERAL_FLOW(1, 4, 1) = 2e-4;
    vss.CELL_LATERAL_FLOW(3, 12, 1) = -1e-4;
    surface.ET_ROOT_UPTAKE(24, 1) = 3e-8;
    surface.ET_ROOT_UPTAKE(25, 1) = 5e-8;
    vss.WELL_NUMBER(1) = 1;
    vss.WELL_SCREEN_BOTTOM_CELL(1) = 8;
    vss.WELL_SCREEN_TOP_CELL(1) = 9;
    vss.CELL_WELL_ABSTRACTION(8, 1) = vss.CELL_WELL_ABSTRACTION(9, 1) = 1e-8;
    close_vertical_flows(1, before, -P);
    cm.CM_STEP_FACTOR = frame.DTUZ / cm.CM_TIME_SCALE;
  }
};

// When the subsurface flows already close each cell's water balance, recomputing them
// from the top down changes nothing.
TEST_F(CmSetup, FlowsThatCloseTheBalanceComeBackUnchanged) {
  water_that_closes();
  CM_COLUMN_SETUP(model, 1);
  const ContaminantColumnWork& w = cm.column_work;
  EXPECT_NEAR(w.CM_COL_VERTICAL_FLOW_NEW(25), -5e-7, 1e-20);
  for (int k = 1; k <= 24; ++k)
    EXPECT_NEAR(w.CM_COL_VERTICAL_FLOW_NEW(k), vss.CELL_VERTICAL_FLOW(k, 1), 1e-19) << k;
  EXPECT_NEAR(w.CM_COL_VERTICAL_FLOW_NEW(0), vss.COLUMN_BASE_FLOW(1), 1e-19);
  EXPECT_NEAR(w.CM_COL_BASE_FLOW_NEW, 1e4 * vss.COLUMN_BASE_FLOW(1), 1e-15);
}

// A subsurface flow that does not close the balance (off by e on every face) is
// replaced in full in the top five cells, with weight 0.9 in the next three, 0.5 in the
// next twelve, and kept below them: the error left on the face below cell k is
// e(k - 1) = (1 - w) e(k) + w e, w the cell's weight.
TEST_F(CmSetup, RecomputedFlowsReplaceTheSubsurfaceOnesByDepth) {
  water_that_closes();
  std::vector<double> closed(25, 0.0);
  closed[0] = vss.COLUMN_BASE_FLOW(1);
  const double e = 1e-9;
  for (int k = 1; k <= 24; ++k) {
    closed[k] = vss.CELL_VERTICAL_FLOW(k, 1);
    vss.CELL_VERTICAL_FLOW(k, 1) += e;
  }
  vss.COLUMN_BASE_FLOW(1) += e;
  CM_COLUMN_SETUP(model, 1);
  const ContaminantColumnWork& w = cm.column_work;
  struct Face {
    int below_cell;  // the face below this cell
    double left;     // the error left, in units of e
  };
  for (const Face& face : {Face{25, 0.0}, Face{21, 0.0}, Face{20, 0.1}, Face{18, 0.271},
                           Face{17, 0.6355}, Face{6, 1.0 - 0.3645 / 2048.0}, Face{5, 1.0},
                           Face{1, 1.0}}) {
    const int k = face.below_cell - 1;
    // Flows of 5e-7 m/s summed over 25 cells: rounding stays below 1e-20.
    EXPECT_NEAR(w.CM_COL_VERTICAL_FLOW_NEW(k) - closed[k], face.left * e, 1e-20) << k;
  }
}

// With the water state unchanged, every gathered pair holds the same value at the start
// and at the end of the step, the top cell's vertical flow excepted.
TEST_F(CmSetup, UnchangedWaterGivesEqualStartAndEndValues) {
  water_that_closes();
  surface.HRF(1) = GROUND + 0.01;
  sed.DLS(1) = 0.002;
  surface.QOC(1, 2) = 0.01;
  surface.QOC(1, 4) = 0.01;
  prime_stores();
  CM_COLUMN_SETUP(model, 1);  // the step that brings the stores up to this state
  CM_COLUMN_TRANSPORT(model, 1);
  CM_COLUMN_SETUP(model, 1);
  const ContaminantColumnWork& w = cm.column_work;
  for (int k = 1; k <= 25; ++k) {
    EXPECT_EQ(w.CM_COL_THETA_OLD(k), w.CM_COL_THETA_NEW(k)) << k;
    EXPECT_EQ(w.CM_COL_EXCHANGE_FLOW_OLD(k), w.CM_COL_EXCHANGE_FLOW_NEW(k)) << k;
    for (int f = 1; f <= 4; ++f) EXPECT_EQ(w.CM_COL_LATERAL_FLOW_OLD(k, f), w.CM_COL_LATERAL_FLOW_NEW(k, f));
  }
  for (int k = 0; k <= 24; ++k)
    EXPECT_EQ(w.CM_COL_VERTICAL_FLOW_OLD(k), w.CM_COL_VERTICAL_FLOW_NEW(k)) << k;
  for (int f = 1; f <= 4; ++f) EXPECT_EQ(w.CM_COL_SURFACE_FLOW_OLD[f], w.CM_COL_SURFACE_FLOW_NEW[f]);
  EXPECT_EQ(w.CM_COL_TOP_INPUT_OLD, w.CM_COL_TOP_INPUT_NEW);
  EXPECT_EQ(w.CM_COL_BASE_FLOW_OLD, w.CM_COL_BASE_FLOW_NEW);
  EXPECT_EQ(w.CM_COL_DEPTH_OLD, w.CM_COL_DEPTH_NEW);
  EXPECT_EQ(w.CM_COL_PONDED_DEPTH_OLD, w.CM_COL_PONDED_DEPTH_NEW);
  EXPECT_EQ(w.CM_COL_LOOSE_SEDIMENT_OLD, w.CM_COL_LOOSE_SEDIMENT_NEW);
  // Through the top: the rain, as the surface flows in and out balance.
  EXPECT_NEAR(w.CM_COL_VERTICAL_FLOW_NEW(25), -5e-7, 1e-20);
}

}  // namespace
}  // namespace quendal::testing
