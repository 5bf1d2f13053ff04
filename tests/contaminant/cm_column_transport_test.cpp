// Column transport against hand-computed values, analytical solutions and the mass.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "contaminant/cm_column_setup.h"
#include "contaminant/cm_column_transport.h"
#include "contaminant/contaminant.h"
#include "contaminant/cm_column_fixture.h"
#include "services/stops.h"

namespace quendal::testing {
namespace {

using CmTransport = CmColumns;

// Closed column with decay only: every cell of both regions loses the same fraction,
// 1 / (1 + k DTUZ), whatever the sorption and the exchange between the regions.
TEST_F(CmTransport, DecayOnlyScalesEveryCellOfBothRegions) {
  struct Case {
    double Kd, fs, alpha;
  };
  for (const Case& c : {Case{0.0, 0.5, 0.0}, Case{0.7, 0.3, 1e-6}, Case{2.0, 1.0, 1e-4}}) {
    SCOPED_TRACE(c.Kd);
    build(1, 8, 0.25, 0.3);
    soil(1, c.Kd, c.fs, c.alpha);
    decay(1, 1e-7);
    concentration(1, 1, 0.8, 0.8);
    prime_stores();
    step();
    const double factor = 1.0 / (1.0 + 1e-7 * 3600.0);
    EXPECT_NEAR(factor, 0.9996401296, 1e-10);
    for (int cell = 1; cell <= 8; ++cell) {
      EXPECT_NEAR(cm.CM_REL_CONC_DYNAMIC(cell, 1, 1), 0.8 * factor, 1e-12) << cell;
      EXPECT_NEAR(cm.CM_REL_CONC_DEAD_SPACE(cell, 1, 1), 0.8 * factor, 1e-12) << cell;
    }
  }
}

// Dead space filled from a clean start: 0.2 (C - 1) = -0.0036 (C - S) and
// 0.2 S = 0.0036 (C - S), the exchange 2.5e6 x 1e-6 x 0.00144 = 0.0036; with
// C + S = 1, S = 0.0036 / 0.2072. The zero start of the dead space needs the floor.
TEST_F(CmTransport, DeadSpaceFillsByExchangeFromAZeroStart) {
  build(1, 5, 0.2, 0.4);
  soil(1, 0.0, 0.5, 1e-6);
  concentration(1, 1, 1.0, 0.0);
  prime_stores();
  step();
  for (int cell = 1; cell <= 5; ++cell) {
    EXPECT_NEAR(cm.CM_REL_CONC_DYNAMIC(cell, 1, 1), 0.9826254826, 1e-9);
    EXPECT_NEAR(cm.CM_REL_CONC_DEAD_SPACE(cell, 1, 1), 0.0173745174, 1e-9);
  }
}

// A pulse carried down by a steady flux: its centre moves q t / (0.5 theta + fs Kd)
// (the implicit upwind scheme moves the first moment exactly), so sorption slows it by
// R = 1 + fs Kd / (0.5 theta).
TEST_F(CmTransport, SorptionRetardsAPulseByTheRetardationFactor) {
  auto centre_shift = [&](double Kd) {
    build(1, 50, 0.1, 0.4);
    soil(1, Kd, 1.0, 0.0);
    concentration(1, 1, 0.0, 0.0);
    // The pulse fills 1.0 to 1.2 m below the ground: cells 40 and 39.
    set_cell(1, 40, 1, 1.0, 0.0);
    set_cell(1, 39, 1, 1.0, 0.0);
    surface.PNETTO(1) = 1e-6;
    for (int k = 1; k <= 50; ++k) vss.CELL_VERTICAL_FLOW(k, 1) = -1e-6;
    vss.COLUMN_BASE_FLOW(1) = -1e-6;
    prime_stores();
    auto centre = [&] {
      double moment = 0.0, mass = 0.0;
      for (int k = 1; k <= 50; ++k) {
        const double m = cm.CM_REL_CONC_DYNAMIC(k, 1, 1);
        moment += m * (GROUND - vss.CELL_ELEVATION(k, 1));
        mass += m;
      }
      return moment / mass;
    };
    const double before = centre();
    for (int s = 0; s < 48; ++s) step();
    return centre() - before;
  };
  const double free = centre_shift(0.0), sorbed = centre_shift(0.2);
  // The background floor of 1e-16 in 48 clean cells moves the centre by ~1e-13 m.
  EXPECT_NEAR(free, 0.864, 1e-9);
  EXPECT_NEAR(sorbed, 0.432, 1e-9);
  EXPECT_NEAR(free / sorbed, 2.0, 1e-6);
}

// Water moving between the cells of a sealed column (total water fixed) carries the
// contaminant with it and keeps its mass.
TEST_F(CmTransport, SealedColumnKeepsItsMassWhileWaterMovesBetweenCells) {
  build(1, 10, 0.2, 0.3);
  soil(1, 0.4, 0.6, 2e-6);
  for (int k = 1; k <= 10; ++k) set_cell(1, k, 1, 0.1 * k, 0.05 * k * k);
  prime_stores();
  const double start = total_mass(1);
  for (int s = 1; s <= 6; ++s) {
    const std::vector<double> before = thetas(1);
    // Water goes from the upper cells to the lower ones and, later, back again.
    const double shift = (s <= 3 ? 0.01 : -0.01);
    vss.CELL_THETA(9, 1) -= shift;
    vss.CELL_THETA(8, 1) -= shift;
    vss.CELL_THETA(2, 1) += shift;
    vss.CELL_THETA(3, 1) += shift;
    close_vertical_flows(1, before, 0.0);
    ASSERT_NEAR(vss.COLUMN_BASE_FLOW(1), 0.0, 1e-18);
    step();
    EXPECT_NEAR(total_mass(1), start, 1e-12 * start) << "step " << s;
  }
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(cm.budget.total_in(k) + cm.budget.total_out(k), 0.0);
}

// Rain at concentration 1 soaking into a column that decays at k: each step
// M_new = (M_old + AREA P DTUZ) / (1 + k DTUZ); the budget says the same.
TEST_F(CmTransport, RainAndDecayFollowTheStepRecurrenceAndTheBudgetCloses) {
  build(1, 10, 0.2, 0.3);
  soil(1, 0.5, 0.5, 1e-6);
  decay(1, 1e-7);
  cm.CM_RAIN_REL_CONC(1) = 1.0;
  concentration(1, 1, 0.2, 0.1);
  const double P = 2e-3 / 3600.0;
  surface.PNETTO(1) = P;
  vss.CELL_VERTICAL_FLOW(10, 1) = -P;
  prime_stores();
  double M = total_mass(1);
  for (int s = 1; s <= 4; ++s) {
    const std::vector<double> before = thetas(1);
    vss.CELL_THETA(10, 1) += P * 3600.0 / 0.2;  // the top cell takes the rain in
    close_vertical_flows(1, before, -P);
    const ContaminantBudget was = cm.budget;
    step();
    const double expected = (M + 1e4 * P * 3600.0) / (1.0 + 1e-7 * 3600.0);
    EXPECT_NEAR(total_mass(1), expected, 1e-10 * expected) << "step " << s;
    EXPECT_NEAR(cm.budget.rain_in[1] - was.rain_in[1], 1e4 * P * 3600.0, 1e-9);
    const double decayed = cm.budget.decayed[1] - was.decayed[1];
    EXPECT_NEAR(decayed, 1e-7 * 3600.0 * total_mass(1), 1e-10 * expected);
    M = total_mass(1);
  }
}

// Two squares side by side, square 1 contaminated, square 2 clean.
void two_squares(CmTransport& t) {
  t.build(2, 6, 0.3, 0.35);
  t.frame.ICMREF(1, 1, 2) = 2;  // square 1's east face meets square 2's west face
  t.frame.ICMREF(1, 1, 3) = 3;
  t.frame.ICMREF(2, 3, 2) = 1;
  t.frame.ICMREF(2, 3, 3) = 1;
  t.soil(1, 0.3, 0.5, 1e-6);
  t.concentration(1, 1, 1.0, 0.5);
  t.concentration(2, 1, 0.0, 0.0);
}

// Surface water flowing from one square onto the next: what leaves the upstream square
// arrives downstream in the same step when the upstream square comes first.
TEST_F(CmTransport, SurfaceFlowBetweenTwoSquaresKeepsTheTotalMass) {
  two_squares(*this);
  const double Q = 0.02;  // m3/s eastwards over the shared face
  surface.QOC(1, 1) = Q;
  surface.QOC(2, 3) = Q;
  surface.HRF(1) = GROUND + 0.01;
  surface.HRF(2) = GROUND + 0.01;
  // Square 1 is fed by (clean) rain, square 2 loses the water by evaporation, so
  // neither soil column takes any of the flow.
  surface.PNETTO(1) = Q / 1e4;
  surface.ET_GROUND_EVAP(2) = Q / 1e4;
  prime_stores();
  const double start = total_mass(1);
  for (int s = 1; s <= 5; ++s) {
    step();
    EXPECT_NEAR(total_mass(1), start, 1e-10 * start) << "step " << s;
  }
  EXPECT_GT(mass(2, 1), 0.01 * start);  // the flow did carry contaminant over
}

// A face that did not flow at the start of a step and flows at its end: both squares
// must take the same side as upstream. Had both counted it as inflow (the start-of-step
// flow being 0), the sender would export at the receiver's clean water and the receiver
// import at the sender's: mass made on every face that starts to flow.
TEST_F(CmTransport, AFaceThatStartsToFlowKeepsTheMass) {
  enum Face { SURFACE, SUBSURFACE };
  for (Face face : {SURFACE, SUBSURFACE}) {
    SCOPED_TRACE(face == SURFACE ? "surface" : "subsurface");
    two_squares(*this);
    surface.HRF(1) = GROUND + 0.01;
    surface.HRF(2) = GROUND + 0.01;
    prime_stores();  // nothing flows at the start
    if (face == SURFACE) {
      const double Q = 0.02;  // m3/s eastwards; rain feeds square 1, square 2 evaporates it
      surface.QOC(1, 1) = Q;
      surface.QOC(2, 3) = Q;
      surface.PNETTO(1) = Q / 1e4;
      surface.ET_GROUND_EVAP(2) = Q / 1e4;
    } else {
      const double q = 2e-4;  // m3/s through cell 4, balanced through the bases
      // Cell 4 of each square faces cell 4 of the other: one entry in its run.
      for (auto [e, f] : {std::pair{1, 1}, std::pair{2, 3}}) {
        for (int k = 1; k <= vss.LL + 1; ++k) cm.CM_FACE_CELL_START(k, f, e) = k <= 4 ? 1 : 2;
        cm.CM_FACE_CELL_LIST(1, f, e) = 4;
      }
      vss.CELL_LATERAL_FLOW(1, 4, 1) = -q;
      vss.CELL_LATERAL_FLOW(3, 4, 2) = q;
      for (int e = 1; e <= 2; ++e) close_vertical_flows(e, thetas(e), 0.0);
    }
    // The step in which the face starts to flow. (Later steps of the subsurface face
    // carry the lag of the neighbour's start-of-step concentration, 4e-4 of the mass a
    // step here, which is not what this test is about.)
    const double before = total_mass(1);
    step();
    const double in = cm.budget.total_in(1), out = cm.budget.total_out(1);
    EXPECT_NEAR(total_mass(1) - before, in - out, 1e-10 * before);
    EXPECT_GT(mass(2, 1), 1e-5 * mass(1, 1));  // contaminant did cross
  }
}

// A decay chain: what the parent loses the daughter gains, and the parent falls as
// (1 + k1 DTUZ)^-n.
TEST_F(CmTransport, DecayChainHandsTheParentsLossToTheDaughter) {
  build(1, 6, 0.3, 0.3, 2);
  soil(1, 0.4, 0.5, 1e-6);
  soil(2, 1.1, 0.2, 3e-6);
  decay(1, 1e-6);
  decay(2, 0.0);
  concentration(1, 1, 1.0, 0.6);
  concentration(1, 2, 0.0, 0.0);
  prime_stores();
  const double M1 = total_mass(1), total = M1 + total_mass(2);
  for (int s = 1; s <= 10; ++s) {
    step();
    EXPECT_NEAR(total_mass(1), M1 * std::pow(1.0 + 3.6e-3, -s), 1e-12 * M1);
    EXPECT_NEAR(total_mass(1) + total_mass(2), total, 1e-12 * total);
  }
  EXPECT_NEAR(cm.budget.decayed[1], M1 - total_mass(1), 1e-12 * M1);
  EXPECT_EQ(cm.budget.decayed[2], 0.0);
}

// A decay chain in a sealed column whose water content changes over the step: the
// daughter still gains exactly what the parent loses, in both regions, whether the
// water moves between the cells (total fixed) or the roots draw it out (total falling),
// with linear sorption and with Freundlich sorption (n = 0.8, after the non-linear
// passes or the single solve). Whatever the isotherm, the decay takes k DTUZ of the
// parent's end-of-step content a step, so the parent falls as (1 + k DTUZ)^-s; the
// stable daughter starts from nothing, where the isotherm is steepest.
TEST_F(CmTransport, DecayChainKeepsTheTotalWhileTheWaterContentChanges) {
  enum Kind { WATER_MOVES_BETWEEN_CELLS, ROOTS_DRY_THE_COLUMN };
  struct Case {
    Kind kind;
    double n;
    bool nonlinear;
  };
  const Case cases[] = {{WATER_MOVES_BETWEEN_CELLS, 1.0, false},
                        {ROOTS_DRY_THE_COLUMN, 1.0, false},
                        {WATER_MOVES_BETWEEN_CELLS, 0.8, true},
                        {ROOTS_DRY_THE_COLUMN, 0.8, true},
                        {ROOTS_DRY_THE_COLUMN, 0.8, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    SCOPED_TRACE(c.n);
    SCOPED_TRACE(c.nonlinear ? "passes" : "single solve");
    build(1, 8, 0.25, 0.3, 2);
    cm.CM_NONLINEAR_ON = c.nonlinear;
    for (int k = 1; k <= 2; ++k) cm.CM_FREUNDLICH_EXPONENT(k) = c.n;
    soil(1, 0.4, 0.5, 1e-6);
    soil(2, 1.1, 0.2, 3e-6);
    decay(1, 1e-6);
    decay(2, 0.0);
    for (int k = 1; k <= 8; ++k) set_cell(1, k, 1, 0.1 * k, 0.05 * k * k);
    concentration(1, 2, 0.0, 0.0);
    prime_stores();
    const double M1 = total_mass(1), total = M1 + total_mass(2);
    const double decayed_before = cm.budget.decayed[1];  // the budget outlives build()
    for (int s = 1; s <= 20; ++s) {
      const std::vector<double> before = thetas(1);
      if (c.kind == WATER_MOVES_BETWEEN_CELLS) {
        const double shift = s % 6 < 3 ? 0.02 : -0.02;
        vss.CELL_THETA(7, 1) -= shift;
        vss.CELL_THETA(2, 1) += shift;
      } else {
        for (int k = 1; k <= 8; ++k) {
          const double uptake = 1e-8 * k;  // m/s from cell k, more near the top
          surface.ET_ROOT_UPTAKE(k, 1) = uptake;
          vss.CELL_THETA(k, 1) -= uptake * frame.DTUZ / 0.25;
        }
      }
      close_vertical_flows(1, before, 0.0);
      ASSERT_NEAR(vss.COLUMN_BASE_FLOW(1), 0.0, 1e-18);
      step();
      // Round-off of sums of ~10 terms of the same size, 20 times over: 1e-12 is far
      // below the faults (lambda x step x dW x C, some 1e-5 of the mass a step; the
      // sorption slope's share of the decay, 3.7e-4 of what decays at n = 0.8).
      EXPECT_NEAR(total_mass(1), M1 * std::pow(1.0 + 1e-6 * 3600.0, -s), 1e-12 * M1) << s;
      EXPECT_NEAR(total_mass(1) + total_mass(2), total, 1e-12 * total) << "step " << s;
    }
    EXPECT_NEAR(cm.budget.decayed[1] - decayed_before, M1 - total_mass(1), 1e-12 * M1);
    EXPECT_GT(total_mass(2), 0.06 * total);  // 1 - 1.0036^-20 of the parent went over
  }
}

// A closed uniform column under Freundlich sorption decays its content, W C + Kd C^n per
// unit volume, by 1 / (1 + k DTUZ) a step: the concentration is the root of
// W C + Kd C^n = (W C0 + Kd C0^n) / (1 + k DTUZ)^s, found here by bisection, for
// isotherms below and above linear.
TEST_F(CmTransport, FreundlichDecayFollowsTheContentOnTheIsotherm) {
  for (double n : {0.5, 0.8, 1.5}) {
    SCOPED_TRACE(n);
    build(1, 4, 0.25, 0.3);
    cm.CM_NONLINEAR_ON = true;
    cm.CM_FREUNDLICH_EXPONENT(1) = n;
    soil(1, 2.0, 0.5, 1e-6);
    decay(1, 1e-5);
    concentration(1, 1, 0.6, 0.6);
    prime_stores();
    const double W = 0.15, K = 1.0;  // each region: half the water, half the sorption
    auto content = [&](double C) { return W * C + K * std::pow(C, n); };
    for (int s = 1; s <= 5; ++s) {
      step();
      const double target = content(0.6) / std::pow(1.0 + 1e-5 * 3600.0, s);
      double lo = 0.0, hi = 0.6;
      for (int i = 0; i < 200; ++i) (content(0.5 * (lo + hi)) < target ? lo : hi) = 0.5 * (lo + hi);
      for (int cell = 1; cell <= 4; ++cell) {
        // The root to 1e-12, a few units of rounding of the content's terms.
        EXPECT_NEAR(cm.CM_REL_CONC_DYNAMIC(cell, 1, 1), lo, 1e-12) << s;
        EXPECT_NEAR(cm.CM_REL_CONC_DEAD_SPACE(cell, 1, 1), lo, 1e-12) << s;
      }
    }
  }
}

// Two identical contaminants while the sediment's composition changes: both see the
// change, so both stay identical and keep their mass.
TEST_F(CmTransport, SedimentCompositionChangeReachesEveryContaminant) {
  build(1, 5, 0.2, 0.3, 2);
  sed.NSED = 2;
  sed.DLS(1) = 0.01;
  surface.HRF(1) = GROUND + 0.05;
  sed.FBETA(1, 1) = 1.0;
  sed.FDEL(1, 1) = 0.02;
  for (int k = 1; k <= 2; ++k) {
    soil(k, 0.2, 0.5, 1e-6);
    cm.CM_SEDIMENT_KD(1, k) = 0.1;
    cm.CM_SEDIMENT_KD(2, k) = 3.0;
    concentration(1, k, 0.7, 0.4);
  }
  prime_stores();
  const double M = total_mass(1);
  for (int s = 1; s <= 4; ++s) {
    sed.FBETA(1, 1) = 1.0 - 0.2 * s;
    sed.FBETA(1, 2) = 0.2 * s;
    sed.FDEL(1, 2) = 0.01 * s;
    step();
    for (int cell = 1; cell <= 5; ++cell) {
      EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(cell, 1, 1), cm.CM_REL_CONC_DYNAMIC(cell, 1, 2));
      EXPECT_EQ(cm.CM_REL_CONC_DEAD_SPACE(cell, 1, 1), cm.CM_REL_CONC_DEAD_SPACE(cell, 1, 2));
    }
    EXPECT_NEAR(total_mass(1), M, 1e-12 * M) << "step " << s;
    EXPECT_NEAR(total_mass(2), M, 1e-12 * M) << "step " << s;
  }
}

// From a clean start (every concentration exactly 0) with rain, 48 hours give finite
// values everywhere; an imposed base value holds the bottom cell exactly.
TEST_F(CmTransport, CleanStartWithRainStaysFiniteAndTheBaseHoldsItsValue) {
  for (bool nonlinear : {false, true}) {
    SCOPED_TRACE(nonlinear);
    build(1, 12, 0.25, 0.3, 2);
    cm.CM_NONLINEAR_ON = nonlinear;
    cm.CM_BASE_FLUX_ON = false;
    for (int k = 1; k <= 2; ++k) {
      soil(k, 0.5, 0.4, 1e-6);
      cm.CM_BASE_FIXED_REL_CONC(1, k) = 0.3;
      cm.CM_RAIN_REL_CONC(k) = 1.0;
      concentration(1, k, 0.0, 0.0);
    }
    decay(1, 1e-6);
    const double P = 1e-6;
    surface.PNETTO(1) = P;
    for (int k = 1; k <= 12; ++k) vss.CELL_VERTICAL_FLOW(k, 1) = -P;
    vss.COLUMN_BASE_FLOW(1) = -P;
    prime_stores();
    for (int s = 0; s < 48; ++s) step();
    for (int k = 1; k <= 2; ++k) {
      for (int cell = 1; cell <= 12; ++cell) {
        ASSERT_TRUE(std::isfinite(cm.CM_REL_CONC_DYNAMIC(cell, 1, k)));
        ASSERT_TRUE(std::isfinite(cm.CM_REL_CONC_DEAD_SPACE(cell, 1, k)));
        ASSERT_TRUE(std::isfinite(cm.CM_REL_CONC_DYNAMIC_OLD(cell, 1, k)));
        ASSERT_TRUE(std::isfinite(cm.CM_REL_CONC_DEAD_SPACE_OLD(cell, 1, k)));
      }
      EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(1, 1, k), 0.3);
      EXPECT_GT(cm.CM_REL_CONC_DYNAMIC(12, 1, k), 0.1);  // the rain has come in
      EXPECT_TRUE(std::isfinite(cm.CM_SURFACE_CAPACITY(1, k)));
    }
    EXPECT_GT(cm.CM_REL_CONC_DYNAMIC(12, 1, 2), 1e-3);  // and the daughter appeared
  }
}

// The budget closes, M_new - M_old = in - out - decayed, for a column with water
// crossing each of its outer boundaries in turn, with linear sorption and with
// Freundlich sorption (n = 0.8) followed by the non-linear passes.
TEST_F(CmTransport, BudgetClosesForEveryKindOfBoundary) {
  enum Kind { LATERAL_IN_BASE_OUT, FIXED_BASE, SURFACE_IN_OUT, WELL, GROUND_EROSION };
  struct Case {
    Kind kind;
    bool freundlich;
  };
  std::vector<Case> cases;
  for (bool freundlich : {false, true}) {
    for (Kind kind : {LATERAL_IN_BASE_OUT, FIXED_BASE, SURFACE_IN_OUT, WELL, GROUND_EROSION})
      cases.push_back({kind, freundlich});
  }
  for (const auto& [kind, freundlich] : cases) {
    SCOPED_TRACE(kind);
    SCOPED_TRACE(freundlich ? "Freundlich" : "linear");
    build(1, 8, 0.25, 0.3);
    cm.CM_NONLINEAR_ON = freundlich;
    cm.CM_FREUNDLICH_EXPONENT(1) = freundlich ? 0.8 : 1.0;
    soil(1, 0.4, 0.6, 1e-6);
    decay(1, 2e-7);
    cm.CM_INFLOW_REL_CONC(1, 1) = 2.0;
    cm.CM_BASE_FLUX_REL_CONC(1, 1) = 0.5;
    cm.CM_BASE_FIXED_REL_CONC(1, 1) = 0.25;
    for (int k = 1; k <= 8; ++k) set_cell(1, k, 1, 0.1 * k, 0.3);
    switch (kind) {
      case LATERAL_IN_BASE_OUT:
        for (int k = 3; k <= 5; ++k) vss.CELL_LATERAL_FLOW(1, k, 1) = 1e-4;
        break;
      case FIXED_BASE:
        cm.CM_BASE_FLUX_ON = false;
        vss.CELL_LATERAL_FLOW(2, 6, 1) = -2e-4;
        break;
      case SURFACE_IN_OUT:
        surface.HRF(1) = GROUND + 0.02;
        surface.QOC(1, 3) = 0.03;   // in over the west face
        surface.QOC(1, 1) = 0.025;  // out over the east face
        break;
      case WELL:
        vss.WELL_NUMBER(1) = 1;
        vss.WELL_SCREEN_BOTTOM_CELL(1) = 2;
        vss.WELL_SCREEN_TOP_CELL(1) = 4;
        for (int k = 2; k <= 4; ++k) vss.CELL_WELL_ABSTRACTION(k, 1) = 1e-8;
        vss.WELL_ABSTRACTION(1) = 3e-8;
        break;
      case GROUND_EROSION:
        // The eroded soil's contaminant goes to the surface stores while the cells keep
        // theirs: it enters the account.
        sed.SY_GROUND_EROSION_RATE(1) = 5e-8;
        break;
    }
    const double top = kind == SURFACE_IN_OUT ? -0.005 / 1e4 : 0.0;
    close_vertical_flows(1, thetas(1), top);
    prime_stores();
    for (int s = 1; s <= 3; ++s) {
      const double before = total_mass(1);
      const ContaminantBudget was = cm.budget;
      step();
      const double in = cm.budget.total_in(1) - was.total_in(1);
      const double out = cm.budget.total_out(1) - was.total_out(1);
      const double decayed = cm.budget.decayed[1] - was.decayed[1];
      EXPECT_GT(in + out, 0.0);
      EXPECT_NEAR(total_mass(1) - before, in - out - decayed, 1e-10 * before) << "step " << s;
    }
  }
}

// A concentration that comes out of the solve not finite is never stored: the run stops.
TEST_F(CmTransport, NonFiniteConcentrationStopsTheRunWith3011) {
  build(1, 4, 0.25, 0.3);
  concentration(1, 1, 0.5, 0.5);
  soil(1, std::nan(""), 0.5, 0.0);
  prime_stores();
  EXPECT_THROW(step(), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find("3011"), std::string::npos) << text;
  EXPECT_NE(text.find("contaminant 1"), std::string::npos) << text;
  EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(2, 1, 1), 0.5);
}


