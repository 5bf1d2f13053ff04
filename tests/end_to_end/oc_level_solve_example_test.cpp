// The example catchment solved by the sparse iteration and by the exact elimination over
// grid rows: the level changes of every step agree, and a surface-only run gives every
// output file the same to the last printed digit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "example_copy.h"
#include "include/model.h"
#include "surface/oc/oc_time_step.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;

// A run of a copy of the example in this process, its console in the copy's directory.
struct ExampleRun {
  testing::ExampleCopy copy;
  std::FILE* console = std::fopen(copy.dir.file("console.txt").c_str(), "w");
  Model model{console};
  int status = -1;
  ~ExampleRun() { std::fclose(console); }
};

TEST(OcLevelSolveExample, LevelChangesAgreeWithTheEliminationByRowsEveryStep) {
  ExampleRun run;
  run.model.oc_step.check_by_rows = true;
  ASSERT_EQ(run.copy.run_in_process(run.model), 0) << run.copy.print();
  const OcStepState& state = run.model.oc_step;
  EXPECT_GT(state.iterated_solves, 200);  // ten days of hourly or shorter steps
  EXPECT_EQ(state.factorised_solves, 0);
  EXPECT_LE(state.largest_difference_from_rows, 1e-10);
}

TEST(OcLevelSolveExample, ACoupledRunGivesTheHydrographAndTotalsOfTheEliminationByRows) {
  // Coupled to the subsurface, a difference of round-off between the two solvers can
  // change the iterations the columns take and pass back into the surface; with every
  // junction balanced and every element's equation solved to round-off, the two runs
  // agree far within what a hydrologist reads: the dated discharge within 1e-6 of the
  // run's peak at every step, the totals within 0.001 mm (their last printed digit).
  ExampleRun sparse, by_rows;
  by_rows.model.oc_step.solve_by_rows = true;
  ASSERT_EQ(sparse.copy.run_in_process(sparse.model), 0) << sparse.copy.print();
  ASSERT_EQ(by_rows.copy.run_in_process(by_rows.model), 0) << by_rows.copy.print();
  // The numbers of each record of an output file (fields between commas or blanks).
  const auto records = [](ExampleRun& run, const std::string& file) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : testing::lines_of(run.copy.output(file))) {
      std::vector<double> row;
      std::string field;
      for (char c : line + ",") {
        if (c != ',' && c != ' ') {
          field += c;
          continue;
        }
        if (!field.empty() && field.find_first_not_of("0123456789.-+Ee") == std::string::npos) {
          row.push_back(std::stod(field));
        }
        field.clear();
      }
      if (!row.empty()) rows.push_back(row);
    }
    return rows;
  };
  const auto dated_a = records(sparse, "output_example_dated_discharge.txt");
  const auto dated_b = records(by_rows, "output_example_dated_discharge.txt");
  ASSERT_EQ(dated_a.size(), dated_b.size());
  ASSERT_GT(dated_a.size(), 200u);
  double peak = 0.0;
  for (const auto& row : dated_b) peak = std::max(peak, row.back());
  ASSERT_GT(peak, 0.0);
  for (std::size_t k = 0; k < dated_a.size(); ++k) {
    EXPECT_EQ(dated_a[k].front(), dated_b[k].front()) << "record " << k;
    EXPECT_NEAR(dated_a[k].back(), dated_b[k].back(), 1e-6 * peak) << "record " << k;
  }
  const auto totals_a = records(sparse, "output_example_totals.csv");
  const auto totals_b = records(by_rows, "output_example_totals.csv");
  ASSERT_EQ(totals_a.size(), totals_b.size());
  ASSERT_GE(totals_a.size(), 10u);
  for (std::size_t k = 0; k < totals_a.size(); ++k) {
    ASSERT_EQ(totals_a[k].size(), totals_b[k].size());
    for (std::size_t c = 0; c < totals_a[k].size(); ++c) {
      EXPECT_NEAR(totals_a[k][c], totals_b[k][c], 0.001 + 1e-9) << "record " << k << " column " << c;
    }
  }
}

TEST(OcLevelSolveExample, ASurfaceOnlyRunGivesTheOutputsOfTheEliminationByRows) {
  // Surface only, with no column iterations between the solvers' round-off and the
  // outputs: every file the same to its last printed digit.
  ExampleRun sparse, by_rows;
  sparse.copy.make_soils_impermeable();
  by_rows.copy.make_soils_impermeable();
  by_rows.model.oc_step.solve_by_rows = true;
  ASSERT_EQ(sparse.copy.run_in_process(sparse.model), 0) << sparse.copy.print();
  ASSERT_EQ(by_rows.copy.run_in_process(by_rows.model), 0) << by_rows.copy.print();
  EXPECT_GT(sparse.model.oc_step.iterated_solves, 200);
  EXPECT_EQ(by_rows.model.oc_step.iterated_solves, 0);

  int compared = 0;
  for (const auto& f : std::filesystem::directory_iterator(sparse.copy.root)) {
    const std::string name = f.path().filename().string();
    if (!name.starts_with("output_")) continue;
    SCOPED_TRACE(name);
    // The log names the files with the copy's own directory.
    auto text = [&](const ExampleRun& run) {
      std::string t = read_file(run.copy.root + "/" + name);
      for (std::size_t at; (at = t.find(run.copy.root)) != std::string::npos;) {
        t.replace(at, run.copy.root.size(), "<example>");
      }
      return t;
    };
    const std::string a = text(sparse), b = text(by_rows);
    EXPECT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);  // not EXPECT_EQ: the print file is long
    ++compared;
  }
  EXPECT_GE(compared, 6);
}

}  // namespace
}  // namespace quendal
