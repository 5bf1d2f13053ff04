#include "services/record_reader.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <stdexcept>
#include <system_error>

#include "services/stops.h"

namespace quendal {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }

bool has_digit(std::string_view text) {
  for (char c : text) {
    if (is_digit(c)) return true;
  }
  return false;
}

// Exponents beyond this cannot change the outcome (overflow or zero) and are clamped
// so that the arithmetic on them cannot overflow.
constexpr long kExponentLimit = 100000;

const char* kind_name(EditKind kind) {
  switch (kind) {
    case EditKind::Integer: return "I";
    case EditKind::Fixed: return "F";
    case EditKind::Exponent: return "E/D";
    case EditKind::Scientific: return "ES";
    case EditKind::General: return "G";
    case EditKind::Logical: return "L";
    case EditKind::Alpha: return "A";
    default: return "control";
  }
}

[[noreturn]] void item_mismatch(const FormatSpec& spec, const EditItem& item,
                                const char* item_type) {
  throw std::invalid_argument("format \"" + spec.text() + "\": " + kind_name(item.kind) +
                              " descriptor cannot read " + item_type + " item");
}

bool is_real_kind(EditKind kind) {
  return kind == EditKind::Fixed || kind == EditKind::Exponent ||
         kind == EditKind::Scientific || kind == EditKind::General;
}

}  // namespace

// ------------------------------------------------------------------------------------
// Conversions

bool parse_fortran_integer(std::string_view text, long& value) {
  unsigned long long magnitude = 0;
  bool negative = false;
  bool sign_allowed = true;
  const unsigned long long limit = static_cast<unsigned long long>(LONG_MAX) + 1;
  for (char c : text) {
    if (is_blank(c)) continue;
    if (is_sign(c)) {
      if (!sign_allowed) return false;
      negative = c == '-';
      sign_allowed = false;
      continue;
    }
    if (!is_digit(c)) return false;
    sign_allowed = false;
    magnitude = magnitude * 10 + static_cast<unsigned long long>(c - '0');
    if (magnitude > limit) return false;
  }
  if (!negative && magnitude == limit) return false;
  // A sign with no digits reads as zero, as the usual compilers read such a field.
  value = negative ? static_cast<long>(0 - magnitude) : static_cast<long>(magnitude);
  return true;
}

bool parse_fortran_real(std::string_view text, int implied_decimals, int scale, double& value) {
  // Non-blank characters only: blanks anywhere in a field are ignored.
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (!is_blank(c)) s += c;
  }
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && is_sign(s[i])) negative = s[i++] == '-';
  if (i == s.size()) {  // empty, or a sign alone
    value = 0.0;
    return true;
  }

  std::string digits;  // significant digits of the mantissa, leading zeros dropped
  long after_point = 0;
  bool point = false;
  bool any_digit = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (is_digit(c)) {
      any_digit = true;
      if (!digits.empty() || c != '0') digits += c;
      if (point) ++after_point;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return false;

  // Exponent: a letter E or D with an optional sign, or a bare sign, then digits.
  bool has_exponent = false;
  long exponent = 0;
  if (i < s.size()) {
    char c = s[i];
    bool exponent_negative = false;
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++i;
      if (i < s.size() && is_sign(s[i])) exponent_negative = s[i++] == '-';
    } else if (is_sign(c)) {
      exponent_negative = c == '-';
      ++i;
    } else {
      return false;
    }
    if (i == s.size()) return false;
    for (; i < s.size(); ++i) {
      if (!is_digit(s[i])) return false;
      if (exponent < kExponentLimit) exponent = exponent * 10 + (s[i] - '0');
    }
    if (exponent_negative) exponent = -exponent;
    has_exponent = true;
  }

  if (digits.empty()) {
    value = 0.0;
    return true;
  }
  // value = 0.digits... scaled: the digits as an integer times 10^power.
  long power = exponent - after_point;
  if (!point) power -= implied_decimals;
  if (!has_exponent) power -= scale;
  const long magnitude = static_cast<long>(digits.size()) - 1 + power;  // decimal order
  if (magnitude > 310) return false;
  if (magnitude < -400) {
    value = 0.0;
    return true;
  }
  digits += 'e';
  digits += std::to_string(power);
  double v = 0.0;
  auto result = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (result.ec == std::errc::result_out_of_range) {
    if (magnitude > 0) return false;
    v = 0.0;  // below the smallest double
  } else if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
    return false;
  }
  value = negative ? -v : v;
  return true;
}

