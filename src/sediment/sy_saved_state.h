// The sediment state one step hands to the next, as a hot-start record carries it: the
// loose sediment, its composition and suspended concentrations, the water each column
// held at the end of the last sub-step, the volumes held for a later visit, the
// links' bed layers and net deposition, the junction shares, the ground erosion rate of
// the last step (the contaminants start their next step from it), and the call count
// that times the interface checks. Everything else the step reads it either computes
// afresh or takes from the data file and the restored water state, from which the
// set-up call lays it again.
#pragma once

#include "include/frame_state.h"
#include "include/saved_state.h"
#include "include/sediment_state.h"

namespace quendal {

// The label that opens the sediment state in a record. Its counts: SY_CALL_COUNT and NSED.
inline constexpr const char* SY_SAVED_STATE_LABEL = "SY_STATE=";

// The items a record of `frame`'s mesh holds with `nsed` size groups, their values zero.
SavedState SY_SAVED_LAYOUT(const FrameState& frame, int nsed);

// The state of `sediment` after its set-up call, as a record holds it.
SavedState SY_SAVE_STATE(const FrameState& frame, const SedimentState& sediment);

// Right after the set-up call of a restarted run: replaces the state it laid with
// sediment.saved (filled from a record of this mesh and NSED), continues the call count
// from the saved one, and empties `saved`.
void SY_RESTORE_STATE(const FrameState& frame, SedimentState& sediment);

}  // namespace quendal
