#include "services/grid_readers.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "services/formatted_writer.h"
#include "services/predicates.h"
#include "services/record_reader.h"
#include "services/stops.h"

namespace quendal {

namespace {

// The rest of a record whose leading columns were taken by a fixed field, followed by
// the records of `rest`: one free-format statement can then begin in the middle of a
// record and run on over the next ones. The columns already taken are blanked, so the
// column numbers of an input error stay those of the file.
class ContinuedSource : public RecordSource {
 public:
  ContinuedSource(std::string first, long first_number, RecordSource& rest)
      : first_(std::move(first)), first_number_(first_number), rest_(rest) {}
  bool read_record(std::string& line) override {
    if (!first_used_) {
      first_used_ = true;
      line = first_;
      return true;
    }
    return rest_.read_record(line);
  }
  const std::string& source_name() const override { return rest_.source_name(); }
  FieldLog* field_log() const override { return rest_.field_log(); }
  long record_number() const override {
    return first_used_ && rest_.record_number() > first_number_ ? rest_.record_number()
                                                                 : first_number_;
  }

 private:
  std::string first_;
  long first_number_;
  RecordSource& rest_;
  bool first_used_ = false;
};

// A digit-layout row: I7, one ignored column, one I1 per cell.
const FormatSpec& digit_row_format(std::size_t cells) {
  if (cells == 0) return cached_format("(I7)");
  return cached_format("(I7,1X," + std::to_string(cells) + "I1)");
}

constexpr int DIGIT_GRID_MAX_COLUMNS = 500;
constexpr std::size_t DIGIT_ROW_FIRST_CELL_COLUMN = 9;

std::string read_title(RecordSource& source) {
  std::string title;
  read_formatted(source, "(A80)", title);
  return title;
}

void write_empty(RecordSink& out, int count = 1) {
  for (int i = 0; i < count; ++i) out.write_record("");
}

void write_closing_rule(RecordSink& out, int asterisks) {
  write_empty(out, 2);
  out.write_record("  " + std::string(static_cast<std::size_t>(asterisks), '*'));
  write_empty(out, 2);
}

void write_all_zero(RecordSink& out) {
  out.write_record(" ALL VALUES ZERO");
  out.write_record(" ===============");
  write_empty(out);
}

// Header of one block of ten grid columns: always ten labels, also past NX.
void write_block_header(RecordSink& out, int block) {
  FormatArgs labels;
  for (int j = 10 * block - 9; j <= 10 * block; ++j) labels.add(j);
  write_formatted(out, "('0',9X,10('J=',I3,6X))", labels);
  write_empty(out);
}

int bank_element(const FrameState& frame, int link, int side) {
  const auto& lbe = frame.LINK_BANK_ELEMENT;
  if (!frame.BANKS_ON || lbe.empty()) return 0;
  if (link < lbe.lower(1) || link > lbe.upper(1)) return 0;
  return lbe(link, side);
}

}  // namespace

// ---- Row parsers -------------------------------------------------------------------

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

int parse_row_number(std::string_view record, const RecordSource& where) {
  RecordAt one(record, where);
  FormattedRead r(one, digit_row_format(0));
  int row = 0;
  r >> row;
  r.finish();
  return row;
}

int first_text_after_column(std::string_view record, std::size_t last_column) {
  for (std::size_t at = last_column; at < record.size(); ++at) {
    if (!is_blank(record[at])) return static_cast<int>(at) + 1;
  }
  return 0;
}

int parse_digit_row(std::string_view record, std::span<int> codes, const RecordSource& where) {
  // A cell holds one digit or a blank (0). Anything else is a slip of the keyboard that
  // the field reader would pass as 0 (a sign alone) and that would quietly move the
  // cell out of the catchment or give it another code.
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const std::size_t at = DIGIT_ROW_FIRST_CELL_COLUMN - 1 + i;
    if (at >= record.size()) break;
    const char c = record[at];
    if (c == ' ' || (c >= '0' && c <= '9')) continue;
    const int column = static_cast<int>(at) + 1;
    throw InputError(where.source_name(), where.record_number(), column, column,
                     std::string(1, c),
                     "Character that is not a digit in the cell of grid column " +
                         std::to_string(i + 1) + " of a digit grid row");
  }
  // Past the last cell only blanks may follow (a line end written as CR LF included): a
  // row shifted one column to the right would otherwise lose its last cell without a
  // word, and a row of zeros shifted so reads exactly as before.
  const std::size_t end_of_cells = DIGIT_ROW_FIRST_CELL_COLUMN - 1 + codes.size();
  if (const int column = first_text_after_column(record, end_of_cells)) {
    throw InputError(where.source_name(), where.record_number(), column, column,
                     std::string(1, record[static_cast<std::size_t>(column - 1)]),
                     "Character after the last cell of a digit grid row: the grid has " +
                         std::to_string(codes.size()) + " columns, its cells stand in columns " +
                         std::to_string(DIGIT_ROW_FIRST_CELL_COLUMN) + " to " +
                         std::to_string(end_of_cells) +
                         "; the row holds more cells than that, or is shifted to the right");
  }
  RecordAt one(record, where);
  FormattedRead r(one, digit_row_format(codes.size()));
  int row = 0;
  r >> row >> codes;
  r.finish();
  return row;
}

