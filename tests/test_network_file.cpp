// "Network.csv", "Screen.csv" and "Ramp.csv" as read by GETNET into LINK, LNKVT and LNKPT.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

using test::Console;
using test::TempDir;
using test::read_lines;
using test::write_file;
using Lines = std::vector<std::string>;

// Normal mode, no transit stage: confirm, then questions 5 to 8.
const std::string ROAD_ANSWERS = "1\n1\n2\n1\n1\n";

struct Net {
  Settings set;
  int16_t IERR = -1;
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  Lines console;
  Lines log;
};

Net load(const std::string& answers = ROAD_ANSWERS, Settings set = Settings{},
         const std::function<void(SharedTables&)>& before = {}) {
  Net n;
  n.set = set;
  if (before) before(*n.t);
  SharedTables& t = *n.t;
  {
    Console con(answers);
    EXPECT_TRUE(open_write(LOG_UNIT, "Log.txt"));
    GETNET(n.set, t, LOG_UNIT, n.IERR);
    close_unit(LOG_UNIT);
    n.console = con.lines();
  }
  n.log = read_lines("Log.txt");
  return n;
}

bool contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The console and log lines after " Read Network Data from Network.csv".
Lines after_read(const Lines& lines) {
  auto it = std::find(lines.begin(), lines.end(), " Read Network Data from Network.csv");
  return it == lines.end() ? Lines{} : Lines(it + 1, lines.end());
}

std::string links(int n, int first_a = 1001) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += std::to_string(first_a + i % 500) + "," + std::to_string(first_a + 1 + i % 499) + ",1,1,1,0,100\n";
  return s;
}

// ------------------------------------------------------------ link table

TEST(NetworkFile, RowsOfTheThreeTables) {
  TempDir dir;
  write_file("Network.csv", "1,1001,0,9,1,0,0\n1001,1002,3,2,5,7,1234\n1002,1,12,1,0,0,15\n");
  Net n = load();
  ASSERT_EQ(n.IERR, 0);
  const SharedTables& t = *n.t;
  EXPECT_EQ(t.NLROAD, 3);
  EXPECT_EQ(t.NLVT, 3);
  EXPECT_EQ(t.NLPT, 3);
  const std::vector<std::vector<int32_t>> link = {{1, 1001, 0, 9, 1, 0, 0, 0, 0, 0, 0},
                                                  {1001, 1002, 3, 2, 5, 7, 1234, 0, 0, 0, 0},
                                                  {1002, 1, 12, 1, 0, 0, 15, 0, 0, 0, 0}};
  const std::vector<std::vector<int64_t>> net = {{1, 1, 1001, 0, 0, 0, 0, 0},
                                                 {2, 1001, 1002, 0, 0, 0, 0, 0},
                                                 {3, 1002, 1, 0, 0, 0, 99, 0}};
  for (int i = 1; i <= 3; ++i) {
    for (int c = 1; c <= 11; ++c) EXPECT_EQ(t.LINK(i, c), link[i - 1][c - 1]) << "LINK(" << i << "," << c << ")";
    for (int c = 1; c <= 8; ++c) {
      EXPECT_EQ(t.LNKVT(i, c), net[i - 1][c - 1]) << "LNKVT(" << i << "," << c << ")";
      EXPECT_EQ(t.LNKPT(i, c), net[i - 1][c - 1]) << "LNKPT(" << i << "," << c << ")";
    }
  }
  EXPECT_EQ(t.NZ, 1);
  EXPECT_EQ(after_read(n.console), (Lines{"  Number of Zones & Centroids =    1"}));
  EXPECT_EQ(after_read(n.log), (Lines{"  Number of Zones & Centroids =    1"}));
}

TEST(NetworkFile, TablesAreClearedBeforeReading) {
  TempDir dir;
  write_file("Network.csv", "1,2,1,1,1,0,100\n");
  Net n = load(ROAD_ANSWERS, Settings{}, [](SharedTables& t) {
    t.LINK.fill(7);
    t.LNKVT.fill(7);
    t.LNKPT.fill(7);
    t.NLVT = 55;
  });
  ASSERT_EQ(n.IERR, 0);
  EXPECT_EQ(n.t->NLVT, 1);
  EXPECT_EQ(n.t->LINK(1, 9), 0);
  EXPECT_EQ(n.t->LINK(2, 1), 0);
  EXPECT_EQ(n.t->LINK(LRSIZE, 11), 0);
  EXPECT_EQ(n.t->LNKVT(1, 5), 0);
  EXPECT_EQ(n.t->LNKPT(LKSIZE, 8), 0);
}

