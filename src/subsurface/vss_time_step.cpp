#include "subsurface/vss_time_step.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/predicates.h"
#include "services/series.h"
#include "services/units.h"
#include "subsurface/column_cells.h"
#include "subsurface/column_inputs.h"
#include "subsurface/vss_column_solver.h"
#include "subsurface/vss_data_file.h"

namespace quendal {
namespace {

constexpr double SERIES_START_TOLERANCE = 1e-6;  // hours

int first_column(const FrameState& frame) { return frame.BANKS_ON ? 1 : frame.NLF + 1; }

void size_series(SubsurfaceState::Series& s, int n) {
  const int room = std::max(n, 1);
  s.last.resize(room, 0.0);
  s.next.resize(room, 0.0);
  s.values.resize(room, 0.0);
}

// The physical bound of each value of a boundary series: `what` names the value in
// messages ("well abstraction rate of column 2").
SeriesValueCheck bounded(Quantity quantity, const char* what) {
  return [quantity, what](int column, double value, const FieldPlace& place) {
    // The item's name is built only for a value to refuse: the series are read every step.
    if (within_bounds(quantity, value)) return;
    require_within(quantity, std::string(what) + " of column " + std::to_string(column), value,
                   place);
  };
}

// Lateral heads given as levels are levels; given as depths below the ground, their
// bound depends on each element's ground and is left to the solver's own checks.
SeriesValueCheck lateral_head_check(const SubsurfaceState& v) {
  return v.LHB_AS_LEVELS ? bounded(Quantity::ELEVATION, "lateral head level") : SeriesValueCheck{};
}

// A head series must start at or before the run start: interpolating from the zero
// level that precedes the first record would drain the catchment. Reads up to the
// records around the run start (the steps go on from there).
void check_head_series_start(const FrameState& frame, SubsurfaceState::Series& s, int n, int unit,
                             const char* name, RunIo& io, const SeriesValueCheck& check) {
  s.TLAST = s.TNEXT = -1.0e30;
  FieldLog places;  // of the first record's date among the others
  {
    FieldLogScope scope(io.units.unit(unit), places);
    READ_SERIES_STEP_MIDPOINT(io, unit, frame.RUN_START_TIME, 0.0, 1.0e-9, s.TLAST, s.TNEXT,
                              s.last, s.next, n, s.values, check);
  }
  if (IS_NO_DATA(s.TNEXT)) return;  // an empty file: the step reports its end
  if (s.TLAST < -1.0e29 && s.TNEXT > SERIES_START_TOLERANCE) {
    report_fatal_with_detail(io, VSS_SERIES_ERROR, PRINT_UNIT, 0,
                             std::string("The first record of the ") + name + " series (" +
                                 io.units.unit(unit).source_name() +
                                 ") lies after the start of the run",
                             places.empty()
                                 ? std::string()
                                 : "its first record, in file " + places[0].file + ", record " +
                                       std::to_string(places[0].record) + ", is dated hour " +
                                       value_text(s.TNEXT) + " of the run");
  }
}

// First call: the per-cell and per-element tables of the step.
void prepare(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& v,
             RunIo& io) {
  const int nel = frame.NEL, ll = v.LL, first = first_column(frame);
  for (int e = first; e <= nel; ++e) {
    for (int k = v.LAYER_BOTTOM_CELL(e, 1); k <= ll; ++k) {
      const double dz = v.CELL_THICKNESS(k, e);
      for (int f = 1; f <= 4; ++f) v.CELL_FACE_AREA(f, k, e) = dz * face_width(frame, e, f);
    }
  }
  v.VSS_BOUNDARY_CODE.resize(6, nel, 0);
  for (int e = first; e <= nel; ++e) {
    v.VSS_BOUNDARY_CODE(1, e) = v.BASE_BOUNDARY_TYPE(e);
    const int face = frame.NBFACE(e) < 1 ? 1 : frame.NBFACE(e);
    if (v.LATERAL_BOUNDARY_TYPE(e) != 0) v.VSS_BOUNDARY_CODE(1 + face, e) = v.LATERAL_BOUNDARY_TYPE(e);
    if (v.WELL_NUMBER(e) > 0) v.VSS_BOUNDARY_CODE(6, e) = 1;
    // A spring whose level lies in no cell of the column is no spring.
    const int spring = v.SPRING_CELL.empty() ? 0 : v.SPRING_CELL(e);
    if (spring > 0 && spring <= ll) v.VSS_BOUNDARY_CODE(6, e) = 2;
    if (e > frame.NLF) {
      for (int f = 1; f <= 4; ++f) {
        const int n = frame.ICMREF(e, f, 2);
        if (n >= 1 && n <= frame.NLF) v.VSS_BOUNDARY_CODE(1 + f, e) = frame.BANKS_ON ? 10 : 9;
      }
    }
  }
  if (!frame.BANKS_ON) {
    for (int l = 1; l <= frame.NLF; ++l) v.INFILTRATION_RATE(l) = 0.0;
  }
  v.AVAILABLE_PONDED_DEPTH.resize(nel, 0.0);
  v.CELL_SOURCE_RATE.resize(ll, nel, 0.0);
  // A hot start may have restored the heads at the start of the last step already.
  if (v.CELL_PSI_START.empty()) v.CELL_PSI_START.resize(ll, nel, 0.0);
  v.CELL_THETA_START.resize(ll, nel, 0.0);
  v.COLUMN_CONVERGED.resize(nel, 0);
  v.COLUMN_PSI_CHANGE.resize_range(0, nel, 0.0);
  v.COLUMN_WORK_LIST.resize(nel, 0);
  v.COLUMN_NEXT_LIST.resize(nel, 0);
  v.COLUMN_SORT_POSITION.resize(nel, 0);
  v.psi_copy.resize(std::max(ll, 1), 0.0);

  size_series(v.WLD, v.VSS_WELL_COUNT);
  size_series(v.LFB_SERIES, v.LFB.series_columns);
  size_series(v.LHB_SERIES, v.LHB.series_columns);
  size_series(v.LGB_SERIES, v.LGB.series_columns);
  size_series(v.BFB, v.VSS_BFB_COUNT);
  size_series(v.BHB, v.VSS_BHB_COUNT);
  v.WELL_RATE.resize(std::max(v.VSS_WELL_COUNT, 1), 0.0);
  v.LFB_VALUE.resize(VSS_CATEGORY_LAYER_ROOM, std::max(v.VSS_LFB_COUNT, 1), 0.0);
  v.LHB_VALUE.resize(VSS_CATEGORY_LAYER_ROOM, std::max(v.VSS_LHB_COUNT, 1), 0.0);
  v.LGB_VALUE.resize(VSS_CATEGORY_LAYER_ROOM, std::max(v.VSS_LGB_COUNT, 1), 0.0);
  v.BFB_VALUE.resize(std::max(v.VSS_BFB_COUNT, 1), 0.0);
  v.BHB_VALUE.resize(std::max(v.VSS_BHB_COUNT, 1), 0.0);
  if (v.VSS_LHB_COUNT > 0) {
    check_head_series_start(frame, v.LHB_SERIES, v.LHB.series_columns, VSS_LHB_UNIT,
                            "lateral head boundary (LHB)", io, lateral_head_check(v));
  }
  if (v.VSS_BHB_COUNT > 0) {
    check_head_series_start(frame, v.BHB, v.VSS_BHB_COUNT, VSS_BHB_UNIT,
                            "column base head boundary (BHB)", io,
                            bounded(Quantity::ELEVATION, "column base head"));
  }
  (void)surface;
  for (int e = first; e <= nel; ++e) {
    for (int k = v.LAYER_BOTTOM_CELL(e, 1); k <= ll; ++k) {
      v.run_totals.storage_at_start += frame.AREA(e) * v.CELL_THICKNESS(k, e) * v.CELL_THETA(k, e);
    }
  }
  v.vss_step_prepared = true;
}

// A series that ended before the run stops it.
void end_of_series(RunIo& io, int unit, const SubsurfaceState::Series& s, int number,
                   const char* text, double needed_to) {
  if (IS_NO_DATA(s.TNEXT)) report_series_end(io, unit, number, text, needed_to);
}

// Record values p.. spread over the categories of a lateral boundary kind.
void spread(const VssBoundaryLayers& b, int count, const Array1<double>& record,
            Array2<double>& value) {
  int p = 1;
  for (int g = 1; g <= count; ++g) {
    const int n = std::max(b.count(g), 1);
    for (int i = 1; i <= n; ++i) value(i, g) = record(p + i - 1);
    p += n;
  }
}

void read_boundary_series(const FrameState& frame, SubsurfaceState& v, RunIo& io) {
  const double base = frame.RUN_START_TIME, t0 = frame.UZNOW, dt = frame.UZNEXT;
  if (v.VSS_WELL_COUNT > 0) {
    READ_SERIES_STEP_MEAN(io, VSS_WLD_UNIT, base, t0, dt, v.WLD.TLAST, v.WLD.TNEXT, v.WLD.next,
                          v.VSS_WELL_COUNT, v.WELL_RATE,
                          bounded(Quantity::WELL_RATE, "well abstraction rate"));
    end_of_series(io, VSS_WLD_UNIT, v.WLD, 1042, "End of well abstraction file (WLD)", t0 + dt);
  }
  if (v.VSS_LFB_COUNT > 0) {
    SubsurfaceState::Series& s = v.LFB_SERIES;
    READ_SERIES_STEP_MEAN(io, VSS_LFB_UNIT, base, t0, dt, s.TLAST, s.TNEXT, s.next,
                          v.LFB.series_columns, s.values);
    end_of_series(io, VSS_LFB_UNIT, s, 1043, "End of lateral flow boundary condition file (LFB)",
                  t0 + dt);
    spread(v.LFB, v.VSS_LFB_COUNT, s.values, v.LFB_VALUE);
  }
  if (v.VSS_LHB_COUNT > 0) {
    SubsurfaceState::Series& s = v.LHB_SERIES;
    READ_SERIES_STEP_MIDPOINT(io, VSS_LHB_UNIT, base, t0, dt, s.TLAST, s.TNEXT, s.last, s.next,
                              v.LHB.series_columns, s.values, lateral_head_check(v));
    end_of_series(io, VSS_LHB_UNIT, s, 1044, "End of lateral head boundary condition file (LHB)",
                  t0 + dt);
    spread(v.LHB, v.VSS_LHB_COUNT, s.values, v.LHB_VALUE);
  }
  if (v.VSS_LGB_COUNT > 0) {
    SubsurfaceState::Series& s = v.LGB_SERIES;
    READ_SERIES_STEP_MIDPOINT(io, VSS_LGB_UNIT, base, t0, dt, s.TLAST, s.TNEXT, s.last, s.next,
                              v.LGB.series_columns, s.values);
    end_of_series(io, VSS_LGB_UNIT, s, 1052,
                  "End of lateral head gradient boundary condition file (LGB)", t0 + dt);
    spread(v.LGB, v.VSS_LGB_COUNT, s.values, v.LGB_VALUE);
  }
  if (v.VSS_BFB_COUNT > 0) {
    READ_SERIES_STEP_MEAN(io, VSS_BFB_UNIT, base, t0, dt, v.BFB.TLAST, v.BFB.TNEXT, v.BFB.next,
                          v.VSS_BFB_COUNT, v.BFB_VALUE);
    end_of_series(io, VSS_BFB_UNIT, v.BFB, 1045,
                  "End of column base flow boundary condition file (BFB)", t0 + dt);
  }
  if (v.VSS_BHB_COUNT > 0) {
    READ_SERIES_STEP_MIDPOINT(io, VSS_BHB_UNIT, base, t0, dt, v.BHB.TLAST, v.BHB.TNEXT, v.BHB.last,
                              v.BHB.next, v.VSS_BHB_COUNT, v.BHB_VALUE,
                              bounded(Quantity::ELEVATION, "column base head"));
    end_of_series(io, VSS_BHB_UNIT, v.BHB, 1046,
                  "End of column base head boundary condition file (BHB)", t0 + dt);
  }
}

// Surface water available to each column over the step, the cells' sources and the
// state at the start of the step.
void prepare_step(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& v) {
  const int nel = frame.NEL, ll = v.LL, first = first_column(frame);
  const double dt = frame.DTUZ;
  for (int l = 1; l < first; ++l) v.AVAILABLE_PONDED_DEPTH(l) = surface.GET_HRF(l) - frame.ZGRUND(l);
  for (int e = first; e <= nel; ++e) {
    v.AVAILABLE_PONDED_DEPTH(e) =
        surface.GET_HRF(e) +
        (surface.PNETTO(e) + surface.ET_SOIL_EVAP(e) - surface.ET_GROUND_EVAP(e)) * dt -
        frame.ZGRUND(e);
    const int kb = v.LAYER_BOTTOM_CELL(e, 1);
    if (kb > ll) continue;
    // Every cell gives up what the roots take from it (cells outside the root zone
    // have none), the top cell also the soil evaporation.
    for (int k = kb; k <= ll; ++k) {
      v.CELL_SOURCE_RATE(k, e) = -frame.AREA(e) * surface.ET_ROOT_UPTAKE(k, e);
    }
    v.CELL_SOURCE_RATE(ll, e) -= frame.AREA(e) * surface.ET_SOIL_EVAP(e);
  }
  // The heads the global iteration starts from: each cell's head carried on along its
  // course over the last step (the heads at its start are still in CELL_PSI_START), for
  // a step no longer than the last. Where heads move steadily (a wetting front passing,
  // a water table rising) that start is closer to the step's result than the heads at
  // its start, and the columns need fewer Newton iterations; the result is the same
  // within the iteration's tolerance, since every column is solved from there. A head
  // does not cross saturation on the way (the column solver treats that crossing with
  // care) and moves by no more than a Newton step of the solver may. The top cell starts
  // where it is: its course follows the surface water, which ponds and drains from one
  // step to the next rather than keeping a trend (where the surface and the top cells
  // trade water back and forth each step, carrying the top cell on sends it the wrong
  // way and the columns need more iterations, not fewer).
  const double ratio = v.LAST_STEP_SECONDS > 0.0 ? std::min(dt / v.LAST_STEP_SECONDS, 1.0) : 0.0;
  for (int e = 1; e <= nel; ++e) {
    const int kb = v.LAYER_BOTTOM_CELL(e, 1);
    const bool column = e >= first && ratio > 0.0;
    for (int k = kb; k <= ll; ++k) {
      const double psi = v.vspsi(k, e);
      if (column && k < ll) {
        const double change = ratio * (psi - v.CELL_PSI_START(k, e));
        v.vspsi(k, e) = column_start_head(psi, change);
      }
      v.CELL_PSI_START(k, e) = psi;
      v.CELL_THETA_START(k, e) = v.CELL_THETA(k, e);
    }
  }
  v.LAST_STEP_SECONDS = dt;
}

// After a sweep from the second on: a column stays converged while neither it nor any
// neighbour changed by VSS_HEAD_TOLERANCE in the sweep; the next work list holds the
// others, in ISORT order. Only the columns just solved can have changed that much (the
// others were converged, so their last change was below it), and the mesh's neighbours
// are mutual, so the columns to solve again are those that changed that much and their
// neighbours.
void next_work_list(const FrameState& frame, SubsurfaceState& v) {
  const int first = first_column(frame), nel = frame.NEL;
  const int count = v.COLUMN_WORK_COUNT;
  for (int i = 1; i <= count; ++i) v.COLUMN_CONVERGED(v.COLUMN_WORK_LIST(i)) = 1;
  int next = 0;
  auto solve_again = [&](int e) {
    if (e < first || !v.COLUMN_CONVERGED(e)) return;
    v.COLUMN_CONVERGED(e) = 0;
    v.COLUMN_NEXT_LIST(++next) = e;
  };
  for (int i = 1; i <= count; ++i) {
    const int e = v.COLUMN_WORK_LIST(i);
    if (!(v.COLUMN_PSI_CHANGE(e) >= VSS_HEAD_TOLERANCE)) continue;
    solve_again(e);
    for (int f = 1; f <= 4; ++f) solve_again(frame.ICMREF(e, f, 2));
  }
  // Back into ISORT order: by sorting a short list, by a pass over ISORT for a long one.
  if (next <= nel / 16) {
    int* list = &v.COLUMN_NEXT_LIST(1);
    std::sort(list, list + next,
              [&](int a, int b) { return v.COLUMN_SORT_POSITION(a) < v.COLUMN_SORT_POSITION(b); });
    for (int i = 1; i <= next; ++i) v.COLUMN_WORK_LIST(i) = v.COLUMN_NEXT_LIST(i);
  } else {
    int i = 0;
    for (int p = 1; p <= nel; ++p) {
      const int e = frame.ISORT(p);
      if (!v.COLUMN_CONVERGED(e)) v.COLUMN_WORK_LIST(++i) = e;
    }
  }
  v.COLUMN_WORK_COUNT = next;
}

void global_iteration(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& v,
                      RunIo& io) {
  const int nel = frame.NEL, ll = v.LL, first = first_column(frame);
  for (int e = 0; e < first; ++e) v.COLUMN_PSI_CHANGE(e) = 0.0;
  // The first two sweeps solve every column.
  int count = 0;
  for (int i = 1; i <= nel; ++i) {
    const int e = frame.ISORT(i);
    v.COLUMN_SORT_POSITION(e) = i;
    v.COLUMN_CONVERGED(e) = e < first;
    if (e >= first) v.COLUMN_WORK_LIST(++count) = e;
  }
  v.COLUMN_WORK_COUNT = count;
  // The sweep known to be the last is the one in which the column solver reports its
  // own failures (GlobalSweepLimit says when the iteration stops short of convergence).
  GlobalSweepLimit limit;
  bool last = false;
  int sweep = 0;
  while (true) {
    sweep += 1;
    const int severity = last ? 2 : 0;
    v.global_sweeps += 1;
    double dmax = 0.0;
    bool unsettled = false;
    for (int i = 1; i <= v.COLUMN_WORK_COUNT; ++i) {
      const int e = v.COLUMN_WORK_LIST(i);
      if (i < v.COLUMN_WORK_COUNT) prefetch_column(frame, v, v.COLUMN_WORK_LIST(i + 1));
      const int kb = v.LAYER_BOTTOM_CELL(e, 1);
      for (int k = kb; k <= ll; ++k) v.psi_copy(k) = v.vspsi(k, e);
      const bool settled = VSS_COLUMN_SOLVER(frame, surface, v, io, e, severity);
      double change = 0.0;
      for (int k = kb; k <= ll; ++k) change = std::max(change, std::fabs(v.vspsi(k, e) - v.psi_copy(k)));
      // A column whose iteration ran out has not settled, even where a cycle brought its
      // heads back to where they began: it is solved again, with its neighbours, and
      // reported in the last sweep if it still does not settle.
      if (!settled) {
        unsettled = true;
        change = std::max(change, VSS_HEAD_TOLERANCE);
      }
      v.COLUMN_PSI_CHANGE(e) = change;
      dmax = std::max(dmax, change);
    }
    if (dmax <= VSS_HEAD_TOLERANCE && !unsettled) return;
    if (last) break;
    last = limit.next_is_last(sweep, dmax);
    if (sweep >= 2) next_work_list(frame, v);
  }
  v.GLOBAL_SOLVER_FAILURES += 1;
  if (v.GLOBAL_SOLVER_FAILURES < SOLVER_MESSAGE_LIMIT) {
    REPORT_ERROR(io, SEVERITY_ERROR, 1039, PRINT_UNIT, 0, 0, "Maximum iterations in VSS global solver");
    REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0, limit.stop_text(sweep));
    // The column that changed most in the last sweep is the one holding the iteration up.
    if (const int e = column_changing_most(v); e > 0) {
      REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0,
                   "largest head change of the last sweep: " + value_text(v.COLUMN_PSI_CHANGE(e)) +
                       " m, in element " + std::to_string(e));
      report_column_inputs(io, frame, v, e, 0);
    }
  } else if (v.GLOBAL_SOLVER_FAILURES == SOLVER_MESSAGE_LIMIT) {
    REPORT_ERROR(io, SEVERITY_ERROR, 1039, PRINT_UNIT, 0, 0,
                 "**** Last printout of the error message - maximum iterations in VSS global "
                 "solver *****");
  }
}

