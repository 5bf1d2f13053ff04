// The calendar: dates as calendar hours.
//
// Every date of a run is held as a double count of hours on a fixed day numbering of
// the Gregorian calendar: day 1 is 1 January 1950, and a date is
//   24 x day + hour + minute / 60 + CALENDAR_OFFSET_HOURS,
// so 1 January 1950 00:00 is 24.0000028. The small offset (about 0.01 s) keeps the
// minute whole when calendar hours are turned back into a date. Leap years are those
// divisible by 4 except centuries not divisible by 400. Dates before 1950 are outside
// the calendar's design.
#pragma once

#include <string>

#include "include/run_io.h"

namespace quendal {

// The offset in every calendar hour: 2.8e-6 h as a single-precision number holds it.
// The calendar hours are defined with this value, so a date gives the same double
// wherever it is converted, in a run or in a file it wrote.
constexpr double CALENDAR_OFFSET_HOURS = 2.7999999474559445e-06;

// A date and time as HOURS_TO_DATE returns it.
struct DateRecord {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Calendar hours of a date. A month outside 1..12 is fatal error 4820. The result is
// proved by converting it back: a date that does not come back as itself (31 April,
// 29 February of a common year, hour 24, minute 60, ...) writes " date trap" on the
// console and stops the run at once (ImmediateStop, no error summary).
double DATE_TO_HOURS(int year, int month, int day, int hour, int minute, RunIo& io);

// The date of calendar hours. Calendar hours on day 0 (between -24 and 24 exclusive)
// write " date trap -DAY" on the console and stop the run at once; a day of the year
// that falls before January is fatal error 4820.
void HOURS_TO_DATE(DateRecord& date, double hours, RunIo& io);

// Days from 1 January 1950 to 1 January of `year` (0 for 1950; leap days are counted
// from 1952 on).
long days_before_year(long year);
bool is_leap_year(long year);
// Days of `month` (1..12) in `year`: 28 to 31.
int days_in_month(long year, int month);

// What keeps a date from existing, for a reader to refuse it where it was read, before
// any conversion stops the run: "month 13 outside 1 to 12", "day 30 of February 1990,
// a month of 28 days", "hour 25 outside 0 to 23", "minute 60 outside 0 to 59". Empty
// when the date exists. The year is the caller's to check.
std::string date_fault(int year, int month, int day, int hour, int minute);

}  // namespace quendal
