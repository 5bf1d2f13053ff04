// The contaminant data file (CMD, unit 18): every parameter of the contaminant
// component, as a fixed sequence of titled sections read once, when contaminants first
// become due, through the contaminant section readers (services/contaminant_sections.h).
//
// The reader checks every count and every index a record carries and stops the run at
// the first bad one; it echoes the file's status and the run title to the contaminant
// print file (unit 25) and closes the data file. Depths, concentrations, fractions and
// rate coefficients are held to their physical bounds (services/physical_bounds.h).
#pragma once

#include <string>
#include <string_view>

#include "include/contaminant_state.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"

namespace quendal {

constexpr int CM_DATA_UNIT = 18;   // CMD
constexpr int CM_PRINT_UNIT = 25;  // the contaminant print file
// The file does not give data for the run's counts; also a contaminant count NCON
// outside 1 to 3 found at start-up.
constexpr int CM_COUNT_ERROR = 3008;

// Reads the file into the parameters of `contaminant`, whose per-element arrays must
// already be sized for the run (ContaminantState::size). The column elements NLF+1..NEL
// get their bottom cells (":CM7", ":CM11"; -1 means the column's own lowest cell,
// LAYER_BOTTOM_CELL(iel, 1) of `subsurface`), boundary inflow and base concentrations;
// the category grid is placed through the topology of `frame`. `nsed` is the size-group
// count of the run at this moment (0 when the sediment component is off): the file must
// give data for at least NCON contaminants, subsurface.NS soil types and nsed size
// groups (fatal error 3008).
// Where the depths and concentrations of the category tables (":CM26e") were read is
// noted in io.places, entry (k, j) of contaminant m's tables under
// cm_table_place_item("DTAB" or "CTAB", m) at (k, j), for the checks of the set-up.
void CM_READ_DATA_FILE(const FrameState& frame, const SubsurfaceState& subsurface, int nsed,
                       ContaminantParameters& contaminant, RunIo& io);
std::string cm_table_place_item(std::string_view array, int m);

}  // namespace quendal
