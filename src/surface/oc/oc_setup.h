// Set-up of the overland and channel flow component.
#pragma once

#include "include/model.h"

namespace quendal {

// Prepares the OC component once per run, after the ET and snow data and before the
// element geometry; among other things it gives every channel link its width CWIDTH
// and bank-full elevation ZBFULL.
//
// Not built yet: until the OC data file is read here, every link takes the width
// surface.placeholder_channel_width (ZBFULL and HRF are sized and left at zero), so
// that the element geometry has channel widths to work with.
void OC_INITIALISE(Model& model);

}  // namespace quendal
