// The whole model of one run: its files and error log and the state of every
// component. The simulation driver owns one; a test builds a small one in a few lines.
#pragma once

#include <cstdio>
#include <memory>

#include "include/contaminant_state.h"
#include "include/frame_state.h"
#include "include/output_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// What the OC step keeps from one step to the next: its boundary series, its solvers
// and their work (surface/oc/oc_time_step.h, which whoever reads or steps it includes).
// The model holds it by this declaration alone, so that the state does not depend on
// the step's solvers.
struct OcStepState;

struct Model {
  // Defined where OcStepState is complete (frame/model.cpp).
  explicit Model(std::FILE* console_out = stdout);
  ~Model();
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  FrameState frame;
  RunIo io;
  SurfaceState surface;
  SubsurfaceState subsurface;
  SedimentState sediment;
  ContaminantState contaminant;
  OutputState output;
  // The OC step's state, made with the model and held for it by oc_step.
  std::unique_ptr<OcStepState> oc_step_storage;
  OcStepState& oc_step;
};

}  // namespace quendal
