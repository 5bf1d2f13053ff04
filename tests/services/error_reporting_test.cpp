#include "services/error_reporting.h"

#include <gtest/gtest.h>

#include "model_fixture.h"
#include "services/stops.h"

namespace quendal {
namespace {

struct ErrorReportingTest : testing::ModelWithFiles {
  void SetUp() override {
    ModelWithFiles::SetUp();
    model.io.names.RUN_DIR = "runs/";
  }
};

TEST_F(ErrorReportingTest, HeadingLayouts) {
  model.frame.UZNOW = 36.5;
  REPORT_ERROR(model.io, 3, 1024, PRINT_UNIT, 812, 0, "a warning");
  REPORT_ERROR(model.io, 2, 2, PRINT_UNIT, 7, 3, "an error");
  REPORT_ERROR(model.io, 2, 23, PRINT_UNIT, 0, 5, "cell without element");
  REPORT_ERROR(model.io, 0, 0, PRINT_UNIT, 0, 0, "continued");
  EXPECT_EQ(print_text(),
            "\n"
            " !!!    WARNING 1024 at time =       36.50 hours, iel =  812\n"
            "        a warning\n"
            "\n"
            " !!!      ERROR 0002 at time =       36.50 hours, iel =    7, cell =    3\n"
            "        an error\n"
            "\n"
            " !!!      ERROR 0023 at time =       36.50 hours\n"
            "        cell without element\n"
            "        continued\n");
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 3);  // the continuation line is not counted
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(24, 1), 1);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(2, 0), 1);
  EXPECT_EQ(model.io.errors.ERROR_COUNTS(23, 0), 1);
  EXPECT_EQ(console_text(), "");
}

TEST_F(ErrorReportingTest, InitialiseWritesAndCountsNothing) {
  REPORT_ERROR(model.io, SEVERITY_INITIALISE, 0, 99, 0, 0, "Initialise error messages");
  EXPECT_EQ(print_text(), "");
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 0);
  EXPECT_EQ(model.io.errors.HELP_FOLDER, "\\helpmessages");
}

TEST_F(ErrorReportingTest, NumbersOutsideTheTablesCountOnlyInTheTotal) {
  for (int n : {2107, 4820, 4999, 1101}) REPORT_ERROR(model.io, 3, n, PRINT_UNIT, 0, 0, "x");
  EXPECT_EQ(model.io.errors.ERROR_TOTAL, 4);
  int sum = 0;
  for (int g = 0; g <= 3; ++g)
    for (int r = 0; r <= 100; ++r) sum += model.io.errors.ERROR_COUNTS(r, g);
  EXPECT_EQ(sum, 0);
}

TEST_F(ErrorReportingTest, FatalReportPrintsSummaryWithAdviceAndThrows) {
  dir.write("helpmessages/1024", "Check the soil\n");
  dir.write("helpmessages/1041", "Sediment must start first, then contaminants: a long line cut at eighty characters here.\n");
  model.frame.UZNOW = 2.0;
  REPORT_ERROR(model.io, 3, 1024, PRINT_UNIT, 0, 0, "w1");
  REPORT_ERROR(model.io, 3, 1024, PRINT_UNIT, 0, 0, "w2");
  EXPECT_THROW(REPORT_ERROR(model.io, 1, 1041, PRINT_UNIT, 0, 0,
                            "Start-time for sediment is later than for contaminants"),
               FatalError);
  std::string print = print_text();
  EXPECT_NE(print.find("\n\n\n\n !!!FATAL ERROR 1041 at time =        2.00 hours\n"
                       "        Start-time for sediment is later than for contaminants\n"),
            std::string::npos)
      << print;

  std::string console = console_text();
  std::size_t summary = console.find(" ### Error asummary and Advice ###\n  ------------------------\n");
  std::size_t first = console.find(" No. of occurrences of error number 1024 is     2\n");
  std::size_t advice1 = console.find("Check the soil" + std::string(80 - 14, ' ') + "\n");
  std::size_t second = console.find(" No. of occurrences of error number 1041 is     1\n");
  std::size_t advice2 = console.find(
      "Sediment must start first, then contaminants: a long line cut at eighty characte\n");
  std::size_t total = console.find(" ### End of asummary: recorded error count is      3 ###\n");
  std::size_t stop = console.find("Program terminating due to fatal error");
  ASSERT_NE(summary, std::string::npos) << console;
  EXPECT_NE(console.find(" ==> Check printed output files for more details <=="), std::string::npos);
  EXPECT_LT(summary, first);
  EXPECT_LT(first, advice1);
  EXPECT_LT(advice1, second);
  EXPECT_LT(second, advice2);
  EXPECT_LT(advice2, total);
  EXPECT_LT(total, stop);
  EXPECT_NE(stop, std::string::npos);
  EXPECT_NE(console.find(" " + dir.path() + "/helpmessages/1041\n"), std::string::npos);
}

