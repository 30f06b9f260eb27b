// Link cuts and prohibited turns: the per-stage file, the cut table and the node markers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "road/Dijkstra.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

using namespace routava;
using routava::test::Console;
using routava::test::TempDir;
using routava::test::write_file;

namespace {

// A node table holding the given codes (ascending), markers 0.
// The node table and the cut table live in the shared tables, as LNKCUT finds them.
struct Nodes {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  NodeTable& NODTBL = t->NODTBL;
  int32_t& NNODE = t->NNODE;
  explicit Nodes(const std::vector<int64_t>& codes) {
    for (int64_t c : codes) NODTBL(++NNODE, NOD_CODE) = c;
  }
  int64_t marker(int64_t code) const {
    for (int32_t n = 1; n <= NNODE; ++n)
      if (NODTBL(n, NOD_CODE) == code) return NODTBL(n, NOD_CUT);
    return -1;
  }
};

std::vector<int64_t> entry(const CutTable& t, int i) {
  return {t(i, 1), t(i, 2), t(i, 3), t(i, 4)};
}

}  // namespace

TEST(LinkCut, RecordsStoredBackwardsAndNodesMarked) {
  TempDir dir;
  Console con;
  write_file("CUT03.csv", "2,101,102\n3,101,102,103\n4, 7, 101, 102, 103\n1,102\n");
  Nodes nodes({7, 101, 102, 103});
  CutTable& lcut = nodes.t->LCUT;
  int32_t& ncut = nodes.t->NCUT;
  ncut = -1;
  int16_t ierr = -1;
  LNKCUT(3, *nodes.t, 0, ierr);
  EXPECT_EQ(ierr, 0);
  ASSERT_EQ(ncut, 4);
  EXPECT_EQ(entry(lcut, 1), (std::vector<int64_t>{102, 101, 0, 0}));
  EXPECT_EQ(entry(lcut, 2), (std::vector<int64_t>{103, 102, 101, 0}));
  EXPECT_EQ(entry(lcut, 3), (std::vector<int64_t>{103, 102, 101, 7}));
  EXPECT_EQ(entry(lcut, 4), (std::vector<int64_t>{102, 0, 0, 0}));
  EXPECT_EQ(nodes.marker(101), 1);
  EXPECT_EQ(nodes.marker(102), 2);
  EXPECT_EQ(nodes.marker(7), 0);
  EXPECT_EQ(nodes.marker(103), 0);
  // Entry 4 has no middle node: it is reported and stays in the table.
  EXPECT_EQ(con.lines(),
            (std::vector<std::string>{" Link Cut Data at the stage 3",
                                      " Number of Link Cut & Prohibited Turns = 4",
                                      " No Such Connections (   4),2,    0,  102,",
                                      "    in CUT03.csv, line 4: \"1,102\"", ""}));
}

TEST(LinkCut, FileNamePerStage) {
  struct Case {
    int16_t stage;
    const char* file;
  };
  for (Case c : std::vector<Case>{{3, "CUT03.csv"}, {12, "CUT12.csv"}, {7, "cut07.CSV"}}) {
    TempDir dir;
    Console con;
    write_file(c.file, "2,1,2\n");
    Nodes nodes({1, 2});
    int32_t& ncut = nodes.t->NCUT;
    ncut = 0;
    int16_t ierr = 0;
    LNKCUT(c.stage, *nodes.t, 0, ierr);
    EXPECT_EQ(ncut, 1) << c.file;
    EXPECT_EQ(nodes.marker(1), 1) << c.file;
  }
}

TEST(LinkCut, NoFileForTheStage) {
  TempDir dir;
  Console con;
  write_file("CUT02.csv", "2,1,2\n");
  Nodes nodes({1, 2});
  CutTable& lcut = nodes.t->LCUT;
  lcut(1, 1) = 2;
  lcut(1, 2) = 1;
  int32_t& ncut = nodes.t->NCUT;
  ncut = 1;
  int16_t ierr = 5;
  LNKCUT(3, *nodes.t, 0, ierr);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(ncut, 0);
  EXPECT_EQ(nodes.marker(1), 0);
  EXPECT_EQ(con.lines(), (std::vector<std::string>{" No Link Cut Data at the stage 3"}));
}

TEST(LinkCut, StageZeroKeepsTheTableAndMarksAgain) {
  TempDir dir;
  Console con;
  write_file("CUT00.csv", "2,2,1\n");  // never read
  Nodes nodes({1, 2});
  CutTable& lcut = nodes.t->LCUT;
  lcut(1, 1) = 2;
  lcut(1, 2) = 1;
  int32_t& ncut = nodes.t->NCUT;
  ncut = 1;
  int16_t ierr = 0;
  LNKCUT(0, *nodes.t, 0, ierr);
  EXPECT_EQ(ncut, 1);
  EXPECT_EQ(entry(lcut, 1), (std::vector<int64_t>{2, 1, 0, 0}));
  EXPECT_EQ(nodes.marker(1), 1);
  EXPECT_EQ(nodes.marker(2), 0);
  EXPECT_EQ(con.lines(), (std::vector<std::string>{""}));
}

