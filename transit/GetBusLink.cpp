// Reads the transit condition tables and appends the rows of every route to
// LNKPT: route sections (main rows), boarding (GET-ON), alighting (GET-OFF)
// and, for rail-type modes, transfers to earlier routes of the same mode.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {

const char* const HEADING = " === SUBROUTINE GetBusLink =======";
constexpr int32_t NO_ROW = 0;
constexpr int32_t ALLOC_STATUS = 1;  // status shown when a work array cannot be had

// Closes a unit on every way out of the routine, a fatal read error included.
struct unit_closer {
  int unit = 0;
  explicit unit_closer(int u) : unit(u) {}
  ~unit_closer() {
    if (unit > 0 && is_open(unit)) close_unit(unit);
  }
  unit_closer(const unit_closer&) = delete;
  unit_closer& operator=(const unit_closer&) = delete;
};

// Truncation toward zero that stays defined for any real.
int64_t truncated(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 9.0e18) return INT64_C(9000000000000000000);
  if (x <= -9.0e18) return -INT64_C(9000000000000000000);
  return int64_t(x);
}

bool report_allocation(int LOG, const char* what) {
  say(LOG, {HEADING});
  say(LOG, {what, ALLOC_STATUS});
  return false;
}

// Saturates, so that a flood of findings cannot wrap the 16-bit level to "no error".
void count_error(int16_t& IERR, int n) { IERR = int16_t(std::min(int(IERR) + n, 30000)); }

int64_t magnitude(int32_t code) { return std::llabs(int64_t(code)); }

// A first line counts as field names unless its first 8 characters are all
// digits or commas.
bool has_field_names(const std::string& line) {
  const std::string head = pad(line, 40);
  for (size_t k = 0; k < 8; ++k) {
    const char ch = head[k];
    if (!((ch >= '0' && ch <= '9') || ch == ',')) return true;
  }
  return false;
}

// ---- the three small tables

void read_od_list(const std::string& name, Vec<std::string>& ODPT, int LOG, int16_t& IERR) {
  ODPT.fill(std::string(40, ' '));
  const std::string_view file = trim(name);
  const int u = free_unit();
  if (!open_read(u, file)) {
    say(LOG, {HEADING});
    say(LOG, {" OD File Names are unknown."});
    say(LOG, {" *** ERROR *** Please set ", file});
    count_error(IERR, 9);
    return;
  }
  unit_closer closer(u);
  const std::string dashes = "----+----+----+----+----+----+----+----+----+";
  const Format record = Format::parse("(I5,A40)");
  if (LOG > 0) {
    write_free(LOG, {file});
    write_line(LOG, dashes);
    write_fmt(LOG, "(2X,'ID',1X,'Person Trip OD File')", {});
  }
  for (;;) {
    int32_t id = 0;
    std::string od_file;
    if (!read_cols_or_fail(u, record, {&id, In(&od_file, 40)})) break;
    if (id <= 0) break;
    if (id > ODPT.size()) {
      say(LOG, {" ** ERROR ** OD File ID", id, " is over", ODPT.size(), " at line",
                int64_t(unit_line(u)), " of ", file});
      count_error(IERR, 1);
      continue;
    }
    ODPT(id) = pad(od_file, 40);
    if (LOG > 0) write_fmt(LOG, record, {id, ODPT(id)});
  }
  if (LOG > 0) write_line(LOG, dashes);
}

