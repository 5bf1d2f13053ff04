// The simulation driver: set-up, then the time loop that calls every component in
// its fixed order.
#pragma once

#include <string_view>

#include "include/model.h"

namespace quendal {

void SIMULATION_DRIVER(Model& model);

// The driver's own fill of the ET outputs of the channel links, after the clock has
// moved on and before the OC step: their rain (and the water of a well that discharges
// onto them), their potential evaporation, and an evaporation from the channel water
// that cannot exceed the water there is.
void fill_link_evaporation(Model& model);

// The console progress line at the end of a step: written when UZNOW has passed
// PROGRESS_HOUR_MARK, which then moves on by 24 hours. One line per step at most, so
// a clock that starts far ahead (a hot start) catches up over the following steps;
// the percentage of the run completed never shows more than 100.
void write_progress_line(Model& model);

// The visualisation call at the model's clock (mode "end" closes the output).
void call_visualisation(Model& model, std::string_view mode = "");

}  // namespace quendal
