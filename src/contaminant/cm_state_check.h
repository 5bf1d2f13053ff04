// The contaminant state at the end of a step, held to what the run can have computed.
#pragma once

#include "include/contaminant_state.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"

namespace quendal {

// Stops the run with fatal error 1096 (STATE_OUT_OF_RANGE_ERROR, on the contaminant
// print file) at the first relative concentration the step left that is not finite,
// lies beyond the largest 4-byte real or below -1e-9 times the largest magnitude of the
// same contaminant anywhere in the catchment (a line after the report gives that
// largest value): of the channel water, stream-bed
// surface layer and deep layer of every link (cells LL, LL-1, LL-2) and of the dynamic
// region and dead space of every column's cells from its lowest to LL. The report names
// the element, the cell, the contaminant and the compartment; the time is in its heading.
void CM_CHECK_STATE(const FrameState& frame, const SubsurfaceState& subsurface,
                    const ContaminantState& cm, RunIo& io);

}  // namespace quendal
