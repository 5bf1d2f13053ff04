#include "services/calendar.h"

#include <cmath>

#include "services/error_reporting.h"
#include "services/stops.h"

namespace quendal {

namespace {

// Days before the first of each month in a common year (index 1..12).
constexpr int MONTH_START[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

constexpr int DATE_PROBLEM = 4820;

// Number of leap years in 1..n (n >= 0).
long leap_years_up_to(long n) { return n / 4 - n / 100 + n / 400; }

// Days before the first of `month` in `year`, the leap day counted after February.
long month_start(long year, int month) {
  return MONTH_START[month] + (is_leap_year(year) && month > 2 ? 1 : 0);
}

[[noreturn]] void date_problem(RunIo& io) {
  // The text leads with one blank, the column a free-format write leaves before its
  // first item, like the other free-format lines of the print file.
  REPORT_ERROR(io, SEVERITY_FATAL, DATE_PROBLEM, PRINT_UNIT, 0, 0,
               " Date problem, probably with rainfall or evaporation - are their start dates "
               "specified correctly in their files?");
  throw FatalError("date problem");  // not reached: a fatal report throws
}

[[noreturn]] void date_trap(RunIo& io, const char* text) {
  io.console.write_record(text);
  io.units.flush_all();
  throw ImmediateStop(text + 1);
}

}  // namespace

bool is_leap_year(long year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int days_in_month(long year, int month) {
  return month == 12 ? 31
                     : static_cast<int>(month_start(year, month + 1) - month_start(year, month));
}

std::string date_fault(int year, int month, int day, int hour, int minute) {
  static const char* const MONTH_NAMES[13] = {
      "",     "January", "February",  "March",   "April",    "May",     "June",
      "July", "August",  "September", "October", "November", "December"};
  if (month < 1 || month > 12) return "month " + std::to_string(month) + " outside 1 to 12";
  const int days = days_in_month(year, month);
  if (day < 1 || day > days) {
    return "day " + std::to_string(day) + " of " + MONTH_NAMES[month] + " " +
           std::to_string(year) + ", a month of " + std::to_string(days) + " days";
  }
  if (hour < 0 || hour > 23) return "hour " + std::to_string(hour) + " outside 0 to 23";
  if (minute < 0 || minute > 59) return "minute " + std::to_string(minute) + " outside 0 to 59";
  return {};
}

long days_before_year(long year) {
  // Leap days of 1952, 1956, ... up to year - 1; none before 1952.
  const long leaps = year > 1952 ? leap_years_up_to(year - 1) - leap_years_up_to(1951) : 0;
  return (year - 1950) * 365 + leaps;
}

double DATE_TO_HOURS(int year, int month, int day, int hour, int minute, RunIo& io) {
  // The month table has twelve entries: a month above 12 is as wrong as one below 1
  // and gets the same report rather than a read outside the table.
  if (month < 1 || month > 12) date_problem(io);
  const long long whole_hours =
      hour + 24LL * (days_before_year(year) + month_start(year, month) + day);
  const double hours =
      static_cast<double>(minute) / 60.0 + CALENDAR_OFFSET_HOURS + static_cast<double>(whole_hours);
  DateRecord back;
  HOURS_TO_DATE(back, hours, io);
  if (back.year != year || back.month != month || back.day != day || back.hour != hour ||
      back.minute != minute) {
    date_trap(io, " date trap");
  }
  return hours;
}

void HOURS_TO_DATE(DateRecord& date, double hours, RunIo& io) {
  // Beyond about 10^15 hours (and for NaN) a whole-hour count is meaningless; such a
  // value can only come from a broken date, so it gets the date report.
  if (!(std::fabs(hours) < 1e15)) date_problem(io);
  const long long h = static_cast<long long>(hours);  // truncated towards zero
  const long long d = h / 24;                          // day number, 1 = 1 January 1950

  long year = 1950 + static_cast<long>(d / 366);
  while (days_before_year(year + 1) < d) ++year;
  const long day_of_year = static_cast<long>(d - days_before_year(year));  // from 1

  const long i = day_of_year / 32;
  long month = i + 1;
  if (month < 12) {
    if (i <= -2) date_problem(io);
    if (month_start(year, static_cast<int>(month + 1)) < day_of_year) month += 1;
    if (month < 1) date_problem(io);
  }
  const long day = day_of_year - month_start(year, static_cast<int>(month));
  if (day == 0) date_trap(io, " date trap -DAY");

  const double f = (hours - static_cast<double>(h)) * 60.0;
  const int minute = static_cast<int>(f);
  date.year = static_cast<int>(year);
  date.month = static_cast<int>(month);
  date.day = static_cast<int>(day);
  date.hour = static_cast<int>(h % 24);
  date.minute = minute;
  date.second = static_cast<int>(60.0 * (f - minute));
}

}  // namespace quendal
