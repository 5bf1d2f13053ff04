// The close of a run that reached its end date: on the print file, how often each
// error number was reported, the normal-completion record with the simulated hours and
// the step count, and the catchment water budget in millimetres; on the console, the
// numbers the run reported (when it reported any) and the completion line, once all of
// it is on disk. A run stopped by a fatal error never gets here.
#pragma once

#include <functional>

#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"

namespace quendal {

// The budget gives the run totals of WATER_BALANCE_TOTALS, the storages at the end of
// the run, and the storages' change since the start against the net inflow (precipitation
// - evaporation - transpiration - discharge + aquifer flow + lateral inflow - well
// export) with the residual between them.
void END_OF_RUN_SUMMARY(const FrameState& frame, const OutputState& output, RunIo& io);

// Writes the records of a completed run's end with `write` (the summary and what
// follows it on the print file), then says on the console which numbers the run
// reported, with their counts and files, and that the run completed. The
// records reach the print file whole or not at all: a print file that cannot take them
// is cut back to what it held before and the failure (OutputWriteError) goes on, so the
// print file never claims a completion that the run then reports as failed.
void complete_run(RunIo& io, const std::function<void()>& write);

}  // namespace quendal
