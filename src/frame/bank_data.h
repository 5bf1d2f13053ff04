// The bank data file: the values of the bank elements.
#pragma once

#include "include/model.h"

namespace quendal {

// Error number of the bank data file's own checks: an input type that is not 1, 2 or
// 4 (fatal for a class that stores values, a warning otherwise), a bank element with no
// neighbour to copy from, a bank element a value list leaves out (warnings).
constexpr int BANK_DATA_ERROR = 1089;

// Reads the bank data file (unit 16) once, at set-up, when banks are on, after the
// element geometry and before the subsurface set-up. For each of its thirteen data
// classes the bank elements copy a neighbour's value, take one value, or take a value
// each; the values overwrite what the frame, snow and OC readers gave them, each held to
// its physical bounds (services/physical_bounds.h). Input type 3 stops the run (1061).
void BK_READ_DATA_FILE(Model& model);

}  // namespace quendal
