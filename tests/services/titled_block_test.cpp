#include "services/titled_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "section_fixture.h"

namespace quendal {
namespace {

struct TitledBlockTest : SectionFixture {
  void read(int mode, std::string_view key, int na, int nb, int nc, std::string* text,
            std::span<int> ints, std::span<double> reals) {
    READ_TITLED_BLOCK(io, state, mode, DATA_UNIT, PRINT_UNIT, key, na, nb, nc, text, ints, reals);
  }
  void read_ints(std::string_view key, int na, int nb, std::span<int> ints) {
    read(TITLED_INTEGERS, key, na, nb, 0, nullptr, ints, {});
  }
};

// ---- title lines ---------------------------------------------------------------------

TEST_F(TitledBlockTest, KeyAnywhereInTheTitleLineMatchesSilently) {
  data("  soils and layers :VS03 (counts)\n4 5\n");
  std::vector<int> v(2);
  read_ints(":VS03", 2, 1, v);
  EXPECT_EQ(v, (std::vector<int>{4, 5}));
  EXPECT_EQ(print_text(), "");
  EXPECT_EQ(io.errors.ERROR_TOTAL, 0);
}

// Only the contaminant section readers ask for the key on its own; the other data files
// keep being read as before.
TEST_F(TitledBlockTest, KeyFollowedByALetterStillMatches) {
  data(":SY41a sections\n4 5\n");
  std::vector<int> v(2);
  read_ints(":SY41", 2, 1, v);
  EXPECT_EQ(print_text(), "");
}

TEST_F(TitledBlockTest, TitleWithoutKeyWarnsAndTheSectionIsStillRead) {
  data(":VS04 wrong section\n7\n");
  int v = 0;
  read_ints(":VS03", 1, 1, std::span<int>(&v, 1));
  EXPECT_EQ(v, 7);
  // the line found is quoted at its full 80 characters
  const std::string found = padded(":VS04 wrong section", 80);
  EXPECT_EQ(print_lines(),
            (std::vector<std::string>{
                "", " !!!    WARNING 0002 at time =        0.00 hours",
                "        Title line mismatch: expected \":VS03\" but found \"" + found + "\""}));
  EXPECT_EQ(io.errors.ERROR_COUNTS(2, 0), 1);
}

TEST_F(TitledBlockTest, EndOfFileAtATitleNamesTheHeadingAndTheLastItemRead) {
  // First call of the run: nothing read yet.
  data("");
  auto lines = fatal_report([&] { read_ints(":VS03", 1, 1, {}); });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], fatal_heading(3));
  EXPECT_EQ(lines[1], "        Reading heading: :VS03; last item was: ( nothing read yet )");
}

TEST_F(TitledBlockTest, EndOfFileAfterASectionShowsThatSectionsTitle) {
  data(":VS03 counts\n1\n");
  int v = 0;
  read_ints(":VS03", 1, 1, std::span<int>(&v, 1));
  auto lines = fatal_report([&] { read_ints(":VS04", 1, 1, std::span<int>(&v, 1)); });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "        Reading heading: :VS04; last item was: :VS03 counts");
  // the record reader's account of the failure follows as a continuation line
  EXPECT_NE(lines[2].find("data.txt"), std::string::npos) << lines[2];
}

TEST_F(TitledBlockTest, EndOfFileAfterTheFileCheckShowsTheStatusLine) {
  data("");
  read(TITLED_CHECK_OPEN, "VSD", 0, 0, 0, nullptr, {}, {});
  auto lines = fatal_report([&] { read_ints(":VS01", 1, 1, {}); });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "        Reading heading: :VS01; last item was: VSD data file open: unit 11; " +
                          data_path);
}

// ---- data file status -------------------------------------------------------------------

TEST_F(TitledBlockTest, OpenAndCloseEchoTheFileOnThePrintFile) {
  data("");
  read(TITLED_CHECK_OPEN, "SYD", 0, 0, 0, nullptr, {}, {});
  read(TITLED_CLOSE, "SYD", 0, 0, 0, nullptr, {}, {});
  EXPECT_FALSE(io.units.is_open(DATA_UNIT));
  EXPECT_EQ(print_lines(),
            (std::vector<std::string>{" SYD data file open: unit 11; " + data_path, "",
                                      " SYD data file closed: unit 11; " + data_path, ""}));
  // the status line is written at its full 80 characters after the blank
  io.units.flush_all();
  std::string raw = testing::read_file(print_path);
  EXPECT_EQ(raw.substr(0, raw.find('\n')).size(), 81u);
}

