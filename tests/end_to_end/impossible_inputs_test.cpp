// Values no catchment can have, typed into copies of the examples' files and run
// through the built program: each run stops with the stated exit status, and its message
// (or the lines after its numbered report) shows the file, the record, the columns, the
// value and what it may be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "example_copy.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::ExampleCopy;

struct Edit {
  const char* file;
  std::string from, to;
};

struct ImpossibleCase {
  const char* what;
  const char* example;
  std::vector<Edit> edits;
  int status;
  int number;                        // the report's number; 0 for an input error (status 3)
  std::vector<std::string> pieces;   // each in the message and the lines after it
};

const std::string NCON_SECTION =
    ":CM3 NCON: contaminants simulated (1 spill, 2 its daughter, 3 rain tracer)\n";

std::vector<ImpossibleCase> cases() {
  const std::string met_line_1 = "     1     0      0.0000     -35.000       3.000      1012.0";
  const std::string met_line_2 = "                   1.879     0.50112      1.0493           0";
  const std::string veg_b = "      T    0.0    2.0   0.08  0.015   60.0      3";
  const std::string veg_c = "      4   0.85    0.8 3.0E-5    3.7      5    2.0   0.12    0.5";
  return {
      {"wind speed of 1e39",
       "example",
       {{"example_met.txt", met_line_1,
         "     1     0      0.0000     -35.000     1.0E+39      1012.0"}},
       3,
       0,
       {"wind speed of met site 1 = 1e+39 m/s", "0 to 120 m/s",
        "example_met.txt, record 2, columns 37-48: \"1.0E+39\""}},
      {"net radiation of -1e39",
       "example",
       {{"example_met.txt", met_line_1,
         "     1     0      0.0000    -1.0E+39       3.000      1012.0"}},
       3,
       0,
       {"net radiation of met site 1 = -1e+39 W/m2", "-500 to 1400 W/m2",
        "record 2, columns 25-36: \"-1.0E+39\""}},
      {"pressure a column shift reads as 1.94",
       "example",
       {{"example_met.txt", met_line_1,
         "     1     0      0.0000     -35.000       3.000        1.94"}},
       3,
       0,
       {"atmospheric pressure of met site 1 = 1.94 mbar", "250 to 1100 mbar",
        "record 2, columns 49-60: \"1.94\""}},
      // 20 degC above 1.879 degC the saturation vapour pressure is 26.24 mbar (Tetens:
      // 6.108 exp(17.27 x 21.879 / 259.179)).
      {"VPD of 51.05 mbar at 1.9 degC",
       "example",
       {{"example_met.txt", met_line_2,
         "                   1.879     0.50112     51.0493           0"}},
       3,
       0,
       {"VPD of met site 1 = 51.0493 mbar is above the saturation vapour pressure at 21.879 "
        "degC (26.24",
        "record 3, columns 37-48: \"51.0493\""}},
      {"snow specific gravity of 1e39",
       "example",
       {{"example_snow.txt", "0.00020    0.2   0.00", "0.00020 1.0E39   0.00"}},
       3,
       0,
       {"snow specific gravity RHOS = 1e+39", "above 0 to 1",
        "example_snow.txt, record 4, columns 8-14: \"1.0E39\""}},
      {"melt factor of 1e39",
       "example",
       {{"example_snow.txt", "0.00020    0.2   0.00", "1.0E+39    0.2   0.00"}},
       3,
       0,
       {"degree-day factor DDF = 1e+39 mm/s/degC", "0 to 0.01 mm/s/degC",
        "record 4, columns 1-7: \"1.0E+39\""}},
      {"initial snow depth of 999999.9 mm",
       "example",
       {{"example_snow.txt", "(mm of snow)\n    0.0", "(mm of snow)\n9999999"}},
       3,
       0,
       {"uniform initial snow depth = 999999.9 mm", "0 to 100000 mm",
        "record 6, columns 1-7: \"9999999\""}},
      {"vegetation height of -1e39",
       "example",
       {{"example_et.txt", veg_c,
         "      4   0.85    0.8 3.0E-5    3.7      5    2.0-1.0E39    0.5"}},
       3,
       0,
       {"vegetation height VHT of vegetation type 1 = -1e+39 m", "0 to 150 m",
        "example_et.txt, record 9, columns 50-56: \"-1.0E39\""}},
      {"zero-plane displacement of -1e39",
       "example",
       {{"example_et.txt", veg_b, "      T    0.0    2.0-1.0E39  0.015   60.0      3"}},
       3,
       0,
       {"zero-plane displacement ZD of vegetation type 1 = -1e+39 m",
        "record 8, columns 22-28: \"-1.0E39\""}},
      {"drip height of 1e39",
       "example",
       {{"example_syd.txt", "0.3 0.005 1.0", "1e39 0.005 1.0"}},
       3,
       0,
       {"drip fall height XDRIP of vegetation type 1 = 1e+39 m",
        "example_syd.txt, record 20, columns 1-4: \"1e39\""}},
      {"soil horizon category count of 99999",
       "example",
       {{"example_frame.txt", "      1      1      2      1      1",
         "      1      1      2      1  99999"}},
       3,
       0,
       {"soil horizon categories (0 to 1000)", "example_frame.txt, record 26"}},
      {"contaminant count of -7",
       "contaminant",
       {{"contaminant_cmd.txt", NCON_SECTION + "3\n", NCON_SECTION + "-7\n"}},
       1,
       3008,
       {"NCON = -7 read from file contaminant_cmd.txt, record 4, columns 1-2: \"-7\"; valid: 1 "
        "to 3"}},
      {"contaminant count of 7",
       "contaminant",
       {{"contaminant_cmd.txt", NCON_SECTION + "3\n", NCON_SECTION + "7\n"}},
       1,
       3008,
       {"NCON = 7 read from", "valid: 1 to 3"}},
      {"sorption coefficient of 1e39",
       "contaminant",
       {{"contaminant_cmd.txt", "\n1 0.5 1.0 2.0\n", "\n1 1e39 1.0 2.0\n"}},
       3,
       0,
       {"sorption coefficient on sediment of :CM51 (row 1, value 2) = 1e+39 m3/m3",
        "0 to 1e+10 m3/m3", "contaminant_cmd.txt, record 81, columns 3-6: \"1e39\""}},
      {"well series back in time",
       "example",
       {{"example_wld.txt", "1990 1 8 0 0", "1990 1 2 0 0"}},
       3,
       0,
       {"not after the record before it", "example_wld.txt, record 4, columns 1-12: \"1990 1 2 0 0\""}},
      {"well series with a repeated time",
       "example",
       {{"example_wld.txt", "1990 1 8 0 0", "1990 1 3 0 0"}},
       3,
       0,
       {"not after the record before it", "example_wld.txt, record 4"}},
      {"lateral head series back in time",
       "example",
       {{"example_lhb.txt", "1990 1 12 0 0", "1960 1 12 0 0"}},
       3,
       0,
       {"not after the record before it", "example_lhb.txt, record 3"}},
      {"month 13 in the well series",
       "example",
       {{"example_wld.txt", "1990 1 8 0 0", "1990 13 8 0 0"}},
       1,
       4820,
       {"Date problem, probably with rainfall or evaporation",
        "in the series file example_wld.txt, record 4, columns 1-13: \"1990 13 8 0 0\""}},
      {"well rate of 2000 m3/s",
       "example",
       {{"example_wld.txt", "0.002", "2000"}},
       3,
       0,
       {"well abstraction rate of column 1 = 2000 m3/s", "-100 to 100 m3/s",
        "example_wld.txt, record 4, columns 16-19"}},
      {"negative conductivity",
       "example",
       {{"example_vss.txt", "0.02 0.02 0.01 0.43", "-0.02 0.02 0.01 0.43"}},
       3,
       0,
       {"Kx of soil 1 = -0.02 m/day", "0 to 100000 m/day",
        "example_vss.txt, record 11, columns 1-5: \"-0.02\""}},
      {"roughness category count a message cannot show",
       "example",
       {{"example_oc.txt", "       0      2      3       T", "       0  12345      3       T"}},
       1,
       1047,
       {"NCATR =****", "in full: NCATR = 12345"}},
      // Numbered checks keep their numbers; the line after the report shows the value
      // where it was typed.
      {"roughness length of 0 (ET data file, 1062)",
       "example",
       {{"example_et.txt", veg_b, "      T    0.0    2.0   0.08    0.0   60.0      3"}},
       1,
       1062,
       {"roughness length ZO", "the value was read from file example_et.txt, record 8, columns "
                               "29-35: \"0.0\""}},
      {"saturated moisture content below the residual (VSS data file, 1078)",
       "example",
       {{"example_vss.txt", "0.02 0.02 0.01 0.43", "0.02 0.02 0.01 0.05"}},
       1,
       1078,
       {"the value was read from file example_vss.txt, record 11, columns 16-19: \"0.05\""}},
      {"negative roughness of a category (overland input check 1010)",
       "example",
       {{"example_oc.txt", "\n     2.0    5.0\n", "\n    -2.0    5.0\n"}},
       1,
       1010,
       {"STRX(iel)", "the value was read from file example_oc.txt, record 7, columns 5-8: \"-2.0\""}},
      {"negative drip height (sediment input check 2025)",
       "example",
       {{"example_syd.txt", "0.3 0.005 1.0", "-0.3 0.005 1.0"}},
       1,
       2025,
       {"XDRIP(veg)", "the value was read from file example_syd.txt, record 20, columns 1-4: "
                      "\"-0.3\""}},
      // With separate rainfall and evaporation files nothing gives Penman-Monteith its
      // radiation, wind or deficit.
      {"separate met files with a site computing its evaporation",
       "upland",
       {{"upland_et.txt", "per met site\n      1\n", "per met site\n      0\n"}},
       3,
       0,
       {"met site 1 is to compute its potential evaporation",
        "no net radiation, wind speed or vapour pressure deficit",
        "upland_et.txt, record 6, columns 1-7: \"0\""}},
      // A digit row shifted one column right: a row of zeros would read as before, an
      // inside row would lose its last square.
      {"mask row of zeros shifted one column right",
       "example",
       {{"example_frame.txt", "     10 000000000000", "     10  000000000000"}},
       3,
       0,
       {"Character after the last cell of a digit grid row",
        "example_frame.txt, record 32, columns 21-21: \"0\""}},
      {"vegetation code row shifted one column right",
       "example",
       {{"example_frame.txt", "Vegetation codes\n     10 000000000000",
         "Vegetation codes\n     10  000000000000"}},
       3,
       0,
       {"example_frame.txt, record 87, columns 21-21: \"0\""}},
      // The highest of record 8 of the air-temperature files below its lowest: records
      // 2 and 8 of the highs swapped.
      {"highest air temperature below the lowest",
       "upland",
       {{"upland_tmax.txt", "00:00\n-1.0\n-1.0\n0.0\n1.0\n3.0\n5.0\n5.0\n4.0\n",
         "00:00\n-1.0\n4.0\n0.0\n1.0\n3.0\n5.0\n5.0\n-1.0\n"}},
       3,
       0,
       {"highest air temperature of met site 1 = -1 degC lies below its lowest, 2 degC, read "
        "from file upland_tmin.txt, record 9",
        "upland_tmax.txt, record 9, columns 1-4: \"-1.0\""}},
      {"extra discharge points count of -2",
       "example",
       {{"example_extra_points.txt", "'internal faces' 2", "'internal faces' -2"}},
       3,
       0,
       {"number of extra discharge points = -2 is below zero",
        "example_extra_points.txt, record 2, columns 18-19: \"-2\""}},
      // Level-discharge rows 2 and 6 (records 16 and 20) swapped: row 3 then lies below
      // row 2.
      {"level-discharge rows out of order",
       "upland",
       {{"upland_zq.txt", " 219.655   0.00048   0.00090", " 219.680   0.00707   0.01325"},
        {"upland_zq.txt", " 219.680   0.00707   0.01325\n 219.690",
         " 219.655   0.00048   0.00090\n 219.690"}},
       1,
       1087,
       {"ZQ table   1: row 3 (file ",
        "upland_zq.txt, record 17): level 219.66 m is not above the level of row 2, 219.68 m"}},
      {"negative discharge in a level-discharge table",
       "upland",
       {{"upland_zq.txt", " 219.700   0.01521", " 219.700  -0.01521"}},
       1,
       1087,
       {"upland_zq.txt, record 21): discharge -0.01521 m3/s of column 2 (>219.55)"}},
      // Numbered refusals whose texts name no file, or another one: the line after each
      // names the file, the record and the value.
      {"sediment section option below its least",
       "example",
       {{"example_syd.txt", "one value for every column element\n1\n:SY43c",
         "one value for every column element\n-1\n:SY43c"}},
       1,
       1,
       {"Invalid option NCAT =  -1 at title line :SY43",
        "example_syd.txt, record 47, columns 1-2: \"-1\""}},
      // Cell (3, 9) of the rock cover categories given category 3 of 2.
      {"sediment category outside the section's categories",
       "example",
       {{"example_syd.txt", "      9 022222222220", "      9 023222222220"}},
       1,
       9,
       {"Invalid category value   3 while reading :SY42e : should be in range [1,   2]",
        "example_syd.txt, record 37, columns 11-11: \"3\""}},
      {"soil composition summing to 1.1",
       "example",
       {{"example_syd.txt", "0.40 0.45 0.15", "0.40 0.45 0.25"}},
       1,
       2024,
       {"Checking  SOSDFN[*][sum_over_sed](soil): expected .EQ.   1.000000     but found   1.100000",
        "example_syd.txt, record 16, columns 1-14: \"0.40 0.45 0.25\""}},
      {"layer profile numbered beyond the profiles",
       "example",
       {{"example_vss.txt", "1 3\n3 2 1", "3 3\n3 2 1"}},
       1,
       16,
       {"VSS item no.     3 outside room 1 to     1 under title: :VS08a",
        "example_vss.txt, record 21, columns 1-1: \"3\""}},
      {"initial heads listing another element",
       "upland",
       {{"upland_vsi.txt", "\n     30\n", "\n     33\n"}},
       1,
       1040,
       {"Error reading VSS initial conditions for element   30.",
        "1 Errors have occurred in VSS data reading or initialisation.",
        "the first of them: the value was read from file upland_vsi.txt, record 68, columns 6-7: "
        "\"33\""}},
      // Cell (3, 8) of contaminant 1's categories given category 3 of 2.
      {"contaminant category outside the categories",
       "contaminant",
       {{"contaminant_cmd.txt", "      8 112211111111", "      8 113211111111"}},
       1,
       3090,
       {"Error in NCELEM in :MN43 in MN data file",
        "Category 3 outside 1 to 2 at grid cell (3, 8), element 104, under :CM26c; the value was "
        "read from file contaminant_cmd.txt, record 32, columns 11-11: \"3\""}},
      {"category table starting below the ground",
       "contaminant",
       {{"contaminant_cmd.txt", "\n0.0 1.0\n0.3", "\n0.1 1.0\n0.3"}},
       1,
       2107,
       {"Checking  DTAB[ncat,1]: expected .EQ.   0.000000     but found  0.1000000",
        "Error(s) detected while checking static/initial interface",
        "the first of them: the value was read from file contaminant_cmd.txt, record 47, "
        "columns 1-3: \"0.1\""}},
      {"channel flow limit of 0.001 m3/s",
       "example",
       {{"example_frame.txt", "    5.0    1.5  100.0", "    5.0    1.5  0.001"}},
       1,
       1029,
       {"CHANNEL FLOWS EXCEED MAXIMUM ALLOWED",
        "above the limit 0.001 m3/s; the limit was read from file example_frame.txt, record 20, "
        "columns 15-21: \"0.001\""}},
      {"contaminants starting before sediment",
       "contaminant",
       {{"contaminant_frame.txt", "minute\n1990 1 1 0 0\nStart of contaminant",
         "minute\n1990 1 3 0 0\nStart of contaminant"}},
       1,
       1041,
       {"Start-time for sediment is later than for contaminants",
        "the sediment start was read from file contaminant_frame.txt, record 9, columns 1-12: "
        "\"1990 1 3 0 0\"",
        "the contaminant start was read from file contaminant_frame.txt, record 11"}},
      // A well at the top of its range, 100 m3/s from one 100 m square, within what a
      // rate can be but more than any column can give: it drains its column until a
      // head leaves the soil tables. The report's lines name the column's layers, the
      // cell and its soil, so the user finds the record that drove it there.
      {"well rate at the top of its range drains its column out of the tables",
       "example",
       {{"example_wld.txt", "0.002", "100.0"}},
       1,
       1035,
       {"layers from the bottom (soil type, bottom level m):", "soil type 3 (:VS05)",
        "tops of the neighbouring columns",
        "largest step between neighbouring column tops in the catchment"}},
  };
}

