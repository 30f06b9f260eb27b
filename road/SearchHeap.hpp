// The candidate queue of the path search: an indexed 4-ary min-heap on (label, node).
#pragma once

#include <cstdint>

namespace routava {

// An entry for any 64-bit label.
struct SearchHeapEntry {
  int64_t label;
  int32_t node;

  static SearchHeapEntry make(int32_t n, int64_t l) { return SearchHeapEntry{l, n}; }
  int32_t id() const { return node; }
};

// Among equal labels the smaller node comes first, so that the order in which
// nodes are fixed, and with it every tree, does not depend on the heap's shape.
inline bool heap_before(const SearchHeapEntry& a, const SearchHeapEntry& b) {
  return a.label < b.label || (a.label == b.label && a.node < b.node);
}

// An entry in 8 bytes for labels of 0 .. 2^31 - 1: the label in the upper half
// and the node in the lower, so that one comparison orders by label and then by node.
struct PackedHeapEntry {
  uint64_t key;

  static PackedHeapEntry make(int32_t n, int64_t l) {
    return PackedHeapEntry{uint64_t(l) << 32 | uint32_t(n)};
  }
  int32_t id() const { return int32_t(uint32_t(key)); }
};

inline bool heap_before(PackedHeapEntry a, PackedHeapEntry b) { return a.key < b.key; }

// Where a node's queue position is kept: a plain array of positions, or a
// member `pos` of the caller's per-node state, so that a node's label and
// position share a cache line.
inline int32_t& position(int32_t& slot) { return slot; }
template <class State>
int32_t& position(State& slot) {
  return slot.pos;
}

// A view over storage the caller owns and keeps between searches: entry[1..size],
// and pos[node], the node's position while it is queued. The heap writes pos only
// for queued nodes; the caller may keep its own marks (0 or below) there for the
// others. The children of position p are 4p-2 .. 4p+1.
template <class Entry, class Slot = int32_t>
struct IndexedHeap {
  Entry* entry;
  Slot* pos;
  int32_t size = 0;

  bool empty() const { return size == 0; }
  // The least entry's node, without taking it out.
  int32_t top() const { return entry[1].id(); }
  // The node taken next, 0 when none is queued.
  int32_t next_known() const { return size > 0 ? top() : 0; }
  void clear() { size = 0; }

  void push(int32_t node, int64_t label) {
    entry[++size] = Entry::make(node, label);
    sift_up(size);
  }
  // A queued node's label lowered in place.
  void lower(int32_t node, int64_t label) {
    const int32_t p = position(pos[node]);
    entry[p] = Entry::make(node, label);
    sift_up(p);
  }
  // Takes out the least entry and returns its node; the node's pos is left to the caller.
  int32_t pop() {
    const int32_t node = entry[1].id();
    const Entry tail = entry[size--];
    if (size > 0) {
      entry[1] = tail;
      sift_down(1);
    }
    return node;
  }

 private:
  // The sifts work on local copies of the members: a store into the entries
  // could otherwise be taken to change `size` and force it to be read again.
  static void place(Entry* h, Slot* at, int32_t p, const Entry& e) {
    h[p] = e;
    position(at[e.id()]) = p;
  }
  void sift_up(int32_t p) {
    Entry* const h = entry;
    Slot* const at = pos;
    const Entry e = h[p];
    while (p > 1) {
      const int32_t parent = (p + 2) / 4;
      if (!heap_before(e, h[parent])) break;
      place(h, at, p, h[parent]);
      p = parent;
    }
    place(h, at, p, e);
  }
  void sift_down(int32_t p) {
    Entry* const h = entry;
    Slot* const at = pos;
    const int32_t n = size;
    const Entry e = h[p];
    for (;;) {
      const int32_t first = 4 * p - 2;
      if (first > n) break;
      int32_t best = first;
      if (first + 3 <= n) {
        // A full set of children, the common case: the least of the four chosen
        // without branches, whose outcome no predictor can guess.
        best = first + int32_t(heap_before(h[first + 1], h[first]));
        const int32_t other = first + 2 + int32_t(heap_before(h[first + 3], h[first + 2]));
        best = heap_before(h[other], h[best]) ? other : best;
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

using SearchHeap = IndexedHeap<SearchHeapEntry>;

}  // namespace routava
