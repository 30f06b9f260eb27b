// Reads the transit condition tables and appends the rows of every route to
// LNKPT: route sections (main rows), boarding (GET-ON), alighting (GET-OFF)
// and, for rail-type modes, transfers to earlier routes of the same mode.
#include <algorithm>
#include <array>
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

constexpr std::string_view NAME = "GetBusLink";
constexpr int32_t TABLE_FULL = -1;  // a row was refused: LNKPT is full

// NWORK: the nodes of the route being read.
constexpr int NW_CODE = 1;   // node code as given (negative: passed without stopping)
constexpr int NW_NEXT = 2;   // code of the next node of the route
constexpr int NW_SPEED = 3;  // km/h on the segment leaving the node
constexpr int NW_COLS = 3;

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

// Consumes the header line of the fare or route file. False when the file has
// no line at all; a first line of data is reported but the reading goes on.
bool check_header(int unit, std::string_view file, int LOG, int16_t& IERR) {
  std::string head;
  if (!read_line(unit, head)) {
    say(LOG, {" * ERROR * No record in ", file});
    raise_level(IERR, 9);
    return false;
  }
  if (!has_field_names(head)) {
    say(LOG, {" * ERROR * No Field Name at the top of ", file});
    raise_level(IERR, 9);
  }
  return true;
}

// ---- the three small tables

// A table the transit network cannot do without: 0 and a fatal finding when it is missing.
int open_required(std::string_view file, const char* unknown, int LOG, int16_t& IERR) {
  const int u = free_unit();
  if (open_read(u, file)) return u;
  say_heading(LOG, NAME);
  say(LOG, {unknown});
  say(LOG, {" *** ERROR *** Please set ", file});
  raise_level(IERR, 9);
  return 0;
}

void list_head(int LOG, std::string_view file, const std::string& rule, std::string_view header) {
  if (LOG <= 0) return;
  write_free(LOG, {file});
  write_line(LOG, rule);
  write_fmt(LOG, header, {});
}

void read_od_list(const std::string& name, Vec<std::string>& ODPT, int LOG, int16_t& IERR) {
  ODPT.fill(std::string(40, ' '));
  const std::string_view file = trim(name);
  const int u = open_required(file, " OD File Names are unknown.", LOG, IERR);
  if (u == 0) return;
  unit_closer closer(u);
  const std::string rule = "----+----+----+----+----+----+----+----+----+";
  const Format record = Format::parse("(I5,A40)");
  list_head(LOG, file, rule, "(2X,'ID',1X,'Person Trip OD File')");
  for (;;) {
    int32_t id = 0;
    std::string od_file;
    if (!read_cols_or_fail(u, record, {&id, In(&od_file, 40)})) break;
    if (id <= 0) break;
    if (id > ODPT.size()) {
      say(LOG, {" ** ERROR ** OD File ID", id, " is over", ODPT.size(), " at line",
                int64_t(unit_line(u)), " of ", file});
      raise_level(IERR, 1);
      continue;
    }
    ODPT(id) = pad(od_file, 40);
    if (LOG > 0) write_fmt(LOG, record, {id, ODPT(id)});
  }
  if (LOG > 0) write_line(LOG, rule);
}

