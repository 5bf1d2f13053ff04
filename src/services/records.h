// Where records come from and where they go.
//
// A record is one line of a text file without its line end (a trailing carriage
// return from a Windows-written file is stripped). Readers take a RecordSource and
// writers a RecordSink, so the same reader serves a unit of the run, a text in memory
// (tests) or any other line source.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quendal {

class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Next record into `line`; false at the end of the file (line left empty).
  virtual bool read_record(std::string& line) = 0;
  // Name shown in input-error messages.
  virtual const std::string& source_name() const = 0;
  // Number of the record read last (1 for the first record of the file).
  virtual long record_number() const = 0;
};

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void write_record(std::string_view record) = 0;
};

// Records held in memory.
class StringSource : public RecordSource {
 public:
  explicit StringSource(std::vector<std::string> lines, std::string name = "(text)");
  // Splits `text` at line ends; a final line end does not start another record.
  static StringSource from_text(std::string_view text, std::string name = "(text)");
  bool read_record(std::string& line) override;
  const std::string& source_name() const override { return name_; }
  long record_number() const override { return next_; }
  void rewind() { next_ = 0; }

 private:
  std::vector<std::string> lines_;
  std::string name_;
  long next_ = 0;
};

class StringSink : public RecordSink {
 public:
  void write_record(std::string_view record) override { records.emplace_back(record); }
  std::string text() const;  // records joined, each followed by '\n'
  std::vector<std::string> records;
};

// Removes trailing carriage returns (and line feeds) from a record read from a file.
void strip_line_end(std::string& line);
// Trailing blanks removed, as texts are compared in the data files.
std::string trim_right(std::string_view text);
std::string trim(std::string_view text);

}  // namespace quendal
