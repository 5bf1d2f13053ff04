#include "frame/met_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/timestep_control.h"
#include "model_fixture.h"
#include "services/formatted_writer.h"
#include "services/stops.h"

namespace quendal {
namespace {

using testing::count_of;

struct MetDataTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;

  void SetUp() override {
    ModelWithFiles::SetUp();
    frame.NEL = 1;
    frame.RAIN_STATION_OF_ELEMENT.resize(1, 1);
  }

  void sites_and_stations(int sites, int stations) {
    frame.MET_SITE_COUNT = sites;
    frame.RAIN_STATION_COUNT = stations;
    surface.MET_SITE_PE_GIVEN.resize(sites, 0);
    allocate_met_data(frame);
  }
  void advance(int mode) { MET_DATA_ADVANCE(mode, frame, surface, model.io); }
};

// ---- the single met file --------------------------------------------------------------

// Site lines as the met file holds them: 6-column integers, 12-column reals.
std::string site_lines(int site, double rain, double radiation, double wind, double pressure,
                       double temperature, double del, double vpd) {
  return format_line("(2I6,4F12.4)", site, 0, rain, radiation, wind, pressure) + "\n" +
         format_line("(12X,3F12.4,I12)", temperature, del, vpd, 0) + "\n";
}

TEST_F(MetDataTest, MetFileEndingAfterOneDayGivesDefaultsAndOneMessage) {
  // One site, one station, potential evaporation computed; 24 hourly records of
  // 2 mm/h; a 48-hour run of 1-hour steps.
  sites_and_stations(1, 1);
  surface.MET_INTERVAL = 1.0;
  std::string text;
  for (int h = 1; h <= 24; ++h) text += site_lines(1, 2.0, 150.0, 3.0, 1013.0, 15.0, 0.1, 0.8);
  open_input(MET_FILE_UNIT, "met.txt", text);
  frame.BASIC_TIMESTEP = 1.0;
  frame.UZNEXT = 1.0;
  frame.MAX_RAIN_DEPTH_PER_STEP = 100.0;
  Array1<double> no_snow;
  for (int n = 1; n <= 48; ++n) {
    TIMESTEP_CONTROL(frame, surface, no_snow, model.io);
    ++frame.STEP_COUNT;
    if (n == 24) {
      EXPECT_DOUBLE_EQ(frame.ELEMENT_RAIN_RATE(1), 2.0 / 3600000.0);
      EXPECT_EQ(frame.MET_AIR_TEMPERATURE(1), 15.0);
    }
    frame.UZNOW += frame.UZNEXT;
  }
  EXPECT_EQ(frame.UZNOW, 48.0);
  // From hour 24 on the defaults hold.
  EXPECT_EQ(frame.ELEMENT_RAIN_RATE(1), 0.0);
  EXPECT_EQ(frame.PINP(1), 0.0);
  EXPECT_EQ(frame.MET_NET_RADIATION(1), 0.0);
  EXPECT_EQ(frame.MET_WIND_SPEED(1), 0.0);
  EXPECT_EQ(frame.MET_ATMOS_PRESSURE(1), 0.0);
  EXPECT_EQ(frame.MET_AIR_TEMPERATURE(1), 10.0);
  EXPECT_EQ(frame.DEL(1), 1.0);
  EXPECT_EQ(frame.VPD(1), 3.0);
  // The record for hours 24..25 was the first one missing, asked for at hour 24.
  EXPECT_EQ(print_text(),
            "\n\n\n"
            "Time =   24.00      Hours.\n"
            "Finish of met data\n"
            "All remaining values will be zero\n"
            "\n\n\n");
}

TEST_F(MetDataTest, SitesThenStationsWhenCountsDiffer) {
  // Two sites (the second with a potential-evaporation line) and three stations.
  // Reals without a point carry six implied decimals.
  sites_and_stations(2, 3);
  surface.MET_INTERVAL = 3.0;
  surface.MET_SITE_PE_GIVEN(2) = 1;
  std::string text;
  text += format_line("(2I6,12X,3F12.4)", 1, 0, 110.0, 2.0, 1000.0) + "\n";
  text += format_line("(12X,3F12.4,I12)", 11.0, 0.25, 0.5, 7) + "\n";
  text += "     2     0               120000000     3500000  1001000000\n";
  text += format_line("(12X,3F12.4,I12)", 12.0, 0.75, 0.9, 7) + "\n";
  text += format_line("(12X,F12.4)", 0.36) + "\n";
  for (int r = 1; r <= 3; ++r) {
    text += format_line("(2I6,F12.4,24X,I12)", r, 0, 1.5 * r, 9) + "\n";
  }
  open_input(MET_FILE_UNIT, "met.txt", text);
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(frame.MELAST, 0.0);
  EXPECT_EQ(frame.METIME, 3.0);
  EXPECT_EQ(frame.MET_NET_RADIATION(1), 110.0);
  EXPECT_EQ(frame.MET_AIR_TEMPERATURE(1), 11.0);
  EXPECT_EQ(frame.DEL(1), 0.25);
  EXPECT_EQ(frame.VPD(1), 0.5);
  EXPECT_DOUBLE_EQ(frame.MET_NET_RADIATION(2), 120.0);
  EXPECT_DOUBLE_EQ(frame.MET_WIND_SPEED(2), 3.5);
  EXPECT_DOUBLE_EQ(frame.MET_ATMOS_PRESSURE(2), 1001.0);
  EXPECT_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.0);                // computed by the ET step
  EXPECT_DOUBLE_EQ(frame.STATION_POTENTIAL_EVAP(2), 0.36 / 3600);  // mm/h to mm/s
  EXPECT_EQ(frame.PINP(1), 1.5);
  EXPECT_EQ(frame.PINP(2), 3.0);
  EXPECT_EQ(frame.PINP(3), 4.5);
  EXPECT_EQ(print_text(), "");  // nothing echoed without MET_PRINT_ON
}

