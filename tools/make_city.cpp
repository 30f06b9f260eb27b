// make_city: writes a synthetic full-size working directory into the current directory.
//
// A perturbed street grid with arterials, two tolled motorways, rail tracks with
// station paths and zone connectors (about 30,000 one-way links in all), 400 zones
// with dense car, truck and person OD tables, and bus and rail routes of 40 to 60
// nodes, added while the transit network table stays below 299,000 rows and the
// node table below 97,000 nodes (some 1,640 routes at the default sizes). Everything
// is drawn from one fixed seed: the same options give the same files.
//
//   make_city [--zones N] [--links N] [--routes N] [--seed N] [--no-transit]
//
// Files: Network.csv, QV.csv, RoadTariff.csv, RoadPCU.txt, RoadVTOD.txt, ODcar.csv,
// ODtruck.csv, Screen.csv, Ramp.csv; with transit also BusEdit.csv, BusFare.csv,
// ModePCU.txt, PTOD.txt, PTmorning.csv. Control files: Assign-road.txt (one road
// stage), Assign-transit.txt (a road stage, then a transit stage) and Assign.txt (the
// richer of the two), with the console answers for each in answers-road.txt and
// answers-transit.txt.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace make_city {

struct Options {
  int zones = 400;
  int links = 30000;
  int routes = 1650;
  uint64_t seed = 20240611;
  bool transit = true;
};

// The capacities the program is built with; the city stays inside them.
constexpr int kMaxRoadLinks = 30000;
constexpr int kMaxZones = 400;
constexpr long kMaxTransitRows = 299000;  // of 300,000, with room to spare
constexpr long kMaxNodes = 97000;         // of 98,000
constexpr int kMaxRouteId = 4000;

// splitmix64: small, and the same sequence on every platform and library.
struct Rng {
  uint64_t s;
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double real() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }  // [0,1)
  int below(int n) { return int(next() % uint64_t(n)); }
  int between(int lo, int hi) { return lo + below(hi - lo + 1); }
  bool chance(double p) { return real() < p; }
};

struct Link {
  int a, b, type, group, qv, tariff, length_m;
};

struct City {
  Options opt;
  Rng rng{0};
  int W = 0;  // grid of W x W street nodes
  std::vector<double> px, py;  // street node positions, metres
  std::vector<int> rail_rows, rail_cols;
  std::vector<Link> links;
  std::set<std::pair<int, int>> have;  // (a, b) of every link
  std::map<std::pair<int, int>, int> link_type;
  int motorway_row = -1, motorway_col = -1;
  std::vector<double> zx, zy;  // zone positions
  std::vector<std::pair<int, int>> screens, ramps_ab;
  std::vector<int> screen_no, ramp_no;

  int street(int x, int y) const { return 1001 + y * W + x; }
  // Track node at position p of rail line l (rows first, then columns).
  static int track(int l, int p) { return 20001 + l * 200 + p; }

  void add(int a, int b, int type, int group, int qv, int tariff, int length) {
    if (a == b || have.count({a, b})) return;
    have.insert({a, b});
    link_type[{a, b}] = type;
    links.push_back({a, b, type, group, qv, tariff, length < 30 ? 30 : length});
  }
  void add_both(int a, int b, int type, int group, int qv, int tariff, int length) {
    add(a, b, type, group, qv, tariff, length);
    add(b, a, type, group, qv, tariff, length);
  }
  double dist(int x0, int y0, int x1, int y1) const {
    double dx = px[size_t(y0 * W + x0)] - px[size_t(y1 * W + x1)];
    double dy = py[size_t(y0 * W + x0)] - py[size_t(y1 * W + x1)];
    return std::sqrt(dx * dx + dy * dy);
  }
};

int rail_lines_for(int W) { return std::min(6, std::max(1, W / 13)); }

long base_links(int W, int zones) {
  long grid = 4L * W * (W - 1);
  long rail = 2L * rail_lines_for(W) * (2L * (W - 1) + 2L * W);
  return grid + rail + 4L * zones;
}

