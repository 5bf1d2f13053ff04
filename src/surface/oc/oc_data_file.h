// The OC data file (unit 12): print controls, overland roughness, initial surface water
// depths, overland boundary categories, and the OC boundary table built from them, from
// the face codes and from the impermeable faces; then the channel part
// (surface/oc/oc_channel_data.h).
//
// File layout (free-format records; a title record is one skipped line):
//    1  title
//    2  ignored integer, NCATR, print flag p, initial-depth flag (logical)
//    3  three titles
//    4  ignored real, CDRS, OC_PRINT_START, OC_PRINT_END, ignored real
//    5  CATR(1..NCATR)                          only when CDRS = 0 and NCATR >= 1
//    6  real grid of initial depths, m          only when the initial-depth flag is true
//    7  CDRS = 0: NCATR = 0 two real grids (STRX, STRY); NCATR >= 1 two category grids
//    8  title
//    9  head, flux and polynomial category counts
//   10  a category grid for each count >= 1 (head, flux, polynomial; 0 = none)
//   11  polynomial count >= 1: a title, then per category m: m and a4, a3, a2, a1, a0
//   12  the channel part, when there are links and no error so far
//
// p mod 2 = 1 echoes the input to the print file; p < 2 switches the OC step's result
// window off (OC_PRINT_START := OC_PRINT_END + 1).
//
// Strickler coefficients above any surface's, and initial depths no water can have,
// are input errors (services/physical_bounds.h); where each element's coefficient was
// read is noted for the input checks (io.places).
#pragma once

#include <string>

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

constexpr int OC_DATA_UNIT = 12;

// Reads the whole OC data file from unit 12 and rewinds it. Sets, for the elements
// NGDBGN..NEL, STRX, STRY and HRF (ZGRUND + initial depth; bank elements start dry unless
// the grid gives them a depth), the print controls, the category counts and the boundary
// table; the channel part sets the links. Errors are counted and reading goes on; a
// non-zero count ends with fatal error 1049 after the file has been rewound. A record
// that cannot be read at all stops the run with an InputError (exit 3), as do records
// of the channel part other than the link records.
// The arrays written must already be sized (OC_INITIALISE does it).
void OC_READ_DATA_FILE(FrameState& frame, SurfaceState& surface, RunIo& io);

// The 11-character name of a boundary type code in the echo ("       weir", ...).
std::string oc_boundary_type_name(int type);

// Stores entry k of the boundary table, while k <= NOCTAB, for `element` (and points
// OC_BOUNDARY_OF_ELEMENT(element) at it). Used by the readers; exposed for tests.
void store_oc_boundary_entry(SurfaceState& surface, int k, int element, int face, int type,
                             int category);

// The message of a report, cut or padded with blanks to `length` characters, as the OC
// readers format their messages into fixed texts.
std::string oc_message(const std::string& text, std::size_t length);

}  // namespace quendal
