#include "contaminant/cm_state_check.h"

#include <cmath>
#include <string>
#include <vector>

#include "contaminant/cm_data_file.h"
#include "services/error_reporting.h"
#include "services/physical_bounds.h"
#include "services/state_limits.h"
#include "services/stops.h"

namespace quendal {

namespace {

// Kept out of the loops below: it runs once, when the run stops. `largest` is the
// contaminant's largest magnitude among the finite values of the catchment.
[[noreturn]] void out_of_range(RunIo& io, int iel, int cell, int k, const char* where,
                               double value, double largest) {
  const std::string contaminant = "Contaminant " + std::to_string(k);
  std::string message = contaminant + ", relative concentration in the " + where + " = " +
                        value_text(value) + ": ";
  std::vector<std::string> details;
  if (std::isfinite(value) && value < 0.0) {
    message += "below " + value_text(LOWEST_RELATIVE_CONCENTRATION) +
               " times its largest in the catchment: a concentration cannot be negative";
    details.push_back("The largest relative concentration of contaminant " + std::to_string(k) +
                      " in the catchment is " + value_text(largest));
  } else {
    message += state_fault_text(value, false, 1.0, "");
  }
  report_fatal_with_details(io, STATE_OUT_OF_RANGE_ERROR, CM_PRINT_UNIT, iel, cell, message,
                            details);
}

// Whether a value passes: finite, within the outputs, not below the share of `largest`.
bool held(double c, double largest) {
  return std::fabs(c) <= LARGEST_OUTPUT_VALUE && !(c < LOWEST_RELATIVE_CONCENTRATION * largest);
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
    // Two passes: the contaminant's largest finite magnitude, then the first value that
    // fails against it.
    double largest = 0.0;
    const auto widen = [&](double c) {
      if (std::fabs(c) <= LARGEST_OUTPUT_VALUE) largest = std::fmax(largest, std::fabs(c));
    };
    for (int l = 1; l <= NLF; ++l) {
      for (int cell = LL - 2; cell <= LL; ++cell) widen(cm.CM_REL_CONC_DYNAMIC(cell, l, k));
    }
    for (int iel = NLF + 1; iel <= NEL; ++iel) {
      for (int cell = subsurface.LAYER_BOTTOM_CELL(iel, 1); cell <= LL; ++cell) {
        widen(cm.CM_REL_CONC_DYNAMIC(cell, iel, k));
        widen(cm.CM_REL_CONC_DEAD_SPACE(cell, iel, k));
      }
    }
    for (int l = 1; l <= NLF; ++l) {
      for (int cell = LL - 2; cell <= LL; ++cell) {
        const double c = cm.CM_REL_CONC_DYNAMIC(cell, l, k);
        if (!held(c, largest)) out_of_range(io, l, cell, k, link_compartment(cell, LL), c, largest);
      }
    }
    for (int iel = NLF + 1; iel <= NEL; ++iel) {
      for (int cell = subsurface.LAYER_BOTTOM_CELL(iel, 1); cell <= LL; ++cell) {
        const double c = cm.CM_REL_CONC_DYNAMIC(cell, iel, k);
        const double s = cm.CM_REL_CONC_DEAD_SPACE(cell, iel, k);
        if (!held(c, largest)) out_of_range(io, iel, cell, k, "dynamic region", c, largest);
        if (!held(s, largest)) out_of_range(io, iel, cell, k, "dead space", s, largest);
      }
    }
  }
}

}  // namespace quendal
