#include "services/formatted_writer.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "string_sink.h"

namespace quendal {
namespace {

// One value under a one-descriptor format. Every expected field below was worked out by
// hand from the editing rules: round to nearest with ties away from zero on the exact
// value of the double, right-justify, asterisks when the field is too narrow.
struct FieldCase {
  const char* format;
  FormatArg value;
  const char* expected;
};

void check_fields(const std::vector<FieldCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(format_line(c.format, FormatArgs(c.value)), c.expected);
  }
}

TEST(FormattedWriterFields, Integer) {
  check_fields({
      {"(I5)", 42, "   42"},
      {"(I5)", -42, "  -42"},
      {"(I5)", 0, "    0"},
      {"(I3)", 1000, "***"},
      {"(I3)", -100, "***"},  // the sign needs a column too
      {"(I4)", -100, "-100"},
      {"(I5.4)", 2, " 0002"},
      {"(I5.4)", 1024, " 1024"},
      {"(I5.4)", -2, "-0002"},
      {"(I4.4)", -2, "****"},
      {"(I0)", -12, "-12"},
      {"(I3.0)", 0, "   "},  // Iw.0 of zero: all blanks
      {"(I3.0)", 5, "  5"},
      // A real under I is rounded to the nearest integer, halves away from zero.
      {"(I3)", 2.5, "  3"},
      {"(I3)", -2.5, " -3"},
      {"(I3)", 2.4999, "  2"},
      {"(I5)", 1e30, "*****"},
  });
  EXPECT_EQ(edit_integer(std::numeric_limits<long long>::min(), 20), "-9223372036854775808");
  // An 8-byte item keeps all its digits through a format.
  EXPECT_EQ(format_line("(I3,I20)", 7, std::numeric_limits<long long>::min()),
            "  7-9223372036854775808");
}

TEST(FormattedWriterFields, Fixed) {
  check_fields({
      {"(F6.3)", 9.9996, "10.000"},  // rounding carries into a new digit
      {"(F5.3)", 9.9996, "*****"},
      {"(F8.3)", 1234.5678, "1234.568"},
      {"(F7.3)", 1234.5678, "*******"},
      {"(F12.2)", 36.5, "       36.50"},
      {"(F6.2)", 0.0, "  0.00"},
      {"(F10.2)", 1e300, "**********"},
      // Exact ties (the double is exactly on the half) go away from zero.
      {"(F4.2)", 0.125, "0.13"},
      {"(F5.2)", -0.125, "-0.13"},
      {"(F3.0)", 2.5, " 3."},
      {"(F3.0)", -2.5, "-3."},
      // Not ties: the doubles nearest 0.015 and 2.675 lie just below the half.
      {"(F4.2)", 0.015, "0.01"},
      {"(F4.2)", 2.675, "2.67"},
      // ... and the one nearest 0.005 just above it.
      {"(F4.2)", 0.005, "0.01"},
      // The leading zero is written when there is room, dropped when there is not.
      {"(F4.2)", 0.5, "0.50"},
      {"(F3.2)", 0.5, ".50"},
      {"(F2.0)", 0.3, "0."},  // no other digit: the zero is required
      {"(F1.0)", 0.3, "*"},
      {"(F0.2)", 0.5, ".50"},  // minimal width: as narrow as possible
      {"(F0.1)", -12.25, "-12.3"},
      // A negative value that rounds to zero keeps its sign.
      {"(F5.2)", -0.001, "-0.00"},
      {"(F4.2)", -0.001, "-.00"},
      {"(F3.2)", -0.001, "***"},
      {"(F5.2)", -0.0, "-0.00"},
      // An integer item is written as a real.
      {"(F6.2)", 3, "  3.00"},
      // kP multiplies by 10^k.
      {"(2PF8.2)", 1.5, "  150.00"},
      {"(-1PF6.3)", 1.5, " 0.150"},
  });
}

TEST(FormattedWriterFields, Exponent) {
  check_fields({
      {"(E12.4)", 1234.5, "  0.1235E+04"},  // 1234.5 is exact: a tie, away from zero
      {"(E10.3)", 0.0, " 0.000E+00"},
      {"(E10.3)", -0.0001234, "-0.123E-03"},
      {"(E9.3)", -0.0001234, "-.123E-03"},  // tight: the leading zero goes
      {"(E8.3)", -0.0001234, "********"},
      {"(E10.3)", 9.9996, " 0.100E+02"},  // the carry moves the exponent
      // Three-digit exponents without Ee lose the letter.
      {"(E12.4)", 1e300, "  0.1000+301"},
      {"(E12.4)", 1e-300, "  0.1000-299"},
      {"(E12.4)", -1e-300, " -0.1000-299"},
      // With Ee the exponent has e digits, asterisks when it needs more.
      {"(E12.4E3)", 1e300, " 0.1000E+301"},
      {"(E12.4E3)", 1.5, " 0.1500E+001"},
      {"(E9.4E1)", 1.5, "0.1500E+1"},
      {"(E10.4E1)", 1.5e12, "**********"},
      // Scale factors: k digits before the point (k > 0), |k| zeros after it (k < 0).
      {"(1PE12.4)", 1234.5, "  1.2345E+03"},
      {"(2PE12.4)", 1234.5, "  12.345E+02"},
      {"(-1PE12.4)", 1234.5, "  0.0123E+05"},
      {"(1PE12.4)", 0.0, "  0.0000E+00"},
      {"(2PE12.4)", 0.0, "  00.000E+00"},
      {"(E10.3)", -0.0, "-0.000E+00"},
      {"(E12.4)", 7, "  0.7000E+01"},
  });
  EXPECT_EQ(edit_exponent(1234.5, 12, 4, -1, 0, 'D'), "  0.1235D+04");
  EXPECT_EQ(edit_exponent(-2.0e-150, 11, 3, -1, 0, 'D'), " -0.200-149");
}

TEST(FormattedWriterFields, Scientific) {
  check_fields({
      {"(ES12.4)", 1234.5, "  1.2345E+03"},
      {"(ES10.3)", 0.0, " 0.000E+00"},
      {"(ES10.3)", -9.9996, "-1.000E+01"},
      {"(ES9.3)", -9.9996, "*********"},
      {"(ES11.3)", 1e-300, "  1.000-300"},
      {"(ES11.3E3)", 0.05, " 5.000E-002"},
  });
}

// Fixed notation when the value rounded to d significant digits lies in [0.1, 10^d),
// else E; zero counts as one digit before the point.
TEST(FormattedWriterFields, General) {
  check_fields({
      {"(G12.4)", 1.0, "   1.000    "},
      {"(G12.4)", 12345.0, "  0.1235E+05"},
      {"(G12.4)", 0.01, "  0.1000E-01"},
      {"(G10.3)", 0.0, "  0.00    "},
      {"(G10.3)", 99.96, "  100.    "},   // rounds to 100.: three digits before the point
      {"(G10.3)", 999.4, "  999.    "},
      {"(G10.3)", 999.5, " 0.100E+04"},   // rounds to 1000: out of the fixed range
      {"(G10.3)", 0.09996, " 0.100    "}, // rounds up into the fixed range
      {"(G10.3)", 0.09994, " 0.999E-01"},
      {"(G10.3)", -0.5, "-0.500    "},
      {"(G12.4)", 1e300, "  0.1000+301"},
      {"(G12.4)", 1e-300, "  0.1000-299"},
      {"(G12.4E3)", 1.0, "  1.000     "},  // e + 2 trailing blanks
      {"(G12.4E3)", 1e300, " 0.1000E+301"},
      {"(G8.4)", 12345.0, "********"},
      {"(G8.4)", -1.0, "********"},  // the F(w-4) part overflows: the whole field is starred
      // The scale factor acts only when E editing is chosen.
      {"(1PG12.4)", 1.0, "   1.000    "},
      {"(1PG12.4)", 12345.0, "  1.2345E+04"},
      {"(G12.4)", 7, "   7.000    "},
  });
}

TEST(FormattedWriterFields, LogicalAndAlpha) {
  check_fields({
      {"(L3)", true, "  T"},
      {"(L1)", false, "F"},
      {"(A)", "abc", "abc"},
      {"(A5)", "abc", "  abc"},
      {"(A3)", "abc", "abc"},
      {"(A2)", "abc", "ab"},
      {"(A11)", "WARNING", "    WARNING"},
  });
}

TEST(FormattedWriterFields, NotANumberAndInfinity) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(edit_fixed(inf, 10, 2), "  Infinity");
  EXPECT_EQ(edit_fixed(-inf, 5, 2), " -Inf");
  EXPECT_EQ(edit_exponent(-inf, 3, 1), "***");
  EXPECT_EQ(edit_general(nan, 6, 2), "   NaN");
  EXPECT_EQ(edit_fixed(nan, 2, 1), "**");
  EXPECT_EQ(format_line("(I4)", nan), "****");
}