TEST_F(MetDataTest, EchoOfTheMetFileUnderItsHeading) {
  sites_and_stations(1, 1);
  surface.MET_INTERVAL = 1.0;
  surface.MET_PRINT_ON = true;
  open_input(MET_FILE_UNIT, "met.txt", site_lines(1, 2.0, 150.0, 3.0, 1013.0, 15.0, 0.1, 0.8));
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(print_text(),
            "\n\n"
            " MET DATA - SITE    TIME      RAINFALL    NET RADN    WIND SPEED  ATMOS PRES"
            "   AIR TEMP       DEL        VPD         IDATA\n"
            "0             1    1.00    2.000000  150.000000    3.000000 1013.000000"
            "   15.000000    0.100000    0.800000  NOT_USED  \n");
}

TEST_F(MetDataTest, EachKindOfLineThatMeetsTheEndHasItsOwnMessage) {
  // One site with a potential-evaporation line, two stations: the end of the file is
  // met by the site lines, the evaporation line and the station lines, one message
  // each; later records meet it again in silence.
  sites_and_stations(1, 2);
  surface.MET_INTERVAL = 1.0;
  surface.MET_SITE_PE_GIVEN(1) = 1;
  open_input(MET_FILE_UNIT, "met.txt", "");
  advance(MET_READ_NEXT_RECORD);
  advance(MET_READ_NEXT_RECORD);
  std::string text = print_text();
  EXPECT_EQ(count_of(text, "Finish of met data"), 3);
  EXPECT_EQ(count_of(text, "All remaining values will be zero"), 3);
  EXPECT_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.0);
  EXPECT_EQ(frame.PINP(2), 0.0);
}

TEST_F(MetDataTest, EndedFileIsNamedOnceOnTheConsole) {
  // Three kinds of line meet the end of the same file: one console line for the file.
  sites_and_stations(1, 2);
  surface.MET_INTERVAL = 1.0;
  surface.MET_SITE_PE_GIVEN(1) = 1;
  open_input(MET_FILE_UNIT, "met.txt", "");
  frame.UZNOW = 36.5;
  advance(MET_READ_NEXT_RECORD);
  advance(MET_READ_NEXT_RECORD);
  const std::string console = console_text();
  EXPECT_EQ(count_of(console, "Finish of met data"), 1) << console;
  EXPECT_NE(console.find(" Finish of met data: file " + dir.file("met.txt") +
                         " ended at time =     36.50 hours;"),
            std::string::npos)
      << console;
}

