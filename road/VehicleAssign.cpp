// VEHICLEASSIGN: all-or-nothing loading of one stage's vehicle OD tables on the road network.
#include <algorithm>
#include <new>
#include <vector>

#include "road/Dijkstra.hpp"
#include "road/VehicleOutput.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

namespace {

const char* const HEADING = " === SUBROUTINE VehicleAssign =======";
constexpr int NT = NVTYPE;
constexpr int WORK_COLS = 3 * NT;  // per road link: volumes, vehicle-km, vehicle-hours

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
  int32_t* pair(int32_t o, int32_t d) {
    return cells.data() + (size_t(o - 1) * size_t(NZ) + size_t(d - 1)) * NT;
  }
};

void allocation_error(int LOG, const char* what) {
  say_line(LOG, HEADING);
  say(LOG, {what, int32_t(1)});
}

void read_od_tables(const StageRecord& stage, const Vec<std::string>& ODVT,
                    const Vec<int16_t>& ODVTYP, const Vec<float>& VPASS, int LOG, int unit,
                    Demand& od, std::array<int, 11>& used) {
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
    const std::string name(trim(ODVT(X)));
    if (!file_exists(name) || !open_read(unit, name)) {
      say(LOG, {" *** Error *** Not Exist OD File ", name});
      continue;
    }
    const int T = ODVTYP(X);
    if (T < 1 || T > NT) {
      close_unit(unit);
      say(LOG, {" *** Error *** Vehicle type", int32_t(T), " of OD table", int32_t(X),
                " is not in 1..10; not loaded: ", name});
      continue;
    }
    used[size_t(T)] = 1;
    const float pass = VPASS(T);
    const float factor = stage.FODTAB[size_t(k)];
    for (int32_t rec = 1;; ++rec) {
      int32_t O = 0;
      int32_t D = 0;
      int32_t N = 0;
      const ReadResult r = read_free(unit, {&O, &D, &N});
      if (r.end()) break;
      if (r.bad() || O < 1 || D < 1) {
        say_fmt(LOG, bad_pair, {rec, O, D, N, name});
        continue;
      }
      if (O > od.NZ || D > od.NZ) continue;
      const float x = pass > 0.0f ? float(N) / pass : float(N);
      int32_t& cell = od.pair(O, D)[T - 1];
      cell = add_sat(cell, whole(double(x * factor / 100.0f + 0.5f)));
    }
    close_unit(unit);
  }
}

// What a path walk needs besides the pair.
struct Walk {
  const Settings& set;
  const Vec<float>& VPCU;
  int32_t NLROAD;
  const LinkTable& LINK;
  const CentTable& NCENT;
  const RealTable& TARIFF;
  int32_t NLVT;
  int32_t NNODE;
  const NetTable& LNKVT;
  const TreeTable& TREE;
  float* work;
  VehicleFiles& vf;
};

