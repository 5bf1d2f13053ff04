#include "services/formatted_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace quendal {

namespace {

// ---------------------------------------------------------------------------------
// Decimal digits of a double, rounded the way the writers need them.
//
// Rounding is to nearest with ties away from zero, applied to the exact decimal value
// of the binary double. A tie can only happen when the double itself ends exactly on
// the half (0.125, 2.5, 12345.0 at four digits): those go up in magnitude, so F4.2 of
// 0.125 is "0.13" and F3.0 of 2.5 is " 3.". Every other value rounds to the nearest
// decimal of its exact expansion, which is what any correct conversion gives.
// Some run-time libraries round exact ties to even instead (0.12, 2.); the two agree on
// every other value, so output compared with theirs differs only on such exact halves.
// The C library's printf also rounds ties to even: we use it only for its exact digit
// generation and round the kept digits ourselves.
// ---------------------------------------------------------------------------------

// |x| = 0.d1 d2 d3 ... x 10^exp10, with d1 != 0; an empty digit string is zero.
struct Decimal {
  std::string digits;
  int exp10 = 0;
  bool is_zero() const { return digits.empty(); }
  // Digit in the 10^place column ('0' outside the stored digits).
  char digit_at(int place) const {
    int index = exp10 - 1 - place;
    if (index < 0 || index >= static_cast<int>(digits.size())) return '0';
    return digits[static_cast<std::size_t>(index)];
  }
};

// glibc's %e conversion is exact at any precision; 780 digits cover the full expansion
// of every double (the longest, of the smallest subnormals, has 767 significant digits).
constexpr int kExactPrecision = 780;
// Digits beyond the rounding position asked of printf; see round_significant.
constexpr int kGuardDigits = 20;

// Significant digits of ax (finite, > 0) from printf's %.*e with `precision` digits
// after the point: "d.ddddde+XX" -> digits "dddddd", exp10 = XX + 1.
Decimal printf_digits(double ax, int precision) {
  std::string buffer(static_cast<std::size_t>(precision) + 32, '\0');
  int n = std::snprintf(buffer.data(), buffer.size(), "%.*e", precision, ax);
  buffer.resize(static_cast<std::size_t>(n));
  Decimal d;
  std::size_t e_pos = buffer.find('e');
  d.digits.reserve(e_pos);
  for (std::size_t i = 0; i < e_pos; ++i) {
    if (buffer[i] != '.') d.digits += buffer[i];
  }
  d.exp10 = std::atoi(buffer.c_str() + e_pos + 1) + 1;
  return d;
}

// Power of ten of the leading digit of ax (finite, > 0), as exp10 of Decimal. Forty
// digits are far more than the gap between a double and the next power of ten can
// hide, so printf's own rounding never carries into another decade here.
int decimal_exponent(double ax) { return printf_digits(ax, 40).exp10; }

// ax (finite, >= 0) rounded half away from zero to `keep` significant digits. keep may
// be zero or negative when a fixed field asks for fewer decimals than the value has
// leading zeros: the result is then 10^exp10 or zero.
Decimal round_significant(double ax, int keep) {
  if (ax == 0.0 || keep < 0) return Decimal{};
  // printf rounds at keep + kGuardDigits; rounding that again at `keep` gives the right
  // answer unless printf's tail reads exactly 5000...0, which may be an exact tie or a
  // value just below the half that printf rounded up. Only then do we ask for every digit.
  int precision = std::min(keep + kGuardDigits, kExactPrecision) - 1;
  Decimal d = printf_digits(ax, precision);
  auto tail_is_half = [&]() {
    std::size_t k = static_cast<std::size_t>(keep);
    if (k >= d.digits.size() || d.digits[k] != '5') return false;
    return d.digits.find_first_not_of('0', k + 1) == std::string::npos;
  };
  if (precision < kExactPrecision - 1 && tail_is_half()) d = printf_digits(ax, kExactPrecision - 1);

  std::size_t k = static_cast<std::size_t>(keep);
  bool up = k < d.digits.size() && d.digits[k] >= '5';
  if (k < d.digits.size()) d.digits.resize(k);
  if (up) {
    std::size_t i = d.digits.size();
    while (i > 0 && d.digits[i - 1] == '9') d.digits[--i] = '0';
    if (i > 0) {
      ++d.digits[i - 1];
    } else {  // carried into a new decade: 999.7 -> 1000
      d.digits.insert(d.digits.begin(), '1');
      if (keep > 0) d.digits.pop_back();
      ++d.exp10;
    }
  }
  return d;  // when keep == 0 and no carry: empty, i.e. zero
}

std::string stars(int width) { return std::string(static_cast<std::size_t>(std::max(width, 0)), '*'); }

// Right-justifies `text` in `width` columns; asterisks when it does not fit. Width 0
// (I0, F0.d) is the minimal field: the text itself.
std::string right_justify(const std::string& text, int width) {
  if (width <= 0) return text;
  if (static_cast<int>(text.size()) > width) return stars(width);
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

// Infinity and NaN in a real field: the long name when it fits, else the short one.
std::string edit_non_finite(double value, int width) {
  std::string text;
  if (std::isnan(value)) {
    text = "NaN";
  } else {
    const char* sign = value < 0 ? "-" : "";
    text = std::string(sign) + "Infinity";
    if (width > 0 && static_cast<int>(text.size()) > width) text = std::string(sign) + "Inf";
  }
  return right_justify(text, width);
}

// A number field made of sign, integer part, '.', fraction and an exponent text. When
// the integer part is empty, the optional leading zero is written if there is room
// (never in a minimal-width field, F0.d, which is as narrow as possible).
std::string assemble(bool negative, std::string integer_part, const std::string& fraction,
                     const std::string& exponent, int width) {
  std::size_t length = (negative ? 1 : 0) + integer_part.size() + 1 + fraction.size() + exponent.size();
  if (integer_part.empty()) {
    // With no digits at all (F3.0 of 0.3) the zero is required, not optional.
    bool required = fraction.empty();
    if (required || static_cast<int>(length) < width) {
      integer_part.push_back('0');
      ++length;
    }
  }
  if (width > 0 && static_cast<int>(length) > width) return stars(width);
  std::string text = negative ? "-" : "";
  text += integer_part;
  text += '.';
  text += fraction;
  text += exponent;
  return right_justify(text, width);
}

// Exponent part of an E/D/ES field: "E+05"; "+100" with the letter dropped when three
// digits are needed and no exponent width was given; false when the exponent cannot fit.
bool exponent_text(int exponent, int exponent_digits, char letter, std::string& out) {
  int magnitude = std::abs(exponent);
  std::string digits = std::to_string(magnitude);
  char sign = exponent < 0 ? '-' : '+';
  if (exponent_digits < 0) {
    if (magnitude <= 99) {
      out = std::string{letter, sign} + (digits.size() < 2 ? "0" : "") + digits;
      return true;
    }
    if (magnitude <= 999) {
      out = std::string{sign} + digits;
      return true;
    }
    return false;
  }
  if (static_cast<int>(digits.size()) > exponent_digits) return false;
  out = std::string{letter, sign} +
        std::string(static_cast<std::size_t>(exponent_digits) - digits.size(), '0') + digits;
  return true;
}

}  // namespace

// --- single edits -------------------------------------------------------------------

std::string edit_integer(long long value, int width, int min_digits) {
  bool negative = value < 0;
  unsigned long long magnitude =
      negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  std::string digits = std::to_string(magnitude);
  if (min_digits == 0 && value == 0) {
    digits.clear();  // Iw.0 of zero is a blank field
  } else if (min_digits > static_cast<int>(digits.size())) {
    digits.insert(0, static_cast<std::size_t>(min_digits) - digits.size(), '0');
  }
  return right_justify((negative ? "-" : "") + digits, width);
}

std::string edit_fixed(double value, int width, int decimals, int scale) {
  if (!std::isfinite(value)) return edit_non_finite(value, width);
  if (decimals < 0) return stars(width);
  bool negative = std::signbit(value);  // -0.0 and values rounding to zero keep the '-'
  double ax = std::fabs(value);
  Decimal r;
  if (ax != 0.0) {
    // kP multiplies the value by 10^k: a shift of the decimal exponent, done exactly.
    int exp10 = decimal_exponent(ax) + scale;
    r = round_significant(ax, exp10 + decimals);
    r.exp10 += scale;
  }
  std::string integer_part;
  if (!r.is_zero()) {
    for (int place = r.exp10 - 1; place >= 0; --place) integer_part += r.digit_at(place);
  }
  std::string fraction;
  for (int place = -1; place >= -decimals; --place) fraction += r.is_zero() ? '0' : r.digit_at(place);
  return assemble(negative, integer_part, fraction, "", width);
}

std::string edit_exponent(double value, int width, int decimals, int exponent_digits, int scale,
                          char letter) {
  if (!std::isfinite(value)) return edit_non_finite(value, width);
  // The scale factor must leave at least one significant digit: -d < k < d + 2.
  if (decimals < 0 || scale <= -decimals || scale >= decimals + 2) return stars(width);
  bool negative = std::signbit(value);
  int significant = scale > 0 ? decimals + 1 : decimals + scale;
  Decimal r = round_significant(std::fabs(value), significant);
  bool zero = r.is_zero();
  r.digits.resize(static_cast<std::size_t>(significant), '0');  // zero pads to 0.000...

  std::string integer_part;
  std::string fraction;
  if (scale > 0) {
    integer_part = r.digits.substr(0, static_cast<std::size_t>(scale));  // zero: k zeros
    fraction = r.digits.substr(static_cast<std::size_t>(scale));
  } else {
    fraction = std::string(static_cast<std::size_t>(-scale), '0') + r.digits;
  }
  int exponent = zero ? 0 : r.exp10 - scale;
  std::string exponent_part;
  if (!exponent_text(exponent, exponent_digits, letter, exponent_part)) return stars(width);
  return assemble(negative, integer_part, fraction, exponent_part, width);
}

std::string edit_scientific(double value, int width, int decimals, int exponent_digits) {
  // d.ddd with one nonzero digit before the point: the layout of scale factor 1.
  return edit_exponent(value, width, decimals, exponent_digits, 1, 'E');
}

std::string edit_general(double value, int width, int decimals, int exponent_digits, int scale) {
  if (!std::isfinite(value)) return edit_non_finite(value, width);
  if (decimals <= 0) return stars(width);
  int blanks = exponent_digits < 0 ? 4 : exponent_digits + 2;
  // s is the decade of the value once rounded to d significant digits
  // (10^(s-1) <= N < 10^s); zero counts as s = 1. Fixed notation serves when
  // 0 <= s <= d, i.e. 0.1 - 0.5*10^(-d-1) <= |x| < 10^d - 0.5 on the unrounded value;
  // the scale factor then has no effect.
  double ax = std::fabs(value);
  int s = 1;
  if (ax != 0.0) s = round_significant(ax, decimals).exp10;
  if (s < 0 || s > decimals) return edit_exponent(value, width, decimals, exponent_digits, scale, 'E');
  std::string fixed = edit_fixed(value, width - blanks, decimals - s, 0);
  // A fixed part too narrow for the value stars the whole field, blanks included.
  if (width - blanks <= 0 || fixed.front() == '*') return stars(width);
  return fixed + std::string(static_cast<std::size_t>(blanks), ' ');
}

std::string edit_logical(bool value, int width) {
  return right_justify(value ? "T" : "F", std::max(width, 1));
}

std::string edit_alpha(std::string_view text, int width) {
  if (width < 0) return std::string(text);
  if (static_cast<int>(text.size()) >= width) return std::string(text.substr(0, static_cast<std::size_t>(width)));
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + std::string(text);
}

// Free format: the shortest text that reads back as the same double, always with a
// point or an exponent so it reads as a real. Plain notation for 1e-3 <= |x| < 1e8
// (decided on the shortest decimal, i.e. on what is printed), exponent notation
// "2.5E+09" / "1.0E-05" beyond.
std::string free_format_item(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  std::string sign = std::signbit(value) ? "-" : "";
  if (value == 0.0) return sign + "0.0";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  std::size_t e_pos = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  int exponent = 0;
  std::from_chars(text.data() + e_pos + 1 + (text[e_pos + 1] == '+' ? 1 : 0), text.data() + text.size(),
                  exponent);

  if (exponent >= -3 && exponent <= 7) {
    if (exponent < 0) return sign + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    std::size_t integer_digits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integer_digits) {
      return sign + digits + std::string(integer_digits - digits.size(), '0') + ".0";
    }
    return sign + digits.substr(0, integer_digits) + "." + digits.substr(integer_digits);
  }
  std::string mantissa = digits.substr(0, 1) + "." + (digits.size() > 1 ? digits.substr(1) : "0");
  std::string power = std::to_string(std::abs(exponent));
  if (power.size() < 2) power.insert(0, "0");
  return sign + mantissa + "E" + (exponent < 0 ? "-" : "+") + power;
}