TEST_F(MetDataTest, NegativeRainfallStopsTheRunNamingFileRecordAndValue) {
  // Equal counts: the rain is on the site's first line; unequal: on the station lines.
  struct Case {
    const char* what;
    int sites, stations;
    std::string text;
    long record;
  };
  const std::string good = site_lines(1, 2.0, 150.0, 3.0, 1013.0, 15.0, 0.1, 0.8);
  const std::string station_2 = format_line("(2I6,F12.4,24X,I12)", 2, 0, -0.5, 9) + "\n";
  const std::vector<Case> cases = {
      {"site line", 1, 1, good + site_lines(1, -2.45, 150.0, 3.0, 1013.0, 15.0, 0.1, 0.8), 3},
      {"station line", 1, 2,
       format_line("(2I6,12X,3F12.4)", 1, 0, 110.0, 2.0, 1000.0) + "\n" +
           format_line("(12X,3F12.4,I12)", 11.0, 0.25, 0.5, 7) + "\n" +
           format_line("(2I6,F12.4,24X,I12)", 1, 0, 1.0, 9) + "\n" + station_2,
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sites_and_stations(c.sites, c.stations);
    surface.MET_INTERVAL = 1.0;
    frame.METIME = 0.0;
    open_input(MET_FILE_UNIT, "met.txt", c.text);
    if (c.sites == c.stations) advance(MET_READ_NEXT_RECORD);  // the good record first
    try {
      advance(MET_READ_NEXT_RECORD);
      ADD_FAILURE() << "negative rain accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(e.file, dir.file("met.txt"));
      EXPECT_EQ(e.record, c.record);
      EXPECT_EQ(e.first_column, 13);
      EXPECT_EQ(e.last_column, 24);
      EXPECT_NE(e.text.find("-"), std::string::npos) << e.text;
    }
  }
}

TEST_F(MetDataTest, NegativePotentialEvaporationIsZeroWithOneWarning) {
  // Dew in a measured series: two negative values, each read as 0, one warning.
  sites_and_stations(1, 1);
  surface.MET_INTERVAL = 1.0;
  surface.MET_SITE_PE_GIVEN(1) = 1;
  std::string text;
  for (double pe : {-0.02, 0.36, -0.01}) {
    text += site_lines(1, 0.0, 150.0, 3.0, 1013.0, 15.0, 0.1, 0.8) +
            format_line("(12X,F12.4)", pe) + "\n";
  }
  open_input(MET_FILE_UNIT, "met.txt", text);
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.0);
  advance(MET_READ_NEXT_RECORD);
  EXPECT_DOUBLE_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.36 / 3600);
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.0);
  const std::string print = print_text();
  EXPECT_EQ(count_of(print, "WARNING 4999"), 1) << print;
  EXPECT_NE(print.find("file " + dir.file("met.txt") + ", record      3;"), std::string::npos)
      << print;
}

TEST_F(MetDataTest, HotStartReadsForwardToTheRecordCoveringTheRestart) {
  // Hour 100 with hourly records: the first read takes 100 records in one go and
  // leaves the record of hours 99..100 current.
  sites_and_stations(1, 1);
  surface.MET_INTERVAL = 1.0;
  std::string text;
  for (int h = 1; h <= 101; ++h) text += site_lines(1, h, 0.0, 0.0, 0.0, 5.0, 1.0, 1.0);
  open_input(MET_FILE_UNIT, "met.txt", text);
  frame.HOTSTART_READ = true;
  frame.HOTSTART_TIME = 100.0;
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(frame.MELAST, 99.0);
  EXPECT_EQ(frame.METIME, 100.0);
  EXPECT_EQ(frame.PINP(1), 100.0);
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(frame.PINP(1), 101.0);
}

