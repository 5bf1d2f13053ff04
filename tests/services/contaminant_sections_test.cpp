#include "services/contaminant_sections.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "section_fixture.h"

namespace quendal {
namespace {

struct ContaminantSectionsTest : SectionFixture {};

TEST_F(ContaminantSectionsTest, StatusOpenThenCloseWritesBothLinesAndClosesTheUnit) {
  data("");
  REPORT_DATA_FILE_STATUS(io, state, 0, DATA_UNIT, PRINT_UNIT, "CMD");
  REPORT_DATA_FILE_STATUS(io, state, 1, DATA_UNIT, PRINT_UNIT, "CMD");
  EXPECT_FALSE(io.units.is_open(DATA_UNIT));
  EXPECT_EQ(print_lines(),
            (std::vector<std::string>{" CMD data file open: unit 11; " + data_path, "",
                                      " CMD data file closed: unit 11; " + data_path, ""}));
  EXPECT_EQ(trim_right(state.last_line), "CMD data file closed: unit 11; " + data_path);
}

TEST_F(ContaminantSectionsTest, StatusCheckOfAUnitNotOpenIsFatalError4) {
  auto lines =
      fatal_report([&] { REPORT_DATA_FILE_STATUS(io, state, 0, 18, PRINT_UNIT, "CMD"); });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], fatal_heading(4));
  EXPECT_EQ(lines[1], "        CMD data file not open: unit 18");
}

TEST_F(ContaminantSectionsTest, HeadingErrorShowsTheFamilysLastLine) {
  // First section of the run.
  data("");
  auto first = fatal_report(
      [&] { READ_INTEGER_BLOCK(io, state, 0, DATA_UNIT, PRINT_UNIT, ":CM3", 1, 1, {}); });
  ASSERT_GE(first.size(), 2u);
  EXPECT_EQ(first[0], fatal_heading(3));
  EXPECT_EQ(first[1], "        Reading heading: :CM3; last item was: ( nothing read yet )");
}

TEST_F(ContaminantSectionsTest, HeadingErrorAfterASectionShowsItsTitle) {
  data(":CM1 title\nThe title\n");
  std::vector<std::string> title(1, std::string(80, ' '));
  READ_CHARACTER_BLOCK(io, state, DATA_UNIT, PRINT_UNIT, ":CM1", 1, 1, title);
  EXPECT_EQ(trim_right(title[0]), "The title");
  auto lines = fatal_report(
      [&] { READ_INTEGER_BLOCK(io, state, 0, DATA_UNIT, PRINT_UNIT, ":CM3", 1, 1, {}); });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "        Reading heading: :CM3; last item was: :CM1 title");
}

TEST_F(ContaminantSectionsTest, TitleMismatchWarnsAndReadsOn) {
  data(":CM4\n3\n");
  int n = 0;
  READ_INTEGER_BLOCK(io, state, 0, DATA_UNIT, PRINT_UNIT, ":CM3", 1, 1, std::span<int>(&n, 1));
  EXPECT_EQ(n, 3);
  auto lines = print_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], " !!!    WARNING 0002 at time =        0.00 hours");
  EXPECT_EQ(lines[2], "        Title line mismatch: expected \":CM3\" but found \"" + padded(":CM4", 80) +
                          "\"");
}

