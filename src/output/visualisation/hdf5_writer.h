// The visualisation output file: the plan layer's writer that puts every recorded item
// into an HDF5 file which h5py, xarray (through h5netcdf) and HDFView open without a
// reader of ours. The README shows the layout; in short:
//
//   /            start_date and the run's file names as attributes
//   /mesh        the mesh counts as attributes; element_at_cell (y, x); is_square,
//                is_bank, is_link (element); bank_no, river_no (element, face)
//   /plan/text   the plan file as read
//   /items/NNN_name, one group per recorded plan item NNN:
//                time (hours since the start date, to the millisecond), x and y or
//                element, [face|xy|side], [layer with cell], value, and for the types
//                that visit neighbours
//                bank_value (time, bank, ...) and link_value (time, link, ...)
//
// Every axis is a dimension scale; value datasets are float32, or int32 for the integer
// items, filled with NaN or -2147483648 where no element is. The file is created (and
// truncated) when the plan has been checked, before the first step; each record is
// appended along time and the file flushed, so that what was saved survives however the
// run ends: after a write that fails, nothing more reaches the file. The file keeps the default (earliest) format bounds: a file the process
// could not close is still readable.
#pragma once

#include <memory>

#include "include/frame_state.h"
#include "include/run_io.h"
#include "output/visualisation/visualisation_library.h"

namespace quendal {

// The file cannot be created (before the first step): fatal. A record or the close that
// cannot be written later is fatal error 1094 (ERROR_WRITING_FILE), which also says
// what the file still holds.
constexpr int VIS_OUTPUT_CREATE_FATAL = 1091;
constexpr int VIS_OUTPUT_DROPPED_WARNING = 1093;

// The writer of the file named by "hdf5fname"; dates count from the start date in
// `frame`, read when the file is created. It is also a VisualisationPlanWriter.
std::unique_ptr<VisualisationWriter> make_hdf5_writer(RunIo& io, const FrameState& frame);

// The time coordinate written for a record at `hours` after the start: the hours rounded
// to the millisecond. The run's clock is a sum of steps and drifts from the times it
// means (71.99999999 h for 72), and a reader that turns "hours since" into whole
// nanoseconds by truncation (xarray does) would show 23:59:59.999999999. Of the doubles
// within rounding of the millisecond, the one whose product with 3.6e12 ns per hour does
// not fall short of it is written, so that such a reader finds the millisecond itself:
// exactly while the nanoseconds stay below 2^52 (52 days), and never before it beyond
// that, later by no more than two spacings of doubles of that size (1 ns at 100 days,
// 128 ns at ten years).
double visualisation_time_coordinate(double hours);

}  // namespace quendal
