// Writing records with the classic edit descriptors, to the character.
//
// The print file, the log and the output files are column-exact: users read them with
// fixed-column tools and compare them with earlier runs. Every writer in the model goes
// through these functions; nothing formats numbers by hand elsewhere.
//
// Rules followed (those of formatted output in the language the data files were made for):
//  * a value that does not fit its field fills the field with asterisks;
//  * numbers are right-aligned, rounded to nearest (ties away from zero on the decimal
//    value of the double);
//  * a negative value that rounds to zero keeps its minus sign (-0.00);
//  * F drops the optional leading zero ("0.50" -> ".50") only when the field needs it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "include/arrays.h"
#include "services/edit_descriptors.h"
#include "services/records.h"

namespace quendal {

// --- single edits -------------------------------------------------------------------
std::string edit_integer(long long value, int width, int min_digits = -1);        // Iw, Iw.m
std::string edit_fixed(double value, int width, int decimals, int scale = 0);      // Fw.d
// Ew.d[Ee] (letter 'E'), Dw.d (letter 'D'); with scale k (kPEw.d) the significand
// has k digits before the point.
std::string edit_exponent(double value, int width, int decimals, int exponent_digits = -1,
                          int scale = 0, char letter = 'E');
std::string edit_scientific(double value, int width, int decimals, int exponent_digits = -1);  // ESw.d
std::string edit_general(double value, int width, int decimals, int exponent_digits = -1,
                         int scale = 0);                                          // Gw.d
std::string edit_logical(bool value, int width);                                   // Lw
std::string edit_alpha(std::string_view text, int width = -1);                     // A, Aw

// Text of one item in free (list-directed) output, without separators.
std::string free_format_item(double value);
std::string free_format_item(long long value);
std::string free_format_item(bool value);

// --- argument lists -----------------------------------------------------------------
class FormatArg {
 public:
  enum class Kind { Integer, Real, Logical, Text };
  FormatArg(long long v) : kind_(Kind::Integer), i_(v) {}
  FormatArg(int v) : kind_(Kind::Integer), i_(v) {}
  FormatArg(long v) : kind_(Kind::Integer), i_(v) {}
  FormatArg(double v) : kind_(Kind::Real), d_(v) {}
  FormatArg(float v) : kind_(Kind::Real), d_(v) {}
  FormatArg(bool v) : kind_(Kind::Logical), b_(v) {}
  FormatArg(std::string_view v) : kind_(Kind::Text), s_(v) {}
  FormatArg(const std::string& v) : kind_(Kind::Text), s_(v) {}
  FormatArg(const char* v) : kind_(Kind::Text), s_(v) {}

  Kind kind() const { return kind_; }
  long long integer() const { return i_; }
  double real() const { return d_; }
  bool logical() const { return b_; }
  const std::string& text() const { return s_; }

 private:
  Kind kind_;
  long long i_ = 0;
  double d_ = 0.0;
  bool b_ = false;
  std::string s_;
};

// A list of output items; arrays and vectors are added element by element.
class FormatArgs {
 public:
  FormatArgs() = default;
  template <class... Ts>
  explicit FormatArgs(const Ts&... values) {
    (add(values), ...);
  }
  FormatArgs& add(const FormatArg& a) {
    items_.push_back(a);
    return *this;
  }
  template <class T>
  FormatArgs& add(const std::vector<T>& v) {
    for (const auto& x : v) items_.emplace_back(x);
    return *this;
  }
  template <class T>
  FormatArgs& add(std::span<T> v) {
    for (const auto& x : v) items_.emplace_back(x);
    return *this;
  }
  template <class T>
  FormatArgs& add(const Array1<T>& v) {
    for (const auto& x : v) items_.emplace_back(x);
    return *this;
  }
  const std::vector<FormatArg>& items() const { return items_; }

 private:
  std::vector<FormatArg> items_;
};

// --- whole records ------------------------------------------------------------------
// The records that a formatted WRITE of `args` with `spec` produces: '/' and format
// reversion start new records; output stops at the first data descriptor (or ':') met
// after the last item. A Real given to I, or an Integer given to F/E/G, is converted
// (an integer value is written as a real and vice versa, rounded); Text given to a
// numeric descriptor and a number given to A are program errors (std::invalid_argument).
std::vector<std::string> format_records(const FormatSpec& spec, const FormatArgs& args);

// The parsed spec of a format text, parsed once per distinct text and kept.
const FormatSpec& cached_format(std::string_view text);

// Writes the records of one formatted WRITE to `sink`.
void write_formatted(RecordSink& sink, std::string_view format, const FormatArgs& args);
template <class... Ts>
void write_formatted(RecordSink& sink, std::string_view format, const Ts&... values) {
  write_formatted(sink, format, FormatArgs(values...));
}

// One record as a string (records of a multi-record format joined by '\n').
std::string format_line(std::string_view format, const FormatArgs& args);
template <class... Ts>
std::string format_line(std::string_view format, const Ts&... values) {
  return format_line(format, FormatArgs(values...));
}

// Free-format (list-directed) record: one leading blank, then the items; text items
// are written as they stand, a number is preceded by one blank unless it follows the
// leading blank.
std::string free_format_record(const FormatArgs& args);
template <class... Ts>
void write_free(RecordSink& sink, const Ts&... values) {
  sink.write_record(free_format_record(FormatArgs(values...)));
}

}  // namespace quendal
