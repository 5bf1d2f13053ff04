// A run killed with SIGKILL keeps what it wrote. The contaminant example is killed at a
// few moments of its run (during the set-up, in the first step, after contaminants have
// started at 24 h, inside the OC results window of 48-72 h, late in the run), and what
// it leaves is held to what a completed step promises: every print file ends with a
// whole line; the sediment print file holds the block of the first step and the
// contaminant print file the block of the step that reached 24 h; the print file holds
// the OC results block of every step of the window that the dated discharge holds; and
// the status file never counts a step whose dated discharge line is missing.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "example_copy.h"

extern char** environ;

namespace quendal::testing {
namespace {

// The hours (second field) of the dated discharge's lines; a line not yet ended would
// be a fault of its own, and is left to the line-end check.
std::vector<double> dated_hours(const std::string& text) {
  std::vector<double> hours;
  std::size_t from = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos;
       from = end + 1, end = text.find('\n', from)) {
    double h = 0.0;
    if (std::sscanf(text.c_str() + from, "%*s %lf", &h) == 1) hours.push_back(h);
  }
  return hours;
}

std::string results_heading(double hours) {
  char text[80];
  std::snprintf(text, sizeof text, "---- OC MODULE  RESULTS AFTER%10.2f HOURS ----", hours);
  return text;
}

struct KilledRun {
  ExampleCopy copy{"contaminant"};
  std::string file(const char* suffix) {
    return copy.output("output_contaminant_" + std::string(suffix));
  }

  // Starts the run, waits until `ready()` (polled every millisecond) and kills it.
  // False when the run ended before it could be killed.
  template <class Ready>
  bool kill_when(Ready ready) {
    std::string binary = quendal_binary();
    std::string rundata = copy.root + "/rundata_contaminant.txt";
    std::string option = "-f";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_addchdir_np(&actions, copy.root.c_str());
    char* argv[] = {binary.data(), option.data(), rundata.data(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << binary;
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    int status = 0;
    while (!ready()) {
      if (waitpid(pid, &status, WNOHANG) == pid) return false;
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the moment to kill never came";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

  // Waits until the dated discharge holds a step ending at or after `hours`.
  bool kill_after(double hours) {
    return kill_when([&] {
      const std::vector<double> h = dated_hours(file("dated_discharge.txt"));
      return !h.empty() && h.back() >= hours - 1e-6;
    });
  }

  void expect_kept() {
    const std::string print = file("print.txt");
    const std::string sediment = file("sediment_print.txt");
    const std::string contaminant = file("cm_print.txt");
    const std::string dated = file("dated_discharge.txt");
    const std::string status = file("status.txt");
    for (const std::string* text : {&print, &sediment, &contaminant, &dated}) {
      const std::size_t tail = std::min<std::size_t>(text->size(), 80);
      EXPECT_TRUE(text->empty() || text->back() == '\n')
          << "ends inside a line: ..." << text->substr(text->size() - tail);
    }
    const std::vector<double> hours = dated_hours(dated);

    // The status file counts only steps whose dated discharge line is there, and its time
    // is that of the line of its last step.
    long steps = 0;
    double time = 0.0;
    if (std::sscanf(status.c_str(), "Current time = %lf hours. Number of steps = %ld", &time,
                    &steps) == 2) {
      ASSERT_LE(steps, static_cast<long>(hours.size())) << status;
      if (steps > 0) {
        EXPECT_NEAR(hours[steps - 1], time, 0.005) << status;
      }
    } else {
      // Before the first step; or a kill between the cut of the file and the write of
      // the new line, which leaves it empty.
      EXPECT_TRUE(status.empty() || status == "Reading data sets ...\n") << status;
    }

    if (hours.empty()) return;
    // The echo of the inputs, whole; the sediment data read in the first step.
    EXPECT_NE(print.find("---- OC MODULE  END OF INPUT DATA PROCESSING ----"), std::string::npos);
    EXPECT_NE(print.find(" End of VSS data"), std::string::npos);
    EXPECT_NE(sediment.find(" SYD data file closed: unit 17;"), std::string::npos) << sediment;
    if (hours.back() >= 24.0 - 1e-6) {
      EXPECT_NE(contaminant.find(" CMD data file closed: unit 18;"), std::string::npos)
          << contaminant;
    }
    // Every step inside the OC data file's print window (48-72 h) printed its block.
    for (double h : hours) {
      if (h < 48.001 || h > 71.999) continue;
      const std::string heading = results_heading(h);
      const std::size_t at = print.find(heading);
      ASSERT_NE(at, std::string::npos) << heading;
      const std::size_t end = print.find("---- OC MODULE  RESULTS END ----", at);
      EXPECT_NE(end, std::string::npos) << heading;
      EXPECT_LT(end, print.find("RESULTS AFTER", at + heading.size())) << heading;
    }
  }
};

TEST(KilledRun, KeepsEveryWholeLineAndEveryCompletedStep) {
  struct Moment {
    const char* name;
    double hours;  // killed once the dated discharge reaches this; below 0: during set-up
  };
  for (const Moment& m : {Moment{"during the set-up", -1.0}, Moment{"in the first steps", 0.0},
                          Moment{"after contaminants started", 24.0},
                          Moment{"inside the OC results window", 50.0},
                          Moment{"late in the run", 143.5}}) {
    SCOPED_TRACE(m.name);
    KilledRun run;
    const bool killed = m.hours < 0.0
                            ? run.kill_when([&] { return !run.file("print.txt").empty(); })
                            : run.kill_after(m.hours);
    EXPECT_TRUE(killed) << "the run ended before it was killed";
    run.expect_kept();
  }
}

}  // namespace
}  // namespace quendal::testing
