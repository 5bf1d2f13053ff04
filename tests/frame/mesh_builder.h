// Small catchments built directly in FrameState, without the frame data file, for the
// topology and geometry tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "include/model.h"
#include "model_fixture.h"
#include "test_support.h"

namespace quendal::testing {

constexpr int CODE_GRID_GRID = 2;
constexpr int CODE_RIVER = 6;

struct Cell {
  int i, j;
};

// An NX x NY grid, every cell in the catchment unless listed in `outside`, every face
// grid-grid except the river links given (east-west links on LCODEY(i, j), north-south
// links on LCODEX(i, j)); spacings of `spacing` metres.
inline void build_mesh(FrameState& frame, int nx, int ny, const std::vector<Cell>& ew_links,
                       const std::vector<Cell>& ns_links, bool banks,
                       const std::vector<Cell>& outside = {}, double spacing = 100.0) {
  frame.NX = nx;
  frame.NY = ny;
  frame.BANKS_ON = banks;
  frame.CATCHMENT_MASK.resize(nx, ny, 1);
  for (const Cell& c : outside) frame.CATCHMENT_MASK(c.i, c.j) = 0;
  frame.LCODEX.resize(nx + 1, ny, CODE_GRID_GRID);
  frame.LCODEY.resize(nx, ny + 1, CODE_GRID_GRID);
  for (const Cell& c : ew_links) frame.LCODEY(c.i, c.j) = CODE_RIVER;
  for (const Cell& c : ns_links) frame.LCODEX(c.i, c.j) = CODE_RIVER;
  frame.GRID_SPACING_X.resize(nx - 1 > 0 ? nx - 1 : 0, spacing);
  frame.GRID_SPACING_Y.resize(ny - 1 > 0 ? ny - 1 : 0, spacing);
}

// The neighbours over faces 1 to 4 (plane 2) and the faces pointing back (plane 3).
inline std::vector<int> neighbours(const FrameState& f, int e) {
  return {f.ICMREF(e, 1, 2), f.ICMREF(e, 2, 2), f.ICMREF(e, 3, 2), f.ICMREF(e, 4, 2)};
}
inline std::vector<int> faces_back(const FrameState& f, int e) {
  return {f.ICMREF(e, 1, 3), f.ICMREF(e, 2, 3), f.ICMREF(e, 3, 3), f.ICMREF(e, 4, 3)};
}
// Plane 1: kind, column, row, link.
inline std::vector<int> placement(const FrameState& f, int e) {
  return {f.ICMREF(e, 1, 1), f.ICMREF(e, 2, 1), f.ICMREF(e, 3, 1), f.ICMREF(e, 4, 1)};
}
inline std::vector<int> junction(const FrameState& f, int J) {
  std::vector<int> row;
  for (int k = 1; k <= 6; ++k) row.push_back(f.ICMRF2(J, k));
  return row;
}

}  // namespace quendal::testing
