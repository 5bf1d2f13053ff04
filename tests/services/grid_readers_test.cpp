#include "services/grid_readers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

constexpr int IN = 10;

std::string padded80(const std::string& s) {
  std::string p = s;
  p.resize(80, ' ');
  return p;
}

// The print file as lines, trailing blanks removed (columns that show nothing).
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(trim_right(line));
  return lines;
}

std::string stars(int n) { return "  " + std::string(static_cast<std::size_t>(n), '*'); }

struct GridReadersTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;

  void input(const std::string& text) { open_input(IN, "grid.txt", text); }

  // A mesh without the topology code: `mask` rows from north to south ('1' inside);
  // links 1..nlf, their bank elements when banks are on, then the squares row by row
  // from row 1.
  void mesh(const std::vector<std::string>& mask, int nlf, bool banks) {
    frame.NY = static_cast<int>(mask.size());
    frame.NX = static_cast<int>(mask[0].size());
    frame.NLF = nlf;
    frame.NGDBGN = nlf + 1;
    frame.BANKS_ON = banks;
    int e = banks ? 3 * nlf : nlf;
    if (banks) {
      frame.LINK_BANK_ELEMENT.resize(nlf, 2, 0);
      for (int l = 1; l <= nlf; ++l) {
        frame.LINK_BANK_ELEMENT(l, 1) = nlf + l;
        frame.LINK_BANK_ELEMENT(l, 2) = 2 * nlf + l;
      }
    }
    frame.ICMXY.resize(frame.NX, frame.NY, 0);
    for (int y = 1; y <= frame.NY; ++y) {
      for (int x = 1; x <= frame.NX; ++x) {
        if (mask[static_cast<std::size_t>(frame.NY - y)][static_cast<std::size_t>(x - 1)] == '1') {
          frame.ICMXY(x, y) = ++e;
        }
      }
    }
    frame.NEL = e;
  }
};

// ---- row parsers -------------------------------------------------------------------

