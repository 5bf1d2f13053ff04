#include "output/visualisation/visualisation_driver.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>

#include "output/visualisation/item_collectors.h"
#include "output/visualisation/item_tables.h"
#include "output/visualisation/run_metadata.h"
#include "output/visualisation/value_accessors.h"
#include "output/visualisation/visualisation_library.h"
#include "services/error_reporting.h"
#include "services/units.h"

namespace quendal {

namespace {

constexpr std::optional<int> NO_INDEX = std::nullopt;

void register_items(const FrameState& frame, VisualisationLibrary& library) {
  const Array1<VIS_ITEM_RECORD> statics = VIS_ITEM_TABLE("static");
  for (long n = statics.lower(); n <= statics.upper(); ++n) {
    const VIS_ITEM_RECORD& r = statics(n);
    library.REGISTER_STATIC_VISUALISATION_METADATA(r.ITEM_NAME, r.ITEM_BASIS, r.ITEM_UNITS,
                                                   r.ITEM_DESCRIPTION, frame.NX, frame.NY,
                                                   r.ITEM_EXTRA_DIMENSIONS, r.ITEM_PER_CELL);
  }
  const Array1<VIS_ITEM_RECORD> dynamics = VIS_ITEM_TABLE("dynamic");
  for (int pass = 1; pass <= 2; ++pass) {
    for (long n = dynamics.lower(); n <= dynamics.upper(); ++n) {
      const VIS_ITEM_RECORD& r = dynamics(n);
      const bool last = pass == 2 && n == dynamics.upper();
      library.REGISTER_DYNAMIC_VISUALISATION_METADATA(
          pass, last, r.ITEM_NAME, r.ITEM_BASIS, r.ITEM_UNITS, r.ITEM_DESCRIPTION,
          r.ITEM_EXTRA_DIMENSIONS, r.ITEM_PER_CELL, r.ITEM_PER_SIZE_GROUP,
          r.ITEM_PER_CONTAMINANT, r.ITEM_IMPLEMENTED);
    }
  }
}

// What the plan says of one due item.
struct PlanItem {
  int ilow = 0, ihigh = 0, jlow = 0, jhigh = 0, klow = 0, khigh = 0;
  bool isgrid = false;
  int ext = 0;
  std::int64_t first = 0, latest = 0;
  int nsed = 0, ncon = 0;
  int sz = 0;
};

// A plan answer that cannot be used: the key, its value and the range it must lie in.
struct Refusal {
  std::string key;
  long value;
  long low, high;
};

std::optional<Refusal> outside(std::string key, long value, long low, long high) {
  if (value >= low && value <= high) return std::nullopt;
  return Refusal{std::move(key), value, low, high};
}

// The first answer of the item that would take a read outside the mesh.
std::optional<Refusal> check_item(const VisualisationSources& s, const PlanItem& p,
                                  std::string_view name, const std::vector<int>& selection) {
  const FrameState& frame = s.frame;
  const VIS_ITEM_RECORD* record = find_vis_item(name);
  std::optional<Refusal> r;
  if (p.isgrid) {
    if ((r = outside("ilow", p.ilow, 1, frame.NX))) return r;
    if ((r = outside("ihigh", p.ihigh, p.ilow, frame.NX))) return r;
    if ((r = outside("jlow", p.jlow, 1, frame.NY))) return r;
    if ((r = outside("jhigh", p.jhigh, p.jlow, frame.NY))) return r;
  }
  // An empty layer range visits no cell.
  if (record && record->ITEM_PER_CELL && p.khigh >= p.klow) {
    if ((r = outside("klow", p.klow, 1, s.subsurface.LL))) return r;
    if ((r = outside("khigh", p.khigh, 1, s.subsurface.LL))) return r;
  }
  if ((r = outside("ext", p.ext, 0, 4))) return r;
  if (!p.isgrid) {
    if (p.sz < 0) return Refusal{"sz", p.sz, 0, frame.NEL};
    for (std::size_t k = 0; k < selection.size(); ++k) {
      if ((r = outside("su(" + std::to_string(k + 1) + ")", selection[k], 0, frame.NEL))) return r;
    }
  }
  if (record && record->ITEM_PER_SIZE_GROUP) {
    if ((r = outside("nsed", p.nsed, 1, s.sediment.NSED))) return r;
  }
  if (record && record->ITEM_PER_CONTAMINANT) {
    if ((r = outside("ncon", p.ncon, 1, s.contaminant.NCON))) return r;
  }
  return std::nullopt;
}

void warn_once(VisualisationState& vis, RunIo& io, int item, std::string_view name,
               const Refusal& r) {
  if (vis.refused_items.size() <= static_cast<std::size_t>(item)) {
    vis.refused_items.resize(static_cast<std::size_t>(item) + 1, 0);
  }
  if (vis.refused_items[static_cast<std::size_t>(item)]) return;
  vis.refused_items[static_cast<std::size_t>(item)] = 1;
  std::string message = "Visualisation item " + std::to_string(item) + " " +
                        std::string(trim_trailing_blanks(name)) + ": " + r.key + " = " +
                        std::to_string(r.value) + " not in " + std::to_string(r.low) + " to " +
                        std::to_string(r.high) + "; not recorded";
  REPORT_ERROR(io, SEVERITY_WARNING, VIS_PLAN_REFUSED_WARNING, PRINT_UNIT, 0, 0,
               message.substr(0, 132));
}

// Records one due item; false when the plan's answers were refused.
bool record_item(int item, double time, const VisualisationSources& s, VisualisationState& vis,
                 RunIo& io) {
  VisualisationLibrary& library = *vis.VIS_LIBRARY;
  PlanItem p;
  vis.VIS_ITEM_NAME = library.GET_METADATA_C(item, "name");
  vis.VIS_ITEM_TYPE = library.GET_METADATA_C(item, "typ").substr(0, 2);
  p.ilow = library.GET_METADATA_I(item, "ilow", NO_INDEX);
  p.ihigh = library.GET_METADATA_I(item, "ihigh", NO_INDEX);
  p.jlow = library.GET_METADATA_I(item, "jlow", NO_INDEX);
  p.jhigh = library.GET_METADATA_I(item, "jhigh", NO_INDEX);
  p.klow = library.GET_METADATA_I(item, "klow", NO_INDEX);
  p.khigh = library.GET_METADATA_I(item, "khigh", NO_INDEX);
  p.isgrid = library.GET_METADATA_L(item, "isgrid", NO_INDEX, NO_INDEX);
  p.ext = library.GET_METADATA_I(item, "ext", NO_INDEX);
  if (p.ext > 0) {
    vis.VIS_EXTRA_DIMENSION_NAME = library.GET_METADATA_C(item, "extra_dimensions").substr(0, 8);
    if (trim_trailing_blanks(vis.VIS_EXTRA_DIMENSION_NAME) == "faces") {
      std::copy(std::begin(VIS_FACE_ORDER), std::end(VIS_FACE_ORDER), vis.VIS_EXTRA_ORDER.begin());
    } else {
      vis.VIS_EXTRA_ORDER = {1, 2, 3, 4};
    }
  }
  p.first = library.GET_METADATA_I_FIRST(item, "first");
  p.latest = library.GET_METADATA_I_FIRST(item, "latest");
  p.nsed = library.GET_METADATA_I(item, "nsed", NO_INDEX);
  p.ncon = library.GET_METADATA_I(item, "ncon", NO_INDEX);
  // A list item's selection is read before its time record is opened, so that it can
  // be checked.
  vis.list_elements.clear();
  if (!p.isgrid) {
    p.sz = library.GET_METADATA_I(item, "sz", NO_INDEX);
    for (int k = 1; k <= p.sz; ++k) vis.list_elements.push_back(library.GET_METADATA_I(item, "su", k));
  }
  if (const auto refusal = check_item(s, p, vis.VIS_ITEM_NAME, vis.list_elements)) {
    warn_once(vis, io, item, vis.VIS_ITEM_NAME, *refusal);
    return false;
  }

  library.FOR_NEW_TIME(vis.VIS_ITEM_TYPE, time, p.ilow, p.ihigh, p.jlow, p.jhigh, p.klow,
                       p.khigh, p.ext, p.first, p.latest);
  library.SET_METADATA_I(item, "first", p.first);
  library.SET_METADATA_I(item, "latest", p.latest);

  vis.cells.clear();
  for (int k = p.klow; k <= p.khigh; ++k) vis.cells.push_back(VIS_CELL_FROM_LAYER(s.subsurface, k));
  const std::span<const int> extra(vis.VIS_EXTRA_ORDER.data(), static_cast<std::size_t>(p.ext));
  auto collect = [&](int i, int j, int grid_row, int element) {
    VIS_COLLECT_ITEM(s, library, vis.VIS_ITEM_NAME, vis.VIS_ITEM_TYPE, i, j, grid_row, element,
                     p.klow, p.khigh, vis.cells, extra, p.latest, p.nsed, p.ncon,
                     vis.real_values, vis.int_values);
  };
  const int ny = s.frame.NY;
  if (p.isgrid) {
    for (int i = p.ilow; i <= p.ihigh; ++i) {
      for (int j = p.jlow; j <= p.jhigh; ++j) {
        if (!library.GET_METADATA_L(item, "on", i, j)) continue;
        const int element = ELEMENT_AT_GRID(s.frame, i, ny - j + 1);
        if (element != 0) collect(i, j, ny - j + 1, element);
      }
    }
  } else {
    for (int k = 1; k <= p.sz; ++k) {
      const int element = vis.list_elements[static_cast<std::size_t>(k - 1)];
      if (element != 0) collect(k, 1, 1, element);
    }
  }
  return true;
}

}  // namespace

VisualisationState::VisualisationState() = default;
VisualisationState::VisualisationState(VisualisationState&&) noexcept = default;
VisualisationState& VisualisationState::operator=(VisualisationState&&) noexcept = default;
VisualisationState::~VisualisationState() = default;

void VIS_DRIVER(double time, std::string_view mode, const FrameState& frame,
                const SurfaceState& surface, const SubsurfaceState& subsurface,
                const SedimentState& sediment, const ContaminantState& contaminant,
                const OutputState& output, VisualisationState& vis, RunIo& io) {
  if (!vis.VIS_LIBRARY) return;
  VisualisationLibrary& library = *vis.VIS_LIBRARY;
  const VisualisationSources s{frame, surface, subsurface, sediment, contaminant, output};
  if (vis.VIS_FIRST_CALL_PENDING) {
    vis.VIS_FIRST_CALL_PENDING = false;
    vis.VIS_SECOND_CALL_PENDING = true;
    VIS_SEND_RUN_METADATA(1, s, io.names, library);
    library.SAVE_VISUALISATION_DATA_TO_DISK(1, 0.0);
    return;
  }
  if (vis.VIS_SECOND_CALL_PENDING) {
    vis.VIS_SECOND_CALL_PENDING = false;
    VIS_SEND_RUN_METADATA(2, s, io.names, library);
    register_items(frame, library);
  }
  const int items = library.GET_METADATA_I(0, "no_items", NO_INDEX);
  for (int item = 1; item <= items; ++item) {
    if (!library.TIME_TO_RECORD(item, time)) continue;
    if (record_item(item, time, s, vis, io)) library.SAVE_VISUALISATION_DATA_TO_DISK(item, time);
  }
  if (trim_trailing_blanks(mode) == "end") VIS_CLOSE(vis);
}

void VIS_CLOSE(VisualisationState& vis) {
  if (vis.VIS_OUTPUT_CLOSED || !vis.VIS_LIBRARY) return;
  vis.VIS_OUTPUT_CLOSED = true;
  vis.VIS_LIBRARY->VISUALISATION_TIDY_UP();
}

}  // namespace quendal
