// The bank data file: the values of the bank elements.
#pragma once

#include "include/model.h"

namespace quendal {

// Reads the bank data file (unit 16) once, at set-up, when banks are on, after the
// element geometry. Not built yet: it is filled when the bank data reader is written.
void BK_READ_DATA_FILE(Model& model);

}  // namespace quendal
