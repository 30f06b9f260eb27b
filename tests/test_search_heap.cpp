// The path search's candidate queue: pop order, ties, lowered labels and positions.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

#include "road/SearchHeap.hpp"

namespace routava {
namespace {

// A heap over storage for nodes 1..n, as the search keeps it.
struct Queue {
  std::vector<SearchHeapEntry> entries;
  std::vector<int32_t> pos;
  SearchHeap heap;
  explicit Queue(int32_t n) : entries(size_t(n) + 1), pos(size_t(n) + 1, 0), heap{entries.data(), pos.data(), 0} {}

  // Every queued node's position points back at its entry, and no child comes before its parent.
  void expect_sound() const {
    for (int32_t k = 1; k <= heap.size; ++k) {
      ASSERT_EQ(pos[size_t(entries[size_t(k)].node)], k) << "entry " << k;
      if (k > 1) {
        ASSERT_FALSE(heap_before(entries[size_t(k)], entries[size_t((k + 2) / 4)])) << "entry " << k;
      }
    }
  }
  std::vector<int32_t> drain() {
    std::vector<int32_t> out;
    while (!heap.empty()) out.push_back(heap.pop());
    return out;
  }
};

TEST(SearchHeap, WorkedExamples) {
  struct Op {
    char what;  // 'p' push, 'l' lower
    int32_t node;
    int64_t label;
  };
  struct Case {
    const char* name;
    std::vector<Op> ops;
    std::vector<int32_t> order;
  };
  const std::vector<Case> cases = {
      {"labels ascending", {{'p', 1, 30}, {'p', 2, 10}, {'p', 3, 20}}, {2, 3, 1}},
      {"equal labels: the smaller node first", {{'p', 5, 7}, {'p', 2, 7}, {'p', 9, 7}, {'p', 1, 8}}, {2, 5, 9, 1}},
      {"a lowered label moves up", {{'p', 1, 10}, {'p', 2, 20}, {'p', 3, 30}, {'l', 3, 5}}, {3, 1, 2}},
      {"lowered to a tie", {{'p', 4, 10}, {'p', 2, 20}, {'l', 2, 10}}, {2, 4}},
      {"negative labels", {{'p', 1, 0}, {'p', 2, -5}, {'p', 3, 5}}, {2, 1, 3}},
      {"more than one level of children",
       {{'p', 1, 9}, {'p', 2, 8}, {'p', 3, 7}, {'p', 4, 6}, {'p', 5, 5}, {'p', 6, 4}, {'p', 7, 3}, {'p', 8, 2},
        {'p', 9, 1}, {'l', 1, 0}},
       {1, 9, 8, 7, 6, 5, 4, 3, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Queue q(10);
    for (const Op& op : c.ops) {
      if (op.what == 'p') {
        q.heap.push(op.node, op.label);
      } else {
        q.heap.lower(op.node, op.label);
      }
      q.expect_sound();
    }
    ASSERT_FALSE(q.heap.empty());
    EXPECT_EQ(q.heap.top(), c.order.front());
    EXPECT_EQ(q.drain(), c.order);
  }
}

TEST(SearchHeap, RandomOperationsMatchAnOrderedSet) {
  std::mt19937 rng(5);
  for (int32_t n : {1, 2, 5, 17, 300, 5000}) {
    SCOPED_TRACE(n);
    Queue q(n);
    std::set<std::pair<int64_t, int32_t>> ref;  // (label, node): the order the heap must give
    std::vector<int64_t> label(size_t(n) + 1, -1);  // -1: not queued
    for (int step = 0; step < 20 * n; ++step) {
      const int32_t node = 1 + int32_t(rng() % uint32_t(n));
      const unsigned what = rng() % 3;
      if (what == 0 && !ref.empty()) {
        const auto least = *ref.begin();
        ASSERT_EQ(q.heap.top(), least.second);
        ASSERT_EQ(q.heap.pop(), least.second);
        ref.erase(ref.begin());
        label[size_t(least.second)] = -2;  // fixed: never queued again
      } else if (label[size_t(node)] == -1) {
        label[size_t(node)] = int64_t(rng() % 50);  // few labels: many ties
        q.heap.push(node, label[size_t(node)]);
        ref.insert({label[size_t(node)], node});
      } else if (label[size_t(node)] > 0) {
        ref.erase({label[size_t(node)], node});
        label[size_t(node)] -= 1 + int64_t(rng() % uint64_t(label[size_t(node)]));
        q.heap.lower(node, label[size_t(node)]);
        ref.insert({label[size_t(node)], node});
      }
      ASSERT_EQ(q.heap.size, int32_t(ref.size()));
      q.expect_sound();
    }
    std::vector<int32_t> expected;
    for (const auto& e : ref) expected.push_back(e.second);
    EXPECT_EQ(q.drain(), expected);
  }
}

}  // namespace
}  // namespace routava
