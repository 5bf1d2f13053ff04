#include "frame/timestep_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "frame/met_data.h"
#include "model_fixture.h"
#include "services/formatted_writer.h"
#include "services/stops.h"

namespace quendal {
namespace {

// One interval of a met file for one site and one rain station (equal counts, so the
// rain sits on the site's first line), potential evaporation computed.
std::string met_record(double rain_mm_per_hour) {
  return format_line("(2I6,4F12.4)", 1, 0, rain_mm_per_hour, 100.0, 2.0, 1000.0) + "\n" +
         format_line("(12X,3F12.4,I12)", 12.0, 0.5, 0.3, 0) + "\n";
}

// A two-element catchment without links, one met site and one rain station, 1-hour
// met records; the met file (whose title the ET reader has already consumed) is
// written by each test.
struct TimestepControlTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  Array1<double> no_snow;

  void SetUp() override {
    ModelWithFiles::SetUp();
    frame.NEL = 2;
    frame.NLF = 0;
    frame.MET_SITE_COUNT = 1;
    frame.RAIN_STATION_COUNT = 1;
    frame.RAIN_STATION_OF_ELEMENT.resize(2, 1);
    frame.BASIC_TIMESTEP = 1.0;
    frame.TIMESTEP_GROWTH = 0.5;
    frame.MAX_RAIN_DEPTH_PER_STEP = 1.0;
    frame.UZNEXT = frame.BASIC_TIMESTEP;
    surface.MET_FILE_MODE = false;
    surface.MET_INTERVAL = 1.0;
    surface.MET_SITE_PE_GIVEN.resize(1, 0);
    allocate_met_data(frame);
  }

