#include "surface/oc/oc_conveyance.h"

#include <algorithm>
#include <cmath>

namespace quendal {

namespace {

constexpr double FIVE_THIRDS = 5.0 / 3.0;
constexpr double TWO_THIRDS = 2.0 / 3.0;
constexpr double TEN_THIRDS = 10.0 / 3.0;

Conveyance overland_conveyance(double K, double h) {
  if (h < OC_DRY_DEPTH) return {0.0, 0.0};
  if (h < OC_SHALLOW_DEPTH) {
    // A cubic through the origin that meets K h^(5/3) in value and slope at 1 mm keeps
    // the derivative finite as a film of water dries up.
    return {K * TEN_THIRDS * h * h * (4.0 - 1000.0 * h), K * TEN_THIRDS * h * (8.0 - 3000.0 * h)};
  }
  return {K * std::pow(h, FIVE_THIRDS), FIVE_THIRDS * K * std::pow(h, TWO_THIRDS)};
}

// Pair interval k (0-based: pairs k and k + 1) holding depth y: the first interval whose
// upper height is not below y, the last one for depths above the top pair.
int pair_interval(const OcSectionTable& table, double y) {
  int k = 0;
  while (k < table.pairs - 2 && y > table.height[k + 1]) ++k;
  return k;
}

// Conveyance stored in row j of the table.
double row_conveyance(const OcSectionTable& table, int j) {
  if (j <= 1) return 0.0;
  const double y = (j - 1) * table.depth_step;
  return OC_CONVEYANCE(table.strickler, y, OC_CONVEYANCE_CHANNEL, section_area_below(table, y)).C;
}

}  // namespace

Conveyance OC_CONVEYANCE(double K, double h, int form, double r, double s) {
  switch (form) {
    case OC_CONVEYANCE_OVERLAND: return overland_conveyance(K, h);
    case OC_CONVEYANCE_CHANNEL: {
      // The overland form per unit width times the wetted area over the depth: the
      // depth stands in for the hydraulic radius.
      if (h < OC_DRY_DEPTH) return {0.0, 0.0};
      const Conveyance unit = overland_conveyance(K, h);
      return {unit.C * r / h, r * (unit.dC_dh * h - unit.C) / (h * h)};
    }
    case OC_CONVEYANCE_ABOVE_BANK_FULL: {
      const double C = K * r * std::pow(h, TWO_THIRDS);
      return {C, C * (2.0 / (3.0 * h) + s / r)};
    }
    default: return {0.0, 0.0};
  }
}

OcSectionTable build_section_table(std::span<const double> widths, std::span<const double> heights,
                                   double strickler) {
  OcSectionTable table;
  const int n =
      static_cast<int>(std::min({widths.size(), heights.size(), static_cast<std::size_t>(NOCTAB)}));
  table.pairs = n;
  table.strickler = strickler;
  for (int j = 0; j < n; ++j) {
    table.width[j] = widths[j];
    table.height[j] = heights[j];
  }
  table.pair_area[0] = 0.0;
  for (int j = 1; j < n; ++j) {
    table.pair_area[j] = table.pair_area[j - 1] + 0.5 * (table.width[j - 1] + table.width[j]) *
                                                      (table.height[j] - table.height[j - 1]);
  }
  const double top = n > 0 ? table.height[n - 1] : 0.0;
  table.depth_step = top / (NXSCEE - 1);
  table.last_depth = (NXSCEE - 1) * table.depth_step;
  return table;
}

double section_area_below(const OcSectionTable& table, double y) {
  if (table.pairs < 2) return 0.0;
  const int k = pair_interval(table, y);
  const double h0 = table.height[k], h1 = table.height[k + 1];
  const double w0 = table.width[k], w1 = table.width[k + 1];
  const double f = (y - h0) / (h1 - h0);
  // Trapezoid from height h0 up to y under the width interpolated between the pairs.
  return table.pair_area[k] + 0.5 * (y - h0) * ((2.0 - f) * w0 + f * w1);
}

OcSectionRow OC_SECTION_TABLE_ROW(const OcSectionTable& table, int j) {
  OcSectionRow row;
  row.depth = (j - 1) * table.depth_step;
  row.conveyance = row_conveyance(table, j);
  if (j < NXSCEE) row.slope = (row_conveyance(table, j + 1) - row.conveyance) / table.depth_step;
  return row;
}

Conveyance OC_SECTION_TABLE_CONVEYANCE(const OcSectionTable& table, double y, double K, double W,
                                       double A) {
  const double depth = std::max(y, 0.0);
  const double D = table.last_depth;
  // The row position in double first: a depth far above bank-full must not overflow the
  // integer row number.
  const double position = depth / D * (NXSCEE - 1);
  if (position < NXSCEE - 1) {
    const int j = static_cast<int>(position) + 1;
    const OcSectionRow row = OC_SECTION_TABLE_ROW(table, j);
    return {row.conveyance + std::max(depth - row.depth, 0.0) * row.slope, row.slope};
  }
  const double area = std::max(depth - D, 0.0) * W + A;
  return OC_CONVEYANCE(K, depth, OC_CONVEYANCE_ABOVE_BANK_FULL, area, W);
}

}  // namespace quendal