TEST(NetworkFile, KindFromLinkCharacter) {
  struct Case {
    int32_t character;
    int64_t kind;
  };
  const std::vector<Case> cases = {{0, 0}, {1, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 99}, {12, 99}};
  std::string file;
  for (const Case& c : cases) file += "1,2," + std::to_string(c.character) + ",1,1,0,100\n";
  TempDir dir;
  write_file("Network.csv", file);
  Net n = load();
  ASSERT_EQ(n.t->NLROAD, int32_t(cases.size()));
  for (size_t k = 0; k < cases.size(); ++k) {
    const int i = int(k) + 1;
    EXPECT_EQ(n.t->LINK(i, 3), cases[k].character);
    EXPECT_EQ(n.t->LNKVT(i, 7), cases[k].kind) << "character " << cases[k].character;
    EXPECT_EQ(n.t->LNKPT(i, 7), cases[k].kind) << "character " << cases[k].character;
  }
}

TEST(NetworkFile, WalkingImpedanceFromAccessSpeed) {
  struct Case {
    int32_t footsp, character, length_m;
    int64_t impedance;
  };
  const std::vector<Case> cases = {
      {4, 1, 1000, 1500},   {4, 7, 1000, 150000}, {4, 8, 1000, 150000}, {4, 6, 1000, 1500},
      {4, 9, 1000, 150000}, {3, 1, 1001, 2002},   {7, 1, 100, 85},      {7, 7, 100, 8571},
      {4, 1, 0, 0},         {0, 1, 1000, 0},      {5, 7, 4000000, 480000000},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file("Network.csv", "1,2," + std::to_string(c.character) + ",1,1,0," + std::to_string(c.length_m) + "\n");
    Settings set;
    set.FOOTSP = c.footsp;  // no transit stage: the main program's value stands
    Net n = load(ROAD_ANSWERS, set);
    ASSERT_EQ(n.IERR, 0);
    EXPECT_EQ(n.t->LNKPT(1, 4), c.impedance) << c.footsp << " km/h, type " << c.character << ", " << c.length_m << " m";
    EXPECT_EQ(n.t->LNKVT(1, 4), 0);
  }
}

TEST(NetworkFile, AccessSpeedFromTheDialogue) {
  TempDir dir;
  write_file("Assign.txt", "0120     00000000000    1 1100\n");
  write_file("Network.csv", "1,2,1,1,1,0,1000\n2,1,7,1,1,0,1000\n");
  Net n = load("1\n1\n4\n1\n2\n1\n1\n");
  ASSERT_EQ(n.IERR, 0);
  EXPECT_EQ(n.set.FOOTSP, 4);
  EXPECT_EQ(n.t->LNKPT(1, 4), 1500);
  EXPECT_EQ(n.t->LNKPT(2, 4), 150000);
}

TEST(NetworkFile, ThirtyThousandLinksAccepted) {
  TempDir dir;
  write_file("Network.csv", links(LRSIZE));
  Net n = load();
  EXPECT_EQ(n.IERR, 0);
  EXPECT_EQ(n.t->NLROAD, LRSIZE);
  EXPECT_EQ(n.t->LNKPT(LRSIZE, 1), LRSIZE);
}

TEST(NetworkFile, ThirtyThousandAndOneLinksRejected) {
  TempDir dir;
  write_file("Network.csv", links(LRSIZE + 1) + links(5));
  Net n = load();
  EXPECT_EQ(n.IERR, 9);
  const Lines message = {"  Link Table size 30001 is over than 30000",
                         "    in Network.csv, line 30001: \"1001,1062,1,1,1,0,100\"",
                         " *** Need to change Program Parameter (LRSIZE)"};
  EXPECT_EQ(after_read(n.console), message);
  EXPECT_EQ(after_read(n.log), message);
}

TEST(NetworkFile, LineOfZerosEndsTheLinksAndEmptyLineDoesNot) {
  TempDir dir;
  write_file("Network.csv", "1,2,1,1,1,0,100\n\n   \n2,3,1,1,1,0,100\n0,0,0,0,0,0,0\n3,4,1,1,1,0,100\n");
  Net n = load();
  EXPECT_EQ(n.IERR, 0);
  EXPECT_EQ(n.t->NLROAD, 2);
  EXPECT_EQ(n.t->LINK(2, 1), 2);
  EXPECT_EQ(n.t->NZ, 2);
  // Messages about a link later name its line of the file, blank lines counted.
  EXPECT_EQ(n.t->LINKLINE(1), 1);
  EXPECT_EQ(n.t->LINKLINE(2), 4);
}

