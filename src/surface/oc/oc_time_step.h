// The overland and channel flow step: one implicit step of the surface water of the
// whole catchment, called by the driver after the subsurface step and after it has set
// the channel links' rainfall and surface-water evaporation.
//
// In order (oc_time_step.cpp reads top to bottom the same way):
//   1. the boundary series: heads of units 38 at the middle of the step, fluxes of
//      unit 37 as their mean over the step;
//   2. face flows and their derivatives (oc_face_flows.h), the channel junctions
//      (oc_junctions.h);
//   3. one level-change equation per element, assembled by grid rows and solved by the
//      block-tridiagonal elimination of oc_row_solver.h;
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
  BlockRowSolver rows;
  Array1<int> row_of_element;  // (NEL): grid row of the OC solution holding the element
  Array1<double> level_change;  // (NEL): dh of the step, m
  OcLimiterWork limiter;

  // Since the run start: the largest diagonal of a link's level-change equation (its
  // storage term and its own-level flow derivatives, m2/s; a sound linearisation keeps it
  // below zero) and the lowest link depth the linear solution left before the limiter, m.
  double largest_link_diagonal = -std::numeric_limits<double>::infinity();
  double lowest_link_depth_after_solve = std::numeric_limits<double>::infinity();
};

// Advances HRF, QSA, QOC and ARXL over the step that starts at LAST_OC_STEP_TIME and
// lasts PREVIOUS_TIMESTEP hours. Reads the OC set-up (surface/oc/oc_setup.h), the
// element geometry, PNETTO and ET_SURFACE_WATER_EVAP, and the subsurface exchange.
// Fatal reports: 1007 / 1023 an exhausted head / flux series, 1018 a singular row
// block, 1060 the limiter's passes exhausted, 1029 a channel face flow above
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
