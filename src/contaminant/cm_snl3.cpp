#include "contaminant/cm_snl3.h"

#include <array>
#include <cmath>
#include <utility>

#include "services/predicates.h"

namespace quendal {

namespace {

constexpr const char* FATAL_ERROR_1 = " LINK: FATAL CONVERGENCE ERROR 1 IN SNL3";
constexpr const char* FATAL_ERROR_2 = " LINK: FATAL CONVERGENCE ERROR 2 IN SNL3";
constexpr const char* CARETS = "        ^^^^^^^^^^^^^^^^^^^^^^^^^";
constexpr const char* ERROR_3 = "  LINK: CONVERGENCE ERROR 3 IN SNL3";
constexpr const char* ERROR_3_SUPPRESSED =
    " LINK: CONVERGENCE ERROR 3 IN SNL3 - MESSAGES NOW SUPPRESSED";

// Relative size of a residual that rounding of the terms of an equation can leave:
// a few hundred units of the last place of doubles.
constexpr double ROUNDING_RESIDUAL = 1e-13;

// One sweep, each unknown from the newest values of the others and its own value before
// the update in the divisor. False when a divisor is zero: the sweep stops there.
bool sweep(const Snl3Coefficients& k, double& X, double& Y, double& Z) {
  double d = k.A1 + k.B1 * X;
  if (d == 0.0) return false;
  X = ((k.C1 + k.D1 * Y) * Y + k.E1 * Z + k.G1) / d;
  d = k.C2 + k.D2 * Y;
  if (d == 0.0) return false;
  Y = ((k.A2 + k.B2 * X) * X + k.G2 + (k.E2 + k.F2 * Z) * Z) / d;
  d = k.C3 + k.D3 * Z;
  if (d == 0.0) return false;
  Z = ((k.A3 + k.B3 * Y) * Y + k.G3) / d;
  return true;
}

// The linear part of the three equations as a matrix M (X, Y, Z) = g.
struct Linear3 {
  double m[3][3];
  double g[3];
};

// Gaussian elimination with partial pivoting on a copy, each row first brought to its
// largest coefficient's power of two (exactly, so a row keeps its digits): the
// compartments' rows differ in size by the ratio of their capacities (1 for the water
// against the sorption coefficient, up to 1e10, for the bed), and a pivot is judged
// against its own row. False when a row is zero, a pivot vanishes against its row (a
// singular or nearly singular system) or a value is not finite.
bool solve_linear3(Linear3 s, double x[3]) {
  for (int r = 0; r < 3; ++r) {
    double largest = 0.0;
    for (double v : s.m[r]) largest = std::fmax(largest, std::fabs(v));
    if (!(largest > 0.0) || !std::isfinite(largest)) return false;
    int exponent = 0;
    std::frexp(largest, &exponent);
    for (double& v : s.m[r]) v = std::ldexp(v, -exponent);
    s.g[r] = std::ldexp(s.g[r], -exponent);
  }
  for (int c = 0; c < 3; ++c) {
    int p = c;
    for (int r = c + 1; r < 3; ++r) {
      if (std::fabs(s.m[r][c]) > std::fabs(s.m[p][c])) p = r;
    }
    if (!(std::fabs(s.m[p][c]) > 0.5e-14)) return false;
    if (p != c) {
      for (int j = 0; j < 3; ++j) std::swap(s.m[p][j], s.m[c][j]);
      std::swap(s.g[p], s.g[c]);
    }
    for (int r = c + 1; r < 3; ++r) {
      const double f = s.m[r][c] / s.m[c][c];
      for (int j = c; j < 3; ++j) s.m[r][j] -= f * s.m[c][j];
      s.g[r] -= f * s.g[c];
    }
  }
  for (int r = 2; r >= 0; --r) {
    double v = s.g[r];
    for (int j = r + 1; j < 3; ++j) v -= s.m[r][j] * x[j];
    x[r] = v / s.m[r][r];
  }
  return std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]);
}

