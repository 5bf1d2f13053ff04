// A copy of the example catchment in a scratch directory, changed by text replacement
// and run through the built program.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "frame/main_program.h"
#include "include/model.h"
#include "test_support.h"

namespace quendal::testing {

struct ExampleCopy {
  TempDir dir;
  std::string name;  // the example's folder under examples/ and its run name
  std::string root;

  // `folder`: where the catchment's files are, relative to the source tree; by default
  // examples/<example>.
  explicit ExampleCopy(std::string example = "example", const std::string& folder = "")
      : name(std::move(example)), root(dir.file("example")) {
    std::filesystem::copy(source_dir() + "/" + (folder.empty() ? "examples/" + name : folder), root,
                          std::filesystem::copy_options::recursive);
    // Outputs a run in the source tree may have left are not this run's, nor is the
    // link to the advice files that make run leaves there.
    for (const auto& f : std::filesystem::directory_iterator(root)) {
      const std::string file = f.path().filename().string();
      if (file.starts_with("output_") || file == "helpmessages") std::filesystem::remove_all(f.path());
    }
  }
  // Replaces the first occurrence of `from` in the example's `file`.
  void replace(const std::string& file, const std::string& from, const std::string& to) {
    std::string text = read_file(root + "/" + file);
    std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    dir.write("example/" + file, text);
  }
  // Sets the frame file's switch `heading_name` (a heading of the switch record: "SNOW",
  // "BANKS", "SED", "CON") to `on`: the 7-column field under that heading in the record
  // after it.
  void set_switch(const std::string& heading_name, bool on) {
    const std::string file = root + "/" + name + "_frame.txt";
    std::string text = read_file(file);
    const std::size_t heading = text.find("   SNOW  BANKS    SED    CON\n");
    ASSERT_NE(heading, std::string::npos);
    const std::size_t values = text.find('\n', heading) + 1;
    const std::string headings = text.substr(heading, values - heading);
    std::size_t field = std::string::npos;
    for (std::size_t f = 0; (f + 1) * 7 <= headings.size(); ++f) {
      std::string h = headings.substr(f * 7, 7);
      h.erase(0, h.find_first_not_of(' '));
      if (h == heading_name) field = f;
    }
    ASSERT_NE(field, std::string::npos) << heading_name;
    text.replace(values + field * 7, 7, on ? "      T" : "      F");
    dir.write("example/" + name + "_frame.txt", text);
  }
  // Moves the starts of the sediment and contaminant simulations of the contaminant
  // example (examples/contaminant, where both are on: sediment from the run's start,
  // contaminants from hour 24) to the given dates ("1990 1 2 0 0").
  void set_component_starts(const std::string& sediment_start,
                            const std::string& contaminant_start) {
    const std::string frame = name + "_frame.txt";
    replace(frame, "Start of sediment simulation: year, month, day, hour, minute\n1990 1 1 0 0",
            "Start of sediment simulation: year, month, day, hour, minute\n" + sediment_start);
    replace(frame, "Start of contaminant simulation: year, month, day, hour, minute\n1990 1 2 0 0",
            "Start of contaminant simulation: year, month, day, hour, minute\n" +
                contaminant_start);
  }
  CommandResult run() {
    return run_command(quendal_binary() + " -f rundata_" + name + ".txt", root);
  }
  // Runs the copy in this process, into `model` (whose state, such as the water-balance
  // errors of the elements, lives nowhere else), with the console in the copy's
  // directory. The program sets flush-to-zero for itself; the test's own arithmetic gets
  // its floating-point mode back afterwards. Returns the exit status.
  int run_in_process(Model& model) {
#if defined(__x86_64__) || defined(__i386__)
    const unsigned int csr = _mm_getcsr();
#endif
    const int status = run_program({"-f", root + "/rundata_" + name + ".txt"}, root, model);
#if defined(__x86_64__) || defined(__i386__)
    _mm_setcsr(csr);
#endif
    return status;
  }
  // Keeps a run surface-only: soils that conduct nothing, so that no water crosses the
  // ground or a channel's banks, and the well and the lateral head boundary move none.
  // The cells still give the roots their water.
  void make_soils_impermeable() {
    replace("example_vss.txt", "0.02 0.02 0.01 0.43", "0.0 0.0 0.0 0.43");
    replace("example_vss.txt", "0.1 0.1 0.05 0.41", "0.0 0.0 0.0 0.41");
    replace("example_vss.txt", "2.0 2.0 1.0 0.30", "0.0 0.0 0.0 0.30");
  }
  // Applies `change` to every line (numbered from 0) of the example's `file`.
  void rewrite(const std::string& file, const std::function<void(std::string&, std::size_t)>& change) {
    std::string text;
    std::size_t n = 0;
    for (std::string line : lines_of(output(file))) {
      change(line, n++);
      text += line + "\n";
    }
    dir.write("example/" + file, text);
  }
  // Every channel link gets a rectangular section 4 m wide and 1 m deep, in place of the
  // example's trapezoids.
  void use_rectangular_channels() {
    const std::string rectangle = "      2\n    4.0    0.0    4.0    1.0\n";
    replace("example_oc.txt",
            "      3\n    2.0    0.0    3.0    0.5    4.0    1.5\n"
            "      2\n    2.0    0.0    4.0    1.0\n",
            rectangle + rectangle);
    replace("example_oc.txt",
            "     11   102.0     0.2    30.0       3\n    2.0    0.0    3.0    0.5    4.0    1.5\n",
            "     11   102.0     0.2    30.0 " + rectangle);
  }
  // Every link starts empty: the initial depth, columns 16-23 of each link record (after
  // the heading "Links: ..."), becomes 0. A link record is the one line of five values
  // that ends in an integer (the section); its pairs and the weir's record do not.
  void start_channels_dry() {
    bool links = false;
    int changed = 0;
    rewrite("example_oc.txt", [&](std::string& line, std::size_t) {
      if (line.starts_with("Links:")) links = true;
      std::istringstream in(line);
      std::vector<std::string> values;
      for (std::string v; in >> v;) values.push_back(v);
      if (links && values.size() == 5 && values[4].find('.') == std::string::npos) {
        line.replace(15, 8, "     0.0");
        ++changed;
      }
    });
    EXPECT_EQ(changed, 14) << "one record per link";
  }
  std::string output(const std::string& file) { return read_file(root + "/" + file); }
  std::string print() { return output("output_" + name + "_print.txt"); }
};

// A copy run through the program in this process, its console in a file of the copy's
// scratch directory; the model keeps the state the run ended with.
struct InProcessRun {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> console;  // outlives the model
  Model model;
  int status = 0;
  // `prepare` changes the model before the run (a scale the data files do not set).
  explicit InProcessRun(ExampleCopy& copy, const std::function<void(Model&)>& prepare = nullptr)
      : console(std::fopen(copy.dir.file("console.txt").c_str(), "w"), &std::fclose),
        model(console.get()) {
    if (prepare) prepare(model);
    status = copy.run_in_process(model);
  }
};

}  // namespace quendal::testing
