#include "contaminant/contaminant.h"

#include "contaminant/cm_data_file.h"
#include "contaminant/cm_initialise.h"
#include "contaminant/cm_saved_state.h"

namespace quendal {

void CM_INITIALISE(bool SEDIMENT_ON, Model& model) {
  ContaminantState& cm = model.contaminant;
  // The length and diffusivity scales (the state's own, 50 m and 0.001 m2/s) come
  // first: everything derived from the data is made non-dimensional with them. They
  // choose units and nothing else: other scales give the same physical results.
  cm.size(model.frame.NEL, model.frame.NLF, model.subsurface.LL);
  CM_READ_DATA_FILE(model.frame, model.subsurface, model.sediment.NSED, cm, model.io);

  initialise_contaminant_state(SEDIMENT_ON, model);

  // The exchange concentration between a bank and its link starts at what the bank's
  // cell 1 holds: the connection lists and the end-of-step copy read that cell too.
  for (int l = 1; l <= model.frame.NLF; ++l) {
    for (int s = 1; s <= 2; ++s) {
      const int bank = cm.CM_BANK_ELEMENT(l, s);
      if (bank == 0) continue;
      for (int k = 1; k <= cm.NCON; ++k) {
        cm.CM_BANK_EXCHANGE_CONC(l, s, k) = cm.CM_REL_CONC_DYNAMIC_OLD(1, bank, k);
      }
    }
  }
  cm.initial_state_set = true;
}

void CM_RESUME(bool SEDIMENT_ON, Model& model) {
  CM_INITIALISE(SEDIMENT_ON, model);
  CM_RESTORE_STATE(model);
}

}  // namespace quendal
