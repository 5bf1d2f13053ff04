#include "frame/met_data.h"

#include <algorithm>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/record_reader.h"
#include "services/records.h"
#include "services/stops.h"
#include "surface/et/et_data.h"

namespace quendal {

namespace {

// A met record interval that would never advance the met clock: the ET data reader
// refuses it already; checked again here, under the reader's number, because a
// zero interval would make the time-step control loop for ever.
constexpr int MET_INTERVAL_ERROR = ET_DATA_ERROR;

// The file of a met unit, or nullptr when the run-data file did not name it: a file
// that is not there is read as a file that has ended.
RecordSource* met_source(RunIo& io, int unit) {
  return io.units.is_open(unit) ? &io.units.unit(unit) : nullptr;
}

void require_source(RecordSource* source) {
  if (source == nullptr) throw EndOfFileError("(met file not named)", 0);
}

// Negative potential evaporation is dew in a measured series: it is read as 0, with one
// warning per file (the ET group's warning number).
constexpr int NEGATIVE_EVAP_WARNING = 4999;

// The name of a met unit's file for messages.
std::string met_file_name(RunIo& io, int unit) {
  return io.units.is_open(unit) ? io.units.unit(unit).path()
                                : "(unit " + std::to_string(unit) + ", not named in the run-data file)";
}

// The console line that tells the user a met file ended before the run, once per file:
// the print file's message alone is easily missed.
void announce_end_on_console(RunIo& io, const FrameState& frame, bool& latch, int unit,
                             const char* what) {
  if (!latch) return;
  latch = false;
  io.console.write_record(format_line("(1X,A,': file ',A,' ended at time =',F10.2,' hours; ',A)",
                                      what, met_file_name(io, unit), frame.UZNOW,
                                      "the rest of the run uses its default values"));
}

// The end message of one kind of met data, printed once: `latch` is cleared by it.
void print_end_message(RunIo& io, const FrameState& frame, bool& latch, const char* finish) {
  if (!latch) return;
  latch = false;
  RecordSink& out = io.units.print();
  for (int i = 0; i < 3; ++i) out.write_record("");
  write_formatted(out, "(A6,G12.4,A8)", "Time = ", frame.UZNOW, " Hours.");
  out.write_record(finish);
  out.write_record("All remaining values will be zero");
  for (int i = 0; i < 3; ++i) out.write_record("");
}

void require_positive_interval(RunIo& io, double interval, const char* name) {
  if (interval > 0.0) return;
  REPORT_ERROR(io, SEVERITY_FATAL, MET_INTERVAL_ERROR, PRINT_UNIT, 0, 0,
               format_line("(A,' =',G12.4,' hours: a met record interval must be positive')",
                           name, interval));
}

// The time-varying vegetation parameters at ET_CLOCK.
void refresh_vegetation(const FrameState& frame, SurfaceState& surface, RunIo& io) {
  refresh_vegetation_parameters(surface, frame.NV, io);
}

// ---- the single met file ---------------------------------------------------------

// The next record of a met file, kept so that a refused value can be shown as written.
std::string next_met_record(RecordSource& in) {
  std::string record;
  if (!in.read_record(record)) throw EndOfFileError(in.source_name(), in.record_number());
  return record;
}

// Columns 13-24 of a met-file line hold its rainfall rate (or potential evaporation).
constexpr int MET_VALUE_FIRST_COLUMN = 13;
constexpr int MET_VALUE_LAST_COLUMN = 24;

// Rainfall cannot be negative: a minus sign slipped into the file would take water
// out of the catchment unseen, so the run stops with the file, record and value.
void refuse_negative_rain(const RecordSource& in, const std::string& record, int station) {
  const std::string field =
      record.size() >= MET_VALUE_FIRST_COLUMN
          ? record.substr(MET_VALUE_FIRST_COLUMN - 1,
                          MET_VALUE_LAST_COLUMN - MET_VALUE_FIRST_COLUMN + 1)
          : std::string();
  throw InputError(in.source_name(), in.record_number(), MET_VALUE_FIRST_COLUMN,
                   MET_VALUE_LAST_COLUMN, field,
                   "Negative rainfall rate of rain station " + std::to_string(station));
}

// A negative potential evaporation of `file` read as 0: one warning for the file.
double evaporation_not_below_zero(RunIo& io, bool& latch, double value, const std::string& file,
                                  long record, const char* unit_text) {
  if (value >= 0.0) return value;
  if (latch) {
    latch = false;
    REPORT_ERROR(io, SEVERITY_WARNING, NEGATIVE_EVAP_WARNING, PRINT_UNIT, 0, 0,
                 format_line("('Negative potential evaporation',G12.4,1X,A,' read as 0: file ',A,"
                             "', record',I7,'; later negative values of this file likewise')",
                             value, unit_text, file, record));
  }
  return 0.0;
}

// Line 1 and line 2 of one site. Equal site and station counts put the rainfall of
// station s on site s's first line. The integers are not used.
void read_site_lines(RecordSource& in, FrameState& frame, int s, bool with_rain) {
  int site = 0, unused = 0, unused2 = 0;
  double rain = 0.0, radiation = 0.0, wind = 0.0, pressure = 0.0;
  double temperature = 0.0, del = 0.0, vpd = 0.0;
  const std::string first = next_met_record(in);
  RecordAt first_line(first, in);
  if (with_rain) {
    read_formatted(first_line, "(2I6,4F12.6)", site, unused, rain, radiation, wind, pressure);
    if (rain < 0.0) refuse_negative_rain(in, first, s);
  } else {
    read_formatted(first_line, "(2I6,12X,3F12.6)", site, unused, radiation, wind, pressure);
  }
  read_formatted(in, "(12X,3F12.6,I12)", temperature, del, vpd, unused2);
  if (with_rain) frame.PINP(s) = rain;
  frame.MET_NET_RADIATION(s) = radiation;
  frame.MET_WIND_SPEED(s) = wind;
  frame.MET_ATMOS_PRESSURE(s) = pressure;
  frame.MET_AIR_TEMPERATURE(s) = temperature;
  frame.DEL(s) = del;
  frame.VPD(s) = vpd;
}

void set_site_defaults(FrameState& frame, int s, bool with_rain) {
  if (with_rain) frame.PINP(s) = 0.0;
  frame.MET_NET_RADIATION(s) = 0.0;
  frame.MET_WIND_SPEED(s) = 0.0;
  frame.MET_ATMOS_PRESSURE(s) = 0.0;
  frame.MET_AIR_TEMPERATURE(s) = MET_DEFAULT_AIR_TEMPERATURE;
  frame.DEL(s) = MET_DEFAULT_DEL;
  frame.VPD(s) = MET_DEFAULT_VPD;
}

void echo_site(RecordSink& out, const FrameState& frame, int s, bool with_rain) {
  if (with_rain) {
    write_formatted(out, "('0',8X,I6,F8.2,7F12.6,'  NOT_USED  ')", s, frame.METIME, frame.PINP(s),
                    frame.MET_NET_RADIATION(s), frame.MET_WIND_SPEED(s), frame.MET_ATMOS_PRESSURE(s),
                    frame.MET_AIR_TEMPERATURE(s), frame.DEL(s), frame.VPD(s));
  } else {
    write_formatted(out, "('0',8X,I6,F8.2,6F12.6,'  NOT_USED  ')", s, frame.METIME,
                    frame.MET_NET_RADIATION(s), frame.MET_WIND_SPEED(s), frame.MET_ATMOS_PRESSURE(s),
                    frame.MET_AIR_TEMPERATURE(s), frame.DEL(s), frame.VPD(s));
  }
}

void read_met_file_record(FrameState& frame, SurfaceState& surface, RunIo& io) {
  RecordSource* in = met_source(io, MET_FILE_UNIT);
  RecordSink& out = io.units.print();
  const bool print = surface.MET_PRINT_ON;
  const bool with_rain = frame.RAIN_STATION_COUNT == frame.MET_SITE_COUNT;
  auto& latches = frame.met_end_latches;

  frame.MELAST = frame.METIME;
  frame.METIME += surface.MET_INTERVAL;

  for (int s = 1; s <= frame.MET_SITE_COUNT; ++s) {
    try {
      require_source(in);
      read_site_lines(*in, frame, s, with_rain);
    } catch (const EndOfFileError&) {
      print_end_message(io, frame, latches.met_sites, "Finish of met data");
      announce_end_on_console(io, frame, latches.console_met, MET_FILE_UNIT, "Finish of met data");
      set_site_defaults(frame, s, with_rain);
    }
    if (print) echo_site(out, frame, s, with_rain);

    const bool pe_given = s <= surface.MET_SITE_PE_GIVEN.size() && surface.MET_SITE_PE_GIVEN(s) != 0;
    if (pe_given) {
      double evaporation = 0.0;  // mm/h
      try {
        require_source(in);
        read_formatted(*in, "(12X,F12.6)", evaporation);
        evaporation = evaporation_not_below_zero(io, frame.met_negative_evap_latches.met,
                                                 evaporation, in->source_name(),
                                                 in->record_number(), "mm/h");
      } catch (const EndOfFileError&) {
        print_end_message(io, frame, latches.met_potential_evap, "Finish of met data");
        announce_end_on_console(io, frame, latches.console_met, MET_FILE_UNIT,
                                "Finish of met data");
        evaporation = 0.0;
      }
      frame.STATION_POTENTIAL_EVAP(s) = evaporation / 3600.0;
    }
  }

  if (!with_rain) {
    if (print) {
      out.write_record("");
      out.write_record("");
      out.write_record(" RAIN DATA - SITE    TIME      RAINFALL         IDATA");
    }
    for (int r = 1; r <= frame.RAIN_STATION_COUNT; ++r) {
      int station = 0, unused = 0, unused2 = 0;
      double rain = 0.0;
      try {
        require_source(in);
        const std::string record = next_met_record(*in);
        RecordAt line(record, *in);
        read_formatted(line, "(2I6,F12.6,24X,I12)", station, unused, rain, unused2);
        if (rain < 0.0) refuse_negative_rain(*in, record, r);
      } catch (const EndOfFileError&) {
        print_end_message(io, frame, latches.met_rain_stations, "Finish of met data");
        announce_end_on_console(io, frame, latches.console_met, MET_FILE_UNIT,
                                "Finish of met data");
        rain = 0.0;
      }
      frame.PINP(r) = rain;
      if (print) {
        write_formatted(out, "('0',8X,I6,F8.2,F12.6,'  NOT_USED  ')", r, frame.METIME, rain);
      }
    }
  }
}

void advance_met_file(int mode, FrameState& frame, SurfaceState& surface, RunIo& io) {
  if (mode != MET_READ_NEXT_RECORD) return;
  require_positive_interval(io, surface.MET_INTERVAL, "MET_INTERVAL");
  if (surface.MET_PRINT_ON) {
    RecordSink& out = io.units.print();
    out.write_record("");
    out.write_record("");
    if (frame.RAIN_STATION_COUNT == frame.MET_SITE_COUNT) {
      out.write_record(
          " MET DATA - SITE    TIME      RAINFALL    NET RADN    WIND SPEED  ATMOS PRES"
          "   AIR TEMP       DEL        VPD         IDATA");
    } else {
      out.write_record(
          " MET DATA - SITE    TIME      NET RADN    WIND SPEED  ATMOS PRES"
          "   AIR TEMP       DEL        VPD         IDATA");
    }
  }
  // A hot start reads forward to the record that covers the restart time.
  do {
    read_met_file_record(frame, surface, io);
  } while (frame.HOTSTART_READ && frame.METIME < frame.HOTSTART_TIME);
  refresh_vegetation(frame, surface, io);
}

// ---- separate files ----------------------------------------------------------------

// One free-format record of `values`; false when the file has ended (or is not named).
bool read_free_record(RunIo& io, int unit, Array1<double>& values) {
  RecordSource* in = met_source(io, unit);
  if (in == nullptr) return false;
  try {
    read_list(*in, values);
  } catch (const EndOfFileError&) {
    return false;
  }
  return true;
}

// One rainfall record: depths over PRD_INTERVAL turned into rates, mm/h. A negative
// depth stops the run (see refuse_negative_rain).
void read_prd_record(FrameState& frame, SurfaceState& surface, RunIo& io) {
  if (!read_free_record(io, PRD_FILE_UNIT, frame.PINP)) {
    print_end_message(io, frame, frame.met_end_latches.prd, "Finish of prd data");
    announce_end_on_console(io, frame, frame.met_end_latches.console_prd, PRD_FILE_UNIT,
                            "Finish of prd data");
    frame.PINP.fill(0.0);
  } else {
    const RecordSource& in = io.units.unit(PRD_FILE_UNIT);
    for (int r = 1; r <= frame.PINP.size(); ++r) {
      if (frame.PINP(r) >= 0.0) continue;
      throw InputError(in.source_name(), in.record_number(), 0, 0,
                       trim(format_line("(G14.6)", frame.PINP(r))),
                       "Negative rainfall depth of rain station " + std::to_string(r));
    }
  }
  for (double& p : frame.PINP) p /= surface.PRD_INTERVAL;
  frame.MELAST = frame.METIME;
  frame.METIME += surface.PRD_INTERVAL;
}

// One potential-evaporation record (depths over EPD_INTERVAL, turned into mm/h) with
// the air temperatures read in step with it.
void read_epd_record(FrameState& frame, SurfaceState& surface, RunIo& io, bool& latch) {
  if (!read_free_record(io, EPD_FILE_UNIT, frame.STATION_EPD_RATE)) {
    print_end_message(io, frame, latch, "Finish of epd data");
    announce_end_on_console(io, frame, frame.met_end_latches.console_epd, EPD_FILE_UNIT,
                            "Finish of epd data");
    frame.STATION_EPD_RATE.fill(0.0);
  } else {
    const RecordSource& in = io.units.unit(EPD_FILE_UNIT);
    for (double& depth : frame.STATION_EPD_RATE) {
      depth = evaporation_not_below_zero(io, frame.met_negative_evap_latches.epd, depth,
                                         in.source_name(), in.record_number(), "mm");
    }
  }
  if (io.names.AIR_TEMPERATURE_FILES_ON) {
    if (!read_free_record(io, AIR_TEMPERATURE_HIGH_UNIT, frame.AIR_TEMPERATURE_HIGH)) {
      frame.AIR_TEMPERATURE_HIGH.fill(MET_DEFAULT_AIR_TEMPERATURE);
    }
    if (!read_free_record(io, AIR_TEMPERATURE_LOW_UNIT, frame.AIR_TEMPERATURE_LOW)) {
      frame.AIR_TEMPERATURE_LOW.fill(MET_DEFAULT_AIR_TEMPERATURE);
    }
  } else {
    frame.AIR_TEMPERATURE_HIGH.fill(MET_DEFAULT_AIR_TEMPERATURE);
    frame.AIR_TEMPERATURE_LOW.fill(MET_DEFAULT_AIR_TEMPERATURE);
  }
  for (double& rate : frame.STATION_EPD_RATE) rate /= surface.EPD_INTERVAL;
}

// A hot start reads the potential-evaporation records forward to the one in hand at
// the restart time.
void skip_epd_records_to_restart(FrameState& frame, SurfaceState& surface, RunIo& io) {
  if (!frame.HOTSTART_READ) return;
  while (frame.EPD_TIME < frame.HOTSTART_TIME) {
    read_epd_record(frame, surface, io, frame.met_end_latches.epd_hotstart_skip);
    frame.EPD_TIME += surface.EPD_INTERVAL;
  }
}

// Potential evaporation of the step UZNOW .. UZNOW + UZNEXT, integrated across the
// records it spans, and the air temperature of the record in hand.
void complete_step_separate_files(FrameState& frame, SurfaceState& surface, RunIo& io) {
  require_positive_interval(io, surface.EPD_INTERVAL, "EPD_INTERVAL");
  auto& latches = frame.met_end_latches;
  skip_epd_records_to_restart(frame, surface, io);
  const double t1 = frame.UZNOW + frame.UZNEXT;
  const int sites = frame.MET_SITE_COUNT;
  for (int s = 1; s <= sites; ++s) {
    frame.STATION_EPD_DEPTH(s) =
        frame.STATION_EPD_RATE(s) * (std::min(t1, frame.EPD_TIME) - frame.UZNOW);
  }
  while (frame.EPD_TIME < t1) {
    read_epd_record(frame, surface, io, latches.epd);
    const double t = frame.EPD_TIME;
    frame.EPD_TIME += surface.EPD_INTERVAL;
    for (int s = 1; s <= sites; ++s) {
      frame.STATION_EPD_DEPTH(s) += frame.STATION_EPD_RATE(s) * (std::min(frame.EPD_TIME, t1) - t);
    }
  }
  for (int s = 1; s <= sites; ++s) {
    frame.STATION_POTENTIAL_EVAP(s) = frame.STATION_EPD_DEPTH(s) / frame.UZNEXT / 3600.0;
    frame.MET_AIR_TEMPERATURE(s) =
        (frame.AIR_TEMPERATURE_HIGH(s) + frame.AIR_TEMPERATURE_LOW(s)) * 0.5;
  }
}

void echo_separate_files(const FrameState& frame, RunIo& io) {
  RecordSink& out = io.units.print();
  out.write_record("");
  out.write_record("");
  write_formatted(out, "(' MET DATA -  TIME :',F8.2)", frame.METIME);
  out.write_record(" STATION           RAINFALL      POT. EVAP.(MM/HR)");
  for (int s = 1; s <= frame.MET_SITE_COUNT; ++s) {
    // Sites and stations share numbers here; a site without a station of its number
    // shows no rain.
    const double rain = s <= frame.RAIN_STATION_COUNT ? frame.PINP(s) : 0.0;
    write_formatted(out, "(4X,I2,9X,F10.3,9X,F10.3)", s, rain, frame.STATION_EPD_RATE(s));
  }
}

void advance_separate_files(int mode, FrameState& frame, SurfaceState& surface, RunIo& io) {
  if (mode == MET_READ_NEXT_RECORD) {
    require_positive_interval(io, surface.PRD_INTERVAL, "PRD_INTERVAL");
    // A hot start reads forward to the record that covers the restart time.
    do {
      read_prd_record(frame, surface, io);
    } while (frame.HOTSTART_READ && frame.METIME < frame.HOTSTART_TIME);
  } else {
    complete_step_separate_files(frame, surface, io);
  }
  if (surface.MET_PRINT_ON) echo_separate_files(frame, io);
  refresh_vegetation(frame, surface, io);
}

}  // namespace

void allocate_met_data(FrameState& frame) {
  const int sites = std::max(frame.MET_SITE_COUNT, 0);
  const int stations = std::max(frame.RAIN_STATION_COUNT, 0);
  frame.PINP.resize(stations, 0.0);
  frame.PTOT.resize(stations, 0.0);
  for (Array1<double>* a :
       {&frame.MET_NET_RADIATION, &frame.MET_WIND_SPEED, &frame.MET_ATMOS_PRESSURE,
        &frame.MET_AIR_TEMPERATURE, &frame.DEL, &frame.VPD, &frame.STATION_POTENTIAL_EVAP,
        &frame.STATION_EPD_RATE, &frame.AIR_TEMPERATURE_HIGH, &frame.AIR_TEMPERATURE_LOW,
        &frame.STATION_EPD_DEPTH}) {
    a->resize(sites, 0.0);
  }
  frame.ELEMENT_RAIN_RATE.resize(std::max(frame.NEL, 0), 0.0);
}

bool met_data_allocated(const FrameState& frame) {
  const long sites = std::max(frame.MET_SITE_COUNT, 0);
  const long stations = std::max(frame.RAIN_STATION_COUNT, 0);
  for (const Array1<double>* a :
       {&frame.MET_NET_RADIATION, &frame.MET_WIND_SPEED, &frame.MET_ATMOS_PRESSURE,
        &frame.MET_AIR_TEMPERATURE, &frame.DEL, &frame.VPD, &frame.STATION_POTENTIAL_EVAP,
        &frame.STATION_EPD_RATE, &frame.AIR_TEMPERATURE_HIGH, &frame.AIR_TEMPERATURE_LOW,
        &frame.STATION_EPD_DEPTH}) {
    if (a->size() != sites) return false;
  }
  return frame.PINP.size() == stations && frame.PTOT.size() == stations &&
         frame.ELEMENT_RAIN_RATE.size() == std::max(frame.NEL, 0);
}

void MET_DATA_CATCH_UP(FrameState& frame, SurfaceState& surface, RunIo& io) {
  if (!frame.HOTSTART_READ) return;
  if (frame.METIME < frame.HOTSTART_TIME) MET_DATA_ADVANCE(MET_READ_NEXT_RECORD, frame, surface, io);
  if (!surface.MET_FILE_MODE || frame.EPD_TIME >= frame.HOTSTART_TIME) return;
  require_positive_interval(io, surface.EPD_INTERVAL, "EPD_INTERVAL");
  skip_epd_records_to_restart(frame, surface, io);
  for (int s = 1; s <= frame.MET_SITE_COUNT; ++s) {
    frame.MET_AIR_TEMPERATURE(s) =
        (frame.AIR_TEMPERATURE_HIGH(s) + frame.AIR_TEMPERATURE_LOW(s)) * 0.5;
  }
}

void MET_DATA_ADVANCE(int mode, FrameState& frame, SurfaceState& surface, RunIo& io) {
  if (surface.MET_FILE_MODE) {
    advance_separate_files(mode, frame, surface, io);
  } else {
    advance_met_file(mode, frame, surface, io);
  }
}

}  // namespace quendal
