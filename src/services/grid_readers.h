// Grid readers: spatial input given as a grid over the NX x NY mesh, turned into one
// value per element.
//
// A grid in a data file is a title record followed by one row per grid row, from row
// NY (north) down to row 1, each led by its row number. Three row layouts exist:
//   digit layout  the row number in columns 1-7, one ignored column, then one digit
//                 per cell from column 9 (category codes below 10, catchment mask);
//   wide layout   the row number in columns 1-7, then the row's integers in free
//                 format from column 8 on, over as many records as needed;
//   real layout   the row number in columns 1-7 and up to ten 7-column real fields
//                 from column 8; each continuation record holds the next ten fields
//                 from column 1 (a field without a point is a whole number, blank 0).
// The row parsers below are shared by every reader of such grids (the titled data-block
// reader too), so the layouts are defined in one place.
//
// A row whose number is not the one expected stops the run at once, with a message on
// the print file naming the grid's title and the row number found.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "services/records.h"

namespace quendal {

// ---- Row parsers -------------------------------------------------------------------

// Parses one digit-layout record already read: returns the row number (columns 1-7)
// and puts the digit of cell i (column 8 + i) into codes[i - 1] for every entry of
// `codes`; a blank or a missing column reads as 0 (a short row reads as blanks). Any
// other character in a cell's column (a letter, a sign, a stray symbol), and anything
// but blanks after the last cell (column 8 + codes.size()), is an InputError naming
// the file and record of `where` and the column.
int parse_digit_row(std::string_view record, std::span<int> codes, const RecordSource& where);

// The first column after `last_column` of a fixed-column record that holds anything but
// a blank (a row shifted to the right, or one cell too many), 0 when there is none.
int first_text_after_column(std::string_view record, std::size_t last_column);

// The row number (columns 1-7) of a record already read, for rows whose cells are not
// digits (the face-code grids).
int parse_row_number(std::string_view record, const RecordSource& where);

// Reads the next record of `source` and parses it as a digit-layout row. The record is
// returned in `record` (for echoes that write it back). EndOfFileError at the end.
int read_digit_row(RecordSource& source, std::span<int> codes, std::string& record);
int read_digit_row(RecordSource& source, std::span<int> codes);

// How the row number of a wide-layout row is written.
enum class RowNumberField {
  Columns1To7,  // a 7-column field; the values follow in free format from column 8
  FreeFormat,   // the first free-format value of the row, the values after it
};

// Reads one wide-layout row: the row number, and, when it equals `expected_row`, the
// row's codes (codes.size() integers in free format, over as many records as needed).
// When the row number differs, the codes are left as they were and nothing more is
// read, so that the caller can report the row number found. Returns the row number.
int read_wide_row(RecordSource& source, int expected_row, std::span<int> codes,
                  RowNumberField row_number = RowNumberField::Columns1To7);

// Where the field of one value of a real-layout row lay, and whether the record
// reached it (a field past the end of its record reads as zero, like a blank one).
struct RealRowField {
  long record = 0;
  int first_column = 0;
  bool present = false;
  std::string text;  // the field as written, blanks trimmed
};

// Reads one real-layout row: the row number and, when it equals `expected_row`, the
// values.size() reals (ten 7-column fields per record, see above). Returns the row
// number; on a mismatch the values are left as they were. When `fields` is given, it
// receives the place of every value's field (after a row that was read).
int read_real_row(RecordSource& source, int expected_row, std::span<double> values,
                  std::vector<RealRowField>* fields = nullptr);

// Writes the row-number stop message of a grid to `out` and to the console ("  ERROR IN
// DATA " and the title, then "  IN THE VICINITY OF LINE K=" and the row number found,
// then the row number in full with the file and record of `where`, the record just
// read) and throws ImmediateStop.
[[noreturn]] void stop_on_row_mismatch(RunIo& io, RecordSink& out, std::string_view title,
                                       int row_found, const RecordSource& where);

// ---- The readers ---------------------------------------------------------------------

// Modes of AREADI and READ_REAL_GRID.
constexpr int GRID_READ = 0;           // read the grid, no echo
constexpr int GRID_READ_AND_ECHO = 1;  // read the grid, echo title and grid on unit_out
constexpr int GRID_FILL = 3;           // AREADI only: no reading, fill with a constant

// Integer code grid. mode GRID_READ or GRID_READ_AND_ECHO: reads the grid from unit_in
// (digit layout when 1 <= ncat <= 9, wide layout otherwise), sets values(1..NEL) to 0
// and then every grid square to the code of its cell; echoes on unit_out in mode 1.
// mode GRID_FILL: sets values(e) = unit_in (the constant) for e = NGDBGN..NEL; links
// keep theirs; nothing is read or written. `values` must cover 1..NEL.
void AREADI(const FrameState& frame, Array1<int>& values, int mode, int unit_in, int unit_out,
            int ncat, RunIo& io);

// Real grid: reads the grid from unit_in and sets every grid square to the value of
// its cell; links and bank elements keep their values. A row whose records end before
// the field of a grid square is an InputError naming the file, record and field. mode 1 echoes the grid and the
// links' and banks' values on unit_out. `values` must cover 1..NEL.
// `check`, when given, sees the value of every grid square with the place it was read
// from (a reader's physical bound, or the note of where the value came from); it
// refuses a value by throwing.
using GridValueCheck = std::function<void(int element, double value, const FieldPlace& place)>;
void READ_REAL_GRID(const FrameState& frame, Array1<double>& values, int mode, int unit_in,
                    int unit_out, RunIo& io, const GridValueCheck& check = {});

}  // namespace quendal
