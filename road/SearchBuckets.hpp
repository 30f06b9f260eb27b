// The candidate queue of the path search on a graph of small whole impedances:
// a bucket per label, taken in the order of the 4-ary heap on (label, node).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

namespace routava {

// A queued node's entry in the bucket of its label, chained to the entry queued
// before it there. A node lowered into another bucket leaves its old entry
// behind, to be passed over when that bucket is reached.
struct BucketEntry {
  int32_t node;
  int32_t next;  // index of the next entry of the bucket, -1 at its end
};

// Labels grow from 0, and every queued label lies within the largest impedance
// of the current one, so a ring of more buckets than that holds each label in
// a bucket of its own. Nodes of the current label are taken smallest first,
// those reaching it meanwhile (over arcs of no impedance) included, as the
// heap would take them. Storage is the caller's and kept between searches:
// head[0..mask] all -1 and `pool` room for an entry per arc relaxed, `now` for
// a node per node. The caller's per-node state has `label` and `pos`; the
// queue sets pos to 1 when it queues a node, and passes over entries of nodes
// whose pos is no longer above 0 or whose label has been lowered.
template <class State>
struct BucketQueue {
  int32_t* head;
  BucketEntry* pool;
  int32_t* now;  // the current label's nodes: a min-heap on node number
  State* state;
  uint32_t mask;
  int32_t npool = 0;
  int32_t nnow = 0;
  int32_t queued = 0;
  int64_t label = 0;  // the current label
  int64_t high = 0;   // the largest label queued in a bucket

  bool empty() const { return queued == 0; }
  // The node taken next when it is already known, else 0.
  int32_t next_known() const { return nnow > 0 ? now[0] : 0; }

  void push(int32_t node, int64_t l) {
    ++queued;
    state[node].pos = 1;
    place(node, l);
  }
  void lower(int32_t node, int64_t l) { place(node, l); }

  // Takes out the least (label, node) and returns its node; the node's pos is
  // left to the caller. Only when not empty.
  int32_t pop() {
    while (nnow == 0) {
      ++label;
      if (head[uint32_t(label) & mask] >= 0) take_bucket(label);
    }
    --queued;
    if (nnow == 1) return now[--nnow];
    std::pop_heap(now, now + nnow, std::greater<int32_t>());
    return now[--nnow];
  }

  // Leaves the buckets of the labels still queued empty.
  void clear() {
    const int64_t last = std::min<int64_t>(high, label + int64_t(mask));
    for (int64_t l = label; l <= last; ++l) head[uint32_t(l) & mask] = -1;
    high = 0;
    npool = 0;
    nnow = 0;
    queued = 0;
    label = 0;
  }

 private:
  void place(int32_t node, int64_t l) {
    if (l == label) {
      now[nnow++] = node;
      std::push_heap(now, now + nnow, std::greater<int32_t>());
      return;
    }
    high = std::max(high, l);
    int32_t& first = head[uint32_t(l) & mask];
    pool[npool] = BucketEntry{node, first};
    first = npool++;
  }
  void take_bucket(int64_t l) {
    int32_t& first = head[uint32_t(l) & mask];
    for (int32_t e = first; e >= 0; e = pool[e].next) {
      const int32_t n = pool[e].node;
      if (state[n].pos > 0 && state[n].label == l) now[nnow++] = n;
    }
    first = -1;
    if (nnow > 1) std::make_heap(now, now + nnow, std::greater<int32_t>());
  }
};

}  // namespace routava
