// Link costs of a stage: road times and tolls, transit waits, running times and fares.
#include <algorithm>

#include "run/routines.hpp"

namespace routava {

// Road link costs in hundredths of a minute from length, speed and toll.
int road_link_costs(SharedTables& t, float TVALUE) {
  int without_speed = 0;
  for (int r = 1; r <= t.NLVT; ++r) {
    int64_t* row = t.LNKVT.row(r);
    if (row[6] > 0) continue;
    int j = int(row[0]);
    if (j < 1 || j > t.NLROAD) continue;
    float L = float(t.LINK(j, 7));
    float v = float(t.LINK(j, 8));
    int tariff = t.LINK(j, 6);
    if (v <= 0.0f) {
      // A link without speed has no finite time: keep it out of every path.
      row[3] = UNREACHED;
      row[5] = 0;
      ++without_speed;
      continue;
    }
    float time = L * 6.0f / v + 0.5f;
    int64_t T = time >= float(UNREACHED) ? UNREACHED : int64_t(time);
    row[3] = T;
    row[5] = T;
    if (tariff >= 1 && tariff <= t.TARIFF.rows() && TVALUE > 0.0f) {
      float toll = (t.TARIFF(tariff, 2) * L / 1000.0f + t.TARIFF(tariff, 1)) * 6000.0f / TVALUE + 0.5f;
      int64_t add = toll >= float(UNREACHED) ? UNREACHED : int64_t(toll);
      row[3] = std::min<int64_t>(row[3] + add, UNREACHED);
    }
  }
  return without_speed;
}


// Transit link costs for the stage's time value and the current road speeds.
void transit_link_costs(SharedTables& t, int16_t MODEPT, float TVALUE) {
  for (int r = 1; r <= t.NLPT; ++r) {
    int64_t* row = t.LNKPT.row(r);
    int j = int(row[0]);
    int m = int(row[6]);
    int qa = route_part(row[1]);
    int qb = route_part(row[2]);
    if (j <= 0) {
      if (!is_route_id(qb)) continue;
      float fare = TVALUE > 0.0f ? t.RTFARE(qb, 1) * 6000.0f / TVALUE + 0.5f : 0.0f;
      if (MODEPT == 3) {
        int64_t W = int64_t(t.RTFREQ(qb) * 50.0f);
        if (qa == 0) {
          row[3] = W + int64_t(fare);
          row[5] = W;
        } else if (qa > 0) {
          row[3] = W;
          row[5] = W;
        }
      } else if (qa <= 0) {
        // A stage without time value boards at the pure wait.
        row[3] = row[5] + int64_t(fare);
      }
      continue;
    }
    if (j > t.NLROAD || qa <= 0 || !is_route_id(qa) || m <= 0 || m > NVTYPE) continue;
    float L = float(t.LINK(j, 7));
    if (m >= 7) {
      float fare = TVALUE > 0.0f ? L * t.RTFARE(qa, 2) * 6.0f / TVALUE + 0.5f : 0.0f;
      row[3] = row[5] + int64_t(fare);
      continue;
    }
    float v = float(t.LINK(j, 8));
    float f = t.MODTAB(m, 6);
    if (v > 0.0f && f > 0.0f) {
      int64_t T = int64_t(L * 6.0f / (v * f) + 0.5f);
      if (T > row[5]) row[5] = T;  // running times only grow from stage to stage
    }
    float fare = TVALUE > 0.0f ? t.RTFARE(qa, 2) * L * 6.0f / TVALUE + 0.5f : 0.0f;
    row[3] = row[5] + int64_t(fare);
  }
}

}  // namespace routava
