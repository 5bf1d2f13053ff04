#include "frame/main_program.h"

#include <gtest/gtest.h>

#include "model_fixture.h"
#include "services/error_reporting.h"
#include "services/record_reader.h"
#include "services/stops.h"

namespace quendal {
namespace {

using testing::read_file;

struct MainProgramTest : testing::ModelWithFiles {};

TEST_F(MainProgramTest, FatalReportEndsWithStatusOneAndKeepsWhatWasWritten) {
  int status = run_guarded(model, [&] {
    model.io.units.print().write_record("written before the failure");
    model.frame.UZNOW = 12.25;
    REPORT_ERROR(model.io, SEVERITY_FATAL, 1, PRINT_UNIT, 0, 0, "something fatal");
    return 0;
  });
  EXPECT_EQ(status, EXIT_FATAL_ERROR);
  std::string print = read_file(print_path);
  EXPECT_EQ(print, "written before the failure\n\n\n\n\n"
                   " !!!FATAL ERROR 0001 at time =       12.25 hours\n"
                   "        something fatal\n");
  std::string console = read_file(console_path);
  EXPECT_NE(console.find(" ### Error asummary and Advice ###"), std::string::npos);
  EXPECT_NE(console.find("Program terminating due to fatal error"), std::string::npos);
}

TEST_F(MainProgramTest, UnreadableValueEndsWithStatusThreeNamingWhere) {
  std::string data = dir.write("frame.txt", "title\n  12x.5\n");
  ASSERT_TRUE(model.io.units.open(10, data, UnitDirection::Input));
  int status = run_guarded(model, [&] {
    std::string title;
    model.io.units.input(10).read_record(title);
    double x = 0;
    read_formatted(model.io.units.input(10), "(F7.2)", x);
    return 0;
  });
  EXPECT_EQ(status, EXIT_INPUT_ERROR);
  std::string print = read_file(print_path);
  EXPECT_NE(print.find(data), std::string::npos) << print;
  EXPECT_NE(print.find("record 2"), std::string::npos) << print;
  EXPECT_NE(print.find("12x.5"), std::string::npos) << print;
}

TEST_F(MainProgramTest, ImmediateStopIsStatusTwo) {
  EXPECT_EQ(run_guarded(model, []() -> int { throw ImmediateStop("ABNORMAL END"); }),
            EXIT_IMMEDIATE_STOP);
  EXPECT_EQ(run_guarded(model, [] { return 0; }), EXIT_NORMAL);
}

}  // namespace
}  // namespace quendal
