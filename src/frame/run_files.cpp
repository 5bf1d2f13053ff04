#include "frame/run_files.h"

#include <sys/stat.h>

#include <algorithm>

#include "services/formatted_writer.h"
#include "services/records.h"
#include "services/stops.h"

namespace quendal {

namespace {

const char* const CATCHMENT_LIST = "catchments.txt";

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

[[noreturn]] void stop_free(RunIo& io, const std::string& message) {
  io.console.write_record(" " + message);
  io.console.flush();
  throw ImmediateStop(message);
}

[[noreturn]] void stop_abnormal(RunIo& io, const std::string& message) {
  io.console.write_record(message);
  io.console.write_record("ABNORMAL END");
  io.units.flush_all();
  throw ImmediateStop(message);
}

// Looks the catchment up in the list; the run-data file's name, or "" when not found.
bool find_catchment(RunIo& io, const std::string& list_path, const std::string& catchment,
                    std::string& name) {
  {
    UnitTable table(io.console);
    if (!table.open(875, list_path, UnitDirection::Input)) return false;
    std::string line;
    Unit& unit = table.unit(875);
    while (unit.read_record(line)) {
      std::string wanted_name = trim_right(line);
      if (!unit.read_record(line)) return false;
      if (wanted_name == trim_right(catchment)) {
        name = name_from_line(line);
        // The path may stand anywhere on its line.
        std::size_t b = name.find_first_not_of(' ');
        name = b == std::string::npos ? "" : name.substr(b);
        // A relative path is taken from the directory where the list was found.
        if (!name.empty() && name.front() != '/') {
          name = list_path.substr(0, list_path.size() - std::string(CATCHMENT_LIST).size()) + name;
        }
        return true;
      }
    }
  }
  return false;
}

// The file name line of `unit` in the run-data file, or "" when the file does not reach
// it. Read on a unit of its own, so that the run's reading starts afresh after it.
std::string rundata_name_line(RunIo& io, int unit) {
  UnitTable table(io.console);
  if (!table.open(RUNDATA_UNIT, io.names.RUNDATA_FILE_NAME, UnitDirection::Input)) return "";
  Unit& rundata = table.unit(RUNDATA_UNIT);
  const long wanted = 3 + 2L * (unit - FIRST_RUNDATA_UNIT);  // after the title, two lines a unit
  std::string line;
  while (rundata.read_record(line)) {
    if (rundata.record_number() == wanted) return line;
  }
  return "";
}

// The full name of a unit's file: names are relative to the run-data file's directory;
// an absolute name stands.
std::string full_name(const RunNames& names, const std::string& file) {
  return file.front() == '/' ? file : names.RUN_DIR + file;
}

// Two runs in one directory with the same print file would write into each other's
// files (and the one that ends first would report success with mixed results). The
// lock on the print file (on the log file when no print file is named) is taken before
// any output is opened; a run that finds it held stops without touching anything.
void lock_run_outputs(RunIo& io) {
  const std::string print = name_from_line(rundata_name_line(io, PRINT_UNIT));
  const bool print_named = !print.empty() && print != "0";
  const std::string target = print_named ? full_name(io.names, print) : io.names.LOG_FILE_NAME;
  if (io.output_lock.take(target) == FileLock::Outcome::HeldByAnother) {
    stop_abnormal(io, std::string(print_named ? "PRINT FILE " : "LOG FILE ") + target +
                          " IS IN USE BY ANOTHER RUN: this run stops before opening any output");
  }
  // A file that cannot be locked here (a directory that does not exist, a file system
  // without locks) is left to the opening of the unit, which reports what is wrong.
}

// "ERROR OPENING FILE " and the name, then a line with the unit's description (as the
// run-data file gives it) and the system's reason, then the stop.
[[noreturn]] void stop_on_open_failure(RunIo& io, const std::string& full,
                                       const std::string& description) {
  io.console.write_record("ERROR OPENING FILE " + full);
  stop_abnormal(io, " " + trim(description) + ": " + io.units.open_failure());
}

}  // namespace

UnitUse RUNDATA_UNITS(int unit) {
  switch (unit) {
    case 22: case 23: case 24: case 25: case 27:
    case 41: case 42: case 43: case 44: case 52:
      return UnitUse::Output;
    case 14: case 26: case 28: case 30: case 39: case 40:
      return UnitUse::Update;
    case 48: case 49: case 50:
      return UnitUse::NameOnly;
    default:
      return UnitUse::Input;
  }
}

std::string name_from_line(std::string_view line) {
  std::string s(line);
  strip_line_end(s);
  s = trim_right(s);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

std::string directory_of(std::string_view file_name) {
  std::string_view s = file_name;
  if (s.size() >= 2 && s[1] == ':' &&
      ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'))) {
    s.remove_prefix(2);
  }
  std::size_t slash = s.find_last_of('/');
  if (slash == std::string_view::npos) return "";
  return std::string(s.substr(0, slash + 1));
}

bool run_name_of(std::string_view file_name, std::string& run_name) {
  static const std::string_view key = "rundata_";
  std::string name = trim_right(file_name);
  if (name.size() < 2) return false;
  std::size_t dot = std::string::npos;
  // Scan from the next-to-last character back; the nearest "." to the right of the
  // scan is remembered, so the match's "." is the first one after it.
  for (std::size_t i = name.size() - 1; i-- > 0;) {
    if (name[i] == '.') dot = i;
    if (name[i] == '_' && i + 1 >= key.size() &&
        std::string_view(name).substr(i + 1 - key.size(), key.size()) == key) {
      if (dot == std::string::npos) return false;
      run_name = name.substr(i + 1, dot - i - 1);
      return true;
    }
  }
  return false;
}

void READ_COMMAND_LINE(const std::vector<std::string>& args, const std::string& current_dir,
                       RunIo& io) {
  RunNames& names = io.names;
  names.START_DIR = current_dir;
  std::string option = args.empty() ? "-a" : args[0];
  std::string name;
  static const char* const dialog_options[] = {"-a", "-m", "-af", "-sd", "-pattern",
                                               "-delinc", "-results"};
  bool dialog = std::find(std::begin(dialog_options), std::end(dialog_options), option) !=
                std::end(dialog_options);
  if (dialog) {
    // There is no file dialog here: the run-data file must be named with -f or -c.
    stop_free(io, "Missing filename   Use -f filneme");
  } else if (option == "-f") {
    if (args.size() > 1) name = args[1];
  } else if (option == "-c") {
    std::string catchment = args.size() > 1 ? args[1] : "default";
    std::string dir = current_dir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    std::string list = dir + CATCHMENT_LIST;
    if (!file_exists(list)) {
      stop_free(io, std::string("Cannot find file ") + CATCHMENT_LIST + " in executable directory");
    }
    if (!find_catchment(io, list, catchment, name)) {
      stop_free(io, "cannot find catchment " + trim_right(catchment) + " in " + CATCHMENT_LIST);
    }
  } else {
    stop_free(io, "Unrecognised command line argument " + trim_right(option) +
                      " Recognise only -a, -c and -f");
  }

  name = name_from_line(name);
  if (name.empty()) stop_free(io, "Missing filename   Use -f filneme");
  if (!file_exists(name)) stop_free(io, "Cannot find rundata file " + name);
  names.RUN_DIR = directory_of(name);
  std::string run_name;
  if (!run_name_of(name, run_name)) {
    stop_free(io, "   RUNDATA FILENAME MUST HAVE FORM \"rundata_name.txt\"");
  }
  names.RUN_NAME = run_name;
  names.RUNDATA_FILE_NAME = name;
}

void OPEN_RUN_FILES(RunIo& io) {
  RunNames& names = io.names;
  UnitTable& units = io.units;
  names.STATUS_FILE_ON = false;
  io.console.write_record(" QUENDAL Version 4.4.6 for PC - incorporating VANTOLIX Version 2");
  io.console.write_record(" " + std::string(63, '*'));
  io.console.write_record("");
  names.AIR_TEMPERATURE_FILES_ON = true;
  names.EXTRA_DISCHARGE_POINTS_ON = true;
  names.ZQ_TABLES_ON = true;

  if (!units.open(RUNDATA_UNIT, names.RUNDATA_FILE_NAME, UnitDirection::Input)) {
    io.console.write_record("ERROR OPENING RUNDATA FILE " + names.RUN_NAME);
    stop_abnormal(io, " run-data file " + names.RUNDATA_FILE_NAME + ": " + units.open_failure());
  }
  names.LOG_FILE_NAME = names.RUN_DIR + "output_" + names.RUN_NAME + "_log.txt";
  lock_run_outputs(io);
  if (!units.open(LOG_UNIT, names.LOG_FILE_NAME, UnitDirection::Output)) {
    stop_on_open_failure(io, names.LOG_FILE_NAME, "log file (unit 52)");
  }
  Unit& rundata = units.unit(RUNDATA_UNIT);
  Unit& log = units.unit(LOG_UNIT);

  std::string line;
  if (!rundata.read_record(line)) {
    io.console.write_record("ERROR OPENING RUNDATA FILE " + names.RUN_NAME);
    stop_abnormal(io, " the run-data file " + names.RUNDATA_FILE_NAME + " is empty");
  }
  log.write_record(line);
  log.write_record("");

  auto not_used = [&](int unit) {
    if (unit == 45 || unit == 46) names.AIR_TEMPERATURE_FILES_ON = false;
    if (unit == 47) names.EXTRA_DISCHARGE_POINTS_ON = false;
    if (unit == 51) names.ZQ_TABLES_ON = false;
  };

  for (int unit = FIRST_RUNDATA_UNIT; unit <= LAST_RUNDATA_UNIT; ++unit) {
    std::string description, name_line;
    bool complete = rundata.read_record(description);
    if (complete) log.write_record(description);
    complete = complete && rundata.read_record(name_line);
    if (!complete) {
      // The file may end after the entry of unit 13: the rest are not used.
      if (unit <= 13) stop_abnormal(io, "UNEXPECTED -EOF- ON FILE " + names.RUN_NAME);
      for (int u = unit; u <= LAST_RUNDATA_UNIT; ++u) not_used(u);
      units.close(RUNDATA_UNIT);
      log.flush();
      return;
    }
    std::string file = name_from_line(name_line);
    if (file.empty() || file == "0") {
      not_used(unit);
      log.write_record("- NOT USED");
      continue;
    }
    std::string full = full_name(names, file);
    UnitUse use = RUNDATA_UNITS(unit);
    if (use == UnitUse::NameOnly) {
      log.write_record(format_line("('FILE ',I3,' IS ',A)", unit, full));
      if (unit == 48) names.PLAN_FILE_NAME = full;
      if (unit == 49) names.CHECK_FILE_NAME = full;
      if (unit == 50) names.HDF5_FILE_NAME = full;
      continue;
    }
    log.write_record(format_line("('OPENING FILE UNIT ',I3,' TO FILE ',A)", unit, full));
    UnitDirection direction = use == UnitUse::Input    ? UnitDirection::Input
                              : use == UnitUse::Output ? UnitDirection::Output
                                                       : UnitDirection::Update;
    if (!units.open(unit, full, direction)) stop_on_open_failure(io, full, description);
    if (unit == 27) names.RESULTS_STORE_FILE_NAME = full;
    if (unit == 22) {
      names.STATUS_FILE_ON = true;
      Unit& status = units.unit(22);
      status.write_record("Reading data sets ...");
      status.rewind();
    }
  }
  units.close(RUNDATA_UNIT);
  log.flush();
}

}  // namespace quendal
