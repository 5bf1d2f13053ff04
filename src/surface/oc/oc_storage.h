// Storage of surface water. Two views of one thing:
//  - the volume an element holds at a level, and the level at which it holds a volume
//    (the plan area times the depth for grid squares and banks, the wetted section times
//    the length for a channel link): what the water balance measures, and what the OC
//    step and its outflow limiter keep exact, so that a step neither makes nor loses
//    water whatever the shape of a channel;
//  - the storage area, the rate of that volume's change with the level, on which the
//    implicit solver linearises its level-change equations.
#pragma once

#include <algorithm>
#include <cmath>

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
  const Array2<double>& LINK_PAIR_AREA;  // (NLF, pairs): area under each pair, m2
};
inline OcLinkSections link_sections(const SurfaceState& surface) {
  return {surface.NXSECT, surface.XINH, surface.XINW, surface.CWIDTH, surface.ZBFULL,
          surface.LINK_PAIR_AREA};
}

// Width of link l's section below its bed: its bed width, at least OC_STORAGE_WIDTH_FLOOR
// x CWIDTH. A level below the bed (left by the linear solution before the limiter puts
// it right) holds a negative volume over this width.
inline double OC_BED_WIDTH(const OcLinkSections& sections, int l) {
  const double floor = OC_STORAGE_WIDTH_FLOOR * sections.CWIDTH(l);
  return sections.XINW(l, 1) > floor ? sections.XINW(l, 1) : floor;
}

// The pair interval (k - 1, k) of link l that holds depth y: the first k = 2..NXSECT with
// y < XINH(l, k); 0 when y lies at or above the top pair.
inline int OC_PAIR_INTERVAL(const OcLinkSections& sections, int l, double y) {
  const int pairs = sections.NXSECT(l);
  for (int k = 2; k <= pairs; ++k) {
    if (y < sections.XINH(l, k)) return k;
  }
  return 0;
}

// Top width of link l at depth y above its bed, linear between its pairs: in the first
// pair interval (k - 1, k) with y < XINH(l, k). A depth that no interval holds (at the
// top pair, reached below bank-full only through rounding) takes the top width CWIDTH.
inline double OC_TOP_WIDTH(const OcLinkSections& sections, int l, double y) {
  if (y < 0.0) return OC_BED_WIDTH(sections, l);
  const int k = OC_PAIR_INTERVAL(sections, l, y);
  if (k == 0) return sections.CWIDTH(l);
  const double h1 = sections.XINH(l, k - 1), w1 = sections.XINW(l, k - 1);
  const double h2 = sections.XINH(l, k), w2 = sections.XINW(l, k);
  return w1 + (w2 - w1) * (y - h1) / (h2 - h1);
}

// Storage area of element e at water level `level`, m2: its plan area AREA, except for a
// channel link below its bank-full level, which stores over its top width at that depth
// (at least OC_STORAGE_WIDTH_FLOOR x CWIDTH) times its length CLENTH; below its bed the
// bed width of OC_BED_WIDTH.
inline double OC_STORAGE_AREA(const FrameState& frame, const OcLinkSections& sections, int e,
                              double level) {
  if (e > frame.NLF || !(level < sections.ZBFULL(e))) return frame.AREA(e);
  const double width = OC_TOP_WIDTH(sections, e, level - frame.ZGRUND(e));
  const double floor = OC_STORAGE_WIDTH_FLOOR * sections.CWIDTH(e);
  return (width > floor ? width : floor) * frame.CLENTH(e);
}

// Wetted area of link l's section at depth y above its bed, m2: the area under its
// pairs up to y (widths linear between pairs); above the top pair the top width CWIDTH
// carries on; below the bed the bed width of OC_BED_WIDTH (a negative area).
inline double OC_CHANNEL_AREA(const OcLinkSections& sections, int l, double y) {
  if (y < 0.0) return y * OC_BED_WIDTH(sections, l);
  const int k = OC_PAIR_INTERVAL(sections, l, y);
  if (k != 0) {
    const double h1 = sections.XINH(l, k - 1), w1 = sections.XINW(l, k - 1);
    const double h2 = sections.XINH(l, k), w2 = sections.XINW(l, k);
    const double t = y - h1;
    return sections.LINK_PAIR_AREA(l, k - 1) + t * (w1 + 0.5 * (w2 - w1) * t / (h2 - h1));
  }
  const int pairs = sections.NXSECT(l);
  const int top = pairs > 1 ? pairs : 1;
  return sections.LINK_PAIR_AREA(l, top) + (y - sections.XINH(l, top)) * sections.CWIDTH(l);
}

// The depth at which link l's section holds the wetted area `area` (the inverse of
// OC_CHANNEL_AREA), m.
inline double OC_CHANNEL_DEPTH(const OcLinkSections& sections, int l, double area) {
  if (area < 0.0) return area / OC_BED_WIDTH(sections, l);
  const int pairs = sections.NXSECT(l);
  for (int k = 2; k <= pairs; ++k) {
    if (area < sections.LINK_PAIR_AREA(l, k)) {
      const double h1 = sections.XINH(l, k - 1), w1 = sections.XINW(l, k - 1);
      const double h2 = sections.XINH(l, k), w2 = sections.XINW(l, k);
      // t (w1 + a t) = rest, a = (w2 - w1) / (2 (h2 - h1)); the root in the form that
      // loses no digits when a is small or w1 is zero.
      const double rest = area - sections.LINK_PAIR_AREA(l, k - 1);
      const double a = 0.5 * (w2 - w1) / (h2 - h1);
      const double root = std::sqrt(std::max(w1 * w1 + 4.0 * a * rest, 0.0));
      const double denominator = w1 + root;
      const double t = denominator > 0.0 ? 2.0 * rest / denominator : 0.0;
      return h1 + std::min(t, h2 - h1);
    }
  }
  const int top = pairs > 1 ? pairs : 1;
  return sections.XINH(l, top) + (area - sections.LINK_PAIR_AREA(l, top)) / sections.CWIDTH(l);
}

// Volume of surface water element e holds at level `level`, m3 (negative below the
// ground or bed): the depth times AREA for a grid square or bank element, the wetted
// area times CLENTH for a link.
inline double OC_SURFACE_VOLUME(const FrameState& frame, const OcLinkSections& sections, int e,
                                double level) {
  const double y = level - frame.ZGRUND(e);
  if (e > frame.NLF) return y * frame.AREA(e);
  return OC_CHANNEL_AREA(sections, e, y) * frame.CLENTH(e);
}

// The level of element e after it gains `volume` m3 (loses, when negative) from level
// `level`.
inline double OC_LEVEL_AFTER_VOLUME_CHANGE(const FrameState& frame, const OcLinkSections& sections,
                                           int e, double level, double volume) {
  if (e > frame.NLF) return level + volume / frame.AREA(e);
  const double z = frame.ZGRUND(e);
  const double area = OC_CHANNEL_AREA(sections, e, level - z) + volume / frame.CLENTH(e);
  return z + OC_CHANNEL_DEPTH(sections, e, area);
}

}  // namespace quendal
