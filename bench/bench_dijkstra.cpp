// The path search: one tree and a tree from every origin, on the largest test
// network and on a synthetic grid near the program's full size.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "run/recio.hpp"
#include "road/Dijkstra.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {

struct Network {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  NetTable& LNKVT = t->LNKVT;
  NodeTable& NODTBL = t->NODTBL;
  CutTable& LCUT = t->LCUT;
  CentTable& NCENT = t->NCENT;
  int32_t& NLVT = t->NLVT;
  int32_t& NZ = t->NZ;
  int32_t& NCUT = t->NCUT;
  std::unique_ptr<TreeTable> TREE = std::make_unique<TreeTable>(NODESZ, TREE_COLS);
  std::array<int16_t, 11> KSW{};
  SearchWork work;
  bool ok = false;

  // Sorts the rows and builds the node table as a road stage does.
  void finish() {
    std::ostringstream quiet;
    set_console(nullptr, &quiet);
    HSORT(LNKVT, NLVT, LNK_COLS, LNK_FROM);
    for (int z = 1; z <= NZ; ++z) NCENT(z, CENT_CODE) = z;
    int16_t ierr = 0;
    NODESET(LNKVT, NLVT, *t, 0, ierr);
    set_console(nullptr, nullptr);
    ok = ierr < 9 && t->NNODE > 0;
  }

  int16_t search(int32_t zone) {
    int16_t flag = 0;
    DIJKSTRA(SearchNet{NODTBL, t->NNODE, LNKVT, LCUT, NCUT, KSW, NZ}, zone, NCENT(zone, CENT_NODE), 0, 0,
             *TREE, work, flag);
    return flag;
  }
};

// Network.csv and the free speeds of QV.csv, with the road stage's time formula.
std::unique_ptr<Network> load_test_network(const std::string& name) {
  auto net = std::make_unique<Network>();
  const std::string dir = std::string(ROUTAVA_SOURCE_DIR) + "/tests/data/" + name + "/";
  RealTable qv(99, QV_COLS);
  int u = free_unit();
  if (!open_read(u, dir + "QV.csv")) return net;
  for (;;) {
    int32_t type = 0;
    float v[5] = {0, 0, 0, 0, 0};
    if (!read_free(u, {&type, &v[0], &v[1], &v[2], &v[3], &v[4]}) || type < 1 || type > 99) break;
    for (int c = QV_V1; c <= QV_Q2; ++c) qv(type, c) = v[c - QV_V1];
  }
  close_unit(u);
  if (!open_read(u, dir + "Network.csv")) return net;
  for (;;) {
    int32_t a = 0, b = 0, character = 0, group = 0, qtype = 0, tariff = 0, length = 0;
    if (!read_free(u, {&a, &b, &character, &group, &qtype, &tariff, &length}) || a <= 0) break;
    const int r = ++net->NLVT;
    NetTable& t = net->LNKVT;
    t(r, LNK_ROAD) = r;
    t(r, LNK_FROM) = a;
    t(r, LNK_TO) = b;
    const float speed = qtype >= 1 && qtype <= 99 ? qv(qtype, QV_V1) : 0.0f;
    const int64_t time = speed > 0.0f ? int64_t(float(length) * 6.0f / speed + 0.5f) : 0;
    t(r, LNK_IMPEDANCE) = time;
    t(r, LNK_TIME) = time;
    t(r, LNK_KIND) = character >= 9 ? KIND_CLOSED : KIND_ROAD;
    if (a <= NZSIZE && a > net->NZ) net->NZ = a;
  }
  close_unit(u);
  net->finish();
  return net;
}

