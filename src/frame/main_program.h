// The program from its command line to the end of the run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "include/model.h"

namespace quendal {

// Runs one simulation; returns 0 on a normal end. The stops of a failed run are
// exceptions (FatalError, ImmediateStop, InputError) for the caller to turn into the
// exit status.
int MAIN_PROGRAM(const std::vector<std::string>& args, const std::string& current_dir,
                 Model& model);

// Called once right after the command line is read; does nothing.
void MAIN_START_HOOK();

// The whole program: MAIN_PROGRAM with every stop turned into its exit status, and a
// closing message for the stops that have not printed one.
int run_program(const std::vector<std::string>& args, const std::string& current_dir,
                Model& model);

// Runs `body` on the model and turns the stops into exit statuses: 1 after a fatal
// report, 2 after a stop without summary, 3 after an unreadable input value. The
// files are flushed and closed in every case, so nothing written before is lost.
int run_guarded(Model& model, const std::function<int()>& body);

}  // namespace quendal
