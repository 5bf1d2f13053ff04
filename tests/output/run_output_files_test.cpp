// The run output files: interval means of the outlet discharge (unit 41), the dated
// discharge (44), the totals (43), the end state (42) and the extra discharge points
// file (47). Expected records are written out by hand from the layouts.
#include "output/run_output_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "output/output_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

using Lines = std::vector<std::string>;
using testing::read_file;

using testing::lines_of;

struct RunOutputFilesTest : testing::SmallCatchment {
  std::string discharge_path, dated_path, totals_path, end_state_path;
  void open_all() {
    discharge_path = open_output(OUTLET_DISCHARGE_UNIT, "discharge.txt");
    end_state_path = open_output(END_STATE_UNIT, "end_state.txt");
    totals_path = open_output(TOTALS_UNIT, "totals.csv");
    dated_path = open_output(DATED_DISCHARGE_UNIT, "dated.txt");
  }
  // Names an extra discharge points file holding `text`.
  void extra_points_file(const std::string& text) {
    open_input(EXTRA_DISCHARGE_POINTS_UNIT, "points.txt", text);
    model.io.names.EXTRA_DISCHARGE_POINTS_ON = true;
  }
  // The outlet (link 1, face 1) discharges `q` during a step of `hours`.
  void discharge_step(double hours, double q) {
    surface.QOC(LINK, 1) = q;
    step(hours);
  }
  Lines discharge_records() {
    Lines all = lines_of(text_of(discharge_path));
    return Lines(all.begin() + 1, all.end());  // after the heading
  }
};

// --- regular-interval outlet discharge ----------------------------------------------

struct IntervalCase {
  const char* name;
  double interval;
  std::vector<std::pair<double, double>> steps;  // hours, outlet discharge
  Lines records;
};

TEST_F(RunOutputFilesTest, IntervalMeansOfTheOutletDischarge) {
  const IntervalCase cases[] = {
      // 1 and 3 m3/s for half an hour each: mean 2.
      {"two half-hour steps", 1.0, {{0.5, 1.0}, {0.5, 3.0}}, {"          2.00000000"}},
      // [0, 0.5 h]: 2 then 4 for 0.25 h each; three intervals wholly at 4; [2, 2.5 h]:
      // 4 then 0 for 0.25 h each.
      {"a step longer than the interval",
       0.5,
       {{0.25, 2.0}, {2.0, 4.0}, {0.25, 0.0}},
       {"          3.00000000", "          4.00000000", "          4.00000000",
        "          4.00000000", "          2.00000000"}},
      // +2 then -4 for half an hour each: the signed mean is -1, written as 1.
      {"a change of sign", 1.0, {{0.5, 2.0}, {0.5, -4.0}}, {"          1.00000000"}},
      // A step ending on an interval end closes it; the next starts empty.
      {"a step ending on the interval end",
       1.0,
       {{1.0, 5.0}, {0.5, 1.0}, {0.5, 3.0}},
       {"          5.00000000", "          2.00000000"}},
      // Nothing is written until an interval ends.
      {"an interval not yet ended", 24.0, {{1.0, 5.0}, {2.0, 1.0}}, {}},
  };
  for (const IntervalCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();  // a fresh catchment and fresh files
    open_all();
    add_weir(LINK, 1);
    frame.DISCHARGE_INTERVAL = c.interval;
    start();
    for (const auto& [hours, q] : c.steps) discharge_step(hours, q);
    EXPECT_EQ(discharge_records(), c.records);
  }
}

TEST_F(RunOutputFilesTest, DischargeHeadingGivesTheInterval) {
  open_all();
  frame.DISCHARGE_INTERVAL = 0.5;
  start();
  EXPECT_EQ(text_of(discharge_path), "discharge at the outlet - regular timestep    0.50 hours\n");
}

TEST_F(RunOutputFilesTest, AfterAHotStartAveragingRestartsAtTheLastIntervalMark) {
  open_all();
  add_weir(LINK, 1);
  frame.DISCHARGE_INTERVAL = 2.0;
  frame.HOTSTART_READ = true;
  frame.HOTSTART_TIME = 5.0;  // the last mark at or before it: 4 h
  frame.UZNOW = 5.0;
  start();
  discharge_step(1.0, 3.0);  // reaches 6 h: counted from 4 h, as over the whole interval
  EXPECT_EQ(discharge_records(), (Lines{"          3.00000000"}));
}

