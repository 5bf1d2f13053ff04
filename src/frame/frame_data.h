// The frame data file (unit 10): grid, dates, controls, switches, counts, the catchment
// mask, the face-code grids and the per-element elevation and code grids.
//
// INFR reads it once per run, first thing in the catchment set-up, echoes it to the
// print file, and has the elements numbered and the topology built between the
// face-code grids and the first per-element grid.
//
// Sets in FrameState: NX, NY, GRID_SPACING_X/Y, RUN_START_TIME, RUN_END_TIME,
// SEDIMENT_START_TIME, CONTAMINANT_START_TIME, CALENDAR_YEAR/MONTH/DAY, DTAO,
// PRINT_ON, RESULTS_STORE_ON, MAX_RAIN_DEPTH_PER_STEP, TIMESTEP_GROWTH,
// OC_MAX_CHANNEL_FLOW, BASIC_TIMESTEP, SOFT_START, the component switches, the
// hot-start controls, MET_SITE_COUNT, RAIN_STATION_COUNT, NV, NS, CATCHMENT_MASK,
// LCODEX, LCODEY, ZGRUND, MET_SITE_OF_ELEMENT, RAIN_STATION_OF_ELEMENT, NVC,
// DISCHARGE_INTERVAL, ISORT; and, through NUMBER_ELEMENTS, the element tables.
//
// Values that would be used as a size or an index are checked as they are read: a
// grid of 2 to 399 columns and rows, dates that exist, from 1950 to 9999, with the end
// after the start (the dates of components that are off are not used and not
// checked), a positive basic time step and rain-depth limit, counts and codes within
// range, a catchment mask with at least one grid square, no face code past the last
// face of its row and every link code on a face that makes a link beside at least one
// grid square; grid spacings and ground elevations are held to their physical bounds.
// A failure is an input error naming the file and the record, so no date reaches the
// calendar that would stop the run there.
#pragma once

#include <functional>

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "services/records.h"

namespace quendal {

constexpr int FRAME_DATA_UNIT = 10;

// Largest grid: the face-code grids need NX + 1 columns and NY + 1 rows of the 400.
constexpr int MAX_GRID_COLUMNS = 399;
constexpr int MAX_GRID_ROWS = 399;

// Reads the frame data file from unit 10 (from its current position) and writes the
// echo to the print file.
void INFR(FrameState& frame, RunIo& io);

// Called for every face of a face-code grid as its row is read: the face (x, y), its
// code and where its character stands (a blank past the end of a short row included).
using FaceCodeCheck = std::function<void(int x, int y, int code, const FieldPlace& place)>;

// Reads one face-code grid of `columns` x `rows` into `grid` (resized to that and
// cleared first): a title record, then rows `rows` down to 1, each with the row number
// in columns 1-7, one ignored column and one code character per column from column 9
// (a short row reads as blanks). With `print_on` the title and every row are written
// back to unit_out. A row number other than the one expected writes
// "  ^^^   INCORRECT COORDINATE" to unit_out and a line on the console, and stops the
// run at once; anything but blanks after the last face (column 8 + `columns`) is an
// InputError naming the file, the record and the column. `check`, when given, sees
// every face of a row once the row is stored.
void READ_FACE_CODE_GRID(int columns, int rows, Array2<int>& grid, int unit_in, int unit_out,
                         bool print_on, RunIo& io, const FaceCodeCheck& check = {});

// The stored code of a face-code character: "I" 1, "." 2, "R" 6, "W" 7, "A" 8, "H" 9,
// "F" 10, "P" 11; any other character (a blank, a lower-case letter) 0.
int face_code_of(char c);

}  // namespace quendal
