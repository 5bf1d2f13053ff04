#include "output/visualisation/plan_file_library.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "include/output_state.h"
#include "output/visualisation/hdf5_writer.h"
#include "services/error_reporting.h"

namespace quendal {

namespace {

constexpr std::string_view PLAN_HEADER = "QUENDAL-VIS-PLAN 1";

// A line of a plan or check file: its number and its words, comment removed.
struct Line {
  int number = 0;
  std::vector<std::string> words;
};

// Reads a file's lines; `raw`, when given, receives the file as it stands.
bool read_lines(const std::string& file, std::vector<Line>& lines, std::string* raw = nullptr) {
  std::ifstream in(file);
  if (!in) return false;
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (raw) *raw += text + "\n";
    if (const auto hash = text.find('#'); hash != std::string::npos) text.erase(hash);
    Line line{number, {}};
    std::istringstream words(text);
    for (std::string w; words >> w;) line.words.push_back(w);
    lines.push_back(std::move(line));
  }
  return true;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

bool to_int(const std::string& word, int& value) {
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  return error == std::errc() && end == word.data() + word.size();
}

bool to_hours(const std::string& word, double& value) {
  char* end = nullptr;
  value = std::strtod(word.c_str(), &end);
  return !word.empty() && end == word.c_str() + word.size() && std::isfinite(value);
}

bool is_mask_row(const Line& line) {
  return !line.words.empty() &&
         line.words.front().find_first_not_of("01") == std::string::npos;
}

// The faults found while checking, reported together before the run stops.
struct Faults {
  RunIo& io;
  int errors = 0;
  void error(int number, std::string_view where, int line, const std::string& what) {
    ++errors;
    std::string message = "Visualisation " + std::string(where) + " line " +
                          std::to_string(line) + ": " + what;
    REPORT_ERROR(io, SEVERITY_ERROR, number, PRINT_UNIT, 0, 0, message.substr(0, 132));
  }
  void warning(int line, const std::string& what) {
    std::string message = "Visualisation plan line " + std::to_string(line) + ": " + what;
    REPORT_ERROR(io, SEVERITY_WARNING, VIS_PLAN_ITEM_WARNING, PRINT_UNIT, 0, 0,
                 message.substr(0, 132));
  }
};

// What a block says, before it is checked against the run.
struct Block {
  VisPlanItem item;
  std::map<std::string, Line> keys;  // each key's (last) line; `elements` may repeat
  std::vector<Line> mask_rows;
};

// Reads the `item` ... `end` blocks; syntax faults are reported as they are found.
std::vector<Block> parse_plan(const std::vector<Line>& lines, Faults& faults) {
  std::vector<Block> blocks;
  auto syntax = [&](int line, const std::string& what) {
    faults.error(VIS_PLAN_SYNTAX_ERROR, "plan", line, what);
  };
  if (lines.empty() || joined(lines.front().words) != PLAN_HEADER) {
    syntax(1, "first line is not \"" + std::string(PLAN_HEADER) + "\": " +
                  (lines.empty() ? std::string("empty file") : joined(lines.front().words)));
    return blocks;
  }
  static const std::map<std::string, std::size_t, std::less<>> value_counts = {
      {"name", 1},   {"type", 1},       {"columns", 2},     {"rows", 2},        {"mask", 0},
      {"layers", 2}, {"ext", 1},        {"size_group", 1}, {"contaminant", 1}};
  Block* open = nullptr;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const Line& line = lines[n];
    if (line.words.empty()) continue;
    const std::string& key = line.words.front();
    const std::size_t values = line.words.size() - 1;
    if (key == "item" && values == 0) {
      if (open) syntax(open->item.line, "item without end");
      blocks.push_back(Block{});
      open = &blocks.back();
      open->item.line = line.number;
      continue;
    }
    if (!open) {
      syntax(line.number, "expected item: " + joined(line.words));
      continue;
    }
    if (key == "end" && values == 0) {
      open = nullptr;
      continue;
    }
    if (key == "mask" && values == 0) {
      if (open->keys.count(key)) syntax(line.number, "repeated key: mask");
      open->keys[key] = line;
      open->mask_rows.clear();
      while (n + 1 < lines.size() && is_mask_row(lines[n + 1])) {
        const Line& row = lines[++n];
        const std::string cells = [&] {
          std::string c;
          for (const std::string& w : row.words) c += w;
          return c;
        }();
        if (cells.find_first_not_of("01") != std::string::npos) {
          syntax(row.number, "mask row not of 0s and 1s: " + joined(row.words));
        }
        open->mask_rows.push_back(Line{row.number, {cells}});
      }
      continue;
    }
    const bool elements = key == "elements";
    const auto known = value_counts.find(key);
    const bool times = key == "times";
    if (!elements && !times && known == value_counts.end()) {
      syntax(line.number, "unknown key: " + joined(line.words));
      continue;
    }
    if (!elements && open->keys.count(key)) {
      syntax(line.number, "repeated key: " + joined(line.words));
      continue;
    }
    const bool count_right = elements ? values >= 1
                             : times  ? values == 2 || values == 3
                                      : values == known->second;
    if (!count_right) {
      syntax(line.number, "wrong number of values: " + joined(line.words));
      continue;
    }
    open->keys[key] = line;
    VisPlanItem& item = open->item;
    const std::vector<std::string>& w = line.words;
    bool readable = true;
    if (key == "name") {
      item.name = w[1];
    } else if (key == "type") {
      item.type = w[1];
    } else if (elements) {
      for (std::size_t k = 1; k < w.size(); ++k) {
        int e = 0;
        readable = readable && to_int(w[k], e);
        item.elements.push_back(e);
      }
    } else if (key == "columns") {
      readable = to_int(w[1], item.ilow) && to_int(w[2], item.ihigh);
    } else if (key == "rows") {
      readable = to_int(w[1], item.jlow) && to_int(w[2], item.jhigh);
    } else if (key == "layers") {
      readable = to_int(w[1], item.klow) && to_int(w[2], item.khigh);
    } else if (key == "ext") {
      readable = to_int(w[1], item.ext);
    } else if (key == "size_group") {
      readable = to_int(w[1], item.size_group);
    } else if (key == "contaminant") {
      readable = to_int(w[1], item.contaminant);
    } else if (times) {
      readable = to_hours(w[1], item.start) && to_hours(w[2], item.interval) &&
                 (values == 2 || to_hours(w[3], item.end));
    }
    if (!readable) syntax(line.number, "unreadable number: " + joined(w));
  }
  if (open) syntax(open->item.line, "item without end");
  return blocks;
}

// The number of extra indexes an item has by nature.
int natural_extent(std::string_view extra_dimensions) {
  if (extra_dimensions == "faces") return 4;
  if (extra_dimensions == "X_Y" || extra_dimensions == "left_right") return 2;
  return 1;
}

std::string range_text(int low, int high) {
  return std::to_string(low) + " to " + std::to_string(high);
}

// Checks one block against the run; sets `accepted` when it can be recorded.
void check_item(Block& block, const std::vector<VisRegisteredItem>& registered,
                const std::map<std::string, int, std::less<>>& run, Faults& faults) {
  VisPlanItem& item = block.item;
  const int errors_before = faults.errors;
  auto refuse = [&](const std::string& key, const std::string& what) {
    const auto at = block.keys.find(key);
    const int line = at == block.keys.end() ? item.line : at->second.number;
    faults.error(VIS_PLAN_ITEM_ERROR, "plan", line, what);
  };
  auto count = [&](std::string_view key) {
    const auto at = run.find(key);
    return at == run.end() ? 0 : at->second;
  };
  if (item.name.empty()) {
    faults.error(VIS_PLAN_SYNTAX_ERROR, "plan", item.line, "item without name");
    return;
  }
  const VisRegisteredItem* r = nullptr;
  for (const VisRegisteredItem& candidate : registered) {
    if (candidate.name == item.name) r = &candidate;
  }
  if (!r) {
    refuse("name", "unknown item: " + item.name);
    return;
  }
  if (!r->implemented || item.name == "spatial1") {
    faults.warning(item.line, "item " + item.name + " cannot be delivered; not recorded");
    return;
  }
  item.extra_dimensions = r->extra_dimensions;

  const bool integer = r->basis == "N";
  static const std::set<std::string, std::less<>> real_types = {"GS", "MS", "BS", "LS"};
  static const std::set<std::string, std::less<>> integer_types = {"NS", "IS", "ES", "FS"};
  if (item.type.empty()) item.type = integer ? "IS" : "MS";
  if (!(integer ? integer_types : real_types).count(item.type)) {
    refuse("type", "type " + item.type + " does not fit " +
                       (integer ? "integer" : "real") + " item " + item.name);
  }

  const int nx = count("grid_nx"), ny = count("grid_ny");
  item.isgrid = item.elements.empty();
  if (!item.isgrid) {
    for (const char* key : {"columns", "rows", "mask"}) {
      if (block.keys.count(key)) {
        faults.error(VIS_PLAN_SYNTAX_ERROR, "plan", block.keys[key].number,
                     std::string(key) + " on a list item");
      }
    }
    if (item.name == "centroid" || item.name == "grid_dxy") {
      refuse("elements", "item " + item.name + " has no value in a list");
    }
    for (int e : item.elements) {
      if (e < 1 || e > count("nel")) {
        refuse("elements", "element " + std::to_string(e) + " not in " +
                               range_text(1, count("nel")));
        break;
      }
    }
    item.ilow = 1;
    item.ihigh = static_cast<int>(item.elements.size());
    item.jlow = item.jhigh = 1;
  } else {
    if (!block.keys.count("columns")) item.ilow = 1, item.ihigh = nx;
    if (!block.keys.count("rows")) item.jlow = 1, item.jhigh = ny;
    const bool columns_fit = 1 <= item.ilow && item.ilow <= item.ihigh && item.ihigh <= nx;
    const bool rows_fit = 1 <= item.jlow && item.jlow <= item.jhigh && item.jhigh <= ny;
    if (!columns_fit) {
      refuse("columns", "columns " + std::to_string(item.ilow) + " " +
                            std::to_string(item.ihigh) + " not within " + range_text(1, nx));
    }
    if (!rows_fit) {
      refuse("rows", "rows " + std::to_string(item.jlow) + " " + std::to_string(item.jhigh) +
                         " not within " + range_text(1, ny));
    }
    // Grid rows run south to north, plan rows north to south.
    const int grid_jlow = item.jlow, grid_jhigh = item.jhigh;
    item.jlow = ny - grid_jhigh + 1;
    item.jhigh = ny - grid_jlow + 1;
    if (block.keys.count("mask") && columns_fit && rows_fit) {
      const std::size_t width = static_cast<std::size_t>(item.ihigh - item.ilow + 1);
      const std::size_t height = static_cast<std::size_t>(item.jhigh - item.jlow + 1);
      if (block.mask_rows.size() != height) {
        refuse("mask", "mask of " + std::to_string(block.mask_rows.size()) +
                           " rows for a window of " + std::to_string(height));
      }
      for (const Line& row : block.mask_rows) {
        if (row.words.front().size() != width) {
          faults.error(VIS_PLAN_ITEM_ERROR, "plan", row.number,
                       "mask row " + row.words.front() + " of " +
                           std::to_string(row.words.front().size()) +
                           " cells for a window of " + std::to_string(width));
        }
        item.mask.push_back(row.words.front());
      }
    }
  }

  if (r->per_cell) {
    const int ll = count("top_cell");
    if (!(1 <= item.klow && item.klow <= item.khigh && item.khigh <= ll)) {
      refuse("layers", "layers " + std::to_string(item.klow) + " " +
                           std::to_string(item.khigh) + " not within " + range_text(1, ll));
    }
  } else if (block.keys.count("layers")) {
    faults.warning(block.keys["layers"].number,
                   "item " + item.name + " is not per cell; layers ignored");
    item.klow = item.khigh = 1;
  }

  const int natural = natural_extent(r->extra_dimensions);
  if (!block.keys.count("ext")) {
    item.ext = natural;
  } else if (item.ext < 1 || item.ext > natural) {
    refuse("ext", "ext " + std::to_string(item.ext) + " not in " + range_text(1, natural));
  }
  if (r->per_size_group && (item.size_group < 1 || item.size_group > count("nsed"))) {
    refuse("size_group", "size_group " + std::to_string(item.size_group) + " not in " +
                             range_text(1, count("nsed")));
  }
  if (r->per_contaminant && (item.contaminant < 1 || item.contaminant > count("ncon"))) {
    refuse("contaminant", "contaminant " + std::to_string(item.contaminant) + " not in " +
                              range_text(1, count("ncon")));
  }
  if (item.start < 0.0 || item.interval < 0.0 || item.end < 0.0 || item.end < item.start) {
    refuse("times", "times " + joined(std::vector<std::string>(
                                   block.keys["times"].words.begin() + 1,
                                   block.keys["times"].words.end())) +
                        ": negative, or end before start");
  }
  item.next_mark = item.start;
  item.accepted = faults.errors == errors_before;
}

void check_against_run(const std::string& file, const std::map<std::string, int, std::less<>>& run,
                       Faults& faults) {
  std::vector<Line> lines;
  if (!read_lines(file, lines)) {
    faults.error(VIS_PLAN_SYNTAX_ERROR, "check file", 0, "cannot be opened: " + file);
    return;
  }
  std::set<std::string> seen;
  for (const Line& line : lines) {
    if (line.words.empty()) continue;
    const std::string& key = line.words.front();
    const auto expected = run.find(key);
    int value = 0;
    if (expected == run.end()) {
      faults.error(VIS_PLAN_SYNTAX_ERROR, "check file", line.number,
                   "unknown key: " + joined(line.words));
    } else if (!seen.insert(key).second) {
      faults.error(VIS_PLAN_SYNTAX_ERROR, "check file", line.number,
                   "repeated key: " + joined(line.words));
    } else if (line.words.size() != 2 || !to_int(line.words[1], value)) {
      faults.error(VIS_PLAN_SYNTAX_ERROR, "check file", line.number,
                   "unreadable value: " + joined(line.words));
    } else if (value != expected->second) {
      faults.error(VIS_CHECK_MISMATCH_ERROR, "check file", line.number,
                   key + " " + std::to_string(value) + " but the run has " +
                       std::to_string(expected->second));
    }
  }
}

}  // namespace

