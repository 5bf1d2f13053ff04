// Channel junctions: where three or four channel links meet at one grid node.
//
// The node holds no water of its own, so the flows from it into the links that meet
// there add up to zero. The junction level that balances them is found by a safeguarded
// false-position iteration; each branch flow's sensitivity to every branch level comes
// from perturbing one level at a time and solving again. The junction level is not kept.
//
// A junction is seen from one link end, its branch 0 (a link face whose ICMREF plane-2
// entry is -J); branch m = 1..3 is the m-th link of junction entry J of ICMRF2 (left
// turn, straight on, right turn as seen arriving along branch 0), 0 where there is none.
// Every link end at the node lists the others in that order, so for branch k the m-th
// link of its own entry is branch (k + m) mod 4.
//
//   OC_JUNCTION_FLOW_SUM   branch flows and their sum at a trial junction level
//   OC_JUNCTION_LEVEL      the balancing iteration: branch flows that add up to zero
//   OC_JUNCTION_FLOWS      branch flows and the 4 x 4 derivative matrix of one junction
//   OC_EVALUATE_JUNCTION   gathers the branches of a junction face from the state, runs
//                          OC_JUNCTION_FLOWS and stores QSA, DQ0ST and DQIST2
// All are free of allocation; the first three are pure.
#pragma once

#include <array>

#include "include/frame_state.h"
#include "include/surface_state.h"
#include "surface/oc/oc_face_flows.h"

namespace quendal {

constexpr int OC_MAX_JUNCTION_ITERATIONS = 50;

using JunctionValues = std::array<double, 4>;

// Branch flows at a trial junction level z: for a present branch (c not zero),
// e = z - H, Q = sign(e) (max(e, 0) B + A) sqrt(|e|) / c; absent branches give 0.
// Above a branch the junction extends the branch's conveyance linearly with its slope
// over the height of the junction above the branch's level. Returns the sum of the Q.
double OC_JUNCTION_FLOW_SUM(double z, const JunctionValues& H, const JunctionValues& A,
                            const JunctionValues& B, const JunctionValues& c, JunctionValues& Q);

// The branch flows that balance at the junction: false position between the lowest and
// the highest branch level (branch 0 always, branches 1..3 when c is not zero), the
// stale end's sum halved when the same end moves twice. Stops when a sum is zero, or
// when the sum is within 1% of the total flow and the bracket within 1 mm; the residual
// sum is then subtracted from the branch flow of largest magnitude (the lowest branch
// number on a tie), so the returned flows add up to zero. Returns false when the
// iteration ran out of passes: the residual is taken up in the same way.
bool OC_JUNCTION_LEVEL(const JunctionValues& H, const JunctionValues& A, const JunctionValues& B,
                       const JunctionValues& c, JunctionValues& Q);

// Flows and derivatives of one junction (the branches and results of oc_face_flows.h).
// Branch depths below the bed are read as dry. D[i][k] comes from raising level i by
// max(0.01 x depth, 0.001) m and balancing again. `converged` is set false when one of
// the level iterations (the balance or a perturbed one) used all its passes; the flows
// then still add up to zero, but the junction level was not found to its tolerance.
OcJunctionFlows OC_JUNCTION_FLOWS(const OcJunctionBranches& branches, bool& converged);
// The same as an OcJunctionLaw, for OC_FACE_FLOWS (a failure to converge goes unseen).
OcJunctionFlows OC_JUNCTION_FLOWS(const OcJunctionBranches& branches);

// The junction at face `face` of link `link` (ICMREF(link, face, 2) = -J): gathers the
// branches from the state (HRF, ZGRUND, DHF, STRX/STRY of the face, CWIDTH,
// LINK_FULL_AREA, the section tables), runs OC_JUNCTION_FLOWS and stores, for every
// present branch k, QSA and DQ0ST at its face and the junction terms DQIST2 of its
// junction entry (branch 0: DQIST2(J, k) = D[k][0]; branch k with entry Jk:
// DQIST2(Jk, m) = D[(k + m) mod 4][k] for its links m that exist). DQIST of junction
// faces is not set. Returns false when the balance did not converge.
bool OC_EVALUATE_JUNCTION(const FrameState& frame, SurfaceState& surface, int link, int face);

}  // namespace quendal
