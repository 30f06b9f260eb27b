// Minimum-impedance tree from one origin zone over a forward-star link table.
#include <algorithm>
#include <bit>
#include <new>
#include <utility>

#include "road/Dijkstra.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

namespace {

constexpr int32_t FIXED = -1;  // pos of a node whose label is final
static_assert(NOD_COLS == TREE_COLS, "node table and tree rows are walked with one stride");

// ---- the compact graph

// Bit k: link kind k (0..10) may be searched at the stage.
uint32_t usable_kinds(const std::array<int16_t, 11>& KSW) {
  uint32_t usable = 1u << KIND_ROAD;
  for (int k = 1; k <= 10; ++k)
    if (KSW[size_t(k)] > 0) usable |= 1u << k;
  return usable;
}

// A row the search may relax: a usable kind, and a to-node in the node table.
bool searchable(const int64_t* lk, uint32_t usable, int32_t nnode) {
  const int64_t kind = field(lk, LNK_KIND);
  if (kind > 10 || (kind > 0 && !(usable >> kind & 1u))) return false;
  const int64_t h = field(lk, LNK_TONODE);
  return h >= 1 && h <= nnode;
}

// The rows of the network table leaving node row `nod`, held inside the table.
struct RowRange {
  int64_t first;
  int64_t last;
};
RowRange rows_of(const int64_t* nod, int32_t nlinks) {
  return RowRange{std::max<int64_t>(field(nod, NOD_FIRST), 1), std::min<int64_t>(field(nod, NOD_LAST), nlinks)};
}

// Orders the cut entries by their middle node so that a marked node finds its
// entries by binary search.
void index_cuts(SearchGraph& g, const CutTable& LCUT, int32_t ncut) {
  const int64_t* src = ncut > 0 ? LCUT.row(1) : nullptr;
  g.cut_copy.assign(src, src + size_t(ncut) * CUT_COLS);
  g.cut_entry.resize(size_t(ncut));
  for (int32_t j = 0; j < ncut; ++j) g.cut_entry[size_t(j)] = j;
  const int64_t* c = g.cut_copy.data();
  auto middle = [c](int32_t j) { return field(c + size_t(j) * CUT_COLS, CUT_MIDDLE); };
  std::sort(g.cut_entry.begin(), g.cut_entry.end(), [&](int32_t a, int32_t b) {
    return middle(a) < middle(b) || (middle(a) == middle(b) && a < b);
  });
  g.cut_code.resize(size_t(ncut));
  for (int32_t k = 0; k < ncut; ++k) g.cut_code[size_t(k)] = middle(g.cut_entry[size_t(k)]);
}

// The graph of nodes 1..nnode of `net`; throws std::bad_alloc.
void fill_graph(const SearchNet& net, int32_t nnode, SearchGraph& g) {
  const NetTable& table = net.table;
  const int32_t nlinks = table.cols() >= LNK_KIND ? table.rows() : 0;
  const size_t link_cols = size_t(table.cols());
  const int64_t* links = nlinks > 0 ? table.row(1) : nullptr;
  auto link_row = [&](int64_t r) { return links + size_t(r - 1) * link_cols; };
  const uint32_t usable = usable_kinds(net.KSW);
  const int32_t ncut = net.LCUT.cols() == CUT_COLS ? std::clamp(net.NCUT, 0, net.LCUT.rows()) : 0;
  g.nnode = nnode;
  g.nz = net.NZ;
  g.progress = net.NNODE > 30000;

  // A negative impedance anywhere makes labels of any size possible.
  g.narrow = true;
  size_t count = 0;
  for (int32_t n = 1; n <= nnode; ++n) {
    const RowRange rr = rows_of(net.NODTBL.row(n), nlinks);
    for (int64_t r = rr.first; r <= rr.last; ++r) {
      if (!searchable(link_row(r), usable, nnode)) continue;
      ++count;
      if (field(link_row(r), LNK_IMPEDANCE) < 0) g.narrow = false;
    }
  }
  g.node.assign(size_t(nnode) + 2, SearchGraph::Node{0, 0, 0});
  g.arc.clear();
  g.wide_cost.clear();
  g.arc.reserve(count);
  if (!g.narrow) g.wide_cost.reserve(count);
  for (int32_t n = 1; n <= nnode; ++n) {
    const int64_t* nod = net.NODTBL.row(n);
    g.node[size_t(n)] = SearchGraph::Node{
        uint32_t(g.arc.size()),
        (field(nod, NOD_ZONE) > 0 ? SearchGraph::CENTROID : 0) |
            (ncut > 0 && field(nod, NOD_CUT) > 0 ? SearchGraph::CUT_TESTED : 0),
        field(nod, NOD_CODE)};
    const RowRange rr = rows_of(nod, nlinks);
    for (int64_t r = rr.first; r <= rr.last; ++r) {
      const int64_t* lk = link_row(r);
      if (!searchable(lk, usable, nnode)) continue;
      const int64_t imp = field(lk, LNK_IMPEDANCE);
      if (g.narrow && imp >= UNREACHED) continue;  // a label never reaches it
      g.arc.push_back(SearchArc{int32_t(field(lk, LNK_TONODE)), g.narrow ? int32_t(imp) : 0, int32_t(r)});
      if (!g.narrow) g.wide_cost.push_back(imp);
    }
  }
  g.node[size_t(nnode) + 1].first = uint32_t(g.arc.size());
  g.bucket_mask = 0;
  if (g.narrow) {
    int32_t largest = 0;
    for (const SearchArc& a : g.arc) largest = std::max(largest, a.cost);
    if (uint32_t(largest) < SearchGraph::MAX_BUCKETS)
      g.bucket_mask = std::max(std::bit_ceil(uint32_t(largest) + 1), 2u) - 1;
  }
  index_cuts(g, net.LCUT, ncut);
}

bool fill_graph_or_clear(const SearchNet& net, int32_t nnode, SearchGraph& g) {
  try {
    fill_graph(net, nnode, g);
    return true;
  } catch (const std::bad_alloc&) {
    g = SearchGraph{};
    return false;
  }
}

// How the search stands at a node: its code C, its predecessor's B and B's
// predecessor's A (0 where there is none).
struct Approach {
  int64_t A;
  int64_t B;
  int64_t C;
};

// True when a cut entry forbids entering node code H from the approach.
bool cut_forbids(const SearchGraph& g, const Approach& at, int64_t H) {
  auto lo = std::lower_bound(g.cut_code.begin(), g.cut_code.end(), at.C);
  for (auto it = lo; it != g.cut_code.end() && *it == at.C; ++it) {
    const int64_t* e = g.cut_copy.data() + size_t(g.cut_entry[size_t(it - g.cut_code.begin())]) * CUT_COLS;
    if (field(e, CUT_LAST) != H) continue;
    if (field(e, CUT_FIRST) > 0) {
      if (field(e, CUT_FIRST) == at.A && field(e, CUT_BEFORE) == at.B) return true;
    } else if (field(e, CUT_BEFORE) > 0) {
      if (field(e, CUT_BEFORE) == at.B) return true;
    } else {
      return true;
    }
  }
  return false;
}

// ---- work storage and the tree

// Grows the per-node arrays of one label width to hold nodes 1..nnode; false
// when memory runs out.
bool size_work(SearchWork& w, int32_t nnode, const SearchGraph& g) {
  const size_t need = size_t(std::max(nnode, w.least_nodes)) + 1;
  const bool narrow = g.narrow;
  try {
    // A line at 0 zones and one every 50 until the search stops at NZ.
    w.report.progress.reserve(size_t(std::max(g.nz, 1)) / 50 + 2);
    if (w.touched.size() < need || w.stale.size() < need) {
      w.touched.assign(need, 0);
      w.stale.assign(need, 0);
      w.ntouched = 0;
      w.nstale = 0;
      w.tree_object = nullptr;  // nothing is known about any TREE yet
    }
    if (narrow && w.state32.size() < need) {
      w.state32.assign(need, SearchState<int32_t>{int32_t(UNREACHED), 0, 0, 0});
      w.packed_heap.assign(need, PackedHeapEntry{0});
    }
    if (g.bucket_mask != 0) {
      if (w.bucket_head.size() < size_t(g.bucket_mask) + 1) w.bucket_head.assign(size_t(g.bucket_mask) + 1, -1);
      if (w.bucket_pool.size() < g.arc.size()) w.bucket_pool.resize(g.arc.size());
      if (w.bucket_now.size() < need) w.bucket_now.resize(need);
    }
    if (!narrow && w.state64.size() < need) {
      w.state64.assign(need, SearchState<int64_t>{UNREACHED, 0, 0, 0});
      w.wide_heap.assign(need, SearchHeapEntry{0, 0});
    }
  } catch (const std::bad_alloc&) {
    w = SearchWork{};
    return false;
  }
  return true;
}

// A TREE row in its unreached state, the node code aside.
void clear_row(int64_t* t) {
  field(t, TREE_PRED_CODE) = 0;
  field(t, TREE_LABEL) = UNREACHED;
  field(t, TREE_ROW) = 0;
  field(t, TREE_PRED) = 0;
}

// Puts TREE rows 1..nnode in their unreached state. When the previous search
// wrote this same TREE from this same node table, only its rows are to be
// cleared, and only those the coming search does not write again: they are
// left in `stale` for the end of the search. Otherwise every row is written now.
void reset_tree(SearchWork& w, TreeTable& TREE, const NodeTable& NODTBL, int32_t nnode) {
  int64_t* tree = TREE.row(1);
  const int64_t* nod = NODTBL.row(1);
  auto row = [](auto* base, int32_t n) { return base + size_t(n - 1) * TREE_COLS; };
  bool same = w.tree_object == &TREE && w.tree_data == tree && w.nodtbl_data == nod &&
              w.tree_nnode == nnode && w.last_origin >= 1 && w.last_origin <= nnode;
  if (same) {
    // A TREE replaced or edited behind our back would not hold the origin row we left.
    const int64_t* o = row(tree, w.last_origin);
    same = field(o, TREE_CODE) == field(row(nod, w.last_origin), NOD_CODE) &&
           field(o, TREE_PRED_CODE) == 0 && field(o, TREE_LABEL) == 0 &&
           field(row(tree, nnode), TREE_CODE) == field(row(nod, nnode), NOD_CODE);
  }
  w.nstale = 0;
  if (same) {
    std::swap(w.touched, w.stale);
    w.nstale = w.ntouched;
  } else {
    for (int32_t n = 1; n <= nnode; ++n) {
      int64_t* t = row(tree, n);
      field(t, TREE_CODE) = field(row(nod, n), NOD_CODE);
      clear_row(t);
    }
  }
  w.ntouched = 0;
  w.tree_object = &TREE;
  w.tree_data = tree;
  w.nodtbl_data = nod;
  w.tree_nnode = nnode;
  w.last_origin = 0;
}

// TREE without work storage: every node unreached.
void clear_tree(TreeTable& TREE, const NodeTable& NODTBL, int32_t nnode) {
  for (int32_t n = 1; n <= nnode; ++n) {
    TREE(n, TREE_CODE) = NODTBL(n, NOD_CODE);
    clear_row(TREE.row(n));
  }
}

// ---- the search

// Labels and queue entries: 32 bits on a narrow graph, 64 on a wide one.
template <bool kNarrow>
struct Width;
template <>
struct Width<true> {
  using Label = int32_t;
  using Entry = PackedHeapEntry;
  static SearchState<Label>* states(SearchWork& w) { return w.state32.data(); }
  static Entry* entries(SearchWork& w) { return w.packed_heap.data(); }
  static Label cost(const SearchGraph& g, uint32_t i) { return g.arc[i].cost; }
};
template <>
struct Width<false> {
  using Label = int64_t;
  using Entry = SearchHeapEntry;
  static SearchState<Label>* states(SearchWork& w) { return w.state64.data(); }
  static Entry* entries(SearchWork& w) { return w.wide_heap.data(); }
  static Label cost(const SearchGraph& g, uint32_t i) { return g.wide_cost[i]; }
};

// One search's view of its graph, tree, work arrays and queue.
template <bool kNarrow_, class Queue>
struct Search {
  static constexpr bool kNarrow = kNarrow_;
  using W = Width<kNarrow>;
  using Label = typename W::Label;
  using State = SearchState<Label>;
  const SearchGraph& g;
  int64_t* tree;  // TREE row 1
  State* state;
  int32_t* touched;
  int32_t ntouched;
  SearchReport* report;
  Queue heap;
  // Progress of the search.
  int32_t zones = 1;   // zones fixed, the origin's included
  int32_t nfixed = 1;  // nodes fixed, the origin included
  int32_t last_fixed = 0;
  int32_t threshold = 0;  // zones at which the next progress line is due
  bool exhausted = true;  // false once every zone or node is fixed

