#include "contaminant/cm_mass.h"

#include <gtest/gtest.h>

#include "contaminant/cm_initialise.h"
#include "contaminant/cm_initialise_fixture.h"

namespace quendal::testing {
namespace {

struct CmMass : CmMesh {
  // Sediment off; soil 1 all of size group 1, whose sorption coefficient is 0.5, so
  // CM_SOIL_KD of soil 1 is 0.5; 0.6 of it acts in the dynamic region.
  void initialise(double uniform = 1.0) {
    cm.CM_UNIFORM_REL_CONC(1) = uniform;
    cm.CM_SOIL_SIZE_FRACTIONS(1, 1) = 1.0;
    cm.CM_SEDIMENT_KD(1, 1) = 0.5;
    cm.CM_DYNAMIC_SORPTION_FRACTION(1, 1) = 0.6;
    initialise_contaminant_state(false, model);
  }
};

// A 100 m square alone, ten 0.2 m cells of moisture 0.3 (half of it in the dynamic
// region): per m3 of soil 0.15 + 0.15 of water and 0.5 of sorption, 1e4 m2 x 2 m.
TEST_F(CmMass, OfAColumnIsItsWaterAndSorbedShares) {
  build(11, 0.2, 7, false, {{2, 1}, {1, 2}, {2, 2}});
  ASSERT_EQ(frame.NEL, 1);
  initialise();
  ContaminantMass mass = contaminant_mass(model, 1);
  EXPECT_NEAR(mass.dynamic_dissolved, 3000.0, 1e-9);
  EXPECT_NEAR(mass.dynamic_sorbed, 6000.0, 1e-9);
  EXPECT_NEAR(mass.dead_space_dissolved, 3000.0, 1e-9);
  EXPECT_NEAR(mass.dead_space_sorbed, 4000.0, 1e-9);
  EXPECT_NEAR(mass.total(), 16000.0, 1e-9);

  // The dead space at half the concentration holds half as much; 0.1 m of ponded water
  // at the top cell's concentration adds 1e4 x 0.1 x 2.
  for (int k = 2; k <= 11; ++k) cm.CM_REL_CONC_DEAD_SPACE(k, 1, 1) = 0.5;
  cm.CM_REL_CONC_DYNAMIC(11, 1, 1) = 2.0;
  cm.CM_STORED_WATER_DEPTH(1) = 0.1;
  mass = contaminant_mass(model, 1);
  EXPECT_NEAR(mass.dead_space_dissolved, 1500.0, 1e-9);
  EXPECT_NEAR(mass.dead_space_sorbed, 2000.0, 1e-9);
  EXPECT_NEAR(mass.ponded_water, 2000.0, 1e-9);
  EXPECT_EQ(mass.links(), 0.0);
}

// The 2 x 2 catchment with its link: 100 m long, 2 m2 of water, the bed's surface layer
// 8e-5 and deep layer 0.00112 of 2500 m2, bed moisture 0.3 and sorption 0.5 (the bed is
// all soil 1). The compartments hold different concentrations.
TEST_F(CmMass, OfALinkIsItsWaterAndBothBedLayers) {
  build();
  surface.ARXL(LINK) = 2.0;
  initialise();
  cm.CM_REL_CONC_DYNAMIC(10, LINK, 1) = 1.0;
  cm.CM_REL_CONC_DYNAMIC(9, LINK, 1) = 2.0;
  cm.CM_REL_CONC_DYNAMIC(8, LINK, 1) = 3.0;
  const ContaminantMass mass = contaminant_mass(model, 1);
  EXPECT_NEAR(mass.link_water, 100.0 * 2.0 * 1.0, 1e-9);
  EXPECT_NEAR(mass.bed_surface_layer, 100.0 * 2500.0 * 8e-5 * 0.8 * 2.0, 1e-9);
  EXPECT_NEAR(mass.bed_deep_layer, 100.0 * 2500.0 * 0.00112 * 0.8 * 3.0, 1e-9);

  // Columns, 4.5 m deep (nine 0.5 m cells) at capacity 0.8: two squares beside the banks
  // of 100 m x 88 m, two of 100 m x 100 m; the banks (100 m x 10 m) below the bed count
  // over their share of the channel as well: cells 2 to 5 at weight 10 / 12, cell 6 (half
  // below the bed) at 1 - 0.5 x 2 / 12.
  const double squares = (2 * 8800.0 + 2 * 10000.0) * 4.5 * 0.8;
  const double bank = 0.5 * 0.8 * (4 * 1200.0 + 1000.0 * 12.0 / 11.0 + 4 * 1000.0);
  EXPECT_NEAR(mass.columns(), squares + 2 * bank, 1e-8);
}

}  // namespace
}  // namespace quendal::testing