// Walks the tree from the centroid of d back to o, loading the pair's vehicles and
// writing its path, screen-line, ramp and impedance records; false when d is unreached.
bool walk_pair(Walk& w, int32_t o, int32_t d, const int32_t* v, int64_t total, int64_t& stop) {
  int nload = 0;  // types with vehicles: adding a zero would change nothing
  int loaded[NT];
  for (int t = 0; t < NT; ++t)
    if (v[t] != 0) loaded[nload++] = t;
  const bool path = w.vf.path && (total > 0 || w.set.KPATHALL > 0);

  int64_t n = w.NCENT(d, 2);
  stop = d;
  if (n < 1 || n > w.NNODE || w.TREE(n, 2) <= 0) {
    if (n >= 1 && n <= w.NNODE) stop = w.TREE(n, 1);
    return false;
  }
  int64_t impedance = 0;
  int64_t time = 0;
  float dist_km = 0.0f;
  float toll = 0.0f;
  int32_t pending = 0;  // outflow ramp met first, walking back from the destination
  for (int32_t rev = 1;; ++rev) {
    const int64_t* tree = w.TREE.row(int(n));
    const int64_t p = tree[1];
    const int64_t r = tree[3];
    const int64_t* row = (r >= 1 && r <= w.NLVT) ? w.LNKVT.row(int(r)) : nullptr;
    const int64_t a = row ? row[0] : 0;
    const int64_t link_time = row ? row[5] : 0;
    if (a >= 1 && a <= w.NLROAD) {
      const int32_t* link = w.LINK.row(int(a));
      const bool counted = link[2] >= 1;  // character 0 or less: volume and toll only
      const float length = float(link[6]);
      if (counted) {
        impedance += row[3];
        time += link_time;
        dist_km += length / 1000.0f;
      }
      const int32_t tariff = link[5];
      if (tariff >= 1 && tariff <= w.TARIFF.rows())
        toll += w.TARIFF(tariff, 1) + length * w.TARIFF(tariff, 2) / 1000.0f;
      float* work = w.work + size_t(a - 1) * WORK_COLS;
      for (int k = 0; k < nload; ++k) {
        const int t = loaded[k];
        const float vt = float(v[t]);
        work[t] += vt;
        if (counted) {
          work[NT + t] += vt * length / 1000.0f;
          work[2 * NT + t] += vt * float(link_time) / 6000.0f;
        }
      }
      if (w.vf.screen && link[9] >= 1) write_screen_record(w.vf, link[9], o, d, v);
      if (w.vf.ramp && link[10] >= 1) {
        if (pending == 0) {
          pending = link[10];
        } else {
          write_ramp_record(w.vf, link[10], pending, v);
          pending = 0;
        }
      }
    }
    if (path) write_path_record(w.vf, a, p, tree[0], link_time, o, d, rev, v);
    if (p == o) break;
    n = tree[4];
    // A sound tree never cycles; the bound only guards against a broken one.
    if (n < 1 || n > w.NNODE || w.TREE(n, 2) <= 0 || rev > w.NNODE) {
      stop = (n >= 1 && n <= w.NNODE) ? w.TREE(n, 1) : p;
      return false;
    }
  }

  float pcu = 0.0f;
  for (int t = 0; t < NT; ++t) pcu += float(v[t]) * w.VPCU(t + 1);
  write_impedance_record(w.vf, o, d, whole(double(pcu + 0.5f)), impedance, float(time) / 100.0f,
                         dist_km, whole(double(toll + 0.4999f)));
  return true;
}

}  // namespace

