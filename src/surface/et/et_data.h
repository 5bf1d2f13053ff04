// The ET data file (unit 13): switches and record intervals of the met data, whether
// each met site's potential evaporation is given or computed, and per vegetation type
// the parameters of canopy interception, potential evaporation and transpiration,
// their time-varying tables, the soil-water-potential table and the root density
// profile.
//
// Values the ET step or the met data would divide by, or take the logarithm of, are
// checked as they are read, and so is every table's row count against its room: a
// failure is fatal error ET_DATA_ERROR naming the vegetation type, the value and what
// is required, the line after it where the value was read. Values no vegetation can
// have (a height of -1e39 m, a ground cover above 1) are input errors
// (services/physical_bounds.h). Every table keeps the number of rows it was given.
#pragma once

#include "include/frame_state.h"
#include "include/model.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

constexpr int ET_DATA_UNIT = 13;
// A value of the ET data file that the model cannot compute with.
constexpr int ET_DATA_ERROR = 1062;

// Reads the ET data file once, at set-up, right after the frame data file (which gives
// NV, MET_SITE_COUNT, NGDBGN, NEL and HOTSTART_READ), and echoes it to the print file
// when its ET_PRINT_ON is set. Sizes and fills the ET data of `surface`, sizes the ET
// outputs by element (zero), zeroes the canopy store unless the run continues from a
// hot start, sets ET_CLOCK to 0, and finally checks that each met file the run will
// read holds at least its first (title) record, which it consumes: fatal 1065 (met
// file), 1063 (precipitation), 1064 (potential evaporation), 1066 and 1067
// (air-temperature high and low, when the run uses them).
void ET_READ_DATA_FILE(const FrameState& frame, SurfaceState& surface, RunIo& io);

// The catchment set-up's call.
void ET_READ_DATA_FILE(Model& model);

// Sizes the ET data of `nv` vegetation types and `met_sites` met sites, the ET outputs
// of `nel` elements and the canopy store, all zero (the reader does this first).
void allocate_et_state(SurfaceState& surface, int nv, int met_sites, int nel);

// Sets every time-varying vegetation parameter (CSTCAP, PLAI, CLAI, VHT of a type whose
// mode is not 0) to its table's multiplier at ET_CLOCK times the parameter's base
// value. The met-data advance calls it after reading met records; it moves the table
// row pointers forward as time passes and never reads past the rows given.
void refresh_vegetation_parameters(SurfaceState& surface, int nv, RunIo& io);

}  // namespace quendal