// The equations as residuals F(X, Y, Z) = 0 with their Jacobian, for Newton's method;
// at X = Y = Z = 0 it is the linear part of the system.
Linear3 newton_system(const Snl3Coefficients& k, double X, double Y, double Z) {
  Linear3 s;
  s.g[0] = -((k.A1 + k.B1 * X) * X - (k.C1 + k.D1 * Y) * Y - k.E1 * Z - k.G1);
  s.g[1] = -((k.C2 + k.D2 * Y) * Y - (k.A2 + k.B2 * X) * X - (k.E2 + k.F2 * Z) * Z - k.G2);
  s.g[2] = -((k.C3 + k.D3 * Z) * Z - (k.A3 + k.B3 * Y) * Y - k.G3);
  s.m[0][0] = k.A1 + 2.0 * k.B1 * X;
  s.m[0][1] = -(k.C1 + 2.0 * k.D1 * Y);
  s.m[0][2] = -k.E1;
  s.m[1][0] = -(k.A2 + 2.0 * k.B2 * X);
  s.m[1][1] = k.C2 + 2.0 * k.D2 * Y;
  s.m[1][2] = -(k.E2 + 2.0 * k.F2 * Z);
  s.m[2][0] = 0.0;
  s.m[2][1] = -(k.A3 + 2.0 * k.B3 * Y);
  s.m[2][2] = k.C3 + 2.0 * k.D3 * Z;
  return s;
}

constexpr int NEWTON_MAX_STEPS = 50;

// The sweeps converge only as fast as the coupling between the equations allows: a
// compartment that exchanges far more with its neighbour than it keeps (a thin film of
// water over an eroding bed) makes them crawl, and 100 sweeps stop far from the solution.
// A linear system (no quadratic terms) is therefore solved exactly by elimination; a
// quadratic one by Newton's method started from the solution of its linear part, taken
// only when the steps shrink to rounding. False when neither gives an answer.
bool direct_solution(const Snl3Coefficients& k, double& X, double& Y, double& Z) {
  double x[3] = {0.0, 0.0, 0.0};
  const bool linear_found = solve_linear3(newton_system(k, 0.0, 0.0, 0.0), x);
  const bool linear = k.B1 == 0.0 && k.D1 == 0.0 && k.B2 == 0.0 && k.D2 == 0.0 &&
                      k.F2 == 0.0 && k.B3 == 0.0 && k.D3 == 0.0;
  if (linear) {
    X = x[0], Y = x[1], Z = x[2];
    return linear_found;
  }
  if (!linear_found) x[0] = x[1] = x[2] = 0.0;
  for (int n = 0; n < NEWTON_MAX_STEPS; ++n) {
    double d[3];
    if (!solve_linear3(newton_system(k, x[0], x[1], x[2]), d)) return false;
    for (int i = 0; i < 3; ++i) x[i] += d[i];
    const double size = std::fabs(x[0]) + std::fabs(x[1]) + std::fabs(x[2]);
    const double step = std::fabs(d[0]) + std::fabs(d[1]) + std::fabs(d[2]);
    if (!std::isfinite(size)) return false;
    if (step <= 1e-14 * size) {
      X = x[0], Y = x[1], Z = x[2];
      return true;
    }
  }
  return false;
}

// One equation's residual relative to its constant term G (0 when G is zero). A
// residual within rounding of the equation's own terms is 0 too: a G that is itself
// rounding noise (a balance of start values that cancel) would otherwise turn an exact
// solution into a failure.
double relative_residual(const std::array<double, 4>& terms, double G) {
  if (IS_ZERO(G)) return 0.0;
  double r = 0.0, size = 0.0;
  for (double t : terms) {
    r += t;
    size += std::fabs(t);
  }
  if (std::fabs(r) <= ROUNDING_RESIDUAL * size) return 0.0;
  return r / G;
}

// A failure of the residual test or of the arithmetic: counted over the whole run, with
// its message while the count allows.
void count_failure(int& failure_count, RecordSink& console) {
  ++failure_count;
  if (failure_count < SNL3_MESSAGE_LIMIT) {
    console.write_record(ERROR_3);
  } else if (failure_count == SNL3_MESSAGE_LIMIT) {
    console.write_record(ERROR_3_SUPPRESSED);
  }
}

}  // namespace

