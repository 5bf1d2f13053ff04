// Level-discharge (ZQ) tables of the structures between channel links.
#pragma once

#include "include/model.h"

namespace quendal {

// Reads the ZQ table file (unit 51) at set-up when the run names one.
// Not built yet: it is filled when the ZQ tables are written.
void ZQ_READ_TABLES(Model& model);

}  // namespace quendal
