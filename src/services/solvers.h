// Small numerical routines shared by the components: the tridiagonal solver of the
// implicit column equations (subsurface and contaminant columns), the dense products
// and the matrix inversion of the overland-flow block elimination, linear
// interpolation in the vegetation time tables, and a uniform random-number generator.
//
// All work in double precision on caller-owned storage and keep no state of their own
// (the random-number generator keeps its state in an object the caller holds). They sit
// in hot loops, so none allocates per call: work space is the caller's, held from one
// call to the next.
//
// Storage conventions:
//  * MATRIX_PRODUCT and MATRIX_VECTOR_PRODUCT read every matrix row after row: (i, j)
//    of a matrix with k columns is element (i - 1) * k + (j - 1) of its span.
//  * INVERT_MATRIX, LU_DECOMPOSE and LU_SOLVE read the n x n matrix column after column:
//    (i, j) is element (j - 1) * n + (i - 1), the layout of an Array2<double>(n, n).
//    As the inverse of the transpose is the transpose of the inverse, the inverse left
//    in the storage is right in either reading; the reading only decides which lines
//    the pivoting exchanges.
//  * Vectors given as spans hold element 1 at position 0.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "include/run_io.h"
#include "services/array_section.h"

namespace quendal {

// ---- Tridiagonal systems -----------------------------------------------------------

// The elimination of SOLVE_TRIDIAGONAL over rows 1..n of any storage: a(i), b(i), c(i)
// and r(i) give the coefficients and the right-hand side, u(i) and g(i) the solution
// and the elimination factors (references). Inline, so that a solver that calls it for
// every column and iteration pays no call and reads its rows where they are.
template <class A, class B, class C, class R, class U, class G>
inline void tridiagonal_elimination(A a, B b, C c, R r, U u, G g, int n) {
  // g(i) = c(i-1) / pivot(i-1), kept for the back substitution; w is the reciprocal
  // of the current pivot.
  double w = 1.0 / b(1);
  u(1) = r(1) * w;
  for (int i = 2; i <= n; ++i) {
    const double gi = c(i - 1) * w;
    g(i) = gi;
    w = 1.0 / (b(i) - a(i) * gi);
    u(i) = (r(i) - a(i) * u(i - 1)) * w;
  }
  for (int i = n - 1; i >= 1; --i) u(i) -= g(i + 1) * u(i + 1);
}

// The same system solved by elimination from both ends at once: rows 1..n/2 from the
// top, the others from the bottom, the two halves meeting in a system of two rows. Each
// pivot waits for the division of the one before it; the two chains of n/2 divisions
// are independent, so a processor runs them side by side in about half the time of
// one chain of n. The same solution up to round-off where both eliminations find no
// zero pivot (a diagonally dominant system). g(i) is row i's elimination factor.
template <class A, class B, class C, class R, class U, class G>
inline void tridiagonal_elimination_two_ended(A a, B b, C c, R r, U u, G g, int n) {
  if (n < 4) {
    tridiagonal_elimination(a, b, c, r, u, g, n);
    return;
  }
  const int p = n / 2;  // the last row eliminated from the top
  // From the top, row i becomes u(i) = x(i) + g(i) x(i+1); from the bottom,
  // u(i) = x(i) + g(i) x(i-1).
  double w = 1.0 / b(1);
  g(1) = c(1) * w;
  u(1) = r(1) * w;
  double v = 1.0 / b(n);
  g(n) = a(n) * v;
  u(n) = r(n) * v;
  for (int j = 1; j < p; ++j) {
    const int i = 1 + j, k = n - j;
    w = 1.0 / (b(i) - a(i) * g(i - 1));
    v = 1.0 / (b(k) - c(k) * g(k + 1));
    g(i) = c(i) * w;
    u(i) = (r(i) - a(i) * u(i - 1)) * w;
    g(k) = a(k) * v;
    u(k) = (r(k) - c(k) * u(k + 1)) * v;
  }
  if (n - p > p) {  // odd n: the bottom has one row more
    const int k = p + 1;
    v = 1.0 / (b(k) - c(k) * g(k + 1));
    g(k) = a(k) * v;
    u(k) = (r(k) - c(k) * u(k + 1)) * v;
  }
  // Rows p and p + 1 together.
  const double x = (u(p) - g(p) * u(p + 1)) / (1.0 - g(p) * g(p + 1));
  u(p) = x;
  u(p + 1) -= g(p + 1) * x;
  for (int j = 1; j < p; ++j) {
    u(p - j) -= g(p - j) * u(p - j + 1);
    u(p + 1 + j) -= g(p + 1 + j) * u(p + j);
  }
  if (n - p > p) u(n) -= g(n) * u(n - 1);
}

// Solves a(i) u(i-1) + b(i) u(i) + c(i) u(i+1) = r(i), i = 1..n, by elimination
// without pivoting (a(1) and c(n) are not read). Every vector is taken by its first n
// values, whatever the numbering of its section. `work` holds at least n values and is
// overwritten. u may be the same storage as r (r(i) is read before u(i) is written).
// There is no test for a zero pivot: the callers' systems are diagonally dominant.
void SOLVE_TRIDIAGONAL(ConstRealSection a, ConstRealSection b, ConstRealSection c,
                       ConstRealSection r, RealSection u, int n, RealSection work);

// The same with work space on the stack, for systems of up to
// TRIDIAGONAL_FIXED_WORK equations (every column of cells fits); a larger n is a
// program error (std::length_error).
constexpr int TRIDIAGONAL_FIXED_WORK = 256;
void SOLVE_TRIDIAGONAL(ConstRealSection a, ConstRealSection b, ConstRealSection c,
                       ConstRealSection r, RealSection u, int n);

// ---- Dense products (row after row) -------------------------------------------------

// c (n x m) = a (n x l) . b (l x m). c is overwritten and must not overlap a or b.
// Does nothing when n <= 0 or m <= 0 (c = 0 when l <= 0).
void MATRIX_PRODUCT(std::span<double> c, std::span<const double> a, std::span<const double> b,
                    int n, int l, int m);

// y (n) = a (n x m) . x (m); every y(i) is written (0 when m <= 0). Nothing when n <= 0.
void MATRIX_VECTOR_PRODUCT(std::span<double> y, std::span<const double> a,
                           std::span<const double> x, int n, int m);

// ---- LU decomposition and inversion (column after column) ---------------------------

// Crout's decomposition with implicit scaling and partial pivoting, in place.
// index[0..n-1] receives the row (1-based) chosen as pivot at each step, parity +1 or
// -1 for an even or odd number of exchanges. A row of zeros (every |a| < 1e-20) sets
// singular and leaves a unchanged. A zero pivot is replaced by 1e-20 without setting
// singular (the factors then carry very large entries). `scale_work` holds n values.
void LU_DECOMPOSE(std::span<double> a, int n, std::span<int> index, int& parity, bool& singular,
                  std::span<double> scale_work);

// Solves with the factors and pivot rows of LU_DECOMPOSE; v holds the right side on
// entry and the solution on return.
void LU_SOLVE(std::span<const double> a, int n, std::span<const int> index, std::span<double> v);

// Work space of INVERT_MATRIX. It grows to the largest order it has served and is then
// reused: a caller that keeps one allocates only while its matrices grow.
class MatrixWork {
 public:
  void reserve(int n);
  int capacity() const { return capacity_; }

