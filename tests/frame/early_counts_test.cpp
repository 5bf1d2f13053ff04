#include "frame/early_counts.h"

#include <gtest/gtest.h>

#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

using testing::read_file;

struct EarlyCountsTest : testing::ModelWithFiles {
  void open(int unit, const std::string& text) {
    open_input(unit, "f" + std::to_string(unit), text);
  }
};

TEST_F(EarlyCountsTest, CountsFollowTheirSectionLinesAndTheFileIsRewound) {
  open(17, "title\n:SY10\n 9\n:SY11 number of size groups\n\n  3 other\n");
  open(18, "title\n#CM3\n 2\n");
  GET_NSED_EARLY(model.sediment, model.io);
  GET_NCON_EARLY(model.contaminant, model.io);
  EXPECT_EQ(model.sediment.NSED, 3);  // the count may stand on a later record
  EXPECT_EQ(model.contaminant.NCON, 2);
  std::string first;
  ASSERT_TRUE(model.io.units.unit(17).read_record(first));
  EXPECT_EQ(first, "title");
}

TEST_F(EarlyCountsTest, MissingLineOrCountIsFatal) {
  open(17, "title\n:SY1\n");
  EXPECT_THROW(GET_NSED_EARLY(model.sediment, model.io), FatalError);
  open(18, ":CM3\n x\n");
  EXPECT_THROW(GET_NCON_EARLY(model.contaminant, model.io), FatalError);
  model.io.units.flush_all();
  std::string print = read_file(print_path);
  EXPECT_NE(print.find(" !!!FATAL ERROR 0001 at time =        0.00 hours\n"
                       "        GET_NSED_EARLY failed to find line :SY11 in sediment data file\n"),
            std::string::npos)
      << print;
  EXPECT_NE(print.find("        GET_NCON_EARLY failed to read NCON\n"), std::string::npos);
}

// The contaminant data file has both ":CM3" and ":CM31": only a line whose tag ends
// after ":CM3" holds the count.
TEST_F(EarlyCountsTest, ContaminantCountLineMustHoldItsOwnTag) {
  open(18, ":CM1\ntitle\n:CM31 rows\n 7 0.1\n:CM3 NCON\n 3\n");
  GET_NCON_EARLY(model.contaminant, model.io);
  EXPECT_EQ(model.contaminant.NCON, 3);

  model.io.units.close(18);
  open(18, ":CM1\ntitle\n:CM31 rows\n 7 0.1\n");
  EXPECT_THROW(GET_NCON_EARLY(model.contaminant, model.io), FatalError);
  EXPECT_NE(print_text().find(
                "        GET_NCON_EARLY failed to find line :CM3 in contaminant data file\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quendal
