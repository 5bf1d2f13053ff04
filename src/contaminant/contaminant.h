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
// At the start of a run restarted from a record that holds the contaminants' state
// (model.contaminant.saved), after the sediment has taken its own back: set up from the
// data file as CM_INITIALISE does, then that state in place of the initial one. The next
// CM_TIME_STEP advances it as the saved run's next step did.
void CM_RESUME(bool SEDIMENT_ON, Model& model);

}  // namespace quendal