void read_modes(const std::string& name, RealTable& MODTAB, int LOG, int16_t& IERR) {
  MODTAB.fill(0.0f);
  const std::string_view file = trim(name);
  const int u = open_required(file, " Mode Conditions are unknown.", LOG, IERR);
  if (u == 0) return;
  unit_closer closer(u);
  // The values in file order are the columns of MODTAB: PCU, Ave., Max., Hr., C, Red., minHd.
  const Format record = Format::parse("(I3,F5.0,2F6.0,F4.0,F1.0,2F5.0)");
  const Format listing = Format::parse("(I3,F5.2,2F6.1,F4.0,I1,2F5.2)");
  const std::string rule = "----+----+----+----+----+----+----+";
  list_head(LOG, file, rule, "(' ID','  PCU','  Ave.','  Max.',' Hr.C',' Red.','minHd')");
  for (;;) {
    int32_t id = 0;
    float v[MODE_COLS + 1] = {};  // v[MODE_PCU..MODE_MINHD]; a short line leaves the rest 0
    if (!read_cols_or_fail(u, record, {&id, &v[MODE_PCU], &v[MODE_AVE], &v[MODE_MAX], &v[MODE_HOURS],
                                       &v[MODE_C], &v[MODE_RED], &v[MODE_MINHD]})) {
      break;
    }
    if (id <= 0) break;
    const int32_t c_value = int32_t(std::clamp<int64_t>(truncated(v[MODE_C]), INT32_MIN, INT32_MAX));
    const std::initializer_list<Out> echo = {id,      v[MODE_PCU], v[MODE_AVE], v[MODE_MAX], v[MODE_HOURS],
                                             c_value, v[MODE_RED], v[MODE_MINHD]};
    if (id > MODTAB.rows()) {
      say(LOG, {" *** ERROR *** ", file});
      say(LOG, {" The following MODE is ignored (> 10)."});
      say_fmt(LOG, listing, echo);
      raise_level(IERR, 1);
      continue;
    }
    for (int col = 1; col <= MODE_COLS; ++col) MODTAB(id, col) = v[col];
    if (LOG > 0) write_fmt(LOG, listing, echo);
  }
  if (LOG > 0) write_line(LOG, rule);
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
  if (!check_header(u, file, LOG, IERR)) return;
  const Format wrong = Format::parse("('  ** ERROR ** Wrong Record at',I5,' in ',A40)");
  static const Format tariff = Format::parse("(F7.1)");
  for (;;) {
    int32_t id = 0;
    float flat = 0.0f;
    float per_km = 0.0f;
    const ReadResult r = read_free(u, {&id, &flat, &per_km});
    if (r.end()) break;
    const int64_t data_line = int64_t(unit_line(u)) - 1;  // counted after the header
    if (r.bad()) {
      say_fmt(LOG, wrong, {data_line, pad(name, 40)});
      say_record(LOG, u);
      raise_level(IERR, 9);
      continue;
    }
    if (id <= 0) {
      if (data_line == 1) {
        say(LOG, {" *** Warning *** ", file, ", line", data_line + 1,
                  ": the list ends at its first line (route id 0 or below); no route has a fare."});
      }
      break;
    }
    if (id > RTFARE.rows()) {
      say(LOG, {" ** ERROR ** Bus Route ID", id, " is over than Program Max.ID", RTFARE.rows(),
                " at line", data_line + 1, " of ", file});
      raise_level(IERR, 1);
      continue;
    }
    RTFARE(id, FARE_FLAT) = flat;
    RTFARE(id, FARE_PER_KM) = per_km;
    say_if_too_wide(LOG, u, tariff, flat, "the flat fare", "the Flat Tariff column (F7.1) of Transit Operations.csv");
    say_if_too_wide(LOG, u, tariff, per_km, "the distance fare", "the Distance Tariff column (F7.1) of Transit Operations.csv");
    LFLG(id) = 1;
  }
}

// ---- transit rows

enum row_kind { MAIN_ROW, GET_ON_ROW, GET_OFF_ROW, TRANSFER_ROW };

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
  float Freq = 0.0f;  // headway, minutes
  int32_t NodeNo = 0;
  int64_t line = 0;  // of the route line in the route file
};

// The columns of a new row besides its mode; impedance and time in hundredths of a minute.
struct row_values {
  int64_t road = 0;
  int64_t from = 0;
  int64_t to = 0;
  int64_t impedance = 0;
  int64_t time = 0;
};

