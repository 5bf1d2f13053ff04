// Small catchments of soil columns for the contaminant transport tests: `columns` grid
// squares of 100 m x 100 m (no links), each of `cells` cells of one soil, with the water
// state set directly. The stores that the initialisation fills are filled here from the
// same water state, and every concentration starts uniform.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "contaminant/cm_column_setup.h"
#include "contaminant/cm_column_transport.h"
#include "contaminant/cm_mass.h"
#include "contaminant/contaminant.h"
#include "model_fixture.h"

namespace quendal::testing {

struct CmColumns : ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& vss = model.subsurface;
  SedimentState& sed = model.sediment;
  ContaminantState& cm = model.contaminant;

  static constexpr double GROUND = 10.0;  // m
  static constexpr double SIDE = 100.0;   // m

  // `columns` squares in a row from west to east, not joined; `cells` cells of `dz` m.
  // With `links`, the first `links` elements are channel links that the test joins.
  void build(int columns, int cells, double dz, double theta, int ncon = 1, int links = 0) {
    frame.NLF = links;
    frame.NEL = columns;
    frame.NGDBGN = links + 1;
    frame.DTUZ = 3600.0;
    frame.ICMREF.resize(columns, 4, 3, 0);
    for (int e = 1; e <= columns; ++e) {
      for (int f = 1; f <= 4; ++f) frame.ICMREF(e, f, 3) = f;
    }
    frame.AREA.resize(columns, SIDE * SIDE);
    frame.DXQQ.resize(columns, SIDE);
    frame.DYQQ.resize(columns, SIDE);
    frame.ZGRUND.resize(columns, GROUND);
    frame.ISORT.resize(columns, 0);
    for (int e = 1; e <= columns; ++e) frame.ISORT(e) = e;
    frame.LINK_NORTH_SOUTH.resize(links, 0);
    frame.CLENTH.resize(links, SIDE);
    surface.CWIDTH.resize(links, 4.0);

    surface.HRF.resize(columns, GROUND);
    surface.QOC.resize(columns, 4, 0.0);
    surface.PNETTO.resize(columns, 0.0);
    surface.ET_GROUND_EVAP.resize(columns, 0.0);
    surface.ET_ROOT_UPTAKE.resize(cells, columns, 0.0);

    const int LL = cells;
    vss.LL = LL;
    vss.NLYR.resize(columns, 1);
    vss.NTSOIL.resize(columns, NLYREE, 1);
    vss.LAYER_BOTTOM_CELL.resize(columns, NLYREE + 1, LL + 1);
    vss.CELL_THICKNESS.resize(MAX_CELLS_PER_COLUMN, columns, 0.0);
    vss.CELL_ELEVATION.resize(MAX_CELLS_PER_COLUMN, columns, 0.0);
    for (int e = 1; e <= columns; ++e) {
      vss.LAYER_BOTTOM_CELL(e, 1) = 1;
      for (int k = 1; k <= LL; ++k) {
        vss.CELL_THICKNESS(k, e) = dz;
        vss.CELL_ELEVATION(k, e) = GROUND - (LL - k + 0.5) * dz;
      }
    }
    vss.CELL_THETA.resize(LL, columns, theta);
    vss.CELL_VERTICAL_FLOW.resize(LL, columns, 0.0);
    vss.CELL_LATERAL_FLOW.resize(4, LL, columns, 0.0);
    vss.CELL_WELL_ABSTRACTION.resize(LL, columns, 0.0);
    vss.WELL_NUMBER.resize(columns, 0);
    vss.WELL_SCREEN_BOTTOM_CELL.resize(columns, 1);
    vss.WELL_SCREEN_TOP_CELL.resize(columns, 1);
    vss.WELL_ABSTRACTION.resize(columns, 0.0);
    vss.WELL_WATER_SOURCE.resize(columns, 0);
    vss.COLUMN_BASE_FLOW.resize(columns, 0.0);
    vss.LINK_BED_CELL.resize(links, 2, 0);
    vss.STREAM_AQUIFER_WET_FLOW.resize(links, 2, 0.0);

    sed.NSED = 0;
    sed.DLS.resize(columns, 0.0);
    sed.FBETA.resize(columns, NSEDEE, 0.0);
    sed.FDEL.resize(columns, NSEDEE, 0.0);
    sed.SY_GROUND_EROSION_RATE.resize(columns, 0.0);

    cm.size(columns, links, LL);
    cm.NCON = ncon;
    cm.CM_BASE_FLUX_ON = true;  // closed at the base unless a test lets water through
    for (int e = 1; e <= columns; ++e) {
      cm.CM_BOTTOM_CELL(e) = 1;
      cm.CM_BOTTOM_LEVEL(e) = vss.CELL_ELEVATION(1, e);
      for (int f = 1; f <= 4; ++f) {
        for (int k = 1; k <= LL + 1; ++k) cm.CM_FACE_CELL_START(k, f, e) = 1;  // no connections
      }
    }
    for (int k = 1; k <= ncon; ++k) {
      cm.CM_FREUNDLICH_EXPONENT(k) = 1.0;
      soil(k, 0.0, 0.5, 0.0);
    }
  }

