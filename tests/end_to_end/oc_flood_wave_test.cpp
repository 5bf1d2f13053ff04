// The example catchment through the built program: the storm of the third day (rain
// from hour 50 to hour 60 of the run, peaking near 5 mm/h) reaches the outlet as a
// flood wave that the OC result print shows rising and receding.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "example_copy.h"
#include "test_support.h"

namespace quendal {
namespace {

// The discharge through the outlet weir, face 1 of link 11, from each block of OC
// results in the print file: QOC(11, 1) is the first value after the link number.
std::vector<double> outlet_flows(const std::string& print) {
  std::vector<double> flows;
  std::istringstream in(print);
  std::string line;
  bool in_block = false;
  while (std::getline(in, line)) {
    if (line.starts_with("---- OC MODULE  RESULTS AFTER")) in_block = true;
    if (in_block && line.starts_with("      11 ")) {
      std::istringstream values(line);
      int link = 0;
      double q = 0.0;
      values >> link >> q;
      flows.push_back(q);
      in_block = false;
    }
  }
  return flows;
}

TEST(OcFloodWave, TheThirdDayStormReachesTheOutletInThePrintWindow) {
  testing::ExampleCopy ex;
  ex.replace("example_frame.txt", "1990 1 11 0 0", "1990 1 4 0 0");
  // The wave of the surface alone: on the example's own soils most of the storm
  // infiltrates.
  ex.make_soils_impermeable();
  // The example's own results window covers the third day (print flag 3, hours 48-72).
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<double> q = outlet_flows(ex.print());
  // Hourly steps from 48 to 72 h (the step is one hour when the rain allows it, shorter
  // in heavy rain), so about 25 blocks.
  ASSERT_GE(q.size(), 24u);
  std::size_t peak = 0;
  for (std::size_t i = 1; i < q.size(); ++i) {
    if (q[i] > q[peak]) peak = i;
  }
  // Before the storm the outlet runs nearly dry; the storm's runoff makes a clear peak
  // inside the window, which then recedes.
  EXPECT_GT(q[peak], 0.05);
  EXPECT_LT(q.front(), 0.1 * q[peak]);
  EXPECT_GT(peak, 0u);
  EXPECT_LT(peak, q.size() - 1);
  EXPECT_LT(q.back(), 0.5 * q[peak]);
}

}  // namespace
}  // namespace quendal
