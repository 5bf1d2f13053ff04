// The run output files and the end-of-run summary of the example catchment, through the
// built program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "frame/main_program.h"
#include "include/model.h"
#include "services/formatted_writer.h"
#include "services/record_reader.h"
#include "services/records.h"
#include "example_copy.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;
using testing::run_command;
using testing::TempDir;
using Lines = std::vector<std::string>;

using testing::lines_of;

using Example = testing::ExampleCopy;

// The simulated hours and the steps of the run, from the completion record of the
// print file; -1 when there is none.
struct Completion {
  double hours = -1.0;
  long steps = -1;
};
Completion completion_of(const std::string& print) {
  Completion c;
  std::size_t at = print.find("Normal completion of QUENDAL run: ");
  if (at == std::string::npos) return c;
  StringSource record({print.substr(at, print.find('\n', at) - at)});
  read_formatted(record, "(34X,F10.2,8X,I7)", c.hours, c.steps);
  return c;
}

TEST(RunOutputs, ExampleWritesItsFilesAndCompletes) {
  Example ex;
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("\n Normal completion of QUENDAL run\n"), std::string::npos);
  const std::string print = ex.output("output_example_print.txt");
  // The run ends with the first step that reaches the end date, ten days after the start.
  const Completion done = completion_of(print);
  ASSERT_GE(done.hours, 240.0) << print;
  ASSERT_LT(done.hours, 242.0);
  const long steps = done.steps;
  ASSERT_GE(steps, 120);  // steps of at most 2 hours
  EXPECT_NE(print.find("End of error message asummary"), std::string::npos);
  EXPECT_NE(print.find("  Spatially Averaged Totals (mm) over the simulation\n"
                       "         Cum Prec = "),
            std::string::npos);
  EXPECT_NE(print.find("  Storage totals (mm) at the end of the simulation\n"), std::string::npos);

  // Dated discharge: one record per step, the first dated after the first step.
  Lines dated = lines_of(ex.output("output_example_dated_discharge.txt"));
  ASSERT_EQ(static_cast<long>(dated.size()), steps);
  EXPECT_EQ(dated.front().substr(0, 12), "01/01/1990_0");
  EXPECT_EQ(dated.back().substr(0, 14), "11/01/1990_00:");
  StringSource last({dated.back()});
  double hours = 0.0;
  read_formatted(last, "(19X,F20.8)", hours);
  EXPECT_NEAR(hours, done.hours, 0.005);  // the summary's two decimals
  for (const std::string& line : dated) ASSERT_EQ(line.size(), 59u) << line;

  // Regular intervals of 24 hours: ten records of the outlet and the two extra points.
  // The outlet is link 11, whose weir is at the catchment's east edge.
  Lines discharge = lines_of(ex.output("output_example_discharge.txt"));
  ASSERT_EQ(discharge.size(), 12u);
  EXPECT_EQ(discharge[0], "discharge at the outlet - regular timestep   24.00 hours");
  EXPECT_EQ(discharge[1], "      Outlet =    11 Extra points:    10                  13");
  for (std::size_t i = 2; i < discharge.size(); ++i) EXPECT_EQ(discharge[i].size(), 62u);

  // Totals: two headings, then a record at the first step and at the first step after
  // each further 24 hours, the last at the run's end (the last step ends a little after
  // 240 hours, so it wrote the record of the 240-hour mark); 14 columns.
  Lines totals = lines_of(ex.output("output_example_totals.csv"));
  const auto records = static_cast<std::size_t>(std::ceil((hours - 1e-7) / 24.0));
  ASSERT_EQ(totals.size(), 2 + records);
  EXPECT_EQ(totals[0], "          Spatially Averaged Totals (mm) over the simulation");
  for (std::size_t i = 1; i < totals.size(); ++i) {
    EXPECT_EQ(totals[i].size(), 14u * 16u + 13u) << totals[i];
    EXPECT_EQ(std::count(totals[i].begin(), totals[i].end(), ','), 13);
  }
  EXPECT_EQ(totals.back().substr(0, 16), format_line("(F16.3)", hours));

  // End state: the heading and the levels of the 80 grid squares (banks off), 10 a record.
  Lines end_state = lines_of(ex.output("output_example_end_state.txt"));
  ASSERT_GE(end_state.size(), 14u);
  EXPECT_EQ(end_state[0], " Output at end of simulation for use as initial conditions in vsi file");
  EXPECT_EQ(end_state[3], " phreatic surface level ");
  EXPECT_EQ(end_state[12], "");
  EXPECT_EQ(end_state[13], " Heads at end of simulation");
}

