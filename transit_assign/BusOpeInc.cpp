// Transit loading mode 3: the extra buses that the loads of the last transit
// stage call for, added to the road links as PCU.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {

constexpr std::string_view NAME = "BusOpeInc";

int32_t truncate_to_int(float x) {
  if (!std::isfinite(x)) return 0;
  return int32_t(std::clamp(double(x), double(std::numeric_limits<int32_t>::min()),
                            double(std::numeric_limits<int32_t>::max())));
}

// The route of a section row (a row riding a road link), 0 for any other row.
int32_t section_route(const NetTable& LNKPT, int32_t r, int32_t nroute) {
  const int64_t j = LNKPT(r, LNK_ROAD);
  const int64_t q = route_part(LNKPT(r, LNK_TO));
  return (j > 0 && q > 0 && q <= nroute) ? int32_t(q) : 0;
}

// The PCU over the period of the buses route q needs beyond its current
// headway for its largest section load, 0 when it has enough.
float extra_pcu(const SharedTables& t, int32_t q, float load) {
  const int m = t.RTMODE(q);
  if (m < 1 || m > NVTYPE) return 0.0f;
  const float pcu = t.MODTAB(m, MODE_PCU), max_pass = t.MODTAB(m, MODE_MAX);
  const float hours = t.MODTAB(m, MODE_HOURS), min_headway = t.MODTAB(m, MODE_MINHD);
  if (!(min_headway > 0 && hours > 0 && pcu > 0 && max_pass > 0 && load > 0)) return 0.0f;
  // The headway at which the route's capacity over the period equals its largest load.
  const float H = max_pass * hours * 60.0f / load;
  const float headway = t.RTFREQ(q);
  if (H > headway) return 0.0f;
  const float new_headway = std::max(H, min_headway);
  // A minimum headway above the current one calls for no buses: never fewer than run now.
  if (!(new_headway > 0 && headway > 0 && new_headway < headway)) return 0.0f;
  return (60.0f / new_headway - 60.0f / headway) * pcu * hours;
}

}  // namespace

void BUSOPEINC(SharedTables& t, int LOG, int16_t& IERR) {
  IERR = 0;
  const int32_t nroute = std::clamp<int32_t>(t.NROUTE, 0, t.RTMODE.size());
  std::vector<float> BUSPAS, BUSPCU;  // [1..NROUTE]: largest section load, extra PCU
  try {
    BUSPAS.assign(size_t(nroute) + 1, 0.0f);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, NAME, " BUSPAS(LB) allocation error", IERR);
  }
  try {
    BUSPCU.assign(size_t(nroute) + 1, 0.0f);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, NAME, " BUSPCU(LB) allocation error", IERR);
  }
  if (IERR >= 9) return;

  const NetTable& LNKPT = t.LNKPT;
  for (int32_t r = 1; r <= t.NLPT; ++r) {
    const int32_t q = section_route(LNKPT, r, nroute);
    if (q > 0) BUSPAS[size_t(q)] = std::max(BUSPAS[size_t(q)], float(LNKPT(r, LNK_LOAD)));
  }
  for (int32_t q = 1; q <= nroute; ++q) BUSPCU[size_t(q)] = extra_pcu(t, q, BUSPAS[size_t(q)]);

  for (int32_t r = 1; r <= t.NLPT; ++r) {
    const int32_t q = section_route(LNKPT, r, nroute);
    const int64_t j = LNKPT(r, LNK_ROAD);
    if (q == 0 || LNKPT(r, LNK_KIND) > 6 || j > t.LINK.rows()) continue;  // rail modes load no road
    t.LINK(int32_t(j), LINK_VOLUME) += truncate_to_int(BUSPCU[size_t(q)] + 0.4999f);
  }
}

}  // namespace routava