void build_roads(City& c) {
  Rng& r = c.rng;
  const int W = c.W;
  c.px.resize(size_t(W * W));
  c.py.resize(size_t(W * W));
  for (int y = 0; y < W; ++y)
    for (int x = 0; x < W; ++x) {
      c.px[size_t(y * W + x)] = x * 450.0 + (r.real() - 0.5) * 220.0;
      c.py[size_t(y * W + x)] = y * 450.0 + (r.real() - 0.5) * 220.0;
    }
  c.motorway_row = W / 2;
  c.motorway_col = W / 3;
  const int nrail = rail_lines_for(W);
  for (int k = 1; k <= nrail; ++k) {
    c.rail_rows.push_back(k * W / (nrail + 1));
    c.rail_cols.push_back(k * W / (nrail + 1) + 2);
  }
  // Street class of a grid line: motorway (character 7, tolled), arterial, or local.
  auto line_class = [&](int line, bool row) {
    if (line == (row ? c.motorway_row : c.motorway_col)) return 7;
    return line % 6 == 3 ? 2 : 1;
  };
  auto street_link = [&](int x0, int y0, int x1, int y1, int cls) {
    int a = c.street(x0, y0), b = c.street(x1, y1);
    int len = int(c.dist(x0, y0, x1, y1) * (1.0 + 0.25 * r.real()));
    if (cls == 7) {
      c.add_both(a, b, 7, 1, 3, 1 + r.below(2), len);
    } else if (cls == 2) {
      c.add_both(a, b, 2, 2, 2, 0, len);
    } else {
      c.add_both(a, b, 1, 3 + r.below(4), 4 + r.below(5), 0, len);
    }
  };
  for (int y = 0; y < W; ++y)
    for (int x = 0; x + 1 < W; ++x) street_link(x, y, x + 1, y, line_class(y, true));
  for (int x = 0; x < W; ++x)
    for (int y = 0; y + 1 < W; ++y) street_link(x, y, x, y + 1, line_class(x, false));

  // Rail: track (character 9, closed to road traffic) beside some rows and
  // columns, with a short station path at every street node along it.
  int l = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const std::vector<int>& lines = pass == 0 ? c.rail_rows : c.rail_cols;
    for (int line : lines) {
      for (int p = 0; p < W; ++p) {
        int x = pass == 0 ? p : line, y = pass == 0 ? line : p;
        c.add_both(c.street(x, y), City::track(l, p), 1, 9, 1, 0, 120 + r.below(80));
        if (p + 1 < W) {
          int x1 = pass == 0 ? p + 1 : line, y1 = pass == 0 ? line : p + 1;
          c.add_both(City::track(l, p), City::track(l, p + 1), 9, 8, 0, 0,
                     int(c.dist(x, y, x1, y1) * 1.02));
        }
      }
      ++l;
    }
  }

  // Zones: centroids 1..zones, each joined to two neighbouring street nodes.
  c.zx.resize(size_t(c.opt.zones) + 1);
  c.zy.resize(size_t(c.opt.zones) + 1);
  for (int z = 1; z <= c.opt.zones; ++z) {
    int x = 1 + r.below(W - 3), y = 1 + r.below(W - 3);
    c.zx[size_t(z)] = c.px[size_t(y * W + x)];
    c.zy[size_t(z)] = c.py[size_t(y * W + x)];
    int type = r.chance(0.1) ? 0 : 1;  // a few connectors do not count in times
    c.add_both(z, c.street(x, y), type, 9, 1, 0, 100 + r.below(400));
    int x2 = x + (r.chance(0.5) ? 1 : 0), y2 = y + (x2 == x ? 1 : 0);
    c.add_both(z, c.street(x2, y2), 1, 9, 1, 0, 100 + r.below(400));
  }

  // Fill up to the requested size with diagonal streets, which make paths unique-ish.
  int tries = 0;
  while (long(c.links.size()) + 2 <= c.opt.links && tries++ < 1000000) {
    int x = r.below(W - 1), y = r.below(W - 1);
    if (r.chance(0.5)) {
      street_link(x, y, x + 1, y + 1, 1);
    } else {
      street_link(x + 1, y, x, y + 1, 1);
    }
  }
}

