// Channel junctions: where three or four channel links meet at one grid node.
//
// The node holds no water of its own, so the flows from it into the links that meet
// there add up to zero. The junction level that balances them is found by a safeguarded
// false-position iteration, taken to round-off: it stops when the flow sum is at the
// rounding of the branch flows, when its bracket spans only a few units in the last
// place of the levels, or when the false position falls on an end of the bracket, since
// no level it could still reach would balance better. A
// coarser acceptance (a sum within a per cent of the flows and a bracket of a
// millimetre) lets differences of round-off in the levels become jumps of 1e-4 m in the
// level of a small tributary from one step to the next, larger than any difference
// between two exact solutions of the step. Only a balance that has not reached round-off
// within its passes is a failure (warning 1026 from the step). Each branch flow's
// sensitivity to every branch level is the
// implicit derivative at the balanced level: raising one branch level moves the junction
// level just so far that the node stays balanced, and every branch flow follows. So a
// raised level never draws more water into its own branch, and the changes of the branch
// flows always add up to zero. The junction level is not kept.
//
// A junction is seen from one link end, its branch 0 (a link face whose ICMREF plane-2
// entry is -J); branch m = 1..3 is the m-th link of junction entry J of ICMRF2 (left
// turn, straight on, right turn as seen arriving along branch 0), 0 where there is none.
// Every link end at the node lists the others in that order, so for branch k the m-th
// link of its own entry is branch (k + m) mod 4.
//
//   OC_JUNCTION_FLOW_SUM   branch flows and their sum at a trial junction level
//   OC_JUNCTION_LEVEL      the balancing iteration: branch flows that add up to zero
//   OC_JUNCTION_DERIVATIVES  the 4 x 4 derivative matrix at a balanced junction level
//   OC_JUNCTION_FLOWS      branch flows and the 4 x 4 derivative matrix of one junction
//   OC_JUNCTION_EVALUATED_AT  whether a junction face is the one its junction is
//                          evaluated from (its lowest-numbered link)
//   OC_JUNCTION_BRANCHES   gathers the branches of a junction face from the state
//   OC_STORE_JUNCTION_FLOWS  stores a junction's flows and derivatives in QSA, DQ0ST
//                          and DQIST2
//   OC_EVALUATE_JUNCTION   the three above around OC_JUNCTION_FLOWS: one junction's
//                          flows in the state
// All are free of allocation; the first three are pure.
#pragma once

#include <array>

#include "include/frame_state.h"
#include "include/surface_state.h"
#include "surface/oc/oc_face_flows.h"

namespace quendal {

constexpr int OC_MAX_JUNCTION_ITERATIONS = 50;

// One branch of a junction: branch 0 is the link end from which the junction is
// evaluated, branch m (1..3) the m-th link of its junction entry; an absent branch has
// element 0.
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

using JunctionValues = std::array<double, 4>;
// D[i][k] = dQk/dHi, the derivative of branch k's flow with respect to branch i's level.
using JunctionDerivatives = std::array<std::array<double, 4>, 4>;

// The flow into each branch's link (m3/s, as QSA) and its derivatives.
struct OcJunctionFlows {
  std::array<double, 4> Q{};
  JunctionDerivatives D{};
};

// Branch flows at a trial junction level z: for a present branch (c not zero),
// e = z - H, Q = sign(e) (max(e, 0) B + A) sqrt(|e|) / c; absent branches give 0.
// Above a branch the junction extends the branch's conveyance linearly with its slope
// over the height of the junction above the branch's level. Returns the sum of the Q.
double OC_JUNCTION_FLOW_SUM(double z, const JunctionValues& H, const JunctionValues& A,
                            const JunctionValues& B, const JunctionValues& c, JunctionValues& Q);

// The branch flows that balance at the junction: false position between the lowest and
// the highest branch level (branch 0 always, branches 1..3 when c is not zero), the
// stale end's sum halved when the same end moves twice. Stops when a sum is zero, when
// it is within the rounding of the branch flows (a few units in the last place of their
// total), when the bracket spans a few units in the last place of its levels, or when
// the false position falls on an end of the bracket; the
// residual sum is then subtracted from the branch flow of largest magnitude (the lowest
// branch number on a tie), so the returned flows add up to zero. Returns false when the
// iteration ran out of passes first: the residual is taken up in the same way.
bool OC_JUNCTION_LEVEL(const JunctionValues& H, const JunctionValues& A, const JunctionValues& B,
                       const JunctionValues& c, JunctionValues& Q);
// The same, also giving the junction level z of the last evaluation.
bool OC_JUNCTION_LEVEL(const JunctionValues& H, const JunctionValues& A, const JunctionValues& B,
                       const JunctionValues& c, JunctionValues& Q, double& z);

// Derivatives of the branch flows at the balanced junction level z, each branch's
// conveyance taken along its tangent at the branch depth (A + B dH, B held):
//   D[i][k] = dQk/dz dz/dHi + [k = i] dQi/dHi,  dz/dHi = -(dQi/dHi) / sum_k dQk/dz,
// square roots in denominators kept finite. Every D[i][i] <= 0, every
// D[i][k != i] >= 0 and every row i adds up to zero (D[i][i] is minus the sum of the
// others). All zero when no branch can exchange water at z (every branch dry there).
JunctionDerivatives OC_JUNCTION_DERIVATIVES(double z, const JunctionValues& H,
                                            const JunctionValues& A, const JunctionValues& B,
                                            const JunctionValues& c);

// Flows and derivatives of one junction.
// Branch depths below the bed are read as dry. The flows are those of OC_JUNCTION_LEVEL
// and D comes from OC_JUNCTION_DERIVATIVES at the level the balance reached.
// `converged` is set false when the balance used all its passes; the flows then still
// add up to zero, but the junction level was not found to round-off.
OcJunctionFlows OC_JUNCTION_FLOWS(const OcJunctionBranches& branches, bool& converged);

// True when face `face` of link `link` carries a junction entry (ICMREF(link, face, 2)
// = -J < 0) and no link that J lists is numbered below `link`: every junction is
// evaluated once, from its lowest-numbered link.
bool OC_JUNCTION_EVALUATED_AT(const FrameState& frame, int link, int face);

// The branches of the junction at face `face` of link `link` (branch 0) and of the
// links its entry J lists, from the state: HRF, ZGRUND, DHF, STRX/STRY of the face,
// CWIDTH, LINK_FULL_AREA and the section tables.
OcJunctionBranches OC_JUNCTION_BRANCHES(const FrameState& frame, const SurfaceState& surface,
                                        int link, int face);

// Stores the flows of the junction whose branch 0 carries entry J: for every present
// branch k, QSA and DQ0ST at its face and the junction terms of its own entry (branch
// 0: DQIST2(J, k) = D[k][0]; branch k with entry Jk: DQIST2(Jk, m) = D[(k + m) mod 4][k]
// for its links m that exist). DQIST of junction faces is not set.
void OC_STORE_JUNCTION_FLOWS(const FrameState& frame, SurfaceState& surface, int J,
                             const OcJunctionBranches& branches, const OcJunctionFlows& flows);

// The junction at face `face` of link `link` (ICMREF(link, face, 2) = -J): its branches
// from the state, OC_JUNCTION_FLOWS, and the results stored by OC_STORE_JUNCTION_FLOWS.
// Returns false when the balance did not converge.
bool OC_EVALUATE_JUNCTION(const FrameState& frame, SurfaceState& surface, int link, int face);

}  // namespace quendal
