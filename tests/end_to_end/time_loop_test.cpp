// Runs of the example catchment, changed in one respect each, through the built program.
#include <gtest/gtest.h>

#include <filesystem>

#include "example_copy.h"
#include "services/formatted_writer.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::count_of;
using testing::read_file;
using testing::ExampleCopy;

// The example's frame data with the run from `start` to `end` (year month day hour
// minute) and a rainfall-depth limit `rain_limit` (mm per step, a 7-column field).
void set_run(ExampleCopy& ex, const std::string& start, const std::string& end,
             const std::string& rain_limit = "    5.0") {
  const std::string frame = ex.name + "_frame.txt";
  ex.replace(frame, "minute\n1990 1 1 0 0\n", "minute\n" + start + "\n");
  ex.replace(frame, "minute\n1990 1 11 0 0\n", "minute\n" + end + "\n");
  ex.replace(frame, "    5.0    1.5  100.0    1.0      F", rain_limit + "    1.5  100.0    1.0      F");
}

// A met file of `hours` hourly records for the example's one site and one rain station
// (equal counts: the rain sits on the site's first line), rain `rain` mm/h throughout.
std::string met_file(int hours, double rain) {
  std::string text = "Met data written by the test\n";
  for (int h = 0; h < hours; ++h) {
    text += format_line("(2I6,4F12.6)", 1, 0, rain, 50.0, 3.0, 1010.0) + "\n";
    text += format_line("(12X,3F12.6,I12)", 8.0, 0.55, 0.3, 0) + "\n";
  }
  return text;
}

// Dates are whole minutes: the run length is too. With 1-hour steps (rain limit far
// above the example's rain) a run takes exactly its length in hours as steps, also in
// years where the calendar hours of start and end differ by a hair more than that
// (1979: 48.00000000003 and 8760.00000000003 h), which must not add a step.
TEST(TimeLoop, RunLengthInWholeMinutesDecidesTheStepCount) {
  struct Case {
    const char* start;
    const char* end;
    const char* status;
  };
  const Case cases[] = {
      {"1979 11 25 0 0", "1979 11 27 0 0",
       "Current time =      48.00 hours. Number of steps =      48 steps.\n\n"},
      {"1979 1 1 0 0", "1980 1 1 0 0",
       "Current time =    8760.00 hours. Number of steps =    8760 steps.\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start);
    ExampleCopy ex;
    set_run(ex, c.start, c.end, "  999.0");
    ex.set_switch("SNOW", false);  // a thawing pack would halve the steps
    auto r = ex.run();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ex.output("output_example_status.txt"), c.status);
  }
}

// A run that ends within its first step runs that whole step with its outputs, then
// stops; the progress line shows at most 100 %, here where the step is twice the run.
TEST(TimeLoop, EndReachedByTheFirstStep) {
  ExampleCopy ex;
  set_run(ex, "1990 1 1 0 0", "1990 1 1 0 30");
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ex.output("output_example_status.txt"),
            "Current time =       1.00 hours. Number of steps =       1 steps.\n\n");
  EXPECT_NE(r.output.find("Length of Simulation =        0.50 hours. "), std::string::npos);
  EXPECT_NE(r.output.find("Simulation Timestep =        1.00 hours   % Completed = 100.00"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(count_of(r.output, "Simulation Timestep ="), 1);
}

// Potential evaporation computed, one site and one station: the met file of one day
// ends half-way through a two-day run; the end is told once and the run completes.
TEST(TimeLoop, MetFileOfOneDayEndsOnceAndTheRunGoesOn) {
  ExampleCopy ex;
  set_run(ex, "1990 1 1 0 0", "1990 1 3 0 0");
  ex.dir.write("example/example_met.txt", met_file(24, 0.5));
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ex.output("output_example_status.txt"),
            "Current time =      48.00 hours. Number of steps =      48 steps.\n\n");
  const std::string print = ex.print();
  EXPECT_EQ(count_of(print, "\nFinish of met data\nAll remaining values will be zero\n"), 1)
      << print;
  EXPECT_EQ(count_of(print, "Finish of"), 1);
  EXPECT_EQ(count_of(print, "All remaining values will be zero"), 1);
}

