#include <algorithm>
#include <new>
#include <vector>

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
      const int64_t code = NODTBL(n, 1);
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

}  // namespace

void NODESET(int32_t n, int32_t NZ, int LOG, NetTable& table, CentTable& NCENT, int16_t& IERR,
             int32_t& NNODE, NodeTable& NODTBL) {
  static const Format sort_error = Format::parse("(' Sort Error',I7,'=>',I7)");
  static const Format no_dest = Format::parse("(' Can not find Dest Node',I11,3X,'in NODES')");
  static const Format at_row = Format::parse("(' at NTABLE(',I7,')',8I11)");
  constexpr int16_t WARNING = 1;

  IERR = 0;
  NNODE = 0;
  int64_t p = 0;
  bool ascending = true;
  for (int32_t r = 1; r <= n; ++r) {
    const int64_t a = table(r, 2);
    if (p > a) {
      say_fmt(LOG, sort_error, {p, a});
      ascending = false;
    }
    if (a != p) {
      ++NNODE;
      if (NNODE > NODESZ) {
        say(LOG, {" Number of Nodes is over", NNODE, NODESZ});
        IERR = 9;
        return;
      }
      int64_t* node = NODTBL.row(NNODE);
      node[0] = a;
      node[1] = r;
      node[2] = 0;
      node[3] = 0;
      node[4] = 0;
      if (NNODE > 1) NODTBL(NNODE - 1, 3) = r - 1;
      p = a;
    }
  }
  if (NNODE > 0) {
    NODTBL(NNODE, 3) = n;
    if (NODTBL(1, 1) <= 0) {
      say_line(LOG, " === SUBROUTINE NODESET ===");
      say_line(LOG, " Please check again NODE TABLE");
      say_line(LOG, " NODE code = 0 is found");
      IERR = WARNING;
    }
  }

  // Out of order, a code may have several rows: only the binary search then
  // gives the row the design means.
  const CodeIndex index = ascending ? CodeIndex(NODTBL, NNODE) : CodeIndex(NODTBL, 0);
  const bool hashed = ascending && index.usable();
  for (int32_t r = 1; r <= n; ++r) {
    int64_t* row = table.row(r);
    int16_t found = 0;
    int32_t pos = 0;
    if (hashed) {
      pos = index.find(row[2]);
      found = pos != 0 ? 0 : 9;
    } else {
      NDSRCH(NODTBL, NNODE, 1, row[2], LOG, found, pos);
    }
    row[4] = pos;
    if (found != 0) {
      IERR = std::max(IERR, WARNING);
      say_fmt(LOG, no_dest, {row[2]});
      say_fmt(LOG, at_row, {r, row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7]});
    }
  }

  // NCENT holds at most NZSIZE zones; a larger NZ has already been refused by GETNET.
  const int32_t nzone = std::min(NZ, NCENT.rows());
  for (int32_t z = 1; z <= nzone; ++z) {
    NCENT(z, 2) = 0;
    int16_t found = 0;
    int32_t m = 0;
    NDSRCH(NODTBL, NNODE, 1, NCENT(z, 1), LOG, found, m);
    if (found == 0) {
      NCENT(z, 2) = m;
      NODTBL(m, 4) = z;
    } else {
      say_line(LOG, " === SUBROUTINE NODESET ===");
      say(LOG, {" Not connected Network with Centroid of Zone", z});
      IERR = std::max(IERR, WARNING);
    }
  }

  say_line(LOG, " Node Table is completed.");
  OUTTIME(LOG);
}

}  // namespace routava
