// What the sediment checks share: one routine's failure count and failure flags, and
// the array checks (services/array_checks.h) called with severity 2 on the sediment
// print file, on values the checks only read.
#pragma once

#include <string_view>
#include <vector>

#include "include/run_io.h"
#include "sediment/sy_data_file.h"
#include "services/array_checks.h"

namespace quendal {

class SyChecks {
 public:
  explicit SyChecks(RunIo& io) : io_(io) {}

  int count = 0;  // failures found so far by this routine

  // Values lo..hi of `values` (numbered as the section numbers them) against one
  // reference or, with a relation ending in "a", against `reference` position by
  // position. i2 is shown after the position when the name has one comma. Each returns
  // the failures it found.
  int real(int num, int lo, int hi, int i2, std::string_view name, std::string_view rel,
           double reference, ConstRealSection values, double tol = 0.0) {
    return CHECK_REAL_ARRAY(io_, SEVERITY_ERROR_CHECK, num, SY_PRINT_UNIT, lo, hi, i2, 0, name, rel,
                            reference, tol, writable(values), count, flags(lo, hi));
  }
  int real(int num, int lo, int hi, int i2, std::string_view name, std::string_view rel,
           ConstRealSection reference, ConstRealSection values, double tol = 0.0) {
    return CHECK_REAL_ARRAY(io_, SEVERITY_ERROR_CHECK, num, SY_PRINT_UNIT, lo, hi, i2, 0, name, rel,
                            reference, tol, writable(values), count, flags(lo, hi));
  }
  int integer(int num, int lo, int hi, int i2, std::string_view name, std::string_view rel,
              int reference, ConstIntegerSection values) {
    return CHECK_INTEGER_ARRAY(io_, SEVERITY_ERROR_CHECK, num, SY_PRINT_UNIT, lo, hi, i2, 0, name,
                               rel, reference, writable(values), count, flags(lo, hi));
  }
  int integer(int num, int lo, int hi, int i2, std::string_view name, std::string_view rel,
              ConstIntegerSection reference, ConstIntegerSection values) {
    return CHECK_INTEGER_ARRAY(io_, SEVERITY_ERROR_CHECK, num, SY_PRINT_UNIT, lo, hi, i2, 0, name,
                               rel, reference, writable(values), count, flags(lo, hi));
  }
  // A scalar, checked as a vector of one value.
  int scalar(int num, std::string_view name, std::string_view rel, double reference, double value) {
    return real(num, 1, 1, 0, name, rel, reference, ConstRealSection(&value, 1));
  }
  int scalar(int num, std::string_view name, std::string_view rel, int reference, int value) {
    return integer(num, 1, 1, 0, name, rel, reference, ConstIntegerSection(&value, 1));
  }

 private:
  static constexpr int SEVERITY_ERROR_CHECK = 2;  // counted; the routine decides to stop
  RunIo& io_;
  std::vector<char> flags_;

  FlagSection flags(int lo, int hi) {
    const long n = hi >= lo ? hi - lo + 1 : 0;
    if (static_cast<long>(flags_.size()) < n) flags_.resize(static_cast<std::size_t>(n));
    return FlagSection(flags_.data(), n, 1, lo);
  }
  // A check with a positive severity never writes to the values it checks.
  template <class T>
  static VectorSection<T> writable(VectorSection<const T> s) {
    return VectorSection<T>(const_cast<T*>(s.pointer()), s.size(), s.stride(), s.first_index());
  }
};

}  // namespace quendal