std::string free_format_item(long long value) { return std::to_string(value); }

std::string free_format_item(bool value) { return value ? "T" : "F"; }

// --- whole records ------------------------------------------------------------------

namespace {

// One record under construction: a column position that X, T, TL and TR move, text
// written at the position (overwriting what T/TL moved back over). Columns skipped past
// the last character written are not part of the record.
class RecordBuilder {
 public:
  void put(std::string_view text) {
    if (position_ > line_.size()) line_.append(position_ - line_.size(), ' ');
    line_.replace(position_, std::min(text.size(), line_.size() - position_), text);
    position_ += text.size();
  }
  void skip(int n) { position_ += static_cast<std::size_t>(std::max(n, 0)); }
  void tab_to(int column) { position_ = static_cast<std::size_t>(std::max(column, 1) - 1); }
  void tab_left(int n) {
    std::size_t back = static_cast<std::size_t>(std::max(n, 0));
    position_ = back > position_ ? 0 : position_ - back;
  }
  std::string finish() {
    std::string out = std::move(line_);
    line_.clear();
    position_ = 0;
    return out;
  }

 private:
  std::string line_;
  std::size_t position_ = 0;
};

[[noreturn]] void item_error(const FormatSpec& spec, std::size_t item_number, const char* what) {
  throw std::invalid_argument("format \"" + spec.text() + "\": item " + std::to_string(item_number) +
                              " is " + what);
}

const char* kind_name(FormatArg::Kind kind) {
  switch (kind) {
    case FormatArg::Kind::Integer:
      return "an integer";
    case FormatArg::Kind::Real:
      return "a real";
    case FormatArg::Kind::Logical:
      return "a logical";
    case FormatArg::Kind::Text:
      return "a text";
  }
  return "?";
}

// One data item under its descriptor.
std::string edit_item(const FormatSpec& spec, const EditItem& edit, const FormatArg& arg,
                      std::size_t item_number, int scale) {
  using Kind = FormatArg::Kind;
  auto mismatch = [&](const char* descriptor) {
    std::string what = std::string(kind_name(arg.kind())) + " given to " + descriptor;
    item_error(spec, item_number, what.c_str());
  };
  auto real_value = [&](const char* descriptor) {
    if (arg.kind() == Kind::Real) return arg.real();
    if (arg.kind() != Kind::Integer) mismatch(descriptor);
    return static_cast<double>(arg.integer());
  };

  switch (edit.kind) {
    case EditKind::Integer: {
      if (arg.kind() == Kind::Integer) return edit_integer(arg.integer(), edit.width, edit.digits);
      if (arg.kind() != Kind::Real) mismatch("I");
      // A real under I is rounded to the nearest integer (halves away from zero); one
      // beyond the integer range, or not a number, cannot be shown.
      double x = std::round(arg.real());
      if (!(std::fabs(x) < 9.2e18)) return stars(edit.width);
      return edit_integer(static_cast<long long>(x), edit.width, edit.digits);
    }
    case EditKind::Fixed:
      return edit_fixed(real_value("F"), edit.width, edit.digits, scale);
    case EditKind::Exponent:
      return edit_exponent(real_value("E"), edit.width, edit.digits, edit.exponent, scale,
                           edit.exponent_letter);
    case EditKind::Scientific:
      return edit_scientific(real_value("ES"), edit.width, edit.digits, edit.exponent);
    case EditKind::General:
      return edit_general(real_value("G"), edit.width, edit.digits, edit.exponent, scale);
    case EditKind::Logical:
      if (arg.kind() != Kind::Logical) mismatch("L");
      return edit_logical(arg.logical(), edit.width);
    case EditKind::Alpha:
      if (arg.kind() != Kind::Text) mismatch("A");
      return edit_alpha(arg.text(), edit.width);
    default:
      break;
  }
  return {};
}

}  // namespace

