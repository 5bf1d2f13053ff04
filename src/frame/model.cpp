#include "include/model.h"

#include "surface/oc/oc_time_step.h"

namespace quendal {

Model::Model(std::FILE* console_out)
    : io(console_out), oc_step_storage(std::make_unique<OcStepState>()), oc_step(*oc_step_storage) {
  io.clock_hours = &frame.UZNOW;
}

Model::~Model() = default;

}  // namespace quendal
