// Where records come from and where they go.
//
// A record is one line of a text file without its line end (a trailing carriage
// return from a Windows-written file is stripped). Readers take a RecordSource and
// writers a RecordSink, so the same reader serves a unit of the run, a text in memory
// (tests) or any other line source.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quendal {

// Where one value of a statement was read: the file, the record, the columns of its
// field (0 when the item was left unchanged by a null value) and the text as written.
// A value found wrong after it was read can then be shown where the user typed it.
struct FieldPlace {
  std::string file;
  long record = 0;
  int first_column = 0;
  int last_column = 0;
  std::string text;
};
using FieldLog = std::vector<FieldPlace>;

// "file F, record R, columns a-b: "text"" (the columns and text only when known).
std::string describe_place(const FieldPlace& place);
// The place of several values of one record read in turn (a date, a row of
// fractions): the columns from the first to the last of `places` that lie in record
// `record` of `file`, and their texts separated by blanks; the others are left out.
FieldPlace joined_place(const FieldLog& places, const std::string& file, long record);
// The line after a report that a value read is wrong: "the value was read from " and
// its place, as above.
std::string value_read_from(const FieldPlace& place);

class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Next record into `line`; false at the end of the file (line left empty).
  virtual bool read_record(std::string& line) = 0;
  // Name shown in input-error messages.
  virtual const std::string& source_name() const = 0;
  // Number of the record read last (1 for the first record of the file).
  virtual long record_number() const = 0;

  // The log the readers append the place of every item they read to, one entry per
  // item and in the order of the items; none unless a FieldLogScope set one.
  virtual FieldLog* field_log() const { return field_log_; }
  void set_field_log(FieldLog* log) { field_log_ = log; }

  // The date-stamped series readers keep here the time of the last record they took
  // from this source, so that each record can be checked to come after the one before.
  bool has_series_time() const { return has_series_time_; }
  double series_time() const { return series_time_; }
  void set_series_time(double hours) {
    series_time_ = hours;
    has_series_time_ = true;
  }

 protected:
  void forget_series_time() { has_series_time_ = false; }

 private:
  FieldLog* field_log_ = nullptr;
  double series_time_ = 0.0;
  bool has_series_time_ = false;
};

// Collects the places of the items read from `source` while it lives (entries are
// appended to `log`). Scopes nest: the source's earlier log, if any, is restored at the
// end and gets the entries collected meanwhile as well.
class FieldLogScope {
 public:
  FieldLogScope(RecordSource& source, FieldLog& log)
      : source_(source), log_(log), first_(log.size()), previous_(source.field_log()) {
    source_.set_field_log(&log);
  }
  ~FieldLogScope() {
    source_.set_field_log(previous_);
    if (previous_ != nullptr && previous_ != &log_) {
      previous_->insert(previous_->end(), log_.begin() + static_cast<std::ptrdiff_t>(first_),
                        log_.end());
    }
  }
  FieldLogScope(const FieldLogScope&) = delete;
  FieldLogScope& operator=(const FieldLogScope&) = delete;

 private:
  RecordSource& source_;
  FieldLog& log_;
  std::size_t first_;
  FieldLog* previous_;
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
  void rewind() {
    next_ = 0;
    forget_series_time();
  }

 private:
  std::vector<std::string> lines_;
  std::string name_;
  long next_ = 0;
};

// A record already read, offered again as a source of its own: a reader can parse it
// while its messages still name the file and the record it came from.
class RecordAt : public RecordSource {
 public:
  RecordAt(std::string_view record, const RecordSource& where)
      : record_(record), name_(where.source_name()), number_(where.record_number()) {
    set_field_log(where.field_log());
  }
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
  FieldLog* field_log() const override { return source_.field_log(); }
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
