// The snow pack: degree-day and energy-budget melt, snowfall, the delayed meltwater
// slugs, conservation of water, and the snow step's place in the ET step.
#include "surface/snow/snow_step.h"

#include <gtest/gtest.h>

#include <cmath>

#include "model_fixture.h"
#include "surface/et/et_data.h"
#include "surface/et/et_step.h"
#include "surface/snow/snow_data.h"

namespace quendal {
namespace {

// A state of one element holding a pack; specific gravity 0.2.
SurfaceState pack_state(int msm, double depth, double ts = 0.0) {
  SurfaceState s;
  allocate_snow_state(s, 1);
  s.MSM = msm;
  s.RHOS = s.SM_RHOS_DEFAULT = 0.2;
  s.SM_ELEMENT_RHOS(1) = 0.2;
  s.DDF = 0.0001;
  s.ZOS = 0.005;
  s.ZDS = 0.0;
  s.ZUS = 2.0;
  s.SD(1) = depth;
  s.TS(1) = ts;
  return s;
}

SnowWeather weather(double T, double wind = 3.0, double rn = 0.0, double vpd = 0.0) {
  return SnowWeather{T, wind, rn, vpd, 100.0};
}

TEST(SnowMelt, DegreeDayByHand) {
  EXPECT_NEAR(degree_day_melt(0.0001, 2.5, 3600.0), 0.18, 1e-15);  // 0.0001 x 3600 x 0.5
  EXPECT_EQ(degree_day_melt(0.0001, 1.9, 3600.0), 0.0);
  EXPECT_EQ(degree_day_melt(0.0001, 2.0, 3600.0), 0.0);
}

// Magnus: 6.112 mbar at the melting point; tables give 2.60 mbar over ice at -10 deg C
// and 23.39 mbar over water at 20 deg C (the form is good to about 0.5 % there).
TEST(SnowMelt, SaturationVapourPressureIsPositiveAndRight) {
  EXPECT_EQ(saturation_vapour_pressure(0.0), 6.112);
  EXPECT_NEAR(saturation_vapour_pressure(-10.0), 2.60, 0.01);
  EXPECT_NEAR(saturation_vapour_pressure(20.0), 23.39, 0.12);
  EXPECT_GT(saturation_vapour_pressure(-40.0), 0.0);
}

// A pack of 1000.18 mm melting 0.18 mm (T = 2.5, DDF 0.0001, one hour) is 1000 mm deep
// after the update: its slug, 0.2 x 0.18 mm of water, is due 1 x (1.429 + 0.7448) =
// 2.1738 h later (single-precision constants: to 1e-7 h).
TEST(SnowMelt, SlugOfADeepPackIsDelayed) {
  SurfaceState s = pack_state(1, 1000.18);
  const double released = SM_MELT(s, 1, 0.0, weather(2.5), 3600.0, 10.0);
  EXPECT_EQ(released, 0.0);
  EXPECT_NEAR(s.SD(1), 1000.0, 1e-9);
  ASSERT_EQ(s.NSMC(1), 1);
  EXPECT_NEAR(s.SMELT(1)[0], 0.036, 1e-12);
  EXPECT_NEAR(s.TMELT(1)[0] - 10.0, 2.1738, 1e-7);
  // Released in the first step at or after its time, not before.
  EXPECT_EQ(SM_MELT(s, 1, 0.0, weather(1.0), 3600.0, 12.0), 0.0);
  EXPECT_NEAR(SM_MELT(s, 1, 0.0, weather(1.0), 3600.0, 12.2), 0.036, 1e-12);
  EXPECT_EQ(s.NSMC(1), 0);
}

// At or below 0 deg C precipitation builds the pack (W / RHOS mm of snow) and nothing
// reaches the ground; above it, rain passes through as part of the step's slug.
TEST(SnowMelt, PrecipitationAtOrBelowZeroIsSnow) {
  for (double T : {0.0, -1.0}) {
    SurfaceState s = pack_state(1, 10.0);
    EXPECT_EQ(SM_MELT(s, 1, 2.0, weather(T), 3600.0, 1.0), 0.0);
    EXPECT_NEAR(s.SD(1), 20.0, 1e-12) << T;
    EXPECT_EQ(s.NSMC(1), 0);
  }
  SurfaceState s = pack_state(1, 10.0);
  SM_MELT(s, 1, 2.0, weather(1.0), 3600.0, 1.0);
  EXPECT_EQ(s.SD(1), 10.0);
  ASSERT_EQ(s.NSMC(1), 1);
  EXPECT_NEAR(s.SMELT(1)[0], 2.0, 1e-12);
}

// A step that melts the whole pack releases the water at once, with a slug made
// earlier but due before the rest, which leaves the later one pending.
TEST(SnowMelt, SlugsAreReleasedByTheirTimeNotTheirOrder) {
  SurfaceState s = pack_state(1, 5.0);
  s.SMELT(1) = {1.0, 2.0};
  s.TMELT(1) = {9.0, 4.0};  // the later slug is due first
  const double released = SM_MELT(s, 1, 0.0, weather(12.0), 3600.0, 5.0);
  // 0.0001 x 3600 x 10 = 3.6 mm of a 5 mm pack: 1.4 mm stay, slug due in 0.002 h.
  EXPECT_NEAR(released, 2.0, 1e-12);
  ASSERT_EQ(s.NSMC(1), 2);
  EXPECT_EQ(s.SMELT(1)[0], 1.0);
  const double all = SM_MELT(s, 1, 0.0, weather(12.0), 3600.0, 6.0);  // melts the rest
  EXPECT_EQ(s.SD(1), 0.0);
  EXPECT_NEAR(all, 0.2 * 3.6 + 0.2 * 1.4, 1e-12);  // both melt slugs, not the 9 h one
  EXPECT_EQ(s.NSMC(1), 1);
}

// A season of freezing and thawing, snow and rain, for both methods: the pack plus its
// slugs plus all released water equals the start plus all precipitation less the net
// sublimation (zero under degree days). Sums of a few hundred mm: to 1e-9 mm.
TEST(SnowMelt, WaterIsConservedOverASeason) {
  for (int msm : {1, 2}) {
    SurfaceState s = pack_state(msm, 300.0, msm == 2 ? -5.0 : 0.0);
    double fallen = 0.0, released = 0.0, sublimated = 0.0;
    const double start = SM_ELEMENT_WATER(s, 1);
    bool melted = false;
    for (int h = 1; h <= 24 * 60; ++h) {
      const double T = 8.0 * std::sin(h / 200.0) + 3.0 * std::sin(h / 7.0);
      const double W = (h % 37 < 5) ? 1.5 : 0.0;
      double lost = 0.0;
      released += SM_MELT(s, 1, W, weather(T, 0.5 + (h % 11), 50.0 * std::sin(h / 4.0), 1.0),
                          3600.0, h, &lost);
      fallen += W;
      sublimated += lost;
      melted = melted || s.SD(1) == 0.0;
      ASSERT_TRUE(std::isfinite(s.SD(1)) && std::isfinite(s.TS(1)));
      ASSERT_GE(s.TS(1), SM_TEMPERATURE_FLOOR);
    }
    EXPECT_TRUE(melted) << msm;
    EXPECT_GT(released, 100.0);
    if (msm == 1) {
      EXPECT_EQ(sublimated, 0.0);
    }
    if (msm == 2) {
      EXPECT_NE(sublimated, 0.0);
    }
    EXPECT_NEAR(SM_ELEMENT_WATER(s, 1) + released, start + fallen - sublimated, 1e-9) << msm;
  }
}

// Still air and no net radiation: a pack at -10 deg C only warms by the small extra
// heat (2 W/m2 x 3600 s over 100 mm of snow of 0.2: 0.17 K), it does not melt.
TEST(SnowEnergyBudget, ColdPackInStillAirDoesNotMelt) {
  const EnergyBudget b =
      snow_energy_budget(100.0, -10.0, 0.2, 0.0, weather(-10.0, 0.0), 2.0, 0.0, 0.005, 3600.0);
  EXPECT_EQ(b.melt, 0.0);
  EXPECT_EQ(b.vapour_flux, 0.0);
  EXPECT_NEAR(b.ts, -10.0 + 7200.0 / (0.2 * 100.0 * 2093.0), 1e-12);
}

// Saturated air (no vapour pressure deficit) over a melting pack: the warmer the air,
// the more sensible heat and condensation reach the pack, so the melt grows.
TEST(SnowEnergyBudget, MeltGrowsWithAirTemperatureInSaturatedAir) {
  double previous = 0.0;
  for (double T = 0.5; T <= 30.0; T += 0.5) {
    const EnergyBudget b =
        snow_energy_budget(500.0, 0.0, 0.3, 0.0, weather(T, 3.0), 2.0, 0.0, 0.005, 3600.0);
    EXPECT_GT(b.melt, previous) << T;
    previous = b.melt;
  }
}

TEST(SnowEnergyBudget, FiniteForAnyTemperatureAndWind) {
  for (double T = -40.0; T <= 30.0; T += 2.5) {
    for (double wind : {0.0, 1e-9, 1e-3, 0.5, 5.0, 30.0}) {
      for (double depth : {1e-6, 50.0, 2000.0}) {
        for (double ts : {-30.0, 0.0}) {
          const EnergyBudget b =
              snow_energy_budget(depth, ts, 0.25, 1.0, weather(T, wind, 100.0, 2.0), 2.0, 0.1,
                                 0.005, 1800.0);
          ASSERT_TRUE(std::isfinite(b.melt) && std::isfinite(b.vapour_flux) &&
                      std::isfinite(b.ts))
              << T << " " << wind << " " << depth << " " << ts;
        }
      }
    }
  }
}

// ---- the snow step inside the ET step -------------------------------------------------

// Two grid squares of grass (cover 0.8, 2 m tall in the partial-burial case), one met
// site, degree-day snow of specific gravity 0.2, one-hour steps.
struct SnowEtStep : testing::ModelWithFiles {
  void SetUp() override {
    ModelWithFiles::SetUp();
    FrameState& f = model.frame;
    f.NLF = 0;
    f.NEL = 2;
    f.NGDBGN = 1;
    f.NV = 1;
    f.MET_SITE_COUNT = 1;
    f.UZNEXT = 1.0;
    f.SNOW_ON = true;
    f.ICMREF.resize(2, 4, 3, 0);
    f.NVC.resize(2, 1);
    f.MET_SITE_OF_ELEMENT.resize(2, 1);
    f.ZGRUND.resize(2, 100.0);
    f.AREA.resize(2, 1e4);
    f.ELEMENT_RAIN_RATE.resize(2, 0.0);
    f.MET_NET_RADIATION.resize(1, 100.0);
    f.MET_WIND_SPEED.resize(1, 3.0);
    f.MET_AIR_TEMPERATURE.resize(1, 0.0);
    f.DEL.resize(1, 1.0);
    f.VPD.resize(1, 3.0);
    f.STATION_POTENTIAL_EVAP.resize(1, 0.0);
    SurfaceState& s = model.surface;
    allocate_et_state(s, 1, 1, 2);
    s.HRF.resize(2, 100.0);
    s.RA(1) = 50.0;
    s.RC(1) = 60.0;
    s.ET_MODE(1) = 1;
    s.PLAI(1) = 0.8;
    s.CLAI(1) = 1.0;
    s.CSTCAP(1) = 1.0;
    s.CK(1) = 3.3e-5;
    s.CB(1) = 3.7;
    model.subsurface.set_no_cells(2, 0, f.ZGRUND);
    allocate_snow_state(s, 2);
    s.MSM = 1;
    s.DDF = 0.0001;
    s.RHOS = s.SM_RHOS_DEFAULT = 0.2;
  }
  void weather(double T, double rain_mm_per_hour) {
    model.frame.MET_AIR_TEMPERATURE(1) = T;
    model.frame.ELEMENT_RAIN_RATE.fill(rain_mm_per_hour / 3.6e6);
  }
  double mm(double rate) const { return rate * 3.6e6; }  // m/s over one hour to mm
};

// Bare, snowless ground at 0 deg C without rain: nothing happens and there is no ET;
// at -1 deg C the rain becomes snow and there is still no ET.
TEST_F(SnowEtStep, FrozenGroundHasNoEtAndRainBecomesSnow) {
  weather(0.0, 0.0);
  ET_TIME_STEP(model);
  const SurfaceState& s = model.surface;
  EXPECT_EQ(s.SM_ET_FLAG, 0);
  EXPECT_EQ(s.PNETTO(1), 0.0);
  EXPECT_EQ(s.ET_POTENTIAL_EVAP(1), 0.0);
  EXPECT_EQ(s.SD(1), 0.0);
  weather(-1.0, 2.0);
  ET_TIME_STEP(model);
  EXPECT_NEAR(s.SD(1), 10.0, 1e-9);  // 2 mm / 0.2
  EXPECT_EQ(s.PNETTO(1), 0.0);
  EXPECT_EQ(s.ET_CANOPY_EVAP(1), 0.0);
  EXPECT_EQ(s.ET_GROUND_EVAP(1), 0.0);
  EXPECT_EQ(s.cstore(1), 0.0);  // the canopy intercepted nothing
}

// Vegetation 2 m tall over a 500 mm pack at 3 deg C: the ET runs with the cover cut to
// 0.75 of itself, so it intercepts and evaporates as a canopy of cover 0.6 would; the
// net rainfall it lets through joins the melt in a delayed slug.
TEST_F(SnowEtStep, PartlyBuriedVegetationKeepsItsEtAboveTheSnow) {
  model.surface.VHT(1) = 2.0;
  model.surface.SD(1) = 500.0;
  weather(3.0, 4.0);
  ET_TIME_STEP(model);
  const SurfaceState& s = model.surface;
  EXPECT_EQ(s.SM_ET_FLAG, 1);
  // The same canopy step by hand with cover 0.6.
  const double pe = evaporation_demand(false, 0.0, 100.0, 1.0, 3.0, 50.0).PE;
  const CanopyStep c = rutter_canopy_step(0.0, 1.0, 3.3e-5, 3.7, 0.6, 4.0 / 3600.0, pe, 3600.0);
  EXPECT_NEAR(s.cstore(1), c.cstore, 1e-12);
  EXPECT_NEAR(mm(s.ET_CANOPY_EVAP(1)), c.evaporation, 1e-12);
  EXPECT_EQ(s.ET_SOIL_EVAP(1), 0.0);
  // 0.0001 x 3600 x 1 = 0.36 mm of snow melts; the slug (melt and net rain) waits.
  EXPECT_NEAR(s.SD(1), 500.0 - 0.36, 1e-9);
  ASSERT_EQ(s.NSMC(1), 1);
  EXPECT_NEAR(s.SMELT(1)[0], 0.2 * 0.36 + (c.throughfall + c.drainage), 1e-12);
  EXPECT_EQ(s.PNETTO(1), 0.0);
  // Element 2 has no pack: its ET is the ordinary one with the full cover.
  EXPECT_GT(s.PNETTO(2), 0.0);
}

// The slugs of a pack that has melted away still reach the ground when they are due,
// whether the ground is warm (the ET runs) or frozen and dry.
TEST_F(SnowEtStep, SlugsOutliveTheirPack) {
  SurfaceState& s = model.surface;
  s.SMELT(1) = {3.0};
  s.TMELT(1) = {1.5};
  s.SMELT(2) = {4.0};
  s.TMELT(2) = {1.5};
  model.frame.MET_NET_RADIATION(1) = 0.0;
  model.frame.VPD(1) = 0.0;  // no evaporation: the net rainfall is the slug
  weather(5.0, 0.0);
  ET_TIME_STEP(model);  // clock 1 h: not yet due
  EXPECT_EQ(s.PNETTO(1), 0.0);
  ET_TIME_STEP(model);  // clock 2 h
  EXPECT_NEAR(mm(s.PNETTO(1)), 3.0, 1e-12);
  EXPECT_EQ(s.NSMC(1), 0);
  model.surface.SMELT(1) = {2.5};
  model.surface.TMELT(1) = {2.5};
  weather(-3.0, 0.0);
  ET_TIME_STEP(model);  // clock 3 h, frozen and dry
  EXPECT_NEAR(mm(s.PNETTO(1)), 2.5, 1e-12);
  EXPECT_NEAR(mm(s.PNETTO(2)), 0.0, 1e-12);  // element 2's slug went at 2 h
}

}  // namespace
}  // namespace quendal
