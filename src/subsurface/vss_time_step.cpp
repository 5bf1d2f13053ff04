#include "subsurface/vss_time_step.h"

namespace quendal {

void VSS_TIME_STEP(const FrameState&, const SurfaceState&, SubsurfaceState&, RunIo&) {}

}  // namespace quendal
