// The outflow limiter of the overland and channel flow step.
//
// The linearised solution of a step can leave an element with a negative water depth,
// or with an outflow towards a neighbour whose level is not lower than its own. The
// limiter repairs the solution: it scales down or removes the offending face flows,
// moves the matching water between the element and its neighbour so that none is lost
// where the neighbour can give it back, and sets depths that are negative or almost
// zero to exactly zero.
//
// It works in rounds over a work list rather than in full passes over the catchment.
// The first round visits every element in number order. A visit that changes something
// marks the element, every partner whose flow a repair changed, and every element
// coupled to either (the neighbour over each face, the links of a junction); later
// rounds visit only marked elements, in number order, an element marked ahead of the
// current one joining the current round and any other the next. A round that changes
// nothing ends the limiter. A repair travels along the channel network as far as it
// must in one round, instead of one element per pass: a deficit handed on down a chain
// of dry links numbered against the flow, or a wave of equalising cuts climbing a long
// channel from an overfilled outlet, settles in as many visits as it touches elements,
// where full passes needed one pass per link. The limit is a count of visits, 100 x NEL.
//
// From the second round on, before its first repair of a nearly dry element, a round
// cancels the closed circulations of face flows among dry elements (depth below 1e-7 m,
// zero and negative included): a link that feeds a square that feeds the outlet link
// that feeds a junction that feeds the first link again, all at zero depth. Round such
// a cycle each cut of a deficit hands it to the next element, and only the shares that
// leave the cycle remove any of it, so the deficits shrink by a fixed factor a round
// and never reach zero. Removing the circulation (its smallest flow from every face of
// it) changes no element's volume and no level, reverses no flow and touches no
// catchment boundary.
#pragma once

#include <vector>

#include "include/arrays.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "surface/oc/oc_storage.h"

namespace quendal {

constexpr int OC_MAX_LIMIT_PASSES = 100;           // visits: this many times NEL
constexpr double OC_NEARLY_DRY_DEPTH = 1e-7;       // m: a non-zero depth below it is dried
constexpr double OC_NEGLIGIBLE_OUTFLOW_DEPTH = 1e-7;  // m x face width: outflow removed
constexpr double OC_REPAIR_MARGIN = 0.001;         // m a repaired element stays above its partner
constexpr double OC_REPAIR_REPORT_DEPTH = 1e-5;    // m of created depth that is reported
// Equalising cuts of one uphill outflow in one call before the rest of it is removed.
constexpr int OC_EQUALISING_REPAIRS = 2;

// A report the limiter makes only when its visits run out in the round that repaired:
// a reduced outflow (1030) or a dried element (1024).
struct OcPendingReport {
  int number = 0, element = 0, face = 0;
  double a = 0.0, b = 0.0, c = 0.0;
};

// Work of the limiter, kept between calls so that no call allocates once it has grown
// to the catchment: the work lists of the rounds, which faces an equalising repair has
// already cut back in the current call and how often, the search for circulations, and
// what the limiter did since the run start.
struct OcLimiterWork {
  Array2<char> uphill_repaired;  // (NEL, 4)
  // The rounds: the elements still to visit in this round (a heap, lowest first) and
  // those for the next, with flags of membership.
  std::vector<int> this_round, next_round;
  Array1<char> in_this_round, in_next_round;  // (NEL)
  std::vector<OcPendingReport> pending;
  // The reports of the water the current call made (1024), made when the call's result
  // is kept.
  std::vector<OcPendingReport> created;

  // The channel junctions as nodes of the circulation search: per junction entry of
  // ICMRF2 its node (1 .. junction_nodes), and per node its member link ends (link and
  // face; 0 where there is none).
  int junction_nodes = 0;
  Array1<int> node_of_entry;    // (junction_entry_count)
  Array2<int> node_links;       // (4, junction_nodes)
  Array2<int> node_faces;       // (4, junction_nodes)
  // The depth-first search: per node (elements 1..NEL, then the junctions) its state
  // (0 not reached, 1 on the path, 2 done), the next edge to try and its place on the
  // path.
  Array1<char> search_state;
  Array1<int> next_edge, place;
  std::vector<int> path;

  // Since the run start: calls, rounds and visits of the largest call, and the
  // circulations cancelled.
  long calls = 0, cancelled_circulations = 0;
  int largest_rounds = 0;
  long largest_visits = 0;
};

// Repairs the levels H (NEL) and face flows Q (NEL x 4, positive into the element) in
// place, in rounds as above (an element visited later sees the repairs made earlier).
// Reads from `frame` the neighbour tables ICMREF (planes 2 and 3) and ICMRF2, NEL, NLF,
// ZGRUND, AREA, CLENTH, DXQQ and DYQQ; `step` is the step in seconds.
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
// than 1e-5 m of water over its area; when the visits run out (OC_MAX_LIMIT_PASSES x
// NEL) and the round still repaired something, every repair of that round (1030 for a
// reduced outflow, 1024 for a dried element), then fatal 1060 "OC flow criteria could
// not be met" with a line naming the element with the largest deficit (its depth below
// its ground), that deficit and the rounds taken.
//
// A caller that can still take its step again in shorter parts calls it with
// `last_resort` false: it then neither reports nor stops, returns false when the visits
// run out, and keeps the reports of water made for OC_REPORT_LIMITER_WARNINGS, should
// the caller keep the result. `visits_per_element` sets the limit of visits (that many
// times NEL). Returns true when a round changed nothing.
bool OC_LIMIT_OUTFLOWS(const FrameState& frame, const OcLinkSections& sections, double step,
                       Array1<double>& H, Array2<double>& Q, OcLimiterWork& work, RunIo& io,
                       bool last_resort = true, int visits_per_element = OC_MAX_LIMIT_PASSES);

// The warnings 1024 of the water the last call of OC_LIMIT_OUTFLOWS made, when it was
// not a last resort.
void OC_REPORT_LIMITER_WARNINGS(const OcLimiterWork& work, RunIo& io);

// Cancels the closed circulations of face flows among the dry elements (depth below
// OC_NEARLY_DRY_DEPTH) of the levels H: subtracts, round each directed cycle of flows
// (element to dry neighbour over a face it sends water through, element to a junction
// it sends water into, junction to a dry member link that takes water from it), the
// smallest flow of the cycle, which that face then carries as exactly 0. Levels, volumes,
// flow directions and catchment-boundary faces do not change, and every junction's flows
// still add up as before. Returns the number of cycles cancelled.
long OC_CANCEL_DRY_CIRCULATIONS(const FrameState& frame, const Array1<double>& H,
                                Array2<double>& Q, OcLimiterWork& work);

}  // namespace quendal
