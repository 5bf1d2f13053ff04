#include "frame/element_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "include/model.h"

namespace quendal {
namespace {

// ---- the one-pass gap sort ----------------------------------------------------------

struct SortCase {
  const char* name;
  std::vector<double> keys;
  std::vector<double> expected;  // worked by hand through the passes
};

class IsortListSortTest : public ::testing::TestWithParam<SortCase> {};

TEST_P(IsortListSortTest, OnePassPerGap) {
  const SortCase& c = GetParam();
  const int n = static_cast<int>(c.keys.size());
  Array1<double> keys(n);
  Array1<int> elements(n);
  for (int i = 1; i <= n; ++i) {
    keys(i) = c.keys[static_cast<std::size_t>(i - 1)];
    elements(i) = 100 + i;  // tagged by original position
  }
  sort_isort_list(keys, elements, n);
  for (int i = 1; i <= n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(keys(i), c.expected[static_cast<std::size_t>(i - 1)]);
    // Every element still carries its own key.
    EXPECT_EQ(c.keys[static_cast<std::size_t>(elements(i) - 101)], keys(i));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsortListSortTest,
    ::testing::Values(
        // Gap 1 only: (1,2) exchanged, then (1,3): 2, 3, 1.
        SortCase{"IncreasingThree", {1, 2, 3}, {2, 3, 1}},
        SortCase{"AlreadyDecreasing", {3, 2, 1}, {3, 2, 1}},
        SortCase{"Single", {7}, {7}},
        // Gaps 2 then 1 leave the list not quite in order.
        SortCase{"OnePassIsNotAFullSort", {1, 3, 2, 4}, {4, 2, 3, 1}},
        // The rise is at 2..3, but 5 at the end belongs above the 3 at the start: the
        // range starts at 1.
        SortCase{"RangeWidenedAtTheStart", {3, 1, 2, 5}, {5, 3, 2, 1}},
        // The last rise is at 2..3, but the 2 after it lies above the 1 before it: the
        // range ends at 4, and gap 1 then orders the whole list.
        SortCase{"RangeWidenedAtTheEnd", {4, 1, 3, 2, 0.5}, {4, 3, 2, 1, 0.5}},
        // Only the out-of-order middle is touched.
        SortCase{"MiddleOnly", {5, 4, 1, 2, 0}, {5, 4, 2, 1, 0}}),
    [](const ::testing::TestParamInfo<SortCase>& info) { return std::string(info.param.name); });

// ---- BUILD_ISORT ----------------------------------------------------------------------

// A 2 x 2 grid with one east-west link along the north face of the south row, banks
// off: link 1, squares 2 (1,1) and 3 (2,1) south of the channel row, 4 (1,2) and
// 5 (2,2) north. The link's neighbours over faces 1..4 are 0, 4, 0, 2.
struct BuildIsortTest : ::testing::Test {
  Model model;
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& subsurface = model.subsurface;

  void SetUp() override {
    frame.NEL = 5;
    frame.NLF = 1;
    frame.ICMREF.resize(5, 4, 3, 0);
    frame.ICMREF(1, 1, 1) = 3;  // a channel link
    frame.ICMREF(1, 2, 2) = 4;
    frame.ICMREF(1, 4, 2) = 2;
    frame.LINK_NORTH_SOUTH.resize(1, 0);
    frame.ZGRUND.resize(5, 10.0);
    frame.ZGRUND(1) = 9.0;  // the channel bed
    frame.ISORT.resize(5);
    for (int e = 1; e <= 5; ++e) frame.ISORT(e) = e;
    subsurface.set_no_cells(frame.NEL, frame.NLF, frame.ZGRUND);
    surface.HRF = frame.ZGRUND;  // all dry
  }
  std::vector<int> isort() const {
    std::vector<int> order;
    for (int i = 1; i <= frame.NEL; ++i) order.push_back(frame.ISORT(i));
    return order;
  }
};

TEST_F(BuildIsortTest, WetAndDryListsMergedByPhreaticLevel) {
  subsurface.PHREATIC_LEVEL(1) = -5.0;  // replaced from the banks of the channel
  subsurface.PHREATIC_LEVEL(2) = 8.0;
  subsurface.PHREATIC_LEVEL(3) = 7.0;
  subsurface.PHREATIC_LEVEL(4) = 9.5;
  subsurface.PHREATIC_LEVEL(5) = 6.0;
  surface.HRF(1) = 9.5;   // 0.5 m of water in the channel: wet
  surface.HRF(3) = 10.2;  // ponded: wet, and the highest surface level
  BUILD_ISORT(frame, surface, subsurface);
  // The link takes the higher level of squares 4 (north, 9.5) and 2 (south, 8.0).
  EXPECT_EQ(subsurface.PHREATIC_LEVEL(1), 9.5);
  // Wet, sorted by surface level: 3 (10.2), 1 (9.5). Dry, by phreatic level: 4 (9.5),
  // 2 (8.0), 5 (6.0). Merged by phreatic level: square 3 (7.0) waits for 4 and 2 in
  // spite of its surface level; the link (9.5) follows it, being behind it in the
  // wet list, and both go before 5.
  EXPECT_EQ(isort(), (std::vector<int>{4, 2, 3, 1, 5}));
}

TEST_F(BuildIsortTest, AllDryIsTheDryListInDecreasingLevel) {
  subsurface.PHREATIC_LEVEL(2) = 8.0;
  subsurface.PHREATIC_LEVEL(3) = 9.0;
  subsurface.PHREATIC_LEVEL(4) = 7.0;
  subsurface.PHREATIC_LEVEL(5) = 9.8;
  BUILD_ISORT(frame, surface, subsurface);
  // The link gets max(7.0, 8.0) = 8.0 and so ties with square 2; the keys in the old
  // order 8, 8, 9, 7, 9.8 go through gaps 2 and 1 (range 1..5) to 9, 9.8, 8, 8, 7
  // (elements 3, 5, 2, 1, 4): one pass per gap is not a full sort.
  EXPECT_EQ(subsurface.PHREATIC_LEVEL(1), 8.0);
  EXPECT_EQ(isort(), (std::vector<int>{3, 5, 2, 1, 4}));
}

TEST_F(BuildIsortTest, NorthSouthLinkUsesEastAndWestAndIgnoresJunctions) {
  frame.LINK_NORTH_SOUTH(1) = 1;
  frame.ICMREF(1, 1, 2) = 3;   // east: square 3
  frame.ICMREF(1, 3, 2) = -1;  // west: a channel junction, which has no phreatic level
  subsurface.PHREATIC_LEVEL(3) = -2.0;
  subsurface.PHREATIC_LEVEL(4) = 12.0;  // north: not across a north-south channel
  BUILD_ISORT(frame, surface, subsurface);
  EXPECT_EQ(subsurface.PHREATIC_LEVEL(1), 0.0);
}

TEST_F(BuildIsortTest, LinkWithoutNeighboursGetsZeroBeforeItIsClassified) {
  frame.ICMREF(1, 2, 2) = 0;
  frame.ICMREF(1, 4, 2) = 0;
  subsurface.PHREATIC_LEVEL(1) = 50.0;
  subsurface.PHREATIC_LEVEL(2) = 1.0;
  subsurface.PHREATIC_LEVEL(3) = 4.0;
  subsurface.PHREATIC_LEVEL(4) = 3.0;
  subsurface.PHREATIC_LEVEL(5) = 2.0;
  frame.ISORT(1) = 3;
  frame.ISORT(2) = 4;
  frame.ISORT(3) = 5;
  frame.ISORT(4) = 2;
  frame.ISORT(5) = 1;
  BUILD_ISORT(frame, surface, subsurface);
  // Dry keys 4, 3, 2, 1, 0 in the old order: already decreasing, so the link, keyed
  // 0 and not 50, stays last.
  EXPECT_EQ(subsurface.PHREATIC_LEVEL(1), 0.0);
  EXPECT_EQ(isort(), (std::vector<int>{3, 4, 5, 2, 1}));
}

TEST_F(BuildIsortTest, EqualLevelsPutTheDryElementFirst) {
  for (int e = 2; e <= 5; ++e) subsurface.PHREATIC_LEVEL(e) = 5.0 - e;  // 3, 2, 1, 0
  subsurface.PHREATIC_LEVEL(3) = 8.0;
  surface.HRF(3) = 10.5;                   // wet square with level 8.0
  subsurface.PHREATIC_LEVEL(4) = 8.0;      // dry square with the same level
  frame.ICMREF(1, 2, 2) = 0;               // the link keys at 0
  frame.ICMREF(1, 4, 2) = 0;
  const int old_order[] = {4, 3, 2, 5, 1};
  for (int i = 1; i <= 5; ++i) frame.ISORT(i) = old_order[i - 1];
  BUILD_ISORT(frame, surface, subsurface);
  // Dry, already in order: 4 (8), 2 (3), 5 (0), 1 (0). The wet 3 (8) is not strictly
  // above 4's 8, but is above 2's 3.
  EXPECT_EQ(isort(), (std::vector<int>{4, 3, 2, 5, 1}));
  subsurface.PHREATIC_LEVEL(3) = 8.0 + 1e-9;
  BUILD_ISORT(frame, surface, subsurface);
  EXPECT_EQ(frame.ISORT(1), 3);
}

TEST_F(BuildIsortTest, WetnessThresholdIsTheSinglePrecisionTenNanometres) {
  // Water exactly at the threshold is dry; the double 1e-8 lies above it and is wet.
  for (int e = 1; e <= 5; ++e) frame.ZGRUND(e) = 0.0;
  surface.HRF.fill(0.0);
  subsurface.PHREATIC_LEVEL.fill(-1.0);
  subsurface.PHREATIC_LEVEL(3) = -0.5;
  subsurface.PHREATIC_LEVEL(5) = -0.5;
  frame.ICMREF(1, 2, 2) = 0;
  frame.ICMREF(1, 4, 2) = 0;  // the link keys at 0, ahead of everything
  surface.HRF(3) = static_cast<double>(1e-8f);  // dry: keyed by its level -0.5
  surface.HRF(5) = 1e-8;                        // wet: merged on its level -0.5
  BUILD_ISORT(frame, surface, subsurface);
  // Dry: 1 (0), 2 (-1), 3 (-0.5), 4 (-1) -> gap 1 over positions 2..3: 1, 3, 2, 4.
  // The wet 5 (-0.5) is not above 0 or -0.5, but is above -1.
  EXPECT_EQ(isort(), (std::vector<int>{1, 3, 5, 2, 4}));
}

TEST_F(BuildIsortTest, SingleElementChangesNothing) {
  frame.NEL = 1;
  frame.ISORT.resize(1, 1);
  subsurface.PHREATIC_LEVEL(1) = 42.0;
  BUILD_ISORT(frame, surface, subsurface);
  EXPECT_EQ(frame.ISORT(1), 1);
  EXPECT_EQ(subsurface.PHREATIC_LEVEL(1), 42.0);
}

}  // namespace
}  // namespace quendal