TEST_F(MetDataTest, TimeVaryingVegetationChangesOnlyWhenAMetRecordIsRead) {
  // CSTCAP of type 1: base 2 mm, multiplier 1 at day 0 and 3 at day 1.
  sites_and_stations(1, 1);
  surface.MET_INTERVAL = 1.0;
  open_input(MET_FILE_UNIT, "met.txt", site_lines(1, 0.0, 0.0, 0.0, 0.0, 5.0, 1.0, 1.0));
  frame.NV = 1;
  surface.CSTCAP.resize(1, 2.0);
  surface.PLAI.resize(1, 1.0);
  surface.CLAI.resize(1, 1.0);
  surface.VHT.resize(1, 1.0);
  for (auto& table : surface.ET_TIME_VARYING_TABLES) {
    table.mode.resize(1, 0);
    table.row.resize(1, 1);
    table.base.resize(1, 0.0);
    table.rows.resize(1, 0);
    table.times.resize(1, ET_TIME_TABLE_ROOM, 0.0);
    table.values.resize(1, ET_TIME_TABLE_ROOM, 0.0);
  }
  EtTimeVaryingTable& cstcap = surface.ET_TIME_VARYING_TABLES[ET_VARYING_CSTCAP];
  cstcap.mode(1) = 1;
  cstcap.base(1) = 2.0;
  cstcap.rows(1) = 2;
  cstcap.times(1, 1) = 0.0;
  cstcap.times(1, 2) = 1.0;
  cstcap.values(1, 1) = 1.0;
  cstcap.values(1, 2) = 3.0;
  surface.ET_CLOCK = 12.0;  // half a day: multiplier 2
  advance(MET_READ_NEXT_RECORD);
  EXPECT_DOUBLE_EQ(surface.CSTCAP(1), 4.0);
  EXPECT_EQ(surface.PLAI(1), 1.0);  // constant
  surface.ET_CLOCK = 18.0;
  advance(MET_COMPLETE_STEP);
  EXPECT_DOUBLE_EQ(surface.CSTCAP(1), 4.0);
}

TEST_F(MetDataTest, NonPositiveIntervalIsFatalInsteadOfNeverAdvancing) {
  sites_and_stations(1, 1);
  surface.MET_INTERVAL = 0.0;
  open_input(MET_FILE_UNIT, "met.txt", site_lines(1, 1.0, 0.0, 0.0, 0.0, 5.0, 1.0, 1.0));
  EXPECT_THROW(advance(MET_READ_NEXT_RECORD), FatalError);
  EXPECT_NE(print_text().find("FATAL ERROR 1062"), std::string::npos);
}

// ---- separate files -------------------------------------------------------------------

struct SeparateMetFilesTest : MetDataTest {
  void SetUp() override {
    MetDataTest::SetUp();
    surface.MET_FILE_MODE = true;
    surface.PRD_INTERVAL = 2.0;
    surface.EPD_INTERVAL = 24.0;
    sites_and_stations(1, 1);
  }
  void step_from(double uznow, double uznext) {
    frame.UZNOW = uznow;
    frame.UZNEXT = uznext;
    advance(MET_COMPLETE_STEP);
  }
};

TEST_F(SeparateMetFilesTest, RainfallDepthsBecomeRatesUntilTheFileEnds) {
  open_input(PRD_FILE_UNIT, "prd.txt", "3.0\n5.0\n");
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(frame.PINP(1), 1.5);  // 3 mm over 2 hours
  EXPECT_EQ(frame.MELAST, 0.0);
  EXPECT_EQ(frame.METIME, 2.0);
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(frame.PINP(1), 2.5);
  advance(MET_READ_NEXT_RECORD);
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(frame.PINP(1), 0.0);
  EXPECT_EQ(frame.METIME, 8.0);
  std::string text = print_text();
  EXPECT_EQ(count_of(text, "Finish of prd data"), 1);
  EXPECT_EQ(count_of(text, "All remaining values will be zero"), 1);
}

