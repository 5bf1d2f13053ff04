// Flow laws of the overland and channel flow component: the flow through one face and
// its derivatives with respect to the water levels on either side.
//
// Every law is a pure function of its arguments: it keeps nothing, allocates nothing
// and writes nothing, so the face-flow assembly (oc_face_flows.h) can call it for every
// face at every step and a test can call it without a grid.
//
// Conventions shared by all laws:
//   - a flow is a volume rate, m3/s, positive when it enters the element whose face it
//     is (the convention of QSA);
//   - a pair law serves element 1 and element 2 on the two sides of one face and
//     returns Q1, Q2 = -Q1 and D_ij = dQi/dHj (H the water levels, HRF), with
//     D_1j = -D_2j: whatever leaves one side enters the other;
//   - upstream is element 2 when H2 >= H1, element 1 otherwise (equal levels count
//     element 2 as upstream);
//   - a boundary law serves one element and returns Q and dQ/dH of its own level.
//
// Families:
//   OC_NEIGHBOUR_FLOW_LEVEL  Strickler overland flow between two non-link elements
//   OC_NEIGHBOUR_FLOW        a channel link and the bank element or grid square beside
//                            it: Strickler flow to the bank top, or a weir over it
//   OC_STRUCTURE_FLOW        two channel links: weir, level-discharge (ZQ) table, or
//                            Strickler channel flow with the upstream link's section
//   OC_BOUNDARY_FACE_FLOW    a face without neighbour: flux, polynomial outflow, weir,
//                            river with weir
//   OC_WEIR_FLOW             the weir law the others share
//
// The conveyances (overland and channel section) come from oc_conveyance.h.
#pragma once

#include <array>

#include "include/surface_state.h"

