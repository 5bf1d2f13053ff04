// Lateral erosion of the banks of every channel link and the loose sediment the
// eroding banks deliver to the channel.
#pragma once

#include "include/frame_state.h"
#include "include/sediment_state.h"
#include "include/surface_state.h"

namespace quendal {

// Shear stress on the banks (N/m2) of a channel of width w (m) holding water of depth
// h (m) under a bed shear tau (N/m2): a share of tau that grows with the width ratio
// w / h, from 0.46 at 1 to 0.75 at 4 and above.
double sy_bank_shear(double tau, double h, double w);

// SY_BANK_EROSION_RATE and SY_BANK_SEDIMENT_SUPPLY of every link, from the water depth
// and element shear of the step (SY_FLOW_VARIABLES) and the link's bank soil.
void SY_BANK_EROSION(const FrameState& frame, const SurfaceState& surface, SedimentState& sediment);

}  // namespace quendal
