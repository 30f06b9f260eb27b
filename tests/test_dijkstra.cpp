// The path search on small hand-made networks, and its properties on random ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "road/Dijkstra.hpp"
#include "road/OriginTrees.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

using namespace routava;
using routava::test::Console;

namespace {

struct Link {
  int64_t a, b, imp;
  int64_t kind = 0;
};

// A forward-star network built the way the sort and node table leave it:
// rows ordered by from-node (stable), one node row per from-node code.
struct Net {
  NodeTable NODTBL{NODESZ, 5};
  NetTable LNK;
  TreeTable TREE{NODESZ, 5};
  CutTable LCUT{TURNSZ, 4};
  int32_t NCUT = 0;
  int32_t NNODE = 0;
  int32_t NZ = 0;
  std::array<int16_t, 11> KSW{};
  SearchWork work;
  std::map<int64_t, int32_t> internal;

  Net(std::vector<Link> links, int32_t nz) : LNK(int(links.size()) + 1, 8), NZ(nz) {
    std::stable_sort(links.begin(), links.end(),
                     [](const Link& x, const Link& y) { return x.a < y.a; });
    for (size_t r = 0; r < links.size(); ++r) {
      const int row = int(r) + 1;
      LNK(row, 1) = row;
      LNK(row, 2) = links[r].a;
      LNK(row, 3) = links[r].b;
      LNK(row, 4) = links[r].imp;
      LNK(row, 6) = links[r].imp;
      LNK(row, 7) = links[r].kind;
      if (NNODE == 0 || NODTBL(NNODE, 1) != links[r].a) {
        ++NNODE;
        NODTBL(NNODE, 1) = links[r].a;
        NODTBL(NNODE, 2) = row;
        NODTBL(NNODE, 4) = links[r].a <= nz ? links[r].a : 0;
        internal[links[r].a] = NNODE;
      }
      NODTBL(NNODE, 3) = row;
    }
    for (int row = 1; row < LNK.rows(); ++row) {
      auto it = internal.find(LNK(row, 3));
      LNK(row, 5) = it == internal.end() ? 0 : it->second;
    }
  }

  int32_t node(int64_t code) const { return internal.at(code); }

  int16_t search(int32_t origin, int16_t debug = 0, int log = 0) {
    int16_t flag = -1;
    DIJKSTRA(SearchNet{NODTBL, NNODE, LNK, LCUT, NCUT, KSW, NZ}, origin, node(origin), log, debug,
             TREE, work, flag);
    return flag;
  }

  int64_t label(int64_t code) { return TREE(node(code), 3); }

  // Node codes from the origin to `code`, read backwards through column 5.
  std::vector<int64_t> path(int64_t code) {
    std::vector<int64_t> out;
    int32_t n = node(code);
    if (TREE(n, 2) <= 0) return out;
    for (int guard = 0; n > 0 && guard < NODESZ; ++guard) {
      out.insert(out.begin(), TREE(n, 1));
      n = int32_t(TREE(n, 5));
    }
    return out;
  }

  // Link row by which `code` was reached.
  int64_t via_row(int64_t code) { return TREE(node(code), 4); }

  void add_cut(std::vector<int64_t> cols, bool mark = true) {
    ++NCUT;
    for (size_t c = 0; c < cols.size(); ++c) LCUT(NCUT, int(c) + 1) = cols[c];
    if (mark) NODTBL(node(cols[1]), 5) += 1;
  }
};

}  // namespace

TEST(Dijkstra, TreeColumnsOfOriginReachedAndUnreachedNodes) {
  Console con;
  Net net({{1, 101, 10}, {101, 102, 5}, {102, 2, 5}, {101, 2, 30}, {2, 102, 1}, {103, 101, 1}}, 2);
  EXPECT_EQ(net.search(1), 0);
  const int32_t o = net.node(1);
  EXPECT_EQ(net.TREE(o, 1), 1);
  EXPECT_EQ(net.TREE(o, 2), 0);
  EXPECT_EQ(net.TREE(o, 3), 0);
  EXPECT_EQ(net.TREE(o, 4), 0);
  EXPECT_EQ(net.TREE(o, 5), 0);

  const int32_t z = net.node(2);
  EXPECT_EQ(net.TREE(z, 1), 2);
  EXPECT_EQ(net.TREE(z, 2), 102);
  EXPECT_EQ(net.TREE(z, 3), 20);
  EXPECT_EQ(net.LNK(int(net.TREE(z, 4)), 2), 102);
  EXPECT_EQ(net.LNK(int(net.TREE(z, 4)), 3), 2);
  EXPECT_EQ(net.TREE(z, 5), net.node(102));
  EXPECT_EQ(net.path(2), (std::vector<int64_t>{1, 101, 102, 2}));

  const int32_t u = net.node(103);  // only leaves, never entered
  EXPECT_EQ(net.TREE(u, 1), 103);
  EXPECT_EQ(net.TREE(u, 2), 0);
  EXPECT_EQ(net.TREE(u, 3), UNREACHED);
  EXPECT_EQ(net.TREE(u, 4), 0);
  EXPECT_EQ(net.TREE(u, 5), 0);
  EXPECT_TRUE(con.lines().empty());
}

