// Aquifer connections: which soil layer of a column exchanges water laterally with
// which layers of each neighbouring column. Pairs of layers named in the IAQCON entries
// of the data file connect as given; elsewhere a default rule walks down both columns
// matching soil types. The cell set-up then pairs the cells of the matched layers.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"

namespace quendal {

// Sets LAYER_FACE_CONNECTION(e, L, f) for every column element: the layers of the
// neighbour over face f that layer L connects to, coded lowest * 21 + highest (a
// single layer n is n * 22), 0 none. A link and its own bank are not matched here. Each
// faulty IAQCON entry is error 1038, counted in VSS_ERROR_COUNT.
void VSS_SET_UP_AQUIFER_CONNECTIONS(const FrameState& frame, SubsurfaceState& vss, RunIo& io);

// The first and last layer of a connection code (0, 0 for none).
inline int connection_lowest(int code) { return code / 21; }
inline int connection_highest(int code) { return code % 21; }

}  // namespace quendal
