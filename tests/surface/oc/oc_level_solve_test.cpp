// The level changes of the OC step, solved by the sparse iteration, against the exact
// elimination over grid rows, on a generated catchment of a few thousand elements: a
// storm and its recession, and the hard case of a nearly dry surface taking very short
// steps. The water balance must close whichever solver ran.
#include <gtest/gtest.h>

#include <cmath>

#include "surface/oc/oc_catchment.h"
#include "surface/oc/oc_time_step.h"

namespace quendal {
namespace {

using testing::build_oc_catchment;
using testing::oc_step;
using testing::OcCatchmentLayout;

// A 48 x 40 valley of 100 m squares: a main channel along the south faces of row 20
// leaves over a free weir at its east end; tributaries come in from the north every ten
// columns from column 5 and from the south every ten from column 10, each meeting the
// main channel at a three-way junction. The ground falls 0.2% to the east and 1% to
// the valley floor.
struct GeneratedValley : ::testing::Test {
  static constexpr int NX = 48, NY = 40, MID = 20;
  Model model;
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  OcStepState state;
  double rain_in = 0.0, out = 0.0;  // m3 since the start

  void SetUp() override {
    model.io.units.open(PRINT_UNIT, "/dev/null", UnitDirection::Output);
    OcCatchmentLayout layout;
    layout.nx = NX;
    layout.ny = NY;
    for (int i = 1; i <= NX; ++i) layout.ew_links.push_back({i, MID});
    for (int x = 5; x <= NX; x += 10) {
      for (int j = MID; j <= NY; ++j) layout.ns_links.push_back({x, j});
    }
    for (int x = 10; x <= NX; x += 10) {
      for (int j = 1; j < MID; ++j) layout.ns_links.push_back({x, j});
    }
    layout.ground = [](int i, int j) { return 100.0 + 0.2 * (NX - i) + 1.0 * std::fabs(j + 0.5 - MID); };
    layout.channel_width = 10.0;
    layout.channel_depth = 3.0;
    layout.channel_strickler = 25.0;
    build_oc_catchment(model, layout);
    int outlet = 0;
    for (int l = 1; l <= frame.NLF; ++l) {
      if (!frame.LINK_NORTH_SOUTH(l) && frame.ICMREF(l, 1, 2) == 0) outlet = l;
    }
    ASSERT_NE(outlet, 0);
    testing::add_oc_boundary(surface, 1, outlet, 1, OC_BC_WEIR, 1,
                             {10.0, 0.67, frame.ZGRUND(outlet), frame.ZGRUND(outlet) - 10.0, 0.0});
    for (int e = 1; e <= frame.NEL; ++e) {
      surface.SET_HRF(e, frame.ZGRUND(e) + (e <= frame.NLF ? 0.1 : 0.001));
    }
    ASSERT_GT(frame.NEL, 2000);
  }

  // Water on the surface before the first step (ARXL not yet computed; rectangular
  // channels).
  double initial_storage() const {
    double v = 0.0;
    for (int e = 1; e <= frame.NEL; ++e) {
      const double a = e <= frame.NLF ? surface.CWIDTH(e) * frame.CLENTH(e) : frame.AREA(e);
      v += (surface.GET_HRF(e) - frame.ZGRUND(e)) * a;
    }
    return v;
  }

  void step(double hours, double rain) {
    for (int e = 1; e <= frame.NEL; ++e) {
      surface.PNETTO(e) = rain;
      rain_in += rain * frame.AREA(e) * hours * 3600.0;
    }
    oc_step(model, state, hours);
    out -= testing::boundary_inflow(model) * hours * 3600.0;
  }
};

TEST_F(GeneratedValley, LevelChangesAgreeWithTheEliminationByRowsEveryStep) {
  // A 3-hour storm of 20 mm/h and 9 hours of recession, quarter-hour steps.
  state.check_by_rows = true;
  const double v0 = initial_storage();
  for (int n = 1; n <= 48; ++n) {
    step(0.25, n <= 12 ? 20.0 / 3.6e6 : 0.0);
    ASSERT_LE(state.largest_difference_from_rows, 1e-10) << "step " << n;
  }
  // These ordinary steps never needed LU.
  EXPECT_EQ(state.iterated_solves, 48);
  EXPECT_EQ(state.factorised_solves, 0);
  ASSERT_GT(out, 0.05 * rain_in);
  // The balance closes to round-off: levels of about 100 m carry about 1e-14 m, over
  // 2,400 elements of up to 1e4 m2 and 48 steps, about 1e-5 m3 against 1e5 m3 of rain.
  EXPECT_NEAR(testing::surface_storage(model) - v0, rain_in - out, 1e-9 * rain_in);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

TEST_F(GeneratedValley, ANearlyDryCatchmentTakesVeryShortStepsAfterAStorm) {
  // The storm of the test above, two days of recession that leave films of a few mm on
  // the slopes and low channels, then one-second steps. The storage term then dominates
  // every equation and the iteration needs about two sweeps; with its cap at one the
  // same steps fall back to LU. Either way the level changes agree with the elimination
  // by rows and the water balance closes.
  const double v0 = initial_storage();
  for (int n = 1; n <= 12; ++n) step(0.25, 20.0 / 3.6e6);
  for (int n = 1; n <= 48; ++n) step(1.0, 0.0);
  state.check_by_rows = true;
  const long iterated = state.iterated_solves, factorised = state.factorised_solves;
  for (int n = 1; n <= 5; ++n) step(1.0 / 3600.0, 0.0);
  EXPECT_EQ(state.iterated_solves - iterated, 5);
  state.levels.set_iteration_cap(1);
  for (int n = 1; n <= 5; ++n) step(1.0 / 3600.0, 0.0);
  EXPECT_EQ(state.factorised_solves - factorised, 5);
  EXPECT_LE(state.largest_difference_from_rows, 1e-10);
  EXPECT_NEAR(testing::surface_storage(model) - v0, rain_in - out, 1e-9 * rain_in);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

}  // namespace
}  // namespace quendal
