// The bank data file on the banks-on T-junction fixture: 4 links, bank elements 5 to 12,
// grid squares 13 to 32.
#include "frame/bank_data.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "frame/frame_data.h"
#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

constexpr double BANK_FULL = 50.0;  // m, every link's bank-full level

struct BankDataTest : testing::ModelWithFiles {
  void SetUp() override {
    ModelWithFiles::SetUp();
    ASSERT_TRUE(model.io.units.open(
        FRAME_DATA_UNIT, testing::source_dir() + "/tests/frame/fixtures/banks_frame.txt",
        UnitDirection::Input));
    INFR(model.frame, model.io);
    ASSERT_EQ(model.frame.NEL, 32);
    const int nel = model.frame.NEL;
    SurfaceState& s = model.surface;
    s.ZBFULL.resize(model.frame.NLF, BANK_FULL);
    s.STRX.resize(nel, 3.0);
    s.STRY.resize(nel, 4.0);
    s.HRF.resize(nel, 0.0);
    // Every element holds 0.2 m of water.
    for (int e = 1; e <= nel; ++e) s.HRF(e) = model.frame.ZGRUND(e) + 0.2;
  }
  bool is_bank(int e) const { return e >= 5 && e <= 12; }

  // A bank data file: class c takes the block given for it, every other class copies
  // from the neighbours (type 1).
  void read(std::map<int, std::string> blocks) {
    std::string text = "Bank data of the fixture\n      T\n";
    for (int c = 1; c <= 13; ++c) {
      text += "Class " + std::to_string(c) + "\n";
      text += blocks.count(c) ? blocks[c] : "      1      0\n";
    }
    open_input(16, "bkd.txt", text);
    BK_READ_DATA_FILE(model);
  }
};

// Ground at bank-full + 0.5 m; the water keeps the depth of the square the bank copies
// from (0.2 m), so a bank's level follows its own ground, not the square's.
TEST_F(BankDataTest, OneValueAboveBankFullAndWaterDepthCopied) {
  read({{1, "      2      0\n    0.5\n"}});
  for (int e = 5; e <= 12; ++e) {
    EXPECT_EQ(model.frame.ZGRUND(e), BANK_FULL + 0.5) << e;
    EXPECT_NEAR(model.surface.HRF(e) - model.frame.ZGRUND(e), 0.2, 1e-12) << e;  // round-off of ~50 m
    EXPECT_EQ(model.surface.STRX(e), 3.0);
  }
  EXPECT_NE(print_text().find(" DEFAULT VALUE        0.500 USED IN ALL BANK ELEMENTS"),
            std::string::npos);
}

// Type 4 reads 2 x NLF = 8 pairs, five to a line; a pair naming a grid square is ignored
// and the bank element it leaves out keeps its ground, with a warning.
TEST_F(BankDataTest, ValuePerElementTakesAbsoluteLevelsAndWarnsOfAMissingBank) {
  const double before = model.frame.ZGRUND(12);
  read({{1, "      4      8\n"
            "      5   60.5      6   61.5      7   62.5      8   63.5      9   64.5\n"
            "     10   65.5     11   66.5     20   99.0\n"},
        {2, "      2      0\n      1\n"}});  // the next class starts right after 8 pairs
  for (int e = 5; e <= 11; ++e) EXPECT_EQ(model.frame.ZGRUND(e), 55.5 + e) << e;
  EXPECT_EQ(model.frame.ZGRUND(12), before);
  EXPECT_NE(model.frame.ZGRUND(20), 99.0);
  const std::string print = print_text();
  EXPECT_NE(print.find("WARNING 1089"), std::string::npos);
  EXPECT_NE(print.find("bank element    12 is not listed"), std::string::npos);
}

// Input types the reader cannot use: a class that stores values stops the run; one
// that stores nothing (5, 8, 9) is warned about and reading goes on.
struct UnusableInputType {
  int data_class;
  const char* header;
  bool fatal;
  const char* text;
};
struct BankDataInputTypeTest : BankDataTest, ::testing::WithParamInterface<UnusableInputType> {};

TEST_P(BankDataInputTypeTest, ClassesThatStoreValuesStop) {
  const UnusableInputType& c = GetParam();
  if (c.fatal) {
    EXPECT_THROW(read({{c.data_class, c.header}}), FatalError);
  } else {
    read({{c.data_class, c.header}});
    EXPECT_EQ(model.frame.ZGRUND(5), BANK_FULL);  // class 1 (type 1) was read and stored
    EXPECT_NEAR(model.surface.HRF(5) - model.frame.ZGRUND(5), 0.2, 1e-12);  // class 13, read after it
  }
  EXPECT_NE(print_text().find(c.text), std::string::npos) << print_text();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BankDataInputTypeTest,
    ::testing::Values(
        UnusableInputType{1, "      3      0\n", true, "BKD input type 3 (data class, value) not supported"},
        UnusableInputType{1, "      0      0\n", true, "FATAL ERROR 1089"},
        UnusableInputType{12, "      5      0\n", true, "FATAL ERROR 1089"},
        UnusableInputType{8, "      7      0\n", false, "WARNING 1089"}));

}  // namespace
}  // namespace quendal
