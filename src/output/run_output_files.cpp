#include "output/run_output_files.h"

#include <cmath>
#include <string>

#include "output/water_balance.h"
#include "services/calendar.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/record_reader.h"
#include "services/stops.h"

namespace quendal {

namespace {

constexpr int FRAME_DATA_UNIT = 10;
constexpr int EXTRA_POINTS_TITLE_LENGTH = 20;

// Layouts of the records.
constexpr const char* DISCHARGE_RECORD = "(F20.8)";
constexpr const char* DISCHARGE_RECORD_WITH_POINTS = "(100(F20.8,1X))";
constexpr const char* VALUES_OF_TEN = "(10(1X,F9.3))";

// The file of `unit` when the run-data file named one.
Unit* named_unit(RunIo& io, int unit) {
  return io.units.is_open(unit) ? &io.units.unit(unit) : nullptr;
}

// Every record of the text outputs reaches its file when it is written, so a run that is
// killed leaves each of them holding every record written before (one write of a few
// lines per step).
void flush_text_outputs(RunIo& io) {
  for (int unit : {OUTLET_DISCHARGE_UNIT, END_STATE_UNIT, TOTALS_UNIT, DATED_DISCHARGE_UNIT}) {
    if (Unit* u = named_unit(io, unit)) u->flush();
  }
}

// --- start -----------------------------------------------------------------------------

// Refuses the extra discharge points file: the report, and on the line after it what is
// wrong.
[[noreturn]] void refuse_extra_points(RunIo& io, const std::string& detail) {
  report_fatal_with_detail(io, ERROR_EXTRA_DISCHARGE_POINTS, PRINT_UNIT, 0,
                           "no or incorrect data in extra discharge points file",
                           "Extra discharge points: " + detail);
}

// Unit 47, free format: a record that is skipped, a record with the title (a character
// item of up to 20 characters) and the number of points, then one record per point
// with its element and face. A count of zero reads no point; a count below zero is no
// count at all (a slip that would silently drop every point) and is an input error.
void read_extra_points(const FrameState& frame, OutputState& output, RunIo& io) {
  output.EXTRA_POINTS.resize(2, MAX_EXTRA_POINTS, 0);
  output.EXTRA_POINT_COUNT = 0;
  if (!io.units.is_open(EXTRA_DISCHARGE_POINTS_UNIT)) return;
  Unit& in = io.units.input(EXTRA_DISCHARGE_POINTS_UNIT);
  int count = 0;
  FieldLog places;
  try {
    read_list(in);
    std::string title;
    {
      FieldLogScope scope(in, places);
      read_list(in, title, count);
    }
    output.EXTRA_POINTS_TITLE = title.substr(0, EXTRA_POINTS_TITLE_LENGTH);
  } catch (const InputError& e) {  // an early end of the file included
    refuse_extra_points(io, e.what());
  }
  if (count < 0) {
    const FieldPlace place = places.size() > 1 ? places[1]
                                               : FieldPlace{in.path(), in.record_number(), 0, 0, ""};
    refuse_at(place, "number of extra discharge points = " + std::to_string(count) +
                                " is below zero; give 0 for no point");
  }
  if (count > MAX_EXTRA_POINTS) {
    refuse_extra_points(io, format_line("('file ',A,', record',I6,': ',I0,' points, at most ',I0)",
                                        in.path(), in.record_number(), count, MAX_EXTRA_POINTS));
  }
  try {
    for (int j = 1; j <= count; ++j) {
      int element = 0, face = 0;
      read_list(in, element, face);
      if (element < 1 || element > frame.NEL || face < 1 || face > 4) {
        refuse_extra_points(
            io, format_line("('file ',A,', record',I6,': element',I7,' face',I3,"
                            "': the element must be in 1..',I0,' and the face in 1..4')",
                            in.path(), in.record_number(), element, face, frame.NEL));
      }
      output.EXTRA_POINTS(1, j) = element;
      output.EXTRA_POINTS(2, j) = face;
    }
  } catch (const InputError& e) {  // an early end of the file included
    refuse_extra_points(io, e.what());
  }
  output.EXTRA_POINT_COUNT = count;
}

// The outlet: the last channel link, faces taken in order, that has no neighbour over a
// face and carries a weir boundary; it discharges through the weir's face.
void find_outlet(const FrameState& frame, const SurfaceState& surface, OutputState& output) {
  output.OUTLET_ELEMENT = 0;
  output.OUTLET_FACE = 0;
  const Array1<int>& boundary_of = surface.OC_BOUNDARY_OF_ELEMENT;
  for (int l = 1; l <= frame.NLF && l <= boundary_of.upper(); ++l) {
    for (int face = 1; face <= 4; ++face) {
      if (frame.ICMREF(l, face, 2) != 0) continue;
      const int k = surface.OC_ELEMENT_BOUNDARY(l);
      if (k < 1 || surface.OC_BOUNDARY_TYPE(k) != OC_BC_WEIR) continue;
      // A weir face outside the four is refused by the OC checks; it is never taken here.
      const int weir_face = surface.OC_BOUNDARY_FACE(k);
      if (weir_face < 1 || weir_face > 4) continue;
      output.OUTLET_ELEMENT = l;
      output.OUTLET_FACE = weir_face;
    }
  }
}

void write_points_heading(const OutputState& output, RunIo& io) {
  Unit* discharge = named_unit(io, OUTLET_DISCHARGE_UNIT);
  if (!discharge) return;
  FormatArgs args("      Outlet =", output.OUTLET_ELEMENT, " Extra points:");
  for (int j = 1; j <= output.EXTRA_POINT_COUNT; ++j) args.add(output.EXTRA_POINTS(1, j));
  write_formatted(*discharge, "(A14,I6,A14,I6,100(I20,1X))", args);
}

void start_mode(const FrameState& frame, const SurfaceState& surface,
                const SubsurfaceState& subsurface, OutputState& output, RunIo& io) {
  // Time is measured in output intervals: a zero or negative interval has no meaning.
  if (!(frame.DISCHARGE_INTERVAL > 0.0)) {
    const std::string file = io.units.is_open(FRAME_DATA_UNIT)
                                 ? io.units.unit(FRAME_DATA_UNIT).path()
                                 : std::string("frame data file");
    throw InputError(file, 0, 0, 0, format_line("(G14.6)", frame.DISCHARGE_INTERVAL),
                     "The regular discharge output interval (hours) must be positive");
  }
  const bool extra_points = io.names.EXTRA_DISCHARGE_POINTS_ON;
  if (extra_points) read_extra_points(frame, output, io);

  Unit* totals = named_unit(io, TOTALS_UNIT);
  if (totals) {
    write_formatted(*totals, "(A60)", "Spatially Averaged Totals (mm) over the simulation");
    write_formatted(*totals, "(13(A16,','),A16)", "Time(Hours)", "Cum Prec.", "Cum. Can. Evap.",
                    "Cum. Soil Evap.", "Cum. Trans", "Cum. Aqu. Flow", "Cum. Discharge",
                    "Canopy Storage", "Snow Storage", "Subsurface Stor.", "Land Surf Stor.",
                    "Channel Stor.", "Cum. Lat. Flow", "Cum. Well Exp.");
  }
  Unit* discharge = named_unit(io, OUTLET_DISCHARGE_UNIT);
  if (discharge) {
    write_formatted(*discharge, "('discharge at the outlet - regular timestep',F8.2,' hours')",
                    frame.DISCHARGE_INTERVAL);
  }
  find_outlet(frame, surface, output);
  if (extra_points) write_points_heading(output, io);
  START_WATER_BALANCE(frame, surface, subsurface, output);

  output.DISCHARGE_POSITION = frame.UZNOW / frame.DISCHARGE_INTERVAL;
  output.DISCHARGE_NEXT_INTERVAL = static_cast<long>(output.DISCHARGE_POSITION) + 1;
  // After a hot start the averaging restarts at the last interval mark at or before
  // the restart time.
  if (frame.HOTSTART_READ) {
    output.DISCHARGE_PREVIOUS_POSITION = std::trunc(frame.HOTSTART_TIME / frame.DISCHARGE_INTERVAL);
  }
  output.DISCHARGE_ACCUMULATOR = 0.0;
  output.EXTRA_POINT_DISCHARGE.resize(MAX_EXTRA_POINTS, 0.0);
  output.EXTRA_POINT_ACCUMULATOR.resize(MAX_EXTRA_POINTS, 0.0);
  flush_text_outputs(io);
}

// --- main ------------------------------------------------------------------------------

// One record of unit 41: the absolute interval mean of the outlet and, with extra
// points, of each point.
void write_interval_mean(double outlet_mean, const Array1<double>& point_means, bool extra_points,
                         int point_count, RunIo& io) {
  Unit* discharge = named_unit(io, OUTLET_DISCHARGE_UNIT);
  if (!discharge) return;
  if (!extra_points) {
    write_formatted(*discharge, DISCHARGE_RECORD, std::fabs(outlet_mean));
    return;
  }
  FormatArgs args(std::fabs(outlet_mean));
  for (int j = 1; j <= point_count; ++j) args.add(std::fabs(point_means(j)));
  write_formatted(*discharge, DISCHARGE_RECORD_WITH_POINTS, args);
}

// The outlet discharge averaged over regular intervals. Means are integrals of the
// signed discharge over time measured in intervals; a step that reaches the end of the
// running interval closes it, writes one more record for every interval it covers
// entirely (with its own discharge) and starts the next with the part beyond the last
// interval end. A position within `tolerance` (intervals) below an interval end has
// reached it.
void average_discharge(double outlet_q, double tolerance, OutputState& output, RunIo& io) {
  const bool extra_points = io.names.EXTRA_DISCHARGE_POINTS_ON;
  const int n = output.EXTRA_POINT_COUNT;
  Array1<double>& q = output.EXTRA_POINT_DISCHARGE;
  Array1<double>& acc = output.EXTRA_POINT_ACCUMULATOR;
  const double p = output.DISCHARGE_POSITION;
  const double previous = output.DISCHARGE_PREVIOUS_POSITION;
  const long m = static_cast<long>(p + tolerance);
  const long k = output.DISCHARGE_NEXT_INTERVAL;
  if (m < k) {
    output.DISCHARGE_ACCUMULATOR += outlet_q * (p - previous);
    for (int j = 1; j <= n; ++j) acc(j) += q(j) * (p - previous);
    return;
  }
  const double d = static_cast<double>(k) - previous;
  const double mean = output.DISCHARGE_ACCUMULATOR + outlet_q * d;
  for (int j = 1; j <= n; ++j) acc(j) += q(j) * d;
  write_interval_mean(mean, acc, extra_points, n, io);
  for (long next = k + 1; next <= m; ++next) {
    output.DISCHARGE_NEXT_INTERVAL = next;
    write_interval_mean(outlet_q, q, extra_points, n, io);
  }
  const double beyond = p - static_cast<double>(m);
  output.DISCHARGE_ACCUMULATOR = outlet_q * beyond;
  for (int j = 1; j <= n; ++j) acc(j) = q(j) * beyond;
  output.DISCHARGE_NEXT_INTERVAL = m + 1;
}

// Unit 44: DD/MM/YYYY_hh:mm:ss, UZNOW and the outlet discharge signed so that flow out
// of the catchment is positive whichever face the outlet discharges through.
void write_dated_discharge(double outlet_q, const FrameState& frame, const OutputState& output,
                           RunIo& io) {
  Unit* dated = named_unit(io, DATED_DISCHARGE_UNIT);
  if (!dated) return;
  DateRecord date;
  HOURS_TO_DATE(date, frame.RUN_START_TIME + frame.UZNOW, io);
  const std::string stamp =
      format_line("(I2.2,'/',I2.2,'/',I4.4,'_',I2.2,':',I2.2,':',I2.2)", date.day, date.month,
                  date.year, date.hour, date.minute, date.second);
  double signed_q = output.outlet_outflow(outlet_q);
  // A dry outlet is written as 0, not -0 (a zero flow negated, or a zero the OC step
  // left with a sign).
  if (signed_q == 0.0) signed_q = 0.0;
  write_formatted(*dated, "(A,2F20.8)", stamp, frame.UZNOW, signed_q);
}

// Unit 43: the run totals and the storages at this moment, in mm over the catchment:
// columns 1-12 the run totals and storages, then the lateral inflow and the well
// export, which close the budget of a catchment with lateral boundaries or wells.
void write_totals_record(const FrameState& frame, OutputState& output, RunIo& io) {
  output.TOTALS_LAST_RECORD_TIME = frame.UZNOW;
  Unit* totals = named_unit(io, TOTALS_UNIT);
  if (!totals) return;
  const double to_mm = 1000.0 / frame.TOTAL_CATCHMENT_AREA;
  FormatArgs args(frame.UZNOW);
  for (int e = WB_PRECIPITATION + WB_RUN_OFFSET; e <= WB_CHANNEL_STORAGE; ++e) {
    args.add(",");
    args.add(output.WATER_BALANCE_TOTALS(e) * to_mm);
  }
  for (int e : {WB_LATERAL_FLOW_RUN, WB_WELL_EXPORT_RUN}) {
    args.add(",");
    args.add(output.WATER_BALANCE_TOTALS(e) * to_mm);
  }
  write_formatted(*totals, "(14(F16.3,A))", args);
}

// Unit 43 once per 24 simulated hours (at the first step after each mark).
void write_totals(const FrameState& frame, OutputState& output, RunIo& io) {
  if (!(frame.UZNOW > static_cast<double>(output.TOTALS_HOUR_MARK) + CLOCK_TOLERANCE_HOURS)) {
    return;
  }
  write_totals_record(frame, output, io);
  output.TOTALS_HOUR_MARK += 24;
}

void main_mode(const FrameState& frame, const SurfaceState& surface, OutputState& output,
               RunIo& io) {
  output.DISCHARGE_POSITION = frame.UZNOW / frame.DISCHARGE_INTERVAL;
  // No outlet: no discharge.
  const double outlet_q =
      output.OUTLET_ELEMENT != 0 ? surface.QOC(output.OUTLET_ELEMENT, output.OUTLET_FACE) : 0.0;
  for (int j = 1; j <= output.EXTRA_POINT_COUNT; ++j) {
    output.EXTRA_POINT_DISCHARGE(j) =
        surface.QOC(output.EXTRA_POINTS(1, j), output.EXTRA_POINTS(2, j));
  }
  average_discharge(outlet_q, CLOCK_TOLERANCE_HOURS / frame.DISCHARGE_INTERVAL, output, io);
  write_dated_discharge(outlet_q, frame, output, io);
  write_totals(frame, output, io);
  output.DISCHARGE_PREVIOUS_POSITION = output.DISCHARGE_POSITION;
  flush_text_outputs(io);
}

// --- end -------------------------------------------------------------------------------

// Unit 42: the phreatic levels and the cell heads, by element, in the form the initial
// conditions file of the subsurface component reads. With banks off the channel links
// have no column of their own and are left out.
void write_end_state(const FrameState& frame, const SubsurfaceState& subsurface, Unit& out) {
  const int first = frame.BANKS_ON ? 1 : frame.NLF + 1;
  write_free(out, "Output at end of simulation for use as", " initial conditions in vsi file");
  write_free(out, "This output is by element number");
  out.write_record("");
  write_free(out, "phreatic surface level ");
  FormatArgs levels;
  for (int i = first; i <= frame.NEL; ++i) levels.add(subsurface.PHREATIC_LEVEL(i));
  write_formatted(out, VALUES_OF_TEN, levels);
  out.write_record("");
  write_free(out, "Heads at end of simulation");
  for (int i = first; i <= frame.NEL; ++i) {
    write_formatted(out, "(I7)", i);
    FormatArgs heads;
    for (int k = subsurface.LAYER_BOTTOM_CELL(i, 1); k <= subsurface.LL; ++k) {
      heads.add(subsurface.vspsi(k, i));
    }
    write_formatted(out, VALUES_OF_TEN, heads);
  }
}

void end_mode(const FrameState& frame, const SubsurfaceState& subsurface, OutputState& output,
              RunIo& io) {
  // The totals close at the run's end: the last record is of the last step, also when
  // that step came before the next 24-hour mark.
  if (frame.UZNOW > output.TOTALS_LAST_RECORD_TIME + CLOCK_TOLERANCE_HOURS) {
    write_totals_record(frame, output, io);
  }
  if (Unit* out = named_unit(io, END_STATE_UNIT)) write_end_state(frame, subsurface, *out);
  flush_text_outputs(io);
}

}  // namespace

void WRITE_RUN_OUTPUTS(std::string_view mode, const FrameState& frame, const SurfaceState& surface,
                       const SubsurfaceState& subsurface, OutputState& output, RunIo& io) {
  std::string five(mode.substr(0, 5));
  five.resize(5, ' ');
  if (five == "start") {
    start_mode(frame, surface, subsurface, output, io);
  } else if (five.compare(0, 4, "main") == 0) {
    main_mode(frame, surface, output, io);
  } else {
    end_mode(frame, subsurface, output, io);
  }
}

}  // namespace quendal
