// NODESET and NDSRCH: the node table of a network table sorted by from-node.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <set>
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
using Lines = std::vector<std::string>;
using Row = std::array<int64_t, 8>;

NetTable make_table(const std::vector<Row>& rows) {
  NetTable t(std::max<int>(1, int(rows.size())), 8);
  for (size_t r = 0; r < rows.size(); ++r)
    for (int c = 1; c <= 8; ++c) t(int(r) + 1, c) = rows[r][size_t(c - 1)];
  return t;
}

// Rows (from, to) with the road link row in column 1.
std::vector<Row> links(const std::vector<std::pair<int64_t, int64_t>>& ft) {
  std::vector<Row> rows;
  for (size_t k = 0; k < ft.size(); ++k) rows.push_back({int64_t(k) + 1, ft[k].first, ft[k].second, 0, 0, 0, 0, 0});
  return rows;
}

struct NodeRun {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  NodeTable* NODTBL = &t->NODTBL;
  CentTable& NCENT = t->NCENT;
  int32_t& NNODE = t->NNODE;
  int16_t IERR = -1;
  Lines console;
  Lines log;

  NodeRun() {
    NNODE = -1;
    for (int z = 1; z <= NZSIZE; ++z) {
      NCENT(z, 1) = z;
      NCENT(z, 2) = -7;  // must be overwritten
    }
  }
  void run(int32_t n, int32_t NZ, NetTable& table) {
    Console con;
    EXPECT_TRUE(open_write(LOG_UNIT, "Log.txt"));
    t->NZ = NZ;
    NODESET(table, n, *t, LOG_UNIT, IERR);
    close_unit(LOG_UNIT);
    console = con.lines();
    log = read_lines("Log.txt");
  }
  std::vector<int64_t> node(int n) const {
    std::vector<int64_t> v;
    for (int c = 1; c <= 5; ++c) v.push_back((*NODTBL)(n, c));
    return v;
  }
};

// The lines before the closing " Node Table is completed." and time stamp.
Lines messages(const Lines& lines) {
  EXPECT_GE(lines.size(), 2u);
  if (lines.size() < 2) return lines;
  EXPECT_EQ(lines[lines.size() - 2], " Node Table is completed.");
  EXPECT_EQ(lines.back().rfind("  Current time ", 0), 0u) << lines.back();
  return Lines(lines.begin(), lines.end() - 2);
}

// ------------------------------------------------------------ NDSRCH

TEST(Ndsrch, FindsCodesAndReportsMisses) {
  NodeTable t(NODESZ, 5);
  const std::vector<int64_t> codes = {3, 8, 15, 40, 41, 100005};
  for (size_t k = 0; k < codes.size(); ++k) t(int(k) + 1, 1) = codes[k];
  struct Case {
    int32_t nnode;
    int64_t code;
    int32_t pos;
    int16_t ierr;
  };
  const std::vector<Case> cases = {
      {6, 3, 1, 0},  {6, 8, 2, 0},  {6, 15, 3, 0},  {6, 40, 4, 0}, {6, 41, 5, 0}, {6, 100005, 6, 0},
      {6, 1, 0, 9},  {6, 10, 0, 9}, {6, 39, 0, 9},  {6, 42, 0, 9}, {6, 200000, 0, 9},
      {1, 3, 1, 0},  {1, 2, 0, 9},  {1, 8, 0, 9},   {2, 8, 2, 0},
      {0, 3, 0, 9},  // empty node table: no probe at all
  };
  for (const Case& c : cases) {
    int16_t ierr = c.ierr == 0 ? 9 : 0;  // the routine sets it either way
    int32_t pos = -1;
    NDSRCH(t, c.nnode, c.code, ierr, pos);
    EXPECT_EQ(pos, c.pos) << "code " << c.code << " in " << c.nnode << " nodes";
    EXPECT_EQ(ierr, c.ierr) << "code " << c.code << " in " << c.nnode << " nodes";
  }
}

// ------------------------------------------------------------ NODESET

