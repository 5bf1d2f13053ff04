#include "services/error_reporting.h"

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

void REPORT_ERROR(RunIo& io, int severity, int number, int unit, int element, int cell,
                  std::string_view message) {
  io.errors.HELP_FOLDER = "\\helpmessages";
  if (severity == SEVERITY_INITIALISE) return;

  std::vector<std::string> records;
  if (severity >= SEVERITY_FATAL && severity <= SEVERITY_WARNING) {
    if (severity == SEVERITY_FATAL) records.assign(3, "");
    records.emplace_back("");
    std::string heading = format_line("(' !!!',A11,I5.4,' at time =',F12.2,' hours')",
                                      severity_word(severity), number, io.now());
    if (element != 0) {
      heading += format_line("(', iel =',I5)", element);
      if (cell != 0) heading += format_line("(', cell =',I5)", cell);
    }
    records.push_back(heading);
  }
  records.push_back(std::string(8, ' ') + std::string(message));
  try {
    Unit* target = io.units.sink_unit(unit);
    RecordSink& out = target ? static_cast<RecordSink&>(*target) : io.console;
    for (const std::string& record : records) out.write_record(record);
    // A fatal report must be on disk before the stop.
    if (severity == SEVERITY_FATAL && target) target->flush();
  } catch (const OutputWriteError&) {
    // A report that cannot be written where it belongs (the print file on a full disk)
    // stops the run as a write failure; a fatal one, which stops it anyway, is shown on
    // the console instead.
    if (severity != SEVERITY_FATAL) throw;
    for (const std::string& record : records) io.console.write_record(record);
  }

  if (severity != 0) {
    ++io.errors.ERROR_TOTAL;
    int group = 0, remainder = 0;
    if (has_own_count(number, group, remainder)) ++io.errors.ERROR_COUNTS(remainder, group);
  }
  if (severity == SEVERITY_FATAL) {
    // What the files hold so far must survive the stop.
    io.units.flush_all();
    write_error_summary(io);
    FATAL_STOP(io, 1);
  }
}

void report_fatal_with_detail(RunIo& io, int number, int unit, int element,
                              std::string_view message, std::string_view detail) {
  std::vector<std::string> details;
  if (!detail.empty()) details.emplace_back(detail);
  report_fatal_with_details(io, number, unit, element, 0, message, details);
}

void report_fatal_with_details(RunIo& io, int number, int unit, int element, int cell,
                               std::string_view message, const std::vector<std::string>& details) {
  try {
    REPORT_ERROR(io, SEVERITY_FATAL, number, unit, element, cell, message);
  } catch (const FatalError&) {
    // The summary is on the console; on the caller's unit the details follow the message
    // (on the console when that unit cannot take them).
    for (const std::string& detail : details) {
      if (detail.empty()) continue;
      try {
        REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, unit, 0, 0, detail);
        if (Unit* target = io.units.sink_unit(unit)) target->flush();
      } catch (const OutputWriteError&) {
        io.console.write_record(std::string(8, ' ') + detail);
      }
    }
    io.units.flush_all();
    throw;
  }
  throw FatalError("fatal report returned");  // REPORT_ERROR always throws on a fatal report
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
  const std::string message = "ERROR WRITING FILE " + file + ": " + reason;
  // The console shows it too: the print file may lie on the disk that is full.
  if (&io.units.print() != &io.console) {
    io.console.write_record(" " + message);
    if (!detail.empty()) {
      std::string line = " ";
      line += detail;
      io.console.write_record(line);
    }
  }
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

}  // namespace quendal
