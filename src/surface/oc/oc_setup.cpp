#include "surface/oc/oc_setup.h"

#include "surface/oc/oc_time_step.h"

#include <algorithm>
#include <array>

#include "frame/topology.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/record_reader.h"
#include "services/units.h"
#include "surface/oc/oc_conveyance.h"
#include "surface/oc/oc_data_file.h"
#include "surface/oc/oc_input_checks.h"
#include "surface/surface_state.h"

namespace quendal {

void size_oc_state(const FrameState& frame, SurfaceState& surface) {
  const int nel = frame.NEL;
  const int nlf = frame.NLF;
  size_surface_water_state(surface, nel, nlf, frame.junction_entry_count);
  surface.STRX.resize(nel, 0.0);
  surface.STRY.resize(nel, 0.0);
  surface.OC_N_HEAD_CATEGORIES = 0;
  surface.OC_N_FLUX_CATEGORIES = 0;
  surface.OC_N_POLYNOMIAL_CATEGORIES = 0;
  surface.OC_BOUNDARY_ENTRY_COUNT = 0;
  surface.OC_BOUNDARY_TABLE.resize(4, NOCTAB, 0);
  surface.OC_BOUNDARY_COEFFICIENTS.resize(5, NOCTAB, 0.0);
  surface.OC_BOUNDARY_OF_ELEMENT.resize(nel, 0);
  surface.CWIDTH.resize(nlf, 0.0);
  surface.ZBFULL.resize(nlf, 0.0);
  surface.NXSECT.resize(nlf, 0);
  surface.XINW.resize(nlf, NOCTAB, 0.0);
  surface.XINH.resize(nlf, NOCTAB, 0.0);
  surface.LINK_PAIR_AREA.resize(nlf, NOCTAB, 0.0);
  surface.LINK_FULL_AREA.resize(nlf, 0.0);
  surface.LINK_EQUIVALENT_BED.resize(nlf, 0.0);
  surface.OC_SECTION_TABLE.resize(nlf, OcSectionTable{});
  surface.OC_ROW_START.resize(std::max(frame.NY, 0) + 1, 0);
  surface.OC_ROW_ELEMENTS.resize(nel, 0);
  surface.OC_COLUMN_OF_ELEMENT.resize(nel, 0);
  surface.OC_FIRST_ROW = 0;
  surface.OC_LAST_ROW = 0;
}

void build_link_sections(SurfaceState& surface, int nlf) {
  for (int l = 1; l <= nlf; ++l) {
    const int n = std::clamp(surface.NXSECT(l), 0, NOCTAB);
    std::array<double, NOCTAB> width{}, height{};
    for (int j = 1; j <= n; ++j) {
      width[j - 1] = surface.XINW(l, j);
      height[j - 1] = surface.XINH(l, j);
    }
    const OcSectionTable table =
        build_section_table(std::span<const double>(width.data(), n),
                            std::span<const double>(height.data(), n), surface.STRX(l));
    for (int j = 1; j <= n; ++j) surface.LINK_PAIR_AREA(l, j) = table.pair_area[j - 1];
    const double full_area = n > 0 ? table.pair_area[n - 1] : 0.0;
    surface.LINK_FULL_AREA(l) = full_area;
    surface.LINK_EQUIVALENT_BED(l) = surface.ZBFULL(l) - full_area / surface.CWIDTH(l);
    surface.OC_SECTION_TABLE(l) = table;
  }
}

void build_oc_rows(const FrameState& frame, SurfaceState& surface, RunIo& io) {
  int placed = 0;
  int longest = 0;
  surface.OC_FIRST_ROW = 0;
  surface.OC_LAST_ROW = 0;
  for (int y = 1; y <= frame.NY; ++y) {
    surface.OC_ROW_START(y) = placed + 1;
    if (placed == 0) surface.OC_FIRST_ROW = y;
    int in_row = 0;
    auto place = [&](int e) {
      if (e <= 0) return;
      ++placed;
      ++in_row;
      surface.OC_ROW_ELEMENTS(placed) = e;
      surface.OC_COLUMN_OF_ELEMENT(e) = in_row;
    };
    // A link with its banks, west to east for a north-south link (side 2 is its west
    // bank), south to north for an east-west one (side 1 is its north bank).
    auto place_link = [&](int link, int first_side, int last_side) {
      if (link == 0) return;
      if (frame.BANKS_ON) place(frame.LINK_BANK_ELEMENT(link, first_side));
      place(link);
      if (frame.BANKS_ON) place(frame.LINK_BANK_ELEMENT(link, last_side));
    };
    for (int x = 1; x <= frame.NX; ++x) {
      place_link(FIND_LINK_AT_FACE(frame, x, y, true), 2, 1);
      place(frame.ICMXY(x, y));
      place_link(FIND_LINK_AT_FACE(frame, x, y, false), 1, 2);
    }
    if (in_row > 0) surface.OC_LAST_ROW = y;
    longest = std::max(longest, in_row);
  }
  surface.OC_ROW_START(frame.NY + 1) = placed + 1;
  if (longest > NXOC) {
    REPORT_ERROR(io, SEVERITY_FATAL, 1006, PRINT_UNIT, 0, 0, "ARRAY DIMENSION OF NXOC TOO SMALL");
  }
}

void OC_INITIALISE(Model& model) {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  RunIo& io = model.io;

  OC_CHECK_VARIABLES(frame, io);
  OC_CHECK_STATIC_ARRAYS(frame, io);
  size_oc_state(frame, surface);
  OC_READ_DATA_FILE(frame, surface, io);
  OC_CHECK_INPUT_DATA(frame, surface, io);

  // The OC step reads the boundary series records that follow their title lines.
  if (surface.OC_N_HEAD_CATEGORIES > 0) read_list(io.units.unit(OC_HEAD_SERIES_UNIT));
  if (surface.OC_N_FLUX_CATEGORIES > 0) read_list(io.units.unit(OC_FLUX_SERIES_UNIT));

  if (frame.NLF >= 1) {
    if (surface.OC_PRINT_FLAG % 2 == 1) {
      RecordSink& out = io.units.print();
      out.write_record("");
      write_formatted(out, "(5X,A,A,I6)", "Size of internal tables for channel conveyance, etc",
                      "  NXSCEE =", NXSCEE);
    }
    build_link_sections(surface, frame.NLF);
    OC_CHANNEL_AREAS(frame, surface);
  }
  build_oc_rows(frame, surface, io);
}

}  // namespace quendal
