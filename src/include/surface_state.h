// State of the surface hydrology: the surface water levels and face flows, the
// channel geometry, the evapotranspiration data and outputs, and the snow state.
#pragma once

#include <array>
#include <string>
#include <vector>

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

// --- overland and channel flow: sizes, codes and the section table -----------------
constexpr int NOCTAB = 20;      // room of the OC boundary table and of a link's pairs
constexpr int NXSCEE = 100000;  // rows of a link's depth/conveyance table
constexpr int NXOC = 500;       // most elements one row of the OC solution may hold

// OC boundary type codes (face codes of the frame data, entries of the boundary table).
constexpr int OC_BC_IMPERMEABLE = 1;
constexpr int OC_BC_GRID_GRID = 2;
constexpr int OC_BC_HEAD = 3;        // grid square or bank element: level prescribed
constexpr int OC_BC_FLUX = 4;
constexpr int OC_BC_POLYNOMIAL = 5;
constexpr int OC_BC_RIVER_LINK = 6;
constexpr int OC_BC_WEIR = 7;
constexpr int OC_BC_RIVER_WEIR = 8;
constexpr int OC_BC_LINK_HEAD = 9;
constexpr int OC_BC_LINK_FLUX = 10;
constexpr int OC_BC_LINK_POLYNOMIAL = 11;
constexpr int OC_BC_ZQ_TABLE = 12;   // set at run time on a link-to-link face with a ZQ table

// Columns of OC_BOUNDARY_TABLE.
constexpr int OC_BOUNDARY_COLUMN_ELEMENT = 1;
constexpr int OC_BOUNDARY_COLUMN_FACE = 2;
constexpr int OC_BOUNDARY_COLUMN_TYPE = 3;
constexpr int OC_BOUNDARY_COLUMN_CATEGORY = 4;

// The depth/conveyance table of one channel link. Its NXSCEE rows are equally spaced in
// depth from 0 to the bank-full depth; a row is a pure function of its index and of the
// section below, so the rows are computed when they are read (OC_SECTION_TABLE_ROW in
// surface/oc/oc_conveyance.h) and a link costs a few hundred bytes instead of
// 3 x NXSCEE reals. Built by build_section_table, in the same header.
struct OcSectionTable {
  int pairs = 0;                            // NXSECT of the link
  std::array<double, NOCTAB> height{};      // XINH, m above the bed, strictly rising
  std::array<double, NOCTAB> width{};       // XINW, m
  std::array<double, NOCTAB> pair_area{};   // LINK_PAIR_AREA, m2
  double strickler = 0.0;                   // STRX of the link, the table's roughness
  double depth_step = 0.0;                  // D / (NXSCEE - 1), D the top height
  double last_depth = 0.0;                  // (NXSCEE - 1) x depth_step: the table's range
};

// One level-discharge (ZQ) table: the discharge through one face between two channel
// links as a function of the upstream level, one discharge column per operating
// setting. Columns are numbered as the file writes them: 1 the levels, 2.. the
// discharges.
struct ZqTable {
  int ZQTableRef = 0;     // the file's reference number, echoed only
  int ZQTableLink = 0;    // the channel link and its face that the table serves
  int ZQTableFace = 0;
  int ZQTableOpHour = 0;  // hour of the day at which the operating column is chosen
  int nZQcols = 0;        // columns, at least 2
  int nZQrows = 0;        // rows, at least 1
  std::vector<std::string> ZQ_COLUMN_HEADINGS;  // nZQcols headings, the first "Z"
  std::vector<double> ZQthreshold;              // per column (index k - 1); column 1 unused
  Array2<double> ZQ_TABLE_VALUES;               // (nZQrows, nZQcols): level, discharges
  int zcol = 2;           // the operating column
  double first_threshold() const { return ZQthreshold[1]; }
};

