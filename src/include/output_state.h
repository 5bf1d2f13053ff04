// State of the results-output component: the per-element water-balance error, the
// catchment water-balance totals with their balance calendar, and what the run output
// files carry from step to step (the outlet, the extra discharge points, the interval
// averaging of the outlet discharge, the totals schedule), and the visualisation
// layer with the state of its driver.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "include/arrays.h"

namespace quendal {

// The visualisation layer's interface (output/visualisation/visualisation_library.h): the
// state holds the run's layer by this declaration alone.
class VisualisationLibrary;

// Entries of WATER_BALANCE_TOTALS, volumes in m3. Entries 1-6 are totals of the current
// balance period (one calendar day), 7-12 the same six quantities over the run, 13-17
// the storages at the end of the latest step, 18 and 19 the stream-aquifer exchange over
// the period and over the run, 20-23 the lateral inflow through the catchment's edges
// and the well water that leaves the catchment, each over the period and over the run.
//
// The catchment's budget closes over any stretch of the run: the change of the five
// storages equals the change of precipitation - the three evaporation totals -
// discharge + aquifer flow + lateral inflow - well export. The stream-aquifer exchange
// moves water between the channels and the cells, inside the catchment.
constexpr int WATER_BALANCE_ENTRIES = 23;
constexpr int WB_PRECIPITATION = 1;
constexpr int WB_CANOPY_EVAPORATION = 2;
constexpr int WB_GROUND_EVAPORATION = 3;
constexpr int WB_TRANSPIRATION = 4;
constexpr int WB_AQUIFER_FLOW = 5;   // through the columns' base, positive upwards (in)
constexpr int WB_DISCHARGE = 6;      // through the outlet, positive out
constexpr int WB_RUN_OFFSET = 6;  // entry of a run total = its period entry + 6
constexpr int WB_CANOPY_STORAGE = 13;
constexpr int WB_SNOW_STORAGE = 14;
constexpr int WB_SUBSURFACE_STORAGE = 15;
constexpr int WB_SURFACE_STORAGE = 16;
constexpr int WB_CHANNEL_STORAGE = 17;
constexpr int WB_STORAGE_COUNT = 5;  // entries 13..17
constexpr int WB_STREAM_AQUIFER_PERIOD = 18;
constexpr int WB_STREAM_AQUIFER_RUN = 19;
// Net inflow through the catchment's lateral boundaries: the subsurface's flow, head and
// head-gradient boundaries and every surface face without a neighbour but the outlet's
// (flux, head, polynomial and other weir boundaries). Positive into the catchment.
constexpr int WB_LATERAL_FLOW_PERIOD = 20;
constexpr int WB_LATERAL_FLOW_RUN = 21;
// Well water that leaves the catchment: what the wells take, less what they give to an
// element of the catchment. Positive out.
constexpr int WB_WELL_EXPORT_PERIOD = 22;
constexpr int WB_WELL_EXPORT_RUN = 23;

// The clock is a sum of steps: within this many hours of a mark (a balance boundary, the
// end of an output interval, a totals record) it has reached the mark, so rounding in
// the sum never moves an output by a step. The driver's end test uses the same.
constexpr double CLOCK_TOLERANCE_HOURS = 1e-7;

// Room of the extra discharge points file.
constexpr int MAX_EXTRA_POINTS = 100;

// The run's visualisation layer and what the visualisation driver keeps between calls.
// Made, moved and destroyed where the layer's type is complete
// (output/visualisation/visualisation_driver.cpp).
struct VisualisationState {
  VisualisationState();
  VisualisationState(VisualisationState&&) noexcept;
  VisualisationState& operator=(VisualisationState&&) noexcept;
  ~VisualisationState();

