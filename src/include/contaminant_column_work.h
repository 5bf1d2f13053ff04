// Work values of the column set-up, overwritten column by column: the set-up of an
// element fills them and the transport of the same element reads them.
//
// Every vector is sized once, when the state is made, with room for cells 0..51 (the
// most cells a column has and a ghost cell on either side), so preparing and solving a
// column allocates nothing. Lengths marked "scaled" are divided by CM_LENGTH_SCALE.
#pragma once

#include "include/arrays.h"
#include "include/dimensions.h"

namespace quendal {

constexpr int CM_COLUMN_ROOM_LOW = 0;
constexpr int CM_COLUMN_ROOM_HIGH = MAX_CELLS_PER_COLUMN + 1;

// A per-cell vector of the column work: cells 0..51.
struct CmCellVector : Array1<double> {
  CmCellVector() : Array1<double>(CM_COLUMN_ROOM_LOW, CM_COLUMN_ROOM_HIGH, 0.0) {}
};
// A per-cell, per-face table of the column work: cells 0..51, faces 1..4.
struct CmCellFaceTable : Array2<double> {
  CmCellFaceTable() { resize_range(CM_COLUMN_ROOM_LOW, CM_COLUMN_ROOM_HIGH, 1, 4, 0.0); }
};

struct ContaminantColumnWork {
  // ----- per-column values of the set-up ----------------------------------------------
  int CM_COL_ELEMENT = 0;      // the element prepared last
  int CM_COL_BOTTOM = 0;       // CM bottom cell c0
  int CM_COL_TOP = 0;          // LL
  int CM_COL_BANK_SIDE = 0;    // 0 grid square, 1 or 2 bank element
  bool CM_COL_IS_BANK = false;
  int CM_COL_BANK_LINK = 0;    // kept from the last bank prepared when a square follows
  int CM_COL_BANK_FACE = 0;    // the bank's face towards its link; 0 for a square
  int CM_COL_BANK_OFFSET = 0;  // d: bank cell k lies beside link cell k + d
  bool CM_COL_NO_NEIGHBOUR[5] = {};  // [1..4]
  int CM_COL_NEIGHBOUR[5] = {};      // [1..4]: the element across, itself when none
  double CM_COL_STEP_NEW = 0.0;      // implicit weight x step factor
  double CM_COL_STORAGE_STEP = 0.0;  // storage weight x step factor
  double CM_COL_SURFACE_SCALE = 0.0;  // s/m3
  double CM_COL_LATERAL_SCALE = 0.0;  // s/m3
  double CM_COL_BASE_SCALE = 0.0;     // s/m3
  double CM_COL_DEPTH_OLD = 0.0, CM_COL_DEPTH_NEW = 0.0;                  // scaled
  double CM_COL_PONDED_DEPTH_OLD = 0.0, CM_COL_PONDED_DEPTH_NEW = 0.0;    // m
  double CM_COL_LOOSE_SEDIMENT_OLD = 0.0, CM_COL_LOOSE_SEDIMENT_NEW = 0.0;  // m
  double CM_COL_EROSION_RATE_OLD = 0.0, CM_COL_EROSION_RATE_NEW = 0.0;    // m/s
  double CM_COL_SEDIMENT_WATER_FACTOR = 1e-4;
  double CM_COL_DX = 0.0, CM_COL_DY = 0.0;                                // m
  double CM_COL_SURFACE_FLOW_OLD[5] = {}, CM_COL_SURFACE_FLOW_NEW[5] = {};  // m3/s, into
  double CM_COL_TOP_INPUT_OLD = 0.0, CM_COL_TOP_INPUT_NEW = 0.0;          // m3/s, - down
  int CM_COL_WELL_SOURCE = 0;
  double CM_COL_WELL_INPUT_OLD = 0.0, CM_COL_WELL_INPUT_NEW = 0.0;        // m3/s, - down
  double CM_COL_BASE_FLOW_OLD = 0.0, CM_COL_BASE_FLOW_NEW = 0.0;          // m3/s, + up

