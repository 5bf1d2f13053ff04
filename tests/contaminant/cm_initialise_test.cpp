#include "contaminant/cm_initialise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "contaminant/cm_initialise_fixture.h"
#include "contaminant/cm_mass.h"
#include "example_copy.h"

namespace quendal::testing {
namespace {

struct CmInitialise : CmMesh {
  // One contaminant from category tables: (depth, value) rows per category.
  void tables(const std::vector<std::vector<std::pair<double, double>>>& categories) {
    cm.CM_CATEGORY_TABLES_ON[1] = true;
    cm.NCAT(1) = static_cast<int>(categories.size());
    for (int k = 1; k <= cm.NCAT(1); ++k) {
      const auto& rows = categories[k - 1];
      cm.NTBL(k, 1) = static_cast<int>(rows.size());
      for (int j = 1; j <= cm.NTBL(k, 1); ++j) {
        cm.DTAB(k, j, 1) = rows[j - 1].first;
        cm.CTAB(k, j, 1) = rows[j - 1].second;
      }
    }
    for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) cm.NCATTY(iel, 1) = 1;
  }
  void initialise(bool sediment_on = false) { initialise_contaminant_state(sediment_on, model); }
};

// 1 m cells: the top cell takes the first row (depth 0); cell LL - j lies 0.5 + j m
// below the middle of the top cell, so the cells below it sit at 1.5, 2.5, ... m.
TEST_F(CmInitialise, CategoryProfilesAreInterpolatedInDepth) {
  build(10, 1.0);
  cm.CM_UNIFORM_REL_CONC(1) = 0.05;
  tables({{{0.0, 1.0}, {2.0, 0.0}},
          {{0.0, 1.0}, {2.0, 0.0}, {5.0, 4.0}},
          {{0.0, 0.7}}});
  const int one = square_at(frame, 1, 1), two = square_at(frame, 2, 1), three = square_at(frame, 2, 2);
  cm.NCATTY(two, 1) = 2;
  cm.NCATTY(three, 1) = 3;
  initialise();
  auto profile = [&](int e) {
    std::vector<double> c;
    for (int k = 10; k >= 2; --k) c.push_back(cm.CM_REL_CONC_DYNAMIC(k, e, 1));
    return c;
  };
  const std::vector<double> expected_one = {1.0, 0.25, 0, 0, 0, 0, 0, 0, 0};
  // Depths 1.5 and 2.5 to 5.5 interpolate between (2, 0) and (5, 4); below 5 m, 4.
  const std::vector<double> expected_two = {1.0, 0.25, 4.0 * 0.5 / 3, 4.0 * 1.5 / 3, 4.0 * 2.5 / 3,
                                            4.0, 4.0, 4.0, 4.0};
  const std::vector<std::vector<double>> got = {profile(one), profile(two), profile(three)};
  const std::vector<std::vector<double>> want = {expected_one, expected_two,
                                                 std::vector<double>(9, 0.7)};
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].size(), want[i].size());
    for (std::size_t k = 0; k < got[i].size(); ++k) {
      EXPECT_NEAR(got[i][k], want[i][k], 1e-14) << "category " << i + 1 << " cell " << 10 - k;
    }
  }
  // Every region and the start-of-step copies start from the profile; the placeholder
  // below the bottom cell and the link compartments keep the uniform value.
  for (int k = 2; k <= 10; ++k) {
    const double c = cm.CM_REL_CONC_DYNAMIC(k, two, 1);
    EXPECT_EQ(cm.CM_REL_CONC_DEAD_SPACE(k, two, 1), c);
    EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC_OLD(k, two, 1), c);
    EXPECT_EQ(cm.CM_REL_CONC_DEAD_SPACE_OLD(k, two, 1), c);
  }
  EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(1, two, 1), 0.05);
  for (int k = 8; k <= 10; ++k) {
    EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(k, LINK, 1), 0.05);
    EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC_OLD(k, LINK, 1), 0.05);
  }
}

