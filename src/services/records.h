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

// A record already read, offered again as a source of its own: a reader can parse it
// while its messages still name the file and the record it came from.
class RecordAt : public RecordSource {
 public:
  RecordAt(std::string_view record, const RecordSource& where)
      : record_(record), name_(where.source_name()), number_(where.record_number()) {}
  bool read_record(std::string& line) override;
  const std::string& source_name() const override { return name_; }
  long record_number() const override { return number_; }

 private:
  std::string record_;
  std::string name_;
  long number_;
  bool used_ = false;
};

// Passes the records of `source` on and keeps the ones read through it (their text and
// number), so that a caller can tell afterwards where each field of a statement lay.
class KeepingSource : public RecordSource {
 public:
  explicit KeepingSource(RecordSource& source) : source_(source) {}
  bool read_record(std::string& line) override;
  const std::string& source_name() const override { return source_.source_name(); }
  long record_number() const override { return source_.record_number(); }
  struct Kept {
    std::string text;
    long number;
  };
  const std::vector<Kept>& kept() const { return kept_; }

 private:
  RecordSource& source_;
  std::vector<Kept> kept_;
};

// Removes trailing carriage returns (and line feeds) from a record read from a file.
void strip_line_end(std::string& line);
// Trailing blanks removed, as texts are compared in the data files.
std::string trim_right(std::string_view text);
std::string trim(std::string_view text);

}  // namespace quendal
