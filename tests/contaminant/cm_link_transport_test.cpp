#include "contaminant/cm_link_transport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "contaminant/cm_link_fixture.h"

namespace quendal {
namespace {

using testing::CmLinkRow;

constexpr double DTAU = 3600.0 / 2.5e6;

// The capacity of a compartment: the linear form starts from the start base, whatever
// the start concentration (a zero one included); the Freundlich form from the end base,
// so with n = 1 they differ exactly by the change of the base; a Freundlich capacity at a
// zero or negative start concentration is the bare base (the power is not defined).
TEST(CmLinkTransport, SorptionCapacityOfACompartment) {
  const CmSizeWeights w_old{0.0, 0.5, 0.5, 0.0, 0, 0, 0, 0};
  const CmSizeWeights w_new{0.0, 1.0, 0.0, 0.0, 0, 0, 0, 0};
  const CmSizeWeights K{0.0, 2.0, 4.0, 0.0, 0, 0, 0, 0};  // Ko = 3, Kn = 2
  struct Case {
    const char* what;
    double C;
    bool nonlinear;
    double n;
    CmCapacity expected;
  };
  const std::vector<Case> cases = {
      {"zero, linear", 0.0, false, 1.0, {3.3, 0.0, (0.1 - 1.0) / DTAU}},
      {"negative, linear", -0.2, false, 1.0, {3.3, 0.0, (0.1 - 1.0) / DTAU}},
      {"zero, Freundlich", 0.0, true, 0.7, {0.3, 0.0, 0.1 / DTAU}},
      {"negative, Freundlich", -0.2, true, 0.7, {0.3, 0.0, 0.1 / DTAU}},
      {"linear", 0.8, false, 1.0, {3.3, 0.0, (0.1 - 1.0) / DTAU}},
      {"Freundlich n = 1", 0.8, true, 1.0, {3.4, 0.0, (0.1 - 1.0) / DTAU}},
      // P = 0.25^-1 = 4: cap = 0.4 + 3 x 4 x 0.25, slope = 0 x ..., n = 1.
      {"Freundlich n = 1, C = 0.25", 0.25, true, 1.0, {3.4, 0.0, (0.1 - 1.0) / DTAU}},
      // n = 2: P = 1, cap = 0.4 + 3 x 0.5, slope = 3, rate = (0.1 - 0.5) / dt.
      {"Freundlich n = 2", 0.5, true, 2.0, {1.9, 3.0, (0.1 - 0.5) / DTAU}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CmCapacity got = CM_SORPTION_COEFFICIENTS_GUARDED(c.C, 0.3, 0.4, w_old, w_new, K, 3,
                                                            c.nonlinear, c.n, DTAU);
    EXPECT_NEAR(got.cap, c.expected.cap, 1e-12);
    EXPECT_NEAR(got.slope, c.expected.slope, 1e-12);
    EXPECT_NEAR(got.rate, c.expected.rate, 1e-9);
  }
}

// A closed link whose sediment infiltrates the bed at S m3/s, linear sorption K on it: the
// water loses (1 + K - porosity) S DTUZ / CLENTH of its concentration per m2 of water
// area, taken at the end of the step, so over one step
//   Cw = Cw0 ARXL / (ARXL + (1 + K - porosity) S DTUZ / CLENTH),
// whatever K and whatever the diffusivity scale (the units of the balance, nothing else).
// No compartment goes below 0, and the link keeps its mass (what the water loses the
// surface layer gains, and it passes K S DTUZ / CLENTH of its own on to the deep layer).
TEST(CmLinkTransport, InfiltratingSedimentCarriesItsSorbedLoadAtTheEndOfStepConcentration) {
  struct Case {
    double K, S, D;
  };
  for (const Case& c : {Case{0.5, 1e-6, 0.001}, Case{0.5, 1e-6, 0.01}, Case{1e4, 1e-6, 0.001},
                        Case{1e4, 1e-6, 0.01}, Case{1e10, 1e-5, 0.001}, Case{0.0, 1e-3, 0.001}}) {
    SCOPED_TRACE(::testing::Message() << "K " << c.K << " S " << c.S << " D " << c.D);
    CmLinkRow row(1);
    ContaminantState& cm = row.cm;
    cm.CM_DIFFUSIVITY_SCALE = c.D;
    cm.CM_INVERSE_DIFFUSIVITY = 1.0 / c.D;
    cm.CM_INVERSE_VELOCITY_SCALE = 50.0 / c.D;
    cm.CM_TIME_SCALE = 2500.0 / c.D;
    cm.CM_SEDIMENT_KD(1, 1) = c.K;
    row.sed.SY_INFILTRATION_RATE_SURFACE(1, 1) = row.sed.SY_INFILTRATION_RATE_DEEP(1, 1) = c.S;
    row.set_link(1, 1, 1.0, 0.01, 0.0);
    const double before = row.total_mass();
    row.step();
    const double loss = (1.0 + c.K - CmLinkRow::POROSITY) * c.S * CmLinkRow::DTUZ / CmLinkRow::LENGTH;
    EXPECT_NEAR(row.water(1), CmLinkRow::WATER_AREA / (CmLinkRow::WATER_AREA + loss), 1e-12);
    EXPECT_GE(row.surface_layer(1), 0.0);
    EXPECT_GE(row.deep(1), 0.0);
    EXPECT_EQ(row.deep(1) > 0.0, c.K > 0.0) << "only sorbed contaminant reaches the deep layer";
    EXPECT_NEAR(row.total_mass(), before, 1e-12 * before);
    EXPECT_EQ(cm.SNL3_FAILURE_COUNT, 0);
  }
}

// Sediment rising out of the bed (infiltration rates below zero) carries its sorbed load
// at the concentration of the layer it leaves. A clean deep layer under a loaded surface
// layer: carried at the receiver's concentration, the transfer took from the deep layer
// in proportion to what the surface layer held and left it below zero.
TEST(CmLinkTransport, RisingSedimentCarriesTheLoadOfTheLayerItLeaves) {
  for (const double K : {0.5, 1e4, 1e10}) {
    SCOPED_TRACE(::testing::Message() << "K " << K);
    CmLinkRow row(1);
    row.cm.CM_SEDIMENT_KD(1, 1) = K;
    row.sed.SY_INFILTRATION_RATE_SURFACE(1, 1) = row.sed.SY_INFILTRATION_RATE_DEEP(1, 1) = -1e-5;
    row.set_link(1, 1, 0.0, 1.0, 1e-9);
    const double before = row.total_mass();
    row.step();
    EXPECT_GE(row.deep(1), 0.0);
    EXPECT_GT(row.water(1), 0.0) << "the rising sediment brings the surface layer's load up";
    EXPECT_NEAR(row.total_mass(), before, 1e-12 * before);
    EXPECT_EQ(row.cm.SNL3_FAILURE_COUNT, 0);
  }
}

// A wet, closed link with decay only: each compartment is divided by 1 + k DTUZ, whatever
// its sorption. With a daughter (no decay of its own) the pair's total mass stays.
TEST(CmLinkTransport, DecayOnlyAndTheDecayChain) {
  CmLinkRow row(1, 2);
  const double k = 1e-6;
  row.cm.CM_DECAY_RATE_SCALED(1) = 2.5e6 * k;
  row.cm.CM_SEDIMENT_KD(1, 1) = row.cm.CM_SEDIMENT_KD(1, 2) = 0.7;
  row.sed.FDEL(1, 1) = 0.01;
  row.cm.CM_FDEL_PREVIOUS(1, 1) = 0.01;
  row.set_link(1, 1, 1.0, 0.6, 0.3);
  row.set_link(1, 2, 0.1, 0.1, 0.1);
  const double mass0 = row.link_mass(1, 1), daughter0 = row.link_mass(1, 2);
  double water = 1.0, surface_layer = 0.6, deep = 0.3;
  for (int n = 0; n < 5; ++n) {
    row.step();
    water /= 1.0 + k * 3600.0;
    surface_layer /= 1.0 + k * 3600.0;
    deep /= 1.0 + k * 3600.0;
    EXPECT_NEAR(row.water(1), water, 1e-12);
    EXPECT_NEAR(row.surface_layer(1), surface_layer, 1e-12);
    EXPECT_NEAR(row.deep(1), deep, 1e-12);
    // Budget and mass agree to rounding; the daughter gains what the parent loses.
    EXPECT_NEAR(mass0 - row.link_mass(1, 1), row.cm.link_budget.link_decayed(1), 1e-12 * mass0);
    EXPECT_NEAR(row.link_mass(1, 2) - daughter0, row.cm.link_budget.link_produced(2), 1e-12 * mass0);
    EXPECT_NEAR(row.link_mass(1, 1) + row.link_mass(1, 2), mass0 + daughter0, 1e-12 * mass0);
  }
  EXPECT_EQ(row.cm.SNL3_FAILURE_COUNT, 0);
}

// A dry link: its water takes the uniform value, both stream-aquifer flows stop, and the
// rain falling into the channel loads the bed surface layer.
TEST(CmLinkTransport, DryLinkRainLoadsTheSurfaceLayer) {
  CmLinkRow row(1);
  row.surface.ARXL(1) = 0.0;
  row.cm.CM_UNIFORM_REL_CONC(1) = 0.25;
  row.cm.CM_RAIN_REL_CONC(1) = 2.0;
  row.surface.PNETTO(1) = 1e-6;
  row.sub.STREAM_AQUIFER_WET_FLOW(1, 1) = 0.01;
  row.set_link(1, 1, 0.9, 0.5, 0.5);
  const double surface_mass0 = row.link_mass(1) - 100.0 * 2500.0 * row.cm.CM_LINK_BED_AREA(1) *
                                                      CmLinkRow::THETA * 0.5;
  row.step();
  EXPECT_EQ(row.water(1), 0.25);
  EXPECT_EQ(row.sub.STREAM_AQUIFER_WET_FLOW(1, 1), 0.0);
  EXPECT_NEAR(row.deep(1), 0.5, 1e-14);  // the bed water content is recomputed to rounding
  // Rain: 1e-6 m/s x 400 m2 x 2 x 3600 s = 2.88 (relative concentration x m3).
  const double surface_mass = 100.0 * 2500.0 * row.cm.CM_SURFACE_LAYER_AREA(1) *
                              CmLinkRow::THETA * row.surface_layer(1);
  EXPECT_NEAR(surface_mass - surface_mass0, 2.88, 1e-12);
  EXPECT_NEAR(row.cm.link_budget.link_in(1), 2.88, 1e-12);
}

// Three links in a row carry a steady 1 m3/s east, upstream first, with no bed exchange:
// each step the mass falls by exactly what leaves at the outlet end, 1 x Cw x DTUZ, and
// clean water enters at the upstream end. The pulse moves down the chain.
TEST(CmLinkTransport, ChainLosesExactlyTheOutflowAtItsOutlet) {
  CmLinkRow row(3);
  row.flow_east(1.0);
  row.cm.CM_SEDIMENT_KD(1, 1) = 0.5;  // the bed sorbs, but nothing reaches it
  row.set_link(1, 1, 1.0, 0.4, 0.2);
  row.set_link(2, 1, 0.5, 0.4, 0.2);
  row.set_link(3, 1, 0.2, 0.4, 0.2);
  double previous_out = 0.0;
  for (int n = 0; n < 6; ++n) {
    const double before = row.total_mass();
    row.step();
    const double outflow = 1.0 * row.water(3) * 3600.0;
    EXPECT_NEAR(before - row.total_mass(), outflow, 1e-10 * before) << "step " << n;
    EXPECT_NEAR(row.cm.link_budget.link_out(1) - previous_out, outflow, 1e-10 * before);
    previous_out = row.cm.link_budget.link_out(1);
    EXPECT_EQ(row.surface_layer(2), 0.4);
  }
  // Clean water pushes the contaminant east: the upstream link empties first.
  EXPECT_LT(row.water(1), row.water(2));
  EXPECT_LT(row.water(2), row.water(3));
  EXPECT_EQ(row.cm.link_budget.link_in(1), 0.0);
  EXPECT_EQ(row.cm.SNL3_FAILURE_COUNT, 0);
}

// A closed link whose bed takes in sediment and then gives it back (the deposition area
// rises, then falls), with exchange between the compartments and sorption: water, surface
// layer and deep layer together keep their mass.
TEST(CmLinkTransport, DepositionAndErosionKeepTheLinkMass) {
  CmLinkRow row(1);
  row.cm.CM_SEDIMENT_KD(1, 1) = 0.5;
  row.cm.CM_BED_LAYER_EXCHANGE(1) = 1e-9;
  row.cm.CM_WATER_BED_EXCHANGE(1) = 1e-9;
  row.sed.FDEL(1, 1) = row.cm.CM_FDEL_PREVIOUS(1, 1) = 0.002;
  row.set_link(1, 1, 1.0, 0.3, 0.1);
  const double mass0 = row.link_mass(1);
  const double deposited[] = {2e-4, 5e-4, 6e-4, 4e-4, 1e-4, 0.0};
  for (double area : deposited) {
    row.sed.SY_NET_DEPOSITION_AREA(1) = area;
    row.step();
    EXPECT_NEAR(row.link_mass(1), mass0, 1e-9 * mass0) << "deposition area " << area;
  }
  EXPECT_EQ(row.cm.SNL3_FAILURE_COUNT, 0);
}

// A closed link (no flow, no decay, no exchange coefficients) whose bed grows by 1 % a
// step: the deposit carries the water and suspended sorbate of the area it takes, and
// pushes the same area of surface layer down into the deep layer. With capacities
// Kw = 1 (water), Kp = 1 + 0.5 (depositing sediment), Ks = Kd = 0.3 + 0.5 (bed), areas A
// (water), As (surface layer), B -> B + dB (deep layer), the balances solved by hand are
//   Kw A Cw' = Kw A Cw - dB Kp Cw'
//   Ks As Cs' = Ks As Cs + dB Kp Cw' - dB Ks Cs'
//   Kd (B + dB) Cd' = Kd B Cd + dB Ks Cs'
// so each step moves the contaminant of 1 % of the bed, no more. A bed that stops
// growing moves nothing.
TEST(CmLinkTransport, GrowingBedTakesInTheContaminantOfTheAreaItGains) {
  CmLinkRow row(1);
  row.cm.CM_SEDIMENT_KD(1, 1) = 0.5;
  row.set_link(1, 1, 1.0, 0.4, 0.2);
  const double Kw = 1.0, Kp = 1.5, Ks = 0.8;
  const double A = CmLinkRow::WATER_AREA, As = 0.05 * CmLinkRow::WIDTH;  // m2
  const double B0 = (0.75 - 0.05) * CmLinkRow::WIDTH;
  double B = B0, Cw = 1.0, Cs = 0.4, Cd = 0.2;
  const double mass0 = row.link_mass(1);
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    const bool growing = n <= 5;
    const double dB = growing ? 0.01 * B : 0.0;
    const double start[3] = {row.water(1), row.surface_layer(1), row.deep(1)};
    const double water_before = CmLinkRow::LENGTH * A * Kw * row.water(1);
    row.sed.SY_NET_DEPOSITION_AREA(1) = B + dB - B0;
    row.step();
    const double Cw_new = Kw * A * Cw / (Kw * A + Kp * dB);
    const double Cs_new = (Ks * As * Cs + dB * Kp * Cw_new) / (Ks * (As + dB));
    const double Cd_new = (Ks * B * Cd + dB * Ks * Cs_new) / (Ks * (B + dB));
    // Rounding of sums of a few terms of order 1.
    EXPECT_NEAR(row.water(1), Cw_new, 1e-13);
    EXPECT_NEAR(row.surface_layer(1), Cs_new, 1e-13);
    EXPECT_NEAR(row.deep(1), Cd_new, 1e-13);
    const double water_lost = water_before - CmLinkRow::LENGTH * A * Kw * row.water(1);
    EXPECT_NEAR(water_lost, CmLinkRow::LENGTH * dB * Kp * row.water(1), 1e-12);
    if (!growing) {
      EXPECT_EQ(row.water(1), start[0]);
      EXPECT_EQ(row.surface_layer(1), start[1]);
      EXPECT_EQ(row.deep(1), start[2]);
    }
    EXPECT_NEAR(row.link_mass(1), mass0, 1e-12 * mass0);
    B += dB;
    Cw = Cw_new, Cs = Cs_new, Cd = Cd_new;
  }
  // Five steps of 1.5 x 0.028.. m2 against 2 m2 of water: the water keeps (2 / 2.04..)^5.
  EXPECT_NEAR(Cw, 0.90, 0.01);
  EXPECT_EQ(row.cm.SNL3_FAILURE_COUNT, 0);
}

// Two identical contaminants in a run whose sediment changes between steps (suspended
// sediment, deposition, infiltration) stay identical: the link's previous composition
// moves on once per step, not between contaminants.
TEST(CmLinkTransport, IdenticalContaminantsStayIdenticalWithSediment) {
  CmLinkRow row(2, 2);
  row.flow_east(0.5);
  for (int k = 1; k <= 2; ++k) {
    row.cm.CM_SEDIMENT_KD(1, k) = 0.5;
    row.cm.CM_SEDIMENT_KD(2, k) = 2.0;
    row.cm.CM_WATER_BED_EXCHANGE(k) = 1e-9;
    row.set_link(1, k, 1.0, 0.3, 0.1);
    row.set_link(2, k, 0.5, 0.2, 0.1);
  }
  for (int n = 1; n <= 4; ++n) {
    for (int l = 1; l <= 2; ++l) {
      row.sed.FDEL(l, 1) = 0.001 * n;
      row.sed.FDEL(l, 2) = 0.002 / n;
      row.sed.DLS(l) = 0.01 * n;
      row.sed.FBETA(l, 1) = 1.0 / n;
      row.sed.FBETA(l, 2) = 1.0 - 1.0 / n;
      row.cm.CM_LINK_BED_SIZE_SHARE(l, 1) = 1.0 / n;
      row.cm.CM_LINK_BED_SIZE_SHARE(l, 2) = 1.0 - 1.0 / n;
      row.sed.SY_INFILTRATION_RATE_DEEP(l, 2) = row.sed.SY_INFILTRATION_RATE_SURFACE(l, 2) = 1e-7 * n;
      row.sed.SY_NET_DEPOSITION_AREA(l) = 1e-4 * n;
    }
    row.step();
    for (int l = 1; l <= 2; ++l) {
      EXPECT_EQ(row.water(l, 1), row.water(l, 2));
      EXPECT_EQ(row.surface_layer(l, 1), row.surface_layer(l, 2));
      EXPECT_EQ(row.deep(l, 1), row.deep(l, 2));
      EXPECT_TRUE(std::isfinite(row.water(l, 1)));
    }
  }
  // The composition stores hold this step's values.
  EXPECT_EQ(row.cm.CM_FDEL_PREVIOUS(1, 1), 0.004);
  EXPECT_EQ(row.cm.CM_LINK_BED_SIZE_SHARE_PREVIOUS(1, 1), 0.25);
}

// A balance that breaks down (a NaN rain concentration) leaves every compartment at its
// start value and counts one failure.
TEST(CmLinkTransport, FailedBalanceKeepsTheStartValues) {
  CmLinkRow row(1);
  row.surface.PNETTO(1) = 1e-6;
  row.cm.CM_RAIN_REL_CONC(1) = std::numeric_limits<double>::quiet_NaN();
  row.set_link(1, 1, 0.7, 0.3, 0.1);
  row.step();
  EXPECT_EQ(row.water(1), 0.7);
  EXPECT_EQ(row.surface_layer(1), 0.3);
  EXPECT_EQ(row.deep(1), 0.1);
  EXPECT_EQ(row.cm.SNL3_FAILURE_COUNT, 1);
}

}  // namespace
}  // namespace quendal
