// Element order: ISORT, the order in which the subsurface, sediment and contaminant
// components visit the elements, roughly from the highest water level down, so that an
// element is usually treated after the elements that drain into it.
#pragma once

#include "include/frame_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// Surface water deeper than this (m) makes an element wet: the single-precision 1e-8
// compared in double precision.
constexpr double ISORT_WET_DEPTH = static_cast<double>(1e-8f);

// Rebuilds frame.ISORT from the current order. On its way every channel link takes
// the higher phreatic level of its two neighbours across the channel (0 for a side
// without an element), written into subsurface.PHREATIC_LEVEL. Wet elements are keyed
// by their surface level, dry ones by their phreatic level; each list gets one
// exchange pass per gap of a gap-halving sort (close to, but not always exactly,
// decreasing order); the lists are then merged by phreatic level, a wet element going
// first only when its phreatic level is strictly higher than the next dry key.
// With NEL = 1 nothing changes. The work lists live in FrameState and are sized on the
// first call; later calls allocate nothing.
// Reads NEL, ICMREF, LINK_NORTH_SOUTH, ZGRUND, HRF.
void BUILD_ISORT(FrameState& frame, const SurfaceState& surface, SubsurfaceState& subsurface);

// Every channel link's phreatic level: the higher of its two neighbours' across the
// channel (0 for a side without an element). BUILD_ISORT does this first; a hot start
// that restores the order itself does it alone.
void LINK_PHREATIC_LEVELS(const FrameState& frame, SubsurfaceState& subsurface);

// One exchange pass per gap over the part of keys(1..n) that is out of decreasing
// order, moving elements(1..n) with their keys. Exposed for its tests.
void sort_isort_list(Array1<double>& keys, Array1<int>& elements, int n);

}  // namespace quendal
