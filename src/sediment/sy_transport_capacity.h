// Capacity of the flow to carry sediment: overland, the total over the outflow faces
// of one column element; in the channels, a capacity concentration per link and size
// group with the discharges that carry each group out through each face.
#pragma once

#include "include/frame_state.h"
#include "include/sediment_state.h"
#include "include/surface_state.h"
#include "services/array_section.h"

namespace quendal {

// Constants of the transport formulas, stored as these values.
constexpr double SY_REDUCED_GRAVITY = 16.233051903807617;  // g (rho_s / rho - 1), m/s2
// (g (rho_s / rho - 1) / nu^2)^(1/3): a diameter to a dimensionless grain diameter, 1/m.
constexpr double SY_GRAIN_DIAMETER_FACTOR = 25320.176328277594;
// Largest dimensionless grain diameter of the Ackers-White coefficients.
constexpr double SY_GRAIN_DIAMETER_LIMIT = 61.05412296585327;
constexpr double SY_SQRT_32 = 5.656854249492381;
constexpr double SY_ENGELUND_HANSEN_COEFFICIENT = 0.0058270757412279195;  // 0.05 / ((s - 1)^2 sqrt g)
constexpr double SY_YALIN_A_COEFFICIENT = 0.01302430602436604;  // 2.45 (rho/rho_s)^0.4 / sqrt((rho_s - rho) g)
constexpr double SY_YALIN_RATE_COEFFICIENT = 0.02010057377619516;  // 0.635 / sqrt(rho)
constexpr double SY_CARRIER_VELOCITY_COEFFICIENT = 0.26906279857899035;  // 8.5 / sqrt(rho)

// Engelund-Hansen total load (solid m3/s) of grains of diameter d (m) carried by a
// discharge q (m3/s) over a width w (m) at water-surface slope s and depth h (m);
// 0 when h or d is not positive.
double sy_engelund_hansen(double q, double s, double w, double d, double h);

// Yalin bed load (solid m3/s) of grains of diameter d (m) over a width w (m) under a
// shear tau (N/m2); 0 up to the grain rule's critical shear, and 0 when that is not
// positive.
double sy_yalin(double tau, double d, double w);

// Ackers-White coefficients of a grain diameter d (m).
struct SyAckersWhite {
  double n;  // transition exponent: 1 for fine grains, 0 for coarse
  double A;  // mobility at the threshold of motion
  double m;  // exponent of the transport function
  double C;  // coefficient of the transport function
  double E;  // 1 / sqrt(g (s - 1) d)
};
SyAckersWhite sy_ackers_white_coefficients(double d);
// The threshold mobility A of a grain diameter d (m).
double sy_ackers_white_threshold(double d);

// Ackers-White transport rate (solid m3/s) of grains of diameter d (m) in a channel
// whose water of depth h (m) flows out at q (m3/s) with mean velocity v (m/s) and
// shear velocity u (m/s), with the group's coefficients c.
double sy_ackers_white_rate(const SyAckersWhite& c, double d, double h, double q, double v, double u);

// The reference diameter (m) of a graded bed for the hiding correction, from the
// depths of its n size groups (diameters d ascending): from its D84, D50 and D16; 0 for
// an empty bed.
double sy_hiding_diameter(ConstRealSection layer, int n, ConstRealSection d);
// Threshold mobility of grains of diameter d (m) hidden among or exposed above the
// grains of a bed of reference diameter d_a (m).
double sy_hiding_threshold(double d_a, double d);

// Transport capacity of the overland flow leaving a column element of sides dxqq,
// dyqq (m) with water depth h (m), solid m3/s, for the median diameter of the sediment
// available on it (`available`, m3 per group, nsed groups of diameters `drsed`).
// `q`, `slope`, `shear`: outflow (m3/s, positive leaving), slope and shear (N/m2) of
// faces 1 to 4. Switch 1 Engelund-Hansen, 0 Yalin, any other value no capacity.
double SY_OVERLAND_CAPACITY(double dxqq, double dyqq, int capacity_switch, double h, int nsed,
                            ConstRealSection available, ConstRealSection drsed, ConstRealSection q,
                            ConstRealSection slope, ConstRealSection shear);

// SY_CHANNEL_CAPACITY_CONCENTRATION and SY_CHANNEL_CARRIER_DISCHARGE of every link from
// the flow variables of the step, the links' active layers and suspended sediment.
void SY_CHANNEL_CAPACITY(const FrameState& frame, const SurfaceState& surface,
                         SedimentState& sediment);

}  // namespace quendal
