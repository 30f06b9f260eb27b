// The path search on the full-size tables: one tree and a tree from every
// origin zone, on the road table of the first road stage and on the transit
// table of the first transit stage, each prepared as a run prepares it. The city
// is generated once by make_city into a temporary directory, or read from the
// working directory named in ROUTAVA_CITY.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench/stage_loader.hpp"

#define MAKE_CITY_NO_MAIN
#include "tools/make_city.cpp"

namespace routava {
namespace {

// The working directory: ROUTAVA_CITY, or the generated city, kept until exit.
const bench::fs::path& city() {
  static std::unique_ptr<bench::ScratchDir> made;
  static const bench::fs::path dir = [] {
    if (const char* given = std::getenv("ROUTAVA_CITY")) return bench::fs::path(given);
    made = std::make_unique<bench::ScratchDir>("routava-city");
    if (!made->ok()) return bench::fs::path();
    const bench::fs::path home = bench::fs::current_path();
    bench::fs::current_path(made->path());
    const int status = make_city::run(make_city::Options{});
    bench::fs::current_path(home);
    return status == 0 ? made->path() : bench::fs::path();
  }();
  return dir;
}

bench::LoadedStage* stage(bool transit) {
  static std::string error[2];
  static std::unique_ptr<bench::LoadedStage> loaded[2] = {bench::load_stage(city(), false, error[0]),
                                                         bench::load_stage(city(), true, error[1])};
  if (!loaded[transit]) std::fprintf(stderr, "%s\n", error[transit].c_str());
  return loaded[transit].get();
}

void describe(benchmark::State& state, const bench::LoadedStage& s) {
  state.counters["nodes"] = s.t->NNODE;
  state.counters["rows"] = s.rows();
  state.counters["zones"] = s.t->NZ;
}

void one_tree(benchmark::State& state, bool transit) {
  bench::LoadedStage* s = stage(transit);
  if (!s || s->zone_node(1) < 1) {
    state.SkipWithError("the stage did not load, or zone 1 has no links");
    return;
  }
  bench::QuietConsole quiet;
  for (auto _ : state) {
    benchmark::DoNotOptimize(s->search(1));
    quiet.clear();
  }
  describe(state, *s);
}

void all_origins(benchmark::State& state, bool transit) {
  bench::LoadedStage* s = stage(transit);
  if (!s) {
    state.SkipWithError("the stage did not load");
    return;
  }
  bench::QuietConsole quiet;
  int32_t origins = 0, cut_off = 0;  // cut_off: origins from which some zone is unreached
  for (auto _ : state) {
    origins = cut_off = 0;
    for (int32_t o = 1; o <= s->t->NZ; ++o) {
      if (s->zone_node(o) < 1) continue;
      ++origins;
      cut_off += s->search(o) != 0;
    }
    quiet.clear();
  }
  state.SetItemsProcessed(state.iterations() * origins);  // trees per second
  state.counters["cut_off"] = cut_off;
  describe(state, *s);
}

void BM_FullsizeRoadOneTree(benchmark::State& state) { one_tree(state, false); }
void BM_FullsizeRoadAllOrigins(benchmark::State& state) { all_origins(state, false); }
void BM_FullsizeTransitOneTree(benchmark::State& state) { one_tree(state, true); }
void BM_FullsizeTransitAllOrigins(benchmark::State& state) { all_origins(state, true); }

BENCHMARK(BM_FullsizeRoadOneTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullsizeRoadAllOrigins)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullsizeTransitOneTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullsizeTransitAllOrigins)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace routava
