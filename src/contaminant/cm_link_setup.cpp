#include "contaminant/cm_link_setup.h"

#include <algorithm>

#include "services/predicates.h"

namespace quendal {

namespace {

// Which end flow of the neighbour in each slot (1..6) is its flow towards the link,
// for a link that runs east-west and one that runs north-south.
constexpr int NEIGHBOUR_END_EAST_WEST[7] = {0, 1, 2, 2, 2, 1, 1};
constexpr int NEIGHBOUR_END_NORTH_SOUTH[7] = {0, 2, 2, 1, 1, 1, 2};

// The slot (1..6) a single neighbouring link takes, by the link's orientation, the end
// and the neighbour's face that points back (1..4); 0 for a face that cannot point back.
constexpr int NEIGHBOUR_SLOT[2][2][5] = {
    {{0, 0, 1, 2, 3}, {0, 5, 6, 0, 4}},   // east-west: end 1, end 2
    {{0, 3, 0, 1, 2}, {0, 4, 5, 6, 0}}};  // north-south: end 1, end 2

constexpr double DRY_AREA = 1e-20;      // a scaled water area below this is a dry channel
constexpr double MIN_SLOT_AREA = 1e-6;  // least area that turns a flow into a velocity

}  // namespace

void CM_SET_LINK_END_FLOWS(Model& model) {
  ContaminantState& cm = model.contaminant;
  const FrameState& frame = model.frame;
  const Array2<double>& QOC = model.surface.QOC;
  // QOC is positive towards the east and the north: minus QOC enters through the first
  // end (face 1 or 2), plus QOC through the second (face 3 or 4).
  for (int l = 1; l <= frame.NLF; ++l) {
    const int f1 = frame.LINK_NORTH_SOUTH(l) ? 2 : 1;
    cm.CM_LINK_END_FLOW_1(l) = -QOC(l, f1);
    cm.CM_LINK_END_FLOW_2(l) = QOC(l, f1 + 2);
  }
}

void CM_LINK_SETUP(int l, Model& model) {
  ContaminantState& cm = model.contaminant;
  ContaminantLinkWork& w = cm.link_work;
  const FrameState& frame = model.frame;
  const SurfaceState& surface = model.surface;
  SubsurfaceState& sub = model.subsurface;
  const SedimentState& sed = model.sediment;
  const int LL = sub.LL;
  const double L = cm.CM_LENGTH_SCALE;
  const double D = cm.CM_DIFFUSIVITY_SCALE;
  const double dt = cm.CM_STEP_FACTOR;

  // Orientation: first end face f1, second f1 + 2; side 1 over face fa, side 2 over fb.
  const bool north_south = frame.LINK_NORTH_SOUTH(l) != 0;
  const int f1 = north_south ? 2 : 1;
  const int fa = north_south ? 1 : 2;
  const int fb = north_south ? 3 : 4;
  const int* end_of_slot = north_south ? NEIGHBOUR_END_NORTH_SOUTH : NEIGHBOUR_END_EAST_WEST;
  for (int k = 1; k <= 6; ++k) w.NEIGHBOUR_END(k) = end_of_slot[k];

  // Areas, wetness and their rates of change since the link's last set-up.
  const double A = surface.ARXL(l) / cm.CM_AREA_SCALE;
  const double B = sed.SY_NET_DEPOSITION_AREA(l) / cm.CM_AREA_SCALE + cm.CM_BED_AREA_BASE(l);
  w.WATER_AREA = A;
  w.BED_AREA = B;
  w.SURFACE_LAYER_AREA = cm.CM_SURFACE_LAYER_AREA(l);
  if (A < DRY_AREA) {
    w.WET = 0.0;
    w.WATER_AREA_RATE = 0.0;
    w.BED_AREA_RATE = 0.0;
    sub.STREAM_AQUIFER_WET_FLOW(l, 1) = 0.0;
    sub.STREAM_AQUIFER_WET_FLOW(l, 2) = 0.0;
  } else {
    w.WET = 1.0;
    w.WATER_AREA_RATE = (A - cm.CM_LINK_WATER_AREA(l)) / dt;
    w.BED_AREA_RATE = (B - cm.CM_LINK_BED_AREA(l)) / dt;
  }
  // The bed's relative rate of growth, per unit of scaled time like dB itself: the
  // deposition (or erosion) over the step carries the water (or surface layer) of the
  // area the bed gains (or loses), rd x dtau = dB x dtau / B. A further factor of the
  // time scale would exchange millions of bed areas a step, and water and bed would
  // equalise at once.
  w.DEPOSITION_RATE = w.BED_AREA_RATE / B;
  cm.CM_LINK_BED_AREA(l) = B;
  cm.CM_LINK_WATER_AREA(l) = A;

  w.BANK_EROSION = sed.SY_BANK_EROSION_RATE(l) * cm.CM_INVERSE_VELOCITY_SCALE;
  for (int s = 1; s <= 2; ++s) {
    w.BANK_ELEMENT(s) = cm.CM_BANK_ELEMENT(l, s);
    w.FIRST_CELL_ABOVE_BED(s) = sub.LINK_BED_CELL(l, s) + 1;
  }

  // The end flow pair of a link: flows into it through end 1 and end 2.
  auto end_flow = [&cm](int link, int end) {
    return end == 1 ? cm.CM_LINK_END_FLOW_1(link) : cm.CM_LINK_END_FLOW_2(link);
  };
  const double g0 = 1.0 / (D * L);
  for (int end = 1; end <= 2; ++end) {
    const int face = f1 + 2 * (end - 1);
    const int first = 3 * (end - 1) + 1;  // slots first..first + 2
    for (int k = first; k < first + 3; ++k) {
      w.NEIGHBOUR(k) = 0;
      w.NEIGHBOUR_AREA(k) = 0.0;
      w.NEIGHBOUR_VELOCITY(k) = 0.0;
    }
    const int m = frame.ICMREF(l, face, 2);
    if (m > 0) {
      const int back = frame.ICMREF(l, face, 3);
      if (back >= 1 && back <= 4) {
        const int slot = NEIGHBOUR_SLOT[north_south ? 1 : 0][end - 1][back];
        if (slot > 0) w.NEIGHBOUR(slot) = m;
      }
    } else if (m < 0) {
      const int j = -m;
      for (int i = 0; i < 3; ++i) {
        const int n = frame.ICMRF2(j, 3 - i);
        w.NEIGHBOUR(first + i) = n >= 1 ? n : 0;
      }
    }
    w.HAS_NEIGHBOURS(end) = m != 0;
    if (m != 0) {
      // Each neighbour's area is the one of its own last set-up.
      for (int k = first; k < first + 3; ++k) {
        const int n = w.NEIGHBOUR(k);
        if (n == 0) continue;
        const double a = std::max(MIN_SLOT_AREA, cm.CM_LINK_WATER_AREA(n));
        w.NEIGHBOUR_AREA(k) = a;
        w.NEIGHBOUR_VELOCITY(k) = -end_flow(n, w.NEIGHBOUR_END(k)) * g0 / a;
      }
    } else {
      // A free end: the first slot carries the link's own flow through that end.
      const double a = std::max(MIN_SLOT_AREA, A);
      w.NEIGHBOUR_AREA(first) = a;
      w.NEIGHBOUR_VELOCITY(first) = end_flow(l, end) * g0 / a;
    }
  }

  if (w.WET > 0.5) {
    w.END_VELOCITY(1) = cm.CM_LINK_END_FLOW_1(l) * g0 / A;
    w.END_VELOCITY(2) = cm.CM_LINK_END_FLOW_2(l) * g0 / A;
  } else {
    w.END_VELOCITY(1) = w.END_VELOCITY(2) = 0.0;
  }

  // Rain (with the well water the driver adds to a link's net rainfall) and wells.
  w.RAIN_INFLOW = -surface.PNETTO(l) * frame.AREA(l);
  w.WELL_ELEMENT = sub.WELL_WATER_SOURCE(l);
  w.WELL_INFLOW = w.WELL_ELEMENT != 0
                      ? -cm.CM_WELL_ABSTRACTION_OLD(w.WELL_ELEMENT) * frame.AREA(w.WELL_ELEMENT)
                      : 0.0;

  w.LENGTH = frame.CLENTH(l) / L;
  const double g = 1.0 / (D * frame.CLENTH(l));  // per unit length of the link

  // Bank cells of both sides: thicknesses over the bed and the lateral flows above it.
  for (int s = 1; s <= 2; ++s) {
    const int e = w.BANK_ELEMENT(s);
    const int fe = frame.ICMREF(l, s == 1 ? fa : fb, 3);  // the bank's face to the link
    for (int c = cm.CM_BED_BOTTOM_CELL(l, s) + 1; c <= LL; ++c) {
      w.BANK_CELL_THICKNESS(s, c) = sub.CELL_THICKNESS(c, e) / L;
    }
    for (int c = w.FIRST_CELL_ABOVE_BED(s); c <= LL; ++c) {
      w.BANK_LATERAL_FLUX(s, c) = -sub.CELL_LATERAL_FLOW(fe, c, e) * g;
    }
  }

  w.WET_EXCHANGE(1) = -sub.STREAM_AQUIFER_WET_FLOW(l, 1) * g;
  w.WET_EXCHANGE(2) = -sub.STREAM_AQUIFER_WET_FLOW(l, 2) * g;
  w.SIDE_FLOW(1) = -surface.QOC(l, fa) * g;
  w.SIDE_FLOW(2) = surface.QOC(l, fb) * g;

  // Water content of the bed: the bank cells it spans on both sides, weighted by the
  // part of each cell inside the bed. A cell above the top cell contributes nothing.
  double weights = 0.0, weighted = 0.0;
  for (int s = 1; s <= 2; ++s) {
    const int e = w.BANK_ELEMENT(s);
    const int c0 = cm.CM_BED_BOTTOM_CELL(l, s);
    const int cb = sub.LINK_BED_CELL(l, s);
    auto add = [&](int c, double weight) {
      weights += weight;
      weighted += weight * sub.CELL_THETA(c, e);
    };
    add(c0 + 1, (1.0 - cm.CM_BED_BOTTOM_FRACTION(l, s)) * w.BANK_CELL_THICKNESS(s, c0 + 1));
    for (int c = c0 + 2; c <= cb; ++c) add(c, w.BANK_CELL_THICKNESS(s, c));
    if (cb + 1 <= LL) add(cb + 1, sub.LINK_BED_CELL_FRACTION(l, s) * w.BANK_CELL_THICKNESS(s, cb + 1));
  }
  cm.CM_LINK_BED_THETA_OLD(l) = cm.CM_LINK_BED_THETA(l);
  // With no weight at all the bed keeps the water content it had.
  if (IS_NON_ZERO(weights)) {
    cm.CM_LINK_BED_THETA(l) = std::min(sed.PBSED(l), weighted / weights);
  }
}

}  // namespace quendal
