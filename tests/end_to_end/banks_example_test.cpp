// The example valley with channel banks (examples/banks) through the whole program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "end_to_end/example_checks.h"
#include "example_copy.h"
#include "include/model.h"

namespace quendal::testing {
namespace {

// Its bank data put every bank element at its link's bank-full level (the level of the
// valley floor beside it, so that the floor drains over the banks), and the run closes
// the water balance of every element to round-off (levels near 100 m carry about
// 1e-14 m; 260 steps). The links carry cells of their own when banks are on, and
// a link's bed takes no more than its channel holds plus this step's rain, so the flow
// limiter never has to make water: the bed used to take the depth over the link's whole
// area (twice what these sections hold near the bed) and the last step's rain, and the
// limiter made up to 1.1e-3 m over the upper links (16 warnings 1024).
TEST(BanksExample, RunsWithBanksAtBankFull) {
  ExampleCopy copy("banks");
  const InProcessRun run(copy);
  const Model& model = run.model;
  const std::string print = copy.print();
  ASSERT_EQ(run.status, 0) << print;
  const FrameState& frame = model.frame;
  ASSERT_EQ(frame.NLF, 14);
  ASSERT_EQ(frame.NEL, 14 * 3 + 80);
  for (int l = 1; l <= frame.NLF; ++l) {
    for (int side = 1; side <= 2; ++side) {
      const int b = frame.LINK_BANK_ELEMENT(l, side);
      EXPECT_EQ(frame.ZGRUND(b), model.surface.ZBFULL(l)) << "bank " << b;
    }
  }
  EXPECT_EQ(print.find("ERROR 10"), std::string::npos) << "no numbered error";
  EXPECT_EQ(print.find("WARNING 1024"), std::string::npos) << "no water made";
  for (int i = 1; i <= frame.NEL; ++i) {
    EXPECT_LT(std::fabs(model.output.ELEMENT_BALANCE_ERROR(i)), 1e-9) << "element " << i;
  }
  EXPECT_GT(model.subsurface.run_totals.wells, 0.0);  // the well on its renumbered square
  EXPECT_FALSE(copy.output("output_banks_dated_discharge.txt").empty());

  // The run reports nothing, and its visualisation file holds the outlet's water and
  // sediment and the depths over the grid; sediment leaves over the weir (face 1) in the
  // storms.
  expect_normal_end(copy, run.status, run.console.get(),
                    {"output_banks_print.txt", "output_banks_sediment_print.txt"}, {});
  const std::vector<std::string> items =
      expect_visualisation_file(copy, "banks_vis_plan.txt", "output_banks_vis.h5");
  EXPECT_EQ(items.size(), 6u);
  std::printf("[ banks ] totals records closed: %d\n",
              expect_totals_close(copy, "output_banks_totals.csv"));
  Hdf5File vis(copy.root + "/output_banks_vis.h5");
  double silt = 0.0;
  const std::vector<double> s = vis.values("/items/002_s_dis/value");  // (time, 1, face)
  for (std::size_t t = 0; t < s.size() / 4; ++t) silt = std::max(silt, s[t * 4 + 1]);  // face 1
  EXPECT_GT(silt, 0.0);
}

}  // namespace
}  // namespace quendal::testing
