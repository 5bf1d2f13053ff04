#include "surface/oc/zq_tables.h"

namespace quendal {

// Filled later, when its component is written.
void ZQ_READ_TABLES(Model& /*model*/) {}

}  // namespace quendal
