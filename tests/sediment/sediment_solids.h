// The solid volume of one size group stored in a catchment: loose layers and link beds,
// suspended sediment and what is held for an element's next visit, m3.
#pragma once

#include "include/frame_state.h"
#include "include/sediment_state.h"

namespace quendal::testing {

inline double catchment_solids(const FrameState& frame, const SedimentState& s, int g) {
  double v = 0.0;
  for (int e = 1; e <= frame.NEL; ++e) {
    if (e <= frame.NLF) {
      const double solid = 1.0 - s.PBSED(e);
      v += (s.SY_ACTIVE_LAYER_SEDIMENT(e, g) + s.SY_DEEP_LAYER_SEDIMENT(e, g)) * frame.AREA(e) * solid +
           s.FDEL(e, g) * s.SY_PREVIOUS_ARXL(e) * frame.CLENTH(e) * solid;
    } else {
      v += (s.FBETA(e, g) * s.DLS(e) + s.FDEL(e, g) * s.SY_PREVIOUS_WATER_DEPTH(e)) * frame.AREA(e) *
           (1.0 - s.PLS(e));
    }
    v += s.SY_HELD_SEDIMENT(e, g);
  }
  return v;
}

}  // namespace quendal::testing