TEST_F(CmInitialise, AUniformContaminantFillsEveryCellAndCompartment) {
  build();
  cm.NCON = 2;
  cm.CM_UNIFORM_REL_CONC(1) = 0.0;
  cm.CM_UNIFORM_REL_CONC(2) = 0.4;
  initialise();
  for (int e = frame.NLF + 1; e <= frame.NEL; ++e) {
    for (int k = 1; k <= 10; ++k) {
      for (const Array3<double>* a : {&cm.CM_REL_CONC_DYNAMIC, &cm.CM_REL_CONC_DEAD_SPACE,
                                      &cm.CM_REL_CONC_DYNAMIC_OLD, &cm.CM_REL_CONC_DEAD_SPACE_OLD}) {
        EXPECT_EQ((*a)(k, e, 2), 0.4);
      }
    }
  }
  for (int k = 8; k <= 10; ++k) {
    EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(k, LINK, 2), 0.4);
    EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC_OLD(k, LINK, 2), 0.4);
    EXPECT_EQ(cm.CM_REL_CONC_DEAD_SPACE(k, LINK, 2), 0.0);  // links have no dead space
  }
}

struct BadTable {
  std::string name;
  void (*spoil)(CmInitialise&);
  std::vector<std::string> reports;
  std::string label;  // of the first report
};

struct CmCategoryTableErrors : CmInitialise, ::testing::WithParamInterface<BadTable> {};

