#include "surface/surface_state.h"

#include <gtest/gtest.h>

namespace quendal {
namespace {

// Two grid squares side by side, A (element 1) west of B (element 2), and one link.
struct SurfaceWaterTest : ::testing::Test {
  SurfaceState surface;
  void SetUp() override { size_surface_water_state(surface, 2, 1, 0); }
};

TEST_F(SurfaceWaterTest, SizedToTheRunAndZero) {
  EXPECT_EQ(surface.HRF.size(), 2);
  EXPECT_EQ(surface.QSA.extent(1), 2);
  EXPECT_EQ(surface.QSA.extent(2), 4);
  EXPECT_EQ(surface.ARXL.size(), 1);
  EXPECT_EQ(surface.ARXL(1), 0.0);  // no OC step yet: no water in the channel
  EXPECT_EQ(surface.DQIST2.extent(1), 0);
}

TEST_F(SurfaceWaterTest, AccessorsReadAndWriteTheArrays) {
  surface.SET_HRF(2, 101.25);
  EXPECT_EQ(surface.HRF(2), 101.25);
  EXPECT_EQ(GET_HRF(surface, 2), 101.25);
  SET_HRF(surface, 1, 99.5);
  EXPECT_EQ(surface.GET_HRF(1), 99.5);
  surface.SET_QSA(1, 3, -0.5);
  EXPECT_EQ(surface.QSA(1, 3), -0.5);
  EXPECT_EQ(GET_QSA(surface, 1, 3), -0.5);
}

// Water moving east from A into B leaves A through its east face and enters B through
// its west face; published, it is the same eastward flow on both sides of the face.
// An outflow through a southern boundary face is southward: negative.
TEST_F(SurfaceWaterTest, PublishedFlowsPointAlongTheAxes) {
  SET_QSA(surface, 1, 1, -0.3);  // out of A, east face
  SET_QSA(surface, 2, 3, 0.3);   // into B, west face
  SET_QSA(surface, 2, 4, -0.1);  // out of B, south boundary
  SET_QSA(surface, 1, 2, 0.2);   // into A from the north: southward
  publish_face_flows(surface, 2);
  EXPECT_EQ(surface.QOC(1, 1), 0.3);
  EXPECT_EQ(surface.QOC(2, 3), 0.3);
  EXPECT_EQ(surface.QOC(2, 4), -0.1);
  EXPECT_EQ(surface.QOC(1, 2), -0.2);
}

TEST_F(SurfaceWaterTest, CopyOfAllFaceFlows) {
  SET_QSA(surface, 2, 4, 7.0);
  Array2<double> all = GET_QSA_ALL(surface, 2);
  ASSERT_EQ(all.extent(1), 2);
  ASSERT_EQ(all.extent(2), 4);
  EXPECT_EQ(all(2, 4), 7.0);
  all(2, 4) = 0.0;  // a copy: the state is untouched
  EXPECT_EQ(GET_QSA(surface, 2, 4), 7.0);
  const Array2<double> none = GET_QSA_ALL(surface, 0);
  EXPECT_EQ(none.extent(1), 0);
  EXPECT_EQ(none.extent(2), 4);
  EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace quendal
