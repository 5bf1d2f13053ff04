// Faults in the frame data file that stop a run at once, through the built program.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;
using testing::run_command;
using testing::TempDir;

struct FrameCopy {
  TempDir dir;
  std::string root = dir.file("example");
  FrameCopy() {
    std::filesystem::copy(testing::source_dir() + "/examples/example", root,
                          std::filesystem::copy_options::recursive);
  }
  void replace(const std::string& from, const std::string& to) {
    std::string path = root + "/example_frame.txt";
    std::string text = read_file(path);
    std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    dir.write("example/example_frame.txt", text);
  }
  testing::CommandResult run() {
    return run_command(testing::quendal_binary() + " -f rundata_example.txt", root);
  }
};

TEST(FrameStops, DateThatDoesNotExistIsADateTrap) {
  FrameCopy ex;
  ex.replace("1990 1 1 0 0", "2001 2 29 0 0");  // the start date
  auto r = ex.run();
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find(" date trap"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("Error asummary"), std::string::npos);
}

TEST(FrameStops, MaskRowsOutOfOrderStopWithTheLineNumber) {
  FrameCopy ex;
  ex.replace("      9 011111111110\n      8 011111111110", "      8 011111111110\n      9 011111111110");
  auto r = ex.run();
  EXPECT_EQ(r.status, 2) << r.output;
  std::string print = read_file(ex.root + "/output_example_print.txt");
  EXPECT_NE(print.find("  ERROR IN DATA "), std::string::npos) << print;
  EXPECT_NE(print.find("  IN THE VICINITY OF LINE K=    8"), std::string::npos) << print;
  EXPECT_EQ(r.output.find("Error asummary"), std::string::npos);
}

}  // namespace
}  // namespace quendal