TEST_F(TitledBlockTest, CheckOfAClosedUnitIsFatalError4) {
  auto lines = fatal_report([&] { read(TITLED_CHECK_OPEN, "SYD", 0, 0, 0, nullptr, {}, {}); });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], fatal_heading(4));
  EXPECT_EQ(lines[1], "        SYD data file not open: unit 11");
}

TEST_F(TitledBlockTest, ASectionOfAClosedUnitIsFatalError3NamingTheUnit) {
  int v = 0;
  auto lines = fatal_report([&] { read_ints(":VS03", 1, 1, std::span<int>(&v, 1)); });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(3));
  EXPECT_EQ(lines[1], "        Reading heading: :VS03; last item was: ( nothing read yet )");
  EXPECT_NE(lines[2].find("Unit 11 is not open"), std::string::npos) << lines[2];
}

// ---- the modes ------------------------------------------------------------------------------

TEST_F(TitledBlockTest, TextModeCutsOrPadsToTheTextsLength) {
  data(":SY01 title\nA run title that is long\n:SY02 version\nv4.2\n");
  std::string title(10, ' '), version(8, 'x');
  read(TITLED_TEXT, ":SY01", 0, 0, 0, &title, {}, {});
  read(TITLED_TEXT, ":SY02", 0, 0, 0, &version, {}, {});
  EXPECT_EQ(title, "A run titl");
  EXPECT_EQ(version, "v4.2    ");
}

TEST_F(TitledBlockTest, FreeFormatListsSpanRecordsAndEachSectionStartsOnANewRecord) {
  // Four integers over two records with commas; the values left on the last record
  // (99) are skipped: the next section's title is the next record.
  data(":VS10a\n1, 2\n 3 4 99\n:VS04\n1.5, 2e-3\n150 .25\n");
  std::vector<int> ints(4);
  std::vector<double> reals(4);
  read_ints(":VS10a", 2, 2, ints);
  read(TITLED_REALS, ":VS04", 4, 1, 0, nullptr, {}, reals);
  EXPECT_EQ(ints, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(reals, (std::vector<double>{1.5, 2e-3, 150.0, 0.25}));
  EXPECT_EQ(print_text(), "");
}

TEST_F(TitledBlockTest, IntegerGridInDigitLayoutBelowTenCategories) {
  // Rows from 2 down to 1; cell (x, y) at (x - 1) + 3 * (y - 1).
  data(":VS14\n      2 123\n      1 4 5\n");
  std::vector<int> g(6, -1);
  read(TITLED_INTEGER_GRID, ":VS14", 3, 2, 9, nullptr, g, {});
  EXPECT_EQ(g, (std::vector<int>{4, 0, 5, 1, 2, 3}));
}

TEST_F(TitledBlockTest, IntegerGridInFreeFormatFromTenCategories) {
  data(":VS08c\n2 10, 11\n 12\n1 7 8 9\n");
  std::vector<int> g(6, -1);
  read(TITLED_INTEGER_GRID, ":VS08c", 3, 2, 10, nullptr, g, {});
  EXPECT_EQ(g, (std::vector<int>{7, 8, 9, 10, 11, 12}));
}

TEST_F(TitledBlockTest, RealGridRowsInFreeFormat) {
  data(":SY41b\n2 1.5 2.5\n1 3 4e1\n");
  std::vector<double> g(4);
  read(TITLED_REAL_GRID, ":SY41b", 2, 2, 0, nullptr, {}, g);
  EXPECT_EQ(g, (std::vector<double>{3.0, 40.0, 1.5, 2.5}));
}

struct GridRowCase {
  int mode;
  int nc;
  const char* text;
  int number;
  const char* message;
};

TEST_F(TitledBlockTest, AGridRowOutOfOrderNamesTheExpectedRow) {
  const GridRowCase cases[] = {
      {TITLED_INTEGER_GRID, 9, ":G\n      2 12\n      2 34\n", 10,
       "Reading integer grid (IY=   1) under title: :G"},
      {TITLED_INTEGER_GRID, 12, ":G\n1 1 2\n", 10, "Reading integer grid (IY=   2) under title: :G"},
      {TITLED_REAL_GRID, 0, ":G\n2 1 2\n3 1 2\n", 11,
       "Reading floating-point grid (IY=   1) under title: :G"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    state = TitledBlockState();
    io.units.open(PRINT_UNIT, print_path, UnitDirection::Output);  // emptied
    data(c.text);
    std::vector<int> ints(4);
    std::vector<double> reals(4);
    auto lines = fatal_report([&] { read(c.mode, ":G", 2, 2, c.nc, nullptr, ints, reals); });
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], fatal_heading(c.number));
    EXPECT_EQ(lines[1], std::string(8, ' ') + c.message);
    EXPECT_NE(lines[2].find("Row number"), std::string::npos) << lines[2];
  }
}