std::vector<std::string> format_records(const FormatSpec& spec, const FormatArgs& args) {
  const auto& edits = spec.items();
  const auto& values = args.items();
  if (!values.empty() && !spec.has_data_items()) {
    throw std::invalid_argument("format \"" + spec.text() + "\" has no data descriptor for " +
                                std::to_string(values.size()) + " item(s)");
  }
  std::vector<std::string> records;
  RecordBuilder record;
  std::size_t next_value = 0;
  std::size_t i = 0;
  int scale = 0;  // kP holds for the rest of the statement, across records and reversion
  std::size_t value_at_reversion = 0;
  bool reverted = false;

  bool done = false;
  while (!done) {
    if (i == edits.size()) {
      if (next_value >= values.size()) break;
      // Items remain: a new record, and the list again from the reversion point.
      // A reverted part with no data descriptor would never consume them.
      if (reverted && next_value == value_at_reversion) {
        throw std::invalid_argument("format \"" + spec.text() +
                                    "\": the part repeated by reversion has no data descriptor");
      }
      records.push_back(record.finish());
      i = spec.reversion_index();
      reverted = true;
      value_at_reversion = next_value;
      continue;
    }
    const EditItem& edit = edits[i++];
    if (edit.is_data()) {
      // The first data descriptor met with no item left ends the statement.
      if (next_value >= values.size()) break;
      record.put(edit_item(spec, edit, values[next_value], next_value + 1, scale));
      ++next_value;
      continue;
    }
    switch (edit.kind) {
      case EditKind::Literal:
        record.put(edit.text);
        break;
      case EditKind::Skip:
        record.skip(edit.count);
        break;
      case EditKind::TabTo:
        record.tab_to(edit.count);
        break;
      case EditKind::TabLeft:
        record.tab_left(edit.count);
        break;
      case EditKind::NewRecord:
        records.push_back(record.finish());
        break;
      case EditKind::Scale:
        scale = edit.count;
        break;
      case EditKind::Colon:
        done = next_value >= values.size();
        break;
      default:  // BN, BZ: input only
        break;
    }
  }
  records.push_back(record.finish());
  return records;
}

