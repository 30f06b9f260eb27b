// GETNET's reading of the screen-line and ramp lists and of the road network.
#pragma once

#include <cstdint>
#include <string_view>

#include "run/definition.hpp"

namespace routava {

// A list of (from-node, to-node, number) rows read from "Screen.csv" or "Ramp.csv".
struct LinkList {
  Table<int32_t> rows;  // (capacity, 3)
  int32_t count = 0;    // rows in use
};

// Reads the list file `name` into `list` when it exists and sets `flag` to 1
// (0 when it does not). A file longer than the list's capacity is rejected
// with a message naming the file and `limit_name`, and IERR 9.
void read_link_list(std::string_view name, std::string_view limit_name, LinkList& list,
                    int16_t& flag, int LOG, int16_t& IERR);

// Reads "Network.csv" into LINK, LNKVT and LNKPT and settles NZ and NCENT.
// In automatic zone mode NZ is found from the links; otherwise NZ is the typed value.
void read_network(const Settings& set, const LinkList& screens, const LinkList& ramps,
                  int16_t& IERR, int LOG, int32_t& NZ, int32_t& NLROAD, int32_t& NLPT,
                  int32_t& NLVT, CentTable& NCENT, LinkTable& LINK, NetTable& LNKPT,
                  NetTable& LNKVT);

}  // namespace routava
