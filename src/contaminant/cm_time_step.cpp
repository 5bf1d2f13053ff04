#include "contaminant/cm_column_setup.h"
#include "contaminant/cm_column_transport.h"
#include "contaminant/cm_link_setup.h"
#include "contaminant/cm_link_transport.h"
#include "contaminant/cm_state_check.h"
#include "contaminant/contaminant.h"
#include "services/state_limits.h"

namespace quendal {

void CM_TIME_STEP(bool /*SEDIMENT_ON*/, Model& model) {
  const FrameState& frame = model.frame;
  ContaminantState& cm = model.contaminant;
  const int NLF = frame.NLF, NEL = frame.NEL, LL = cm.CM_TOP_CELL;
  if (!cm.initial_state_set) return;

  // 1. Water entering each link through its two ends: the OC solver's own face flows.
  // The link set-up needs them whether or not sediment runs, so they are taken from the
  // surface flows in both cases.
  CM_SET_LINK_END_FLOWS(model);

  // 2. Dimensionless step.
  cm.CM_STEP_FACTOR = cm.CM_DIFFUSIVITY_SCALE * frame.DTUZ / cm.CM_AREA_SCALE;

  // 3. Every element once, in ISORT order, set-up and transport back to back: an element
  // visited earlier hands its new values to those that come after it.
  for (int p = 1; p <= NEL; ++p) {
    const int iel = frame.ISORT(p);
    if (iel > NLF) {
      CM_COLUMN_SETUP(model, iel);
      CM_COLUMN_TRANSPORT(model, iel);
    } else {
      CM_LINK_SETUP(iel, model);
      CM_LINK_TRANSPORT(iel, model);
    }
  }

  // 4. The new values become the start of the next step. Each element's values are
  // tested as they are copied, while they are at hand; only when one fails does the
  // check go over the state again to find and report it.
  CM_COPY_LINK_STATE(model);
  const SubsurfaceState& vss = model.subsurface;
  bool held = true;
  for (int k = 1; k <= cm.NCON; ++k) {
    ConcentrationExtent extent;
    for (int l = 1; l <= NLF; ++l) extent.add(&cm.CM_REL_CONC_DYNAMIC(LL - 2, l, k), 3);
    for (int iel = NLF + 1; iel <= NEL; ++iel) {
      const int b = vss.LAYER_BOTTOM_CELL(iel, 1);
      for (int cell = b; cell <= LL; ++cell) {
        cm.CM_REL_CONC_DYNAMIC_OLD(cell, iel, k) = cm.CM_REL_CONC_DYNAMIC(cell, iel, k);
        cm.CM_REL_CONC_DEAD_SPACE_OLD(cell, iel, k) = cm.CM_REL_CONC_DEAD_SPACE(cell, iel, k);
      }
      cm.CM_WELL_ABSTRACTION_OLD(iel) = vss.WELL_ABSTRACTION(iel);
      extent.add(&cm.CM_REL_CONC_DYNAMIC(b, iel, k), LL - b + 1);
      extent.add(&cm.CM_REL_CONC_DEAD_SPACE(b, iel, k), LL - b + 1);
    }
    held &= extent.within_outputs();
  }

  // 5. No step ends over values it cannot have computed.
  if (!held) CM_CHECK_STATE(frame, vss, cm, model.io);
}

}  // namespace quendal
