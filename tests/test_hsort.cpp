// Heap sort of network table rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "run/routines.hpp"

using namespace routava;

namespace {

// Rows given as {col1, col2, ...}; the table gets 8 columns like LNKVT.
NetTable make_table(const std::vector<std::vector<int64_t>>& rows, int capacity = 20) {
  NetTable t(capacity, 8);
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c) t(int(r) + 1, int(c) + 1) = rows[r][c];
  return t;
}

std::vector<std::vector<int64_t>> rows_of(const NetTable& t, int n, int ncol = 8) {
  std::vector<std::vector<int64_t>> out;
  for (int r = 1; r <= n; ++r) {
    std::vector<int64_t> row;
    for (int c = 1; c <= ncol; ++c) row.push_back(t(r, c));
    out.push_back(row);
  }
  return out;
}

}  // namespace

TEST(HSort, SmallTablesAsExpected) {
  struct Case {
    const char* name;
    std::vector<std::vector<int64_t>> in;
    int n;
    int key;
    std::vector<std::vector<int64_t>> out;
  };
  const std::vector<Case> cases = {
      {"empty", {{5, 9}}, 0, 1, {{5, 9}}},
      {"one row", {{5, 9}, {1, 2}}, 1, 1, {{5, 9}, {1, 2}}},
      {"rows move with their key",
       {{1, 3, 30, 300}, {2, 1, 10, 100}, {3, 2, 20, 200}},
       3,
       2,
       {{2, 1, 10, 100}, {3, 2, 20, 200}, {1, 3, 30, 300}}},
      {"negative keys first", {{4}, {-7}, {0}, {-1}, {9}}, 5, 1, {{-7}, {-1}, {0}, {4}, {9}}},
      {"only rows 1..N", {{3}, {1}, {0}}, 2, 1, {{1}, {3}, {0}}},
      // Equal keys leave in the order this heap sort gives them (worked by hand):
      // a, b, c with one key become b, c, a.
      {"equal keys", {{7, 1}, {7, 2}, {7, 3}}, 3, 1, {{7, 2}, {7, 3}, {7, 1}}},
      {"equal keys among others",
       {{2, 1}, {1, 2}, {2, 3}, {1, 4}},
       4,
       1,
       {{1, 2}, {1, 4}, {2, 3}, {2, 1}}},
  };
  for (const Case& c : cases) {
    NetTable t = make_table(c.in);
    HSORT(t, c.n, 8, c.key);
    auto got = rows_of(t, int(c.out.size()));
    for (size_t r = 0; r < c.out.size(); ++r)
      for (size_t col = 0; col < c.out[r].size(); ++col)
        EXPECT_EQ(got[r][col], c.out[r][col]) << c.name << " row " << r + 1 << " col " << col + 1;
  }
}

TEST(HSort, ColumnsBeyondNcolStay) {
  NetTable t =
      make_table({{3, 0, 0, 0, 0, 0, 0, 33}, {1, 0, 0, 0, 0, 0, 0, 11}, {2, 0, 0, 0, 0, 0, 0, 22}});
  HSORT(t, 3, 7, 1);
  EXPECT_EQ(t(1, 1), 1);
  EXPECT_EQ(t(2, 1), 2);
  EXPECT_EQ(t(3, 1), 3);
  EXPECT_EQ(t(1, 8), 33);
  EXPECT_EQ(t(2, 8), 11);
  EXPECT_EQ(t(3, 8), 22);
}

TEST(HSort, InvalidArgumentsLeaveTableAlone) {
  const std::vector<std::vector<int64_t>> in = {{3, 2}, {1, 1}, {2, 3}};
  for (auto [n, ncol, key] : std::vector<std::tuple<int, int, int>>{
           {3, 0, 1}, {3, 9, 1}, {3, 8, 0}, {3, 8, 9}, {21, 8, 1}}) {
    NetTable t = make_table(in);
    HSORT(t, n, ncol, key);
    EXPECT_EQ(rows_of(t, 3, 2), in) << n << " " << ncol << " " << key;
  }
}

TEST(HSort, RandomTablesSortedAndRowsKept) {
  std::mt19937_64 rng(7);
  for (int n : {2, 3, 17, 1000, 4096}) {
    NetTable t(n, 8);
    std::vector<std::vector<int64_t>> before;
    for (int r = 1; r <= n; ++r) {
      t(r, 1) = r;
      t(r, 2) = int64_t(rng() % 50) - 10;  // many equal keys
      for (int c = 3; c <= 8; ++c) t(r, c) = int64_t(rng() % 1000);
    }
    before = rows_of(t, n);
    HSORT(t, n, 8, 2);
    auto after = rows_of(t, n);
    for (int r = 1; r < n; ++r) ASSERT_LE(t(r, 2), t(r + 1, 2)) << "n " << n << " row " << r;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after) << "rows must only be permuted, n " << n;
  }
}
