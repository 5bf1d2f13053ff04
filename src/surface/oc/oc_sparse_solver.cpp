#include "surface/oc/oc_sparse_solver.h"

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace quendal {

namespace {
using RowMatrix = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;
using ColumnMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
}  // namespace

struct SparseLevelSolver::Impl {
  RowMatrix A;                      // the values every step writes, row after row
  ColumnMatrix A_by_columns;        // the same entries in the column order LU needs
  std::vector<int> column_slot;     // slot of A -> its place in A_by_columns
  Eigen::VectorXd b, x, weights;
  Eigen::BiCGSTAB<RowMatrix, Eigen::IncompleteLUT<double, int>> krylov;
  Eigen::SparseLU<ColumnMatrix, Eigen::COLAMDOrdering<int>> lu;
  bool lu_analysed = false;
  int cap = DEFAULT_ITERATION_CAP;
  int iterations = 0;
  double residual = 0.0;
  double balance_excess = 0.0;
  int singular_row = -1;
  Eigen::VectorXd r;  // work: the residual of a candidate solution

  // r = b - A x, and the largest weighted residual of an equation beyond the larger of
  // BALANCE_TOLERANCE and the rounding of the equation's terms (0 when all are within).
  double excess_of_balance(const Eigen::VectorXd& solution) {
    const double* v = A.valuePtr();
    const int* start = A.outerIndexPtr();
    const int* column = A.innerIndexPtr();
    double excess = 0.0;
    for (int i = 0; i < A.rows(); ++i) {
      double sum = b[i], magnitude = std::fabs(b[i]);
      for (int k = start[i]; k < start[i + 1]; ++k) {
        const double term = v[k] * solution[column[k]];
        sum -= term;
        magnitude += std::fabs(term);
      }
      r[i] = sum;
      const double w = weights[i];
      if (w == 0.0) continue;
      const double allowed = std::max(
          BALANCE_TOLERANCE, ROUNDING_FACTOR * std::numeric_limits<double>::epsilon() * magnitude * w);
      excess = std::max(excess, std::fabs(sum) * w - allowed);
    }
    return excess;
  }

  // ||b - A x|| / ||b||, x given.
  double relative_residual(const Eigen::VectorXd& solution, double b_norm) const {
    if (b_norm == 0.0) return (A * solution).norm() == 0.0 ? 0.0 : INFINITY;
    return (b - A * solution).norm() / b_norm;
  }

  // The first row that holds no coefficient other than zero, or a value that is not a
  // number (in A or b); -1 when none does.
  int first_empty_or_undefined_row() const {
    const double* v = A.valuePtr();
    const int* start = A.outerIndexPtr();
    for (int i = 0; i < A.rows(); ++i) {
      double largest = 0.0;
      bool finite = std::isfinite(b[i]);
      for (int k = start[i]; k < start[i + 1]; ++k) {
        finite = finite && std::isfinite(v[k]);
        largest = std::max(largest, std::fabs(v[k]));
      }
      if (!finite || largest == 0.0) return i;
    }
    return -1;
  }
};

SparseLevelSolver::SparseLevelSolver() : impl_(std::make_unique<Impl>()) {}
SparseLevelSolver::~SparseLevelSolver() = default;

void SparseLevelSolver::set_pattern(int n, std::span<const std::pair<int, int>> entries) {
  Impl& s = *impl_;
  std::vector<Eigen::Triplet<double, int>> triplets;
  triplets.reserve(entries.size());
  for (const auto& [i, j] : entries) triplets.emplace_back(i, j, 0.0);
  s.A.resize(n, n);
  s.A.setFromTriplets(triplets.begin(), triplets.end());
  s.A.makeCompressed();

  // The column-ordered copy, and where each slot lands in it: number the slots 1, 2,
  // ... in A, convert, and read the numbers back.
  for (int k = 0; k < s.A.nonZeros(); ++k) s.A.valuePtr()[k] = k + 1;
  s.A_by_columns = s.A;
  s.A_by_columns.makeCompressed();
  s.column_slot.assign(static_cast<std::size_t>(s.A.nonZeros()), 0);
  for (int m = 0; m < s.A_by_columns.nonZeros(); ++m) {
    s.column_slot[static_cast<std::size_t>(std::lround(s.A_by_columns.valuePtr()[m]) - 1)] = m;
  }
  std::fill(s.A.valuePtr(), s.A.valuePtr() + s.A.nonZeros(), 0.0);

  s.b = Eigen::VectorXd::Zero(n);
  s.x = Eigen::VectorXd::Zero(n);
  s.r = Eigen::VectorXd::Zero(n);
  s.weights = Eigen::VectorXd::Zero(n);
  s.krylov.preconditioner().setDroptol(DROP_TOLERANCE);
  s.krylov.preconditioner().setFillfactor(FILL_FACTOR);
  s.krylov.setTolerance(TOLERANCE);
  s.krylov.analyzePattern(s.A);
  s.lu_analysed = false;
}

int SparseLevelSolver::nonzeros() const { return static_cast<int>(impl_->A.nonZeros()); }

int SparseLevelSolver::slot(int row, int column) const {
  const RowMatrix& A = impl_->A;
  if (row < 0 || row >= A.rows()) return -1;
  const int* first = A.innerIndexPtr() + A.outerIndexPtr()[row];
  const int* last = A.innerIndexPtr() + A.outerIndexPtr()[row + 1];
  const int* at = std::lower_bound(first, last, column);
  return at != last && *at == column ? static_cast<int>(at - A.innerIndexPtr()) : -1;
}

std::span<double> SparseLevelSolver::values() {
  return {impl_->A.valuePtr(), static_cast<std::size_t>(impl_->A.nonZeros())};
}
std::span<const double> SparseLevelSolver::values() const {
  return {impl_->A.valuePtr(), static_cast<std::size_t>(impl_->A.nonZeros())};
}
std::span<double> SparseLevelSolver::rhs() {
  return {impl_->b.data(), static_cast<std::size_t>(impl_->b.size())};
}
std::span<const double> SparseLevelSolver::rhs() const {
  return {impl_->b.data(), static_cast<std::size_t>(impl_->b.size())};
}
std::span<double> SparseLevelSolver::row_weights() {
  return {impl_->weights.data(), static_cast<std::size_t>(impl_->weights.size())};
}
void SparseLevelSolver::zero() {
  std::fill(impl_->A.valuePtr(), impl_->A.valuePtr() + impl_->A.nonZeros(), 0.0);
  impl_->b.setZero();
}

std::span<const int> SparseLevelSolver::row_starts() const {
  return {impl_->A.outerIndexPtr(), static_cast<std::size_t>(impl_->A.rows()) + 1};
}
std::span<const int> SparseLevelSolver::columns() const {
  return {impl_->A.innerIndexPtr(), static_cast<std::size_t>(impl_->A.nonZeros())};
}

void SparseLevelSolver::set_iteration_cap(int cap) { impl_->cap = std::max(cap, 0); }

SparseLevelSolver::Outcome SparseLevelSolver::solve(std::span<double> x) {
  Impl& s = *impl_;
  s.iterations = 0;
  s.residual = INFINITY;
  s.singular_row = s.first_empty_or_undefined_row();
  if (s.singular_row >= 0) return Outcome::Singular;
  const double b_norm = s.b.norm();
  auto give = [&](const Eigen::VectorXd& solution) {
    std::copy(solution.data(), solution.data() + solution.size(), x.begin());
  };

  // The iteration, restarted from where it stopped while its own residual has run ahead
  // of the true one and the cap allows; then, while an equation's balance is not met,
  // continued towards a relative residual a hundred times smaller, as long as that
  // still gains.
  s.x.setZero();
  s.residual = b_norm == 0.0 ? 0.0 : 1.0;
  s.balance_excess = 0.0;
  bool met = s.residual <= TOLERANCE;
  if (!met) {
    s.krylov.setTolerance(TOLERANCE);
    s.krylov.factorize(s.A);
    while (s.krylov.info() == Eigen::Success && s.iterations < s.cap) {
      s.krylov.setMaxIterations(s.cap - s.iterations);
      s.x = s.krylov.solveWithGuess(s.b, s.x);
      s.iterations += static_cast<int>(s.krylov.iterations());
      if (s.krylov.info() != Eigen::Success) break;
      const double previous = s.residual;
      s.residual = s.relative_residual(s.x, b_norm);
      if (s.residual <= TOLERANCE) {
        s.balance_excess = s.excess_of_balance(s.x);
        if (s.balance_excess <= 0.0) {
          met = true;
          break;
        }
        if (!(s.residual < previous)) break;
        s.krylov.setTolerance(0.01 * s.residual);
      } else if (s.krylov.iterations() == 0) {
        break;
      }
    }
  }
  if (met && s.x.allFinite()) {
    give(s.x);
    return Outcome::Iterated;
  }

  // Exact LU on the same values, its solution refined once by the residual where an
  // equation's balance still calls for it.
  if (!s.lu_analysed) {
    s.lu.analyzePattern(s.A_by_columns);
    s.lu_analysed = true;
  }
  const double* v = s.A.valuePtr();
  double* w = s.A_by_columns.valuePtr();
  for (std::size_t k = 0; k < s.column_slot.size(); ++k) w[s.column_slot[k]] = v[k];
  s.lu.factorize(s.A_by_columns);
  if (s.lu.info() != Eigen::Success) return Outcome::Singular;
  s.x = s.lu.solve(s.b);
  if (!s.x.allFinite()) return Outcome::Singular;
  s.balance_excess = s.excess_of_balance(s.x);
  if (s.balance_excess > 0.0) {
    const Eigen::VectorXd refined = s.x + s.lu.solve(s.r);
    const double excess = s.excess_of_balance(refined);
    if (refined.allFinite() && excess < s.balance_excess) {
      s.x = refined;
      s.balance_excess = excess;
    }
  }
  s.residual = s.relative_residual(s.x, b_norm);
  give(s.x);
  return Outcome::Factorised;
}

int SparseLevelSolver::iterations() const { return impl_->iterations; }
double SparseLevelSolver::residual() const { return impl_->residual; }
double SparseLevelSolver::balance_excess() const { return impl_->balance_excess; }
int SparseLevelSolver::singular_row() const { return impl_->singular_row; }

}  // namespace quendal
