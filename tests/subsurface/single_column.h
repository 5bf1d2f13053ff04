// One soil column alone, built in memory and stepped by the subsurface step, with the
// surface water it ponds kept here: rain that the soil does not take stays on the
// ground and is offered again in the next step. For the column tests and for the
// column measurements under bench/ (no test framework needed).
#pragma once

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frame/topology.h"
#include "include/model.h"
#include "services/calendar.h"
#include "services/units.h"
#include "subsurface/soil_tables.h"
#include "subsurface/vss_data_file.h"
#include "subsurface/vss_setup.h"
#include "subsurface/vss_time_step.h"
#include "test_support.h"

namespace quendal::testing {

struct ColumnSoil {
  double kx, kz;  // m/day (ky = kx)
  double theta_s, theta_r, ss, n, alpha;  // alpha in 1/cm (van Genuchten), 1/m (exponential)
  int function = 1;                       // 1 van Genuchten, 2 tabulated, 3 exponential
  // A tabulated soil's rows, wet to dry: psi (m) and theta / theta_s.
  std::vector<std::pair<double, double>> rows = {};
};

// Soils of the column tests: a van Genuchten soil of unit parameters (Ks 1 m/day,
// alpha 1 /m, n 2), the example catchment's loam, and a sand.
inline ColumnSoil unit_soil() { return {1.0, 1.0, 0.40, 0.05, 1e-4, 2.0, 0.01}; }
inline ColumnSoil example_loam() { return {0.02, 0.01, 0.43, 0.08, 1e-4, 1.56, 0.036}; }
inline ColumnSoil sand() { return {5.0, 5.0, 0.38, 0.05, 1e-4, 3.0, 0.05}; }
// The upland example's blanket peat: tabulated, saturated down to its first row at
// -0.01 m, so that its theta is level from saturation to there.
inline ColumnSoil peat() {
  return {0.3, 0.1, 0.88, 0.15, 5e-4, 0.0, 0.0, 2,
          {{-0.01, 1.00}, {-0.1, 0.96}, {-0.3, 0.90}, {-1.0, 0.80}, {-3.0, 0.68}, {-10.0, 0.57},
           {-30.0, 0.48}, {-100.0, 0.40}, {-300.0, 0.34}, {-1000.0, 0.29}, {-3000.0, 0.25},
           {-10000.0, 0.22}}};
}

struct ColumnLayer {
  int soil;
  double bottom_depth;  // m below ground of the layer's lower boundary
};

struct ColumnSpec {
  std::vector<ColumnSoil> soils;
  std::vector<ColumnLayer> layers;  // lowest first
  double cell = 0.5;                // m, the cells' thickness
  double side = 1.0;                // m, the square's side
  double step_hours = 1.0;
  // Initial heads: `head` in every cell when set, else hydrostatic about a water table
  // `table` m below ground (which may lie below the column).
  bool uniform = false;
  double head = 0.0, table = 0.0;
  // Base held at a level (m), when set.
  bool base_held = false;
  double base_level = 0.0;
  // The top layer held at a level (m) through a given-head boundary on its face 1, when
  // set.
  bool top_held = false;
  double top_level = 0.0;
};

constexpr double COLUMN_GROUND = 100.0;  // m

// The columns of the dry-soil cases, in steps of `step_hours`:
// a 1 m van Genuchten column (unit_soil) in 2.5 cm cells at -10 m, its top cell held at
// -0.75 m through a given-head boundary on a layer of large lateral conductivity and
// its base at -10 m;
inline ColumnSpec head_held_column(double step_hours);
// a 48 m column of 1 m cells of `soil` over a water table 45 m down;
inline ColumnSpec deep_water_table(const ColumnSoil& soil, double step_hours);
// a 10 m sand column in cells of `cell` m over a water table `table` m down, its base
// head raised 1 m above that table.
inline ColumnSpec raised_base(double table, double cell, double step_hours);

inline ColumnSpec head_held_column(double step_hours) {
  ColumnSpec s;
  ColumnSoil open = unit_soil();
  open.kx = 1.0e5;  // m/day: the held layer takes the boundary's head
  s.soils = {unit_soil(), open};
  s.layers = {{1, 1.0}, {2, 0.025}};
  s.cell = 0.025;
  s.uniform = true;
  s.head = -10.0;
  s.base_held = true;
  s.base_level = COLUMN_GROUND - 1.0 - 10.0;
  s.top_held = true;
  s.top_level = COLUMN_GROUND - 0.0125 - 0.75;
  s.step_hours = step_hours;
  return s;
}

inline ColumnSpec deep_water_table(const ColumnSoil& soil, double step_hours) {
  ColumnSpec s;
  s.soils = {soil};
  s.layers = {{1, 48.0}};
  s.cell = 1.0;
  s.table = 45.0;
  s.step_hours = step_hours;
  return s;
}

inline ColumnSpec raised_base(double table, double cell, double step_hours) {
  ColumnSpec s;
  s.soils = {sand()};
  s.layers = {{1, 10.0}};
  s.cell = cell;
  s.table = table;
  s.base_held = true;
  s.base_level = COLUMN_GROUND - table + 1.0;
  s.step_hours = step_hours;
  return s;
}

inline std::string column_vss_text(const ColumnSpec& c) {
  std::string t = ":VS01 column\nOne column\noptions\nF F T\n";
  t += ":VS03\n" + std::to_string(c.soils.size()) + " 0 0 1\n";
  t += ":VS04\n0.0 0.001 " + std::to_string(c.cell) + " 0.0 1.0\n:VS05\n";
  for (std::size_t s = 0; s < c.soils.size(); ++s) {
    const ColumnSoil& o = c.soils[s];
    char line[256];
    std::snprintf(line, sizeof line, "%zu %d %zu\n%.10g %.10g %.10g %.10g %.10g %.10g %.10g %.10g\n",
                  s + 1, o.function, o.rows.size(), o.kx, o.kx, o.kz, o.theta_s, o.theta_r, o.ss,
                  o.n, o.alpha);
    t += line;
  }
  for (std::size_t s = 0; s < c.soils.size(); ++s) {
    if (c.soils[s].rows.empty()) continue;
    t += std::to_string(s + 1) + " rows: psi, theta / theta sat, K\n";
    for (const auto& [psi, fraction] : c.soils[s].rows) {
      char line[96];
      std::snprintf(line, sizeof line, "%.10g %.10g 0.01\n", psi, fraction);
      t += line;
    }
  }
  t += ":VS08\n0 1\n:VS08d\n1 " + std::to_string(c.layers.size()) + "\n";
  for (const ColumnLayer& l : c.layers) t += std::to_string(l.soil) + " ";
  t += "\n";
  for (const ColumnLayer& l : c.layers) t += std::to_string(l.bottom_depth) + " ";
  t += "\n:VS10\n0\n";
  t += std::string(":VS11\n0 0 0 ") + (c.top_held ? "1" : "0") + " 0 0 " + (c.base_held ? "1" : "0") +
       " 0\n";
  if (c.top_held) {
    t += ":VS14\n      1 4\n:VS15\n      1 1\n:VS16\n1\n:VS16a\n4 1 1\n:VS16b\n" +
         std::to_string(c.layers.size()) + "\n";
  }
  if (c.base_held) t += ":VS17\n      1 7\n:VS18\n      1 1\n";
  return t;
}

// A constant series of one value over the run (and far beyond).
inline std::string constant_series(double value) {
  char text[160];
  std::snprintf(text, sizeof text, "Heading\n2000 1 1 0 0 %.10g\n2100 1 1 0 0 %.10g\n", value, value);
  return text;
}

class SingleColumn {
 public:
  explicit SingleColumn(const ColumnSpec& spec)
      : console_(std::tmpfile()), model_(std::make_unique<Model>(console_)) {
    Model& m = *model_;
    FrameState& frame = m.frame;
    m.io.units.open(PRINT_UNIT, dir_.file("print.txt"), UnitDirection::Output);
    m.io.names.START_DIR = dir_.path();
    frame.NX = frame.NY = 1;
    frame.BANKS_ON = false;
    frame.CATCHMENT_MASK.resize(1, 1, 1);
    frame.LCODEX.resize(2, 1, 2);
    frame.LCODEY.resize(1, 2, 2);
    NUMBER_ELEMENTS(frame, m.io, false);
    frame.ZGRUND.resize(1, COLUMN_GROUND);
    frame.AREA.resize(1, spec.side * spec.side);
    frame.DHF.resize(1, 4, 0.5 * spec.side);
    frame.ISORT.resize(1, 1);
    frame.UZNEXT = spec.step_hours;
    frame.DTUZ = 3600.0 * spec.step_hours;
    frame.RUN_START_TIME = DATE_TO_HOURS(2000, 1, 1, 0, 0, m.io);
    if (spec.top_held) open_input(VSS_LHB_UNIT, "lhb.txt", constant_series(spec.top_level));
    if (spec.base_held) open_input(VSS_BHB_UNIT, "bhb.txt", constant_series(spec.base_level));
    open_input(VSS_DATA_UNIT, "vss.txt", column_vss_text(spec));
    SurfaceState& surface = m.surface;
    SubsurfaceState& v = m.subsurface;
    VSS_SET_UP(frame, surface, v, m.io);
    for (int k = kb(); k <= v.LL; ++k) {
      v.vspsi(k, 1) = spec.uniform ? spec.head
                                   : COLUMN_GROUND - spec.table - v.CELL_ELEVATION(k, 1);
    }
    VSS_STATE_FROM_HEADS(frame, v, m.io);
    surface.HRF.resize(1, COLUMN_GROUND);
    for (Array1<double>* a : {&surface.PNETTO, &surface.ET_SOIL_EVAP, &surface.ET_GROUND_EVAP}) {
      a->resize(1, 0.0);
    }
    surface.ET_ROOT_UPTAKE.resize(v.LL, 1, 0.0);
    storage_at_start_ = storage();
  }
  ~SingleColumn() {
    model_.reset();
    if (console_ != nullptr) std::fclose(console_);
  }
  SingleColumn(const SingleColumn&) = delete;
  SingleColumn& operator=(const SingleColumn&) = delete;

