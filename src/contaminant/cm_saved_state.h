// The contaminant state one step hands to the next, as a hot-start record carries it:
// the concentrations of the cells in use (the start of the next step), the exchange
// values columns and links leave each other (well and bank-exchange concentrations,
// surface and bank capacities), the stores of the column set-up that the restored
// water and sediment state do not give (lateral flows, net rain, base flow, well
// abstraction), and each link's bed area and bed make-up.
// The rest the initialisation lays again, from the data file, the mesh, and the water
// and sediment state restored before it, by the expressions the steps use.
#pragma once

#include "include/model.h"

namespace quendal {

// The label that opens the contaminant state in a record. Its counts: NCON and NSED.
inline constexpr const char* CM_SAVED_STATE_LABEL = "CM_STATE=";

// The items a record of this mesh holds for `ncon` contaminants and `nsed` size groups,
// their values zero. Reads the mesh and the cells of `model` only.
SavedState CM_SAVED_LAYOUT(const Model& model, int ncon, int nsed);

// The state of the contaminants once initialised, as a record holds it.
SavedState CM_SAVE_STATE(const Model& model);

// Right after the initialisation of a restarted run: replaces the initial state with
// model.contaminant.saved (filled from a record of this mesh, NCON and NSED) and empties
// `saved`.
void CM_RESTORE_STATE(Model& model);

}  // namespace quendal