TEST_F(RunOutputFilesTest, IntervalThatIsNotPositiveIsRefused) {
  for (double interval : {0.0, -6.0}) {
    SetUp();
    frame.DISCHARGE_INTERVAL = interval;
    EXPECT_THROW(start(), InputError) << interval;
  }
}

// --- dated discharge ------------------------------------------------------------------

TEST_F(RunOutputFilesTest, DatedDischargeGivesDateTimeAndOutflowPositive) {
  struct Case {
    int weir_face;
    double qoc;
    const char* record;
  };
  // An outlet through face 1 (east) discharges with QOC > 0, one through face 3 (west)
  // or face 4 (south) with QOC < 0: outflow is written positive either way.
  const Case cases[] = {
      {1, 1.5, "29/02/2000_00:00:00          1.00000000          1.50000000"},
      {3, -1.5, "29/02/2000_00:00:00          1.00000000          1.50000000"},
      {4, -1.5, "29/02/2000_00:00:00          1.00000000          1.50000000"},
      {0, 1.5, "29/02/2000_00:00:00          1.00000000          0.00000000"},  // no outlet
      // A dry outlet has no sign, whichever face it discharges through.
      {3, 0.0, "29/02/2000_00:00:00          1.00000000          0.00000000"},
      {1, -0.0, "29/02/2000_00:00:00          1.00000000          0.00000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.weir_face);
    SetUp();
    open_all();
    set_start(2000, 2, 28, 23, 0);
    if (c.weir_face != 0) add_weir(LINK, c.weir_face);
    start();
    surface.QOC(LINK, c.weir_face == 0 ? 1 : c.weir_face) = c.qoc;
    step(1.0);
    EXPECT_EQ(text_of(dated_path), std::string(c.record) + "\n");
  }
}

TEST_F(RunOutputFilesTest, DatedDischargeEveryStepWithSeconds) {
  open_all();
  set_start(1990, 12, 31, 23, 0);
  start();
  step(0.5);
  step(0.75);       // 00:15 on 1 January 1991
  step(1.0 / 120);  // 30 s later
  EXPECT_EQ(lines_of(text_of(dated_path)),
            (Lines{"31/12/1990_23:30:00          0.50000000          0.00000000",
                   "01/01/1991_00:15:00          1.25000000          0.00000000",
                   "01/01/1991_00:15:30          1.25833333          0.00000000"}));
}

// --- totals ---------------------------------------------------------------------------

TEST_F(RunOutputFilesTest, TotalsFileHeadingsAndOneMillimetreOfRain) {
  open_all();
  start();
  // 1 mm in one hour on every element; it stays where it fell.
  frame.ELEMENT_RAIN_RATE.fill(1e-3 / 3600.0);
  surface.HRF(WEST_SQUARE) += 0.001;
  surface.HRF(EAST_SQUARE) += 0.001;
  surface.ARXL(LINK) = 0.001 * surface.CWIDTH(LINK);
  step(1.0);
  // Surface: 2 x 10000 m2 x 1 mm = 20 m3 = 0.990 mm over 20200 m2; channel: 0.2 m3 = 0.010 mm.
  EXPECT_EQ(text_of(totals_path),
            "          Spatially Averaged Totals (mm) over the simulation\n"
            "     Time(Hours),       Cum Prec., Cum. Can. Evap., Cum. Soil Evap.,      Cum. Trans,"
            "  Cum. Aqu. Flow,  Cum. Discharge,  Canopy Storage,    Snow Storage,Subsurface Stor.,"
            " Land Surf Stor.,   Channel Stor.,  Cum. Lat. Flow,  Cum. Well Exp.\n"
            "           1.000,           1.000,           0.000,           0.000,           0.000,"
            "           0.000,           0.000,           0.000,           0.000,           0.000,"
            "           0.990,           0.010,           0.000,           0.000\n");
}

TEST_F(RunOutputFilesTest, TotalsEveryTwentyFourHoursFlushedAsWritten) {
  open_all();
  start();
  std::vector<std::string> times;
  for (int n = 1; n <= 50; ++n) {
    step(1.0);
    // Read without flushing: each daily record is on disk as soon as it is written,
    // and so is every step's dated discharge and every interval's mean (24 h here), so
    // that a run killed at any moment leaves all of them.
    Lines lines = lines_of(read_file(totals_path));
    if (lines.size() > 2 + times.size()) times.push_back(lines.back().substr(0, 16));
    EXPECT_EQ(lines_of(read_file(dated_path)).size(), std::size_t(n));
    EXPECT_EQ(lines_of(read_file(discharge_path)).size(), std::size_t(1 + n / 24)) << n;
  }
  EXPECT_EQ(times,
            (std::vector<std::string>{"           1.000", "          25.000", "          49.000"}));
}

// A record at the first step and at the first step after each 24 hours; the end adds
// one at the run's end unless the last step wrote it.
TEST_F(RunOutputFilesTest, TheLastTotalsRecordIsAtTheRunsEnd) {
  struct Case {
    int steps;
    double hours;
    std::vector<std::string> times;
  };
  const Case cases[] = {
      {24, 1.0, {"1.000", "24.000"}},   // shorter than a day's records, ends on the mark
      {96, 0.5, {"0.500", "24.500", "48.000"}},  // half-hour steps end on a 24-hour mark
      {25, 1.0, {"1.000", "25.000"}},   // the last step wrote its record
      {20, 1.0, {"1.000", "20.000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.steps) + " steps of " + std::to_string(c.hours) + " h");
    SetUp();
    open_all();
    start();
    for (int n = 1; n <= c.steps; ++n) step(c.hours);
    WRITE_RUN_OUTPUTS("end  ", frame, surface, subsurface, output, model.io);
    Lines lines = lines_of(text_of(totals_path));
    std::vector<std::string> times;
    for (std::size_t i = 2; i < lines.size(); ++i) {
      std::string t = lines[i].substr(0, 16);
      times.push_back(t.substr(t.find_first_not_of(' ')));
    }
    EXPECT_EQ(times, c.times);
  }
}

// --- units not named --------------------------------------------------------------------

TEST_F(RunOutputFilesTest, UnitsNotNamedAreNotWrittenAnywhere) {
  add_weir(LINK, 1);
  start();
  for (int n = 1; n <= 30; ++n) discharge_step(1.0, 2.0);
  WRITE_RUN_OUTPUTS("end  ", frame, surface, subsurface, output, model.io);
  EXPECT_EQ(print_text(), "");
  EXPECT_EQ(console_text(), "");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& f : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 2u);  // the print file and the console of the fixture
}

// --- outlet ---------------------------------------------------------------------------

TEST_F(RunOutputFilesTest, OutletIsTheLinkWithAWeirOnAFreeFace) {
  start();
  EXPECT_EQ(output.OUTLET_ELEMENT, 0);  // no weir, no outlet

  SetUp();
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_ELEMENT, 1) = LINK;
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_FACE, 1) = 1;
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_TYPE, 1) = OC_BC_LINK_FLUX;
  surface.OC_BOUNDARY_OF_ELEMENT(LINK) = 1;
  start();
  EXPECT_EQ(output.OUTLET_ELEMENT, 0);  // a flux boundary is not an outlet

  SetUp();
  add_weir(LINK, 3);
  start();
  EXPECT_EQ(output.OUTLET_ELEMENT, LINK);
  EXPECT_EQ(output.OUTLET_FACE, 3);
}

