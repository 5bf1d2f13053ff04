#include "services/solvers.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/predicates.h"
#include "services/units.h"

namespace quendal {

namespace {

// Callers hand spans over their own arrays; one that is too short is a program error,
// caught before anything is read or written.
void require_room(std::size_t have, long need, const char* what) {
  if (need > 0 && have < static_cast<std::size_t>(need)) {
    throw std::length_error(std::string(what) + ": storage holds " + std::to_string(have) +
                            " values, " + std::to_string(need) + " needed");
  }
}

// (i, j) of an n x n matrix stored column after column, 1-based.
inline std::size_t at(int i, int j, int n) {
  return static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n) +
         static_cast<std::size_t>(i - 1);
}

// The pivot that stands in for an exact zero, so that the elimination can go on.
constexpr double TINY_PIVOT = 1e-20;
// A 1 x 1 matrix at or below this magnitude is treated as singular.
constexpr double SINGULAR_SCALAR = 1e-15;

}  // namespace

// ---- Tridiagonal systems -----------------------------------------------------------

void SOLVE_TRIDIAGONAL(ConstRealSection a, ConstRealSection b, ConstRealSection c,
                       ConstRealSection r, RealSection u, int n, RealSection work) {
  if (n <= 0) return;
  tridiagonal_elimination([&](int i) { return a.nth(i); }, [&](int i) { return b.nth(i); },
                          [&](int i) { return c.nth(i); }, [&](int i) { return r.nth(i); },
                          [&](int i) -> double& { return u.nth(i); },
                          [&](int i) -> double& { return work.nth(i); }, n);
}

void SOLVE_TRIDIAGONAL(ConstRealSection a, ConstRealSection b, ConstRealSection c,
                       ConstRealSection r, RealSection u, int n) {
  if (n > TRIDIAGONAL_FIXED_WORK) {
    throw std::length_error("SOLVE_TRIDIAGONAL: " + std::to_string(n) +
                            " equations exceed the fixed work space; pass work space");
  }
  std::array<double, TRIDIAGONAL_FIXED_WORK> work;
  SOLVE_TRIDIAGONAL(a, b, c, r, u, n, RealSection(work.data(), TRIDIAGONAL_FIXED_WORK));
}

// ---- Dense products ----------------------------------------------------------------

void MATRIX_PRODUCT(std::span<double> c, std::span<const double> a, std::span<const double> b,
                    int n, int l, int m) {
  if (n <= 0 || m <= 0) return;
  const long nl = static_cast<long>(n) * std::max(l, 0);
  require_room(c.size(), static_cast<long>(n) * m, "MATRIX_PRODUCT (c)");
  require_room(a.size(), nl, "MATRIX_PRODUCT (a)");
  require_room(b.size(), static_cast<long>(std::max(l, 0)) * m, "MATRIX_PRODUCT (b)");
  // Row by row, so that b and c are walked in memory order. Every c(i, j) still takes
  // its terms in the order k = 1..l, so the sums are those of a column-by-column loop.
  for (int i = 0; i < n; ++i) {
    double* ci = c.data() + static_cast<std::size_t>(i) * m;
    std::fill(ci, ci + m, 0.0);
    const double* ai = a.data() + static_cast<std::size_t>(i) * std::max(l, 0);
    for (int k = 0; k < l; ++k) {
      const double aik = ai[k];
      const double* bk = b.data() + static_cast<std::size_t>(k) * m;
      for (int j = 0; j < m; ++j) ci[j] += aik * bk[j];
    }
  }
}

void MATRIX_VECTOR_PRODUCT(std::span<double> y, std::span<const double> a,
                           std::span<const double> x, int n, int m) {
  if (n <= 0) return;
  const int cols = std::max(m, 0);
  require_room(y.size(), n, "MATRIX_VECTOR_PRODUCT (y)");
  require_room(a.size(), static_cast<long>(n) * cols, "MATRIX_VECTOR_PRODUCT (a)");
  require_room(x.size(), cols, "MATRIX_VECTOR_PRODUCT (x)");
  for (int i = 0; i < n; ++i) {
    const double* ai = a.data() + static_cast<std::size_t>(i) * cols;
    double sum = 0.0;
    for (int j = 0; j < cols; ++j) sum += ai[j] * x[static_cast<std::size_t>(j)];
    y[static_cast<std::size_t>(i)] = sum;
  }
}

// ---- LU decomposition and inversion ------------------------------------------------

