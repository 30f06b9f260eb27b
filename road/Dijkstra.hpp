// The searched network of a stage in the form the path search reads, and the
// search's work storage, both owned by the caller.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "road/SearchBuckets.hpp"
#include "road/SearchHeap.hpp"
#include "run/routines.hpp"

namespace routava {

// An arc the search may relax: its to-node (internal number), impedance and
// row of the network table, read together when the arc is taken.
struct SearchArc {
  int32_t head;
  int32_t cost;  // hundredths of a minute; see SearchGraph::narrow
  int32_t row;
};

// A forward-star copy of one stage's searched table holding only what the search
// reads: for each node, in table row order, the rows it may relax at this stage
// (usable kind, to-node in the node table), with their rows for the tree. Built
// once per stage by build_search_graph and then only read, so that several
// searches may share it.
struct SearchGraph {
  // A node's arcs are arc[first] .. arc[next node's first - 1].
  struct Node {
    uint32_t first;
    uint32_t flags;  // CENTROID, CUT_TESTED
    int64_t code;    // NOD_CODE
  };
  static constexpr uint32_t CENTROID = 1;
  static constexpr uint32_t CUT_TESTED = 2;  // cut entries name the node as their middle

  int32_t nnode = 0;
  int32_t nz = 0;
  bool progress = false;  // the search writes progress lines (a large node table)
  // Every impedance is 0 .. UNREACHED - 1: labels and heap entries fit 32 bits and
  // rows at or above UNREACHED, which no search can use, are left out. Otherwise
  // the impedances are kept whole in wide_cost.
  bool narrow = true;
  std::vector<Node> node;  // 1..nnode; node[nnode + 1].first ends the arcs
  std::vector<SearchArc> arc;
  std::vector<int64_t> wide_cost;  // per arc, only when not narrow
  // On a narrow graph whose impedances are all below MAX_BUCKETS, the search
  // queues in buckets (fewer steps than the heap): one less than a power
  // of two above every impedance. 0: the heap.
  uint32_t bucket_mask = 0;
  static constexpr uint32_t MAX_BUCKETS = 1u << 20;

  // Cut entries ordered by the code of their middle node.
  std::vector<int64_t> cut_copy;   // LCUT rows 1..NCUT
  std::vector<int64_t> cut_code;   // the middle-node codes of the entries, ascending
  std::vector<int32_t> cut_entry;  // entry number of each cut_code
};

// The graph of `net` as it stands (its impedances, cuts and KSW); false when
// memory runs out, leaving `g` empty.
bool build_search_graph(const SearchNet& net, SearchGraph& g);

// Per-node state of one search, indexed by internal node number; label and
// queue position are read together, so they share a cache line.
template <class Label>
struct SearchState {
  Label label;   // UNREACHED between searches
  int32_t pos;   // heap position when > 0, -1 when fixed, 0 not reached (between searches)
  int32_t pred;  // internal number of the predecessor, when pos is not 0
  int32_t row;   // row of the network table that reaches the node, when pos is not 0
};

// What one search has to say (progress lines, zones it could not reach, a
// failure), kept so that it is said where the tree is used: searches made
// ahead on other threads then report in origin order.
struct SearchReport {
  int32_t nnode = 0;       // nodes searched
  bool alloc_failed = false;
  bool exhausted = false;  // the queue ran empty before every zone was fixed
  int32_t last_fixed = 0;  // internal number of the node fixed last, 0 if none
  std::vector<std::array<int32_t, 2>> progress;  // zones and nodes fixed at each progress line
};

// Sized by DIJKSTRA on first use; callers only construct it and hand the same
// object to every search of one run of searches over one node table (one per
// thread). The TREE rows written by the previous search are reset from here, so
// a SearchWork should not be kept across a rebuild of the node table (a
// different TREE, node table or node count is detected and falls back to a full reset).
struct SearchWork {
  // One state array and queue per label width (SearchGraph::narrow).
  std::vector<SearchState<int32_t>> state32;
  std::vector<SearchState<int64_t>> state64;
  std::vector<PackedHeapEntry> packed_heap;
  std::vector<SearchHeapEntry> wide_heap;
  std::vector<int32_t> bucket_head;  // SearchGraph::bucket_mask + 1, all -1 between searches
  std::vector<BucketEntry> bucket_pool;
  std::vector<int32_t> bucket_now;
  std::vector<int32_t> touched;  // nodes whose TREE row the last search changed
  int32_t ntouched = 0;
  std::vector<int32_t> stale;    // the search before's, while rows it alone wrote are cleared
  int32_t nstale = 0;
  // The per-node arrays hold at least this many nodes: the run's own search
  // keeps room for the largest network, a worker's is sized to its network.
  int32_t least_nodes = NODESZ;

  // The TREE the last search wrote, and the node table it was made from.
  const void* tree_object = nullptr;
  const int64_t* tree_data = nullptr;
  const int64_t* nodtbl_data = nullptr;
  int32_t tree_nnode = 0;
  int32_t last_origin = 0;

  // The graph of a search handed a SearchNet without one, built anew each time.
  SearchGraph own_graph;
  SearchReport report;  // of the last search
};

// DIJKSTRA in two halves: the search, which writes nothing but TREE and
// work.report and may run on any thread with its own TREE and work, and the
// messages of its report, said on the caller's thread with the tree in TREE.
void search_origin(const SearchNet& net, int32_t origin_node, TreeTable& TREE, SearchWork& work);
void say_search_report(const SearchReport& report, const NodeTable& NODTBL, const TreeTable& TREE,
                       int32_t origin_zone, int LOG, int16_t KDEBUG, int16_t& unreached);

}  // namespace routava
