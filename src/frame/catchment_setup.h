// The catchment set-up: everything the time loop needs, prepared once per run before
// the first step, in a fixed order.
#pragma once

#include "include/model.h"

namespace quendal {

// Reads the frame data (numbering the elements and building the topology), has each
// water component read its data file, computes the element geometry, applies the bank
// data, sets up the subsurface component, gives the channel links their met codes,
// reads the ZQ tables, rewinds the input files and, for a hot start, restores the
// saved state.
void CATCHMENT_SETUP(Model& model);

}  // namespace quendal
