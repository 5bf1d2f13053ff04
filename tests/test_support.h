// Small helpers shared by the tests: a scratch directory, whole-file reads and writes,
// running the built program.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quendal::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quendal_test_XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    path_ = made ? made : pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const {
    std::string p = file(name);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

 private:
  std::string path_;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  return lines;
}

// How many times `what` stands in `text`.
inline int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

inline bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

// Every file, folder and link under `root`, with a file's contents and a link's target:
// what a run that stops at start must leave exactly as it was.
inline std::map<std::string, std::string> tree_of(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(e.path(), root).string();
    if (e.is_symlink()) {
      tree[name] = "link to " + fs::read_symlink(e.path()).string();
    } else if (e.is_regular_file()) {
      tree[name] = read_file(e.path().string());
    } else {
      tree[name] = "folder";
    }
  }
  return tree;
}

struct CommandResult {
  int status = -1;
  std::string output;  // standard output and standard error together
};

// Runs `command` through the shell in `directory`, with standard input from /dev/null.
inline CommandResult run_command(const std::string& command, const std::string& directory = ".") {
  CommandResult r;
  std::string full = "cd '" + directory + "' && " + command + " </dev/null 2>&1";
  FILE* p = popen(full.c_str(), "r");
  if (!p) return r;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.output.append(buffer, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline std::string quendal_binary() { return QUENDAL_BINARY; }
inline std::string source_dir() { return QUENDAL_SOURCE_DIR; }

}  // namespace quendal::testing