TEST(Dijkstra, EqualLabelReplacesThePredecessor) {
  // Two parallel links of equal impedance: the later row wins.
  Net par({{1, 101, 5}, {101, 2, 7}, {101, 2, 7}, {2, 1, 1}}, 2);
  par.search(1);
  EXPECT_EQ(par.label(2), 12);
  EXPECT_EQ(par.via_row(2), 4);  // rows: 1->101, 2->1, 101->2, 101->2

  // Two nodes with equal labels: the smaller internal number is fixed first, so
  // the other one, expanded later, becomes the predecessor.
  Net two({{1, 101, 5}, {1, 102, 5}, {101, 2, 5}, {102, 2, 5}, {2, 1, 1}}, 2);
  two.search(1);
  ASSERT_LT(two.node(101), two.node(102));
  EXPECT_EQ(two.label(2), 10);
  EXPECT_EQ(two.path(2), (std::vector<int64_t>{1, 102, 2}));
}

TEST(Dijkstra, LinkKindsAndSwitches) {
  struct Case {
    const char* name;
    int64_t kind;
    int switch_on;  // 0 none, -1 all ten, k only switch k
    int64_t label;
  };
  const std::vector<Case> cases = {
      {"kind 0 always", 0, 0, 10},
      {"negative kind always", -4, 0, 10},
      {"kind 3 switched off", 3, 0, 50},
      {"kind 3 switched on", 3, 3, 10},
      {"kind 3 with another switch on", 3, 4, 50},
      {"kind 10 switched on", 10, 10, 10},
      {"kind 11 never, all switches on", 11, -1, 50},
      {"kind 99 never, all switches on", 99, -1, 50},
  };
  for (const Case& c : cases) {
    // The short way uses a link of the kind under test; the long way kind 0.
    Net net({{1, 101, 5, c.kind}, {101, 2, 5}, {1, 102, 25}, {102, 2, 25}, {2, 1, 1}}, 2);
    if (c.switch_on == -1)
      for (int k = 1; k <= 10; ++k) net.KSW[size_t(k)] = 1;
    else if (c.switch_on > 0)
      net.KSW[size_t(c.switch_on)] = 1;
    net.search(1);
    EXPECT_EQ(net.label(2), c.label) << c.name;
  }
}

TEST(Dijkstra, CentroidsAreEndsNeverThroughNodes) {
  // Through zone 3 zone 2 would cost 2; the path must go round by 101.
  Net net({{1, 3, 1}, {3, 2, 1}, {3, 1, 5}, {1, 101, 10}, {101, 2, 10}, {2, 1, 1}}, 3);
  EXPECT_EQ(net.search(1), 0);
  EXPECT_EQ(net.label(3), 1);
  EXPECT_EQ(net.label(2), 20);
  EXPECT_EQ(net.path(2), (std::vector<int64_t>{1, 101, 2}));
  // The origin, a centroid too, is expanded.
  EXPECT_EQ(net.search(3), 0);
  EXPECT_EQ(net.label(2), 1);
}

