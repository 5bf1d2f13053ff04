// The snow data file (unit 15): the snowmelt method and its parameters, and the
// initial snow pack of every column element.
//
// Values the snow step would divide by or take the logarithm of, and initial packs
// that hold negative snow, are refused as they are read: fatal error SNOW_DATA_ERROR
// naming the value and what is required, the line after it where the value was read.
// Values no snow can have (a melt factor of 1e39, snow denser than water, a pack
// deeper than any measured) are input errors (services/physical_bounds.h).
#pragma once

#include "include/frame_state.h"
#include "include/model.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

constexpr int SNOW_DATA_UNIT = 15;
constexpr int SNOW_DATA_ERROR = 1086;

// Reads the snow data file once, at set-up, when snow is on (after the ET data file,
// which needs MET_SITE_COUNT, NGDBGN and NEL of the frame), echoes it to the print file
// when its SM_PRINT_ON is set, sizes the snow state of `surface` by element and sets
// the initial pack: depth SD and specific gravity SM_ELEMENT_RHOS (uniform, or from
// two real grids), temperature TS (0 under the degree-day method), no meltwater slugs.
void SM_READ_DATA_FILE(const FrameState& frame, SurfaceState& surface, RunIo& io);

// The catchment set-up's call.
void SM_READ_DATA_FILE(Model& model);

// Sizes the snow state of `nel` elements: no pack, no slugs.
void allocate_snow_state(SurfaceState& surface, int nel);

}  // namespace quendal
