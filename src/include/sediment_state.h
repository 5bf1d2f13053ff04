// State of the sediment component.
//
// Conventions of every sediment array: depths of sediment are depths of loose deposit
// (grains and pores), m; volumes held in an element are loose volumes, m3; discharges
// through faces are volumes of solid grains per second, m3/s, positive out of the
// element (faces 1 and 2 with +QOC, faces 3 and 4 with -QOC). Size groups are numbered
// by non-decreasing grain diameter; their room is always NSEDEE, the room by element
// follows NEL and by link NLF.
#pragma once

#include "include/arrays.h"
#include "include/dimensions.h"
#include "include/saved_state.h"

namespace quendal {

constexpr int NSYBEE = 40;  // sediment boundaries
constexpr int NSYCEE = 10;  // sediment boundary categories

struct SedimentState {
  // ===== shared state: the contaminant and output components read it ===============
  int NSED = 0;                  // size groups, 1..NSEDEE
  Array1<double> DLS;            // (NEL): column: loose sediment depth; link: bed depth, m
  Array2<double> FBETA;          // (NEL, NSEDEE): composition of that sediment, sums to 1
  Array2<double> FDEL;           // (NEL, NSEDEE): suspended concentration, m3/m3 of water
  Array1<double> PLS;            // (NEL): porosity of the loose sediment of a column
  Array1<double> PBSED;          // (NLF): porosity of a link's bed sediment
  Array2<double> SOSDFN;         // (NS, NSEDEE): composition of each soil type
  Array1<double> SY_GROUND_EROSION_RATE;     // (NEL): lowering of the ground, m/s
  Array1<double> SY_BANK_EROSION_RATE;       // (NLF): lateral bank erosion, m/s
  Array3<double> SY_FACE_SEDIMENT_DISCHARGE; // (NEL, NSEDEE, 4): solid m3/s, + outwards
  Array1<double> SY_ACTIVE_LAYER_DEPTH;      // (NLF): min(DLS, DCBEDO), m
  Array2<double> SY_ACTIVE_LAYER_SEDIMENT;   // (NLF, NSEDEE): depth of each group, m
  Array2<double> SY_INFILTRATION_RATE_DEEP;    // (NLF, NSEDEE): fines into the deep bed, m3/s
  Array2<double> SY_INFILTRATION_RATE_SURFACE; // (NLF, NSEDEE): the same values
  Array1<double> SY_NET_DEPOSITION_AREA;     // (NLF): deposited cross-section since the start, m2

  // ===== parameters from the sediment data file ======================================
  int SY_OVERLAND_CAPACITY_SWITCH = 0;  // 1 Engelund-Hansen, 0 Yalin, other: no capacity
  int SY_CRITICAL_SHEAR_SWITCH = 0;     // 1: from the soil's shear parameter
  int SY_CHECK_INTERVAL = 0;            // calls between time-dependent checks; <= 0 never
  int NEPS = 0;                         // sub-steps per water step
  // Links only (zero when the catchment has none).
  int SY_CHANNEL_CAPACITY_SWITCH = 0;
  int ISUSED = 0;
  int NFINE = 0;                        // fine size groups (0 or 1)
  double FPCRIT = 0.0;                  // channel capacity limit, m3/m3
  double DLSMAX = 0.0;                  // loose depth that shields the soil from drops, m
  double ALPHA = 0.0;
  double SY_CAPACITY_CONCENTRATION_THRESHOLD = 0.0;
  double DCBEDO = 0.0;                  // greatest active-layer depth, m
  double SY_FINES_FRACTION_LIMIT = 0.0;
  double SY_FINES_CONCENTRATION_LIMIT = 0.0;
  Array1<double> DRSED;                 // (NSEDEE): grain diameter of each group, m
  // Per soil type (NS).
  Array1<double> GKR, GKF, RHOSO, SY_SOIL_SHEAR_PARAMETER, BKB;
  // Per vegetation type (NV): drip fall height (m), drop diameter (m), factor.
  Array1<double> XDRIP, DRDRIP, FDRIP;
  Array1<int> NTSOBK;                   // (NLF): soil type of a link's banks
  Array1<double> FCG;                   // (NEL), column elements: ground cover fraction
  Array1<double> FCROCK;                // (NEL), column elements: rock cover fraction
  // Boundaries: (b, 1) element, (b, 2) type 1..4, (b, 3) category, types 2 and 4
  // numbered after those of types 1 and 3.
  int NSYB = 0;
  Array1<int> NSYC;                     // (4): categories of each boundary type
  Array2<int> NSYBCD;                   // (NSYBEE, 3)
  Array2<double> GBC, ABC, BBC;         // (NSEDEE, NSYCEE)

