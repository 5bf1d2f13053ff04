// The visualisation file on the fixture catchment, written through the plan layer and
// the driver and read back with the HDF5 library: where each vector lands (grid cells,
// listed elements, faces, layers, the banks and links beside the squares), what is
// filled, the run's start date, and the faults that drop vectors or stop the writing.
#include "output/visualisation/hdf5_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "output/visualisation/hdf5_file.h"
#include "output/visualisation/plan_file_library.h"
#include "output/visualisation/vis_fixture.h"
#include "services/calendar.h"
#include "services/stops.h"

namespace quendal {
namespace {

using testing::count_of;
using testing::Hdf5File;
using Values = std::vector<double>;

constexpr double INT_FILL = -2147483648.0;
const double NaN = std::numeric_limits<double>::quiet_NaN();
// The grid squares by plan row (northern row first) and plan column; 0 outside.
const std::vector<std::vector<int>> SQUARES = {{0, 10, 11}, {7, 8, 9}, {4, 5, 6}};
constexpr int FACES[4] = {2, 1, 4, 3};  // the order of the face axis

// Values equal as stored: NaN where NaN is expected, float32 otherwise.
void expect_values(const Values& actual, const Values& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t k = 0; k < actual.size(); ++k) {
    if (std::isnan(expected[k])) {
      EXPECT_TRUE(std::isnan(actual[k])) << k << ": " << actual[k];
    } else {
      EXPECT_EQ(actual[k], static_cast<double>(static_cast<float>(expected[k]))) << k;
    }
  }
}

struct Hdf5Writer : testing::VisFixture {
  std::string file = dir.file("vis.h5");
  PlanFileLibrary* plan = nullptr;