// A square grid of junctions with both directions of every street, and zones
// joined to junctions spread over it.
std::unique_ptr<Network> make_grid(int side, int zones) {
  auto net = std::make_unique<Network>();
  std::mt19937 rng(2024);
  NetTable& t = net->LNKVT;
  auto code = [side](int x, int y) { return int64_t(1000 + y * side + x); };
  auto add = [&](int64_t a, int64_t b, int64_t imp) {
    const int r = ++net->NLVT;
    t(r, LNK_ROAD) = r;
    t(r, LNK_FROM) = a;
    t(r, LNK_TO) = b;
    t(r, LNK_IMPEDANCE) = imp;
    t(r, LNK_TIME) = imp;
  };
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      if (x + 1 < side) {
        add(code(x, y), code(x + 1, y), 50 + int64_t(rng() % 450));
        add(code(x + 1, y), code(x, y), 50 + int64_t(rng() % 450));
      }
      if (y + 1 < side) {
        add(code(x, y), code(x, y + 1), 50 + int64_t(rng() % 450));
        add(code(x, y + 1), code(x, y), 50 + int64_t(rng() % 450));
      }
    }
  for (int z = 1; z <= zones; ++z) {
    const int64_t at = code(int(rng() % unsigned(side)), int(rng() % unsigned(side)));
    add(z, at, 100);
    add(at, z, 100);
  }
  net->NZ = zones;
  net->finish();
  return net;
}

// Prohibited turns at `count` junctions, each marked in the node table.
void add_turns(Network& net, int count) {
  std::mt19937 rng(99);
  NetTable& t = net.LNKVT;
  while (net.NCUT < count) {
    const int r = 1 + int(rng() % unsigned(net.NLVT));
    const int32_t mid = int32_t(t(r, LNK_TONODE));
    if (mid <= 0 || t(r, LNK_FROM) <= net.NZ) continue;
    const int64_t first = net.NODTBL(mid, NOD_FIRST);
    const int64_t next = t(int(first), LNK_TO);  // turn from the row's from-node through its to-node to `next`
    if (next <= net.NZ) continue;                // zones stay reachable
    ++net.NCUT;
    net.LCUT(net.NCUT, CUT_LAST) = next;
    net.LCUT(net.NCUT, CUT_MIDDLE) = t(r, LNK_TO);
    net.LCUT(net.NCUT, CUT_BEFORE) = t(r, LNK_FROM);
    net.NODTBL(mid, NOD_CUT) += 1;
  }
}

Network& winnipeg() {
  static std::unique_ptr<Network> net = load_test_network("Winnipeg");
  return *net;
}

Network& grid() {
  static std::unique_ptr<Network> net = make_grid(173, 400);
  return *net;
}

void one_tree(benchmark::State& state, Network& net) {
  if (!net.ok) {
    state.SkipWithError("network not loaded");
    return;
  }
  std::ostringstream quiet;
  set_console(nullptr, &quiet);
  for (auto _ : state) benchmark::DoNotOptimize(net.search(1));
  set_console(nullptr, nullptr);
  state.counters["nodes"] = net.t->NNODE;
  state.counters["rows"] = net.NLVT;
  state.counters["zones"] = net.NZ;
}

void all_origins(benchmark::State& state, Network& net) {
  if (!net.ok) {
    state.SkipWithError("network not loaded");
    return;
  }
  std::ostringstream quiet;
  set_console(nullptr, &quiet);
  int32_t cut_off = 0;  // origins from which some zone was not reached
  for (auto _ : state) {
    cut_off = 0;
    for (int32_t o = 1; o <= net.NZ; ++o) cut_off += net.search(o) != 0;
    quiet.str("");
  }
  set_console(nullptr, nullptr);
  state.SetItemsProcessed(state.iterations() * net.NZ);
  state.counters["cut_off"] = cut_off;
  state.counters["nodes"] = net.t->NNODE;
  state.counters["rows"] = net.NLVT;
}

void BM_WinnipegOneTree(benchmark::State& state) { one_tree(state, winnipeg()); }
void BM_WinnipegAllOrigins(benchmark::State& state) { all_origins(state, winnipeg()); }
void BM_GridOneTree(benchmark::State& state) { one_tree(state, grid()); }
void BM_GridAllOrigins(benchmark::State& state) { all_origins(state, grid()); }

void BM_GridAllOriginsWith2000Turns(benchmark::State& state) {
  static std::unique_ptr<Network> net = [] {
    auto n = make_grid(173, 400);
    if (n->ok) add_turns(*n, 2000);
    return n;
  }();
  all_origins(state, *net);
}

BENCHMARK(BM_WinnipegOneTree)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WinnipegAllOrigins)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridOneTree)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GridAllOrigins)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridAllOriginsWith2000Turns)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace routava
