// The column solver: the pressure heads of one column's cells at the end of the step,
// with the heads of the neighbouring columns held fixed.
//
// A Newton iteration on the water balance of every cell: storage, vertical flow
// between the cells, lateral flow to the cells of the four neighbours, the cells'
// sources, the exchange with the surface water at the top, and the boundary and point
// terms (well or spring, the faces' boundary kinds, the base). Storage is the change
// of the tabulated moisture content, the very quantity the water balance measures, so
// a converged column neither makes nor loses water; its derivative is the slope of
// that tabulated theta over the cell's interval. Rows whose Newton diagonal is not
// negative are solved with their Picard diagonal, and an update that would move an
// unsaturated head by more than half its distance from saturation (at least 0.5 m), or
// carry a head across saturation or across the end of a stretch that its soil's table
// holds level below saturation, is scaled down as a whole; these change the path of the
// iteration, not its root.
#pragma once

#include <algorithm>

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

constexpr int VSS_MAX_COLUMN_ITERATIONS = 100;
constexpr double VSS_HEAD_TOLERANCE = 1e-4;  // m of pressure head
constexpr int SOLVER_MESSAGE_LIMIT = 1000;

// Solves column `e` (a column element) for the step. `severity` is 0, or 2 in the last
// global sweep, when a column that does not converge in VSS_MAX_COLUMN_ITERATIONS is
// reported (1036, counted and capped). Writes vspsi, CELL_THETA, CELL_KR,
// CELL_TABLE_INDEX, CELL_VERTICAL_FLOW (kb - 1 .. LL), CELL_LATERAL_FLOW of its cells,
// CELL_WELL_ABSTRACTION, SPRING_DISCHARGE and PHREATIC_LEVEL of the element. A head,
// flow or conductance that is not finite is fatal VSS_NOT_FINITE_ERROR.
// The phreatic level of column e: the top of the saturated run of cells from its bottom
// cell, never below the bottom of that cell.
inline double column_phreatic_level(const SubsurfaceState& vss, int e) {
  const int kb = vss.LAYER_BOTTOM_CELL(e, 1);
  int m = kb;
  for (int k = kb; k <= vss.LL && vss.vspsi(k, e) >= 0.0; ++k) m = k;
  return std::max(vss.CELL_ELEVATION(kb, e) - 0.5 * vss.CELL_THICKNESS(kb, e),
                  vss.CELL_ELEVATION(m, e) + vss.vspsi(m, e));
}

// A column's first head for a step: `psi`, the head at the step's start, moved by
// `change` (its course over the last step), unless that would carry it across
// saturation, or leave it on saturation, where the solver treats the change of slope
// with care; the move is held to the solver's own step limit for a head below
// saturation. The result is only where the iteration starts, not where it ends.
double column_start_head(double psi, double change);

// Asks the memory system for what solving column e will read, so that a sweep through
// columns far apart in memory need not wait for each one's data: its cells' own runs
// and those of its neighbours. Changes nothing.
void prefetch_column(const FrameState& frame, const SubsurfaceState& vss, int e);

// The build of the column solver a run takes on this processor: AVX2 where it has the
// unit, else the baseline (always the baseline in a program built with
// QUENDAL_BASELINE_KERNELS); whether it runs `kernel`; the build's name.
ColumnKernel best_column_kernel();
bool column_kernel_runs(ColumnKernel kernel);
const char* column_kernel_name(ColumnKernel kernel);

// Solves with the build vss.column_kernel. Returns whether the iteration settled: its
// last change within VSS_HEAD_TOLERANCE and no head on a break of the storage slope
// crossed. One that ran out of iterations may still end where it began (a cycle of an
// even length).
bool VSS_COLUMN_SOLVER(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
                       RunIo& io, int e, int severity);

}  // namespace quendal
