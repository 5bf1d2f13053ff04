#include "surface/et/et_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

using testing::read_file;

// Two vegetation types and one met site whose potential evaporation is computed.
// Grass: constant RA 50, constant RC 40 (mode 1: no psi table), CSTCAP varying in time
// over three rows, three root rows (the last written without a point: 1234 in a field
// with 4 implied decimals is 0.1234). Forest: variable RA, mode 2 with a four-row psi
// table, two root rows.
const char* const ET_FIXTURE =
    "ET data of the test catchment\n"
    "      F      T      F\n"
    "Met record intervals\n"
    "1.0 1.0 24.0\n"
    "PE given per site\n"
    "      0\n"
    "Grass\n"
    "      F   50.0    2.0    0.1   0.01   40.0      1\n"
    "      0    1.0    1.5 0.0001    3.7      3    1.0    0.3    0.5\n"
    "Time-varying modes\n"
    "      1      0      0      0\n"
    "CSTCAP table\n"
    "      3\n"
    "Day  multiplier\n"
    "    0.0    1.0\n"
    "    1.0    2.0\n"
    "    2.0    0.5\n"
    "Root density\n"
    "    0.1    0.5\n"
    "    0.3    0.3\n"
    "    0.5   1234\n"
    "Forest\n"
    "      T    0.0   20.0   12.0    1.5   80.0      2\n"
    "      4    1.0    2.0 0.0002    4.0      2    1.0   15.0    2.0\n"
    "Time-varying modes\n"
    "      0      0      0      0\n"
    "Psi table\n"
    " -100.0  900.0    0.0\n"
    "  -10.0  300.0    0.5\n"
    "   -1.0  100.0    1.0\n"
    "    0.0   80.0    1.0\n"
    "Root density\n"
    "    0.2    0.7\n"
    "    0.6    0.3\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// One reading of an ET data file, with the frame counts of the fixture (two types, one
// met site, three elements).
struct EtDataTest : testing::ModelWithFiles {
  void SetUp() override {
    ModelWithFiles::SetUp();
    FrameState& f = model.frame;
    f.NV = 2;
    f.MET_SITE_COUNT = 1;
    f.NLF = 0;
    f.NGDBGN = 1;
    f.NEL = 3;
  }

  // Reads `et_text` with a met file that holds a title and one record.
  void read(const std::string& et_text) {
    open_input(ET_DATA_UNIT, "et.txt", et_text);
    if (!model.io.units.is_open(19)) open_input(19, "met.txt", "Met data\n 1 0 0.0\n");
    ET_READ_DATA_FILE(model);
  }
  // Reads and expects the fatal report `number` whose message contains `text`.
  void expect_refused(const std::string& et_text, int number, const std::string& text) {
    EXPECT_THROW(read(et_text), FatalError);
    const std::string print = print_text();
    char heading[32];
    std::snprintf(heading, sizeof heading, "FATAL ERROR %04d", number);
    EXPECT_NE(print.find(heading), std::string::npos) << print;
    EXPECT_NE(print.find(text), std::string::npos) << print;
  }
};

// The fixture on its own, for a table of cases that each need a fresh model and scratch
// directory inside one test.
struct EtRun : EtDataTest {
  EtRun() { SetUp(); }
  ~EtRun() override { TearDown(); }
  void TestBody() override {}
};

