// What an OD file held that its reader left out or doubts, said once per file.
#include <string>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

void say_od_tallies(int LOG, std::string_view name, bool empty, int32_t NZ, const RecordTally& outside,
                    const RecordTally& negative) {
  if (empty) say_line(LOG, " *** Warning *** " + std::string(name) + " holds no OD record.");
  std::string outside_what;
  format_free(outside_what, {"left out, a zone above the zone count", NZ});
  say_tally(LOG, outside, name, std::string_view(outside_what).substr(1));  // past the record's leading blank
  say_tally(LOG, negative, name, "with trips below 0, taken as read");
}

}  // namespace routava
