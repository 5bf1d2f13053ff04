#include "frame/element_order.h"

#include <algorithm>
#include <utility>

#include "surface/surface_state.h"

namespace quendal {

namespace {

// Phreatic level of the element over face f of link e: 0 when there is no element
// there (no neighbour, or a channel junction).
double level_across(const FrameState& frame, const SubsurfaceState& subsurface, int e, int f) {
  const int n = frame.ICMREF(e, f, 2);
  return n > 0 ? subsurface.PHREATIC_LEVEL(n) : 0.0;
}

void ensure_room(Array1<double>& keys, Array1<int>& elements, int n) {
  if (keys.size() < n) keys.resize(n, 0.0);
  if (elements.size() < n) elements.resize(n, 0);
}

}  // namespace

void sort_isort_list(Array1<double>& x, Array1<int>& elements, int n) {
  if (n < 2) return;
  // The first rise: everything before it is already in decreasing order.
  int lo = 0;
  for (int i = 1; i <= n - 1; ++i) {
    if (x(i + 1) > x(i)) {
      lo = i;
      break;
    }
  }
  if (lo == 0) return;
  // Start earlier when a key after the rise belongs before an earlier entry.
  double top = 0.0;
  for (int i = lo + 1; i <= n; ++i) top = std::max(top, x(i));
  for (int i = 1; i <= lo; ++i) {
    if (x(i) < top) {
      lo = i;
      break;
    }
  }
  // The last rise, seen from the end, and likewise later when a key after it lies
  // above the smallest key before it.
  int hi = n;
  for (int i = n; i >= 2; --i) {
    if (x(i) > x(i - 1)) {
      hi = i;
      break;
    }
  }
  double bottom = 1e10;
  for (int i = 1; i <= hi - 1; ++i) bottom = std::min(bottom, x(i));
  for (int i = n; i >= hi; --i) {
    if (x(i) > bottom) {
      hi = i;
      break;
    }
  }
  // One pass per gap, halving the gap each time.
  for (int gap = (hi - lo + 1) / 2; gap != 0; gap /= 2) {
    for (int l = lo; l <= hi - gap; ++l) {
      if (x(l + gap) > x(l)) {
        std::swap(x(l), x(l + gap));
        std::swap(elements(l), elements(l + gap));
      }
    }
  }
}

void LINK_PHREATIC_LEVELS(const FrameState& frame, SubsurfaceState& subsurface) {
  for (int e = 1; e <= frame.NLF; ++e) {
    // The faces across the channel: north and south of an east-west link, east and
    // west of a north-south one. Their elements are never links, so the order in which
    // the links are taken does not matter.
    const bool north_south = frame.LINK_NORTH_SOUTH(e) != 0;
    const int f1 = north_south ? 1 : 2;
    const int f2 = north_south ? 3 : 4;
    subsurface.PHREATIC_LEVEL(e) = std::max(level_across(frame, subsurface, e, f1),
                                            level_across(frame, subsurface, e, f2));
  }
}

void BUILD_ISORT(FrameState& frame, const SurfaceState& surface, SubsurfaceState& subsurface) {
  const int nel = frame.NEL;
  if (nel == 1) return;
  ensure_room(frame.isort_wet_keys, frame.isort_wet_elements, nel);
  ensure_room(frame.isort_dry_keys, frame.isort_dry_elements, nel);
  Array1<double>& wet_keys = frame.isort_wet_keys;
  Array1<int>& wet = frame.isort_wet_elements;
  Array1<double>& dry_keys = frame.isort_dry_keys;
  Array1<int>& dry = frame.isort_dry_elements;
  Array1<double>& level = subsurface.PHREATIC_LEVEL;

  // Split, keeping the previous order within each list.
  int n_wet = 0;
  int n_dry = 0;
  LINK_PHREATIC_LEVELS(frame, subsurface);
  for (int i = 1; i <= nel; ++i) {
    const int e = frame.ISORT(i);
    const double surface_level = GET_HRF(surface, e);
    if (surface_level - frame.ZGRUND(e) > ISORT_WET_DEPTH) {
      ++n_wet;
      wet_keys(n_wet) = surface_level;
      wet(n_wet) = e;
    } else {
      ++n_dry;
      dry_keys(n_dry) = level(e);
      dry(n_dry) = e;
    }
  }

  sort_isort_list(wet_keys, wet, n_wet);
  sort_isort_list(dry_keys, dry, n_dry);

  // Merge by phreatic level; on a tie the dry element goes first.
  int iw = 1;
  int id = 1;
  for (int pos = 1; pos <= nel; ++pos) {
    bool take_wet;
    if (iw > n_wet) {
      take_wet = false;
    } else if (id > n_dry) {
      take_wet = true;
    } else {
      take_wet = level(wet(iw)) > dry_keys(id);
    }
    frame.ISORT(pos) = take_wet ? wet(iw++) : dry(id++);
  }
}

}  // namespace quendal
