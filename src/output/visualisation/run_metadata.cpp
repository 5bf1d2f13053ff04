#include "output/visualisation/run_metadata.h"

#include <memory>
#include <vector>

namespace quendal {

namespace {

void send_text(VisualisationLibrary& library, std::string_view key, const std::string& text) {
  library.SEND_P(key, std::string_view(text), 0, 0);
}
void send_integer(VisualisationLibrary& library, std::string_view key, int value) {
  library.SEND_P(key, value, 0, 0);
}

// One logical per element 1..NEL.
template <class Test>
void send_element_flags(VisualisationLibrary& library, std::string_view key, int nel, Test test) {
  std::unique_ptr<bool[]> flags(new bool[static_cast<std::size_t>(nel)]);
  for (int e = 1; e <= nel; ++e) flags[static_cast<std::size_t>(e - 1)] = test(e);
  library.SEND_P(key, std::span<const bool>(flags.get(), static_cast<std::size_t>(nel)), nel, 0);
}

void send_pass_2(const VisualisationSources& s, VisualisationLibrary& library) {
  const FrameState& frame = s.frame;
  const int nx = GET_NX(frame), ny = GET_NY(frame), nel = GET_NEL(frame);
  send_integer(library, "north", 2);
  send_integer(library, "east", 1);
  send_integer(library, "south", 4);
  send_integer(library, "west", 3);
  send_integer(library, "grid_nx", nx);
  send_integer(library, "grid_ny", ny);
  send_integer(library, "top_cell", GET_TOP_CELL(s.subsurface));
  send_integer(library, "nel", nel);
  send_integer(library, "nsed", GET_NSED(s.sediment));
  send_integer(library, "ncon", GET_NCON(s.contaminant));
  send_element_flags(library, "is_square", nel, [&](int e) { return IS_GRID_SQUARE(frame, e); });
  send_element_flags(library, "is_bank", nel, [&](int e) { return IS_BANK_ELEMENT(frame, e); });
  send_element_flags(library, "is_link", nel, [&](int e) { return IS_LINK_ELEMENT(frame, e); });

  // The plan grid: plan row j is grid row NY - j + 1, so plan row 1 is the northern row.
  std::vector<int> plan(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
  for (int i = 1; i <= nx; ++i) {
    for (int j = 1; j <= ny; ++j) {
      plan[static_cast<std::size_t>((i - 1) + nx * (j - 1))] = ELEMENT_AT_GRID(frame, i, ny - j + 1);
    }
  }
  library.SEND_P("su", std::span<const int>(plan), nx, ny);

  // Per element and face 1..4: the bank element, then the link, beside each grid square.
  std::vector<int> faces(static_cast<std::size_t>(nel) * 4);
  auto send_faces = [&](std::string_view key, int (*neighbour)(const FrameState&, int, int)) {
    for (int f = 1; f <= 4; ++f) {
      for (int e = 1; e <= nel; ++e) {
        faces[static_cast<std::size_t>((e - 1) + nel * (f - 1))] =
            IS_GRID_SQUARE(frame, e) ? neighbour(frame, e, f) : 0;
      }
    }
    library.SEND_P(key, std::span<const int>(faces), nel, 4);
  };
  send_faces("bank_no", BANK_NEIGHBOUR);
  send_faces("river_no", BANK_OR_LINK_NEIGHBOUR);
}

}  // namespace

void VIS_SEND_RUN_METADATA(int pass, const VisualisationSources& s, const RunNames& names,
                           VisualisationLibrary& library) {
  if (pass == 1) {
    send_text(library, "dirqq", names.RUN_DIR);
    send_text(library, "rootdir", names.START_DIR);
    send_integer(library, "ver", VIS_INTERFACE_VERSION());
    send_text(library, "hdf5fname", names.HDF5_FILE_NAME);
    send_text(library, "planfile", names.PLAN_FILE_NAME);
    send_text(library, "checkfile", names.CHECK_FILE_NAME);
  } else if (pass == 2) {
    send_pass_2(s, library);
  }
}

}  // namespace quendal
