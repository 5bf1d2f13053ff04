// The outflow limiter on small hand-made element tables: the repairs it makes, the
// water it moves between an element and its partner, and what it reports.
#include "surface/oc/oc_limiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model_fixture.h"
#include "services/error_reporting.h"
#include "services/stops.h"

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
  Array2<double> XINH, XINW, LINK_PAIR_AREA;
  Array1<double> CWIDTH, ZBFULL;
  OcLimiterWork work;
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
    const OcLinkSections sections{NXSECT, XINH, XINW, CWIDTH, ZBFULL, LINK_PAIR_AREA};
    OC_LIMIT_OUTFLOWS(frame, sections, step, H, Q, work, model.io);
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
  // Area 1 m2: P = 100, so removing 5e-7 m3/s keeps 5e-5 m of depth in the element. That
  // water did not leave the catchment; none was made, so nothing is reported.
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
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0) << print_text();
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

// A chain of 150 dry elements, numbered against the flow: element e + 1 sends q west into
// element e, and element 1 sends q over the catchment boundary. The ground falls 0.1 m
// per element towards element 1, every depth is exactly zero (not nearly dry) but that
// of element 150, which lies d = 0.01 m below its ground (1 m3 short; P = 1). Its visit
// cuts its outflow by d / P = 0.01 m3/s and so leaves its downstream neighbour, visited
// earlier, short by the same: the deficit is handed down the chain one element per
// round, and full passes over the catchment would need 150 of them.
struct ChainTest : LimiterTest {
  static constexpr int N = 150;
  static constexpr double q = 0.5, d = 0.01;
  void SetUp() override {
    LimiterTest::SetUp();
    build(N);
    for (int e = 1; e <= N; ++e) {
      frame.ZGRUND(e) = 0.1 * e;
      H(e) = frame.ZGRUND(e);
    }
    H(N) -= d;
    for (int e = 1; e < N; ++e) flow_east(e, -q);
    Q(1, 3) = -q;
  }
};

TEST_F(ChainTest, ADeficitHandedDownAChainNumberedAgainstTheFlowSettles) {
  const double v0 = volume();
  limit();
  // Every element ends dry, every flow down the chain and out of it carries d / P less,
  // and the water the boundary no longer takes out is the deficit made good: none was
  // made, so nothing is reported.
  for (int e = 1; e <= N; ++e) EXPECT_EQ(H(e), frame.ZGRUND(e)) << e;
  for (int e = 1; e < N; ++e) {
    EXPECT_NEAR(Q(e, 1), q - d, 1e-14) << e;
    EXPECT_EQ(Q(e + 1, 3), -Q(e, 1)) << e;
  }
  EXPECT_NEAR(Q(1, 3), -(q - d), 1e-14);
  EXPECT_NEAR(volume() - v0, (Q(1, 3) + q) * step, 1e-12);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0) << print_text();
  // One round per element of the chain, each visiting a handful of elements.
  EXPECT_GE(work.largest_rounds, N);
  EXPECT_LT(work.largest_visits, 5L * N);
}

TEST_F(ChainTest, VisitsRunningOutStopTheRunAndNameTheLargestDeficit) {
  // A limit of one visit per element is spent by the first round, which dried element
  // 150 and handed its deficit to element 149: that round's repair is reported, then
  // the fatal error with the deficit left.
  const OcLinkSections sections{NXSECT, XINH, XINW, CWIDTH, ZBFULL, LINK_PAIR_AREA};
  EXPECT_THROW(OC_LIMIT_OUTFLOWS(frame, sections, step, H, Q, work, model.io, true, 1), FatalError);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(60, 1), 1);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(24, 1), 1);
  const std::string text = print_text();
  EXPECT_NE(text.find("WARNING 1024 at time =        0.00 hours, iel =  150"), std::string::npos)
      << text;
  EXPECT_NE(text.find("OC flow criteria could not be met"), std::string::npos) << text;
  EXPECT_NE(text.find("Largest deficit  1.0000000E-02 m at element    149 after      1 rounds"),
            std::string::npos)
      << text;
}

