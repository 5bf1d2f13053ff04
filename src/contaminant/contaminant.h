// What the driver calls in the contaminant component.
#pragma once

#include "include/model.h"

namespace quendal {

// First step on which contaminants are due: read the contaminant data, set the
// initial concentrations and the stores the first transport step reads.
void CM_INITIALISE(bool SEDIMENT_ON, Model& model);
// Every later due step: advance the concentrations over the step, then hold them to
// what the run can have computed (CM_CHECK_STATE: fatal 1096).
void CM_TIME_STEP(bool SEDIMENT_ON, Model& model);

}  // namespace quendal
