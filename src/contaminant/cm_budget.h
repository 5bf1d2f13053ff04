// Our own account of each contaminant's mass, accumulated every step, in relative
// concentration x m3: what entered, what left and what decayed since initialisation.
#pragma once

#include "include/arrays.h"
#include "include/dimensions.h"

namespace quendal {

struct ContaminantBudget {
  // Channel links, per contaminant 1..3.
  // Rain, well water and the surface source falling into links, the bank erosion
  // release and the inflow through link ends without a neighbour.
  Array1<double> link_in{CM_MAX_CONTAMINANTS, 0.0};
  // Outflow through link ends without a neighbour (the outlet among them).
  Array1<double> link_out{CM_MAX_CONTAMINANTS, 0.0};
  // Lost by decay in the three compartments, and gained from the decay of the
  // contaminant before it in the chain.
  Array1<double> link_decayed{CM_MAX_CONTAMINANTS, 0.0};
  Array1<double> link_produced{CM_MAX_CONTAMINANTS, 0.0};
};

}  // namespace quendal