TEST(Nodeset, NodesWithTheirRowRanges) {
  TempDir dir;
  NetTable table = make_table(links({{5, 7}, {5, 9}, {7, 9}, {9, 5}, {9, 7}, {9, 5}}));
  NodeRun nr;
  nr.run(6, 0, table);
  EXPECT_EQ(nr.IERR, 0);
  ASSERT_EQ(nr.NNODE, 3);
  EXPECT_EQ(nr.node(1), (std::vector<int64_t>{5, 1, 2, 0, 0}));
  EXPECT_EQ(nr.node(2), (std::vector<int64_t>{7, 3, 3, 0, 0}));
  EXPECT_EQ(nr.node(3), (std::vector<int64_t>{9, 4, 6, 0, 0}));
  const std::vector<int64_t> to_node = {2, 3, 3, 1, 2, 1};
  for (int r = 1; r <= 6; ++r) EXPECT_EQ(table(r, 5), to_node[size_t(r - 1)]) << "row " << r;
  EXPECT_TRUE(messages(nr.console).empty());
  EXPECT_TRUE(messages(nr.log).empty());
}

TEST(Nodeset, LinkToANodeWithoutOutgoingLinks) {
  TempDir dir;
  NetTable table = make_table({{1, 1, 2, 120, 0, 110, 0, 0}, {2, 2, 3, 150, 4, 140, 0, 0}, {3, 2, 1, 100, 0, 90, 99, 0},
                                {3, 200002, 200003, 10, 0, 10, 1, 0}});  // a transit row riding link 3
  NodeRun nr;
  // Where the road links were read: the message names the line of the link into the dead end.
  const int32_t ab[][2] = {{1, 2}, {2, 3}, {2, 1}};
  for (int L = 1; L <= 3; ++L) {
    nr.t->LINK(L, LINK_ANODE) = ab[L - 1][0];
    nr.t->LINK(L, LINK_BNODE) = ab[L - 1][1];
    nr.t->LINKLINE(L) = L + 4;
  }
  nr.run(4, 0, table);
  EXPECT_EQ(nr.IERR, 1);  // a warning: the run goes on
  EXPECT_EQ(nr.NNODE, 3);
  EXPECT_EQ(table(1, 5), 2);
  EXPECT_EQ(table(2, 5), 0);
  EXPECT_EQ(table(3, 5), 1);
  const Lines expected = {
      " Can not find Dest Node          3   in NODES",
      " at NTABLE(      2)          2          2          3        150          0        140          0          0",
      "    in Network.csv, line 6: the link from 2 to 3",
      " Can not find Dest Node     200003   in NODES",
      " at NTABLE(      4)          3     200002     200003         10          0         10          1          0"};
  EXPECT_EQ(messages(nr.console), expected);
  EXPECT_EQ(messages(nr.log), expected);
}

TEST(Nodeset, ZonesGetTheirNodesOrAreReportedUnconnected) {
  TempDir dir;
  // Zones 1..11 each have a link out; node 12 only a link in.
  std::vector<std::pair<int64_t, int64_t>> ft;
  for (int z = 1; z <= 11; ++z) ft.push_back({z, z == 11 ? 12 : z + 1});
  ft.push_back({1005, 1});
  NetTable table = make_table(links(ft));
  NodeRun nr;
  nr.run(int32_t(ft.size()), 12, table);
  EXPECT_EQ(nr.IERR, 1);
  for (int z = 1; z <= 11; ++z) {
    const int m = nr.NCENT(z, 2);
    ASSERT_GE(m, 1) << "zone " << z;
    EXPECT_EQ((*nr.NODTBL)(m, 1), z);
    EXPECT_EQ((*nr.NODTBL)(m, 4), z);
  }
  EXPECT_EQ(nr.NCENT(12, 2), 0);
  EXPECT_EQ(nr.NCENT(13, 2), -7);  // beyond NZ: untouched
  EXPECT_EQ((*nr.NODTBL)(12, 1), 1005);
  EXPECT_EQ((*nr.NODTBL)(12, 4), 0);
  const Lines expected = {" Can not find Dest Node         12   in NODES",
                          " at NTABLE(     11)         11         11         12          0          0          0          0          0",
                          " === SUBROUTINE NODESET ===", " Not connected Network with Centroid of Zone 12"};
  EXPECT_EQ(messages(nr.console), expected);
  EXPECT_EQ(messages(nr.log), expected);
}

