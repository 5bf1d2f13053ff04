// The hot-start file: a saved model state a run can continue from.
//
// One record per save, in free format: "time=" with the time, the step and the top
// cell LL, then, each after its label, the canopy stores, the surface water levels,
// the face flows and their derivatives, the snow pack and its meltwater slugs, and the
// pressure heads of every cell. Reals are written as the shortest text that reads back
// to the same double, so a restart continues from exactly the state saved.
#pragma once

#include "include/model.h"

namespace quendal {

constexpr int HOTSTART_UNIT = 28;
// A hot-start file that cannot be restarted from: no complete record, or a label or
// count that does not fit this run.
constexpr int HOTSTART_ERROR = 1090;

// Reads unit 28 from its start and restores the state of the first record at or after
// HOTSTART_TIME, or of the last complete record when the file ends first (with
// " WARNING: END OF HOTSTART FILE REACHED"), leaving that record's time in
// NEXT_HOTSTART_TIME and its step in UZNEXT. Values are read into temporaries and only
// a complete record is applied; a record cut by the end of the file (a run that
// stopped while writing) counts as absent. Afterwards the file stands after the record
// restored, so records this run writes replace the later ones. Fatal 1090 when no
// record is complete or a label or count does not fit.
void read_hotstart_file(Model& model);

// At set-up of a run that writes records without reading: the first record written
// empties the file, so no record of an earlier run is left behind it.
void prepare_hotstart_output(Model& model);

// Appends one record of the current state to unit 28.
void write_hotstart_record(Model& model);

}  // namespace quendal
