// The ET time step: canopy interception, potential evaporation, transpiration from
// the root cells, soil evaporation and evaporation of ponded water, for every column
// element (bank elements and grid squares; the driver fills the channel links).
//
// The physics of one element are pure functions of their inputs, in mm and seconds
// like the computation itself; ET_TIME_STEP gathers each element's inputs, calls them
// in order and stores the outputs in m/s.
#pragma once

#include <span>

#include "include/frame_state.h"
#include "include/model.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// Psychrometric constant (mbar/K), held as its single-precision value.
constexpr double ET_PSYCHROMETRIC_CONSTANT = 0.6589999794960022;
constexpr double ET_LATENT_HEAT = 2465000.0;  // J/kg
// Density times specific heat of air (single-precision 1.2 times 1003).
constexpr double ET_AIR_HEAT_CAPACITY = 1203.600047826767;
constexpr double ET_CALM_AERODYNAMIC_RESISTANCE = 1e10;  // s/m, wind speed not positive
// The soil surface evaporates the shortfall of ponded water only while the top cell's
// pressure head is at least this, m.
constexpr double ET_SOIL_EVAPORATION_PSI_LIMIT = -150.0;
constexpr int ET_ROOT_ZONE_WARNING = 4999;

// ---- potential evaporation ------------------------------------------------------------

// Aerodynamic resistance (s/m) of a type with variable RA at wind speed `wind_speed`.
double aerodynamic_resistance(double ra_coefficient, double wind_speed);

struct EvaporationDemand {
  double PE = 0.0;  // potential evaporation, mm/s
  double N = 0.0;   // the numerator of the Penman-Monteith form (energy term)
};

// Penman-Monteith potential evaporation of a met site, or the site's own potential
// evaporation (mm/s) when it is given; N is then the energy that evaporates it.
EvaporationDemand evaporation_demand(bool pe_given, double station_potential_evap,
                                     double net_radiation, double del, double vpd, double ra);

// ---- interception (Rutter) ---------------------------------------------------------------

// One step of the canopy store; depths in mm over the step.
struct CanopyStep {
  double cstore = 0.0;       // store at the end of the step
  double evaporation = 0.0;  // E: evaporation of intercepted water
  double drainage = 0.0;     // D: drainage from the store
  double throughfall = 0.0;  // T: rain falling through the gaps of the canopy
  double wetness = 0.0;      // r: wetted fraction of the canopy (0..1)
};

// Rain `rain` and potential evaporation `pe` (mm/s) over `dt` seconds on a canopy of
// cover `cover`, capacity `capacity` (mm) and drainage CK (mm/s), CB (1/mm), holding
// `c0` mm at the start. Drainage above capacity follows dC/dt = -CK exp(CB (C - S)),
// solved exactly; with the store above capacity and net input it is the exact
// solution of dC/dt = R - CK exp(CB (C - S)). Both are evaluated in logarithmic form,
// so heavy rain in a long step cannot overflow. rain dt = throughfall + drainage +
// evaporation + (cstore - c0) holds to rounding.
CanopyStep rutter_canopy_step(double c0, double capacity, double ck, double cb, double cover,
                              double rain, double pe, double dt);

// ---- transpiration ---------------------------------------------------------------------

// One vegetation type's soil-water-potential table, rows 1..n at positions 0..n-1.
struct PsiTable {
  std::span<const double> psi;    // m, ascending
  std::span<const double> rc;     // canopy resistance, s/m (ET mode 2)
  std::span<const double> ratio;  // actual / potential transpiration (ET mode 3)
};
PsiTable psi_table_of(const SurfaceState& surface, int v);

struct CellDemand {
  double q = 0.0;   // potential transpiration of the cell, mm/s
  double rc = 0.0;  // the canopy resistance the type carries on (mode 2 rewrites it)
};

// Potential transpiration of a cell at pressure head h (m) by ET mode: 2 canopy
// resistance from the table, 3 ratio of actual to potential from the table, any
// other mode the constant canopy resistance `rc`. A mode-2 table without rows keeps
// `rc`.
CellDemand cell_transpiration_demand(int et_mode, double h, const PsiTable& table, double rc,
                                     double ra, double n, double pe, double del);

// The cells of a root zone counted down from the top cell LL.
struct RootZone {
  int cells = 0;     // cells LL, LL - 1, ..., LL - cells + 1
  bool cut = false;  // the zone reached below the column's bottom cell and was cut there
};

// Root zone of `rdf_rows` cells (a bank element: at least down to the cell above its
// link's bed cell `bank_bed_cell`), cut at the column's bottom cell. A column without
// cells (bottom cell above LL) has an empty zone, and that is not a cut.
RootZone root_zone(int rdf_rows, int LL, int bottom_cell, bool bank, int bank_bed_cell);

// ---- ponded water ----------------------------------------------------------------------

struct PondedWater {
  double surface_water_evap = 0.0;  // m/s
  double soil_evap = 0.0;           // m/s
};

// Evaporation from ponded water of depth `depth` (m) over `dt` s, given the element's
// net rainfall and remaining potential evaporation (m/s) and its soil evaporation so
// far: the pond evaporates at the potential rate; when it would run dry within the
// step, the shortfall is taken from the soil if `top_cell_can_evaporate`.
PondedWater ponded_water_evaporation(double depth, double pnetto, double potential_evap,
                                     double dt, double soil_evap, bool top_cell_can_evaporate);

// ---- the step ----------------------------------------------------------------------------

// Sets DTUZ = UZNEXT x 3600 and advances ET_CLOCK by UZNEXT, then computes the ET of
// every column element NGDBGN..NEL: PNETTO, DRAINA, ET_POTENTIAL_EVAP, ET_CANOPY_EVAP,
// ET_TRANSPIRATION, ET_SOIL_EVAP, ET_SURFACE_WATER_EVAP, ET_GROUND_EVAP (m/s) and
// ET_ROOT_UPTAKE per root cell; carries the canopy store and, in ET mode 2 and for
// variable RA, the type's RC and RA. Warning 4999 (once per run) when a root zone
// reaches below its column. Without subsurface cells no cell is read or written and
// transpiration and soil evaporation are zero.
void ET_TIME_STEP(FrameState& frame, const SubsurfaceState& subsurface, SurfaceState& surface,
                  RunIo& io);
void ET_TIME_STEP(Model& model);

}  // namespace quendal
