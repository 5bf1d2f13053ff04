// Mistakes a new user makes in the example's files, each tried on a copy through the
// built program: every one ends with the stated exit status and a message that carries
// its number (when it has one) and names the file; and the undamaged example is left as
// it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "example_copy.h"
#include "services/units.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::ExampleCopy;

// The example fed by separate files: hourly rain depths and daily potential evaporation
// over a two-day run (the met file is then not read), the site's potential evaporation
// taken from the evaporation file.
void use_separate_met_files(ExampleCopy& ex, const std::string& rain, const std::string& evap) {
  ex.replace("example_frame.txt", "1990 1 11 0 0", "1990 1 3 0 0");
  ex.replace("example_et.txt", "      F      T      F", "      F      T      T");
  ex.replace("example_et.txt", "per met site\n      0\n", "per met site\n      1\n");
  ex.replace("rundata_example.txt", "(unit 20)\n0", "(unit 20)\nexample_prd.txt");
  ex.replace("rundata_example.txt", "(unit 21)\n0", "(unit 21)\nexample_epd.txt");
  ex.dir.write("example/example_prd.txt", "Rain depths (mm per hour)\n" + rain);
  ex.dir.write("example/example_epd.txt", "Potential evaporation (mm per day)\n" + evap);
}

std::string hours_of_rain(int hours, const std::string& hour_10) {
  std::string text;
  for (int h = 1; h <= hours; ++h) text += (h == 10 ? hour_10 : std::string("0.5")) + "\n";
  return text;
}

// The first `records` hourly records of the example's met file (two lines each).
std::string first_met_records(const std::string& met, int records) {
  std::size_t at = met.find('\n');  // after the title
  for (int i = 0; i < 2 * records; ++i) at = met.find('\n', at + 1);
  return met.substr(0, at + 1);
}

struct DamageCase {
  const char* what;
  std::function<void(ExampleCopy&)> damage;
  int status;
  int number;           // the message's number; 0 for a message without one
  bool on_console;      // where `message` is looked for: console, else print file
  std::string message;  // a piece of the message that names the file
};

TEST(InputChecks, DamagedCopiesOfTheExample) {
  const std::vector<DamageCase> cases = {
      {"negative rainfall in the met file",
       [](ExampleCopy& ex) {
         ex.replace("example_met.txt", "      2.4500      21.380", "     -2.4500      21.380");
       },
       3, 0, true,
       "Input error: rainfall rate of rain station 1 = -2.45 mm/h is outside the physical range "
       "of rainfall rate: 0 to 2000 mm/h in file example_met.txt, record 20, columns 13-24: "
       "\"-2.4500\""},
      {"negative rainfall in the precipitation file",
       [](ExampleCopy& ex) { use_separate_met_files(ex, hours_of_rain(48, "-2.45"), "1.2\n1.2\n"); },
       3, 0, true,
       "Input error: rainfall rate (depth / PRD_INTERVAL) of rain station 1 = -2.45 mm/h is "
       "outside the physical range of rainfall rate: 0 to 2000 mm/h in file example_prd.txt, "
       "record 11, columns 1-5: \"-2.45\""},
      {"negative potential evaporation (dew) in the evaporation file",
       [](ExampleCopy& ex) { use_separate_met_files(ex, hours_of_rain(48, "0.5"), "-0.3\n-0.1\n"); },
       0, 4999, false, "read as 0: file example_epd.txt, record      2;"},
      {"letter in the catchment mask",
       [](ExampleCopy& ex) {
         ex.replace("example_frame.txt", "      8 011111111110", "      8 0111l1111110");
       },
       3, 0, true,
       "of a digit grid row in file example_frame.txt, record 34, columns 13-13: \"l\""},
      {"ground level left out at the end of a row",
       [](ExampleCopy& ex) {
         ex.replace("example_frame.txt", "  114.5\n  112.5    0.0\n      8", "  114.5\n\n      8");
       },
       3, 0, true,
       "ends before the field of column 11 (a cell of the catchment) under the title \"Ground "
       "elevation (m)\" in file example_frame.txt, record 69, columns 1-7"},
      {"met file ending after the first day",
       [](ExampleCopy& ex) {
         ex.dir.write("example/example_met.txt",
                      first_met_records(ex.output("example_met.txt"), 24));
       },
       0, 0, true, "Finish of met data: file example_met.txt ended at time =     24.00 hours"},
      {"empty met file",
       [](ExampleCopy& ex) { ex.dir.write("example/example_met.txt", ""); },
       1, 1065, false, "no data in med file\n        file example_met.txt is empty"},
      {"unreadable link record of the OC data file",
       [](ExampleCopy& ex) {
         ex.replace("example_oc.txt", "      7   110.0    0.02    30.0      -1",
                    "      7   110.0    0.02    3O.0      -1");
       },
       1, 1019, false,
       "Channel input data is missing or has incorrect format" + std::string(49, ' ') +
           "\n        Cannot read a real number in file example_oc.txt, record 67, columns 28-31: "
           "\"3O.0\""},
      {"empty run-data file",
       [](ExampleCopy& ex) { ex.dir.write("example/rundata_example.txt", ""); },
       2, 0, true,
       "ERROR OPENING RUNDATA FILE example\n the run-data file rundata_example.txt is empty"},
      {"data file named but not there",
       [](ExampleCopy& ex) {
         ex.replace("rundata_example.txt", "example_et.txt", "exmaple_et.txt");
       },
       2, 0, true,
       "ERROR OPENING FILE exmaple_et.txt\n ET data file (unit 13): No such file or directory"},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.what);
    ExampleCopy ex;
    c.damage(ex);
    auto r = ex.run();
    EXPECT_EQ(r.status, c.status) << r.output;
    const std::string print = ex.print();
    const std::string& where = c.on_console ? r.output : print;
    EXPECT_NE(where.find(c.message), std::string::npos) << where;
    if (c.number != 0) {
      EXPECT_NE(print.find(" " + std::to_string(c.number) + " at time ="), std::string::npos)
          << print;
    }
    if (c.status == 3) {
      // The same words stand on the print file, for whoever reads only that.
      EXPECT_NE(print.find(c.message), std::string::npos) << print;
    }
  }
}

