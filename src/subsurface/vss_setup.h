// Set-up of the subsurface component: data file, aquifer connections, cells and their
// lateral connections, soil property tables.
#pragma once

#include "include/frame_state.h"
#include "include/model.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// Sets up the subsurface component once, after the element geometry and the bank
// data: reads the data file, matches the layers of neighbouring columns, generates the
// cells and their connections and builds the soil tables, between a start and an end
// banner on the print file. Counted errors end in fatal 1040; a soil of function 4 and
// cells that face two cells of a neighbour are refused here, before any step.
void VSS_SET_UP(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
                RunIo& io);

// The catchment set-up's call. The column solver is not built yet: after the set-up
// the run steps with the "no cells" state (subsurface_state.h), so that nothing reads
// heads or cell water that no step keeps.
void VSS_INITIALISE(Model& model);

}  // namespace quendal
