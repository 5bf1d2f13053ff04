// The hydraulic quantities the sediment step derives once per water step from the
// water state (depths, face slopes and shear stresses, canopy cover, drop diameters,
// direct rain, junction shares), and the critical shear stress that detachment, bank
// erosion and the transport capacities share.
#pragma once

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/sediment_state.h"
#include "include/surface_state.h"

namespace quendal {

// Physical constants of the sediment component and those derived from them, stored as
// these values (the derived ones agree with the first four but for the last digits).
constexpr double SY_WATER_DENSITY = 998.0;            // kg/m3
constexpr double SY_WATER_UNIT_WEIGHT = 9787.0367;    // 998 x 9.80665, N/m3
constexpr double SY_SUBMERGED_UNIT_WEIGHT = 16200.5858;  // (2650 - 998) x 9.80665, N/m3
// 1 / (sqrt(998) x 1e-6): sqrt(shear) x diameter to a grain Reynolds number.
constexpr double SY_GRAIN_REYNOLDS_FACTOR = 31654.446891645923;
// Exponent factor of the critical shear from a soil's shear parameter.
constexpr double SY_SOIL_SHEAR_EXPONENT = 4.213730720179104;

// Outflow of element e through face f: QOC taken positive out of the element.
inline double sy_outflow(const Array2<double>& qoc, int e, int f) {
  return f <= 2 ? qoc(e, f) : -qoc(e, f);
}

// The critical shear stress (N/m2) for grains of diameter d (m) under an acting shear
// tau (N/m2). Switch 1 takes it from the soil's shear parameter p alone; any other
// switch from the grain Reynolds number of d and tau on a Shields-type curve.
double SY_CRITICAL_SHEAR(int critical_shear_switch, double d, double tau, double p);

// Diameter (m) of the drops whose impact surface water damps, from the net rainfall
// and canopy drainage rates (m/s) and the vegetation's leaf-drip drop diameter (m).
double sy_drop_diameter(double net_rain, double drainage, double drip_diameter);

// Fills the flow variables of `sediment` (SY_CANOPY_COVER, SY_DROP_DIAMETER,
// SY_DIRECT_RAIN_RATE, SY_WATER_DEPTH, SY_FACE_SLOPE, SY_FACE_SHEAR, SY_ELEMENT_SHEAR,
// SY_JUNCTION_SHARE) from the levels HRF_SY_COPY and the face flows QOC. The arrays
// must have been sized by SY_SIZE_WORK_ARRAYS.
void SY_FLOW_VARIABLES(const FrameState& frame, const SurfaceState& surface,
                       SedimentState& sediment);

}  // namespace quendal
