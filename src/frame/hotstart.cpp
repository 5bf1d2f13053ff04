#include "frame/hotstart.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contaminant/cm_initialise.h"
#include "contaminant/cm_saved_state.h"
#include "frame/early_counts.h"
#include "frame/element_order.h"
#include "frame/met_data.h"
#include "sediment/sy_saved_state.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/record_reader.h"
#include "services/stops.h"
#include "subsurface/vss_setup.h"

namespace quendal {
namespace {

constexpr int VALUES_PER_LINE = 5;

// A record's time carries the round-off of the steps that reached it (36.499999999999986
// h for the 36.5 h record of half-hour steps): a record this little below the time asked
// for is the record for that time.
constexpr double HOTSTART_TIME_TOLERANCE = 1e-6;  // h

// The deepest surface water a record may hold, m: far above any flood, far below the
// levels a corrupted file or a diverging run produces.
constexpr double HOTSTART_MAX_SURFACE_DEPTH = 1000.0;
// The lowest temperature a snow pack can have, deg C.
constexpr double ABSOLUTE_ZERO = -273.15;

// ---- the record's check ----------------------------------------------------------------
//
// A record written by this version carries CHECK_MARK on its first line, after its
// time, step and top cell, and ends with a check line of its own: CHECK_LABEL, the
// number of values in the record and a hash of its text in 16 hexadecimal digits. The
// text is every line from the first to the last before the check line, each line's
// characters followed by one line feed; a line's end is not part of it otherwise, so a
// copy of the file with carriage returns before the line feeds still checks.
//
// The hash is FNV-1a of 64 bits. Each byte changes the sum by h = (h xor b) * p with
// an odd p, a step that is one-to-one on the 64-bit sum, so two texts of one length that
// differ in a single byte always have different sums: a changed digit, sign, point or
// exponent never passes. Any other change passes with a chance of 2^-64 (CRC-32, the
// other candidate, leaves 2^-32 and needs a table). A record cut short loses values,
// which the count shows plainly; and a record cut inside its last value has lost its
// check line altogether. Records without the mark (written before records were
// checked) are read without a check, as they always were.
constexpr std::string_view CHECK_MARK = "CHECK=FNV1A64";
constexpr std::string_view CHECK_LABEL = "CHECK=";
constexpr int CHECK_HASH_DIGITS = 16;

class TextCheck {
 public:
  void add_line(std::string_view line) {
    for (const char c : line) add_byte(static_cast<unsigned char>(c));
    add_byte('\n');
  }
  void add_values(long n) { values_ += n; }
  long values() const { return values_; }
  std::uint64_t hash() const { return hash_; }

 private:
  void add_byte(unsigned char b) { hash_ = (hash_ ^ b) * 0x100000001b3ULL; }
  std::uint64_t hash_ = 0xcbf29ce484222325ULL;
  long values_ = 0;
};

std::string hash_text(std::uint64_t hash) {
  char buffer[CHECK_HASH_DIGITS + 1];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash));
  return buffer;
}

// The blank-separated words of a line.
std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (true) {
    at = line.find_first_not_of(" \t", at);
    if (at == std::string_view::npos) return words;
    const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
}

// Whether `line` begins with the word `word`.
bool begins_with_word(std::string_view line, std::string_view word) {
  const std::size_t at = line.find_first_not_of(" \t");
  if (at == std::string_view::npos || line.substr(at, word.size()) != word) return false;
  const std::size_t end = at + word.size();
  return end == line.size() || line[end] == ' ' || line[end] == '\t';
}

// The values of a line of a record: its words but the labels (which end in "=") and the
// mark.
long values_in(std::string_view line) {
  long n = 0;
  for (const std::string_view word : words_of(line)) {
    if (!word.ends_with('=') && word != CHECK_MARK) ++n;
  }
  return n;
}

// Whether the first line of a record says that the record carries a check: "time=", its
// three values, then the mark.
bool carries_check(std::string_view first_line) {
  const std::vector<std::string_view> words = words_of(first_line);
  return words.size() >= 5 && words[0] == "time=" && words[4] == CHECK_MARK;
}

// Whether `line` begins as the first line of a record does, or as the start of one: its
// first word "time=" or the first letters of it.
bool begins_like_head(std::string_view line) {
  const std::vector<std::string_view> words = words_of(line);
  constexpr std::string_view head = "time=";
  return !words.empty() && words[0].size() <= head.size() && head.starts_with(words[0]);
}

