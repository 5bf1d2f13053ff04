// The example catchment's OC data through the built program: the echo of a good file,
// and runs that the OC data or its checks must stop.
#include <gtest/gtest.h>

#include <filesystem>

#include "example_copy.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;


TEST(OcExample, EchoesTheLinksAndTheOutletWeir) {
  testing::ExampleCopy ex;
  // Two days are enough to see the set-up through.
  ex.replace("example_frame.txt", "1990 1 11 0 0", "1990 1 3 0 0");
  auto r = ex.run();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string print = ex.print();
  EXPECT_NE(print.find("---- OC MODULE  INPUT DATA PROCESSING ----\n"), std::string::npos);
  EXPECT_NE(print.find("     Link Element Data:\n"), std::string::npos);
  EXPECT_NE(print.find("              11    102.000      0.200     30.000      2.000      0.000\n"),
            std::string::npos)
      << print;
  EXPECT_NE(print.find("     OC Boundary Conditions:\n"
                       "\n"
                       "        Index Element    Face        Type  Category  Coefficients\n"
                       "            1      11       1        weir         1   6.80000      0.670000"
                       "       102.200       101.000       0.00000    \n"),
            std::string::npos)
      << print;
  EXPECT_NE(print.find("---- OC MODULE  END OF INPUT DATA PROCESSING ----\n"), std::string::npos);
}

TEST(OcExample, HeadCategoryOutOfRangeEndsTheRunWith1049) {
  testing::ExampleCopy ex;
  std::string grid = "Head boundary categories\n";
  for (int row = 10; row >= 1; --row) {
    grid += (row == 10 ? "     10 " : "      " + std::to_string(row) + " ") +
            std::string(row == 4 ? "000030000000" : "000000000000") + "\n";
  }
  ex.replace("example_oc.txt", "      0      0      0\n", "      2      0      0\n" + grid);
  auto r = ex.run();
  EXPECT_EQ(r.status, 1) << r.output;
  const std::string print = ex.print();
  EXPECT_NE(print.find(" !!!      ERROR 1020 at time =        0.00 hours, iel ="),
            std::string::npos);
  EXPECT_NE(print.find("        ERROR IN OC HEAD BOUNDARY GRID"), std::string::npos);
  EXPECT_NE(print.find(" !!!FATAL ERROR 1049 at time =        0.00 hours\n"
                       "            1 ERROR(S) FOUND DURING OC INPUT DATA PROCESSING"),
            std::string::npos)
      << print;
}

TEST(OcExample, SectionHeightsNotRisingEndTheRunWith1000) {
  testing::ExampleCopy ex;
  ex.replace("example_oc.txt", "    2.0    0.0    4.0    1.0\n", "    2.0    0.0    4.0    0.0\n");
  auto r = ex.run();
  EXPECT_EQ(r.status, 1) << r.output;
  const std::string print = ex.print();
  EXPECT_NE(print.find(" !!!      ERROR 1017 at time ="), std::string::npos) << print;
  EXPECT_NE(print.find("        Checking  XINH[ link =  1](j): expected .GT."), std::string::npos);
  EXPECT_NE(print.find(" !!!FATAL ERROR 1000 at time =        0.00 hours\n"
                       "        Error(s) detected while checking OC input data\n"),
            std::string::npos);
}

TEST(OcExample, NoOcDataFileEndsTheRunWith1000) {
  testing::ExampleCopy ex;
  ex.replace("rundata_example.txt", "(unit 12)\nexample_oc.txt", "(unit 12)\n0");
  auto r = ex.run();
  EXPECT_EQ(r.status, 1) << r.output;
  const std::string print = ex.print();
  EXPECT_NE(print.find(" !!!      ERROR 1008 at time =        0.00 hours\n"
                       "        File unit OCD =  12 is not connected to a file"),
            std::string::npos)
      << print;
  EXPECT_NE(print.find(" !!!FATAL ERROR 1000 at time =        0.00 hours\n"
                       "        Error(s) detected while checking OC input variables & constants\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quendal
