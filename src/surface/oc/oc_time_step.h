// The overland and channel flow step the driver calls after the link block.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

// Solves the surface water levels HRF and the face flows, then publishes QOC and ARXL.
// Not built yet: water does not move, HRF, QOC and ARXL keep their values.
void OC_TIME_STEP(FrameState& frame, SurfaceState& surface, RunIo& io);

}  // namespace quendal
