// The contaminant state at the end of a step: a value no output can hold, or a negative
// concentration beyond rounding, stops the run with 1096 naming where it stands.
#include "contaminant/cm_state_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "contaminant/cm_data_file.h"
#include "model_fixture.h"
#include "services/state_limits.h"
#include "services/stops.h"

namespace quendal {
namespace {

// One link (element 1) and two columns (2 and 3) of 6 cells; column 3 starts at cell 2.
// Two contaminants. Every concentration starts at 0.5.
struct CmStateCheckTest : testing::ModelWithFiles {
  static constexpr int LL = 6;
  std::string cm_print_path = dir.file("cm_print.txt");

  void SetUp() override {
    ModelWithFiles::SetUp();
    ASSERT_TRUE(model.io.units.open(CM_PRINT_UNIT, cm_print_path, UnitDirection::Output));
    model.frame.NLF = 1;
    model.frame.NEL = 3;
    model.frame.UZNOW = 36.5;
    model.subsurface.LAYER_BOTTOM_CELL.resize(3, NLYREE + 1, LL + 1);
    model.subsurface.LAYER_BOTTOM_CELL(2, 1) = 1;
    model.subsurface.LAYER_BOTTOM_CELL(3, 1) = 2;
    ContaminantState& cm = model.contaminant;
    cm.size(3, 1, LL);
    cm.NCON = 2;
    cm.CM_TOP_CELL = LL;
    for (int k = 1; k <= 2; ++k) {
      for (int e = 1; e <= 3; ++e) {
        for (int c = 1; c <= LL; ++c) {
          cm.CM_REL_CONC_DYNAMIC(c, e, k) = 0.5;
          cm.CM_REL_CONC_DEAD_SPACE(c, e, k) = 0.5;
        }
      }
    }
  }
  void check() {
    CM_CHECK_STATE(model.frame, model.subsurface, model.contaminant, model.io);
  }
  std::string cm_print() {
    model.io.units.flush_all();
    return testing::read_file(cm_print_path);
  }
};

TEST_F(CmStateCheckTest, ValuesAnOutputHoldsPass) {
  ContaminantState& cm = model.contaminant;
  // The largest 4-byte real itself, and a negative value that rounding of an emptied
  // store can leave (far above -1e-9).
  cm.CM_REL_CONC_DYNAMIC(LL, 1, 2) = 3.4028234663852886e38;
  cm.CM_REL_CONC_DYNAMIC(LL - 2, 1, 1) = -1e-12;
  // Cells below a column's lowest cell and a link's cells below its three compartments
  // are not the state of any compartment.
  cm.CM_REL_CONC_DYNAMIC(1, 3, 1) = std::nan("");
  cm.CM_REL_CONC_DYNAMIC(LL - 3, 1, 1) = 1e39;
  cm.CM_REL_CONC_DEAD_SPACE(LL, 1, 1) = 1e39;
  EXPECT_NO_THROW(check());
  EXPECT_EQ(cm_print(), "");
}

// A negative value is judged against the largest magnitude of its own contaminant in
// the catchment: concentrations are relative to a reference the user chose, and a
// contaminant scaled by 1e6 or 1e-6 is the same problem.
TEST_F(CmStateCheckTest, NegativeValuesAreJudgedByTheirContaminantsLargest) {
  ContaminantState& cm = model.contaminant;
  const struct {
    double scale, value;
    bool passes;
  } cases[] = {
      {1e6, -1e-4, true},     // -2e-10 of the largest, 5e5
      {1e6, -1e-3, false},    // -2e-9
      {1e-6, -1e-16, true},   // -2e-10 of 5e-7
      {1e-6, -1e-14, false},  // -2e-8: rounding of a store this size leaves far less
      {0.0, -1e-30, false},   // nothing else: the value is its own largest
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.scale << " " << c.value);
    for (int e = 1; e <= 3; ++e) {
      for (int cell = 1; cell <= LL; ++cell) {
        cm.CM_REL_CONC_DYNAMIC(cell, e, 2) = 0.5 * c.scale;
        cm.CM_REL_CONC_DEAD_SPACE(cell, e, 2) = 0.5 * c.scale;
      }
    }
    cm.CM_REL_CONC_DEAD_SPACE(4, 2, 2) = c.value;
    ConcentrationExtent extent;
    extent.add(&cm.CM_REL_CONC_DYNAMIC(1, 2, 2), LL);
    extent.add(&cm.CM_REL_CONC_DEAD_SPACE(1, 2, 2), LL);
    EXPECT_EQ(extent.within_outputs(), c.passes);
    if (c.passes) {
      EXPECT_NO_THROW(check());
    } else {
      EXPECT_THROW(check(), FatalError);
      EXPECT_NE(cm_print().find("relative concentration in the dead space"), std::string::npos);
    }
  }
}

TEST_F(CmStateCheckTest, AValueBeyondTheOutputsStopsTheRunNamingWhereItStands) {
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  const struct {
    bool dead_space;
    int element, cell, contaminant;
    double value;
    const char* heading;  // after the time
    const char* message;
  } cases[] = {
      // 3.5e38 is just beyond the largest 4-byte real, 3.4028235e38.
      {false, 1, LL, 2, 3.5e38, ", iel =    1, cell =    6",
       "Contaminant 2, relative concentration in the channel water = 3.5e+38: beyond "
       "3.402823e+38, the largest 4-byte real"},
      // -1e-8 against a largest value of 0.5: below -5e-10.
      {false, 1, LL - 1, 1, -1e-8, ", iel =    1, cell =    5",
       "Contaminant 1, relative concentration in the stream-bed surface layer = -1e-08: "
       "below -1e-09 times its largest in the catchment: a concentration cannot be negative\n"
       "        The largest relative concentration of contaminant 1 in the catchment is 0.5"},
      {false, 1, LL - 2, 1, -inf, ", iel =    1, cell =    4",
       "Contaminant 1, relative concentration in the stream-bed deep layer = -inf: not a "
       "finite number"},
      {false, 3, 2, 1, nan, ", iel =    3, cell =    2",
       "Contaminant 1, relative concentration in the dynamic region = nan: not a finite "
       "number"},
      {true, 2, 1, 2, 1e39, ", iel =    2, cell =    1",
       "Contaminant 2, relative concentration in the dead space = 1e+39: beyond"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ContaminantState& cm = model.contaminant;
    double& value = (c.dead_space ? cm.CM_REL_CONC_DEAD_SPACE
                                  : cm.CM_REL_CONC_DYNAMIC)(c.cell, c.element, c.contaminant);
    value = c.value;
    EXPECT_THROW(check(), FatalError);
    value = 0.5;
    const std::string print = cm_print();
    EXPECT_NE(print.find(std::string(" !!!FATAL ERROR 1096 at time =       36.50 hours") +
                         c.heading + "\n        " + c.message),
              std::string::npos)
        << print;
  }
}

}  // namespace
}  // namespace quendal