// --- whole records ---------------------------------------------------------------

TEST(FormattedWriterRecords, HeadingLineAndColon) {
  const char* format = "(' !!!',A11,I5.4,' at time =',F12.2,' hours',:,', iel =',I5)";
  EXPECT_EQ(format_line(format, "WARNING", 1024, 36.5, 812),
            " !!!    WARNING 1024 at time =       36.50 hours, iel =  812");
  // Without the element number the colon ends the record before ', iel ='.
  EXPECT_EQ(format_line(format, "WARNING", 1024, 36.5),
            " !!!    WARNING 1024 at time =       36.50 hours");
}

TEST(FormattedWriterRecords, OutputStopsAtFirstDataDescriptorWithoutAnItem) {
  EXPECT_EQ(format_line("('a=',I3,' b=',I3)", 1), "a=  1 b=");
  EXPECT_EQ(format_line("('abc',I3,'def')"), "abc");
  std::vector<std::string> one_empty{""};
  EXPECT_EQ(format_records(FormatSpec("(I5)"), FormatArgs()), one_empty);
}

TEST(FormattedWriterRecords, ReversionStartsNewRecords) {
  using Records = std::vector<std::string>;
  // No inner group: back to the start of the list.
  EXPECT_EQ(format_records(FormatSpec("(' x:',2I3)"), FormatArgs(1, 2, 3, 4, 5)),
            (Records{" x:  1  2", " x:  3  4", " x:  5"}));
  // Back to the last top-level group, its repeat count included; the heading is not repeated.
  EXPECT_EQ(format_records(FormatSpec("('>',2(I2,','))"), FormatArgs(1, 2, 3, 4, 5)),
            (Records{"> 1, 2,", " 3, 4,", " 5,"}));
  EXPECT_EQ(format_records(FormatSpec("('head',/,(2I3))"), FormatArgs(1, 2, 3, 4, 5)),
            (Records{"head", "  1  2", "  3  4", "  5"}));
  // Items from a vector, element by element.
  FormatArgs values;
  values.add(std::vector<double>{0.5, 1.25, 2.0});
  EXPECT_EQ(format_records(FormatSpec("(2F6.2)"), values), (Records{"  0.50  1.25", "  2.00"}));
}

