// Small catchments for the tests of the overland and channel flow step, built directly
// in the state: the grid and its links (tests/frame/mesh_builder.h), the element table
// and geometry of the frame, then the OC state the set-up would leave (roughness,
// rectangular channel sections and their tables, the rows of the solution), a dry
// surface, no rain, and no subsurface cells.
#pragma once

#include <functional>
#include <vector>

#include "frame/geometry.h"
#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "include/model.h"
#include "surface/oc/oc_data_file.h"
#include "surface/oc/oc_setup.h"
#include "surface/oc/oc_time_step.h"

namespace quendal::testing {

struct OcCatchmentLayout {
  int nx = 3, ny = 3;
  std::vector<Cell> ew_links, ns_links, outside;
  double spacing = 100.0;                        // m
  std::function<double(int i, int j)> ground = [](int, int) { return 10.0; };  // square (i, j)
  double overland_strickler = 5.0;
  double channel_strickler = 30.0;
  double channel_width = 2.0;                    // m
  double channel_depth = 1.0;                    // bank-full height above the bed, m
};

// Builds the catchment. A link's bed lies channel_depth below the lowest ground of the
// squares beside it, so its bank top is at or below the ground on both sides.
inline void build_oc_catchment(Model& model, const OcCatchmentLayout& layout) {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  build_mesh(frame, layout.nx, layout.ny, layout.ew_links, layout.ns_links, false, layout.outside,
             layout.spacing);
  NUMBER_ELEMENTS(frame, model.io, false);
  size_oc_state(frame, surface);
  for (int l = 1; l <= frame.NLF; ++l) surface.CWIDTH(l) = layout.channel_width;
  element_geometry(frame, surface, model.io, false);

  frame.ZGRUND.resize(frame.NEL, 0.0);
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    frame.ZGRUND(e) = layout.ground(frame.ICMREF(e, 2, 1), frame.ICMREF(e, 3, 1));
  }
  for (int l = 1; l <= frame.NLF; ++l) {
    double lowest = 1e30;
    for (int f = 1; f <= 4; ++f) {
      const int g = frame.ICMREF(l, f, 2);
      if (g > frame.NLF) lowest = std::min(lowest, frame.ZGRUND(g));
    }
    frame.ZGRUND(l) = lowest - layout.channel_depth;
    surface.NXSECT(l) = 2;
    surface.XINW(l, 1) = surface.XINW(l, 2) = layout.channel_width;
    surface.XINH(l, 1) = 0.0;
    surface.XINH(l, 2) = layout.channel_depth;
    surface.ZBFULL(l) = frame.ZGRUND(l) + layout.channel_depth;
  }
  for (int e = 1; e <= frame.NEL; ++e) {
    const double k = e <= frame.NLF ? layout.channel_strickler : layout.overland_strickler;
    surface.STRX(e) = surface.STRY(e) = k;
    surface.SET_HRF(e, frame.ZGRUND(e));
  }
  build_link_sections(surface, frame.NLF);
  build_oc_rows(frame, surface, model.io);
  surface.OC_PRINT_END = -1.0;  // the result window stays shut
  surface.OC_PRINT_START = 0.0;

  surface.PNETTO.resize(frame.NEL, 0.0);
  surface.ET_SURFACE_WATER_EVAP.resize(frame.NEL, 0.0);
  model.subsurface.set_no_cells(frame.NEL, frame.NLF, frame.ZGRUND);
  frame.RUN_START_TIME = 24.0;
  frame.LAST_OC_STEP_TIME = 0.0;
  frame.OC_MAX_CHANNEL_FLOW = 0.0;
}

// Adds boundary entry k (1, 2, ...) for element e at face f with type and category,
// and its five numbers.
inline void add_oc_boundary(SurfaceState& surface, int k, int e, int f, int type, int category,
                            std::array<double, 5> numbers = {}) {
  store_oc_boundary_entry(surface, k, e, f, type, category);
  surface.OC_BOUNDARY_ENTRY_COUNT = std::max(surface.OC_BOUNDARY_ENTRY_COUNT, k);
  for (int n = 1; n <= 5; ++n) surface.OC_BOUNDARY_COEFFICIENTS(n, k) = numbers[n - 1];
}

// One OC step of `hours` from the model's clock, which it then advances.
inline void oc_step(Model& model, OcStepState& state, double hours) {
  FrameState& frame = model.frame;
  frame.PREVIOUS_TIMESTEP = hours;
  frame.UZNEXT = hours;
  frame.DTUZ = hours * 3600.0;
  frame.UZNOW = frame.LAST_OC_STEP_TIME + hours;
  OC_TIME_STEP(frame, model.surface, model.subsurface, state, model.io);
  frame.LAST_OC_STEP_TIME = frame.UZNOW;
}

// Water stored on the surface: ponded depth times area on squares and banks, the wetted
// area times the length in links, m3.
inline double surface_storage(const Model& model) {
  const FrameState& frame = model.frame;
  const SurfaceState& surface = model.surface;
  double volume = 0.0;
  for (int l = 1; l <= frame.NLF; ++l) volume += surface.ARXL(l) * frame.CLENTH(l);
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    volume += (surface.GET_HRF(e) - frame.ZGRUND(e)) * frame.AREA(e);
  }
  return volume;
}

// The mean flow into element e through its face f over the last step, m3/s: QOC with
// the sign of faces 1 and 2 turned back (QOC runs east and north).
inline double step_inflow(const Model& model, int e, int f) {
  const double q = model.surface.QOC(e, f);
  return f <= 2 ? -q : q;
}

// Flow through the faces without neighbour into the catchment over the last step, m3/s:
// negative for an outflow.
inline double boundary_inflow(const Model& model) {
  const FrameState& frame = model.frame;
  double q = 0.0;
  for (int e = 1; e <= frame.NEL; ++e) {
    for (int f = 1; f <= 4; ++f) {
      if (frame.ICMREF(e, f, 2) == 0) q += step_inflow(model, e, f);
    }
  }
  return q;
}

}  // namespace quendal::testing
