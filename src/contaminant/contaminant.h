// What the driver calls in the contaminant component. The component itself is not
// built yet: these entry points do nothing.
#pragma once

#include "include/contaminant_state.h"
#include "include/frame_state.h"
#include "include/run_io.h"

namespace quendal {

// First step in which contaminants are due: read the contaminant data, set the
// initial concentrations.
void CM_INITIALISE(bool SEDIMENT_ON, const FrameState& frame, ContaminantState& contaminant,
                   RunIo& io);
// Every later due step: advance the concentrations over the step.
void CM_TIME_STEP(bool SEDIMENT_ON, const FrameState& frame, ContaminantState& contaminant,
                  RunIo& io);

}  // namespace quendal
