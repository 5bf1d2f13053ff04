// Face flows of the OC step over small meshes built by the frame's own numbering and
// geometry. Expected flows are worked out by hand from the Strickler formula
// Q = K W y^(5/3) sqrt(dH / L), the weir formulas and the boundary polynomials, with
// the widths and node-to-face distances of the worked 2 x 2 example of the geometry
// tests.
#include "surface/oc/oc_face_flows.h"
#include "surface/oc/oc_junctions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "frame/geometry.h"
#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "surface/oc/oc_conveyance.h"
#include "surface/oc/oc_flow_laws.h"
#include "surface/oc/zq_tables.h"
#include "services/record_reader.h"
#include "services/records.h"

namespace quendal {
namespace {

using testing::build_mesh;
using testing::Cell;

// Closed-form values: levels near 10 m carry about 2e-15 m of rounding, a few 1e-14
// relative on depths and heads of decimetres.
constexpr double CLOSED_FORM = 1e-12;

void expect_relative(double actual, double expected) {
  EXPECT_NEAR(actual, expected, CLOSED_FORM * std::fabs(expected)) << "expected " << expected;
}

struct FaceFlowsTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  Array1<double> flux{NOCTAB, 0.0};

  // Numbers the mesh built by build_mesh, computes its geometry with every channel
  // `width` wide and 1 m deep (rectangular, Strickler 30), and gives every other
  // element Strickler 1 across faces 1, 3 and 2 across faces 2, 4, so that a face that
  // takes the wrong one shows. Ground: a plane rising to the east and north, link beds
  // 1 m below it (so bank tops on the plane); the water at the ground. No boundary
  // entries; QSA, DQ0ST, DQIST, DQIST2 hold MARKER, which shows what was written.
  void set_up_surface(double width) {
    NUMBER_ELEMENTS(frame, model.io, false);
    surface.CWIDTH.resize(frame.NLF, width);
    element_geometry(frame, surface, model.io, false);
    const int nel = frame.NEL, nlf = frame.NLF;
    frame.ZGRUND.resize(nel, 0.0);
    for (int e = 1; e <= nel; ++e) {
      const double plane = 10.0 + 0.5 * frame.ICMREF(e, 2, 1) + 0.3 * frame.ICMREF(e, 3, 1);
      frame.ZGRUND(e) = e <= nlf ? plane - 1.0 : plane;
    }
    surface.HRF.resize(nel, 0.0);
    for (int e = 1; e <= nel; ++e) surface.HRF(e) = frame.ZGRUND(e);
    surface.QSA.resize(nel, 4, MARKER);
    surface.DQ0ST.resize(nel, 4, MARKER);
    surface.DQIST.resize(nel, 4, MARKER);
    surface.DQIST2.resize(frame.junction_entry_count, 3, MARKER);
    surface.STRX.resize(nel, 1.0);
    surface.STRY.resize(nel, 2.0);
    surface.ZBFULL.resize(nlf, 0.0);
    surface.LINK_FULL_AREA.resize(nlf, width * 1.0);
    surface.OC_SECTION_TABLE.resize(nlf);
    const std::vector<double> widths{width, width}, heights{0.0, 1.0};
    for (int l = 1; l <= nlf; ++l) {
      surface.STRX(l) = surface.STRY(l) = 30.0;
      surface.ZBFULL(l) = frame.ZGRUND(l) + 1.0;
      surface.OC_SECTION_TABLE(l) = build_section_table(widths, heights, 30.0);
    }
    surface.OC_BOUNDARY_TABLE.resize(4, NOCTAB, 0);
    surface.OC_BOUNDARY_COEFFICIENTS.resize(5, NOCTAB, 0.0);
    surface.OC_BOUNDARY_OF_ELEMENT.resize(nel, 0);
    surface.OC_BOUNDARY_ENTRY_COUNT = 0;
  }

  void add_entry(int element, int face, int type, int category, OcBoundaryNumbers n = {}) {
    const int k = ++surface.OC_BOUNDARY_ENTRY_COUNT;
    surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_ELEMENT, k) = element;
    surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_FACE, k) = face;
    surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_TYPE, k) = type;
    surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_CATEGORY, k) = category;
    for (int i = 0; i < 5; ++i) surface.OC_BOUNDARY_COEFFICIENTS(i + 1, k) = n[i];
    surface.OC_BOUNDARY_OF_ELEMENT(element) = k;
  }

  void run() { OC_FACE_FLOWS(frame, surface, flux); }

  static constexpr double MARKER = 123.0;
};

