// Faults in the frame data file that stop a run at once, through the built program.
#include <gtest/gtest.h>

#include <filesystem>

#include "example_copy.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;
using testing::ExampleCopy;


TEST(FrameStops, DateThatDoesNotExistIsADateTrap) {
  ExampleCopy ex;
  ex.replace("example_frame.txt", "1990 1 1 0 0", "2001 2 29 0 0");  // the start date
  auto r = ex.run();
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find(" date trap"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("Error asummary"), std::string::npos);
}

TEST(FrameStops, MaskRowsOutOfOrderStopWithTheLineNumber) {
  ExampleCopy ex;
  ex.replace("example_frame.txt", "      9 011111111110\n      8 011111111110", "      8 011111111110\n      9 011111111110");
  auto r = ex.run();
  EXPECT_EQ(r.status, 2) << r.output;
  std::string print = ex.print();
  EXPECT_NE(print.find("  ERROR IN DATA "), std::string::npos) << print;
  EXPECT_NE(print.find("  IN THE VICINITY OF LINE K=    8"), std::string::npos) << print;
  EXPECT_EQ(r.output.find("Error asummary"), std::string::npos);
  // The console says what the print file says: the grid, the row and where it was read.
  for (const char* line : {"  ERROR IN DATA Catchment mask (1 inside)",
                           "  IN THE VICINITY OF LINE K=    8",
                           "  row 8 read from file example_frame.txt, record 33"}) {
    EXPECT_NE(print.find(line), std::string::npos) << line;
    EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
  }
  EXPECT_EQ(r.output.find("Normal completion"), std::string::npos);
}

}  // namespace
}  // namespace quendal
