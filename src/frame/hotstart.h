// The hot-start file: a saved model state a run can continue from.
#pragma once

#include "include/model.h"

namespace quendal {

// Reads unit 28 from its start and restores the state of the first record at or after
// HOTSTART_TIME (or of the last record), leaving that record's time in
// NEXT_HOTSTART_TIME. Not built yet: it is filled when the hot-start file is written.
void read_hotstart_file(Model& model);

// Appends one record of the current state to unit 28. Not built yet: writes nothing.
void write_hotstart_record(Model& model);

}  // namespace quendal
