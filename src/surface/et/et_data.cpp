#include "surface/et/et_data.h"

#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/predicates.h"
#include "services/record_reader.h"
#include "services/records.h"
#include "services/solvers.h"
#include "services/stops.h"

namespace quendal {
namespace {

constexpr int PROBED_MET_UNIT = 19;
constexpr int PROBED_PRECIPITATION_UNIT = 20;
constexpr int PROBED_EVAPORATION_UNIT = 21;
constexpr int PROBED_AIR_TEMPERATURE_HIGH_UNIT = 45;
constexpr int PROBED_AIR_TEMPERATURE_LOW_UNIT = 46;

// 0.41 squared: von Karman's constant of the logarithmic wind profile.
constexpr double VON_KARMAN_SQUARED = 0.1681;

const char* const VARYING_NAMES[ET_VARYING_PARAMETER_COUNT] = {"CSTCAP", "PLAI", "CLAI", "VHT"};
const Quantity VARYING_BOUNDS[ET_VARYING_PARAMETER_COUNT] = {
    Quantity::CANOPY_STORAGE, Quantity::GROUND_COVER, Quantity::LEAF_AREA_INDEX,
    Quantity::VEGETATION_HEIGHT};

Array1<double>& varying_parameter(SurfaceState& s, int p) {
  switch (p) {
    case ET_VARYING_CSTCAP: return s.CSTCAP;
    case ET_VARYING_PLAI: return s.PLAI;
    case ET_VARYING_CLAI: return s.CLAI;
    default: return s.VHT;
  }
}

std::string read_title(RecordSource& in) {
  std::string title;
  read_formatted(in, "(A80)", title);
  return trim_right(title);
}

void size_et_data(SurfaceState& s, int nv, int sites) {
  s.MET_SITE_PE_GIVEN.resize(sites > 0 ? sites : 0, 0);
  s.ET_VARIABLE_RA.resize(nv, 0);
  s.RA.resize(nv, 0.0);
  s.ZU.resize(nv, 0.0);
  s.ZD.resize(nv, 0.0);
  s.ZO.resize(nv, 0.0);
  s.RC.resize(nv, 0.0);
  s.ET_MODE.resize(nv, 0);
  s.ET_PSI_ROWS.resize(nv, 0);
  s.PLAI.resize(nv, 0.0);
  s.CSTCAP.resize(nv, 0.0);
  s.CK.resize(nv, 0.0);
  s.CB.resize(nv, 0.0);
  s.CLAI.resize(nv, 0.0);
  s.VHT.resize(nv, 0.0);
  s.ET_RDF_ROWS.resize(nv, 0);
  s.RDF.resize_range(1, nv, 0, ET_RDF_ROWS_ROOM, 0.0);
  s.ET_PSI_TABLE.resize(ET_PSI_ROWS_ROOM, 3, nv, 0.0);
  s.ET_RA_COEFFICIENT.resize(nv, 0.0);
  for (EtTimeVaryingTable& t : s.ET_TIME_VARYING_TABLES) {
    t.mode.resize(nv, 0);
    t.row.resize(nv, 0);
    t.base.resize(nv, 0.0);
    t.rows.resize(nv, 0);
    t.times.resize(nv, ET_TIME_TABLE_ROOM, 0.0);
    t.values.resize(nv, ET_TIME_TABLE_ROOM, 0.0);
  }
}


void check_count(RunIo& io, int v, const char* what, int n, int lowest, int room,
                 const FieldPlace& place) {
  if (n < lowest || n > room) {
    report_fatal_with_detail(
        io, ET_DATA_ERROR, PRINT_UNIT, 0,
        format_line("('Vegetation type',I4,': ',A,' =',I7,' is outside',I3,' to',I4)", v, what, n,
                    lowest, room),
        value_read_from(place));
  }
}

// The time-varying table of one parameter of type v: a title, the row count, a title,
// then the rows of (time in days, multiplier).
void read_time_table(RecordSource& in, RunIo& io, SurfaceState& s, int p, int v) {
  EtTimeVaryingTable& t = s.ET_TIME_VARYING_TABLES[p];
  RecordSink& print = io.units.print();
  t.row(v) = 1;
  t.base(v) = varying_parameter(s, p)(v);
  read_title(in);
  int n = 0;
  FieldLog count_place;
  {
    FieldLogScope scope(in, count_place);
    read_formatted(in, "(I7)", n);
  }
  // INTERPOLATE_TIME_TABLE needs at least one row and reads no more than were given.
  const std::string what = std::string("rows of the ") + VARYING_NAMES[p] + " table";
  check_count(io, v, what.c_str(), n, 1, ET_TIME_TABLE_ROOM, count_place[0]);
  t.rows(v) = n;
  const std::string title = read_title(in);
  if (s.ET_PRINT_ON) write_formatted(print, "(1X,A)", title);
  for (int r = 1; r <= n; ++r) {
    FieldLog places;
    {
      FieldLogScope scope(in, places);
      read_formatted(in, "(2F7.3)", t.times(v, r), t.values(v, r));
    }
    if (s.ET_PRINT_ON) write_formatted(print, "(1X,2E12.3)", t.times(v, r), t.values(v, r));
    // The parameter the row gives is the multiplier times the base value: it must be a
    // value the parameter can have.
    require_within(VARYING_BOUNDS[p],
                   std::string(VARYING_NAMES[p]) + " of vegetation type " + std::to_string(v) +
                       " (base " + value_text(t.base(v)) + " times multiplier " +
                       value_text(t.values(v, r)) + ") at day " + value_text(t.times(v, r)),
                   t.base(v) * t.values(v, r), places[1]);
    // The interpolation divides by the interval between consecutive rows.
    if (r > 1 && !(t.times(v, r) > t.times(v, r - 1))) {
      report_fatal_with_detail(io, ET_DATA_ERROR, PRINT_UNIT, 0,
                               format_line("('Vegetation type',I4,': time-varying ',A,' table, "
                                           "row',I4,': time',G12.4,' days is not later than the "
                                           "row before')",
                                           v, VARYING_NAMES[p], r, t.times(v, r)),
                               value_read_from(places[0]));
    }
  }
}

void write_parameter(RecordSink& print, const char* name, double value, int decimals) {
  std::string padded(name);
  padded.resize(6, ' ');
  if (decimals == 8) {
    write_formatted(print, "(1X,A,' =',F18.8)", padded, value);
  } else {
    write_formatted(print, "(1X,A,' =',F14.4)", padded, value);
  }
}

// Where the values of one vegetation type were read: record b (RA to ET_MODE), record c
// (ET_PSI_ROWS to RDL), the soil-water-potential table (three items a row) and the root
// density rows (two items a row).
struct VegetationPlaces {
  FieldLog b, c, psi_table, roots;
};
constexpr std::size_t B_RA = 1, B_ZU = 2, B_ZD = 3, B_ZO = 4, B_RC = 5;
constexpr std::size_t C_PSI_ROWS = 0, C_PLAI = 1, C_CSTCAP = 2, C_CK = 3, C_CB = 4, C_CLAI = 6,
                      C_VHT = 7;

// Values the ET step would divide by, or take the logarithm of: error 1062, with the
// place of the value on the line after it.
void check_vegetation(RunIo& io, const SurfaceState& s, int v, const VegetationPlaces& at) {
  auto refuse_value = [&](const char* text, double value, const char* requirement,
                          const FieldPlace& place) {
    report_fatal_with_detail(io, ET_DATA_ERROR, PRINT_UNIT, 0,
                             format_line("('Vegetation type',I4,': ',A,' =',G12.4,1X,A)", v, text,
                                         value, requirement),
                             value_read_from(place));
  };
  if (s.ET_VARIABLE_RA(v)) {
    if (!(s.ZO(v) > 0.0)) {
      refuse_value("roughness length ZO", s.ZO(v), "m must be positive", at.b[B_ZO]);
    }
    // ln((ZU - ZD) / ZO) must be positive, or the aerodynamic resistance is zero
    // (division by zero in the Penman-Monteith form) or the log is undefined.
    if (!(s.ZU(v) - s.ZD(v) > s.ZO(v))) {
      refuse_value("anemometer height ZU", s.ZU(v),
                   "m must exceed the zero-plane displacement ZD plus the roughness length ZO",
                   at.b[B_ZU]);
    }
  } else if (!(s.RA(v) > 0.0)) {
    refuse_value("constant aerodynamic resistance RA", s.RA(v), "s/m must be positive",
                 at.b[B_RA]);
  }
  if (s.RC(v) < 0.0) {
    refuse_value("canopy resistance RC", s.RC(v), "s/m must not be negative", at.b[B_RC]);
  }
  if (s.CK(v) < 0.0) {
    refuse_value("canopy drainage coefficient CK", s.CK(v), "mm/s must not be negative",
                 at.c[C_CK]);
  }
  // The drainage of a store above capacity divides by CB; a type whose cover is always
  // zero never holds water and may leave CB at 0.
  const auto& tables = s.ET_TIME_VARYING_TABLES;
  const bool plai_possible = s.PLAI(v) != 0.0 || tables[ET_VARYING_PLAI].mode(v) != 0;
  const bool clai_possible = s.CLAI(v) != 0.0 || tables[ET_VARYING_CLAI].mode(v) != 0;
  if (plai_possible && clai_possible && !(s.CB(v) > 0.0)) {
    refuse_value("canopy drainage exponent CB", s.CB(v), "1/mm must be positive", at.c[C_CB]);
  }
  const int mode = s.ET_MODE(v);
  if (mode == 3 && s.ET_PSI_ROWS(v) < 1) {
    report_fatal_with_detail(
        io, ET_DATA_ERROR, PRINT_UNIT, 0,
        format_line("('Vegetation type',I4,': ET mode 3 needs at least one row of the "
                    "soil-water-potential table')",
                    v),
        "the row count was read from " + describe_place(at.c[C_PSI_ROWS]));
  }
  // Row r of the table refused: `what` and `requirement` frame the value of `column`.
  auto refuse_row = [&](int r, int column, const char* what, const char* requirement) {
    report_fatal_with_detail(
        io, ET_DATA_ERROR, PRINT_UNIT, 0,
        format_line("('Vegetation type',I4,': soil-water-potential table, row',I3,': ',A,G12.4,"
                    "A)",
                    v, r, what, s.ET_PSI_TABLE(r, column, v), requirement),
        "the value was read from " +
            describe_place(at.psi_table[static_cast<std::size_t>(3 * (r - 1) + (column - 1))]));
  };
  if (mode == 2 || mode == 3) {
    for (int r = 2; r <= s.ET_PSI_ROWS(v); ++r) {
      if (s.ET_PSI_TABLE(r, ET_PSI_COLUMN_PSI, v) < s.ET_PSI_TABLE(r - 1, ET_PSI_COLUMN_PSI, v)) {
        refuse_row(r, ET_PSI_COLUMN_PSI, "psi", " m is below the row before (psi must ascend)");
      }
    }
  }
  if (mode == 2) {
    for (int r = 1; r <= s.ET_PSI_ROWS(v); ++r) {
      if (s.ET_PSI_TABLE(r, ET_PSI_COLUMN_RC, v) < 0.0) {
        refuse_row(r, ET_PSI_COLUMN_RC, "canopy resistance", " s/m must not be negative");
      }
    }
  }
}

// The values of one vegetation type against their physical bounds. The heights and the
// roughness length are checked where they are used: by a type that computes its
// aerodynamic resistance from them.
void check_vegetation_bounds(const SurfaceState& s, int v, const VegetationPlaces& at) {
  const std::string of = " of vegetation type " + std::to_string(v);
  if (s.ET_VARIABLE_RA(v)) {
    require_within(Quantity::ANEMOMETER_HEIGHT, "anemometer height ZU" + of, s.ZU(v), at.b[B_ZU]);
    require_within(Quantity::VEGETATION_HEIGHT, "zero-plane displacement ZD" + of, s.ZD(v),
                   at.b[B_ZD]);
    require_within(Quantity::ROUGHNESS_LENGTH, "roughness length ZO" + of, s.ZO(v), at.b[B_ZO]);
  } else {
    require_within(Quantity::AERODYNAMIC_RESISTANCE, "aerodynamic resistance RA" + of, s.RA(v),
                   at.b[B_RA]);
  }
  require_within(Quantity::CANOPY_RESISTANCE, "canopy resistance RC" + of, s.RC(v), at.b[B_RC]);
  require_within(Quantity::GROUND_COVER, "PLAI" + of, s.PLAI(v), at.c[C_PLAI]);
  require_within(Quantity::CANOPY_STORAGE, "CSTCAP" + of, s.CSTCAP(v), at.c[C_CSTCAP]);
  require_within(Quantity::LEAF_AREA_INDEX, "CLAI" + of, s.CLAI(v), at.c[C_CLAI]);
  require_within(Quantity::VEGETATION_HEIGHT, "vegetation height VHT" + of, s.VHT(v),
                 at.c[C_VHT]);
  if (s.ET_MODE(v) == 3) {
    for (int r = 1; r <= s.ET_PSI_ROWS(v); ++r) {
      require_within(Quantity::TRANSPIRATION_RATIO,
                     "transpiration ratio of row " + std::to_string(r) + " of the table" + of,
                     s.ET_PSI_TABLE(r, ET_PSI_COLUMN_RATIO, v),
                     at.psi_table[static_cast<std::size_t>(3 * (r - 1) + 2)]);
    }
  }
  for (int j = 1; j <= s.ET_RDF_ROWS(v); ++j) {
    require_within(Quantity::ROOT_FRACTION,
                   "root fraction RDF of row " + std::to_string(j) + of, s.RDF(v, j),
                   at.roots[static_cast<std::size_t>(2 * (j - 1) + 1)]);
  }
}

void read_vegetation_type(RecordSource& in, RunIo& io, SurfaceState& s, int v) {
  RecordSink& print = io.units.print();
  const bool echo = s.ET_PRINT_ON;
  if (echo) {
    write_formatted(print, "(/' VEGETATION TYPE',I6)", v);
    write_formatted(print, "(1X,22('*'))");
  }
  const std::string title = read_title(in);
  if (echo) write_formatted(print, "(1X,A)", title);

  bool variable_ra = false;
  VegetationPlaces at;
  {
    FieldLogScope scope(in, at.b);
    read_formatted(in, "(L7,5F7.0,I7)", variable_ra, s.RA(v), s.ZU(v), s.ZD(v), s.ZO(v), s.RC(v),
                   s.ET_MODE(v));
  }
  s.ET_VARIABLE_RA(v) = variable_ra ? 1 : 0;
  {
    FieldLogScope scope(in, at.c);
    read_formatted(in, "(I7,4F7.0,I7,3F7.0)", s.ET_PSI_ROWS(v), s.PLAI(v), s.CSTCAP(v), s.CK(v),
                   s.CB(v), s.ET_RDF_ROWS(v), s.CLAI(v), s.VHT(v), s.RDF(v, 0));
  }
  const int mode = s.ET_MODE(v);
  const bool constant_rc = mode == 1 || mode == 4;
  check_count(io, v, "ET_RDF_ROWS", s.ET_RDF_ROWS(v), 0, ET_RDF_ROWS_ROOM, at.c[5]);
  if (!constant_rc) {
    check_count(io, v, "ET_PSI_ROWS", s.ET_PSI_ROWS(v), 0, ET_PSI_ROWS_ROOM, at.c[C_PSI_ROWS]);
  }

  if (echo) {
    write_formatted(print, "(/' ET COMPONENT WITH MODE',I3,' OPERATION')", mode);
    write_formatted(print, "(/1X,10('*'))");
    write_formatted(print, "(' PARAMETERS')");
    write_parameter(print, "PLAI", s.PLAI(v), 8);
    write_parameter(print, "CSTCAP", s.CSTCAP(v), 8);
    write_parameter(print, "CK", s.CK(v), 8);
    write_parameter(print, "CB", s.CB(v), 8);
    write_parameter(print, "CLAI", s.CLAI(v), 8);
    write_parameter(print, "VHT", s.VHT(v), 8);
    write_parameter(print, "RDL", s.RDF(v, 0), 8);
    if (variable_ra) {
      write_formatted(print, "(' VARIABLE RA WITH')");
      write_parameter(print, "ZO", s.ZO(v), 4);
      write_parameter(print, "ZD", s.ZD(v), 4);
      write_parameter(print, "ZU", s.ZU(v), 4);
    } else {
      write_formatted(print, "(' CONSTANT RA =',F14.4)", s.RA(v));
    }
  }

  // Modes of the time-varying parameters, each echoed just before its table.
  read_title(in);
  int modes[ET_VARYING_PARAMETER_COUNT] = {0, 0, 0, 0};
  read_formatted(in, "(4I7)", modes[0], modes[1], modes[2], modes[3]);
  for (int p = 0; p < ET_VARYING_PARAMETER_COUNT; ++p) {
    s.ET_TIME_VARYING_TABLES[p].mode(v) = modes[p];
    if (echo) {
      write_formatted(print,
                      "(' MODE FOR ',A,' FOR VEGETATION',I4,' IS',I3,"
                      "'   (0=CONSTANT; 1=TIME-VARYING)')",
                      VARYING_NAMES[p], v, modes[p]);
    }
    if (modes[p] != 0) read_time_table(in, io, s, p, v);
  }

  // The soil-water-potential table, absent for the constant-RC modes 1 and 4.
  if (constant_rc) {
    write_formatted(print, "(' CONSTANT RC =',F14.4)", s.RC(v));
  } else {
    const std::string table_title = read_title(in);
    const int rows = s.ET_PSI_ROWS(v);
    std::vector<double> values(static_cast<std::size_t>(3 * rows), 0.0);
    {
      FieldLogScope scope(in, at.psi_table);
      read_formatted(in, "(3F7.2)", values);  // no rows: still consumes one record
    }
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= 3; ++c) {
        s.ET_PSI_TABLE(r, c, v) = values[static_cast<std::size_t>(3 * (r - 1) + (c - 1))];
      }
    }
    if (echo) {
      write_formatted(print, "(1X,A)", table_title);
      for (int r = 1; r <= rows; ++r) {
        write_formatted(print, "(1X,3F12.2)", s.ET_PSI_TABLE(r, 1, v), s.ET_PSI_TABLE(r, 2, v),
                        s.ET_PSI_TABLE(r, 3, v));
      }
    }
  }