void build_screens_and_ramps(City& c) {
  const int W = c.W;
  auto screen = [&](int a, int b, int no) {
    if (!c.have.count({a, b})) return;
    c.screens.push_back({a, b});
    c.screen_no.push_back(no);
  };
  for (int y = 0; y < W; ++y) {  // screen line 1: across the middle of the grid
    screen(c.street(W / 2, y), c.street(W / 2 + 1, y), 1);
    screen(c.street(W / 2 + 1, y), c.street(W / 2, y), 1);
  }
  for (int x = 0; x < W; ++x) {  // screen line 2: across the first third
    screen(c.street(x, W / 3), c.street(x, W / 3 + 1), 2);
    screen(c.street(x, W / 3 + 1), c.street(x, W / 3), 2);
  }
  // Ramps: the arterial links onto and off the motorways.
  int no = 0;
  auto ramp = [&](int a, int b) {
    if (!c.have.count({a, b})) return;
    c.ramps_ab.push_back({a, b});
    c.ramp_no.push_back(++no);
  };
  for (int x = 3; x < W; x += 6) {
    for (int side : {-1, 1}) {
      int y = c.motorway_row + side;
      if (y < 0 || y >= W) continue;
      ramp(c.street(x, y), c.street(x, c.motorway_row));
      ramp(c.street(x, c.motorway_row), c.street(x, y));
    }
  }
  for (int y = 3; y < W; y += 6) {
    for (int side : {-1, 1}) {
      int x = c.motorway_col + side;
      if (x < 0 || x >= W) continue;
      ramp(c.street(x, y), c.street(c.motorway_col, y));
      ramp(c.street(c.motorway_col, y), c.street(x, y));
    }
  }
}

FILE* create(const char* name) {
  FILE* f = std::fopen(name, "w");
  if (!f) {
    std::fprintf(stderr, "make_city: cannot create %s\n", name);
    std::exit(1);
  }
  return f;
}

void write_text(const char* name, const std::string& text) {
  FILE* f = create(name);
  std::fputs(text.c_str(), f);
  std::fclose(f);
}

void write_roads(const City& c) {
  FILE* f = create("Network.csv");
  for (const Link& l : c.links)
    std::fprintf(f, "%d,%d,%d,%d,%d,%d,%d\n", l.a, l.b, l.type, l.group, l.qv, l.tariff, l.length_m);
  std::fclose(f);
  write_text("QV.csv",
             "1,30,25,20,50000,100000\n"
             "2,60,45,25,3000,6000\n"
             "3,90,70,40,6000,12000\n"
             "4,40,30,12,1000,2000\n"
             "5,40,28,12,1200,2400\n"
             "6,45,32,14,1500,3000\n"
             "7,50,35,15,1800,3600\n"
             "8,35,25,10,800,1600\n");
  write_text("RoadTariff.csv", "1,50.0,10.0\n2,80.0,15.0\n");
  write_text("RoadPCU.txt", "1,1.0,0.0\n2,2.5,0.0\n");
  write_text("RoadVTOD.txt", "1,1,ODcar.csv\n2,2,ODtruck.csv\n");
  f = create("Screen.csv");
  for (size_t k = 0; k < c.screens.size(); ++k)
    std::fprintf(f, "%d,%d,%d\n", c.screens[k].first, c.screens[k].second, c.screen_no[k]);
  std::fclose(f);
  f = create("Ramp.csv");
  for (size_t k = 0; k < c.ramps_ab.size(); ++k)
    std::fprintf(f, "%d,%d,%d\n", c.ramps_ab[k].first, c.ramps_ab[k].second, c.ramp_no[k]);
  std::fclose(f);
}

