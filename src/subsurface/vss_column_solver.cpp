#include "subsurface/vss_column_solver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/predicates.h"
#include "services/solvers.h"
#include "services/stops.h"
#include "services/units.h"
#include "subsurface/column_cells.h"
#include "subsurface/column_inputs.h"
#include "subsurface/soil_tables.h"
#include "subsurface/vss_data_file.h"

// The builds for the x86-64 vector units, unless the program is built with the
// baseline build alone (QUENDAL_BASELINE_KERNELS) or for another processor.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(QUENDAL_BASELINE_KERNELS)
#define QUENDAL_VECTOR_KERNELS 1
#else
#define QUENDAL_VECTOR_KERNELS 0
#endif

namespace quendal {
namespace {

constexpr int ROOM = MAX_CELLS_PER_COLUMN + 2;  // cells 1..LL and one above the top

// The step limit of an unsaturated cell: in one iteration its head may move by at most
// this fraction of its distance from saturation |psi|, or of the floor where that is
// less. Where theta and Kr are flat (a dry cell under a deep water table) the storage
// and conductances give the Jacobian almost no diagonal, and a full Newton step asks
// for changes of thousands of metres, far outside the range the linearisation holds
// in. A move of half the distance keeps the head within a factor of 1.5 of where the
// Jacobian was taken (the soil functions change by powers of |psi|), yet crosses a
// decade of dry soil in a handful of iterations. The floor lets heads near saturation,
// where half of |psi| would be millimetres, move by half a metre.
constexpr double STEP_LIMIT_FRACTION = 0.5;
constexpr double STEP_LIMIT_FLOOR = 1.0;  // m

// How a mean exponent averages two conductances: the forms that need no power, or the
// power mean.
enum class MeanForm { Series, Arithmetic, Power };

MeanForm mean_form(double exponent) {
  if (IS_ZERO(exponent)) return MeanForm::Series;
  if (IS_ONE(exponent)) return MeanForm::Arithmetic;
  return MeanForm::Power;
}

// The work of one call, on the stack, so a call allocates nothing. Indexed by cell
// number; faces by f = j - 1.
struct Work {
  // Fixed over the call: the cells' saturated conductivities, their storage per unit
  // change of moisture content (m3/s), AREA / (dz_k-1 + dz_k) of interface k, and the
  // lateral connections, whose neighbour side (conductance times contact area, and
  // head) does not change while this column is solved.
  double kz[ROOM], kx[ROOM], ky[ROOM];
  double S[ROOM];
  double half_cell[ROOM];  // series form: Kz 2 AREA / dz, the half-cell conductance at Kr 1
  double a_interface[ROOM];
  int linked_faces = 0;
  int linked[4];                  // f of the faces with neighbour cells, in face order
  double L[4], half_over_L[4], inverse_L[4];  // node-to-node distance; 0.5 / L; 1 / L
  bool has[4][ROOM];              // cell k faces a neighbour cell over face f
  // The own cell's contact area, the neighbour's conductance times its contact area,
  // and the neighbour's head; 0 where the cell faces no neighbour cell.
  double a[4][ROOM], t1[4][ROOM], Hs[4][ROOM];
  // Rebuilt every iteration: the slope of theta over each cell's table interval (the
  // storage coefficient) and the derivative of Kr.
  double slope[ROOM], dkr[ROOM];
  double H[ROOM];
  double c[ROOM], dc[ROOM];          // series form: half-cell conductances, derivatives
  double F[ROOM], G[ROOM], D[ROOM];  // interface k: between cells k - 1 and k
  double SC[ROOM], SD[ROOM];
  double C1[4][ROOM], dC1[4][ROOM];
  double R[ROOM], lower[ROOM], diag[ROOM], upper[ROOM], g[ROOM], dpsi[ROOM];
  // The diagonal without any derivative of Kr (conductances, storage, and the boundary
  // terms with Kr held fixed), for the rows whose Newton diagonal is not negative.
  double picard[ROOM];
  double exchange[ROOM];  // conductance to the channel water over one face
  // Where theta's slope falls sharply on the way up, besides saturation: the end of the
  // cell's level stretch below saturation, its table point and head (point 4, head 0,
  // where the soil has none).
  int level_point[ROOM];
  double level_head[ROOM];
  // Some head crossed saturation or the end of a level stretch in the last iteration.
  bool crossed_break = false;
};

// The column and its data for the call.
struct Column {
  const FrameState& frame;
  const SurfaceState& surface;
  SubsurfaceState& vss;
  RunIo& io;
  int e, kb, ll;
  double area, dt;
  MeanForm vertical, lateral;
  // VSS_BOUNDARY_CODE(1..6, e): code[0] the base, code[j] face j, code[5] the point.
  const int* code;
  Cells<double> psi, theta, kr, dz, z, theta_start, source;
  Cells<const int> soil;
  Cells<int> table_index;
  FaceCells<const int> face_cell;
  FaceCells<double> lateral_flow;
  double width[5];  // width[j]: the element's width across face j

