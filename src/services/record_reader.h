// Reading numbers and texts from records the way the data files were written.
//
// Two kinds of READ, each one statement at a time:
//
// FormattedRead: fixed-width fields under an edit-descriptor list such as "(10F7.2)".
//   * a real field without a decimal point takes the field's implied decimals
//     ("150" in F7.2 reads 1.5); a point overrides them; an exponent may be written
//     as E, D, or a bare sign after the digits ("1.5-3");
//   * blanks inside a field are ignored and an all-blank field reads as zero (false
//     for L, blanks for A); a record shorter than the format is padded with blanks;
//   * when the items outlast the descriptors, reading reverts to the last top-level
//     group (or the start) on the next record; '/' starts a new record.
//
// ListRead: free-format (list-directed) values separated by blanks, commas or record
//   ends, across as many records as the items need; "r*value" repeats a value, "r*"
//   and an empty position between commas are null values that leave the item as it
//   was; "/" ends the statement leaving the rest of the items unchanged. Every READ
//   starts on a new record, so values left on the last record are skipped; a READ of
//   no items still consumes one record.
//
// A value that cannot be converted raises InputError naming the file, the record, the
// columns and the text; running out of records raises EndOfFileError.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "include/arrays.h"
#include "services/edit_descriptors.h"
#include "services/records.h"

namespace quendal {

class FormattedRead {
 public:
  // Reads the first record of the statement (EndOfFileError when there is none).
  FormattedRead(RecordSource& source, const FormatSpec& spec);
  FormattedRead(RecordSource& source, std::string_view format);
  FormattedRead(const FormattedRead&) = delete;  // may point at its own parsed format
  FormattedRead& operator=(const FormattedRead&) = delete;

  FormattedRead& operator>>(int& value);
  FormattedRead& operator>>(long& value);
  FormattedRead& operator>>(double& value);
  FormattedRead& operator>>(bool& value);
  FormattedRead& operator>>(std::string& value);  // A: the field (trailing blanks kept)
  template <class T>
  FormattedRead& operator>>(std::span<T> values) {
    for (auto& v : values) *this >> v;
    return *this;
  }
  template <class T>
  FormattedRead& operator>>(Array1<T>& values) {
    for (auto& v : values) *this >> v;
    return *this;
  }
  template <class T>
  FormattedRead& operator>>(std::vector<T>& values) {
    for (auto& v : values) *this >> v;
    return *this;
  }

  // Ends the statement: processes the descriptors that follow the last item up to the
  // next data descriptor or the end of the list (a '/' there reads another record).
  void finish();

 private:
  const FormatSpec* spec_;
  FormatSpec owned_spec_{""};
  RecordSource& source_;
  std::string record_;
  std::size_t item_ = 0;    // next descriptor
  std::size_t column_ = 0;  // 0-based position in the record
  int scale_ = 0;           // kP
  bool blank_zero_ = false; // BZ in effect

  void start_record();
  const EditItem& next_data_item();
  void apply_control(const EditItem& item);
  std::string take_field(int width, int& first_column);
  void log_field(int first_column, int width, const std::string& field) const;
  std::string numeric_field(const std::string& field) const;
  [[noreturn]] void conversion_error(int first_column, int width,
                                     const std::string& problem) const;
};

class ListRead {
 public:
  explicit ListRead(RecordSource& source);

  ListRead& operator>>(int& value);
  ListRead& operator>>(long& value);
  ListRead& operator>>(double& value);
  ListRead& operator>>(bool& value);
  ListRead& operator>>(std::string& value);  // quoted, or up to a blank, comma or "/"
  template <class T>
  ListRead& operator>>(std::span<T> values) {
    for (auto& v : values) *this >> v;
    return *this;
  }
  template <class T>
  ListRead& operator>>(Array1<T>& values) {
    for (auto& v : values) *this >> v;
    return *this;
  }
  template <class T>
  ListRead& operator>>(std::vector<T>& values) {
    for (auto& v : values) *this >> v;
    return *this;
  }

  // Ends the statement; a statement that read no item consumes one record here.
  void finish();
  // True once a "/" has ended the statement (later items keep their values).
  bool terminated() const { return slash_seen_; }

 private:
  struct Value {
    std::string text;  // the value (quotes removed, doubled quotes made single)
    std::string raw;   // as written in the record, for messages
    int first_column = 0;
    int last_column = 0;
    bool quoted = false;
  };

  RecordSource& source_;
  std::string record_;
  std::size_t column_ = 0;
  bool have_record_ = false;
  bool slash_seen_ = false;
  bool after_comma_ = true;  // a comma (or the start of the statement) precedes the next value
  long repeat_left_ = 0;     // values still to hand out from an r*value or r*
  bool repeat_is_null_ = false;
  Value repeat_value_;

  void read_record();
  // Next value; false for a null value or after "/" (item unchanged).
  bool next_value(Value& value);
  bool next_logged_value(Value& value);
  void scan_value(Value& value);
  void skip_separator();
  // The place of the item just handled (a null value: no columns) for the source's log.
  void log_value(const Value* value) const;
  [[noreturn]] void conversion_error(const Value& value, const std::string& problem) const;
};

// One statement in a call: read_formatted(unit, "(I7,F7.2)", n, x);
template <class... Ts>
void read_formatted(RecordSource& source, std::string_view format, Ts&&... values) {
  FormattedRead r(source, format);
  (void)(r >> ... >> values);  // (void): a statement of no items is just `r`
  r.finish();
}
template <class... Ts>
void read_list(RecordSource& source, Ts&&... values) {
  ListRead r(source);
  (void)(r >> ... >> values);  // (void): a statement of no items is just `r`
  r.finish();
}

// Conversions shared by both readers and by any code that must read a number from
// a text (a field, a command-line value). `implied_decimals` applies to a real
// written without a point; `scale` (kP) divides a real written without an exponent by
// 10^scale; blanks are ignored; an empty text, or a sign alone, is zero (false for a
// logical). Return false when the text is not a value of that kind.
bool parse_fortran_real(std::string_view text, int implied_decimals, int scale, double& value);
bool parse_fortran_integer(std::string_view text, long& value);
bool parse_fortran_logical(std::string_view text, bool& value);

}  // namespace quendal