// Writes the items of one record as lines of a few values each, and its check.
class RecordWriter {
 public:
  explicit RecordWriter(RecordSink& sink) : sink_(sink) {}
  ~RecordWriter() { flush(); }
  void label(const char* text) {
    flush();
    line_ = text;
  }
  // A word of the line that is not a value (the mark on the first line).
  void word(std::string_view text) {
    line_ += ' ';
    line_ += text;
  }
  void value(double x) {
    // The shortest text that reads back to the same double.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
    add(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
  }
  void value(int n) { add(std::to_string(n)); }
  void flush() {
    if (!line_.empty()) write_line();
    count_ = 0;
  }
  // Ends the record with its check line.
  void finish() {
    flush();
    sink_.write_record(std::string(CHECK_LABEL) + " " + std::to_string(check_.values()) + " " +
                       hash_text(check_.hash()));
  }

 private:
  void add(std::string_view text) {
    if (count_ == VALUES_PER_LINE) {
      write_line();
      count_ = 0;
    }
    line_ += ' ';
    line_ += text;
    ++count_;
    check_.add_values(1);
  }
  void write_line() {
    sink_.write_record(line_);
    check_.add_line(line_);
    line_.clear();
  }
  RecordSink& sink_;
  std::string line_;
  int count_ = 0;
  TextCheck check_;
};

// One record as read, applied to the model only once it is complete and checked.
struct HotstartRecord {
  double time = 0.0, step = 0.0;
  int top_cell = 0;
  std::vector<double> cstore, hrf, qsa, qoc, dq0st, dqist, dqist2, sd, ts;
  std::vector<int> nsmc;
  std::vector<std::vector<double>> smelt, tmelt;
  // The state a step carries over that the items above do not hold: the element order
  // (its sort is not exact, so it depends on the order before), the moisture contents
  // the subsurface booked from its flows, the relative conductivities of its last
  // iterate, the vegetation parameters of the last met record read, and the channel
  // links' net rain and ground evaporation, which the driver sets after the subsurface
  // step, so that the next step's subsurface reads those of the step before. Records
  // written before these items existed lack them; the restart then derives the first
  // four and starts the links from none.
  bool continuation = false;
  std::vector<int> isort;
  std::vector<double> theta, kr, vegetation, link_rain, link_evaporation;
  // The operating column of each level-discharge table, which the run chooses once a
  // day and keeps in between: a restart between two choices goes on with the column of
  // the last one. Records written before this item existed lack it; the restart then
  // starts every table from its first discharge column, as a cold start does.
  bool zq_columns_given = false;
  std::vector<int> zq_columns;
  // The length of the last subsurface step (s, 0 before the first) and the heads at its
  // start, from which the next step extrapolates its first heads. Records written
  // before these were kept lack them; the restart's first step then starts from the
  // saved heads, and the run follows the saved one within the column iteration's
  // tolerance.
  bool step_before = false;
  double last_step_seconds = 0.0;
  std::vector<double> psi_start;
  // Each element's water-balance error accumulated so far and its storage at the last
  // step, which the next step's balance starts from. Records written before these were
  // kept lack them; the restart's balance errors then accumulate anew from its second
  // step.
  bool balance_given = false;
  std::vector<double> balance_error, balance_storage;
  // The state of sediment and contaminants, each when the saving run had set it up.
  // Records written before these were kept lack them; the component then starts afresh
  // when it is due (with warning 1097 when it was due already).
  SavedState sediment, contaminant;
  std::vector<double> vspsi;
};

// A label or count of the file that does not fit this run, or a value its item cannot
// hold: the item's label, and the element and cell concerned (0 when none).
struct RecordMisfit {
  std::string what;
  int element = 0, cell = 0;
};

// The lines of the hot-start file, with a line put back when a record's reader has met
// the first line of the next record.
class FileLines {
 public:
  explicit FileLines(Unit& unit) : unit_(unit) {}
  bool next(std::string& line) {
    if (held_) {
      line = std::move(*held_);
      held_.reset();
      ++number_;
      return true;
    }
    if (!unit_.read_record(line)) return false;
    number_ = unit_.record_number();
    return true;
  }
  void put_back(std::string line) {
    held_ = std::move(line);
    --number_;
  }
  // The first line of the next record, past blank lines; false at the end of the file.
  bool next_head(std::string& line) {
    while (next(line)) {
      if (line.find_first_not_of(" \t") != std::string::npos) return true;
    }
    return false;
  }
  // Whether nothing but blank lines follows.
  bool at_end() {
    std::string line;
    if (!next_head(line)) return true;
    put_back(std::move(line));
    return false;
  }
  // The number of the line taken last (1 for the first line of the file).
  long number() const { return number_; }
  const std::string& name() const { return unit_.path(); }

 private:
  Unit& unit_;
  std::optional<std::string> held_;
  long number_ = 0;
};

// The lines of one record, its first line already taken. A checked record ends at its
// check line, or, when that is missing, before the first line of the next record or at
// the end of the file; its text is summed as it is handed out. A record without the
// mark ends where its reader stops reading, as records always did.
class RecordLines : public RecordSource {
 public:
  RecordLines(FileLines& lines, std::string first, bool checked)
      : lines_(lines), first_(std::move(first)), checked_(checked) {}
  bool read_record(std::string& line) override {
    if (first_) {
      line = std::move(*first_);
      first_.reset();
    } else if (ended_ || !lines_.next(line)) {
      ended_ = true;
      line.clear();
      return false;
    } else if (checked_ && begins_with_word(line, CHECK_LABEL)) {
      check_line_ = std::move(line);
      ended_ = true;
      line.clear();
      return false;
    } else if (checked_ && begins_with_word(line, "time=")) {
      lines_.put_back(std::move(line));
      ended_ = next_follows_ = true;
      line.clear();
      return false;
    }
    check_.add_line(line);
    check_.add_values(values_in(line));
    ++handed_out_;
    return true;
  }
  const std::string& source_name() const override { return lines_.name(); }
  long record_number() const override { return lines_.number(); }

  // Takes the lines of a checked record up to its end; the number of lines taken.
  long read_to_end() {
    const long before = handed_out_;
    std::string line;
    while (read_record(line)) {
    }
    return handed_out_ - before;
  }
  // After read_to_end: what is wrong with the record's check ("" when it holds).
  std::string check_fault() const {
    if (check_line_.empty()) {
      return std::string("the record's first line says it carries a check and it has none (") +
             (next_follows_ ? "the next record follows" : "the file ends") + " where its \"" +
             std::string(CHECK_LABEL) + "\" line belongs)";
    }
    const std::vector<std::string_view> words = words_of(check_line_);
    long values = -1;
    if (words.size() != 3 || !parse_fortran_integer(words[1], values) || values < 0 ||
        words[2].size() != CHECK_HASH_DIGITS ||
        words[2].find_first_not_of("0123456789abcdef") != std::string_view::npos) {
      return "its check line \"" + check_line_ + "\" is not the count of its values and " +
             std::to_string(CHECK_HASH_DIGITS) + " hexadecimal digits";
    }
    if (values != check_.values()) {
      return "the record holds " + std::to_string(check_.values()) +
             " values where its check line counts " + std::to_string(values);
    }
    if (words[2] != hash_text(check_.hash())) {
      return "the record's text sums to " + hash_text(check_.hash()) + " where its check line gives " +
             std::string(words[2]) + ": the text was changed after it was written";
    }
    return "";
  }
  // Whether the first line of another record followed this one.
  bool next_follows() const { return next_follows_; }

 private:
  FileLines& lines_;
  std::optional<std::string> first_;
  bool checked_;
  bool ended_ = false, next_follows_ = false;
  long handed_out_ = 0;
  std::string check_line_;
  TextCheck check_;
};

class RecordReader {
 public:
  // `checked`: the record's first line carries the mark of a checked record.
  RecordReader(RecordSource& source, const Model& model, bool checked)
      : source_(source), model_(model), checked_(checked) {}

