// ZQ tables: reading the table file, the lookup with its daily operating column, and a
// table driving a face between two links of a small catchment.
#include "surface/oc/zq_tables.h"

#include <gtest/gtest.h>

#include <cmath>

#include "frame/mesh_builder.h"
#include "frame/topology.h"
#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

// Three east-west links in a row (a north-south one meets the last): links 1 and 2
// share a face. Diagnostics go to the scratch directory.
struct ZqTest : testing::ModelWithFiles {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  int link = 0, face = 0, other = 0, other_face = 0;  // a link-to-link face

  void SetUp() override {
    ModelWithFiles::SetUp();
    testing::build_mesh(frame, 4, 3, {{1, 2}, {2, 2}, {3, 2}}, {{4, 2}}, false);
    NUMBER_ELEMENTS(frame, model.io, false);
    for (int l = 1; l <= frame.NLF && link == 0; ++l) {
      for (int f = 1; f <= 4; ++f) {
        const int g = frame.ICMREF(l, f, 2);
        if (g > l && g <= frame.NLF) {
          link = l, face = f, other = g, other_face = frame.ICMREF(l, f, 3);
          break;
        }
      }
    }
    ASSERT_NE(link, 0);
    for (int unit : {ZQ_ECHO_UNIT, ZQ_LOOKUP_UNIT, ZQ_FLOW_UNIT}) {
      ASSERT_TRUE(model.io.units.open(unit, dir.file("zq" + std::to_string(unit)),
                                      UnitDirection::Output));
    }
  }
  // One table on `link`'s shared face: levels 10.0, 10.5, 11.0; column 2 from 9.0 m
  // gives 1, 2, 3 m3/s, column 3 from 10.6 m gives 5, 6, 7; operated at 06:00.
  std::string table_file(int count = 1, const std::string& heading = "Z >9.0 >10.6") {
    std::string text = "ZQ tables\n" + std::to_string(count) + "\n";
    for (int t = 1; t <= count; ++t) {
      text += "Table\n" + std::to_string(40 + t) + "\nLink\n" + std::to_string(link) +
              "\nFace\n" + std::to_string(face) + "\nHour\n6\nRows\n3\nColumns\n" + heading +
              "\n10.0 1 5\n10.5 2 6\n11.0, 3, 7\n";
    }
    return text;
  }
  void read(const std::string& text) {
    open_input(ZQ_TABLE_UNIT, "zq.txt", text);
    ZQ_READ_TABLES(frame, surface, model.io);
    surface.ZQ_DIAGNOSTICS_IO = &model.io;
  }
  double lookup(double uznow, double Zu) {
    frame.UZNOW = uznow;
    frame.UZNEXT = 1.0;
    return ZQ_LOOKUP_DISCHARGE(frame, surface, 1, Zu);
  }
  std::string unit_text(int unit) {
    model.io.units.flush_all();
    return testing::read_file(dir.file("zq" + std::to_string(unit)));
  }
};

TEST_F(ZqTest, TablesAreReadAndEchoed) {
  read(table_file(2));
  ASSERT_EQ(surface.ZQ_TABLE_COUNT, 2);
  const ZqTable& z = surface.ZQ_TABLES(1);
  EXPECT_EQ(z.ZQTableLink, link);
  EXPECT_EQ(z.ZQTableFace, face);
  EXPECT_EQ(z.ZQTableOpHour, 6);
  EXPECT_EQ(z.nZQrows, 3);
  EXPECT_EQ(z.zcol, 2);
  EXPECT_EQ(z.first_threshold(), 9.0);
  EXPECT_EQ(z.ZQ_TABLE_VALUES(3, 3), 7.0);
  EXPECT_EQ(z.nZQcols, 3);
  EXPECT_EQ(z.ZQthreshold[2], 10.6);
  EXPECT_EQ(z.ZQ_COLUMN_HEADINGS[0], "Z        ");
  const std::string echo = unit_text(ZQ_ECHO_UNIT);
  EXPECT_NE(echo.find(" ZQTableRef   = 42\n"), std::string::npos) << echo;
  EXPECT_NE(echo.find("      10.500       2.000       6.000"), std::string::npos) << echo;
  EXPECT_FALSE(model.io.units.is_open(ZQ_TABLE_UNIT));
}

// An ended or unreadable file, and a table the mesh cannot carry, stop the run.
TEST_F(ZqTest, BadFilesAndTablesStopTheRun) {
  std::string text = table_file();
  const std::string cases[] = {
      text.substr(0, text.size() - 10),                               // a row short
      text.substr(0, text.find("Rows\n3")) + "Rows\nthree\n",          // not a number
      text.substr(0, text.find("Face\n")) + "Face\n" + std::to_string(face % 4 + 1) +
          text.substr(text.find("\nHour")),                            // not a link face
      table_file(1, "Z"),                                             // no discharge column
      table_file(1, "Z >9.0  >10.6"),  // two blanks: an empty column without threshold
  };
  for (int c = 0; c < 5; ++c) {
    SCOPED_TRACE(cases[c]);
    const std::size_t console_before = console_text().size();
    EXPECT_THROW(read(cases[c]), FatalError);
    EXPECT_NE(print_text().find("1087"), std::string::npos);
    const bool read_error = c < 2 || c == 4;
    EXPECT_EQ(console_text().find("error reading ZQ table", console_before) != std::string::npos,
              read_error);
  }
}

