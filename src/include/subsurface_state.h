// State of the subsurface component. Other components read the top cell, the column
// and bed cells, the shared per-cell arrays, the phreatic levels and the wells; the
// rest (the data file, the soil tables, the cell stacks and their lateral
// connections) belongs to the component itself.
//
// Until the subsurface set-up generates cells, the state is the "no cells" state that
// set_no_cells() makes: LL = 0, every column's bottom cell above LL (so every loop
// from a bottom cell up to LL is empty), no link bed cell, empty per-cell arrays, no
// wells, and phreatic levels at the ground. Every reader of this state must give
// sound results on it (no transpiration drawn from cells, no heads read).
#pragma once

#include "include/arrays.h"
#include "include/dimensions.h"
#include "services/records.h"

namespace quendal {

// The build of the column solver's arithmetic a run uses: the one for any x86-64
// processor, or those for processors with the AVX2 or AVX-512 vector units. All give
// the same results to the bit (no multiply-add is fused in any of them); the later ones
// take several cells at a time.
enum class ColumnKernel { Baseline, Avx2, Avx512 };

// Room of the subsurface data that the data file fills.
constexpr int VSS_TABLE_ROWS_ROOM = 20;       // rows of a tabulated soil
constexpr int VSS_WELL_ROOM = 20;             // well rows
constexpr int VSS_CATEGORY_ROOM = 20;         // lateral boundary categories of each type
constexpr int VSS_CATEGORY_LAYER_ROOM = 20;   // layers listed for one category
constexpr int VSS_TABLE_POINTS_ROOM = 200;    // points of the soil property tables

// Soil functions.
constexpr int SOIL_VAN_GENUCHTEN = 1;
constexpr int SOIL_TABULATED = 2;
constexpr int SOIL_EXPONENTIAL = 3;
constexpr int SOIL_NOT_AVAILABLE = 4;

// Lateral and base boundary types.
constexpr int VSS_LATERAL_FLOW = 3;           // LFB
constexpr int VSS_LATERAL_HEAD = 4;           // LHB
constexpr int VSS_LATERAL_HEAD_GRADIENT = 5;  // LGB
constexpr int VSS_BASE_FLOW = 6;              // BFB
constexpr int VSS_BASE_HEAD = 7;              // BHB

// The layers listed for each category of one kind of lateral boundary.
struct VssBoundaryLayers {
  Array1<int> count;   // (VSS_CATEGORY_ROOM): layers listed; 0 the whole column
  Array2<int> layers;  // (VSS_CATEGORY_LAYER_ROOM, VSS_CATEGORY_ROOM)
  int series_columns = 0;  // values in one record of the series file
};

struct SubsurfaceState {
  int LL = 0;  // top cell of every column; 0: no cells
  // (NEL, 1..NLYREE + 1): first cell of each layer of an element; entry 1 is the
  // column's bottom cell. LL + 1 means "no cell".
  Array2<int> LAYER_BOTTOM_CELL;
  // (NLF, 2): per link and bank side, the cell of the bank element that pairs with the
  // link's highest cell below its bed zone; 0 while there are no cells.
  Array2<int> LINK_BED_CELL;
  // (NLF, 2): the share of the bank cell just above LINK_BED_CELL that lies within the
  // stream bed; the cells are laid out so that the bed level is a cell boundary, so 0.
  Array2<double> LINK_BED_CELL_FRACTION;

  // The shared per-cell arrays, cell k = 1 (bottom) .. LL; empty while LL = 0.
  Array3<double> CELL_LATERAL_FLOW;      // (4, LL, NEL): through each face, m3/s, + into the cell
  Array2<double> CELL_VERTICAL_FLOW;     // (LL, NEL): through the top face, m/s, + upwards
  Array2<double> vspsi;                  // (LL, NEL): pressure head, m
  Array2<double> CELL_THETA;             // (LL, NEL): moisture content
  Array2<double> CELL_WELL_ABSTRACTION;  // (LL, NEL): well abstraction per unit area

  // Per element (NEL).
  Array1<double> PHREATIC_LEVEL;     // phreatic surface level, m (a link: set by BUILD_ISORT)
  Array1<double> WELL_ABSTRACTION;   // m/s per unit area, positive when water is taken out
  Array1<int> WELL_WATER_SOURCE;     // the element whose well water falls here; 0 none

