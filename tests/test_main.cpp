// The main program: stage records, file names, time stamps and whole runs.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <thread>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

using test::Console;
using test::TempDir;

const char* kRoadAnswers = "1\n1\n2\n1\n1\n";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(StageNames, TemplatesTakeTheStageNumber) {
  struct C {
    const char* tmpl;
    int stage;
    const char* expected;
  };
  for (C c : {C{"Vehicle PathVT00.csv", 3, "Vehicle PathVT03.csv"}, C{"Transit PathPT00.csv", 12, "Transit PathPT12.csv"},
              C{"Traffic Assign00VT.csv", 7, "Traffic Assign07VT.csv"}, C{"~Temp00", 10, "~Temp10"},
              C{"Transit CapacityOver00.csv", 3, "Transit CapacityOver03.csv"}, C{"CUT00.csv", 99, "CUT99.csv"}}) {
    EXPECT_EQ(stage_file_name(c.tmpl, c.stage), c.expected);
  }
}

TEST(StageRecord, ColumnsAndFactors) {
  StageRead a = read_stage_record("0110     00000000000    2 1 40 2 40");
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.record.KSTAGE, 1);
  EXPECT_EQ(a.record.KASSIGN, 1);
  EXPECT_EQ(a.record.KHOLD, 0);
  EXPECT_EQ(a.record.NODTAB, 2);
  EXPECT_EQ(a.record.IODTAB[2], 2);
  EXPECT_FLOAT_EQ(a.record.FODTAB[1], 40.0f);

  StageRead b = read_stage_record("1221 1200.0110000000    1 70.5");
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.record.KSTAGE, 12);
  EXPECT_EQ(b.record.KASSIGN, 2);
  EXPECT_EQ(b.record.KHOLD, 1);
  EXPECT_FLOAT_EQ(b.record.TVALUE, 1200.0f);
  EXPECT_EQ(b.record.KSW[1], 0);
  EXPECT_EQ(b.record.KSW[2], 1);
  EXPECT_EQ(b.record.KSW[3], 1);
  EXPECT_EQ(b.record.IODTAB[1], 7);
  EXPECT_FLOAT_EQ(b.record.FODTAB[1], 0.5f);  // a factor with a point is taken as written

  EXPECT_EQ(read_stage_record("  ").record.KSTAGE, 0);  // a blank stage field ends the list
  StageRead bad = read_stage_record("0x10");
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.bad_text, "0x");
}

TEST(TimeStamp, LayoutAndTruncatedHundredths) {
  auto local = [](int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
  };
  EXPECT_EQ(time_stamp_text(local(2007, 3, 5, 9, 4, 7), 300), "  Current time 2007.03.05  09:04:07.30");
  EXPECT_EQ(time_stamp_text(local(2026, 12, 31, 23, 59, 59), 999), "  Current time 2026.12.31  23:59:59.99");
}

TEST(TimeStamp, ConsoleAlwaysUnitOnlyWhenPositive) {
  TempDir dir;
  Console con;
  const std::regex line(R"(  Current time \d{4}\.\d\d\.\d\d  \d\d:\d\d:\d\d\.\d\d)");
  OUTTIME(0);
  OUTTIME(-3);
  ASSERT_TRUE(open_write(20, "stamp.txt"));
  OUTTIME(20);
  close_unit(20);
  auto lines = con.lines();
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& l : lines) EXPECT_TRUE(std::regex_match(l, line)) << l;
  auto file = test::read_lines("stamp.txt");
  ASSERT_EQ(file.size(), 1u);
  EXPECT_EQ(file[0], lines[2]);
}

// ------------------------------------------------------------------ whole runs

struct RunResult {
  int status;
  std::string console;
  std::string log;
};

RunResult run_in_place(const std::string& answers) {
  RunResult r;
  r.status = test::run_program(answers);
  r.console = test::read_file("console.out");
  if (std::filesystem::is_regular_file("Log.txt")) r.log = test::read_file("Log.txt");  // not a device
  return r;
}

const char* kBannerEnd = " *  Thank you for so l-o-n-g time   *";

