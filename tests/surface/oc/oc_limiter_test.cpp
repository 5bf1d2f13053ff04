// The outflow limiter on small hand-made element tables: the repairs it makes, the
// water it moves between an element and its partner, and what it reports.
#include "surface/oc/oc_limiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model_fixture.h"
#include "services/error_reporting.h"

namespace quendal {
namespace {

// A row of n elements from west to east: element e's face 1 (east) meets element e + 1's
// face 3; faces 2 and 4 and the two ends lie on the catchment boundary. Every element
// has `area` m2 and faces `width` m wide. With area 100 m2 and a step of 100 s a flow of
// 1 m3/s over the step changes a level by 1 m (P = 1).
struct LimiterTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  Array1<double> H;
  Array2<double> Q;
  // No channel sections unless a test adds links.
  Array1<int> NXSECT;
  Array2<double> XINH, XINW;
  Array1<double> CWIDTH, ZBFULL;
  double step = 100.0;

  void build(int n, double area = 100.0, double width = 10.0) {
    frame.NEL = n;
    frame.NLF = 0;
    frame.NGDBGN = 1;
    frame.ICMREF.resize(n, 4, 3, 0);
    for (int e = 1; e <= n; ++e) {
      for (int f = 1; f <= 4; ++f) frame.ICMREF(e, f, 3) = f;
    }
    for (int e = 1; e <= n; ++e) {
      if (e < n) {
        frame.ICMREF(e, 1, 2) = e + 1;
        frame.ICMREF(e, 1, 3) = 3;
        frame.ICMREF(e + 1, 3, 2) = e;
        frame.ICMREF(e + 1, 3, 3) = 1;
      }
    }
    frame.ICMRF2.resize(0, 6, 0);
    frame.ZGRUND.resize(n, 0.0);
    frame.AREA.resize(n, area);
    frame.DXQQ.resize(n, width);
    frame.DYQQ.resize(n, width);
    frame.CLENTH.resize(0, 0.0);
    H.resize(n, 0.0);
    Q.resize(n, 4, 0.0);
  }
  // Flow q (m3/s) from element a into its eastern neighbour a + 1.
  void flow_east(int a, double q) {
    Q(a, 1) = -q;
    Q(a + 1, 3) = q;
  }
  void limit() {
    const OcLinkSections sections{NXSECT, XINH, XINW, CWIDTH, ZBFULL};
    OC_LIMIT_OUTFLOWS(frame, sections, step, H, Q, model.io);
  }
  double volume() const {
    double v = 0.0;
    for (int e = 1; e <= frame.NEL; ++e) v += (H(e) - frame.ZGRUND(e)) * frame.AREA(e);
    return v;
  }
};

TEST_F(LimiterTest, AStepThatNeedsNoRepairChangesNothing) {
  build(3);
  frame.ZGRUND(1) = 3.0;
  frame.ZGRUND(2) = 2.0;
  frame.ZGRUND(3) = 1.0;
  H(1) = 3.5;  // exactly zero depth is not nearly dry: element 3 stays as it is
  H(2) = 2.2;
  H(3) = 1.0;
  flow_east(1, 0.3);
  Q(2, 4) = -0.05;  // an outflow over the boundary
  const Array1<double> H0 = H;
  const Array2<double> Q0 = Q;
  limit();
  for (int e = 1; e <= 3; ++e) {
    EXPECT_EQ(H(e), H0(e));
    for (int f = 1; f <= 4; ++f) EXPECT_EQ(Q(e, f), Q0(e, f));
  }
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(LimiterTest, ANegativeDepthScalesTheOutflowsAndTheNeighbourGivesTheWaterBack) {
  build(2);
  frame.ZGRUND(1) = 5.0;
  frame.ZGRUND(2) = 3.0;
  H(1) = 4.999;  // depth -0.001
  H(2) = 4.0;
  flow_east(1, 0.5);
  const double v0 = volume();
  limit();
  // S = 0.001 m3/s would bring the depth to zero; the outflows total -0.5, so each is
  // scaled by 1 + max(0.001 / -0.5, -1) = 0.998.
  EXPECT_NEAR(Q(1, 1), -0.499, 1e-15);
  EXPECT_NEAR(Q(2, 3), 0.499, 1e-15);
  EXPECT_EQ(H(1), 5.0);
  EXPECT_NEAR(H(2), 3.999, 1e-12);
  EXPECT_NEAR(volume(), v0, 1e-12);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(LimiterTest, ATinyDepthGivesBackItsInflowAndEndsDry) {
  build(2);
  frame.ZGRUND(1) = 2.0;
  frame.ZGRUND(2) = 1.0;
  H(1) = 2.5;
  H(2) = 1.0 + 5e-8;
  flow_east(1, 0.01);
  const double v0 = volume();
  limit();
  EXPECT_EQ(H(2), 1.0);
  EXPECT_NEAR(Q(2, 3), 0.01 - 5e-8, 1e-15);
  EXPECT_NEAR(Q(1, 1), -(0.01 - 5e-8), 1e-15);
  EXPECT_NEAR(H(1), 2.5 + 5e-8, 1e-12);
  EXPECT_NEAR(volume(), v0, 1e-12);
}

TEST_F(LimiterTest, ADeficitTheOutflowsCannotCoverIsDroppedAndReported) {
  build(2);
  frame.ZGRUND(1) = 5.0;
  frame.ZGRUND(2) = 3.0;
  H(1) = 4.99;  // depth -0.01, outflow only 0.001 m3/s (0.001 m over the step)
  H(2) = 4.0;
  flow_east(1, 0.001);
  limit();
  EXPECT_EQ(Q(1, 1), 0.0);
  EXPECT_EQ(Q(2, 3), 0.0);
  EXPECT_EQ(H(1), 5.0);
  EXPECT_NEAR(H(2), 3.999, 1e-12);
  // The 0.009 m the outflow could not cover is reported as dropped.
  EXPECT_NE(print_text().find("Surface water depth adjusted from -1.0000000E-02 to zero: depth "
                              "created =   0.000000      9.0000000E-03"),
            std::string::npos)
      << print_text();
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(24, 1), 1);
}

TEST_F(LimiterTest, AnOutflowTowardsAHigherNeighbourStopsOneMillimetreAboveIt) {
  struct Case {
    const char* name;
    double outflow;      // m3/s from element 1 into element 2
    double expected_q;   // the flow left
    double expected_h1;  // the levels after the repair
    double expected_h2;
  };
  // Levels 10.0 and 10.05: closing the gap to 1 mm above the neighbour takes
  // (0.05 + 0.001) / (1 + 1) = 0.0255 m3/s, unless the outflow is smaller.
  const std::vector<Case> cases = {
      {"large outflow reduced", 0.2, 0.1745, 10.0255, 10.0245},
      {"small outflow removed", 0.01, 0.0, 10.01, 10.04},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    build(2);
    frame.ZGRUND(1) = 9.0;
    frame.ZGRUND(2) = 9.5;
    H(1) = 10.0;
    H(2) = 10.05;
    flow_east(1, c.outflow);
    limit();
    EXPECT_NEAR(Q(1, 1), -c.expected_q, 1e-12);
    EXPECT_NEAR(Q(2, 3), c.expected_q, 1e-12);
    EXPECT_NEAR(H(1), c.expected_h1, 1e-12);
    EXPECT_NEAR(H(2), c.expected_h2, 1e-12);
  }
}

TEST_F(LimiterTest, ANegligibleBoundaryOutflowIsRemovedAndAnyOtherKept) {
  // Area 1 m2: P = 100, so removing 5e-7 m3/s creates 5e-5 m of depth, which is reported.
  build(2, 1.0, 10.0);
  frame.ZGRUND(1) = 1.0;
  frame.ZGRUND(2) = 1.0;
  H(1) = 1.5;
  H(2) = 1.5;
  Q(1, 2) = -5e-7;  // below 1e-7 m x 10 m
  Q(2, 2) = -0.002;
  limit();
  EXPECT_EQ(Q(1, 2), 0.0);
  EXPECT_NEAR(H(1), 1.5 + 5e-5, 1e-15);
  EXPECT_EQ(Q(2, 2), -0.002);
  EXPECT_EQ(H(2), 1.5);
  EXPECT_NE(print_text().find("Surface water discharge rate 5.0000000E-07 reduced by 100.00% at "
                              "face   2: depth created =  5.0000000E-05"),
            std::string::npos)
      << print_text();
}

TEST_F(LimiterTest, AJunctionFaceTakesItsPartnerFromTheLinksThatStandNoLower) {
  // Elements 1, 2, 3 meet at one junction through their faces 1, 3 and 3 (entries 1 to 3
  // of the junction table). Element 1 sends 0.3 m3/s: 0.1 into element 2, which stands
  // 0.02 m higher, and 0.2 into element 3, which stands lower.
  build(3);
  frame.ICMREF(1, 1, 2) = -1;
  frame.ICMREF(2, 3, 2) = -2;
  frame.ICMREF(3, 3, 2) = -3;
  frame.ICMREF(2, 1, 2) = 0;
  frame.ICMREF(1, 3, 2) = 0;
  frame.ICMREF(3, 1, 2) = 0;
  frame.ICMRF2.resize(3, 6, 0);
  const int entries[3][6] = {{2, 3, 0, 3, 3, 0}, {3, 1, 0, 3, 1, 0}, {1, 2, 0, 1, 3, 0}};
  for (int J = 1; J <= 3; ++J) {
    for (int k = 1; k <= 6; ++k) frame.ICMRF2(J, k) = entries[J - 1][k - 1];
  }
  for (int e = 1; e <= 3; ++e) frame.ZGRUND(e) = 9.0;
  H(1) = 10.0;
  H(2) = 10.02;
  H(3) = 9.9;
  Q(1, 1) = -0.3;
  Q(2, 3) = 0.1;
  Q(3, 3) = 0.2;
  limit();
  // (0.02 + 0.001) / 2 = 0.0105 taken back from element 2 only.
  EXPECT_NEAR(Q(1, 1), -0.2895, 1e-12);
  EXPECT_NEAR(Q(2, 3), 0.0895, 1e-12);
  EXPECT_EQ(Q(3, 3), 0.2);
  EXPECT_NEAR(H(1), 10.0105, 1e-12);
  EXPECT_NEAR(H(2), 10.0095, 1e-12);
  EXPECT_EQ(H(3), 9.9);
}

TEST_F(LimiterTest, AChannelBelowBankFullStoresOverItsTopWidth) {
  // Element 1 is a channel link with a V section (width 0 at the bed, 4 m at 1 m) and
  // length 100 m, at depth 0.5 m: its water surface is 2 m wide, so it stores over
  // 200 m2, not over its plan area of 400 m2. It sends 0.2 m3/s to element 2, 0.05 m
  // higher.
  build(2);
  frame.NLF = 1;
  frame.NGDBGN = 2;
  frame.CLENTH.resize(1, 100.0);
  frame.AREA(1) = 400.0;
  NXSECT.resize(1, 2);
  XINH.resize(1, 2, 0.0);
  XINW.resize(1, 2, 0.0);
  XINH(1, 2) = 1.0;
  XINW(1, 2) = 4.0;
  CWIDTH.resize(1, 4.0);
  frame.ZGRUND(1) = 9.5;
  ZBFULL.resize(1, 10.5);
  frame.ZGRUND(2) = 9.8;
  H(1) = 10.0;
  H(2) = 10.05;
  flow_east(1, 0.2);
  limit();
  // P = 100 / 200 = 0.5, SN = 1: (0.05 + 0.001) / 1.5 = 0.034 m3/s taken back.
  EXPECT_NEAR(Q(1, 1), -0.166, 1e-12);
  EXPECT_NEAR(H(1), 10.0 + 0.5 * 0.034, 1e-12);
  EXPECT_NEAR(H(2), 10.05 - 0.034, 1e-12);
  EXPECT_NEAR(H(1) - H(2), 0.001, 1e-12);
}

}  // namespace
}  // namespace quendal