  Search(const SearchGraph& graph, TreeTable& TREE, SearchWork& w, Queue queue)
      : g(graph), tree(TREE.row(1)), state(W::states(w)), touched(w.touched.data()), ntouched(w.ntouched),
        report(&w.report), heap(queue) {}
};

// The 4-ary heap over the work arrays of one label width.
template <bool kNarrow>
auto heap_of(SearchWork& w) {
  using W = Width<kNarrow>;
  return IndexedHeap<typename W::Entry, SearchState<typename W::Label>>{W::entries(w), W::states(w), 0};
}

// The buckets over the work arrays, for a graph with bucket_mask set.
BucketQueue<SearchState<int32_t>> buckets_of(SearchWork& w, const SearchGraph& g) {
  return BucketQueue<SearchState<int32_t>>{w.bucket_head.data(), w.bucket_pool.data(), w.bucket_now.data(),
                                           w.state32.data(), g.bucket_mask};
}

// The TREE row of a node whose label the search holds: written once, when the
// node is fixed (or when the search ends with it still queued).
template <class S>
inline void write_tree_row(S& s, int32_t n) {
  const auto& st = s.state[n];
  int64_t* t = s.tree + size_t(n - 1) * TREE_COLS;
  field(t, TREE_PRED_CODE) = st.pred >= 1 ? s.g.node[size_t(st.pred)].code : 0;
  field(t, TREE_LABEL) = st.label;
  field(t, TREE_ROW) = st.row;
  field(t, TREE_PRED) = st.pred;
}

// Relaxes the arcs leaving node `cur`, in row order. The loop works on local
// copies of the search's fields, which stay in registers.
template <class S>
inline void relax(S& s, int32_t cur) {
  constexpr bool kNarrow = S::kNarrow;
  using W = Width<kNarrow>;
  using Label = typename W::Label;
  const SearchGraph& g = s.g;
  const SearchArc* const arc = g.arc.data();
  auto* const state = s.state;
  int32_t ntouched = s.ntouched;

  const SearchGraph::Node* const cn = g.node.data() + cur;
  const Label cur_label = state[cur].label;
  const bool check_cuts = (cn->flags & SearchGraph::CUT_TESTED) != 0;
  Approach at{0, 0, cn->code};
  if (check_cuts) {
    const int32_t p = state[cur].pred;
    if (p >= 1) {
      at.B = g.node[size_t(p)].code;
      const int32_t pp = state[p].pred;
      if (pp >= 1) at.A = g.node[size_t(pp)].code;
    }
  }
  const uint32_t end = cn[1].first;
  for (uint32_t i = cn->first; i < end; ++i) {
    const int32_t h = arc[i].head;
    const Label imp = W::cost(g, i);
    // A label must stay below the unreached value, and be a sum that fits: on a
    // wide graph impedances far below zero could wrap.
    Label new_label;
    if constexpr (kNarrow) {
      new_label = Label(cur_label + imp);  // both 0 .. UNREACHED - 1
    } else if (__builtin_add_overflow(cur_label, imp, &new_label)) {
      continue;
    }
    if (new_label >= UNREACHED) continue;
    auto& hs = state[h];
    if (new_label > hs.label) continue;
    if (hs.pos == FIXED) continue;
    if (check_cuts && cut_forbids(g, at, g.node[size_t(h)].code)) continue;

    if (hs.pos == 0) {
      s.touched[ntouched++] = h;
      hs.label = new_label;
      s.heap.push(h, new_label);
    } else if (new_label < hs.label) {
      hs.label = new_label;
      s.heap.lower(h, new_label);
    }
    // An equal label still replaces the predecessor: the later row wins.
    hs.pred = cur;
    hs.row = arc[i].row;
  }
  s.ntouched = ntouched;
}

// Fixes queued nodes until one is to be expanded, and returns it; 0 when the
// search ends, every zone or node being fixed or the queue run empty.
// Centroids are fixed but never passed through.
template <class S>
inline int32_t fix_next(S& s) {
  const SearchGraph& g = s.g;
  while (!s.heap.empty()) {
    const int32_t n = s.heap.pop();
    // The new top is likely the next node expanded: start loading its arcs.
    if (const int32_t next = s.heap.next_known()) __builtin_prefetch(g.arc.data() + g.node[size_t(next)].first);
    s.state[n].pos = FIXED;
    write_tree_row(s, n);
    s.last_fixed = n;
    const bool centroid = (g.node[size_t(n)].flags & SearchGraph::CENTROID) != 0;
    if (centroid) ++s.zones;
    ++s.nfixed;
    if (g.progress && s.zones >= s.threshold) {
      auto& lines = s.report->progress;
      if (lines.size() < lines.capacity()) lines.push_back({s.zones, s.nfixed});
      s.threshold += 50;
    }
    if (s.zones >= g.nz || s.nfixed >= g.nnode) {
      s.exhausted = false;
      return 0;
    }
    if (!centroid) return n;
  }
  return 0;
}

// The origin fixed at label 0, and its tree row.
template <class S>
inline void start_at(S& s, int32_t origin_node) {
  int64_t* t = s.tree + size_t(origin_node - 1) * TREE_COLS;
  clear_row(t);
  field(t, TREE_LABEL) = 0;
  s.state[origin_node] = typename S::State{0, FIXED, 0, 0};
  s.touched[s.ntouched++] = origin_node;
  s.last_fixed = origin_node;
}

// The tree from origin node `node` into TREE; what it has to say in work.report.
template <bool kNarrow, class Queue>
void search_tree(const SearchGraph& g, int32_t node, TreeTable& TREE, SearchWork& work, Queue queue) {
  Search<kNarrow, Queue> s(g, TREE, work, queue);
  if (node >= 1 && node <= g.nnode) {
    start_at(s, node);
    work.last_origin = node;
    for (int32_t cur = node; cur != 0; cur = fix_next(s)) relax(s, cur);
  }
  work.report.exhausted = s.exhausted;
  work.report.last_fixed = s.last_fixed;
  // Rows of the previous search that this one did not reach.
  for (int32_t k = 0; k < work.nstale; ++k) {
    const int32_t n = work.stale[size_t(k)];
    if (s.state[n].pos == 0) clear_row(s.tree + size_t(n - 1) * TREE_COLS);
  }
  work.nstale = 0;

  // Nodes still queued get their rows now; the work arrays are left clean for
  // the next origin, and the TREE rows stay as results.
  for (int32_t k = 0; k < s.ntouched; ++k) {
    const int32_t n = s.touched[k];
    if (s.state[n].pos > 0) write_tree_row(s, n);
    s.state[n].label = typename Search<kNarrow, Queue>::Label(UNREACHED);
    s.state[n].pos = 0;
  }
  work.ntouched = s.ntouched;
  s.heap.clear();
}

}  // namespace