// Whoever watches the console sees why the run stopped: the report as its unit has it
// (heading, message, the lines after it and those of the contexts in force, innermost
// first) before the summary. A context that has ended adds nothing.
TEST_F(ErrorReportingTest, FatalReportStandsOnTheConsoleBeforeTheSummary) {
  model.frame.UZNOW = 2.0;
  {
    const FatalReportLines ended(model.io, [](std::vector<std::string>& lines) {
      lines.emplace_back("ended");
    });
  }
  const FatalReportLines outer(model.io, [](std::vector<std::string>& lines) {
    lines.emplace_back("outer context");
  });
  const FatalReportLines inner(model.io, [](std::vector<std::string>& lines) {
    lines.emplace_back("in the series file w.txt, record 4");
    lines.emplace_back("");  // an empty line is left out
  });
  EXPECT_THROW(report_fatal_with_details(model.io, 1078, PRINT_UNIT, 7, 0, "Check the soil",
                                         {"the value was read from file v.txt, record 11", ""}),
               FatalError);
  const std::string report =
      " !!!FATAL ERROR 1078 at time =        2.00 hours, iel =    7\n"
      "        Check the soil\n"
      "        the value was read from file v.txt, record 11\n"
      "        in the series file w.txt, record 4\n"
      "        outer context\n";
  EXPECT_EQ(print_text(), "\n\n\n\n" + report);
  const std::string console = console_text();
  EXPECT_EQ(console.substr(0, report.size() + 1), "\n" + report) << console;
  EXPECT_NE(console.find(" ### Error asummary and Advice ###", report.size()), std::string::npos);
  EXPECT_EQ(console.find("ended"), std::string::npos);
  EXPECT_TRUE(model.io.errors.fatal_contexts.size() == 2);
}

// A report whose unit is the console is not written there twice; one that its unit
// cannot take (a print file on a full disk) stands on the console all the same.
TEST_F(ErrorReportingTest, FatalReportOnTheConsoleOnlyOnce) {
  EXPECT_THROW(REPORT_ERROR(model.io, 1, 1041, CONSOLE_UNIT, 0, 0, "to the console"), FatalError);
  EXPECT_EQ(testing::count_of(console_text(), "        to the console\n"), 1);
  EXPECT_EQ(print_text(), "");

  ASSERT_TRUE(model.io.units.open(PRINT_UNIT, "/dev/full", UnitDirection::Output));
  const std::size_t before = console_text().size();
  EXPECT_THROW(REPORT_ERROR(model.io, 1, 1041, PRINT_UNIT, 0, 0, "disk full"), FatalError);
  EXPECT_EQ(testing::count_of(console_text().substr(before), "        disk full\n"), 1);
}

TEST_F(ErrorReportingTest, MissingAdviceFileIsPassedOverInSilence) {
  EXPECT_THROW(REPORT_ERROR(model.io, 1, 1, PRINT_UNIT, 0, 0, "fatal"), FatalError);
  std::string console = console_text();
  EXPECT_NE(console.find(" No. of occurrences of error number 0001 is     1\n"), std::string::npos);
  EXPECT_NE(console.find(" ### End of asummary: recorded error count is      1 ###"),
            std::string::npos);
}

TEST_F(ErrorReportingTest, ReportToAnUnopenedUnitGoesToThePrintFile) {
  REPORT_ERROR(model.io, 2, 1049, 25, 0, 0, "to unit 25");
  EXPECT_NE(print_text().find("        to unit 25\n"), std::string::npos);
}

// The lines a completed run's console shows: every number reported, in order, with its
// count and the files its reports went to (a unit not open sends them to the print
// file, unit 6 to the console), those without a count of their own (4999) included,
// and the total of all of them. Continuation lines count for nothing.
TEST_F(ErrorReportingTest, CompletedRunNamesTheNumbersReportedAndTheirFiles) {
  EXPECT_TRUE(reported_errors_lines(model.io.errors).empty()) << "no reports, no lines";

  const std::string sediment_path = dir.file("sediment.txt");
  ASSERT_TRUE(model.io.units.open(24, sediment_path, UnitDirection::Output));
  const struct {
    int severity, number, unit;
  } reports[] = {
      {2, 2050, 24}, {0, 0, 24},    {2, 2003, 24},          {2, 2050, 24},
      {3, 1082, PRINT_UNIT},        {3, 1039, 25},          {3, 1039, 24},
      {3, 4999, PRINT_UNIT},        {3, 2, CONSOLE_UNIT},   {3, 2, PRINT_UNIT},
  };
  for (const auto& r : reports) REPORT_ERROR(model.io, r.severity, r.number, r.unit, 0, 0, "x");

  const std::vector<std::string> expected = {
      "",
      " Errors and warnings were reported during the run:",
      " No. of occurrences of error number 0002 is     2 in the console, " + print_path,
      " No. of occurrences of error number 1039 is     2 in " + print_path + ", " + sediment_path,
      " No. of occurrences of error number 1082 is     1 in " + print_path,
      " No. of occurrences of error number 2003 is     1 in " + sediment_path,
      " No. of occurrences of error number 2050 is     2 in " + sediment_path,
      " No. of occurrences of error number 4999 is     1 in " + print_path,
      " Recorded error count is      9",
  };
  EXPECT_EQ(reported_errors_lines(model.io.errors), expected);
}

TEST(ErrorReporting, AdviceFileNames) {
  EXPECT_EQ(advice_file_name("/home/u", 2), "/home/u/helpmessages/0002");
  EXPECT_EQ(advice_file_name("/home/u/", 1041), "/home/u/helpmessages/1041");
  EXPECT_EQ(advice_file_name("/", 3090), "/helpmessages/3090");
}

}  // namespace
}  // namespace quendal