  void read(HotstartRecord& r) {
    r = HotstartRecord();
    label_ = "time=";
    time_read_ = false;
    read_.emplace(source_);
    const FrameState& frame = model_.frame;
    const SubsurfaceState& v = model_.subsurface;
    const int nel = frame.NEL, nlf = frame.NLF, first = frame.NGDBGN;
    const long cells = static_cast<long>(v.LL) * nel;
    label("time=");
    *read_ >> r.time;
    time_read_ = true;
    *read_ >> r.step >> r.top_cell;
    if (r.top_cell != v.LL) {
      throw RecordMisfit{"top cell LL = " + std::to_string(r.top_cell) + " where this run has " +
                         std::to_string(v.LL)};
    }
    if (checked_) {
      std::string mark;
      *read_ >> mark;
    }
    values("cstore=", r.cstore, nel - first + 1);
    values("HRF=", r.hrf, nel);
    values("QSA=", r.qsa, 4 * nel);
    values("QOC=", r.qoc, 4 * nel);
    values("DQ0ST=", r.dq0st, 4 * nel);
    values("DQIST=", r.dqist, 4 * nel);
    values("DQIST2=", r.dqist2, 3 * nlf);
    values("SD=", r.sd, nel - first + 1);
    values("TS=", r.ts, nel - first + 1);
    label("NSMC=");
    r.nsmc.assign(static_cast<std::size_t>(nel - first + 1), 0);
    for (std::size_t i = 0; i < r.nsmc.size(); ++i) {
      *read_ >> r.nsmc[i];
      if (r.nsmc[i] < 0) {
        throw RecordMisfit{"NSMC = " + std::to_string(r.nsmc[i]) + " is negative",
                           first + static_cast<int>(i)};
      }
    }
    slugs("SMELT=", r.nsmc, r.smelt);
    slugs("TMELT=", r.nsmc, r.tmelt);
    // The items of the continuation come before the heads, so that a record still ends
    // with its heads whatever its layout, and a record cut anywhere is seen as cut.
    label_ = "vspsi=";
    std::string text;
    *read_ >> text;
    r.continuation = text == "ISORT=";
    if (r.continuation) {
      label_ = "ISORT=";
      r.isort.assign(static_cast<std::size_t>(nel), 0);
      for (int& e : r.isort) *read_ >> e;
      values("CELL_THETA=", r.theta, cells);
      values("CELL_KR=", r.kr, cells);
      values("VEGETATION=", r.vegetation, 4L * frame.NV);
      values("PNETTO=", r.link_rain, nlf);
      values("ET_GROUND_EVAP=", r.link_evaporation, nlf);
      label_ = "vspsi=";
      *read_ >> text;
      // Items added later, each optional, in the order they are written.
      r.zq_columns_given = optional_item(text, "ZQ_COLUMN=", r.zq_columns, model_.surface.ZQ_TABLE_COUNT);
      r.step_before = text == "PSI_START=";
      if (r.step_before) {
        label_ = "PSI_START=";
        *read_ >> r.last_step_seconds;
        r.psi_start.assign(static_cast<std::size_t>(cells), 0.0);
        for (double& x : r.psi_start) *read_ >> x;
        label_ = "vspsi=";
        *read_ >> text;
      }
      r.balance_given = optional_item(text, "ELEMENT_BALANCE_ERROR=", r.balance_error, nel);
      if (r.balance_given && !optional_item(text, "BALANCE_PREVIOUS_STORAGE=", r.balance_storage, nel)) {
        throw RecordMisfit{"found \"" + text + "\" where \"BALANCE_PREVIOUS_STORAGE=\" belongs"};
      }
      optional_state(text, SY_SAVED_STATE_LABEL, r.sediment, [&](const std::vector<long>& c) {
        count(c[0], 1, INT_MAX, "the sediment call count SY_CALL_COUNT");
        count(c[1], 1, NSEDEE, "the number of size groups NSED");
        return SY_SAVED_LAYOUT(frame, static_cast<int>(c[1]));
      });
      optional_state(text, CM_SAVED_STATE_LABEL, r.contaminant, [&](const std::vector<long>& c) {
        count(c[0], 1, CM_MAX_CONTAMINANTS, "the number of contaminants NCON");
        count(c[1], 1, NSEDEE, "the number of size groups NSED");
        return CM_SAVED_LAYOUT(model_, static_cast<int>(c[0]), static_cast<int>(c[1]));
      });
      if (text != "vspsi=") {
        throw RecordMisfit{"found \"" + text + "\" where \"vspsi=\" belongs"};
      }
    } else if (text != "vspsi=") {
      throw RecordMisfit{"found \"" + text + "\" where \"vspsi=\" belongs"};
    }
    r.vspsi.assign(static_cast<std::size_t>(cells), 0.0);
    for (double& x : r.vspsi) *read_ >> x;
    read_->finish();
  }
  const std::string& last_label() const { return label_; }
  bool time_read() const { return time_read_; }
  // The label of the component state whose items were being read when reading stopped
  // ("" when none), and the counts it gave.
  const std::string& state_label() const { return state_label_; }
  const std::vector<long>& state_counts() const { return state_counts_; }