// The net inflow of each cell of column e over the step, m3/s, by its recorded flows,
// read in place.
class ColumnInflows {
 public:
  ColumnInflows(const FrameState& frame, const SurfaceState& surface, const SubsurfaceState& v,
                int e, int kb)
      : area_(frame.AREA(e)),
        soil_evap_(surface.ET_SOIL_EVAP(e)),
        ll_(v.LL),
        vertical_(v.CELL_VERTICAL_FLOW, e, kb - 1, v.LL),
        roots_(surface.ET_ROOT_UPTAKE, e, kb, v.LL),
        lateral_(v.CELL_LATERAL_FLOW, e, kb, v.LL) {
    const int point = v.VSS_BOUNDARY_CODE(6, e);
    if (point == 1) {
      well_ = v.WELL_NUMBER(e);
      screen_bottom_ = v.WELL_SCREEN_BOTTOM_CELL(e);
      screen_top_ = v.WELL_SCREEN_TOP_CELL(e);
    } else if (point == 2) {
      spring_cell_ = v.SPRING_CELL(e);
      spring_ = v.SPRING_DISCHARGE(e);
    }
    abstraction_ = well_ > 0 ? &v.CELL_WELL_ABSTRACTION : nullptr;
  }
  double operator()(int k) const {
    double q = area_ * (vertical_[k - 1] - vertical_[k]) - area_ * roots_[k];
    for (int f = 1; f <= 4; ++f) q += lateral_(f, k);
    if (k == ll_) q -= area_ * soil_evap_;
    if (well_ > 0 && k >= screen_bottom_ && k <= screen_top_) q -= area_ * (*abstraction_)(k, well_);
    if (k == spring_cell_) q -= spring_;
    return q;
  }

