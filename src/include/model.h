// The whole model of one run: its files and error log and the state of every
// component. The simulation driver owns one; a test builds a small one in a few lines.
#pragma once

#include <cstdio>

#include "include/contaminant_state.h"
#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"
#include "surface/oc/oc_time_step.h"

namespace quendal {

struct Model {
  explicit Model(std::FILE* console_out = stdout) : io(console_out) {
    io.clock_hours = &frame.UZNOW;
  }
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  FrameState frame;
  RunIo io;
  SurfaceState surface;
  SubsurfaceState subsurface;
  SedimentState sediment;
  ContaminantState contaminant;
  OutputState output;
  // What the OC step keeps from one step to the next (its boundary series and work).
  OcStepState oc_step;
};

}  // namespace quendal
