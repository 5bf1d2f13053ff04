// The Freundlich isotherm C^n, shared by the column and link transports.
#pragma once

#include <algorithm>
#include <cmath>

namespace quendal {

// The slope of the chord of C^n from Co to C: (C^n - Co^n) / (C - Co), n Co^(n-1) in the
// limit; a C below 0 counts as 0. Co > 0.
inline double freundlich_chord_slope(double Co, double C, double n) {
  const double r = std::max(C, 0.0) / Co - 1.0;
  const double tangent = n * std::pow(Co, n - 1.0);
  if (r == 0.0) return tangent;
  return tangent / n * std::expm1(n * std::log1p(r)) / r;
}

}  // namespace quendal
