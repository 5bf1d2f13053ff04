#include "sediment/sy_routing.h"

#include <algorithm>

#include "include/dimensions.h"
#include "sediment/sy_bank_erosion.h"
#include "sediment/sy_detachment.h"
#include "sediment/sy_flow_variables.h"
#include "sediment/sy_transport_capacity.h"

namespace quendal {

namespace {

constexpr int GRAIN_RULE = 0;  // any critical-shear switch but 1
// Settling of the finest grains: submerged unit weight x d^2 / (18 x dynamic viscosity).
constexpr double SY_SETTLING_DIVISOR = 0.017964;

// What one element's visit works with: its suspended concentrations, face outflows and
// face discharges, copied in and written back.
struct Visit {
  double c[NSEDEE + 1];
  double q[5];
  double g[NSEDEE + 1][5];
};

// Solid volume dt x G handed to element n over its face b after n's visit in this
// sub-step: n takes it in at its next visit instead of losing it.
void hold_if_visited(SedimentState& s, int n, int nsed, const double (&g)[NSEDEE + 1][5], int f,
                     double share, double dt) {
  if (s.visit_mark(n) != s.sub_step_mark) return;
  for (int k = 1; k <= nsed; ++k) s.SY_HELD_SEDIMENT(n, k) += share * g[k][f] * dt;
}

// Loose volume of group k held for element i (porosity eps), taken out of the hold.
double take_held(SedimentState& s, int i, int k, double eps) {
  const double held = s.SY_HELD_SEDIMENT(i, k);
  s.SY_HELD_SEDIMENT(i, k) = 0.0;
  return held / (1.0 - eps);
}

void fines_pre_pass(const FrameState& frame, SedimentState& s, double dt) {
  if (!s.fines_settling_velocity_set) {
    s.SY_FINES_SETTLING_VELOCITY = SY_SUBMERGED_UNIT_WEIGHT * s.DRSED(1) * s.DRSED(1) / SY_SETTLING_DIVISOR;
    s.fines_settling_velocity_set = true;
  }
  const double ws = s.SY_FINES_SETTLING_VELOCITY;
  for (int k = 1; k <= frame.NLF; ++k) {
    const double tau = s.SY_ELEMENT_SHEAR(k), c1 = s.FDEL(k, 1), a = frame.AREA(k);
    const double tau_c1 = SY_CRITICAL_SHEAR(GRAIN_RULE, s.DRSED(1), tau, 0.0);
    const double tau_d = s.ALPHA * tau_c1;
    const double p = tau_d > 0.0 ? std::max(tau_d - tau, 0.0) / tau_d : 0.0;
    s.SY_FINES_SURFACE_VOLUME(k) = (ws * dt * c1 * p + s.SY_ACTIVE_LAYER_SEDIMENT(k, 1)) * a;
    s.SY_BED_AT_REST(k) = tau <= tau_c1;
    s.SY_FINES_DEEP_VOLUME(k) =
        s.FBETA(k, 1) < s.SY_FINES_FRACTION_LIMIT
            ? ws * dt * a * std::max(c1 - s.SY_FINES_CONCENTRATION_LIMIT / (1.0 - s.PBSED(k)), 0.0)
            : 0.0;
  }
}

void column_balance(const FrameState& frame, SedimentState& s, int i, Visit& v, double dt) {
  const int nsed = s.NSED, soil = s.SY_SURFACE_SOIL_TYPE(i);
  const double eps = s.PLS(i), a = frame.AREA(i);
  double q_out = 0.0;
  for (int f = 1; f <= 4; ++f) {
    if (v.q[f] > 0.0) q_out += v.q[f];
  }
  const double depth = s.SY_WATER_DEPTH(i);
  const double vw = dt * q_out + depth * a;
  const double detached = s.SY_SOIL_TO_SEDIMENT_RATIO(i) * dt * s.SY_GROUND_EROSION_RATE(i);
  double tot[NSEDEE + 1];
  double total = 0.0;
  for (int k = 1; k <= nsed; ++k) {
    double inflow = 0.0;
    for (int f = 1; f <= 4; ++f) {
      if (!(v.q[f] > 0.0)) inflow -= v.g[k][f];
    }
    s.solids_eroded(k) += s.SOSDFN(soil, k) * detached * a * (1.0 - eps);
    tot[k] = (v.c[k] * s.SY_PREVIOUS_WATER_DEPTH(i) + s.FBETA(i, k) * s.DLS(i) +
              s.SOSDFN(soil, k) * detached) * a +
             inflow / (1.0 - eps) * dt + take_held(s, i, k, eps);
    total += tot[k];
  }
  const double potential = vw > 0.0 ? q_out / vw * (1.0 - eps) * total : 0.0;
  double phi = 0.0, divisor = 1.0;
  if (potential > 0.0) {
    const double capacity = SY_OVERLAND_CAPACITY(
        frame.DXQQ(i), frame.DYQQ(i), s.SY_OVERLAND_CAPACITY_SWITCH, depth, nsed,
        ConstRealSection(tot + 1, nsed), ConstRealSection(&s.DRSED(1), nsed),
        ConstRealSection(v.q + 1, 4),
        ConstRealSection(&s.SY_FACE_SLOPE(i, 1), 4, s.SY_FACE_SLOPE.extent(1)),
        ConstRealSection(&s.SY_FACE_SHEAR(i, 1), 4, s.SY_FACE_SHEAR.extent(1)));
    phi = std::min({capacity, s.FPCRIT * q_out, potential}) / potential;
    divisor = vw;
  }
  s.DLS(i) = (1.0 - phi) * total / a;
  for (int k = 1; k <= nsed; ++k) {
    s.FBETA(i, k) = s.DLS(i) > 0.0 ? tot[k] / total : s.SOSDFN(soil, k);
    // The carried sediment spreads through all the water that passes or stays.
    v.c[k] = phi * tot[k] / divisor;
    for (int f = 1; f <= 4; ++f) {
      if (v.q[f] > 0.0) v.g[k][f] = v.q[f] * (1.0 - eps) * v.c[k];
    }
  }
}

void link_balance(const FrameState& frame, const SurfaceState& surface, SedimentState& s, int k,
                  Visit& v, double dt) {
  const int nsed = s.NSED, bank_soil = s.NTSOBK(k);
  const double eps = s.PBSED(k), a = frame.AREA(k);
  const double volume_before = s.SY_PREVIOUS_ARXL(k) * frame.CLENTH(k);
  const double volume_now = surface.ARXL(k) * frame.CLENTH(k);
  double s_old = 0.0, s_new = 0.0;
  for (int g = nsed; g >= 1; --g) {
    double inflow = 0.0, carrier = 0.0;
    for (int f = 1; f <= 4; ++f) {
      if (v.q[f] > 0.0) {
        carrier += s.SY_CHANNEL_CARRIER_DISCHARGE(k, g, f);
      } else {
        inflow -= v.g[g][f];
      }
    }
    const double bank = dt * s.SY_BANK_SEDIMENT_SUPPLY(k) * s.SOSDFN(bank_soil, g);
    s.solids_eroded(g) += bank * (1.0 - eps);
    const double tot = a * s.SY_ACTIVE_LAYER_SEDIMENT(k, g) + bank +
                       dt * inflow / (1.0 - eps) +
                       v.c[g] * volume_before + take_held(s, k, g, eps);
    const double w = dt * carrier + volume_now;
    double deep = 0.0, surface_volume = 0.0;
    if (g <= s.NFINE) {
      const double fines = std::min(s.SY_FINES_SURFACE_VOLUME(k), tot);
      deep = std::min(s.SY_FINES_DEEP_VOLUME(k), fines);
      const double psi = s.SY_BED_AT_REST(k) && s_old > 0.0 ? std::min(s_new, s_old) / s_old : 0.0;
      surface_volume = std::max(fines - deep, 0.0) * psi;
    }
    const double e = std::max(tot - deep, 0.0);
    const double open = std::max(e - surface_volume, 0.0);
    const double transported = std::min(open, s.SY_CHANNEL_CAPACITY_CONCENTRATION(k, g) * w / (1.0 - eps));
    v.c[g] = w > 0.0 ? transported / w : 0.0;
    // A sub-step of no length has no rate.
    const double rate = dt > 0.0 ? deep / dt : 0.0;
    s.SY_INFILTRATION_RATE_DEEP(k, g) = rate;
    s.SY_INFILTRATION_RATE_SURFACE(k, g) = rate;
    s.SY_NEW_ACTIVE_SEDIMENT(k, g) = std::max(e - transported, 0.0) / a;
    s.SY_NEW_DEEP_SEDIMENT(k, g) = s.SY_DEEP_LAYER_SEDIMENT(k, g) + deep / a;
    for (int f = 1; f <= 4; ++f) {
      if (v.q[f] > 0.0) v.g[g][f] = s.SY_CHANNEL_CARRIER_DISCHARGE(k, g, f) * (1.0 - eps) * v.c[g];
    }
    s_new += s.SY_NEW_ACTIVE_SEDIMENT(k, g);
    s_old += s.SY_ACTIVE_LAYER_SEDIMENT(k, g);
  }
}

// Element i's outflow handed to the elements downstream of its outflow faces.
void hand_on(const FrameState& frame, SedimentState& s, int i, const Visit& v, double dt) {
  const int nsed = s.NSED;
  Array3<double>& face = s.SY_FACE_SEDIMENT_DISCHARGE;
  for (int f = 1; f <= 4; ++f) {
    if (!(v.q[f] > 0.0)) continue;
    const int n = frame.ICMREF(i, f, 2);
    if (n > 0) {
      const int b = frame.ICMREF(i, f, 3);
      for (int k = 1; k <= nsed; ++k) face(n, k, b) = -v.g[k][f];
      hold_if_visited(s, n, nsed, v.g, f, 1.0, dt);
    } else if (n == 0) {
      for (int k = 1; k <= nsed; ++k) s.solids_out(k) += v.g[k][f] * dt;
    } else {
      const int junction = -n;
      double shares = 0.0;
      for (int j = 1; j <= 3; ++j) {
        const int link = frame.ICMRF2(junction, j);
        if (link < 1) continue;
        const double share = s.SY_JUNCTION_SHARE(junction, j);
        shares += share;
        const int b = frame.ICMRF2(junction, j + 3);
        for (int k = 1; k <= nsed; ++k) face(link, k, b) -= share * v.g[k][f];
        hold_if_visited(s, link, nsed, v.g, f, share, dt);
      }
      // A junction that no link takes water from passes nothing on: the link keeps it.
      if (!(shares > 0.0)) {
        for (int k = 1; k <= nsed; ++k) s.SY_HELD_SEDIMENT(i, k) += v.g[k][f] * dt;
      }
    }
  }
}

}  // namespace

void SY_SUB_STEP(const FrameState& frame, const SurfaceState& surface, SedimentState& s, double dt) {
  const int nel = frame.NEL, nlf = frame.NLF, nsed = s.NSED;
  Array3<double>& face = s.SY_FACE_SEDIMENT_DISCHARGE;
  for (int f = 1; f <= 4; ++f) {
    for (int k = 1; k <= nsed; ++k) {
      for (int i = 1; i <= nel; ++i) face(i, k, f) = 0.0;
    }
  }
  for (int b = 1; b <= s.NSYB; ++b) {
    const int e = s.NSYBCD(b, 1), f = frame.NBFACE(e);
    if (f < 1 || f > 4) continue;
    for (int k = 1; k <= nsed; ++k) face(e, k, f) = s.SY_BOUNDARY_SEDIMENT_DISCHARGE(k, b);
  }
  if (nlf > 0) {
    SY_CHANNEL_CAPACITY(frame, surface, s);
    if (s.NFINE > 0) fines_pre_pass(frame, s, dt);
  }

  s.sub_step_mark += 1;
  Visit v;
  for (int p = 1; p <= nel; ++p) {
    const int i = frame.ISORT(p);
    if (i < 1 || i > nel) continue;
    s.visit_mark(i) = s.sub_step_mark;
    for (int f = 1; f <= 4; ++f) v.q[f] = sy_outflow(surface.QOC, i, f);
    for (int k = 1; k <= nsed; ++k) {
      v.c[k] = s.FDEL(i, k);
      for (int f = 1; f <= 4; ++f) v.g[k][f] = face(i, k, f);
    }
    if (i <= nlf) {
      link_balance(frame, surface, s, i, v, dt);
    } else {
      column_balance(frame, s, i, v, dt);
    }
    for (int k = 1; k <= nsed; ++k) {
      s.FDEL(i, k) = v.c[k];
      for (int f = 1; f <= 4; ++f) face(i, k, f) = v.g[k][f];
    }
    hand_on(frame, s, i, v, dt);
  }

  SY_BED_LAYER_SPLIT(frame, surface, s);
  for (int i = nlf + 1; i <= nel; ++i) s.SY_PREVIOUS_WATER_DEPTH(i) = s.SY_WATER_DEPTH(i);
  for (int k = 1; k <= nlf; ++k) s.SY_PREVIOUS_ARXL(k) = surface.ARXL(k);
}

void SY_BED_LAYER_SPLIT(const FrameState& frame, const SurfaceState& surface, SedimentState& s) {
  const int nsed = s.NSED;
  for (int k = 1; k <= frame.NLF; ++k) {
    double active = 0.0, deep = 0.0;
    for (int g = 1; g <= nsed; ++g) {
      active += s.SY_NEW_ACTIVE_SEDIMENT(k, g);
      deep += s.SY_NEW_DEEP_SEDIMENT(k, g);
    }
    const double total = active + deep;
    s.SY_NET_DEPOSITION_AREA(k) += (total - s.DLS(k)) * surface.CWIDTH(k);
    s.DLS(k) = total;
    const double depth = std::min(total, s.DCBEDO);
    s.SY_ACTIVE_LAYER_DEPTH(k) = depth;
    // The active layer keeps at most `depth` of its own material and is filled up to
    // `depth` from the layer below, group by group as the layer below is made up.
    const double kept = std::min(active, depth);
    const double fa = active > 0.0 ? kept / active : 0.0;
    const double fd = deep > 0.0 ? (depth - kept) / deep : 0.0;
    for (int g = 1; g <= nsed; ++g) {
      const double a = s.SY_NEW_ACTIVE_SEDIMENT(k, g), d = s.SY_NEW_DEEP_SEDIMENT(k, g);
      s.SY_ACTIVE_LAYER_SEDIMENT(k, g) = a * fa + d * fd;
      s.SY_DEEP_LAYER_SEDIMENT(k, g) = a + d - s.SY_ACTIVE_LAYER_SEDIMENT(k, g);
      if (total > 0.0) s.FBETA(k, g) = (a + d) / total;
    }
  }
}

void SY_MOVE_SEDIMENT(const FrameState& frame, const SurfaceState& surface, SedimentState& s) {
  SY_FLOW_VARIABLES(frame, surface, s);
  SY_SOIL_DETACHMENT(frame, surface, s);
  SY_BANK_EROSION(frame, surface, s);
  const double dt = s.NEPS > 0 ? frame.DTUZ / s.NEPS : 0.0;
  for (int step = 1; step <= s.NEPS; ++step) {
    SY_SUB_STEP(frame, surface, s, dt);
    s.SY_TIME += dt / 3600.0;
  }
  s.SY_TIME = frame.UZNOW;
}

}  // namespace quendal
