// The sparse level-change solver against systems whose solution is known in advance
// (the right-hand side is made from a chosen x), and against the systems it must refuse.
#include "surface/oc/oc_sparse_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <span>
#include <utility>
#include <vector>

namespace quendal {
namespace {

using Outcome = SparseLevelSolver::Outcome;

// The equations of an OC step on an nx x ny grid of squares in plain storage: each
// unknown stores -S/dt and exchanges with its four neighbours through face derivatives
// that are not symmetric (a flow depends more on the upstream level), so that
//   a(i,i) = -S/dt - sum of the derivatives by its own level,   a(i,g) > 0.
// `storage` sets S/dt against derivatives of order 1: small values make the system
// harder for the iteration. The derivatives spread over `decades` decades from 0.01,
// and the first `large` equations have derivatives a thousand times larger (elements
// beside large flows).
struct GridSystem {
  int n = 0;
  std::vector<std::pair<int, int>> entries;
  std::vector<double> values;  // in the order of entries
  std::vector<double> x;

  GridSystem(int nx, int ny, double storage, unsigned seed, double decades = 3.0, int large = 0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    n = nx * ny;
    for (int j = 0; j < ny; ++j) {
      for (int i = 0; i < nx; ++i) {
        const int row = i + nx * j;
        const double scale = row < large ? 1e3 : 1.0;
        double diagonal = -storage * (0.5 + u(rng));
        const int neighbours[4][2] = {{i + 1, j}, {i, j + 1}, {i - 1, j}, {i, j - 1}};
        for (const auto& [a, b] : neighbours) {
          if (a < 0 || a >= nx || b < 0 || b >= ny) continue;
          const double own = scale * std::pow(10.0, decades * u(rng) - 2.0);
          diagonal -= own;
          entries.emplace_back(row, a + nx * b);
          values.push_back(own * (0.2 + 0.8 * u(rng)));
        }
        entries.emplace_back(row, row);
        values.push_back(diagonal);
      }
    }
    x.resize(static_cast<std::size_t>(n));
    for (double& v : x) v = 2.0 * u(rng) - 1.0;
  }

  // Sets the pattern, writes the values through the slots and b = A x.
  void load(SparseLevelSolver& solver) const {
    solver.set_pattern(n, entries);
    solver.zero();
    for (std::size_t k = 0; k < entries.size(); ++k) {
      const auto [i, j] = entries[k];
      solver.values()[static_cast<std::size_t>(solver.slot(i, j))] += values[k];
      solver.rhs()[static_cast<std::size_t>(i)] += values[k] * x[static_cast<std::size_t>(j)];
    }
  }

