// The sediment state at the end of a step, held to what the outputs can record: the
// limit of each value is the largest 4-byte real in the units the outputs record it in.
#include "sediment/sy_state_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "model_fixture.h"
#include "sediment/sy_data_file.h"
#include "services/stops.h"

namespace quendal {
namespace {

constexpr double FLOAT_MAX = 3.4028234663852886e38;  // the largest 4-byte real

// One link (element 1) and two grid squares, two size groups, all values 0.
struct SyStateCheckTest : testing::ModelWithFiles {
  std::string sy_print_path = dir.file("sy_print.txt");

  void SetUp() override {
    ModelWithFiles::SetUp();
    ASSERT_TRUE(model.io.units.open(SY_PRINT_UNIT, sy_print_path, UnitDirection::Output));
    model.frame.NLF = 1;
    model.frame.NEL = 3;
    model.frame.UZNOW = 12.0;
    SedimentState& s = model.sediment;
    s.NSED = 2;
    s.DLS.resize(3, 0.0);
    s.SY_GROUND_EROSION_RATE.resize(3, 0.0);
    s.FBETA.resize(3, NSEDEE, 0.0);
    s.FDEL.resize(3, NSEDEE, 0.0);
    s.SY_FACE_SEDIMENT_DISCHARGE.resize(3, NSEDEE, 4, 0.0);
    s.SY_BANK_EROSION_RATE.resize(1, 0.0);
    s.SY_NET_DEPOSITION_AREA.resize(1, 0.0);
    s.SY_ACTIVE_LAYER_SEDIMENT.resize(1, NSEDEE, 0.0);
    s.SY_DEEP_LAYER_SEDIMENT.resize(1, NSEDEE, 0.0);
    s.SY_INFILTRATION_RATE_DEEP.resize(1, NSEDEE, 0.0);
  }
  void check() { SY_CHECK_STATE(model.frame, model.sediment, model.io); }
  std::string sy_print() {
    model.io.units.flush_all();
    return testing::read_file(sy_print_path);
  }
};

// Each case sets one value; `stops` says whether the check must stop the run. The limits
// follow from the largest 4-byte real and the factor of the unit each output records:
// depths in mm (x 1000), the erosion rate in mm/day (x 8.64e7), discharges in kg/s
// (x 2650, the grains' density).
TEST_F(SyStateCheckTest, EachValueIsHeldToWhatItsOutputRecords) {
  SedimentState& s = model.sediment;
  const struct {
    double* at;
    double value;
    bool stops;
    const char* message;  // the start of the report's message when it stops
  } cases[] = {
      {&s.DLS(2), 0.99 * FLOAT_MAX / 1000.0, false, ""},
      {&s.DLS(2), 1.01 * FLOAT_MAX / 1000.0, true,
       "Depth of loose or bed sediment = 3.436852e+35 m: recorded as 3.436852e+38 mm, "
       "beyond 3.402823e+38, the largest 4-byte real"},
      {&s.SY_GROUND_EROSION_RATE(3), 0.99 * FLOAT_MAX / 8.64e7, false, ""},
      {&s.SY_GROUND_EROSION_RATE(3), 1.01 * FLOAT_MAX / 8.64e7, true, "Ground erosion rate"},
      {&s.SY_FACE_SEDIMENT_DISCHARGE(2, 2, 3), -0.99 * FLOAT_MAX / 2650.0, false, ""},
      {&s.SY_FACE_SEDIMENT_DISCHARGE(2, 2, 3), -1.01 * FLOAT_MAX / 2650.0, true,
       "Sediment discharge, size group 2, face 3 = -1.296925e+35 m3/s: recorded as "
       "-3.436852e+38 kg/s"},
      // A suspended concentration: rounding leaves far less than -1e-9 below 0.
      {&s.FDEL(1, 1), -1e-12, false, ""},
      {&s.FDEL(1, 1), -1e-8, true,
       "Suspended sediment concentration, size group 1 = -1e-08 m3/m3: below -1e-09: a "
       "concentration cannot be negative"},
      {&s.FBETA(3, 2), std::nan(""), true,
       "Share of the sediment, size group 2 = nan: not a finite number"},
      {&s.SY_DEEP_LAYER_SEDIMENT(1, 1), 1e39, true,
       "Sediment depth in the deep bed layer, size group 1"},
      {&s.SY_INFILTRATION_RATE_DEEP(1, 2), std::numeric_limits<double>::infinity(), true,
       "Sediment infiltration into the deep bed layer"},
      {&s.SY_BANK_EROSION_RATE(1), -1e39, true, "Bank erosion rate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    *c.at = c.value;
    if (c.stops) {
      EXPECT_THROW(check(), FatalError);
      const std::string print = sy_print();
      EXPECT_NE(print.find(std::string(" !!!FATAL ERROR 1096 at time =       12.00 hours")),
                std::string::npos);
      EXPECT_NE(print.find(std::string("\n        ") + c.message), std::string::npos) << print;
    } else {
      EXPECT_NO_THROW(check());
    }
    *c.at = 0.0;
  }
}

}  // namespace
}  // namespace quendal
