#include "surface/oc/oc_flow_laws.h"

#include <algorithm>
#include <cmath>

#include "surface/oc/oc_conveyance.h"

namespace quendal {

namespace {

// Flow into the downstream element of a pair and its derivatives with respect to the
// upstream (u) and the downstream (d) level.
struct DownstreamFlow {
  double Q = 0.0;
  double dQ_dHu = 0.0;
  double dQ_dHd = 0.0;
};

// Q = C sqrt(Delta) / Lambda with conveyance C (slope Cp with respect to the upstream
// level) and head difference Delta >= 0. Below 1 mm of head the derivative of
// sqrt(Delta) is taken at 1 mm, and the conveyance slope stands in for the missing
// head, so that the Jacobian stays finite and non-zero at equal levels.
DownstreamFlow strickler_flow(double C, double Cp, double Delta, double Lambda) {
  const double root = std::sqrt(Delta);
  const double P = (C + Cp * std::max(OC_SMALL_HEAD - Delta, 0.0)) * 0.5 /
                   std::max(OC_SMALL_HEAD_ROOT, root);
  return {C * root / Lambda, (Cp * root + P) / Lambda, -P / Lambda};
}

// Distance-weighted Strickler coefficient of the face times its width.
double face_strickler(double K1, double K2, double L1, double L2, double W) {
  return (K1 * L1 + K2 * L2) / (L1 + L2) * W;
}

// Spreads the downstream flow over the pair: Qd = Q, Qu = -Q, and the upstream
// derivatives the negatives of the downstream ones.
OcPairFlow pair_from_downstream(bool upstream_is_2, const DownstreamFlow& f) {
  OcPairFlow p;
  if (upstream_is_2) {
    p.Q1 = f.Q;
    p.Q2 = -f.Q;
    p.D11 = f.dQ_dHd;
    p.D12 = f.dQ_dHu;
    p.D21 = -f.dQ_dHd;
    p.D22 = -f.dQ_dHu;
  } else {
    p.Q2 = f.Q;
    p.Q1 = -f.Q;
    p.D22 = f.dQ_dHd;
    p.D21 = f.dQ_dHu;
    p.D12 = -f.dQ_dHd;
    p.D11 = -f.dQ_dHu;
  }
  return p;
}

DownstreamFlow from_weir(const OcWeirFlow& w) { return {w.Q, w.dQ_dHu, w.dQ_dHd}; }

}  // namespace

OcWeirFlow OC_WEIR_FLOW(double Hu, double Zc, double Hd, double Cs, double Cf, double r) {
  if (Hu < Zc - OC_SMALL_HEAD) return {};
  const double hu = std::max(Hu - Zc, 0.0);
  const double hd = Hd - Zc;
  if (hd > r * hu) {
    // Submerged: the tail water controls. Hu >= Hd for every caller; the floor at zero
    // only keeps a reversed call from taking the root of a negative number.
    const double root = std::sqrt(std::max(Hu - Hd, 0.0));
    const double dQ_dHu =
        Cs * std::max(OC_SMALL_HEAD, hd) * 0.5 / std::max(OC_SMALL_HEAD_ROOT, root);
    return {Cs * hd * root, dQ_dHu, Cs * root - dQ_dHu};
  }
  return {Cf * hu * std::sqrt(hu), 1.5 * Cf * std::max(OC_SMALL_HEAD_ROOT, std::sqrt(hu)), 0.0};
}

OcPairFlow OC_NEIGHBOUR_FLOW_LEVEL(int code, double L1, double L2, double Z1, double Z2,
                                   double K1, double K2, double W, double H1, double H2) {
  if (code == OC_BC_IMPERMEABLE) return {};
  const bool upstream_is_2 = H2 >= H1;
  const double y = upstream_is_2 ? H2 - Z2 : H1 - Z1;
  const Conveyance c =
      OC_CONVEYANCE(face_strickler(K1, K2, L1, L2, W), y, OC_CONVEYANCE_OVERLAND);
  return pair_from_downstream(upstream_is_2,
                              strickler_flow(c.C, c.dC_dh, std::fabs(H2 - H1), std::sqrt(L1 + L2)));
}

OcPairFlow OC_NEIGHBOUR_FLOW(double W, double L1, double L2, double Z1, double Z2, double K1,
                             double K2, double H1, double H2) {
  const bool upstream_is_2 = H2 >= H1;
  const double Hu = upstream_is_2 ? H2 : H1;
  const double Hd = upstream_is_2 ? H1 : H2;
  if (Z2 < Z1) {
    // The neighbour lies below the bank top: water spills over the bank as over a weir.
    const double Cs = OC_BANK_WEIR_ROOT_2G * W;
    const OcWeirFlow w =
        OC_WEIR_FLOW(Hu, Z1, Hd, Cs, OC_BANK_WEIR_FREE_COEFFICIENT * Cs, OC_BANK_WEIR_SUBMERGENCE);
    return pair_from_downstream(upstream_is_2, from_weir(w));
  }
  // Both levels below the bank top: the link lies below the neighbour's ground and the
  // neighbour below its own ground, so there is no water to move (and the head
  // difference measured to the bank top would be negative).
  if (Hu < Z1) return {};
  // The link's reference is its bank top: only water above it leaves the channel, and
  // water entering the channel falls to the bank top, not to the channel's level.
  const double y = upstream_is_2 ? H2 - Z2 : H1 - Z1;
  const double Delta = std::fabs(H2 - H1) + std::min(Hd - Z1, 0.0);
  const Conveyance c =
      OC_CONVEYANCE(face_strickler(K1, K2, L1, L2, W), y, OC_CONVEYANCE_OVERLAND);
  DownstreamFlow f = strickler_flow(c.C, c.dC_dh, Delta, std::sqrt(L1 + L2));
  // More than 1 mm below the bank top the downstream level no longer enters the flow.
  if (Hd - Z1 < -OC_SMALL_HEAD) f.dQ_dHd = 0.0;
  return pair_from_downstream(upstream_is_2, f);
}

OcPairFlow OC_STRUCTURE_FLOW(int code, const OcChannelSide& link1, const OcChannelSide& link2,
                             const OcBoundaryNumbers& numbers, const OcZqDischarge* zq) {
  const bool upstream_is_2 = link2.H >= link1.H;
  const OcChannelSide& up = upstream_is_2 ? link2 : link1;
  const OcChannelSide& down = upstream_is_2 ? link1 : link2;
  if (code == OC_BC_WEIR) {
    const double Cw = numbers[0];
    const OcWeirFlow w = OC_WEIR_FLOW(up.H, numbers[2], down.H, Cw, Cw, numbers[1]);
    return pair_from_downstream(upstream_is_2, from_weir(w));
  }
  if (code == OC_BC_ZQ_TABLE) {
    if (zq == nullptr) return {};
    return pair_from_downstream(upstream_is_2, {zq->discharge, zq->rating_slope, 0.0});
  }
  // Channel flow: the upstream link's table holds its own roughness, so the face's
  // distance-weighted coefficient is not used; its own K only serves above bank-full.
  if (up.table == nullptr) return {};
  const Conveyance c = OC_SECTION_TABLE_CONVEYANCE(*up.table, up.H - up.Z, up.K, up.W, up.A);
  return pair_from_downstream(
      upstream_is_2,
      strickler_flow(c.C, c.dC_dh, std::fabs(link2.H - link1.H), std::sqrt(link1.L + link2.L)));
}

OcBoundaryFlow OC_BOUNDARY_FACE_FLOW(int code, double L, double Z, double K,
                                     const OcSectionTable* table, double W, double A,
                                     const OcBoundaryNumbers& numbers, double H, double F) {
  const int kind = code % 6;  // flux 4 and 10, polynomial 5 and 11 alike
  if (kind == OC_BC_FLUX) return {F, 0.0};
  if (kind == OC_BC_POLYNOMIAL) {
    const double y = H - Z;
    const auto& [a4, a3, a2, a1, a0] = numbers;
    // The polynomial gives the outflow; into the element is its negative.
    return {-((((a4 * y + a3) * y + a2) * y + a1) * y + a0),
            -(((4.0 * a4 * y + 3.0 * a3) * y + 2.0 * a2) * y + a1)};
  }
  if (code != OC_BC_WEIR && code != OC_BC_RIVER_WEIR) return {};

  const double Cw = numbers[0], r = numbers[1], Zc = numbers[2], Zo = numbers[3];
  const OcWeirFlow w = OC_WEIR_FLOW(std::max(Zo, H), Zc, std::min(Zo, H), Cw, Cw, r);
  OcBoundaryFlow b = H >= Zo ? OcBoundaryFlow{-w.Q, -w.dQ_dHu} : OcBoundaryFlow{w.Q, w.dQ_dHd};
  if (code == OC_BC_RIVER_WEIR && table != nullptr) {
    // Channel flow to the outside level over twice the node-to-face distance, with the
    // link's own depth whichever way the water runs.
    const double dH = Zo - H;
    const double s = dH < 0.0 ? -1.0 : 1.0;
    const double head = std::fabs(dH);
    const double root = std::sqrt(head);
    const double Lambda = std::sqrt(2.0 * L);
    const Conveyance c = OC_SECTION_TABLE_CONVEYANCE(*table, H - Z, K, W, A);
    b.Q += s * c.C * root / Lambda;
    b.dQ_dH += (s * c.dC_dh * root - (c.C + c.dC_dh * std::max(OC_SMALL_HEAD - head, 0.0)) * 0.5 /
                                         std::max(OC_SMALL_HEAD_ROOT, root)) /
               Lambda;
  }
  return b;
}

}  // namespace quendal
