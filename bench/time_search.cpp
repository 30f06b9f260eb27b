// time_search: the path search of every origin zone of a directory's first road
// stage, timed in-process (best of three), and the searched graph written for a
// peer to search the same arcs (bench/compare-scipy.sh). Timed twice: each tree
// searched in turn (one thread), and the way a run searches them, ahead on
// THREADS workers (default: every core) taken in origin order.
//
//   time_search DIR [GRAPH] [THREADS]
//
// GRAPH (little-endian): int64 nodes, arcs, zones; int64 row starts[nodes+1];
// int32 heads[arcs]; int64 costs[arcs]; int32 source[zones], sink[zones] (-1
// none); int64 our zone-to-zone labels[zones*zones] (-1 unreached). Centroids
// are split so that a path cannot pass through one: a zone's node keeps the
// arcs that leave it (its source) and the arcs into it go to an added node (its sink).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench/stage_loader.hpp"
#include "road/OriginTrees.hpp"

namespace {

using namespace routava;

struct Graph {
  std::vector<int64_t> start{0};
  std::vector<int32_t> head;
  std::vector<int64_t> cost;
  std::vector<int32_t> source, sink;
  int64_t nodes = 0;
};

// The arcs one search of `s` may relax, in the search's own terms; "" or why a
// plain graph cannot hold the stage.
std::string build_graph(const bench::LoadedStage& s, Graph& g) {
  const SharedTables& t = *s.t;
  const NetTable& table = s.table();
  const int32_t nnode = t.NNODE, nz = t.NZ;
  std::vector<int32_t> sink_of(size_t(nnode) + 1, -1);
  int32_t nsink = 0;
  for (int32_t n = 1; n <= nnode; ++n)
    if (t.NODTBL(n, NOD_ZONE) > 0) sink_of[size_t(n)] = nnode + nsink++;
  g.nodes = nnode + nsink;
  for (int32_t n = 1; n <= nnode; ++n) {
    const int64_t code = t.NODTBL(n, NOD_CODE);
    const int64_t first = std::max<int64_t>(t.NODTBL(n, NOD_FIRST), 1);
    const int64_t last = std::min<int64_t>(t.NODTBL(n, NOD_LAST), table.rows());
    std::vector<int64_t> cut_to;  // codes that a cut link forbids entering from n
    if (t.NODTBL(n, NOD_CUT) > 0) {
      for (int32_t j = 1; j <= std::min(t.NCUT, t.LCUT.rows()); ++j) {
        if (t.LCUT(j, CUT_MIDDLE) != code) continue;
        if (t.LCUT(j, CUT_FIRST) > 0 || t.LCUT(j, CUT_BEFORE) > 0)
          return "the stage has prohibited turns, which a plain graph cannot hold";
        cut_to.push_back(t.LCUT(j, CUT_LAST));
      }
    }
    for (int64_t r = first; r <= last; ++r) {
      const int64_t kind = table(int(r), LNK_KIND);
      if (kind > 10 || (kind > 0 && s.stage.KSW[size_t(kind)] <= 0)) continue;
      const int64_t h = table(int(r), LNK_TONODE);
      if (h < 1 || h > nnode) continue;
      const int64_t imp = table(int(r), LNK_IMPEDANCE);
      if (imp >= UNREACHED) continue;
      if (imp < 0) return "row " + std::to_string(r) + " has a negative impedance";
      if (std::count(cut_to.begin(), cut_to.end(), t.NODTBL(int(h), NOD_CODE)) > 0) continue;
      g.head.push_back(sink_of[size_t(h)] >= 0 ? sink_of[size_t(h)] : int32_t(h - 1));
      g.cost.push_back(imp);
    }
    g.start.push_back(int64_t(g.head.size()));
  }
  g.start.resize(size_t(g.nodes) + 1, int64_t(g.head.size()));  // sinks: no arcs leave
  for (int32_t z = 1; z <= nz; ++z) {
    const int32_t n = s.zone_node(z);
    g.source.push_back(n >= 1 ? n - 1 : -1);
    g.sink.push_back(n >= 1 ? sink_of[size_t(n)] : -1);
  }
  return "";
}

template <class T>
void put(std::FILE* f, const std::vector<T>& v) {
  std::fwrite(v.data(), sizeof(T), v.size(), f);
}

// A raw binary for numpy, not a program file: the record layer is not involved.
bool write_graph(const char* path, const Graph& g, const std::vector<int64_t>& labels, int32_t nz) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  put(f, std::vector<int64_t>{g.nodes, int64_t(g.head.size()), nz});
  put(f, g.start);
  put(f, g.head);
  put(f, g.cost);
  put(f, g.source);
  put(f, g.sink);
  put(f, labels);
  return std::fclose(f) == 0;
}