 private:
  void label(const char* expected) {
    label_ = expected;
    std::string text;
    *read_ >> text;
    if (text != expected) throw RecordMisfit{"found \"" + text + "\" where \"" + expected + "\" belongs"};
  }
  void values(const char* name, std::vector<double>& v, long n) {
    label(name);
    v.assign(static_cast<std::size_t>(n), 0.0);
    for (double& x : v) *read_ >> x;
  }
  // An item that a record may lack: when `text` is its label, its n values, and the
  // label that follows into `text`.
  template <class T>
  bool optional_item(std::string& text, const char* name, std::vector<T>& v, long n) {
    if (text != name) return false;
    label_ = name;
    v.assign(static_cast<std::size_t>(n), T());
    for (T& x : v) *read_ >> x;
    label_ = "vspsi=";
    *read_ >> text;
    return true;
  }
  // A component's state, which a record may lack: when `text` is its label, two counts,
  // then the items `layout` lays out for them, each after its own label; and the label
  // that follows into `text`.
  template <class Layout>
  void optional_state(std::string& text, const char* name, SavedState& s, Layout layout) {
    if (text != name) return;
    label_ = name;
    std::vector<long> counts(2, 0);
    for (long& c : counts) *read_ >> c;
    s = layout(counts);
    s.counts = counts;
    // Counts that fit their bounds but not the items that follow them: a count changed in
    // the file, or a run whose data files give other counts than the saving run's.
    state_label_ = name;
    state_counts_ = counts;
    for (SavedItem& item : s.items) {
      label(item.label.c_str());
      for (double& x : item.values) *read_ >> x;
    }
    state_label_.clear();
    s.given = true;
    label_ = "vspsi=";
    *read_ >> text;
  }
  static void count(long n, long lo, long hi, const std::string& what) {
    if (n < lo || n > hi) {
      throw RecordMisfit{what + " is " + std::to_string(n) + ", outside " + std::to_string(lo) +
                         " to " + std::to_string(hi)};
    }
  }
  void slugs(const char* name, const std::vector<int>& counts, std::vector<std::vector<double>>& v) {
    label(name);
    v.assign(counts.size(), {});
    for (std::size_t i = 0; i < counts.size(); ++i) {
      v[i].assign(static_cast<std::size_t>(counts[i]), 0.0);
      for (double& x : v[i]) *read_ >> x;
    }
  }
  RecordSource& source_;
  std::optional<ListRead> read_;
  const Model& model_;
  bool checked_;
  std::string label_;
  bool time_read_ = false;
  std::string state_label_;
  std::vector<long> state_counts_;
};

// ---- checks of a complete record -------------------------------------------------------

std::string number_text(double x) { return trim(format_line("(1PG14.6)", x)); }

// Refuses a value that is not finite or lies outside lo..hi, naming the quantity and
// the element and cell it belongs to (0 for none).
void require_value(double x, double lo, double hi, const std::string& quantity, int element = 0,
                   int cell = 0) {
  if (std::isfinite(x) && x >= lo && x <= hi) return;
  throw RecordMisfit{quantity + " " + number_text(x) +
                         (!std::isfinite(x) ? " is not a number"
                          : x < lo          ? " is below " + number_text(lo)
                                            : " is above " + number_text(hi)),
                     element, cell};
}

// The same for every value; value i belongs to element first + i (to none when first is
// 0).
void require_values(const std::vector<double>& values, int first, double lo, double hi,
                    const std::string& quantity) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    require_value(values[i], lo, hi, quantity, first == 0 ? 0 : first + static_cast<int>(i));
  }
}

// What each item can hold. `label` is left at the item refused.
void check_record(const HotstartRecord& r, const Model& model, std::string& label) {
  const FrameState& frame = model.frame;
  const SubsurfaceState& v = model.subsurface;
  const int nel = frame.NEL, first = frame.NGDBGN, ll = v.LL;
  label = "time=";
  require_value(r.time, 0.0, INFINITY, "time (h)");
  if (!(r.step > 0.0)) throw RecordMisfit{"time step " + number_text(r.step) + " h is not positive"};
  require_value(r.step, 0.0, MAX_BASIC_TIMESTEP, "time step (h)");
  label = "cstore=";
  require_values(r.cstore, first, 0.0, INFINITY, "canopy storage (mm)");
  label = "HRF=";
  for (int e = 1; e <= nel; ++e) {
    const double depth = r.hrf[static_cast<std::size_t>(e - 1)] - frame.ZGRUND(e);
    require_value(depth, 0.0, HOTSTART_MAX_SURFACE_DEPTH, "surface water depth (m)", e);
  }
  // Face flows and their derivatives, by face (outer) and element or link (inner).
  const auto finite = [&](const char* name, const std::vector<double>& values, int n) {
    label = name;
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int e = static_cast<int>(i % static_cast<std::size_t>(n)) + 1;
      require_value(values[i], -INFINITY, INFINITY, "value", e);
    }
  };
  finite("QSA=", r.qsa, nel);
  finite("QOC=", r.qoc, nel);
  finite("DQ0ST=", r.dq0st, nel);
  finite("DQIST=", r.dqist, nel);
  finite("DQIST2=", r.dqist2, frame.NLF);
  label = "SD=";
  require_values(r.sd, first, 0.0, INFINITY, "snow depth (mm)");
  label = "TS=";
  require_values(r.ts, first, ABSOLUTE_ZERO, INFINITY, "snow temperature (deg C)");
  for (std::size_t i = 0; i < r.nsmc.size(); ++i) {
    const int e = first + static_cast<int>(i);
    label = "SMELT=";
    for (double x : r.smelt[i]) require_value(x, 0.0, INFINITY, "meltwater (mm)", e);
    label = "TMELT=";
    for (double x : r.tmelt[i]) require_value(x, -INFINITY, INFINITY, "meltwater release time (h)", e);
  }
  if (r.continuation) {
    label = "ISORT=";
    std::vector<char> seen(static_cast<std::size_t>(nel) + 1, 0);
    for (int e : r.isort) {
      if (e < 1 || e > nel || seen[static_cast<std::size_t>(e)]) {
        throw RecordMisfit{"the element order holds " + std::to_string(e) +
                           (e < 1 || e > nel ? ", not an element of this run" : " twice")};
      }
      seen[static_cast<std::size_t>(e)] = 1;
    }
    label = "VEGETATION=";
    require_values(r.vegetation, 0, 0.0, INFINITY, "vegetation parameter");
    label = "PNETTO=";
    require_values(r.link_rain, 1, -INFINITY, INFINITY, "net rain (m/s)");
    label = "ET_GROUND_EVAP=";
    require_values(r.link_evaporation, 1, -INFINITY, INFINITY, "evaporation (m/s)");
  }
  if (r.zq_columns_given) {
    label = "ZQ_COLUMN=";
    for (std::size_t t = 0; t < r.zq_columns.size(); ++t) {
      const int columns = model.surface.ZQ_TABLES(static_cast<int>(t) + 1).nZQcols;
      if (r.zq_columns[t] < 2 || r.zq_columns[t] > columns) {
        throw RecordMisfit{"the operating column of level-discharge table " + std::to_string(t + 1) +
                           " is " + std::to_string(r.zq_columns[t]) + ", not a discharge column (2 to " +
                           std::to_string(columns) + ")"};
      }
    }
  }
  if (r.step_before) {
    label = "PSI_START=";
    require_value(r.last_step_seconds, 0.0, MAX_BASIC_TIMESTEP * 3600.0, "step length (s)");
  }
  if (r.balance_given) {
    label = "ELEMENT_BALANCE_ERROR=";
    require_values(r.balance_error, 1, -INFINITY, INFINITY, "balance error (m)");
    label = "BALANCE_PREVIOUS_STORAGE=";
    require_values(r.balance_storage, 1, -INFINITY, INFINITY, "storage (m)");
  }
  for (const SavedState* s : {&r.sediment, &r.contaminant}) {
    for (const SavedItem& item : s->items) {
      label = item.label;
      for (std::size_t i = 0; i < item.values.size(); ++i) {
        if (!std::isfinite(item.values[i])) {
          throw RecordMisfit{"value " + std::to_string(i + 1) + " of the item is not a number"};
        }
      }
    }
  }
  // The cells of the columns: heads inside the soil tables, moisture contents between
  // dry and the table's wettest, relative conductivities between 0 and 1. Cells below a
  // column are not part of it and hold nothing.
  const int first_column = frame.BANKS_ON ? 1 : frame.NLF + 1;
  const double wettest = v.SOIL_TABLE_POINTS > 0 ? v.VSPPSI(1) : 0.0;
  const double driest = v.SOIL_TABLE_POINTS > 0 ? v.VSPPSI(v.SOIL_TABLE_POINTS) : 0.0;
  for (int e = 1; e <= nel; ++e) {
    const bool column = e >= first_column;
    for (int k = 1; k <= ll; ++k) {
      const std::size_t i = static_cast<std::size_t>(e - 1) * static_cast<std::size_t>(ll) +
                            static_cast<std::size_t>(k - 1);
      const bool cell = column && k >= v.LAYER_BOTTOM_CELL(e, 1);
      const auto check = [&](const char* name, const char* quantity, double x, double lo,
                             double hi) {
        if (!cell) lo = -INFINITY, hi = INFINITY;
        if (std::isfinite(x) && x >= lo && x <= hi) return;
        label = name;
        require_value(x, lo, hi, quantity, e, k);
      };
      check("vspsi=", "pressure head (m)", r.vspsi[i], driest, wettest);
      if (!r.continuation) continue;
      const double saturated = cell ? v.VSPTHE(1, v.CELL_SOIL_TYPE(k, e)) : 0.0;
      check("CELL_THETA=", "moisture content", r.theta[i], 0.0, saturated);
      check("CELL_KR=", "relative conductivity", r.kr[i], 0.0, 1.0);
      if (r.step_before) check("PSI_START=", "pressure head (m)", r.psi_start[i], driest, wettest);
    }
  }
}

