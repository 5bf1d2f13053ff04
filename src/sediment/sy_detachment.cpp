#include "sediment/sy_detachment.h"

#include <algorithm>
#include <cmath>

#include "sediment/sy_flow_variables.h"

namespace quendal {

namespace {
// Intensity class width of the rain momentum law: 1/71942.44604316546 m/s (50 mm/h).
constexpr double RAIN_CLASS_FACTOR = 71942.44604316546;
}  // namespace

double sy_rain_momentum(double intensity) {
  // The coefficients were fitted and stored in single precision; they are used widened.
  static constexpr double a[4] = {3214.9f, 583.4f, 133.1f, 29.9f};
  static constexpr double b[4] = {1.6896f, 1.5545f, 1.4242f, 1.2821f};
  int k = 1;
  if (!(intensity < 2.78e-6)) {
    // Classes above 4 are class 4 (compared as reals: a huge intensity fits no int).
    k = static_cast<int>(std::min(2.0 + std::floor(RAIN_CLASS_FACTOR * intensity), 4.0));
  }
  return a[k - 1] * std::pow(intensity, b[k - 1]);
}

double sy_leaf_drip_factor(double fdrip, double fall, double drop) {
  const int c = (fall >= 7.5 ? 1 : 0) + (drop >= 0.0033 ? 2 : 0);
  static constexpr double A[4] = {2200.0, 2200.0, 1640.0, 660.0};
  static constexpr double B[4] = {0.0, 0.0, 1.93, 5.14};
  const double v = A[c] * drop + B[c];
  return fdrip * 5114231.471989904 * drop * drop * drop * v * (1.0 - std::exp(-2.0 * fall / v));
}

double sy_film_damping(double h, double drop) { return std::exp(-std::max(h / drop - 1.0, 0.0)); }

void SY_SOIL_DETACHMENT(const FrameState& frame, const SurfaceState& surface, SedimentState& s) {
  for (int v = 1; v <= frame.NV; ++v) {
    s.leaf_drip_factor(v) = sy_leaf_drip_factor(s.FDRIP(v), s.XDRIP(v), s.DRDRIP(v));
  }
  for (int i = frame.NLF + 1; i <= frame.NEL; ++i) {
    // A loose layer at least DLSMAX deep shields the ground from drops and flow.
    if (s.DLS(i) >= s.DLSMAX) {
      s.SY_GROUND_EROSION_RATE(i) = 0.0;
      continue;
    }
    const int soil = s.SY_SURFACE_SOIL_TYPE(i), v = frame.NVC(i);
    const double damping = sy_film_damping(s.SY_WATER_DEPTH(i), s.SY_DROP_DIAMETER(i));
    const double drops =
        (1.0 - s.FCROCK(i) - s.FCG(i)) * s.GKR(soil) * damping *
        ((1.0 - s.SY_CANOPY_COVER(v)) * sy_rain_momentum(s.SY_DIRECT_RAIN_RATE(i)) +
         s.leaf_drip_factor(v) * surface.DRAINA(i));
    const double tau = s.SY_ELEMENT_SHEAR(i);
    const double tau_c = SY_CRITICAL_SHEAR(s.SY_CRITICAL_SHEAR_SWITCH, s.SY_SOIL_MEDIAN_DIAMETER(soil),
                                           tau, s.SY_SOIL_SHEAR_PARAMETER(soil));
    // A soil without a critical shear (no grain size) is not detached by the flow.
    const double flow =
        tau_c > 0.0 ? s.GKF(soil) * (1.0 - s.FCROCK(i)) * std::max(tau - tau_c, 0.0) / tau_c : 0.0;
    s.SY_GROUND_EROSION_RATE(i) = (drops + flow) / s.RHOSO(soil);
  }
}

}  // namespace quendal
