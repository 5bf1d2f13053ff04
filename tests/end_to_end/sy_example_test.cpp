// The example catchment's sediment data through the program: read, echoed, checked and
// set up in the first step; bad data stop the run with all their reports.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "example_copy.h"
#include "sediment/sediment_solids.h"
#include "test_support.h"

namespace quendal::testing {
namespace {

std::string sediment_print(ExampleCopy& example) {
  return example.output("output_example_sediment_print.txt");
}

// A one-hour run: the first step is the sediment's set-up call. Link 3 has a 0.15 m bed
// of its bank soil 1 (0.40, 0.45, 0.15) under an active layer of at most 0.1 m; every
// square 1 mm of loose sediment of its top soil, also soil 1.
TEST(SyExample, SetUpCallLeavesTheDataFilesStateAndSplitsTheBeds) {
  ExampleCopy example;
  example.replace("example_frame.txt", "1990 1 11 0 0", "1990 1 1 1 0");
  Model model;
  ASSERT_EQ(example.run_in_process(model), 0);
  const SedimentState& s = model.sediment;
  ASSERT_EQ(s.SY_CALL_COUNT, 1);
  ASSERT_EQ(model.frame.NLF, 14);
  const double soil1[3] = {0.40, 0.45, 0.15};
  EXPECT_EQ(s.DLS(3), 0.15);
  EXPECT_EQ(s.SY_ACTIVE_LAYER_DEPTH(3), 0.1);
  for (int k = 1; k <= 3; ++k) {
    // One product or difference of file values: a few ulps.
    EXPECT_NEAR(s.SY_ACTIVE_LAYER_SEDIMENT(3, k), 0.1 * soil1[k - 1], 1e-15);
    EXPECT_NEAR(s.SY_DEEP_LAYER_SEDIMENT(3, k), 0.05 * soil1[k - 1], 1e-15);
    for (int e : {1, 3, 15, 94}) {
      EXPECT_EQ(s.FBETA(e, k), soil1[k - 1]) << e;
      EXPECT_EQ(s.FDEL(e, k), 0.0) << e;
      for (int f = 1; f <= 4; ++f) EXPECT_EQ(s.SY_FACE_SEDIMENT_DISCHARGE(e, k, f), 0.0);
    }
  }
  EXPECT_EQ(s.DLS(4), 0.05);
  EXPECT_EQ(s.DLS(15), 0.001);
  EXPECT_EQ(s.FCROCK(15), 0.1);  // an upper-slope square (row 2)
  EXPECT_EQ(s.FCROCK(55), 0.0);  // a valley-floor square (row 6)
  for (int e = 1; e <= model.frame.NEL; ++e) EXPECT_EQ(s.SY_GROUND_EROSION_RATE(e), 0.0);
  for (int l = 1; l <= model.frame.NLF; ++l) EXPECT_EQ(s.SY_BANK_EROSION_RATE(l), 0.0);

  // The file's name, its title between empty lines, the version, the closing line.
  std::vector<std::string> lines = lines_of(sediment_print(example));
  for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
  ASSERT_EQ(lines.size(), 9u) << sediment_print(example);
  EXPECT_EQ(lines[0].rfind(" SYD data file open: unit 17; ", 0), 0u);
  EXPECT_TRUE(lines[0].ends_with("example_syd.txt"));
  EXPECT_EQ(lines[3], " Example catchment: silt, sand and gravel; loose beds on every link");
  EXPECT_EQ(lines[5], "    SY Module Version 4.2.7");
  EXPECT_EQ(lines[7].rfind(" SYD data file closed: unit 17; ", 0), 0u);
  for (std::size_t i : {1, 2, 4, 6, 8}) EXPECT_EQ(lines[i], "") << i;
}

// Sediment on or off, the water moves the same: the sediment writes nothing the water
// reads.
TEST(SyExample, SedimentChangesNoWaterResult) {
  ExampleCopy with, without;
  for (ExampleCopy* e : {&with, &without}) e->replace("example_frame.txt", "1990 1 11 0 0", "1990 1 3 0 0");
  without.set_switch("SED", false);
  ASSERT_EQ(with.run().status, 0);
  ASSERT_EQ(without.run().status, 0);
  EXPECT_EQ(sediment_print(without), "");
  for (const char* file : {"output_example_discharge.txt", "output_example_dated_discharge.txt",
                           "output_example_totals.csv", "output_example_end_state.txt"}) {
    EXPECT_EQ(with.output(file), without.output(file)) << file;
  }
}

// The example's third-day storm (rain from hour 50 to 59) washes sediment off the
// slopes and through the channels over the outlet link's weir (link 11, face 1).
// Copies ending before it (hour 49) and in it (hour 58) against the set-up alone
// (hour 1): every size group's solids stay accounted for, from the soil and banks
// eroded to what left over the weir.
TEST(SyExample, StormCarriesSedimentOverTheWeirAndEveryGrainIsAccountedFor) {
  const char* ends[3] = {"1990 1 1 1 0", "1990 1 3 1 0", "1990 1 3 10 0"};
  Model runs[3];
  for (int r = 0; r < 3; ++r) {
    ExampleCopy example;
    example.replace("example_frame.txt", "1990 1 11 0 0", ends[r]);
    ASSERT_EQ(example.run_in_process(runs[r]), 0) << ends[r];
  }
  const SedimentState& start = runs[0].sediment;
  const FrameState& frame = runs[0].frame;
  auto outlet = [](const SedimentState& s) {
    double q = 0.0;
    for (int g = 1; g <= s.NSED; ++g) q += s.SY_FACE_SEDIMENT_DISCHARGE(11, g, 1);
    return q;
  };
  const SedimentState& before = runs[1].sediment;
  const SedimentState& storm = runs[2].sediment;
  EXPECT_GT(outlet(storm), 0.0);
  EXPECT_GT(outlet(storm), outlet(before));

  for (int r = 1; r < 3; ++r) {
    SCOPED_TRACE(ends[r]);
    const SedimentState& s = runs[r].sediment;
    for (int g = 1; g <= s.NSED; ++g) {
      const double initial = catchment_solids(frame, start, g);
      const double now = catchment_solids(runs[r].frame, s, g);
      // Rounding of some 1e6 additions of values of the size of the largest store.
      EXPECT_NEAR(initial + s.solids_eroded(g), now + s.solids_out(g), 1e-9 * initial) << g;
    }
    for (int e = 1; e <= frame.NEL; ++e) {
      EXPECT_GE(s.DLS(e), 0.0) << e;
      double sum = 0.0;
      for (int g = 1; g <= s.NSED; ++g) {
        sum += s.FBETA(e, g);
        EXPECT_TRUE(std::isfinite(s.FDEL(e, g))) << e;
        for (int f = 1; f <= 4; ++f) EXPECT_TRUE(std::isfinite(s.SY_FACE_SEDIMENT_DISCHARGE(e, g, f)));
      }
      EXPECT_NEAR(sum, 1.0, 1e-10) << e;
    }
  }
  // The storm changed the squares' loose layers and the link beds.
  int squares_changed = 0, links_changed = 0, depositing = 0;
  for (int e = 1; e <= frame.NEL; ++e) {
    if (storm.DLS(e) == start.DLS(e)) continue;
    (e <= frame.NLF ? links_changed : squares_changed) += 1;
  }
  for (int k = 1; k <= frame.NLF; ++k) depositing += storm.SY_NET_DEPOSITION_AREA(k) != 0.0;
  EXPECT_GT(squares_changed, 0);
  EXPECT_GT(links_changed, 0);
  EXPECT_GT(depositing, 0);
}

TEST(SyExample, SizeGroupCountOutsideTheRoomStopsBeforeTheFirstStep) {
  ExampleCopy example;
  example.replace("example_syd.txt", "3 1 0 0 2 2 0 1", "8 1 0 0 2 2 0 1");
  const CommandResult r = example.run();
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(sediment_print(example).find(" !!!FATAL ERROR 2006 at time =        0.00 hours\n"
                                         "        No. of size groups NSED=   8 is not in range [1,NSEDEE=  7]"),
            std::string::npos)
      << sediment_print(example);
  EXPECT_EQ(r.output.find("Simulation Timestep"), std::string::npos);
}

// A soil that is no layer's top and no link's bank (the sandstone, 3) sums to 1.01, and
// the upper slopes' rock cover 0.6 leaves less than the ground cover 0.5.
TEST(SyExample, BadValuesAreAllReportedThenTheRunStops) {
  ExampleCopy example;
  example.replace("example_syd.txt", "0.10 0.60 0.30", "0.10 0.60 0.31");
  example.replace("example_syd.txt", ":SY41c ground cover fraction\n0.3", ":SY41c ground cover fraction\n0.5");
  example.replace("example_syd.txt", "0.0\n0.1\n:SY42e", "0.0\n0.6\n:SY42e");
  const CommandResult r = example.run();
  EXPECT_EQ(r.status, 1) << r.output;
  const std::string print = sediment_print(example);
  const std::size_t sum = print.find(" !!!      ERROR 2024");
  const std::size_t cover = print.find(" !!!      ERROR 2031");
  const std::size_t stop = print.find(" !!!FATAL ERROR 2000");
  ASSERT_NE(stop, std::string::npos) << print;
  EXPECT_LT(sum, cover);
  EXPECT_LT(cover, stop);
  EXPECT_NE(print.find("SOSDFN[*][sum_over_sed](soil)"), std::string::npos);
  EXPECT_NE(print.find("FCG(iel)"), std::string::npos);
  EXPECT_NE(print.find("        Error(s) detected while checking SY input data"), std::string::npos);
  EXPECT_NE(r.output.find(" No. of occurrences of error number 2024 is     1"), std::string::npos);
}

}  // namespace
}  // namespace quendal::testing
