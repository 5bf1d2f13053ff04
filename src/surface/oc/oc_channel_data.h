// The channel part of the OC data file: default cross-sections, then per channel link its
// bed elevation, initial depth, Strickler coefficient and cross-section, and the record
// of its channel boundary or structure.
//
// Layout (free format, after the overland part):
//   title
//   NDEFCT                                  default cross-section categories, 0..NOCTAB
//   NDEFCT >= 1: a title, then per category i: NXDEF(i) (2..NOCTAB), then a record of
//                NXDEF(i) pairs width, height (m; heights above the bed, the first 0)
//   title
//   per link l = 1..NLF:
//     l, bed elevation (m), initial depth (m), Strickler coefficient, IDEFX
//     IDEFX >= 2: a record of IDEFX pairs width, height (IDEFX = -i: default category i)
//     when the link has an OC boundary entry, one record by its type:
//       7 weir, 8 river and weir   face, weir coefficient, submergence ratio,
//                                  crest level, outside level
//       9 head                     head category
//       10 flux                    face, flux category
//       11 polynomial              face, a4, a3, a2, a1, a0
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/surface_state.h"
#include "services/records.h"

namespace quendal {

// Reads the channel part from `in`; echoes it to the print file when `print` is set.
// Per link: ZGRUND (the bed), HRF (bed + initial depth), STRX = STRY, NXSECT, XINW, XINH,
// CWIDTH (top width), ZBFULL (bed + top height); completes the link's boundary entry
// (face, category, coefficients). Each error found (1054, 1055, 1012, 1013, 1019, and
// the boundary checks 1014, 1020, 1021) adds one to `error_count`; some end the reading
// at once. Only the link records are read with error detection: any other record that
// cannot be read raises InputError.
void OC_READ_CHANNEL_DATA(RecordSource& in, bool print, FrameState& frame, SurfaceState& surface,
                          RunIo& io, int& error_count);

}  // namespace quendal