// --- the worked 2 x 2 example ------------------------------------------------------

// 2 x 2 grid of 100 m, banks off, a 4 m link on the south face of cell (1, 2).
// Elements: link 1, squares 2 (1, 1), 3 (2, 1), 4 (1, 2), 5 (2, 2). Squares 2 and 4
// are 98 m deep north-south, their nodes 48 m from the link's faces.
struct WorkedExample : FaceFlowsTest {
  void SetUp() override {
    FaceFlowsTest::SetUp();
    build_mesh(frame, 2, 2, {{1, 2}}, {}, false);
    set_up_surface(4.0);
    // Link bed 9.0, bank top 10.0; squares 2 and 3 at 10.0, 4 at 9.6, 5 at 9.9.
    const double ground[] = {9.0, 10.0, 10.0, 9.6, 9.9};
    const double level[] = {10.2, 10.3, 10.2, 9.8, 10.05};
    for (int e = 1; e <= 5; ++e) {
      frame.ZGRUND(e) = ground[e - 1];
      surface.SET_HRF(e, level[e - 1]);
    }
    surface.ZBFULL(1) = 10.0;
  }
};

TEST_F(WorkedExample, OverlandFacesUseTheRoughnessAndWidthOfTheirDirection) {
  run();
  // 3 -> 5 across the north face of 3: STRY = 2, width DXQQ(3) = 100, 50 + 50 m,
  // depth 0.2 m over square 3, head 0.15 m.
  const double north = 2.0 * 100.0 * std::pow(0.2, 5.0 / 3.0) * std::sqrt(0.15 / 100.0);
  expect_relative(surface.QSA(5, 4), north);
  expect_relative(surface.QSA(3, 2), -north);
  // 2 -> 3 across the east face of 2: STRX = 1, width DYQQ(2) = 98 (square 2 gives the
  // face its width), depth 0.3 m, head 0.1 m.
  const double east = 1.0 * 98.0 * std::pow(0.3, 5.0 / 3.0) * std::sqrt(0.1 / 100.0);
  expect_relative(surface.QSA(3, 3), east);
  expect_relative(surface.QSA(2, 1), -east);
}

TEST_F(WorkedExample, LinkFacesUseTheBankLawWithTheBankTopAsReference) {
  run();
  // Square 2 (ground at the bank top 10.0, level 10.3) to the link (10.2): the link's
  // length 100 m as width, only square 2's 48 m and its STRY = 2 count.
  const double from_square = 2.0 * 100.0 * std::pow(0.3, 5.0 / 3.0) * std::sqrt(0.1 / 48.0);
  expect_relative(surface.QSA(1, 4), from_square);
  expect_relative(surface.QSA(2, 2), -from_square);
  // Square 4's ground 9.6 lies below the bank top: the link spills over it as a free
  // weir, 0.2 m deep, 0.386 x 4.42944 x 100 x 0.2^(3/2).
  const double spill = 0.386 * 4.42944 * 100.0 * std::pow(0.2, 1.5);
  expect_relative(surface.QSA(4, 4), spill);
  expect_relative(surface.QSA(1, 2), -spill);
}

TEST_F(WorkedExample, BoundaryEntriesActOnTheirFacesOnly) {
  add_entry(1, 1, OC_BC_WEIR, 1, {1.5, 0.5, 10.05, 9.0, 0.0});    // link's east end
  add_entry(3, 1, OC_BC_POLYNOMIAL, 1, {0.0, 0.0, 0.0, 2.0, 0.1}); // square 3's east face
  add_entry(4, 2, OC_BC_FLUX, 2);                                  // square 4's north face
  add_entry(5, 3, OC_BC_IMPERMEABLE, 1);                           // between 4 and 5
  flux(2) = 0.04;
  run();
  // Free weir 0.15 m deep out of the link: Q = -1.5 x 0.15^(3/2).
  expect_relative(surface.QSA(1, 1), -1.5 * std::pow(0.15, 1.5));
  expect_relative(surface.DQ0ST(1, 1), -1.5 * 1.5 * std::sqrt(0.15));
  EXPECT_EQ(surface.DQIST(1, 1), 0.0);
  // Polynomial outflow 2 y + 0.1 at y = 0.2.
  expect_relative(surface.QSA(3, 1), -0.5);
  expect_relative(surface.DQ0ST(3, 1), -2.0);
  // Flux of category 2.
  EXPECT_EQ(surface.QSA(4, 2), 0.04);
  EXPECT_EQ(surface.DQ0ST(4, 2), 0.0);
  // The impermeable entry sits on the higher-numbered side of the face 4-5; the levels
  // differ, yet nothing flows, and both sides are written.
  for (double v : {surface.QSA(4, 1), surface.QSA(5, 3), surface.DQ0ST(4, 1),
                   surface.DQIST(5, 3)}) {
    EXPECT_EQ(v, 0.0);
  }
  // Faces without neighbour and without entry keep what they held.
  EXPECT_EQ(surface.QSA(1, 3), MARKER);
  EXPECT_EQ(surface.QSA(2, 3), MARKER);
  EXPECT_EQ(surface.QSA(5, 1), MARKER);
}

