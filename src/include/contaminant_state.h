// State of the contaminant component.
//
// Index order: every per-cell array is stored cell-fastest, like the subsurface
// per-cell arrays, so one column of one contaminant is contiguous: a concentration is
// (cell, element, contaminant), a stored face flux (face, cell, element). Rooms follow
// the run (NEL, NLF, LL, set by `size`), never the compile-time limits: four
// concentration arrays sized for NELEE elements of 50 cells would take 190 MB.
//
// Relative concentrations are dimensionless. A channel link keeps three compartments in
// the dynamic arrays: cell LL the surface water, LL - 1 the stream-bed surface layer,
// LL - 2 the stream-bed deep layer; its dead-space entries are not used.
#pragma once

#include <array>

#include "include/arrays.h"
#include "include/contaminant_budget.h"
#include "include/contaminant_column_work.h"
#include "include/contaminant_link_work.h"
#include "include/dimensions.h"
#include "include/saved_state.h"

namespace quendal {

constexpr int CM_MAX_CATEGORIES = 20;
constexpr int CM_MAX_TABLE_ROWS = 20;

// ===== parameters read from the CMD data file ==========================================
struct ContaminantParameters {
  int NCON = 0;  // contaminants simulated (read early by GET_NCON_EARLY, again by the reader)
  bool CM_BASE_FLUX_ON = false;  // true: inflow boundary at the base; false: fixed value
  bool CM_NONLINEAR_ON = false;  // Freundlich terms on
  double CM_SURFACE_LAYER_DEPTH = 0.0;  // m, stream-bed surface layer
  double CM_BED_DEPTH = 0.0;            // m, surface + deep layer below the channel bed
  Array1<int> CM_BOTTOM_CELL;            // (NEL): lowest cell of each column in the solution

  // Per contaminant (1..3).
  std::array<bool, CM_MAX_CONTAMINANTS + 1> CM_CATEGORY_TABLES_ON{};  // [1..3]; [0] unused
  Array1<double> CM_UNIFORM_REL_CONC{CM_MAX_CONTAMINANTS, 0.0};
  Array1<int> NCAT{CM_MAX_CONTAMINANTS, 0};
  Array2<int> NCATTY;                    // (NEL, 3): category of each column element
  Array2<int> NTBL{CM_MAX_CATEGORIES, CM_MAX_CONTAMINANTS, 0};  // (category, contaminant)
  Array3<double> DTAB{CM_MAX_CATEGORIES, CM_MAX_TABLE_ROWS, CM_MAX_CONTAMINANTS, 0.0};  // m
  Array3<double> CTAB{CM_MAX_CATEGORIES, CM_MAX_TABLE_ROWS, CM_MAX_CONTAMINANTS, 0.0};
  Array1<double> CM_RAIN_REL_CONC{CM_MAX_CONTAMINANTS, 0.0};
  Array2<double> CM_INFLOW_REL_CONC;     // (NEL, 3): boundary inflow of listed columns
  Array2<double> CM_BASE_FLUX_REL_CONC;  // (NEL, 3): used when CM_BASE_FLUX_ON
  Array2<double> CM_BASE_FIXED_REL_CONC; // (NEL, 3): used otherwise
  Array1<double> CM_SURFACE_SOURCE{CM_MAX_CONTAMINANTS, 0.0};
  Array2<double> CM_SOIL_SIZE_FRACTIONS{NSEE, NSEDEE, 0.0};  // (soil, size group)
  Array1<double> CM_FREUNDLICH_EXPONENT{CM_MAX_CONTAMINANTS, 0.0};
  Array1<double> CM_DECAY_RATE{CM_MAX_CONTAMINANTS, 0.0};  // 1/s
  Array1<double> CM_BED_LAYER_EXCHANGE{CM_MAX_CONTAMINANTS, 0.0};
  Array1<double> CM_WATER_BED_EXCHANGE{CM_MAX_CONTAMINANTS, 0.0};
  Array2<double> CM_SEDIMENT_KD{NSEDEE, CM_MAX_CONTAMINANTS, 0.0};  // (size group, contaminant)
  Array2<double> CM_DEAD_SPACE_EXCHANGE{NSEE, CM_MAX_CONTAMINANTS, 0.0};  // (soil, contaminant)
  Array2<double> CM_DYNAMIC_SORPTION_FRACTION{NSEE, CM_MAX_CONTAMINANTS, 0.0};
};

// ===== constants fixed at initialisation ===============================================
struct ContaminantScales {
  double CM_LENGTH_SCALE = 50.0;             // m
  double CM_DIFFUSIVITY_SCALE = 0.001;       // m2/s
  double CM_INVERSE_DIFFUSIVITY = 1000.0;
  double CM_INVERSE_VELOCITY_SCALE = 50000.0;  // s/m
  double CM_AREA_SCALE = 2500.0;             // m2
  double CM_TIME_SCALE = 2.5e6;              // s
  double CM_CONNECTION_WEIGHT_UNIT = 1.0 / 32500.0;
  double CM_IMPLICIT_WEIGHT = 1.0;
  double CM_STORAGE_WEIGHT = 1.0;
  double CM_OLD_FLOW_WEIGHT = 0.0;
  int CM_TOP_CELL = 0;                       // LL
};

struct ContaminantState : ContaminantParameters, ContaminantScales {
  // ----- concentrations (cell 1..LL, element 1..NEL, contaminant 1..3) -----------------
  Array3<double> CM_REL_CONC_DYNAMIC;         // end of the step
  Array3<double> CM_REL_CONC_DEAD_SPACE;
  Array3<double> CM_REL_CONC_DYNAMIC_OLD;     // start of the step
  Array3<double> CM_REL_CONC_DEAD_SPACE_OLD;
  Array2<double> CM_WELL_REL_CONC;            // (NEL, 3): water taken by an element's well
  // Exchange concentration between a bank and its link: (link, side, contaminant).
  Array3<double> CM_BANK_EXCHANGE_CONC;

