#include "surface/surface_state.h"

namespace quendal {

void publish_face_flows(SurfaceState& surface, int nel) {
  // QSA counts flow into the element; QOC counts it along the grid axes. Through the
  // east and north faces inflow runs towards the west and the south, so those two
  // faces change sign; through the west and south faces inflow already runs east or
  // north.
  for (int e = 1; e <= nel; ++e) {
    surface.QOC(e, 1) = -surface.QSA(e, 1);
    surface.QOC(e, 2) = -surface.QSA(e, 2);
    surface.QOC(e, 3) = surface.QSA(e, 3);
    surface.QOC(e, 4) = surface.QSA(e, 4);
  }
}

void size_surface_water_state(SurfaceState& surface, int nel, int nlf, int junction_entries) {
  surface.HRF.resize(nel, 0.0);
  surface.QSA.resize(nel, 4, 0.0);
  surface.QOC.resize(nel, 4, 0.0);
  surface.DQ0ST.resize(nel, 4, 0.0);
  surface.DQIST.resize(nel, 4, 0.0);
  surface.DQIST2.resize(junction_entries, 3, 0.0);
  surface.ARXL.resize(nlf, 0.0);
}

}  // namespace quendal
