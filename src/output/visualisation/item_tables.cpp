#include "output/visualisation/item_tables.h"

#include <array>

namespace quendal {

namespace {

// Flags in the order per cell, per size group, per contaminant, implemented.
constexpr bool C = true, S = true, K = true, I = true, o = false;

constexpr std::array<VIS_ITEM_RECORD, VIS_STATIC_ITEM_COUNT> STATIC_ITEMS{{
    {-7, "spatial1", "Spatial1", "-", "G", "-", o, o, o, I},
    {-6, "soil_typ", "Soil type", "-", "N", "-", C, o, o, I},
    {-5, "surf_elv", "Elevation of surface", "m", "G", "-", o, o, o, I},
    {-4, "vert_thk", "Cell vertical thickness", "m", "G", "-", C, o, o, I},
    {-3, "r_span", "radial spans, measured along radial from gridsquare centroid", "m", "G",
     "faces", o, o, o, I},
    {-2, "number", "Index number", "-", "N", "-", o, o, o, I},
    {-1, "centroid", "coordinates of cell centroid", "m", "G", "X_Y", o, o, o, I},
    {0, "grid_dxy", "Grid thicknesses", "m", "M", "X_Y", o, o, o, I},
}};

constexpr std::array<VIS_ITEM_RECORD, VIS_DYNAMIC_ITEM_COUNT> DYNAMIC_ITEMS{{
    {1, "net_rain", "Net rainfall", "mm/hour", "G", "-", o, o, o, I},
    {2, "pot_evap", "Potential Evapotranspiration", "mm/hour", "G", "-", o, o, o, I},
    {3, "trnsp", "Transpiration", "mm/hour", "G", "-", o, o, o, I},
    {4, "srf_evap", "Evaporation from soil surface", "mm/hour", "G", "-", o, o, o, I},
    {5, "int_evap", "Evaporation from intercepted storage", "mm/hour", "G", "-", o, o, o, I},
    {6, "drainage", "Drainage from intercepted storage", "mm/hour", "G", "-", o, o, o, I},
    {7, "can_stor", "Canopy storage", "mm", "G", "-", o, o, o, I},
    {8, "infilt", "Infiltration", "mm/hour", "G", "-", o, o, o, o},
    {9, "v_flow", "Vertical flows", "m/s", "G", "-", C, o, o, I},
    {10, "snow_dep", "Snow pack depth", "m", "G", "-", o, o, o, I},
    {11, "snow_tmp", "Temperature of snow pack", "deg C", "G", "-", o, o, o, o},
    {12, "ph_depth", "Phreatic depth below surface", "m", "G", "-", o, o, o, I},
    {13, "lat_flow", "Lateral flows", "m3/s", "G", "faces", C, o, o, o},
    {14, "ovr_flow", "Overland flow", "m3/s", "G", "faces", o, o, o, I},
    {15, "srf_dep", "Surface water depth", "m", "G", "-", o, o, o, I},
    {16, "recharge", "Recharge", "m/s", "G", "-", C, o, o, o},
    {17, "st_aq_fl", "Stream-aquifer flow", "m3/s", "G", "-", o, o, o, o},
    {18, "sp_dis", "Spring discharge", "m3/s", "G", "-", o, o, o, o},
    {19, "psi", "Soil water potential", "m", "G", "-", C, o, o, I},
    {20, "theta", "Soil water content", "m3/m3", "G", "-", C, o, o, I},
    {21, "s_t_dp", "Total depth of sediment", "mm", "G", "-", o, o, o, I},
    {22, "s_p_dp", "Depth of sediment in particle size fraction", "mm", "G", "-", o, S, o, o},
    {23, "s_in_d", "Sediment infiltration rate into deep bed layer", "kg/m2/s", "L", "-", o, S,
     o, o},
    {24, "s_if_s", "Sediment infiltration rate into bed surface layer", "kg/m2/s", "L", "-", o,
     S, o, o},
    {25, "s_v_er", "Rate of ground surface erosion", "mm/day", "G", "-", o, o, o, I},
    {26, "s_l_er", "Rate of lateral erosion of each stream bank", "m/s", "L", "left_right", o, o,
     o, o},
    {27, "s_dis", "Sediment discharge rate", "kg/s", "G", "faces", o, S, o, I},
    {28, "s_n_di", "Net sediment discharge rate", "kg/s", "G", "-", o, S, o, o},
    {29, "s_dena", "Density of sediments in the active layer", "-", "L", "-", o, S, o, o},
    {30, "s_conc", "Concentration of sediment", "mg/l", "G", "faces", o, S, o, o},
    {31, "s_x_dp", "Total cross-sectional area of net sed. deposition", "m2", "L", "-", o, o, o,
     o},
    {32, "c_c_dr", "Rel. conc. in soil dynamic region", "-", "G", "-", C, o, K, I},
    {33, "c_c_ds", "Rel. conc. in soil dead-space", "-", "G", "-", C, o, K, I},
    {34, "c_c_sw", "Rel. conc. in surface waters", "-", "G", "-", o, o, K, o},
    {35, "c_c_sl", "Rel. conc. in stream bed surface layer", "-", "L", "-", o, o, K, o},
    {36, "c_c_dl", "Rel. conc. in stream bed deep layer", "-", "L", "-", o, o, K, o},
    {37, "c_c_bs", "Rel. conc. at base of columns", "-", "G", "-", o, o, K, o},
    {38, "c_c_we", "Rel. conc. in well water", "-", "G", "-", o, o, K, o},
    {39, "c_c_pp", "Rel. conc. in permanent plant material", "-", "G", "-", o, o, K, o},
    {40, "c_c_tp", "Rel. conc. in non-permanent plant material", "-", "G", "-", o, o, K, o},
    {41, "well_t_a", "Total well abstraction rate", "m3/s", "G", "-", o, o, o, o},
    {42, "well_a_s", "Well abstraction rate for well screen", "m3/s", "G", "-", C, o, o, o},
    {43, "bal_err", "Water mass balance error", "m", "G", "-", o, o, o, I},
    {44, "sd_loss", "Total soil loss", "mm", "G", "-", o, o, o, o},
}};

}  // namespace

std::string_view trim_trailing_blanks(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

Array1<VIS_ITEM_RECORD> VIS_ITEM_TABLE(std::string_view selector) {
  Array1<VIS_ITEM_RECORD> table;
  if (selector == "static") {
    table.resize_range(-7, 0);
    for (const VIS_ITEM_RECORD& r : STATIC_ITEMS) table(r.ITEM_NUMBER) = r;
  } else if (selector == "dynamic") {
    table.resize_range(1, VIS_DYNAMIC_ITEM_COUNT);
    for (const VIS_ITEM_RECORD& r : DYNAMIC_ITEMS) table(r.ITEM_NUMBER) = r;
  }
  return table;
}

const VIS_ITEM_RECORD* find_vis_item(std::string_view name) {
  name = trim_trailing_blanks(name);
  for (const VIS_ITEM_RECORD& r : STATIC_ITEMS) {
    if (r.ITEM_NAME == name) return &r;
  }
  for (const VIS_ITEM_RECORD& r : DYNAMIC_ITEMS) {
    if (r.ITEM_NAME == name) return &r;
  }
  return nullptr;
}

}  // namespace quendal