// --- whole meshes ----------------------------------------------------------------------

// A channel of three east-west links turning north, with and without banks.
struct MeshCase {
  const char* name;
  bool banks;
};
void PrintTo(const MeshCase& c, std::ostream* os) { *os << c.name; }
class FaceFlowsMesh : public FaceFlowsTest, public ::testing::WithParamInterface<MeshCase> {
 protected:
  void SetUp() override {
    FaceFlowsTest::SetUp();
    build_mesh(frame, 4, 3, {{1, 2}, {2, 2}, {3, 2}}, {{4, 2}}, GetParam().banks);
    set_up_surface(4.0);
  }
};

// Water standing level over ground that slopes in both directions, above every ground
// and bank top: no face may carry flow. The head differences are exactly zero, so the
// flows must be exactly zero, not merely small.
TEST_P(FaceFlowsMesh, FlatWaterSurfaceOverSlopingGroundDoesNotMove) {
  for (int e = 1; e <= frame.NEL; ++e) surface.SET_HRF(e, 20.0);
  run();
  int written = 0;
  for (int e = 1; e <= frame.NEL; ++e) {
    for (int f = 1; f <= 4; ++f) {
      if (frame.ICMREF(e, f, 2) <= 0) continue;
      ++written;
      EXPECT_EQ(surface.QSA(e, f), 0.0) << "element " << e << " face " << f;
      EXPECT_TRUE(std::isfinite(surface.DQ0ST(e, f)));
    }
  }
  EXPECT_GT(written, 2 * frame.NEL);
}

// Uneven levels, some elements dry or below their ground: every shared face carries
// equal and opposite flows and mirrored derivatives, and nothing is NaN.
TEST_P(FaceFlowsMesh, SharedFacesAreAntisymmetric) {
  for (int e = 1; e <= frame.NEL; ++e) {
    const double depth = 0.07 * ((e * 5) % 9) - 0.1;  // -0.1 .. 0.46 m
    surface.SET_HRF(e, frame.ZGRUND(e) + (e <= frame.NLF ? 1.0 + depth : depth));
  }
  run();
  int flowing = 0;
  for (int e = 1; e <= frame.NEL; ++e) {
    for (int f = 1; f <= 4; ++f) {
      const int g = frame.ICMREF(e, f, 2);
      if (g <= 0) continue;
      const int h = frame.ICMREF(e, f, 3);
      SCOPED_TRACE(::testing::Message() << "element " << e << " face " << f);
      EXPECT_TRUE(std::isfinite(surface.QSA(e, f)));
      EXPECT_EQ(surface.QSA(e, f), -surface.QSA(g, h));
      EXPECT_EQ(surface.DQ0ST(e, f), -surface.DQIST(g, h));
      EXPECT_EQ(surface.DQIST(e, f), -surface.DQ0ST(g, h));
      if (surface.QSA(e, f) != 0.0) ++flowing;
    }
  }
  EXPECT_GT(flowing, frame.NEL);  // the mesh really moves water
}

