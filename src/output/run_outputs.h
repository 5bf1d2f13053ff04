// What the main program, the driver and the catchment set-up call in the results
// output component. The component itself is not built yet: these entry points do
// nothing.
#pragma once

#include <string_view>

#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"

namespace quendal {

// Per-element water-balance error; the first call stores the initial storages.
void WATER_BALANCE_ERROR(const FrameState& frame, OutputState& output, RunIo& io);
// Adds the step's volumes to the catchment totals; closes a period at each day boundary.
void WRITE_DAILY_BALANCE(const FrameState& frame, OutputState& output, RunIo& io);
// Writes the due items of the classes switched on in `mask` ("1" at position k).
void STORE_RESULTS_BY_CLASS(std::string_view mask, double time, bool force,
                            const FrameState& frame, OutputState& output, RunIo& io);
// Visualisation: run metadata, grid metadata, planned items; mode "end" closes.
void VIS_DRIVER(float time, std::string_view mode, const FrameState& frame, OutputState& output,
                RunIo& io);
// Mode "start", "main " or "end  ".
void WRITE_RUN_OUTPUTS(std::string_view mode, const FrameState& frame, OutputState& output,
                       RunIo& io);
// The end-of-run summary on the print file and the completion line on the console.
void END_OF_RUN_SUMMARY(const FrameState& frame, OutputState& output, RunIo& io);

}  // namespace quendal
