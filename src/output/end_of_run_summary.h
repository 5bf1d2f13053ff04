// The close of a run that reached its end date: on the print file, how often each
// error number was reported, the normal-completion record with the simulated hours and
// the step count, and the catchment water budget in millimetres; on the console, the
// completion line. A run stopped by a fatal error never gets here.
#pragma once

#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"

namespace quendal {

// The budget gives the run totals of WATER_BALANCE_TOTALS, the storages at the end of
// the run, and the storages' change since the start against the net inflow (precipitation
// - evaporation - transpiration - discharge + aquifer flow + lateral inflow - well
// export) with the residual between them.
void END_OF_RUN_SUMMARY(const FrameState& frame, const OutputState& output, RunIo& io);

}  // namespace quendal
