// Link transport: advances every contaminant in one channel link over the step. For
// each contaminant it completes the link work record (bank cells, neighbours' water,
// rain, wells and source, sediment transfers, the storage capacities with sorption, the
// exchange and decay coefficients, the decay chain), solves the link balance and stores
// the water, bed surface layer and bed deep layer at cells LL, LL - 1 and LL - 2.
#pragma once

#include <array>

#include "include/contaminant_link_work.h"
#include "include/dimensions.h"
#include "include/model.h"

namespace quendal {

// Size-group weights, indexed 1..NSEDEE (entry 0 unused).
using CmSizeWeights = std::array<double, NSEDEE + 1>;

// Storage capacity of a compartment whose capacity without sorption is base_old at the
// start and base_new at the end of the step, with size-group weights w_old and w_new and
// sorption coefficients K over N groups; linear or Freundlich with exponent n. A start
// concentration C at or below zero gives the bare base (no sorption, no slope): the
// Freundlich power of a negative concentration is not a number.
CmCapacity CM_SORPTION_COEFFICIENTS_GUARDED(double C, double base_old, double base_new,
                                            const CmSizeWeights& w_old,
                                            const CmSizeWeights& w_new, const CmSizeWeights& K,
                                            int N, bool nonlinear, double n, double dt);

// Runs after CM_LINK_SETUP(l) for the same link. Also adds the link's terms of the step
// to the contaminant budget.
void CM_LINK_TRANSPORT(int l, Model& model);

// End of the step for the links: the new water, surface layer and deep layer of every
// link and contaminant become the start-of-step values of the next step.
void CM_COPY_LINK_STATE(Model& model);

}  // namespace quendal