 private:
  double area_, soil_evap_;
  int ll_;
  Cells<const double> vertical_, roots_;
  FaceCells<const double> lateral_;
  int well_ = 0, screen_bottom_ = 0, screen_top_ = 0;
  const Array2<double>* abstraction_ = nullptr;
  int spring_cell_ = -1;
  double spring_ = 0.0;
};

// Bank and link cells close their balance on their land-side faces; the flows through
// a face shared by two columns are made equal and opposite (the lower-numbered element
// keeps its own); then every cell's moisture content is its start value plus what its
// flows delivered.
void close_balance(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& v) {
  const int nel = frame.NEL, ll = v.LL, first = first_column(frame);
  const double dt = frame.DTUZ;
  for (int e = 1; e <= nel; ++e) {
    const int kb = v.LAYER_BOTTOM_CELL(e, 1);
    if (kb > ll) continue;
    const int kind = frame.ICMREF(e, 1, 1);
    int faces[2] = {0, 0};
    if (kind == 1 || kind == 2) {
      for (int f = 1; f <= 4 && faces[0] == 0; ++f) {
        const int n = frame.ICMREF(e, f, 2);
        if (n >= 1 && frame.ICMREF(n, 1, 1) == 0) faces[0] = f;
      }
    } else if (kind == KIND_CHANNEL_LINK) {
      faces[0] = frame.LINK_NORTH_SOUTH(e) ? 1 : 2;
      faces[1] = frame.LINK_NORTH_SOUTH(e) ? 3 : 4;
    }
    if (faces[0] != 0) {
      const ColumnInflows inflow(frame, surface, v, e, kb);
      for (int k = ll; k >= kb; --k) {
        const double stored = frame.AREA(e) * (v.CELL_THETA(k, e) - v.CELL_THETA_START(k, e)) *
                              v.CELL_THICKNESS(k, e) / dt;
        const double R = stored - inflow(k);
        double S = 0.0;
        for (int f : faces) {
          if (f != 0) S += v.CELL_LATERAL_FLOW(f, k, e);
        }
        if (!IS_NON_ZERO(S)) continue;
        for (int f : faces) {
          if (f != 0) v.CELL_LATERAL_FLOW(f, k, e) *= R / S + 1.0;
        }
      }
    }
    for (int f = 1; f <= 4; ++f) {
      const int n = frame.ICMREF(e, f, 2);
      if (n < first) continue;
      const int b = frame.ICMREF(e, f, 3);
      for (int k = kb; k <= ll; ++k) {
        const int s = v.CELL_FACE_CELL(f, k, e);
        if (s > 0) v.CELL_LATERAL_FLOW(b, s, n) = -v.CELL_LATERAL_FLOW(f, k, e);
      }
    }
  }
  for (int e = first; e <= nel; ++e) {
    const int kb = v.LAYER_BOTTOM_CELL(e, 1);
    if (kb > ll) continue;
    const ColumnInflows inflow(frame, surface, v, e, kb);
    const double area = frame.AREA(e);
    const Cells<double> theta(v.CELL_THETA, e, kb, ll);
    const Cells<const double> start(v.CELL_THETA_START, e, kb, ll), dz(v.CELL_THICKNESS, e, kb, ll);
    for (int k = kb; k <= ll; ++k) theta[k] = start[k] + inflow(k) * dt / (area * dz[k]);
  }
}

