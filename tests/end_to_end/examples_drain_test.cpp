// The example catchments drain. Water on a square whose ground lies below a link's
// bank-full level (bed + the height of its section) reaches the link only over the bank
// top, as over a weir, and what stands below the top stays: with every square beside its
// channels below the bank tops, the example once ended its ten days with 14.5 mm on the
// land surface, most of it 0.4 to 0.7 m deep on the two squares beside the outlet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "example_copy.h"
#include "include/model.h"
#include "output/visualisation/hdf5_file.h"

namespace quendal::testing {
namespace {

// Every grid square or bank element beside a link stands at or above the link's bank-full
// level, and every square beside a bank at or above the bank: surface water can run into
// the channels. Returns the number of faces checked.
int expect_ground_at_or_above_bank_tops(const Model& model) {
  const FrameState& frame = model.frame;
  int faces = 0;
  for (int e = frame.NLF + 1; e <= frame.NEL; ++e) {
    for (int f = 1; f <= 4; ++f) {
      const int g = frame.ICMREF(e, f, 2);
      if (g >= 1 && g <= frame.NLF) {
        EXPECT_GE(frame.ZGRUND(e), model.surface.ZBFULL(g)) << "element " << e << " beside link " << g;
        ++faces;
      } else if (g > frame.NLF && frame.ICMREF(e, 1, 1) == KIND_GRID_SQUARE &&
                 frame.ICMREF(g, 1, 1) != KIND_GRID_SQUARE) {
        EXPECT_GE(frame.ZGRUND(e), frame.ZGRUND(g)) << "square " << e << " beside bank " << g;
        ++faces;
      }
    }
  }
  return faces;
}

TEST(ExamplesDrain, EveryGroundBesideAChannelStandsAtOrAboveItsBankTop) {
  // The set-up decides it; an hour of each run is enough.
  const struct {
    const char* name;
    const char* end;
    const char* first_hour;
  } cases[] = {{"example", "1990 1 11 0 0", "1990 1 1 1 0"},
               {"banks", "1990 1 11 0 0", "1990 1 1 1 0"},
               {"contaminant", "1990 1 11 0 0", "1990 1 1 1 0"},
               {"upland", "1991 3 4 0 0", "1991 3 1 1 0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExampleCopy copy(c.name);
    copy.replace(std::string(c.name) + "_frame.txt", c.end, c.first_hour);
    const InProcessRun run(copy);
    ASSERT_EQ(run.status, 0) << copy.print();
    EXPECT_GT(expect_ground_at_or_above_bank_tops(run.model), 0);
  }
}

// The land-surface storage of each recorded hour, mm over the catchment: the surface water
// depth of the plan's hourly srf_dep item (squares, and with banks the banks beside them)
// times each element's area.
std::vector<double> land_surface_storage(const std::string& vis_file, const Model& model,
                                         std::vector<double>& hours) {
  const Hdf5File vis(vis_file);
  std::string group;
  for (int k = 1; k <= 99 && group.empty(); ++k) {
    char g[40];
    std::snprintf(g, sizeof g, "/items/%03d_srf_dep", k);
    if (vis.exists(g)) group = g;
  }
  EXPECT_FALSE(group.empty()) << "the plan records srf_dep";
  if (group.empty()) return {};
  hours = vis.values(group + "/time");
  const std::vector<double> depth = vis.values(group + "/value");      // (time, y, x)
  const std::vector<double> square = vis.values(group + "/element");  // (y, x), 0 outside
  std::vector<double> bank, bank_depth;
  if (vis.exists(group + "/bank")) {
    bank = vis.values(group + "/bank");
    bank_depth = vis.values(group + "/bank_value");  // (time, bank)
  }
  std::vector<double> storage;
  for (std::size_t t = 0; t < hours.size(); ++t) {
    double volume = 0.0;
    for (std::size_t c = 0; c < square.size(); ++c) {
      if (square[c] > 0) volume += depth[t * square.size() + c] * model.frame.AREA(static_cast<int>(square[c]));
    }
    for (std::size_t b = 0; b < bank.size(); ++b) {
      volume += bank_depth[t * bank.size() + b] * model.frame.AREA(static_cast<int>(bank[b]));
    }
    storage.push_back(volume / model.frame.TOTAL_CATCHMENT_AREA * 1000.0);
  }
  return storage;
}

// The hours at whose end rain (or snow) fell: the met file's hourly records, the rainfall
// rate in columns 13-24 of each record's first line.
std::vector<double> wet_hours(const std::string& met) {
  std::vector<double> hours;
  const std::vector<std::string> lines = lines_of(met);
  for (std::size_t n = 1; n + 1 < lines.size(); n += 2) {
    if (std::stod(lines[n].substr(12, 12)) > 0.0) hours.push_back(static_cast<double>((n + 1) / 2));
  }
  return hours;
}

TEST(ExamplesDrain, StormWaterLeavesTheLandSurfaceWithinTwoDays) {
  // The contaminant example runs the water of the banks example with its aquifer at
  // 0.1 m/day (contaminants change no water result): the banks example with that aquifer
  // stands for it.
  const struct {
    const char* name;
    const char* aquifer;  // soil 3 of the subsurface data, or "" as shipped
  } cases[] = {{"example", ""}, {"banks", ""}, {"banks", "0.1 0.1 0.05 0.30"}};
  for (const auto& c : cases) {
    const char* name = c.name;
    SCOPED_TRACE(std::string(name) + " " + c.aquifer);
    ExampleCopy copy(name);
    if (*c.aquifer) copy.replace("banks_vss.txt", "2.0 2.0 1.0 0.30", c.aquifer);
    const InProcessRun run(copy);
    ASSERT_EQ(run.status, 0) << copy.print();
    std::vector<double> hours;
    const std::vector<double> storage =
        land_surface_storage(copy.root + "/output_" + std::string(name) + "_vis.h5", run.model, hours);
    const std::vector<double> wet = wet_hours(copy.output(std::string(name) + "_met.txt"));
    ASSERT_FALSE(storage.empty());
    ASSERT_FALSE(wet.empty());
    // The storms do wet the land surface: the check below is not an empty one.
    EXPECT_GT(*std::max_element(storage.begin(), storage.end()), 1.0);
    // Two days after the rain last fell, less than 1 mm is left on the land surface (the
    // depths are stored as float32, good to 1e-7 of a metre's depth); so at the end.
    for (std::size_t t = 0; t < hours.size(); ++t) {
      double last_rain = -1e30;
      for (double h : wet) {
        if (h <= hours[t] + 1e-9) last_rain = h;
      }
      if (hours[t] - last_rain >= 48.0) {
        EXPECT_LT(storage[t], 1.0) << "hour " << hours[t];
      }
    }
    EXPECT_LT(storage.back(), 1.0);
    // The totals file's last record agrees (0.001 mm printed; float32 depths).
    const std::vector<std::string> totals = lines_of(copy.output("output_" + std::string(name) + "_totals.csv"));
    const std::string last = totals.back();
    std::size_t at = 0;
    for (int comma = 0; comma < 10; ++comma) at = last.find(',', at) + 1;
    EXPECT_NEAR(std::stod(last.substr(at)), storage.back(), 0.001);
  }
}

}  // namespace
}  // namespace quendal::testing