TEST(Dijkstra, CutsAndProhibitedTurns) {
  // Best 1-101-102-2 (30). Barring 101->102 leaves 1-101-104-2 (35), since 101 is
  // fixed from the origin before 103 could offer it; barring 1->101 gives
  // 1-103-101-102-2 (33).
  const std::vector<Link> links = {{1, 101, 10},   {1, 103, 12},  {101, 102, 10},
                                   {101, 104, 15}, {103, 101, 1}, {103, 102, 30},
                                   {102, 2, 10},   {104, 2, 10},  {2, 1, 1}};
  struct Case {
    const char* name;
    std::vector<int64_t> entry;
    bool mark;
    int64_t label;
    std::vector<int64_t> path;
  };
  const std::vector<Case> cases = {
      {"no cut", {}, false, 30, {1, 101, 102, 2}},
      {"cut link 101-102", {102, 101, 0, 0}, true, 35, {1, 101, 104, 2}},
      {"cut link not marked is not consulted", {102, 101, 0, 0}, false, 30, {1, 101, 102, 2}},
      {"cut of an unused link", {104, 101, 0, 0}, true, 30, {1, 101, 102, 2}},
      {"turn 1-101-102", {102, 101, 1, 0}, true, 35, {1, 101, 104, 2}},
      {"turn 103-101-102 (not the tree's)", {102, 101, 103, 0}, true, 30, {1, 101, 102, 2}},
      {"sequence 1-101-102-2", {2, 102, 101, 1}, true, 35, {1, 101, 104, 2}},
      {"sequence 5-101-102-2 (not the tree's)", {2, 102, 101, 5}, true, 30, {1, 101, 102, 2}},
      {"cut at the origin", {101, 1, 0, 0}, true, 33, {1, 103, 101, 102, 2}},
      {"turn from the origin's missing predecessor", {101, 1, 7, 0}, true, 30, {1, 101, 102, 2}},
  };
  for (const Case& c : cases) {
    Net net(links, 2);
    if (!c.entry.empty()) {
      net.add_cut({9, 8, 0, 0}, false);  // an entry elsewhere, before the one under test
      net.add_cut(c.entry, c.mark);
    }
    EXPECT_EQ(net.search(1), 0) << c.name;
    EXPECT_EQ(net.label(2), c.label) << c.name;
    EXPECT_EQ(net.path(2), c.path) << c.name;
  }
}

TEST(Dijkstra, CutTableChangesBetweenSearchesAreSeen) {
  Net net({{1, 101, 10}, {101, 2, 10}, {1, 102, 15}, {102, 2, 15}, {2, 1, 1}}, 2);
  net.search(1);
  EXPECT_EQ(net.label(2), 20);
  net.add_cut({2, 101, 0, 0});
  net.search(1);
  EXPECT_EQ(net.label(2), 30);
  net.LCUT(1, 1) = 5;  // same count, other contents: the link is free again
  net.search(1);
  EXPECT_EQ(net.label(2), 20);
}

TEST(Dijkstra, UnreachedZonesReported) {
  // Zone 3 only leaves; zone 2 is the last node fixed.
  Net net({{1, 101, 4}, {101, 2, 4}, {2, 1, 1}, {3, 1, 1}}, 3);
  {
    Console con;
    EXPECT_EQ(net.search(1), 1);
    EXPECT_EQ(con.lines(), (std::vector<std::string>{"  From   1  can not connect with   3   0"}));
    EXPECT_EQ(net.label(3), UNREACHED);
    EXPECT_EQ(net.TREE(net.node(3), 2), 0);
    EXPECT_EQ(net.label(2), 8);
  }
  {
    routava::test::TempDir dir;
    Console con;
    ASSERT_TRUE(open_write(LOG_UNIT, "Log.txt"));
    EXPECT_EQ(net.search(1, 1, LOG_UNIT), 1);
    close_unit(LOG_UNIT);
    const std::vector<std::string> expected = {
        "  From   1  can not connect with   3   0",
        " === SUBROUTINE DIJKSTRA ===", " Can not found Node connected from 2"};
    EXPECT_EQ(con.lines(), expected);
    EXPECT_EQ(routava::test::read_lines("Log.txt"), expected);
  }
  {
    Net all({{1, 101, 4}, {101, 2, 4}, {2, 1, 1}}, 2);
    Console con;  // every zone reached: no line, flag 0, even in debug mode
    EXPECT_EQ(all.search(1, 1), 0);
    EXPECT_TRUE(con.lines().empty());
  }
}

TEST(Dijkstra, TrueMinimumWhereACandidateCacheWouldFail) {
  // After the origin the candidates hold 104 (4), 103 (3), 105 (5) in that order.
  // A cache that keeps 105 as the next candidate fixes it at 5 before 104 can
  // lower it to 4 through a zero link; zone 2 behind 105 would then get 6.
  Net net(
      {{1, 104, 4}, {1, 103, 3}, {1, 105, 5}, {104, 105, 0}, {105, 2, 1}, {2, 1, 1}, {103, 1, 9}},
      2);
  EXPECT_EQ(net.search(1), 0);
  EXPECT_EQ(net.label(105), 4);
  EXPECT_EQ(net.label(2), 5);
  EXPECT_EQ(net.path(2), (std::vector<int64_t>{1, 104, 105, 2}));
}

