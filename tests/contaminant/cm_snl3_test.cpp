#include "contaminant/cm_snl3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "string_sink.h"

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

// X = Y + 1 and Y = X: no solution, so SNL3 falls back on sweeps that drift by one each.
Snl3Coefficients drifting_system() {
  Snl3Coefficients k;
  k.A1 = k.C1 = k.G1 = 1.0;
  k.C2 = k.A2 = 1.0;
  k.C3 = 1.0;
  return k;
}

// X = Y + 1 and Y = X have no solution: the system is singular, so the sweeps run and
// drift by one each, X = Y = 103 after 103 sweeps. The last two extra sweeps move more
// than 1 % from the 100-sweep values (error 2 with its carets) and the residual of
// equation 1 is 1 (error 3). Eleven such solutions print the residual message nine
// times, the suppression line once and then nothing; the counter runs on.
TEST(CmSnl3, ResidualMessagesStopAfterTheSuppressionLine) {
  const Snl3Coefficients k = drifting_system();
  int failures = 0;
  StringSink console;
  std::vector<std::string> expected;
  const std::string error_2 = " LINK: FATAL CONVERGENCE ERROR 2 IN SNL3";
  for (int n = 1; n <= 11; ++n) {
    const Solved s = solve(k, failures, console);
    EXPECT_EQ(s.outcome, Snl3Outcome::residual_failure);
    EXPECT_EQ(s.Y, 103.0);  // the values found are returned all the same
    expected.insert(expected.end(), {error_2, CARETS, error_2, CARETS});
    if (n < 10) expected.push_back(ERROR_3);
    if (n == 10) expected.push_back(SUPPRESSED);
  }
  EXPECT_EQ(failures, 11);
  EXPECT_EQ(console.records, expected);
  EXPECT_EQ(SUPPRESSED.size(), 60u);
}

// Two equations whose constant terms are rounding noise against their other terms: the
// solution is exact, and a residual relative to such a G is no failure. Z = Y + 1e-18
// with Y = 1 rounds to Z = 1; a G2 of -4e-18 beside terms of 0.015, as an eroding link
// with clean water produced it, is the same case.
TEST(CmSnl3, ResidualsWithinRoundingOfTheTermsAreNoFailure) {
  Snl3Coefficients k;
  k.A1 = 1.0;
  k.C2 = 1.0;
  k.G2 = 1.0;
  k.C3 = 1.0;
  k.A3 = 1.0;
  k.G3 = 1e-18;
  int failures = 0;
  StringSink console;
  const Solved s = solve(k, failures, console);
  EXPECT_EQ(s.outcome, Snl3Outcome::converged);
  EXPECT_EQ(s.Y, 1.0);
  EXPECT_EQ(s.Z, 1.0);
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(console.records.empty()) << console.text();
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
// records, while the residual passes. X = Y + 1 with Y = X has no solution and the
// sweeps drift: error 2 after the two extra sweeps that move more than 1 %, then error 3.
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

  console.records.clear();
  s = solve(drifting_system(), failures, console);
  EXPECT_EQ(s.outcome, Snl3Outcome::residual_failure);
  const std::string error_2 = " LINK: FATAL CONVERGENCE ERROR 2 IN SNL3";
  EXPECT_EQ(console.records,
            (std::vector<std::string>{error_2, CARETS, error_2, CARETS, ERROR_3}));
  EXPECT_EQ(failures, 1);
}

// Plain sweeps from zero, to show what 100 of them leave on the systems below.
void sweep_only(const Snl3Coefficients& k, double& X, double& Y, double& Z) {
  X = Y = Z = 0.0;
  for (int n = 0; n < SNL3_MAX_SWEEPS; ++n) {
    X = ((k.C1 + k.D1 * Y) * Y + k.E1 * Z + k.G1) / (k.A1 + k.B1 * X);
    Y = ((k.A2 + k.B2 * X) * X + k.G2 + (k.E2 + k.F2 * Z) * Z) / (k.C2 + k.D2 * Y);
    Z = ((k.A3 + k.B3 * Y) * Y + k.G3) / (k.C3 + k.D3 * Z);
  }
}

