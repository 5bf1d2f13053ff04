// The sediment size-group count and the contaminant count, fetched from their data
// files before the time loop (the components read their files in full only when they
// first become due).
#pragma once

#include "include/contaminant_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"

namespace quendal {

constexpr int SEDIMENT_DATA_UNIT = 17;
constexpr int CONTAMINANT_DATA_UNIT = 18;

// NSED: the first value after the ":SY11" line of the sediment data file.
void GET_NSED_EARLY(SedimentState& sediment, RunIo& io);
// NCON: the first value after the ":CM3" line of the contaminant data file.
void GET_NCON_EARLY(ContaminantState& contaminant, RunIo& io);

}  // namespace quendal