TEST_F(EtDataTest, ReadsEveryRecordIntoTheVegetationTypes) {
  read(ET_FIXTURE);
  const SurfaceState& s = model.surface;
  EXPECT_FALSE(s.MET_PRINT_ON);
  EXPECT_TRUE(s.ET_PRINT_ON);
  EXPECT_FALSE(s.MET_FILE_MODE);
  EXPECT_EQ(s.MET_INTERVAL, 1.0);
  EXPECT_EQ(s.EPD_INTERVAL, 24.0);
  EXPECT_EQ(s.MET_SITE_PE_GIVEN(1), 0);

  EXPECT_FALSE(s.ET_VARIABLE_RA(1));
  EXPECT_EQ(s.RA(1), 50.0);
  EXPECT_EQ(s.RC(1), 40.0);
  EXPECT_EQ(s.ET_MODE(1), 1);
  EXPECT_EQ(s.CSTCAP(1), 1.5);
  EXPECT_EQ(s.CK(1), 0.0001);
  EXPECT_EQ(s.CB(1), 3.7);
  EXPECT_EQ(s.VHT(1), 0.3);
  EXPECT_EQ(s.RDF(1, 0), 0.5);  // RDL
  EXPECT_EQ(s.ET_RDF_ROWS(1), 3);
  EXPECT_EQ(s.RDF(1, 3), 0.1234);
  const EtTimeVaryingTable& cstcap = s.ET_TIME_VARYING_TABLES[ET_VARYING_CSTCAP];
  EXPECT_EQ(cstcap.mode(1), 1);
  EXPECT_EQ(cstcap.row(1), 1);
  EXPECT_EQ(cstcap.base(1), 1.5);
  EXPECT_EQ(cstcap.rows(1), 3);
  EXPECT_EQ(cstcap.times(1, 3), 2.0);
  EXPECT_EQ(cstcap.values(1, 3), 0.5);
  EXPECT_EQ(cstcap.mode(2), 0);
  EXPECT_EQ(s.ET_TIME_VARYING_TABLES[ET_VARYING_PLAI].rows(1), 0);

  EXPECT_TRUE(s.ET_VARIABLE_RA(2));
  EXPECT_EQ(s.ET_MODE(2), 2);
  EXPECT_EQ(s.ET_PSI_ROWS(2), 4);
  EXPECT_EQ(s.ET_PSI_TABLE(1, ET_PSI_COLUMN_PSI, 2), -100.0);
  EXPECT_EQ(s.ET_PSI_TABLE(2, ET_PSI_COLUMN_RC, 2), 300.0);
  EXPECT_EQ(s.ET_PSI_TABLE(3, ET_PSI_COLUMN_RATIO, 2), 1.0);
  EXPECT_EQ(s.ET_PSI_TABLE(4, ET_PSI_COLUMN_RC, 2), 80.0);
  // (ln((20 - 12) / 1.5))^2 / 0.41^2 = 1.673976^2 / 0.1681.
  EXPECT_NEAR(s.ET_RA_COEFFICIENT(2), 16.669822130596867, 1e-12);

  // The run starts with a dry canopy, its clock at 0 and zero outputs for every element.
  EXPECT_EQ(s.cstore.size(), 3);
  EXPECT_EQ(s.PNETTO.size(), 3);
  EXPECT_EQ(s.ET_CLOCK, 0.0);
  // The met file's title is consumed: the met data start at its second record.
  EXPECT_EQ(model.io.units.unit(19).record_number(), 1);
}

