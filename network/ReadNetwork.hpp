// GETNET's reading of the screen-line and ramp lists and of the road network.
#pragma once

#include <cstdint>
#include <string_view>

#include "run/definition.hpp"

namespace routava {

inline constexpr std::string_view NETWORK_FILE = "Network.csv";

// Columns of a link list.
constexpr int LIST_FROM = 1;    // from-node code
constexpr int LIST_TO = 2;      // to-node code
constexpr int LIST_NUMBER = 3;  // screen-line or ramp number
constexpr int LIST_COLS = 3;

// A list of links read from "Screen.csv" or "Ramp.csv".
struct LinkList {
  std::string_view file;   // the list file
  std::string_view limit;  // the program parameter that sizes it, for the overflow message
  Table<int32_t> rows;     // (capacity, LIST_COLS)
  int32_t count = 0;       // rows in use
};

// The two lists the network's links are marked from.
struct LinkLists {
  LinkList screens{"Screen.csv", "NSCRSZ", {}, 0};
  LinkList ramps{"Ramp.csv", "NRMPSZ", {}, 0};
};

// Reads the list's file when it exists and sets `flag` to 1 (0 when it does not).
// A file longer than the list's capacity is rejected with a message naming the
// file and the parameter, and IERR 9.
void read_link_list(LinkList& list, int16_t& flag, int LOG, int16_t& IERR);

// Reads "Network.csv" into LINK, LNKVT and LNKPT and settles NZ and NCENT.
// In automatic zone mode NZ is found from the links; otherwise NZ is the typed value.
void read_network(const Settings& set, const LinkLists& lists, SharedTables& t, int LOG, int16_t& IERR);

}  // namespace routava
