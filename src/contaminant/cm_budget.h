// Our own account of each contaminant's mass, accumulated every step, in relative
// concentration x m3: what entered, what left and what decayed since initialisation.
#pragma once

namespace quendal {

struct ContaminantBudget {};

}  // namespace quendal