TEST(GridRowParsers, DigitRowReadsOneDigitPerCellFromColumnNine) {
  StringSource where({}, "codes.txt");
  int codes[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(parse_digit_row("      5 123", std::span<int>(codes, 3), where), 5);
  EXPECT_EQ(codes[0], 1);
  EXPECT_EQ(codes[1], 2);
  EXPECT_EQ(codes[2], 3);
  // Column 8 is not read; a blank cell and a record cut short read as 0.
  EXPECT_EQ(parse_digit_row("     12x4 7", std::span<int>(codes, 5), where), 12);
  EXPECT_EQ(codes[0], 4);
  EXPECT_EQ(codes[1], 0);
  EXPECT_EQ(codes[2], 7);
  EXPECT_EQ(codes[3], 0);
  EXPECT_EQ(codes[4], 0);
  // Wide digit rows are read in full, past column 80.
  std::string wide = "      1 " + std::string(99, '0') + "3";
  std::vector<int> many(100, 9);
  EXPECT_EQ(parse_digit_row(wide, many, where), 1);
  EXPECT_EQ(many[98], 0);
  EXPECT_EQ(many[99], 3);
}

TEST(GridRowParsers, DigitRowWithANonDigitIsAnInputErrorNamingFileAndColumn) {
  // A sign alone would read as 0 in a one-column field: refused like a letter.
  for (char c : {'R', '-', '+', '.', '*'}) {
    SCOPED_TRACE(std::string(1, c));
    StringSource source({"title", std::string("      2 1") + c + "3"}, "mask.txt");
    std::string skip;
    source.read_record(skip);
    int codes[3];
    try {
      read_digit_row(source, codes);
      ADD_FAILURE() << "no error";
    } catch (const InputError& e) {
      EXPECT_EQ(e.file, "mask.txt");
      EXPECT_EQ(e.record, 2);
      EXPECT_EQ(e.first_column, 10);
      EXPECT_EQ(e.text, std::string(1, c));
    }
  }
}

// Past the last cell (column 8 + NX) only blanks may stand: a row shifted one column to
// the right would lose its last cell without a word. Line ends (CR of CR LF) and
// trailing blanks or tabs are blanks; a short row still reads as blanks.
TEST(GridRowParsers, DigitRowHoldsNothingButBlanksAfterItsLastCell) {
  const struct {
    std::string record;
    int column;  // of the character refused; 0: read
  } cases[] = {
      {"      1 101", 0},      {"      1 101   ", 0},  {"      1 101\r", 0},
      {"      1 101 \t\r", 0}, {"      1 1", 0},       {"      1", 0},
      {"      1  101", 12},    // shifted right: the last cell past the grid
      {"      1  000", 12},    // a row of zeros shifted so reads exactly as before
      {"      1 101 # a note", 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    StringSource where({}, "mask.txt");
    int codes[3] = {9, 9, 9};
    if (c.column == 0) {
      EXPECT_EQ(parse_digit_row(c.record, codes, where), 1);
      continue;
    }
    try {
      parse_digit_row(c.record, codes, where);
      ADD_FAILURE() << "no error";
    } catch (const InputError& e) {
      EXPECT_EQ(e.file, "mask.txt");
      EXPECT_EQ(e.first_column, c.column);
      EXPECT_EQ(e.text, std::string(1, c.record[static_cast<std::size_t>(c.column - 1)]));
      EXPECT_NE(std::string(e.what()).find("cells stand in columns 9 to 11"), std::string::npos)
          << e.what();
    }
  }
}

TEST(GridRowParsers, WideRowTakesCodesFromTheSameRecordOrTheNext) {
  StringSource source({"      3    10  11", " 12", "      2", "20 21,22", "      1 5 6 7"},
                      "wide.txt");
  int codes[3] = {};
  EXPECT_EQ(read_wide_row(source, 3, codes), 3);
  EXPECT_EQ(codes[0], 10);
  EXPECT_EQ(codes[2], 12);
  EXPECT_EQ(read_wide_row(source, 2, codes), 2);
  EXPECT_EQ(codes[0], 20);
  EXPECT_EQ(codes[2], 22);
  // A wrong row number is returned before any code is read.
  codes[0] = -1;
  EXPECT_EQ(read_wide_row(source, 2, codes), 1);
  EXPECT_EQ(codes[0], -1);

  StringSource free_source({"3 4 5 6"}, "free.txt");
  EXPECT_EQ(read_wide_row(free_source, 3, codes, RowNumberField::FreeFormat), 3);
  EXPECT_EQ(codes[0], 4);
  EXPECT_EQ(codes[2], 6);
}

TEST(GridRowParsers, WideRowWithAnUnreadableFieldNamesTheRecordItIsOn) {
  // The row number, a code on the row-number record and a code on the record after it:
  // each error names the file and the record that holds the faulty field.
  struct Case {
    std::vector<std::string> records;
    long record;
    const char* text;
  };
  const std::vector<Case> cases = {
      {{"     x3    10  11  12"}, 1, "x3"},
      {{"      3    1y  11  12"}, 1, "1y"},
      {{"      3    10", " 11 1z"}, 2, "1z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StringSource source(c.records, "wide.txt");
    int codes[3] = {};
    try {
      read_wide_row(source, 3, codes);
      ADD_FAILURE() << "no error";
    } catch (const InputError& e) {
      EXPECT_EQ(e.file, "wide.txt");
      EXPECT_EQ(e.record, c.record);
      EXPECT_NE(e.text.find(c.text), std::string::npos) << e.text;
    }
  }
}

TEST(GridRowParsers, RealRowFieldsWithoutPointAreWholeNumbers) {
  // Row of 12: ten fields after the row number, two on the continuation record from
  // column 1; "125" is 125.0, a blank field 0, a point is read as written.
  StringSource source({"      4"
                       "    125"
                       "    1.5"
                       "       "
                       "  -2.25"
                       "      7"
                       "      8"
                       "      9"
                       "     10"
                       "     11"
                       "       ",
                       "     12   13.5",
                       "      3"},
                      "real.txt");
  std::vector<double> v(12, -1.0);
  EXPECT_EQ(read_real_row(source, 4, v), 4);
  const double expected[12] = {125.0, 1.5, 0.0, -2.25, 7, 8, 9, 10, 11, 0.0, 12, 13.5};
  for (int i = 0; i < 12; ++i) EXPECT_DOUBLE_EQ(v[static_cast<std::size_t>(i)], expected[i]) << i;
  // The next row starts on the next record.
  std::vector<double> next(1, -1.0);
  EXPECT_EQ(read_real_row(source, 3, next), 3);
}

TEST(GridRowParsers, RealRowOfExactlyTenValuesLeavesTheNextRowInPlace) {
  StringSource source({"      2      1      2      3      4      5      6      7      8      9     10",
                       "      1     11     12     13     14     15     16     17     18     19     20"},
                      "ten.txt");
  std::vector<double> v(10);
  EXPECT_EQ(read_real_row(source, 2, v), 2);
  EXPECT_EQ(read_real_row(source, 1, v), 1);
  EXPECT_DOUBLE_EQ(v[9], 20.0);
}

// ---- AREADI ----------------------------------------------------------------------------

TEST_F(GridReadersTest, AreadiDigitGridSetsSquaresAndClearsLinksAndBanks) {
  mesh({"110", "111"}, 1, true);  // link 1, banks 2 and 3, squares 4..8
  input("MET SITES\n      2 123\n      1 456\n");
  Array1<int> codes(frame.NEL, 7);
  AREADI(frame, codes, GRID_READ_AND_ECHO, IN, PRINT_UNIT, 9, model.io);
  // Row 1 (squares 4, 5, 6) then row 2 (squares 7, 8); the outside cell's 3 is ignored.
  const int expected[] = {0, 0, 0, 4, 5, 6, 1, 2};
  for (int e = 1; e <= 8; ++e) EXPECT_EQ(codes(e), expected[e - 1]) << e;
  EXPECT_EQ(print_text(), "\n" + padded80("MET SITES") +
                              "\n K=   2 123\n K=   1 456\n\n\n" + stars(80) + "\n\n\n");
}

TEST_F(GridReadersTest, RowNumberOutOfOrderStopsWithErrorInData) {
  mesh({"111", "111", "111", "111", "111"}, 0, false);
  input("VEGETATION GRID\n      5 123\n      4 123\n      2 123\n");
  Array1<int> codes(frame.NEL, 0);
  EXPECT_THROW(AREADI(frame, codes, GRID_READ, IN, PRINT_UNIT, 5, model.io), ImmediateStop);
  const std::string print = print_text();
  const std::string stop = "\n\n  ERROR IN DATA " + padded80("VEGETATION GRID") +
                           "\n\n  IN THE VICINITY OF LINE K=    2\n  row 2 read from file ";
  EXPECT_EQ(print.substr(0, stop.size()), stop);
  EXPECT_TRUE(print.ends_with(", record 4\n")) << print;  // the title is record 1
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
  // The stop has no summary: the console says what the print file says.
  EXPECT_EQ(console_text(), print);
}

TEST_F(GridReadersTest, AreadiWideLayoutForTenOrMoreCategoriesOrNone) {
  for (int ncat : {10, 0}) {
    SCOPED_TRACE(ncat);
    mesh({"111", "111"}, 0, false);
    input("ROUGHNESS CODES\n      2\n 3 4 12\n      1 7,8\n 9\n");
    Array1<int> codes(frame.NEL, 0);
    AREADI(frame, codes, GRID_READ, IN, PRINT_UNIT, ncat, model.io);
    const int expected[] = {7, 8, 9, 3, 4, 12};
    for (int e = 1; e <= 6; ++e) EXPECT_EQ(codes(e), expected[e - 1]) << e;
  }
}

TEST_F(GridReadersTest, AreadiWideEchoPrintsTenColumnLabels) {
  mesh({"111", "111"}, 0, false);
  input("SOIL CODES\n      2     3     4    12\n      1     7     8     9\n");
  Array1<int> codes(frame.NEL, 0);
  AREADI(frame, codes, GRID_READ_AND_ECHO, IN, PRINT_UNIT, 12, model.io);
  const std::vector<std::string> expected = {
      "",
      "SOIL CODES",
      "0         J=  1      J=  2      J=  3      J=  4      J=  5      J=  6      J=  7"
      "      J=  8      J=  9      J= 10",
      "",
      " K=   2       3          4         12",
      " K=   1       7          8          9",
      "",
      "",
      stars(80),
      "",
      ""};
  EXPECT_EQ(lines_of(print_text()), expected);
}

TEST_F(GridReadersTest, AreadiFillModeReadsNothingAndKeepsLinks) {
  mesh({"11", "11"}, 2, true);  // links 1-2, banks 3-6, squares 7-10
  Array1<int> codes(frame.NEL, 5);
  AREADI(frame, codes, GRID_FILL, 2, PRINT_UNIT, 3, model.io);  // unit 10 is not even open
  for (int e = 1; e <= frame.NEL; ++e) EXPECT_EQ(codes(e), e <= 2 ? 5 : 2) << e;
  EXPECT_EQ(print_text(), "");
}

TEST_F(GridReadersTest, GridOfZerosEchoesOnlyAllValuesZero) {
  mesh({"11", "11"}, 0, false);
  input("CODES\n      2 00\n      1 00\n");
  Array1<int> codes(frame.NEL, 3);
  AREADI(frame, codes, GRID_READ_AND_ECHO, IN, PRINT_UNIT, 4, model.io);
  EXPECT_EQ(print_text(), "\n" + padded80("CODES") + "\n ALL VALUES ZERO\n ===============\n\n");

  // A real grid is tested on the element values: an outside cell's value does not count.
  mesh({"10", "11"}, 0, false);
  input("DEPTHS\n      2    0.0    5.0\n      1              \n");  // row 1: two blank fields
  Array1<double> depths(frame.NEL, 0.0);
  const std::size_t before = print_text().size();
  READ_REAL_GRID(frame, depths, GRID_READ_AND_ECHO, IN, PRINT_UNIT, model.io);
  EXPECT_EQ(print_text().substr(before),
            "\n" + padded80("DEPTHS") + "\n ALL VALUES ZERO\n ===============\n\n");
}

TEST_F(GridReadersTest, DigitGridWiderThan500ColumnsIsRefused) {
  frame.NX = 501;
  frame.NY = 2;
  Array1<int> codes(1, 0);
  EXPECT_THROW(AREADI(frame, codes, GRID_READ, IN, PRINT_UNIT, 9, model.io), ImmediateStop);
  EXPECT_EQ(print_text(),
            " NX greater than 500. Change I/O formats in AREADI\nProgram aborted.\n");
  EXPECT_EQ(console_text(), print_text());
}

// ---- READ_REAL_GRID ---------------------------------------------------------------------

// One real-grid row as written in the data files: the row number and ten 7-column
// fields on the first record, ten more on each continuation record.
std::string real_row(int row, const std::vector<int>& values) {
  char field[16];
  std::snprintf(field, sizeof field, "%7d", row);
  std::string text = field;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0 && i % 10 == 0) text += "\n";
    std::snprintf(field, sizeof field, "%7d", values[i]);
    text += field;
  }
  return text + "\n";
}

TEST_F(GridReadersTest, RealGridOf23ColumnsEchoesThreeBlocksAndTheLinks) {
  mesh({std::string(23, '1'), std::string(23, '1')}, 1, true);  // link 1, banks 2, 3
  std::vector<int> north, south;
  for (int x = 1; x <= 23; ++x) {
    north.push_back(x);
    south.push_back(100 + x);
  }
  input("GROUND ELEVATION\n" + real_row(2, north) + real_row(1, south));
  Array1<double> z(frame.NEL, 0.0);
  z(1) = 7.5;
  z(2) = 8.5;
  z(3) = 9.5;
  READ_REAL_GRID(frame, z, GRID_READ_AND_ECHO, IN, PRINT_UNIT, model.io);
  EXPECT_DOUBLE_EQ(z(1), 7.5);  // links and banks keep their values
  EXPECT_DOUBLE_EQ(z(3), 9.5);
  EXPECT_DOUBLE_EQ(z(4), 101.0);   // row 1 first: square 4 is cell (1, 1)
  EXPECT_DOUBLE_EQ(z(26), 123.0);  // cell (23, 1)
  EXPECT_DOUBLE_EQ(z(49), 23.0);   // cell (23, 2)

  const std::vector<std::string> lines = lines_of(print_text());
  auto at = [&](const std::string& s) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == s) return static_cast<long>(i);
    }
    return -1L;
  };
  const long block3 = at(
      "0         J= 21      J= 22      J= 23      J= 24      J= 25      J= 26      J= 27"
      "      J= 28      J= 29      J= 30");
  ASSERT_GE(block3, 0) << print_text();
  // G11.4: 4 significant digits, then four blanks where the exponent would go.
  EXPECT_EQ(lines[static_cast<std::size_t>(block3 + 2)],
            " K=   2    21.00      22.00      23.00");
  EXPECT_EQ(lines[static_cast<std::size_t>(block3 + 3)],
            " K=   1    121.0      122.0      123.0");
  EXPECT_GE(at("0         J=  1      J=  2      J=  3      J=  4      J=  5      J=  6      J=  7"
               "      J=  8      J=  9      J= 10"),
            0);
  const std::vector<std::string> tail(lines.end() - 9, lines.end());
  const std::vector<std::string> expected_tail = {"",
                                                  "          LINK       BANK1      BANK2",
                                                  "",
                                                  " L=    1    7.500      8.500      9.500",
                                                  "",
                                                  "",
                                                  stars(120),
                                                  "",
                                                  ""};
  EXPECT_EQ(tail, expected_tail);
}

