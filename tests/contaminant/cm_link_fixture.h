// Channel links for the link transport tests, with their state set directly: a row of
// `links` east-west links, link 1 the westernmost, each with a bank element on its north
// side (side 1, elements links + 1 ..) and its south side (side 2, elements 2 links + 1 ..).
// Links are 100 m long and 4 m wide, with 2 m2 of water; banks are 10 m wide. Every
// column has LL = 10 cells of 0.5 m at moisture 0.3; the bed lies at bank cell 6 and
// reaches down to half of cell 5 on both sides. The bed soil is soil 1, all size group 1;
// sediment (three size groups) is as the contaminant set-up leaves it with sediment off:
// nothing moves. ISORT visits the links west to east, then the banks.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>

#include "contaminant/cm_link_setup.h"
#include "contaminant/cm_link_transport.h"
#include "include/model.h"
#include "services/records.h"

namespace quendal::testing {

struct CmLinkRow {
  static constexpr int LL = 10;
  static constexpr double LENGTH = 100.0, WIDTH = 4.0, WATER_AREA = 2.0, BANK_WIDTH = 10.0;
  static constexpr double CELL = 0.5, THETA = 0.3, POROSITY = 0.4;
  static constexpr int BED_CELL = 6, BED_BOTTOM_CELL = 4;
  static constexpr double DTUZ = 3600.0;

  std::FILE* console_file = std::tmpfile();
  Model model{console_file};
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& sub = model.subsurface;
  SedimentState& sed = model.sediment;
  ContaminantState& cm = model.contaminant;
  int NLF = 0;

  CmLinkRow(const CmLinkRow&) = delete;
  explicit CmLinkRow(int links, int contaminants = 1) : NLF(links) {
    const int NEL = 3 * links;
    frame.NLF = links;
    frame.NEL = NEL;
    frame.NGDBGN = links + 1;
    frame.DTUZ = DTUZ;
    frame.ICMREF.resize(NEL, 4, 3, 0);
    frame.LINK_NORTH_SOUTH.resize(links, 0);
    frame.AREA.resize(NEL, LENGTH * BANK_WIDTH);
    frame.CLENTH.resize(links, LENGTH);
    frame.ISORT.resize(NEL, 0);
    for (int e = 1; e <= NEL; ++e) frame.ISORT(e) = e;
    frame.junction_entry_count = 0;
    frame.ICMRF2.resize(0, 6, 0);
    for (int l = 1; l <= links; ++l) {
      const int north = links + l, south = 2 * links + l;
      frame.AREA(l) = LENGTH * WIDTH;
      frame.ICMREF(l, 1, 1) = 3;
      frame.ICMREF(l, 4, 1) = l;
      join(l, 1, l < links ? l + 1 : 0, 3);
      join(l, 2, north, 4);
      join(l, 4, south, 2);
      frame.ICMREF(north, 1, 1) = 1;
      frame.ICMREF(north, 4, 1) = l;
      frame.ICMREF(south, 1, 1) = 2;
      frame.ICMREF(south, 4, 1) = l;
    }

    surface.ARXL.resize(links, WATER_AREA);
    surface.CWIDTH.resize(links, WIDTH);
    surface.QOC.resize(NEL, 4, 0.0);
    surface.PNETTO.resize(NEL, 0.0);

    sub.LL = LL;
    sub.CELL_THICKNESS.resize(MAX_CELLS_PER_COLUMN, NEL, CELL);
    sub.CELL_THETA.resize(LL, NEL, THETA);
    sub.CELL_LATERAL_FLOW.resize(4, LL, NEL, 0.0);
    sub.LINK_BED_CELL.resize(links, 2, BED_CELL);
    sub.LINK_BED_CELL_FRACTION.resize(links, 2, 0.0);
    sub.STREAM_AQUIFER_WET_FLOW.resize(links, 2, 0.0);
    sub.WELL_WATER_SOURCE.resize(NEL, 0);

    sed.NSED = 3;
    sed.SY_NET_DEPOSITION_AREA.resize(links, 0.0);
    sed.SY_BANK_EROSION_RATE.resize(links, 0.0);
    sed.PBSED.resize(links, POROSITY);
    sed.DLS.resize(NEL, 0.0);
    sed.FBETA.resize(NEL, NSEDEE, 0.0);
    sed.FDEL.resize(NEL, NSEDEE, 0.0);
    sed.SOSDFN.resize(1, NSEDEE, 0.0);
    sed.SOSDFN(1, 1) = 1.0;
    sed.SY_INFILTRATION_RATE_DEEP.resize(links, NSEDEE, 0.0);
    sed.SY_INFILTRATION_RATE_SURFACE.resize(links, NSEDEE, 0.0);
    for (int e = 1; e <= NEL; ++e) sed.FBETA(e, 1) = 1.0;

    cm.size(NEL, links, LL);
    cm.NCON = contaminants;
    for (int l = 1; l <= links; ++l) {
      cm.CM_LINK_BED_SOIL(l) = 1;
      cm.CM_LINK_BED_SIZE_SHARE(l, 1) = 1.0;
      cm.CM_LINK_BED_SIZE_SHARE_PREVIOUS(l, 1) = 1.0;
      cm.CM_LINK_BED_FRACTIONS_PREVIOUS(l, 1) = 1.0;
      for (int s = 1; s <= 2; ++s) {
        cm.CM_BANK_ELEMENT(l, s) = s * links + l;
        cm.CM_BED_BOTTOM_CELL(l, s) = BED_BOTTOM_CELL;
        cm.CM_BED_BOTTOM_FRACTION(l, s) = 0.5;
        cm.CM_BANK_EXCHANGE_CELL(l, s) = BED_CELL;
      }
      // Bed 0.75 m deep under the 4 m channel, its top 0.05 m the surface layer.
      cm.CM_SURFACE_LAYER_AREA(l) = 0.05 * WIDTH / 2500.0;
      cm.CM_BED_AREA_BASE(l) = (0.75 - 0.05) * WIDTH / 2500.0;
      cm.CM_LINK_WATER_AREA(l) = WATER_AREA / 2500.0;
      cm.CM_LINK_BED_AREA(l) = cm.CM_BED_AREA_BASE(l);
      cm.CM_LINK_BED_THETA(l) = cm.CM_LINK_BED_THETA_OLD(l) = THETA;
    }
    for (int k = 1; k <= CM_MAX_CONTAMINANTS; ++k) {
      for (int e = 1; e <= NEL; ++e) cm.CM_SURFACE_CAPACITY(e, k) = 1.0;
    }
  }
  ~CmLinkRow() { std::fclose(console_file); }

