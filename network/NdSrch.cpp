// Binary search of a node code in the node table, which is in ascending code order.
#include "run/routines.hpp"

namespace routava {

void NDSRCH(const NodeTable& NODTBL, int32_t NNODE, int64_t code, int16_t& IERR, int32_t& pos) {
  IERR = 0;
  int32_t lo = 1;
  int32_t hi = NNODE;  // an empty table finds nothing
  while (lo <= hi) {
    const int32_t mid = (lo + hi) / 2;
    const int64_t v = NODTBL(mid, NOD_CODE);
    if (v == code) {
      pos = mid;
      return;
    }
    if (code > v) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  IERR = 9;
  pos = 0;
}

}  // namespace routava
