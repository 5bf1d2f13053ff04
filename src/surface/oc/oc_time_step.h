// The overland and channel flow step: one implicit step of the surface water of the
// whole catchment, called by the driver after the subsurface step and after it has set
// the channel links' rainfall and surface-water evaporation.
//
// In order (oc_time_step.cpp reads top to bottom the same way):
//   1. the boundary series: heads of units 38 at the middle of the step, fluxes of
//      unit 37 as their mean over the step;
//   2. face flows and their derivatives (oc_face_flows.h), the channel junctions
//      (oc_junctions.h);
//   3. one level-change equation per element, assembled into one sparse matrix whose
//      pattern the mesh fixes (oc_sparse_solver.h) and solved by a preconditioned
//      iteration, exact LU when that fails;
//   4. HRF and QSA corrected with the level changes (a link takes the level at which it
//      holds the volume its equation booked);
//   5. the outflow limiter (oc_limiter.h);
//   6. QOC published, ARXL recomputed;
//   7. the results on the print file while the print window is open;
//   8. the check of the channel flows against OC_MAX_CHANNEL_FLOW.
// Steps 2 to 5 run once over the whole step where the solution stays within the range
// of its linearisation (below); otherwise they run again as shorter sub-steps, each from
// the levels and flows the last one left, until they cover the step. The other
// components still see one step: QOC is then the volume that crossed each face over the
// step divided by the step (QSA keeps the last sub-step's flows, so QOC is no longer
// plus or minus QSA), and a net loss of an element to the subsurface and the air, drawn
// from the water it held at the start of the step, is booked in the first sub-step.
#pragma once

#include <limits>
#include <string_view>
#include <vector>

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"
#include "surface/oc/oc_limiter.h"
#include "surface/oc/oc_row_solver.h"
#include "surface/oc/oc_sparse_solver.h"

namespace quendal {

constexpr int OC_HEAD_SERIES_UNIT = 38;  // "OHB"
constexpr int OC_FLUX_SERIES_UNIT = 37;  // "OFB"
// Warnings of a junction balance that did not converge and of a level change beyond the
// linearisation in the finest sub-step, and the number of reports of each (the last
// with a closing text).
constexpr int OC_JUNCTION_WARNING = 1026;
constexpr int OC_SUBSTEP_WARNING = 1095;
constexpr int OC_WARNING_MESSAGE_LIMIT = 1000;
constexpr int OC_JUNCTION_MESSAGE_LIMIT = OC_WARNING_MESSAGE_LIMIT;

// The range the step's linearisation carries. Face flows are linearised at the levels a
// step starts from. An outlet link a millimetre deep, with the weir's small derivative,
// fed by a square pouring 50 m3/s over its bank, is raised by a hundred metres along the
// tangent; a dry link below a full one is lifted above it, and the outflow limiter then
// cuts the full link's outflow to nothing and drains or floods whole channels to put
// its levels in order. Either way the step has left the range where its linearisation
// resembles the flow laws. So a step, or a part of it, is taken again as shorter
// sub-steps when
//   - a solved level change exceeds the element's depth at the start plus
//     OC_SUBSTEP_BOUND_FRACTION of its reference height (a link's bank height,
//     OC_OVERLAND_REFERENCE_DEPTH for a grid square or bank element), or
//   - the limiter moved a level by more than OC_REPAIR_BOUND_FRACTION of its reference
//     height (its repairs are meant for the small overshoots of a sound linearisation),
//     or could not settle;
// halving until the largest of these ratios should fall within 1, to at least
// 2^-OC_MAX_SUBSTEP_HALVINGS of the step. Measured on generated valleys of 2,800 to
// 40,000 elements in storms of 20 to 50 mm/h: with bounds of 0.75 and 0.25 the
// hydrographs of basic steps of 1, 0.25 and 0.1 hours agree within 2%, and the examples
// as shipped take every step whole.
constexpr double OC_SUBSTEP_BOUND_FRACTION = 0.75;
constexpr double OC_REPAIR_BOUND_FRACTION = 0.25;
constexpr double OC_OVERLAND_REFERENCE_DEPTH = 1.0;  // m
constexpr int OC_MAX_SUBSTEP_HALVINGS = 10;

// What the OC step keeps from one step to the next: the boundary series, the values of
// their categories, and work space sized on the first step from the run's counts (so
// that no step after the first allocates).
// The slot index k of element_slots for face f (1..4) and the m-th coupling over it (1
// for a neighbouring element, 1..3 for the links of a junction).
constexpr int OC_COUPLING_SLOT(int f, int m) { return 2 + 3 * (f - 1) + (m - 1); }
constexpr int OC_SLOTS_PER_ELEMENT = OC_COUPLING_SLOT(4, 3);

struct OcStepState {
  // The current value of each boundary category: a head as a water depth above the
  // ground of the element that carries it (m), a flux into the element (m3/s). Room for
  // NOCTAB categories, or more when the run has more.
  Array1<double> OC_HEAD_VALUE;
  Array1<double> OC_FLUX_VALUE;

