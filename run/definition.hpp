// Program parameters and the shared tables of a run.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace routava {

// Fixed capacities.
constexpr int LRSIZE = 30000;   // road links (rows of LINK)
constexpr int LKSIZE = 300000;  // rows of LNKVT and LNKPT
constexpr int NZSIZE = 400;     // zones; also the largest code a centroid can have
constexpr int NODESZ = 98000;   // rows of NODTBL and TREE
constexpr int TURNSZ = 5000;    // link cuts and prohibited turns
constexpr int NSCRSZ = 3000;    // screen-line list
constexpr int NRMPSZ = 1000;    // ramp list
constexpr int LBSIZE = 4000;    // largest route id
constexpr int NDRTBS = 300;     // nodes of one route
constexpr int NODFSZ = 100;     // OD file ids
constexpr int NVTYPE = 10;      // vehicle types and transit modes

constexpr int64_t UNREACHED = 999999999;  // label of a node the search has not reached
constexpr int64_t ROUTE_BASE = 100000;    // route node code = route * ROUTE_BASE + road node

constexpr int LOG_UNIT = 60;

// ---- Table columns (1-based, as the tables are indexed)

// LINK: the road link table, one row per record of Network.csv.
constexpr int LINK_ANODE = 1;      // from-node code
constexpr int LINK_BNODE = 2;      // to-node code
constexpr int LINK_CHARACTER = 3;  // link type: < 7 road, 7-8 walking penalised, >= 9 closed
constexpr int LINK_GROUP = 4;      // evaluation group, carried into the results only
constexpr int LINK_QVTYPE = 5;     // speed-flow type 1..99 (row of QVTAB), 0 none
constexpr int LINK_TARIFF = 6;     // tariff type 1..99 (row of TARIFF), 0 free
constexpr int LINK_LENGTH = 7;     // metres
constexpr int LINK_SPEED = 8;      // km/h, set by LNKSPEED
constexpr int LINK_VOLUME = 9;     // PCU, accumulated over the stages
constexpr int LINK_SCREEN = 10;    // screen-line number, 0 none
constexpr int LINK_RAMP = 11;      // ramp number, 0 none
constexpr int LINK_COLS = 11;

// LNKVT and LNKPT: the network tables searched by DIJKSTRA ("NTABLE" in messages).
constexpr int LNK_ROAD = 1;       // row of the road link in LINK, 0 for a transit row off the road
constexpr int LNK_FROM = 2;       // from-node code (route-coded for transit rows)
constexpr int LNK_TO = 3;         // to-node code
constexpr int LNK_IMPEDANCE = 4;  // hundredths of a minute, money terms included
constexpr int LNK_TONODE = 5;     // internal number (row of NODTBL) of the to-node, 0 none
constexpr int LNK_TIME = 6;       // hundredths of a minute, without money terms
constexpr int LNK_KIND = 7;       // 0 road, 99 closed road, 1..10 transit mode
constexpr int LNK_LOAD = 8;       // persons (transit loads)
constexpr int LNK_COLS = 8;
constexpr int64_t KIND_ROAD = 0;
constexpr int64_t KIND_CLOSED = 99;

// NODTBL: the node table of the network table of the current stage.
constexpr int NOD_CODE = 1;   // node code, ascending
constexpr int NOD_FIRST = 2;  // first row of the network table leaving the node
constexpr int NOD_LAST = 3;   // last such row
constexpr int NOD_ZONE = 4;   // zone number when the node is a centroid, else 0
constexpr int NOD_CUT = 5;    // number of cut entries whose middle node this is
constexpr int NOD_COLS = 5;

// TREE: the path tree DIJKSTRA leaves for one origin, one row per internal node.
constexpr int TREE_CODE = 1;       // node code
constexpr int TREE_PRED_CODE = 2;  // predecessor's node code, 0 for the origin and unreached nodes
constexpr int TREE_LABEL = 3;      // hundredths of a minute from the origin, UNREACHED if none
constexpr int TREE_ROW = 4;        // row of the network table that reaches the node, 0 none
constexpr int TREE_PRED = 5;       // predecessor's internal node number, 0 none
constexpr int TREE_COLS = 5;

// LCUT: link cuts and prohibited turns, node codes of the forbidden sequence backwards.
constexpr int CUT_LAST = 1;    // the node entered
constexpr int CUT_MIDDLE = 2;  // the node it is entered from (carries the NODTBL marker)
constexpr int CUT_BEFORE = 3;  // the node before that, 0 for a cut link
constexpr int CUT_FIRST = 4;   // the first node of a four-node sequence, 0 otherwise
constexpr int CUT_COLS = 4;

