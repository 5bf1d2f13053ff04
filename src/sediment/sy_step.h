// What the driver calls in the sediment component.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// The sediment step, called in every step from the first at which sediment is due,
// with HRF_SY_COPY of `frame` just filled. The first call sets the component up: it
// checks the rooms, unit numbers and the water components' static arrays, reads and
// checks the sediment data file and builds the initial state, and moves no sediment;
// later calls check the water components' time-dependent values every
// SY_CHECK_INTERVAL calls (from the second; failures are reported, the run goes on) and
// move sediment over the step, then hold the state to what the run can have computed
// (SY_CHECK_STATE: fatal 1096). Every failure of the set-up is fatal.
void SY_STEP(const FrameState& frame, const SurfaceState& surface,
             const SubsurfaceState& subsurface, SedimentState& sediment, RunIo& io);
// At the start of a run restarted from a record that holds the sediment state
// (sediment.saved), with HRF_SY_COPY filled: the set-up call's work, then that state in
// place of the initial one. The next SY_STEP moves sediment as the saved run's next
// call did.
void SY_RESUME(const FrameState& frame, const SurfaceState& surface,
               const SubsurfaceState& subsurface, SedimentState& sediment, RunIo& io);
// Called after the daily balance in every step in which sediment is due; nothing to do.
void SY_POST_STEP();

}  // namespace quendal