TEST_F(LimiterTest, AnUphillRepairOfTheLastRoundIsReportedBeforeTheRunStops) {
  // The uphill case above (levels 10.0 and 10.05, 0.2 m3/s east) with one visit per
  // element: the only round repairs face 1 of element 1, taking 0.0255 of its 0.2 m3/s
  // back (12.75 %), and the visits are spent before a round has changed nothing. The
  // repair is reported with the flow it cut, then the run stops.
  build(2);
  frame.ZGRUND(1) = 9.0;
  frame.ZGRUND(2) = 9.5;
  H(1) = 10.0;
  H(2) = 10.05;
  flow_east(1, 0.2);
  const OcLinkSections sections{NXSECT, XINH, XINW, CWIDTH, ZBFULL, LINK_PAIR_AREA};
  EXPECT_THROW(OC_LIMIT_OUTFLOWS(frame, sections, step, H, Q, work, model.io, true, 1), FatalError);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(30, 1), 1);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(60, 1), 1);
  const std::string text = print_text();
  EXPECT_NE(text.find("WARNING 1030 at time =        0.00 hours, iel =    1"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Surface water discharge rate 0.2000000     reduced by  12.75% at face   1"
                      ": depth created =   0.000000    "),
            std::string::npos)
      << text;
}

TEST_F(LimiterTest, AWaveOfEqualisingCutsClimbsTheWholeChannelInOneCall) {
  // 150 elements from west to east, each 0.5 m deep and 0.1 mm above the next, each
  // sending 5e-4 m3/s east; the last (area 1e6 m2) stands 10 m above them all, as an
  // overfilled outlet does. Its inflow is cut off, which lifts the element before it
  // 5e-4 m (P = 1), above the one before that by 4e-4 m, whose outflow is then uphill
  // too and removed as well (0.001 m of margin plus that gap exceeds twice the flow):
  // the cuts climb the channel one element per round, which full passes over the
  // catchment would need 150 of.
  const int n = 150;
  const double q = 5e-4;
  build(n);
  frame.AREA(n) = 1e6;
  for (int e = 1; e <= n; ++e) {
    frame.ZGRUND(e) = 1e-4 * (n - e);
    H(e) = frame.ZGRUND(e) + 0.5;
  }
  H(n) += 10.0;
  for (int e = 1; e < n; ++e) flow_east(e, q);
  const Array1<double> H0 = H;
  const double v0 = volume();
  limit();
  // Every element gets back the outflow it sent and gives back the inflow it took, so
  // only the two ends move: the first keeps q x step more, the outlet q x step less.
  for (int e = 1; e < n; ++e) {
    EXPECT_EQ(Q(e, 1), 0.0) << e;
    EXPECT_EQ(Q(e + 1, 3), 0.0) << e;
  }
  EXPECT_NEAR(H(1), H0(1) + q * step / 100.0, 1e-12);
  for (int e = 2; e < n; ++e) EXPECT_NEAR(H(e), H0(e), 1e-12) << e;
  EXPECT_NEAR(H(n), H0(n) - q * step / 1e6, 1e-12);
  EXPECT_NEAR(volume(), v0, 1e-9);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0) << print_text();
  EXPECT_GE(work.largest_rounds, n - 1);
}

// A circulation among dry elements through a channel junction, as a storm's first
// steps leave them at an outlet: element 1 (a link) feeds square 4, which feeds square
// 5, which feeds link 2, which feeds the junction where links 1, 2 and 3 meet (their
// faces 3), which feeds link 1 again and link 3. Square 4 also spills over the
// catchment boundary.
struct CirculationTest : LimiterTest {
  void SetUp() override {
    LimiterTest::SetUp();
    build(5);
    for (int e = 1; e <= 5; ++e) {
      for (int f = 1; f <= 4; ++f) frame.ICMREF(e, f, 2) = 0;
    }
    connect(1, 2, 4, 4);
    connect(4, 1, 5, 3);
    connect(5, 4, 2, 2);
    frame.ICMRF2.resize(3, 6, 0);
    const int entries[3][6] = {{2, 3, 0, 3, 3, 0}, {3, 1, 0, 3, 3, 0}, {1, 2, 0, 3, 3, 0}};
    for (int J = 1; J <= 3; ++J) {
      frame.ICMREF(J, 3, 2) = -J;
      for (int k = 1; k <= 6; ++k) frame.ICMRF2(J, k) = entries[J - 1][k - 1];
    }
    // Link beds 3 m below the squares; every element a trace (1e-12 m) below its
    // ground, as the linear solution leaves them, but link 3, which is 1 m deep.
    for (int e = 1; e <= 5; ++e) {
      frame.ZGRUND(e) = e <= 3 ? 7.0 : 10.0;
      H(e) = frame.ZGRUND(e) - 1e-12;
    }
    H(3) = 8.0;
    Q(1, 2) = -3.0, Q(4, 4) = 3.0;  // 1 -> 4
    Q(4, 1) = -2.0, Q(5, 3) = 2.0;  // 4 -> 5
    Q(5, 4) = -4.0, Q(2, 2) = 4.0;  // 5 -> 2
    Q(2, 3) = -5.0;                 // 2 -> junction
    Q(1, 3) = 3.5, Q(3, 3) = 1.5;   // junction -> 1 and 3
    Q(4, 2) = -1.0;                 // 4 -> outside
  }
  void connect(int a, int fa, int b, int fb) {
    frame.ICMREF(a, fa, 2) = b;
    frame.ICMREF(a, fa, 3) = fb;
    frame.ICMREF(b, fb, 2) = a;
    frame.ICMREF(b, fb, 3) = fa;
  }
};