// NCENT: zone centroids.
constexpr int CENT_CODE = 1;  // centroid node code (the zone number itself)
constexpr int CENT_NODE = 2;  // its internal node number, 0 when no link leaves it
constexpr int CENT_COLS = 2;

// QVTAB: speed-flow curves, one row per QV type.
constexpr int QV_V1 = 1;  // km/h, free speed
constexpr int QV_V2 = 2;  // km/h at Q1
constexpr int QV_V3 = 3;  // km/h at Q2
constexpr int QV_Q1 = 4;  // PCU
constexpr int QV_Q2 = 5;  // PCU
constexpr int QV_COLS = 5;

// TARIFF: road tolls, one row per tariff type.
constexpr int TARIFF_FLAT = 1;    // money per passage
constexpr int TARIFF_PER_KM = 2;  // money per km
constexpr int TARIFF_COLS = 2;

// MODTAB: transit mode conditions of ModePCU.txt, one row per mode.
constexpr int MODE_PCU = 1;    // PCU of one vehicle
constexpr int MODE_AVE = 2;    // average passengers of one vehicle
constexpr int MODE_MAX = 3;    // largest number of passengers of one vehicle
constexpr int MODE_HOURS = 4;  // hours the demand stands for
constexpr int MODE_C = 5;      // capacity check switch (positive: sections may be removed)
constexpr int MODE_RED = 6;    // "Red.": the mode's running speed as a share of the road speed
constexpr int MODE_MINHD = 7;  // minutes, minimum headway
constexpr int MODE_COLS = 7;

// RTFARE: route fares, one row per route id.
constexpr int FARE_FLAT = 1;    // money per boarding
constexpr int FARE_PER_KM = 2;  // money per km ridden
constexpr int FARE_COLS = 2;

// Column c (one of the constants above) of a row reached through Table::row(),
// for loops that walk rows by pointer.
template <class T>
constexpr T& field(T* row, int c) {
  return row[c - 1];
}

// The route of a node code (0 for a road node), and whether a route id fits the route tables.
inline int route_part(int64_t code) { return int(code / ROUTE_BASE); }
inline bool is_route_id(int q) { return q >= 1 && q <= LBSIZE; }

// Bounds checks of table access: on in debug and checked (test) builds.
[[noreturn]] void bounds_failure(const char* file, int line);
#if defined(ROUTAVA_CHECKED) || !defined(NDEBUG)
#define ROUTAVA_BOUNDS(cond) \
  do {                       \
    if (!(cond)) ::routava::bounds_failure(__FILE__, __LINE__); \
  } while (0)
#else
#define ROUTAVA_BOUNDS(cond) ((void)0)
#endif

// A 1-based (row, col) table, rows stored contiguously so that a forward-star
// walk over a node's rows stays in cache.
template <class T>
class Table {
 public:
  Table() = default;
  Table(int rows, int cols) : rows_(rows), cols_(cols), data_(size_t(rows) * size_t(cols)) {}

  T& operator()(int r, int c) {
    ROUTAVA_BOUNDS(r >= 1 && r <= rows_ && c >= 1 && c <= cols_);
    return data_[size_t(r - 1) * size_t(cols_) + size_t(c - 1)];
  }
  const T& operator()(int r, int c) const {
    ROUTAVA_BOUNDS(r >= 1 && r <= rows_ && c >= 1 && c <= cols_);
    return data_[size_t(r - 1) * size_t(cols_) + size_t(c - 1)];
  }
  // Pointer to column 1 of row r; columns follow contiguously.
  T* row(int r) {
    ROUTAVA_BOUNDS(r >= 1 && r <= rows_);
    return data_.data() + size_t(r - 1) * size_t(cols_);
  }
  const T* row(int r) const {
    ROUTAVA_BOUNDS(r >= 1 && r <= rows_);
    return data_.data() + size_t(r - 1) * size_t(cols_);
  }
  int rows() const { return rows_; }
  int cols() const { return cols_; }
  void fill(const T& v) { std::fill(data_.begin(), data_.end(), v); }
  void resize(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    data_.assign(size_t(rows) * size_t(cols), T{});
  }

 private:
  int rows_ = 0;
  int cols_ = 0;
  std::vector<T> data_;
};

// A 1-based vector.
template <class T>
class Vec {
 public:
  Vec() = default;
  explicit Vec(int n, const T& v = T{}) : data_(size_t(n), v) {}
  T& operator()(int i) {
    ROUTAVA_BOUNDS(i >= 1 && i <= int(data_.size()));
    return data_[size_t(i - 1)];
  }
  const T& operator()(int i) const {
    ROUTAVA_BOUNDS(i >= 1 && i <= int(data_.size()));
    return data_[size_t(i - 1)];
  }
  int size() const { return int(data_.size()); }
  void fill(const T& v) { std::fill(data_.begin(), data_.end(), v); }
  void resize(int n, const T& v = T{}) { data_.assign(size_t(n), v); }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

