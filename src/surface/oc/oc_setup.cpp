#include "surface/oc/oc_setup.h"

namespace quendal {

// Until the OC data file is read here, every link takes the placeholder width, the
// surface is dry (levels at the ground or the channel bed) and no water flows.
void OC_INITIALISE(Model& model) {
  const FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  surface.CWIDTH.resize(frame.NLF, surface.placeholder_channel_width);
  surface.ZBFULL.resize(frame.NLF, 0.0);
  surface.HRF.resize(frame.NEL, 0.0);
  for (int e = 1; e <= frame.NEL; ++e) surface.HRF(e) = frame.ZGRUND(e);
  surface.QSA.resize(frame.NEL, 4, 0.0);
  surface.QOC.resize(frame.NEL, 4, 0.0);
  surface.ARXL.resize(frame.NLF, 0.0);
}

}  // namespace quendal
