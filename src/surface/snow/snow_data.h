// The snow data file: snowmelt method, its parameters, the initial snow pack.
#pragma once

#include "include/model.h"

namespace quendal {

// Reads the snow data file (unit 15) once, at set-up, when snow is on.
// Not built yet: it is filled when the snow component is written.
void SM_READ_DATA_FILE(Model& model);

}  // namespace quendal