TEST_F(TitledBlockTest, ItemsModeFillsEachItemsRowOfTheTables) {
  // Leading dimension 3: entry (i, k) at (i - 1) + 3 * (k - 1). Items in any order.
  data(":VS08a\n2 1\n 7\n 2.0\n1 2\n 3, 4\n 0.5 1.5\n");
  std::vector<int> ints(6, 0);
  std::vector<double> reals(6, 0.0);
  read(TITLED_ITEMS, ":VS08a", 3, 0, 2, nullptr, ints, reals);
  EXPECT_EQ(ints, (std::vector<int>{3, 7, 0, 4, 0, 0}));
  EXPECT_EQ(reals, (std::vector<double>{0.5, 2.0, 0.0, 1.5, 0.0, 0.0}));
}

TEST_F(TitledBlockTest, ItemsModeReadFailureNamesTheItemRead) {
  data(":VS08a\n2 2\n 1 x\n");
  std::vector<int> ints(6);
  std::vector<double> reals(6);
  auto lines =
      fatal_report([&] { read(TITLED_ITEMS, ":VS08a", 3, 0, 1, nullptr, ints, reals); });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(16));
  EXPECT_EQ(lines[1], "        Reading VSS data for item no.    2 under title: :VS08a");
  EXPECT_NE(lines[2].find("record 3"), std::string::npos) << lines[2];
}

TEST_F(TitledBlockTest, SoilsModeReadsIntegersThenRealsForEachSoil) {
  data(":VS05\n1 1 0\n 1 2 3 4 5 6 7 8\n2 2 5\n 9 10 11 12 13 14 15 16\n");
  std::vector<int> ints(6);
  std::vector<double> reals(16);
  read(TITLED_SOILS, ":VS05", 2, 0, 2, nullptr, ints, reals);
  EXPECT_EQ(ints, (std::vector<int>{1, 2, 1, 2, 0, 5}));
  for (int k = 1; k <= 8; ++k) {
    EXPECT_EQ(reals[static_cast<std::size_t>(2 * (k - 1))], k);
    EXPECT_EQ(reals[static_cast<std::size_t>(1 + 2 * (k - 1))], 8 + k);
  }
}

TEST_F(TitledBlockTest, SoilsModeRefusesASoilNumberOutOfOrder) {
  data(":VS05\n1 1 0\n 1 2 3 4 5 6 7 8\n3 2 5\n 9 10 11 12 13 14 15 16\n");
  std::vector<int> ints(6);
  std::vector<double> reals(16);
  auto lines =
      fatal_report([&] { read(TITLED_SOILS, ":VS05", 2, 0, 2, nullptr, ints, reals); });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(14));
  EXPECT_EQ(lines[1], "        Reading soils data for soil no.    2 under title: :VS05");
  EXPECT_NE(lines[2].find("Soil number 3"), std::string::npos) << lines[2];
}

TEST_F(TitledBlockTest, UnreadableValueNamesTheHeadingAndTheRecord) {
  data(":VS03\n1 2\n3 x\n");
  std::vector<int> v(4);
  auto lines = fatal_report([&] { read_ints(":VS03", 4, 1, v); });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(6));
  EXPECT_EQ(lines[1], "        Reading integer data under heading: :VS03");
  EXPECT_NE(lines[2].find("record 3"), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("\"x\""), std::string::npos) << lines[2];
}

