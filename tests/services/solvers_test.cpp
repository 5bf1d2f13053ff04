#include "services/solvers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "model_fixture.h"

namespace quendal {
namespace {

constexpr double EPS = std::numeric_limits<double>::epsilon();

// Deterministic values in (lo, hi) from the model's own generator.
struct Draws {
  int seed = -7;
  RandomUniformState state;
  double operator()(double lo, double hi) { return lo + (hi - lo) * RANDOM_UNIFORM(seed, state); }
};

// Dense solve of a column-stored n x n system with the LU routines (partial pivoting).
std::vector<double> dense_solve(std::vector<double> a, std::vector<double> r, int n) {
  std::vector<int> index(n);
  std::vector<double> scale(n);
  int parity = 0;
  bool singular = true;
  LU_DECOMPOSE(a, n, index, parity, singular, scale);
  EXPECT_FALSE(singular);
  LU_SOLVE(a, n, index, r);
  return r;
}

// ---- SOLVE_TRIDIAGONAL --------------------------------------------------------------

class TridiagonalAgainstDense : public ::testing::TestWithParam<int> {};

// A diagonally dominant system, as the column solvers build, solved both ways. The
// margin of dominance (|b| >= |a| + |c| + 1 with |a|, |c| < 1) bounds the condition
// number by about 3, so both solutions agree to a few units of round-off per equation:
// 1e-13 leaves a factor of ten over 50 * eps * cond.
TEST_P(TridiagonalAgainstDense, AgreesWithPivotedDenseSolve) {
  const int n = GetParam();
  Draws draw;
  std::vector<double> a(n), b(n), c(n), r(n);
  for (int i = 0; i < n; ++i) {
    a[i] = draw(-1, 1);
    c[i] = draw(-1, 1);
    b[i] = (std::fabs(a[i]) + std::fabs(c[i]) + 1.0 + draw(0, 2)) * (i % 2 ? -1.0 : 1.0);
    r[i] = draw(-10, 10);
  }
  // a(1) and c(n) are outside the matrix: poison them so that reading them shows.
  a[0] = std::nan("");
  c[n - 1] = std::nan("");

  std::vector<double> dense(static_cast<std::size_t>(n) * n, 0.0);
  auto D = [&](int i, int j) -> double& { return dense[(j - 1) * n + (i - 1)]; };
  for (int i = 1; i <= n; ++i) {
    D(i, i) = b[i - 1];
    if (i > 1) D(i, i - 1) = a[i - 1];
    if (i < n) D(i, i + 1) = c[i - 1];
  }
  std::vector<double> expected = dense_solve(dense, r, n);

  std::vector<double> u(n, 0.0), work(n);
  SOLVE_TRIDIAGONAL(a, b, c, r, u, n, work);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(u[i], expected[i], 1e-13 * (1 + std::fabs(expected[i]))) << i;

  // The fixed-work form, solving in place over the right side.
  std::vector<double> in_place = r;
  SOLVE_TRIDIAGONAL(a, b, c, in_place, in_place, n);
  for (int i = 0; i < n; ++i) EXPECT_EQ(in_place[i], u[i]) << i;

  // From both ends at once: the same solution up to the same round-off, for even and odd
  // sizes (the halves meet in the middle or one row below it).
  std::vector<double> two_ended(n + 1, 0.0), factors(n + 1, 0.0);
  tridiagonal_elimination_two_ended([&](int i) { return a[i - 1]; }, [&](int i) { return b[i - 1]; },
                                    [&](int i) { return c[i - 1]; }, [&](int i) { return r[i - 1]; },
                                    [&](int i) -> double& { return two_ended[i]; },
                                    [&](int i) -> double& { return factors[i]; }, n);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(two_ended[i + 1], expected[i], 1e-13 * (1 + std::fabs(expected[i]))) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TridiagonalAgainstDense, ::testing::Values(1, 2, 3, 4, 5, 7, 20, 50));

TEST(SolveTridiagonal, HandSolvedSmallSystems) {
  // n = 1: u = r / b.
  std::vector<double> b1{4.0}, r1{2.0}, u1{0.0};
  SOLVE_TRIDIAGONAL(b1, b1, b1, r1, u1, 1);
  EXPECT_DOUBLE_EQ(u1[0], 0.5);
  // [2 1; 1 3] u = (3, 4): u = (1, 1).
  std::vector<double> a{0, 1}, b{2, 3}, c{1, 0}, r{3, 4}, u(2);
  SOLVE_TRIDIAGONAL(a, b, c, r, u, 2);
  EXPECT_DOUBLE_EQ(u[0], 1.0);
  EXPECT_DOUBLE_EQ(u[1], 1.0);
  // No coupling: u(i) = r(i) / b(i).
  std::vector<double> zero(3, 0.0), b3{2, 4, 8}, r3{1, 1, 1}, u3(3);
  SOLVE_TRIDIAGONAL(zero, b3, zero, r3, u3, 3);
  EXPECT_DOUBLE_EQ(u3[0], 0.5);
  EXPECT_DOUBLE_EQ(u3[1], 0.25);
  EXPECT_DOUBLE_EQ(u3[2], 0.125);
}

// The column solvers pass slices of their state arrays: a row of an Array2 (stride =
// its first extent) and a section that starts part-way up a column.
TEST(SolveTridiagonal, WorksOnStridedSectionsOfStateArrays) {
  // Diagonals stored as rows 1..3 of a (3 x 6) array; equations use columns 2..5.
  Array2<double> diagonals(3, 6, 99.0);
  const double lower[4] = {0, -1, -1, -1}, diag[4] = {4, 4, 4, 4}, upper[4] = {-1, -1, -1, 0};
  for (int k = 0; k < 4; ++k) {
    diagonals(1, k + 2) = lower[k];
    diagonals(2, k + 2) = diag[k];
    diagonals(3, k + 2) = upper[k];
  }
  // Right side chosen so that u = (1, 2, 3, 4): r(i) = -u(i-1) + 4u(i) - u(i+1).
  Array1<double> column(10, 0.0);
  const double rhs[4] = {4 - 2, -1 + 8 - 3, -2 + 12 - 4, -3 + 16};
  for (int k = 0; k < 4; ++k) column(5 + k) = rhs[k];
  const long stride = diagonals.extent(1);
  SOLVE_TRIDIAGONAL(ConstRealSection(&diagonals(1, 2), 4, stride),
                    ConstRealSection(&diagonals(2, 2), 4, stride),
                    ConstRealSection(&diagonals(3, 2), 4, stride),
                    ConstRealSection(&column(5), 4), RealSection(&column(5), 4), 4);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(column(5 + k), k + 1.0, 1e-14);
  EXPECT_EQ(column(4), 0.0);
  EXPECT_EQ(column(9), 0.0);
}

// ---- MATRIX_PRODUCT, MATRIX_VECTOR_PRODUCT (row after row) ---------------------------

TEST(MatrixProducts, RowAfterRowStorage) {
  // [1 2 3; 4 5 6] . [7 8; 9 10; 11 12] = [58 64; 139 154]
  const std::vector<double> a{1, 2, 3, 4, 5, 6}, b{7, 8, 9, 10, 11, 12};
  std::vector<double> c(4, -1.0);
  MATRIX_PRODUCT(c, a, b, 2, 3, 2);
  EXPECT_EQ(c, (std::vector<double>{58, 64, 139, 154}));

  std::vector<double> y(2, -1.0);
  MATRIX_VECTOR_PRODUCT(y, a, std::vector<double>{1, 0, -1}, 2, 3);
  EXPECT_EQ(y, (std::vector<double>{-2, -2}));
}

TEST(MatrixProducts, EmptyDimensions) {
  const std::vector<double> a{1, 2}, b{3, 4};
  std::vector<double> c{5, 5, 5, 5};
  MATRIX_PRODUCT(c, a, b, 0, 1, 2);  // no rows: nothing written
  MATRIX_PRODUCT(c, a, b, 2, 1, 0);  // no columns: nothing written
  EXPECT_EQ(c, (std::vector<double>{5, 5, 5, 5}));
  MATRIX_PRODUCT(c, a, b, 2, 0, 2);  // empty inner dimension: the zero matrix
  EXPECT_EQ(c, (std::vector<double>{0, 0, 0, 0}));

  std::vector<double> y{7, 7};
  MATRIX_VECTOR_PRODUCT(y, a, b, 2, 0);
  EXPECT_EQ(y, (std::vector<double>{0, 0}));
  y = {7, 7};
  MATRIX_VECTOR_PRODUCT(y, a, b, 0, 2);
  EXPECT_EQ(y, (std::vector<double>{7, 7}));
}

// ---- LU_DECOMPOSE, LU_SOLVE, INVERT_MATRIX (column after column) ---------------------

TEST(LuDecompose, ExchangeIsRecordedInIndexAndParity) {
  // Rows (0 2) and (3 1): the first pivot must come from row 2.
  std::vector<double> a{0, 3, 2, 1};  // column after column
  std::vector<int> index(2);
  std::vector<double> scale(2);
  int parity = 0;
  bool singular = true;
  LU_DECOMPOSE(a, 2, index, parity, singular, scale);
  EXPECT_FALSE(singular);
  EXPECT_EQ(parity, -1);
  EXPECT_EQ(index, (std::vector<int>{2, 2}));
  // det = parity * product of the diagonal of U = -(3 * 2) = -6.
  EXPECT_DOUBLE_EQ(parity * a[0] * a[3], -6.0);
  std::vector<double> v{4, 5};  // 0x + 2y = 4, 3x + y = 5: x = 1, y = 2
  LU_SOLVE(a, 2, index, v);
  EXPECT_DOUBLE_EQ(v[0], 1.0);
  EXPECT_DOUBLE_EQ(v[1], 2.0);
}

struct InversionCase {
  const char* name;
  int n;
  std::vector<double> matrix;    // column after column
  int singular;
  std::vector<double> expected;  // the inverse, or the unchanged matrix when singular
};

class InvertMatrixCases : public ::testing::TestWithParam<InversionCase> {};

TEST_P(InvertMatrixCases, InverseOrFlag) {
  const InversionCase& c = GetParam();
  std::vector<double> a = c.matrix;
  MatrixWork work;
  int singular = -1;
  INVERT_MATRIX(a, c.n, singular, work);
  EXPECT_EQ(singular, c.singular);
  ASSERT_EQ(a.size(), c.expected.size());
  for (std::size_t k = 0; k < a.size(); ++k) EXPECT_NEAR(a[k], c.expected[k], 1e-15) << k;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InvertMatrixCases,
    ::testing::Values(
        InversionCase{"ScalarTwo", 1, {2.0}, 0, {0.5}},
        InversionCase{"ScalarBelowThreshold", 1, {1e-16}, 1, {1e-16}},
        InversionCase{"EmptyMatrix", 0, {}, 1, {}},
        // (0 1; 1 0) is its own inverse; it needs a row exchange.
        InversionCase{"Exchange", 2, {0, 1, 1, 0}, 0, {0, 1, 1, 0}},
        // (4 7; 2 6)^-1 = (0.6 -0.7; -0.2 0.4)
        InversionCase{"General2x2", 2, {4, 2, 7, 6}, 0, {0.6, -0.2, -0.7, 0.4}},
        // A zero second row: flagged, left as it was.
        InversionCase{"ZeroRow", 3, {1, 0, 2, 3, 0, 4, 5, 0, 6}, 1, {1, 0, 2, 3, 0, 4, 5, 0, 6}}),
    [](const ::testing::TestParamInfo<InversionCase>& info) { return info.param.name; });

// Two equal rows are singular too, but only a zero row raises the flag: the zero pivot is
// replaced by 1e-20 and the "inverse" carries entries of the order of 1e20. Callers that
// need more than the flag must look at the result.
TEST(InvertMatrix, RankDeficientMatrixIsNotFlagged) {
  std::vector<double> a{1, 1, 2, 2};  // rows (1 2) and (1 2)
  MatrixWork work;
  int singular = -1;
  INVERT_MATRIX(a, 2, singular, work);
  EXPECT_EQ(singular, 0);
  double largest = 0;
  for (double x : a) largest = std::max(largest, std::fabs(x));
  EXPECT_GT(largest, 1e15);
}

// A random 100 x 100 matrix times its inverse is the identity to round-off. For an
// inverse computed column by column from LU with partial pivoting the residual obeys
// |A X - I| <= c n eps |A| |X| (small growth factor for random matrices); we allow
// 3 n eps ||A|| ||X|| in the infinity norm, measured on the matrix at hand, and check
// that this bound is itself small so that an ill-conditioned draw cannot hide a fault.
TEST(InvertMatrix, RandomMatrixTimesInverseIsIdentity) {
  const int n = 100;
  Draws draw;
  std::vector<double> a(n * n);
  for (double& x : a) x = draw(-1, 1);
  std::vector<double> x = a;
  MatrixWork work;
  int singular = -1;
  INVERT_MATRIX(x, n, singular, work);
  ASSERT_EQ(singular, 0);

  auto norm_inf = [n](const std::vector<double>& m) {
    double worst = 0;
    for (int i = 0; i < n; ++i) {
      double row = 0;
      for (int j = 0; j < n; ++j) row += std::fabs(m[j * n + i]);
      worst = std::max(worst, row);
    }
    return worst;
  };
  const double bound = 3.0 * n * EPS * norm_inf(a) * norm_inf(x);
  ASSERT_LT(bound, 1e-8);

  // The storage is read column after column; MATRIX_PRODUCT reads row after row, so
  // multiply the transposes: X^T A^T = (A X)^T, whose distance from I is the same.
  std::vector<double> product(n * n);
  MATRIX_PRODUCT(product, x, a, n, n, n);
  double worst = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      worst = std::max(worst, std::fabs(product[i * n + j] - (i == j ? 1.0 : 0.0)));
  EXPECT_LT(worst, bound);
  EXPECT_EQ(work.capacity(), n);
}

// ---- INTERPOLATE_TIME_TABLE ---------------------------------------------------------

struct TimeTableTest : testing::ModelWithFiles {
  // Three series of room (ld = 3); series 2 is the one under test. Each table is sized
  // to exactly the rows given, so a read past the last row is caught by the sanitizer.
  static constexpr int ld = 3;
  std::vector<double> result = std::vector<double>(ld, -1.0);
  std::vector<int> row = std::vector<int>(ld, 1);
  std::vector<double> scale{0.0, 1.0, 0.0};

