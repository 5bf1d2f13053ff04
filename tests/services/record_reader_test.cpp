#include "services/record_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "services/records.h"
#include "services/stops.h"

namespace quendal {
namespace {

StringSource lines(std::vector<std::string> records, std::string name = "(text)") {
  return StringSource(std::move(records), std::move(name));
}

// ---- fixed-width fields ----------------------------------------------------------------

struct RealCase {
  const char* format;
  const char* record;
  double expected;
};

class RecordReaderRealField : public ::testing::TestWithParam<RealCase> {};

TEST_P(RecordReaderRealField, ReadsTheValueTheFieldMeans) {
  const RealCase& c = GetParam();
  auto src = lines({c.record});
  double x = -999.0;
  read_formatted(src, c.format, x);
  EXPECT_DOUBLE_EQ(x, c.expected) << c.format << " \"" << c.record << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    RecordReader, RecordReaderRealField,
    ::testing::Values(
        // implied decimals apply only to a mantissa written without a point
        RealCase{"(F7.2)", "    150", 1.5}, RealCase{"(F7.2)", "   -25", -0.25},
        RealCase{"(F7.2)", "    1.5", 1.5}, RealCase{"(F7.2)", "   15E1", 1.5},
        RealCase{"(F7.2)", "     5.", 5.0}, RealCase{"(F7.2)", "    -.5", -0.5},
        // blanks inside a field are ignored by default
        RealCase{"(F7.2)", "  1 5 0", 1.5}, RealCase{"(F7.2)", "150    ", 1.5},
        // exponent written with E, D, lowercase, or as a bare sign
        RealCase{"(E10.3)", "   1.5E-02", 0.015}, RealCase{"(D10.3)", "    1.5D03", 1500.0},
        RealCase{"(F10.0)", "    2.5e-2", 0.025}, RealCase{"(F10.0)", "    1.5d+2", 150.0},
        RealCase{"(F7.2)", "  1.5-3", 1.5e-3}, RealCase{"(F7.2)", "   15+2", 15.0},
        RealCase{"(G10.2)", "   -3.25E1", -32.5}, RealCase{"(ES10.2)", "     1.5E3", 1500.0},
        // all blank, or a sign alone, reads as zero
        RealCase{"(F7.2)", "       ", 0.0}, RealCase{"(F7.2)", "      -", 0.0},
        RealCase{"(F7.2)", "   +   ", 0.0},
        // kP divides a value written without exponent by 10^k
        RealCase{"(2PF6.2)", "   150", 0.015}, RealCase{"(-1PF6.1)", "   1.5", 15.0},
        RealCase{"(2PE10.2)", "     1.5E2", 150.0},
        // BZ: blanks after the first digit are zeros, trailing ones included
        RealCase{"(BZ,F7.2)", "  1 5  ", 105.0}, RealCase{"(BZ,F7.2,BN)", "  1 5  ", 105.0},
        RealCase{"(BZ,BN,F7.2)", "  1 5  ", 0.15}));

struct IntegerCase {
  const char* format;
  const char* record;
  long expected;
};

class RecordReaderIntegerField : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(RecordReaderIntegerField, ReadsTheValueTheFieldMeans) {
  const IntegerCase& c = GetParam();
  auto src = lines({c.record});
  long n = -999;
  read_formatted(src, c.format, n);
  EXPECT_EQ(n, c.expected) << c.format << " \"" << c.record << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    RecordReader, RecordReaderIntegerField,
    ::testing::Values(IntegerCase{"(I5)", "   42", 42}, IntegerCase{"(I5)", "  -7 ", -7},
                      IntegerCase{"(I5)", "+ 1 2", 12}, IntegerCase{"(I5)", "     ", 0},
                      IntegerCase{"(I5)", "    -", 0}, IntegerCase{"(I5.3)", "  007", 7},
                      IntegerCase{"(I3)", "12345", 123}, IntegerCase{"(BZ,I5)", " 1 2 ", 1020},
                      IntegerCase{"(I20)", " 9223372036854775807", 9223372036854775807L}));

struct LogicalCase {
  const char* record;
  bool expected;
};

class RecordReaderLogicalField : public ::testing::TestWithParam<LogicalCase> {};

TEST_P(RecordReaderLogicalField, ReadsTheValueTheFieldMeans) {
  const LogicalCase& c = GetParam();
  auto src = lines({c.record});
  bool b = !c.expected;
  read_formatted(src, "(L7)", b);
  EXPECT_EQ(b, c.expected) << "\"" << c.record << "\"";
}

INSTANTIATE_TEST_SUITE_P(RecordReader, RecordReaderLogicalField,
                         ::testing::Values(LogicalCase{"      T", true}, LogicalCase{"t", true},
                                           LogicalCase{" .TRUE.", true},
                                           LogicalCase{".false.", false},
                                           LogicalCase{"  Fxyz ", false},
                                           LogicalCase{"       ", false}));

// A field that is not a number names the file, the record, the columns and the text.
struct BadFieldCase {
  const char* format;  // reads an integer, a real or a logical after a 3-column field
  const char* record;
  char item;  // 'i', 'r' or 'l'
  int first_column;
  int last_column;
  const char* text;
  const char* problem;
};

class RecordReaderBadField : public ::testing::TestWithParam<BadFieldCase> {};

TEST_P(RecordReaderBadField, RaisesInputErrorNamingWhereAndWhat) {
  const BadFieldCase& c = GetParam();
  auto src = lines({"first record", c.record}, "soil.dat");
  try {
    FormattedRead r(src, c.format);  // the format starts with '/', so record 2 is read
    long n = 0;
    double x = 0.0;
    bool b = false;
    r >> n;
    if (c.item == 'i') r >> n;
    if (c.item == 'r') r >> x;
    if (c.item == 'l') r >> b;
    FAIL() << "no InputError for \"" << c.record << "\"";
  } catch (const EndOfFileError&) {
    FAIL() << "end of file instead of a conversion error";
  } catch (const InputError& e) {
    EXPECT_EQ(e.file, "soil.dat");
    EXPECT_EQ(e.record, 2);
    EXPECT_EQ(e.first_column, c.first_column);
    EXPECT_EQ(e.last_column, c.last_column);
    EXPECT_EQ(e.text, c.text);
    const std::string what = e.what();
    EXPECT_NE(what.find(c.problem), std::string::npos) << what;
    EXPECT_NE(what.find("soil.dat"), std::string::npos) << what;
    EXPECT_NE(what.find("record 2"), std::string::npos) << what;
    EXPECT_NE(what.find("columns " + std::to_string(c.first_column) + "-" +
                        std::to_string(c.last_column)),
              std::string::npos)
        << what;
    EXPECT_NE(what.find(std::string("\"") + c.text + "\""), std::string::npos) << what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    RecordReader, RecordReaderBadField,
    ::testing::Values(
        BadFieldCase{"(/I3,I5)", "  1  1.5", 'i', 4, 8, "  1.5", "Cannot read an integer"},
        BadFieldCase{"(/I3,I5)", "  1 12a ", 'i', 4, 8, " 12a ", "Cannot read an integer"},
        BadFieldCase{"(/I3,I5)", "  1 1-2 ", 'i', 4, 8, " 1-2 ", "Cannot read an integer"},
        BadFieldCase{"(/I3,F6.2)", "  7 12x45", 'r', 4, 9, " 12x45", "Cannot read a real number"},
        BadFieldCase{"(/I3,F6.2)", "  7 1.2.3", 'r', 4, 9, " 1.2.3", "Cannot read a real number"},
        BadFieldCase{"(/I3,F6.2)", "  7 1.5E ", 'r', 4, 9, " 1.5E ", "Cannot read a real number"},
        BadFieldCase{"(/I3,F6.2)", "  7   . ", 'r', 4, 9, "   . ", "Cannot read a real number"},
        BadFieldCase{"(/I3,F6.2)", "  7 --5", 'r', 4, 9, " --5", "Cannot read a real number"},
        BadFieldCase{"(/I3,L4)", "  7 yes", 'l', 4, 7, " yes", "Cannot read a logical value"}));

TEST(RecordReaderFormatted, TextFieldsKeepTheirBlanks) {
  auto src = lines({"12abc  ", "ab", "xy"});
  std::string rest = "?", padded = "?", past_end = "?";
  int n = 0;
  read_formatted(src, "(I2,A)", n, rest);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(rest, "abc  ");  // A without width: the rest of the record as it is
  read_formatted(src, "(A4)", padded);
  EXPECT_EQ(padded, "ab  ");  // Aw past the end of a short record: blanks
  read_formatted(src, "(A2,A)", rest, past_end);
  EXPECT_EQ(rest, "xy");
  EXPECT_EQ(past_end, "");
}

TEST(RecordReaderFormatted, ShortRecordReadsAsBlankFields) {
  auto src = lines({"  1.5  2"});
  std::vector<double> x{9.0, 9.0, 9.0};
  int n = 9;
  bool b = true;
  read_formatted(src, "(3F5.1,I4,L2)", x, n, b);
  EXPECT_DOUBLE_EQ(x[0], 1.5);
  EXPECT_DOUBLE_EQ(x[1], 0.2);  // "  2" padded to "  2  ": blanks ignored, one implied decimal
  EXPECT_DOUBLE_EQ(x[2], 0.0);
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(b);
}

TEST(RecordReaderFormatted, RevertsToTheStartOnEachNewRecord) {
  auto src = lines({"   1   2   3", "   4   5   6", "   7   8   9", "  10"});
  std::vector<int> v(7, 0);
  read_formatted(src, "(3I4)", v);
  EXPECT_EQ(v, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  int next = 0;  // the statement used three records; "8 9" are skipped
  read_formatted(src, "(I4)", next);
  EXPECT_EQ(next, 10);
}

TEST(RecordReaderFormatted, RevertsToTheLastTopLevelGroup) {
  auto src = lines({"   5", "   1.5   2.5", "   3.5   4.5", "   5.5", "  99"});
  int n = 0;
  std::vector<double> x(5, 0.0);
  read_formatted(src, "(I4/(2F6.1))", n, x);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(x, (std::vector<double>{1.5, 2.5, 3.5, 4.5, 5.5}));
  read_formatted(src, "(I4)", n);
  EXPECT_EQ(n, 99);
}

TEST(RecordReaderFormatted, SlashReadsTheNextRecordAlsoAfterTheLastItem) {
  auto src = lines({"  1", "  2", "skipped by the trailing slash", "  3", "a", "b", "  4"});
  int a = 0, b = 0, c = 0;
  read_formatted(src, "(I3/I3/)", a, b);
  read_formatted(src, "(I3)", c);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  read_formatted(src, "(/)");  // no items: the current record and one more
  read_formatted(src, "(I3)", c);
  EXPECT_EQ(c, 4);
}

TEST(RecordReaderFormatted, TabsAndSkipsPositionTheField) {
  auto src = lines({"abcdefghij12345"});
  int n = 0;
  std::string a, b, c;
  // T11 -> column 11; T1 -> column 1; TL2 back to column 2; 2X over "de".
  read_formatted(src, "(T11,I5,T1,A3,TL2,A2,2X,A1)", n, a, b, c);
  EXPECT_EQ(n, 12345);
  EXPECT_EQ(a, "abc");
  EXPECT_EQ(b, "bc");
  EXPECT_EQ(c, "f");
}

TEST(RecordReaderFormatted, ReusesAParsedFormatForManyStatements) {
  const FormatSpec spec("(2I3)");
  auto src = lines({"  1  2", "  3  4"});
  int a = 0, b = 0;
  for (int expected : {1, 3}) {
    FormattedRead r(src, spec);
    r >> a >> b;
    r.finish();
    EXPECT_EQ(a, expected);
    EXPECT_EQ(b, expected + 1);
  }
}

TEST(RecordReaderFormatted, EndOfFileWhenRecordsRunOut) {
  auto empty = lines({});
  int n = 0;
  EXPECT_THROW(read_formatted(empty, "(I3)", n), EndOfFileError);
  auto one = lines({"  1   2"});
  int a = 0, b = 0;
  EXPECT_THROW(read_formatted(one, "(I3/I3)", a, b), EndOfFileError);
  one.rewind();
  EXPECT_THROW(read_formatted(one, "(I3)", a, b), EndOfFileError);  // reversion needs a record
}

TEST(RecordReaderFormatted, FormatsThatCannotReadAreProgramErrors) {
  auto src = lines({"  1  2  3", "  4"});
  int n = 0;
  double x = 0.0;
  EXPECT_THROW(read_formatted(src, "('n=',I3)", n), std::invalid_argument);
  src.rewind();
  EXPECT_THROW(read_formatted(src, "(5X)", n), std::invalid_argument);
  src.rewind();
  EXPECT_THROW(read_formatted(src, "(F5.1)", n), std::invalid_argument);
  src.rewind();
  EXPECT_THROW(read_formatted(src, "(I3)", x), std::invalid_argument);
}

// ---- conversions used outside the readers ----------------------------------------------

TEST(RecordReaderConversion, FreeFunctionsFollowTheFieldRules) {
  double x = -1.0;
  EXPECT_TRUE(parse_fortran_real(" 1 2 5 ", 2, 0, x));
  EXPECT_DOUBLE_EQ(x, 1.25);
  EXPECT_TRUE(parse_fortran_real("", 2, 0, x));
  EXPECT_DOUBLE_EQ(x, 0.0);
  EXPECT_TRUE(parse_fortran_real("1E400", 0, 0, x) == false);  // overflow is not a number
  EXPECT_TRUE(parse_fortran_real("1E-400", 0, 0, x));
  EXPECT_DOUBLE_EQ(x, 0.0);
  EXPECT_FALSE(parse_fortran_real("abc", 0, 0, x));
  EXPECT_FALSE(parse_fortran_real("E5", 0, 0, x));
  long n = -1;
  EXPECT_FALSE(parse_fortran_integer("99999999999999999999", n));
  EXPECT_TRUE(parse_fortran_integer("-9223372036854775808", n));
  EXPECT_EQ(n, LONG_MIN);
  bool b = true;
  EXPECT_FALSE(parse_fortran_logical(" .", b));
  EXPECT_FALSE(parse_fortran_logical("1", b));
}

// ---- list-directed ---------------------------------------------------------------------

TEST(RecordReaderList, ValuesRunAcrossRecordsAndSkipEmptyOnes) {
  auto src = lines({"1 2", "", "  3,4\t", "5", "6"});
  std::vector<int> v(5, 0);
  read_list(src, v);
  EXPECT_EQ(v, (std::vector<int>{1, 2, 3, 4, 5}));
  int next = 0;
  read_list(src, next);
  EXPECT_EQ(next, 6);
}

TEST(RecordReaderList, RepeatCountsAndNullValues) {
  struct Case {
    const char* record;
    std::vector<double> expected;  // starting from all -1
  };
  const std::vector<Case> cases = {
      {"3*0.5 2", {0.5, 0.5, 0.5, 2.0}},
      {"2* 7 8", {-1, -1, 7, 8}},   // r* alone: r nulls
      {"2*,7 8", {-1, -1, 7, 8}},   // the comma after r* is its separator
      {"1,,3 4", {1, -1, 3, 4}},    // empty between commas
      {"1 , , 3 4", {1, -1, 3, 4}}, // blanks around the commas do not matter
      {",5 6 7", {-1, 5, 6, 7}},    // a comma before any value
      {"1 ,2 3 4", {1, 2, 3, 4}},   // a comma after blanks is one separator
      {"1,2,3,4,", {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    auto src = lines({c.record});
    std::vector<double> x(4, -1.0);
    read_list(src, x);
    EXPECT_EQ(x, c.expected) << "\"" << c.record << "\"";
  }
}

TEST(RecordReaderList, RecordEndIsNotANullValue) {
  auto src = lines({"1,", "2", "3"});
  std::vector<int> v(3, -1);
  read_list(src, v);
  EXPECT_EQ(v, (std::vector<int>{1, 2, 3}));
}

TEST(RecordReaderList, SlashEndsTheStatementLeavingTheRestUnchanged) {
  auto src = lines({"1 2/ 3", "4"});
  ListRead r(src);
  int a = 0, b = 0, c = -1, d = -1;
  r >> a >> b;
  EXPECT_FALSE(r.terminated());
  r >> c >> d;
  r.finish();
  EXPECT_TRUE(r.terminated());
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, -1);
  EXPECT_EQ(d, -1);
  read_list(src, a);  // "3" on the terminated record is skipped
  EXPECT_EQ(a, 4);
}

TEST(RecordReaderList, ReadsEveryKindOfValue) {
  auto src = lines({"3 1.5D3 2.5E-2 1.5-3 -.5 +7",
                    ".TRUE. f T .false.",
                    "'it''s here' \"a b\" plain,path\\x 2*'ab' next/rest"});
  std::vector<double> x(5, 0.0);
  long big = 0;
  read_list(src, x, big);
  EXPECT_EQ(x, (std::vector<double>{3.0, 1500.0, 0.025, 0.0015, -0.5}));
  EXPECT_EQ(big, 7);
  bool a = false, b = true, c = false, d = true;
  read_list(src, a, b, c, d);
  EXPECT_TRUE(a);
  EXPECT_FALSE(b);
  EXPECT_TRUE(c);
  EXPECT_FALSE(d);
  std::vector<std::string> s(7, "unchanged");
  read_list(src, s);
  EXPECT_EQ(s, (std::vector<std::string>{"it's here", "a b", "plain", "path\\x", "ab", "ab",
                                         "next"}));
}

TEST(RecordReaderList, EveryReadStartsOnANewRecord) {
  auto src = lines({"1 2 3", "4 5", "6", "7"});
  int n = 0;
  read_list(src, n);
  EXPECT_EQ(n, 1);
  read_list(src, n);
  EXPECT_EQ(n, 4);
  read_list(src);  // no items: consumes "6"
  read_list(src, n);
  EXPECT_EQ(n, 7);
}

TEST(RecordReaderList, EndOfFileWhenValuesRunOut) {
  auto src = lines({"1 2", ""}, "rain.dat");
  std::vector<int> v(3, 0);
  try {
    read_list(src, v);
    FAIL() << "no end of file";
  } catch (const EndOfFileError& e) {
    EXPECT_EQ(e.file, "rain.dat");
    EXPECT_EQ(e.record, 2);
  }
  EXPECT_THROW(read_list(src), EndOfFileError);  // even a READ of no items needs a record
}

TEST(RecordReaderList, BadValueNamesFileRecordColumnsAndText) {
  auto src = lines({"10 20", " 3 1.5 4"}, "met.dat");
  std::vector<int> v(4, 0);
  try {
    read_list(src, v);
    FAIL() << "1.5 accepted as an integer";
  } catch (const InputError& e) {
    EXPECT_EQ(e.record, 2);
    EXPECT_EQ(e.first_column, 4);
    EXPECT_EQ(e.last_column, 6);
    EXPECT_EQ(e.text, "1.5");
    const std::string what = e.what();
    for (const char* part : {"Cannot read an integer", "met.dat", "record 2", "columns 4-6",
                             "\"1.5\""}) {
      EXPECT_NE(what.find(part), std::string::npos) << what;
    }
  }
}

TEST(RecordReaderList, MalformedValuesAreInputErrors) {
  struct Case {
    const char* record;
    char item;  // 'i', 'r', 'l', 's'
  };
  const std::vector<Case> cases = {{"-", 'i'}, {"'5'", 'i'}, {"1e", 'r'},     {"x1", 'r'},
                                   {"-", 'r'}, {"yes", 'l'}, {"0*5", 'i'},   {"'open", 's'},
                                   {"'a'b", 's'}};
  for (const Case& c : cases) {
    auto src = lines({c.record});
    int n = 0;
    double x = 0.0;
    bool b = false;
    std::string s;
    SCOPED_TRACE(c.record);
    switch (c.item) {
      case 'i': EXPECT_THROW(read_list(src, n), InputError); break;
      case 'r': EXPECT_THROW(read_list(src, x), InputError); break;
      case 'l': EXPECT_THROW(read_list(src, b), InputError); break;
      default: EXPECT_THROW(read_list(src, s), InputError); break;
    }
  }
}


// ---- the places of the items read -------------------------------------------------------

// One expected entry of a field log: record, columns and text.
struct Place {
  long record;
  int first, last;
  const char* text;
};

void expect_places(const FieldLog& log, const std::vector<Place>& expected) {
  ASSERT_EQ(log.size(), expected.size());
  for (std::size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log[i].file, "in.txt");
    EXPECT_EQ(log[i].record, expected[i].record);
    EXPECT_EQ(log[i].first_column, expected[i].first);
    EXPECT_EQ(log[i].last_column, expected[i].last);
    EXPECT_EQ(log[i].text, expected[i].text);
  }
}

TEST(RecordReaderPlaces, EveryFormattedItemHasItsFieldAcrossRecords) {
  auto src = lines({"  5 1234  ab", "   -3.5", "  7"}, "in.txt");
  FieldLog outer, log;
  int n = 0;
  double x = 0.0, y = 0.0;
  std::string a;
  {
    FieldLogScope caller(src, outer);
    FieldLogScope scope(src, log);  // a reader's own scope inside its caller's
    read_formatted(src, "(I3,F5.2,A4/F7.0)", n, x, a, y);
  }
  EXPECT_DOUBLE_EQ(x, 12.34);  // the implied decimals do not change the text shown
  expect_places(log, {{1, 1, 3, "5"}, {1, 4, 8, "1234"}, {1, 9, 12, "ab"}, {2, 1, 7, "-3.5"}});
  EXPECT_EQ(outer.size(), log.size());  // the caller sees what the reader read
  // Outside the scope nothing more is kept.
  read_formatted(src, "(I3)", n);
  EXPECT_EQ(log.size(), 4u);
}

TEST(RecordReaderPlaces, ListItemsKeepTheirRecordNullsAndRepeats) {
  // Items 2 (between commas) and 6 (after the slash) are null and keep no columns; the
  // repeat hands its value to items 4 and 5.
  auto src = lines({"1.5, ,7", "", "  2*4.25 / 9"}, "in.txt");
  FieldLog log;
  double v[6] = {0, 0, 0, 0, 0, 0};
  {
    FieldLogScope scope(src, log);
    read_list(src, std::span<double>(v, 6));
  }
  expect_places(log, {{1, 1, 3, "1.5"},
                      {1, 0, 0, ""},
                      {1, 7, 7, "7"},
                      {3, 5, 8, "4.25"},
                      {3, 5, 8, "4.25"},
                      {3, 0, 0, ""}});
}

}  // namespace
}  // namespace quendal
