// State of the surface hydrology: the surface water levels and face flows, the
// channel geometry, the evapotranspiration data and outputs, and the snow state.
#pragma once

#include <array>

#include "include/arrays.h"

namespace quendal {

// Room of the ET data tables.
constexpr int ET_PSI_ROWS_ROOM = 20;     // rows of a soil-water-potential table
constexpr int ET_RDF_ROWS_ROOM = 50;     // rows of a root density profile
constexpr int ET_TIME_TABLE_ROOM = 140;  // rows of a time-varying parameter table

// Columns of ET_PSI_TABLE.
constexpr int ET_PSI_COLUMN_PSI = 1;    // soil water potential, m (ascending)
constexpr int ET_PSI_COLUMN_RC = 2;     // canopy resistance, s/m (ET mode 2)
constexpr int ET_PSI_COLUMN_RATIO = 3;  // actual / potential transpiration (ET mode 3)

// The vegetation parameters that may vary in time, in the order of the ET data file.
enum EtVaryingParameter { ET_VARYING_CSTCAP = 0, ET_VARYING_PLAI, ET_VARYING_CLAI, ET_VARYING_VHT };
constexpr int ET_VARYING_PARAMETER_COUNT = 4;

// One time-varying vegetation parameter for every vegetation type. The tables are
// laid out for INTERPOLATE_TIME_TABLE: series = vegetation type (first index), so
// times(v, r) is row r of type v.
struct EtTimeVaryingTable {
  Array1<int> mode;       // (NV): 0 constant, otherwise time-varying
  Array1<int> row;        // (NV): row pointer, 1 when the mode is not 0
  Array1<double> base;    // (NV): the value of the vegetation record, kept
  Array1<int> rows;       // (NV): rows given in the file (0 for a constant parameter)
  Array2<double> times;   // (NV, ET_TIME_TABLE_ROOM): days from the run start
  Array2<double> values;  // (NV, ET_TIME_TABLE_ROOM): multiplier of the base value
};

struct SurfaceState {
  // --- surface water ---------------------------------------------------------------
  // Owned by the overland and channel flow component; others read and write the level
  // and the solver's face flows through the accessors below (plain indexed reads and
  // writes: they sit in every component's element loops) and index the rest directly.
  double GET_HRF(int element) const { return HRF(element); }
  void SET_HRF(int element, double value) { HRF(element) = value; }
  double GET_QSA(int element, int face) const { return QSA(element, face); }
  void SET_QSA(int element, int face, double value) { QSA(element, face) = value; }
  // A copy of QSA(1:n, 1:4), n x 4 (0 x 4 when n is 0).
  Array2<double> GET_QSA_ALL(int n) const {
    Array2<double> all(n, 4);
    for (int face = 1; face <= 4; ++face) {
      for (int e = 1; e <= n; ++e) all(e, face) = QSA(e, face);
    }
    return all;
  }

  Array1<double> HRF;  // (NEL): water surface level, m, on the datum of ZGRUND
  // (NEL, 4): flow through each face as the OC solver sees it, m3/s, positive into the
  // element.
  Array2<double> QSA;
  // (NEL, 4): the published face flows, m3/s: QSA with the sign of faces 1 and 2
  // reversed, so positive towards the east (faces 1, 3) and the north (faces 2, 4).
  Array2<double> QOC;
  Array2<double> DQ0ST;   // (NEL, 4): dQSA/dHRF of the element itself, m2/s
  Array2<double> DQIST;   // (NEL, 4): dQSA/dHRF of the neighbour across the face, m2/s
  Array2<double> DQIST2;  // (junction entries, 3): junction derivatives, m2/s
  Array1<double> ARXL;    // (NLF): wetted cross-sectional area of each link, m2

  // Channel geometry, per link (NLF).
  Array1<double> CWIDTH;  // channel width, m
  Array1<double> ZBFULL;  // bank-full elevation, m
  // Width every link takes until the OC data file is read by the OC set-up; a test
  // may set it before the set-up runs. Goes when the OC set-up reads real widths.
  double placeholder_channel_width = 4.0;

