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
#pragma once

#include <limits>
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
// Warning of a junction balance that did not converge, and the number of its reports
// (the last with the closing text).
constexpr int OC_JUNCTION_WARNING = 1026;
constexpr int OC_JUNCTION_MESSAGE_LIMIT = 1000;

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

  // Reports of junction balances that did not converge so far.
  int junction_failures = 0;

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
  // Since the run start: the most sub-steps one step took.
  int largest_substeps = 0;

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
// matrix, 1060 the limiter's passes exhausted, 1029 a channel face flow above
// OC_MAX_CHANNEL_FLOW (when that is positive). Warnings: the limiter's 1024 and 1030,
// and 1026 for a junction balance that did not converge (the first
// OC_JUNCTION_MESSAGE_LIMIT times).
void OC_TIME_STEP(const FrameState& frame, SurfaceState& surface, const SubsurfaceState& subsurface,
                  OcStepState& state, RunIo& io);

// The wetted area ARXL of every link at its level HRF. The step sets it after every
// step; the set-up and a hot start set it from the levels they give, since the
// subsurface and the channels' evaporation read it before the first step.
void OC_CHANNEL_AREAS(const FrameState& frame, SurfaceState& surface);

// A junction balance at `link` did not converge: warning OC_JUNCTION_WARNING the first
// OC_JUNCTION_MESSAGE_LIMIT - 1 times, then once a closing "Last printout" line, then
// nothing; the run goes on.
void report_junction_failure(OcStepState& state, int link, RunIo& io);

// The results of the step on the print file (unit 23), at `hours` after the run start.
void OC_PRINT_RESULTS(const FrameState& frame, const SurfaceState& surface, double hours,
                      RunIo& io);

}  // namespace quendal