// --- extra discharge points -------------------------------------------------------------

TEST_F(RunOutputFilesTest, ExtraPointsGetTheirOwnColumns) {
  open_all();
  add_weir(LINK, 1);
  frame.DISCHARGE_INTERVAL = 1.0;
  extra_points_file(
      "Extra discharge points of the small catchment\n"
      "'two faces' 2\n"
      " 3 4\n"
      " 2, 1\n");
  start();
  EXPECT_EQ(output.EXTRA_POINTS_TITLE, "two faces");
  surface.QOC(EAST_SQUARE, 4) = -0.5;  // southwards into the link
  surface.QOC(WEST_SQUARE, 1) = 0.25;
  discharge_step(1.0, 1.0);
  EXPECT_EQ(lines_of(text_of(discharge_path)),
            (Lines{"discharge at the outlet - regular timestep    1.00 hours",
                   "      Outlet =     1 Extra points:     3                   2",
                   "          1.00000000           0.50000000           0.25000000"}));
}

TEST_F(RunOutputFilesTest, HundredExtraPointsFillOneRecordAndStartAnother) {
  open_all();
  add_weir(LINK, 1);
  frame.DISCHARGE_INTERVAL = 1.0;
  std::string text = "points\nmany 100\n";
  for (int j = 1; j <= 100; ++j) text += " 2 1\n";
  extra_points_file(text);
  start();
  surface.QOC(WEST_SQUARE, 1) = 0.25;
  discharge_step(1.0, 1.0);
  Lines lines = lines_of(text_of(discharge_path));
  ASSERT_EQ(lines.size(), 4u);
  // Outlet, then the first point in the first integer field, the others in I20 fields.
  EXPECT_EQ(lines[1].size(), 14u + 6u + 14u + 6u + 99u * 21u - 1u);
  // 101 values, 100 to a record: the last one begins the next record.
  EXPECT_EQ(lines[2].size(), 100u * 21u - 1u);
  EXPECT_EQ(lines[3], "          0.25000000");
}

