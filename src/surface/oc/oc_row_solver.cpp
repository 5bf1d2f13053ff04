#include "surface/oc/oc_row_solver.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quendal {

void BlockRowSolver::set_shape(std::span<const int> row_sizes, int couplings_per_unknown) {
  const std::size_t rows = row_sizes.size();
  // Rows 0 and R + 1 are empty sentinels, so that every row has a previous and a next.
  sizes_.assign(rows + 2, 0);
  for (std::size_t r = 1; r <= rows; ++r) sizes_[r] = std::max(row_sizes[r - 1], 0);
  row_offset_.assign(rows + 2, 0);
  X_offset_.assign(rows + 2, 0);
  used_offset_.assign(rows + 2, 0);
  long values = 0, x_values = 0, flags = 0;
  largest_ = 0;
  for (std::size_t r = 0; r <= rows; ++r) {
    row_offset_[r] = values;
    X_offset_[r] = x_values;
    used_offset_[r] = flags;
    const long n = sizes_[r], next = sizes_[r + 1];
    values += n;
    x_values += n * next;
    flags += next;
    largest_ = std::max(largest_, static_cast<int>(n));
  }
  row_offset_[rows + 1] = values;
  X_offset_[rows + 1] = x_values;
  used_offset_[rows + 1] = flags;
  X_.assign(static_cast<std::size_t>(x_values), 0.0);
  X_used_.assign(static_cast<std::size_t>(flags), 0);
  y_.assign(static_cast<std::size_t>(values), 0.0);
  x_.assign(static_cast<std::size_t>(values), 0.0);
  block_.assign(static_cast<std::size_t>(largest_) * static_cast<std::size_t>(largest_), 0.0);
  pivot_.assign(static_cast<std::size_t>(largest_) + 1, 0);
  lower_.clear();
  lower_.reserve(static_cast<std::size_t>(largest_) *
                 static_cast<std::size_t>(std::max(couplings_per_unknown, 1)));
  current_ = 0;
  n_ = 0;
}

void BlockRowSolver::begin_row(int r) {
  current_ = r;
  n_ = sizes_[static_cast<std::size_t>(r)];
  const std::size_t n = static_cast<std::size_t>(n_);
  std::fill(block_.begin(), block_.begin() + static_cast<long>(n * n), 0.0);
  std::fill(y_.begin() + row_offset_[static_cast<std::size_t>(r)],
            y_.begin() + row_offset_[static_cast<std::size_t>(r)] + n_, 0.0);
  const int next = sizes_[static_cast<std::size_t>(r) + 1];
  std::fill(X(r), X(r) + static_cast<long>(n) * next, 0.0);
  std::fill(X_used(r), X_used(r) + next, 0);
  lower_.clear();
}

void BlockRowSolver::add_lower(int i, int k, double v) { lower_.push_back({i, k, v}); }

void BlockRowSolver::add_upper(int i, int k, double v) {
  // X(r) starts as -U(r): the solve with M turns it into -M^-1 U(r) in place.
  X(current_)[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(n_) * (k - 1)] -= v;
  X_used(current_)[k - 1] = 1;
}

bool BlockRowSolver::eliminate_row() {
  const int r = current_;
  const int n = n_;
  if (n == 0) return true;
  double* g = y_.data() + row_offset_[static_cast<std::size_t>(r)];

  // M = D + L X(r-1), g = b - L y(r-1). Row r - 1 has X(r-1) of n(r-1) x n columns.
  const int previous = sizes_[static_cast<std::size_t>(r) - 1];
  if (previous > 0) {
    const double* Xp = X(r - 1);
    const char* used = X_used(r - 1);
    const double* yp = y_.data() + row_offset_[static_cast<std::size_t>(r) - 1];
    for (const Coupling& c : lower_) {
      g[c.i - 1] -= c.v * yp[c.k - 1];
      for (int j = 1; j <= n; ++j) {
        if (!used[j - 1]) continue;
        block_[index(c.i, j)] += c.v * Xp[static_cast<std::size_t>(c.k - 1) +
                                          static_cast<std::size_t>(previous) * (j - 1)];
      }
    }
  }

  if (!factorise()) return false;

  // X(r) = M^-1 (-U), column by column, only where U has entries; y(r) = M^-1 g.
  const int next = sizes_[static_cast<std::size_t>(r) + 1];
  double* Xr = X(r);
  const char* used = X_used(r);
  for (int k = 1; k <= next; ++k) {
    if (used[k - 1]) solve_factorised(Xr + static_cast<std::size_t>(n) * (k - 1));
  }
  solve_factorised(g);
  return true;
}

