// The two lines that follow the end-of-run summary's budget on the print file: how
// often, over the run, the subsurface column solver solved a row with its Picard
// diagonal (its Newton diagonal was not negative) and scaled an iteration's update down
// (to its step limit, or to stop a head at saturation). Both are 0 where Newton's method solved every column unaided; many
// of them point at dry soils, deep water tables or boundaries that pull hard on dry
// cells, where the solver converges more slowly.
#pragma once

#include "include/run_io.h"
#include "include/subsurface_state.h"

namespace quendal {

void write_column_solver_counts(const SubsurfaceState& subsurface, RunIo& io);

}  // namespace quendal
