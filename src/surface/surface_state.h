// Access to the surface water state that the overland and channel flow component
// owns: the water surface level HRF and the solver's face flows QSA.
//
// The accessors are members of SurfaceState (surface.GET_HRF(e), ...); the free forms
// here read the same way for code that passes the state along. Both are plain indexed
// reads and writes that check nothing beyond the test build's bounds.
#pragma once

#include "include/arrays.h"
#include "include/surface_state.h"

namespace quendal {

inline double GET_HRF(const SurfaceState& surface, int element) { return surface.GET_HRF(element); }
inline void SET_HRF(SurfaceState& surface, int element, double value) {
  surface.SET_HRF(element, value);
}
inline double GET_QSA(const SurfaceState& surface, int element, int face) {
  return surface.GET_QSA(element, face);
}
inline void SET_QSA(SurfaceState& surface, int element, int face, double value) {
  surface.SET_QSA(element, face, value);
}
inline Array2<double> GET_QSA_ALL(const SurfaceState& surface, int n) {
  return surface.GET_QSA_ALL(n);
}

// Publishes the face flows of elements 1..nel that every other component reads:
// QOC = QSA with the sign of faces 1 (east) and 2 (north) reversed, so that a QOC is
// positive for flow towards the east or the north from whichever side it is read.
// Run at the end of every OC step, after the outflow limiter; copies in place.
void publish_face_flows(SurfaceState& surface, int nel);

// Sizes the surface water arrays for a run (HRF, QSA, QOC, DQ0ST, DQIST by element,
// DQIST2 by junction entry, ARXL by link), all zero.
void size_surface_water_state(SurfaceState& surface, int nel, int nlf, int junction_entries);

}  // namespace quendal
