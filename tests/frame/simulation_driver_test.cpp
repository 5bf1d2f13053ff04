// The driver's marks: the hot-start record cadence over a whole run, and the console
// progress line.
#include "frame/simulation_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "example_copy.h"
#include "frame/main_program.h"
#include "frame/run_files.h"
#include "model_fixture.h"

namespace quendal {
namespace {

using testing::ExampleCopy;
using testing::lines_of;

// A 48-hour cold run of 1-hour steps writing hot-start records. The first record is
// due at the end of the first step (the mark starts at 0); after each record the mark
// moves on by the interval once, whatever the step. Every 0.5 h: the mark falls
// behind, a record every step, 48 x 0.5 = 24 h at the end. Every 2 h: records after
// steps 1, 2, 4, ..., 48, the mark at 50 h.
TEST(SimulationDriver, HotStartMarkMovesOnceAfterEachRecord) {
  struct Case {
    const char* interval;  // a 7-column field
    double next_mark;
  };
  for (const Case& c : {Case{"    0.5", 24.0}, Case{"    2.0", 50.0}}) {
    SCOPED_TRACE(c.interval);
    ExampleCopy ex;
    ex.replace("example_frame.txt", "minute\n1990 1 11 0 0\n", "minute\n1990 1 3 0 0\n");
    ex.replace("example_frame.txt", "      F      F      0      0",
               std::string("      F      T    0.0") + c.interval);
    std::FILE* console = std::tmpfile();
    Model model{console};
    // The driver on its own (the program would also switch the process's
    // floating-point modes, which outlive the test).
    const int status = run_guarded(model, [&] {
      READ_COMMAND_LINE({"-f", ex.root + "/rundata_example.txt"}, ex.root, model.io);
      OPEN_RUN_FILES(model.io);
      SIMULATION_DRIVER(model);
      return 0;
    });
    ASSERT_EQ(status, 0);
    std::fclose(console);
    EXPECT_EQ(model.frame.STEP_COUNT, 48);
    EXPECT_EQ(model.frame.NEXT_HOTSTART_TIME, c.next_mark);
  }
}

struct ProgressLineTest : testing::ModelWithFiles {
  void SetUp() override {
    ModelWithFiles::SetUp();
    model.frame.RUN_START_TIME = 24.0000028;
    model.frame.RUN_END_TIME = 144.0000028;  // a run of 120 hours
    model.io.console.connect_carriage_control();
  }
};

// A clock far ahead of the mark (as after a hot start at 99.5 h) writes one line per
// step, never more, until the mark has passed it: marks 0, 24, 48, 72, 96 are passed
// by the steps ending at 100.5 .. 104.5 h, and the mark then stands at 120.
TEST_F(ProgressLineTest, OneLinePerStepUntilTheMarkCatchesUp) {
  for (double now = 100.5; now < 110.0; now += 1.0) {
    model.frame.UZNOW = now;
    write_progress_line(model);
  }
  EXPECT_EQ(model.frame.PROGRESS_HOUR_MARK, 120);
  const auto lines = lines_of(console_text());
  ASSERT_EQ(lines.size(), 5u) << console_text();
  // 100.5 / 120 = 83.75 %.
  EXPECT_EQ(lines[0], "Simulation Timestep =      100.50 hours   % Completed =  83.75");
  EXPECT_EQ(lines[4], "Simulation Timestep =      104.50 hours   % Completed =  87.08");
}

// A last step that overshoots the end shows 100 %, not 108.33.
TEST_F(ProgressLineTest, PercentageNeverAboveAHundred) {
  model.frame.UZNOW = 130.0;
  write_progress_line(model);
  EXPECT_EQ(lines_of(console_text()),
            std::vector<std::string>{"Simulation Timestep =      130.00 hours   % Completed = 100.00"});
}

}  // namespace
}  // namespace quendal
