// The subsurface step the driver calls after the ET step.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

constexpr int VSS_MAX_GLOBAL_SWEEPS = 10;

// Advances the subsurface one step: boundary series, the water available at the
// surface and the cells' sources, a Gauss-Seidel iteration over the columns in ISORT
// order (the column solver), the balance closure of the cells and the exchange
// outputs (infiltration, base flow, wells, stream-aquifer flows).
//
// The moisture content the step leaves in every cell is its start value plus what the
// cell's final flows (vertical, lateral after the faces shared by two columns were
// made equal and opposite, boundary and point terms, sources) delivered over the step,
// so the cells' water changes by exactly what flowed; it differs from the tabulated
// moisture content at the final heads only by what the iterations left unbalanced,
// and the next step's storage term starts from it, so that difference never builds up.
void VSS_TIME_STEP(const FrameState& frame, const SurfaceState& surface,
                   SubsurfaceState& subsurface, RunIo& io);

}  // namespace quendal