  void join(int e, int face, int neighbour, int back) {
    frame.ICMREF(e, face, 2) = neighbour;
    frame.ICMREF(e, face, 3) = neighbour ? back : face;
    if (neighbour) {
      frame.ICMREF(neighbour, back, 2) = e;
      frame.ICMREF(neighbour, back, 3) = face;
    }
  }

  // The same concentration in every compartment and cell of every element, both arrays.
  void fill(int k, double c) {
    for (int e = 1; e <= frame.NEL; ++e) {
      for (int cell = 1; cell <= LL; ++cell) {
        cm.CM_REL_CONC_DYNAMIC(cell, e, k) = cm.CM_REL_CONC_DYNAMIC_OLD(cell, e, k) = c;
        cm.CM_REL_CONC_DEAD_SPACE(cell, e, k) = cm.CM_REL_CONC_DEAD_SPACE_OLD(cell, e, k) = c;
      }
    }
  }
  // Water, surface layer and deep layer of link l at the start of the step.
  void set_link(int l, int k, double water, double surface_layer, double deep) {
    const double c[3] = {deep, surface_layer, water};
    for (int i = 0; i < 3; ++i) {
      cm.CM_REL_CONC_DYNAMIC(LL - 2 + i, l, k) = cm.CM_REL_CONC_DYNAMIC_OLD(LL - 2 + i, l, k) = c[i];
    }
  }
  double water(int l, int k = 1) const { return cm.CM_REL_CONC_DYNAMIC(LL, l, k); }
  double surface_layer(int l, int k = 1) const { return cm.CM_REL_CONC_DYNAMIC(LL - 1, l, k); }
  double deep(int l, int k = 1) const { return cm.CM_REL_CONC_DYNAMIC(LL - 2, l, k); }

  // A steady flow Q (m3/s) from west to east through every link.
  void flow_east(double Q) {
    for (int l = 1; l <= NLF; ++l) surface.QOC(l, 1) = surface.QOC(l, 3) = Q;
  }

  // The link part of one contaminant step: end flows, the step, the links in ISORT
  // order, the copy.
  void step() {
    CM_SET_LINK_END_FLOWS(model);
    cm.CM_STEP_FACTOR = cm.CM_DIFFUSIVITY_SCALE * frame.DTUZ / cm.CM_AREA_SCALE;
    for (int p = 1; p <= frame.NEL; ++p) {
      const int l = frame.ISORT(p);
      if (l > NLF) continue;
      CM_LINK_SETUP(l, model);
      CM_LINK_TRANSPORT(l, model);
    }
    CM_COPY_LINK_STATE(model);
  }

  // Mass of contaminant k in link l (relative concentration x m3), with the linear
  // capacities of this fixture: water 1 + suspended sorption, bed layers their water
  // content plus the sorption of the bed composition.
  double link_mass(int l, int k = 1) const {
    double water_sorption = 0.0, bed_sorption = 0.0;
    for (int g = 1; g <= sed.NSED; ++g) {
      water_sorption += sed.FDEL(l, g) * cm.CM_SEDIMENT_KD(g, k);
      bed_sorption += cm.CM_LINK_BED_FRACTIONS_PREVIOUS(l, g) * cm.CM_SEDIMENT_KD(g, k);
    }
    const double bed = cm.CM_LINK_BED_THETA(l) + bed_sorption;
    return LENGTH * (surface.ARXL(l) * (1.0 + water_sorption) * water(l, k) +
                     2500.0 * (cm.CM_SURFACE_LAYER_AREA(l) * bed * surface_layer(l, k) +
                               cm.CM_LINK_BED_AREA(l) * bed * deep(l, k)));
  }
  double total_mass(int k = 1) const {
    double m = 0.0;
    for (int l = 1; l <= NLF; ++l) m += link_mass(l, k);
    return m;
  }
};

}  // namespace quendal::testing
