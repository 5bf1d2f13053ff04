// A small catchment for the contaminant initialisation tests: a 2 x 2 grid of 100 m
// squares with one east-west channel link (4 m wide) on the south face of cell (1, 2),
// banks on (link 1, its banks 2 and 3, squares 4 to 7). Every column has one layer of
// soil 1, a zero-thickness placeholder cell 1 and cells 2..LL of `dz` metres below the
// ground at 100 m; the link's stack starts at the same cell as its banks, so a bank cell
// and the link cell beside it have the same number. Every cell faces the cell of the
// same number over each face with a neighbour. The water state is still (no flows),
// moisture 0.3, no ponding.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/geometry.h"
#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "include/model.h"
#include "model_fixture.h"
#include "services/stops.h"

namespace quendal::testing {

struct CmMesh : ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& subsurface = model.subsurface;
  SedimentState& sediment = model.sediment;
  ContaminantState& cm = model.contaminant;
  RunIo& io = model.io;
  static constexpr int LINK = 1;
  int bank1 = 0, bank2 = 0;

  void TearDown() override {
    io.units.close_all();
    ModelWithFiles::TearDown();
  }

  // `with_link` false: no link, and the cells `outside` left out of the catchment.
  void build(int LL = 10, double dz = 0.5, int bed_cell = 7, bool with_link = true,
             const std::vector<Cell>& outside = {}) {
    build_mesh(frame, 2, 2, with_link ? std::vector<Cell>{{1, 2}} : std::vector<Cell>{}, {},
               true, outside);
    NUMBER_ELEMENTS(frame, io, false);
    surface.CWIDTH.resize(frame.NLF, 4.0);
    element_geometry(frame, surface, io, false);
    if (with_link) {
      bank1 = frame.LINK_BANK_ELEMENT(LINK, 1);
      bank2 = frame.LINK_BANK_ELEMENT(LINK, 2);
    }
    const int nel = frame.NEL, nlf = frame.NLF;
    frame.ZGRUND.resize(nel, 100.0);
    surface.HRF.resize(nel, 100.0);
    surface.QOC.resize(nel, 4, 0.0);
    surface.ARXL.resize(nlf, 0.0);
    surface.PNETTO.resize(nel, 0.0);

    subsurface.set_no_cells(nel, nlf, frame.ZGRUND);
    subsurface.LL = LL;
    subsurface.NS = 2;
    subsurface.THSAT.resize(2, 0.4);
    subsurface.THSAT(2) = 0.45;
    subsurface.NLYR.resize(nel, 1);
    subsurface.NTSOIL.resize(nel, NLYREE, 1);
    subsurface.LAYER_BOTTOM_CELL.resize(nel, NLYREE + 1, LL + 1);
    subsurface.CELL_THICKNESS.resize(MAX_CELLS_PER_COLUMN, nel, 0.0);
    subsurface.CELL_ELEVATION.resize(MAX_CELLS_PER_COLUMN, nel, 0.0);
    for (int e = 1; e <= nel; ++e) {
      subsurface.LAYER_BOTTOM_CELL(e, 1) = 2;
      set_cells(e, dz);
    }
    subsurface.CELL_FACE_CELL.resize(4, LL, nel, 0);
    subsurface.CELL_FACE_SPLIT.resize(4, LL, nel, 0);
    for (int e = nlf + 1; e <= nel; ++e) {
      for (int f = 1; f <= 4; ++f) {
        if (frame.ICMREF(e, f, 2) <= 0) continue;
        for (int k = 2; k <= LL; ++k) subsurface.CELL_FACE_CELL(f, k, e) = k;
      }
    }
    subsurface.LINK_BED_CELL.resize(nlf, 2, bed_cell);
    subsurface.LINK_BED_CELL_FRACTION.resize(nlf, 2, 0.0);
    subsurface.CELL_THETA.resize(LL, nel, 0.3);
    subsurface.CELL_VERTICAL_FLOW.resize(LL, nel, 0.0);
    subsurface.CELL_LATERAL_FLOW.resize(4, LL, nel, 0.0);
    subsurface.COLUMN_BASE_FLOW.resize(nel, 0.0);

    cm.size(nel, nlf, LL);
    cm.NCON = 1;
    cm.CM_SURFACE_LAYER_DEPTH = 0.05;
    cm.CM_BED_DEPTH = 0.75;
    cm.CM_FREUNDLICH_EXPONENT.fill(1.0);
  }

  // Cells 2..LL of element e, `dz` thick, stacked down from the ground.
  void set_cells(int e, double dz) {
    const int LL = subsurface.LL;
    for (int k = 2; k <= LL; ++k) {
      subsurface.CELL_THICKNESS(k, e) = dz;
      subsurface.CELL_ELEVATION(k, e) = frame.ZGRUND(e) - (LL - k + 0.5) * dz;
    }
  }
};

}  // namespace quendal::testing