// A link running east-west with a bank on either side: link 1, bank 2 to the north
// (side 1), bank 3 to the south (side 2); 8 cells of 0.25 m, the link's stack from cell
// 3, so bank cell k lies beside link cell k + 2 and bank cell 6 at the bed. The bed's
// bottom cuts bank cell 5 in half. Banks are 10 m wide along a 100 m link 4 m wide:
// the bank's share of the widened column is r = 10 / (2 + 10) = 5/6.
struct CmBanks : CmColumns {
  void build_banks() {
    build(3, 8, 0.25, 0.3, 1, 1);
    frame.ICMREF(1, 1, 1) = 3;
    for (int bank = 2; bank <= 3; ++bank) {
      frame.ICMREF(bank, 1, 1) = bank - 1;
      frame.ICMREF(bank, 4, 1) = 1;
      frame.AREA(bank) = 1000.0;
      frame.DYQQ(bank) = 10.0;
    }
    frame.ICMREF(1, 2, 2) = 2;  // north face: bank 2, its south face back
    frame.ICMREF(1, 2, 3) = 4;
    frame.ICMREF(2, 4, 2) = 1;
    frame.ICMREF(2, 4, 3) = 2;
    frame.ICMREF(1, 4, 2) = 3;  // south face: bank 3, its north face back
    frame.ICMREF(1, 4, 3) = 2;
    frame.ICMREF(3, 2, 2) = 1;
    frame.ICMREF(3, 2, 3) = 4;
    frame.ISORT(1) = 2;  // the link is not transported yet: its place does not matter
    frame.ISORT(2) = 3;
    frame.ISORT(3) = 1;
    vss.LAYER_BOTTOM_CELL(1, 1) = 3;
    for (int s = 1; s <= 2; ++s) {
      vss.LINK_BED_CELL(1, s) = 6;
      cm.CM_BED_BOTTOM_CELL(1, s) = 4;
      cm.CM_BED_BOTTOM_FRACTION(1, s) = 0.5;
      cm.CM_BANK_EXCHANGE_CELL(1, s) = 6;
    }
    soil(1, 0.4, 0.25, 1e-6);
    for (int cell = 6; cell <= 8; ++cell) cm.CM_REL_CONC_DYNAMIC(cell, 1, 1) = 0.7;
    cm.CM_REL_CONC_DYNAMIC_OLD = cm.CM_REL_CONC_DYNAMIC;
    for (int bank = 2; bank <= 3; ++bank) concentration(bank, 1, 0.2, 0.1);
    cm.CM_STEP_FACTOR = frame.DTUZ / cm.CM_TIME_SCALE;
  }
};

