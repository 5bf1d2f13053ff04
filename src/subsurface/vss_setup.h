// Set-up of the subsurface component: data file, cells, tables, initial state.
#pragma once

#include "include/model.h"

namespace quendal {

// Sets up the subsurface component once, after the element geometry and the bank
// data. Not built yet: it is filled when the subsurface component is written.
void VSS_INITIALISE(Model& model);

}  // namespace quendal
