// The items the run can deliver to the visualisation library: 8 static items that
// describe the catchment (numbers -7 to 0) and 44 dynamic items that change during the
// run (numbers 1 to 44, also the class numbers of the results store). Both tables are
// constants.
#pragma once

#include <string_view>

#include "include/arrays.h"

namespace quendal {

struct VIS_ITEM_RECORD {
  int ITEM_NUMBER = 0;
  std::string_view ITEM_NAME;         // the key by which the plan names the item
  std::string_view ITEM_DESCRIPTION;
  std::string_view ITEM_UNITS;
  std::string_view ITEM_BASIS;        // "G", "N", "M" or "L", passed on unchanged
  std::string_view ITEM_EXTRA_DIMENSIONS;  // "-", "faces", "X_Y" or "left_right"
  bool ITEM_PER_CELL = false;
  bool ITEM_PER_SIZE_GROUP = false;
  bool ITEM_PER_CONTAMINANT = false;
  bool ITEM_IMPLEMENTED = false;      // the value accessors deliver it
};

constexpr int VIS_STATIC_ITEM_COUNT = 8;
constexpr int VIS_DYNAMIC_ITEM_COUNT = 44;

// "static": the static records indexed -7 to 0; "dynamic": the dynamic records indexed
// 1 to 44; any other selector: an empty table.
Array1<VIS_ITEM_RECORD> VIS_ITEM_TABLE(std::string_view selector);

// The record of the item of that name (trailing blanks do not count), static or
// dynamic; nullptr for a name in neither table.
const VIS_ITEM_RECORD* find_vis_item(std::string_view name);

// The name without its trailing blanks: names and codes compare blank-padded.
std::string_view trim_trailing_blanks(std::string_view text);

}  // namespace quendal
