#include "services/records.h"

namespace quendal {

std::string describe_place(const FieldPlace& place) {
  std::string s = "file " + place.file + ", record " + std::to_string(place.record);
  if (place.first_column > 0) {
    s += ", columns " + std::to_string(place.first_column) + "-" + std::to_string(place.last_column);
    s += ": \"" + place.text + "\"";
  }
  return s;
}

FieldPlace joined_place(const FieldLog& places, const std::string& file, long record) {
  FieldPlace joined;
  joined.file = file;
  joined.record = record;
  for (const FieldPlace& p : places) {
    if (p.file != file || p.record != record || p.first_column == 0) continue;
    if (joined.first_column == 0) joined.first_column = p.first_column;
    joined.last_column = p.last_column;
    joined.text += (joined.text.empty() ? "" : " ") + p.text;
  }
  return joined;
}

std::string value_read_from(const FieldPlace& place) {
  return "the value was read from " + describe_place(place);
}

StringSource::StringSource(std::vector<std::string> lines, std::string name)
    : lines_(std::move(lines)), name_(std::move(name)) {
  for (auto& l : lines_) strip_line_end(l);
}

StringSource StringSource::from_text(std::string_view text, std::string name) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return StringSource(std::move(lines), std::move(name));
}

bool StringSource::read_record(std::string& line) {
  if (next_ >= static_cast<long>(lines_.size())) {
    line.clear();
    return false;
  }
  line = lines_[static_cast<std::size_t>(next_++)];
  return true;
}

bool RecordAt::read_record(std::string& line) {
  if (used_) {
    line.clear();
    return false;
  }
  used_ = true;
  line = record_;
  return true;
}

bool KeepingSource::read_record(std::string& line) {
  if (!source_.read_record(line)) return false;
  kept_.push_back({line, source_.record_number()});
  return true;
}

void strip_line_end(std::string& line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
}

std::string trim_right(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t')) --n;
  return std::string(text.substr(0, n));
}

std::string trim(std::string_view text) {
  std::size_t b = 0;
  while (b < text.size() && (text[b] == ' ' || text[b] == '\t')) ++b;
  return trim_right(text.substr(b));
}

}  // namespace quendal
