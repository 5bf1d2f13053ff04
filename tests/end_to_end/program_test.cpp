// The built program, run as a user runs it.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace quendal {
namespace {

using testing::quendal_binary;
using testing::read_file;
using testing::run_command;
using testing::TempDir;

TEST(Program, CommandLineStopsAreNonZero) {
  TempDir dir;
  dir.write("notes.txt", "x\n");
  auto r = run_command(quendal_binary() + " -x", dir.path());
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find(" Unrecognised command line argument -x Recognise only -a, -c and -f\n"
                          " Usage: quendal -f rundata_<name>.txt  or  quendal -c <catchment>\n"),
            std::string::npos)
      << r.output;
  r = run_command(quendal_binary() + " -f notes.txt", dir.path());
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("RUNDATA FILENAME MUST HAVE FORM \"rundata_name.txt\""), std::string::npos);
  r = run_command(quendal_binary() + " -f missing/rundata_a.txt", dir.path());
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("Cannot find rundata file missing/rundata_a.txt"), std::string::npos);
}

TEST(Program, MissingFrameFileIsAnAbnormalEnd) {
  TempDir dir;
  dir.write("run/rundata_bad.txt", "Title\nFrame\nframe.txt\nVSS\n0\nOC\n0\nET\n0\n");
  auto r = run_command(quendal_binary() + " -f run/rundata_bad.txt", dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("ERROR OPENING FILE run/frame.txt\n"
                          " Frame: No such file or directory\nABNORMAL END"),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(testing::file_exists(dir.file("run/frame.txt")));
}

// A slip in the run-data file that names an input (the met file) for an output (the
// dated discharge) stops the program before it has written anything: every file of the
// catchment is as it was, and no output or log is made.
TEST(Program, AnOutputNamedAsAnInputStopsBeforeAnyFileIsWritten) {
  TempDir dir;
  std::filesystem::copy(testing::source_dir() + "/examples/example", dir.file("example"),
                        std::filesystem::copy_options::recursive);
  const std::string rd = dir.file("example/rundata_example.txt");
  std::string text = read_file(rd);
  text.replace(text.find("output_example_dated_discharge.txt"), 34, "example_met.txt");
  dir.write("example/rundata_example.txt", text);
  const auto before = testing::tree_of(dir.path());
  auto r = run_command(quendal_binary() + " -f rundata_example.txt", dir.file("example"));
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find(" unit 19 (read) Met data file (unit 19): example_met.txt\n"
                          " unit 44 (written) Dated outlet discharge (unit 44): example_met.txt\n"
                          "ABNORMAL END"),
            std::string::npos)
      << r.output;
  EXPECT_TRUE(testing::tree_of(dir.path()) == before);
}

TEST(Program, ExampleCatchmentRunsToANormalEnd) {
  TempDir dir;
  std::filesystem::copy(testing::source_dir() + "/examples/example", dir.file("example"),
                        std::filesystem::copy_options::recursive);
  auto r = run_command(quendal_binary() + " -f rundata_example.txt", dir.file("example"));
  EXPECT_EQ(r.status, 0) << r.output;
  std::string log = read_file(dir.file("example/output_example_log.txt"));
  EXPECT_NE(log.find("OPENING FILE UNIT  10 TO FILE example_frame.txt"), std::string::npos) << log;
  // The print file ends with the budget's residual and the column solver's counts.
  const std::string print = read_file(dir.file("example/output_example_print.txt"));
  const std::size_t residual = print.rfind("         Residual = ");
  ASSERT_NE(residual, std::string::npos);
  const std::string tail = print.substr(print.find('\n', residual) + 1);
  EXPECT_TRUE(tail.starts_with("  VSS Picard rows = ")) << tail;
  EXPECT_NE(tail.find("\nVSS limited steps = "), std::string::npos) << tail;
  EXPECT_EQ(std::count(tail.begin(), tail.end(), '\n'), 2) << tail;
}

}  // namespace
}  // namespace quendal
