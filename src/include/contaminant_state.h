// State of the contaminant component.
#pragma once

#include "include/arrays.h"

namespace quendal {

struct ContaminantState {
  int NCON = 0;  // contaminants

  // Relative concentrations (element, cell, contaminant) at the end of the step, sized
  // by the contaminant component when it first runs; empty until then. A link keeps its
  // surface water, bed surface layer and deep layer at cells LL, LL - 1, LL - 2 of the
  // dynamic region.
  Array3<double> CM_REL_CONC_DYNAMIC;
  Array3<double> CM_REL_CONC_DEAD_SPACE;
};

}  // namespace quendal
