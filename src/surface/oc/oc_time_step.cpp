#include "surface/oc/oc_time_step.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/predicates.h"
#include "services/series.h"
#include "services/units.h"
#include "surface/oc/oc_face_flows.h"
#include "surface/oc/oc_junctions.h"
#include "surface/oc/oc_limiter.h"
#include "surface/oc/oc_storage.h"
#include "surface/surface_state.h"

namespace quendal {

namespace {

// ---- adapter: the subsurface exchange --------------------------------------------------
// The level-change equations book the subsurface's exchange with the surface water: the
// infiltration rate of column elements (INFILTRATION_RATE, m/s, positive upwards) and
// the stream-aquifer flows of links (per bank side, m3/s, positive out of the channel):
// the lateral flow into the soil beside the channel and the exchange through its own bed,
// booked whether the channel is wet or dry, since the subsurface took or gave that water
// either way. A spring's discharge (m3/s) comes up at the surface of its own element.
// A state without cells publishes none.
double infiltration_rate(const FrameState& frame, const SubsurfaceState& subsurface, int element) {
  if (subsurface.INFILTRATION_RATE.empty()) return 0.0;
  const double spring =
      subsurface.SPRING_DISCHARGE.empty() ? 0.0 : subsurface.SPRING_DISCHARGE(element);
  return subsurface.INFILTRATION_RATE(element) + spring / frame.AREA(element);
}
double stream_aquifer_outflow(const SubsurfaceState& subsurface, int link) {
  if (subsurface.STREAM_AQUIFER_LATERAL_FLOW.empty()) return 0.0;
  double v = 0.0;
  for (int s = 1; s <= 2; ++s) {
    v += subsurface.STREAM_AQUIFER_LATERAL_FLOW(link, s) + subsurface.STREAM_AQUIFER_WET_FLOW(link, s) +
         subsurface.STREAM_AQUIFER_DRY_FLOW(link, s);
  }
  return v;
}

// The element coupled to element e over face f: its neighbour (m = 1), or the m-th link
// of the junction the face leads to; 0 for none.
int coupled_element(const FrameState& frame, int e, int f, int m) {
  const int g = frame.ICMREF(e, f, 2);
  if (g > 0) return m == 1 ? g : 0;
  if (g < 0) return frame.ICMRF2(-g, m);
  return 0;
}

// ---- first call --------------------------------------------------------------------------
void prepare(const FrameState& frame, SurfaceState& surface, OcStepState& state) {
  for (int l = 1; l <= frame.NLF; ++l) {
    surface.LINK_FULL_AREA(l) = surface.LINK_PAIR_AREA(l, surface.NXSECT(l));
  }
  const int room_head = std::max(NOCTAB, surface.OC_N_HEAD_CATEGORIES);
  const int room_flux = std::max(NOCTAB, surface.OC_N_FLUX_CATEGORIES);
  state.OC_HEAD_VALUE.resize(room_head, 0.0);
  state.OC_FLUX_VALUE.resize(room_flux, 0.0);
  state.head_last_values.assign(static_cast<std::size_t>(room_head), 0.0);
  state.head_next_values.assign(static_cast<std::size_t>(room_head), 0.0);
  state.flux_series_values.assign(static_cast<std::size_t>(room_flux), 0.0);

  // The pattern of the level-change system: an equation holds its own element and every
  // element it is coupled to over a face or through a junction, whatever the flows of a
  // step make of them.
  state.element_slots.resize(OC_SLOTS_PER_ELEMENT, frame.NEL, -1);
  std::vector<std::pair<int, int>> entries;
  entries.reserve(static_cast<std::size_t>(frame.NEL) * 5);
  for (int e = 1; e <= frame.NEL; ++e) {
    entries.emplace_back(e - 1, e - 1);
    for (int f = 1; f <= 4; ++f) {
      for (int m = 1; m <= 3; ++m) {
        const int g = coupled_element(frame, e, f, m);
        if (g > 0) entries.emplace_back(e - 1, g - 1);
      }
    }
  }
  state.levels.set_pattern(frame.NEL, entries);
  for (int e = 1; e <= frame.NEL; ++e) {
    state.element_slots(1, e) = state.levels.slot(e - 1, e - 1);
    for (int f = 1; f <= 4; ++f) {
      for (int m = 1; m <= 3; ++m) {
        const int g = coupled_element(frame, e, f, m);
        if (g > 0) state.element_slots(OC_COUPLING_SLOT(f, m), e) = state.levels.slot(e - 1, g - 1);
      }
    }
  }
  state.level_change.resize(frame.NEL, 0.0);
  state.first_call = false;
}

// ---- 1. boundary series ------------------------------------------------------------------
void read_boundary_series(const FrameState& frame, const SurfaceState& surface,
                          OcStepState& state, RunIo& io) {
  const double t0 = frame.LAST_OC_STEP_TIME;
  const double dt = frame.PREVIOUS_TIMESTEP;
  if (surface.OC_N_HEAD_CATEGORIES > 0) {
    READ_SERIES_STEP_MIDPOINT(io, OC_HEAD_SERIES_UNIT, frame.RUN_START_TIME, t0, dt,
                              state.head_TLAST, state.head_TNEXT, state.head_last_values,
                              state.head_next_values, surface.OC_N_HEAD_CATEGORIES,
                              state.OC_HEAD_VALUE,
                              [](int column, double level, const FieldPlace& place) {
                                require_within(Quantity::ELEVATION,
                                               "head boundary level of category " +
                                                   std::to_string(column),
                                               level, place);
                              });
  }
  if (IS_NO_DATA(state.head_TNEXT)) {
    report_series_end(io, OC_HEAD_SERIES_UNIT, 1007, "END OF OC HEAD BOUNDARY DATA", t0 + dt);
  }
  if (surface.OC_N_FLUX_CATEGORIES > 0) {
    READ_SERIES_STEP_MEAN(io, OC_FLUX_SERIES_UNIT, frame.RUN_START_TIME, t0, dt,
                          state.flux_TLAST, state.flux_TNEXT, state.flux_series_values,
                          surface.OC_N_FLUX_CATEGORIES, state.OC_FLUX_VALUE);
  }
  if (IS_NO_DATA(state.flux_TNEXT)) {
    report_series_end(io, OC_FLUX_SERIES_UNIT, 1023, "END OF OC FLUX BOUNDARY DATA", t0 + dt);
  }
}

// ---- 2. channel junctions ----------------------------------------------------------------
// OC_FACE_FLOWS leaves the junction faces alone; they are balanced here, each junction
// once from its lowest-numbered link, so that a balance that did not converge can be
// reported. The flows of such a junction still add up to zero.
void junction_flows(const FrameState& frame, SurfaceState& surface, OcStepState& state,
                    RunIo& io) {
  for (int e = 1; e <= frame.NLF; ++e) {
    for (int f = 1; f <= 4; ++f) {
      if (!OC_JUNCTION_EVALUATED_AT(frame, e, f)) continue;
      if (!OC_EVALUATE_JUNCTION(frame, surface, e, f)) report_junction_failure(state, e, io);
    }
  }
}

// ---- 3. the level-change equations -------------------------------------------------------
// An element whose depth a head boundary prescribes.
bool is_head_element(const SurfaceState& surface, int e) {
  const int entry = surface.OC_BOUNDARY_OF_ELEMENT(e);
  if (entry < 1) return false;
  const int type = surface.OC_BOUNDARY_TYPE(entry);
  return type == OC_BC_HEAD || type == OC_BC_LINK_HEAD;
}

// The equation of element e:
//   S dh / dt = sum over faces (QSA + DQ0ST dh + DQIST dh(neighbour) [+ junction terms])
//               + AREA (P - E + I) - V,
// S the storage area (oc_storage.h), P the net rain (a dry channel takes it too), E the
// evaporation from surface water, I the infiltration rate (positive upwards, so
// negative while water infiltrates) and V the stream-aquifer outflow of a link. A head
// element instead takes the depth of its category: dh = head - depth.
void assemble_element(const FrameState& frame, const SurfaceState& surface,
                      const SubsurfaceState& subsurface, OcStepState& state, int e) {
  const std::span<double> A = state.levels.values();
  double& rhs = state.levels.rhs()[static_cast<std::size_t>(e - 1)];
  const double depth = surface.GET_HRF(e) - frame.ZGRUND(e);
  if (is_head_element(surface, e)) {
    const int entry = surface.OC_BOUNDARY_OF_ELEMENT(e);
    state.levels.row_weights()[static_cast<std::size_t>(e - 1)] = 0.0;  // the boundary gives
    A[state.element_slots(1, e)] = 1.0;
    rhs = state.OC_HEAD_VALUE(surface.OC_BOUNDARY_CATEGORY(entry)) - depth;
    return;
  }

  // A residual r (m3/s) left in the equation books r x dt of water the element did not
  // get, r x dt / AREA over its area.
  state.levels.row_weights()[static_cast<std::size_t>(e - 1)] = state.OC_TIMESTEP_SECONDS / frame.AREA(e);
  const double storage = OC_STORAGE_AREA(frame, link_sections(surface), e, surface.GET_HRF(e));
  double diagonal = -storage / state.OC_TIMESTEP_SECONDS;
  double P = surface.PNETTO(e);
  double I = 0.0, V = 0.0;
  if (e <= frame.NLF) {
    // A dry channel takes its rain like any other element: rain on its plan area that
    // no equation received would be lost from the catchment's water balance.
    V = stream_aquifer_outflow(subsurface, e);
  } else {
    I = infiltration_rate(frame, subsurface, e);
  }
  double b = V - frame.AREA(e) * (P - surface.ET_SURFACE_WATER_EVAP(e) + I);
  // A step taken in sub-steps books a net loss to the subsurface and the air in its
  // first sub-step: the subsurface drew it from the water the element held at the start
  // of the step (and its rain), which the later sub-steps may already have sent on.
  if (b > 0.0) b *= state.vertical_loss_factor;

  for (int f = 1; f <= 4; ++f) {
    diagonal += surface.DQ0ST(e, f);
    b -= surface.GET_QSA(e, f);
    const int g = frame.ICMREF(e, f, 2);
    if (g > 0) {
      A[state.element_slots(OC_COUPLING_SLOT(f, 1), e)] += surface.DQIST(e, f);
    } else if (g < 0) {
      const int J = -g;
      for (int m = 1; m <= 3; ++m) {
        if (frame.ICMRF2(J, m) != 0) {
          A[state.element_slots(OC_COUPLING_SLOT(f, m), e)] += surface.DQIST2(J, m);
        }
      }
    }
  }
  A[state.element_slots(1, e)] += diagonal;
  rhs = b;
  if (e <= frame.NLF) {
    state.largest_link_diagonal = std::max(state.largest_link_diagonal, diagonal);
  }
}

// The assembled system solved by the elimination over grid rows, into `dh`. Returns
// false when a row block is singular, with `singular` the first element of its row.
bool solve_by_rows(const FrameState& frame, const SurfaceState& surface, OcStepState& state,
                   Array1<double>& dh, int& singular) {
  BlockRowSolver& rows = state.rows;
  if (rows.row_count() != frame.NY) {
    std::vector<int> sizes(static_cast<std::size_t>(frame.NY), 0);
    state.row_of_element.resize(frame.NEL, 0);
    for (int y = 1; y <= frame.NY; ++y) {
      sizes[static_cast<std::size_t>(y - 1)] = surface.OC_ROW_START(y + 1) - surface.OC_ROW_START(y);
      for (int p = surface.OC_ROW_START(y); p < surface.OC_ROW_START(y + 1); ++p) {
        state.row_of_element(surface.OC_ROW_ELEMENTS(p)) = y;
      }
    }
    rows.set_shape(sizes);
  }
  const SparseLevelSolver& levels = state.levels;
  const std::span<const int> starts = levels.row_starts(), columns = levels.columns();
  const std::span<const double> A = levels.values(), b = levels.rhs();
  for (int r = 1; r <= frame.NY; ++r) {
    rows.begin_row(r);
    const int first = surface.OC_ROW_START(r);
    const int end = surface.OC_ROW_START(r + 1);
    if (first == end) continue;
    for (int p = first; p < end; ++p) {
      const int j = p - first + 1;
      const int i = surface.OC_ROW_ELEMENTS(p) - 1;
      rows.rhs(j) = b[static_cast<std::size_t>(i)];
      for (int k = starts[static_cast<std::size_t>(i)]; k < starts[static_cast<std::size_t>(i) + 1]; ++k) {
        const double v = A[static_cast<std::size_t>(k)];
        if (v == 0.0) continue;
        const int g = columns[static_cast<std::size_t>(k)] + 1;
        const int position = surface.OC_COLUMN_OF_ELEMENT(g);
        const int row_g = state.row_of_element(g);
        if (row_g == r) {
          rows.diagonal(j, position) += v;
        } else if (row_g > r) {
          rows.add_upper(j, position, v);
        } else {
          rows.add_lower(j, position, v);
        }
      }
    }
    if (!rows.eliminate_row()) {
      singular = surface.OC_ROW_ELEMENTS(first);
      return false;
    }
  }
  rows.back_substitute();
  for (int r = 1; r <= frame.NY; ++r) {
    const int first = surface.OC_ROW_START(r);
    for (int p = first; p < surface.OC_ROW_START(r + 1); ++p) {
      dh(surface.OC_ROW_ELEMENTS(p)) = rows.solution(r, p - first + 1);
    }
  }
  return true;
}

// Assembles the equations and solves them for the level changes. A matrix that the
// sparse solvers find singular goes to the elimination by rows, which either solves it
// or stops the run at its first singular row block.
void solve_level_changes(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, OcStepState& state, RunIo& io) {
  state.levels.zero();
  for (int e = 1; e <= frame.NEL; ++e) assemble_element(frame, surface, subsurface, state, e);

  bool by_rows = state.solve_by_rows;
  if (!by_rows) {
    const std::span<double> dh(state.level_change.data(), static_cast<std::size_t>(frame.NEL));
    switch (state.levels.solve(dh)) {
      case SparseLevelSolver::Outcome::Iterated:
        ++state.iterated_solves;
        break;
      case SparseLevelSolver::Outcome::Factorised:
        ++state.factorised_solves;
        break;
      case SparseLevelSolver::Outcome::Singular:
        by_rows = true;
        break;
    }
    state.iterations += state.levels.iterations();
  }
  if (by_rows || state.check_by_rows) {
    Array1<double>& dh = by_rows ? state.level_change : state.row_solution;
    if (dh.size() != frame.NEL) dh.resize(frame.NEL, 0.0);
    int singular = 0;
    if (!solve_by_rows(frame, surface, state, dh, singular)) {
      REPORT_ERROR(io, SEVERITY_FATAL, 1018, PRINT_UNIT, singular, 0,
                   format_line("('Singular OC row matrix in grid row',I5)",
                               state.row_of_element(singular)));
    }
  }
  if (!by_rows && state.check_by_rows) {
    double largest = 0.0, difference = 0.0;
    for (int e = 1; e <= frame.NEL; ++e) {
      largest = std::max(largest, std::fabs(state.row_solution(e)));
      difference = std::max(difference, std::fabs(state.level_change(e) - state.row_solution(e)));
    }
    if (largest > 0.0) difference /= largest;
    state.largest_difference_from_rows = std::max(state.largest_difference_from_rows, difference);
  }
}

// ---- 4. corrected levels and face flows --------------------------------------------------
// The outflow of a weir on the catchment boundary cannot turn into an inflow within a
// step (nor an inflow from the outside into an outflow): the weir law's flow falls to
// zero as the level falls to the crest, but its tangent carries on past it. Returns the
// part of the corrected flow `q` (m3/s, into the element) that lies beyond zero, which
// the element does not get; 0 for any other face.
double weir_flow_past_zero(const SurfaceState& surface, int e, int f, double level, double q) {
  const int entry = surface.OC_BOUNDARY_OF_ELEMENT(e);
  if (entry < 1 || surface.OC_BOUNDARY_TYPE(entry) != OC_BC_WEIR ||
      surface.OC_BOUNDARY_FACE(entry) != f) {
    return 0.0;
  }
  const double tail = surface.OC_BOUNDARY_COEFFICIENTS(4, entry);
  // At or above the tail the element is upstream and only gives water.
  return level >= tail ? std::max(q, 0.0) : std::min(q, 0.0);
}

// A grid square or bank element rises by dh. A link gains the volume its equation booked,
// its storage area times dh, and takes the level at which its section holds that volume:
// the linear storage serves the solution only, and on a section that widens with the
// depth its level would otherwise make or lose water every step. A head element takes
// its prescribed level.
void apply_level_changes(const FrameState& frame, SurfaceState& surface, OcStepState& state) {
  const Array1<double>& dh = state.level_change;
  const OcLinkSections sections = link_sections(surface);
  const double dt = state.OC_TIMESTEP_SECONDS;
  for (int e = 1; e <= frame.NEL; ++e) {
    const double level = surface.GET_HRF(e);
    const bool head = is_head_element(surface, e);
    double volume = OC_STORAGE_AREA(frame, sections, e, level) * dh(e);
    for (int f = 1; f <= 4; ++f) {
      double change = surface.DQ0ST(e, f) * dh(e);
      const int g = frame.ICMREF(e, f, 2);
      if (g > 0) {
        change += surface.DQIST(e, f) * dh(g);
      } else if (g < 0) {
        const int J = -g;
        for (int m = 1; m <= 3; ++m) {
          const int link = frame.ICMRF2(J, m);
          if (link != 0) change += surface.DQIST2(J, m) * dh(link);
        }
      }
      double q = surface.GET_QSA(e, f) + change;
      if (g == 0) {
        const double past_zero = weir_flow_past_zero(surface, e, f, level, q);
        q -= past_zero;
        volume -= past_zero * dt;
      }
      surface.SET_QSA(e, f, q);
    }
    double new_level = level + dh(e);
    if (!head) new_level = OC_LEVEL_AFTER_VOLUME_CHANGE(frame, sections, e, level, volume);
    if (e <= frame.NLF && !head) {
      state.lowest_link_depth_after_solve =
          std::min(state.lowest_link_depth_after_solve, new_level - frame.ZGRUND(e));
    }
    surface.SET_HRF(e, new_level);
  }
}

// ---- the bound of the linearisation -----------------------------------------------------
// The reference height of element e: a link's bank height, OC_OVERLAND_REFERENCE_DEPTH
// for a grid square or bank element. The largest change of its level that the
// linearisation at `level`, where the (sub-)step starts, carries: its depth there plus
// OC_SUBSTEP_BOUND_FRACTION of its reference height.
double reference_height(const FrameState& frame, const SurfaceState& surface, int e) {
  if (e > frame.NLF) return OC_OVERLAND_REFERENCE_DEPTH;
  // A link without a bank height (a section whose top pair lies at its bed) is bounded
  // as a grid square is.
  const double bank = surface.ZBFULL(e) - frame.ZGRUND(e);
  return bank > 0.0 ? bank : OC_OVERLAND_REFERENCE_DEPTH;
}
double level_change_bound(const FrameState& frame, const SurfaceState& surface, int e, double level) {
  const double reference = reference_height(frame, surface, e);
  return std::max(level - frame.ZGRUND(e), 0.0) + OC_SUBSTEP_BOUND_FRACTION * reference;
}

// The largest ratio of a solved level change to its bound, with `worst` the element.
// Head elements take their prescribed depth and are not bounded.
double solved_change_ratio(const FrameState& frame, const SurfaceState& surface,
                           const OcStepState& state, int& worst) {
  double largest = 0.0;
  for (int e = 1; e <= frame.NEL; ++e) {
    if (is_head_element(surface, e)) continue;
    const double ratio = std::fabs(state.level_change(e)) /
                         level_change_bound(frame, surface, e, surface.GET_HRF(e));
    if (ratio > largest) {
      largest = ratio;
      worst = e;
    }
  }
  return largest;
}

// The largest ratio of a change the outflow limiter made to a solved level to
// OC_REPAIR_BOUND_FRACTION of the element's reference height, with `worst` the element.
double repair_ratio(const FrameState& frame, const SurfaceState& surface, const OcStepState& state,
                    int& worst) {
  double largest = 0.0;
  for (int e = 1; e <= frame.NEL; ++e) {
    const double change = std::fabs(surface.GET_HRF(e) - state.solved_levels(e));
    if (change == 0.0) continue;
    const double ratio = change / (OC_REPAIR_BOUND_FRACTION * reference_height(frame, surface, e));
    if (ratio > largest) {
      largest = ratio;
      worst = e;
    }
  }
  return largest;
}

// ---- 8. the channel flow check -----------------------------------------------------------
void check_channel_flows(const FrameState& frame, const SurfaceState& surface, RunIo& io) {
  if (!IS_POSITIVE(frame.OC_MAX_CHANNEL_FLOW)) return;
  for (int l = 1; l <= frame.NLF; ++l) {
    for (int f = 1; f <= 4; ++f) {
      if (std::fabs(surface.QOC(l, f)) > frame.OC_MAX_CHANNEL_FLOW) {
        // The flow found, and where the limit it passed was given.
        std::string detail = "flow " + value_text(surface.QOC(l, f)) + " m3/s at face " +
                             std::to_string(f) + " above the limit " +
                             value_text(frame.OC_MAX_CHANNEL_FLOW) + " m3/s";
        if (!frame.OC_MAX_CHANNEL_FLOW_PLACE.file.empty()) {
          detail += "; the limit was read from " + describe_place(frame.OC_MAX_CHANNEL_FLOW_PLACE);
        }
        report_fatal_with_detail(io, 1029, PRINT_UNIT, l, "CHANNEL FLOWS EXCEED MAXIMUM ALLOWED",
                                 detail);
      }
    }
  }
}

}  // namespace

void OC_TIME_STEP(const FrameState& frame, SurfaceState& surface, const SubsurfaceState& subsurface,
                  OcStepState& state, RunIo& io) {
  const double step = frame.PREVIOUS_TIMESTEP * 3600.0;
  if (state.first_call) prepare(frame, surface, state);

  read_boundary_series(frame, surface, state, io);

  // The step, as one sub-step when every level change stays within its bound, else as
  // sub-steps of step / 2^k, each from the levels and flows the last one left.
  const int nel = frame.NEL;
  const double finest = std::ldexp(step, -OC_MAX_SUBSTEP_HALVINGS);
  double done = 0.0, sub = step;
  int substeps = 0;
  bool warned = false;
  state.substep_levels = surface.HRF;
  state.substep_flows = surface.QSA;
  while (done < step) {
    sub = std::min(sub, step - done);
    const bool last_resort = sub <= finest;
    state.OC_TIMESTEP_SECONDS = sub;
    state.vertical_loss_factor = substeps > 0 ? 0.0 : sub == step ? 1.0 : step / sub;
    OC_FACE_FLOWS(frame, surface, state.OC_FLUX_VALUE);
    junction_flows(frame, surface, state, io);
    solve_level_changes(frame, surface, subsurface, state, io);

    // How far the solution went: its own level changes, and then the changes the outflow
    // limiter had to make to it, each against the bound of the element's level change.
    int worst = 0;
    double ratio = solved_change_ratio(frame, surface, state, worst);
    bool settled = true;
    if (ratio <= 1.0 || last_resort) {
      apply_level_changes(frame, surface, state);
      state.solved_levels = surface.HRF;
      settled = OC_LIMIT_OUTFLOWS(frame, link_sections(surface), sub, surface.HRF, surface.QSA,
                                  state.limiter, io, last_resort);
      if (settled) {
        int repaired = 0;
        const double repairs = repair_ratio(frame, surface, state, repaired);
        if (repairs > ratio) {
          ratio = repairs;
          worst = repaired;
        }
      }
    }
    if (!last_resort && (!settled || ratio > 1.0)) {
      // Beyond what the linearisation carries: the sub-step is taken again from where it
      // started, shorter by the factor of two that should bring the largest change
      // within its bound.
      surface.HRF = state.substep_levels;
      surface.QSA = state.substep_flows;
      const int halvings = settled ? std::max(1, static_cast<int>(std::ceil(std::log2(ratio)))) : 1;
      sub = std::max(std::ldexp(sub, -halvings), finest);
      continue;
    }
    if (!last_resort) OC_REPORT_LIMITER_WARNINGS(state.limiter, io);
    if (ratio > 1.0 && !warned) {
      report_capped_warning(io, state.substep_failures, OC_SUBSTEP_WARNING, worst,
                            "OC level change beyond its linearisation in the finest sub-step",
                            "level change beyond its linearisation in the finest OC sub-step");
      warned = true;
    }

    ++substeps;
    done = sub == step - done ? step : done + sub;
    if (substeps == 1) {
      if (done == step) break;
      state.face_volumes.resize(nel, 4, 0.0);  // zeroed, kept in place when already sized
    }
    for (int e = 1; e <= nel; ++e) {
      for (int f = 1; f <= 4; ++f) state.face_volumes(e, f) += surface.GET_QSA(e, f) * sub;
    }
    state.substep_levels = surface.HRF;
    state.substep_flows = surface.QSA;
    // Well within the bound: the next sub-step may be twice as long.
    if (ratio < 0.5) sub *= 2.0;
  }
  state.OC_TIMESTEP_SECONDS = step;
  state.largest_substeps = std::max(state.largest_substeps, substeps);
  if (substeps > 1) state.substepped_steps += 1;

  // QOC: what crossed each face over the step, divided by the step. One sub-step gives
  // QSA itself.
  publish_face_flows(surface, nel);
  if (substeps > 1) {
    for (int e = 1; e <= nel; ++e) {
      surface.QOC(e, 1) = -state.face_volumes(e, 1) / step;
      surface.QOC(e, 2) = -state.face_volumes(e, 2) / step;
      surface.QOC(e, 3) = state.face_volumes(e, 3) / step;
      surface.QOC(e, 4) = state.face_volumes(e, 4) / step;
    }
  }
  OC_CHANNEL_AREAS(frame, surface);

  const double t = frame.LAST_OC_STEP_TIME + frame.PREVIOUS_TIMESTEP;
  if (surface.OC_PRINT_START <= t && t <= surface.OC_PRINT_END) {
    OC_PRINT_RESULTS(frame, surface, t, io);
  }
  check_channel_flows(frame, surface, io);
}

void OC_CHANNEL_AREAS(const FrameState& frame, SurfaceState& surface) {
  const OcLinkSections sections = link_sections(surface);
  for (int l = 1; l <= frame.NLF; ++l) {
    surface.ARXL(l) = OC_CHANNEL_AREA(sections, l, surface.GET_HRF(l) - frame.ZGRUND(l));
  }
}

void report_capped_warning(RunIo& io, int& reports, int number, int element,
                           std::string_view message, std::string_view closing) {
  ++reports;
  if (reports < OC_WARNING_MESSAGE_LIMIT) {
    REPORT_ERROR(io, SEVERITY_WARNING, number, PRINT_UNIT, element, 0, message);
  } else if (reports == OC_WARNING_MESSAGE_LIMIT) {
    REPORT_ERROR(io, SEVERITY_WARNING, number, PRINT_UNIT, element, 0,
                 "**** Last printout of the error message - " + std::string(closing) + " *****");
  }
}

void report_junction_failure(OcStepState& state, int link, RunIo& io) {
  report_capped_warning(io, state.junction_failures, OC_JUNCTION_WARNING, link,
                        "Maximum iterations in OC channel junction level",
                        "maximum iterations in OC channel junction level");
}

void OC_PRINT_RESULTS(const FrameState& frame, const SurfaceState& surface, double hours,
                      RunIo& io) {
  RecordSink& out = io.units.print();
  out.write_record("");
  out.write_record("");
  write_formatted(out, "('---- OC MODULE  RESULTS ','AFTER',F10.2,' HOURS ----')", hours);
  out.write_record("");
  out.write_record("");
  write_formatted(out, "(4X,A4,4(2X,'QOC(iel,',I1,')'),2A12)", "iel", 1, 2, 3, 4, "HRF", "ARXL");
  out.write_record("");
  for (int l = 1; l <= frame.NLF; ++l) {
    write_formatted(out, "(4X,I4,6F12.3)", l, surface.QOC(l, 1), surface.QOC(l, 2),
                    surface.QOC(l, 3), surface.QOC(l, 4), surface.GET_HRF(l), surface.ARXL(l));
  }
  for (int e = frame.NLF + 1; e <= frame.NEL; ++e) {
    write_formatted(out, "(4X,I4,5F12.3)", e, surface.QOC(e, 1), surface.QOC(e, 2),
                    surface.QOC(e, 3), surface.QOC(e, 4), surface.GET_HRF(e));
  }
  out.write_record("");
  out.write_record("");
  write_formatted(out, "('---- OC MODULE  RESULTS ','END ----')");
}

}  // namespace quendal
