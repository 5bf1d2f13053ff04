#include "contaminant/cm_column_setup.h"

#include <algorithm>

namespace quendal {

namespace {

int opposite_face(int f) { return f <= 2 ? f + 2 : f - 2; }

// Bank weights: a bank element below its stream bed stands for a widened column that
// takes in the half of the link's own stack on its side; r is the bank's share of it.
void set_bank_weights(Model& model, int iel, int b) {
  ContaminantColumnWork& w = model.contaminant.column_work;
  const FrameState& frame = model.frame;
  const ContaminantState& cm = model.contaminant;
  const int t = cm.CM_TOP_CELL;
  for (int k = b - 1; k <= t; ++k) {
    w.CM_COL_BANK_WEIGHT(k) = 1.0;
    w.CM_COL_BANK_WEIGHT_INVERSE(k) = 1.0;
  }
  w.CM_COL_BANK_SIDE = frame.ICMREF(iel, 1, 1);
  w.CM_COL_IS_BANK = w.CM_COL_BANK_SIDE != 0;
  w.CM_COL_BANK_OFFSET = 0;
  if (!w.CM_COL_IS_BANK) {
    w.CM_COL_BANK_FACE = 0;
    return;
  }
  const int s = w.CM_COL_BANK_SIDE;
  const int l = frame.ICMREF(iel, 4, 1);
  w.CM_COL_BANK_LINK = l;
  w.CM_COL_BANK_FACE = 0;
  for (int f = 1; f <= 4; ++f) {
    if (frame.ICMREF(l, f, 2) == iel) {
      w.CM_COL_BANK_FACE = frame.ICMREF(l, f, 3);
      break;
    }
  }
  w.CM_COL_BANK_OFFSET = model.subsurface.LAYER_BOTTOM_CELL(l, 1) - b;
  const double width = frame.AREA(iel) / frame.CLENTH(l);
  const double r = width / (0.5 * model.surface.CWIDTH(l) + width);
  const int cB = cm.CM_BED_BOTTOM_CELL(l, s);
  const double y = cm.CM_BED_BOTTOM_FRACTION(l, s);
  for (int k = b - 1; k <= cB; ++k) {
    w.CM_COL_BANK_WEIGHT(k) = r;
    w.CM_COL_BANK_WEIGHT_INVERSE(k) = 1.0 / r;
  }
  // The cell the bed bottom cuts is shared in part; its inverse weight stays 1.
  w.CM_COL_BANK_WEIGHT(std::max(cB + 1, b - 1)) = 1.0 - (1.0 - r) * y;
}

}  // namespace

double cm_flow_below(const SubsurfaceState& vss, int k, int e) {
  return k >= 1 ? vss.CELL_VERTICAL_FLOW(k, e) : vss.COLUMN_BASE_FLOW(e);
}

void CM_COLUMN_SETUP(Model& model, int iel) {
  const FrameState& frame = model.frame;
  const SurfaceState& surface = model.surface;
  SubsurfaceState& vss = model.subsurface;
  const SedimentState& sed = model.sediment;
  ContaminantState& cm = model.contaminant;
  ContaminantColumnWork& w = cm.column_work;

  const int b = vss.LAYER_BOTTOM_CELL(iel, 1);
  const int t = cm.CM_TOP_CELL;
  const int c0 = cm.CM_BOTTOM_CELL(iel);
  const double L = cm.CM_LENGTH_SCALE;
  const double dtuz = frame.DTUZ;

  // 1. Step lengths and bottom cell.
  w.CM_COL_ELEMENT = iel;
  w.CM_COL_BOTTOM = c0;
  w.CM_COL_STEP_NEW = cm.CM_IMPLICIT_WEIGHT * cm.CM_STEP_FACTOR;
  w.CM_COL_STORAGE_STEP = cm.CM_STORAGE_WEIGHT * cm.CM_STEP_FACTOR;

  // 2, 3. Bank weights and the kind of element.
  set_bank_weights(model, iel, b);
  const bool bank = w.CM_COL_IS_BANK;
  const int l = bank ? w.CM_COL_BANK_LINK : 0;
  const int s = w.CM_COL_BANK_SIDE;
  const int d = w.CM_COL_BANK_OFFSET;
  const int lbc = bank ? vss.LINK_BED_CELL(l, s) : 0;

  // 4. Root uptake.
  for (int k = b; k <= t; ++k) w.CM_COL_ROOT_UPTAKE(k) = surface.ET_ROOT_UPTAKE(k, iel);

  // 5. Layer loop: soil, geometry, water contents, vertical and exchange flows.
  const double wb = w.CM_COL_BANK_WEIGHT(b);
  for (int j = 1; j <= vss.NLYR(iel); ++j) {
    const int first = std::max(vss.LAYER_BOTTOM_CELL(iel, j), c0);
    const int last = std::min(vss.LAYER_BOTTOM_CELL(iel, j + 1) - 1, t);
    for (int k = first; k <= last; ++k) {
      w.CM_COL_SOIL(k) = vss.NTSOIL(iel, j);
      if (k < t) w.CM_COL_SPACING(k) = (vss.CELL_ELEVATION(k + 1, iel) - vss.CELL_ELEVATION(k, iel)) / L;
      w.CM_COL_MOBILE_FRACTION_NEW(k) = 0.5;
      w.CM_COL_THICKNESS(k) = vss.CELL_THICKNESS(k, iel) / L;
      double theta = vss.CELL_THETA(k, iel);
      double v = vss.CELL_VERTICAL_FLOW(k, iel);
      if (bank && k + d >= 1 && k + d <= t) {
        theta = wb * theta + (1.0 - wb) * vss.CELL_THETA(k + d, l);
        v = wb * v + (1.0 - wb) * vss.CELL_VERTICAL_FLOW(k + d, l);
      }
      w.CM_COL_THETA_OLD(k) = cm.CM_STORED_THETA(k, iel);
      w.CM_COL_THETA_NEW(k) = theta;
      cm.CM_STORED_THETA(k, iel) = theta;
      w.CM_COL_VERTICAL_FLOW_OLD(k) = cm.CM_STORED_VERTICAL_FLOW(k, iel);
      w.CM_COL_VERTICAL_FLOW_NEW(k) = v;
      cm.CM_STORED_VERTICAL_FLOW(k, iel) = v;
      w.CM_COL_MOBILE_FRACTION_OLD(k) = 0.5;
      // Water leaving the dynamic region: the roots' uptake per unit volume and half the
      // change of the cell's water, the dead space holding the other half.
      const double x = w.CM_COL_BANK_WEIGHT(k) * w.CM_COL_ROOT_UPTAKE(k) / (w.CM_COL_THICKNESS(k) * L) +
                       (0.5 * theta - 0.5 * w.CM_COL_THETA_OLD(k)) / dtuz;
      w.CM_COL_EXCHANGE_FLOW_OLD(k) = cm.CM_STORED_SINK(k, iel);
      w.CM_COL_EXCHANGE_FLOW_NEW(k) = x;
      cm.CM_STORED_SINK(k, iel) = x;
    }
  }

  // 6. Ghost values.
  w.CM_COL_THICKNESS(t + 1) = w.CM_COL_THICKNESS(t);
  w.CM_COL_SPACING(t) = w.CM_COL_THICKNESS(t);
  w.CM_COL_SPACING(c0 - 1) = vss.CELL_THICKNESS(c0, iel) / L;

  // 7. The bank's bed cell carries the bank's own flow in the transport.
  if (bank && lbc >= b && lbc <= t) w.CM_COL_VERTICAL_FLOW_NEW(lbc) = vss.CELL_VERTICAL_FLOW(lbc, iel);

  // 8. Flow into the bottom cell.
  {
    w.CM_COL_VERTICAL_FLOW_OLD(b - 1) = cm.CM_STORED_VERTICAL_FLOW(b - 1, iel);
    double q = cm_flow_below(vss, b - 1, iel);
    if (bank) {
      const double wbelow = w.CM_COL_BANK_WEIGHT(b - 1);
      q = (1.0 - wbelow) * cm_flow_below(vss, b - 1 + d, l) + wbelow * q;
    }
    w.CM_COL_VERTICAL_FLOW_NEW(b - 1) = q;
    cm.CM_STORED_VERTICAL_FLOW(b - 1, iel) = q;
  }

  // 9. Column and surface values.
  const double area = frame.AREA(iel);
  const double Hn = surface.GET_HRF(iel) - frame.ZGRUND(iel);
  const double hn = (frame.ZGRUND(iel) - cm.CM_BOTTOM_LEVEL(iel)) / L;
  w.CM_COL_SURFACE_SCALE = L / (area * cm.CM_DIFFUSIVITY_SCALE);
  w.CM_COL_LATERAL_SCALE = w.CM_COL_SURFACE_SCALE / hn;
  w.CM_COL_BASE_SCALE = w.CM_COL_SURFACE_SCALE / w.CM_COL_THICKNESS(c0);
  w.CM_COL_SEDIMENT_WATER_FACTOR = 1e-4;
  w.CM_COL_DY = frame.DYQQ(iel);
  w.CM_COL_DX = frame.DXQQ(iel);
  w.CM_COL_LOOSE_SEDIMENT_OLD = cm.CM_STORED_DLS(iel);
  w.CM_COL_LOOSE_SEDIMENT_NEW = sed.DLS(iel);
  cm.CM_STORED_DLS(iel) = sed.DLS(iel);
  w.CM_COL_PONDED_DEPTH_OLD = cm.CM_STORED_WATER_DEPTH(iel);
  w.CM_COL_PONDED_DEPTH_NEW = Hn;
  cm.CM_STORED_WATER_DEPTH(iel) = Hn;
  w.CM_COL_EROSION_RATE_OLD = cm.CM_STORED_EROSION(iel);
  w.CM_COL_EROSION_RATE_NEW = sed.SY_GROUND_EROSION_RATE(iel);
  cm.CM_STORED_EROSION(iel) = sed.SY_GROUND_EROSION_RATE(iel);
  w.CM_COL_DEPTH_OLD = cm.CM_STORED_COLUMN_DEPTH(iel);
  w.CM_COL_DEPTH_NEW = hn;
  cm.CM_STORED_COLUMN_DEPTH(iel) = hn;
  w.CM_COL_TOP = t;

  // 10. Neighbours; across a channel link (banks off) the element beyond it.
  for (int f = 1; f <= 4; ++f) {
    const int n = frame.ICMREF(iel, f, 2);
    w.CM_COL_NO_NEIGHBOUR[f] = n == 0;
    if (n == 0) {
      w.CM_COL_NEIGHBOUR[f] = iel;
    } else if (n > 0 && frame.ICMREF(n, 1, 1) == 3) {
      w.CM_COL_NEIGHBOUR[f] = frame.ICMREF(n, f, 2);
    } else {
      w.CM_COL_NEIGHBOUR[f] = n;
    }
  }

  // 11. Face loop: lateral fluxes, scaled and weighted.
  for (int f = 1; f <= 4; ++f) {
    for (int k = c0 - 1; k <= t + 1; ++k) {
      w.CM_COL_ACCUMULATOR(k) = 0.0;
      w.CM_COL_LATERAL_FLOW_OLD(k, f) = 0.0;
      w.CM_COL_LATERAL_FLOW_NEW(k, f) = 0.0;
    }
    const int n = frame.ICMREF(iel, f, 2);
    const bool towards_link = bank && f == w.CM_COL_BANK_FACE;
    const bool beside_bank = bank && n > 0 && (frame.ICMREF(n, 1, 1) == 1 || frame.ICMREF(n, 1, 1) == 2);
    for (int k = c0; k <= t; ++k) {
      double q;
      // The link's stack ends at its top cell: no link flow is taken above it.
      const bool link_cell = bank && k <= lbc && k + d >= 1 && k + d <= t;
      if (towards_link && k <= lbc) {
        // The link's column splits between its two banks: half the difference of its
        // flows through its two side faces comes over to this side.
        q = link_cell ? 0.5 * (vss.CELL_LATERAL_FLOW(f, k + d, l) -
                               vss.CELL_LATERAL_FLOW(opposite_face(f), k + d, l))
                      : 0.0;
      } else {
        q = vss.CELL_LATERAL_FLOW(f, k, iel);
        if (beside_bank && link_cell) q += 0.5 * vss.CELL_LATERAL_FLOW(f, k + d, l);
      }
      w.CM_COL_FACE_FLOW(k) = q;
    }
    for (int k = c0; k <= t; ++k) {
      w.CM_COL_LATERAL_FLOW_OLD(k, f) = cm.CM_STORED_FACE_FLUX(f, k, iel);
      const double flux = w.CM_COL_BANK_WEIGHT(k) * hn / w.CM_COL_THICKNESS(k) * w.CM_COL_FACE_FLOW(k);
      w.CM_COL_LATERAL_FLOW_NEW(k, f) = flux;
      cm.CM_STORED_FACE_FLUX(f, k, iel) = flux;
    }
  }

  // 12. Surface flows into the element.
  for (int f = 1; f <= 4; ++f) {
    const double into = f <= 2 ? -surface.QOC(iel, f) : surface.QOC(iel, f);
    w.CM_COL_SURFACE_FLOW_OLD[f] = cm.CM_STORED_SURFACE_FLOW(f, iel);
    w.CM_COL_SURFACE_FLOW_NEW[f] = into;
    cm.CM_STORED_SURFACE_FLOW(f, iel) = into;
  }

  // 13. Well water that another element discharges onto this one.
  const int src = vss.WELL_WATER_SOURCE.empty() ? 0 : vss.WELL_WATER_SOURCE(iel);
  w.CM_COL_WELL_SOURCE = src;
  if (src == 0) {
    w.CM_COL_WELL_INPUT_OLD = 0.0;
    w.CM_COL_WELL_INPUT_NEW = 0.0;
  } else {
    w.CM_COL_WELL_INPUT_OLD = -(cm.CM_WELL_ABSTRACTION_OLD(src) * frame.AREA(src));
    w.CM_COL_WELL_INPUT_NEW = -(vss.WELL_ABSTRACTION(src) * frame.AREA(src));
  }

  // 14. Water input at the top.
  w.CM_COL_TOP_INPUT_OLD = cm.CM_STORED_TOP_INPUT(iel);
  w.CM_COL_TOP_INPUT_NEW = -(area * surface.PNETTO(iel));
  cm.CM_STORED_TOP_INPUT(iel) = w.CM_COL_TOP_INPUT_NEW;

  // 15. Well flow of the cells.
  for (int k = b; k <= t; ++k) w.CM_COL_WELL_FLOW(k) = 0.0;
  const int well = vss.WELL_NUMBER.empty() ? 0 : vss.WELL_NUMBER(iel);
  if (well != 0) {
    for (int k = vss.WELL_SCREEN_BOTTOM_CELL(iel); k <= vss.WELL_SCREEN_TOP_CELL(iel); ++k)
      w.CM_COL_WELL_FLOW(k) = vss.CELL_WELL_ABSTRACTION(k, well);
  }

  // 16. Exchange of a bank with its channel, as it stands now (zero for a dry channel).
  for (int k = 1; k <= t; ++k) w.CM_COL_BANK_EXCHANGE_FLOW(k) = 0.0;
  if (bank) w.CM_COL_BANK_EXCHANGE_FLOW(cm.CM_BANK_EXCHANGE_CELL(l, s)) = vss.STREAM_AQUIFER_WET_FLOW(l, s);

  // 17. Weights of the subsurface component's own flows against the recomputed ones:
  // none in the top five cells, full deep in the column.
  for (int k = std::max(t - 4, 1); k <= t; ++k) w.CM_COL_FLOW_WEIGHT(k) = 0.0;
  for (int k = std::max(t - 7, 1); k <= t - 5; ++k) w.CM_COL_FLOW_WEIGHT(k) = 0.1;
  for (int k = std::max(t - 19, 1); k <= t - 8; ++k) w.CM_COL_FLOW_WEIGHT(k) = 0.5;
  for (int k = c0; k <= t - 20; ++k) w.CM_COL_FLOW_WEIGHT(k) = 1.0;

  // 18. Flow out through the top that closes the element's surface water balance.
  const double surface_in = w.CM_COL_SURFACE_FLOW_NEW[1] + w.CM_COL_SURFACE_FLOW_NEW[2] +
                            w.CM_COL_SURFACE_FLOW_NEW[3] + w.CM_COL_SURFACE_FLOW_NEW[4];
  const double qt = (Hn - w.CM_COL_PONDED_DEPTH_OLD) / (cm.CM_TIME_SCALE * cm.CM_STEP_FACTOR) +
                    surface.ET_GROUND_EVAP(iel) + (w.CM_COL_TOP_INPUT_NEW - surface_in) / area;
  w.CM_COL_VERTICAL_FLOW_NEW(t) = qt;

  // 19. Downwards, the flow into each cell from below that closes the cell's balance,
  // relaxed towards the subsurface component's own flow deep in the column.
  double q = qt;
  const double velocity_step = cm.CM_STEP_FACTOR * cm.CM_INVERSE_VELOCITY_SCALE;
  for (int k = t; k >= c0; --k) {
    double lateral = 0.0;
    for (int f = 1; f <= 4; ++f) lateral += w.CM_COL_LATERAL_FLOW_NEW(k, f);
    lateral *= w.CM_COL_THICKNESS(k) / (w.CM_COL_BANK_WEIGHT(k) * hn);
    const double qb =
        (w.CM_COL_WELL_FLOW(k) + w.CM_COL_ROOT_UPTAKE(k) +
         (w.CM_COL_THETA_NEW(k) - w.CM_COL_THETA_OLD(k)) * w.CM_COL_THICKNESS(k) /
             (velocity_step * w.CM_COL_BANK_WEIGHT(k)) -
         (lateral + w.CM_COL_BANK_EXCHANGE_FLOW(k)) / area + w.CM_COL_BANK_WEIGHT_INVERSE(k) * q) /
        w.CM_COL_BANK_WEIGHT_INVERSE(k - 1);
    q = qb - (qb - w.CM_COL_VERTICAL_FLOW_NEW(k - 1)) * w.CM_COL_FLOW_WEIGHT(k);
    w.CM_COL_VERTICAL_FLOW_NEW(k - 1) = q;
    cm.CM_STORED_VERTICAL_FLOW(k - 1, iel) = q;
  }

  // 20. Base flow.
  w.CM_COL_BASE_FLOW_OLD = cm.CM_STORED_BASE_FLOW(iel);
  w.CM_COL_BASE_FLOW_NEW = area * w.CM_COL_VERTICAL_FLOW_NEW(c0 - 1);
  cm.CM_STORED_BASE_FLOW(iel) = w.CM_COL_BASE_FLOW_NEW;
}

}  // namespace quendal
