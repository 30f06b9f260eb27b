// TNTP: a metadata block of "<KEY> value" lines ending with <END OF METADATA>,
// "~" comments, link lines "init term capacity length fftt b power speed toll type ;",
// trips as "Origin o" followed by "d : flow;" entries, nodes as "id x y ;".
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>

#include "import.hpp"
#include "run/definition.hpp"

namespace routava::import {

namespace {

struct Line {
  long number;
  std::string text;  // comment removed
};

struct TntpFile {
  std::string path;
  std::map<std::string, std::pair<std::string, long>> meta;  // key -> (value, line)
  std::string header;  // metadata and comment text, lower case, to find the units in
  std::vector<Line> body;
};

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

TntpFile read_tntp_file(const std::string& path, bool has_metadata) {
  TntpFile f;
  f.path = path;
  const std::string text = read_text_file(path);
  bool in_meta = has_metadata;
  long number = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(at, nl - at);
    at = nl + 1;
    ++number;
    const size_t tilde = line.find('~');
    if (tilde != std::string::npos) {
      f.header += lower(line.substr(tilde)) + "\n";
      line.erase(tilde);
    }
    line = trimmed(line);
    if (line.empty()) continue;
    if (in_meta) {
      if (line[0] != '<') throw ImportError(path, number, "metadata line does not begin with <KEY>");
      const size_t close = line.find('>');
      if (close == std::string::npos) throw ImportError(path, number, "metadata key is not closed by >");
      const std::string key = line.substr(1, close - 1);
      if (key == "END OF METADATA") {
        in_meta = false;
        continue;
      }
      f.meta[key] = {trimmed(line.substr(close + 1)), number};
      f.header += lower(line) + "\n";
      continue;
    }
    f.body.push_back({number, line});
  }
  if (in_meta) throw ImportError(path, 0, "no <END OF METADATA> line");
  return f;
}

int64_t meta_whole(const TntpFile& f, const std::string& key, bool required, int64_t otherwise) {
  auto it = f.meta.find(key);
  if (it == f.meta.end()) {
    if (required) throw ImportError(f.path, 0, "no <" + key + "> in the metadata");
    return otherwise;
  }
  int64_t v = 0;
  if (!parse_whole(it->second.first, v))
    throw ImportError(f.path, it->second.second, "<" + key + "> \"" + it->second.first + "\" is not a whole number");
  return v;
}

std::vector<std::string> tokens(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ';')) ++i;
    size_t b = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != ';') ++i;
    if (i > b) out.push_back(s.substr(b, i - b));
  }
  return out;
}

// The unit a header names in brackets after one of `words`, as in "Length (ft)".
std::string stated_unit(const std::string& header, std::initializer_list<const char*> words) {
  for (const char* w : words) {
    size_t at = header.find(w);
    while (at != std::string::npos) {
      size_t p = at + std::string_view(w).size();
      while (p < header.size() && header[p] == ' ') ++p;
      if (p < header.size() && header[p] == '(') {
        const size_t close = header.find(')', p);
        if (close != std::string::npos) return trimmed(header.substr(p + 1, close - p - 1));
      }
      at = header.find(w, at + 1);
    }
  }
  return "";
}

void settle_units(const TntpFile& net, Options& opt, Source& src) {
  if (opt.metres_per_length == 0.0) {
    static const std::map<std::string, std::string> names = {
        {"ft", "ft"}, {"feet", "ft"}, {"mi", "mi"}, {"mile", "mi"}, {"miles", "mi"},
        {"km", "km"}, {"m", "m"},     {"meters", "m"}, {"metres", "m"}};
    const std::string stated = stated_unit(net.header, {"length"});
    auto it = names.find(stated);
    const std::string unit = it == names.end() ? "km" : it->second;
    length_unit(unit, opt.metres_per_length);
    src.notes.push_back("length unit " + unit +
                        (it == names.end() ? " (the file names none; --length-unit to change)"
                                           : " (as the file's header names it)"));
  }
  if (opt.minutes_per_time == 0.0) {
    static const std::map<std::string, std::string> names = {
        {"min", "min"}, {"mins", "min"}, {"minutes", "min"}, {"h", "h"}, {"hr", "h"},
        {"hours", "h"}, {"s", "s"},      {"sec", "s"},       {"seconds", "s"}};
    const std::string stated = stated_unit(net.header, {"free flow time", "free_flow_time", "fftt"});
    auto it = names.find(stated);
    const std::string unit = it == names.end() ? "min" : it->second;
    time_unit(unit, opt.minutes_per_time);
    src.notes.push_back("time unit " + unit +
                        (it == names.end() ? " (the file names none; --time-unit to change)"
                                           : " (as the file's header names it)"));
  }
}

