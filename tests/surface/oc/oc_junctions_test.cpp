// Channel junctions: the balance of the branch flows at the node, the derivatives, and
// how a junction face stores them.
#include "surface/oc/oc_junctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "frame/mesh_builder.h"
#include "surface/oc/oc_catchment.h"
#include "surface/oc/oc_conveyance.h"

namespace quendal {
namespace {

TEST(OcJunctionFlowSum, BranchFlowsAtATrialLevel) {
  // Branch 0 stands above the trial level and gives water with its own conveyance;
  // branch 1 stands below it and receives with its conveyance extended by its slope over
  // the height of the junction above it; branch 2 is absent (c = 0).
  const JunctionValues H = {1.0, 0.0, 0.5, 0.0};
  const JunctionValues A = {2.0, 3.0, 5.0, 0.0};
  const JunctionValues B = {4.0, 1.0, 0.0, 0.0};
  const JunctionValues c = {1.0, 2.0, 0.0, 0.0};
  JunctionValues Q{};
  const double S = OC_JUNCTION_FLOW_SUM(0.25, H, A, B, c, Q);
  EXPECT_NEAR(Q[0], -2.0 * std::sqrt(0.75), 1e-15);
  EXPECT_NEAR(Q[1], (0.25 * 1.0 + 3.0) * 0.5 / 2.0, 1e-15);
  EXPECT_EQ(Q[2], 0.0);
  EXPECT_EQ(Q[3], 0.0);
  EXPECT_NEAR(S, Q[0] + Q[1], 1e-15);
}

// Branches with a constant conveyance A (slope 0) and equal c: the balance level z has a
// closed form, and the balanced flows follow from it.
struct ConstantConveyanceCase {
  const char* name;
  JunctionValues H;
  JunctionValues c;
  double z;  // the balancing level, worked out by hand
};

TEST(OcJunctionLevel, BalancesTheBranchFlowsToRoundOff) {
  const std::vector<ConstantConveyanceCase> cases = {
      // Two branches at 1 and 0: sqrt(1 - z) = sqrt(z), z = 0.5.
      {"two branches", {1.0, 0.0, 0.0, 0.0}, {1.0, 1.0, 0.0, 0.0}, 0.5},
      // One branch at 1 feeding two at 0: sqrt(1 - z) = 2 sqrt(z), z = 0.2.
      {"one into two", {1.0, 0.0, 0.0, 0.0}, {1.0, 1.0, 1.0, 0.0}, 0.2},
      // Two at 1 feeding two at 0: the level lies half way.
      {"two into two", {1.0, 1.0, 0.0, 0.0}, {1.0, 1.0, 1.0, 1.0}, 0.5},
      // The same two branches 100 m up: the level carries the digits of the datum.
      {"two branches at 100 m", {101.0, 100.0, 0.0, 0.0}, {1.0, 1.0, 0.0, 0.0}, 100.5},
  };
  const double a = 3.0;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    JunctionValues A{}, B{}, Q{};
    for (int i = 0; i < 4; ++i) A[i] = k.c[i] != 0.0 ? a : 0.0;
    double z = 0.0;
    ASSERT_TRUE(OC_JUNCTION_LEVEL(k.H, A, B, k.c, Q, z));
    // The balance stops when the flow sum is at the rounding of the flows (8 units in
    // the last place of their total) or the bracket at 4 units in the last place of the
    // level: with the sum's slope about the total flow per metre here, both put z within
    // 1e-15 m of the balance, or 4 units of 100 m (5.7e-14 m).
    EXPECT_NEAR(z, k.z, 1e-13);
    double sum = 0.0, total = 0.0;
    for (int i = 0; i < 4; ++i) {
      sum += Q[i];
      total += std::fabs(Q[i]);
    }
    // The residual is taken up by one branch: the flows add up to zero to rounding.
    EXPECT_NEAR(sum, 0.0, 1e-14 * total);
    for (int i = 0; i < 4; ++i) {
      if (k.c[i] == 0.0) {
        EXPECT_EQ(Q[i], 0.0);
        continue;
      }
      const double e = k.z - k.H[i];
      const double expected = (e < 0 ? -1.0 : 1.0) * a * std::sqrt(std::fabs(e)) / k.c[i];
      // A flow a sqrt(e) / c whose head e is known to 1e-13 m of at least 0.2 m moves by
      // less than 1e-12 of itself; the residual taken up is smaller still.
      EXPECT_NEAR(Q[i], expected, 1e-12 * total) << "branch " << i;
    }
  }
}

TEST(OcJunctionLevel, BranchesAtOneLevelExchangeNothing) {
  const JunctionValues H = {2.0, 2.0, 2.0, 0.0};
  const JunctionValues A = {1.0, 2.0, 3.0, 0.0};
  const JunctionValues B = {0.5, 0.5, 0.5, 0.0};
  const JunctionValues c = {1.0, 1.0, 1.0, 0.0};
  JunctionValues Q = {9.0, 9.0, 9.0, 9.0};
  EXPECT_TRUE(OC_JUNCTION_LEVEL(H, A, B, c, Q));
  for (double q : Q) EXPECT_EQ(q, 0.0);
}

TEST(OcJunctionLevel, StopsWhenTheBracketReachesTheLastPlaceOfTheLevel) {
  // Two branches 145 m apart with conveyances nine decades apart: the balance lies
  // 5.4e-15 m below the upper branch, closer than the spacing of representable levels
  // there (1.4e-14 m), where the flow sum jumps by the upper branch's conveyance over the
  // root of one unit in the last place. No level can make the sum smaller than that;
  // the bracket closes onto the upper branch and the balance stops within a few units
  // in the last place of it.
  const JunctionValues H = {-69.536433029972201, 0.0, 75.137936505644888, 0.0};
  const JunctionValues A = {3.1862000510900518e-06, 0.0, 32.235306917873807, 0.0};
  const JunctionValues B = {0.0, 0.0, 0.0, 0.0};
  const JunctionValues c = {16.500103828175039, 0.0, 1.0677344694005517, 0.0};
  JunctionValues Q{};
  double z = 0.0;
  EXPECT_TRUE(OC_JUNCTION_LEVEL(H, A, B, c, Q, z));
  EXPECT_LE(H[2] - z, 4.0 * 1.43e-14);
  EXPECT_GE(H[2] - z, 0.0);
  // Branch 0 receives at most A0 sqrt(H2 - H0) / c0 (2.32e-6 m3/s), what it would
  // at the upper branch's level, and branch 2 gives what it receives.
  const double received = A[0] * std::sqrt(H[2] - H[0]) / c[0];
  EXPECT_GE(Q[0], 0.0);
  EXPECT_LE(Q[0], received * (1.0 + 1e-12));
  EXPECT_NEAR(Q[0] + Q[2], 0.0, 1e-15 * received);
}

TEST(OcJunctionLevel, StopsWhenTheFalsePositionCanNoLongerMove) {
  // Three wide channels 2 to 8 mm apart at 107 m, as a storm's junction leaves them: the
  // sum of the branch flows (some 240 m3/s) changes by 7e-10 m3/s from one representable
  // level to the next, so the balancing level is found within a unit or two in the last
  // place of 107 m, and the false position then lands on an end of its bracket.
  const JunctionValues H = {107.02397494265867, 107.03189052648121, 0.0, 107.02297494265866};
  const JunctionValues A = {10698.028458778384, 10340.845932575874, 0.0, 10696.15640183886};
  const JunctionValues B = {1872.1224634301648, 1846.8651311384954, 0.0, 1871.9914148404873};
  const JunctionValues c = {7.0710678118654755, 7.0710678118654755, 0.0, 7.0710678118654755};
  JunctionValues Q{};
  double z = 0.0;
  EXPECT_TRUE(OC_JUNCTION_LEVEL(H, A, B, c, Q, z));
  EXPECT_NEAR(Q[0] + Q[1] + Q[3], 0.0, 1e-15 * std::fabs(Q[1]));
  // Within a few units in the last place (1.4e-14 m) of the level the bisection of the
  // flow sum finds.
  double lo = H[3], hi = H[1];
  JunctionValues R{};
  while (hi - lo > 1e-13) {
    const double m = 0.5 * (lo + hi);
    (OC_JUNCTION_FLOW_SUM(m, H, A, B, c, R) > 0.0 ? hi : lo) = m;
  }
  EXPECT_NEAR(z, 0.5 * (lo + hi), 1.5e-13);
}

TEST(OcJunctionLevel, ABalanceOutOfPassesStillAddsUpToZero) {
  // A dry branch with a conveyance of 1e-11 m3/s and a slope of 2e-3 m2/s, 90 um above
  // a branch of slope 381 and 9 mm below a deep one: the stale end's sum must be halved
  // over and over before the false position reaches round-off (76 passes).
  const JunctionValues H = {100.00000008650485, 100.00090348398179, 100.07043432953354,
                            99.99103993582457};
  const JunctionValues A = {1.3511236677502164e-11, 3.901588178811932e-11, 8.531550787226767e-08,
                            20.833452941184003};
  const JunctionValues B = {0.0022484878929876677, 381.42642498415154, 110.53400009862786,
                            638.9131924496978};
  const JunctionValues c = {8.30064953028629, 3.4905312330056764, 2.3475864688478274, 0.0};
  JunctionValues Q{};
  EXPECT_FALSE(OC_JUNCTION_LEVEL(H, A, B, c, Q));
  const double total = std::fabs(Q[0]) + std::fabs(Q[1]) + std::fabs(Q[2]);
  EXPECT_GT(total, 0.0);
  EXPECT_NEAR(Q[0] + Q[1] + Q[2], 0.0, 1e-15 * total);
}

// Rectangular sections: width 2 m, bank-full 1 m.
OcSectionTable rectangular_table(double strickler) {
  const std::vector<double> widths = {2.0, 2.0}, heights = {0.0, 1.0};
  return build_section_table(widths, heights, strickler);
}

OcJunctionBranch branch(int element, double level, double bed, const OcSectionTable& table) {
  OcJunctionBranch b;
  b.element = element;
  b.face = 1;
  b.H = level;
  b.Z = bed;
  b.L = 50.0;
  b.K = 30.0;
  b.W = 2.0;
  b.A = 2.0;
  b.table = &table;
  return b;
}

TEST(OcJunctionFlows, DerivativesKeepTheBalanceAndPointTheRightWay) {
  const OcSectionTable table = rectangular_table(30.0);
  // Three wet links of different depths and a fourth absent.
  OcJunctionBranches branches = {branch(1, 10.6, 10.0, table), branch(2, 10.3, 10.0, table),
                                 branch(3, 10.1, 9.9, table), OcJunctionBranch{}};
  bool converged = false;
  const OcJunctionFlows flows = OC_JUNCTION_FLOWS(branches, converged);
  EXPECT_TRUE(converged);
  EXPECT_LT(flows.Q[0], 0.0);  // the highest branch gives
  EXPECT_GT(flows.Q[2], 0.0);  // the lowest receives
  EXPECT_NEAR(flows.Q[0] + flows.Q[1] + flows.Q[2], 0.0, 1e-14 * std::fabs(flows.Q[0]));
  EXPECT_EQ(flows.Q[3], 0.0);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    // Raising one level keeps the node balanced: the changes add up to zero.
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) sum += flows.D[i][k];
    EXPECT_NEAR(sum, 0.0, 1e-12 * std::fabs(flows.D[i][i]));
    EXPECT_EQ(flows.D[i][3], 0.0);
    EXPECT_EQ(flows.D[3][i], 0.0);
  }
  // A higher level in the giving branch sends more water out of it and into the others.
  EXPECT_LT(flows.D[0][0], 0.0);
  EXPECT_GT(flows.D[0][1], 0.0);
  EXPECT_GT(flows.D[0][2], 0.0);
}

