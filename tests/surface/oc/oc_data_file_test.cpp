// The OC data file: roughness, initial levels, the boundary table, the channel part and
// the errors each counts before the fatal summary. Fixtures are 2 x 2 (or small) meshes of
// 100 m squares with grounds at 10 m.
#include "surface/oc/oc_data_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "surface/oc/oc_fixture.h"

namespace quendal {
namespace {

using testing::Cell;
using testing::digit_grid;
using testing::OcDataText;
using testing::real_grid;

std::string padded(const std::string& text, std::size_t length) {
  std::string s = text;
  s.resize(length, ' ');
  return s;
}
// A report's message line: 8 blanks and the message text at its fixed length.
std::string message_line(const std::string& text, std::size_t length) {
  return "        " + padded(text, length) + "\n";
}
const std::string SUMMARY_ONE_ERROR =
    message_line("    1 ERROR(S) FOUND DURING OC INPUT DATA PROCESSING", 81);

// 2 x 2 squares, one east-west link on the south face of cell (1, 2), banks off:
// link 1, squares 2 (1, 1), 3 (2, 1), 4 (1, 2), 5 (2, 2).
struct OcDataFileTest : testing::OcFixture {
  void SetUp() override {
    OcFixture::SetUp();
    build(2, 2, {{1, 2}}, {}, false);
  }
};

TEST_F(OcDataFileTest, UniformRoughnessLinkDataAndEcho) {
  read(OcDataText{});  // CDRS 2.5 with NCATR 3: no CATR record and no grids
  for (int e = 2; e <= 5; ++e) {
    EXPECT_EQ(surface.STRX(e), 2.5) << e;
    EXPECT_EQ(surface.STRY(e), 2.5) << e;
    EXPECT_EQ(surface.HRF(e), 10.0) << e;  // no depth grid: dry
  }
  EXPECT_EQ(frame.ZGRUND(1), 9.0);  // the link's bed
  EXPECT_EQ(surface.HRF(1), 9.5);
  EXPECT_EQ(surface.STRX(1), 20.0);
  EXPECT_EQ(surface.STRY(1), 20.0);
  EXPECT_EQ(surface.NXSECT(1), 2);
  EXPECT_EQ(surface.XINW(1, 2), 4.0);
  EXPECT_EQ(surface.XINH(1, 2), 1.0);
  EXPECT_EQ(surface.CWIDTH(1), 4.0);
  EXPECT_EQ(surface.ZBFULL(1), 10.0);
  EXPECT_EQ(surface.OC_BOUNDARY_ENTRY_COUNT, 0);
  // Print flag 1: echo, but the OC step's result window is switched off.
  EXPECT_EQ(surface.OC_PRINT_END, 10.0);
  EXPECT_EQ(surface.OC_PRINT_START, 11.0);

  EXPECT_EQ(
      print_text(),
      "\n\n\n"
      "---- OC MODULE  INPUT DATA PROCESSING ----\n"
      "\n\n"
      "     NUMBER OF DIFFERENT OVERLAND FLOW ROUGHNESS CATEGORIES   NCATR =    3\n"
      "\n"
      "     DEFAULT VALUE OF OVERLAND FLOW ROUGHNESS COEFFICIENT     CDRS =     2.50\n"
      "\n"
      "     Initial overland water depth is zero\n"
      "\n"
      "     Link Element Data:\n"
      "\n"
      "         Element  Elevation Init.Depth  Strickler      Width     Height\n"
      "\n"
      "               1      9.000      0.500     20.000      2.000      0.000\n"
      "                                                       4.000      1.000\n"
      "\n"
      "     Default OC B.C. is no-flow at catchment boundaries and at channel/bank dead-ends\n"
      "\n\n\n"
      "---- OC MODULE  END OF INPUT DATA PROCESSING ----\n"
      "\n\n\n");
  // The file is rewound for whoever reads it next.
  std::string first;
  ASSERT_TRUE(model.io.units.unit(OC_DATA_UNIT).read_record(first));
  EXPECT_EQ(first, "OC data");
}

// Categories 0 and 3 of two are taken to 1 and 2 without a message; the depth grid gives
// the squares their levels; print flag 2 keeps the result window and echoes nothing.
TEST_F(OcDataFileTest, RoughnessCategoriesAndInitialDepths) {
  OcDataText data;
  data.controls = "0 2 2 T";
  data.roughness = "0.0 0.0 5.0 10.0 0.0";
  data.overland_grids = "1.5 6.0\n" + real_grid({{0.25, 0.0}, {0.1, 2.0}}) +
                        digit_grid({"03", "12"}) + digit_grid({"22", "11"});
  read(data);
  // Squares: 2 (1, 1), 3 (2, 1), 4 (1, 2), 5 (2, 2).
  EXPECT_EQ(surface.STRX(2), 1.5);
  EXPECT_EQ(surface.STRX(3), 6.0);
  EXPECT_EQ(surface.STRX(4), 1.5);  // category 0
  EXPECT_EQ(surface.STRX(5), 6.0);  // category 3
  EXPECT_EQ(surface.STRY(2), 1.5);
  EXPECT_EQ(surface.STRY(5), 6.0);
  EXPECT_DOUBLE_EQ(surface.HRF(2), 10.1);
  EXPECT_DOUBLE_EQ(surface.HRF(3), 12.0);
  EXPECT_DOUBLE_EQ(surface.HRF(4), 10.25);
  EXPECT_DOUBLE_EQ(surface.HRF(5), 10.0);
  EXPECT_EQ(surface.OC_PRINT_START, 5.0);
  EXPECT_EQ(print_text(), "");
}

TEST_F(OcDataFileTest, RealRoughnessGrids) {
  OcDataText data;
  data.controls = "0 0 0 F";
  data.roughness = "0.0 0.0 0.0 0.0 0.0";
  data.overland_grids = real_grid({{3.0, 4.0}, {1.0, 2.0}}) + real_grid({{7.0, 8.0}, {5.0, 6.0}});
  read(data);
  EXPECT_EQ(surface.STRX(2), 1.0);
  EXPECT_EQ(surface.STRX(5), 4.0);
  EXPECT_EQ(surface.STRY(3), 6.0);
  EXPECT_EQ(surface.STRY(4), 7.0);
}

TEST_F(OcDataFileTest, TooManyRoughnessCategoriesIsFatalAtOnce) {
  OcDataText data;
  data.controls = "0 21 0 F";
  data.roughness = "0.0 0.0 0.0 0.0 0.0";
  open_oc_file(data.text());
  EXPECT_THROW(OC_READ_DATA_FILE(frame, surface, model.io), FatalError);
  EXPECT_NE(
      print_text().find(message_line(
          "Number of roughness categories NCATR =  21  lies outside range 0:NOCTAB = 0 :  20", 81)),
      std::string::npos);
}

// A weir at the free west end of the link: the entry comes from the face code, its face
// and parameters from the link's record; the output component finds the outlet by it.
TEST_F(OcDataFileTest, WeirAtTheLinkEndIsEntered) {
  frame.LCODEY(1, 2) = OC_BC_WEIR;
  OcDataText data;
  data.links = {"1 9.0 0.5 20.0 2\n2.0 0.0 4.0 1.0\n3 6.8 0.67 10.2 9.0"};
  read(data);
  ASSERT_EQ(surface.OC_BOUNDARY_ENTRY_COUNT, 1);
  EXPECT_EQ(surface.OC_ELEMENT_BOUNDARY(1), 1);
  EXPECT_EQ(surface.OC_BOUNDARY_ELEMENT(1), 1);
  EXPECT_EQ(surface.OC_BOUNDARY_FACE(1), 3);
  EXPECT_EQ(surface.OC_BOUNDARY_TYPE(1), OC_BC_WEIR);
  EXPECT_EQ(surface.OC_BOUNDARY_CATEGORY(1), 1);
  EXPECT_EQ(surface.OC_BOUNDARY_COEFFICIENTS(1, 1), 6.8);
  EXPECT_EQ(surface.OC_BOUNDARY_COEFFICIENTS(4, 1), 9.0);
  EXPECT_EQ(surface.OC_BOUNDARY_COEFFICIENTS(5, 1), 0.0);
  EXPECT_EQ(frame.ICMREF(1, 3, 2), 0);  // the face is free

  const std::string text = print_text();
  EXPECT_NE(text.find("     OC Boundary Conditions:\n"
                      "\n"
                      "        Index Element    Face        Type  Category  Coefficients\n"
                      "            1       1       3        weir         1"
                      "   6.80000      0.670000       10.2000       9.00000       0.00000    \n"),
            std::string::npos)
      << text;
}

TEST(OcBoundaryTypeName, ElevenCharactersRightAlignedExceptFlux) {
  EXPECT_EQ(oc_boundary_type_name(1), "impermeable");
  EXPECT_EQ(oc_boundary_type_name(3), "       head");
  EXPECT_EQ(oc_boundary_type_name(4), " flux      ");
  EXPECT_EQ(oc_boundary_type_name(8), " river+weir");
  EXPECT_EQ(oc_boundary_type_name(10), "       flux");
  EXPECT_EQ(oc_boundary_type_name(11), " polynomial");
}

// Category 3 where two are given: error 1020 at the square, no entry, the channel part is
// skipped, and the file ends with the fatal summary.
TEST_F(OcDataFileTest, HeadCategoryAboveTheCountIsCountedThenFatal) {
  OcDataText data;
  data.counts = "2 0 0";
  data.boundary_grids = digit_grid({"00", "30"});
  const std::string text = read_failing(data);
  EXPECT_NE(text.find(" !!!      ERROR 1020 at time =        0.00 hours, iel =    2\n" +
                      message_line("ERROR IN OC HEAD BOUNDARY GRID", 77)),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(" !!!FATAL ERROR 1049 at time =        0.00 hours\n" + SUMMARY_ONE_ERROR),
            std::string::npos)
      << text;
  EXPECT_EQ(surface.OC_BOUNDARY_ENTRY_COUNT, 0);
  EXPECT_EQ(surface.CWIDTH(1), 0.0);  // channel part not read
  EXPECT_EQ(text.find("Link Element Data"), std::string::npos);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 2);
}

// Polynomial record 2 where 1 is expected: error 1031, category 1 keeps zeros and the
// next record is taken for category 2.
TEST_F(OcDataFileTest, PolynomialRecordsOutOfTurn) {
  OcDataText data;
  data.counts = "0 0 2";
  data.boundary_grids = digit_grid({"00", "12"}) + "Polynomials\n2 1 2 3 4 5\n2 6 7 8 9 10\n";
  read_failing(data);
  // Square 2 (1, 1) has category 1, square 3 (2, 1) category 2; each acts through its
  // first free face.
  ASSERT_EQ(surface.OC_BOUNDARY_ENTRY_COUNT, 2);
  EXPECT_EQ(surface.OC_BOUNDARY_ELEMENT(1), 2);
  EXPECT_EQ(surface.OC_BOUNDARY_FACE(1), frame.NBFACE(2));
  EXPECT_EQ(surface.OC_BOUNDARY_TYPE(1), OC_BC_POLYNOMIAL);
  EXPECT_EQ(surface.OC_BOUNDARY_COEFFICIENTS(1, 1), 0.0);
  EXPECT_EQ(surface.OC_BOUNDARY_ELEMENT(2), 3);
  EXPECT_EQ(surface.OC_BOUNDARY_CATEGORY(2), 2);
  EXPECT_EQ(surface.OC_BOUNDARY_COEFFICIENTS(1, 2), 6.0);
  EXPECT_EQ(surface.OC_BOUNDARY_COEFFICIENTS(5, 2), 10.0);
  const std::string text = print_text();
  EXPECT_NE(text.find(message_line("Error reading polynomial function data in OC", 77)),
            std::string::npos);
  EXPECT_NE(text.find(SUMMARY_ONE_ERROR), std::string::npos);
}

// A flux square beside an impermeable face between two squares gets a second entry.
TEST(OcBoundaryTable, SecondEntryOfAnElementIsAnError) {
  testing::StandaloneOcFixture f;
  f.SetUp();
  f.build(2, 2, {}, {}, false);              // squares 1 (1, 1), 2 (2, 1), 3 (1, 2), 4 (2, 2)
  f.frame.LCODEX(2, 1) = OC_BC_IMPERMEABLE;  // between squares 1 and 2
  OcDataText data;
  data.counts = "0 1 0";
  data.boundary_grids = digit_grid({"00", "10"});
  data.links.clear();
  const std::string text = f.read_failing(data);
  // Entries: 1 flux of square 1, 2 (2, face 3) and 3 (1, face 1) impermeable.
  EXPECT_EQ(f.surface.OC_BOUNDARY_ENTRY_COUNT, 3);
  EXPECT_EQ(f.surface.OC_BOUNDARY_OF_ELEMENT(1), 3);
  EXPECT_EQ(f.surface.OC_BOUNDARY_OF_ELEMENT(2), 2);
  EXPECT_EQ(f.surface.OC_BOUNDARY_FACE(3), 1);
  EXPECT_NE(
      text.find(", iel =    1\n" +
                message_line("Element has multiple OC boundary conditions (types 4 and 1)", 77)),
      std::string::npos)
      << text;
  EXPECT_NE(text.find(SUMMARY_ONE_ERROR), std::string::npos);
  f.TearDown();
}

// Eleven impermeable faces between squares make 22 entries, two more than the table holds.
TEST(OcBoundaryTable, MoreEntriesThanTheRoomIsAnError) {
  testing::StandaloneOcFixture f;
  f.SetUp();
  f.build(12, 2, {}, {}, false);
  for (int x = 1; x <= 11; ++x) f.frame.LCODEY(x, 2) = OC_BC_IMPERMEABLE;
  OcDataText data;
  data.links.clear();
  const std::string text = f.read_failing(data);
  EXPECT_EQ(f.surface.OC_BOUNDARY_ENTRY_COUNT, NOCTAB);
  EXPECT_NE(
      text.find(message_line(
          "Number of OC boundary conditions NOCBC =  22  exceeds array size NOCTAB =  20", 77)),
      std::string::npos)
      << text;
  f.TearDown();
}

// A flux boundary acts through a free face: on the middle square of a 3 x 3 mesh it could
// never act, and the data file says so instead of dropping it.
TEST(OcBoundaryTable, FluxOnAnElementWithoutFreeFaceIsAnError) {
  testing::StandaloneOcFixture f;
  f.SetUp();
  f.build(3, 3, {}, {}, false);
  OcDataText data;
  data.counts = "0 1 0";
  data.boundary_grids = digit_grid({"000", "010", "000"});
  data.links.clear();
  const std::string text = f.read_failing(data);
  EXPECT_EQ(f.surface.OC_BOUNDARY_ENTRY_COUNT, 0);
  EXPECT_NE(text.find(" !!!      ERROR 1014 at time =        0.00 hours, iel =    5\n" +
                      message_line("OC flux boundary on an element that has no free face", 77)),
            std::string::npos)
      << text;
  f.TearDown();
}

// Head and flux categories have room for NOCTAB values each: a count below 0, or a total
// above NOCTAB once every channel head or flux face has taken a category of its own, is
// counted, and the channel part is not read.
TEST(OcBoundaryCategories, CountsOutsideTheirRoomAreErrors) {
  struct Case {
    const char* what;
    std::string counts;
    std::string grids;
    int channel_code;  // face code of the link's free west end, 0 for none
    int number;
    std::string message;
  };
  // A wide-layout grid (more than nine categories) with no boundary in it.
  const std::string no_boundary = "Grid title\n      2 0 0\n      1 0 0\n";
  const std::vector<Case> cases = {
      {"negative head count", "-1 0 0", "", 0, 1020,
       "Number of OC head boundary categories =  -1, outside range 0 :  20"},
      {"20 head categories and a channel head face", "20 0 0", no_boundary, OC_BC_LINK_HEAD, 1020,
       "Number of OC head boundary categories =  21, outside range 0 :  20"},
      {"21 flux categories", "0 21 0", no_boundary, 0, 1021,
       "Number of OC flux boundary categories =  21, outside range 0 :  20"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::StandaloneOcFixture f;
    f.SetUp();
    f.build(2, 2, {{1, 2}}, {}, false);
    if (c.channel_code != 0) f.frame.LCODEY(1, 2) = c.channel_code;
    OcDataText data;
    data.counts = c.counts;
    data.boundary_grids = c.grids;
    const std::string text = f.read_failing(data);
    EXPECT_NE(text.find(" !!!      ERROR " + std::to_string(c.number) +
                        " at time =        0.00 hours\n" + message_line(c.message, 77)),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(SUMMARY_ONE_ERROR), std::string::npos) << text;
    EXPECT_EQ(f.surface.CWIDTH(1), 0.0);  // channel part not read
    f.TearDown();
  }
}

TEST_F(OcDataFileTest, ChannelHeadCategoryMustBeOneOfTheCategories) {
  frame.LCODEY(1, 2) = OC_BC_LINK_HEAD;  // one head category of its own: count 0 + 1
  OcDataText data;
  data.links = {"1 9.0 0.5 20.0 2\n2.0 0.0 4.0 1.0\n2"};
  const std::string text = read_failing(data);
  EXPECT_EQ(surface.OC_N_HEAD_CATEGORIES, 1);
  EXPECT_EQ(surface.OC_BOUNDARY_FACE(1), 0);  // a head entry has no face
  EXPECT_EQ(surface.OC_BOUNDARY_CATEGORY(1), 2);
  EXPECT_NE(
      text.find(
          ", iel =    1\n" +
          message_line("Head boundary category   2 of the link lies outside range 1 :   1", 102)),
      std::string::npos)
      << text;
}

// The face of a channel boundary must be one the flow laws visit.
TEST_F(OcDataFileTest, ChannelBoundaryFaceMustBeFree) {
  frame.LCODEY(1, 2) = OC_BC_LINK_FLUX;
  OcDataText data;
  data.links = {"1 9.0 0.5 20.0 2\n2.0 0.0 4.0 1.0\n2 1"};  // face 2 has square 4 over it
  const std::string text = read_failing(data);
  EXPECT_EQ(surface.OC_N_FLUX_CATEGORIES, 1);
  EXPECT_NE(
      text.find(message_line("OC boundary of type 10 on face  2 of the link: the face must be "
                             "1 to 4 with no neighbour",
                             102)),
      std::string::npos)
      << text;
}

// Two links: 1 on the south face of cell (1, 2), 2 on that of cell (2, 2).
struct OcChannelDataTest : testing::OcFixture {
  void SetUp() override {
    OcFixture::SetUp();
    build(2, 2, {{1, 2}, {2, 2}}, {}, false);
  }
};

TEST_F(OcChannelDataTest, DefaultSectionsAreCopied) {
  OcDataText data;
  data.defaults = "3\nDefaults\n2\n1 0 1 1\n3\n2 0 3 0.5 5 2\n2\n7 0 7 3";
  data.links = {"1 9.0 0.5 20.0 -2", "2 8.0 0.0 25.0 -3"};
  read(data);
  EXPECT_EQ(surface.NXSECT(1), 3);
  EXPECT_EQ(surface.XINW(1, 3), 5.0);
  EXPECT_EQ(surface.XINH(1, 2), 0.5);
  EXPECT_EQ(surface.CWIDTH(1), 5.0);
  EXPECT_EQ(surface.ZBFULL(1), 11.0);
  EXPECT_EQ(surface.NXSECT(2), 2);
  EXPECT_EQ(surface.CWIDTH(2), 7.0);
  EXPECT_EQ(surface.ZBFULL(2), 11.0);
  const std::string text = print_text();
  EXPECT_NE(text.find("     Default Channel Cross-sections:\n"
                      "\n"
                      "       Category     Width    Height\n"
                      "\n"
                      "              1     1.000     0.000\n"
                      "                    1.000     1.000\n"
                      "              2     2.000     0.000\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("               1      9.000      0.500     20.000   default category  2\n"
                      "               2      8.000      0.000     25.000   default category  3\n"),
            std::string::npos)
      << text;
}

// The errors of the channel part: each is counted, some end the reading at once, and the
// file ends with the fatal summary.
struct ChannelErrorCase {
  const char* what;
  std::string defaults;
  std::vector<std::string> links;
  int number;
  int element;
  std::string message;
  bool second_link_read;
};

TEST_F(OcChannelDataTest, ErrorsOfTheChannelPart) {
  const std::string pairs = "\n2.0 0.0 4.0 1.0";
  const std::vector<ChannelErrorCase> cases = {
      {"IDEFX 1: the pairs cannot be located",
       "0",
       {"1 9.0 0.0 20.0 1", "2 8.0 0.0 20.0 2" + pairs},
       1012,
       1,
       "Cross-section number IDEFX =   1 lies outside ranges -NDEFCT:-1 =   0 : -1  and  2:NOCTAB "
       "= 2 :  20",
       false},
      {"IDEFX 0: no section, reading goes on",
       "0",
       {"1 9.0 0.0 20.0 0", "2 8.0 0.0 20.0 2" + pairs},
       1012,
       1,
       "Cross-section number IDEFX =   0 lies outside ranges -NDEFCT:-1 =   0 : -1  and  2:NOCTAB "
       "= 2 :  20",
       true},
      {"record of the wrong link",
       "0",
       {"2 9.0 0.0 20.0 2" + pairs, "2 8.0 0.0 20.0 2" + pairs},
       1013,
       1,
       "Expected element number,    1, but found    2, while reading channel data",
       false},
      {"last link record missing",
       "0",
       {"1 9.0 0.0 20.0 2" + pairs},
       1019,
       2,
       "Channel input data is missing or has incorrect format",
       false},
      {"too many pairs in a default section",
       "1\nDefaults\n25",
       {},
       1055,
       0,
       "Number of width/elevation pairs NXDEF(  1) =  25  lies outside range 2:NOCTAB = 2:  20",
       false},
      {"negative number of default sections",
       "-1",
       {"1 9.0 0.0 20.0 2" + pairs, "2 8.0 0.0 20.0 2" + pairs},
       1054,
       0,
       "Number of default channel cross-section categories NDEFCT =  -1  lies outside range "
       "0:NOCTAB = 0 :  20",
       true},
  };
  for (const ChannelErrorCase& c : cases) {
    SCOPED_TRACE(c.what);
    testing::StandaloneOcFixture f;
    f.SetUp();
    f.build(2, 2, {{1, 2}, {2, 2}}, {}, false);
    OcDataText data;
    data.defaults = c.defaults;
    data.links = c.links;
    const std::string text = f.read_failing(data);
    std::string heading =
        " !!!      ERROR " + std::to_string(c.number) + " at time =        0.00 hours";
    if (c.element != 0) heading += ", iel =    " + std::to_string(c.element);
    EXPECT_NE(text.find(heading + "\n" + message_line(c.message, 102)), std::string::npos) << text;
    if (c.number == 1019) {
      // The line after the message says where the reader stopped.
      EXPECT_NE(text.find(message_line(c.message, 102) +
                          "        End of file reached after the last record in file "),
                std::string::npos)
          << text;
    }
    EXPECT_NE(text.find(SUMMARY_ONE_ERROR), std::string::npos) << text;
    EXPECT_EQ(f.frame.ZGRUND(2) == 8.0, c.second_link_read);
    f.TearDown();
  }
}

// Bank elements start dry whatever the depth grid gives the squares: it covers squares
// only, and nothing left over from other grids reaches the banks.
TEST(OcInitialLevels, BankElementsStartDry) {
  testing::StandaloneOcFixture f;
  f.SetUp();
  // Link 1, banks 2 (side 1) and 3 (side 2), squares 4 (1, 1) .. 7 (2, 2).
  f.build(2, 2, {{1, 2}}, {}, true);
  f.frame.ZGRUND(2) = 10.5;
  f.frame.ZGRUND(3) = 10.4;
  OcDataText data;
  data.controls = "0 2 0 T";
  data.roughness = "0.0 0.0 0.0 0.0 0.0";
  data.overland_grids = "3.0 4.0\n" + real_grid({{0.3, 0.3}, {0.3, 0.3}}) +
                        digit_grid({"22", "22"}) + digit_grid({"22", "22"});
  f.read(data);
  EXPECT_EQ(f.surface.HRF(2), 10.5);
  EXPECT_EQ(f.surface.HRF(3), 10.4);
  for (int e = 4; e <= 7; ++e) EXPECT_DOUBLE_EQ(f.surface.HRF(e), 10.3) << e;
  // The category grid reads 0 for the banks: the first category.
  EXPECT_EQ(f.surface.STRX(2), 3.0);
  EXPECT_EQ(f.surface.STRY(3), 3.0);
  EXPECT_EQ(f.surface.STRX(4), 4.0);
  f.TearDown();
}

}  // namespace
}  // namespace quendal
