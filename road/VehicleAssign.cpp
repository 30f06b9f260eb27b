// VEHICLEASSIGN: all-or-nothing loading of one stage's vehicle OD tables on the road network.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "road/OriginTrees.hpp"
#include "road/VehicleOutput.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

namespace {

constexpr int NT = NVTYPE;

// Whole part of a real, held inside the 32-bit range so that absurd demand
// cannot wrap round into a negative count.
int32_t whole(double x) {
  if (!(x > -2147483648.0)) return x != x ? 0 : INT32_MIN;
  if (x >= 2147483647.0) return INT32_MAX;
  return int32_t(x);
}
int32_t add_sat(int32_t a, int32_t b) {
  return int32_t(std::clamp(int64_t(a) + int64_t(b), int64_t(INT32_MIN), int64_t(INT32_MAX)));
}

// OD(o,d,1..10) of a pair lie together, in the order of the scratch record.
struct Demand {
  int32_t NZ = 0;
  std::vector<int32_t> cells;
  const int32_t* pair(int32_t o, int32_t d) const {
    return cells.data() + (size_t(o - 1) * size_t(NZ) + size_t(d - 1)) * NT;
  }
  int32_t* pair(int32_t o, int32_t d) {
    return cells.data() + (size_t(o - 1) * size_t(NZ) + size_t(d - 1)) * NT;
  }
  // Vehicles of all types from o to d (64-bit, so that no sum wraps).
  int64_t total(int32_t o, int32_t d) const {
    const int32_t* v = pair(o, d);
    int64_t sum = 0;
    for (int t = 0; t < NT; ++t) sum += v[t];
    return sum;
  }
};

// The working storage of one call, released on return.
struct Storage {
  std::vector<float> work;  // WORK_COLS per road link
  Demand od;
  TreeTable TREE;
};

// Step 1: each array that cannot be had gives its message and 9 more in IERR.
void allocate(Storage& s, const SharedTables& t, int LOG, int16_t& IERR) {
  try {
    s.work.assign(size_t(std::max(t.NLROAD, 0)) * WORK_COLS, 0.0f);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, "VehicleAssign", " WORK(LR,10,3) allocation error", IERR);
  }
  try {
    s.od.NZ = std::clamp(t.NZ, 0, NZSIZE);
    s.od.cells.assign(size_t(s.od.NZ) * size_t(s.od.NZ) * NT, 0);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, "VehicleAssign", " OD(NZ,NZ,10) allocation error", IERR);
  }
  try {
    s.TREE.resize(NODESZ, TREE_COLS);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, "VehicleAssign", " TREE(NODESZ,5) allocation error", IERR);
  }
}

