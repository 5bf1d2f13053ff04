// What the visualisation items read of the model: each item's value for one element,
// cell, extra index, size group and contaminant, in the item's output units, and the
// counts, grid facts and neighbour look-ups that the metadata and the collectors send.
//
// No accessor reports an error. An array the run has not sized (the snow depth with
// snow off, the sediment and contaminant arrays before their components run) reads
// 0.0, as would the fixed-size arrays of a model that allocates everything up front;
// so does any index outside an array, and grid columns and rows outside the grid have
// width 0.0.
#pragma once

#include <limits>
#include <string_view>

#include "include/contaminant_state.h"
#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/sediment_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// The states the items are read from.
struct VisualisationSources {
  const FrameState& frame;
  const SurfaceState& surface;
  const SubsurfaceState& subsurface;
  const SedimentState& sediment;
  const ContaminantState& contaminant;
  const OutputState& output;
};

// The answer for an item that has no real value: the largest 4-byte real.
constexpr float VIS_NO_REAL_VALUE = std::numeric_limits<float>::max();  // 3.4028235e38
// The answer for an item that has no integer value.
constexpr int VIS_NO_INT_VALUE = std::numeric_limits<int>::max();  // 2147483647

// Unit conversions of the items: m/s to mm/hour and to mm/day, m to mm, and a solid
// volume of sediment to its mass (grain density 2650 kg/m3).
constexpr double VIS_M_PER_S_TO_MM_PER_HOUR = 3.6e6;
constexpr double VIS_M_PER_S_TO_MM_PER_DAY = 8.64e7;
constexpr double VIS_M_TO_MM = 1000.0;
constexpr double VIS_SEDIMENT_DENSITY = 2650.0;

// The item's value (names compare without trailing blanks). Which of the arguments
// count depends on the item; a name that is not a delivered real item gives
// VIS_NO_REAL_VALUE.
float VIS_REAL_VALUE(const VisualisationSources& s, std::string_view name, int element,
                     int column, int row, int cell, int extra, int size_group, int contaminant);
// "number": the element; "soil_typ": the soil type of the cell; any other name
// VIS_NO_INT_VALUE.
int VIS_INT_VALUE(const VisualisationSources& s, std::string_view name, int element, int column,
                  int row, int cell, int extra, int size_group, int contaminant);

// --- counts and grid facts ---------------------------------------------------------
inline int GET_NX(const FrameState& frame) { return frame.NX; }
inline int GET_NY(const FrameState& frame) { return frame.NY; }
inline int GET_NEL(const FrameState& frame) { return frame.NEL; }
inline int GET_NSED(const SedimentState& sediment) { return sediment.NSED; }
inline int GET_NCON(const ContaminantState& contaminant) { return contaminant.NCON; }
inline int GET_TOP_CELL(const SubsurfaceState& subsurface) { return subsurface.LL; }
inline int VIS_INTERFACE_VERSION() { return 4; }
// The cell of layer k counted from the top.
inline int VIS_CELL_FROM_LAYER(const SubsurfaceState& subsurface, int k) {
  return subsurface.LL - k + 1;
}
inline bool IS_POSITIVE_INTEGER(int n) { return n > 0; }

// The grid square at grid column i and row j; 0 outside the catchment or the grid.
int ELEMENT_AT_GRID(const FrameState& frame, int i, int j);
// Element 0 counts as a grid square.
bool IS_GRID_SQUARE(const FrameState& frame, int element);
bool IS_BANK_ELEMENT(const FrameState& frame, int element);
bool IS_LINK_ELEMENT(const FrameState& frame, int element);
// For a grid square: the bank element over face f; -1 when there is none and for
// every other element.
int BANK_NEIGHBOUR(const FrameState& frame, int element, int face);
// For a grid square: the channel link over face f, directly or beyond a bank element;
// -1 when there is none and for every other element.
int BANK_OR_LINK_NEIGHBOUR(const FrameState& frame, int element, int face);
// The soil type of a cell: that of the layer holding it; 0 for a channel link and for
// an element without layers.
int SOIL_TYPE_OF_CELL(const SubsurfaceState& subsurface, const FrameState& frame, int element,
                      int cell);
// Width of grid column i and height of grid row j (the frame's cell widths).
double VIS_GRID_SPACING_X(const FrameState& frame, int i);
double VIS_GRID_SPACING_Y(const FrameState& frame, int j);

}  // namespace quendal
