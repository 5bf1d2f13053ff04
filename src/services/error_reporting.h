// REPORT_ERROR: the one door for every numbered message of the model.
//
// Severity 1 fatal error, 2 error, 3 warning, 0 continuation line of the report
// before it, -999 initialise. A fatal report writes its heading, its message and the
// lines that belong to it (where a reader stopped, the value it found) to the caller's
// unit and to the console, then prints the error summary with the advice texts on the
// console, pauses for the user and throws FatalError, which main() turns into exit
// status 1. So whoever watches the console sees why the run stopped, not only the
// numbers of the summary.
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
// The same with lines after the message that belong to the report (where a reader
// stopped, what it found); empty ones are left out.
void REPORT_ERROR(RunIo& io, int severity, int number, int unit, int element, int cell,
                  std::string_view message, const std::vector<std::string>& details);

// A fatal report whose message keeps its text, followed by a continuation line with
// `detail` (where a reader stopped and what it found there), when `detail` is not empty.
// Throws FatalError like every fatal report.
[[noreturn]] void report_fatal_with_detail(RunIo& io, int number, int unit, int element,
                                           std::string_view message, std::string_view detail);
// The same with a cell in the heading and any number of lines after the message.
[[noreturn]] void report_fatal_with_details(RunIo& io, int number, int unit, int element, int cell,
                                            std::string_view message,
                                            const std::vector<std::string>& details);

// Lines that every fatal report made while this object lives adds after its own
// (where a reader was, which column a solver was working on), so that they stand with
// the report on its unit and on the console, before the summary. Contexts nest; the
// innermost's lines come first. Registering one allocates nothing once the first has
// been registered, so a solver may hold one over each of its calls.
class FatalReportContext {
 public:
  explicit FatalReportContext(RunIo& io);
  virtual ~FatalReportContext();
  FatalReportContext(const FatalReportContext&) = delete;
  FatalReportContext& operator=(const FatalReportContext&) = delete;
  // Appends the lines (empty ones are left out).
  virtual void add_lines(std::vector<std::string>& lines) const = 0;

 private:
  RunIo& io_;
};

// A context whose lines `make(lines)` appends when a fatal report is made; `make` is
// called only then.
template <class Make>
class FatalReportLines final : public FatalReportContext {
 public:
  FatalReportLines(RunIo& io, Make make) : FatalReportContext(io), make_(std::move(make)) {}
  void add_lines(std::vector<std::string>& lines) const override { make_(lines); }

 private:
  Make make_;
};

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

// The lines a completed run's console shows before its completion line when the run
// made reports with a non-zero severity: every number reported, in increasing order,
// with its count as the error summary shows it and the files that hold its reports,
// then the recorded error count (ERROR_TOTAL, which counts also the numbers that the
// print file's listing leaves out). No lines for a run without reports.
std::vector<std::string> reported_errors_lines(const ErrorLog& log);

// The advice file of an error number: <start dir>/helpmessages/<g><rrr>.
std::string advice_file_name(const std::string& start_dir, int number);

}  // namespace quendal
