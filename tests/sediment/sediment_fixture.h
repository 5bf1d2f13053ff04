// A small catchment for the sediment set-up tests: a 2 x 2 grid of 100 m squares with
// one east-west link on the south face of cell (1, 2) (elements: link 1, with banks on
// its banks 2 (north) and 3 (south), then the squares row by row), every square and
// bank of one layer of soil 1, and a sediment data file that passes every check.
// With no sediment print file named, the sediment reports land on the print file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/geometry.h"
#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "model_fixture.h"
#include "sediment/sy_data_file.h"
#include "services/stops.h"

namespace quendal::testing {

// Makes face f of element e and face b of element n face each other.
inline void join_faces(FrameState& frame, int e, int f, int n, int b) {
  frame.ICMREF(e, f, 2) = n;
  frame.ICMREF(e, f, 3) = b;
  frame.ICMREF(n, b, 2) = e;
  frame.ICMREF(n, b, 3) = f;
}
// Sets QOC so that e's outflow through face f is q (QOC is positive towards the east
// and the north, out through faces 1 and 2).
inline void set_outflow(SurfaceState& surface, int e, int f, double q) {
  surface.QOC(e, f) = f <= 2 ? q : -q;
}

// Sound data for the mesh with its link; three size groups, two soil types (soil 1
// (0.2, 0.3, 0.5), soil 2 (0.6, 0.3, 0.1)), one vegetation type.
inline const std::string SYD_ONE_LINK =
    ":SY01 title\nSmall test catchment\n:SY02 version\n4.2.7\n"
    ":SY11 counts\n3 1 0 0 2 2 0 1\n"
    ":SY12 controls\n0.05 0.01 1.0 0.0 0.1 0.3 0.001\n"
    ":SY21 diameters\n0.001 0.002 0.003\n"
    ":SY22 soils\n20 1e-6 1500 0.5 1e-6\n10 5e-7 1400 1.0 5e-7\n"
    ":SY23 compositions\n0.2 0.3 0.5\n0.6 0.3 0.1\n"
    ":SY24 vegetation\n0.3 0.005 1.0\n"
    ":SY31 bank soils\n2\n:SY32 bed porosity\n0.4\n"
    ":SY41 FCG\n1\n:SY41c\n0.3\n"
    ":SY42 FCROCK\n1\n:SY42c\n0.1\n"
    ":SY43 PLS\n1\n:SY43c\n0.4\n"
    ":SY51 DLS\n0\n:SY51a\n0.3\n:SY51b\n2 0.001 0.002\n1 0.003 0.004\n"
    ":SY52 FBETA\n-1\n"
    ":SY53 FDEL\n1\n:SY53c\n0 0 0\n"
    ":SY61 boundaries\n0 0 0 0 0\n";

struct SedimentMesh : ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& subsurface = model.subsurface;
  SedimentState& sediment = model.sediment;
  RunIo& io = model.io;

  void TearDown() override {
    io.units.close_all();
    ModelWithFiles::TearDown();
  }

  // The mesh and the water components' arrays the sediment reads, all sound; `nx`
  // columns, the cells `outside` not in the catchment.
  void build(bool banks, bool with_link = true, int nx = 2, const std::vector<Cell>& outside = {}) {
    build_mesh(frame, nx, 2, with_link ? std::vector<Cell>{{1, 2}} : std::vector<Cell>{}, {}, banks,
               outside);
    NUMBER_ELEMENTS(frame, io, false);
    surface.CWIDTH.resize(frame.NLF, 4.0);
    element_geometry(frame, surface, io, false);
    frame.NV = 1;
    frame.NVC.resize(frame.NEL, 1);
    frame.ZGRUND.resize(frame.NEL, 100.0);
    frame.HRF_SY_COPY.resize(frame.NEL, 100.0);
    surface.ZBFULL.resize(frame.NLF, 101.5);
    surface.ARXL.resize(frame.NLF, 0.0);
    subsurface.NS = 2;
    subsurface.THSAT.resize(2, 0.4);
    subsurface.THSAT(2) = 0.5;
    subsurface.NLYR.resize(frame.NEL, 1);
    subsurface.NTSOIL.resize(frame.NEL, NLYREE, 1);
    sediment.SY_SURFACE_SOIL_TYPE.resize(frame.NEL, 1);
  }
  // Opens `text` as the sediment data file.
  void syd(const std::string& text) { open_input(SY_DATA_UNIT, "syd.txt", text); }
  // The sound file for the mesh with `from` replaced by `to` (which must be there).
  std::string changed(const std::string& from, const std::string& to,
                      std::string text = SYD_ONE_LINK) {
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
  }
};

}  // namespace quendal::testing