  // The layer every visualisation call goes to; a test may put its own in place. None
  // until a run that names a plan or a visualisation output reads its plan: the calls
  // then record nothing.
  std::unique_ptr<VisualisationLibrary> VIS_LIBRARY;
  bool VIS_OUTPUT_CLOSED = false;  // the layer is closed once, however the run ends
  bool VIS_FIRST_CALL_PENDING = true;
  bool VIS_SECOND_CALL_PENDING = false;
  // The item being recorded: its name, type code, extra-dimension name and the order
  // of its extra indexes.
  std::string VIS_ITEM_NAME;
  std::string VIS_ITEM_TYPE;
  std::string VIS_EXTRA_DIMENSION_NAME;
  std::array<int, 4> VIS_EXTRA_ORDER{1, 2, 3, 4};
  // Plan items whose answers were refused once already (warned about), by item number.
  std::vector<char> refused_items;
  // Work of the recording, kept so that a step allocates nothing once they have grown.
  std::vector<int> cells;          // the cells of the item's layers
  std::vector<int> list_elements;  // the selection of a list item
  std::vector<float> real_values;  // one vector being saved
  std::vector<int> int_values;
};

struct OutputState {
  int BALANCE_PERIOD_DAILY = 0;  // 1 selects balance periods of one day

  // --- per-element water-balance error ---------------------------------------------
  // Both (NEL), metres of water over the element's plan area, sized on the first call.
  Array1<double> ELEMENT_BALANCE_ERROR;     // accumulated from the second step on
  Array1<double> BALANCE_PREVIOUS_STORAGE;  // the element's storage at the previous call
  bool balance_error_first_call = true;     // until a first call, or a hot start, has set both

  // --- catchment water-balance totals ----------------------------------------------
  Array1<double> WATER_BALANCE_TOTALS = Array1<double>(WATER_BALANCE_ENTRIES, 0.0);
  // The storages (entries 13..17 in that order) before the first step, m3.
  std::array<double, WB_STORAGE_COUNT> BALANCE_START_STORAGE{};
  // The well water, m3/s, that the next step's ET step gives to column elements: it
  // reads the abstraction of the step before, so the export is booked with that lag.
  double WELL_WATER_TO_COLUMNS = 0.0;
  bool daily_balance_first_call = true;
  // The balance calendar: the calendar day that the next balance boundary closes. It
  // starts at the run's start date (FrameState::CALENDAR_YEAR/MONTH/DAY) on the first
  // call, even after a hot start, and moves one day per boundary.
  int CALENDAR_YEAR = 0;
  int CALENDAR_MONTH = 0;
  int CALENDAR_DAY = 0;
  double BALANCE_NEXT_TIME = 0.0;  // hours from the run start of the next boundary

  // --- run output files ------------------------------------------------------------
  // The outlet: a channel link with a weir on a face that has no neighbour; 0 for none.
  int OUTLET_ELEMENT = 0;
  int OUTLET_FACE = 0;
  // The outlet's face flow QOC (positive towards the east or the north) as a discharge
  // out of the catchment: positive when water leaves, negative when it flows back in
  // (through a weir whose tail stands above the link); 0 without an outlet.
  double outlet_outflow(double qoc) const {
    if (OUTLET_ELEMENT == 0) return 0.0;
    return (OUTLET_FACE == 1 || OUTLET_FACE == 2) ? qoc : -qoc;
  }
  // The extra discharge points (unit 47): for point j = 1..EXTRA_POINT_COUNT,
  // EXTRA_POINTS(1, j) its element and EXTRA_POINTS(2, j) its face (1..4).
  std::string EXTRA_POINTS_TITLE;  // at most 20 characters
  int EXTRA_POINT_COUNT = 0;
  Array2<int> EXTRA_POINTS;                // (2, MAX_EXTRA_POINTS)
  Array1<double> EXTRA_POINT_DISCHARGE;    // (MAX_EXTRA_POINTS): this step's, m3/s
  Array1<double> EXTRA_POINT_ACCUMULATOR;  // (MAX_EXTRA_POINTS): as DISCHARGE_ACCUMULATOR
  // Averaging of the outlet discharge over regular intervals; time is measured in
  // intervals (UZNOW / DISCHARGE_INTERVAL).
  double DISCHARGE_POSITION = 0.0;           // at the current step
  double DISCHARGE_PREVIOUS_POSITION = 0.0;  // at the previous step
  long DISCHARGE_NEXT_INTERVAL = 0;          // the position at which the interval ends
  double DISCHARGE_ACCUMULATOR = 0.0;        // integral over the interval so far, m3/s x intervals
  int TOTALS_HOUR_MARK = 0;                  // hours after which the next totals record is due
  double TOTALS_LAST_RECORD_TIME = -1.0;     // UZNOW of the latest totals record

  // --- visualisation -----------------------------------------------------------------
  VisualisationState visualisation;
};

}  // namespace quendal
