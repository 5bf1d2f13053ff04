// The table of physical bounds: where a value is refused and what the refusal says, and
// the README's copy of the table.
#include "services/physical_bounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "services/stops.h"
#include "test_support.h"

namespace quendal {
namespace {

// The README row of one bound: quantity, unit, lowest, highest, why.
std::string readme_row(const PhysicalBound& b) {
  const std::string lowest = std::isfinite(b.lower)
                                 ? (b.lower_open ? "> " : "") + value_text(b.lower)
                                 : std::string("-");
  const std::string highest = std::isfinite(b.upper) ? value_text(b.upper) : std::string("-");
  return "| " + std::string(b.name) + " | " + b.unit + " | " + lowest + " | " + highest + " | " +
         b.why + " |";
}

TEST(PhysicalBounds, TheReadmeHoldsTheTableAsTheCodeHasIt) {
  const std::string readme = testing::read_file(testing::source_dir() + "/README.md");
  std::string table;
  for (const PhysicalBound& b : physical_bounds()) table += readme_row(b) + "\n";
  // On a failure the table to put into the README is printed whole.
  EXPECT_NE(readme.find(table), std::string::npos) << "the README's table should read:\n" << table;
}

TEST(PhysicalBounds, OnlyFiniteValuesWithinTheBoundsPass) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    Quantity quantity;
    double value;
    bool within;
  } cases[] = {
      {Quantity::AIR_TEMPERATURE, -90.0, true},  // bounds themselves are allowed
      {Quantity::AIR_TEMPERATURE, 60.0, true},
      {Quantity::AIR_TEMPERATURE, 60.5, false},
      {Quantity::RAINFALL_RATE, 200.0, true},  // implausible but possible
      {Quantity::RAINFALL_RATE, -0.001, false},
      {Quantity::VEGETATION_HEIGHT, 40.0, true},
      {Quantity::VEGETATION_HEIGHT, -1e39, false},
      {Quantity::GRID_SPACING, 0.0, false},  // an open bound excludes its end
      {Quantity::GRID_SPACING, 1e-3, true},
      {Quantity::CANOPY_RESISTANCE, 1e30, true},  // no upper bound
      {Quantity::WIND_SPEED, std::nan(""), false},
      {Quantity::CANOPY_RESISTANCE, inf, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(within_bounds(c.quantity, c.value), c.within)
        << bound_of(c.quantity).name << " " << c.value;
  }
}

TEST(PhysicalBounds, ARefusalNamesThePlaceTheValueAndTheRange) {
  const FieldPlace place{"met.txt", 12, 37, 48, "1.0E+39"};
  try {
    require_within(Quantity::WIND_SPEED, "wind speed of met site 2", 1e39, place);
    ADD_FAILURE() << "accepted";
  } catch (const InputError& e) {
    EXPECT_EQ(e.file, "met.txt");
    EXPECT_EQ(e.record, 12);
    EXPECT_EQ(e.first_column, 37);
    EXPECT_EQ(e.last_column, 48);
    EXPECT_EQ(std::string(e.what()),
              "wind speed of met site 2 = 1e+39 m/s is outside the physical range of wind "
              "speed: 0 to 120 m/s in file met.txt, record 12, columns 37-48: \"1.0E+39\"");
  }
  // The upper bound alone: a value below the lower bound is left to a numbered check.
  EXPECT_NO_THROW(require_at_most(Quantity::STRICKLER, "STRX", -3.0, place));
  EXPECT_THROW(require_at_most(Quantity::STRICKLER, "STRX", 1e4, place), InputError);
  EXPECT_EQ(range_text(bound_of(Quantity::STRICKLER)), "above 0 to 1000 m^(1/3)/s");
  EXPECT_EQ(range_text(bound_of(Quantity::SPRING_COEFFICIENT)), "0 m2/s or more");
}

}  // namespace
}  // namespace quendal
