// The working directory made from a Source: node codes, links, speed-flow types,
// tariffs, demand, control file and console answers.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <set>
#include <tuple>

#include "import.hpp"
#include "run/definition.hpp"
#include "run/recio.hpp"

namespace routava::import {

namespace {

constexpr int MAX_TYPES = 99;        // QV and tariff types
constexpr int MIN_KMH = 6;           // one metre then moves a link time by at most 0.01 min
constexpr int MAX_KMH = 999;         // the speed columns of the results are three wide
constexpr int64_t MAX_LENGTH_M = 9999999;
constexpr int64_t CODE_OFFSET = 1000;  // ordinary node n becomes 1000 + n
constexpr double MAX_CAPACITY = 4e8;   // Q2 = 2 x capacity must fit its field of QV.csv
constexpr double MAX_DIVISOR = 1e6;    // BPR divisors beyond this all mean "stopped"
constexpr double MAX_MINUTES = 1e5;    // keeps every path's label far below the unreached value
constexpr double MAX_TOLL = 1e6;

struct OutLink {
  int64_t a = 0, b = 0;
  int character = 1, group = 0, qv = 0, tariff = 0;
  int64_t length_m = 0;
  const Link* src = nullptr;  // nullptr for a connector between a zone's centroid and junction
};

// A speed-flow curve class: free speed, capacity class, and the BPR divisors at
// capacity and twice capacity in ten-thousandths.
using Curve = std::tuple<int, int64_t, int64_t, int64_t>;

struct CurveInput {
  double vstar = 0.0;  // km/h from length / time; 0 when unknown
  double capacity = 0.0;
  double f2 = 1.0, f3 = 1.0;
};

struct Grid {
  double speed_step, class_step;  // relative steps of the geometric grids (0 = exact)
};

// Finest first: free speed keeps whole km/h longest, since its grid is what lengths
// give up to keep the free-flow times.
constexpr Grid GRIDS[] = {{0, 0},         {0, 0.02},     {0.01, 0.05},  {0.02, 0.1},  {0.03, 0.15},
                          {0.05, 0.25},   {0.07, 0.35},  {0.1, 0.5},    {0.15, 0.75}, {0.2, 1.0},
                          {0.3, 2.0},     {0.5, 4.0},    {1.0, 9.0},    {3.0, 99.0}};
constexpr double DEFAULT_KMH = 50.0;  // for a link whose source gives no length

double on_grid(double x, double step) {
  if (step <= 0 || x <= 0) return x;
  const double r = std::log1p(step);
  return std::exp(r * std::round(std::log(x) / r));
}

Curve curve_of(const CurveInput& in, const Grid& g) {
  const double v = std::clamp(in.vstar > 0 ? in.vstar : DEFAULT_KMH, double(MIN_KMH), double(MAX_KMH));
  const int v1 = std::clamp(int(std::lround(on_grid(v, g.speed_step))), MIN_KMH, MAX_KMH);
  const int64_t q1 = in.capacity > 0 ? std::max<int64_t>(1, int64_t(std::llround(on_grid(in.capacity, g.class_step)))) : 0;
  const int64_t f2 = std::llround(on_grid(in.f2, g.class_step) * 10000.0);
  const int64_t f3 = std::llround(on_grid(in.f3, g.class_step) * 10000.0);
  return {v1, q1, f2, f3};
}

CurveInput curve_input(const Link& l, const Options& opt) {
  CurveInput in;
  if (l.length_m > 0 && l.time_min > 0) in.vstar = l.length_m / 1000.0 / (l.time_min / 60.0);
  double capacity = l.capacity * opt.capacity_factor;
  double b = l.b;
  // A network that gives capacity 1 and folds the real capacity into b: take the
  // capacity back at which the delay factor is 0.15, so the curve bends where it should.
  if (b > 0 && b < 0.01 && l.power > 0 && capacity > 0) {
    capacity *= std::pow(0.15 / b, 1.0 / l.power);
    b = 0.15;
  }
  if (capacity > MAX_CAPACITY)
    throw ImportError(l.where, 0, "a capacity of more than 400,000,000 PCU (after --capacity-factor), which QV.csv cannot hold");
  if (capacity > 0 && b > 0) {
    in.capacity = capacity;
    in.f2 = std::min(1.0 + b, MAX_DIVISOR);
    in.f3 = std::min(1.0 + b * std::pow(2.0, std::min(l.power, 64.0)), MAX_DIVISOR);
  } else {
    in.capacity = capacity;
  }
  return in;
}

// The link time the program computes from a length and a speed (single precision).
int64_t program_time(int64_t length_m, int kmh) {
  return int64_t(float(length_m) * 6.0f / float(kmh) + 0.5f);
}

// The length nearest the source's whose time at `kmh` is the source time rounded
// to hundredths of a minute.
int64_t fitted_length(const Link& l, int kmh) {
  const int64_t target = int64_t(std::floor(l.time_min * 100.0 + 0.5));
  int64_t lo = std::max<int64_t>(0, int64_t(std::floor((double(target) - 0.5) * kmh / 6.0)) - 2);
  while (lo > 0 && program_time(lo, kmh) >= target) --lo;
  while (program_time(lo, kmh) < target) ++lo;
  int64_t hi = lo;
  while (program_time(hi + 1, kmh) == target) ++hi;
  if (l.length_m < 0) return (lo + hi) / 2;
  return std::clamp(int64_t(std::llround(l.length_m)), lo, hi);
}

std::string csv_text(const std::string& s) {
  if (s.find_first_of(",\"") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

struct File {
  std::string name;
  std::string text;
  void record(const Format& f, std::initializer_list<Out> values) {
    format_record(text, f, values);
    text += '\n';
  }
  void line(std::string_view s) {
    text += s;
    text += '\n';
  }
};

void write_file(const std::string& dir, const File& f) {
  const std::string path = dir + "/" + f.name;
  FILE* out = std::fopen(path.c_str(), "wb");
  bool ok = out != nullptr && std::fwrite(f.text.data(), 1, f.text.size(), out) == f.text.size();
  if (out != nullptr) ok = (std::fclose(out) == 0) && ok;
  if (!ok) throw ImportError(path, 0, std::string("cannot be written (") + std::strerror(errno) + ")");
}

struct Codes {
  std::vector<int64_t> centroid;  // zone code, 0 for an ordinary node
  std::vector<int64_t> junction;  // code trips pass through, 0 for a centroid only
  int64_t end(size_t node) const { return junction[node] != 0 ? junction[node] : centroid[node]; }
};

Codes node_codes(const Source& src) {
  Codes c;
  c.centroid.assign(src.nodes.size(), 0);
  c.junction.assign(src.nodes.size(), 0);
  bool offset = true;  // every id a whole number that fits below 100000 after the offset
  for (const Node& n : src.nodes) {
    int64_t id = 0;
    offset = offset && parse_whole(n.id, id) && id >= 0 && id + CODE_OFFSET < ROUTE_BASE;
  }
  int64_t next = CODE_OFFSET;
  for (size_t i = 0; i < src.nodes.size(); ++i) {
    const Node& n = src.nodes[i];
    c.centroid[i] = n.zone;
    if (n.zone != 0 && !n.passable) continue;
    int64_t id = 0;
    parse_whole(n.id, id);
    c.junction[i] = offset ? CODE_OFFSET + id : ++next;
    if (c.junction[i] >= ROUTE_BASE)
      throw ImportError(n.where, 0, "more nodes than node codes below 100000");
  }
  return c;
}

struct Deviation {
  double minutes = 0.0;
  const Link* at = nullptr;
};

}  // namespace

void write_workdir(const Source& src, const Options& opt, const std::string& dir) {
  const int NZ = int(src.zone_ids.size());
  if (NZ < 1) throw ImportError("the network has no zone");
  const Codes codes = node_codes(src);

  // Links: the source's, then a pair of connectors for every zone trips may pass.
  std::vector<OutLink> links;
  for (const Link& l : src.links) {
    OutLink o;
    o.a = codes.end(l.from);
    o.b = codes.end(l.to);
    o.group = l.group;
    o.src = &l;
    links.push_back(o);
  }
  size_t connectors = 0;
  for (size_t i = 0; i < src.nodes.size(); ++i) {
    if (codes.centroid[i] == 0 || codes.junction[i] == 0) continue;
    for (auto [a, b] : {std::pair{codes.centroid[i], codes.junction[i]}, std::pair{codes.junction[i], codes.centroid[i]}}) {
      OutLink o;
      o.a = a;
      o.b = b;
      o.character = 0;
      o.qv = 1;
      links.push_back(o);
      ++connectors;
    }
  }
  // The program counts zones from the links that leave them and reaches only nodes
  // that some link leaves: a zone without one gets a closed link to itself.
  std::set<int64_t> leaving;
  for (const OutLink& o : links) leaving.insert(o.a);
  size_t closed = 0;
  for (int64_t z = 1; z <= NZ; ++z)
    if (!leaving.count(z)) {
      OutLink o;
      o.a = o.b = z;
      o.character = 9;
      links.push_back(o);
      ++closed;
    }
  if (links.size() > size_t(LRSIZE))
    throw ImportError(src.network_file, 0,
                      std::to_string(links.size()) + " road links (" + std::to_string(connectors) +
                          " of them connectors of zones that trips may pass): the program takes at most " +
                          std::to_string(LRSIZE));
  std::set<int64_t> all_codes;
  for (const OutLink& o : links) all_codes.insert({o.a, o.b});
  if (all_codes.size() > size_t(NODESZ))
    throw ImportError(std::to_string(all_codes.size()) + " nodes: the program takes at most " + std::to_string(NODESZ));

  // Speed-flow types on the finest grid that needs at most 99 of them.
  std::vector<CurveInput> inputs(links.size());
  for (size_t i = 0; i < links.size(); ++i)
    if (links[i].src != nullptr) inputs[i] = curve_input(*links[i].src, opt);
  const Grid* grid = nullptr;
  std::map<Curve, int> types;
  for (const Grid& g : GRIDS) {
    types.clear();
    for (size_t i = 0; i < links.size(); ++i)
      if (links[i].src != nullptr && links[i].src->time_min > 0) types.emplace(curve_of(inputs[i], g), 0);
    if (types.size() <= size_t(MAX_TYPES)) {
      grid = &g;
      break;
    }
  }
  if (grid == nullptr) throw ImportError("the links' speed-flow curves do not fit in 99 QV types");
  if (types.empty()) types.emplace(curve_of(CurveInput(), GRIDS[0]), 0);
  int number = 0;
  for (auto& [c, n] : types) n = ++number;

  // Tariff types: one per toll.
  std::map<int64_t, int> tariffs;  // toll in hundredths -> type
  for (const Link& l : src.links) {
    if (l.toll >= MAX_TOLL) throw ImportError(l.where, 0, "a toll of 1,000,000 or more");
    if (l.toll > 0) tariffs.emplace(std::llround(l.toll * 100.0), 0);
  }
  if (tariffs.size() > size_t(MAX_TYPES))
    throw ImportError(src.network_file, 0,
                      std::to_string(tariffs.size()) + " different tolls: the program takes at most " +
                          std::to_string(MAX_TYPES) + " tariff types");
  number = 0;
  for (auto& [t, n] : tariffs) n = ++number;

  Deviation worst;
  double worst_length = 0.0;
  const Link* worst_length_at = nullptr;
  size_t lengths_changed = 0;
  for (size_t i = 0; i < links.size(); ++i) {
    OutLink& o = links[i];
    if (o.src == nullptr) continue;
    const Link& l = *o.src;
    if (l.time_min > MAX_MINUTES) throw ImportError(l.where, 0, "a free-flow time of more than 100,000 minutes");
    if (l.toll > 0) o.tariff = tariffs.at(std::llround(l.toll * 100.0));
    if (l.time_min <= 0) {
      // No cost: no length, and speeds that congestion never changes unless a toll
      // must count in the impedance.
      o.qv = 1;
      o.length_m = 0;
      o.character = o.tariff > 0 ? 1 : 0;
      continue;
    }
    const Curve c = curve_of(inputs[i], *grid);
    o.qv = types.at(c);
    o.length_m = fitted_length(l, std::get<0>(c));
    if (o.length_m > MAX_LENGTH_M)
      throw ImportError(l.where, 0, "a link of more than 9,999 km");
    const double minutes = double(program_time(o.length_m, std::get<0>(c))) / 100.0;
    const double dev = std::fabs(minutes - l.time_min);
    if (dev > std::max(0.01, 0.01 * l.time_min) + 1e-9)
      throw ImportError(l.where, 0, "free-flow time cannot be reproduced (" + std::to_string(l.time_min) + " min)");
    if (dev > worst.minutes || worst.at == nullptr) worst = {dev, &l};
    if (l.length_m > 0) {
      const double change = std::fabs(double(o.length_m) - l.length_m) / l.length_m;
      if (change > 0.01) ++lengths_changed;
      if (change > worst_length) {
        worst_length = change;
        worst_length_at = &l;
      }
    }
  }

  static const Format network_fmt = Format::parse("(2(I5,1H,),I1,1H,,3(I2,1H,),I7)");
  static const Format qv_fmt = Format::parse("(I2,3(1H,,F7.2),2(1H,,F10.0))");
  static const Format tariff_fmt = Format::parse("(I2,1H,,F10.2,1H,,F4.1)");
  static const Format od_fmt = Format::parse("(I3,1H,,I3,1H,,I10)");
  static const Format pcu_fmt = Format::parse("(I2,1H,,F4.1,1H,,F4.1)");
  static const Format odlist_fmt = Format::parse("(I2,1H,,I2,1H,,A)");
  static const Format node_fmt = Format::parse("(I5,2(1H,,F14.3))");
  static const Format codes_fmt = Format::parse("(A,1H,,I5,1H,,I3,1H,,A,1H,)");

  std::vector<File> files;
  File& net = files.emplace_back(File{"Network.csv", ""});
  for (const OutLink& o : links)
    net.record(network_fmt, {o.a, o.b, int32_t(o.character), int32_t(o.group), int32_t(o.qv), int32_t(o.tariff), o.length_m});

  File& qv = files.emplace_back(File{"QV.csv", ""});
  for (const auto& [c, n] : types) {
    const auto [v1, q1, f2, f3] = c;
    const double V2 = std::max(1.0, double(v1) / (double(f2) / 10000.0));
    const double V3 = std::max(1.0, std::min(V2, double(v1) / (double(f3) / 10000.0)));
    qv.record(qv_fmt, {int32_t(n), double(v1), V2, V3, double(q1), double(2 * q1)});
  }

  if (!tariffs.empty()) {
    File& t = files.emplace_back(File{"RoadTariff.csv", ""});
    for (const auto& [toll, n] : tariffs) t.record(tariff_fmt, {int32_t(n), double(toll) / 100.0, 0.0});
  }

  files.emplace_back(File{"RoadPCU.txt", ""}).record(pcu_fmt, {int32_t(1), 1.0, 0.0});
  files.emplace_back(File{"RoadVTOD.txt", ""}).record(odlist_fmt, {int32_t(1), int32_t(1), "OD.csv"});

  File& od = files.emplace_back(File{"OD.csv", ""});
  size_t cells = 0;
  int64_t trips = 0;
  for (const auto& [pair, v] : src.trips) {
    if (v + 0.5 >= 2147483648.0)
      throw ImportError(src.trips_file, 0,
                        "the cell " + std::to_string(pair.first) + "-" + std::to_string(pair.second) +
                            " holds more than 2,147,483,647 trips");
    const int64_t n = int64_t(std::floor(v + 0.5));
    if (pair.first == pair.second || n <= 0) continue;
    od.record(od_fmt, {int32_t(pair.first), int32_t(pair.second), n});
    ++cells;
    trips += n;
  }

  File& assign = files.emplace_back(File{"Assign.txt", ""});
  for (size_t s = 0; s < opt.stages.size(); ++s) {
    const double f = opt.stages[s];
    const double tv = opt.time_value;
    const char* tv_fmt = tv < 999.995 ? "F6.2" : tv < 9999.95 ? "F6.1" : "F6.0";
    const bool whole = f == std::floor(f);
    const Format stage_fmt = Format::parse(std::string("(I2.2,2I1,") + tv_fmt + ",10I1,I5,I2," + (whole ? "I3" : "F3.1") + ")");
    std::vector<Out> values = {int32_t(s + 1), int32_t(1), int32_t(0), tv};
    for (int k = 0; k < 10; ++k) values.push_back(int32_t(0));
    values.push_back(int32_t(1));
    values.push_back(int32_t(1));
    if (whole) values.push_back(int64_t(f));
    else values.push_back(f);
    format_record(assign.text, stage_fmt, values.data(), values.size());
    assign.text += '\n';
  }
  assign.line("00");

  // Confirm; search all zones; impedance of all pairs; write routes; routes of pairs with trips.
  files.emplace_back(File{"answers.txt", "1\n2\n2\n1\n1\n"});

  // Coordinates: longitude and latitude become metres east and north of the
  // south-west corner; other coordinates are kept as they are.
  size_t with_xy = 0;
  bool degrees = true;
  double lon0 = 1e9, lat0 = 1e9, lat_sum = 0.0;
  for (const Node& n : src.nodes)
    if (n.has_xy) {
      ++with_xy;
      degrees = degrees && std::fabs(n.x) <= 180.0 && std::fabs(n.y) <= 90.0;
      lon0 = std::min(lon0, n.x);
      lat0 = std::min(lat0, n.y);
      lat_sum += n.y;
    }
  if (with_xy > 0) {
    constexpr double EARTH_M = 6371008.8;
    constexpr double RAD = 3.14159265358979323846 / 180.0;
    const double east = EARTH_M * RAD * std::cos(lat_sum / double(with_xy) * RAD);
    File& nodes = files.emplace_back(File{"Node.csv", ""});
    std::set<int64_t> done;
    for (size_t i = 0; i < src.nodes.size(); ++i) {
      const Node& n = src.nodes[i];
      if (!n.has_xy) continue;
      const double x = degrees ? (n.x - lon0) * east : n.x;
      const double y = degrees ? (n.y - lat0) * EARTH_M * RAD : n.y;
      if (std::fabs(x) >= 1e10 || std::fabs(y) >= 1e10) throw ImportError(n.where, 0, "a coordinate of 10^10 or more");
      for (int64_t c : {codes.centroid[i], codes.junction[i]})
        if (c != 0 && done.insert(c).second) nodes.record(node_fmt, {c, x, y});
    }
  }

  File& map = files.emplace_back(File{"NodeCodes.csv", "Source Node,Node Code,Zone,Source Zone,\n"});
  for (size_t i = 0; i < src.nodes.size(); ++i) {
    const Node& n = src.nodes[i];
    const std::string zone_id = n.zone != 0 ? csv_text(src.zone_ids[size_t(n.zone - 1)]) : "";
    if (codes.centroid[i] != 0) map.record(codes_fmt, {csv_text(n.id), codes.centroid[i], int32_t(n.zone), zone_id});
    if (codes.junction[i] != 0) map.record(codes_fmt, {csv_text(n.id), codes.junction[i], int32_t(0), ""});
  }

  for (const File& f : files) write_file(dir, f);

  // The counts, for the user and the record.
  size_t split = 0;
  for (size_t i = 0; i < src.nodes.size(); ++i) split += codes.centroid[i] != 0 && codes.junction[i] != 0;
  auto pct = [](double x) {
    char b[32];
    std::snprintf(b, sizeof b, "%.2f%%", 100.0 * x);
    return std::string(b);
  };
  char buf[64];
  std::cout << "  zones " << NZ << " (" << split << " split into centroid and junction, trips may pass them)\n";
  if (closed > 0)
    std::cout << "  note: " << closed << " zones have no link leaving them (each given a closed link to itself)\n";
  std::cout << "  nodes " << all_codes.size() << ", links " << links.size() << " (" << src.links.size()
            << " from the source, " << connectors << " connectors, " << closed << " closed)\n";
  std::cout << "  QV types " << types.size() << " (free speed ";
  if (grid->speed_step == 0) std::cout << "in whole km/h";
  else std::cout << "on a " << pct(grid->speed_step) << " grid";
  std::cout << ", capacity and curve shape ";
  if (grid->class_step == 0) std::cout << "as given";
  else std::cout << "on a " << pct(grid->class_step) << " grid";
  std::cout << ")\n";
  std::cout << "  tariff types " << tariffs.size() << "\n";
  std::cout << "  OD cells " << cells << ", trips " << trips << "\n";
  std::snprintf(buf, sizeof buf, "%.4f", worst.minutes);
  std::cout << "  largest free-flow time deviation " << buf << " min";
  if (worst.at != nullptr) std::cout << " (" << worst.at->where << ")";
  std::cout << "\n  largest length change " << pct(worst_length);
  if (worst_length_at != nullptr) std::cout << " (" << worst_length_at->where << ")";
  std::cout << ", " << lengths_changed << " links changed by more than 1%\n";
  if (with_xy > 0)
    std::cout << "  coordinates of " << with_xy << " nodes" << (degrees ? " (longitude/latitude, written in metres)" : "")
              << "\n";
  for (const std::string& n : src.notes) std::cout << "  " << n << "\n";
}

}  // namespace routava::import
