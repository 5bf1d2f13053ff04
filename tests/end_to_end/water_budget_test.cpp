// The catchment's water budget as the totals file and the end-of-run summary give it:
// whatever stretch of the run a reader takes, the change of the five storages is the
// change of precipitation - evaporation - transpiration - discharge + aquifer flow +
// lateral inflow - well export. The examples take every term there is: a well whose
// water leaves the catchment, a fixed-head boundary on the east edge, snow, and with
// banks the links' own cells.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "example_copy.h"
#include "include/model.h"
#include "services/record_reader.h"
#include "services/records.h"

namespace quendal {
namespace {

using testing::ExampleCopy;
using testing::InProcessRun;
using testing::lines_of;

// One record of the totals file: the time, then 13 values in mm.
struct TotalsRecord {
  double hours = 0.0;
  double v[13] = {};
  double storage() const { return v[6] + v[7] + v[8] + v[9] + v[10]; }
  // Precipitation - canopy, ground evaporation, transpiration - discharge + aquifer
  // flow + lateral inflow - well export.
  double net_inflow() const { return v[0] - v[1] - v[2] - v[3] - v[5] + v[4] + v[11] - v[12]; }
};

std::vector<TotalsRecord> totals_records(const std::string& text) {
  std::vector<TotalsRecord> records;
  const std::vector<std::string> lines = lines_of(text);
  for (std::size_t n = 2; n < lines.size(); ++n) {
    TotalsRecord r;
    StringSource record({lines[n]});
    read_formatted(record, "(14(F16.3,1X))", r.hours, r.v[0], r.v[1], r.v[2], r.v[3], r.v[4],
                   r.v[5], r.v[6], r.v[7], r.v[8], r.v[9], r.v[10], r.v[11], r.v[12]);
    records.push_back(r);
  }
  return records;
}

struct BudgetCase {
  const char* example;
  const char* basic_step;  // DTBAS of the frame file, in its 7-column field
  const char* end;         // the end date, or "" for the example's ten days
};

TEST(WaterBudget, EveryStretchOfTheRunCloses) {
  // Quarter-hour steps end on a 24-hour mark; four days take in the third day's storm.
  const BudgetCase cases[] = {{"example", "    1.0", ""},
                              {"banks", "    1.0", ""},
                              {"example", "   0.25", "1990 1 5 0 0"},
                              {"banks", "   0.25", "1990 1 5 0 0"}};
  for (const BudgetCase& c : cases) {
    SCOPED_TRACE(std::string(c.example) + ", basic step" + c.basic_step);
    ExampleCopy copy(c.example);
    copy.replace(std::string(c.example) + "_frame.txt", "    5.0    1.5  100.0    1.0      F",
                 std::string("    5.0    1.5  100.0") + c.basic_step + "      F");
    if (*c.end) {
      copy.replace(std::string(c.example) + "_frame.txt", "1990 1 11 0 0", c.end);
    }
    const InProcessRun run(copy);
    ASSERT_EQ(run.status, 0) << copy.print();
    const FrameState& frame = run.model.frame;
    const OutputState& output = run.model.output;

    // The unrounded totals, start to end. The storages hold some 4.7 m of water over the
    // catchment, summed over ~1e5 cells in doubles: round-off of 1e-12 m at most, far
    // below 1e-6 mm.
    const Array1<double>& t = output.WATER_BALANCE_TOTALS;
    double change = 0.0;
    for (int s = 0; s < WB_STORAGE_COUNT; ++s) {
      change += t(WB_CANOPY_STORAGE + s) - output.BALANCE_START_STORAGE[s];
    }
    auto run_total = [&](int e) { return t(e + WB_RUN_OFFSET); };
    const double inflow = run_total(WB_PRECIPITATION) - run_total(WB_CANOPY_EVAPORATION) -
                          run_total(WB_GROUND_EVAPORATION) - run_total(WB_TRANSPIRATION) -
                          run_total(WB_DISCHARGE) + run_total(WB_AQUIFER_FLOW) +
                          t(WB_LATERAL_FLOW_RUN) - t(WB_WELL_EXPORT_RUN);
    const double to_mm = 1000.0 / frame.TOTAL_CATCHMENT_AREA;
    EXPECT_NEAR(change * to_mm, inflow * to_mm, 1e-6);
    // Every term is there to be counted: the east edge drains, the well exports. Darcy
    // puts the east edge's drain at some 0.6 mm in the four days (eight squares, 8 m of
    // aquifer at 2 m/day, head 0.5 m lower 50 m away; with banks 0.85 mm), far above
    // ten times the totals' printed 0.001 mm.
    EXPECT_LT(t(WB_LATERAL_FLOW_RUN) * to_mm, -0.01);
    EXPECT_GT(t(WB_WELL_EXPORT_RUN) * to_mm, 0.3);

    // The file: records at the first step and after each 24 hours, the last at the run's
    // end; any two of them close from the printed values, 26 values rounded to 0.001 mm.
    const std::vector<TotalsRecord> records =
        totals_records(copy.output("output_" + std::string(c.example) + "_totals.csv"));
    ASSERT_GE(records.size(), *c.end ? 5u : 11u);
    EXPECT_NEAR(records.back().hours, frame.UZNOW, 0.0005);
    for (std::size_t a = 0; a < records.size(); ++a) {
      for (std::size_t b = a + 1; b < records.size(); ++b) {
        EXPECT_NEAR(records[b].storage() - records[a].storage(),
                    records[b].net_inflow() - records[a].net_inflow(), 26 * 0.0005)
            << records[a].hours << " h to " << records[b].hours << " h";
      }
    }
    // The summary's budget is that of the run's end, its residual zero to its 4 decimals.
    const std::string print = copy.print();
    const std::size_t at = print.find("         Residual = ");
    ASSERT_NE(at, std::string::npos);
    double residual = 1.0;
    StringSource line({print.substr(at, 30)});
    read_formatted(line, "(20X,F10.4)", residual);
    EXPECT_EQ(std::fabs(residual), 0.0);
  }
}

}  // namespace
}  // namespace quendal