bool VisPlanItem::is_on(int i, int j) const {
  if (i < ilow || i > ihigh || j < jlow || j > jhigh) return false;
  if (mask.empty()) return true;
  return mask[static_cast<std::size_t>(j - jlow)][static_cast<std::size_t>(i - ilow)] == '1';
}

PlanFileLibrary::PlanFileLibrary(RunIo& io, std::unique_ptr<VisualisationWriter> writer)
    : io_(io),
      writer_(std::move(writer)),
      plan_writer_(dynamic_cast<VisualisationPlanWriter*>(writer_.get())) {}

void PlanFileLibrary::SEND_P(std::string_view key, const VisParameterValue& value, int extent1,
                             int extent2) {
  if (const auto* text = std::get_if<std::string_view>(&value)) {
    texts_[std::string(key)] = std::string(*text);
  } else if (const int* n = std::get_if<int>(&value)) {
    counts_[std::string(key)] = *n;
  }
  writer_->SEND_P(key, value, extent1, extent2);
}

void PlanFileLibrary::REGISTER_STATIC_VISUALISATION_METADATA(
    std::string_view name, std::string_view basis, std::string_view units,
    std::string_view description, int nx, int ny, std::string_view extra_dimensions,
    bool per_cell) {
  registered_.push_back({std::string(name), std::string(basis), std::string(extra_dimensions),
                         per_cell, false, false, true});
  writer_->REGISTER_STATIC_VISUALISATION_METADATA(name, basis, units, description, nx, ny,
                                                  extra_dimensions, per_cell);
}

