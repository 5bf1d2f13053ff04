// The run's plain-text result files:
//   unit 41  the outlet discharge averaged over regular intervals of DISCHARGE_INTERVAL
//            hours (with a column per extra discharge point when unit 47 is named);
//   unit 42  the phreatic levels and cell heads of every element at the end of the run;
//   unit 43  the catchment-averaged cumulative totals and the storages (mm) every 24
//            simulated hours and at the run's end, comma-separated;
//   unit 44  the date, the time and the signed outlet discharge of every step;
// and the extra discharge points file (unit 47, input). A unit that the run-data file
// does not name is not written. Each call hands what it wrote to the files before it
// returns, so a run killed at any moment leaves them holding every record written.
#pragma once

#include <string_view>

#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

constexpr int OUTLET_DISCHARGE_UNIT = 41;
constexpr int END_STATE_UNIT = 42;
constexpr int TOTALS_UNIT = 43;
constexpr int DATED_DISCHARGE_UNIT = 44;
constexpr int EXTRA_DISCHARGE_POINTS_UNIT = 47;
constexpr int ERROR_EXTRA_DISCHARGE_POINTS = 1068;

// `mode` is five characters: "start" once before the time loop (reads the extra
// discharge points, writes the headings, finds the outlet, starts the interval
// averaging, measures the storages the catchment starts with); "main " at the end of
// every step, after UZNOW has been advanced (outlet discharge, dated discharge, totals);
// any other text, "end  " by the caller, once after the loop (the totals at the run's
// end when the last step wrote none, the end state).
//
// An extra discharge points file that cannot be read, that ends early, that gives more
// than MAX_EXTRA_POINTS points, or a point whose element is not in 1..NEL or whose face
// is not in 1..4, is fatal error 1068.
void WRITE_RUN_OUTPUTS(std::string_view mode, const FrameState& frame, const SurfaceState& surface,
                       const SubsurfaceState& subsurface, OutputState& output, RunIo& io);

}  // namespace quendal
