// Checks every example's end-to-end run shares, made on the outputs of one run: it ended
// normally, it reported no number it should not, and its visualisation file holds what
// its plan names, in the plan's shape, with values wherever an element is and the fill
// value elsewhere (read back through the HDF5 library, and opened with xarray as a user
// would).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "example_copy.h"
#include "output/visualisation/hdf5_file.h"

namespace quendal::testing {

// The numbered reports in a print file's text, by number: heading lines
// " !!!    WARNING 1082 at time = ...", " !!!      ERROR 2003 ...", " !!!FATAL ERROR 1040 ...".
inline std::map<int, int> report_counts(const std::string& text) {
  std::map<int, int> counts;
  for (std::size_t at = text.find("!!!"); at != std::string::npos; at = text.find("!!!", at + 3)) {
    std::istringstream line(text.substr(at + 3, 40));
    std::string word;
    line >> word;
    if (word == "FATAL") line >> word;
    int number = 0;
    if ((word == "ERROR" || word == "WARNING") && line >> number) ++counts[number];
  }
  return counts;
}

// The run ended normally, and every numbered report of its print files (`files`, names in
// the copy's directory) is one the example expects.
inline void expect_normal_end(ExampleCopy& copy, int status, std::FILE* console,
                              const std::vector<std::string>& files,
                              const std::set<int>& expected_reports) {
  EXPECT_EQ(status, 0) << copy.print();
  std::fflush(console);
  EXPECT_NE(read_file(copy.dir.file("console.txt")).find("Normal completion of QUENDAL run"),
            std::string::npos);
  for (const std::string& file : files) {
    for (const auto& [number, count] : report_counts(copy.output(file))) {
      EXPECT_TRUE(expected_reports.count(number)) << file << ": " << count << " reports " << number;
    }
  }
}

// The totals file (unit 43) as a water budget: between any two records, the change of
// the five storages equals the change of precipitation - canopy, soil and plant
// evaporation - discharge + aquifer flow + lateral flow - well export, to 0.015 mm (26
// values printed to 0.001 mm). Columns are found by their titles. Returns the number of
// records, 0 when the file lacks the lateral flow and well export columns (then the
// budget cannot be closed and nothing is checked).
inline int expect_totals_close(ExampleCopy& copy, const std::string& file) {
  const std::vector<std::string> lines = lines_of(copy.output(file));
  if (lines.size() < 3) {
    ADD_FAILURE() << file << " holds no record";
    return 0;
  }
  std::vector<std::string> titles;
  for (std::stringstream in(lines[1]); in.good();) {
    std::string title;
    std::getline(in, title, ',');
    title.erase(0, title.find_first_not_of(' '));
    title.erase(title.find_last_not_of(' ') + 1);
    titles.push_back(title);
  }
  const auto column = [&](const std::string& title) {
    for (std::size_t c = 0; c < titles.size(); ++c) {
      if (titles[c] == title) return static_cast<int>(c);
    }
    return -1;
  };
  const int lateral = column("Cum. Lat. Flow"), wells = column("Cum. Well Exp.");
  if (lateral < 0 || wells < 0) return 0;
  struct Term {
    const char* title;
    double sign;
  };
  const Term inflows[] = {{"Cum Prec.", 1},       {"Cum. Can. Evap.", -1}, {"Cum. Soil Evap.", -1},
                          {"Cum. Trans", -1},     {"Cum. Discharge", -1},  {"Cum. Aqu. Flow", 1},
                          {"Cum. Lat. Flow", 1},  {"Cum. Well Exp.", -1}};
  const char* stores[] = {"Canopy Storage", "Snow Storage", "Subsurface Stor.", "Land Surf Stor.",
                          "Channel Stor."};
  std::vector<double> net, stored, hours;
  for (std::size_t k = 2; k < lines.size(); ++k) {
    std::vector<double> v;
    for (std::stringstream in(lines[k]); in.good();) {
      std::string value;
      std::getline(in, value, ',');
      if (value.find_first_not_of(' ') != std::string::npos) v.push_back(std::stod(value));
    }
    if (v.size() != titles.size()) continue;
    double n = 0.0, s = 0.0;
    for (const Term& term : inflows) n += term.sign * v[static_cast<std::size_t>(column(term.title))];
    for (const char* store : stores) s += v[static_cast<std::size_t>(column(store))];
    hours.push_back(v[0]);
    net.push_back(n);
    stored.push_back(s);
  }
  for (std::size_t k = 1; k < net.size(); ++k) {
    EXPECT_NEAR(stored[k] - stored[0], net[k] - net[0], 0.015)
        << file << ": records at " << hours[0] << " and " << hours[k] << " h";
    EXPECT_NEAR(stored[k] - stored[k - 1], net[k] - net[k - 1], 0.015)
        << file << ": records at " << hours[k - 1] << " and " << hours[k] << " h";
  }
  return static_cast<int>(net.size());
}

// One item of a visualisation plan, as far as the shape of its record follows from it.
struct PlanItem {
  std::string name, type;
  std::vector<int> elements;
  int columns[2] = {0, 0}, rows[2] = {0, 0}, layers[2] = {1, 1};
  int ext = 0;  // 0: the whole extra axis
  bool masked = false;
};

inline std::vector<PlanItem> plan_items(const std::string& text) {
  std::vector<PlanItem> items;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key;
    if (!(words >> key) || key[0] == '#') continue;
    if (key == "item") items.emplace_back();
    if (items.empty()) continue;
    PlanItem& p = items.back();
    if (key == "name") words >> p.name;
    if (key == "type") words >> p.type;
    if (key == "columns") words >> p.columns[0] >> p.columns[1];
    if (key == "rows") words >> p.rows[0] >> p.rows[1];
    if (key == "layers") words >> p.layers[0] >> p.layers[1];
    if (key == "ext") words >> p.ext;
    if (key == "mask") p.masked = true;
    for (int e; key == "elements" && words >> e;) p.elements.push_back(e);
  }
  return items;
}