  // True once the initialisation has set the initial state: until then CM_TIME_STEP has
  // nothing to advance and leaves the state alone.
  bool initial_state_set = false;

  // ----- step values, set by CM_TIME_STEP ---------------------------------------------
  double CM_STEP_FACTOR = 0.0;                // DTUZ / CM_TIME_SCALE
  Array1<double> CM_LINK_END_FLOW_1;          // (NLF): m3/s into the link through end 1
  Array1<double> CM_LINK_END_FLOW_2;          // (NLF): through end 2
  Array1<double> CM_WELL_ABSTRACTION_OLD;     // (NEL): m/s, at the previous step

  // ----- tables derived at initialisation ---------------------------------------------
  Array1<double> CM_DECAY_RATE_SCALED{CM_MAX_CONTAMINANTS, 0.0};
  Array2<double> CM_SOIL_KD{NSEE, CM_MAX_CONTAMINANTS, 0.0};  // (soil, contaminant)
  Array1<double> CM_BOTTOM_LEVEL;             // (NEL): m
  Array1<double> CM_RAIN_REL_CONC_STEP{CM_MAX_CONTAMINANTS, 0.0};
  Array1<double> CM_SURFACE_SOURCE_STEP{CM_MAX_CONTAMINANTS, 0.0};
  Array1<int> CM_LINK_BED_SOIL;               // (NLF): bed soil type
  Array2<double> CM_LINK_BED_SIZE_SHARE;      // (NLF, NSEDEE)

  // ----- per-element stores of the column set-up (its last values) --------------------
  Array2<double> CM_STORED_THETA;             // (cell 1..LL, NEL)
  Array2<double> CM_STORED_VERTICAL_FLOW;     // (cell 0..LL, NEL): index 0 the flow into cell 1
  Array2<double> CM_STORED_SINK;              // (cell 1..LL, NEL)
  Array3<double> CM_STORED_FACE_FLUX;         // (face 1..4, cell 1..LL, NEL)
  Array1<double> CM_STORED_COLUMN_DEPTH;      // (NEL)
  Array1<double> CM_STORED_WATER_DEPTH;
  Array1<double> CM_STORED_DLS;
  Array1<double> CM_STORED_EROSION;
  Array2<double> CM_STORED_SURFACE_FLOW;      // (face 1..4, NEL)
  Array1<double> CM_STORED_TOP_INPUT;
  Array1<double> CM_STORED_BASE_FLOW;

