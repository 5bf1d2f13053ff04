#include "contaminant/contaminant.h"

namespace quendal {

void CM_INITIALISE(bool, Model&) {}

}  // namespace quendal
