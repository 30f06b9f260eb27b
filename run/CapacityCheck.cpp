// The capacity check of a later transit stage.
#include <utility>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

// Removes the route sections that the previous transit loading overfilled.
int capacity_check(SharedTables& t, int LOG, int16_t stage, int16_t& IERR) {
  static const Format record = Format::parse("(I5,',',2(I7,','),I3,',',I10,',')");
  int unit = free_unit();
  std::string name = stage_file_name("Transit CapacityOver00.csv", stage);
  // Without the list the removals still stand; the planner must know it is missing.
  const bool listed = open_write(unit, name);
  if (!listed) say(LOG, {" *** Error *** Can not create ", name, "; the sections over capacity are not listed."});
  write_line(unit, "Route,O Node,D Node,Mode,Assigned PT,");
  int removed = 0;
  int r = 1;
  while (r <= t.NLPT) {
    int64_t* row = t.LNKPT.row(r);
    int j = int(row[0]);
    int q = route_part(row[1]);
    int m = int(row[6]);
    bool over = false;
    if (j > 0 && j <= t.NLROAD && is_route_id(q) && t.RTFREQ(q) > 0.0f && m >= 1 && m <= NVTYPE &&
        t.MODTAB(m, 5) > 0.0f) {
      int64_t C = int64_t(t.MODTAB(m, 3) * t.MODTAB(m, 4) * 60.0f / t.RTFREQ(q) + 0.5f);
      over = row[7] > C;
    }
    if (!over) {
      ++r;
      continue;
    }
    write_fmt(unit, record, {int32_t(q), t.LINK(j, 1), t.LINK(j, 2), int32_t(m), row[7]});
    int64_t* last = t.LNKPT.row(t.NLPT);
    for (int c = 0; c < 8; ++c) std::swap(row[c], last[c]);
    --t.NLPT;
    ++removed;
  }
  if (listed) close_unit(unit, removed == 0);
  if (removed > 0) CUTGETON(t.NLPT, t.LNKPT, LOG, IERR, t.NNODE, t.NODTBL);
  return removed;
}


}  // namespace routava
