// Heap sort of the rows of a network table by one key column.
#include "run/routines.hpp"

namespace routava {

void HSORT(NetTable& A, int32_t N, int NCOL, int KEY) {
  constexpr int MAXCOL = 8;  // the row buffer holds one row of a network table
  if (N < 2 || N > A.rows() || NCOL < 1 || NCOL > MAXCOL || NCOL > A.cols() || KEY < 1 ||
      KEY > MAXCOL || KEY > A.cols())
    return;
  int64_t ROW[MAXCOL];
  auto take = [&](int32_t r) {
    const int64_t* src = A.row(r);
    for (int c = 0; c < NCOL; ++c) ROW[c] = src[c];
  };

  for (int32_t L = N / 2; L >= 1; --L) {
    take(L);
    HEAP(A, L, N, ROW, NCOL, KEY);
  }
  for (int32_t IR = N; IR >= 2; --IR) {
    take(IR);
    int64_t* last = A.row(IR);
    const int64_t* top = A.row(1);
    for (int c = 0; c < NCOL; ++c) last[c] = top[c];
    if (IR - 1 == 1) {
      int64_t* dst = A.row(1);
      for (int c = 0; c < NCOL; ++c) dst[c] = ROW[c];
      break;
    }
    HEAP(A, 1, IR - 1, ROW, NCOL, KEY);
  }
}

}  // namespace routava
