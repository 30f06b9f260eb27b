// Minimum-impedance tree from one origin zone over a forward-star link table.
#include <algorithm>
#include <cstring>
#include <new>

#include "road/Dijkstra.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

namespace {

constexpr int32_t FIXED = -1;  // state of a node whose label is final
static_assert(NOD_COLS == TREE_COLS, "node table and tree rows are walked with one stride");

// Grows the per-node arrays to hold nodes 1..nnode; false when memory runs out.
bool size_work(SearchWork& w, int32_t nnode) {
  size_t need = size_t(std::max(nnode, NODESZ)) + 1;
  if (w.label.size() >= need) return true;
  try {
    w.label.assign(need, UNREACHED);
    w.state.assign(need, 0);
    w.heap.assign(need, SearchHeapEntry{0, 0});
    w.touched.assign(need, 0);
  } catch (const std::bad_alloc&) {
    w.label.clear();
    w.state.clear();
    w.heap.clear();
    w.touched.clear();
    w.tree_object = nullptr;
    return false;
  }
  w.ntouched = 0;
  w.tree_object = nullptr;  // nothing is known about any TREE yet
  return true;
}

// A TREE row in its unreached state, the node code aside.
void clear_row(int64_t* t) {
  field(t, TREE_PRED_CODE) = 0;
  field(t, TREE_LABEL) = UNREACHED;
  field(t, TREE_ROW) = 0;
  field(t, TREE_PRED) = 0;
}

// Puts TREE rows 1..nnode in their unreached state. Only the rows the previous
// search changed are cleared when that search wrote this same TREE from this
// same node table; otherwise every row is written.
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
  if (same) {
    for (int32_t k = 0; k < w.ntouched; ++k) clear_row(row(tree, w.touched[size_t(k)]));
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

// ---- cut table

// Orders the cut entries by their middle node so that a marked node finds its
// entries by binary search. Rebuilt only when LCUT rows 1..ncut changed.
void index_cuts(SearchWork& w, const CutTable& LCUT, int32_t ncut) {
  const size_t n = size_t(ncut) * CUT_COLS;
  const int64_t* src = LCUT.row(1);
  if (w.ncut_indexed == ncut && w.cut_copy.size() == n &&
      std::memcmp(w.cut_copy.data(), src, n * sizeof(int64_t)) == 0)
    return;
  w.ncut_indexed = -1;  // not valid until rebuilt in full
  w.cut_copy.assign(src, src + n);
  w.cut_entry.resize(size_t(ncut));
  for (int32_t j = 0; j < ncut; ++j) w.cut_entry[size_t(j)] = j;
  const int64_t* c = w.cut_copy.data();
  auto middle = [c](int32_t j) { return field(c + size_t(j) * CUT_COLS, CUT_MIDDLE); };
  std::sort(w.cut_entry.begin(), w.cut_entry.end(), [&](int32_t a, int32_t b) {
    return middle(a) < middle(b) || (middle(a) == middle(b) && a < b);
  });
  w.cut_code.resize(size_t(ncut));
  for (int32_t k = 0; k < ncut; ++k) w.cut_code[size_t(k)] = middle(w.cut_entry[size_t(k)]);
  w.ncut_indexed = ncut;
}

// How the search stands at a node: its code C, its predecessor's B and B's
// predecessor's A (0 where there is none).
struct Approach {
  int64_t A;
  int64_t B;
  int64_t C;
};

// True when a cut entry forbids entering node code H from the approach.
bool cut_forbids(const SearchWork& w, const Approach& at, int64_t H) {
  auto lo = std::lower_bound(w.cut_code.begin(), w.cut_code.end(), at.C);
  for (auto it = lo; it != w.cut_code.end() && *it == at.C; ++it) {
    const int64_t* e = w.cut_copy.data() + size_t(w.cut_entry[size_t(it - w.cut_code.begin())]) * CUT_COLS;
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

// ---- the search

// One search's view of its tables and work arrays, walked by raw row pointers.
struct Search {
  const int64_t* nod;    // NODTBL row 1
  int64_t* tree;         // TREE row 1
  const int64_t* links;  // row 1 of the network table
  size_t link_cols;
  int32_t nlinks;  // rows the search may use
  int32_t nnode;
  int32_t ncut;
  const SearchWork* cuts;
  uint32_t usable;  // bit k: link kind k (0..10) is allowed at this stage
  int64_t* label;
  int32_t* state;
  int32_t* touched;
  int32_t ntouched;
  SearchHeap heap;
  // Progress of the search.
  int32_t zones = 1;   // zones fixed, the origin's included
  int32_t nfixed = 1;  // nodes fixed, the origin included
  int32_t last_fixed = 0;
  int32_t threshold = 0;   // zones at which the next progress line is due
  bool exhausted = true;   // false once every zone or node is fixed
};

inline const int64_t* node_row(const Search& s, int64_t n) { return s.nod + size_t(n - 1) * NOD_COLS; }
inline int64_t* tree_row(Search& s, int64_t n) { return s.tree + size_t(n - 1) * TREE_COLS; }
inline const int64_t* link_row(const Search& s, int64_t r) { return s.links + size_t(r - 1) * s.link_cols; }

// Relaxes the rows leaving node `cur`, in row order. The loop works on local
// copies of the search's fields, which stay in registers.
inline void relax(Search& s, int32_t cur) {
  const int64_t* const nod = s.nod;
  int64_t* const tree = s.tree;
  const int64_t* const links = s.links;
  const size_t link_cols = s.link_cols;
  const int64_t nnode = s.nnode;
  int64_t* const label = s.label;
  const int32_t* const state = s.state;
  int32_t ntouched = s.ntouched;

  const int64_t* cn = nod + size_t(cur - 1) * NOD_COLS;
  const int64_t cur_label = label[cur];
  const int64_t cur_code = field(cn, NOD_CODE);
  const int64_t first = std::max<int64_t>(field(cn, NOD_FIRST), 1);
  const int64_t last = std::min<int64_t>(field(cn, NOD_LAST), s.nlinks);
  const bool check_cuts = s.ncut > 0 && field(cn, NOD_CUT) > 0;
  Approach at{0, 0, cur_code};
  if (check_cuts) {
    const int64_t* ct = tree + size_t(cur - 1) * TREE_COLS;
    at.B = field(ct, TREE_PRED_CODE);
    const int64_t p = field(ct, TREE_PRED);
    if (p >= 1 && p <= nnode) at.A = field(tree + size_t(p - 1) * TREE_COLS, TREE_PRED_CODE);
  }
  for (int64_t r = first; r <= last; ++r) {
    const int64_t* lk = links + size_t(r - 1) * link_cols;
    const int64_t kind = field(lk, LNK_KIND);
    if (kind > 10 || (kind > 0 && !(s.usable >> kind & 1u))) continue;
    const int64_t h = field(lk, LNK_TONODE);
    if (h < 1 || h > nnode) continue;
    if (state[h] == FIXED) continue;
    const int64_t imp = field(lk, LNK_IMPEDANCE);
    // A label must stay below the unreached value.
    if (imp >= UNREACHED - cur_label) continue;
    const int64_t new_label = cur_label + imp;
    if (new_label > label[h]) continue;
    const int64_t* hn = nod + size_t(h - 1) * NOD_COLS;
    if (check_cuts && cut_forbids(*s.cuts, at, field(hn, NOD_CODE))) continue;

    if (state[h] == 0) {
      s.touched[ntouched++] = int32_t(h);
      __builtin_prefetch(hn);  // read when h is fixed
      label[h] = new_label;
      s.heap.push(int32_t(h), new_label);
    } else if (new_label < label[h]) {
      label[h] = new_label;
      s.heap.lower(int32_t(h), new_label);
    }
    // An equal label still replaces the predecessor: the later link wins.
    int64_t* t = tree + size_t(h - 1) * TREE_COLS;
    field(t, TREE_PRED_CODE) = cur_code;
    field(t, TREE_LABEL) = new_label;
    field(t, TREE_ROW) = r;
    field(t, TREE_PRED) = cur;
  }
  s.ntouched = ntouched;
}

[[gnu::noinline]] void show_progress(int32_t origin_zone, int32_t zones, int32_t nfixed) {
  static const Format progress_fmt =
      Format::parse("(3X,'Search Home(',I4,') Zones =',I4,3X,'Nodes =',I7)");
  write_fmt(SCREEN, progress_fmt, {origin_zone, zones, nfixed});
}

// Fixes queued nodes until one is to be expanded, and returns it; 0 when the
// search ends, every zone or node being fixed or the queue run empty.
// Centroids are fixed but never passed through.
inline int32_t fix_next(Search& s, const SearchNet& net, int32_t origin_zone) {
  while (!s.heap.empty()) {
    const int32_t n = s.heap.pop();
    if (!s.heap.empty()) {
      // The new top is likely the next node expanded: start loading its rows.
      const int64_t next_first = field(node_row(s, s.heap.top()), NOD_FIRST);
      if (next_first >= 1 && next_first <= s.nlinks) __builtin_prefetch(link_row(s, next_first));
    }
    s.state[n] = FIXED;
    s.last_fixed = n;
    const bool centroid = field(node_row(s, n), NOD_ZONE) > 0;
    if (centroid) ++s.zones;
    ++s.nfixed;
    if (net.NNODE > 30000 && s.zones >= s.threshold) {
      show_progress(origin_zone, s.zones, s.nfixed);
      s.threshold += 50;
    }
    if (s.zones >= net.NZ || s.nfixed >= s.nnode) {
      s.exhausted = false;
      return 0;
    }
    if (!centroid) return n;
  }
  return 0;
}

// The origin fixed at label 0, and its tree row.
inline void start_at(Search& s, int32_t origin_node) {
  field(tree_row(s, origin_node), TREE_LABEL) = 0;
  s.label[origin_node] = 0;
  s.state[origin_node] = FIXED;
  s.touched[s.ntouched++] = origin_node;
  s.last_fixed = origin_node;
}

// The queue ran empty: every zone left unfixed is named; 1 when there is one. In
// debug mode the node fixed last (its code `last_code`) is named too.
int16_t report_unreached(const NodeTable& NODTBL, int32_t nnode, const int32_t* state,
                         int32_t origin_zone, int64_t last_code, int LOG, int16_t KDEBUG) {
  static const Format unreached_fmt = Format::parse("(2X,'From',I4,2X,'can not connect with',2I4)");
  int16_t unreached = 0;
  for (int32_t n = 1; n <= nnode; ++n) {
    const int64_t zone = NODTBL(n, NOD_ZONE);
    if (zone > 0 && state[n] != FIXED) {
      unreached = 1;
      say_fmt(LOG, unreached_fmt, {origin_zone, zone, int32_t(0)});
    }
  }
  if (unreached != 0 && KDEBUG > 0) {
    say_heading(LOG, "DIJKSTRA", 3);
    say(LOG, {" Can not found Node connected from", last_code});
  }
  return unreached;
}

// TREE without work storage: every node unreached.
void clear_tree(TreeTable& TREE, const NodeTable& NODTBL, int32_t nnode) {
  for (int32_t n = 1; n <= nnode; ++n) {
    TREE(n, TREE_CODE) = NODTBL(n, NOD_CODE);
    clear_row(TREE.row(n));
  }
}

}  // namespace

void DIJKSTRA(const SearchNet& net, int32_t origin_zone, int32_t origin_node, int LOG,
              int16_t KDEBUG, TreeTable& TREE, SearchWork& work, int16_t& unreached) {
  unreached = 0;
  const int32_t nnode = std::min({net.NNODE, net.NODTBL.rows(), TREE.rows()});
  if (nnode <= 0) return;

  if (!size_work(work, nnode)) {
    say_alloc_failure(LOG, "DIJKSTRA", " LIST(NODESZ) allocation error", unreached, 3);
    work.tree_object = nullptr;
    clear_tree(TREE, net.NODTBL, nnode);
    return;
  }
  reset_tree(work, TREE, net.NODTBL, nnode);

  const int32_t ncut = net.LCUT.cols() == CUT_COLS ? std::clamp(net.NCUT, 0, net.LCUT.rows()) : 0;
  if (ncut > 0) {
    try {
      index_cuts(work, net.LCUT, ncut);
    } catch (const std::bad_alloc&) {
      say_alloc_failure(LOG, "DIJKSTRA", " LCUT index allocation error", unreached, 3);
      return;
    }
  }

  const NetTable& table = net.table;
  Search s{net.NODTBL.row(1),
           TREE.row(1),
           table.rows() > 0 ? table.row(1) : nullptr,
           size_t(table.cols()),
           table.cols() >= LNK_KIND ? table.rows() : 0,
           nnode,
           ncut,
           &work,
           1u << KIND_ROAD,
           work.label.data(),
           work.state.data(),
           work.touched.data(),
           work.ntouched,
           SearchHeap{work.heap.data(), work.state.data(), 0}};
  for (int k = 1; k <= 10; ++k)
    if (net.KSW[size_t(k)] > 0) s.usable |= 1u << k;

  if (origin_node >= 1 && origin_node <= nnode) {
    start_at(s, origin_node);
    work.last_origin = origin_node;
    for (int32_t cur = origin_node; cur != 0; cur = fix_next(s, net, origin_zone)) relax(s, cur);
  }
  if (s.exhausted) {
    const int64_t last_code = s.last_fixed > 0 ? net.NODTBL(s.last_fixed, NOD_CODE) : int64_t(origin_zone);
    unreached = report_unreached(net.NODTBL, nnode, s.state, origin_zone, last_code, LOG, KDEBUG);
  }

  // Leave the work arrays clean for the next origin; the TREE rows stay as results.
  for (int32_t k = 0; k < s.ntouched; ++k) {
    const int32_t n = s.touched[k];
    s.label[n] = UNREACHED;
    s.state[n] = 0;
  }
  work.ntouched = s.ntouched;
}

}  // namespace routava
