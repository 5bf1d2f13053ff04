#include "contaminant/contaminant.h"

namespace quendal {

void CM_INITIALISE(bool, const FrameState&, ContaminantState&, RunIo&) {}

void CM_TIME_STEP(bool, const FrameState&, ContaminantState&, RunIo&) {}

}  // namespace quendal
