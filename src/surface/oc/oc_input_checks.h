// Checks of what the overland and channel flow component relies on, in three groups:
// before the OC data file is read, its files and the run's dimensions, then the element
// table against the face codes; after it, the roughness and the cross-sections read.
// Every failure is an error (severity 2) and is counted; a group that counted any ends
// with one fatal report, error 1000, which stops the run.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

// Group 1: the print file (23, "PRI") and the OC data file (12, "OCD") are connected
// (1008), the fixed dimensions hold the run (1001, 1002) and the counts agree (1003).
// When the print file is not connected the reports go to unit 0 (the console).
void OC_CHECK_VARIABLES(const FrameState& frame, RunIo& io);

// Group 2: every neighbour in ICMREF and every square in ICMXY is at most NEL (1057);
// a face code of 7 to 11 (weir, channel boundary or structure) stands only on a face
// that carries a link (1058).
void OC_CHECK_STATIC_ARRAYS(const FrameState& frame, RunIo& io);

// Group 3: the head and flux series files (38 "OHB", 37 "OFB") are connected when there
// are such categories (1008); STRX, STRY positive (1010); every section starts at height
// 0 (1016), rises strictly with widths that do not shrink (1017), and has a positive top
// width (1056).
void OC_CHECK_INPUT_DATA(const FrameState& frame, const SurfaceState& surface, RunIo& io);

}  // namespace quendal
