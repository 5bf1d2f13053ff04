#include "output/run_outputs.h"

namespace quendal {

void VIS_DRIVER(float, std::string_view, const FrameState&, OutputState&, RunIo&) {}

}  // namespace quendal
