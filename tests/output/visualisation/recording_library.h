// A visualisation layer for the tests: it logs every call it receives and answers
// from a scripted plan (each item's metadata and the times it is due).
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "output/visualisation/visualisation_library.h"

namespace quendal::testing {

struct ScriptedItem {
  std::string name;
  std::string typ = "GS";
  std::string extra_dimensions = "-";
  int ilow = 1, ihigh = 1, jlow = 1, jhigh = 1;
  int klow = 1, khigh = 1;
  bool isgrid = true;
  int ext = 1;
  int nsed = 1, ncon = 1;
  std::vector<int> su;                       // the selection of a list item
  std::set<std::pair<int, int>> off;         // plan cells (i, j) switched off
  std::vector<double> due;                   // the times it is due; empty: always
  std::int64_t first = 0, latest = 0;
};

// An item over the plan window (ilow..ihigh, jlow..jhigh), one layer, one extra index.
inline ScriptedItem grid_item(std::string name, std::string typ, int ilow, int ihigh, int jlow,
                              int jhigh) {
  ScriptedItem item;
  item.name = std::move(name);
  item.typ = std::move(typ);
  item.ilow = ilow;
  item.ihigh = ihigh;
  item.jlow = jlow;
  item.jhigh = jhigh;
  return item;
}
// An item over the selected elements.
inline ScriptedItem list_item(std::string name, std::string typ, std::vector<int> su) {
  ScriptedItem item = grid_item(std::move(name), std::move(typ), 0, 0, 0, 0);
  item.isgrid = false;
  item.su = std::move(su);
  return item;
}

// One saved vector: part, type code, i, j, klow, khigh, extra and neighbour positions,
// the values (integers stored as reals) and "latest".
struct SavedVector {
  std::string part, type;
  int i, j, klow, khigh, extra, neighbour;
  std::vector<double> values;
  std::int64_t latest;
};

class RecordingLibrary : public VisualisationLibrary {
 public:
  std::vector<ScriptedItem> plan;  // item k is plan[k - 1]

  // Every call, in order, as "OPERATION arguments".
  std::vector<std::string> calls;
  std::vector<SavedVector> saved;
  std::map<std::string, std::vector<int>> int_arrays;    // SEND_P integer arrays by key
  std::map<std::string, std::vector<bool>> flag_arrays;  // SEND_P logical arrays by key
  int tidy_ups = 0;

