// "Transit Operations.csv": per route its headways, busiest section, mean
// section load and the stops with the most boardings, alightings and transfers.
#include <algorithm>
#include <cerrno>
#include <new>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {


// The header is kept exactly as the file has always had it.
constexpr const char* OPERATIONS_HEADER =
    " Route ID,Mode,Initial Headway,Final Headway,A-Node,B-Node,Max Passengers,Sections,"
    "Average Paasengers,Node,Max Get-On,Node,Max Transfer On,Node,Max Get-Off,Node,"
    "Max Transfer Off,Flat Tariff,Distance Tariff,";
constexpr const char* OPERATIONS_FORMAT =
    "(\" \",I4,1H,,I2,1H,,2(F6.2,1H,),2(I5,1H,),I7,1H,,I3,1H,,F9.1,1H,,4(I5,1H,,I7,1H,),"
    "2(F7.1,1H,))";

// Columns of NPAS and NODE.
enum : int { SUM = 1, SECTION = 2, GET_ON = 3, TRANSFER_ON = 4, GET_OFF = 5, TRANSFER_OFF = 6 };

void say_alloc(int LOG, const char* what, int16_t& IERR) {
  say_line(LOG, " === SUBROUTINE BusOpeOut =======");
  say(LOG, {what, ALLOC_STATUS});
  IERR = int16_t(IERR >= 9 ? IERR + 9 : 9);
}

}  // namespace

void BUSOPEOUT(int16_t /*KDEBUG*/, int16_t& IERR, int LOG, const std::string& FNAME1, int32_t NROUTE,
               int32_t NLPT, const NetTable& LNKPT, const Vec<int16_t>& RTMODE,
               const Vec<float>& RTFREQ, const Vec<float>& RTFREQ0, const RealTable& RTFARE) {
  if (NROUTE <= 0) return;
  IERR = 0;
  const int32_t nroute = std::min<int32_t>(NROUTE, RTMODE.size());
  Vec<int16_t> NSEC;
  Table<int64_t> NODE, NPAS;  // NODE(q,1..2) section ends; NODE(q,3..6) stops; NPAS(q,1) sum
  try {
    NSEC.resize(nroute, 0);
  } catch (const std::bad_alloc&) {
    say_alloc(LOG, " NSEC(LB) allocation error", IERR);
  }
  try {
    NODE.resize(nroute, 6);
  } catch (const std::bad_alloc&) {
    say_alloc(LOG, " NODE(LB,6) allocation error", IERR);
  }
  try {
    NPAS.resize(nroute, 6);
  } catch (const std::bad_alloc&) {
    say_alloc(LOG, " NPAS(LB,6) allocation error", IERR);
  }
  if (IERR >= 9) return;

  // Only a strictly larger load moves the maximum: the first row met keeps ties.
  auto keep_largest = [&](int32_t q, int col, int64_t load, int64_t node) {
    if (load > NPAS(q, col)) {
      NPAS(q, col) = load;
      NODE(q, col) = node;
    }
  };
  auto in_range = [&](int64_t q) { return q >= 1 && q <= nroute; };

  for (int32_t r = 1; r <= NLPT; ++r) {
    const int64_t j = LNKPT(r, 1);
    const int64_t A = LNKPT(r, 2), B = LNKPT(r, 3), V = LNKPT(r, 8);
    const int64_t qa = A / ROUTE_BASE, qb = B / ROUTE_BASE;
    const int64_t a_stop = A - qa * ROUTE_BASE, b_stop = B - qb * ROUTE_BASE;
    if (j > 0 && qa >= 1 && qb >= 1) {
      if (!in_range(qb)) continue;
      const int32_t q = int32_t(qb);
      NSEC(q) = int16_t(NSEC(q) + 1);
      NPAS(q, SUM) += V;
      if (V > NPAS(q, SECTION)) {
        NPAS(q, SECTION) = V;
        NODE(q, 1) = a_stop;
        NODE(q, 2) = b_stop;
      }
    } else if (j == 0 && qa == 0 && qb >= 1) {
      if (in_range(qb)) keep_largest(int32_t(qb), GET_ON, V, b_stop);
    } else if (j == 0 && qa >= 1 && qb == 0) {
      if (in_range(qa)) keep_largest(int32_t(qa), GET_OFF, V, a_stop);
    } else if (j == 0 && qa >= 1 && qb >= 1) {
      if (in_range(qb)) keep_largest(int32_t(qb), TRANSFER_ON, V, b_stop);
      if (in_range(qa)) keep_largest(int32_t(qa), TRANSFER_OFF, V, a_stop);
    }
  }

  const int unit = free_unit();
  const std::string name(trim(FNAME1));
  if (!open_write(unit, name)) {
    say_line(LOG, " === SUBROUTINE BusOpeOut =======");
    say_line(LOG, " *** Error *** Can not create the file " + name);
    IERR = 9;
    return;
  }
  const Format record = Format::parse(OPERATIONS_FORMAT);
  write_line(unit, OPERATIONS_HEADER);
  for (int32_t q = 1; q <= nroute; ++q) {
    const float average = NSEC(q) > 0 ? float(NPAS(q, SUM)) / float(NSEC(q)) : 0.0f;
    write_fmt(unit, record,
              {int32_t(q), RTMODE(q), RTFREQ0(q), RTFREQ(q), NODE(q, 1), NODE(q, 2), NPAS(q, SECTION),
               NSEC(q), average, NODE(q, GET_ON), NPAS(q, GET_ON), NODE(q, TRANSFER_ON),
               NPAS(q, TRANSFER_ON), NODE(q, GET_OFF), NPAS(q, GET_OFF), NODE(q, TRANSFER_OFF),
               NPAS(q, TRANSFER_OFF), RTFARE(q, 1), RTFARE(q, 2)});
  }
  close_unit(unit);
}

}  // namespace routava