struct RunIo;

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

  // --- overland and channel flow data ------------------------------------------------
  // Read, checked and built once by OC_INITIALISE (surface/oc/oc_setup.h) from the OC
  // data file; only read afterwards.

  // Print controls of the OC data file.
  int OC_PRINT_FLAG = 0;        // p: echo when p mod 2 = 1; result window off when p < 2
  double OC_PRINT_START = 0.0;  // hours: window in which the OC step prints its results
  double OC_PRINT_END = 0.0;

  // Strickler coefficients, per element (NEL): STRX for faces 1 and 3, STRY for 2 and 4.
  Array1<double> STRX;
  Array1<double> STRY;

  // Boundary categories: the counts of the data file, the head and flux counts then
  // raised by one for every channel face of code 9 (head) or 10 (flux), so that each
  // such face has a series column of its own (units 38 and 37).
  int OC_N_HEAD_CATEGORIES = 0;
  int OC_N_FLUX_CATEGORIES = 0;
  int OC_N_POLYNOMIAL_CATEGORIES = 0;

  // The OC boundary table. Entry k (1..OC_BOUNDARY_ENTRY_COUNT, at most NOCTAB):
  //   OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_ELEMENT,  k)  the element
  //   OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_FACE,     k)  its face 1..4; 0 when the entry
  //                                                      applies to the whole element (head)
  //   OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_TYPE,     k)  type code OC_BC_... (1, 3..5, 7..11)
  //   OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_CATEGORY, k)  category (1 for weirs, polynomials
  //                                                      of links and impermeable faces)
  //   OC_BOUNDARY_COEFFICIENTS(1..5, k)  polynomial a4, a3, a2, a1, a0 (types 5, 11);
  //                                      weir Cw, submergence ratio, crest level, outside
  //                                      level, unused (types 7, 8); 0 otherwise
  // OC_BOUNDARY_OF_ELEMENT(e) is the entry of element e, 0 for none (an element has at
  // most one entry: the set-up refuses a second). To find the outlet, walk the links l
  // and their faces f with ICMREF(l, f, 2) = 0: k = OC_ELEMENT_BOUNDARY(l) >= 1 with
  // OC_BOUNDARY_TYPE(k) == OC_BC_WEIR discharges through face OC_BOUNDARY_FACE(k).
  int OC_BOUNDARY_ENTRY_COUNT = 0;
  Array2<int> OC_BOUNDARY_TABLE;            // (4, NOCTAB)
  Array2<double> OC_BOUNDARY_COEFFICIENTS;  // (5, NOCTAB)
  Array1<int> OC_BOUNDARY_OF_ELEMENT;       // (NEL)
  int OC_ELEMENT_BOUNDARY(int element) const { return OC_BOUNDARY_OF_ELEMENT(element); }
  int OC_BOUNDARY_ELEMENT(int k) const {
    return OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_ELEMENT, k);
  }
  int OC_BOUNDARY_FACE(int k) const { return OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_FACE, k); }
  int OC_BOUNDARY_TYPE(int k) const { return OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_TYPE, k); }
  int OC_BOUNDARY_CATEGORY(int k) const {
    return OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_CATEGORY, k);
  }

  // Channel geometry, per link (NLF); the pairs j = 1..NXSECT(l) of a link rise from
  // height 0 (its bed) to its bank-full height.
  Array1<double> CWIDTH;               // channel width: the width of the top pair, m
  Array1<double> ZBFULL;               // bank-full elevation: bed + top height, m
  Array1<int> NXSECT;                  // number of width/height pairs, 2..NOCTAB
  Array2<double> XINW;                 // (NLF, NOCTAB): width of pair j, m
  Array2<double> XINH;                 // (NLF, NOCTAB): height of pair j above the bed, m
  Array2<double> LINK_PAIR_AREA;       // (NLF, NOCTAB): area below the height of pair j, m2
  Array1<double> LINK_FULL_AREA;       // area below the top pair, m2
  // ZBFULL - LINK_PAIR_AREA(l, NXSECT(l)) / CWIDTH: the bed of a rectangular channel of
  // width CWIDTH holding the bank-full area; the subsurface set-up takes it as the bed.
  Array1<double> LINK_EQUIVALENT_BED;
  // Depth/conveyance table of each link, its rows computed on demand from the section
  // (surface/oc/oc_conveyance.h).
  Array1<OcSectionTable> OC_SECTION_TABLE;  // (NLF)

  // Rows of the implicit OC solution: grid row y holds the elements
  // OC_ROW_ELEMENTS(OC_ROW_START(y)) .. OC_ROW_ELEMENTS(OC_ROW_START(y + 1) - 1), west to
  // east (a north-south link on the west face of a square, with its banks, before the
  // square; an east-west link on its south face, with its banks, after it).
  Array1<int> OC_ROW_START;          // (NY + 1); OC_ROW_START(NY + 1) = placed elements + 1
  Array1<int> OC_ROW_ELEMENTS;       // (NEL)
  Array1<int> OC_COLUMN_OF_ELEMENT;  // (NEL): position 1, 2, ... of the element in its row
  int OC_FIRST_ROW = 0;              // first and last grid rows holding an element
  int OC_LAST_ROW = 0;

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

  // --- level-discharge (ZQ) tables -------------------------------------------------
  // Read once by ZQ_READ_TABLES (surface/oc/zq_tables.h) when the run names a ZQ table
  // file; the lookup changes only each table's operating column.
  int ZQ_TABLE_COUNT = 0;
  int ZQ_ACTIVE_TABLE = 0;  // the table of the face being evaluated
  Array1<ZqTable> ZQ_TABLES;
  int ZQ_ABOVE_TABLE_WARNINGS = 0;  // levels above a table's last row met so far
  // Where the lookups write their diagnostics and warnings: the run's files, set by the
  // reader. Without it (a bare state in a test) the lookups write nothing.
  RunIo* ZQ_DIAGNOSTICS_IO = nullptr;

  // --- snow: the snow data file and the pack ------------------------------------------
  // Read once by SM_READ_DATA_FILE (surface/snow/snow_data.h) when snow is on; the pack
  // is carried by SM_ELEMENT_STEP (surface/snow/snow_step.h). Depths are mm of snow; a
  // depth times the specific gravity is mm of water.
  bool SM_PRINT_ON = false;      // echo the snow data and the initial-pack grids
  double DDF = 0.0;              // degree-day factor, mm of snow / s / deg C
  double RHOS = 0.0;             // snow specific gravity as read
  double SM_RHOS_DEFAULT = 0.0;  // taken by an element whose own specific gravity is zero
  int SM_PACK_MODE = 0;          // 0 one uniform initial depth; otherwise grids, and with
                                 // 1 each element melts with its own specific gravity
  int MSM = 0;  // snowmelt method: 2 energy budget, any other degree day; 0 when snow is off
  double ZOS = 0.0;  // energy budget: roughness, m
  double ZDS = 0.0;  // zero-plane displacement, m
  double ZUS = 0.0;  // anemometer height, m
  Array1<int> SM_MET_STATION_ELEMENT;  // (met sites): an element per site, echoed only
  // Per element (NEL); empty while snow is off.
  Array1<double> SD;               // snow pack depth, mm of snow
  Array1<double> SM_ELEMENT_RHOS;  // the element's snow specific gravity
  Array1<double> TS;               // pack temperature, deg C, never below -50
  // Pending meltwater slugs of each element, oldest first: the water (mm) and the time
  // on ET_CLOCK (hours) at which it reaches the ground. A pack holds as many as it makes.
  Array1<std::vector<double>> SMELT;
  Array1<std::vector<double>> TMELT;
  int NSMC(int element) const { return static_cast<int>(SMELT(element).size()); }
};

}  // namespace quendal