TEST_P(CmCategoryTableErrors, AreReportedThenFatal2107) {
  build();
  tables({{{0.0, 1.0}, {2.0, 0.0}}, {{0.0, 1.0}}});
  GetParam().spoil(*this);
  EXPECT_THROW(initialise(), FatalError);
  EXPECT_EQ(report_numbers(), GetParam().reports);
  const std::string print = print_text();
  EXPECT_NE(print.find("Checking  " + GetParam().label), std::string::npos) << print;
  EXPECT_NE(print.find("Error(s) detected while checking static/initial interface"),
            std::string::npos);
  // Nothing was set up.
  EXPECT_EQ(cm.CM_BOTTOM_CELL(square_at(frame, 1, 1)), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CmCategoryTableErrors,
    ::testing::Values(
        BadTable{"FirstDepthNotZero", [](CmInitialise& t) { t.cm.DTAB(1, 1, 1) = 0.1; },
                 {"2104", "2107"}, "DTAB[ncat,1]: expected .EQ."},
        BadTable{"DepthsNotIncreasing", [](CmInitialise& t) { t.cm.DTAB(1, 2, 1) = 0.0; },
                 {"2105", "2107"}, "DTAB[ncat,ntab]: expected .GT."},
        BadTable{"NegativeValue", [](CmInitialise& t) { t.cm.CTAB(2, 1, 1) = -1.0; },
                 {"2106", "2107"}, "CTAB[nmne,ntab]: expected .GE."},
        // Each column without a category is one report.
        BadTable{"ColumnsWithoutCategory",
                 [](CmInitialise& t) {
                   t.cm.NCATTY(square_at(t.frame, 1, 1), 1) = 0;
                   t.cm.NCATTY(t.bank2, 1) = 0;
                 },
                 {"2103", "2103", "2107"}, "NCATTY(iel): expected .GT."},
        // Per category 2104 then 2105; the values after all categories.
        BadTable{"Order",
                 [](CmInitialise& t) {
                   t.cm.CTAB(1, 1, 1) = -1.0;
                   t.cm.DTAB(2, 1, 1) = 0.5;
                   t.cm.DTAB(1, 2, 1) = 0.0;
                 },
                 {"2105", "2104", "2106", "2107"}, "DTAB[ncat,ntab]"}),
    [](const ::testing::TestParamInfo<BadTable>& info) { return info.param.name; });

TEST_F(CmInitialise, TablesOfContaminantsNotSimulatedAreNotChecked) {
  build();
  tables({{{0.5, 1.0}}});  // first depth not 0
  cm.NCON = 0;
  EXPECT_NO_THROW(initialise());
  EXPECT_TRUE(report_numbers().empty());
}

// The soil of the link's bed is that of the side-1 bank layer holding the cell just
// below LINK_BED_CELL (7): with a second bank layer from cell 7 up, the lower layer's.
struct BedSoilCase {
  std::string name;
  int layer_2_bottom;  // 0: the bank has one layer
  int soil;
};

struct CmDefaultSediment : CmInitialise, ::testing::WithParamInterface<BedSoilCase> {};

TEST_P(CmDefaultSediment, IsSuppliedWhenTheSedimentComponentIsOff) {
  const BedSoilCase& c = GetParam();
  build();
  if (c.layer_2_bottom > 0) {
    subsurface.NLYR(bank1) = 2;
    subsurface.NTSOIL(bank1, 1) = 2;
    subsurface.LAYER_BOTTOM_CELL(bank1, 2) = c.layer_2_bottom;
  }
  cm.CM_SOIL_SIZE_FRACTIONS(1, 1) = 0.2;
  cm.CM_SOIL_SIZE_FRACTIONS(1, 2) = 0.3;
  cm.CM_SOIL_SIZE_FRACTIONS(1, 3) = 0.5;
  cm.CM_SEDIMENT_KD(1, 1) = 1.0;
  cm.CM_SEDIMENT_KD(3, 1) = 2.0;
  cm.CM_DECAY_RATE(1) = 2e-7;
  initialise();
  EXPECT_EQ(sediment.NSED, 3);
  EXPECT_EQ(cm.CM_LINK_BED_SOIL(LINK), c.soil);
  EXPECT_EQ(sediment.PBSED(LINK), subsurface.THSAT(c.soil));
  for (int e = 1; e <= frame.NEL; ++e) {
    EXPECT_EQ(sediment.DLS(e), 0.0);
    EXPECT_EQ(sediment.FBETA(e, 1), 1.0);
    EXPECT_EQ(sediment.FBETA(e, 2) + sediment.FBETA(e, 3), 0.0);
  }
  EXPECT_EQ(cm.CM_LINK_BED_SIZE_SHARE(LINK, 1), 1.0);
  EXPECT_EQ(sediment.SOSDFN(1, 3), 0.5);
  EXPECT_EQ(sediment.SOSDFN(2, 1) + sediment.SOSDFN(2, 2) + sediment.SOSDFN(2, 3), 0.0);
  // 0.2 x 1 + 0.5 x 2; a soil not listed sorbs nothing.
  EXPECT_DOUBLE_EQ(cm.CM_SOIL_KD(1, 1), 1.2);
  EXPECT_EQ(cm.CM_SOIL_KD(2, 1), 0.0);
  EXPECT_DOUBLE_EQ(cm.CM_DECAY_RATE_SCALED(1), 0.5);  // 2.5e6 s x 2e-7 1/s
  // No loose sediment: the bed is all its soil.
  for (int z = 1; z <= 3; ++z) {
    EXPECT_DOUBLE_EQ(cm.CM_LINK_BED_FRACTIONS_PREVIOUS(LINK, z), sediment.SOSDFN(c.soil, z));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CmDefaultSediment,
                         ::testing::Values(BedSoilCase{"BedCellInTheOnlyLayer", 0, 1},
                                           BedSoilCase{"CellBelowTheBedCellInTheLowerLayer", 7, 2},
                                           BedSoilCase{"CellBelowTheBedCellInTheUpperLayer", 6, 1}),
                         [](const ::testing::TestParamInfo<BedSoilCase>& info) {
                           return info.param.name;
                         });

// Sediment on: the sediment component's description stands; the bed mixes its loose
// sediment with its soil by area, and its moisture is the bank cells' the bed spans.
TEST_F(CmInitialise, WithSedimentOnTheBedIsLooseSedimentAndSoil) {
  build();
  const int nel = frame.NEL, nlf = frame.NLF;
  sediment.NSED = 2;
  sediment.DLS.resize(nel, 0.0);
  sediment.DLS(LINK) = 0.1;
  sediment.FBETA.resize(nel, NSEDEE, 0.5);
  sediment.FDEL.resize(nel, NSEDEE, 0.0);
  sediment.FDEL(LINK, 1) = 0.01;
  sediment.PBSED.resize(nlf, 0.35);
  sediment.SOSDFN.resize(2, NSEDEE, 0.0);
  sediment.SOSDFN(1, 1) = 0.2;
  sediment.SOSDFN(1, 2) = 0.8;
  sediment.SY_GROUND_EROSION_RATE.resize(nel, 1e-9);
  // Bed bottom 5, half of cell 6 below it, bed level at the top of cell 7.
  subsurface.CELL_THETA(6, bank1) = 0.2;
  subsurface.CELL_THETA(7, bank1) = 0.35;
  subsurface.CELL_THETA(6, bank2) = 0.3;
  subsurface.CELL_THETA(7, bank2) = 0.4;
  surface.ARXL(LINK) = 2.0;
  initialise(true);

  EXPECT_EQ(sediment.NSED, 2);
  EXPECT_EQ(sediment.PBSED(LINK), 0.35);
  EXPECT_EQ(cm.CM_LINK_BED_SOIL(LINK), 1);
  EXPECT_EQ(cm.CM_LINK_BED_SIZE_SHARE(LINK, 1), 0.0);
  // (0.5 x 0.2 + 0.35 + 0.5 x 0.3 + 0.4) / 3 = 1/3, within the bed porosity.
  EXPECT_NEAR(cm.CM_LINK_BED_THETA(LINK), 1.0 / 3.0, 1e-14);
  EXPECT_EQ(cm.CM_LINK_BED_THETA_OLD(LINK), cm.CM_LINK_BED_THETA(LINK));
  // Loose 0.1 m x 4 m = 0.4 m2 of (0.5, 0.5); deep 4 m x 0.65 m = 2.6 m2 of (0.2, 0.8).
  EXPECT_NEAR(cm.CM_LINK_BED_FRACTIONS_PREVIOUS(LINK, 1), (0.2 + 0.52) / 3.0, 1e-14);
  EXPECT_NEAR(cm.CM_LINK_BED_FRACTIONS_PREVIOUS(LINK, 2), (0.2 + 2.08) / 3.0, 1e-14);
  EXPECT_EQ(cm.CM_FDEL_PREVIOUS(LINK, 1), 0.01);
  EXPECT_DOUBLE_EQ(cm.CM_LINK_WATER_AREA(LINK), 2.0 / 2500.0);
  EXPECT_EQ(cm.CM_LINK_BED_AREA(LINK), cm.CM_BED_AREA_BASE(LINK));
  EXPECT_EQ(cm.CM_STORED_EROSION(square_at(frame, 1, 1)), 1e-9);

  // Wetter banks: the bed holds no more water than its pores.
  subsurface.CELL_THETA.fill(0.45);
  initialise(true);
  EXPECT_EQ(cm.CM_LINK_BED_THETA(LINK), 0.35);
}

// No loose sediment and a deep layer of no area: the bed is its soil (no 0 / 0).
TEST_F(CmInitialise, ABedOfNoAreaIsItsSoil) {
  build();
  cm.CM_SURFACE_LAYER_DEPTH = 0.375;  // half of the 0.75 m bed
  cm.CM_SOIL_SIZE_FRACTIONS(1, 2) = 1.0;
  initialise();
  EXPECT_NEAR(cm.CM_BED_AREA_BASE(LINK), cm.CM_SURFACE_LAYER_AREA(LINK), 1e-15);
  EXPECT_EQ(cm.CM_LINK_BED_FRACTIONS_PREVIOUS(LINK, 1), 0.0);
  EXPECT_DOUBLE_EQ(cm.CM_LINK_BED_FRACTIONS_PREVIOUS(LINK, 2), 1.0);
}

// The bed level at the top of the top cell: the cell above it does not exist and holds
// no bed; the bed is cell 10 and the upper half of cell 9.
TEST_F(CmInitialise, ABedCellAtTheTopCellLeavesNothingAboveIt) {
  build(10, 0.5, 10);
  subsurface.CELL_THETA(9, bank1) = 0.2;
  initialise();
  EXPECT_EQ(cm.CM_BED_BOTTOM_CELL(LINK, 1), 8);
  EXPECT_NEAR(cm.CM_BED_AREA_BASE(LINK), 0.00112, 1e-15);
  // Weights 0.5, 1 per side; side 1 has 0.2 in its half cell.
  EXPECT_NEAR(cm.CM_LINK_BED_THETA(LINK), (0.5 * 0.2 + 0.3 + 0.5 * 0.3 + 0.3) / 3.0, 1e-15);
}

// A grid square stores its own water state; a bank element below the level of its link's
// bed blends in the link's column with weight 1 - r, r = 10 / (0.5 x 4 + 10), and its face
// towards the link carries half the link's side-to-side flow. Lateral flows are stored as
// the scaled fluxes weight x hn / dz x flow.
TEST_F(CmInitialise, ColumnStoresHoldWhatTheSetUpWouldGather) {
  build();
  const int sq = square_at(frame, 2, 1);
  const double r = 10.0 / 12.0;
  for (int k = 1; k <= 10; ++k) {
    subsurface.CELL_THETA(k, LINK) = 0.4;
    subsurface.CELL_VERTICAL_FLOW(k, LINK) = -2e-7;
    subsurface.CELL_VERTICAL_FLOW(k, sq) = -1e-7;
    subsurface.CELL_VERTICAL_FLOW(k, bank1) = -1e-7;
    subsurface.CELL_LATERAL_FLOW(3, k, sq) = 0.002;
  }
  int link_face_of_bank = 0, bank_face = 0;
  for (int f = 1; f <= 4; ++f) {
    if (frame.ICMREF(LINK, f, 2) == bank1) {
      link_face_of_bank = f;
      bank_face = frame.ICMREF(LINK, f, 3);
    }
  }
  // The link's flow in through its face away from the bank and out towards the bank.
  subsurface.CELL_LATERAL_FLOW(bank_face, 4, LINK) = 0.003;
  subsurface.CELL_LATERAL_FLOW(link_face_of_bank, 4, LINK) = -0.001;
  subsurface.CELL_LATERAL_FLOW(bank_face, 9, bank1) = 0.005;  // above the bed level
  surface.HRF(sq) = 100.02;
  surface.QOC(sq, 1) = 0.1;
  surface.QOC(sq, 3) = 0.3;
  surface.PNETTO(sq) = 1e-6;
  subsurface.WELL_ABSTRACTION(sq) = 2e-8;
  initialise();

  // Ground 100 m, bottom cell 2 at 95.75 m: hn = 4.25 / 50; dz = 0.5 / 50.
  const double hn_over_dz = 4.25 / 0.5;
  EXPECT_DOUBLE_EQ(cm.CM_STORED_COLUMN_DEPTH(sq), 4.25 / 50.0);
  EXPECT_NEAR(cm.CM_STORED_FACE_FLUX(3, 5, sq), hn_over_dz * 0.002, 1e-15);
  EXPECT_EQ(cm.CM_STORED_THETA(5, sq), 0.3);
  EXPECT_EQ(cm.CM_STORED_VERTICAL_FLOW(5, sq), -1e-7);
  EXPECT_NEAR(cm.CM_STORED_WATER_DEPTH(sq), 0.02, 1e-12);
  EXPECT_EQ(cm.CM_STORED_TOP_INPUT(sq), -1e-6 * frame.AREA(sq));
  EXPECT_EQ(cm.CM_WELL_ABSTRACTION_OLD(sq), 2e-8);  // the well pumps from the start
  EXPECT_EQ(cm.CM_STORED_SURFACE_FLOW(1, sq), -0.1);
  EXPECT_EQ(cm.CM_STORED_SURFACE_FLOW(3, sq), 0.3);

  // Bank cell 4 lies below the bed bottom (cell 5): weight r. Cell 9 above the bed
  // level keeps its own flow at weight 1.
  EXPECT_NEAR(cm.CM_STORED_THETA(4, bank1), r * 0.3 + (1 - r) * 0.4, 1e-15);
  EXPECT_NEAR(cm.CM_STORED_VERTICAL_FLOW(4, bank1), r * -1e-7 + (1 - r) * -2e-7, 1e-20);
  EXPECT_NEAR(cm.CM_STORED_FACE_FLUX(bank_face, 4, bank1), r * hn_over_dz * 0.5 * (0.003 + 0.001),
              1e-15);
  EXPECT_NEAR(cm.CM_STORED_FACE_FLUX(bank_face, 9, bank1), hn_over_dz * 0.005, 1e-15);
  // The flow into the bottom cell, blended at the weight of cell 1 (also r).
  EXPECT_NEAR(cm.CM_STORED_BASE_FLOW(bank1), frame.AREA(bank1) * (r * -1e-7 + (1 - r) * -2e-7),
              1e-18);
}

// A stack reaching down to cell 1 takes the flow through its base from COLUMN_BASE_FLOW.
TEST_F(CmInitialise, AStackFromCellOneTakesItsBaseFlowFromTheColumn) {
  build();
  const int sq = square_at(frame, 2, 2);
  subsurface.LAYER_BOTTOM_CELL(sq, 1) = 1;
  subsurface.CELL_THICKNESS(1, sq) = 0.5;
  subsurface.CELL_ELEVATION(1, sq) = 95.25;
  subsurface.COLUMN_BASE_FLOW(sq) = 3e-8;
  initialise();
  EXPECT_EQ(cm.CM_BOTTOM_CELL(sq), 1);
  EXPECT_EQ(cm.CM_BOTTOM_LEVEL(sq), 95.25);
  EXPECT_EQ(cm.CM_STORED_VERTICAL_FLOW(0, sq), 3e-8);
  EXPECT_EQ(cm.CM_STORED_BASE_FLOW(sq), 3e-8 * frame.AREA(sq));
}

TEST(CmBanksNeeded, ContaminantsWithLinksNeedBanks3009) {
  struct Case {
    bool contaminants, banks;
    int links;
    bool fatal;
  };
  for (const Case& c : {Case{true, false, 2, true}, Case{true, true, 2, false},
                        Case{true, false, 0, false}, Case{false, false, 2, false}}) {
    Model model{stderr};
    model.frame.CONTAMINANT_ON = c.contaminants;
    model.frame.BANKS_ON = c.banks;
    model.frame.NLF = c.links;
    if (c.fatal) {
      EXPECT_THROW(check_contaminant_banks(model.frame, model.io), FatalError);
    } else {
      EXPECT_NO_THROW(check_contaminant_banks(model.frame, model.io));
    }
  }
}

}  // namespace
}  // namespace quendal::testing

