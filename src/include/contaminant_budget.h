// Our own account of each contaminant's mass, accumulated every step, in relative
// concentration x m3: what entered, what left and what decayed since initialisation.
//
// Each term is taken from the balance the transport solved, with the same time
// weighting, so that for a catchment whose every element is a column the change of the
// mass equals in - out - decayed up to the lag of the lateral subsurface exchange
// between columns (it reads the neighbour's start-of-step concentration). Under
// Freundlich sorption too: each region takes the concentration that holds what its
// balance left it.
#pragma once

#include <array>

#include "include/dimensions.h"

namespace quendal {

struct ContaminantBudget {
  using PerContaminant = std::array<double, CM_MAX_CONTAMINANTS + 1>;  // [1..3]; [0] unused

  // In.
  PerContaminant rain_in{};        // rain at the rain concentration
  PerContaminant well_water_in{};  // another element's well water discharged on the ground
  PerContaminant source_in{};      // the surface source
  PerContaminant base_in{};        // through the base of the columns
  PerContaminant boundary_in{};    // over faces without a neighbour, surface and subsurface
  // Ground erosion: the top row takes the eroded soil's contaminant into the surface
  // stores (the loose sediment and the water over the ground) and leaves the column's
  // cells as they are, as if the ground-following column took in fresh soil from below
  // as the surface lowered. In the catchment's account that mass enters, as the bank
  // erosion release does for the links.
  PerContaminant erosion_in{};
  // Out.
  PerContaminant base_out{};
  PerContaminant boundary_out{};
  PerContaminant wells_out{};      // taken by the wells of the columns
  PerContaminant decayed{};        // lost by decay (the daughter gains it)

  double total_in(int k) const {
    return rain_in[k] + well_water_in[k] + source_in[k] + base_in[k] + boundary_in[k] +
           erosion_in[k];
  }
  double total_out(int k) const { return base_out[k] + boundary_out[k] + wells_out[k]; }
};

}  // namespace quendal