TEST(Nodeset, OutOfOrderRowsAreReportedAndTheRunGoesOn) {
  TempDir dir;
  NetTable table = make_table(links({{9, 5}, {5, 9}}));
  NodeRun nr;
  nr.run(2, 0, table);
  EXPECT_LT(nr.IERR, 9);
  EXPECT_EQ(nr.NNODE, 2);
  ASSERT_FALSE(nr.console.empty());
  EXPECT_EQ(nr.console[0], " Sort Error      9=>      5");
  EXPECT_EQ(nr.log[0], " Sort Error      9=>      5");
}

TEST(Nodeset, NegativeNodeCodeReported) {
  TempDir dir;
  NetTable table = make_table(links({{-3, 5}, {5, -3}}));
  NodeRun nr;
  nr.run(2, 0, table);
  EXPECT_EQ(nr.IERR, 1);
  EXPECT_EQ(nr.node(1), (std::vector<int64_t>{-3, 1, 1, 0, 0}));
  EXPECT_EQ(table(1, 5), 2);
  EXPECT_EQ(table(2, 5), 1);
  const Lines expected = {" Sort Error      0=>     -3", " === SUBROUTINE NODESET ===", " Please check again NODE TABLE",
                          " NODE code = 0 is found"};
  EXPECT_EQ(messages(nr.console), expected);
  EXPECT_EQ(messages(nr.log), expected);
}

TEST(Nodeset, TooManyNodes) {
  TempDir dir;
  std::vector<std::pair<int64_t, int64_t>> ft;
  for (int k = 1; k <= NODESZ + 5; ++k) ft.push_back({k, 1});
  NetTable table = make_table(links(ft));
  NodeRun nr;
  nr.run(int32_t(ft.size()), 0, table);
  EXPECT_EQ(nr.IERR, 9);
  EXPECT_EQ(nr.NNODE, NODESZ + 1);
  EXPECT_EQ(nr.console, (Lines{" Number of Nodes is over 98001 98000"}));
  EXPECT_EQ(nr.log, (Lines{" Number of Nodes is over 98001 98000"}));
}

TEST(Nodeset, ExactlyTheNodeLimit) {
  TempDir dir;
  std::vector<std::pair<int64_t, int64_t>> ft;
  for (int k = 1; k <= NODESZ; ++k) ft.push_back({k, k % NODESZ + 1});
  NetTable table = make_table(links(ft));
  NodeRun nr;
  nr.run(int32_t(ft.size()), 0, table);
  EXPECT_EQ(nr.IERR, 0);
  EXPECT_EQ(nr.NNODE, NODESZ);
  EXPECT_EQ(nr.node(NODESZ), (std::vector<int64_t>{NODESZ, NODESZ, NODESZ, 0, 0}));
  EXPECT_EQ(table(NODESZ, 5), 1);
}

TEST(Nodeset, EmptyTable) {
  TempDir dir;
  NetTable table = make_table({});
  NodeRun nr;
  (*nr.NODTBL)(1, 1) = -4;  // left over from an earlier table: must not be read
  nr.run(0, 2, table);
  EXPECT_EQ(nr.NNODE, 0);
  EXPECT_EQ(nr.IERR, 1);
  EXPECT_EQ(nr.NCENT(1, 2), 0);
  EXPECT_EQ(nr.NCENT(2, 2), 0);
  EXPECT_EQ(messages(nr.console),
            (Lines{" === SUBROUTINE NODESET ===", " Not connected Network with Centroid of Zone 1",
                   " === SUBROUTINE NODESET ===", " Not connected Network with Centroid of Zone 2"}));
}

TEST(Nodeset, RebuiltFromScratchAtEveryCall) {
  TempDir dir;
  NetTable table = make_table(links({{1, 2}, {2, 1}, {3, 1}}));
  NodeRun nr;
  nr.run(3, 3, table);
  ASSERT_EQ(nr.NNODE, 3);
  EXPECT_EQ(nr.node(2), (std::vector<int64_t>{2, 2, 2, 2, 0}));
  (*nr.NODTBL)(2, 5) = 1;  // a cut marker of the stage before

  NetTable second = make_table(links({{1, 2}, {2, 1}, {2, 5}}));
  nr.run(3, 1, second);
  EXPECT_EQ(nr.NNODE, 2);
  EXPECT_EQ(nr.node(1), (std::vector<int64_t>{1, 1, 1, 1, 0}));
  EXPECT_EQ(nr.node(2), (std::vector<int64_t>{2, 2, 3, 0, 0}));
}

