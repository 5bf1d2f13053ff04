// The example catchment solved by the sparse iteration and by the exact elimination over
// grid rows: the level changes of every step agree, and a surface-only run gives every
// output file the same to the last printed digit.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "example_copy.h"
#include "include/model.h"
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

TEST(OcLevelSolveExample, ASurfaceOnlyRunGivesTheOutputsOfTheEliminationByRows) {
  // Surface only: coupled to the subsurface, the example's small discharges change in
  // their third digit after differences of round-off in the level changes (exact LU
  // shows it as well as the iteration), which no solver other than the elimination by
  // rows itself could match.
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
