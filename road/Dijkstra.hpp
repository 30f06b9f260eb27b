// Work storage of the path search, owned by the caller and kept between origins.
#pragma once

#include <cstdint>
#include <vector>

#include "road/SearchHeap.hpp"

namespace routava {

// Sized by DIJKSTRA on first use; callers only construct it and hand the same
// object to every search of one run of searches over one node table. The TREE
// rows written by the previous search are reset from here, so a SearchWork
// should not be kept across a rebuild of the node table (a different TREE, node
// table or node count is detected and falls back to a full reset).
struct SearchWork {
  // Per node, indexed by internal node number; clean (UNREACHED, 0) between searches.
  std::vector<int64_t> label;
  std::vector<int32_t> state;         // heap position when > 0, -1 when fixed, 0 not reached
  std::vector<SearchHeapEntry> heap;  // entries of the SearchHeap, empty between searches
  std::vector<int32_t> touched;  // nodes whose TREE row the last search changed
  int32_t ntouched = 0;

  // The TREE the last search wrote, and the node table it was made from.
  const void* tree_object = nullptr;
  const int64_t* tree_data = nullptr;
  const int64_t* nodtbl_data = nullptr;
  int32_t tree_nnode = 0;
  int32_t last_origin = 0;

  // Cut entries ordered by the code of their middle node, rebuilt only when the
  // cut table's contents change.
  std::vector<int64_t> cut_copy;   // LCUT rows 1..NCUT as last indexed
  std::vector<int64_t> cut_code;   // the middle-node codes of the entries, ascending
  std::vector<int32_t> cut_entry;  // entry number of each cut_code
  int32_t ncut_indexed = -1;
};

}  // namespace routava