TEST(LinkCut, ReadingRules) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<std::vector<int64_t>> entries;
  };
  const std::vector<Case> cases = {
      {"count 0 ends the file", "2,1,2\n0\n2,2,3\n", {{2, 1, 0, 0}}},
      {"negative count ends the file", "2,1,2\n-1,5\n2,2,3\n", {{2, 1, 0, 0}}},
      {"empty file", "", {}},
      {"blank lines are passed over", "\n2,1,2\n\n  \n3,1,2,3\n", {{2, 1, 0, 0}, {3, 2, 1, 0}}},
      {"a record may go on to the next line", "3,1,\n2,3\n2 2 3\n", {{3, 2, 1, 0}, {3, 2, 0, 0}}},
      {"values after the codes are ignored", "2,1,2,99,98\n", {{2, 1, 0, 0}}},
      {"a slash ends the record", "3,1,2/\n2,2,3\n", {{0, 2, 1, 0}, {3, 2, 0, 0}}},
      {"the file ends inside a record", "2,1,2\n4,1,2\n", {{2, 1, 0, 0}}},
      {"CRLF line ends", "2,1,2\r\n2,2,3\r\n", {{2, 1, 0, 0}, {3, 2, 0, 0}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Console con;
    write_file("CUT01.csv", c.text);
    Nodes nodes({1, 2, 3});
    CutTable& lcut = nodes.t->LCUT;
    lcut(TURNSZ, 1) = 77;  // cleared when the file is read
    int32_t& ncut = nodes.t->NCUT;
    ncut = -1;
    int16_t ierr = -1;
    LNKCUT(1, *nodes.t, 0, ierr);
    EXPECT_EQ(ierr, 0) << c.name;
    ASSERT_EQ(ncut, int32_t(c.entries.size())) << c.name;
    for (size_t i = 0; i < c.entries.size(); ++i)
      EXPECT_EQ(entry(lcut, int(i) + 1), c.entries[i]) << c.name;
    EXPECT_EQ(lcut(TURNSZ, 1), 0) << c.name;
  }
}

TEST(LinkCut, MoreThanFourCodesSkippedWithTheLine) {
  TempDir dir;
  Console con;
  write_file("CUT05.csv", "2,1,2\n\n5,1,2,3,4,5\n2,2,3\n");
  Nodes nodes({1, 2, 3});
  CutTable& lcut = nodes.t->LCUT;
  int32_t& ncut = nodes.t->NCUT;
  ncut = 0;
  int16_t ierr = -1;
  LNKCUT(5, *nodes.t, 0, ierr);
  EXPECT_EQ(ierr, 0);
  ASSERT_EQ(ncut, 2);
  EXPECT_EQ(entry(lcut, 1), (std::vector<int64_t>{2, 1, 0, 0}));
  EXPECT_EQ(entry(lcut, 2), (std::vector<int64_t>{3, 2, 0, 0}));
  auto lines = con.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "  * ERROR * Link Cut record with 5 nodes (4 at most) skipped: line 3 of CUT05.csv");
}

TEST(LinkCut, NodesNotInTheNetworkReportedNotFatal) {
  TempDir dir;
  Console con;
  // The same file serves the road and the transit network: route nodes are unknown here.
  write_file("CUT02.csv", "2,1,2\n2,500,1\n3,500,400,2\n4,1,2,300,400\n2,2,1\n");
  Nodes nodes({1, 2});
  int32_t& ncut = nodes.t->NCUT;
  ncut = 0;
  int16_t ierr = -1;
  ASSERT_TRUE(open_write(LOG_UNIT, "Log.txt"));
  LNKCUT(2, *nodes.t, LOG_UNIT, ierr);
  close_unit(LOG_UNIT);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(ncut, 5);
  EXPECT_EQ(nodes.marker(1), 1);
  EXPECT_EQ(nodes.marker(2), 1);
  const std::vector<std::string> expected = {
      " Link Cut Data at the stage 2",
      " Number of Link Cut & Prohibited Turns = 5",
      " No Such Connections (   2),2,  500,    1,",
      "    in CUT02.csv, line 2: \"2,500,1\"",
      " No Such Connections (   3),3,  500,  400,    2,",
      "    in CUT02.csv, line 3: \"3,500,400,2\"",
      " No Such Connections (   4),4,    1,    2,  300,  400,",
      "    in CUT02.csv, line 4: \"4,1,2,300,400\"",
      ""};
  EXPECT_EQ(con.lines(), expected);
  EXPECT_EQ(routava::test::read_lines("Log.txt"), expected);
}