TEST(ImpossibleInputs, AreRefusedWithTheFileTheRecordAndTheValue) {
  for (const ImpossibleCase& c : cases()) {
    SCOPED_TRACE(c.what);
    ExampleCopy ex(c.example);
    for (const Edit& e : c.edits) ex.replace(e.file, e.from, e.to);
    auto r = ex.run();
    EXPECT_EQ(r.status, c.status) << r.output;
    // Sediment and contaminant reports stand on their own print files.
    const std::string run = "output_" + std::string(c.example);
    const std::string print =
        ex.print() + ex.output(run + "_sediment_print.txt") + ex.output(run + "_cm_print.txt");
    // An input error stands on the console and the print file, a numbered report and
    // the lines after it on the print file.
    const std::string& where = c.status == 3 ? r.output : print;
    if (c.status == 3) {
      EXPECT_NE(r.output.find("Input error: "), std::string::npos) << r.output;
    }
    if (c.number != 0) {
      // The heading shows at least four digits: error 16 as 0016.
      std::string number = std::to_string(c.number);
      number.insert(0, number.size() < 4 ? 4 - number.size() : 0, '0');
      EXPECT_NE(print.find(" " + number + " at time ="), std::string::npos) << print;
    }
    // A numbered report stands on the console too, before the summary: whoever watches
    // it sees why the run stopped.
    const std::size_t summary = r.output.find(" ### Error asummary and Advice ###");
    EXPECT_EQ(summary == std::string::npos, c.status != 1) << r.output;
    for (const std::string& piece : c.pieces) {
      EXPECT_NE(where.find(piece), std::string::npos) << piece << "\n" << where;
      if (c.status == 3) {
        EXPECT_NE(print.find(piece), std::string::npos) << piece;
      } else {
        EXPECT_LT(r.output.find(piece), summary) << piece << "\n" << r.output;
      }
    }
    EXPECT_EQ(r.output.find("Normal completion"), std::string::npos);
  }
}

}  // namespace
}  // namespace quendal
