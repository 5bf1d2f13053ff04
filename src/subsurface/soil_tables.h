// Soil property tables: for every soil type, the moisture content, storage
// coefficient, relative conductivity and their derivatives by pressure head at a fixed
// set of heads shared by all soils. The soil functions are evaluated only here, once at
// set-up; during the run a cell takes its properties by linear interpolation, starting
// its search from the interval it was found in last.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

#include "include/run_io.h"
#include "include/subsurface_state.h"

namespace quendal {

// A soil function's values at one head below saturation.
struct SoilPoint {
  double theta = 0.0;       // moisture content
  double dtheta = 0.0;      // d(theta)/d(psi), 1/m
  double d2theta = 0.0;     // d2(theta)/d(psi)2, 1/m2 (van Genuchten only)
};

// Van Genuchten retention at head psi < 0 (alpha in 1/cm, as the data file gives it).
SoilPoint van_genuchten(double psi, double theta_s, double theta_r, double n, double alpha);

// The head of table point j (1..points) of a table of `points` points.
double soil_table_head(int j, int points);

// Builds SOIL_TABLE_POINTS, VSPPSI and the six tables from the soil parameters, and
// prints them when VSS_PRINT_SOIL_TABLES is set. A soil of function 4 stops the run
// with fatal VSS_SOIL_TYPE_4_ERROR, naming the first element and layer that use it.
void VSS_BUILD_SOIL_TABLES(SubsurfaceState& vss, RunIo& io);

// A head outside the tables, or not finite: fatal 1034 (wet) or 1035 (dry) naming the
// element and the cell, then the input items that set the cell (column_inputs.h).
[[noreturn]] void soil_table_out_of_range(RunIo& io, const SubsurfaceState& vss, int element,
                                          int cell, bool wet, double head);

// One cell's values from the tables. `slope` is the slope of theta over the cell's
// interval: the derivative of the interpolated theta itself, which is what a storage
// booked as a change of that theta changes by per metre of head.
struct CellTableValues {
  double theta, eta, kr, deta, dkr, slope;
};

// Interpolates soil s's tables at head x for cell k of `element`, starting the search
// from the cell's last interval `index` (updated). A column solve calls this for every
// cell and iteration, so it is inline; the batch form below is this in a loop.
inline CellTableValues interpolate_soil_tables(const SubsurfaceState& v, RunIo& io, int element,
                                               int k, int s, double x, int& index) {
  const int n = v.SOIL_TABLE_POINTS;
  const double* grid = v.VSPPSI.data() - 1;  // grid[j], j = 1..n
  // A head that is not finite has no place in the tables; it must not pass as a stale
  // interval.
  if (!std::isfinite(x)) soil_table_out_of_range(io, v, element, k, x > 0.0, x);
  int lo, hi;
  const int start = index;
  if (start < 1 || start > n) {
    lo = 0;
    hi = n + 1;
  } else if (grid[start] >= x) {
    lo = start;
    hi = start + 1;
    int step = 1;
    while (hi <= n && x <= grid[hi]) {
      step *= 2;
      lo = hi;
      hi += step;
    }
    if (hi > n) hi = n + 1;
  } else {
    hi = start;
    lo = start - 1;
    int step = 1;
    while (lo > 0 && x > grid[lo]) {
      hi = lo;
      lo -= 2 * step;
      step *= 2;
    }
    if (lo <= 0) lo = 0;
  }
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (grid[mid] > x) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  const int i = std::clamp(lo, 1, n - 1);
  index = i;
  // A head beyond the wettest or the driest point (the grid falls from wet to dry).
  if (!(x <= grid[1] && x >= grid[n])) soil_table_out_of_range(io, v, element, k, x > grid[1], x);
  // The place within the interval, held to it against the rounding of the product.
  const double inverse_spacing = v.inverse_table_spacing.data()[i - 1];
  const double t = std::clamp((x - grid[i]) * inverse_spacing, 0.0, 1.0);
  // The six tables share one shape: points i and i + 1 of soil s lie at the same place
  // in each.
  const std::ptrdiff_t at_i = &v.VSPTHE(i, s) - v.VSPTHE.data();
  auto at = [&](const Array2<double>& table) {
    const double* p = table.data() + at_i;
    return p[0] + t * (p[1] - p[0]);
  };
  const double* theta = v.VSPTHE.data() + at_i;
  return {at(v.VSPTHE), v.VSPETA.data()[at_i + 1], at(v.VSPKR), at(v.VSPDET), at(v.VSPDKR),
          (theta[1] - theta[0]) * inverse_spacing};
}

// Interpolates the tables for the cells first..last of `element`: entry i of each span
// belongs to cell first + i. Reads each cell's soil and head and its last interval
// (`index`, updated); writes theta, eta (taken at the drier point of the interval), Kr
// and the derivatives of eta and Kr. A head outside -1e6..1e6 m, or not finite, ends
// the run with fatal 1034 (wet) or 1035 (dry) naming the element and the cell.
void VSS_INTERPOLATE_SOIL_TABLES(const SubsurfaceState& vss, RunIo& io, int element, int first,
                                 int last, std::span<const int> soil, std::span<const double> psi,
                                 std::span<int> index, std::span<double> theta,
                                 std::span<double> eta, std::span<double> kr,
                                 std::span<double> deta, std::span<double> dkr);

}  // namespace quendal
