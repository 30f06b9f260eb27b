// NODESET on a full network table, as run at the start of every stage.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {

void BM_NodesetFullTable(benchmark::State& state) {
  const int32_t nodes = 95000;
  auto table = std::make_unique<NetTable>(LKSIZE, 8);
  std::mt19937 rng(11);
  std::vector<int64_t> from(LKSIZE);
  for (int r = 0; r < LKSIZE; ++r) from[size_t(r)] = r < nodes ? r + 1 : int64_t(rng() % nodes) + 1;
  std::sort(from.begin(), from.end());
  for (int r = 1; r <= LKSIZE; ++r) {
    (*table)(r, LNK_FROM) = from[size_t(r - 1)];
    (*table)(r, LNK_TO) = int64_t(rng() % nodes) + 1;
  }
  auto t = std::make_unique<SharedTables>();
  t->NZ = NZSIZE;
  for (int z = 1; z <= NZSIZE; ++z) t->NCENT(z, CENT_CODE) = z;
  set_console(nullptr, nullptr);
  int16_t IERR = 0;
  for (auto _ : state) {
    NODESET(*table, LKSIZE, *t, 0, IERR);
    benchmark::DoNotOptimize(t->NNODE);
  }
  state.SetItemsProcessed(state.iterations() * LKSIZE);
}
BENCHMARK(BM_NodesetFullTable)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace routava
