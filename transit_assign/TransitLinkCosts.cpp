// Transit link costs of a stage: waits, running times and fares.
#include "run/routines.hpp"

namespace routava {

namespace {

// A cost far beyond any path is held at UNREACHED (a fare, headway, time value or
// speed reduction far out would otherwise wrap around in the path search); the
// caller is told how many rows were held.
struct Bound {
  int32_t held = 0;
  int64_t operator()(float v) {
    if (v < float(UNREACHED) && v > -float(UNREACHED)) return int64_t(v);
    ++held;
    return v < 0.0f ? -UNREACHED : UNREACHED;
  }
  int64_t sum(int64_t a, int64_t b) {
    if (a + b <= UNREACHED) return a + b;
    ++held;
    return UNREACHED;
  }
};

// A fare in hundredths of a minute from `scaled`, the money already multiplied into
// time units: scaled / TVALUE rounded, and free at a stage without time value.
float fare_time(float scaled, float TVALUE) { return TVALUE > 0.0f ? scaled / TVALUE + 0.5f : 0.0f; }

// Boarding, alighting and transfer rows (no road link): the wait, and the flat
// fare on boarding.
void boarding_cost(SharedTables& t, int64_t* row, int16_t MODEPT, float TVALUE, Bound& bound) {
  const int qa = route_part(field(row, LNK_FROM));
  const int qb = route_part(field(row, LNK_TO));
  if (!is_route_id(qb)) return;
  const float fare = fare_time(t.RTFARE(qb, FARE_FLAT) * 6000.0f, TVALUE);
  if (MODEPT == 3) {
    const int64_t W = bound(t.RTFREQ(qb) * 50.0f);
    if (qa == 0) {
      field(row, LNK_IMPEDANCE) = bound.sum(W, bound(fare));
      field(row, LNK_TIME) = W;
    } else if (qa > 0) {
      field(row, LNK_IMPEDANCE) = W;
      field(row, LNK_TIME) = W;
    }
  } else if (qa <= 0) {
    // A stage without time value boards at the pure wait.
    field(row, LNK_IMPEDANCE) = bound.sum(field(row, LNK_TIME), bound(fare));
  }
}

// A route section on road link j: its running time and distance fare.
void section_cost(SharedTables& t, int64_t* row, int j, float TVALUE, Bound& bound) {
  const int qa = route_part(field(row, LNK_FROM));
  const int m = int(field(row, LNK_KIND));
  const float L = float(t.LINK(j, LINK_LENGTH));
  if (m >= 7) {
    const float fare = fare_time(L * t.RTFARE(qa, FARE_PER_KM) * 6.0f, TVALUE);
    field(row, LNK_IMPEDANCE) = bound.sum(field(row, LNK_TIME), bound(fare));
    return;
  }
  const float v = float(t.LINK(j, LINK_SPEED));
  const float f = t.MODTAB(m, MODE_RED);
  if (v > 0.0f && f > 0.0f) {
    const int64_t T = bound(L * 6.0f / (v * f) + 0.5f);
    if (T > field(row, LNK_TIME)) field(row, LNK_TIME) = T;  // running times only grow from stage to stage
  }
  const float fare = fare_time(t.RTFARE(qa, FARE_PER_KM) * L * 6.0f, TVALUE);
  field(row, LNK_IMPEDANCE) = bound.sum(field(row, LNK_TIME), bound(fare));
}

}  // namespace

int32_t transit_link_costs(SharedTables& t, int16_t MODEPT, float TVALUE) {
  Bound bound;
  for (int r = 1; r <= t.NLPT; ++r) {
    int64_t* row = t.LNKPT.row(r);
    const int j = int(field(row, LNK_ROAD));
    const int qa = route_part(field(row, LNK_FROM));
    const int m = int(field(row, LNK_KIND));
    if (j <= 0) {
      boarding_cost(t, row, MODEPT, TVALUE, bound);
    } else if (j <= t.NLROAD && qa > 0 && is_route_id(qa) && m > 0 && m <= NVTYPE) {
      section_cost(t, row, j, TVALUE, bound);
    }
  }
  return bound.held;
}

}  // namespace routava
