#include "services/contaminant_sections.h"

#include <stdexcept>
#include <vector>


namespace quendal {

void REPORT_DATA_FILE_STATUS(RunIo& io, TitledBlockState& state, int mode, int unit,
                             int unit_out, std::string_view name) {
  report_file_status(io, state, mode == 0, unit, unit_out, name);
}

void READ_CHARACTER_BLOCK(RunIo& io, TitledBlockState& state, int unit_in, int unit_out,
                          std::string_view key, int na, int nb, std::span<std::string> texts) {
  read_section_title(io, state, unit_in, unit_out, key, TagMatch::exact);
  read_section_texts(io, state, unit_in, unit_out, 5, na, nb, texts);
  state.last_line = state.current_line;
}

void READ_REAL_BLOCK(RunIo& io, TitledBlockState& state, int grid, int unit_in, int unit_out,
                     std::string_view key, int na, int nb, std::span<double> reals) {
  read_section_title(io, state, unit_in, unit_out, key, TagMatch::exact);
  if (grid == 0) {
    read_section_list(io, state, unit_in, unit_out, 7, "floating-point", na, nb, reals);
  } else {
    read_section_real_grid(io, state, unit_in, unit_out, na, nb, reals);
  }
  state.last_line = state.current_line;
}

void READ_INTEGER_BLOCK(RunIo& io, TitledBlockState& state, int kind, int unit_in, int unit_out,
                        std::string_view key, int na, int nb, std::span<int> ints) {
  read_section_title(io, state, unit_in, unit_out, key, TagMatch::exact);
  if (kind == 0) {
    read_section_list(io, state, unit_in, unit_out, 6, "integer", na, nb, ints);
  } else {
    read_section_integer_grid(io, state, unit_in, unit_out, na, nb, kind, ints);
  }
  state.last_line = state.current_line;
}

void READ_LOGICAL_BLOCK(RunIo& io, TitledBlockState& state, int unit_in, int unit_out,
                        std::string_view key, int na, int nb, std::span<bool> flags) {
  read_section_title(io, state, unit_in, unit_out, key, TagMatch::exact);
  read_section_list(io, state, unit_in, unit_out, 14, "logical", na, nb, flags);
  state.last_line = state.current_line;
}

void READ_INTEGER_BLOCK_MN(RunIo& io, TitledBlockState& state, const FrameState& frame, int nx,
                           int ny, bool banks_on, int ncat, int unit_in, int unit_out,
                           std::string_view key, ElementColumn<int> codes) {
  constexpr int number = 3090;
  if (nx < 0 || ny < 0 ||
      (nx > 0 && ny > 0 && (frame.ICMXY.extent(1) < nx || frame.ICMXY.extent(2) < ny))) {
    throw std::invalid_argument("READ_INTEGER_BLOCK_MN: grid larger than ICMXY");
  }
  std::vector<int> work(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
  const FieldLog placed = read_with_places(io, unit_in, [&] {
    READ_INTEGER_BLOCK(io, state, ncat, unit_in, unit_out, key, nx, ny, work);
  });

  for (int y = 1; y <= ny; ++y) {
    for (int x = 1; x <= nx; ++x) {
      const int e = frame.ICMXY(x, y);
      if (e <= 0) continue;  // cells outside the catchment may hold anything
      const int v = work[static_cast<std::size_t>(x - 1) + static_cast<std::size_t>(nx) * (y - 1)];
      if (v < 1 || v > ncat) {
        // The message is the one users know (it names another file and section); the
        // continuation says where the value is.
        std::string detail = "Category " + std::to_string(v) + " outside 1 to " +
                             std::to_string(ncat) + " at grid cell (" + std::to_string(x) + ", " +
                             std::to_string(y) + "), element " + std::to_string(e) + ", under " +
                             std::string(key);
        const std::size_t entry = grid_place_entry(x, y, nx, ny);
        if (entry < placed.size()) detail += "; " + value_read_from(placed[entry]);
        report_block_fatal(io, unit_out, number, 0, "Error in NCELEM in :MN43 in MN data file",
                           detail);
      }
      if (!codes.covers(e)) {
        throw std::out_of_range("READ_INTEGER_BLOCK_MN: element " + std::to_string(e) +
                                " outside the codes array");
      }
      codes(e) = v;
    }
  }

  if (frame.NLF >= 1 && banks_on) copy_to_bank_elements(io, frame, unit_out, number, key, codes);
}

}  // namespace quendal
