// Item values against hand-worked numbers on the fixture catchment: unit factors, grid
// widths and centroids on the uneven grid, radial spans, soil types, the answers for
// items that have no value, and arrays the run has not sized.
#include "output/visualisation/value_accessors.h"

#include <gtest/gtest.h>

#include "output/visualisation/item_tables.h"
#include "output/visualisation/vis_fixture.h"

namespace quendal {
namespace {

using testing::VisFixture;

struct VisValueTest : VisFixture {
  float real(std::string_view name, int element, int column = 1, int row = 1, int cell = 1,
             int extra = 1, int group = 1, int contaminant = 1) {
    return VIS_REAL_VALUE(sources(), name, element, column, row, cell, extra, group, contaminant);
  }
};

// Every expected value is exact or the nearest 4-byte real of a decimal; EXPECT_FLOAT_EQ
// allows the 4 ulps of the 4-byte result.
TEST_F(VisValueTest, ItemsInTheirOutputUnits) {
  const int e = 5;
  surface.PNETTO(e) = 1e-6;
  surface.ET_POTENTIAL_EVAP(e) = 2e-6;
  surface.ET_TRANSPIRATION(e) = 3e-6;
  surface.ET_SOIL_EVAP(e) = 4e-6;
  surface.ET_CANOPY_EVAP(e) = 5e-6;
  surface.DRAINA(e) = 6e-6;
  surface.cstore(e) = 1.25;
  surface.SD.resize(frame.NEL, 0.0);
  surface.SD(e) = 250.0;  // mm of snow
  surface.HRF(e) = 10.3;
  frame.ZGRUND(e) = 10.1;
  subsurface.PHREATIC_LEVEL(e) = 8.6;
  surface.QOC(e, 3) = -0.75;
  subsurface.CELL_THETA(3, e) = 0.35;
  subsurface.vspsi(2, e) = -0.5;
  subsurface.CELL_VERTICAL_FLOW(4, e) = 2e-7;
  subsurface.CELL_THICKNESS(2, e) = 0.4;
  model.output.ELEMENT_BALANCE_ERROR.resize(frame.NEL, 0.0);
  model.output.ELEMENT_BALANCE_ERROR(e) = -1e-4;
  model.sediment.NSED = 2;
  model.sediment.DLS.resize(frame.NEL, 0.0);
  model.sediment.DLS(e) = 0.002;
  model.sediment.SY_GROUND_EROSION_RATE.resize(frame.NEL, 0.0);
  model.sediment.SY_GROUND_EROSION_RATE(e) = 1e-8;
  model.sediment.SY_FACE_SEDIMENT_DISCHARGE.resize(frame.NEL, 2, 4, 0.0);
  model.sediment.SY_FACE_SEDIMENT_DISCHARGE(e, 2, 3) = 1e-3;
  model.contaminant.NCON = 2;
  // Sized by the contaminant component itself, so the items read the state as it lays
  // it out: (cell, element, contaminant).
  model.contaminant.size(frame.NEL, frame.NLF, TOP_CELL);
  model.contaminant.CM_REL_CONC_DYNAMIC(2, e, 2) = 0.25;
  model.contaminant.CM_REL_CONC_DEAD_SPACE(3, e, 1) = 0.125;

  struct Case {
    const char* name;
    int cell, extra, group, contaminant;
    float expected;
  };
  const Case cases[] = {
      {"net_rain", 1, 1, 1, 1, 3.6f},   // x 3.6e6: m/s to mm/hour
      {"pot_evap", 1, 1, 1, 1, 7.2f},
      {"trnsp", 1, 1, 1, 1, 10.8f},
      {"srf_evap", 1, 1, 1, 1, 14.4f},
      {"int_evap", 1, 1, 1, 1, 18.0f},
      {"drainage  ", 1, 1, 1, 1, 21.6f},  // trailing blanks do not count
      {"can_stor", 1, 1, 1, 1, 1.25f},
      {"snow_dep", 1, 1, 1, 1, 0.25f},  // / 1000: mm of snow to m
      {"srf_dep", 1, 1, 1, 1, 0.2f},
      {"ph_depth", 1, 1, 1, 1, 1.5f},
      {"ovr_flow", 1, 3, 1, 1, -0.75f},
      {"theta", 3, 1, 1, 1, 0.35f},
      {"psi", 2, 1, 1, 1, -0.5f},
      {"v_flow", 4, 1, 1, 1, 2e-7f},
      {"vert_thk", 2, 1, 1, 1, 0.4f},
      {"surf_elv", 1, 1, 1, 1, 10.1f},
      {"bal_err", 1, 1, 1, 1, -1e-4f},  // metres, unchanged
      {"s_t_dp", 1, 1, 1, 1, 2.0f},     // x 1000: m to mm
      {"s_v_er", 1, 1, 1, 1, 0.864f},   // x 8.64e7: m/s to mm/day
      {"s_dis", 1, 3, 2, 1, 2.65f},     // x 2650: m3/s of grains to kg/s
      {"c_c_dr", 2, 1, 1, 2, 0.25f},
      {"c_c_ds", 3, 1, 1, 1, 0.125f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FLOAT_EQ(real(c.name, e, 1, 1, c.cell, c.extra, c.group, c.contaminant), c.expected);
  }
}

// Columns 100, 150, 200 m wide; rows 50, 100, 150 m high; plan row 1 is grid row 3.
TEST_F(VisValueTest, GridWidthsAndCentroidsOnTheUnevenGrid) {
  struct Case {
    const char* name;
    int column, row, extra;
    float expected;
  };
  const Case cases[] = {
      {"grid_dxy", 3, 1, 1, 200.0f},   // the last column: the last grid spacing
      {"grid_dxy", 2, 1, 1, 150.0f},   // (100 + 200) / 2
      {"grid_dxy", 1, 2, 2, 100.0f},
      {"grid_dxy", 1, 1, 3, 0.0f},
      {"grid_dxy", 4, 1, 1, 0.0f},     // outside the grid
      {"grid_dxy", 1, 0, 2, 0.0f},
      {"centroid", 1, 1, 1, 50.0f},    // half of column 1
      {"centroid", 3, 1, 1, 350.0f},   // 100 + 150 + 200 / 2
      {"centroid", 1, 3, 2, 75.0f},    // half of row 3, the plan's first row
      {"centroid", 1, 1, 2, 275.0f},   // 150 + 100 + 50 / 2
      {"centroid", 2, 2, 3, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.column) + " " +
                 std::to_string(c.row) + " " + std::to_string(c.extra));
    EXPECT_EQ(real(c.name, 5, c.column, c.row, 1, c.extra), c.expected);
  }
}

// Spans from the element's centre to a face: a bank element's whole size, half a
// channel's width, half a square's size.
TEST_F(VisValueTest, RadialSpans) {
  ASSERT_EQ(frame.DYQQ(SOUTH_BANK), 10.0);
  struct Case {
    int element, face;
    float expected;
  };
  const Case cases[] = {
      {SOUTH_BANK, 2, 10.0f},  // the bank's width across the link
      {SOUTH_BANK, 1, 150.0f}, // its length along the link
      {LINK, 2, 2.0f},         // channel 4 m wide
      {LINK, 1, 2.0f},
      {4, 2, 25.0f},           // square (1, 1): 100 x 50 m
      {4, 3, 50.0f},
      {4, 5, 0.0f},
      {5, 2, 19.0f},           // square (2, 1) gives 2 + 10 m to the channel and bank
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.element) + " face " + std::to_string(c.face));
    EXPECT_EQ(real("r_span", c.element, 1, 1, 1, c.face), c.expected);
  }
}