void read_modes(const std::string& name, RealTable& MODTAB, int LOG, int16_t& IERR) {
  MODTAB.fill(0.0f);
  const std::string_view file = trim(name);
  const int u = free_unit();
  if (!open_read(u, file)) {
    say(LOG, {HEADING});
    say(LOG, {" Mode Conditions are unknown."});
    say(LOG, {" *** ERROR *** Please set ", file});
    count_error(IERR, 9);
    return;
  }
  unit_closer closer(u);
  // ID, PCU, Ave., Max., Hr., C, Red., minHd
  const Format record = Format::parse("(I3,F5.0,2F6.0,F4.0,F1.0,2F5.0)");
  const Format listing = Format::parse("(I3,F5.2,2F6.1,F4.0,I1,2F5.2)");
  const std::string dashes = "----+----+----+----+----+----+----+";
  if (LOG > 0) {
    write_free(LOG, {file});
    write_line(LOG, dashes);
    write_fmt(LOG, "(' ID','  PCU','  Ave.','  Max.',' Hr.C',' Red.','minHd')", {});
  }
  for (;;) {
    int32_t id = 0;
    float v[7] = {0, 0, 0, 0, 0, 0, 0};
    if (!read_cols_or_fail(u, record, {&id, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]})) {
      break;
    }
    if (id <= 0) break;
    const int32_t c_value = int32_t(std::clamp<int64_t>(truncated(v[4]), INT32_MIN, INT32_MAX));
    if (id > MODTAB.rows()) {
      say(LOG, {" *** ERROR *** ", file});
      say(LOG, {" The following MODE is ignored (> 10)."});
      say_fmt(LOG, listing, {id, v[0], v[1], v[2], v[3], c_value, v[5], v[6]});
      count_error(IERR, 1);
      continue;
    }
    for (int k = 0; k < 7; ++k) MODTAB(id, k + 1) = v[k];
    if (LOG > 0) write_fmt(LOG, listing, {id, v[0], v[1], v[2], v[3], c_value, v[5], v[6]});
  }
  if (LOG > 0) write_line(LOG, dashes);
}

// Without a fare file every route rides free and none is reported as lacking fares.
void read_fares(const std::string& name, RealTable& RTFARE, Vec<uint8_t>& LFLG, int LOG,
                int16_t& IERR) {
  RTFARE.fill(0.0f);
  const std::string_view file = trim(name);
  const int u = free_unit();
  if (!open_read(u, file)) {
    say(LOG, {" Bus Fare is free!  No File = ", file});
    LFLG.fill(1);
    return;
  }
  unit_closer closer(u);
  std::string head;
  if (!read_line(u, head)) {
    say(LOG, {" * ERROR * No record in ", file});
    count_error(IERR, 9);
    return;
  }
  if (!has_field_names(head)) {
    say(LOG, {" * ERROR * No Field Name at the top of ", file});
    count_error(IERR, 9);
  }
  const Format wrong = Format::parse("('  ** ERROR ** Wrong Record at',I5,' in ',A40)");
  for (;;) {
    int32_t id = 0;
    float flat = 0.0f;
    float per_km = 0.0f;
    const ReadResult r = read_free(u, {&id, &flat, &per_km});
    if (r.end()) break;
    const int64_t data_line = int64_t(unit_line(u)) - 1;  // counted after the header
    if (r.bad()) {
      say_fmt(LOG, wrong, {data_line, pad(name, 40)});
      count_error(IERR, 9);
      continue;
    }
    if (id <= 0) break;
    if (id > RTFARE.rows()) {
      say(LOG, {" ** ERROR ** Bus Route ID", id, " is over than Program Max.ID", RTFARE.rows(),
                " at line", data_line + 1, " of ", file});
      count_error(IERR, 1);
      continue;
    }
    RTFARE(id, 1) = flat;
    RTFARE(id, 2) = per_km;
    LFLG(id) = 1;
  }
}

// ---- transit rows

enum row_kind { MAIN_ROW, GET_ON_ROW, GET_OFF_ROW, TRANSFER_ROW };

struct row_counts {
  int32_t made[4] = {0, 0, 0, 0};
};

