// The plan and check files: what a plan answers, which plans are refused before the run
// with which numbers, and when an item is due.
#include "output/visualisation/plan_file_library.h"

#include <gtest/gtest.h>

#include <vector>

#include "model_fixture.h"
#include "output/visualisation/item_tables.h"
#include "services/stops.h"
#include "vis_fixture.h"

namespace quendal {
namespace {

using testing::count_of;

struct RunCounts {
  int nx = 12, ny = 10, nel = 94, ll = 5, nsed = 0, ncon = 0;
};

// A plan layer handed the run parameters and the registrations as the driver hands them;
// the last registration reads and checks the files.
struct PlanLayer : testing::ModelWithFiles {
  std::unique_ptr<PlanFileLibrary> layer;

  void start(const std::string& plan, const std::string& check = "", RunCounts c = {},
             bool output_named = true) {
    layer =
        std::make_unique<PlanFileLibrary>(model.io, std::make_unique<testing::RecordingLibrary>());
    const std::string plan_file = plan.empty() ? "" : dir.write("plan.txt", plan);
    const std::string check_file = check.empty() ? "" : dir.write("check.txt", check);
    layer->SEND_P("planfile", std::string_view(plan_file), 0, 0);
    layer->SEND_P("checkfile", std::string_view(check_file), 0, 0);
    layer->SEND_P("hdf5fname", std::string_view(output_named ? "vis.h5" : ""), 0, 0);
    for (auto [key, value] : {std::pair{"grid_nx", c.nx}, {"grid_ny", c.ny}, {"top_cell", c.ll},
                              {"nel", c.nel}, {"nsed", c.nsed}, {"ncon", c.ncon}}) {
      layer->SEND_P(key, value, 0, 0);
    }
    const Array1<VIS_ITEM_RECORD> statics = VIS_ITEM_TABLE("static");
    for (long n = statics.lower(); n <= statics.upper(); ++n) {
      const VIS_ITEM_RECORD& r = statics(n);
      layer->REGISTER_STATIC_VISUALISATION_METADATA(r.ITEM_NAME, r.ITEM_BASIS, r.ITEM_UNITS,
                                                    r.ITEM_DESCRIPTION, c.nx, c.ny,
                                                    r.ITEM_EXTRA_DIMENSIONS, r.ITEM_PER_CELL);
    }
    const Array1<VIS_ITEM_RECORD> dynamics = VIS_ITEM_TABLE("dynamic");
    for (int pass = 1; pass <= 2; ++pass) {
      for (long n = dynamics.lower(); n <= dynamics.upper(); ++n) {
        const VIS_ITEM_RECORD& r = dynamics(n);
        // Pass 1 registers every item as not implemented: pass 2 must replace it.
        const bool implemented = pass == 2 && r.ITEM_IMPLEMENTED;
        layer->REGISTER_DYNAMIC_VISUALISATION_METADATA(
            pass, pass == 2 && n == dynamics.upper(), r.ITEM_NAME, r.ITEM_BASIS, r.ITEM_UNITS,
            r.ITEM_DESCRIPTION, r.ITEM_EXTRA_DIMENSIONS, r.ITEM_PER_CELL,
            r.ITEM_PER_SIZE_GROUP, r.ITEM_PER_CONTAMINANT, implemented);
      }
    }
  }
};

const std::string HEADER = "QUENDAL-VIS-PLAN 1\n";

struct BadPlan {
  const char* what;
  std::string plan;
  std::string check;
  RunCounts counts;
  int number;
  std::string reported;  // the line and value the report names
};

TEST_F(PlanLayer, PlansThatDoNotFitTheRunAreRefusedWithTheirLineAndValue) {
  const RunCounts no_sediment{};
  const std::string item = "item\n  name srf_dep\n";
  const std::vector<BadPlan> cases = {
      {"column past NX", HEADER + item + "  columns 3 13\nend\n", "", {}, 1071,
       "plan line 4: columns 3 13 not within 1 to 12"},
      {"layers below the columns", HEADER + "item\n name theta\n layers 1 51\nend\n", "", {},
       1071, "plan line 4: layers 1 51 not within 1 to 5"},
      {"sediment item without sediment", HEADER + "item\n name s_dis\nend\n", "", no_sediment,
       1071, "plan line 2: size_group 1 not in 1 to 0"},
      {"centroid in a list", HEADER + "item\n name centroid\n elements 3 4\nend\n", "", {},
       1071, "plan line 4: item centroid has no value in a list"},
      {"integer type on a real item", HEADER + item + "  type NS\nend\n", "", {}, 1071,
       "plan line 4: type NS does not fit real item srf_dep"},
      {"short mask row", HEADER + item + "  columns 1 3\n  rows 1 2\n  mask\n  111\n  11\nend\n",
       "", {}, 1071, "plan line 8: mask row 11 of 2 cells for a window of 3"},
      {"mask missing a row", HEADER + item + "  rows 1 2\n  columns 1 2\n  mask\n  11\nend\n",
       "", {}, 1071, "plan line 6: mask of 1 rows for a window of 2"},
      {"element outside the mesh", HEADER + item + "  elements 5 95\nend\n", "", {}, 1071,
       "plan line 4: element 95 not in 1 to 94"},
      {"ext past the faces", HEADER + "item\n name ovr_flow\n ext 5\nend\n", "", {}, 1071,
       "plan line 4: ext 5 not in 1 to 4"},
      {"end before start", HEADER + item + "  times 10 1 5\nend\n", "", {}, 1071,
       "plan line 4: times 10 1 5: negative, or end before start"},
      {"unknown name", HEADER + "item\n name Srf_dep\nend\n", "", {}, 1071,
       "plan line 3: unknown item: Srf_dep"},
      {"unknown key", HEADER + item + "  colums 1 2\nend\n", "", {}, 1070,
       "plan line 4: unknown key: colums 1 2"},
      {"no end", HEADER + item + "  columns 1 2\n", "", {}, 1070,
       "plan line 2: item without end"},
      {"no header", "QUENDAL-VIS-PLAN 2\n" + item + "end\n", "", {}, 1070,
       "plan line 1: first line is not"},
      {"repeated key", HEADER + item + "  name theta\nend\n", "", {}, 1070,
       "plan line 4: repeated key: name theta"},
      {"unreadable number", HEADER + item + "  columns 1 2.5\nend\n", "", {}, 1070,
       "plan line 4: unreadable number: columns 1 2.5"},
      {"wrong nel in the check file", HEADER + item + "end\n", "grid_nx 12\nnel 120\n", {},
       1072, "check file line 2: nel 120 but the run has 94"},
      {"unknown check key", HEADER + item + "end\n", "grid_nx 12\nnx 12\n", {}, 1070,
       "check file line 2: unknown key: nx 12"},
  };
  for (const BadPlan& c : cases) {
    SCOPED_TRACE(c.what);
    model.io.units.close(PRINT_UNIT);
    ASSERT_TRUE(model.io.units.open(PRINT_UNIT, print_path, UnitDirection::Output));
    EXPECT_THROW(start(c.plan, c.check, c.counts), FatalError);
    const std::string print = print_text();
    EXPECT_EQ(count_of(print, " ERROR " + std::to_string(c.number) + " at"), 1) << print;
    EXPECT_NE(print.find("Visualisation " + c.reported), std::string::npos) << print;
    EXPECT_NE(print.find("FATAL ERROR 1073"), std::string::npos);
    EXPECT_NE(print.find("Error(s) detected while checking visualisation plan"),
              std::string::npos);
  }
}

TEST_F(PlanLayer, ItemsThatCannotBeDeliveredAreWarnedAndSkipped) {
  start(HEADER + "item\n name infilt\nend\nitem\n name spatial1\nend\n"
                 "item\n name srf_dep\n layers 2 3\nend\n");
  const std::string print = print_text();
  EXPECT_EQ(count_of(print, "WARNING 1076"), 3) << print;
  EXPECT_NE(print.find("plan line 2: item infilt cannot be delivered; not recorded"),
            std::string::npos);
  EXPECT_NE(print.find("plan line 10: item srf_dep is not per cell; layers ignored"),
            std::string::npos);
  EXPECT_EQ(print.find("ERROR"), std::string::npos);
  // Items keep their numbers in file order; a skipped one answers nothing and is never due.
  EXPECT_EQ(layer->GET_METADATA_I(0, "no_items", std::nullopt), 3);
  EXPECT_FALSE(layer->TIME_TO_RECORD(1, 0.0));
  EXPECT_EQ(layer->GET_METADATA_C(1, "name"), "");
  EXPECT_EQ(layer->GET_METADATA_I(2, "ihigh", std::nullopt), 0);
  EXPECT_TRUE(layer->TIME_TO_RECORD(3, 0.0));
  EXPECT_EQ(layer->GET_METADATA_I(3, "klow", std::nullopt), 1);
  EXPECT_EQ(layer->GET_METADATA_I(3, "khigh", std::nullopt), 1);
}

TEST_F(PlanLayer, APlanWithoutAnOutputFileIsFatalAndNoPlanHasNoItems) {
  EXPECT_THROW(start(HEADER, "", {}, false), FatalError);
  EXPECT_NE(print_text().find("FATAL ERROR 1074"), std::string::npos);

  start("", "grid_nx 12\ngrid_ny 10\nnel 94\ntop_cell 5\nnsed 0\nncon 0\n");
  EXPECT_EQ(layer->GET_METADATA_I(0, "no_items", std::nullopt), 0);
}

TEST_F(PlanLayer, AnswersTheWindowMaskSelectionAndDefaults) {
  // Item 1: grid rows 1 2 of a 10-row grid are plan rows 10 and 9; the mask's first line
  // is the northern row, grid row 2 = plan row 9.
  ASSERT_NO_THROW(start(HEADER +
        "item # the lower rows\n name srf_dep\n columns 2 4\n rows 1 2\n mask\n 010\n 1 0 1\nend\n"
        "item\n name number\n elements 7\n elements 3\nend\n"
        "item\n name ovr_flow\n times 1 2\nend\n"
        "item\n name theta\n layers 2 4\nend\n")) << print_text();
  ASSERT_EQ(print_text().find("ERROR"), std::string::npos) << print_text();
  const auto I = [&](int item, const char* key) {
    return layer->GET_METADATA_I(item, key, std::nullopt);
  };
  EXPECT_EQ(I(0, "no_items"), 4);
  EXPECT_TRUE(layer->GET_METADATA_L(1, "isgrid", std::nullopt, std::nullopt));
  EXPECT_EQ(I(1, "ilow"), 2);
  EXPECT_EQ(I(1, "ihigh"), 4);
  EXPECT_EQ(I(1, "jlow"), 9);
  EXPECT_EQ(I(1, "jhigh"), 10);
  const std::vector<std::pair<int, int>> on = {{3, 9}, {2, 10}, {4, 10}};
  for (int i = 1; i <= 5; ++i) {
    for (int j = 8; j <= 10; ++j) {
      const bool expected = std::find(on.begin(), on.end(), std::pair{i, j}) != on.end();
      EXPECT_EQ(layer->GET_METADATA_L(1, "on", i, j), expected) << i << " " << j;
    }
  }
  EXPECT_EQ(layer->GET_METADATA_C(1, "typ"), "MS");
  EXPECT_EQ(I(1, "ext"), 1);

  EXPECT_FALSE(layer->GET_METADATA_L(2, "isgrid", std::nullopt, std::nullopt));
  EXPECT_EQ(layer->GET_METADATA_C(2, "typ"), "IS");
  EXPECT_EQ(I(2, "sz"), 2);
  EXPECT_EQ(layer->GET_METADATA_I(2, "su", 1), 7);
  EXPECT_EQ(layer->GET_METADATA_I(2, "su", 2), 3);

  // The whole grid, with the four faces.
  EXPECT_EQ(I(3, "ilow"), 1);
  EXPECT_EQ(I(3, "ihigh"), 12);
  EXPECT_EQ(I(3, "jhigh"), 10);
  EXPECT_EQ(I(3, "ext"), 4);
  EXPECT_EQ(layer->GET_METADATA_C(3, "extra_dimensions"), "faces");
  EXPECT_EQ(I(3, "nsed"), 1);
  EXPECT_EQ(I(4, "klow"), 2);
  EXPECT_EQ(I(4, "khigh"), 4);
  EXPECT_EQ(I(5, "klow"), 0);  // no such item
}

struct Schedule {
  const char* times;  // the item's `times` line; empty: the default
  std::vector<double> calls;
  std::vector<double> recorded;
};

TEST_F(PlanLayer, AnItemIsDueOncePerIntervalWithinItsTimes) {
  const std::vector<Schedule> cases = {
      {"times 0 1", {0, 0.5, 1, 2.5, 2.5}, {0, 1, 2.5}},
      {"", {0, 0, 0.25, 1, 1}, {0, 0.25, 1}},
      {"times 6 5", {0, 2.5, 5, 7.5, 10, 12.5}, {7.5, 12.5}},
      {"times 0 0 24", {0, 12, 24, 36}, {0, 12, 24}},
      // A step over several marks gives one record; the next mark is the first after it.
      {"times 0 1", {0, 3.5, 4, 4.2}, {0, 3.5, 4}},
      // A clock a rounding short of the mark has reached it.
      {"times 0 1", {0, 1 - 1e-9, 1.5}, {0, 1 - 1e-9}},
  };
  for (const Schedule& c : cases) {
    SCOPED_TRACE(c.times);
    start(HEADER + "item\n name srf_dep\n " + c.times + "\nend\n");
    std::vector<double> recorded;
    for (double t : c.calls) {
      if (layer->TIME_TO_RECORD(1, t)) recorded.push_back(t);
    }
    EXPECT_EQ(recorded, c.recorded);
  }
}

// Through the driver, on the visualisation fixture's 3 x 3 catchment: a masked window
// records only its switched-on squares inside the catchment, and each record is counted.
struct PlanThroughDriver : testing::VisFixture {};

TEST_F(PlanThroughDriver, RecordsTheMaskedSquaresAndCountsTheRecords) {
  auto writer = std::make_unique<testing::RecordingLibrary>();
  testing::RecordingLibrary* written = writer.get();
  auto plan = std::make_unique<PlanFileLibrary>(model.io, std::move(writer));
  PlanFileLibrary* layer_ = plan.get();
  model.output.visualisation.VIS_LIBRARY = std::move(plan);
  // Grid rows 2 and 3 (plan rows 2 and 1); cell (1, 3) is outside the catchment; the
  // mask switches off grid cell (2, 2).
  model.io.names.PLAN_FILE_NAME = dir.write(
      "plan.txt", HEADER + "item\n name number\n type IS\n rows 2 3\n mask\n 111\n 101\n"
                           " times 0 1\nend\n");
  model.io.names.HDF5_FILE_NAME = "vis.h5";
  drive(0.0);
  drive(0.0);
  drive(0.5);
  drive(1.0, "end");
  EXPECT_EQ(print_text().find("ERROR"), std::string::npos) << print_text();
  std::vector<std::pair<int, int>> cells_at_latest_2;
  int records_1 = 0;
  for (const testing::SavedVector& v : written->saved) {
    EXPECT_EQ(v.part, "m");
    if (v.latest == 1) ++records_1;
    if (v.latest == 2) cells_at_latest_2.push_back({v.i, v.j});
  }
  // Plan row 1 = grid row 3: columns 2, 3; plan row 2 = grid row 2: columns 1, 3.
  const std::vector<std::pair<int, int>> expected = {{1, 2}, {2, 1}, {3, 1}, {3, 2}};
  EXPECT_EQ(cells_at_latest_2, expected);
  EXPECT_EQ(records_1, 4);
  EXPECT_EQ(layer_->items()[0].first, 1);
  EXPECT_EQ(layer_->items()[0].latest, 2);
  EXPECT_EQ(written->tidy_ups, 1);
}

}  // namespace
}  // namespace quendal