TEST(RunOutputs, ShortExtraDischargePointsFileIsFatal1068) {
  Example ex;
  ex.replace("example_extra_points.txt", "  13  4\n", "");
  auto r = ex.run();
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(ex.output("output_example_print.txt")
                .find(" !!!FATAL ERROR 1068 at time =        0.00 hours\n"
                      "        no or incorrect data in extra discharge points file\n"),
            std::string::npos);
  EXPECT_NE(r.output.find(" No. of occurrences of error number 1068 is     1"), std::string::npos);
  EXPECT_EQ(r.output.find("Normal completion"), std::string::npos);
}

TEST(RunOutputs, WhatWasWrittenBeforeAFatalErrorIsKept) {
  Example ex("contaminant");
  // Contaminants due after one day while sediment is not yet due: fatal error 1041 in
  // the step that reaches 24 hours, before that step's outputs.
  ex.set_component_starts("1990 1 3 0 0", "1990 1 2 0 0");
  auto r = ex.run();
  ASSERT_EQ(r.status, 1) << r.output;
  Lines dated = lines_of(ex.output("output_contaminant_dated_discharge.txt"));
  ASSERT_GE(dated.size(), 12u);  // the steps before 24 hours, at most 2 hours each
  EXPECT_EQ(dated.back().substr(0, 11), "01/01/1990_");
  Lines totals = lines_of(ex.output("output_contaminant_totals.csv"));
  EXPECT_EQ(totals.size(), 3u);  // the headings and the record of the first step
}

TEST(RunOutputs, ResultsStoreOnChangesNoOutputAndStoresNothing) {
  Example plain;
  ASSERT_EQ(plain.run().status, 0);
  Example stored;
  stored.replace("example_frame.txt", "   24.0      1      T      F      F      F    0.0",
                 "   24.0      1      T      F      F      T    0.0");
  stored.replace("rundata_example.txt", "(unit 27)\n0", "(unit 27)\noutput_example_store.txt");
  auto r = stored.run();
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* file : {"output_example_discharge.txt", "output_example_dated_discharge.txt",
                           "output_example_totals.csv", "output_example_end_state.txt"}) {
    EXPECT_EQ(stored.output(file), plain.output(file)) << file;
  }
  EXPECT_EQ(stored.output("output_example_store.txt"), "");
}

// --- the water balance of a surface-only run ---------------------------------------------

// The example turned into a surface-only catchment that starts dry, with rectangular
// channels 4 m wide and 1 m deep and no evaporation (no net radiation and no vapour
// pressure deficit, so the Penman-Monteith demand is zero), starting at 23:00 with steps
// of 1 hour (the rain never reaches the 5 mm step limit in the first two days) for 48
// hours.
struct DrySurfaceOnlyExample : Example {
  DrySurfaceOnlyExample() {
    make_soils_impermeable();
    use_rectangular_channels();
    start_channels_dry();
    // Met records: after the title, the first line of a record holds the net radiation
    // in columns 25-36, the second the vapour pressure deficit in columns 37-48.
    rewrite("example_met.txt", [](std::string& line, std::size_t n) {
      if (n == 0 || line.empty()) return;
      line.replace(n % 2 == 1 ? 24 : 36, 12, "         0.0");
    });
    replace("example_frame.txt", "Start of simulation: year, month, day, hour, minute\n1990 1 1 0 0",
            "Start of simulation: year, month, day, hour, minute\n1989 12 31 23 0");
    replace("example_frame.txt", "1990 1 11 0 0", "1990 1 2 23 0");
  }
};

// One run in this process (the water-balance errors of the elements live in the model
// only), its console in the copy's directory.
struct InProcessRun {
  explicit InProcessRun(DrySurfaceOnlyExample& ex)
      : console(std::fopen(ex.dir.file("console.txt").c_str(), "w")), model(console) {
    status = ex.run_in_process(model);
    std::fclose(console);
    print = ex.print();
  }
  std::FILE* console;
  Model model;
  int status = -1;
  std::string print;
};

