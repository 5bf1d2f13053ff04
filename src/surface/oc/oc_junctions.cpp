#include "surface/oc/oc_junctions.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "services/predicates.h"
#include "surface/oc/oc_conveyance.h"

namespace quendal {

namespace {

// The balance is taken as far as arithmetic allows. A flow sum can be no smaller than the
// rounding of its terms, a few units in the last place of the largest; and once the
// bracket spans no more than a few representable levels, or the false position falls on
// an end of it, no level the iteration can still reach would balance better. Accepting anything coarser (a sum within 1% of
// the flows, a bracket of 1 mm) turns round-off differences in the levels into jumps of
// the branch flows, and so of a small tributary's level, from one step to the next.
constexpr double JUNCTION_SUM_ROUND_OFF = 8.0 * std::numeric_limits<double>::epsilon();
constexpr double JUNCTION_BRACKET_ROUND_OFF = 4.0 * std::numeric_limits<double>::epsilon();

// True when the false position can no longer improve on the flow sum S of the branch
// flows Q: S is at their rounding, or the bracket [z_min, z_max] that S has just
// narrowed spans only a few units in the last place of its levels.
bool junction_balance_at_round_off(double S, const JunctionValues& Q, double z_min, double z_max) {
  const double total = std::fabs(Q[0]) + std::fabs(Q[1]) + std::fabs(Q[2]) + std::fabs(Q[3]);
  if (std::fabs(S) <= JUNCTION_SUM_ROUND_OFF * total) return true;
  const double magnitude = std::max(std::fabs(z_min), std::fabs(z_max));
  return z_max - z_min <= JUNCTION_BRACKET_ROUND_OFF * magnitude;
}

// Subtracts the residual from the branch flow of largest magnitude; on a tie the lower
// branch keeps the correction.
void absorb_residual(double S, JunctionValues& Q) {
  int largest = 0;
  for (int i = 1; i < 4; ++i) {
    if (std::fabs(Q[i]) > std::fabs(Q[largest])) largest = i;
  }
  Q[largest] -= S;
}

Conveyance branch_conveyance(const OcJunctionBranch& b, double depth) {
  return OC_SECTION_TABLE_CONVEYANCE(*b.table, std::max(depth, 0.0), b.K, b.W, b.A);
}

// Partial derivatives of the branch flows at junction level z: Gz[i] = dQi/dz at fixed
// branch levels (never negative) and Gh[i] = dQi/dHi at fixed z (never positive), with
// the branch's conveyance carried along its tangent (A + B dH, B held) as its level
// moves. A branch standing at the junction level has infinite partial derivatives, but
// the derivatives of the balanced junction stay finite (the junction level then follows
// that branch). The square roots in denominators are floored at that of a head
// difference of 1 micrometre, which keeps the derivatives of a junction standing at rest
// (every branch at one level) moderate enough for the row solution to stay accurate.
// The pair laws' floor of 0.0316 (a head difference of 1 mm) would be far too coarse
// here: a branch a fraction of a millimetre below the junction level, as the junction of
// two nearly equal feeders often is, would get derivatives 5 to 30% off those of the
// balance.
constexpr double JUNCTION_ROOT_FLOOR = 1e-3;
void junction_sensitivities(double z, const JunctionValues& H, const JunctionValues& A,
                            const JunctionValues& B, const JunctionValues& c, JunctionValues& Gz,
                            JunctionValues& Gh) {
  for (int i = 0; i < 4; ++i) {
    Gz[i] = 0.0;
    Gh[i] = 0.0;
    if (IS_ZERO(c[i])) continue;
    const double e = z - H[i];
    const double root = std::sqrt(std::fabs(e));
    const double half_over_root = 0.5 / std::max(JUNCTION_ROOT_FLOOR, root);
    if (e >= 0.0) {
      // Q = (e B + A) sqrt(e) / c: the conveyance term e B + A does not change with Hi
      // (the tangent's rise cancels the loss of e B).
      const double conveyance = e * B[i] + A[i];
      Gz[i] = (B[i] * root + conveyance * half_over_root) / c[i];
      Gh[i] = -conveyance * half_over_root / c[i];
    } else {
      // Q = -A sqrt(-e) / c.
      Gz[i] = A[i] * half_over_root / c[i];
      Gh[i] = -(B[i] * root + A[i] * half_over_root) / c[i];
    }
  }
}

}  // namespace

double OC_JUNCTION_FLOW_SUM(double z, const JunctionValues& H, const JunctionValues& A,
                            const JunctionValues& B, const JunctionValues& c, JunctionValues& Q) {
  double S = 0.0;
  for (int i = 0; i < 4; ++i) {
    if (IS_ZERO(c[i])) {
      Q[i] = 0.0;
      continue;
    }
    const double e = z - H[i];
    const double sign = e < 0.0 ? -1.0 : 1.0;
    Q[i] = sign * (std::max(e, 0.0) * B[i] + A[i]) * std::sqrt(std::fabs(e)) / c[i];
    S += Q[i];
  }
  return S;
}

bool OC_JUNCTION_LEVEL(const JunctionValues& H, const JunctionValues& A, const JunctionValues& B,
                       const JunctionValues& c, JunctionValues& Q) {
  double z = 0.0;
  return OC_JUNCTION_LEVEL(H, A, B, c, Q, z);
}

bool OC_JUNCTION_LEVEL(const JunctionValues& H, const JunctionValues& A, const JunctionValues& B,
                       const JunctionValues& c, JunctionValues& Q, double& z) {
  double z_min = H[0], z_max = H[0];
  for (int i = 1; i < 4; ++i) {
    if (IS_ZERO(c[i])) continue;
    z_min = std::min(z_min, H[i]);
    z_max = std::max(z_max, H[i]);
  }
  // At the lowest level no branch receives water and at the highest none gives any, so
  // S(z_min) <= 0 <= S(z_max) and the false position stays inside the bracket.
  z = z_min;
  double S_min = OC_JUNCTION_FLOW_SUM(z_min, H, A, B, c, Q);
  if (IS_ZERO(S_min)) return true;
  z = z_max;
  double S_max = OC_JUNCTION_FLOW_SUM(z_max, H, A, B, c, Q);
  if (IS_ZERO(S_max)) return true;

  double S_previous = S_min;
  double S = S_max;
  // The sums at the ends as evaluated (the stale end's is halved for the next false
  // position only). The balance ends at the end whose sum is the smaller, the residual
  // taken up as above.
  double at_min = S_min, at_max = S_max;
  const auto settle = [&](bool converged) {
    z = std::fabs(at_min) <= std::fabs(at_max) ? z_min : z_max;
    absorb_residual(OC_JUNCTION_FLOW_SUM(z, H, A, B, c, Q), Q);
    return converged;
  };
  for (int pass = 1; pass <= OC_MAX_JUNCTION_ITERATIONS; ++pass) {
    // The false position as a step from the lower end: the same level, but it stays
    // within the bracket when the two ends differ only in their last digits, where the
    // product form's cancellation can throw it outside. A step that falls on an end of
    // the bracket can no longer move it.
    z = z_min + (z_max - z_min) * (S_min / (S_min - S_max));
    if (!(z > z_min && z < z_max)) return settle(true);
    S = OC_JUNCTION_FLOW_SUM(z, H, A, B, c, Q);
    if (IS_ZERO(S)) return true;
    if (S_min * S >= 0.0) {
      z_min = z;
      S_min = at_min = S;
      if (IS_POSITIVE(S_previous * S)) S_max *= 0.5;
    } else {
      z_max = z;
      S_max = at_max = S;
      if (IS_POSITIVE(S_previous * S)) S_min *= 0.5;
    }
    S_previous = S;
    if (junction_balance_at_round_off(S, Q, z_min, z_max)) return settle(true);
  }
  // Out of passes: balanced all the same, so that the junction neither makes nor loses
  // water; the caller reports the failure.
  return settle(false);
}

JunctionDerivatives OC_JUNCTION_DERIVATIVES(double z, const JunctionValues& H,
                                            const JunctionValues& A, const JunctionValues& B,
                                            const JunctionValues& c) {
  JunctionDerivatives D{};
  JunctionValues Gz{}, Gh{};
  junction_sensitivities(z, H, A, B, c, Gz, Gh);
  const double slope = Gz[0] + Gz[1] + Gz[2] + Gz[3];
  // No branch can give or take water at this level (all dry): the flows stay zero
  // whatever the levels do to first order.
  if (!(slope > 0.0)) return D;
  for (int i = 0; i < 4; ++i) {
    if (IS_ZERO(c[i])) continue;
    // Raising Hi moves the balanced level by dz/dHi = -Gh[i] / sum(Gz), and every
    // branch's flow follows that move; branch i also loses head of its own. The diagonal
    // is taken as minus the sum of the others, so that the changes balance at the node
    // exactly.
    const double dz_dH = -Gh[i] / slope;
    double others = 0.0;
    for (int k = 0; k < 4; ++k) {
      if (k == i) continue;
      D[i][k] = Gz[k] * dz_dH;
      others += D[i][k];
    }
    D[i][i] = -others;
  }
  return D;
}

OcJunctionFlows OC_JUNCTION_FLOWS(const OcJunctionBranches& branches, bool& converged) {
  OcJunctionFlows result;
  JunctionValues H{}, A{}, B{}, c{};
  for (int i = 0; i < 4; ++i) {
    const OcJunctionBranch& b = branches[i];
    if (b.element < 1) continue;  // absent: c = 0
    H[i] = b.H;
    c[i] = std::sqrt(b.L);
    const Conveyance k = branch_conveyance(b, b.H - b.Z);
    A[i] = k.C;
    B[i] = k.dC_dh;
  }
  double z = 0.0;
  converged = OC_JUNCTION_LEVEL(H, A, B, c, result.Q, z);
  result.D = OC_JUNCTION_DERIVATIVES(z, H, A, B, c);
  return result;
}

bool OC_JUNCTION_EVALUATED_AT(const FrameState& frame, int link, int face) {
  const int g = frame.ICMREF(link, face, 2);
  if (g >= 0) return false;
  for (int m = 1; m <= 3; ++m) {
    const int other = frame.ICMRF2(-g, m);
    if (other != 0 && other < link) return false;
  }
  return true;
}

OcJunctionBranches OC_JUNCTION_BRANCHES(const FrameState& frame, const SurfaceState& surface,
                                        int link, int face) {
  const int J = -frame.ICMREF(link, face, 2);
  OcJunctionBranches branches;
  auto gather = [&](OcJunctionBranch& b, int element, int element_face) {
    if (element < 1) return;
    b.element = element;
    b.face = element_face;
    b.H = surface.GET_HRF(element);
    b.Z = frame.ZGRUND(element);
    b.L = frame.DHF(element, element_face);
    b.K = OC_FACE_STRICKLER(surface, element, element_face);
    b.W = surface.CWIDTH(element);
    b.A = surface.LINK_FULL_AREA(element);
    b.table = &surface.OC_SECTION_TABLE(element);
  };
  gather(branches[0], link, face);
  for (int m = 1; m <= 3; ++m) gather(branches[m], frame.ICMRF2(J, m), frame.ICMRF2(J, m + 3));
  return branches;
}

void OC_STORE_JUNCTION_FLOWS(const FrameState& frame, SurfaceState& surface, int J,
                             const OcJunctionBranches& branches, const OcJunctionFlows& flows) {
  // Branch k's own entry lists the other links in turn order as seen arriving along it,
  // so its m-th link is branch (k + m) mod 4.
  for (int k = 0; k < 4; ++k) {
    const OcJunctionBranch& b = branches[k];
    if (b.element < 1) continue;
    surface.SET_QSA(b.element, b.face, flows.Q[k]);
    surface.DQ0ST(b.element, b.face) = flows.D[k][k];
    const int Jk = k == 0 ? J : -frame.ICMREF(b.element, b.face, 2);
    if (Jk < 1) continue;
    for (int m = 1; m <= 3; ++m) {
      if (frame.ICMRF2(Jk, m) != 0) surface.DQIST2(Jk, m) = flows.D[(k + m) % 4][k];
    }
  }
}

bool OC_EVALUATE_JUNCTION(const FrameState& frame, SurfaceState& surface, int link, int face) {
  const OcJunctionBranches branches = OC_JUNCTION_BRANCHES(frame, surface, link, face);
  bool converged = true;
  const OcJunctionFlows flows = OC_JUNCTION_FLOWS(branches, converged);
  OC_STORE_JUNCTION_FLOWS(frame, surface, -frame.ICMREF(link, face, 2), branches, flows);
  return converged;
}

}  // namespace quendal
