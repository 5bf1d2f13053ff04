// The outflow limiter of the overland and channel flow step.
//
// The linearised solution of a step can leave an element with a negative water depth,
// or with an outflow towards a neighbour whose level is not lower than its own. The
// limiter repairs the solution: it scales down or removes the offending face flows,
// moves the matching water between the element and its neighbour so that none is lost
// where the neighbour can give it back, sets depths that are negative or almost zero to
// exactly zero, and repeats over all elements until a pass changes nothing.
#pragma once

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "surface/oc/oc_storage.h"

namespace quendal {

constexpr int OC_MAX_LIMIT_PASSES = 100;
constexpr double OC_NEARLY_DRY_DEPTH = 1e-7;       // m: a non-zero depth below it is dried
constexpr double OC_NEGLIGIBLE_OUTFLOW_DEPTH = 1e-7;  // m x face width: outflow removed
constexpr double OC_REPAIR_MARGIN = 0.001;         // m a repaired element stays above its partner
constexpr double OC_REPAIR_REPORT_DEPTH = 1e-5;    // m of created depth that is reported
// Equalising cuts of one uphill outflow in one call before the rest of it is removed.
constexpr int OC_EQUALISING_REPAIRS = 2;

// Work of the limiter, kept between calls so that no call allocates: which faces an
// equalising repair has already cut back in the current call, and how often.
struct OcLimiterWork {
  Array2<char> uphill_repaired;  // (NEL, 4)
};

// Repairs the levels H (NEL) and face flows Q (NEL x 4, positive into the element) in
// place, over passes of elements 1..NEL in number order (an element visited later sees
// the repairs made earlier in the pass). Reads from `frame` the neighbour tables
// ICMREF (planes 2 and 3) and ICMRF2, NEL, NLF, ZGRUND, AREA, CLENTH, DXQQ and DYQQ;
// `step` is the step in seconds.
//
// Every repair moves exactly its flow change times the step between the element and its
// partner across the face (the neighbour, or a link of the junction), and both levels
// follow from their new volumes (oc_storage.h), so no water is made or lost. A partner
// may be left below its ground for a while; its own visit takes the deficit back from
// its outflows. Water is made only where an element's deficit exceeds all its outflows,
// and only that is reported. An outflow towards a partner that stands no lower is cut
// back so that the element ends at most 1 mm above it; when OC_EQUALISING_REPAIRS such
// cuts of one face in one call have not put it right, the next removes the rest.
//
// Reports on the print file (unit 23): warning 1024 when drying an element makes more
// than 1e-5 m of water over its area, every repair of the last pass as well (1030 for a
// reduced outflow); fatal 1060 "OC flow criteria could not be met" when the hundredth
// pass still repaired something.
void OC_LIMIT_OUTFLOWS(const FrameState& frame, const OcLinkSections& sections, double step,
                       Array1<double>& H, Array2<double>& Q, OcLimiterWork& work, RunIo& io);

}  // namespace quendal
