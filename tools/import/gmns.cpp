// GMNS: node.csv, link.csv and a demand table, each with a header line naming
// its columns; columns are found by name, in any order, and others are ignored.
#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "import.hpp"
#include "run/definition.hpp"

namespace routava::import {

namespace {

struct Table {
  std::string path;
  std::vector<CsvRow> rows;  // without the header
  std::map<std::string, size_t> column;

  explicit Table(const std::string& p) : path(p) {
    rows = read_csv(p);
    if (rows.empty()) throw ImportError(p, 0, "the file is empty (a header line is needed)");
    for (size_t i = 0; i < rows[0].fields.size(); ++i) column.emplace(rows[0].fields[i], i);
    rows.erase(rows.begin());
  }
  bool has(const std::string& name) const { return column.count(name) > 0; }
  void require(std::initializer_list<const char*> names) const {
    for (const char* n : names)
      if (!has(n)) throw ImportError(path, 1, std::string("no column \"") + n + "\" in the header");
  }
  // The field, "" when the column is missing or the record is short.
  const std::string& field(const CsvRow& r, const std::string& name) const {
    static const std::string none;
    auto it = column.find(name);
    if (it == column.end() || it->second >= r.fields.size()) return none;
    return r.fields[it->second];
  }
  double number(const CsvRow& r, const std::string& name, double otherwise) const {
    const std::string& f = field(r, name);
    if (f.empty() || f == "NaN") return otherwise;
    double v = 0.0;
    if (!parse_number(f, v)) throw ImportError(path, r.line, name + " \"" + f + "\" is not a number");
    return v;
  }
  double needed_number(const CsvRow& r, const std::string& name) const {
    const std::string& f = field(r, name);
    if (f.empty() || f == "NaN") throw ImportError(path, r.line, name + " is empty");
    return number(r, name, 0.0);
  }
  std::string id(const CsvRow& r, const std::string& name) const {
    const std::string& f = field(r, name);
    if (f.empty()) throw ImportError(path, r.line, name + " is empty");
    return f;
  }
};

bool parse_bool(const std::string& s, bool& v) {
  std::string l;
  for (char c : s) l += char(std::tolower(static_cast<unsigned char>(c)));
  if (l == "true" || l == "1" || l == "yes" || l == "t") return v = true, true;
  if (l == "false" || l == "0" || l == "no" || l == "f") return v = false, true;
  return false;
}

// Zone ids in increasing order: numerically when every id is a whole number.
std::vector<std::string> zone_order(std::vector<std::string> ids) {
  bool numeric = true;
  for (const std::string& z : ids) {
    int64_t v = 0;
    numeric = numeric && parse_whole(z, v);
  }
  std::sort(ids.begin(), ids.end(), [numeric](const std::string& a, const std::string& b) {
    if (!numeric) return a < b;
    int64_t x = 0, y = 0;
    parse_whole(a, x);
    parse_whole(b, y);
    return x < y;
  });
  return ids;
}

}  // namespace

Source read_gmns(const std::string& node_path, const std::string& link_path, const std::string& demand_path,
                 Options& opt) {
  Source src;
  src.format = "gmns";
  src.network_file = link_path;
  if (opt.metres_per_length == 0.0) {
    opt.metres_per_length = 1.0;
    src.notes.push_back("length unit m (--length-unit to change)");
  }
  if (opt.kmh_per_speed == 0.0) {
    opt.kmh_per_speed = 1.0;
    src.notes.push_back("speed unit kmh (--speed-unit to change)");
  }

  const Table nodes(node_path);
  nodes.require({"node_id"});
  std::map<std::string, size_t> index;
  std::map<std::string, size_t> zone_node;  // zone id -> node
  for (const CsvRow& r : nodes.rows) {
    Node n;
    n.id = nodes.id(r, "node_id");
    n.where = node_path + ", line " + std::to_string(r.line);
    if (!index.emplace(n.id, src.nodes.size()).second)
      throw ImportError(node_path, r.line, "node_id " + n.id + " appears twice");
    if (!nodes.field(r, "x_coord").empty() || !nodes.field(r, "y_coord").empty()) {
      n.x = nodes.needed_number(r, "x_coord");
      n.y = nodes.needed_number(r, "y_coord");
      n.has_xy = true;
    }
    const std::string& zone = nodes.field(r, "zone_id");
    const bool centroid = nodes.field(r, "node_type") == "centroid";
    if (centroid && zone.empty())
      throw ImportError(node_path, r.line, "node " + n.id + " has node_type centroid but no zone_id");
    if (!zone.empty()) {
      auto [it, added] = zone_node.emplace(zone, src.nodes.size());
      if (!added)
        throw ImportError(node_path, r.line, "zone_id " + zone + " is already the zone of node " +
                                                 src.nodes[it->second].id + " (a zone has one node)");
      n.passable = !centroid;
    }
    src.nodes.push_back(n);
  }
  if (zone_node.size() > size_t(NZSIZE))
    throw ImportError(node_path, 0, std::to_string(zone_node.size()) + " zones: the program takes at most " +
                                        std::to_string(NZSIZE) + " zones");
  std::vector<std::string> ids;
  for (const auto& [z, n] : zone_node) ids.push_back(z);
  src.zone_ids = zone_order(ids);
  std::map<std::string, int> zone_code;
  for (size_t i = 0; i < src.zone_ids.size(); ++i) {
    zone_code[src.zone_ids[i]] = int(i + 1);
    src.nodes[zone_node.at(src.zone_ids[i])].zone = int(i + 1);
  }

  const Table links(link_path);
  links.require({"from_node_id", "to_node_id", "length", "free_speed"});
  for (const CsvRow& r : links.rows) {
    Link k;
    k.where = link_path + ", line " + std::to_string(r.line);
    auto node = [&](const char* name) {
      const std::string id = links.id(r, name);
      auto it = index.find(id);
      if (it == index.end())
        throw ImportError(link_path, r.line, std::string(name) + " " + id + " is not a node of " + node_path);
      return it->second;
    };
    k.from = node("from_node_id");
    k.to = node("to_node_id");
    bool directed = true;
    const std::string& d = links.field(r, "directed");
    if (!d.empty() && !parse_bool(d, directed))
      throw ImportError(link_path, r.line, "directed \"" + d + "\" is neither true nor false");
    const double length = links.needed_number(r, "length");
    const double speed = links.needed_number(r, "free_speed");
    if (length < 0) throw ImportError(link_path, r.line, "length must not be negative");
    if (speed <= 0) throw ImportError(link_path, r.line, "free_speed must be above 0");
    k.length_m = length * opt.metres_per_length;
    k.time_min = k.length_m / 1000.0 / (speed * opt.kmh_per_speed) * 60.0;
    // GMNS capacity is per lane.
    const double lanes = links.number(r, "lanes", 1.0);
    const double capacity = links.number(r, "capacity", 0.0);
    k.toll = links.number(r, "toll", 0.0);
    if (lanes < 0 || capacity < 0 || k.toll < 0)
      throw ImportError(link_path, r.line, "capacity, lanes and toll must not be negative");
    k.capacity = capacity * (lanes > 0 ? lanes : 1.0);
    src.links.push_back(k);
    if (!directed) {
      std::swap(k.from, k.to);
      src.links.push_back(k);
    }
  }

  const Table demand(demand_path);
  demand.require({"o_zone_id", "d_zone_id", "volume"});
  src.trips_file = demand_path;
  for (const CsvRow& r : demand.rows) {
    auto zone = [&](const char* name) {
      const std::string id = demand.id(r, name);
      auto it = zone_code.find(id);
      if (it == zone_code.end())
        throw ImportError(demand_path, r.line, std::string(name) + " " + id + " is not a zone of " + node_path);
      return it->second;
    };
    const int o = zone("o_zone_id");
    const int dz = zone("d_zone_id");
    const double v = demand.needed_number(r, "volume");
    if (v < 0) throw ImportError(demand_path, r.line, "volume must not be negative");
    src.trips[{o, dz}] += v;
  }
  return src;
}

}  // namespace routava::import
