// Moving sediment over one water step: the flow variables, detachment and bank erosion
// once, then NEPS equal sub-steps that route the sediment of every size group through
// element faces, channel links and junctions and update the loose layers, the
// suspended concentrations and the link beds.
#pragma once

#include "include/frame_state.h"
#include "include/sediment_state.h"
#include "include/surface_state.h"

namespace quendal {

// One sub-step of length dt (s) with the flow variables, erosion rates and bank supply
// of the step already computed.
void SY_SUB_STEP(const FrameState& frame, const SurfaceState& surface, SedimentState& sediment,
                 double dt);

// The bed of every link split again into its active layer (at most DCBEDO deep) and the
// layer below, from the depths the link balances left; the change of the bed's
// cross-section adds to SY_NET_DEPOSITION_AREA.
void SY_BED_LAYER_SPLIT(const FrameState& frame, const SurfaceState& surface,
                        SedimentState& sediment);

// A whole water step of the sediment state: flow variables, detachment, bank erosion,
// then the NEPS sub-steps of DTUZ / NEPS.
void SY_MOVE_SEDIMENT(const FrameState& frame, const SurfaceState& surface,
                      SedimentState& sediment);

}  // namespace quendal