TEST(NetworkFile, LengthTooWideForTheDistanceColumnIsWarned) {
  TempDir dir;
  write_file("Network.csv", "1,2,1,1,1,0,999999\n2,1,1,1,1,0,1000000\n");
  Net n = load();
  EXPECT_EQ(n.IERR, 0);  // the run goes on
  const std::string warning =
      " *** Warning *** Network.csv, line 2: the length 1000000.0 does not fit the Distance (m) column (I6) of"
      " Traffic Assign files and prints there as asterisks.";
  for (const Lines* l : {&n.console, &n.log}) {
    EXPECT_EQ(std::count_if(l->begin(), l->end(), [](const std::string& x) { return x.find("does not fit") != std::string::npos; }), 1);
    EXPECT_TRUE(contains(*l, warning));
  }
}

TEST(NetworkFile, AutomaticZoneCountIgnoresCodesAbove400) {
  TempDir dir;
  std::string file;
  for (int a = 1; a <= 57; a += (a == 20 ? 2 : 1)) file += std::to_string(a) + ",1005,1,1,1,0,100\n";
  file += "1005,1,1,1,1,0,100\n401,1,1,1,1,0,100\n-1,300,1,1,1,0,100\n400,1,1,1,1,0,100\n";
  write_file("network.CSV", file);  // names are matched without regard to case
  Net n = load();
  ASSERT_EQ(n.IERR, 0);
  EXPECT_EQ(n.t->NZ, 57);  // 400 comes after the negative A node that ends the links
  for (int z = 1; z <= 57; ++z) EXPECT_EQ(n.t->NCENT(z, 1), z);  // zone 21 has no link but is a zone
  EXPECT_EQ(n.t->NCENT(58, 1), 0);
  EXPECT_EQ(after_read(n.console),
            (Lines{" *** Warning *** Network.csv, line 59: a from-node of 0 or below ends the links;"
                   " the records after it are not read.",
                   "  Number of Zones & Centroids =   57"}));
}

TEST(NetworkFile, TypedZoneCountOverTheLimit) {
  TempDir dir;
  write_file("Network.csv", "1,2,1,1,1,0,100\n");
  // debug mode, zones typed: 401, starting zone 1
  Net n = load("9\n1\n1\n2\n1\n1\n401\n1\n");
  EXPECT_EQ(n.IERR, 9);
  EXPECT_EQ(n.t->NZ, 401);
  const Lines message = {"  Zone size  401 is over than 400", " *** Need to change Program Parameter (NZSIZE)"};
  EXPECT_EQ(after_read(n.console), message);
  Lines log = message;
  log.insert(log.begin(), "  Number of Zones & Centroids =  401");
  EXPECT_EQ(after_read(n.log), log);
}

TEST(NetworkFile, WrongRecordReportedWithLineAndRestRead) {
  TempDir dir;
  write_file("Network.csv", "1,2,1,1,1,0,100\n2,x,1,1,1,0,100\n\n3,4,1,1,1,0,1.5\n4,5,1,1,1,0,100\n");
  Net n = load();
  EXPECT_EQ(n.IERR, 9);
  const std::string pad29(29, ' ');
  const Lines expected = {"  * ERROR * Wrong Record at     2 in " + pad29 + "Network.csv",
                          "    in Network.csv, line 2: \"2,x,1,1,1,0,100\"",
                          "  * ERROR * Wrong Record at     4 in " + pad29 + "Network.csv",
                          "    in Network.csv, line 4: \"3,4,1,1,1,0,1.5\"",
                          "  Number of Zones & Centroids =    4"};
  EXPECT_EQ(after_read(n.console), expected);
  EXPECT_EQ(after_read(n.log), expected);
  // Rows of unreadable lines stay empty; the next line goes into the next row.
  EXPECT_EQ(n.t->NLROAD, 4);
  EXPECT_EQ(n.t->LINK(2, 1), 0);
  EXPECT_EQ(n.t->LNKVT(2, 1), 0);
  EXPECT_EQ(n.t->LINK(4, 1), 4);
  EXPECT_EQ(n.t->LNKVT(4, 1), 4);
}

