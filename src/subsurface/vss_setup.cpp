#include "subsurface/vss_setup.h"

#include <string>

#include "services/error_reporting.h"
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
  REPORT_ERROR(io, SEVERITY_FATAL, 1040, PRINT_UNIT, 0, 0,
               format_line("(I4,' Errors have occurred in VSS data reading ','or initialisation.')",
                           vss.VSS_ERROR_COUNT));
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

}  // namespace

void VSS_SET_UP(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
                RunIo& io) {
  RecordSink& print = io.units.print();
  write_banner(print, "Start of VSS data  ");
  vss.VSS_ERROR_COUNT = 0;
  VSS_READ_DATA_FILE(frame, surface, vss, io);
  stop_on_counted_errors(vss, io);
  VSS_SET_UP_AQUIFER_CONNECTIONS(frame, vss, io);
  VSS_SET_UP_CELLS(frame, surface, vss, io);
  VSS_BUILD_SOIL_TABLES(vss, io);
  write_banner(print, "End of VSS data    ");
  stop_on_counted_errors(vss, io);
  refuse_split_cells(frame, vss, io);
}

void VSS_INITIALISE(Model& model) {
  VSS_SET_UP(model.frame, model.surface, model.subsurface, model.io);
  model.frame.NS = model.subsurface.NS;
  model.subsurface.set_no_cells(model.frame.NEL, model.frame.NLF, model.frame.ZGRUND);
}

}  // namespace quendal
