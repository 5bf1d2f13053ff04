#include "sediment/sy_bank_erosion.h"

#include <algorithm>

#include "sediment/sy_flow_variables.h"

namespace quendal {

double sy_bank_shear(double tau, double h, double w) {
  // w / h, at most 4; a dry channel counts as wide.
  const double r = 1.0 / std::max(0.25, h / w);
  return tau * (0.05 + 0.22 * std::min(std::max(r - 1.0, 0.0), 1.0) + 0.035 * std::max(r - 2.0, 0.0) +
                0.41 * std::min(r, 1.0));
}

void SY_BANK_EROSION(const FrameState& frame, const SurfaceState& surface, SedimentState& s) {
  for (int k = 1; k <= frame.NLF; ++k) {
    const double h = s.SY_WATER_DEPTH(k), tau = s.SY_ELEMENT_SHEAR(k);
    const int soil = s.NTSOBK(k);
    const double tau_b = sy_bank_shear(tau, h, surface.CWIDTH(k));
    // The grain rule reads the link's own shear, not the bank shear.
    const double tau_c = SY_CRITICAL_SHEAR(s.SY_CRITICAL_SHEAR_SWITCH, s.SY_SOIL_MEDIAN_DIAMETER(soil),
                                           tau, s.SY_SOIL_SHEAR_PARAMETER(soil));
    // A bank soil without a critical shear (no grain size) does not erode.
    const double rate =
        tau_c > 0.0 ? s.BKB(soil) * std::max(tau_b - tau_c, 0.0) / (tau_c * s.RHOSO(soil)) : 0.0;
    s.SY_BANK_EROSION_RATE(k) = rate;
    // Both banks along the link, wetted up to the water depth but no higher than the
    // bank top, turned from bank soil into loose bed sediment.
    s.SY_BANK_SEDIMENT_SUPPLY(k) = s.SY_SOIL_TO_SEDIMENT_RATIO(k) * 2.0 * frame.CLENTH(k) *
                                   std::min(h, s.SY_BANK_HEIGHT(k)) * rate;
  }
}

}  // namespace quendal
