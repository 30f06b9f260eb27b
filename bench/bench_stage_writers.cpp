// The writers of a stage's files, one record kind at a time, with the program's
// own layouts and writers: vehicle path and impedance records, the link results
// and transit path records. Values take the shapes of a full-size run's files:
// a pair and its counts repeat along a path of 10 to 40 links. The files go to a
// scratch directory; bytes per second count what reached them.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/stage_loader.hpp"

namespace routava {
namespace {

// xorshift64: cheap beside a record, the same values on every run.
struct Draw {
  uint64_t s = 0x9E3779B97F4A7C15ull;
  int32_t below(uint32_t n) {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return int32_t(uint32_t(s >> 32) % n);
  }
};

// Origin, destination and path length of the pair being written.
struct Pairs {
  int32_t o = 1, d = 1, len = 0, seq = 0;
  bool next_step(Draw& r) {  // true when a new pair begins
    if (seq < len) {
      ++seq;
      return false;
    }
    if (++d > NZSIZE) d = 1, o = o % NZSIZE + 1;
    len = 10 + r.below(31);
    seq = 1;
    return true;
  }
};

// Times `write` once per iteration on the files that `Files` opens in a scratch
// directory. Each iteration writes one record to `file`, or with `records` above
// 1 writes the whole file of that many records anew.
template <class Files, class Write>
void time_records(benchmark::State& state, const char* file, int64_t records, Write write) {
  bench::ScratchDir dir("routava-writers");
  bool ok = true;
  {
    Files files(dir.path());
    if (!files.ok()) {
      state.SkipWithError("the stage files could not be opened");
      return;
    }
    for (auto _ : state) ok = write(files) && ok;
  }
  if (!ok) state.SkipWithError("a file could not be written");
  std::error_code ec;
  const auto size = int64_t(bench::fs::file_size(dir.path() / file, ec));
  state.SetItemsProcessed(state.iterations() * records);
  state.SetBytesProcessed(ec ? 0 : records > 1 ? state.iterations() * size : size);
}

void BM_VehiclePathRecords(benchmark::State& state) {
  Draw r;
  Pairs p;
  int32_t od[NVTYPE] = {};
  time_records<bench::RoadStageFiles>(state, "Vehicle PathVT01.csv", 1, [&](bench::RoadStageFiles& files) {
    if (p.next_step(r)) {
      od[0] = r.below(20);
      od[1] = r.below(8);
    }
    files.path(1 + r.below(LRSIZE), 1001 + r.below(6084), 1001 + r.below(6084), 10 + r.below(490), p.o, p.d,
               p.seq, od);
    return true;
  });
}
BENCHMARK(BM_VehiclePathRecords);

void BM_VehicleImpedanceRecords(benchmark::State& state) {
  Draw r;
  Pairs p;
  time_records<bench::RoadStageFiles>(state, "Vehicle Impedance01.csv", 1, [&](bench::RoadStageFiles& files) {
    p.next_step(r);
    p.seq = p.len;  // one record per pair
    const int64_t imp = 200 + r.below(9000);
    files.impedance(p.o, p.d, r.below(60), imp, float(imp) * 0.009f, float(r.below(4000)) * 0.01f,
                    r.below(8) == 0 ? 100 + r.below(400) : 0);
    return true;
  });
}
BENCHMARK(BM_VehicleImpedanceRecords);

// One iteration is one whole link result file of a full-size road table.
void BM_LinkResultFile(benchmark::State& state) {
  LinkTable LINK(LRSIZE, LINK_COLS);
  std::vector<float> work(size_t(LRSIZE) * 3 * NVTYPE, 0.0f);
  Draw r;
  for (int i = 1; i <= LRSIZE; ++i) {
    LINK(i, LINK_ANODE) = 1001 + r.below(6084);
    LINK(i, LINK_BNODE) = 1001 + r.below(6084);
    LINK(i, LINK_CHARACTER) = 1;
    LINK(i, LINK_GROUP) = 1 + r.below(9);
    LINK(i, LINK_QVTYPE) = 1 + r.below(9);
    LINK(i, LINK_LENGTH) = 30 + r.below(900);
    LINK(i, LINK_SPEED) = 20 + r.below(60);
    LINK(i, LINK_VOLUME) = r.below(4) == 0 ? 0 : r.below(5000);
    float* w = work.data() + size_t(i - 1) * 3 * NVTYPE;
    for (int t = 0; t < 2; ++t) {  // cars and trucks
      w[t] = float(LINK(i, LINK_VOLUME) / (t + 1));
      w[NVTYPE + t] = w[t] * float(LINK(i, LINK_LENGTH)) / 1000.0f;
      w[2 * NVTYPE + t] = w[NVTYPE + t] / float(LINK(i, LINK_SPEED));
    }
  }
  time_records<bench::RoadStageFiles>(state, "Traffic Assign01VT.csv", LRSIZE, [&](bench::RoadStageFiles& files) {
    return files.link_results(LRSIZE, LINK, work.data());
  });
}
BENCHMARK(BM_LinkResultFile)->Unit(benchmark::kMillisecond);

void BM_TransitPathRecords(benchmark::State& state) {
  Draw r;
  Pairs p;
  TransitStep st;
  time_records<bench::TransitPathFile>(state, "Transit PathPT02.csv", 1, [&](bench::TransitPathFile& file) {
    if (p.next_step(r)) {
      st.pair = TripPair{p.o, p.d, r.below(40)};
      st.route = 1 + r.below(1650);
      st.mode = r.below(6) == 0 ? 8 : 1;
    }
    // Traced from the destination: walk, alight, ride, board, walk.
    st.seq = p.seq;
    st.kind = p.seq == 1 || p.seq == p.len ? StepKind::WALK
              : p.seq == 2                 ? StepKind::GET_OFF
              : p.seq == p.len - 1         ? StepKind::GET_ON
                                           : StepKind::RIDE;
    const bool riding = st.kind == StepKind::RIDE;
    st.link = st.kind == StepKind::WALK || riding ? 1 + r.below(LRSIZE) : 0;
    st.o_node = 1001 + r.below(6084);
    st.d_node = riding ? 1001 + r.below(6084) : st.o_node;
    st.time = st.kind == StepKind::GET_OFF ? 0 : 20 + r.below(400);
    file.path(st);
    return true;
  });
}
BENCHMARK(BM_TransitPathRecords);

}  // namespace
}  // namespace routava
