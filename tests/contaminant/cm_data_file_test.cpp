#include "contaminant/cm_data_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "example_copy.h"
#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

// A 3 x 2 grid with one east-west link between rows 1 and 2 of grid column 1:
//   element 1 the link, 2 its north (side-1) bank, 3 its south (side-2) bank,
//   grid squares 4, 5, 6 = row 1 and 7, 8, 9 = row 2, west to east.
// The north bank looks over face 2 at square 7, the south bank over face 4 at square 4.
void build_mesh(FrameState& frame) {
  frame.NX = 3;
  frame.NY = 2;
  frame.NLF = 1;
  frame.NEL = 9;
  frame.NGDBGN = 2;
  frame.BANKS_ON = true;
  frame.ICMXY.resize(3, 2);
  for (int x = 1; x <= 3; ++x) {
    frame.ICMXY(x, 1) = 3 + x;
    frame.ICMXY(x, 2) = 6 + x;
  }
  frame.ICMREF.resize(9, 4, 3, 0);
  frame.ICMREF(2, 2, 2) = 7;
  frame.ICMREF(3, 4, 2) = 4;
  frame.LINK_BANK_ELEMENT.resize(1, 2);
  frame.LINK_BANK_ELEMENT(1, 1) = 2;
  frame.LINK_BANK_ELEMENT(1, 2) = 3;
  frame.LINK_NORTH_SOUTH.resize(1, 0);
}

// Two contaminants (the first by category tables, the second uniform), two soil types,
// three size groups, every optional section present. Values are distinct so that a value
// stored in the wrong place shows.
const std::string CMD_FILE =
    ":CM1 title\nSmall valley\n"
    ":CM3\n2\n"
    ":CM5\nF\n"
    ":CM7\n-1\n"
    ":CM9\n1\n"
    ":CM11\n5 2\n"
    ":CM13\nT\n"
    ":CM15\n0.1\n"
    ":CM17\n0.6\n"
    ":CM19\n2\n"
    ":CM21\n2\n"
    ":CM23\n3\n"
    ":CM25\nT\n"
    ":CM26a\n0.25\n"
    ":CM26b\n2\n"
    ":CM26c\n      2 122\n      1 211\n"
    ":CM26d\n1\n"
    ":CM26e\n0.0 0.5\n"
    ":CM26d\n2\n"
    ":CM26e\n0.0 1.0\n0.4 0.2\n"
    ":CM25\nF\n"
    ":CM26\n0.75\n"
    ":CM27\n0.0 1.0\n"
    ":CM29\n1\n"
    ":CM31\n7.5 0.3 0.4\n"
    ":CM33\n0.1 0.2\n"
    ":CM35\n1\n"
    ":CM37\n4 0.5 0.6\n"
    ":CM39\n1e-9 2e-9\n"
    ":CM41\n2 0.5 0.3 0.2\n1 1.0 0.0 0.0\n"
    ":CM43\n1.0 0.9\n"
    ":CM45\n2e-7 0.0\n"
    ":CM47\n1e-6 2e-6\n"
    ":CM49\n1e-5 2e-5\n"
    ":CM51\n2 0.4 0.5 0.6\n1 0.1 0.2 0.3\n"
    ":CM53\n1 1e-6 2e-6\n2 3e-6 4e-6\n"
    ":CM55\n1 0.5 0.6\n2 0.7 0.8\n"
    ":CM57\n0 0\n"
    ":CM59\n0 0\n"
    ":CM61\n1 0 0\n2 0 0\n";

struct CmDataFileTest : testing::ModelWithFiles {
  std::string text = CMD_FILE;
  int nsed = 0;  // sediment off

