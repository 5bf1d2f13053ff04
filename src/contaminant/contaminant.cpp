#include "contaminant/contaminant.h"

#include "contaminant/cm_data_file.h"
#include "contaminant/cm_initialise.h"

namespace quendal {

void CM_INITIALISE(bool SEDIMENT_ON, Model& model) {
  ContaminantState& cm = model.contaminant;
  // The scales come first: everything derived from the data is made non-dimensional
  // with them.
  cm.CM_LENGTH_SCALE = 50.0;
  cm.CM_DIFFUSIVITY_SCALE = 0.001;
  cm.size(model.frame.NEL, model.frame.NLF, model.subsurface.LL);
  CM_READ_DATA_FILE(model.frame, model.subsurface, model.sediment.NSED, cm, model.io);

  initialise_contaminant_state(SEDIMENT_ON, model);
}

}  // namespace quendal
