// Face flows of the overland and channel flow step: the flow through every face of
// every element and its derivatives, from the flow laws of oc_flow_laws.h.
//
// OC_FACE_FLOWS linearises the surface flows at the start of each OC step; the row
// solver builds its equations from what it stores:
//   QSA(e, f)    flow through face f, m3/s, positive into e;
//   DQ0ST(e, f)  its derivative with respect to HRF(e);
//   DQIST(e, f)  its derivative with respect to the level of the neighbour across f
//                (0 on a boundary face);
//   (DQIST2, the junction terms, come from oc_junctions.h.)
// A face shared by two elements is evaluated once, from the lower-numbered element, and
// both sides are stored from the one result, so the flows are equal and opposite.
#pragma once

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

// Evaluates every face of elements 1..NEL:
//   - a face between two elements: the pair law for the kinds on its two sides
//     (overland between non-link elements, bank law between a link and a non-link,
//     channel law between two links), with the type code of an OC boundary entry on
//     either side of the face (impermeable, weir between links);
//   - a face without neighbour that carries the element's OC boundary entry: the
//     boundary law, flux entries taking their category's value from `flux_values`
//     (m3/s, indexed by category); a face without neighbour and without entry keeps
//     its QSA;
//   - a junction face is left alone (its QSA, DQ0ST and DQIST2 keep their values): the
//     junctions are balanced by OC_EVALUATE_JUNCTION (oc_junctions.h), which the OC
//     step calls right after this, so that it can report a balance that failed.
// Reads ICMREF, ICMRF2, NLF, NEL, ZGRUND, DHF, DXQQ, DYQQ, CLENTH and HRF, STRX, STRY,
// ZBFULL, CWIDTH, LINK_FULL_AREA, OC_SECTION_TABLE and the OC boundary table; writes
// QSA, DQ0ST and DQIST. Allocates nothing.
// A face between two links that a level-discharge (ZQ) table names from either side
// (the last such table) takes the table's discharge (code 12), whatever entry the face
// has; each evaluation sets ZQ_ACTIVE_TABLE, may change the table's operating column
// and writes the ZQ diagnostics (zq_tables.h).
void OC_FACE_FLOWS(const FrameState& frame, SurfaceState& surface,
                   const Array1<double>& flux_values);

}  // namespace quendal
