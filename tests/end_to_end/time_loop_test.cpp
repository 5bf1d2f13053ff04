// Runs of the example catchment, changed in one respect each, through the built program.
#include <gtest/gtest.h>

#include <filesystem>

#include "example_copy.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;
using testing::ExampleCopy;


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
  ExampleCopy ex;
  ex.replace("example_frame.txt", "(sediment off)\n1990 1 1 0 0", "(sediment off)\n1990 1 2 0 0");
  ex.replace("example_frame.txt", "      F      F      F      F      F      F      F      F",
             "      F      F      T      T      F      F      F      F");
  ex.dir.write("example/sediment.txt", "Sediment data\n:SY11\n 2\n");
  ex.dir.write("example/contaminant.txt", "Contaminant data\n:CM3\n 1\n");
  ex.replace("rundata_example.txt", "(unit 17)\n0", "(unit 17)\nsediment.txt");
  ex.replace("rundata_example.txt", "(unit 18)\n0", "(unit 18)\ncontaminant.txt");
  auto r = ex.run();
  EXPECT_EQ(r.status, 1) << r.output;
  std::string print = ex.output("output_example_print.txt");
  // The contaminant print file is not named: the report goes to the print file.
  EXPECT_NE(print.find(" !!!FATAL ERROR 1041 at time =        1.00 hours\n"
                       "        Start-time for sediment is later than for contaminants\n"),
            std::string::npos);
  EXPECT_NE(r.output.find(" No. of occurrences of error number 1041 is     1"), std::string::npos);
}

}  // namespace
}  // namespace quendal
