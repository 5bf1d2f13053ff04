// What a subsurface failure report says about the column it happened in.
//
// A head that leaves the soil tables (1034, 1035) or a column or global iteration that
// does not converge is seldom the solver's fault: a ground elevation, a layer depth, a
// soil's conductivity or a bed level typed wrong puts a column where no water can
// follow. The lines below the report name the element and the input items that set its
// cells (its layers with their soil types and levels, the soil's parameters, the top of
// the column), so that the user knows which records of the data files to look at.
#pragma once

#include <string>
#include <vector>

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/subsurface_state.h"

namespace quendal {

// The lines for element e and, when cell is 1..LL, for that cell and its soil; `head`
// (m), when finite or not a number, is the head the failure was met at.
std::vector<std::string> column_input_lines(const SubsurfaceState& vss, int e, int cell,
                                            const double* head = nullptr);

// The tops of the columns beside element e, over each face with a neighbour: a
// neighbour whose ground was typed wrong drains or floods its neighbours' cells.
std::string neighbour_tops_line(const FrameState& frame, const SubsurfaceState& vss, int e);

// The largest difference between the tops of two neighbouring columns anywhere in the
// catchment: a ground or bed level typed wrong shows there, however far from the column
// that failed.
std::string steepest_step_line(const FrameState& frame, const SubsurfaceState& vss);

// Writes those lines (and the neighbours' tops) to the print file as continuation lines
// of the report before them.
void report_column_inputs(RunIo& io, const FrameState& frame, const SubsurfaceState& vss, int e,
                          int cell);

// The element whose column changed most in the last sweep of the global iteration (0
// when none changed): the one to look at when the iteration does not converge.
int column_changing_most(const SubsurfaceState& vss);

}  // namespace quendal