// What the rows of one call are built from, and the work storage of the routine.
struct builder {
  SharedTables& t;
  int16_t MODEPT;
  float TVALUE;  // money per hour; 0 or less: no fare enters an impedance
  int LOG;
  int16_t& IERR;
  std::string_view route_file;
  int routes = 0;   // unit of the route file
  int listing = 0;  // unit of "BusEdit2.csv"
  Format listing_fmt{};
  Vec<uint8_t> NFLAG{};  // node already met earlier in the route
  Table<int32_t> NWORK{};// the route's nodes (NW_*)
  Vec<uint8_t> LFLG{};   // route has a fare row
  std::unordered_map<uint64_t, int32_t> link_row{};  // (A, B) -> first row of LINK
  departures from_node{};
  int32_t NL0 = 0;  // rows before the route being built
  int32_t made[4] = {0, 0, 0, 0};  // rows made, by row_kind
  std::array<bool, NVTYPE + 1> mode_said{};  // a mode without conditions, said once
};

// Every array is tried, so that one run names each that cannot be had.
bool allocate_work(builder& b) {
  const int16_t before = b.IERR;
  try {
    b.NFLAG.resize(NDRTBS);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(b.LOG, NAME, " NFLAG(NDRTBS) allocation error", b.IERR);
  }
  try {
    b.NWORK.resize(NDRTBS, NW_COLS);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(b.LOG, NAME, " NWORK(NDRTBS,3) allocation error", b.IERR);
  }
  try {
    b.LFLG.resize(LBSIZE);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(b.LOG, NAME, " LFLG(LBSIZE) allocation error", b.IERR);
  }
  try {
    const LinkTable& LINK = b.t.LINK;
    b.link_row.reserve(size_t(std::max(b.t.NLROAD, 0)));
    for (int32_t r = 1; r <= b.t.NLROAD; ++r) {
      b.link_row.emplace(link_key(LINK(r, LINK_ANODE), LINK(r, LINK_BNODE)), r);
    }
    b.from_node.first.assign(size_t(ROUTE_BASE), 0);
    b.from_node.last.assign(size_t(ROUTE_BASE), 0);
    b.from_node.next.assign(size_t(b.t.LNKPT.rows()) + 1, 0);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(b.LOG, NAME, " Link index (NLROAD + LKSIZE) allocation error", b.IERR);
  }
  return b.IERR == before;
}

// Rows already in the table that leave a route node take part in transfers too.
void index_existing_rows(builder& b) {
  const NetTable& LNKPT = b.t.LNKPT;
  for (int32_t k = 1; k <= b.t.NLPT; ++k) {
    const int64_t from = LNKPT(k, LNK_FROM);
    const int64_t route = from / ROUTE_BASE;
    const int64_t code = from - route * ROUTE_BASE;
    if (LNKPT(k, LNK_ROAD) > 0 && route > 0 && code > 0) add_departure(b.from_node, code, k);
  }
}

// The first road link from A to B, 0 when there is none.
int32_t road_link(const builder& b, int64_t A, int64_t B) {
  const auto found = b.link_row.find(link_key(A, B));
  return found == b.link_row.end() ? 0 : found->second;
}

// Appends a row of route rt; false, reported and fatal, when LNKPT is full.
bool append_row(builder& b, row_kind kind, const route_head& rt, const row_values& v) {
  static const char* const what[] = {
      " at generating TRANSIT main link of ", " at generating GET-ON link of ",
      " at generating GET-OFF link of ", " at generating TRANSFER link of "};
  NetTable& LNKPT = b.t.LNKPT;
  int32_t& NLPT = b.t.NLPT;
  const int32_t capacity = std::min<int32_t>(LKSIZE, LNKPT.rows());
  if (NLPT >= capacity) {
    say_fmt(b.LOG, "('  LINK size',I7,' is over than',I7)", {int64_t(NLPT) + 1, capacity});
    say(b.LOG, {what[kind], "Route", rt.ID});
    say(b.LOG, {" ** Need to change Parameter LKSIZE=", capacity});
    raise_level(b.IERR, 9);
    return false;
  }
  ++NLPT;
  ++b.made[kind];
  int64_t* row = LNKPT.row(NLPT);
  std::fill_n(row, LNKPT.cols(), int64_t(0));
  row[LNK_ROAD - 1] = v.road;
  row[LNK_FROM - 1] = v.from;
  row[LNK_TO - 1] = v.to;
  row[LNK_IMPEDANCE - 1] = v.impedance;
  row[LNK_TIME - 1] = v.time;
  row[LNK_KIND - 1] = rt.Mode;
  return true;
}