void LU_DECOMPOSE(std::span<double> a, int n, std::span<int> index, int& parity, bool& singular,
                  std::span<double> scale_work) {
  parity = 1;
  singular = false;
  if (n <= 0) return;
  require_room(a.size(), static_cast<long>(n) * n, "LU_DECOMPOSE (a)");
  require_room(index.size(), n, "LU_DECOMPOSE (index)");
  require_room(scale_work.size(), n, "LU_DECOMPOSE (scale)");
  auto A = [&](int i, int j) -> double& { return a[at(i, j, n)]; };
  auto scale = [&](int i) -> double& { return scale_work[static_cast<std::size_t>(i - 1)]; };

  // Implicit scaling: each row is weighed by its largest entry when choosing pivots.
  // A zero row is found before anything is changed, so a singular matrix is left as it was.
  for (int i = 1; i <= n; ++i) {
    double big = 0.0;
    for (int j = 1; j <= n; ++j) big = std::max(big, std::fabs(A(i, j)));
    if (IS_ZERO(big)) {
      singular = true;
      return;
    }
    scale(i) = 1.0 / big;
  }

  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) {
      double sum = A(i, j);
      for (int k = 1; k < i; ++k) sum -= A(i, k) * A(k, j);
      A(i, j) = sum;
    }
    double big = 0.0;
    int pivot = j;
    for (int i = j; i <= n; ++i) {
      double sum = A(i, j);
      for (int k = 1; k < j; ++k) sum -= A(i, k) * A(k, j);
      A(i, j) = sum;
      // ">=": among equal candidates the last row wins.
      double candidate = scale(i) * std::fabs(sum);
      if (candidate >= big) {
        big = candidate;
        pivot = i;
      }
    }
    if (pivot != j) {
      for (int k = 1; k <= n; ++k) std::swap(A(pivot, k), A(j, k));
      parity = -parity;
      scale(pivot) = scale(j);
    }
    index[static_cast<std::size_t>(j - 1)] = pivot;
    if (IS_ZERO(A(j, j))) A(j, j) = TINY_PIVOT;
    if (j < n) {
      const double reciprocal = 1.0 / A(j, j);
      for (int i = j + 1; i <= n; ++i) A(i, j) *= reciprocal;
    }
  }
}

void LU_SOLVE(std::span<const double> a, int n, std::span<const int> index, std::span<double> v) {
  if (n <= 0) return;
  require_room(a.size(), static_cast<long>(n) * n, "LU_SOLVE (a)");
  require_room(index.size(), n, "LU_SOLVE (index)");
  require_room(v.size(), n, "LU_SOLVE (v)");
  auto A = [&](int i, int j) { return a[at(i, j, n)]; };
  auto V = [&](int i) -> double& { return v[static_cast<std::size_t>(i - 1)]; };

  // Forward substitution, undoing the row exchanges as it goes. The leading zeros of
  // the permuted right side are skipped: `first` is the first row with a non-zero sum.
  int first = 0;
  for (int i = 1; i <= n; ++i) {
    const int p = index[static_cast<std::size_t>(i - 1)];
    if (p < 1 || p > n) throw std::out_of_range("LU_SOLVE: pivot row out of range");
    double sum = V(p);
    V(p) = V(i);
    if (first != 0) {
      for (int k = first; k < i; ++k) sum -= A(i, k) * V(k);
    } else if (IS_NON_ZERO(sum)) {
      first = i;
    }
    V(i) = sum;
  }
  for (int i = n; i >= 1; --i) {
    double sum = V(i);
    for (int k = i + 1; k <= n; ++k) sum -= A(i, k) * V(k);
    V(i) = sum / A(i, i);
  }
}

void MatrixWork::reserve(int n) {
  if (n <= capacity_) return;
  scale_.resize(static_cast<std::size_t>(n));
  index_.resize(static_cast<std::size_t>(n));
  columns_.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  capacity_ = n;
}

void INVERT_MATRIX(std::span<double> a, int n, int& singular, MatrixWork& work) {
  if (n < 1) {
    singular = 1;
    return;
  }
  require_room(a.size(), static_cast<long>(n) * n, "INVERT_MATRIX (a)");
  if (n == 1) {
    if (std::fabs(a[0]) > SINGULAR_SCALAR) {
      a[0] = 1.0 / a[0];
      singular = 0;
    } else {
      singular = 1;
    }
    return;
  }
  singular = 0;
  work.reserve(n);
  const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  std::span<int> index(work.index_.data(), static_cast<std::size_t>(n));
  int parity = 1;
  bool zero_row = false;
  LU_DECOMPOSE(a, n, index, parity, zero_row, std::span<double>(work.scale_.data(), n));
  if (zero_row) {
    singular = 1;
    return;
  }
  // Column j of the inverse solves A x = e_j.
  double* columns = work.columns_.data();
  std::fill(columns, columns + nn, 0.0);
  for (int j = 1; j <= n; ++j) {
    std::span<double> column(columns + at(1, j, n), static_cast<std::size_t>(n));
    column[static_cast<std::size_t>(j - 1)] = 1.0;
    LU_SOLVE(a, n, index, column);
  }
  std::copy(columns, columns + nn, a.data());
}

// ---- Time tables -------------------------------------------------------------------