TEST(Nodeset, LargeTableEveryRowPointsAtItsToNode) {
  TempDir dir;
  // 300,000 rows over 90,000 route-coded and road nodes, sorted by from-node.
  std::mt19937 rng(7);
  std::vector<int64_t> codes;
  for (int k = 1; k <= 90000; ++k) codes.push_back(k <= 60000 ? k : (k - 60000) % 3000 * ROUTE_BASE + ROUTE_BASE + k);
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  std::vector<Row> rows;
  for (int64_t c : codes) rows.push_back({0, c, codes[rng() % codes.size()], 0, 0, 0, 0, 0});
  while (rows.size() < size_t(LKSIZE)) rows.push_back({0, codes[rng() % codes.size()], codes[rng() % codes.size()], 0, 0, 0, 0, 0});
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a[1] < b[1]; });
  NetTable table = make_table(rows);
  NodeRun nr;
  nr.run(LKSIZE, 400, table);
  EXPECT_EQ(nr.IERR, 0);
  ASSERT_EQ(nr.NNODE, int32_t(codes.size()));
  int32_t expected_first = 1;
  for (int n = 1; n <= nr.NNODE; ++n) {
    const auto node = nr.node(n);
    ASSERT_EQ(node[0], codes[size_t(n - 1)]);
    ASSERT_EQ(node[1], expected_first);
    for (int64_t r = node[1]; r <= node[2]; ++r) ASSERT_EQ(table(int(r), 2), node[0]);
    expected_first = int32_t(node[2]) + 1;
  }
  EXPECT_EQ(expected_first, LKSIZE + 1);
  for (int r = 1; r <= LKSIZE; ++r) ASSERT_EQ((*nr.NODTBL)(int(table(r, 5)), 1), table(r, 3)) << "row " << r;
  for (int z = 1; z <= 400; ++z) ASSERT_EQ((*nr.NODTBL)(nr.NCENT(z, 2), 4), z);
}

TEST(Nodeset, ToNodesFoundOrMissedExactlyAsTheBinarySearchDoes) {
  TempDir dir;
  // Sorted from-nodes; to-nodes drawn from the nodes and from codes around them:
  // between two nodes, below and above all, zero, negative and route-coded.
  std::mt19937_64 rng(41);
  std::vector<int64_t> codes;
  for (int64_t c = -40; codes.size() < 5000; c += 1 + int64_t(rng() % 7)) {
    if (c == 0) continue;
    codes.push_back(c < 3000 ? c : c * ROUTE_BASE + c);
  }
  std::vector<Row> rows;
  int misses = 0;
  for (int64_t from : codes) {
    for (int k = 0; k < 3; ++k) {
      int64_t to = codes[rng() % codes.size()];
      if (rng() % 5 == 0) {
        to += int64_t(rng() % 3) - 1;
        ++misses;  // at most: the code next to a node may be a node too
      }
      rows.push_back({0, from, to, 0, 0, 0, 0, 0});
    }
  }
  rows.push_back({0, codes.back(), INT64_MIN, 0, 0, 0, 0, 0});
  rows.push_back({0, codes.back(), INT64_MAX, 0, 0, 0, 0, 0});
  NetTable table = make_table(rows);
  NodeRun nr;
  nr.run(int32_t(rows.size()), 0, table);
  ASSERT_EQ(nr.NNODE, int32_t(codes.size()));
  int reported = 0;
  for (const std::string& line : nr.console) reported += line.rfind(" Can not find Dest Node", 0) == 0;
  int missed = 0;
  for (int r = 1; r <= int(rows.size()); ++r) {
    int16_t found = -1;
    int32_t pos = -1;
    NDSRCH(*nr.NODTBL, nr.NNODE, table(r, LNK_TO), found, pos);
    ASSERT_EQ(table(r, 5), pos) << "row " << r << " to " << table(r, 3);
    missed += found != 0;
  }
  EXPECT_EQ(reported, missed);
  EXPECT_GE(missed, 2);
  EXPECT_LE(missed, misses + 2);
  EXPECT_EQ(nr.IERR, 1);
}

