// After overfilled route sections were taken out of LNKPT: remove the
// boarding, alighting and transfer rows that now lead into a dead end.
#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {

// NODTBL as a plain index of from-node codes: code, first row, last row.
bool index_from_nodes(int32_t NLPT, const NetTable& LNKPT, int LOG, int32_t& NNODE,
                      NodeTable& NODTBL) {
  NNODE = 0;
  int64_t previous = 0;
  for (int32_t i = 1; i <= NLPT; ++i) {
    const int64_t code = LNKPT(i, LNK_FROM);
    if (code == previous) continue;  // the code before the first row counts as 0
    if (NNODE >= NODTBL.rows()) {
      say(LOG, {" Number of Nodes is over", NNODE + 1, int32_t(NODTBL.rows())});
      return false;
    }
    if (NNODE > 0) NODTBL(NNODE, NOD_LAST) = i - 1;
    ++NNODE;
    NODTBL(NNODE, NOD_CODE) = code;
    NODTBL(NNODE, NOD_FIRST) = i;
    NODTBL(NNODE, NOD_ZONE) = 0;
    NODTBL(NNODE, NOD_CUT) = 0;
    previous = code;
  }
  if (NNODE > 0) NODTBL(NNODE, NOD_LAST) = NLPT;
  return true;
}

void swap_rows(NetTable& t, int32_t a, int32_t b) {
  int64_t* x = t.row(a);
  int64_t* y = t.row(b);
  std::swap_ranges(x, x + t.cols(), y);
}

}  // namespace

void CUTGETON(SharedTables& t, int LOG, int16_t& IERR) {
  int32_t& NLPT = t.NLPT;
  NetTable& LNKPT = t.LNKPT;
  int32_t& NNODE = t.NNODE;
  NodeTable& NODTBL = t.NODTBL;
  IERR = 0;
  std::vector<uint8_t> NFLAG;  // [1..NLPT]: 1 when the row's to-node has no leaving row
  try {
    NFLAG.assign(size_t(LKSIZE) + 1, 0);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, "CutGetOn", " NFLAG(LKSIZE) allocation error", IERR);
    return;
  }

  HSORT(LNKPT, NLPT, LNK_COLS, LNK_FROM);
  if (!index_from_nodes(NLPT, LNKPT, LOG, NNODE, NODTBL)) {
    raise_level(IERR, 9);
    return;
  }

  for (int32_t i = 1; i <= NLPT; ++i) {
    int32_t pos = 0;
    int16_t found = 9;
    if (NNODE > 0) NDSRCH(NODTBL, NNODE, LNKPT(i, LNK_TO), found, pos);
    if (found == 0 && pos > 0) {
      LNKPT(i, LNK_TONODE) = pos;
      NFLAG[size_t(i)] = 0;
    } else {
      NFLAG[size_t(i)] = 1;
    }
  }

  // The flags were set before any removal, so a removal makes no further dead ends
  // here; the row exchanged into place i is examined before i moves on.
  for (int32_t i = 1; i <= NLPT; ++i) {
    while (i <= NLPT && LNKPT(i, LNK_ROAD) <= 0 && NFLAG[size_t(i)] == 1) {
      swap_rows(LNKPT, i, NLPT);
      std::swap(NFLAG[size_t(i)], NFLAG[size_t(NLPT)]);
      --NLPT;
    }
  }
}

}  // namespace routava