TEST(WholeRun, StageZeroRunsNoStage) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  test::write_file("Assign.txt", "00\n0110     00000000000    2 1 40 2 40\n");
  RunResult r = run_in_place(kRoadAnswers);
  EXPECT_EQ(r.status, 0);
  for (const std::string* t : {&r.console, &r.log}) {
    EXPECT_TRUE(contains(*t, " *   Routava Ver 3.04    *"));
    EXPECT_FALSE(contains(*t, "Routava STAGE"));
    EXPECT_TRUE(contains(*t, kBannerEnd));
  }
}

TEST(WholeRun, StageHeadingsAndParameterEcho) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  test::write_file("Assign.txt",
                   "0310     00000000000    2 1 40 2 40\n"
                   "1210  120.0100000000    1 1 60\n"
                   "00\n");
  RunResult r = run_in_place(kRoadAnswers);
  EXPECT_EQ(r.status, 0) << r.console;
  auto log = test::read_lines("Log.txt");
  auto at = [&](const std::string& s) {
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i] == s) return int(i);
    return -1;
  };
  int s3 = at(" Routava STAGE 3");
  int s12 = at(" Routava STAGE 12");
  ASSERT_GE(s3, 1);
  ASSERT_GT(s12, s3);
  EXPECT_EQ(log[size_t(s3 - 1)], " ======================================");
  EXPECT_EQ(log[size_t(s3 + 2)], " ======================================");
  EXPECT_EQ(log[size_t(s3 + 3)], " Assign parameters");
  EXPECT_EQ(log[size_t(s3 + 4)], "  310    0.0000000000    2 140. 240.");
  EXPECT_EQ(log[size_t(s3 + 5)], " You do not use Time Value. Time Value = 0");
  EXPECT_EQ(log[size_t(s12 + 4)], " 1210  120.0100000000    1 160.");
  EXPECT_NE(log[size_t(s12 + 5)], " You do not use Time Value. Time Value = 0");
  EXPECT_TRUE(contains(r.console, "  310    0.0000000000    2 140. 240.\n You do not use Time Value. Time Value = 0\n  \n"));
}

TEST(WholeRun, UnreadableStageRecordIsReportedAndEndsTheRun) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  test::write_file("Assign.txt", "0110     00000000000    2 1 40 2 40\n0x10\n");
  RunResult r = run_in_place(kRoadAnswers);
  EXPECT_NE(r.status, 0);
  for (const std::string* t : {&r.console, &r.log}) {
    EXPECT_TRUE(std::regex_search(*t, std::regex("Assign\\.txt, line 2: cannot convert \"0x\""))) << *t;
    // Files of the totals, if present, are not this run's.
    EXPECT_TRUE(contains(*t, " Stages completed in this run: 1\n")) << *t;
    EXPECT_TRUE(contains(*t, kBannerEnd));
  }
  EXPECT_FALSE(std::filesystem::exists("~Temp01"));
}

// Stage records that run, but hardly as meant, are said with their line; the run goes on.
TEST(WholeRun, DoubtfulStageRecordsAreSaidAndRun) {
  struct C {
    const char* control;
    const char* warning;
    int status = 0;
  };
  for (C c : {C{"", " *** Warning *** Assign.txt, line 1: the list of stages ends here (stage number blank, 0 or below);"
                    " no stage runs.\n"},
              C{"0110     00000000000    2 1 40 2 40\n0110     00000000000    2 1 40 2 40\n00\n",
                " *** Warning *** Assign.txt, line 2, stage 1: the stage number is used before;"
                " that stage's result files are overwritten.\n",
                3},  // the totals find its scratch file used up
              C{"0110     00000000000    0\n00\n",
                " *** Warning *** Assign.txt, line 1, stage 1: no OD table is loaded (number of OD tables 0).\n"}}) {
    TempDir dir;
    test::copy_network("SiouxFalls");
    test::write_file("Assign.txt", c.control);
    RunResult r = run_in_place(kRoadAnswers);
    EXPECT_EQ(r.status, c.status) << c.control;
    EXPECT_TRUE(contains(r.log, c.warning)) << r.log;
    EXPECT_TRUE(contains(r.console, c.warning));
    EXPECT_TRUE(contains(r.log, kBannerEnd));
  }
}

