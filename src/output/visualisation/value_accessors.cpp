#include "output/visualisation/value_accessors.h"

#include <algorithm>

#include "include/dimensions.h"
#include "output/visualisation/item_tables.h"

namespace quendal {

namespace {

// Reads that give 0 for an index the array does not hold (an array the run has not
// sized holds none).
template <class T>
T at(const Array1<T>& a, long i) {
  return i >= a.lower() && i <= a.upper() ? a(i) : T();
}
template <class T>
T at(const Array2<T>& a, long i, long j) {
  return i >= a.lower(1) && i <= a.upper(1) && j >= a.lower(2) && j <= a.upper(2) ? a(i, j) : T();
}
template <class T>
T at(const Array3<T>& a, long i, long j, long k) {
  return i >= a.lower(1) && i <= a.upper(1) && j >= a.lower(2) && j <= a.upper(2) &&
                 k >= a.lower(3) && k <= a.upper(3)
             ? a(i, j, k)
             : T();
}

// Kind of an element (0 for element 0), its neighbour over a face.
int kind_of(const FrameState& frame, int e) { return e == 0 ? KIND_GRID_SQUARE : at(frame.ICMREF, e, 1, 1); }
int neighbour(const FrameState& frame, int e, int f) { return at(frame.ICMREF, e, f, 2); }

// --- the value of each delivered item, in its output units -------------------------
double VIS_ELEMENT_DX(const FrameState& f, int e) { return at(f.DXQQ, e); }
double VIS_ELEMENT_DY(const FrameState& f, int e) { return at(f.DYQQ, e); }
double VIS_ELEMENT_SIZE_BY_FACE(const FrameState& f, int e, int face) {
  if (e < 1) return 0.0;
  return face == 1 || face == 3 ? VIS_ELEMENT_DX(f, e) : VIS_ELEMENT_DY(f, e);
}
double VIS_LINK_WIDTH(const SurfaceState& s, int e) { return e < 1 ? -1.0 : at(s.CWIDTH, e); }
double VIS_SURF_ELV(const FrameState& f, int e) { return e < 1 ? -1.0 : at(f.ZGRUND, e); }
double VIS_VERT_THK(const SubsurfaceState& v, int e, int k) {
  return e < 1 ? -1.0 : at(v.CELL_THICKNESS, k, e);
}
double VIS_NET_RAIN(const SurfaceState& s, int e) { return at(s.PNETTO, e) * VIS_M_PER_S_TO_MM_PER_HOUR; }
double VIS_POT_EVAP(const SurfaceState& s, int e) {
  return at(s.ET_POTENTIAL_EVAP, e) * VIS_M_PER_S_TO_MM_PER_HOUR;
}
double VIS_TRNSP(const SurfaceState& s, int e) {
  return at(s.ET_TRANSPIRATION, e) * VIS_M_PER_S_TO_MM_PER_HOUR;
}
double VIS_SRF_EVAP(const SurfaceState& s, int e) {
  return at(s.ET_SOIL_EVAP, e) * VIS_M_PER_S_TO_MM_PER_HOUR;
}
double VIS_INT_EVAP(const SurfaceState& s, int e) {
  return at(s.ET_CANOPY_EVAP, e) * VIS_M_PER_S_TO_MM_PER_HOUR;
}
double VIS_DRAINAGE(const SurfaceState& s, int e) { return at(s.DRAINA, e) * VIS_M_PER_S_TO_MM_PER_HOUR; }
double VIS_CAN_STOR(const SurfaceState& s, int e) { return at(s.cstore, e); }
// The pack's depth is kept in mm of snow; the item gives it in metres, its units.
double VIS_SNOW_DEP(const SurfaceState& s, int e) { return at(s.SD, e) / VIS_M_TO_MM; }
double VIS_BAL_ERR(const OutputState& o, int e) { return at(o.ELEMENT_BALANCE_ERROR, e); }
double VIS_PH_DEPTH(const VisualisationSources& s, int e) {
  return at(s.frame.ZGRUND, e) - at(s.subsurface.PHREATIC_LEVEL, e);
}
double VIS_SRF_DEP(const VisualisationSources& s, int e) {
  return at(s.surface.HRF, e) - at(s.frame.ZGRUND, e);
}
double VIS_S_T_DP(const SedimentState& y, int e) { return at(y.DLS, e) * VIS_M_TO_MM; }
double VIS_S_V_ER(const SedimentState& y, int e) {
  return at(y.SY_GROUND_EROSION_RATE, e) * VIS_M_PER_S_TO_MM_PER_DAY;
}
double VIS_OVR_FLOW(const SurfaceState& s, int e, int face) { return at(s.QOC, e, face); }
double VIS_S_DIS(const SedimentState& y, int e, int face, int group) {
  return at(y.SY_FACE_SEDIMENT_DISCHARGE, e, group, face) * VIS_SEDIMENT_DENSITY;
}
double VIS_V_FLOW(const SubsurfaceState& v, int e, int k) { return at(v.CELL_VERTICAL_FLOW, k, e); }
double VIS_PSI(const SubsurfaceState& v, int e, int k) { return at(v.vspsi, k, e); }
double VIS_THETA(const SubsurfaceState& v, int e, int k) { return at(v.CELL_THETA, k, e); }
// The contaminant state is laid out (cell, element, contaminant), cells fastest.
double VIS_C_C_DR(const ContaminantState& c, int e, int k, int m) {
  return at(c.CM_REL_CONC_DYNAMIC, k, e, m);
}
double VIS_C_C_DS(const ContaminantState& c, int e, int k, int m) {
  return at(c.CM_REL_CONC_DEAD_SPACE, k, e, m);
}

// Distance from the element's centre to its face `face`: a bank element spans its
// whole size, a link half its channel width, any other element half its size.
double r_span(const VisualisationSources& s, int e, int face) {
  const int kind = kind_of(s.frame, e);
  if (kind == 1 || kind == 2) return VIS_ELEMENT_SIZE_BY_FACE(s.frame, e, face);
  if (kind == KIND_CHANNEL_LINK) return 0.5 * VIS_LINK_WIDTH(s.surface, e);
  if (face == 1 || face == 3) return 0.5 * VIS_ELEMENT_DX(s.frame, e);
  if (face == 2 || face == 4) return 0.5 * VIS_ELEMENT_DY(s.frame, e);
  return 0.0;
}

// Centre of a grid cell, from the outer edge of column 1 (extra index 1) or of row NY
// (extra index 2), summed in 4-byte reals as the library's coordinates are.
float centroid(const FrameState& f, int column, int row, int extra) {
  float sum = 0.0f;
  if (extra == 1) {
    for (int m = 1; m <= std::min(column - 1, f.NX); ++m) sum += static_cast<float>(VIS_GRID_SPACING_X(f, m));
    return static_cast<float>(0.5 * VIS_GRID_SPACING_X(f, column)) + sum;
  }
  if (extra == 2) {
    for (int m = f.NY; m >= std::max(row + 1, 1); --m) sum += static_cast<float>(VIS_GRID_SPACING_Y(f, m));
    return static_cast<float>(0.5 * VIS_GRID_SPACING_Y(f, row)) + sum;
  }
  return 0.0f;
}

double real_value(const VisualisationSources& s, std::string_view n, int e, int column, int row,
                  int k, int extra, int group, int con, bool& found) {
  found = true;
  if (n == "grid_dxy") {
    if (extra == 1) return VIS_GRID_SPACING_X(s.frame, column);
    if (extra == 2) return VIS_GRID_SPACING_Y(s.frame, row);
    return 0.0;
  }
  if (n == "net_rain") return VIS_NET_RAIN(s.surface, e);
  if (n == "pot_evap") return VIS_POT_EVAP(s.surface, e);
  if (n == "trnsp") return VIS_TRNSP(s.surface, e);
  if (n == "srf_evap") return VIS_SRF_EVAP(s.surface, e);
  if (n == "int_evap") return VIS_INT_EVAP(s.surface, e);
  if (n == "drainage") return VIS_DRAINAGE(s.surface, e);
  if (n == "can_stor") return VIS_CAN_STOR(s.surface, e);
  if (n == "v_flow") return VIS_V_FLOW(s.subsurface, e, k);
  if (n == "snow_dep") return VIS_SNOW_DEP(s.surface, e);
  if (n == "ph_depth") return VIS_PH_DEPTH(s, e);
  if (n == "ovr_flow") return VIS_OVR_FLOW(s.surface, e, extra);
  if (n == "srf_dep") return VIS_SRF_DEP(s, e);
  if (n == "psi") return VIS_PSI(s.subsurface, e, k);
  if (n == "theta") return VIS_THETA(s.subsurface, e, k);
  if (n == "s_t_dp") return VIS_S_T_DP(s.sediment, e);
  if (n == "s_v_er") return VIS_S_V_ER(s.sediment, e);
  if (n == "s_dis") return VIS_S_DIS(s.sediment, e, extra, group);
  if (n == "c_c_dr") return VIS_C_C_DR(s.contaminant, e, k, con);
  if (n == "c_c_ds") return VIS_C_C_DS(s.contaminant, e, k, con);
  if (n == "bal_err") return VIS_BAL_ERR(s.output, e);
  if (n == "vert_thk") return VIS_VERT_THK(s.subsurface, e, k);
  if (n == "surf_elv") return VIS_SURF_ELV(s.frame, e);
  if (n == "r_span") return r_span(s, e, extra);
  found = false;
  return 0.0;
}

}  // namespace

float VIS_REAL_VALUE(const VisualisationSources& s, std::string_view name, int element,
                     int column, int row, int cell, int extra, int size_group, int contaminant) {
  const std::string_view n = trim_trailing_blanks(name);
  if (n == "centroid") return centroid(s.frame, column, row, extra);
  bool found = false;
  const double value =
      real_value(s, n, element, column, row, cell, extra, size_group, contaminant, found);
  return found ? static_cast<float>(value) : VIS_NO_REAL_VALUE;
}

int VIS_INT_VALUE(const VisualisationSources& s, std::string_view name, int element, int, int,
                  int cell, int, int, int) {
  const std::string_view n = trim_trailing_blanks(name);
  if (n == "number") return element;
  if (n == "soil_typ") return SOIL_TYPE_OF_CELL(s.subsurface, s.frame, element, cell);
  return VIS_NO_INT_VALUE;
}

int ELEMENT_AT_GRID(const FrameState& frame, int i, int j) { return at(frame.ICMXY, i, j); }

bool IS_GRID_SQUARE(const FrameState& frame, int e) { return kind_of(frame, e) == KIND_GRID_SQUARE; }
bool IS_BANK_ELEMENT(const FrameState& frame, int e) {
  const int kind = kind_of(frame, e);
  return e != 0 && (kind == 1 || kind == 2);
}
bool IS_LINK_ELEMENT(const FrameState& frame, int e) {
  return e != 0 && kind_of(frame, e) == KIND_CHANNEL_LINK;
}

int BANK_NEIGHBOUR(const FrameState& frame, int e, int f) {
  if (!IS_GRID_SQUARE(frame, e)) return -1;
  const int n = neighbour(frame, e, f);
  return n > 0 && IS_BANK_ELEMENT(frame, n) ? n : -1;
}

int BANK_OR_LINK_NEIGHBOUR(const FrameState& frame, int e, int f) {
  if (!IS_GRID_SQUARE(frame, e)) return -1;
  const int n = neighbour(frame, e, f);
  if (n <= 0) return -1;
  if (IS_LINK_ELEMENT(frame, n)) return n;
  if (IS_BANK_ELEMENT(frame, n)) return neighbour(frame, n, f);
  return -1;
}

int SOIL_TYPE_OF_CELL(const SubsurfaceState& v, const FrameState& frame, int e, int k) {
  if (kind_of(frame, e) == KIND_CHANNEL_LINK) return 0;
  bool any_layer = false;
  for (int layer = 1; layer <= NLYREE; ++layer) any_layer = any_layer || at(v.LAYER_BOTTOM_CELL, e, layer) != 0;
  if (!any_layer) return 0;
  // Layers run from the bottom; the entry after the last layer holds LL + 1, so the
  // scan stops there at the latest for a cell of the column.
  for (int layer = 2; layer <= NLYREE + 1; ++layer) {
    if (at(v.LAYER_BOTTOM_CELL, e, layer) > k) return at(v.NTSOIL, e, layer - 1);
  }
  return 0;
}

double VIS_GRID_SPACING_X(const FrameState& frame, int i) { return at(frame.CELL_WIDTH_X, i); }
double VIS_GRID_SPACING_Y(const FrameState& frame, int j) { return at(frame.CELL_WIDTH_Y, j); }

}  // namespace quendal
