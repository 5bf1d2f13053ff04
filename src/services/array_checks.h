// Checks of input arrays against a relation with a reference.
//
// A component validating the arrays it read or received checks an index range lo..hi
// of one array with "EQ", "GE", "GT", "LE" or "LT" against one reference value, or,
// with the relation followed by "a" ("GEa"), element by element against a reference
// array. Each call marks the failing positions in `flags`, adds their number to the
// caller's `count`, reports the first failure through REPORT_ERROR with a one-line
// message ("Checking  NAME: expected .GE.  <ref> but found  <value> at position ..."),
// and, when more than one position failed, adds a continuation line "... and similarly
// at N other positions in the same vector". The caller decides what the count means;
// by convention a component that found failures ends its checks with one fatal report
// of its own beginning "Error(s) detected while checking".
//
// Arguments shared by both checks:
//   type    severity of the report (1 fatal, 2 error, 3 warning); a negative type
//           reports with its absolute value and resets each failing value to its
//           reference ("Resetting" in place of "Checking")
//   num     error number of the report;  unit  output unit of the report
//   lo, hi  the index range checked (nothing at all when hi < lo); values, the
//           reference array and flags are indexed lo..hi under their sections' own
//           numbering
//   i2, i3  further subscripts shown after the position when `name` has an opening
//           parenthesis followed by one comma (i2) or two (i2 and i3)
//   name    the checked quantity as the message shows it, e.g. "DRAINA(iel)"
//   rel     the relation, two upper-case letters, "a" after them for the element-wise
//           form; the overload taking a reference section needs the "a", the one
//           taking a single value must not have it (a mismatch is a program error,
//           std::invalid_argument)
//   tol     (reals) relative tolerance, not negative: a value within
//           tol * max(|value|, |reference|) on the wrong side still passes
//   count   increased by the number of failing positions
//   flags   set to 1 at each failing position of lo..hi, 0 at the others
// Each returns the number of failing positions it found.
#pragma once

#include <string_view>

#include "include/run_io.h"
#include "services/array_section.h"

namespace quendal {

int CHECK_REAL_ARRAY(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
                     std::string_view name, std::string_view rel, double ref, double tol,
                     RealSection values, int& count, FlagSection flags);
int CHECK_REAL_ARRAY(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
                     std::string_view name, std::string_view rel, ConstRealSection ref,
                     double tol, RealSection values, int& count, FlagSection flags);

int CHECK_INTEGER_ARRAY(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
                        std::string_view name, std::string_view rel, int ref,
                        IntegerSection values, int& count, FlagSection flags);
int CHECK_INTEGER_ARRAY(RunIo& io, int type, int num, int unit, int lo, int hi, int i2, int i3,
                        std::string_view name, std::string_view rel, ConstIntegerSection ref,
                        IntegerSection values, int& count, FlagSection flags);

// Length of the message text of a check report (longer messages are cut, shorter ones
// padded with blanks): names of up to 40 characters always fit in a real check, up to
// 46 in an integer check.
constexpr std::size_t CHECK_MESSAGE_LENGTH = 132;

}  // namespace quendal
