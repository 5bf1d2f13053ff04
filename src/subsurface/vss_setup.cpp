#include "subsurface/vss_setup.h"

namespace quendal {

// The subsurface component is not built yet: its state is the "no cells" state, in
// which every cell loop is empty and the phreatic surface lies at the ground.
void VSS_INITIALISE(Model& model) {
  model.subsurface.set_no_cells(model.frame.NEL, model.frame.NLF, model.frame.ZGRUND);
}

}  // namespace quendal