// ---- restoring -------------------------------------------------------------------------

// (e, f) for f = 1..4 outer, e = 1..n inner.
void copy_faces(const std::vector<double>& from, Array2<double>& to, int n) {
  std::size_t i = 0;
  for (int f = 1; f <= 4; ++f) {
    for (int e = 1; e <= n; ++e) to(e, f) = from[i++];
  }
}

// (k, e) for e = 1..NEL outer, k = 1..LL inner.
void copy_cells(const std::vector<double>& from, Array2<double>& to, int ll, int nel) {
  std::size_t i = 0;
  for (int e = 1; e <= nel; ++e) {
    for (int k = 1; k <= ll; ++k) to(k, e) = from[i++];
  }
}

// The vegetation parameters the met data refresh, in the order of the record.
template <class State>
auto& vegetation_parameter(State& s, int p) {
  switch (p) {
    case 0: return s.CSTCAP;
    case 1: return s.PLAI;
    case 2: return s.CLAI;
    default: return s.VHT;
  }
}

void apply(const HotstartRecord& r, Model& model, const std::string& source) {
  FrameState& frame = model.frame;
  SurfaceState& s = model.surface;
  SubsurfaceState& v = model.subsurface;
  const int nel = frame.NEL, first = frame.NGDBGN;
  frame.NEXT_HOTSTART_TIME = r.time;
  frame.UZNEXT = r.step;
  for (int e = first; e <= nel; ++e) s.cstore(e) = r.cstore[static_cast<std::size_t>(e - first)];
  for (int e = 1; e <= nel; ++e) {
    s.SET_HRF(e, r.hrf[static_cast<std::size_t>(e - 1)]);
    for (int f = 1; f <= 4; ++f) {
      s.SET_QSA(e, f, r.qsa[static_cast<std::size_t>((f - 1) * nel + e - 1)]);
    }
  }
  copy_faces(r.qoc, s.QOC, nel);
  copy_faces(r.dq0st, s.DQ0ST, nel);
  copy_faces(r.dqist, s.DQIST, nel);
  // The junction derivatives are held per junction entry; the record has room for one
  // row per link, which every junction entry of the file's writer fitted into.
  const int entries = std::min(frame.junction_entry_count, frame.NLF);
  for (int k = 1; k <= 3; ++k) {
    for (int l = 1; l <= entries; ++l) s.DQIST2(l, k) = r.dqist2[static_cast<std::size_t>((k - 1) * frame.NLF + l - 1)];
  }
  // Without snow the pack arrays are not kept (the snow step never runs).
  if (!s.SD.empty()) {
    for (int e = first; e <= nel; ++e) {
      const std::size_t i = static_cast<std::size_t>(e - first);
      s.SD(e) = r.sd[i];
      s.TS(e) = r.ts[i];
      s.SMELT(e) = r.smelt[i];
      s.TMELT(e) = r.tmelt[i];
    }
  }
  copy_cells(r.vspsi, v.vspsi, v.LL, nel);
  // Relative conductivity, moisture content and phreatic levels follow from the heads;
  // a record that carries the booked moisture contents and the conductivities of the
  // last iterate replaces the first two.
  VSS_STATE_FROM_HEADS(frame, v, model.io);
  if (r.continuation) {
    copy_cells(r.theta, v.CELL_THETA, v.LL, nel);
    copy_cells(r.kr, v.CELL_KR, v.LL, nel);
    for (int i = 1; i <= nel; ++i) frame.ISORT(i) = r.isort[static_cast<std::size_t>(i - 1)];
    for (int l = 1; l <= frame.NLF; ++l) {
      s.PNETTO(l) = r.link_rain[static_cast<std::size_t>(l - 1)];
      s.ET_GROUND_EVAP(l) = r.link_evaporation[static_cast<std::size_t>(l - 1)];
    }
    frame.ISORT_RESTORED = true;
    LINK_PHREATIC_LEVELS(frame, v);
  }
  if (r.zq_columns_given) {
    for (std::size_t t = 0; t < r.zq_columns.size(); ++t) {
      s.ZQ_TABLES(static_cast<int>(t) + 1).zcol = r.zq_columns[t];
    }
  }
  if (r.step_before) {
    v.CELL_PSI_START.resize(v.LL, nel, 0.0);
    copy_cells(r.psi_start, v.CELL_PSI_START, v.LL, nel);
    v.LAST_STEP_SECONDS = r.last_step_seconds;
  }
  if (r.balance_given) {
    OutputState& output = model.output;
    output.ELEMENT_BALANCE_ERROR.resize(nel, 0.0);
    output.BALANCE_PREVIOUS_STORAGE.resize(nel, 0.0);
    for (int e = 1; e <= nel; ++e) {
      output.ELEMENT_BALANCE_ERROR(e) = r.balance_error[static_cast<std::size_t>(e - 1)];
      output.BALANCE_PREVIOUS_STORAGE(e) = r.balance_storage[static_cast<std::size_t>(e - 1)];
    }
    output.balance_error_first_call = false;
  }
  // Sediment and contaminants take their state back at the start of the time loop, after
  // their set-up has read their data files again.
  model.sediment.saved = r.sediment;
  model.sediment.saved.source = source;
  model.contaminant.saved = r.contaminant;
  model.contaminant.saved.source = source;

  // The clocks, and the met data of the restart time.
  frame.UZNOW = r.time;
  frame.LAST_OC_STEP_TIME = r.time;
  s.ET_CLOCK = r.time;
  frame.HOTSTART_TIME = r.time;
  MET_DATA_CATCH_UP(frame, s, model.io);
  if (r.continuation) {
    for (int p = 0; p < 4; ++p) {
      Array1<double>& values = vegetation_parameter(s, p);
      for (int t = 1; t <= frame.NV; ++t) {
        values(t) = r.vegetation[static_cast<std::size_t>(p * frame.NV + t - 1)];
      }
    }
  }
}