TEST_F(SeparateMetFilesTest, DailyEvaporationIsSpreadOverTheStepsAndMixedAcrossMidnight) {
  // 2.4 mm on day 1 and 4.8 mm on day 2: 0.1 and 0.2 mm/h.
  open_input(EPD_FILE_UNIT, "epd.txt", "2.4\n4.8\n");
  step_from(0.0, 1.0);
  EXPECT_DOUBLE_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.1 / 3600);
  EXPECT_EQ(frame.EPD_TIME, 24.0);
  step_from(1.0, 1.0);
  EXPECT_DOUBLE_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.1 / 3600);
  // 23.5 .. 24.5 h: 0.1 x 0.5 + 0.2 x 0.5 = 0.15 mm over the hour.
  step_from(23.5, 1.0);
  EXPECT_DOUBLE_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.15 / 3600);
  EXPECT_EQ(frame.EPD_TIME, 48.0);
  // Without air-temperature files every site is at 10 deg C.
  EXPECT_EQ(frame.MET_AIR_TEMPERATURE(1), 10.0);
  // The file ends on day 3: no evaporation from then on, one message.
  step_from(47.5, 1.0);
  EXPECT_DOUBLE_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.1 / 3600);  // 0.2 x 0.5 mm per hour
  step_from(48.5, 1.0);
  EXPECT_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.0);
  step_from(72.5, 1.0);
  EXPECT_EQ(count_of(print_text(), "Finish of epd data"), 1);
}

TEST_F(SeparateMetFilesTest, NegativeRainDepthStopsNegativeEvaporationDepthIsZero) {
  open_input(PRD_FILE_UNIT, "prd.txt", "3.0\n-2.45\n");
  advance(MET_READ_NEXT_RECORD);
  try {
    advance(MET_READ_NEXT_RECORD);
    ADD_FAILURE() << "negative rain accepted";
  } catch (const InputError& e) {
    EXPECT_EQ(e.file, dir.file("prd.txt"));
    EXPECT_EQ(e.record, 2);
    EXPECT_EQ(e.text, "-2.45");  // as written in the file
  }

  // -2.4 mm on day 1 is read as 0, the warning given once for the file; day 2 counts.
  open_input(EPD_FILE_UNIT, "epd.txt", "-2.4\n4.8\n-1.0\n");
  step_from(0.0, 1.0);
  EXPECT_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.0);
  step_from(24.0, 1.0);
  EXPECT_DOUBLE_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.2 / 3600);
  step_from(48.0, 1.0);
  EXPECT_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.0);
  const std::string print = print_text();
  EXPECT_EQ(count_of(print, "WARNING 4999"), 1) << print;
  EXPECT_NE(print.find("file " + dir.file("epd.txt") + ", record      1;"), std::string::npos)
      << print;
}

TEST_F(SeparateMetFilesTest, AirTemperatureIsTheMeanOfHighAndLow) {
  model.io.names.AIR_TEMPERATURE_FILES_ON = true;
  open_input(EPD_FILE_UNIT, "epd.txt", "2.4\n2.4\n");
  open_input(AIR_TEMPERATURE_HIGH_UNIT, "high.txt", "20.0\n");
  open_input(AIR_TEMPERATURE_LOW_UNIT, "low.txt", "6.0\n-2.0\n");
  step_from(0.0, 1.0);
  EXPECT_EQ(frame.MET_AIR_TEMPERATURE(1), 13.0);
  // The high file has ended: its value becomes 10, with nothing on the print file and
  // one line on the console.
  step_from(24.0, 1.0);
  EXPECT_EQ(frame.MET_AIR_TEMPERATURE(1), 4.0);
  EXPECT_EQ(print_text(), "");
  step_from(25.0, 1.0);
  step_from(48.0, 1.0);
  const std::string console = console_text();
  EXPECT_EQ(count_of(console, "Finish of air temp - high data"), 1) << console;
  EXPECT_NE(console.find(" Finish of air temp - high data: file " + dir.file("high.txt") +
                         " ended at time =     24.00 hours; the rest of the run takes 10 degC "
                         "as the high air temperature of every met site"),
            std::string::npos)
      << console;
}