  Model& model() { return *model_; }
  SubsurfaceState& vss() { return model_->subsurface; }
  int kb() const { return model_->subsurface.LAYER_BOTTOM_CELL(1, 1); }

  // One step with rain `rain` (m/s) on the ground: the soil takes what it can of the
  // ponded water and the rain; the rest stays ponded.
  void step(double rain) {
    Model& m = *model_;
    m.surface.PNETTO(1) = rain;
    m.surface.HRF(1) = COLUMN_GROUND + ponded_;
    VSS_TIME_STEP(m.frame, m.surface, m.subsurface, m.io);
    const double dt = m.frame.DTUZ;
    rain_ += rain * dt;
    ponded_ += (rain + m.subsurface.INFILTRATION_RATE(1)) * dt;
    base_in_ += m.subsurface.COLUMN_BASE_FLOW(1) * dt;
    for (int k = kb(); k <= m.subsurface.LL; ++k) {
      lateral_in_ += m.subsurface.CELL_LATERAL_FLOW(1, k, 1) * dt / m.frame.AREA(1);
    }
    m.frame.UZNOW += m.frame.UZNEXT;
  }

  // Water per unit area (m): in the cells, ponded, and what came in over the steps.
  double storage() const {
    const SubsurfaceState& v = model_->subsurface;
    double w = 0.0;
    for (int k = kb(); k <= v.LL; ++k) w += v.CELL_THICKNESS(k, 1) * v.CELL_THETA(k, 1);
    return w;
  }
  double stored_change() const { return storage() - storage_at_start_; }
  // The water the soil tables give at the current heads (per unit area, m), against
  // which storage() (booked from the flows) shows how far the heads are from solving
  // the step's balance.
  double water_at_heads() {
    SubsurfaceState& v = model_->subsurface;
    double w = 0.0;
    for (int k = kb(); k <= v.LL; ++k) {
      int index = v.CELL_TABLE_INDEX(k, 1);
      const CellTableValues p = interpolate_soil_tables(v, model_->io, 1, k, v.CELL_SOIL_TYPE(k, 1),
                                                        v.vspsi(k, 1), index);
      w += v.CELL_THICKNESS(k, 1) * p.theta;
    }
    return w;
  }
  double ponded() const { return ponded_; }
  double rain() const { return rain_; }
  double base_inflow() const { return base_in_; }
  double lateral_inflow() const { return lateral_in_; }

  std::string print_text() {
    model_->io.units.flush_all();
    return read_file(dir_.file("print.txt"));
  }

 private:
  void open_input(int unit, const std::string& name, const std::string& text) {
    model_->io.units.open(unit, dir_.write(name, text), UnitDirection::Input);
  }

  TempDir dir_;
  std::FILE* console_;
  std::unique_ptr<Model> model_;
  double storage_at_start_ = 0.0, ponded_ = 0.0, rain_ = 0.0, base_in_ = 0.0, lateral_in_ = 0.0;
};

}  // namespace quendal::testing
