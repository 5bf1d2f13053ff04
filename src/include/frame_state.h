// State of the run frame: the run clock and the driver's counters.
#pragma once

namespace quendal {

struct FrameState {
  // Run clock.
  long STEP_COUNT = 0;           // steps taken
  double UZNOW = 0.0;            // simulated hours since the run start
  double UZNEXT = 0.0;           // the step, hours
  double DTUZ = 0.0;             // the step, seconds
  double PREVIOUS_TIMESTEP = 0.0;
  double LAST_OC_STEP_TIME = 0.0;
  int PROGRESS_HOUR_MARK = 0;
};

}  // namespace quendal
