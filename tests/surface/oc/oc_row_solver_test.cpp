// The block-tridiagonal row solver against systems whose solution is known in advance:
// the right-hand side is made from a chosen x, so the solver must give that x back.
#include "surface/oc/oc_row_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace quendal {
namespace {

// A block-tridiagonal system in plain storage: dense diagonal blocks and sparse
// couplings to the rows above and below.
struct Coupling {
  int i, k;
  double v;
};
struct TestSystem {
  std::vector<int> sizes;                          // n(r), r = 1..R at [r - 1]
  std::vector<std::vector<double>> D;              // n x n, (i, j) at (i - 1) + n (j - 1)
  std::vector<std::vector<Coupling>> lower, upper;
  std::vector<std::vector<double>> x, b;

  // b = L x(r-1) + D x(r) + U x(r+1), from x.
  void make_rhs() {
    const int R = static_cast<int>(sizes.size());
    b.assign(R, {});
    for (int r = 0; r < R; ++r) {
      const int n = sizes[r];
      b[r].assign(n, 0.0);
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) b[r][i] += D[r][i + n * j] * x[r][j];
      }
      for (const Coupling& c : lower[r]) b[r][c.i - 1] += c.v * x[r - 1][c.k - 1];
      for (const Coupling& c : upper[r]) b[r][c.i - 1] += c.v * x[r + 1][c.k - 1];
    }
  }
};

// Rows of the given sizes; diagonal blocks dense and diagonally weighted like a storage
// term plus face derivatives, a few couplings per equation to each neighbouring row
// (none across an empty row), a random solution.
TestSystem random_system(const std::vector<int>& sizes, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  TestSystem s;
  s.sizes = sizes;
  const int R = static_cast<int>(sizes.size());
  s.D.resize(R);
  s.lower.resize(R);
  s.upper.resize(R);
  s.x.resize(R);
  for (int r = 0; r < R; ++r) {
    const int n = sizes[r];
    s.D[r].assign(static_cast<std::size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        // Sparse-ish: neighbours in the row, like faces 1 and 3.
        if (std::abs(i - j) <= 2 || (i + j) % 7 == 0) s.D[r][i + n * j] = u(rng);
      }
      s.D[r][i + n * i] = -4.0 + u(rng);
    }
    for (int i = 1; i <= n; ++i) {
      if (r > 0 && sizes[r - 1] > 0) {
        std::uniform_int_distribution<int> pick(1, sizes[r - 1]);
        for (int c = 0; c < 2; ++c) s.lower[r].push_back({i, pick(rng), u(rng)});
      }
      if (r + 1 < R && sizes[r + 1] > 0) {
        std::uniform_int_distribution<int> pick(1, sizes[r + 1]);
        for (int c = 0; c < 2; ++c) s.upper[r].push_back({i, pick(rng), u(rng)});
      }
    }
    s.x[r].resize(n);
    for (double& v : s.x[r]) v = u(rng);
  }
  s.make_rhs();
  return s;
}

// Assembles and solves; returns the first singular row, 0 when none.
int solve(const TestSystem& s, BlockRowSolver& solver) {
  solver.set_shape(s.sizes);
  const int R = static_cast<int>(s.sizes.size());
  for (int r = 1; r <= R; ++r) {
    solver.begin_row(r);
    const int n = s.sizes[r - 1];
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) solver.diagonal(i, j) = s.D[r - 1][(i - 1) + n * (j - 1)];
      solver.rhs(i) = s.b[r - 1][i - 1];
    }
    for (const Coupling& c : s.lower[r - 1]) solver.add_lower(c.i, c.k, c.v);
    for (const Coupling& c : s.upper[r - 1]) solver.add_upper(c.i, c.k, c.v);
    if (!solver.eliminate_row()) return r;
  }
  solver.back_substitute();
  return 0;
}

// The rounding of a well-conditioned system of a few hundred unknowns stays far below
// this; an error in the elimination (a wrong sign, a coupling to the wrong row) does not.
constexpr double SOLUTION_TOLERANCE = 1e-10;

