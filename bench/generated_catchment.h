// A generated catchment for the benchmarks: a square grid of n x n cells of 100 m (on
// the 200 x 200 grid the rows along its northern and southern edges lie outside the
// catchment, within the NELEE elements a model may hold): a valley whose floor carries a
// main channel along the south faces of the middle row, leaving over a free weir at its
// east end, with tributaries every ten columns from the north and from the south (each
// meeting the main channel at a three-way junction). Steady rain falls on a surface that
// has been running for a few OC steps.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "frame/geometry.h"
#include "frame/topology.h"
#include "include/dimensions.h"
#include "include/model.h"
#include "services/units.h"
#include "surface/oc/oc_data_file.h"
#include "surface/oc/oc_setup.h"
#include "surface/oc/oc_time_step.h"

namespace quendal::bench {

constexpr int CODE_GRID_GRID = 2;
constexpr int CODE_RIVER = 6;
constexpr double SPACING = 100.0;       // m
constexpr double CHANNEL_WIDTH = 10.0;  // m
constexpr double CHANNEL_DEPTH = 3.0;   // m
constexpr double RAIN = 2e-6;           // m/s, 7.2 mm/h
constexpr double STEP_HOURS = 0.1;

// Ground level of grid square (i, j) of an n x n valley, m.
inline double valley_ground(int n, int i, int j) {
  const int mid = n / 2 + 1;
  return 100.0 + 0.2 * (n - i) + 1.0 * std::fabs(j + 0.5 - mid);
}

struct Catchment {
  std::unique_ptr<Model> model = std::make_unique<Model>();
  OcStepState state;
};

inline void advance(Catchment& c) {
  FrameState& frame = c.model->frame;
  frame.PREVIOUS_TIMESTEP = STEP_HOURS;
  frame.UZNEXT = STEP_HOURS;
  frame.DTUZ = STEP_HOURS * 3600.0;
  frame.UZNOW = frame.LAST_OC_STEP_TIME + STEP_HOURS;
  OC_TIME_STEP(frame, c.model->surface, c.model->subsurface, c.state, c.model->io);
  frame.LAST_OC_STEP_TIME = frame.UZNOW;
}

// The valley's frame: the grid, its mask and face codes, the elements, the ground of
// the squares and the beds of the links (CHANNEL_DEPTH below the lowest square beside
// them). Returns the outlet, the main channel's east-most link.
inline int lay_out_valley(Model& model, int n) {
  FrameState& frame = model.frame;
  const int mid = n / 2 + 1;
  // A model holds at most NELEE elements: on the largest grids as many rows along the
  // northern and southern edges lie outside the catchment as keep squares and links
  // within it.
  int margin = 0;
  auto elements = [&](int k) {
    const int rows = n - 2 * k, tributaries = n / 10 + (n + 5) / 10;
    return n * rows + n + tributaries * (rows / 2);
  };
  while (elements(margin) > NELEE) ++margin;
  frame.NX = frame.NY = n;
  frame.BANKS_ON = false;
  frame.CATCHMENT_MASK.resize(n, n, 1);
  for (int j = 1; j <= margin; ++j) {
    for (int i = 1; i <= n; ++i) frame.CATCHMENT_MASK(i, j) = frame.CATCHMENT_MASK(i, n + 1 - j) = 0;
  }
  frame.LCODEX.resize(n + 1, n, CODE_GRID_GRID);
  frame.LCODEY.resize(n, n + 1, CODE_GRID_GRID);
  frame.GRID_SPACING_X.resize(n - 1, SPACING);
  frame.GRID_SPACING_Y.resize(n - 1, SPACING);
  for (int i = 1; i <= n; ++i) frame.LCODEY(i, mid) = CODE_RIVER;
  for (int x = 5; x <= n; x += 10) {
    for (int j = mid; j <= n - margin; ++j) frame.LCODEX(x, j) = CODE_RIVER;  // from the north
  }
  for (int x = 10; x <= n; x += 10) {
    for (int j = margin + 1; j < mid; ++j) frame.LCODEX(x, j) = CODE_RIVER;  // from the south
  }
  NUMBER_ELEMENTS(frame, model.io, false);

  // The valley falls 0.2% towards the east and 1% towards its floor.
  frame.ZGRUND.resize(frame.NEL, 0.0);
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    frame.ZGRUND(e) = valley_ground(n, frame.ICMREF(e, 2, 1), frame.ICMREF(e, 3, 1));
  }
  int outlet = 0;
  for (int l = 1; l <= frame.NLF; ++l) {
    double lowest = 1e30;
    for (int f = 1; f <= 4; ++f) {
      const int g = frame.ICMREF(l, f, 2);
      if (g > frame.NLF) lowest = std::min(lowest, frame.ZGRUND(g));
    }
    frame.ZGRUND(l) = lowest - CHANNEL_DEPTH;
    if (!frame.LINK_NORTH_SOUTH(l) && frame.ICMREF(l, 1, 2) == 0) outlet = l;
  }
  return outlet;
}

inline std::unique_ptr<Catchment> generate(int n) {
  auto c = std::make_unique<Catchment>();
  Model& model = *c->model;
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  model.io.units.open(PRINT_UNIT, "/dev/null", UnitDirection::Output);

  const int outlet = lay_out_valley(model, n);
  size_oc_state(frame, surface);
  for (int l = 1; l <= frame.NLF; ++l) surface.CWIDTH(l) = CHANNEL_WIDTH;
  element_geometry(frame, surface, model.io, false);
  for (int l = 1; l <= frame.NLF; ++l) {
    surface.NXSECT(l) = 2;
    surface.XINW(l, 1) = surface.XINW(l, 2) = CHANNEL_WIDTH;
    surface.XINH(l, 1) = 0.0;
    surface.XINH(l, 2) = CHANNEL_DEPTH;
    surface.ZBFULL(l) = frame.ZGRUND(l) + CHANNEL_DEPTH;
  }
  for (int e = 1; e <= frame.NEL; ++e) {
    surface.STRX(e) = surface.STRY(e) = e <= frame.NLF ? 25.0 : 5.0;
    surface.SET_HRF(e, frame.ZGRUND(e) + (e <= frame.NLF ? 0.1 : 0.001));
  }
  build_link_sections(surface, frame.NLF);
  build_oc_rows(frame, surface, model.io);
  store_oc_boundary_entry(surface, 1, outlet, 1, OC_BC_WEIR, 1);
  surface.OC_BOUNDARY_ENTRY_COUNT = 1;
  const double numbers[5] = {10.0, 0.67, frame.ZGRUND(outlet), frame.ZGRUND(outlet) - 10.0, 0.0};
  for (int k = 1; k <= 5; ++k) surface.OC_BOUNDARY_COEFFICIENTS(k, 1) = numbers[k - 1];
  surface.OC_PRINT_START = 1.0;
  surface.OC_PRINT_END = 0.0;  // no print

  surface.PNETTO.resize(frame.NEL, RAIN);
  surface.ET_SURFACE_WATER_EVAP.resize(frame.NEL, 0.0);
  model.subsurface.set_no_cells(frame.NEL, frame.NLF, frame.ZGRUND);
  frame.RUN_START_TIME = 24.0;
  frame.OC_MAX_CHANNEL_FLOW = 0.0;
  // Let the surface wet up and the flows establish before timing.
  for (int s = 0; s < 5; ++s) advance(*c);
  return c;
}

}  // namespace quendal::bench
