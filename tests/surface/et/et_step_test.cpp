#include "surface/et/et_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model_fixture.h"
#include "surface/et/et_data.h"

namespace quendal {
namespace {

// Rutter parameters used throughout: capacity 1 mm, CK 3.3e-5 mm/s (about 0.002 mm/min)
// and CB 3.7 /mm, the values measured for a pine canopy.
constexpr double S = 1.0;
constexpr double CK = 3.3e-5;
constexpr double CB = 3.7;

double mm_per_hour(double rate) { return rate / 3600.0; }

// Rain in = net rain + evaporation + change of store, over one step (mm).
double canopy_imbalance(const CanopyStep& step, double c0, double rain, double dt) {
  return rain * dt - (step.throughfall + step.drainage + step.evaporation + (step.cstore - c0));
}

// ---- interception --------------------------------------------------------------------

// Full cover, no evaporation, constant rain f P = 5 mm/h > CK: the store fills, then
// follows dC/dt = fP - CK exp(CB (C - S)) to the equilibrium where drainage equals the
// rain, C* = S + ln(fP / CK) / CB. Once the store is above capacity (within the first
// 0.5 h for both step lengths) every step is the exact solution, which approaches C*
// as exp(-CB fP t): a time constant of 1 / (CB fP) = 195 s, so the 1.5 h that remain
// leave less than e^-27 (2e-12) of the offset, and the logarithms round at 1e-15 mm.
// The tolerance of 1e-9 mm is well above both and far below any physical difference.
TEST(EtCanopy, ConstantRainReachesTheRutterEquilibriumForEitherStep) {
  const double rain = mm_per_hour(5.0);
  const double equilibrium = S + std::log(rain / CK) / CB;
  double stores[2];
  int k = 0;
  for (double hours : {0.1, 0.5}) {
    double c = 0.0;
    const int steps = static_cast<int>(std::lround(2.0 / hours));
    for (int i = 0; i < steps; ++i) {
      const CanopyStep step = rutter_canopy_step(c, S, CK, CB, 1.0, rain, 0.0, hours * 3600.0);
      EXPECT_NEAR(canopy_imbalance(step, c, rain, hours * 3600.0), 0.0, 1e-12);
      c = step.cstore;
    }
    EXPECT_NEAR(c, equilibrium, 1e-9) << "step " << hours << " h";
    stores[k++] = c;
  }
  EXPECT_NEAR(stores[0], stores[1], 1e-9);
}

// Above capacity with net input the step is the exact solution of the store equation,
// so one long step and many short ones give the same store (the semigroup property),
// and the value is the closed form evaluated directly, here in a range where its
// exponentials do not overflow: from 1.2 mm, 2 mm/h for 1800 s gives 1.71977 mm.
TEST(EtCanopy, FilledStoreIsTheExactSolutionWhateverTheSteps) {
  const double rain = mm_per_hour(2.0);
  const CanopyStep one = rutter_canopy_step(1.2, S, CK, CB, 1.0, rain, 0.0, 1800.0);
  EXPECT_NEAR(one.cstore, 1.7197736442602034, 1e-12);
  double c = 1.2;
  for (int i = 0; i < 18; ++i) c = rutter_canopy_step(c, S, CK, CB, 1.0, rain, 0.0, 100.0).cstore;
  EXPECT_NEAR(c, one.cstore, 1e-12);
}

// 200 mm/h for a 2-hour step: the closed form's exp(CB (C0 - S + R dt)) would be
// exp(1482), far beyond the largest double. The store must come out finite, at the
// equilibrium (the approach is complete after 1480 time constants), with the balance.
TEST(EtCanopy, HeavyRainInOneLongStepCannotOverflow) {
  const double rain = mm_per_hour(200.0);
  const double dt = 7200.0;
  const double equilibrium = S + std::log(rain / CK) / CB;
  for (double c0 : {0.0, 1.5}) {
    const CanopyStep step = rutter_canopy_step(c0, S, CK, CB, 1.0, rain, 0.0, dt);
    ASSERT_TRUE(std::isfinite(step.cstore)) << "c0 " << c0;
    if (c0 > S) {
      EXPECT_NEAR(step.cstore, equilibrium, 1e-12);
    }
    EXPECT_NEAR(canopy_imbalance(step, c0, rain, dt), 0.0, 1e-10);
  }
}

// Every branch of the store, with values worked by hand, and the balance in each.
TEST(EtCanopy, BranchesByHandAndTheBalanceInEach) {
  struct Case {
    const char* what;
    double c0, capacity, cover, rain, pe, dt;
    double cstore, evaporation, drainage, wetness;
  };
  const double pe = 1e-4;  // mm/s
  const std::vector<Case> cases = {
      // Dry spell, store partly wet: r = 0.2, E = 0.36 x 0.2.
      {"drying", 0.2, S, 1.0, 0.0, pe, 3600.0, 0.128, 0.072, 0.0, 0.2},
      // Evaporation demand beyond the store: E is what the store held.
      {"dries out", 0.5, S, 1.0, 0.0, 5e-4, 3600.0, 0.0, 0.5, 0.0, 0.5 / 0.9},
      // Half cover: half the rain falls through, the store takes 0.5 mm.
      {"half cover", 0.0, S, 0.5, mm_per_hour(1.0), 0.0, 3600.0, 0.5, 0.0, 0.0, 0.5},
      // P = PE above capacity: R = 0, pure drainage from 1.5 mm over an hour.
      {"drains at R = 0", 1.5, S, 1.0, pe, pe, 3600.0, 1.139507561685908, 0.36,
       1.5 - 1.139507561685908, 1.0},
      // Above capacity, evaporation beyond rain and store: the store empties.
      {"above, empties", 1.2, S, 1.0, 0.0, 5e-4, 3600.0, 0.0, 1.2, 0.0, 1.0},
      // Capacity 0: wet (r = 1) as soon as the step's rain reaches the canopy ...
      {"no capacity, rain", 0.0, 0.0, 1.0, mm_per_hour(1.0), 0.0, 3600.0, -1.0, 0.0, -1.0, 1.0},
      // ... and dry (r = 0) without it.
      {"no capacity, dry", 0.0, 0.0, 1.0, 0.0, pe, 3600.0, 0.0, 0.0, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CanopyStep step = rutter_canopy_step(c.c0, c.capacity, CK, CB, c.cover, c.rain, c.pe, c.dt);
    if (c.cstore >= 0.0) {
      EXPECT_NEAR(step.cstore, c.cstore, 1e-12);
    }
    EXPECT_NEAR(step.evaporation, c.evaporation, 1e-12);
    if (c.drainage >= 0.0) {
      EXPECT_NEAR(step.drainage, c.drainage, 1e-12);
    }
    EXPECT_NEAR(step.wetness, c.wetness, 1e-12);
    EXPECT_NEAR(step.throughfall, (1.0 - c.cover) * c.rain * c.dt, 1e-15);
    EXPECT_NEAR(canopy_imbalance(step, c.c0, c.rain, c.dt), 0.0, 1e-12);
  }
}

// ---- potential evaporation and transpiration -------------------------------------------

TEST(EtDemand, PenmanMonteithByHand) {
  // Rn 100, DEL 1, VPD 3, RA 50: N = 100 + 1203.6 x 3 / 50 = 172.216;
  // PE = N / ((1 + 0.659) x 2465000) = 4.21124e-5 mm/s (0.152 mm/h).
  const EvaporationDemand d = evaporation_demand(false, 0.0, 100.0, 1.0, 3.0, 50.0);
  EXPECT_NEAR(d.N, 172.21600286960603, 1e-10);
  EXPECT_NEAR(d.PE, 4.21124201749305e-05, 1e-17);
  // Strong outgoing radiation cannot make the demand negative.
  EXPECT_EQ(evaporation_demand(false, 0.0, -500.0, 1.0, 3.0, 50.0).PE, 0.0);
  // A site's own potential evaporation is taken as it stands.
  EXPECT_EQ(evaporation_demand(true, 3e-5, 100.0, 1.0, 3.0, 50.0).PE, 3e-5);
  // Calm air: the resistance is so large that the aerodynamic term vanishes.
  EXPECT_EQ(aerodynamic_resistance(16.67, 0.0), 1e10);
  EXPECT_NEAR(aerodynamic_resistance(16.67, 2.0), 8.335, 1e-12);
  EXPECT_NEAR(evaporation_demand(false, 0.0, 100.0, 1.0, 3.0, 1e10).N, 100.0, 1e-6);
}

TEST(EtDemand, CellDemandByMode) {
  const std::vector<double> psi = {-10.0, -1.0}, rc = {500.0, 100.0}, ratio = {0.2, 1.0};
  const PsiTable table{psi, rc, ratio};
  const PsiTable empty{};
  const double ra = 50.0, n = 172.216, pe = 4e-5, del = 1.0;
  // Mode 2 between the rows: rc interpolated to 300 at -5.5 m, and the cell draws what
  // the constant-RC form gives with RC = 300.
  const CellDemand mid = cell_transpiration_demand(2, -5.5, table, 60.0, ra, n, pe, del);
  EXPECT_NEAR(mid.rc, 300.0, 1e-12);
  EXPECT_NEAR(mid.q, cell_transpiration_demand(1, -5.5, empty, 300.0, ra, n, pe, del).q, 1e-20);
  // Mode 2 outside the table and saturated.
  EXPECT_EQ(cell_transpiration_demand(2, -50.0, table, 60.0, ra, n, pe, del).rc, 500.0);
  EXPECT_EQ(cell_transpiration_demand(2, -0.5, table, 60.0, ra, n, pe, del).rc, 100.0);
  EXPECT_EQ(cell_transpiration_demand(2, 0.0, table, 60.0, ra, n, pe, del).rc, 100.0);
  // Mode 2 without rows keeps the type's resistance.
  EXPECT_EQ(cell_transpiration_demand(2, -5.0, empty, 60.0, ra, n, pe, del).rc, 60.0);
  // Mode 3: the ratio times PE; exactly PE when saturated.
  EXPECT_NEAR(cell_transpiration_demand(3, -5.5, table, 60.0, ra, n, pe, del).q, 0.6 * pe, 1e-20);
  EXPECT_EQ(cell_transpiration_demand(3, 0.0, table, 60.0, ra, n, pe, del).q, pe);
  EXPECT_NEAR(cell_transpiration_demand(3, -20.0, table, 60.0, ra, n, pe, del).q, 0.2 * pe, 1e-20);
  EXPECT_NEAR(cell_transpiration_demand(3, -10.0, table, 60.0, ra, n, pe, del).q, 0.2 * pe, 1e-20);
  // A one-row table at exactly that row's potential gives the row's ratio.
  const std::vector<double> psi1 = {-3.0}, rc1 = {0.0}, ratio1 = {0.7};
  EXPECT_NEAR(cell_transpiration_demand(3, -3.0, PsiTable{psi1, rc1, ratio1}, 60.0, ra, n, pe, del).q,
              0.7 * pe, 1e-20);
  // Constant RC: PE when saturated, the resisted demand below.
  EXPECT_EQ(cell_transpiration_demand(1, 0.0, empty, 60.0, ra, n, pe, del).q, pe);
}

TEST(EtRootZone, CutAtTheColumnsBottomCell) {
  struct Case {
    int rdf_rows, LL, bottom;
    bool bank;
    int bed;
    int cells;
    bool cut;
  };
  const std::vector<Case> cases = {
      {3, 10, 1, false, 0, 3, false},   // fits
      {25, 20, 1, false, 0, 20, true},  // deeper than the stack
      {25, 20, 3, false, 0, 18, true},  // cut at this column's own bottom cell
      {0, 10, 1, false, 0, 0, false},   // no roots
      {5, 0, 1, false, 0, 0, false},    // no cells at all: nothing to cut
      {2, 20, 1, true, 15, 5, false},   // a bank's zone reaches down to its link's bed
      {0, 20, 18, true, 15, 3, true},   // ... but not below its column
  };
  for (const Case& c : cases) {
    const RootZone z = root_zone(c.rdf_rows, c.LL, c.bottom, c.bank, c.bed);
    EXPECT_EQ(z.cells, c.cells) << c.rdf_rows << " " << c.LL << " " << c.bottom << " " << c.bed;
    EXPECT_EQ(z.cut, c.cut) << c.rdf_rows << " " << c.LL << " " << c.bottom << " " << c.bed;
  }
}

TEST(EtPondedWater, ShortfallComesFromTheSoilOnlyWhileItCanEvaporate) {
  const double pe = 1e-6, dt = 3600.0;
  // Dry surface: nothing from the pond, the soil evaporation stands.
  PondedWater p = ponded_water_evaporation(0.0, 0.0, pe, dt, 3e-9, true);
  EXPECT_EQ(p.surface_water_evap, 0.0);
  EXPECT_EQ(p.soil_evap, 3e-9);
  // A pond that lasts the step evaporates at the potential rate; the soil is covered.
  p = ponded_water_evaporation(0.01, 0.0, pe, dt, 3e-9, true);
  EXPECT_EQ(p.surface_water_evap, pe);
  EXPECT_EQ(p.soil_evap, 0.0);
  // 1 mm against 3.6 mm of demand: the pond gives 1 mm, the soil the other 2.6 mm ...
  p = ponded_water_evaporation(0.001, 0.0, pe, dt, 3e-9, true);
  EXPECT_NEAR(p.surface_water_evap, 0.001 / dt, 1e-18);
  EXPECT_NEAR(p.soil_evap, 0.0026 / dt, 1e-18);
  // ... unless the top cell is too dry (or there is none).
  p = ponded_water_evaporation(0.001, 0.0, pe, dt, 3e-9, false);
  EXPECT_NEAR(p.surface_water_evap, 0.001 / dt, 1e-18);
  EXPECT_EQ(p.soil_evap, 0.0);
}

// ---- the step over elements --------------------------------------------------------------

// A catchment of `nel` grid squares (no links), one vegetation type, one met site:
// Rn 100, wind 3 m/s, DEL 1, VPD 3; grass with constant RA 50 and RC 60 (mode 1).
struct EtStepTest : testing::ModelWithFiles {
  void build(int nel, int nlf = 0) {
    FrameState& f = model.frame;
    f.NLF = nlf;
    f.NEL = nel;
    f.NGDBGN = nlf + 1;
    f.NV = 1;
    f.MET_SITE_COUNT = 1;
    f.UZNEXT = 1.0;
    f.ICMREF.resize(nel, 4, 3, 0);
    for (int e = 1; e <= nlf; ++e) f.ICMREF(e, 1, 1) = 3;
    f.NVC.resize(nel, 1);
    f.MET_SITE_OF_ELEMENT.resize(nel, 1);
    f.ZGRUND.resize(nel, 100.0);
    f.AREA.resize(nel, 1e4);
    f.ELEMENT_RAIN_RATE.resize(nel, 0.0);
    f.MET_NET_RADIATION.resize(1, 100.0);
    f.MET_WIND_SPEED.resize(1, 3.0);
    f.DEL.resize(1, 1.0);
    f.VPD.resize(1, 3.0);
    f.STATION_POTENTIAL_EVAP.resize(1, 0.0);
    SurfaceState& s = model.surface;
    allocate_et_state(s, 1, 1, nel);
    s.HRF.resize(nel, 100.0);
    s.CWIDTH.resize(nlf, 4.0);
    s.RA(1) = 50.0;
    s.RC(1) = 60.0;
    s.ET_MODE(1) = 1;
    s.PLAI(1) = 0.8;
    s.CLAI(1) = 1.0;
    s.CSTCAP(1) = 1.0;
    s.CK(1) = CK;
    s.CB(1) = CB;
    s.ET_RDF_ROWS(1) = 3;
    s.RDF(1, 1) = 0.5;
    s.RDF(1, 2) = 0.3;
    s.RDF(1, 3) = 0.2;
    model.subsurface.set_no_cells(nel, nlf, f.ZGRUND);
  }
  // Gives every element a stack of cells 1..LL, all at pressure head `psi`.
  void give_cells(int LL, double psi) {
    SubsurfaceState& sub = model.subsurface;
    sub.LL = LL;
    sub.LAYER_BOTTOM_CELL.fill(1);
    sub.vspsi.resize(LL, model.frame.NEL, psi);
    model.surface.ET_ROOT_UPTAKE.resize(LL, model.frame.NEL, 0.0);
  }
};

// Without subsurface cells: rain passes the canopy, nothing is transpired or
// evaporated from the soil, no cell is read (the arrays are empty, and the test build
// checks every index), and no warning is given.
TEST_F(EtStepTest, NoCellsGivesInterceptionOnly) {
  build(2);
  model.frame.ELEMENT_RAIN_RATE.fill(10.0 / 3600.0 / 1000.0);  // 10 mm/h
  ET_TIME_STEP(model);
  EXPECT_EQ(model.frame.DTUZ, 3600.0);
  EXPECT_EQ(model.surface.ET_CLOCK, 1.0);
  const SurfaceState& s = model.surface;
  for (int e = 1; e <= 2; ++e) {
    EXPECT_EQ(s.ET_TRANSPIRATION(e), 0.0);
    EXPECT_EQ(s.ET_SOIL_EVAP(e), 0.0);
    EXPECT_EQ(s.ET_GROUND_EVAP(e), 0.0);
    // Rain (mm) = net rain + canopy evaporation + store, the store starting empty.
    const double net = s.PNETTO(e) * 3600.0 * 1000.0;
    const double evap = s.ET_CANOPY_EVAP(e) * 3600.0 * 1000.0;
    EXPECT_NEAR(net + evap + s.cstore(e), 10.0, 1e-12);
    EXPECT_GT(s.cstore(e), 0.0);
    EXPECT_NEAR(s.DRAINA(e) * 3600.0 * 1000.0 + 0.2 * 10.0, net, 1e-12);  // drainage + 20% through
  }
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
  EXPECT_EQ(print_text(), "");
}

// Dry weather over cells at -5 m: constant RC 60 and RA 50 give each root cell
// q = 172.216 / ((2.2 x 0.659 + 1) x 2465000) = 2.85185e-5 mm/s, drawn with cover 0.8
// in proportion to its root density; the soil evaporates q x 0.5 x 0.2.
TEST_F(EtStepTest, TranspirationFromTheRootCellsOfEachColumn) {
  build(3);
  give_cells(4, -5.0);
  SubsurfaceState& sub = model.subsurface;
  sub.LAYER_BOTTOM_CELL(2, 1) = 3;  // element 2 has only cells 3 and 4
  model.surface.HRF(3) = 100.01;     // element 3 is ponded
  sub.WELL_WATER_SOURCE(1) = 3;      // element 3's well water falls on element 1
  sub.WELL_ABSTRACTION(3) = 1e-7;
  model.frame.AREA(3) = 2e4;
  const double q = 2.8518452728047092e-05;  // mm/s
  for (int step = 1; step <= 2; ++step) ET_TIME_STEP(model);
  const SurfaceState& s = model.surface;

  EXPECT_NEAR(s.ET_TRANSPIRATION(1), q * 0.8 / 1000.0, 1e-20);
  EXPECT_NEAR(s.ET_ROOT_UPTAKE(4, 1), q * 0.8 * 0.5 / 1000.0, 1e-20);
  EXPECT_NEAR(s.ET_ROOT_UPTAKE(2, 1), q * 0.8 * 0.2 / 1000.0, 1e-20);
  EXPECT_EQ(s.ET_ROOT_UPTAKE(1, 1), 0.0);  // below the root zone
  EXPECT_NEAR(s.ET_SOIL_EVAP(1), q * 0.1 / 1000.0, 1e-20);
  EXPECT_NEAR(s.PNETTO(1), 2e-7, 1e-20);  // dry weather: only the well water, 2 x 1e-7

  // The third root cell of element 2 would lie below its column: cut, warned once.
  EXPECT_NEAR(s.ET_TRANSPIRATION(2), q * 0.8 * 0.8 / 1000.0, 1e-20);
  EXPECT_EQ(s.ET_ROOT_UPTAKE(2, 2), 0.0);
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 1);
  EXPECT_NE(print_text().find("root zone extends below aquifer bed. Values below aquifer bed are "
                              "ignored"),
            std::string::npos);

  // Ponded: no transpiration; the pond evaporates at the potential rate instead of the soil.
  EXPECT_EQ(s.ET_TRANSPIRATION(3), 0.0);
  EXPECT_EQ(s.ET_SOIL_EVAP(3), 0.0);
  EXPECT_EQ(s.ET_SURFACE_WATER_EVAP(3), s.ET_POTENTIAL_EVAP(3));
  EXPECT_NEAR(s.ET_POTENTIAL_EVAP(3), 4.21124201749305e-05 / 1000.0, 1e-20);
}

// An element whose column has no cells (its bottom cell above LL) after one that
// evaporates from its soil: an empty root zone, no cell read, and no soil evaporation
// of its own, not its neighbour's. An empty zone is not a cut: no warning.
TEST_F(EtStepTest, EmptyRootZoneEvaporatesNothingFromTheSoil) {
  build(2);
  give_cells(4, -5.0);
  model.subsurface.LAYER_BOTTOM_CELL(2, 1) = 5;
  ET_TIME_STEP(model);
  const SurfaceState& s = model.surface;
  EXPECT_GT(s.ET_SOIL_EVAP(1), 0.0);
  EXPECT_EQ(s.ET_SOIL_EVAP(2), 0.0);
  EXPECT_EQ(s.ET_TRANSPIRATION(2), 0.0);
  EXPECT_EQ(s.ET_GROUND_EVAP(2), 0.0);
  for (int c = 1; c <= 4; ++c) EXPECT_EQ(s.ET_ROOT_UPTAKE(c, 2), 0.0) << c;
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
}

// A bank element beside a link 4 m wide (bank width 10 m, so b = 0.2) shares the cells
// at and below its link's bed cell with the channel: it draws 1 / 1.2 of what a grid
// square draws there, and the same above.
TEST_F(EtStepTest, BankElementDrawsLessAtAndBelowTheBedCell) {
  build(3, 1);
  FrameState& f = model.frame;
  f.ICMREF(2, 1, 1) = 1;  // bank element of side 1 of link 1
  f.ICMREF(2, 4, 1) = 1;
  give_cells(8, -5.0);
  model.surface.ET_RDF_ROWS(1) = 6;
  for (int j = 1; j <= 6; ++j) model.surface.RDF(1, j) = 1.0 / 6.0;
  model.subsurface.LINK_BED_CELL(1, 1) = 3;
  ET_TIME_STEP(model);
  const SurfaceState& s = model.surface;
  for (int c = 4; c <= 8; ++c) EXPECT_EQ(s.ET_ROOT_UPTAKE(c, 2), s.ET_ROOT_UPTAKE(c, 3)) << c;
  EXPECT_NEAR(s.ET_ROOT_UPTAKE(3, 2), s.ET_ROOT_UPTAKE(3, 3) / 1.2, 1e-22);
  EXPECT_GT(s.ET_ROOT_UPTAKE(3, 3), 0.0);
}

}  // namespace
}  // namespace quendal
