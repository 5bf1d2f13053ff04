// The visualisation tests' catchment: 3 x 3 grid squares of uneven widths (columns 100,
// 150, 200 m; rows 50, 100, 150 m), cell (1, 3) outside, one east-west link on the
// south face of cell (2, 2) with its banks, four cells per column; and a recording
// layer in place of the run's.
//
// Elements: link 1; bank 2 north of it (beside square 8), bank 3 south of it (beside
// square 5); squares 4, 5, 6 (row 1), 7, 8, 9 (row 2), 10, 11 (columns 2, 3 of row 3).
#pragma once

#include <memory>

#include "frame/geometry.h"
#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "include/dimensions.h"
#include "output/visualisation/value_accessors.h"
#include "output/visualisation/visualisation_driver.h"
#include "output/visualisation/recording_library.h"

namespace quendal::testing {

struct VisFixture : ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& subsurface = model.subsurface;
  RecordingLibrary* layer = nullptr;
  static constexpr int LINK = 1, NORTH_BANK = 2, SOUTH_BANK = 3, TOP_CELL = 4;

  void SetUp() override {
    ModelWithFiles::SetUp();
    build_mesh(frame, 3, 3, {{2, 2}}, {}, true, {{1, 3}});
    frame.GRID_SPACING_X(1) = 100.0;
    frame.GRID_SPACING_X(2) = 200.0;
    frame.GRID_SPACING_Y(1) = 50.0;
    frame.GRID_SPACING_Y(2) = 150.0;
    NUMBER_ELEMENTS(frame, model.io, false);
    ASSERT_EQ(frame.NEL, 11);
    surface.CWIDTH.resize(frame.NLF, 4.0);
    element_geometry(frame, surface, model.io, false);
    const int nel = frame.NEL;
    frame.ZGRUND.resize(nel, 0.0);
    for (Array1<double>* a : {&surface.HRF, &surface.PNETTO, &surface.DRAINA,
                              &surface.ET_POTENTIAL_EVAP, &surface.ET_CANOPY_EVAP,
                              &surface.ET_TRANSPIRATION, &surface.ET_SOIL_EVAP, &surface.cstore}) {
      a->resize(nel, 0.0);
    }
    surface.QOC.resize(nel, 4, 0.0);
    subsurface.set_no_cells(nel, frame.NLF, frame.ZGRUND);
    // Four cells in two layers: cells 1-2 of soil 7, cells 3-4 of soil 9.
    subsurface.LL = TOP_CELL;
    subsurface.LAYER_BOTTOM_CELL.resize(nel, NLYREE + 1, TOP_CELL + 1);
    subsurface.NTSOIL.resize(nel, NLYREE, 0);
    for (int e = 1; e <= nel; ++e) {
      subsurface.LAYER_BOTTOM_CELL(e, 1) = 1;
      subsurface.LAYER_BOTTOM_CELL(e, 2) = 3;
      subsurface.NTSOIL(e, 1) = 7;
      subsurface.NTSOIL(e, 2) = 9;
    }
    for (Array2<double>* a : {&subsurface.vspsi, &subsurface.CELL_THETA,
                              &subsurface.CELL_VERTICAL_FLOW}) {
      a->resize(TOP_CELL, nel, 0.0);
    }
    subsurface.CELL_THICKNESS.resize(MAX_CELLS_PER_COLUMN, nel, 0.0);
    auto recording = std::make_unique<RecordingLibrary>();
    layer = recording.get();
    model.output.visualisation.VIS_LIBRARY = std::move(recording);
  }

  VisualisationSources sources() const {
    return {model.frame,    model.surface,     model.subsurface,
            model.sediment, model.contaminant, model.output};
  }
  void drive(double time, std::string_view mode = "") {
    VIS_DRIVER(time, mode, frame, surface, subsurface, model.sediment, model.contaminant,
               model.output, model.output.visualisation, model.io);
  }
  // The two start-up calls, then the log emptied.
  void start() {
    drive(0.0);
    drive(0.0);
    layer->calls.clear();
    layer->saved.clear();
  }
};

}  // namespace quendal::testing
