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
