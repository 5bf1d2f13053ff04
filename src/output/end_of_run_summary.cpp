#include "output/end_of_run_summary.h"

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/stops.h"
#include "services/units.h"

namespace quendal {

namespace {

void empty_records(RecordSink& out, int count) {
  for (int i = 0; i < count; ++i) out.write_record("");
}

struct BudgetLine {
  const char* label;
  int entry;
};

// A label right-aligned in 20 columns and the entry in mm over the catchment.
void write_budget(RecordSink& out, const FrameState& frame, const OutputState& output,
                  const BudgetLine& line) {
  write_formatted(out, "(A20,F10.2)", line.label,
                  output.WATER_BALANCE_TOTALS(line.entry) * 1000.0 / frame.TOTAL_CATCHMENT_AREA);
}

// The catchment's water budget, mm over the catchment: the run totals (every term that
// crosses the catchment's bounds), the storages at the run's end, and the budget that
// closes them: the storages' change since the start against the net inflow, and the
// difference of the two.
void write_water_budget(RecordSink& out, const FrameState& frame, const OutputState& output) {
  write_free(out, " Spatially Averaged Totals (mm) over the simulation");
  static constexpr BudgetLine RUN_TOTALS[] = {
      {"Cum Prec = ", WB_PRECIPITATION + WB_RUN_OFFSET},
      {"Cum Can. Evap = ", WB_CANOPY_EVAPORATION + WB_RUN_OFFSET},
      {"Cum Soil+Sur Evp = ", WB_GROUND_EVAPORATION + WB_RUN_OFFSET},
      {"Cum Trans = ", WB_TRANSPIRATION + WB_RUN_OFFSET},
      {"Cum Aqu. Flow = ", WB_AQUIFER_FLOW + WB_RUN_OFFSET},
      {"Cum Discharge = ", WB_DISCHARGE + WB_RUN_OFFSET},
      {"Cum Lat. Flow = ", WB_LATERAL_FLOW_RUN},
      {"Cum Well Exp. = ", WB_WELL_EXPORT_RUN},
  };
  for (const BudgetLine& line : RUN_TOTALS) write_budget(out, frame, output, line);
  empty_records(out, 3);

  write_free(out, " Storage totals (mm) at the end of the simulation");
  static constexpr BudgetLine STORAGES[] = {
      {"Canopy Stor = ", WB_CANOPY_STORAGE},     {"Snow Store = ", WB_SNOW_STORAGE},
      {"Subsur Stor = ", WB_SUBSURFACE_STORAGE}, {"Surface Stor = ", WB_SURFACE_STORAGE},
      {"Channel Stor = ", WB_CHANNEL_STORAGE},
  };
  for (const BudgetLine& line : STORAGES) write_budget(out, frame, output, line);
  empty_records(out, 3);

  const Array1<double>& t = output.WATER_BALANCE_TOTALS;
  double at_start = 0.0, at_end = 0.0;
  for (int s = 0; s < WB_STORAGE_COUNT; ++s) {
    at_start += output.BALANCE_START_STORAGE[static_cast<std::size_t>(s)];
    at_end += t(WB_CANOPY_STORAGE + s);
  }
  auto run = [&](int entry) { return t(entry + WB_RUN_OFFSET); };
  const double net_inflow = run(WB_PRECIPITATION) - run(WB_CANOPY_EVAPORATION) -
                            run(WB_GROUND_EVAPORATION) - run(WB_TRANSPIRATION) -
                            run(WB_DISCHARGE) + run(WB_AQUIFER_FLOW) + t(WB_LATERAL_FLOW_RUN) -
                            t(WB_WELL_EXPORT_RUN);
  const double change = at_end - at_start;
  const double to_mm = 1000.0 / frame.TOTAL_CATCHMENT_AREA;
  write_free(out, " Water budget (mm): storage change against net inflow");
  write_formatted(out, "(A20,F10.2)", "Storage at start = ", at_start * to_mm);
  write_formatted(out, "(A20,F10.2)", "Storage at end = ", at_end * to_mm);
  write_formatted(out, "(A20,F10.2)", "Storage change = ", change * to_mm);
  write_formatted(out, "(A20,F10.2)", "Net inflow = ", net_inflow * to_mm);
  // What no term accounts for, a digit finer than the totals file prints.
  write_formatted(out, "(A20,F10.4)", "Residual = ", (change - net_inflow) * to_mm);
}

// The print file's part of the summary: the error listing, the completion record and
// the water budget.
void write_summary(RecordSink& out, const FrameState& frame, const OutputState& output,
                   RunIo& io) {
  // Errors counted per number; numbers below 1000 (the shared readers') are not listed.
  empty_records(out, 2);
  out.write_record("Error message asummary");
  empty_records(out, 1);
  for (int group = 1; group <= 3; ++group) {
    for (int remainder = 0; remainder <= 100; ++remainder) {
      const int count = io.errors.ERROR_COUNTS(remainder, group);
      if (count <= 0) continue;
      write_formatted(out, "('No. of occurences of error number ',I4,': ',I6)",
                      group * 1000 + remainder, count);
    }
  }
  empty_records(out, 1);
  out.write_record("End of error message asummary");
  empty_records(out, 5);

  write_formatted(out, "('Normal completion of QUENDAL run: ',F10.2,' hours, ',I7,' steps.')",
                  frame.UZNOW, frame.STEP_COUNT);
  empty_records(out, 1);
  empty_records(out, 5);

  write_water_budget(out, frame, output);
}

}  // namespace

void END_OF_RUN_SUMMARY(const FrameState& frame, const OutputState& output, RunIo& io) {
  write_summary(io.units.print(), frame, output, io);
}

void complete_run(RunIo& io, const std::function<void()>& write) {
  Unit* print = io.units.is_open(PRINT_UNIT) ? &io.units.unit(PRINT_UNIT) : nullptr;
  const long before = print ? print->written_length() : 0;
  try {
    write();
    if (print) print->flush();
  } catch (const OutputWriteError&) {
    if (print) print->cut_to(before);
    throw;
  }
  // A run that reported errors or warnings says so where its user reads first, with
  // the numbers, their counts and the files that hold the reports, before it says that
  // it completed: otherwise the console of a run with hundreds of reports would look
  // as clean as one with none. A run without reports shows only the completion line.
  for (const std::string& line : reported_errors_lines(io.errors)) io.console.write_record(line);
  io.console.write_record("");
  write_free(io.console, "Normal completion of QUENDAL run");
}

}  // namespace quendal