bool parse_fortran_logical(std::string_view text, bool& value) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  if (i == text.size()) {
    value = false;
    return true;
  }
  if (text[i] == '.') ++i;
  if (i == text.size()) return false;
  switch (text[i]) {
    case 'T':
    case 't': value = true; return true;
    case 'F':
    case 'f': value = false; return true;
    default: return false;
  }
}

// ------------------------------------------------------------------------------------
// FormattedRead

FormattedRead::FormattedRead(RecordSource& source, const FormatSpec& spec)
    : spec_(&spec), source_(source) {
  start_record();
}

FormattedRead::FormattedRead(RecordSource& source, std::string_view format)
    : spec_(nullptr), owned_spec_(format), source_(source) {
  spec_ = &owned_spec_;
  start_record();
}

void FormattedRead::start_record() {
  if (!source_.read_record(record_)) {
    throw EndOfFileError(source_.source_name(), source_.record_number());
  }
  column_ = 0;
}

void FormattedRead::apply_control(const EditItem& item) {
  switch (item.kind) {
    case EditKind::Skip: column_ += static_cast<std::size_t>(item.count); break;
    case EditKind::TabTo: column_ = item.count > 0 ? static_cast<std::size_t>(item.count) - 1 : 0; break;
    case EditKind::TabLeft: {
      auto n = static_cast<std::size_t>(item.count);
      column_ = n > column_ ? 0 : column_ - n;
      break;
    }
    case EditKind::NewRecord: start_record(); break;
    case EditKind::Scale: scale_ = item.count; break;
    case EditKind::BlankNull: blank_zero_ = false; break;
    case EditKind::BlankZero: blank_zero_ = true; break;
    case EditKind::Colon: break;  // items remain, so reading goes on
    case EditKind::Literal:
      throw std::invalid_argument("format \"" + spec_->text() +
                                  "\": a literal cannot be used for input");
    default: break;  // data descriptors never reach here
  }
}

const EditItem& FormattedRead::next_data_item() {
  const auto& items = spec_->items();
  if (!spec_->has_data_items()) {
    throw std::invalid_argument("format \"" + spec_->text() +
                                "\" has no data descriptor for the items to read");
  }
  while (true) {
    if (item_ >= items.size()) {
      // Reversion: the items outlast the list; go on from the reversion point on the
      // next record. A reversion part without data would read records for ever.
      bool reverted_part_has_data = false;
      for (std::size_t k = spec_->reversion_index(); k < items.size(); ++k) {
        reverted_part_has_data = reverted_part_has_data || items[k].is_data();
      }
      if (!reverted_part_has_data) {
        throw std::invalid_argument("format \"" + spec_->text() +
                                    "\": the group it reverts to has no data descriptor");
      }
      start_record();
      item_ = spec_->reversion_index();
      continue;
    }
    const EditItem& item = items[item_++];
    if (item.is_data()) return item;
    apply_control(item);
  }
}

std::string FormattedRead::take_field(int width, int& first_column) {
  first_column = static_cast<int>(column_) + 1;
  const auto w = static_cast<std::size_t>(width < 0 ? 0 : width);
  std::string field(w, ' ');  // the record is padded with blanks past its end
  if (column_ < record_.size()) {
    std::size_t n = std::min(w, record_.size() - column_);
    field.replace(0, n, record_, column_, n);
  }
  column_ += w;
  log_field(first_column, width, field);
  return field;
}

void FormattedRead::log_field(int first_column, int width, const std::string& field) const {
  FieldLog* log = source_.field_log();
  if (log == nullptr) return;
  log->push_back({source_.source_name(), source_.record_number(), first_column,
                  first_column + std::max(width, 1) - 1, trim(field)});
}

// Under BZ the blanks of a numeric field after its first non-blank are zeros (so
// trailing blanks scale the value); under BN they are ignored, which the conversions do.
std::string FormattedRead::numeric_field(const std::string& field) const {
  if (!blank_zero_) return field;
  std::string s;
  bool started = false;
  for (char c : field) {
    if (!started && is_blank(c)) continue;
    started = true;
    s += is_blank(c) ? '0' : c;
  }
  return s;
}

void FormattedRead::conversion_error(int first_column, int width,
                                     const std::string& problem) const {
  // The text as it stands in the record (the padding past its end is not shown).
  std::string text;
  auto start = static_cast<std::size_t>(first_column - 1);
  if (start < record_.size()) text = record_.substr(start, static_cast<std::size_t>(width));
  throw InputError(source_.source_name(), source_.record_number(), first_column,
                   first_column + width - 1, text, problem);
}

