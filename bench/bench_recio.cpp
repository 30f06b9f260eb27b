// Records per second through the record layer for the two busiest layouts.
#include <benchmark/benchmark.h>

#include <string>
#include <unistd.h>

#include "run/recio.hpp"

namespace routava {
namespace {

std::string path_format() {
  std::string f = "(4(I5,1H,),3(I3,1H,),";
  for (int t = 1; t <= 10; ++t) f += t <= 2 ? "I7,1H,," : "I1,1H,,";
  return f + ")";
}

std::string link_format() {
  std::string f = "(2(I5,1H,),4(I2,1H,),I6,1H,,I3,1H,,I7,1H,,";
  const char* used[3] = {" F9.1,1H,,", "F10.2,1H,,", "F11.3,1H,,"};
  for (int b = 0; b < 3; ++b)
    for (int t = 1; t <= 10; ++t) f += t <= 2 ? used[b] : " F2.0,1H,,";
  return f + "1H,)";
}

void BM_PathRecords(benchmark::State& state) {
  const Format f = Format::parse(path_format());
  int unit = free_unit();
  open_write(unit, "/tmp/routava-bench-path.csv");
  int64_t n = 0;
  Out v[17];
  for (auto _ : state) {
    int32_t i = int32_t(n & 0xffff);
    v[0] = i;
    v[1] = int32_t(1000 + i % 900);
    v[2] = int32_t(2000 + i % 700);
    v[3] = int32_t(i % 3000);
    v[4] = int32_t(i % 400);
    v[5] = int32_t(i % 399);
    v[6] = int32_t(i % 90);
    v[7] = int32_t(i % 5000);
    v[8] = int32_t(i % 70);
    for (int t = 9; t < 17; ++t) v[t] = int32_t(0);
    write_fmt(unit, f, v, 17);
    ++n;
  }
  close_unit(unit, true);
  state.SetItemsProcessed(n);
}
BENCHMARK(BM_PathRecords);

// Path records as the walk writes them: some 10 to 40 links per pair, the pair,
// its counts and the unused types the same along the path; the values are set in
// place, as the path writer does, so that only the record layer is timed.
void BM_PathRecordsAlongPaths(benchmark::State& state) {
  const Format f = Format::parse(path_format());
  int unit = free_unit();
  open_write(unit, "/tmp/routava-bench-walk.csv");
  Out v[17];
  for (Out& x : v) x = int32_t(0);
  uint64_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(seed >> 33);
  };
  int32_t o = 1, d = 0, rev = 0, len = 0;
  int64_t n = 0;
  for (auto _ : state) {
    if (rev == len) {
      if (++d > 400) d = 1, o = o % 400 + 1;
      v[4].i = o;
      v[5].i = d;
      v[7].i = next() % 40;
      v[8].i = next() % 5;
      rev = 0;
      len = int32_t(10 + next() % 30);
    }
    v[0].i = 1 + next() % 30000;
    v[1].i = 1001 + next() % 6084;
    v[2].i = 1001 + next() % 6084;
    v[3].i = next() % 300;
    v[6].i = ++rev;
    write_fmt(unit, f, v, 17);
    ++n;
  }
  close_unit(unit, true);
  state.SetItemsProcessed(n);
}
BENCHMARK(BM_PathRecordsAlongPaths);

void BM_LinkResultRecords(benchmark::State& state) {
  const Format f = Format::parse(link_format());
  int unit = free_unit();
  open_write(unit, "/tmp/routava-bench-link.csv");
  int64_t n = 0;
  Out v[39];
  for (auto _ : state) {
    int32_t i = int32_t(n & 0xffff);
    v[0] = int32_t(1000 + i % 900);
    v[1] = int32_t(2000 + i % 700);
    v[2] = int32_t(1);
    v[3] = int32_t(1);
    v[4] = int32_t(i % 40);
    v[5] = int32_t(0);
    v[6] = int32_t(250 + i % 5000);
    v[7] = int32_t(20 + i % 60);
    v[8] = int32_t(i * 3);
    for (int k = 9; k < 39; ++k) v[k] = float(i % 1000) * 1.37f + float(k);
    write_fmt(unit, f, v, 39);
    ++n;
  }
  close_unit(unit, true);
  state.SetItemsProcessed(n);
}
BENCHMARK(BM_LinkResultRecords);

}  // namespace
}  // namespace routava
