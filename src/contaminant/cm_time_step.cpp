#include "contaminant/contaminant.h"

#include "contaminant/cm_link_setup.h"
#include "contaminant/cm_link_transport.h"

namespace quendal {

void CM_TIME_STEP(bool, Model& model) {
  ContaminantState& cm = model.contaminant;
  const FrameState& frame = model.frame;
  const int NLF = frame.NLF, NEL = frame.NEL;

  CM_SET_LINK_END_FLOWS(model);
  cm.CM_STEP_FACTOR = cm.CM_DIFFUSIVITY_SCALE * frame.DTUZ / cm.CM_AREA_SCALE;

  // TO REMOVE when the initialisation lays out the link beds (contaminant/cm_initialise):
  // until then no link has its bank elements and the links keep their values.
  const bool links_set_up = NLF == 0 || cm.CM_BANK_ELEMENT(1, 1) > 0;

  // Every element once, in ISORT order: an element visited earlier hands its new values
  // to those that come after it.
  for (int p = 1; p <= NEL; ++p) {
    const int iel = frame.ISORT(p);
    if (iel > NLF) {
      // Column elements: the column set-up and transport.
    } else if (links_set_up) {
      CM_LINK_SETUP(iel, model);
      CM_LINK_TRANSPORT(iel, model);
    }
  }

  // The new values become the start-of-step values of the next step.
  CM_COPY_LINK_STATE(model);
}

}  // namespace quendal
