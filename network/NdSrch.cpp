#include "run/routines.hpp"

namespace routava {

void NDSRCH(const NodeTable& NODTBL, int32_t NNODE, int k, int64_t code, int /*LOG*/,
            int16_t& IERR, int32_t& pos) {
  IERR = 0;
  int32_t lo = 1;
  int32_t hi = NNODE;  // an empty table finds nothing
  while (lo <= hi) {
    const int32_t mid = (lo + hi) / 2;
    const int64_t v = NODTBL(mid, k);
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