TEST(FormattedWriterRecords, SlashStartsARecord) {
  using Records = std::vector<std::string>;
  EXPECT_EQ(format_records(FormatSpec("(I2/I2)"), FormatArgs(1, 2)), (Records{" 1", " 2"}));
  EXPECT_EQ(format_records(FormatSpec("('a'//'b')"), FormatArgs()), (Records{"a", "", "b"}));
  EXPECT_EQ(format_records(FormatSpec("(I2/)"), FormatArgs(7)), (Records{" 7", ""}));
  EXPECT_EQ(format_line("(I2/I2)", 1, 2), " 1\n 2");
}

TEST(FormattedWriterRecords, Positioning) {
  EXPECT_EQ(format_line("('abc',T2,'X')"), "aXc");     // T overwrites
  EXPECT_EQ(format_line("(I3,TL2,'#')", 5), " #5");
  EXPECT_EQ(format_line("('a',3X,'b')"), "a   b");
  EXPECT_EQ(format_line("('a',TR2,'b')"), "a  b");
  EXPECT_EQ(format_line("('a',3X)"), "a");             // trailing skipped columns are not written
  EXPECT_EQ(format_line("(T5,'x')"), "    x");
  EXPECT_EQ(format_line("('abcdef',T2,'X',T10)"), "aXcdef");
  EXPECT_EQ(format_line("(BN,BZ,I3)", 4), "  4");
}

// kP stays in force for the following F, E and G, a classic trap: 1PE...,F... scales the F.
TEST(FormattedWriterRecords, ScaleFactorPersists) {
  EXPECT_EQ(format_line("(1PE12.4,F8.2)", 1234.5, 1.5), "  1.2345E+03   15.00");
  EXPECT_EQ(format_line("(1PE12.4,0PF8.2)", 1234.5, 1.5), "  1.2345E+03    1.50");
}

