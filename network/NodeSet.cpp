#include <algorithm>
#include <new>
#include <vector>

#include "network/ReadNetwork.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

namespace {

// Internal node numbers by code for a node table in strictly ascending code order,
// where a code has one row and the binary search finds exactly that row: an open
// addressing table finds it in a probe or two instead of seventeen.
class CodeIndex {
 public:
  // Empty (use the binary search) when the table cannot be allocated.
  CodeIndex(const NodeTable& NODTBL, int32_t NNODE) {
    size_t size = 16;
    while (size < 2 * size_t(std::max(NNODE, 0))) size *= 2;
    try {
      slots_.assign(size, Slot{});
    } catch (const std::bad_alloc&) {
      return;
    }
    mask_ = size - 1;
    for (int32_t n = 1; n <= NNODE; ++n) {
      const int64_t code = NODTBL(n, NOD_CODE);
      size_t i = slot_of(code);
      while (slots_[i].pos != 0) i = (i + 1) & mask_;
      slots_[i] = Slot{code, n};
    }
  }
  bool usable() const { return !slots_.empty(); }
  // The row holding code, or 0.
  int32_t find(int64_t code) const {
    for (size_t i = slot_of(code);; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.pos == 0 || s.code == code) return s.pos;
    }
  }

 private:
  struct Slot {
    int64_t code = 0;
    int32_t pos = 0;  // 0: empty
  };
  size_t slot_of(int64_t code) const {
    return size_t((uint64_t(code) * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
  }
  std::vector<Slot> slots_;
  size_t mask_ = 0;
};

// The warning of the node table: it stays a warning however often it is set.
void set_warning(int16_t& IERR) { IERR = std::max<int16_t>(IERR, 1); }

// The node table NODESET builds and the zones whose centroids it finds.
struct NodeTarget {
  NodeTable& NODTBL;
  int32_t& NNODE;
  CentTable& NCENT;
  int32_t NZ;
  const LinkTable& LINK;
  const Vec<int32_t>& LINKLINE;  // where each road link was read
};

// The line after a message about the to-node of a row: the Network.csv line of
// the road link that names it (transit rows name route nodes, not read there).
void say_link_place(const int64_t* row, const NodeTarget& t, int LOG) {
  const int64_t L = field(row, LNK_ROAD);
  if (L < 1 || L > std::min(t.LINK.rows(), t.LINKLINE.size()) || t.LINKLINE(int(L)) <= 0) return;
  const int32_t a = t.LINK(int(L), LINK_ANODE);
  const int32_t b = t.LINK(int(L), LINK_BNODE);
  if (field(row, LNK_FROM) != a || field(row, LNK_TO) != b) return;
  say(LOG, {"    in ", NETWORK_FILE, ", line", t.LINKLINE(int(L)), ": the link from", a, " to", b});
}

// Node rows for the from-nodes of rows 1..n, in row order; false (IERR 9) when
// there are more than the node table holds.
bool list_nodes(const NetTable& table, int32_t n, NodeTarget& t, int LOG, int16_t& IERR,
                bool& ascending) {
  static const Format sort_error = Format::parse("(' Sort Error',I7,'=>',I7)");
  int64_t p = 0;
  ascending = true;
  for (int32_t r = 1; r <= n; ++r) {
    const int64_t a = table(r, LNK_FROM);
    if (p > a) {
      say_fmt(LOG, sort_error, {p, a});
      ascending = false;
    }
    if (a == p) continue;
    ++t.NNODE;
    if (t.NNODE > NODESZ) {
      say(LOG, {" Number of Nodes is over", t.NNODE, NODESZ});
      IERR = 9;
      return false;
    }
    int64_t* node = t.NODTBL.row(t.NNODE);
    field(node, NOD_CODE) = a;
    field(node, NOD_FIRST) = r;
    field(node, NOD_LAST) = 0;
    field(node, NOD_ZONE) = 0;
    field(node, NOD_CUT) = 0;
    if (t.NNODE > 1) t.NODTBL(t.NNODE - 1, NOD_LAST) = r - 1;
    p = a;
  }
  if (t.NNODE == 0) return true;
  t.NODTBL(t.NNODE, NOD_LAST) = n;
  if (t.NODTBL(1, NOD_CODE) <= 0) {
    say_heading(LOG, "NODESET", 3);
    say_line(LOG, " Please check again NODE TABLE");
    say_line(LOG, " NODE code = 0 is found");
    set_warning(IERR);
  }
  return true;
}

// The internal number of every row's to-node (0 and a message when it has none).
void number_to_nodes(NetTable& table, int32_t n, const NodeTarget& t, bool ascending, int LOG,
                     int16_t& IERR) {
  static const Format no_dest = Format::parse("(' Can not find Dest Node',I11,3X,'in NODES')");
  static const Format at_row = Format::parse("(' at NTABLE(',I7,')',8I11)");
  // Out of order, a code may have several rows: only the binary search then
  // gives the row it always gave.
  const CodeIndex index = ascending ? CodeIndex(t.NODTBL, t.NNODE) : CodeIndex(t.NODTBL, 0);
  const bool hashed = ascending && index.usable();
  for (int32_t r = 1; r <= n; ++r) {
    int64_t* row = table.row(r);
    const int64_t to = field(row, LNK_TO);
    int16_t found = 0;
    int32_t pos = 0;
    if (hashed) {
      pos = index.find(to);
      found = pos != 0 ? 0 : 9;
    } else {
      NDSRCH(t.NODTBL, t.NNODE, to, found, pos);
    }
    field(row, LNK_TONODE) = pos;
    if (found != 0) {
      set_warning(IERR);
      say_fmt(LOG, no_dest, {to});
      say_fmt(LOG, at_row,
              {r, field(row, LNK_ROAD), field(row, LNK_FROM), to, field(row, LNK_IMPEDANCE), pos,
               field(row, LNK_TIME), field(row, LNK_KIND), field(row, LNK_LOAD)});
      say_link_place(row, t, LOG);
    }
  }
}

// The centroid of every zone, marked in the node table.
void find_centroids(NodeTarget& t, int LOG, int16_t& IERR) {
  // NCENT holds at most NZSIZE zones; a larger NZ has already been refused by GETNET.
  const int32_t nzone = std::min(t.NZ, t.NCENT.rows());
  for (int32_t z = 1; z <= nzone; ++z) {
    t.NCENT(z, CENT_NODE) = 0;
    int16_t found = 0;
    int32_t m = 0;
    NDSRCH(t.NODTBL, t.NNODE, t.NCENT(z, CENT_CODE), found, m);
    if (found == 0) {
      t.NCENT(z, CENT_NODE) = m;
      t.NODTBL(m, NOD_ZONE) = z;
    } else {
      say_heading(LOG, "NODESET", 3);
      say(LOG, {" Not connected Network with Centroid of Zone", z});
      set_warning(IERR);
    }
  }
}

void build_node_table(NetTable& table, int32_t n, NodeTarget t, int LOG, int16_t& IERR) {
  IERR = 0;
  t.NNODE = 0;
  bool ascending = true;
  if (!list_nodes(table, n, t, LOG, IERR, ascending)) return;
  number_to_nodes(table, n, t, ascending, LOG, IERR);
  find_centroids(t, LOG, IERR);
  say_line(LOG, " Node Table is completed.");
  OUTTIME(LOG);
}

}  // namespace

void NODESET(NetTable& table, int32_t n, SharedTables& t, int LOG, int16_t& IERR) {
  build_node_table(table, n, NodeTarget{t.NODTBL, t.NNODE, t.NCENT, t.NZ, t.LINK, t.LINKLINE}, LOG, IERR);
}

}  // namespace routava
