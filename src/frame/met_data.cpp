#include "frame/met_data.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
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
                             const char* what,
                             const char* rest = "the rest of the run uses its default values") {
  if (!latch) return;
  latch = false;
  io.console.write_record(format_line("(1X,A,': file ',A,' ended at time =',F10.2,' hours; ',A)",
                                      what, met_file_name(io, unit), frame.UZNOW, rest));
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

// The saturation vapour pressure over water (Tetens' formula), mbar, at t degC.
double saturation_vapour_pressure(double t) { return 6.108 * std::exp(17.27 * t / (t + 237.3)); }

// A deficit is the saturation vapour pressure less the vapour pressure, so it cannot
// exceed the former. A record's deficit may be a mean over its interval while its air
// temperature is the interval's mean: over a day whose temperature swings 20 degC either
// side of the mean, the deficit stays below the saturation vapour pressure 20 degC above
// it.
constexpr double VPD_TEMPERATURE_ROOM = 20.0;  // degC

// The values of one met site's lines, each against its physical bounds; the places are
// those of the items in the order read.
void check_site_values(int s, bool with_rain, const FieldLog& places, double rain,
                       double radiation, double wind, double pressure, double temperature,
                       double del, double vpd) {
  const std::string site = " of met site " + std::to_string(s);
  std::size_t i = 2;  // after the two integers
  if (with_rain) {
    require_within(Quantity::RAINFALL_RATE, "rainfall rate of rain station " + std::to_string(s),
                   rain, places[i++]);
  }
  require_within(Quantity::NET_RADIATION, "net radiation" + site, radiation, places[i++]);
  require_within(Quantity::WIND_SPEED, "wind speed" + site, wind, places[i++]);
  // A pressure of 0 is one not given: an ended met file gives it, and nothing reads it.
  if (pressure != 0.0) {
    require_within(Quantity::AIR_PRESSURE, "atmospheric pressure" + site, pressure, places[i]);
  }
  ++i;
  require_within(Quantity::AIR_TEMPERATURE, "air temperature" + site, temperature, places[i++]);
  require_within(Quantity::VAPOUR_PRESSURE_SLOPE, "DEL" + site, del, places[i++]);
  const FieldPlace& vpd_place = places[i++];
  require_within(Quantity::VAPOUR_PRESSURE_DEFICIT, "VPD" + site, vpd, vpd_place);
  const double warmest = temperature + VPD_TEMPERATURE_ROOM;
  const double saturation = saturation_vapour_pressure(warmest);
  if (vpd > saturation) {
    refuse_at(vpd_place, "VPD" + site + " = " + value_text(vpd) +
                             " mbar is above the saturation vapour pressure at " +
                             value_text(warmest) + " degC (" + value_text(saturation) +
                             " mbar), 20 degC above the record's air temperature");
  }
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
  FieldLog places;
  {
    FieldLogScope scope(in, places);
    if (with_rain) {
      read_formatted(in, "(2I6,4F12.6)", site, unused, rain, radiation, wind, pressure);
    } else {
      read_formatted(in, "(2I6,12X,3F12.6)", site, unused, radiation, wind, pressure);
    }
    read_formatted(in, "(12X,3F12.6,I12)", temperature, del, vpd, unused2);
  }
  check_site_values(s, with_rain, places, rain, radiation, wind, pressure, temperature, del, vpd);
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
        FieldLog places;
        {
          FieldLogScope scope(*in, places);
          read_formatted(*in, "(12X,F12.6)", evaporation);
        }
        require_at_most(Quantity::POTENTIAL_EVAPORATION,
                        "potential evaporation of met site " + std::to_string(s), evaporation,
                        places[0]);
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
        FieldLog places;
        {
          FieldLogScope scope(*in, places);
          read_formatted(*in, "(2I6,F12.6,24X,I12)", station, unused, rain, unused2);
        }
        require_within(Quantity::RAINFALL_RATE, "rainfall rate of rain station " + std::to_string(r),
                       rain, places[2]);
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

// One free-format record of `values`, with the place of each in `places`; false when the
// file has ended (or is not named).
bool read_free_record(RunIo& io, int unit, Array1<double>& values, FieldLog& places) {
  RecordSource* in = met_source(io, unit);
  if (in == nullptr) return false;
  places.clear();
  try {
    FieldLogScope scope(*in, places);
    read_list(*in, values);
  } catch (const EndOfFileError&) {
    return false;
  }
  return true;
}

// One record of an air-temperature file, each value within the bounds of an air
// temperature; `places` receives where each was read. An ended file gives the default
// temperature for the rest of the run, which the console says once: ten degrees in place
// of a winter's frost changes snow and evaporation. False when the file has ended.
bool read_air_temperatures(RunIo& io, const FrameState& frame, int unit,
                           Array1<double>& temperatures, FieldLog& places, bool& console_latch,
                           const char* which) {
  if (!read_free_record(io, unit, temperatures, places)) {
    temperatures.fill(MET_DEFAULT_AIR_TEMPERATURE);
    const std::string what = std::string("Finish of air temp - ") + which + " data";
    const std::string rest = std::string("the rest of the run takes 10 degC as the ") + which +
                             " air temperature of every met site";
    announce_end_on_console(io, frame, console_latch, unit, what.c_str(), rest.c_str());
    return false;
  }
  for (int s = 1; s <= temperatures.size(); ++s) {
    require_within(Quantity::AIR_TEMPERATURE,
                   std::string("air temperature (") + which + ") of met site " + std::to_string(s),
                   temperatures(s), places[static_cast<std::size_t>(s - 1)]);
  }
  return true;
}

// The highest and lowest air temperatures of one interval, each file's record read in
// step with the other's. A highest below the lowest is a record of one file set beside
// the wrong record of the other (or the two files swapped); the step's mean would still
// look plausible, so it is refused. A file that has ended gives its default and nothing
// to compare.
void read_air_temperature_records(FrameState& frame, RunIo& io) {
  auto& latches = frame.met_end_latches;
  FieldLog high_places, low_places;
  const bool high_read = read_air_temperatures(io, frame, AIR_TEMPERATURE_HIGH_UNIT,
                                               frame.AIR_TEMPERATURE_HIGH, high_places,
                                               latches.console_air_temperature_high, "high");
  const bool low_read = read_air_temperatures(io, frame, AIR_TEMPERATURE_LOW_UNIT,
                                              frame.AIR_TEMPERATURE_LOW, low_places,
                                              latches.console_air_temperature_low, "low");
  if (!high_read || !low_read) return;
  for (int s = 1; s <= frame.AIR_TEMPERATURE_HIGH.size(); ++s) {
    const double high = frame.AIR_TEMPERATURE_HIGH(s);
    const double low = frame.AIR_TEMPERATURE_LOW(s);
    if (!(high < low)) continue;
    const FieldPlace& low_place = low_places[static_cast<std::size_t>(s - 1)];
    refuse_at(high_places[static_cast<std::size_t>(s - 1)],
              "highest air temperature of met site " + std::to_string(s) + " = " +
                  value_text(high) + " degC lies below its lowest, " + value_text(low) +
                  " degC, read from " + describe_place(low_place) +
                  " (the records of the two files must cover the same intervals); the highest "
                  "was read");
  }
}

void advance_rain_clock(FrameState& frame, const SurfaceState& surface) {
  frame.MELAST = frame.METIME;
  frame.METIME += surface.PRD_INTERVAL;
}

// One rainfall record: depths over PRD_INTERVAL turned into rates, mm/h, each rate
// within the physical bounds of a rainfall rate.
void read_prd_record(FrameState& frame, SurfaceState& surface, RunIo& io) {
  FieldLog places;
  if (!read_free_record(io, PRD_FILE_UNIT, frame.PINP, places)) {
    print_end_message(io, frame, frame.met_end_latches.prd, "Finish of prd data");
    announce_end_on_console(io, frame, frame.met_end_latches.console_prd, PRD_FILE_UNIT,
                            "Finish of prd data");
    frame.PINP.fill(0.0);
    advance_rain_clock(frame, surface);
    return;
  }
  for (int r = 1; r <= frame.PINP.size(); ++r) {
    frame.PINP(r) /= surface.PRD_INTERVAL;
    require_within(Quantity::RAINFALL_RATE,
                   "rainfall rate (depth / PRD_INTERVAL) of rain station " + std::to_string(r),
                   frame.PINP(r), places[static_cast<std::size_t>(r - 1)]);
  }
  advance_rain_clock(frame, surface);
}

// One potential-evaporation record (depths over EPD_INTERVAL, turned into mm/h) with
// the air temperatures read in step with it.
void read_epd_record(FrameState& frame, SurfaceState& surface, RunIo& io, bool& latch) {
  FieldLog places;
  if (!read_free_record(io, EPD_FILE_UNIT, frame.STATION_EPD_RATE, places)) {
    print_end_message(io, frame, latch, "Finish of epd data");
    announce_end_on_console(io, frame, frame.met_end_latches.console_epd, EPD_FILE_UNIT,
                            "Finish of epd data");
    frame.STATION_EPD_RATE.fill(0.0);
  } else {
    const RecordSource& in = io.units.unit(EPD_FILE_UNIT);
    for (int s = 1; s <= frame.STATION_EPD_RATE.size(); ++s) {
      double& depth = frame.STATION_EPD_RATE(s);
      require_at_most(Quantity::POTENTIAL_EVAPORATION,
                      "potential evaporation rate (depth / EPD_INTERVAL) of met site " +
                          std::to_string(s),
                      depth / surface.EPD_INTERVAL, places[static_cast<std::size_t>(s - 1)]);
      depth = evaporation_not_below_zero(io, frame.met_negative_evap_latches.epd, depth,
                                         in.source_name(), in.record_number(), "mm");
    }
  }
  if (io.names.AIR_TEMPERATURE_FILES_ON) {
    read_air_temperature_records(frame, io);
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