  // ----- per-cell vectors of the set-up ----------------------------------------------
  Array1<int> CM_COL_SOIL{CM_COLUMN_ROOM_LOW, CM_COLUMN_ROOM_HIGH, 0};
  CmCellVector CM_COL_BANK_WEIGHT, CM_COL_BANK_WEIGHT_INVERSE;
  CmCellVector CM_COL_THICKNESS;  // scaled; cell t + 1 repeats cell t
  CmCellVector CM_COL_SPACING;    // scaled, node of cell k to node of cell k + 1
  CmCellVector CM_COL_THETA_OLD, CM_COL_THETA_NEW;
  CmCellVector CM_COL_MOBILE_FRACTION_OLD, CM_COL_MOBILE_FRACTION_NEW;
  CmCellVector CM_COL_VERTICAL_FLOW_OLD, CM_COL_VERTICAL_FLOW_NEW;  // m/s, + up
  CmCellVector CM_COL_EXCHANGE_FLOW_OLD, CM_COL_EXCHANGE_FLOW_NEW;  // 1/s
  CmCellVector CM_COL_ROOT_UPTAKE;         // m/s
  CmCellVector CM_COL_WELL_FLOW;           // m/s, + taken out
  CmCellVector CM_COL_BANK_EXCHANGE_FLOW;  // m3/s, + out of the channel
  CmCellVector CM_COL_FLOW_WEIGHT;
  CmCellVector CM_COL_FACE_FLOW;           // m3/s, the face in hand
  CmCellVector CM_COL_ACCUMULATOR;         // bank-link exchange source of the transport
  CmCellFaceTable CM_COL_LATERAL_FLOW_OLD, CM_COL_LATERAL_FLOW_NEW;  // scaled, + into

  // ----- work of the transport, per contaminant --------------------------------------
  CmCellVector Co, So, Cn, Sn;    // start and new concentrations
  CmCellVector Dm1, Dm2;          // diffusion coefficients of the two flow fields
  CmCellVector Kd, fs, alpha;     // soil parameters of the contaminant in hand
  CmCellFaceTable N, Nr;          // concentration across each face and its rate
  double NS[5] = {}, NSr[5] = {}, KS[5] = {}, KSr[5] = {};  // surface, per face
  double kw = 0.0, kw_slope = 0.0, kw_rate = 0.0;  // own surface water
  double kb = 0.0, kb_slope = 0.0, kb_rate = 0.0;  // own loose sediment
  // Sorption coefficients of the suspended (F) and loose (B) sediment, at the last step
  // (o) and now (n).
  double Fo_K = 0.0, Fn_K = 0.0, Bo_K = 0.0, Bn_K = 0.0;
  double SRC = 0.0, RAIN = 0.0, RAINR = 0.0;
  double base_value = 0.0;        // imposed value or the inflow concentration
  double Cex = 0.0;               // bank-link exchange concentration
  CmCellVector S;                 // removal source
  // What the contaminant in hand lost by decay in each cell over the step, dynamic
  // region and dead space, per unit of scaled volume and time: the next contaminant's
  // gain.
  CmCellVector P1, P2;
  CmCellVector Pa, Pb;            // inherited and outside terms of each row
  CmCellVector A, B, C, D, E, F, G, H;  // the two balances of each row
  CmCellVector Rd, Rs, Rd_slope, Rs_slope, dW, dWd;  // capacities and water rates
  // Coefficients of C^n in the start-of-step content of each region (the soil's sorption,
  // and at the top cell the sorption to the surface stores under Freundlich sorption).
  CmCellVector sorbed_d, sorbed_s;
  // Storage of each region per unit change of its concentration in the last solve: the
  // tangent of the content at the start concentration, then the chord to the
  // concentration of the pass before.
  CmCellVector cap_d, cap_s;
  CmCellVector Bp, Gp;            // what the chords add to B and G in a pass
  CmCellVector Bt, Dt, Gt;        // rows with the dead space eliminated
  CmCellVector X, R;              // solved rates
  // Terms of the top cell's own row that its rewrite with the surface water reads.
  double top_Eout = 0.0, top_Ein = 0.0, top_lower = 0.0, top_AS = 0.0, top_OUTL = 0.0;
  // The top row's ground-erosion terms, for the budget: the part known at the start of
  // the step and the coefficient of the top cell's concentration change.
  double erosion_explicit = 0.0, erosion_implicit = 0.0;
  // The bottom row as the cell's own balance assembled it, before the base took it over.
  double natural_B = 0.0, natural_C = 0.0, natural_E = 0.0, natural_D = 0.0;
};

}  // namespace quendal