TEST_F(VisValueTest, SoilTypeOfTheLayerHoldingTheCell) {
  const auto s = sources();
  EXPECT_EQ(VIS_INT_VALUE(s, "soil_typ", 5, 1, 1, 1, 1, 1, 1), 7);
  EXPECT_EQ(VIS_INT_VALUE(s, "soil_typ", 5, 1, 1, 2, 1, 1, 1), 7);
  EXPECT_EQ(VIS_INT_VALUE(s, "soil_typ", 5, 1, 1, 3, 1, 1, 1), 9);
  EXPECT_EQ(VIS_INT_VALUE(s, "soil_typ", 5, 1, 1, TOP_CELL, 1, 1, 1), 9);
  EXPECT_EQ(VIS_INT_VALUE(s, "soil_typ", LINK, 1, 1, 3, 1, 1, 1), 0);
  for (int layer = 1; layer <= NLYREE + 1; ++layer) subsurface.LAYER_BOTTOM_CELL(6, layer) = 0;
  EXPECT_EQ(VIS_INT_VALUE(s, "soil_typ", 6, 1, 1, 3, 1, 1, 1), 0);
  EXPECT_EQ(VIS_INT_VALUE(s, "number", 9, 1, 1, 1, 1, 1, 1), 9);
}

TEST_F(VisValueTest, ItemsWithoutAValueGiveTheLargestNumber) {
  surface.QOC.fill(1.0);
  for (const char* name : {"lat_flow", "sd_loss", "spatial1", "infilt", "s_p_dp", "ovr_flw",
                           "soil_typ", "number", ""}) {
    EXPECT_EQ(real(name, 5), 3.4028235e38f) << name;
  }
  const auto s = sources();
  EXPECT_EQ(VIS_INT_VALUE(s, "theta", 5, 1, 1, 1, 1, 1, 1), 2147483647);
  EXPECT_EQ(VIS_INT_VALUE(s, "ovr_flow", 5, 1, 1, 1, 1, 1, 1), 2147483647);
  // Every delivered item is in the tables and marked implemented; no other is.
  for (std::string_view selector : {"static", "dynamic"}) {
    const Array1<VIS_ITEM_RECORD> table = VIS_ITEM_TABLE(selector);
    for (long n = table.lower(); n <= table.upper(); ++n) {
      const VIS_ITEM_RECORD& r = table(n);
      EXPECT_EQ(r.ITEM_NUMBER, n);
      const bool integer = r.ITEM_NAME == "number" || r.ITEM_NAME == "soil_typ";
      const bool has_value = integer ? VIS_INT_VALUE(s, r.ITEM_NAME, 5, 1, 1, 1, 1, 1, 1) !=
                                           2147483647
                                     : real(r.ITEM_NAME, 5) != 3.4028235e38f;
      EXPECT_EQ(has_value, r.ITEM_IMPLEMENTED && r.ITEM_NAME != "spatial1") << r.ITEM_NAME;
    }
  }
  EXPECT_TRUE(VIS_ITEM_TABLE("other").empty());
}

// Snow off, sediment and contaminants not yet run, no balance step yet: their items
// read 0 instead of reaching into arrays that do not exist.
TEST_F(VisValueTest, ArraysNotSizedReadZero) {
  model.sediment.NSED = 3;
  model.contaminant.NCON = 2;
  struct Case {
    const char* name;
    int cell, extra, group, contaminant;
  };
  const Case cases[] = {{"snow_dep", 1, 1, 1, 1}, {"s_t_dp", 1, 1, 1, 1}, {"s_v_er", 1, 1, 1, 1},
                        {"s_dis", 1, 4, 3, 1},    {"c_c_dr", 4, 1, 1, 2}, {"c_c_ds", 1, 1, 1, 1},
                        {"bal_err", 1, 1, 1, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(real(c.name, frame.NEL, 1, 1, c.cell, c.extra, c.group, c.contaminant), 0.0f)
        << c.name;
  }
}

}  // namespace
}  // namespace quendal