TEST(Nodeset, OutOfOrderTableKeepsTheBinarySearchAnswer) {
  TempDir dir;
  // From-nodes 9, 5, 9: node 9 has two rows in the node table, and the binary
  // search for 9 stops at the second.
  NetTable table = make_table(links({{9, 5}, {5, 9}, {9, 9}}));
  NodeRun nr;
  nr.run(3, 0, table);
  ASSERT_EQ(nr.NNODE, 3);
  EXPECT_EQ(table(1, 5), 2);
  EXPECT_EQ(table(2, 5), 3);
  EXPECT_EQ(table(3, 5), 3);
}

// ------------------------------------------------------------ on the test networks

struct Loaded {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  int16_t IERR = -1;
};

Loaded load_sorted(const std::string& name) {
  Loaded l;
  test::copy_network(name);
  Settings set;
  SharedTables& t = *l.t;
  {
    Console con(test::read_file("answers.txt"));
    GETNET(set, t, 0, l.IERR);
  }
  std::vector<Row> rows(size_t(t.NLVT));
  for (int r = 1; r <= t.NLVT; ++r)
    for (int c = 1; c <= 8; ++c) rows[size_t(r - 1)][size_t(c - 1)] = t.LNKVT(r, c);
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a[1] < b[1]; });
  for (int r = 1; r <= t.NLVT; ++r)
    for (int c = 1; c <= 8; ++c) t.LNKVT(r, c) = rows[size_t(r - 1)][size_t(c - 1)];
  return l;
}

TEST(Nodeset, TestNetworks) {
  struct Case {
    std::string name;
    int32_t links, zones;            // as the networks' README gives them (+2 closed links)
    std::vector<int64_t> dead_ends;  // nodes that links lead into but none leaves
  };
  const std::vector<Case> cases = {{"SiouxFalls", 76 + 48 + 2, 24, {}},
                                   {"Anaheim", 914 + 2, 38, {}},
                                   {"Barcelona", 2522 + 2, 110, {2008}},
                                   {"Winnipeg", 2836 + 2, 147, {}}};
  for (const Case& c : cases) {
    TempDir dir;
    Loaded l = load_sorted(c.name);
    ASSERT_EQ(l.IERR, 0) << c.name;
    SharedTables& t = *l.t;
    EXPECT_EQ(t.NLROAD, c.links) << c.name;
    EXPECT_EQ(t.NZ, c.zones) << c.name;
    int closed = 0;
    for (int r = 1; r <= t.NLVT; ++r) closed += t.LNKVT(r, 7) == 99;
    EXPECT_EQ(closed, 2) << c.name;
    std::set<int64_t> from;
    for (int r = 1; r <= t.NLVT; ++r) from.insert(t.LNKVT(r, 2));
    NodeRun nr;
    nr.run(t.NLVT, t.NZ, t.LNKVT);
    EXPECT_EQ(nr.NNODE, int32_t(from.size())) << c.name;
    int missing = 0;
    for (int r = 1; r <= t.NLVT; ++r) {
      const int64_t to = t.LNKVT(r, 3);
      if (t.LNKVT(r, 5) == 0) {
        ++missing;
        EXPECT_NE(std::find(c.dead_ends.begin(), c.dead_ends.end(), to), c.dead_ends.end()) << c.name << " " << to;
      } else {
        EXPECT_EQ((*nr.NODTBL)(int(t.LNKVT(r, 5)), 1), to) << c.name;
      }
    }
    EXPECT_EQ(missing, c.dead_ends.empty() ? 0 : 2) << c.name;
    EXPECT_EQ(nr.IERR, c.dead_ends.empty() ? 0 : 1) << c.name;
    for (int z = 1; z <= t.NZ; ++z) EXPECT_EQ((*nr.NODTBL)(nr.NCENT(z, 2), 1), z) << c.name << " zone " << z;
  }
}

}  // namespace
}  // namespace routava
