// The run's visualisation layer: it reads the plan and check files, refuses a plan that
// does not fit the run before the first step, answers the driver's questions about the
// plan's items and decides when each is due. Record operations go on to a writer.
//
// Plan file (text; `#` starts a comment):
//   QUENDAL-VIS-PLAN 1
//   item
//     name srf_dep            a registered item, case-sensitive
//     type GS                 GS MS BS LS (NS IS ES FS for integer items); default MS / IS
//     columns 2 5             window in the frame file's numbering; default the whole grid
//     rows 1 3
//     mask                    one line of 0s and 1s per window row, northern first
//     0110
//     1111
//     1111
//     layers 1 3              from the top cell; default 1 1
//     ext 4                   default the item's natural count
//     size_group 1            default 1
//     contaminant 1           default 1
//     times 0 1 24            start, interval [, end], hours; default 0 0: every call
//   end
// A list item names `elements e1 e2 ...` (the key may repeat) in place of a window.
//
// Check file (optional): `key value` lines among grid_nx, grid_ny, nel, top_cell, nsed
// and ncon, each compared with the run.
#pragma once

#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "include/run_io.h"
#include "output/visualisation/visualisation_library.h"

namespace quendal {

constexpr int VIS_PLAN_SYNTAX_ERROR = 1070;
constexpr int VIS_PLAN_ITEM_ERROR = 1071;
constexpr int VIS_CHECK_MISMATCH_ERROR = 1072;
constexpr int VIS_PLAN_FATAL = 1073;
constexpr int VIS_PLAN_WITHOUT_OUTPUT_FATAL = 1074;
constexpr int VIS_PLAN_ITEM_WARNING = 1076;

// An item as the run registered it.
struct VisRegisteredItem {
  std::string name, basis, extra_dimensions;
  bool per_cell = false, per_size_group = false, per_contaminant = false, implemented = false;
};

// One `item` ... `end` block of the plan, after checking.
struct VisPlanItem {
  int line = 0;        // plan line of its `item`
  bool accepted = false;  // checked and to be recorded
  std::string name, type, extra_dimensions;
  bool isgrid = true;
  // Plan window: plan columns are grid columns; plan row j is grid row NY - j + 1.
  int ilow = 0, ihigh = 0, jlow = 0, jhigh = 0;
  std::vector<int> elements;             // the selection of a list item
  std::vector<std::string> mask;         // window rows, northern (plan row jlow) first
  int klow = 1, khigh = 1;
  int ext = 0;
  int size_group = 1, contaminant = 1;
  double start = 0.0, interval = 0.0, end = std::numeric_limits<double>::infinity();
  // The schedule and the record counters.
  bool has_record = false;
  double last_record = 0.0;
  double next_mark = 0.0;
  std::int64_t first = 0, latest = 0;

  // The plan cell (i, j) of a grid item is switched on: inside the window and, when the
  // item has a mask, marked 1 there.
  bool is_on(int i, int j) const;
};

// A writer that keeps the plan: the plan layer hands it the plan once it is checked,
// before the first step, and names the item of every new time record before the record
// operations of that item.
class VisualisationPlanWriter {
 public:
  virtual ~VisualisationPlanWriter() = default;
  // `plan_text` is the plan file as read (empty when no plan is named); item n is
  // items[n - 1], recorded only when `accepted`.
  virtual void plan_checked(const std::string& plan_text,
                            const std::vector<VisPlanItem>& items) = 0;
  virtual void new_record_of(int item) = 0;
};

class PlanFileLibrary final : public VisualisationLibrary {
 public:
  // `writer` receives the run parameters, the registrations and the record operations.
  // A writer that is also a VisualisationPlanWriter is handed the plan and the item of
  // each record.
  PlanFileLibrary(RunIo& io, std::unique_ptr<VisualisationWriter> writer);

  void SEND_P(std::string_view key, const VisParameterValue& value, int extent1,
              int extent2) override;
  void REGISTER_STATIC_VISUALISATION_METADATA(std::string_view name, std::string_view basis,
                                              std::string_view units,
                                              std::string_view description, int nx, int ny,
                                              std::string_view extra_dimensions,
                                              bool per_cell) override;
  void REGISTER_DYNAMIC_VISUALISATION_METADATA(int pass, bool last, std::string_view name,
                                               std::string_view basis, std::string_view units,
                                               std::string_view description,
                                               std::string_view extra_dimensions, bool per_cell,
                                               bool per_size_group, bool per_contaminant,
                                               bool implemented) override;
  int GET_METADATA_I(int item, std::string_view key, std::optional<int> index) override;
  std::string GET_METADATA_C(int item, std::string_view key) override;
  bool GET_METADATA_L(int item, std::string_view key, std::optional<int> plan_column,
                      std::optional<int> plan_row) override;
  std::int64_t GET_METADATA_I_FIRST(int item, std::string_view key) override;
  void SET_METADATA_I(int item, std::string_view key, std::int64_t value) override;
  bool TIME_TO_RECORD(int item, double time) override;
  void FOR_NEW_TIME(std::string_view type, double time, int ilow, int ihigh, int jlow, int jhigh,
                    int klow, int khigh, int ext, std::int64_t& first,
                    std::int64_t& latest) override;
  void SAVE_ITEMS_WORTH_R(std::string_view part, std::string_view type, int i, int j, int klow,
                          int khigh, int extra_position, int neighbour_position,
                          std::span<const float> values, std::int64_t latest) override;
  void SAVE_ITEMS_WORTH_I(std::string_view part, std::string_view type, int i, int j, int klow,
                          int khigh, int extra_position, int neighbour_position,
                          std::span<const int> values, std::int64_t latest) override;
  void SAVE_VISUALISATION_DATA_TO_DISK(int item, double time) override;
  void VISUALISATION_TIDY_UP() override;

  // The plan's items in file order (item n is items()[n - 1]).
  const std::vector<VisPlanItem>& items() const { return items_; }

 private:
  void read_and_check();
  const VisPlanItem* accepted(int item) const;
  VisPlanItem* accepted(int item);

  RunIo& io_;
  std::unique_ptr<VisualisationWriter> writer_;
  VisualisationPlanWriter* plan_writer_ = nullptr;  // writer_ as a plan writer, if it is one
  int due_item_ = 0;  // the item TIME_TO_RECORD last found due: the next record's
  std::map<std::string, std::string, std::less<>> texts_;  // pass-1 texts by key
  std::map<std::string, int, std::less<>> counts_;        // pass-2 integers by key
  std::vector<VisRegisteredItem> registered_;
  std::vector<VisPlanItem> items_;
};

struct FrameState;

// The layer the program uses when the run names a plan or an HDF5 file: the plan layer
// writing to the HDF5 file of unit 50, whose dates count from the run's start date in
// `frame` (read once the file is created, before the first step).
std::unique_ptr<VisualisationLibrary> make_plan_file_library(RunIo& io, const FrameState& frame);

}  // namespace quendal
