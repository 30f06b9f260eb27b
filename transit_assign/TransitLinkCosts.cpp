// Transit link costs of a stage: waits, running times and fares.
#include "run/routines.hpp"

namespace routava {

namespace {

// A fare in hundredths of a minute from `scaled`, the money already multiplied into
// time units: scaled / TVALUE rounded, and free at a stage without time value.
float fare_time(float scaled, float TVALUE) { return TVALUE > 0.0f ? scaled / TVALUE + 0.5f : 0.0f; }

// Boarding, alighting and transfer rows (no road link): the wait, and the flat
// fare on boarding.
void boarding_cost(SharedTables& t, int64_t* row, int16_t MODEPT, float TVALUE) {
  const int qa = route_part(field(row, LNK_FROM));
  const int qb = route_part(field(row, LNK_TO));
  if (!is_route_id(qb)) return;
  const float fare = fare_time(t.RTFARE(qb, FARE_FLAT) * 6000.0f, TVALUE);
  if (MODEPT == 3) {
    const int64_t W = int64_t(t.RTFREQ(qb) * 50.0f);
    if (qa == 0) {
      field(row, LNK_IMPEDANCE) = W + int64_t(fare);
      field(row, LNK_TIME) = W;
    } else if (qa > 0) {
      field(row, LNK_IMPEDANCE) = W;
      field(row, LNK_TIME) = W;
    }
  } else if (qa <= 0) {
    // A stage without time value boards at the pure wait.
    field(row, LNK_IMPEDANCE) = field(row, LNK_TIME) + int64_t(fare);
  }
}

// A route section on road link j: its running time and distance fare.
void section_cost(SharedTables& t, int64_t* row, int j, float TVALUE) {
  const int qa = route_part(field(row, LNK_FROM));
  const int m = int(field(row, LNK_KIND));
  const float L = float(t.LINK(j, LINK_LENGTH));
  if (m >= 7) {
    const float fare = fare_time(L * t.RTFARE(qa, FARE_PER_KM) * 6.0f, TVALUE);
    field(row, LNK_IMPEDANCE) = field(row, LNK_TIME) + int64_t(fare);
    return;
  }
  const float v = float(t.LINK(j, LINK_SPEED));
  const float f = t.MODTAB(m, MODE_RED);
  if (v > 0.0f && f > 0.0f) {
    const int64_t T = int64_t(L * 6.0f / (v * f) + 0.5f);
    if (T > field(row, LNK_TIME)) field(row, LNK_TIME) = T;  // running times only grow from stage to stage
  }
  const float fare = fare_time(t.RTFARE(qa, FARE_PER_KM) * L * 6.0f, TVALUE);
  field(row, LNK_IMPEDANCE) = field(row, LNK_TIME) + int64_t(fare);
}

}  // namespace

void transit_link_costs(SharedTables& t, int16_t MODEPT, float TVALUE) {
  for (int r = 1; r <= t.NLPT; ++r) {
    int64_t* row = t.LNKPT.row(r);
    const int j = int(field(row, LNK_ROAD));
    const int qa = route_part(field(row, LNK_FROM));
    const int m = int(field(row, LNK_KIND));
    if (j <= 0) {
      boarding_cost(t, row, MODEPT, TVALUE);
    } else if (j <= t.NLROAD && qa > 0 && is_route_id(qa) && m > 0 && m <= NVTYPE) {
      section_cost(t, row, j, TVALUE);
    }
  }
}

}  // namespace routava
