// The link work record, overwritten link by link: the link set-up fills it, the link
// transport completes it per contaminant and the link balance consumes it.
//
// Everything in it is dimensionless (lengths in units of 50 m, time in units of
// 2.5e6 s). Indices follow the model: bank side 1..2, neighbour slot 1..6 (1-3 at the
// link's first end, 4-6 at its second), bank cell 1..50.
#pragma once

#include "include/arrays.h"
#include "include/dimensions.h"

namespace quendal {

// A storage capacity over the step: its start value, its slope with respect to the
// start concentration and its rate of change. Under Freundlich sorption also what the
// capacity at the end of the step is made of: `end_base`, the part that does not depend
// on the concentration, and `sorbed`, the sorption coefficient of the compartment's
// sediment, which the isotherm's power C^(n-1) multiplies.
struct CmCapacity {
  double cap = 0.0;
  double slope = 0.0;
  double rate = 0.0;
  double end_base = 0.0;
  double sorbed = 0.0;
};

// A transfer of sorbed contaminant between compartments: value, linear coefficient
// and rate.
struct CmTransfer {
  double value = 0.0;
  double linear = 0.0;
  double rate = 0.0;
  // The sediment rises (its infiltration rate below zero): the transfer runs the other
  // way, from the lower compartment at its concentration.
  bool upward = false;
};

struct ContaminantLinkWork {
  // ----- filled by the link set-up -----------------------------------------------------
  double WATER_AREA = 0.0;          // A
  double WATER_AREA_RATE = 0.0;     // dA
  double BED_AREA = 0.0;            // B
  double BED_AREA_RATE = 0.0;       // dB
  double SURFACE_LAYER_AREA = 0.0;  // As
  double DEPOSITION_RATE = 0.0;     // rd = dB / B, per unit of scaled time
  double BANK_EROSION = 0.0;        // eb
  double WET = 0.0;                 // W: 1 wet, 0 dry
  double LENGTH = 0.0;              // l
  Array1<int> BANK_ELEMENT{2, 0};
  Array1<int> FIRST_CELL_ABOVE_BED{2, 0};   // kb(s)
  Array1<char> HAS_NEIGHBOURS{2, 0};        // per end
  Array1<int> NEIGHBOUR{6, 0};              // n(k), 0 an empty slot
  Array1<int> NEIGHBOUR_END{6, 0};          // e(k): end flow of n(k) towards the link
  Array1<double> NEIGHBOUR_AREA{6, 0.0};    // a(k)
  Array1<double> NEIGHBOUR_VELOCITY{6, 0.0};  // v(k), positive into the link
  Array1<double> END_VELOCITY{2, 0.0};      // V1, V2, positive into the link
  Array1<double> SIDE_FLOW{2, 0.0};         // qs1, qs2, positive into the link
  Array1<double> WET_EXCHANGE{2, 0.0};      // w1, w2, positive into the channel
  Array2<double> BANK_CELL_THICKNESS{2, MAX_CELLS_PER_COLUMN, 0.0};  // h(s, c)
  Array2<double> BANK_LATERAL_FLUX{2, MAX_CELLS_PER_COLUMN, 0.0};    // p(s, c)
  double RAIN_INFLOW = 0.0;   // Qr of the water: -PNETTO x AREA, m3/s
  int WELL_ELEMENT = 0;
  double WELL_INFLOW = 0.0;   // Qw: -(previous abstraction) x AREA of the well element, m3/s

  // ----- filled by the link transport, per contaminant ---------------------------------
  Array2<double> BANK_REL_CONC{2, MAX_CELLS_PER_COLUMN, 0.0};       // cb(s, c)
  Array2<double> BANK_DEAD_REL_CONC{2, MAX_CELLS_PER_COLUMN, 0.0};  // db(s, c)
  Array1<double> BANK_BOTTOM_REL_CONC{2, 0.0};  // cb1(s): bank-link exchange concentration
  Array1<double> BANK_TOP_REL_CONC{2, 0.0};     // ct(s)
  Array1<double> NEIGHBOUR_REL_CONC{6, 0.0};    // c(k)
  Array1<double> NEIGHBOUR_CAPACITY{6, 0.0};    // f(k)
  double RAIN_INPUT = 0.0;    // Qr: rain and well water, negative for an input
  double SOURCE_INPUT = 0.0;  // Qq: surface source, negative for an input
  CmTransfer BED_TRANSFER;    // Fd: surface layer into deep layer
  CmTransfer WATER_TRANSFER;  // Fs: water into surface layer
  CmCapacity DEEP_LAYER_CAPACITY;     // kd
  CmCapacity SURFACE_LAYER_CAPACITY;  // ks
  CmCapacity WATER_CAPACITY;          // kw
  CmCapacity DEPOSIT_CAPACITY;        // kp
  Array2<double> BANK_DYNAMIC_CAPACITY{2, MAX_CELLS_PER_COLUMN, 0.0};  // phi_d(s, c)
  Array2<double> BANK_DEAD_CAPACITY{2, MAX_CELLS_PER_COLUMN, 0.0};     // phi_e(s, c)
  Array1<double> BANK_CAPACITY{2, 0.0};   // kc(s)
  double LAYER_EXCHANGE = 0.0;      // chi47
  double WATER_BED_EXCHANGE = 0.0;  // chi49
  double DECAY = 0.0;               // lambda
  // The contaminant before this one in the chain (all zero for the first): its new
  // concentrations and end-of-step capacities in water, surface and deep layer.
  Array1<double> PARENT_REL_CONC{3, 0.0};
  Array1<double> PARENT_CAPACITY{3, 0.0};
  double PARENT_DECAY = 0.0;
};

// The links' share of our own account of each contaminant's mass, in relative
// concentration x m3 since initialisation, per contaminant 1..3.
struct ContaminantLinkBudget {
  // Rain, well water and the surface source falling into links, the contaminant that
  // bank erosion releases, and the inflow through link ends without a neighbour.
  Array1<double> link_in{CM_MAX_CONTAMINANTS, 0.0};
  // Outflow through link ends without a neighbour (the outlet among them).
  Array1<double> link_out{CM_MAX_CONTAMINANTS, 0.0};
  // Lost by decay in the three compartments, and gained from the decay of the
  // contaminant before it in the chain.
  Array1<double> link_decayed{CM_MAX_CONTAMINANTS, 0.0};
  Array1<double> link_produced{CM_MAX_CONTAMINANTS, 0.0};
};

}  // namespace quendal