void INTERPOLATE_TIME_TABLE(RunIo& io, std::span<double> result, double t,
                            std::span<const double> values, std::span<const double> times,
                            std::span<int> row, std::span<const double> scale, int ld, int s,
                            int row_count, std::string_view table_name) {
  if (row_count < 1 || s < 1 || s > ld) {
    throw std::invalid_argument("INTERPOLATE_TIME_TABLE: series " + std::to_string(s) + " of " +
                                std::to_string(ld) + " with " + std::to_string(row_count) +
                                " rows");
  }
  const long last_position = static_cast<long>(row_count - 1) * ld + s;
  require_room(values.size(), last_position, "INTERPOLATE_TIME_TABLE (values)");
  require_room(times.size(), last_position, "INTERPOLATE_TIME_TABLE (times)");
  require_room(result.size(), s, "INTERPOLATE_TIME_TABLE (result)");
  require_room(row.size(), s, "INTERPOLATE_TIME_TABLE (row)");
  require_room(scale.size(), s, "INTERPOLATE_TIME_TABLE (scale)");

  auto position = [&](int r) {
    return static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(ld) +
           static_cast<std::size_t>(s - 1);
  };
  auto T = [&](int r) { return times[position(r)]; };
  auto V = [&](int r) { return values[position(r)]; };
  const std::size_t is = static_cast<std::size_t>(s - 1);
  int& pointer = row[is];
  const double factor = scale[is];
  const int n = row_count;

  if (n == 1) {
    pointer = 1;
    result[is] = V(1) * factor;
    return;
  }

  const double day = t / 24.0;
  if (day > T(n)) {
    // Past the last row: hold the last value. The pointer parked at the last row
    // records that this series has been warned.
    if (pointer != n) {
      REPORT_ERROR(io, SEVERITY_WARNING, TIME_TABLE_WARNING, PRINT_UNIT, 0, 0,
                   format_line("(A,' time table of series',I4,' ends at day',F10.3,"
                               "'; its last value is held from hour',F12.2)",
                               table_name, s, T(n), t));
    }
    pointer = n;
    result[is] = V(n) * factor;
    return;
  }
  if (day < T(1)) {
    // Before the first row: hold the first value; the pointer parked at 0 marks the
    // warning as given.
    if (pointer != 0) {
      REPORT_ERROR(io, SEVERITY_WARNING, TIME_TABLE_WARNING, PRINT_UNIT, 0, 0,
                   format_line("(A,' time table of series',I4,' starts at day',F10.3,"
                               "'; its first value is held at hour',F12.2)",
                               table_name, s, T(1), t));
    }
    pointer = 0;
    result[is] = V(1) * factor;
    return;
  }

  // Inside the table: the interval d with T(d) <= t/24 < T(d+1) (the last interval
  // also takes t/24 = T(n)). Time moves forward a little each step, so the search
  // from the pointer takes a step or two.
  int d = std::clamp(pointer, 1, n - 1);
  while (d < n - 1 && day >= T(d + 1)) ++d;
  while (d > 1 && day < T(d)) --d;
  pointer = d;
  result[is] = (V(d) + (t - 24.0 * T(d)) * (V(d + 1) - V(d)) / (24.0 * (T(d + 1) - T(d)))) * factor;
}

// ---- Random numbers ----------------------------------------------------------------

float RANDOM_UNIFORM(int& seed, RandomUniformState& state) {
  constexpr long long M1 = 2147483563, M2 = 2147483399;
  constexpr long long A1 = 40014, A2 = 40692;
  constexpr long long Q1 = 53668, Q2 = 52774;  // M / A
  constexpr long long R1 = 12211, R2 = 3791;   // M mod A
  constexpr int TABLE = 32;
  constexpr long long DIVISOR = 1 + (M1 - 1) / TABLE;
  constexpr float RECIPROCAL = 1.0f / 2147483563.0f;
  constexpr float LARGEST = 0.9999999f;

  // a * x mod m by Schrage's factorisation, which never leaves 32-bit range.
  auto advance = [](long long x, long long a, long long q, long long r, long long m) {
    long long k = x / q;
    x = a * (x - k * q) - k * r;
    if (x < 0) x += m;
    return x;
  };

  long long x1 = seed;
  if (x1 <= 0) {
    x1 = std::max(1LL, -x1);
    state.seed2 = static_cast<int>(x1);
    // 40 warm-up draws; the last 32 fill the shuffle table.
    for (int j = TABLE + 7; j >= 0; --j) {
      x1 = advance(x1, A1, Q1, R1, M1);
      if (j < TABLE) state.table[static_cast<std::size_t>(j)] = static_cast<int>(x1);
    }
    state.last = state.table[0];
  }
  x1 = advance(x1, A1, Q1, R1, M1);
  long long x2 = advance(state.seed2, A2, Q2, R2, M2);
  state.seed2 = static_cast<int>(x2);
  const std::size_t j = static_cast<std::size_t>(state.last / DIVISOR);
  long long combined = static_cast<long long>(state.table[j]) - x2;
  state.table[j] = static_cast<int>(x1);
  if (combined < 1) combined += M1 - 1;
  state.last = static_cast<int>(combined);
  seed = static_cast<int>(x1);
  const float deviate = RECIPROCAL * static_cast<float>(combined);
  return std::min(deviate, LARGEST);
}

}  // namespace quendal