// OD records the stage leaves out or doubts are said once per file, with the first;
// a table whose vehicle type has no PCU is said too.
TEST(WholeRun, OdRecordsLeftOutAreCountedPerFile) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  test::write_file("Assign.txt", "0110     00000000000    2 1 40 2 40\n00\n");
  test::write_file("ODcar.csv", test::read_file("ODcar.csv") + "25,1,10\n1,2,-5\n3,99,7\n");
  test::write_file("ODtruck.csv", "");
  test::write_file("RoadPCU.txt", "1,1.0,0.0\n");  // trucks, type 2, missing
  RunResult r = run_in_place(kRoadAnswers);
  EXPECT_EQ(r.status, 0);
  for (const char* m : {" *** Warning *** ODcar.csv: 2 record(s) left out, a zone above the zone count 24,"
                        " the first at line 529: \"25,1,10\"\n",
                        " *** Warning *** ODcar.csv: 1 record(s) with trips below 0, taken as read,"
                        " the first at line 530: \"1,2,-5\"\n",
                        " *** Warning *** ODtruck.csv holds no OD record.\n",
                        " *** Warning *** Vehicle type 2 of OD table 2 (ODtruck.csv) has no PCU above 0 in RoadPCU.txt;"
                        " its trips load no PCU.\n"}) {
    EXPECT_TRUE(contains(r.log, m)) << m << r.log;
    EXPECT_TRUE(contains(r.console, m)) << m;
  }
}

TEST(WholeRun, TooManyOdTablesIsRejected) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  test::write_file("Assign.txt", "0110     00000000000    2 1 40 2 40\n0510     00000000000   11 1 40 2 40\n00\n");
  RunResult r = run_in_place(kRoadAnswers);
  EXPECT_NE(r.status, 0);
  // The message names the file and the line as well as the stage.
  const std::string message = " *** Error *** Assign.txt, line 2, stage 5: number of OD tables 11 is over than 10\n";
  EXPECT_TRUE(contains(r.log, message)) << r.log;
  EXPECT_TRUE(contains(r.console, message));
  EXPECT_TRUE(std::filesystem::exists("Vehicle Impedance01.csv"));
  EXPECT_FALSE(std::filesystem::exists("Vehicle Impedance05.csv"));
  EXPECT_TRUE(contains(r.log, kBannerEnd));
}

TEST(WholeRun, ExitStatusFollowsHowTheRunEnded) {
  const std::string one_stage = "0110     00000000000    2 1 40 2 40\n00\n";
  struct C {
    const char* name;
    std::function<void()> setup;
    const char* answers;
    int status;
    const char* message;  // on the console ("" none expected)
  };
  for (const C& c : std::vector<C>{
           {"user stops at the confirmation", [] {}, "2\n", 0, ""},
           {"console input ends at a question", [] {}, "1\n1\n", 1, ""},
           {"no control file", [] { std::filesystem::remove("Assign.txt"); }, kRoadAnswers, 1,
            " There is not the control file Assign.txt.\n *** Error *** Please check in the directory.\n"},
           {"an error message on the way", [&] { test::write_file("Assign.txt", "0110     00000000000    2 1 40 3 40\n00\n"); },
            kRoadAnswers, 3, " *** Error *** Not Exist OD File"},
           {"Log.txt on a full disk", [&] {
              test::write_file("Assign.txt", one_stage);
              std::filesystem::create_symlink("/dev/full", "Log.txt");
            },
            kRoadAnswers, 1, " *** Error *** Writing Log.txt failed (No space left on device)"},
           {"totals on a full disk", [&] {
              test::write_file("Assign.txt", one_stage);
              std::filesystem::create_symlink("/dev/full", "Traffic TotalResult.csv");
            },
            kRoadAnswers, 1, " *** Error *** Writing Traffic TotalResult.csv failed (No space left on device)"}}) {
    TempDir dir;
    test::copy_network("SiouxFalls");
    c.setup();
    RunResult r = run_in_place(c.answers);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.console;
    EXPECT_TRUE(contains(r.console, kBannerEnd)) << c.name;
    EXPECT_TRUE(contains(r.console, c.message)) << c.name << "\n" << r.console;
    for (const auto& e : std::filesystem::directory_iterator(".")) {
      const std::string n = e.path().filename().string();
      EXPECT_FALSE(n.starts_with("~Temp") || n.ends_with(".part")) << c.name << ": " << n << " left";
    }
  }
}

