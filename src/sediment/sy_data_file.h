// The sediment data file (unit 17): every parameter of the sediment component and the
// initial sediment state, as a fixed sequence of titled sections (services/titled_block.h)
// read once, in the set-up call of SY_STEP.
//
// The reader refuses counts that would overflow the fixed rooms (size groups,
// boundaries, boundary categories) with fatal errors 2005 to 2010, and values above
// what any sediment can have (services/physical_bounds.h); the other checks of the
// values come afterwards (sediment/sy_input_checks.h), which find where each value was
// read in io.places. It echoes the file's
// name, the run title and the version to the sediment print file (unit 24) and closes
// the data file.
#pragma once

#include <string>

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"

namespace quendal {

// Units of the sediment component. The two boundary series units are only checked:
// nothing is read from them.
constexpr int SY_DATA_UNIT = 17;        // SYD
constexpr int SY_PRINT_UNIT = 24;       // SPR
constexpr int SY_FLUX_SERIES_UNIT = 9876;    // SFB
constexpr int SY_RATING_SERIES_UNIT = 9877;  // SRB

// The version of the sediment component; a data file written for another version
// draws warning 2011.
inline const std::string SY_MODULE_VERSION = "4.2.7";

// Fatal error 2006 and its message, for a size-group count outside 1..NSEDEE.
constexpr int SY_SIZE_GROUP_COUNT_ERROR = 2006;
std::string sy_size_group_count_message(int nsed);

// Sizes every array the file fills (by NEL, NLF, ns and NV of `frame`, NSEDEE size
// groups) and reads the file into `sediment`. Needs the topology of `frame` to place
// grid values and SY_SURFACE_SOIL_TYPE of `sediment` for the option -1 of :SY52.
void SYREAD(const FrameState& frame, int ns, SedimentState& sediment, RunIo& io);

}  // namespace quendal