// The line after a finding on `line` of a converted route file: the line of the
// keyword file it was converted from, which is the one the planner edits.
void say_source(const builder& b, int64_t line) {
  const RouteSource& src = b.t.ROUTESRC;
  if (line < 1 || size_t(line) >= src.from.size()) return;
  const int64_t k = src.from[size_t(line)];
  if (k < 1 || size_t(k) > src.lines.size()) return;
  say(b.LOG, {"    from ", src.file, ", line", k, ": \"", src.lines[size_t(k - 1)], "\""});
}

// ---- one route

// Checks a route line and keeps its mode and headway. False when the tables
// cannot hold the route: its node lines are still read and checked, but it gets no rows.
bool take_route_line(builder& b, const route_head& rt, int64_t line) {
  const int LOG = b.LOG;
  const int32_t modes = b.t.MODTAB.rows();
  bool usable = true;
  if (rt.ID <= 0) {
    say(LOG, {" ** ERROR ** Bus Route ID", rt.ID, " is not positive at line", line, " of ",
              b.route_file});
    say_source(b, line);
    raise_level(b.IERR, 1);
    usable = false;
  } else {
    b.t.NROUTE = std::max(b.t.NROUTE, rt.ID);
  }
  if (rt.Mode == 0) {
    say(LOG, {" ** ERROR ** non MODE data on ", rt.ID});
    say_record(LOG, b.routes);
    say_source(b, line);
    raise_level(b.IERR, 1);
  } else if (rt.Mode < 0 || rt.Mode > modes) {
    say(LOG, {" ** ERROR ** MODE", rt.Mode, " is out of 1 to", modes, " on Route", rt.ID, " in ",
              b.route_file});
    say_source(b, line);
    raise_level(b.IERR, 1);
    usable = false;
  }
  if (rt.Mode >= 1 && rt.Mode <= modes && rt.Mode <= NVTYPE && !b.mode_said[size_t(rt.Mode)]) {
    bool listed = false;
    for (int col = 1; col <= MODE_COLS; ++col) listed = listed || b.t.MODTAB(rt.Mode, col) != 0.0f;
    if (!listed) {
      // PCU, capacity and speed reduction 0: its routes neither load the roads nor take their speeds.
      say(LOG, {" *** Warning *** Mode", rt.Mode, " of Route", rt.ID, " at line", line, " of ", b.route_file,
                " is not in ModePCU.txt; its conditions are all 0."});
      say_source(b, line);
      b.mode_said[size_t(rt.Mode)] = true;
    }
  }
  static const Format headway = Format::parse("(F6.2)");
  if (say_if_too_wide(LOG, b.routes, headway, rt.Freq, "the headway", "the Initial Headway column (F6.2) of Transit Operations.csv")) {
    say_source(b, line);
  }
  if (rt.Freq <= 0.0f) {
    say(LOG, {" ** ERROR ** non FREQ data on ", rt.ID});
    say_record(LOG, b.routes);
    say_source(b, line);
    raise_level(b.IERR, 1);
  }
  if (rt.NodeNo <= 1) {
    say(LOG, {" ** ERROR ** non NODES     on ", rt.ID});
    say_record(LOG, b.routes);
    say_source(b, line);
    raise_level(b.IERR, 1);
  } else if (rt.NodeNo > NDRTBS) {
    say(LOG, {" ** ERROR ** Too many NODES", rt.NodeNo, " on Route", rt.ID, " in ", b.route_file,
              ": Max. =", NDRTBS});
    say_source(b, line);
    raise_level(b.IERR, 1);
    usable = false;
  }
  if (rt.ID > 0) {
    if (b.LFLG(rt.ID) == 0) say(LOG, {" ** Non Fare data **   Route =", rt.ID});
    if (rt.Mode >= 1 && rt.Mode <= modes) b.t.RTMODE(rt.ID) = int16_t(rt.Mode);
    if (rt.Freq > 0.0f) {
      b.t.RTFREQ(rt.ID) = rt.Freq;
      b.t.RTFREQ0(rt.ID) = rt.Freq;
    }
  }
  return usable;
}

