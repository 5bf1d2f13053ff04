// State of the contaminant component.
#pragma once

namespace quendal {

struct ContaminantState {
  int NCON = 0;  // contaminants
};

}  // namespace quendal
