// The water balance: per element, the accumulated difference between the change of
// the water an element holds and what flowed in and out of it; over the catchment, the
// volumes that fell, evaporated, transpired, crossed the aquifer base and left through
// the outlet, with the storages measured at the end of every step.
//
// Both run once per time step, after every water component of the step (ET, subsurface,
// OC) has run: first WATER_BALANCE_ERROR, then WRITE_DAILY_BALANCE.
#pragma once

#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// Updates ELEMENT_BALANCE_ERROR of elements 1..NEL: the storage change over the step
// minus the net inflow (vertical rates times DTUZ, lateral flows over the area), in
// metres. The first call of the process zeroes the errors and only records each
// element's storage, so a run of one step ends with every error exactly 0. A positive
// error means the element holds more water than its fluxes delivered.
void WATER_BALANCE_ERROR(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, OutputState& output);

// Measures the catchment's storages before the first step (after the set-up, and the
// hot start when there is one) into BALANCE_START_STORAGE, and the well water the first
// step's ET step will give to column elements. Called once, by the start mode of
// WRITE_RUN_OUTPUTS.
void START_WATER_BALANCE(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, OutputState& output);

// Adds the step's catchment volumes (m3) to the period and run totals of
// WATER_BALANCE_TOTALS, among them the lateral inflow through the catchment's edges and
// the well water that leaves it, and measures the storages at the end of the step. When
// UZNOW has reached BALANCE_NEXT_TIME (0 at first, so the first step is a boundary) it
// offers the period totals to the results store (class 50), moves the balance calendar
// on by one day and restarts the period totals. Called after UZNOW has been advanced by
// the step.
void WRITE_DAILY_BALANCE(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, OutputState& output, RunIo& io);

// Days in `month` of `year` on the Gregorian calendar.
int days_in_month(int year, int month);

}  // namespace quendal
