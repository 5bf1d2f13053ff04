// The hot-start file: a saved model state a run can continue from.
//
// One record per save, in free format: "time=" with the time, the step and the top
// cell LL, then, each after its label, the canopy stores, the surface water levels,
// the face flows and their derivatives, the snow pack and its meltwater slugs, the
// element order, the moisture contents and relative conductivities of the cells, the
// vegetation parameters in force, the channel links' net rain and ground evaporation of
// the last step, the length of the last subsurface step and the cells' heads at its
// start ("PSI_START="), each element's water-balance error so far and its storage at
// the last step, the sediment state ("SY_STATE=") and the contaminant state
// ("CM_STATE=") once those components are set up, each with its counts and then its
// own labelled items, and last the pressure heads of every cell. Reals are
// written as the shortest text that reads back to the same double, so a restart
// continues from exactly the state saved. The first line carries a mark after its
// values ("CHECK=FNV1A64"), and the record ends with a check line: "CHECK=", the number
// of its values and a 64-bit FNV-1a hash of its text, so that a record changed or cut
// after it was written is never read. Records without the mark, written before records
// were checked, are read as they always were. Records written before the order, the
// moisture contents, the conductivities and the vegetation were saved (the heads then
// follow the meltwater slugs directly) are read too; the restart derives those from the
// heads, the surface levels and the restart time, and so follows the saved run closely
// but not exactly. So are records without the last step's heads: the restart's first
// subsurface step then starts its columns from the saved heads rather than from heads
// carried on along their course, and ends within the column iteration's tolerance of
// the saved run's. Records without the balance errors accumulate them anew; records
// without a component's state set it up afresh when it is due.
#pragma once

#include "include/model.h"

namespace quendal {

constexpr int HOTSTART_UNIT = 28;
// A hot-start file that cannot be restarted from: no complete record, a label or count
// that does not fit this run, records not in increasing time, or a value that its item
// cannot hold.
constexpr int HOTSTART_ERROR = 1090;

// Reads unit 28 from its start and restores the state of the first record at or after
// HOTSTART_TIME (or less than 1e-6 h before it: the time of a record carries the
// round-off of the steps that reached it), or of the last complete record when the
// file ends first (with
// " WARNING: END OF HOTSTART FILE REACHED" on the print file and the console). Values
// are read into temporaries and only a complete record is applied. The file's last
// record, when it is cut by the end of the file or fails its check (a run that stopped
// while writing it), is passed over with that warning whatever the restart time, and
// a line naming it and what is wrong. Every other record of the file is read and
// checked first, also those after the one restored: fatal 1090, naming the file, the
// record and the item (and the element and cell), when a record that carries a check
// has none or fails it (named as item "CHECK="), no record is complete, a label or
// count does not fit (a count of a component state that disagrees with this run's
// data files is named as that count), a record's time is not after the previous
// record's, or the sediment or contaminant state of the record restored has other
// numbers of size groups or contaminants than this run's data files (for a component
// it has on), or a value is not a number or lies outside what its item can hold (a
// negative time, storage, snow depth or meltwater, a step outside 0 .. 2 h, a
// surface-water depth below 0 or above 1000 m, a head outside the soil tables, a
// moisture content below 0 or above the soil's wettest, a relative conductivity
// outside 0 .. 1, an element order that is not one of this run's elements each once).
// Then sets UZNOW, LAST_OC_STEP_TIME, ET_CLOCK and HOTSTART_TIME to the record's time,
// leaves it in NEXT_HOTSTART_TIME and its step in UZNEXT, and reads the met data
// forward to that time (MET_DATA_CATCH_UP). The sediment and contaminant state wait in
// the components' `saved` for the start of the time loop. Afterwards the file stands
// after the record restored, so records this run writes replace the later ones.
void read_hotstart_file(Model& model);

// At set-up of a run that writes records without reading: the first record written
// empties the file, so no record of an earlier run is left behind it.
void prepare_hotstart_output(Model& model);

// The state of a component that turns up later than the record: a restarted run whose
// sediment or contaminants were due already at the record restored, but which holds no
// state of them, sets them up afresh from their data files.
constexpr int HOTSTART_COMPONENTS_AFRESH_WARNING = 1097;

// At start-up of a restarted run: the state the record holds for sediment and
// contaminants is kept for a component that is on and due at the restart time
// (`sediment_due`, `contaminants_due`; a component off, or whose start this run puts
// later, starts when it is due), the contaminants' only with the sediment's when the
// sediment component is on; warning 1097, naming them, when components that are due
// have no state in the record (or lose it so).
void check_saved_components(Model& model, bool sediment_due, bool contaminants_due);

// Appends one record of the current state to unit 28: the water state and, once set up,
// the sediment and contaminant states, then its check line.
void write_hotstart_record(Model& model);

}  // namespace quendal