// Reads the route's node lines into NWORK; a code the node numbering cannot
// carry makes the route unusable. False, fatal, at end of file.
bool read_route_nodes(builder& b, const route_head& rt, bool& usable) {
  int32_t skip[5] = {0, 0, 0, 0, 0};  // RouteID..NodeNo of a node line, not used
  for (int32_t i = 1; i <= rt.NodeNo; ++i) {
    int32_t code = 0;
    int32_t speed = 0;
    if (!read_free_or_fail(b.routes, {&skip[0], &skip[1], &skip[2], &skip[3], &skip[4], &code, &speed})) {
      say(b.LOG, {" ** ERROR ** End of file in the NODES of Route", rt.ID, " in ", b.route_file,
                  ": node", i, " of", rt.NodeNo});
      raise_level(b.IERR, 9);
      return false;
    }
    // A non-positive speed would give a section a non-positive riding time.
    if (code == 0 || speed <= 0) {
      say(b.LOG, {" No Node Code or Speed", rt.ID, code, speed});
      say_record(b.LOG, b.routes);
      say_source(b, int64_t(unit_line(b.routes)));
      raise_level(b.IERR, 1);
    }
    if (magnitude(code) >= ROUTE_BASE) {
      say(b.LOG, {" ** ERROR ** Node Code", code, " is over 99999 on Route", rt.ID, " at line",
                  int64_t(unit_line(b.routes)), " of ", b.route_file});
      say_source(b, int64_t(unit_line(b.routes)));
      raise_level(b.IERR, 1);
      usable = false;
    }
    if (i <= NDRTBS) {
      b.NWORK(i, NW_CODE) = code;
      b.NWORK(i, NW_NEXT) = 0;
      b.NWORK(i, NW_SPEED) = speed;
    }
  }
  return true;
}

// A node met again later in the route stops only the first time.
void mark_repeated_nodes(builder& b, int32_t NodeNo) {
  std::vector<std::pair<int32_t, int32_t>> order;  // (code, position)
  order.reserve(size_t(NodeNo));
  for (int32_t i = 1; i <= NodeNo; ++i) {
    b.NFLAG(i) = 0;
    order.emplace_back(b.NWORK(i, NW_CODE), i);
  }
  std::sort(order.begin(), order.end());
  for (size_t k = 1; k < order.size(); ++k) {
    if (order[k].first == order[k - 1].first) b.NFLAG(order[k].second) = 1;
  }
}

