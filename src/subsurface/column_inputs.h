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

#include "include/run_io.h"
#include "include/subsurface_state.h"

namespace quendal {

// The lines for element e and, when cell is 1..LL, for that cell and its soil; `head`
// (m), when finite or not a number, is the head the failure was met at.
std::vector<std::string> column_input_lines(const SubsurfaceState& vss, int e, int cell,
                                            const double* head = nullptr);

// Writes those lines to the print file as continuation lines of the report before them.
void report_column_inputs(RunIo& io, const SubsurfaceState& vss, int e, int cell);

// The element whose column changed most in the last sweep of the global iteration (0
// when none changed): the one to look at when the iteration does not converge.
int column_changing_most(const SubsurfaceState& vss);

}  // namespace quendal