  void SetUp() override {
    ModelWithFiles::SetUp();
    build_mesh(model.frame);
    model.subsurface.NS = 2;
    model.subsurface.LAYER_BOTTOM_CELL.resize(9, NLYREE + 1, 0);
    // Every column's lowest cell differs, so that a default taken from the wrong
    // element shows.
    for (int iel = 2; iel <= 9; ++iel) model.subsurface.LAYER_BOTTOM_CELL(iel, 1) = 10 + iel;
    model.contaminant.size(9, 1, 30);
  }
  void TearDown() override {
    model.io.units.close_all();
    ModelWithFiles::TearDown();
  }
  // Replaces the first occurrence of `from` in the file.
  void replace(const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  }
  // Starts a case of a table afresh: the file as given with one change, an empty print
  // file and a state just sized.
  void start_case(const std::string& from, const std::string& to) {
    model.io.units.close_all();
    ASSERT_TRUE(model.io.units.open(PRINT_UNIT, print_path, UnitDirection::Output));
    model.contaminant.size(9, 1, 30);
    text = CMD_FILE;
    replace(from, to);
  }
  std::string data_path() const { return dir.file("cmd.txt"); }
  void read() {
    open_input(CM_DATA_UNIT, "cmd.txt", text);
    CM_READ_DATA_FILE(model.frame, model.subsurface, nsed, model.contaminant, model.io);
  }
  // Reads a file that must stop the run; returns the print file.
  std::string read_fatal() {
    EXPECT_THROW(read(), FatalError);
    return print_text();
  }
  // One row of a table of fatal cases: the file with `from` replaced by `to` stops with
  // error `number` and its `message`, followed in the print file by `after`.
  struct FatalCase {
    const char* from;
    const char* to;
    int number;
    const char* message;
  };
  std::string expect_fatal(const FatalCase& c, const std::string& after) {
    SCOPED_TRACE(c.to);
    start_case(c.from, c.to);
    const std::string print = read_fatal();
    EXPECT_NE(print.find("FATAL ERROR " + std::to_string(c.number) + " at time"), std::string::npos)
        << print;
    EXPECT_NE(print.find("        " + std::string(c.message) + after), std::string::npos) << print;
    return print;
  }
};