// The upland example's lowest air temperatures cut to their first 6 bytes (part of the
// title): the run goes on at 10 degC for the low, and the console says so once, naming
// the file, as it does for a cut rainfall file.
TEST(TimeLoop, CutAirTemperatureFileIsNamedOnTheConsole) {
  ExampleCopy ex("upland");
  ex.dir.write("example/upland_tmin.txt", ex.output("upland_tmin.txt").substr(0, 6));
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(count_of(r.output, "Finish of air temp - low data: file upland_tmin.txt ended at "
                               "time =      0.00 hours; the rest of the run takes 10 degC as "
                               "the low air temperature of every met site"),
            1)
      << r.output;
  EXPECT_EQ(count_of(r.output, "Finish of air temp - high data"), 0);
}

// 10 mm/h with at most 1 mm per step: steps of 0.1 h, so a half-hour run takes 5.
TEST(TimeLoop, RainfallDepthLimitShortensTheSteps) {
  ExampleCopy ex;
  set_run(ex, "1990 1 1 0 0", "1990 1 1 0 30", "    1.0");
  ex.dir.write("example/example_met.txt", met_file(2, 10.0));
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ex.output("output_example_status.txt"),
            "Current time =       0.50 hours. Number of steps =       5 steps.\n\n");
}

// 10 mm/h with at most 0.0001 mm per step asks for 1e-5 h, below the 5e-5 h minimum:
// the step's state on the print file, then fatal error 1025.
TEST(TimeLoop, StepBelowTheMinimumIsFatal1025) {
  ExampleCopy ex;
  set_run(ex, "1990 1 1 0 0", "1990 1 1 1 0", "0.00010");
  ex.dir.write("example/example_met.txt", met_file(2, 10.0));
  auto r = ex.run();
  EXPECT_EQ(r.status, 1) << r.output;
  const std::string print = ex.print();
  EXPECT_NE(print.find("\n\n\n\nUZNEXT = 0.100000E-04\n TSOFT =  1.00000    \n"
                       "MELAST =  0.00000    \nMETIME =  1.00000    \n"
                       "PREC.STN.   PINP        PTOT\n\n       1 10.0000    0.100000E-03\n"),
            std::string::npos)
      << print;
  EXPECT_NE(print.find(" !!!FATAL ERROR 1025 at time =        0.00 hours\n"
                       "        INVALID TIMESTEP\n"),
            std::string::npos);
  EXPECT_NE(r.output.find(" No. of occurrences of error number 1025 is     1"), std::string::npos);
}

// Sediment and contaminants due from the same step: the sediment is due, so that step
// is no reason for error 1041, and the run ends normally, the contaminant data read.
TEST(TimeLoop, SedimentAndContaminantsDueFromTheSameStep) {
  ExampleCopy ex("contaminant");
  set_run(ex, "1990 1 1 0 0", "1990 1 3 0 0");
  ex.set_component_starts("1990 1 2 0 0", "1990 1 2 0 0");
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ex.print().find("1041"), std::string::npos);
  EXPECT_NE(ex.output("output_contaminant_cm_print.txt").find(" CMD data file closed: unit 18"),
            std::string::npos);
}

TEST(TimeLoop, FortyEightHourRunTakesFortyEightSteps) {
  ExampleCopy ex;
  ex.replace("example_frame.txt", "1990 1 11 0 0", "1990 1 3 0 0");
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ex.output("output_example_status.txt"),
            "Current time =      48.00 hours. Number of steps =      48 steps.\n\n");
  EXPECT_NE(r.output.find("Length of Simulation =       48.00 hours. "), std::string::npos);
  // Standard output is not a terminal here: every progress line is kept.
  EXPECT_NE(r.output.find("Simulation Timestep =        1.00 hours   % Completed =   2.08"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("Simulation Timestep =       25.00 hours   % Completed =  52.08"),
            std::string::npos);
}

TEST(TimeLoop, ContaminantsDueBeforeSedimentIsFatal1041) {
  ExampleCopy ex("contaminant");
  ex.set_component_starts("1990 1 2 0 0", "1990 1 1 0 0");
  auto r = ex.run();
  EXPECT_EQ(r.status, 1) << r.output;
  // The report goes to the contaminant print file, which the example names.
  std::string print = ex.output("output_contaminant_cm_print.txt");
  EXPECT_NE(print.find(" !!!FATAL ERROR 1041 at time =        1.00 hours\n"
                       "        Start-time for sediment is later than for contaminants\n"),
            std::string::npos)
      << print;
  EXPECT_NE(r.output.find(" No. of occurrences of error number 1041 is     1"), std::string::npos);
}

}  // namespace
}  // namespace quendal