void PlanFileLibrary::REGISTER_DYNAMIC_VISUALISATION_METADATA(
    int pass, bool last, std::string_view name, std::string_view basis, std::string_view units,
    std::string_view description, std::string_view extra_dimensions, bool per_cell,
    bool per_size_group, bool per_contaminant, bool implemented) {
  // A later pass registers the dynamic items anew: its record replaces the earlier one.
  std::erase_if(registered_, [&](const VisRegisteredItem& r) { return r.name == name; });
  registered_.push_back({std::string(name), std::string(basis), std::string(extra_dimensions),
                         per_cell, per_size_group, per_contaminant, implemented});
  writer_->REGISTER_DYNAMIC_VISUALISATION_METADATA(pass, last, name, basis, units, description,
                                                   extra_dimensions, per_cell, per_size_group,
                                                   per_contaminant, implemented);
  if (last) read_and_check();
}

void PlanFileLibrary::read_and_check() {
  const std::string plan = texts_["planfile"];
  const std::string check = texts_["checkfile"];
  if (!plan.empty() && texts_["hdf5fname"].empty()) {
    REPORT_ERROR(io_, SEVERITY_FATAL, VIS_PLAN_WITHOUT_OUTPUT_FATAL, PRINT_UNIT, 0, 0,
                 "Visualisation plan named without a visualisation output file (unit 50)");
  }
  Faults faults{io_};
  std::map<std::string, int, std::less<>> run;
  for (const char* key : {"grid_nx", "grid_ny", "nel", "top_cell", "nsed", "ncon"}) {
    run[key] = counts_[key];
  }
  if (!check.empty()) check_against_run(check, run, faults);
  std::string plan_text;
  if (!plan.empty()) {
    std::vector<Line> lines;
    if (!read_lines(plan, lines, &plan_text)) {
      faults.error(VIS_PLAN_SYNTAX_ERROR, "plan", 0, "cannot be opened: " + plan);
    } else {
      std::vector<Block> blocks = parse_plan(lines, faults);
      for (Block& block : blocks) {
        check_item(block, registered_, run, faults);
        items_.push_back(std::move(block.item));
      }
    }
  }
  // The writer starts its output even for a plan that stops the run, so that no output
  // of an earlier run is left looking like this one's.
  if (plan_writer_) plan_writer_->plan_checked(plan_text, items_);
  if (faults.errors > 0) {
    REPORT_ERROR(io_, SEVERITY_FATAL, VIS_PLAN_FATAL, PRINT_UNIT, 0, 0,
                 "Error(s) detected while checking visualisation plan");
  }
}

