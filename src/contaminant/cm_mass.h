// The mass of one contaminant held in the catchment, by compartment, in relative
// concentration x m3: the quantity the contaminant transport conserves, apart from what
// enters, leaves and decays. Each compartment counts its water and its sorbed part with
// the storage capacity its own balance uses, at the concentrations and stores as they
// stand (after a step: the end of the step). Printed nowhere; the balance checks read it.
#pragma once

#include "include/model.h"

namespace quendal {

struct ContaminantMass {
  // Column cells. Half of a cell's water is in the dynamic region; sorption to the soil
  // is shared between the regions by CM_DYNAMIC_SORPTION_FRACTION. Below a link's
  // stream bed a bank cell counts over its widened plan area (AREA / bank cell weight).
  double dynamic_dissolved = 0.0;
  double dynamic_sorbed = 0.0;
  double dead_space_dissolved = 0.0;
  double dead_space_sorbed = 0.0;
  // On the ground of the columns, both at the top cell's dynamic concentration.
  double ponded_water = 0.0;
  double loose_sediment = 0.0;
  // Channel links: each compartment's area x CLENTH x capacity x concentration.
  double link_water = 0.0;
  double bed_surface_layer = 0.0;
  double bed_deep_layer = 0.0;

  double columns() const {
    return dynamic_dissolved + dynamic_sorbed + dead_space_dissolved + dead_space_sorbed +
           ponded_water + loose_sediment;
  }
  double links() const { return link_water + bed_surface_layer + bed_deep_layer; }
  double total() const { return columns() + links(); }
};

// The mass of contaminant m (1..NCON) in the whole catchment.
ContaminantMass contaminant_mass(const FrameState& frame, const SurfaceState& surface,
                                 const SubsurfaceState& subsurface, const SedimentState& sediment,
                                 const ContaminantState& cm, int m);
inline ContaminantMass contaminant_mass(const Model& model, int m) {
  return contaminant_mass(model.frame, model.surface, model.subsurface, model.sediment,
                          model.contaminant, m);
}

}  // namespace quendal
