// The sediment state at the end of a step, held to what the run can have computed.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"

namespace quendal {

// Stops the run with fatal error 1096 (STATE_OUT_OF_RANGE_ERROR, on the sediment print
// file) at the first sediment value the step left that is not finite or lies beyond the
// largest 4-byte real in the units the outputs record it in, or at a suspended
// concentration below -1e-9. Checked per element: the depth of loose or bed sediment
// (recorded in mm), the ground erosion rate (mm/day), and per size group the
// composition, the suspended concentration and the discharge through each face (kg/s);
// per link: the bank erosion rate, the net deposition area, and per size group the
// depths of the active and deep bed layers and the infiltration into the deep layer.
// The report names the element, the size group (and face) and the value; the time is in
// its heading.
void SY_CHECK_STATE(const FrameState& frame, const SedimentState& sediment, RunIo& io);

}  // namespace quendal