// Step 3: the stage's OD tables into the demand, marking the vehicle types read.
void read_od_tables(const StageRecord& stage, const SharedTables& t, int unit, Demand& od,
                    std::array<int, 11>& used, int LOG) {
  static const Format bad_pair =
      Format::parse("(' *** Error OD pair at Record (',I6,')  value = ',2I4,I7,'  in ',A)");
  const int ntab = std::clamp(int(stage.NODTAB), 0, NT);
  for (int k = 1; k <= ntab; ++k) {
    const int X = stage.IODTAB[size_t(k)];
    if (X < 1 || X > NODFSZ) {
      say(LOG, {" *** Error *** OD table", int32_t(X), " of stage", stage.KSTAGE,
                " is not in 1..100 (Assign.txt); the table is not loaded."});
      continue;
    }
    const std::string name(trim(t.ODVT(X)));
    if (!file_exists(name) || !open_read(unit, name)) {
      say(LOG, {" *** Error *** Not Exist OD File ", name});
      if (name.empty()) {
        say(LOG, {"    OD table", int32_t(X), " of stage", stage.KSTAGE, " (Assign.txt) has no file in RoadVTOD.txt"});
      } else {
        say(LOG, {"    the file of OD table", int32_t(X), " in RoadVTOD.txt"});
      }
      continue;
    }
    const int T = t.ODVTYP(X);
    if (T < 1 || T > NT) {
      close_unit(unit);
      say(LOG, {" *** Error *** Vehicle type", int32_t(T), " of OD table", int32_t(X),
                " is not in 1..10; not loaded: ", name});
      continue;
    }
    if (t.VPCU(T) <= 0.0f) {
      // Its trips would load nothing onto the roads.
      say(LOG, {" *** Warning *** Vehicle type", int32_t(T), " of OD table", int32_t(X), " (", name,
                ") has no PCU above 0 in RoadPCU.txt; its trips load no PCU."});
    }
    used[size_t(T)] = 1;
    const float pass = t.VPASS(T);
    const float factor = stage.FODTAB[size_t(k)];
    RecordTally outside, negative;
    int32_t rec = 1;
    for (;; ++rec) {
      int32_t O = 0;
      int32_t D = 0;
      int32_t N = 0;
      const ReadResult r = read_free(unit, {&O, &D, &N});
      if (r.end()) break;
      if (r.bad() || O < 1 || D < 1) {
        say_fmt(LOG, bad_pair, {rec, O, D, N, name});
        continue;
      }
      if (O > od.NZ || D > od.NZ) {
        tally_record(outside, unit);
        continue;
      }
      if (N < 0) tally_record(negative, unit);
      const float x = pass > 0.0f ? float(N) / pass : float(N);
      int32_t& cell = od.pair(O, D)[T - 1];
      cell = add_sat(cell, whole(double(x * factor / 100.0f + 0.5f)));
    }
    say_od_tallies(LOG, name, rec == 1, od.NZ, outside, negative);
    close_unit(unit);
  }
}

// What a path walk needs besides the pair.
struct Walk {
  const Settings& set;
  const SharedTables& t;
  TreeTable& TREE;  // the search's tree of the current origin
  float* work;
  VehicleFiles& vf;
};

// The sums of one pair's path while it is walked.
struct PathSums {
  int64_t impedance = 0;
  int64_t time = 0;
  float dist_km = 0.0f;
  float toll = 0.0f;
  int32_t pending = 0;  // outflow ramp met first, walking back from the destination
};

// Step 6.2: the pair's vehicles on road link a, reached by LNKVT row `row`.
void load_link(Walk& w, const PairLoad& pair, int32_t a, const int64_t* row, PathSums& sums) {
  const int32_t* link = w.t.LINK.row(a);
  const bool counted = field(link, LINK_CHARACTER) >= 1;  // character 0 or less: volume and toll only
  const float length = float(field(link, LINK_LENGTH));
  const int64_t link_time = field(row, LNK_TIME);
  if (counted) {
    sums.impedance += field(row, LNK_IMPEDANCE);
    sums.time += link_time;
    sums.dist_km += length / 1000.0f;
  }
  const int32_t tariff = field(link, LINK_TARIFF);
  if (tariff >= 1 && tariff <= w.t.TARIFF.rows())
    sums.toll += w.t.TARIFF(tariff, TARIFF_FLAT) + length * w.t.TARIFF(tariff, TARIFF_PER_KM) / 1000.0f;
  float* work = w.work + size_t(a - 1) * WORK_COLS;
  for (int t = 0; t < NT; ++t) {
    if (pair.v[t] == 0) continue;  // adding a zero would change nothing
    const float vt = float(pair.v[t]);
    work[WORK_VT + t] += vt;
    if (counted) {
      work[WORK_VTKM + t] += vt * length / 1000.0f;
      work[WORK_VTHOUR + t] += vt * float(link_time) / 6000.0f;
    }
  }
  const int32_t screen = field(link, LINK_SCREEN);
  if (w.vf.screen && screen >= 1) write_screen_record(w.vf, screen, pair);
  const int32_t ramp = field(link, LINK_RAMP);
  if (w.vf.ramp && ramp >= 1) {
    if (sums.pending == 0) {
      sums.pending = ramp;
    } else {
      write_ramp_record(w.vf, ramp, sums.pending, pair);
      sums.pending = 0;
    }
  }
}