TEST_F(EtDataTest, EchoOfTheVegetationTypes) {
  read(ET_FIXTURE);
  const std::string expected =
      "\n"
      " VEGETATION TYPE     1\n"
      " **********************\n"
      " Grass\n"
      "\n"
      " ET COMPONENT WITH MODE  1 OPERATION\n"
      "\n"
      " **********\n"
      " PARAMETERS\n"
      " PLAI   =        1.00000000\n"
      " CSTCAP =        1.50000000\n"
      " CK     =        0.00010000\n"
      " CB     =        3.70000000\n"
      " CLAI   =        1.00000000\n"
      " VHT    =        0.30000000\n"
      " RDL    =        0.50000000\n"
      " CONSTANT RA =       50.0000\n"
      " MODE FOR CSTCAP FOR VEGETATION   1 IS  1   (0=CONSTANT; 1=TIME-VARYING)\n"
      " Day  multiplier\n"
      "    0.000E+00   0.100E+01\n"
      "    0.100E+01   0.200E+01\n"
      "    0.200E+01   0.500E+00\n"
      " MODE FOR PLAI FOR VEGETATION   1 IS  0   (0=CONSTANT; 1=TIME-VARYING)\n"
      " MODE FOR CLAI FOR VEGETATION   1 IS  0   (0=CONSTANT; 1=TIME-VARYING)\n"
      " MODE FOR VHT FOR VEGETATION   1 IS  0   (0=CONSTANT; 1=TIME-VARYING)\n"
      " CONSTANT RC =       40.0000\n"
      " Root density\n"
      "     0.100000    0.500000\n"
      "     0.300000    0.300000\n"
      "     0.500000    0.123400\n"
      " asum OF RDF VALUES IS      0.9234\n"
      "\n"
      " VEGETATION TYPE     2\n"
      " **********************\n"
      " Forest\n"
      "\n"
      " ET COMPONENT WITH MODE  2 OPERATION\n"
      "\n"
      " **********\n"
      " PARAMETERS\n"
      " PLAI   =        1.00000000\n"
      " CSTCAP =        2.00000000\n"
      " CK     =        0.00020000\n"
      " CB     =        4.00000000\n"
      " CLAI   =        1.00000000\n"
      " VHT    =       15.00000000\n"
      " RDL    =        2.00000000\n"
      " VARIABLE RA WITH\n"
      " ZO     =        1.5000\n"
      " ZD     =       12.0000\n"
      " ZU     =       20.0000\n"
      " MODE FOR CSTCAP FOR VEGETATION   2 IS  0   (0=CONSTANT; 1=TIME-VARYING)\n"
      " MODE FOR PLAI FOR VEGETATION   2 IS  0   (0=CONSTANT; 1=TIME-VARYING)\n"
      " MODE FOR CLAI FOR VEGETATION   2 IS  0   (0=CONSTANT; 1=TIME-VARYING)\n"
      " MODE FOR VHT FOR VEGETATION   2 IS  0   (0=CONSTANT; 1=TIME-VARYING)\n"
      " Psi table\n"
      "      -100.00      900.00        0.00\n"
      "       -10.00      300.00        0.50\n"
      "        -1.00      100.00        1.00\n"
      "         0.00       80.00        1.00\n"
      " Root density\n"
      "     0.200000    0.700000\n"
      "     0.600000    0.300000\n"
      " asum OF RDF VALUES IS      1.0000\n";
  EXPECT_EQ(print_text(), expected);
}

// Without the echo only the constant canopy resistance reaches the print file.
TEST_F(EtDataTest, ConstantRcIsPrintedEvenWithoutTheEcho) {
  read(replaced(ET_FIXTURE, "      F      T      F", "      F      F      F"));
  EXPECT_EQ(print_text(), " CONSTANT RC =       40.0000\n");
}

// No vegetation types: records 1 to 6, then the met file is probed.
TEST_F(EtDataTest, NoVegetationTypes) {
  model.frame.NV = 0;
  read("ET\n      F      F      F\nIntervals\n1.0 1.0 24.0\nPE given\n      0\n");
  EXPECT_EQ(model.surface.RA.size(), 0);
  EXPECT_EQ(model.io.units.unit(19).record_number(), 1);
}

// A hot start restores the canopy store after the set-up; the reader must not wipe it.
TEST_F(EtDataTest, HotStartKeepsTheCanopyStore) {
  model.frame.HOTSTART_READ = true;
  model.surface.cstore.resize(3, 0.7);
  read(ET_FIXTURE);
  EXPECT_EQ(model.surface.cstore(2), 0.7);
}

TEST_F(EtDataTest, TimeVaryingParametersFollowTheirTable) {
  read(ET_FIXTURE);
  SurfaceState& s = model.surface;
  // Rows at days 0, 1, 2 with multipliers 1, 2, 0.5 of the base 1.5.
  s.ET_CLOCK = 12.0;
  refresh_vegetation_parameters(s, 2, model.io);
  EXPECT_NEAR(s.CSTCAP(1), 1.5 * 1.5, 1e-12);
  s.ET_CLOCK = 36.0;
  refresh_vegetation_parameters(s, 2, model.io);
  EXPECT_NEAR(s.CSTCAP(1), 1.5 * 1.25, 1e-12);
  EXPECT_EQ(s.ET_TIME_VARYING_TABLES[ET_VARYING_CSTCAP].row(1), 2);
  EXPECT_EQ(s.CSTCAP(2), 2.0);  // constant
  EXPECT_EQ(s.PLAI(1), 1.0);
}