double number_field(const std::string& path, long line, const std::vector<std::string>& t, size_t i,
                    const char* name, double otherwise) {
  if (i >= t.size()) return otherwise;
  double v = 0.0;
  if (!parse_number(t[i], v))
    throw ImportError(path, line, std::string(name) + " \"" + t[i] + "\" is not a number");
  return v;
}

int64_t node_field(const std::string& path, long line, const std::string& text, const char* name) {
  int64_t v = 0;
  if (!parse_whole(text, v) || v < 1)
    throw ImportError(path, line, std::string(name) + " \"" + text + "\" is not a node number (1 or more)");
  return v;
}

void read_links(const TntpFile& net, const Options& opt, Source& src, std::map<int64_t, size_t>& index) {
  auto node = [&](int64_t id, long line) {
    auto [it, added] = index.emplace(id, src.nodes.size());
    if (added) {
      Node n;
      n.id = std::to_string(id);
      n.where = net.path + ", line " + std::to_string(line);
      src.nodes.push_back(n);
    }
    return it->second;
  };
  for (const Line& l : net.body) {
    const auto t = tokens(l.text);
    if (t.size() < 5)
      throw ImportError(net.path, l.number,
                        "a link needs at least init node, term node, capacity, length and free-flow time (" +
                            std::to_string(t.size()) + " fields)");
    Link k;
    k.where = net.path + ", line " + std::to_string(l.number);
    k.from = node(node_field(net.path, l.number, t[0], "init node"), l.number);
    k.to = node(node_field(net.path, l.number, t[1], "term node"), l.number);
    k.capacity = number_field(net.path, l.number, t, 2, "capacity", 0.0);
    const double length = number_field(net.path, l.number, t, 3, "length", 0.0);
    const double time = number_field(net.path, l.number, t, 4, "free-flow time", 0.0);
    k.b = number_field(net.path, l.number, t, 5, "b", 0.15);
    k.power = number_field(net.path, l.number, t, 6, "power", 4.0);
    k.toll = number_field(net.path, l.number, t, 8, "toll", 0.0);
    const double type = number_field(net.path, l.number, t, 9, "link type", 1.0);
    if (length < 0 || time < 0 || k.capacity < 0 || k.b < 0 || k.power < 0 || k.toll < 0)
      throw ImportError(net.path, l.number, "capacity, length, free-flow time, b, power and toll must not be negative");
    k.length_m = length > 0 ? length * opt.metres_per_length : -1.0;
    k.time_min = time * opt.minutes_per_time;
    k.group = (type >= 0 && type <= 99 && type == std::floor(type)) ? int(type) : 0;
    src.links.push_back(k);
  }
}

