#include "services/error_reporting.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "services/formatted_writer.h"
#include "services/records.h"
#include "services/stops.h"

namespace quendal {

namespace {

const char* severity_word(int severity) {
  switch (severity) {
    case SEVERITY_FATAL: return "FATAL ERROR";
    case SEVERITY_ERROR: return "      ERROR";
    case SEVERITY_WARNING: return "    WARNING";
    default: return "";
  }
}

// Numbers with a per-number count and an advice file: thousands digit 0..3 and
// remainder 0..100.
bool has_own_count(int number, int& group, int& remainder) {
  if (number < 0) return false;
  group = number / 1000;
  remainder = number % 1000;
  return group <= 3 && remainder <= 100;
}

std::string padded(const std::string& text, std::size_t width) {
  std::string s = text;
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

}  // namespace

std::string advice_file_name(const std::string& start_dir, int number) {
  std::string dir = trim_right(start_dir);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  int group = number / 1000;
  int remainder = number % 1000;
  return dir + "helpmessages/" + format_line("(I1,I3.3)", group, remainder);
}

namespace {

std::string heading_of(RunIo& io, int severity, int number, int element, int cell) {
  std::string heading = format_line("(' !!!',A11,I5.4,' at time =',F12.2,' hours')",
                                    severity_word(severity), number, io.now());
  if (element != 0) {
    heading += format_line("(', iel =',I5)", element);
    if (cell != 0) heading += format_line("(', cell =',I5)", cell);
  }
  return heading;
}

std::string indented(std::string_view text) { return std::string(8, ' ') + std::string(text); }

// Counts a report of `number` written to `file` (nullptr: the console).
void count_report(RunIo& io, int number, const Unit* file) {
  ++io.errors.ERROR_TOTAL;
  int group = 0, remainder = 0;
  if (has_own_count(number, group, remainder)) ++io.errors.ERROR_COUNTS(remainder, group);
  ErrorLog::NumberReports& reports = io.errors.reported[number];
  ++reports.count;
  const std::string& name = file ? file->path() : std::string();
  if (std::find(reports.files.begin(), reports.files.end(), name) == reports.files.end()) {
    reports.files.push_back(name);
  }
}

void forget_errors(ErrorLog& log) {
  log.errors_lines.clear();
  log.errors_shown = 0;
  log.errors_not_shown = 0;
  log.error_continues = false;
}

// Keeps the lines of an error report (and of the continuation lines after it) made at
// the time of the errors kept so far, for the console of a fatal report that follows.
void keep_error_lines(RunIo& io, int severity, const std::vector<std::string>& records) {
  ErrorLog& log = io.errors;
  if (severity == SEVERITY_ERROR) {
    if (log.errors_time != io.now()) forget_errors(log);
    log.errors_time = io.now();
    log.error_continues = log.errors_shown < ErrorLog::ERRORS_SHOWN;
    if (!log.error_continues) {
      ++log.errors_not_shown;
      return;
    }
    ++log.errors_shown;
  } else if (severity != SEVERITY_CONTINUATION) {
    log.error_continues = false;
    return;
  }
  if (!log.error_continues) return;
  log.errors_lines.insert(log.errors_lines.end(), records.begin(), records.end());
}

// A fatal report: on the caller's unit four empty lines, the heading, the message, the
// details and the lines of the contexts in force; the same, after one empty line, on
// the console (unless the unit is the console); then the summary and the stop.
[[noreturn]] void report_fatal(RunIo& io, int number, int unit, int element, int cell,
                               std::string_view message, const std::vector<std::string>& details) {
  std::vector<std::string> own{heading_of(io, SEVERITY_FATAL, number, element, cell),
                               indented(message)};
  for (const std::string& detail : details) {
    if (!detail.empty()) own.push_back(indented(detail));
  }
  const auto& contexts = io.errors.fatal_contexts;
  for (auto context = contexts.rbegin(); context != contexts.rend(); ++context) {
    std::vector<std::string> lines;
    (*context)->add_lines(lines);
    for (const std::string& line : lines) {
      if (!line.empty()) own.push_back(indented(line));
    }
  }

  bool on_console = false;
  Unit* target = io.units.sink_unit(unit);
  try {
    RecordSink& out = target ? static_cast<RecordSink&>(*target) : io.console;
    on_console = target == nullptr;
    for (int i = 0; i < 4; ++i) out.write_record("");
    for (const std::string& record : own) out.write_record(record);
    // A fatal report must be on disk before the stop.
    if (target) target->flush();
  } catch (const OutputWriteError&) {
    // The unit cannot take it (the print file on a full disk): the console has it.
    on_console = false;
  }
  if (!on_console) {
    // The errors reported at this same moment first: a check that reports each fault
    // it finds as an error ends with one fatal report, which says only that it found
    // some.
    ErrorLog& log = io.errors;
    if (!log.errors_lines.empty() && log.errors_time == io.now()) {
      for (const std::string& record : log.errors_lines) io.console.write_record(record);
      if (log.errors_not_shown > 0) {
        io.console.write_record("");
        io.console.write_record(indented("... and " + std::to_string(log.errors_not_shown) +
                                         " more errors: see the print file"));
      }
    }
    io.console.write_record("");
    for (const std::string& record : own) io.console.write_record(record);
  }
  forget_errors(io.errors);
  count_report(io, number, target && !target->failed() ? target : nullptr);
  // What the files hold so far must survive the stop.
  io.units.flush_all();
  write_error_summary(io);
  FATAL_STOP(io, 1);
  throw FatalError("fatal report");  // FATAL_STOP always throws on a flag of 1
}

}  // namespace

FatalReportContext::FatalReportContext(RunIo& io) : io_(io) {
  io_.errors.fatal_contexts.push_back(this);
}

FatalReportContext::~FatalReportContext() {
  auto& contexts = io_.errors.fatal_contexts;
  if (!contexts.empty() && contexts.back() == this) {
    contexts.pop_back();
  } else {
    std::erase(contexts, this);
  }
}

namespace {

// An error, a warning or a continuation line: written to the unit and counted.
void report_non_fatal(RunIo& io, int severity, int number, int unit, int element, int cell,
                      std::string_view message) {
  std::vector<std::string> records;
  if (severity == SEVERITY_ERROR || severity == SEVERITY_WARNING) {
    records.emplace_back("");
    records.push_back(heading_of(io, severity, number, element, cell));
  }
  records.push_back(indented(message));
  Unit* target = io.units.sink_unit(unit);
  RecordSink& out = target ? static_cast<RecordSink&>(*target) : io.console;
  // A report that cannot be written where it belongs (the print file on a full disk)
  // stops the run as a write failure.
  for (const std::string& record : records) out.write_record(record);
  // What is on the console already is not shown there again.
  if (target) keep_error_lines(io, severity, records);

  if (severity != 0) count_report(io, number, target);
}

void report(RunIo& io, int severity, int number, int unit, int element, int cell,
            std::string_view message, const std::vector<std::string>& details) {
  io.errors.HELP_FOLDER = "\\helpmessages";
  if (severity == SEVERITY_INITIALISE) return;
  if (severity == SEVERITY_FATAL) report_fatal(io, number, unit, element, cell, message, details);
  report_non_fatal(io, severity, number, unit, element, cell, message);
  for (const std::string& detail : details) {
    if (!detail.empty()) report_non_fatal(io, SEVERITY_CONTINUATION, 0, unit, 0, 0, detail);
  }
}

}  // namespace

void REPORT_ERROR(RunIo& io, int severity, int number, int unit, int element, int cell,
                  std::string_view message) {
  static const std::vector<std::string> no_details;
  report(io, severity, number, unit, element, cell, message, no_details);
}

void REPORT_ERROR(RunIo& io, int severity, int number, int unit, int element, int cell,
                  std::string_view message, const std::vector<std::string>& details) {
  report(io, severity, number, unit, element, cell, message, details);
}

void report_fatal_with_detail(RunIo& io, int number, int unit, int element,
                              std::string_view message, std::string_view detail) {
  std::vector<std::string> details;
  if (!detail.empty()) details.emplace_back(detail);
  report_fatal_with_details(io, number, unit, element, 0, message, details);
}

void report_fatal_with_details(RunIo& io, int number, int unit, int element, int cell,
                               std::string_view message, const std::vector<std::string>& details) {
  REPORT_ERROR(io, SEVERITY_FATAL, number, unit, element, cell, message, details);
  throw FatalError("fatal report returned");  // a fatal report always throws
}

std::string values_in_full(std::string_view message,
                           std::initializer_list<std::pair<std::string_view, long long>> values) {
  if (message.find("**") == std::string_view::npos) return {};
  std::string line = "in full:";
  const char* separator = " ";
  for (const auto& [name, value] : values) {
    line += separator;
    line += name;
    line += " = " + std::to_string(value);
    separator = ", ";
  }
  return line;
}

void report_write_failure(RunIo& io, const std::string& file, const std::string& reason,
                          std::string_view detail) {
  // Like every fatal report it stands on the console too, where it is read when the
  // print file lies on the disk that is full.
  const std::string message = "ERROR WRITING FILE " + file + ": " + reason;
  report_fatal_with_detail(io, ERROR_WRITING_FILE, PRINT_UNIT, 0, message,
                           detail.empty() ? std::string_view() : std::string_view(detail));
}

void FATAL_STOP(RunIo& io, int flag) {
  if (flag <= 0) return;
  io.console.pause();
  io.console.write_record(" Program terminating due to fatal error");
  io.units.flush_all();
  throw FatalError("Program terminating due to fatal error");
}

void write_error_summary(RunIo& io) {
  Console& con = io.console;
  con.write_record("");
  con.write_record("");
  con.write_record(" ### Error asummary and Advice ###");
  con.write_record("  ------------------------");
  con.write_record("");
  if (io.errors.ERROR_TOTAL >= 1) {
    con.write_record("");
    con.write_record(" ==> Check printed output files for more details <==");
    con.write_record("");
  }
  for (int group = 0; group <= 3; ++group) {
    for (int remainder = 0; remainder <= 100; ++remainder) {
      int count = io.errors.ERROR_COUNTS(remainder, group);
      if (count <= 0) continue;
      int number = group * 1000 + remainder;
      con.write_record(format_line("(' No. of occurrences of error number',I5.4,' is',I6)",
                                   number, count));
      // The directories are shown at their full width, as they are held.
      std::string directories = " ";
      directories += padded(io.names.RUN_DIR, 256);
      directories += padded(io.names.START_DIR, 256);
      con.write_record(directories);
      std::string advice = advice_file_name(io.names.START_DIR, number);
      con.write_record(" " + advice);
      con.pause();
      std::ifstream file(advice);
      if (file) {
        std::string line;
        while (std::getline(file, line)) {
          strip_line_end(line);
          line = padded(line.substr(0, std::min<std::size_t>(line.size(), 80)), 80);
          con.write_record(line);
        }
      }
      con.write_record(" ");
    }
  }
  con.write_record("");
  con.write_record(format_line("(' ### End of asummary: recorded error count is',I7,' ###')",
                               io.errors.ERROR_TOTAL));
  con.write_record("");
}

std::vector<std::string> reported_errors_lines(const ErrorLog& log) {
  std::vector<std::string> lines;
  if (log.ERROR_TOTAL == 0) return lines;
  lines.emplace_back("");
  lines.emplace_back(" Errors and warnings were reported during the run:");
  for (const auto& [number, reports] : log.reported) {
    std::string line = format_line("(' No. of occurrences of error number',I5.4,' is',I6)",
                                   number, reports.count);
    const char* separator = " in ";
    for (const std::string& file : reports.files) {
      line += separator;
      line += file.empty() ? "the console" : file;
      separator = ", ";
    }
    lines.push_back(line);
  }
  lines.push_back(format_line("(' Recorded error count is',I7)", log.ERROR_TOTAL));
  return lines;
}

}  // namespace quendal