// Every value the model would divide by or take the logarithm of, and every table
// longer than its room, is refused with a message that names it.
TEST(EtDataRefusals, ValuesTheModelCannotUse) {
  const std::string grass_b = "      F   50.0    2.0    0.1   0.01   40.0      1";
  const std::string grass_c = "      0    1.0    1.5 0.0001    3.7      3    1.0    0.3    0.5";
  const std::string forest_b = "      T    0.0   20.0   12.0    1.5   80.0      2";
  const std::string forest_c = "      4    1.0    2.0 0.0002    4.0      2    1.0   15.0    2.0";
  const std::string psi_rows =
      " -100.0  900.0    0.0\n  -10.0  300.0    0.5\n   -1.0  100.0    1.0\n    0.0   80.0    1.0\n";
  struct Case {
    std::string from, to, message;
  };
  const std::vector<Case> cases = {
      {"1.0 1.0 24.0", "0.0 1.0 24.0", "MET_INTERVAL =   0.000     hours: the interval between met records must be positive"},
      {grass_b, "      F    0.0    2.0    0.1   0.01   40.0      1",
       "Vegetation type   1: constant aerodynamic resistance RA"},
      {grass_b, "      F   50.0    2.0    0.1   0.01  -40.0      1", "canopy resistance RC"},
      {grass_c, "      0    1.0    1.5-0.0001    3.7      3    1.0    0.3    0.5",
       "canopy drainage coefficient CK"},
      {grass_c, "      0    1.0    1.5 0.0001    0.0      3    1.0    0.3    0.5",
       "canopy drainage exponent CB"},
      {grass_c, "      0    1.0    1.5 0.0001    3.7     51    1.0    0.3    0.5",
       "ET_RDF_ROWS =     51 is outside  0 to  50"},
      {"CSTCAP table\n      3\n", "CSTCAP table\n    141\n", "rows of the CSTCAP table"},
      {"CSTCAP table\n      3\n", "CSTCAP table\n      0\n", "rows of the CSTCAP table"},
      {"    2.0    0.5\n", "    1.0    0.5\n", "CSTCAP table, row   3: time"},
      {forest_b, "      T    0.0   20.0   12.0    0.0   80.0      2",
       "Vegetation type   2: roughness length ZO"},
      {forest_b, "      T    0.0   13.0   12.0    1.5   80.0      2", "anemometer height ZU"},
      {forest_c, "     21    1.0    2.0 0.0002    4.0      2    1.0   15.0    2.0",
       "ET_PSI_ROWS =     21 is outside  0 to  20"},
      {psi_rows, "  -10.0  300.0    0.5\n -100.0  900.0    0.0\n   -1.0  100.0    1.0\n    0.0   80.0    1.0\n",
       "psi must ascend"},
      {psi_rows, " -100.0 -900.0    0.0\n  -10.0  300.0    0.5\n   -1.0  100.0    1.0\n    0.0   80.0    1.0\n",
       "soil-water-potential table, row  1: canopy resistance"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EtRun run;
    run.expect_refused(replaced(ET_FIXTURE, c.from, c.to), ET_DATA_ERROR, c.message);
  }
}

TEST_F(EtDataTest, ModeThreeNeedsATable) {
  std::string text = replaced(ET_FIXTURE, "   80.0      2\n      4", "   80.0      3\n      0");
  // With no rows the table block is its title and one record that holds nothing used.
  text = replaced(text,
                  " -100.0  900.0    0.0\n  -10.0  300.0    0.5\n   -1.0  100.0    1.0\n"
                  "    0.0   80.0    1.0\n",
                  "\n");
  expect_refused(text, ET_DATA_ERROR, "ET mode 3 needs at least one row");
}

// A bare-soil type never holds water on a canopy, so it may leave the drainage at 0.
TEST_F(EtDataTest, BareSoilNeedsNoDrainageParameters) {
  read(replaced(ET_FIXTURE, "      0    1.0    1.5 0.0001    3.7      3    1.0",
                "      0    0.0    0.0    0.0    0.0      3    1.0"));
  EXPECT_EQ(model.surface.CB(1), 0.0);
}

TEST_F(EtDataTest, MetFilesMustHoldData) {
  // Only a title: enough for the reader (the met data then meet the end at once).
  open_input(19, "met.txt", "Met data\n");
  read(ET_FIXTURE);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(EtDataTest, EmptyMetFileIsFatal) {
  open_input(19, "met.txt", "");
  expect_refused(ET_FIXTURE, 1065, "no data in med file");
}

TEST_F(EtDataTest, MissingMetFileIsFatal) {
  open_input(ET_DATA_UNIT, "et.txt", ET_FIXTURE);
  EXPECT_THROW(ET_READ_DATA_FILE(model), FatalError);
  EXPECT_NE(print_text().find("no data in med file"), std::string::npos);
}

TEST_F(EtDataTest, SeparateMetFilesAreProbedInTurn) {
  const std::string separate =
      replaced(replaced(ET_FIXTURE, "      F      T      F", "      F      F      T"),
               "PE given per site\n      0", "PE given per site\n      1");
  open_input(20, "prd.txt", "Rain\n");
  open_input(21, "epd.txt", "");
  open_input(19, "met.txt", "");  // not used in this mode
  expect_refused(separate, 1064, "no data in epd file");
  EXPECT_EQ(model.io.units.unit(20).record_number(), 1);
}

// Separate rainfall and evaporation files give Penman-Monteith no radiation, wind or
// deficit: a site that would compute its potential evaporation (entry 0) is refused
// where its entry stands. The single met file gives them, and takes 0 as before.
TEST_F(EtDataTest, SeparateMetFilesNeedEverySiteToTakeItsEvaporationFromTheFile) {
  model.frame.MET_SITE_COUNT = 3;
  const std::string separate = replaced(ET_FIXTURE, "      F      T      F", "      F      F      T");
  open_input(20, "prd.txt", "Rain\n");
  open_input(21, "epd.txt", "Evaporation\n");
  try {
    read(replaced(separate, "PE given per site\n      0", "PE given per site\n      1      0      2"));
    ADD_FAILURE() << "a site without radiation, wind or deficit accepted";
  } catch (const InputError& e) {
    EXPECT_EQ(e.file, dir.file("et.txt"));
    EXPECT_EQ(e.record, 6);
    EXPECT_EQ(e.first_column, 8);
    EXPECT_EQ(e.text, "0");
    const std::string what = e.what();
    EXPECT_NE(what.find("met site 2 is to compute its potential evaporation"), std::string::npos)
        << what;
    EXPECT_NE(what.find("no net radiation, wind speed or vapour pressure deficit"),
              std::string::npos);
  }
  // Every site given: read.
  read(replaced(separate, "PE given per site\n      0", "PE given per site\n      1      3      2"));
  EXPECT_EQ(model.surface.MET_SITE_PE_GIVEN(2), 3);
  // The single met file computes where 0 is given.
  read(replaced(ET_FIXTURE, "PE given per site\n      0", "PE given per site\n      1      0      2"));
  EXPECT_EQ(model.surface.MET_SITE_PE_GIVEN(2), 0);
}

TEST_F(EtDataTest, AirTemperatureFilesAreProbedWhenUsed) {
  model.io.names.AIR_TEMPERATURE_FILES_ON = true;
  open_input(45, "high.txt", "High\n");
  open_input(46, "low.txt", "");
  expect_refused(ET_FIXTURE, 1067, "no data in air temp - low file");
}

// The example catchment's ET data: two vegetation types for one met site.
TEST_F(EtDataTest, ExampleCatchmentFileReads) {
  const std::string text = read_file(testing::source_dir() + "/examples/example/example_et.txt");
  ASSERT_FALSE(text.empty());
  read(text);
  const SurfaceState& s = model.surface;
  EXPECT_TRUE(s.ET_PRINT_ON);
  EXPECT_EQ(s.ET_MODE(1), 3);
  EXPECT_EQ(s.ET_MODE(2), 2);
  EXPECT_NEAR(s.CK(1), 3.0e-5, 1e-18);
  EXPECT_EQ(s.ET_TIME_VARYING_TABLES[ET_VARYING_PLAI].rows(1), 4);
  EXPECT_EQ(s.ET_RDF_ROWS(2), 8);
  const std::string print = print_text();
  EXPECT_NE(print.find(" VEGETATION TYPE     2"), std::string::npos);
  EXPECT_NE(print.find(" asum OF RDF VALUES IS      1.0000"), std::string::npos);
}

}  // namespace
}  // namespace quendal