  void met_file(const std::string& text) { open_input(MET_FILE_UNIT, "met.txt", text); }
  void step() { TIMESTEP_CONTROL(frame, surface, no_snow, model.io); }
  // What the driver does around the control: count the step, advance the clock.
  void run_step() {
    step();
    ++frame.STEP_COUNT;
    frame.UZNOW += frame.UZNEXT;
  }
};

// mm/h to m/s.
constexpr double MM_PER_HOUR = 1.0 / 3600000.0;

TEST_F(TimestepControlTest, RainfallDepthLimitGivesTenthHourStepsAcrossRecords) {
  // 10 mm/h in every record and at most 1 mm per step: steps of 0.1 h, the first one
  // chosen while reading the first record, the others inside a record or across a
  // record boundary.
  met_file(met_record(10.0) + met_record(10.0) + met_record(10.0));
  for (int n = 1; n <= 25; ++n) {
    run_step();
    SCOPED_TRACE(n);
    // The clock sums tenths, which are not exact in binary.
    EXPECT_NEAR(frame.UZNEXT, 0.1, 1e-12);
    EXPECT_NEAR(frame.PTOT(1), 1.0, 1e-10);
    EXPECT_NEAR(frame.ELEMENT_RAIN_RATE(1), 10.0 * MM_PER_HOUR, 1e-15);
    EXPECT_EQ(frame.ELEMENT_RAIN_RATE(2), frame.ELEMENT_RAIN_RATE(1));
  }
  EXPECT_NEAR(frame.UZNOW, 2.5, 1e-10);
  EXPECT_DOUBLE_EQ(frame.METIME, 3.0);
}

TEST_F(TimestepControlTest, StepSpanningTwoRecordsAddsTheRainOfEach) {
  // The first record (2 mm/h, hours 0..1) is in hand; the step from 0.5 h to 1.5 h
  // reads the second (4 mm/h): 2 x 0.5 + 4 x 0.5 = 3 mm over the hour.
  met_file(met_record(4.0));
  frame.MAX_RAIN_DEPTH_PER_STEP = 100.0;
  frame.METIME = 1.0;
  frame.PINP(1) = 2.0;
  frame.UZNOW = 0.5;
  step();
  EXPECT_DOUBLE_EQ(frame.UZNEXT, 1.0);
  EXPECT_DOUBLE_EQ(frame.MELAST, 1.0);
  EXPECT_DOUBLE_EQ(frame.METIME, 2.0);
  EXPECT_DOUBLE_EQ(frame.PTOT(1), 3.0);
  EXPECT_DOUBLE_EQ(frame.ELEMENT_RAIN_RATE(1), 3.0 * MM_PER_HOUR);
}

TEST_F(TimestepControlTest, WithoutRainStationsRecordsAreStillReadForward) {
  // No station: no rainfall limit, but a 2-hour step reads two 1-hour records (site
  // lines without the rain column, as the counts differ). The elements' station code
  // names no station, so they get no rain.
  frame.RAIN_STATION_COUNT = 0;
  frame.BASIC_TIMESTEP = 2.0;
  frame.UZNEXT = 2.0;
  allocate_met_data(frame);
  std::string record = format_line("(2I6,12X,3F12.4)", 1, 0, 100.0, 2.0, 1000.0) + "\n" +
                       format_line("(12X,3F12.4,I12)", 12.0, 0.5, 0.3, 0) + "\n";
  met_file(record + record + record);
  step();
  EXPECT_DOUBLE_EQ(frame.UZNEXT, 2.0);
  EXPECT_DOUBLE_EQ(frame.METIME, 2.0);
  EXPECT_EQ(frame.ELEMENT_RAIN_RATE(1), 0.0);
}

TEST_F(TimestepControlTest, FirstStepAfterHotStartCountsRainFromTheRestartTime) {
  // Restart at 1.5 h inside the record of hours 1..2 (4 mm/h). The half hour of that
  // record before the restart fell in the run that saved the state: the first step
  // (0.5 h) gets 4 x 0.5 = 2 mm, i.e. 4 mm/h, not 4 mm.
  met_file(met_record(6.0) + met_record(4.0) + met_record(8.0));
  frame.MAX_RAIN_DEPTH_PER_STEP = 100.0;
  frame.HOTSTART_READ = true;
  frame.HOTSTART_TIME = 1.5;
  frame.UZNOW = 1.5;
  frame.UZNEXT = 0.5;  // the step the hot start restored
  frame.TIMESTEP_GROWTH = 0.0;
  frame.SOFT_START = true;
  step();
  EXPECT_FALSE(frame.SOFT_START);
  EXPECT_DOUBLE_EQ(frame.UZNEXT, 0.5);
  EXPECT_DOUBLE_EQ(frame.MELAST, 1.0);
  EXPECT_DOUBLE_EQ(frame.METIME, 2.0);
  EXPECT_DOUBLE_EQ(frame.PTOT(1), 2.0);
  EXPECT_DOUBLE_EQ(frame.ELEMENT_RAIN_RATE(1), 4.0 * MM_PER_HOUR);
  // The next step starts on a record boundary and counts the next record as usual.
  frame.UZNOW = 2.0;
  frame.TIMESTEP_GROWTH = 1.0;
  step();
  EXPECT_DOUBLE_EQ(frame.UZNEXT, 1.0);
  EXPECT_DOUBLE_EQ(frame.PTOT(1), 8.0);
}

TEST_F(TimestepControlTest, StepBelowMinimumDumpsStateAndIsFatal) {
  // 10 mm/h with at most 0.0004 mm per step asks for a step of 4e-5 h.
  met_file(met_record(10.0));
  frame.MAX_RAIN_DEPTH_PER_STEP = 0.0004;
  EXPECT_THROW(step(), FatalError);
  EXPECT_EQ(print_text(),
            "\n\n\n\n"
            "UZNEXT = 0.400000E-04\n"
            " TSOFT =  1.00000    \n"
            "MELAST =  0.00000    \n"
            "METIME =  1.00000    \n"
            "PREC.STN.   PINP        PTOT\n"
            "\n"
            "       1 10.0000    0.400000E-03\n"
            "\n\n\n\n"
            " !!!FATAL ERROR 1025 at time =        0.00 hours\n"
            "        INVALID TIMESTEP\n");
}

TEST_F(TimestepControlTest, StepOfExactlyTheMinimumIsAccepted) {
  // 0.1 mm at 2000 mm/h (a rain at the bound of the possible) takes 5e-5 h.
  met_file(met_record(2000.0));
  frame.MAX_RAIN_DEPTH_PER_STEP = 0.1;
  step();
  EXPECT_EQ(frame.UZNEXT, MIN_TIMESTEP);
}

// The choice of the step before any rain limit: growth, soft start, snow cap.
struct StepChoiceCase {
  const char* name;
  double growth;
  double previous;
  bool soft_start;
  long step_count;
  bool hot_start;
  bool snow_on;
  double air_temperature;
  int snow_element;  // element holding 0.1 m of snow; 0 none (element 1 is a link)
  double expected;
  double tolerance;  // hand calculation to the digits given
};

class StepChoiceTest : public TimestepControlTest,
                       public ::testing::WithParamInterface<StepChoiceCase> {};

TEST_P(StepChoiceTest, ChoosesTheSmallestLimit) {
  const StepChoiceCase& c = GetParam();
  // A rainless record reaching far ahead is in hand, so no record is read.
  frame.NEL = 3;
  frame.NLF = 1;
  frame.RAIN_STATION_OF_ELEMENT.resize(3, 1);
  frame.BASIC_TIMESTEP = 2.0;
  allocate_met_data(frame);
  frame.METIME = 100.0;
  frame.MET_AIR_TEMPERATURE(1) = c.air_temperature;
  frame.TIMESTEP_GROWTH = c.growth;
  frame.UZNEXT = c.previous;
  frame.SOFT_START = c.soft_start;
  frame.STEP_COUNT = c.step_count;
  frame.HOTSTART_READ = c.hot_start;
  frame.SNOW_ON = c.snow_on;
  Array1<double> SD(3, 0.0);
  if (c.snow_element > 0) SD(c.snow_element) = 0.1;
  TIMESTEP_CONTROL(frame, surface, SD, model.io);
  EXPECT_NEAR(frame.UZNEXT, c.expected, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StepChoiceTest,
    ::testing::Values(
        StepChoiceCase{"GrowthLimit", 0.5, 0.2, false, 10, false, false, 0.0, 0, 0.3, 1e-15},
        StepChoiceCase{"BasicStep", 2.0, 1.5, false, 10, false, false, 0.0, 0, 2.0, 0.0},
        StepChoiceCase{"SoftStartFirstStep", 0.5, 2.0, true, 0, false, false, 0.0, 0, 0.1, 1e-15},
        // 0.1 x 1.03^50 = 0.1 x exp(50 x 0.0295588) = 0.438391
        StepChoiceCase{"SoftStartStep50", 0.5, 2.0, true, 50, false, false, 0.0, 0, 0.438391, 1e-6},
        // 0.1 x 1.03^101 = 0.1 x exp(101 x 0.0295588) = 1.979519; at 102 the soft value
        // 2.0389 exceeds the basic step
        StepChoiceCase{"SoftStartStep101", 0.5, 2.0, true, 101, false, false, 0.0, 0, 1.979519, 1e-6},
        StepChoiceCase{"SoftStartStep102", 0.5, 2.0, true, 102, false, false, 0.0, 0, 2.0, 0.0},
        StepChoiceCase{"HotStartNeverSoftStarts", 0.5, 2.0, true, 0, true, false, 0.0, 0, 2.0, 0.0},
        StepChoiceCase{"SnowAndWarmSiteCap", 0.5, 2.0, false, 10, false, true, 1.0, 3, 0.5, 0.0},
        StepChoiceCase{"SiteAtZeroDegreesNoCap", 0.5, 2.0, false, 10, false, true, 0.0, 3, 2.0, 0.0},
        StepChoiceCase{"SnowOnLinkOnlyNoCap", 0.5, 2.0, false, 10, false, true, 1.0, 1, 2.0, 0.0},
        StepChoiceCase{"SnowOffNoCap", 0.5, 2.0, false, 10, false, false, 1.0, 3, 2.0, 0.0}),
    [](const ::testing::TestParamInfo<StepChoiceCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quendal
