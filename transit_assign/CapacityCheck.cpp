// The capacity check of a later transit stage.
#include <cmath>
#include <utility>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

namespace {

// True when the LNKPT row is a checked route section that the previous transit
// loading filled beyond what its route's vehicles carry.
bool over_capacity(const SharedTables& t, const int64_t* row) {
  const int j = int(field(row, LNK_ROAD));
  const int q = route_part(field(row, LNK_FROM));
  const int m = int(field(row, LNK_KIND));
  const bool checked = j > 0 && j <= t.NLROAD && is_route_id(q) && t.RTFREQ(q) > 0.0f && m >= 1 &&
                       m <= NVTYPE && t.MODTAB(m, MODE_C) > 0.0f;
  if (!checked) return false;
  const float capacity = t.MODTAB(m, MODE_MAX) * t.MODTAB(m, MODE_HOURS) * 60.0f / t.RTFREQ(q) + 0.5f;
  // A capacity beyond every load (a huge mode value, a headway next to 0) or
  // without a value removes nothing; one below every load removes the section.
  constexpr float beyond = 9.2e18f;
  if (std::isnan(capacity) || capacity >= beyond) return false;
  if (capacity <= -beyond) return true;
  return field(row, LNK_LOAD) > int64_t(capacity);
}

}  // namespace

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
    if (!over_capacity(t, row)) {
      ++r;
      continue;
    }
    const int j = int(field(row, LNK_ROAD));
    write_fmt(unit, record,
              {int32_t(route_part(field(row, LNK_FROM))), t.LINK(j, LINK_ANODE), t.LINK(j, LINK_BNODE),
               int32_t(field(row, LNK_KIND)), field(row, LNK_LOAD)});
    // The last row takes the removed one's place, and is examined next.
    int64_t* last = t.LNKPT.row(t.NLPT);
    for (int c = 1; c <= LNK_COLS; ++c) std::swap(field(row, c), field(last, c));
    --t.NLPT;
    ++removed;
  }
  if (listed) close_unit(unit, removed == 0);
  if (removed > 0) CUTGETON(t, LOG, IERR);
  return removed;
}

}  // namespace routava