TEST_F(TitledBlockTest, EndOfFileInsideDataIsTheModesError) {
  data(":VS04\n1.0 2.0\n");
  std::vector<double> v(3);
  auto lines = fatal_report([&] { read(TITLED_REALS, ":VS04", 3, 1, 0, nullptr, {}, v); });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], fatal_heading(7));
  EXPECT_EQ(lines[1], "        Reading floating-point data under heading: :VS04");
}

TEST_F(TitledBlockTest, MessagesAreReportedAt132Characters) {
  data(":VS03\nx\n");
  int v = 0;
  auto lines = fatal_report([&] { read_ints(":VS03", 1, 1, std::span<int>(&v, 1)); });
  io.units.flush_all();
  std::string raw = testing::read_file(print_path);
  std::size_t at = raw.find("        Reading integer data");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(raw.find('\n', at) - at, 8u + 132u);
}

// ---- room checks ------------------------------------------------------------------------

struct RoomCase {
  const char* name;
  int mode, na, nb, nc;
  std::size_t ints, reals;
  const char* text;
  int number;
  const char* message_start;
  // For a value read from the file: its place ("record R, columns a-b: ..."), which
  // the line after the message names.
  const char* place = nullptr;
};

TEST_F(TitledBlockTest, CountsOutsideTheRoomOfTheArraysAreRefused) {
  const RoomCase cases[] = {
      {"more integers than room", TITLED_INTEGERS, 3, 2, 0, 5, 0, ":K\n1 2 3 4 5 6\n", 6,
       "Count of integer values     3 x     2 outside room 0 to       5"},
      {"negative count", TITLED_REALS, -2, -3, 0, 0, 10, ":K\n1 2 3 4 5 6\n", 7,
       "Count of floating-point values    -2 x    -3 outside room 0 to      10"},
      {"integer grid too large", TITLED_INTEGER_GRID, 3, 3, 5, 8, 0, ":K\n", 10,
       "Grid of integer values     3 x     3 outside room 0 to       8"},
      {"real grid too large", TITLED_REAL_GRID, 2, 3, 0, 0, 5, ":K\n", 11,
       "Grid of floating-point values     2 x     3 outside room 0 to       5"},
      {"item number beyond the leading dimension", TITLED_ITEMS, 2, 0, 1, 10, 10,
       ":K\n3 1\n5\n1.0\n", 16, "VSS item no.     3 outside room 1 to     2",
       "record 2, columns 1-1: \"3\""},
      {"item number zero", TITLED_ITEMS, 2, 0, 1, 10, 10, ":K\n 0 1\n5\n1.0\n", 16,
       "VSS item no.     0 outside room 1 to     2", "record 2, columns 2-2: \"0\""},
      // item 2 with leading dimension 2 in 6 reals: entries 2, 4, 6 -> 3 points
      {"more points than room", TITLED_ITEMS, 2, 0, 1, 10, 6, ":K\n2 4\n1 2 3 4\n1 2 3 4\n", 16,
       "VSS item no.     2 point count     4 outside room 0 to     3",
       "record 2, columns 3-3: \"4\""},
      {"negative item count", TITLED_ITEMS, 2, 0, -1, 10, 10, ":K\n", 16,
       "VSS item count    -1 is negative"},
      {"more soils than the leading dimension", TITLED_SOILS, 2, 0, 3, 30, 30, ":K\n", 14,
       "Soil count     3 outside room 0 to     2"},
      {"soil table too short for eight reals", TITLED_SOILS, 3, 0, 3, 9, 23, ":K\n", 14,
       "Soil count     3 outside room 0 to     2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    io.units.open(PRINT_UNIT, print_path, UnitDirection::Output);  // emptied
    data(c.text);
    std::vector<int> ints(c.ints, -7);
    std::vector<double> reals(c.reals, -7.0);
    auto lines = fatal_report([&] { read(c.mode, ":K", c.na, c.nb, c.nc, nullptr, ints, reals); });
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], fatal_heading(c.number));
    EXPECT_EQ(lines[1].rfind(std::string(8, ' ') + c.message_start, 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find(":K"), std::string::npos) << lines[1];  // names the block
    if (c.place != nullptr) {
      ASSERT_GE(lines.size(), 3u);
      EXPECT_EQ(lines[2], "        the value was read from file " + data_path + ", " + c.place);
    }
    for (int v : ints) EXPECT_EQ(v, -7);  // nothing is stored past the room
    for (double v : reals) EXPECT_EQ(v, -7.0);
  }
}

