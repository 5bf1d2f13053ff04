// The physical bounds of the values read from the input files.
//
// A value that no catchment on Earth can have (a wind speed of 1e39 m/s, a tree -1e39 m
// tall, snow denser than water, a negative conductivity) is an input error: the run
// stops (exit status 3) with the file, the record, the columns, the text and the
// range allowed. The bounds come from physics and from the extremes measured on Earth,
// with room to spare, so that only the impossible is refused and the merely unusual (a
// 200 mm/h rain, a 40 m tree) is accepted. A value that is not finite is always refused.
//
// Every reader that checks a bound takes it from this one table; the README reproduces
// the table (a test holds the two in step). Values that a data file uses as markers
// (no-data 999999, negative flags, codes that mean "any other value") are handled by
// their readers before a bound applies, and keep their meaning.
#pragma once

#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "services/records.h"

namespace quendal {

enum class Quantity {
  // met data
  AIR_TEMPERATURE,
  RAINFALL_RATE,
  NET_RADIATION,
  WIND_SPEED,
  AIR_PRESSURE,
  VAPOUR_PRESSURE_SLOPE,
  VAPOUR_PRESSURE_DEFICIT,
  POTENTIAL_EVAPORATION,
  // frame
  GRID_SPACING,
  ELEVATION,
  // vegetation
  VEGETATION_HEIGHT,
  ANEMOMETER_HEIGHT,
  ROUGHNESS_LENGTH,
  AERODYNAMIC_RESISTANCE,
  CANOPY_RESISTANCE,
  CANOPY_STORAGE,
  GROUND_COVER,
  LEAF_AREA_INDEX,
  ROOT_FRACTION,
  TRANSPIRATION_RATIO,
  // snow
  DEGREE_DAY_FACTOR,
  SNOW_SPECIFIC_GRAVITY,
  SNOW_DEPTH,
  SNOW_TEMPERATURE,
  // surface water
  STRICKLER,
  WATER_DEPTH,
  CHANNEL_WIDTH,
  // subsurface
  CONDUCTIVITY,
  MOISTURE_CONTENT,
  SPECIFIC_STORAGE,
  VAN_GENUCHTEN_ALPHA,
  DEPTH,
  WELL_RATE,
  // sediment and contaminants
  DRIP_DIAMETER,
  GRAIN_DIAMETER,
  SOIL_DENSITY,
  FRACTION,
  CONCENTRATION,
  SURFACE_SOURCE,
  FREUNDLICH_EXPONENT,
  DECAY_RATE,
  BED_EXCHANGE,
  SORPTION_COEFFICIENT,
  DEAD_SPACE_EXCHANGE,
  // subsurface, read with the spring
  SPRING_COEFFICIENT,
};

constexpr double NO_BOUND = std::numeric_limits<double>::infinity();

struct PhysicalBound {
  Quantity quantity;
  const char* name;    // what the quantity is, as messages and the README say it
  const char* unit;    // "-" for a number without unit
  double lower;        // -NO_BOUND: none
  double upper;        // NO_BOUND: none
  bool lower_open;     // the lower bound itself is not allowed (a length that must be > 0)
  const char* why;
};

// The table, in the order of the enumeration.
std::span<const PhysicalBound> physical_bounds();
const PhysicalBound& bound_of(Quantity quantity);

// True when `value` is finite and within the bounds of `quantity`.
bool within_bounds(Quantity quantity, double value);

// The range as messages show it: "-90 to 60 degC", "above 0 to 1000 m", "0 or more s/m".
std::string range_text(const PhysicalBound& bound);

// A value as messages show it: up to 7 significant digits ("1e+39", "51.1", "-0.003").
std::string value_text(double value);

// Refuses `value`, read at `place`, when it is not finite or lies outside the bounds of
// `quantity`: InputError "<item> = <value> <unit> is outside the physical range of
// <name>: <range>" at the place. `item` names the value in its file ("wind speed of met
// site 1"). The second form checks only the upper bound (and finiteness), for a value
// whose lower bound a numbered error of its component already checks.
void require_within(Quantity quantity, std::string_view item, double value,
                    const FieldPlace& place);
void require_at_most(Quantity quantity, std::string_view item, double value,
                     const FieldPlace& place);

// The problem text of a refusal, for readers that refuse with a text of their own.
std::string outside_bounds_text(Quantity quantity, std::string_view item, double value);

[[noreturn]] void refuse_at(const FieldPlace& place, const std::string& problem);

}  // namespace quendal
