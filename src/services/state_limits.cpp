#include "services/state_limits.h"

#include <cmath>

#include "services/physical_bounds.h"

namespace quendal {

std::string state_fault_text(double value, bool concentration, double to_output_units,
                             const char* output_units) {
  if (!std::isfinite(value)) return "not a finite number";
  if (concentration && value < LOWEST_CONCENTRATION) {
    return "below " + value_text(LOWEST_CONCENTRATION) + ": a concentration cannot be negative";
  }
  const std::string largest = value_text(LARGEST_OUTPUT_VALUE) + ", the largest 4-byte real";
  if (to_output_units == 1.0) return "beyond " + largest;
  return "recorded as " + value_text(value * to_output_units) + " " + output_units +
         ", beyond " + largest;
}

}  // namespace quendal