// Step 6.4: the impedance record of a completed path.
void complete_pair(Walk& w, const PairLoad& pair, const PathSums& sums) {
  float pcu = 0.0f;
  for (int t = 0; t < NT; ++t) pcu += float(pair.v[t]) * w.t.VPCU(t + 1);
  write_impedance_record(w.vf, pair,
                         PairResult{whole(double(pcu + 0.5f)), sums.impedance, float(sums.time) / 100.0f,
                                    sums.dist_km, whole(double(sums.toll + 0.4999f))});
}

// Step 6: walks the tree from the centroid of d back to o, loading the pair and
// writing its records; false when d is unreached (`stop`: the node where the walk ended).
bool walk_pair(Walk& w, const PairLoad& pair, int64_t total, int64_t& stop) {
  const TreeTable& TREE = w.TREE;
  const int32_t NNODE = w.t.NNODE;
  const bool path = w.vf.path && (total > 0 || w.set.KPATHALL > 0);
  auto reached = [&](int64_t n) { return n >= 1 && n <= NNODE && TREE(int(n), TREE_PRED_CODE) > 0; };

  int64_t n = w.t.NCENT(pair.d, CENT_NODE);
  stop = pair.d;
  if (!reached(n)) {
    if (n >= 1 && n <= NNODE) stop = TREE(int(n), TREE_CODE);
    return false;
  }
  PathSums sums;
  for (int32_t rev = 1;; ++rev) {
    const int64_t* node = TREE.row(int(n));
    const int64_t p = field(node, TREE_PRED_CODE);
    const int64_t r = field(node, TREE_ROW);
    const int64_t* row = (r >= 1 && r <= w.t.NLVT) ? w.t.LNKVT.row(int(r)) : nullptr;
    const int64_t a = row ? field(row, LNK_ROAD) : 0;
    if (a >= 1 && a <= w.t.NLROAD) load_link(w, pair, int32_t(a), row, sums);
    if (path) {
      write_path_record(w.vf, PathStep{a, p, field(node, TREE_CODE), row ? field(row, LNK_TIME) : 0, rev},
                        pair);
    }
    if (p == pair.o) break;
    n = field(node, TREE_PRED);
    // A sound tree never cycles; the bound only guards against a broken one.
    if (!reached(n) || rev > NNODE) {
      stop = (n >= 1 && n <= NNODE) ? TREE(int(n), TREE_CODE) : p;
      return false;
    }
  }
  complete_pair(w, pair, sums);
  return true;
}

// Steps 5 to 7, origin by origin: search, then walk every destination. False when
// the search ran out of work storage (IERR 9): the remaining origins are not searched.
bool load_origins(Walk& w, const StageRecord& stage, const Demand& od, const std::string& FNAME3,
                  int LOG, int16_t& IERR) {
  static const Format zone_line = Format::parse("(' Assignment Zone =',I4,3X,'for',1X,A40)");
  static const Format isolated = Format::parse("(' Node(',I12,') is isolated from Network')");
  const SharedTables& t = w.t;
  const Settings& set = w.set;
  SearchWork search;
  SearchNet net{t.NODTBL, t.NNODE, t.LNKVT, t.LCUT, t.NCUT, stage.KSW, t.NZ};
  SearchGraph graph;
  if (build_search_graph(net, graph)) net.graph = &graph;
  const int32_t first = std::max<int32_t>(set.KHOME, 1);
  auto wanted = [&](int32_t o) {
    int64_t generated = 0;
    for (int32_t d = 1; d <= od.NZ; ++d) generated += od.total(o, d);
    return generated > 0 || set.KSRCH > 0;
  };
  // A centroid that no link leaves is not searched: it reaches no zone.
  auto origin_node = [&](int32_t o) { return t.NCENT(o, CENT_NODE); };
  std::unique_ptr<OriginTrees> ahead;
  if (set.threads > 1) {
    std::vector<OriginJob> jobs;
    for (int32_t o = first; o <= od.NZ; ++o)
      if (wanted(o) && origin_node(o) >= 1) jobs.push_back(OriginJob{o, origin_node(o)});
    ahead = start_origin_trees(net, std::move(jobs), set.threads, w.TREE.rows());
  }
  const std::string name = pad(FNAME3, 40);
  int32_t counter = 0;
  for (int32_t o = first; o <= od.NZ; ++o) {
    ++counter;
    if (!wanted(o)) continue;
    if (o == 1 || counter == 50) {
      if (counter == 50) counter = 0;
      write_fmt(SCREEN, zone_line, {o, name});
    }
    const bool searched = origin_node(o) >= 1;
    if (searched) {
      int16_t unreached = 0;
      if (!ahead || !take_origin_tree(*ahead, o, w.TREE, LOG, set.KDEBUG, unreached))
        DIJKSTRA(net, o, origin_node(o), LOG, set.KDEBUG, w.TREE, search, unreached);
      IERR = std::max(IERR, unreached);
      if (unreached >= 9) return false;
    }
    for (int32_t d = 1; d <= od.NZ; ++d) {
      if (d == o) continue;
      const PairLoad pair{o, d, od.pair(o, d)};
      write_scratch_record(w.vf, pair);
      const int64_t total = od.total(o, d);
      if (total <= 0 && set.KIMPALL <= 0) continue;
      int64_t stop = d;
      if (!searched || !walk_pair(w, pair, total, stop)) {
        if (set.KDEBUG > 0) say_fmt(LOG, isolated, {stop});
        IERR = std::max<int16_t>(IERR, 1);
        write_error_record(w.vf, pair);
      }
    }
  }
  return true;
}

