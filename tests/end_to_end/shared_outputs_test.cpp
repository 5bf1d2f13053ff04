// Two runs started together whose run-data files differ only in the print file: they
// share every other output. One of them runs; the other stops at once, touching
// nothing, and the outputs are those of the one run alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "example_copy.h"
#include "output/visualisation/hdf5_file.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::ExampleCopy;
using testing::Hdf5File;
using testing::read_file;

// Two days of the example; the second run-data file names its own print file (its log
// is its own too: the log is named after the run).
void prepare(ExampleCopy& copy) {
  copy.replace("example_frame.txt", "1990 1 11 0 0", "1990 1 3 0 0");
  std::string other = read_file(copy.root + "/rundata_example.txt");
  const std::string print = "output_example_print.txt";
  other.replace(other.find(print), print.size(), "output_other_print.txt");
  copy.dir.write("example/rundata_other.txt", other);
}

std::vector<std::string> outputs_of(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& f : std::filesystem::directory_iterator(root)) {
    const std::string name = f.path().filename().string();
    if (name.starts_with("output_")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SharedOutputs, OfTwoRunsStartedTogetherOneRunsAndTheOtherTouchesNothing) {
  ExampleCopy together;
  prepare(together);
  const std::string q = testing::quendal_binary();
  const auto r = testing::run_command(
      "{ (" + q + " -f rundata_example.txt > one.out 2>&1; echo $? > one.rc) & (" + q +
          " -f rundata_other.txt > two.out 2>&1; echo $? > two.rc) & wait; }",
      together.root);
  ASSERT_EQ(r.status, 0) << r.output;
  const int one = std::stoi(read_file(together.root + "/one.rc"));
  const int two = std::stoi(read_file(together.root + "/two.rc"));
  ASSERT_TRUE((one == 0 && two == 2) || (one == 2 && two == 0)) << one << " " << two;
  const bool first_ran = one == 0;
  const std::string stopped_console = read_file(together.root + (first_ran ? "/two.out" : "/one.out"));
  EXPECT_NE(stopped_console.find(" IS IN USE BY ANOTHER RUN: this run stops before emptying any "
                                 "output"),
            std::string::npos)
      << stopped_console;

  // The run alone, with the run-data file of the one that ran.
  ExampleCopy alone;
  prepare(alone);
  const auto solo = testing::run_command(
      q + (first_ran ? " -f rundata_example.txt" : " -f rundata_other.txt"), alone.root);
  ASSERT_EQ(solo.status, 0) << solo.output;
  const std::vector<std::string> files = outputs_of(alone.root);
  EXPECT_EQ(outputs_of(together.root), files);  // nothing of the stopped run's own
  for (const std::string& f : files) {
    if (f.ends_with(".h5")) continue;
    EXPECT_TRUE(together.output(f) == alone.output(f)) << f;
  }
  // The visualisation file names the directory it was written from; its records are
  // the same.
  Hdf5File a(together.root + "/output_example_vis.h5"), b(alone.root + "/output_example_vis.h5");
  ASSERT_TRUE(a.is_open());
  ASSERT_TRUE(b.is_open());
  for (const char* item : {"001_srf_dep", "002_surf_elv", "003_number", "004_ovr_flow",
                           "005_net_rain"}) {
    for (const char* data : {"time", "value"}) {
      const std::string path = std::string("/items/") + item + "/" + data;
      const std::vector<double> x = a.values(path), y = b.values(path);
      EXPECT_FALSE(x.empty()) << path;
      // Bit for bit: NaN fill values compare by their bytes.
      EXPECT_TRUE(x.size() == y.size() &&
                  std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0)
          << path;
    }
  }
}

}  // namespace
}  // namespace quendal
