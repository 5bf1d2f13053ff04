// The console: the progress line, the messages of the command line, the error summary.
//
// Before the driver connects it, every record is written as a plain line. Once
// connected (carriage control), a record beginning with "+" overwrites the current
// line when standard output is a terminal; when it is not (a batch run writing to a
// file or a pipe) every record is a new line, so nothing is lost from the log of a
// batch job. Other first characters are written as they stand: a leading blank shows
// as a blank, so no message text is ever eaten by the control column.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "services/records.h"

namespace quendal {

class Console : public RecordSink {
 public:
  // `out` defaults to standard output; whether it and standard input are terminals
  // is found out here.
  explicit Console(std::FILE* out = stdout);

  void write_record(std::string_view record) override;
  void connect_carriage_control() { carriage_control_ = true; }
  bool carriage_control() const { return carriage_control_; }

  // Waits for Enter, but only when both standard input and the console are
  // terminals: a batch run or a test never blocks here.
  void pause();
  // Ends an open overwritable line and flushes.
  void flush();

  void set_terminal(bool output_is_terminal, bool input_is_terminal) {
    output_terminal_ = output_is_terminal;
    input_terminal_ = input_is_terminal;
  }

 private:
  std::FILE* out_;
  bool carriage_control_ = false;
  bool output_terminal_ = false;
  bool input_terminal_ = false;
  bool line_open_ = false;       // an overwritable line is on screen without its newline
  std::size_t open_length_ = 0;  // its length, to blank out what a shorter line leaves
};

// Sleeps for the given milliseconds (the short wait at the end of a run).
void wait_milliseconds(int milliseconds);

// Floating-point arithmetic flushes denormal results to zero and reads denormal
// operands as zero: a value that decays towards zero (a draining film, a washed-out
// concentration) then costs no more than any other, where arithmetic on denormals can
// be a hundred times slower (no quantity of the model means anything below 1e-308).
void set_flush_to_zero();

}  // namespace quendal
