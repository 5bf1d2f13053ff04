// Small catchments for the OC set-up tests: a mesh numbered by the topology, grounds at
// 10 m, the OC state sized, and an OC data file assembled from its parts.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "include/model.h"
#include "model_fixture.h"
#include "services/stops.h"
#include "surface/oc/oc_data_file.h"
#include "surface/oc/oc_setup.h"

namespace quendal::testing {

// An OC data file by parts. The defaults: uniform roughness 2.5, echo on (p = 1), no
// initial depths, no boundary categories, no default sections, and one record per link
// (bed 9, initial depth 0.5, Strickler 20, own pairs width 2 at 0 and 4 at 1).
struct OcDataText {
  std::string controls = "0 3 1 F";                // ignored, NCATR, p, initial-depth flag
  std::string roughness = "0.0 2.5 0.0 10.0 0.0";  // ignored, CDRS, start, end, ignored
  std::string overland_grids;                      // CATR, depth grid, roughness grids, as needed
  std::string counts = "0 0 0";
  std::string boundary_grids;  // category grids and polynomial records
  std::string defaults = "0";  // NDEFCT and what follows it
  std::vector<std::string> links = {"1 9.0 0.5 20.0 2\n2.0 0.0 4.0 1.0"};

  std::string text() const {
    std::string t = "OC data\n" + controls + "\nTitle 1\nTitle 2\nTitle 3\n" + roughness + "\n" +
                    overland_grids + "Boundary categories\n" + counts + "\n" + boundary_grids +
                    "Channel data\n" + defaults + "\nLinks\n";
    for (const std::string& l : links) t += l + "\n";
    return t;
  }
};

// A digit-layout grid (rows listed from the north), e.g. digit_grid({"12", "00"}).
inline std::string digit_grid(const std::vector<std::string>& rows_north_first) {
  std::string t = "Grid title\n";
  int row = static_cast<int>(rows_north_first.size());
  for (const std::string& r : rows_north_first) {
    std::string number = std::to_string(row--);
    t += std::string(7 - number.size(), ' ') + number + " " + r + "\n";
  }
  return t;
}

// A real-layout grid with one 7-column field per value.
inline std::string real_grid(const std::vector<std::vector<double>>& rows_north_first) {
  std::string t = "Grid title\n";
  int row = static_cast<int>(rows_north_first.size());
  for (const auto& r : rows_north_first) {
    char field[32];
    std::snprintf(field, sizeof field, "%7d", row--);
    t += field;
    for (double v : r) {
      std::snprintf(field, sizeof field, "%7.2f", v);
      t += field;
    }
    t += "\n";
  }
  return t;
}

struct OcFixture : ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;

  // Numbers the mesh quietly, puts every ground at 10 m and sizes the OC state.
  void build(int nx, int ny, const std::vector<Cell>& ew_links, const std::vector<Cell>& ns_links,
             bool banks, const std::vector<Cell>& outside = {}) {
    build_mesh(frame, nx, ny, ew_links, ns_links, banks, outside);
    NUMBER_ELEMENTS(frame, model.io, false);
    frame.ZGRUND.resize(frame.NEL, 10.0);
    size_oc_state(frame, surface);
  }
  void open_oc_file(const std::string& text) { open_input(OC_DATA_UNIT, "oc.txt", text); }
  void read(const OcDataText& data) {
    open_oc_file(data.text());
    OC_READ_DATA_FILE(frame, surface, model.io);
  }
  // Reads a file that must end with the fatal summary of the data file.
  std::string read_failing(const OcDataText& data) {
    open_oc_file(data.text());
    EXPECT_THROW(OC_READ_DATA_FILE(frame, surface, model.io), FatalError);
    return print_text();
  }
};

// The same fixture for a test that builds several catchments (one per table row):
// construct, SetUp(), use, TearDown().
struct StandaloneOcFixture : OcFixture {
  void TestBody() override {}
};

}  // namespace quendal::testing