const VisPlanItem* PlanFileLibrary::accepted(int item) const {
  if (item < 1 || item > static_cast<int>(items_.size())) return nullptr;
  const VisPlanItem& p = items_[static_cast<std::size_t>(item - 1)];
  return p.accepted ? &p : nullptr;
}
VisPlanItem* PlanFileLibrary::accepted(int item) {
  return const_cast<VisPlanItem*>(std::as_const(*this).accepted(item));
}

int PlanFileLibrary::GET_METADATA_I(int item, std::string_view key, std::optional<int> index) {
  if (item == 0) return key == "no_items" ? static_cast<int>(items_.size()) : 0;
  const VisPlanItem* p = accepted(item);
  if (!p) return 0;
  if (key == "ilow") return p->ilow;
  if (key == "ihigh") return p->ihigh;
  if (key == "jlow") return p->jlow;
  if (key == "jhigh") return p->jhigh;
  if (key == "klow") return p->klow;
  if (key == "khigh") return p->khigh;
  if (key == "ext") return p->ext;
  if (key == "nsed") return p->size_group;
  if (key == "ncon") return p->contaminant;
  if (key == "sz") return static_cast<int>(p->elements.size());
  if (key == "su" && index && *index >= 1 && *index <= static_cast<int>(p->elements.size())) {
    return p->elements[static_cast<std::size_t>(*index - 1)];
  }
  return 0;
}