  // Exchange outputs, rewritten by every subsurface step. Vertical flows are m/s per
  // unit plan area, positive upwards (infiltration is negative); stream-aquifer flows
  // m3/s per link and bank side, positive from the channel into the soil.
  Array1<double> INFILTRATION_RATE;  // (NEL): through the top of the top cell
  Array1<double> COLUMN_BASE_FLOW;   // (NEL): through the base of the column, into it
  Array1<double> SPRING_DISCHARGE;   // (NEL): m3/s
  Array2<double> STREAM_AQUIFER_LATERAL_FLOW;  // (NLF, 2)
  Array2<double> STREAM_AQUIFER_WET_FLOW;      // (NLF, 2)
  Array2<double> STREAM_AQUIFER_DRY_FLOW;      // (NLF, 2)

  // ===== the component's own data =====================================================

  // --- the data file (subsurface/vss_data_file.h) ----------------------------------
  bool VSS_SHORT_TABLES = false;       // soil tables of 100 points instead of 200
  bool VSS_PRINT_SOIL_TABLES = false;
  bool LHB_AS_LEVELS = false;          // lateral head values are levels, not depths
  int NS = 0;                          // soil types
  int VSS_SURFACE_CELL_COUNT = 0;      // values of DCSZON
  int VSS_BED_CELL_COUNT = 0;          // values of DCRBED
  int VSS_INITIAL_MODE = 0;
  double VSS_INITIAL_DEPTH = 0.0;      // m
  double VSS_MIN_CELL_THICKNESS = 0.0; // m
  double VSS_DEFAULT_CELL_SIZE = 0.0;  // m, the value read plus 1e-6
  double VERTICAL_MEAN_EXPONENT = 0.0;
  double LATERAL_MEAN_EXPONENT = 0.0;
  // Per soil type (NS).
  Array1<int> SOIL_FUNCTION_TYPE;      // SOIL_VAN_GENUCHTEN .. SOIL_NOT_AVAILABLE
  Array1<int> SOIL_TABLE_ROWS;
  Array1<double> SOIL_KX, SOIL_KY, SOIL_KZ;  // saturated conductivities, m/s
  Array1<double> THSAT;                // saturated moisture content
  Array1<double> SOIL_RESIDUAL_THETA;
  Array1<double> SOIL_SPECIFIC_STORAGE;  // 1/m
  Array1<double> SOIL_VG_N;
  Array1<double> SOIL_VG_ALPHA;        // 1/cm for van Genuchten, 1/m for the exponential
  // (VSS_TABLE_ROWS_ROOM, NS): rows of a tabulated soil, wet to dry; theta as a
  // fraction of THSAT; and the natural-spline second derivatives against log10(-psi).
  Array2<double> SOIL_TABLE_PSI, SOIL_TABLE_THETA, SOIL_TABLE_K;
  Array2<double> SOIL_TABLE_THETA_D2, SOIL_TABLE_K_D2;
  // Cell zones: thicknesses from the ground (DCSZON) and from the link bed (DCRBED)
  // downwards, m, and their totals.
  Array1<double> DCSZON, DCRBED;
  double VSS_SURFACE_ZONE_DEPTH = 0.0;
  double VSS_BED_ZONE_DEPTH = 0.0;
  // Layers, per element (NEL); layer 1 the lowest. LAYER_BOTTOM_LEVEL(e, NLYR + 1)
  // holds the top of the column (the ground, or a link's equivalent bed).
  Array1<int> NLYR;
  Array2<int> NTSOIL;                  // (NEL, NLYREE)
  Array2<double> LAYER_BOTTOM_LEVEL;   // (NEL, NLYREE + 1), m
  // Counts of wells, springs and of the columns of the boundary series files.
  int VSS_WELL_COUNT = 0, VSS_SPRING_COUNT = 0;
  int VSS_LFB_COUNT = 0, VSS_LHB_COUNT = 0, VSS_LGB_COUNT = 0;
  int VSS_BFB_COUNT = 0, VSS_BHB_COUNT = 0;
  // Wells and springs, per element (NEL) unless said otherwise.
  Array1<int> WELL_NUMBER;             // row of the element's well, 0 none
  Array1<int> WELL_SERIES_COLUMN;      // column of the well series, at least 1
  Array1<double> WELL_SCREEN_BOTTOM_DEPTH, WELL_SCREEN_TOP_DEPTH;  // (VSS_WELL_ROOM), m
  Array1<double> SPRING_DEPTH, SPRING_LEVEL, SPRING_COEFFICIENT;
  // Lateral and base boundaries, per element (NEL).
  Array1<int> LATERAL_BOUNDARY_TYPE;      // 0 none, VSS_LATERAL_FLOW .. _HEAD_GRADIENT
  Array1<int> LATERAL_BOUNDARY_CATEGORY;  // at least 1
  Array1<int> LATERAL_BOUNDARY_FACE;      // the free face it acts on, 0 without one
  VssBoundaryLayers LFB, LHB, LGB;
  Array1<int> BASE_BOUNDARY_TYPE;         // VSS_BASE_FLOW, VSS_BASE_HEAD, other: none
  Array1<int> BASE_BOUNDARY_CATEGORY;     // at least 1
  // The aquifer connections of the data file, four integers each (element A, layer
  // of A, element B, layer of B).
  int IAQCON_COUNT = 0;
  Array2<int> IAQCON;                     // (4, IAQCON_COUNT)
  int VSS_ERROR_COUNT = 0;                // errors counted while setting up
  // Where the value of the first counted error was read, when its report names one:
  // the report that stops the set-up on the count names it too (file empty: none).
  FieldPlace VSS_FIRST_ERROR_PLACE;

