#include "contaminant/cm_state_check.h"

#include <string>

#include "contaminant/cm_data_file.h"
#include "services/error_reporting.h"
#include "services/physical_bounds.h"
#include "services/state_limits.h"
#include "services/stops.h"

namespace quendal {

namespace {

// Kept out of the loops below: it runs once, when the run stops.
[[noreturn]] void out_of_range(RunIo& io, int iel, int cell, int k, const char* where,
                               double value) {
  REPORT_ERROR(io, SEVERITY_FATAL, STATE_OUT_OF_RANGE_ERROR, CM_PRINT_UNIT, iel, cell,
               "Contaminant " + std::to_string(k) + ", relative concentration in the " + where +
                   " = " + value_text(value) + ": " + state_fault_text(value, true, 1.0, ""));
  throw FatalError("contaminant state out of range");  // not reached
}

const char* link_compartment(int cell, int LL) {
  return cell == LL ? "channel water" : cell == LL - 1 ? "stream-bed surface layer"
                                                       : "stream-bed deep layer";
}

}  // namespace

void CM_CHECK_STATE(const FrameState& frame, const SubsurfaceState& subsurface,
                    const ContaminantState& cm, RunIo& io) {
  const int NLF = frame.NLF, NEL = frame.NEL, LL = cm.CM_TOP_CELL;
  for (int k = 1; k <= cm.NCON; ++k) {
    for (int l = 1; l <= NLF; ++l) {
      for (int cell = LL - 2; cell <= LL; ++cell) {
        const double c = cm.CM_REL_CONC_DYNAMIC(cell, l, k);
        if (!concentration_within_outputs(c)) {
          out_of_range(io, l, cell, k, link_compartment(cell, LL), c);
        }
      }
    }
    for (int iel = NLF + 1; iel <= NEL; ++iel) {
      for (int cell = subsurface.LAYER_BOTTOM_CELL(iel, 1); cell <= LL; ++cell) {
        const double c = cm.CM_REL_CONC_DYNAMIC(cell, iel, k);
        const double s = cm.CM_REL_CONC_DEAD_SPACE(cell, iel, k);
        if (!concentration_within_outputs(c)) out_of_range(io, iel, cell, k, "dynamic region", c);
        if (!concentration_within_outputs(s)) out_of_range(io, iel, cell, k, "dead space", s);
      }
    }
  }
}

}  // namespace quendal
