#include "frame/frame_data.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "model_fixture.h"
#include "services/calendar.h"
#include "services/stops.h"

namespace quendal {
namespace {

using testing::read_file;
using testing::source_dir;

std::string fixture_text() {
  return read_file(source_dir() + "/tests/frame/fixtures/small_frame.txt");
}

// The fixture with one piece of text replaced (the piece must occur exactly once).
std::string with(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

struct FrameDataTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;

  void run(const std::string& frame_text) {
    ASSERT_NO_FATAL_FAILURE(open_input(FRAME_DATA_UNIT, "frame.txt", frame_text));
    INFR(frame, model.io);
  }
  bool printed(const std::string& piece) { return print_text().find(piece) != std::string::npos; }
};

TEST_F(FrameDataTest, ReadsTheSmallFrame) {
  run(fixture_text());
  EXPECT_EQ(frame.NX, 4);
  EXPECT_EQ(frame.NY, 3);
  ASSERT_EQ(frame.GRID_SPACING_X.size(), 3);
  EXPECT_DOUBLE_EQ(frame.GRID_SPACING_X(2), 200.0);
  ASSERT_EQ(frame.GRID_SPACING_Y.size(), 2);
  EXPECT_DOUBLE_EQ(frame.GRID_SPACING_Y(1), 100.0);  // "100" without a point is 100 m

  // 1 January 2000 is day 18263 (18262 days after 1 January 1950).
  EXPECT_NEAR(frame.RUN_START_TIME, 24.0 * 18263, 1e-5);
  EXPECT_NEAR(frame.RUN_END_TIME - frame.RUN_START_TIME, 60.0, 1e-9);
  EXPECT_NEAR(frame.SEDIMENT_START_TIME - frame.RUN_START_TIME, 24.0, 1e-9);
  EXPECT_EQ(frame.CONTAMINANT_START_TIME, 0.0);  // contaminants off: not converted
  EXPECT_EQ(frame.CALENDAR_YEAR, 2000);
  EXPECT_EQ(frame.CALENDAR_MONTH, 1);
  EXPECT_EQ(frame.CALENDAR_DAY, 1);

  EXPECT_DOUBLE_EQ(frame.DTAO, 24.0);
  EXPECT_TRUE(frame.PRINT_ON);
  EXPECT_FALSE(frame.RESULTS_STORE_ON);
  EXPECT_DOUBLE_EQ(frame.MAX_RAIN_DEPTH_PER_STEP, 5.0);
  EXPECT_DOUBLE_EQ(frame.TIMESTEP_GROWTH, 1.5);
  EXPECT_DOUBLE_EQ(frame.OC_MAX_CHANNEL_FLOW, 100.0);
  EXPECT_DOUBLE_EQ(frame.BASIC_TIMESTEP, 2.0);  // 2.5 cut to the largest step
  EXPECT_TRUE(frame.SOFT_START);
  EXPECT_FALSE(frame.SNOW_ON);
  EXPECT_FALSE(frame.BANKS_ON);
  EXPECT_TRUE(frame.SEDIMENT_ON);
  EXPECT_FALSE(frame.CONTAMINANT_ON);
  EXPECT_TRUE(frame.ET_ON);
  EXPECT_TRUE(frame.OC_ON);
  EXPECT_FALSE(frame.HOTSTART_READ);
  EXPECT_TRUE(frame.HOTSTART_WRITE);
  EXPECT_DOUBLE_EQ(frame.HOTSTART_TIME, 12.0);     // two implied decimals: 1200 is 12.00
  EXPECT_DOUBLE_EQ(frame.HOTSTART_INTERVAL, 6.0);  // 600 is 6.00
  EXPECT_EQ(frame.MET_SITE_COUNT, 2);
  EXPECT_EQ(frame.RAIN_STATION_COUNT, 1);
  EXPECT_EQ(frame.NV, 3);
  EXPECT_EQ(frame.NS, 4);

  // Mask rows 0110 / 1211 / 0110: the digit 2 marks a cell outside, like 0.
  EXPECT_EQ(frame.CATCHMENT_MASK(1, 2), 1);
  EXPECT_EQ(frame.CATCHMENT_MASK(2, 2), 0);
  EXPECT_EQ(frame.CATCHMENT_MASK(1, 1), 0);
  EXPECT_EQ(frame.CATCHMENT_MASK(3, 3), 1);
  // Face codes: "I" 1, "." 2, "R" 6; lower-case "r" is not a code.
  EXPECT_EQ(frame.LCODEX.extent(1), 5);
  EXPECT_EQ(frame.LCODEY.extent(2), 4);
  EXPECT_EQ(frame.LCODEX(1, 2), 1);
  EXPECT_EQ(frame.LCODEX(2, 2), 2);
  EXPECT_EQ(frame.LCODEY(2, 2), 6);
  EXPECT_EQ(frame.LCODEY(4, 2), 0);

  // One link, then the squares from row 1: 2 (2,1), 3 (3,1), 4 (1,2), 5 (3,2), 6 (4,2),
  // 7 (2,3), 8 (3,3).
  ASSERT_EQ(frame.NLF, 1);
  ASSERT_EQ(frame.NEL, 8);
  const double z[] = {0.0, 1.05, 250.0, 100.0, 202.0, 203.0, 101.5, 102.5};
  const int met[] = {0, 2, 1, 1, 2, 2, 1, 2};
  const int veg[] = {0, 1, 2, 1, 3, 1, 3, 3};
  for (int e = 1; e <= 8; ++e) {
    EXPECT_DOUBLE_EQ(frame.ZGRUND(e), z[e - 1]) << e;
    EXPECT_EQ(frame.MET_SITE_OF_ELEMENT(e), met[e - 1]) << e;
    EXPECT_EQ(frame.RAIN_STATION_OF_ELEMENT(e), e == 1 ? 0 : 1) << e;  // the default, not links
    EXPECT_EQ(frame.NVC(e), veg[e - 1]) << e;
    EXPECT_EQ(frame.ISORT(e), e);
  }
  EXPECT_DOUBLE_EQ(frame.DISCHARGE_INTERVAL, 6.0);
}

// Every block of the echo, each piece exact to the blank (titles are 80 columns, "0"
// and "1" are plain characters in column 1, real values in 11-column general editing
// with their exponent columns blank; a blank skipped after the last item of a record,
// as after the version number, is not part of the record).
TEST_F(FrameDataTest, EchoesTheFrameToThePrintFile) {
  run(fixture_text());
  const auto pad80 = [](std::string s) {
    s.resize(80, ' ');
    return s;
  };
  const std::string stars80(80, '*');
  const std::string pieces[] = {
      // Blocks 2 to 5: version, banner, title, rule; then the time-step message.
      "\n\n\nQUENDAL VERSION NUMBER:   4.4\n\n" +
          pad80("QUENDAL Version 4.4.6 for PC - incorporating VANTOLIX Version 2") + "\n\n\n" +
          pad80("SMALL TEST FRAME: 4 x 3 grid, one east-west link") + "\n\n" +
          std::string(100, '=') + "\n\n ^^^ ENTER INFR ^^^\n ^^^ TIMESTEP LIMITED TO 2 HOURS ^^^\n",
      // Blocks 6 to 9: the grid, spacings of 100 and 200 m in G11.4 after one blank.
      "\n0\n\n GRID SPECIFICATION\n" + stars80 + "\n\n NX =    4                     NY =    3\n"
      "0H-H GRID SIZES (METERS) IN X-DIRECTION\n   100.0      200.0      100.0    \n"
      "0H-H GRID SIZES (METERS) IN Y-DIRECTION\n   100.0      100.0    \n " + stars80 + "\n",
      // Blocks 10, 11 (sediment on) and 13.
      " " + stars80 + "\n0\n\n START OF SIMULATION  :   2000     1     1     0     0\n"
      " END OF SIMULATION    :   2000     1     3    12     0\n"
      " LENGTH OF SIMULATION :      60.00 HOURS.\n\n\n"
      " START OF SEDIMENT SIMULATION  :   2000     1     2     0     0\n"
      "           AT SIMULATION HOUR  :    24.00\n0\n\n BASIC TIMESTEP (HOURS) :   2.000\n",
      // Blocks 14 to 17.
      "\n0\n\n PRINTING CONTROL - ALL RESULTS PRINTED AT INTERVALS OF DTAO =   24.00 HOURS.\n"
      "0\n\n RESULTS NOT REQUIRED ON FILE STORE.\n"
      "0\n\n HOT START READ (HSREAD) = F    WRITE (HSWRIT) = T\n"
      " HOTSTART_TIME (HSTIME)     =     12.0000 HOURS.\n"
      " HOTSTART_INTERVAL (HSINTV) =      6.0000 HOURS.\n"
      "0\n\n NO. OF METEOROLOGICAL SITES =   2\n NO. OF RAINFALL STATIONS =   1\n"
      " NO. OF VEGETATION TYPES =   3\n NO. OF SOIL TYPES =   4\n"
      " NO. OF SOIL HORIZON CATEGORIES =   2\n"
      "0\n DEFAULT METEOROLOGICAL STATION CODE =  0\n DEFAULT RAINFALL STATION CODE       =  1\n"
      " DEFAULT VEGETATION GRID CODE        =  0\n DEFAULT SOIL HORIZON CATEGORY CODE  =  1\n",
      // The mask (an empty line and its title first) and the two face-code grids, each
      // row written back as read; then the element tables.
      " DEFAULT SOIL HORIZON CATEGORY CODE  =  1\n\n" + pad80("CATCHMENT MASK") +
          "\n      3 0110\n      2 1211\n      1 0110\n" + pad80("LCODEX: WEST FACES") +
          "\n      3 I.I.I\n      2 I...I\n      1 I.I.I\n" + pad80("LCODEY: SOUTH FACES") +
          "\n      4 .II.\n      3 I..I\n      2 .R.r\n      1 .II.\n"
          " \nINDEX ARRAY: NO. OF ELEMENTS =      8\n",
      // The code grids, then block 18, the last lines of the echo.
      "\n" + pad80("MET SITE CODES") + "\n K=   3 0120\n K=   2 1122\n K=   1 0210\n",
      "\n\n  " + stars80 + "\n\n\n0\n\n EXIT INFR\n",
  };
  const std::string text = print_text();
  for (const std::string& piece : pieces) EXPECT_NE(text.find(piece), std::string::npos) << piece;
  // Block 1: "1", an empty line, three lines from column 10 naming the model, an empty
  // line; block 2 then begins with its own empty line.
  ASSERT_EQ(text.rfind("1\n\n", 0), 0u) << text.substr(0, 200);
  std::size_t at = 3;
  for (int line = 1; line <= 3; ++line) {
    const std::size_t end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(text.substr(at, 9), std::string(9, ' ')) << line;
    EXPECT_NE(text[at + 9], ' ') << line;
    at = end + 1;
  }
  const std::string version = "\n\nQUENDAL VERSION NUMBER:   4.4\n";
  EXPECT_EQ(text.substr(at, version.size()), version);
  EXPECT_EQ(text.find("CONTAMINANT SIMULATION"), std::string::npos);
  EXPECT_EQ(text.rfind(" EXIT INFR\n"), text.size() - 11);  // the last line of the echo
}

// Eleven spacings: ten values on the first echo line, the eleventh on the next.
TEST_F(FrameDataTest, SpacingsAreEchoedTenToALine) {
  run(read_file(source_dir() + "/examples/example/example_frame.txt"));
  std::string first = " ";
  for (int k = 0; k < 10; ++k) first += "  100.0    ";
  EXPECT_TRUE(printed("0H-H GRID SIZES (METERS) IN X-DIRECTION\n" + first + "\n   100.0    \n"
                      "0H-H GRID SIZES (METERS) IN Y-DIRECTION\n"));
}

TEST_F(FrameDataTest, PrintOffEchoesNoGrids) {
  run(with(fixture_text(), "      T      F      F      F    0.0",
           "      F      F      F      T    0.0"));
  EXPECT_FALSE(frame.PRINT_ON);
  EXPECT_TRUE(frame.RESULTS_STORE_ON);
  EXPECT_TRUE(printed(" RESULTS RECORDED ON FILE STORE.\n"));
  EXPECT_FALSE(printed("      3 0110"));
  EXPECT_FALSE(printed("INDEX ARRAY"));
  EXPECT_FALSE(printed("GROUND ELEVATION"));
  EXPECT_TRUE(printed(" EXIT INFR"));
}

// The restart time and interval have two implied decimals: "24" written without a point
// is 0.24 h, and the echo shows the hours taken; a point gives the value as written.
TEST_F(FrameDataTest, HotStartTimesAreEchoedInHoursAsTaken) {
  run(with(fixture_text(), "      F      T   1200    600", "      T      F    0.5     24"));
  EXPECT_DOUBLE_EQ(frame.HOTSTART_INTERVAL, 0.24);
  EXPECT_TRUE(printed(" HOT START READ (HSREAD) = T    WRITE (HSWRIT) = F\n"
                      " HOTSTART_TIME (HSTIME)     =      0.5000 HOURS.\n"
                      " HOTSTART_INTERVAL (HSINTV) =      0.2400 HOURS.\n"));
}

TEST_F(FrameDataTest, BasicTimestepOfTwoHoursStandsWithoutMessage) {
  run(with(fixture_text(), "  100.0    2.5", "  100.0    2.0"));
  EXPECT_DOUBLE_EQ(frame.BASIC_TIMESTEP, 2.0);
  EXPECT_FALSE(printed("TIMESTEP LIMITED"));
}

TEST_F(FrameDataTest, PrintModeTwoReadsTheExtraRecord) {
  std::string text = with(fixture_text(), "   24.0      1      T", "   24.0      2      T");
  text = with(text, "SNOW   BANKS", "TEN FLAGS NOT USED\n      T      T\nSNOW   BANKS");
  run(text);
  EXPECT_FALSE(frame.SNOW_ON);  // read from record 12, not from the extra record
  EXPECT_TRUE(frame.SEDIMENT_ON);
  EXPECT_EQ(frame.NEL, 8);
}

TEST_F(FrameDataTest, DefaultCodesFillAndSkipTheirGrids) {
  std::string text = with(fixture_text(), "      0      1      0      1      0      0",
                          "      2      1      3      1      0      0");
  text = with(text,
              "MET SITE CODES\n      3 0120\n      2 1122\n      1 0210\n"
              "VEGETATION CODES\n      3 0330\n      2 1231\n      1 0120\n",
              "");
  run(text);
  for (int e = 2; e <= frame.NEL; ++e) {
    EXPECT_EQ(frame.MET_SITE_OF_ELEMENT(e), 2);
    EXPECT_EQ(frame.NVC(e), 3);
  }
  EXPECT_EQ(frame.NVC(1), 0);  // links get theirs later
  EXPECT_DOUBLE_EQ(frame.DISCHARGE_INTERVAL, 6.0);
}

TEST_F(FrameDataTest, MissingDischargeIntervalIsTwentyFourHours) {
  for (const char* ending : {"", "REGULAR DISCHARGE INTERVAL (HOURS)\n",
                             "REGULAR DISCHARGE INTERVAL (HOURS)\n six\n"}) {
    SCOPED_TRACE(ending);
    frame = FrameState();
    run(with(fixture_text(), "REGULAR DISCHARGE INTERVAL (HOURS)\n 6.0\n", ending));
    EXPECT_DOUBLE_EQ(frame.DISCHARGE_INTERVAL, 24.0);
  }
}

TEST_F(FrameDataTest, ContaminantStartIsConvertedWhenOn) {
  run(with(fixture_text(), "      F      F      T      F      F      F      F",
           "      F      F      F      T      F      F      F"));
  EXPECT_NEAR(frame.CONTAMINANT_START_TIME - frame.RUN_START_TIME, 30.5, 1e-9);
  EXPECT_TRUE(printed("\n\n\n START OF CONTAMINANT SIMULATION  :   2000     1     2     6    30\n"
                      "              AT SIMULATION HOUR  :    30.50\n"));
  EXPECT_FALSE(printed("SEDIMENT SIMULATION"));
}

TEST_F(FrameDataTest, MaskRowOutOfOrderStopsWithErrorInData) {
  EXPECT_THROW(run(with(fixture_text(), "      2 1211\n", "      1 1211\n")), ImmediateStop);
  EXPECT_TRUE(printed("\n\n  ERROR IN DATA CATCHMENT MASK" + std::string(66, ' ') +
                      "\n\n  IN THE VICINITY OF LINE K=    1\n"));
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(FrameDataTest, FaceCodeRowOutOfOrderStopsAndSaysWhyWhateverPrintOnSays) {
  std::string text = with(fixture_text(), "      T      F      F      F    0.0",
                          "      F      F      F      F    0.0");
  text = with(text, "      2 .R.r\n", "      5 .R.r\n");
  EXPECT_THROW(run(text), ImmediateStop);
  EXPECT_TRUE(printed("  ^^^   INCORRECT COORDINATE\n"));
  EXPECT_NE(console_text().find("INCORRECT COORDINATE"), std::string::npos);
  EXPECT_NE(console_text().find("row 5 found where row 2 was expected"), std::string::npos);
}

// A date that does not exist is refused where it was read, before the calendar could
// turn it into another date or stop the run without saying where; the message names
// the date, the record and its columns as written.
TEST_F(FrameDataTest, DatesThatDoNotExistAreInputErrorsNamingTheRecordAndValue) {
  const std::string sediment_only =
      "      F      F      T      F      F      F      F      F      F      F";
  const std::string sediment_and_contaminants =
      "      F      F      T      T      F      F      F      F      F      F";
  struct Case {
    const char* from;
    const char* to;
    bool contaminants_on;
    long record;
    const char* problem;
  } cases[] = {
      {"2000 1 3 12 0", "2001 2 29 0 0", false, 7,
       "end date that does not exist: day 29 of February 2001, a month of 28 days"},
      {"2000 1 3 12 0", "2100 2 29 0 0", false, 7, "day 29 of February 2100, a month of 28"},
      {"2000 1 3 12 0", "2000 4 31 0 0", false, 7, "day 31 of April 2000, a month of 30 days"},
      {"2000 1 3 12 0", "2000 13 3 12 0", false, 7,
       "end date that does not exist: month 13 outside 1 to 12"},
      {"2000 1 3 12 0", "2000 0 3 12 0", false, 7, "month 0 outside 1 to 12"},
      {"2000 1 3 12 0", "2000 1 0 12 0", false, 7, "day 0 of January 2000, a month of 31 days"},
      {"2000 1 3 12 0", "2000 1 3 24 0", false, 7, "hour 24 outside 0 to 23"},
      {"2000 1 1 0 0", "2000 1 1 25 0", false, 5,
       "start date that does not exist: hour 25 outside 0 to 23"},
      {"2000 1 1 0 0", "2000 1 1 0 60", false, 5, "minute 60 outside 0 to 59"},
      {"2000 1 1 0 0", "2000 1 1 -1 0", false, 5, "hour -1 outside 0 to 23"},
      {"2000 1 3 12 0", "10000 1 1 0 0", false, 7, "end date after 9999"},
      {"2000 1 2 0 0", "2000 6 31 0 0", false, 9,
       "sediment start date that does not exist: day 31 of June"},
      {"2000 1 2 6 30", "2000 2 30 6 30", true, 11,
       "contaminant start date that does not exist: day 30 of February 2000, a month of 29 "
       "days"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    frame = FrameState();
    std::string text = with(fixture_text(), c.from, c.to);
    if (c.contaminants_on) text = with(text, sediment_only, sediment_and_contaminants);
    try {
      run(text);
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(e.record, c.record);
      EXPECT_NE(e.file.find("frame.txt"), std::string::npos);
      EXPECT_EQ(e.text, c.to);  // the date as written, with its columns
      EXPECT_EQ(e.first_column, 1);
      EXPECT_EQ(e.last_column, static_cast<int>(std::string(c.to).size()));
      EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
    }
  }
  // Nothing reached the calendar: no date trap, no numbered report.
  EXPECT_EQ(console_text(), "");
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

// Dates that exist pass, leap days included; the date of a component that is off is
// never used, and whatever it holds is left alone.
TEST_F(FrameDataTest, DatesThatExistAndUnusedDatesAreTaken) {
  // 29 February 2000 (a leap century) 23:59: 59 days, 23 h and 59 min after the start.
  run(with(fixture_text(), "2000 1 3 12 0", "2000 2 29 23 59"));
  EXPECT_NEAR(frame.RUN_END_TIME - frame.RUN_START_TIME, 24.0 * 59 + 23 + 59.0 / 60, 1e-6);
  frame = FrameState();
  run(with(fixture_text(), "2000 1 2 6 30", "0 0 0 0 0"));  // contaminants off
  EXPECT_FALSE(frame.CONTAMINANT_ON);
}

// A face-code row holds one character a face from column 9: anything after the last
// face is a code that would be dropped (a row shifted to the right, or a face too
// many). A link code must stand on a face where a link is made and that borders the
// catchment: elsewhere the link would be dropped, or cut off from every grid square.
TEST_F(FrameDataTest, MisplacedFaceCodesAreInputErrorsNamingTheFace) {
  // Mask rows 0110 / 1211 / 0110: cells (1,1), (4,1), (2,2), (1,3) and (4,3) are outside.
  struct Case {
    std::vector<std::pair<const char*, const char*>> edits;
    long record;
    int column;
    const char* text;
    const char* problem;
  } cases[] = {
      {{{"      3 I.I.I\n", "      3 I.I.I.\n"}}, 35, 14, ".",
       "Character after the last face of a face-code row: the grid has 5 faces a row, in "
       "columns 9 to 13"},
      {{{"      4 .II.\n", "      4  .II.\n"}}, 39, 13, ".",
       "the grid has 4 faces a row, in columns 9 to 12"},
      {{{"      1 I.I.I\n", "      1 R.I.I\n"}}, 37, 9, "R",
       "Link code R on LCODEX face (column 1, row 1) on the west edge of the grid beside cell "
       "(1, 1), not a grid square of the catchment"},
      {{{"      2 I...I\n", "      2 I...W\n"}}, 36, 13, "W",
       "Link code W on LCODEX face (column 5, row 2), the east edge of the grid, where no "
       "channel link is made: the links of LCODEX lie in columns 1 to 4"},
      {{{"      4 .II.\n", "      4 .IIP\n"}}, 39, 12, "P",
       "Link code P on LCODEY face (column 4, row 4), the north edge of the grid"},
      {{{"      1 .II.\n", "      1 HII.\n"}}, 42, 9, "H",
       "Link code H on LCODEY face (column 1, row 1) on the south edge of the grid beside "
       "cell (1, 1)"},
      {{{"      2 1211\n", "      2 0211\n"}, {"      2 I...I\n", "      2 IA..I\n"}}, 36, 10, "A",
       "Link code A on LCODEX face (column 2, row 2) between cells (1, 2) and (2, 2), neither "
       "of them a grid square of the catchment; every channel link borders at least one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    frame = FrameState();
    std::string text = fixture_text();
    for (const auto& [from, to] : c.edits) text = with(text, from, to);
    try {
      run(text);
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(e.record, c.record);
      EXPECT_NE(e.file.find("frame.txt"), std::string::npos);
      EXPECT_EQ(e.first_column, c.column);
      EXPECT_EQ(e.text, c.text);
      EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
    }
  }
}

// What stays allowed: trailing blanks, short rows (blanks), codes that make no link on
// any face, a link with a grid square on one side only, and a shift that keeps every
// link between grid squares (nothing in the file tells it from what was meant).
TEST_F(FrameDataTest, FaceCodesThatMakeNoStrayLinkAreTaken) {
  std::string text = with(fixture_text(), "      3 I.I.I\n", "      3 I.I.I   \n");
  text = with(text, "      1 I.I.I\n", "      1\n");      // short: all blank
  text = with(text, "      4 .II.\n", "      4 IIII\n");  // I on the north edge
  text = with(text, "      2 .R.r\n", "      2 R..r\n");  // (1,1) out, (1,2) in
  run(text);
  EXPECT_EQ(frame.LCODEX(1, 1), 0);
  EXPECT_EQ(frame.LCODEY(4, 4), 1);
  ASSERT_EQ(frame.NLF, 1);
  EXPECT_EQ(frame.ICMREF(1, 2, 1), 1);  // the link's column
  frame = FrameState();
  run(with(fixture_text(), "      2 .R.r\n", "      2 ..R.\n"));  // one face east: (3,1), (3,2)
  ASSERT_EQ(frame.NLF, 1);
  EXPECT_EQ(frame.ICMREF(1, 2, 1), 3);
}

// Values that would be used as sizes or indices are refused where they are read, with
// the file and the record named.
TEST_F(FrameDataTest, UnusableValuesAreInputErrorsNamingTheRecord) {
  struct Case {
    const char* from;
    const char* to;
    long record;
    const char* words;
  } cases[] = {
      {"NX, NY\n4 3\n", "NX, NY\n400 3\n", 3, "grid size"},
      {"NX, NY\n4 3\n", "NX, NY\n4 1\n", 3, "grid size"},
      {"2000 1 1 0 0", "1949 12 1 0 0", 5, "before 1950"},
      {"2000 1 3 12 0", "1999 12 31 0 0", 7, "not after its start"},
      {"    5.0    1.5  100.0    2.5", "    5.0    1.5  100.0    0.0", 19, "positive"},
      {"    5.0    1.5  100.0    2.5", "   -1.0    1.5  100.0    2.5", 19, "positive"},
      {"      2      1      3      4      2", "      2     -1      3      4      2", 25,
       "outside their range"},
      {"      2      1      3      4      2", "      2      1      3      4  99999", 25,
       "soil horizon categories (0 to 1000) outside their range"},
      {"      0      1      0      1      0      0", "      0      2      0      1      0      0",
       29, "default rain station code above its count 1"},
      {"      3 0110\n      2 1211\n      1 0110\n", "      3 0000\n      2 2000\n      1 0000\n",
       30, "without a grid square"},
      {"      2 1122\n", "      2 1132\n", 47, "met site code of the grid square at column 3, row 2"},
      {"      1 0120\n", "      1 0100\n", 51, "vegetation code of the grid square at column 3, row 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    frame = FrameState();
    try {
      run(with(fixture_text(), c.from, c.to));
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(e.record, c.record);
      EXPECT_NE(e.file.find("frame.txt"), std::string::npos);
      EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace quendal
