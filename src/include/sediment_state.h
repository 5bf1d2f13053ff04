// State of the sediment component.
#pragma once

namespace quendal {

struct SedimentState {
  int NSED = 0;  // sediment size groups
};

}  // namespace quendal
