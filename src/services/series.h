// Date-stamped series: the boundary-condition files of the OC component (flux and head
// series, units 37 and 38) and of the subsurface component (units 31 to 36).
//
// After a heading record, which the caller's set-up skips, each record holds in free
// format the date (year, month, day, hour, minute) and one value per column of the
// series. A reader advances the series over one time step:
//   READ_SERIES_STEP_MEAN      the time-weighted mean of each column over the step,
//                              the series being piecewise constant: a record's values
//                              hold over the interval that ends at its own date and
//                              begins at the previous record's date (at hour 0 of the
//                              run for the first record);
//   READ_SERIES_STEP_MIDPOINT  the values at the middle of the step, interpolated
//                              linearly between the records around it.
//
// The caller keeps the state of each series: TLAST and TNEXT (hours from the run start
// of the last two records read) and the value vectors, all zero before the first call.
// The values are taken as the first N entries of each section.
//
// At the end of the file TNEXT becomes SERIES_END_TIME (999999.9), which IS_NO_DATA
// recognises; the values of that call are then not to be used, and the caller stops the
// run with its own fatal error. A month outside 1..12 in a record is fatal error 4820,
// a date that does not exist (31 April, hour 24, ...) stops the run with " date trap"
// (both through the calendar); a value that cannot be read raises InputError.
#pragma once

#include <functional>
#include <string_view>

#include "include/run_io.h"
#include "services/array_section.h"
#include "services/records.h"

namespace quendal {

constexpr double SERIES_END_TIME = 999999.9;

// A series runs forward in time: a record whose date is not after the one before it in
// the file is an InputError naming the file, the record and the date. A month outside
// 1..12 (fatal 4820) and a date that does not exist (" date trap") are followed by a
// line naming the series' file, record and date.
//
// The check a caller may give sees each value of every record read, with its column
// (1..N) and its place, and refuses a value by throwing (a physical bound).
using SeriesValueCheck = std::function<void(int column, double value, const FieldPlace& place)>;

// The caller's fatal report of a series that ended before the run: `number` and `text`,
// then a line naming the file of `unit`, its last record and the hour the step needed
// values up to.
[[noreturn]] void report_series_end(RunIo& io, int unit, int number, std::string_view text,
                                    double needed_to);

// unit: the series file; base: calendar hours of the run start (RUN_START_TIME);
// t0, dt: start and length of the step in hours from the run start.
// SERIES_VALUES: in and out, the values of the last record read.
// STEP_VALUES: out, the mean over (t0, t0 + dt].
void READ_SERIES_STEP_MEAN(RunIo& io, int unit, double base, double t0, double dt, double& TLAST,
                           double& TNEXT, RealSection SERIES_VALUES, int N,
                           RealSection STEP_VALUES, const SeriesValueCheck& check = {});
void READ_SERIES_STEP_MEAN(RunIo& io, RecordSource& source, double base, double t0, double dt,
                           double& TLAST, double& TNEXT, RealSection SERIES_VALUES, int N,
                           RealSection STEP_VALUES, const SeriesValueCheck& check = {});

// LAST_VALUES, NEXT_VALUES: in and out, the values of the records at TLAST and TNEXT.
// STEP_VALUES: out, the values at t0 + dt / 2 (left as they were when the step's middle
// is not bracketed by two records, as at the end of the file).
void READ_SERIES_STEP_MIDPOINT(RunIo& io, int unit, double base, double t0, double dt,
                               double& TLAST, double& TNEXT, RealSection LAST_VALUES,
                               RealSection NEXT_VALUES, int N, RealSection STEP_VALUES,
                               const SeriesValueCheck& check = {});
void READ_SERIES_STEP_MIDPOINT(RunIo& io, RecordSource& source, double base, double t0, double dt,
                               double& TLAST, double& TNEXT, RealSection LAST_VALUES,
                               RealSection NEXT_VALUES, int N, RealSection STEP_VALUES,
                               const SeriesValueCheck& check = {});

}  // namespace quendal
