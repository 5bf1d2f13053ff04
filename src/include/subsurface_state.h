// State of the subsurface component that other components read: the top cell, the
// column and bed cells, the shared per-cell arrays, the phreatic levels and the wells.
//
// Until the subsurface set-up generates cells, the state is the "no cells" state that
// set_no_cells() makes: LL = 0, every column's bottom cell above LL (so every loop
// from a bottom cell up to LL is empty), no link bed cell, empty per-cell arrays, no
// wells, and phreatic levels at the ground. Every reader of this state must give
// sound results on it (no transpiration drawn from cells, no heads read).
#pragma once

#include "include/arrays.h"
#include "include/dimensions.h"

namespace quendal {

struct SubsurfaceState {
  int LL = 0;  // top cell of every column; 0: no cells
  // (NEL, 1..NLYREE + 1): first cell of each layer of an element; entry 1 is the
  // column's bottom cell. LL + 1 means "no cell".
  Array2<int> LAYER_BOTTOM_CELL;
  // (NLF, 2): per link and bank side, the cell of the bank element that pairs with the
  // link's highest cell below its bed zone; 0 while there are no cells.
  Array2<int> LINK_BED_CELL;

  // The shared per-cell arrays, cell k = 1 (bottom) .. LL; empty while LL = 0.
  Array3<double> CELL_LATERAL_FLOW;      // (4, LL, NEL): through each face, m3/s, + into the cell
  Array2<double> CELL_VERTICAL_FLOW;     // (LL, NEL): through the top face, m/s, + upwards
  Array2<double> vspsi;                  // (LL, NEL): pressure head, m
  Array2<double> CELL_THETA;             // (LL, NEL): moisture content
  Array2<double> CELL_WELL_ABSTRACTION;  // (LL, NEL): well abstraction per unit area

  // Per element (NEL).
  Array1<double> PHREATIC_LEVEL;     // phreatic surface level, m (a link: set by BUILD_ISORT)
  Array1<double> WELL_ABSTRACTION;   // m/s per unit area, positive when water is taken out
  Array1<int> WELL_WATER_SOURCE;     // the element whose well water falls here; 0 none

  // The state before any cell exists, for a mesh of `NEL` elements and `NLF` links:
  // phreatic levels at the ground (`ZGRUND`, indexed 1..NEL).
  void set_no_cells(int NEL, int NLF, const Array1<double>& ZGRUND) {
    LL = 0;
    LAYER_BOTTOM_CELL.resize(NEL, NLYREE + 1, LL + 1);
    LINK_BED_CELL.resize(NLF, 2, 0);
    CELL_LATERAL_FLOW.resize(4, LL, NEL);
    CELL_VERTICAL_FLOW.resize(LL, NEL);
    vspsi.resize(LL, NEL);
    CELL_THETA.resize(LL, NEL);
    CELL_WELL_ABSTRACTION.resize(LL, NEL);
    PHREATIC_LEVEL.resize(NEL, 0.0);
    for (int e = 1; e <= NEL; ++e) PHREATIC_LEVEL(e) = ZGRUND(e);
    WELL_ABSTRACTION.resize(NEL, 0.0);
    WELL_WATER_SOURCE.resize(NEL, 0);
  }
};

}  // namespace quendal