// ---- READ_CATEGORY_GRID -------------------------------------------------------------------

struct CategoryGridTest : SectionFixture {
  FrameState& frame = model.frame;
  CategoryGridTarget target;
  int ncat = -99;
  void SetUp() override {
    SectionFixture::SetUp();
    build_one_link_mesh(frame);
    target.p = 0;
    target.min_ncat = 0;
    target.last = 7;
    target.nx = 2;
    target.ny = 2;
    target.banks_on = true;
  }
};

TEST_F(CategoryGridTest, OneCategoryFillsTheWholeRangeAndReadsNoGrid) {
  data(":SY51\n1\n:SY51c\n2.5\n");
  Array1<double> values(7, 0.0);
  READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY51", ncat, values);
  EXPECT_EQ(ncat, 1);
  for (int e = 1; e <= 7; ++e) EXPECT_EQ(values(e), 2.5) << e;
  EXPECT_EQ(trim_right(state.last_line), ":SY51c");
  EXPECT_EQ(print_text(), "");
}

TEST_F(CategoryGridTest, CategoriesGiveLinksGridSquaresAndBanksTheirRows) {
  // Two values per category: category j = (j, 10 j). Link 1 is category 2; the grid
  // row 2 holds squares 6 (3) and 7 (1), row 1 squares 4 (2) and 5 (3).
  data(":SY52\n3\n:SY52c\n1 10 2 20\n3 30\n:SY52d\n2\n:SY52e\n      2 31\n      1 23\n");
  Array2<double> values(7, 3, 0.0);
  READ_CATEGORY_GRID(io, state, frame, target, 2, DATA_UNIT, PRINT_UNIT, ":SY52", ncat, values);
  EXPECT_EQ(ncat, 3);
  const double expected[8][2] = {{0, 0}, {2, 20}, {3, 30}, {2, 20}, {2, 20}, {3, 30}, {3, 30}, {1, 10}};
  for (int e = 1; e <= 7; ++e) {
    EXPECT_EQ(values(e, 1), expected[e][0]) << e;
    EXPECT_EQ(values(e, 2), expected[e][1]) << e;
    EXPECT_EQ(values(e, 3), 0.0) << e;  // beyond q: untouched
  }
  EXPECT_EQ(print_text(), "");
}

TEST_F(CategoryGridTest, DirectValuesForLinksAndGridThenBanksFromTheirNeighbours) {
  data(":SY51\n0\n:SY51a\n0.7\n:SY51b\n2 1.0 2.0\n1 3.0 4.0\n");
  Array1<double> values(7, -1.0);
  READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY51", ncat, values);
  const double expected[8] = {0, 0.7, 1.0, 3.0, 3.0, 4.0, 1.0, 2.0};
  for (int e = 1; e <= 7; ++e) EXPECT_EQ(values(e), expected[e]) << e;
}

TEST_F(CategoryGridTest, NonLinkRangeReadsNoLinkSectionsAndLeavesLinksAlone) {
  // p = 1: values cover elements 2..7 only; direct values, so no ":SY41a" section.
  target.p = 1;
  data(":SY41\n0\n:SY41b\n2 1.0 2.0\n1 3.0 4.0\n");
  Array1<double> values;
  values.resize_range(2, 7, -1.0);
  READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY41", ncat, values);
  const double expected[8] = {0, 0, 1.0, 3.0, 3.0, 4.0, 1.0, 2.0};
  for (int e = 2; e <= 7; ++e) EXPECT_EQ(values(e), expected[e]) << e;
}

TEST_F(CategoryGridTest, ABankWithoutANeighbourTakesTheOtherBanksValue) {
  frame.ICMREF(2, 2, 2) = 0;  // the north bank looks at nothing
  data(":SY51\n0\n:SY51a\n0.7\n:SY51b\n2 1.0 2.0\n1 3.0 4.0\n");
  Array1<double> values(7, -1.0);
  READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY51", ncat, values);
  EXPECT_EQ(values(2), 3.0);
  EXPECT_EQ(values(3), 3.0);
}

