#include "frame/bank_data.h"

namespace quendal {

// Filled later, when its component is written.
void BK_READ_DATA_FILE(Model& /*model*/) {}

}  // namespace quendal
