// Soil property tables and their interpolation, against the closed forms of the soil
// functions and finite differences of the tabulated columns.
#include "subsurface/soil_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "model_fixture.h"
#include "services/stops.h"
#include "subsurface/vss_data_file.h"

namespace quendal {
namespace {

struct SoilTablesTest : testing::ModelWithFiles {
  SubsurfaceState& v = model.subsurface;

  // Soils: 1 van Genuchten (loam), 2 exponential, 3 tabulated down to -100 m only, its
  // first row at -0.01 m holding `first_row` of saturation.
  void set_up_soils(bool short_tables = false, double first_row = 1.0) {
    v.NS = 3;
    v.VSS_SHORT_TABLES = short_tables;
    v.SOIL_FUNCTION_TYPE.resize(3, 0);
    v.SOIL_TABLE_ROWS.resize(3, 0);
    for (Array1<double>* a : {&v.THSAT, &v.SOIL_RESIDUAL_THETA, &v.SOIL_SPECIFIC_STORAGE,
                              &v.SOIL_VG_N, &v.SOIL_VG_ALPHA}) {
      a->resize(3, 0.0);
    }
    for (Array2<double>* a : {&v.SOIL_TABLE_PSI, &v.SOIL_TABLE_THETA, &v.SOIL_TABLE_K,
                              &v.SOIL_TABLE_THETA_D2, &v.SOIL_TABLE_K_D2}) {
      a->resize(VSS_TABLE_ROWS_ROOM, 3, 0.0);
    }
    auto soil = [&](int s, int type, double ts, double tr, double ss, double n, double alpha) {
      v.SOIL_FUNCTION_TYPE(s) = type;
      v.THSAT(s) = ts;
      v.SOIL_RESIDUAL_THETA(s) = tr;
      v.SOIL_SPECIFIC_STORAGE(s) = ss;
      v.SOIL_VG_N(s) = n;
      v.SOIL_VG_ALPHA(s) = alpha;
    };
    soil(1, SOIL_VAN_GENUCHTEN, 0.43, 0.08, 1e-4, 1.56, 0.036);
    soil(2, SOIL_EXPONENTIAL, 0.30, 0.05, 5e-5, 0.0, 1.5);
    soil(3, SOIL_TABULATED, 0.40, 0.05, 1e-4, 0.0, 0.0);
    const double psi[] = {-0.01, -0.1, -1.0, -10.0, -100.0};
    const double theta[] = {first_row, 0.9, 0.6, 0.3, 0.2};
    v.SOIL_TABLE_ROWS(3) = 5;
    std::vector<double> x, y(theta, theta + 5), d2(5);
    for (int r = 1; r <= 5; ++r) {
      v.SOIL_TABLE_PSI(r, 3) = psi[r - 1];
      v.SOIL_TABLE_THETA(r, 3) = theta[r - 1];
      x.push_back(std::log10(-psi[r - 1]));
    }
    natural_spline_second_derivatives(x.data(), y.data(), 5, d2.data());
    for (int r = 1; r <= 5; ++r) v.SOIL_TABLE_THETA_D2(r, 3) = d2[r - 1];
  }