// Step 8: the stage's PCU volumes added to LINK.
void raise_volumes(SharedTables& t, const std::vector<float>& work) {
  for (int32_t i = 1; i <= t.NLROAD; ++i) {
    const float* wl = work.data() + size_t(i - 1) * WORK_COLS;
    float pcu = 0.0f;
    for (int k = 0; k < NT; ++k) pcu += t.VPCU(k + 1) * wl[WORK_VT + k];
    t.LINK(i, LINK_VOLUME) = add_sat(t.LINK(i, LINK_VOLUME), whole(double(pcu + 0.9f)));
  }
}

// Steps 2 to 8, with the storage in hand.
void assign_stage(Settings& set, const FileNames& FN, const StageRecord& stage, SharedTables& t,
                  Storage& s, int LOG, int16_t& IERR) {
  VehicleFiles vf;
  take_vehicle_units(vf);
  std::array<int, 11> used{};
  read_od_tables(stage, t, vf.U[1], s.od, used, LOG);

  build_vehicle_formats(vf, used);
  say_line(LOG, " ===========================");
  say_line(LOG, " Start of Vehicle Assignment");
  say_line(LOG, " ===========================");
  if (set.KDEBUG <= 0) set.KHOME = 1;
  if (!open_vehicle_files(vf, FN, set, LOG)) {
    close_vehicle_files(vf);
    IERR = 9;
    return;
  }
  OUTTIME(LOG);

  Walk w{set, t, s.TREE, s.work.data(), vf};
  const bool complete = load_origins(w, stage, s.od, FN[3], LOG, IERR);
  close_vehicle_files(vf);
  // An assignment cut short leaves the link volumes and the link results alone:
  // the run ends, and no file shows a partial loading as the stage's.
  if (!complete) return;
  raise_volumes(t, s.work);
  if (!write_link_results(vf, std::string(trim(FN[3])), t.NLROAD, t.LINK, s.work.data(), LOG)) IERR = 9;
}

}  // namespace

void VEHICLEASSIGN(Settings& set, const FileNames& FN, const StageRecord& stage, SharedTables& t,
                   int LOG, int16_t& IERR) {
  IERR = 0;
  Storage s;
  allocate(s, t, LOG, IERR);
  if (IERR < 9) assign_stage(set, FN, stage, t, s, LOG, IERR);

  // Step 9: the closing lines, whatever happened before.
  write_line(SCREEN, " -----------------------------------------");
  OUTTIME(LOG);
  say_line(LOG, " End of Vehicle Assignment on Road Network");
  write_line(SCREEN, " -----------------------------------------");
}

}  // namespace routava
