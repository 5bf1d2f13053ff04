// Section readers of the contaminant data file.
//
// The contaminant data file is a sequence of titled sections (":CM1", ":CM26c", ...)
// like the other component data files, but its reader uses one routine per data type
// instead of the multi-mode READ_TITLED_BLOCK. The routines share one TitledBlockState
// of their own (the contaminant reader's), whose last line every heading error shows;
// it is separate from the one of the titled-block readers.
//
// Each section reader reads the title line (a title without the key is warning 2 and
// the section is read as found; the key must stand on its own, not as the start of a
// longer one: ":CM26" is not found in ":CM26a", since the file has both, under different
// conditions, and a file written for the other branch must not pass unnoticed), then
// its data, each read starting on a new record;
// every read failure, wrong grid row, count outside the room of the caller's array or
// closed data file is a fatal report on unit_out.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "include/frame_state.h"
#include "include/run_io.h"
#include "services/titled_block.h"

namespace quendal {

// mode 0: checks that `unit` is open (fatal error 4 when it is not) and writes the
// "open" status line to unit_out; any other mode closes the unit and writes the
// "closed" line. name is the file's short name ("CMD").
void REPORT_DATA_FILE_STATUS(RunIo& io, TitledBlockState& state, int mode, int unit,
                             int unit_out, std::string_view name);

// na * nb texts, one record each, each cut or blank-padded to its present length
// (error 5).
void READ_CHARACTER_BLOCK(RunIo& io, TitledBlockState& state, int unit_in, int unit_out,
                          std::string_view key, int na, int nb, std::span<std::string> texts);

// grid == 0: na * nb reals in free format (error 7); otherwise a real grid of na columns
// and nb rows, rows nb down to 1, each its row number then na reals (error 11).
void READ_REAL_BLOCK(RunIo& io, TitledBlockState& state, int grid, int unit_in, int unit_out,
                     std::string_view key, int na, int nb, std::span<double> reals);

// kind == 0: na * nb integers in free format (error 6); otherwise an integer grid of na
// columns and nb rows, in the digit layout when kind < 10 and in free format otherwise
// (error 10).
void READ_INTEGER_BLOCK(RunIo& io, TitledBlockState& state, int kind, int unit_in, int unit_out,
                        std::string_view key, int na, int nb, std::span<int> ints);

// na * nb logicals in free format (error 14).
void READ_LOGICAL_BLOCK(RunIo& io, TitledBlockState& state, int unit_in, int unit_out,
                        std::string_view key, int na, int nb, std::span<bool> flags);

// A category grid of nx columns and ny rows read as READ_INTEGER_BLOCK with kind = ncat:
// every grid square (ICMXY of frame) takes its cell's category into codes, which must
// lie in 1..ncat (fatal error 3090); then, when links exist and banks are on, every bank
// element takes the code of the grid square beyond it (the other bank's when it has
// none; a link neither of whose banks has one is refused, also with 3090). codes is
// indexed by element number and must cover the bank elements and grid squares.
void READ_INTEGER_BLOCK_MN(RunIo& io, TitledBlockState& state, const FrameState& frame, int nx,
                           int ny, bool banks_on, int ncat, int unit_in, int unit_out,
                           std::string_view key, ElementColumn<int> codes);

}  // namespace quendal
