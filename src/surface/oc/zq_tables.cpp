#include "surface/oc/zq_tables.h"

#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/record_reader.h"
#include "services/records.h"
#include "services/stops.h"

namespace quendal {
namespace {

constexpr int HEADING_WIDTH = 9;
// Single precision 0.1 h: lookups before it write the column titles of unit 778.
constexpr double FIRST_LOOKUPS_HOURS = static_cast<double>(0.1f);

// A table that does not fit the mesh or its own layout.
struct TableRefused {
  std::string message;
};

void skip_record(RecordSource& in) {
  std::string line;
  if (!in.read_record(line)) throw EndOfFileError(in.source_name(), in.record_number() + 1);
}

int read_integer(RecordSource& in) {
  int value = 0;
  read_list(in, value);
  return value;
}

// The headings of a heading line: each runs up to and including the blank after it,
// so two blanks in a row make an empty heading.
std::vector<std::string> split_headings(std::string text) {
  text.resize(ZQ_HEADER_LENGTH, ' ');
  std::vector<std::string> headings;
  std::size_t pos = 0;
  while (text.find_first_not_of(' ', pos) != std::string::npos) {
    const std::size_t blank = text.find(' ', pos);
    const std::size_t end = blank == std::string::npos ? text.size() : blank + 1;
    headings.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return headings;
}

// The level threshold of a discharge column: the number after the ">" of its heading
// (read from the whole heading, not only the nine characters kept for the echo).
double threshold_of(const std::string& heading, const std::string& file, long record) {
  const std::size_t mark = heading.find('>');
  const std::string number = mark == std::string::npos ? heading : heading.substr(mark + 1);
  if (number.find_first_not_of(' ') == std::string::npos) {
    throw InputError(file, record, 1, ZQ_HEADER_LENGTH, heading,
                     "a discharge column heading must give its level threshold after \">\"");
  }
  StringSource source({number}, file);
  double value = 0.0;
  read_list(source, value);
  return value;
}

// Row r of a table just read. The lookup takes the first row whose level reaches the
// upstream level, and the rating slope divides by the rise from one row to the next: a
// level that does not rise above the row before it would hide the rows after it or
// divide by zero. A negative discharge would draw water back up through the structure.
template <class Refuse>
void check_row(const ZqTable& z, int r, const RecordSource& in, const Refuse& refuse) {
  const Array2<double>& v = z.ZQ_TABLE_VALUES;
  const std::string row = "row " + std::to_string(r) + " (file " + in.source_name() +
                          ", record " + std::to_string(in.record_number()) + "): ";
  const double level = v(r, 1);
  if (!std::isfinite(level)) refuse(row + "level " + value_text(level) + " is not a number");
  if (r > 1 && !(level > v(r - 1, 1))) {
    refuse(row + "level " + value_text(level) + " m is not above the level of row " +
           std::to_string(r - 1) + ", " + value_text(v(r - 1, 1)) +
           " m; the levels must increase from row to row");
  }
  for (int k = 2; k <= z.nZQcols; ++k) {
    const double q = v(r, k);
    if (q >= 0.0 && std::isfinite(q)) continue;
    refuse(row + "discharge " + value_text(q) + " m3/s of column " + std::to_string(k) + " (" +
           trim_right(z.ZQ_COLUMN_HEADINGS[static_cast<std::size_t>(k - 1)]) +
           ") is not a discharge of 0 or more");
  }
}

void read_table(const FrameState& frame, RecordSource& in, ZqTable& z, int t) {
  auto refuse = [&](const std::string& what) {
    throw TableRefused{format_line("('ZQ table',I4,': ',A)", t, what)};
  };
  skip_record(in);
  z.ZQTableRef = read_integer(in);
  skip_record(in);
  z.ZQTableLink = read_integer(in);
  skip_record(in);
  z.ZQTableFace = read_integer(in);
  skip_record(in);
  z.ZQTableOpHour = read_integer(in);
  skip_record(in);
  z.nZQrows = read_integer(in);
  skip_record(in);
  std::string heading_line;
  if (!in.read_record(heading_line)) {
    throw EndOfFileError(in.source_name(), in.record_number() + 1);
  }
  const long heading_record = in.record_number();

  if (z.ZQTableLink < 1 || z.ZQTableLink > frame.NLF) {
    refuse(format_line("('link',I7,' is not a channel link (1 to',I6,')')", z.ZQTableLink,
                       frame.NLF));
  }
  if (z.ZQTableFace < 1 || z.ZQTableFace > 4) {
    refuse(format_line("('face',I7,' of link',I6,' is not 1 to 4')", z.ZQTableFace,
                       z.ZQTableLink));
  }
  const int other = frame.ICMREF(z.ZQTableLink, z.ZQTableFace, 2);
  if (other < 1 || other > frame.NLF) {
    refuse(format_line("('face',I2,' of link',I6,' is not shared with another channel link')",
                       z.ZQTableFace, z.ZQTableLink));
  }
  if (z.nZQrows < 1) refuse(format_line("('the table has',I7,' rows; it needs one')", z.nZQrows));

  std::vector<std::string> headings = split_headings(heading_line);
  z.nZQcols = static_cast<int>(headings.size());
  if (z.nZQcols < 2) refuse("the heading line names no discharge column");
  z.ZQthreshold.assign(static_cast<std::size_t>(z.nZQcols), 0.0);
  for (int k = 2; k <= z.nZQcols; ++k) {
    z.ZQthreshold[k - 1] = threshold_of(headings[k - 1], in.source_name(), heading_record);
  }
  headings[0].assign(1, 'Z');
  for (std::string& h : headings) h.resize(HEADING_WIDTH, ' ');
  z.ZQ_COLUMN_HEADINGS = headings;
  z.zcol = 2;

  z.ZQ_TABLE_VALUES.resize(z.nZQrows, z.nZQcols, 0.0);
  std::vector<double> row(static_cast<std::size_t>(z.nZQcols));
  for (int r = 1; r <= z.nZQrows; ++r) {
    read_list(in, std::span<double>(row));
    for (int k = 1; k <= z.nZQcols; ++k) z.ZQ_TABLE_VALUES(r, k) = row[k - 1];
    check_row(z, r, in, refuse);
  }
}

void echo_table(RecordSink& out, const ZqTable& z) {
  write_free(out, "ZQTableRef   =", z.ZQTableRef);
  write_free(out, "ZQTableLink  =", z.ZQTableLink);
  write_free(out, "ZQTableFace  =", z.ZQTableFace);
  write_free(out, "ZQTableOpHour=", z.ZQTableOpHour);
  write_free(out, "nZQcols      =", z.nZQcols);
  write_free(out, "nZQrows      =", z.nZQrows);
  FormatArgs headings;
  headings.add(z.ZQ_COLUMN_HEADINGS);
  write_formatted(out, "(1X,'ZQ headers: ',5(A,1X))", headings);
  std::vector<double> row(static_cast<std::size_t>(z.nZQcols));
  for (int r = 1; r <= z.nZQrows; ++r) {
    for (int k = 1; k <= z.nZQcols; ++k) row[k - 1] = z.ZQ_TABLE_VALUES(r, k);
    FormatArgs values;
    values.add(row);
    write_formatted(out, "(5F12.3)", values);
  }
}

}  // namespace

void ZQ_READ_TABLES(const FrameState& frame, SurfaceState& s, RunIo& io) {
  RecordSource& in = io.units.input(ZQ_TABLE_UNIT);
  int t = 0;
  std::string item = "the number of tables";
  try {
    skip_record(in);
    const int count = read_integer(in);
    if (count < 0) {
      throw TableRefused{format_line("('the number of tables',I7,' is negative')", count)};
    }
    s.ZQ_TABLES.resize(count);
    s.ZQ_TABLE_COUNT = 0;
    for (t = 1; t <= count; ++t) {
      item = format_line("('table',I4)", t);
      read_table(frame, in, s.ZQ_TABLES(t), t);
      s.ZQ_TABLE_COUNT = t;
    }
  } catch (const TableRefused& refused) {
    REPORT_ERROR(io, SEVERITY_FATAL, ZQ_TABLE_ERROR, PRINT_UNIT, 0, 0, refused.message);
  } catch (const InputError& error) {
    // Every code-12 face needs its table: a file that cannot be read stops the run.
    write_free(io.console, "error reading ZQ table");
    REPORT_ERROR(io, SEVERITY_FATAL, ZQ_TABLE_ERROR, PRINT_UNIT, 0, 0,
                 "ZQ table file, " + item + ": " + error.what());
  }
  s.ZQ_ACTIVE_TABLE = 0;
  s.ZQ_ABOVE_TABLE_WARNINGS = 0;
  RecordSink& echo = io.units.sink(ZQ_ECHO_UNIT);
  for (int k = 1; k <= s.ZQ_TABLE_COUNT; ++k) echo_table(echo, s.ZQ_TABLES(k));
  io.units.close(ZQ_TABLE_UNIT);
}

void ZQ_READ_TABLES(Model& model) {
  RunIo& io = model.io;
  const std::string& dir = io.names.RUN_DIR;
  io.units.open(ZQ_ECHO_UNIT, dir + ZQ_ECHO_FILE, UnitDirection::Output);
  io.units.open(ZQ_LOOKUP_UNIT, dir + ZQ_LOOKUP_FILE, UnitDirection::Output);
  io.units.open(ZQ_FLOW_UNIT, dir + ZQ_FLOW_FILE, UnitDirection::Output);
  ZQ_READ_TABLES(model.frame, model.surface, io);
  model.surface.ZQ_DIAGNOSTICS_IO = &io;
}

double ZQ_RATING_SLOPE(const SurfaceState& s, int t, double Zu) {
  const ZqTable& z = s.ZQ_TABLES(t);
  const Array2<double>& v = z.ZQ_TABLE_VALUES;
  if (z.nZQrows < 2 || !(Zu > v(1, 1))) return 0.0;
  int row = 2;
  while (row <= z.nZQrows && v(row, 1) < Zu) ++row;
  if (row > z.nZQrows) return 0.0;
  const double dz = v(row, 1) - v(row - 1, 1);
  return dz > 0.0 ? (v(row, z.zcol) - v(row - 1, z.zcol)) / dz : 0.0;
}

int ZQ_TABLE_OF_FACE(const SurfaceState& s, int e, int f, int g, int h) {
  int found = 0;
  for (int t = 1; t <= s.ZQ_TABLE_COUNT; ++t) {
    const ZqTable& z = s.ZQ_TABLES(t);
    if ((z.ZQTableLink == e && z.ZQTableFace == f) || (z.ZQTableLink == g && z.ZQTableFace == h)) {
      found = t;
    }
  }
  return found;
}

double ZQ_LOOKUP_DISCHARGE(const FrameState& frame, SurfaceState& s, int t, double Zu) {
  ZqTable& z = s.ZQ_TABLES(t);
  RunIo* io = s.ZQ_DIAGNOSTICS_IO;

  // The operating column, chosen once a day at the operating hour: the last column
  // whose threshold the upstream level exceeds.
  const double hour = z.ZQTableOpHour;
  const long day_before = static_cast<long>(frame.UZNOW - frame.UZNEXT + hour) / 24;
  const long day_after = static_cast<long>(frame.UZNOW + hour) / 24;
  if (day_before < day_after) {
    if (io != nullptr) write_free(io->units.sink(ZQ_LOOKUP_UNIT), "new day");
    int k = z.nZQcols;
    bool keep = false;
    while (Zu <= z.ZQthreshold[k - 1]) {
      if (Zu <= z.first_threshold()) {
        if (io != nullptr) {
          write_free(io->console, "warning: Zu is below minimum ZQthreshold defined in ZQtable");
        }
        keep = true;
        break;
      }
      --k;
    }
    if (!keep) z.zcol = k;
  }

  // The first row whose level reaches the upstream level; no interpolation.
  const Array2<double>& v = z.ZQ_TABLE_VALUES;
  int row = 1;
  if (Zu > v(1, 1)) {
    row = 2;
    while (row <= z.nZQrows && v(row, 1) < Zu) ++row;
  }
  const bool above = row > z.nZQrows;
  if (above) row = z.nZQrows;
  const double Qd = v(row, z.zcol);

  if (io == nullptr) return Qd;
  if (above) {
    ++s.ZQ_ABOVE_TABLE_WARNINGS;
    if (s.ZQ_ABOVE_TABLE_WARNINGS < ZQ_ABOVE_TABLE_MESSAGE_LIMIT) {
      REPORT_ERROR(*io, SEVERITY_WARNING, ZQ_ABOVE_TABLE_WARNING, PRINT_UNIT, z.ZQTableLink, 0,
                   format_line("('ZQ table',I4,': upstream level',F12.3,' m is above the last "
                               "row, level',F12.3,' m; its discharge is used')",
                               t, Zu, v(row, 1)));
    } else if (s.ZQ_ABOVE_TABLE_WARNINGS == ZQ_ABOVE_TABLE_MESSAGE_LIMIT) {
      REPORT_ERROR(*io, SEVERITY_WARNING, ZQ_ABOVE_TABLE_WARNING, PRINT_UNIT, z.ZQTableLink, 0,
                   "**** Last printout of the error message - upstream level above a ZQ "
                   "table *****");
    }
  }
  write_free(io->console, t, Zu, Qd);
  RecordSink& log = io->units.sink(ZQ_LOOKUP_UNIT);
  if (frame.UZNOW < FIRST_LOOKUPS_HOURS) {
    log.write_record("        UZNOW,      Zu,         Qd");
    log.write_record("        i,      zcol");
  }
  write_formatted(log, "(3(F12.2,','))", frame.UZNOW, Zu, Qd);
  FormatArgs columns;
  columns.add(row).add(",");
  for (int k = 1; k <= s.ZQ_TABLE_COUNT; ++k) columns.add(s.ZQ_TABLES(k).zcol);
  columns.add(",");
  log.write_record(free_format_record(columns));
  return Qd;
}

}  // namespace quendal