// The zone-to-zone labels of the tree in TREE into one row of the matrix.
void copy_labels(const bench::LoadedStage& s, const TreeTable& TREE, int32_t origin, std::vector<int64_t>& labels) {
  const int32_t nz = s.t->NZ;
  int64_t* row = labels.data() + size_t(origin - 1) * size_t(nz);
  for (int32_t d = 1; d <= nz; ++d) {
    const int32_t n = s.zone_node(d);
    const int64_t label = n >= 1 ? TREE(n, TREE_LABEL) : UNREACHED;
    row[d - 1] = label >= UNREACHED ? -1 : label;
  }
}

// Every origin's tree searched ahead on `threads` workers and taken in origin
// order, as a road stage does; seconds, best of three, or a negative value when
// the workers could not be started.
double time_ahead(bench::LoadedStage& s, const std::vector<int32_t>& origins, int32_t threads,
                  std::vector<int64_t>& labels) {
  double best = 1e30;
  for (int pass = 0; pass < 3; ++pass) {
    bench::QuietConsole quiet;
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<OriginJob> jobs;
    for (int32_t o : origins) jobs.push_back(OriginJob{o, s.zone_node(o)});
    auto ahead = start_origin_trees(s.net(), std::move(jobs), threads, s.TREE.rows());
    if (!ahead) return -1;
    for (int32_t o : origins) {
      int16_t unreached = 0;
      if (!take_origin_tree(*ahead, o, s.TREE, 0, 0, unreached)) return -1;
      copy_labels(s, s.TREE, o, labels);
    }
    ahead.reset();  // the workers joined: part of the cost
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned cores = std::thread::hardware_concurrency();
  int32_t threads = cores == 0 ? 1 : int32_t(cores);
  if (argc == 4) {
    char* end = nullptr;
    threads = int32_t(std::strtol(argv[3], &end, 10));
    if (end == argv[3] || *end != '\0' || threads < 1 || threads > 256) threads = 0;
  }
  if (argc < 2 || argc > 4 || argv[1][0] == '-' || threads == 0) {
    std::fprintf(stderr, "usage: time_search DIR [GRAPH] [THREADS]  (THREADS 1 to 256)\n");
    return 2;
  }
  std::string error;
  auto s = bench::load_stage(argv[1], false, error);
  if (!s) {
    std::fprintf(stderr, "time_search: %s\n", error.c_str());
    return 1;
  }
  const int32_t nz = s->t->NZ;
  std::vector<int32_t> origins;
  for (int32_t z = 1; z <= nz; ++z)
    if (s->zone_node(z) >= 1) origins.push_back(z);

  std::vector<int64_t> labels(size_t(nz) * size_t(nz), -1);
  double best = 1e30;
  for (int pass = 0; pass < 3; ++pass) {
    bench::QuietConsole quiet;
    const auto t0 = std::chrono::steady_clock::now();
    for (int32_t o : origins) {
      s->search(o);
      copy_labels(*s, s->TREE, o, labels);
    }
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::printf("time_search: %s, stage %d: %d nodes, %d rows, %d zones, %zu origins searched\n", argv[1],
              int(s->stage.KSTAGE), int(s->t->NNODE), int(s->rows()), int(nz), origins.size());
  std::printf("routava 1 thread: %.4f s (best of 3; %.3f ms per tree)\n", best,
              origins.empty() ? 0.0 : 1000.0 * best / double(origins.size()));
  // With one thread, or one origin, a run searches each tree in turn: the time above.
  double ahead = best;
  if (threads > 1 && origins.size() > 1) {
    std::vector<int64_t> ahead_labels(labels.size(), -1);
    ahead = time_ahead(*s, origins, threads, ahead_labels);
    if (ahead < 0) {
      std::fprintf(stderr, "time_search: %s: the search threads could not be started\n", argv[1]);
      return 1;
    }
    if (ahead_labels != labels) {
      std::fprintf(stderr, "time_search: %s: the trees searched on %d threads differ from those of one\n",
                   argv[1], int(threads));
      return 1;
    }
    std::printf("routava %d threads: %.4f s (best of 3; %d cores), every zone-to-zone label as with 1 thread\n",
                int(threads), ahead, int(cores));
  }
  std::printf("routava %.4f s with %d thread%s\n", ahead, int(threads), threads == 1 ? "" : "s");
  if (argc >= 3) {
    Graph g;
    error = build_graph(*s, g);
    if (!error.empty()) {
      std::fprintf(stderr, "time_search: %s: %s\n", argv[1], error.c_str());
      return 1;
    }
    if (!write_graph(argv[2], g, labels, nz)) {
      std::fprintf(stderr, "time_search: cannot write %s\n", argv[2]);
      return 1;
    }
    std::printf("time_search: graph of %lld nodes (%d sinks) and %zu arcs in %s\n",
                static_cast<long long>(g.nodes), int(g.nodes - s->t->NNODE), g.head.size(), argv[2]);
  }
  return 0;
}