TEST(NetworkFile, RouteSizedNodeCodeRejected) {
  TempDir dir;
  write_file("Network.csv", "1,2,1,1,1,0,100\n2,100000,1,1,1,0,100\n100001,2,1,1,1,0,100\n99999,1,1,1,1,0,100\n");
  Net n = load();
  EXPECT_EQ(n.IERR, 9);
  const std::string pad29(29, ' ');
  EXPECT_EQ(after_read(n.console),
            (Lines{"  * ERROR * Node Code     100000 is over 99999 at     2 in " + pad29 + "Network.csv",
                   "  * ERROR * Node Code     100001 is over 99999 at     3 in " + pad29 + "Network.csv",
                   "  Number of Zones & Centroids =    1"}));
  EXPECT_EQ(n.t->NLROAD, 4);
  EXPECT_EQ(n.t->LINK(4, 1), 99999);
}

TEST(NetworkFile, NegativeLengthRejected) {
  TempDir dir;
  write_file("Network.csv", "1,2,1,1,1,0,0\n2,3,1,1,1,0,-6998\n3,1,1,1,1,0,100\n");
  Net n = load();
  EXPECT_EQ(n.IERR, 9);
  const std::string pad29(29, ' ');
  const Lines expected = {"  * ERROR * Link Length      -6998 is negative at     2 in " + pad29 + "Network.csv",
                          "  Number of Zones & Centroids =    3"};
  EXPECT_EQ(after_read(n.console), expected);
  EXPECT_EQ(after_read(n.log), expected);
  // A length of 0 is a link like any other; the rejected one leaves its row empty.
  EXPECT_EQ(n.t->NLROAD, 3);
  EXPECT_EQ(n.t->LINK(1, 1), 1);
  EXPECT_EQ(n.t->LINK(2, 1), 0);
  EXPECT_EQ(n.t->LINK(3, 7), 100);
}

TEST(NetworkFile, MissingNetworkFile) {
  TempDir dir;
  Net n = load();
  EXPECT_EQ(n.IERR, 9);
  const Lines message = {" There is no network definition. Network.csv", " *** Error *** Please set Network.csv"};
  ASSERT_GE(n.console.size(), 2u);
  EXPECT_EQ(Lines(n.console.end() - 2, n.console.end()), message);
  EXPECT_EQ(Lines(n.log.end() - 2, n.log.end()), message);
  EXPECT_EQ(n.t->NLROAD, 0);
}

// Every stage would run on nothing: the run must not go on.
TEST(NetworkFile, NoLinkAtAllEndsTheRun) {
  struct C {
    const char* text;
    const char* message;
  };
  for (C c : {C{"", " *** Error *** Network.csv holds no link."},
              C{"\n  \n", " *** Error *** Network.csv holds no link."},
              C{"0,2,1,1,1,0,100\n1,2,1,1,1,0,100\n",
                " *** Error *** Network.csv, line 1: the links end at their first record (from-node 0 or below)."},
              C{"-1,2,1,1,1,0,100\n", " *** Error *** Network.csv, line 1: the links end at their first record"
                                      " (from-node 0 or below)."}}) {
    TempDir dir;
    write_file("Network.csv", c.text);
    Net n = load();
    EXPECT_EQ(n.IERR, 9) << c.text;
    EXPECT_EQ(n.t->NLROAD, 0);
    EXPECT_EQ(after_read(n.log), (Lines{c.message, "  Number of Zones & Centroids =    0"})) << c.text;
  }
}

// ------------------------------------------------------------ screen lines and ramps

TEST(ScreenAndRamp, MarksFirstMatchInItsDirection) {
  TempDir dir;
  write_file("Network.csv", "1,2,1,1,1,0,100\n2,1,1,1,1,0,100\n2,3,1,1,1,0,100\n3,2,1,1,1,0,100\n");
  write_file("Screen.csv", "1,2,3\n1,2,5\n3,2,7\n8,9,4\n0,0,0\n2,3,6\n");
  write_file("Ramp.csv", "2,1,11\n2,3,12\n");
  Net n = load();
  ASSERT_EQ(n.IERR, 0);
  EXPECT_EQ(n.set.KSCRN, 1);
  EXPECT_EQ(n.set.KRAMP, 1);
  const std::vector<std::pair<int32_t, int32_t>> marks = {{3, 0}, {0, 11}, {0, 12}, {7, 0}};
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(n.t->LINK(i, 10), marks[size_t(i - 1)].first) << "screen of link " << i;
    EXPECT_EQ(n.t->LINK(i, 11), marks[size_t(i - 1)].second) << "ramp of link " << i;
  }
}

