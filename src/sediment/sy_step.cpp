#include "sediment/sy_step.h"

#include "sediment/sy_data_file.h"
#include "sediment/sy_initial_state.h"
#include "sediment/sy_input_checks.h"
#include "sediment/sy_interface_checks.h"
#include "sediment/sy_routing.h"
#include "sediment/sy_saved_state.h"
#include "sediment/sy_state_check.h"

namespace quendal {

namespace {

void set_up(const FrameState& frame, const SurfaceState& surface, const SubsurfaceState& subsurface,
            SedimentState& sediment, RunIo& io) {
  const int ns = subsurface.NS;
  SY_CHECK_DIMENSIONS(frame, ns, SY_PRINT_UNIT, SY_DATA_UNIT, io);
  SY_CHECK_WAT_STATIC(frame, surface, subsurface, io);
  sediment.SY_SURFACE_SOIL_TYPE.resize(frame.NEL, 0);
  for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) {
    sediment.SY_SURFACE_SOIL_TYPE(iel) = subsurface.NTSOIL(iel, subsurface.NLYR(iel));
  }
  SYREAD(frame, ns, sediment, io);
  SY_CHECK_INPUT(frame, ns, sediment, SY_FLUX_SERIES_UNIT, SY_RATING_SERIES_UNIT, io);
  SY_INITIAL_STATE(frame, surface, subsurface, sediment);
  SY_SIZE_WORK_ARRAYS(frame, sediment);
}

}  // namespace

void SY_STEP(const FrameState& frame, const SurfaceState& surface,
             const SubsurfaceState& subsurface, SedimentState& sediment, RunIo& io) {
  sediment.SY_CALL_COUNT += 1;
  // Sediment is first moved in the call after the set-up.
  if (sediment.SY_CALL_COUNT == 1) {
    set_up(frame, surface, subsurface, sediment, io);
    return;
  }
  const int interval = sediment.SY_CHECK_INTERVAL;
  if (interval > 0 && (sediment.SY_CALL_COUNT - 2) % interval == 0) {
    SY_CHECK_WAT_TIME_DEPENDENT(frame, surface, sediment, io);
  }
  SY_MOVE_SEDIMENT(frame, surface, sediment);
  // No step ends over values it cannot have computed.
  SY_CHECK_STATE(frame, sediment, io);
}

void SY_RESUME(const FrameState& frame, const SurfaceState& surface,
               const SubsurfaceState& subsurface, SedimentState& sediment, RunIo& io) {
  sediment.SY_CALL_COUNT = 1;
  set_up(frame, surface, subsurface, sediment, io);
  SY_RESTORE_STATE(frame, sediment);
}

void SY_POST_STEP() {}

}  // namespace quendal
