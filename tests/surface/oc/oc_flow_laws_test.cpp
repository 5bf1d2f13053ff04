// Flow laws of the overland and channel flow component.
//
// Expected values are worked out by hand from the formulas of open-channel hydraulics:
// Strickler (Manning) flow Q = K W y^(5/3) sqrt(dH / L) over a wide surface and
// Q = K A y^(2/3) sqrt(dH / L) in a channel (depth standing in for the hydraulic
// radius), free weir flow Q = Cf h^(3/2), submerged weir flow Q = Cs hd sqrt(Hu - Hd).
//
// Every derivative is compared with a central finite difference of the flow, step
// 1e-6 m. With levels near 100 m the step itself is known to about 1e-14 m (relative
// 1e-8), the rounding of the flows adds about 1e-16 / 1e-6 = 1e-10 relative, and the
// truncation error (step / distance to the nearest kink)^2 is below 1e-6 because every
// sample point lies at least 1 mm from a kink of its law (1 mm depth, 1 mm head, the
// change of upstream side, the weir's submergence limit, the bank top). So the
// difference must agree to 1e-6 relative.
#include "surface/oc/oc_flow_laws.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "surface/oc/oc_conveyance.h"

namespace quendal {
namespace {

constexpr double STEP = 1e-6;              // m, finite-difference step
constexpr double FD_TOLERANCE = 1e-6;      // relative, see above
// Closed-form values: levels near 100 m carry about 1.4e-14 m of rounding, a few 1e-13
// relative on depths and heads of centimetres.
constexpr double CLOSED_FORM = 1e-11;
// Relative error of the linear interpolation in a section table: C'' (D / 99999)^2 / 8
// over C is below 1e-9 for the smooth sections used here.
constexpr double TABLE_INTERPOLATION = 1e-9;

void expect_relative(double actual, double expected, double tolerance) {
  EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected)) << "expected " << expected;
}

double central_difference(const std::function<double(double)>& q, double x) {
  return (q(x + STEP) - q(x - STEP)) / (2.0 * STEP);
}

void expect_derivative(double analytic, double numeric) {
  EXPECT_NEAR(analytic, numeric, FD_TOLERANCE * (std::fabs(analytic) + 1e-9))
      << "analytic " << analytic << ", finite difference " << numeric;
}

// Whatever enters one side leaves the other, for the flow and both derivatives.
void expect_antisymmetric(const OcPairFlow& p) {
  EXPECT_EQ(p.Q2, -p.Q1);
  EXPECT_EQ(p.D21, -p.D11);
  EXPECT_EQ(p.D22, -p.D12);
}

using PairLaw = std::function<OcPairFlow(double H1, double H2)>;

// All four derivatives of a pair law at (H1, H2) against central differences.
void expect_pair_derivatives(const PairLaw& law, double H1, double H2) {
  const OcPairFlow p = law(H1, H2);
  expect_antisymmetric(p);
  expect_derivative(p.D11, central_difference([&](double h) { return law(h, H2).Q1; }, H1));
  expect_derivative(p.D12, central_difference([&](double h) { return law(H1, h).Q1; }, H2));
  expect_derivative(p.D21, central_difference([&](double h) { return law(h, H2).Q2; }, H1));
  expect_derivative(p.D22, central_difference([&](double h) { return law(H1, h).Q2; }, H2));
}

