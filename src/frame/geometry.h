// Plan geometry of the elements: sizes, areas and node-to-face distances.
//
// Reads NX, NY, GRID_SPACING_X, GRID_SPACING_Y, the element table (ICMREF, NEL, NLF)
// and the channel widths CWIDTH; sets CELL_WIDTH_X, CELL_WIDTH_Y, BANK_WIDTH, DXQQ,
// DYQQ, AREA, CLENTH, DHF and TOTAL_CATCHMENT_AREA.
//
// Cells outside the grid are "none"; a grid spacing asked for beyond the grid's edge
// is the nearest spacing inside it. So a square in column 1 has its node at its
// centre, as every other square does, and the distance between the nodes of two
// neighbours is always the spacing between them.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

// Computes the geometry; with `print_on` writes the element sizes and the catchment
// totals to the print file. An element left with no area or a node outside its
// element (a channel wider than its cell, for instance) stops the run with a fatal
// report.
void element_geometry(FrameState& frame, const SurfaceState& surface, RunIo& io, bool print_on);

// Gives every channel link the met site and rain station of its first neighbour (over
// faces 1 to 4) that is not a link and has both codes; site 1 and station 1 when none.
void inherit_link_met_codes(FrameState& frame);

}  // namespace quendal