  struct Props {
    double theta, eta, kr, deta, dkr;
    int index;
  };
  Props interpolate(int soil, double psi, int index = 0) {
    Props p{};
    p.index = index;
    VSS_INTERPOLATE_SOIL_TABLES(v, model.io, 7, 3, 3, std::span<const int>(&soil, 1),
                                std::span<const double>(&psi, 1), std::span<int>(&p.index, 1),
                                std::span<double>(&p.theta, 1), std::span<double>(&p.eta, 1),
                                std::span<double>(&p.kr, 1), std::span<double>(&p.deta, 1),
                                std::span<double>(&p.dkr, 1));
    return p;
  }
};

TEST_F(SoilTablesTest, HeadGridSpansSixDecadesBetweenTheFixedEnds) {
  for (int n : {100, 200}) {
    EXPECT_EQ(soil_table_head(1, n), 1e6);
    EXPECT_EQ(soil_table_head(4, n), 0.0);
    EXPECT_DOUBLE_EQ(soil_table_head(5, n), -0.01);
    const double dry = -std::pow(10.0, 4.0 - 36.0 / n);
    EXPECT_NEAR(soil_table_head(n - 1, n), dry, 1e-13 * -dry);  // rounding of 10^x
    EXPECT_EQ(soil_table_head(n, n), -1e6);
  }
  EXPECT_NEAR(soil_table_head(199, 200), -6607.0, 0.5);  // about -6,607 m
  EXPECT_NEAR(soil_table_head(99, 100), -4365.0, 0.5);   // about -4,365 m
}

// The van Genuchten column is the closed form at every grid point, and every
// derivative column agrees with its own column: by the mean-value theorem the slope of
// a column between two grid points lies between the derivatives at those points (the
// derivatives are monotone over one 0.03-decade step; 1% slack covers the turning
// point of the capacity curve).
TEST_F(SoilTablesTest, DerivativesMatchTheirColumns) {
  set_up_soils();
  VSS_BUILD_SOIL_TABLES(v, model.io);
  const int n = v.SOIL_TABLE_POINTS;
  ASSERT_EQ(n, 200);
  for (int j = 5; j <= n - 1; ++j) {
    const double psi = v.VSPPSI(j);
    const double m = 1.0 - 1.0 / 1.56, u = 3.6 * -psi;
    const double closed = 0.08 + 0.35 / std::pow(1.0 + std::pow(u, 1.56), m);
    EXPECT_NEAR(v.VSPTHE(j, 1), closed, 1e-12) << j;
    const double se = (closed - 0.08) / 0.35;
    EXPECT_NEAR(v.VSPKR(j, 1), se * se, 1e-12) << j;
    const double e = std::exp(1.5 * psi);
    EXPECT_NEAR(v.VSPKR(j, 2), e * e, 1e-8) << j;  // the data's e is 2.718281828
  }
  for (int s : {1, 2}) {
    for (int j = 5; j <= n - 2; ++j) {
      auto check = [&](const Array2<double>& column, const Array2<double>& derivative,
                       const char* name) {
        const double slope = (column(j + 1, s) - column(j, s)) / (v.VSPPSI(j + 1) - v.VSPPSI(j));
        const double lo = std::min(derivative(j, s), derivative(j + 1, s));
        const double hi = std::max(derivative(j, s), derivative(j + 1, s));
        const double slack = 0.01 * std::max(std::fabs(lo), std::fabs(hi)) + 1e-15;
        EXPECT_GE(slope, lo - slack) << name << " soil " << s << " point " << j;
        EXPECT_LE(slope, hi + slack) << name << " soil " << s << " point " << j;
      };
      check(v.VSPTHE, v.VSPDTH, "theta");
      check(v.VSPKR, v.VSPDKR, "Kr");
      check(v.VSPETA, v.VSPDET, "eta");
    }
  }
  // The exponential soil's Kr = E^2 has dKr/dpsi = 2 alpha E^2.
  const double e5 = std::pow(2.718281828, 1.5 * -0.01);
  EXPECT_NEAR(v.VSPDKR(5, 2), 2.0 * 1.5 * e5 * e5, 1e-12);
}

TEST_F(SoilTablesTest, SaturatedEndAndDriestPoint) {
  set_up_soils();
  VSS_BUILD_SOIL_TABLES(v, model.io);
  const int n = v.SOIL_TABLE_POINTS;
  for (int s = 1; s <= 3; ++s) {
    // Saturated: the pores full, and water stored by compression alone.
    const double ss = v.SOIL_SPECIFIC_STORAGE(s);
    EXPECT_EQ(v.VSPTHE(4, s), v.THSAT(s));
    EXPECT_DOUBLE_EQ(v.VSPTHE(3, s), v.THSAT(s) + 0.25 * ss);
    EXPECT_DOUBLE_EQ(v.VSPTHE(2, s), v.THSAT(s) + 0.5 * ss);
    EXPECT_DOUBLE_EQ(v.VSPTHE(1, s), v.THSAT(s) + 1e6 * ss);
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(v.VSPETA(j, s), ss);
    EXPECT_LE(v.VSPTHE(5, s), v.THSAT(s));
    EXPECT_EQ(v.VSPTHE(n, s), v.SOIL_RESIDUAL_THETA(s));
    EXPECT_EQ(v.VSPKR(n, s), 0.0);
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(v.VSPKR(j, s), 1.0);
  }
  // The tabulated soil stops at -100 m: drier heads hold the last interval, within the
  // soil's range of moisture content, and the echo says so.
  for (int j = 5; j <= n - 1; ++j) {
    EXPECT_GE(v.VSPTHE(j, 3), 0.05);
    EXPECT_LE(v.VSPTHE(j, 3), 0.40);
  }
  EXPECT_NE(print_text().find("Soil    3: table rows end at psi ="), std::string::npos);
}

// A table that holds theta at saturation down to its first row, at the first table point
// below saturation (-0.01 m), has a level stretch that ends there: beyond it theta falls
// by about 2 theta_s per m of head (the spline through the rows, over the next table
// interval), against nothing above it, or 0.1 theta_s per m for a first row at 0.999
// (20 times less). A first row at 0.99 of saturation falls 1 theta_s per m above the row
// and 1.5 below it: no level stretch; nor in the van Genuchten loam and the exponential
// soil, whose theta falls at once below saturation.
TEST_F(SoilTablesTest, LevelStretchFromSaturationEndsWhereTheTableStartsToFall) {
  struct Case {
    double first_row;
    int end;
  };
  for (bool short_tables : {false, true}) {
    for (const Case& c : {Case{1.0, 5}, Case{0.999, 5}, Case{0.99, 0}}) {
      set_up_soils(short_tables, c.first_row);
      VSS_BUILD_SOIL_TABLES(v, model.io);
      EXPECT_EQ(v.SOIL_LEVEL_END(1), 0);
      EXPECT_EQ(v.SOIL_LEVEL_END(2), 0);
      EXPECT_EQ(v.SOIL_LEVEL_END(3), c.end) << c.first_row;
      EXPECT_EQ(v.VSPPSI(5), -0.01);
      EXPECT_NEAR(v.VSPTHE(5, 3), 0.40 * c.first_row, 1e-15);
    }
  }
}

// Any head from -1e6 to 1e6 m is in range, whatever interval the search starts from;
// the result is the linear interpolation between the two grid points around it.
TEST_F(SoilTablesTest, InterpolationCoversEveryHeadInRange) {
  set_up_soils(true);
  VSS_BUILD_SOIL_TABLES(v, model.io);
  const int n = v.SOIL_TABLE_POINTS;
  for (double psi : {1e6, 1000.0, 0.5, 0.3, 0.0, -0.005, -0.01, -3.3, -4000.0, -5000.0, -1e6}) {
    for (int start : {0, 1, 50, n, n + 1}) {
      const Props p = interpolate(1, psi, start);
      const int i = p.index;
      ASSERT_GE(i, 1);
      ASSERT_LE(i, n - 1);
      EXPECT_GE(psi, v.VSPPSI(i + 1)) << psi;
      EXPECT_LE(psi, v.VSPPSI(i)) << psi;
      const double t = (psi - v.VSPPSI(i)) / (v.VSPPSI(i + 1) - v.VSPPSI(i));
      EXPECT_NEAR(p.theta, v.VSPTHE(i, 1) + t * (v.VSPTHE(i + 1, 1) - v.VSPTHE(i, 1)), 1e-15);
      EXPECT_EQ(p.eta, v.VSPETA(i + 1, 1));
      if (psi >= 0.0) {
        EXPECT_EQ(p.kr, 1.0);
      }
      if (psi > 0.0) {
        EXPECT_EQ(p.eta, v.SOIL_SPECIFIC_STORAGE(1));
      }
    }
  }
}

// The slope a cell gets with its values is the derivative of the theta it gets, so
// that a Jacobian built on it is the derivative of a storage booked on that theta: a
// central difference within the interval (exact for the linear interpolation, up to
// the rounding of the two values: some units in the last place of the larger end value
// of the interval, 1e-15 of it, over the difference step) agrees with it.
TEST_F(SoilTablesTest, SlopeIsTheDerivativeOfTheInterpolatedTheta) {
  set_up_soils();
  VSS_BUILD_SOIL_TABLES(v, model.io);
  for (int s = 1; s <= 3; ++s) {
    for (double psi : {0.7, 0.4, 0.1, -0.005, -0.3, -3.3, -47.0, -2000.0}) {
      int index = 0;
      const CellTableValues p = interpolate_soil_tables(v, model.io, 7, 3, s, psi, index);
      const double h = 1e-3 * std::min(v.VSPPSI(index) - psi, psi - v.VSPPSI(index + 1));
      int i1 = index, i2 = index;
      const double up = interpolate_soil_tables(v, model.io, 7, 3, s, psi + h, i1).theta;
      const double down = interpolate_soil_tables(v, model.io, 7, 3, s, psi - h, i2).theta;
      ASSERT_EQ(i1, index);
      ASSERT_EQ(i2, index);
      const double end = std::max(std::fabs(v.VSPTHE(index, s)), std::fabs(v.VSPTHE(index + 1, s)));
      EXPECT_NEAR(p.slope, (up - down) / (2.0 * h), 1e-15 * end / h)
          << "soil " << s << " psi " << psi;
    }
  }
}

TEST_F(SoilTablesTest, HeadsOutsideTheTablesAreFatal) {
  set_up_soils();
  VSS_BUILD_SOIL_TABLES(v, model.io);
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double psi;
    const char* number;
    const char* side;
  };
  for (const Case& c : {Case{1.0001e6, "1034", "(wet)"}, Case{inf, "1034", "(wet)"},
                        Case{-1.0001e6, "1035", "(dry)"}, Case{-inf, "1035", "(dry)"},
                        Case{std::nan(""), "1035", "(dry)"}}) {
    EXPECT_THROW(interpolate(1, c.psi, 100), FatalError) << c.psi;
    const std::string text = print_text();
    EXPECT_NE(text.find(std::string("FATAL ERROR ") + c.number), std::string::npos) << c.psi;
    EXPECT_NE(text.find(std::string("soil property interpolation out of range ") + c.side),
              std::string::npos);
  }
}

TEST_F(SoilTablesTest, SoilFunctionFourStopsTheSetUp) {
  set_up_soils();
  v.SOIL_FUNCTION_TYPE(2) = SOIL_NOT_AVAILABLE;
  v.NLYR.resize(5, 0);
  v.NTSOIL.resize(5, NLYREE, 0);
  v.NLYR(4) = 2;
  v.NTSOIL(4, 1) = 1;
  v.NTSOIL(4, 2) = 2;
  EXPECT_THROW(VSS_BUILD_SOIL_TABLES(v, model.io), FatalError);
  EXPECT_NE(print_text().find("UNFINISHED code for soil properties type 4: soil    2, element     4,"
                              " layer  2"),
            std::string::npos);
}

}  // namespace
}  // namespace quendal
