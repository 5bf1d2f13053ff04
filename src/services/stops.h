// The ways a run stops before its normal end.
//
// Nothing below main() calls exit(): a stop is an exception that main() turns into the
// exit status, so a test can run a failing case and read what was reported.
//   FatalError     fatal REPORT_ERROR (summary already printed)        exit 1
//   ImmediateStop  a stop without summary ("ABNORMAL END", date traps) exit 2
//   InputError     a number or field that cannot be read from a file  exit 3
//   OutputWriteError  a write or flush of an output file failed; the run reports it
//                  as a fatal error (exit 1)
#pragma once

#include <stdexcept>
#include <string>

namespace quendal {

struct FatalError : std::runtime_error {
  explicit FatalError(const std::string& what) : std::runtime_error(what) {}
};

struct ImmediateStop : std::runtime_error {
  explicit ImmediateStop(const std::string& what) : std::runtime_error(what) {}
};

struct InputError : std::runtime_error {
  InputError(const std::string& file, long record, int first_column, int last_column,
             const std::string& text, const std::string& problem);
  std::string file;
  long record;
  int first_column;
  int last_column;
  std::string text;
};

// A read that reached the end of its file. Readers that treat the end of a file as a
// normal event (met data, series) catch this; anywhere else it ends the run as an
// input error.
struct EndOfFileError : InputError {
  EndOfFileError(const std::string& file, long record);
};

// A write or a flush of an output file failed (a full disk, an I/O error): `file` and
// the system's `reason`. Thrown by the unit that failed, turned by the run into a fatal
// report that names both.
struct OutputWriteError : std::runtime_error {
  OutputWriteError(const std::string& file, const std::string& reason)
      : std::runtime_error(file + ": " + reason), file(file), reason(reason) {}
  std::string file;
  std::string reason;
};

constexpr int EXIT_NORMAL = 0;
constexpr int EXIT_FATAL_ERROR = 1;
constexpr int EXIT_IMMEDIATE_STOP = 2;
constexpr int EXIT_INPUT_ERROR = 3;

}  // namespace quendal
