#include "services/units.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "services/stops.h"
#include "string_sink.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;
using testing::TempDir;

struct UnitsTest : ::testing::Test {
  TempDir dir;
  Console console{tmpfile()};
  UnitTable units{console};
};

TEST_F(UnitsTest, InputMustExistAndIsNeverCreated) {
  std::string missing = dir.file("missing.txt");
  EXPECT_FALSE(units.open(10, missing, UnitDirection::Input));
  EXPECT_FALSE(testing::file_exists(missing));
  EXPECT_FALSE(units.is_open(10));
}

TEST_F(UnitsTest, RecordsLoseTheirLineEndsAndAreCounted) {
  std::string p = dir.write("in.txt", "first\r\nsecond\n\nlast");
  ASSERT_TRUE(units.open(10, p, UnitDirection::Input));
  Unit& u = units.input(10);
  std::string line;
  ASSERT_TRUE(u.read_record(line));
  EXPECT_EQ(line, "first");
  ASSERT_TRUE(u.read_record(line));
  EXPECT_EQ(line, "second");
  ASSERT_TRUE(u.read_record(line));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(u.read_record(line));
  EXPECT_EQ(line, "last");
  EXPECT_EQ(u.record_number(), 4);
  EXPECT_FALSE(u.read_record(line));
  units.rewind(10);
  ASSERT_TRUE(u.read_record(line));
  EXPECT_EQ(line, "first");
  EXPECT_EQ(u.record_number(), 1);
}

TEST_F(UnitsTest, OutputIsEmptiedAndFirstWriteAfterRewindTruncates) {
  std::string p = dir.write("status.txt", "old contents that must go\n");
  ASSERT_TRUE(units.open(22, p, UnitDirection::Output));
  Unit& status = units.unit(22);
  status.write_record("Reading data sets ...");
  status.rewind();
  status.write_record("Current time = 1");
  status.write_record("");
  status.flush();
  EXPECT_EQ(read_file(p), "Current time = 1\n\n");
  status.rewind();
  status.write_record("T=2");
  status.flush();
  EXPECT_EQ(read_file(p), "T=2\n");
}

TEST_F(UnitsTest, UpdateUnitKeepsAnExistingFileAndCreatesAMissingOne) {
  std::string existing = dir.write("hot.txt", "kept\n");
  ASSERT_TRUE(units.open(28, existing, UnitDirection::Update));
  std::string line;
  ASSERT_TRUE(units.unit(28).read_record(line));
  EXPECT_EQ(line, "kept");
  std::string fresh = dir.file("new.txt");
  ASSERT_TRUE(units.open(14, fresh, UnitDirection::Update));
  EXPECT_TRUE(testing::file_exists(fresh));
}

// What the system holds of a file at any moment (what a run killed then leaves) is whole
// lines: short lines reach it many at a time, a line longer than the unit's buffer by
// itself, also on a unit that was read before it is written; flush_written() hands over
// what is pending and nothing more.
TEST_F(UnitsTest, TheSystemIsOnlyEverHandedWholeLines) {
  struct Case {
    const char* name;
    UnitDirection direction;
    const char* before;  // the file before the unit is opened; an Update unit reads it
  };
  for (const Case& c : {Case{"output", UnitDirection::Output, ""},
                        Case{"update after a read", UnitDirection::Update, "read first\n"}}) {
    SCOPED_TRACE(c.name);
    const std::string p = dir.write("lines.txt", c.before);
    ASSERT_TRUE(units.open(PRINT_UNIT, p, c.direction));
    Unit& u = units.unit(PRINT_UNIT);
    std::string expected = c.before;
    if (c.direction == UnitDirection::Update) {
      std::string line;
      ASSERT_TRUE(u.read_record(line));
    }
    const auto on_disk_whole = [&] {
      const auto size = std::filesystem::file_size(p);
      if (size == 0) return true;
      std::ifstream in(p, std::ios::binary);
      in.seekg(static_cast<std::streamoff>(size) - 1);
      return in.get() == '\n';
    };
    // Lines of 1 to 997 characters, some 600 KB in all, and among them two of 200,000.
    for (int i = 0; i < 1200; ++i) {
      const std::string record = (i % 500 == 250) ? std::string(200000, 'L')
                                                  : std::string(1 + (i * 37) % 997, 'a' + i % 26);
      u.write_record(record);
      expected += record + "\n";
      ASSERT_TRUE(on_disk_whole()) << "after record " << i + 1;
    }
    EXPECT_TRUE(u.holds_unflushed());
    units.flush_written(PRINT_UNIT);
    EXPECT_FALSE(u.holds_unflushed());
    EXPECT_EQ(read_file(p), expected);
    EXPECT_EQ(u.written_length(), static_cast<long>(expected.size()));
    units.close(PRINT_UNIT);
  }
}

TEST_F(UnitsTest, RecordsForUnopenedUnitsGoToThePrintFile) {
  StringSink captured;
  std::string print = dir.file("print.txt");
  // Without a print file a stray record goes to the console.
  EXPECT_EQ(&units.sink(25), static_cast<RecordSink*>(&console));
  ASSERT_TRUE(units.open(PRINT_UNIT, print, UnitDirection::Output));
  units.sink(25).write_record("to the print file");
  units.flush_all();
  EXPECT_EQ(read_file(print), "to the print file\n");
  EXPECT_EQ(&units.sink(CONSOLE_UNIT), static_cast<RecordSink*>(&console));
  // Rewinding or closing what is not open does nothing.
  units.rewind(99);
  units.close(99);
}

TEST_F(UnitsTest, ACutTakesBackRecordsAndAFailedWriteIsReportedWhenTheRunEnds) {
  std::string p = dir.file("print.txt");
  ASSERT_TRUE(units.open(PRINT_UNIT, p, UnitDirection::Output));
  Unit& print = units.unit(PRINT_UNIT);
  print.write_record("kept");
  const long before = print.written_length();
  EXPECT_EQ(before, 5);  // "kept" and its line end
  print.write_record("half of a block");
  print.flush();
  print.cut_to(before);
  print.write_record("next");
  units.flush_all_checked();
  EXPECT_EQ(read_file(p), "kept\nnext\n");

  // /dev/full takes the open and refuses the write: the unit keeps the system's reason,
  // and the check a run makes before it says it completed names the file and the reason.
  ASSERT_TRUE(units.open(30, "/dev/full", UnitDirection::Output));
  Unit& full = units.unit(30);
  full.write_record("lost");
  EXPECT_THROW(full.flush(), OutputWriteError);
  EXPECT_TRUE(full.failed());
  EXPECT_EQ(full.failure(), "No space left on device");
  try {
    units.flush_all_checked();
    ADD_FAILURE() << "a failed unit passed the check";
  } catch (const OutputWriteError& e) {
    EXPECT_EQ(e.file, "/dev/full");
    EXPECT_EQ(e.reason, "No space left on device");
  }
}

}  // namespace
}  // namespace quendal