// A cut file that gives no cut, or loses its last record, is said with its line.
TEST(LinkCut, FilesThatGiveNoCutAreSaid) {
  struct C {
    const char* text;
    const char* warning;
    int32_t ncut;
  };
  for (C c : {C{"", " *** Warning *** CUT04.csv holds no cut.", 0},
              C{"0,1,2\n2,1,2\n",
                " *** Warning *** CUT04.csv, line 1: the list ends at its first line (number of nodes 0 or below);"
                " no cut is read.",
                0},
              C{"2,1,2\n3,1",
                " *** Warning *** CUT04.csv, line 2: the last record has too few values at the end of the file"
                " and is not read.",
                1}}) {
    TempDir dir;
    Console con;
    write_file("CUT04.csv", c.text);
    Nodes nodes({1, 2});
    int16_t ierr = -1;
    LNKCUT(4, *nodes.t, 0, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(nodes.t->NCUT, c.ncut) << c.text;
    const auto lines = con.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.warning), lines.end()) << c.text;
  }
}

TEST(LinkCut, TableOverflow) {
  std::string text;
  for (int i = 0; i < TURNSZ; ++i) text += "2,1,2\n";
  for (int extra : {0, 1}) {
    TempDir dir;
    Console con;
    write_file("CUT04.csv", extra ? text + "2,2,1\n" : text);
    Nodes nodes({1, 2});
    int32_t& ncut = nodes.t->NCUT;
    ncut = 0;
    int16_t ierr = -1;
    LNKCUT(4, *nodes.t, 0, ierr);
    auto lines = con.lines();
    if (extra == 0) {
      EXPECT_EQ(ierr, 0);
      EXPECT_EQ(ncut, TURNSZ);
      EXPECT_EQ(nodes.marker(1), TURNSZ);
    } else {
      EXPECT_EQ(ierr, 9);
      EXPECT_EQ(lines, (std::vector<std::string>{" Link Cut Data at the stage 4",
                                                 " === SUBROUTINE LinkCut ============",
                                                 " Cut Table size (TURNSZ) is overflow",
                                                 "    in CUT04.csv, line 5001: \"2,2,1\""}));
      EXPECT_FALSE(is_open(10));  // the file is closed on the way out
    }
  }
}

TEST(LinkCut, UnreadableValueIsAFatalReadError) {
  TempDir dir;
  Console con;
  write_file("CUT06.csv", "2,1,2\n2,1,x2\n");
  Nodes nodes({1, 2});
  int32_t& ncut = nodes.t->NCUT;
  ncut = 0;
  int16_t ierr = 0;
  try {
    LNKCUT(6, *nodes.t, 0, ierr);
    FAIL() << "no read error";
  } catch (const FatalReadError& e) {
    std::string what = e.what();
    EXPECT_NE(what.find("CUT06.csv"), std::string::npos) << what;
    EXPECT_NE(what.find("line 2"), std::string::npos) << what;
  }
}

TEST(LinkCut, CutsSteerTheSearch) {
  // The file's entry, loaded and marked, makes the search leave the cut link.
  TempDir dir;
  Console con;
  write_file("CUT01.csv", "2,101,2\n");
  // Rows by from-node: 1->101 (1), 1->102 (2), 2->1 (3), 101->2 (4), 102->2 (5).
  NetTable lnk(6, 8);
  const int64_t rows[5][4] = {
      {1, 101, 10, 3}, {1, 102, 15, 4}, {2, 1, 1, 1}, {101, 2, 10, 2}, {102, 2, 15, 2}};
  for (int r = 1; r <= 5; ++r) {
    lnk(r, 2) = rows[r - 1][0];
    lnk(r, 3) = rows[r - 1][1];
    lnk(r, 4) = rows[r - 1][2];
    lnk(r, 5) = rows[r - 1][3];  // internal numbers: 1, 2, 101 -> 3, 102 -> 4
  }
  Nodes nodes({1, 2, 101, 102});
  const int64_t ranges[4][3] = {{1, 2, 1}, {3, 3, 2}, {4, 4, 0}, {5, 5, 0}};
  for (int n = 1; n <= 4; ++n) {
    nodes.NODTBL(n, NOD_FIRST) = ranges[n - 1][0];
    nodes.NODTBL(n, NOD_LAST) = ranges[n - 1][1];
    nodes.NODTBL(n, NOD_ZONE) = ranges[n - 1][2];
  }
  CutTable& lcut = nodes.t->LCUT;
  int32_t& ncut = nodes.t->NCUT;
  ncut = 0;
  int16_t ierr = 0;
  LNKCUT(1, *nodes.t, 0, ierr);
  ASSERT_EQ(ncut, 1);
  TreeTable tree(NODESZ, 5);
  SearchWork work;
  std::array<int16_t, 11> ksw{};
  int16_t flag = 0;
  DIJKSTRA(SearchNet{nodes.NODTBL, nodes.NNODE, lnk, lcut, 0, ksw, 2}, 1, 1, 0, 0, tree, work, flag);
  EXPECT_EQ(tree(2, 3), 20);  // by 101 without the cut
  DIJKSTRA(SearchNet{nodes.NODTBL, nodes.NNODE, lnk, lcut, ncut, ksw, 2}, 1, 1, 0, 0, tree, work,
           flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(tree(2, 3), 30);
  EXPECT_EQ(tree(2, 2), 102);
}
