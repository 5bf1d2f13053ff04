// The run parameters against the fixture's mesh, written out by hand.
#include "output/visualisation/run_metadata.h"

#include <gtest/gtest.h>

#include "output/visualisation/vis_fixture.h"

namespace quendal {
namespace {

using testing::VisFixture;
using V = std::vector<int>;

struct VisMetadataTest : VisFixture {};

TEST_F(VisMetadataTest, PassOneSendsTheDirectoriesAndFileNames) {
  model.io.names.RUN_DIR = "/runs/a/";
  model.io.names.START_DIR = "/home/u";
  model.io.names.HDF5_FILE_NAME = "/runs/a/out.h5";
  model.io.names.PLAN_FILE_NAME = "/runs/a/plan.txt";
  model.io.names.CHECK_FILE_NAME = "/runs/a/check.txt";
  VIS_SEND_RUN_METADATA(1, sources(), model.io.names, *layer);
  EXPECT_EQ(layer->calls, (std::vector<std::string>{
                              "SEND_P dirqq '/runs/a/' 0 0", "SEND_P rootdir '/home/u' 0 0",
                              "SEND_P ver 4 0 0", "SEND_P hdf5fname '/runs/a/out.h5' 0 0",
                              "SEND_P planfile '/runs/a/plan.txt' 0 0",
                              "SEND_P checkfile '/runs/a/check.txt' 0 0"}));
  layer->calls.clear();
  VIS_SEND_RUN_METADATA(3, sources(), model.io.names, *layer);
  EXPECT_TRUE(layer->calls.empty());
}

TEST_F(VisMetadataTest, PassTwoDescribesTheMesh) {
  model.sediment.NSED = 0;  // sediment off
  model.contaminant.NCON = 2;
  VIS_SEND_RUN_METADATA(2, sources(), model.io.names, *layer);
  EXPECT_EQ(layer->calls,
            (std::vector<std::string>{
                "SEND_P north 2 0 0", "SEND_P east 1 0 0", "SEND_P south 4 0 0",
                "SEND_P west 3 0 0", "SEND_P grid_nx 3 0 0", "SEND_P grid_ny 3 0 0",
                "SEND_P top_cell 4 0 0", "SEND_P nel 11 0 0", "SEND_P nsed 0 0 0",
                "SEND_P ncon 2 0 0", "SEND_P is_square flags 11 0", "SEND_P is_bank flags 11 0",
                "SEND_P is_link flags 11 0", "SEND_P su ints 3 3", "SEND_P bank_no ints 11 4",
                "SEND_P river_no ints 11 4"}));
  const bool T = true, F = false;
  EXPECT_EQ(layer->flag_arrays["is_square"], (std::vector<bool>{F, F, F, T, T, T, T, T, T, T, T}));
  EXPECT_EQ(layer->flag_arrays["is_bank"], (std::vector<bool>{F, T, T, F, F, F, F, F, F, F, F}));
  EXPECT_EQ(layer->flag_arrays["is_link"], (std::vector<bool>{T, F, F, F, F, F, F, F, F, F, F}));
  // Plan row 1 is grid row 3, whose first cell is outside the catchment.
  EXPECT_EQ(layer->int_arrays["su"], (V{0, 10, 11, /**/ 7, 8, 9, /**/ 4, 5, 6}));
  // Faces 1 to 4 in turn, elements 1 to 11 within each face: -1 for no neighbour of a
  // square, 0 on the link and its banks. Square 5 has the south bank (3) on its north
  // face, square 8 the north bank (2) on its south face; the link (1) lies beyond both.
  const V none = {0, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1};
  auto with = [&](int element, int value) {
    V faces = none;
    faces[element - 1] = value;
    return faces;
  };
  auto concat = [](std::initializer_list<V> parts) {
    V all;
    for (const V& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  EXPECT_EQ(layer->int_arrays["bank_no"], concat({none, with(5, 3), none, with(8, 2)}));
  EXPECT_EQ(layer->int_arrays["river_no"], concat({none, with(5, 1), none, with(8, 1)}));
}

TEST_F(VisMetadataTest, WithoutBanksALinkBesideASquareIsItsRiver) {
  testing::build_mesh(frame, 2, 2, {{1, 2}}, {}, false);
  NUMBER_ELEMENTS(frame, model.io, false);
  ASSERT_EQ(frame.NEL, 5);  // link 1; squares 2, 3 (row 1), 4, 5 (row 2)
  VIS_SEND_RUN_METADATA(2, sources(), model.io.names, *layer);
  V no_banks;
  for (int f = 1; f <= 4; ++f) no_banks.insert(no_banks.end(), {0, -1, -1, -1, -1});
  EXPECT_EQ(layer->int_arrays["bank_no"], no_banks);
  // The link lies north of square 2 and south of square 4.
  EXPECT_EQ(layer->int_arrays["river_no"],
            (V{0, -1, -1, -1, -1, /**/ 0, 1, -1, -1, -1, /**/ 0, -1, -1, -1, -1,
               /**/ 0, -1, -1, 1, -1}));
  EXPECT_EQ(layer->flag_arrays["is_bank"], (std::vector<bool>(5, false)));
}

}  // namespace
}  // namespace quendal
