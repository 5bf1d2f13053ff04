// Faults in the frame data file that stop a run at once, through the built program.
#include <gtest/gtest.h>

#include <filesystem>

#include "example_copy.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;
using testing::ExampleCopy;


// Dates that do not exist and codes on the wrong face are refused as input errors, on
// the console and the print file, before the run converts a date or builds a link:
// exit status 3, no error summary, the file, the record and the value named.
TEST(FrameStops, ImpossibleDatesAndMisplacedFaceCodesAreInputErrors) {
  const struct {
    const char* from;
    const char* to;
    const char* named;
  } cases[] = {
      {"1990 1 11 0 0", "1990 2 30 0 0",
       "end date that does not exist: day 30 of February 1990, a month of 28 days in file "
       "example_frame.txt, record 7, columns 1-13: \"1990 2 30 0 0\""},
      {"1990 1 11 0 0", "1990 4 31 0 0", "day 31 of April 1990, a month of 30 days in file "
                                         "example_frame.txt, record 7, columns 1-13"},
      {"1990 1 11 0 0", "1990 13 11 0 0", "month 13 outside 1 to 12 in file example_frame.txt, "
                                          "record 7, columns 1-14: \"1990 13 11 0 0\""},
      {"minute\n1990 1 1 0 0", "minute\n1990 1 1 25 0",
       "start date that does not exist: hour 25 outside 0 to 23 in file example_frame.txt, "
       "record 5, columns 1-13: \"1990 1 1 25 0\""},
      // The outlet weir's row one column to the right: the weir lands on a face with no
      // grid square on either side.
      {"      6  ..RRRRRRRW", "      6   ..RRRRRRRW",
       "Link code W on LCODEY face (column 12, row 6) between cells (12, 5) and (12, 6), "
       "neither of them a grid square of the catchment; every channel link borders at least "
       "one (a code on the wrong face, or a row shifted by a column) in file "
       "example_frame.txt, record 59, columns 20-20: \"W\""},
      {"      6  I....R....I", "      6  I....R....I .",
       "Character after the last face of a face-code row: the grid has 13 faces a row, in "
       "columns 9 to 21; the row holds more codes than that, or is shifted to the right in "
       "file example_frame.txt, record 47, columns 22-22: \".\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    ExampleCopy ex;
    ex.replace("example_frame.txt", c.from, c.to);
    auto r = ex.run();
    EXPECT_EQ(r.status, 3) << r.output;
    const std::string print = ex.print();
    for (const std::string& where : {r.output, print}) {
      const std::size_t line = where.find(" Input error: ");
      ASSERT_NE(line, std::string::npos) << where;
      EXPECT_NE(where.find(c.named, line), std::string::npos) << where;
    }
    EXPECT_EQ(r.output.find("date trap"), std::string::npos);
    EXPECT_EQ(r.output.find("Error asummary"), std::string::npos);
  }
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
