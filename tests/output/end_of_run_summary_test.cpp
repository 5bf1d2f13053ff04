// The end-of-run summary on the print file and the completion line on the console.
#include "output/end_of_run_summary.h"

#include <gtest/gtest.h>

#include "model_fixture.h"

namespace quendal {
namespace {

struct EndOfRunSummaryTest : testing::ModelWithFiles {
  void SetUp() override {
    ModelWithFiles::SetUp();
    model.frame.UZNOW = 240.0;
    model.frame.STEP_COUNT = 240;
    model.frame.TOTAL_CATCHMENT_AREA = 20200.0;
  }
};

TEST_F(EndOfRunSummaryTest, ErrorCountsCompletionAndBudget) {
  Array2<int>& counts = model.io.errors.ERROR_COUNTS;
  counts(11, 2) = 2;  // two warnings 2011
  counts(36, 1) = 1;  // one error 1036
  counts(2, 0) = 4;   // title-line mismatches: counted, never listed here
  Array1<double>& totals = model.output.WATER_BALANCE_TOTALS;
  totals(WB_PRECIPITATION) = 999.0;                  // a period total: not in the summary
  totals(WB_PRECIPITATION + WB_RUN_OFFSET) = 252.5;  // 12.5 mm over 20200 m2
  totals(WB_DISCHARGE + WB_RUN_OFFSET) = 101.0;      // 5 mm
  totals(WB_LATERAL_FLOW_RUN) = -20.2;              // 1 mm out through the edges
  totals(WB_WELL_EXPORT_RUN) = 10.1;                 // 0.5 mm
  totals(WB_SURFACE_STORAGE) = 121.4525;             // 6.0125 mm
  totals(WB_CHANNEL_STORAGE) = 2.02;                 // 0.1 mm
  model.output.BALANCE_START_STORAGE[WB_CHANNEL_STORAGE - WB_CANOPY_STORAGE] = 2.02;
  // Net inflow 12.5 - 5 - 1 - 0.5 = 6 mm; the storages grew by 6.0125 mm.
  complete_run(model.io, [&] { END_OF_RUN_SUMMARY(model.frame, model.output, model.io); });
  EXPECT_EQ(print_text(),
            "\n"
            "\n"
            "Error message asummary\n"
            "\n"
            "No. of occurences of error number 1036:      1\n"
            "No. of occurences of error number 2011:      2\n"
            "\n"
            "End of error message asummary\n"
            "\n\n\n\n\n"
            "Normal completion of QUENDAL run:     240.00 hours,     240 steps.\n"
            "\n"
            "\n\n\n\n\n"
            "  Spatially Averaged Totals (mm) over the simulation\n"
            "         Cum Prec =      12.50\n"
            "    Cum Can. Evap =       0.00\n"
            " Cum Soil+Sur Evp =       0.00\n"
            "        Cum Trans =       0.00\n"
            "    Cum Aqu. Flow =       0.00\n"
            "    Cum Discharge =       5.00\n"
            "    Cum Lat. Flow =      -1.00\n"
            "    Cum Well Exp. =       0.50\n"
            "\n\n\n"
            "  Storage totals (mm) at the end of the simulation\n"
            "      Canopy Stor =       0.00\n"
            "       Snow Store =       0.00\n"
            "      Subsur Stor =       0.00\n"
            "     Surface Stor =       6.01\n"
            "     Channel Stor =       0.10\n"
            "\n\n\n"
            "  Water budget (mm): storage change against net inflow\n"
            " Storage at start =       0.10\n"
            "   Storage at end =       6.11\n"
            "   Storage change =       6.01\n"
            "       Net inflow =       6.00\n"
            "         Residual =     0.0125\n");
  EXPECT_EQ(console_text(), "\n Normal completion of QUENDAL run\n");
}

TEST_F(EndOfRunSummaryTest, RunWithoutErrorsListsNothingBetweenHeadingAndTrailer) {
  END_OF_RUN_SUMMARY(model.frame, model.output, model.io);
  EXPECT_TRUE(print_text().starts_with(
      "\n\nError message asummary\n\n\nEnd of error message asummary\n\n"));
}

}  // namespace
}  // namespace quendal
