// Channel junctions: the balance of the branch flows at the node, the derivatives, and
// how a junction face stores them.
#include "surface/oc/oc_junctions.h"

#include <gtest/gtest.h>

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

TEST(OcJunctionLevel, BalancesTheBranchFlows) {
  const std::vector<ConstantConveyanceCase> cases = {
      // Two branches at 1 and 0: sqrt(1 - z) = sqrt(z), z = 0.5.
      {"two branches", {1.0, 0.0, 0.0, 0.0}, {1.0, 1.0, 0.0, 0.0}, 0.5},
      // One branch at 1 feeding two at 0: sqrt(1 - z) = 2 sqrt(z), z = 0.2.
      {"one into two", {1.0, 0.0, 0.0, 0.0}, {1.0, 1.0, 1.0, 0.0}, 0.2},
      // Two at 1 feeding two at 0: the level lies half way.
      {"two into two", {1.0, 1.0, 0.0, 0.0}, {1.0, 1.0, 1.0, 1.0}, 0.5},
  };
  const double a = 3.0;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    JunctionValues A{}, B{}, Q{};
    for (int i = 0; i < 4; ++i) A[i] = k.c[i] != 0.0 ? a : 0.0;
    ASSERT_TRUE(OC_JUNCTION_LEVEL(k.H, A, B, k.c, Q));
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
      // Accepted within 1% of the total flow (the iteration's test) and a bracket of 1 mm.
      EXPECT_NEAR(Q[i], expected, 0.01 * total) << "branch " << i;
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

TEST(OcJunctionLevel, ABalanceOutOfPassesStillAddsUpToZero) {
  // Two branches 145 m apart with conveyances nine decades apart: the false position
  // does not close its bracket to 1 mm within its passes.
  const JunctionValues H = {-69.536433029972201, 0.0, 75.137936505644888, 0.0};
  const JunctionValues A = {3.1862000510900518e-06, 0.0, 32.235306917873807, 0.0};
  const JunctionValues B = {0.0, 0.0, 0.0, 0.0};
  const JunctionValues c = {16.500103828175039, 0.0, 1.0677344694005517, 0.0};
  JunctionValues Q{};
  EXPECT_FALSE(OC_JUNCTION_LEVEL(H, A, B, c, Q));
  EXPECT_GT(Q[0], 0.0);
  EXPECT_NEAR(Q[0] + Q[2], 0.0, 1e-15 * Q[0]);
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
    // Raising one level keeps the node balanced: the changes add up to zero. Each
    // balance is exact to rounding, divided by a perturbation of at least 1 mm.
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) sum += flows.D[i][k];
    EXPECT_NEAR(sum, 0.0, 1e-9 * std::fabs(flows.D[i][i]));
    EXPECT_EQ(flows.D[i][3], 0.0);
    EXPECT_EQ(flows.D[3][i], 0.0);
  }
  // A higher level in the giving branch sends more water out of it and into the others.
  // (A receiving branch may take more when raised: its own conveyance grows with its
  // depth.)
  EXPECT_LT(flows.D[0][0], 0.0);
  EXPECT_GT(flows.D[0][1], 0.0);
  EXPECT_GT(flows.D[0][2], 0.0);
}

TEST(OcJunctionFlows, PerturbationIsOnePercentOfTheDepthAndAtLeastOneMillimetre) {
  const OcSectionTable table = rectangular_table(30.0);
  struct Case {
    double depth, delta;
  };
  for (const Case k : {Case{0.0, 0.001}, Case{0.05, 0.001}, Case{0.5, 0.005}}) {
    SCOPED_TRACE(k.depth);
    OcJunctionBranches branches = {branch(1, 10.0 + k.depth, 10.0, table),
                                   branch(2, 10.2, 9.9, table), branch(3, 10.25, 10.0, table),
                                   OcJunctionBranch{}};
    const OcJunctionFlows flows = OC_JUNCTION_FLOWS(branches);
    OcJunctionBranches raised = branches;
    raised[0].H += k.delta;
    const OcJunctionFlows moved = OC_JUNCTION_FLOWS(raised);
    for (int j = 0; j < 3; ++j) {
      EXPECT_NEAR(flows.D[0][j], (moved.Q[j] - flows.Q[j]) / k.delta,
                  1e-9 * (std::fabs(flows.D[0][j]) + 1e-12));
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
