#include "sediment/sediment.h"

namespace quendal {

void SY_STEP(const FrameState&, SedimentState&, RunIo&) {}

void SY_POST_STEP() {}

}  // namespace quendal
