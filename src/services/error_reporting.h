// REPORT_ERROR: the one door for every numbered message of the model.
//
// Severity 1 fatal error, 2 error, 3 warning, 0 continuation line of the report
// before it, -999 initialise. A fatal report prints the error summary with the advice
// texts, pauses for the user and throws FatalError, which main() turns into exit
// status 1.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "include/run_io.h"

namespace quendal {

constexpr int SEVERITY_INITIALISE = -999;
constexpr int SEVERITY_CONTINUATION = 0;
constexpr int SEVERITY_FATAL = 1;
constexpr int SEVERITY_ERROR = 2;
constexpr int SEVERITY_WARNING = 3;

void REPORT_ERROR(RunIo& io, int severity, int number, int unit, int element, int cell,
                  std::string_view message);

// A fatal report whose message keeps its text, followed on the caller's unit by a
// continuation line with `detail` (where a reader stopped and what it found there), when
// `detail` is not empty. Throws FatalError like every fatal report.
[[noreturn]] void report_fatal_with_detail(RunIo& io, int number, int unit, int element,
                                           std::string_view message, std::string_view detail);
// The same with a cell in the heading and any number of lines after the message.
[[noreturn]] void report_fatal_with_details(RunIo& io, int number, int unit, int element, int cell,
                                            std::string_view message,
                                            const std::vector<std::string>& details);

// A numbered message keeps the layout its users know, and an integer too wide for its
// field shows there as asterisks. When `message` holds such a field, this gives the line
// to write after it: "in full: NAME = value, ..." for the values put into the message;
// otherwise an empty text.
std::string values_in_full(std::string_view message,
                           std::initializer_list<std::pair<std::string_view, long long>> values);

// A run output that could not be written (a full disk, an I/O error): fatal error 1094
// "ERROR WRITING FILE" with the file's name and the system's reason (`detail`, a line of
// its own when given: what the file still holds), on the print file when it can still
// be written and on the console. Throws FatalError.
constexpr int ERROR_WRITING_FILE = 1094;
[[noreturn]] void report_write_failure(RunIo& io, const std::string& file,
                                       const std::string& reason, std::string_view detail = {});

// Pauses and stops the run when flag > 0; returns at once otherwise.
void FATAL_STOP(RunIo& io, int flag);

// The error summary the console shows before a fatal stop.
void write_error_summary(RunIo& io);

// The advice file of an error number: <start dir>/helpmessages/<g><rrr>.
std::string advice_file_name(const std::string& start_dir, int number);

}  // namespace quendal