  // Root density profile: a depth that is only echoed and the density of each cell
  // counted down from the top.
  const std::string rdf_title = read_title(in);
  if (echo) write_formatted(print, "(1X,A)", rdf_title);
  double sum = 0.0;
  for (int j = 1; j <= s.ET_RDF_ROWS(v); ++j) {
    double depth = 0.0;
    {
      FieldLogScope scope(in, at.roots);
      read_formatted(in, "(2F7.4)", depth, s.RDF(v, j));
    }
    sum += s.RDF(v, j);
    if (echo) write_formatted(print, "(1X,2F12.6)", depth, s.RDF(v, j));
  }
  if (echo) write_formatted(print, "(' asum OF RDF VALUES IS',F12.4)", sum);

  check_vegetation(io, s, v, at);
  check_vegetation_bounds(s, v, at);
  if (variable_ra) {
    const double log_ratio = std::log((s.ZU(v) - s.ZD(v)) / s.ZO(v));
    s.ET_RA_COEFFICIENT(v) = log_ratio * log_ratio / VON_KARMAN_SQUARED;
  }
}

// Reads (and so consumes) the first record of a met file; a file that is missing,
// empty or unreadable holds no data for the run.
// The report names the kind of file; the line after it names the file and why it holds
// nothing (empty, or what could not be read).
void probe_met_file(RunIo& io, int unit, int error, const char* message) {
  if (!io.units.is_open(unit)) {
    report_fatal_with_detail(io, error, PRINT_UNIT, 0, message,
                             "unit " + std::to_string(unit) + " is not named in the run-data file");
  }
  Unit& file = io.units.unit(unit);
  try {
    read_list(file);
  } catch (const EndOfFileError&) {
    report_fatal_with_detail(io, error, PRINT_UNIT, 0, message,
                             "file " + file.path() + " is empty");
  } catch (const InputError& e) {
    report_fatal_with_detail(io, error, PRINT_UNIT, 0, message, e.what());
  }
}

