// Comparisons of reals with zero and one, the no-data marker, clipped differences
// and small vector helpers. They sit in the innermost loops of every component, so
// they are inline.
#pragma once

#include <cmath>
#include <cstring>

namespace quendal {

// Absolute tolerance of every "is zero" and "is one" test; |x| equal to it is not zero.
constexpr double ZERO_TOLERANCE = 1e-20;
constexpr int NO_DATA_MARKER = 999999;

inline bool IS_ZERO(double x) { return std::fabs(x) < ZERO_TOLERANCE; }
inline bool IS_NON_ZERO(double x) { return !IS_ZERO(x); }
inline bool IS_ONE(double x) { return std::fabs(x - 1.0) < ZERO_TOLERANCE; }
inline bool IS_NOT_ONE(double x) { return !IS_ONE(x); }
inline bool IS_POSITIVE(double x) { return x > 0.0; }
inline bool IS_NEGATIVE(double x) { return x < 0.0; }
inline bool IS_NON_NEGATIVE(double x) { return x > 0.0 || IS_ZERO(x); }
inline bool IS_NON_POSITIVE(double x) { return x < 0.0 || IS_ZERO(x); }

// The value truncated towards zero equals the marker 999999. Values outside the range
// of a 32-bit integer are not the marker (the truncation is not taken there).
inline bool IS_NO_DATA(double x) {
  if (!(std::fabs(x) < 2147483648.0)) return false;
  return static_cast<int>(x) == NO_DATA_MARKER;
}

inline int POSITIVE_DIFFERENCE_INT(int a, int b) { return a > b ? a - b : 0; }
inline double POSITIVE_DIFFERENCE(double a, double b) { return a > b ? a - b : 0.0; }

// True when every one of n values, `stride` apart, is zero (true when n <= 0).
inline bool ALL_ZERO_REAL(const double* v, long n, long stride = 1) {
  for (long i = 0; i < n; ++i) {
    if (!IS_ZERO(v[i * stride])) return false;
  }
  return true;
}
inline bool ALL_ZERO_INTEGER(const int* t, long n) {
  for (long i = 0; i < n; ++i) {
    if (t[i] != 0) return false;
  }
  return true;
}

// v(1..n) = value; nothing when n <= 0. `v` points at v(1).
inline void FILL_REAL_VECTOR(double value, long n, double* v) {
  for (long i = 0; i < n; ++i) v[i] = value;
}

// Copies n values from x to y with strides incx and incy; a negative stride walks its
// vector from the far end, a zero stride uses its first element throughout.
// `x` and `y` point at x(1) and y(1).
inline void COPY_REAL_VECTOR(long n, const double* x, long incx, double* y, long incy) {
  if (n <= 0) return;
  if (incx == 1 && incy == 1) {
    std::memmove(y, x, static_cast<std::size_t>(n) * sizeof(double));
    return;
  }
  long ix = incx < 0 ? (1 - n) * incx : 0;
  long iy = incy < 0 ? (1 - n) * incy : 0;
  for (long k = 0; k < n; ++k) {
    y[iy] = x[ix];
    ix += incx;
    iy += incy;
  }
}

}  // namespace quendal
