// Detachment of the ground of column elements by raindrops, leaf drip and overland
// flow, as a rate at which the ground is lowered.
#pragma once

#include "include/frame_state.h"
#include "include/sediment_state.h"
#include "include/surface_state.h"

namespace quendal {

// Momentum-squared term of rain of intensity I (m/s) falling straight to the ground,
// from a power law whose coefficients depend on the intensity class.
double sy_rain_momentum(double intensity);

// Leaf-drip factor of a vegetation type: drop energy per drained depth, from the fall
// height `fall` (m), the drop diameter `drop` (m) and the vegetation's factor `fdrip`.
double sy_leaf_drip_factor(double fdrip, double fall, double drop);

// Share of drop impact that reaches the ground through surface water of depth h (m),
// for drops of diameter `drop` (m): 1 up to a depth of one drop diameter.
double sy_film_damping(double h, double drop);

// The leaf-drip factor of every vegetation type, then SY_GROUND_EROSION_RATE of every
// column element from the flow variables of the step (SY_FLOW_VARIABLES); the links'
// entries stay 0.
void SY_SOIL_DETACHMENT(const FrameState& frame, const SurfaceState& surface,
                        SedimentState& sediment);

}  // namespace quendal