// The lines of the file, and whether its last line ends with a line end: the writer
// ends every line with one, so a last line without it was cut, possibly inside a number.
struct FileShape {
  long lines = 0;
  bool last_line_whole = true;
};
FileShape shape_of(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  FileShape shape;
  char c = 0, last = '\n';
  while (file.get(c)) {
    if (c == '\n') ++shape.lines;
    last = c;
  }
  if (last != '\n') {
    ++shape.lines;
    shape.last_line_whole = false;
  }
  return shape;
}

// Record `n` of the file, with its time once that has been read.
std::string record_name(long n, const HotstartRecord& r, bool time_read) {
  std::string name = "record " + std::to_string(n);
  if (time_read) name += " (time " + number_text(r.time) + " h)";
  return name;
}

[[noreturn]] void refuse(RunIo& io, const std::string& file, const std::string& record,
                         const std::string& label, const std::string& what, int element = 0,
                         int cell = 0) {
  REPORT_ERROR(io, SEVERITY_FATAL, HOTSTART_ERROR, PRINT_UNIT, element, cell,
               "Hot-start file " + file + ", " + record + ", item \"" + label + "\": " + what);
  throw FatalError(what);  // not reached: a fatal report throws
}

// The number of sediment size groups of this run: its sediment data file's, or, with the
// sediment component off, the contaminants' default.
int run_size_groups(Model& model) {
  if (!model.frame.SEDIMENT_ON) return CM_DEFAULT_SIZE_GROUPS;
  GET_NSED_EARLY(model.sediment, model.io);
  return model.sediment.NSED;
}

// The counts of a component state (`label` and `counts` as the record gives them)
// against this run's data files, for a component this run has on: what disagrees, ""
// when nothing does.
std::string count_disagreement(Model& model, const std::string& label,
                               const std::vector<long>& counts) {
  const FrameState& frame = model.frame;
  if (label == SY_SAVED_STATE_LABEL) {
    if (!frame.SEDIMENT_ON) return "";
    const int nsed = run_size_groups(model);
    if (counts[1] == nsed) return "";
    return "the sediment state has " + std::to_string(counts[1]) +
           " size groups where this run's sediment data file gives " + std::to_string(nsed);
  }
  if (!frame.CONTAMINANT_ON) return "";
  GET_NCON_EARLY(model.contaminant, model.io);
  if (counts[0] != model.contaminant.NCON) {
    return "the contaminant state has " + std::to_string(counts[0]) +
           " contaminants where this run's contaminant data file gives " +
           std::to_string(model.contaminant.NCON);
  }
  const int nsed = run_size_groups(model);
  if (counts[1] == nsed) return "";
  return "the contaminant state was saved with " + std::to_string(counts[1]) +
         " sediment size groups where this run has " + std::to_string(nsed);
}

// The sediment and contaminant state of the record restored against this run's data
// files, for the components this run has on: fatal when the record's numbers of size
// groups or contaminants are not theirs.
void check_component_counts(Model& model, const std::string& file, const HotstartRecord& r,
                            const std::string& record) {
  for (const SavedState* state : {&r.sediment, &r.contaminant}) {
    if (!state->given) continue;
    const std::string label = state == &r.sediment ? SY_SAVED_STATE_LABEL : CM_SAVED_STATE_LABEL;
    const std::string disagreement = count_disagreement(model, label, state->counts);
    if (!disagreement.empty()) refuse(model.io, file, record, label, disagreement);
  }
}

// What reading a record met: the item, the fault, and the element and cell concerned.
struct ReadFault {
  std::string label, what;
  int element = 0, cell = 0;
};

// The fault to name for a record that could not be read: a count of a component state
// that disagrees with this run's data files, when reading stopped inside the items
// those counts lay out, rather than the item that then did not fit.
ReadFault fault_to_name(Model& model, const RecordReader& reader, const ReadFault& fault) {
  if (!reader.state_label().empty()) {
    const std::string disagreement =
        count_disagreement(model, reader.state_label(), reader.state_counts());
    if (!disagreement.empty()) return ReadFault{reader.state_label(), disagreement};
  }
  return fault;
}

}  // namespace