  // The head series (unit 38), read at the middle of each step, and the flux series
  // (unit 37), read as means over each step; times in hours from the run start.
  double head_TLAST = 0.0, head_TNEXT = 0.0;
  std::vector<double> head_last_values, head_next_values;
  double flux_TLAST = 0.0, flux_TNEXT = 0.0;
  std::vector<double> flux_series_values;

  // Reports of junction balances that did not converge, and of steps whose finest
  // sub-step still went beyond the linearisation, so far.
  int junction_failures = 0;
  int substep_failures = 0;

  // Work of the step.
  bool first_call = true;
  double OC_TIMESTEP_SECONDS = 0.0;
  // The level-change system: unknown e - 1 is dh of element e, and so is equation
  // e - 1. element_slots(k, e) is the slot of the equation of e that receives its own
  // coefficient (k = 1) and the coefficient over face f of the neighbour, or of the m-th
  // link of the junction (k = OC_COUPLING_SLOT(f, m)).
  SparseLevelSolver levels;
  Array2<int> element_slots;
  Array1<double> level_change;  // (NEL): dh of the step, m

  // The elimination by grid rows: the reference the sparse solution is measured
  // against, and the judge of a matrix the sparse solvers find singular (its first
  // singular row block names the element of the report). With solve_by_rows the step
  // solves by rows alone; with check_by_rows it solves both ways and keeps the largest
  // difference. Sized on first use.
  bool solve_by_rows = false;
  bool check_by_rows = false;
  BlockRowSolver rows;
  Array1<int> row_of_element;  // (NEL): grid row of the OC solution holding the element
  Array1<double> row_solution;  // (NEL): dh by rows, m

  // Since the run start: solves by iteration and their iterations, solves by LU, and
  // the largest difference of a step's level changes from those by rows (only with
  // check_by_rows), relative to the largest level change by rows.
  long iterated_solves = 0, iterations = 0, factorised_solves = 0;
  double largest_difference_from_rows = 0.0;
  OcLimiterWork limiter;
  // The sub-steps: the levels and flows a sub-step starts from (to take it again when it
  // goes beyond its bound) and the volumes that crossed each face so far in the step,
  // m3 (NEL, 4).
  Array1<double> substep_levels;
  Array1<double> solved_levels;  // the levels the solution gave, before the limiter
  Array2<double> substep_flows;
  Array2<double> face_volumes;
  // What a sub-step books of an element's net loss to the subsurface and the air over
  // the step: all of it (step / sub-step) in the first, none in the others.
  double vertical_loss_factor = 1.0;
  // Since the run start: the most sub-steps one step took, and the steps taken in more
  // than one.
  int largest_substeps = 0;
  long substepped_steps = 0;

  // Since the run start: the largest diagonal of a link's level-change equation (its
  // storage term and its own-level flow derivatives, m2/s; a sound linearisation keeps it
  // below zero) and the lowest link depth the linear solution left before the limiter, m.
  double largest_link_diagonal = -std::numeric_limits<double>::infinity();
  double lowest_link_depth_after_solve = std::numeric_limits<double>::infinity();
};

// Advances HRF, QSA, QOC and ARXL over the step that starts at LAST_OC_STEP_TIME and
// lasts PREVIOUS_TIMESTEP hours. Reads the OC set-up (surface/oc/oc_setup.h), the
// element geometry, PNETTO and ET_SURFACE_WATER_EVAP, and the subsurface exchange.
// Fatal reports: 1007 / 1023 an exhausted head / flux series, 1018 a singular
// matrix, 1060 the limiter's visits exhausted in the finest sub-step, 1029 a channel
// face flow above OC_MAX_CHANNEL_FLOW (when that is positive). Warnings: the limiter's
// 1024 and 1030, 1026 for a junction balance that did not reach round-off, and 1095 for
// a step whose finest sub-step still went beyond its linearisation (each the first
// OC_WARNING_MESSAGE_LIMIT times).
void OC_TIME_STEP(const FrameState& frame, SurfaceState& surface, const SubsurfaceState& subsurface,
                  OcStepState& state, RunIo& io);

// The wetted area ARXL of every link at its level HRF. The step sets it after every
// step; the set-up and a hot start set it from the levels they give, since the
// subsurface and the channels' evaporation read it before the first step.
void OC_CHANNEL_AREAS(const FrameState& frame, SurfaceState& surface);

// Warning `number` at `element` with `message`, counted in `reports`: the first
// OC_WARNING_MESSAGE_LIMIT - 1 times, then once "**** Last printout of the error message
// - " `closing` " *****", then nothing; the run goes on.
void report_capped_warning(RunIo& io, int& reports, int number, int element,
                           std::string_view message, std::string_view closing);

// A junction balance at `link` did not converge: warning OC_JUNCTION_WARNING, capped as
// above.
void report_junction_failure(OcStepState& state, int link, RunIo& io);

// The results of the step on the print file (unit 23), at `hours` after the run start.
void OC_PRINT_RESULTS(const FrameState& frame, const SurfaceState& surface, double hours,
                      RunIo& io);

}  // namespace quendal