TEST_F(RunOutputFilesTest, ExtraPointsCountOfZeroIsAccepted) {
  open_all();
  add_weir(LINK, 1);
  frame.DISCHARGE_INTERVAL = 1.0;
  extra_points_file("points\nnone 0\n");
  start();
  discharge_step(1.0, 1.0);
  EXPECT_EQ(lines_of(text_of(discharge_path)),
            (Lines{"discharge at the outlet - regular timestep    1.00 hours",
                   "      Outlet =     1 Extra points:", "          1.00000000"}));
}

TEST_F(RunOutputFilesTest, UnusableExtraPointsFileIsFatal1068) {
  const std::pair<const char*, std::string> cases[] = {
      {"empty file", ""},
      {"no title record", "points\n"},
      {"a point missing", "points\nsome 2\n 3 1\n"},
      {"more points than the room",
       [] {
         std::string t = "points\nmany 101\n";
         for (int j = 1; j <= 101; ++j) t += " 2 1\n";
         return t;
       }()},
      {"element 0", "points\nsome 1\n 0 1\n"},
      {"element beyond the catchment", "points\nsome 1\n 4 1\n"},
      {"face 5", "points\nsome 1\n 3 5\n"},
      {"face 0", "points\nsome 1\n 3 0\n"},
      {"not a number", "points\nsome 1\n x 1\n"},
      {"count not a number", "points\nsome two\n 3 1\n 2 1\n"},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    SetUp();
    extra_points_file(text);
    EXPECT_THROW(start(), FatalError);
    const std::string print = print_text();
    EXPECT_NE(print.find(" !!!FATAL ERROR 1068 at time =        0.00 hours\n"
                         "        no or incorrect data in extra discharge points file\n"),
              std::string::npos)
        << print;
  }
}

// --- end state ----------------------------------------------------------------------------

TEST_F(RunOutputFilesTest, EndStateWithoutCellsGivesLevelsOfColumnElements) {
  open_all();
  start();
  WRITE_RUN_OUTPUTS("end  ", frame, surface, subsurface, output, model.io);
  // Banks off: the link (element 1) has no column of its own and is left out.
  EXPECT_EQ(text_of(end_state_path),
            " Output at end of simulation for use as initial conditions in vsi file\n"
            " This output is by element number\n"
            "\n"
            " phreatic surface level \n"
            "    12.000    11.000\n"
            "\n"
            " Heads at end of simulation\n"
            "      2\n"
            "\n"
            "      3\n"
            "\n");
}

TEST_F(RunOutputFilesTest, EndStateHeadsFromEachColumnsBottomCellTenToARecord) {
  open_all();
  frame.BANKS_ON = true;
  subsurface.LL = 12;
  subsurface.vspsi.resize(12, 3, 0.0);
  subsurface.CELL_THETA.resize(12, 3, 0.0);
  subsurface.CELL_THICKNESS.resize(12, 3, 0.0);
  for (int e = 1; e <= 3; ++e) {
    subsurface.LAYER_BOTTOM_CELL(e, 1) = 1;
    for (int k = 1; k <= 12; ++k) subsurface.vspsi(k, e) = -0.5 * k;
  }
  subsurface.LAYER_BOTTOM_CELL(LINK, 1) = 11;
  subsurface.PHREATIC_LEVEL(LINK) = 10.25;
  start();
  WRITE_RUN_OUTPUTS("end  ", frame, surface, subsurface, output, model.io);
  Lines lines = lines_of(text_of(end_state_path));
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[4], "    10.250    12.000    11.000");  // banks on: every element
  EXPECT_EQ(lines[7], "      1");
  EXPECT_EQ(lines[8], "    -5.500    -6.000");  // cells 11 and 12
  EXPECT_EQ(lines[9], "      2");
  EXPECT_EQ(lines[10],
            "    -0.500    -1.000    -1.500    -2.000    -2.500    -3.000    -3.500    -4.000"
            "    -4.500    -5.000");
  EXPECT_EQ(lines[11], "    -5.500    -6.000");
}

}  // namespace
}  // namespace quendal