// With separate rainfall and evaporation files a site must take its potential
// evaporation from the evaporation file. Computed by Penman-Monteith, it would need the
// net radiation, wind speed and vapour pressure deficit that only the single met file
// gives: all would be 0, and the site's vegetation would neither evaporate nor transpire
// while the evaporation file was read for nothing.
void require_evaporation_given(const SurfaceState& s, const FieldLog& places) {
  for (int site = 1; site <= s.MET_SITE_PE_GIVEN.size(); ++site) {
    if (s.MET_SITE_PE_GIVEN(site) != 0) continue;
    refuse_at(places.at(static_cast<std::size_t>(site - 1)),
              "met site " + std::to_string(site) +
                  " is to compute its potential evaporation (entry 0), but with separate "
                  "rainfall and evaporation files (record 2, third field T) the run has no "
                  "net radiation, wind speed or vapour pressure deficit for it: those files "
                  "give none. Give a non-zero entry to take the site's potential evaporation "
                  "from the evaporation file; the entry was read");
  }
}

}  // namespace

void allocate_et_state(SurfaceState& s, int nv, int met_sites, int nel) {
  size_et_data(s, nv, met_sites);
  for (Array1<double>* a : {&s.PNETTO, &s.DRAINA, &s.ET_POTENTIAL_EVAP, &s.ET_CANOPY_EVAP,
                            &s.ET_TRANSPIRATION, &s.ET_SOIL_EVAP, &s.ET_SURFACE_WATER_EVAP,
                            &s.ET_GROUND_EVAP, &s.cstore}) {
    a->resize(nel, 0.0);
  }
}

