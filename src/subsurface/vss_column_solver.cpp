#include "subsurface/vss_column_solver.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/predicates.h"
#include "services/solvers.h"
#include "services/stops.h"
#include "services/units.h"
#include "subsurface/soil_tables.h"
#include "subsurface/vss_data_file.h"

namespace quendal {
namespace {

constexpr int ROOM = MAX_CELLS_PER_COLUMN + 2;  // cells 1..LL and one above the top

// The work of one call, rebuilt in every iteration; on the stack, so a call allocates
// nothing. Indexed by cell number.
struct Work {
  double eta[ROOM], deta[ROOM], dkr[ROOM];
  double H[ROOM];
  double F[ROOM], G[ROOM], D[ROOM];  // interface k: between cells k - 1 and k
  double SC[ROOM], SD[ROOM];
  double KK[4][ROOM], KD[4][ROOM];
  double C1[4][ROOM], dC1[4][ROOM], Hs[4][ROOM];
  double R[ROOM], lower[ROOM], diag[ROOM], upper[ROOM], dpsi[ROOM];
  double exchange[ROOM];  // conductance to the channel water over one face
};

// Column data that stays fixed over the call.
struct Column {
  const FrameState& frame;
  const SurfaceState& surface;
  SubsurfaceState& vss;
  RunIo& io;
  int e, kb, ll;
  double area, dt;
};

[[noreturn]] void not_finite(RunIo& io, int e, int k, const char* what) {
  REPORT_ERROR(io, SEVERITY_FATAL, VSS_NOT_FINITE_ERROR, PRINT_UNIT, e, k,
               std::string("VSS column solver: ") + what + " is not finite");
  throw FatalError("VSS column solver: not finite");  // not reached
}

double soil_k_for_face(const SubsurfaceState& vss, int soil, int face) {
  return face == 1 || face == 3 ? vss.SOIL_KX(soil) : vss.SOIL_KY(soil);
}

// Vertical conductances of the interfaces kb+1..LL (F of interface k joins cells k - 1
// and k) and their derivatives.
void vertical_conductances(const Column& c, Work& w) {
  const SubsurfaceState& v = c.vss;
  const double p = v.VERTICAL_MEAN_EXPONENT;
  w.F[c.kb] = w.G[c.kb] = w.D[c.kb] = 0.0;
  w.F[c.ll + 1] = w.G[c.ll + 1] = w.D[c.ll + 1] = 0.0;
  for (int k = c.kb; k < c.ll; ++k) {
    const double kz0 = v.SOIL_KZ(v.CELL_SOIL_TYPE(k, c.e));
    const double kz1 = v.SOIL_KZ(v.CELL_SOIL_TYPE(k + 1, c.e));
    const double kr0 = v.CELL_KR(k, c.e), kr1 = v.CELL_KR(k + 1, c.e);
    const double dz0 = v.CELL_THICKNESS(k, c.e), dz1 = v.CELL_THICKNESS(k + 1, c.e);
    double F = 0.0, G = 0.0, D = 0.0;
    if (IS_ZERO(p)) {
      const double c0 = kz0 * kr0 * 2.0 * c.area / dz0, c1 = kz1 * kr1 * 2.0 * c.area / dz1;
      const double d0 = kz0 * w.dkr[k] * 2.0 * c.area / dz0;
      const double d1 = kz1 * w.dkr[k + 1] * 2.0 * c.area / dz1;
      const double sum = c0 + c1;
      // Two dry cells conduct nothing (and the series form would be 0/0).
      if (sum > 0.0) {
        F = c0 * c1 / sum;
        G = (c0 / sum) * (c0 / sum) * d1;
        D = (c1 / sum) * (c1 / sum) * d0;
      }
    } else if (IS_ONE(p)) {
      const double a = c.area / (dz0 + dz1);
      F = (kz0 * kr0 + kz1 * kr1) * a;
      G = kz1 * w.dkr[k + 1] * a;
      D = kz0 * w.dkr[k] * a;
    } else {
      const double a = c.area / (dz0 + dz1);
      const double w0 = std::pow(kz0 * kr0, p), w1 = std::pow(kz1 * kr1, p);
      const double m = 0.5 * (w0 + w1);
      if (m > 0.0) {
        F = std::pow(m, 1.0 / p) * 2.0 * a;
        if (w1 > 0.0) G = std::pow(m / w1, (1.0 - p) / p) * kz1 * w.dkr[k + 1] * a;
        if (w0 > 0.0) D = std::pow(m / w0, (1.0 - p) / p) * kz0 * w.dkr[k] * a;
      }
    }
    w.F[k + 1] = F;
    w.G[k + 1] = G;
    w.D[k + 1] = D;
  }
  for (int k = c.kb; k <= c.ll; ++k) {
    w.SC[k] = w.F[k] + w.F[k + 1];
    w.SD[k] = w.G[k] + w.D[k + 1];
  }
}

// The mean of two face conductances by the lateral mean exponent q, and its
// derivative by the own value t. q = 0 (which the power form cannot take) is the
// harmonic mean, as the series form of the vertical conductances.
void lateral_mean(double q, double t, double t1, double& m, double& dm) {
  if (IS_ONE(q)) {
    m = 0.5 * (t + t1);
    dm = 0.5;
  } else if (IS_ZERO(q)) {
    const double s = t + t1;
    m = s > 0.0 ? 2.0 * t * t1 / s : 0.0;
    dm = s > 0.0 ? 2.0 * t1 * t1 / (s * s) : 0.0;
  } else {
    const double s = 0.5 * (std::pow(t, q) + std::pow(t1, q));
    m = s > 0.0 ? std::pow(s, 1.0 / q) : 0.0;
    dm = t > 0.0 && m > 0.0 ? 0.5 * std::pow(m / t, 1.0 - q) : 0.0;
  }
}

// Lateral conductances to the neighbours' cells, with the neighbour heads.
void lateral_conductances(const Column& c, Work& w) {
  const SubsurfaceState& v = c.vss;
  const FrameState& fr = c.frame;
  const int first = fr.BANKS_ON ? 1 : fr.NLF + 1;
  for (int j = 1; j <= 4; ++j) {
    const int f = j - 1;
    for (int k = c.kb; k <= c.ll; ++k) {
      const double kdir = soil_k_for_face(v, v.CELL_SOIL_TYPE(k, c.e), j);
      w.KK[f][k] = kdir * v.CELL_KR(k, c.e);
      w.KD[f][k] = kdir * w.dkr[k];
      w.C1[f][k] = w.dC1[f][k] = 0.0;
    }
    const int n = fr.ICMREF(c.e, j, 2);
    if (n < first || v.VSS_BOUNDARY_CODE(1 + j, c.e) == 9) continue;
    const int b = fr.ICMREF(c.e, j, 3);
    const double L = fr.DHF(c.e, j) + fr.DHF(n, b);
    // Cells that face two cells of a neighbour are refused at set-up: every connected
    // cell faces exactly one cell, so only the first of the two conductances exists.
    for (int k = c.kb; k <= c.ll; ++k) {
      const int s = v.CELL_FACE_CELL(j, k, c.e);
      if (s == 0) continue;
      const double a = v.CELL_FACE_AREA(j, k, c.e);
      const double t = w.KK[f][k] * a;
      const double t1 = soil_k_for_face(v, v.CELL_SOIL_TYPE(s, n), b) * v.CELL_KR(s, n) *
                        v.CELL_FACE_AREA(b, s, n);
      double m = 0.0, dm = 0.0;
      lateral_mean(v.LATERAL_MEAN_EXPONENT, t, t1, m, dm);
      w.C1[f][k] = m / L;
      w.dC1[f][k] = dm / L * w.KD[f][k] * a;
      w.Hs[f][k] = v.CELL_ELEVATION(s, n) + v.vspsi(s, n);
      w.SC[k] += w.C1[f][k];
      w.SD[k] += w.dC1[f][k];
    }
  }
}

// The cells of entry i of a lateral boundary's layer range, for a category listing
// `count` layers (0: the whole column).
void entry_cells(const Column& c, const VssBoundaryLayers& b, int g, int i, int& lo, int& hi) {
  if (b.count(g) <= 0) {
    lo = c.kb;
    hi = c.ll;
    return;
  }
  const int layer = b.layers(i, g);
  lo = c.vss.LAYER_BOTTOM_CELL(c.e, layer);
  hi = layer >= c.vss.NLYR(c.e) ? c.ll : c.vss.LAYER_BOTTOM_CELL(c.e, layer + 1) - 1;
}

// Well or spring of the column.
void point_term(const Column& c, Work& w) {
  SubsurfaceState& v = c.vss;
  const int code = v.VSS_BOUNDARY_CODE(6, c.e);
  if (code == 2) {
    const int cell = v.SPRING_CELL(c.e);
    const double E = w.H[cell] - v.SPRING_LEVEL(c.e);
    const double coef = v.SPRING_COEFFICIENT(c.e);
    if (IS_NON_NEGATIVE(E)) {
      const double q = E * v.CELL_KR(cell, c.e) * coef;
      w.R[cell] -= q;
      w.diag[cell] -= coef * (v.CELL_KR(cell, c.e) + E * w.dkr[cell]);
      v.SPRING_DISCHARGE(c.e) = q;
    } else {
      v.SPRING_DISCHARGE(c.e) = 0.0;
    }
    return;
  }
  if (code != 1) return;
  const int well = v.WELL_NUMBER(c.e);
  const double Q = v.WELL_RATE(v.WELL_SERIES_COLUMN(c.e));
  const int lo = v.WELL_SCREEN_BOTTOM_CELL(c.e), hi = v.WELL_SCREEN_TOP_CELL(c.e);
  double W = 0.0;
  for (int k = lo; k <= hi; ++k) {
    const int s = v.CELL_SOIL_TYPE(k, c.e);
    W += 0.5 * (v.SOIL_KX(s) + v.SOIL_KY(s)) * v.CELL_THICKNESS(k, c.e);
  }
  for (int k = lo; k <= hi; ++k) {
    double a = 0.0;
    // A screen in cells that conduct nothing pumps nothing.
    if (W > 0.0) {
      const int s = v.CELL_SOIL_TYPE(k, c.e);
      const double wk = 0.5 * (v.SOIL_KX(s) + v.SOIL_KY(s)) * v.CELL_THICKNESS(k, c.e);
      const double above = k < c.ll ? v.CELL_THICKNESS(k + 1, c.e) : 0.0;
      const double mean = 0.5 * (v.CELL_THICKNESS(k, c.e) + above);
      const double phi = std::min(std::max(v.vspsi(k, c.e), 0.0), mean) / mean;
      a = Q * wk / W * phi;
    }
    w.R[k] -= a;
    v.CELL_WELL_ABSTRACTION(k, well) = a / c.area;
  }
}

// Face j's boundary kind.
void face_term(const Column& c, Work& w, int j) {
  SubsurfaceState& v = c.vss;
  const FrameState& fr = c.frame;
  const int f = j - 1;
  const int kind = v.VSS_BOUNDARY_CODE(1 + j, c.e);
  const int g = v.LATERAL_BOUNDARY_CATEGORY(c.e);
  switch (kind) {
    case VSS_LATERAL_FLOW: {
      const int entries = std::max(v.LFB.count(g), 1);
      for (int i = 1; i <= entries; ++i) {
        int lo, hi;
        entry_cells(c, v.LFB, g, i, lo, hi);
        double W = 0.0;
        for (int k = lo; k <= hi; ++k) W += w.KK[f][k] * v.CELL_THICKNESS(k, c.e);
        for (int k = lo; k <= hi; ++k) {
          const double a = W > 0.0 ? v.LFB_VALUE(i, g) * w.KK[f][k] * v.CELL_THICKNESS(k, c.e) / W
                                   : 0.0;
          w.R[k] += a;
          v.CELL_LATERAL_FLOW(j, k, c.e) = a;
        }
      }
      break;
    }
    case VSS_LATERAL_HEAD: {
      const double base = v.LHB_AS_LEVELS ? 0.0 : fr.ZGRUND(c.e);
      const double sign = v.LHB_AS_LEVELS ? 1.0 : -1.0;
      const int entries = std::max(v.LHB.count(g), 1);
      for (int i = 1; i <= entries; ++i) {
        int lo, hi;
        entry_cells(c, v.LHB, g, i, lo, hi);
        const double Hb = sign * v.LHB_VALUE(i, g) + base;
        for (int k = lo; k <= hi; ++k) {
          const double X = v.CELL_FACE_AREA(j, k, c.e) / fr.DHF(c.e, j);
          const double flow = w.KK[f][k] * X * (Hb - w.H[k]);
          w.R[k] += flow;
          w.diag[k] += -w.KK[f][k] * X + (Hb - w.H[k]) * X * w.KD[f][k];
          v.CELL_LATERAL_FLOW(j, k, c.e) = flow;
        }
      }
      break;
    }
    case VSS_LATERAL_HEAD_GRADIENT:
      c.io.units.console().write_record(" unfinished code for boundary type 5 - head gradients");
      break;
    case 9:
    case 10: {
      const int n = fr.ICMREF(c.e, j, 2);
      int lo = c.kb;
      if (kind == 10) {
        const int side = fr.ICMREF(c.e, 1, 1);
        lo = v.LINK_BED_CELL(fr.ICMREF(c.e, 4, 1), side) + 1;
      }
      const double hn = c.surface.GET_HRF(n);
      const double avail = v.AVAILABLE_PONDED_DEPTH(n);
      const double X = 1.0 / fr.DHF(c.e, j);
      double inflow = 0.0;
      for (int k = lo; k <= c.ll; ++k) {
        const double dH = hn - w.H[k];
        double phi = 1.0;
        if (IS_POSITIVE(dH)) phi = std::min(1.0, avail / v.CELL_THICKNESS(k, c.e));
        const double C = phi * v.CELL_FACE_AREA(j, k, c.e) * X * w.KK[f][k];
        w.exchange[k] = C;
        if (dH > 0.0) inflow += C * dH;
      }
      // The channel gives the soil on this side no more than half the water it holds
      // (the other half is for the other side) over the step.
      const double can_give =
          kind == 9 ? 0.5 * std::max(c.surface.ARXL(n), 0.0) * fr.CLENTH(n) / c.dt : inflow;
      const double scale = inflow > can_give ? can_give / inflow : 1.0;
      for (int k = lo; k <= c.ll; ++k) {
        const double dH = hn - w.H[k];
        const double C = dH > 0.0 ? scale * w.exchange[k] : w.exchange[k];
        w.R[k] += C * dH;
        w.diag[k] -= C;
        v.CELL_LATERAL_FLOW(j, k, c.e) = C * dH;
      }
      break;
    }
    default:
      break;
  }
}

// The base of the column.
void base_term(const Column& c, Work& w) {
  SubsurfaceState& v = c.vss;
  const int g = v.BASE_BOUNDARY_CATEGORY(c.e);
  double flow = 0.0, derivative = 0.0;
  switch (v.VSS_BOUNDARY_CODE(1, c.e)) {
    case VSS_BASE_FLOW:
      flow = v.BFB_VALUE(g);
      break;
    case VSS_BASE_HEAD: {
      const double Kb = v.SOIL_KZ(v.CELL_SOIL_TYPE(c.kb, c.e)) / (0.5 * v.CELL_THICKNESS(c.kb, c.e));
      const double dH = v.BHB_VALUE(g) - w.H[c.kb];
      const double kr = v.CELL_KR(c.kb, c.e);
      flow = Kb * kr * dH;
      derivative = Kb * (w.dkr[c.kb] * dH - kr);
      break;
    }
    default:
      break;
  }
  w.R[c.kb] += c.area * flow;
  w.diag[c.kb] += c.area * derivative;
  v.CELL_VERTICAL_FLOW(c.kb - 1, c.e) = flow;
}

// One Newton iteration: assembles and solves; returns the largest head change.
double iterate(const Column& c, Work& w) {
  SubsurfaceState& v = c.vss;
  const int e = c.e, kb = c.kb, ll = c.ll;
  const std::size_t n = static_cast<std::size_t>(ll - kb + 1);
  VSS_INTERPOLATE_SOIL_TABLES(v, c.io, e, kb, ll, {&v.CELL_SOIL_TYPE(kb, e), n},
                              {&v.vspsi(kb, e), n}, {&v.CELL_TABLE_INDEX(kb, e), n},
                              {&v.CELL_THETA(kb, e), n}, {&w.eta[kb], n}, {&v.CELL_KR(kb, e), n},
                              {&w.deta[kb], n}, {&w.dkr[kb], n});
  vertical_conductances(c, w);
  lateral_conductances(c, w);
  for (int k = kb; k <= ll; ++k) w.H[k] = v.vspsi(k, e) + v.CELL_ELEVATION(k, e);
  w.H[kb - 1] = w.H[kb];
  w.H[ll + 1] = w.H[ll];

  // Storage, vertical and lateral flow, sources.
  for (int k = kb; k <= ll; ++k) {
    const double S = c.area * v.CELL_THICKNESS(k, e) / c.dt;
    double R = w.F[k] * (w.H[k - 1] - w.H[k]) + w.F[k + 1] * (w.H[k + 1] - w.H[k]) -
               S * (v.CELL_THETA(k, e) - v.CELL_THETA_START(k, e)) + v.CELL_SOURCE_RATE(k, e);
    double diag = w.D[k + 1] * w.H[k + 1] + w.G[k] * w.H[k - 1] - w.SD[k] * w.H[k] - w.SC[k] -
                  S * w.eta[k];
    for (int f = 0; f < 4; ++f) {
      if (w.C1[f][k] == 0.0 && w.dC1[f][k] == 0.0) continue;
      R += w.C1[f][k] * (w.Hs[f][k] - w.H[k]);
      diag += w.dC1[f][k] * w.Hs[f][k];
    }
    w.R[k] = R;
    w.diag[k] = diag;
    w.lower[k] = w.F[k] + (w.H[k - 1] - w.H[k]) * w.D[k];
    w.upper[k] = w.F[k + 1] + (w.H[k + 1] - w.H[k]) * w.G[k + 1];
  }

  // Exchange with the surface water at the top cell: infiltration is limited to the
  // water available over the step.
  {
    const double dz = v.CELL_THICKNESS(ll, e);
    const double Ktop = v.SOIL_KZ(v.CELL_SOIL_TYPE(ll, e)) / (0.5 * dz);
    const double d = v.AVAILABLE_PONDED_DEPTH(e);
    double up = Ktop * (v.vspsi(ll, e) - 0.5 * dz - std::max(d, 0.0));
    if (-up > d / c.dt) {
      up = -d / c.dt;
    } else {
      w.diag[ll] -= c.area * Ktop;
    }
    w.R[ll] -= c.area * up;
    v.CELL_VERTICAL_FLOW(ll, e) = up;
  }

  point_term(c, w);
  for (int j = 1; j <= 4; ++j) face_term(c, w, j);
  base_term(c, w);

  double rhs[ROOM];
  for (int k = kb; k <= ll; ++k) rhs[k] = -w.R[k];
  SOLVE_TRIDIAGONAL(ConstRealSection(&w.lower[kb], n), ConstRealSection(&w.diag[kb], n),
                    ConstRealSection(&w.upper[kb], n), ConstRealSection(&rhs[kb], n),
                    RealSection(&w.dpsi[kb], n), static_cast<int>(n));
  double largest = 0.0;
  for (int k = kb; k <= ll; ++k) {
    const double change = w.dpsi[k];
    if (!std::isfinite(change)) not_finite(c.io, e, k, "a head change");
    v.vspsi(k, e) += change;
    largest = std::max(largest, std::fabs(change));
  }
  return largest;
}

}  // namespace

void VSS_COLUMN_SOLVER(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
                       RunIo& io, int e, int severity) {
  const int kb = vss.LAYER_BOTTOM_CELL(e, 1), ll = vss.LL;
  if (kb > ll) return;
  const Column c{frame, surface, vss, io, e, kb, ll, frame.AREA(e), frame.DTUZ};
  Work w;
  bool converged = false;
  for (int iteration = 1; iteration <= VSS_MAX_COLUMN_ITERATIONS && !converged; ++iteration) {
    converged = iterate(c, w) <= VSS_HEAD_TOLERANCE;
    vss.newton_iterations += 1;
  }
  vss.column_solves += 1;

  if (severity > 0 && !converged) {
    vss.COLUMN_SOLVER_FAILURES += 1;
    if (vss.COLUMN_SOLVER_FAILURES < SOLVER_MESSAGE_LIMIT) {
      REPORT_ERROR(io, severity, 1036, PRINT_UNIT, e, 0, "Maximum iterations in VSS column solver");
    } else if (vss.COLUMN_SOLVER_FAILURES == SOLVER_MESSAGE_LIMIT) {
      REPORT_ERROR(io, severity, 1036, PRINT_UNIT, e, 0,
                   "**** Last printout of the error message - maximum iterations error in VSS "
                   "column solver *****");
    }
  }

  // Flows of the cells with the final heads and the last conductances.
  for (int k = kb; k <= ll; ++k) w.H[k] = vss.vspsi(k, e) + vss.CELL_ELEVATION(k, e);
  for (int k = kb; k < ll; ++k) {
    const double q = w.F[k + 1] * (w.H[k] - w.H[k + 1]) / c.area;
    if (!std::isfinite(q)) not_finite(io, e, k, "a vertical flow");
    vss.CELL_VERTICAL_FLOW(k, e) = q;
  }
  const int first = frame.BANKS_ON ? 1 : frame.NLF + 1;
  for (int j = 1; j <= 4; ++j) {
    const int n = frame.ICMREF(e, j, 2);
    if (n < first || vss.VSS_BOUNDARY_CODE(1 + j, e) == 9) continue;
    for (int k = kb; k <= ll; ++k) {
      if (vss.CELL_FACE_CELL(j, k, e) == 0) continue;
      const double q = w.C1[j - 1][k] * (w.Hs[j - 1][k] - w.H[k]);
      if (!std::isfinite(q)) not_finite(io, e, k, "a lateral flow");
      vss.CELL_LATERAL_FLOW(j, k, e) = q;
    }
  }

  // Phreatic level: the top of the saturated run from the bottom.
  vss.PHREATIC_LEVEL(e) = column_phreatic_level(vss, e);
}

}  // namespace quendal
