#include "services/stops.h"

namespace quendal {

namespace {
std::string describe(const std::string& file, long record, int first_column, int last_column,
                     const std::string& text, const std::string& problem) {
  std::string s = problem + " in file " + file + ", record " + std::to_string(record);
  if (first_column > 0) {
    s += ", columns " + std::to_string(first_column) + "-" + std::to_string(last_column);
  }
  if (!text.empty() || first_column > 0) s += ": \"" + text + "\"";
  return s;
}
}  // namespace

InputError::InputError(const std::string& file_, long record_, int first_column_, int last_column_,
                       const std::string& text_, const std::string& problem)
    : std::runtime_error(describe(file_, record_, first_column_, last_column_, text_, problem)),
      file(file_),
      record(record_),
      first_column(first_column_),
      last_column(last_column_),
      text(text_) {}

EndOfFileError::EndOfFileError(const std::string& file_, long record_)
    : InputError(file_, record_, 0, 0, "", "End of file reached after the last record") {}

}  // namespace quendal