TEST_F(CirculationTest, ACycleOfDryElementsLosesItsSmallestFlowAndNothingElse) {
  struct Case {
    const char* name;
    int wet;  // an element of the cycle standing 0.5 m deep, 0 for none
    long cancelled;
  };
  const std::vector<Case> cases = {{"all dry", 0, 1}, {"square 5 wet", 5, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.wet != 0) H(c.wet) += 0.5;
    const Array2<double> Q0 = Q;
    const Array1<double> H0 = H;
    EXPECT_EQ(OC_CANCEL_DRY_CIRCULATIONS(frame, H, Q, work), c.cancelled);
    if (c.cancelled == 0) {
      for (int e = 1; e <= 5; ++e) {
        for (int f = 1; f <= 4; ++f) EXPECT_EQ(Q(e, f), Q0(e, f));
      }
      continue;
    }
    // The smallest flow round the cycle, 2 m3/s from 4 to 5, goes from every face of it.
    EXPECT_EQ(Q(4, 1), 0.0);
    EXPECT_EQ(Q(5, 3), 0.0);
    EXPECT_EQ(Q(1, 2), -1.0);
    EXPECT_EQ(Q(4, 4), 1.0);
    EXPECT_EQ(Q(5, 4), -2.0);
    EXPECT_EQ(Q(2, 2), 2.0);
    EXPECT_EQ(Q(2, 3), -3.0);
    EXPECT_EQ(Q(1, 3), 1.5);
    EXPECT_EQ(Q(3, 3), 1.5);  // the wet link and the boundary keep theirs
    EXPECT_EQ(Q(4, 2), -1.0);
    // No element's net inflow changes, nor any level.
    for (int e = 1; e <= 5; ++e) {
      double net = 0.0, net0 = 0.0;
      for (int f = 1; f <= 4; ++f) {
        net += Q(e, f);
        net0 += Q0(e, f);
      }
      EXPECT_EQ(net, net0) << e;
      EXPECT_EQ(H(e), H0(e)) << e;
    }
  }
}

// Element 1 a channel link of length 100 m and a section given by two pairs (bed width
// w0, width w1 at 1 m), elements 2.. grid squares or links as the test sets them.
struct LinkLimiterTest : LimiterTest {
  void make_link(int l, double w0, double w1, double bed, double length) {
    frame.CLENTH(l) = length;
    NXSECT(l) = 2;
    XINH(l, 2) = 1.0;
    XINW(l, 1) = w0;
    XINW(l, 2) = w1;
    CWIDTH(l) = w1;
    frame.ZGRUND(l) = bed;
    ZBFULL(l) = bed + 1.0;
    LINK_PAIR_AREA(l, 1) = 0.0;
    LINK_PAIR_AREA(l, 2) = 0.5 * (w0 + w1);
    frame.AREA(l) = w1 * length;
  }
  void links(int nlf) {
    frame.NLF = nlf;
    frame.NGDBGN = nlf + 1;
    frame.CLENTH.resize(nlf, 0.0);
    NXSECT.resize(nlf, 0);
    XINH.resize(nlf, 2, 0.0);
    XINW.resize(nlf, 2, 0.0);
    LINK_PAIR_AREA.resize(nlf, 2, 0.0);
    CWIDTH.resize(nlf, 0.0);
    ZBFULL.resize(nlf, 0.0);
  }
  double surface_volume() const {
    const OcLinkSections sections{NXSECT, XINH, XINW, CWIDTH, ZBFULL, LINK_PAIR_AREA};
    double v = 0.0;
    for (int e = 1; e <= frame.NEL; ++e) v += OC_SURFACE_VOLUME(frame, sections, e, H(e));
    return v;
  }
};