bool build_search_graph(const SearchNet& net, SearchGraph& g) {
  return fill_graph_or_clear(net, std::max(std::min(net.NNODE, net.NODTBL.rows()), 0), g);
}

void search_origin(const SearchNet& net, int32_t origin_node, TreeTable& TREE, SearchWork& work) {
  SearchReport& report = work.report;
  report.alloc_failed = false;
  report.exhausted = false;
  report.last_fixed = 0;
  report.progress.clear();
  report.nnode = std::max(std::min({net.NNODE, net.NODTBL.rows(), TREE.rows()}), 0);
  const int32_t nnode = report.nnode;
  if (nnode <= 0) return;

  const SearchGraph* g = net.graph;
  if (g == nullptr || g->nnode != nnode) {
    g = fill_graph_or_clear(net, nnode, work.own_graph) ? &work.own_graph : nullptr;
  }
  if (g == nullptr || !size_work(work, nnode, *g)) {
    work.report.alloc_failed = true;
    work.tree_object = nullptr;
    clear_tree(TREE, net.NODTBL, nnode);
    return;
  }
  reset_tree(work, TREE, net.NODTBL, nnode);
  if (g->bucket_mask != 0)
    search_tree<true>(*g, origin_node, TREE, work, buckets_of(work, *g));
  else if (g->narrow)
    search_tree<true>(*g, origin_node, TREE, work, heap_of<true>(work));
  else
    search_tree<false>(*g, origin_node, TREE, work, heap_of<false>(work));
}