int read_digit_row(RecordSource& source, std::span<int> codes, std::string& record) {
  if (!source.read_record(record)) {
    throw EndOfFileError(source.source_name(), source.record_number());
  }
  return parse_digit_row(record, codes, source);
}

int read_digit_row(RecordSource& source, std::span<int> codes) {
  std::string record;
  return read_digit_row(source, codes, record);
}

int read_wide_row(RecordSource& source, int expected_row, std::span<int> codes,
                  RowNumberField row_number) {
  int row = 0;
  if (row_number == RowNumberField::FreeFormat) {
    ListRead r(source);
    r >> row;
    if (row != expected_row) return row;
    r >> codes;
    r.finish();
    return row;
  }
  std::string record;
  if (!source.read_record(record)) {
    throw EndOfFileError(source.source_name(), source.record_number());
  }
  const long record_number = source.record_number();
  {
    RecordAt one(record, source);
    read_formatted(one, "(I7)", row);
  }
  if (row != expected_row) return row;
  // The codes may begin on the row-number record itself (from column 8) or on the
  // records after it: both ways of writing a wide row are read alike.
  std::string rest = record;
  rest.replace(0, std::min<std::size_t>(7, rest.size()), std::min<std::size_t>(7, rest.size()),
               ' ');
  ContinuedSource continued(std::move(rest), record_number, source);
  ListRead r(continued);
  r >> codes;
  r.finish();
  return row;
}

int read_real_row(RecordSource& source, int expected_row, std::span<double> values,
                  std::vector<RealRowField>* fields) {
  KeepingSource kept(source);
  FieldLog places;
  FieldLogScope scope(source, places);
  int row = 0;
  {
    // The colon stops the statement after a row of exactly ten values, so that the
    // record separator of the continuation group does not swallow the next row.
    FormattedRead r(kept, cached_format("(I7,10F7.0:/(10F7.0))"));
    r >> row;
    if (row != expected_row) return row;
    r >> values;
    r.finish();
  }
  if (fields == nullptr) return row;
  // Where each value's field lay: ten fields from column 8 on the row-number record,
  // ten from column 1 on each record after it.
  fields->assign(values.size(), RealRowField{});
  const auto& records = kept.kept();
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::size_t k = i < 10 ? 0 : 1 + (i - 10) / 10;
    const int first = i < 10 ? 8 + 7 * static_cast<int>(i) : 1 + 7 * static_cast<int>((i - 10) % 10);
    RealRowField& f = (*fields)[i];
    f.first_column = first;
    if (k < records.size()) {
      f.record = records[k].number;
      f.present = records[k].text.size() >= static_cast<std::size_t>(first);
    }
    if (i + 1 < places.size()) f.text = places[i + 1].text;  // entry 0: the row number
  }
  return row;
}