const FormatSpec& cached_format(std::string_view text) {
  // Formats are literals in the code: a handful of distinct texts, each parsed once.
  // The program is single-threaded, so a plain map is enough.
  static std::map<std::string, FormatSpec, std::less<>> cache;
  auto found = cache.find(text);
  if (found != cache.end()) return found->second;
  return cache.emplace(std::string(text), FormatSpec(text)).first->second;
}

void write_formatted(RecordSink& sink, std::string_view format, const FormatArgs& args) {
  for (const auto& record : format_records(cached_format(format), args)) sink.write_record(record);
}

std::string format_line(std::string_view format, const FormatArgs& args) {
  std::string line;
  bool first = true;
  for (const auto& record : format_records(cached_format(format), args)) {
    if (!first) line += '\n';
    line += record;
    first = false;
  }
  return line;
}

std::string free_format_record(const FormatArgs& args) {
  std::string line = " ";
  for (const auto& item : args.items()) {
    if (item.kind() == FormatArg::Kind::Text) {
      line += item.text();
      continue;
    }
    if (line.size() > 1) line += ' ';
    switch (item.kind()) {
      case FormatArg::Kind::Integer:
        line += free_format_item(item.integer());
        break;
      case FormatArg::Kind::Real:
        line += free_format_item(item.real());
        break;
      case FormatArg::Kind::Logical:
        line += free_format_item(item.logical());
        break;
      case FormatArg::Kind::Text:
        break;
    }
  }
  return line;
}

}  // namespace quendal