// The echo texts of both readers exact to the blank: the blanks between labels and
// between integers, and the 4 exponent columns of every 11-column general real field,
// are written; blanks skipped after the last item of a record are not part of it.
TEST_F(GridReadersTest, EchoTextsAreWrittenToTheBlank) {
  mesh({"111", "111"}, 1, true);  // link 1, banks 2 and 3, squares 4..9
  input("SOIL CODES\n      2     3     4    12\n      1     7     8     9\n"
        "GROUND ELEVATION\n" + real_row(2, {21, 22, 23}) + real_row(1, {121, 122, 123}));
  Array1<int> codes(frame.NEL, 0);
  AREADI(frame, codes, GRID_READ_AND_ECHO, IN, PRINT_UNIT, 12, model.io);
  Array1<double> z(frame.NEL, 0.0);
  z(1) = 7.5;
  z(2) = 8.5;
  z(3) = 9.5;
  READ_REAL_GRID(frame, z, GRID_READ_AND_ECHO, IN, PRINT_UNIT, model.io);

  std::string header = "0         ";
  for (int j = 1; j <= 9; ++j) header += "J=  " + std::to_string(j) + "      ";
  header += "J= 10";
  const std::string pieces[] = {
      "\n" + padded80("SOIL CODES") + "\n" + header + "\n\n"
      " K=   2       3          4         12\n"
      " K=   1       7          8          9\n\n\n" + stars(80) + "\n\n\n",
      "\n" + padded80("GROUND ELEVATION") + "\n" + header + "\n\n"
      " K=   2    21.00      22.00      23.00    \n"
      " K=   1    121.0      122.0      123.0    \n"
      "\n          LINK       BANK1      BANK2 \n\n"
      " L=    1    7.500      8.500      9.500    \n\n\n" + stars(120) + "\n\n\n",
  };
  const std::string text = print_text();
  for (const std::string& piece : pieces) EXPECT_NE(text.find(piece), std::string::npos) << piece;
}

