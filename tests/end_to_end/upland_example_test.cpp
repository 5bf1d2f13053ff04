// The upland example (examples/upland) run once, to its end, in this process: its
// outputs and what its set-up built are checked against the data files and physics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "end_to_end/example_checks.h"
#include "example_copy.h"
#include "include/model.h"
#include "output/visualisation/hdf5_file.h"
#include "subsurface/soil_tables.h"

namespace quendal::testing {
namespace {

// Grid squares of the 4 x 7 catchment: grid column i (2 to 5), row j (2 to 8); the
// links come first (1 to 7, south to north along the west faces of column 4).
int square(int i, int j) { return 8 + 4 * (j - 2) + (i - 2); }
constexpr int WEIR_LINK = 4, OUTLET_LINK = 1;

// A record of an item: its times and its values, place by place, in the file's order.
struct Item {
  std::vector<double> time, value, element;
  std::size_t per_time() const { return value.size() / time.size(); }
};
Item item(const Hdf5File& f, const std::string& group) {
  Item r{f.values(group + "/time"), f.values(group + "/value"), {}};
  if (f.exists(group + "/element")) r.element = f.values(group + "/element");
  return r;
}

// The rating of the weir: the levels and the two discharge columns of upland_zq.txt.
struct Rating {
  std::vector<double> level, q[2];
};
Rating read_rating(const std::string& text) {
  Rating r;
  const std::vector<std::string> lines = lines_of(text);
  std::size_t k = 0;
  while (k < lines.size() && lines[k].rfind("Z ", 0) != 0) ++k;
  for (++k; k < lines.size(); ++k) {
    std::istringstream row(lines[k]);
    double z, q2, q3;
    if (!(row >> z >> q2 >> q3)) break;
    r.level.push_back(z);
    r.q[0].push_back(q2);
    r.q[1].push_back(q3);
  }
  return r;
}

// The operating column after each lookup (unit 778): a line "UZNOW, Zu, Qd," followed by
// one "row, zcol," line.
std::vector<std::pair<double, int>> operating_columns(const std::string& text) {
  std::vector<std::pair<double, int>> columns;
  double uznow = -1.0;
  for (const std::string& line : lines_of(text)) {
    std::istringstream in(line);
    std::string a, b;
    if (!(in >> a >> b)) continue;
    if (a.find('.') != std::string::npos) {
      uznow = std::stod(a);
    } else if (uznow >= 0.0 && a.back() == ',' && std::isdigit(static_cast<unsigned char>(a[0]))) {
      columns.emplace_back(uznow, std::stoi(b));
    }
  }
  return columns;
}

// The heads of each column element in the vsi file: a heading, then per element its
// number on a record and its heads from its bottom cell up.
std::map<int, std::vector<double>> vsi_heads(const std::string& text) {
  std::map<int, std::vector<double>> heads;
  std::vector<std::string> lines = lines_of(text);
  int element = 0;
  for (std::size_t k = 1; k < lines.size(); ++k) {
    std::istringstream in(lines[k]);
    std::vector<double> values;
    for (double v; in >> v;) values.push_back(v);
    if (values.size() == 1 && lines[k].find('.') == std::string::npos) {
      element = static_cast<int>(values[0]);
    } else {
      heads[element].insert(heads[element].end(), values.begin(), values.end());
    }
  }
  return heads;
}

TEST(UplandExample, RunsEveryPathItsDataAsk) {
  ExampleCopy copy("upland");
  const InProcessRun run(copy);
  const Model& m = run.model;
  const FrameState& frame = m.frame;
  const SubsurfaceState& v = m.subsurface;
  ASSERT_EQ(run.status, 0) << copy.print();

  // 1082: the peat's conductivity column is read but not used (its relative conductivity
  // is Se squared). 2050 and 2003: the sediment interface check, run every third step,
  // finds canopy drainage above the net rainfall while the thawing pack takes the rain
  // and the drip under the heather and grass.
  expect_normal_end(copy, run.status, run.console.get(), {"output_upland_print.txt", "output_upland_sediment_print.txt"},
                    {1082, 2050, 2003});
  EXPECT_EQ(report_counts(copy.print())[1082], 1);
  EXPECT_GE(report_counts(copy.output("output_upland_sediment_print.txt"))[2050], 1)
      << "the interface check ran";
  // The console names every number with the count of its reports in the file that holds
  // them, and their total, before it says that the run completed.
  {
    const std::string console = read_file(copy.dir.file("console.txt"));
    const std::size_t completion = console.rfind("\n Normal completion of QUENDAL run\n");
    ASSERT_NE(completion, std::string::npos) << console;
    std::set<int> numbers;
    int total = 0;
    for (const std::string file : {"output_upland_print.txt", "output_upland_sediment_print.txt"}) {
      for (const auto& [number, count] : report_counts(copy.output(file))) {
        char line[512];
        std::snprintf(line, sizeof line, " No. of occurrences of error number %04d is%6d in %s/%s\n",
                      number, count, copy.root.c_str(), file.c_str());
        EXPECT_LT(console.find(line), completion) << line << console.substr(completion - 400);
        numbers.insert(number);
        total += count;
      }
    }
    EXPECT_EQ(numbers, (std::set<int>{1082, 2003, 2050}));
    EXPECT_EQ(count_of(console, " No. of occurrences of error number"), 3);
    char line[64];
    std::snprintf(line, sizeof line, " Recorded error count is%7d\n", total);
    EXPECT_LT(console.find(line), completion) << console.substr(completion - 400);
  }
  const std::vector<std::string> items =
      expect_visualisation_file(copy, "upland_vis_plan.txt", "output_upland_vis.h5");
  ASSERT_EQ(items.size(), 28u);
  std::printf("[ upland ] totals records closed: %d\n",
              expect_totals_close(copy, "output_upland_totals.csv"));

  // Every element closes its water balance (levels near 200 m carry some 1e-14 m per
  // step; a few hundred steps).
  for (int e = 1; e <= frame.NEL; ++e) {
    EXPECT_LT(std::fabs(m.output.ELEMENT_BALANCE_ERROR(e)), 1e-9) << "element " << e;
  }

  // --- set-up -------------------------------------------------------------------------
  // Aquifer connections given in the data file: each west hillside's till (layer 2)
  // faces the valley's till and gravel (layers 2 to 4, coded 2 x 21 + 4), the silt band
  // between them faces nothing; the mudstone pairs by the default rule.
  // The east side by the default rule alone: the valley's peat finds no peat on the
  // hillside and is passed over, the walk finds the till below it (coded 2 x 22).
  for (int j = 2; j <= 8; ++j) {
    SCOPED_TRACE("row " + std::to_string(j));
    const int west = square(2, j), valley_w = square(3, j), valley_e = square(4, j),
              east = square(5, j);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(west, 2, 1), 2 * 21 + 4);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(valley_w, 2, 3), 2 * 22);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(valley_w, 3, 3), 0);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(valley_w, 4, 3), 2 * 22);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(west, 1, 1), 1 * 22);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(valley_e, 5, 1), 0);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(valley_e, 4, 1), 0);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(valley_e, 2, 1), 2 * 22);
    EXPECT_EQ(v.LAYER_FACE_CONNECTION(east, 2, 3), 2 * 22);
    // The west till's one cell (0.9 m under cells of 1 m) cannot face the valley's two
    // single-cell layers: the first pass gives it two, the second connects them.
    EXPECT_EQ(v.LAYER_CELL_COUNT(west, 2), 2);
    EXPECT_EQ(v.LAYER_CELL_COUNT(east, 2), 0);
  }
  EXPECT_EQ(v.VSS_RENUMBER_ATTEMPTS, 2);

  // The ZQ table echoed to unit 777 as it stands in the table file.
  const Rating rating = read_rating(copy.output("upland_zq.txt"));
  ASSERT_EQ(rating.level.size(), 23u);
  ASSERT_EQ(m.surface.ZQ_TABLE_COUNT, 1);
  const std::string echo = copy.output("zq_echo_777.txt");
  EXPECT_NE(echo.find(" ZQTableLink  = 4\n ZQTableFace  = 4\n ZQTableOpHour= 21\n"), std::string::npos)
      << echo;
  for (std::size_t r = 0; r < rating.level.size(); ++r) {
    char row[64];
    std::snprintf(row, sizeof row, "%12.3f%12.3f%12.3f\n", rating.level[r], rating.q[0][r],
                  rating.q[1][r]);
    EXPECT_NE(echo.find(row), std::string::npos) << row;
  }

  Hdf5File vis(copy.root + "/output_upland_vis.h5");
  const auto group = [&](const std::string& name) {
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (items[k] == name) {
        char g[64];
        std::snprintf(g, sizeof g, "/items/%03zu_%s", k + 1, name.c_str());
        return std::string(g);
      }
    }
    return std::string();
  };

  // Initial heads from the vsi file: the first record of the valley's heads, before any
  // step (float32 of values written with three decimals).
  const std::map<int, std::vector<double>> vsi = vsi_heads(copy.output("upland_vsi.txt"));
  const Item psi = item(vis, group("psi")), theta = item(vis, group("theta"));
  const Item soil = item(vis, "/items/017_soil_typ");
  ASSERT_EQ(psi.time.front(), 0.0);
  const std::size_t places = psi.element.size(), layers = psi.per_time() / places;
  ASSERT_EQ(layers, 6u);
  int compared = 0;
  for (std::size_t p = 0; p < places; ++p) {
    const int e = static_cast<int>(psi.element[p]);
    if (e == 0) continue;
    const int kb = v.LAYER_BOTTOM_CELL(e, 1);
    ASSERT_EQ(vsi.at(e).size(), static_cast<std::size_t>(v.LL - kb + 1)) << e;
    for (std::size_t l = 0; l < layers; ++l) {
      const double head = vsi.at(e)[static_cast<std::size_t>(v.LL - static_cast<int>(l) - kb)];
      EXPECT_NEAR(psi.value[p * layers + l], head, 1e-6 + 1e-7 * std::fabs(head)) << e << " " << l;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 14 * 6);

  // The tabulated peat (soil 1) read from the data file: a cell's water content, at a
  // head within the table's rows (below -0.01 m), lies between theta sat times the fractions of the two rows whose heads
  // bracket its head (the spline through the rows, tabulated on the head grid and
  // interpolated linearly, stays within them where the rows fall smoothly). The column
  // solver books the water of heads converged to 1e-4 m, and the peat's water content
  // changes by at most 0.4 per m of head (0.04 of 0.88 between its first rows, 0.09 m
  // apart): 5e-5 of water content. The table itself is a straight line between its
  // grid points, which runs above the spline just drier than a row by the line's own
  // error (curvature x spacing squared / 8: up to 2.3e-4 in the few millimetres below
  // -3 m), so the bracket allows that; the booked water is held to the table at the
  // cell's head to the 5e-5.
  ASSERT_EQ(v.SOIL_FUNCTION_TYPE(1), 2);
  constexpr double CHORD = 2.5e-4;
  RunIo lookup;
  const std::vector<std::pair<double, double>> rows = {
      {0.0, 1.0},      {-0.01, 1.00},  {-0.1, 0.96},  {-0.3, 0.90},  {-1.0, 0.80},
      {-3.0, 0.68},    {-10.0, 0.57},  {-30.0, 0.48}, {-100.0, 0.40}, {-300.0, 0.34},
      {-1000.0, 0.29}, {-3000.0, 0.25}, {-10000.0, 0.22}};
  const double thsat = v.THSAT(1);
  int peat_cells = 0;
  for (std::size_t t = 0; t < psi.time.size(); ++t) {
    if (psi.time[t] == 0.0) continue;  // the moisture is set by the first step
    for (std::size_t c = 0; c < psi.per_time(); ++c) {
      const double h = psi.value[t * psi.per_time() + c];
      if (soil.value[c] != 1.0 || !(h < -0.01)) continue;
      std::size_t r = 1;
      while (r + 1 < rows.size() && rows[r].first >= h) ++r;
      const double w = theta.value[t * theta.per_time() + c];
      EXPECT_GE(w, thsat * rows[r].second - 5e-5) << "head " << h;
      EXPECT_LE(w, thsat * rows[r - 1].second + 5e-5 + CHORD) << "head " << h;
      int interval = 0;
      const double table = interpolate_soil_tables(v, lookup, 0, 0, 1, h, interval).theta;
      EXPECT_NEAR(w, table, 5e-5) << "head " << h;
      ++peat_cells;
    }
  }
  EXPECT_GT(peat_cells, 100);

  // Given inflow through the mudstone of each north-edge square: at the end, the last
  // series value (6e-5 m3/s) spread over the layer's cells, all of it.
  for (int e : {square(2, 8), square(3, 8), square(4, 8)}) {
    double inflow = 0.0;
    for (int k = v.LAYER_BOTTOM_CELL(e, 1); k < v.LAYER_BOTTOM_CELL(e, 2); ++k) {
      inflow += v.CELL_LATERAL_FLOW(2, k, e);
    }
    EXPECT_NEAR(inflow, 6.0e-5, 1e-15) << e;
  }
  // Base boundaries: the hillsides leak the given 2e-9 m/s; the two squares above the
  // outlet take Darcy's flow from the head 202.6 m through half their bottom cell (booked
  // with the heads of the last Newton iteration, within the 1e-4 m the iteration ends at).
  for (int j = 2; j <= 8; ++j) {
    EXPECT_EQ(v.COLUMN_BASE_FLOW(square(2, j)), -2e-9);
    EXPECT_EQ(v.COLUMN_BASE_FLOW(square(5, j)), -2e-9);
  }
  for (int e : {square(3, 2), square(4, 2)}) {
    const int kb = v.LAYER_BOTTOM_CELL(e, 1);
    const double dz = v.CELL_THICKNESS(kb, e);
    const double head = v.vspsi(kb, e) + v.CELL_ELEVATION(kb, e);
    const double conductance = v.SOIL_KZ(3) / (0.5 * dz);
    EXPECT_NEAR(v.COLUMN_BASE_FLOW(e), conductance * (202.6 - head), conductance * 1e-4) << e;
  }

  // --- the step paths -----------------------------------------------------------------
  // Rain from its own file: each totals record holds the hourly depths of upland_prd.txt
  // up to its time (every element is under the one rain station).
  {
    std::vector<double> hourly;
    for (const std::string& line : lines_of(copy.output("upland_prd.txt"))) {
      if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) hourly.push_back(std::stod(line));
    }
    int records = 0;
    for (const std::string& line : lines_of(copy.output("output_upland_totals.csv"))) {
      double hours = 0.0, rain = 0.0;
      if (std::sscanf(line.c_str(), " %lf, %lf", &hours, &rain) != 2) continue;
      double expected = 0.0;
      for (std::size_t h = 0; h < hourly.size() && h < hours; ++h) {
        expected += hourly[h] * std::min(1.0, hours - static_cast<double>(h));
      }
      EXPECT_NEAR(rain, expected, 0.0005) << hours;  // printed to 0.001 mm
      ++records;
    }
    EXPECT_GE(records, 3);
  }

  // Snow by the energy budget: the 3 mm of the first morning's frost fall as 20 mm of
  // snow (specific gravity 0.15); the ground's 2 W/m2 melts at most 0.022 mm of water an
  // hour (7200 J/m2 over 334 kJ/kg) while it falls, and the storm's warm rain melts the
  // rest: no snow is left at the end.
  {
    const Item snow = item(vis, group("snow_dep"));
    double most = 0.0, at = 0.0;
    for (std::size_t t = 0; t < snow.time.size(); ++t) {
      for (std::size_t c = 0; c < snow.per_time(); ++c) {
        const double d = snow.value[t * snow.per_time() + c];
        if (d > most) most = d, at = snow.time[t];
      }
    }
    EXPECT_LE(most * 1000.0 * 0.15, 3.0 + 1e-5);
    EXPECT_GE(most * 1000.0 * 0.15, 3.0 - 9 * 0.022);
    EXPECT_LT(at, 12.0);
    for (int e = frame.NLF + 1; e <= frame.NEL; ++e) EXPECT_EQ(m.surface.SD(e), 0.0) << e;
  }

  // The weir between links 4 and 3 passes its table's discharges. Each evaluation (unit
  // 779: pool level, discharge, slope) gives the operating column's discharge of the
  // first row at or above the pool's level and the column's slope over that row
  // interval; the column is the one the lookup (unit 778) had chosen, the board drawn
  // (column 3) from the storm's night to the next morning. Over the step the flow moves
  // along that slope with the pool's level, so the step's end flow stays within the
  // table's discharges over the levels the pool passed through (a row's margin for the
  // level the outflow limiter may move).
  {
    const std::vector<std::pair<double, int>> columns =
        operating_columns(copy.output("zq_lookup_778.txt"));
    std::vector<std::vector<double>> evaluations;
    for (const std::string& line : lines_of(copy.output("zq_flow_779.txt"))) {
      std::istringstream in(line);
      double hu, q, dq;
      if (in >> hu >> q >> dq) evaluations.push_back({hu, q, dq});
    }
    const Item flow = item(vis, group("ovr_flow")), pool = item(vis, group("srf_dep"));
    ASSERT_EQ(evaluations.size(), columns.size());
    ASSERT_EQ(evaluations.size() + 1, flow.time.size());  // one per step, and time 0
    const auto row_of = [&](double h) {  // the first row at or above h (0-based)
      std::size_t r = 0;
      while (r + 1 < rating.level.size() && rating.level[r] < h) ++r;
      return r;
    };
    int drawn = 0;
    for (std::size_t s = 0; s < evaluations.size(); ++s) {
      const double hu = evaluations[s][0];
      const int column = columns[s].second;
      ASSERT_TRUE(column == 2 || column == 3);
      drawn += column == 3;
      const std::vector<double>& q = rating.q[column - 2];
      const std::size_t r = row_of(hu);
      const bool inside = hu > rating.level.front() && hu <= rating.level.back();
      const double slope =
          inside ? (q[r] - q[r - 1]) / (rating.level[r] - rating.level[r - 1]) : 0.0;
      SCOPED_TRACE("hour " + std::to_string(columns[s].first));
      EXPECT_NEAR(evaluations[s][1], q[r], 1e-12);
      EXPECT_NEAR(evaluations[s][2], slope, 1e-9 * std::max(slope, 1.0));
      // The step's end: the flow out of the pool over face 4 of link 4 (the third of the
      // faces 2, 1, 4, 3 of the second listed element).
      const double end_level = frame.ZGRUND(WEIR_LINK) + pool.value[s + 1];
      const double out = -flow.value[(s + 1) * 8 + 4 + 2];
      const std::size_t lo = row_of(std::min(hu, end_level)), hi = row_of(std::max(hu, end_level));
      EXPECT_GE(out, q[lo > 0 ? lo - 1 : 0] - 1e-6) << "level " << end_level;  // float32
      EXPECT_LE(out, q[std::min(hi + 1, q.size() - 1)] + 1e-6) << "level " << end_level;
    }
    EXPECT_GT(drawn, 10);
    EXPECT_LT(drawn, static_cast<int>(evaluations.size()));
  }

  // Yalin's capacity on the slopes: silt leaves the squares over their faces in the storm
  // (no sediment leaves a square whose capacity is 0).
  {
    ASSERT_EQ(m.sediment.SY_OVERLAND_CAPACITY_SWITCH, 0);
    const Item silt = item(vis, group("s_dis"));  // the first s_dis item: the outlet link
    const Item slopes = item(vis, "/items/006_s_dis");
    double most = 0.0;
    for (std::size_t t = 0; t < slopes.time.size(); ++t) {
      if (slopes.time[t] < 22.0 || slopes.time[t] > 34.0) continue;
      for (std::size_t c = 0; c < slopes.per_time(); ++c) {
        const double s = slopes.value[t * slopes.per_time() + c];
        if (std::isfinite(s)) most = std::max(most, std::fabs(s));
      }
    }
    EXPECT_GT(most, 0.0);
    EXPECT_FALSE(silt.time.empty());
    std::printf("[ upland ] largest silt discharge over a square's face in the storm: %.4f kg/s\n",
                most);
  }

  // The hydrograph: base flow before the storm, its peak, and the recession after it.
  {
    double peak = 0.0, peak_at = 0.0, before = 0.0, end = 0.0;
    for (const std::string& line : lines_of(copy.output("output_upland_dated_discharge.txt"))) {
      char stamp[32];
      double hours = 0.0, q = 0.0;
      if (std::sscanf(line.c_str(), "%31s %lf %lf", stamp, &hours, &q) != 3) continue;
      if (q > peak) peak = q, peak_at = hours;
      if (hours <= 18.0) before = q;
      end = q;
    }
    EXPECT_GT(peak, 5.0 * before);
    EXPECT_LT(end, 0.25 * peak);
    std::printf("[ upland ] outlet: %.5f m3/s at hour 18, peak %.5f m3/s at hour %.2f, %.5f m3/s "
                "at the end; %ld steps, LL %d\n", before, peak, peak_at, end, frame.STEP_COUNT, v.LL);
  }
}

}  // namespace
}  // namespace quendal::testing
