// The results store: the entry through which the driver, the catchment set-up and the
// water balance offer classes of results for recording on the results-store file
// (unit 27). Classes 1 to 44 are the dynamic visualisation items, 45 to 49 further
// classes, 50 the period totals of the catchment water balance.
#pragma once

#include <string_view>

#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"

namespace quendal {

// Records the items of the classes switched on in `mask` (character c is "1" for class
// c; characters beyond the mask's length count as off) that are due at `time` (hours
// from the run start), or every such item when `force`. A run's input defines no store
// item, so a pass writes nothing and changes nothing that another component reads.
void STORE_RESULTS_BY_CLASS(std::string_view mask, double time, bool force, const FrameState& frame,
                            OutputState& output, RunIo& io);

}  // namespace quendal