void add_to_run_totals(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& v,
                       int e) {
  SubsurfaceState::RunTotals& t = v.run_totals;
  const double a = frame.AREA(e) * frame.DTUZ, dt = frame.DTUZ;
  const int kb = v.LAYER_BOTTOM_CELL(e, 1), ll = v.LL;
  t.surface -= a * v.INFILTRATION_RATE(e);
  t.boundaries += a * v.COLUMN_BASE_FLOW(e);
  t.wells += a * v.WELL_ABSTRACTION(e);
  if (v.VSS_BOUNDARY_CODE(6, e) == 2) t.springs += dt * v.SPRING_DISCHARGE(e);
  t.soil_evap += a * surface.ET_SOIL_EVAP(e);
  const int* code = &v.VSS_BOUNDARY_CODE(1, e);  // code[f]: face f
  const Cells<const double> roots(surface.ET_ROOT_UPTAKE, e, kb, ll);
  const FaceCells<const double> lateral(v.CELL_LATERAL_FLOW, e, kb, ll);
  for (int k = kb; k <= ll; ++k) {
    t.roots += a * roots[k];
    for (int f = 1; f <= 4; ++f) {
      if (code[f] == 9 || code[f] == 10) t.channels += dt * lateral(f, k);
      if (code[f] >= VSS_LATERAL_FLOW && code[f] <= VSS_LATERAL_HEAD_GRADIENT) {
        t.boundaries += dt * lateral(f, k);
      }
    }
  }
}

