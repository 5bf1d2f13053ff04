#include "services/array_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

// Message lines are 8 blanks and a 132-character text.
std::string line(const std::string& text) {
  std::string s = "        " + text;
  s.resize(8 + 132, ' ');
  return s + "\n";
}

struct ArrayCheckTest : testing::ModelWithFiles {};

// "DRAINA(iel)" GE 0 on (-1, 5, -2): the first failure with its position, then one line
// for the other failure. General editing of 0 and -1 in 15 columns with 7 significant
// digits is the fixed form F11.6 followed by 4 blanks.
TEST_F(ArrayCheckTest, ReportsFirstFailureAndHowManyOthers) {
  std::vector<double> values{-1, 5, -2};
  std::vector<char> flags(3, 9);
  int count = 3;
  int found = CHECK_REAL_ARRAY(model.io, 2, 1010, PRINT_UNIT, 1, 3, 0, 0, "DRAINA(iel)", "GE",
                               0.0, 0.0, values, count, flags);
  EXPECT_EQ(found, 2);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(flags, (std::vector<char>{1, 0, 1}));
  EXPECT_EQ(values, (std::vector<double>{-1, 5, -2}));
  EXPECT_EQ(print_text(),
            "\n"
            " !!!      ERROR 1010 at time =        0.00 hours\n" +
                line("Checking  DRAINA(iel): expected .GE.   0.000000     but found  -1.000000"
                     "     at position    1") +
                line("... and similarly at   1 other positions in the same vector"));
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 1);  // the continuation line is not counted
}

TEST_F(ArrayCheckTest, NegativeTypeResetsFailingValuesAndSaysSo) {
  std::vector<double> values{-1, 5, -2};
  std::vector<char> flags(3);
  int count = 0;
  CHECK_REAL_ARRAY(model.io, -2, 1010, PRINT_UNIT, 1, 3, 0, 0, "DRAINA(iel)", "GE", 0.0, 0.0,
                   values, count, flags);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(values, (std::vector<double>{0, 5, 0}));
  // The message still shows the value that was found.
  EXPECT_NE(print_text().find(line("Resetting DRAINA(iel): expected .GE.   0.000000     but "
                                   "found  -1.000000     at position    1")),
            std::string::npos);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 1);  // reported as an error, severity 2
}

TEST_F(ArrayCheckTest, FatalTypeResetsThenStops) {
  std::vector<int> values{-4};
  std::vector<char> flags(1);
  int count = 0;
  EXPECT_THROW(CHECK_INTEGER_ARRAY(model.io, -1, 1003, PRINT_UNIT, 1, 1, 0, 0, "NLF", "GE", 0,
                                   values, count, flags),
               FatalError);
  EXPECT_EQ(values[0], 0);
  EXPECT_EQ(count, 1);
  EXPECT_NE(print_text().find(" !!!FATAL ERROR 1003"), std::string::npos);
}

struct RealRelationCase {
  const char* rel;
  double tol, value, reference;
  bool fails;
};

class RealRelations : public ArrayCheckTest,
                      public ::testing::WithParamInterface<RealRelationCase> {};

