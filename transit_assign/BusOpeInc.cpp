// Transit loading mode 3: the extra buses that the loads of the last transit
// stage call for, added to the road links as PCU.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {


int32_t truncate_to_int(float x) {
  if (!std::isfinite(x)) return 0;
  return int32_t(std::clamp(double(x), double(std::numeric_limits<int32_t>::min()),
                            double(std::numeric_limits<int32_t>::max())));
}

}  // namespace

void BUSOPEINC(int16_t /*KDEBUG*/, int16_t& IERR, int LOG, int32_t NROUTE, int32_t /*NLROAD*/,
               int32_t NLPT, LinkTable& LINK, const NetTable& LNKPT, const RealTable& MODTAB,
               const Vec<int16_t>& RTMODE, const Vec<float>& RTFREQ) {
  IERR = 0;
  const int32_t nroute = std::clamp<int32_t>(NROUTE, 0, RTMODE.size());
  std::vector<float> BUSPAS, BUSPCU;  // [1..NROUTE]: largest section load, extra PCU
  try {
    BUSPAS.assign(size_t(nroute) + 1, 0.0f);
  } catch (const std::bad_alloc&) {
    say_line(LOG, " === SUBROUTINE BusOpeInc =======");
    say(LOG, {" BUSPAS(LB) allocation error", ALLOC_STATUS});
    IERR = 9;
  }
  try {
    BUSPCU.assign(size_t(nroute) + 1, 0.0f);
  } catch (const std::bad_alloc&) {
    say_line(LOG, " === SUBROUTINE BusOpeInc =======");
    say(LOG, {" BUSPCU(LB) allocation error", ALLOC_STATUS});
    IERR = int16_t(IERR + 9);
  }
  if (IERR >= 9) return;

  // A route node's code carries its route: code div ROUTE_BASE.
  auto section_route = [&](int32_t r) -> int32_t {
    const int64_t j = LNKPT(r, 1);
    const int64_t q = LNKPT(r, 3) / ROUTE_BASE;
    return (j > 0 && q > 0 && q <= nroute) ? int32_t(q) : 0;
  };

  for (int32_t r = 1; r <= NLPT; ++r) {
    const int32_t q = section_route(r);
    if (q > 0) BUSPAS[size_t(q)] = std::max(BUSPAS[size_t(q)], float(LNKPT(r, 8)));
  }

  for (int32_t q = 1; q <= nroute; ++q) {
    const int m = RTMODE(q);
    if (m < 1 || m > NVTYPE) continue;
    const float pcu = MODTAB(m, 1), max_pass = MODTAB(m, 3), hours = MODTAB(m, 4);
    const float min_headway = MODTAB(m, 7);
    const float load = BUSPAS[size_t(q)];
    if (!(min_headway > 0 && hours > 0 && pcu > 0 && max_pass > 0 && load > 0)) continue;
    // The headway at which the route's capacity over the period equals its largest load.
    const float H = max_pass * hours * 60.0f / load;
    const float headway = RTFREQ(q);
    if (H > headway) continue;
    const float new_headway = std::max(H, min_headway);
    // A minimum headway above the current one calls for no buses: never fewer than run now.
    if (new_headway > 0 && headway > 0 && new_headway < headway) {
      BUSPCU[size_t(q)] = (60.0f / new_headway - 60.0f / headway) * pcu * hours;
    }
  }

  for (int32_t r = 1; r <= NLPT; ++r) {
    const int32_t q = section_route(r);
    const int64_t j = LNKPT(r, 1);
    if (q == 0 || LNKPT(r, 7) > 6 || j > LINK.rows()) continue;  // rail modes load no road
    LINK(int32_t(j), 9) += truncate_to_int(BUSPCU[size_t(q)] + 0.4999f);
  }
}

}  // namespace routava
