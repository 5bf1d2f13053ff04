#include "frame/run_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "services/formatted_writer.h"
#include "services/records.h"
#include "services/stops.h"
#include "surface/oc/zq_tables.h"

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

// The full name of a unit's file: names are relative to the run-data file's directory;
// an absolute name stands.
std::string full_name(const RunNames& names, const std::string& file) {
  return file.front() == '/' ? file : names.RUN_DIR + file;
}

// "ERROR OPENING FILE " and the name, then a line with the unit's description (as the
// run-data file gives it) and the system's reason, then the stop. Whatever this run
// created or locked goes first: the outputs stay as the run found them.
[[noreturn]] void stop_on_open_failure(RunIo& io, const std::string& full,
                                       const std::string& description, const std::string& reason) {
  io.units.close_all();
  io.output_locks.abandon();
  io.console.write_record("ERROR OPENING FILE " + full);
  stop_abnormal(io, " " + trim(description) + ": " + reason);
}

// One entry of the run-data file: the unit, its description and its file's full name.
struct RunEntry {
  int unit;
  std::string description;
  std::string full;
};

// A name as a place on disk, so that two names of one file sort together: the real
// directory and the file's name; the name as given when its directory does not exist.
std::string place_of(const std::string& full) {
  const std::string dir = directory_of(full);
  char* real = realpath(dir.empty() ? "." : dir.c_str(), nullptr);
  if (!real) return full;
  std::string place = std::string(real) + "/" + full.substr(dir.size());
  std::free(real);
  return place;
}

// Opens and locks every output of the run without emptying any: the log, the units
// written by the run and the visualisation file. Taken in the order of their places on
// disk, so two runs that share several files meet on the same one first and only one
// of them goes on. A file that cannot be opened, or that another run holds, stops the
// run with every output as it was and nothing created left behind.
void lock_outputs(RunIo& io, const std::vector<RunEntry>& entries) {
  std::vector<RunEntry> outputs{{LOG_UNIT, "log file (unit 52)", io.names.LOG_FILE_NAME}};
  for (const RunEntry& e : entries) {
    if (RUNDATA_UNITS(e.unit) == UnitUse::Output || e.unit == 50) outputs.push_back(e);
  }
  std::vector<std::pair<std::string, const RunEntry*>> order;
  for (const RunEntry& e : outputs) order.emplace_back(place_of(e.full), &e);
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [place, e] : order) {
    switch (io.output_locks.take(e->full)) {
      case OutputLocks::Outcome::Taken:
        break;
      case OutputLocks::Outcome::CannotOpen:
        stop_on_open_failure(io, e->full, e->description, io.output_locks.reason());
      case OutputLocks::Outcome::HeldByAnother:
        io.output_locks.abandon();
        io.console.write_record("OUTPUT FILE " + e->full +
                                " IS IN USE BY ANOTHER RUN: this run stops before emptying any output");
        stop_abnormal(io, std::string(" ").append(trim(e->description)));
    }
  }
}

// How the run uses a file it names. Files that are only read may share a name; a file
// that the run writes must be named once.
enum class FileRole { Read, Written, ReadAndWritten };

const char* role_text(FileRole role) {
  switch (role) {
    case FileRole::Read: return "read";
    case FileRole::Written: return "written";
    case FileRole::ReadAndWritten: return "read and written";
  }
  return "";
}

FileRole role_of(int unit) {
  if (unit == 28) return FileRole::ReadAndWritten;  // the hot-start file
  if (unit == 50) return FileRole::Written;          // the visualisation output
  // Units 14, 26, 30, 39 and 40 are opened without change and never written: whatever
  // file they name is kept as it is, like an input's.
  return RUNDATA_UNITS(unit) == UnitUse::Output ? FileRole::Written : FileRole::Read;
}

// A file named for the run: its unit, the unit's description, the name as the run has
// it, and how the run uses it.
struct NamedFile {
  int unit;
  std::string description;
  std::string full;
  FileRole role;
};

// Where a name that does not exist yet would be made: its directory with every link
// resolved, then its own name; a link there that leads nowhere yet is followed to where
// the file would be made. The name as given, made absolute and normal, when its
// directory cannot be resolved (it does not exist, and the file cannot be made).
std::string place_to_be(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char* real = realpath(dir.c_str(), nullptr);
    if (!real) break;
    std::string place = real;
    std::free(real);
    if (place.back() != '/') place += '/';
    place += name;
    char target[PATH_MAX];
    const ssize_t n = readlink(place.c_str(), target, sizeof target - 1);
    if (n <= 0) return place;
    target[n] = '\0';
    const std::string link_dir = place.substr(0, place.find_last_of('/') + 1);
    path = target[0] == '/' ? std::string(target) : link_dir + target;
  }
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

