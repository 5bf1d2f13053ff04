#include "surface/snow/snow_step.h"

#include <algorithm>
#include <cmath>

#include "services/predicates.h"

namespace quendal {
namespace {

constexpr int ENERGY_BUDGET = 2;
constexpr int PACK_MODE_OWN_DENSITY = 1;

// Dry-air and vapour constants of the specific humidity q = 0.62197 e / (p - 0.37803 e).
constexpr double VAPOUR_RATIO = 0.62197;
constexpr double VAPOUR_RATIO_COMPLEMENT = 0.37803;

// Releases every slug of element e that is due at `clock`; the others keep their order.
double release_due_slugs(SurfaceState& s, int e, double clock) {
  std::vector<double>& water = s.SMELT(e);
  std::vector<double>& due = s.TMELT(e);
  double released = 0.0;
  std::size_t kept = 0;
  for (std::size_t j = 0; j < water.size(); ++j) {
    if (due[j] <= clock) {
      released += water[j];
    } else {
      water[kept] = water[j];
      due[kept] = due[j];
      ++kept;
    }
  }
  water.resize(kept);
  due.resize(kept);
  return released;
}

SnowWeather weather_of(const FrameState& frame, int e) {
  const int site = frame.MET_SITE_OF_ELEMENT(e);
  SnowWeather w;
  w.T = frame.MET_AIR_TEMPERATURE(site);
  w.wind = frame.MET_WIND_SPEED(site);
  w.net_radiation = frame.MET_NET_RADIATION(site);
  w.vpd = frame.VPD(site);
  w.ground_elevation = frame.ZGRUND(e);
  return w;
}

}  // namespace

double saturation_vapour_pressure(double t) {
  if (t >= 0.0) return 6.112 * std::exp(17.62 * t / (243.12 + t));
  return 6.112 * std::exp(22.46 * t / (272.62 + t));
}

double snow_air_pressure(double z) { return (1.0 - 0.0065 * z / 288.0) * 1012.0 / 1.0045; }

double degree_day_melt(double ddf, double T, double dt) {
  return T >= SM_DEGREE_DAY_BASE ? ddf * dt * (T - SM_DEGREE_DAY_BASE) : 0.0;
}

EnergyBudget snow_energy_budget(double depth, double ts, double rhos, double snowfall,
                                const SnowWeather& w, double zus, double zds, double zos,
                                double dt) {
  EnergyBudget r;
  r.ts = ts;
  if (!(depth > 0.0)) return r;  // no pack to warm, melt or evaporate
  const double T = w.T;

  // Turbulent exchange coefficient, m/s, corrected for stability by the Richardson
  // number; still air exchanges nothing.
  double D = 0.0;
  if (w.wind > 0.0) {
    const double k = SM_VON_KARMAN / std::log((zus - zds) / zos);
    const double D0 = w.wind * k * k;
    const double Ri = 10.0 * (T - ts) * SM_GRAVITY * (zus - zds) / ((T + 273.0) * w.wind * w.wind);
    D = T <= ts ? D0 * (1.0 - Ri) : D0 / (1.0 + Ri);
  }

  // Heat gained over the step, J/m2: sensible, carried by the precipitation, lost to
  // vapour, and radiation.
  const double H = dt * SM_AIR_HEAT_CAPACITY * (T - ts) * D;
  const double P = T > 0.0 ? rhos * snowfall * (SM_WATER_HEAT * T)
                           : rhos * snowfall * (SM_ICE_HEAT * (T - ts));
  // Vapour pressures and pressure all in mbar; the air holds no less than no vapour.
  const double p = snow_air_pressure(w.ground_elevation);
  const double e1 = saturation_vapour_pressure(ts);
  const double e2 = std::max(saturation_vapour_pressure(T) - w.vpd, 0.0);
  auto humidity = [p](double e) { return VAPOUR_RATIO * e / (p - VAPOUR_RATIO_COMPLEMENT * e); };
  double V = D * SM_AIR_DENSITY * (humidity(e1) - humidity(e2));
  const double L = (SM_SUBLIMATION_HEAT - SM_ICE_HEAT * ts) * V * dt;
  double G = H + P - L + (w.net_radiation + SM_EXTRA_HEAT) * dt;
  // A shallow pack that loses heat goes to the air temperature.
  if (depth <= SM_SHALLOW_PACK && IS_NEGATIVE(G)) G = (T - ts) * SM_ICE_HEAT * depth * rhos;

  const double t1 = std::max(ts + G / (rhos * depth * SM_ICE_HEAT), SM_TEMPERATURE_FLOOR);
  if (t1 >= 0.0) {
    // Warmed to the melting point: the rest of the heat melts snow.
    r.melt = (G + SM_ICE_HEAT * ts * depth * rhos) / (rhos * SM_FUSION_HEAT);
    r.ts = 0.0;
  } else {
    r.ts = t1;
  }
  // A melting pack does not gain the condensed water.
  if (V < 0.0 && IS_ZERO(r.ts)) V = 0.0;
  r.vapour_flux = V;
  return r;
}

double SM_ELEMENT_DENSITY(const SurfaceState& s, int e) {
  if (s.SM_PACK_MODE == PACK_MODE_OWN_DENSITY && !IS_ZERO(s.SM_ELEMENT_RHOS(e))) {
    return s.SM_ELEMENT_RHOS(e);
  }
  return s.SM_RHOS_DEFAULT;
}

double SM_ELEMENT_WATER(const SurfaceState& s, int e) {
  double water = s.SD(e) * SM_ELEMENT_DENSITY(s, e);
  for (double slug : s.SMELT(e)) water += slug;
  return water;
}

double SM_MELT(SurfaceState& s, int e, double W, const SnowWeather& w, double dt, double clock,
               double* sublimated) {
  const double rhos = SM_ELEMENT_DENSITY(s, e);
  double& depth = s.SD(e);
  double F = W / rhos;  // mm of snow
  if (w.T <= 0.0) depth += F;

  double M = 0.0;  // melt, mm of snow
  double V = 0.0;  // vapour flux, kg/m2/s
  if (s.MSM == ENERGY_BUDGET) {
    const EnergyBudget b = snow_energy_budget(depth, s.TS(e), rhos, F, w, s.ZUS, s.ZDS, s.ZOS, dt);
    M = b.melt;
    V = b.vapour_flux;
    s.TS(e) = b.ts;
  } else {
    M = degree_day_melt(s.DDF, w.T, dt);
  }
  M = std::max(M, 0.0);
  double S = V * dt / rhos;  // sublimation, mm of snow

  // The pack cannot lose more than it holds: sublimation first, the rest melts.
  if (M + S <= depth) {
    depth -= M + S;
  } else {
    if (S <= depth) {
      M = depth - S;
    } else {
      M = 0.0;
      S = depth;
    }
    depth = 0.0;
  }
  if (sublimated != nullptr) *sublimated = rhos * S;

  // The melt of the step, with the rain of a warm step, becomes one slug, due later
  // the deeper the pack that it must pass through.
  double A = rhos * M;
  if (w.T > 0.0) {
    A = rhos * (M + F);
    F = 0.0;
  }
  if (A > 0.0) {
    const double d = depth / 1000.0;
    s.SMELT(e).push_back(A);
    s.TMELT(e).push_back(clock + d * (SM_DELAY_LINEAR + SM_DELAY_QUADRATIC * d));
  }
  return release_due_slugs(s, e, clock);
}

void SM_ELEMENT_STEP(const FrameState& frame, SurfaceState& s, int e, SnowEtQuantities& q) {
  const SnowWeather w = weather_of(frame, e);
  const double dt = frame.DTUZ;
  const double clock = s.ET_CLOCK;

  if (s.SM_ET_FLAG != 1) {
    // Before the ET. Warm bare ground: the ET runs as usual.
    if (!(s.SD(e) > 0.0) && !IS_NON_POSITIVE(w.T)) {
      s.SM_ET_FLAG = 1;
      return;
    }
    const double W = 1000.0 * frame.ELEMENT_RAIN_RATE(e) * dt;
    const double d = s.SD(e) / 1000.0;
    const double h = s.VHT(frame.NVC(e));
    if (!IS_ZERO(d)) {
      if (h <= d) {
        // The vegetation is buried: no ET, the precipitation falls on the pack.
        q = SnowEtQuantities{};
        q.net_rainfall = SM_MELT(s, e, W, w, dt, clock) / dt;
        return;
      }
      // Partly buried: only what stands above the snow intercepts and transpires.
      q.cover *= (h - d) / h;
      if (w.T > 0.0) {
        s.SM_ET_FLAG = 1;
        return;
      }
    }
    // Frozen ground or a frozen partly buried canopy: no ET in this step.
    q = SnowEtQuantities{};
    if (!(frame.ELEMENT_RAIN_RATE(e) > 0.0) && !(s.SD(e) > 0.0)) {
      // Nothing falls and no pack lies here; slugs of a pack that has gone still come
      // down when due.
      q.net_rainfall = release_due_slugs(s, e, clock) / dt;
      return;
    }
    q.net_rainfall = SM_MELT(s, e, W, w, dt, clock) / dt;
    return;
  }

  // After the ET: the pack takes the net rainfall the ET let through.
  if (!(s.SD(e) > 0.0)) {
    q.net_rainfall += release_due_slugs(s, e, clock) / dt;
    return;
  }
  q.soil_evap = 0.0;
  q.net_rainfall = SM_MELT(s, e, q.net_rainfall * dt, w, dt, clock) / dt;
}

}  // namespace quendal