FormattedRead& FormattedRead::operator>>(long& value) {
  const EditItem& item = next_data_item();
  if (item.kind != EditKind::Integer && item.kind != EditKind::General) {
    item_mismatch(*spec_, item, "an integer");
  }
  int first = 0;
  std::string field = take_field(item.width, first);
  long v = 0;
  if (!parse_fortran_integer(numeric_field(field), v)) {
    conversion_error(first, item.width, "Cannot read an integer");
  }
  value = v;
  return *this;
}

FormattedRead& FormattedRead::operator>>(int& value) {
  long v = 0;
  *this >> v;
  if (v < INT_MIN || v > INT_MAX) {
    // The field just read ends at the current column.
    int width = spec_->items()[item_ - 1].width;
    conversion_error(static_cast<int>(column_) - width + 1, width, "Cannot read an integer");
  }
  value = static_cast<int>(v);
  return *this;
}

FormattedRead& FormattedRead::operator>>(double& value) {
  const EditItem& item = next_data_item();
  if (!is_real_kind(item.kind)) item_mismatch(*spec_, item, "a real");
  int first = 0;
  std::string field = take_field(item.width, first);
  double v = 0.0;
  if (!parse_fortran_real(numeric_field(field), item.digits < 0 ? 0 : item.digits, scale_, v)) {
    conversion_error(first, item.width, "Cannot read a real number");
  }
  value = v;
  return *this;
}

FormattedRead& FormattedRead::operator>>(bool& value) {
  const EditItem& item = next_data_item();
  if (item.kind != EditKind::Logical && item.kind != EditKind::General) {
    item_mismatch(*spec_, item, "a logical");
  }
  int first = 0;
  std::string field = take_field(item.width, first);
  bool v = false;
  if (!parse_fortran_logical(field, v)) {
    conversion_error(first, item.width, "Cannot read a logical value");
  }
  value = v;
  return *this;
}

FormattedRead& FormattedRead::operator>>(std::string& value) {
  const EditItem& item = next_data_item();
  if (item.kind != EditKind::Alpha && item.kind != EditKind::General) {
    item_mismatch(*spec_, item, "a character");
  }
  if (item.width < 0) {
    // A without a width: the rest of the record as it is, without padding.
    value = column_ < record_.size() ? record_.substr(column_) : std::string();
    log_field(static_cast<int>(column_) + 1, static_cast<int>(value.size()), value);
    column_ = std::max(column_, record_.size());
    return *this;
  }
  int first = 0;
  value = take_field(item.width, first);
  return *this;
}

void FormattedRead::finish() {
  const auto& items = spec_->items();
  while (item_ < items.size()) {
    const EditItem& item = items[item_];
    if (item.is_data() || item.kind == EditKind::Colon) break;
    ++item_;
    apply_control(item);
  }
}

// ------------------------------------------------------------------------------------
// ListRead

ListRead::ListRead(RecordSource& source) : source_(source) {}

void ListRead::read_record() {
  if (!source_.read_record(record_)) {
    throw EndOfFileError(source_.source_name(), source_.record_number());
  }
  have_record_ = true;
  column_ = 0;
}

bool ListRead::next_value(Value& value) {
  if (slash_seen_) return false;
  if (repeat_left_ > 0) {
    --repeat_left_;
    if (repeat_is_null_) return false;
    value = repeat_value_;
    return true;
  }
  if (!have_record_) read_record();

  // Find the start of the next value: blanks and record ends separate values, a comma
  // right after another comma (or at the start of the statement) is a null value.
  while (true) {
    while (column_ < record_.size() && is_blank(record_[column_])) ++column_;
    if (column_ >= record_.size()) {
      read_record();
      continue;
    }
    char c = record_[column_];
    if (c == ',') {
      ++column_;
      if (after_comma_) return false;
      after_comma_ = true;  // the comma ends the value before the blanks
      continue;
    }
    if (c == '/') {
      slash_seen_ = true;
      return false;
    }
    break;
  }

  // r*value or r*
  long repeat = 1;
  bool repeated = false;
  std::size_t p = column_;
  while (p < record_.size() && is_digit(record_[p])) ++p;
  if (p > column_ && p < record_.size() && record_[p] == '*') {
    Value count;
    count.first_column = static_cast<int>(column_) + 1;
    count.last_column = static_cast<int>(p) + 1;
    count.raw = record_.substr(column_, p + 1 - column_);
    if (!parse_fortran_integer(std::string_view(record_).substr(column_, p - column_), repeat) ||
        repeat <= 0) {
      conversion_error(count, "Cannot read a repeat count");
    }
    repeated = true;
    column_ = p + 1;
  }
  const bool is_null =
      repeated && (column_ >= record_.size() || is_blank(record_[column_]) ||
                   record_[column_] == ',' || record_[column_] == '/');
  Value v;
  if (!is_null) scan_value(v);
  skip_separator();

  repeat_left_ = repeat - 1;
  repeat_is_null_ = is_null;
  if (repeat_left_ > 0 && !is_null) repeat_value_ = v;
  if (is_null) return false;
  value = std::move(v);
  return true;
}