// The file holds keys that begin other keys (":CM26" and ":CM26a", ":CM3" and
// ":CM31"): a key matches only where it does not run on into a letter or digit.
TEST_F(ContaminantSectionsTest, KeyMustNotRunOnIntoALetterOrDigit) {
  struct Case {
    const char* title;
    bool warned;
  };
  const Case cases[] = {
      {":CM26", false},
      {":CM26 uniform value", false},
      {"initial value (:CM26)", false},
      {":CM26a then :CM26", false},  // a later occurrence may match
      {":CM26a", true},
      {":CM261", true},
      {"CM26", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    io.units.close_all();
    ASSERT_TRUE(io.units.open(PRINT_UNIT, print_path, UnitDirection::Output));
    data(std::string(c.title) + "\n0.5\n");
    double x = 0.0;
    READ_REAL_BLOCK(io, state, 0, DATA_UNIT, PRINT_UNIT, ":CM26", 1, 1, std::span<double>(&x, 1));
    EXPECT_EQ(x, 0.5);
    EXPECT_EQ(print_text().find("Title line mismatch") != std::string::npos, c.warned);
  }
}

TEST_F(ContaminantSectionsTest, IntegerBlockLayoutsByKind) {
  struct Case {
    int kind;
    const char* text;
    std::vector<int> expected;
  };
  // A 3 x 2 grid: cell (x, y) at (x - 1) + 3 (y - 1); rows 2 then 1.
  const Case cases[] = {
      {5, ":CM26c\n      2 312\n      1 1 2\n", {1, 0, 2, 3, 1, 2}},
      {12, ":CM26c\n2 11 12 10\n1 1,2\n 3\n", {1, 2, 3, 11, 12, 10}},
      {0, ":CM26c\n1 2 3\n4 5 6\n", {1, 2, 3, 4, 5, 6}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    data(c.text);
    std::vector<int> v(6, -1);
    READ_INTEGER_BLOCK(io, state, c.kind, DATA_UNIT, PRINT_UNIT, ":CM26c", 3, 2, v);
    EXPECT_EQ(v, c.expected);
  }
  EXPECT_EQ(print_text(), "");
}

TEST_F(ContaminantSectionsTest, RealBlockListAndGrid) {
  data(":CM27\n0.5, 1.5 2\n:CM99\n3 1 2\n2 3 4\n1 5 6\n");
  std::vector<double> list(3), grid(6);
  READ_REAL_BLOCK(io, state, 0, DATA_UNIT, PRINT_UNIT, ":CM27", 3, 1, list);
  READ_REAL_BLOCK(io, state, 1, DATA_UNIT, PRINT_UNIT, ":CM99", 2, 3, grid);
  EXPECT_EQ(list, (std::vector<double>{0.5, 1.5, 2.0}));
  EXPECT_EQ(grid, (std::vector<double>{5, 6, 3, 4, 1, 2}));
}

TEST_F(ContaminantSectionsTest, RealGridRowOutOfOrderIsError11ShowingTheExpectedRow) {
  data(":CM99\n3 1 2\n1 3 4\n2 5 6\n");
  std::vector<double> grid(6);
  auto lines = fatal_report(
      [&] { READ_REAL_BLOCK(io, state, 1, DATA_UNIT, PRINT_UNIT, ":CM99", 2, 3, grid); });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(11));
  EXPECT_EQ(lines[1], "        Reading floating-point grid (IY=   2) under title: :CM99");
  EXPECT_NE(lines[2].find("Row number 1"), std::string::npos) << lines[2];
}

TEST_F(ContaminantSectionsTest, LogicalAndCharacterBlocks) {
  data(":CM5\nT .false.\n .TRUE.\n:CM1\nfirst\nsecond line that is longer\n");
  bool flags[3] = {false, true, false};
  std::vector<std::string> texts = {std::string(8, ' '), std::string(8, ' ')};
  READ_LOGICAL_BLOCK(io, state, DATA_UNIT, PRINT_UNIT, ":CM5", 3, 1, flags);
  READ_CHARACTER_BLOCK(io, state, DATA_UNIT, PRINT_UNIT, ":CM1", 2, 1, texts);
  EXPECT_TRUE(flags[0]);
  EXPECT_FALSE(flags[1]);
  EXPECT_TRUE(flags[2]);
  EXPECT_EQ(texts, (std::vector<std::string>{"first   ", "second l"}));
}

TEST_F(ContaminantSectionsTest, ReadFailuresUseEachTypesErrorNumber) {
  struct Case {
    const char* name;
    const char* text;
    int number;
    const char* message;
    std::function<void(ContaminantSectionsTest&)> read;
  };
  const Case cases[] = {
      {"logical", ":CM5\nmaybe\n", 14, "Reading logical data under heading: :CM5",
       [](ContaminantSectionsTest& t) {
         bool b = false;
         READ_LOGICAL_BLOCK(t.io, t.state, DATA_UNIT, PRINT_UNIT, ":CM5", 1, 1,
                            std::span<bool>(&b, 1));
       }},
      {"integer", ":CM3\n1.5\n", 6, "Reading integer data under heading: :CM3",
       [](ContaminantSectionsTest& t) {
         int n = 0;
         READ_INTEGER_BLOCK(t.io, t.state, 0, DATA_UNIT, PRINT_UNIT, ":CM3", 1, 1,
                            std::span<int>(&n, 1));
       }},
      {"real", ":CM15\nabc\n", 7, "Reading floating-point data under heading: :CM15",
       [](ContaminantSectionsTest& t) {
         double x = 0;
         READ_REAL_BLOCK(t.io, t.state, 0, DATA_UNIT, PRINT_UNIT, ":CM15", 1, 1,
                         std::span<double>(&x, 1));
       }},
      {"character at end of file", ":CM1\n", 5, "Reading character data under heading: :CM1",
       [](ContaminantSectionsTest& t) {
         std::vector<std::string> s(1, std::string(4, ' '));
         READ_CHARACTER_BLOCK(t.io, t.state, DATA_UNIT, PRINT_UNIT, ":CM1", 1, 1, s);
       }},
      {"digit grid with a letter", ":CM26c\n      1 1a\n", 10,
       "Reading integer grid (IY=   1) under title: :CM26c",
       [](ContaminantSectionsTest& t) {
         std::vector<int> g(2);
         READ_INTEGER_BLOCK(t.io, t.state, 3, DATA_UNIT, PRINT_UNIT, ":CM26c", 2, 1, g);
       }},
      {"more reals than room", ":CM27\n1 2 3\n", 7,
       "Count of floating-point values     3 x     1 outside room 0 to       2 under heading: :CM27",
       [](ContaminantSectionsTest& t) {
         std::vector<double> v(2);
         READ_REAL_BLOCK(t.io, t.state, 0, DATA_UNIT, PRINT_UNIT, ":CM27", 3, 1, v);
       }},
      {"more texts than room", ":CM1\na\nb\n", 5,
       "Count of character values     2 x     1 outside room 0 to       1 under heading: :CM1",
       [](ContaminantSectionsTest& t) {
         std::vector<std::string> s(1, std::string(4, ' '));
         READ_CHARACTER_BLOCK(t.io, t.state, DATA_UNIT, PRINT_UNIT, ":CM1", 2, 1, s);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    io.units.open(PRINT_UNIT, print_path, UnitDirection::Output);  // emptied
    data(c.text);
    auto lines = fatal_report([&] { c.read(*this); });
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], fatal_heading(c.number));
    EXPECT_EQ(lines[1], std::string(8, ' ') + c.message);
  }
}

// ---- READ_INTEGER_BLOCK_MN -------------------------------------------------------------

struct CategoryCodesTest : SectionFixture {
  FrameState& frame = model.frame;
  Array1<int> codes;
  void SetUp() override {
    SectionFixture::SetUp();
    build_one_link_mesh(frame);
    codes.resize_range(2, 7, 0);  // the non-link elements
  }
};

TEST_F(CategoryCodesTest, GridSquaresTakeTheirCellsAndBanksTheirNeighbours) {
  data(":CM26c\n      2 31\n      1 23\n");
  READ_INTEGER_BLOCK_MN(io, state, frame, 2, 2, true, 3, DATA_UNIT, PRINT_UNIT, ":CM26c", codes);
  // squares 4..7 = 2, 3, 3, 1; north bank 2 from square 6, south bank 3 from square 4
  const int expected[8] = {0, 0, 3, 2, 2, 3, 3, 1};
  for (int e = 2; e <= 7; ++e) EXPECT_EQ(codes(e), expected[e]) << e;
}

TEST_F(CategoryCodesTest, BanksOffLeavesBankElementsAlone) {
  data(":CM26c\n      2 31\n      1 23\n");
  READ_INTEGER_BLOCK_MN(io, state, frame, 2, 2, false, 3, DATA_UNIT, PRINT_UNIT, ":CM26c", codes);
  EXPECT_EQ(codes(2), 0);
  EXPECT_EQ(codes(3), 0);
  EXPECT_EQ(codes(4), 2);
}

TEST_F(CategoryCodesTest, CellsOutsideTheCatchmentMayHoldAnything) {
  frame.ICMXY(2, 2) = 0;  // cell (2, 2) outside
  data(":CM26c\n      2 39\n      1 23\n");
  READ_INTEGER_BLOCK_MN(io, state, frame, 2, 2, true, 3, DATA_UNIT, PRINT_UNIT, ":CM26c", codes);
  EXPECT_EQ(codes(6), 3);
  EXPECT_EQ(codes(7), 0);
}

TEST_F(CategoryCodesTest, CategoryAboveTheCountIsFatalError3090) {
  data(":CM26c\n      2 31\n      1 24\n");
  auto lines = fatal_report([&] {
    READ_INTEGER_BLOCK_MN(io, state, frame, 2, 2, true, 3, DATA_UNIT, PRINT_UNIT, ":CM26c",
                          codes);
  });
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], fatal_heading(3090));
  EXPECT_EQ(lines[1], "        Error in NCELEM in :MN43 in MN data file");
  // The text names another file and section; the line after it names this file's.
  EXPECT_EQ(lines[2], "        Category 4 outside 1 to 3 at grid cell (2, 1), element 5, under :CM26c"
                      "; the value was read from file " + data_path +
                          ", record 3, columns 10-10: \"4\"");
}

