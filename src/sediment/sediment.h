// What the driver calls in the sediment component. The component itself is not built
// yet: these entry points do nothing.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"

namespace quendal {

// The sediment step: the first call reads and checks the sediment data and sets up
// the initial state; later calls move sediment over the step.
void SY_STEP(const FrameState& frame, SedimentState& sediment, RunIo& io);
// Called after the daily balance in every step in which sediment is due.
void SY_POST_STEP();

}  // namespace quendal
