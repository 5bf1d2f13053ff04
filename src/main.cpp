// quendal: runs one catchment simulation from its run-data file.
//   quendal -f path/rundata_<name>.txt
//   quendal -c <catchment>      (looked up in catchments.txt)
// Exit status: 0 normal end, 1 fatal error, 2 stop without summary (command line,
// run files, date checks), 3 unreadable input value, 4 internal error.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "frame/main_program.h"
#include "include/model.h"

int main(int argc, char** argv) {
  // A write past the process's limit on the size of files would otherwise end the
  // program with a signal, before it can say which file and close the others; ignored,
  // the write fails with "File too large" and the run stops with its own error.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string current_dir;
  if (char* cwd = getcwd(nullptr, 0)) {
    current_dir = cwd;
    free(cwd);
  }
  try {
    quendal::Model model;
    return quendal::run_program(args, current_dir, model);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quendal: internal error: %s\n", e.what());
    return 4;
  }
}