// Dense OD tables with a gravity-like fall-off: most cells positive.
long write_od(City& c, const char* name, double share, double scale, double reach_m) {
  Rng& r = c.rng;
  const int nz = c.opt.zones;
  std::vector<double> prod(size_t(nz) + 1), attr(size_t(nz) + 1);
  for (int z = 1; z <= nz; ++z) {
    prod[size_t(z)] = 0.4 + 1.2 * r.real();
    attr[size_t(z)] = 0.4 + 1.2 * r.real();
  }
  FILE* f = create(name);
  long lines = 0;
  for (int o = 1; o <= nz; ++o)
    for (int d = 1; d <= nz; ++d) {
      if (!r.chance(share)) continue;
      double dx = c.zx[size_t(o)] - c.zx[size_t(d)], dy = c.zy[size_t(o)] - c.zy[size_t(d)];
      double g = prod[size_t(o)] * attr[size_t(d)] * scale * std::exp(-std::sqrt(dx * dx + dy * dy) / reach_m);
      int n = 1 + int(g * (0.3 + 1.4 * r.real()));
      std::fprintf(f, "%d,%d,%d\n", o, d, n);
      ++lines;
    }
  std::fclose(f);
  return lines;
}

struct Route {
  int id, mode, headway;
  std::vector<int> nodes;  // negative: passed without stopping
  std::vector<int> speed;
};

struct TransitCount {
  long rows = 0;   // rows the transit link generation will append
  long nodes = 0;  // route nodes that some row leaves
  // Rail: how many earlier main rows of each mode leave each track node.
  std::map<std::pair<int, int>, int> departures;
};

// Rows and nodes a route adds, counted as the transit link generation makes them.
void count_route(const City& c, const Route& rt, TransitCount& tc, long& rows, long& nodes) {
  rows = 0;
  nodes = 0;
  const size_t n = rt.nodes.size();
  for (size_t i = 0; i < n; ++i) {
    const int code = rt.nodes[i];
    const int a = std::abs(code);
    bool leaves = i + 1 < n;
    if (i + 1 < n) ++rows;  // main row
    // The stop's road link: the one leaving the node, or arriving at the last node.
    int type = i + 1 < n ? c.link_type.at({a, std::abs(rt.nodes[i + 1])})
                         : c.link_type.at({std::abs(rt.nodes[i - 1]), a});
    bool stop = code > 0 && type != 7 && type != 8;
    if (stop) {
      rows += 2;
      leaves = true;
      if (rt.mode >= 7) {
        auto it = tc.departures.find({a, rt.mode});
        if (it != tc.departures.end()) rows += 2L * it->second;
      }
    }
    if (leaves) ++nodes;
  }
}

void commit_route(const Route& rt, TransitCount& tc) {
  if (rt.mode < 7) return;
  for (size_t i = 0; i + 1 < rt.nodes.size(); ++i) ++tc.departures[{std::abs(rt.nodes[i]), rt.mode}];
}

bool bus_route(City& c, Route& rt) {
  Rng& r = c.rng;
  const int W = c.W;
  const int want = r.between(40, 60);
  for (int attempt = 0; attempt < 20; ++attempt) {
    int x = r.below(W), y = r.below(W);
    int dir = r.below(4);
    static const int DX[4] = {1, 0, -1, 0}, DY[4] = {0, 1, 0, -1};
    std::set<int> seen;
    rt.nodes.assign(1, c.street(x, y));
    seen.insert(c.street(x, y));
    while (int(rt.nodes.size()) < want) {
      if (r.chance(0.15)) dir = (dir + (r.chance(0.5) ? 1 : 3)) % 4;
      int k = 0;
      for (; k < 4; ++k) {
        int d = (dir + (k == 0 ? 0 : k == 1 ? 1 : k == 2 ? 3 : 2)) % 4;
        int nx = x + DX[d], ny = y + DY[d];
        if (nx < 0 || ny < 0 || nx >= W || ny >= W || seen.count(c.street(nx, ny))) continue;
        dir = d;
        x = nx;
        y = ny;
        break;
      }
      if (k == 4) break;
      rt.nodes.push_back(c.street(x, y));
      seen.insert(c.street(x, y));
    }
    if (int(rt.nodes.size()) >= 40) break;
  }
  if (rt.nodes.size() < 2) return false;
  // Express buses skip every other stop between their ends.
  if (rt.mode == 2)
    for (size_t i = 1; i + 1 < rt.nodes.size(); i += 2) rt.nodes[i] = -rt.nodes[i];
  rt.speed.resize(rt.nodes.size());
  for (size_t i = 0; i < rt.nodes.size(); ++i) rt.speed[i] = r.between(15, 35);  // a zero is an error
  return true;
}

