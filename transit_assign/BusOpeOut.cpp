// "Transit Operations.csv": per route its headways, busiest section, mean
// section load and the stops with the most boardings, alightings and transfers.
#include <algorithm>
#include <new>
#include <string>
#include <string_view>

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

// Columns of NPAS and NODE. NODE keeps the ends of the largest section in
// SECTION_A and SECTION_B, and the stop of each largest boarding, transfer and alighting.
enum : int { SUM = 1, SECTION = 2, GET_ON = 3, TRANSFER_ON = 4, GET_OFF = 5, TRANSFER_OFF = 6 };
enum : int { SECTION_A = 1, SECTION_B = 2 };
constexpr int PER_ROUTE_COLS = 6;

constexpr std::string_view NAME = "BusOpeOut";

struct Operations {
  int32_t nroute = 0;
  Vec<int16_t> NSEC;        // sections of the route
  Table<int64_t> NODE;      // nodes of the largest loads
  Table<int64_t> NPAS;      // sum of the section loads, then the largest loads (persons)
};

// Every array is tried, so that one run names each that cannot be had.
bool allocate(Operations& w, int LOG, int16_t& IERR) {
  try {
    w.NSEC.resize(w.nroute, 0);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, NAME, " NSEC(LB) allocation error", IERR);
  }
  try {
    w.NODE.resize(w.nroute, PER_ROUTE_COLS);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, NAME, " NODE(LB,6) allocation error", IERR);
  }
  try {
    w.NPAS.resize(w.nroute, PER_ROUTE_COLS);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, NAME, " NPAS(LB,6) allocation error", IERR);
  }
  return IERR < 9;
}

// Only a strictly larger load moves the maximum: the first row met keeps ties.
void keep_largest(Operations& w, int64_t q, int col, int64_t load, int64_t node) {
  if (q < 1 || q > w.nroute) return;
  if (load > w.NPAS(int32_t(q), col)) {
    w.NPAS(int32_t(q), col) = load;
    w.NODE(int32_t(q), col) = node;
  }
}

// The loads of every row, by the route each kind of row counts for.
void sum_loads(Operations& w, const NetTable& LNKPT, int32_t NLPT) {
  for (int32_t r = 1; r <= NLPT; ++r) {
    const int64_t j = LNKPT(r, LNK_ROAD);
    const int64_t A = LNKPT(r, LNK_FROM), B = LNKPT(r, LNK_TO), V = LNKPT(r, LNK_LOAD);
    const int64_t qa = A / ROUTE_BASE, qb = B / ROUTE_BASE;
    const int64_t a_stop = A - qa * ROUTE_BASE, b_stop = B - qb * ROUTE_BASE;
    if (j > 0 && qa >= 1 && qb >= 1) {  // section
      if (qb > w.nroute) continue;
      const int32_t q = int32_t(qb);
      w.NSEC(q) = int16_t(w.NSEC(q) + 1);
      w.NPAS(q, SUM) += V;
      if (V > w.NPAS(q, SECTION)) {
        w.NPAS(q, SECTION) = V;
        w.NODE(q, SECTION_A) = a_stop;
        w.NODE(q, SECTION_B) = b_stop;
      }
    } else if (j == 0 && qa == 0 && qb >= 1) {
      keep_largest(w, qb, GET_ON, V, b_stop);
    } else if (j == 0 && qa >= 1 && qb == 0) {
      keep_largest(w, qa, GET_OFF, V, a_stop);
    } else if (j == 0 && qa >= 1 && qb >= 1) {
      keep_largest(w, qb, TRANSFER_ON, V, b_stop);
      keep_largest(w, qa, TRANSFER_OFF, V, a_stop);
    }
  }
}

}  // namespace

void BUSOPEOUT(const SharedTables& t, const std::string& FNAME1, int LOG, int16_t& IERR) {
  if (t.NROUTE <= 0) return;
  IERR = 0;
  Operations w;
  w.nroute = std::min<int32_t>(t.NROUTE, t.RTMODE.size());
  if (!allocate(w, LOG, IERR)) return;
  sum_loads(w, t.LNKPT, t.NLPT);

  const int unit = free_unit();
  const std::string name(trim(FNAME1));
  if (!open_write(unit, name)) {
    say_heading(LOG, NAME);
    say_line(LOG, " *** Error *** Can not create the file " + name);
    raise_level(IERR, 9);
    return;
  }
  const Format record = Format::parse(OPERATIONS_FORMAT);
  write_line(unit, OPERATIONS_HEADER);
  for (int32_t q = 1; q <= w.nroute; ++q) {
    const float average = w.NSEC(q) > 0 ? float(w.NPAS(q, SUM)) / float(w.NSEC(q)) : 0.0f;
    write_fmt(unit, record,
              {int32_t(q), t.RTMODE(q), t.RTFREQ0(q), t.RTFREQ(q), w.NODE(q, SECTION_A), w.NODE(q, SECTION_B),
               w.NPAS(q, SECTION), w.NSEC(q), average, w.NODE(q, GET_ON), w.NPAS(q, GET_ON),
               w.NODE(q, TRANSFER_ON), w.NPAS(q, TRANSFER_ON), w.NODE(q, GET_OFF), w.NPAS(q, GET_OFF),
               w.NODE(q, TRANSFER_OFF), w.NPAS(q, TRANSFER_OFF), t.RTFARE(q, FARE_FLAT),
               t.RTFARE(q, FARE_PER_KM)});
  }
  close_unit(unit);
}

}  // namespace routava