Snl3Outcome SNL3(const Snl3Coefficients& k, double& X, double& Y, double& Z,
                 int& failure_count, RecordSink& console) {
  // A direct solution needs no sweeps and has nothing left to settle; only when there is
  // none do the sweeps run from zero.
  const bool direct = direct_solution(k, X, Y, Z);
  bool sound = true;
  if (!direct) {
    X = Y = Z = 0.0;
    for (int n = 0; n < SNL3_MAX_SWEEPS && sound; ++n) sound = sweep(k, X, Y, Z);
  }
  sound = sound && std::isfinite(X) && std::isfinite(Y) && std::isfinite(Z);
  if (!sound) {
    // A zero divisor or an overflow leaves nothing worth keeping: the caller keeps the
    // start values, which is what zero rates of change give.
    X = Y = Z = 0.0;
    count_failure(failure_count, console);
    return Snl3Outcome::non_finite;
  }
  const double X100 = X, Y100 = Y, Z100 = Z;

  const double Xb = IS_ZERO(k.B1)
                        ? X
                        : (k.E1 - k.A1 + std::fabs(2.0 * k.D1 * Y + k.C1)) / (2.0 * k.B1);
  const double Yb = IS_ZERO(k.D2) ? Y
                                  : (std::fabs(2.0 * k.B2 * X + k.A2) - k.C2 +
                                     std::fabs(2.0 * k.F2 * Z + k.E2)) /
                                        (2.0 * k.D2);
  const double Zb =
      IS_ZERO(k.D3) ? Z : (std::fabs(2.0 * k.B3 * Y + k.A3) - k.C3) / (2.0 * k.D3);
  if (X < Xb || Y < Yb || Z < Zb) {
    console.write_record(FATAL_ERROR_1);
    console.write_record(CARETS);
  }

  // Three more sweeps, each compared with the 100-sweep values.
  for (int n = 0; n < 3 && !direct; ++n) {
    if (!sweep(k, X, Y, Z)) {
      sound = false;
      break;
    }
    const double S = std::fabs(X) + std::fabs(Y) + std::fabs(Z);
    if (IS_NON_ZERO(S) &&
        (std::fabs(X - X100) + std::fabs(Y - Y100) + std::fabs(Z - Z100)) / S > 0.01) {
      console.write_record(FATAL_ERROR_2);
      console.write_record(CARETS);
    }
  }
  sound = sound && std::isfinite(X) && std::isfinite(Y) && std::isfinite(Z);

  double residual = 0.0;
  if (sound) {
    const double R1 = relative_residual(
        {(k.A1 + k.B1 * X) * X, -k.E1 * Z, -k.G1, -(k.C1 + k.D1 * Y) * Y}, k.G1);
    const double R2 = relative_residual(
        {(k.C2 + k.D2 * Y) * Y, -(k.A2 + k.B2 * X) * X, -(k.E2 + k.F2 * Z) * Z, -k.G2}, k.G2);
    const double R3 =
        relative_residual({(k.C3 + k.D3 * Z) * Z, -(k.A3 + k.B3 * Y) * Y, -k.G3, 0.0}, k.G3);
    residual = std::fabs(R1) + std::fabs(R2) + std::fabs(R3);
    // A residual that is not a number is a failure like a large one (the comparison
    // alone would let it pass).
    sound = std::isfinite(residual);
  }
  if (!sound) {
    X = Y = Z = 0.0;
    count_failure(failure_count, console);
    return Snl3Outcome::non_finite;
  }
  if (residual >= 0.01) {
    count_failure(failure_count, console);
    return Snl3Outcome::residual_failure;
  }
  return Snl3Outcome::converged;
}

}  // namespace quendal

