// Titled data blocks: the sections of the component data files.
//
// The subsurface and sediment data files (and, through its own family of readers, the
// contaminant data file) are sequences of sections, each a title line holding the
// section's key (":VS03", ":SY41a", ...) followed by data in one of a few shapes. A
// title line without its key is only a warning: files are read by position and the
// data that follow are taken as the section's. Every failure to read is a fatal report
// that names the section; an end of file where a title is expected also shows the
// last title (or file-status line) read, so that the user can see where reading
// stopped.
//
// Every count a section is read with, and every item number read from the file, is
// checked against the room of the array it fills before anything is stored: a data
// file can never write past an array, it is refused with the reader's own error
// number and a message naming the section.
//
// Arrays are passed as storage-order views (std::span over the caller's Array1/Array2
// storage, see storage_of): "ints(column, row) with leading dimension na" means entry
// (column - 1) + na * (row - 1) of the view.
#pragma once

#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/run_io.h"

namespace quendal {

// What a family of section readers remembers between calls: the title (or status)
// line of the current call and the one of the call before, shown when a heading
// cannot be read. One state serves one data-file reader from its first call to its
// last. A reader's first heading error therefore shows "( nothing read yet )" or the
// line of its own open check, never a line of another file; that is also what a state
// shared by the whole run would show, because the subsurface data file is read first
// and the readers that follow it (sediment, contaminant) begin with the open check.
// The contaminant section readers keep their own state, apart from the titled-block
// readers'.
struct TitledBlockState {
  TitledBlockState();
  std::string current_line;  // 80 characters
  std::string last_line;     // 80 characters; "( nothing read yet )" before the first call
};

// A storage-order view of a whole array, for the readers' array arguments.
template <class T>
std::span<T> storage_of(Array1<T>& a) {
  return std::span<T>(a.data(), static_cast<std::size_t>(a.size()));
}
template <class T>
std::span<T> storage_of(Array2<T>& a) {
  return std::span<T>(a.data(), static_cast<std::size_t>(a.extent(1) * a.extent(2)));
}

// One column of per-element values over the caller's storage, indexed by element
// number: an Array1 over its own index range, or column k of an Array2 whose first
// index is the element.
template <class T>
class ElementColumn {
 public:
  ElementColumn(Array1<T>& a) : data_(a.data()), first_(a.lower()), last_(a.upper()) {}
  ElementColumn(Array2<T>& a, long column) : first_(a.lower(1)), last_(a.upper(1)) {
    if (column < a.lower(2) || column > a.upper(2)) {
      throw std::out_of_range("ElementColumn: column outside the array");
    }
    data_ = a.data() + (column - a.lower(2)) * a.extent(1);
  }
  bool covers(long element) const { return element >= first_ && element <= last_; }
  T& operator()(long element) const {
    QUENDAL_BOUNDS(1, element, first_, last_);
    return data_[element - first_];
  }
  long first() const { return first_; }
  long last() const { return last_; }

