// The subsurface data file (unit 11): table options, soil types and their
// water-retention data, cell zones, the soil layers of every column and the bed layer
// of every link, aquifer connections, wells and springs, lateral and base boundaries.
//
// The file is a fixed sequence of titled sections (services/titled_block.h). Besides
// storing the values, the reader derives the layer levels of every column, fits layer
// boundaries near the ground and under a link's bed to the cell zones, and prepares the
// spline coefficients of tabulated soils.
//
// Every count and index read is checked against the room it fills or the thing it
// names before it is used, and every soil parameter the tables would divide by or take
// the power of is checked: a failure is fatal error VSS_ROOM_ERROR or VSS_SOIL_ERROR
// (or VSS_PLACEMENT_ERROR for a boundary or well that has nowhere to act), naming the
// file, the record and the value. Conductivities, moisture contents, storage, alpha,
// cell sizes, depths and spring values no ground can have are input errors
// (services/physical_bounds.h).
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

constexpr int VSS_DATA_UNIT = 11;

// The subsurface set-up's own numbered messages: data it refuses, and data it reads
// but cannot act on.
constexpr int VSS_ROOM_ERROR = 1077;       // a count or index outside its room
constexpr int VSS_SOIL_ERROR = 1078;       // a soil parameter the tables cannot use
constexpr int VSS_SOIL_TYPE_4_ERROR = 1079;
constexpr int VSS_SPLIT_CELLS_ERROR = 1080;
constexpr int VSS_PLACEMENT_ERROR = 1081;  // a boundary or well with nowhere to act
constexpr int VSS_NOTICE = 1082;           // warnings: data read but without effect
constexpr int VSS_NOT_FINITE_ERROR = 1083; // a head, flow or conductance not finite
constexpr int VSS_SPRING_WARNING = 1084;   // a spring level in no cell of its column
constexpr int VSS_SERIES_ERROR = 1085;     // a boundary series the step cannot use

// Units of the initial conditions and of the boundary series.
constexpr int VSS_INITIAL_CONDITIONS_UNIT = 29;
constexpr int VSS_WLD_UNIT = 31, VSS_LFB_UNIT = 32, VSS_LHB_UNIT = 33;
constexpr int VSS_LGB_UNIT = 34, VSS_BFB_UNIT = 35, VSS_BHB_UNIT = 36;

// Reads the data file once, at the start of the subsurface set-up, into `vss`: needs
// the frame data and element table, ZGRUND and NBFACE of `frame` and
// LINK_EQUIVALENT_BED of `surface`. Counts layer errors (1033) in VSS_ERROR_COUNT;
// every other failure is fatal. Writes the description line and the two zone lists
// to the print file, and one line per lateral boundary naming the face it acts on.
void VSS_READ_DATA_FILE(const FrameState& frame, const SurfaceState& surface,
                        SubsurfaceState& vss, RunIo& io);

// Second derivatives of the natural cubic spline through (x(j), y(j)), j = 1..n
// (x increasing), zero at both ends.
void natural_spline_second_derivatives(const double* x, const double* y, int n, double* y2);

}  // namespace quendal