  // ===== the component's own state, kept from call to call ==========================
  int SY_CALL_COUNT = 0;                     // SY_STEP calls so far; 1 in the set-up call
  Array1<int> SY_SURFACE_SOIL_TYPE;          // (NEL): soil type of a column's top layer
  Array2<double> SY_DEEP_LAYER_SEDIMENT;     // (NLF, NSEDEE): below the active layer, m
  Array1<double> SY_SOIL_TO_SEDIMENT_RATIO;  // (NEL): eroded soil depth to loose depth
  Array1<double> SY_BANK_HEIGHT;             // (NLF): ZBFULL - ZGRUND, m
  Array1<double> SY_SOIL_MEDIAN_DIAMETER;    // (NS), m
  Array1<double> SY_PREVIOUS_WATER_DEPTH;    // (NEL): column water depth after the last sub-step
  Array1<double> SY_PREVIOUS_ARXL;           // (NLF): wetted area after the last sub-step
  // (NEL, NSEDEE): solid volume, m3, handed to an element after its visit in a sub-step
  // (its upstream neighbour came later in ISORT, or a link's junction took nothing);
  // the element takes it in at its next visit. Part of the stored sediment.
  Array2<double> SY_HELD_SEDIMENT;
  double SY_FINES_SETTLING_VELOCITY = 0.0;   // m/s, of group 1, fixed at first use
  bool fines_settling_velocity_set = false;
  double SY_TIME = 0.0;                      // start of the current sub-step, hours
  // (NSEDEE): run totals of solids, m3: detached from the ground and the banks, and
  // carried out of the catchment over faces without a neighbour (the sediment balance).
  Array1<double> solids_eroded, solids_out;
  // The state a hot-start record restored holds for the component, until its set-up
  // call takes it back.
  SavedState saved;

  // ===== work of a time-stepping call, sized at set-up ==============================
  // Flow variables of the step's water state.
  Array1<double> SY_CANOPY_COVER;      // (NV), fraction
  Array1<double> SY_DROP_DIAMETER;     // (NEL), column elements: damping drop size, m
  Array1<double> SY_DIRECT_RAIN_RATE;  // (NEL), column elements: rain through canopy gaps, m/s
  Array1<double> SY_WATER_DEPTH;       // (NEL), m
  Array2<double> SY_FACE_SLOPE;        // (NEL, 4): water-surface slope across each face
  Array2<double> SY_FACE_SHEAR;        // (NEL, 4): shear stress of the flow at each face, N/m2
  Array1<double> SY_ELEMENT_SHEAR;     // (NEL): shear at the face with the largest flow, N/m2
  // (junction entries, 3): share of the water leaving a junction that enters each link;
  // a junction that nothing discharged into keeps its shares.
  Array2<double> SY_JUNCTION_SHARE;
  Array1<double> leaf_drip_factor;     // (NV)
  Array1<double> SY_BANK_SEDIMENT_SUPPLY;  // (NLF): loose volume from both banks, m3/s
  // Channel transport, per sub-step.
  Array2<double> SY_CHANNEL_CAPACITY_CONCENTRATION;  // (NLF, NSEDEE), m3/m3, <= FPCRIT
  Array3<double> SY_CHANNEL_CARRIER_DISCHARGE;       // (NLF, NSEDEE, 4): outflow faces only, m3/s
  // (5, NSEDEE): n, A, m, C, E of each coarse group, filled on first use.
  Array2<double> SY_ACKERS_WHITE_TABLE;
  bool ackers_white_table_filled = false;
  Array2<double> channel_transport_rate;  // (NLF, NSEDEE): coarse groups, solid m3/s
  Array2<double> channel_carrier_total;   // (NLF, NSEDEE): end-face carriers, m3/s
  // Routing, per sub-step.
  Array2<double> SY_BOUNDARY_SEDIMENT_DISCHARGE;  // (NSEDEE, NSYBEE): into boundary faces, m3/s
  Array1<double> SY_FINES_SURFACE_VOLUME;    // (NLF): fines that may settle on the bed, m3
  Array1<int> SY_BED_AT_REST;                // (NLF): shear not above group 1's critical
  Array1<double> SY_FINES_DEEP_VOLUME;       // (NLF): fines that may pass into the deep layer, m3
  Array2<double> SY_NEW_ACTIVE_SEDIMENT;     // (NLF, NSEDEE): active depth left by the balance, m
  Array2<double> SY_NEW_DEEP_SEDIMENT;       // (NLF, NSEDEE): deep depth after infiltration, m
  Array1<int> visit_mark;                    // (NEL): sub-step number of the element's last visit
  int sub_step_mark = 0;
  // Time-dependent interface check: each element's place in ISORT (0..NEL+1), the
  // place it must come before, and status codes.
  Array1<int> isort_position, isort_bound, check_status;
};

}  // namespace quendal
