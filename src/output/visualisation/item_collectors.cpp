#include "output/visualisation/item_collectors.h"

#include "output/visualisation/item_tables.h"

namespace quendal {

void VIS_COLLECT_ITEM(const VisualisationSources& s, VisualisationLibrary& library,
                      std::string_view item_name, std::string_view type, int i, int j,
                      int grid_row, int element, int klow, int khigh, std::span<const int> cells,
                      std::span<const int> extra, std::int64_t latest, int nsed, int ncon,
                      std::vector<float>& real_work, std::vector<int>& int_work) {
  const std::string_view code = trim_trailing_blanks(type);
  const bool reals = code == "GS" || code == "MS" || code == "BS" || code == "LS";
  const bool integers = code == "NS" || code == "IS" || code == "ES" || code == "FS";
  if (!reals && !integers) return;
  const bool own = code == "GS" || code == "NS" || code == "MS" || code == "IS";
  const bool own_neighbours = code == "GS" || code == "NS";
  const bool banks_only = code == "BS" || code == "ES";
  const bool links_only = code == "LS" || code == "FS";

  // The vectors of target element x for every extra position; `face_position` is 0 for
  // the element's own part.
  auto save = [&](std::string_view part, int x, int face_position) {
    for (std::size_t e = 0; e < extra.size(); ++e) {
      const int position = static_cast<int>(e) + 1;
      if (reals) {
        real_work.clear();
        for (int cell : cells) {
          real_work.push_back(
              VIS_REAL_VALUE(s, item_name, x, i, grid_row, cell, extra[e], nsed, ncon));
        }
        library.SAVE_ITEMS_WORTH_R(part, type, i, j, klow, khigh, position, face_position,
                                   real_work, latest);
      } else {
        int_work.clear();
        for (int cell : cells) {
          int_work.push_back(VIS_INT_VALUE(s, item_name, x, i, grid_row, cell, extra[e], nsed, ncon));
        }
        library.SAVE_ITEMS_WORTH_I(part, type, i, j, klow, khigh, position, face_position,
                                   int_work, latest);
      }
    }
  };

  if (own) save("m", element, 0);
  for (int f = 1; f <= 4; ++f) {
    const int face = VIS_FACE_ORDER[f - 1];
    const int bank = BANK_NEIGHBOUR(s.frame, element, face);
    const int link = BANK_OR_LINK_NEIGHBOUR(s.frame, element, face);
    if (own_neighbours) {
      if (IS_POSITIVE_INTEGER(bank)) save("b", bank, f);
      if (IS_POSITIVE_INTEGER(link)) save("r", link, f);
    } else if (banks_only && IS_POSITIVE_INTEGER(bank)) {
      save("e", bank, f);
    } else if (links_only && IS_POSITIVE_INTEGER(link)) {
      save("e", link, f);
    }
  }
}

}  // namespace quendal