TEST_F(CmDataFileTest, EverySectionLandsInItsArray) {
  ContaminantState& c = model.contaminant;
  c.CM_INFLOW_REL_CONC.fill(9.0);  // every column is reset, listed or not
  read();
  EXPECT_EQ(c.NCON, 2);
  EXPECT_FALSE(c.CM_BASE_FLUX_ON);
  EXPECT_TRUE(c.CM_NONLINEAR_ON);
  EXPECT_EQ(c.CM_SURFACE_LAYER_DEPTH, 0.1);
  EXPECT_EQ(c.CM_BED_DEPTH, 0.6);

  // Bottom cells: -1 takes each column's lowest cell; the :CM11 pair overrides element 5.
  for (int iel = 2; iel <= 9; ++iel) {
    EXPECT_EQ(c.CM_BOTTOM_CELL(iel), iel == 5 ? 2 : 10 + iel) << iel;
  }

  // Contaminant 1 by tables: grid squares from the grid (row 2 first in the file), the
  // north bank from square 7, the south bank from square 4.
  EXPECT_TRUE(c.CM_CATEGORY_TABLES_ON[1]);
  EXPECT_FALSE(c.CM_CATEGORY_TABLES_ON[2]);
  EXPECT_EQ(c.CM_UNIFORM_REL_CONC(1), 0.25);
  EXPECT_EQ(c.CM_UNIFORM_REL_CONC(2), 0.75);
  EXPECT_EQ(c.NCAT(1), 2);
  const int categories[] = {1, 2, 2, 1, 1, 1, 2, 2};  // elements 2..9
  for (int iel = 2; iel <= 9; ++iel) EXPECT_EQ(c.NCATTY(iel, 1), categories[iel - 2]) << iel;
  EXPECT_EQ(c.NTBL(1, 1), 1);
  EXPECT_EQ(c.NTBL(2, 1), 2);
  EXPECT_EQ(c.DTAB(1, 1, 1), 0.0);
  EXPECT_EQ(c.CTAB(1, 1, 1), 0.5);
  EXPECT_EQ(c.DTAB(2, 1, 1), 0.0);
  EXPECT_EQ(c.CTAB(2, 1, 1), 1.0);
  EXPECT_EQ(c.DTAB(2, 2, 1), 0.4);
  EXPECT_EQ(c.CTAB(2, 2, 1), 0.2);

  EXPECT_EQ(c.CM_RAIN_REL_CONC(1), 0.0);
  EXPECT_EQ(c.CM_RAIN_REL_CONC(2), 1.0);
  // The :CM31 row 7.5 names element 8.
  for (int iel = 2; iel <= 9; ++iel) {
    EXPECT_EQ(c.CM_INFLOW_REL_CONC(iel, 1), iel == 8 ? 0.3 : 0.0) << iel;
    EXPECT_EQ(c.CM_INFLOW_REL_CONC(iel, 2), iel == 8 ? 0.4 : 0.0) << iel;
  }
  EXPECT_EQ(c.CM_SURFACE_SOURCE(1), 1e-9);
  EXPECT_EQ(c.CM_SURFACE_SOURCE(2), 2e-9);

  // Rows are placed by their own index, whatever their order in the file.
  EXPECT_EQ(c.CM_SOIL_SIZE_FRACTIONS(1, 1), 1.0);
  EXPECT_EQ(c.CM_SOIL_SIZE_FRACTIONS(2, 1), 0.5);
  EXPECT_EQ(c.CM_SOIL_SIZE_FRACTIONS(2, 2), 0.3);
  EXPECT_EQ(c.CM_SOIL_SIZE_FRACTIONS(2, 3), 0.2);
  EXPECT_EQ(c.CM_FREUNDLICH_EXPONENT(2), 0.9);
  EXPECT_EQ(c.CM_DECAY_RATE(1), 2e-7);
  EXPECT_EQ(c.CM_DECAY_RATE(2), 0.0);
  EXPECT_EQ(c.CM_BED_LAYER_EXCHANGE(2), 2e-6);
  EXPECT_EQ(c.CM_WATER_BED_EXCHANGE(2), 2e-5);
  const double kd[3][2] = {{0.1, 0.4}, {0.2, 0.5}, {0.3, 0.6}};  // [size group][contaminant]
  for (int z = 1; z <= 3; ++z) {
    for (int m = 1; m <= 2; ++m) EXPECT_EQ(c.CM_SEDIMENT_KD(z, m), kd[z - 1][m - 1]);
  }
  EXPECT_EQ(c.CM_DEAD_SPACE_EXCHANGE(2, 1), 2e-6);
  EXPECT_EQ(c.CM_DEAD_SPACE_EXCHANGE(1, 2), 3e-6);
  EXPECT_EQ(c.CM_DYNAMIC_SORPTION_FRACTION(2, 1), 0.6);
  EXPECT_EQ(c.CM_DYNAMIC_SORPTION_FRACTION(1, 2), 0.7);

  // The file is closed; the print file shows its status lines and the title, nothing else.
  EXPECT_FALSE(model.io.units.is_open(CM_DATA_UNIT));
  std::vector<std::string> lines;
  for (std::string line : testing::lines_of(print_text())) {
    lines.push_back(line.erase(line.find_last_not_of(' ') + 1));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{" CMD data file open: unit 18; " + data_path(), "", "",
                                             " Small valley", "",
                                             " CMD data file closed: unit 18; " + data_path(),
                                             ""}));
}