// The main row riding from node i to node i + 1: the road link ridden, 0 when
// the route flies there, TABLE_FULL when the row cannot be had.
int32_t add_main_row(builder& b, const route_head& rt, int32_t i) {
  const int32_t code = b.NWORK(i, NW_CODE);
  const int32_t next = b.NWORK(i + 1, NW_CODE);
  b.NWORK(i, NW_NEXT) = next;
  const int32_t L = road_link(b, magnitude(code), magnitude(next));
  if (L == 0) {
    say_fmt(b.LOG, "(' **ERROR** Transit Route (',I6,') is flying',3X,'FROM',I6,3X,'TO',I6)",
            {rt.ID, code, next});
    say(b.LOG, {"    in ", b.route_file, ", the route at line", rt.line, ": no road link from", code, " to", next,
                " in Network.csv"});
    say_source(b, rt.line + i + 1);  // the node line arrived at
    raise_level(b.IERR, 1);
    return 0;
  }
  const int32_t speed = b.NWORK(i, NW_SPEED);
  write_fmt(b.listing, b.listing_fmt, {rt.ID, i, code, next, rt.Mode, rt.Freq, speed});
  const int64_t base = int64_t(rt.ID) * ROUTE_BASE;
  row_values v{L, base + magnitude(code), base + magnitude(next)};
  // With findings, the rows are still made so that the counts show, but not costed.
  const bool costed = b.IERR == 0;
  if (costed) {
    const int64_t length = b.t.LINK(L, LINK_LENGTH);  // metres; speed in km/h
    v.time = (6 * length) / speed;
    v.impedance = v.time;
    if (b.TVALUE > 0.0f) {
      v.impedance += truncated(float(length) * b.t.RTFARE(rt.ID, FARE_PER_KM) * 6.0f / b.TVALUE + 0.5f);
    }
  }
  if (!append_row(b, MAIN_ROW, rt, v)) return TABLE_FULL;
  if (code != 0) add_departure(b.from_node, magnitude(code), b.t.NLPT);
  if (costed && b.MODEPT >= 2 && rt.Freq > 0.0f) {
    // The operation plan's buses occupy the road from the start.
    const RealTable& MODTAB = b.t.MODTAB;
    const float pcu = MODTAB(rt.Mode, MODE_PCU) * MODTAB(rt.Mode, MODE_HOURS) * 60.0f / rt.Freq + 0.5f;
    int32_t& volume = b.t.LINK(L, LINK_VOLUME);
    volume = int32_t(std::clamp<int64_t>(int64_t(volume) + truncated(pcu), INT32_MIN, INT32_MAX));
  }
  return L;
}

// The stop is judged by the road link leaving the node, or at the last node by
// the one arriving (L); with neither there is no stop. Walking links (types 7
// and 8) and a node passed without stopping get none either.
bool stops_at(const builder& b, int32_t i, int32_t L) {
  if (L == 0 || b.NFLAG(i) == 1 || b.NWORK(i, NW_CODE) < 0) return false;
  const int32_t type = b.t.LINK(L, LINK_CHARACTER);
  return type != 7 && type != 8;
}

// Boarding costs half the headway and the flat fare; alighting a token 0.01 min.
bool add_stop_rows(builder& b, const route_head& rt, int64_t code) {
  const int64_t base = int64_t(rt.ID) * ROUTE_BASE;
  row_values on{0, code, base + code};
  if (b.IERR == 0) {
    on.time = truncated(rt.Freq * 50.0f);
    on.impedance = on.time;
    if (b.TVALUE > 0.0f) on.impedance += truncated(b.t.RTFARE(rt.ID, FARE_FLAT) * 6000.0f / b.TVALUE + 0.5f);
  }
  if (!append_row(b, GET_ON_ROW, rt, on)) return false;
  return append_row(b, GET_OFF_ROW, rt, {0, base + code, code, 1, 0});
}

// A pair of rows to every earlier route of the same mode that departs from the
// node (main rows up to NL0); waiting is half the headway of the route boarded.
bool add_transfer_rows(builder& b, const route_head& rt, int64_t code) {
  const NetTable& LNKPT = b.t.LNKPT;
  const int64_t here = int64_t(rt.ID) * ROUTE_BASE + code;
  for (int32_t k = b.from_node.first[size_t(code)]; k != 0 && k <= b.NL0; k = b.from_node.next[size_t(k)]) {
    const int64_t other = LNKPT(k, LNK_FROM);
    const int64_t R = other / ROUTE_BASE;
    if (R > b.t.RTMODE.size() || b.t.RTMODE(int(R)) != rt.Mode) continue;
    const int64_t into = truncated(b.t.RTFREQ(int(R)) * 50.0f);
    const int64_t back = truncated(rt.Freq * 50.0f);
    if (!append_row(b, TRANSFER_ROW, rt, {0, here, other, into, into})) return false;
    if (!append_row(b, TRANSFER_ROW, rt, {0, other, here, back, back})) return false;
  }
  return true;
}