// A highest temperature below the lowest of the same interval is one file's record set
// against another interval's: refused, naming both files and records, at whichever
// site it happens. Equal values (a still, cloudy day) are read.
TEST_F(SeparateMetFilesTest, HighestBelowLowestIsRefusedNamingBothFilesAndRecords) {
  sites_and_stations(2, 1);
  model.io.names.AIR_TEMPERATURE_FILES_ON = true;
  open_input(EPD_FILE_UNIT, "epd.txt", "2.4 2.4\n2.4 2.4\n");
  open_input(AIR_TEMPERATURE_HIGH_UNIT, "high.txt", "5.0 4.0\n3.0 -1.0\n");
  open_input(AIR_TEMPERATURE_LOW_UNIT, "low.txt", "5.0 1.0\n1.0 2.0\n");
  step_from(0.0, 1.0);
  EXPECT_EQ(frame.MET_AIR_TEMPERATURE(1), 5.0);
  try {
    step_from(24.0, 1.0);
    ADD_FAILURE() << "highest below lowest accepted";
  } catch (const InputError& e) {
    EXPECT_EQ(e.file, dir.file("high.txt"));
    EXPECT_EQ(e.record, 2);
    EXPECT_EQ(e.first_column, 5);
    EXPECT_EQ(e.text, "-1.0");
    const std::string what = e.what();
    EXPECT_NE(what.find("highest air temperature of met site 2 = -1 degC lies below its lowest, "
                        "2 degC, read from file " +
                        dir.file("low.txt") + ", record 2, columns 5-7: \"2.0\""),
              std::string::npos)
        << what;
  }
}

// A hot start at 29 h: before the first step the rain record of hours 28..30 (the 15th,
// 15 mm over 2 h) and the evaporation record of day 2 (4.8 mm, 0.2 mm/h) are in hand,
// with day 2's air temperature, the mean of 30 and 10 deg C, which the first step's
// snow cap reads before it reads any record.
TEST_F(SeparateMetFilesTest, HotStartCatchUpHandsTheFirstStepTheRecordsOfTheRestart) {
  model.io.names.AIR_TEMPERATURE_FILES_ON = true;
  std::string rain;
  for (int r = 1; r <= 20; ++r) rain += std::to_string(r) + ".0\n";
  open_input(PRD_FILE_UNIT, "prd.txt", rain);
  open_input(EPD_FILE_UNIT, "epd.txt", "2.4\n4.8\n");
  open_input(AIR_TEMPERATURE_HIGH_UNIT, "high.txt", "20.0\n30.0\n");
  open_input(AIR_TEMPERATURE_LOW_UNIT, "low.txt", "6.0\n10.0\n");
  frame.HOTSTART_READ = true;
  frame.HOTSTART_TIME = 29.0;
  MET_DATA_CATCH_UP(frame, surface, model.io);
  EXPECT_EQ(frame.MELAST, 28.0);
  EXPECT_EQ(frame.METIME, 30.0);
  EXPECT_EQ(frame.PINP(1), 7.5);
  EXPECT_EQ(frame.EPD_TIME, 48.0);
  EXPECT_EQ(frame.MET_AIR_TEMPERATURE(1), 20.0);
  // The first step reads nothing more: 29 .. 30 h inside both records.
  step_from(29.0, 1.0);
  EXPECT_DOUBLE_EQ(frame.STATION_POTENTIAL_EVAP(1), 0.2 / 3600);
  EXPECT_EQ(frame.EPD_TIME, 48.0);
}

TEST_F(SeparateMetFilesTest, EchoShowsRainAndEvaporationPerSite) {
  surface.MET_PRINT_ON = true;
  open_input(PRD_FILE_UNIT, "prd.txt", "3.0\n");
  advance(MET_READ_NEXT_RECORD);
  EXPECT_EQ(print_text(),
            "\n\n"
            " MET DATA -  TIME :    2.00\n"
            " STATION           RAINFALL      POT. EVAP.(MM/HR)\n"
            "     1              1.500              0.000\n");
}

}  // namespace
}  // namespace quendal
