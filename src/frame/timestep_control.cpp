#include "frame/timestep_control.h"

#include <algorithm>
#include <cmath>

#include "frame/met_data.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"

namespace quendal {

namespace {

// True when the snow pack may melt: some met site above 0 deg C and some column
// element (not a channel link) holding snow.
bool snow_may_melt(const FrameState& frame, const Array1<double>& SD) {
  bool warm = false;
  for (int s = 1; s <= frame.MET_SITE_COUNT && !warm; ++s) {
    warm = frame.MET_AIR_TEMPERATURE(s) > 0.0;
  }
  if (!warm) return false;
  const long last = std::min<long>(frame.NEL, SD.upper());
  for (long e = frame.NLF + 1; e <= last; ++e) {
    if (SD(e) > 0.0) return true;
  }
  return false;
}

// Rainfall depth of every station from `from` to the end of the step or of the current
// record, whichever comes first, added to PTOT (or replacing it when `add` is false).
void integrate_rain(FrameState& frame, double from, double dt, bool add) {
  const double tend = std::min(frame.UZNOW + dt, frame.METIME);
  const double span = std::max(tend - from, 0.0);
  for (int s = 1; s <= frame.RAIN_STATION_COUNT; ++s) {
    const double depth = frame.PINP(s) * span;
    frame.PTOT(s) = add ? frame.PTOT(s) + depth : depth;
  }
}

void write_invalid_step_dump(const FrameState& frame, double dt, double tsoft, RunIo& io) {
  RecordSink& out = io.units.print();
  write_formatted(out,
                  "(////'UZNEXT = ',G12.6/' TSOFT = ',G12.6/'MELAST = ',G12.6/'METIME = ',G12.6/"
                  "'PREC.STN.   PINP        PTOT'/)",
                  dt, tsoft, frame.MELAST, frame.METIME);
  for (int s = 1; s <= frame.RAIN_STATION_COUNT; ++s) {
    write_formatted(out, "(4X,I4,2G12.6)", s, frame.PINP(s), frame.PTOT(s));
  }
}

}  // namespace

void TIMESTEP_CONTROL(FrameState& frame, SurfaceState& surface, const Array1<double>& SD,
                      RunIo& io) {
  if (!met_data_allocated(frame)) allocate_met_data(frame);
  const double limit = frame.MAX_RAIN_DEPTH_PER_STEP;
  const int stations = frame.RAIN_STATION_COUNT;

  // Soft start: a cold run begins at 5% of the basic step and grows by 3% a step.
  if (frame.HOTSTART_READ) frame.SOFT_START = false;
  double tsoft = frame.BASIC_TIMESTEP;
  if (frame.SOFT_START && frame.STEP_COUNT <= SOFT_START_LAST_STEP) {
    tsoft = 0.05 * frame.BASIC_TIMESTEP * std::pow(1.03, static_cast<double>(frame.STEP_COUNT));
  }
  double cap = frame.BASIC_TIMESTEP;
  if (frame.SNOW_ON && snow_may_melt(frame, SD)) cap = SNOW_TIMESTEP_CAP;

  double dt = std::min({(1.0 + frame.TIMESTEP_GROWTH) * frame.UZNEXT, tsoft, cap});

  // Rain within the current record.
  integrate_rain(frame, frame.UZNOW, dt, false);
  bool limited = false;
  for (int s = 1; s <= stations; ++s) {
    if (frame.PTOT(s) > limit) {
      limited = true;
      dt = std::min(dt, limit / frame.PINP(s));
    }
  }
  if (limited) {
    // The shortened step ends inside the current record.
    integrate_rain(frame, frame.UZNOW, dt, false);
  } else {
    // Read records forward while the step reaches past the current one, adding each
    // record's rain until a station's depth would pass the limit.
    frame.UZNEXT = dt;
    while (frame.UZNOW + dt > frame.METIME && !limited) {
      MET_DATA_ADVANCE(MET_READ_NEXT_RECORD, frame, surface, io);
      // A record's rain counts from its start, or from the restart time when a hot start
      // lands inside it: the rain before the restart fell in the run that saved the
      // state. (In a cold run every record read here starts at or after UZNOW.)
      const double from = std::max(frame.MELAST, frame.UZNOW);
      for (int s = 1; s <= stations; ++s) {
        if (limit < (frame.METIME - from) * frame.PINP(s) + frame.PTOT(s)) {
          limited = true;
          dt = std::min(dt, (limit - frame.PTOT(s)) / frame.PINP(s) + (from - frame.UZNOW));
        }
      }
      frame.UZNEXT = dt;
      integrate_rain(frame, from, dt, true);
    }
  }
  frame.UZNEXT = dt;

  // Written so that a step that is not a number fails too.
  if (!(dt >= MIN_TIMESTEP)) {
    write_invalid_step_dump(frame, dt, tsoft, io);
    REPORT_ERROR(io, SEVERITY_FATAL, INVALID_TIMESTEP_ERROR, PRINT_UNIT, 0, 0, "INVALID TIMESTEP");
  }

  // Depth over the step (mm over hours) to metres per second. An element whose rain
  // station code names no station gets no rain.
  for (int e = 1; e <= frame.NEL; ++e) {
    const int s = frame.RAIN_STATION_OF_ELEMENT(e);
    frame.ELEMENT_RAIN_RATE(e) =
        s >= 1 && s <= stations ? frame.PTOT(s) / frame.UZNEXT / 3600000.0 : 0.0;
  }

  MET_DATA_ADVANCE(MET_COMPLETE_STEP, frame, surface, io);
}

}  // namespace quendal