// A second run in the same directory must not empty the outputs of a run still going.
// Here the test itself holds the print file, as a running run would.
TEST(InputChecks, SecondRunOnAPrintFileInUseStopsBeforeTouchingAnyOutput) {
  ExampleCopy ex;
  const std::vector<std::string> outputs = {"output_example_print.txt",
                                            "output_example_status.txt",
                                            "output_example_log.txt",
                                            "output_example_discharge.txt"};
  for (const auto& f : outputs) ex.dir.write("example/" + f, "written by the first run\n");
  const std::string print = ex.root + "/output_example_print.txt";
  auto holder = std::make_unique<OutputLocks>();
  ASSERT_EQ(holder->take(print), OutputLocks::Outcome::Taken);
  auto r = ex.run();
  holder.reset();
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("OUTPUT FILE output_example_print.txt IS IN USE BY ANOTHER RUN"),
            std::string::npos)
      << r.output;
  for (const auto& f : outputs) EXPECT_EQ(ex.output(f), "written by the first run\n") << f;

  // Free again, the run goes through and lets go of the file at its end.
  r = ex.run();
  EXPECT_EQ(r.status, 0) << r.output;
  OutputLocks after;
  EXPECT_EQ(after.take(print), OutputLocks::Outcome::Taken);
}

// The checks must not change a valid run. When they were added, the example's outputs
// were compared byte for byte with those of the build before them and found identical;
// the numbers themselves belong to the solvers and change with them, so they are not
// pinned here. What is held here: two runs of the undamaged example write the same
// bytes into every output file, end normally, and say nothing of the new messages.
TEST(InputChecks, UndamagedExampleIsReadAsBefore) {
  ExampleCopy first, second;
  auto r1 = first.run();
  auto r2 = second.run();
  ASSERT_EQ(r1.status, 0) << r1.output;
  ASSERT_EQ(r2.status, 0) << r2.output;
  EXPECT_EQ(r1.output, r2.output);
  int files = 0;
  for (const auto& f : std::filesystem::directory_iterator(first.root)) {
    const std::string name = f.path().filename().string();
    if (!name.starts_with("output_")) continue;
    ++files;
    // The visualisation file names the directory the run started in: its copy's own.
    auto text = [&](ExampleCopy& copy) {
      std::string t = copy.output(name);
      for (std::size_t at; (at = t.find(copy.root)) != std::string::npos;) {
        t.replace(at, copy.root.size(), "<example>");
      }
      return t;
    };
    EXPECT_TRUE(text(first) == text(second)) << name;
  }
  // Log, status, print, sediment print, two discharge files, totals, end state and the
  // visualisation file.
  EXPECT_EQ(files, 9);
  for (const char* text : {"Input error", "Finish of", "WARNING 4999", "ERROR OPENING"}) {
    EXPECT_EQ(r1.output.find(text), std::string::npos) << text;
    EXPECT_EQ(first.print().find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace quendal