 private:
  T* data_ = nullptr;
  long first_ = 1, last_ = 0;
};

// Runs `read` (reads of a data file's sections from unit_in) and returns the places of
// the values read, in order; the place of the first record (the section's title line)
// is left out when `titled`. When the unit is not open the read runs alone (it reports
// that itself) and no place is returned.
template <class Read>
FieldLog read_with_places(RunIo& io, int unit_in, Read read, bool titled = true) {
  FieldLog log;
  if (!io.units.is_open(unit_in)) {
    read();
    return log;
  }
  {
    FieldLogScope scope(io.units.unit(unit_in), log);
    read();
  }
  if (titled && !log.empty()) log.erase(log.begin());
  return log;
}

// ---- READ_TITLED_BLOCK --------------------------------------------------------------

// Modes of READ_TITLED_BLOCK.
constexpr int TITLED_CLOSE = -1;         // close unit_in, echo "closed" (key: the file's short name)
constexpr int TITLED_CHECK_OPEN = 0;     // check unit_in is open, echo "open"        (error 4)
constexpr int TITLED_TEXT = 1;           // one record as text                        (error 5)
constexpr int TITLED_INTEGERS = 2;       // na * nb integers, free format             (error 6)
constexpr int TITLED_REALS = 3;          // na * nb reals, free format                (error 7)
constexpr int TITLED_INTEGER_GRID = 4;   // ints(column, row), na columns, nb rows    (error 10)
constexpr int TITLED_REAL_GRID = 5;      // reals(column, row), na columns, nb rows   (error 11)
constexpr int TITLED_ITEMS = 6;          // nc items (i, m, m integers, m reals)      (error 16)
constexpr int TITLED_SOILS = 7;          // nc soil records (3 integers, 8 reals)     (error 14)

// Reads one section (modes 1 to 7: its title line from unit_in, then its data) or
// checks or closes a data file (modes 0 and -1), with reports on unit_out.
//   mode 1: text gets the next record, cut or blank-padded to text's present length;
//   mode 2/3: ints/reals(1 .. na*nb);
//   mode 4: rows nb down to 1, each its row number then na integers: one digit-layout
//           record when nc < 10 (nc: the number of categories), free format otherwise;
//   mode 5: rows nb down to 1, each its row number then na reals, free format;
//   mode 6: nc items, each a pair (item number i, point count m), then m integers into
//           ints(i, 1..m), then m reals into reals(i, 1..m); leading dimension na;
//   mode 7: soils s = 1..nc, three integers into ints(s, 1..3) (the first must be s),
//           then eight reals into reals(s, 1..8); leading dimension na.
// A title line without the key is warning 2; every read failure, wrong row or soil
// number, count outside the room of ints/reals/text, or closed file is a fatal report.
void READ_TITLED_BLOCK(RunIo& io, TitledBlockState& state, int mode, int unit_in, int unit_out,
                       std::string_view key, int na, int nb, int nc, std::string* text,
                       std::span<int> ints, std::span<double> reals);

// ---- READ_CATEGORY_GRID ---------------------------------------------------------------

// Where the element values of READ_CATEGORY_GRID go and how the grid maps onto them.
// The element topology (NLF, ICMXY, LINK_BANK_ELEMENT, the neighbours of plane 2 of
// ICMREF, LINK_NORTH_SOUTH) is taken from `frame`.
struct CategoryGridTarget {
  int p = 0;            // 0: the section gives links too; 1: non-link elements only
  int min_ncat = 0;     // smallest acceptable category option
  int last = 0;         // last element of the values' range (NEL)
  int nx = 0, ny = 0;   // grid columns and rows
  bool banks_on = false;  // copy grid values to the bank elements of every link
  // When not empty: the place every element's value was read from is noted in io.places
  // under this name, at (element, 0) for one value per element, (element, k) for q.
  std::string place_item;
  // When set: sees every value read (a table row, a link's value, a grid cell of the
  // catchment) with its place, and refuses a value by throwing.
  std::function<void(double value, const FieldPlace& place)> check;
};

// Reads one element-data section under `key`: the category option ncat (a one-integer
// section), then
//   ncat <  0 (when min_ncat allows it): nothing more; values keep their contents;
//   ncat == 0: per column k, the links' values (key + "a", when p == 0 and NLF >= 1)
//              and a real grid (key + "b") giving every grid square its cell's value;
//   ncat == 1: a table of q values (key + "c"); every element p*NLF+1..last takes it;
//   ncat >= 2: a table of ncat rows of q values (key + "c"), the links' categories
//              (key + "d", when p == 0 and NLF >= 1) and a category grid (key + "e").
// Then, for ncat != 1 with banks on and links present, every bank element takes the
// values of the grid square beyond it (the other bank's neighbour when it has none).
// Fatal errors: 1 option below min_ncat, 8 q*ncat above the workspace of NELEE values,
// 9 a category outside 1..ncat, or a link neither of whose banks has a neighbour to
// copy from; and those of READ_TITLED_BLOCK.
// values: q = 1 an element vector (Array1, indexed by element number); q > 1 a table
// (element, k) with at least q columns.
void READ_CATEGORY_GRID(RunIo& io, TitledBlockState& state, const FrameState& frame,
                        const CategoryGridTarget& target, int unit_in, int unit_out,
                        std::string_view key, int& ncat, Array1<double>& values);
void READ_CATEGORY_GRID(RunIo& io, TitledBlockState& state, const FrameState& frame,
                        const CategoryGridTarget& target, int q, int unit_in, int unit_out,
                        std::string_view key, int& ncat, Array2<double>& values);

// ---- Building blocks shared with the contaminant section readers ----------------------

// Messages are built in a 132-character text and reported in full.
constexpr std::size_t BLOCK_MESSAGE_LENGTH = 132;
constexpr std::size_t BLOCK_LINE_LENGTH = 80;

// Fatal report `number` on unit_out with `message` cut or blank-padded to 132
// characters; a non-empty `detail` (where in which file the failure happened) follows
// as a continuation line. Never returns.
[[noreturn]] void report_block_fatal(RunIo& io, int unit_out, int number, int element,
                                     std::string_view message, const std::string& detail = {});

// The entry of the places of a grid section's values (read_with_places around the
// section's grid) that holds cell (x, y) of a grid of nx columns and ny rows: rows are
// read from row ny down, each its row number, then its nx values.
std::size_t grid_place_entry(int x, int y, int nx, int ny);

// How a title line must hold its section's key.
enum class TagMatch {
  contains,  // anywhere in the line
  // followed by a character that is neither a letter nor a digit, or by the end of the
  // line: where one key begins another (":CM26" and ":CM26a", ":CM3" and ":CM31"), a
  // line written for the longer key does not pass for the shorter one.
  exact,
};

// True when `line` holds `key` as `match` asks.
bool title_holds_key(std::string_view line, std::string_view key, TagMatch match);
// True when a key that ends just before position `after` of `line` ends there for
// TagMatch::exact: at the end of the line or before a character that is neither a letter
// nor a digit.
bool key_ends_at(std::string_view line, std::size_t after);

// Reads the title line of a section into state.current_line: fatal error 3 when it
// cannot be read (naming the key and the last line), warning 2 when the key is not in it.
void read_section_title(RunIo& io, TitledBlockState& state, int unit_in, int unit_out,
                        std::string_view key, TagMatch match = TagMatch::contains);

// Checks that `unit` is open (check_open true; fatal error 4 when it is not) or closes
// it, and writes the status line ("SYD data file open: unit 17; <file name>") to
// unit_out after one blank, then an empty line; the status line becomes the state's
// current and last line.
void report_file_status(RunIo& io, TitledBlockState& state, bool check_open, int unit,
                        int unit_out, std::string_view name);

// The data of a section, after its title (state.current_line names the section in
// messages). `kind` is the word of the messages: "character", "integer",
// "floating-point", "logical"; `number` the fatal error number of a failure.
void read_section_texts(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                        int number, long long na, long long nb, std::span<std::string> texts);
void read_section_list(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                       int number, std::string_view kind, long long na, long long nb,
                       std::span<int> values);
void read_section_list(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                       int number, std::string_view kind, long long na, long long nb,
                       std::span<double> values);
void read_section_list(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                       int number, std::string_view kind, long long na, long long nb,
                       std::span<bool> values);
// Grids of na columns and nb rows, rows nb down to 1, each led by its row number;
// integer rows in the digit layout when ncat < 10, free format otherwise (error 10);
// real rows in free format (error 11).
void read_section_integer_grid(RunIo& io, const TitledBlockState& state, int unit_in,
                               int unit_out, long long na, long long nb, int ncat,
                               std::span<int> grid);
void read_section_real_grid(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                            long long na, long long nb, std::span<double> grid);

// The copy of grid values to the bank elements of every link: side 1 takes its
// neighbour over face 1 (north-south link) or 2, side 2 over face 3 or 4; a bank
// without that neighbour takes the other bank's. A link neither of whose banks has a
// neighbour that `column` covers is refused with fatal error `number` on unit_out.
template <class T>
void copy_to_bank_elements(RunIo& io, const FrameState& frame, int unit_out, int number,
                           std::string_view key, ElementColumn<T> column);

}  // namespace quendal
