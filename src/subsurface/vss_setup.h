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
// data: reads the data file, skips the headings of the boundary series, matches the
// layers of neighbouring columns, generates the cells and their connections, places
// well screens and springs, builds the soil tables and sets the initial heads (uniform
// depth, or levels or heads from the vsi file, unit 29) with their moisture contents, between a start and an end
// banner on the print file. Counted errors end in fatal 1040; a soil of function 4 and
// cells that face two cells of a neighbour are refused here, before any step.
void VSS_SET_UP(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
                RunIo& io);

// Sizes the shared per-cell arrays to LL cells of NEL elements, zero-filled.
void VSS_ALLOCATE_CELL_ARRAYS(int NEL, SubsurfaceState& vss);

// Moisture content, relative conductivity and phreatic level of every column from the
// pressure heads in vspsi (a hot start restores only the heads).
void VSS_STATE_FROM_HEADS(const FrameState& frame, SubsurfaceState& vss, RunIo& io);

// The catchment set-up's call: VSS_SET_UP, then the root-uptake array of the ET step
// sized to the cells.
void VSS_INITIALISE(Model& model);

}  // namespace quendal