  // ----- exchange terms of the columns, kept between steps -----------------------------
  // Capacity factor of each column's surface water, its slope against the top cell's
  // concentration and its rate, from its last transport step: (NEL, 3).
  Array2<double> CM_SURFACE_CAPACITY, CM_SURFACE_CAPACITY_SLOPE, CM_SURFACE_CAPACITY_RATE;
  // The same for the water of each channel link, written by the link transport: (NLF, 3).
  Array2<double> CM_LINK_SURFACE_CAPACITY, CM_LINK_SURFACE_CAPACITY_SLOPE,
      CM_LINK_SURFACE_CAPACITY_RATE;
  // Capacities of the dynamic region and the dead space of the bank cells above each
  // link's bed, for the link transport: [contaminant](cell 1..LL, side, link).
  std::array<Array3<double>, CM_MAX_CONTAMINANTS + 1> CM_BANK_CAPACITY_DYNAMIC,
      CM_BANK_CAPACITY_DEAD_SPACE;

  // ----- per-link stores of the link set-up -------------------------------------------
  Array1<double> CM_LINK_WATER_AREA;          // (NLF): scaled
  Array1<double> CM_LINK_BED_AREA;
  Array1<double> CM_LINK_BED_THETA;
  Array1<double> CM_LINK_BED_THETA_OLD;

  // ----- link bed geometry and bed state ----------------------------------------------
  Array2<int> CM_BANK_ELEMENT;                // (NLF, 2): bank element per side
  Array2<int> CM_BED_BOTTOM_CELL;             // (NLF, 2)
  Array2<double> CM_BED_BOTTOM_FRACTION;      // (NLF, 2)
  Array2<int> CM_BANK_EXCHANGE_CELL;          // (NLF, 2)
  Array1<double> CM_SURFACE_LAYER_AREA;       // (NLF): scaled
  Array1<double> CM_BED_AREA_BASE;            // (NLF): scaled
  Array2<double> CM_LINK_BED_FRACTIONS_PREVIOUS;   // (NLF, NSEDEE)
  Array2<double> CM_FDEL_PREVIOUS;                 // (NEL, NSEDEE)
  Array2<double> CM_LINK_BED_SIZE_SHARE_PREVIOUS;  // (NLF, NSEDEE)
  Array2<double> CM_FBETA_PREVIOUS;                // (NEL, NSEDEE)

  // Scaled cell thicknesses (cell 1..LL + 1, element); entry LL + 1 repeats LL.
  Array2<double> CM_CELL_THICKNESS_SCALED;
  // Connection lists of every column element and face, entries from the lowest cell up.
  Array3<int> CM_FACE_CELL_LIST;              // (entry, face, NEL): neighbour cell
  Array3<int> CM_FACE_CELL_START;             // (cell 1..LL + 1, face, NEL): first entry
  Array3<int> CM_FACE_CELL_OWN;               // (entry, face, NEL): own cell
  Array3<int> CM_FACE_CELL_WEIGHT;            // (entry, face, NEL): share, 32500 = whole face

  // ----- work records, overwritten element by element ---------------------------------
  ContaminantColumnWork column_work;
  ContaminantLinkWork link_work;
  // Link balances of the whole run whose solution failed (all links, contaminants, steps).
  int SNL3_FAILURE_COUNT = 0;
  ContaminantLinkBudget link_budget;

  // ----- our own account of the mass, per contaminant ---------------------------------
  ContaminantBudget budget;

  // The state a hot-start record restored holds for the component, until the first due
  // step takes it back.
  SavedState saved;

  // Sizes every run-dependent array for NEL elements (NLF of them links) of LL cells.
  void size(int NEL, int NLF, int LL);
};

}  // namespace quendal
