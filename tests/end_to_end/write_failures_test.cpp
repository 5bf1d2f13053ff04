// Outputs that cannot be written, through the built program: a text output on a device
// that is always full, and a visualisation file held to a size limit. The run stops
// with fatal error 1094 naming the file and the system's reason, never says it
// completed, and the visualisation file keeps what was saved before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "example_copy.h"
#include "output/visualisation/hdf5_file.h"

namespace quendal {
namespace {

using testing::ExampleCopy;
using testing::Hdf5File;

struct FullDevice {
  const char* what;
  const char* entry;   // the unit's description and file in the run-data file
  const char* status;  // how the status file begins when the run has stopped
};

// Two days of the example; /dev/full takes every open and refuses every write with "No
// space left on device". The dated discharge is written every step; the end state only
// at the end, after the last step, where a failure must still keep the run from
// completing. The status file is written after a step's outputs: the step whose dated
// discharge failed is not counted, the last step before the end state is.
TEST(WriteFailures, ATextOutputThatCannotBeWrittenStopsTheRun) {
  const FullDevice cases[] = {
      {"dated discharge", "Dated outlet discharge (unit 44)\noutput_example_dated_discharge.txt",
       "Reading data sets ...\n"},
      {"end state", "End state (unit 42)\noutput_example_end_state.txt",
       "Current time =      48.00 hours."},
  };
  for (const FullDevice& c : cases) {
    SCOPED_TRACE(c.what);
    ExampleCopy example;
    example.replace("example_frame.txt", "1990 1 11 0 0", "1990 1 3 0 0");
    const std::string entry(c.entry);
    example.replace("rundata_example.txt", entry,
                    entry.substr(0, entry.find('\n') + 1) + "/dev/full");
    const auto r = example.run();
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("ERROR WRITING FILE /dev/full: No space left on device"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("Normal completion"), std::string::npos);
    const std::string print = example.print();
    EXPECT_NE(print.find("FATAL ERROR 1094"), std::string::npos) << print;
    EXPECT_EQ(print.find("Normal completion"), std::string::npos);
    EXPECT_TRUE(example.output("output_example_status.txt").starts_with(c.status))
        << example.output("output_example_status.txt");
  }
}

// Every file of the run limited to 200 KB (a write past it fails with "File too large",
// as one on a full disk fails), with the example's plan and the moisture of ten layers
// of every column at every call: the visualisation file reaches the limit long before
// the print file. The run stops between two records, and the file holds every record
// up to the time the message gives.
TEST(WriteFailures, AVisualisationFileThatCannotGrowKeepsItsRecords) {
  ExampleCopy example;
  example.replace("example_vis_plan.txt", "QUENDAL-VIS-PLAN 1\n",
                  "QUENDAL-VIS-PLAN 1\nitem\n  name theta\n  layers 1 10\nend\n");
  const auto r = testing::run_command(
      "trap '' XFSZ; prlimit --fsize=204800 " + testing::quendal_binary() +
          " -f rundata_example.txt",
      example.root);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("ERROR WRITING FILE output_example_vis.h5: File too large"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("Normal completion"), std::string::npos);
  const std::string key = "The file can be read and holds the records up to ";
  const std::size_t at = r.output.find(key);
  ASSERT_NE(at, std::string::npos) << r.output;
  const double said = std::stod(r.output.substr(at + key.size()));
  EXPECT_GT(said, 0.0);

  Hdf5File h5(example.root + "/output_example_vis.h5");
  ASSERT_TRUE(h5.is_open());
  const std::vector<double> time = h5.values("/items/001_theta/time");
  ASSERT_FALSE(time.empty());
  EXPECT_NEAR(time.back(), said, 0.005);  // the message's two decimals
  EXPECT_EQ(h5.values("/items/001_theta/value").size(), time.size() * 10 * 12 * 10);
}

// Every file of the run limited to 50 KB, with nothing between the program and the limit
// (a write past it raises a signal that would end the program unless it ignores it): the
// print file takes the echo of the inputs and reaches the limit before the first step.
// The run stops with 1094 naming it, without a signal. The visualisation file was not
// made yet: the run leaves no empty file under its name, and a previous run's file
// stays as it was.
TEST(WriteFailures, AFileSizeLimitStopsTheRunWithItsErrorNotASignal) {
  struct Case {
    const char* what;
    bool previous;  // a previous run's visualisation file is there
  };
  for (const Case c : {Case{"no previous visualisation file", false},
                       Case{"a previous visualisation file", true}}) {
    SCOPED_TRACE(c.what);
    ExampleCopy example;
    const std::string vis = example.root + "/output_example_vis.h5";
    const std::string previous = "the previous run's records";
    if (c.previous) example.dir.write("example/output_example_vis.h5", previous);
    const auto r = testing::run_command(
        "prlimit --fsize=51200 " + testing::quendal_binary() + " -f rundata_example.txt",
        example.root);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("ERROR WRITING FILE output_example_print.txt: File too large"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("error number 1094"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Normal completion"), std::string::npos);
    EXPECT_EQ(testing::file_exists(vis), c.previous);
    if (c.previous) {
      EXPECT_EQ(testing::read_file(vis), previous);
    }
  }
}

}  // namespace
}  // namespace quendal
