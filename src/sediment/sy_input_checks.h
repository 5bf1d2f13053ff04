// Plausibility checks of the sediment data just read: counts and switches, grain
// diameters, soil and vegetation parameters, compositions that sum to 1, cover
// fractions, porosities, initial depths and concentrations, and the boundaries. Every
// failure is reported (severity 2, on the sediment print file) and counted, so that one
// run shows all bad input at once; then fatal 2000 when any check failed. No value is
// changed.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"

namespace quendal {

// ns: the number of soil types. The boundary unit numbers sfb and srb are only checked.
void SY_CHECK_INPUT(const FrameState& frame, int ns, const SedimentState& sediment, int sfb,
                    int srb, RunIo& io);

}  // namespace quendal