  // The contact area of cell k on face j (CELL_FACE_AREA).
  double face_area(int j, int k) const { return dz[k] * width[j]; }
};

[[noreturn]] void not_finite(RunIo& io, const SubsurfaceState& vss, int e, int k,
                             const char* what) {
  report_fatal_with_details(io, VSS_NOT_FINITE_ERROR, PRINT_UNIT, e, k,
                            std::string("VSS column solver: ") + what + " is not finite",
                            column_input_lines(vss, e, k));
}

// The own cell's conductivity towards face j (K_dir Kr) and its derivative by psi.
double face_k(const Column& c, const Work& w, int j, int k) {
  return (j == 1 || j == 3 ? w.kx[k] : w.ky[k]) * c.kr[k];
}
double face_dk(const Work& w, int j, int k) {
  return (j == 1 || j == 3 ? w.kx[k] : w.ky[k]) * w.dkr[k];
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

// What stays fixed over the call: the cells' soils and storage, and the neighbour side
// of the lateral connections.
void prepare(const Column& c, Work& w) {
  const SubsurfaceState& v = c.vss;
  const FrameState& fr = c.frame;
  for (int k = c.kb; k <= c.ll; ++k) {
    const int s = c.soil[k];
    const int level_end = v.SOIL_LEVEL_END(s);
    w.level_point[k] = level_end > 0 ? level_end : 4;
    w.level_head[k] = v.VSPPSI(w.level_point[k]);
    w.kz[k] = v.SOIL_KZ(s);
    w.kx[k] = v.SOIL_KX(s);
    w.ky[k] = v.SOIL_KY(s);
    w.S[k] = c.area * c.dz[k] / c.dt;
    w.half_cell[k] = w.kz[k] * 2.0 * c.area / c.dz[k];
  }
  if (c.vertical != MeanForm::Series) {
    for (int k = c.kb; k < c.ll; ++k) w.a_interface[k + 1] = c.area / (c.dz[k] + c.dz[k + 1]);
  }
  const int first = fr.BANKS_ON ? 1 : fr.NLF + 1;
  w.linked_faces = 0;
  for (int j = 1; j <= 4; ++j) {
    const int f = j - 1;
    const int n = fr.ICMREF(c.e, j, 2);
    if (n < first || c.code[j] == 9) continue;
    w.linked[w.linked_faces++] = f;
    const int b = fr.ICMREF(c.e, j, 3);
    w.L[f] = fr.DHF(c.e, j) + fr.DHF(n, b);
    w.half_over_L[f] = 0.5 / w.L[f];
    w.inverse_L[f] = 1.0 / w.L[f];
    // The neighbour's column, read in place (one without cells faces none).
    const int kbn = v.LAYER_BOTTOM_CELL(n, 1);
    if (kbn > c.ll) {
      for (int k = c.kb; k <= c.ll; ++k) {
        w.has[f][k] = false;
        w.a[f][k] = w.t1[f][k] = w.Hs[f][k] = 0.0;
      }
      continue;
    }
    const Cells<const int> soil(v.CELL_SOIL_TYPE, n, kbn, c.ll);
    const Cells<const double> kr(v.CELL_KR, n, kbn, c.ll), z(v.CELL_ELEVATION, n, kbn, c.ll),
        psi(v.vspsi, n, kbn, c.ll);
    const Cells<const double> dz(v.CELL_THICKNESS, n, kbn, c.ll);
    const double width = face_width(fr, n, b);
    const Array1<double>& k_dir = b == 1 || b == 3 ? v.SOIL_KX : v.SOIL_KY;
    // Cells that face two cells of a neighbour are refused at set-up: every connected
    // cell faces exactly one cell, so only the first of the two conductances exists.
    for (int k = c.kb; k <= c.ll; ++k) {
      const int s = c.face_cell(j, k);
      w.has[f][k] = s != 0;
      w.C1[f][k] = w.dC1[f][k] = 0.0;
      w.a[f][k] = w.t1[f][k] = w.Hs[f][k] = 0.0;
      if (s == 0) continue;
      w.a[f][k] = c.face_area(j, k);
      w.t1[f][k] = k_dir(soil[s]) * kr[s] * (dz[s] * width);
      w.Hs[f][k] = z[s] + psi[s];
    }
  }
}

// Vertical conductances of the interfaces kb+1..LL (F of interface k joins cells k - 1
// and k) and their derivatives, by the vertical mean exponent p.
void vertical_conductances(const Column& c, Work& w) {
  const int kb = c.kb, ll = c.ll;
  w.F[kb] = w.G[kb] = w.D[kb] = 0.0;
  w.F[ll + 1] = w.G[ll + 1] = w.D[ll + 1] = 0.0;
  switch (c.vertical) {
    case MeanForm::Series:
      // Half-cell conductances in series.
      for (int k = kb; k <= ll; ++k) {
        w.c[k] = w.half_cell[k] * c.kr[k];
        w.dc[k] = w.half_cell[k] * w.dkr[k];
      }
      for (int k = kb; k < ll; ++k) {
        const double c0 = w.c[k], c1 = w.c[k + 1];
        // Two dry cells conduct nothing (and the series form would be 0/0): their sum is
        // taken as the least normal number, which leaves every conducting interface as
        // it is and gives zeros here. Without a branch the interfaces go two at a time.
        // One division serves the three terms.
        const double inverse = 1.0 / std::max(c0 + c1, std::numeric_limits<double>::min());
        const double share0 = c0 * inverse, share1 = c1 * inverse;
        w.F[k + 1] = c0 * share1;
        w.G[k + 1] = share0 * share0 * w.dc[k + 1];
        w.D[k + 1] = share1 * share1 * w.dc[k];
      }
      break;
    case MeanForm::Arithmetic:
      for (int k = kb; k < ll; ++k) {
        const double a = w.a_interface[k + 1];
        w.F[k + 1] = (w.kz[k] * c.kr[k] + w.kz[k + 1] * c.kr[k + 1]) * a;
        w.G[k + 1] = w.kz[k + 1] * w.dkr[k + 1] * a;
        w.D[k + 1] = w.kz[k] * w.dkr[k] * a;
      }
      break;
    case MeanForm::Power: {
      const double p = c.vss.VERTICAL_MEAN_EXPONENT;
      for (int k = kb; k < ll; ++k) {
        const double a = w.a_interface[k + 1];
        const double w0 = std::pow(w.kz[k] * c.kr[k], p), w1 = std::pow(w.kz[k + 1] * c.kr[k + 1], p);
        const double m = 0.5 * (w0 + w1);
        double F = 0.0, G = 0.0, D = 0.0;
        if (m > 0.0) {
          F = std::pow(m, 1.0 / p) * 2.0 * a;
          if (w1 > 0.0) G = std::pow(m / w1, (1.0 - p) / p) * w.kz[k + 1] * w.dkr[k + 1] * a;
          if (w0 > 0.0) D = std::pow(m / w0, (1.0 - p) / p) * w.kz[k] * w.dkr[k] * a;
        }
        w.F[k + 1] = F;
        w.G[k + 1] = G;
        w.D[k + 1] = D;
      }
      break;
    }
  }
  for (int k = kb; k <= ll; ++k) {
    w.SC[k] = w.F[k] + w.F[k + 1];
    w.SD[k] = w.G[k] + w.D[k + 1];
  }
}

// Lateral conductances to the neighbours' cells.
void lateral_conductances(const Column& c, Work& w) {
  const double q = c.vss.LATERAL_MEAN_EXPONENT;
  for (int i = 0; i < w.linked_faces; ++i) {
    const int f = w.linked[i], j = f + 1;
    const double inverse_L = w.inverse_L[f];
    const double* k_dir = j == 1 || j == 3 ? w.kx : w.ky;
    if (c.lateral == MeanForm::Arithmetic) {
      // Every cell of the face at once: one that faces no neighbour cell has no area
      // and no neighbour conductance, and adds nothing.
      const double half_over_L = w.half_over_L[f];
      for (int k = c.kb; k <= c.ll; ++k) {
        const double a = w.a[f][k];
        const double t = k_dir[k] * c.kr[k] * a;
        const double C1 = (t + w.t1[f][k]) * half_over_L;
        const double dC1 = half_over_L * (k_dir[k] * w.dkr[k]) * a;
        w.C1[f][k] = C1;
        w.dC1[f][k] = dC1;
        w.SC[k] += C1;
        w.SD[k] += dC1;
      }
      continue;
    }
    for (int k = c.kb; k <= c.ll; ++k) {
      if (!w.has[f][k]) continue;
      const double a = w.a[f][k];
      const double t = k_dir[k] * c.kr[k] * a, t1 = w.t1[f][k];
      double m = 0.0, dm = 0.0;
      lateral_mean(q, t, t1, m, dm);
      const double C1 = m * inverse_L;
      const double dC1 = dm * inverse_L * (k_dir[k] * w.dkr[k]) * a;
      w.C1[f][k] = C1;
      w.dC1[f][k] = dC1;
      w.SC[k] += C1;
      w.SD[k] += dC1;
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
  const int code = c.code[5];
  if (code == 2) {
    const int cell = v.SPRING_CELL(c.e);
    const double E = w.H[cell] - v.SPRING_LEVEL(c.e);
    const double coef = v.SPRING_COEFFICIENT(c.e);
    if (IS_NON_NEGATIVE(E)) {
      const double q = E * c.kr[cell] * coef;
      w.R[cell] -= q;
      w.diag[cell] -= coef * (c.kr[cell] + E * w.dkr[cell]);
      w.picard[cell] -= coef * c.kr[cell];
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
  for (int k = lo; k <= hi; ++k) W += 0.5 * (w.kx[k] + w.ky[k]) * c.dz[k];
  for (int k = lo; k <= hi; ++k) {
    double a = 0.0;
    // A screen in cells that conduct nothing pumps nothing.
    if (W > 0.0) {
      const double wk = 0.5 * (w.kx[k] + w.ky[k]) * c.dz[k];
      const double above = k < c.ll ? c.dz[k + 1] : 0.0;
      const double mean = 0.5 * (c.dz[k] + above);
      const double phi = std::min(std::max(c.psi[k], 0.0), mean) / mean;
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
  const int kind = c.code[j];
  switch (kind) {
    case VSS_LATERAL_FLOW: {
      const int g = v.LATERAL_BOUNDARY_CATEGORY(c.e);
      const int entries = std::max(v.LFB.count(g), 1);
      for (int i = 1; i <= entries; ++i) {
        int lo, hi;
        entry_cells(c, v.LFB, g, i, lo, hi);
        double W = 0.0;
        for (int k = lo; k <= hi; ++k) W += face_k(c, w, j, k) * c.dz[k];
        for (int k = lo; k <= hi; ++k) {
          const double a = W > 0.0 ? v.LFB_VALUE(i, g) * face_k(c, w, j, k) * c.dz[k] / W : 0.0;
          w.R[k] += a;
          c.lateral_flow(j, k) = a;
        }
      }
      break;
    }
    case VSS_LATERAL_HEAD: {
      const int g = v.LATERAL_BOUNDARY_CATEGORY(c.e);
      const double base = v.LHB_AS_LEVELS ? 0.0 : fr.ZGRUND(c.e);
      const double sign = v.LHB_AS_LEVELS ? 1.0 : -1.0;
      const int entries = std::max(v.LHB.count(g), 1);
      for (int i = 1; i <= entries; ++i) {
        int lo, hi;
        entry_cells(c, v.LHB, g, i, lo, hi);
        const double Hb = sign * v.LHB_VALUE(i, g) + base;
        for (int k = lo; k <= hi; ++k) {
          const double X = c.face_area(j, k) / fr.DHF(c.e, j);
          const double kk = face_k(c, w, j, k);
          const double flow = kk * X * (Hb - w.H[k]);
          w.R[k] += flow;
          w.diag[k] += -kk * X + (Hb - w.H[k]) * X * face_dk(w, j, k);
          w.picard[k] -= kk * X;
          c.lateral_flow(j, k) = flow;
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
        if (IS_POSITIVE(dH)) phi = std::min(1.0, avail / c.dz[k]);
        const double C = phi * c.face_area(j, k) * X * face_k(c, w, j, k);
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
        w.picard[k] -= C;
        c.lateral_flow(j, k) = C * dH;
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
  double flow = 0.0, derivative = 0.0, conductance = 0.0;
  switch (c.code[0]) {
    case VSS_BASE_FLOW:
      flow = v.BFB_VALUE(v.BASE_BOUNDARY_CATEGORY(c.e));
      break;
    case VSS_BASE_HEAD: {
      const int g = v.BASE_BOUNDARY_CATEGORY(c.e);
      const double Kb = w.kz[c.kb] / (0.5 * c.dz[c.kb]);
      const double dH = v.BHB_VALUE(g) - w.H[c.kb];
      const double kr = c.kr[c.kb];
      flow = Kb * kr * dH;
      derivative = Kb * (w.dkr[c.kb] * dH - kr);
      conductance = Kb * kr;
      break;
    }
    default:
      break;
  }
  w.R[c.kb] += c.area * flow;
  w.diag[c.kb] += c.area * derivative;
  w.picard[c.kb] -= c.area * conductance;
  v.CELL_VERTICAL_FLOW(c.kb - 1, c.e) = flow;
}

// Rows whose Newton diagonal is not negative. Where a flow's Kr is the cell's own
// (the boundary heads, a spring) and the soil is dry, the flow need not rise as the
// cell's head falls: d(Kr (Hb - H))/dpsi = Kr (-1 + (Hb - H) dlnKr/dpsi) turns positive
// once the head difference exceeds about |psi| / (2 (n - 1)) for a van Genuchten soil,
// and then outweighs the storage and the vertical conductances. A Newton step on such a
// row goes away from the root. Those rows take the diagonal without any derivative of
// Kr and the plain couplings, which is never positive where theta rises with psi; the
// right-hand side stays the residual, so the root is the same.
void take_picard_rows(const Column& c, Work& w) {
  for (int k = c.kb; k <= c.ll; ++k) {
    if (w.diag[k] < 0.0) continue;
    c.vss.picard_rows += 1;
    w.lower[k] = w.F[k];
    w.upper[k] = w.F[k + 1];
    w.diag[k] = w.picard[k];
    if (w.picard[k] < 0.0) continue;
    // A cell that neither conducts nor stores. Dry (theta flat at its residual value, Kr
    // 0), nothing can change its water, so its head stays. On a level stretch below
    // saturation (or at an end of it, facing in) it can still give water up below the
    // stretch, or take it in above saturation: its head goes to that end of the stretch,
    // and from there the slope of the side beyond moves it on.
    w.diag[k] = -1.0;
    w.lower[k] = w.upper[k] = 0.0;
    const double psi = c.psi[k], end = w.R[k] > 0.0 ? 0.0 : w.level_head[k];
    const bool on_stretch = psi >= w.level_head[k] && psi <= 0.0 && w.R[k] != 0.0;
    w.R[k] = on_stretch ? end - psi : 0.0;  // the row solves to a change of R
  }
}

// At saturation the slope of theta drops from the unsaturated one to Ss, some thousand
// times less. A head that Newton's step carries across saturation was moved by the
// slope of the side it left, and from the other side the other slope sends it back:
// the two steps can repeat for ever (seen in a saturated sandstone cell drained by
// roots, between +0.0015 and -0.043 m). A table that holds theta level below
// saturation (a peat whose first row, at -0.01 m, is saturated) has a second such
// point where the level stretch ends: a step from the stretch, taken with no storage
// slope, sends the head far down the steep side, and the step back, taken with the
// steep side's slope, lands on the stretch again (seen between -0.0097 and -0.0275 m,
// and with saturation between 0 and -0.149 m, for all the iterations of every solve).
// So a head that would cross either point stops on it, and a head on it takes the
// slope of the side its residual moves it to: the wetter side where the cell must take
// in water, the drier one where it must give water up.
void take_break_side(const Column& c, Work& w) {
  const SubsurfaceState& v = c.vss;
  for (int k = c.kb; k <= c.ll; ++k) {
    const double psi = c.psi[k];
    if (psi != 0.0 && psi != w.level_head[k]) continue;
    const int s = c.soil[k];
    const int point = psi == 0.0 ? 4 : w.level_point[k];
    const int side = w.R[k] > 0.0 ? point - 1 : point + 1;  // the neighbouring point, up or down
    const double wanted =
        (v.VSPTHE(side, s) - v.VSPTHE(point, s)) / (v.VSPPSI(side) - v.VSPPSI(point));
    const double S = w.S[k];
    w.diag[k] += S * (w.slope[k] - wanted);
    w.picard[k] += std::max(S * w.slope[k], 0.0) - std::max(S * wanted, 0.0);
    w.slope[k] = wanted;
  }
}

// Applies the solved changes, scaled down as a whole where a cell whose change starts
// or ends below saturation would move further than its step limit, or where a head
// would cross saturation or the end of its level stretch (it stops there); returns the
// largest change applied, and notes whether a head crossed or reached either.
double apply_changes(const Column& c, Work& w) {
  double factor = 1.0;
  int stopped = 0;  // the cell that stops on a break, 0 for none
  double stop_head = 0.0;
  for (int k = c.kb; k <= c.ll; ++k) {
    const double change = w.dpsi[k];
    if (!std::isfinite(change)) not_finite(c.io, c.vss, c.e, k, "a head change");
    const double psi = c.psi[k];
    if (psi < 0.0 || psi + change < 0.0) {
      const double limit = STEP_LIMIT_FRACTION * std::max(std::fabs(psi), STEP_LIMIT_FLOOR);
      if (std::fabs(change) * factor > limit) {
        factor = limit / std::fabs(change);
        stopped = 0;
      }
    }
    // Saturation first, then the end of the level stretch: where a change would cross
    // both, the second check finds the nearer.
    for (const double b : {0.0, w.level_head[k]}) {
      const double next = psi + change * factor;
      if ((psi < b && next > b) || (psi > b && next < b)) {
        factor = (b - psi) / change;
        stopped = k;
        stop_head = b;
      }
    }
  }
  if (factor < 1.0) c.vss.limited_steps += 1;
  double largest = 0.0;
  bool crossed = stopped != 0;
  for (int k = c.kb; k <= c.ll; ++k) {
    const double psi = c.psi[k];
    const double next = k == stopped ? stop_head : psi + factor * w.dpsi[k];
    crossed |= (psi < 0.0) != (next < 0.0) || (psi < w.level_head[k]) != (next < w.level_head[k]);
    c.psi[k] = next;
    largest = std::max(largest, std::fabs(next - psi));
  }
  w.crossed_break = crossed;
  return largest;
}

// One Newton iteration: assembles and solves; returns the largest head change applied.
double iterate(const Column& c, Work& w) {
  SubsurfaceState& v = c.vss;
  const int e = c.e, kb = c.kb, ll = c.ll;
  for (int k = kb; k <= ll; ++k) {
    const CellTableValues p =
        interpolate_soil_tables(v, c.io, e, k, c.soil[k], c.psi[k], c.table_index[k]);
    c.theta[k] = p.theta;
    c.kr[k] = p.kr;
    w.dkr[k] = p.dkr;
    w.slope[k] = p.slope;
  }
  vertical_conductances(c, w);
  lateral_conductances(c, w);
  for (int k = kb; k <= ll; ++k) w.H[k] = c.psi[k] + c.z[k];
  w.H[kb - 1] = w.H[kb];
  w.H[ll + 1] = w.H[ll];

  // Storage, vertical and lateral flow, sources. Storage is the change of the
  // tabulated theta, and its coefficient the slope of that theta, so that the Jacobian
  // is the derivative of the residual it solves.
  for (int k = kb; k <= ll; ++k) {
    const double S = w.S[k];
    const double R = w.F[k] * (w.H[k - 1] - w.H[k]) + w.F[k + 1] * (w.H[k + 1] - w.H[k]) -
               S * (c.theta[k] - c.theta_start[k]) + c.source[k];
    const double storage = S * w.slope[k];
    w.R[k] = R;
    w.diag[k] = w.D[k + 1] * w.H[k + 1] + w.G[k] * w.H[k - 1] - w.SD[k] * w.H[k] - w.SC[k] - storage;
    // A tabulated soil's spline may let theta fall as psi rises; the Picard diagonal
    // takes no storage there rather than a positive one.
    w.picard[k] = -w.SC[k] - std::max(storage, 0.0);
    w.lower[k] = w.F[k] + (w.H[k - 1] - w.H[k]) * w.D[k];
    w.upper[k] = w.F[k + 1] + (w.H[k + 1] - w.H[k]) * w.G[k + 1];
  }
  // Lateral flow, face after face (a cell facing no neighbour cell adds nothing).
  for (int i = 0; i < w.linked_faces; ++i) {
    const int f = w.linked[i];
    for (int k = kb; k <= ll; ++k) {
      w.R[k] += w.C1[f][k] * (w.Hs[f][k] - w.H[k]);
      w.diag[k] += w.dC1[f][k] * w.Hs[f][k];
    }
  }

  // Exchange with the surface water at the top cell: infiltration is limited to the
  // water available over the step.
  {
    const double dz = c.dz[ll];
    const double Ktop = w.kz[ll] / (0.5 * dz);
    const double d = v.AVAILABLE_PONDED_DEPTH(e);
    double up = Ktop * (c.psi[ll] - 0.5 * dz - std::max(d, 0.0));
    double available = d;
    if (e <= c.frame.NLF && d > 0.0) {
      // A channel link's bed can take no more than the channel holds, ARXL x CLENTH,
      // which is less than its depth over the link's area where the section narrows
      // towards the bed (in the banks example half of it: the bed took twice what a
      // nearly empty channel held, and the flow limiter had to make the rest), plus
      // the rain of this step less the most its water can evaporate. The links' net
      // rain and evaporation are set after this step and still hold the last step's,
      // which let the bed take the last hour's rain in a falling storm. The depth
      // still drives the flow.
      const double held = std::max(c.surface.ARXL(e), 0.0) * c.frame.CLENTH(e) / c.area;
      const double rain = c.frame.ELEMENT_RAIN_RATE(e) * c.dt - held / c.frame.CLENTH(e);
      available = std::clamp(held + rain, 0.0, d);
    }
    if (-up > available / c.dt) {
      up = -available / c.dt;
    } else {
      w.diag[ll] -= c.area * Ktop;
      w.picard[ll] -= c.area * Ktop;
    }
    w.R[ll] -= c.area * up;
    v.CELL_VERTICAL_FLOW(ll, e) = up;
  }

  point_term(c, w);
  for (int j = 1; j <= 4; ++j) face_term(c, w, j);
  base_term(c, w);
  take_break_side(c, w);
  take_picard_rows(c, w);

  // J dpsi = -R, row i of the system being cell kb - 1 + i.
  const int o = kb - 1;
  tridiagonal_elimination_two_ended(
      [&](int i) { return w.lower[o + i]; }, [&](int i) { return w.diag[o + i]; },
      [&](int i) { return w.upper[o + i]; }, [&](int i) { return -w.R[o + i]; },
      [&](int i) -> double& { return w.dpsi[o + i]; }, [&](int i) -> double& { return w.g[o + i]; },
      ll - kb + 1);
  return apply_changes(c, w);
}

}  // namespace

namespace {

// Prefetches the cache lines of `count` values from `first` on.
template <class T>
void prefetch_run(const T* first, long count) {
  const char* p = reinterpret_cast<const char*>(first);
  const long bytes = count * static_cast<long>(sizeof(T));
  for (long b = 0; b < bytes; b += 64) __builtin_prefetch(p + b);
  if (bytes > 0) __builtin_prefetch(p + bytes - 1);
}

}  // namespace

void prefetch_column(const FrameState& frame, const SubsurfaceState& v, int e) {
  const int kb = v.LAYER_BOTTOM_CELL(e, 1), ll = v.LL;
  if (kb > ll) return;
  const long n = ll - kb + 1;
  for (const Array2<double>* a : {&v.vspsi, &v.CELL_THETA, &v.CELL_KR, &v.CELL_THICKNESS,
                                  &v.CELL_ELEVATION, &v.CELL_THETA_START, &v.CELL_SOURCE_RATE}) {
    prefetch_run(&(*a)(kb, e), n);
  }
  prefetch_run(&v.CELL_VERTICAL_FLOW(kb - 1, e), n + 1);
  prefetch_run(&v.CELL_SOIL_TYPE(kb, e), n);
  prefetch_run(&v.CELL_TABLE_INDEX(kb, e), n);
  prefetch_run(&v.CELL_FACE_CELL(1, kb, e), 4 * n);
  prefetch_run(&v.CELL_LATERAL_FLOW(1, kb, e), 4 * n);
  const int first = frame.BANKS_ON ? 1 : frame.NLF + 1;
  for (int j = 1; j <= 4; ++j) {
    const int nb = frame.ICMREF(e, j, 2);
    if (nb < first) continue;
    const int kbn = v.LAYER_BOTTOM_CELL(nb, 1);
    if (kbn > ll) continue;
    const long m = ll - kbn + 1;
    for (const Array2<double>* a : {&v.vspsi, &v.CELL_KR, &v.CELL_ELEVATION}) {
      prefetch_run(&(*a)(kbn, nb), m);
    }
    prefetch_run(&v.CELL_SOIL_TYPE(kbn, nb), m);
    prefetch_run(&v.CELL_THICKNESS(kbn, nb), m);
  }
}

double column_start_head(double psi, double change) {
  const double next = psi + change;
  if (!(psi < 0.0 && next < 0.0) && !(psi > 0.0 && next > 0.0)) return psi;
  const double limit = STEP_LIMIT_FRACTION * std::max(std::fabs(psi), STEP_LIMIT_FLOOR);
  return psi + std::clamp(change, -limit, limit);
}

namespace {

// The whole solve of a column, built once for each kind of processor by the entry
// points below, each of which inlines all of it.
inline bool solve_column(const FrameState& frame, const SurfaceState& surface,
                         SubsurfaceState& vss, RunIo& io, int e, int severity) {
  const int kb = vss.LAYER_BOTTOM_CELL(e, 1), ll = vss.LL;
  const Column c{frame,
                 surface,
                 vss,
                 io,
                 e,
                 kb,
                 ll,
                 frame.AREA(e),
                 frame.DTUZ,
                 mean_form(vss.VERTICAL_MEAN_EXPONENT),
                 mean_form(vss.LATERAL_MEAN_EXPONENT),
                 &vss.VSS_BOUNDARY_CODE(1, e),
                 {vss.vspsi, e, kb, ll},
                 {vss.CELL_THETA, e, kb, ll},
                 {vss.CELL_KR, e, kb, ll},
                 {vss.CELL_THICKNESS, e, kb, ll},
                 {vss.CELL_ELEVATION, e, kb, ll},
                 {vss.CELL_THETA_START, e, kb, ll},
                 {vss.CELL_SOURCE_RATE, e, kb, ll},
                 {vss.CELL_SOIL_TYPE, e, kb, ll},
                 {vss.CELL_TABLE_INDEX, e, kb, ll},
                 {vss.CELL_FACE_CELL, e, kb, ll},
                 {vss.CELL_LATERAL_FLOW, e, kb, ll},
                 {0.0, face_width(frame, e, 1), face_width(frame, e, 2), face_width(frame, e, 3),
                  face_width(frame, e, 4)}};
  Work w;
  prepare(c, w);
  bool converged = false;
  {
    // A head out of the tables or not finite: after the report and its column's items,
    // the neighbours' tops.
    const FatalReportLines neighbours(io, [&](std::vector<std::string>& lines) {
      lines.push_back(neighbour_tops_line(frame, vss, e));
      lines.push_back(steepest_step_line(frame, vss));
    });
    for (int iteration = 1; iteration <= VSS_MAX_COLUMN_ITERATIONS && !converged; ++iteration) {
      // An iteration in which a head crossed or reached saturation (or the end of a level
      // stretch) took the storage slope of one side for a change that ended on the other,
      // where theta rises some thousand times more or less quickly: even a change below
      // the tolerance then leaves the water the flows booked and the water the head holds
      // apart, by up to 0.1 m of head in a saturated cell. One more iteration, from the
      // side the head is on, balances it.
      const double change = iterate(c, w);
      converged = change <= VSS_HEAD_TOLERANCE && !w.crossed_break;
      vss.newton_iterations += 1;
    }
  }
  vss.column_solves += 1;

  if (severity > 0 && !converged) {
    vss.COLUMN_SOLVER_FAILURES += 1;
    if (vss.COLUMN_SOLVER_FAILURES < SOLVER_MESSAGE_LIMIT) {
      REPORT_ERROR(io, severity, 1036, PRINT_UNIT, e, 0, "Maximum iterations in VSS column solver");
      report_column_inputs(io, frame, vss, e, 0);
    } else if (vss.COLUMN_SOLVER_FAILURES == SOLVER_MESSAGE_LIMIT) {
      REPORT_ERROR(io, severity, 1036, PRINT_UNIT, e, 0,
                   "**** Last printout of the error message - maximum iterations error in VSS "
                   "column solver *****");
    }
  }

  // Flows of the cells with the final heads and the last conductances.
  for (int k = kb; k <= ll; ++k) w.H[k] = c.psi[k] + c.z[k];
  for (int k = kb; k < ll; ++k) {
    const double q = w.F[k + 1] * (w.H[k] - w.H[k + 1]) / c.area;
    if (!std::isfinite(q)) not_finite(io, vss, e, k, "a vertical flow");
    vss.CELL_VERTICAL_FLOW(k, e) = q;
  }
  for (int i = 0; i < w.linked_faces; ++i) {
    const int f = w.linked[i];
    for (int k = kb; k <= ll; ++k) {
      if (!w.has[f][k]) continue;
      const double q = w.C1[f][k] * (w.Hs[f][k] - w.H[k]);
      if (!std::isfinite(q)) not_finite(io, vss, e, k, "a lateral flow");
      c.lateral_flow(f + 1, k) = q;
    }
  }

  // Phreatic level: the top of the saturated run from the bottom.
  vss.PHREATIC_LEVEL(e) = column_phreatic_level(vss, e);
  return converged;
}

// The entry points: the same solve for any x86-64 processor and, with the vector
// units' instructions allowed, for AVX2 and AVX-512. Every call within is inlined
// (`flatten`), so none of the wider code is shared with the rest of the program; the
// file is compiled without contraction into fused multiply-adds, so the three builds
// round alike.
__attribute__((flatten)) bool solve_baseline(const FrameState& frame, const SurfaceState& surface,
                                             SubsurfaceState& vss, RunIo& io, int e,
                                             int severity) {
  return solve_column(frame, surface, vss, io, e, severity);
}

#if QUENDAL_VECTOR_KERNELS
__attribute__((flatten, target("avx2"))) bool solve_avx2(const FrameState& frame,
                                                          const SurfaceState& surface,
                                                          SubsurfaceState& vss, RunIo& io, int e,
                                                          int severity) {
  return solve_column(frame, surface, vss, io, e, severity);
}

__attribute__((flatten, target("avx512f,avx512dq,avx512vl,avx512bw,prefer-vector-width=512")))
bool solve_avx512(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
                  RunIo& io, int e, int severity) {
  return solve_column(frame, surface, vss, io, e, severity);
}
#endif

}  // namespace

bool column_kernel_runs(ColumnKernel kernel) {
#if QUENDAL_VECTOR_KERNELS
  __builtin_cpu_init();
  switch (kernel) {
    case ColumnKernel::Baseline: return true;
    case ColumnKernel::Avx2: return __builtin_cpu_supports("avx2");
    case ColumnKernel::Avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
  }
  return false;
#else
  return kernel == ColumnKernel::Baseline;
#endif
}

// AVX2 where the processor has it, even where it also has AVX-512: a column of some
// twenty cells fills two and a half of the wider vectors, and the end-to-end benchmark
// found the AVX2 build 4-6% faster than the AVX-512 one at every catchment size.
ColumnKernel best_column_kernel() {
  for (ColumnKernel k : {ColumnKernel::Avx2, ColumnKernel::Avx512}) {
    if (column_kernel_runs(k)) return k;
  }
  return ColumnKernel::Baseline;
}

const char* column_kernel_name(ColumnKernel kernel) {
  switch (kernel) {
    case ColumnKernel::Avx2: return "avx2";
    case ColumnKernel::Avx512: return "avx512";
    default: return "baseline";
  }
}

bool VSS_COLUMN_SOLVER(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
                       RunIo& io, int e, int severity) {
  if (vss.LAYER_BOTTOM_CELL(e, 1) > vss.LL) return true;
#if QUENDAL_VECTOR_KERNELS
  switch (vss.column_kernel) {
    case ColumnKernel::Avx512: return solve_avx512(frame, surface, vss, io, e, severity);
    case ColumnKernel::Avx2: return solve_avx2(frame, surface, vss, io, e, severity);
    default: break;
  }
#endif
  return solve_baseline(frame, surface, vss, io, e, severity);
}

}  // namespace quendal