TEST(OcRowSolver, RecoversTheSolutionOfBlockRowSystems) {
  struct Case {
    const char* name;
    std::vector<int> sizes;
  };
  const std::vector<Case> cases = {
      {"one row", {5}},
      {"rows of one unknown", {1, 1, 1, 1}},
      {"rows of growing and shrinking size", {3, 7, 12, 4, 9}},
      {"an empty row cuts the chain", {4, 6, 0, 5, 3}},
      {"empty first and last rows", {0, 0, 6, 8, 0}},
      {"wide rows", {40, 55, 38, 60}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestSystem s = random_system(c.sizes, 17u + static_cast<unsigned>(c.sizes.size()));
    BlockRowSolver solver;
    ASSERT_EQ(solve(s, solver), 0);
    for (int r = 1; r <= static_cast<int>(c.sizes.size()); ++r) {
      for (int i = 1; i <= c.sizes[r - 1]; ++i) {
        EXPECT_NEAR(solver.solution(r, i), s.x[r - 1][i - 1], SOLUTION_TOLERANCE)
            << "row " << r << " unknown " << i;
      }
    }
  }
}

TEST(OcRowSolver, ReusesItsStorageForANewSystemOfTheSameShape) {
  const std::vector<int> sizes = {6, 9, 5};
  BlockRowSolver solver;
  for (unsigned seed : {1u, 2u, 3u}) {
    TestSystem s = random_system(sizes, seed);
    ASSERT_EQ(solve(s, solver), 0);
    for (int r = 1; r <= 3; ++r) {
      for (int i = 1; i <= sizes[r - 1]; ++i) {
        EXPECT_NEAR(solver.solution(r, i), s.x[r - 1][i - 1], SOLUTION_TOLERANCE);
      }
    }
  }
}

TEST(OcRowSolver, PivotsPastAZeroDiagonal) {
  // [0 2; 3 0] x = [4; 9]  ->  x = [3; 2]; then the next row: 2 y + x2 (coupling) = 10.
  BlockRowSolver solver;
  const std::vector<int> sizes = {2, 1};
  solver.set_shape(sizes);
  solver.begin_row(1);
  solver.diagonal(1, 2) = 2.0;
  solver.diagonal(2, 1) = 3.0;
  solver.rhs(1) = 4.0 + 1.0 * 2.0;  // U(1)(1, 1) = 1 couples to y = 2
  solver.rhs(2) = 9.0;
  solver.add_upper(1, 1, 1.0);
  ASSERT_TRUE(solver.eliminate_row());
  solver.begin_row(2);
  solver.diagonal(1, 1) = 2.0;
  solver.add_lower(1, 2, 1.0);
  solver.rhs(1) = 2.0 * 2.0 + 2.0;
  ASSERT_TRUE(solver.eliminate_row());
  solver.back_substitute();
  EXPECT_NEAR(solver.solution(1, 1), 3.0, 1e-14);
  EXPECT_NEAR(solver.solution(1, 2), 2.0, 1e-14);
  EXPECT_NEAR(solver.solution(2, 1), 2.0, 1e-14);
}

TEST(OcRowSolver, ReportsASingularBlock) {
  struct Case {
    const char* name;
    std::vector<double> block;  // 2 x 2, column after column
  };
  const std::vector<Case> cases = {
      {"zero block", {0.0, 0.0, 0.0, 0.0}},
      {"zero column", {1.0, 2.0, 0.0, 0.0}},
      {"dependent rows", {1.0, 2.0, 2.0, 4.0}},
      {"not a number", {std::nan(""), 0.0, 0.0, 1.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BlockRowSolver solver;
    const std::vector<int> sizes = {1, 2};
    solver.set_shape(sizes);
    solver.begin_row(1);
    solver.diagonal(1, 1) = 1.0;
    ASSERT_TRUE(solver.eliminate_row());
    solver.begin_row(2);
    solver.diagonal(1, 1) = c.block[0];
    solver.diagonal(2, 1) = c.block[1];
    solver.diagonal(1, 2) = c.block[2];
    solver.diagonal(2, 2) = c.block[3];
    EXPECT_FALSE(solver.eliminate_row());
  }
}

}  // namespace
}  // namespace quendal
