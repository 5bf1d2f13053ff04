// The initial sediment state, built once at the end of the set-up call: rates,
// infiltration and face discharges zeroed, each link's bed split into its active layer
// and the layer below, and the per-element and per-soil quantities every later step
// uses (soil-to-sediment ratios, bank heights, starting water depths and wetted areas,
// soil median diameters).
#pragma once

#include "include/frame_state.h"
#include "include/sediment_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"
#include "services/array_section.h"

namespace quendal {

// The grain diameter at fraction p of a size distribution: fractions f(1..n) of the
// size groups whose representative diameters d(1..n) ascend. Interpolates linearly
// between the diameters of neighbouring groups where the cumulative fraction taken at
// the middle of a group reaches p of the total; past the coarsest group it
// extrapolates. Returns 0 when the fractions sum to zero.
double SY_DIAMETER_PERCENTILE(double p, ConstRealSection f, int n, ConstRealSection d);

// Sizes and sets the state a step starts from (the data file's values, `sediment`'s
// SY_SURFACE_SOIL_TYPE and the water state as the set-up call finds it).
void SY_INITIAL_STATE(const FrameState& frame, const SurfaceState& surface,
                      const SubsurfaceState& subsurface, SedimentState& sediment);

// Sizes the work arrays of the time-stepping calls (flow variables, bank supply,
// channel capacities, routing) and the held volumes (empty) so that no call allocates;
// junction shares start at 0 and the Ackers-White table is filled again on its next use.
void SY_SIZE_WORK_ARRAYS(const FrameState& frame, SedimentState& sediment);

}  // namespace quendal
