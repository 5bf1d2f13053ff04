// Shared by the tests of the titled-block and contaminant section readers: a model whose
// print file and console land in a scratch directory, a data file on unit 11, and a
// small catchment with one link and its two banks.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "model_fixture.h"
#include "services/record_reader.h"
#include "services/records.h"
#include "services/stops.h"
#include "services/titled_block.h"

namespace quendal {

constexpr int DATA_UNIT = 11;

struct SectionFixture : testing::ModelWithFiles {
  RunIo& io = model.io;
  TitledBlockState state;
  std::string data_path;

  void TearDown() override {
    io.units.close_all();
    ModelWithFiles::TearDown();
  }

  void data(const std::string& text) {
    data_path = dir.write("data.txt", text);
    ASSERT_TRUE(io.units.open(DATA_UNIT, data_path, UnitDirection::Input));
  }

  // The print file as lines, trailing blanks removed.
  std::vector<std::string> print_lines() {
    io.units.flush_all();
    std::vector<std::string> lines;
    std::istringstream in(testing::read_file(print_path));
    for (std::string line; std::getline(in, line);) lines.push_back(trim_right(line));
    return lines;
  }
  // The print file with trailing blanks removed from every line.
  std::string print_text() {
    std::string s;
    for (const auto& l : print_lines()) s += l + "\n";
    return s;
  }

  // Runs `action`, which must end the run with a fatal report; returns the lines of
  // the print file from the report's heading on (the heading first).
  std::vector<std::string> fatal_report(const std::function<void()>& action) {
    EXPECT_THROW(action(), FatalError);
    std::vector<std::string> lines = print_lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].rfind(" !!!FATAL ERROR", 0) == 0) {
        return std::vector<std::string>(lines.begin() + static_cast<long>(i), lines.end());
      }
    }
    ADD_FAILURE() << "no fatal report in the print file:\n" << print_text();
    return {};
  }

  static std::string fatal_heading(int number, int element = 0) {
    std::string h = format_number(" !!!FATAL ERROR ", number) + " at time =        0.00 hours";
    if (element != 0) h += ", iel =" + std::string(5 - std::to_string(element).size(), ' ') +
                           std::to_string(element);
    return h;
  }
  static std::string format_number(const std::string& prefix, int number) {
    std::string n = std::to_string(number);
    return prefix + std::string(n.size() < 4 ? 4 - n.size() : 0, '0') + n;
  }
  static std::string padded(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
  }
};

// A two-by-two grid with one east-west link between rows 1 and 2 of column 1:
//   element 1 the link, 2 its north (side-1) bank, 3 its south (side-2) bank,
//   grid squares 4 = (1,1), 5 = (2,1), 6 = (1,2), 7 = (2,2).
// The north bank looks over face 2 at square 6, the south bank over face 4 at square 4.
inline void build_one_link_mesh(FrameState& frame) {
  frame.NLF = 1;
  frame.NEL = 7;
  frame.NGDBGN = 2;
  frame.ICMXY.resize(2, 2);
  frame.ICMXY(1, 1) = 4;
  frame.ICMXY(2, 1) = 5;
  frame.ICMXY(1, 2) = 6;
  frame.ICMXY(2, 2) = 7;
  frame.ICMREF.resize(7, 4, 3, 0);
  frame.ICMREF(2, 2, 2) = 6;
  frame.ICMREF(3, 4, 2) = 4;
  frame.LINK_BANK_ELEMENT.resize(1, 2);
  frame.LINK_BANK_ELEMENT(1, 1) = 2;
  frame.LINK_BANK_ELEMENT(1, 2) = 3;
  frame.LINK_NORTH_SOUTH.resize(1, 0);
}

}  // namespace quendal
