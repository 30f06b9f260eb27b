// Minimum-impedance tree from one origin zone over a forward-star link table.
#include <algorithm>
#include <cstring>
#include <new>

#include "road/Dijkstra.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

namespace {

constexpr int32_t FIXED = -1;
constexpr int NODE_COLS = 5;  // NODTBL and TREE

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
  w.heap_size = 0;
  w.ntouched = 0;
  w.tree_object = nullptr;  // nothing is known about any TREE yet
  return true;
}

void clear_row(int64_t* t) {
  t[1] = 0;
  t[2] = UNREACHED;
  t[3] = 0;
  t[4] = 0;
}

// Puts TREE rows 1..nnode in their unreached state. Only the rows the previous
// search changed are cleared when that search wrote this same TREE from this
// same node table; otherwise every row is written.
void reset_tree(SearchWork& w, TreeTable& TREE, const NodeTable& NODTBL, int32_t nnode) {
  int64_t* tree = TREE.row(1);
  const int64_t* nod = NODTBL.row(1);
  bool same = w.tree_object == &TREE && w.tree_data == tree && w.nodtbl_data == nod &&
              w.tree_nnode == nnode && w.last_origin >= 1 && w.last_origin <= nnode;
  if (same) {
    // A TREE replaced or edited behind our back would not hold the origin row we left.
    const int64_t* o = tree + size_t(w.last_origin - 1) * NODE_COLS;
    const int64_t* last = tree + size_t(nnode - 1) * NODE_COLS;
    same = o[0] == nod[size_t(w.last_origin - 1) * NODE_COLS] && o[1] == 0 && o[2] == 0 &&
           last[0] == nod[size_t(nnode - 1) * NODE_COLS];
  }
  if (same) {
    for (int32_t k = 0; k < w.ntouched; ++k)
      clear_row(tree + size_t(w.touched[size_t(k)] - 1) * NODE_COLS);
  } else {
    for (int32_t n = 1; n <= nnode; ++n) {
      int64_t* t = tree + size_t(n - 1) * NODE_COLS;
      t[0] = nod[size_t(n - 1) * NODE_COLS];
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

// ---- 4-ary heap on (label, node): among equal labels the smaller node comes first.

inline bool before(const SearchHeapEntry& a, const SearchHeapEntry& b) {
  return a.label < b.label || (a.label == b.label && a.node < b.node);
}

inline void sift_up(SearchWork& w, int32_t pos) {
  SearchHeapEntry* h = w.heap.data();
  int32_t* state = w.state.data();
  SearchHeapEntry e = h[pos];
  while (pos > 1) {
    int32_t parent = (pos + 2) / 4;
    if (!before(e, h[parent])) break;
    h[pos] = h[parent];
    state[h[pos].node] = pos;
    pos = parent;
  }
  h[pos] = e;
  state[e.node] = pos;
}

inline void sift_down(SearchWork& w, int32_t pos) {
  SearchHeapEntry* h = w.heap.data();
  int32_t* state = w.state.data();
  const int32_t size = w.heap_size;
  SearchHeapEntry e = h[pos];
  for (;;) {
    int32_t first = 4 * pos - 2;  // children of pos are 4*pos-2 .. 4*pos+1
    if (first > size) break;
    int32_t last = std::min(first + 3, size);
    int32_t best = first;
    for (int32_t c = first + 1; c <= last; ++c)
      if (before(h[c], h[best])) best = c;
    if (!before(h[best], e)) break;
    h[pos] = h[best];
    state[h[pos].node] = pos;
    pos = best;
  }
  h[pos] = e;
  state[e.node] = pos;
}

inline int32_t pop_min(SearchWork& w) {
  SearchHeapEntry* h = w.heap.data();
  int32_t node = h[1].node;
  SearchHeapEntry tail = h[w.heap_size--];
  if (w.heap_size > 0) {
    h[1] = tail;
    sift_down(w, 1);
  }
  return node;
}

// ---- cut table

// Orders the cut entries by their middle node so that a marked node finds its
// entries by binary search. Rebuilt only when LCUT rows 1..ncut changed.
void index_cuts(SearchWork& w, const CutTable& LCUT, int32_t ncut) {
  const size_t n = size_t(ncut) * 4;
  const int64_t* src = LCUT.row(1);
  if (w.ncut_indexed == ncut && w.cut_copy.size() == n &&
      std::memcmp(w.cut_copy.data(), src, n * sizeof(int64_t)) == 0)
    return;
  w.ncut_indexed = -1;  // not valid until rebuilt in full
  w.cut_copy.assign(src, src + n);
  w.cut_entry.resize(size_t(ncut));
  for (int32_t j = 0; j < ncut; ++j) w.cut_entry[size_t(j)] = j;
  const int64_t* c = w.cut_copy.data();
  std::sort(w.cut_entry.begin(), w.cut_entry.end(), [c](int32_t a, int32_t b) {
    int64_t ka = c[size_t(a) * 4 + 1];
    int64_t kb = c[size_t(b) * 4 + 1];
    return ka < kb || (ka == kb && a < b);
  });
  w.cut_code.resize(size_t(ncut));
  for (int32_t k = 0; k < ncut; ++k)
    w.cut_code[size_t(k)] = c[size_t(w.cut_entry[size_t(k)]) * 4 + 1];
  w.ncut_indexed = ncut;
}

// True when entering node code H from node code C is forbidden, B being C's
// predecessor and A B's predecessor on the tree (0 where there is none).
bool cut_forbids(const SearchWork& w, int64_t A, int64_t B, int64_t C, int64_t H) {
  auto lo = std::lower_bound(w.cut_code.begin(), w.cut_code.end(), C);
  for (auto it = lo; it != w.cut_code.end() && *it == C; ++it) {
    const int64_t* e = w.cut_copy.data() + size_t(w.cut_entry[size_t(it - w.cut_code.begin())]) * 4;
    if (e[0] != H) continue;
    if (e[3] > 0) {
      if (e[3] == A && e[2] == B) return true;
    } else if (e[2] > 0) {
      if (e[2] == B) return true;
    } else {
      return true;
    }
  }
  return false;
}

}  // namespace

void DIJKSTRA(const SearchNet& net, int32_t origin_zone, int32_t origin_node, int LOG,
              int16_t KDEBUG, TreeTable& TREE, SearchWork& work, int16_t& unreached) {
  const NodeTable& NODTBL = net.NODTBL;
  const NetTable& table = net.table;
  const CutTable& LCUT = net.LCUT;
  const int32_t NNODE = net.NNODE, NCUT = net.NCUT, NZ = net.NZ;
  const std::array<int16_t, 11>& KSW = net.KSW;
  static const Format progress_fmt =
      Format::parse("(3X,'Search Home(',I4,') Zones =',I4,3X,'Nodes =',I7)");
  static const Format unreached_fmt = Format::parse("(2X,'From',I4,2X,'can not connect with',2I4)");

  unreached = 0;
  const int32_t nnode = std::min({NNODE, NODTBL.rows(), TREE.rows()});
  if (nnode <= 0) return;

  if (!size_work(work, nnode)) {
    say_line(LOG, " === SUBROUTINE DIJKSTRA ===");
    say(LOG, {" LIST(NODESZ) allocation error", 1});
    work.tree_object = nullptr;
    for (int32_t n = 1; n <= nnode; ++n) {
      TREE(n, 1) = NODTBL(n, 1);
      clear_row(TREE.row(n));
    }
    unreached = 9;
    return;
  }
  reset_tree(work, TREE, NODTBL, nnode);

  const int64_t* nod = NODTBL.row(1);
  int64_t* tree = TREE.row(1);
  const int64_t* links = table.rows() > 0 ? table.row(1) : nullptr;
  const size_t link_cols = size_t(table.cols());
  const int32_t nlinks = table.cols() >= 7 ? table.rows() : 0;
  int64_t* label = work.label.data();
  int32_t* state = work.state.data();
  int32_t* touched = work.touched.data();

  const int32_t ncut = LCUT.cols() == 4 ? std::clamp(NCUT, 0, LCUT.rows()) : 0;
  if (ncut > 0) {
    try {
      index_cuts(work, LCUT, ncut);
    } catch (const std::bad_alloc&) {
      say_line(LOG, " === SUBROUTINE DIJKSTRA ===");
      say(LOG, {" LCUT index allocation error", 1});
      unreached = 9;
      return;
    }
  }

  bool usable[11];
  for (int k = 1; k <= 10; ++k) usable[k] = KSW[size_t(k)] > 0;
  usable[0] = true;

  int32_t zones = 1;
  int32_t nfixed = 1;
  int32_t threshold = 0;
  int32_t last_fixed = 0;
  bool list_ran_empty = true;

  if (origin_node >= 1 && origin_node <= nnode) {
    int64_t* o = tree + size_t(origin_node - 1) * NODE_COLS;
    o[2] = 0;
    label[origin_node] = 0;
    state[origin_node] = FIXED;
    touched[work.ntouched++] = origin_node;
    work.last_origin = origin_node;
    last_fixed = origin_node;

    int32_t cur = origin_node;
    for (;;) {
      // Expand cur: relax its outgoing rows in row order.
      const int64_t* cn = nod + size_t(cur - 1) * NODE_COLS;
      const int64_t cur_label = label[cur];
      const int64_t cur_code = cn[0];
      int64_t first = std::max<int64_t>(cn[1], 1);
      int64_t last = std::min<int64_t>(cn[2], nlinks);
      const bool check_cuts = ncut > 0 && cn[4] > 0;
      int64_t pred_b = 0;
      int64_t pred_a = 0;
      if (check_cuts) {
        const int64_t* ct = tree + size_t(cur - 1) * NODE_COLS;
        pred_b = ct[1];
        if (ct[4] >= 1 && ct[4] <= nnode) pred_a = tree[size_t(ct[4] - 1) * NODE_COLS + 1];
      }
      for (int64_t r = first; r <= last; ++r) {
        const int64_t* lk = links + size_t(r - 1) * link_cols;
        const int64_t kind = lk[6];
        if (kind > 10 || (kind > 0 && !usable[kind])) continue;
        const int64_t h = lk[4];
        if (h < 1 || h > nnode) continue;
        if (state[h] == FIXED) continue;
        const int64_t imp = lk[3];
        // A label must stay below the unreached value.
        if (imp >= UNREACHED - cur_label) continue;
        const int64_t new_label = cur_label + imp;
        if (new_label > label[h]) continue;
        if (check_cuts &&
            cut_forbids(work, pred_a, pred_b, cur_code, nod[size_t(h - 1) * NODE_COLS]))
          continue;

        if (state[h] == 0) {
          touched[work.ntouched++] = int32_t(h);
          __builtin_prefetch(nod + size_t(h - 1) * NODE_COLS);  // read when h is fixed
          label[h] = new_label;
          int32_t pos = ++work.heap_size;
          work.heap[size_t(pos)] = SearchHeapEntry{new_label, int32_t(h)};
          sift_up(work, pos);
        } else if (new_label < label[h]) {
          label[h] = new_label;
          work.heap[size_t(state[h])].label = new_label;
          sift_up(work, state[h]);
        }
        // An equal label still replaces the predecessor: the later link wins.
        int64_t* t = tree + size_t(h - 1) * NODE_COLS;
        t[1] = cur_code;
        t[2] = new_label;
        t[3] = r;
        t[4] = cur;
      }

      // Fix the next node; centroids are fixed but never passed through.
      bool expand = false;
      while (work.heap_size > 0) {
        int32_t n = pop_min(work);
        if (work.heap_size > 0) {
          // The new top is likely the next node expanded: start loading its rows.
          const int64_t next_first = nod[size_t(work.heap[1].node - 1) * NODE_COLS + 1];
          if (next_first >= 1 && next_first <= nlinks)
            __builtin_prefetch(links + size_t(next_first - 1) * link_cols);
        }
        state[n] = FIXED;
        last_fixed = n;
        const bool centroid = nod[size_t(n - 1) * NODE_COLS + 3] > 0;
        if (centroid) ++zones;
        ++nfixed;
        if (NNODE > 30000 && zones >= threshold) {
          write_fmt(SCREEN, progress_fmt, {origin_zone, zones, nfixed});
          threshold += 50;
        }
        if (zones >= NZ || nfixed >= nnode) {
          list_ran_empty = false;
          break;
        }
        if (!centroid) {
          cur = n;
          expand = true;
          break;
        }
      }
      if (!expand) break;
    }
  }

  if (list_ran_empty) {
    for (int32_t n = 1; n <= nnode; ++n) {
      const int64_t* cn = nod + size_t(n - 1) * NODE_COLS;
      if (cn[3] > 0 && state[n] != FIXED) {
        unreached = 1;
        say_fmt(LOG, unreached_fmt, {origin_zone, cn[3], int32_t(0)});
      }
    }
    if (unreached != 0 && KDEBUG > 0) {
      say_line(LOG, " === SUBROUTINE DIJKSTRA ===");
      int64_t code =
          last_fixed > 0 ? nod[size_t(last_fixed - 1) * NODE_COLS] : int64_t(origin_zone);
      say(LOG, {" Can not found Node connected from", code});
    }
  }

  // Leave the work arrays clean for the next origin; the TREE rows stay as results.
  for (int32_t k = 0; k < work.ntouched; ++k) {
    int32_t n = touched[k];
    label[n] = UNREACHED;
    state[n] = 0;
  }
  work.heap_size = 0;
}

}  // namespace routava