namespace quendal {

namespace {
inline double plus(double x) { return x > 0.0 ? x : 0.0; }
inline double minus(double x) { return x < 0.0 ? -x : 0.0; }

// What the water entering through one end carries: the flow-weighted mean of what the
// neighbours in the end's three slots deliver, scaled to the link's own inflow V. The
// mean is over the neighbours that deliver: one that takes water from the end (a link
// leaving the same junction) delivers nothing, and counting its flow against the others
// would raise the mean above every concentration delivered, or turn it negative.
double end_inflow(const ContaminantLinkWork& w, int first_slot, double V) {
  if (!(V > 0.0)) return 0.0;
  double P = 0.0, Q = 0.0;
  for (int k = first_slot; k < first_slot + 3; ++k) {
    const double av = plus(w.NEIGHBOUR_VELOCITY(k)) * w.NEIGHBOUR_AREA(k);
    P += av;
    Q += av * w.NEIGHBOUR_CAPACITY(k) * w.NEIGHBOUR_REL_CONC(k);
  }
  return IS_NON_ZERO(P) ? w.WATER_AREA * V * Q / P : 0.0;
}
}  // namespace

double CM_LINK_BANK_STORE(const ContaminantLinkWork& w, int top) {
  double store = 0.0;
  for (int s = 1; s <= 2; ++s) {
    for (int c = w.FIRST_CELL_ABOVE_BED(s); c <= top; ++c) {
      store += (w.BANK_DYNAMIC_CAPACITY(s, c) * w.BANK_REL_CONC(s, c) +
                w.BANK_DEAD_CAPACITY(s, c) * w.BANK_DEAD_REL_CONC(s, c)) *
               w.BANK_CELL_THICKNESS(s, c);
    }
  }
  return store;
}

namespace {

// The three rows of the link balance in the rates of change X, Y, Z of the water, the
// surface layer and the deep layer over the step, and (in `held`) the right-hand sides of
// the same rows written for the end concentrations Cw0 + dt X, Cs0 + dt Y, Cd0 + dt Z
// with every capacity's slope zero: dt G + (the row's matrix times the start values),
// in which every exchange at the start concentrations cancels, formed from what each
// compartment held at the start and what enters it, with no subtraction.
void link_rows(const ContaminantLinkWork& w, double Cd0, double Cs0, double Cw0, double dt,
               int top, Snl3Coefficients& k, double held[3]) {
  const double A = w.WATER_AREA, dA = w.WATER_AREA_RATE, B = w.BED_AREA, dB = w.BED_AREA_RATE;
  const double As = w.SURFACE_LAYER_AREA, W = w.WET, ell = w.LENGTH;
  const double rdp = plus(w.DEPOSITION_RATE), rdm = minus(w.DEPOSITION_RATE);
  const double lambda = w.DECAY, lambda_p = w.PARENT_DECAY;
  const double chi47 = w.LAYER_EXCHANGE, chi49 = w.WATER_BED_EXCHANGE;
  const double Qr = w.RAIN_INPUT, Qq = w.SOURCE_INPUT;
  const CmCapacity& kw = w.WATER_CAPACITY;
  const CmCapacity& kp = w.DEPOSIT_CAPACITY;
  const CmCapacity& ks = w.SURFACE_LAYER_CAPACITY;
  const CmCapacity& kd = w.DEEP_LAYER_CAPACITY;
  const CmTransfer& Fs = w.WATER_TRANSFER;
  const CmTransfer& Fd = w.BED_TRANSFER;

  // Capacities over the step, and the storage per unit change of the concentration:
  // the capacity and its tangent at the start concentration. The balance is linear in
  // the change: a tangent held over the whole change (the slope times the change
  // squared) turns over under an exponent below 1 and holds no concentration that rises
  // far above its start.
  const double Kw = kw.cap + kw.rate * dt, Kw1 = Kw + kw.slope * Cw0;
  const double Kp = kp.cap + kp.rate * dt, Kp1 = Kp + kp.slope * Cw0;
  const double Ks = ks.cap + ks.rate * dt, Ks1 = Ks + ks.slope * Cs0;
  const double Kd = kd.cap + kd.rate * dt, Kd1 = Kd + kd.slope * Cd0;

  // Flow terms.
  const double V1 = w.END_VELOCITY(1), V2 = w.END_VELOCITY(2);
  const double u = (minus(V1) + minus(V2)) / ell;
  const double M = 1.0 + (u + lambda) * dt;
  const double N = 1.0 + (lambda + rdm) * dt;
  const double qs1 = w.SIDE_FLOW(1), qs2 = w.SIDE_FLOW(2);
  const double qo = minus(qs1) + minus(qs2);
  const double w1 = w.WET_EXCHANGE(1), w2 = w.WET_EXCHANGE(2);
  const double wo = minus(w1) + minus(w2);
  const double wi = plus(w1) + plus(w2);
  double Sin = 0.0, Sout = 0.0;
  for (int s = 1; s <= 2; ++s) {
    for (int c = w.FIRST_CELL_ABOVE_BED(s); c <= top; ++c) {
      const double p = w.BANK_LATERAL_FLUX(s, c);
      Sin += plus(p) * w.BANK_REL_CONC(s, c);
      Sout += minus(p);
    }
  }
  const double Eb = IS_ZERO(w.BANK_EROSION) ? 0.0 : w.BANK_EROSION * CM_LINK_BANK_STORE(w, top);
  const double DEP = Kp1 * rdp * B;
  const double As1 = As + (B * (rdp + rdm) + lambda * As) * dt;
  const double I = end_inflow(w, 1, V1) + end_inflow(w, 4, V2);
  const double Tw = w.PARENT_CAPACITY(1) * w.PARENT_REL_CONC(1) * A * lambda_p;
  const double Ts = w.PARENT_CAPACITY(2) * w.PARENT_REL_CONC(2) * As * lambda_p;
  const double Td = w.PARENT_CAPACITY(3) * w.PARENT_REL_CONC(3) * B * lambda_p;

  // The sorbed transfers of infiltrating sediment, downwards (carried by the upper
  // compartment's concentration) or upwards (by the lower one's).
  const double Fd_down = Fd.upward ? 0.0 : Fd.linear, Fd_up = Fd.upward ? Fd.linear : 0.0;
  const double Fs_down = Fs.upward ? 0.0 : Fs.linear, Fs_up = Fs.upward ? Fs.linear : 0.0;
  const double sd = Fd.upward ? -1.0 : 1.0, sw = Fs.upward ? -1.0 : 1.0;

  // Deep layer.
  k.C3 = Kd1 * B * N + (wo + wi + chi47 + Fd_up) * dt;
  k.A3 = (wo + Fd_down + rdp * Ks1 * B + chi47) * dt;
  k.G3 = Td + (rdp * Ks * Cs0 - (lambda + rdm) * Kd * Cd0) * B - (dB * kd.cap + kd.rate * B) * Cd0 +
         plus(w1) * (w.BANK_BOTTOM_REL_CONC(1) - Cd0) + plus(w2) * (w.BANK_BOTTOM_REL_CONC(2) - Cd0) -
         wo * (Cd0 - Cs0) + sd * Fd.value + sd * Fd.rate * dt - chi47 * (Cd0 - Cs0);
  // Surface layer.
  k.C2 = (wo + wi + Fd_down + chi47 + W * chi49 + Fs_up) * dt + Ks1 * As1;
  k.A2 = (Fs_down + wo + DEP + W * chi49) * dt;
  k.E2 = (Kd1 * rdm * B + wi + chi47 + Fd_up) * dt;
  k.G2 = Ts + (rdp * Kp * Cw0 + rdm * Kd * Cd0) * B - ks.rate * Cs0 * As -
         (B * (rdp + rdm) + lambda * As) * Ks * Cs0 - wo * (Cs0 - Cw0) + wi * (Cd0 - Cs0) -
         (1.0 - W) * (Qr + Qq) + sw * Fs.value - sd * Fd.value + (sw * Fs.rate - sd * Fd.rate) * dt -
         W * chi49 * (Cs0 - Cw0) + chi47 * (Cd0 - Cs0);
  // Water: solved only in a wet channel; a dry one has X = 0.
  if (W >= 0.5) {
    k.A1 = (Kw1 * qo + Sout + wo + Fs_down + DEP + chi49) * dt + Kw1 * A * M;
    k.C1 = (chi49 + wi + rdm * Ks1 * B + Fs_up) * dt;
    k.E1 = 0.0;
    k.G1 = Tw - (Sout + wo + dA * kw.cap + kw.rate * A) * Cw0 - (qo + (u + lambda) * A) * Kw * Cw0 +
           (rdm * Ks * Cs0 - rdp * Kp * Cw0) * B + Eb + Sin +
           plus(qs1) * w.BANK_CAPACITY(1) * w.BANK_TOP_REL_CONC(1) +
           plus(qs2) * w.BANK_CAPACITY(2) * w.BANK_TOP_REL_CONC(2) + I / ell + wi * Cs0 - (Qr + Qq) -
           sw * Fs.value - sw * Fs.rate * dt + chi49 * (Cs0 - Cw0);
  } else {
    k.A1 = 1.0;
  }

  // What each compartment held at the start: its capacity then over its area then (the
  // end area less its change over the step, an area, not below zero).
  const double held_w = kw.cap * std::fmax(A - dt * dA, 0.0) * Cw0;
  const double held_s = ks.cap * As * Cs0;
  const double held_d = kd.cap * std::fmax(B - dt * dB, 0.0) * Cd0;
  held[0] = W >= 0.5 ? dt * (Tw + Eb + Sin + plus(qs1) * w.BANK_CAPACITY(1) * w.BANK_TOP_REL_CONC(1) +
                             plus(qs2) * w.BANK_CAPACITY(2) * w.BANK_TOP_REL_CONC(2) + I / ell -
                             (Qr + Qq) - sw * Fs.rate * dt) +
                           held_w
                     : Cw0;
  held[1] = dt * (Ts - (1.0 - W) * (Qr + Qq) + (sw * Fs.rate - sd * Fd.rate) * dt) + held_s;
  held[2] = dt * (Td + plus(w1) * w.BANK_BOTTOM_REL_CONC(1) + plus(w2) * w.BANK_BOTTOM_REL_CONC(2) +
                  sd * Fd.rate * dt) +
            held_d;
}

}  // namespace

Snl3Outcome CM_LINK_BALANCE(const ContaminantLinkWork& w, double Cd0, double& Cd, double Cs0,
                            double& Cs, double Cw0, double& Cw, double dt, int top,
                            int& failure_count, RecordSink& console) {
  Snl3Coefficients k;
  double held[3];
  link_rows(w, Cd0, Cs0, Cw0, dt, top, k, held);
  double X = 0.0, Y = 0.0, Z = 0.0;
  const Snl3Outcome outcome = SNL3(k, X, Y, Z, failure_count, console);
  Cd = Cd0 + dt * Z;
  Cs = Cs0 + dt * Y;
  Cw = Cw0 + dt * X;
  return outcome;
}

bool CM_LINK_BALANCE_AT_END(const ContaminantLinkWork& w, double Cd0, double& Cd, double Cs0,
                            double& Cs, double Cw0, double& Cw, double dt, int top) {
  Snl3Coefficients k;
  double r[3];
  link_rows(w, Cd0, Cs0, Cw0, dt, top, k, r);
  //  A1 Cw - C1 Cs - E1 Cd = r1
  // -A2 Cw + C2 Cs - E2 Cd = r2
  //        - A3 Cs + C3 Cd = r3
  // With the sediment infiltrating downwards (the sorbed transfers' coefficients 0 or
  // more) every coefficient named is 0 or more and each column's diagonal outweighs the
  // rest of the column: an M-matrix. Elimination in order keeps it one, each pivot
  // positive and each multiplier 0 or more, so the right-hand sides and the solution
  // gather non-negative terms only.
  const double f = k.A2 / k.A1;
  const double C2 = k.C2 - f * k.C1, E2 = k.E2 + f * k.E1, r2 = r[1] + f * r[0];
  const double g = k.A3 / C2;
  const double C3 = k.C3 - g * E2, r3 = r[2] + g * r2;
  if (!(k.A1 > 0.0) || !(C2 > 0.0) || !(C3 > 0.0)) return false;
  const double d = r3 / C3;
  const double s = (r2 + E2 * d) / C2;
  const double c = (r[0] + k.C1 * s + k.E1 * d) / k.A1;
  if (!std::isfinite(c) || !std::isfinite(s) || !std::isfinite(d)) return false;
  Cw = c;
  Cs = s;
  Cd = d;
  return true;
}

}  // namespace quendal
