// The run and mesh facts the visualisation library needs before it records anything,
// sent as keyed run parameters: pass 1 the directories and file names, pass 2 the face
// numbering, the counts and the element maps of the mesh.
#pragma once

#include "include/run_io.h"
#include "output/visualisation/value_accessors.h"
#include "output/visualisation/visualisation_library.h"

namespace quendal {

// Pass 1 or 2; any other pass sends nothing. NSED and NCON are sent as they stand (0
// for a component that is switched off).
void VIS_SEND_RUN_METADATA(int pass, const VisualisationSources& s, const RunNames& names,
                           VisualisationLibrary& library);

}  // namespace quendal
