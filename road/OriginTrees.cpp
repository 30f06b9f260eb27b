// Origins searched ahead on worker threads, their trees taken in origin order.
#include "road/OriginTrees.hpp"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

namespace routava {

namespace {

void search_jobs(OriginTrees& t) {
  const size_t nslot = t.slots.size();
  for (;;) {
    std::unique_lock<std::mutex> lock(t.m);
    t.slot_free.wait(lock, [&] {
      return t.stopping || t.next_job >= t.jobs.size() || t.next_job < t.released + nslot;
    });
    if (t.stopping || t.next_job >= t.jobs.size()) return;
    const size_t j = t.next_job++;
    lock.unlock();

    OriginTrees::Slot& s = *t.slots[j % nslot];
    search_origin(t.net, t.jobs[j].node, s.TREE, s.work);

    lock.lock();
    s.done = int64_t(j);
    t.tree_done.notify_all();
  }
}

// The tree of the job taken last goes back to its slot, which is free again.
void hand_back(OriginTrees& t) {
  if (t.holder == nullptr) return;
  OriginTrees::Slot& s = *t.slots[(t.next_take - 1) % t.slots.size()];
  std::swap(*t.holder, s.TREE);
  t.holder = nullptr;
  std::lock_guard<std::mutex> lock(t.m);
  t.released = t.next_take;
  t.slot_free.notify_all();
}

}  // namespace

OriginTrees::~OriginTrees() {
  hand_back(*this);
  {
    std::lock_guard<std::mutex> lock(m);
    stopping = true;
  }
  slot_free.notify_all();
  for (std::thread& w : workers) w.join();
}

std::unique_ptr<OriginTrees> start_origin_trees(const SearchNet& net, std::vector<OriginJob> jobs,
                                                int32_t threads, int32_t tree_rows) {
  // The workers share the graph; without one each search would read the
  // network table, which the caller changes while it walks.
  const int32_t nnode = std::min({net.NNODE, net.NODTBL.rows(), tree_rows});
  if (threads < 2 || jobs.size() < 2 || net.graph == nullptr || net.graph->nnode != nnode) return nullptr;
  std::unique_ptr<OriginTrees> t;
  try {
    t = std::make_unique<OriginTrees>(net);
    t->jobs = std::move(jobs);
    // Two trees per worker and two more: the workers go on searching while the
    // caller walks an origin of many trips. A slot holds the network's nodes
    // alone: filling room for the largest network would cost more than the
    // searches of a small one.
    const size_t nslot = std::min(size_t(threads) * 2 + 2, t->jobs.size());
    for (size_t k = 0; k < nslot; ++k) {
      t->slots.push_back(std::make_unique<OriginTrees::Slot>());
      t->slots.back()->TREE.resize(nnode, TREE_COLS);
      t->slots.back()->work.least_nodes = 0;
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  for (int32_t k = 0; k < threads && size_t(k) < t->jobs.size(); ++k) {
    try {
      t->workers.emplace_back(search_jobs, std::ref(*t));
    } catch (const std::system_error&) {
      break;  // as many as the system gives
    }
  }
  if (t->workers.empty()) return nullptr;
  return t;
}

bool take_origin_tree(OriginTrees& t, int32_t zone, TreeTable& TREE, int LOG, int16_t KDEBUG,
                      int16_t& unreached) {
  hand_back(t);
  if (t.next_take >= t.jobs.size() || t.jobs[t.next_take].zone != zone) return false;
  const size_t j = t.next_take++;
  OriginTrees::Slot& s = *t.slots[j % t.slots.size()];
  {
    std::unique_lock<std::mutex> lock(t.m);
    t.tree_done.wait(lock, [&] { return s.done == int64_t(j); });
  }
  std::swap(TREE, s.TREE);
  t.holder = &TREE;
  say_search_report(s.work.report, t.net.NODTBL, TREE, zone, LOG, KDEBUG, unreached);
  return true;
}

}  // namespace routava
