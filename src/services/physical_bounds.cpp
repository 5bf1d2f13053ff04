#include "services/physical_bounds.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "services/stops.h"

namespace quendal {

namespace {

using Q = Quantity;

// The bounds leave room above every extreme measured: a value beyond them is a typing
// slip, a shifted column or a wrong unit, never weather or ground that exists.
constexpr PhysicalBound TABLE[] = {
    {Q::AIR_TEMPERATURE, "air temperature", "degC", -90.0, 60.0, false,
     "the coldest air measured is -89.2 degC (Vostok), the hottest 56.7 degC (Death Valley)"},
    {Q::RAINFALL_RATE, "rainfall rate", "mm/h", 0.0, 2000.0, false,
     "rain is never negative; the heaviest minute measured, 31 mm, is 1900 mm/h"},
    {Q::NET_RADIATION, "net radiation", "W/m2", -500.0, 1400.0, false,
     "sunlight above the atmosphere is 1361 W/m2; a surface at night loses a few hundred W/m2"},
    {Q::WIND_SPEED, "wind speed", "m/s", 0.0, 120.0, false,
     "a speed has no sign; the strongest gust measured is 113 m/s"},
    {Q::AIR_PRESSURE, "air pressure", "mbar", 250.0, 1100.0, false,
     "314 mbar on the summit of Everest, 1084 mbar the highest measured at sea level; 0 "
     "in a met file is a pressure not given"},
    {Q::VAPOUR_PRESSURE_SLOPE, "slope of the saturation vapour pressure curve (DEL)",
     "mbar/degC", 0.0, 10.0, false, "9.2 mbar/degC at 60 degC, the hottest air"},
    {Q::VAPOUR_PRESSURE_DEFICIT, "vapour pressure deficit (VPD)", "mbar", 0.0, 200.0, false,
     "a deficit is never negative nor above the saturation vapour pressure, 199 mbar at "
     "60 degC; a met record's VPD is also held to the saturation vapour pressure 20 degC "
     "above its own air temperature"},
    {Q::POTENTIAL_EVAPORATION, "potential evaporation rate", "mm/h", 0.0, 10.0, false,
     "evaporating 10 mm/h takes 6.8 kW/m2, five times full sunlight; a negative value is "
     "read as 0 with warning 4999"},
    {Q::GRID_SPACING, "grid spacing", "m", 0.0, 1.0e6, true,
     "elements have a size, and none is wider than the largest river basins"},
    {Q::ELEVATION, "elevation of the ground, a channel bed or a water level", "m", -1000.0,
     9000.0, false,
     "the lowest dry land lies 430 m below sea level (Dead Sea), the highest summit at 8849 m"},
    {Q::VEGETATION_HEIGHT,
     "vegetation height, zero-plane displacement or leaf-drip fall height", "m", 0.0, 150.0,
     false, "the tallest tree measured is 116 m"},
    {Q::ANEMOMETER_HEIGHT, "anemometer height", "m", 0.0, 1000.0, true,
     "measuring masts and towers are at most a few hundred metres tall"},
    {Q::ROUGHNESS_LENGTH, "roughness length", "m", 0.0, 150.0, true,
     "a fraction of the height of the roughness elements, none taller than the tallest tree"},
    {Q::AERODYNAMIC_RESISTANCE, "aerodynamic resistance (RA)", "s/m", 0.0, 50000.0, true,
     "molecular diffusion alone, through 1 m of still air, gives 45000 s/m"},
    {Q::CANOPY_RESISTANCE, "canopy resistance (RC)", "s/m", 0.0, NO_BOUND, false,
     "a resistance is never negative; closed stomata may give any large value"},
    {Q::CANOPY_STORAGE, "canopy storage capacity (CSTCAP)", "mm", 0.0, 100.0, false,
     "leaves hold a film of water, a few millimetres in the densest forest"},
    {Q::GROUND_COVER, "ground cover of the canopy (PLAI)", "-", 0.0, 1.0, false,
     "a share of the ground"},
    {Q::LEAF_AREA_INDEX, "leaf area index (CLAI)", "-", 0.0, 30.0, false,
     "the densest canopies measured have leaf area indices near 15"},
    {Q::ROOT_FRACTION, "root fraction of a cell (RDF)", "-", 0.0, 1.0, false,
     "a share of the roots"},
    {Q::TRANSPIRATION_RATIO, "ratio of actual to potential transpiration", "-", 0.0, 1.0,
     false, "a plant transpires no more than the potential"},
    {Q::DEGREE_DAY_FACTOR, "degree-day factor (DDF)", "mm/s/degC", 0.0, 0.01, false,
     "factors measured on snow and ice are below 20 mm/day/degC (0.00023 mm/s/degC)"},
    {Q::SNOW_SPECIFIC_GRAVITY, "snow specific gravity (RHOS)", "-", 0.0, 1.0, true,
     "fresh snow is about 0.05, old snow and firn up to 0.9 (ice); no pack is denser than "
     "water"},
    {Q::SNOW_DEPTH, "snow depth", "mm", 0.0, 100000.0, false,
     "the deepest snow cover measured is 11.8 m; a pack of 100 m is a glacier"},
    {Q::SNOW_TEMPERATURE, "snow pack temperature", "degC", -90.0, 0.0, false,
     "a pack is no colder than the coldest air, and melts at 0 degC"},
    {Q::STRICKLER, "Strickler roughness coefficient", "m^(1/3)/s", 0.0, 1000.0, true,
     "the smoothest surfaces (glass, Manning n 0.009) give about 110"},
    {Q::WATER_DEPTH, "surface water depth", "m", 0.0, 2000.0, false,
     "water has no negative depth; the deepest lake is 1642 m deep (Baikal)"},
    {Q::CHANNEL_WIDTH, "channel width", "m", 0.0, 100000.0, false,
     "the widest rivers in flood are a few tens of kilometres across"},
    {Q::CONDUCTIVITY, "saturated hydraulic conductivity", "m/day", 0.0, 100000.0, false,
     "never negative; open gravel conducts about 1 m/s (86400 m/day)"},
    {Q::MOISTURE_CONTENT, "moisture content", "m3/m3", 0.0, 1.0, false,
     "a share of the soil's volume"},
    {Q::SPECIFIC_STORAGE, "specific storage", "1/m", 0.0, 1.0, false,
     "a metre of head releases at most the water that a cubic metre holds"},
    {Q::VAN_GENUCHTEN_ALPHA, "alpha of a van Genuchten or exponential soil",
     "1/cm or 1/m", 0.0, NO_BOUND, true,
     "the inverse of an air-entry suction, which is positive"},
    {Q::DEPTH, "depth or thickness below the ground or a channel bed", "m", 0.0, 13000.0,
     false, "the deepest borehole reaches 12.3 km"},
    {Q::WELL_RATE, "well abstraction rate", "m3/s", -100.0, 100.0, false,
     "the most productive wells yield a few m3/s; negative rates are injection"},
    {Q::DRIP_DIAMETER, "drop diameter of leaf drip", "m", 0.0, 0.01, true,
     "drops larger than about 8 mm break up as they fall"},
    {Q::GRAIN_DIAMETER, "sediment grain diameter", "m", 0.0, 10.0, true,
     "the largest boulders that floods move are a few metres across"},
    {Q::SOIL_DENSITY, "soil density (RHOSO)", "kg/m3", 0.0, 6000.0, true,
     "soil minerals are below 5300 kg/m3 (magnetite); quartz is 2650 kg/m3"},
    {Q::FRACTION, "fraction", "-", 0.0, 1.0, false, "a share of a whole"},
    // A relative concentration is a concentration over a reference the user chooses;
    // the bound is the widest ratio two concentrations that exist can have.
    {Q::CONCENTRATION, "relative concentration", "-", 0.0, 1.0e24, false,
     "a concentration over a reference of one's choice; water holds at most about 1e4 "
     "kg/m3 of any substance and nothing is measured below about 1e-19 kg/m3 (a thousand "
     "atoms in a litre), so no two concentrations are more than 1e23 apart"},
    // The source is read as the flow of water at relative concentration 1 that would
    // bring the same contaminant onto each square metre of ground. The data file gives
    // a negative source no meaning, and a sink at a fixed rate would take contaminant
    // whatever the ground holds, so a source is not negative.
    {Q::SURFACE_SOURCE, "contaminant source at the ground surface", "m/s", 0.0, 1.0e24, false,
     "given as water of relative concentration 1 per m2 and s; a negative source would "
     "take contaminant whatever the ground holds; no more arrives than the most "
     "concentrated water (1e24) at 1 m/s, far faster than any rain (2000 mm/h is "
     "0.00056 m/s) or spill"},
    // The exponent enters every run, linear sorption or not (the capacity is Kd C^(n-1)).
    {Q::FREUNDLICH_EXPONENT, "Freundlich exponent", "-", 0.0, 10.0, true,
     "sorption grows as the concentration to this power and vanishes with it, so the "
     "power is above 0; exponents measured lie between about 0.1 and 2"},
    {Q::DECAY_RATE, "first-order decay rate", "1/s", 0.0, 1000.0, false,
     "a negative rate would make mass; a half-life of 1 ms (693 1/s) empties the "
     "contaminant within the shortest step the model takes (0.18 s), so no faster decay "
     "changes a result"},
    {Q::BED_EXCHANGE, "exchange velocity of the stream-bed layers", "m/s", 0.0, 100.0, false,
     "never negative; exchange with and within the bed is carried by water moving through "
     "it or by the stream's turbulence, neither faster than the stream, and the fastest "
     "floods run at about 10 m/s"},
    // The model adds the coefficient to the water content of a volume of sediment, so it
    // is the volume-based distribution coefficient: the sediment's density times Kd.
    {Q::SORPTION_COEFFICIENT, "sorption coefficient on sediment", "m3/m3", 0.0, 1.0e10, false,
     "what sediment holds over what the same volume of water holds; the strongest sorption "
     "measured (Kd near 1e8 L/kg for the most hydrophobic organics on organic matter, 1e6 "
     "L/kg for actinides on clay) times at most 2.65 kg/L, the grains' own density, stays "
     "below 3e8"},
    {Q::DEAD_SPACE_EXCHANGE, "exchange rate between dynamic region and dead space", "1/s",
     0.0, 1000.0, false,
     "never negative; at 1000 1/s the two regions even out within a millisecond, far inside "
     "the shortest step the model takes (0.18 s), so no faster exchange changes a result"},
    // The spring discharges coefficient x head above its outlet x relative conductivity.
    {Q::SPRING_COEFFICIENT, "spring discharge coefficient", "m2/s", 0.0, NO_BOUND, false,
     "a negative coefficient would make water"},
};

static_assert(sizeof(TABLE) / sizeof(TABLE[0]) == static_cast<std::size_t>(Q::SPRING_COEFFICIENT) + 1,
              "one row per quantity");

bool below_lower(const PhysicalBound& b, double value) {
  return b.lower_open ? !(value > b.lower) : value < b.lower;
}

void check(Quantity quantity, std::string_view item, double value, const FieldPlace& place,
           bool lower_too) {
  const PhysicalBound& b = bound_of(quantity);
  const bool bad = !std::isfinite(value) || value > b.upper || (lower_too && below_lower(b, value));
  if (bad) refuse_at(place, outside_bounds_text(quantity, item, value));
}

}  // namespace

std::span<const PhysicalBound> physical_bounds() { return TABLE; }

const PhysicalBound& bound_of(Quantity quantity) {
  const auto i = static_cast<std::size_t>(quantity);
  if (TABLE[i].quantity != quantity) throw std::logic_error("physical bounds out of order");
  return TABLE[i];
}

bool within_bounds(Quantity quantity, double value) {
  const PhysicalBound& b = bound_of(quantity);
  return std::isfinite(value) && !below_lower(b, value) && !(value > b.upper);
}

std::string value_text(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.7g", value);
  return buffer;
}

std::string range_text(const PhysicalBound& b) {
  const std::string unit = std::string(b.unit) == "-" ? "" : std::string(" ") + b.unit;
  const bool has_lower = std::isfinite(b.lower);
  const bool has_upper = std::isfinite(b.upper);
  if (has_lower && has_upper) {
    return (b.lower_open ? "above " : "") + value_text(b.lower) + " to " + value_text(b.upper) +
           unit;
  }
  if (has_lower) return (b.lower_open ? "above " : "") + value_text(b.lower) + unit +
                        (b.lower_open ? "" : " or more");
  if (has_upper) return value_text(b.upper) + unit + " or less";
  return "any finite value";
}

std::string outside_bounds_text(Quantity quantity, std::string_view item, double value) {
  const PhysicalBound& b = bound_of(quantity);
  const std::string unit = std::string(b.unit) == "-" ? "" : std::string(" ") + b.unit;
  return std::string(item) + " = " + value_text(value) + unit +
         " is outside the physical range of " + b.name + ": " + range_text(b);
}

void refuse_at(const FieldPlace& place, const std::string& problem) {
  throw InputError(place.file, place.record, place.first_column, place.last_column, place.text,
                   problem);
}

void require_within(Quantity quantity, std::string_view item, double value,
                    const FieldPlace& place) {
  check(quantity, item, value, place, true);
}

void require_at_most(Quantity quantity, std::string_view item, double value,
                     const FieldPlace& place) {
  check(quantity, item, value, place, false);
}

}  // namespace quendal
