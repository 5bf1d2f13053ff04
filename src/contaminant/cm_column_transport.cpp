#include "contaminant/cm_column_transport.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "services/error_reporting.h"
#include "services/predicates.h"
#include "services/solvers.h"
#include "services/stops.h"

namespace quendal {

namespace {

constexpr int CM_PRINT_UNIT = 25;
// A concentration read at the start of a step is never below this: the sorption
// slopes divide by it and a power of 0 is not defined for every exponent. Under
// Freundlich sorption the floor sets slopes only: what a region holds is taken at its
// true concentration. Under an exponent below 1 a concentration is also stored as the
// balance leaves it, for a floor that held its sorption would make mass (K 1e-8 per unit
// volume at n = 0.5, in every cell each time it rose to it); above 1 the floor holds
// K 1e-16^n, nothing to the budget, and is kept.
constexpr double CM_CONCENTRATION_FLOOR = 1e-16;

// Under Freundlich sorption, the content per unit of the floored concentration Co that
// a region of water a and sorption b holds at its true concentration c (0 <= c <= Co),
// and the slope that gives, with it, the isotherm's tangent at Co:
//   held Co = a c + b c^n,   held + Co slope = a + n b Co^(n-1).
// Above the floor c is Co and both are the plain a + b Co^(n-1) and (n-1) b Co^(n-2).
struct Held {
  double held, slope;
};
Held freundlich_held(double a, double b, double c, double Co, double n) {
  const double p = std::pow(Co, n - 1.0);
  if (!(c < Co)) return {a + b * p, (n - 1.0) * b * std::pow(Co, n - 2.0)};
  const double held = (a * c + b * (c > 0.0 ? std::pow(c, n) : 0.0)) / Co;
  return {held, (a + n * b * p - held) / Co};
}
// Molecular diffusion coefficient, m2/s; the columns take it over the diffusivity scale.
constexpr double CM_MOLECULAR_DIFFUSION = 3e-8;
constexpr int CM_NONLINEAR_PASSES = 10;

// What one column's transport reads throughout, for the contaminant in hand.
struct Column {
  Model& model;
  ContaminantState& cm;
  ContaminantColumnWork& w;
  int iel = 0, b = 0, t = 0, k = 0;
  double Fs = 0.0;           // CM_STEP_FACTOR
  double T = 0.0, T2 = 0.0;  // implicit and storage step
  double wi = 0.0, wo = 0.0; // weights of the end and start flow fields
  double hn = 0.0, ho = 0.0, chi = 0.0, sig = 0.0, beta = 0.0;
  double lambda = 0.0, n = 1.0;
  bool nonlinear = false, base_flux = false;
};

// 1 when a face's water leaves the cell over the step, else 0. The start-of-step flow
// decides; a face that starts flowing in the step goes by its end-of-step flow. Both
// cells of a face must see the same side as upstream: had a face that did not flow at
// the start counted as inflow on both sides, the sender would export at the receiver's
// concentration and the receiver import at the sender's, which makes (or destroys)
// mass each time a face starts to flow, and an outflow taken at the neighbour's
// concentration can drive the sender's negative.
double outflow_weight(double old_flow, double new_flow) {
  return old_flow < 0.0 || (old_flow == 0.0 && new_flow < 0.0) ? 1.0 : 0.0;
}

// ===== boundary and exchange terms ====================================================

// Concentration of the water that crosses each face, below ground and at the surface.
void face_terms(Column& c) {
  ContaminantColumnWork& w = c.w;
  const ContaminantState& cm = c.cm;
  const int LL = c.t, k = c.k;
  for (int f = 1; f <= 4; ++f) {
    const int m = w.CM_COL_NEIGHBOUR[f];
    if (w.CM_COL_NO_NEIGHBOUR[f]) {
      const double v = cm.CM_INFLOW_REL_CONC(c.iel, k);
      for (int i = c.b; i <= LL + 1; ++i) {
        w.N(i, f) = v;
        w.Nr(i, f) = 0.0;
      }
      w.NS[f] = v;
      w.NSr[f] = 0.0;
      w.KS[f] = 1.0;
      w.KSr[f] = 0.0;
    } else if (w.CM_COL_IS_BANK && f == w.CM_COL_BANK_FACE) {
      const int link = w.CM_COL_BANK_LINK;
      const int lbc = c.model.subsurface.LINK_BED_CELL(link, w.CM_COL_BANK_SIDE);
      for (int i = c.b; i <= std::min(lbc, LL); ++i) {
        w.N(i, f) = cm.CM_REL_CONC_DYNAMIC_OLD(i, m, k);
        w.Nr(i, f) = 0.0;
      }
      // Above the bed the bank faces the channel water.
      const double start = cm.CM_REL_CONC_DYNAMIC_OLD(LL, link, k);
      const double rate = (cm.CM_REL_CONC_DYNAMIC(LL, link, k) - start) / c.Fs;
      for (int i = std::max(lbc + 1, c.b); i <= LL; ++i) {
        w.N(i, f) = start;
        w.Nr(i, f) = rate;
      }
      w.NS[f] = w.N(LL, f);
      w.NSr[f] = w.Nr(LL, f);
      w.KS[f] = cm.CM_LINK_SURFACE_CAPACITY(link, k);
      w.KSr[f] = w.NSr[f] * cm.CM_LINK_SURFACE_CAPACITY_SLOPE(link, k) +
                 cm.CM_LINK_SURFACE_CAPACITY_RATE(link, k);
    } else {
      // The plain mean of the neighbour's cells that overlap the cell; no flow or no
      // overlap gives 0.
      for (int i = c.b; i <= LL; ++i) {
        const int first = cm.CM_FACE_CELL_START(i, f, c.iel);
        const int past = cm.CM_FACE_CELL_START(i + 1, f, c.iel);
        const double weight = w.CM_COL_LATERAL_FLOW_NEW(i, f);
        double sum = 0.0, weights = 0.0;
        for (int e = first; e < past; ++e) {
          sum += weight * cm.CM_REL_CONC_DYNAMIC_OLD(cm.CM_FACE_CELL_LIST(e, f, c.iel), m, k);
          weights += weight;
        }
        w.N(i, f) = IS_NON_ZERO(weights) ? sum / weights : weights;
        w.Nr(i, f) = 0.0;
      }
      w.NS[f] = cm.CM_REL_CONC_DYNAMIC_OLD(LL, m, k);
      w.NSr[f] = (cm.CM_REL_CONC_DYNAMIC(LL, m, k) - w.NS[f]) / c.Fs;
      w.KS[f] = cm.CM_SURFACE_CAPACITY(m, k);
      w.KSr[f] = cm.CM_SURFACE_CAPACITY_SLOPE(m, k) * w.NSr[f] + cm.CM_SURFACE_CAPACITY_RATE(m, k);
    }
  }
}

// The base value: imposed on the bottom cell, or the concentration of base inflow.
void base_value(Column& c) {
  ContaminantColumnWork& w = c.w;
  const double v = c.base_flux ? c.cm.CM_BASE_FLUX_REL_CONC(c.iel, c.k)
                               : c.cm.CM_BASE_FIXED_REL_CONC(c.iel, c.k);
  w.base_value = v;
  for (int i = 0; i <= c.b - 1; ++i) {
    w.Co(i) = v;
    w.Cn(i) = v;
    w.Sn(i) = v;
  }
  if (!c.base_flux) w.Cn(c.b) = v;
}

// Capacity factors of the element's own surface water and loose sediment.
void surface_capacities(Column& c) {
  ContaminantColumnWork& w = c.w;
  ContaminantState& cm = c.cm;
  const SedimentState& sed = c.model.sediment;
  double Bo = 0.0, Bn = 0.0, Fo = 0.0, Fn = 0.0;
  for (int g = 1; g <= sed.NSED; ++g) {
    const double K51 = cm.CM_SEDIMENT_KD(g, c.k);
    Bo += cm.CM_FBETA_PREVIOUS(c.iel, g) * K51;
    Bn += sed.FBETA(c.iel, g) * K51;
    Fo += cm.CM_FDEL_PREVIOUS(c.iel, g) * K51;
    Fn += sed.FDEL(c.iel, g) * K51;
  }
  w.Fo_K = Fo;
  w.Fn_K = Fn;
  w.Bo_K = Bo;
  w.Bn_K = Bn;
  const double e1 = 1.0 / w.CM_COL_SEDIMENT_WATER_FACTOR;
  if (!c.nonlinear) {
    w.kb = 1.0 + e1 * Bo;
    w.kb_slope = 0.0;
    w.kb_rate = (e1 * Bn - e1 * Bo) / c.Fs;
    w.kw = 1.0 + Fo;
    w.kw_slope = 0.0;
    w.kw_rate = (Fn - Fo) / c.Fs;
  } else {
    const double q = w.Co(c.t);
    const double p = std::pow(q, c.n - 2.0);
    w.kb = 1.0 + e1 * Bo * p * q;
    w.kb_slope = e1 * Bo * p * (c.n - 1.0);
    w.kb_rate = e1 * (Bn - Bo) * p * q / c.Fs;
    w.kw = 1.0 + Fo * p * q;
    w.kw_slope = Fo * p * (c.n - 1.0);
    w.kw_rate = (Fn - Fo) * p * q / c.Fs;
    const double true_q = c.cm.CM_REL_CONC_DYNAMIC_OLD(c.t, c.iel, c.k);
    if (c.n != 1.0 && true_q < q) {
      // Below the floor: the stores hold their sorption at the true concentration.
      const double held = (true_q > 0.0 ? std::pow(true_q, c.n) : 0.0) / q;
      const Held b = freundlich_held(1.0, e1 * Bo, true_q, q, c.n);
      const Held f = freundlich_held(1.0, Fo, true_q, q, c.n);
      w.kb = b.held;
      w.kb_slope = b.slope;
      w.kb_rate = e1 * (Bn - Bo) * held / c.Fs;
      w.kw = f.held;
      w.kw_slope = f.slope;
      w.kw_rate = (Fn - Fo) * held / c.Fs;
    }
  }
  cm.CM_SURFACE_CAPACITY(c.iel, c.k) = w.kw;
  cm.CM_SURFACE_CAPACITY_SLOPE(c.iel, c.k) = w.kw_slope;
  cm.CM_SURFACE_CAPACITY_RATE(c.iel, c.k) = w.kw_rate;
}

// Rain, another element's well water and the surface source at the top.
void top_input(Column& c) {
  ContaminantColumnWork& w = c.w;
  const ContaminantState& cm = c.cm;
  w.SRC = -(cm.CM_INVERSE_VELOCITY_SCALE * cm.CM_SURFACE_SOURCE(c.k));
  const double a = cm.CM_INVERSE_VELOCITY_SCALE / (w.CM_COL_DX * w.CM_COL_DY);
  const double c27 = cm.CM_RAIN_REL_CONC(c.k);
  const int src = w.CM_COL_WELL_SOURCE;
  const double Cw = src > 0 ? cm.CM_WELL_REL_CONC(src, c.k) : 0.0;
  const double Jo = src > 0 ? w.CM_COL_WELL_INPUT_OLD : 0.0;
  const double Jn = src > 0 ? w.CM_COL_WELL_INPUT_NEW : 0.0;
  w.RAIN = a * ((w.CM_COL_TOP_INPUT_OLD - Jo) * c27 + Jo * Cw);
  w.RAINR = (a * ((w.CM_COL_TOP_INPUT_NEW - Jn) * c27 + Jn * Cw) - w.RAIN) / c.Fs;
}

// Exchange of a bank's cells with its channel's bed, upstream-weighted.
void bank_exchange(Column& c) {
  ContaminantColumnWork& w = c.w;
  ContaminantState& cm = c.cm;
  for (int i = c.b; i <= c.t; ++i) w.CM_COL_ACCUMULATOR(i) = 0.0;
  if (!w.CM_COL_IS_BANK) return;
  const int link = w.CM_COL_BANK_LINK, side = w.CM_COL_BANK_SIDE;
  const int lbc = c.model.subsurface.LINK_BED_CELL(link, side);
  const double cdl = cm.CM_REL_CONC_DYNAMIC(c.t - 2, link, c.k);
  const double a = cm.CM_INVERSE_VELOCITY_SCALE / c.model.frame.AREA(c.iel);
  double exchanged = 0.0, flow = 0.0;
  for (int j = cm.CM_BANK_EXCHANGE_CELL(link, side); j <= std::min(lbc + 1, c.t); ++j) {
    const double g = w.CM_COL_BANK_EXCHANGE_FLOW(j);
    const double e = std::max(g, 0.0) * cdl + std::min(g, 0.0) * w.Co(j);
    w.CM_COL_ACCUMULATOR(j) += e * a * w.CM_COL_BANK_WEIGHT(j) / w.CM_COL_THICKNESS(j);
    exchanged += e;
    flow += g;
  }
  w.Cex = IS_NON_ZERO(flow) ? exchanged / flow : flow;
  cm.CM_BANK_EXCHANGE_CONC(link, side, c.k) = w.Cex;
}

// Removal sources: wells, the bank-link exchange and, in the cell that the bed bottom
// cuts, the change of the bank weight between the cells below and above it.
void cell_sources(Column& c) {
  ContaminantColumnWork& w = c.w;
  ContaminantState& cm = c.cm;
  const double V = cm.CM_INVERSE_VELOCITY_SCALE;
  double taken = 0.0, flow = 0.0;
  for (int i = c.b; i <= c.t; ++i) {
    w.S(i) = -w.CM_COL_ACCUMULATOR(i) + V * w.CM_COL_WELL_FLOW(i) * w.Co(i) / w.CM_COL_THICKNESS(i);
    taken += w.CM_COL_WELL_FLOW(i) * w.Co(i);
    flow += w.CM_COL_WELL_FLOW(i);
  }
  cm.CM_WELL_REL_CONC(c.iel, c.k) = IS_NON_ZERO(flow) ? taken / flow : 0.0;
  if (!w.CM_COL_IS_BANK) return;
  const int cb = cm.CM_BED_BOTTOM_CELL(w.CM_COL_BANK_LINK, w.CM_COL_BANK_SIDE);
  if (cb < c.b - 1 || cb + 1 > c.t) return;
  const auto& r = w.CM_COL_BANK_WEIGHT;
  const auto& rinv = w.CM_COL_BANK_WEIGHT_INVERSE;
  const auto& vn = w.CM_COL_VERTICAL_FLOW_NEW;
  const double Fa = std::max(w.Co(cb) * vn(cb), 0.0) - std::max(-vn(cb) * w.Co(cb + 1), 0.0);
  const double Fb = std::max(w.Co(cb + 1) * vn(cb + 1), 0.0) - std::max(-vn(cb + 1) * w.Co(cb + 2), 0.0);
  w.S(cb + 1) -= ((rinv(cb) * r(cb + 1) - 1.0) * Fa - (r(cb + 1) * rinv(cb + 1) - 1.0) * Fb) * V /
                 w.CM_COL_THICKNESS(cb + 1);
}

// Capacities of a bank's cells above the bed, for its link's transport.
void bank_capacities(Column& c) {
  ContaminantColumnWork& w = c.w;
  ContaminantState& cm = c.cm;
  if (!w.CM_COL_IS_BANK) return;
  const int link = w.CM_COL_BANK_LINK, side = w.CM_COL_BANK_SIDE;
  const int lbc = c.model.subsurface.LINK_BED_CELL(link, side);
  for (int i = std::max(lbc + 1, c.b); i <= c.t; ++i) {
    const double water = w.CM_COL_MOBILE_FRACTION_OLD(i) * w.CM_COL_THETA_OLD(i);
    const double dead_water = (1.0 - w.CM_COL_MOBILE_FRACTION_OLD(i)) * w.CM_COL_THETA_OLD(i);
    double sd = 1.0, ss = 1.0;
    if (c.nonlinear) {
      sd = std::pow(w.Co(i), c.n - 1.0);
      ss = std::pow(w.So(i), c.n - 1.0);
    }
    cm.CM_BANK_CAPACITY_DYNAMIC[c.k](i, side, link) = w.fs(i) * w.Kd(i) * sd + water;
    cm.CM_BANK_CAPACITY_DEAD_SPACE[c.k](i, side, link) = (1.0 - w.fs(i)) * w.Kd(i) * ss + dead_water;
  }
}

// ===== the balances ===================================================================

// Rows of the cells b..t (both regions), as each cell's own balance gives them.
void assemble_rows(Column& c) {
  ContaminantColumnWork& w = c.w;
  const double V = c.cm.CM_INVERSE_VELOCITY_SCALE;
  const double TS = c.cm.CM_TIME_SCALE;
  const double gi = 1.0 + c.T * c.lambda, gs = 1.0 + c.T2 * c.lambda;
  double Ko_below = 0.0, Kn_below = 0.0, Qo_below = 0.0, Qn_below = 0.0, d_below = 1.0;
  for (int i = c.b; i <= c.t; ++i) {
    const double dz = w.CM_COL_THICKNESS(i);
    // Water of the two regions and its rate of change.
    const double W = w.CM_COL_MOBILE_FRACTION_OLD(i) * w.CM_COL_THETA_OLD(i);
    const double Wn = w.CM_COL_MOBILE_FRACTION_NEW(i) * w.CM_COL_THETA_NEW(i);
    const double Wd = w.CM_COL_THETA_OLD(i) - W;
    const double Wdn = w.CM_COL_THETA_NEW(i) - Wn;
    w.dW(i) = (Wn - W) / c.Fs;
    w.dWd(i) = (Wdn - Wd) / c.Fs;
    // Capacities; the slopes are written so that they vanish for a linear isotherm.
    const double Co = w.Co(i), So = w.So(i);
    const double sorb_d = w.fs(i) * w.Kd(i), sorb_s = (1.0 - w.fs(i)) * w.Kd(i);
    if (c.n != 1.0) {
      const Held d = freundlich_held(W, sorb_d, c.cm.CM_REL_CONC_DYNAMIC_OLD(i, c.iel, c.k), Co, c.n);
      const Held s = freundlich_held(Wd, sorb_s, c.cm.CM_REL_CONC_DEAD_SPACE_OLD(i, c.iel, c.k), So, c.n);
      w.Rd(i) = d.held;
      w.Rs(i) = s.held;
      w.Rd_slope(i) = d.slope;
      w.Rs_slope(i) = s.slope;
    } else {
      w.Rd(i) = W + sorb_d * std::pow(Co, c.n - 1.0);
      w.Rs(i) = Wd + sorb_s * std::pow(So, c.n - 1.0);
      w.Rd_slope(i) = (c.n - 1.0) * sorb_d * std::pow(Co, c.n - 2.0);
      w.Rs_slope(i) = (c.n - 1.0) * sorb_s * std::pow(So, c.n - 2.0);
    }
    w.sorbed_d(i) = sorb_d;
    w.sorbed_s(i) = sorb_s;
    // Exchange between the regions.
    const double xo = w.CM_COL_EXCHANGE_FLOW_OLD(i), xn = w.CM_COL_EXCHANGE_FLOW_NEW(i);
    const double al = w.alpha(i);
    const double Eout = TS * (c.wo * (al + std::max(xo, 0.0)) + c.wi * (al + std::max(xn, 0.0)));
    const double Ein = TS * (c.wo * (al + std::max(-xo, 0.0)) + c.wi * (al + std::max(-xn, 0.0)));
    // Vertical faces of the two flow fields.
    const double Wup = i < c.t ? w.CM_COL_MOBILE_FRACTION_OLD(i + 1) * w.CM_COL_THETA_OLD(i + 1) : 0.0;
    const double Wnup = i < c.t ? w.CM_COL_MOBILE_FRACTION_NEW(i + 1) * w.CM_COL_THETA_NEW(i + 1) : 0.0;
    const double dzup = w.CM_COL_THICKNESS(i + 1);
    auto interface = [&](double Wx, double Wxup, double Dm, double Dmup) {
      const double den = Wxup * Dmup * dz + Wx * Dm * dzup;
      return den > 0.0 ? 2.0 * Wx * Wxup * Dm * Dmup * dz * dzup / den : 0.0;
    };
    const double Ko = interface(W, Wup, w.Dm1(i), w.Dm1(i + 1));
    const double Kn = interface(Wn, Wnup, w.Dm2(i), w.Dm2(i + 1));
    const double Qo = V * w.CM_COL_VERTICAL_FLOW_OLD(i), Qn = V * w.CM_COL_VERTICAL_FLOW_NEW(i);
    const double d = w.CM_COL_SPACING(i);
    const double aNo = std::max({0.0, Ko / d - Qo / 2.0, -Qo});
    const double aNn = std::max({0.0, Kn / d - Qn / 2.0, -Qn});
    const double aSo = std::max({0.0, Ko_below / d_below + Qo_below / 2.0, Qo_below});
    const double aSn = std::max({0.0, Kn_below / d_below + Qn_below / 2.0, Qn_below});
    const double AN = (c.wo * aNo + c.wi * aNn) / dz;
    const double AS = (c.wo * aSo + c.wi * aSn) / dz;
    const double Pv = (c.wo * (aNo + aSo + Qo - Qo_below) + c.wi * (aNn + aSn + Qn - Qn_below)) / dz;
    // Lateral faces: upstream concentration on each face.
    double OUTL = 0.0, ADVL = 0.0, DL = 0.0;
    for (int f = 1; f <= 4; ++f) {
      const double lo = w.CM_COL_LATERAL_FLOW_OLD(i, f), ln = w.CM_COL_LATERAL_FLOW_NEW(i, f);
      const double u = outflow_weight(lo, ln);
      const double fc = u * Co + (1.0 - u) * w.N(i, f);
      OUTL += u * lo;
      ADVL += lo * fc;
      DL += (ln / c.hn - lo / c.ho) * fc + c.Fs * lo * w.Nr(i, f) * (1.0 - u) / c.ho;
    }
    // The parent's decay in this cell (P1, P2: left by the contaminant before this one,
    // nothing for the first) is this one's source.
    w.Pa(i) = w.P1(i) - w.S(i) + c.chi * ADVL;
    w.Pb(i) = c.chi * c.ho * DL / c.Fs;
    // The two balances.
    w.A(i) = -c.T * AS;
    w.C(i) = -c.T * AN;
    w.B(i) = c.T * (-c.chi * OUTL + Eout + Pv) + gs * c.Fs * w.dW(i) + gi * (w.Rd(i) + Co * w.Rd_slope(i));
    w.E(i) = c.T * Ein;
    w.F(i) = c.T * Eout;
    w.G(i) = c.T * Ein + gs * c.Fs * w.dWd(i) + gi * (w.Rs(i) + So * w.Rs_slope(i));
    w.D(i) = c.T * w.Pb(i) + w.Pa(i) + w.Co(i + 1) * AN + w.Co(i - 1) * AS +
             Co * (-Pv - c.lambda * w.Rd(i) - gi * w.dW(i) - Eout) + So * Ein;
    w.H(i) = w.P2(i) + Co * Eout - So * (c.lambda * w.Rs(i) + gi * w.dWd(i) + Ein);
    if (i == c.t) {
      // What the top row's rewrite needs of the cell's own row.
      w.top_Eout = Eout;
      w.top_Ein = Ein;
      w.top_lower = (c.wo * (Qo_below - aSo) + c.wi * (Qn_below - aSn)) / dz;
      w.top_AS = AS;
      w.top_OUTL = OUTL;
    }
    Ko_below = Ko;
    Kn_below = Kn;
    Qo_below = Qo;
    Qn_below = Qn;
    d_below = d;
  }
}

// The top cell carries the surface water and the loose sediment of the element; its
// dynamic row is written again with them and the surface flows over its four faces.
void assemble_top_row(Column& c) {
  ContaminantColumnWork& w = c.w;
  const int t = c.t;
  const double V = c.cm.CM_INVERSE_VELOCITY_SCALE;
  const double L = c.cm.CM_LENGTH_SCALE;
  const double gi = 1.0 + c.T * c.lambda, gs = 1.0 + c.T2 * c.lambda;
  const double Eout = w.top_Eout, Ein = w.top_Ein, lower = w.top_lower, AS = w.top_AS;
  const double OUTL = w.top_OUTL;
  const double dz = w.CM_COL_THICKNESS(t);
  const double Co = w.Co(t), So = w.So(t);
  double ADVS = 0.0, DS = 0.0, OUTS = 0.0;
  for (int f = 1; f <= 4; ++f) {
    const double so = w.CM_COL_SURFACE_FLOW_OLD[f], sn = w.CM_COL_SURFACE_FLOW_NEW[f];
    const double u = outflow_weight(so, sn);
    const double Cs = u * Co + (1.0 - u) * w.NS[f];
    const double Ks = u * w.kw + (1.0 - u) * w.KS[f];
    ADVS += so * Cs * Ks;
    DS += (sn - so) * Cs * Ks +
          c.Fs * so * (w.NSr[f] * (1.0 - u) * Ks + (w.kw_rate * u + (1.0 - u) * w.KSr[f]) * Cs);
    OUTS += (Cs * w.kw_slope * u + u * Ks) * so;
  }
  const double M = w.Rd(t) * Co + w.Rs(t) * So;
  const double eo = w.CM_COL_EROSION_RATE_OLD, en = w.CM_COL_EROSION_RATE_NEW;
  const double Ho = w.CM_COL_PONDED_DEPTH_OLD, Hn = w.CM_COL_PONDED_DEPTH_NEW;
  const double Lo = w.CM_COL_LOOSE_SEDIMENT_OLD, Ln = w.CM_COL_LOOSE_SEDIMENT_NEW;
  const double eps = w.CM_COL_SEDIMENT_WATER_FACTOR;
  // Ground erosion: at the start of the step, with the water content's change, with the
  // change of the rate, and per unit change of the top cell's concentration.
  const double erosion = V * eo * M;
  const double erosion_water = V * eo * (w.dW(t) * Co + w.dWd(t) * So);
  const double erosion_change = M * (V * en - V * eo) / c.Fs;
  w.erosion_explicit = (erosion + c.T * (erosion_water + erosion_change)) / dz;
  const double erosion_slope = (Co * w.Rd_slope(t) + w.Rd(t)) * V * eo;
  w.erosion_implicit = c.T * erosion_slope / dz;
  w.Pa(t) += (erosion - w.SRC - w.RAIN + c.sig * ADVS) / dz;
  w.Pb(t) += (erosion_water - w.RAINR + erosion_change + c.sig * DS / c.Fs) / dz;
  const double OUTT = c.chi * OUTL + (erosion_slope + c.sig * OUTS) / dz;
  // Starred capacities: the cell with its surface water and loose sediment.
  const double Rd = w.Rd(t) + (w.kw * Ho + eps * Lo * w.kb) / (dz * L);
  const double Rd_slope = w.Rd_slope(t) + (Ho * w.kw_slope + eps * w.kb_slope * Lo) / (dz * L);
  const double dW = w.dW(t) + (w.kw * (Hn - Ho) + w.kb * eps * (Ln - Lo) +
                               (w.kw_rate * Ho + w.kb_rate * eps * Lo) * c.Fs) /
                                  (dz * c.Fs * L);
  w.Rd(t) = Rd;
  w.Rd_slope(t) = Rd_slope;
  w.dW(t) = dW;
  // Under Freundlich sorption the surface stores' sorbed part follows the isotherm too.
  if (c.nonlinear) w.sorbed_d(t) += (Ho * w.Fo_K + Lo * w.Bo_K) / (dz * L);
  const double Pt = Eout - lower;
  w.C(t) = 0.0;
  w.B(t) = c.T * (-OUTT + Pt) + gs * c.Fs * dW + gi * (Co * Rd_slope + Rd);
  w.D(t) = So * Ein + w.Co(t - 1) * AS + w.Pa(t) + c.T * w.Pb(t) + Co * (-Pt - c.lambda * Rd - gi * dW);
}

// The bottom row: the base value imposed, or inflow and outflow through the base.
void assemble_bottom_row(Column& c) {
  ContaminantColumnWork& w = c.w;
  const int b = c.b;
  w.natural_B = w.B(b);
  w.natural_C = w.C(b);
  w.natural_E = w.E(b);
  w.natural_D = w.D(b);
  if (!c.base_flux) {
    w.C(b) = 0.0;
    w.B(b) = 1.0;
    w.A(b) = 0.0;
    w.E(b) = 0.0;
    w.D(b) = (w.Cn(b) - w.Co(b)) / c.Fs;
    return;
  }
  const double Qbo = w.CM_COL_BASE_FLOW_OLD, Qbn = w.CM_COL_BASE_FLOW_NEW;
  const double u = Qbo < 0.0 ? 1.0 : 0.0;
  const double Cb = u * w.Co(b) + (1.0 - u) * w.base_value;
  w.D(b) += Qbo * Cb * c.beta + c.T * ((Qbn - Qbo) * Cb) * c.beta / c.Fs;
  w.B(b) -= c.T * Qbo * u * c.beta;
}

// ===== Freundlich sorption ============================================================
//
// A region holds a C + b C^n (water and the linear stores in a, sorption in b). The rows
// take the change of the sorbed part over the step as b s (Cn - Co), s the slope of the
// isotherm: at first its tangent at Co, then, pass by pass, its chord from Co to the
// concentration of the pass before, which makes b s (Cn - Co) = b (Cn^n - Co^n) once the
// passes settle. Whether they have settled or not, the new concentration is the one that
// holds what the row's balance left in the region (new_concentrations), so the
// contaminant's mass closes to rounding and the decay handed on is the decay the row
// took off.

// The slope of the chord of C^n from Co to C: (C^n - Co^n) / (C - Co), n Co^(n-1) in
// the limit; a C below 0 counts as 0. Co > 0.
double chord_slope(double Co, double C, double n) {
  const double r = std::max(C, 0.0) / Co - 1.0;
  const double tangent = n * std::pow(Co, n - 1.0);
  if (r == 0.0) return tangent;
  return tangent / n * std::expm1(n * std::log1p(r)) / r;
}

// The storage of each region per unit change of its concentration: the tangent, or
// with `chords` the chord to the last solve's concentration; and what the chord adds to
// the row. The imposed bottom row is no balance and takes nothing.
void set_capacities(Column& c, bool chords) {
  ContaminantColumnWork& w = c.w;
  const double gi = 1.0 + c.T * c.lambda;
  for (int i = c.b; i <= c.t; ++i) {
    const double Co = w.Co(i), So = w.So(i);
    const double tangent_d = w.Rd(i) + Co * w.Rd_slope(i);
    const double tangent_s = w.Rs(i) + So * w.Rs_slope(i);
    w.cap_d(i) = tangent_d;
    w.cap_s(i) = tangent_s;
    if (chords && c.n != 1.0) {
      const double td = c.n * std::pow(Co, c.n - 1.0), ts = c.n * std::pow(So, c.n - 1.0);
      w.cap_d(i) += w.sorbed_d(i) * (chord_slope(Co, Co + c.Fs * w.X(i), c.n) - td);
      w.cap_s(i) += w.sorbed_s(i) * (chord_slope(So, So + c.Fs * w.R(i), c.n) - ts);
    }
    w.Bp(i) = gi * (w.cap_d(i) - tangent_d);
    w.Gp(i) = gi * (w.cap_s(i) - tangent_s);
  }
  if (!c.base_flux) w.Bp(c.b) = 0.0;
}

// The concentration C >= 0 at which a C + b C^n = M (a, b >= 0, n > 0), by Newton's
// method from `guess`, kept inside a bracket around the root that a step leaving it
// halves. A content of 0 or less is a concentration of 0.
double concentration_holding(double M, double a, double b, double n, double guess) {
  if (!(M > 0.0)) return 0.0;
  if (!(b > 0.0)) return a > 0.0 ? M / a : guess;
  double lo = 0.0, hi = std::pow(M / b, 1.0 / n);
  if (a > 0.0) hi = std::min(hi, M / a);
  double C = guess > lo && guess < hi ? guess : 0.5 * hi;
  for (int iteration = 0; iteration < 200; ++iteration) {
    const double p = std::pow(C, n - 1.0);
    const double f = (a + b * p) * C - M;
    if (f == 0.0) return C;
    (f > 0.0 ? hi : lo) = C;
    double next = C - f / (a + n * b * p);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (std::fabs(next - C) <= 4.0 * std::numeric_limits<double>::epsilon() * C) return next;
    C = next;
  }
  return C;
}

// What each region of cell i loses by decay over the step, per unit scaled volume and
// time: the decay terms of its balance (the lambda in gi and gs and on the right side),
// with the storage of the last solve.
double decay_dynamic(const Column& c, int i) {
  const ContaminantColumnWork& w = c.w;
  return c.lambda * (w.Rd(i) * w.Co(i) + c.T * w.dW(i) * w.Co(i) +
                     (c.T * w.cap_d(i) + c.T2 * c.Fs * w.dW(i)) * w.X(i));
}
double decay_dead(const Column& c, int i) {
  const ContaminantColumnWork& w = c.w;
  return c.lambda * (w.Rs(i) * w.So(i) + c.T * w.dWd(i) * w.So(i) +
                     (c.T * w.cap_s(i) + c.T2 * c.Fs * w.dWd(i)) * w.R(i));
}

void solve_rows(Column& c) {
  ContaminantColumnWork& w = c.w;
  const int b = c.b, rows = c.t - c.b + 1;
  for (int i = b; i <= c.t; ++i) {
    const double G = w.G(i) + w.Gp(i);
    const double B = w.B(i) + w.Bp(i);
    w.Gt(i) = G;
    w.Bt(i) = B - w.E(i) * w.F(i) / G;
    w.Dt(i) = w.D(i) + w.E(i) * w.H(i) / G;
  }
  SOLVE_TRIDIAGONAL(ConstRealSection(&w.A(b), rows), ConstRealSection(&w.Bt(b), rows),
                    ConstRealSection(&w.C(b), rows), ConstRealSection(&w.Dt(b), rows),
                    RealSection(&w.X(b), rows), rows);
  for (int i = b; i <= c.t; ++i) w.R(i) = (w.H(i) + w.F(i) * w.X(i)) / w.Gt(i);
}

// The new concentrations, from the solved rates. Under Freundlich sorption each region
// takes the concentration that holds, at the end of the step, the content its balance
// gives: the start content plus the storage change the last solve took,
//   Rd Co + Fs (Fs dW X + cap X + dW Co),
// with the water of the end of the step (and at the top cell the surface stores as they
// stand now). The imposed bottom cell takes the base value; its storage for the budget
// is the chord to that value. The decay of each region becomes the next contaminant's
// source.
void new_concentrations(Column& c) {
  ContaminantColumnWork& w = c.w;
  const int b = c.b, t = c.t;
  const double Fs = c.Fs, n = c.n, L = c.cm.CM_LENGTH_SCALE;
  const bool freundlich = n != 1.0;
  if (!c.base_flux && freundlich) {
    // From what the cell holds at its true start concentration c0 (below the floor Co
    // it is not on the chord from Co) to what it holds at the base value.
    const double Co = w.Co(b), c0 = c.cm.CM_REL_CONC_DYNAMIC_OLD(b, c.iel, c.k);
    const double v = w.base_value;
    const double slope = c0 < Co && v != Co
                             ? (std::pow(v, n) - (c0 > 0.0 ? std::pow(c0, n) : 0.0)) / (v - Co)
                             : chord_slope(Co, v, n);
    w.cap_d(b) = w.Rd(b) + Co * w.Rd_slope(b) + w.sorbed_d(b) * (slope - n * std::pow(Co, n - 1.0));
  }
  for (int i = b; i <= t; ++i) {
    const double X = w.X(i), R = w.R(i);
    w.Cn(i) = w.Co(i) + Fs * X;
    w.Sn(i) = w.So(i) + Fs * R;
    if (freundlich) {
      const double Wn = w.CM_COL_MOBILE_FRACTION_NEW(i) * w.CM_COL_THETA_NEW(i);
      const double Wdn = w.CM_COL_THETA_NEW(i) - Wn;
      double a = Wn, sorbed = w.sorbed_d(i);
      if (i == t) {
        // Sorption to the surface stores of the end of the step.
        const double dz = w.CM_COL_THICKNESS(t);
        const double Hn = w.CM_COL_PONDED_DEPTH_NEW, Ln = w.CM_COL_LOOSE_SEDIMENT_NEW;
        const double water = (Hn + w.CM_COL_SEDIMENT_WATER_FACTOR * Ln) / (dz * L);
        const double sediment = (Hn * w.Fn_K + Ln * w.Bn_K) / (dz * L);
        sorbed = w.fs(t) * w.Kd(t) + (c.nonlinear ? sediment : 0.0);
        a += water + (c.nonlinear ? 0.0 : sediment);
      }
      const double Md = w.Rd(i) * w.Co(i) + Fs * (Fs * w.dW(i) * X + w.cap_d(i) * X + w.dW(i) * w.Co(i));
      const double Ms = w.Rs(i) * w.So(i) + Fs * (Fs * w.dWd(i) * R + w.cap_s(i) * R + w.dWd(i) * w.So(i));
      w.Cn(i) = concentration_holding(Md, a, sorbed, n, w.Cn(i));
      w.Sn(i) = concentration_holding(Ms, Wdn, w.sorbed_s(i), n, w.Sn(i));
    }
    w.P1(i) = decay_dynamic(c, i);
    w.P2(i) = decay_dead(c, i);
  }
  if (!c.base_flux) w.Cn(b) = w.base_value;
}

[[noreturn]] void not_finite(Column& c, int cell) {
  REPORT_ERROR(c.model.io, SEVERITY_FATAL, CM_NOT_FINITE_ERROR, CM_PRINT_UNIT, c.iel, cell,
               "Contaminant concentration is not a finite number after the column solve: "
               "contaminant " + std::to_string(c.k));
  throw FatalError("CM column transport: not finite");  // not reached
}

// ===== the contaminant budget =========================================================

// What the balances just solved moved across the column's outer boundaries, into the
// budget: every rate times the cell's volume over the step in m3.
void account(Column& c) {
  ContaminantColumnWork& w = c.w;
  ContaminantBudget& budget = c.cm.budget;
  const int k = c.k, b = c.b, t = c.t;
  const double V = c.cm.CM_INVERSE_VELOCITY_SCALE;
  const double area = c.model.frame.AREA(c.iel);
  // Mass (relative concentration x m3) of a rate per scaled volume over the step.
  auto mass = [&](int i, double rate) {
    return rate * c.Fs * w.CM_COL_THICKNESS(i) * c.cm.CM_LENGTH_SCALE * area / w.CM_COL_BANK_WEIGHT(i);
  };
  auto add_signed = [](double m, double& in, double& out) { (m >= 0.0 ? in : out) += std::fabs(m); };

  const double dz_t = w.CM_COL_THICKNESS(t);
  const double a = V / (w.CM_COL_DX * w.CM_COL_DY);
  const double c27 = c.cm.CM_RAIN_REL_CONC(k);
  const int src = w.CM_COL_WELL_SOURCE;
  const double Jn = src > 0 ? w.CM_COL_WELL_INPUT_NEW : 0.0;
  const double Cw = src > 0 ? c.cm.CM_WELL_REL_CONC(src, k) : 0.0;
  budget.rain_in[k] += mass(t, -a * (w.CM_COL_TOP_INPUT_NEW - Jn) * c27 / dz_t);
  budget.well_water_in[k] += mass(t, -a * Jn * Cw / dz_t);
  budget.source_in[k] += mass(t, -w.SRC / dz_t);

  for (int i = b; i <= t; ++i) {
    const double X = w.X(i);
    budget.decayed[k] += mass(i, w.P1(i) + w.P2(i));
    budget.wells_out[k] += mass(i, V * w.CM_COL_WELL_FLOW(i) * w.Co(i) / w.CM_COL_THICKNESS(i));
    for (int f = 1; f <= 4; ++f) {
      if (!w.CM_COL_NO_NEIGHBOUR[f]) continue;
      const double lo = w.CM_COL_LATERAL_FLOW_OLD(i, f), ln = w.CM_COL_LATERAL_FLOW_NEW(i, f);
      const double u = outflow_weight(lo, ln);
      const double fc = u * w.Co(i) + (1.0 - u) * w.N(i, f);
      const double DL = (ln / c.hn - lo / c.ho) * fc + c.Fs * lo * w.Nr(i, f) * (1.0 - u) / c.ho;
      const double rate = c.chi * lo * fc + c.T * c.chi * c.ho * DL / c.Fs + c.T * c.chi * u * lo * X;
      add_signed(mass(i, rate), budget.boundary_in[k], budget.boundary_out[k]);
    }
  }
  for (int f = 1; f <= 4; ++f) {
    if (!w.CM_COL_NO_NEIGHBOUR[f]) continue;
    const double so = w.CM_COL_SURFACE_FLOW_OLD[f], sn = w.CM_COL_SURFACE_FLOW_NEW[f];
    const double u = outflow_weight(so, sn);
    const double Cs = u * w.Co(t) + (1.0 - u) * w.NS[f];
    const double Ks = u * w.kw + (1.0 - u) * w.KS[f];
    const double DS = (sn - so) * Cs * Ks +
                      c.Fs * so * (w.NSr[f] * (1.0 - u) * Ks + (w.kw_rate * u + (1.0 - u) * w.KSr[f]) * Cs);
    const double OUTS = (Cs * w.kw_slope * u + u * Ks) * so;
    const double rate = c.sig * (so * Cs * Ks + c.T * DS / c.Fs + c.T * OUTS * w.X(t)) / dz_t;
    add_signed(mass(t, rate), budget.boundary_in[k], budget.boundary_out[k]);
  }

  // Through the base: with the value imposed, whatever the bottom cell's own balance
  // lacks to reach it.
  double base;
  if (c.base_flux) {
    const double Qbo = w.CM_COL_BASE_FLOW_OLD, Qbn = w.CM_COL_BASE_FLOW_NEW;
    const double u = Qbo < 0.0 ? 1.0 : 0.0;
    const double Cb = u * w.Co(b) + (1.0 - u) * w.base_value;
    base = c.beta * (Qbo * Cb + c.T * (Qbn - Qbo) * Cb / c.Fs + c.T * Qbo * u * w.X(b));
  } else {
    const double above = b < t ? w.X(b + 1) : 0.0;
    const double chord = (1.0 + c.T * c.lambda) * (w.cap_d(b) - w.Rd(b) - w.Co(b) * w.Rd_slope(b));
    base = (w.natural_B + chord) * w.X(b) + w.natural_C * above - w.natural_E * w.R(b) - w.natural_D;
  }
  add_signed(mass(b, base), budget.base_in[k], budget.base_out[k]);
  budget.erosion_in[k] += mass(t, w.erosion_explicit + w.erosion_implicit * w.X(t));
}

}  // namespace

void CM_COLUMN_TRANSPORT(Model& model, int iel) {
  ContaminantState& cm = model.contaminant;
  ContaminantColumnWork& w = cm.column_work;
  const int t = cm.CM_TOP_CELL;
  const int b = w.CM_COL_BOTTOM;
  Column c{model, cm, w};
  c.iel = iel;
  c.b = b;
  c.t = t;
  c.Fs = cm.CM_STEP_FACTOR;
  c.T = w.CM_COL_STEP_NEW;
  c.T2 = w.CM_COL_STORAGE_STEP;
  c.wi = cm.CM_IMPLICIT_WEIGHT;
  c.wo = cm.CM_OLD_FLOW_WEIGHT;
  c.hn = w.CM_COL_DEPTH_NEW;
  c.ho = w.CM_COL_DEPTH_OLD;
  c.chi = w.CM_COL_LATERAL_SCALE;
  c.sig = w.CM_COL_SURFACE_SCALE;
  c.beta = w.CM_COL_BASE_SCALE;
  c.nonlinear = cm.CM_NONLINEAR_ON;
  c.base_flux = cm.CM_BASE_FLUX_ON;

  for (int i = 1; i <= MAX_CELLS_PER_COLUMN; ++i) {
    w.P1(i) = w.P2(i) = 0.0;
  }
  for (int k = 1; k <= cm.NCON; ++k) {
    c.k = k;
    // 1. Start-of-step concentrations, floored so that a clean start stays defined;
    // above the top cell there is nothing.
    for (int i = b; i <= t; ++i) {
      w.Co(i) = std::max(cm.CM_REL_CONC_DYNAMIC_OLD(i, iel, k), CM_CONCENTRATION_FLOOR);
      w.So(i) = std::max(cm.CM_REL_CONC_DEAD_SPACE_OLD(i, iel, k), CM_CONCENTRATION_FLOOR);
    }
    w.Co(t + 1) = 0.0;
    w.So(t + 1) = 0.0;
    // 2. Parameters of the cells.
    for (int i = b; i <= t; ++i) {
      const int soil = w.CM_COL_SOIL(i);
      w.Kd(i) = cm.CM_SOIL_KD(soil, k);
      w.fs(i) = cm.CM_DYNAMIC_SORPTION_FRACTION(soil, k);
      w.alpha(i) = cm.CM_DEAD_SPACE_EXCHANGE(soil, k);
      w.Dm1(i) = w.Dm2(i) = CM_MOLECULAR_DIFFUSION * cm.CM_INVERSE_DIFFUSIVITY;
    }
    w.Dm1(t + 1) = w.Dm2(t + 1) = 0.0;
    c.n = cm.CM_FREUNDLICH_EXPONENT(k);
    c.lambda = cm.CM_DECAY_RATE_SCALED(k);
    // 3. Terms from outside the column's cells.
    face_terms(c);
    base_value(c);
    surface_capacities(c);
    top_input(c);
    bank_exchange(c);
    cell_sources(c);
    // 4-7. The balances.
    assemble_rows(c);
    assemble_top_row(c);
    assemble_bottom_row(c);
    // 8, 9. Solve with the dead space eliminated; Freundlich sorption follows in a
    // fixed number of further passes along the chords of the isotherm.
    set_capacities(c, false);
    solve_rows(c);
    if (c.nonlinear) {
      for (int pass = 1; pass <= CM_NONLINEAR_PASSES; ++pass) {
        set_capacities(c, true);
        solve_rows(c);
      }
    }
    // 10. New concentrations; the daughter inherits what decayed.
    new_concentrations(c);
    // 11. Store.
    for (int i = b; i <= t; ++i) {
      if (!std::isfinite(w.Cn(i)) || !std::isfinite(w.Sn(i))) not_finite(c, i);
    }
    const double least = c.n < 1.0 ? 0.0 : CM_CONCENTRATION_FLOOR;
    for (int i = 1; i <= t; ++i) {
      cm.CM_REL_CONC_DYNAMIC(i, iel, k) = std::max(w.Cn(i), least);
      cm.CM_REL_CONC_DEAD_SPACE(i, iel, k) = std::max(w.Sn(i), least);
    }
    // 12. For the link.
    bank_capacities(c);
    account(c);
  }
  // The sediment composition as these terms saw it: once per step, so that every
  // contaminant of the step sees the same change.
  const SedimentState& sed = model.sediment;
  for (int g = 1; g <= sed.NSED; ++g) {
    cm.CM_FBETA_PREVIOUS(iel, g) = sed.FBETA(iel, g);
    cm.CM_FDEL_PREVIOUS(iel, g) = sed.FDEL(iel, g);
  }
}

}  // namespace quendal
