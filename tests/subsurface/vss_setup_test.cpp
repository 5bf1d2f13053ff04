// The subsurface set-up on a 2 x 2 catchment of 100 m squares with the ground at
// 100 m: layers from the data file, cell stacks and their lateral connections, and the
// refusals of damaged data. Cell counts and levels are worked out by hand: a layer
// 8 m thick with cells of 0.5 m (+1e-6) gets floor(8 / 0.500001) + 1 = 16 cells.
#include "subsurface/vss_setup.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "services/stops.h"
#include "subsurface/aquifer_connections.h"
#include "subsurface/vss_cells.h"
#include "subsurface/vss_data_file.h"

namespace quendal {
namespace {

// Element e's own layers: soil 2 below soil 1, lower boundaries at `depths` (m).
std::string item(int e, const std::string& depths) {
  return std::to_string(e) + " 2\n2 1\n" + depths + "\n";
}

std::string vss_text(const std::string& depths_2 = "8.3 0.26", const std::string& extra = "") {
  return ":VS01 test\nTwo by two test catchment\noptions\nF F F\n"
         ":VS03\n2 2 0 1\n"
         ":VS04\n1.0 0.05 0.5 0.0 1.0\n"
         ":VS05\n1 1 0\n1 1 1 0.4 0.05 0.0001 1.5 0.03\n2 3 0\n1 1 1 0.3 0.05 0.0001 0 1.0\n"
         ":VS06\n0.1 0.2\n"
         ":VS08\n0 4\n:VS08d\n" +
         item(1, "8.3 0.26") + item(2, depths_2) + item(3, "8.3 0.26") + item(4, "8.3 0.26") +
         (extra.empty() ? ":VS10\n0\n" : extra) + ":VS11\n0 0 0 0 0 0 0 0\n";
}

struct VssSetUpTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SubsurfaceState& v = model.subsurface;

