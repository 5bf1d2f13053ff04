// The unit table: every file of a run, opened once by its unit number.
//
// Code refers to files as the model always has ("write to the print file", "rewind
// unit 11"), so each open file is a Unit that is both a RecordSource and a
// RecordSink. Unit 6 is the console.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "services/console.h"
#include "services/records.h"

namespace quendal {

constexpr int CONSOLE_UNIT = 6;
constexpr int PRINT_UNIT = 23;

enum class UnitDirection {
  Input,   // must exist; never created or changed
  Output,  // created, or emptied when it exists
  Update,  // created when missing, otherwise opened unchanged (read and write)
};

class Unit : public RecordSource, public RecordSink {
 public:
  Unit(int number, std::string path, std::FILE* file);
  ~Unit() override;
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  bool read_record(std::string& line) override;
  const std::string& source_name() const override { return path_; }
  long record_number() const override { return record_; }
  // Writes one record. The first write after a rewind cuts the file there, so a file
  // that is rewound and rewritten (the status file) holds only what was written last.
  // A write that fails throws OutputWriteError; from then on the unit takes no more
  // records (they are dropped), so that reporting the failure cannot fail again here.
  void write_record(std::string_view record) override;

  void rewind();
  // Hands what is buffered to the system; OutputWriteError when that fails.
  void flush();
  // The failure met, if any: the system's reason ("" while the unit writes).
  bool failed() const { return !failure_.empty(); }
  const std::string& failure() const { return failure_; }
  // The length of what has been written (after a flush), and a cut back to such a
  // length, to take back records that must reach the file whole or not at all.
  long written_length();
  void cut_to(long length);
  int number() const { return number_; }
  const std::string& path() const { return path_; }

 private:
  enum class LastOp { None, Read, Write };
  void switch_to(LastOp op);
  [[noreturn]] void fail(int error);

  int number_;
  std::string path_;
  std::FILE* file_;
  long record_ = 0;
  bool truncate_on_write_ = false;
  LastOp last_op_ = LastOp::None;
  char* buffer_ = nullptr;
  std::size_t buffer_size_ = 0;
  std::string failure_;
};

class UnitTable {
 public:
  explicit UnitTable(Console& console) : console_(console) {}

  // Opens `unit` on `path`; false when the file cannot be opened (an input file that
  // does not exist among them), and open_failure() then gives the system's reason. A
  // unit already open is closed first.
  bool open(int unit, const std::string& path, UnitDirection direction);
  const std::string& open_failure() const { return open_failure_; }
  bool is_open(int unit) const;
  // The open file of `unit`; std::logic_error when it is not open (a program error:
  // callers test is_open() for files a run may leave out).
  Unit& unit(int unit);
  Unit& input(int unit) { return this->unit(unit); }
  // Where a record for `unit` goes: the console for unit 6, the unit when open,
  // otherwise the print file when that is open, otherwise the console; a message is
  // never lost because its unit was not named in the run-data file, nor because the
  // unit can no longer be written (a unit that failed counts as not open here).
  RecordSink& sink(int unit);
  // The unit sink(unit) writes to; nullptr when that is the console.
  Unit* sink_unit(int unit);
  RecordSink& print() { return sink(PRINT_UNIT); }
  Console& console() { return console_; }

  // Rewinding or closing a unit that is not open does nothing.
  void rewind(int unit);
  void close(int unit);
  // Flushes every unit and the console. A unit that fails is left failed (failed())
  // and the others are still flushed; nothing is thrown, so a run that is stopping
  // anyway keeps all it can.
  void flush_all();
  // Flushes every unit; the first failure, also one met earlier, is thrown as
  // OutputWriteError. What a run that ends normally calls before it says so.
  void flush_all_checked();
  void close_all();

 private:
  Console& console_;
  std::map<int, std::unique_ptr<Unit>> units_;
  std::string open_failure_;
};

// An advisory lock on one file, held from take() until release() or destruction (and
// so until the process ends). Two runs that would write the same file take the same
// lock; the second learns it at start, before it has opened or emptied anything.
class FileLock {
 public:
  enum class Outcome {
    Taken,            // this process holds the lock now
    HeldByAnother,    // another open of the file (another run) holds it
    NotPossible,      // the file cannot be opened or locked here; nothing is held
  };
  FileLock() = default;
  ~FileLock() { release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens `path` (created empty when missing, never emptied) and locks it without
  // waiting. A lock held already is released first.
  Outcome take(const std::string& path);
  void release();
  bool held() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace quendal
