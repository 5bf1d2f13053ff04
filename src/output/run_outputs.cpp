#include "output/run_outputs.h"

namespace quendal {

void WATER_BALANCE_ERROR(const FrameState&, OutputState&, RunIo&) {}

void WRITE_DAILY_BALANCE(const FrameState&, OutputState&, RunIo&) {}

void STORE_RESULTS_BY_CLASS(std::string_view, double, bool, const FrameState&, OutputState&,
                            RunIo&) {}

void VIS_DRIVER(float, std::string_view, const FrameState&, OutputState&, RunIo&) {}

void WRITE_RUN_OUTPUTS(std::string_view, const FrameState&, OutputState&, RunIo&) {}

void END_OF_RUN_SUMMARY(const FrameState&, OutputState&, RunIo&) {}

}  // namespace quendal