  // --- soil property tables (subsurface/soil_tables.h) -----------------------------
  // Heads of the table points (VSPPSI, wet to dry) and, per point and soil
  // (VSS_TABLE_POINTS_ROOM, NS), moisture content, relative conductivity, storage
  // coefficient and the derivatives by psi.
  int SOIL_TABLE_POINTS = 0;
  Array1<double> VSPPSI;
  // 1 / (VSPPSI(j + 1) - VSPPSI(j)), j = 1..SOIL_TABLE_POINTS - 1: the interpolation
  // multiplies by it rather than divide, twice for every cell and iteration.
  Array1<double> inverse_table_spacing;
  Array2<double> VSPTHE, VSPKR, VSPETA, VSPDTH, VSPDKR, VSPDET;
  // (NS): the table point below saturation where a stretch of theta held level (or
  // nearly) from saturation ends and theta starts to fall; 0 where theta falls at once.
  Array1<int> SOIL_LEVEL_END;

  // --- cells and their lateral connections (subsurface/vss_cells.h) ----------------
  // (NEL, NLYREE, 4): the layers of the neighbour over face f that layer L connects
  // to, coded lowest * 21 + highest; 0 none.
  Array3<int> LAYER_FACE_CONNECTION;
  // (MAX_CELLS_PER_COLUMN, NEL): thickness and level of the computation point of each
  // cell, m; cells numbered from 1 at the bottom.
  Array2<double> CELL_THICKNESS, CELL_ELEVATION;
  Array2<int> LAYER_CELL_COUNT;  // (NEL, NLYREE): cells a layer gets; 0 by the cell size
  // (4, LL, NEL): the neighbour's cell that cell k exchanges with over face f (0 none)
  // and the span code: +1/-1 lower/upper of two own cells sharing one neighbour cell.
  Array3<int> CELL_FACE_CELL, CELL_FACE_SPLIT;
  int VSS_RENUMBER_ATTEMPTS = 0;

  // --- initial conditions, wells and springs (subsurface/vss_setup.h) ---------------
  Array1<int> WELL_SCREEN_BOTTOM_CELL, WELL_SCREEN_TOP_CELL;  // (NEL): 1, 1 without a well
  Array1<int> SPRING_CELL;         // (NEL): 0 no spring, LL + 1 level in no cell
  Array2<double> CELL_KR;          // (LL, NEL): relative conductivity
  Array2<int> CELL_TABLE_INDEX;    // (LL, NEL): soil-table interval found last
  Array2<int> CELL_SOIL_TYPE;      // (LL, NEL)
  Array3<double> CELL_FACE_AREA;   // (4, LL, NEL): contact area on each face, m2

