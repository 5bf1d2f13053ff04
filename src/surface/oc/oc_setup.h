// Set-up of the overland and channel flow component, once per run.
//
// OC_INITIALISE runs, in order: the checks of the OC dimensions and of the static
// element arrays (surface/oc/oc_input_checks.h), the OC data file (overland part
// surface/oc/oc_data_file.h, channel part surface/oc/oc_channel_data.h), the checks of
// what was read, the title lines of the head and flux boundary series (units 38, 37),
// the section geometry and depth/conveyance table of every channel link, and the rows
// of the implicit OC solution.
//
// What it leaves for the OC step (all in SurfaceState, include/surface_state.h):
//   HRF       every element at its ground (a link: its bed) plus its initial depth;
//             QSA, QOC, DQ0ST, DQIST, DQIST2, ARXL sized and zero
//   STRX, STRY, the OC boundary table, OC_N_HEAD_CATEGORIES / OC_N_FLUX_CATEGORIES,
//   OC_PRINT_START / OC_PRINT_END
//   CWIDTH, ZBFULL, NXSECT, XINW, XINH, LINK_PAIR_AREA, LINK_FULL_AREA,
//   LINK_EQUIVALENT_BED, OC_SECTION_TABLE (per link)
//   OC_ROW_START, OC_ROW_ELEMENTS, OC_COLUMN_OF_ELEMENT, OC_FIRST_ROW, OC_LAST_ROW
// and in FrameState the bed elevation of every link in ZGRUND. Units 38 and 37 stand
// behind their title lines.
#pragma once

#include "include/frame_state.h"
#include "include/model.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

// Called once by the catchment set-up, after the ET and snow data and before the
// element geometry (which needs CWIDTH). Every failure ends in a fatal report.
void OC_INITIALISE(Model& model);

// Sizes the OC state of SurfaceState for the run (NEL elements, NLF links, NY rows) and
// the surface water arrays (surface/surface_state.h), all zero.
void size_oc_state(const FrameState& frame, SurfaceState& surface);

// For every link 1..nlf, from its pairs (NXSECT, XINW, XINH) and STRX: LINK_PAIR_AREA,
// LINK_FULL_AREA, LINK_EQUIVALENT_BED and OC_SECTION_TABLE.
void build_link_sections(SurfaceState& surface, int nlf);

// The rows of the implicit OC solution. Each grid row y = 1..NY holds, west to east:
// for each column x, the north-south link on the west face of square (x, y) (with banks:
// side-2 bank, link, side-1 bank), the square, the east-west link on its south face
// (with banks: side-1 bank, link, side-2 bank). A row of more than NXOC elements is fatal
// error 1006.
void build_oc_rows(const FrameState& frame, SurfaceState& surface, RunIo& io);

}  // namespace quendal
