// The visualisation driver through a recording layer: the start-up calls, the
// vectors each item type saves on the fixture catchment, plan answers outside the mesh,
// and the closing of the output.
#include "output/visualisation/visualisation_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

#include "output/visualisation/vis_fixture.h"

namespace quendal {
namespace {

using testing::grid_item;
using testing::list_item;
using testing::ScriptedItem;
using testing::SavedVector;
using testing::VisFixture;
using Texts = std::vector<std::string>;

struct VisDriverTest : VisFixture {
  // Each saved vector as "part i j e f [values]".
  Texts saved_texts() const {
    Texts texts;
    for (const SavedVector& v : layer->saved) {
      std::string t = v.part + " " + std::to_string(v.i) + " " + std::to_string(v.j) + " e" +
                      std::to_string(v.extra) + " f" + std::to_string(v.neighbour) + " [";
      for (std::size_t m = 0; m < v.values.size(); ++m) {
        char number[32];
        std::snprintf(number, sizeof number, "%s%g", m ? " " : "", v.values[m]);
        t += number;
      }
      texts.push_back(t + "]");
    }
    return texts;
  }
};

TEST_F(VisDriverTest, StartUpCallsSendTheRunThenTheMeshAndTheItems) {
  layer->plan = {grid_item("net_rain", "GS", 1, 1, 1, 1)};
  layer->plan[0].due = {0.0};
  model.io.names.RUN_DIR = "/r/";
  drive(0.0);
  EXPECT_EQ(layer->calls, (Texts{"SEND_P dirqq '/r/' 0 0", "SEND_P rootdir '" + dir.path() + "' 0 0",
                                 "SEND_P ver 4 0 0", "SEND_P hdf5fname '' 0 0",
                                 "SEND_P planfile '' 0 0", "SEND_P checkfile '' 0 0",
                                 "SAVE_TO_DISK 1 0.00"}));

  layer->calls.clear();
  drive(0.0);
  const Texts& calls = layer->calls;
  ASSERT_GE(calls.size(), 16u + 8u + 88u + 1u);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(calls[k].substr(0, 7), "SEND_P ") << k;
  EXPECT_EQ(calls[16], "STATIC spatial1 3 3 - 0");
  EXPECT_EQ(calls[17], "STATIC soil_typ 3 3 - 1");
  EXPECT_EQ(calls[23], "STATIC grid_dxy 3 3 X_Y 0");
  EXPECT_EQ(calls[24], "DYNAMIC 1 net_rain");
  EXPECT_EQ(calls[67], "DYNAMIC 1 sd_loss");
  EXPECT_EQ(calls[68], "DYNAMIC 2 net_rain");
  EXPECT_EQ(calls[111], "DYNAMIC 2 sd_loss last");
  EXPECT_EQ(layer->calls_starting("DYNAMIC").size(), 88u);
  EXPECT_EQ(testing::count_of(std::accumulate(calls.begin(), calls.end(), std::string()), " last"), 1);
  EXPECT_EQ(calls[112], "GET_I 0 no_items");
  // The item due at 0 is recorded: one new time record, "first" and "latest" stored
  // back in that order, its vector, then its data saved with the time.
  EXPECT_EQ(layer->calls_starting("FOR_NEW_TIME"), (Texts{"FOR_NEW_TIME GS 0.00 ext 1"}));
  EXPECT_EQ(layer->calls_starting("SET_I"), (Texts{"SET_I 1 first 1", "SET_I 1 latest 1"}));
  EXPECT_EQ(calls.back(), "SAVE_TO_DISK 1 0.00");

  // Later calls only ask the plan.
  layer->calls.clear();
  drive(2.5);
  EXPECT_EQ(layer->calls, (Texts{"GET_I 0 no_items", "TIME_TO_RECORD 1 2.50"}));
}

// Square 5 is plan cell (2, 3) with the south bank (3) and beyond it the link (1) on its
// north face; square 8 is plan cell (2, 2) with the north bank (2) and the link on its
// south face; square 4 is plan cell (1, 3) with neither.
TEST_F(VisDriverTest, EachTypeCodeSavesItsVectors) {
  for (int e = 1; e <= frame.NEL; ++e) {
    surface.PNETTO(e) = e * 1e-6;  // net_rain: 3.6 mm/hour per element number
    for (int f = 1; f <= 4; ++f) surface.QOC(e, f) = 10 * e + f;
  }
  auto at = [](int i, int j, const char* typ, const char* name) {
    return grid_item(name, typ, i, i, j, j);
  };
  ScriptedItem faces = at(1, 3, "GS", "ovr_flow");
  faces.ext = 4;
  faces.extra_dimensions = "faces";
  ScriptedItem empty_layers = at(2, 3, "MS", "theta");
  empty_layers.klow = 2;
  empty_layers.khigh = 1;
  ScriptedItem window = grid_item("number", "IS", 1, 3, 1, 3);
  window.off = {{2, 2}};
  ScriptedItem list = list_item("net_rain", "GS", {5, 0, SOUTH_BANK});
  ScriptedItem no_extra = at(2, 3, "GS", "net_rain");
  no_extra.ext = 0;
  struct Case {
    const char* what;
    ScriptedItem item;
    Texts saved;
  };
  const Case cases[] = {
      {"GS beside a bank on the north", at(2, 3, "GS", "net_rain"),
       {"m 2 3 e1 f0 [18]", "b 2 3 e1 f1 [10.8]", "r 2 3 e1 f1 [3.6]"}},
      {"GS beside a bank on the south", at(2, 2, "GS", "net_rain"),
       {"m 2 2 e1 f0 [28.8]", "b 2 2 e1 f3 [7.2]", "r 2 2 e1 f3 [3.6]"}},
      {"ovr_flow over the faces north, east, south, west", faces,
       {"m 1 3 e1 f0 [42]", "m 1 3 e2 f0 [41]", "m 1 3 e3 f0 [44]", "m 1 3 e4 f0 [43]"}},
      {"LS without a link", at(1, 3, "LS", "net_rain"), {}},
      {"LS beside the link", at(2, 3, "LS", "net_rain"), {"e 2 3 e1 f1 [3.6]"}},
      {"BS beside a bank", at(2, 2, "ES", "number"), {"e 2 2 e1 f3 [2]"}},
      {"MS on a square with neighbours", at(2, 3, "MS", "net_rain"), {"m 2 3 e1 f0 [18]"}},
      {"NS integers", at(2, 3, "NS", "number"), {"m 2 3 e1 f0 [5]", "b 2 3 e1 f1 [3]", "r 2 3 e1 f1 [1]"}},
      {"khigh below klow", empty_layers, {"m 2 3 e1 f0 []"}},
      {"ext 0", no_extra, {}},
      {"unknown type code", at(2, 3, "XS", "net_rain"), {}},
      {"window: outside and switched-off cells skipped", window,
       {"m 1 2 e1 f0 [7]", "m 1 3 e1 f0 [4]", "m 2 1 e1 f0 [10]", "m 2 3 e1 f0 [5]",
        "m 3 1 e1 f0 [11]", "m 3 2 e1 f0 [9]", "m 3 3 e1 f0 [6]"}},
      {"list: entry 0 skipped, a bank saves only its own", list,
       {"m 1 1 e1 f0 [18]", "b 1 1 e1 f1 [10.8]", "r 1 1 e1 f1 [3.6]", "m 3 1 e1 f0 [10.8]"}},
  };
  start();
  double time = 1.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    layer->plan = {c.item};
    layer->saved.clear();
    drive(time);
    EXPECT_EQ(saved_texts(), c.saved);
    for (const SavedVector& v : layer->saved) EXPECT_EQ(v.latest, 1);
    time += 1.0;
  }
}

TEST_F(VisDriverTest, PerCellItemsVisitTheLayersFromTheTop) {
  for (int k = 1; k <= TOP_CELL; ++k) subsurface.CELL_THETA(k, 5) = 0.1 * k;
  layer->plan = {grid_item("theta", "MS", 2, 2, 3, 3)};
  layer->plan[0].khigh = 3;
  start();
  drive(1.0);
  EXPECT_EQ(saved_texts(), (Texts{"m 2 3 e1 f0 [0.4 0.3 0.2]"}));  // cells 4, 3, 2
  EXPECT_EQ(layer->saved[0].klow, 1);
  EXPECT_EQ(layer->saved[0].khigh, 3);
}

// Answers that would take a read outside the mesh: each item is left out with one
// warning however often it is due, and the others are still recorded. The test build
// checks every array index, so a read outside would abort.
TEST_F(VisDriverTest, PlanAnswersOutsideTheMeshAreRefusedOnce) {
  model.sediment.NSED = 2;
  auto at = [](const char* name, const char* typ) { return grid_item(name, typ, 2, 2, 3, 3); };
  ScriptedItem good = at("net_rain", "MS");
  ScriptedItem column = at("number", "IS");
  column.ihigh = 4;
  ScriptedItem layers = at("theta", "MS");
  layers.khigh = TOP_CELL + 1;
  ScriptedItem element = list_item("srf_dep", "MS", {5, 12});
  ScriptedItem ext = at("ovr_flow", "MS");
  ext.ext = 5;
  ScriptedItem group = at("s_dis", "MS");
  group.nsed = 0;
  ScriptedItem rows = at("number", "IS");
  rows.jlow = 3;
  rows.jhigh = 2;
  layer->plan = {good, column, layers, element, ext, group, rows};
  start();
  drive(1.0);
  drive(2.0);
  EXPECT_EQ(layer->calls_starting("FOR_NEW_TIME").size(), 2u);
  EXPECT_EQ(layer->calls_starting("SAVE_TO_DISK"), (Texts{"SAVE_TO_DISK 1 1.00", "SAVE_TO_DISK 1 2.00"}));
  const std::string print = print_text();
  EXPECT_EQ(testing::count_of(print, "WARNING 1075"), 6) << print;
  for (const char* message : {
           "Visualisation item 2 number: ihigh = 4 not in 2 to 3; not recorded",
           "Visualisation item 3 theta: khigh = 5 not in 1 to 4; not recorded",
           "Visualisation item 4 srf_dep: su(2) = 12 not in 0 to 11; not recorded",
           "Visualisation item 5 ovr_flow: ext = 5 not in 0 to 4; not recorded",
           "Visualisation item 6 s_dis: nsed = 0 not in 1 to 2; not recorded",
           "Visualisation item 7 number: jhigh = 2 not in 3 to 3; not recorded"}) {
    EXPECT_NE(print.find(message), std::string::npos) << message;
  }
}

TEST_F(VisDriverTest, EndRecordsWhatIsDueThenClosesOnce) {
  layer->plan = {grid_item("net_rain", "GS", 2, 2, 3, 3)};
  layer->plan[0].due = {5.0};
  start();
  drive(1.0, "main ");  // another mode does not close
  drive(5.0, "end");
  EXPECT_EQ(layer->calls_starting("SAVE_TO_DISK"), (Texts{"SAVE_TO_DISK 1 5.00"}));
  EXPECT_EQ(layer->calls.back(), "TIDY_UP");
  VIS_CLOSE(model.output.visualisation);
  EXPECT_EQ(layer->tidy_ups, 1);
}

}  // namespace
}  // namespace quendal
