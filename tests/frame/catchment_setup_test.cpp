// Element geometry and the catchment set-up. Expected sizes, areas and node-to-face
// distances are worked out by hand from the cell widths, the channel widths and the
// 10 m bank width.
#include "frame/catchment_setup.h"

#include <gtest/gtest.h>

#include "frame/frame_data.h"
#include "frame/geometry.h"
#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "services/stops.h"

namespace quendal {
namespace {

using testing::build_mesh;
using V = std::vector<double>;

struct GeometryTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;

  // Numbers the mesh (quietly) and computes the geometry with every channel `width` wide.
  void set_up_geometry(double width, bool print_on = true) {
    NUMBER_ELEMENTS(frame, model.io, false);
    surface.CWIDTH.resize(frame.NLF, width);
    element_geometry(frame, surface, model.io, print_on);
  }
  V dhf(int e) const { return {frame.DHF(e, 1), frame.DHF(e, 2), frame.DHF(e, 3), frame.DHF(e, 4)}; }
  V size(int e) const { return {frame.DXQQ(e), frame.DYQQ(e)}; }
};

// 2 x 2 grid of 100 m, banks off, a 4 m link on the south face of cell (1, 2).
// Elements: link 1, squares 2 (1, 1), 3 (2, 1), 4 (1, 2), 5 (2, 2). Every node sits at
// the middle of its element, the squares beside the link 2 m off the link's half width.
TEST_F(GeometryTest, WorkedTwoByTwoExample) {
  build_mesh(frame, 2, 2, {{1, 2}}, {}, false);
  set_up_geometry(4.0);
  EXPECT_EQ(size(1), (V{100, 4}));
  EXPECT_EQ(frame.CLENTH(1), 100.0);
  EXPECT_EQ(size(2), (V{100, 98}));
  EXPECT_EQ(size(3), (V{100, 100}));
  EXPECT_EQ(size(4), (V{100, 98}));
  EXPECT_EQ(size(5), (V{100, 100}));
  EXPECT_EQ(frame.AREA(1), 400.0);
  EXPECT_EQ(frame.AREA(2), 9800.0);
  EXPECT_EQ(frame.TOTAL_CATCHMENT_AREA, 40000.0);

  EXPECT_EQ(dhf(1), (V{50, 2, 50, 2}));
  EXPECT_EQ(dhf(2), (V{50, 48, 50, 50}));
  EXPECT_EQ(dhf(3), (V{50, 50, 50, 50}));
  EXPECT_EQ(dhf(4), (V{50, 50, 50, 48}));
  EXPECT_EQ(dhf(5), (V{50, 50, 50, 50}));

  EXPECT_EQ(print_text(),
            "\n"
            "   INDEX   DXQQ (M)   DYQQ (M)     AREA (M^^2)\n"
            "\n"
            "          1     100.00       4.00          400.00\n"
            "          2     100.00      98.00         9800.00\n"
            "          3     100.00     100.00        10000.00\n"
            "          4     100.00      98.00         9800.00\n"
            "          5     100.00     100.00        10000.00\n"
            "\n"
            " TOTAL CATCHMENT AREA =    40000.000 SQ. METRES. \n"
            " BASIC CATCHMENT AREA =    40000.000 SQ. METRES. \n"
            " DIFFERENCE INTRODUCED BY CHANNEL SYSTEM AND BANKS =        0.000 %\n"
            "\n");
}

TEST_F(GeometryTest, NothingPrintedWithoutThePrintFlag) {
  build_mesh(frame, 2, 2, {{1, 2}}, {}, false);
  set_up_geometry(4.0, false);
  EXPECT_EQ(frame.TOTAL_CATCHMENT_AREA, 40000.0);
  EXPECT_EQ(print_text(), "");
}

// A bend with banks (4 m channels, 100 m cells): link 1 east-west at (1, 2), link 2
// north-south at (2, 2); banks 3, 4 (side 1), 5, 6 (side 2); squares 7 (1, 1), 8 (2, 1),
// 9 (1, 2) inside the bend, 10 (2, 2).
TEST_F(GeometryTest, BanksAtTheInsideOfABendAreCutBack) {
  build_mesh(frame, 2, 2, {{1, 2}}, {{2, 2}}, true);
  set_up_geometry(4.0);
  EXPECT_EQ(size(1), (V{100, 4}));
  EXPECT_EQ(size(2), (V{4, 100}));
  EXPECT_EQ(frame.CLENTH(2), 100.0);
  // The square inside the bend gives 2 + 10 to each bank, and each of those banks gives
  // up 10 + 2 where it meets the other.
  EXPECT_EQ(size(9), (V{88, 88}));
  EXPECT_EQ(size(3), (V{88, 10}));
  EXPECT_EQ(size(6), (V{10, 88}));
  EXPECT_EQ(size(5), (V{100, 10}));  // outer banks keep their length
  EXPECT_EQ(size(4), (V{10, 100}));
  EXPECT_EQ(size(7), (V{100, 88}));
  EXPECT_EQ(size(8), (V{100, 100}));
  EXPECT_EQ(size(10), (V{88, 100}));
  // 800 (links) + 3760 (banks) + 35344 (squares).
  EXPECT_EQ(frame.TOTAL_CATCHMENT_AREA, 39904.0);

  EXPECT_EQ(dhf(9), (V{38, 50, 50, 38}));   // 12 m of the 50 taken by the banks
  EXPECT_EQ(dhf(10), (V{50, 50, 38, 50}));
  EXPECT_EQ(dhf(2), (V{2, 50, 2, 50}));
  EXPECT_EQ(dhf(3), (V{83, 5, 5, 5}));      // no bank west of it: node 5 m in
  EXPECT_EQ(dhf(6), (V{5, 44, 5, 44}));     // bank 3 south of it: node at mid-length
  for (int e = 1; e <= frame.NEL; ++e) {
    EXPECT_DOUBLE_EQ(frame.DHF(e, 1) + frame.DHF(e, 3), frame.DXQQ(e)) << e;
    EXPECT_DOUBLE_EQ(frame.DHF(e, 2) + frame.DHF(e, 4), frame.DYQQ(e)) << e;
  }

  const std::string text = print_text();
  EXPECT_NE(text.find(" TOTAL CATCHMENT AREA =    39904.000 SQ. METRES. \n"
                      " BASIC CATCHMENT AREA =    40000.000 SQ. METRES. \n"
                      " DIFFERENCE INTRODUCED BY CHANNEL SYSTEM AND BANKS =       -0.241 %\n"),
            std::string::npos)
      << text;
}

// Uneven spacings 100, 200, 50 m: cells of 100, 150, 125, 50 m. Whatever the spacings,
// the nodes of two neighbouring squares lie the spacing between them apart, and the
// edge squares have their nodes at their centres.
TEST_F(GeometryTest, NodesOfNeighboursLieOneSpacingApart) {
  build_mesh(frame, 4, 2, {}, {}, false);
  frame.GRID_SPACING_X(1) = 100.0;
  frame.GRID_SPACING_X(2) = 200.0;
  frame.GRID_SPACING_X(3) = 50.0;
  set_up_geometry(4.0, false);
  EXPECT_EQ(frame.CELL_WIDTH_X(1), 100.0);
  EXPECT_EQ(frame.CELL_WIDTH_X(2), 150.0);
  EXPECT_EQ(frame.CELL_WIDTH_X(3), 125.0);
  EXPECT_EQ(frame.CELL_WIDTH_X(4), 50.0);
  for (int i = 1; i <= 3; ++i) {
    const int west = frame.ICMXY(i, 1), east = frame.ICMXY(i + 1, 1);
    EXPECT_DOUBLE_EQ(frame.DHF(west, 1) + frame.DHF(east, 3), frame.GRID_SPACING_X(i)) << i;
  }
  EXPECT_EQ(dhf(frame.ICMXY(1, 1)), (V{50, 50, 50, 50}));
  EXPECT_EQ(dhf(frame.ICMXY(4, 2)), (V{25, 50, 25, 50}));
}

// Links on the outermost grid lines of a 2 x 2 grid: link 1 east-west on the south
// face of cell (1, 1), link 2 north-south on the west face of cell (1, 2); squares 3
// (1, 1), 4 (2, 1), 5 (1, 2), 6 (2, 2). Beyond the grid's edge the nearest spacing
// (100 m) stands in, so the squares' nodes stay 50 m from the faces away from the link
// and (100 - 4) / 2 m from the link's side, and the links' nodes lie mid-length.
TEST_F(GeometryTest, LinksOnTheGridEdgeLeaveEveryDistancePositive) {
  build_mesh(frame, 2, 2, {{1, 1}}, {{1, 2}}, false);
  set_up_geometry(4.0, false);  // refused if any DHF were negative
  ASSERT_EQ(frame.NLF, 2);
  EXPECT_EQ(size(3), (V{100, 98}));
  EXPECT_EQ(size(5), (V{98, 100}));
  EXPECT_EQ(dhf(1), (V{50, 2, 50, 2}));
  EXPECT_EQ(dhf(2), (V{2, 50, 2, 50}));
  EXPECT_EQ(dhf(3), (V{50, 50, 50, 48}));
  EXPECT_EQ(dhf(5), (V{50, 50, 48, 50}));
  EXPECT_EQ(dhf(4), (V{50, 50, 50, 50}));
}

TEST_F(GeometryTest, LargeCatchmentIsPrintedInSquareKilometres) {
  build_mesh(frame, 30, 30, {}, {}, false);  // 900 squares of 100 m x 100 m
  set_up_geometry(4.0);
  const std::string text = print_text();
  EXPECT_NE(text.find("\n TOTAL CATCHMENT AREA =        9.000 SQ. KM. \n"
                      " BASIC CATCHMENT AREA =        9.000 SQ. KM. \n"
                      " DIFFERENCE INTRODUCED BY CHANNEL SYSTEM AND BANKS =        0.000 %\n"),
            std::string::npos)
      << text;
}

TEST_F(GeometryTest, ChannelWiderThanItsCellIsRefused) {
  build_mesh(frame, 2, 2, {{1, 2}}, {}, false);
  EXPECT_THROW(set_up_geometry(120.0, false), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find("FATAL ERROR 1005"), std::string::npos) << text;
  EXPECT_NE(text.find("Node of the element lies outside it"), std::string::npos) << text;
}

TEST_F(GeometryTest, GridOfOneRowIsRefused) {
  build_mesh(frame, 3, 1, {}, {}, false);
  EXPECT_THROW(set_up_geometry(4.0, false), FatalError);
  EXPECT_NE(print_text().find("Grid of   3 x   1 cells: at least 2 columns and 2 rows are needed"),
            std::string::npos);
}

TEST_F(GeometryTest, LinksTakeTheMetCodesOfTheirFirstNeighbourWithBoth) {
  build_mesh(frame, 2, 2, {{1, 2}}, {}, false);
  NUMBER_ELEMENTS(frame, model.io, false);
  frame.MET_SITE_OF_ELEMENT.resize(frame.NEL, 0);
  frame.RAIN_STATION_OF_ELEMENT.resize(frame.NEL, 0);
  // Link 1: square 4 over face 2, square 2 over face 4.
  frame.MET_SITE_OF_ELEMENT(4) = 2;  // no rain station: passed over
  frame.MET_SITE_OF_ELEMENT(2) = 3;
  frame.RAIN_STATION_OF_ELEMENT(2) = 4;
  inherit_link_met_codes(frame);
  EXPECT_EQ(frame.MET_SITE_OF_ELEMENT(1), 3);
  EXPECT_EQ(frame.RAIN_STATION_OF_ELEMENT(1), 4);

  frame.MET_SITE_OF_ELEMENT(2) = 0;  // no neighbour has both: site 1, station 1
  inherit_link_met_codes(frame);
  EXPECT_EQ(frame.MET_SITE_OF_ELEMENT(1), 1);
  EXPECT_EQ(frame.RAIN_STATION_OF_ELEMENT(1), 1);
}

// The example catchment: 10 x 8 squares of 100 m inside a border, an east-west main
// channel of 8 links and two tributaries of 3 links joining it from the north and the
// south. Every link takes 2 m from each square beside it and adds 400 m2; the four
// squares with a link on two faces give back 2 x 2 m2 each.
TEST_F(GeometryTest, ExampleCatchment) {
  ASSERT_TRUE(model.io.units.open(FRAME_DATA_UNIT,
                                  testing::source_dir() + "/examples/example/example_frame.txt",
                                  UnitDirection::Input));
  INFR(frame, model.io);
  ASSERT_EQ(frame.NLF, 14);
  ASSERT_EQ(frame.NEL, 94);
  EXPECT_EQ(frame.junction_entry_count, 6);
  surface.CWIDTH.resize(frame.NLF, 4.0);
  element_geometry(frame, surface, model.io, true);
  EXPECT_DOUBLE_EQ(frame.TOTAL_CATCHMENT_AREA, 800016.0);
  const std::string text = print_text();
  EXPECT_NE(text.find("NO. OF NODES WITH 3 BRANCHES =    2\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" TOTAL CATCHMENT AREA =   800016.000 SQ. METRES. \n"
                      " BASIC CATCHMENT AREA =   800000.000 SQ. METRES. \n"
                      " DIFFERENCE INTRODUCED BY CHANNEL SYSTEM AND BANKS =        0.002 %\n"),
            std::string::npos)
      << text;
}

// The whole set-up on the 2 x 2 example read from files: frame data, a one-type ET data
// file and a met file.
struct CatchmentSetupTest : testing::ModelWithFiles {
  void open_input(int unit, const std::string& name, const std::string& text) {
    ASSERT_TRUE(model.io.units.open(unit, dir.write(name, text), UnitDirection::Input));
  }
  void SetUp() override {
    ModelWithFiles::SetUp();
    open_input(10, "frame.txt", two_by_two_frame());
    open_input(13, "et.txt",
               "ET data\n"
               "      F      F      F\n"
               "Met record intervals (hours)\n"
               "1.0 1.0 1.0\n"
               "Potential evaporation given per met site\n"
               "      0\n"
               "Vegetation type 1\n"
               "      F   50.0    0.0    0.0    0.0   40.0      1\n"
               "      0    1.0    1.0    0.1    1.0      0    1.0    1.0    0.0\n"
               "Modes of the time-varying parameters\n"
               "      0      0      0      0\n"
               "Root density profile\n");
    open_input(19, "met.txt", "Met data\n1990 1 1 0 0 0.0\n");
    // Uniform roughness, no boundaries, the link 6 m wide.
    open_input(12, "oc.txt",
               "OC data\n0 0 0 F\nt\nt\nt\n0.0 2.0 0.0 0.0 0.0\nBoundaries\n0 0 0\n"
               "Channel data\n0\nLinks\n1 9.0 0.0 20.0 2\n6.0 0.0 6.0 1.0\n");
    // One soil, one 5 m layer under every square.
    open_input(11, "vss.txt",
               ":VS01\nVSS data\noptions\nF F F\n:VS03\n1 0 0 1\n:VS04\n1.0 0.05 0.5 0 1\n"
               ":VS05\n1 1 0\n1 1 1 0.4 0.05 0.0001 1.5 0.03\n:VS08\n1 0\n:VS08a\n1 1\n1\n5.0\n"
               ":VS10\n0\n:VS11\n0 0 0 0 0 0 0 0\n");
  }
  static std::string two_by_two_frame() {
    return "Two by two worked example\n"
           "NX NY\n2 2\n"
           "Start\n1990 1 1 0 0\n"
           "End\n1990 1 2 0 0\n"
           "Sediment start\n1990 1 1 0 0\n"
           "Contaminant start\n1990 1 1 0 0\n"
           "Spacings in x\n  100.0\n"
           "Spacings in y\n  100.0\n"
           "   DTAO  PMODE  PRINT unused unused  STORE PSTART\n"
           "   24.0      1      T      F      F      F    0.0\n"
           " RAINMX DTGROW QMAXOC  DTBAS  SOFTS\n"
           "    5.0    1.5  100.0    1.0      F\n"
           "   SNOW  BANKS    SED    CON\n"
           "      F      F      F      F\n"
           " HSREAD HSWRIT HSTIME HSINTV\n"
           "      F      F      0      0\n"
           "  NMETS NRAINS    NVT    NST   NSHC\n"
           "      1      1      1      1      1\n"
           "Default codes\n"
           "skipped\n"
           "Default codes\n"
           "      1      1      1      1      0      0\n"
           "Mask\n"
           "      2 11\n"
           "      1 11\n"
           "LCODEX\n"
           "      2 I.I\n"
           "      1 I.I\n"
           "LCODEY\n"
           "      3 II\n"
           "      2 R.\n"
           "      1 II\n"
           "Elevation\n"
           "      2   10.0   10.0\n"
           "      1   10.0   10.0\n";
  }
};

TEST_F(CatchmentSetupTest, RunsTheFrameAndGeometryWithTheChannelWidthOfTheOcData) {
  CATCHMENT_SETUP(model);
  const FrameState& frame = model.frame;
  ASSERT_EQ(frame.NEL, 5);
  EXPECT_EQ(model.surface.CWIDTH(1), 6.0);
  EXPECT_EQ(frame.DYQQ(1), 6.0);
  EXPECT_EQ(frame.DYQQ(2), 97.0);
  EXPECT_EQ(frame.TOTAL_CATCHMENT_AREA, 40000.0);
  EXPECT_EQ(model.surface.MSM, 0);  // snow off
  EXPECT_EQ(frame.NEXT_HOTSTART_TIME, 0.0);
  // Links take the codes of the squares beside them.
  EXPECT_EQ(frame.MET_SITE_OF_ELEMENT(1), 1);
  EXPECT_EQ(frame.RAIN_STATION_OF_ELEMENT(1), 1);

  const std::string text = print_text();
  const auto index_array = text.find("INDEX ARRAY: NO. OF ELEMENTS =      5\n");
  const auto total = text.find(" TOTAL CATCHMENT AREA =    40000.000 SQ. METRES. \n");
  ASSERT_NE(index_array, std::string::npos) << text;
  ASSERT_NE(total, std::string::npos) << text;
  EXPECT_LT(index_array, total);
  EXPECT_EQ(text.find("HOTSTART OF SIMULATION"), std::string::npos);

  // The frame data file is rewound for whoever reads it next.
  std::string first;
  ASSERT_TRUE(model.io.units.unit(10).read_record(first));
  EXPECT_EQ(first, "Two by two worked example");
}

TEST_F(CatchmentSetupTest, HotStartWithoutAFileIsFatal) {
  std::string frame_text = two_by_two_frame();
  const std::string cold = "      F      F      0      0\n";
  frame_text.replace(frame_text.find(cold), cold.size(), "      T      F      0      0\n");
  open_input(10, "frame.txt", frame_text);
  // Reading is on but no hot-start file is named: nothing to continue from.
  EXPECT_THROW(CATCHMENT_SETUP(model), FatalError);
  EXPECT_NE(print_text().find("FATAL ERROR 1090"), std::string::npos);
  EXPECT_NE(print_text().find("names no hot-start file"), std::string::npos);
}

}  // namespace
}  // namespace quendal
