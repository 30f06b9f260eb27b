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

using LinkTable = Table<int32_t>;  // LINK(LRSIZE, 11)
using NetTable = Table<int64_t>;   // LNKVT, LNKPT (LKSIZE, 8)
using NodeTable = Table<int64_t>;  // NODTBL(NODESZ, 5)
using TreeTable = Table<int64_t>;  // TREE(NODESZ, 5)
using CutTable = Table<int64_t>;   // LCUT(TURNSZ, 4)
using CentTable = Table<int32_t>;  // NCENT(NZSIZE, 2)
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

// The tables that live for the whole run, owned by the main program and handed
// to each routine as arguments.
struct SharedTables {
  LinkTable LINK{LRSIZE, 11};
  int32_t NLROAD = 0;
  NetTable LNKVT{LKSIZE, 8};
  int32_t NLVT = 0;
  NetTable LNKPT{LKSIZE, 8};
  int32_t NLPT = 0;
  NodeTable NODTBL{NODESZ, 5};
  int32_t NNODE = 0;
  int32_t NZ = 0;
  CentTable NCENT{NZSIZE, 2};
  CutTable LCUT{TURNSZ, 4};
  int32_t NCUT = 0;
  // road tables
  RealTable QVTAB{99, 5};
  RealTable TARIFF{99, 2};
  Vec<std::string> ODVT{NODFSZ};
  Vec<int16_t> ODVTYP{NODFSZ};
  Vec<float> VPCU{NVTYPE};
  Vec<float> VPASS{NVTYPE};
  // transit tables
  RealTable MODTAB{NVTYPE, 7};
  Vec<std::string> ODPT{NODFSZ};
  Vec<int16_t> RTMODE{LBSIZE};
  Vec<float> RTFREQ{LBSIZE};
  Vec<float> RTFREQ0{LBSIZE};
  RealTable RTFARE{LBSIZE, 2};
  int32_t NROUTE = 0;
};

}  // namespace routava