// The rows of one route in the order the table has always had them: per node,
// the main row leaving it, its stop rows, then its transfer pairs.
bool add_route_rows(builder& b, const route_head& rt) {
  b.NL0 = b.t.NLPT;
  int32_t L = 0;  // road link of the segment that arrived at node i (0: none)
  for (int32_t i = 1; i <= rt.NodeNo; ++i) {
    if (i < rt.NodeNo) {
      L = add_main_row(b, rt, i);
      if (L == TABLE_FULL) return false;
      if (L == 0) continue;
    }
    if (!stops_at(b, i, L)) continue;
    const int64_t code = b.NWORK(i, NW_CODE);
    if (!add_stop_rows(b, rt, code)) return false;
    if (rt.Mode >= 7 && code > 0 && !add_transfer_rows(b, rt, code)) return false;  // rail modes
  }
  return true;
}

// Route lines with their node lines to the end of the file; false on a fatal finding.
bool add_routes(builder& b) {
  for (;;) {
    route_head rt;
    if (!read_free_or_fail(b.routes, {&rt.ID, &rt.Seq, &rt.Mode, &rt.Freq, &rt.NodeNo})) return true;
    if (rt.ID > LBSIZE) {
      say(b.LOG, {" ** ERROR ** Bus Route ID is over than Program"});
      say_record(b.LOG, b.routes);
      say_source(b, int64_t(unit_line(b.routes)));
      say(b.LOG, {" Max.ID =", LBSIZE});
      raise_level(b.IERR, 9);
      return false;
    }
    rt.line = int64_t(unit_line(b.routes));
    bool usable = take_route_line(b, rt, rt.line);
    if (!read_route_nodes(b, rt, usable)) return false;
    if (!usable || rt.NodeNo <= 0) continue;
    mark_repeated_nodes(b, rt.NodeNo);
    if (!add_route_rows(b, rt)) return false;
  }
}

}  // namespace

void GETBUSLINK(SharedTables& t, const Settings& set, const StageRecord& stage, const FileNames& FN,
                int LOG, int16_t& IERR) {
  IERR = 0;
  const std::string route_name = pad(FN[1], 40);
  builder b{t, set.MODEPT, stage.TVALUE, LOG, IERR, trim(route_name)};
  if (!allocate_work(b)) return;

  read_od_list(FN[3], t.ODPT, LOG, IERR);
  read_modes(FN[4], t.MODTAB, LOG, IERR);
  b.LFLG.fill(0);
  read_fares(FN[2], t.RTFARE, b.LFLG, LOG, IERR);
  if (IERR >= 9) return;
  index_existing_rows(b);

  b.listing = free_unit();
  if (!open_write(b.listing, "BusEdit2.csv")) {
    say(LOG, {" *** ERROR *** Can not create BusEdit2.csv"});
    raise_level(IERR, 9);
    return;
  }
  unit_closer close_listing(b.listing);
  write_line(b.listing, "Route,No,A-Node,B-Node,Mode,Frequency,Speed,");
  b.listing_fmt = Format::parse("(I5,',',I3,',',2(I6,','),I2,',',F5.1,',',I3,',')");
  OUTTIME(LOG);
  say(LOG, {" Now generating bus route and dummy links..."});

  b.routes = free_unit();
  if (!open_read(b.routes, b.route_file)) {
    say(LOG, {" *** ERROR *** Can not find ", b.route_file});
    raise_level(IERR, 9);
    return;
  }
  unit_closer close_routes(b.routes);
  t.NROUTE = 0;
  if (!check_header(b.routes, b.route_file, LOG, IERR)) return;
  if (!add_routes(b)) return;

  close_unit(b.routes);
  close_unit(b.listing);
  say_fmt(LOG, "('  Link: Total=',I6,',Route=',I6,',Get-On=',I6,',Get-Off=',I6,',Transfer=',I6)",
          {t.NLPT, b.made[MAIN_ROW], b.made[GET_ON_ROW], b.made[GET_OFF_ROW], b.made[TRANSFER_ROW]});
}

}  // namespace routava
