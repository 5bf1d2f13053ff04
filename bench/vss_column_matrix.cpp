// Single soil columns that test the column solver where soils are dry and water tables
// deep, each run through the subsurface step with its ponded water kept (see
// tests/subsurface/single_column.h):
//
// 1. Infiltration into a dry van Genuchten soil (theta 0.40/0.05, n 2, alpha 0.01 /cm,
//    Ks 1 m/day) 1 m deep in 2.5 cm cells, at -10 m, its top cell held at -0.75 m by a
//    given-head boundary on a layer of large lateral conductivity, its base held at
//    -10 m: runs of 1, 6, 12 and 24 h, each in one step and in hourly steps, against the
//    same run with steps 16 times shorter (cumulative inflow through the boundaries).
// 2. A column of 1 m cells over a water table 45 m down, 24 h of rain: three soils, five
//    rain rates, three step lengths (45 runs). The water booked (stored change and ponded
//    water) against the rain.
// 3. A 10 m sand column whose base head is raised 1 m above its water table (at the base
//    or below it), in 1 m and 0.5 m cells, 48 h in steps of 1, 6 and 24 h.
//
// Per run: how it ended (a fatal number, or "ok"), the reports of 1036 and 1039, the mean
// and largest Newton iterations of a column solve, the Picard rows and limited steps, and
// the balance. Measures; asserts nothing.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "services/console.h"
#include "services/stops.h"
#include "subsurface/single_column.h"