std::string PlanFileLibrary::GET_METADATA_C(int item, std::string_view key) {
  const VisPlanItem* p = accepted(item);
  if (!p) return {};
  if (key == "name") return p->name;
  if (key == "typ") return p->type;
  if (key == "extra_dimensions") return p->extra_dimensions;
  return {};
}

bool PlanFileLibrary::GET_METADATA_L(int item, std::string_view key,
                                     std::optional<int> plan_column, std::optional<int> plan_row) {
  const VisPlanItem* p = accepted(item);
  if (!p) return false;
  if (key == "isgrid") return p->isgrid;
  if (key != "on" || !p->isgrid || !plan_column || !plan_row) return false;
  return p->is_on(*plan_column, *plan_row);
}

std::int64_t PlanFileLibrary::GET_METADATA_I_FIRST(int item, std::string_view key) {
  const VisPlanItem* p = accepted(item);
  if (!p) return 0;
  if (key == "first") return p->first;
  if (key == "latest") return p->latest;
  return 0;
}

void PlanFileLibrary::SET_METADATA_I(int item, std::string_view key, std::int64_t value) {
  VisPlanItem* p = accepted(item);
  if (!p) return;
  if (key == "first") p->first = value;
  if (key == "latest") p->latest = value;
}

// Due when the time lies in start..end, is later than the item's last record, and has
// reached the next mark start + n x interval. A step that passes several marks gives one
// record; the next mark is the first one after this time.
bool PlanFileLibrary::TIME_TO_RECORD(int item, double time) {
  VisPlanItem* p = accepted(item);
  if (!p) return false;
  constexpr double tol = CLOCK_TOLERANCE_HOURS;
  if (time < p->start - tol || time > p->end + tol) return false;
  if (p->has_record && time <= p->last_record + tol) return false;
  if (time < p->next_mark - tol) return false;
  p->has_record = true;
  p->last_record = time;
  due_item_ = item;
  if (p->interval > 0.0) {
    const double marks_passed = std::floor((time - p->start + tol) / p->interval);
    p->next_mark = p->start + (marks_passed + 1.0) * p->interval;
  }
  return true;
}

