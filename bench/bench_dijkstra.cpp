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
  std::unique_ptr<NetTable> LNKVT = std::make_unique<NetTable>(LKSIZE, 8);
  std::unique_ptr<NodeTable> NODTBL = std::make_unique<NodeTable>(NODESZ, 5);
  std::unique_ptr<TreeTable> TREE = std::make_unique<TreeTable>(NODESZ, 5);
  std::unique_ptr<CutTable> LCUT = std::make_unique<CutTable>(TURNSZ, 4);
  CentTable NCENT{NZSIZE, 2};
  int32_t NLVT = 0;
  int32_t NNODE = 0;
  int32_t NZ = 0;
  int32_t NCUT = 0;
  std::array<int16_t, 11> KSW{};
  SearchWork work;
  bool ok = false;

  // Sorts the rows and builds the node table as a road stage does.
  void finish() {
    std::ostringstream quiet;
    set_console(nullptr, &quiet);
    HSORT(*LNKVT, NLVT, 8, 2);
    for (int z = 1; z <= NZ; ++z) NCENT(z, 1) = z;
    int16_t ierr = 0;
    NODESET(NLVT, NZ, 0, *LNKVT, NCENT, ierr, NNODE, *NODTBL);
    set_console(nullptr, nullptr);
    ok = ierr < 9 && NNODE > 0;
  }

  int16_t search(int32_t zone) {
    int16_t flag = 0;
    DIJKSTRA(SearchNet{*NODTBL, NNODE, *LNKVT, *LCUT, NCUT, KSW, NZ}, zone, NCENT(zone, 2), 0, 0,
             *TREE, work, flag);
    return flag;
  }
};

// Network.csv and the free speeds of QV.csv, with the road stage's time formula.
std::unique_ptr<Network> load_test_network(const std::string& name) {
  auto net = std::make_unique<Network>();
  const std::string dir = std::string(ROUTAVA_SOURCE_DIR) + "/tests/data/" + name + "/";
  RealTable qv(99, 5);
  int u = free_unit();
  if (!open_read(u, dir + "QV.csv")) return net;
  for (;;) {
    int32_t type = 0;
    float v[5] = {0, 0, 0, 0, 0};
    if (!read_free(u, {&type, &v[0], &v[1], &v[2], &v[3], &v[4]}) || type < 1 || type > 99) break;
    for (int c = 0; c < 5; ++c) qv(type, c + 1) = v[c];
  }
  close_unit(u);
  if (!open_read(u, dir + "Network.csv")) return net;
  for (;;) {
    int32_t a = 0, b = 0, character = 0, group = 0, qtype = 0, tariff = 0, length = 0;
    if (!read_free(u, {&a, &b, &character, &group, &qtype, &tariff, &length}) || a <= 0) break;
    const int r = ++net->NLVT;
    NetTable& t = *net->LNKVT;
    t(r, 1) = r;
    t(r, 2) = a;
    t(r, 3) = b;
    const float speed = qtype >= 1 && qtype <= 99 ? qv(qtype, 1) : 0.0f;
    const int64_t time = speed > 0.0f ? int64_t(float(length) * 6.0f / speed + 0.5f) : 0;
    t(r, 4) = time;
    t(r, 6) = time;
    t(r, 7) = character >= 9 ? 99 : 0;
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
  NetTable& t = *net->LNKVT;
  auto code = [side](int x, int y) { return int64_t(1000 + y * side + x); };
  auto add = [&](int64_t a, int64_t b, int64_t imp) {
    const int r = ++net->NLVT;
    t(r, 1) = r;
    t(r, 2) = a;
    t(r, 3) = b;
    t(r, 4) = imp;
    t(r, 6) = imp;
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
  NetTable& t = *net.LNKVT;
  while (net.NCUT < count) {
    const int r = 1 + int(rng() % unsigned(net.NLVT));
    const int32_t mid = int32_t(t(r, 5));
    if (mid <= 0 || t(r, 2) <= net.NZ) continue;
    const int64_t first = (*net.NODTBL)(mid, 2);
    const int64_t next = t(int(first), 3);  // turn from t(r,2) through t(r,3) to `next`
    if (next <= net.NZ) continue;           // zones stay reachable
    ++net.NCUT;
    (*net.LCUT)(net.NCUT, 1) = next;
    (*net.LCUT)(net.NCUT, 2) = t(r, 3);
    (*net.LCUT)(net.NCUT, 3) = t(r, 2);
    (*net.NODTBL)(mid, 5) += 1;
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
  state.counters["nodes"] = net.NNODE;
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
  state.counters["nodes"] = net.NNODE;
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
