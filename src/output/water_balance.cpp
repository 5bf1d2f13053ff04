#include "output/water_balance.h"

#include <cmath>
#include <string>

#include "output/results_store.h"
#include "services/calendar.h"
#include "services/predicates.h"
#include "surface/snow/snow_step.h"

namespace quendal {

namespace {

// --- the cells and the stream-aquifer exchange ---------------------------------------
// A subsurface without cells (LL = 0) makes every cell loop below empty and has no
// stream-aquifer flows.

// Water held in the cells of element i's column, m over its area.
double column_cell_water(const SubsurfaceState& subsurface, int i) {
  double water = 0.0;
  for (int k = subsurface.LAYER_BOTTOM_CELL(i, 1); k <= subsurface.LL; ++k) {
    water += subsurface.CELL_THICKNESS(k, i) * subsurface.CELL_THETA(k, i);
  }
  return water;
}
// Stream-aquifer flows of link l on bank side s, m3/s, positive out of the channel.
// The dry flow is booked with the wet: the channel gave or took that water either way.
double stream_aquifer_lateral_flow(const SubsurfaceState& subsurface, int l, int s) {
  return subsurface.STREAM_AQUIFER_LATERAL_FLOW.empty() ? 0.0
                                                        : subsurface.STREAM_AQUIFER_LATERAL_FLOW(l, s);
}
double stream_aquifer_wet_flow(const SubsurfaceState& subsurface, int l, int s) {
  return subsurface.STREAM_AQUIFER_WET_FLOW.empty()
             ? 0.0
             : subsurface.STREAM_AQUIFER_WET_FLOW(l, s) + subsurface.STREAM_AQUIFER_DRY_FLOW(l, s);
}
// Snow water of element i, m over its area: the pack, valued with the specific gravity
// it melts with, and the meltwater on its way through it. No snow state: none.
double snow_water(const SurfaceState& surface, int i) {
  if (surface.SD.empty()) return 0.0;
  return 0.001 * SM_ELEMENT_WATER(surface, i);
}

// The flow into element i's column through its base, m/s, positive upwards: the
// vertical flow out of the cell just below the column's bottom cell b. A column whose
// bottom cell is the first of the stack has nothing below it, so nothing flows in.
double column_base_flow(const SubsurfaceState& subsurface, int i) {
  const int below = subsurface.LAYER_BOTTOM_CELL(i, 1) - 1;
  const Array2<double>& flow = subsurface.CELL_VERTICAL_FLOW;
  if (below < flow.lower(1) || below > flow.upper(1)) return 0.0;
  return flow(below, i);
}

int bottom_cell(const SubsurfaceState& subsurface, int i) {
  return subsurface.LAYER_BOTTOM_CELL(i, 1);
}

// --- element storage and inflow ------------------------------------------------------

// Water an element holds, m over its area: the channel's wetted area over its width or
// the surface water depth (negative when the level is below the ground), plus the
// water in its cells.
double element_storage(const FrameState& frame, const SurfaceState& surface,
                       const SubsurfaceState& subsurface, int i) {
  double s = frame.ICMREF(i, 1, 1) == KIND_CHANNEL_LINK ? surface.ARXL(i) / surface.CWIDTH(i)
                                                        : surface.GET_HRF(i) - frame.ZGRUND(i);
  return s + column_cell_water(subsurface, i);
}

// Net vertical inflow per unit area, m/s.
double vertical_inflow(const SurfaceState& surface, const SubsurfaceState& subsurface, int i) {
  double w = surface.PNETTO(i) - surface.ET_GROUND_EVAP(i) + column_base_flow(subsurface, i) -
             subsurface.WELL_ABSTRACTION(i);
  for (int k = bottom_cell(subsurface, i); k <= subsurface.LL; ++k) {
    w -= surface.ET_ROOT_UPTAKE(k, i);
  }
  return w;
}

// Net lateral inflow, m3/s: through the four faces at the surface, through the cells'
// faces, and, for a link, what its bed exchanges with the banks.
double lateral_inflow(const FrameState& frame, const SurfaceState& surface,
                      const SubsurfaceState& subsurface, int i) {
  double banks = 0.0;
  if (frame.ICMREF(i, 1, 1) == KIND_CHANNEL_LINK) {
    banks = -stream_aquifer_lateral_flow(subsurface, i, 1) -
            stream_aquifer_lateral_flow(subsurface, i, 2);
  }
  // QOC is positive towards the east and the north: out through faces 1 and 2, in
  // through faces 3 and 4.
  double b =
      banks + (-surface.QOC(i, 1) + surface.QOC(i, 3)) + (-surface.QOC(i, 2) + surface.QOC(i, 4));
  for (int k = bottom_cell(subsurface, i); k <= subsurface.LL; ++k) {
    for (int f = 1; f <= 4; ++f) b += subsurface.CELL_LATERAL_FLOW(f, k, i);
  }
  return b;
}

// --- the balance calendar ------------------------------------------------------------

void advance_balance_calendar(OutputState& output) {
  const int days = days_in_month(output.CALENDAR_YEAR, output.CALENDAR_MONTH);
  output.CALENDAR_DAY = output.CALENDAR_DAY % days + 1;
  if (output.CALENDAR_DAY != 1) return;
  output.CALENDAR_MONTH = output.CALENDAR_MONTH % 12 + 1;
  if (output.CALENDAR_MONTH == 1) output.CALENDAR_YEAR += 1;
}

// The storages now, m3, into `storage` (canopy, snow, subsurface, land surface,
// channels): canopy, snow and land surface of the column elements, the cells of every
// column that has cells (the links' own, under their beds, when banks are on), the
// channels of the links.
void measure_storages(const FrameState& frame, const SurfaceState& surface,
                      const SubsurfaceState& subsurface, double* storage) {
  double canopy = 0.0, snow = 0.0, cells = 0.0, land = 0.0, channels = 0.0;
  for (int i = 1; i <= frame.NEL; ++i) {
    const double area = frame.AREA(i);
    cells += column_cell_water(subsurface, i) * area;
    if (i <= frame.NLF) {
      channels += surface.ARXL(i) * frame.CLENTH(i);
      continue;
    }
    canopy += surface.cstore(i) * (0.001 * area);  // cstore in mm
    snow += snow_water(surface, i) * area;
    land += (surface.GET_HRF(i) - frame.ZGRUND(i)) * area;
  }
  storage[0] = canopy;
  storage[1] = snow;
  storage[2] = cells;
  storage[3] = land;
  storage[4] = channels;
}

// --- what crosses the catchment's edges ------------------------------------------------

// Net inflow through the catchment's lateral boundaries, m3/s: the subsurface's flow,
// head and head-gradient boundaries, as the cells' flows through those faces, and the
// surface flows through every face without a neighbour (flux, head and polynomial
// boundaries, weirs) except the outlet's, which is the discharge.
double lateral_boundary_inflow(const FrameState& frame, const SurfaceState& surface,
                               const SubsurfaceState& subsurface, const OutputState& output) {
  double inflow = 0.0;
  const Array2<int>& code = subsurface.VSS_BOUNDARY_CODE;
  if (!code.empty()) {
    for (int e = code.lower(2); e <= code.upper(2); ++e) {
      for (int f = 1; f <= 4; ++f) {
        const int kind = code(1 + f, e);
        if (kind < VSS_LATERAL_FLOW || kind > VSS_LATERAL_HEAD_GRADIENT) continue;
        for (int k = bottom_cell(subsurface, e); k <= subsurface.LL; ++k) {
          inflow += subsurface.CELL_LATERAL_FLOW(f, k, e);
        }
      }
    }
  }
  if (surface.QOC.empty()) return inflow;
  for (int e = 1; e <= frame.NEL; ++e) {
    for (int f = 1; f <= 4; ++f) {
      if (frame.ICMREF(e, f, 2) != 0) continue;
      if (e == output.OUTLET_ELEMENT && f == output.OUTLET_FACE) continue;
      // QOC is positive towards the east and the north: out through faces 1 and 2.
      inflow += f <= 2 ? -surface.QOC(e, f) : surface.QOC(e, f);
    }
  }
  return inflow;
}

// Well water given to the elements `first`..`last` that receive a well's water, m3/s:
// the abstraction of each one's well as it stands now.
double well_water_given(const FrameState& frame, const SubsurfaceState& subsurface, int first,
                        int last) {
  if (subsurface.WELL_WATER_SOURCE.empty()) return 0.0;
  double given = 0.0;
  for (int r = first; r <= last; ++r) {
    const int well = subsurface.WELL_WATER_SOURCE(r);
    if (well != 0) given += subsurface.WELL_ABSTRACTION(well) * frame.AREA(well);
  }
  return given;
}

// Well water that left the catchment over the step, m3/s, and the water the next step's
// ET step will give to column elements. The wells took this step's abstraction; the
// driver gave the links their share of it after the subsurface step, while the ET step,
// which runs before the subsurface step, gave the columns the abstraction of the step
// before.
double well_export(const FrameState& frame, const SubsurfaceState& subsurface,
                   OutputState& output) {
  if (subsurface.WELL_ABSTRACTION.empty()) return 0.0;
  double taken = 0.0;
  for (int e = 1; e <= frame.NEL; ++e) taken += subsurface.WELL_ABSTRACTION(e) * frame.AREA(e);
  const double to_links = well_water_given(frame, subsurface, 1, frame.NLF);
  const double exported = taken - to_links - output.WELL_WATER_TO_COLUMNS;
  output.WELL_WATER_TO_COLUMNS = well_water_given(frame, subsurface, frame.NLF + 1, frame.NEL);
  return exported;
}

}  // namespace

int days_in_month(int year, int month) {
  static constexpr int DAYS[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && is_leap_year(year)) return 29;
  return DAYS[month];
}

void WATER_BALANCE_ERROR(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, OutputState& output) {
  const bool first = output.balance_error_first_call;
  if (first) {
    output.ELEMENT_BALANCE_ERROR.resize(frame.NEL, 0.0);
    output.BALANCE_PREVIOUS_STORAGE.resize(frame.NEL, 0.0);
    FILL_REAL_VECTOR(0.0, frame.NEL, output.ELEMENT_BALANCE_ERROR.data());
  }
  const double dt = frame.DTUZ;
  for (int i = 1; i <= frame.NEL; ++i) {
    const double s = element_storage(frame, surface, subsurface, i);
    const double ds = s - output.BALANCE_PREVIOUS_STORAGE(i);
    output.BALANCE_PREVIOUS_STORAGE(i) = s;
    if (first) continue;
    const double w = vertical_inflow(surface, subsurface, i);
    const double b = lateral_inflow(frame, surface, subsurface, i);
    output.ELEMENT_BALANCE_ERROR(i) =
        (output.ELEMENT_BALANCE_ERROR(i) + ds) - (w + b / frame.AREA(i)) * dt;
  }
  output.balance_error_first_call = false;
}

void WRITE_DAILY_BALANCE(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, OutputState& output, RunIo& io) {
  Array1<double>& totals = output.WATER_BALANCE_TOTALS;
  if (output.daily_balance_first_call) {
    FILL_REAL_VECTOR(0.0, WATER_BALANCE_ENTRIES, totals.data());
    output.CALENDAR_YEAR = frame.CALENDAR_YEAR;
    output.CALENDAR_MONTH = frame.CALENDAR_MONTH;
    output.CALENDAR_DAY = frame.CALENDAR_DAY;
    output.daily_balance_first_call = false;
  }

  // The step's volumes, m3.
  double step[WB_DISCHARGE + 1] = {};
  for (int i = 1; i <= frame.NEL; ++i) {
    const double v = frame.AREA(i) * frame.DTUZ;
    step[WB_PRECIPITATION] += frame.ELEMENT_RAIN_RATE(i) * v;
    step[WB_CANOPY_EVAPORATION] += surface.ET_CANOPY_EVAP(i) * v;
    step[WB_GROUND_EVAPORATION] += surface.ET_GROUND_EVAP(i) * v;
    step[WB_TRANSPIRATION] += surface.ET_TRANSPIRATION(i) * v;
    step[WB_AQUIFER_FLOW] += v * column_base_flow(subsurface, i);
  }
  // Booked with its sign: a backflow through the outlet brings water in, it does not
  // leave the catchment.
  if (output.OUTLET_ELEMENT != 0) {
    step[WB_DISCHARGE] =
        frame.DTUZ * output.outlet_outflow(surface.QOC(output.OUTLET_ELEMENT, output.OUTLET_FACE));
  }
  double stream_aquifer = 0.0;
  for (int l = 1; l <= frame.NLF; ++l) {
    stream_aquifer +=
        (stream_aquifer_wet_flow(subsurface, l, 1) + stream_aquifer_wet_flow(subsurface, l, 2) +
         stream_aquifer_lateral_flow(subsurface, l, 1) +
         stream_aquifer_lateral_flow(subsurface, l, 2)) *
        frame.DTUZ;
  }
  const double lateral =
      frame.DTUZ * lateral_boundary_inflow(frame, surface, subsurface, output);
  const double exported = frame.DTUZ * well_export(frame, subsurface, output);
  for (int e = WB_PRECIPITATION; e <= WB_DISCHARGE; ++e) {
    totals(e) += step[e];
    totals(e + WB_RUN_OFFSET) += step[e];
  }
  totals(WB_STREAM_AQUIFER_PERIOD) += stream_aquifer;
  totals(WB_STREAM_AQUIFER_RUN) += stream_aquifer;
  totals(WB_LATERAL_FLOW_PERIOD) += lateral;
  totals(WB_LATERAL_FLOW_RUN) += lateral;
  totals(WB_WELL_EXPORT_PERIOD) += exported;
  totals(WB_WELL_EXPORT_RUN) += exported;

  // The storages at the end of every step, so that every record of the totals and the
  // end-of-run budget pair run totals and storages of the same moment.
  measure_storages(frame, surface, subsurface, &totals(WB_CANOPY_STORAGE));

  if (output.BALANCE_NEXT_TIME - CLOCK_TOLERANCE_HOURS > frame.UZNOW) return;

  // The step closes a balance period. After a long step, or a hot start some days into
  // the run, the calendar catches up one day per step.
  static const std::string period_totals_class = std::string(49, ' ') + "1";
  STORE_RESULTS_BY_CLASS(period_totals_class, frame.UZNOW, true, frame, output, io);
  advance_balance_calendar(output);
  output.BALANCE_NEXT_TIME =
      DATE_TO_HOURS(output.CALENDAR_YEAR, output.CALENDAR_MONTH, output.CALENDAR_DAY, 0, 0, io) -
      frame.RUN_START_TIME;
  for (int e = WB_PRECIPITATION; e <= WB_DISCHARGE; ++e) totals(e) = 0.0;
  for (int e : {WB_STREAM_AQUIFER_PERIOD, WB_LATERAL_FLOW_PERIOD, WB_WELL_EXPORT_PERIOD}) {
    totals(e) = 0.0;
  }
}

void START_WATER_BALANCE(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, OutputState& output) {
  measure_storages(frame, surface, subsurface, output.BALANCE_START_STORAGE.data());
  for (int s = 0; s < WB_STORAGE_COUNT; ++s) {
    output.WATER_BALANCE_TOTALS(WB_CANOPY_STORAGE + s) = output.BALANCE_START_STORAGE[s];
  }
  output.WELL_WATER_TO_COLUMNS =
      well_water_given(frame, subsurface, frame.NLF + 1, frame.NEL);
}

}  // namespace quendal
