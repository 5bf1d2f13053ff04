// The unit table: every file of a run, opened once by its unit number.
//
// Code refers to files by the unit numbers the run-data file assigns, as the messages
// and the file descriptions do ("write to the print file", "rewind unit 11"), so each
// open file is a Unit that is both a RecordSource and a RecordSink. Unit 6 is the
// console.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
  // Takes over `fd`, a file opened for reading, writing or both.
  Unit(int number, std::string path, int fd);
  ~Unit() override;
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  bool read_record(std::string& line) override;
  const std::string& source_name() const override { return path_; }
  long record_number() const override { return record_; }
  // Writes one record. The first write after a rewind cuts the file there, so a file
  // that is rewound and rewritten (the status file) holds only what was written last.
  // Records are buffered, and the system is only ever handed whole records with their
  // line ends: whenever a run stops, however it stops, each file ends with a whole line.
  // A write that fails throws OutputWriteError; from then on the unit takes no more
  // records (they are dropped), so that reporting the failure cannot fail again here.
  void write_record(std::string_view record) override;

  void rewind();
  // Hands what is buffered to the system; OutputWriteError when that fails.
  void flush();
  // Records written and not yet handed to the system (none once the unit failed).
  bool holds_unflushed() const { return write_length_ > 0 && !failed(); }
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
  void give_back_read_ahead();
  void hand_over();
  void write_alone(std::string_view record);
  [[noreturn]] void fail(int error);

  int number_;
  std::string path_;
  int fd_;
  long record_ = 0;
  bool truncate_on_write_ = false;
  // Reading: a block of the file, of which [read_next_, read_end_) is not taken yet; the
  // file's offset stands after the block.
  std::unique_ptr<char[]> read_buffer_;
  std::size_t read_next_ = 0, read_end_ = 0;
  // Writing: whole records, not yet handed to the system, that go at the file's offset.
  std::unique_ptr<char[]> write_buffer_;
  std::size_t write_length_ = 0;
  std::string failure_;
};

class UnitTable {
 public:
  explicit UnitTable(Console& console) : console_(console) {}

  // Opens `unit` on `path`; false when the file cannot be opened (an input file that
  // does not exist among them), and open_failure() then gives the system's reason. A
  // unit already open is closed first.
  bool open(int unit, const std::string& path, UnitDirection direction);
  // Opens `unit` for output on the file behind `fd` (an output this run has locked),
  // emptied: the file the run writes is the file it locked, whatever happens to its name.
  bool open_output(int unit, const std::string& path, int fd);
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

  // Hands the records written to `unit` to the system when there are any; nothing when
  // the unit is not open, has failed or holds nothing unflushed.
  void flush_written(int unit);
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

// The output files of a run, each opened (created when missing, never emptied) and
// locked before any of them is emptied, and held until the run ends. Two runs that
// would write one file take the same lock; the second learns it before it has changed
// anything. The locks are open-file-description locks: they belong to this opening of
// the file, so another opening (another run, or a library of this run that locks the
// file its own way) is told apart, and they go when the process ends however it ends.
class OutputLocks {
 public:
  enum class Outcome {
    Taken,          // this run holds the file now (also when it held it already)
    HeldByAnother,  // another opening of the file holds it
    CannotOpen,     // the file cannot be opened for writing: reason() says why
  };
  OutputLocks() = default;
  ~OutputLocks() { release(); }
  OutputLocks(const OutputLocks&) = delete;
  OutputLocks& operator=(const OutputLocks&) = delete;

  // Opens `path` for writing and locks it without waiting. A file held already, under
  // this name or another, is not locked twice. A file system without locks leaves the
  // file opened and unlocked.
  Outcome take(const std::string& path);
  const std::string& reason() const { return reason_; }
  // The descriptor of a file taken under `path`, -1 when none.
  int descriptor(const std::string& path) const;
  bool holds(const std::string& path) const { return descriptor(path) >= 0; }
  // Lets every file go; abandon() also removes the files that take() created.
  void release();
  void abandon();
  // Removes the file held under `path` when take() created it and nothing has been
  // written to it since: for a file whose empty form is not a file of its kind.
  void remove_if_created_and_empty(const std::string& path);

 private:
  struct Held {
    std::string path;
    int fd;
    bool created;
    unsigned long device, inode;
  };
  std::vector<Held> held_;
  std::string reason_;
};

}  // namespace quendal