// The extra axis of each item that has one (faces, X_Y), and the items per cell.
inline int extra_length(const std::string& name) {
  if (name == "r_span" || name == "ovr_flow" || name == "s_dis") return 4;
  if (name == "centroid" || name == "grid_dxy") return 2;
  return 0;
}
inline bool per_cell(const std::string& name) {
  for (const char* n : {"soil_typ", "vert_thk", "v_flow", "psi", "theta", "c_c_dr", "c_c_ds"}) {
    if (name == n) return true;
  }
  return false;
}

// A value the writer leaves where no element is: NaN for reals, the int32 minimum for
// the integer items (read here as doubles).
inline bool is_fill(double v) { return std::isnan(v) || v == -2147483648.0; }

// The visualisation file `vis` of the copy holds every item of its plan `plan`, in plan
// order, each with one record per recording time of the plan's shape; a value wherever
// the item's window holds an element the plan does not mask out, the fill value where no
// element is. Returns the item names in file order.
inline std::vector<std::string> expect_visualisation_file(ExampleCopy& copy, const std::string& plan,
                                                          const std::string& vis) {
  const std::vector<PlanItem> items = plan_items(copy.output(plan));
  Hdf5File file(copy.root + "/" + vis);
  EXPECT_TRUE(file.is_open());
  if (!file.is_open()) return {};
  const int nx = static_cast<int>(file.shape("/mesh/x")[0]);
  const int ny = static_cast<int>(file.shape("/mesh/y")[0]);
  std::vector<std::string> names;
  for (std::size_t n = 0; n < items.size(); ++n) {
    const PlanItem& p = items[n];
    char group[96];
    std::snprintf(group, sizeof group, "/items/%03d_%s", static_cast<int>(n + 1), p.name.c_str());
    SCOPED_TRACE(group);
    if (!file.exists(std::string(group) + "/value")) {
      ADD_FAILURE() << "no such item in the file";
      continue;
    }
    names.push_back(p.name);
    const std::string g = group;
    std::vector<hsize_t> expected = {file.shape(g + "/time")[0]};
    EXPECT_GE(expected[0], 1u) << "no record";
    const bool grid = p.elements.empty();
    std::vector<double> where;  // the element at each place, 0 for none
    if (grid) {
      const int c0 = p.columns[0] ? p.columns[0] : 1, c1 = p.columns[1] ? p.columns[1] : nx;
      const int r0 = p.rows[0] ? p.rows[0] : 1, r1 = p.rows[1] ? p.rows[1] : ny;
      expected.push_back(static_cast<hsize_t>(r1 - r0 + 1));
      expected.push_back(static_cast<hsize_t>(c1 - c0 + 1));
      where = file.values(g + "/element");
    } else {
      expected.push_back(p.elements.size());
      where.assign(p.elements.begin(), p.elements.end());
    }
    const int extra = extra_length(p.name);
    if (extra) expected.push_back(static_cast<hsize_t>(p.ext ? p.ext : extra));
    if (per_cell(p.name)) expected.push_back(static_cast<hsize_t>(p.layers[1] - p.layers[0] + 1));
    EXPECT_EQ(file.shape(g + "/value"), expected);
    if (file.shape(g + "/value") != expected) continue;

    // Values: each place holds the values of its extra axis and layers in a row.
    const std::vector<double> values = file.values(g + "/value");
    const std::size_t places = where.size(), per_place = values.size() / expected[0] / places;
    long missing = 0, stray = 0;
    for (std::size_t v = 0; v < values.size(); ++v) {
      const bool element = where[(v / per_place) % places] > 0;
      if (element && is_fill(values[v]) && !p.masked) ++missing;
      if (element && !is_fill(values[v]) && !std::isfinite(values[v])) ++missing;
      if (!element && !is_fill(values[v])) ++stray;
    }
    EXPECT_EQ(missing, 0) << "places with an element but no finite value";
    EXPECT_EQ(stray, 0) << "places without an element but a value";
    for (const char* beside : {"/bank_value", "/link_value"}) {
      if (!file.exists(g + beside)) continue;
      long bad = 0;
      for (double v : file.values(g + beside)) bad += !std::isfinite(v);
      EXPECT_EQ(bad, 0) << beside;
    }
  }
  EXPECT_EQ(names.size(), items.size());
  // A user's reader: every item group opens with xarray and holds the plan's item.
  const CommandResult opened = run_command("/usr/bin/python3 '" + source_dir() +
                                           "/tests/end_to_end/visualisation_items_check.py' '" +
                                           copy.root + "/" + vis + "'");
  std::string listed;
  for (const std::string& name : names) listed += name + "\n";
  EXPECT_EQ(opened.status, 0) << opened.output;
  EXPECT_EQ(opened.output, listed);
  return names;
}

}  // namespace quendal::testing
