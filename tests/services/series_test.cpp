#include "services/series.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_fixture.h"
#include "services/calendar.h"
#include "services/predicates.h"
#include "services/stops.h"

namespace quendal {
namespace {

// Record times are differences of calendar hours near 4.4e5 h (year 2000), each rounded
// to about 6e-11 h, so times and means agree with the hand values to well within 1e-8.
constexpr double TOL = 1e-8;

// Records at 0, 1 and 2 h with values 1, 3 and 5 in the first column (ten times that in
// the second), written the ways free format allows: blanks, commas, values on the next line.
const char* const SERIES =
    "2000 1 1 0 0 1.0 10\n"
    "2000,1,1,1,0, 3.0, 30\n"
    "2000 1 1 2 0\n"
    "  5.0 50\n";

struct SeriesTest : testing::ModelWithFiles {
  double base = 0.0;  // calendar hours of the run start

  // The state a caller keeps per series.
  double TLAST = 0.0, TNEXT = 0.0;
  std::vector<double> series = std::vector<double>(2, 0.0);
  std::vector<double> next = std::vector<double>(2, 0.0);
  std::vector<double> step = std::vector<double>(2, -1.0);

  void SetUp() override {
    ModelWithFiles::SetUp();
    base = DATE_TO_HOURS(2000, 1, 1, 0, 0, model.io);
  }

