// The contaminant step: step factor, order of the columns and the end-of-step copy.
#include <gtest/gtest.h>

#include "contaminant/cm_column_fixture.h"
#include "contaminant/contaminant.h"

namespace quendal::testing {
namespace {

using CmTimeStep = CmColumns;

// One step: the dimensionless step is DTUZ / 2.5e6; the new values become the start of
// the next step in the cells the columns use and nowhere else; the well abstraction is
// remembered.
TEST_F(CmTimeStep, StepFactorAndEndOfStepCopy) {
  build(2, 6, 0.3, 0.3, 2);
  // Column 2 starts at cell 3: its cells 1 and 2 are not in use.
  vss.LAYER_BOTTOM_CELL(2, 1) = 3;
  cm.CM_BOTTOM_CELL(2) = 3;
  cm.CM_BOTTOM_LEVEL(2) = vss.CELL_ELEVATION(3, 2);
  decay(1, 1e-6);
  for (int e = 1; e <= 2; ++e) {
    concentration(e, 1, 0.6, 0.6);
    concentration(e, 2, 0.1, 0.1);
  }
  for (int k = 1; k <= 2; ++k) {
    cm.CM_REL_CONC_DYNAMIC_OLD(1, 2, k) = -7.0;
    cm.CM_REL_CONC_DEAD_SPACE_OLD(2, 2, k) = -8.0;
  }
  vss.WELL_ABSTRACTION(2) = 4e-9;
  prime_stores();
  cm.CM_WELL_ABSTRACTION_OLD(2) = 0.0;
  step();
  EXPECT_DOUBLE_EQ(cm.CM_STEP_FACTOR, 0.00144);
  for (int k = 1; k <= 2; ++k) {
    for (int e = 1; e <= 2; ++e) {
      for (int cell = vss.LAYER_BOTTOM_CELL(e, 1); cell <= 6; ++cell) {
        EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC_OLD(cell, e, k), cm.CM_REL_CONC_DYNAMIC(cell, e, k));
        EXPECT_EQ(cm.CM_REL_CONC_DEAD_SPACE_OLD(cell, e, k), cm.CM_REL_CONC_DEAD_SPACE(cell, e, k));
      }
    }
    EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC_OLD(1, 2, k), -7.0);
    EXPECT_EQ(cm.CM_REL_CONC_DEAD_SPACE_OLD(2, 2, k), -8.0);
  }
  EXPECT_LT(cm.CM_REL_CONC_DYNAMIC(4, 1, 1), 0.6);  // the step did advance
  EXPECT_EQ(cm.CM_WELL_ABSTRACTION_OLD(2), 4e-9);
}

// Columns are visited in ISORT order: the surface water a square takes in over an hour
// is 3600 Q times the upstream square's top concentration at the end of the step when
// the upstream square came first, at the start of the step otherwise; then it decays
// by 1 / (1 + k DTUZ) = 1 / 1.036.
TEST_F(CmTimeStep, IsortOrderDecidesWhichValuesANeighbourSees) {
  auto run = [&](int first) {
    build(2, 4, 0.25, 0.3);
    frame.ICMREF(1, 1, 2) = 2;
    frame.ICMREF(1, 1, 3) = 3;
    frame.ICMREF(2, 3, 2) = 1;
    frame.ICMREF(2, 3, 3) = 1;
    decay(1, 1e-5);
    concentration(1, 1, 1.0, 1.0);
    concentration(2, 1, 0.0, 0.0);
    surface.QOC(1, 1) = surface.QOC(2, 3) = 0.01;
    surface.HRF(1) = surface.HRF(2) = GROUND + 0.01;
    surface.PNETTO(1) = 1e-6;
    surface.ET_GROUND_EVAP(2) = 1e-6;
    frame.ISORT(1) = first;
    frame.ISORT(2) = 3 - first;
    prime_stores();
    step();
  };
  // The clean square's floor of 1e-16 adds ~1e-12 to its mass of ~35.
  run(1);
  const double upstream_top = cm.CM_REL_CONC_DYNAMIC(4, 1, 1);
  EXPECT_LT(upstream_top, 0.99);
  EXPECT_NEAR(mass(2, 1), 3600.0 * 0.01 * upstream_top / 1.036, 1e-9);
  run(2);
  EXPECT_NEAR(mass(2, 1), 3600.0 * 0.01 / 1.036, 1e-9);
}

}  // namespace
}  // namespace quendal::testing
