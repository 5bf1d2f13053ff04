// One plan item's values for one element: over the item's cell layers and extra
// indexes, for the element itself and, as the item's type code asks, for the bank
// elements and channel links beside it, each vector handed to the library at once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "output/visualisation/value_accessors.h"
#include "output/visualisation/visualisation_library.h"

namespace quendal {

// Faces in the order the collectors and the "faces" extra dimension visit them:
// north, east, south, west.
constexpr int VIS_FACE_ORDER[4] = {2, 1, 4, 3};

// The type code (compared without trailing blanks) selects the vectors:
//   "GS" reals, "NS" integers: the element ("m"), then over each face in face order the
//        bank element ("b") and the link beyond it or beside the element ("r");
//   "MS" reals, "IS" integers: the element only;
//   "BS" reals, "ES" integers: the bank elements beside it ("e");
//   "LS" reals, "FS" integers: the links beside it, directly or beyond a bank ("e");
//   any other code: nothing.
// Every vector holds one value per entry of `cells` (khigh - klow + 1 of them, none
// when khigh < klow); one vector is saved per entry of `extra` for each element part.
// For a grid item i and j are the plan column and row and `grid_row` is NY - j + 1; for
// a list item i is the position in the selection, j and `grid_row` 1. The value
// accessors are asked with the grid column i and `grid_row` also for a neighbour.
// `real_work` and `int_work` hold the vector being built.
void VIS_COLLECT_ITEM(const VisualisationSources& s, VisualisationLibrary& library,
                      std::string_view item_name, std::string_view type, int i, int j,
                      int grid_row, int element, int klow, int khigh, std::span<const int> cells,
                      std::span<const int> extra, std::int64_t latest, int nsed, int ncon,
                      std::vector<float>& real_work, std::vector<int>& int_work);

}  // namespace quendal
