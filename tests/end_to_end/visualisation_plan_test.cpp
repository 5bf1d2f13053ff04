// The example's visualisation plan and check file through the program: an accepted plan
// runs to the end; a plan or check file that does not fit the run stops it before its
// first step with the fault's number, line and value on the print file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "example_copy.h"

namespace quendal {
namespace {

using testing::ExampleCopy;

TEST(VisualisationPlan, TheExamplePlanIsAcceptedAndAnUndeliverableItemOnlyWarned) {
  ExampleCopy example;
  example.replace("example_vis_plan.txt", "item\n  name surf_elv",
                  "item\n  name infilt\nend\nitem\n  name surf_elv");
  const auto r = example.run();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string print = example.print();
  for (int number = 1070; number <= 1075; ++number) {
    EXPECT_EQ(print.find("ERROR " + std::to_string(number)), std::string::npos) << number;
  }
  EXPECT_NE(print.find("WARNING 1076"), std::string::npos);
  EXPECT_NE(print.find("Visualisation plan line 13: item infilt cannot be delivered"),
            std::string::npos);
}

struct BadExample {
  const char* what;
  std::string file, from, to;
  std::string reported;
};

TEST(VisualisationPlan, AFaultStopsTheRunBeforeItsFirstStep) {
  const std::vector<BadExample> cases = {
      {"column past NX", "example_vis_plan.txt", "columns 3 6", "columns 3 13",
       "      ERROR 1071"},
      {"wrong nel", "example_vis_check.txt", "nel 94", "nel 95", "      ERROR 1072"},
  };
  for (const BadExample& c : cases) {
    SCOPED_TRACE(c.what);
    ExampleCopy example;
    example.replace(c.file, c.from, c.to);
    const auto r = example.run();
    EXPECT_EQ(r.status, 1) << r.output;
    const std::string print = example.print();
    EXPECT_NE(print.find(c.reported), std::string::npos) << print;
    EXPECT_NE(print.find("FATAL ERROR 1073"), std::string::npos);
    // No step was taken: the dated discharge holds no record.
    EXPECT_EQ(example.output("output_example_dated_discharge.txt"), "");
  }
}

// The visualisation file is an output like the others: one that cannot be opened stops
// the run before any output is emptied or created.
TEST(VisualisationPlan, AnOutputFileThatCannotBeCreatedStopsTheRunBeforeAnyOutput) {
  ExampleCopy example;
  example.replace("rundata_example.txt", "output_example_vis.h5", "no_such_folder/vis.h5");
  const auto r = example.run();
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("ERROR OPENING FILE no_such_folder/vis.h5\n"
                          " Visualisation HDF5 file (unit 50): No such file or directory"),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(testing::file_exists(example.root + "/output_example_print.txt"));
  EXPECT_FALSE(testing::file_exists(example.root + "/output_example_dated_discharge.txt"));
}

}  // namespace
}  // namespace quendal
