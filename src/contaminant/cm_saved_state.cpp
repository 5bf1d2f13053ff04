#include "contaminant/cm_saved_state.h"

#include <stdexcept>

#include "services/saved_state_io.h"

namespace quendal {

namespace {

// The carried items in record order. Concentrations go contaminant by contaminant,
// element by element, cell by cell: a column's cells from its bottom cell to LL, a
// link's three compartments. Stores go element by element with cells (and faces, and
// size groups) inner.
template <class State, class Io>
void carried_items(const FrameState& frame, const SubsurfaceState& vss, int ncon, int nsed,
                   State& cm, Io& io) {
  const int nel = frame.NEL, nlf = frame.NLF, LL = vss.LL;
  const auto bottom = [&](int e) { return vss.LAYER_BOTTOM_CELL(e, 1); };
  const auto per_column = [&](const char* label, auto& a) {
    io.item(label);
    for (int e = nlf + 1; e <= nel; ++e) io(a, e);
  };
  const auto per_link = [&](const char* label, auto& a) {
    io.item(label);
    for (int l = 1; l <= nlf; ++l) io(a, l);
  };
  const auto per_column_and_contaminant = [&](const char* label, auto& a) {
    io.item(label);
    for (int k = 1; k <= ncon; ++k) {
      for (int e = nlf + 1; e <= nel; ++e) io(a, e, k);
    }
  };
  const auto per_link_and_contaminant = [&](const char* label, auto& a) {
    io.item(label);
    for (int k = 1; k <= ncon; ++k) {
      for (int l = 1; l <= nlf; ++l) io(a, l, k);
    }
  };

  io.item("CM_REL_CONC_DYNAMIC=");
  for (int k = 1; k <= ncon; ++k) {
    for (int e = nlf + 1; e <= nel; ++e) {
      for (int c = bottom(e); c <= LL; ++c) io(cm.CM_REL_CONC_DYNAMIC, c, e, k);
    }
    for (int l = 1; l <= nlf; ++l) {
      for (int c = LL - 2; c <= LL; ++c) io(cm.CM_REL_CONC_DYNAMIC, c, l, k);
    }
  }
  io.item("CM_REL_CONC_DEAD_SPACE=");
  for (int k = 1; k <= ncon; ++k) {
    for (int e = nlf + 1; e <= nel; ++e) {
      for (int c = bottom(e); c <= LL; ++c) io(cm.CM_REL_CONC_DEAD_SPACE, c, e, k);
    }
  }
  per_column_and_contaminant("CM_WELL_REL_CONC=", cm.CM_WELL_REL_CONC);
  io.item("CM_BANK_EXCHANGE_CONC=");
  for (int k = 1; k <= ncon; ++k) {
    for (int l = 1; l <= nlf; ++l) {
      for (int s = 1; s <= 2; ++s) io(cm.CM_BANK_EXCHANGE_CONC, l, s, k);
    }
  }
  per_column_and_contaminant("CM_SURFACE_CAPACITY=", cm.CM_SURFACE_CAPACITY);
  per_column_and_contaminant("CM_SURFACE_CAPACITY_SLOPE=", cm.CM_SURFACE_CAPACITY_SLOPE);
  per_column_and_contaminant("CM_SURFACE_CAPACITY_RATE=", cm.CM_SURFACE_CAPACITY_RATE);
  per_link_and_contaminant("CM_LINK_SURFACE_CAPACITY=", cm.CM_LINK_SURFACE_CAPACITY);
  per_link_and_contaminant("CM_LINK_SURFACE_CAPACITY_SLOPE=", cm.CM_LINK_SURFACE_CAPACITY_SLOPE);
  per_link_and_contaminant("CM_LINK_SURFACE_CAPACITY_RATE=", cm.CM_LINK_SURFACE_CAPACITY_RATE);
  // The bank cells above each link's bed, the only ones the link transport reads.
  const auto bank_cells = [&](const char* label, auto& a) {
    io.item(label);
    for (int k = 1; k <= ncon; ++k) {
      for (int l = 1; l <= nlf; ++l) {
        for (int s = 1; s <= 2; ++s) {
          for (int c = vss.LINK_BED_CELL(l, s) + 1; c <= LL; ++c) io(a[k], c, s, l);
        }
      }
    }
  };
  bank_cells("CM_BANK_CAPACITY_DYNAMIC=", cm.CM_BANK_CAPACITY_DYNAMIC);
  bank_cells("CM_BANK_CAPACITY_DEAD_SPACE=", cm.CM_BANK_CAPACITY_DEAD_SPACE);

  // The column set-up's stores of the step before. Not carried: its vertical flows and
  // the sink of the dynamic region, which the transport weighs with CM_OLD_FLOW_WEIGHT,
  // 0 (it takes the flow through the base from its own store); and what the
  // initialisation lays by the set-up's own expressions from the water and sediment
  // state restored before it: the moisture contents, the surface water depths and face
  // flows, the loose sediment depths, the erosion rates, and the sediment make-up of the
  // step before.
  io.item("CM_STORED_FACE_FLUX=");
  for (int e = nlf + 1; e <= nel; ++e) {
    for (int c = bottom(e); c <= LL; ++c) {
      for (int f = 1; f <= 4; ++f) io(cm.CM_STORED_FACE_FLUX, f, c, e);
    }
  }
  per_column("CM_STORED_TOP_INPUT=", cm.CM_STORED_TOP_INPUT);
  per_column("CM_STORED_BASE_FLOW=", cm.CM_STORED_BASE_FLOW);
  per_column("CM_WELL_ABSTRACTION_OLD=", cm.CM_WELL_ABSTRACTION_OLD);
  // The links' stores: the bed area with its deposits and the bed's make-up. Their water
  // areas and bed moisture the initialisation lays from the channel areas and the bank
  // cells' moisture, as the link set-up does.
  per_link("CM_LINK_BED_AREA=", cm.CM_LINK_BED_AREA);
  io.item("CM_LINK_BED_FRACTIONS_PREVIOUS=");
  for (int l = 1; l <= nlf; ++l) {
    for (int g = 1; g <= nsed; ++g) io(cm.CM_LINK_BED_FRACTIONS_PREVIOUS, l, g);
  }
}

}  // namespace

SavedState CM_SAVED_LAYOUT(const Model& model, int ncon, int nsed) {
  const ContaminantState none;
  SavedLayout layout;
  carried_items(model.frame, model.subsurface, ncon, nsed, none, layout);
  layout.state.counts = {ncon, nsed};
  return layout.state;
}

SavedState CM_SAVE_STATE(const Model& model) {
  const ContaminantState& cm = model.contaminant;
  SavedWriter writer;
  carried_items(model.frame, model.subsurface, cm.NCON, model.sediment.NSED, cm, writer);
  writer.state.counts = {cm.NCON, model.sediment.NSED};
  return writer.state;
}

void CM_RESTORE_STATE(Model& model) {
  const FrameState& frame = model.frame;
  const SubsurfaceState& vss = model.subsurface;
  ContaminantState& cm = model.contaminant;
  SavedState& saved = cm.saved;
  const int nsed = model.sediment.NSED, LL = vss.LL;
  if (saved.counts.size() != 2 || saved.counts[0] != cm.NCON || saved.counts[1] != nsed) {
    throw std::logic_error("saved contaminant state of other counts");
  }
  // The old flows that are not carried must weigh nothing (see carried_items).
  if (cm.CM_OLD_FLOW_WEIGHT != 0.0) throw std::logic_error("old contaminant flows weighed but not saved");
  SavedReader reader(saved);
  carried_items(frame, vss, cm.NCON, nsed, cm, reader);
  reader.finish();
  saved = SavedState();

  // A record is written after the step's end-of-step copy, so the concentrations it
  // holds are also where the next step starts.
  for (int k = 1; k <= cm.NCON; ++k) {
    for (int e = frame.NLF + 1; e <= frame.NEL; ++e) {
      for (int c = vss.LAYER_BOTTOM_CELL(e, 1); c <= LL; ++c) {
        cm.CM_REL_CONC_DYNAMIC_OLD(c, e, k) = cm.CM_REL_CONC_DYNAMIC(c, e, k);
        cm.CM_REL_CONC_DEAD_SPACE_OLD(c, e, k) = cm.CM_REL_CONC_DEAD_SPACE(c, e, k);
      }
    }
    for (int l = 1; l <= frame.NLF; ++l) {
      for (int c = LL - 2; c <= LL; ++c) cm.CM_REL_CONC_DYNAMIC_OLD(c, l, k) = cm.CM_REL_CONC_DYNAMIC(c, l, k);
    }
  }
}

}  // namespace quendal
