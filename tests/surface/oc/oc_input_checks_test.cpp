// The three groups of OC checks: each failure is counted as an error and a group that
// counted any ends with fatal error 1000.
#include "surface/oc/oc_input_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "surface/oc/oc_fixture.h"

namespace quendal {
namespace {

std::string message_line(const std::string& text, std::size_t length) {
  std::string s = text;
  s.resize(length, ' ');
  return "        " + s + "\n";
}

const std::string GROUP_1_FATAL =
    " !!!FATAL ERROR 1000 at time =        0.00 hours\n"
    "        Error(s) detected while checking OC input variables & constants\n";
const std::string GROUP_2_FATAL =
    " !!!FATAL ERROR 1000 at time =        0.00 hours\n"
    "        Error(s) detected while checking static OC input arrays\n";
const std::string GROUP_3_FATAL =
    " !!!FATAL ERROR 1000 at time =        0.00 hours\n"
    "        Error(s) detected while checking OC input data\n";

// 2 x 2 squares with one link on the south face of cell (1, 2): link 1, squares 2 to 5.
struct OcChecksTest : testing::OcFixture {
  void SetUp() override {
    OcFixture::SetUp();
    build(2, 2, {{1, 2}}, {}, false);
  }
};

TEST_F(OcChecksTest, MissingOcDataFileFailsTheFirstGroup) {
  EXPECT_THROW(OC_CHECK_VARIABLES(frame, model.io), FatalError);
  const std::string text = print_text();
  EXPECT_EQ(text, "\n !!!      ERROR 1008 at time =        0.00 hours\n" +
                      message_line("File unit OCD =  12 is not connected to a file", 47) +
                      "\n\n\n\n" + GROUP_1_FATAL);
}

TEST_F(OcChecksTest, WithoutPrintFileTheFirstGroupReportsOnTheConsole) {
  open_oc_file("OC data\n");
  model.io.units.close(PRINT_UNIT);
  EXPECT_THROW(OC_CHECK_VARIABLES(frame, model.io), FatalError);
  const std::string console = console_text();
  EXPECT_NE(console.find(message_line("File unit PRI =  23 is not connected to a file", 47)),
            std::string::npos)
      << console;
  EXPECT_NE(console.find(GROUP_1_FATAL), std::string::npos) << console;
}

TEST_F(OcChecksTest, CountsThatDisagreeFailTheFirstGroup) {
  open_oc_file("OC data\n");
  OC_CHECK_VARIABLES(frame, model.io);  // the catchment as numbered passes
  frame.NGDBGN = 3;
  EXPECT_THROW(OC_CHECK_VARIABLES(frame, model.io), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find(" !!!      ERROR 1003 at time =        0.00 hours\n        Checking  NGDBGN: "
                      "expected .EQ.           2 but found           3"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(GROUP_1_FATAL), std::string::npos);
}

// A weir code on a face that carries no link: the element table does not match the face
// codes. The failing value shows the code, the position its column and row.
TEST_F(OcChecksTest, WeirCodeWithoutLinkFailsTheSecondGroup) {
  OC_CHECK_STATIC_ARRAYS(frame, model.io);  // as numbered, consistent
  frame.LCODEY(2, 2) = OC_BC_WEIR;
  EXPECT_THROW(OC_CHECK_STATIC_ARRAYS(frame, model.io), FatalError);
  const std::string text = print_text();
  EXPECT_NE(text.find(" !!!      ERROR 1058 at time =        0.00 hours\n        Checking  "
                      "validity_of_LCODEY(x,y): expected .EQ.           0 but found           7 at "
                      "position    2,   2"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(GROUP_2_FATAL), std::string::npos);
}

TEST_F(OcChecksTest, NeighbourBeyondTheElementsFailsTheSecondGroup) {
  frame.ICMREF(3, 2, 2) = 6;
  EXPECT_THROW(OC_CHECK_STATIC_ARRAYS(frame, model.io), FatalError);
  EXPECT_NE(print_text().find("Checking  ICMREF(iel,face,2): expected .LE.           5 but found "
                              "          6 at position    3,   2,   2"),
            std::string::npos);
}

// The input data group on a valid set of data, then broken one way at a time.
struct InputDataCase {
  const char* what;
  void (*breaks)(SurfaceState&);
  int number;
  std::string check;  // the start of the failing check's message
};

TEST_F(OcChecksTest, InputDataFailures) {
  auto valid = [](testing::OcFixture& f) {
    SurfaceState& s = f.surface;
    for (int e = 1; e <= f.frame.NEL; ++e) s.STRX(e) = s.STRY(e) = 2.0;
    s.NXSECT(1) = 3;
    const double w[] = {2.0, 3.0, 4.0}, h[] = {0.0, 0.5, 1.0};
    for (int j = 1; j <= 3; ++j) {
      s.XINW(1, j) = w[j - 1];
      s.XINH(1, j) = h[j - 1];
    }
  };
  const std::vector<InputDataCase> cases = {
      {"zero roughness of a square", [](SurfaceState& s) { s.STRY(4) = 0.0; }, 1010,
       "Checking  STRY(iel): expected .GT.   0.000000     but found   0.000000     at position    "
       "4"},
      {"section not starting at the bed", [](SurfaceState& s) { s.XINH(1, 1) = 0.1; }, 1016,
       "Checking  XINH(link)[j=1]: expected .EQ.   0.000000     but found  0.1000000     at "
       "position    1"},
      {"heights 0, 1, 1", [](SurfaceState& s) { s.XINH(1, 2) = 1.0; }, 1017,
       "Checking  XINH[ link =  1](j): expected .GT.   1.000000     but found   1.000000     at "
       "position    2"},
      {"widths shrinking", [](SurfaceState& s) { s.XINW(1, 2) = 1.5; }, 1017,
       "Checking  XINW[ link =  1](j): expected .GE.   2.000000     but found   1.500000     at "
       "position    1"},
      {"top width zero", [](SurfaceState& s) { s.XINW(1, 1) = s.XINW(1, 2) = s.XINW(1, 3) = 0.0; },
       1056,
       "Checking  XINW[link,NXSECT(link)]: expected .GT.   0.000000     but found   0.000000     "
       "at position    1"},
      {"head categories without their series file",
       [](SurfaceState& s) { s.OC_N_HEAD_CATEGORIES = 1; }, 1008,
       "File unit OHB =  38 is not connected to a file"},
  };
  for (const InputDataCase& c : cases) {
    SCOPED_TRACE(c.what);
    testing::StandaloneOcFixture f;
    f.SetUp();
    f.build(2, 2, {{1, 2}}, {}, false);
    valid(f);
    OC_CHECK_INPUT_DATA(f.frame, f.surface, f.model.io);
    c.breaks(f.surface);
    EXPECT_THROW(OC_CHECK_INPUT_DATA(f.frame, f.surface, f.model.io), FatalError);
    const std::string text = f.print_text();
    EXPECT_NE(text.find(" !!!      ERROR " + std::to_string(c.number) +
                        " at time =        0.00 hours\n        " + c.check),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(GROUP_3_FATAL), std::string::npos) << text;
    EXPECT_EQ(f.model.io.errors.ERROR_TOTAL, 2);
    f.TearDown();
  }
}

}  // namespace
}  // namespace quendal
