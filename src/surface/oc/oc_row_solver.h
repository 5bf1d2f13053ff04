// Block-tridiagonal elimination over rows: the linear solver of the implicit
// overland and channel flow step, kept free of any hydrology so that it can be tested
// against a dense solution on its own.
//
// The unknowns are grouped in rows r = 1..R of n(r) unknowns each (a grid row of the
// catchment: its squares, links and bank elements). An equation of row r couples only
// to unknowns of its own row and of rows r - 1 and r + 1:
//
//     L(r) x(r-1) + D(r) x(r) + U(r) x(r+1) = b(r)
//
// D(r) is a dense n(r) x n(r) block; L(r) and U(r) are sparse (an element touches at
// most a handful of elements of the neighbouring rows, through its faces and channel
// junctions) and are given entry by entry. A row of no unknowns cuts the chain: the
// rows on either side of it are not coupled.
//
// Elimination runs row after row as each row is assembled:
//     M = D(r) + L(r) X(r-1),   g = b(r) - L(r) y(r-1),
//     X(r) = -M^-1 U(r),        y(r) = M^-1 g,
// with M factorised by LU with partial pivoting (no explicit inverse), and the back
// substitution x(R) = y(R), x(r) = y(r) + X(r) x(r+1) gives the solution.
//
// All storage is sized once by set_shape() from the row sizes; assembling, eliminating
// and back-substituting allocate nothing. X(r) for every row is kept until the back
// substitution: sum over r of n(r) n(r+1) values.
//
// Usage, every solution:
//     for r = 1..R: begin_row(r); fill diagonal()/rhs(), add_lower(), add_upper();
//                   if (!eliminate_row(r)) -> singular block, stop;
//     back_substitute(); read solution(r, i).
#pragma once

#include <span>
#include <vector>

namespace quendal {

class BlockRowSolver {
 public:
  // Rows 1..row_sizes.size(), row r with row_sizes[r - 1] unknowns (0 allowed).
  // `couplings_per_unknown` bounds the entries one equation adds to L(r) (and to U(r));
  // more entries are still taken but then allocate.
  void set_shape(std::span<const int> row_sizes, int couplings_per_unknown = 16);

  int row_count() const { return static_cast<int>(sizes_.size()) - 2; }
  int row_size(int r) const { return sizes_[static_cast<std::size_t>(r)]; }
  int largest_row() const { return largest_; }

  // Starts row r: D(r), b(r), L(r) and U(r) all zero. Rows are begun and eliminated in
  // the order 1, 2, ..., R.
  void begin_row(int r);

  // D(r)(i, j) and b(r)(i) of the row begun last, 1 <= i, j <= n(r).
  double& diagonal(int i, int j) { return block_[index(i, j)]; }
  double& rhs(int i) { return y_[static_cast<std::size_t>(row_offset_[current_] + i - 1)]; }

  // L(r)(i, k) += v, k an unknown of row r - 1; U(r)(i, k) += v, k of row r + 1.
  void add_lower(int i, int k, double v);
  void add_upper(int i, int k, double v);

  // Eliminates the row begun last. Returns false, and leaves the row unsolved, when its
  // block M is singular: a pivot not larger than SINGULAR_PIVOT_RATIO times the largest
  // magnitude in M, or a value that is not a number.
  bool eliminate_row();

  // After every row has been eliminated.
  void back_substitute();

  // x(r)(i).
  double solution(int r, int i) const {
    return x_[static_cast<std::size_t>(row_offset_[static_cast<std::size_t>(r)] + i - 1)];
  }

  static constexpr double SINGULAR_PIVOT_RATIO = 1e-14;

 private:
  struct Coupling {
    int i, k;
    double v;
  };
  std::size_t index(int i, int j) const {
    return static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(n_) * static_cast<std::size_t>(j - 1);
  }
  double* X(int r) { return X_.data() + X_offset_[static_cast<std::size_t>(r)]; }
  char* X_used(int r) { return X_used_.data() + used_offset_[static_cast<std::size_t>(r)]; }
  bool factorise();
  void solve_factorised(double* z) const;

  std::vector<int> sizes_{0, 0};       // n(r), r = 0..R + 1 (rows 0 and R + 1 empty)
  std::vector<long> row_offset_;       // start of row r in y_ and x_
  std::vector<long> X_offset_;         // start of X(r), n(r) x n(r+1), column after column
  std::vector<long> used_offset_;      // start of the column flags of X(r)
  std::vector<double> X_;
  std::vector<char> X_used_;           // column k of X(r) is not all zero
  std::vector<double> y_, x_;
  std::vector<double> block_;          // M of the current row, column after column
  std::vector<int> pivot_;             // row exchanged with row p at step p
  std::vector<Coupling> lower_;        // L of the current row
  int largest_ = 0;
  int current_ = 0;                    // the row begun last
  int n_ = 0;                          // its size
};

}  // namespace quendal