TEST_F(GridReadersTest, RealGridWithoutBanksListsLinksWithZeroBanks) {
  mesh({"11", "11"}, 1, false);  // link 1, squares 2..5
  input("LEVELS\n" + real_row(2, {3, 4}) + real_row(1, {1, 2}));
  Array1<double> z(frame.NEL, 0.0);
  z(1) = 2.5;
  READ_REAL_GRID(frame, z, GRID_READ_AND_ECHO, IN, PRINT_UNIT, model.io);
  const std::vector<std::string> lines = lines_of(print_text());
  EXPECT_NE(std::find(lines.begin(), lines.end(), " L=    1    2.500      0.000      0.000"),
            lines.end())
      << print_text();
}

TEST_F(GridReadersTest, RealGridRowMismatchNamesTheRowFound) {
  mesh({"11", "11"}, 0, false);
  input("LEVELS\n" + real_row(1, {3, 4}));
  Array1<double> z(frame.NEL, 0.0);
  EXPECT_THROW(READ_REAL_GRID(frame, z, GRID_READ, IN, PRINT_UNIT, model.io), ImmediateStop);
  EXPECT_NE(print_text().find("  IN THE VICINITY OF LINE K=    1"), std::string::npos);
}

TEST_F(GridReadersTest, RealRowEndingBeforeAFieldOfTheCatchmentIsRefused) {
  // 12 columns; cells 1 and 12 lie outside, 2 to 11 inside, in the one row.
  mesh({"011111111110"}, 0, false);
  const std::string ten_fields = "      1    0.0  130.5  128.5  126.5  124.5  122.5  120.5  118.5"
                                 "  116.5  114.5";
  struct Case {
    const char* what;
    std::string text;
    int missing_column;  // 0: read, field of column 11 holds the value expected there
    double value_11;
    long record;
    int first_column;
  };
  const std::vector<Case> cases = {
      {"full row", ten_fields + "\n  112.5    0.0\n", 0, 112.5, 0, 0},
      // Outside cells may be left out at the end, and a blank field is 0.
      {"outside cell left out", ten_fields + "\n  112.5\n", 0, 112.5, 0, 0},
      {"blank field inside", ten_fields + "\n       \n", 0, 0.0, 0, 0},
      {"inside cell left out", ten_fields + "\n\n", 11, 0.0, 3, 1},
      {"first record cut short", ten_fields.substr(0, 7 + 7 * 8) + "\n  112.5    0.0\n", 9, 0.0, 2, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    input("Ground\n" + c.text);
    Array1<double> z(frame.NEL, -1.0);
    if (c.missing_column == 0) {
      READ_REAL_GRID(frame, z, GRID_READ, IN, PRINT_UNIT, model.io);
      EXPECT_EQ(z(1), 130.5);
      EXPECT_EQ(z(10), c.value_11);
      continue;
    }
    try {
      READ_REAL_GRID(frame, z, GRID_READ, IN, PRINT_UNIT, model.io);
      ADD_FAILURE() << "short row accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(e.file, dir.file("grid.txt"));
      EXPECT_EQ(e.record, c.record);
      EXPECT_EQ(e.first_column, c.first_column);
      EXPECT_EQ(e.last_column, c.first_column + 6);
      EXPECT_NE(std::string(e.what()).find("column " + std::to_string(c.missing_column) + " "),
                std::string::npos)
          << e.what();
    }
  }
}

TEST_F(GridReadersTest, GridEndingEarlyIsAnEndOfFileError) {
  mesh({"11", "11"}, 0, false);
  input("LEVELS\n" + real_row(2, {3, 4}));
  Array1<double> z(frame.NEL, 0.0);
  EXPECT_THROW(READ_REAL_GRID(frame, z, GRID_READ, IN, PRINT_UNIT, model.io), EndOfFileError);
}

}  // namespace
}  // namespace quendal
