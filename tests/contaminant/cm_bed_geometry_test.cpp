#include "contaminant/cm_bed_geometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contaminant/cm_initialise_fixture.h"

namespace quendal::testing {
namespace {

struct CmBedGeometry : CmMesh {
  void lay_out() {
    build_connection_lists(frame, subsurface, cm);
    set_up_link_bed_geometry(frame, surface, subsurface, cm, io);
  }
  // Runs of the connection list of element e over face f: the neighbour cells each
  // cell k lists, and the weights.
  std::vector<int> listed(int e, int f, int k) {
    std::vector<int> cells;
    for (int i = cm.CM_FACE_CELL_START(k, f, e); i < cm.CM_FACE_CELL_START(k + 1, f, e); ++i) {
      cells.push_back(cm.CM_FACE_CELL_LIST(i, f, e));
    }
    return cells;
  }
  std::vector<int> weights(int e, int f, int k) {
    std::vector<int> w;
    for (int i = cm.CM_FACE_CELL_START(k, f, e); i < cm.CM_FACE_CELL_START(k + 1, f, e); ++i) {
      w.push_back(cm.CM_FACE_CELL_WEIGHT(i, f, e));
    }
    return w;
  }
};

// Two squares side by side whose faces pair cells unevenly: cells 4 and 5 of the west
// square (0.2 m and 0.6 m) together face cell 4 of the east square, and the west
// square's cell 3 faces nothing.
TEST_F(CmBedGeometry, ConnectionListsFollowTheCellPairing) {
  build();
  const int west = square_at(frame, 1, 1), east = square_at(frame, 2, 1);
  subsurface.CELL_THICKNESS(4, west) = 0.2;
  subsurface.CELL_THICKNESS(5, west) = 0.6;
  subsurface.CELL_FACE_SPLIT(1, 4, west) = 1;
  subsurface.CELL_FACE_SPLIT(1, 5, west) = -1;
  subsurface.CELL_FACE_CELL(1, 5, west) = 4;
  subsurface.CELL_FACE_CELL(1, 6, west) = 5;  // the stacks run one apart above the pair
  subsurface.CELL_FACE_CELL(1, 3, west) = 0;
  subsurface.CELL_FACE_CELL(3, 3, east) = 0;
  build_connection_lists(frame, subsurface, cm);

  EXPECT_EQ(listed(west, 1, 2), std::vector<int>({2}));
  EXPECT_TRUE(listed(west, 1, 3).empty());
  // 0.2 / 0.8 and 0.6 / 0.8 of a whole face, truncated.
  EXPECT_EQ(listed(west, 1, 4), std::vector<int>({4, 4}));
  EXPECT_EQ(weights(west, 1, 4), std::vector<int>({8125, 24375}));
  EXPECT_EQ(listed(west, 1, 5), std::vector<int>({4}));
  EXPECT_EQ(listed(west, 1, 6), std::vector<int>({5}));
  // The east square sees the split from the other side: its cell 4 faces both cells,
  // weighted by their thicknesses.
  EXPECT_EQ(listed(east, 3, 4), std::vector<int>({4, 5}));
  EXPECT_EQ(weights(east, 3, 4), std::vector<int>({8125, 24375}));
  EXPECT_EQ(cm.CM_FACE_CELL_OWN(cm.CM_FACE_CELL_START(4, 3, east) + 1, 3, east), 4);
  // A face without a neighbour lists nothing, and the run of the top cell is closed.
  EXPECT_EQ(frame.ICMREF(west, 3, 2), 0);
  EXPECT_EQ(cm.CM_FACE_CELL_START(subsurface.LL + 1, 3, west), 1);
  EXPECT_EQ(cm.CM_FACE_CELL_START(subsurface.LL + 1, 3, east), 10);  // 9 entries
  // Scaled thicknesses, with a ghost cell above the top.
  EXPECT_DOUBLE_EQ(cm.CM_CELL_THICKNESS_SCALED(4, west), 0.2 / 50.0);
  EXPECT_DOUBLE_EQ(cm.CM_CELL_THICKNESS_SCALED(11, west), 0.5 / 50.0);
}

// 0.5 m cells on both sides, one-to-one, bed depth 0.75 m below a bed level at the top
// of cell 7: the bed holds cell 7 and the upper half of cell 6 (0.5 + 0.25 m), so the
// bank cell below the bed is 5 and half of cell 6 lies below it.
TEST_F(CmBedGeometry, UniformBanksShareOneBedBottom) {
  build();
  lay_out();
  for (int s = 1; s <= 2; ++s) {
    SCOPED_TRACE(s);
    EXPECT_EQ(cm.CM_BANK_ELEMENT(LINK, s), s == 1 ? bank1 : bank2);
    EXPECT_EQ(cm.CM_BED_BOTTOM_CELL(LINK, s), 5);
    EXPECT_NEAR(cm.CM_BED_BOTTOM_FRACTION(LINK, s), 0.5, 1e-12);
    EXPECT_EQ(cm.CM_BANK_EXCHANGE_CELL(LINK, s), 7);
  }
  // 0.05 m x 4 m / 2500 m2, and 4 m x (0.75 - 0.05) m / 2500 m2; rounding only.
  EXPECT_NEAR(cm.CM_SURFACE_LAYER_AREA(LINK), 8e-5, 1e-18);
  EXPECT_NEAR(cm.CM_BED_AREA_BASE(LINK), 0.00112, 1e-15);
}

// Side 2 has 0.25 m cells, side 1 0.5 m cells, bed depth 0.8 m. Side 2's bottom lies
// in cell 4 (0.25 x 3 = 0.75 m above it, 0.05 m = 0.2 of the cell into it), so y = 0.8,
// entry 3 and position 2.8; side 1 (cell 6, y = 0.4, position 4.4) lies higher along
// the face, so side 2 decides and side 1 takes the same entry: the last entry of its
// cell 3, with 0.8 of cell 4 below the bed.
TEST_F(CmBedGeometry, TheLowerSideSetsTheOtherSidesBottom) {
  build();
  set_cells(bank2, 0.25);
  cm.CM_BED_DEPTH = 0.8;
  lay_out();
  EXPECT_EQ(cm.CM_BED_BOTTOM_CELL(LINK, 2), 3);
  EXPECT_NEAR(cm.CM_BED_BOTTOM_FRACTION(LINK, 2), 0.8, 1e-12);
  EXPECT_EQ(cm.CM_BED_BOTTOM_CELL(LINK, 1), 3);
  EXPECT_NEAR(cm.CM_BED_BOTTOM_FRACTION(LINK, 1), 0.8, 1e-12);
  // Bed thickness: side 1 cells 4..7 less 0.8 of cell 4, i.e. 1.6 m; side 2 0.8 m.
  // 0.5 x 4 x (1.6 + 0.8) / 50 / 50 - 8e-5.
  EXPECT_NEAR(cm.CM_BED_AREA_BASE(LINK), 0.5 * 4.0 * 2.4 / 2500.0 - 8e-5, 1e-15);
}

// A bed of two whole cells (1 m): its bottom is the top of cell 5. The walk down stops at
// cell 5 with all of it below the bed (bottom cell 4, fraction 1); the other side must
// find the same level, not one cell higher.
TEST_F(CmBedGeometry, ABedOfWholeCellsHasItsFullDepthOnBothSides) {
  build();
  cm.CM_BED_DEPTH = 1.0;
  lay_out();
  for (int s = 1; s <= 2; ++s) {
    EXPECT_NEAR(cm.CM_BED_BOTTOM_CELL(LINK, s) + cm.CM_BED_BOTTOM_FRACTION(LINK, s), 5.0, 1e-12)
        << s;
  }
  EXPECT_NEAR(cm.CM_BED_AREA_BASE(LINK), 4.0 * (1.0 - 0.05) / 2500.0, 1e-15);
}

// A bed shallower than the part of the cell above LINK_BED_CELL that lies below the bed
// level ends inside that cell: 0.6 of cell 8 is bed, the bed is 0.2 m (0.4 of the cell)
// deep, so 0.2 of cell 8 lies below it.
TEST_F(CmBedGeometry, AShallowBedEndsInTheCellAboveTheBedCell) {
  build();
  subsurface.LINK_BED_CELL_FRACTION(LINK, 1) = subsurface.LINK_BED_CELL_FRACTION(LINK, 2) = 0.6;
  cm.CM_BED_DEPTH = 0.2;
  lay_out();
  for (int s = 1; s <= 2; ++s) {
    EXPECT_EQ(cm.CM_BED_BOTTOM_CELL(LINK, s), 7);
    EXPECT_NEAR(cm.CM_BED_BOTTOM_FRACTION(LINK, s), 0.2, 1e-12);
  }
  EXPECT_NEAR(cm.CM_BED_AREA_BASE(LINK), 4.0 * 0.2 / 2500.0 - 8e-5, 1e-15);
}

struct BadGeometry {
  std::string name;
  void (*spoil)(CmMesh&);
  std::string message;
};

struct CmBedGeometryError : CmBedGeometry, ::testing::WithParamInterface<BadGeometry> {};

TEST_P(CmBedGeometryError, IsFatal3010NamingLinkAndSide) {
  build();
  GetParam().spoil(*this);
  EXPECT_THROW(lay_out(), FatalError);
  const std::string print = print_text();
  EXPECT_NE(print.find("3010"), std::string::npos) << print;
  EXPECT_NE(print.find("Stream bed of link     1 " + GetParam().message), std::string::npos)
      << print;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CmBedGeometryError,
    ::testing::Values(
        BadGeometry{"NoSurfaceLayer", [](CmMesh& t) { t.cm.CM_SURFACE_LAYER_DEPTH = 0.0; },
                    "side 1: the surface layer depth (CM15) must be positive"},
        BadGeometry{"NoDeepLayer",
                    [](CmMesh& t) { t.cm.CM_BED_DEPTH = t.cm.CM_SURFACE_LAYER_DEPTH; },
                    "side 1: the bed depth (CM17) must exceed the surface layer depth (CM15)"},
        // Cells 3..7 hold 2.5 m above the lowest connected cell 2.
        BadGeometry{"BedDownToTheLowestConnectedCell",
                    [](CmMesh& t) { t.cm.CM_BED_DEPTH = 2.6; },
                    "side 1: the bed reaches the lowest connected cell  2 of bank element     2"},
        BadGeometry{"BedCellWithoutALinkCellBesideIt",
                    [](CmMesh& t) { t.subsurface.LAYER_BOTTOM_CELL(t.LINK, 1) = 6; },
                    "side 1: bank cell  7 at the bed level pairs with link cell  11 above LL = 10"},
        BadGeometry{"TooFewCells", [](CmMesh& t) { t.subsurface.LL = 2; },
                    "side 1: LL = 2 leaves no room for the three link compartments"}),
    [](const ::testing::TestParamInfo<BadGeometry>& info) { return info.param.name; });

TEST(CmBankCellWeight, WeightsOfTheWidenedColumn) {
  const double r = 0.25, y = 0.4;
  struct Case {
    int bed_bottom, bottom, k;
    double weight;
  };
  // Bed bottom above the column's bottom: r up to it, the blend just above, 1 higher.
  // Bed bottom below the column: only the cell under the bottom cell is blended.
  const std::vector<Case> cases = {{5, 2, 1, r},   {5, 2, 5, r},   {5, 2, 6, 1.0 - 0.75 * y},
                                   {5, 2, 7, 1.0}, {0, 2, 1, 1.0 - 0.75 * y}, {0, 2, 2, 1.0},
                                   {1, 2, 1, r},   {1, 2, 2, 1.0 - 0.75 * y}};
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(bank_cell_weight(r, c.bed_bottom, y, c.bottom, c.k), c.weight)
        << c.bed_bottom << " " << c.bottom << " " << c.k;
  }
}

}  // namespace
}  // namespace quendal::testing
