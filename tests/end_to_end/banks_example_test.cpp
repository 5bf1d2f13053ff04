// The example valley with channel banks (examples/banks) through the whole program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
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

// The banks valley over soils more conductive than it ships with: soil 1 (loam), 2 (clay
// loam) and 3 (the aquifer), Kx, Ky, Kz in m/day.
struct BankSoils {
  const char* name;
  const char* conductivities[3];
};

void PrintTo(const BankSoils& s, std::ostream* out) { *out << s.name; }

class BanksConductiveSoils : public ::testing::TestWithParam<BankSoils> {};

// The narrow bank columns (10 m beside squares of 100 m) couple so strongly to the
// squares beside them over a conductive aquifer that a sweep of the subsurface's global
// iteration takes only about a quarter off the largest change of the heads: ten sweeps
// left the very first step unconverged (1039) in each of these, and a 2 m/day aquifer
// two steps in three. The iteration reaches its tolerance at every step, and the water
// of every element balances as it does in the shipped valley. Three hours of the
// storm's run suffice: the first steps, from the initial water table, are the hardest.
TEST_P(BanksConductiveSoils, SubsurfaceIterationConvergesFromTheFirstStep) {
  ExampleCopy copy("banks");
  copy.replace("banks_frame.txt", "End of simulation: year, month, day, hour, minute\n1990 1 11 0 0",
               "End of simulation: year, month, day, hour, minute\n1990 1 1 3 0");
  // The line after each soil's "number, function, table rows" line of :VS05.
  int soil = 0;
  bool soils = false;
  copy.rewrite("banks_vss.txt", [&](std::string& line, std::size_t) {
    if (line.starts_with(":")) soils = line.starts_with(":VS05");
    if (!soils || line.starts_with(":")) return;
    std::istringstream in(line);
    std::vector<std::string> values;
    for (std::string v; in >> v;) values.push_back(v);
    if (values.size() == 3) {
      soil = std::stoi(values[0]);
      return;
    }
    ASSERT_TRUE(soil >= 1 && soil <= 3) << line;
    std::string rest;
    for (std::size_t i = 3; i < values.size(); ++i) rest += " " + values[i];
    line = GetParam().conductivities[soil - 1] + rest;
  });
  const InProcessRun run(copy);
  expect_normal_end(copy, run.status, run.console.get(),
                    {"output_banks_print.txt", "output_banks_sediment_print.txt"}, {});
  EXPECT_EQ(run.model.frame.UZNOW, 3.0);
  for (int i = 1; i <= run.model.frame.NEL; ++i) {
    EXPECT_LT(std::fabs(run.model.output.ELEMENT_BALANCE_ERROR(i)), 1e-9) << "element " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Soils, BanksConductiveSoils,
    ::testing::Values(BankSoils{"aquifer_1_m_per_day", {"0.02 0.02 0.01", "0.1 0.1 0.05", "1 1 0.5"}},
                      BankSoils{"aquifer_2_m_per_day", {"0.02 0.02 0.01", "0.1 0.1 0.05", "2 2 1"}},
                      BankSoils{"every_soil_ten_times", {"0.2 0.2 0.1", "1 1 0.5", "1 1 0.5"}}),
    [](const ::testing::TestParamInfo<BankSoils>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quendal::testing