bool all_finite(const OcPairFlow& p) {
  for (double v : {p.Q1, p.Q2, p.D11, p.D12, p.D21, p.D22}) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// A rectangular channel 2 m wide and 1 m deep with Strickler coefficient 30: below
// bank-full its conveyance is 30 x (2 y) x y^(2/3).
OcSectionTable rectangular_table() {
  const std::vector<double> widths{2.0, 2.0}, heights{0.0, 1.0};
  return build_section_table(widths, heights, 30.0);
}

// A V-shaped channel, zero width at its bed, 4 m wide at 1 m.
OcSectionTable v_table() {
  const std::vector<double> widths{0.0, 4.0}, heights{0.0, 1.0};
  return build_section_table(widths, heights, 25.0);
}

// --- weir -----------------------------------------------------------------------------

TEST(OcWeirFlow, FreeAndSubmergedFlowsByHand) {
  // Free: Cf = 2, head 0.5 m above the crest, tail below the crest.
  const OcWeirFlow free = OC_WEIR_FLOW(10.5, 10.0, 9.0, 3.0, 2.0, 0.5);
  expect_relative(free.Q, 2.0 * std::pow(0.5, 1.5), CLOSED_FORM);
  expect_relative(free.dQ_dHu, 1.5 * 2.0 * std::sqrt(0.5), CLOSED_FORM);
  EXPECT_EQ(free.dQ_dHd, 0.0);
  // Submerged: tail head 0.4 m > 0.5 x 0.5 m; Cs = 3: Q = 3 x 0.4 x sqrt(0.1).
  const OcWeirFlow sub = OC_WEIR_FLOW(10.5, 10.0, 10.4, 3.0, 2.0, 0.5);
  expect_relative(sub.Q, 0.3794733192202056, CLOSED_FORM);
}

TEST(OcWeirFlow, BelowTheCrestNothingFlows) {
  const OcWeirFlow dry = OC_WEIR_FLOW(9.5, 10.0, 9.0, 3.0, 2.0, 0.5);
  EXPECT_EQ(dry.Q, 0.0);
  EXPECT_EQ(dry.dQ_dHu, 0.0);
  EXPECT_EQ(dry.dQ_dHd, 0.0);
  // Less than 1 mm below the crest: still no flow, but the solver already sees the
  // weir about to flow through a floored free-flow derivative.
  const OcWeirFlow edge = OC_WEIR_FLOW(9.9995, 10.0, 9.0, 3.0, 2.0, 0.5);
  EXPECT_EQ(edge.Q, 0.0);
  expect_relative(edge.dQ_dHu, 1.5 * 2.0 * 0.0316227766, CLOSED_FORM);
  EXPECT_EQ(edge.dQ_dHd, 0.0);
}

TEST(OcWeirFlow, DerivativesMatchFiniteDifferences) {
  struct Case {
    const char* name;
    double Hu, Hd;
  };
  for (const Case& c : {Case{"free", 10.5, 9.0}, Case{"free, tail above crest", 10.5, 10.2},
                        Case{"submerged", 10.5, 10.4}, Case{"submerged, deep", 11.3, 11.0}}) {
    SCOPED_TRACE(c.name);
    const auto weir = [](double Hu, double Hd) {
      return OC_WEIR_FLOW(Hu, 10.0, Hd, 3.0, 2.0, 0.5);
    };
    const OcWeirFlow w = weir(c.Hu, c.Hd);
    expect_derivative(w.dQ_dHu,
                      central_difference([&](double h) { return weir(h, c.Hd).Q; }, c.Hu));
    expect_derivative(w.dQ_dHd,
                      central_difference([&](double h) { return weir(c.Hu, h).Q; }, c.Hd));
  }
}

// --- overland pair ----------------------------------------------------------------------

// Two grid squares 50 m and 30 m from their common face, 100 m wide, Strickler
// coefficients 10 and 20 (Manning n 0.1 and 0.05).
OcPairFlow overland(double H1, double H2, int code = 0) {
  return OC_NEIGHBOUR_FLOW_LEVEL(code, 50.0, 30.0, 100.0, 99.9, 10.0, 20.0, 100.0, H1, H2);
}

TEST(OcOverlandFlow, StricklerFlowBetweenTwoSquaresByHand) {
  // Square 1 upstream: depth 0.2 m, head difference 0.15 m over 80 m; the face's
  // coefficient is the distance-weighted (10 x 50 + 20 x 30) / 80 = 13.75.
  const OcPairFlow p = overland(100.2, 100.05);
  const double expected = 13.75 * 100.0 * std::pow(0.2, 5.0 / 3.0) * std::sqrt(0.15 / 80.0);
  expect_relative(expected, 4.072427176626501, CLOSED_FORM);  // the hand value
  expect_relative(p.Q2, expected, CLOSED_FORM);
  expect_antisymmetric(p);

  // Reversed: square 2 upstream with 0.25 m of water over its ground at 99.9.
  const OcPairFlow r = overland(100.0, 100.15);
  expect_relative(r.Q1, 13.75 * 100.0 * std::pow(0.25, 5.0 / 3.0) * std::sqrt(0.15 / 80.0),
                  CLOSED_FORM);
  expect_antisymmetric(r);
}

TEST(OcOverlandFlow, ShallowFilmUsesThePolynomialConveyance) {
  // Square 2 upstream with 0.5 mm of water: C = Keff W (10/3) y^2 (4 - 1000 y).
  // Grounds at 0 keep the depths exact.
  const OcPairFlow p =
      OC_NEIGHBOUR_FLOW_LEVEL(0, 50.0, 50.0, 0.0, 0.0, 10.0, 10.0, 100.0, 0.0, 0.0005);
  const double C = 1000.0 * (10.0 / 3.0) * 0.0005 * 0.0005 * (4.0 - 0.5);
  expect_relative(p.Q1, C * std::sqrt(0.0005 / 100.0), CLOSED_FORM);
}

TEST(OcOverlandFlow, EqualLevelsGiveNoFlowButFiniteDerivatives) {
  // Flat water surface over sloping ground: no flow whatever the ground does.
  const OcPairFlow p = overland(100.2, 100.2);
  EXPECT_EQ(p.Q1, 0.0);
  EXPECT_EQ(p.Q2, 0.0);
  // Square 2 counts as upstream (depth 0.3 m). The slope of sqrt(dH) is taken at 1 mm
  // of head, plus the conveyance slope over the missing millimetre:
  // P = (C + 0.001 C') x 0.5 / sqrt(0.001).
  const double K = 13.75 * 100.0, y = 0.3;
  const double C = K * std::pow(y, 5.0 / 3.0), Cp = 5.0 / 3.0 * K * std::pow(y, 2.0 / 3.0);
  const double P = (C + 0.001 * Cp) * 0.5 / 0.0316227766 / std::sqrt(80.0);
  expect_relative(p.D11, -P, CLOSED_FORM);  // flow into 1 falls as 1 rises
  expect_relative(p.D12, P, CLOSED_FORM);
  expect_antisymmetric(p);
}

TEST(OcOverlandFlow, DryUpstreamAndImpermeableFacesCarryNothing) {
  // Upstream square 2 holds 1e-10 m of water (grounds at 0 keep it exact).
  const OcPairFlow dry =
      OC_NEIGHBOUR_FLOW_LEVEL(0, 50.0, 30.0, 0.0, 0.0, 10.0, 20.0, 100.0, -0.05, 1e-10);
  const OcPairFlow blocked = overland(100.2, 100.05, OC_BC_IMPERMEABLE);
  for (const OcPairFlow& p : {dry, blocked}) {
    for (double v : {p.Q1, p.Q2, p.D11, p.D12, p.D21, p.D22}) EXPECT_EQ(v, 0.0);
  }
}

TEST(OcOverlandFlow, DerivativesMatchFiniteDifferences) {
  const PairLaw law = [](double H1, double H2) { return overland(H1, H2); };
  expect_pair_derivatives(law, 100.2, 100.05);     // 1 upstream, deep
  expect_pair_derivatives(law, 100.0, 100.15);     // 2 upstream, deep
  expect_pair_derivatives(law, 100.0006, 99.95);   // 1 upstream, 0.6 mm film
  expect_pair_derivatives(law, 100.0006, 99.9);    // 1 upstream, 0.6 mm film, dry below
}

// --- link beside a bank element or grid square -------------------------------------

// Link of length 100 m with its bank top at 99.0; the neighbour's node 25 m from the
// face, Strickler 5, its ground at `ground`.
OcPairFlow bank(double H1, double H2, double ground = 99.2) {
  return OC_NEIGHBOUR_FLOW(100.0, 0.0, 25.0, 99.0, ground, 30.0, 5.0, H1, H2);
}

TEST(OcBankFlow, LinkBelowItsBankTopReceivesWithTheHeadMeasuredToTheBankTop) {
  // Neighbour 5 cm deep, link half a metre below its bank top: the water falls over
  // the bank top, so the head is 99.25 - 99.0, not 99.25 - 98.5. L1 = 0: only the
  // neighbour's roughness and distance count.
  const OcPairFlow p = bank(98.5, 99.25);
  expect_relative(p.Q1, 5.0 * 100.0 * std::pow(0.05, 5.0 / 3.0) * std::sqrt(0.25 / 25.0),
                  CLOSED_FORM);
  expect_relative(p.Q1, 0.3393022020743633, CLOSED_FORM);
  // The channel's own level does not pull water out of the neighbour.
  EXPECT_EQ(p.D11, 0.0);
  expect_antisymmetric(p);
}

TEST(OcBankFlow, LinkAboveItsBankTopSpillsWithItsDepthAboveTheBankTop) {
  // Link 0.4 m above its bank top, neighbour 0.15 m lower.
  const OcPairFlow p = bank(99.4, 99.25);
  expect_relative(p.Q2, 5.0 * 100.0 * std::pow(0.4, 5.0 / 3.0) * std::sqrt(0.15 / 25.0),
                  CLOSED_FORM);
  expect_antisymmetric(p);
}

TEST(OcBankFlow, BothLevelsBelowTheBankTopGiveNoFlowAndNoNaN) {
  // The neighbour's level below its own ground: the head to the bank top would be
  // negative. Both directions.
  for (const auto& levels : {std::pair{98.5, 98.9}, std::pair{98.9, 98.5}}) {
    const OcPairFlow p = bank(levels.first, levels.second);
    for (double v : {p.Q1, p.Q2, p.D11, p.D12, p.D21, p.D22}) EXPECT_EQ(v, 0.0);
  }
}

TEST(OcBankFlow, GroundBelowTheBankTopMakesTheBankAWeir) {
  // Ground at 98.5 below the bank top 99.0: free spill with 0.3 m over the bank top and
  // the ground's water below the top; Cf = 0.386 x 4.42944 x 100.
  const OcPairFlow free = bank(99.3, 98.9, 98.5);
  expect_relative(free.Q2, 0.386 * 4.42944 * 100.0 * std::pow(0.3, 1.5), CLOSED_FORM);
  EXPECT_EQ(free.D12, 0.0);
  // The ground's water at 0.25 m above the top, more than 2/3 of 0.3 m: submerged.
  const OcPairFlow sub = bank(99.3, 99.25, 98.5);
  expect_relative(sub.Q2, 4.42944 * 100.0 * 0.25 * std::sqrt(0.05), CLOSED_FORM);
  // Just below 2/3 still free.
  const OcPairFlow edge = bank(99.3, 99.19, 98.5);
  expect_relative(edge.Q2, free.Q2, CLOSED_FORM);
  // Water on the ground flows back over the bank the same way.
  const OcPairFlow back = bank(98.9, 99.3, 98.5);
  expect_relative(back.Q1, free.Q2, CLOSED_FORM);
  expect_antisymmetric(back);
}

TEST(OcBankFlow, DerivativesMatchFiniteDifferences) {
  const PairLaw high = [](double H1, double H2) { return bank(H1, H2); };
  expect_pair_derivatives(high, 99.4, 99.25);   // link upstream above its bank top
  expect_pair_derivatives(high, 99.1, 99.25);   // neighbour upstream, link above the top
  expect_pair_derivatives(high, 98.5, 99.25);   // neighbour upstream, link well below
  expect_pair_derivatives(high, 99.4, 99.2005); // link upstream, 0.5 mm film beside it
  const PairLaw low = [](double H1, double H2) { return bank(H1, H2, 98.5); };
  expect_pair_derivatives(low, 99.3, 98.9);     // free spill from the link
  expect_pair_derivatives(low, 99.3, 99.25);    // submerged
  expect_pair_derivatives(low, 99.35, 99.4);    // submerged, from the ground
  expect_pair_derivatives(low, 99.1, 99.4);     // free, from the ground
}

// --- two links --------------------------------------------------------------------------

struct TwoLinks {
  OcSectionTable table1 = rectangular_table();
  OcSectionTable table2 = v_table();
  OcChannelSide side(double H, const OcSectionTable& t, double width, double area) const {
    OcChannelSide s;
    s.H = H;
    s.Z = 100.0;
    s.L = 50.0;
    s.K = 30.0;
    s.W = width;
    s.A = area;
    s.table = &t;
    return s;
  }
  OcPairFlow flow(double H1, double H2, int code = 0, const OcBoundaryNumbers& n = {},
                  const OcZqDischarge* zq = nullptr) const {
    return OC_STRUCTURE_FLOW(code, side(H1, table1, 2.0, 2.0), side(H2, table2, 4.0, 2.0), n, zq);
  }
};

TEST(OcStructureFlow, ChannelFlowUsesTheUpstreamLinksSection) {
  const TwoLinks links;
  // Link 1 upstream, 0.5 m deep in its 2 m rectangle: C = 30 x 1 m2 x 0.5^(2/3);
  // head 0.1 m over 100 m.
  const OcPairFlow p = links.flow(100.5, 100.4);
  expect_relative(p.Q2, 0.5976330284487671, TABLE_INTERPOLATION);
  expect_antisymmetric(p);
  // Link 2 upstream, 0.5 m deep in the V: area 0.5 x 2 m x 0.5 m = 0.5 m2, K = 25.
  const OcPairFlow r = links.flow(100.4, 100.5);
  expect_relative(r.Q1, 25.0 * 0.5 * std::pow(0.5, 2.0 / 3.0) * std::sqrt(0.1 / 100.0),
                  TABLE_INTERPOLATION);
}

TEST(OcStructureFlow, AboveBankFullTheSectionWidensWithItsTopWidth) {
  const TwoLinks links;
  // 1.3 m in the 1 m deep rectangle: area 2 + 0.3 x 2 = 2.6 m2, C = 30 x 2.6 x 1.3^(2/3).
  expect_relative(links.flow(101.3, 101.2).Q2, 2.9380341370901224, CLOSED_FORM);
}

TEST(OcStructureFlow, WeirBetweenLinksByHand) {
  const TwoLinks links;
  const OcBoundaryNumbers weir{2.0, 0.5, 100.6, 0.0, 0.0};  // Cw, r, crest
  // Link 2 upstream 0.5 m over the crest, link 1 below the crest: free, Cf = Cw.
  const OcPairFlow p = links.flow(100.4, 101.1, OC_BC_WEIR, weir);
  expect_relative(p.Q1, 2.0 * std::pow(0.5, 1.5), CLOSED_FORM);
  expect_antisymmetric(p);
  // Submerged: link 1 0.4 m over the crest; Cs = Cw.
  expect_relative(links.flow(101.0, 101.1, OC_BC_WEIR, weir).Q1, 2.0 * 0.4 * std::sqrt(0.1),
                  CLOSED_FORM);
}

TEST(OcStructureFlow, ZqTableGivesItsDischargeToTheDownstreamLink) {
  const TwoLinks links;
  const OcZqDischarge zq{3.5, 2.25};
  const OcPairFlow p = links.flow(100.4, 101.2, OC_BC_ZQ_TABLE, {}, &zq);
  EXPECT_EQ(p.Q1, 3.5);
  EXPECT_EQ(p.D12, 2.25);  // the rating's slope, with the upstream level
  EXPECT_EQ(p.D11, 0.0);   // the downstream level does not enter
  expect_antisymmetric(p);
}

TEST(OcStructureFlow, DerivativesMatchFiniteDifferences) {
  const TwoLinks links;
  // Below bank-full the table's conveyance is linear within each row of D / 99999 m;
  // the upstream depth sits in the middle of a row so that the +-1e-6 m steps stay in
  // it: 30000.5 rows of 1 / 99999 m.
  const double mid_row = 30000.5 / 99999.0;
  const PairLaw channel = [&](double H1, double H2) { return links.flow(H1, H2); };
  expect_pair_derivatives(channel, 100.0 + mid_row, 100.0 + mid_row - 0.08);
  expect_pair_derivatives(channel, 100.0 + mid_row - 0.08, 100.0 + mid_row);
  expect_pair_derivatives(channel, 101.3, 101.2);  // above bank-full: smooth form
  const OcBoundaryNumbers weir{2.0, 0.5, 100.6, 0.0, 0.0};
  const PairLaw weir_law = [&](double H1, double H2) {
    return links.flow(H1, H2, OC_BC_WEIR, weir);
  };
  expect_pair_derivatives(weir_law, 100.4, 101.1);  // free
  expect_pair_derivatives(weir_law, 101.1, 101.0);  // submerged
}

// --- boundary faces -----------------------------------------------------------------

TEST(OcBoundaryFlow, FluxEntriesPassTheirCategoryValue) {
  for (int code : {OC_BC_FLUX, OC_BC_LINK_FLUX}) {
    const OcBoundaryFlow b = OC_BOUNDARY_FACE_FLOW(code, 50.0, 100.0, 10.0, nullptr, 100.0, 0.0,
                                                   {}, 100.3, -0.25);
    EXPECT_EQ(b.Q, -0.25);
    EXPECT_EQ(b.dQ_dH, 0.0);
  }
}

TEST(OcBoundaryFlow, PolynomialIsTheOutflowInTheDepth) {
  // Outflow 0.5 y^2 + 2 y + 0.1 at y = 0.3: 0.745 m3/s out; slope y + 2 = 2.3.
  const OcBoundaryNumbers a{0.0, 0.0, 0.5, 2.0, 0.1};
  for (int code : {OC_BC_POLYNOMIAL, OC_BC_LINK_POLYNOMIAL}) {
    const OcBoundaryFlow b =
        OC_BOUNDARY_FACE_FLOW(code, 50.0, 100.0, 10.0, nullptr, 100.0, 0.0, a, 100.3, 0.0);
    expect_relative(b.Q, -0.745, CLOSED_FORM);
    expect_relative(b.dQ_dH, -2.3, CLOSED_FORM);
  }
  // Only a0: the same outflow at any depth.
  const OcBoundaryNumbers constant{0.0, 0.0, 0.0, 0.0, 0.7};
  for (double H : {100.0, 100.5, 103.0}) {
    const OcBoundaryFlow b = OC_BOUNDARY_FACE_FLOW(OC_BC_POLYNOMIAL, 50.0, 100.0, 10.0, nullptr,
                                                   100.0, 0.0, constant, H, 0.0);
    EXPECT_EQ(b.Q, -0.7);
    EXPECT_EQ(b.dQ_dH, 0.0);
  }
}

TEST(OcBoundaryFlow, WeirSpillsOutOrLetsTheOutsideWaterIn) {
  // Cw = 2, r = 0.5, crest 100.6, outside level 100.0.
  const OcBoundaryNumbers weir{2.0, 0.5, 100.6, 100.0, 0.0};
  const OcBoundaryFlow out =
      OC_BOUNDARY_FACE_FLOW(OC_BC_WEIR, 50.0, 100.0, 30.0, nullptr, 2.0, 0.0, weir, 101.1, 0.0);
  expect_relative(out.Q, -2.0 * std::pow(0.5, 1.5), CLOSED_FORM);
  expect_relative(out.dQ_dH, -1.5 * 2.0 * std::sqrt(0.5), CLOSED_FORM);
  // Outside level 101.1 (0.5 m over the crest) above the element at 100.9 (0.3 m over
  // it, more than 0.5 x 0.5 m: submerged): inflow 2 x 0.3 x sqrt(0.2).
  const OcBoundaryNumbers high{2.0, 0.5, 100.6, 101.1, 0.0};
  const OcBoundaryFlow in =
      OC_BOUNDARY_FACE_FLOW(OC_BC_WEIR, 50.0, 100.0, 30.0, nullptr, 2.0, 0.0, high, 100.9, 0.0);
  expect_relative(in.Q, 2.0 * 0.3 * std::sqrt(0.2), CLOSED_FORM);
}

TEST(OcBoundaryFlow, RiverWithWeirAddsChannelFlowToTheOutsideLevel) {
  const OcSectionTable table = rectangular_table();
  // Link 0.5 m deep (bed 100.0), outside level 0.2 m lower, crest above both: no weir
  // flow; channel flow C sqrt(0.2) / sqrt(2 x 50) out, C = 30 x 1 m2 x 0.5^(2/3).
  const OcBoundaryNumbers n{2.0, 0.5, 100.8, 100.3, 0.0};
  const OcBoundaryFlow b = OC_BOUNDARY_FACE_FLOW(OC_BC_RIVER_WEIR, 50.0, 100.0, 30.0, &table,
                                                 2.0, 2.0, n, 100.5, 0.0);
  expect_relative(b.Q, -0.8451807341543521, TABLE_INTERPOLATION);

  // Outside level equal to the link's and more than 1 mm below the crest: no flow, and
  // the derivative of the channel term at a floored head of 1 mm.
  const OcBoundaryNumbers level{2.0, 0.5, 100.8, 100.5, 0.0};
  const OcBoundaryFlow still = OC_BOUNDARY_FACE_FLOW(OC_BC_RIVER_WEIR, 50.0, 100.0, 30.0, &table,
                                                     2.0, 2.0, level, 100.5, 0.0);
  EXPECT_EQ(still.Q, 0.0);
  const double C = 30.0 * 1.0 * std::pow(0.5, 2.0 / 3.0);
  const double Cp = 30.0 * 2.0 * (5.0 / 3.0) * std::pow(0.5, 2.0 / 3.0);  // d(60 y^(5/3))/dy
  expect_relative(still.dQ_dH, -(C + 0.001 * Cp) * 0.5 / 0.0316227766 / 10.0, 1e-6);
}

TEST(OcBoundaryFlow, ImpermeableAndHeadEntriesCarryNothing) {
  const OcBoundaryNumbers n{1.0, 1.0, 1.0, 1.0, 1.0};
  for (int code : {0, OC_BC_IMPERMEABLE, OC_BC_HEAD, OC_BC_LINK_HEAD, OC_BC_RIVER_LINK}) {
    const OcBoundaryFlow b =
        OC_BOUNDARY_FACE_FLOW(code, 50.0, 100.0, 10.0, nullptr, 100.0, 0.0, n, 100.3, 5.0);
    EXPECT_EQ(b.Q, 0.0) << code;
    EXPECT_EQ(b.dQ_dH, 0.0) << code;
  }
}

TEST(OcBoundaryFlow, DerivativesMatchFiniteDifferences) {
  const OcSectionTable table = rectangular_table();
  struct Case {
    const char* name;
    int code;
    OcBoundaryNumbers n;
    double H;
  };
  const double mid_row = 100.0 + 30000.5 / 99999.0;
  const Case cases[] = {
      {"polynomial", OC_BC_POLYNOMIAL, {0.1, -0.2, 0.5, 2.0, 0.1}, 100.3},
      {"weir out, free", OC_BC_WEIR, {2.0, 0.5, 100.6, 100.0, 0.0}, 101.1},
      {"weir out, submerged", OC_BC_WEIR, {2.0, 0.5, 100.6, 101.0, 0.0}, 101.1},
      {"weir in, submerged", OC_BC_WEIR, {2.0, 0.5, 100.6, 101.1, 0.0}, 100.9},
      {"weir in, free", OC_BC_WEIR, {2.0, 0.5, 100.6, 101.1, 0.0}, 100.4},
      {"river+weir out", OC_BC_RIVER_WEIR, {2.0, 0.5, 100.2, 100.1, 0.0}, mid_row},
      {"river+weir in", OC_BC_RIVER_WEIR, {2.0, 0.5, 100.2, 100.5, 0.0}, mid_row},
      {"river+weir above bank-full", OC_BC_RIVER_WEIR, {2.0, 0.5, 100.9, 101.0, 0.0}, 101.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto q = [&](double H) {
      return OC_BOUNDARY_FACE_FLOW(c.code, 50.0, 100.0, 30.0, &table, 2.0, 2.0, c.n, H, 0.0);
    };
    expect_derivative(q(c.H).dQ_dH, central_difference([&](double H) { return q(H).Q; }, c.H));
  }
}

// --- robustness -----------------------------------------------------------------------

// Dry elements and levels below the ground or bed (negative depths) must give finite
// flows: the solver cannot recover from one NaN.
TEST(OcFlowLaws, NoNaNForDryElementsOrNegativeDepths) {
  const TwoLinks links;
  const OcBoundaryNumbers weir{2.0, 0.5, 100.6, 100.0, 0.0};
  const std::vector<std::pair<double, double>> levels = {
      {100.0, 100.0}, {99.0, 99.5}, {99.5, 99.0}, {100.0, 99.0}, {98.0, 100.0}, {99.9, 99.9}};
  for (const auto& [H1, H2] : levels) {
    SCOPED_TRACE(testing::Message() << H1 << " " << H2);
    EXPECT_TRUE(all_finite(overland(H1, H2)));
    EXPECT_TRUE(all_finite(OC_NEIGHBOUR_FLOW(100.0, 0.0, 25.0, 100.0, 100.2, 30.0, 5.0, H1, H2)));
    EXPECT_TRUE(all_finite(OC_NEIGHBOUR_FLOW(100.0, 0.0, 25.0, 100.0, 99.2, 30.0, 5.0, H1, H2)));
    EXPECT_TRUE(all_finite(links.flow(H1, H2)));  // both beds at 100.0: negative depths
    EXPECT_TRUE(all_finite(links.flow(H1, H2, OC_BC_WEIR, weir)));
    const OcSectionTable table = v_table();
    for (int code : {OC_BC_POLYNOMIAL, OC_BC_WEIR, OC_BC_RIVER_WEIR}) {
      const OcBoundaryFlow b =
          OC_BOUNDARY_FACE_FLOW(code, 50.0, 100.0, 25.0, &table, 4.0, 2.0, weir, H1, 0.0);
      EXPECT_TRUE(std::isfinite(b.Q) && std::isfinite(b.dQ_dH)) << code;
    }
  }
}

}  // namespace
}  // namespace quendal