  // Sorption coefficient, dynamic sorption fraction and dead-space exchange (1/s) of
  // soil 1 for contaminant k.
  void soil(int k, double Kd, double fs, double alpha) {
    cm.CM_SOIL_KD(1, k) = Kd;
    cm.CM_DYNAMIC_SORPTION_FRACTION(1, k) = fs;
    cm.CM_DEAD_SPACE_EXCHANGE(1, k) = alpha;
  }
  void decay(int k, double rate) {
    cm.CM_DECAY_RATE(k) = rate;
    cm.CM_DECAY_RATE_SCALED(k) = cm.CM_TIME_SCALE * rate;
  }
  // Both regions of every cell of element e at c (dynamic) and s (dead space).
  void concentration(int e, int k, double c, double s) {
    for (int cell = 1; cell <= vss.LL; ++cell) set_cell(e, cell, k, c, s);
  }
  void set_cell(int e, int cell, int k, double c, double s) {
    cm.CM_REL_CONC_DYNAMIC(cell, e, k) = cm.CM_REL_CONC_DYNAMIC_OLD(cell, e, k) = c;
    cm.CM_REL_CONC_DEAD_SPACE(cell, e, k) = cm.CM_REL_CONC_DEAD_SPACE_OLD(cell, e, k) = s;
  }

  // Stand-in for the initialisation's stores: what a set-up would gather from the water
  // state as it stands (face fluxes scaled, as the set-up scales them).
  void prime_stores() {
    cm.initial_state_set = true;
    const int LL = vss.LL;
    for (int e = frame.NLF + 1; e <= frame.NEL; ++e) {
      const double hn = (frame.ZGRUND(e) - cm.CM_BOTTOM_LEVEL(e)) / cm.CM_LENGTH_SCALE;
      cm.CM_STORED_WATER_DEPTH(e) = surface.HRF(e) - frame.ZGRUND(e);
      cm.CM_STORED_TOP_INPUT(e) = -surface.PNETTO(e) * frame.AREA(e);
      cm.CM_STORED_BASE_FLOW(e) = vss.COLUMN_BASE_FLOW(e) * frame.AREA(e);
      cm.CM_STORED_COLUMN_DEPTH(e) = hn;
      cm.CM_STORED_DLS(e) = sed.DLS(e);
      cm.CM_STORED_EROSION(e) = sed.SY_GROUND_EROSION_RATE(e);
      cm.CM_WELL_ABSTRACTION_OLD(e) = vss.WELL_ABSTRACTION(e);
      for (int f = 1; f <= 4; ++f)
        cm.CM_STORED_SURFACE_FLOW(f, e) = f <= 2 ? -surface.QOC(e, f) : surface.QOC(e, f);
      cm.CM_STORED_VERTICAL_FLOW(0, e) = vss.COLUMN_BASE_FLOW(e);
      for (int k = 1; k <= LL; ++k) {
        cm.CM_STORED_THETA(k, e) = vss.CELL_THETA(k, e);
        cm.CM_STORED_VERTICAL_FLOW(k, e) = vss.CELL_VERTICAL_FLOW(k, e);
        cm.CM_STORED_SINK(k, e) = 0.0;
        const double dz = vss.CELL_THICKNESS(k, e) / cm.CM_LENGTH_SCALE;
        for (int f = 1; f <= 4; ++f)
          cm.CM_STORED_FACE_FLUX(f, k, e) = hn / dz * vss.CELL_LATERAL_FLOW(f, k, e);
      }
      for (int g = 1; g <= sed.NSED; ++g) {
        cm.CM_FBETA_PREVIOUS(e, g) = sed.FBETA(e, g);
        cm.CM_FDEL_PREVIOUS(e, g) = sed.FDEL(e, g);
      }
    }
  }

