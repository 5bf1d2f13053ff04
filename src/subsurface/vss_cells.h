// The cell stacks of the columns and their lateral connections.
//
// Every column element gets a stack of cells from its soil layers (a zero-thickness
// placeholder first, then the cells of each layer, then the near-surface zone; a link
// with banks the cells of its side-1 bank below its bed zone, then the bed zone). All
// stacks are aligned at one common top cell LL by padding them at the bottom. The cells
// of layers matched by the aquifer connections are then paired over each face, one to
// one or one to two; when a group cannot be paired, the cell counts of its layers are
// raised and the whole generation starts again.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// Generates CELL_THICKNESS, CELL_ELEVATION, LL, LAYER_BOTTOM_CELL, LINK_BED_CELL,
// CELL_FACE_CELL and CELL_FACE_SPLIT from the layers and LAYER_FACE_CONNECTION, and
// prints LL. More than MAX_CELLS_PER_COLUMN cells in a column is fatal VSS_ROOM_ERROR;
// more than 40000 passes fatal 1048.
void VSS_SET_UP_CELLS(const FrameState& frame, const SurfaceState& surface,
                      SubsurfaceState& vss, RunIo& io);

// Offset and spacing of the whole (unsplit) pairs among the candidates of a pairing of
// a smaller list of a + P cells with a bigger one of b + P cells.
void VSS_SPLIT_INDEX(int a, int b, int& offset, int& spacing);

}  // namespace quendal
