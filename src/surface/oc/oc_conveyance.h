// Conveyance of overland flow and of channel sections: the part of the Strickler
// (Manning) flow law that depends on the depth of water alone.
//
// A face flow is Q = C(h) x sqrt(head difference) / sqrt(flow length); C is the
// conveyance, here with its derivative dC/dh. All functions are pure: they read their
// arguments only, keep nothing between calls and allocate nothing, so the flow laws may
// call them for every face at every step.
//
//   OC_CONVEYANCE                 Strickler conveyance in three forms (overland, channel
//                                 area below bank-full, channel above bank-full)
//   build_section_table           the depth/conveyance table of one link, from its
//                                 width/height pairs and its Strickler coefficient
//   OC_SECTION_TABLE_ROW          row j of that table: depth, conveyance, slope
//   OC_SECTION_TABLE_CONVEYANCE   channel conveyance of a link at a depth: linear
//                                 interpolation in the table up to bank-full, the
//                                 above-bank-full form beyond
//
// The table of link l is surface.OC_SECTION_TABLE(l) (include/surface_state.h), built by
// the OC set-up; a typical call from a flow law:
//   Conveyance c = OC_SECTION_TABLE_CONVEYANCE(surface.OC_SECTION_TABLE(link), depth,
//                                              K, surface.CWIDTH(link),
//                                              surface.LINK_FULL_AREA(link));
#pragma once

#include <span>

#include "include/surface_state.h"

namespace quendal {

// A conveyance and its derivative with respect to the depth.
struct Conveyance {
  double C = 0.0;      // m3/s per sqrt(head difference / length), in the law's units
  double dC_dh = 0.0;  // dC/d(depth)
};

// Forms of OC_CONVEYANCE.
constexpr int OC_CONVEYANCE_CHANNEL = 0;          // r = wetted area; only C is meaningful
constexpr int OC_CONVEYANCE_OVERLAND = 1;         // K already multiplied by the face width
constexpr int OC_CONVEYANCE_ABOVE_BANK_FULL = 2;  // r = area, s = top width

// Depths of the shallow-water branches, m.
constexpr double OC_DRY_DEPTH = 1e-9;       // below it the conveyance is zero
constexpr double OC_SHALLOW_DEPTH = 0.001;  // below it a polynomial replaces the power law

// Strickler conveyance with coefficient K at depth h:
//   overland  C = K h^(5/3), dC/dh = 5/3 K h^(2/3); below 1 mm the polynomial
//             C = K (10/3) h^2 (4 - 1000 h), which meets the power law in value and slope
//             at 1 mm; C = dC/dh = 0 below 1e-9 m;
//   channel   the overland conveyance times r / h (K r h^(2/3) from 1 mm up), r the
//             wetted area; dC/dh is returned for r held fixed and no caller uses it;
//   above bank-full  C = K r h^(2/3), dC/dh = C (2 / (3 h) + s / r), with h the depth
//             (taken as the hydraulic radius), r the area and s the top width; no shallow
//             branch, callers pass at least the bank-full depth.
// Any other form gives C = dC/dh = 0.
Conveyance OC_CONVEYANCE(double K, double h, int form, double r = 0.0, double s = 0.0);

// Builds the table of a link from its pairs (widths[j], heights[j], j = 0..n-1, n from 2
// to NOCTAB, heights starting at 0 and strictly rising, as the OC input checks ensure)
// and its Strickler coefficient: pair areas, depth step and range.
OcSectionTable build_section_table(std::span<const double> widths, std::span<const double> heights,
                                   double strickler);

// Row j (1..NXSCEE) of a table, computed on demand:
//   depth       (j - 1) x depth_step
//   conveyance  OC_CONVEYANCE channel form at that depth with the area under the pairs
//               (widths linear between pairs); 0 in row 1
//   slope       (conveyance of row j + 1 - conveyance of row j) / depth_step; 0 in the
//               last row, whose conveyance and slope are never read
struct OcSectionRow {
  double depth = 0.0;
  double conveyance = 0.0;
  double slope = 0.0;
};
OcSectionRow OC_SECTION_TABLE_ROW(const OcSectionTable& table, int j);

// Area of the section below depth y (0 <= y), widths varying linearly between pairs;
// above the top pair the top width carries on. m2.
double section_area_below(const OcSectionTable& table, double y);

// Channel conveyance of a link at depth y (m above its bed):
//   below bank-full (row j = int(y / D x (NXSCEE - 1)) + 1 < NXSCEE, D = last_depth):
//     C = c_j + max(y - d_j, 0) s_j and dC/dy = s_j (K, W and A are not used: the table
//     holds the link's own roughness);
//   at and above bank-full: the above-bank-full form of OC_CONVEYANCE with K, h = y, the
//     area a = max(y - D, 0) W + A and the top width W.
// K: Strickler coefficient of the face, W: CWIDTH of the link, A: LINK_FULL_AREA of the
// link. A depth below 0 (the limiter leaves at most round-off there) is read as 0.
Conveyance OC_SECTION_TABLE_CONVEYANCE(const OcSectionTable& table, double y, double K, double W,
                                       double A);

}  // namespace quendal
