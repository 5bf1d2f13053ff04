#include "surface/oc/oc_time_step.h"

namespace quendal {

void OC_TIME_STEP(FrameState&, SurfaceState&, RunIo&) {}

}  // namespace quendal