void ListRead::scan_value(Value& value) {
  const std::size_t start = column_;
  value.first_column = static_cast<int>(start) + 1;
  const char quote = record_[start];
  if (quote == '\'' || quote == '"') {
    value.quoted = true;
    ++column_;
    while (true) {
      if (column_ >= record_.size()) {
        value.raw = record_.substr(start);
        value.last_column = static_cast<int>(record_.size());
        conversion_error(value, "Character value without its closing quote");
      }
      char c = record_[column_++];
      if (c == quote) {
        if (column_ < record_.size() && record_[column_] == quote) {
          value.text += quote;
          ++column_;
          continue;
        }
        break;
      }
      value.text += c;
    }
    value.raw = record_.substr(start, column_ - start);
    value.last_column = static_cast<int>(column_);
    if (column_ < record_.size() && !is_blank(record_[column_]) && record_[column_] != ',' &&
        record_[column_] != '/') {
      conversion_error(value, "No separator after a character value");
    }
    return;
  }
  while (column_ < record_.size() && !is_blank(record_[column_]) && record_[column_] != ',' &&
         record_[column_] != '/') {
    ++column_;
  }
  value.text = record_.substr(start, column_ - start);
  value.raw = value.text;
  value.last_column = static_cast<int>(column_);
}

// Consumes the separator after a value: blanks and at most one comma. A "/" is left for
// the next value to find; a record end is a separator of its own.
void ListRead::skip_separator() {
  while (column_ < record_.size() && is_blank(record_[column_])) ++column_;
  if (column_ < record_.size() && record_[column_] == ',') {
    ++column_;
    after_comma_ = true;
  } else {
    after_comma_ = false;
  }
}

bool ListRead::next_logged_value(Value& value) {
  const bool found = next_value(value);
  log_value(found ? &value : nullptr);
  return found;
}

void ListRead::log_value(const Value* value) const {
  FieldLog* log = source_.field_log();
  if (log == nullptr) return;
  if (value == nullptr) {
    log->push_back({source_.source_name(), source_.record_number(), 0, 0, ""});
  } else {
    log->push_back({source_.source_name(), source_.record_number(), value->first_column,
                    value->last_column, value->raw});
  }
}

void ListRead::conversion_error(const Value& value, const std::string& problem) const {
  throw InputError(source_.source_name(), source_.record_number(), value.first_column,
                   value.last_column, value.raw, problem);
}

ListRead& ListRead::operator>>(long& value) {
  Value v;
  if (!next_logged_value(v)) return *this;
  long x = 0;
  if (v.quoted || !has_digit(v.text) || !parse_fortran_integer(v.text, x)) {
    conversion_error(v, "Cannot read an integer");
  }
  value = x;
  return *this;
}

ListRead& ListRead::operator>>(int& value) {
  Value v;
  if (!next_logged_value(v)) return *this;
  long x = 0;
  if (v.quoted || !has_digit(v.text) || !parse_fortran_integer(v.text, x) || x < INT_MIN ||
      x > INT_MAX) {
    conversion_error(v, "Cannot read an integer");
  }
  value = static_cast<int>(x);
  return *this;
}

ListRead& ListRead::operator>>(double& value) {
  Value v;
  if (!next_logged_value(v)) return *this;
  double x = 0.0;
  if (v.quoted || !has_digit(v.text) || !parse_fortran_real(v.text, 0, 0, x)) {
    conversion_error(v, "Cannot read a real number");
  }
  value = x;
  return *this;
}

ListRead& ListRead::operator>>(bool& value) {
  Value v;
  if (!next_logged_value(v)) return *this;
  bool x = false;
  if (v.quoted || !parse_fortran_logical(v.text, x)) {
    conversion_error(v, "Cannot read a logical value");
  }
  value = x;
  return *this;
}

ListRead& ListRead::operator>>(std::string& value) {
  Value v;
  if (next_logged_value(v)) value = std::move(v.text);
  return *this;
}

void ListRead::finish() {
  // Every statement uses at least one record; what is left on it is skipped.
  if (!have_record_) read_record();
}

}  // namespace quendal