// The branch flows of a balance converged far beyond the iteration's tolerance: the
// flow sum rises with the junction level, so bisection between the lowest and the
// highest branch level finds the balancing level to 1e-13 m.
JunctionValues tightly_balanced(const JunctionValues& H, const JunctionValues& A,
                                const JunctionValues& B, const JunctionValues& c) {
  double lo = 1e9, hi = -1e9;
  for (int i = 0; i < 4; ++i) {
    if (c[i] == 0.0) continue;
    lo = std::min(lo, H[i]);
    hi = std::max(hi, H[i]);
  }
  JunctionValues Q{};
  while (hi - lo > 1e-13) {
    const double z = 0.5 * (lo + hi);
    (OC_JUNCTION_FLOW_SUM(z, H, A, B, c, Q) > 0.0 ? hi : lo) = z;
  }
  OC_JUNCTION_FLOW_SUM(0.5 * (lo + hi), H, A, B, c, Q);
  return Q;
}

TEST(OcJunctionFlows, DerivativesAreThoseOfTheBalancedJunction) {
  // Rectangular branches 2 m wide and 1 m deep, Strickler 30, 50 m from the node, beds
  // at 10.0; two branches at 10.6 and 10.5 feed a third that is shallow or deeper, and a
  // four-way case. Raising a branch level keeps the node balanced (each row of D adds up
  // to zero), takes water away from that branch (D[i][i] <= 0) and gives it to the others
  // (D[i][k] >= 0). The shallow third branch, well below the junction level, is where a
  // difference over re-read conveyances (the tangent's slope changing with the depth)
  // would turn its own derivative positive.
  const OcSectionTable table = rectangular_table(30.0);
  struct Case {
    const char* name;
    JunctionValues level;  // 0: branch absent
  };
  const std::vector<Case> cases = {
      {"third at 0.02 m", {10.6, 10.5, 10.02, 0.0}},
      {"third at 0.05 m", {10.6, 10.5, 10.05, 0.0}},
      {"third at 0.10 m", {10.6, 10.5, 10.10, 0.0}},
      {"third at 0.30 m", {10.6, 10.5, 10.30, 0.0}},
      {"four branches", {10.6, 10.5, 10.05, 10.3}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    OcJunctionBranches branches{};
    JunctionValues H{}, A{}, B{}, c{};
    for (int i = 0; i < 4; ++i) {
      if (k.level[i] == 0.0) continue;
      branches[i] = branch(i + 1, k.level[i], 10.0, table);
      H[i] = k.level[i];
      c[i] = std::sqrt(50.0);
      const Conveyance conveyance =
          OC_SECTION_TABLE_CONVEYANCE(table, k.level[i] - 10.0, 30.0, 2.0, 2.0);
      A[i] = conveyance.C;
      B[i] = conveyance.dC_dh;
    }
    bool converged = false;
    const OcJunctionFlows flows = OC_JUNCTION_FLOWS(branches, converged);
    EXPECT_TRUE(converged);
    for (int i = 0; i < 4; ++i) {
      if (c[i] == 0.0) continue;
      SCOPED_TRACE(i);
      double row = 0.0;
      for (int m = 0; m < 4; ++m) {
        row += flows.D[i][m];
        if (m != i) {
          EXPECT_GE(flows.D[i][m], 0.0) << m;
        }
      }
      EXPECT_LE(flows.D[i][i], 0.0);
      EXPECT_LE(std::fabs(row), 1e-12 * std::fabs(flows.D[i][i]));
      // Central difference of the tight balance, the raised branch's conveyance along
      // its tangent (A + B dH, B held).
      const double dH = 1e-5;
      JunctionValues H_up = H, H_down = H, A_up = A, A_down = A;
      H_up[i] += dH;
      H_down[i] -= dH;
      A_up[i] += B[i] * dH;
      A_down[i] -= B[i] * dH;
      const JunctionValues Q_up = tightly_balanced(H_up, A_up, B, c);
      const JunctionValues Q_down = tightly_balanced(H_down, A_down, B, c);
      for (int m = 0; m < 4; ++m) {
        const double reference = (Q_up[m] - Q_down[m]) / (2.0 * dH);
        EXPECT_NEAR(flows.D[i][m], reference, 0.01 * std::fabs(reference) + 1e-12) << m;
      }
    }
  }
}

// A T of three links: two east-west links along the south faces of (1, 2) and (2, 2)
// and a north-south link on the west face of (2, 2) meet at the south-west corner of
// square (2, 2).
struct JunctionMesh : testing::ModelWithFiles {
  void SetUp() override {
    testing::ModelWithFiles::SetUp();
    testing::OcCatchmentLayout layout;
    layout.nx = 3;
    layout.ny = 3;
    layout.ew_links = {{1, 2}, {2, 2}};
    layout.ns_links = {{2, 2}};
    layout.ground = [](int i, int j) { return 10.0 + 0.5 * i + 0.2 * j; };
    testing::build_oc_catchment(model, layout);
  }
};

TEST_F(JunctionMesh, StoresFlowsThatBalanceAndDerivativesOfEveryBranch) {
  const FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  ASSERT_EQ(frame.NLF, 3);
  ASSERT_EQ(frame.junction_entry_count, 3);
  // Different depths in the three links.
  const double depths[] = {0.4, 0.1, 0.7};
  for (int l = 1; l <= 3; ++l) surface.SET_HRF(l, frame.ZGRUND(l) + depths[l - 1]);

  // Each link's face at the node.
  int junction_face[4] = {0, 0, 0, 0};
  for (int l = 1; l <= 3; ++l) {
    for (int f = 1; f <= 4; ++f) {
      if (frame.ICMREF(l, f, 2) < 0) junction_face[l] = f;
    }
    ASSERT_NE(junction_face[l], 0) << "link " << l;
  }
  EXPECT_TRUE(OC_EVALUATE_JUNCTION(frame, surface, 1, junction_face[1]));

  double sum = 0.0;
  for (int l = 1; l <= 3; ++l) sum += surface.GET_QSA(l, junction_face[l]);
  EXPECT_NEAR(sum, 0.0, 1e-14 * std::fabs(surface.GET_QSA(3, junction_face[3])));

  // dQ(link)/dH(link) in DQ0ST and dQ(link)/dH(other) in DQIST2 of the link's own entry:
  // for each level, the changes of the three flows add up to zero.
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    double change = surface.DQ0ST(i, junction_face[i]);
    int found = 0;
    for (int l = 1; l <= 3; ++l) {
      if (l == i) continue;
      const int J = -frame.ICMREF(l, junction_face[l], 2);
      for (int m = 1; m <= 3; ++m) {
        if (frame.ICMRF2(J, m) == i) {
          change += surface.DQIST2(J, m);
          ++found;
        }
      }
    }
    EXPECT_EQ(found, 2);
    EXPECT_NEAR(change, 0.0, 1e-9 * std::fabs(surface.DQ0ST(i, junction_face[i])));
  }
}

}  // namespace
}  // namespace quendal
