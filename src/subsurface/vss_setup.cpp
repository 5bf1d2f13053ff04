#include "subsurface/vss_setup.h"

#include "subsurface/vss_column_solver.h"

#include <cmath>
#include <string>

#include "services/error_reporting.h"
#include "services/predicates.h"
#include "services/record_reader.h"
#include "services/stops.h"
#include "services/formatted_writer.h"
#include "services/units.h"
#include "subsurface/aquifer_connections.h"
#include "subsurface/soil_tables.h"
#include "subsurface/vss_cells.h"
#include "subsurface/vss_data_file.h"

namespace quendal {
namespace {

void write_banner(RecordSink& print, const std::string& word_and_gap) {
  print.write_record("");
  print.write_record("!!" + std::string(78, '#'));
  print.write_record(" " + word_and_gap + std::string(60, '#'));
  print.write_record(std::string(80, '#'));
}

void stop_on_counted_errors(const SubsurfaceState& vss, RunIo& io) {
  if (vss.VSS_ERROR_COUNT <= 0) return;
  const std::string message = format_line(
      "(I4,' Errors have occurred in VSS data reading ','or initialisation.')", vss.VSS_ERROR_COUNT);
  std::string detail = values_in_full(message, {{"count", vss.VSS_ERROR_COUNT}});
  if (!vss.VSS_FIRST_ERROR_PLACE.file.empty()) {
    detail += (detail.empty() ? "" : "; ") + std::string("the first of them: ") +
              value_read_from(vss.VSS_FIRST_ERROR_PLACE);
  }
  report_fatal_with_detail(io, 1040, PRINT_UNIT, 0, message, detail);
}

// The layer of element e that holds cell k (0 when none does).
int layer_of_cell(const SubsurfaceState& vss, int e, int k) {
  for (int layer = vss.NLYR(e); layer >= 1; --layer) {
    if (k >= vss.LAYER_BOTTOM_CELL(e, layer)) return layer;
  }
  return 0;
}

// The balance closure of a step needs every cell to face one neighbour cell; a cell
// that shares its neighbour cell with another is refused before any step runs.
void refuse_split_cells(const FrameState& frame, const SubsurfaceState& vss, RunIo& io) {
  const int first = frame.BANKS_ON ? 1 : frame.NLF + 1;
  for (int e = first; e <= frame.NEL; ++e) {
    for (int k = vss.LAYER_BOTTOM_CELL(e, 1); k <= vss.LL; ++k) {
      for (int f = 1; f <= 4; ++f) {
        if (vss.CELL_FACE_SPLIT(f, k, e) == 0) continue;
        REPORT_ERROR(io, SEVERITY_FATAL, VSS_SPLIT_CELLS_ERROR, PRINT_UNIT, e, k,
                     "UNFINISHED CODE FOR SPLIT CELLS IN SUBROUTINE VSMB!" +
                         format_line("(' Element',I6,', layer',I3,', cell',I3,', face',I2)", e,
                                     layer_of_cell(vss, e, k), k, f));
      }
    }
  }
}

// The boundary-series files in use: their heading records are skipped here, the time
// step reads the records that follow. A series in use whose file the run-data file does
// not name has nothing to read from.
void skip_series_headings(const SubsurfaceState& vss, RunIo& io) {
  struct InUse {
    int count, unit;
    const char* name;
    bool heading;
  };
  const InUse files[] = {{vss.VSS_WELL_COUNT, VSS_WLD_UNIT, "well abstraction (WLD)", true},
                         {vss.VSS_LFB_COUNT, VSS_LFB_UNIT, "lateral flow boundary (LFB)", true},
                         {vss.VSS_LHB_COUNT, VSS_LHB_UNIT, "lateral head boundary (LHB)", true},
                         {vss.VSS_LGB_COUNT, VSS_LGB_UNIT, "lateral head gradient boundary (LGB)", false},
                         {vss.VSS_BFB_COUNT, VSS_BFB_UNIT, "column base flow boundary (BFB)", true},
                         {vss.VSS_BHB_COUNT, VSS_BHB_UNIT, "column base head boundary (BHB)", true}};
  for (const InUse& f : files) {
    if (f.count <= 0) continue;
    if (!io.units.is_open(f.unit)) {
      REPORT_ERROR(io, SEVERITY_FATAL, VSS_SERIES_ERROR, PRINT_UNIT, 0, 0,
                   std::string("The ") + f.name + " series file (unit" + edit_integer(f.unit, 3) +
                       ") is in use but not named in the run-data file");
    }
    if (f.heading) read_list(io.units.unit(f.unit));
  }
}

// Wells and springs: the cells of each well screen and the cell of each spring.
void place_wells_and_springs(const FrameState& frame, SubsurfaceState& vss, RunIo& io) {
  const int nel = frame.NEL, ll = vss.LL;
  vss.WELL_SCREEN_BOTTOM_CELL.resize(nel, 1);
  vss.WELL_SCREEN_TOP_CELL.resize(nel, 1);
  vss.SPRING_CELL.resize(nel, 0);
  for (int e = frame.NLF + 1; e <= nel; ++e) {
    const int b = vss.LAYER_BOTTOM_CELL(e, 1);
    const int w = vss.WELL_NUMBER(e);
    if (w > 0) {
      const double bottom = frame.ZGRUND(e) - vss.WELL_SCREEN_BOTTOM_DEPTH(w);
      const double top = frame.ZGRUND(e) - vss.WELL_SCREEN_TOP_DEPTH(w);
      int kb = ll + 1;
      for (int k = b; k <= ll; ++k) {
        if (vss.CELL_ELEVATION(k, e) >= bottom) {
          kb = k;
          break;
        }
      }
      int kt = b - 1;
      for (int k = ll; k >= b; --k) {
        if (vss.CELL_ELEVATION(k, e) <= top) {
          kt = k;
          break;
        }
      }
      vss.WELL_SCREEN_BOTTOM_CELL(e) = kb;
      vss.WELL_SCREEN_TOP_CELL(e) = kt;
    }
    if (IS_POSITIVE(vss.SPRING_DEPTH(e))) {
      const double z = frame.ZGRUND(e) - vss.SPRING_DEPTH(e);
      int c = ll + 1;
      for (int k = b; k <= ll; ++k) {
        if (std::fabs(vss.CELL_ELEVATION(k, e) - z) <= 0.5 * vss.CELL_THICKNESS(k, e)) {
          c = k;
          break;
        }
      }
      vss.SPRING_CELL(e) = c;
      // The column holds no cell at the spring's level: it has no spring (any well of
      // the element still works).
      if (c > ll) {
        REPORT_ERROR(io, SEVERITY_WARNING, VSS_SPRING_WARNING, PRINT_UNIT, e, 0,
                     format_line("('Spring level',F10.3,' m lies in no cell of the column: no "
                                 "spring')",
                                 z));
      }
    }
  }
}

// The vsi file ends early or holds what is not a number: the input error names the
// element whose values were being read.
[[noreturn]] void vsi_input_error(const InputError& error, int element) {
  throw InputError(error.file, error.record, error.first_column, error.last_column, error.text,
                   std::string(error.what()) + " (VSS initial conditions of element " +
                       std::to_string(element) + ")");
}

// Initial pressure heads and phreatic levels. False when the heads file lists an
// element out of order (error 1041, counted).
bool set_initial_conditions(const FrameState& frame, SubsurfaceState& vss, RunIo& io) {
  const int nel = frame.NEL, ll = vss.LL;
  const int first = frame.BANKS_ON ? 1 : frame.NLF + 1;
  vss.PHREATIC_LEVEL.resize(nel, 0.0);
  const int mode = vss.VSS_INITIAL_MODE;
  if (mode == 1 || mode == 2) {
    if (mode == 1) {
      for (int e = 1; e <= nel; ++e) {
        vss.PHREATIC_LEVEL(e) =
            std::max(vss.LAYER_BOTTOM_LEVEL(e, 1), frame.ZGRUND(e) - vss.VSS_INITIAL_DEPTH);
      }
    } else {
      RecordSource& vsi = io.units.unit(VSS_INITIAL_CONDITIONS_UNIT);
      read_list(vsi);
      int e = first;
      try {
        ListRead r(vsi);
        for (; e <= nel; ++e) r >> vss.PHREATIC_LEVEL(e);
        r.finish();
      } catch (const InputError& error) {
        vsi_input_error(error, e);
      }
    }
    for (int e = 1; e <= nel; ++e) {
      for (int k = vss.LAYER_BOTTOM_CELL(e, 1); k <= ll; ++k) {
        vss.vspsi(k, e) = vss.PHREATIC_LEVEL(e) - vss.CELL_ELEVATION(k, e);
      }
    }
    return true;
  }
  RecordSource& vsi = io.units.unit(VSS_INITIAL_CONDITIONS_UNIT);
  read_list(vsi);
  for (int e = first; e <= nel; ++e) {
    const int b = vss.LAYER_BOTTOM_CELL(e, 1);
    try {
      int n = 0;
      FieldLog placed;
      {
        FieldLogScope scope(vsi, placed);
        read_list(vsi, n);
      }
      if (n != e) {
        vss.VSS_ERROR_COUNT += 1;
        const std::string message =
            format_line("('Error reading VSS initial conditions for element ',I4,'.')", e);
        REPORT_ERROR(io, SEVERITY_ERROR, 1041, PRINT_UNIT, 0, 0, message);
        // Where the file gives another element number in its place.
        std::string where = values_in_full(message, {{"element", e}});
        if (!placed.empty()) {
          where += (where.empty() ? "" : "; ") + value_read_from(placed[0]);
          if (vss.VSS_FIRST_ERROR_PLACE.file.empty()) vss.VSS_FIRST_ERROR_PLACE = placed[0];
        }
        if (!where.empty()) REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0, where);
        return false;
      }
      ListRead r(vsi);
      for (int k = b; k <= ll; ++k) r >> vss.vspsi(k, e);
      r.finish();
    } catch (const InputError& error) {
      vsi_input_error(error, e);
    }
    int top = ll;
    for (int k = b; k <= ll; ++k) {
      if (IS_NEGATIVE(vss.vspsi(k, e))) {
        top = std::max(b, k - 1);
        break;
      }
    }
    vss.PHREATIC_LEVEL(e) =
        std::max(vss.CELL_ELEVATION(b, e) - 0.5 * vss.CELL_THICKNESS(b, e),
                 vss.CELL_ELEVATION(top, e) + vss.vspsi(top, e));
  }
  return true;
}

// Soil type of every cell, and its moisture content and relative conductivity at the
// initial heads. The moisture content is set here (not left at zero until the first
// step) so that the first step's storage change starts from the water the cells hold.
void interpolate_initial_state(const FrameState& frame, SubsurfaceState& vss, RunIo& io) {
  const int nel = frame.NEL, ll = vss.LL;
  const int first = frame.BANKS_ON ? 1 : frame.NLF + 1;
  vss.CELL_SOIL_TYPE.resize(ll, nel, 1);
  vss.CELL_TABLE_INDEX.resize(ll, nel, 0);
  vss.CELL_KR.resize(ll, nel, 0.0);
  double eta[MAX_CELLS_PER_COLUMN], deta[MAX_CELLS_PER_COLUMN], dkr[MAX_CELLS_PER_COLUMN];
  for (int e = first; e <= nel; ++e) {
    const int b = vss.LAYER_BOTTOM_CELL(e, 1);
    if (b > ll) continue;
    for (int layer = 1; layer <= vss.NLYR(e); ++layer) {
      const int top = layer == vss.NLYR(e) ? ll : vss.LAYER_BOTTOM_CELL(e, layer + 1) - 1;
      for (int k = vss.LAYER_BOTTOM_CELL(e, layer); k <= top; ++k) {
        vss.CELL_SOIL_TYPE(k, e) = vss.NTSOIL(e, layer);
      }
    }
    const std::size_t n = static_cast<std::size_t>(ll - b + 1);
    VSS_INTERPOLATE_SOIL_TABLES(vss, io, e, b, ll, {&vss.CELL_SOIL_TYPE(b, e), n},
                                {&vss.vspsi(b, e), n}, {&vss.CELL_TABLE_INDEX(b, e), n},
                                {&vss.CELL_THETA(b, e), n}, {eta, n}, {&vss.CELL_KR(b, e), n},
                                {deta, n}, {dkr, n});
  }
}

}  // namespace