// The base condition in force decides which array :CM33 and :CM37 fill; the other is
// left as it was.
TEST_F(CmDataFileTest, BaseConcentrationsFillOnlyTheArrayOfTheBaseCondition) {
  for (bool flux : {false, true}) {
    SCOPED_TRACE(flux);
    start_case(":CM5\nF\n", flux ? ":CM5\nT\n" : ":CM5\nF\n");
    read();
    const ContaminantState& c = model.contaminant;
    const Array2<double>& filled = flux ? c.CM_BASE_FLUX_REL_CONC : c.CM_BASE_FIXED_REL_CONC;
    const Array2<double>& other = flux ? c.CM_BASE_FIXED_REL_CONC : c.CM_BASE_FLUX_REL_CONC;
    for (int iel = 2; iel <= 9; ++iel) {
      EXPECT_EQ(filled(iel, 1), iel == 4 ? 0.5 : 0.1) << iel;
      EXPECT_EQ(filled(iel, 2), iel == 4 ? 0.6 : 0.2) << iel;
      EXPECT_EQ(other(iel, 1), 0.0) << iel;
      EXPECT_EQ(other(iel, 2), 0.0) << iel;
    }
  }
}

// Sections absent because their count is 0: the reader does not look for them.
TEST_F(CmDataFileTest, ZeroCountsLeaveOutTheirSections) {
  replace(":CM9\n1\n:CM11\n5 2\n", ":CM9\n0\n");
  replace(":CM29\n1\n:CM31\n7.5 0.3 0.4\n", ":CM29\n0\n");
  replace(":CM35\n1\n:CM37\n4 0.5 0.6\n", ":CM35\n0\n");
  read();
  EXPECT_EQ(print_text().find("WARNING"), std::string::npos) << print_text();
  EXPECT_EQ(model.contaminant.CM_BOTTOM_CELL(5), 15);
  EXPECT_EQ(model.contaminant.CM_INFLOW_REL_CONC(8, 1), 0.0);
  EXPECT_EQ(model.contaminant.CM_BASE_FIXED_REL_CONC(4, 1), 0.1);
  EXPECT_EQ(model.contaminant.CM_DECAY_RATE(1), 2e-7);  // and the rest is read in step
}

TEST_F(CmDataFileTest, RowIndicesOutsideTheirRangeStopTheRun) {
  const FatalCase cases[] = {
      {":CM31\n7.5", ":CM31\n-0.5", 3002,
       "Index    -1 (given as part of data item CM31) is not a valid column element"},
      {":CM31\n7.5", ":CM31\n1", 3002,  // NLF: a link, not a column
       "Index     1 (given as part of data item CM31) is not a valid column element"},
      {":CM31\n7.5", ":CM31\n9.5", 3002,  // rounds to NEL + 1
       "Index    10 (given as part of data item CM31) is not a valid column element"},
      {":CM31\n7.5", ":CM31\n1e30", 3002,  // never converted to an integer
       "Index****** (given as part of data item CM31) is not a valid column element"},
      {":CM11\n5 2", ":CM11\n1 2", 3002,
       "Index     1 (given as part of data item CM11) is not a valid column element"},
      {":CM37\n4 ", ":CM37\n-1e10 ", 3002,
       "Index****** (given as part of data item CM37) is not a valid column element"},
      {":CM41\n2 ", ":CM41\n3 ", 3006,
       "Index     3 (given as part of data item CM41) is not a valid soil type"},
      {":CM51\n2 ", ":CM51\n3 ", 3007,
       "Index     3 (given as part of data item CM51) is not a valid contaminant number"},
      {":CM55\n1 ", ":CM55\n0.4 ", 3007,
       "Index     0 (given as part of data item CM55) is not a valid contaminant number"},
      {":CM61\n1 ", ":CM61\n0 ", 3007,
       "Index     0 (given as part of data item CM61) is not a valid contaminant number"},
  };
  for (const FatalCase& c : cases) expect_fatal(c, " ");
}