TEST_F(LinkLimiterTest, AChannelLevelFollowsItsVolume) {
  // A V section (width 0 at the bed, 4 m at 1 m), holding 2 y^2 m2 at depth y, at depth
  // 0.5 m: its water surface is 2 m wide, so the repair's cut uses a storage of 200 m2,
  // not its plan area of 400 m2. It sends 0.2 m3/s to element 2, 0.05 m higher.
  build(2);
  links(1);
  make_link(1, 0.0, 4.0, 9.5, 100.0);
  frame.ZGRUND(2) = 9.8;
  H(1) = 10.0;
  H(2) = 10.05;
  flow_east(1, 0.2);
  const double v0 = surface_volume();
  limit();
  // P = 100 / 200 = 0.5, SN = 1: (0.05 + 0.001) / 1.5 = 0.034 m3/s taken back, 3.4 m3,
  // which the link holds at the depth where 2 y^2 = 0.5 + 0.034.
  EXPECT_NEAR(Q(1, 1), -0.166, 1e-12);
  EXPECT_NEAR(H(1), 9.5 + std::sqrt(0.534 / 2.0), 1e-12);
  EXPECT_NEAR(H(2), 10.05 - 0.034, 1e-12);
  EXPECT_NEAR(surface_volume(), v0, 1e-9);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(LinkLimiterTest, ADeficitPassesDownTheChannelToWhereTheWaterIs) {
  // A 100 x 100 m square (element 3) left at depth -0.40 m (4,000 m3 short) after it sent
  // 1.255 m3/s over an hour into link 1 (3 m rectangle, 100 m, holding 450 m3), which
  // sends 1.30 m3/s on to link 2 (10 m rectangle, 100 m, 5 m deep: 5,000 m3). Link 2
  // also spills 0.5 m3/s over the catchment boundary. Link 1 cannot give back the 4,000
  // m3 the square takes; its own deficit is then taken back from link 2.
  build(3, 1e4, 100.0);
  links(2);
  step = 3600.0;
  make_link(1, 3.0, 3.0, 10.0, 100.0);
  make_link(2, 10.0, 10.0, 9.0, 100.0);
  frame.ZGRUND(3) = 11.0;
  // Square 3's face 1 meets link 1's face 3; link 1's face 1 meets link 2's face 3.
  frame.ICMREF(2, 1, 2) = 0;
  frame.ICMREF(3, 3, 2) = 0;
  frame.ICMREF(3, 1, 2) = 1;
  frame.ICMREF(3, 1, 3) = 3;
  frame.ICMREF(1, 3, 2) = 3;
  frame.ICMREF(1, 3, 3) = 1;
  H(1) = 10.0 + 1.5;
  H(2) = 9.0 + 5.0;
  H(3) = 11.0 - 0.40;
  Q(3, 1) = -1.255;
  Q(1, 3) = 1.255;
  flow_east(1, 1.30);
  Q(2, 1) = -0.5;
  const double v0 = surface_volume();
  limit();
  for (int e = 1; e <= 3; ++e) EXPECT_GE(H(e) - frame.ZGRUND(e), 0.0) << e;
  // Only the boundary flow changes the total, and it is unchanged.
  EXPECT_EQ(Q(2, 1), -0.5);
  EXPECT_NEAR(surface_volume(), v0, 1e-9);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(24, 1), 0) << print_text();
  // Link 2 gave back the 3,550 m3 link 1 lacked; link 1, then dry beneath link 2's
  // level, still sent water into it, and that uphill outflow was cut back until link 1
  // stood 1 mm above link 2.
  EXPECT_NEAR(H(1) - H(2), 0.001, 1e-9);
  EXPECT_LT(H(2), 14.0 - 3550.0 / 1000.0);
}

}  // namespace
}  // namespace quendal
