// What the main program, the driver and the catchment set-up call in the results
// output component: the water balance, the results store, the run output files, the
// end-of-run summary and the visualisation driver.
#pragma once

#include <string_view>

#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"
#include "output/end_of_run_summary.h"
#include "output/results_store.h"
#include "output/run_output_files.h"
#include "output/water_balance.h"

namespace quendal {

// Visualisation: run metadata, grid metadata, planned items; mode "end" closes.
// Not built yet: does nothing.
void VIS_DRIVER(float time, std::string_view mode, const FrameState& frame, OutputState& output,
                RunIo& io);

}  // namespace quendal