TEST_F(CmDataFileTest, CountsOutsideTheirLimitsStopTheRun) {
  const FatalCase cases[] = {
      {":CM9\n1\n:CM11\n5 2\n", ":CM9\n20001\n", 3001,
       "Insufficient workspace (have NELEE = 40000, need 40002) for the number of "
       "non-default columns given (CM9: NCLBND  = 20001)"},
      {":CM29\n1\n", ":CM29\n13334\n", 3001,  // 3 values a row
       "Insufficient workspace (have NELEE = 40000, need 40002) for the number of "
       "flow-receiving columns given (CM29: NFEX = 13334)"},
      {":CM35\n1\n", ":CM35\n20000\n", 3001,
       "Insufficient workspace (have NELEE = 40000, need 60000) for the number of "
       "non-default columns given (CM35: NCBC = 20000)"},
      {":CM19\n2\n", ":CM19\n4\n", 3003,
       "Number of contaminants with data (CM19: NCONCM =     4) must be positive & not greater "
       "than     3"},
      {":CM21\n2\n", ":CM21\n0\n", 3004,
       "Number of soil types with data (CM21: NSCM =     0) must be positive & not greater "
       "than  1000"},
      {":CM23\n3\n", ":CM23\n8\n", 3005,
       "Number of sediment sizes with data (CM23: NSEDCM =     8) must be positive & not "
       "greater than     7"},
      {":CM26b\n2\n", ":CM26b\n21\n", 2101, "Error in NCAT in :CM26 in CM data file"},
      {":CM26d\n2\n", ":CM26d\n0\n", 2102, "Error in NTBL in :CM26a in CM data file"},
      // Every check passes up to the end of the file; then it does not cover the run.
      {":CM3\n2\n", ":CM3\n3\n", 3008,
       "No. of contaminants/soils/sediments with data (CM19-23: NCONCM/NSCM/NSEDCM =   2/  2/  3)"
       " must be at least   3/  2/  0"},
  };
  for (const FatalCase& c : cases) {
    SCOPED_TRACE(c.to);
    const std::string print = expect_fatal(c, "");
    // 3008 comes after the close notice; every other check stops the run before it.
    EXPECT_EQ(print.find("CMD data file closed") != std::string::npos, c.number == 3008);
  }
}