  void SetUp() override {
    ModelWithFiles::SetUp();
    testing::build_mesh(frame, 2, 2, {}, {}, false);
    NUMBER_ELEMENTS(frame, model.io, false);
    frame.ZGRUND.resize(frame.NEL, 100.0);
  }
  void open_vss(const std::string& text) { open_input(VSS_DATA_UNIT, "vss.txt", text); }
  void set_up(const std::string& text) {
    open_vss(text);
    VSS_SET_UP(frame, model.surface, v, model.io);
  }
};

// Elements 1 (1, 1) and 2 (2, 1) share face 1 of element 1 and face 3 of element 2.
TEST_F(VssSetUpTest, SameLayeringConnectsCellForCell) {
  set_up(vss_text());
  // Placeholder, 16 cells of layer 1 (91.7 to 99.7 m), near-surface cells of 0.2, 0.1 m.
  ASSERT_EQ(v.LL, 19);
  EXPECT_NE(print_text().find("Number of top cell in all columns (LL) =  19"), std::string::npos);
  for (int e = 1; e <= 4; ++e) {
    EXPECT_NEAR(v.LAYER_BOTTOM_LEVEL(e, 2), 99.7, 1e-12);  // 0.26 m snapped to 0.3 m
    EXPECT_EQ(v.LAYER_BOTTOM_CELL(e, 1), 2);
    EXPECT_EQ(v.LAYER_BOTTOM_CELL(e, 2), 18);  // layer 2 lies in the near-surface zone
    EXPECT_EQ(v.LAYER_BOTTOM_CELL(e, 3), 20);
  }
  EXPECT_NEAR(v.CELL_ELEVATION(2, 1), 91.95, 1e-12);
  EXPECT_NEAR(v.CELL_THICKNESS(17, 1), 0.5, 1e-12);
  EXPECT_NEAR(v.CELL_THICKNESS(18, 1), 0.2, 1e-12);
  EXPECT_NEAR(v.CELL_ELEVATION(19, 1), 99.95, 1e-12);
  for (int k = 2; k <= 19; ++k) {
    EXPECT_EQ(v.CELL_FACE_CELL(1, k, 1), k) << k;
    EXPECT_EQ(v.CELL_FACE_CELL(3, k, 2), k) << k;
    EXPECT_EQ(v.CELL_FACE_SPLIT(1, k, 1), 0);
    // Equal thicknesses on both sides, so equal face areas over the common 100 m face.
    EXPECT_EQ(v.CELL_THICKNESS(k, 1), v.CELL_THICKNESS(k, 2));
  }
  EXPECT_EQ(v.LAYER_FACE_CONNECTION(1, 1, 1), 22);  // layer 1 to layer 1
  EXPECT_EQ(v.LAYER_FACE_CONNECTION(1, 2, 1), 0);   // inside the near-surface zone
  EXPECT_EQ(v.CELL_FACE_CELL(3, 5, 1), 0);          // no neighbour to the west
}

TEST_F(VssSetUpTest, LayerBoundariesSnapToTheNearSurfaceCells) {
  open_vss(vss_text("8.3 0.12"));
  VSS_READ_DATA_FILE(frame, model.surface, v, model.io);
  EXPECT_NEAR(v.LAYER_BOTTOM_LEVEL(1, 2), 99.7, 1e-12);  // 0.26 -> 0.3
  EXPECT_NEAR(v.LAYER_BOTTOM_LEVEL(2, 2), 99.9, 1e-12);  // 0.12 -> 0.1
  EXPECT_NEAR(v.LAYER_BOTTOM_LEVEL(2, 1), 91.7, 1e-12);  // deep: unchanged
  EXPECT_EQ(v.LAYER_BOTTOM_LEVEL(2, 3), 100.0);
  EXPECT_NE(print_text().find(" DCSZON:  0.1 0.2"), std::string::npos);
}

// 16 cells facing 8: every pair of the bigger side shares one cell of the smaller.
TEST_F(VssSetUpTest, TwiceAsManyCellsSplitThroughout) {
  open_vss(vss_text("4.3 0.26"));
  VSS_READ_DATA_FILE(frame, model.surface, v, model.io);
  VSS_SET_UP_AQUIFER_CONNECTIONS(frame, v, model.io);
  VSS_SET_UP_CELLS(frame, model.surface, v, model.io);
  ASSERT_EQ(v.LL, 19);
  ASSERT_EQ(v.LAYER_BOTTOM_CELL(2, 1), 10);  // 8 cells, moved up by 8
  for (int q = 0; q < 8; ++q) {
    const int lower = 2 + 2 * q, shared = 10 + q;
    EXPECT_EQ(v.CELL_FACE_CELL(1, lower, 1), shared);
    EXPECT_EQ(v.CELL_FACE_CELL(1, lower + 1, 1), shared);
    EXPECT_EQ(v.CELL_FACE_SPLIT(1, lower, 1), 1);
    EXPECT_EQ(v.CELL_FACE_SPLIT(1, lower + 1, 1), -1);
    EXPECT_EQ(v.CELL_FACE_CELL(3, shared, 2), lower);
    EXPECT_EQ(v.CELL_FACE_SPLIT(3, shared, 2), 0);
  }
}

TEST_F(VssSetUpTest, SplitCellsStopTheSetUp) {
  // 8.5 m of layer 1 in element 2 gives 17 cells against 16.
  EXPECT_THROW(set_up(vss_text("8.8 0.26")), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find("FATAL ERROR 1080"), std::string::npos);
  EXPECT_NE(text.find("UNFINISHED CODE FOR SPLIT CELLS IN SUBROUTINE VSMB! Element     2, layer  1"),
            std::string::npos)
      << text;
}

TEST_F(VssSetUpTest, FaultyAquiferConnectionIsCountedThenFatal) {
  EXPECT_THROW(set_up(vss_text("8.3 0.26", ":VS10\n1\n:VS10a\n1 3 2 1\n")), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find("Layer  3 out of range, IAQCON entry  1 (element    1 has  2 layers)"),
            std::string::npos);
  EXPECT_NE(text.find("FATAL ERROR 1040"), std::string::npos);
  EXPECT_NE(text.find("   1 Errors have occurred in VSS data reading or initialisation."),
            std::string::npos);
}

// Damaged files: each gives its numbered fatal error, never a crash.
TEST_F(VssSetUpTest, DamagedFilesAreRefusedWithANumberedError) {
  struct Case {
    std::string from, to, number, shows;
  };
  const Case cases[] = {
      {"1.0 0.05 0.5", "1.0 0.05 0.5x", "FATAL ERROR 0007", "vss.txt, record 8"},  // letter in a number
      {":VS10\n0\n", "", "FATAL ERROR 0003", ":VS11"},                      // section missing
      {":VS03\n2 2", ":VS03\n1001 2", "FATAL ERROR 1077", "vss.txt, record 6"},       // NS beyond its room
      {"2 3 0\n", "2 5 0\n", "FATAL ERROR 1078", "function type   5"},
      {"0.4 0.05 0.0001 1.5", "0.4 0.05 0.0001 0.9", "FATAL ERROR 1078", "van Genuchten n"},
      {"0.4 0.05 0.0001", "0.04 0.05 0.0001", "FATAL ERROR 1078", "above the residual"},
      {"0 4\n", "0 3\n", "FATAL ERROR 1032", "NELEM should be    4"},
      {"2 1\n8.3 0.26\n:VS10", "2 7\n8.3 0.26\n:VS10", "FATAL ERROR 1077", "Soil type      7"},
      {"2 3 0\n1 1 1 0.3 0.05 0.0001 0 1.0\n", "2 2 25\n1 1 1 0.3 0.05 0.0001 0 1.0\n",
       "FATAL ERROR 1077", "table rows    25"},
      // A tabulated soil's rows under another soil's number.
      {"2 3 0\n1 1 1 0.3 0.05 0.0001 0 1.0\n",
       "2 2 2\n1 1 1 0.3 0.05 0.0001 0 1.0\n3 table\n-0.1 1.0 1.0\n-10.0 0.5 0.1\n",
       "FATAL ERROR 1051", "Soil type    2 not expected for soil property tables."},
  };
  for (const Case& c : cases) {
    std::string text = vss_text();
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    text.replace(at, c.from.size(), c.to);
    EXPECT_THROW(set_up(text), FatalError) << c.to;
    const std::string print = print_text();
    EXPECT_NE(print.find(c.number), std::string::npos) << c.to << "\n" << print;
    EXPECT_NE(print.find(c.shows), std::string::npos) << c.to << "\n" << print;
    ASSERT_TRUE(model.io.units.open(PRINT_UNIT, print_path, UnitDirection::Output));
  }
}

// A bed zone of one cell (:VS03's third count) is read from :VS07 after the surface zone
// and refused like it when its thickness is not positive.
TEST_F(VssSetUpTest, TheBedZoneIsReadAfterTheSurfaceZoneAndMustBeThick) {
  auto with_bed = [](const std::string& thickness) {
    std::string text = vss_text();
    text.replace(text.find(":VS03\n2 2 0 1"), 13, ":VS03\n2 2 1 1");
    const std::string surface = ":VS06\n0.1 0.2\n";
    text.replace(text.find(surface), surface.size(), surface + ":VS07\n" + thickness + "\n");
    return text;
  };
  set_up(with_bed("0.3"));
  ASSERT_EQ(v.DCRBED.size(), 1);
  EXPECT_EQ(v.DCRBED(1), 0.3);
  EXPECT_EQ(v.DCSZON(1), 0.1);
  EXPECT_EQ(v.DCSZON(2), 0.2);

  ASSERT_TRUE(model.io.units.open(PRINT_UNIT, print_path, UnitDirection::Output));
  EXPECT_THROW(set_up(with_bed("0.0")), FatalError);
  const std::string print = print_text();
  EXPECT_NE(print.find("FATAL ERROR 1078"), std::string::npos) << print;
  EXPECT_NE(print.find("Cell zone thickness"), std::string::npos) << print;
}

TEST(VssSplitIndex, HandWorkedCases) {
  struct Case {
    int a, b, offset, spacing;
  };
  // a <= 1: offset b / (a + 1) + 1, spacing b. a = 2, b = 2: c = 1, sigma 0, step 2.
  // a = 3, b = 7: c = 2, r = 0, sigma 0 + 2 * 1 (room 2 * 4 / 4 = 2), spacing 2, offset 2.
  for (const Case& c : {Case{0, 8, 9, 8}, Case{1, 4, 3, 4}, Case{2, 2, 1, 1}, Case{3, 7, 2, 2}}) {
    int offset = 0, spacing = 0;
    VSS_SPLIT_INDEX(c.a, c.b, offset, spacing);
    EXPECT_EQ(offset, c.offset) << c.a << " " << c.b;
    EXPECT_EQ(spacing, c.spacing) << c.a << " " << c.b;
  }
}


// Two links of a north-south channel across a 2 x 2 grid with banks, all ground at
// 100 m: a mudstone from 4 m to 1 m down (6 cells of 0.5 m in every bank and square),
// soil above it. A link's cells are its side-1 bank's cells below its bed: the first
// link's bed lies 1 m down and keeps all 6, the second's 3 m down and keeps 2. Facing
// each other end to end, the second needs 3 at least; its own cell count is raised, but
// a link's cells come from its bank whatever its count says, so no pass can connect
// them: the last allowed pass reports what it renumbered (1037), the next stops (1048).
TEST_F(VssSetUpTest, CellsThatCannotBeConnectedStopAfterTheLastPass) {
  testing::build_mesh(frame, 2, 2, {}, {{2, 1}, {2, 2}}, true);
  NUMBER_ELEMENTS(frame, model.io, false);
  frame.ZGRUND.resize(frame.NEL, 100.0);
  ASSERT_EQ(frame.NEL, 10);  // links 1 and 2, banks 3 to 6, squares 7 to 10
  ASSERT_EQ(frame.ICMREF(1, 2, 2), 2);
  model.surface.LINK_EQUIVALENT_BED.resize(frame.NLF, 0.0);
  model.surface.LINK_EQUIVALENT_BED(1) = 99.0;
  model.surface.LINK_EQUIVALENT_BED(2) = 97.0;
  std::string layers;
  for (int e : {1, 2, 7, 8, 9, 10}) layers += item(e, "4.0 1.0");
  const std::string text = ":VS01 test\nTwo links\noptions\nF F F\n:VS03\n2 2 0 1\n"
                           ":VS04\n1.0 0.05 0.5 0.0 1.0\n"
                           ":VS05\n1 1 0\n1 1 1 0.4 0.05 0.0001 1.5 0.03\n"
                           "2 1 0\n1 1 1 0.1 0.01 0.0001 2.0 0.05\n"
                           ":VS06\n0.1 0.2\n:VS08\n0 6\n:VS08d\n" + layers +
                           ":VS09\n1 1\n:VS09a\n0.0 0.0\n:VS10\n0\n:VS11\n0 0 0 0 0 0 0 0\n";
  EXPECT_THROW(set_up(text), FatalError);
  const std::string print = print_text();
  const std::size_t warning = print.find("WARNING 1037");
  ASSERT_NE(warning, std::string::npos) << print;
  EXPECT_NE(print.find("iel =    2", warning), std::string::npos);
  EXPECT_NE(print.find("Not possible to connect all cells for face 4 layer  1", warning),
            std::string::npos);
  const std::size_t fatal = print.find("FATAL ERROR 1048");
  ASSERT_NE(fatal, std::string::npos);
  EXPECT_LT(warning, fatal);
  EXPECT_NE(print.find("Attempts to renumber cells have failed.", fatal), std::string::npos);
  EXPECT_EQ(v.VSS_RENUMBER_ATTEMPTS, 40001);
}

}  // namespace
}  // namespace quendal
