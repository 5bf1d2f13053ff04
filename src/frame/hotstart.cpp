#include "frame/hotstart.h"

#include <charconv>
#include <fstream>
#include <optional>
#include <algorithm>
#include <string>
#include <vector>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/record_reader.h"
#include "services/stops.h"
#include "subsurface/vss_setup.h"

namespace quendal {
namespace {

constexpr int VALUES_PER_LINE = 5;

// Writes the items of one record as lines of a few values each.
class RecordWriter {
 public:
  explicit RecordWriter(RecordSink& sink) : sink_(sink) {}
  ~RecordWriter() { flush(); }
  void label(const char* text) {
    flush();
    line_ = text;
  }
  void value(double x) {
    // The shortest text that reads back to the same double.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
    add(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
  }
  void value(int n) { add(std::to_string(n)); }
  void flush() {
    if (!line_.empty()) sink_.write_record(line_);
    line_.clear();
    count_ = 0;
  }

 private:
  void add(std::string_view text) {
    if (count_ == VALUES_PER_LINE) {
      sink_.write_record(line_);
      line_.clear();
      count_ = 0;
    }
    line_ += ' ';
    line_ += text;
    ++count_;
  }
  RecordSink& sink_;
  std::string line_;
  int count_ = 0;
};

// One record as read, applied to the model only once it is complete.
struct HotstartRecord {
  double time = 0.0, step = 0.0;
  int top_cell = 0;
  std::vector<double> cstore, hrf, qsa, qoc, dq0st, dqist, dqist2, sd, ts;
  std::vector<int> nsmc;
  std::vector<std::vector<double>> smelt, tmelt;
  std::vector<double> vspsi;
};

// A label or count of the file that does not fit this run.
struct RecordMisfit {
  std::string what;
};

class RecordReader {
 public:
  RecordReader(RecordSource& source, const Model& model) : source_(source), model_(model) {}

  void read(HotstartRecord& r) {
    label_ = "time=";
    read_.emplace(source_);
    const FrameState& frame = model_.frame;
    const int nel = frame.NEL, nlf = frame.NLF, first = frame.NGDBGN;
    label("time=");
    *read_ >> r.time >> r.step >> r.top_cell;
    if (r.top_cell != model_.subsurface.LL) {
      throw RecordMisfit{"top cell LL = " + std::to_string(r.top_cell) + " where this run has " +
                         std::to_string(model_.subsurface.LL)};
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
    for (int& n : r.nsmc) {
      *read_ >> n;
      if (n < 0) throw RecordMisfit{"NSMC = " + std::to_string(n) + " is negative"};
    }
    slugs("SMELT=", r.nsmc, r.smelt);
    slugs("TMELT=", r.nsmc, r.tmelt);
    values("vspsi=", r.vspsi, static_cast<long>(model_.subsurface.LL) * nel);
    read_->finish();
  }
  const std::string& last_label() const { return label_; }

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
  std::string label_;
};

// (e, f) for f = 1..4 outer, e = 1..n inner.
void copy_faces(const std::vector<double>& from, Array2<double>& to, int n) {
  std::size_t i = 0;
  for (int f = 1; f <= 4; ++f) {
    for (int e = 1; e <= n; ++e) to(e, f) = from[i++];
  }
}

void apply(const HotstartRecord& r, Model& model) {
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
  for (int e = 1; e <= nel; ++e) {
    for (int k = 1; k <= v.LL; ++k) v.vspsi(k, e) = r.vspsi[static_cast<std::size_t>((e - 1) * v.LL + k - 1)];
  }
  // Moisture content, relative conductivity and phreatic levels follow from the heads.
  VSS_STATE_FROM_HEADS(frame, v, model.io);
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

[[noreturn]] void refuse(RunIo& io, const std::string& file, const std::string& label,
                         const std::string& what) {
  REPORT_ERROR(io, SEVERITY_FATAL, HOTSTART_ERROR, PRINT_UNIT, 0, 0,
               "Hot-start file " + file + ", item \"" + label + "\": " + what);
  throw FatalError(what);  // not reached: a fatal report throws
}

}  // namespace

void read_hotstart_file(Model& model) {
  RunIo& io = model.io;
  if (!io.units.is_open(HOTSTART_UNIT)) {
    refuse(io, "(unit 28)", "time=", "hot-start reading is on but the run-data file names no hot-start file");
  }
  Unit& unit = io.units.unit(HOTSTART_UNIT);
  const std::string& file = unit.path();
  const FileShape shape = shape_of(file);
  unit.rewind();
  // Lines of the file up to the end of the record restored.
  long kept_lines = 0;
  bool have_record = false;
  HotstartRecord record, candidate;
  while (true) {
    RecordReader reader(unit, model);
    bool complete = true;
    try {
      reader.read(candidate);
      // A record that ends on a cut last line may have lost digits of its last value.
      if (!shape.last_line_whole && unit.record_number() >= shape.lines) complete = false;
    } catch (const EndOfFileError&) {
      complete = false;
    } catch (const InputError& error) {
      // Only the cut end of the file may hold a value that does not read.
      if (shape.last_line_whole || error.record < shape.lines) {
        refuse(io, file, reader.last_label(), error.what());
      }
      complete = false;
    } catch (const RecordMisfit& misfit) {
      refuse(io, file, reader.last_label(), misfit.what);
    }
    if (!complete) {
      if (!have_record) {
        refuse(io, file, reader.last_label(), "the file ends before its first record is complete");
      }
      RecordSink& print = io.units.print();
      print.write_record("");
      print.write_record(" WARNING: END OF HOTSTART FILE REACHED");
      break;
    }
    std::swap(record, candidate);
    have_record = true;
    kept_lines = unit.record_number();
    if (!(record.time < model.frame.HOTSTART_TIME)) break;
  }
  apply(record, model);

  // The next record written follows the one restored: the file is positioned after it,
  // and the first write cuts off what came later.
  unit.rewind();
  std::string skipped;
  for (long n = 0; n < kept_lines; ++n) unit.read_record(skipped);
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
    w.label("vspsi=");
    for (int e = 1; e <= nel; ++e) {
      for (int k = 1; k <= v.LL; ++k) w.value(v.vspsi(k, e));
    }
  }
  unit.flush();
}

}  // namespace quendal
