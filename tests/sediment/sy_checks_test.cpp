// The set-up checks of the sediment component: rooms and units, the water components'
// static arrays, the data just read. Each bad value draws its own report, then one fatal
// summary.
#include <gtest/gtest.h>

#include <functional>

#include "sediment/sediment_fixture.h"
#include "sediment/sy_input_checks.h"
#include "sediment/sy_interface_checks.h"

namespace quendal {
namespace {

using testing::SYD_ONE_LINK;
using Numbers = std::vector<std::string>;

struct SyChecksTest : testing::SedimentMesh {
  // Runs `check`; it must stop with a fatal report exactly when `expected` is not empty.
  void expect_reports(const std::function<void()>& check, const Numbers& expected) {
    if (expected.empty()) {
      EXPECT_NO_THROW(check());
    } else {
      EXPECT_THROW(check(), FatalError);
    }
    EXPECT_EQ(report_numbers(), expected);
  }
  void empty_print() { io.units.open(PRINT_UNIT, print_path, UnitDirection::Output); }
};

TEST_F(SyChecksTest, DataFileValues) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> changes;
    Numbers expected;
  } cases[] = {
      {"sound", {}, {}},
      // Every failure is reported before the run stops; the columns' sediment is their
      // top soil (option -1), so its composition fails too.
      {"soil sum 1.01 and covers over 1",
       {{"0.2 0.3 0.5\n", "0.2 0.3 0.51\n"}, {":SY41c\n0.3", ":SY41c\n0.5"}, {":SY42c\n0.1", ":SY42c\n0.6"}},
       {"2024", "2031", "2034", "2000"}},
      // 5e-11 off is within the relative 1e-10 a sum may miss 1 by.
      {"soil sum 1 + 5e-11", {{"0.2 0.3 0.5\n", "0.2 0.3 0.50000000005\n"}}, {}},
      {"negative ground cover", {{":SY41c\n0.3", ":SY41c\n-0.1"}}, {"2031", "2000"}},
      {"negative rock cover", {{":SY42c\n0.1", ":SY42c\n-0.1"}}, {"2030", "2000"}},
      {"bed porosity 1", {{":SY32 bed porosity\n0.4", ":SY32 bed porosity\n1.0"}}, {"2029", "2000"}},
      {"loose porosity 0.999", {{":SY43c\n0.4", ":SY43c\n0.999"}}, {}},
      {"diameters decrease", {{"0.001 0.002 0.003", "0.001 0.003 0.002"}}, {"2019", "2000"}},
      {"no sub-steps", {{"3 1 0 0 2 2 0 1", "3 1 0 0 0 2 0 1"}}, {"2012", "2000"}},
      {"two fine groups", {{"3 1 0 0 2 2 0 1", "3 1 0 0 2 2 0 2"}}, {"2015", "2000"}},
      // One steady flux category: a type-1 boundary of category 2 has none to take.
      {"boundary category beyond its type's",
       {{":SY61 boundaries\n0 0 0 0 0\n", ":SY61\n1 1 0 0 0\n:SY62\n4 1 2\n:SY63\n0 0 0\n"}},
       {"2040", "2000"}},
  };
  build(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    empty_print();
    std::string text = SYD_ONE_LINK;
    for (const auto& [from, to] : c.changes) text = changed(from, to, text);
    syd(text);
    SYREAD(frame, 2, sediment, io);
    empty_print();
    expect_reports([&] { SY_CHECK_INPUT(frame, 2, sediment, SY_FLUX_SERIES_UNIT, SY_RATING_SERIES_UNIT, io); },
                   c.expected);
  }
}

TEST_F(SyChecksTest, ReportsNameWhatFailedAndEndInOneFatalSummary) {
  build(true);
  syd(changed(":SY42c\n0.1", ":SY42c\n0.6", changed(":SY41c\n0.3", ":SY41c\n0.5", changed("0.2 0.3 0.5\n", "0.2 0.3 0.51\n"))));
  SYREAD(frame, 2, sediment, io);
  empty_print();
  EXPECT_THROW(SY_CHECK_INPUT(frame, 2, sediment, SY_FLUX_SERIES_UNIT, SY_RATING_SERIES_UNIT, io),
               FatalError);
  const std::string print = print_text();
  EXPECT_NE(print.find("        Checking  SOSDFN[*][sum_over_sed](soil): expected .EQ.   1.000000     "
                       "but found   1.010000     at position    1"),
            std::string::npos)
      << print;
  // Every column element (banks and squares, 2..7) has 0.5 against 1 - 0.6.
  EXPECT_NE(print.find("        Checking  FCG(iel): expected .LE.  0.4000000     but found  0.5000000     "
                       "at position    2"),
            std::string::npos);
  EXPECT_NE(print.find("        ... and similarly at   5 other positions in the same vector"),
            std::string::npos);
  EXPECT_NE(print.find(" !!!FATAL ERROR 2000 at time =        0.00 hours\n"
                       "        Error(s) detected while checking SY input data"),
            std::string::npos);
}

TEST_F(SyChecksTest, RoomsAndCounts) {
  struct Case {
    const char* name;
    std::function<void(FrameState&)> change;
    Numbers expected;
  } cases[] = {
      {"sound", [](FrameState&) {}, {}},
      {"401 grid columns", [](FrameState& f) { f.NX = 401; }, {"2059", "2000"}},
      {"only links", [](FrameState& f) { f.NLF = f.NEL; }, {"2061", "2000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    empty_print();
    build(true);
    c.change(frame);
    expect_reports([&] { SY_CHECK_DIMENSIONS(frame, 2, SY_PRINT_UNIT, SY_DATA_UNIT, io); }, c.expected);
  }
}

TEST_F(SyChecksTest, WaterComponentsStaticArrays) {
  struct Case {
    const char* name;
    std::function<void(SyChecksTest&)> change;
    Numbers expected;
  } cases[] = {
      {"sound", [](SyChecksTest&) {}, {}},
      // Cell (3, 1) lies outside; listing square 4 there as well counts one column
      // element too many and square 4 twice. The banks are then not looked at.
      {"square listed twice", [](SyChecksTest& t) { t.frame.ICMXY(3, 1) = t.frame.ICMXY(1, 1); },
       {"2075", "2076", "2001"}},
      {"banks beside nothing",
       [](SyChecksTest& t) {
         for (int e : {2, 6}) t.frame.ICMREF(e, e == 2 ? 2 : 4, 2) = 0;
         for (int e : {3, 4}) t.frame.ICMREF(e, e == 3 ? 4 : 2, 2) = 0;
       },
       {"2079", "2001"}},
      // Square 5's west neighbour 4 is seen from both sides: face 3 of 5 names 4's face 2,
      // which leads elsewhere, and face 1 of 4 leads to a face of 5 that is not face 1.
      {"neighbour does not point back", [](SyChecksTest& t) { t.frame.ICMREF(5, 3, 3) = 2; },
       {"2078", "2078", "2001"}},
      {"water below the ground", [](SyChecksTest& t) { t.frame.HRF_SY_COPY(5) = 99.0; }, {"2069", "2001"}},
      {"top soil not a soil type", [](SyChecksTest& t) { t.subsurface.NTSOIL(7, 1) = 3; }, {"2071", "2001"}},
      {"porosity over 1", [](SyChecksTest& t) { t.subsurface.THSAT(2) = 1.1; }, {"2063", "2001"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    empty_print();
    build(true, true, 3, {{3, 1}});
    c.change(*this);
    expect_reports([&] { SY_CHECK_WAT_STATIC(frame, surface, subsurface, io); }, c.expected);
  }
}

}  // namespace
}  // namespace quendal