  // The run's layer, the plan layer writing to vis.h5, with the given plan items; the
  // run starts on 1 January 1990.
  void use_plan(const std::string& items) {
    frame.RUN_START_TIME = DATE_TO_HOURS(1990, 1, 1, 0, 0, model.io);
    model.io.names.PLAN_FILE_NAME =
        items.empty() ? "" : dir.write("plan.txt", "QUENDAL-VIS-PLAN 1\n" + items);
    model.io.names.HDF5_FILE_NAME = file;
    auto plan_layer = std::make_unique<PlanFileLibrary>(model.io, make_hdf5_writer(model.io, frame));
    plan = plan_layer.get();
    layer = nullptr;
    model.output.visualisation.VIS_LIBRARY = std::move(plan_layer);
  }
  // Face flows that name their element and face: 10 x element + face, plus `offset`.
  void set_face_flows(double offset) {
    for (int e = 1; e <= frame.NEL; ++e) {
      for (int f = 1; f <= 4; ++f) surface.QOC(e, f) = 10.0 * e + f + offset;
    }
  }
};

TEST_F(Hdf5Writer, SquaresBanksAndLinksEachHoldTheirOwnNumberOnce) {
  use_plan("item\n name number\n type NS\n times 0 0 0\nend\n");
  drive(0.0);
  drive(0.0);
  drive(1.0, "end");
  Hdf5File h5(file);
  ASSERT_TRUE(h5.is_open());
  const std::string g = "/items/001_number/";
  EXPECT_TRUE(h5.holds_int32(g + "value"));
  EXPECT_EQ(h5.shape(g + "value"), (std::vector<hsize_t>{1, 3, 3}));
  Values expected, map;
  for (const auto& row : SQUARES) {
    for (int e : row) {
      expected.push_back(e == 0 ? INT_FILL : e);
      map.push_back(e);
    }
  }
  EXPECT_EQ(h5.values(g + "value"), expected);
  EXPECT_EQ(h5.values(g + "element"), map);
  EXPECT_EQ(h5.values(g + "y"), (Values{3, 2, 1}));
  EXPECT_EQ(h5.values(g + "x"), (Values{1, 2, 3}));
  // Bank 2 beside square 8, bank 3 beside square 5, the link beyond both.
  EXPECT_EQ(h5.values(g + "bank"), (Values{2, 3}));
  EXPECT_EQ(h5.values(g + "bank_value"), (Values{2, 3}));
  EXPECT_EQ(h5.values(g + "link"), (Values{1}));
  EXPECT_EQ(h5.values(g + "link_value"), (Values{1}));
  EXPECT_EQ(h5.values(g + "time"), (Values{0.0}));
  EXPECT_EQ(h5.text(g + "time", "units"), "hours since 1990-01-01 00:00:00");
  EXPECT_EQ(print_text().find("WARNING"), std::string::npos) << print_text();
}

// Face flows over grid rows 1 and 2 with square 8 masked off: the face axis runs north,
// east, south, west; the masked square is NaN and its bank (2) is not visited; each
// record holds the flows of its own time.
TEST_F(Hdf5Writer, FaceFlowsLandOnTheirFacesAndAMaskedSquareIsFilled) {
  use_plan("item\n name ovr_flow\n type GS\n rows 1 2\n mask\n 101\n 111\nend\n");
  set_face_flows(0.0);
  drive(0.0);
  drive(0.0);
  set_face_flows(1000.0);
  drive(0.5);
  drive(1.0, "end");  // a later time: the end call records too
  Hdf5File h5(file);
  const std::string g = "/items/001_ovr_flow/";
  EXPECT_EQ(h5.values(g + "face"), (Values{2, 1, 4, 3}));
  EXPECT_EQ(h5.values(g + "y"), (Values{2, 1}));
  EXPECT_EQ(h5.values(g + "time"), (Values{0.0, 0.5, 1.0}));
  EXPECT_EQ(h5.shape(g + "value"), (std::vector<hsize_t>{3, 2, 3, 4}));
  Values value, bank, link;
  for (int record = 0; record < 3; ++record) {
    const double offset = record == 0 ? 0.0 : 1000.0;
    for (int y = 1; y <= 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        const int e = SQUARES[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
        for (int face : FACES) value.push_back(e == 8 ? NaN : 10.0 * e + face + offset);
      }
    }
    for (int face : FACES) bank.push_back(10.0 * 3 + face + offset);
    for (int face : FACES) link.push_back(10.0 * 1 + face + offset);
  }
  expect_values(h5.values(g + "value"), value);
  EXPECT_EQ(h5.values(g + "bank"), (Values{3}));
  expect_values(h5.values(g + "bank_value"), bank);
  EXPECT_EQ(h5.values(g + "link"), (Values{1}));
  expect_values(h5.values(g + "link_value"), link);
  EXPECT_EQ(h5.text(g + "value", "units"), "m3/s");
  EXPECT_EQ(h5.text(g + "value", "long_name"), "Overland flow");
}

// Soil water potential of two listed squares, layers 1 to 3 from the top cell (cells
// 4, 3, 2 of four).
// A clock that is a sum of steps drifts from the times it means; the file holds the
// millisecond, so that xarray, which truncates hours x 3.6e12 to whole nanoseconds,
// shows 1990-01-04 00:00, not 23:59:59.999999999 on the 3rd.
TEST_F(Hdf5Writer, RecordTimesAreWrittenToTheMillisecond) {
  use_plan("item\n name ovr_flow\n elements 1\nend\n");
  drive(0.0);
  drive(0.0);
  drive(71.99999999);
  drive(72.0 + 0.4 / 3.6e6);  // 0.4 ms later: the same millisecond
  drive(65.0 / 60.0 + 72.0, "end");
  Hdf5File h5(file);
  const Values time = h5.values("/items/001_ovr_flow/time");
  ASSERT_EQ(time.size(), 4u);
  EXPECT_EQ(time[0], 0.0);
  EXPECT_EQ(time[1], 72.0);
  EXPECT_EQ(time[2], 72.0);
  EXPECT_EQ(static_cast<long long>(time[3] * 3.6e12), 263100000000000LL);  // 73:05
}

// A clock up to 0.49 ms off a millisecond either way is written within two units of the
// last place of the millisecond's nearest double, such that truncating hours x 3.6e12
// to whole nanoseconds gives the millisecond itself while the nanoseconds stay below
// 2^52 (52 days), and beyond that never less, nor more by over two spacings of the
// doubles there (the products of neighbouring doubles of hours lie 1.6 spacings apart).
// Plain rounding to the nearest double falls short for about 4% of the milliseconds
// (65 minutes among them).
TEST(VisualisationTimeCoordinate, TruncatesToTheMillisecondItRoundsTo) {
  constexpr long long EXACT_BELOW_MS = (1LL << 52) / 1000000;
  constexpr long long CENTURY_MS = 100LL * 8766 * 3600000;
  long failures = 0, checked = 0;
  for (long long ms = 0; ms < CENTURY_MS; ms += ms < EXACT_BELOW_MS ? 999983 : 999999937LL) {
    const double exact = static_cast<double>(ms) / 3.6e6;
    const double target = static_cast<double>(ms) * 1e6;  // the nanoseconds, as a double
    const double spacing = std::nextafter(target, 1e300) - target;
    for (double drift_ms : {0.0, 0.49, -0.49, 1e-6, -1e-6}) {
      if (ms == 0 && drift_ms < 0.0) continue;
      const double t = visualisation_time_coordinate(exact + drift_ms / 3.6e6);
      const double ns = std::trunc(t * 3.6e12);
      const double ulp = std::nextafter(exact, 1e300) - exact;
      const bool found = ms < EXACT_BELOW_MS ? ns == target
                                             : ns >= target && ns - target <= 2.0 * spacing;
      if (!found || std::fabs(t - exact) > 2.0 * ulp) ++failures;
      ++checked;
    }
  }
  EXPECT_GT(checked, 35000);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(visualisation_time_coordinate(1e-10), 0.0);
}

TEST_F(Hdf5Writer, ListedElementsKeepTheirLayersAndCells) {
  for (int e = 1; e <= frame.NEL; ++e) {
    for (int cell = 1; cell <= TOP_CELL; ++cell) subsurface.vspsi(cell, e) = 100.0 * e + cell;
  }
  use_plan("item\n name psi\n elements 8 10\n layers 1 3\n times 0 0 0\nend\n");
  drive(0.0);
  drive(0.0);
  drive(1.0, "end");
  Hdf5File h5(file);
  const std::string g = "/items/001_psi/";
  EXPECT_EQ(h5.values(g + "element"), (Values{8, 10}));
  EXPECT_EQ(h5.values(g + "layer"), (Values{1, 2, 3}));
  EXPECT_EQ(h5.values(g + "cell"), (Values{4, 3, 2}));
  EXPECT_EQ(h5.values(g + "value"), (Values{804, 803, 802, 1004, 1003, 1002}));
  EXPECT_FALSE(h5.exists(g + "bank_value"));
}

// No plan: the file still describes the run, with its start date, and its mesh, with
// no items.
TEST_F(Hdf5Writer, WithoutAPlanTheFileHoldsTheMeshAndNoItems) {
  use_plan("");
  frame.RUN_START_TIME = DATE_TO_HOURS(1990, 1, 1, 6, 30, model.io);
  drive(0.0);
  drive(0.0);
  drive(1.0, "end");
  Hdf5File h5(file);
  ASSERT_TRUE(h5.is_open());
  EXPECT_EQ(h5.text("/", "start_date"), "1990-01-01T06:30:00");
  EXPECT_EQ(h5.text("/plan/text"), "");
  EXPECT_TRUE(h5.exists("/items"));
  EXPECT_FALSE(h5.exists("/items/001_number"));
  Values map;
  for (const auto& row : SQUARES) map.insert(map.end(), row.begin(), row.end());
  EXPECT_EQ(h5.values("/mesh/element_at_cell"), map);
  // bank_no (element, face): square 8 has bank 2 over its south face, square 5 bank 3
  // over its north face; river_no gives the link beyond; the link itself has 0.
  const Values bank_no = h5.values("/mesh/bank_no"), river_no = h5.values("/mesh/river_no");
  auto at = [](const Values& v, int e, int f) { return v[static_cast<std::size_t>((e - 1) * 4 + f - 1)]; };
  EXPECT_EQ(at(bank_no, 8, 4), 2);
  EXPECT_EQ(at(bank_no, 5, 2), 3);
  EXPECT_EQ(at(bank_no, 8, 2), -1);
  EXPECT_EQ(at(river_no, 8, 4), 1);
  EXPECT_EQ(at(river_no, 1, 1), 0);
}

TEST_F(Hdf5Writer, DroppedVectorsAreReportedOncePerItemAtClose) {
  use_plan("item\n name number\n type IS\n columns 2 3\n rows 1 1\nend\n"
           "item\n name surf_elv\nend\n");
  drive(0.0);
  drive(0.0);
  // A record of item 1 (plan row 3, plan columns 2 and 3) given by hand: one vector that
  // fits, one off the window, one of the wrong length, one with no extra position.
  VisualisationLibrary& library = *model.output.visualisation.VIS_LIBRARY;
  ASSERT_TRUE(library.TIME_TO_RECORD(1, 0.5));
  std::int64_t first = 1, latest = 1;
  library.FOR_NEW_TIME("IS", 0.5, 2, 3, 3, 3, 1, 1, 1, first, latest);
  const std::vector<int> one{42}, two{1, 2};
  library.SAVE_ITEMS_WORTH_I("m", "IS", 2, 3, 1, 1, 1, 0, one, latest);
  library.SAVE_ITEMS_WORTH_I("m", "IS", 1, 3, 1, 1, 1, 0, one, latest);
  library.SAVE_ITEMS_WORTH_I("m", "IS", 3, 3, 1, 1, 1, 0, two, latest);
  library.SAVE_ITEMS_WORTH_I("m", "IS", 3, 3, 1, 1, 2, 0, one, latest);
  library.SAVE_VISUALISATION_DATA_TO_DISK(1, 0.5);
  drive(1.0, "end");
  const std::string print = print_text();
  EXPECT_EQ(count_of(print, "WARNING 1093"), 1) << print;
  EXPECT_NE(print.find("Visualisation item 1 number: 3 vectors"), std::string::npos) << print;
  Hdf5File h5(file);
  // Records at 0, 0.5 and 1: the hand-made one holds its one fitting vector.
  EXPECT_EQ(h5.values("/items/001_number/value"), (Values{5, 6, 42, INT_FILL, 5, 6}));
}

// The writer's datasets closed behind its back: the next save fails, which stops the run
// with fatal error 1094 naming the file and saying what it still holds; what was saved
// before stays readable.
TEST_F(Hdf5Writer, AWriteThatFailsStopsTheRunAndWhatWasSavedStaysReadable) {
  use_plan("item\n name number\n type IS\nend\n");
  drive(0.0);
  drive(0.0);
  std::vector<hid_t> open(static_cast<std::size_t>(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_DATASET)));
  ASSERT_FALSE(open.empty());
  H5Fget_obj_ids(H5F_OBJ_ALL, H5F_OBJ_DATASET, open.size(), open.data());
  for (hid_t d : open) H5Dclose(d);
  EXPECT_THROW(drive(1.0), FatalError);
  VIS_CLOSE(model.output.visualisation);  // as the run does on its way out: nothing more
  const std::string print = print_text();
  EXPECT_EQ(count_of(print, "FATAL ERROR 1094"), 1) << print;
  EXPECT_NE(print.find("ERROR WRITING FILE " + file + ": "), std::string::npos);
  EXPECT_NE(print.find("The file can be read and holds the records up to 0.00 hours"),
            std::string::npos);
  Hdf5File h5(file);
  ASSERT_TRUE(h5.is_open());
  EXPECT_EQ(h5.values("/items/001_number/time"), (Values{0.0}));
}

}  // namespace
}  // namespace quendal
