// Hot-start records through the whole program: a run restarted from a record continues
// as the uninterrupted run did, and a file cut while it was written restarts from its
// last complete record or stops before anything is written.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "example_copy.h"
#include "services/record_reader.h"
#include "services/records.h"

namespace quendal::testing {
namespace {

// The example over three days, snow on, writing a record every 24 hours into
// hotstart.txt. Its soils conduct nothing, so the state is the surface, the canopy, the
// snow and the heads, all of which a record carries.
struct HotstartExample : ExampleCopy {
  explicit HotstartExample(bool impermeable = true) {
    if (impermeable) make_soils_impermeable();
    replace("example_frame.txt", "1990 1 11 0 0", "1990 1 4 0 0");
    replace("rundata_example.txt", "(unit 28)\n0", "(unit 28)\nhotstart.txt");
    set_hotstart("      F      T    0.0   24.0");
  }
  void set_hotstart(const std::string& values) {
    std::string text = read_file(root + "/example_frame.txt");
    const std::size_t at = text.find('\n', text.find(" HSREAD HSWRIT HSTIME HSINTV")) + 1;
    text.replace(at, text.find('\n', at) - at, values);
    dir.write("example/example_frame.txt", text);
  }
  // Dated outlet discharge by hour.
  std::map<double, double> discharge() {
    std::map<double, double> q;
    for (const std::string& line : lines_of(output("output_example_dated_discharge.txt"))) {
      // The date stamp holds "/", which ends a free-format read: take the two numbers after it.
      StringSource record({line.substr(line.find(' '))});
      double hours = 0.0, value = 0.0;
      read_list(record, hours, value);
      q[hours] = value;
    }
    return q;
  }
};

// Hours of the records in the file.
std::vector<double> record_times(const std::string& text) {
  std::vector<double> times;
  for (const std::string& line : lines_of(text)) {
    if (line.starts_with("time=")) times.push_back(std::stod(line.substr(5)));
  }
  return times;
}

// The dated discharge and the end state of the restarted run equal the uninterrupted
// run's from the restart on: the files print 8 decimals, and the same state gives the
// same digits.
void expect_same_run_from(HotstartExample& restarted, HotstartExample& whole, double from) {
  const std::map<double, double> a = whole.discharge(), b = restarted.discharge();
  ASSERT_FALSE(b.empty());
  EXPECT_EQ(b.begin()->first, from + 1.0);
  for (const auto& [hours, q] : b) {
    ASSERT_TRUE(a.count(hours)) << hours;
    EXPECT_EQ(q, a.at(hours)) << hours << " h";
  }
  EXPECT_EQ(restarted.output("output_example_end_state.txt"),
            whole.output("output_example_end_state.txt"));
}

TEST(Hotstart, RestartFromTheFortyEightHourRecordContinuesTheRun) {
  HotstartExample whole;
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  const std::string file = whole.output("hotstart.txt");
  // The first record after the first step (the mark starts at 0), then every 24 h.
  EXPECT_EQ(record_times(file), (std::vector<double>{1.0, 24.0, 48.0, 72.0}));

  HotstartExample restarted;
  restarted.dir.write("example/hotstart.txt", file);
  restarted.set_hotstart("      T      T   30.0   24.0");  // the first record at or after 30 h
  ASSERT_EQ(restarted.run().status, 0) << restarted.print();
  EXPECT_NE(restarted.print().find(" ^^^ HOTSTART OF SIMULATION AT TIME      48.00 ^^^"),
            std::string::npos);
  expect_same_run_from(restarted, whole, 48.0);
  // Records up to the restart kept, the later ones this run's: 49 h (the mark is the
  // restart time) and 72 h.
  EXPECT_EQ(record_times(restarted.output("hotstart.txt")),
            (std::vector<double>{1.0, 24.0, 48.0, 49.0, 72.0}));
  EXPECT_NE(restarted.print().find("are replaced by this run's"), std::string::npos);
}

// With water moving through the soils the restart continues the run to within 1e-6 of
// each discharge (measured: 4.5e-7 relative at worst). The moisture content the
// subsurface books from its flows is not in the record; the restart takes it from the
// restored heads, which differ from the booked value by what the column solve leaves of
// each cell's balance, and that small difference is all that remains.
TEST(Hotstart, RestartWithWaterInTheSoilsFollowsTheRunClosely) {
  HotstartExample whole(false);
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  HotstartExample restarted(false);
  restarted.dir.write("example/hotstart.txt", whole.output("hotstart.txt"));
  restarted.set_hotstart("      T      F   48.0   24.0");
  ASSERT_EQ(restarted.run().status, 0) << restarted.print();
  const std::map<double, double> a = whole.discharge(), b = restarted.discharge();
  ASSERT_EQ(b.begin()->first, 49.0);
  ASSERT_EQ(b.rbegin()->first, a.rbegin()->first);
  for (const auto& [hours, q] : b) {
    EXPECT_NEAR(q, a.at(hours), 1e-6 * std::abs(a.at(hours)) + 1e-12) << hours << " h";
  }
}

// A file cut in the middle of its last record: the 48 h record restores, with the
// warning, and the run matches the uninterrupted one from there.
TEST(Hotstart, FileCutInItsLastRecordRestartsFromTheRecordBefore) {
  HotstartExample whole;
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  std::string file = whole.output("hotstart.txt");
  const std::size_t last = file.rfind("time=");
  const std::size_t cut = last + (file.size() - last) / 2;

  HotstartExample restarted;
  restarted.dir.write("example/hotstart.txt", file.substr(0, cut));
  restarted.set_hotstart("      T      F  100.0   24.0");
  ASSERT_EQ(restarted.run().status, 0) << restarted.print();
  EXPECT_NE(restarted.print().find(" WARNING: END OF HOTSTART FILE REACHED"), std::string::npos);
  EXPECT_NE(restarted.print().find("HOTSTART OF SIMULATION AT TIME      48.00"), std::string::npos);
  expect_same_run_from(restarted, whole, 48.0);
}

// Cut inside its first record (here inside a number of the last line), or a label that
// does not belong: fatal 1090 naming the file and the item, and the file left as it was.
TEST(Hotstart, FileWithoutACompleteRecordOrWithAWrongLabelIsFatal) {
  HotstartExample whole;
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  const std::string file = whole.output("hotstart.txt");
  const std::size_t second = file.find("time=", 1);
  struct Case {
    std::string text;
  };
  for (const Case& c : {Case{file.substr(0, second / 2)}, Case{file.substr(0, second - 3)},
                        Case{""}}) {
    HotstartExample restarted;
    restarted.dir.write("example/hotstart.txt", c.text);
    restarted.set_hotstart("      T      T    0.0   24.0");
    const CommandResult r = restarted.run();
    EXPECT_EQ(r.status, 1) << r.output;
    const std::string print = restarted.print();
    EXPECT_NE(print.find("FATAL ERROR 1090"), std::string::npos) << print;
    EXPECT_NE(print.find("hotstart.txt, item \""), std::string::npos);
    EXPECT_EQ(restarted.output("hotstart.txt"), c.text);
  }
  HotstartExample renamed;
  std::string wrong = file;
  wrong.replace(wrong.find("HRF="), 4, "HRX=");
  renamed.dir.write("example/hotstart.txt", wrong);
  renamed.set_hotstart("      T      F    0.0   24.0");
  EXPECT_EQ(renamed.run().status, 1);
  EXPECT_NE(renamed.print().find("item \"HRF=\": found \"HRX=\""), std::string::npos)
      << renamed.print();
}

}  // namespace
}  // namespace quendal::testing
