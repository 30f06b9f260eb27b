#include <algorithm>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

void NODESET(int32_t n, int32_t NZ, int LOG, NetTable& table, CentTable& NCENT, int16_t& IERR,
             int32_t& NNODE, NodeTable& NODTBL) {
  static const Format sort_error = Format::parse("(' Sort Error',I7,'=>',I7)");
  static const Format no_dest = Format::parse("(' Can not find Dest Node',I11,3X,'in NODES')");
  static const Format at_row = Format::parse("(' at NTABLE(',I7,')',8I11)");
  constexpr int16_t WARNING = 1;

  IERR = 0;
  NNODE = 0;
  int64_t p = 0;
  for (int32_t r = 1; r <= n; ++r) {
    const int64_t a = table(r, 2);
    if (p > a) say_fmt(LOG, sort_error, {p, a});
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

  for (int32_t r = 1; r <= n; ++r) {
    int64_t* row = table.row(r);
    int16_t found = 0;
    int32_t pos = 0;
    NDSRCH(NODTBL, NNODE, 1, row[2], LOG, found, pos);
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