void VEHICLEASSIGN(Settings& set, const FileNames& FN, const StageRecord& stage,
                   const Vec<std::string>& ODVT, const Vec<int16_t>& ODVTYP,
                   const Vec<float>& VPCU, const Vec<float>& VPASS, int32_t NLROAD,
                   LinkTable& LINK, const CentTable& NCENT, const RealTable& TARIFF,
                   int16_t& IERR, int LOG, int32_t NLVT, int32_t NNODE, int32_t NZ,
                   NetTable& LNKVT, const NodeTable& NODTBL, int32_t NCUT, const CutTable& LCUT) {
  static const Format zone_line = Format::parse("(' Assignment Zone =',I4,3X,'for',1X,A40)");
  static const Format isolated = Format::parse("(' Node(',I12,') is isolated from Network')");

  // 1. Working storage.
  IERR = 0;
  std::vector<float> work;
  Demand od;
  TreeTable TREE;
  try {
    work.assign(size_t(std::max(NLROAD, 0)) * WORK_COLS, 0.0f);
  } catch (const std::bad_alloc&) {
    allocation_error(LOG, " WORK(LR,10,3) allocation error");
    IERR = 9;
  }
  try {
    od.NZ = std::clamp(NZ, 0, NZSIZE);
    od.cells.assign(size_t(od.NZ) * size_t(od.NZ) * NT, 0);
  } catch (const std::bad_alloc&) {
    allocation_error(LOG, " OD(NZ,NZ,10) allocation error");
    IERR = int16_t(IERR + 9);
  }
  try {
    TREE.resize(NODESZ, 5);
  } catch (const std::bad_alloc&) {
    allocation_error(LOG, " TREE(NODESZ,5) allocation error");
    IERR = int16_t(IERR + 9);
  }

  if (IERR < 9) {
    // 2.-3. Units and demand.
    VehicleFiles vf;
    take_vehicle_units(vf);
    std::array<int, 11> used{};
    read_od_tables(stage, ODVT, ODVTYP, VPASS, LOG, vf.U[1], od, used);

    // 4. Formats and files.
    build_vehicle_formats(vf, used);
    say_line(LOG, " ===========================");
    say_line(LOG, " Start of Vehicle Assignment");
    say_line(LOG, " ===========================");
    if (set.KDEBUG <= 0) set.KHOME = 1;
    const bool opened = open_vehicle_files(vf, FN, set.KPATH, set.KSCRN, set.KRAMP, LOG);
    if (!opened) {
      close_vehicle_files(vf);
      IERR = 9;
    } else {
      OUTTIME(LOG);

      // 5.-7. Origin by origin: search, then walk every destination.
      SearchWork search;
      const SearchNet net{NODTBL, NNODE, LNKVT, LCUT, NCUT, stage.KSW, NZ};
      Walk w{set, VPCU, NLROAD, LINK, NCENT, TARIFF, NLVT, NNODE, LNKVT, TREE, work.data(), vf};
      const std::string fname3 = pad(FN[3], 40);
      int32_t counter = 0;
      for (int32_t o = std::max<int32_t>(set.KHOME, 1); o <= od.NZ; ++o) {
        ++counter;
        int64_t generated = 0;
        for (int32_t d = 1; d <= od.NZ; ++d) {
          const int32_t* v = od.pair(o, d);
          for (int t = 0; t < NT; ++t) generated += v[t];
        }
        if (generated <= 0 && set.KSRCH <= 0) continue;
        if (o == 1 || counter == 50) {
          if (counter == 50) counter = 0;
          write_fmt(SCREEN, zone_line, {o, fname3});
        }
        // A centroid that no link leaves is not searched: it reaches no zone.
        const int32_t origin_node = NCENT(o, 2);
        const bool searched = origin_node >= 1;
        if (searched) {
          int16_t unreached = 0;
          DIJKSTRA(net, o, origin_node, LOG, set.KDEBUG, TREE, search, unreached);
          IERR = std::max(IERR, unreached);
        }
        for (int32_t d = 1; d <= od.NZ; ++d) {
          if (d == o) continue;
          const int32_t* v = od.pair(o, d);
          write_scratch_record(vf, o, d, v);
          int64_t total = 0;
          for (int t = 0; t < NT; ++t) total += v[t];
          if (total <= 0 && set.KIMPALL <= 0) continue;
          int64_t stop = d;
          if (!searched || !walk_pair(w, o, d, v, total, stop)) {
            if (set.KDEBUG > 0) say_fmt(LOG, isolated, {stop});
            IERR = 1;
            write_error_record(vf, o, d, v);
          }
        }
      }

      // 8. Close the walk's files; raise the link volumes and write the link results.
      close_vehicle_files(vf);
      for (int32_t i = 1; i <= NLROAD; ++i) {
        const float* wl = work.data() + size_t(i - 1) * WORK_COLS;
        float pcu = 0.0f;
        for (int t = 0; t < NT; ++t) pcu += VPCU(t + 1) * wl[t];
        LINK(i, 9) = add_sat(LINK(i, 9), whole(double(pcu + 0.9f)));
      }
      if (!write_link_results(vf, std::string(trim(FN[3])), NLROAD, LINK, work.data(), LOG))
        IERR = 9;
    }
  }

  // 9. Closing lines.
  write_line(SCREEN, " -----------------------------------------");
  OUTTIME(LOG);
  say_line(LOG, " End of Vehicle Assignment on Road Network");
  write_line(SCREEN, " -----------------------------------------");
}

}  // namespace routava
