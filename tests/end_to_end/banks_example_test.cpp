// The example valley with channel banks (examples/banks) through the whole program.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "example_copy.h"
#include "include/model.h"

namespace quendal::testing {
namespace {

// Its bank data put every bank element 0.5 m above its link's bank-full level, and the
// run closes the water balance of every bank element and grid square to round-off
// (levels near 100 m carry about 1e-14 m; 260 steps). The links, which carry cells of
// their own when banks are on, are left out: their balance does not close yet.
TEST(BanksExample, RunsWithBanksAtBankFullPlusHalfAMetre) {
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
      EXPECT_EQ(frame.ZGRUND(b), model.surface.ZBFULL(l) + 0.5) << "bank " << b;
    }
  }
  EXPECT_EQ(print.find("ERROR 10"), std::string::npos) << "no numbered error";
  for (int i = frame.NGDBGN; i <= frame.NEL; ++i) {
    EXPECT_LT(std::fabs(model.output.ELEMENT_BALANCE_ERROR(i)), 1e-9) << "element " << i;
  }
  EXPECT_GT(model.subsurface.run_totals.wells, 0.0);  // the well on its renumbered square
  EXPECT_FALSE(copy.output("output_banks_dated_discharge.txt").empty());
}

// Over the first twelve hours the channels drain into their beds with no rain: a bed
// takes no more than its channel holds (ARXL x CLENTH, half the depth over the link's
// area in these sections), so the flow limiter makes no water and the links' own
// balance closes as the columns' do. Taking the depth over the area, the bed emptied
// the upper links at 5 h and the limiter made up to 1.1e-3 m over them.
TEST(BanksExample, ChannelBedsTakeNoMoreThanTheirChannelsHold) {
  ExampleCopy copy("banks");
  copy.replace("banks_frame.txt", "End of simulation: year, month, day, hour, minute\n1990 1 11 0 0",
               "End of simulation: year, month, day, hour, minute\n1990 1 1 12 0");
  const InProcessRun run(copy);
  const Model& model = run.model;
  const std::string print = copy.print();
  ASSERT_EQ(run.status, 0) << print;
  EXPECT_EQ(print.find("WARNING 1024"), std::string::npos);
  ASSERT_GT(model.frame.NLF, 0);
  for (int i = 1; i <= model.frame.NEL; ++i) {
    EXPECT_LT(std::fabs(model.output.ELEMENT_BALANCE_ERROR(i)), 1e-9) << "element " << i;
  }
}

}  // namespace
}  // namespace quendal::testing
