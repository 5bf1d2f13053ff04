#include "surface/et/et_step.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "services/error_reporting.h"
#include "services/predicates.h"
#include "surface/snow/snow_step.h"
#include "surface/surface_state.h"

namespace quendal {
namespace {

// ln(exp(a) + exp(b)) without overflow; either may be -infinity (a zero term).
double log_add_exp(double a, double b) {
  if (a < b) std::swap(a, b);
  if (b == -std::numeric_limits<double>::infinity()) return a;
  return a + std::log1p(std::exp(b - a));
}

// The store that a store `excess` mm above capacity drains to in dt with no input:
// dC/dt = -CK exp(CB (C - S)) gives exp(-CB (C - S)) = exp(-CB excess) + CK CB dt.
double drained_store(double capacity, double excess, double ck, double cb, double dt) {
  return capacity - log_add_exp(-cb * excess, std::log(ck * cb * dt)) / cb;
}

// The store after dt from c0 above capacity with net input R > 0:
// dC/dt = R - CK exp(CB (C - S)). With y = exp(-CB (C - S)) the equation is linear,
// y(dt) = exp(-z) + (CK / R)(1 - exp(-w)), w = CB R dt, z = CB (c0 - S) + w; both
// terms are taken as logarithms so that neither exp(z) nor exp(w) is ever formed.
double filled_store(double c0, double capacity, double r, double ck, double cb, double dt) {
  const double w = cb * r * dt;
  const double z = cb * (c0 - capacity) + w;
  const double log_y = log_add_exp(-z, std::log(ck / r) + std::log(-std::expm1(-w)));
  return capacity - log_y / cb;
}

// Linear interpolation in column `values` at h, between the first row m >= 2 whose
// psi is at least h and the row before; the caller has h strictly inside the table.
double interpolate_psi(const PsiTable& t, std::span<const double> values, double h) {
  const std::size_t n = t.psi.size();
  std::size_t m = 1;
  while (m + 1 < n && t.psi[m] < h) ++m;
  return values[m - 1] + (h - t.psi[m - 1]) * (values[m] - values[m - 1]) / (t.psi[m] - t.psi[m - 1]);
}

// Water a well gives to element e, m/s over its area.
double well_water(const FrameState& frame, const SubsurfaceState& subsurface, int e) {
  const int well = subsurface.WELL_WATER_SOURCE(e);
  if (well == 0) return 0.0;
  return frame.AREA(well) / frame.AREA(e) * subsurface.WELL_ABSTRACTION(well);
}

// An element whose ET the snow pack took for this step: no evaporation, transpiration
// or root uptake (the canopy store waits), and the ground gets `net_rain` (mm/s) that
// the pack released.
void without_et(const FrameState& frame, const SubsurfaceState& subsurface, SurfaceState& s,
                int e, int bottom_cell, double net_rain) {
  s.ET_POTENTIAL_EVAP(e) = 0.0;
  s.ET_CANOPY_EVAP(e) = 0.0;
  s.DRAINA(e) = 0.0;
  s.ET_TRANSPIRATION(e) = 0.0;
  s.ET_SOIL_EVAP(e) = 0.0;
  s.ET_SURFACE_WATER_EVAP(e) = 0.0;
  s.ET_GROUND_EVAP(e) = 0.0;
  s.PNETTO(e) = net_rain / 1000.0 + well_water(frame, subsurface, e);
  for (int c = std::max(bottom_cell, 1); c <= subsurface.LL; ++c) s.ET_ROOT_UPTAKE(c, e) = 0.0;
}

}  // namespace

double aerodynamic_resistance(double ra_coefficient, double wind_speed) {
  return wind_speed > 0.0 ? ra_coefficient / wind_speed : ET_CALM_AERODYNAMIC_RESISTANCE;
}

EvaporationDemand evaporation_demand(bool pe_given, double station_potential_evap,
                                     double net_radiation, double del, double vpd, double ra) {
  const double g = (del + ET_PSYCHROMETRIC_CONSTANT) * ET_LATENT_HEAT;
  EvaporationDemand d;
  if (pe_given) {
    d.PE = station_potential_evap;
    d.N = g * d.PE;
  } else {
    d.N = std::max(0.0, net_radiation * del + ET_AIR_HEAT_CAPACITY * vpd / ra);
    d.PE = d.N / g;
  }
  return d;
}

CanopyStep rutter_canopy_step(double c0, double capacity, double ck, double cb, double cover,
                              double rain, double pe, double dt) {
  const double s = capacity;
  CanopyStep out;
  out.throughfall = (1.0 - cover) * rain * dt;
  double e = cover * dt * pe;
  if (c0 <= s) {
    // The step's interception is added first; the wet fraction of the canopy limits
    // its evaporation; what the store then holds above capacity drains.
    const double c1 = c0 + cover * rain * dt;
    double r;
    if (IS_NON_POSITIVE(s)) {
      r = IS_NON_POSITIVE(c1) ? 0.0 : 1.0;
    } else {
      r = std::min(c1 / s, 1.0);
    }
    e *= r;
    const double c2 = c1 - e;
    if (c2 <= s) {
      out.cstore = std::max(c2, 0.0);
      if (c2 < 0.0) {
        // The store dries out within the step: evaporation is what it held.
        if (e > 0.0) r = (c2 + e) / e;
        e = c2 + e;
      }
    } else {
      out.cstore = std::max(drained_store(s, c2 - s, ck, cb, dt), 0.0);
      out.drainage = c2 - out.cstore;
    }
    out.wetness = r;
  } else {
    // A store above capacity: the canopy is wet all over.
    out.wetness = 1.0;
    const double net_input = (rain - pe) * cover;  // mm/s
    if (net_input <= 0.0) {
      const double c1 = c0 + net_input * dt;
      if (c1 > s) {
        out.cstore = std::max(drained_store(s, c1 - s, ck, cb, dt), 0.0);
        out.drainage = c0 - out.cstore + net_input * dt;
      } else {
        out.cstore = std::max(c1, 0.0);
        if (c1 < 0.0) e += c1;
      }
    } else {
      out.cstore = std::max(filled_store(c0, s, net_input, ck, cb, dt), 0.0);
      out.drainage = c0 - out.cstore + net_input * dt;
    }
  }
  out.evaporation = e;
  return out;
}

PsiTable psi_table_of(const SurfaceState& surface, int v) {
  const auto rows = static_cast<std::size_t>(surface.ET_PSI_ROWS(v));
  const Array3<double>& t = surface.ET_PSI_TABLE;
  return PsiTable{std::span<const double>(&t(1, ET_PSI_COLUMN_PSI, v), rows),
                  std::span<const double>(&t(1, ET_PSI_COLUMN_RC, v), rows),
                  std::span<const double>(&t(1, ET_PSI_COLUMN_RATIO, v), rows)};
}

CellDemand cell_transpiration_demand(int et_mode, double h, const PsiTable& table, double rc,
                                     double ra, double n, double pe, double del) {
  const std::size_t rows = table.psi.size();
  CellDemand d;
  d.rc = rc;
  auto resisted = [&](double resistance) {
    return n / (((resistance / ra + 1.0) * ET_PSYCHROMETRIC_CONSTANT + del) * ET_LATENT_HEAT);
  };
  if (et_mode == 2) {
    if (rows >= 1) {
      if (h >= 0.0) {
        d.rc = table.rc[rows - 1];
      } else if (h <= table.psi[0]) {
        d.rc = table.rc[0];
      } else if (h > table.psi[rows - 1]) {
        d.rc = table.rc[rows - 1];
      } else {
        d.rc = interpolate_psi(table, table.rc, h);
      }
    }
    d.q = resisted(d.rc);
  } else if (et_mode == 3) {
    double a = 0.0;  // a table without rows (refused by the reader) gives nothing
    if (h >= 0.0) {
      a = 1.0;
    } else if (rows >= 1) {
      // At the first row's psi the ratio is that row's, as the interpolation gives it;
      // taking it directly also serves a table of one row.
      if (h <= table.psi[0]) {
        a = table.ratio[0];
      } else if (h > table.psi[rows - 1]) {
        a = table.ratio[rows - 1];
      } else {
        a = interpolate_psi(table, table.ratio, h);
      }
    }
    d.q = a * pe;
  } else {
    d.q = h >= 0.0 ? pe : resisted(rc);
  }
  return d;
}

RootZone root_zone(int rdf_rows, int LL, int bottom_cell, bool bank, int bank_bed_cell) {
  RootZone zone;
  const int column_cells = LL - bottom_cell + 1;
  if (column_cells <= 0) return zone;
  int n = rdf_rows;
  if (bank) n = std::max(n, LL - bank_bed_cell);
  if (n > column_cells) {
    zone.cut = true;
    n = column_cells;
  }
  zone.cells = std::max(n, 0);
  return zone;
}

PondedWater ponded_water_evaporation(double depth, double pnetto, double potential_evap,
                                     double dt, double soil_evap, bool top_cell_can_evaporate) {
  PondedWater out;
  out.soil_evap = soil_evap;
  if (!IS_POSITIVE(depth)) return out;
  const double left = depth + (pnetto - potential_evap) * dt;
  if (!IS_NEGATIVE(left)) {
    out.soil_evap = 0.0;
    out.surface_water_evap = potential_evap;
  } else {
    out.surface_water_evap = potential_evap + left / dt;
    out.soil_evap = top_cell_can_evaporate ? -left / dt : 0.0;
  }
  return out;
}

void ET_TIME_STEP(FrameState& frame, const SubsurfaceState& subsurface, SurfaceState& s,
                  RunIo& io) {
  frame.DTUZ = frame.UZNEXT * 3600.0;
  s.ET_CLOCK += frame.UZNEXT;
  const double dt = frame.DTUZ;
  const int LL = subsurface.LL;

  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    const int v = frame.NVC(e);
    const int site = frame.MET_SITE_OF_ELEMENT(e);

    // A bank element draws less from the cells it shares with the channel's bed zone.
    const int kind = frame.ICMREF(e, 1, 1);
    const bool bank = kind == KIND_BANK_SIDE_1 || kind == KIND_BANK_SIDE_2;
    int bank_bed_cell = 0;
    double bank_factor = 0.0;
    if (bank) {
      const int link = frame.ICMREF(e, 4, 1);
      bank_bed_cell = subsurface.LINK_BED_CELL(link, kind);
      bank_factor = 0.5 * s.CWIDTH(link) / frame.BANK_WIDTH;
    }

    const double ponding = GET_HRF(s, e) - frame.ZGRUND(e);
    const double full_cover = std::min(s.CLAI(v), 1.0) * s.PLAI(v);
    const int bottom_cell = subsurface.LAYER_BOTTOM_CELL(e, 1);

    // Snow: the pack may take the element's ET for this step (then the ET is zero and
    // the ground gets what the pack releases) or bury part of its vegetation.
    SnowEtQuantities snow{full_cover, 0.0, 0.0};
    s.SM_ET_FLAG = 0;
    if (frame.SNOW_ON) {
      SM_ELEMENT_STEP(frame, s, e, snow);
      if (s.SM_ET_FLAG != 1) {
        without_et(frame, subsurface, s, e, bottom_cell, snow.net_rainfall);
        continue;
      }
    }
    const double cover = snow.cover;

    // Potential evaporation.
    if (s.ET_VARIABLE_RA(v)) {
      s.RA(v) = aerodynamic_resistance(s.ET_RA_COEFFICIENT(v), frame.MET_WIND_SPEED(site));
    }
    const double del = frame.DEL(site);
    const EvaporationDemand demand =
        evaporation_demand(s.MET_SITE_PE_GIVEN(site) != 0, frame.STATION_POTENTIAL_EVAP(site),
                           frame.MET_NET_RADIATION(site), del, frame.VPD(site), s.RA(v));

    // Interception.
    const double rain = 1000.0 * frame.ELEMENT_RAIN_RATE(e);  // mm/s
    const CanopyStep canopy = rutter_canopy_step(s.cstore(e), s.CSTCAP(v), s.CK(v), s.CB(v), cover,
                                                 rain, demand.PE, dt);
    s.cstore(e) = canopy.cstore;
    double net_rain = (canopy.drainage + canopy.throughfall) / dt;  // mm/s

    // Transpiration from the root cells and evaporation from the soil surface. The
    // zone never reaches below the element's own column.
    const RootZone zone = root_zone(s.ET_RDF_ROWS(v), LL, bottom_cell, bank, bank_bed_cell);
    if (zone.cut && !s.root_zone_warning_given) {
      s.root_zone_warning_given = true;
      REPORT_ERROR(io, SEVERITY_WARNING, ET_ROOT_ZONE_WARNING, PRINT_UNIT, e, 0,
                   "root zone extends below aquifer bed. Values below aquifer bed are ignored");
    }
    const PsiTable table = psi_table_of(s, v);
    const int rdf_rows = s.ET_RDF_ROWS(v);
    double transpiration = 0.0;
    double soil_evap = 0.0;  // an empty root zone evaporates nothing from the soil
    for (int j = 1; j <= zone.cells; ++j) {
      const int c = LL - j + 1;
      const CellDemand cell = cell_transpiration_demand(s.ET_MODE(v), subsurface.vspsi(c, e),
                                                        table, s.RC(v), s.RA(v), demand.N,
                                                        demand.PE, del);
      s.RC(v) = cell.rc;
      double t = 0.0;
      if (ponding <= 0.0) {
        const double density = j <= rdf_rows ? s.RDF(v, j) : 0.0;
        const double factor = c <= bank_bed_cell ? bank_factor : 0.0;
        t = cell.q * cover * (1.0 - canopy.wetness) * density / (1.0 + factor);
      }
      s.ET_ROOT_UPTAKE(c, e) = 0.001 * t;
      transpiration += t;
      if (j == 1) soil_evap = cell.q * 0.5 * (1.0 - cover);
    }

    // A pack under the canopy takes its net rainfall and stops the soil evaporating.
    if (frame.SNOW_ON) {
      snow.net_rainfall = net_rain;
      snow.soil_evap = soil_evap;
      SM_ELEMENT_STEP(frame, s, e, snow);
      net_rain = snow.net_rainfall;
      soil_evap = snow.soil_evap;
    }

    // Outputs, m/s.
    const double remaining_pe = demand.PE - canopy.evaporation / dt;
    s.ET_POTENTIAL_EVAP(e) = remaining_pe / 1000.0;
    s.ET_CANOPY_EVAP(e) = canopy.evaporation / (dt * 1000.0);
    s.DRAINA(e) = canopy.drainage / (dt * 1000.0);
    s.ET_TRANSPIRATION(e) = transpiration / 1000.0;
    s.PNETTO(e) = net_rain / 1000.0 + well_water(frame, subsurface, e);

    // Ponded water.
    const bool top_cell_can_evaporate =
        LL >= bottom_cell && subsurface.vspsi(LL, e) >= ET_SOIL_EVAPORATION_PSI_LIMIT;
    const PondedWater pond =
        ponded_water_evaporation(ponding, s.PNETTO(e), s.ET_POTENTIAL_EVAP(e), dt,
                                 soil_evap / 1000.0, top_cell_can_evaporate);
    s.ET_SURFACE_WATER_EVAP(e) = pond.surface_water_evap;
    s.ET_SOIL_EVAP(e) = pond.soil_evap;
    s.ET_GROUND_EVAP(e) = pond.surface_water_evap + pond.soil_evap;
  }
}

void ET_TIME_STEP(Model& model) {
  ET_TIME_STEP(model.frame, model.subsurface, model.surface, model.io);
}

}  // namespace quendal
