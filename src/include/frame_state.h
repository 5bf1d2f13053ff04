// State of the run frame: the run clock and the driver's counters.
#pragma once

#include <string>

#include "include/arrays.h"
#include "services/records.h"

namespace quendal {

constexpr double MAX_BASIC_TIMESTEP = 2.0;  // hours

// Element kinds, ICMREF(e, 1, 1).
constexpr int KIND_GRID_SQUARE = 0;
constexpr int KIND_BANK_SIDE_1 = 1;  // bank element on side 1 of its link
constexpr int KIND_BANK_SIDE_2 = 2;
constexpr int KIND_CHANNEL_LINK = 3;

struct FrameState {
  // Run clock.
  long STEP_COUNT = 0;           // steps taken
  double UZNOW = 0.0;            // simulated hours since the run start
  double UZNEXT = 0.0;           // the step, hours
  double DTUZ = 0.0;             // the step, seconds
  double PREVIOUS_TIMESTEP = 0.0;
  double LAST_OC_STEP_TIME = 0.0;
  int PROGRESS_HOUR_MARK = 0;
  // Result classes to store: character k "1" switches class k on.
  std::string RESULTS_CLASS_MASK;
  Array1<double> HRF_SY_COPY;  // (NEL): the levels handed to the sediment step

  // --- frame data file ------------------------------------------------------------
  // Read once by INFR; kept for the whole run.
  int NX = 0;  // grid columns (west to east)
  int NY = 0;  // grid rows (south to north)
  Array1<double> GRID_SPACING_X;  // (NX - 1): distance between the nodes of columns i, i + 1, m
  Array1<double> GRID_SPACING_Y;  // (NY - 1): distance between the nodes of rows j, j + 1, m
  // Dates as calendar hours (see services/calendar.h).
  double RUN_START_TIME = 0.0;
  double RUN_END_TIME = 0.0;
  double SEDIMENT_START_TIME = 0.0;     // set only when SEDIMENT_ON
  double CONTAMINANT_START_TIME = 0.0;  // set only when CONTAMINANT_ON
  int CALENDAR_YEAR = 0;                // the start date
  int CALENDAR_MONTH = 0;
  int CALENDAR_DAY = 0;
  double DTAO = 0.0;                    // print interval, hours (printed only)
  bool PRINT_ON = false;                // echo the grids and element tables to the print file
  bool RESULTS_STORE_ON = false;
  double MAX_RAIN_DEPTH_PER_STEP = 0.0;  // largest rainfall depth per step, mm
  double TIMESTEP_GROWTH = 0.0;          // largest relative growth of the step
  double OC_MAX_CHANNEL_FLOW = 0.0;      // largest allowed channel face flow, m3/s
  // Where the file gave the values that checks during the run hold the run to, so that
  // their reports name the file, the record and the text.
  FieldPlace OC_MAX_CHANNEL_FLOW_PLACE;
  FieldPlace SEDIMENT_START_PLACE;
  FieldPlace CONTAMINANT_START_PLACE;
  double BASIC_TIMESTEP = 0.0;           // hours, at most MAX_BASIC_TIMESTEP
  bool SOFT_START = false;
  bool SNOW_ON = false;
  bool BANKS_ON = false;
  bool SEDIMENT_ON = false;
  bool CONTAMINANT_ON = false;
  bool ET_ON = true;  // always on
  bool OC_ON = true;  // always on
  bool HOTSTART_READ = false;       // continue from the hot-start file
  bool HOTSTART_WRITE = false;      // write hot-start records
  double HOTSTART_TIME = 0.0;       // hours from the run start of the record to start from
  double HOTSTART_INTERVAL = 0.0;   // hours between written records
  int MET_SITE_COUNT = 0;
  int RAIN_STATION_COUNT = 0;
  int NV = 0;  // vegetation types
  int NS = 0;  // soil types (the subsurface data file replaces it)
  // Grids indexed (column, row). The mask is 1 for a grid square of the catchment and
  // 0 outside (char, not bool: a vector of bool hands out no references).
  Array2<char> CATCHMENT_MASK;  // (NX, NY)
  // Face codes: 1 impermeable, 2 grid-grid, 6 river link, 7 weir, 8 river and weir,
  // 9 head, 10 flux, 11 polynomial, 0 any other character; 4 or more makes a link.
  Array2<int> LCODEX;  // (NX + 1, NY): west face of cell (i, j)
  Array2<int> LCODEY;  // (NX, NY + 1): south face of cell (i, j)
  Array1<double> ZGRUND;  // (NEL): ground elevation, m (a link: its bed)
  Array1<int> MET_SITE_OF_ELEMENT;      // (NEL): 1..MET_SITE_COUNT
  Array1<int> RAIN_STATION_OF_ELEMENT;  // (NEL): 1..RAIN_STATION_COUNT
  Array1<int> NVC;                      // (NEL): vegetation type 1..NV
  double DISCHARGE_INTERVAL = 24.0;     // hours between regular outlet discharge outputs
  Array1<int> ISORT;                    // (NEL): element visiting order, 1..NEL at first
  bool ISORT_RESTORED = false;          // a hot start restored ISORT: not rebuilt at start-up

