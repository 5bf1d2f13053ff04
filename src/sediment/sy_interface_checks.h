// Checks of what the sediment component takes from the water components and the frame:
// the fixed rooms against the catchment's counts, then the element topology, geometry,
// soil and vegetation codes and the initial water levels. Every failure is reported
// (severity 2, on the sediment print file) and counted; a routine that found any ends
// in one fatal report.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// The fixed rooms against NEL, NLF, NS, NV, NX and NY, and the print and data units
// spr and syd: fatal 2000 when any check (2054 to 2062) failed.
void SY_CHECK_DIMENSIONS(const FrameState& frame, int ns, int spr, int syd, RunIo& io);

// The element table (counts, neighbours and the faces pointing back, the grid squares
// beside every link's banks, the channel junctions), the link and element geometry,
// the soil layers and vegetation codes, and HRF_SY_COPY not below the ground: fatal
// 2001 when any check (2063 to 2080) failed.
void SY_CHECK_WAT_STATIC(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, RunIo& io);

// The step, the canopy and channel quantities, the canopy drainage against the net
// rain, the levels, the face flows (no face losing water on both sides, no junction
// that no link takes water from) and ISORT (every element before every element that
// receives its water). Failures (2046 to 2053) are reported, then the values are
// dumped on the sediment print file and error 2003 closes; the run goes on.
void SY_CHECK_WAT_TIME_DEPENDENT(const FrameState& frame, const SurfaceState& surface,
                                 SedimentState& sediment, RunIo& io);

}  // namespace quendal