void exchange_outputs(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& v) {
  const int nel = frame.NEL, ll = v.LL, first = first_column(frame);
  for (int e = first; e <= nel; ++e) {
    const int kb = v.LAYER_BOTTOM_CELL(e, 1);
    if (kb > ll) continue;
    const int w = v.WELL_NUMBER(e);
    if (w > 0) {
      double sum = 0.0;
      for (int k = v.WELL_SCREEN_BOTTOM_CELL(e); k <= v.WELL_SCREEN_TOP_CELL(e); ++k) {
        sum += v.CELL_WELL_ABSTRACTION(k, w);
      }
      v.WELL_ABSTRACTION(e) = sum;
    }
    v.INFILTRATION_RATE(e) = v.CELL_VERTICAL_FLOW(ll, e);
    v.COLUMN_BASE_FLOW(e) = v.CELL_VERTICAL_FLOW(kb - 1, e);
    add_to_run_totals(frame, surface, v, e);
  }
  for (int l = 1; l <= frame.NLF; ++l) {
    for (int s = 1; s <= 2; ++s) {
      const int f = frame.LINK_NORTH_SOUTH(l) ? 2 * s - 1 : 2 * s;
      const int n = frame.ICMREF(l, f, 2), b = frame.ICMREF(l, f, 3);
      int c0 = ll + 1;
      if (frame.BANKS_ON) {
        c0 = v.LINK_BED_CELL(l, s) + 1;
      } else if (n >= 1) {
        c0 = v.LAYER_BOTTOM_CELL(n, 1);
      }
      double lateral = 0.0;
      if (n >= 1) {
        for (int k = c0; k <= ll; ++k) lateral += v.CELL_LATERAL_FLOW(b, k, n);
      }
      v.STREAM_AQUIFER_LATERAL_FLOW(l, s) = lateral;
      const double q = frame.BANKS_ON ? -0.5 * frame.AREA(l) * v.INFILTRATION_RATE(l) : 0.0;
      const bool wet = surface.GET_HRF(l) - 1e-8 - frame.ZGRUND(l) >= 0.0;
      v.STREAM_AQUIFER_WET_FLOW(l, s) = wet ? q : 0.0;
      v.STREAM_AQUIFER_DRY_FLOW(l, s) = wet ? 0.0 : q;
    }
  }
}

}  // namespace

