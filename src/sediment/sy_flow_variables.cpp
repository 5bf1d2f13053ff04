#include "sediment/sy_flow_variables.h"

#include <algorithm>
#include <cmath>

#include "services/predicates.h"

namespace quendal {

double SY_CRITICAL_SHEAR(int critical_shear_switch, double d, double tau, double p) {
  if (critical_shear_switch == 1) return 0.493 * std::exp(SY_SOIL_SHEAR_EXPONENT * p);
  // The Shields-type curve as power laws of the grain Reynolds number, by range.
  double r = std::sqrt(tau) * SY_GRAIN_REYNOLDS_FACTOR * d;
  r = std::max(std::min(r, 400.0), 0.03);
  double a, b;
  if (r <= 1.0) {
    a = 0.1, b = -0.3;
  } else if (r <= 6.0) {
    a = 0.1, b = -0.62;
  } else if (r <= 30.0) {
    a = 0.033, b = 0.0;
  } else if (r <= 135.0) {
    a = 0.013, b = 0.28;
  } else {
    a = 0.03, b = 0.1;
  }
  return SY_SUBMERGED_UNIT_WEIGHT * d * a * std::pow(r, b);
}

double sy_drop_diameter(double net_rain, double drainage, double drip_diameter) {
  if (net_rain <= 0.0) return 1e-4;
  return std::max({1e-4, drainage / net_rain * drip_diameter, 0.01935 * std::pow(net_rain, 0.182)});
}

namespace {

int opposite_face(int f) { return f <= 2 ? f + 2 : f - 2; }

// The partner of element i over junction entry j for the slope of its face f, as
// (element, face); i itself when the water's path through the junction leaves it
// level. Writes the junction's shares when i discharges into it through face `own`.
void junction_partner(const FrameState& frame, const Array2<double>& qoc, int i, int f, int own,
                      int junction, Array2<double>& shares, int& n, int& b) {
  const double from_junction = -sy_outflow(qoc, i, f);
  double into_link[4] = {from_junction, 0.0, 0.0, 0.0};
  double total = 0.0;
  int smallest = 0, largest = 0;
  for (int k = 1; k <= 3; ++k) {
    const int link = frame.ICMRF2(junction, k);
    if (link < 1) continue;
    into_link[k] = -sy_outflow(qoc, link, frame.ICMRF2(junction, k + 3));
    total += std::max(into_link[k], 0.0);
    if (into_link[k] < into_link[smallest]) smallest = k;
    if (into_link[k] > into_link[largest]) largest = k;
  }
  // Water entering i comes from the link that gives most (the smallest inflow);
  // water leaving i goes mostly to the link that takes most.
  const int position = from_junction > 0.0 ? smallest : largest;
  if (position == 0) {
    n = i;
    b = f;
  } else {
    n = frame.ICMRF2(junction, position);
    b = frame.ICMRF2(junction, position + 3);
  }
  if (f == own && sy_outflow(qoc, i, own) > 0.0) {
    // With no link taking water out of the junction every share is 0: a share of 0/0
    // would carry a NaN through the suspended concentrations of the whole network.
    for (int k = 1; k <= 3; ++k) {
      shares(junction, k) = total > 0.0 ? std::max(into_link[k], 0.0) / total : 0.0;
    }
  }
}

// Slope of the water surface from element i (face f) to element n (face b).
double face_slope(const FrameState& frame, const SurfaceState& surface, int i, int f, int n, int b) {
  double hi = frame.HRF_SY_COPY(i), hn = frame.HRF_SY_COPY(n);
  double di = frame.DHF(i, f), dn = frame.DHF(n, b);
  const bool i_link = i <= frame.NLF, n_link = n <= frame.NLF;
  if (i_link != n_link) {
    // Water below the bank top is measured from the bank top, where it spills over.
    const double z = surface.ZBFULL(i_link ? i : n);
    if (hi <= z) {
      hi = z;
      di = 0.0;
    }
    if (hn <= z) {
      hn = z;
      if (di > 0.0) dn = 0.0;
    }
  }
  // Two zero distances come only from a mesh that fails the geometry check.
  const double distance = di + dn;
  return distance > 0.0 ? std::fabs(hi - hn) / distance : 0.0;
}

}  // namespace

void SY_FLOW_VARIABLES(const FrameState& frame, const SurfaceState& surface, SedimentState& s) {
  const int nlf = frame.NLF, nel = frame.NEL;
  for (int v = 1; v <= frame.NV; ++v) {
    s.SY_CANOPY_COVER(v) = std::min(surface.CLAI(v), 1.0) * surface.PLAI(v);
  }
  for (int i = nlf + 1; i <= nel; ++i) {
    const int v = frame.NVC(i);
    const double p = surface.PNETTO(i), drainage = surface.DRAINA(i), cover = s.SY_CANOPY_COVER(v);
    s.SY_DROP_DIAMETER(i) = sy_drop_diameter(p, drainage, s.DRDRIP(v));
    s.SY_DIRECT_RAIN_RATE(i) = cover < 1.0 ? std::max(p - drainage, 0.0) / (1.0 - cover) : 0.0;
  }

  const Array2<double>& qoc = surface.QOC;
  for (int i = 1; i <= nel; ++i) {
    const double depth = std::max(frame.HRF_SY_COPY(i) - frame.ZGRUND(i), 0.0);
    s.SY_WATER_DEPTH(i) = depth;
    double largest_flow = 0.0, element_shear = 0.0;
    bool any_flow = false;
    for (int j = 1; j <= 4; ++j) {
      // A link computes only its two end faces.
      if (i <= nlf && ((j % 2 == 0) != (frame.LINK_NORTH_SOUTH(i) != 0))) continue;
      const double q = sy_outflow(qoc, i, j);
      if (IS_ZERO(q)) {
        s.SY_FACE_SLOPE(i, j) = 0.0;
        s.SY_FACE_SHEAR(i, j) = 0.0;
        continue;
      }
      // A face without a neighbour takes the slope across the opposite face.
      int f = j;
      int n = frame.ICMREF(i, f, 2);
      if (n == 0) {
        f = opposite_face(j);
        n = frame.ICMREF(i, f, 2);
      }
      int b;
      if (n == 0) {
        n = i;
        b = f;
      } else if (n > 0) {
        b = frame.ICMREF(i, f, 3);
      } else {
        junction_partner(frame, qoc, i, f, j, -n, s.SY_JUNCTION_SHARE, n, b);
      }
      const double slope = face_slope(frame, surface, i, f, n, b);
      s.SY_FACE_SLOPE(i, j) = slope;
      s.SY_FACE_SHEAR(i, j) = SY_WATER_UNIT_WEIGHT * depth * slope;
      if (!any_flow || std::fabs(q) > largest_flow) {
        any_flow = true;
        largest_flow = std::fabs(q);
        element_shear = s.SY_FACE_SHEAR(i, j);
      }
    }
    s.SY_ELEMENT_SHEAR(i) = element_shear;
  }
}

}  // namespace quendal