// Waits up to 30 s for `part` to appear in file `name`.
bool wait_for_text(const std::string& name, const std::string& part) {
  for (int k = 0; k < 3000; ++k) {
    if (contains(test::read_file(name), part)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The control file may be edited while the run goes on; a transit stage added
// after the dialogue has no access speed and must not run.
TEST(WholeRun, TransitStageAddedAfterTheDialogueEndsTheRun) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  test::write_file("Assign.txt", "0110     00000000000    2 1 40 2 40\n00\n");
  ASSERT_EQ(mkfifo("answers.fifo", 0600), 0);
  std::string cmd = std::string("(\"") + ROUTAVA_BINARY +
                    "\" < answers.fifo > console.out 2>&1; echo $? > status.out) &";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  {
    std::ofstream answers("answers.fifo");  // opens once the program reads
    ASSERT_TRUE(wait_for_text("console.out", "      ( 1.Yes   2.No ) = "));
    test::write_file("Assign.txt", "0110     00000000000    2 1 40 2 40\n0220     00000000000    1 1100\n00\n");
    answers << kRoadAnswers;
  }
  ASSERT_TRUE(wait_for_text("status.out", "\n"));
  EXPECT_EQ(test::read_file("status.out"), "1\n");
  const std::string log = test::read_file("Log.txt");
  const std::string message =
      " *** Error *** Assign.txt, line 2, stage 2: a transit stage added after the start;"
      " the transit questions were not asked.\n";
  EXPECT_TRUE(contains(log, message)) << log;
  EXPECT_TRUE(contains(test::read_file("console.out"), message));
  EXPECT_TRUE(std::filesystem::exists("Vehicle Impedance01.csv"));
  EXPECT_FALSE(contains(log, "Making Initial Transit Network"));
  EXPECT_TRUE(contains(log, kBannerEnd));
}

TEST(WholeRun, LinksWithoutSpeedFlowCurveAreNamedInTheLog) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  test::write_file("Assign.txt", "0110     00000000000    2 1 40 2 40\n00\n");
  // Two links whose QV type is not in QV.csv.
  std::string net = test::read_file("Network.csv");
  net = "1,1001,0,9,77,0,0\n1001,1,0,9,77,0,0\n" + net.substr(net.find('\n', net.find('\n') + 1) + 1);
  test::write_file("Network.csv", net);
  RunResult r = run_in_place(kRoadAnswers);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.log, " *** Warning *** 2 road links have speed 0 (no speed-flow curve in QV.csv);"
                              " the path search does not use them.\n"))
      << r.log;
}

// The counts block of the first road stage on every real network.
TEST(WholeRun, CountsBlockOnRealNetworks) {
  for (const char* net : {"SiouxFalls", "Anaheim", "Barcelona", "Winnipeg"}) {
    TempDir dir;
    test::copy_network(net);
    // Expected counts worked out from the network file itself.
    int links = 0, zones = 0;
    std::set<long> from_nodes;
    for (const std::string& line : test::read_lines("Network.csv")) {
      long a = 0, b = 0;
      if (std::sscanf(line.c_str(), "%ld,%ld", &a, &b) != 2 || a <= 0) break;
      ++links;
      from_nodes.insert(a);
      if (a <= 400 && a > zones) zones = int(a);
    }
    test::write_file("Assign.txt", "0110     00000000000    2 1 40 2 40\n00\n");
    RunResult r = run_in_place(test::read_file("answers.txt"));
    EXPECT_EQ(r.status, 0) << net;
    std::string block = "\n Number of Road Links = " + std::to_string(links) +
                        "\n Number of all Links  = " + std::to_string(links) +
                        "\n Number of all Nodes  = " + std::to_string(from_nodes.size()) +
                        "\n Number of Zones      = " + std::to_string(zones) + "\n\n";
    EXPECT_TRUE(contains(r.console, block)) << net << " expected" << block;
    EXPECT_TRUE(contains(r.log, block)) << net;
  }
}

}  // namespace
}  // namespace routava