TEST_F(CategoryCodesTest, LinkWithoutBankNeighboursIsRefused) {
  frame.ICMREF(2, 2, 2) = 0;
  frame.ICMREF(3, 4, 2) = 0;
  data(":CM26c\n      2 31\n      1 23\n");
  auto lines = fatal_report([&] {
    READ_INTEGER_BLOCK_MN(io, state, frame, 2, 2, true, 3, DATA_UNIT, PRINT_UNIT, ":CM26c",
                          codes);
  });
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], fatal_heading(3090, 1));
  EXPECT_EQ(lines[1],
            "        Bank elements     2 and     3 of link     1 have no neighbour to copy :CM26c from");
}

TEST_F(CategoryCodesTest, FillsAColumnOfAnElementTable) {
  Array2<int> table(7, 3, 0);
  data(":CM26c\n2 3, 1\n1 2 3\n");
  READ_INTEGER_BLOCK_MN(io, state, frame, 2, 2, true, 12, DATA_UNIT, PRINT_UNIT, ":CM26c",
                        ElementColumn<int>(table, 2));
  EXPECT_EQ(table(4, 2), 2);
  EXPECT_EQ(table(7, 2), 1);
  EXPECT_EQ(table(2, 2), 3);
  for (int e = 1; e <= 7; ++e) {
    EXPECT_EQ(table(e, 1), 0);
    EXPECT_EQ(table(e, 3), 0);
  }
}

}  // namespace
}  // namespace quendal