TEST(Dijkstra, LabelsStayBelowTheUnreachedValue) {
  const int64_t big = UNREACHED - 10;
  struct Case {
    const char* name;
    int64_t second;  // impedance of 101 -> 2 after 1 -> 101 of 10
    int16_t flag;
    int64_t label;
  };
  const std::vector<Case> cases = {
      {"one below", big - 1, 0, UNREACHED - 1},
      {"reaching it", big, 1, UNREACHED},
      {"beyond it", big + 5, 1, UNREACHED},
      {"far beyond 64 bits", INT64_MAX, 1, UNREACHED},
  };
  for (const Case& c : cases) {
    Console con;
    Net net({{1, 101, 10}, {101, 2, c.second}, {2, 1, 1}}, 2);
    EXPECT_EQ(net.search(1), c.flag) << c.name;
    EXPECT_EQ(net.label(2), c.label) << c.name;
    EXPECT_EQ(net.TREE(net.node(2), 2), c.flag ? 0 : 101) << c.name;
  }
}

TEST(Dijkstra, NegativeImpedancesAreSearchedAsTheyStand) {
  // Labels of any size: 102 is lowered below its predecessor's label, and zone 2
  // is reached through it once 101 is fixed after 103.
  Net lowered({{1, 101, 10}, {101, 102, -6}, {102, 2, 1}, {1, 103, 6}, {103, 2, 5}, {2, 1, 1}}, 2);
  EXPECT_EQ(lowered.search(1), 0);
  EXPECT_EQ(lowered.label(102), 4);
  EXPECT_EQ(lowered.label(2), 5);
  EXPECT_EQ(lowered.path(2), (std::vector<int64_t>{1, 101, 102, 2}));
  // A label below zero is the least candidate, and a row beyond the unreached
  // value becomes usable behind it.
  Net below_zero({{1, 101, -5}, {1, 102, 2}, {101, 2, 1}, {102, 2, 3}, {101, 103, UNREACHED + 2}, {2, 1, 1},
                  {103, 1, 1}},
                 2);
  EXPECT_EQ(below_zero.search(1), 0);
  EXPECT_EQ(below_zero.label(2), -4);
  EXPECT_EQ(below_zero.path(2), (std::vector<int64_t>{1, 101, 2}));
  EXPECT_EQ(below_zero.label(103), UNREACHED - 3);
  // A sum beyond the 64-bit range is no label: the row is not taken.
  const int64_t lowest = std::numeric_limits<int64_t>::min();
  Net wrapping({{1, 101, lowest + 5}, {101, 102, -10}, {101, 2, 1}, {2, 1, 1}, {102, 1, 1}}, 2);
  EXPECT_EQ(wrapping.search(1), 0);
  EXPECT_EQ(wrapping.label(2), lowest + 6);
  EXPECT_EQ(wrapping.label(102), UNREACHED);
  EXPECT_EQ(wrapping.TREE(wrapping.node(102), 2), 0);
}

TEST(Dijkstra, StopsOnceEveryZoneIsFixed) {
  // 101 is labelled from the origin but never fixed: the zone is fixed first,
  // so 102 behind 101 is never reached.
  Net net({{1, 2, 1}, {1, 101, 100}, {101, 102, 1}, {102, 101, 1}, {2, 1, 1}}, 2);
  EXPECT_EQ(net.search(1), 0);
  EXPECT_EQ(net.label(2), 1);
  EXPECT_EQ(net.label(101), 100);
  EXPECT_EQ(net.label(102), UNREACHED);
}

TEST(Dijkstra, OriginWithoutNodeRowReachesNothing) {
  Console con;
  Net net({{1, 2, 1}, {2, 1, 1}}, 2);
  int16_t flag = -1;
  DIJKSTRA(SearchNet{net.NODTBL, net.NNODE, net.LNK, net.LCUT, 0, net.KSW, net.NZ}, 3, 0, 0, 0,
           net.TREE, net.work, flag);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(con.lines(), (std::vector<std::string>{"  From   3  can not connect with   1   0",
                                                   "  From   3  can not connect with   2   0"}));
  EXPECT_EQ(net.label(1), UNREACHED);
  EXPECT_EQ(net.label(2), UNREACHED);
}

