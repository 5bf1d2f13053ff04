// The OC set-up: link section geometry, the rows of the implicit solution, and the whole
// OC_INITIALISE on a small catchment read from files.
#include "surface/oc/oc_setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "surface/oc/oc_conveyance.h"
#include "surface/oc/oc_fixture.h"

namespace quendal {
namespace {

using testing::OcDataText;

// One link with the pairs given, its bed at 100 m.
SurfaceState surface_with_link(const std::vector<double>& widths,
                               const std::vector<double>& heights) {
  SurfaceState s;
  const int n = static_cast<int>(widths.size());
  s.NXSECT.resize(1, n);
  s.XINW.resize(1, NOCTAB, 0.0);
  s.XINH.resize(1, NOCTAB, 0.0);
  s.LINK_PAIR_AREA.resize(1, NOCTAB, 0.0);
  s.LINK_FULL_AREA.resize(1, 0.0);
  s.LINK_EQUIVALENT_BED.resize(1, 0.0);
  s.OC_SECTION_TABLE.resize(1);
  s.STRX.resize(1, 30.0);
  for (int j = 1; j <= n; ++j) {
    s.XINW(1, j) = widths[j - 1];
    s.XINH(1, j) = heights[j - 1];
  }
  s.CWIDTH.resize(1, widths.back());
  s.ZBFULL.resize(1, 100.0 + heights.back());
  return s;
}

// Width 2 at the bed, 4 at 1 m: 3 m2 at bank-full, which a 4 m wide rectangle holds with
// its bed 0.75 m below bank-full.
TEST(OcLinkSections, EquivalentBedOfAWideningSection) {
  SurfaceState s = surface_with_link({2.0, 4.0}, {0.0, 1.0});
  build_link_sections(s, 1);
  EXPECT_EQ(s.LINK_PAIR_AREA(1, 1), 0.0);
  EXPECT_EQ(s.LINK_PAIR_AREA(1, 2), 3.0);
  EXPECT_EQ(s.LINK_FULL_AREA(1), 3.0);
  EXPECT_DOUBLE_EQ(s.LINK_EQUIVALENT_BED(1), s.ZBFULL(1) - 0.75);
  EXPECT_EQ(s.OC_SECTION_TABLE(1).pairs, 2);
  EXPECT_EQ(s.OC_SECTION_TABLE(1).strickler, 30.0);
  EXPECT_DOUBLE_EQ(section_area_below(s.OC_SECTION_TABLE(1), 0.5), 1.25);
}

TEST(OcLinkSections, RectangularSectionHasItsOwnBed) {
  SurfaceState s = surface_with_link({3.0, 3.0, 3.0}, {0.0, 0.5, 2.0});
  build_link_sections(s, 1);
  EXPECT_EQ(s.LINK_PAIR_AREA(1, 3), 6.0);
  EXPECT_DOUBLE_EQ(s.LINK_EQUIVALENT_BED(1), 100.0);
}

std::vector<int> row_elements(const SurfaceState& s, int y) {
  std::vector<int> row;
  for (int p = s.OC_ROW_START(y); p < s.OC_ROW_START(y + 1); ++p)
    row.push_back(s.OC_ROW_ELEMENTS(p));
  return row;
}

struct OcRowsTest : testing::OcFixture {};

// A bend with banks: link 1 east-west at (1, 2), link 2 north-south at (2, 2); banks 3, 4
// (side 1 of links 1, 2), 5, 6 (side 2); squares 7 (1, 1), 8 (2, 1), 9 (1, 2), 10 (2, 2).
TEST_F(OcRowsTest, LinksStandWithTheirBanksBesideTheirSquares) {
  build(2, 2, {{1, 2}}, {{2, 2}}, true);
  build_oc_rows(frame, surface, model.io);
  EXPECT_EQ(surface.OC_FIRST_ROW, 1);
  EXPECT_EQ(surface.OC_LAST_ROW, 2);
  EXPECT_EQ(row_elements(surface, 1), (std::vector<int>{7, 8}));
  // Square 9, its south link with side 1 (north) first, then the west link of square 10
  // with side 2 (west) first, then square 10.
  EXPECT_EQ(row_elements(surface, 2), (std::vector<int>{9, 3, 1, 5, 6, 2, 4, 10}));
  EXPECT_EQ(surface.OC_ROW_START(3), 11);
  EXPECT_EQ(surface.OC_COLUMN_OF_ELEMENT(8), 2);
  EXPECT_EQ(surface.OC_COLUMN_OF_ELEMENT(9), 1);
  EXPECT_EQ(surface.OC_COLUMN_OF_ELEMENT(4), 7);
}

TEST_F(OcRowsTest, RowOutsideTheCatchmentIsEmpty) {
  build(2, 3, {}, {}, false, {{1, 1}, {2, 1}});
  build_oc_rows(frame, surface, model.io);
  EXPECT_EQ(surface.OC_FIRST_ROW, 2);
  EXPECT_EQ(surface.OC_LAST_ROW, 3);
  EXPECT_EQ(surface.OC_ROW_START(1), surface.OC_ROW_START(2));
  EXPECT_EQ(row_elements(surface, 2), (std::vector<int>{1, 2}));
  EXPECT_EQ(surface.OC_ROW_START(4), 5);
}

// 251 squares and 250 north-south links in one row: 501 elements, one more than a row of
// the solution holds.
TEST_F(OcRowsTest, RowOfMoreThan500ElementsIsFatal) {
  std::vector<testing::Cell> links;
  for (int x = 2; x <= 251; ++x) links.push_back({x, 1});
  build(251, 2, {}, links, false);
  EXPECT_THROW(build_oc_rows(frame, surface, model.io), FatalError);
  EXPECT_NE(print_text().find(" !!!FATAL ERROR 1006 at time =        0.00 hours\n"
                              "        ARRAY DIMENSION OF NXOC TOO SMALL\n"),
            std::string::npos);
}

// The whole set-up on the 2 x 2 catchment with one link (1 on the south face of cell
// (1, 2)) and a head boundary of one square, its series file behind its title line.
TEST_F(OcRowsTest, InitialiseReadsChecksAndBuilds) {
  build(2, 2, {{1, 2}}, {}, false);
  OcDataText data;
  data.counts = "1 0 0";
  data.boundary_grids = testing::digit_grid({"00", "01"});
  open_oc_file(data.text());
  open_input(38, "ohb.txt", "Head series\n1990 1 1 0 0 10.5\n");
  OC_INITIALISE(model);

  EXPECT_EQ(surface.HRF(1), 9.5);
  EXPECT_EQ(surface.CWIDTH(1), 4.0);
  EXPECT_DOUBLE_EQ(surface.LINK_EQUIVALENT_BED(1), 10.0 - 0.75);
  EXPECT_EQ(surface.LINK_FULL_AREA(1), 3.0);
  EXPECT_EQ(surface.OC_SECTION_TABLE(1).pairs, 2);
  ASSERT_EQ(surface.OC_BOUNDARY_ENTRY_COUNT, 1);
  EXPECT_EQ(surface.OC_BOUNDARY_ELEMENT(1), 3);  // square (2, 1)
  EXPECT_EQ(surface.OC_BOUNDARY_TYPE(1), OC_BC_HEAD);
  EXPECT_EQ(surface.OC_BOUNDARY_FACE(1), 0);
  EXPECT_EQ(row_elements(surface, 2), (std::vector<int>{4, 1, 5}));
  EXPECT_EQ(surface.QSA.extent(1), frame.NEL);
  EXPECT_EQ(surface.ARXL.size(), 1);

  std::string next;
  ASSERT_TRUE(model.io.units.unit(38).read_record(next));
  EXPECT_EQ(next, "1990 1 1 0 0 10.5");
  const std::string text = print_text();
  EXPECT_NE(text.find("            1       3       0        head         1"), std::string::npos)
      << text;
  EXPECT_NE(
      text.find("\n\n     Size of internal tables for channel conveyance, etc  NXSCEE =100000\n"),
      std::string::npos)
      << text;
}

}  // namespace
}  // namespace quendal
