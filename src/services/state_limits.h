// What a value of the sediment or contaminant state may be at the end of a step.
//
// The outputs record the state as 4-byte reals (the visualisation file) or print it: a
// value that is not finite, or that lies beyond the largest 4-byte real in the units an
// output records it in, is not a result, and nor is a suspended sediment concentration
// below -1e-9 or a contaminant's relative concentration below -1e-9 times the largest of
// that contaminant in the catchment (the rounding of a balance that empties a store
// leaves far less; a contaminant's concentrations are relative to a reference the user
// chose, so only their own size says what is rounding). A step that leaves such
// a value stops the run with fatal error STATE_OUT_OF_RANGE_ERROR, naming the element,
// the cell or layer, the contaminant or size group and the value; the time is in the
// report's heading. The checks make one pass over the state and allocate nothing.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace quendal {

constexpr int STATE_OUT_OF_RANGE_ERROR = 1096;
// The largest 4-byte real, 3.4028235e38.
constexpr double LARGEST_OUTPUT_VALUE = 3.4028234663852886e38;
constexpr double LOWEST_CONCENTRATION = -1e-9;
// A contaminant's lowest value, as a share of its largest magnitude in the catchment.
constexpr double LOWEST_RELATIVE_CONCENTRATION = -1e-9;

namespace state_limits_detail {
// A double's bits as an integer, without the sign: magnitudes order as these integers
// do, and every infinity and NaN lies above the largest finite double. So a run of
// values is tested with integer subtractions and ORs alone, which the compiler
// vectorises, where a comparison per value would be one branch each.
constexpr std::int64_t SIGN = INT64_MIN;
constexpr std::int64_t LARGEST_BITS = std::bit_cast<std::int64_t>(LARGEST_OUTPUT_VALUE);
inline std::int64_t bits(double x) { return std::bit_cast<std::int64_t>(x); }
}  // namespace state_limits_detail

// True when each of the `n` values from `v` on, multiplied by `to_output_units` (the
// factor of the units an output records it in), is finite and not beyond
// LARGEST_OUTPUT_VALUE in magnitude.
inline bool all_within_outputs(const double* v, long n, double to_output_units = 1.0) {
  using namespace state_limits_detail;
  std::int64_t beyond = 0;  // its sign bit is set once a value is beyond
  for (long i = 0; i < n; ++i) beyond |= LARGEST_BITS - (bits(v[i] * to_output_units) & ~SIGN);
  return beyond >= 0;
}
// True when each of the `n` concentrations from `v` on is finite, not below
// LOWEST_CONCENTRATION and not beyond LARGEST_OUTPUT_VALUE: c - LOWEST_CONCENTRATION has
// no sign bit and is not beyond (near the largest value the shift by 1e-9 is lost in
// rounding).
inline bool all_concentrations_within_outputs(const double* v, long n) {
  using namespace state_limits_detail;
  std::int64_t beyond = 0;
  for (long i = 0; i < n; ++i) {
    const std::int64_t b = bits(v[i] - LOWEST_CONCENTRATION);
    beyond |= b | (LARGEST_BITS - (b & ~SIGN));
  }
  return beyond >= 0;
}

// One contaminant's concentrations over the catchment, gathered run by run: the largest
// magnitude and the magnitude of the most negative value, as the bits of the doubles
// without their sign (so the loop is integer maxima alone, which the compiler
// vectorises).
class ConcentrationExtent {
 public:
  void add(const double* v, long n) {
    using namespace state_limits_detail;
    std::int64_t largest = largest_, negative = negative_;
    for (long i = 0; i < n; ++i) {
      const std::int64_t b = bits(v[i]);
      const std::int64_t magnitude = b & ~SIGN;
      largest = magnitude > largest ? magnitude : largest;
      const std::int64_t below = b < 0 ? magnitude : 0;
      negative = below > negative ? below : negative;
    }
    largest_ = largest;
    negative_ = negative;
  }
  // The largest magnitude (not finite when a value is not).
  double largest() const { return std::bit_cast<double>(largest_); }
  // Every value finite and within LARGEST_OUTPUT_VALUE, none below
  // LOWEST_RELATIVE_CONCENTRATION times the largest magnitude.
  bool within_outputs() const {
    return largest_ <= state_limits_detail::LARGEST_BITS &&
           !(std::bit_cast<double>(negative_) > -LOWEST_RELATIVE_CONCENTRATION * largest());
  }

 private:
  std::int64_t largest_ = 0, negative_ = 0;
};

// What is wrong with a value that failed one of the tests above, as the report gives it
// after the value: "not a finite number", "below -1e-09: a concentration cannot be
// negative", "beyond 3.402823e+38, the largest 4-byte real", or, for a value the
// outputs record in other units (the value times `to_output_units`, in `output_units`),
// "recorded as 3.4e+39 mm, beyond 3.402823e+38, the largest 4-byte real".
std::string state_fault_text(double value, bool concentration, double to_output_units,
                             const char* output_units);

}  // namespace quendal