// "latest" numbers an item's time records from 1; "first" is the number of its first
// record (1 once it has one).
void PlanFileLibrary::FOR_NEW_TIME(std::string_view type, double time, int ilow, int ihigh,
                                   int jlow, int jhigh, int klow, int khigh, int ext,
                                   std::int64_t& first, std::int64_t& latest) {
  latest += 1;
  if (first == 0) first = latest;
  std::int64_t writer_first = first, writer_latest = latest;
  if (plan_writer_) plan_writer_->new_record_of(due_item_);
  writer_->FOR_NEW_TIME(type, time, ilow, ihigh, jlow, jhigh, klow, khigh, ext, writer_first,
                        writer_latest);
}

void PlanFileLibrary::SAVE_ITEMS_WORTH_R(std::string_view part, std::string_view type, int i,
                                         int j, int klow, int khigh, int extra_position,
                                         int neighbour_position, std::span<const float> values,
                                         std::int64_t latest) {
  writer_->SAVE_ITEMS_WORTH_R(part, type, i, j, klow, khigh, extra_position, neighbour_position,
                              values, latest);
}

void PlanFileLibrary::SAVE_ITEMS_WORTH_I(std::string_view part, std::string_view type, int i,
                                         int j, int klow, int khigh, int extra_position,
                                         int neighbour_position, std::span<const int> values,
                                         std::int64_t latest) {
  writer_->SAVE_ITEMS_WORTH_I(part, type, i, j, klow, khigh, extra_position, neighbour_position,
                              values, latest);
}

void PlanFileLibrary::SAVE_VISUALISATION_DATA_TO_DISK(int item, double time) {
  writer_->SAVE_VISUALISATION_DATA_TO_DISK(item, time);
}

void PlanFileLibrary::VISUALISATION_TIDY_UP() { writer_->VISUALISATION_TIDY_UP(); }

std::unique_ptr<VisualisationLibrary> make_plan_file_library(RunIo& io, const FrameState& frame) {
  return std::make_unique<PlanFileLibrary>(io, make_hdf5_writer(io, frame));
}

}  // namespace quendal