namespace quendal::testing {
namespace {

// The contaminant example up to its contaminant start at hour 24, where the run ends:
// the spill's category profile under its four squares, nothing elsewhere, and every
// link's bed 0.5 m deep with a 0.1 m surface layer.
TEST(CmInitialiseExample, TheSpillStartsFromItsCategoryProfile) {
  ExampleCopy copy("contaminant");
  copy.replace("contaminant_frame.txt", "End of simulation: year, month, day, hour, minute\n1990 1 11",
               "End of simulation: year, month, day, hour, minute\n1990 1 2");
  InProcessRun run(copy);
  ASSERT_EQ(run.status, 0) << copy.print();
  const Model& model = run.model;
  const FrameState& frame = model.frame;
  const SubsurfaceState& vss = model.subsurface;
  const ContaminantState& cm = model.contaminant;
  const int LL = vss.LL;
  ASSERT_EQ(frame.STEP_COUNT, 24);

  int spill_squares = 0;
  for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) {
    const bool spill = frame.ICMREF(iel, 1, 1) == 0 && cm.NCATTY(iel, 1) == 2;
    spill_squares += spill;
    double above = spill ? 1.0 : 0.0;
    for (int k = LL; k >= cm.CM_BOTTOM_CELL(iel); --k) {
      const double c = cm.CM_REL_CONC_DYNAMIC(k, iel, 1);
      const double depth = 0.5 * vss.CELL_THICKNESS(LL, iel) + vss.CELL_ELEVATION(LL, iel) -
                           vss.CELL_ELEVATION(k, iel);
      // 1 down to 0.3 m, 0 from 0.6 m, falling in between.
      if (!spill || depth >= 0.6) {
        EXPECT_EQ(c, 0.0) << iel << " " << k;
      }
      if (spill && depth <= 0.3) {
        EXPECT_EQ(c, 1.0) << iel << " " << k;
      }
      EXPECT_LE(c, above) << iel << " " << k;
      above = c;
      EXPECT_EQ(cm.CM_REL_CONC_DEAD_SPACE_OLD(k, iel, 1), c);
      for (int m = 2; m <= 3; ++m) EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(k, iel, m), 0.0);
    }
  }
  EXPECT_EQ(spill_squares, 4);
  for (int l = 1; l <= frame.NLF; ++l) {
    for (int k = LL - 2; k <= LL; ++k) EXPECT_EQ(cm.CM_REL_CONC_DYNAMIC(k, l, 1), 0.0);
    // Both banks of a link carry the same stack: the bed bottom at one level (the 0.5 m
    // bed is one whole cell), the full depth on both sides.
    EXPECT_EQ(cm.CM_BED_BOTTOM_CELL(l, 1) + cm.CM_BED_BOTTOM_FRACTION(l, 1),
              cm.CM_BED_BOTTOM_CELL(l, 2) + cm.CM_BED_BOTTOM_FRACTION(l, 2));
    EXPECT_NEAR(cm.CM_BED_AREA_BASE(l), model.surface.CWIDTH(l) * (0.5 - 0.1) / 2500.0, 1e-15);
  }
  const ContaminantMass spill = contaminant_mass(model, 1);
  EXPECT_GT(spill.columns(), 0.0);
  EXPECT_EQ(spill.links(), 0.0);
}

// The example valley has links and no banks: with contaminants switched on (a data file
// that gives just the count read at start-up) the run stops before its first step.
TEST(CmInitialiseExample, ContaminantsWithLinksAndBanksOffStopAtStartUp3009) {
  ExampleCopy copy("example");
  copy.set_switch("CON", true);
  copy.dir.write("example/contaminant.txt", "Contaminant data\n:CM3\n 1\n");
  copy.replace("rundata_example.txt", "(unit 18)\n0", "(unit 18)\ncontaminant.txt");
  const CommandResult r = copy.run();
  EXPECT_EQ(r.status, 1) << r.output;
  // No contaminant print file is named: the report goes to the print file.
  EXPECT_NE(copy.print().find(" !!!FATAL ERROR 3009 at time =        0.00 hours\n"
                              "        Contaminant migration needs bank elements: switch banks on "
                              "in the frame data file\n"),
            std::string::npos)
      << copy.print();
  EXPECT_EQ(r.output.find("Simulation Timestep"), std::string::npos);
}

}  // namespace
}  // namespace quendal::testing
