#include "frame/hotstart.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <fstream>
#include <optional>
#include <string>
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

class RecordReader {
 public:
  RecordReader(RecordSource& source, const Model& model) : source_(source), model_(model) {}

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
    for (SavedItem& item : s.items) {
      label(item.label.c_str());
      for (double& x : item.values) *read_ >> x;
    }
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
  std::string label_;
  bool time_read_ = false;
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

// The sediment and contaminant state of the record restored against this run's data
// files, for the components this run has on: fatal when the record's numbers of size
// groups or contaminants are not theirs.
void check_component_counts(Model& model, const std::string& file, const HotstartRecord& r,
                            const std::string& record) {
  const FrameState& frame = model.frame;
  RunIo& io = model.io;
  if (!r.sediment.given && !r.contaminant.given) return;
  int nsed = CM_DEFAULT_SIZE_GROUPS;
  if (frame.SEDIMENT_ON) {
    GET_NSED_EARLY(model.sediment, io);
    nsed = model.sediment.NSED;
  }
  if (frame.SEDIMENT_ON && r.sediment.given && r.sediment.counts[1] != nsed) {
    refuse(io, file, record, SY_SAVED_STATE_LABEL,
           "the sediment state has " + std::to_string(r.sediment.counts[1]) +
               " size groups where this run's sediment data file gives " + std::to_string(nsed));
  }
  if (!frame.CONTAMINANT_ON || !r.contaminant.given) return;
  GET_NCON_EARLY(model.contaminant, io);
  if (r.contaminant.counts[0] != model.contaminant.NCON) {
    refuse(io, file, record, CM_SAVED_STATE_LABEL,
           "the contaminant state has " + std::to_string(r.contaminant.counts[0]) +
               " contaminants where this run's contaminant data file gives " +
               std::to_string(model.contaminant.NCON));
  }
  if (r.contaminant.counts[1] != nsed) {
    refuse(io, file, record, CM_SAVED_STATE_LABEL,
           "the contaminant state was saved with " + std::to_string(r.contaminant.counts[1]) +
               " sediment size groups where this run has " + std::to_string(nsed));
  }
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
  // Every complete record is read and checked, also those after the one restored: a
  // file whose later records are out of order or hold impossible values was not
  // written by one run, and the record chosen from it may not be the one meant.
  long kept_lines = 0, kept_number = 0, n = 0;
  bool have_record = false, found = false;
  HotstartRecord record, candidate;
  double previous_time = 0.0;
  while (true) {
    ++n;
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
        refuse(io, file, record_name(n, candidate, reader.time_read()), reader.last_label(),
               error.what());
      }
      complete = false;
    } catch (const RecordMisfit& misfit) {
      // Nor a label cut short.
      if (shape.last_line_whole || unit.record_number() < shape.lines) {
        refuse(io, file, record_name(n, candidate, reader.time_read()), reader.last_label(),
               misfit.what, misfit.element, misfit.cell);
      }
      complete = false;
    }
    if (!complete) {
      if (!have_record) {
        refuse(io, file, "record 1", reader.last_label(),
               "the file ends before its first record is complete");
      }
      break;
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
      kept_lines = unit.record_number();
      kept_number = n;
      found = !(record.time < model.frame.HOTSTART_TIME - HOTSTART_TIME_TOLERANCE);
    }
    have_record = true;
  }
  if (!found) {
    RecordSink& print = io.units.print();
    print.write_record("");
    print.write_record(" WARNING: END OF HOTSTART FILE REACHED");
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
  }
  unit.flush();
}

}  // namespace quendal
