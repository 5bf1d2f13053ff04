#include "surface/snow/snow_data.h"

namespace quendal {

// Filled later, when its component is written.
void SM_READ_DATA_FILE(Model& /*model*/) {}

}  // namespace quendal
