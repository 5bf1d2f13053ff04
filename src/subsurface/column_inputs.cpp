#include "subsurface/column_inputs.h"

#include <cmath>

#include "services/error_reporting.h"
#include "services/physical_bounds.h"

namespace quendal {

namespace {

// The layer of element e that holds `cell`: the highest whose bottom cell is not above it.
int layer_of_cell(const SubsurfaceState& v, int e, int cell) {
  int layer = 0;
  for (int l = 1; l <= v.NLYR(e); ++l) {
    if (v.LAYER_BOTTOM_CELL(e, l) <= cell) layer = l;
  }
  return layer;
}

std::string soil_line(const SubsurfaceState& v, int s) {
  if (s < 1 || s > v.SOIL_FUNCTION_TYPE.size()) return "soil type " + std::to_string(s);
  return "soil type " + std::to_string(s) + " (:VS05): function " +
         std::to_string(v.SOIL_FUNCTION_TYPE(s)) + ", Kx " + value_text(v.SOIL_KX(s) * 86400.0) +
         ", Ky " + value_text(v.SOIL_KY(s) * 86400.0) + ", Kz " +
         value_text(v.SOIL_KZ(s) * 86400.0) + " m/day, THSAT " + value_text(v.THSAT(s)) +
         ", residual " + value_text(v.SOIL_RESIDUAL_THETA(s)) + ", specific storage " +
         value_text(v.SOIL_SPECIFIC_STORAGE(s)) + " 1/m, n " + value_text(v.SOIL_VG_N(s)) +
         ", alpha " + value_text(v.SOIL_VG_ALPHA(s));
}

}  // namespace

std::vector<std::string> column_input_lines(const SubsurfaceState& v, int e, int cell,
                                            const double* head) {
  std::vector<std::string> lines;
  if (e < 1 || e > v.NLYR.size()) return lines;
  const int n = v.NLYR(e);
  // The column's layers as the data files set them: soil types from :VS08 (and a link's
  // bed layer from :VS09), levels from the ground elevation less the layer depths.
  std::string layers = "element " + std::to_string(e) + ": top of the column (ground, or a "
                       "link's bed) at " + value_text(v.LAYER_BOTTOM_LEVEL(e, n + 1)) +
                       " m; layers from the bottom (soil type, bottom level m):";
  for (int l = 1; l <= n; ++l) {
    layers.append(" ").append(std::to_string(l)).append(" (");
    layers.append(std::to_string(v.NTSOIL(e, l))).append(", ");
    layers.append(value_text(v.LAYER_BOTTOM_LEVEL(e, l))).append(")");
  }
  lines.push_back(layers);
  const bool cells_set = v.LL > 0 && !v.CELL_SOIL_TYPE.empty();
  if (cells_set && cell >= 1 && cell <= v.LL) {
    const int layer = layer_of_cell(v, e, cell);
    std::string line = "cell " + std::to_string(cell) + " at level " +
                       value_text(v.CELL_ELEVATION(cell, e)) + " m, " +
                       value_text(v.CELL_THICKNESS(cell, e)) + " m thick, in layer " +
                       std::to_string(layer);
    if (head != nullptr) {
      line += ", head " + (std::isfinite(*head) ? value_text(*head) + " m" : "not finite");
    }
    lines.push_back(line);
    lines.push_back(soil_line(v, v.CELL_SOIL_TYPE(cell, e)));
  }
  return lines;
}

std::string neighbour_tops_line(const FrameState& frame, const SubsurfaceState& v, int e) {
  std::string line = "tops of the neighbouring columns (face: element, m):";
  bool any = false;
  for (int f = 1; f <= 4; ++f) {
    const int n = frame.ICMREF(e, f, 2);
    if (n < 1 || n > v.NLYR.size() || v.NLYR(n) <= 0) continue;  // a link without cells
    line.append(" ").append(std::to_string(f)).append(": ").append(std::to_string(n));
    line.append(", ").append(value_text(v.LAYER_BOTTOM_LEVEL(n, v.NLYR(n) + 1))).append(";");
    any = true;
  }
  if (!any) return {};
  line.pop_back();
  return line;
}

std::string steepest_step_line(const FrameState& frame, const SubsurfaceState& v) {
  auto has_column = [&](int e) { return e >= 1 && e <= v.NLYR.size() && v.NLYR(e) > 0; };
  auto top = [&](int e) { return v.LAYER_BOTTOM_LEVEL(e, v.NLYR(e) + 1); };
  int from = 0, to = 0;
  double step = -1.0;
  for (int e = 1; e <= v.NLYR.size(); ++e) {
    if (!has_column(e)) continue;
    for (int f = 1; f <= 4; ++f) {
      const int n = frame.ICMREF(e, f, 2);
      if (!has_column(n)) continue;
      const double d = std::fabs(top(e) - top(n));
      if (d > step) {
        step = d;
        from = top(e) >= top(n) ? e : n;
        to = from == e ? n : e;
      }
    }
  }
  if (from == 0) return {};
  return "largest step between neighbouring column tops in the catchment: element " +
         std::to_string(from) + " at " + value_text(top(from)) + " m beside element " +
         std::to_string(to) + " at " + value_text(top(to)) + " m";
}

void report_column_inputs(RunIo& io, const FrameState& frame, const SubsurfaceState& vss, int e,
                          int cell) {
  std::vector<std::string> lines = column_input_lines(vss, e, cell);
  lines.push_back(neighbour_tops_line(frame, vss, e));
  lines.push_back(steepest_step_line(frame, vss));
  for (const std::string& line : lines) {
    if (!line.empty()) REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0, line);
  }
}

int column_changing_most(const SubsurfaceState& vss) {
  int most = 0;
  double largest = 0.0;
  for (int e = 1; e <= vss.COLUMN_PSI_CHANGE.upper(); ++e) {
    const double change = vss.COLUMN_PSI_CHANGE(e);
    if (change > largest || (!std::isfinite(change) && most == 0)) {
      most = e;
      largest = std::isfinite(change) ? change : largest;
    }
  }
  return most;
}

}  // namespace quendal
