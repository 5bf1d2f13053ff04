// Face flows of the overland and channel flow step: the flow through every face of
// every element and its derivatives, from the flow laws of oc_flow_laws.h.
//
// OC_FACE_FLOWS linearises the surface flows at the start of each OC step; the row
// solver builds its equations from what it stores:
//   QSA(e, f)    flow through face f, m3/s, positive into e;
//   DQ0ST(e, f)  its derivative with respect to HRF(e);
//   DQIST(e, f)  its derivative with respect to the level of the neighbour across f
//                (0 on a boundary face);
//   DQIST2(J, m) at a channel junction, the derivative of the flow of entry J's link
//                with respect to the level of the m-th link J lists.
// A face shared by two elements is evaluated once, from the lower-numbered element, and
// both sides are stored from the one result, so the flows are equal and opposite.
#pragma once

#include <array>

#include "include/frame_state.h"
#include "include/surface_state.h"

namespace quendal {

// Strickler coefficient of element e at face f: STRX across faces 1 and 3 (east, west),
// STRY across faces 2 and 4 (north, south).
inline double OC_FACE_STRICKLER(const SurfaceState& surface, int e, int f) {
  return (f == 1 || f == 3) ? surface.STRX(e) : surface.STRY(e);
}

// Width of element e across face f: DYQQ for faces 1 and 3, DXQQ for faces 2 and 4.
inline double OC_FACE_WIDTH(const FrameState& frame, int e, int f) {
  return (f == 1 || f == 3) ? frame.DYQQ(e) : frame.DXQQ(e);
}

// --- channel junctions -------------------------------------------------------------
// Where three or four links meet at a grid node the face flows gather one branch per
// link end and hand them to the junction law, which balances them through the node.
// Branch 0 is the link end from which the junction is evaluated, branch m (1..3) the
// m-th link of its junction entry; an absent branch has element 0.
struct OcJunctionBranch {
  int element = 0;  // the link, 0 when the branch is absent
  int face = 0;     // its face at the node
  double H = 0.0;   // level HRF, m
  double Z = 0.0;   // bed ZGRUND, m
  double L = 0.0;   // node-to-face distance DHF at that face, m
  double K = 0.0;   // Strickler coefficient of the face
  double W = 0.0;   // CWIDTH, m
  double A = 0.0;   // LINK_FULL_AREA, m2
  const OcSectionTable* table = nullptr;  // the link's depth/conveyance table
};
using OcJunctionBranches = std::array<OcJunctionBranch, 4>;

// What the junction law returns: the flow into each branch's link (m3/s, as QSA) and
// D[i][k] = dQk/dHi, the derivative of branch k's flow with respect to branch i's level.
struct OcJunctionFlows {
  std::array<double, 4> Q{};
  std::array<std::array<double, 4>, 4> D{};
};
using OcJunctionLaw = OcJunctionFlows (*)(const OcJunctionBranches& branches);

// Evaluates every face of elements 1..NEL:
//   - a face between two elements: the pair law for the kinds on its two sides
//     (overland between non-link elements, bank law between a link and a non-link,
//     channel law between two links), with the type code of an OC boundary entry on
//     either side of the face (impermeable, weir between links);
//   - a face without neighbour that carries the element's OC boundary entry: the
//     boundary law, flux entries taking their category's value from `flux_values`
//     (m3/s, indexed by category); a face without neighbour and without entry keeps
//     its QSA;
//   - a junction face: once per junction, from its lowest-numbered link, through
//     `junction_law`; with no law the junction faces keep their QSA, DQ0ST and DQIST2.
// Reads ICMREF, ICMRF2, NLF, NEL, ZGRUND, DHF, DXQQ, DYQQ, CLENTH and HRF, STRX, STRY,
// ZBFULL, CWIDTH, LINK_FULL_AREA, OC_SECTION_TABLE and the OC boundary table; writes
// QSA, DQ0ST, DQIST (and DQIST2 at junctions). Allocates nothing.
// Faces that carry a level-discharge (ZQ) table get the channel law until those tables
// are connected.
void OC_FACE_FLOWS(const FrameState& frame, SurfaceState& surface,
                   const Array1<double>& flux_values, OcJunctionLaw junction_law = nullptr);

}  // namespace quendal