bool GlobalSweepLimit::next_is_last(int sweep, double change) {
  if (change < VSS_STALL_FALL * best_) {
    best_ = change;
    best_sweep_ = sweep;
  }
  if (sweep + 1 >= VSS_MAX_GLOBAL_SWEEPS) return true;
  stalled_ = sweep + 1 >= VSS_STALL_CHECK_SWEEP && sweep - best_sweep_ >= VSS_STALL_SWEEPS;
  return stalled_;
}

std::string GlobalSweepLimit::stop_text(int sweeps) const {
  if (!stalled_) {
    return "stopped at the limit of " + std::to_string(sweeps) +
           " sweeps, the largest head change still falling";
  }
  const long percent = std::lround(100.0 * (1.0 - VSS_STALL_FALL));
  return "stopped after " + std::to_string(sweeps) + " sweeps: the largest head change fell by "
         "less than " + std::to_string(percent) + "% over the last " +
         std::to_string(VSS_STALL_SWEEPS);
}

void VSS_TIME_STEP(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& v,
                   RunIo& io) {
  if (v.LL <= 0) return;  // no cells: nothing to advance
  if (!v.vss_step_prepared) prepare(frame, surface, v, io);
  read_boundary_series(frame, v, io);
  prepare_step(frame, surface, v);
  global_iteration(frame, surface, v, io);
  close_balance(frame, surface, v);
  exchange_outputs(frame, surface, v);
}

}  // namespace quendal