bool BlockRowSolver::factorise() {
  const int n = n_;
  double* a = block_.data();
  double largest = 0.0;
  for (long e = 0; e < static_cast<long>(n) * n; ++e) {
    const double v = std::fabs(a[e]);
    if (!(v <= largest)) largest = v;  // a NaN is taken as largest and fails below
  }
  if (!std::isfinite(largest) || largest == 0.0) return false;
  const double smallest_pivot = SINGULAR_PIVOT_RATIO * largest;

  for (int p = 0; p < n; ++p) {
    double* column_p = a + static_cast<std::size_t>(n) * p;
    int best = p;
    double best_value = std::fabs(column_p[p]);
    for (int i = p + 1; i < n; ++i) {
      const double v = std::fabs(column_p[i]);
      if (v > best_value) {
        best_value = v;
        best = i;
      }
    }
    if (!(best_value > smallest_pivot)) return false;
    pivot_[static_cast<std::size_t>(p)] = best;
    if (best != p) {
      for (int j = 0; j < n; ++j) {
        std::swap(a[p + static_cast<std::size_t>(n) * j], a[best + static_cast<std::size_t>(n) * j]);
      }
    }
    const double inverse = 1.0 / column_p[p];
    for (int i = p + 1; i < n; ++i) column_p[i] *= inverse;
    for (int j = p + 1; j < n; ++j) {
      double* column_j = a + static_cast<std::size_t>(n) * j;
      const double f = column_j[p];
      if (f == 0.0) continue;
      for (int i = p + 1; i < n; ++i) column_j[i] -= column_p[i] * f;
    }
  }
  return true;
}

void BlockRowSolver::solve_factorised(double* z) const {
  const int n = n_;
  const double* a = block_.data();
  for (int p = 0; p < n; ++p) {
    const int q = pivot_[static_cast<std::size_t>(p)];
    if (q != p) std::swap(z[p], z[q]);
  }
  // Unit lower triangle, then the upper triangle, a column at a time.
  for (int p = 0; p < n; ++p) {
    const double zp = z[p];
    if (zp == 0.0) continue;
    const double* column_p = a + static_cast<std::size_t>(n) * p;
    for (int i = p + 1; i < n; ++i) z[i] -= column_p[i] * zp;
  }
  for (int p = n - 1; p >= 0; --p) {
    const double* column_p = a + static_cast<std::size_t>(n) * p;
    z[p] /= column_p[p];
    const double zp = z[p];
    if (zp == 0.0) continue;
    for (int i = 0; i < p; ++i) z[i] -= column_p[i] * zp;
  }
}

void BlockRowSolver::back_substitute() {
  const int rows = row_count();
  for (int r = rows; r >= 1; --r) {
    const int n = sizes_[static_cast<std::size_t>(r)];
    if (n == 0) continue;
    double* x = x_.data() + row_offset_[static_cast<std::size_t>(r)];
    const double* y = y_.data() + row_offset_[static_cast<std::size_t>(r)];
    std::copy(y, y + n, x);
    const int next = sizes_[static_cast<std::size_t>(r) + 1];
    if (next == 0) continue;
    const double* x_next = x_.data() + row_offset_[static_cast<std::size_t>(r) + 1];
    const double* Xr = X(r);
    const char* used = X_used(r);
    for (int k = 0; k < next; ++k) {
      if (!used[k]) continue;
      const double xk = x_next[k];
      if (xk == 0.0) continue;
      const double* column = Xr + static_cast<std::size_t>(n) * k;
      for (int i = 0; i < n; ++i) x[i] += column[i] * xk;
    }
  }
}

}  // namespace quendal
