// Level-discharge (ZQ) tables: measured or rated discharges of structures (gates,
// sluices, gauging weirs) on faces between two channel links. Each table has a level
// column and one discharge column per operating setting; once a day, at the table's
// operating hour, the setting is chosen from the upstream level.
//
// The table file (unit 51) holds a title, the number of tables, then per table twelve
// records (label lines alternating with free-format values: reference number, link,
// face, operating hour, number of rows; a label line; the heading line) and its rows
// (a level, then one discharge per further column, free format). The heading line names
// the columns, separated by single blanks: the first stands for the levels, each
// further one is ">" followed by the level above which that column applies.
//
// Diagnostics go to three files of fixed names in the run directory: the echo of the
// tables (unit 777), each lookup (unit 778) and each evaluation of a ZQ face (unit 779).
#pragma once

#include "include/frame_state.h"
#include "include/model.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

constexpr int ZQ_TABLE_UNIT = 51;
constexpr int ZQ_ECHO_UNIT = 777;
constexpr int ZQ_LOOKUP_UNIT = 778;
constexpr int ZQ_FLOW_UNIT = 779;
constexpr const char* ZQ_ECHO_FILE = "zq_echo_777.txt";
constexpr const char* ZQ_LOOKUP_FILE = "zq_lookup_778.txt";
constexpr const char* ZQ_FLOW_FILE = "zq_flow_779.txt";
constexpr int ZQ_HEADER_LENGTH = 120;

// A ZQ table file that cannot be read, or a table that does not fit the mesh.
constexpr int ZQ_TABLE_ERROR = 1087;
// An upstream level above a table's last row (the last row's discharge is used).
constexpr int ZQ_ABOVE_TABLE_WARNING = 1088;
constexpr int ZQ_ABOVE_TABLE_MESSAGE_LIMIT = 1000;

// Reads every table of unit 51 into `surface` (ZQ_TABLE_COUNT, ZQ_TABLES; each table's
// operating column starts at 2), echoes them to unit 777 and closes unit 51. An early
// end or an unreadable value prints "error reading ZQ table" on the console and stops
// the run with fatal error ZQ_TABLE_ERROR naming the table and the record; so does a
// table whose link is not a channel link, whose face is not shared with another link,
// or that has no row or no discharge column.
void ZQ_READ_TABLES(const FrameState& frame, SurfaceState& surface, RunIo& io);

// The catchment set-up's call: opens the diagnostic units 777 to 779 in the run
// directory, reads the tables and lets the lookups write to the run's files.
void ZQ_READ_TABLES(Model& model);

// The discharge (m3/s) of table t at the upstream level Zu (m): the operating column's
// value in the first row whose level is at least Zu (row 1 at or below its level),
// without interpolation. A level above the last row takes the last row's discharge,
// with warning ZQ_ABOVE_TABLE_WARNING (the first ZQ_ABOVE_TABLE_MESSAGE_LIMIT - 1
// times, then one closing "Last printout" line). On the step in which UZNOW + the
// operating hour passes a multiple of 24 hours the operating column becomes the last
// whose threshold Zu exceeds; at or below the first threshold a console warning is
// written and the column is kept. Writes the lookup's diagnostics (console, unit 778).
double ZQ_LOOKUP_DISCHARGE(const FrameState& frame, SurfaceState& surface, int t, double Zu);

// dQ/dZu of table t at the upstream level Zu in its operating column: the slope of the
// rating over the row interval that holds Zu (levels Z(r - 1) < Zu <= Z(r)), 0 at or
// below row 1 and above the last row, where the lookup holds one discharge. The
// structure's flow is linearised with it over a step, so the face follows the table's
// rating rather than a slope of its own.
double ZQ_RATING_SLOPE(const SurfaceState& surface, int t, double Zu);

// The table of the face between links e (its face f) and g (its face h): the last
// table listed for either side, 0 when there is none.
int ZQ_TABLE_OF_FACE(const SurfaceState& surface, int e, int f, int g, int h);

}  // namespace quendal
