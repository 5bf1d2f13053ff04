// Element numbering and catchment topology.
//
// Turns the catchment mask and the two face-code grids into the element table every
// component walks: links, bank elements and grid squares are numbered, each element's
// neighbour over each face is found (another element, or a channel junction where
// three or four links meet), with the face of the neighbour that points back and the
// first open face.
//
// Reads from FrameState: NX, NY, CATCHMENT_MASK, LCODEX, LCODEY, BANKS_ON.
// Sets: NLF, NEL, NGDBGN, ICMREF, ICMXY, ICMRF2, junction_entry_count,
// LINK_BANK_ELEMENT, LINK_NORTH_SOUTH, NBFACE.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"

namespace quendal {

// Numbers the elements and builds the tables; with `print_on` writes the index array
// (and the junction table when there is one) to the print file. A mesh beyond the
// fixed maxima (NELEE elements, NLFEE links or junction entries), an empty catchment,
// or a table that contradicts itself stops the run with a fatal report.
void NUMBER_ELEMENTS(FrameState& frame, RunIo& io, bool print_on);

// The pass that completes the element table once the neighbours are known: the face
// of each neighbour that points back (ICMREF plane 3), NBFACE, and the faces of the
// links listed in each junction entry (ICMRF2 columns 4 to 6). Writes a line to the
// print file for every face whose neighbour does not point back, then their count;
// returns that count. NUMBER_ELEMENTS refuses a table with any.
int find_faces_pointing_back(FrameState& frame, RunIo& io);

// The lowest-numbered link at (column, row) running north-south (`north_south` true)
// or east-west; 0 when there is none.
int FIND_LINK_AT_FACE(const FrameState& frame, int column, int row, bool north_south);

// The grid square of cell (i, j); 0 for a cell outside the catchment or the grid.
int square_at(const FrameState& frame, int i, int j);

}  // namespace quendal
