#include "subsurface/soil_tables.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/stops.h"
#include "subsurface/column_inputs.h"
#include "services/units.h"
#include "subsurface/vss_data_file.h"

namespace quendal {
namespace {

constexpr double WETTEST_HEAD = 1.0e6;   // m, table point 1
constexpr double DRIEST_HEAD = -1.0e6;   // m, table point N
constexpr double EULER = 2.718281828;    // the exponential soil's base, as the data assume
// How sharply theta's slope must rise, from a stretch below saturation to the next drier
// interval, for that stretch to count as level. Between neighbouring table points a
// smooth retention curve changes its slope by a factor of about 1.15^n (some 3.5 at the
// wet end of a van Genuchten soil with n = 10); a table that holds theta at saturation
// down to its first row jumps from no slope at all.
constexpr double LEVEL_SLOPE_RATIO = 10.0;

// Effective saturation of moisture content theta.
double effective_saturation(const SubsurfaceState& v, int s, double theta) {
  return (theta - v.SOIL_RESIDUAL_THETA(s)) / (v.THSAT(s) - v.SOIL_RESIDUAL_THETA(s));
}

// The spline of a tabulated soil's theta column (as a fraction of THSAT) in its
// interval i, at x = log10(-psi).
double table_spline(const SubsurfaceState& v, int s, int i, double x) {
  const double xi = std::log10(-v.SOIL_TABLE_PSI(i, s));
  const double xj = std::log10(-v.SOIL_TABLE_PSI(i + 1, s));
  const double h = xj - xi;
  const double a = (xj - x) / h;
  const double b = (x - xi) / h;
  return a * v.SOIL_TABLE_THETA(i, s) + b * v.SOIL_TABLE_THETA(i + 1, s) +
         ((a * a * a - a) * v.SOIL_TABLE_THETA_D2(i, s) +
          (b * b * b - b) * v.SOIL_TABLE_THETA_D2(i + 1, s)) *
             h * h / 6.0;
}

// The table point where a stretch of theta held level from saturation ends: the first
// point below saturation whose drier interval is more than LEVEL_SLOPE_RATIO times as
// steep as every interval wetter than it; 0 where there is none.
int level_stretch_end(const SubsurfaceState& v, int s) {
  const int n = v.SOIL_TABLE_POINTS;
  const auto slope = [&](int j) {
    return (v.VSPTHE(j + 1, s) - v.VSPTHE(j, s)) / (v.VSPPSI(j + 1) - v.VSPPSI(j));
  };
  double wetter = 0.0;  // the steepest slope from saturation down to point j
  for (int j = 5; j < n; ++j) {
    wetter = std::max(wetter, slope(j - 1));
    if (slope(j) > LEVEL_SLOPE_RATIO * wetter) return j;
  }
  return 0;
}

// Soil type 4 has no tables: the run stops before any step, naming where it is used.
void refuse_soil_type_4(const SubsurfaceState& v, RunIo& io) {
  for (int s = 1; s <= v.NS; ++s) {
    if (v.SOIL_FUNCTION_TYPE(s) != SOIL_NOT_AVAILABLE) continue;
    int element = 0, layer = 0;
    for (int e = 1; e <= v.NLYR.size() && element == 0; ++e) {
      for (int k = 1; k <= v.NLYR(e); ++k) {
        if (v.NTSOIL(e, k) == s) {
          element = e;
          layer = k;
          break;
        }
      }
    }
    std::string text = "UNFINISHED code for soil properties type 4: soil" + edit_integer(s, 5);
    text += element > 0 ? ", element" + edit_integer(element, 6) + ", layer" + edit_integer(layer, 3)
                        : ", used by no layer";
    REPORT_ERROR(io, SEVERITY_FATAL, VSS_SOIL_TYPE_4_ERROR, PRINT_UNIT, element, 0, text);
  }
}

void print_tables(const SubsurfaceState& v, RunIo& io) {
  RecordSink& out = io.units.print();
  const int n = v.SOIL_TABLE_POINTS;
  out.write_record("");
  write_formatted(out, "(3X,'VSS physical soil/lithology property data')");
  write_formatted(out, "(3X,41('='))");
  write_formatted(out, "(3X,I3,' soils')", v.NS);
  write_formatted(out, "(3X,I3,' values in soil property tables')", n);
  for (int s = 1; s <= v.NS; ++s) {
    out.write_record("");
    write_formatted(out, "(3X,'  Soil property tables for soil/lithology type: ',I3)", s);
    write_formatted(out, "(5X,49('-'))");
    out.write_record("");
    write_formatted(out, "(3X,7A14)", "psi", "theta", "eta", "Kr", "d(the)/d(psi)",
                    "d(eta)/d(psi)", "d(Kr)/d(psi)");
    write_formatted(out, "(3X,7A14)", "(VSPPSI)", "(VSPTHE)", "(VSPETA)", "(VSPKR)", "(VSPDTH)",
                    "(VSPDET)", "(VSPDKR)");
    write_formatted(out, "(3X,7(2X,12('-')))");
    for (int j = 1; j <= n; ++j) {
      write_formatted(out, "(I3,7(2X,1PG12.5))", j, v.VSPPSI(j), v.VSPTHE(j, s), v.VSPETA(j, s),
                      v.VSPKR(j, s), v.VSPDTH(j, s), v.VSPDET(j, s), v.VSPDKR(j, s));
    }
  }
}

}  // namespace

[[noreturn]] void soil_table_out_of_range(RunIo& io, const SubsurfaceState& vss, int element,
                                          int cell, bool wet, double head) {
  report_fatal_with_details(
      io, wet ? 1034 : 1035, PRINT_UNIT, element, cell,
      std::string("soil property interpolation out of range ") + (wet ? "(wet)" : "(dry)"),
      column_input_lines(vss, element, cell, &head));
}

SoilPoint van_genuchten(double psi, double theta_s, double theta_r, double n, double alpha) {
  const double a = 100.0 * alpha;  // 1/cm to 1/m
  const double m = 1.0 - 1.0 / n;
  const double u = a * std::fabs(psi);
  const double un = std::pow(u, n);
  const double range = theta_s - theta_r;
  SoilPoint p;
  p.theta = theta_r + range / std::pow(1.0 + un, m);
  p.dtheta = a * n * m * std::pow(u, n - 1.0) * range / std::pow(1.0 + un, m + 1.0);
  // d/dpsi = -a d/du of the above.
  p.d2theta = -a * a * n * m * range *
              ((n - 1.0) * std::pow(u, n - 2.0) / std::pow(1.0 + un, m + 1.0) -
               (m + 1.0) * n * std::pow(u, 2.0 * n - 2.0) / std::pow(1.0 + un, m + 2.0));
  return p;
}

double soil_table_head(int j, int points) {
  switch (j) {
    case 1: return WETTEST_HEAD;
    case 2: return 0.5;
    case 3: return 0.25;
    case 4: return 0.0;
    default: break;
  }
  if (j >= points) return DRIEST_HEAD;
  return -std::pow(10.0, (6.0 * j - 30.0) / points - 2.0);
}

void VSS_BUILD_SOIL_TABLES(SubsurfaceState& v, RunIo& io) {
  refuse_soil_type_4(v, io);
  const int n = v.VSS_SHORT_TABLES ? 100 : 200;
  const int ns = v.NS;
  v.SOIL_TABLE_POINTS = n;
  v.VSPPSI.resize(VSS_TABLE_POINTS_ROOM, 0.0);
  for (Array2<double>* t : {&v.VSPTHE, &v.VSPKR, &v.VSPETA, &v.VSPDTH, &v.VSPDKR, &v.VSPDET}) {
    t->resize(VSS_TABLE_POINTS_ROOM, ns, 0.0);
  }
  for (int j = 1; j <= n; ++j) v.VSPPSI(j) = soil_table_head(j, n);
  v.inverse_table_spacing.resize(VSS_TABLE_POINTS_ROOM, 0.0);
  for (int j = 1; j < n; ++j) v.inverse_table_spacing(j) = 1.0 / (v.VSPPSI(j + 1) - v.VSPPSI(j));

  v.SOIL_LEVEL_END.resize(ns, 0);
  Array1<int> interval(ns, 1);
  Array1<char> held(ns, 0);
  for (int j = 5; j <= n - 1; ++j) {
    const double psi = v.VSPPSI(j);
    for (int s = 1; s <= ns; ++s) {
      const double ts = v.THSAT(s), tr = v.SOIL_RESIDUAL_THETA(s), ss = v.SOIL_SPECIFIC_STORAGE(s);
      switch (v.SOIL_FUNCTION_TYPE(s)) {
        case SOIL_VAN_GENUCHTEN: {
          const SoilPoint p = van_genuchten(psi, ts, tr, v.SOIL_VG_N(s), v.SOIL_VG_ALPHA(s));
          v.VSPTHE(j, s) = p.theta;
          v.VSPDTH(j, s) = p.dtheta;
          v.VSPETA(j, s) = p.theta * ss / ts + p.dtheta;
          // The derivative of eta, so that the column solver's Jacobian matches the
          // storage coefficient it tabulates.
          v.VSPDET(j, s) = ss / ts * p.dtheta + p.d2theta;
          break;
        }
        case SOIL_TABULATED: {
          // The interval moves on by one row at most per table point. Rows that stop
          // short of the driest point leave the soil in its last interval.
          int& i = interval(s);
          const int rows = v.SOIL_TABLE_ROWS(s);
          if (i + 1 < rows && v.SOIL_TABLE_PSI(i + 1, s) > psi) ++i;
          if (psi < v.SOIL_TABLE_PSI(rows, s)) held(s) = 1;
          double theta = ts * table_spline(v, s, i, std::log10(-psi));
          // Beyond its last row the spline is extrapolated: keep it within the soil's range.
          if (held(s)) theta = std::clamp(theta, tr, ts);
          v.VSPTHE(j, s) = theta;
          break;
        }
        case SOIL_EXPONENTIAL: {
          const double alpha = v.SOIL_VG_ALPHA(s);
          const double e = std::pow(EULER, alpha * psi);
          const double dtheta = (ts - tr) * alpha * e;
          v.VSPTHE(j, s) = tr + (ts - tr) * e;
          v.VSPDTH(j, s) = dtheta;
          v.VSPETA(j, s) = v.VSPTHE(j, s) * ss / ts + dtheta;
          v.VSPDET(j, s) = ss / ts * dtheta + alpha * dtheta;
          break;
        }
        default: break;  // function 4 was refused above
      }
    }
  }
  for (int s = 1; s <= ns; ++s) {
    const double ts = v.THSAT(s), tr = v.SOIL_RESIDUAL_THETA(s), ss = v.SOIL_SPECIFIC_STORAGE(s);
    const bool tabulated = v.SOIL_FUNCTION_TYPE(s) == SOIL_TABULATED;
    // The driest point.
    v.VSPTHE(n, s) = tr;
    v.VSPKR(n, s) = v.VSPETA(n, s) = v.VSPDTH(n, s) = v.VSPDKR(n, s) = v.VSPDET(n, s) = 0.0;
    if (tabulated) {
      for (int j = 5; j <= n - 1; ++j) {
        v.VSPDTH(j, s) = (v.VSPTHE(j + 1, s) - v.VSPTHE(j, s)) / (v.VSPPSI(j + 1) - v.VSPPSI(j));
      }
    }
    for (int j = 5; j <= n - 1; ++j) v.VSPETA(j, s) = v.VSPTHE(j, s) * ss / ts + v.VSPDTH(j, s);
    if (tabulated) {
      for (int j = 5; j <= n - 1; ++j) {
        v.VSPDET(j, s) = v.VSPDTH(j, s) * ss / ts +
                         (v.VSPDTH(j + 1, s) - v.VSPDTH(j, s)) / (v.VSPPSI(j + 1) - v.VSPPSI(j));
      }
    }
    // Relative conductivity Se**2 for every soil function, and its derivative
    // 2 Se dSe/dpsi, so that the Jacobian matches the conductivity the tables hold.
    for (int j = 5; j <= n; ++j) {
      const double se = effective_saturation(v, s, v.VSPTHE(j, s));
      v.VSPKR(j, s) = se * se;
      if (j < n) v.VSPDKR(j, s) = 2.0 * se * v.VSPDTH(j, s) / (ts - tr);
    }
    // At and above saturation the pores are full: a cell stores more water only by
    // compression, theta = thetas + Ss psi, with the storage coefficient Ss. (Raising
    // theta from 0 to 0.5 m at the unsaturated slope of the point nearest saturation
    // would book water that no pore holds, 0.185 of the volume in a sandstone of
    // porosity 0.30, which a rising water table would have to fill before its head
    // rose.)
    for (int j = 1; j <= 4; ++j) {
      v.VSPTHE(j, s) = ts + ss * v.VSPPSI(j);
      v.VSPETA(j, s) = ss;
      v.VSPKR(j, s) = 1.0;
      v.VSPDTH(j, s) = j == 4 ? v.VSPDTH(5, s) : 0.0;
      v.VSPDKR(j, s) = j == 4 ? v.VSPDKR(5, s) : 0.0;
      v.VSPDET(j, s) = 0.0;
    }
    v.SOIL_LEVEL_END(s) = level_stretch_end(v, s);
    if (held(s)) {
      write_formatted(io.units.print(),
                      "(' Soil',I5,': table rows end at psi =',1PG12.4,' m; drier heads hold "
                      "the last interval')",
                      s, v.SOIL_TABLE_PSI(v.SOIL_TABLE_ROWS(s), s));
    }
  }
  if (v.VSS_PRINT_SOIL_TABLES) print_tables(v, io);
}

void VSS_INTERPOLATE_SOIL_TABLES(const SubsurfaceState& v, RunIo& io, int element, int first,
                                 int last, std::span<const int> soil, std::span<const double> psi,
                                 std::span<int> index, std::span<double> theta,
                                 std::span<double> eta, std::span<double> kr,
                                 std::span<double> deta, std::span<double> dkr) {
  for (int k = first; k <= last; ++k) {
    const std::size_t c = static_cast<std::size_t>(k - first);
    const CellTableValues p = interpolate_soil_tables(v, io, element, k, soil[c], psi[c], index[c]);
    theta[c] = p.theta;
    kr[c] = p.kr;
    dkr[c] = p.dkr;
    deta[c] = p.deta;
    eta[c] = p.eta;
  }
}

}  // namespace quendal
