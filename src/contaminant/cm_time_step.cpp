#include "contaminant/contaminant.h"

namespace quendal {

void CM_TIME_STEP(bool, Model&) {}

}  // namespace quendal
