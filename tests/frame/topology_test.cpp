// Element numbering and catchment topology. Expected tables are worked out by hand
// from the numbering order and the neighbour rules (left turn, straight on, right
// turn at a link end; a bank follows its own bank round a corner).
#include "frame/topology.h"

#include <gtest/gtest.h>

#include "frame/frame_data.h"
#include "frame/mesh_builder.h"
#include "include/dimensions.h"
#include "services/stops.h"

namespace quendal {
namespace {

using testing::build_mesh;
using testing::faces_back;
using testing::junction;
using testing::neighbours;
using testing::placement;
using V = std::vector<int>;

struct TopologyTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  void number(bool print_on = true) { NUMBER_ELEMENTS(frame, model.io, print_on); }
};

// 2 x 2 grid, banks off, one east-west link on the south face of cell (1, 2).
TEST_F(TopologyTest, WorkedTwoByTwoExample) {
  build_mesh(frame, 2, 2, {{1, 2}}, {}, false);
  number();
  EXPECT_EQ(frame.NLF, 1);
  EXPECT_EQ(frame.NEL, 5);
  EXPECT_EQ(frame.NGDBGN, 2);
  EXPECT_EQ(frame.junction_entry_count, 0);
  EXPECT_EQ(frame.ICMXY(1, 1), 2);
  EXPECT_EQ(frame.ICMXY(2, 1), 3);
  EXPECT_EQ(frame.ICMXY(1, 2), 4);
  EXPECT_EQ(frame.ICMXY(2, 2), 5);
  EXPECT_FALSE(frame.LINK_NORTH_SOUTH(1));

  struct Row {
    int e;
    V placed, next, back;
    int nbface;
  };
  const Row rows[] = {
      {1, {3, 1, 2, 1}, {0, 4, 0, 2}, {1, 4, 3, 2}, 1},
      {2, {0, 1, 1, 9999}, {3, 1, 0, 0}, {3, 4, 3, 4}, 3},
      {3, {0, 2, 1, 0}, {0, 5, 2, 0}, {1, 4, 1, 4}, 1},
      {4, {0, 1, 2, 9999}, {5, 0, 0, 1}, {3, 2, 3, 2}, 2},
      {5, {0, 2, 2, 0}, {0, 0, 4, 3}, {1, 2, 1, 2}, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.e);
    EXPECT_EQ(placement(frame, r.e), r.placed);
    EXPECT_EQ(neighbours(frame, r.e), r.next);
    EXPECT_EQ(faces_back(frame, r.e), r.back);
    EXPECT_EQ(frame.NBFACE(r.e), r.nbface);
  }

  // The index array, column by column: a blank, then 4 blanks + 6 columns per number,
  // the direction tag between the link and the neighbours.
  EXPECT_EQ(print_text(),
            " \n"
            "INDEX ARRAY: NO. OF ELEMENTS =      5\n"
            "\n"
            "      INDEX      TYPE         X         Y      LINK     FACE1     FACE2     FACE3     FACE4\n"
            "      -----      ----         -         -      ----     -----     -----     -----     -----\n"
            "          1         3         1         2         1 EW      0         4         0         2\n"
            "          2         0         1         1      9999         3         1         0         0\n"
            "          3         0         2         1         0         0         5         2         0\n"
            "          4         0         1         2      9999         5         0         0         1\n"
            "          5         0         2         2         0         0         0         4         3\n");
}

TEST_F(TopologyTest, NothingPrintedWithoutThePrintFlag) {
  build_mesh(frame, 2, 2, {{1, 2}}, {}, false);
  number(false);
  EXPECT_EQ(frame.NEL, 5);
  EXPECT_EQ(print_text(), "");
}

// Three east-west links in one row: a plain chain, open at both ends.
TEST_F(TopologyTest, StraightChannelIsAChainWithOpenEnds) {
  build_mesh(frame, 3, 2, {{1, 2}, {2, 2}, {3, 2}}, {}, false);
  number();
  ASSERT_EQ(frame.NLF, 3);
  EXPECT_EQ(neighbours(frame, 1), (V{2, 7, 0, 4}));
  EXPECT_EQ(neighbours(frame, 2), (V{3, 8, 1, 5}));
  EXPECT_EQ(neighbours(frame, 3), (V{0, 9, 2, 6}));
  EXPECT_EQ(faces_back(frame, 2), (V{3, 4, 1, 2}));
  EXPECT_EQ(frame.NBFACE(1), 3);
  EXPECT_EQ(frame.NBFACE(2), 0);
  EXPECT_EQ(frame.NBFACE(3), 1);
  EXPECT_EQ(frame.junction_entry_count, 0);
  EXPECT_EQ(print_text().find("AUXILIARY"), std::string::npos);
}

// An east-west link ending against a north-south channel of two links at corner (2, 2).
// Links: 1 north-south at (2, 1), 2 east-west at (2, 2), 3 north-south at (2, 2).
TEST_F(TopologyTest, TJunctionMakesThreeEntriesOfOneNode) {
  build_mesh(frame, 3, 3, {{2, 2}}, {{2, 1}, {2, 2}}, false);
  number();
  ASSERT_EQ(frame.NLF, 3);
  EXPECT_TRUE(frame.LINK_NORTH_SOUTH(1));
  EXPECT_FALSE(frame.LINK_NORTH_SOUTH(2));
  EXPECT_TRUE(frame.LINK_NORTH_SOUTH(3));
  // Each link end at the corner leads to a junction entry listing the other two links
  // (left turn, straight on, right turn) and the face of each that points back.
  EXPECT_EQ(frame.ICMREF(1, 2, 2), -1);
  EXPECT_EQ(frame.ICMREF(2, 3, 2), -2);
  EXPECT_EQ(frame.ICMREF(3, 4, 2), -3);
  EXPECT_EQ(frame.ICMREF(1, 2, 3), 0);
  ASSERT_EQ(frame.junction_entry_count, 3);
  EXPECT_EQ(junction(frame, 1), (V{0, 3, 2, 0, 4, 3}));
  EXPECT_EQ(junction(frame, 2), (V{1, 0, 3, 2, 0, 4}));
  EXPECT_EQ(junction(frame, 3), (V{2, 1, 0, 3, 2, 0}));

  const std::string text = print_text();
  EXPECT_NE(text.find(" \n"
                      "AUXILIARY INDEX ARRAY FOR CHANNEL NODES: \n"
                      "NO. OF NODES WITH 3 BRANCHES =    1\n"
                      "NO. OF NODES WITH 4 BRANCHES =    0\n"
                      "TOTAL NO. OF INDICES         =    3\n"
                      "\n"
                      "    INDEX  LINK 1  LINK 2  LINK 3\n"
                      "    -----  ------  ------  ------\n"
                      "        1       0       3       2\n"
                      "        2       1       0       3\n"
                      "        3       2       1       0\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("          1         3         2         1         1 NS      5        -1         4         0\n"),
            std::string::npos)
      << text;
}

// Two channels crossing at corner (2, 2): links 1 north-south at (2, 1), 2 and 3
// east-west at (1, 2) and (2, 2), 4 north-south at (2, 2).
TEST_F(TopologyTest, CrossingMakesFourEntriesOfOneNode) {
  build_mesh(frame, 3, 3, {{1, 2}, {2, 2}}, {{2, 1}, {2, 2}}, false);
  number();
  ASSERT_EQ(frame.NLF, 4);
  ASSERT_EQ(frame.junction_entry_count, 4);
  EXPECT_EQ(junction(frame, 1), (V{2, 4, 3, 1, 4, 3}));  // north end of link 1
  EXPECT_EQ(junction(frame, 2), (V{4, 3, 1, 4, 3, 2}));  // east end of link 2
  EXPECT_EQ(junction(frame, 3), (V{1, 2, 4, 2, 1, 4}));  // west end of link 3
  EXPECT_EQ(junction(frame, 4), (V{3, 1, 2, 3, 2, 1}));  // south end of link 4
  const std::string text = print_text();
  EXPECT_NE(text.find("NO. OF NODES WITH 3 BRANCHES =    0\n"
                      "NO. OF NODES WITH 4 BRANCHES =    1\n"
                      "TOTAL NO. OF INDICES         =    4\n"),
            std::string::npos)
      << text;

  EXPECT_EQ(FIND_LINK_AT_FACE(frame, 2, 1, true), 1);
  EXPECT_EQ(FIND_LINK_AT_FACE(frame, 1, 2, false), 2);
  EXPECT_EQ(FIND_LINK_AT_FACE(frame, 2, 2, false), 3);
  EXPECT_EQ(FIND_LINK_AT_FACE(frame, 2, 2, true), 4);
  EXPECT_EQ(FIND_LINK_AT_FACE(frame, 2, 1, false), 0);
  EXPECT_EQ(FIND_LINK_AT_FACE(frame, 3, 3, true), 0);
  EXPECT_EQ(FIND_LINK_AT_FACE(frame, 0, 0, false), 0);
}

TEST_F(TopologyTest, BanksOnNumberBanksBeforeSquares) {
  build_mesh(frame, 2, 2, {{1, 2}}, {}, true);
  number();
  ASSERT_EQ(frame.NEL, 7);
  EXPECT_EQ(frame.LINK_BANK_ELEMENT(1, 1), 2);
  EXPECT_EQ(frame.LINK_BANK_ELEMENT(1, 2), 3);
  EXPECT_EQ(placement(frame, 2), (V{1, 1, 2, 1}));
  EXPECT_EQ(placement(frame, 3), (V{2, 1, 2, 1}));
  EXPECT_EQ(frame.ICMXY(1, 1), 4);
  EXPECT_EQ(frame.ICMXY(2, 2), 7);
  EXPECT_EQ(neighbours(frame, 1), (V{0, 2, 0, 3}));
  EXPECT_EQ(neighbours(frame, 2), (V{0, 6, 0, 1}));  // north bank: square (1, 2) beyond
  EXPECT_EQ(neighbours(frame, 3), (V{0, 1, 0, 4}));  // south bank: square (1, 1) beyond
  EXPECT_EQ(neighbours(frame, 4), (V{5, 3, 0, 0}));
  EXPECT_EQ(neighbours(frame, 6), (V{7, 0, 0, 2}));
  // With banks a square touches no link, so none carries the 9999 mark.
  for (int e = 4; e <= 7; ++e) EXPECT_EQ(frame.ICMREF(e, 4, 1), 0) << e;
  EXPECT_NE(print_text().find("          2         1         1         2         1 EW      0         6         0         1\n"),
            std::string::npos);
}

// A bend at corner (2, 2): link 1 east-west at (1, 2) turns into link 2 north-south
// at (2, 2). Banks 3, 4 (side 1 of links 1, 2), 5, 6 (side 2); squares 7 to 10.
TEST_F(TopologyTest, BanksFollowTheirOwnBankRoundABend) {
  build_mesh(frame, 2, 2, {{1, 2}}, {{2, 2}}, true);
  number();
  ASSERT_EQ(frame.NEL, 10);
  EXPECT_EQ(neighbours(frame, 1), (V{2, 3, 0, 5}));
  EXPECT_EQ(neighbours(frame, 2), (V{4, 0, 6, 1}));
  EXPECT_EQ(neighbours(frame, 3), (V{6, 9, 0, 1}));   // inner bank of the bend
  EXPECT_EQ(neighbours(frame, 6), (V{2, 0, 9, 3}));
  EXPECT_EQ(neighbours(frame, 5), (V{4, 1, 0, 7}));   // outer bank of the bend
  EXPECT_EQ(neighbours(frame, 4), (V{10, 0, 2, 5}));
  EXPECT_EQ(neighbours(frame, 9), (V{6, 0, 0, 3}));   // square inside the bend
  EXPECT_EQ(faces_back(frame, 3), (V{4, 4, 3, 2}));
  EXPECT_EQ(faces_back(frame, 5), (V{4, 4, 3, 2}));
  EXPECT_EQ(frame.junction_entry_count, 0);
}

TEST_F(TopologyTest, IsolatedSquareHasNoNeighbours) {
  build_mesh(frame, 3, 3, {}, {}, false,
             {{1, 1}, {2, 1}, {3, 1}, {1, 2}, {3, 2}, {1, 3}, {2, 3}, {3, 3}});
  number();
  ASSERT_EQ(frame.NEL, 1);
  EXPECT_EQ(placement(frame, 1), (V{0, 2, 2, 0}));
  EXPECT_EQ(neighbours(frame, 1), (V{0, 0, 0, 0}));
  EXPECT_EQ(faces_back(frame, 1), (V{1, 2, 3, 4}));
  EXPECT_EQ(frame.NBFACE(1), 1);
}

TEST_F(TopologyTest, CodesFourAndAboveMakeLinks) {
  for (int code : {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11}) {
    SCOPED_TRACE(code);
    build_mesh(frame, 2, 2, {}, {}, false);
    frame.LCODEY(1, 2) = code;
    number(false);
    EXPECT_EQ(frame.NLF, code >= 4 ? 1 : 0);
    EXPECT_EQ(frame.ICMREF(frame.ICMXY(1, 1), 2, 2), code >= 4 ? 1 : frame.ICMXY(1, 2));
  }
}

TEST_F(TopologyTest, OuterGridLinesMakeNoLinks) {
  build_mesh(frame, 2, 2, {}, {}, false);
  frame.LCODEX(3, 1) = testing::CODE_RIVER;  // east edge
  frame.LCODEY(1, 3) = testing::CODE_RIVER;  // north edge
  number();
  EXPECT_EQ(frame.NLF, 0);
  EXPECT_EQ(frame.NEL, 4);
  EXPECT_EQ(neighbours(frame, 2), (V{0, 4, 1, 0}));
  EXPECT_EQ(neighbours(frame, 3), (V{4, 0, 0, 1}));
}

// The T junction's table edited so that faces no longer point back. Square 4 at (1, 1)
// names square 12 over its east face, where link 1 lies: link 1 finds no face of 4
// pointing back over its face 3, and 12 none pointing back to 4. Entry 1 (north end of
// link 1) names link 2 twice, and entry 2 (link 2's end there) loses link 1: neither
// listing of link 2 finds a face of link 2 whose entry holds link 1, and link 3's
// entry, naming link 1, finds no face of link 1 whose entry holds link 3.
TEST_F(TopologyTest, FacesThatDoNotPointBackAreReportedAndCounted) {
  build_mesh(frame, 3, 3, {{2, 2}}, {{2, 1}, {2, 2}}, false);
  number(false);
  ASSERT_EQ(find_faces_pointing_back(frame, model.io), 0);
  frame.ICMREF(4, 1, 2) = 12;
  frame.ICMRF2(1, 2) = 2;
  frame.ICMRF2(2, 1) = 0;
  EXPECT_EQ(find_faces_pointing_back(frame, model.io), 5);
  EXPECT_EQ(print_text(),
            " INCONSISTENCY FOUND AT INDEX:   1 FACE: 2\n"
            " INCONSISTENCY FOUND AT INDEX:   1 FACE: 2\n"
            " INCONSISTENCY FOUND AT INDEX:   1 FACE: 3\n"
            " INCONSISTENCY FOUND AT INDEX:   3 FACE: 4\n"
            " INCONSISTENCY FOUND AT INDEX:   4 FACE: 1\n"
            "\n"
            "   5 INCONSISTENCIES FOUND IN INDEX ARRAY\n"
            "\n");
}

TEST_F(TopologyTest, MeshBeyondTheElementLimitIsRefused) {
  build_mesh(frame, 201, 200, {}, {}, false);  // 40200 squares
  EXPECT_THROW(number(false), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find("FATAL ERROR 1001"), std::string::npos) << text;
  EXPECT_NE(text.find("40200 elements: at most NELEE = 40000"), std::string::npos) << text;
}

TEST_F(TopologyTest, MoreLinksThanTheLinkLimitAreRefused) {
  build_mesh(frame, 101, 100, {}, {}, false);  // 10100 squares: within NELEE with the links
  for (int j = 1; j <= 100; ++j)
    for (int i = 1; i <= 101; ++i) frame.LCODEY(i, j) = testing::CODE_RIVER;  // 10100 links
  EXPECT_THROW(number(false), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find("FATAL ERROR 1001"), std::string::npos) << text;
  EXPECT_NE(text.find("10100 channel links: at most NLFEE = 10000"), std::string::npos) << text;
}

TEST_F(TopologyTest, EmptyCatchmentIsRefused) {
  build_mesh(frame, 2, 2, {}, {}, false, {{1, 1}, {2, 1}, {1, 2}, {2, 2}});
  EXPECT_THROW(number(false), FatalError);
  EXPECT_NE(print_text().find("The catchment mask holds no grid square"), std::string::npos);
}

// The banks-on fixture read through the frame data reader: a channel of three east-west
// links (1 to 3 at (3..5, 4)) joined at corner (5, 4) by a north-south link 4.
TEST_F(TopologyTest, BanksFixtureNumbersBanksRoundATJunction) {
  ASSERT_TRUE(model.io.units.open(FRAME_DATA_UNIT,
                                  testing::source_dir() + "/tests/frame/fixtures/banks_frame.txt",
                                  UnitDirection::Input));
  INFR(frame, model.io);
  ASSERT_EQ(frame.NLF, 4);
  ASSERT_EQ(frame.NEL, 32);  // 4 links, 8 banks, 20 squares
  EXPECT_EQ(frame.NGDBGN, 5);
  for (int l = 1; l <= 4; ++l) {
    EXPECT_EQ(frame.LINK_BANK_ELEMENT(l, 1), 4 + l);
    EXPECT_EQ(frame.LINK_BANK_ELEMENT(l, 2), 8 + l);
  }
  EXPECT_EQ(frame.ICMXY(2, 2), 13);
  EXPECT_EQ(frame.ICMXY(6, 5), 32);
  EXPECT_EQ(placement(frame, 8), (V{1, 5, 4, 4}));
  EXPECT_EQ(placement(frame, 12), (V{2, 5, 4, 4}));
  // At the junction each bank meets the bank of the next link on its own side.
  EXPECT_EQ(frame.ICMREF(6, 1, 2), 12);   // north bank of link 2 -> west bank of link 4
  EXPECT_EQ(frame.ICMREF(12, 4, 2), 6);
  EXPECT_EQ(frame.ICMREF(10, 1, 2), 11);  // south bank of link 2 -> south bank of link 3
  EXPECT_EQ(frame.ICMREF(11, 3, 2), 10);
  EXPECT_EQ(frame.ICMREF(7, 3, 2), 8);    // north bank of link 3 -> east bank of link 4
  EXPECT_EQ(frame.ICMREF(8, 4, 2), 7);
  EXPECT_EQ(neighbours(frame, 25), (V{12, 30, 24, 6}));  // square (4, 4), inside the T
  EXPECT_EQ(junction(frame, 1), (V{4, 3, 0, 4, 3, 0}));
  const std::string text = print_text();
  EXPECT_NE(text.find("INDEX ARRAY: NO. OF ELEMENTS =     32\n"), std::string::npos);
  EXPECT_NE(text.find("NO. OF NODES WITH 3 BRANCHES =    1\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace quendal
