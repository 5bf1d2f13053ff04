#include "sediment/sy_data_file.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "sediment/sediment_fixture.h"
#include "sediment/sy_input_checks.h"

namespace quendal {
namespace {

using testing::lines_of;
using testing::SYD_ONE_LINK;

struct SyReadTest : testing::SedimentMesh {};

TEST_F(SyReadTest, SoundFileFillsTheStateAndEchoesNameTitleAndVersion) {
  build(true);
  syd(SYD_ONE_LINK);
  SYREAD(frame, 2, sediment, io);
  EXPECT_EQ(sediment.NSED, 3);
  EXPECT_EQ(sediment.NEPS, 2);
  EXPECT_EQ(sediment.NFINE, 1);
  EXPECT_EQ(sediment.DCBEDO, 0.1);
  EXPECT_EQ(sediment.SY_FINES_CONCENTRATION_LIMIT, 0.001);
  EXPECT_EQ(sediment.DRSED(3), 0.003);
  EXPECT_EQ(sediment.RHOSO(2), 1400.0);
  EXPECT_EQ(sediment.BKB(1), 1e-6);
  EXPECT_EQ(sediment.SOSDFN(2, 1), 0.6);
  EXPECT_EQ(sediment.FDRIP(1), 1.0);
  EXPECT_EQ(sediment.NTSOBK(1), 2);
  EXPECT_EQ(sediment.PBSED(1), 0.4);
  EXPECT_EQ(sediment.DLS(1), 0.3);
  // Squares 4..7 are cells (1,1), (2,1), (1,2), (2,2); the north bank (2) takes the
  // square beyond its north face (6), the south bank (3) that beyond its south face (4).
  const double dls[8] = {0, 0.3, 0.001, 0.003, 0.003, 0.004, 0.001, 0.002};
  for (int e = 1; e <= 7; ++e) EXPECT_EQ(sediment.DLS(e), dls[e]) << e;
  // Option -1: the link's bed is its bank soil 2, every column its top soil 1.
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(sediment.FBETA(1, k), sediment.SOSDFN(2, k));
    for (int e = 2; e <= 7; ++e) EXPECT_EQ(sediment.FBETA(e, k), sediment.SOSDFN(1, k)) << e;
  }
  EXPECT_EQ(sediment.FCG(2), 0.3);  // option 1 reaches the bank elements too
  EXPECT_EQ(sediment.FCG(1), 0.0);  // and never a link
  EXPECT_EQ(sediment.NSYB, 0);