void read_trips(const std::string& path, int NZ, Source& src) {
  const TntpFile f = read_tntp_file(path, true);
  src.trips_file = path;
  int origin = 0;
  auto zone = [&](const std::string& text, long line, const char* what) {
    int64_t z = 0;
    if (!parse_whole(text, z)) throw ImportError(path, line, std::string(what) + " \"" + text + "\" is not a zone number");
    if (z < 1 || z > NZ)
      throw ImportError(path, line, std::string(what) + " " + text + " is not a zone of the network (1.." +
                                        std::to_string(NZ) + ")");
    return int(z);
  };
  for (const Line& l : f.body) {
    if (l.text.rfind("Origin", 0) == 0) {
      const auto t = tokens(l.text.substr(6));
      if (t.size() != 1) throw ImportError(path, l.number, "\"Origin\" must be followed by one zone number");
      origin = zone(t[0], l.number, "origin");
      continue;
    }
    if (origin == 0) throw ImportError(path, l.number, "trips before the first \"Origin\" line");
    size_t at = 0;
    while (at < l.text.size()) {
      size_t semi = l.text.find(';', at);
      if (semi == std::string::npos) semi = l.text.size();
      const std::string entry = trimmed(l.text.substr(at, semi - at));
      at = semi + 1;
      if (entry.empty()) continue;
      const size_t colon = entry.find(':');
      if (colon == std::string::npos) throw ImportError(path, l.number, "entry \"" + entry + "\" is not \"zone : trips\"");
      const int d = zone(trimmed(entry.substr(0, colon)), l.number, "destination");
      double v = 0.0;
      const std::string value = trimmed(entry.substr(colon + 1));
      if (!parse_number(value, v) || v < 0)
        throw ImportError(path, l.number, "trips \"" + value + "\" is not a number of 0 or more");
      src.trips[{origin, d}] += v;
    }
  }
}

void read_nodes(const std::string& path, Source& src, const std::map<int64_t, size_t>& index) {
  const TntpFile f = read_tntp_file(path, false);
  size_t unknown = 0;
  for (const Line& l : f.body) {
    const auto t = tokens(l.text);
    int64_t id = 0;
    if (t.empty() || !parse_whole(t[0], id)) {
      if (&l == &f.body.front()) continue;  // the column names
      throw ImportError(path, l.number, "node \"" + (t.empty() ? std::string() : t[0]) + "\" is not a node number");
    }
    if (t.size() < 3) throw ImportError(path, l.number, "a node needs its number, x and y");
    double x = 0, y = 0;
    if (!parse_number(t[1], x)) throw ImportError(path, l.number, "x \"" + t[1] + "\" is not a number");
    if (!parse_number(t[2], y)) throw ImportError(path, l.number, "y \"" + t[2] + "\" is not a number");
    auto it = index.find(id);
    if (it == index.end()) {
      ++unknown;
      continue;
    }
    Node& n = src.nodes[it->second];
    n.has_xy = true;
    n.x = x;
    n.y = y;
  }
  if (unknown > 0) src.notes.push_back(std::to_string(unknown) + " nodes of " + path + " are on no link (ignored)");
}

}  // namespace

Source read_tntp(const std::string& net_path, const std::string& trips_path, Options& opt) {
  Source src;
  src.format = "tntp";
  src.network_file = net_path;
  const TntpFile net = read_tntp_file(net_path, true);
  const int64_t NZ = meta_whole(net, "NUMBER OF ZONES", true, 0);
  const long zones_line = net.meta.at("NUMBER OF ZONES").second;
  if (NZ < 1) throw ImportError(net_path, zones_line, "<NUMBER OF ZONES> must be 1 or more");
  if (NZ > NZSIZE)
    throw ImportError(net_path, zones_line,
                      std::to_string(NZ) + " zones: the program takes at most " + std::to_string(NZSIZE) + " zones");
  const int64_t first_thru = meta_whole(net, "FIRST THRU NODE", false, 1);
  settle_units(net, opt, src);

  std::map<int64_t, size_t> index;
  // Zones first, so that zone z is node z of the source whatever the link order.
  for (int64_t z = 1; z <= NZ; ++z) {
    Node n;
    n.id = std::to_string(z);
    n.where = net_path;
    n.zone = int(z);
    n.passable = z >= first_thru;
    index[z] = src.nodes.size();
    src.nodes.push_back(n);
    src.zone_ids.push_back(n.id);
  }
  read_links(net, opt, src, index);
  const int64_t declared = meta_whole(net, "NUMBER OF LINKS", false, -1);
  if (declared >= 0 && size_t(declared) != src.links.size())
    src.notes.push_back("<NUMBER OF LINKS> says " + std::to_string(declared) + ", the file holds " +
                        std::to_string(src.links.size()));
  if (!opt.nodes_file.empty()) read_nodes(opt.nodes_file, src, index);
  read_trips(trips_path, int(NZ), src);
  return src;
}

}  // namespace routava::import