void read_hotstart_file(Model& model) {
  RunIo& io = model.io;
  if (!io.units.is_open(HOTSTART_UNIT)) {
    refuse(io, "(unit 28)", "record 1", "time=",
           "hot-start reading is on but the run-data file names no hot-start file");
  }
  Unit& unit = io.units.unit(HOTSTART_UNIT);
  const std::string& file = unit.path();
  const FileShape shape = shape_of(file);
  unit.rewind();
  FileLines lines(unit);
  // Every complete record is read and checked, also those after the one restored: a
  // file whose later records are out of order or hold impossible values was not
  // written by one run, and the record chosen from it may not be the one meant.
  long kept_lines = 0, kept_number = 0, n = 0;
  bool have_record = false, found = false;
  HotstartRecord record, candidate;
  double previous_time = 0.0;
  // The file's last record when it was passed over as cut: its name, and why.
  std::string cut_record, cut_reason;
  std::string head;
  while (lines.next_head(head)) {
    ++n;
    // A first line with nothing after it is a record cut inside its first line, whether
    // or not a line end follows the cut (a mark cut short no longer says that the record
    // carries a check).
    if (begins_like_head(head) && lines.at_end()) {
      if (!have_record) {
        refuse(io, file, "record 1", "time=", "the file ends before its first record is complete");
      }
      cut_record = "record " + std::to_string(n);
      cut_reason = "the file ends after its first line";
      break;
    }
    const bool checked = carries_check(head);
    RecordLines source(lines, std::move(head), checked);
    RecordReader reader(source, model, checked);
    std::optional<ReadFault> fault;
    bool file_ended = false;
    long fault_line = 0;
    try {
      reader.read(candidate);
    } catch (const EndOfFileError&) {
      fault = ReadFault{reader.last_label(),
                        checked ? "the record ends before the item is complete"
                                : "the file ends before the item is complete"};
      file_ended = true;
    } catch (const InputError& error) {
      fault = ReadFault{reader.last_label(), error.what()};
      fault_line = error.record;
    } catch (const RecordMisfit& misfit) {
      fault = ReadFault{reader.last_label(), misfit.what, misfit.element, misfit.cell};
      fault_line = source.record_number();
    }
    const std::string name = record_name(n, candidate, reader.time_read());
    // Whether the record counts as cut off by the end of the file, and why.
    std::string cut;
    if (checked) {
      // The check decides: a record whose check holds is whole as written, and what
      // reading it met does not fit this run; one whose check fails was damaged, or, as
      // the file's last record, cut by a run that stopped while writing it.
      const long extra_lines = source.read_to_end();
      const std::string check_fault = source.check_fault();
      if (!check_fault.empty()) {
        if (source.next_follows() || !lines.at_end()) {
          std::string what = check_fault;
          if (fault) {
            const ReadFault named = fault_to_name(model, reader, *fault);
            what += "; reading it met, at item \"" + named.label + "\": " + named.what;
          }
          refuse(io, file, name, std::string(CHECK_LABEL), what);
        }
        cut = check_fault;
      } else if (!fault && extra_lines > 0) {
        fault = ReadFault{std::string(CHECK_LABEL),
                          "the record holds more values than this run reads: line " +
                              std::to_string(source.record_number() - extra_lines) +
                              " follows its last item"};
      }
    } else if (file_ended) {
      cut = "the file ends inside it";
    } else if (!shape.last_line_whole &&
               (fault ? fault_line >= shape.lines : source.record_number() >= shape.lines)) {
      // A record that ends on a cut last line may have lost digits of its last value;
      // only there may a value not read, or a label be cut short.
      cut = "the file's last line has no line end";
    }
    if (!cut.empty()) {
      if (!have_record) {
        refuse(io, file, "record 1", checked ? std::string(CHECK_LABEL) : reader.last_label(),
               "the file ends before its first record is complete" +
                   (checked ? ": " + cut : std::string()));
      }
      cut_record = name;
      cut_reason = cut;
      break;
    }
    if (fault) {
      const ReadFault named = fault_to_name(model, reader, *fault);
      refuse(io, file, name, named.label, named.what, named.element, named.cell);
    }
    std::string label;
    try {
      check_record(candidate, model, label);
    } catch (const RecordMisfit& misfit) {
      refuse(io, file, record_name(n, candidate, true), label, misfit.what, misfit.element,
             misfit.cell);
    }
    const double time = candidate.time;
    if (have_record && !(time > previous_time)) {
      refuse(io, file, record_name(n, candidate, true), "time=",
             "the time is not after the previous record's, " + number_text(previous_time) + " h");
    }
    previous_time = time;
    if (!found) {
      std::swap(record, candidate);
      kept_lines = source.record_number();
      kept_number = n;
      found = !(record.time < model.frame.HOTSTART_TIME - HOTSTART_TIME_TOLERANCE);
    }
    have_record = true;
  }
  if (!have_record) {
    refuse(io, file, "record 1", "time=", "the file ends before its first record is complete");
  }
  // The restart does not go on from the time asked for, or a record was lost: the print
  // file and the console say so.
  if (!found || !cut_record.empty()) {
    std::vector<std::string> warning = {"", " WARNING: END OF HOTSTART FILE REACHED"};
    if (!cut_record.empty()) {
      warning.push_back(" The last record of " + file + ", " + cut_record +
                        ", is passed over as cut short while it was written: " + cut_reason);
    }
    for (const std::string& line : warning) {
      io.units.print().write_record(line);
      io.console.write_record(line);
    }
  }
  const std::string restored = record_name(kept_number, record, true);
  check_component_counts(model, file, record, restored);
  apply(record, model, restored);

  // The next record written follows the one restored: the file is positioned after it,
  // and the first write cuts off what came later.
  unit.rewind();
  std::string skipped;
  for (long i = 0; i < kept_lines; ++i) unit.read_record(skipped);
  if (model.frame.HOTSTART_WRITE) {
    write_formatted(io.units.print(),
                    "(' Hot-start records after time',F10.2,' in ',A,' are replaced by this run''s')",
                    record.time, file);
  }
}

void prepare_hotstart_output(Model& model) {
  // A cold run starts its hot-start file afresh: its first record cuts the file there.
  if (model.frame.HOTSTART_WRITE && !model.frame.HOTSTART_READ &&
      model.io.units.is_open(HOTSTART_UNIT)) {
    model.io.units.rewind(HOTSTART_UNIT);
  }
}

