#include "sediment/sy_saved_state.h"

#include <stdexcept>

#include "services/saved_state_io.h"

namespace quendal {

namespace {

// The carried items in record order: per element (size groups inner), then per link.
template <class State, class Io>
void carried_items(const FrameState& frame, int nsed, State& s, Io& io) {
  const int nel = frame.NEL, nlf = frame.NLF;
  const auto per_element = [&](const char* label, auto& a) {
    io.item(label);
    for (int e = 1; e <= nel; ++e) io(a, e);
  };
  const auto per_element_and_group = [&](const char* label, auto& a, int first, int last) {
    io.item(label);
    for (int e = first; e <= last; ++e) {
      for (int g = 1; g <= nsed; ++g) io(a, e, g);
    }
  };
  per_element("DLS=", s.DLS);
  per_element_and_group("FBETA=", s.FBETA, 1, nel);
  per_element_and_group("FDEL=", s.FDEL, 1, nel);
  // With FDEL, the water each column held at the end of the last sub-step carries the
  // suspended sediment into the next one. (A link's, its wetted area, the set-up lays
  // from the channel areas of the restored levels.)
  io.item("SY_PREVIOUS_WATER_DEPTH=");
  for (int e = nlf + 1; e <= nel; ++e) io(s.SY_PREVIOUS_WATER_DEPTH, e);
  per_element_and_group("SY_HELD_SEDIMENT=", s.SY_HELD_SEDIMENT, 1, nel);
  // The rate of the last step, which the contaminants' next step takes as its start.
  io.item("SY_GROUND_EROSION_RATE=");
  for (int e = nlf + 1; e <= nel; ++e) io(s.SY_GROUND_EROSION_RATE, e);
  io.item("SY_ACTIVE_LAYER_DEPTH=");
  for (int l = 1; l <= nlf; ++l) io(s.SY_ACTIVE_LAYER_DEPTH, l);
  per_element_and_group("SY_ACTIVE_LAYER_SEDIMENT=", s.SY_ACTIVE_LAYER_SEDIMENT, 1, nlf);
  per_element_and_group("SY_DEEP_LAYER_SEDIMENT=", s.SY_DEEP_LAYER_SEDIMENT, 1, nlf);
  io.item("SY_NET_DEPOSITION_AREA=");
  for (int l = 1; l <= nlf; ++l) io(s.SY_NET_DEPOSITION_AREA, l);
  // A junction that nothing discharged into keeps the shares it had.
  io.item("SY_JUNCTION_SHARE=");
  for (int j = 1; j <= frame.junction_entry_count; ++j) {
    for (int k = 1; k <= 3; ++k) io(s.SY_JUNCTION_SHARE, j, k);
  }
}

}  // namespace

SavedState SY_SAVED_LAYOUT(const FrameState& frame, int nsed) {
  const SedimentState none;
  SavedLayout layout;
  carried_items(frame, nsed, none, layout);
  layout.state.counts = {0, nsed};
  return layout.state;
}

SavedState SY_SAVE_STATE(const FrameState& frame, const SedimentState& sediment) {
  SavedWriter writer;
  carried_items(frame, sediment.NSED, sediment, writer);
  writer.state.counts = {sediment.SY_CALL_COUNT, sediment.NSED};
  return writer.state;
}

void SY_RESTORE_STATE(const FrameState& frame, SedimentState& sediment) {
  SavedState& saved = sediment.saved;
  if (saved.counts.size() != 2 || saved.counts[1] != sediment.NSED) {
    throw std::logic_error("saved sediment state of another number of size groups");
  }
  SavedReader reader(saved);
  carried_items(frame, sediment.NSED, sediment, reader);
  reader.finish();
  sediment.SY_CALL_COUNT = static_cast<int>(saved.counts[0]);
  saved = SavedState();
}

}  // namespace quendal
