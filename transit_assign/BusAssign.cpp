// Transit assignment: the stage's person trips, all-or-nothing, on the
// minimum paths of LNKPT (walking on road rows, riding on route rows).
#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "road/OriginTrees.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"
#include "transit_assign/TransitOutput.hpp"

namespace routava {
namespace {

constexpr std::string_view NAME = "BusAssign";
constexpr int MROUTE_SIZE = 1000;  // steps of a traced path; grown for longer paths

struct Arrays {
  Table<float> WORK;    // (LR, work_col(plane, mode)): persons, person-km, person-hours
  Vec<float> FOOT;      // persons walking along each road link
  Vec<int32_t> MROUTE;  // route of each step; 0 for walk, transfer and ride
  Table<int32_t> OD;    // OD(origin, destination), persons
  TreeTable TREE;
};

// Console lines of the call, parsed once.
struct MessageFormats {
  Format zone = Format::parse("(\" Assignment Zone =\",I4,3X,\"for\",1X,A40)");
  Format home = Format::parse("(\" HOME =\",I4,3X,\"for\",1X,A40)");
  Format isolated = Format::parse("(\" Node(\",I12,\") is isolated from Network\")");
};

// What the trace of one pair works on.
struct TraceContext {
  SharedTables& t;
  Arrays& a;
  TransitFiles& tf;
  const Settings& set;
  const MessageFormats& msg;
  int LOG;
};

// The arrays in the order the design allocates them; the first that cannot be had is named.
bool allocate(Arrays& a, const SharedTables& t, int LOG, int16_t& IERR) {
  const int32_t LR = std::max<int32_t>(t.NLROAD, 0);
  const int32_t nz = std::max<int32_t>(t.NZ, 0);
  const char* what = " WORK(LR,10,3) allocation error";
  try {
    a.WORK.resize(LR, PT_WORK_COLS);
    what = " FOOT(LR) allocation error";
    a.FOOT.resize(LR, 0.0f);
    what = " MROUTE(1000) allocation error";
    a.MROUTE.resize(MROUTE_SIZE, 0);
    what = " OD(NZ,NZ) allocation error";
    a.OD.resize(nz, nz);
    what = " TREE(98000,5) allocation error";
    a.TREE.resize(NODESZ, TREE_COLS);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, NAME, what, IERR);
    return false;
  }
  return true;
}

int32_t add_clamped(int32_t a, int32_t b) {
  const int64_t s = int64_t(a) + int64_t(b);
  return int32_t(std::clamp<int64_t>(s, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

// A missing OD file stops for the user to see it; at the end of the input the
// run goes on at once.
void pause_for_enter() {
  std::string line;
  (void)read_line(KEYBOARD, line);
}

// The stage's PT OD tables, scaled by their factors, summed into OD (NZ by NZ) through unit U1.
void read_od_tables(const StageRecord& stage, const Vec<std::string>& ODPT, const TransitFiles& tf, int LOG,
                    Table<int32_t>& OD) {
  const int unit = tf.U1;
  const int32_t NZ = OD.rows();
  const Format bad_pair = Format::parse("(\" *** Error OD pair at Record (\",I6,\")  value = \",2I4,I7)");
  const int ntab = std::clamp<int32_t>(stage.NODTAB, 0, 10);
  for (int k = 1; k <= ntab; ++k) {
    const int id = stage.IODTAB[size_t(k)];
    if (id < 1 || id > ODPT.size()) {
      say(LOG, {" *** Error *** Not Exist OD File (table number", int32_t(id), ")"});
      pause_for_enter();
      continue;
    }
    const std::string name(trim(ODPT(id)));
    if (name.empty() || !file_exists(name) || !open_read(unit, name)) {
      say_line(LOG, " *** Error *** Not Exist OD File " + name);
      if (name.empty()) {
        say(LOG, {"    OD table", int32_t(id), " of stage", stage.KSTAGE, " (Assign.txt) has no file in PTOD.txt"});
      } else {
        say(LOG, {"    the file of OD table", int32_t(id), " in PTOD.txt"});
      }
      pause_for_enter();
      continue;
    }
    const float factor = stage.FODTAB[size_t(k)];
    int32_t record = 0;
    RecordTally outside, negative;
    for (;;) {
      int32_t O = 0, D = 0, T = 0;
      if (!read_free_or_fail(unit, {&O, &D, &T})) break;
      ++record;
      if (O < 1 || D < 1) {
        say_fmt(LOG, bad_pair, {record, O, D, T});
        say(LOG, {"   in ", name, " line", int32_t(unit_line(unit))});
        continue;
      }
      if (O > NZ || D > NZ) {
        tally_record(outside, unit);
        continue;
      }
      if (T < 0) tally_record(negative, unit);
      OD(O, D) = add_clamped(OD(O, D), truncate_to_int(float(T) * factor / 100.0f + 0.5f));
    }
    say_od_tallies(LOG, name, record == 0, NZ, outside, negative);
    close_unit(unit);
  }
}

// ---- tracing one pair

// A path longer than the step table doubles it, keeping the steps traced so far.
void grow(Vec<int32_t>& steps) {
  Vec<int32_t> bigger(2 * steps.size(), 0);
  std::copy(steps.data(), steps.data() + steps.size(), bigger.data());
  steps = std::move(bigger);
}

void unreachable_pair(TraceContext& c, const TripPair& pair, int32_t n, int16_t& IERR) {
  if (c.set.KDEBUG >= 1) {
    const int64_t code = (n >= 1 && n <= c.a.TREE.rows()) ? c.a.TREE(n, TREE_CODE) : int64_t(pair.d);
    say_fmt(c.LOG, c.msg.isolated, {code});
  }
  IERR = 1;
  write_error_record(c.tf, pair);
}

// A node the search reached from the origin (the origin itself has no predecessor).
bool reached(const TraceContext& c, int32_t n) {
  return n >= 1 && n <= c.t.NNODE && c.a.TREE(n, TREE_PRED_CODE) > 0;
}

int32_t mode_of(const TraceContext& c, int64_t route) {
  return (route >= 1 && route <= c.t.RTMODE.size()) ? c.t.RTMODE(int32_t(route)) : 0;
}

float fare_of(const TraceContext& c, int64_t route, int col) {
  return (route >= 1 && route <= c.t.RTFARE.rows()) ? c.t.RTFARE(int32_t(route), col) : 0.0f;
}

// Walk, boarding, alighting, transfer or ride, by the routes of the step's two nodes.
StepKind step_kind(int64_t Proute, int64_t Qroute, int64_t R) {
  if (Proute == 0) return Qroute == 0 ? StepKind::WALK : StepKind::GET_ON;
  if (Qroute == 0) return StepKind::GET_OFF;
  return R <= 0 ? StepKind::TRANSFER : StepKind::RIDE;
}

// Screen-line and ramp counts of a step on road link k.
void count_crossings(TraceContext& c, int32_t k, const TripPair& pair) {
  const int32_t screen = c.t.LINK(k, LINK_SCREEN);
  const int32_t ramp = c.t.LINK(k, LINK_RAMP);
  if (c.tf.screen_open && screen > 0 && pair.trips > 0) write_screen_record(c.tf, screen, pair);
  if (c.tf.ramp_open && ramp > 0) ramp_step(c.tf, ramp, pair);
}

// Boarding a route, from the street or from another route.
void board(PairSums& sum, int64_t impedance, int64_t time) {
  sum.get_on += 1;
  sum.impedance += impedance;
  sum.travel += time;
  sum.waiting += time;
}

// Riding road link k: the pair's distance and fare, and the link's riders by mode.
void ride(TraceContext& c, int32_t k, const TransitStep& st, int64_t time, PairSums& sum) {
  const float km = float(c.t.LINK(k, LINK_LENGTH)) / 1000.0f;
  sum.distance_km += km;
  sum.fare += fare_of(c, st.route, FARE_PER_KM) * km;
  const int32_t m = st.mode;
  if (m < 1 || m > NVTYPE) return;
  const int32_t T = st.pair.trips;
  c.a.WORK(k, work_col(PERSONS, m)) += float(T);
  c.a.WORK(k, work_col(PERSON_KM, m)) += float(T) * km;
  c.a.WORK(k, work_col(PERSON_HOURS, m)) += float(time * T) / 6000.0f;
}

// Loads the pair's trips on the row that reaches node n (a node of the tree)
// and adds the step to the pair's sums; st arrives with the pair and the step
// number filled in.
void take_step(TraceContext& c, int32_t n, TransitStep& st, PairSums& sum) {
  Arrays& a = c.a;
  int64_t* row = c.t.LNKPT.row(int32_t(a.TREE(n, TREE_ROW)));
  row[LNK_LOAD - 1] += st.pair.trips;
  const int64_t R = row[LNK_ROAD - 1];
  const int64_t imp = row[LNK_IMPEDANCE - 1];
  const int64_t time = row[LNK_TIME - 1];
  const int64_t P = a.TREE(n, TREE_PRED_CODE);
  const int64_t Q = a.TREE(n, TREE_CODE);
  const int64_t Proute = P / ROUTE_BASE, Qroute = Q / ROUTE_BASE;
  const bool on_road = R >= 1 && R <= c.t.NLROAD;
  const int32_t k = on_road ? int32_t(R) : 0;
  if (on_road) count_crossings(c, k, st.pair);

  st.link = R;
  st.o_node = P % ROUTE_BASE;
  st.d_node = Q % ROUTE_BASE;
  st.kind = step_kind(Proute, Qroute, R);
  const int32_t s = st.seq;
  a.MROUTE(s) = 0;
  switch (st.kind) {
    case StepKind::WALK:
      if (on_road) a.FOOT(k) += float(st.pair.trips);
      sum.walking += imp;
      st.time = imp;
      break;
    case StepKind::GET_ON:
      a.MROUTE(s) = int32_t(Qroute);
      board(sum, imp, time);
      sum.fare += fare_of(c, Qroute, FARE_FLAT);
      st.route = Qroute;
      st.mode = mode_of(c, Qroute);
      st.time = time;
      break;
    case StepKind::GET_OFF:
      a.MROUTE(s) = int32_t(Proute);
      st.route = Proute;
      st.mode = mode_of(c, Proute);
      // Walked backwards, the step before is the route boarded next.
      st.next_route = (s > 1 && a.MROUTE(s - 1) > 0) ? a.MROUTE(s - 1) : 0;
      st.time = 0;
      break;
    case StepKind::TRANSFER:
      board(sum, imp, time);
      st.route = Proute;
      st.mode = mode_of(c, Proute);
      st.next_route = Qroute;
      st.time = time;
      break;
    case StepKind::RIDE:
      sum.impedance += imp;
      sum.travel += time;
      st.route = Proute;
      st.mode = mode_of(c, Proute);
      st.time = time;
      if (on_road) ride(c, k, st, time, sum);
      break;
  }
}

// Walks the tree from d's centroid back to o, loading the pair's trips on every row.
void trace_pair(TraceContext& c, const TripPair& pair, bool searched, int16_t& IERR) {
  c.tf.pending_ramp = 0;  // a ramp left pending by the previous pair never pairs with this one
  int32_t n = c.t.NCENT(pair.d, CENT_NODE);
  if (!searched || !reached(c, n)) {
    unreachable_pair(c, pair, n, IERR);
    return;
  }
  const bool write_path = c.tf.path_open && (pair.trips > 0 || c.set.KPATHALL >= 1);
  PairSums sum;
  for (int32_t s = 1;; ++s) {
    const int64_t r = c.a.TREE(n, TREE_ROW);
    if (r < 1 || r > c.t.NLPT || s > c.t.NNODE) {  // not a tree path: never load past it
      unreachable_pair(c, pair, n, IERR);
      return;
    }
    if (s > c.a.MROUTE.size()) grow(c.a.MROUTE);
    TransitStep st;
    st.pair = pair;
    st.seq = s;
    take_step(c, n, st, sum);
    if (write_path) write_path_record(c.tf, st);
    // The origin is the centroid itself; a route node at the same road node is
    // not the end of the path.
    if (c.a.TREE(n, TREE_PRED_CODE) == pair.o) {
      write_impedance_record(c.tf, pair, sum);
      return;
    }
    n = int32_t(c.a.TREE(n, TREE_PRED));
    if (!reached(c, n)) {
      unreachable_pair(c, pair, n, IERR);
      return;
    }
  }
}

// ---- the origin loop and the link volumes

void announce_origin(const TraceContext& c, int32_t o, const std::string& fname3) {
  const char* stars = "**********************";
  write_line(SCREEN, stars);
  write_fmt(SCREEN, c.msg.zone, {o, fname3});
  write_line(SCREEN, stars);
  if (c.set.KDEBUG >= 1) {
    write_fmt(c.LOG, c.msg.home, {o, fname3});
    OUTTIME(c.LOG);
  } else {
    OUTTIME(0);
  }
}

bool has_trips(const Table<int32_t>& OD, int32_t o, int32_t NZ) {
  int64_t total = 0;
  for (int32_t d = 1; d <= NZ; ++d) total += OD(o, d);
  return total > 0;
}

// One tree per origin and the trace of its pairs; false when a search ran out
// of work storage.
bool assign_origins(TraceContext& c, const StageRecord& stage, const std::string& fname3, int16_t& IERR) {
  const SharedTables& t = c.t;
  const Settings& set = c.set;
  SearchWork search;
  SearchNet net{t.NODTBL, t.NNODE, t.LNKPT, t.LCUT, t.NCUT, stage.KSW, t.NZ};
  SearchGraph graph;
  if (build_search_graph(net, graph)) net.graph = &graph;
  const int32_t first = std::max<int32_t>(set.KHOME, 1);
  auto wanted = [&](int32_t o) { return has_trips(c.a.OD, o, t.NZ) || set.KSRCH >= 1; };
  // A centroid without leaving links cannot be searched from (the node table
  // has reported it); its pairs go to the error file.
  auto origin_node = [&](int32_t o) { return t.NCENT(o, CENT_NODE); };
  std::unique_ptr<OriginTrees> ahead;
  if (set.threads > 1) {
    std::vector<OriginJob> jobs;
    for (int32_t o = first; o <= t.NZ; ++o)
      if (wanted(o) && origin_node(o) >= 1) jobs.push_back(OriginJob{o, origin_node(o)});
    ahead = start_origin_trees(net, std::move(jobs), set.threads, c.a.TREE.rows());
  }
  for (int32_t o = first; o <= t.NZ; ++o) {
    if (!wanted(o)) continue;
    announce_origin(c, o, fname3);
    const bool searched = origin_node(o) >= 1;
    if (searched && (!ahead || !take_origin_tree(*ahead, o, c.a.TREE, c.LOG, set.KDEBUG, IERR)))
      DIJKSTRA(net, o, origin_node(o), c.LOG, set.KDEBUG, c.a.TREE, search, IERR);
    if (set.KDEBUG >= 1) {
      OUTTIME(c.LOG);
      write_line(c.LOG, "");
    }
    if (IERR >= 9) return false;
    for (int32_t d = 1; d <= t.NZ; ++d) {
      const int32_t T = c.a.OD(o, d);
      if (d == o || (T <= 0 && set.KIMPALL < 1)) continue;
      trace_pair(c, TripPair{o, d, T}, searched, IERR);
    }
  }
  return true;
}

// Writes the link volume file; with loading mode 1 the riders of road-going
// modes are added to the links as PCU first.
bool write_link_volumes(TraceContext& c, const std::string& fname3) {
  const TransitFiles& tf = c.tf;
  SharedTables& t = c.t;
  const Arrays& a = c.a;
  if (!open_result_file(tf.U1, fname3, c.LOG)) return false;
  const RealTable& MODTAB = t.MODTAB;
  const LinkVolumeFormats f = link_volume_formats();
  write_line(tf.U1, link_volume_header());
  for (int32_t k = 1; k <= t.NLROAD; ++k) {
    // Rail modes 7..10 never load the road.
    float pcu = 0.0f;
    for (int m = 1; m <= 6; ++m) {
      const float average = MODTAB(m, MODE_AVE);
      if (average > 0.0f) pcu += MODTAB(m, MODE_PCU) * a.WORK(k, work_col(PERSONS, m)) / average;
    }
    int32_t& volume = t.LINK(k, LINK_VOLUME);
    if (c.set.MODEPT == 1) volume = add_clamped(volume, truncate_to_int(pcu + 0.5f));
    write_link_volume_record(tf.U1, f, t.LINK, k, a.WORK, a.FOOT);
  }
  close_unit(tf.U1);
  return true;
}

void say_banner(int LOG, const char* title) {
  say_line(LOG, " ===========================");
  say_line(LOG, title);
  say_line(LOG, " ===========================");
}

}  // namespace

void BUSASSIGN(SharedTables& t, Settings& set, const StageRecord& stage, const FileNames& FN, int LOG,
               int16_t& IERR) {
  IERR = 0;
  Arrays a;
  if (!allocate(a, t, LOG, IERR)) return;
  TransitFiles tf;
  choose_transit_units(tf);

  read_od_tables(stage, t.ODPT, tf, LOG, a.OD);
  say_banner(LOG, " Start of Transit Assignment");
  if (set.KDEBUG < 1) set.KHOME = 1;
  if (!open_transit_files(tf, FN, set, LOG)) {
    raise_level(IERR, 9);
    return;
  }
  OUTTIME(LOG);

  const MessageFormats msg;
  TraceContext c{t, a, tf, set, msg, LOG};
  const bool completed = assign_origins(c, stage, FN[3], IERR);
  close_transit_files(tf);
  if (completed && !write_link_volumes(c, FN[3])) raise_level(IERR, 9);

  write_line(SCREEN, " -------------------------------------");
  OUTTIME(LOG);
  say_line(LOG, " End of PT Assignment on Transit Modes");
  write_line(SCREEN, " -------------------------------------");
}

}  // namespace routava
