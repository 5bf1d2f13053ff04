#include "services/series.h"

#include <algorithm>

#include "services/calendar.h"
#include "services/error_reporting.h"
#include "services/physical_bounds.h"
#include "services/record_reader.h"
#include "services/stops.h"

namespace quendal {

namespace {

// The date of a record as written: the places of its five fields joined.
FieldPlace date_place(const FieldLog& places) {
  FieldPlace date = places[0];
  date.text.clear();
  for (std::size_t i = 0; i < 5 && i < places.size(); ++i) {
    if (places[i].record != date.record) break;
    if (places[i].last_column > 0) date.last_column = places[i].last_column;
    date.text += (date.text.empty() ? "" : " ") + places[i].text;
  }
  return date;
}

// Reads the next record into `values` and sets `time` to its date in hours from the run
// start. False at the end of the file (also when it ends inside a record).
bool read_series_record(RunIo& io, RecordSource& source, double base, RealSection values, int n,
                        double& time, const SeriesValueCheck& check) {
  // Zero where a record leaves a date field null, so that a missing month is reported.
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  FieldLog places;
  try {
    FieldLogScope scope(source, places);
    ListRead record(source);
    record >> year >> month >> day >> hour >> minute;
    for (int k = 1; k <= n; ++k) record >> values.nth(k);
    record.finish();
  } catch (const EndOfFileError&) {
    return false;
  }
  const FieldPlace date = date_place(places);
  const std::string where = "in the series " + describe_place(date);
  try {
    // A calendar report says what is wrong with a date; the line after it says which.
    const FatalReportLines which_date(io, [&](std::vector<std::string>& lines) {
      lines.push_back(where);
    });
    time = DATE_TO_HOURS(year, month, day, hour, minute, io) - base;
  } catch (const ImmediateStop&) {
    io.console.write_record(" " + where);
    throw;
  }
  // The readers weigh each record's values by the time since the record before (or
  // interpolate over it): a record that does not come after it would weigh the values
  // negatively or divide by zero.
  if (source.has_series_time() && !(time > source.series_time())) {
    refuse_at(date, "Series record dated at hour " + value_text(time) +
                        " of the run, not after the record before it (hour " +
                        value_text(source.series_time()) + ")");
  }
  source.set_series_time(time);
  if (check) {
    for (int k = 1; k <= n; ++k) {
      const std::size_t i = static_cast<std::size_t>(4 + k);
      if (i < places.size()) check(k, values.nth(k), places[i]);
    }
  }
  return true;
}

}  // namespace

void report_series_end(RunIo& io, int unit, int number, std::string_view text, double needed_to) {
  std::string detail;
  if (io.units.is_open(unit)) {
    const Unit& file = io.units.unit(unit);
    detail = "file " + file.path() + " ends after record " + std::to_string(file.record_number()) +
             "; the step needs values up to hour " + value_text(needed_to) + " of the run";
  }
  report_fatal_with_detail(io, number, PRINT_UNIT, 0, text, detail);
}

void READ_SERIES_STEP_MEAN(RunIo& io, RecordSource& source, double base, double t0, double dt,
                           double& TLAST, double& TNEXT, RealSection SERIES_VALUES, int N,
                           RealSection STEP_VALUES, const SeriesValueCheck& check) {
  const double t1 = t0 + dt;
  if (TNEXT >= t1) {
    // The next record's values hold over the whole step.
    for (int k = 1; k <= N; ++k) STEP_VALUES.nth(k) = SERIES_VALUES.nth(k);
    return;
  }
  // Only the part of each record's interval (TLAST, TNEXT] that lies inside the step
  // (t0, t1] counts. In a run that goes step by step TNEXT is at or after t0 on entry
  // and every interval read lies after t0; after a hot start, or with a series that
  // begins before the run, the first records read lie wholly or partly before t0 and
  // must not add to this step's mean.
  for (int k = 1; k <= N; ++k) STEP_VALUES.nth(k) = SERIES_VALUES.nth(k) * std::max(0.0, TNEXT - t0);
  for (;;) {
    double time = 0.0;
    if (!read_series_record(io, source, base, SERIES_VALUES, N, time, check)) {
      TNEXT = SERIES_END_TIME;
      return;
    }
    TLAST = TNEXT;
    TNEXT = time;
    if (TNEXT >= t1) break;
    const double inside = std::max(0.0, TNEXT - std::max(TLAST, t0));
    for (int k = 1; k <= N; ++k) STEP_VALUES.nth(k) += SERIES_VALUES.nth(k) * inside;
  }
  const double inside = t1 - std::max(TLAST, t0);
  for (int k = 1; k <= N; ++k) {
    STEP_VALUES.nth(k) += SERIES_VALUES.nth(k) * inside;
    STEP_VALUES.nth(k) /= dt;
  }
}

void READ_SERIES_STEP_MEAN(RunIo& io, int unit, double base, double t0, double dt, double& TLAST,
                           double& TNEXT, RealSection SERIES_VALUES, int N,
                           RealSection STEP_VALUES, const SeriesValueCheck& check) {
  READ_SERIES_STEP_MEAN(io, io.units.unit(unit), base, t0, dt, TLAST, TNEXT, SERIES_VALUES, N,
                        STEP_VALUES, check);
}

void READ_SERIES_STEP_MIDPOINT(RunIo& io, RecordSource& source, double base, double t0, double dt,
                               double& TLAST, double& TNEXT, RealSection LAST_VALUES,
                               RealSection NEXT_VALUES, int N, RealSection STEP_VALUES,
                               const SeriesValueCheck& check) {
  const double middle = t0 + 0.5 * dt;
  const double t1 = t0 + dt;
  for (;;) {
    if (TNEXT >= middle && middle > TLAST) {
      const double fraction = (middle - TLAST) / (TNEXT - TLAST);
      for (int k = 1; k <= N; ++k) {
        STEP_VALUES.nth(k) =
            LAST_VALUES.nth(k) + (NEXT_VALUES.nth(k) - LAST_VALUES.nth(k)) * fraction;
      }
    }
    // Read on until the next record lies at or after the step's end, so that the next
    // call starts from the pair of records around its own step.
    if (TNEXT >= t1) return;
    for (int k = 1; k <= N; ++k) LAST_VALUES.nth(k) = NEXT_VALUES.nth(k);
    double time = 0.0;
    if (!read_series_record(io, source, base, NEXT_VALUES, N, time, check)) {
      TNEXT = SERIES_END_TIME;
      return;
    }
    TLAST = TNEXT;
    TNEXT = time;
  }
}

void READ_SERIES_STEP_MIDPOINT(RunIo& io, int unit, double base, double t0, double dt,
                               double& TLAST, double& TNEXT, RealSection LAST_VALUES,
                               RealSection NEXT_VALUES, int N, RealSection STEP_VALUES,
                               const SeriesValueCheck& check) {
  READ_SERIES_STEP_MIDPOINT(io, io.units.unit(unit), base, t0, dt, TLAST, TNEXT, LAST_VALUES,
                            NEXT_VALUES, N, STEP_VALUES, check);
}

}  // namespace quendal
