// The per-element water-balance error and the catchment totals. The test plays the
// physics of the small catchment of output_fixture.h: every step it moves water by
// explicit face flows and updates the levels by conservation, so a correct balance
// closes to rounding and a wrong sign or factor shows at once.
#include "output/water_balance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "output/output_fixture.h"

namespace quendal {
namespace {

struct WaterBalanceTest : testing::SmallCatchment {
  // Rain at `rain` m/s on every element, then water drains west square -> east square ->
  // link -> out through the link's east end, at rates proportional to what each holds
  // at the start of the step. Levels are updated by conservation.
  void rain_and_drain(double hours, double rain) {
    const double dt = hours * 3600.0;
    const double depth2 = surface.HRF(WEST_SQUARE) - frame.ZGRUND(WEST_SQUARE);
    const double depth3 = surface.HRF(EAST_SQUARE) - frame.ZGRUND(EAST_SQUARE);
    const double q23 = 0.05 * depth2;  // m3/s eastwards through 2's face 1 / 3's face 3
    const double q3l = 0.05 * depth3;  // m3/s southwards through 3's face 4 / the link's face 2
    const double qout = 0.01 * surface.ARXL(LINK);  // m3/s eastwards out of the link's face 1
    for (int e = 1; e <= 3; ++e) {
      frame.ELEMENT_RAIN_RATE(e) = rain;
      surface.PNETTO(e) = rain;
    }
    surface.QOC(WEST_SQUARE, 1) = q23;
    surface.QOC(EAST_SQUARE, 3) = q23;
    surface.QOC(EAST_SQUARE, 4) = -q3l;
    surface.QOC(LINK, 2) = -q3l;
    surface.QOC(LINK, 1) = qout;
    surface.HRF(WEST_SQUARE) += rain * dt - q23 * dt / frame.AREA(WEST_SQUARE);
    surface.HRF(EAST_SQUARE) += rain * dt + (q23 - q3l) * dt / frame.AREA(EAST_SQUARE);
    surface.ARXL(LINK) += (rain * frame.AREA(LINK) + q3l - qout) * dt / frame.CLENTH(LINK);
    surface.HRF(LINK) = frame.ZGRUND(LINK) + surface.ARXL(LINK) / surface.CWIDTH(LINK);
    step(hours);
  }
  double total(int entry) const { return output.WATER_BALANCE_TOTALS(entry); }
};

TEST_F(WaterBalanceTest, ElementAndCatchmentBalancesCloseWhileWaterRunsOff) {
  add_weir(LINK, 1);
  start();
  const double rain = 5e-3 / 3600.0;  // 5 mm/h for six hours, then dry
  for (int n = 1; n <= 24; ++n) rain_and_drain(1.0, n <= 6 ? rain : 0.0);

  // Each element: storage change equals the net inflow. Depths are centimetres, so the
  // rounding of 24 steps of sums stays far below 1e-14 m.
  for (int e = 1; e <= 3; ++e) EXPECT_NEAR(output.ELEMENT_BALANCE_ERROR(e), 0.0, 1e-14) << e;

  // The catchment, started dry: at UZNOW = 24 h (a boundary) the storages are those of
  // now, so what fell minus what left is what is held (to 1e-9 of the volume: rounding
  // of the element sums and of the levels, some 1e-16 relative each).
  const double fallen = 6 * 5e-3 * frame.TOTAL_CATCHMENT_AREA;  // 6 h x 5 mm over 20200 m2
  EXPECT_NEAR(total(WB_PRECIPITATION + WB_RUN_OFFSET), fallen, 1e-9 * fallen);
  const double left = total(WB_DISCHARGE + WB_RUN_OFFSET);
  EXPECT_GT(left, 0.0);
  const double held = total(WB_SURFACE_STORAGE) + total(WB_CHANNEL_STORAGE);
  EXPECT_NEAR(fallen - left, held, 1e-9 * fallen);
  for (int e : {WB_CANOPY_STORAGE, WB_SNOW_STORAGE, WB_SUBSURFACE_STORAGE}) {
    EXPECT_EQ(total(e), 0.0) << e;
  }
  // The period that the boundary closed has been restarted.
  EXPECT_EQ(total(WB_PRECIPITATION), 0.0);
  EXPECT_EQ(total(WB_DISCHARGE), 0.0);
}

TEST_F(WaterBalanceTest, WaterFromNowhereShowsAsPositiveErrorOfThatElementOnly) {
  start();
  rain_and_drain(1.0, 1e-6);
  rain_and_drain(1.0, 1e-6);
  surface.HRF(WEST_SQUARE) += 0.001;  // 1 mm that no flux delivered
  rain_and_drain(1.0, 1e-6);
  EXPECT_NEAR(output.ELEMENT_BALANCE_ERROR(WEST_SQUARE), 0.001, 1e-14);
  EXPECT_NEAR(output.ELEMENT_BALANCE_ERROR(EAST_SQUARE), 0.0, 1e-14);
  EXPECT_NEAR(output.ELEMENT_BALANCE_ERROR(LINK), 0.0, 1e-14);
}

TEST_F(WaterBalanceTest, FirstStepOnlyRecordsStoragesSoAOneStepRunHasNoError) {
  // Fluxes that do not match any storage change: the first call does not judge them.
  surface.QOC(WEST_SQUARE, 1) = 3.0;
  surface.PNETTO(EAST_SQUARE) = 1e-3;
  surface.HRF(WEST_SQUARE) = frame.ZGRUND(WEST_SQUARE) - 0.2;  // below the ground
  step(1.0);
  for (int e = 1; e <= 3; ++e) EXPECT_EQ(output.ELEMENT_BALANCE_ERROR(e), 0.0) << e;
  EXPECT_NEAR(output.BALANCE_PREVIOUS_STORAGE(WEST_SQUARE), -0.2, 1e-12);
}

// Volumes below are products of a few exact values: 1e-12 m3 is rounding only (1e-9 m3
// where a level near 12 m is differenced with the ground).
TEST_F(WaterBalanceTest, StoragesAreThoseAtTheEndOfEachStep) {
  surface.cstore(LINK) = 5.0;         // a link has no canopy store the totals count
  surface.cstore(WEST_SQUARE) = 2.0;  // mm
  surface.cstore(EAST_SQUARE) = 2.0;
  surface.HRF(WEST_SQUARE) = frame.ZGRUND(WEST_SQUARE) + 0.01;
  surface.HRF(EAST_SQUARE) = frame.ZGRUND(EAST_SQUARE) - 0.001;  // not clipped at zero
  surface.ARXL(LINK) = 0.5;
  start();
  EXPECT_NEAR(output.BALANCE_START_STORAGE[WB_CHANNEL_STORAGE - WB_CANOPY_STORAGE], 50.0, 1e-12);
  step(1.0);
  EXPECT_NEAR(total(WB_CANOPY_STORAGE), 2 * 0.002 * 10000.0, 1e-12);
  EXPECT_NEAR(total(WB_SURFACE_STORAGE), 0.01 * 10000.0 - 0.001 * 10000.0, 1e-9);
  EXPECT_NEAR(total(WB_CHANNEL_STORAGE), 0.5 * 100.0, 1e-12);

  surface.ARXL(LINK) = 1.0;
  step(1.0);  // 02:00, inside the first day: the storages are still those of now
  EXPECT_NEAR(total(WB_CHANNEL_STORAGE), 100.0, 1e-12);
}

// With banks on a link has cells of its own under its bed; they hold water like any
// column's. Two cells of 0.5 m at moisture 0.3 under every element.
TEST_F(WaterBalanceTest, SubsurfaceStorageCountsEveryColumnWithCellsLinksIncluded) {
  give_cells(2, 0.5, 0.3);
  start();
  step(1.0);
  const double per_m2 = 2 * 0.5 * 0.3;
  EXPECT_NEAR(total(WB_SUBSURFACE_STORAGE), per_m2 * (2 * 10000.0 + 200.0), 1e-9);
}

// What crosses the catchment's edges, booked positive into the catchment: the cells'
// flow through a lateral head boundary, the surface flow through free faces other than
// the outlet's. One hour.
TEST_F(WaterBalanceTest, LateralInflowThroughEveryEdgeButTheOutlet) {
  give_cells(2, 0.5, 0.3);
  add_weir(LINK, 1);
  start();
  // The west square's west face (3) has no neighbour and carries a head boundary.
  subsurface.VSS_BOUNDARY_CODE.resize(6, frame.NEL, 0);
  subsurface.VSS_BOUNDARY_CODE(1 + 3, WEST_SQUARE) = VSS_LATERAL_HEAD;
  subsurface.CELL_LATERAL_FLOW(3, 1, WEST_SQUARE) = 0.002;   // in
  subsurface.CELL_LATERAL_FLOW(3, 2, WEST_SQUARE) = -0.0005;  // out
  // A face with no boundary code is no boundary of the cells, whatever it carries.
  subsurface.CELL_LATERAL_FLOW(2, 1, EAST_SQUARE) = 1.0;
  surface.QOC(WEST_SQUARE, 2) = -0.01;  // southwards through its free north face: in
  surface.QOC(LINK, 3) = 0.003;         // eastwards through the link's free west end: in
  surface.QOC(EAST_SQUARE, 2) = 0.004;  // northwards out of the east square's north face
  surface.QOC(LINK, 1) = 0.05;          // the outlet: discharge, not lateral flow
  surface.QOC(WEST_SQUARE, 1) = 0.7;    // between the squares: inside the catchment
  step(1.0);
  const double inflow = (0.002 - 0.0005) + 0.01 + 0.003 - 0.004;  // m3/s
  EXPECT_NEAR(total(WB_LATERAL_FLOW_RUN), inflow * 3600.0, 1e-12);
  EXPECT_NEAR(total(WB_DISCHARGE + WB_RUN_OFFSET), 0.05 * 3600.0, 1e-12);
}

// A well takes 1e-3 m3/s in the first hour and 3e-3 m3/s in the second. Water a well
// gives to a link (the driver, after the subsurface step) stays in the catchment at
// once; water it gives to a column comes with the ET step of the next step, so what the
// last step took has still left the catchment.
TEST_F(WaterBalanceTest, WellExportIsWhatTheWellsTakeLessWhatTheyGive) {
  struct Case {
    const char* receiver;
    int element;        // receiving the well's water; 0 none
    double exported;    // m3 over the two hours
  };
  const Case cases[] = {
      {"none", 0, (1e-3 + 3e-3) * 3600.0},
      {"a link", LINK, 0.0},
      {"a column", WEST_SQUARE, 3e-3 * 3600.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.receiver);
    SetUp();
    if (c.element != 0) subsurface.WELL_WATER_SOURCE(c.element) = EAST_SQUARE;
    start();
    subsurface.WELL_ABSTRACTION(EAST_SQUARE) = 1e-3 / frame.AREA(EAST_SQUARE);  // m/s
    step(1.0);
    subsurface.WELL_ABSTRACTION(EAST_SQUARE) = 3e-3 / frame.AREA(EAST_SQUARE);
    step(1.0);
    EXPECT_NEAR(total(WB_WELL_EXPORT_RUN), c.exported, 1e-12);
  }
}

TEST_F(WaterBalanceTest, StepVolumesGoToPeriodAndRunTotals) {
  frame.ELEMENT_RAIN_RATE(LINK) = 2e-6;
  frame.ELEMENT_RAIN_RATE(WEST_SQUARE) = 1e-6;
  surface.ET_CANOPY_EVAP(WEST_SQUARE) = 1e-7;
  surface.ET_GROUND_EVAP(EAST_SQUARE) = 2e-7;
  surface.ET_TRANSPIRATION(EAST_SQUARE) = 3e-7;
  surface.QOC(LINK, 1) = 0.25;  // no outlet: nothing is counted as discharge
  step(1.0);
  step(1.0);
  const double hour = 3600.0;
  EXPECT_NEAR(total(WB_PRECIPITATION), (2e-6 * 200.0 + 1e-6 * 10000.0) * hour, 1e-12);
  EXPECT_NEAR(total(WB_PRECIPITATION + WB_RUN_OFFSET), 2 * (2e-6 * 200.0 + 1e-6 * 10000.0) * hour,
              1e-12);
  EXPECT_NEAR(total(WB_CANOPY_EVAPORATION), 1e-7 * 10000.0 * hour, 1e-12);
  EXPECT_NEAR(total(WB_GROUND_EVAPORATION), 2e-7 * 10000.0 * hour, 1e-12);
  EXPECT_NEAR(total(WB_TRANSPIRATION + WB_RUN_OFFSET), 2 * 3e-7 * 10000.0 * hour, 1e-12);
  EXPECT_EQ(total(WB_DISCHARGE + WB_RUN_OFFSET), 0.0);
  EXPECT_EQ(total(WB_AQUIFER_FLOW + WB_RUN_OFFSET), 0.0);
  EXPECT_EQ(total(WB_STREAM_AQUIFER_RUN), 0.0);
}

TEST_F(WaterBalanceTest, OutletDischargeCountsAsMagnitude) {
  add_weir(LINK, 3);  // discharging westwards: QOC negative
  start();
  surface.QOC(LINK, 3) = -0.5;
  step(2.0);
  EXPECT_NEAR(total(WB_DISCHARGE + WB_RUN_OFFSET), 0.5 * 7200.0, 1e-9);
}

// Balance calendar: the day after each boundary.
struct NextDay {
  int year, month, day;
  int next_year, next_month, next_day;
};

TEST_F(WaterBalanceTest, CalendarMovesOneDayPerBoundary) {
  const NextDay cases[] = {
      {2000, 2, 28, 2000, 2, 29}, {2000, 2, 29, 2000, 3, 1}, {2001, 2, 28, 2001, 3, 1},
      {1999, 12, 31, 2000, 1, 1}, {1990, 4, 30, 1990, 5, 1}, {1990, 1, 15, 1990, 1, 16},
  };
  for (const NextDay& c : cases) {
    output = OutputState();
    frame.UZNOW = 0.0;
    set_start(c.year, c.month, c.day, 0, 0);
    step(1.0);
    EXPECT_EQ(output.CALENDAR_YEAR, c.next_year) << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(output.CALENDAR_MONTH, c.next_month) << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(output.CALENDAR_DAY, c.next_day) << c.year << "-" << c.month << "-" << c.day;
    // Two calendar-hour values near 3.5e5 h differenced: a few ulps of 6e-11 h.
    EXPECT_NEAR(output.BALANCE_NEXT_TIME, 24.0, 1e-9);
  }
  // The frame keeps the start date.
  EXPECT_EQ(frame.CALENDAR_DAY, 15);
}

TEST(DaysInMonth, GregorianLeapYears) {
  EXPECT_EQ(days_in_month(1900, 2), 28);  // a century not divisible by 400
  EXPECT_EQ(days_in_month(2000, 2), 29);
  EXPECT_EQ(days_in_month(2004, 2), 29);
  EXPECT_EQ(days_in_month(2001, 2), 28);
  EXPECT_EQ(days_in_month(2001, 4), 30);
  EXPECT_EQ(days_in_month(2001, 12), 31);
}

// Steps after which the period totals were restarted (rain falls every step, so a
// period total of 0 means the step closed a period).
std::vector<int> boundary_steps(WaterBalanceTest& t, int steps) {
  std::vector<int> found;
  t.frame.ELEMENT_RAIN_RATE.fill(1e-6);
  for (int n = 1; n <= steps; ++n) {
    t.step(1.0);
    if (t.output.WATER_BALANCE_TOTALS(WB_PRECIPITATION) == 0.0) found.push_back(n);
  }
  return found;
}

TEST_F(WaterBalanceTest, RunStartingAt2300HasBoundariesAtFirstStepAndThenEachMidnight) {
  set_start(2000, 2, 28, 23, 0);
  // The first step is a boundary and reaches 00:00 on 29 February, the midnight that
  // the calendar (now on 29 February) asks for next; then every midnight.
  EXPECT_EQ(boundary_steps(*this, 50), (std::vector<int>{1, 2, 25, 49}));
  EXPECT_EQ(output.CALENDAR_MONTH, 3);
  EXPECT_EQ(output.CALENDAR_DAY, 3);
}

TEST_F(WaterBalanceTest, AfterAHotStartTheCalendarCatchesUpOneDayPerStep) {
  frame.UZNOW = 72.0;  // continuing three days after the start date
  std::vector<double> next;
  frame.ELEMENT_RAIN_RATE.fill(1e-6);
  for (int n = 1; n <= 5; ++n) {
    step(1.0);
    next.push_back(std::round(output.BALANCE_NEXT_TIME * 1e6) / 1e6);
  }
  EXPECT_EQ(next, (std::vector<double>{24.0, 48.0, 72.0, 96.0, 96.0}));
  EXPECT_EQ(output.CALENDAR_DAY, 5);
  // The totals themselves start at zero: five steps of rain.
  EXPECT_NEAR(total(WB_PRECIPITATION + WB_RUN_OFFSET), 5 * 1e-6 * 3600.0 * 20200.0, 1e-9);
}

}  // namespace
}  // namespace quendal