  double mean(StringSource& source, double t0, double dt) {
    READ_SERIES_STEP_MEAN(model.io, source, base, t0, dt, TLAST, TNEXT, series, 2, step);
    return step[0];
  }
  double midpoint(StringSource& source, double t0, double dt) {
    READ_SERIES_STEP_MIDPOINT(model.io, source, base, t0, dt, TLAST, TNEXT, series, next, 2, step);
    return step[0];
  }
};

// ---- Mean over the step --------------------------------------------------------------

TEST_F(SeriesTest, MeanOfConsecutiveSteps) {
  StringSource source = StringSource::from_text(SERIES);
  // The record at 0 h covers nothing of the run; the one at 1 h covers (0, 1].
  EXPECT_NEAR(mean(source, 0.0, 0.5), 3.0, TOL);
  // (0.5, 1.5]: half an hour of 3 and half an hour of 5.
  EXPECT_NEAR(mean(source, 0.5, 1.0), (3 * 0.5 + 5 * 0.5) / 1.0, TOL);
  EXPECT_NEAR(step[1], 40.0, 10 * TOL);
  EXPECT_NEAR(TLAST, 1.0, TOL);
  EXPECT_NEAR(TNEXT, 2.0, TOL);
  // A step that ends before the next record's date returns that record's values.
  EXPECT_NEAR(mean(source, 1.5, 0.25), 5.0, TOL);
  EXPECT_NEAR(TNEXT, 2.0, TOL);
}

// The step means times the step lengths add up to the integral of the series: 3 over
// (0, 1] and 5 over (1, 1.8].
TEST_F(SeriesTest, MeansConserveTheIntegral) {
  StringSource source = StringSource::from_text(SERIES);
  double integral = 0.0;
  for (int k = 0; k < 6; ++k) integral += mean(source, 0.3 * k, 0.3) * 0.3;
  EXPECT_NEAR(integral, 3.0 * 1.0 + 5.0 * 0.8, 10 * TOL);
}

struct MeanCase {
  const char* name;
  int start_hour;  // of the run, on 1 January 2000
  double t0, dt, expected;
};

class FirstMeanStep : public SeriesTest, public ::testing::WithParamInterface<MeanCase> {};

// The first call of a fresh series state, as in a cold start, after a hot start (t0 > 0),
// or with a series that begins before the run: only the parts of the record intervals
// inside the step count.
TEST_P(FirstMeanStep, CountsOnlyTheStep) {
  const MeanCase& c = GetParam();
  base = DATE_TO_HOURS(2000, 1, 1, c.start_hour, 0, model.io);
  StringSource source = StringSource::from_text(SERIES);
  EXPECT_NEAR(mean(source, c.t0, c.dt), c.expected, TOL);
  EXPECT_GE(TNEXT, c.t0 + c.dt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirstMeanStep,
    ::testing::Values(
        MeanCase{"ColdStart", 0, 0.0, 2.0, (3 * 1.0 + 5 * 1.0) / 2.0},
        // Restart at 0.5 h: the record at 1 h covers (0, 1], of which only (0.5, 1] is
        // in the step; adding the whole interval would give (3 + 2.5) / 1 = 5.5.
        MeanCase{"RestartSpanningRecord", 0, 0.5, 1.0, (3 * 0.5 + 5 * 0.5) / 1.0},
        // Restart at 1.25 h: the step lies inside (1, 2], the interval of the value 5;
        // the records at 0 and 1 h were left behind (adding them would give 13.5).
        MeanCase{"RestartPastRecords", 0, 1.25, 0.5, 5.0},
        // The run starts at 01:00: the records at -1 and 0 h lie before it, and the
        // step (0, 1] is covered by the record at +1 h alone.
        MeanCase{"SeriesStartsBeforeRun", 1, 0.0, 1.0, 5.0}),
    [](const ::testing::TestParamInfo<MeanCase>& info) { return info.param.name; });

// ---- Value at the step's middle --------------------------------------------------------

TEST_F(SeriesTest, MidpointInterpolatesBetweenBracketingRecords) {
  // Records at 0 h (1) and 2 h (5): the middle of (0.5, 1.5] is 1 h, half-way: 3.
  StringSource two = StringSource::from_text("2000 1 1 0 0 1 10\n2000 1 1 2 0 5 50\n");
  EXPECT_NEAR(midpoint(two, 0.5, 1.0), 3.0, TOL);
  EXPECT_NEAR(step[1], 30.0, 10 * TOL);
  EXPECT_GE(TNEXT, 1.5);

  // Consecutive steps over the three-record series: middles at 0.5 h and 1.5 h.
  TLAST = TNEXT = 0.0;
  series.assign(2, 0.0);
  next.assign(2, 0.0);
  StringSource three = StringSource::from_text(SERIES);
  EXPECT_NEAR(midpoint(three, 0.0, 1.0), 2.0, TOL);
  EXPECT_NEAR(midpoint(three, 1.0, 1.0), 4.0, TOL);
  EXPECT_NEAR(TNEXT, 2.0, TOL);
}

// ---- End of file and bad dates -------------------------------------------------------

TEST_F(SeriesTest, EndOfFileSetsTheNoDataTime) {
  StringSource source = StringSource::from_text(SERIES);
  mean(source, 0.0, 1.5);
  EXPECT_FALSE(IS_NO_DATA(TNEXT));
  mean(source, 1.5, 1.0);  // needs a record after 2 h
  EXPECT_EQ(TNEXT, SERIES_END_TIME);
  EXPECT_TRUE(IS_NO_DATA(TNEXT));

  TLAST = TNEXT = 0.0;
  StringSource again = StringSource::from_text(SERIES);
  midpoint(again, 2.0, 1.0);
  EXPECT_TRUE(IS_NO_DATA(TNEXT));

  // A file that ends inside a record ends the series too.
  TLAST = TNEXT = 0.0;
  StringSource cut = StringSource::from_text("2000 1 1 3 0\n");
  mean(cut, 0.0, 1.0);
  EXPECT_TRUE(IS_NO_DATA(TNEXT));
}

TEST_F(SeriesTest, MonthOutsideTheYearIsError4820) {
  for (const char* record : {"2000 0 1 1 0 3 30\n", "2000 13 1 1 0 3 30\n"}) {
    model.io.units.open(PRINT_UNIT, print_path, UnitDirection::Output);
    TLAST = TNEXT = 0.0;
    StringSource source = StringSource::from_text(record);
    EXPECT_THROW(mean(source, 0.0, 1.0), FatalError) << record;
    model.io.units.flush_all();
    const std::string print = testing::read_file(print_path);
    EXPECT_NE(print.find(" !!!FATAL ERROR 4820"), std::string::npos) << record;
    // The calendar's text names no file; the line after it names the series'.
    EXPECT_NE(print.find("?\n        in the series file (text), record 1, columns 1-"),
              std::string::npos)
        << print;
  }
  TLAST = TNEXT = 0.0;
  StringSource source = StringSource::from_text("2000 13 1 1 0 3 30\n");
  EXPECT_THROW(midpoint(source, 0.0, 1.0), FatalError);
}

// A record must come after the one before it in the file: each reader weighs a record's
// values by the time since the record before, or divides by it.
TEST_F(SeriesTest, RecordsNotAfterTheOneBeforeAreRefusedWithTheirPlace) {
  const struct {
    const char* text;
    long record;
    const char* date;
  } cases[] = {
      {"2000 1 1 2 0 1 10\n2000 1 1 1 0 3 30\n", 2, "2000 1 1 1 0"},    // back in time
      {"2000 1 1 1 0 1 10\n2000 1 1 3 0 3 30\n2000 1 1 3 0 5 50\n", 3, "2000 1 1 3 0"},
      // Two records at the run start: the first reads as the state before any record.
      {"2000 1 1 0 0 1 10\n2000 1 1 0 0 3 30\n", 2, "2000 1 1 0 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    for (bool use_mean : {true, false}) {
      TLAST = TNEXT = 0.0;
      StringSource source = StringSource::from_text(c.text, "wld.txt");
      try {
        use_mean ? mean(source, 0.0, 5.0) : midpoint(source, 0.0, 5.0);
        ADD_FAILURE() << "accepted";
      } catch (const InputError& e) {
        EXPECT_EQ(e.file, "wld.txt");
        EXPECT_EQ(e.record, c.record);
        EXPECT_EQ(e.first_column, 1);
        EXPECT_EQ(e.text, c.date);
      }
    }
  }
}

TEST_F(SeriesTest, AValueCheckSeesEveryValueWithItsColumnAndPlace) {
  StringSource source = StringSource::from_text(SERIES, "lhb.txt");
  std::vector<std::string> seen;
  READ_SERIES_STEP_MEAN(model.io, source, base, 0.0, 1.5, TLAST, TNEXT, series, 2, step,
                        [&](int column, double value, const FieldPlace& place) {
                          seen.push_back(std::to_string(column) + ":" + place.text + "@" +
                                         std::to_string(place.record));
                          EXPECT_EQ(std::stod(place.text), value);
                        });
  // Records 1 to 3 are read (the third, at 2 h, ends the step); the third's values lie
  // on the record after its date.
  EXPECT_EQ(seen, (std::vector<std::string>{"1:1.0@1", "2:10@1", "1:3.0@2", "2:30@2", "1:5.0@4",
                                            "2:50@4"}));
}

TEST_F(SeriesTest, UnreadableValueNamesFileAndRecord) {
  StringSource source = StringSource::from_text("2000 1 1 1 0 3 x30\n", "lfb.txt");
  try {
    mean(source, 0.0, 1.0);
    FAIL() << "no InputError";
  } catch (const InputError& e) {
    EXPECT_EQ(e.file, "lfb.txt");
    EXPECT_EQ(e.record, 1);
  }
}

// The callers name the series by its unit number.
TEST_F(SeriesTest, ReadsThroughItsUnit) {
  ASSERT_TRUE(model.io.units.open(37, dir.write("flux.txt", SERIES), UnitDirection::Input));
  READ_SERIES_STEP_MEAN(model.io, 37, base, 0.5, 1.0, TLAST, TNEXT, series, 2, step);
  EXPECT_NEAR(step[0], 4.0, TOL);
}

}  // namespace
}  // namespace quendal