TEST_F(CategoryGridTest, NorthSouthLinkBanksLookEastAndWest) {
  frame.LINK_NORTH_SOUTH(1) = 1;
  frame.ICMREF(2, 1, 2) = 7;  // east of the side-1 bank
  frame.ICMREF(3, 3, 2) = 5;  // west of the side-2 bank
  data(":SY51\n0\n:SY51a\n0.7\n:SY51b\n2 1.0 2.0\n1 3.0 4.0\n");
  Array1<double> values(7, -1.0);
  READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY51", ncat, values);
  EXPECT_EQ(values(2), 2.0);
  EXPECT_EQ(values(3), 4.0);
}

TEST_F(CategoryGridTest, ALinkWhoseBanksHaveNoNeighbourIsRefused) {
  frame.ICMREF(2, 2, 2) = 0;
  frame.ICMREF(3, 4, 2) = 0;
  data(":SY51\n0\n:SY51a\n0.7\n:SY51b\n2 1.0 2.0\n1 3.0 4.0\n");
  Array1<double> values(7, -1.0);
  auto lines = fatal_report([&] {
    READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY51", ncat, values);
  });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], fatal_heading(9, 1));
  EXPECT_EQ(lines[1],
            "        Bank elements     2 and     3 of link     1 have no neighbour to copy :SY51 from");
  EXPECT_EQ(values(2), -1.0);
}

TEST_F(CategoryGridTest, CategoryOutsideTheRangeNamesTheElement) {
  // Square 5 = cell (2, 1) holds 4 with three categories.
  data(":SY41\n3\n:SY41c\n1 2 3\n:SY41d\n1\n:SY41e\n      2 12\n      1 34\n");
  Array1<double> values(7, 0.0);
  auto lines = fatal_report([&] {
    READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY41", ncat, values);
  });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(9, 5));
  EXPECT_EQ(lines[1],
            "        Invalid category value   4 while reading :SY41e : should be in range [1,   3]");
  EXPECT_EQ(lines[2], "        the value was read from file " + data_path +
                          ", record 9, columns 10-10: \"4\"");
}

TEST_F(CategoryGridTest, LinkCategoryOutsideTheRangeNamesTheLink) {
  data(":SY41\n3\n:SY41c\n1 2 3\n:SY41d\n0\n");
  Array1<double> values(7, 0.0);
  auto lines = fatal_report([&] {
    READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY41", ncat, values);
  });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(9, 1));
  EXPECT_EQ(lines[1],
            "        Invalid category value   0 while reading :SY41d : should be in range [1,   3]");
  EXPECT_EQ(lines[2], "        the value was read from file " + data_path +
                          ", record 6, columns 1-1: \"0\"");
}

TEST_F(CategoryGridTest, OptionBelowTheMinimumIsFatalError1) {
  data(":SY52\n-2\n");
  Array1<double> values(7, 0.0);
  target.min_ncat = -1;
  auto lines = fatal_report([&] {
    READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY52", ncat, values);
  });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(1));
  EXPECT_EQ(lines[1], "        Invalid option NCAT =  -2 at title line :SY52");
  EXPECT_EQ(lines[2], "        the value was read from file " + data_path +
                          ", record 2, columns 1-2: \"-2\"");
}

TEST_F(CategoryGridTest, AllowedNegativeOptionReadsNothingMore) {
  data(":SY52\n-1\n");
  Array1<double> values(7, 0.25);
  target.min_ncat = -1;
  READ_CATEGORY_GRID(io, state, frame, target, DATA_UNIT, PRINT_UNIT, ":SY52", ncat, values);
  EXPECT_EQ(ncat, -1);
  for (int e = 1; e <= 7; ++e) EXPECT_EQ(values(e), 0.25);
}

TEST_F(CategoryGridTest, CategoryTableBeyondTheWorkspaceIsFatalError8) {
  // 2 values x 20001 categories = 40002 > NELEE.
  data(":SY52\n20001\n");
  Array2<double> values(7, 2, 0.0);
  auto lines = fatal_report([&] {
    READ_CATEGORY_GRID(io, state, frame, target, 2, DATA_UNIT, PRINT_UNIT, ":SY52", ncat, values);
  });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], fatal_heading(8));
  EXPECT_EQ(lines[1],
            "        Insufficient workspace for**** categories in :SY52 : increase NELEE to at "
            "least 40002");
}

}  // namespace
}  // namespace quendal
