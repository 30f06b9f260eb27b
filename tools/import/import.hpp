// routava-import: a network of another format turned into a working directory.
//
// The readers (tntp.cpp, gmns.cpp) fill one Source in common units; workdir.cpp
// maps it onto the program's files. Every problem is an ImportError, caught once
// in main(), which then leaves nothing behind.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace routava::import {

// A problem with the input: the file, its line (0 when the problem is not on a line)
// and what is wrong.
class ImportError : public std::runtime_error {
 public:
  ImportError(const std::string& file, long line, const std::string& what)
      : std::runtime_error(where(file, line) + what) {}
  explicit ImportError(const std::string& what) : std::runtime_error(what) {}
  static std::string where(const std::string& file, long line) {
    if (file.empty()) return "";
    return line > 0 ? file + ", line " + std::to_string(line) + ": " : file + ": ";
  }
};

struct Node {
  std::string id;       // as the source writes it
  std::string where;    // "file, line n" for messages
  bool has_xy = false;
  double x = 0.0, y = 0.0;
  int zone = 0;         // zone code 1..NZ, 0 for an ordinary node
  bool passable = true; // a zone node that trips may pass through (split in two)
};

struct Link {
  size_t from = 0, to = 0;  // indices into Source::nodes
  double length_m = -1.0;   // -1: the source gives no length
  double time_min = 0.0;    // free-flow time
  double capacity = 0.0;    // per period of the demand, before --capacity-factor; 0 none
  double b = 0.15, power = 4.0;
  double toll = 0.0;        // money
  int group = 1;            // evaluation group carried into the results
  std::string where;
};

struct Source {
  std::string format;                     // "tntp" or "gmns"
  std::vector<Node> nodes;
  std::vector<Link> links;
  std::vector<std::string> zone_ids;      // source id of zone code z at [z - 1]
  std::map<std::pair<int, int>, double> trips;  // (origin, destination) zone codes
  std::string network_file;               // named by messages about the whole network
  std::string trips_file;
  std::vector<std::string> notes;         // told to the user with the counts
};

struct Options {
  double metres_per_length = 0.0;  // 0: not given
  double minutes_per_time = 0.0;   // 0: not given
  double kmh_per_speed = 0.0;      // 0: not given
  std::vector<double> stages{100.0};
  double time_value = 0.0;
  double capacity_factor = 1.0;
  std::string nodes_file;          // tntp --nodes
};

// Units by name; false for an unknown name.
bool length_unit(std::string_view name, double& metres);
bool time_unit(std::string_view name, double& minutes);
bool speed_unit(std::string_view name, double& kmh);

// Text and CSV helpers shared by the readers.
bool parse_number(std::string_view text, double& value);  // finite numbers only
bool parse_whole(std::string_view text, int64_t& value);  // an integer written as one
std::string read_text_file(const std::string& path);      // throws when unreadable
struct CsvRow {
  long line = 0;
  std::vector<std::string> fields;
};
std::vector<CsvRow> read_csv(const std::string& path);    // quotes, BOM and CRLF handled

Source read_tntp(const std::string& net, const std::string& trips, Options& opt);
Source read_gmns(const std::string& nodes, const std::string& links, const std::string& demand,
                 Options& opt);

// Writes the working directory into `dir` (which exists and is empty) and prints
// the counts to standard output.
void write_workdir(const Source& src, const Options& opt, const std::string& dir);

}  // namespace routava::import