void say_search_report(const SearchReport& report, const NodeTable& NODTBL, const TreeTable& TREE,
                       int32_t origin_zone, int LOG, int16_t KDEBUG, int16_t& unreached) {
  static const Format progress_fmt =
      Format::parse("(3X,'Search Home(',I4,') Zones =',I4,3X,'Nodes =',I7)");
  static const Format unreached_fmt = Format::parse("(2X,'From',I4,2X,'can not connect with',2I4)");
  unreached = 0;
  if (report.alloc_failed) {
    say_alloc_failure(LOG, "DIJKSTRA", " LIST(NODESZ) allocation error", unreached, 3);
    return;
  }
  for (const auto& line : report.progress) write_fmt(SCREEN, progress_fmt, {origin_zone, line[0], line[1]});
  if (!report.exhausted) return;
  // The queue ran empty, so no node is left queued: a node is fixed exactly when
  // its label is no longer the unreached value.
  for (int32_t n = 1; n <= report.nnode; ++n) {
    const int64_t zone = NODTBL(n, NOD_ZONE);
    if (zone > 0 && TREE(n, TREE_LABEL) == UNREACHED) {
      unreached = 1;
      say_fmt(LOG, unreached_fmt, {origin_zone, zone, int32_t(0)});
    }
  }
  if (unreached != 0 && KDEBUG > 0) {
    say_heading(LOG, "DIJKSTRA", 3);
    const int32_t last = report.last_fixed;
    say(LOG, {" Can not found Node connected from", last > 0 ? NODTBL(last, NOD_CODE) : int64_t(origin_zone)});
  }
}

void DIJKSTRA(const SearchNet& net, int32_t origin_zone, int32_t origin_node, int LOG,
              int16_t KDEBUG, TreeTable& TREE, SearchWork& work, int16_t& unreached) {
  search_origin(net, origin_node, TREE, work);
  say_search_report(work.report, net.NODTBL, TREE, origin_zone, LOG, KDEBUG, unreached);
}

}  // namespace routava