  // --- element topology and geometry ---------------------------------------------
  // Elements run 1..NEL: channel links 1..NLF, then (banks on) the side-1 bank
  // elements of every link, the side-2 bank elements of every link, then the grid
  // squares row by row from row 1. Faces 1 east, 2 north, 3 west, 4 south.
  int NLF = 0;     // channel links
  int NEL = 0;     // elements
  int NGDBGN = 1;  // NLF + 1, the first element that is not a link
  // (e, 1, 1) kind: 0 grid square, 1/2 bank element of side 1/2, 3 channel link;
  // (e, 2, 1) column; (e, 3, 1) row; (e, 4, 1) the link (the element itself for a link,
  // its link for a bank, 0 for a square, 9999 for a square beside a link, banks off).
  // (e, f, 2) neighbour over face f: element, 0 none, -J channel junction entry J.
  // (e, f, 3) face of that neighbour pointing back; f when none; 0 over a junction.
  Array3<int> ICMREF;           // (NEL, 4, 3)
  Array2<int> ICMXY;            // (NX, NY): grid square of a cell, 0 outside the catchment
  // Junction entries, one per link end where three or four links meet: (J, 1..3) the
  // links met (left turn, straight on, right turn; 0 none), (J, 4..6) the face of each
  // of those links whose own entry lists this link.
  Array2<int> ICMRF2;           // (junction_entry_count, 6)
  int junction_entry_count = 0;
  Array2<int> LINK_BANK_ELEMENT;  // (NLF, 2): bank elements of sides 1 and 2 (banks on)
  Array1<char> LINK_NORTH_SOUTH;  // (NLF): true for a link on an LCODEX segment
  Array1<int> NBFACE;             // (NEL): first face without a neighbour, 0 when none
  // Plan geometry, metres.
  Array1<double> CELL_WIDTH_X;  // (NX)
  Array1<double> CELL_WIDTH_Y;  // (NY)
  double BANK_WIDTH = 10.0;     // width of every bank element across its link
  Array1<double> DXQQ;          // (NEL)
  Array1<double> DYQQ;          // (NEL)
  Array1<double> AREA;          // (NEL), m2
  Array1<double> CLENTH;        // (NLF): length of a link along its direction
  Array2<double> DHF;           // (NEL, 4): node-to-face distance
  double TOTAL_CATCHMENT_AREA = 0.0;  // m2, divisor of every spatially averaged total
  double NEXT_HOTSTART_TIME = 0.0;    // hours: when the next hot-start record is due

  // --- met data and time-step control --------------------------------------------
  // The current met record, kept up to date by MET_DATA_ADVANCE while TIMESTEP_CONTROL
  // chooses each step (frame/met_data.h, frame/timestep_control.h). Sized by
  // allocate_met_data() from MET_SITE_COUNT, RAIN_STATION_COUNT and NEL.
  Array1<double> PINP;                    // (RAIN_STATION_COUNT): rainfall rate, mm/h
  // Per met site (MET_SITE_COUNT), in the units the ET step uses them.
  Array1<double> MET_NET_RADIATION;
  Array1<double> MET_WIND_SPEED;
  Array1<double> MET_ATMOS_PRESSURE;
  Array1<double> MET_AIR_TEMPERATURE;     // deg C
  Array1<double> DEL;
  Array1<double> VPD;
  Array1<double> STATION_POTENTIAL_EVAP;  // mm/s
  double MELAST = 0.0;  // start of the current rainfall record, hours from the run start
  double METIME = 0.0;  // end of the current rainfall record, hours from the run start
  // Separate met files: the potential-evaporation record in hand and the air
  // temperatures read with it, per met site.
  double EPD_TIME = 0.0;                  // end of the current record, hours from the run start
  Array1<double> STATION_EPD_RATE;        // mm/h
  Array1<double> AIR_TEMPERATURE_HIGH;    // deg C
  Array1<double> AIR_TEMPERATURE_LOW;     // deg C
  Array1<double> STATION_EPD_DEPTH;       // mm over the step being taken
  // End-of-file latches: true until that kind's end message has been printed once.
  struct MetEndLatches {
    bool met_sites = true;          // site records of the met file
    bool met_potential_evap = true; // potential-evaporation lines of the met file
    bool met_rain_stations = true;  // rain-station lines of the met file
    bool prd = true;                // precipitation file
    bool epd_hotstart_skip = true;  // potential-evaporation file, skipping to a hot start
    bool epd = true;                // potential-evaporation file afterwards
    // The console line that names a file ended early: one per file.
    bool console_met = true;
    bool console_prd = true;
    bool console_epd = true;
    bool console_air_temperature_high = true;
    bool console_air_temperature_low = true;
  } met_end_latches;
  // Negative potential evaporation (dew in a measured series) is read as 0 with one
  // warning per file: true until that file's warning has been given.
  struct MetNegativeEvapLatches {
    bool met = true;  // potential-evaporation lines of the met file
    bool epd = true;  // potential-evaporation file
  } met_negative_evap_latches;
  // Rainfall rate of every element over the step, m/s.
  Array1<double> ELEMENT_RAIN_RATE;       // (NEL)
  // Work of TIMESTEP_CONTROL, held here so that a step allocates nothing: the rainfall
  // depth of each station over the step being chosen, mm.
  Array1<double> PTOT;                    // (RAIN_STATION_COUNT)

  // --- element order: work lists of BUILD_ISORT ------------------------------------
  // Wet and dry elements with their sort keys, sized NEL on the first call.
  Array1<double> isort_wet_keys;
  Array1<int> isort_wet_elements;
  Array1<double> isort_dry_keys;
  Array1<int> isort_dry_elements;
};

}  // namespace quendal
