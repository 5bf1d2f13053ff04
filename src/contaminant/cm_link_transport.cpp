#include "contaminant/cm_link_transport.h"

#include <cmath>

#include "contaminant/cm_snl3.h"
#include "services/predicates.h"

namespace quendal {

CmCapacity CM_SORPTION_COEFFICIENTS_GUARDED(double C, double base_old, double base_new,
                                            const CmSizeWeights& w_old,
                                            const CmSizeWeights& w_new, const CmSizeWeights& K,
                                            int N, bool nonlinear, double n, double dt) {
  CmCapacity c;
  double Ko = 0.0, Kn = 0.0;
  for (int g = 1; g <= N; ++g) {
    Ko += w_old[g] * K[g];
    Kn += w_new[g] * K[g];
  }
  if (!nonlinear) {
    // Whatever the concentration: a capacity that dropped to the base where the
    // concentration is zero would jump back by the sorbed share once it is not, and
    // multiply what the compartment holds by it.
    c.cap = base_old + Ko;
    c.rate = (base_new - base_old + Kn - Ko) / dt;
  } else if (IS_ZERO(C) || C < 0.0) {
    // The power of a concentration at or below zero is not a number: no sorption at the
    // start; the link balance's passes give it from the concentration reached.
    c.cap = base_old;
    c.rate = (base_new - base_old) / dt;
    c.end_base = base_new;
    c.sorbed = Kn;
  } else {
    const double P = std::pow(C, n - 2.0);
    c.sorbed = Kn;
    c.end_base = 2.0 * base_new - base_old;
    c.cap = base_new + Ko * P * C;
    c.slope = (n - 1.0) * Ko * P;
    c.rate = (base_new - base_old + (Kn - Ko) * P * C) / dt;
  }
  return c;
}

CmTransfer CM_SORBED_TRANSFER(const CmCapacity& c, double porosity, double C0,
                              double infiltration) {
  // The transfer per unit of concentration, taken at the start of the step (it holds
  // over the whole step for linear sorption) and carried by the concentration at its end.
  const double per_conc = (c.cap - porosity) * infiltration;
  return {per_conc * C0, per_conc, c.rate * C0 * infiltration};
}

namespace {

// Passes of the link balance under Freundlich sorption, at most.
constexpr int CM_LINK_FREUNDLICH_PASSES = 10;

// The console of the passes before the last, whose outcome nobody reads.
class QuietSink : public RecordSink {
 public:
  void write_record(std::string_view) override {}
};

// A compartment's capacity at the end of the step at concentration C under Freundlich
// sorption: end_base + sorbed x C^(n-1); at or below zero the bare base.
double capacity_at(const CmCapacity& c, double C, double n) {
  if (!(C > 0.0) || !(c.sorbed > 0.0)) return c.end_base;
  return c.end_base + c.sorbed * std::pow(C, n - 1.0);
}

// The concentration C >= 0 at which a compartment holds `held` per unit volume at the end
// of the step: end_base C + sorbed C^n = held (at most one C: the left side rises with
// C). Newton's method in log C, where the left side is a sum of exponentials (convex and
// rising), from the upper end of the bracket below: each step stays above the root and
// the steps shrink quadratically. The root lies between where each term alone would hold
// `held` and where each would hold half of it, a factor 2^(1/n) apart at most.
double concentration_holding(const CmCapacity& c, double held, double n) {
  const double a = c.end_base, s = c.sorbed;
  if (!(held > 0.0)) return 0.0;
  if (!(s > 0.0) || n == 1.0) return held / (a + s);
  double C = std::pow(held / s, 1.0 / n);
  if (a > 0.0) C = std::fmin(C, held / a);
  for (int i = 0; i < 100; ++i) {
    const double linear = a * C, power = s * std::pow(C, n);
    const double excess = linear + power - held;
    if (!(excess > 0.0)) break;
    const double step = excess / (linear + n * power);
    C *= std::exp(-step);
    if (step <= 1e-15) break;
  }
  return C;
}

// The capacity of a compartment at the concentration c it reached over the step, from
// its capacity over the step at the start concentration c0, `total`, of which `base`
// does not depend on the concentration. Linear: `total`. Freundlich: along the isotherm,
// whose sorbed part goes with c^(n-1); a tangent held from c0 to c misses it by far once
// c is many times c0, and gives a negative capacity under n < 1.
double capacity_reached(double total, double base, double c0, double c, bool nonlinear,
                        double n) {
  if (!nonlinear || !(c0 > 0.0) || !(c > 0.0)) return total;
  return base + (total - base) * std::pow(c / c0, n - 1.0);
}

}  // namespace

void CM_LINK_TRANSPORT(int l, Model& model) {
  ContaminantState& cm = model.contaminant;
  ContaminantLinkWork& w = cm.link_work;
  const FrameState& frame = model.frame;
  const SurfaceState& surface = model.surface;
  const SedimentState& sed = model.sediment;
  const int LL = model.subsurface.LL;
  const double D = cm.CM_DIFFUSIVITY_SCALE;
  const double dt = cm.CM_STEP_FACTOR;
  const int NSED = sed.NSED;
  const double length = frame.CLENTH(l);
  const double width = surface.CWIDTH(l);
  const bool wet = w.WET > 0.5;
  // Mass, in relative concentration x m3, of one unit of a balance term over the step.
  const double mass_unit = dt * cm.CM_AREA_SCALE * length;

  for (int k = 1; k <= 3; ++k) w.PARENT_REL_CONC(k) = w.PARENT_CAPACITY(k) = 0.0;
  w.PARENT_DECAY = 0.0;

  // Shares of each size group in the sediment infiltrating the deep layer and the
  // surface layer; a zero total counts as 1.
  CmSizeWeights fD{}, fS{};
  double sum_deep = 0.0, sum_surface = 0.0;
  for (int g = 1; g <= NSED; ++g) {
    sum_deep += sed.SY_INFILTRATION_RATE_DEEP(l, g);
    sum_surface += sed.SY_INFILTRATION_RATE_SURFACE(l, g);
  }
  const double share_deep = IS_ZERO(sum_deep) ? 1.0 : sum_deep;
  const double share_surface = IS_ZERO(sum_surface) ? 1.0 : sum_surface;
  for (int g = 1; g <= NSED; ++g) {
    fD[g] = sed.SY_INFILTRATION_RATE_DEEP(l, g) / share_deep;
    fS[g] = sed.SY_INFILTRATION_RATE_SURFACE(l, g) / share_surface;
  }

  // Composition of the bed (loose sediment over the bed soil) now and at the last step,
  // the share of each group in the depositing sediment, and the suspended sediment.
  // The previous values move on once per step, after every contaminant has used them.
  CmSizeWeights bed_old{}, bed_new{}, dep_old{}, dep_new{}, fdel_old{}, fdel_new{};
  {
    const double wD = sed.DLS(l) * width;
    const double wB = (w.BED_AREA - w.SURFACE_LAYER_AREA) * cm.CM_AREA_SCALE;
    const int soil = cm.CM_LINK_BED_SOIL(l);
    const double total = wD + wB;
    for (int g = 1; g <= NSED; ++g) {
      const double soil_fraction = soil >= 1 ? sed.SOSDFN(soil, g) : 0.0;
      // No loose sediment and no deep layer: the bed is its soil (as at initialisation).
      bed_new[g] = IS_ZERO(total) ? soil_fraction
                                  : (sed.FBETA(l, g) * wD + soil_fraction * wB) / total;
      bed_old[g] = cm.CM_LINK_BED_FRACTIONS_PREVIOUS(l, g);
      dep_old[g] = cm.CM_LINK_BED_SIZE_SHARE_PREVIOUS(l, g);
      dep_new[g] = cm.CM_LINK_BED_SIZE_SHARE(l, g);
      fdel_old[g] = cm.CM_FDEL_PREVIOUS(l, g);
      fdel_new[g] = sed.FDEL(l, g);
    }
  }
  const double porosity = sed.PBSED(l);
  const double theta_old = cm.CM_LINK_BED_THETA_OLD(l), theta_new = cm.CM_LINK_BED_THETA(l);

  ContaminantLinkBudget& budget = cm.link_budget;
  const bool nonlinear = cm.CM_NONLINEAR_ON;
  for (int k = 1; k <= cm.NCON; ++k) {
    const double n = cm.CM_FREUNDLICH_EXPONENT(k);
    // Bank cells: the start-of-step state above the bed, the exchange concentration
    // each bank column left for the link, and the bank's present top cell.
    for (int s = 1; s <= 2; ++s) {
      const int e = w.BANK_ELEMENT(s);
      w.BANK_BOTTOM_REL_CONC(s) = cm.CM_BANK_EXCHANGE_CONC(l, s, k);
      for (int c = w.FIRST_CELL_ABOVE_BED(s); c <= LL; ++c) {
        w.BANK_REL_CONC(s, c) = cm.CM_REL_CONC_DYNAMIC_OLD(c, e, k);
        w.BANK_DEAD_REL_CONC(s, c) = cm.CM_REL_CONC_DEAD_SPACE_OLD(c, e, k);
        w.BANK_DYNAMIC_CAPACITY(s, c) = cm.CM_BANK_CAPACITY_DYNAMIC[k](c, s, l);
        w.BANK_DEAD_CAPACITY(s, c) = cm.CM_BANK_CAPACITY_DEAD_SPACE[k](c, s, l);
      }
      const double top = cm.CM_REL_CONC_DYNAMIC(LL, e, k);
      w.BANK_TOP_REL_CONC(s) = top;
      // Capacity of the bank's surface water that enters over the side.
      w.BANK_CAPACITY(s) =
          capacity_reached(cm.CM_SURFACE_CAPACITY(e, k) + cm.CM_SURFACE_CAPACITY_RATE(e, k) * dt,
                           1.0, cm.CM_REL_CONC_DYNAMIC_OLD(LL, e, k), top, nonlinear, n);
    }

    const double Cd0 = cm.CM_REL_CONC_DYNAMIC_OLD(LL - 2, l, k);
    const double Cs0 = cm.CM_REL_CONC_DYNAMIC_OLD(LL - 1, l, k);
    // A dry link's water has the uniform value.
    const double Cw0 = wet ? cm.CM_REL_CONC_DYNAMIC_OLD(LL, l, k) : cm.CM_UNIFORM_REL_CONC(k);

    // Water from the ends: a free end brings the link's inflow concentration with
    // capacity 1; a neighbour its present water with its capacity over the step (the
    // start-of-step values of one that comes later in this step).
    for (int end = 1; end <= 2; ++end) {
      const int first = 3 * (end - 1) + 1;
      for (int j = first; j < first + 3; ++j) {
        w.NEIGHBOUR_REL_CONC(j) = w.NEIGHBOUR_CAPACITY(j) = 0.0;
      }
      if (!w.HAS_NEIGHBOURS(end)) {
        w.NEIGHBOUR_REL_CONC(first) = cm.CM_INFLOW_REL_CONC(l, k);
        w.NEIGHBOUR_CAPACITY(first) = 1.0;
        continue;
      }
      for (int j = first; j < first + 3; ++j) {
        const int m = w.NEIGHBOUR(j);
        if (m == 0) continue;
        const double c = cm.CM_REL_CONC_DYNAMIC(LL, m, k);
        w.NEIGHBOUR_REL_CONC(j) = c;
        const double c0 = cm.CM_REL_CONC_DYNAMIC_OLD(LL, m, k);
        w.NEIGHBOUR_CAPACITY(j) = capacity_reached(
            cm.CM_LINK_SURFACE_CAPACITY(m, k) + cm.CM_LINK_SURFACE_CAPACITY_RATE(m, k) * dt, 1.0,
            c0, c, nonlinear, n);
      }
    }

    // Surface source, rain and well water. A link's net rainfall holds the well water
    // of the previous step, which carries the well's own concentration.
    w.SOURCE_INPUT = -cm.CM_SURFACE_SOURCE(k) * frame.AREA(l) / (length * D);
    {
      const double Qrain = w.RAIN_INFLOW, Qw = w.WELL_INFLOW;
      double input = (Qrain - Qw) * cm.CM_RAIN_REL_CONC(k);
      if (w.WELL_ELEMENT != 0) input += Qw * cm.CM_WELL_REL_CONC(w.WELL_ELEMENT, k);
      w.RAIN_INPUT = input / (length * D);
    }

    // Sorbed contaminant carried down by infiltrating sediment: surface layer into the
    // deep layer, and (wet only) water into the surface layer.
    CmSizeWeights K{};
    for (int g = 1; g <= NSED; ++g) K[g] = cm.CM_SEDIMENT_KD(g, k);
    // Sediment that rises instead (an infiltration rate below zero) carries what it
    // holds at the concentration of the compartment it leaves: taken at the receiver's,
    // the transfer drew on a compartment in proportion to what its neighbour held (a
    // negative coupling, no M-matrix), and emptied it below zero.
    const double deep_rate = sum_deep / (D * length), surface_rate = sum_surface / (D * length);
    {
      const bool upward = deep_rate < 0.0;
      const double C0 = upward ? Cd0 : Cs0;  // the giver's start concentration
      const CmCapacity c =
          CM_SORPTION_COEFFICIENTS_GUARDED(C0, porosity, porosity, fD, fD, K, NSED, nonlinear, n, dt);
      w.BED_TRANSFER = CM_SORBED_TRANSFER(c, porosity, C0, std::fabs(deep_rate));
      w.BED_TRANSFER.upward = upward;
    }
    if (wet) {
      // The giver is the surface layer (its water content the porosity) or the water (1).
      const bool upward = surface_rate < 0.0;
      const double C0 = upward ? Cs0 : Cw0, base = upward ? porosity : 1.0;
      const CmCapacity c =
          CM_SORPTION_COEFFICIENTS_GUARDED(C0, base, base, fS, fS, K, NSED, nonlinear, n, dt);
      w.WATER_TRANSFER = CM_SORBED_TRANSFER(c, porosity, C0, std::fabs(surface_rate));
      w.WATER_TRANSFER.upward = upward;
    } else {
      w.WATER_TRANSFER = {};
    }

    // Storage capacities of the deep layer, the surface layer, the water (with its
    // suspended sediment) and the depositing sediment.
    w.DEEP_LAYER_CAPACITY = CM_SORPTION_COEFFICIENTS_GUARDED(
        Cd0, theta_old, theta_new, bed_old, bed_new, K, NSED, nonlinear, n, dt);
    w.SURFACE_LAYER_CAPACITY = CM_SORPTION_COEFFICIENTS_GUARDED(
        Cs0, theta_old, theta_new, bed_old, bed_new, K, NSED, nonlinear, n, dt);
    w.WATER_CAPACITY = CM_SORPTION_COEFFICIENTS_GUARDED(Cw0, 1.0, 1.0, fdel_old, fdel_new, K,
                                                        NSED, nonlinear, n, dt);
    cm.CM_LINK_SURFACE_CAPACITY(l, k) = w.WATER_CAPACITY.cap;
    cm.CM_LINK_SURFACE_CAPACITY_SLOPE(l, k) = w.WATER_CAPACITY.slope;
    cm.CM_LINK_SURFACE_CAPACITY_RATE(l, k) = w.WATER_CAPACITY.rate;
    w.DEPOSIT_CAPACITY = CM_SORPTION_COEFFICIENTS_GUARDED(Cw0, 1.0, 1.0, dep_old, dep_new, K,
                                                          NSED, nonlinear, n, dt);

    w.LAYER_EXCHANGE = cm.CM_BED_LAYER_EXCHANGE(k) * width / D;
    w.WATER_BED_EXCHANGE = cm.CM_WATER_BED_EXCHANGE(k) * width / D;
    w.DECAY = cm.CM_DECAY_RATE_SCALED(k);

    // The balance is linear in the change over the step. Under Freundlich sorption it is
    // solved in passes, each holding every compartment's capacity at the end of the step
    // (sediment and concentration) at the concentration the pass before reached, the
    // first at the start concentration; only the last pass reports. Each pass is then the
    // balance of linear sorption, whose matrix is an M-matrix over a right-hand side of
    // what the compartments held and what enters them, so no compartment goes below zero
    // (each pass solves for the end concentrations themselves: in the rates of change the
    // end is the start plus a change that nearly cancels it, which rounding left a little
    // below zero). A tangent or a chord from the start would hold no such thing, and under
    // an exponent below 1, whose isotherm is infinitely steep at zero, a compartment
    // emptying to near zero alternated between two concentrations, one of them below
    // zero. The passes converge as the capacity changes less than the concentration (by a
    // factor |1 - n| at most in its logarithm, the base speeding them); what a
    // compartment holds at the end is what the last pass gave it, and its concentration
    // is the one at which the isotherm holds that, so the contaminant's mass closes
    // however far the passes went.
    double Cd = Cd0, Cs = Cs0, Cw = Cw0;
    if (nonlinear) {
      CmCapacity* const held[4] = {&w.WATER_CAPACITY, &w.DEPOSIT_CAPACITY,
                                   &w.SURFACE_LAYER_CAPACITY, &w.DEEP_LAYER_CAPACITY};
      for (CmCapacity* c : held) c->slope = 0.0;
      QuietSink quiet;
      int quiet_failures = 0;
      for (int pass = 1; pass <= CM_LINK_FREUNDLICH_PASSES; ++pass) {
        const double reached[4] = {Cw, Cw, Cs, Cd};
        bool settled = pass > 1;
        for (int i = 0; i < 4; ++i) {
          const double rate = (capacity_at(*held[i], reached[i], n) - held[i]->cap) / dt;
          settled = settled && std::fabs(rate - held[i]->rate) <= 1e-13 * std::fabs(rate);
          held[i]->rate = rate;
        }
        const bool last = settled || pass == CM_LINK_FREUNDLICH_PASSES;
        const bool solved = CM_LINK_BALANCE_AT_END(w, Cd0, Cd, Cs0, Cs, Cw0, Cw, dt, LL);
        if (!solved) {
          if (last) {
            CM_LINK_BALANCE(w, Cd0, Cd, Cs0, Cs, Cw0, Cw, dt, LL, cm.SNL3_FAILURE_COUNT,
                            model.io.console);
          } else {
            CM_LINK_BALANCE(w, Cd0, Cd, Cs0, Cs, Cw0, Cw, dt, LL, quiet_failures, quiet);
          }
        }
        if (last) break;
      }
      const auto at_end = [&](const CmCapacity& c, double C) {
        return C > 0.0 ? concentration_holding(c, (c.cap + c.rate * dt) * C, n) : C;
      };
      Cw = at_end(w.WATER_CAPACITY, Cw);
      Cs = at_end(w.SURFACE_LAYER_CAPACITY, Cs);
      Cd = at_end(w.DEEP_LAYER_CAPACITY, Cd);
    } else {
      CM_LINK_BALANCE(w, Cd0, Cd, Cs0, Cs, Cw0, Cw, dt, LL, cm.SNL3_FAILURE_COUNT,
                      model.io.console);
    }
    cm.CM_REL_CONC_DYNAMIC(LL - 2, l, k) = Cd;
    cm.CM_REL_CONC_DYNAMIC(LL - 1, l, k) = Cs;
    cm.CM_REL_CONC_DYNAMIC(LL, l, k) = Cw;

    // Capacities at the end of the step: under Freundlich sorption along the isotherm at
    // the concentration reached.
    const auto end_capacity = [&](const CmCapacity& c, double C) {
      return nonlinear ? capacity_at(c, C, n) : c.cap + c.rate * dt;
    };
    const double Kw = end_capacity(w.WATER_CAPACITY, Cw);
    const double Ks = end_capacity(w.SURFACE_LAYER_CAPACITY, Cs);
    const double Kd = end_capacity(w.DEEP_LAYER_CAPACITY, Cd);

    // The link's share of the budget. What passes to a neighbouring link, a bank or the
    // aquifer stays inside the catchment; what enters or leaves through a free end, the
    // rain, wells, source and bank erosion do not.
    {
      const double A = w.WATER_AREA, ell = w.LENGTH;
      double in = -(w.RAIN_INPUT + w.SOURCE_INPUT);
      double out = 0.0;
      if (wet) {
        if (IS_NON_ZERO(w.BANK_EROSION)) in += w.BANK_EROSION * CM_LINK_BANK_STORE(w, LL);
        for (int end = 1; end <= 2; ++end) {
          if (w.HAS_NEIGHBOURS(end)) continue;
          const double V = w.END_VELOCITY(end);
          // A free end's only slot holds the link's own flow: the inflow is V A c f.
          if (V > 0.0) in += A * V * w.NEIGHBOUR_REL_CONC(3 * (end - 1) + 1) / ell;
          if (V < 0.0) out += -V * A * Kw * Cw / ell;
        }
      }
      budget.link_in(k) += in * mass_unit;
      budget.link_out(k) += out * mass_unit;
      budget.link_decayed(k) +=
          w.DECAY * (A * Kw * Cw + w.SURFACE_LAYER_AREA * Ks * Cs + w.BED_AREA * Kd * Cd) * mass_unit;
      budget.link_produced(k) +=
          w.PARENT_DECAY *
          (w.PARENT_CAPACITY(1) * w.PARENT_REL_CONC(1) * A +
           w.PARENT_CAPACITY(2) * w.PARENT_REL_CONC(2) * w.SURFACE_LAYER_AREA +
           w.PARENT_CAPACITY(3) * w.PARENT_REL_CONC(3) * w.BED_AREA) *
          mass_unit;
    }

    // The decay chain: the next contaminant gains what this one loses by decay.
    w.PARENT_REL_CONC(1) = Cw;
    w.PARENT_REL_CONC(2) = Cs;
    w.PARENT_REL_CONC(3) = Cd;
    w.PARENT_CAPACITY(1) = Kw;
    w.PARENT_CAPACITY(2) = Ks;
    w.PARENT_CAPACITY(3) = Kd;
    w.PARENT_DECAY = w.DECAY;
  }

  for (int g = 1; g <= NSED; ++g) {
    cm.CM_LINK_BED_FRACTIONS_PREVIOUS(l, g) = bed_new[g];
    cm.CM_LINK_BED_SIZE_SHARE_PREVIOUS(l, g) = dep_new[g];
    cm.CM_FDEL_PREVIOUS(l, g) = fdel_new[g];
  }
}

void CM_COPY_LINK_STATE(Model& model) {
  ContaminantState& cm = model.contaminant;
  const int NLF = model.frame.NLF, LL = model.subsurface.LL;
  if (NLF < 1) return;
  for (int k = 1; k <= cm.NCON; ++k) {
    for (int l = 1; l <= NLF; ++l) {
      for (int c = LL - 2; c <= LL; ++c) {
        cm.CM_REL_CONC_DYNAMIC_OLD(c, l, k) = cm.CM_REL_CONC_DYNAMIC(c, l, k);
      }
    }
  }
}

}  // namespace quendal
