// CUTGETON: dummy rows that lead into a node without leaving rows are removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
using Row = std::array<int64_t, 8>;

constexpr int64_t RB = ROUTE_BASE;

Row row(int64_t j, int64_t from, int64_t to) { return {j, from, to, 7, 0, 7, 1, 3}; }

// A route 1 over 101-102-103 whose section 102-103 the capacity check removed.
std::vector<Row> cut_route() {
  return {
      row(1, 101, 102),          row(2, 102, 101),         row(3, 102, 103),
      row(4, 103, 102),          row(1, RB + 101, RB + 102),  // section into the dead node: kept
      row(0, 101, RB + 101),     row(0, RB + 101, 101),    row(0, 102, RB + 102),  // dead boarding
      row(0, 103, RB + 103),     row(0, RB + 103, 103),
  };
}

struct CutRun {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  NetTable* LNKPT = &t->LNKPT;
  NodeTable* NODTBL = &t->NODTBL;
  int32_t& NLPT = t->NLPT;
  int32_t& NNODE = t->NNODE;
  int16_t IERR = -1;

  explicit CutRun(const std::vector<Row>& rows) {
    NNODE = -1;
    for (const Row& r : rows) {
      ++NLPT;
      for (int c = 1; c <= 8; ++c) (*LNKPT)(NLPT, c) = r[size_t(c - 1)];
    }
    for (int n = 1; n <= 3; ++n)
      for (int c = 1; c <= 5; ++c) (*NODTBL)(n, c) = 99;  // stale zone and cut markers
  }
  void run() {
    TempDir dir;
    Console con;
    CUTGETON(*t, LOG_UNIT, IERR);
  }
  std::vector<Row> rows(int32_t from, int32_t to) const {
    std::vector<Row> out;
    for (int32_t r = from; r <= to; ++r) {
      Row x{};
      for (int c = 1; c <= 8; ++c) x[size_t(c - 1)] = (*LNKPT)(r, c);
      x[4] = 0;  // column 5 is checked on its own
      out.push_back(x);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

std::vector<Row> sorted(std::vector<Row> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<Row> without(std::vector<Row> all, const std::vector<Row>& gone) {
  for (const Row& g : gone) all.erase(std::find(all.begin(), all.end(), g));
  return sorted(all);
}

TEST(CutGetOn, RemovesOnlyDummyRowsIntoDeadEnds) {
  struct Case {
    const char* name;
    std::vector<Row> table;
    std::vector<Row> removed;
  };
  std::vector<Row> clean = cut_route();
  clean.erase(std::find(clean.begin(), clean.end(), row(0, 102, RB + 102)));
  clean.erase(std::find(clean.begin(), clean.end(), row(1, RB + 101, RB + 102)));

  // Node 300105 leaves only by a dead transfer row; the boarding into it was
  // not dead when the flags were set and so stays for this call.
  std::vector<Row> two = cut_route();
  two.push_back(row(0, 3 * RB + 105, RB + 102));  // sorts last: removed from position NLPT
  two.push_back(row(0, 105, 3 * RB + 105));
  two.push_back(row(5, 105, 101));

  const Case cases[] = {
      {"boarding row into a node that lost its only leaving row", cut_route(), {row(0, 102, RB + 102)}},
      {"table without dead ends", clean, {}},
      {"dead rows at i and at NLPT", two, {row(0, 102, RB + 102), row(0, 3 * RB + 105, RB + 102)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CutRun run(c.table);
    const int32_t before = run.NLPT;
    run.run();
    EXPECT_EQ(run.IERR, 0);
    EXPECT_EQ(run.NLPT, before - int32_t(c.removed.size()));
    EXPECT_EQ(run.rows(1, run.NLPT), without(c.table, c.removed));
    EXPECT_EQ(run.rows(run.NLPT + 1, before), sorted(c.removed));
    if (c.removed.empty()) {
      for (int32_t r = 2; r <= run.NLPT; ++r) EXPECT_LE((*run.LNKPT)(r - 1, 2), (*run.LNKPT)(r, 2));
    }
  }
}

TEST(CutGetOn, IndexesFromNodesAndSetsToNodeNumbers) {
  CutRun run(cut_route());
  run.run();
  // From-nodes in ascending order: 101, 102, 103, 100101, 100103.
  ASSERT_EQ(run.NNODE, 5);
  const int64_t expected[5][5] = {
      {101, 1, 2, 0, 0},      {102, 3, 5, 0, 0},  {103, 6, 7, 0, 0},
      {RB + 101, 8, 9, 0, 0}, {RB + 103, 10, 10, 0, 0},
  };
  for (int n = 1; n <= 5; ++n)
    for (int c = 1; c <= 5; ++c) EXPECT_EQ((*run.NODTBL)(n, c), expected[n - 1][c - 1]) << "node " << n << " col " << c;
  // Column 5 of every kept row names its to-node's row in the index.
  for (int32_t r = 1; r <= run.NLPT; ++r) {
    const int64_t to = (*run.LNKPT)(r, 3);
    const int64_t col5 = (*run.LNKPT)(r, 5);
    if (to == RB + 102) {
      EXPECT_EQ(col5, 0);  // the kept section into the dead node
    } else {
      ASSERT_GE(col5, 1);
      EXPECT_EQ((*run.NODTBL)(int32_t(col5), 1), to);
    }
  }
}

TEST(CutGetOn, EmptyTableIsLeftEmpty) {
  CutRun run({});
  run.run();
  EXPECT_EQ(run.NLPT, 0);
  EXPECT_EQ(run.NNODE, 0);
  EXPECT_EQ(run.IERR, 0);
}

}  // namespace
}  // namespace routava