namespace {

// Zones 1..nz hang off a chain of junctions 1001, 1002, ...; `junctions` long.
Net chain_network(int32_t nz, int32_t junctions) {
  std::vector<Link> links;
  for (int32_t j = 1; j < junctions; ++j) {
    links.push_back({1000 + j, 1001 + j, 1});
    links.push_back({1001 + j, 1000 + j, 1});
  }
  for (int32_t z = 1; z <= nz; ++z) {
    int64_t at = 1000 + 1 + int64_t(z - 1) * (junctions - 1) / std::max(nz - 1, 1);
    links.push_back({z, at, 1});
    links.push_back({at, z, 1});
  }
  return Net(links, nz);
}

}  // namespace

TEST(Dijkstra, ProgressLinesOnlyAbove30000Nodes) {
  {
    Net net = chain_network(120, 30000 - 120);
    ASSERT_EQ(net.NNODE, 30000);
    Console con;
    EXPECT_EQ(net.search(1), 0);
    EXPECT_TRUE(con.lines().empty());
  }
  {
    Net net = chain_network(120, 30001 - 120);
    ASSERT_EQ(net.NNODE, 30001);
    Console con;
    EXPECT_EQ(net.search(1), 0);
    auto lines = con.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "   Search Home(   1) Zones =   1   Nodes =      2");
    EXPECT_EQ(lines[1].substr(0, 32), "   Search Home(   1) Zones =  50");
    EXPECT_EQ(lines[2].substr(0, 32), "   Search Home(   1) Zones = 100");
  }
}

// ---- properties on random networks

namespace {

// Plain O(n^2) reference: the same usability rules, no cuts.
std::vector<int64_t> reference_labels(const Net& net, int32_t origin) {
  std::vector<int64_t> dist(size_t(net.NNODE) + 1, UNREACHED);
  std::vector<bool> done(size_t(net.NNODE) + 1, false);
  dist[size_t(origin)] = 0;
  for (;;) {
    int32_t best = 0;
    for (int32_t n = 1; n <= net.NNODE; ++n)
      if (!done[size_t(n)] && dist[size_t(n)] < UNREACHED &&
          (best == 0 || dist[size_t(n)] < dist[size_t(best)]))
        best = n;
    if (best == 0) break;
    done[size_t(best)] = true;
    if (best != origin && net.NODTBL(best, 4) > 0) continue;
    for (int64_t r = net.NODTBL(best, 2); r <= net.NODTBL(best, 3); ++r) {
      int64_t kind = net.LNK(int(r), 7);
      if (kind > 10 || (kind > 0 && net.KSW[size_t(kind)] <= 0)) continue;
      int32_t h = int32_t(net.LNK(int(r), 5));
      if (h <= 0) continue;
      int64_t d = dist[size_t(best)] + net.LNK(int(r), 4);
      if (d < dist[size_t(h)]) dist[size_t(h)] = d;
    }
  }
  return dist;
}

std::vector<Link> random_links(std::mt19937& rng, int nz, int njunction, int nlinks) {
  std::vector<Link> links;
  auto code = [&](int i) { return i <= nz ? int64_t(i) : int64_t(1000 + i); };
  const int nnode = nz + njunction;
  for (int i = 1; i <= nnode; ++i)
    links.push_back({code(i), code(int(rng() % nnode) + 1), int64_t(rng() % 50)});
  for (int k = nnode; k < nlinks; ++k) {
    int64_t kind = rng() % 10 == 0 ? int64_t(rng() % 14) : 0;
    links.push_back(
        {code(int(rng() % nnode) + 1), code(int(rng() % nnode) + 1), int64_t(rng() % 50), kind});
  }
  return links;
}

}  // namespace

