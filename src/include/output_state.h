// State of the results-output component.
#pragma once

namespace quendal {

struct OutputState {
  int BALANCE_PERIOD_DAILY = 0;  // 1 selects balance periods of one day
};

}  // namespace quendal
