// The run's only entry to the visualisation output. The first call hands the layer the
// run's directories and file names; the second describes the mesh and registers every
// item the run can deliver; from the second call on every call asks the plan which
// items are due at this time and records them; mode "end" then closes the output.
#pragma once

#include <string_view>

#include "include/contaminant_state.h"
#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// Warning: a plan answer outside the mesh; the item is not recorded at that call.
constexpr int VIS_PLAN_REFUSED_WARNING = 1075;

// `time`: hours since the run's start. The plan's answers that serve as bounds and
// indexes are checked before an item's time record is opened: the window within the
// grid, the layers of a per-cell item within 1..LL, "ext" within 0..4, the selected
// elements within 0..NEL, "nsed" and "ncon" within 1..NSED and 1..NCON for items per
// size group and per contaminant. An item that fails is not recorded at that call;
// its first failure is reported as warning 1075 on the print file.
void VIS_DRIVER(double time, std::string_view mode, const FrameState& frame,
                const SurfaceState& surface, const SubsurfaceState& subsurface,
                const SedimentState& sediment, const ContaminantState& contaminant,
                const OutputState& output, VisualisationState& vis, RunIo& io);

// Closes the visualisation output; a second close does nothing.
void VIS_CLOSE(VisualisationState& vis);

}  // namespace quendal
