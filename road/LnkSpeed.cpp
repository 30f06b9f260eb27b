// Link speeds from the accumulated volumes through the speed-flow curves.
#include <algorithm>
#include <cmath>
#include <limits>

#include "run/routines.hpp"

namespace routava {

namespace {

// Integer part of v + 0.5, kept inside the column's range whatever a curve holds.
int32_t rounded_speed(float v) {
  float r = v + 0.5f;
  if (std::isnan(r)) return 0;
  if (r >= 2147483520.0f) return std::numeric_limits<int32_t>::max();
  if (r <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return int32_t(r);
}

}  // namespace

void LNKSPEED(int32_t NLROAD, LinkTable& LINK, const RealTable& QVTAB) {
  const int32_t n = std::min(NLROAD, LINK.rows());
  for (int32_t i = 1; i <= n; ++i) {
    int32_t* link = LINK.row(i);
    const int32_t c = field(link, LINK_CHARACTER);
    const int32_t q = field(link, LINK_QVTYPE);
    if (c >= 9 || q <= 0) continue;
    float V = 0.0f;
    if (q <= QVTAB.rows()) {  // a type beyond the table is an undefined curve
      const float V1 = QVTAB(q, QV_V1);
      const float V2 = QVTAB(q, QV_V2);
      const float V3 = QVTAB(q, QV_V3);
      const float Q1 = QVTAB(q, QV_Q1);
      const float Q2 = QVTAB(q, QV_Q2);
      const float Q = float(field(link, LINK_VOLUME));
      if (c <= 0) {
        V = V1;
      } else if (Q <= Q1) {
        V = Q1 > 0.0f ? V1 - (V1 - V2) * Q / Q1 : V1;
      } else if (Q <= Q2) {
        V = Q2 > Q1 ? V2 - (V2 - V3) * (Q - Q1) / (Q2 - Q1) : V2;
      } else {
        V = V3;
      }
    }
    field(link, LINK_SPEED) = rounded_speed(V);
  }
}

}  // namespace routava
