// Trees of a stage's origins searched ahead on worker threads and handed to the
// caller strictly in origin order, so that everything the caller writes comes
// out as with one thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "road/Dijkstra.hpp"
#include "run/routines.hpp"

namespace routava {

// One origin to search: its zone and the internal node of its centroid.
struct OriginJob {
  int32_t zone;
  int32_t node;
};

struct OriginTrees {
  struct Slot {
    TreeTable TREE;
    SearchWork work;
    int64_t done = -1;  // the job whose tree the slot holds
  };

  explicit OriginTrees(const SearchNet& n) : net(n) {}
  ~OriginTrees();
  OriginTrees(const OriginTrees&) = delete;
  OriginTrees& operator=(const OriginTrees&) = delete;

  const SearchNet net;  // with its graph: the workers never read the network table
  std::vector<OriginJob> jobs;
  std::vector<std::unique_ptr<Slot>> slots;  // job j is searched into slot j % size
  std::vector<std::thread> workers;

  std::mutex m;
  std::condition_variable slot_free;  // to the workers
  std::condition_variable tree_done;  // to the caller
  size_t next_job = 0;   // the next job a worker claims
  size_t released = 0;   // jobs the caller is done with; job j may start once j < released + slots
  bool stopping = false;

  size_t next_take = 0;            // the job the caller takes next
  TreeTable* holder = nullptr;     // the caller's TREE, holding the tree of job next_take - 1
};

// Starts `threads` workers on `jobs`, each tree with a row per node of the
// network (at most `tree_rows`); null when there is nothing to gain (fewer
// than two threads or two jobs) or when memory or threads cannot be had: the
// caller then searches each origin itself.
std::unique_ptr<OriginTrees> start_origin_trees(const SearchNet& net, std::vector<OriginJob> jobs,
                                                int32_t threads, int32_t tree_rows);

// The tree of origin zone `zone`, the next job, into TREE with the messages of
// its search, as DIJKSTRA would leave them; false, with nothing done, when
// `zone` is not the next job. The tree is swapped in, the previous one handed
// back: until `trees` is destroyed, TREE has the network's rows alone, and then
// its own storage again.
bool take_origin_tree(OriginTrees& trees, int32_t zone, TreeTable& TREE, int LOG, int16_t KDEBUG,
                      int16_t& unreached);

}  // namespace routava