  // --- the time step (subsurface/vss_time_step.h) -----------------------------------
  bool vss_step_prepared = false;
  // (6, NEL): 1 base kind, 2..5 kind of faces 1..4, 6 point term (1 well, 2 spring).
  Array2<int> VSS_BOUNDARY_CODE;
  Array1<double> AVAILABLE_PONDED_DEPTH;  // (NEL), m
  Array2<double> CELL_SOURCE_RATE;        // (LL, NEL), m3/s, negative removes water
  Array2<double> CELL_PSI_START, CELL_THETA_START;  // (LL, NEL)
  // The length of the last step, s (0 before the first): with CELL_PSI_START, which
  // then holds the heads at that step's start, what the next step extrapolates its
  // columns' first heads from.
  double LAST_STEP_SECONDS = 0.0;
  Array1<char> COLUMN_CONVERGED;          // (NEL)
  Array1<double> COLUMN_PSI_CHANGE;       // (0..NEL); entry 0 a missing neighbour
  // The global iteration's work list: the columns the next sweep solves, in ISORT
  // order (the first COLUMN_WORK_COUNT entries), the list being built, and each
  // element's place in ISORT. (NEL) each.
  Array1<int> COLUMN_WORK_LIST, COLUMN_NEXT_LIST, COLUMN_SORT_POSITION;
  int COLUMN_WORK_COUNT = 0;
  Array1<double> psi_copy;                // (LL): a column's heads before its solve
  // Current boundary values and the state of their series (last and next record).
  struct Series {
    double TLAST = 0.0, TNEXT = 0.0;
    Array1<double> last, next, values;
  };
  Series WLD, LFB_SERIES, LHB_SERIES, LGB_SERIES, BFB, BHB;
  Array1<double> WELL_RATE;               // (VSS_WELL_COUNT), m3/s, positive abstraction
  Array2<double> LFB_VALUE, LHB_VALUE, LGB_VALUE;  // (VSS_CATEGORY_LAYER_ROOM, category)
  Array1<double> BFB_VALUE, BHB_VALUE;    // (count)
  long COLUMN_SOLVER_FAILURES = 0;        // reports of 1036 made
  long GLOBAL_SOLVER_FAILURES = 0;        // reports of 1039 made
  // Run totals of the water that crossed the boundaries of the cells, m3, positive into
  // the cells, and the cells' water when the first step began: what the subsurface's own
  // balance is checked against.
  struct RunTotals {
    double storage_at_start = 0.0;
    double surface = 0.0;     // through the ground (a column link: through its bed)
    double channels = 0.0;    // through the faces towards channel links
    double boundaries = 0.0;  // lateral and base boundaries
    double wells = 0.0, springs = 0.0, roots = 0.0, soil_evap = 0.0;  // taken out
  } run_totals;
  // Counters for the benchmark and the tests: Newton iterations and global sweeps run.
  long newton_iterations = 0, global_sweeps = 0, column_solves = 0;
  // The column solver's build in use: the one best_column_kernel() picks (at set-up),
  // or one the benchmark chooses.
  ColumnKernel column_kernel = ColumnKernel::Baseline;
  // How often the column solver left plain Newton: rows solved with their Picard
  // diagonal (the Newton one was not negative), and iterations whose update was scaled
  // down (to the step limit, or to stop a head at saturation or at the end of a level
  // stretch). Printed at the end of the run.
  long picard_rows = 0, limited_steps = 0;

  // The state before any cell exists, for a mesh of `NEL` elements and `NLF` links:
  // phreatic levels at the ground (`ZGRUND`, indexed 1..NEL).
  void set_no_cells(int NEL, int NLF, const Array1<double>& ZGRUND) {
    LL = 0;
    LAYER_BOTTOM_CELL.resize(NEL, NLYREE + 1, LL + 1);
    LINK_BED_CELL.resize(NLF, 2, 0);
    LINK_BED_CELL_FRACTION.resize(NLF, 2, 0.0);
    CELL_LATERAL_FLOW.resize(4, LL, NEL);
    CELL_VERTICAL_FLOW.resize(LL, NEL);
    vspsi.resize(LL, NEL);
    CELL_THETA.resize(LL, NEL);
    CELL_WELL_ABSTRACTION.resize(LL, NEL);
    PHREATIC_LEVEL.resize(NEL, 0.0);
    for (int e = 1; e <= NEL; ++e) PHREATIC_LEVEL(e) = ZGRUND(e);
    WELL_ABSTRACTION.resize(NEL, 0.0);
    WELL_WATER_SOURCE.resize(NEL, 0);
    INFILTRATION_RATE.resize(NEL, 0.0);
    COLUMN_BASE_FLOW.resize(NEL, 0.0);
    SPRING_DISCHARGE.resize(NEL, 0.0);
    STREAM_AQUIFER_LATERAL_FLOW.resize(NLF, 2, 0.0);
    STREAM_AQUIFER_WET_FLOW.resize(NLF, 2, 0.0);
    STREAM_AQUIFER_DRY_FLOW.resize(NLF, 2, 0.0);
  }
};

}  // namespace quendal
