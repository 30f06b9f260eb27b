// Transit assignment: the stage's person trips, all-or-nothing, on the
// minimum paths of LNKPT (walking on road rows, riding on route rows).
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "road/Dijkstra.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"
#include "transit_assign/TransitOutput.hpp"

namespace routava {
namespace {

constexpr int MROUTE_SIZE = 1000;  // steps of a traced path; grown for longer paths

struct Arrays {
  Table<float> WORK;           // (LR, 30): persons 1..10, person-km 11..20, person-hours 21..30
  Vec<float> FOOT;             // persons walking along each road link
  Vec<int32_t> MROUTE;         // route of each step; 0 for walk, transfer and ride
  Table<int32_t> OD;           // OD(origin, destination), persons
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
  NetTable& LNKPT;
  int32_t NLPT;
  const LinkTable& LINK;
  int32_t NLROAD;
  const Vec<int16_t>& RTMODE;
  const RealTable& RTFARE;
  const CentTable& NCENT;
  int32_t NNODE;
  Arrays& a;
  TransitFiles& tf;
  const Settings& set;
  const MessageFormats& msg;
  int LOG;
};

void report_alloc(int LOG, const char* what) {
  say_line(LOG, " === SUBROUTINE BusAssign =======");
  say(LOG, {what, ALLOC_STATUS});
}

bool allocate(Arrays& a, int32_t NLROAD, int32_t NZ, int LOG) {
  const int32_t LR = std::max<int32_t>(NLROAD, 0);
  const int32_t nz = std::max<int32_t>(NZ, 0);
  try {
    a.WORK.resize(LR, 3 * NVTYPE);
  } catch (const std::bad_alloc&) {
    report_alloc(LOG, " WORK(LR,10,3) allocation error");
    return false;
  }
  try {
    a.FOOT.resize(LR, 0.0f);
  } catch (const std::bad_alloc&) {
    report_alloc(LOG, " FOOT(LR) allocation error");
    return false;
  }
  try {
    a.MROUTE.resize(MROUTE_SIZE, 0);
  } catch (const std::bad_alloc&) {
    report_alloc(LOG, " MROUTE(1000) allocation error");
    return false;
  }
  try {
    a.OD.resize(nz, nz);
  } catch (const std::bad_alloc&) {
    report_alloc(LOG, " OD(NZ,NZ) allocation error");
    return false;
  }
  try {
    a.TREE.resize(NODESZ, 5);
  } catch (const std::bad_alloc&) {
    report_alloc(LOG, " TREE(98000,5) allocation error");
    return false;
  }
  return true;
}

// Truncation of a single-precision value to a 32-bit count, clamped so that
// absurd trip numbers cannot overflow.
int32_t truncate_to_int(float x) {
  if (!std::isfinite(x)) return 0;
  const double lo = double(std::numeric_limits<int32_t>::min());
  const double hi = double(std::numeric_limits<int32_t>::max());
  return int32_t(std::clamp(double(x), lo, hi));
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

void read_od_tables(const StageRecord& stage, const Vec<std::string>& ODPT, int32_t NZ, int unit,
                    int LOG, Table<int32_t>& OD) {
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
      pause_for_enter();
      continue;
    }
    const float factor = stage.FODTAB[size_t(k)];
    int32_t record = 0;
    for (;;) {
      int32_t O = 0, D = 0, T = 0;
      if (!read_free_or_fail(unit, {&O, &D, &T})) break;
      ++record;
      if (O < 1 || D < 1) {
        say_fmt(LOG, bad_pair, {record, O, D, T});
        say(LOG, {"   in ", name, " line", int32_t(unit_line(unit))});
        continue;
      }
      if (O > NZ || D > NZ) continue;
      OD(O, D) = add_clamped(OD(O, D), truncate_to_int(float(T) * factor / 100.0f + 0.5f));
    }
    close_unit(unit);
  }
}

void announce_origin(const MessageFormats& msg, int32_t o, const std::string& fname3, int16_t KDEBUG,
                     int LOG) {
  const char* stars = "**********************";
  write_line(SCREEN, stars);
  write_fmt(SCREEN, msg.zone, {o, fname3});
  write_line(SCREEN, stars);
  if (KDEBUG >= 1) {
    write_fmt(LOG, msg.home, {o, fname3});
    OUTTIME(LOG);
  } else {
    OUTTIME(0);
  }
}

// A path longer than the step table doubles it, keeping the steps traced so far.
void grow(Vec<int32_t>& steps) {
  Vec<int32_t> bigger(2 * steps.size(), 0);
  std::copy(steps.data(), steps.data() + steps.size(), bigger.data());
  steps = std::move(bigger);
}

void unreachable_pair(TraceContext& c, int32_t o, int32_t d, int32_t T, int32_t n, int16_t& IERR) {
  if (c.set.KDEBUG >= 1) {
    const int64_t code = (n >= 1 && n <= c.a.TREE.rows()) ? c.a.TREE(n, 1) : int64_t(d);
    say_fmt(c.LOG, c.msg.isolated, {code});
  }
  IERR = 1;
  write_error_record(c.tf, o, d, T);
}

// Walks the tree from d's centroid back to o, loading T persons on every row.
void trace_pair(TraceContext& c, int32_t o, int32_t d, int32_t T, bool searched, int16_t& IERR) {
  Arrays& a = c.a;
  PairSums sum;
  c.tf.pending_ramp = 0;  // a ramp left pending by the previous pair never pairs with this one
  int32_t n = c.NCENT(d, 2);
  if (!searched || n < 1 || a.TREE(n, 2) <= 0) {
    unreachable_pair(c, o, d, T, n, IERR);
    return;
  }
  const bool write_path = c.tf.path_open && (T > 0 || c.set.KPATHALL >= 1);
  for (int32_t s = 1;; ++s) {
    const int64_t r = a.TREE(n, 4);
    if (r < 1 || r > c.NLPT || s > c.NNODE) {  // not a tree path: never load past it
      unreachable_pair(c, o, d, T, n, IERR);
      return;
    }
    if (s > a.MROUTE.size()) grow(a.MROUTE);
    const int64_t R = c.LNKPT(int32_t(r), 1);
    const int64_t P = a.TREE(n, 2);
    const int64_t Q = a.TREE(n, 1);
    c.LNKPT(int32_t(r), 8) += T;
    const int64_t Proute = P / ROUTE_BASE, Pnode = P % ROUTE_BASE;
    const int64_t Qroute = Q / ROUTE_BASE, Qnode = Q % ROUTE_BASE;
    const bool on_road = R >= 1 && R <= c.NLROAD;
    const int32_t k = on_road ? int32_t(R) : 0;

    if (on_road) {
      if (c.tf.screen_open && c.LINK(k, 10) > 0 && T > 0) write_screen_record(c.tf, c.LINK(k, 10), o, d, T);
      if (c.tf.ramp_open && c.LINK(k, 11) > 0) ramp_step(c.tf, c.LINK(k, 11), T);
    }

    PathStep st;
    st.link = R;
    st.o_node = Pnode;
    st.d_node = Qnode;
    st.trips = T;
    st.o = o;
    st.d = d;
    st.seq = s;
    const int64_t imp = c.LNKPT(int32_t(r), 4);
    const int64_t time = c.LNKPT(int32_t(r), 6);
    auto mode_of = [&](int64_t route) -> int32_t {
      return (route >= 1 && route <= c.RTMODE.size()) ? c.RTMODE(int32_t(route)) : 0;
    };
    auto fare_of = [&](int64_t route, int col) -> float {
      return (route >= 1 && route <= c.RTFARE.rows()) ? c.RTFARE(int32_t(route), col) : 0.0f;
    };

    if (Proute == 0 && Qroute == 0) {
      st.kind = StepKind::WALK;
      a.MROUTE(s) = 0;
      if (on_road) a.FOOT(k) += float(T);
      sum.walking += imp;
      st.time = imp;
    } else if (Proute == 0) {
      st.kind = StepKind::GET_ON;
      a.MROUTE(s) = int32_t(Qroute);
      sum.get_on += 1;
      sum.impedance += imp;
      sum.travel += time;
      sum.waiting += time;
      sum.fare += fare_of(Qroute, 1);
      st.route = Qroute;
      st.mode = mode_of(Qroute);
      st.time = time;
    } else if (Qroute == 0) {
      st.kind = StepKind::GET_OFF;
      a.MROUTE(s) = int32_t(Proute);
      st.route = Proute;
      st.mode = mode_of(Proute);
      // Walked backwards, the step before is the route boarded next.
      st.next_route = (s > 1 && a.MROUTE(s - 1) > 0) ? a.MROUTE(s - 1) : 0;
      st.time = 0;
    } else if (R <= 0) {
      st.kind = StepKind::TRANSFER;
      a.MROUTE(s) = 0;
      sum.get_on += 1;
      sum.impedance += imp;
      sum.travel += time;
      sum.waiting += time;
      st.route = Proute;
      st.mode = mode_of(Proute);
      st.next_route = Qroute;
      st.time = time;
    } else {
      st.kind = StepKind::RIDE;
      a.MROUTE(s) = 0;
      sum.impedance += imp;
      sum.travel += time;
      st.route = Proute;
      st.mode = mode_of(Proute);
      st.time = time;
      if (on_road) {
        const float km = float(c.LINK(k, 7)) / 1000.0f;
        sum.distance_km += km;
        sum.fare += fare_of(Proute, 2) * km;
        const int32_t m = st.mode;
        if (m >= 1 && m <= NVTYPE) {
          a.WORK(k, m) += float(T);
          a.WORK(k, NVTYPE + m) += float(T) * km;
          a.WORK(k, 2 * NVTYPE + m) += float(time * T) / 6000.0f;
        }
      }
    }

    if (write_path) write_path_record(c.tf, st);
    // The origin is the centroid itself; a route node at the same road node is
    // not the end of the path.
    if (P == o) {
      write_impedance_record(c.tf, o, d, T, sum);
      return;
    }
    n = int32_t(a.TREE(n, 5));
    if (n < 1 || n > c.NNODE || a.TREE(n, 2) <= 0) {
      unreachable_pair(c, o, d, T, n, IERR);
      return;
    }
  }
}

bool write_link_volumes(const TransitFiles& tf, const std::string& fname3, int16_t MODEPT,
                        const RealTable& MODTAB, int32_t NLROAD, LinkTable& LINK, const Arrays& a,
                        int LOG) {
  const std::string name(trim(fname3));
  if (!open_write(tf.U1, name)) {
    say_line(LOG, " === SUBROUTINE BusAssign =======");
    say_line(LOG, " *** Error *** Can not create the file " + name);
    return false;
  }
  const LinkVolumeFormats f = link_volume_formats();
  write_line(tf.U1, link_volume_header());
  for (int32_t k = 1; k <= NLROAD; ++k) {
    // Rail modes 7..10 never load the road.
    float pcu = 0.0f;
    for (int m = 1; m <= 6; ++m) {
      if (MODTAB(m, 2) > 0.0f) pcu += MODTAB(m, 1) * a.WORK(k, m) / MODTAB(m, 2);
    }
    if (MODEPT == 1) LINK(k, 9) = add_clamped(LINK(k, 9), truncate_to_int(pcu + 0.5f));
    float km = 0.0f, hours = 0.0f;
    for (int m = 1; m <= NVTYPE; ++m) {
      km += a.WORK(k, NVTYPE + m);
      hours += a.WORK(k, 2 * NVTYPE + m);
    }
    const int32_t speed = hours > 0.0f ? truncate_to_int(km / hours + 0.5f) : 0;
    write_link_volume_record(tf.U1, f, LINK, k, speed, a.WORK, a.FOOT(k));
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

void BUSASSIGN(Settings& set, const FileNames& FN, const StageRecord& stage,
               const Vec<std::string>& ODPT, const RealTable& MODTAB, int32_t NLROAD,
               LinkTable& LINK, const CentTable& NCENT, const Vec<int16_t>& RTMODE,
               const Vec<float>& /*RTFREQ*/, const RealTable& RTFARE, int16_t& IERR, int LOG,
               int32_t NLPT, int32_t NNODE, int32_t NZ, NetTable& LNKPT, const NodeTable& NODTBL,
               int32_t NCUT, const CutTable& LCUT) {
  IERR = 0;
  Arrays a;
  if (!allocate(a, NLROAD, NZ, LOG)) {
    IERR = 9;
    return;
  }
  TransitFiles tf;
  choose_transit_units(tf);

  read_od_tables(stage, ODPT, NZ, tf.U1, LOG, a.OD);
  say_banner(LOG, " Start of Transit Assignment");
  if (set.KDEBUG < 1) set.KHOME = 1;
  if (!open_transit_files(tf, FN, set, LOG)) {
    IERR = 9;
    return;
  }
  OUTTIME(LOG);

  SearchWork search;
  const SearchNet net{NODTBL, NNODE, LNKPT, LCUT, NCUT, stage.KSW, NZ};
  const MessageFormats msg;
  TraceContext c{LNKPT, NLPT, LINK, NLROAD, RTMODE, RTFARE, NCENT, NNODE, a, tf, set, msg, LOG};
  bool aborted = false;
  for (int32_t o = std::max<int32_t>(set.KHOME, 1); o <= NZ; ++o) {
    int64_t total = 0;
    for (int32_t d = 1; d <= NZ; ++d) total += a.OD(o, d);
    if (total <= 0 && set.KSRCH < 1) continue;

    announce_origin(msg, o, FN[3], set.KDEBUG, LOG);
    const int32_t origin_node = NCENT(o, 2);
    // A centroid without leaving links cannot be searched from (the node table
    // has reported it); its pairs go to the error file.
    const bool searched = origin_node >= 1;
    if (searched) {
      DIJKSTRA(net, o, origin_node, LOG, set.KDEBUG, a.TREE, search, IERR);
    }
    if (set.KDEBUG >= 1) {
      OUTTIME(LOG);
      write_line(LOG, "");
    }
    if (IERR >= 9) {
      aborted = true;
      break;
    }
    for (int32_t d = 1; d <= NZ; ++d) {
      if (d == o) continue;
      const int32_t T = a.OD(o, d);
      if (T <= 0 && set.KIMPALL < 1) continue;
      trace_pair(c, o, d, T, searched, IERR);
    }
  }

  close_transit_files(tf);
  if (!aborted && !write_link_volumes(tf, FN[3], set.MODEPT, MODTAB, NLROAD, LINK, a, LOG)) IERR = 9;

  write_line(SCREEN, " -------------------------------------");
  OUTTIME(LOG);
  say_line(LOG, " End of PT Assignment on Transit Modes");
  write_line(SCREEN, " -------------------------------------");
}

}  // namespace routava