void ET_READ_DATA_FILE(const FrameState& frame, SurfaceState& s, RunIo& io) {
  const int nv = frame.NV;
  // The hot start restores the canopy store later in the set-up; a cold run starts dry.
  // A store already sized to the run is kept for a hot start.
  const bool keep_store = frame.HOTSTART_READ && s.cstore.size() == frame.NEL;
  Array1<double> store;
  if (keep_store) store = s.cstore;
  allocate_et_state(s, nv, frame.MET_SITE_COUNT, frame.NEL);
  if (keep_store) s.cstore = store;
  s.ET_CLOCK = 0.0;
  s.root_zone_warning_given = false;

  RecordSource& in = io.units.input(ET_DATA_UNIT);
  read_title(in);
  read_formatted(in, "(3L7)", s.MET_PRINT_ON, s.ET_PRINT_ON, s.MET_FILE_MODE);
  read_title(in);
  FieldLog interval_places;
  {
    FieldLogScope scope(in, interval_places);
    read_list(in, s.MET_INTERVAL, s.PRD_INTERVAL, s.EPD_INTERVAL);
  }
  // Only the intervals of the files the run reads are used; each advances the met
  // clock and divides the depths read, so it must be positive.
  auto check_interval = [&](const char* name, double value, std::size_t item) {
    if (!(value > 0.0)) {
      report_fatal_with_detail(
          io, ET_DATA_ERROR, PRINT_UNIT, 0,
          format_line("(A,' =',G12.4,' hours: the interval between met records must be "
                      "positive')",
                      name, value),
          value_read_from(interval_places[item]));
    }
  };
  if (s.MET_FILE_MODE) {
    check_interval("PRD_INTERVAL", s.PRD_INTERVAL, 1);
    check_interval("EPD_INTERVAL", s.EPD_INTERVAL, 2);
  } else {
    check_interval("MET_INTERVAL", s.MET_INTERVAL, 0);
  }
  read_title(in);
  FieldLog pe_given_places;
  if (frame.MET_SITE_COUNT > 0) {
    FieldLogScope scope(in, pe_given_places);
    read_formatted(in, "(10I7)", s.MET_SITE_PE_GIVEN);
  }
  if (s.MET_FILE_MODE) require_evaporation_given(s, pe_given_places);

  for (int v = 1; v <= nv; ++v) read_vegetation_type(in, io, s, v);

  if (s.MET_FILE_MODE) {
    probe_met_file(io, PROBED_PRECIPITATION_UNIT, 1063, "no data in prd file");
    probe_met_file(io, PROBED_EVAPORATION_UNIT, 1064, "no data in epd file");
  } else {
    probe_met_file(io, PROBED_MET_UNIT, 1065, "no data in med file");
  }
  if (io.names.AIR_TEMPERATURE_FILES_ON) {
    probe_met_file(io, PROBED_AIR_TEMPERATURE_HIGH_UNIT, 1066, "no data in air temp - high file");
    probe_met_file(io, PROBED_AIR_TEMPERATURE_LOW_UNIT, 1067, "no data in air temp - low file");
  }
}

void ET_READ_DATA_FILE(Model& model) { ET_READ_DATA_FILE(model.frame, model.surface, model.io); }

void refresh_vegetation_parameters(SurfaceState& s, int nv, RunIo& io) {
  for (int p = 0; p < ET_VARYING_PARAMETER_COUNT; ++p) {
    EtTimeVaryingTable& t = s.ET_TIME_VARYING_TABLES[p];
    Array1<double>& parameter = varying_parameter(s, p);
    const long ld = t.times.extent(1);
    const std::span<const double> times(t.times.data(), static_cast<std::size_t>(ld * ET_TIME_TABLE_ROOM));
    const std::span<const double> values(t.values.data(), times.size());
    for (int v = 1; v <= nv; ++v) {
      if (t.mode(v) == 0) continue;
      INTERPOLATE_TIME_TABLE(io, std::span<double>(parameter.data(), static_cast<std::size_t>(ld)),
                             s.ET_CLOCK, values, times,
                             std::span<int>(t.row.data(), static_cast<std::size_t>(ld)),
                             std::span<const double>(t.base.data(), static_cast<std::size_t>(ld)),
                             static_cast<int>(ld), v, t.rows(v), VARYING_NAMES[p]);
    }
  }
}

}  // namespace quendal