// Every value the run uses is held to the physical bounds of its quantity; the refusal
// names the record, the columns and the range. Values of the sections nothing uses are
// not held to any bound, and the merely unusual (a sorption coefficient of 1e6) passes.
TEST_F(CmDataFileTest, ValuesOutsideTheirPhysicalBoundsAreInputErrors) {
  const struct {
    const char* from;
    const char* to;
    int record, first_column, last_column;
    const char* problem;  // empty: accepted
  } cases[] = {
      {"\n2 0.4 0.5 0.6\n", "\n2 0.4 1e39 0.6\n", 73, 7, 10,
       "sorption coefficient on sediment of :CM51 (row 1, value 3) = 1e+39 m3/m3 is outside "
       "the physical range of sorption coefficient on sediment: 0 to 1e+10 m3/m3"},
      {"\n2 0.4 0.5 0.6\n", "\n2 0.4 1e6 0.6\n", 0, 0, 0, ""},
      {":CM43\n1.0 0.9\n", ":CM43\n1.0 0\n", 65, 5, 5,
       "Freundlich exponent of contaminant 2 = 0 is outside the physical range of Freundlich "
       "exponent: above 0 to 10"},
      {":CM39\n1e-9 2e-9\n", ":CM39\n-1e-9 2e-9\n", 60, 1, 5,
       "surface source of contaminant 1 = -1e-09 m/s is outside the physical range of "
       "contaminant source at the ground surface: 0 to 1e+24 m/s"},
      {":CM45\n2e-7 0.0\n", ":CM45\n2e3 0.0\n", 67, 1, 3,
       "decay rate of contaminant 1 = 2000 1/s is outside the physical range of first-order "
       "decay rate: 0 to 1000 1/s"},
      {":CM49\n1e-5 2e-5\n", ":CM49\n1e-5 1e3\n", 71, 6, 8,
       "water-bed exchange coefficient of contaminant 2 = 1000 m/s is outside the physical "
       "range of exchange velocity of the stream-bed layers: 0 to 100 m/s"},
      {"\n2 3e-6 4e-6\n", "\n2 3e-6 1e39\n", 77, 8, 11,
       "dead-space exchange coefficient of :CM53 (row 2, value 3) = 1e+39 1/s"},
      {":CM27\n0.0 1.0\n", ":CM27\n0.0 1e25\n", 48, 5, 8,
       "relative concentration of the rain of contaminant 2 = 1e+25 is outside the physical "
       "range of relative concentration: 0 to 1e+24"},
      {":CM61\n1 0 0\n", ":CM61\n1 1e39 -1e39\n", 0, 0, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    start_case(c.from, c.to);
    if (c.problem[0] == '\0') {
      EXPECT_NO_THROW(read());
      continue;
    }
    try {
      read();
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(e.record, c.record);
      EXPECT_EQ(e.first_column, c.first_column);
      EXPECT_EQ(e.last_column, c.last_column);
      EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
    }
  }
}

// The file's size groups are compared with the sediment component's count when it is on.
TEST_F(CmDataFileTest, SizeGroupsMustCoverTheSedimentComponents) {
  nsed = 4;
  const std::string print = read_fatal();
  EXPECT_NE(print.find("(CM19-23: NCONCM/NSCM/NSEDCM =   2/  2/  3) must be at least   2/  2/  4"),
            std::string::npos)
      << print;
}

// A title line must hold its own tag, not a longer one that begins with it: the
// category-table sections of :CM25 true begin with the tag of its uniform section.
TEST_F(CmDataFileTest, TitleLinesMatchTheirExactTag) {
  struct Case {
    const char* title;
    bool warned;
  };
  const Case cases[] = {
      {":CM26 uniform value", false},
      {":CM26a", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    start_case(":CM26\n0.75", std::string(c.title) + "\n0.75");
    read();  // a mismatch is only a warning
    const std::string print = print_text();
    EXPECT_EQ(print.find(" !!!    WARNING 0002 at time =        0.00 hours\n"
                         "        Title line mismatch: expected \":CM26\" but found \"" +
                         std::string(c.title)) != std::string::npos,
              c.warned)
        << print;
    EXPECT_EQ(testing::count_of(print, "WARNING"), c.warned ? 1 : 0);
    EXPECT_EQ(model.contaminant.CM_UNIFORM_REL_CONC(2), 0.75);
  }
}

// From ten categories on, the grid is read in free format.
TEST_F(CmDataFileTest, TwelveCategoriesReadTheGridInFreeFormat) {
  std::string tables;
  for (int k = 1; k <= 12; ++k) {
    tables += ":CM26d\n1\n:CM26e\n0.0 " + std::to_string(k) + "\n";
  }
  replace(":CM26b\n2\n:CM26c\n      2 122\n      1 211\n"
          ":CM26d\n1\n:CM26e\n0.0 0.5\n:CM26d\n2\n:CM26e\n0.0 1.0\n0.4 0.2\n",
          ":CM26b\n12\n:CM26c\n2 1 12 10\n1 11 3 4\n" + tables);
  read();
  const ContaminantState& c = model.contaminant;
  EXPECT_EQ(c.NCAT(1), 12);
  const int categories[] = {1, 11, 11, 3, 4, 1, 12, 10};  // elements 2..9
  for (int iel = 2; iel <= 9; ++iel) EXPECT_EQ(c.NCATTY(iel, 1), categories[iel - 2]) << iel;
  EXPECT_EQ(c.CTAB(12, 1, 1), 12.0);
  EXPECT_EQ(print_text().find("WARNING"), std::string::npos);
}

// The contaminant example through the program up to the first hour after its
// contaminants become due (hour 24): the data file read into state sized for the run.
TEST(CmDataFileExample, ExampleFileLoadsAtTheContaminantStart) {
  testing::ExampleCopy copy("contaminant");
  copy.replace("contaminant_frame.txt", "minute\n1990 1 11 0 0\n", "minute\n1990 1 2 1 0\n");
  testing::InProcessRun run(copy);
  ASSERT_EQ(run.status, 0) << copy.print();
  const FrameState& frame = run.model.frame;
  const ContaminantState& c = run.model.contaminant;

  EXPECT_EQ(c.NCON, 3);
  EXPECT_EQ(c.CM_REL_CONC_DYNAMIC.extent(1), run.model.subsurface.LL);
  EXPECT_EQ(c.CM_REL_CONC_DYNAMIC.extent(2), frame.NEL);

  // Contaminant 1: two categories, 2 on the spill (grid columns 3-4, rows 7-8).
  EXPECT_TRUE(c.CM_CATEGORY_TABLES_ON[1]);
  EXPECT_EQ(c.NCAT(1), 2);
  for (int y = 1; y <= frame.NY; ++y) {
    for (int x = 1; x <= frame.NX; ++x) {
      const int e = frame.ICMXY(x, y);
      if (e == 0) continue;
      const bool spill = x >= 3 && x <= 4 && y >= 7 && y <= 8;
      EXPECT_EQ(c.NCATTY(e, 1), spill ? 2 : 1) << "square " << x << "," << y;
    }
  }
  for (int l = 1; l <= frame.NLF; ++l) {
    for (int side = 1; side <= 2; ++side) {
      const int b = frame.LINK_BANK_ELEMENT(l, side);
      EXPECT_TRUE(c.NCATTY(b, 1) == 1 || c.NCATTY(b, 1) == 2) << "bank " << b;
    }
  }
  EXPECT_EQ(c.NTBL(1, 1), 1);
  EXPECT_EQ(c.CTAB(1, 1, 1), 0.0);
  ASSERT_EQ(c.NTBL(2, 1), 3);
  const double depth[] = {0.0, 0.3, 0.6}, value[] = {1.0, 1.0, 0.0};
  for (int j = 1; j <= 3; ++j) {
    EXPECT_EQ(c.DTAB(2, j, 1), depth[j - 1]);
    EXPECT_EQ(c.CTAB(2, j, 1), value[j - 1]);
  }
  EXPECT_FALSE(c.CM_CATEGORY_TABLES_ON[2]);
  EXPECT_FALSE(c.CM_CATEGORY_TABLES_ON[3]);

  // The spill decays into its stable daughter; contaminant 3 comes with the rain.
  EXPECT_EQ(c.CM_DECAY_RATE(1), 2e-7);
  EXPECT_EQ(c.CM_DECAY_RATE(2), 0.0);
  EXPECT_EQ(c.CM_DECAY_RATE(3), 0.0);
  EXPECT_EQ(c.CM_RAIN_REL_CONC(3), 1.0);
  EXPECT_FALSE(c.CM_NONLINEAR_ON);
  for (int m = 1; m <= 3; ++m) EXPECT_EQ(c.CM_FREUNDLICH_EXPONENT(m), 1.0);  // linear
  for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) {
    for (int m = 1; m <= 3; ++m) EXPECT_EQ(c.CM_INFLOW_REL_CONC(iel, m), 0.0) << iel;
  }

  const std::string cm_print = copy.output("output_contaminant_cm_print.txt");
  EXPECT_NE(cm_print.find(" CMD data file open: unit 18"), std::string::npos) << cm_print;
  EXPECT_NE(cm_print.find("\n\n QUENDAL example valley: a spill, its daughter and a rain tracer"),
            std::string::npos);
  EXPECT_NE(cm_print.find(" CMD data file closed: unit 18"), std::string::npos);
  EXPECT_EQ(cm_print.find("WARNING"), std::string::npos);
}

}  // namespace
}  // namespace quendal
