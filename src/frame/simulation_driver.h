// The simulation driver: set-up, then the time loop that calls every component in
// its fixed order.
#pragma once

#include "include/model.h"

namespace quendal {

void SIMULATION_DRIVER(Model& model);

}  // namespace quendal
