// The linear solver of the implicit overland and channel flow step: one sparse system
// A x = b for the level changes of all elements, kept free of any hydrology so that it
// can be tested on its own.
//
// The pattern of A comes from the mesh (an equation couples an element to its face
// neighbours and to the links of its channel junctions) and does not change during a
// run: it is set once, together with its analysis (the fill-reducing orderings of both
// solvers). Every step then only writes values into fixed slots (slot() maps an entry to
// its place in values(), looked up once at set-up) and solves.
//
// The solve: BiCGSTAB preconditioned by an incomplete LU factorisation with threshold
// (ILUT), to a relative residual ||b - A x|| / ||b|| of TOLERANCE and, equation by
// equation, to a residual whose weight (row_weights(): the balance error of the
// equation's element per m3/s left in it) stays within BALANCE_TOLERANCE, or within the
// rounding of the equation's own terms where that is larger. A relative residual of the
// whole right-hand side says little about one small element beside large flows: 1e-13
// of it left 1.7e-8 m in a few links over 470 steps. Its cost grows with
// the number of unknowns, not with the width of the grid, which an elimination by grid
// rows cannot avoid. Should the iteration break down, stall at its cap, or leave a true
// residual above the tolerance (its own residual is updated by recurrence), the step
// falls back to an exact sparse LU factorisation; a matrix that LU finds singular, or a
// row that holds no coefficient or one that is not a number, is reported singular.
//
// The Eigen library does the work behind a private implementation, so that its headers
// stay out of the model's state.
#pragma once

#include <memory>
#include <span>
#include <utility>

namespace quendal {

class SparseLevelSolver {
 public:
  SparseLevelSolver();
  ~SparseLevelSolver();

  // Relative residual the iteration must reach. 1e-12 already keeps the level changes
  // within 1e-10 of an exact elimination, but the step's thresholds (a square that just
  // dries, a flow the limiter just cuts) can turn such a difference into one of 1e-4 in
  // a small outlet discharge later in a run, as on the example; from 1e-13 on the
  // example's outputs are those of the exact solution to the last printed digit. 1e-14
  // lies at the rounding floor of larger catchments (whose right-hand sides are small
  // differences of large flows) and would send steps to LU.
  static constexpr double TOLERANCE = 1e-13;
  // The balance error of an element that one solve may leave, m; the rounding of an
  // equation's terms, as a multiple of the unit round-off of their magnitude.
  static constexpr double BALANCE_TOLERANCE = 1e-13;
  static constexpr double ROUNDING_FACTOR = 32.0;
  // Iterations before the iteration gives up and LU takes over. A step of a storm on
  // 40,000 elements needs about ten.
  static constexpr int DEFAULT_ITERATION_CAP = 100;
  // ILUT: entries below this fraction of their row's norm are dropped, and each row of
  // the factors keeps at most this many times its own number of entries.
  static constexpr double DROP_TOLERANCE = 1e-4;
  static constexpr int FILL_FACTOR = 5;

  // n unknowns (0 .. n - 1) and the entries (row, column) that may be non-zero;
  // repeated entries are one slot. Allocates and analyses; call once.
  void set_pattern(int n, std::span<const std::pair<int, int>> entries);
  int nonzeros() const;
  // The slot of entry (row, column) in values(), -1 outside the pattern. A search: for
  // the set-up, not for every step.
  int slot(int row, int column) const;

  // The coefficients, slot by slot, and the right-hand side. zero() clears both.
  std::span<double> values();
  std::span<const double> values() const;
  std::span<double> rhs();
  std::span<const double> rhs() const;
  void zero();
  // Per equation, the weight of its residual in the balance test (0, as set_pattern
  // leaves them: the equation is held to the relative residual alone).
  std::span<double> row_weights();

  // The rows of A, for reading it entry by entry: the entries of row i are the slots
  // row_starts()[i] .. row_starts()[i + 1] - 1, in columns columns()[slot].
  std::span<const int> row_starts() const;
  std::span<const int> columns() const;

  void set_iteration_cap(int cap);

  enum class Outcome { Iterated, Factorised, Singular };
  // Solves A x = b into x (n values). On Singular x is undefined and
  // singular_row() names the row found at fault (-1 when LU alone found it singular).
  Outcome solve(std::span<double> x);

  // Of the last solve: iterations, relative residual ||b - A x|| / ||b|| (0 for b = 0),
  // the largest weighted residual of an equation beyond what its rounding allows
  // (0 when every equation met the balance test), and the row found at fault.
  int iterations() const;
  double residual() const;
  double balance_excess() const;
  int singular_row() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quendal
