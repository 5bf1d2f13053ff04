// The subsurface step the driver calls after the ET step.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// Boundary series, global iteration over all columns, balance closure and exchange
// outputs. Not built yet: the subsurface keeps its "no cells" state and this does
// nothing.
void VSS_TIME_STEP(const FrameState& frame, const SurfaceState& surface,
                   SubsurfaceState& subsurface, RunIo& io);

}  // namespace quendal