// The OC step neither makes nor loses water: no element is dried with new water, and
// each element's storage change equals what its fluxes delivered, to round-off (levels
// of about 100 m carry about 1e-14 m; 48 steps). The catchment, on the totals records
// (1 h, the first step; 25 h, the first step after 24 hours; 48 h, the run's end): what
// fell, minus what left, is what the catchment holds above the ground, snow included,
// since it started dry; the water of the cells, which nothing reaches, stays as it was.
// Seven printed values of 3 decimals: 7 x 0.0005 mm. Returns the snow storage of the
// 25 h record, mm.
double expect_balance_closes(DrySurfaceOnlyExample& ex, const Model& model,
                             const std::string& print) {
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(24, 1), 0) << print;
  for (int i = 1; i <= model.frame.NEL; ++i) {
    EXPECT_LT(std::fabs(model.output.ELEMENT_BALANCE_ERROR(i)), 1e-9) << "element " << i;
  }
  Lines totals = lines_of(ex.output("output_example_totals.csv"));
  EXPECT_EQ(totals.size(), 5u);
  const double times[] = {1.0, 25.0, 48.0};
  double snow_at_25 = 0.0, cells_at_start = -1.0;
  for (std::size_t r = 2; r < totals.size() && r < 5; ++r) {
    StringSource record({totals[r]});
    double hours, rain, canopy_evap, ground_evap, transpiration, aquifer, discharge, canopy,
        snow, subsurface, surface, channel;
    read_formatted(record, "(12(F16.3,1X))", hours, rain, canopy_evap, ground_evap, transpiration,
                   aquifer, discharge, canopy, snow, subsurface, surface, channel);
    EXPECT_EQ(hours, times[r - 2]);
    if (hours == 25.0) snow_at_25 = snow;
    if (cells_at_start < 0.0) cells_at_start = subsurface;
    EXPECT_EQ(subsurface, cells_at_start) << totals[r];
    EXPECT_NEAR(rain - discharge, canopy + snow + surface + channel, 7 * 0.0005) << totals[r];
  }
  return snow_at_25;
}

TEST(RunOutputs, SurfaceOnlyRunFromDryClosesItsWaterBalance) {
  DrySurfaceOnlyExample ex;
  ex.set_switch("SNOW", false);
  InProcessRun run(ex);
  const Model& model = run.model;
  const std::string& print = run.print;
  ASSERT_EQ(run.status, 0) << print;
  ASSERT_EQ(lines_of(ex.output("output_example_dated_discharge.txt")).size(), 48u);  // 1 h steps
  // Nothing crossed the ground or a channel's banks.
  for (int i = 1; i <= model.frame.NEL; ++i) {
    EXPECT_EQ(model.subsurface.INFILTRATION_RATE(i), 0.0) << "element " << i;
  }
  for (int l = 1; l <= model.frame.NLF; ++l) {
    for (int s = 1; s <= 2; ++s) EXPECT_EQ(model.subsurface.STREAM_AQUIFER_LATERAL_FLOW(l, s), 0.0);
  }
  for (int e : {WB_CANOPY_EVAPORATION, WB_GROUND_EVAPORATION, WB_TRANSPIRATION}) {
    EXPECT_EQ(model.output.WATER_BALANCE_TOTALS(e + WB_RUN_OFFSET), 0.0) << e;
  }
  expect_balance_closes(ex, model, print);
}

// The same catchment with the first day's storm falling as snow (-2 deg C for the first
// 30 hours, so that the steps stay at 1 h up to the 25 h record, then 8 deg C): the pack
// holds the storm at the 25 h record, and the balance closes with it counted; then it
// melts away.
TEST(RunOutputs, SnowPackEntersTheWaterBalance) {
  DrySurfaceOnlyExample ex;
  ex.rewrite("example_met.txt", [](std::string& line, std::size_t n) {
    if (n == 0 || line.empty() || n % 2 == 1) return;
    line.replace(12, 12, (n - 1) / 2 < 30 ? "      -2.000" : "       8.000");
  });
  InProcessRun run(ex);
  const Model& model = run.model;
  const std::string& print = run.print;
  ASSERT_EQ(run.status, 0) << print;
  EXPECT_EQ(model.surface.MSM, 1);
  const double snow = expect_balance_closes(ex, model, print);
  EXPECT_GT(snow, 1.0);  // mm over the catchment at 25 h
  for (int e = model.frame.NGDBGN; e <= model.frame.NEL; ++e) {
    EXPECT_EQ(model.surface.SD(e), 0.0) << e;
  }
  // Thawing under a pack, the steps are capped at half an hour.
  EXPECT_GT(lines_of(ex.output("output_example_dated_discharge.txt")).size(), 48u);
}

}  // namespace
}  // namespace quendal
