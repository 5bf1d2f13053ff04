// The command line and the run-data file: from the arguments to every file of the run
// open under its unit number.
//
// Every failure here prints its message on the console and stops the run at once
// (ImmediateStop, exit status 2); nothing goes through REPORT_ERROR.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "include/run_io.h"
#include "services/units.h"

namespace quendal {

constexpr int RUNDATA_UNIT = 2;
constexpr int LOG_UNIT = 52;
constexpr int FIRST_RUNDATA_UNIT = 10;
constexpr int LAST_RUNDATA_UNIT = 51;

// How a unit of the run-data file is opened.
enum class UnitUse { Input, Output, Update, NameOnly };
UnitUse RUNDATA_UNITS(int unit);

// Fills RUNDATA_FILE_NAME, RUN_NAME, RUN_DIR and START_DIR from the arguments (without
// the program name). `current_dir` is where "catchments.txt" is looked for and what
// START_DIR records.
void READ_COMMAND_LINE(const std::vector<std::string>& args, const std::string& current_dir,
                       RunIo& io);

// Writes the banner, reads the whole run-data file, then opens and locks every output
// of the run (the log, the files the run writes, the visualisation file) in
// io.output_locks and opens every input, before it empties any output and writes the
// log. A file that cannot be opened, or an output that another run holds, stops the run
// (exit status 2) with every output as it was and no file of its own left behind.
// Before any of that, a file the run writes (an output, the log, the level-discharge
// tables' diagnostics, the hot-start file) that is also named for another unit (an
// input, the run-data file, the catchment list, another output) stops the run the same
// way, having opened nothing for writing.
void OPEN_RUN_FILES(RunIo& io);

// The run name of a run-data file name: the characters between the last "rundata_" and
// the next "."; false when the name does not have that form. The last character of
// the name is never taken as that ".".
bool run_name_of(std::string_view file_name, std::string& run_name);

// Directory part of a name, after any drive designator, up to and including the last
// "/" ("" when there is none). Names use "/" by then.
std::string directory_of(std::string_view file_name);

// A name as read from a file: trailing blanks and carriage returns removed, "\" read
// as "/".
std::string name_from_line(std::string_view line);

}  // namespace quendal
