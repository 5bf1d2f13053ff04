// Storage of surface water: the area over which an element's water level rises by one
// metre when it gains one cubic metre of water. The OC solver's level-change equations
// and the outflow limiter's repairs use the same area, so that a repair moves water
// between elements without making or losing any.
#pragma once

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/surface_state.h"

namespace quendal {

// A channel whose section narrows to nothing at its bed (a V or triangular section)
// would store no water when dry and leave its equation without a level term; its
// storage width is floored at this fraction of its top width CWIDTH.
constexpr double OC_STORAGE_WIDTH_FLOOR = 0.01;

// The cross-sections of the channel links, as the storage area reads them.
struct OcLinkSections {
  const Array1<int>& NXSECT;     // (NLF): width/height pairs of each link
  const Array2<double>& XINH;    // (NLF, pairs): heights above the bed, m
  const Array2<double>& XINW;    // (NLF, pairs): widths, m
  const Array1<double>& CWIDTH;  // (NLF): width of the top pair, m
  const Array1<double>& ZBFULL;  // (NLF): bank-full level, m
};
inline OcLinkSections link_sections(const SurfaceState& surface) {
  return {surface.NXSECT, surface.XINH, surface.XINW, surface.CWIDTH, surface.ZBFULL};
}

// Top width of link l at depth y above its bed, linear between its pairs: in the first
// pair interval (k - 1, k) with y < XINH(l, k). A depth that no interval holds (at the
// top pair, reached below bank-full only through rounding) takes the top width CWIDTH.
inline double OC_TOP_WIDTH(const OcLinkSections& sections, int l, double y) {
  const int pairs = sections.NXSECT(l);
  for (int k = 2; k <= pairs; ++k) {
    const double h2 = sections.XINH(l, k);
    if (y < h2) {
      const double h1 = sections.XINH(l, k - 1), w1 = sections.XINW(l, k - 1);
      const double w2 = sections.XINW(l, k);
      return w1 + (w2 - w1) * (y - h1) / (h2 - h1);
    }
  }
  return sections.CWIDTH(l);
}

// Storage area of element e at water level `level`, m2: its plan area AREA, except for a
// channel link below its bank-full level, which stores over its top width at that depth
// (at least OC_STORAGE_WIDTH_FLOOR x CWIDTH) times its length CLENTH.
inline double OC_STORAGE_AREA(const FrameState& frame, const OcLinkSections& sections, int e,
                              double level) {
  if (e > frame.NLF || !(level < sections.ZBFULL(e))) return frame.AREA(e);
  const double width = OC_TOP_WIDTH(sections, e, level - frame.ZGRUND(e));
  const double floor = OC_STORAGE_WIDTH_FLOOR * sections.CWIDTH(e);
  return (width > floor ? width : floor) * frame.CLENTH(e);
}

}  // namespace quendal