namespace quendal {

// Small numbers of the laws. Below OC_SMALL_HEAD of head difference (and of downstream
// weir head) the derivatives use floored values, so that they stay finite where the
// square root of the head difference has an infinite slope.
constexpr double OC_SMALL_HEAD = 0.001;               // m
constexpr double OC_SMALL_HEAD_ROOT = 0.0316227766;   // sqrt(OC_SMALL_HEAD), m^(1/2)
// Weir over a channel bank: sqrt(2 g), the free-flow coefficient and the submergence
// ratio (downstream head over upstream head) at which the submerged law takes over.
constexpr double OC_BANK_WEIR_ROOT_2G = 4.42944;
constexpr double OC_BANK_WEIR_FREE_COEFFICIENT = 0.386;
constexpr double OC_BANK_WEIR_SUBMERGENCE = 2.0 / 3.0;

// Result of a pair law: D11 = dQ1/dH1, D12 = dQ1/dH2, D21 = dQ2/dH1, D22 = dQ2/dH2.
struct OcPairFlow {
  double Q1 = 0.0, Q2 = 0.0;
  double D11 = 0.0, D12 = 0.0, D21 = 0.0, D22 = 0.0;
};

// Result of a boundary law.
struct OcBoundaryFlow {
  double Q = 0.0;
  double dQ_dH = 0.0;
};

// Result of the weir law: Q into the downstream side and its derivatives with respect
// to the upstream and the downstream level.
struct OcWeirFlow {
  double Q = 0.0;
  double dQ_dHu = 0.0;
  double dQ_dHd = 0.0;
};

// The five numbers of an OC boundary entry (OC_BOUNDARY_COEFFICIENTS(1..5, k)):
//   polynomial (codes 5, 11): a4, a3, a2, a1, a0 of the outflow a4 y^4 + ... + a0;
//   weir (codes 7, 8): weir coefficient Cw, submergence ratio r, crest level Zc,
//   outside (tail) level Zo, and a number no law reads.
using OcBoundaryNumbers = std::array<double, 5>;

// One channel link as a channel law sees it at one face.
struct OcChannelSide {
  double H = 0.0;  // level HRF, m
  double Z = 0.0;  // bed ZGRUND, m
  double L = 0.0;  // node-to-face distance DHF, m
  double K = 0.0;  // Strickler coefficient of the face (STRX faces 1, 3; STRY 2, 4)
  double W = 0.0;  // channel width CWIDTH, m
  double A = 0.0;  // LINK_FULL_AREA, m2
  const OcSectionTable* table = nullptr;  // the link's depth/conveyance table
};

// A level-discharge table's answer for one face, looked up by the caller at the
// upstream level max(H1, H2): the discharge (m3/s, -999.0 above the table's last row)
// and the table's first threshold level (m).
// A ZQ table's discharge at the upstream level and the slope of its rating there
// (dQ/dHu); the downstream level does not enter.
struct OcZqDischarge {
  double discharge = 0.0;
  double rating_slope = 0.0;
};

// Weir with upstream level Hu >= downstream level Hd, crest Zc, submerged coefficient
// Cs, free coefficient Cf and submergence ratio r:
//   no flow while Hu lies more than 1 mm below the crest;
//   submerged (hd > r hu, with hu = max(Hu - Zc, 0), hd = Hd - Zc):
//     Q = Cs hd sqrt(Hu - Hd);
//   free: Q = Cf hu^(3/2), independent of Hd.
// Within 1 mm of a zero head the derivatives use floored heads (finite, and not zero
// when the weir is about to flow).
OcWeirFlow OC_WEIR_FLOW(double Hu, double Zc, double Hd, double Cs, double Cf, double r);

// Strickler overland flow between two non-link elements (grid squares, bank elements):
// Q = Keff W y^(5/3) sqrt(|H2 - H1|) / sqrt(L1 + L2), with Keff the distance-weighted
// Strickler coefficient (K1 L1 + K2 L2) / (L1 + L2), W the face width and y the
// upstream depth above its ground (the shallow polynomial below 1 mm, zero below
// 1e-9 m). The ground levels enter only through y. Code 1 (impermeable) gives no flow.
OcPairFlow OC_NEIGHBOUR_FLOW_LEVEL(int code, double L1, double L2, double Z1, double Z2,
                                   double K1, double K2, double W, double H1, double H2);

// A channel link (element 1) and the bank element or grid square beside it (element 2):
// W = CLENTH of the link, L1 = 0 (only the neighbour's distance counts), Z1 = ZBFULL of
// the link (its bank top), Z2 = ZGRUND of the neighbour.
//   Neighbour ground at or above the bank top: Strickler flow over the face. The flow
//   depth is the link's depth above its bank top when the link is upstream, the
//   neighbour's depth otherwise; a downstream level below the bank top does not pull
//   water: the head difference ends at the bank top. With both levels below the bank
//   top nothing flows.
//   Neighbour ground below the bank top: the bank top is a weir (free until the
//   downstream head passes 2/3 of the upstream head).
OcPairFlow OC_NEIGHBOUR_FLOW(double W, double L1, double L2, double Z1, double Z2, double K1,
                             double K2, double H1, double H2);

// Two channel links that share a face, element 1 = link1, element 2 = link2:
//   code 7 (weir between the links): OC_WEIR_FLOW with the entry's crest level
//     (numbers[2]), Cs = Cf = its coefficient (numbers[0]) and ratio (numbers[1]);
//   code 12 (a ZQ table on the face): the discharge `zq` gives into the downstream
//     link; dQ/dHu = the table's rating slope at Hu, dQ/dHd = 0. The caller
//     writes the diagnostic record of the evaluation (Hu, Q1 or Q2 of the downstream
//     link, and its derivative). Without `zq` the face carries no flow;
//   any other code: Strickler channel flow C(y) sqrt(|H2 - H1|) / sqrt(L1 + L2), with
//     C the section-table conveyance of the upstream link at its depth y above its bed
//     (its own table, roughness, width and full area).
OcPairFlow OC_STRUCTURE_FLOW(int code, const OcChannelSide& link1, const OcChannelSide& link2,
                             const OcBoundaryNumbers& numbers, const OcZqDischarge* zq = nullptr);

// A face without neighbour that carries an OC boundary entry of type `code`, for an
// element with level H, reference level Z (ground, or bed of a link), node-to-face
// distance L, face Strickler coefficient K and face width W; `table` and A (full area)
// belong to the element when it is a link (only code 8 reads them; may be null
// otherwise). F is the current flux of the entry's category.
//   codes 4, 10 (flux): Q = F;
//   codes 5, 11 (polynomial): Q = -(a4 y^4 + a3 y^3 + a2 y^2 + a1 y + a0), y = H - Z;
//   code 7 (weir to the outside level Zo): outflow over the weir when H >= Zo, inflow
//     otherwise;
//   code 8 (river with weir): the weir of code 7 plus channel flow between the link at
//     its own depth and the outside level Zo over the distance 2 L;
//   any other code (impermeable, heads): no flow.
OcBoundaryFlow OC_BOUNDARY_FACE_FLOW(int code, double L, double Z, double K,
                                     const OcSectionTable* table, double W, double A,
                                     const OcBoundaryNumbers& numbers, double H, double F);

}  // namespace quendal