void VSS_STATE_FROM_HEADS(const FrameState& frame, SubsurfaceState& vss, RunIo& io) {
  interpolate_initial_state(frame, vss, io);
  const int first = frame.BANKS_ON ? 1 : frame.NLF + 1;
  for (int e = first; e <= frame.NEL; ++e) {
    if (vss.LAYER_BOTTOM_CELL(e, 1) > vss.LL) continue;
    vss.PHREATIC_LEVEL(e) = column_phreatic_level(vss, e);
  }
}

void VSS_ALLOCATE_CELL_ARRAYS(int NEL, SubsurfaceState& vss) {
  const int ll = vss.LL;
  vss.CELL_LATERAL_FLOW.resize(4, ll, NEL, 0.0);
  vss.CELL_VERTICAL_FLOW.resize(ll, NEL, 0.0);
  vss.vspsi.resize(ll, NEL, 0.0);
  vss.CELL_THETA.resize(ll, NEL, 0.0);
  vss.CELL_WELL_ABSTRACTION.resize(ll, NEL, 0.0);
}

void VSS_SET_UP(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
                RunIo& io) {
  RecordSink& print = io.units.print();
  write_banner(print, "Start of VSS data  ");
  vss.VSS_ERROR_COUNT = 0;
  vss.VSS_FIRST_ERROR_PLACE = FieldPlace();
  vss.column_kernel = best_column_kernel();
  VSS_READ_DATA_FILE(frame, surface, vss, io);
  stop_on_counted_errors(vss, io);
  skip_series_headings(vss, io);
  VSS_SET_UP_AQUIFER_CONNECTIONS(frame, vss, io);
  VSS_SET_UP_CELLS(frame, surface, vss, io);
  const int nel = frame.NEL;
  vss.CELL_FACE_AREA.resize(4, vss.LL, nel, 0.0);
  VSS_ALLOCATE_CELL_ARRAYS(nel, vss);
  vss.WELL_ABSTRACTION.resize(nel, 0.0);
  vss.INFILTRATION_RATE.resize(nel, 0.0);
  vss.COLUMN_BASE_FLOW.resize(nel, 0.0);
  vss.SPRING_DISCHARGE.resize(nel, 0.0);
  vss.STREAM_AQUIFER_LATERAL_FLOW.resize(frame.NLF, 2, 0.0);
  vss.STREAM_AQUIFER_WET_FLOW.resize(frame.NLF, 2, 0.0);
  vss.STREAM_AQUIFER_DRY_FLOW.resize(frame.NLF, 2, 0.0);
  place_wells_and_springs(frame, vss, io);
  VSS_BUILD_SOIL_TABLES(vss, io);
  if (set_initial_conditions(frame, vss, io)) {
    interpolate_initial_state(frame, vss, io);
    write_banner(print, "End of VSS data    ");
  }
  stop_on_counted_errors(vss, io);
  refuse_split_cells(frame, vss, io);
}

void VSS_INITIALISE(Model& model) {
  VSS_SET_UP(model.frame, model.surface, model.subsurface, model.io);
  model.frame.NS = model.subsurface.NS;
  model.surface.ET_ROOT_UPTAKE.resize(model.subsurface.LL, model.frame.NEL, 0.0);
}

}  // namespace quendal
