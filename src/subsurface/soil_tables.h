// Soil property tables: for every soil type, the moisture content, storage
// coefficient, relative conductivity and their derivatives by pressure head at a fixed
// set of heads shared by all soils. The soil functions are evaluated only here, once at
// set-up; during the run a cell takes its properties by linear interpolation, starting
// its search from the interval it was found in last.
#pragma once

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
