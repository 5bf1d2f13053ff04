#include "contaminant/cm_snl3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace quendal {
namespace {

const std::string ERROR_3 = "  LINK: CONVERGENCE ERROR 3 IN SNL3";
const std::string SUPPRESSED = " LINK: CONVERGENCE ERROR 3 IN SNL3 - MESSAGES NOW SUPPRESSED";
const std::string CARETS = "        ^^^^^^^^^^^^^^^^^^^^^^^^^";

struct Solved {
  Snl3Outcome outcome;
  double X, Y, Z;
};

Solved solve(const Snl3Coefficients& k, int& failures, StringSink& console) {
  Solved s{};
  s.outcome = SNL3(k, s.X, s.Y, s.Z, failures, console);
  return s;
}

// Equations whose solution is known by hand converge to it quietly: a single quadratic
// X (1 + X) = 2 (root 1), the trivial system, and a fully coupled system built around
// the solution (1, 1, 1), which needs every sweep to use the newest values.
TEST(CmSnl3, SolvesHandBuiltSystemsWithoutMessages) {
  struct Case {
    const char* what;
    Snl3Coefficients k;
    double X, Y, Z;
  };
  Snl3Coefficients quadratic;
  quadratic.A1 = quadratic.B1 = 1.0;
  quadratic.G1 = 2.0;
  quadratic.C2 = quadratic.C3 = 1.0;
  Snl3Coefficients trivial;
  trivial.A1 = trivial.C2 = trivial.C3 = 1.0;
  // (2 + X) X = (0.5 + 0.5 Y) Y + 0.5 Z + 1.5
  // (3 + Y) Y = (0.5 + 0.5 X) X + (0.5 + 0.5 Z) Z + 2
  // (2 + Z) Z = (0.5 + 0.5 Y) Y + 2
  Snl3Coefficients coupled{2.0, 1.0, 0.5, 0.5, 0.5, 0.5, 0.5, 3.0, 1.0, 0.5, 0.5,
                           0.5, 0.5, 1.5, 2.0, 2.0, 2.0, 1.0};
  const std::vector<Case> cases = {{"quadratic", quadratic, 1.0, 0.0, 0.0},
                                   {"trivial", trivial, 0.0, 0.0, 0.0},
                                   {"coupled", coupled, 1.0, 1.0, 1.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int failures = 0;
    StringSink console;
    const Solved s = solve(c.k, failures, console);
    EXPECT_EQ(s.outcome, Snl3Outcome::converged);
    // Contractions (factor at most 0.5 per sweep) after 103 sweeps: exact to rounding.
    EXPECT_NEAR(s.X, c.X, 1e-12);
    EXPECT_NEAR(s.Y, c.Y, 1e-12);
    EXPECT_NEAR(s.Z, c.Z, 1e-12);
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(console.records.empty()) << console.text();
  }
}

// Z = Y + 1e-18 with Y = 1 rounds to Z = 1: the relative residual of equation 3 is 1.
// Eleven such solutions print nine residual messages, the suppression line and then
// nothing; the counter runs on.
TEST(CmSnl3, ResidualMessagesStopAfterTheSuppressionLine) {
  Snl3Coefficients k;
  k.A1 = 1.0;
  k.C2 = 1.0;
  k.G2 = 1.0;
  k.C3 = 1.0;
  k.A3 = 1.0;
  k.G3 = 1e-18;
  int failures = 0;
  StringSink console;
  for (int n = 0; n < 11; ++n) {
    const Solved s = solve(k, failures, console);
    EXPECT_EQ(s.outcome, Snl3Outcome::residual_failure);
    EXPECT_EQ(s.Y, 1.0);  // the values found are returned all the same
  }
  EXPECT_EQ(failures, 11);
  std::vector<std::string> expected(9, ERROR_3);
  expected.push_back(SUPPRESSED);
  EXPECT_EQ(console.records, expected);
  EXPECT_EQ(SUPPRESSED.size(), 60u);
}

// Arithmetic that breaks down counts as a failure with the same counter and message,
// and hands back zero rates (the caller keeps its start values): a NaN coefficient, an
// infinite one and a zero divisor.
TEST(CmSnl3, NonFiniteValuesAndZeroDivisorsAreFailures) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Snl3Coefficients nan_coefficient;
  nan_coefficient.A1 = nan_coefficient.C2 = nan_coefficient.C3 = 1.0;
  nan_coefficient.G1 = nan;
  Snl3Coefficients inf_coefficient;
  inf_coefficient.A1 = inf_coefficient.C2 = inf_coefficient.C3 = 1.0;
  inf_coefficient.G3 = inf;
  Snl3Coefficients zero_divisor;  // A1 + B1 X = 0 at the first sweep
  zero_divisor.C2 = zero_divisor.C3 = 1.0;
  zero_divisor.G1 = 1.0;
  int failures = 0;
  StringSink console;
  for (const Snl3Coefficients& k : {nan_coefficient, inf_coefficient, zero_divisor}) {
    const Solved s = solve(k, failures, console);
    EXPECT_EQ(s.outcome, Snl3Outcome::non_finite);
    EXPECT_EQ(s.X, 0.0);
    EXPECT_EQ(s.Y, 0.0);
    EXPECT_EQ(s.Z, 0.0);
  }
  EXPECT_EQ(failures, 3);
  EXPECT_EQ(console.records, std::vector<std::string>(3, ERROR_3));
}

// X (X - 3) = 4 settles on the root -1, left of the parabola's vertex 1.5: error 1, two
// records, while the residual passes. A diverging linear pair (X = 10 Y + 1, Y = 10 X)
// moves between sweeps 100 and 103: error 2 after each extra sweep, then error 3.
TEST(CmSnl3, LowerBoundAndSettlingMessages) {
  Snl3Coefficients wrong_root;
  wrong_root.A1 = -3.0;
  wrong_root.B1 = 1.0;
  wrong_root.G1 = 4.0;
  wrong_root.C2 = wrong_root.C3 = 1.0;
  int failures = 0;
  StringSink console;
  Solved s = solve(wrong_root, failures, console);
  EXPECT_EQ(s.outcome, Snl3Outcome::converged);
  EXPECT_NEAR(s.X, -1.0, 1e-12);
  EXPECT_EQ(console.records,
            (std::vector<std::string>{" LINK: FATAL CONVERGENCE ERROR 1 IN SNL3", CARETS}));

  Snl3Coefficients diverging;
  diverging.A1 = 1.0;
  diverging.C1 = 10.0;
  diverging.G1 = 1.0;
  diverging.C2 = 1.0;
  diverging.A2 = 10.0;
  diverging.C3 = 1.0;
  console.records.clear();
  s = solve(diverging, failures, console);
  EXPECT_EQ(s.outcome, Snl3Outcome::residual_failure);
  const std::string error_2 = " LINK: FATAL CONVERGENCE ERROR 2 IN SNL3";
  EXPECT_EQ(console.records, (std::vector<std::string>{error_2, CARETS, error_2, CARETS,
                                                       error_2, CARETS, ERROR_3}));
  EXPECT_EQ(failures, 1);
}

}  // namespace
}  // namespace quendal
