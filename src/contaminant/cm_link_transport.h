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
// sorption coefficients K over N groups; linear or Freundlich with exponent n. A linear
// capacity does not depend on the start concentration C; a Freundlich one at a C at or
// below zero is the bare base (no sorption, no slope): the power of such a C is not a
// number.
CmCapacity CM_SORPTION_COEFFICIENTS_GUARDED(double C, double base_old, double base_new,
                                            const CmSizeWeights& w_old,
                                            const CmSizeWeights& w_new, const CmSizeWeights& K,
                                            int N, bool nonlinear, double n, double dt);

// Sorbed contaminant that sediment infiltrating at `infiltration` (its loose volume per
// second over D x the link's length: dimensionless, as every term of the link balance) carries
// out of a compartment whose capacity over the step is `c` and start concentration C0,
// into the bed below, whose own water content `porosity` counts the sediment's pores:
// (cap - porosity) x rate x the concentration at the end of the step. `value` is that at
// C0 and `linear` its coefficient of the change over the step, so the link balance takes
// the transfer implicitly: a step never moves more than the compartment holds, and the
// removal is in proportion to what it holds.
CmTransfer CM_SORBED_TRANSFER(const CmCapacity& c, double porosity, double C0,
                              double infiltration);

// Runs after CM_LINK_SETUP(l) for the same link. Also adds the link's terms of the step
// to the contaminant budget.
void CM_LINK_TRANSPORT(int l, Model& model);

// End of the step for the links: the new water, surface layer and deep layer of every
// link and contaminant become the start-of-step values of the next step.
void CM_COPY_LINK_STATE(Model& model);

}  // namespace quendal