bool rail_route(City& c, Route& rt) {
  Rng& r = c.rng;
  const int W = c.W;
  const int lines = int(c.rail_rows.size() + c.rail_cols.size());
  const int line = r.below(lines);
  const int len = std::min(W, r.between(40, 60));
  const int first = r.below(W - len + 1);
  rt.nodes.clear();
  for (int p = first; p < first + len; ++p) rt.nodes.push_back(City::track(line, p));
  if (r.chance(0.5)) std::reverse(rt.nodes.begin(), rt.nodes.end());
  rt.speed.resize(rt.nodes.size());
  for (size_t i = 0; i < rt.nodes.size(); ++i) rt.speed[i] = r.between(40, 70);
  return true;
}

void write_transit(City& c, long road_rows, long road_nodes, long& pt_rows, long& pt_nodes, int& nroutes) {
  Rng& r = c.rng;
  TransitCount tc;
  std::string edit = "RouteID,Seq   ,Mode  ,Freq  ,NodeNo,Node  ,Speed ,\n";
  std::string fare = "RouteID,Flat Fare,Dist Fare,\n";
  pt_rows = road_rows;
  pt_nodes = road_nodes;
  nroutes = 0;
  int id = 0;
  char buf[128];
  for (int k = 0; k < c.opt.routes; ++k) {
    id += r.chance(0.08) ? 2 : 1;  // a few route numbers unused
    if (id > kMaxRouteId) break;
    Route rt;
    rt.id = id;
    const double kind = r.real();
    rt.mode = kind < 0.09 ? (kind < 0.045 ? 7 : 8) : kind < 0.25 ? 2 : kind < 0.35 ? 3 : 1;
    rt.headway = rt.mode >= 7 ? r.between(3, 8) : r.between(5, 20);
    if (!(rt.mode >= 7 ? rail_route(c, rt) : bus_route(c, rt))) continue;
    long rows = 0, nodes = 0;
    count_route(c, rt, tc, rows, nodes);
    if (pt_rows + rows > kMaxTransitRows || pt_nodes + nodes > kMaxNodes) break;
    pt_rows += rows;
    pt_nodes += nodes;
    commit_route(rt, tc);
    ++nroutes;
    std::snprintf(buf, sizeof buf, "%5d,%3d,%6d,%6d,%6d,,,\n", rt.id, 0, rt.mode, rt.headway, int(rt.nodes.size()));
    edit += buf;
    for (size_t i = 0; i < rt.nodes.size(); ++i) {
      std::snprintf(buf, sizeof buf, "%5d,%3d,,,,%6d,%6d,\n", rt.id, int(i + 1), rt.nodes[i], rt.speed[i]);
      edit += buf;
    }
    if (!r.chance(0.01)) {  // a route without a fare row travels free
      if (rt.mode >= 7) std::snprintf(buf, sizeof buf, "%d,%.1f,%.1f\n", rt.id, 100.0 + 10 * r.below(5), 15.0);
      else std::snprintf(buf, sizeof buf, "%d,%.1f,0.0\n", rt.id, 150.0 + 10 * r.below(10));
      fare += buf;
    }
  }
  write_text("BusEdit.csv", edit);
  write_text("BusFare.csv", fare);
  write_text("ModePCU.txt",
             "  1  2.0  30.0  60.0 1.01  0.8  3.0\n"
             "  2  2.0  30.0  60.0 1.01  0.9  5.0\n"
             "  3  1.5  15.0  30.0 1.01  0.8  4.0\n"
             "  7  0.0 500.0 800.0 1.01  1.0  2.0\n"
             "  8  0.0 700.0 1200. 1.01  1.0  3.0\n");
  write_text("PTOD.txt", "    1PTmorning.csv\n");
}