// The next row of LNKPT, cleared and counted; NO_ROW when the table is full (reported).
int32_t new_row(NetTable& LNKPT, int32_t& NLPT, row_counts& counts, row_kind kind, int32_t route,
                int LOG) {
  static const char* const what[] = {
      " at generating TRANSIT main link of ", " at generating GET-ON link of ",
      " at generating GET-OFF link of ", " at generating TRANSFER link of "};
  const int32_t capacity = std::min<int32_t>(LKSIZE, LNKPT.rows());
  if (NLPT >= capacity) {
    say_fmt(LOG, "('  LINK size',I7,' is over than',I7)", {int64_t(NLPT) + 1, capacity});
    say(LOG, {what[kind], "Route", route});
    say(LOG, {" ** Need to change Parameter LKSIZE=", capacity});
    return NO_ROW;
  }
  ++NLPT;
  ++counts.made[kind];
  std::fill_n(LNKPT.row(NLPT), LNKPT.cols(), int64_t(0));
  return NLPT;
}

uint64_t link_key(int64_t a, int64_t b) {
  return (uint64_t(uint32_t(int32_t(a))) << 32) | uint64_t(uint32_t(int32_t(b)));
}

// Main rows by the road node they leave, in row order, so that the transfer
// search sees exactly the qualifying earlier rows and in the same order.
struct departures {
  std::vector<int32_t> first;  // by road node code
  std::vector<int32_t> last;
  std::vector<int32_t> next;   // by row
};

void add_departure(departures& d, int64_t code, int32_t row) {
  const size_t c = size_t(code);
  if (d.first[c] == 0) {
    d.first[c] = row;
  } else {
    d.next[size_t(d.last[c])] = row;
  }
  d.last[c] = row;
}

struct route_head {
  int32_t ID = 0;
  int32_t Seq = 0;
  int32_t Mode = 0;
  float Freq = 0.0f;
  int32_t NodeNo = 0;
};

}  // namespace

