// State of the sediment component.
#pragma once

#include "include/arrays.h"

namespace quendal {

struct SedimentState {
  int NSED = 0;  // sediment size groups

  // Sized by the sediment component when it first runs; empty until then.
  Array1<double> DLS;                     // (NEL): loose sediment depth (a link: its bed), m
  Array1<double> SY_GROUND_EROSION_RATE;  // (NEL): lowering of the ground, m/s; links 0
  // (NEL, NSED, 4): solid volume of each size group through each face, m3/s, positive
  // out of the element.
  Array3<double> SY_FACE_SEDIMENT_DISCHARGE;
};

}  // namespace quendal
