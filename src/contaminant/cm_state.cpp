#include "include/contaminant_state.h"

namespace quendal {

void ContaminantState::size(int NEL, int NLF, int LL) {
  const int C = CM_MAX_CONTAMINANTS;
  CM_TOP_CELL = LL;

  CM_BOTTOM_CELL.resize(NEL, 0);
  NCATTY.resize(NEL, C, 0);
  CM_INFLOW_REL_CONC.resize(NEL, C, 0.0);
  CM_BASE_FLUX_REL_CONC.resize(NEL, C, 0.0);
  CM_BASE_FIXED_REL_CONC.resize(NEL, C, 0.0);

  CM_REL_CONC_DYNAMIC.resize(LL, NEL, C, 0.0);
  CM_REL_CONC_DEAD_SPACE.resize(LL, NEL, C, 0.0);
  CM_REL_CONC_DYNAMIC_OLD.resize(LL, NEL, C, 0.0);
  CM_REL_CONC_DEAD_SPACE_OLD.resize(LL, NEL, C, 0.0);
  CM_WELL_REL_CONC.resize(NEL, C, 0.0);
  CM_BANK_EXCHANGE_CONC.resize(NLF, 2, C, 0.0);

  CM_LINK_END_FLOW_1.resize(NLF, 0.0);
  CM_LINK_END_FLOW_2.resize(NLF, 0.0);
  CM_WELL_ABSTRACTION_OLD.resize(NEL, 0.0);

  CM_BOTTOM_LEVEL.resize(NEL, 0.0);
  CM_LINK_BED_SOIL.resize(NLF, 0);
  CM_LINK_BED_SIZE_SHARE.resize(NLF, NSEDEE, 0.0);

  CM_STORED_THETA.resize(LL, NEL, 0.0);
  CM_STORED_VERTICAL_FLOW.resize_range(0, LL, 1, NEL, 0.0);
  CM_STORED_SINK.resize(LL, NEL, 0.0);
  CM_STORED_FACE_FLUX.resize(4, LL, NEL, 0.0);
  CM_STORED_COLUMN_DEPTH.resize(NEL, 0.0);
  CM_STORED_WATER_DEPTH.resize(NEL, 0.0);
  CM_STORED_DLS.resize(NEL, 0.0);
  CM_STORED_EROSION.resize(NEL, 0.0);
  CM_STORED_SURFACE_FLOW.resize(4, NEL, 0.0);
  CM_STORED_TOP_INPUT.resize(NEL, 0.0);
  CM_STORED_BASE_FLOW.resize(NEL, 0.0);

  CM_SURFACE_CAPACITY.resize(NEL, C, 1.0);
  CM_SURFACE_CAPACITY_SLOPE.resize(NEL, C, 0.0);
  CM_SURFACE_CAPACITY_RATE.resize(NEL, C, 0.0);
  CM_LINK_SURFACE_CAPACITY.resize(NLF, C, 1.0);
  CM_LINK_SURFACE_CAPACITY_SLOPE.resize(NLF, C, 0.0);
  CM_LINK_SURFACE_CAPACITY_RATE.resize(NLF, C, 0.0);
  for (int k = 1; k <= C; ++k) {
    CM_BANK_CAPACITY_DYNAMIC[k].resize(LL, 2, NLF, 0.0);
    CM_BANK_CAPACITY_DEAD_SPACE[k].resize(LL, 2, NLF, 0.0);
  }

  CM_LINK_WATER_AREA.resize(NLF, 0.0);
  CM_LINK_BED_AREA.resize(NLF, 0.0);
  CM_LINK_BED_THETA.resize(NLF, 0.0);
  CM_LINK_BED_THETA_OLD.resize(NLF, 0.0);

  CM_BANK_ELEMENT.resize(NLF, 2, 0);
  CM_BED_BOTTOM_CELL.resize(NLF, 2, 0);
  CM_BED_BOTTOM_FRACTION.resize(NLF, 2, 0.0);
  CM_BANK_EXCHANGE_CELL.resize(NLF, 2, 0);
  CM_SURFACE_LAYER_AREA.resize(NLF, 0.0);
  CM_BED_AREA_BASE.resize(NLF, 0.0);
  CM_LINK_BED_FRACTIONS_PREVIOUS.resize(NLF, NSEDEE, 0.0);
  CM_FDEL_PREVIOUS.resize(NEL, NSEDEE, 0.0);
  CM_LINK_BED_SIZE_SHARE_PREVIOUS.resize(NLF, NSEDEE, 0.0);
  CM_FBETA_PREVIOUS.resize(NEL, NSEDEE, 0.0);

  CM_CELL_THICKNESS_SCALED.resize(LL + 1, NEL, 0.0);
  // A cell gives at most two entries over a face, so 2 LL entries hold any list.
  const int entries = 2 * LL;
  CM_FACE_CELL_LIST.resize(entries, 4, NEL, 0);
  CM_FACE_CELL_START.resize(LL + 1, 4, NEL, 0);
  CM_FACE_CELL_OWN.resize(entries, 4, NEL, 0);
  CM_FACE_CELL_WEIGHT.resize(entries, 4, NEL, 0);
}

}  // namespace quendal