TEST_F(CmBanks, BankIsAWidenedColumnBelowTheBed) {
  build_banks();
  prime_stores();
  CM_COLUMN_SETUP(model, 2);
  const ContaminantColumnWork& w = cm.column_work;
  EXPECT_TRUE(w.CM_COL_IS_BANK);
  EXPECT_EQ(w.CM_COL_BANK_FACE, 4);
  EXPECT_EQ(w.CM_COL_NEIGHBOUR[4], 3);  // across the link, the other bank
  for (int k = 0; k <= 4; ++k) {
    EXPECT_NEAR(w.CM_COL_BANK_WEIGHT(k), 5.0 / 6.0, 1e-15) << k;
    EXPECT_NEAR(w.CM_COL_BANK_WEIGHT_INVERSE(k), 6.0 / 5.0, 1e-15) << k;
  }
  EXPECT_NEAR(w.CM_COL_BANK_WEIGHT(5), 11.0 / 12.0, 1e-15);  // 1 - (1 - r) / 2
  EXPECT_EQ(w.CM_COL_BANK_WEIGHT_INVERSE(5), 1.0);
  EXPECT_EQ(w.CM_COL_BANK_WEIGHT(6), 1.0);
}

// Water leaving the channel into the bank brings the bed's deep-layer concentration:
// that is the exchange concentration the link reads; the capacities of the bank cells
// above the bed are fs Kd + 0.5 theta and (1 - fs) Kd + 0.5 theta.
TEST_F(CmBanks, ExchangeConcentrationAndBankCapacitiesForTheLink) {
  build_banks();
  vss.STREAM_AQUIFER_WET_FLOW(1, 1) = 1e-4;
  vss.CELL_LATERAL_FLOW(4, 6, 2) = 1e-4;  // the water the bank takes in at its bed cell
  close_vertical_flows(2, thetas(2), 0.0);
  prime_stores();
  for (int s = 0; s < 3; ++s) step();
  EXPECT_DOUBLE_EQ(cm.CM_BANK_EXCHANGE_CONC(1, 1, 1), 0.7);
  EXPECT_EQ(cm.CM_BANK_EXCHANGE_CONC(1, 2, 1), 0.0);  // no exchange on side 2
  for (int bank = 2; bank <= 3; ++bank) {
    for (int cell = 7; cell <= 8; ++cell) {
      EXPECT_NEAR(cm.CM_BANK_CAPACITY_DYNAMIC[1](cell, bank - 1, 1), 0.1 + 0.15, 1e-15);
      EXPECT_NEAR(cm.CM_BANK_CAPACITY_DEAD_SPACE[1](cell, bank - 1, 1), 0.3 + 0.15, 1e-15);
    }
    for (int cell = 1; cell <= 8; ++cell) {
      EXPECT_TRUE(std::isfinite(cm.CM_REL_CONC_DYNAMIC(cell, bank, 1)));
      EXPECT_TRUE(std::isfinite(cm.CM_REL_CONC_DEAD_SPACE(cell, bank, 1)));
    }
  }
  EXPECT_GT(cm.CM_REL_CONC_DYNAMIC(6, 2, 1), 0.2);  // the channel's water came in
  EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(8, 1, 1), 0.7);  // the link keeps its values for now
}

}  // namespace
}  // namespace quendal::testing