  auto lines = lines_of(print_text());
  ASSERT_EQ(lines.size(), 9u) << print_text();
  EXPECT_EQ(lines[0].rfind(" SYD data file open: unit 17; ", 0), 0u);
  EXPECT_EQ(lines[3], " " + std::string("Small test catchment") + std::string(60, ' '));
  EXPECT_EQ(lines[5], "    SY Module Version 4.2.7");
  EXPECT_EQ(lines[7].rfind(" SYD data file closed: unit 17; ", 0), 0u);
  EXPECT_FALSE(io.units.is_open(SY_DATA_UNIT));
}

// Without links :SY11 holds 5 integers and :SY12 2 reals, :SY31 and :SY32 are absent and
// no element section has an "a" or "d" block; the link values keep their zeros.
TEST_F(SyReadTest, CatchmentWithoutLinksReadsNoLinkValues) {
  build(false, false);
  syd(":SY01\nNo links\n:SY02\n4.2.7\n:SY11\n1 1 0 0 1\n:SY12\n0.05 0.01\n"
      ":SY21\n0.001\n:SY22\n1 1 1 1 1\n1 1 1 1 1\n:SY23\n1\n1\n:SY24\n0 0.005 1\n"
      ":SY41\n0\n:SY41b\n2 0.1 0.2\n1 0.3 0.4\n:SY42\n1\n:SY42c\n0\n:SY43\n1\n:SY43c\n0.4\n"
      ":SY51\n2\n:SY51c\n0.001\n0.002\n:SY51e\n      2 12\n      1 21\n"
      ":SY52\n1\n:SY52c\n1\n:SY53\n1\n:SY53c\n0\n:SY61\n0 0 0 0 0\n");
  SYREAD(frame, 2, sediment, io);
  EXPECT_EQ(sediment.NEPS, 1);
  EXPECT_EQ(sediment.DLSMAX, 0.01);
  EXPECT_EQ(sediment.SY_CHANNEL_CAPACITY_SWITCH, 0);
  EXPECT_EQ(sediment.NFINE, 0);
  EXPECT_EQ(sediment.DCBEDO, 0.0);
  // Squares 1..4 are cells (1,1), (2,1), (1,2), (2,2); the grids list row 2 first.
  const double fcg[5] = {0, 0.3, 0.4, 0.1, 0.2};
  const double dls[5] = {0, 0.002, 0.001, 0.001, 0.002};
  for (int e = 1; e <= 4; ++e) {
    EXPECT_EQ(sediment.FCG(e), fcg[e]) << e;
    EXPECT_EQ(sediment.DLS(e), dls[e]) << e;
  }
  EXPECT_EQ(report_numbers(), std::vector<std::string>{});
}

TEST_F(SyReadTest, OtherVersionOrMissingTagWarnsAndReadingGoesOn) {
  struct Case {
    const char* from;
    const char* to;
    const char* number;
    const char* message;
  } cases[] = {
      {"4.2.7\n", "4.3.0\n", "2011", "SY module is version 4.2.7; SYD data file is version 4.3.0"},
      {":SY21 diameters", "diameters", "0002", "Title line mismatch: expected \":SY21\""},
  };
  build(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    io.units.open(PRINT_UNIT, print_path, UnitDirection::Output);  // emptied
    syd(changed(c.from, c.to));
    SYREAD(frame, 2, sediment, io);
    EXPECT_EQ(sediment.DRSED(2), 0.002);  // read on
    EXPECT_EQ(report_numbers(), std::vector<std::string>{c.number});
    EXPECT_NE(print_text().find(std::string("!!!    WARNING ") + c.number), std::string::npos);
    EXPECT_NE(print_text().find(c.message), std::string::npos) << print_text();
  }
}

// Nothing follows :SY11 here: a reader that went on would fail on the missing :SY12.
TEST_F(SyReadTest, SizeGroupCountOutsideTheRoomStopsRightAfterItsSection) {
  build(true);
  syd(":SY01\nt\n:SY02\n4.2.7\n:SY11\n8 1 0 0 2 2 0 1\n");
  EXPECT_THROW(SYREAD(frame, 2, sediment, io), FatalError);
  EXPECT_EQ(report_numbers(), std::vector<std::string>{"2006"});
  EXPECT_NE(print_text().find("        No. of size groups NSED=   8 is not in range [1,NSEDEE=  7]"),
            std::string::npos);
}

TEST_F(SyReadTest, BoundaryCountsAndCategories) {
  build(true);
  // Type 2, category 1 follows the 3 steady flux categories of type 1: stored as 4.
  syd(changed(":SY61 boundaries\n0 0 0 0 0\n",
              ":SY61\n2 3 1 1 0\n:SY62\n4 1 2\n5 2 1\n:SY63\n1 2 3\n4 5 6\n7 8 9\n"
              ":SY64\n0.1 1 0.2 2 0.3 3\n"));
  SYREAD(frame, 2, sediment, io);
  EXPECT_EQ(sediment.NSYB, 2);
  EXPECT_EQ(sediment.NSYBCD(1, 3), 2);
  EXPECT_EQ(sediment.NSYBCD(2, 1), 5);
  EXPECT_EQ(sediment.NSYBCD(2, 3), 4);
  EXPECT_EQ(sediment.GBC(3, 2), 6.0);
  EXPECT_EQ(sediment.ABC(2, 1), 0.2);
  EXPECT_EQ(sediment.BBC(3, 1), 3.0);
}

// No boundaries: the file ends after :SY61 whatever the category counts say.
TEST_F(SyReadTest, WithoutBoundariesTheFileEndsAfterTheirCounts) {
  build(true);
  syd(changed(":SY61 boundaries\n0 0 0 0 0\n", ":SY61\n0 3 0 0 0\n:SY63\nnot numbers\n"));
  SYREAD(frame, 2, sediment, io);
  EXPECT_EQ(sediment.NSYC(1), 3);
  EXPECT_EQ(report_numbers(), std::vector<std::string>{});
}

TEST_F(SyReadTest, BoundaryRoomsAndTypesAreFatal) {
  struct Case {
    const char* boundaries;
    const char* number;
    const char* message;
  } cases[] = {
      {":SY61\n41 0 0 0 0\n", "2007", "No. of boundaries NSYB=   41 is greater than NSYBEE=  40]"},
      {":SY61\n1 0 0 0 0\n:SY62\n4 5 1\n", "2008", "Boundary type NSYBCD(   1,2)= 5 is not is the range [1,4]"},
      {":SY61\n1 11 0 0 0\n:SY62\n4 1 1\n", "2009",
       "No. of steady flux categories NSYC(1)=  11 is greater than NSYCEE= 10]"},
      {":SY61\n1 0 0 11 0\n:SY62\n4 3 1\n", "2010",
       "No. of steady rating categories NSYC(3)=  11 is greater than NSYCEE= 10]"},
  };
  build(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    io.units.open(PRINT_UNIT, print_path, UnitDirection::Output);  // emptied
    syd(changed(":SY61 boundaries\n0 0 0 0 0\n", c.boundaries));
    EXPECT_THROW(SYREAD(frame, 2, sediment, io), FatalError);
    EXPECT_EQ(report_numbers(), std::vector<std::string>{c.number});
    EXPECT_NE(print_text().find(std::string("        ") + c.message), std::string::npos) << print_text();
  }
}

// A check of values read names, on the line after its report, the record they were
// read from; a sum or a boundary's row names the values it is made of.
TEST_F(SyReadTest, InputChecksNameTheRecordOfTheValuesChecked) {
  struct Case {
    const char* from;
    const char* to;
    const char* number;
    const char* place;  // in "the value was read from file syd.txt, record ..."
  } cases[] = {
      {"0.2 0.3 0.5\n", "0.2 0.3 0.6\n", "2024", "record 15, columns 1-11: \"0.2 0.3 0.6\""},
      // Six series categories beside five steady ones: more than the room of 10.
      {":SY61 boundaries\n0 0 0 0 0\n",
       ":SY61\n1 5 6 0 0\n:SY62\n4 1 1\n:SY63\n1 2 3\n1 2 3\n1 2 3\n1 2 3\n1 2 3\n", "2036",
       "record 49, columns 1-9: \"1 5 6 0 0\""},
      {":SY61 boundaries\n0 0 0 0 0\n", ":SY61\n1 0 0 0 0\n:SY62\n  99 1 1\n", "2037",
       "record 51, columns 3-8: \"99 1 1\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    build(true);
    syd(changed(c.from, c.to));
    SYREAD(frame, 2, sediment, io);
    EXPECT_THROW(SY_CHECK_INPUT(frame, 2, sediment, SY_FLUX_SERIES_UNIT, SY_RATING_SERIES_UNIT, io),
                 FatalError);
    const std::vector<std::string> numbers = report_numbers();
    EXPECT_NE(std::find(numbers.begin(), numbers.end(), c.number), numbers.end());
    const std::vector<std::string> lines = lines_of(print_text());
    const auto report = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.find(std::string(" ") + c.number + " at time") != std::string::npos;
    });
    ASSERT_LT(report + 2, lines.end());
    EXPECT_NE(report[2].find("        the value was read from file "), std::string::npos) << report[2];
    EXPECT_NE(report[2].find(std::string("syd.txt, ") + c.place), std::string::npos) << report[2];
  }
}

// A bank soil outside the soil types copies nothing (and reads nothing outside SOSDFN,
// which the test build checks); the input check then refuses it.
TEST_F(SyReadTest, SoilCopyWithABankSoilOutOfRangeIsLeftToTheInputCheck) {
  build(true);
  syd(changed(":SY31 bank soils\n2\n", ":SY31 bank soils\n5\n"));
  SYREAD(frame, 2, sediment, io);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(sediment.FBETA(1, k), 0.0);
  EXPECT_EQ(sediment.FBETA(4, 3), 0.5);
  EXPECT_THROW(SY_CHECK_INPUT(frame, 2, sediment, SY_FLUX_SERIES_UNIT, SY_RATING_SERIES_UNIT, io),
               FatalError);
  // The copy left the link's composition summing to 0: 2034 reports that too.
  EXPECT_EQ(report_numbers(), (std::vector<std::string>{"2028", "2034", "2000"}));
  EXPECT_NE(print_text().find("Checking  NTSOBK(link): expected .LE." + std::string(11, ' ') +
                              "2 but found" + std::string(11, ' ') + "5 at position    1"),
            std::string::npos)
      << print_text();
}

}  // namespace
}  // namespace quendal
