// A three-element catchment built by hand for the output tests, with the run clock and
// the output units in a scratch directory.
//
//   square 2 (100 x 100 m, ground 12 m) --face 1/3-- square 3 (100 x 100 m, ground 11 m)
//                                                       | face 4 / face 2
//   channel link 1 (east-west, 100 m long, 2 m wide, bed 10 m) below square 3; its
//   east end (face 1) has no neighbour and may carry the outlet weir.
//
// The subsurface is in its "no cells" state. The test plays the physics: it sets the
// rates, the face flows and the new levels of a step, then calls step(), which runs the
// output procedures in the driver's order.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "include/model.h"
#include "model_fixture.h"
#include "output/run_outputs.h"
#include "services/calendar.h"

namespace quendal::testing {

struct SmallCatchment : ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& subsurface = model.subsurface;
  OutputState& output = model.output;

  static constexpr int LINK = 1;
  static constexpr int WEST_SQUARE = 2;
  static constexpr int EAST_SQUARE = 3;

  // Also called again inside a test to start a fresh case: every output unit closed,
  // the output state and the clock back at their start.
  void SetUp() override {
    ModelWithFiles::SetUp();
    for (int unit : {41, 42, 43, 44, 47}) model.io.units.close(unit);
    model.io.names.EXTRA_DISCHARGE_POINTS_ON = false;
    output = OutputState();
    frame.UZNOW = 0.0;
    frame.STEP_COUNT = 0;
    frame.HOTSTART_READ = false;
    frame.BANKS_ON = false;
    frame.NX = 2;
    frame.NY = 2;
    frame.NLF = 1;
    frame.NEL = 3;
    frame.NGDBGN = 2;
    frame.ICMREF.resize(3, 4, 3, 0);
    frame.ICMREF(LINK, 1, 1) = 3;
    frame.ICMREF(WEST_SQUARE, 1, 2) = EAST_SQUARE;
    frame.ICMREF(WEST_SQUARE, 1, 3) = 3;
    frame.ICMREF(EAST_SQUARE, 3, 2) = WEST_SQUARE;
    frame.ICMREF(EAST_SQUARE, 3, 3) = 1;
    frame.ICMREF(EAST_SQUARE, 4, 2) = LINK;
    frame.ICMREF(EAST_SQUARE, 4, 3) = 2;
    frame.ICMREF(LINK, 2, 2) = EAST_SQUARE;
    frame.ICMREF(LINK, 2, 3) = 4;
    frame.AREA.resize(3, 10000.0);
    frame.AREA(LINK) = 200.0;
    frame.CLENTH.resize(1, 100.0);
    frame.TOTAL_CATCHMENT_AREA = 20200.0;
    frame.ZGRUND.resize(3, 0.0);
    frame.ZGRUND(LINK) = 10.0;
    frame.ZGRUND(WEST_SQUARE) = 12.0;
    frame.ZGRUND(EAST_SQUARE) = 11.0;
    frame.ELEMENT_RAIN_RATE.resize(3, 0.0);
    frame.DISCHARGE_INTERVAL = 24.0;
    set_start(1990, 1, 1, 0, 0);

    surface.HRF.resize(3, 0.0);
    for (int e = 1; e <= 3; ++e) surface.HRF(e) = frame.ZGRUND(e);
    surface.QOC.resize(3, 4, 0.0);
    surface.ARXL.resize(1, 0.0);
    surface.CWIDTH.resize(1, 2.0);
    for (Array1<double>* a : {&surface.PNETTO, &surface.ET_CANOPY_EVAP, &surface.ET_GROUND_EVAP,
                              &surface.ET_TRANSPIRATION, &surface.cstore}) {
      a->resize(3, 0.0);
    }
    surface.OC_BOUNDARY_TABLE.resize(4, NOCTAB, 0);
    surface.OC_BOUNDARY_COEFFICIENTS.resize(5, NOCTAB, 0.0);
    surface.OC_BOUNDARY_OF_ELEMENT.resize(3, 0);
    subsurface.set_no_cells(frame.NEL, frame.NLF, frame.ZGRUND);
  }

  // `cells` cells of `thickness` m at moisture `theta` under every element, links
  // included (as with banks on); no flow yet.
  void give_cells(int cells, double thickness, double theta) {
    subsurface.LL = cells;
    subsurface.LAYER_BOTTOM_CELL.resize(frame.NEL, NLYREE + 1, cells + 1);
    for (int e = 1; e <= frame.NEL; ++e) subsurface.LAYER_BOTTOM_CELL(e, 1) = 1;
    subsurface.CELL_THICKNESS.resize(cells, frame.NEL, thickness);
    subsurface.CELL_THETA.resize(cells, frame.NEL, theta);
    subsurface.CELL_LATERAL_FLOW.resize(4, cells, frame.NEL, 0.0);
    subsurface.CELL_VERTICAL_FLOW.resize_range(0, cells, 1, frame.NEL, 0.0);
    surface.ET_ROOT_UPTAKE.resize(cells, frame.NEL, 0.0);
  }

  void set_start(int year, int month, int day, int hour, int minute) {
    frame.RUN_START_TIME = DATE_TO_HOURS(year, month, day, hour, minute, model.io);
    frame.CALENDAR_YEAR = year;
    frame.CALENDAR_MONTH = month;
    frame.CALENDAR_DAY = day;
  }

  // Boundary entry 1: a weir of `link` discharging through `face`.
  void add_weir(int link, int face, int entry = 1) {
    surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_ELEMENT, entry) = link;
    surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_FACE, entry) = face;
    surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_TYPE, entry) = OC_BC_WEIR;
    surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_CATEGORY, entry) = 1;
    surface.OC_BOUNDARY_OF_ELEMENT(link) = entry;
  }

  // Opens `unit` on a scratch file named `name` for output.
  std::string open_output(int unit, const std::string& name) {
    std::string path = dir.file(name);
    EXPECT_TRUE(model.io.units.open(unit, path, UnitDirection::Output));
    return path;
  }
  std::string text_of(const std::string& path) {
    model.io.units.flush_all();
    return read_file(path);
  }

  void start() { WRITE_RUN_OUTPUTS("start", frame, surface, subsurface, output, model.io); }
  // One step of `hours`, as the driver ends it: the clock, the balance, the outputs.
  void step(double hours) {
    frame.UZNEXT = hours;
    frame.DTUZ = hours * 3600.0;
    frame.STEP_COUNT += 1;
    frame.UZNOW += hours;
    WATER_BALANCE_ERROR(frame, surface, subsurface, output);
    WRITE_DAILY_BALANCE(frame, surface, subsurface, output, model.io);
    WRITE_RUN_OUTPUTS("main ", frame, surface, subsurface, output, model.io);
  }
};

}  // namespace quendal::testing
