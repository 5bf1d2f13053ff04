#include "services/calendar.h"

#include <gtest/gtest.h>

#include <chrono>

#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

struct CalendarTest : testing::ModelWithFiles {};

// Day number of a date from the standard library's civil calendar: an oracle that
// shares nothing with the code under test. Day 1 is 1 January 1950.
long civil_day_number(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return (sys_days{year{y} / month{m} / day{d}} - sys_days{year{1950} / January / 1}).count() + 1;
}

TEST_F(CalendarTest, KnownDatesGiveTheirCalendarHours) {
  // 24 x day number + hour + minute / 60 + the 2.8e-6 h offset.
  // The offset is 2.8e-6 as a single-precision value: 5e-14 h off the decimal.
  EXPECT_NEAR(DATE_TO_HOURS(1950, 1, 1, 0, 0, model.io), 24.0000028, 1e-12);
  EXPECT_NEAR(DATE_TO_HOURS(1950, 1, 2, 0, 0, model.io), 48.0000028, 1e-12);
  // 1 March 2000 12:30: 18262 days to 1 January 2000 (50 x 365 + 12 leap days of
  // 1952..1996), 60 days of a leap January and February, day 1: day number 18323.
  EXPECT_DOUBLE_EQ(DATE_TO_HOURS(2000, 3, 1, 12, 30, model.io),
                   24.0 * 18323 + 12.5 + CALENDAR_OFFSET_HOURS);
  EXPECT_EQ(days_before_year(1950), 0);
  EXPECT_EQ(days_before_year(1953), 3 * 365 + 1);  // 1952 is the first leap year counted
  EXPECT_EQ(days_before_year(2101), 151 * 365 + 37);  // 1952..2096 without 2100: 37
}

TEST_F(CalendarTest, EveryDateFrom1950To2100ConvertsToHoursAndBack) {
  using namespace std::chrono;
  const int times[3][2] = {{0, 0}, {12, 30}, {23, 59}};
  for (sys_days day = sys_days{year{1950} / January / 1}; day <= sys_days{year{2100} / December / 31};
       day += days{1}) {
    const year_month_day ymd{day};
    const int y = static_cast<int>(ymd.year());
    const int m = static_cast<int>(static_cast<unsigned>(ymd.month()));
    const int d = static_cast<int>(static_cast<unsigned>(ymd.day()));
    const long n = civil_day_number(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
    for (const auto& t : times) {
      const double hours = DATE_TO_HOURS(y, m, d, t[0], t[1], model.io);
      ASSERT_NEAR(hours, 24.0 * n + t[0] + t[1] / 60.0, 1e-5) << y << "-" << m << "-" << d;
      DateRecord back;
      HOURS_TO_DATE(back, hours, model.io);
      ASSERT_EQ(back.year, y);
      ASSERT_EQ(back.month, m);
      ASSERT_EQ(back.day, d);
      ASSERT_EQ(back.hour, t[0]);
      ASSERT_EQ(back.minute, t[1]) << y << "-" << m << "-" << d;
      ASSERT_EQ(back.second, 0);
    }
  }
  EXPECT_EQ(console_text(), "");
}

TEST_F(CalendarTest, SecondsAreTheRestOfTheMinute) {
  DateRecord date;
  HOURS_TO_DATE(date, 24.0 + 6.0 + 45.0 / 60.0 + 15.0 / 3600.0 + CALENDAR_OFFSET_HOURS, model.io);
  EXPECT_EQ(date.year, 1950);
  EXPECT_EQ(date.month, 1);
  EXPECT_EQ(date.day, 1);
  EXPECT_EQ(date.hour, 6);
  EXPECT_EQ(date.minute, 45);
  EXPECT_EQ(date.second, 15);
}

TEST_F(CalendarTest, LeapDays) {
  for (int y : {2000, 2004, 1952}) {
    const double hours = DATE_TO_HOURS(y, 2, 29, 6, 0, model.io);
    DateRecord back;
    HOURS_TO_DATE(back, hours, model.io);
    EXPECT_EQ(back.month, 2);
    EXPECT_EQ(back.day, 29);
  }
}

// Dates that do not exist come back as another date: the run stops at once with
// " date trap" on the console, no numbered error and no error summary.
TEST_F(CalendarTest, DatesThatDoNotExistStopWithDateTrap) {
  struct Case {
    int y, m, d, h, min;
  } cases[] = {{2001, 2, 29, 0, 0}, {2100, 2, 29, 0, 0}, {1999, 4, 31, 0, 0},
               {2000, 1, 1, 24, 0}, {2000, 1, 1, 0, 60}, {2000, 1, 0, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.y) + "-" + std::to_string(c.m) + "-" + std::to_string(c.d) +
                 " " + std::to_string(c.h) + ":" + std::to_string(c.min));
    const long console_before = static_cast<long>(console_text().size());
    EXPECT_THROW(DATE_TO_HOURS(c.y, c.m, c.d, c.h, c.min, model.io), ImmediateStop);
    EXPECT_EQ(console_text().substr(static_cast<std::size_t>(console_before)), " date trap\n");
  }
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
  EXPECT_EQ(print_text(), "");
}

TEST_F(CalendarTest, DayZeroStopsWithDateTrapDay) {
  for (double hours : {0.0, 23.9, -23.9}) {
    DateRecord date;
    EXPECT_THROW(HOURS_TO_DATE(date, hours, model.io), ImmediateStop) << hours;
  }
  EXPECT_EQ(console_text(), " date trap -DAY\n date trap -DAY\n date trap -DAY\n");
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(CalendarTest, MonthOutsideTheYearIsError4820) {
  const std::string message =
      "         Date problem, probably with rainfall or evaporation - are their start dates "
      "specified correctly in their files?";
  for (int month : {0, -3, 13}) {
    EXPECT_THROW(DATE_TO_HOURS(2000, month, 1, 0, 0, model.io), FatalError) << month;
  }
  const std::string text = print_text();
  EXPECT_NE(text.find(" !!!FATAL ERROR 4820 at time ="), std::string::npos) << text;
  EXPECT_NE(text.find(message), std::string::npos) << text;
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 3);
}

TEST_F(CalendarTest, DayOfYearBeforeJanuaryIsError4820) {
  // 40 and 70 days before 1 January 1950: the day of the year is -40 and -70.
  for (double hours : {-24.0 * 40 - 0.5, -24.0 * 70}) {
    DateRecord date;
    EXPECT_THROW(HOURS_TO_DATE(date, hours, model.io), FatalError) << hours;
  }
  EXPECT_NE(print_text().find("FATAL ERROR 4820"), std::string::npos);
}

}  // namespace
}  // namespace quendal
