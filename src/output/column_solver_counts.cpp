#include "output/column_solver_counts.h"

#include "services/formatted_writer.h"

namespace quendal {

void write_column_solver_counts(const SubsurfaceState& subsurface, RunIo& io) {
  // Labels right-aligned in 20 columns, as the budget's.
  RecordSink& out = io.units.print();
  write_formatted(out, "(A20,I10)", "VSS Picard rows = ", subsurface.picard_rows);
  write_formatted(out, "(A20,I10)", "VSS limited steps = ", subsurface.limited_steps);
}

}  // namespace quendal