TEST_P(RealRelations, FailsExactlyOutsideTheWidenedRelation) {
  const RealRelationCase& c = GetParam();
  std::vector<double> values{c.value};
  std::vector<char> flags(1);
  int count = 0;
  CHECK_REAL_ARRAY(model.io, 3, 1, PRINT_UNIT, 1, 1, 0, 0, "X", c.rel, c.reference, c.tol, values,
                   count, flags);
  EXPECT_EQ(count, c.fails ? 1 : 0);
  EXPECT_EQ(flags[0], c.fails ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RealRelations,
    ::testing::Values(
        // With tol = 0 the relations are the plain ones: strict ones fail on equality.
        RealRelationCase{"GT", 0, 1, 1, true}, RealRelationCase{"GE", 0, 1, 1, false},
        RealRelationCase{"LT", 0, 1, 1, true}, RealRelationCase{"LE", 0, 1, 1, false},
        RealRelationCase{"EQ", 0, 1, 1, false}, RealRelationCase{"GT", 0, 2, 1, false},
        RealRelationCase{"LT", 0, 2, 1, true}, RealRelationCase{"LE", 0, 1, 2, false},
        // The tolerance widens the relation by tol * max(|v|, |r|).
        RealRelationCase{"EQ", 0.01, 100.5, 100, false}, RealRelationCase{"EQ", 0.01, 102, 100, true},
        RealRelationCase{"GE", 0.01, 99.5, 100, false}, RealRelationCase{"GE", 0.01, 98, 100, true},
        RealRelationCase{"LE", 0.01, 100.5, 100, false}, RealRelationCase{"LE", 0.01, 102, 100, true},
        // A strict relation still fails at the edge of the margin: 100 - 99 = 0.01 * 100.
        RealRelationCase{"GT", 0.01, 99, 100, true}, RealRelationCase{"GT", 0.01, 99.5, 100, false},
        // Only the first letter being G and the second letter count: "NQ" compares for equality.
        RealRelationCase{"NQ", 0, 1, 2, true}));

TEST_F(ArrayCheckTest, IntegerRelationsCompareExactly) {
  struct Case {
    const char* rel;
    int value, reference;
    bool fails;
  };
  for (const Case& c : {Case{"EQ", 3, 3, false}, Case{"EQ", 3, 4, true}, Case{"GE", 3, 3, false},
                        Case{"GE", 2, 3, true}, Case{"GT", 3, 3, true}, Case{"LE", 3, 3, false},
                        Case{"LE", 4, 3, true}, Case{"LT", 3, 3, true}, Case{"LT", 2, 3, false}}) {
    std::vector<int> values{c.value};
    std::vector<char> flags(1);
    int count = 0;
    CHECK_INTEGER_ARRAY(model.io, 3, 1, PRINT_UNIT, 1, 1, 0, 0, "N", c.rel, c.reference, values,
                        count, flags);
    EXPECT_EQ(count, c.fails ? 1 : 0) << c.rel << " " << c.value << " " << c.reference;
  }
}

// The element-wise form takes R from the reference array at each position; the single
// form compares every value with one R. Both work under the caller's numbering (5..7).
TEST_F(ArrayCheckTest, ElementWiseAgainstSingleReference) {
  Array1<double> values(5, 7, 0.0), reference(5, 7, 0.0);
  values(5) = 1; values(6) = 2; values(7) = 3;
  reference(5) = 0; reference(6) = 3; reference(7) = 3;
  Array1<char> flags(5, 7, 0);
  int count = 0;
  CHECK_REAL_ARRAY(model.io, 2, 1017, PRINT_UNIT, 5, 7, 0, 0, "H(j)", "GEa", reference, 0.0, values,
                   count, flags);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(flags(6), 1);
  EXPECT_NE(print_text().find(line("Checking  H(j): expected .GE.   3.000000     but found"
                                   "   2.000000     at position    6")),
            std::string::npos);
  count = 0;
  CHECK_REAL_ARRAY(model.io, 2, 1017, PRINT_UNIT, 5, 7, 0, 0, "H(j)", "GE", 2.5, 0.0, values, count,
                   flags);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(flags(5), 1);
  EXPECT_EQ(flags(6), 1);
  EXPECT_EQ(flags(7), 0);
}

// What follows the found value depends on the name: nothing without a parenthesis (or
// with one at its end), the position after one, and i2 and i3 after each comma.
TEST_F(ArrayCheckTest, SubscriptsShownFollowTheName) {
  struct Case {
    const char* name;
    const char* tail;
  };
  const Case cases[] = {
      {"NLF", ""},
      {"X(", ""},
      {"XINH[ link =  3](j)", " at position    2"},
      {"status_of_QOC(iel,face)", " at position    2,   3"},
      {"ICMREF(iel,face,2)", " at position    2,   3,  -4"},
  };
  for (const Case& c : cases) {
    model.io.units.open(PRINT_UNIT, print_path, UnitDirection::Output);
    std::vector<int> values{0, 7};
    std::vector<char> flags(2);
    int count = 0;
    CHECK_INTEGER_ARRAY(model.io, 2, 1057, PRINT_UNIT, 1, 2, 3, -4, c.name, "LT", 5, values, count,
                        flags);
    // Integers are shown right-aligned in 12 columns.
    EXPECT_EQ(print_text(), "\n !!!      ERROR 1057 at time =        0.00 hours\n" +
                                line(std::string("Checking  ") + c.name +
                                     ": expected .LT.           5 but found           7" + c.tail))
        << c.name;
  }
}

TEST_F(ArrayCheckTest, LargeAndSmallRealsInExponentForm) {
  std::vector<double> values{-2.5e-7};
  std::vector<char> flags(1);
  int count = 0;
  CHECK_REAL_ARRAY(model.io, 2, 1010, PRINT_UNIT, 1, 1, 0, 0, "STRX", "GT", 1e8, 0.0, values, count,
                   flags);
  EXPECT_NE(print_text().find("expected .GT.  1.0000000E+08 but found -2.5000000E-07 "),
            std::string::npos);
}

TEST_F(ArrayCheckTest, EmptyRangeDoesNothing) {
  std::vector<double> values{-1, -1};
  std::vector<char> flags{7, 7};
  int count = 4;
  EXPECT_EQ(CHECK_REAL_ARRAY(model.io, -2, 1010, PRINT_UNIT, 2, 1, 0, 0, "A(i)", "GE", 0.0, 0.0,
                             values, count, flags),
            0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(flags, (std::vector<char>{7, 7}));
  EXPECT_EQ(values, (std::vector<double>{-1, -1}));
  EXPECT_EQ(print_text(), "");
}

TEST_F(ArrayCheckTest, ReferenceFormMustMatchTheRelation) {
  std::vector<double> values{1}, reference{0};
  std::vector<char> flags(1);
  int count = 0;
  EXPECT_THROW(CHECK_REAL_ARRAY(model.io, 2, 1, PRINT_UNIT, 1, 1, 0, 0, "A", "GE", reference, 0.0,
                                values, count, flags),
               std::invalid_argument);
  EXPECT_THROW(CHECK_REAL_ARRAY(model.io, 2, 1, PRINT_UNIT, 1, 1, 0, 0, "A", "GEa", 0.0, 0.0,
                                values, count, flags),
               std::invalid_argument);
}

}  // namespace
}  // namespace quendal
