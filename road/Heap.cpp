// Sift-down step of the heap sort: places the row held in ROW into rows L..IR.
#include "run/routines.hpp"

namespace routava {

void HEAP(NetTable& A, int32_t L, int32_t IR, int64_t* ROW, int NCOL, int KEY) {
  const int64_t key = ROW[KEY - 1];
  int32_t i = L;
  int32_t j = 2 * L;
  while (j <= IR) {
    // On equal keys the left child stays.
    if (j < IR && A(j, KEY) < A(j + 1, KEY)) ++j;
    if (A(j, KEY) <= key) break;
    int64_t* dst = A.row(i);
    const int64_t* src = A.row(j);
    for (int c = 0; c < NCOL; ++c) dst[c] = src[c];
    i = j;
    j = 2 * j;
  }
  int64_t* dst = A.row(i);
  for (int c = 0; c < NCOL; ++c) dst[c] = ROW[c];
}

}  // namespace routava
