#include "services/array_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"

namespace quendal {

namespace {

enum class Relation { EQ, GE, GT, LE, LT };

// The relation is told by its first letter being G or not and its second letter being
// T, E or anything else (anything else compares for equality): "GE", "LT", "EQ".
Relation parse_relation(std::string_view rel) {
  const bool greater = !rel.empty() && rel[0] == 'G';
  const char second = rel.size() > 1 ? rel[1] : ' ';
  if (second == 'T') return greater ? Relation::GT : Relation::LT;
  if (second == 'E') return greater ? Relation::GE : Relation::LE;
  return Relation::EQ;
}

bool element_wise(std::string_view rel) { return rel.size() > 2 && rel[2] == 'a'; }

void require_form(std::string_view rel, bool with_array, std::string_view name) {
  if (element_wise(rel) != with_array) {
    throw std::invalid_argument("array check of " + std::string(name) + ": relation \"" +
                                std::string(rel) +
                                (with_array ? "\" given a reference array" : "\" given one reference value"));
  }
}

bool fails(Relation relation, double v, double r, double tol) {
  const double margin = tol * std::max(std::fabs(v), std::fabs(r));
  switch (relation) {
    case Relation::EQ: return std::fabs(v - r) > margin;
    case Relation::GE: return r - v > margin;
    case Relation::GT: return r - v >= margin;
    case Relation::LE: return v - r > margin;
    case Relation::LT: return v - r >= margin;
  }
  return false;
}

bool fails(Relation relation, int v, int r) {
  switch (relation) {
    case Relation::EQ: return v != r;
    case Relation::GE: return v < r;
    case Relation::GT: return v <= r;
    case Relation::LE: return v > r;
    case Relation::LT: return v >= r;
  }
  return false;
}

// A reference and a value as the message shows them: reals in general editing with 7
// significant digits (one digit before the point in exponent form), integers in 12 columns.
std::string shown(double x) { return edit_general(x, 15, 7, -1, 1); }
std::string shown(int x) { return edit_integer(x, 12); }

std::string fitted(std::string text) {
  text.resize(CHECK_MESSAGE_LENGTH, ' ');
  return text;
}

// The subscripts after the position: i2 when the name has a comma after its opening
// parenthesis, i3 as well when it has a second.
std::string position_text(std::string_view name, long i, int i2, int i3) {
  const std::size_t last = name.find_last_not_of(' ');
  const std::size_t open = name.find('(');
  if (open == std::string_view::npos || open == last) return {};
  std::string text = format_line("(' at position',I5)", i);
  const std::size_t first_comma = name.find(',', open + 1);
  if (first_comma != std::string_view::npos) {
    text += format_line("(',',I4)", i2);
    if (name.find(',', first_comma + 1) != std::string_view::npos) text += format_line("(',',I4)", i3);
  }
  return text;
}

// What a check's name looks its values' places up under: the name before its
// parenthesis ("STRX(iel)" is STRX, "SOSDFN[*][sum_over_sed](soil)" is
// SOSDFN[*][sum_over_sed]: a value computed from values read, noted by its check).
std::string_view checked_item(std::string_view name) {
  const std::size_t end = std::min(name.find('('), name.size());
  const std::size_t last = name.find_last_not_of(' ', end == 0 ? 0 : end - 1);
  if (end == 0 || last == std::string_view::npos) return {};
  return name.substr(0, last + 1);
}

// The line after a report: where in its data file the first failing value was read.
std::string place_line(const RunIo& io, std::string_view name, long i, int i2) {
  const std::string_view item = checked_item(name);
  if (item.empty()) return {};
  const FieldPlace* place = io.places.find(item, i, i2);
  return place ? value_read_from(*place) : std::string();
}

// One check, real or integer: `reference(i)` gives R at position i, `failing(v, r)` the
// verdict of the relation.
template <class T, class Reference, class Failing>
int run_check(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
              std::string_view name, std::string_view rel, Reference reference, Failing failing,
              VectorSection<T> values, int& count, FlagSection flags) {
  int failures = 0;
  long first = 0;
  T first_value{}, first_reference{};
  for (long i = lo; i <= hi; ++i) {
    const T r = reference(i);
    const bool bad = failing(values(i), r);
    flags(i) = bad ? 1 : 0;
    if (!bad) continue;
    if (failures == 0) {
      first = i;
      first_value = values(i);
      first_reference = r;
    }
    ++failures;
    if (type < 0) values(i) = r;
  }
  count += failures;
  if (failures == 0) return 0;

  // The value shown is the one found, also when it has just been reset.
  std::string message = type < 0 ? "Resetting" : "Checking ";
  message += ' ';
  message += name;
  message += ": expected .";
  message += std::string(rel.substr(0, 2)) + std::string(2 - std::min<std::size_t>(rel.size(), 2), ' ');
  message += '.';
  message += shown(first_reference);
  message += " but found";
  message += shown(first_value);
  message += position_text(name, first, i2, i3);
  // A fatal report stops here; the other positions are then not mentioned.
  const std::string where = place_line(io, name, first, i2);
  if (std::abs(type) == SEVERITY_FATAL) {
    report_fatal_with_detail(io, num, unit, 0, fitted(message), where);
  }
  REPORT_ERROR(io, std::abs(type), num, unit, 0, 0, fitted(message));
  if (!where.empty()) REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, unit, 0, 0, where);
  if (failures > 1) {
    REPORT_ERROR(io, SEVERITY_CONTINUATION, 12, unit, 0, 0,
                 fitted(format_line("('... and similarly at',I4,' other positions in the same vector')",
                                    failures - 1)));
  }
  return failures;
}

}  // namespace

int CHECK_REAL_ARRAY(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
                     std::string_view name, std::string_view rel, double ref, double tol,
                     RealSection values, int& count, FlagSection flags) {
  require_form(rel, false, name);
  const Relation relation = parse_relation(rel);
  return run_check<double>(
      io, type, num, unit, lo, hi, i2, i3, name, rel, [ref](long) { return ref; },
      [relation, tol](double v, double r) { return fails(relation, v, r, tol); }, values, count,
      flags);
}

int CHECK_REAL_ARRAY(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
                     std::string_view name, std::string_view rel, ConstRealSection ref,
                     double tol, RealSection values, int& count, FlagSection flags) {
  require_form(rel, true, name);
  const Relation relation = parse_relation(rel);
  return run_check<double>(
      io, type, num, unit, lo, hi, i2, i3, name, rel, [ref](long i) { return ref(i); },
      [relation, tol](double v, double r) { return fails(relation, v, r, tol); }, values, count,
      flags);
}

int CHECK_INTEGER_ARRAY(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
                        std::string_view name, std::string_view rel, int ref,
                        IntegerSection values, int& count, FlagSection flags) {
  require_form(rel, false, name);
  const Relation relation = parse_relation(rel);
  return run_check<int>(
      io, type, num, unit, lo, hi, i2, i3, name, rel, [ref](long) { return ref; },
      [relation](int v, int r) { return fails(relation, v, r); }, values, count, flags);
}

int CHECK_INTEGER_ARRAY(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
                        std::string_view name, std::string_view rel, ConstIntegerSection ref,
                        IntegerSection values, int& count, FlagSection flags) {
  require_form(rel, true, name);
  const Relation relation = parse_relation(rel);
  return run_check<int>(
      io, type, num, unit, lo, hi, i2, i3, name, rel, [ref](long i) { return ref(i); },
      [relation](int v, int r) { return fails(relation, v, r); }, values, count, flags);
}

}  // namespace quendal