  // --- evapotranspiration: the ET data file ----------------------------------------
  // Read once by ET_READ_DATA_FILE; the met-data advance reads the switches and
  // intervals and refreshes CSTCAP, PLAI, CLAI, VHT from ET_TIME_VARYING_TABLES.
  bool MET_PRINT_ON = false;   // echo every met record read
  bool ET_PRINT_ON = false;    // echo the ET data
  bool MET_FILE_MODE = false;  // false: the met file (19); true: files 20, 21 (45, 46)
  double MET_INTERVAL = 0.0;   // hours between records of the met file
  double PRD_INTERVAL = 0.0;   // hours between records of the precipitation file
  double EPD_INTERVAL = 0.0;   // hours between records of the potential-evaporation file
  // (MET_SITE_COUNT): 0 the ET step computes potential evaporation, otherwise the
  // site's STATION_POTENTIAL_EVAP is taken.
  Array1<int> MET_SITE_PE_GIVEN;
  // Per vegetation type (NV).
  Array1<char> ET_VARIABLE_RA;        // RA from ZO, ZD, ZU and the wind speed
  Array1<double> RA;                  // aerodynamic resistance, s/m
  Array1<double> ZU;                  // anemometer height, m
  Array1<double> ZD;                  // zero-plane displacement, m
  Array1<double> ZO;                  // roughness length, m
  Array1<double> RC;                  // canopy resistance, s/m
  Array1<int> ET_MODE;                // 2 rc from the psi table, 3 ratio, else constant RC
  Array1<int> ET_PSI_ROWS;            // rows of ET_PSI_TABLE
  Array1<double> PLAI;                // leaf area quantity: cover = min(CLAI, 1) * PLAI
  Array1<double> CSTCAP;              // canopy storage capacity, mm
  Array1<double> CK;                  // canopy drainage coefficient, mm/s
  Array1<double> CB;                  // canopy drainage exponent, 1/mm
  Array1<double> CLAI;                // leaf area quantity
  Array1<double> VHT;                 // vegetation height, m
  Array1<int> ET_RDF_ROWS;            // rows of the root density profile
  Array2<double> RDF;                 // (NV, 0..ET_RDF_ROWS_ROOM): column 0 RDL, then
                                      // the density of the j-th cell down from the top
  Array3<double> ET_PSI_TABLE;        // (ET_PSI_ROWS_ROOM, 3 columns, NV)
  Array1<double> ET_RA_COEFFICIENT;   // (ln((ZU - ZD) / ZO))^2 / 0.41^2
  std::array<EtTimeVaryingTable, ET_VARYING_PARAMETER_COUNT> ET_TIME_VARYING_TABLES;

  // --- evapotranspiration: state and outputs of the ET step -------------------------
  double ET_CLOCK = 0.0;  // hours since the run start, as the ET component counts them
  Array1<double> cstore;  // (NEL): canopy storage, mm (zero or from the hot start)
  bool root_zone_warning_given = false;  // warning 4999 is reported once per run
  int SM_ET_FLAG = 0;     // set by the snow step when the element's ET runs as usual
  // Per element (NEL), m/s. The ET step writes the column elements; the driver writes
  // the channel links' PNETTO, ET_POTENTIAL_EVAP, ET_SURFACE_WATER_EVAP, ET_GROUND_EVAP.
  Array1<double> PNETTO;                 // net rainfall reaching the ground (+ well water)
  Array1<double> DRAINA;                 // drainage from the canopy store
  Array1<double> ET_POTENTIAL_EVAP;      // potential evaporation left after the canopy's
  Array1<double> ET_CANOPY_EVAP;         // evaporation of intercepted water
  Array1<double> ET_TRANSPIRATION;       // transpiration, summed over the root cells
  Array1<double> ET_SOIL_EVAP;           // evaporation from the soil surface
  Array1<double> ET_SURFACE_WATER_EVAP;  // evaporation from ponded water
  Array1<double> ET_GROUND_EVAP;         // ET_SURFACE_WATER_EVAP + ET_SOIL_EVAP
  // (cell 1..LL, NEL): transpiration drawn from each cell, m/s; sized with the other
  // per-cell arrays by the subsurface set-up (empty while there are no cells).
  Array2<double> ET_ROOT_UPTAKE;

  // Snow.
  int MSM = 0;  // snowmelt method: 1 degree day, 2 energy budget; 0 when snow is off
  Array1<double> SD;  // (NEL): snow pack depth, m; empty while snow is off
};

}  // namespace quendal
