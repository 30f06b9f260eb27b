// The candidate queue of the path search: an indexed 4-ary min-heap on (label, node).
#pragma once

#include <algorithm>
#include <cstdint>

namespace routava {

struct SearchHeapEntry {
  int64_t label;
  int32_t node;
};

// Among equal labels the smaller node comes first, so that the order in which
// nodes are fixed, and with it every tree, does not depend on the heap's shape.
inline bool heap_before(const SearchHeapEntry& a, const SearchHeapEntry& b) {
  return a.label < b.label || (a.label == b.label && a.node < b.node);
}

// A view over storage the caller owns and keeps between searches: entry[1..size],
// and pos[node], the node's position while it is queued. The heap writes pos only
// for queued nodes; the caller may keep its own marks (0 or below) there for the
// others. The children of position p are 4p-2 .. 4p+1.
struct SearchHeap {
  SearchHeapEntry* entry;
  int32_t* pos;
  int32_t size = 0;

  bool empty() const { return size == 0; }
  // The least entry's node, without taking it out.
  int32_t top() const { return entry[1].node; }

  void push(int32_t node, int64_t label) {
    entry[++size] = SearchHeapEntry{label, node};
    sift_up(size);
  }
  // A queued node's label lowered in place.
  void lower(int32_t node, int64_t label) {
    const int32_t p = pos[node];
    entry[p].label = label;
    sift_up(p);
  }
  // Takes out the least entry and returns its node; the node's pos is left to the caller.
  int32_t pop() {
    const int32_t node = entry[1].node;
    const SearchHeapEntry tail = entry[size--];
    if (size > 0) {
      entry[1] = tail;
      sift_down(1);
    }
    return node;
  }

 private:
  // The sifts work on local copies of the members: a store into the entries
  // could otherwise be taken to change `size` and force it to be read again.
  static void place(SearchHeapEntry* h, int32_t* at, int32_t p, const SearchHeapEntry& e) {
    h[p] = e;
    at[e.node] = p;
  }
  void sift_up(int32_t p) {
    SearchHeapEntry* const h = entry;
    int32_t* const at = pos;
    const SearchHeapEntry e = h[p];
    while (p > 1) {
      const int32_t parent = (p + 2) / 4;
      if (!heap_before(e, h[parent])) break;
      place(h, at, p, h[parent]);
      p = parent;
    }
    place(h, at, p, e);
  }
  void sift_down(int32_t p) {
    SearchHeapEntry* const h = entry;
    int32_t* const at = pos;
    const int32_t n = size;
    const SearchHeapEntry e = h[p];
    for (;;) {
      const int32_t first = 4 * p - 2;
      if (first > n) break;
      int32_t best = first;
      if (first + 3 <= n) {  // a full set of children, the common case
        if (heap_before(h[first + 1], h[best])) best = first + 1;
        if (heap_before(h[first + 2], h[best])) best = first + 2;
        if (heap_before(h[first + 3], h[best])) best = first + 3;
      } else {
        for (int32_t c = first + 1; c <= n; ++c)
          if (heap_before(h[c], h[best])) best = c;
      }
      if (!heap_before(h[best], e)) break;
      place(h, at, p, h[best]);
      p = best;
    }
    place(h, at, p, e);
  }
};

}  // namespace routava
