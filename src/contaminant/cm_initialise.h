// The first contaminant step, after the CMD data file has been read: the checks of the
// initial-concentration tables, the sediment description the contaminants need when the
// sediment component is off, the derived tables, the stream-bed geometry of every link,
// the initial relative concentrations and the stores the first transport step reads as
// its previous state. No transport is computed on this step.
#pragma once

#include "include/model.h"

namespace quendal {

// Contaminants in a catchment with channel links but without bank elements: the stream
// bed and the link-bank exchange exist only through bank columns.
constexpr int CM_BANKS_NEEDED_ERROR = 3009;
// The size groups of the sediment description the initialisation supplies when the
// sediment component is off.
constexpr int CM_DEFAULT_SIZE_GROUPS = 3;

// At start-up, before any step is run: fatal CM_BANKS_NEEDED_ERROR on the contaminant
// print file when contaminants are on, the catchment has links and banks are off.
void check_contaminant_banks(const FrameState& frame, RunIo& io);

// Everything CM_INITIALISE does once the data file is read into model.contaminant (the
// state sized, the parameters filled): bad category tables are reported as 2103 to 2106
// and end in fatal 2107 before any state is set; a link geometry the stream bed cannot
// carry is fatal 3010.
void initialise_contaminant_state(bool SEDIMENT_ON, Model& model);

// The initial dynamic concentrations of contaminant m in the cells CM_BOTTOM_CELL..LL of
// every column element, interpolated in depth below the top cell's middle from the table
// of the column's category (first row at depth 0; below the last row, its value).
void INTERPOLATE_LAYER_PROFILE(int m, const FrameState& frame, const SubsurfaceState& subsurface,
                               ContaminantState& cm);

}  // namespace quendal
