#include "frame/catchment_setup.h"

#include "frame/bank_data.h"
#include "frame/frame_data.h"
#include "frame/met_data.h"
#include "frame/geometry.h"
#include "frame/hotstart.h"
#include "surface/oc/oc_time_step.h"
#include "output/run_outputs.h"
#include "services/formatted_writer.h"
#include "subsurface/vss_setup.h"
#include "surface/et/et_data.h"
#include "surface/oc/oc_setup.h"
#include "surface/oc/zq_tables.h"
#include "surface/snow/snow_data.h"

namespace quendal {

namespace {

// After a hot-start file has been read: the run continues from the time of the
// record restored, to which the reader has set the clocks.
void continue_from_hotstart(Model& model) {
  FrameState& frame = model.frame;
  RecordSink& out = model.io.units.print();
  out.write_record("");
  out.write_record("");
  const std::string restart =
      format_line("(' ^^^ HOTSTART OF SIMULATION AT TIME ',F10.2,' ^^^')", frame.UZNOW);
  out.write_record(restart);
  out.write_record("");
  // The record restored may lie later than the time asked for (the first at or after
  // it): the console says where the run goes on.
  model.io.console.write_record(restart);
  // The record carries the levels, not the channels' wetted areas, which the first
  // step's subsurface and channel evaporation read.
  OC_CHANNEL_AREAS(frame, model.surface);
  // Twenty classes: everything the results store can hold at the restart time, whether
  // or not the store is switched on.
  STORE_RESULTS_BY_CLASS("11111111111111111111", frame.UZNOW, false, frame, model.output,
                         model.io);
}

}  // namespace

void CATCHMENT_SETUP(Model& model) {
  FrameState& frame = model.frame;
  RunIo& io = model.io;

  INFR(frame, io);
  allocate_met_data(frame);
  ET_READ_DATA_FILE(model);
  if (frame.SNOW_ON) {
    SM_READ_DATA_FILE(model);
  } else {
    model.surface.MSM = 0;
  }
  OC_INITIALISE(model);
  element_geometry(frame, model.surface, io, frame.PRINT_ON);
  if (frame.BANKS_ON) BK_READ_DATA_FILE(model);
  VSS_INITIALISE(model);
  inherit_link_met_codes(frame);
  if (io.names.ZQ_TABLES_ON) ZQ_READ_TABLES(model);
  for (int unit : {10, 11, 12, 13, 15, 16, 29, 14}) io.units.rewind(unit);
  frame.NEXT_HOTSTART_TIME = 0.0;
  prepare_hotstart_output(model);
  if (frame.HOTSTART_READ) {
    read_hotstart_file(model);
    continue_from_hotstart(model);
  }
}

}  // namespace quendal