void stop_on_row_mismatch(RunIo& io, RecordSink& out, std::string_view title, int row_found,
                          const RecordSource& where) {
  const std::string lines[] = {
      "", "", "  ERROR IN DATA " + std::string(title), "",
      format_line("('  IN THE VICINITY OF LINE K=',I5)", row_found),
      "  row " + std::to_string(row_found) + " read from file " + where.source_name() +
          ", record " + std::to_string(where.record_number())};
  // The stop has no summary: the console says what the print file says.
  for (const std::string& line : lines) out.write_record(line);
  if (&out != &io.console) {
    for (const std::string& line : lines) io.console.write_record(line);
  }
  io.units.flush_all();
  throw ImmediateStop("grid row " + std::to_string(row_found) +
                      " found where another row was expected under the title: " +
                      trim_right(title));
}

// ---- AREADI --------------------------------------------------------------------------

namespace {

// The grid in blocks of ten columns, each under its column labels, rows from the
// north; `row_format` writes the row number and the block's values.
template <class T>
void write_grid_blocks(RecordSink& out, const Array2<T>& grid, std::string_view row_format) {
  const int nx = static_cast<int>(grid.extent(1));
  const int ny = static_cast<int>(grid.extent(2));
  const int blocks = (nx + 9) / 10;
  for (int b = 1; b <= blocks; ++b) {
    write_block_header(out, b);
    const int first = 10 * b - 9;
    const int last = std::min(10 * b, nx);
    for (int y = ny; y >= 1; --y) {
      FormatArgs args(y);
      for (int x = first; x <= last; ++x) args.add(grid(x, y));
      write_formatted(out, row_format, args);
    }
  }
}

// Every grid square takes the value of its cell; cells outside the catchment are
// passed over and the other elements keep their values.
template <class T>
void copy_grid_to_squares(const FrameState& frame, const Array2<T>& grid, Array1<T>& values) {
  for (int y = 1; y <= frame.NY; ++y) {
    for (int x = 1; x <= frame.NX; ++x) {
      const int e = frame.ICMXY(x, y);
      if (e != 0) values(e) = grid(x, y);
    }
  }
}

}  // namespace

void AREADI(const FrameState& frame, Array1<int>& values, int mode, int unit_in, int unit_out,
            int ncat, RunIo& io) {
  if (mode == GRID_FILL) {
    for (int e = frame.NGDBGN; e <= frame.NEL; ++e) values(e) = unit_in;
    return;
  }
  if (mode != GRID_READ && mode != GRID_READ_AND_ECHO) {
    throw std::invalid_argument("AREADI: mode " + std::to_string(mode) + " is not 0, 1 or 3");
  }
  const int nx = frame.NX;
  const int ny = frame.NY;
  const bool digit_layout = ncat >= 1 && ncat <= 9;
  RecordSink& out = io.units.sink(unit_out);
  if (digit_layout && nx > DIGIT_GRID_MAX_COLUMNS) {
    const char* const lines[] = {" NX greater than 500. Change I/O formats in AREADI",
                                 "Program aborted."};
    for (const char* line : lines) out.write_record(line);
    if (&out != &io.console) {
      for (const char* line : lines) io.console.write_record(line);
    }
    throw ImmediateStop("NX greater than 500: a digit grid cannot be read");
  }

  RecordSource& in = io.units.unit(unit_in);
  const std::string title = read_title(in);
  Array2<int> grid(nx, ny, 0);
  for (int y = ny; y >= 1; --y) {
    std::span<int> row_codes(&grid(1, y), static_cast<std::size_t>(nx));
    const int row = digit_layout ? read_digit_row(in, row_codes)
                                 : read_wide_row(in, y, row_codes);
    if (row != y) stop_on_row_mismatch(io, out, title, row, in);
  }

  for (int e = 1; e <= frame.NEL; ++e) values(e) = 0;
  copy_grid_to_squares(frame, grid, values);

  if (mode != GRID_READ_AND_ECHO) return;
  write_empty(out);
  out.write_record(title);
  if (ALL_ZERO_INTEGER(grid.data(), static_cast<long>(nx) * ny)) {
    write_all_zero(out);
    return;
  }
  if (digit_layout) {
    for (int y = ny; y >= 1; --y) {
      FormatArgs args(y);
      args.add(std::span<const int>(&grid(1, y), static_cast<std::size_t>(nx)));
      write_formatted(out, "(' K=',I4,1X,500I1)", args);
    }
  } else {
    write_grid_blocks(out, grid, "(' K=',I4,2X,10(I6,5X))");
  }
  write_closing_rule(out, 80);
}