TEST(Dijkstra, ZoneLabelsEqualAPlainSearch) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 40; ++trial) {
    const int nz = 2 + int(rng() % 8);
    Net net(random_links(rng, nz, 5 + int(rng() % 60), 40 + int(rng() % 200)), nz);
    for (int k = 1; k <= 10; ++k) net.KSW[size_t(k)] = int16_t(rng() % 2);
    Console con;
    for (int32_t o = 1; o <= nz; ++o) {
      net.search(o);
      auto ref = reference_labels(net, net.node(o));
      for (int32_t z = 1; z <= nz; ++z) {
        int32_t n = net.node(z);
        ASSERT_EQ(net.TREE(n, 3), ref[size_t(n)])
            << "trial " << trial << " from " << o << " to " << z;
        // The path read back adds up to the label, link by link.
        if (z == o || net.TREE(n, 2) == 0) continue;
        int64_t sum = 0;
        for (int32_t m = n; m != net.node(o); m = int32_t(net.TREE(m, 5))) {
          int r = int(net.TREE(m, 4));
          ASSERT_EQ(net.LNK(r, 3), net.TREE(m, 1));
          ASSERT_EQ(net.LNK(r, 2), net.TREE(m, 2));
          sum += net.LNK(r, 4);
        }
        ASSERT_EQ(sum, net.TREE(n, 3));
      }
    }
  }
}

TEST(Dijkstra, ReusedWorkGivesTheTreeOfAFreshSearch) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 20; ++trial) {
    const int nz = 3 + int(rng() % 6);
    Net net(random_links(rng, nz, 20 + int(rng() % 60), 150), nz);
    net.add_cut({net.LNK(3, 3), net.LNK(3, 2), 0, 0});
    TreeTable other(NODESZ, 5);
    Console con;
    // The stage's graph, built once, against a graph made afresh for every search.
    SearchNet view{net.NODTBL, net.NNODE, net.LNK, net.LCUT, net.NCUT, net.KSW, nz};
    const SearchNet unbuilt = view;
    SearchGraph graph;
    ASSERT_TRUE(build_search_graph(view, graph));
    view.graph = &graph;
    for (int step = 0; step < 3 * nz; ++step) {
      const int32_t o = 1 + int32_t(rng() % nz);
      // Alternate between two trees now and then: the reset must follow.
      TreeTable& tree = rng() % 3 == 0 ? other : net.TREE;
      int16_t flag = 0;
      DIJKSTRA(view, o, net.node(o), 0, 0, tree, net.work, flag);
      TreeTable fresh_tree(NODESZ, 5);
      SearchWork fresh;
      int16_t fresh_flag = 0;
      DIJKSTRA(unbuilt, o, net.node(o), 0, 0, fresh_tree, fresh, fresh_flag);
      ASSERT_EQ(flag, fresh_flag);
      for (int32_t n = 1; n <= net.NNODE; ++n)
        for (int c = 1; c <= 5; ++c)
          ASSERT_EQ(tree(n, c), fresh_tree(n, c))
              << "trial " << trial << " step " << step << " node " << n << " col " << c;
    }
  }
}

TEST(Dijkstra, BucketsFixNodesInTheOrderOfTheHeap) {
  // Small impedances, many of them 0: equal labels everywhere, and nodes
  // reaching the current label while it is being taken.
  std::mt19937 rng(31);
  for (int trial = 0; trial < 30; ++trial) {
    const int nz = 3 + int(rng() % 8);
    auto links = random_links(rng, nz, 20 + int(rng() % 80), 100 + int(rng() % 300));
    for (Link& l : links) l.imp = rng() % 3 == 0 ? 0 : l.imp % (trial % 2 == 0 ? 4 : 50);
    Net net(links, nz);
    net.add_cut({net.LNK(3, 3), net.LNK(3, 2), 0, 0});
    for (int k = 1; k <= 10; ++k) net.KSW[size_t(k)] = int16_t(rng() % 2);
    SearchNet view{net.NODTBL, net.NNODE, net.LNK, net.LCUT, net.NCUT, net.KSW, nz};
    SearchGraph buckets, heap;
    ASSERT_TRUE(build_search_graph(view, buckets));
    ASSERT_NE(buckets.bucket_mask, 0u);
    heap = buckets;
    heap.bucket_mask = 0;
    SearchNet by_heap = view;
    view.graph = &buckets;
    by_heap.graph = &heap;
    TreeTable heap_tree(NODESZ, 5);
    SearchWork heap_work;
    Console con;
    for (int32_t o = 1; o <= nz; ++o) {
      int16_t flag = 0, heap_flag = 0;
      DIJKSTRA(view, o, net.node(o), 0, 0, net.TREE, net.work, flag);
      DIJKSTRA(by_heap, o, net.node(o), 0, 0, heap_tree, heap_work, heap_flag);
      ASSERT_EQ(flag, heap_flag);
      for (int32_t n = 1; n <= net.NNODE; ++n)
        for (int c = 1; c <= 5; ++c)
          ASSERT_EQ(net.TREE(n, c), heap_tree(n, c)) << "trial " << trial << " from " << o << " node " << n;
    }
  }
}

