#include "frame/frame_data.h"

#include <span>
#include <string>

#include "frame/topology.h"
#include "include/dimensions.h"
#include "services/calendar.h"
#include "services/formatted_writer.h"
#include "services/grid_readers.h"
#include "services/physical_bounds.h"
#include "services/record_reader.h"
#include "services/stops.h"

namespace quendal {

namespace {

constexpr double QUENDAL_VERSION = 4.4;
constexpr const char* QUENDAL_BANNER =
    "QUENDAL Version 4.4.6 for PC - incorporating VANTOLIX Version 2";
constexpr double DEFAULT_DISCHARGE_INTERVAL = 24.0;  // hours
constexpr std::size_t FIRST_FACE_COLUMN = 9;  // of a face-code row: the code of face 1

// A date as the frame data file gives it, with where it was written.
struct FileDate {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  FieldPlace place;  // the record, and the columns and text of its five values
};

std::string read_title(RecordSource& in) {
  std::string title;
  read_formatted(in, "(A80)", title);
  return title;
}

// A line read in free format with nothing taken from it (the label lines).
void skip_line(RecordSource& in) { read_list(in); }

FileDate read_date(RecordSource& in) {
  skip_line(in);
  FileDate d;
  FieldLog places;
  {
    FieldLogScope scope(in, places);
    read_list(in, d.year, d.month, d.day, d.hour, d.minute);
  }
  d.place = joined_place(places, in.source_name(), in.record_number());
  return d;
}

[[noreturn]] void refuse(const RecordSource& in, long record, const std::string& text,
                         const std::string& problem) {
  throw InputError(in.source_name(), record, 0, 0, text, problem);
}

std::string date_text(const FileDate& d) {
  return std::to_string(d.year) + " " + std::to_string(d.month) + " " + std::to_string(d.day) +
         " " + std::to_string(d.hour) + " " + std::to_string(d.minute);
}

[[noreturn]] void refuse_date(const FileDate& d, const std::string& problem) {
  const FieldPlace& p = d.place;
  throw InputError(p.file, p.record, p.first_column, p.last_column,
                   p.first_column > 0 ? p.text : date_text(d), problem);
}

// The calendar counts no leap day before 1952 and no day before 1950, and past a few
// thousand years its hours no longer keep the minute; a date that does not exist (30
// February, hour 24) would only come back from it as another date. Every date the run
// converts is refused here instead, where the file and the record are known.
constexpr int LAST_CALENDAR_YEAR = 9999;

void check_date(const FileDate& d, const char* which) {
  if (d.year < 1950) {
    refuse_date(d, std::string(which) + " date before 1950, outside the model's calendar");
  }
  if (d.year > LAST_CALENDAR_YEAR) {
    refuse_date(d, std::string(which) + " date after " + std::to_string(LAST_CALENDAR_YEAR) +
                       ", outside the model's calendar");
  }
  const std::string fault = date_fault(d.year, d.month, d.day, d.hour, d.minute);
  if (!fault.empty()) refuse_date(d, std::string(which) + " date that does not exist: " + fault);
}

double hours_of(const FileDate& d, RunIo& io) {
  return DATE_TO_HOURS(d.year, d.month, d.day, d.hour, d.minute, io);
}

void write_empty(RecordSink& out, int count = 1) {
  for (int i = 0; i < count; ++i) out.write_record("");
}

// Echo blocks 1 to 4 around the run title, and block 5.
void write_heading(RecordSink& out, RecordSource& in) {
  out.write_record("1");
  write_empty(out);
  out.write_record("         QUENDAL");
  out.write_record("         Physically based, spatially distributed");
  out.write_record("         river catchment model");
  write_empty(out);
  write_empty(out);
  write_formatted(out, "('QUENDAL VERSION NUMBER: ',F5.1,1X)", QUENDAL_VERSION);
  write_empty(out);
  std::string banner = QUENDAL_BANNER;  // left-aligned in its 80 columns
  banner.resize(80, ' ');
  out.write_record(banner);
  write_empty(out);
  const std::string title = read_title(in);
  write_empty(out);
  out.write_record(title);
  write_empty(out);
  out.write_record(std::string(100, '='));
  write_empty(out);
  out.write_record(" ^^^ ENTER INFR ^^^");
}

// A title, then the spacings ten to a record; each is the distance between two element
// centres.
void read_spacings(RecordSource& in, Array1<double>& spacing, const char* direction) {
  read_title(in);
  FieldLog places;
  {
    FieldLogScope scope(in, places);
    read_formatted(in, "(10F7.0)", spacing);
  }
  for (int i = 1; i <= spacing.size(); ++i) {
    require_within(Quantity::GRID_SPACING,
                   std::string("grid spacing ") + std::to_string(i) + " in " + direction,
                   spacing(i), places[static_cast<std::size_t>(i - 1)]);
  }
}

void write_spacings(RecordSink& out, const char* direction, const Array1<double>& spacing) {
  out.write_record(std::string("0H-H GRID SIZES (METERS) IN ") + direction + "-DIRECTION");
  if (spacing.size() > 0) write_formatted(out, "(1X,10G11.4)", FormatArgs().add(spacing));
}

// The hot-start switches, and the restart time and interval as taken, in hours: their
// fields hold two implied decimals, so a value written without a point (24) reads a
// hundredth of what was meant (0.24), and the echo shows it at once.
void write_hotstart_controls(RecordSink& out, const FrameState& frame) {
  out.write_record("0");
  write_empty(out);
  write_formatted(out, "(' HOT START READ (HSREAD) =',L2,'    WRITE (HSWRIT) =',L2)",
                  frame.HOTSTART_READ, frame.HOTSTART_WRITE);
  write_formatted(out, "(' HOTSTART_TIME (HSTIME)     =',F12.4,' HOURS.')", frame.HOTSTART_TIME);
  write_formatted(out, "(' HOTSTART_INTERVAL (HSINTV) =',F12.4,' HOURS.')",
                  frame.HOTSTART_INTERVAL);
}

void write_date(RecordSink& out, const char* label, const FileDate& d) {
  write_formatted(out, "(A,5I6)", label, d.year, d.month, d.day, d.hour, d.minute);
}

// Reads the catchment mask (digit layout) into frame.CATCHMENT_MASK; returns the
// number of grid squares.
long read_catchment_mask(FrameState& frame, RecordSource& in, RecordSink& out, RunIo& io) {
  const std::string title = read_title(in);
  const long title_record = in.record_number();
  if (frame.PRINT_ON) {
    write_empty(out);
    out.write_record(title);
  }
  const int nx = frame.NX;
  frame.CATCHMENT_MASK.resize(nx, frame.NY, 0);
  Array1<int> digits(nx, 0);
  std::span<int> row_digits(digits.data(), static_cast<std::size_t>(nx));
  const std::string row_format = "(I7,1X," + std::to_string(nx) + "I1)";
  long squares = 0;
  for (int y = frame.NY; y >= 1; --y) {
    const int row = read_digit_row(in, row_digits);
    if (frame.PRINT_ON) {
      write_formatted(out, row_format, FormatArgs(row).add(digits));
    }
    if (row != y) stop_on_row_mismatch(io, out, title, row, in);
    // Only the digit 1 makes a grid square; 0, 2 and any other digit mark a cell outside.
    for (int x = 1; x <= nx; ++x) {
      const bool inside = digits(x) == 1;
      frame.CATCHMENT_MASK(x, y) = inside ? 1 : 0;
      if (inside) ++squares;
    }
  }
  if (squares == 0) {
    refuse(in, title_record, trim_right(title),
           "catchment mask without a grid square (no cell marked 1) under the title");
  }
  return squares;
}

// A face-code grid: LCODEX holds the west face of every cell (NX + 1 faces a row, the
// last the east edge of the grid), LCODEY its south face (NY + 1 rows, the last the
// north edge).
enum class FaceGrid { LCODEX, LCODEY };

// A link code makes a channel link that carries water to and from the grid squares
// beside it. On the outer edge of the grid no link is made and the code would be
// dropped; on a face with no grid square on either side the link would be cut off from
// the catchment and drain nothing, and the water meant for it would stay on the land.
// Both are codes on the wrong face, most often a row shifted by a column, and are
// refused where they stand.
void check_link_face(const FrameState& frame, FaceGrid grid, int x, int y, int code,
                     const FieldPlace& place) {
  if (code < 4) return;  // 4 or more makes a link
  const bool x_faces = grid == FaceGrid::LCODEX;
  const char* const name = x_faces ? "LCODEX" : "LCODEY";
  const std::string face = std::string("Link code ") + place.text + " on " + name +
                           " face (column " + std::to_string(x) + ", row " + std::to_string(y) +
                           ")";
  const int edge = x_faces ? frame.NX + 1 : frame.NY + 1;
  const char* const slip = " (a code on the wrong face, or a row shifted by a column)";
  if ((x_faces ? x : y) == edge) {
    refuse_at(place, face + ", the " + (x_faces ? "east" : "north") +
                         " edge of the grid, where no channel link is made: the links of " + name +
                         " lie in " + (x_faces ? "columns 1 to " : "rows 1 to ") +
                         std::to_string(edge - 1) + slip);
  }
  // The cells on either side: west and east of an LCODEX face, south and north of an
  // LCODEY face; a cell beyond the edge of the grid does not exist.
  const int x0 = x_faces ? x - 1 : x, y0 = x_faces ? y : y - 1;
  const auto in_grid = [](int i, int j) { return i >= 1 && j >= 1; };
  const auto square = [&](int i, int j) { return in_grid(i, j) && frame.CATCHMENT_MASK(i, j); };
  if (square(x0, y0) || square(x, y)) return;
  const auto cell = [](int i, int j) {
    std::string text = "(";
    text += std::to_string(i);
    text += ", ";
    text += std::to_string(j);
    return text + ")";
  };
  const std::string sides = in_grid(x0, y0)
                                ? "between cells " + cell(x0, y0) + " and " + cell(x, y) +
                                      ", neither of them a grid square of the catchment"
                                : "on the " + std::string(x_faces ? "west" : "south") +
                                      " edge of the grid beside cell " + cell(x, y) +
                                      ", not a grid square of the catchment";
  refuse_at(place, face + " " + sides + "; every channel link borders at least one" + slip);
}

// Every grid square's code of a code grid (or a default) must name an existing site,
// station or type: the met data and the ET step index their tables with it.
void check_codes(const FrameState& frame, const Array1<int>& codes, int count,
                 const char* what, const RecordSource& in, long title_record) {
  for (int y = frame.NY; y >= 1; --y) {
    for (int x = 1; x <= frame.NX; ++x) {
      const int e = frame.ICMXY(x, y);
      if (e == 0) continue;
      const int code = codes(e);
      if (code < 1 || code > count) {
        refuse(in, title_record, std::to_string(code),
               std::string(what) + " code of the grid square at column " + std::to_string(x) +
                   ", row " + std::to_string(y) + " (element " + std::to_string(e) +
                   ") is outside 1 to " + std::to_string(count) + " in the grid that begins at");
      }
    }
  }
}

// One per-element code grid, or its default when the default is 1 or more.
void read_code_grid(const FrameState& frame, Array1<int>& codes, int default_code, int count,
                    const char* what, RunIo& io) {
  if (default_code >= 1) {
    AREADI(frame, codes, GRID_FILL, default_code, PRINT_UNIT, count, io);
    return;
  }
  RecordSource& in = io.units.unit(FRAME_DATA_UNIT);
  const long title_record = in.record_number() + 1;
  AREADI(frame, codes, frame.PRINT_ON ? GRID_READ_AND_ECHO : GRID_READ, FRAME_DATA_UNIT,
         PRINT_UNIT, count, io);
  check_codes(frame, codes, count, what, in, title_record);
}

}  // namespace

int face_code_of(char c) {
  switch (c) {
    case 'I': return 1;
    case '.': return 2;
    case 'R': return 6;
    case 'W': return 7;
    case 'A': return 8;
    case 'H': return 9;
    case 'F': return 10;
    case 'P': return 11;
    default: return 0;
  }
}

void READ_FACE_CODE_GRID(int columns, int rows, Array2<int>& grid, int unit_in, int unit_out,
                         bool print_on, RunIo& io, const FaceCodeCheck& check) {
  RecordSource& in = io.units.unit(unit_in);
  RecordSink& out = io.units.sink(unit_out);
  const std::string title = read_title(in);
  if (print_on) out.write_record(title);
  grid.resize(columns, rows, 0);
  std::string record;
  const std::size_t last_face_column = FIRST_FACE_COLUMN - 1 + static_cast<std::size_t>(columns);
  for (int y = rows; y >= 1; --y) {
    if (!in.read_record(record)) throw EndOfFileError(in.source_name(), in.record_number());
    const int row = parse_row_number(record, in);
    // The code characters from column 9; a short record reads as blanks (code 0).
    std::string codes =
        record.size() >= FIRST_FACE_COLUMN
            ? record.substr(FIRST_FACE_COLUMN - 1, static_cast<std::size_t>(columns))
            : std::string();
    codes.resize(static_cast<std::size_t>(columns), ' ');
    if (print_on) {
      write_formatted(out, "(I7,1X,A)", row, codes);
    }
    if (row != y) {
      // Written whatever the print flag says: a run that stops must say why.
      out.write_record("  ^^^   INCORRECT COORDINATE");
      const std::string why = "face-code grid row " + std::to_string(row) + " found where row " +
                              std::to_string(y) + " was expected in " + in.source_name() +
                              ", record " + std::to_string(in.record_number());
      io.console.write_record(" INCORRECT COORDINATE: " + why);
      io.units.flush_all();
      throw ImmediateStop(why);
    }
    // A code past the last face would be dropped without a word: the row holds a face
    // too many, or is shifted to the right and every code in it stands on the wrong face.
    if (const int column = first_text_after_column(record, last_face_column)) {
      throw InputError(in.source_name(), in.record_number(), column, column,
                       std::string(1, record[static_cast<std::size_t>(column - 1)]),
                       "Character after the last face of a face-code row: the grid has " +
                           std::to_string(columns) + " faces a row, in columns " +
                           std::to_string(FIRST_FACE_COLUMN) + " to " +
                           std::to_string(last_face_column) +
                           "; the row holds more codes than that, or is shifted to the right");
    }
    for (int x = 1; x <= columns; ++x) {
      const char c = codes[static_cast<std::size_t>(x - 1)];
      grid(x, y) = face_code_of(c);
      if (check) {
        const int column = static_cast<int>(FIRST_FACE_COLUMN) - 1 + x;
        check(x, y, grid(x, y),
              FieldPlace{in.source_name(), in.record_number(), column, column, std::string(1, c)});
      }
    }
  }
}

void INFR(FrameState& frame, RunIo& io) {
  RecordSource& in = io.units.unit(FRAME_DATA_UNIT);
  RecordSink& out = io.units.print();

  // Record 1 and the heading.
  write_heading(out, in);

  // Records 2 to 6: grid size and the four dates.
  skip_line(in);
  read_list(in, frame.NX, frame.NY);
  if (frame.NX < 2 || frame.NX > MAX_GRID_COLUMNS || frame.NY < 2 || frame.NY > MAX_GRID_ROWS) {
    refuse(in, in.record_number(),
           "NX = " + std::to_string(frame.NX) + ", NY = " + std::to_string(frame.NY),
           "grid size outside the room of 2 to 399 columns and 2 to 399 rows");
  }
  const int nx = frame.NX;
  const int ny = frame.NY;
  // The start and end dates are checked as they are read; the sediment and contaminant
  // starts once the switches say whether they are used (a date that is never used may
  // be left as anything).
  const FileDate start = read_date(in);
  check_date(start, "start");
  const FileDate end = read_date(in);
  check_date(end, "end");
  const FileDate sediment_start = read_date(in);
  const FileDate contaminant_start = read_date(in);
  frame.SEDIMENT_START_PLACE = sediment_start.place;
  frame.CONTAMINANT_START_PLACE = contaminant_start.place;

  // Records 7 and 8: grid spacings.
  frame.GRID_SPACING_X.resize(nx - 1, 0.0);
  frame.GRID_SPACING_Y.resize(ny - 1, 0.0);
  read_spacings(in, frame.GRID_SPACING_X, "x");
  read_spacings(in, frame.GRID_SPACING_Y, "y");

  // Record 9: print and store controls.
  int print_mode = 0;
  bool unused_flag_1 = false, unused_flag_2 = false;
  double print_start_time = 0.0;
  read_title(in);
  read_formatted(in, "(F7.0,I7,4L7,F7.0)", frame.DTAO, print_mode, frame.PRINT_ON,
                 unused_flag_1, unused_flag_2, frame.RESULTS_STORE_ON, print_start_time);

  // Record 10: time-step controls.
  read_title(in);
  {
    FieldLog places;
    FieldLogScope scope(in, places);
    read_formatted(in, "(4F7.0,L7)", frame.MAX_RAIN_DEPTH_PER_STEP, frame.TIMESTEP_GROWTH,
                   frame.OC_MAX_CHANNEL_FLOW, frame.BASIC_TIMESTEP, frame.SOFT_START);
    if (places.size() > 2) frame.OC_MAX_CHANNEL_FLOW_PLACE = places[2];
  }
  // The step control divides by both: a zero or negative value would stall the clock.
  if (!(frame.BASIC_TIMESTEP > 0.0) || !(frame.MAX_RAIN_DEPTH_PER_STEP > 0.0)) {
    refuse(in, in.record_number(),
           format_line("('rain depth limit ',G12.5,', basic time step ',G12.5)",
                       frame.MAX_RAIN_DEPTH_PER_STEP, frame.BASIC_TIMESTEP),
           "the basic time step and the rain depth limit per step must both be positive");
  }
  if (frame.BASIC_TIMESTEP > MAX_BASIC_TIMESTEP) {
    write_free(out, "^^^ TIMESTEP LIMITED TO 2 HOURS ^^^");
    frame.BASIC_TIMESTEP = MAX_BASIC_TIMESTEP;
  }

  // Record 11, only in print mode 2: ten flags that nothing uses.
  if (print_mode == 2) {
    bool unused[10] = {};
    read_title(in);
    read_formatted(in, "(10L7)", std::span<bool>(unused));
  }

  // Records 12 and 13: component switches, hot-start controls.
  {
    bool switches[10] = {};
    read_title(in);
    read_formatted(in, "(10L7)", std::span<bool>(switches));
    frame.SNOW_ON = switches[0];
    frame.BANKS_ON = switches[1];
    frame.SEDIMENT_ON = switches[2];
    frame.CONTAMINANT_ON = switches[3];
  }
  frame.ET_ON = true;
  frame.OC_ON = true;
  read_title(in);
  read_formatted(in, "(2L7,2F7.2)", frame.HOTSTART_READ, frame.HOTSTART_WRITE,
                 frame.HOTSTART_TIME, frame.HOTSTART_INTERVAL);

  // Blocks 6 to 9: the grid.
  out.write_record("0");
  write_empty(out);
  out.write_record(" GRID SPECIFICATION");
  out.write_record(std::string(80, '*'));
  write_empty(out);
  write_formatted(out, "(' NX = ',I4,21X,'NY = ',I4)", nx, ny);
  write_spacings(out, "X", frame.GRID_SPACING_X);
  write_spacings(out, "Y", frame.GRID_SPACING_Y);
  out.write_record(" " + std::string(80, '*'));

  // The dates (block 10, and 11 and 12 for the components that are on).
  frame.RUN_START_TIME = hours_of(start, io);
  frame.RUN_END_TIME = hours_of(end, io);
  if (!(frame.RUN_END_TIME > frame.RUN_START_TIME)) {
    refuse_date(end, "end of simulation not after its start");
  }
  out.write_record("0");
  write_empty(out);
  write_date(out, " START OF SIMULATION  : ", start);
  write_date(out, " END OF SIMULATION    : ", end);
  write_formatted(out, "(' LENGTH OF SIMULATION : ',F10.2,' HOURS.')",
                  frame.RUN_END_TIME - frame.RUN_START_TIME);
  frame.CALENDAR_YEAR = start.year;
  frame.CALENDAR_MONTH = start.month;
  frame.CALENDAR_DAY = start.day;
  if (frame.SEDIMENT_ON) {
    check_date(sediment_start, "sediment start");
    frame.SEDIMENT_START_TIME = hours_of(sediment_start, io);
    write_empty(out, 2);
    write_date(out, " START OF SEDIMENT SIMULATION  : ", sediment_start);
    write_formatted(out, "('           AT SIMULATION HOUR  : ',F8.2)",
                    frame.SEDIMENT_START_TIME - frame.RUN_START_TIME);
  }
  if (frame.CONTAMINANT_ON) {
    check_date(contaminant_start, "contaminant start");
    frame.CONTAMINANT_START_TIME = hours_of(contaminant_start, io);
    write_empty(out, 2);
    write_date(out, " START OF CONTAMINANT SIMULATION  : ", contaminant_start);
    write_formatted(out, "('              AT SIMULATION HOUR  : ',F8.2)",
                    frame.CONTAMINANT_START_TIME - frame.RUN_START_TIME);
  }

  // Blocks 13 to 15.
  out.write_record("0");
  write_empty(out);
  write_formatted(out, "(' BASIC TIMESTEP (HOURS) :',F8.3)", frame.BASIC_TIMESTEP);
  out.write_record("0");
  write_empty(out);
  write_formatted(out,
                  "(' PRINTING CONTROL - ALL RESULTS PRINTED AT',' INTERVALS OF DTAO = ',F7.2,"
                  "' HOURS.')",
                  frame.DTAO);
  out.write_record("0");
  write_empty(out);
  out.write_record(frame.RESULTS_STORE_ON ? " RESULTS RECORDED ON FILE STORE."
                                          : " RESULTS NOT REQUIRED ON FILE STORE.");
  write_hotstart_controls(out, frame);

  // Record 14: counts (block 16).
  int horizon_categories = 0;
  read_title(in);
  FieldLog count_places;
  {
    FieldLogScope scope(in, count_places);
    read_formatted(in, "(5I7)", frame.MET_SITE_COUNT, frame.RAIN_STATION_COUNT, frame.NV,
                   frame.NS, horizon_categories);
  }
  const long counts_record = in.record_number();
  // Each count must fit the room of what it counts: the met arrays hold 200 sites and
  // 200 stations, the soil arrays NSEE types.
  if (frame.MET_SITE_COUNT < 0 || frame.MET_SITE_COUNT > MET_SITE_ROOM ||
      frame.RAIN_STATION_COUNT < 0 || frame.RAIN_STATION_COUNT > MET_SITE_ROOM || frame.NV < 0 ||
      frame.NV > NVEE || frame.NS < 0 || frame.NS > NSEE || horizon_categories < 0 ||
      horizon_categories > NSEE) {
    // The counts as written (a count too wide for its field would show as asterisks).
    std::string written;
    for (const FieldPlace& p : count_places) written += (written.empty() ? "" : " ") + p.text;
    refuse(in, counts_record, written,
           "counts of met sites and rain stations (0 to 200), vegetation types (0 to 200), soil "
           "types and soil horizon categories (0 to 1000) outside their range");
  }
  out.write_record("0");
  write_empty(out);
  write_formatted(out, "(' NO. OF METEOROLOGICAL SITES = ',I3)", frame.MET_SITE_COUNT);
  write_formatted(out, "(' NO. OF RAINFALL STATIONS = ',I3)", frame.RAIN_STATION_COUNT);
  write_formatted(out, "(' NO. OF VEGETATION TYPES = ',I3)", frame.NV);
  write_formatted(out, "(' NO. OF SOIL TYPES = ',I3)", frame.NS);
  write_formatted(out, "(' NO. OF SOIL HORIZON CATEGORIES = ',I3)", horizon_categories);

  // Record 15 (nothing taken), record 16: default codes (block 17).
  read_title(in);
  skip_line(in);
  int default_met_site = 0, default_rain_station = 0, default_vegetation = 0;
  int default_horizon = 0, unused_code_5 = 0, unused_code_6 = 0;
  read_title(in);
  read_formatted(in, "(6I7)", default_met_site, default_rain_station, default_vegetation,
                 default_horizon, unused_code_5, unused_code_6);
  const long defaults_record = in.record_number();
  out.write_record("0");
  write_formatted(out, "(' DEFAULT METEOROLOGICAL STATION CODE =',I3)", default_met_site);
  write_formatted(out, "(' DEFAULT RAINFALL STATION CODE       =',I3)", default_rain_station);
  write_formatted(out, "(' DEFAULT VEGETATION GRID CODE        =',I3)", default_vegetation);
  write_formatted(out, "(' DEFAULT SOIL HORIZON CATEGORY CODE  =',I3)", default_horizon);
  // A default code of 1 or more is given to every element: it must exist.
  const struct {
    int code, count;
    const char* what;
  } defaults[] = {{default_met_site, frame.MET_SITE_COUNT, "default met site"},
                  {default_rain_station, frame.RAIN_STATION_COUNT, "default rain station"},
                  {default_vegetation, frame.NV, "default vegetation"}};
  for (const auto& d : defaults) {
    if (d.code > d.count) {
      refuse(in, defaults_record, std::to_string(d.code),
             std::string(d.what) + " code above its count " + std::to_string(d.count));
    }
  }

  // Records 17 to 19: the catchment mask and the face-code grids.
  read_catchment_mask(frame, in, out, io);
  for (const FaceGrid grid : {FaceGrid::LCODEX, FaceGrid::LCODEY}) {
    const bool x_faces = grid == FaceGrid::LCODEX;
    READ_FACE_CODE_GRID(x_faces ? nx + 1 : nx, x_faces ? ny : ny + 1,
                        x_faces ? frame.LCODEX : frame.LCODEY, FRAME_DATA_UNIT, PRINT_UNIT,
                        frame.PRINT_ON, io,
                        [&frame, grid](int x, int y, int code, const FieldPlace& place) {
                          check_link_face(frame, grid, x, y, code, place);
                        });
  }

  // The elements and their neighbours, before any per-element grid.
  NUMBER_ELEMENTS(frame, io, frame.PRINT_ON);

  const int nel = frame.NEL;
  frame.ZGRUND.resize(nel, 0.0);
  frame.MET_SITE_OF_ELEMENT.resize(nel, 0);
  frame.RAIN_STATION_OF_ELEMENT.resize(nel, 0);
  frame.NVC.resize(nel, 0);

  // Records 20 to 23: elevation and code grids. Links get their met codes later, in
  // the catchment set-up.
  READ_REAL_GRID(frame, frame.ZGRUND, frame.PRINT_ON ? GRID_READ_AND_ECHO : GRID_READ,
                 FRAME_DATA_UNIT, PRINT_UNIT, io,
                 [](int e, double z, const FieldPlace& place) {
                   require_within(Quantity::ELEVATION,
                                  "ground elevation of element " + std::to_string(e), z, place);
                 });
  read_code_grid(frame, frame.MET_SITE_OF_ELEMENT, default_met_site, frame.MET_SITE_COUNT,
                 "met site", io);
  read_code_grid(frame, frame.RAIN_STATION_OF_ELEMENT, default_rain_station,
                 frame.RAIN_STATION_COUNT, "rain station", io);
  read_code_grid(frame, frame.NVC, default_vegetation, frame.NV, "vegetation", io);

  // Record 24, optional: the regular discharge interval.
  frame.DISCHARGE_INTERVAL = DEFAULT_DISCHARGE_INTERVAL;
  try {
    read_title(in);
    read_list(in, frame.DISCHARGE_INTERVAL);
  } catch (const InputError&) {  // an end of file included
    frame.DISCHARGE_INTERVAL = DEFAULT_DISCHARGE_INTERVAL;
  }

  frame.ISORT.resize(nel, 0);
  for (int e = 1; e <= nel; ++e) frame.ISORT(e) = e;

  out.write_record("0");
  write_empty(out);
  out.write_record(" EXIT INFR");
}

}  // namespace quendal
