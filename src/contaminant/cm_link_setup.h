// Link set-up: everything about one channel link that the contaminant transport of the
// step needs and that does not depend on the contaminant, gathered into the link work
// record: areas and their rates of change, the neighbours at both ends and the water
// they deliver, the link's own end and side flows, the stream-aquifer exchange, the
// bank cells beside the bed, rain and well water, the water content of the bed.
#pragma once

#include "include/model.h"

namespace quendal {

// Fills model.contaminant.link_work for link l and advances the link's stores (water
// and bed area, bed water content). A dry channel's stream-aquifer flows are set to 0.
void CM_LINK_SETUP(int l, Model& model);

// Flows into every link through its two ends (CM_LINK_END_FLOW_1 and _2) from the face
// flows of this step's OC solution. Set on every step, with or without sediment: the
// link set-up reads them on every step and nothing else provides them.
void CM_SET_LINK_END_FLOWS(Model& model);

}  // namespace quendal
