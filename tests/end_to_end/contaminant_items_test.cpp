// The contaminant concentration items as a user reads them: recorded by a run
// of the contaminant example into its visualisation file and read back from
// that file.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "example_copy.h"
#include "output/visualisation/hdf5_file.h"

namespace quendal {
namespace {

using testing::ExampleCopy;
using testing::Hdf5File;

// The example's spill lies in the four squares of grid columns 3-4, rows 7-8,
// at relative concentration 1 from the ground down to 0.3 m, in the dynamic
// region and in the dead space alike; every other square starts clean. The
// contaminants start at hour 24, so the record at hour 24 holds the initial
// state and the one an hour later what a step of transport left of it.
TEST(ContaminantItems, SpillSquaresReadTheirConcentrationAndCleanSquaresZero) {
  ExampleCopy example("contaminant");
  example.replace(
      "contaminant_frame.txt",
      "End of simulation: year, month, day, hour, minute\n1990 1 11 0 0",
      "End of simulation: year, month, day, hour, minute\n1990 1 2 1 0");
  // A plan of its own, without the example's check file (which describes the
  // example's own plan).
  example.replace("rundata_contaminant.txt",
                  "Visualisation plan file (unit 48)\ncontaminant_vis_plan.txt",
                  "Visualisation plan file (unit 48)\nitems_plan.txt");
  example.replace(
      "rundata_contaminant.txt",
      "Visualisation check file (unit 49)\ncontaminant_vis_check.txt",
      "Visualisation check file (unit 49)\n0");
  example.replace(
      "rundata_contaminant.txt",
      "Visualisation HDF5 file (unit 50)\noutput_contaminant_vis.h5",
      "Visualisation HDF5 file (unit 50)\nitems.h5");
  example.dir.write(
      "example/items_plan.txt",
      "QUENDAL-VIS-PLAN 1\n"
      "item\n  name c_c_dr\n  contaminant 1\n  layers 1 1\n  times 24 1\nend\n"
      "item\n  name c_c_ds\n  contaminant 1\n  layers 1 1\n  times 24 "
      "1\nend\n");
  const auto r = example.run();
  ASSERT_EQ(r.status, 0) << r.output;

  Hdf5File file(example.root + "/items.h5");
  ASSERT_TRUE(file.is_open());
  for (const std::string item : {"/items/001_c_c_dr", "/items/002_c_c_ds"}) {
    SCOPED_TRACE(item);
    const std::vector<double> time = file.values(item + "/time");
    ASSERT_GE(time.size(), 1u);
    EXPECT_NEAR(time[0], 24.0, 1e-6);
    // value (time, y, x, layer): the whole 12 x 10 grid, northern row first,
    // one layer.
    const std::vector<hsize_t> shape = file.shape(item + "/value");
    ASSERT_EQ(shape, (std::vector<hsize_t>{time.size(), 10, 12, 1}));
    const std::vector<double> value = file.values(item + "/value");
    auto at = [&](std::size_t record, int column, int row) {
      return value[record * 120 + static_cast<std::size_t>(10 - row) * 12 +
                   static_cast<std::size_t>(column - 1)];
    };
    for (std::size_t record = 0; record < time.size(); ++record) {
      SCOPED_TRACE(time[record]);
      for (int column : {3, 4}) {
        for (int row : {7, 8}) {
          // The top cell lies within the spill's 0.3 m; a step's exchange with
          // the clean ground around and below moves no more than a tenth of it.
          EXPECT_GE(at(record, column, row), 0.9) << column << " " << row;
          EXPECT_LE(at(record, column, row), 1.0 + 1e-6)
              << column << " " << row;
        }
      }
      // Far from the spill nothing has arrived (the rain tracer is contaminant
      // 3): clean ground starts at 0, and the transport keeps no concentration
      // below its floor of 1e-16 after a step.
      for (const auto &[column, row] : {std::pair{9, 3}, std::pair{2, 2}}) {
        if (record == 0) {
          EXPECT_EQ(at(record, column, row), 0.0) << column << " " << row;
        } else {
          EXPECT_LT(at(record, column, row), 1e-12) << column << " " << row;
        }
      }
    }
  }
}

} // namespace
} // namespace quendal