TEST(FormattedWriterRecords, MismatchedItemsAreProgramErrors) {
  EXPECT_THROW(format_line("(I5)", "text"), std::invalid_argument);
  EXPECT_THROW(format_line("(F8.2)", "text"), std::invalid_argument);
  EXPECT_THROW(format_line("(E12.4)", true), std::invalid_argument);
  EXPECT_THROW(format_line("(A)", 3), std::invalid_argument);
  EXPECT_THROW(format_line("(A)", 3.0), std::invalid_argument);
  EXPECT_THROW(format_line("(L2)", 1), std::invalid_argument);
  EXPECT_THROW(format_line("('no data')", 1), std::invalid_argument);
  EXPECT_THROW(format_line("(I3,('x'))", 1, 2), std::invalid_argument);  // reverts to a part with no data
}

TEST(FormattedWriterRecords, MalformedFormatsAreProgramErrorsNamingTheFault) {
  struct Case {
    const char* format;
    const char* fault;
  };
  const Case cases[] = {
      {"(I5,(F8.2)", "missing ')'"},
      {"(I5))", "unbalanced ')'"},
      {"(I5,3)", "descriptor expected"},
      {"(I5,P)", "P needs a scale factor"},
      {"(-2I5)", "sign only allowed before P"},
      {"(I5,BX)", "BN or BZ expected"},
      {"(Q5)", "unknown descriptor 'Q'"},
      {"(F8)", "Fw.d expected"},
      {"(E12.)", "number expected after E"},
      {"('abc)", "unterminated literal"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    try {
      FormatSpec spec(c.format);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.fault), std::string::npos) << e.what();
    }
  }
  // The place of the fault, counted inside the outer parentheses: column 3 of "F8",
  // where the point was due.
  try {
    FormatSpec spec("(F8)");
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), "bad format \"F8\" at position 3: Fw.d expected");
  }
}

TEST(FormattedWriterRecords, WritesToSinkAndCachesFormats) {
  StringSink sink;
  write_formatted(sink, "(A,I3/F6.2)", "n=", 12, 0.25);
  EXPECT_EQ(sink.records, (std::vector<std::string>{"n= 12", "  0.25"}));
  write_free(sink, "Current time", 3.5, 7);
  EXPECT_EQ(sink.records.back(), " Current time 3.5 7");

  const FormatSpec& first = cached_format("(I3,F6.2)");
  EXPECT_EQ(&cached_format(std::string("(I3,F6.2)")), &first);
  EXPECT_NE(&cached_format("(I4,F6.2)"), &first);
}

// --- free format -------------------------------------------------------------------

TEST(FormattedWriterFree, ItemsAreShortestAndReadAsReals) {
  struct Case {
    double value;
    const char* expected;
  };
  const std::vector<Case> cases{
      {1.5, "1.5"},          {3.0, "3.0"},           {0.0, "0.0"},
      {-0.25, "-0.25"},      {0.1, "0.1"},           {0.001, "0.001"},
      {123.456, "123.456"},  {12345678.0, "12345678.0"}, {1e8, "1.0E+08"},
      {1e-5, "1.0E-05"},     {2.5e9, "2.5E+09"},     {-1e100, "-1.0E+100"},
      {0.00099, "9.9E-04"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(free_format_item(c.value), c.expected);
  }
  EXPECT_EQ(free_format_item(-7LL), "-7");
  EXPECT_EQ(free_format_item(true), "T");
  EXPECT_EQ(free_format_item(false), "F");
}

TEST(FormattedWriterFree, ItemsReadBackToTheSameDouble) {
  for (double x : {1.0 / 3.0, 2.0 / 3.0 * 1e-10, 0.1 + 0.2, 5e-324, DBL_MAX, -DBL_MIN, 123456789.0,
                   9.999999999999999e7}) {
    std::string text = free_format_item(x);
    SCOPED_TRACE(text);
    EXPECT_NE(text.find_first_of(".E"), std::string::npos);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), x);
  }
}

TEST(FormattedWriterFree, RecordSeparators) {
  EXPECT_EQ(free_format_record(FormatArgs("Current time", 3.5, 7)), " Current time 3.5 7");
  EXPECT_EQ(free_format_record(FormatArgs(1, 2.0, true)), " 1 2.0 T");
  EXPECT_EQ(free_format_record(FormatArgs("a", "b")), " ab");
  EXPECT_EQ(free_format_record(FormatArgs()), " ");
}

}  // namespace
}  // namespace quendal

namespace quendal {
namespace {
TEST(FormattedWriterRecords, DoublePrecisionExponentLetter) {
  EXPECT_EQ(format_line("(D12.4)", 1234.5), "  0.1235D+04");
}
}  // namespace
}  // namespace quendal