// What makes two names one file: the device and inode of a file that exists, the place
// it would be made for one that does not. Files that are not regular files are left to
// the opening: a device such as /dev/null holds nothing to lose, and a folder cannot be
// opened as a file.
struct FileIdentity {
  bool compared = false;
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string place;  // the resolved name, for the message
  bool operator==(const FileIdentity& o) const {
    if (!compared || !o.compared || exists != o.exists) return false;
    return exists ? device == o.device && inode == o.inode : place == o.place;
  }
};

FileIdentity identity_of(const std::string& full) {
  FileIdentity id;
  struct stat st;
  if (stat(full.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return id;
    id.compared = id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    char* real = realpath(full.c_str(), nullptr);
    id.place = real ? real : full;
    std::free(real);
  } else {
    id.compared = true;
    id.place = place_to_be(full);
  }
  return id;
}

// Stops the run before it opens anything for writing when a file it writes is also
// named for another unit: an output named as an input would empty the input, two
// outputs on one file would write through each other, and the hot-start file is read
// and written by its own unit alone. Every such file is named, with each unit that
// names it, how the run uses it and the name it gives.
void refuse_shared_files(RunIo& io, const std::vector<RunEntry>& entries) {
  const RunNames& names = io.names;
  std::vector<NamedFile> files{
      {RUNDATA_UNIT, "run-data file", names.RUNDATA_FILE_NAME, FileRole::Read}};
  bool zq_tables = false;
  for (const RunEntry& e : entries) {
    files.push_back({e.unit, trim(e.description), e.full, role_of(e.unit)});
    zq_tables = zq_tables || e.unit == ZQ_TABLE_UNIT;
  }
  files.push_back({LOG_UNIT, "log file", names.LOG_FILE_NAME, FileRole::Written});
  if (zq_tables) {
    files.push_back({ZQ_ECHO_UNIT, "level-discharge tables' echo", names.RUN_DIR + ZQ_ECHO_FILE,
                     FileRole::Written});
    files.push_back({ZQ_LOOKUP_UNIT, "level-discharge tables' lookups",
                     names.RUN_DIR + ZQ_LOOKUP_FILE, FileRole::Written});
    files.push_back({ZQ_FLOW_UNIT, "level-discharge tables' flows", names.RUN_DIR + ZQ_FLOW_FILE,
                     FileRole::Written});
  }
  if (!names.CATCHMENT_LIST_FILE_NAME.empty()) {
    files.push_back({875, "catchment list", names.CATCHMENT_LIST_FILE_NAME, FileRole::Read});
  }

  std::vector<FileIdentity> ids;
  ids.reserve(files.size());
  for (const NamedFile& f : files) ids.push_back(identity_of(f.full));
  std::vector<bool> reported(files.size(), false);
  bool refused = false;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (reported[i]) continue;
    std::vector<std::size_t> group{i};
    bool written = files[i].role != FileRole::Read;
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      if (!reported[j] && ids[j] == ids[i]) {
        group.push_back(j);
        written = written || files[j].role != FileRole::Read;
      }
    }
    if (group.size() < 2 || !written) continue;
    refused = true;
    io.console.write_record("FILE " + ids[i].place +
                            " IS NAMED FOR MORE THAN ONE UNIT AND THE RUN WRITES IT: "
                            "this run stops before writing any file");
    for (std::size_t k : group) {
      reported[k] = true;
      const NamedFile& f = files[k];
      const std::string description = f.description.empty() ? "" : " " + f.description;
      io.console.write_record(" unit " + std::to_string(f.unit) + " (" + role_text(f.role) + ")" +
                              description + ": " + f.full);
    }
  }
  if (refused) {
    io.console.write_record("ABNORMAL END");
    io.units.flush_all();
    throw ImmediateStop("a file the run writes is named for more than one unit");
  }
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
    stop_free(io, "Missing filename   Use -f filename");
  } else if (option == "-f") {
    if (args.size() > 1) name = args[1];
  } else if (option == "-c") {
    std::string catchment = args.size() > 1 ? args[1] : "default";
    std::string dir = current_dir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    std::string list = dir + CATCHMENT_LIST;
    if (!file_exists(list)) {
      stop_free(io, std::string("Cannot find file ") + CATCHMENT_LIST +
                        " in the current directory" +
                        (current_dir.empty() ? "" : " " + current_dir));
    }
    if (!find_catchment(io, list, catchment, name)) {
      stop_free(io, "cannot find catchment " + trim_right(catchment) + " in " + CATCHMENT_LIST);
    }
    names.CATCHMENT_LIST_FILE_NAME = list;
  } else {
    io.console.write_record(" Unrecognised command line argument " + trim_right(option) +
                            " Recognise only -a, -c and -f");
    stop_free(io, "Usage: quendal -f rundata_<name>.txt  or  quendal -c <catchment>");
  }

  name = name_from_line(name);
  if (name.empty()) stop_free(io, "Missing filename   Use -f filename");
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
  Unit& rundata = units.unit(RUNDATA_UNIT);

  // The whole run-data file first: every entry is known before any file is touched.
  std::string title;
  if (!rundata.read_record(title)) {
    io.console.write_record("ERROR OPENING RUNDATA FILE " + names.RUN_NAME);
    stop_abnormal(io, " the run-data file " + names.RUNDATA_FILE_NAME + " is empty");
  }
  // Per unit 10..51: its description (absent once the file has ended) and its entry.
  std::vector<std::string> descriptions;
  std::vector<RunEntry> entries;  // the units that name a file
  int unit = FIRST_RUNDATA_UNIT;
  for (; unit <= LAST_RUNDATA_UNIT; ++unit) {
    std::string description, name_line;
    bool complete = rundata.read_record(description);
    if (complete) descriptions.push_back(description);
    complete = complete && rundata.read_record(name_line);
    if (!complete) {
      // The file may end after the entry of unit 13: the rest are not used.
      if (unit <= 13) stop_abnormal(io, "UNEXPECTED -EOF- ON FILE " + names.RUN_NAME);
      break;
    }
    const std::string file = name_from_line(name_line);
    if (!file.empty() && file != "0") entries.push_back({unit, description, full_name(names, file)});
  }
  const int last_read = unit;  // the first unit whose entry the file did not reach
  units.close(RUNDATA_UNIT);

  // No file the run writes may be named twice; then every output opened and locked,
  // then every input opened, before any output is emptied: a run that cannot start
  // leaves the files of the run before it as they were.
  refuse_shared_files(io, entries);
  lock_outputs(io, entries);
  std::vector<std::string> created;  // update files made here, removed if the run stops
  for (const RunEntry& e : entries) {
    const UnitUse use = RUNDATA_UNITS(e.unit);
    if (use != UnitUse::Input && use != UnitUse::Update) continue;
    const bool existed = file_exists(e.full);
    if (!units.open(e.unit, e.full, use == UnitUse::Input ? UnitDirection::Input
                                                          : UnitDirection::Update)) {
      const std::string reason = units.open_failure();
      for (const std::string& f : created) ::unlink(f.c_str());
      stop_on_open_failure(io, e.full, e.description, reason);
    }
    if (!existed) created.push_back(e.full);
  }

  // Now the log and the outputs, emptied, in the order of the run-data file.
  if (!units.open_output(LOG_UNIT, names.LOG_FILE_NAME,
                         io.output_locks.descriptor(names.LOG_FILE_NAME))) {
    stop_on_open_failure(io, names.LOG_FILE_NAME, "log file (unit 52)", units.open_failure());
  }
  Unit& log = units.unit(LOG_UNIT);
  log.write_record(title);
  log.write_record("");
  auto not_used = [&](int u) {
    if (u == 45 || u == 46) names.AIR_TEMPERATURE_FILES_ON = false;
    if (u == 47) names.EXTRA_DISCHARGE_POINTS_ON = false;
    if (u == 51) names.ZQ_TABLES_ON = false;
  };
  std::size_t next = 0;
  for (int u = FIRST_RUNDATA_UNIT; u <= LAST_RUNDATA_UNIT; ++u) {
    const std::size_t k = static_cast<std::size_t>(u - FIRST_RUNDATA_UNIT);
    if (k < descriptions.size()) log.write_record(descriptions[k]);
    if (u >= last_read) {
      not_used(u);
      continue;
    }
    if (next >= entries.size() || entries[next].unit != u) {
      not_used(u);
      log.write_record("- NOT USED");
      continue;
    }
    const RunEntry& e = entries[next++];
    const UnitUse use = RUNDATA_UNITS(u);
    if (use == UnitUse::NameOnly) {
      log.write_record(format_line("('FILE ',I3,' IS ',A)", u, e.full));
      if (u == 48) names.PLAN_FILE_NAME = e.full;
      if (u == 49) names.CHECK_FILE_NAME = e.full;
      if (u == 50) names.HDF5_FILE_NAME = e.full;
      continue;
    }
    log.write_record(format_line("('OPENING FILE UNIT ',I3,' TO FILE ',A)", u, e.full));
    if (use == UnitUse::Output &&
        !units.open_output(u, e.full, io.output_locks.descriptor(e.full))) {
      stop_on_open_failure(io, e.full, e.description, units.open_failure());
    }
    if (u == 27) names.RESULTS_STORE_FILE_NAME = e.full;
    if (u == 22) {
      names.STATUS_FILE_ON = true;
      Unit& status = units.unit(22);
      status.write_record("Reading data sets ...");
      status.rewind();
    }
  }
  log.flush();
}

}  // namespace quendal