// ---- READ_REAL_GRID ------------------------------------------------------------------

void READ_REAL_GRID(const FrameState& frame, Array1<double>& values, int mode, int unit_in,
                    int unit_out, RunIo& io, const GridValueCheck& check) {
  if (mode != GRID_READ && mode != GRID_READ_AND_ECHO) {
    throw std::invalid_argument("READ_REAL_GRID: mode " + std::to_string(mode) +
                                " is not 0 or 1");
  }
  const int nx = frame.NX;
  const int ny = frame.NY;
  RecordSink& out = io.units.sink(unit_out);
  RecordSource& in = io.units.unit(unit_in);
  const std::string title = read_title(in);
  Array2<double> grid(nx, ny, 0.0);
  std::vector<RealRowField> fields;
  for (int y = ny; y >= 1; --y) {
    const int row = read_real_row(
        in, y, std::span<double>(&grid(1, y), static_cast<std::size_t>(nx)), &fields);
    if (row != y) stop_on_row_mismatch(io, out, title, row, in);
    // A blank field reads as zero, and so may a row cut short over cells outside the
    // catchment; but a row that ends before the field of a grid square has lost a
    // value, and reading it as zero would quietly change the catchment.
    for (int x = 1; x <= nx; ++x) {
      const RealRowField& f = fields[static_cast<std::size_t>(x - 1)];
      if (f.present && check && frame.ICMXY(x, y) != 0) {
        check(frame.ICMXY(x, y), grid(x, y),
              FieldPlace{in.source_name(), f.record, f.first_column, f.first_column + 6, f.text});
      }
      if (f.present || frame.ICMXY(x, y) == 0) continue;
      throw InputError(in.source_name(), f.record, f.first_column, f.first_column + 6, "",
                       "Value missing: grid row " + std::to_string(y) +
                           " ends before the field of column " + std::to_string(x) +
                           " (a cell of the catchment) under the title \"" + trim_right(title) +
                           "\"");
    }
  }

  copy_grid_to_squares(frame, grid, values);

  if (mode != GRID_READ_AND_ECHO) return;
  write_empty(out);
  out.write_record(title);
  if (frame.NEL < 1 || ALL_ZERO_REAL(&values(1), frame.NEL)) {
    write_all_zero(out);
    return;
  }
  write_grid_blocks(out, grid, "(' K=',I4,2X,10G11.4)");
  write_empty(out);
  out.write_record(format_line("(10X,'LINK ',6X,'BANK1 ',5X,'BANK2 ')"));
  write_empty(out);
  for (int l = 1; l <= frame.NLF; ++l) {
    const int b1 = bank_element(frame, l, 1);
    const int b2 = bank_element(frame, l, 2);
    write_formatted(out, "(1X,'L= ',I4,2X,3G11.4)", l, values(l), b1 > 0 ? values(b1) : 0.0,
                    b2 > 0 ? values(b2) : 0.0);
  }
  write_closing_rule(out, 120);
}

}  // namespace quendal