void check_saved_components(Model& model, bool sediment_due, bool contaminants_due) {
  const FrameState& frame = model.frame;
  SavedState& sediment = model.sediment.saved;
  SavedState& contaminants = model.contaminant.saved;
  const bool sediment_on = frame.SEDIMENT_ON && sediment_due;
  const bool contaminants_on = frame.CONTAMINANT_ON && contaminants_due;
  if (!sediment_on) sediment = SavedState();
  // The contaminants ride on the sediment: with the sediment component on, they go on
  // only from the sediment they were saved with.
  if (!contaminants_on || (frame.SEDIMENT_ON && !sediment.given)) contaminants = SavedState();
  const bool sediment_afresh = sediment_on && !sediment.given;
  const bool contaminants_afresh = contaminants_on && !contaminants.given;
  if (!sediment_afresh && !contaminants_afresh) return;
  const std::string what =
      sediment_afresh && contaminants_afresh
          ? "sediment and contaminants, which were due by then: they start afresh at the "
            "restart time, set up from their data files"
      : sediment_afresh ? "sediment, which was due by then: it starts afresh at the restart "
                          "time, set up from its data file"
                        : "contaminants, which were due by then: they start afresh at the "
                          "restart time, set up from their data file";
  REPORT_ERROR(model.io, SEVERITY_WARNING, HOTSTART_COMPONENTS_AFRESH_WARNING, PRINT_UNIT, 0, 0,
               "Hot-start file " + model.io.units.unit(HOTSTART_UNIT).path() + ", record at time " +
                   trim(format_line("(F10.2)", frame.UZNOW)) + " h holds no state of " + what);
}

void write_hotstart_record(Model& model) {
  if (!model.io.units.is_open(HOTSTART_UNIT)) return;
  const FrameState& frame = model.frame;
  const SurfaceState& s = model.surface;
  const SubsurfaceState& v = model.subsurface;
  const int nel = frame.NEL, nlf = frame.NLF, first = frame.NGDBGN;
  const bool snow = !s.SD.empty();
  Unit& unit = model.io.units.unit(HOTSTART_UNIT);
  {
    RecordWriter w(unit);
    w.label("time=");
    w.value(frame.UZNOW);
    w.value(frame.UZNEXT);
    w.value(v.LL);
    w.word(CHECK_MARK);
    w.label("cstore=");
    for (int e = first; e <= nel; ++e) w.value(s.cstore(e));
    w.label("HRF=");
    for (int e = 1; e <= nel; ++e) w.value(s.GET_HRF(e));
    const auto faces = [&](const char* label, const Array2<double>& a) {
      w.label(label);
      for (int f = 1; f <= 4; ++f) {
        for (int e = 1; e <= nel; ++e) w.value(a(e, f));
      }
    };
    faces("QSA=", s.QSA);
    faces("QOC=", s.QOC);
    faces("DQ0ST=", s.DQ0ST);
    faces("DQIST=", s.DQIST);
    w.label("DQIST2=");
    for (int k = 1; k <= 3; ++k) {
      for (int l = 1; l <= nlf; ++l) w.value(l <= frame.junction_entry_count ? s.DQIST2(l, k) : 0.0);
    }
    w.label("SD=");
    for (int e = first; e <= nel; ++e) w.value(snow ? s.SD(e) : 0.0);
    w.label("TS=");
    for (int e = first; e <= nel; ++e) w.value(snow ? s.TS(e) : 0.0);
    w.label("NSMC=");
    for (int e = first; e <= nel; ++e) w.value(snow ? s.NSMC(e) : 0);
    w.label("SMELT=");
    for (int e = first; e <= nel; ++e) {
      if (snow) for (double x : s.SMELT(e)) w.value(x);
    }
    w.label("TMELT=");
    for (int e = first; e <= nel; ++e) {
      if (snow) for (double x : s.TMELT(e)) w.value(x);
    }
    w.label("ISORT=");
    for (int i = 1; i <= nel; ++i) w.value(frame.ISORT(i));
    const auto cells = [&](const char* label, const Array2<double>& a) {
      w.label(label);
      for (int e = 1; e <= nel; ++e) {
        for (int k = 1; k <= v.LL; ++k) w.value(a(k, e));
      }
    };
    cells("CELL_THETA=", v.CELL_THETA);
    cells("CELL_KR=", v.CELL_KR);
    w.label("VEGETATION=");
    for (int p = 0; p < 4; ++p) {
      const Array1<double>& values = vegetation_parameter(s, p);
      for (int t = 1; t <= frame.NV; ++t) w.value(values(t));
    }
    w.label("PNETTO=");
    for (int l = 1; l <= nlf; ++l) w.value(s.PNETTO(l));
    w.label("ET_GROUND_EVAP=");
    for (int l = 1; l <= nlf; ++l) w.value(s.ET_GROUND_EVAP(l));
    w.label("ZQ_COLUMN=");
    for (int t = 1; t <= s.ZQ_TABLE_COUNT; ++t) w.value(s.ZQ_TABLES(t).zcol);
    w.label("PSI_START=");
    w.value(v.LAST_STEP_SECONDS);
    for (int e = 1; e <= nel; ++e) {
      for (int k = 1; k <= v.LL; ++k) w.value(v.CELL_PSI_START.empty() ? 0.0 : v.CELL_PSI_START(k, e));
    }
    if (!model.output.balance_error_first_call) {
      w.label("ELEMENT_BALANCE_ERROR=");
      for (int e = 1; e <= nel; ++e) w.value(model.output.ELEMENT_BALANCE_ERROR(e));
      w.label("BALANCE_PREVIOUS_STORAGE=");
      for (int e = 1; e <= nel; ++e) w.value(model.output.BALANCE_PREVIOUS_STORAGE(e));
    }
    // Sediment and contaminants once set up: their counts after the label, then their
    // items.
    const auto saved_state = [&](const char* label, const SavedState& s) {
      w.label(label);
      for (long c : s.counts) w.value(static_cast<int>(c));
      for (const SavedItem& item : s.items) {
        w.label(item.label.c_str());
        for (double x : item.values) w.value(x);
      }
    };
    if (model.sediment.SY_CALL_COUNT >= 1) {
      saved_state(SY_SAVED_STATE_LABEL, SY_SAVE_STATE(frame, model.sediment));
    }
    if (model.contaminant.initial_state_set) {
      saved_state(CM_SAVED_STATE_LABEL, CM_SAVE_STATE(model));
    }
    cells("vspsi=", v.vspsi);
    w.finish();
  }
  unit.flush();
}

}  // namespace quendal