namespace quendal {
namespace {

using testing::ColumnSoil;
using testing::ColumnSpec;
using testing::SingleColumn;
using testing::example_loam;
using testing::sand;
using testing::unit_soil;

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The fatal report's number, or 0.
int fatal_number(const std::string& text) {
  const std::size_t at = text.find("FATAL ERROR ");
  return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + 12);
}

struct Outcome {
  int fatal = 0, r1036 = 0, r1039 = 0;
  double newton_per_solve = 0.0;
  long solves = 0, picard_rows = 0, limited_steps = 0;
  double top_head = 0.0;
  double inflow = 0.0;         // m, through the boundaries
  double lateral = 0.0;        // m, through the given-head face
  double booked_error = 0.0;   // m: rain - stored change - ponded + boundary inflow
  double unsolved = 0.0;       // m: the tables' water at the final heads less the booked
};

Outcome run(const ColumnSpec& spec, double hours, double rain) {
  SingleColumn c(spec);
  Outcome o;
  const int steps = static_cast<int>(std::lround(hours / spec.step_hours));
  try {
    for (int i = 0; i < steps; ++i) c.step(rain);
  } catch (const FatalError&) {
  }
  const std::string text = c.print_text();
  o.fatal = fatal_number(text);
  o.r1036 = count_of(text, "ERROR 1036");
  o.r1039 = count_of(text, "ERROR 1039");
  const SubsurfaceState& v = c.vss();
  o.solves = v.column_solves;
  o.newton_per_solve = v.column_solves > 0 ? double(v.newton_iterations) / double(v.column_solves) : 0;
  o.picard_rows = v.picard_rows;
  o.limited_steps = v.limited_steps;
  o.top_head = v.vspsi(v.LL, 1);
  o.inflow = c.base_inflow() + c.lateral_inflow();
  o.lateral = c.lateral_inflow();
  o.booked_error = c.rain() + o.inflow - c.stored_change() - c.ponded();
  if (o.fatal == 0) o.unsolved = c.water_at_heads() - c.storage();
  return o;
}

void print_outcome(const char* label, const Outcome& o) {
  char end[16];
  if (o.fatal != 0) {
    std::snprintf(end, sizeof end, "%d", o.fatal);
  } else {
    std::snprintf(end, sizeof end, "ok");
  }
  std::printf("%-34s %5s %5d %5d %7.2f %8ld %8ld %8ld %11.4g %11.3e %11.3e\n", label, end, o.r1036,
              o.r1039, o.newton_per_solve, o.solves, o.picard_rows, o.limited_steps, o.top_head,
              o.booked_error * 1000.0, o.unsolved * 1000.0);
}

void heading() {
  std::printf("%-34s %5s %5s %5s %7s %8s %8s %8s %11s %11s %11s\n", "run", "end", "1036", "1039",
              "newton", "solves", "picard", "limited", "top psi m", "booked mm", "unsolved mm");
}


void head_held_column() {
  std::printf("\n1. Dry van Genuchten column, top cell held at -0.75 m, base at -10 m\n");
  std::printf("%6s %6s %12s %12s %8s %12s %12s %8s  %s\n", "hours", "step", "net in mm",
              "16x finer", "diff %", "face in mm", "16x finer", "diff %",
              "end 1036 1039 newton picard limited");
  for (double hours : {1.0, 6.0, 12.0, 24.0}) {
    std::vector<double> steps = {hours};
    if (hours > 1.0) steps.push_back(1.0);
    for (double step : steps) {
      ColumnSpec s = testing::head_held_column(step);
      const Outcome coarse = run(s, hours, 0.0);
      s.step_hours = step / 16.0;
      const Outcome fine = run(s, hours, 0.0);
      std::printf("%6.0f %6.2f %12.4f %12.4f %8.3f %12.4f %12.4f %8.3f  %s %d %d %.2f %ld %ld\n",
                  hours, step, coarse.inflow * 1000, fine.inflow * 1000,
                  100.0 * (coarse.inflow - fine.inflow) / fine.inflow, coarse.lateral * 1000,
                  fine.lateral * 1000, 100.0 * (coarse.lateral - fine.lateral) / fine.lateral,
                  coarse.fatal ? std::to_string(coarse.fatal).c_str() : "ok", coarse.r1036,
                  coarse.r1039, coarse.newton_per_solve, coarse.picard_rows, coarse.limited_steps);
      if (fine.fatal || fine.r1036 || fine.r1039) {
        std::printf("       the finer run: end %d, 1036 %d, 1039 %d\n", fine.fatal, fine.r1036,
                    fine.r1039);
      }
    }
  }
}

void deep_water_table() {
  std::printf("\n2. 48 m column of 1 m cells, water table 45 m down, 24 h of rain\n");
  heading();
  struct Soil {
    const char* name;
    ColumnSoil soil;
  };
  const Soil soils[] = {{"unit", unit_soil()}, {"loam", example_loam()}, {"sand", sand()}};
  int completed = 0, with_1036 = 0;
  double worst_booked = 0.0, worst_unsolved = 0.0;
  for (const Soil& soil : soils) {
    for (double mm : {1.0, 5.0, 20.0, 50.0, 100.0}) {
      for (double step : {0.25, 1.0, 2.0}) {
        const ColumnSpec s = testing::deep_water_table(soil.soil, step);
        const Outcome o = run(s, 24.0, mm / 1000.0 / 3600.0);
        char label[64];
        std::snprintf(label, sizeof label, "%s %3.0f mm/h step %.2f h", soil.name, mm, step);
        print_outcome(label, o);
        completed += o.fatal == 0;
        with_1036 += o.r1036 > 0;
        worst_booked = std::max(worst_booked, std::fabs(o.booked_error));
        worst_unsolved = std::max(worst_unsolved, std::fabs(o.unsolved));
      }
    }
  }
  std::printf("completed %d of 45, with 1036 %d; largest |rain - booked| %.3e mm, largest"
              " |unsolved| %.3e mm\n",
              completed, with_1036, worst_booked * 1000.0, worst_unsolved * 1000.0);
}

void raised_base() {
  std::printf("\n3. Sand column 10 m deep, base head 1 m above its water table, 48 h\n");
  heading();
  for (double table : {10.0, 10.5, 11.0, 12.0}) {
    for (double cell : {1.0, 0.5}) {
      for (double step : {1.0, 6.0, 24.0}) {
        const Outcome o = run(testing::raised_base(table, cell, step), 48.0, 0.0);
        char label[64];
        std::snprintf(label, sizeof label, "table %.1f m, cells %.1f m, step %2.0f h", table, cell,
                      step);
        print_outcome(label, o);
      }
    }
  }
}

}  // namespace
}  // namespace quendal

int main() {
  quendal::set_flush_to_zero();
  quendal::head_held_column();
  quendal::deep_water_table();
  quendal::raised_base();
  return 0;
}