// Systems that are not diagonally dominant by rows: the sweeps diverge or crawl, SNL3
// solves them exactly and quietly.
// - X = 10 Y + 1, Y = 10 X: the sweeps grow a hundredfold each; X = -1/99, Y = -10/99.
// - A thin film of water over a bed that gives it far more in a step than it holds
//   (an eroding link): the water takes up 65000 times what it keeps from the surface
//   layer, and each sweep removes only 1.6 % of the error. Built around (1, 2, 3).
// - The same with small quadratic terms (nonlinear sorption), built around (1, 2, 3).
// Each equation holds to 1e-12 of its largest term (elimination and Newton leave a few
// units of rounding). Y and Z match the hand values to 1e-12; X of the eroding link is
// (G1 + C1 Y) / A1, a difference of two numbers near 8 divided by 6e-5, so a rounding
// of Y comes back 131000-fold: its tolerance is 64 eps C1 |Y| / A1 (2e-9).
TEST(CmSnl3, StronglyCoupledSystemsAreSolvedExactly) {
  Snl3Coefficients diverging;
  diverging.A1 = 1.0;
  diverging.C1 = 10.0;
  diverging.G1 = 1.0;
  diverging.C2 = 1.0;
  diverging.A2 = 10.0;
  diverging.C3 = 1.0;

  // Binary fractions near such a link's values (A1 6.0e-5, C1 4.07, A2 5.8e-5, ...), so
  // that the constant terms built around (1, 2, 3) hold exactly. What leaves one
  // compartment enters another: every column of the system sums to a small positive
  // remainder, as a conserving balance gives.
  Snl3Coefficients eroding;
  eroding.A1 = std::ldexp(1.0, -14);
  eroding.C1 = 4.0;
  eroding.A2 = std::ldexp(1.0, -14) - std::ldexp(1.0, -20);
  eroding.C2 = 4.0 + std::ldexp(1.0, -13);
  eroding.E2 = 4.0 - std::ldexp(1.0, -13) + std::ldexp(1.0, -20);
  eroding.A3 = std::ldexp(1.0, -17);
  eroding.C3 = 4.0 + std::ldexp(1.0, -12);
  Snl3Coefficients nonlinear = eroding;
  nonlinear.D2 = std::ldexp(1.0, -7);
  nonlinear.D3 = std::ldexp(1.0, -6);
  nonlinear.B3 = std::ldexp(1.0, -23);
  for (Snl3Coefficients* k : {&eroding, &nonlinear}) {
    const double X = 1.0, Y = 2.0, Z = 3.0;
    k->G1 = (k->A1 + k->B1 * X) * X - (k->C1 + k->D1 * Y) * Y - k->E1 * Z;
    k->G2 = (k->C2 + k->D2 * Y) * Y - (k->A2 + k->B2 * X) * X - (k->E2 + k->F2 * Z) * Z;
    k->G3 = (k->C3 + k->D3 * Z) * Z - (k->A3 + k->B3 * Y) * Y;
  }

  // The water of a link against a bed that sorbs 1e15 times as much: rows of 1 and of
  // 1e15, the water and the surface layer coupled at 0.999. Each pivot is sound against
  // its own row, while against the largest coefficient of the system the water's looks
  // singular. X = 1.999 / (1 - 0.999^2), Y = 1 + 0.999 X.
  Snl3Coefficients sorbing;
  sorbing.A1 = 1.0;
  sorbing.C1 = 0.999;
  sorbing.G1 = 1.0;
  sorbing.C2 = 1e15;
  sorbing.A2 = 0.999e15;
  sorbing.G2 = 1e15;
  sorbing.C3 = 1e15;
  sorbing.G3 = 1e15;
  const double sorbing_X = 1.999 / (1.0 - 0.999 * 0.999);

  struct Case {
    const char* what;
    Snl3Coefficients k;
    double X, Y, Z;
    double X_tolerance;
  };
  const double eps = std::numeric_limits<double>::epsilon();
  const double coupled_X = 64.0 * eps * eroding.C1 * 2.0 / eroding.A1;
  const std::vector<Case> cases = {
      {"diverging", diverging, -1.0 / 99.0, -10.0 / 99.0, 0.0, 1e-12 / 99.0},
      {"eroding", eroding, 1.0, 2.0, 3.0, coupled_X},
      {"nonlinear", nonlinear, 1.0, 2.0, 3.0, coupled_X},
      {"sorbing bed", sorbing, sorbing_X, 1.0 + 0.999 * sorbing_X, 1.0, 1e-11 * sorbing_X}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double x, y, z;
    sweep_only(c.k, x, y, z);
    EXPECT_FALSE(std::fabs(x - c.X) < 0.01 * std::fabs(c.X)) << "the sweeps alone settle";
    int failures = 0;
    StringSink console;
    const Solved s = solve(c.k, failures, console);
    EXPECT_EQ(s.outcome, Snl3Outcome::converged);
    EXPECT_NEAR(s.X, c.X, c.X_tolerance);
    EXPECT_NEAR(s.Y, c.Y, 1e-12 * std::fabs(c.Y));
    EXPECT_NEAR(s.Z, c.Z, 1e-12 * std::fmax(1.0, std::fabs(c.Z)));
    const Snl3Coefficients& k = c.k;
    const double X = s.X, Y = s.Y, Z = s.Z;
    const std::vector<std::vector<double>> equations = {
        {(k.A1 + k.B1 * X) * X, -(k.C1 + k.D1 * Y) * Y, -k.E1 * Z, -k.G1},
        {(k.C2 + k.D2 * Y) * Y, -(k.A2 + k.B2 * X) * X, -(k.E2 + k.F2 * Z) * Z, -k.G2},
        {(k.C3 + k.D3 * Z) * Z, -(k.A3 + k.B3 * Y) * Y, -k.G3}};
    for (const std::vector<double>& terms : equations) {
      double r = 0.0, largest = 0.0;
      for (double t : terms) {
        r += t;
        largest = std::fmax(largest, std::fabs(t));
      }
      EXPECT_LE(std::fabs(r), 1e-12 * largest);
    }
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(console.records.empty()) << console.text();
  }
}

}  // namespace
}  // namespace quendal