  // max |x - expected| / max |expected|
  double error(const std::vector<double>& got) const {
    double largest = 0.0, difference = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      largest = std::max(largest, std::fabs(x[i]));
      difference = std::max(difference, std::fabs(got[i] - x[i]));
    }
    return difference / largest;
  }
};

TEST(SparseLevelSolver, SolvesStepSystemsByIterationOrByLu) {
  // The iteration stops at a relative residual of 1e-12; these systems (condition up
  // to about 1e3) then hold their solution to about 1e-10. LU is exact to round-off.
  struct Case {
    const char* name;
    int nx, ny;
    double storage;
    int cap;
    Outcome outcome;
    double tolerance;
  };
  const std::vector<Case> cases = {
      {"long step", 60, 40, 0.01, SparseLevelSolver::DEFAULT_ITERATION_CAP, Outcome::Iterated, 1e-10},
      {"short step", 60, 40, 100.0, SparseLevelSolver::DEFAULT_ITERATION_CAP, Outcome::Iterated, 1e-10},
      {"one unknown", 1, 1, 1.0, SparseLevelSolver::DEFAULT_ITERATION_CAP, Outcome::Iterated, 1e-12},
      {"cap reached", 60, 40, 0.01, 2, Outcome::Factorised, 1e-12},
      {"no iteration allowed", 20, 10, 1.0, 0, Outcome::Factorised, 1e-12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GridSystem system(c.nx, c.ny, c.storage, 7);
    SparseLevelSolver solver;
    system.load(solver);
    solver.set_iteration_cap(c.cap);
    std::vector<double> x(static_cast<std::size_t>(system.n), 99.0);
    EXPECT_EQ(solver.solve(x), c.outcome);
    EXPECT_LT(system.error(x), c.tolerance);
    EXPECT_LE(solver.iterations(), c.cap);
    if (c.outcome == Outcome::Iterated) {
      EXPECT_LE(solver.residual(), SparseLevelSolver::TOLERANCE);
    }
    // Values written again over the same pattern solve again, the analysis reused.
    system.load(solver);
    solver.set_iteration_cap(c.cap);
    EXPECT_EQ(solver.solve(x), c.outcome);
    EXPECT_LT(system.error(x), c.tolerance);
  }
}

TEST(SparseLevelSolver, EveryEquationMeetsItsBalanceNotOnlyTheWhole) {
  // A long step on 100 x 100 squares whose derivatives spread over six decades, the
  // first half of them beside flows a thousand times larger: a relative residual of
  // the whole system of 1e-13 leaves equations 1e-5 off. With every equation weighted
  // (a residual of 1 m3/s counting 1 m), each is held within 1e-13 or within the
  // rounding of its own terms.
  const GridSystem system(100, 100, 0.001, 7, 6.0, 5000);
  SparseLevelSolver solver;
  system.load(solver);
  std::vector<double> x(static_cast<std::size_t>(system.n), 0.0);
  const std::span<const double> A = std::as_const(solver).values();
  const std::span<const int> starts = solver.row_starts(), columns = solver.columns();
  // The residual of equation i and the magnitude of its terms, summed in extended
  // precision.
  const auto residual = [&](int i, long double& magnitude) {
    long double r = solver.rhs()[static_cast<std::size_t>(i)];
    magnitude = std::fabs(r);
    for (int k = starts[static_cast<std::size_t>(i)]; k < starts[static_cast<std::size_t>(i) + 1]; ++k) {
      const long double term = static_cast<long double>(A[static_cast<std::size_t>(k)]) *
                               x[static_cast<std::size_t>(columns[static_cast<std::size_t>(k)])];
      r -= term;
      magnitude += std::fabs(term);
    }
    return std::fabs(static_cast<double>(r));
  };
  const auto largest_residual = [&] {
    double largest = 0.0;
    for (int i = 0; i < system.n; ++i) {
      long double magnitude = 0.0;
      largest = std::max(largest, residual(i, magnitude));
    }
    return largest;
  };

  ASSERT_EQ(solver.solve(x), Outcome::Iterated);
  EXPECT_GT(largest_residual(), 1e4 * SparseLevelSolver::BALANCE_TOLERANCE);

  std::fill(solver.row_weights().begin(), solver.row_weights().end(), 1.0);
  ASSERT_NE(solver.solve(x), Outcome::Singular);
  EXPECT_EQ(solver.balance_excess(), 0.0);
  for (int i = 0; i < system.n; ++i) {
    long double magnitude = 0.0;
    const double r = residual(i, magnitude);
    // The solver's own double sums of some five terms carry a few more units of 1e-16 of
    // their magnitude than these.
    const double rounding = 2.3e-16 * static_cast<double>(magnitude);
    EXPECT_LE(r, std::max(SparseLevelSolver::BALANCE_TOLERANCE,
                          SparseLevelSolver::ROUNDING_FACTOR * rounding) + 8.0 * rounding)
        << "equation " << i;
  }
}

TEST(SparseLevelSolver, SlotsCoverThePatternOnce) {
  SparseLevelSolver solver;
  const std::vector<std::pair<int, int>> entries = {{0, 0}, {1, 1}, {2, 2}, {0, 2}, {2, 0}, {0, 2}};
  solver.set_pattern(3, entries);
  EXPECT_EQ(solver.nonzeros(), 5);  // the repeated entry is one slot
  std::vector<int> seen(5, 0);
  for (const auto& [i, j] : entries) {
    const int s = solver.slot(i, j);
    ASSERT_GE(s, 0);
    EXPECT_EQ(solver.columns()[static_cast<std::size_t>(s)], j);
    EXPECT_GE(s, solver.row_starts()[static_cast<std::size_t>(i)]);
    EXPECT_LT(s, solver.row_starts()[static_cast<std::size_t>(i) + 1]);
    seen[static_cast<std::size_t>(s)] = 1;
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 5);
  EXPECT_EQ(solver.slot(1, 0), -1);
  EXPECT_EQ(solver.slot(3, 0), -1);
}

TEST(SparseLevelSolver, ZeroRightHandSideGivesZeroWithoutIterating) {
  const GridSystem system(10, 10, 1.0, 3);
  SparseLevelSolver solver;
  system.load(solver);
  std::fill(solver.rhs().begin(), solver.rhs().end(), 0.0);
  std::vector<double> x(static_cast<std::size_t>(system.n), 5.0);
  EXPECT_EQ(solver.solve(x), Outcome::Iterated);
  EXPECT_EQ(solver.iterations(), 0);
  for (double v : x) EXPECT_EQ(v, 0.0);
}

TEST(SparseLevelSolver, RefusesSingularSystems) {
  // An equation without coefficients, or with one that is not a number, is named; two
  // equal equations with different right-hand sides defeat the iteration and then LU.
  struct Case {
    const char* name;
    int row;             // the equation changed
    double value;        // written over its coefficients
    int singular_row;    // the row the solver names
  };
  const std::vector<Case> cases = {
      {"empty equation", 17, 0.0, 17},
      {"not a number", 42, std::nan(""), 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GridSystem system(10, 10, 1.0, 5);
    SparseLevelSolver solver;
    system.load(solver);
    const int first = solver.row_starts()[static_cast<std::size_t>(c.row)];
    const int end = solver.row_starts()[static_cast<std::size_t>(c.row) + 1];
    for (int s = first; s < end; ++s) solver.values()[static_cast<std::size_t>(s)] = c.value;
    std::vector<double> x(static_cast<std::size_t>(system.n));
    EXPECT_EQ(solver.solve(x), Outcome::Singular);
    EXPECT_EQ(solver.singular_row(), c.singular_row);
  }

  // Unknowns 0 and 1 coupled only to each other, by the same two equations.
  SparseLevelSolver solver;
  solver.set_pattern(3, std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 2}});
  solver.values()[static_cast<std::size_t>(solver.slot(0, 0))] = -2.0;
  solver.values()[static_cast<std::size_t>(solver.slot(0, 1))] = 1.0;
  solver.values()[static_cast<std::size_t>(solver.slot(1, 0))] = -2.0;
  solver.values()[static_cast<std::size_t>(solver.slot(1, 1))] = 1.0;
  solver.values()[static_cast<std::size_t>(solver.slot(2, 2))] = 1.0;
  solver.rhs()[0] = 1.0;
  solver.rhs()[1] = 2.0;
  solver.rhs()[2] = 1.0;
  std::vector<double> x(3);
  EXPECT_EQ(solver.solve(x), Outcome::Singular);
  EXPECT_EQ(solver.singular_row(), -1);
}

}  // namespace
}  // namespace quendal
