// The subsurface step the driver calls after the ET step.
#pragma once

#include <cmath>
#include <string>

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// The global iteration over the columns goes on past the tenth sweep for as long as its
// largest change still falls, up to VSS_MAX_GLOBAL_SWEEPS. Where narrow columns (bank
// elements beside squares ten times as wide) lie over a conductive aquifer, the columns
// couple so strongly that a sweep takes only a quarter off the change, or less, and ten
// sweeps left the heads short of the tolerance at step after step from the first; the
// same sweeps, continued, reach it at every step, and such a run takes no longer than
// it did with ten. Over-relaxing the sweeps would take fewer of them (a fifth fewer
// column solves and a tenth less time there, at a factor of 1.4), but pushes a head
// past its column's own solution, across saturation where the storage slope breaks
// a thousandfold, and would change the path of every step that converges now.
// An iteration whose smallest change has not fallen by a tenth over VSS_STALL_SWEEPS
// sweeps gains nothing from more and stops; never before the tenth sweep, so that a
// step which converges within ten sweeps takes exactly the path it always took.
constexpr int VSS_MAX_GLOBAL_SWEEPS = 100;
constexpr int VSS_STALL_CHECK_SWEEP = 10;  // the first sweep that may end a stalled iteration
constexpr int VSS_STALL_SWEEPS = 5;
constexpr double VSS_STALL_FALL = 0.9;

// When the global iteration stops short of convergence, fed the largest change of each
// sweep that did not converge.
class GlobalSweepLimit {
 public:
  // After sweep `sweep` (1, 2, ...) whose largest change was `change`: whether the next
  // sweep is the last, by the cap or because the change has stalled.
  bool next_is_last(int sweep, double change);
  // Why an iteration of `sweeps` sweeps stopped (the continuation of error 1039).
  std::string stop_text(int sweeps) const;

 private:
  double best_ = HUGE_VAL;  // the smallest largest change that marked progress, and its sweep
  int best_sweep_ = 0;
  bool stalled_ = false;
};

// Advances the subsurface one step: boundary series, the water available at the
// surface and the cells' sources, a Gauss-Seidel iteration over the columns in ISORT
// order (the column solver), the balance closure of the cells and the exchange
// outputs (infiltration, base flow, wells, stream-aquifer flows).
//
// The moisture content the step leaves in every cell is its start value plus what the
// cell's final flows (vertical, lateral after the faces shared by two columns were
// made equal and opposite, boundary and point terms, sources) delivered over the step,
// so the cells' water changes by exactly what flowed; it differs from the tabulated
// moisture content at the final heads only by what the iterations left unbalanced,
// and the next step's storage term starts from it, so that difference never builds up.
void VSS_TIME_STEP(const FrameState& frame, const SurfaceState& surface,
                   SubsurfaceState& subsurface, RunIo& io);

}  // namespace quendal
