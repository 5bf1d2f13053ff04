// Hot-start records through the whole program: a run restarted from a record continues
// as the uninterrupted run did, and a file cut while it was written restarts from its
// last complete record or stops before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "contaminant/cm_saved_state.h"
#include "example_copy.h"
#include "sediment/sy_saved_state.h"
#include "services/formatted_writer.h"
#include "services/record_reader.h"
#include "services/records.h"

namespace quendal::testing {
namespace {

// A copy of an example whose run-data file names hotstart.txt as its hot-start file.
struct HotstartRun : ExampleCopy {
  explicit HotstartRun(const std::string& example, const std::string& folder = "")
      : ExampleCopy(example, folder) {
    replace("rundata_" + name + ".txt", "(unit 28)\n0", "(unit 28)\nhotstart.txt");
  }
  void set_end(const std::string& date) { replace(name + "_frame.txt", "1990 1 11 0 0", date); }
  // The record under the heading "HSREAD HSWRIT HSTIME HSINTV".
  void set_hotstart(const std::string& values) {
    std::string text = read_file(root + "/" + name + "_frame.txt");
    const std::size_t at = text.find('\n', text.find(" HSREAD HSWRIT HSTIME HSINTV")) + 1;
    text.replace(at, text.find('\n', at) - at, values);
    dir.write("example/" + name + "_frame.txt", text);
  }
  // Dated outlet discharge by hour.
  std::map<double, double> discharge() {
    std::map<double, double> q;
    for (const std::string& line : lines_of(output("output_" + name + "_dated_discharge.txt"))) {
      // The date stamp holds "/", which ends a free-format read: take the two numbers after it.
      StringSource record({line.substr(line.find(' '))});
      double hours = 0.0, value = 0.0;
      read_list(record, hours, value);
      q[hours] = value;
    }
    return q;
  }
  std::string end_state() { return output("output_" + name + "_end_state.txt"); }
};

// The example over three days, snow on, writing a record every 24 hours into
// hotstart.txt. Its soils conduct nothing, so the state is the surface, the canopy, the
// snow and the heads.
struct HotstartExample : HotstartRun {
  HotstartExample() : HotstartRun("example") {
    make_soils_impermeable();
    set_end("1990 1 4 0 0");
    set_hotstart("      F      T    0.0   24.0");
  }
};

// The banks example (snow, banks, sediment, water moving in the soils and through the
// channel beds) over its first 15 hours, in its first storm, with a record every 5
// hours: at 1 (the first step), 5, 10 and 15 hours.
struct StormRun : HotstartRun {
  StormRun() : HotstartRun("banks") {
    set_end("1990 1 1 15 0");
    set_hotstart("      F      T    0.0    5.0");
  }
};

// The contaminant example (sediment from the run's start, contaminants from hour 24: a
// spill, its daughter and a rain tracer, through soils, banks and channel beds) over its
// first 63 hours, with a record every 27 hours: at 1 (the first step), 27 and 54 hours,
// the last in the second storm (rain from hour 50 to 59), when water, sediment and
// contaminants run over the ground and through the channels.
struct ContaminantRun : HotstartRun {
  ContaminantRun() : HotstartRun("contaminant") {
    set_end("1990 1 3 15 0");
    set_hotstart("      F      T    0.0   27.0");
  }
};

// What sediment and contaminants hold when a run ends: every value their steps carry to
// the next (as a record would hold it), the last step's sediment discharge over every
// face, the concentrations of every cell in both regions, and each element's
// accumulated water-balance error.
std::map<std::string, std::vector<double>> component_state(const Model& m) {
  std::map<std::string, std::vector<double>> state;
  for (const SavedState& saved : {SY_SAVE_STATE(m.frame, m.sediment), CM_SAVE_STATE(m)}) {
    for (const SavedItem& item : saved.items) state[item.label] = item.values;
  }
  const auto all = [&](const char* name, const double* data, long size) {
    state[name] = std::vector<double>(data, data + size);
  };
  const Array3<double>& s = m.sediment.SY_FACE_SEDIMENT_DISCHARGE;
  all("SY_FACE_SEDIMENT_DISCHARGE", s.data(), s.extent(1) * s.extent(2) * s.extent(3));
  for (const Array3<double>* c : {&m.contaminant.CM_REL_CONC_DYNAMIC, &m.contaminant.CM_REL_CONC_DEAD_SPACE}) {
    all(c == &m.contaminant.CM_REL_CONC_DYNAMIC ? "all dynamic" : "all dead space", c->data(),
        c->extent(1) * c->extent(2) * c->extent(3));
  }
  all("ELEMENT_BALANCE_ERROR", m.output.ELEMENT_BALANCE_ERROR.data(), m.output.ELEMENT_BALANCE_ERROR.size());
  return state;
}

// Every value of `actual` is the value of `expected`: an exact restart computes the same
// doubles.
void expect_same_state(const std::map<std::string, std::vector<double>>& actual,
                       const std::map<std::string, std::vector<double>>& expected,
                       const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (const auto& [name, values] : expected) {
    ASSERT_TRUE(actual.count(name)) << what << ": " << name;
    const std::vector<double>& got = actual.at(name);
    ASSERT_EQ(got.size(), values.size()) << what << ": " << name;
    const auto first = std::mismatch(values.begin(), values.end(), got.begin());
    EXPECT_TRUE(first.first == values.end())
        << what << ": " << name << " value " << (first.first - values.begin()) << " is "
        << *first.second << " where the uninterrupted run has " << *first.first;
  }
}

// Hours of the records in the file.
std::vector<double> record_times(const std::string& text) {
  std::vector<double> times;
  for (const std::string& line : lines_of(text)) {
    if (line.starts_with("time=")) times.push_back(std::stod(line.substr(5)));
  }
  return times;
}

// The restart refused before its first step with fatal 1090 whose message holds
// `expected`, and its hot-start file `text` left as it was.
void expect_refused(HotstartRun& restarted, const std::string& text, const std::string& expected) {
  restarted.dir.write("example/hotstart.txt", text);
  const CommandResult r = restarted.run();
  EXPECT_EQ(r.status, 1) << r.output;
  const std::string print = restarted.print();
  EXPECT_NE(print.find("FATAL ERROR 1090"), std::string::npos) << print;
  EXPECT_NE(print.find(expected), std::string::npos) << print;
  EXPECT_EQ(print.find("HOTSTART OF SIMULATION"), std::string::npos);
  EXPECT_EQ(restarted.output("hotstart.txt"), text);
}

// The dated discharge and the end state of the restarted run equal the uninterrupted
// run's from the restart on: the files print 8 decimals, and the same state gives the
// same digits.
void expect_same_run_from(HotstartRun& restarted, HotstartRun& whole, double from,
                          double step = 1.0) {
  const std::map<double, double> a = whole.discharge(), b = restarted.discharge();
  ASSERT_FALSE(b.empty());
  EXPECT_NEAR(b.begin()->first, from + step, 1e-6);  // hours printed to 8 decimals
  EXPECT_EQ(b.rbegin()->first, a.rbegin()->first);
  for (const auto& [hours, q] : b) {
    ASSERT_TRUE(a.count(hours)) << hours;
    EXPECT_EQ(q, a.at(hours)) << hours << " h";
  }
  EXPECT_EQ(restarted.end_state(), whole.end_state());
}

// The hot-start file `file` as versions wrote it before records carried a check: no
// mark after the first line's values, no check line at the end of each record.
std::string unchecked(const std::string& file) {
  std::string earlier;
  for (std::string line : lines_of(file)) {
    if (line.starts_with("CHECK=")) continue;
    if (line.starts_with("time=")) line = line.substr(0, line.rfind(" CHECK=FNV1A64"));
    earlier += line + "\n";
  }
  return earlier;
}

// The hot-start file `file` in the layout of an earlier version: every record without
// its check and without its items from the one labelled `first` up to the heads, which
// the records then carry directly after what precedes that item.
std::string without_items(const std::string& file, const std::string& first) {
  std::string earlier;
  bool left_out = false;
  for (const std::string& line : lines_of(unchecked(file))) {
    if (line.starts_with(first)) left_out = true;
    if (line.starts_with("vspsi=")) left_out = false;
    if (!left_out) earlier += line + "\n";
  }
  return earlier;
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

  // The same record in the layout of earlier versions, whose heads follow the meltwater
  // slugs directly, is still read. With soils that conduct nothing and no banks, what
  // such a record lacks (the element order, the booked moisture contents and
  // conductivities, the links' net rain) moves no water, so the restart is exact too.
  const std::string earlier = without_items(file, "ISORT=");
  ASSERT_LT(earlier.size(), file.size());
  HotstartExample from_earlier;
  from_earlier.dir.write("example/hotstart.txt", earlier);
  from_earlier.set_hotstart("      T      F   48.0   24.0");
  ASSERT_EQ(from_earlier.run().status, 0) << from_earlier.print();
  expect_same_run_from(from_earlier, whole, 48.0);
}

// In the storm (rain from hour 6 to 14, 2.45 mm/h at its height at 10 h), with water
// moving through the soils and the channel beds, the restart from the 10 h record
// continues the run to the last printed digit: the record holds
// everything a step carries over to the next. The restart from the record at the end
// of the run takes no step and leaves the same end state.
TEST(Hotstart, RestartInAStormContinuesTheRunExactly) {
  StormRun whole;
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  const std::string file = whole.output("hotstart.txt");
  ASSERT_EQ(record_times(file), (std::vector<double>{1.0, 5.0, 10.0, 15.0}));

  StormRun restarted;
  restarted.dir.write("example/hotstart.txt", file);
  restarted.set_hotstart("      T      F   10.0    5.0");
  ASSERT_EQ(restarted.run().status, 0) << restarted.print();
  expect_same_run_from(restarted, whole, 10.0);

  // A record without the item the subsurface extrapolates its first heads from (the
  // layout before it was kept) is still read; the restart's first step then starts its
  // columns from the saved heads, so that each column's heads end within the column
  // iteration's 1e-4 m of the saved run's rather than on them. The outlet discharge
  // then follows the saved run to within a thousandth of the storm's peak, the
  // agreement that tolerance holds the examples' discharge to.
  const std::string earlier = without_items(file, "PSI_START=");
  ASSERT_LT(earlier.size(), file.size());
  ASSERT_NE(earlier.find("ISORT="), std::string::npos);
  StormRun from_earlier;
  from_earlier.dir.write("example/hotstart.txt", earlier);
  from_earlier.set_hotstart("      T      F   10.0    5.0");
  ASSERT_EQ(from_earlier.run().status, 0) << from_earlier.print();
  const std::map<double, double> a = whole.discharge(), b = from_earlier.discharge();
  double peak = 0.0;
  for (const auto& [hours, q] : a) peak = std::max(peak, std::fabs(q));
  ASSERT_GT(peak, 0.0);
  ASSERT_EQ(b.size(), 5u);
  for (const auto& [hours, q] : b) {
    ASSERT_TRUE(a.count(hours)) << hours;
    EXPECT_NEAR(q, a.at(hours), 1e-3 * peak) << hours << " h";
  }

  StormRun ended;
  ended.dir.write("example/hotstart.txt", file);
  ended.set_hotstart("      T      F   15.0    5.0");
  ASSERT_EQ(ended.run().status, 0) << ended.print();
  EXPECT_TRUE(ended.discharge().empty());
  EXPECT_EQ(ended.end_state(), whole.end_state());
}

// The upland example's weir follows a level-discharge table whose operating column is
// chosen once a day (at 03:00) and kept in between: on the second day the pool stood
// high enough to draw the board. A restart between two choices goes on with the column
// chosen last, so the half-hourly discharge of the restart from the 48.5 h record is the
// uninterrupted run's to the last digit (with the first column it flickers off by up to
// 8e-3 of the peak).
TEST(Hotstart, RestartKeepsTheWeirTablesOperatingColumn) {
  HotstartRun whole("upland");
  whole.set_hotstart("      F      T    0.0   24.0");
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  const std::string file = whole.output("hotstart.txt");
  // The half-hour steps' clock carries round-off: the records' times within 1e-9 h.
  const std::vector<double> times = record_times(file);
  ASSERT_EQ(times.size(), 3u);
  EXPECT_NEAR(times[0], 0.5, 1e-9);
  EXPECT_NEAR(times[1], 24.0, 1e-9);
  EXPECT_NEAR(times[2], 48.5, 1e-9);
  EXPECT_NE(file.find("ZQ_COLUMN= 3\n"), std::string::npos) << "the board drawn by 48.5 h";

  HotstartRun restarted("upland");
  restarted.dir.write("example/hotstart.txt", file);
  restarted.set_hotstart("      T      F   48.5   24.0");
  ASSERT_EQ(restarted.run().status, 0) << restarted.print();
  expect_same_run_from(restarted, whole, times[2], 0.5);
}

// Every record of the file is checked, also those after the one restored (the 5 h
// record here): times that do not increase, a level no surface water reaches and a head
// that is not a number each stop the run before its first step with 1090 naming the
// record and the item, and the file is left as it was. (Records without a check, as
// earlier versions wrote them: a changed value in a checked record fails its check
// first.)
TEST(Hotstart, ImpossibleRecordsAreRefusedNamingRecordAndItem) {
  StormRun whole;
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  const std::string file = unchecked(whole.output("hotstart.txt"));
  // `text` with the first value after the first `label` of record `n` (from 1) replaced.
  const auto with_value = [](std::string text, int n, const std::string& label,
                             const std::string& value) {
    std::size_t at = 0;
    for (int k = 1; k < n; ++k) at = text.find("time=", at + 1);
    at = text.find(label, at) + label.size() + 1;
    text.replace(at, text.find(' ', at) - at, value);
    return text;
  };
  struct Case {
    std::string text, expected;
  };
  const Case cases[] = {
      {with_value(with_value(file, 2, "time=", "10"), 3, "time=", "5"),
       "record 3 (time 5.00000 h), item \"time=\": the time is not after the previous "
       "record's, 10.0000 h"},
      {with_value(file, 3, "HRF=", "1e39"),
       "record 3 (time 10.0000 h), item \"HRF=\": surface water depth (m) 1.000000E+39 is "
       "above 1000.00"},
      {with_value(file, 4, "vspsi=", "NaN"), "record 4 (time 15.0000 h), item \"vspsi=\""},
      {with_value(file, 2, "PSI_START=", "-3600"),
       "record 2 (time 5.00000 h), item \"PSI_START=\": step length (s) -3600.00 is below 0."},
  };
  for (const Case& c : cases) {
    StormRun restarted;
    restarted.set_hotstart("      T      T    5.0    5.0");
    expect_refused(restarted, c.text, "hotstart.txt, " + c.expected);
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
  const CommandResult r = restarted.run();
  ASSERT_EQ(r.status, 0) << restarted.print();
  EXPECT_NE(restarted.print().find(" WARNING: END OF HOTSTART FILE REACHED"), std::string::npos);
  EXPECT_NE(r.output.find(" WARNING: END OF HOTSTART FILE REACHED"), std::string::npos) << r.output;
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
    restarted.set_hotstart("      T      T    0.0   24.0");
    expect_refused(restarted, c.text, "hotstart.txt, record 1, item \"");
  }
  HotstartExample renamed;
  std::string wrong = unchecked(file);
  wrong.replace(wrong.find("HRF="), 4, "HRX=");
  renamed.set_hotstart("      T      F    0.0   24.0");
  expect_refused(renamed, wrong, "record 1 (time 1.00000 h), item \"HRF=\": found \"HRX=\"");
}

// A record is read only whole and unchanged: it carries a check of its text. In the
// contaminant example's file (records at 1, 27 and 54 h), a record whose text was
// changed (a digit of a concentration, the count of contaminants) or that lost its
// check line is refused with 1090 naming the file, the record and the failed check,
// whether it comes before the record restored or after it; the count of contaminants is
// named too, against the data file, as it is in a record written without a check.
// The file's last record is different: a run that stopped while writing it may leave it
// cut anywhere, with a new line after the cut or not, so when it fails its check it is
// passed over with the warning, on the console too and whatever the restart time, and
// the run goes on exactly from the record before.
TEST(Hotstart, RecordsAreReadOnlyWholeAndUnchanged) {
  ContaminantRun whole;
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  const std::string file = whole.output("hotstart.txt");
  ASSERT_EQ(record_times(file), (std::vector<double>{1.0, 27.0, 54.0}));
  const std::size_t second = file.find("time= 27 "), third = file.find("time= 54 ");
  ASSERT_NE(file.find("CM_STATE= 3 3", second), std::string::npos);
  // `text` with the first digit from 1 to 8 after `label` in the record at `record`
  // raised by one.
  const auto digit_raised = [](std::string text, std::size_t record, const std::string& label) {
    const std::size_t at = text.find_first_of("12345678", text.find(label, record));
    text[at] = static_cast<char>(text[at] + 1);
    return text;
  };
  const auto replaced = [](std::string text, std::size_t from, const std::string& what,
                           const std::string& by) {
    return text.replace(text.find(what, from), what.size(), by);
  };
  const std::size_t second_check = file.find("\nCHECK=", second) + 1;
  const std::string second_unchecked = file.substr(0, second_check) +
                                       file.substr(file.find('\n', second_check) + 1);
  struct Refusal {
    std::string text, hstime, expected, also;
  };
  const std::string record_2 = "hotstart.txt, record 2 (time 27.0000 h), item ";
  const Refusal refusals[] = {
      {digit_raised(file, second, "CM_REL_CONC_DYNAMIC="), "   54.0",
       record_2 + "\"CHECK=\": the record's text sums to ", ""},
      {second_unchecked, "    1.0",
       record_2 + "\"CHECK=\": the record's first line says it carries a check and it has "
                  "none (the next record follows",
       ""},
      {replaced(file, second, "CM_STATE= 3 3", "CM_STATE= 2 3"), "   54.0",
       record_2 + "\"CHECK=\": the record's text sums to ",
       "; reading it met, at item \"CM_STATE=\": the contaminant state has 2 contaminants "
       "where this run's contaminant data file gives 3"},
      {replaced(unchecked(file), unchecked(file).find("time= 27 "), "CM_STATE= 3 3", "CM_STATE= 2 3"),
       "   54.0",
       record_2 + "\"CM_STATE=\": the contaminant state has 2 contaminants where this run's "
                  "contaminant data file gives 3",
       ""},
  };
  for (const Refusal& c : refusals) {
    ContaminantRun restarted;
    restarted.set_hotstart("      T      F" + c.hstime + "   27.0");
    expect_refused(restarted, c.text, c.expected);
    EXPECT_NE(restarted.print().find(c.also), std::string::npos) << restarted.print();
  }

  // The last record cut inside its last value (the last head before its check line) and
  // ended with a new line: the restart from 54 h goes on from 27 h, as the uninterrupted
  // run did.
  const std::size_t last_check = file.rfind("\nCHECK="), last_value = file.rfind(' ', last_check) + 1;
  ASSERT_GE(last_check - last_value, 2u);
  const std::string cut_in_value = file.substr(0, (last_value + last_check) / 2) + "\n";
  ContaminantRun restarted;
  restarted.dir.write("example/hotstart.txt", cut_in_value);
  restarted.set_hotstart("      T      F   54.0   27.0");
  const CommandResult r = restarted.run();
  ASSERT_EQ(r.status, 0) << restarted.print();
  const std::string passed_over = " The last record of hotstart.txt, record 3";
  const std::string as_cut = ", is passed over as cut short while it was written: ";
  for (const std::string& out : {r.output, restarted.print()}) {
    EXPECT_NE(out.find(" WARNING: END OF HOTSTART FILE REACHED\n" + passed_over +
                       " (time 54.0000 h)" + as_cut +
                       "the record's first line says it carries a check and it has none"),
              std::string::npos)
        << out;
  }
  EXPECT_NE(r.output.find(" ^^^ HOTSTART OF SIMULATION AT TIME      27.00 ^^^"), std::string::npos);
  expect_same_run_from(restarted, whole, 27.0);

  // Cut inside its check, changed (it may have been written over), cut in the middle
  // with no new line after it, cut inside the mark of its first line: passed over the
  // same, also by a restart from an earlier record. These runs end where they restart.
  struct PassOver {
    std::string text, hstime, end, restored, reason;
  };
  const std::string at_54 = " (time 54.0000 h)" + as_cut;
  const PassOver pass_overs[] = {
      {file.substr(0, file.size() - 4) + "\n", "   54.0", "1990 1 2 3 0", "27.00",
       at_54 + "its check line \""},
      {digit_raised(file, third, "CM_REL_CONC_DEAD_SPACE="), "   54.0", "1990 1 2 3 0", "27.00",
       at_54 + "the record's text sums to "},
      {file.substr(0, third + (file.size() - third) / 2), "    1.0", "1990 1 1 1 0", " 1.00",
       at_54 + "the record's first line says it carries a check and it has none"},
      {file.substr(0, file.find(" CHECK=FNV1A64", third) + 4) + "\n", "   54.0",
       "1990 1 2 3 0", "27.00", as_cut + "the file ends after its first line"},
  };
  for (const PassOver& c : pass_overs) {
    ContaminantRun cut;
    cut.replace("contaminant_frame.txt", "1990 1 3 15 0", c.end);
    cut.dir.write("example/hotstart.txt", c.text);
    cut.set_hotstart("      T      F" + c.hstime + "   27.0");
    const CommandResult rc = cut.run();
    ASSERT_EQ(rc.status, 0) << cut.print();
    EXPECT_NE(rc.output.find(" ^^^ HOTSTART OF SIMULATION AT TIME      " + c.restored + " ^^^"),
              std::string::npos)
        << rc.output;
    EXPECT_NE(rc.output.find(passed_over + c.reason), std::string::npos) << rc.output;
  }
}

// The sediment and the contaminants continue as the water does. The restart from the
// 54 h record (both running, in the storm) and the one from the 1 h record (sediment set
// up, the contaminants due only at 24 h, when the restarted run initialises them from
// the water and sediment it has reached) end the run with every value the two
// components carry, the sediment discharge of the last step, every concentration and
// every element's balance error equal to the uninterrupted run's, as well as its
// discharge and end state.
TEST(Hotstart, SedimentAndContaminantsContinueExactly) {
  ContaminantRun whole;
  InProcessRun w(whole);
  ASSERT_EQ(w.status, 0) << whole.print();
  const std::string file = whole.output("hotstart.txt");
  ASSERT_EQ(record_times(file), (std::vector<double>{1.0, 27.0, 54.0}));
  const auto expected = component_state(w.model);
  ASSERT_FALSE(expected.at("CM_REL_CONC_DYNAMIC=").empty());
  ASSERT_FALSE(expected.at("SY_HELD_SEDIMENT=").empty());

  for (const double from : {54.0, 27.0, 1.0}) {
    ContaminantRun restarted;
    restarted.dir.write("example/hotstart.txt", file);
    restarted.set_hotstart(format_line("('      T      F',F7.1,'   27.0')", from));
    InProcessRun r(restarted);
    ASSERT_EQ(r.status, 0) << restarted.print();
    EXPECT_EQ(restarted.print().find("WARNING 1097"), std::string::npos);
    expect_same_run_from(restarted, whole, from);
    expect_same_state(component_state(r.model), expected, "restart from " + std::to_string(from) + " h");
  }
}

// A record without the state of components that were due by its time: a file written
// by the program before records carried that state (tests/end_to_end/fixtures/
// water_only_hotstart: a copy of the contaminant example with 1 m cells, run to 72 h,
// and the record it wrote at 48 h), and the example's own 54 h record without its
// contaminant items. The water continues exactly; warning 1097 names what starts afresh
// at the restart time. Without the contaminant items the sediment still continues
// exactly.
TEST(Hotstart, RecordWithoutComponentStateStartsThemAfreshWithAWarning) {
  const std::string fixture = "tests/end_to_end/fixtures/water_only_hotstart";
  HotstartRun earlier_whole("contaminant", fixture);
  ASSERT_EQ(earlier_whole.run().status, 0) << earlier_whole.print();
  HotstartRun earlier("contaminant", fixture);
  earlier.set_hotstart("      T      F   48.0   24.0");
  ASSERT_EQ(earlier.run().status, 0) << earlier.print();
  expect_same_run_from(earlier, earlier_whole, 48.0);
  EXPECT_NE(earlier.print().find("WARNING 1097"), std::string::npos);
  EXPECT_NE(earlier.print().find(
                "record at time 48.00 h holds no state of sediment and contaminants, which were "
                "due by then: they start afresh at the restart time"),
            std::string::npos)
      << earlier.print();

  ContaminantRun whole;
  InProcessRun w(whole);
  ASSERT_EQ(w.status, 0) << whole.print();
  ContaminantRun restarted;
  restarted.dir.write("example/hotstart.txt", without_items(whole.output("hotstart.txt"), "CM_STATE="));
  restarted.set_hotstart("      T      F   54.0   27.0");
  InProcessRun r(restarted);
  ASSERT_EQ(r.status, 0) << restarted.print();
  expect_same_run_from(restarted, whole, 54.0);
  EXPECT_EQ(count_of(restarted.print(), "WARNING 1097"), 1);
  EXPECT_NE(restarted.print().find("holds no state of contaminants, which were due by then"),
            std::string::npos);
  const auto expected = component_state(w.model);
  auto actual = component_state(r.model);
  std::map<std::string, std::vector<double>> sediment_expected, sediment_actual;
  for (const SavedItem& item : SY_SAVE_STATE(w.model.frame, w.model.sediment).items) {
    sediment_expected[item.label] = expected.at(item.label);
    sediment_actual[item.label] = actual.at(item.label);
  }
  expect_same_state(sediment_actual, sediment_expected, "sediment without the contaminant items");

  // A record of a run without the sediment component, restarted with it: the sediment
  // starts afresh, and so do the contaminants, whose saved state rode on no sediment.
  ContaminantRun without_sediment;
  without_sediment.set_switch("SED", false);
  ASSERT_EQ(without_sediment.run().status, 0) << without_sediment.print();
  ContaminantRun with_sediment;
  with_sediment.dir.write("example/hotstart.txt", without_sediment.output("hotstart.txt"));
  with_sediment.set_hotstart("      T      F   54.0   27.0");
  ASSERT_EQ(with_sediment.run().status, 0) << with_sediment.print();
  EXPECT_NE(with_sediment.print().find("holds no state of sediment and contaminants"),
            std::string::npos)
      << with_sediment.print();
}

// A record whose sediment or contaminant state does not fit the run: a record without a
// check whose count of size groups was changed (its items then do not fit it), or a
// record saved with more contaminants than this run's data file gives. Fatal 1090
// naming the record and the count that disagrees with the data file, before the first
// step.
TEST(Hotstart, ComponentStateThatDoesNotFitIsRefused) {
  ContaminantRun whole;
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  const std::string file = whole.output("hotstart.txt");
  std::string groups = unchecked(file);
  const std::size_t at = groups.find("SY_STATE= ", groups.find("time= 54"));
  groups.replace(groups.find(' ', at + 10) + 1, 1, "2");  // NSED 3 -> 2
  ContaminantRun two_groups;
  two_groups.set_hotstart("      T      F   54.0   27.0");
  expect_refused(two_groups, groups,
                 "record 3 (time 54.0000 h), item \"SY_STATE=\": the sediment state has 2 size "
                 "groups where this run's sediment data file gives 3");

  ContaminantRun two_contaminants;
  two_contaminants.replace("contaminant_cmd.txt", "(1 spill, 2 its daughter, 3 rain tracer)\n3",
                           "(1 spill, 2 its daughter, 3 rain tracer)\n2");
  two_contaminants.set_hotstart("      T      F   54.0   27.0");
  expect_refused(two_contaminants, file,
                 "record 3 (time 54.0000 h), item \"CM_STATE=\": the contaminant state has 3 "
                 "contaminants where this run's contaminant data file gives 2");
}

// The upland example's clock carries round-off: its record for 36.5 h is written at
// 36.499999999999986 h. HSTIME 36.50 restarts from that record (a record less than
// 1e-6 h below the time asked for is the record for it), not from the next one 12 hours
// later; the run goes on from the record's time as written, the console says where, and
// the half-hourly discharge is the uninterrupted run's to the last digit.
TEST(Hotstart, RecordJustBelowTheTimeAskedForIsTheOneRestored) {
  HotstartRun whole("upland");
  whole.set_hotstart("      F      T    0.0   12.0");
  ASSERT_EQ(whole.run().status, 0) << whole.print();
  const std::string file = whole.output("hotstart.txt");
  const std::vector<double> times = record_times(file);
  const auto near = std::find_if(times.begin(), times.end(),
                                 [](double h) { return std::fabs(h - 36.5) < 1e-6; });
  ASSERT_NE(near, times.end());
  EXPECT_LT(*near, 36.5) << "the case of a record time just below the one asked for";

  HotstartRun restarted("upland");
  restarted.dir.write("example/hotstart.txt", file);
  restarted.set_hotstart("      T      F  36.50   12.0");
  const CommandResult r = restarted.run();
  ASSERT_EQ(r.status, 0) << restarted.print();
  EXPECT_NE(r.output.find(" ^^^ HOTSTART OF SIMULATION AT TIME      36.50 ^^^"), std::string::npos)
      << r.output;
  expect_same_run_from(restarted, whole, *near, 0.5);
}

}  // namespace
}  // namespace quendal::testing
