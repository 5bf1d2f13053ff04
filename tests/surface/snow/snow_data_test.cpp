// The snow data file: both methods, both initial-pack layouts, and the values refused.
#include "surface/snow/snow_data.h"

#include <gtest/gtest.h>

#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

struct SnowDataTest : testing::ModelWithFiles {
  void SetUp() override {
    ModelWithFiles::SetUp();
    FrameState& f = model.frame;
    f.NLF = 1;
    f.NEL = 3;
    f.NGDBGN = 2;
    f.MET_SITE_COUNT = 2;
  }
  void read(const std::string& text) {
    open_input(SNOW_DATA_UNIT, "snow.txt", text);
    SM_READ_DATA_FILE(model.frame, model.surface, model.io);
  }
};

// Degree day: no energy-budget records, and the pack starts at 0 deg C whatever the
// file says. "  20000" with five implied decimals is 0.2.
TEST_F(SnowDataTest, DegreeDayWithAUniformPack) {
  // 200 in a field of 5 implied decimals is 0.002 mm/s/degC.
  read("Snow\n      T\nParameters\n    200    0.3  -5.00      0      1\nPack\n  125.5\n");
  const SurfaceState& s = model.surface;
  EXPECT_EQ(s.DDF, 0.002);
  EXPECT_EQ(s.RHOS, 0.3);
  EXPECT_EQ(s.SM_RHOS_DEFAULT, 0.3);
  EXPECT_EQ(s.MSM, 1);
  for (int e = 2; e <= 3; ++e) {
    EXPECT_EQ(s.SD(e), 125.5);
    EXPECT_EQ(s.SM_ELEMENT_RHOS(e), 0.3);
    EXPECT_EQ(s.TS(e), 0.0);
    EXPECT_EQ(s.NSMC(e), 0);
  }
  EXPECT_EQ(s.SD(1), 0.0);  // the link holds no snow
  const std::string print = print_text();
  EXPECT_NE(print.find(" DEGREE DAY FACTOR DDF =     0.00200 MM/S/C"), std::string::npos);
  EXPECT_NE(print.find(" INITIAL SNOWPACK HAS UNIFORM THICKNESS =     125.5 MM"), std::string::npos);
}

// Any method but 1 reads the energy-budget records (MSM 3 then melts by degree days);
// the initial temperature is kept.
TEST_F(SnowDataTest, EnergyBudgetRecordsAreReadForAnyOtherMethod) {
  read("Snow\n      F\nParameters\n0.00010    0.2  -3.00      0      3\nHeights\n"
       "0.00500 0.1000 2.0000\nStations\n      7      9\nPack\n    0.0\n");
  const SurfaceState& s = model.surface;
  EXPECT_EQ(s.MSM, 3);
  EXPECT_EQ(s.ZOS, 0.005);
  EXPECT_EQ(s.ZDS, 0.1);
  EXPECT_EQ(s.ZUS, 2.0);
  EXPECT_EQ(s.SM_MET_STATION_ELEMENT(2), 9);
  EXPECT_EQ(s.TS(2), -3.0);
  EXPECT_EQ(print_text(), "");
}

// Pack mode 1: a grid of depths (mm) and one of specific gravities, each row "(I7,10F7.0)"
// under its title, over the two squares of one grid row (elements 2 and 3).
TEST_F(SnowDataTest, APackGridGivesEachSquareItsDepthAndGravity) {
  FrameState& f = model.frame;
  f.NX = 2;
  f.NY = 1;
  f.ICMXY.resize(2, 1, 0);
  f.ICMXY(1, 1) = 2;
  f.ICMXY(2, 1) = 3;
  const std::string head = "Snow\n      T\nParameters\n    200    0.3  -5.00      1      1\n";
  read(head + "Depths\n      1  120.0   80.5\nGravities\n      1   0.25    0.0\n");
  const SurfaceState& s = model.surface;
  EXPECT_EQ(s.SD(2), 120.0);
  EXPECT_EQ(s.SD(3), 80.5);
  EXPECT_EQ(s.SM_ELEMENT_RHOS(2), 0.25);
  EXPECT_EQ(s.SM_ELEMENT_RHOS(3), 0.0);  // 0: the pack takes RHOS
  EXPECT_EQ(print_text().find("UNIFORM"), std::string::npos);

  // A negative depth in the grid is refused for its element.
  EXPECT_THROW(read(head + "Depths\n      1  120.0  -80.5\nGravities\n      1   0.25    0.0\n"),
               FatalError);
  const std::string print = print_text();
  EXPECT_NE(print.find("1086"), std::string::npos) << print;
  EXPECT_NE(print.find("element     3: initial snow depth"), std::string::npos) << print;
}

TEST_F(SnowDataTest, ValuesTheSnowStepCannotUseAreRefused) {
  const char* cases[] = {
      "Snow\n      F\nP\n0.00010    0.0   0.00      0      1\nPack\n    0.0\n",
      "Snow\n      F\nP\n0.00010    0.2   0.00      0      2\nH\n0.00500 1.9990 2.0000\nS\n"
      "      1      1\nPack\n    0.0\n",
      "Snow\n      F\nP\n0.00010    0.2   0.00      0      1\nPack\n   -1.0\n",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    EXPECT_THROW(read(text), FatalError);
    EXPECT_NE(print_text().find("1086"), std::string::npos);
  }
}

}  // namespace
}  // namespace quendal
