// The visualisation calls of whole runs of the example, in this process, with a
// recording layer in place of the run's: every step asks the plan, what is due is
// recorded, and the output is closed exactly once however the run ends.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "example_copy.h"
#include "output/visualisation/recording_library.h"

namespace quendal {
namespace {

using testing::count_of;
using testing::ExampleCopy;
using testing::grid_item;
using testing::list_item;
using testing::RecordingLibrary;

struct VisualisationRun {
  ExampleCopy example;
  std::FILE* console = std::fopen(example.dir.file("console.txt").c_str(), "w");
  Model model{console};
  RecordingLibrary* layer = nullptr;

  explicit VisualisationRun(const std::string& example_name = "example") : example(example_name) {
    auto recording = std::make_unique<RecordingLibrary>();
    layer = recording.get();
    // Every step: the surface water depth of link 1, and the face flows of every grid
    // square of the 12 x 10 grid with those of the banks and links beside it.
    layer->plan = {list_item("srf_dep", "MS", {1}), grid_item("ovr_flow", "GS", 1, 12, 1, 10)};
    layer->plan[1].ext = 4;
    layer->plan[1].extra_dimensions = "faces";
    model.output.visualisation.VIS_LIBRARY = std::move(recording);
  }
  ~VisualisationRun() { std::fclose(console); }
  int run() { return example.run_in_process(model); }
  std::string all_calls() const {
    std::string text;
    for (const std::string& c : layer->calls) text += c + "\n";
    return text;
  }
};

TEST(VisualisationRun, EveryStepRecordsWhatIsDueAndTheEndClosesOnce) {
  VisualisationRun r;
  ASSERT_EQ(r.run(), 0) << r.example.print();
  const long steps = r.model.frame.STEP_COUNT;
  const std::string calls = r.all_calls();
  // Item 1 is saved at the first call, at the second (time 0), after every step and at
  // the end; so is item 2 except at the first call.
  EXPECT_EQ(count_of(calls, "SAVE_TO_DISK 1 "), steps + 3);
  EXPECT_EQ(count_of(calls, "SAVE_TO_DISK 2 "), steps + 2);
  EXPECT_EQ(count_of(calls, "SAVE_TO_DISK 1 0.00\n"), 2);
  char last[40];
  std::snprintf(last, sizeof last, "SAVE_TO_DISK 2 %.2f\n", r.model.frame.UZNOW);
  EXPECT_EQ(count_of(calls, last), 2);  // the last step and the end, at the clock's time
  EXPECT_EQ(r.layer->tidy_ups, 1);
  EXPECT_EQ(r.layer->calls.back(), "TIDY_UP");
  EXPECT_EQ(count_of(r.example.print(), "WARNING 1075"), 0);
  // The last record of each item is its (steps + 2)-th.
  EXPECT_EQ(r.layer->saved.back().latest, steps + 2);
}

// Contaminants due after a day while sediment is not yet due: fatal error 1041.
TEST(VisualisationRun, FatalErrorMidRunClosesTheOutputOnce) {
  VisualisationRun r("contaminant");  // the same 12 x 10 grid
  r.example.set_component_starts("1990 1 3 0 0", "1990 1 2 0 0");
  ASSERT_EQ(r.run(), 1);
  EXPECT_NE(r.example.output("output_contaminant_cm_print.txt").find("FATAL ERROR 1041"),
            std::string::npos);
  EXPECT_GT(count_of(r.all_calls(), "SAVE_TO_DISK 2 "), 1);
  EXPECT_EQ(r.layer->tidy_ups, 1);
  EXPECT_EQ(r.layer->calls.back(), "TIDY_UP");
}

}  // namespace
}  // namespace quendal
