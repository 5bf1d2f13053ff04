// Preparing one column element (grid square or bank element) for its contaminant
// transport step.
#pragma once

#include "include/model.h"

namespace quendal {

// Gathers, for the column `iel`, everything its transport needs from the water and
// sediment state into `contaminant.column_work`: geometry, water contents and flows
// at the start of the step (the element's stores) and at the end (now), scaled, with
// the vertical flows recomputed so that they close each cell's water balance; then
// replaces the element's stores by the end-of-step values. CM_STEP_FACTOR must be set.
void CM_COLUMN_SETUP(Model& model, int iel);

// The flow into cell `k` + 1 of element `e` from cell `k` (m/s, + upwards); below the
// bottom cell 1 it is the column's base flow, which has no cell of its own.
double cm_flow_below(const SubsurfaceState& vss, int k, int e);

}  // namespace quendal
