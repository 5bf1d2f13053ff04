#include "frame/simulation_driver.h"

namespace quendal {

void SIMULATION_DRIVER(Model& model) {
  // From here on a console record starting with "+" overwrites the progress line.
  model.io.console.connect_carriage_control();
}

}  // namespace quendal
