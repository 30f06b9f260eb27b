// Whole runs at the full table sizes: 30,000 road links, 400 zones, a transit
// table of nearly 300,000 rows. The city is generated once (tools/make_city.cpp)
// into a temporary directory; each iteration is a complete run in-process, from
// the banner to the totals, with the console answers fed from memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "run/recio.hpp"
#include "run/routines.hpp"

#define MAKE_CITY_NO_MAIN
#include "tools/make_city.cpp"

namespace routava {
namespace {

namespace fs = std::filesystem;

// The generated working directory, made on first use and removed at exit.
class City {
 public:
  static const fs::path& dir() {
    static City city;
    return city.dir_;
  }
  ~City() {
    std::error_code ec;
    fs::current_path(home_, ec);
    fs::remove_all(dir_, ec);
  }

 private:
  City() {
    home_ = fs::current_path();
    std::string tmpl = (fs::temp_directory_path() / "routava-city-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    dir_ = tmpl;
    fs::current_path(dir_);
    if (make_city::run(make_city::Options{}) != 0) std::abort();
    fs::current_path(home_);
  }
  fs::path home_;
  fs::path dir_;
};

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

long count_lines(const fs::path& p) {
  FILE* f = std::fopen(p.c_str(), "rb");
  if (!f) return 0;
  long n = 0;
  char buf[1 << 16];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
    for (size_t k = 0; k < got; ++k) n += buf[k] == '\n';
  std::fclose(f);
  return n;
}

// One run of the control file `assign` with the console answers `answers`;
// `path_file` is the path file whose records are counted for the rate.
void whole_run(benchmark::State& state, const char* assign, const char* answers, const char* path_file) {
  const fs::path& dir = City::dir();
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  fs::copy_file(assign, "Assign.txt", fs::copy_options::overwrite_existing);
  const std::string input = slurp(answers);
  int status = 0;
  for (auto _ : state) {
    std::istringstream in(input);
    std::ostringstream out;
    set_console(&in, &out);
    status = run_main();
    set_console(nullptr, nullptr);
    if (status != 0) break;
  }
  if (status != 0) {
    state.SkipWithError("the run did not end normally");
  } else {
    const long records = count_lines(path_file) - 1;  // less the header
    state.counters["path_records"] = double(records);
    state.counters["path_records_per_s"] =
        benchmark::Counter(double(records), benchmark::Counter::kIsIterationInvariantRate);
  }
  fs::current_path(home);
}

void BM_FullsizeRoadStage(benchmark::State& state) {
  whole_run(state, "Assign-road.txt", "answers-road.txt", "Vehicle PathVT01.csv");
}
BENCHMARK(BM_FullsizeRoadStage)->Unit(benchmark::kMillisecond)->Iterations(2);

// A road stage, then a transit stage on the loaded roads.
void BM_FullsizeRoadAndTransitStage(benchmark::State& state) {
  whole_run(state, "Assign-transit.txt", "answers-transit.txt", "Transit PathPT02.csv");
}
BENCHMARK(BM_FullsizeRoadAndTransitStage)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace routava