 private:
  std::vector<T> data_;
};

using LinkTable = Table<int32_t>;  // LINK(LRSIZE, LINK_COLS)
using NetTable = Table<int64_t>;   // LNKVT, LNKPT (LKSIZE, LNK_COLS)
using NodeTable = Table<int64_t>;  // NODTBL (NODESZ, NOD_COLS)
using TreeTable = Table<int64_t>;  // TREE (NODESZ, TREE_COLS)
using CutTable = Table<int64_t>;   // LCUT (TURNSZ, CUT_COLS)
using CentTable = Table<int32_t>;  // NCENT (NZSIZE, CENT_COLS)
using RealTable = Table<float>;    // QVTAB, TARIFF, MODTAB, RTFARE

// Settings answered in the console dialogue, with the main program's starting values.
struct Settings {
  int16_t MODEPT = 1;
  int16_t KDEBUG = 0;
  int16_t zone_mode = 1;          // 0 typed in, 1 automatic from the links
  int16_t route_file_choice = 2;  // 0 user, 1 BusInput.txt, 2 automatic
  int16_t KSRCH = 0;
  int16_t KIMPALL = 1;
  int16_t KPATH = 1;
  int16_t KPATHALL = 0;
  int16_t KSCRN = 0;
  int16_t KRAMP = 0;
  int16_t KHOME = 1;
  int32_t FOOTSP = 0;      // km/h
  bool user_stop = false;  // the user answered "No" at the confirmation: a normal end
  int32_t threads = 1;     // path searches at once (routava --threads); changes no output
};

// One record of "Assign.txt". Arrays are 1-based through the accessor helpers.
struct StageRecord {
  int16_t KSTAGE = 0;
  int16_t KASSIGN = 0;
  int16_t KHOLD = 0;
  float TVALUE = 0.0f;
  std::array<int16_t, 11> KSW{};     // KSW[1..10]
  int32_t NODTAB = 0;
  std::array<int16_t, 11> IODTAB{};  // IODTAB[1..10]
  std::array<float, 11> FODTAB{};    // FODTAB[1..10], percent
};

// File-name slots FNAME1..FNAME7, each a 40-character blank-padded text; index 0 unused.
using FileNames = std::array<std::string, 8>;

// Where the lines of a route file converted in this run came from, so that
// findings in it can name the line the planner wrote.
struct RouteSource {
  std::string file;                // the keyword file
  std::vector<std::string> lines;  // its lines, 1-based by from[]
  std::vector<int64_t> from;       // [route-file line] its keyword-file line, 0 none
};

// The tables that live for the whole run, owned by the main program and handed
// to each routine as arguments.
struct SharedTables {
  LinkTable LINK{LRSIZE, LINK_COLS};
  int32_t NLROAD = 0;
  NetTable LNKVT{LKSIZE, LNK_COLS};
  int32_t NLVT = 0;
  NetTable LNKPT{LKSIZE, LNK_COLS};
  int32_t NLPT = 0;
  NodeTable NODTBL{NODESZ, NOD_COLS};
  int32_t NNODE = 0;
  int32_t NZ = 0;
  CentTable NCENT{NZSIZE, CENT_COLS};
  CutTable LCUT{TURNSZ, CUT_COLS};
  int32_t NCUT = 0;
  // Where each LCUT row was read (record_place), for messages about it later.
  Vec<std::string> CUTWHERE{TURNSZ};
  // The Network.csv line of each LINK row, 0 when not read from it.
  Vec<int32_t> LINKLINE{LRSIZE};
  // road tables
  RealTable QVTAB{99, QV_COLS};
  RealTable TARIFF{99, TARIFF_COLS};
  Vec<std::string> ODVT{NODFSZ};
  Vec<int16_t> ODVTYP{NODFSZ};
  Vec<float> VPCU{NVTYPE};
  Vec<float> VPASS{NVTYPE};
  // transit tables
  RealTable MODTAB{NVTYPE, MODE_COLS};
  Vec<std::string> ODPT{NODFSZ};
  Vec<int16_t> RTMODE{LBSIZE};
  Vec<float> RTFREQ{LBSIZE};
  Vec<float> RTFREQ0{LBSIZE};
  RealTable RTFARE{LBSIZE, FARE_COLS};
  int32_t NROUTE = 0;
  RouteSource ROUTESRC;  // empty unless the route file was converted in this run
};

}  // namespace routava