  void SEND_P(std::string_view key, const VisParameterValue& value, int extent1,
              int extent2) override {
    std::string text;
    if (const int* v = std::get_if<int>(&value)) {
      text = std::to_string(*v);
    } else if (const auto* t = std::get_if<std::string_view>(&value)) {
      text = "'" + std::string(*t) + "'";
    } else if (const auto* a = std::get_if<std::span<const int>>(&value)) {
      int_arrays[std::string(key)].assign(a->begin(), a->end());
      text = "ints";
    } else if (const auto* b = std::get_if<std::span<const bool>>(&value)) {
      flag_arrays[std::string(key)].assign(b->begin(), b->end());
      text = "flags";
    }
    log("SEND_P " + std::string(key) + " " + text + " " + std::to_string(extent1) + " " +
        std::to_string(extent2));
  }
  void REGISTER_STATIC_VISUALISATION_METADATA(std::string_view name, std::string_view,
                                              std::string_view, std::string_view, int nx, int ny,
                                              std::string_view extra, bool per_cell) override {
    log("STATIC " + std::string(name) + " " + std::to_string(nx) + " " + std::to_string(ny) +
        " " + std::string(extra) + " " + std::to_string(per_cell));
  }
  void REGISTER_DYNAMIC_VISUALISATION_METADATA(int pass, bool last, std::string_view name,
                                               std::string_view, std::string_view,
                                               std::string_view, std::string_view, bool, bool,
                                               bool, bool) override {
    log("DYNAMIC " + std::to_string(pass) + " " + std::string(name) + (last ? " last" : ""));
  }
  int GET_METADATA_I(int item, std::string_view key, std::optional<int> index) override {
    log("GET_I " + std::to_string(item) + " " + std::string(key));
    if (item == 0) return key == "no_items" ? static_cast<int>(plan.size()) : 0;
    const ScriptedItem& p = at(item);
    const std::map<std::string_view, int> answers = {
        {"ilow", p.ilow}, {"ihigh", p.ihigh}, {"jlow", p.jlow}, {"jhigh", p.jhigh},
        {"klow", p.klow}, {"khigh", p.khigh}, {"ext", p.ext},   {"nsed", p.nsed},
        {"ncon", p.ncon}, {"sz", static_cast<int>(p.su.size())}};
    if (key == "su") return p.su.at(static_cast<std::size_t>(index.value() - 1));
    return answers.at(key);
  }
  std::string GET_METADATA_C(int item, std::string_view key) override {
    log("GET_C " + std::to_string(item) + " " + std::string(key));
    const ScriptedItem& p = at(item);
    // Padded as the library's fixed-length texts are.
    auto padded = [](std::string s, std::size_t n) { return s.append(n - s.size(), ' '); };
    if (key == "name") return padded(p.name, 70);
    if (key == "typ") return padded(p.typ, 70);
    return padded(p.extra_dimensions, 70);
  }
  bool GET_METADATA_L(int item, std::string_view key, std::optional<int> column,
                      std::optional<int> row) override {
    log("GET_L " + std::to_string(item) + " " + std::string(key));
    const ScriptedItem& p = at(item);
    if (key == "isgrid") return p.isgrid;
    return !p.off.count({column.value(), row.value()});
  }
  std::int64_t GET_METADATA_I_FIRST(int item, std::string_view key) override {
    log("GET_I_FIRST " + std::to_string(item) + " " + std::string(key));
    return key == "first" ? at(item).first : at(item).latest;
  }
  void SET_METADATA_I(int item, std::string_view key, std::int64_t value) override {
    log("SET_I " + std::to_string(item) + " " + std::string(key) + " " + std::to_string(value));
    (key == "first" ? at(item).first : at(item).latest) = value;
  }
  bool TIME_TO_RECORD(int item, double time) override {
    log("TIME_TO_RECORD " + std::to_string(item) + " " + hours(time));
    const ScriptedItem& p = at(item);
    if (p.due.empty()) return true;
    for (double t : p.due) {
      if (t == time) return true;
    }
    return false;
  }
  // A new record: "first" is set on the first one, "latest" counts the records.
  void FOR_NEW_TIME(std::string_view type, double time, int, int, int, int, int, int, int ext,
                    std::int64_t& first, std::int64_t& latest) override {
    log("FOR_NEW_TIME " + std::string(type) + " " + hours(time) + " ext " + std::to_string(ext));
    if (first == 0) first = 1;
    latest += 1;
  }
  void SAVE_ITEMS_WORTH_R(std::string_view part, std::string_view type, int i, int j, int klow,
                          int khigh, int extra, int neighbour, std::span<const float> values,
                          std::int64_t latest) override {
    log("SAVE_R " + std::string(part));
    saved.push_back({std::string(part), std::string(type), i, j, klow, khigh, extra, neighbour,
                     std::vector<double>(values.begin(), values.end()), latest});
  }
  void SAVE_ITEMS_WORTH_I(std::string_view part, std::string_view type, int i, int j, int klow,
                          int khigh, int extra, int neighbour, std::span<const int> values,
                          std::int64_t latest) override {
    log("SAVE_I " + std::string(part));
    saved.push_back({std::string(part), std::string(type), i, j, klow, khigh, extra, neighbour,
                     std::vector<double>(values.begin(), values.end()), latest});
  }
  void SAVE_VISUALISATION_DATA_TO_DISK(int item, double time) override {
    log("SAVE_TO_DISK " + std::to_string(item) + " " + hours(time));
  }
  void VISUALISATION_TIDY_UP() override {
    log("TIDY_UP");
    ++tidy_ups;
  }

  // The calls whose text starts with `prefix`.
  std::vector<std::string> calls_starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& c : calls) {
      if (c.rfind(prefix, 0) == 0) found.push_back(c);
    }
    return found;
  }

 private:
  ScriptedItem& at(int item) { return plan.at(static_cast<std::size_t>(item - 1)); }
  void log(std::string text) { calls.push_back(std::move(text)); }
  static std::string hours(double t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", t);
    return buffer;
  }
};

}  // namespace quendal::testing
