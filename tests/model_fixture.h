// A Model whose print file and console are files of a scratch directory, for the tests
// that read what a procedure printed or reported.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "include/model.h"
#include "services/units.h"
#include "test_support.h"

namespace quendal::testing {

struct ModelWithFiles : ::testing::Test {
  TempDir dir;
  std::string console_path = dir.file("console.txt");
  std::FILE* console_file = std::fopen(console_path.c_str(), "w+");
  Model model{console_file};
  std::string print_path = dir.file("print.txt");

  void SetUp() override {
    ASSERT_TRUE(model.io.units.open(PRINT_UNIT, print_path, UnitDirection::Output));
    model.io.names.START_DIR = dir.path();
  }
  void TearDown() override { std::fclose(console_file); }

  // Writes `text` to a file of the scratch directory and opens it on `unit` for input.
  void open_input(int unit, const std::string& name, const std::string& text) {
    ASSERT_TRUE(model.io.units.open(unit, dir.write(name, text), UnitDirection::Input));
  }
  std::string print_text() {
    model.io.units.flush_all();
    return read_file(print_path);
  }
  // The numbers of the reports on the print file, in order ("2024", "2031", ...).
  std::vector<std::string> report_numbers() {
    std::vector<std::string> numbers;
    for (const std::string& line : lines_of(print_text())) {
      if (line.rfind(" !!!", 0) != 0) continue;
      std::size_t at = line.find(" at time");
      numbers.push_back(line.substr(at - 4, 4));
    }
    return numbers;
  }
  std::string console_text() {
    model.io.console.flush();
    return read_file(console_path);
  }
};

}  // namespace quendal::testing