INSTANTIATE_TEST_SUITE_P(BanksOffAndOn, FaceFlowsMesh,
                         ::testing::Values(MeshCase{"banks_off", false},
                                           MeshCase{"banks_on", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- channel junctions -----------------------------------------------------------------

// A stand-in for the junction law: the flow of each branch is 1000 + its link, and
// dQk/dHi is 100 x (link of i) + (link of k), so a stored value names both links.
OcJunctionFlows labelled_junction(const OcJunctionBranches& branches) {
  OcJunctionFlows r;
  for (int k = 0; k < 4; ++k) {
    r.Q[k] = 1000.0 + branches[k].element;
    for (int i = 0; i < 4; ++i) r.D[i][k] = 100.0 * branches[i].element + branches[k].element;
  }
  return r;
}

struct JunctionCase {
  const char* name;
  std::vector<Cell> ew, ns;
  int links;
};
void PrintTo(const JunctionCase& c, std::ostream* os) { *os << c.name; }
class FaceFlowsJunction : public FaceFlowsTest, public ::testing::WithParamInterface<JunctionCase> {
 protected:
  void SetUp() override {
    FaceFlowsTest::SetUp();
    build_mesh(frame, 3, 3, GetParam().ew, GetParam().ns, false);
    set_up_surface(4.0);
  }
  // The link whose face carries junction entry J, and that face.
  std::pair<int, int> owner(int J) const {
    for (int l = 1; l <= frame.NLF; ++l) {
      for (int f = 1; f <= 4; ++f) {
        if (frame.ICMREF(l, f, 2) == -J) return {l, f};
      }
    }
    return {0, 0};
  }
};

// The junction is evaluated once, from its lowest link; each link's flow at the node
// lands on its own face, and DQIST2(J, m) is the derivative of J's link flow with
// respect to the level of the m-th link J lists, whatever position that link had
// among the branches.
TEST_P(FaceFlowsJunction, EvaluatedOnceFromItsLowestLinkAndStoredPerEntry) {
  ASSERT_EQ(frame.junction_entry_count, GetParam().links);
  for (int l = 1; l <= frame.NLF; ++l) surface.SET_HRF(l, frame.ZGRUND(l) + 0.1 * l);
  std::vector<std::pair<int, int>> evaluated_at;
  for (int l = 1; l <= frame.NLF; ++l) {
    for (int f = 1; f <= 4; ++f) {
      if (OC_JUNCTION_EVALUATED_AT(frame, l, f)) evaluated_at.emplace_back(l, f);
    }
  }
  ASSERT_EQ(evaluated_at.size(), 1u);
  const auto [first, first_face] = evaluated_at.front();
  EXPECT_EQ(first, 1);
  const OcJunctionBranches branches = OC_JUNCTION_BRANCHES(frame, surface, first, first_face);
  EXPECT_EQ(branches[0].element, 1);
  OC_STORE_JUNCTION_FLOWS(frame, surface, -frame.ICMREF(first, first_face, 2), branches,
                          labelled_junction(branches));

  for (int J = 1; J <= frame.junction_entry_count; ++J) {
    const auto [link, face] = owner(J);
    SCOPED_TRACE(::testing::Message() << "entry " << J << ", link " << link);
    EXPECT_EQ(surface.QSA(link, face), 1000.0 + link);
    EXPECT_EQ(surface.DQ0ST(link, face), 101.0 * link);
    EXPECT_EQ(surface.DQIST(link, face), MARKER);  // junction terms go to DQIST2 only
    for (int m = 1; m <= 3; ++m) {
      const int other = frame.ICMRF2(J, m);
      EXPECT_EQ(surface.DQIST2(J, m), other == 0 ? MARKER : 100.0 * other + link) << "m " << m;
    }
  }
  // The branches carry their link's level, bed, distance and section.
  int present = 0;
  for (const OcJunctionBranch& b : branches) {
    if (b.element == 0) continue;
    ++present;
    EXPECT_EQ(b.H, surface.HRF(b.element));
    EXPECT_EQ(b.Z, frame.ZGRUND(b.element));
    EXPECT_EQ(b.L, frame.DHF(b.element, b.face));
    EXPECT_EQ(b.table, &surface.OC_SECTION_TABLE(b.element));
    EXPECT_EQ(frame.ICMREF(b.element, b.face, 2) < 0, true);
  }
  EXPECT_EQ(present, GetParam().links);
}

// The face flows leave the junction faces to the junction balance of the OC step.
TEST_P(FaceFlowsJunction, FaceFlowsLeaveTheJunctionFacesAlone) {
  run();
  for (int J = 1; J <= frame.junction_entry_count; ++J) {
    const auto [link, face] = owner(J);
    EXPECT_EQ(surface.QSA(link, face), MARKER);
    for (int m = 1; m <= 3; ++m) EXPECT_EQ(surface.DQIST2(J, m), MARKER);
  }
}

INSTANTIATE_TEST_SUITE_P(
    ThreeAndFourWay, FaceFlowsJunction,
    ::testing::Values(JunctionCase{"t_junction", {{2, 2}}, {{2, 1}, {2, 2}}, 3},
                      JunctionCase{"crossing", {{1, 2}, {2, 2}}, {{2, 1}, {2, 2}}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// --- level-discharge tables ------------------------------------------------------------

// Links 1 and 2 of the 4 x 3 mesh share a face; a ZQ table names it from the first
// link's side, and a weir entry on the same face is overruled by the table. Table:
// levels 10.0, 10.5, 11.0 m with 1, 2, 3 m3/s in its one discharge column (from 9.0 m).
struct ZqFaceFlows : FaceFlowsTest {
  int a = 0, fa = 0, b = 0, fb = 0;
  void SetUp() override {
    FaceFlowsTest::SetUp();
    build_mesh(frame, 4, 3, {{1, 2}, {2, 2}, {3, 2}}, {{4, 2}}, false);
    set_up_surface(4.0);
    for (int l = 1; l <= frame.NLF && a == 0; ++l) {
      for (int f = 1; f <= 4; ++f) {
        const int g = frame.ICMREF(l, f, 2);
        if (g > l && g <= frame.NLF) {
          a = l, fa = f, b = g, fb = frame.ICMREF(l, f, 3);
          break;
        }
      }
    }
    ASSERT_NE(a, 0);
    add_entry(a, fa, OC_BC_WEIR, 1, {1.5, 0.67, 0.0, 0.0, 0.0});
    surface.ZQ_TABLE_COUNT = 1;
    surface.ZQ_TABLES.resize(1);
    ZqTable& z = surface.ZQ_TABLES(1);
    z.ZQTableLink = b;  // named from the other side of the face
    z.ZQTableFace = fb;
    z.nZQcols = 2;
    z.nZQrows = 3;
    z.ZQthreshold = {0.0, 9.0};
    z.ZQ_TABLE_VALUES.resize(3, 2, 0.0);
    const double rows[3][2] = {{10.0, 1.0}, {10.5, 2.0}, {11.0, 3.0}};
    for (int r = 1; r <= 3; ++r) {
      for (int k = 1; k <= 2; ++k) z.ZQ_TABLE_VALUES(r, k) = rows[r - 1][k - 1];
    }
    ASSERT_TRUE(model.io.units.open(ZQ_FLOW_UNIT, dir.file("flow.txt"), UnitDirection::Output));
    surface.ZQ_DIAGNOSTICS_IO = &model.io;
    frame.UZNOW = 5.0;
    frame.UZNEXT = 1.0;
  }
};

// Upstream level 10.3 m (link a): the first row at or above it gives 2 m3/s into link b,
// whatever the downstream level; dQd/dHu is the rating's slope between rows 1 and 2,
// (2 - 1) / (10.5 - 10.0) = 2 m2/s.
TEST_F(ZqFaceFlows, FaceTakesTheTabulatedDischarge) {
  for (double downstream : {8.0, 10.29}) {
    surface.SET_HRF(a, 10.3);
    surface.SET_HRF(b, downstream);
    run();
    EXPECT_EQ(surface.ZQ_ACTIVE_TABLE, 1);
    EXPECT_EQ(surface.QSA(b, fb), 2.0);
    EXPECT_EQ(surface.QSA(a, fa), -2.0);
    EXPECT_EQ(surface.DQIST(b, fb), 2.0);
    EXPECT_EQ(surface.DQ0ST(a, fa), -2.0);
    EXPECT_EQ(surface.DQ0ST(b, fb), 0.0);
    EXPECT_EQ(surface.DQIST(a, fa), 0.0);
  }
  // Reversed: link b upstream at 10.6 sends row 3's 3 m3/s into link a.
  surface.SET_HRF(b, 10.6);
  run();
  EXPECT_EQ(surface.QSA(a, fa), 3.0);
  model.io.units.flush_all();
  const std::vector<std::string> records = testing::lines_of(testing::read_file(dir.file("flow.txt")));
  ASSERT_EQ(records.size(), 3u);  // one per evaluation: Hu, Qd, dQd/dHu
  StringSource last({records[2]});
  double hu = 0.0, qd = 0.0, dq = 0.0;
  read_list(last, hu, qd, dq);
  EXPECT_EQ(hu, 10.6);
  EXPECT_EQ(qd, 3.0);
  EXPECT_EQ(dq, 2.0);  // (3 - 2) / (11.0 - 10.5)
}

}  // namespace
}  // namespace quendal