  // Series 2 gets (day, value) pairs; the other series hold garbage.
  void set_table(const std::vector<std::pair<double, double>>& rows) {
    times.assign(rows.size() * ld, std::nan(""));
    values.assign(rows.size() * ld, std::nan(""));
    for (std::size_t r = 0; r < rows.size(); ++r) {
      times[r * ld + 1] = rows[r].first;
      values[r * ld + 1] = rows[r].second;
    }
  }
  double at(double hours) {
    INTERPOLATE_TIME_TABLE(model.io, result, hours, values, times, row, scale, ld, 2,
                           static_cast<int>(times.size() / ld), "PLAI");
    return result[1];
  }
  int warnings() {
    model.io.units.flush_all();
    std::string text = testing::read_file(print_path);
    int count = 0;
    for (std::size_t p = text.find("WARNING 4999"); p != std::string::npos;
         p = text.find("WARNING 4999", p + 1))
      ++count;
    return count;
  }
  std::vector<double> times, values;
};

TEST_F(TimeTableTest, InterpolatesWithinEvenTable) {
  set_table({{0, 2}, {1, 4}});
  scale[1] = 1.0;
  EXPECT_DOUBLE_EQ(at(12.0), 3.0);
  EXPECT_EQ(row[1], 1);
  set_table({{0, 2}, {1, 4}, {2, 10}});
  // 30 h is day 1.25: a quarter of the way from 4 to 10.
  EXPECT_DOUBLE_EQ(at(30.0), 5.5);
  EXPECT_EQ(row[1], 2);
  scale[1] = 2.0;
  EXPECT_DOUBLE_EQ(at(30.0), 11.0);
  EXPECT_EQ(result[0], -1.0);  // other series untouched
  EXPECT_EQ(result[2], -1.0);
  EXPECT_EQ(warnings(), 0);
}

TEST_F(TimeTableTest, SearchesUnevenRowsBothWays) {
  // Rows at days 0, 0.5 and 5: day 2 lies in the long last interval, which a jump by
  // whole lengths of the first interval would overshoot.
  set_table({{0, 0}, {0.5, 10}, {5, 20}});
  EXPECT_DOUBLE_EQ(at(48.0), 10.0 + (2.0 - 0.5) / 4.5 * 10.0);
  EXPECT_EQ(row[1], 2);
  EXPECT_DOUBLE_EQ(at(6.0), 5.0);  // back to day 0.25
  EXPECT_EQ(row[1], 1);
  EXPECT_DOUBLE_EQ(at(120.0), 20.0);  // exactly the last row: inside, no warning
  EXPECT_EQ(warnings(), 0);
}

TEST_F(TimeTableTest, HoldsEndValuesWithOneWarningPerExcursion) {
  set_table({{1, 7}, {2, 9}});
  EXPECT_DOUBLE_EQ(at(12.0), 7.0);  // day 0.5, before the first row
  EXPECT_DOUBLE_EQ(at(18.0), 7.0);
  EXPECT_EQ(row[1], 0);
  EXPECT_EQ(warnings(), 1);
  EXPECT_DOUBLE_EQ(at(36.0), 8.0);  // back inside
  EXPECT_EQ(row[1], 1);
  EXPECT_DOUBLE_EQ(at(72.0), 9.0);  // day 3, past the last row
  EXPECT_DOUBLE_EQ(at(500.0), 9.0);
  EXPECT_EQ(row[1], 2);
  EXPECT_EQ(warnings(), 2);
  model.io.units.flush_all();
  EXPECT_NE(testing::read_file(print_path)
                .find("PLAI time table of series   2 ends at day     2.000; its last value is "
                      "held from hour       72.00"),
            std::string::npos);
}

TEST_F(TimeTableTest, SingleRowHoldsItsValue) {
  set_table({{3, 6}});
  EXPECT_DOUBLE_EQ(at(0.0), 6.0);
  EXPECT_DOUBLE_EQ(at(1000.0), 6.0);
  EXPECT_EQ(warnings(), 0);
}

// ---- RANDOM_UNIFORM -----------------------------------------------------------------

TEST(RandomUniform, RestartsReproduciblyAndStaysInsideTheUnitInterval) {
  RandomUniformState s1, s2;
  int seed1 = 0, seed2 = -1;  // both start from 1
  for (int k = 0; k < 1000; ++k) {
    float x = RANDOM_UNIFORM(seed1, s1);
    ASSERT_EQ(x, RANDOM_UNIFORM(seed2, s2)) << k;
    ASSERT_GT(x, 0.0f);
    ASSERT_LT(x, 1.0f);
  }
  // A new non-positive seed restarts the sequence whatever state came before.
  RandomUniformState fresh;
  int seed_a = -42, seed_b = -42;
  std::vector<float> first;
  for (int k = 0; k < 5; ++k) first.push_back(RANDOM_UNIFORM(seed_a, fresh));
  for (int k = 0; k < 5; ++k) EXPECT_EQ(RANDOM_UNIFORM(seed_b, s1), first[k]) << k;
}

// Mean 1/2 and variance 1/12 of a uniform deviate, and no correlation between neighbours:
// over N = 200000 draws each estimate lies within 5 standard errors of its value
// (standard errors sqrt(1/12/N) = 6.5e-4 for the mean, sqrt((1/80 - 1/144)/N) = 1.7e-4
// for the variance,
// 1/sqrt(N) = 2.2e-3 for the lag-one correlation).
TEST(RandomUniform, MomentsOfAUniformDeviate) {
  const int N = 200000;
  RandomUniformState state;
  int seed = -12345;
  double sum = 0, sum2 = 0, lag = 0, previous = 0.5;
  for (int k = 0; k < N; ++k) {
    double x = RANDOM_UNIFORM(seed, state);
    sum += x;
    sum2 += x * x;
    lag += (x - 0.5) * (previous - 0.5);
    previous = x;
  }
  const double mean = sum / N;
  const double variance = sum2 / N - mean * mean;
  EXPECT_NEAR(mean, 0.5, 5 * 6.5e-4);
  EXPECT_NEAR(variance, 1.0 / 12.0, 5 * 1.7e-4);
  EXPECT_NEAR(lag / N * 12.0, 0.0, 5 * 2.2e-3);
}

}  // namespace
}  // namespace quendal