TEST(Dijkstra, NoStaleRowsAfterTheNodeTableChanged) {
  Net a({{1, 101, 1}, {101, 102, 1}, {102, 2, 1}, {2, 1, 1}}, 2);
  Net same_count({{1, 101, 1}, {101, 205, 1}, {205, 2, 1}, {2, 1, 1}}, 2);
  Net fewer({{1, 2, 3}, {2, 1, 3}}, 2);
  for (Net* b : {&same_count, &fewer}) {
    a.search(1);
    // Same TREE and work; the node table rebuilt in place for another network.
    a.NODTBL = b->NODTBL;
    int16_t flag = 0;
    DIJKSTRA(SearchNet{a.NODTBL, b->NNODE, b->LNK, a.LCUT, 0, a.KSW, 2}, 1, b->node(1), 0, 0, a.TREE,
             a.work, flag);
    for (int32_t n = 1; n <= b->NNODE; ++n) EXPECT_EQ(a.TREE(n, 1), b->NODTBL(n, 1)) << n;
    EXPECT_EQ(a.TREE(b->node(2), 2), b->NNODE == 2 ? 1 : 205);
    a.NODTBL = Net({{1, 101, 1}, {101, 102, 1}, {102, 2, 1}, {2, 1, 1}}, 2).NODTBL;
  }
}

// What the searches of every origin leave, in the order a stage takes them: the
// trees, the flags and every console line.
struct Taken {
  std::vector<int64_t> trees;
  std::vector<int16_t> flags;
  std::vector<std::string> lines;
};

Taken take_every_origin(Net& net, int32_t threads) {
  SearchNet view{net.NODTBL, net.NNODE, net.LNK, net.LCUT, net.NCUT, net.KSW, net.NZ};
  SearchGraph graph;
  EXPECT_TRUE(build_search_graph(view, graph));
  view.graph = &graph;
  std::vector<OriginJob> jobs;
  for (int32_t o = 1; o <= net.NZ; ++o) jobs.push_back(OriginJob{o, net.node(o)});
  Taken out;
  Console con;
  auto ahead = start_origin_trees(view, jobs, threads, net.TREE.rows());
  EXPECT_EQ(ahead != nullptr, threads > 1);
  for (const OriginJob& j : jobs) {
    int16_t flag = -1;
    if (!ahead || !take_origin_tree(*ahead, j.zone, net.TREE, 0, 1, flag))
      DIJKSTRA(view, j.zone, j.node, 0, 1, net.TREE, net.work, flag);
    out.flags.push_back(flag);
    for (int32_t n = 1; n <= net.NNODE; ++n)
      for (int c = 1; c <= 5; ++c) out.trees.push_back(net.TREE(n, c));
  }
  out.lines = con.lines();
  return out;
}

TEST(Dijkstra, TreesSearchedAheadOnThreadsAreTakenAsWithOne) {
  std::mt19937 rng(23);
  std::vector<Net> nets;
  for (int trial = 0; trial < 6; ++trial) {
    const int nz = 4 + int(rng() % 6);
    nets.emplace_back(random_links(rng, nz, 20 + int(rng() % 40), 80 + int(rng() % 80)), nz);
    nets.back().add_cut({nets.back().LNK(3, 3), nets.back().LNK(3, 2), 0, 0});
  }
  nets.push_back(chain_network(120, 30001 - 120));  // progress lines
  size_t unreached = 0, progress = 0;
  for (size_t k = 0; k < nets.size(); ++k) {
    SCOPED_TRACE("net " + std::to_string(k));
    const Taken one = take_every_origin(nets[k], 1);
    const Taken three = take_every_origin(nets[k], 3);
    EXPECT_EQ(three.flags, one.flags);
    EXPECT_EQ(three.lines, one.lines);
    EXPECT_TRUE(three.trees == one.trees);
    unreached += size_t(std::count(one.flags.begin(), one.flags.end(), 1));
    for (const std::string& l : one.lines) progress += l.find("Search Home") != std::string::npos;
  }
  // There are messages of both kinds to keep in order.
  EXPECT_GT(unreached, 0u);
  EXPECT_GT(progress, 100u);
}
