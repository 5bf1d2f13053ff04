// The snow step: snowfall builds the pack, the degree-day or the energy-budget method
// melts it, and the meltwater reaches the ground in delayed slugs.
//
// The ET step calls SM_ELEMENT_STEP for every column element when snow is on: once
// before the element's interception and evapotranspiration, which decides whether
// they run (SM_ET_FLAG = 1) or the element's ET is zero in this step, and, when they
// ran, once after them, when the pack takes the ET's net rainfall. The pack update
// itself (snowfall, melt, vapour exchange, the new slug and the release of the slugs
// that are due) is SM_MELT, the same on every path.
//
// Water is conserved per element: in mm of water, the pack (SD x specific gravity)
// plus the pending slugs plus the water released equals what was there before plus
// what fell on the pack, less the net sublimation (zero under the degree-day method).
#pragma once

#include "include/frame_state.h"
#include "include/surface_state.h"

namespace quendal {

// Constants of the pack update (the first four held as single-precision values).
constexpr double SM_VON_KARMAN = 0.4000000059604645;
constexpr double SM_GRAVITY = 9.8100004196167;  // m/s2
// Release delay of a slug, hours: d (a + b d), d the pack depth in m after the update.
constexpr double SM_DELAY_LINEAR = 1.4290000200271606;
constexpr double SM_DELAY_QUADRATIC = 0.7447999715805054;
constexpr double SM_DEGREE_DAY_BASE = 2.0;        // deg C: no melt at or below
constexpr double SM_AIR_DENSITY = 1.29;           // kg/m3
constexpr double SM_AIR_HEAT_CAPACITY = 1293.87;  // density times specific heat, J/m3/K
constexpr double SM_WATER_HEAT = 4187.0;          // specific heat of water, J/kg/K
constexpr double SM_ICE_HEAT = 2093.0;            // specific heat of ice, J/kg/K
constexpr double SM_SUBLIMATION_HEAT = 2834000.0; // J/kg
constexpr double SM_FUSION_HEAT = 334000.0;       // J/kg
constexpr double SM_EXTRA_HEAT = 2.0;             // W/m2 added to the net radiation
constexpr double SM_SHALLOW_PACK = 100.0;         // mm: a shallow pack takes the air temperature
constexpr double SM_TEMPERATURE_FLOOR = -50.0;    // deg C

// The working ET quantities of one element that the snow step reads and may change:
// rates in mm/s, the cover as a fraction.
struct SnowEtQuantities {
  double cover = 0.0;         // f: the snow step reduces it for vegetation partly buried
  double net_rainfall = 0.0;  // Pn: net rainfall; after the pack, the water it released
  double soil_evap = 0.0;     // Es: zero under a pack
};

// Met data of the element's site as the pack sees them.
struct SnowWeather {
  double T = 0.0;                   // air temperature, deg C
  double wind = 0.0;                // wind speed, m/s
  double net_radiation = 0.0;       // W/m2
  double vpd = 0.0;                 // vapour pressure deficit, mbar
  double ground_elevation = 0.0;    // ZGRUND of the element, m
};

// Saturation vapour pressure, mbar, over water at and above 0 deg C and over ice below
// (Magnus form): positive at every temperature, 6.112 mbar at 0 deg C.
double saturation_vapour_pressure(double t);

// Air pressure at elevation z (m), mbar.
double snow_air_pressure(double z);

// Degree-day melt, mm of snow: DDF dt (T - 2) above 2 deg C, nothing otherwise.
double degree_day_melt(double ddf, double T, double dt);

// One energy-budget update of a pack of depth `depth` (mm of snow, positive),
// temperature `ts` and specific gravity `rhos`, which receives `snowfall` mm of snow.
struct EnergyBudget {
  double melt = 0.0;         // M, mm of snow (may be negative; the caller floors it)
  double vapour_flux = 0.0;  // V, kg/m2/s from the pack to the air (negative: condensation)
  double ts = 0.0;           // the pack temperature after the step
};
EnergyBudget snow_energy_budget(double depth, double ts, double rhos, double snowfall,
                                const SnowWeather& w, double zus, double zds, double zos,
                                double dt);

// The specific gravity the pack of element e melts with and the water balance measures
// it with: the element's own value when the pack mode is 1 and it is not zero,
// otherwise the run's value.
double SM_ELEMENT_DENSITY(const SurfaceState& surface, int e);

// The water of element e's snow, mm: the pack plus its pending slugs.
double SM_ELEMENT_WATER(const SurfaceState& surface, int e);

// The pack update of element e with W mm of water reaching the pack over `dt` s, at
// `clock` hours on ET_CLOCK (the end of the step). Returns the water released to the
// ground in the step, mm. `sublimated`, when given, receives the pack's net loss to
// vapour in the step, mm of water.
double SM_MELT(SurfaceState& surface, int e, double W, const SnowWeather& weather, double dt,
               double clock, double* sublimated = nullptr);

// The snow step of element e (see the file comment); SM_ET_FLAG is 0 on the first call
// of the element in a step. On the first call with the flag left at 0 the element has
// no ET in the step: the caller zeroes it (and its root uptake) and takes `q`'s net
// rainfall. With the flag set the ET runs with `q`'s cover, and the second call turns
// the ET's net rainfall and soil evaporation into what the pack lets through.
void SM_ELEMENT_STEP(const FrameState& frame, SurfaceState& surface, int e, SnowEtQuantities& q);

}  // namespace quendal