// A level not above the row before it would hide the rows after it from the lookup (and
// divide the rating slope by zero); a negative discharge would draw water up through
// the structure. Either is refused with the table, the row, the file and its record
// (rows 1 to 3 are records 15 to 17), on the print file and the console.
TEST_F(ZqTest, LevelsMustRiseAndDischargesNotBeNegative) {
  const std::string rows = "\n10.0 1 5\n10.5 2 6\n11.0, 3, 7\n";
  const struct {
    const char* what;
    std::string rows;
    std::string named;
  } cases[] = {
      {"rows 2 and 3 swapped", "\n10.0 1 5\n11.0, 3, 7\n10.5 2 6\n",
       "ZQ table   1: row 3 (file " + dir.file("zq.txt") +
           ", record 17): level 10.5 m is not above the level of row 2, 11 m"},
      {"a level repeated", "\n10.0 1 5\n10.0 2 6\n11.0, 3, 7\n",
       "row 2 (file " + dir.file("zq.txt") + ", record 16): level 10 m is not above"},
      {"a negative discharge", "\n10.0 1 5\n10.5 2 -0.01521\n11.0, 3, 7\n",
       "row 2 (file " + dir.file("zq.txt") +
           ", record 16): discharge -0.01521 m3/s of column 3 (>10.6)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = table_file();
    text.replace(text.find(rows), rows.size(), c.rows);
    const std::size_t print_before = print_text().size();
    const std::size_t console_before = console_text().size();
    EXPECT_THROW(read(text), FatalError);
    const std::string print = print_text().substr(print_before);
    EXPECT_NE(print.find("FATAL ERROR 1087"), std::string::npos) << print;
    EXPECT_NE(print.find(c.named), std::string::npos) << print;
    EXPECT_NE(console_text().find(c.named, console_before), std::string::npos);
  }
  // Rising levels and a discharge of 0 are read.
  std::string text = table_file();
  text.replace(text.find(rows), rows.size(), "\n10.0 0 0\n10.5 2 6\n11.0, 3, 7\n");
  read(text);
  EXPECT_EQ(surface.ZQ_TABLE_COUNT, 1);
}

// The first row whose level reaches the upstream level, no interpolation; the column
// is chosen only on the step that passes 06:00, from the level then.
TEST_F(ZqTest, LookupByRowAndDailyColumn) {
  read(table_file());
  EXPECT_EQ(lookup(5.0, 9.5), 1.0);    // at or below row 1
  EXPECT_EQ(lookup(5.0, 10.5), 2.0);   // exactly a row's level
  EXPECT_EQ(lookup(5.0, 10.51), 3.0);
  EXPECT_EQ(lookup(5.0, 10.8), 3.0);   // above 10.6, but not switching time
  EXPECT_EQ(lookup(18.0, 10.8), 7.0);  // 17 + 6 < 24 <= 18 + 6: column 3
  EXPECT_EQ(lookup(19.0, 10.3), 6.0);  // stays
  EXPECT_EQ(lookup(42.0, 10.6), 3.0);  // equal to the threshold: not above it, column 2
  EXPECT_EQ(surface.ZQ_TABLES(1).zcol, 2);
  EXPECT_EQ(lookup(66.0, 8.0), 1.0);   // below every threshold: kept, with a warning
  EXPECT_NE(console_text().find("warning: Zu is below minimum ZQthreshold defined in ZQtable"),
            std::string::npos);
  const std::string log = unit_text(ZQ_LOOKUP_UNIT);
  EXPECT_NE(log.find("       18.00,       10.80,        7.00,\n"), std::string::npos) << log;
  EXPECT_EQ(print_text(), "");
}

// The slope that linearises the structure's flow over a step is the chord of the
// operating column over the row interval holding the level; the lookup holds one
// discharge at or below row 1 and above the last row, so the slope is 0 there.
TEST_F(ZqTest, RatingSlopeIsTheChordOfTheOperatingColumn) {
  read("ZQ tables\n1\nTable\n1\nLink\n" + std::to_string(link) + "\nFace\n" +
       std::to_string(face) + "\nHour\n6\nRows\n3\nColumns\nZ >9.0 >10.1\n"
       "10.0 0.0 0.0\n10.25 0.5 1.0\n10.75 2.5 5.0\n");
  struct Case {
    double Zu, slope;
  };
  // Column 2: 0.5 / 0.25 m over the first interval, 2.0 / 0.5 m over the second (levels
  // exact in binary, so the slopes are too).
  for (const Case c : {Case{9.9, 0.0}, Case{10.0, 0.0}, Case{10.1, 2.0}, Case{10.25, 2.0},
                       Case{10.3, 4.0}, Case{10.75, 4.0}, Case{10.8, 0.0}}) {
    EXPECT_EQ(ZQ_RATING_SLOPE(surface, 1, c.Zu), c.slope) << c.Zu;
  }
  surface.ZQ_TABLES(1).zcol = 3;  // the other setting: twice the discharges
  EXPECT_EQ(ZQ_RATING_SLOPE(surface, 1, 10.3), 8.0);
}

// Above the last row: the last row's discharge, never a marker, and one warning per
// occurrence up to the cap, closed by one "Last printout" line.
TEST_F(ZqTest, LevelAboveTheTableTakesItsLastRow) {
  read(table_file());
  EXPECT_EQ(lookup(5.0, 11.5), 3.0);
  surface.ZQ_ABOVE_TABLE_WARNINGS = ZQ_ABOVE_TABLE_MESSAGE_LIMIT - 2;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(lookup(5.0, 12.0), 3.0);
  const std::string print = print_text();
  int warnings = 0;
  for (std::size_t at = print.find("WARNING 1088"); at != std::string::npos;
       at = print.find("WARNING 1088", at + 1)) {
    ++warnings;
  }
  EXPECT_EQ(warnings, 3);
  EXPECT_NE(print.find("Last printout"), std::string::npos);
}

}  // namespace
}  // namespace quendal
