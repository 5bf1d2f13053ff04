#include "sediment/sy_transport_capacity.h"

#include <algorithm>
#include <cmath>

#include "sediment/sy_flow_variables.h"
#include "sediment/sy_initial_state.h"
#include "services/predicates.h"

namespace quendal {

namespace {

// Any switch but 1 selects the grain rule of the critical shear; the capacities
// always use it.
constexpr int GRAIN_RULE = 0;

// The dimensionless grain diameter of d (m), kept within 1..SY_GRAIN_DIAMETER_LIMIT.
double dimensionless_diameter(double d) {
  return std::max(std::min(SY_GRAIN_DIAMETER_FACTOR * d, SY_GRAIN_DIAMETER_LIMIT), 1.0);
}

// End faces of a link: `end` 1 the east or north end (face 1, or 2 for a north-south
// link), 2 the west or south end (3 or 4).
int end_face(const FrameState& frame, int link, int end) {
  const int first = frame.LINK_NORTH_SOUTH(link) ? 2 : 1;
  return end == 1 ? first : first + 2;
}
bool is_end_face(const FrameState& frame, int link, int f) {
  return (f % 2 == 0) == (frame.LINK_NORTH_SOUTH(link) != 0);
}

}  // namespace

double sy_engelund_hansen(double q, double s, double w, double d, double h) {
  if (!(h > 0.0) || !(d > 0.0)) return 0.0;
  return SY_ENGELUND_HANSEN_COEFFICIENT * q * q * std::pow(s, 1.5) / (w * d * std::sqrt(h));
}

double sy_yalin(double tau, double d, double w) {
  const double tau_c = SY_CRITICAL_SHEAR(GRAIN_RULE, d, tau, 0.0);
  if (!(tau_c > 0.0)) return 0.0;
  const double excess = std::max(tau - tau_c, 0.0) / tau_c;
  const double a = SY_YALIN_A_COEFFICIENT * std::sqrt(tau_c / d);
  return std::sqrt(tau) * SY_YALIN_RATE_COEFFICIENT * d * w * (excess - std::log(1.0 + a * excess) / a);
}

double sy_ackers_white_threshold(double d) {
  // The fitted constants were stored in single precision; they are used widened.
  return static_cast<double>(0.23f) / std::sqrt(dimensionless_diameter(d)) + static_cast<double>(0.14f);
}

SyAckersWhite sy_ackers_white_coefficients(double d) {
  const double dgr = dimensionless_diameter(d);
  const double l = std::log10(dgr);
  SyAckersWhite c;
  c.n = std::max(1.0 - 0.56 * l, 0.0);
  c.A = sy_ackers_white_threshold(d);
  c.m = static_cast<double>(9.66f) / dgr + static_cast<double>(1.34f);
  c.C = std::pow(10.0, (static_cast<double>(2.86f) - l) * l - static_cast<double>(3.53f));
  c.E = 1.0 / std::sqrt(d * SY_REDUCED_GRAVITY);
  return c;
}

double sy_ackers_white_rate(const SyAckersWhite& c, double d, double h, double q, double v, double u) {
  // Mean velocity over the rough-bed velocity scale of a logarithmic profile; grains
  // of ten depths or more see none.
  const double p = d < 10.0 * h ? v / (std::log10(10.0 * h / d) * SY_SQRT_32) : 0.0;
  double mobility = c.E;
  if (c.n > 0.0) mobility *= std::pow(u, c.n);
  if (c.n < 1.0) mobility *= std::pow(p, 1.0 - c.n);
  if (!(h > 0.0)) return 0.0;
  double x = std::pow(std::max(mobility / c.A - 1.0, 0.0), c.m) * (q / h * c.C * d);
  if (c.n > 0.0 && x > 0.0) x *= std::pow(v / u, c.n);
  return x;
}

double sy_hiding_diameter(ConstRealSection layer, int n, ConstRealSection d) {
  const double d84 = SY_DIAMETER_PERCENTILE(0.84, layer, n, d);
  if (!(d84 > 0.0)) return 0.0;
  const double d50 = SY_DIAMETER_PERCENTILE(0.5, layer, n, d);
  const double d16 = SY_DIAMETER_PERCENTILE(0.16, layer, n, d);
  return static_cast<double>(1.62f) * d50 * std::pow(d16 / d84, static_cast<double>(0.28f));
}

double sy_hiding_threshold(double d_a, double d) {
  return (static_cast<double>(0.4f) * std::sqrt(d_a / d) + static_cast<double>(0.6f)) *
         sy_ackers_white_threshold(d_a);
}

double SY_OVERLAND_CAPACITY(double dxqq, double dyqq, int capacity_switch, double h, int nsed,
                            ConstRealSection available, ConstRealSection drsed, ConstRealSection q,
                            ConstRealSection slope, ConstRealSection shear) {
  const double d = SY_DIAMETER_PERCENTILE(0.5, available, nsed, drsed);
  // The caller asks only where sediment lies; without any there is nothing to carry.
  if (!(d > 0.0)) return 0.0;
  double capacity = 0.0;
  for (int f = 1; f <= 4; ++f) {
    if (!(q.nth(f) > 0.0)) continue;
    const double w = f % 2 == 1 ? dyqq : dxqq;
    if (capacity_switch == 1) {
      capacity += sy_engelund_hansen(q.nth(f), slope.nth(f), w, d, h);
    } else if (capacity_switch == 0) {
      capacity += sy_yalin(shear.nth(f), d, w);
    }
  }
  return capacity;
}

void SY_CHANNEL_CAPACITY(const FrameState& frame, const SurfaceState& surface, SedimentState& s) {
  const int nlf = frame.NLF, nsed = s.NSED, nfine = s.NFINE;
  const int coarse = nfine + 1;
  const Array2<double>& qoc = surface.QOC;
  Array2<double>& rate = s.channel_transport_rate;
  Array2<double>& total = s.channel_carrier_total;
  rate.fill(0.0);
  total.fill(0.0);

  const int capacity_switch = s.SY_CHANNEL_CAPACITY_SWITCH;
  if (capacity_switch == 1 || capacity_switch == 2) {
    Array2<double>& table = s.SY_ACKERS_WHITE_TABLE;
    if (!s.ackers_white_table_filled) {
      for (int k = coarse; k <= nsed; ++k) {
        const SyAckersWhite c = sy_ackers_white_coefficients(s.DRSED(k));
        table(1, k) = c.n;
        if (capacity_switch == 1) table(2, k) = c.A;
        table(3, k) = c.m;
        table(4, k) = c.C;
        table(5, k) = c.E;
      }
      s.ackers_white_table_filled = true;
    }
    for (int end = 1; end <= 2; ++end) {
      for (int link = 1; link <= nlf; ++link) {
        const int face = end_face(frame, link, end);
        const double q = sy_outflow(qoc, link, face);
        if (!(q > 0.0) || coarse > nsed) continue;
        const double h = s.SY_WATER_DEPTH(link), tau = s.SY_FACE_SHEAR(link, face);
        const double u = std::sqrt(tau / SY_WATER_DENSITY);
        const double v = surface.ARXL(link) > 0.0 ? q / surface.ARXL(link) : 0.0;
        if (capacity_switch == 2) {
          // Fine grains among coarse ones are hidden and need more flow to move;
          // coarse grains among fine ones are exposed and need less.
          const int n = nsed - nfine;
          const Array2<double>& layer = s.SY_ACTIVE_LAYER_SEDIMENT;
          const double d_a =
              sy_hiding_diameter(ConstRealSection(&layer(link, coarse), n, layer.extent(1)), n,
                                 ConstRealSection(&s.DRSED(coarse), n));
          for (int k = coarse; k <= nsed; ++k) table(2, k) = sy_hiding_threshold(d_a, s.DRSED(k));
        }
        for (int k = coarse; k <= nsed; ++k) {
          const SyAckersWhite c{table(1, k), table(2, k), table(3, k), table(4, k), table(5, k)};
          rate(link, k) += sy_ackers_white_rate(c, s.DRSED(k), h, q, v, u);
        }
      }
    }
  } else {
    for (int end = 1; end <= 2; ++end) {
      for (int link = 1; link <= nlf; ++link) {
        const int face = end_face(frame, link, end);
        const double q = sy_outflow(qoc, link, face);
        if (!(q > 0.0)) continue;
        for (int k = coarse; k <= nsed; ++k) {
          rate(link, k) += sy_engelund_hansen(q, s.SY_FACE_SLOPE(link, face), surface.CWIDTH(link),
                                              s.DRSED(k), s.SY_WATER_DEPTH(link));
        }
      }
    }
  }

  // The water that carries each group out: all of the outflow, except for the coarse
  // groups when only the part of the flow able to lift them carries them.
  Array3<double>& carrier = s.SY_CHANNEL_CARRIER_DISCHARGE;
  const int carried_by_all_flow = s.ISUSED == 0 ? nsed : nfine;
  for (int f = 1; f <= 4; ++f) {
    for (int link = 1; link <= nlf; ++link) {
      const double q = sy_outflow(qoc, link, f);
      if (!(q > 0.0)) continue;
      const bool end = is_end_face(frame, link, f);
      for (int k = 1; k <= carried_by_all_flow; ++k) {
        carrier(link, k, f) = q;
        if (end) total(link, k) += q;
      }
    }
  }
  if (s.ISUSED == 1) {
    for (int end = 1; end <= 2; ++end) {
      for (int link = 1; link <= nlf; ++link) {
        const int face = end_face(frame, link, end);
        const double q = sy_outflow(qoc, link, face);
        if (!(q > 0.0)) continue;
        const double tau = s.SY_FACE_SHEAR(link, face);
        for (int k = coarse; k <= nsed; ++k) {
          const double tau_c = SY_CRITICAL_SHEAR(GRAIN_RULE, s.DRSED(k), tau, 0.0);
          const double lifting =
              SY_CARRIER_VELOCITY_COEFFICIENT * surface.ARXL(link) *
              std::sqrt(std::max(tau - std::sqrt(tau * tau_c), 0.0));
          carrier(link, k, face) = std::min(q, lifting);
          total(link, k) += carrier(link, k, face);
        }
      }
    }
  }

  Array2<double>& concentration = s.SY_CHANNEL_CAPACITY_CONCENTRATION;
  for (int link = 1; link <= nlf; ++link) {
    for (int k = 1; k <= nfine; ++k) concentration(link, k) = s.FPCRIT;
    double suspended = 0.0;
    for (int k = coarse; k <= nsed; ++k) suspended += s.FDEL(link, k);
    if (IS_ZERO(suspended)) suspended = 1.0;
    double active = s.SY_ACTIVE_LAYER_DEPTH(link);
    if (IS_ZERO(active)) active = 1.0;
    for (int k = coarse; k <= nsed; ++k) {
      const double w = total(link, k);
      if (w > 0.0) {
        // The group's share of what is in motion or on the bed, at least 5 %.
        const double fraction = std::max(
            {s.FDEL(link, k) / suspended, s.SY_ACTIVE_LAYER_SEDIMENT(link, k) / active, 0.05});
        concentration(link, k) = std::min(fraction * rate(link, k) / w, s.FPCRIT);
      } else {
        concentration(link, k) = 0.0;
      }
    }
  }

  if (s.ISUSED == 1) {
    // Over the side faces only a capacity above the threshold is carried out.
    for (int link = 1; link <= nlf; ++link) {
      const int first_side = frame.LINK_NORTH_SOUTH(link) ? 1 : 2;
      for (int f = first_side; f <= 4; f += 2) {
        const double q = sy_outflow(qoc, link, f);
        if (!(q > 0.0)) continue;
        for (int k = coarse; k <= nsed; ++k) {
          const double c = concentration(link, k);
          carrier(link, k, f) =
              c > 0.0 ? q * std::max(c - s.SY_CAPACITY_CONCENTRATION_THRESHOLD, 0.0) / c : c;
        }
      }
    }
  }
}

}  // namespace quendal
