// Road link costs of a stage from lengths, speeds and tolls.
#include <algorithm>

#include "run/routines.hpp"

namespace routava {

namespace {

// Hundredths of a minute, held at the unreached value (a toll far below 0 too,
// which would not convert).
int64_t capped(float v) {
  if (!(v < float(UNREACHED))) return UNREACHED;
  return v > -float(UNREACHED) ? int64_t(v) : -UNREACHED;
}

}  // namespace

int road_link_costs(SharedTables& t, float TVALUE) {
  int without_speed = 0;
  for (int r = 1; r <= t.NLVT; ++r) {
    int64_t* row = t.LNKVT.row(r);
    if (field(row, LNK_KIND) > KIND_ROAD) continue;
    const int j = int(field(row, LNK_ROAD));
    if (j < 1 || j > t.NLROAD) continue;
    const float L = float(t.LINK(j, LINK_LENGTH));
    const float v = float(t.LINK(j, LINK_SPEED));
    const int tariff = t.LINK(j, LINK_TARIFF);
    if (v <= 0.0f) {
      // A link without speed has no finite time: keep it out of every path.
      field(row, LNK_IMPEDANCE) = UNREACHED;
      field(row, LNK_TIME) = 0;
      ++without_speed;
      continue;
    }
    const int64_t T = capped(L * 6.0f / v + 0.5f);
    field(row, LNK_IMPEDANCE) = T;
    field(row, LNK_TIME) = T;
    if (tariff >= 1 && tariff <= t.TARIFF.rows() && TVALUE > 0.0f) {
      const float money = t.TARIFF(tariff, TARIFF_PER_KM) * L / 1000.0f + t.TARIFF(tariff, TARIFF_FLAT);
      const int64_t toll = capped(money * 6000.0f / TVALUE + 0.5f);
      field(row, LNK_IMPEDANCE) = std::min<int64_t>(T + toll, UNREACHED);
    }
  }
  return without_speed;
}

int links_without_tariff(const SharedTables& t, int32_t& first) {
  int n = 0;
  first = 0;
  for (int j = 1; j <= t.NLROAD; ++j) {
    const int tariff = t.LINK(j, LINK_TARIFF);
    if (tariff < 1) continue;
    const bool listed = tariff <= t.TARIFF.rows() &&
                        (t.TARIFF(tariff, TARIFF_FLAT) != 0.0f || t.TARIFF(tariff, TARIFF_PER_KM) != 0.0f);
    if (listed) continue;
    if (n++ == 0) first = j;
  }
  return n;
}

}  // namespace routava
