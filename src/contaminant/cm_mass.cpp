#include "contaminant/cm_mass.h"

#include <cmath>

#include "contaminant/cm_bed_geometry.h"

namespace quendal {

namespace {

// The loose sediment's water per unit depth, as the column transport counts it.
constexpr double SEDIMENT_WATER_FACTOR = 1e-4;

// Sorbed contaminant per unit sorption coefficient at concentration c: c^n on the
// Freundlich isotherm, c on the linear one.
double sorbed(double c, double n, bool freundlich) {
  if (!freundlich || n == 1.0) return c;
  return c > 0.0 ? std::pow(c, n) : 0.0;
}

}  // namespace

ContaminantMass contaminant_mass(const FrameState& frame, const SurfaceState& surface,
                                 const SubsurfaceState& vss, const SedimentState& sed,
                                 const ContaminantState& cm, int m) {
  ContaminantMass mass;
  const int LL = vss.LL;
  const double n = cm.CM_FREUNDLICH_EXPONENT(m);
  const bool nonlinear = cm.CM_NONLINEAR_ON;
  // The sorption coefficient of sediment of composition `share` (by size group).
  auto kd_of = [&](auto share) {
    double k = 0.0;
    for (int z = 1; z <= sed.NSED; ++z) k += share(z) * cm.CM_SEDIMENT_KD(z, m);
    return k;
  };

  for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) {
    const int kind = frame.ICMREF(iel, 1, 1);
    const bool bank = kind == KIND_BANK_SIDE_1 || kind == KIND_BANK_SIDE_2;
    const int b = cm.CM_BOTTOM_CELL(iel);
    double r = 1.0, y = 0.0;
    int bed_bottom = 0;
    if (bank) {
      const int link = frame.ICMREF(iel, 4, 1);
      r = bank_weight(frame, surface, iel);
      bed_bottom = cm.CM_BED_BOTTOM_CELL(link, kind);
      y = cm.CM_BED_BOTTOM_FRACTION(link, kind);
    }
    int layer = 1;
    for (int k = b; k <= LL; ++k) {
      while (layer < vss.NLYR(iel) && k >= vss.LAYER_BOTTOM_CELL(iel, layer + 1)) ++layer;
      const int soil = vss.NTSOIL(iel, layer);
      const double kd = cm.CM_SOIL_KD(soil, m);
      const double fs = cm.CM_DYNAMIC_SORPTION_FRACTION(soil, m);
      const double weight = bank ? bank_cell_weight(r, bed_bottom, y, b, k) : 1.0;
      const double volume = frame.AREA(iel) / weight * vss.CELL_THICKNESS(k, iel);
      const double water = 0.5 * cm.CM_STORED_THETA(k, iel);
      const double c = cm.CM_REL_CONC_DYNAMIC(k, iel, m);
      const double s = cm.CM_REL_CONC_DEAD_SPACE(k, iel, m);
      // The column transport's capacities carry the isotherm's power whatever the switch.
      mass.dynamic_dissolved += volume * water * c;
      mass.dynamic_sorbed += volume * fs * kd * sorbed(c, n, true);
      mass.dead_space_dissolved += volume * water * s;
      mass.dead_space_sorbed += volume * (1.0 - fs) * kd * sorbed(s, n, true);
    }
    if (LL < 1) continue;
    const double top = cm.CM_REL_CONC_DYNAMIC(LL, iel, m);
    const double suspended = kd_of([&](int z) { return sed.FDEL(iel, z); });
    const double loose = kd_of([&](int z) { return sed.FBETA(iel, z); });
    mass.ponded_water += frame.AREA(iel) * cm.CM_STORED_WATER_DEPTH(iel) *
                         (top + suspended * sorbed(top, n, nonlinear));
    mass.loose_sediment += frame.AREA(iel) * cm.CM_STORED_DLS(iel) *
                           (SEDIMENT_WATER_FACTOR * top + loose * sorbed(top, n, nonlinear));
  }

  for (int l = 1; l <= frame.NLF; ++l) {
    const double length = frame.CLENTH(l) * cm.CM_AREA_SCALE;  // scaled areas to m3
    const double cw = cm.CM_REL_CONC_DYNAMIC(LL, l, m);
    const double cs = cm.CM_REL_CONC_DYNAMIC(LL - 1, l, m);
    const double cd = cm.CM_REL_CONC_DYNAMIC(LL - 2, l, m);
    const double suspended = kd_of([&](int z) { return sed.FDEL(l, z); });
    const double bed = kd_of([&](int z) { return cm.CM_LINK_BED_FRACTIONS_PREVIOUS(l, z); });
    const double theta = cm.CM_LINK_BED_THETA(l);
    mass.link_water += length * cm.CM_LINK_WATER_AREA(l) * (cw + suspended * sorbed(cw, n, nonlinear));
    mass.bed_surface_layer += length * cm.CM_SURFACE_LAYER_AREA(l) *
                              (theta * cs + bed * sorbed(cs, n, nonlinear));
    mass.bed_deep_layer +=
        length * cm.CM_LINK_BED_AREA(l) * (theta * cd + bed * sorbed(cd, n, nonlinear));
  }
  return mass;
}

}  // namespace quendal