TEST(ScreenAndRamp, FlagsFollowTheFiles) {
  struct Case {
    std::string screen, ramp;  // "-" = no file
    int16_t kscrn, kramp;
    std::string warning;  // a list that lists nothing is said
  };
  const std::string first = ", line 1: the list ends at its first line (from-node 0 or below); no link is listed.";
  const std::vector<Case> cases = {{"-", "-", 0, 0, ""},
                                   {"0,0,0\n", "-", 1, 0, " *** Warning *** Screen.csv" + first},
                                   {"-", "", 0, 1, " *** Warning *** Ramp.csv lists no link."},
                                   {"1,2,4\n", "0,0,0\n", 1, 1, " *** Warning *** Ramp.csv" + first}};
  for (const Case& c : cases) {
    TempDir dir;
    write_file("Network.csv", "1,2,1,1,1,0,100\n");
    if (c.screen != "-") write_file("Screen.csv", c.screen);
    if (c.ramp != "-") write_file("Ramp.csv", c.ramp);
    Settings start;
    start.KSCRN = 1;
    start.KRAMP = 1;
    Net n = load(ROAD_ANSWERS, start);
    EXPECT_EQ(n.IERR, 0);
    EXPECT_EQ(n.set.KSCRN, c.kscrn);
    EXPECT_EQ(n.set.KRAMP, c.kramp);
    EXPECT_EQ(n.t->LINK(1, 10), c.screen == "1,2,4\n" ? 4 : 0);
    EXPECT_EQ(n.t->LINK(1, 11), 0);
    if (c.warning.empty()) {
      for (const std::string& l : n.log) EXPECT_EQ(l.find("Warning"), std::string::npos) << l;
    } else {
      EXPECT_NE(std::find(n.log.begin(), n.log.end(), c.warning), n.log.end()) << c.warning;
    }
  }
}

TEST(ScreenAndRamp, ListsUpToTheirCapacityAccepted) {
  TempDir dir;
  std::string screen, ramp;
  for (int k = 1; k <= NSCRSZ; ++k) screen += std::to_string(k + 1000) + ",9," + std::to_string(k) + "\n";
  for (int k = 1; k <= NRMPSZ; ++k) ramp += std::to_string(k + 1000) + ",9," + std::to_string(k) + "\n";
  write_file("Screen.csv", screen + "0,0,0\n");
  write_file("Ramp.csv", ramp);
  write_file("Network.csv", "4000,9,1,1,1,0,100\n2000,9,1,1,1,0,100\n");
  Net n = load();
  EXPECT_EQ(n.IERR, 0);
  EXPECT_EQ(n.t->LINK(1, 10), 3000);  // the last row of the list is searched
  EXPECT_EQ(n.t->LINK(2, 11), 1000);
}

TEST(ScreenAndRamp, LongerListsEndTheRun) {
  struct Case {
    std::string file, limit;
    int size;
  };
  const std::vector<Case> cases = {{"Screen.csv", "NSCRSZ", NSCRSZ}, {"Ramp.csv", "NRMPSZ", NRMPSZ}};
  for (const Case& c : cases) {
    TempDir dir;
    std::string list;
    for (int k = 1; k <= c.size + 1; ++k) list += std::to_string(k) + ",2,1\n";
    write_file(c.file, list);
    write_file("Network.csv", "1,2,1,1,1,0,100\n");
    Net n = load();
    EXPECT_EQ(n.IERR, 9) << c.file;
    const Lines message = {
        " === SUBROUTINE GetNet =======",
        " *** Error *** " + c.file + " has more lines than" + (c.size == 3000 ? "  3000" : "  1000") +
            " at line" + (c.size == 3000 ? "   3001" : "   1001"),
        " *** Need to change Program Parameter (" + c.limit + ")"};
    ASSERT_GE(n.console.size(), 3u);
    EXPECT_EQ(Lines(n.console.end() - 3, n.console.end()), message);
    EXPECT_EQ(Lines(n.log.end() - 3, n.log.end()), message);
    EXPECT_FALSE(contains(n.log, " Read Network Data from Network.csv"));
  }
}

TEST(ScreenAndRamp, UnreadableLineIsAFatalReadError) {
  TempDir dir;
  write_file("Screen.csv", "1,2,3\n1,two,3\n");
  write_file("Network.csv", "1,2,1,1,1,0,100\n");
  auto t = std::make_unique<SharedTables>();
  Settings set;
  int16_t IERR = 0;
  Console con(ROAD_ANSWERS);
  try {
    GETNET(set, *t, 0, IERR);
    ADD_FAILURE() << "no read error";
  } catch (const FatalReadError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("Screen.csv"), std::string::npos) << what;
    EXPECT_NE(what.find("line 2"), std::string::npos) << what;
  }
  EXPECT_FALSE(is_open(10));  // the list file is not left open
}

}  // namespace
}  // namespace routava
