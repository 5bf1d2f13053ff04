// The column solver's counts after the end-of-run summary's budget.
#include "output/column_solver_counts.h"

#include <gtest/gtest.h>

#include "model_fixture.h"

namespace quendal {
namespace {

struct ColumnSolverCountsTest : testing::ModelWithFiles {};

// Labels right-aligned in 20 columns and counts in 10, lined up with the budget.
TEST_F(ColumnSolverCountsTest, TwoLinesUnderTheBudget) {
  model.subsurface.picard_rows = 1234567;
  model.subsurface.limited_steps = 0;
  write_column_solver_counts(model.subsurface, model.io);
  EXPECT_EQ(print_text(),
            "  VSS Picard rows =    1234567\n"
            "VSS limited steps =          0\n");
}

}  // namespace
}  // namespace quendal