void GETBUSLINK(int16_t MODEPT, const FileNames& FN, Vec<std::string>& ODPT, int LOG,
                int32_t NLROAD, LinkTable& LINK, float TVALUE, RealTable& MODTAB, int16_t& IERR,
                int32_t& NLPT, int32_t& NROUTE, NetTable& LNKPT, Vec<int16_t>& RTMODE,
                Vec<float>& RTFREQ, Vec<float>& RTFREQ0, RealTable& RTFARE) {
  IERR = 0;
  const std::string route_name = pad(FN[1], 40);
  const std::string_view route_file = trim(route_name);

  // ---- working storage
  Vec<uint8_t> NFLAG;     // node already met earlier in the route
  Table<int32_t> NWORK;   // node code as given, next node's code, speed (km/h)
  Vec<uint8_t> LFLG;      // route has a fare row
  std::unordered_map<uint64_t, int32_t> link_row;  // (A, B) -> first row of LINK
  departures from_node;
  bool allocated = true;
  try {
    NFLAG.resize(NDRTBS);
  } catch (const std::bad_alloc&) {
    allocated = report_allocation(LOG, " NFLAG(NDRTBS) allocation error");
  }
  try {
    NWORK.resize(NDRTBS, 3);
  } catch (const std::bad_alloc&) {
    allocated = report_allocation(LOG, " NWORK(NDRTBS,3) allocation error");
  }
  try {
    LFLG.resize(LBSIZE);
  } catch (const std::bad_alloc&) {
    allocated = report_allocation(LOG, " LFLG(LBSIZE) allocation error");
  }
  try {
    link_row.reserve(size_t(std::max(NLROAD, 0)));
    for (int32_t r = 1; r <= NLROAD; ++r) link_row.emplace(link_key(LINK(r, 1), LINK(r, 2)), r);
    from_node.first.assign(size_t(ROUTE_BASE), 0);
    from_node.last.assign(size_t(ROUTE_BASE), 0);
    from_node.next.assign(size_t(LNKPT.rows()) + 1, 0);
  } catch (const std::bad_alloc&) {
    allocated = report_allocation(LOG, " Link index (NLROAD + LKSIZE) allocation error");
  }
  if (!allocated) {
    IERR = 9;
    return;
  }

  // ---- condition tables
  read_od_list(FN[3], ODPT, LOG, IERR);
  read_modes(FN[4], MODTAB, LOG, IERR);
  LFLG.fill(0);
  read_fares(FN[2], RTFARE, LFLG, LOG, IERR);
  if (IERR >= 9) return;

  // Rows already in the table that leave a route node take part in transfers too.
  for (int32_t k = 1; k <= NLPT; ++k) {
    const int64_t from = LNKPT(k, 2);
    const int64_t route = from / ROUTE_BASE;
    const int64_t code = from - route * ROUTE_BASE;
    if (LNKPT(k, 1) > 0 && route > 0 && code > 0) add_departure(from_node, code, k);
  }

  // ---- routes
  const int u2 = free_unit();
  if (!open_write(u2, "BusEdit2.csv")) {
    say(LOG, {" *** ERROR *** Can not create BusEdit2.csv"});
    count_error(IERR, 9);
    return;
  }
  unit_closer close_listing(u2);
  write_line(u2, "Route,No,A-Node,B-Node,Mode,Frequency,Speed,");
  const Format listing = Format::parse("(I5,',',I3,',',2(I6,','),I2,',',F5.1,',',I3,',')");
  OUTTIME(LOG);
  say(LOG, {" Now generating bus route and dummy links..."});

  const int u = free_unit();
  if (!open_read(u, route_file)) {
    say(LOG, {" *** ERROR *** Can not find ", route_file});
    count_error(IERR, 9);
    return;
  }
  unit_closer close_routes(u);
  NROUTE = 0;
  std::string head;
  if (!read_line(u, head)) {
    say(LOG, {" * ERROR * No record in ", route_file});
    count_error(IERR, 9);
    return;
  }
  if (!has_field_names(head)) {
    say(LOG, {" * ERROR * No Field Name at the top of ", route_file});
    count_error(IERR, 9);
  }

  row_counts counts;
  int32_t skip[5] = {0, 0, 0, 0, 0};  // RouteID..NodeNo of a node line, not used
  for (;;) {
    route_head rt;
    if (!read_free_or_fail(u, {&rt.ID, &rt.Seq, &rt.Mode, &rt.Freq, &rt.NodeNo})) break;
    const int64_t line = int64_t(unit_line(u));
    const int32_t ID = rt.ID;
    const int32_t Mode = rt.Mode;
    const float Freq = rt.Freq;
    const int32_t NodeNo = rt.NodeNo;
    if (ID > LBSIZE) {
      say(LOG, {" ** ERROR ** Bus Route ID is over than Program"});
      say(LOG, {" Max.ID =", LBSIZE});
      count_error(IERR, 9);
      return;
    }
    // A route the tables cannot hold is checked to the end but gets no rows.
    bool usable = true;
    if (ID <= 0) {
      say(LOG, {" ** ERROR ** Bus Route ID", ID, " is not positive at line", line, " of ",
                route_file});
      count_error(IERR, 1);
      usable = false;
    } else {
      NROUTE = std::max(NROUTE, ID);
    }
    if (Mode == 0) {
      say(LOG, {" ** ERROR ** non MODE data on ", ID});
      count_error(IERR, 1);
    } else if (Mode < 0 || Mode > MODTAB.rows()) {
      say(LOG, {" ** ERROR ** MODE", Mode, " is out of 1 to", MODTAB.rows(), " on Route", ID,
                " in ", route_file});
      count_error(IERR, 1);
      usable = false;
    }
    if (Freq <= 0.0f) {
      say(LOG, {" ** ERROR ** non FREQ data on ", ID});
      count_error(IERR, 1);
    }
    if (NodeNo <= 1) {
      say(LOG, {" ** ERROR ** non NODES     on ", ID});
      count_error(IERR, 1);
    } else if (NodeNo > NDRTBS) {
      say(LOG, {" ** ERROR ** Too many NODES", NodeNo, " on Route", ID, " in ", route_file,
                ": Max. =", NDRTBS});
      count_error(IERR, 1);
      usable = false;
    }
    if (ID > 0) {
      if (LFLG(ID) == 0) say(LOG, {" ** Non Fare data **   Route =", ID});
      if (Mode >= 1 && Mode <= MODTAB.rows()) RTMODE(ID) = int16_t(Mode);
      if (Freq > 0.0f) {
        RTFREQ(ID) = Freq;
        RTFREQ0(ID) = Freq;
      }
    }

    for (int32_t i = 1; i <= NodeNo; ++i) {
      int32_t code = 0;
      int32_t speed = 0;
      if (!read_free_or_fail(u, {&skip[0], &skip[1], &skip[2], &skip[3], &skip[4], &code, &speed})) {
        say(LOG, {" ** ERROR ** End of file in the NODES of Route", ID, " in ", route_file,
                  ": node", i, " of", NodeNo});
        count_error(IERR, 9);
        return;
      }
      // A non-positive speed would give a section a non-positive riding time.
      if (code == 0 || speed <= 0) {
        say(LOG, {" No Node Code or Speed", ID, code, speed});
        count_error(IERR, 1);
      }
      if (magnitude(code) >= ROUTE_BASE) {
        say(LOG, {" ** ERROR ** Node Code", code, " is over 99999 on Route", ID, " at line",
                  int64_t(unit_line(u)), " of ", route_file});
        count_error(IERR, 1);
        usable = false;
      }
      if (i <= NDRTBS) {
        NWORK(i, 1) = code;
        NWORK(i, 2) = 0;
        NWORK(i, 3) = speed;
      }
    }
    if (!usable || NodeNo <= 0) continue;

    // A node met again later in the route stops only the first time.
    {
      std::vector<std::pair<int32_t, int32_t>> order;  // (code, position)
      order.reserve(size_t(NodeNo));
      for (int32_t i = 1; i <= NodeNo; ++i) {
        NFLAG(i) = 0;
        order.emplace_back(NWORK(i, 1), i);
      }
      std::sort(order.begin(), order.end());
      for (size_t k = 1; k < order.size(); ++k) {
        if (order[k].first == order[k - 1].first) NFLAG(order[k].second) = 1;
      }
    }

    const int32_t NL0 = NLPT;
    const int64_t base = int64_t(ID) * ROUTE_BASE;
    int32_t L = 0;  // road link of the segment that arrived at node i (0: none)
    for (int32_t i = 1; i <= NodeNo; ++i) {
      const int32_t code = NWORK(i, 1);
      if (i < NodeNo) {
        const int32_t next = NWORK(i + 1, 1);
        NWORK(i, 2) = next;
        const auto found = link_row.find(link_key(magnitude(code), magnitude(next)));
        if (found == link_row.end()) {
          say_fmt(LOG, "(' **ERROR** Transit Route (',I6,') is flying',3X,'FROM',I6,3X,'TO',I6)",
                  {ID, code, next});
          count_error(IERR, 1);
          L = 0;
          continue;
        }
        L = found->second;
        const int32_t speed = NWORK(i, 3);
        write_fmt(u2, listing, {ID, i, code, next, Mode, Freq, speed});
        const int32_t r = new_row(LNKPT, NLPT, counts, MAIN_ROW, ID, LOG);
        if (r == NO_ROW) {
          count_error(IERR, 9);
          return;
        }
        LNKPT(r, 1) = L;
        LNKPT(r, 2) = base + magnitude(code);
        LNKPT(r, 3) = base + magnitude(next);
        LNKPT(r, 7) = Mode;
        if (code != 0) add_departure(from_node, magnitude(code), r);
        if (IERR == 0) {
          if (MODEPT >= 2 && Freq > 0.0f) {
            const float pcu = MODTAB(Mode, 1) * MODTAB(Mode, 4) * 60.0f / Freq + 0.5f;
            LINK(L, 9) = int32_t(std::clamp<int64_t>(int64_t(LINK(L, 9)) + truncated(pcu),
                                                     INT32_MIN, INT32_MAX));
          }
          const int64_t length = LINK(L, 7);
          const int64_t T = (6 * length) / speed;
          LNKPT(r, 4) = T;
          LNKPT(r, 6) = T;
          if (TVALUE > 0.0f) {
            LNKPT(r, 4) += truncated(float(length) * RTFARE(ID, 2) * 6.0f / TVALUE + 0.5f);
          }
        }
      }
      // The stop is judged by the road link leaving the node, or at the last
      // node by the one arriving; with neither there is no stop.
      if (L == 0 || NFLAG(i) == 1 || LINK(L, 3) == 7 || LINK(L, 3) == 8 || code < 0) continue;

      int32_t r = new_row(LNKPT, NLPT, counts, GET_ON_ROW, ID, LOG);
      if (r == NO_ROW) {
        count_error(IERR, 9);
        return;
      }
      LNKPT(r, 2) = code;
      LNKPT(r, 3) = base + code;
      LNKPT(r, 7) = Mode;
      if (IERR == 0) {
        const int64_t W = truncated(Freq * 50.0f);  // half the headway, 0.01 min
        LNKPT(r, 4) = W;
        LNKPT(r, 6) = W;
        if (TVALUE > 0.0f) LNKPT(r, 4) += truncated(RTFARE(ID, 1) * 6000.0f / TVALUE + 0.5f);
      }
      r = new_row(LNKPT, NLPT, counts, GET_OFF_ROW, ID, LOG);
      if (r == NO_ROW) {
        count_error(IERR, 9);
        return;
      }
      LNKPT(r, 2) = base + code;
      LNKPT(r, 3) = code;
      LNKPT(r, 4) = 1;
      LNKPT(r, 6) = 0;
      LNKPT(r, 7) = Mode;

      if (Mode < 7 || code <= 0) continue;
      // Earlier routes of the same mode that depart from this node.
      for (int32_t k = from_node.first[size_t(code)]; k != 0 && k <= NL0;
           k = from_node.next[size_t(k)]) {
        const int64_t other = LNKPT(k, 2);
        const int64_t R = other / ROUTE_BASE;
        if (R > RTMODE.size() || RTMODE(int(R)) != Mode) continue;
        r = new_row(LNKPT, NLPT, counts, TRANSFER_ROW, ID, LOG);
        if (r == NO_ROW) {
          count_error(IERR, 9);
          return;
        }
        LNKPT(r, 2) = base + code;
        LNKPT(r, 3) = other;
        LNKPT(r, 4) = truncated(RTFREQ(int(R)) * 50.0f);
        LNKPT(r, 6) = LNKPT(r, 4);
        LNKPT(r, 7) = Mode;
        r = new_row(LNKPT, NLPT, counts, TRANSFER_ROW, ID, LOG);
        if (r == NO_ROW) {
          count_error(IERR, 9);
          return;
        }
        LNKPT(r, 2) = other;
        LNKPT(r, 3) = base + code;
        LNKPT(r, 4) = truncated(Freq * 50.0f);
        LNKPT(r, 6) = LNKPT(r, 4);
        LNKPT(r, 7) = Mode;
      }
    }
  }

  close_unit(u);
  close_unit(u2);
  say_fmt(LOG, "('  Link: Total=',I6,',Route=',I6,',Get-On=',I6,',Get-Off=',I6,',Transfer=',I6)",
          {NLPT, counts.made[MAIN_ROW], counts.made[GET_ON_ROW], counts.made[GET_OFF_ROW],
           counts.made[TRANSFER_ROW]});
}

}  // namespace routava
