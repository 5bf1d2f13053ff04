// The example catchment's subsurface data through the built program: the set-up
// echoes its cells and boundaries, and data it cannot use stop the run before any step.
#include <gtest/gtest.h>

#include <string>

#include "example_copy.h"
#include "test_support.h"

namespace quendal::testing {
namespace {

// Every column: a placeholder, 16 cells in 8 m of aquifer, 3 in the clay loam from
// 2.0 to 0.5 m, 3 near-surface cells: 23.
TEST(VssExample, SetUpEchoesCellsAndBoundaries) {
  ExampleCopy example;
  const CommandResult r = example.run();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string print = example.print();
  EXPECT_NE(print.find("Number of top cell in all columns (LL) =  23"), std::string::npos);
  EXPECT_NE(print.find(" Lateral boundary of type 4, category  1 on element    24 acts on face 1 (E)"),
            std::string::npos);
  EXPECT_NE(print.find("Soil property tables for soil/lithology type:   3"), std::string::npos);
  EXPECT_NE(print.find(" End of VSS data    ####"), std::string::npos);
}

// One column with 8.5 m of aquifer gets 17 cells against its neighbours' 16.
TEST(VssExample, SplitCellsStopBeforeAnyStep) {
  ExampleCopy example;
  example.replace("example_vss.txt", ":VS08 number of layer profiles, number of elements with their own layers\n1 0",
                  ":VS08 profiles\n2 0");
  example.replace("example_vss.txt", "10.0 2.0 0.5\n",
                  "10.0 2.0 0.5\n2 3\n3 2 1\n10.5 2.0 0.5\n:VS08c profile grid\n"
                  "     10 000000000000\n      9 011111111110\n      8 011111111110\n"
                  "      7 011111111110\n      6 011111111110\n      5 011111111110\n"
                  "      4 011111111110\n      3 012111111110\n      2 011111111110\n"
                  "      1 000000000000\n");
  const CommandResult r = example.run();
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(example.print().find("UNFINISHED CODE FOR SPLIT CELLS IN SUBROUTINE VSMB!"),
            std::string::npos);
  EXPECT_EQ(example.output("output_example_discharge.txt"), "");  // no record written
}

TEST(VssExample, LateralBoundaryWithoutAFreeFaceIsRefused) {
  ExampleCopy example;
  example.replace("example_vss.txt", "      5 000000000040", "      5 000004000040");
  const CommandResult r = example.run();
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(example.print().find("FATAL ERROR 1081"), std::string::npos);
  EXPECT_NE(example.print().find("which has no face without a neighbour"), std::string::npos);
}

}  // namespace
}  // namespace quendal::testing
