// Contaminant transport in one column element (grid square or bank element): the
// terms that come from outside the column's cells and the solve of the two regions.
#pragma once

#include "include/model.h"

namespace quendal {

// Error number of a concentration that came out of a column solve not finite.
constexpr int CM_NOT_FINITE_ERROR = 3011;

// Advances every contaminant of the column `iel` over the step, from the work values
// that CM_COLUMN_SETUP(model, iel) has just prepared: new concentrations of cells 1..LL
// in both regions, the column's surface capacities and well concentration, a bank's
// exchange concentration and bank-cell capacities for its link, and the contaminant
// budget. A concentration that is not finite stops the run with 3011.
void CM_COLUMN_TRANSPORT(Model& model, int iel);

}  // namespace quendal
