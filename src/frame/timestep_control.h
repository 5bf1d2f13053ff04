// Time-step control: chooses each step and brings the met data up to date.
//
// The step grows from the previous one by at most TIMESTEP_GROWTH, starts small on a
// cold run with a soft start, is capped at 0.5 h while snow may melt, and is shortened
// so that no rain station delivers more than MAX_RAIN_DEPTH_PER_STEP within it. A step
// is never cut at a met record boundary for its own sake: it runs on across the
// records it spans, and only the accumulated rainfall depth can shorten it.
#pragma once

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

constexpr double MIN_TIMESTEP = 5e-05;       // hours (about 0.18 s); a shorter step is fatal
constexpr int INVALID_TIMESTEP_ERROR = 1025;
constexpr long SOFT_START_LAST_STEP = 102;   // the soft start covers steps 0..102
constexpr double SNOW_TIMESTEP_CAP = 0.5;    // hours

// Runs first in every step, before the driver counts the step. On entry UZNEXT holds
// the previous step (BASIC_TIMESTEP before the first step of a cold run); on exit it
// holds the new step, and ELEMENT_RAIN_RATE (m/s) the rain of every element over it.
// Reads met records forward (MET_DATA_ADVANCE mode 1) while the step reaches past the
// current record, then completes the step's met data (mode 2) once. Clears SOFT_START
// on a hot start. `SD` is the snow depth per element (an empty array when there is no
// snow pack state), read only when SNOW_ON.
// A step below MIN_TIMESTEP writes the step's state to the print file and is fatal
// error 1025 "INVALID TIMESTEP".
void TIMESTEP_CONTROL(FrameState& frame, SurfaceState& surface, const Array1<double>& SD,
                      RunIo& io);

}  // namespace quendal