int run(const Options& opt) {
  if (opt.zones < 2 || opt.zones > kMaxZones) {
    std::fprintf(stderr, "make_city: --zones must be 2..%d\n", kMaxZones);
    return 2;
  }
  if (opt.links > kMaxRoadLinks) {
    std::fprintf(stderr, "make_city: --links must be at most %d\n", kMaxRoadLinks);
    return 2;
  }
  City c;
  c.opt = opt;
  c.rng.s = opt.seed;
  int W = 8;
  while (base_links(W + 1, opt.zones) <= opt.links) ++W;
  if (base_links(W, opt.zones) > opt.links || W > 98) {
    std::fprintf(stderr, "make_city: --links %d is too small (or too large) for %d zones\n", opt.links, opt.zones);
    return 2;
  }
  c.W = W;
  build_roads(c);
  build_screens_and_ramps(c);
  write_roads(c);
  long car = write_od(c, "ODcar.csv", 0.93, 12.0, 20000.0);
  long truck = write_od(c, "ODtruck.csv", 0.60, 2.0, 25000.0);

  std::set<int> road_from;
  for (const Link& l : c.links) road_from.insert(l.a);
  long pt_rows = long(c.links.size()), pt_nodes = long(road_from.size());
  int nroutes = 0;
  long persons = 0;
  if (opt.transit) {
    write_transit(c, long(c.links.size()), long(road_from.size()), pt_rows, pt_nodes, nroutes);
    persons = write_od(c, "PTmorning.csv", 0.90, 20.0, 15000.0);
  }

  const char* road_stage = "0110  15000000000000    2 1100 2100\n";
  const std::string road = std::string(road_stage) + "00\n";
  const std::string both = std::string(road_stage) + "0220  15001111111100    1 1100\n00\n";
  write_text("Assign-road.txt", road);
  // Confirm; search origins with trips; impedance of all pairs; routes of pairs with trips.
  write_text("answers-road.txt", "1\n1\n2\n1\n1\n");
  if (opt.transit) {
    write_text("Assign-transit.txt", both);
    // Confirm; loading mode 1; walking at 4 km/h; then as for the road run.
    write_text("answers-transit.txt", "1\n1\n4\n1\n2\n1\n1\n");
  }
  write_text("Assign.txt", opt.transit ? both : road);

  std::printf("make_city: grid %dx%d, %zu road links, %d zones, %zu screen-line and %zu ramp entries\n", W, W,
              c.links.size(), opt.zones, c.screens.size(), c.ramps_ab.size());
  std::printf("make_city: OD lines: car %ld, truck %ld, person %ld\n", car, truck, persons);
  if (opt.transit)
    std::printf("make_city: %d routes; transit table %ld rows, %ld nodes\n", nroutes, pt_rows, pt_nodes);
  return 0;
}

}  // namespace make_city

#ifndef MAKE_CITY_NO_MAIN
int main(int argc, char** argv) {
  make_city::Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> long {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "make_city: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      char* end = nullptr;
      long v = std::strtol(argv[++i], &end, 10);
      if (!end || *end != '\0' || v < 0) {
        std::fprintf(stderr, "make_city: bad value for %s\n", a.c_str());
        std::exit(2);
      }
      return v;
    };
    if (a == "--zones") opt.zones = int(value());
    else if (a == "--links") opt.links = int(value());
    else if (a == "--routes") opt.routes = int(value());
    else if (a == "--seed") opt.seed = uint64_t(value());
    else if (a == "--no-transit") opt.transit = false;
    else {
      std::fprintf(stderr,
                   "usage: make_city [--zones N] [--links N] [--routes N] [--seed N] [--no-transit]\n"
                   "Writes a synthetic working directory into the current directory.\n");
      return a == "--help" ? 0 : 2;
    }
  }
  return make_city::run(opt);
}
#endif