  // Vertical flows that close every cell's water balance of element e over the step,
  // from the flow through the top of the column down (theta_before: the contents at
  // the start of the step); the base flow is what is left at the bottom.
  void close_vertical_flows(int e, const std::vector<double>& theta_before, double top_flow) {
    const int LL = vss.LL;
    double q = top_flow;
    vss.CELL_VERTICAL_FLOW(LL, e) = q;
    for (int k = LL; k >= 1; --k) {
      double lateral = 0.0;
      for (int f = 1; f <= 4; ++f) lateral += vss.CELL_LATERAL_FLOW(f, k, e);
      const double well = vss.WELL_NUMBER(e) != 0 ? vss.CELL_WELL_ABSTRACTION(k, vss.WELL_NUMBER(e)) : 0.0;
      q += (vss.CELL_THETA(k, e) - theta_before[k]) * vss.CELL_THICKNESS(k, e) / frame.DTUZ -
           lateral / frame.AREA(e) + surface.ET_ROOT_UPTAKE(k, e) + well;
      if (k > 1) vss.CELL_VERTICAL_FLOW(k - 1, e) = q;
    }
    vss.COLUMN_BASE_FLOW(e) = q;
  }
  std::vector<double> thetas(int e) const {
    std::vector<double> theta(vss.LL + 1, 0.0);
    for (int k = 1; k <= vss.LL; ++k) theta[k] = vss.CELL_THETA(k, e);
    return theta;
  }

  // Mass of contaminant k in grid square e (relative concentration x m3), linear sorption:
  // both regions of every cell, and the ponded water and loose sediment at the top
  // cell's concentration with their sorption to the suspended and loose sediment.
  double mass(int e, int k) const {
    double m = 0.0;
    for (int cell = vss.LAYER_BOTTOM_CELL(e, 1); cell <= vss.LL; ++cell) {
      const double theta = vss.CELL_THETA(cell, e);
      const double Kd = cm.CM_SOIL_KD(1, k), fs = cm.CM_DYNAMIC_SORPTION_FRACTION(1, k);
      m += vss.CELL_THICKNESS(cell, e) *
           ((0.5 * theta + fs * Kd) * cm.CM_REL_CONC_DYNAMIC(cell, e, k) +
            (0.5 * theta + (1.0 - fs) * Kd) * cm.CM_REL_CONC_DEAD_SPACE(cell, e, k));
    }
    double B = 0.0, Fd = 0.0;
    for (int g = 1; g <= sed.NSED; ++g) {
      B += sed.FBETA(e, g) * cm.CM_SEDIMENT_KD(g, k);
      Fd += sed.FDEL(e, g) * cm.CM_SEDIMENT_KD(g, k);
    }
    const double ponded = surface.HRF(e) - frame.ZGRUND(e);
    m += (ponded * (1.0 + Fd) + sed.DLS(e) * (1e-4 + B)) * cm.CM_REL_CONC_DYNAMIC(vss.LL, e, k);
    return m * frame.AREA(e);
  }
  // The whole catchment's, as the component itself counts it.
  double total_mass(int k) const { return contaminant_mass(model, k).total(); }

  // One contaminant step. A fixture with links does not lay out their beds, so its
  // step moves the columns only (in ISORT order) and the links keep their values; the
  // links' own transport is tested on fixtures of its own.
  void step() {
    if (frame.NLF == 0) {
      CM_TIME_STEP(false, model);
      return;
    }
    cm.CM_STEP_FACTOR = cm.CM_DIFFUSIVITY_SCALE * frame.DTUZ / cm.CM_AREA_SCALE;
    for (int p = 1; p <= frame.NEL; ++p) {
      const int e = frame.ISORT(p);
      if (e <= frame.NLF) continue;
      CM_COLUMN_SETUP(model, e);
      CM_COLUMN_TRANSPORT(model, e);
    }
    cm.CM_REL_CONC_DYNAMIC_OLD = cm.CM_REL_CONC_DYNAMIC;
    cm.CM_REL_CONC_DEAD_SPACE_OLD = cm.CM_REL_CONC_DEAD_SPACE;
  }
};

}  // namespace quendal::testing