 private:
  friend void INVERT_MATRIX(std::span<double> a, int n, int& singular, MatrixWork& work);
  int capacity_ = 0;
  std::vector<double> scale_;
  std::vector<int> index_;
  std::vector<double> columns_;  // n x n: the inverse, column by column
};

// Replaces the n x n matrix a by its inverse; singular = 0 on success. singular = 1,
// with a unchanged, when n < 1, when a 1 x 1 matrix holds |a| <= 1e-15, or when a row
// is zero. A zero pivot does not set the flag (see LU_DECOMPOSE).
void INVERT_MATRIX(std::span<double> a, int n, int& singular, MatrixWork& work);

// ---- Time tables --------------------------------------------------------------------

// Tables of times (days on the clock of t, which is in hours; strictly increasing down
// each series) and values: element (series s, row r) at position (r - 1) * ld + (s - 1)
// of its span, ld being the number of series the tables have room for (the layout of an
// Array2<double>(ld, rows)).
//
// INTERPOLATE_TIME_TABLE sets result[s-1] to the value of series s at time t, linear
// between the rows that bracket t / 24, times scale[s-1]. row[s-1] is the series' row
// pointer (the first row of the interval used last); the interval is searched for from
// it, forwards or backwards, and row[s-1] is left at the interval found. Only rows
// 1..row_count of the series are read.
//
// Outside the table the end value is held: after the last row the last value, before
// the first row the first value. The first time a series leaves its table, warning
// TIME_TABLE_WARNING names the table (`table_name`) and the series; the row pointer is
// then parked at row_count (after the end) or 0 (before the start), which marks the
// series as warned until time brings it back inside. A table of one row holds its
// value throughout, without a warning. row_count < 1 is a program error
// (std::invalid_argument).
constexpr int TIME_TABLE_WARNING = 4999;
void INTERPOLATE_TIME_TABLE(RunIo& io, std::span<double> result, double t,
                            std::span<const double> values, std::span<const double> times,
                            std::span<int> row, std::span<const double> scale, int ld, int s,
                            int row_count, std::string_view table_name);

// ---- Random numbers -----------------------------------------------------------------

// State of RANDOM_UNIFORM between calls; a fresh object is the generator before its
// first call.
struct RandomUniformState {
  int seed2 = 123456789;
  int last = 0;
  std::array<int, 32> table{};
};

// A single-precision uniform deviate in (0, 1): L'Ecuyer's combination of two
// multiplicative congruential generators with a 32-entry shuffle table. `seed` is
// updated by every call; a seed of 0 or below (re)starts the sequence from the larger
// of 1 and -seed.
float RANDOM_UNIFORM(int& seed, RandomUniformState& state);

}  // namespace quendal
