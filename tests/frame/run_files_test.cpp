#include "frame/run_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "include/model.h"
#include "services/stops.h"
#include "test_support.h"

namespace quendal {
namespace {

using testing::read_file;
using testing::TempDir;
using testing::tree_of;

TEST(RunFiles, RunNameAndDirectoryOfANameTable) {
  struct Case {
    const char* name;
    bool accepted;
    const char* run_name;
    const char* dir;
  };
  const Case cases[] = {
      {"D:/runs/rundata_test.v2.txt", true, "test", "/runs/"},
      {"my_rundata_x.txt", true, "x", ""},
      {"rundata_.txt", true, "", ""},
      {"a/rundata_b/rundata_c.txt", true, "c", "a/rundata_b/"},  // the last "rundata_"
      {"RUNDATA_x.txt", false, "", ""},                          // case counts
      {"rundata_x", false, "", ""},                              // no "."
      {"rundata_x.", false, "", ""},                             // the last character is not looked at
      {"rundata.txt", false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string run_name = "unchanged";
    EXPECT_EQ(run_name_of(c.name, run_name), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(run_name, c.run_name);
      EXPECT_EQ(directory_of(c.name), c.dir);
    }
  }
  EXPECT_EQ(name_from_line("runs\\data\\frame.txt  \r"), "runs/data/frame.txt");
}

// Runs READ_COMMAND_LINE and OPEN_RUN_FILES in a scratch directory, the console in a file.
struct CommandLineTest : ::testing::Test {
  TempDir dir;
  std::string console_path = dir.file("console.out");
  std::FILE* console_file = std::fopen(console_path.c_str(), "w+");
  Model model{console_file};
  void TearDown() override { std::fclose(console_file); }

  // Status of the run of the two operations: 0 when both returned, 2 for a stop.
  int run(const std::vector<std::string>& args) {
    try {
      READ_COMMAND_LINE(args, dir.path(), model.io);
      OPEN_RUN_FILES(model.io);
      model.io.units.flush_all();
      return 0;
    } catch (const ImmediateStop&) {
      return 2;
    }
  }
  std::string console() {
    model.io.console.flush();
    return read_file(console_path);
  }
  // A run-data file with the given name lines for units 10, 11, ...
  std::string rundata(const std::string& name, const std::vector<std::string>& files) {
    std::string text = "Title of the run\n";
    int unit = 10;
    for (const auto& f : files) text += "Unit " + std::to_string(unit++) + "\n" + f + "\n";
    return dir.write(name, text);
  }
};

TEST_F(CommandLineTest, RefusedArgumentsAndNames) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  dir.write("exists.txt", "");
  const std::string usage = " Usage: quendal -f rundata_<name>.txt  or  quendal -c <catchment>\n";
  const Case cases[] = {
      {{"--help"},
       " Unrecognised command line argument --help Recognise only -a, -c and -f\n" + usage},
      {{"-A"}, " Unrecognised command line argument -A Recognise only -a, -c and -f\n" + usage},
      {{"-f"}, " Missing filename   Use -f filename\n"},
      {{}, " Missing filename   Use -f filename\n"},  // would open a file dialog
      {{"-results"}, " Missing filename   Use -f filename\n"},
      {{"-f", dir.file("nothere_rundata_a.txt")},
       (" Cannot find rundata file " + dir.file("nothere_rundata_a.txt") + "\n")},
      {{"-f", dir.file("exists.txt")}, " RUNDATA FILENAME MUST HAVE FORM \"rundata_name.txt\"\n"},
      {{"-c"}, " Cannot find file catchments.txt in the current directory " + dir.path() + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Model fresh{console_file};
    std::fflush(console_file);
    long before = std::ftell(console_file);
    int status = 0;
    try {
      READ_COMMAND_LINE(c.args, dir.path(), fresh.io);
    } catch (const ImmediateStop&) {
      status = 2;
    }
    EXPECT_EQ(status, 2);
    fresh.io.console.flush();
    std::string text = read_file(console_path).substr(static_cast<std::size_t>(before));
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
  }
}

TEST_F(CommandLineTest, CatchmentListLooksUpTheNameOrDefault) {
  std::string path = rundata("runs/rundata_valley.txt", {"frame.txt", "0", "0", "0"});
  dir.write("runs/frame.txt", "frame\n");
  dir.write("catchments.txt", "other\nnowhere/rundata_other.txt\ndefault\nruns\\rundata_valley.txt\n");
  std::vector<std::string> args = {"-c"};
  READ_COMMAND_LINE(args, dir.path(), model.io);
  EXPECT_EQ(model.io.names.RUN_NAME, "valley");
  EXPECT_EQ(model.io.names.RUN_DIR, dir.path() + "/runs/");

  Model other{console_file};
  std::vector<std::string> missing = {"-c", "tay"};
  EXPECT_THROW(READ_COMMAND_LINE(missing, dir.path(), other.io), ImmediateStop);
  EXPECT_NE(console().find(" cannot find catchment tay in catchments.txt\n"), std::string::npos);
  (void)path;
}

TEST_F(CommandLineTest, OpensEveryNamedFileAndWritesTheLog) {
  dir.write("frame.txt", "frame\n");
  dir.write("oc.txt", "oc\n");
  dir.write("et.txt", "et\n");
  std::vector<std::string> files(42, "0");  // units 10..51
  files[0] = "frame.txt";
  files[1] = "";              // blank: not used
  files[2] = "oc.txt";
  files[3] = "et.txt";
  files[22 - 10] = "status.txt";
  files[23 - 10] = "print.txt";
  files[28 - 10] = "hot.txt";  // input or output: created
  files[45 - 10] = "high.txt"; // named, but 46 is not
  files[48 - 10] = "plan.xml"; // never opened
  dir.write("high.txt", "");
  std::string rd = rundata("rundata_demo.txt", files);

  ASSERT_EQ(run({"-f", rd}), 0) << console();
  const RunNames& n = model.io.names;
  EXPECT_EQ(n.RUN_NAME, "demo");
  EXPECT_EQ(n.RUN_DIR, dir.path() + "/");
  EXPECT_EQ(n.LOG_FILE_NAME, dir.file("output_demo_log.txt"));
  EXPECT_TRUE(n.STATUS_FILE_ON);
  EXPECT_FALSE(n.AIR_TEMPERATURE_FILES_ON);
  EXPECT_FALSE(n.EXTRA_DISCHARGE_POINTS_ON);
  EXPECT_FALSE(n.ZQ_TABLES_ON);
  EXPECT_EQ(n.PLAN_FILE_NAME, dir.file("plan.xml"));
  EXPECT_FALSE(testing::file_exists(dir.file("plan.xml")));
  EXPECT_TRUE(testing::file_exists(dir.file("hot.txt")));
  EXPECT_EQ(read_file(dir.file("status.txt")), "Reading data sets ...\n");
  EXPECT_TRUE(model.io.units.is_open(10));
  EXPECT_FALSE(model.io.units.is_open(11));
  EXPECT_FALSE(model.io.units.is_open(RUNDATA_UNIT));

  std::string log = read_file(n.LOG_FILE_NAME);
  EXPECT_EQ(log.substr(0, 18), "Title of the run\n\n");
  EXPECT_NE(log.find("Unit 10\nOPENING FILE UNIT  10 TO FILE " + dir.file("frame.txt") + "\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("Unit 11\n- NOT USED\n"), std::string::npos);
  EXPECT_NE(log.find("Unit 48\nFILE  48 IS " + dir.file("plan.xml") + "\n"), std::string::npos);
  EXPECT_NE(console().find(" QUENDAL Version 4.4.6 for PC - incorporating VANTOLIX Version 2\n " +
                           std::string(63, '*') + "\n"),
            std::string::npos);
}

TEST_F(CommandLineTest, RunDataEndingAfterUnit13IsEnoughButNotBefore) {
  dir.write("f.txt", "");
  std::string rd = rundata("rundata_short.txt", {"f.txt", "0", "0", "0"});
  EXPECT_EQ(run({"-f", rd}), 0);
  EXPECT_FALSE(model.io.names.ZQ_TABLES_ON);
  EXPECT_FALSE(model.io.names.AIR_TEMPERATURE_FILES_ON);

  Model second{console_file};
  std::string cut = dir.write("rundata_cut.txt", "T\nUnit 10\nf.txt\nUnit 11\n0\nUnit 12\n");
  std::vector<std::string> args = {"-f", cut};
  READ_COMMAND_LINE(args, dir.path(), second.io);
  EXPECT_THROW(OPEN_RUN_FILES(second.io), ImmediateStop);
  EXPECT_NE(console().find("UNEXPECTED -EOF- ON FILE cut\nABNORMAL END\n"), std::string::npos);
}

TEST_F(CommandLineTest, MissingInputFileStopsAndIsNotCreated) {
  std::string rd = rundata("rundata_bad.txt", {"nothere.txt", "0", "0", "0"});
  EXPECT_EQ(run({"-f", rd}), 2);
  // The message line as it stands, then the unit's description and the system's reason.
  EXPECT_NE(console().find("ERROR OPENING FILE " + dir.file("nothere.txt") +
                           "\n Unit 10: No such file or directory\nABNORMAL END\n"),
            std::string::npos)
      << console();
  EXPECT_FALSE(testing::file_exists(dir.file("nothere.txt")));
}

TEST_F(CommandLineTest, EmptyRunDataFileSaysSoAndNamesIt) {
  std::string rd = dir.write("rundata_empty.txt", "");
  EXPECT_EQ(run({"-f", rd}), 2);
  EXPECT_NE(console().find("ERROR OPENING RUNDATA FILE empty\n the run-data file " + rd +
                           " is empty\nABNORMAL END\n"),
            std::string::npos)
      << console();
}

TEST_F(CommandLineTest, SecondRunOnTheSamePrintFileStopsBeforeTouchingAnyOutput) {
  // Units 10 to 13, then 14 to 21 not used, the status file (22) and the print file (23).
  std::vector<std::string> files = {"frame.txt", "0", "0", "0"};
  for (int unit = 14; unit <= 21; ++unit) files.push_back("0");
  files.push_back("status.txt");
  files.push_back("print.txt");
  std::string rd = rundata("rundata_twice.txt", files);
  dir.write("frame.txt", "frame\n");
  Model first{console_file};
  std::vector<std::string> args = {"-f", rd};
  READ_COMMAND_LINE(args, dir.path(), first.io);
  OPEN_RUN_FILES(first.io);
  first.io.units.print().write_record("the first run's print");
  first.io.units.flush_all();
  const std::string log_before = read_file(dir.file("output_twice_log.txt"));
  const std::string status_before = read_file(dir.file("status.txt"));

  EXPECT_EQ(run(args), 2);
  EXPECT_NE(console().find(" IS IN USE BY ANOTHER RUN"), std::string::npos) << console();
  EXPECT_EQ(read_file(dir.file("print.txt")), "the first run's print\n");
  EXPECT_EQ(read_file(dir.file("output_twice_log.txt")), log_before);
  EXPECT_EQ(read_file(dir.file("status.txt")), status_before);

  // Once the first run has let go, the print file can be taken again.
  first.io.units.close_all();
  first.io.output_locks.release();
  OutputLocks later;
  EXPECT_EQ(later.take(dir.file("print.txt")), OutputLocks::Outcome::Taken);
  EXPECT_EQ(read_file(dir.file("print.txt")), "the first run's print\n");  // never emptied
}

// The run before this one left its outputs; this one names one output (or input) that
// cannot be opened. It stops with the file's name before it has emptied, created or
// locked anything: the old outputs are as they were, and no new file is left.
TEST_F(CommandLineTest, AFileThatCannotBeOpenedLeavesEveryOutputAsItWas) {
  struct Case {
    const char* what;
    int unit;
    const char* name;
    const char* reason;
  };
  const Case cases[] = {
      {"an output in a folder that does not exist", 41, "gone/discharge.txt",
       "No such file or directory"},
      {"the visualisation file in such a folder", 50, "gone/vis.h5", "No such file or directory"},
      {"an output that is a folder", 44, "folder", "Is a directory"},
      {"a missing input", 12, "oc.txt", "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir run_dir;
    run_dir.write("frame.txt", "frame\n");
    run_dir.write("folder/x", "");
    std::vector<std::string> files(42, "0");  // units 10..51
    files[0] = "frame.txt";
    files[22 - 10] = "status.txt";
    files[23 - 10] = "print.txt";
    files[43 - 10] = "totals.csv";      // left by the run before
    files[44 - 10] = "dated.txt";       // new with this run
    files[c.unit - 10] = c.name;
    std::string text = "Title of the run\n";
    for (int unit = 10; unit <= 51; ++unit) {
      text += "Unit " + std::to_string(unit) + "\n" + files[unit - 10] + "\n";
    }
    const std::string rd = run_dir.write("rundata_old.txt", text);
    const std::vector<std::string> before = {"status.txt", "print.txt", "totals.csv",
                                             "output_old_log.txt"};
    for (const std::string& f : before) run_dir.write(f, "left by the run before: " + f + "\n");

    Model fresh{console_file};
    std::fflush(console_file);
    const long from = std::ftell(console_file);
    READ_COMMAND_LINE({"-f", rd}, run_dir.path(), fresh.io);
    EXPECT_THROW(OPEN_RUN_FILES(fresh.io), ImmediateStop);
    fresh.io.console.flush();
    const std::string said = read_file(console_path).substr(static_cast<std::size_t>(from));
    EXPECT_NE(said.find("ERROR OPENING FILE " + run_dir.file(c.name) + "\n Unit " +
                        std::to_string(c.unit) + ": " + c.reason + "\nABNORMAL END\n"),
              std::string::npos)
        << said;
    for (const std::string& f : before) {
      EXPECT_EQ(read_file(run_dir.file(f)), "left by the run before: " + f + "\n") << f;
    }
    if (c.unit != 44) {
      EXPECT_FALSE(testing::file_exists(run_dir.file("dated.txt")));
    }
    // Nothing stays locked: a run that can open its files now takes them all.
    OutputLocks again;
    for (const std::string& f : before) {
      EXPECT_EQ(again.take(run_dir.file(f)), OutputLocks::Outcome::Taken) << f;
    }
  }
}

// A second run that shares one output with a run still going (here only the dated
// discharge; their print files differ) stops before it empties anything, and names the
// file.
TEST_F(CommandLineTest, ASecondRunSharingAnyOutputStopsBeforeTouchingAny) {
  dir.write("frame.txt", "frame\n");
  auto rundata_with = [&](const std::string& name, const std::string& print) {
    std::vector<std::string> files(35, "0");  // units 10..44
    files[0] = "frame.txt";
    files[23 - 10] = print;
    files[44 - 10] = "dated.txt";
    return rundata(name, files);
  };
  const std::string first_rd = rundata_with("rundata_one.txt", "print_one.txt");
  const std::string second_rd = rundata_with("rundata_two.txt", "print_two.txt");
  dir.write("print_two.txt", "the second run's old print\n");
  Model first{console_file};
  READ_COMMAND_LINE({"-f", first_rd}, dir.path(), first.io);
  OPEN_RUN_FILES(first.io);
  first.io.units.unit(44).write_record("the first run's discharge");
  first.io.units.flush_all();

  EXPECT_EQ(run({"-f", second_rd}), 2);
  EXPECT_NE(console().find("OUTPUT FILE " + dir.file("dated.txt") +
                           " IS IN USE BY ANOTHER RUN: this run stops before emptying any "
                           "output\n Unit 44\nABNORMAL END\n"),
            std::string::npos)
      << console();
  EXPECT_EQ(read_file(dir.file("dated.txt")), "the first run's discharge\n");
  EXPECT_EQ(read_file(dir.file("print_two.txt")), "the second run's old print\n");
  EXPECT_FALSE(testing::file_exists(dir.file("output_two_log.txt")));
}

// A file that the run writes (an output, the log, the level-discharge tables' files,
// the hot-start file) and that another unit also names, under any form of its name,
// stops the run before it writes, empties or makes any file; the message names the
// file and every unit that names it. Files that are only read may be shared, and the
// hot-start file is read and written by its own unit.
TEST_F(CommandLineTest, AFileTheRunWritesNamedForAnotherUnitStopsBeforeAnyWrite) {
  struct Case {
    const char* what;
    std::map<int, std::string> units;  // besides 10-13 and the print file (23)
    bool from_list;                    // started with "-c"
    std::string place;                 // the file, as the message names it ("" when allowed)
    std::vector<std::string> lines;    // "unit (use) description: name" lines
  };
  const std::string rd_name = "rundata_clash.txt";
  const std::string log_name = "output_clash_log.txt";
  const Case cases[] = {
      {"an output on an input", {{44, "frame.txt"}}, false, "frame.txt",
       {"10 (read) Unit 10: frame.txt", "44 (written) Unit 44: frame.txt"}},
      {"an output on the run-data file", {{41, rd_name}}, false, rd_name,
       {"2 (read) run-data file: " + rd_name, "41 (written) Unit 41: " + rd_name}},
      {"the visualisation output on an input, through ./", {{50, "./vss.txt"}}, false, "vss.txt",
       {"11 (read) Unit 11: vss.txt", "50 (written) Unit 50: ./vss.txt"}},
      {"an output on the plan file, through ..", {{48, "plan.txt"}, {42, "sub/../plan.txt"}}, false,
       "plan.txt", {"42 (written) Unit 42: sub/../plan.txt", "48 (read) Unit 48: plan.txt"}},
      {"an output named with backslashes", {{22, "sub\\..\\et.txt"}}, false, "et.txt",
       {"13 (read) Unit 13: et.txt", "22 (written) Unit 22: sub/../et.txt"}},
      {"two outputs on a file not made yet", {{41, "q.txt"}, {44, "q.txt"}}, false, "q.txt",
       {"41 (written) Unit 41: q.txt", "44 (written) Unit 44: q.txt"}},
      {"two outputs on a file not made yet, one through ..",
       {{41, "q.txt"}, {43, "sub/../q.txt"}}, false, "q.txt",
       {"41 (written) Unit 41: q.txt", "43 (written) Unit 43: sub/../q.txt"}},
      {"an output through a link to an input", {{43, "link_to_oc.txt"}}, false, "oc.txt",
       {"12 (read) Unit 12: oc.txt", "43 (written) Unit 43: link_to_oc.txt"}},
      {"two outputs, one through a link to a file not made yet",
       {{41, "link_to_new.txt"}, {44, "new.txt"}}, false, "new.txt",
       {"41 (written) Unit 41: link_to_new.txt", "44 (written) Unit 44: new.txt"}},
      {"an input on the log", {{47, log_name}}, false, log_name,
       {"47 (read) Unit 47: " + log_name, "52 (written) log file: " + log_name}},
      {"the hot-start file named as an input too", {{28, "hot.txt"}, {29, "hot.txt"}}, false,
       "hot.txt", {"28 (read and written) Unit 28: hot.txt", "29 (read) Unit 29: hot.txt"}},
      {"the check file on a level-discharge tables' file",
       {{51, "zq.txt"}, {49, "zq_echo_777.txt"}}, false, "zq_echo_777.txt",
       {"49 (read) Unit 49: zq_echo_777.txt",
        "777 (written) level-discharge tables' echo: zq_echo_777.txt"}},
      {"an output on an unused unit's file", {{14, "notes.txt"}, {24, "notes.txt"}}, false,
       "notes.txt", {"14 (read) Unit 14: notes.txt", "24 (written) Unit 24: notes.txt"}},
      {"an output on the catchment list", {{42, "catchments.txt"}}, true, "catchments.txt",
       {"42 (written) Unit 42: catchments.txt", "875 (read) catchment list: catchments.txt"}},
      {"the hot-start file alone", {{28, "hot.txt"}}, false, "", {}},
      {"two inputs on one file", {{45, "temps.txt"}, {46, "./temps.txt"}}, false, "", {}},
      {"outputs thrown away on a device", {{41, "/dev/null"}, {44, "/dev/null"}}, false, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir run_dir;
    for (const char* f : {"frame.txt", "vss.txt", "oc.txt", "et.txt", "plan.txt", "hot.txt",
                          "temps.txt", "zq.txt", "zq_echo_777.txt", "notes.txt"}) {
      run_dir.write(f, std::string("the data of ") + f + "\n");
    }
    run_dir.write("print.txt", "the print of the run before\n");
    run_dir.write(log_name, "the log of the run before\n");
    run_dir.write("sub/x", "");
    run_dir.write("catchments.txt", "clash\n" + rd_name + "\n");
    std::filesystem::create_symlink("oc.txt", run_dir.file("link_to_oc.txt"));
    std::filesystem::create_symlink("new.txt", run_dir.file("link_to_new.txt"));
    std::map<int, std::string> units = {
        {10, "frame.txt"}, {11, "vss.txt"}, {12, "oc.txt"}, {13, "et.txt"}, {23, "print.txt"}};
    for (const auto& [unit, name] : c.units) units[unit] = name;
    std::string text = "Title of the run\n";
    for (int unit = 10; unit <= 51; ++unit) {
      text += "Unit " + std::to_string(unit) + "\n" + (units.count(unit) ? units[unit] : "0");
      text += "\n";
    }
    run_dir.write(rd_name, text);
    const auto before = tree_of(run_dir.path());

    Model fresh{console_file};
    std::fflush(console_file);
    const long from = std::ftell(console_file);
    int status = 0;
    try {
      READ_COMMAND_LINE(c.from_list ? std::vector<std::string>{"-c", "clash"}
                                    : std::vector<std::string>{"-f", run_dir.file(rd_name)},
                        run_dir.path(), fresh.io);
      OPEN_RUN_FILES(fresh.io);
    } catch (const ImmediateStop&) {
      status = 2;
    }
    fresh.io.units.close_all();
    fresh.io.console.flush();
    const std::string said = read_file(console_path).substr(static_cast<std::size_t>(from));
    if (c.place.empty()) {
      EXPECT_EQ(status, 0) << said;
      continue;
    }
    EXPECT_EQ(status, 2);
    const std::string real_dir = std::filesystem::canonical(run_dir.path()).string() + "/";
    std::string expected = "FILE " + real_dir + c.place +
                           " IS NAMED FOR MORE THAN ONE UNIT AND THE RUN WRITES IT: this run "
                           "stops before writing any file\n";
    for (const std::string& line : c.lines) {  // the name as the run has it, in the run's folder
      const std::size_t name = line.rfind(": ") + 2;
      expected += " unit " + line.substr(0, name) + run_dir.path() + "/" + line.substr(name) + "\n";
    }
    expected += "ABNORMAL END\n";
    EXPECT_NE(said.find(expected), std::string::npos) << said << "\nexpected:\n" << expected;
    EXPECT_TRUE(tree_of(run_dir.path()) == before) << "a file was written, emptied or made";
    fresh.io.output_locks.release();
  }
}

TEST_F(CommandLineTest, ZeroAfterABlankIsAFileName) {
  dir.write(" 0", "");
  dir.write("f.txt", "");
  std::string rd = rundata("rundata_z.txt", {"f.txt", " 0", "0", "0"});
  EXPECT_EQ(run({"-f", rd}), 0) << console();
  EXPECT_TRUE(model.io.units.is_open(11));
}

}  // namespace
}  // namespace quendal
