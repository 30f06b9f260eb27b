// make_sample_city: writes the sample city of examples/city into the current directory.
//
// A town of 42 zones and three gateway zones on a street grid of 8 rows by 9
// columns (450 m blocks). A river runs north-south between columns 4 and 5 with
// three road bridges and a rail bridge; a railway runs east-west between rows 5
// and 6, crossed by five streets; a tolled expressway runs north-south east of the
// town with three interchanges. Five bus lines and one rail line are written in
// the keyword route format (BusInput.txt). Nothing is random and only exact
// arithmetic decides a rounding, so the files are the same on every machine.
//
//   make_sample_city        (writes the files of examples/city, README.md excepted)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 8;
constexpr int kCols = 9;
constexpr int kBlock = 450;         // m between grid lines
constexpr int kRiverGap = 150;      // extra m between columns 4 and 5
constexpr int kRailY = 2025;        // the railway, between rows 5 and 6
constexpr int kExpresswayX = 4100;  // 350 m east of column 9

// Link characters, evaluation groups and QV types of the sample.
enum Character { CONNECTOR = 0, LOCAL = 1, ARTERIAL = 2, STATION_PATH = 3, EXPRESSWAY = 7, TRACK = 9 };
enum Group { G_LOCAL = 1, G_ARTERIAL = 2, G_BRIDGE = 3, G_EXPRESSWAY = 4, G_RAMP = 5, G_STATION = 6, G_RAIL = 8, G_CONNECTOR = 9 };
enum Qv { QV_NONE = 0, QV_LOCAL = 1, QV_ARTERIAL = 2, QV_BRIDGE = 3, QV_EXPRESSWAY = 4, QV_RAMP = 5, QV_CONNECTOR = 6, QV_STATION = 7 };
enum Tariff { FREE = 0, PER_KM = 1, FLAT = 2 };

bool is_bridge_row(int r) { return r == 2 || r == 4 || r == 7; }
bool is_arterial_row(int r) { return is_bridge_row(r); }
bool is_arterial_col(int c) { return c == 3 || c == 7; }
bool crosses_railway(int c) { return c % 2 == 1; }  // columns 1, 3, 5, 7, 9
const int kStationCols[] = {1, 3, 5, 7, 9};
const int kRampRows[] = {2, 5, 7};

int grid(int r, int c) { return 1000 + 100 * r + c; }
int expressway(int r) { return 2000 + r; }  // rows 0 (south end) .. 9 (north end)
int station(int k) { return 3001 + k; }

double col_x(int c) { return (c - 1) * kBlock + (c >= 5 ? kRiverGap : 0); }
double row_y(int r) { return (r - 1) * kBlock; }

struct Node {
  int code;
  double x, y;
};
struct Link {
  int a, b, character, group, qv, tariff, length;
};
struct Zone {
  int number;
  double x, y;
  int residents, jobs, pupils_places;
  std::vector<int> access;  // grid nodes its connectors join
  bool internal;
};

struct City {
  std::vector<Node> nodes;
  std::vector<Link> links;
  std::vector<Zone> zones;

  const Node& node(int code) const {
    for (const Node& n : nodes)
      if (n.code == code) return n;
    std::fprintf(stderr, "make_sample_city: no node %d\n", code);
    std::exit(1);
  }
  int distance(int a, int b) const {
    const Node &p = node(a), &q = node(b);
    return int(std::lround(std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y))));
  }
  void both(int a, int b, int character, int group, int qv, int tariff = FREE, int length = 0) {
    if (length == 0) length = distance(a, b);
    links.push_back({a, b, character, group, qv, tariff, length});
    links.push_back({b, a, character, group, qv, tariff, length});
  }
};

void build_nodes(City& c) {
  for (int r = 1; r <= kRows; ++r)
    for (int col = 1; col <= kCols; ++col) c.nodes.push_back({grid(r, col), col_x(col), row_y(r)});
  for (int r = 0; r <= kRows + 1; ++r) {
    // The ends run 900 m out of town to the south and north gateways.
    double y = r == 0 ? -900.0 : r == kRows + 1 ? row_y(kRows) + 900.0 : row_y(r);
    c.nodes.push_back({expressway(r), kExpresswayX, y});
  }
  for (int k = 0; k < 5; ++k) c.nodes.push_back({station(k), col_x(kStationCols[k]), kRailY});
}

void build_zones(City& c) {
  // Block (br, bc) lies between rows br, br+1 and columns bc, bc+1; column 4 is the
  // river and block row 5 the railway, so neither holds a zone.
  int number = 0;
  for (int br : {1, 2, 3, 4, 6, 7})
    for (int bc : {1, 2, 3, 5, 6, 7, 8}) {
      Zone z;
      z.number = ++number;
      z.x = (col_x(bc) + col_x(bc + 1)) / 2;
      z.y = (row_y(br) + row_y(br + 1)) / 2;
      z.internal = true;
      const bool old_town = (br == 4 || br == 6) && (bc == 2 || bc == 3);
      const bool business_park = br >= 6 && bc >= 7;
      const bool east_homes = br <= 4 && bc >= 5 && bc <= 6;
      z.residents = old_town ? 250 : business_park ? 100 : east_homes ? 900 : bc <= 3 ? 650 : 550;
      z.jobs = old_town ? 1100 : business_park ? 950 : east_homes ? 100 : 180;
      // Three schools: the old town, the east bank and the north-west.
      z.pupils_places = (br == 2 && bc == 2) || (br == 3 && bc == 6) || (br == 6 && bc == 2) ? 500 : 0;
      z.access = {grid(br, bc), grid(br + 1, bc + 1)};  // south-west and north-east corners
      c.zones.push_back(z);
    }
  struct Gateway {
    double x, y;
    int node;
  };
  for (const Gateway g : {Gateway{kExpresswayX, -1300, expressway(0)},
                          Gateway{kExpresswayX, row_y(kRows) + 1300, expressway(kRows + 1)},
                          Gateway{-700, row_y(4), grid(4, 1)}}) {
    Zone z{++number, g.x, g.y, 1400, 500, 0, {g.node}, false};
    c.zones.push_back(z);
  }
  for (const Zone& z : c.zones) c.nodes.push_back({z.number, z.x, z.y});
}

void build_links(City& c) {
  // Streets along the rows; the river gap is crossed only on the bridge rows.
  for (int r = 1; r <= kRows; ++r)
    for (int col = 1; col < kCols; ++col) {
      const bool river = col == 4;
      if (river && !is_bridge_row(r)) continue;
      const bool arterial = is_arterial_row(r);
      c.both(grid(r, col), grid(r, col + 1), arterial ? ARTERIAL : LOCAL,
             river ? G_BRIDGE : arterial ? G_ARTERIAL : G_LOCAL,
             river ? QV_BRIDGE : arterial ? QV_ARTERIAL : QV_LOCAL);
    }
  // Streets along the columns; the railway is crossed only on the odd columns.
  for (int col = 1; col <= kCols; ++col)
    for (int r = 1; r < kRows; ++r) {
      if (r == 5 && !crosses_railway(col)) continue;
      const bool arterial = is_arterial_col(col);
      c.both(grid(r, col), grid(r + 1, col), arterial ? ARTERIAL : LOCAL, arterial ? G_ARTERIAL : G_LOCAL,
             arterial ? QV_ARTERIAL : QV_LOCAL);
    }
  // The expressway: tolled by the kilometre; a flat toll is paid on each on-ramp.
  for (int r = 0; r <= kRows; ++r)
    c.both(expressway(r), expressway(r + 1), EXPRESSWAY, G_EXPRESSWAY, QV_EXPRESSWAY, PER_KM);
  for (int r : kRampRows) {
    c.links.push_back({grid(r, kCols), expressway(r), EXPRESSWAY, G_RAMP, QV_RAMP, FLAT, c.distance(grid(r, kCols), expressway(r))});
    c.links.push_back({expressway(r), grid(r, kCols), EXPRESSWAY, G_RAMP, QV_RAMP, FREE, c.distance(grid(r, kCols), expressway(r))});
  }
  // The rail track (closed to road traffic and walkers) and the station paths from
  // rows 5 and 6; a street crosses the railway beside each station, so no car
  // gains by driving through one.
  for (int k = 0; k + 1 < 5; ++k) c.both(station(k), station(k + 1), TRACK, G_RAIL, QV_NONE);
  for (int k = 0; k < 5; ++k)
    for (int r : {5, 6}) c.both(grid(r, kStationCols[k]), station(k), STATION_PATH, G_STATION, QV_STATION);
  for (const Zone& z : c.zones)
    for (int n : z.access) c.both(z.number, n, CONNECTOR, G_CONNECTOR, QV_CONNECTOR, FREE, std::max(100, c.distance(z.number, n)));
}

// Trip tables. The weight of a pair falls with distance as 1 / (1 + (d / scale)^2):
// plain arithmetic, so every machine rounds the same.
double decay(double d_m, double scale_m) {
  const double q = d_m / scale_m;
  return 1.0 / (1.0 + q * q);
}
double zone_distance(const Zone& a, const Zone& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
}

using Matrix = std::vector<std::vector<int>>;

// Trips from residents to jobs, scaled to about `total` trips; intrazonal cells keep a tenth.
Matrix gravity(const City& c, double total, double scale_m, bool internal_only, bool to_schools) {
  const size_t n = c.zones.size();
  std::vector<std::vector<double>> w(n, std::vector<double>(n, 0.0));
  double sum = 0.0;
  for (size_t o = 0; o < n; ++o)
    for (size_t d = 0; d < n; ++d) {
      const Zone &zo = c.zones[o], &zd = c.zones[d];
      if (internal_only && (!zo.internal || !zd.internal)) continue;
      const double attraction = to_schools ? zd.pupils_places : zd.jobs;
      double v = zo.residents * attraction * decay(zone_distance(zo, zd), scale_m);
      if (o == d) v *= 0.1;
      if (!zo.internal && !zd.internal) v *= 3.0;  // through traffic on the expressway
      w[o][d] = v;
      sum += v;
    }
  Matrix m(n, std::vector<int>(n, 0));
  for (size_t o = 0; o < n; ++o)
    for (size_t d = 0; d < n; ++d) m[o][d] = int(std::floor(w[o][d] * total / sum + 0.5));
  return m;
}

FILE* create(const char* name) {
  FILE* f = std::fopen(name, "w");
  if (!f) {
    std::fprintf(stderr, "make_sample_city: cannot create %s\n", name);
    std::exit(1);
  }
  return f;
}
void finish(FILE* f, const char* name) {
  if (std::fclose(f) != 0) {
    std::fprintf(stderr, "make_sample_city: cannot write %s\n", name);
    std::exit(1);
  }
}
void write_text(const char* name, const char* text) {
  FILE* f = create(name);
  std::fputs(text, f);
  finish(f, name);
}

void write_matrix(const char* name, const Matrix& m) {
  FILE* f = create(name);
  for (size_t o = 0; o < m.size(); ++o)
    for (size_t d = 0; d < m.size(); ++d)
      if (m[o][d] > 0) std::fprintf(f, "%zu,%zu,%d\n", o + 1, d + 1, m[o][d]);
  finish(f, name);
}

void write_network(const City& c) {
  FILE* f = create("Network.csv");
  for (const Link& l : c.links)
    std::fprintf(f, "%d,%d,%d,%d,%d,%d,%d\n", l.a, l.b, l.character, l.group, l.qv, l.tariff, l.length);
  finish(f, "Network.csv");
  f = create("Node.csv");
  std::fputs("Node,X (m),Y (m)\n", f);
  for (const Node& n : c.nodes) std::fprintf(f, "%d,%.0f,%.0f\n", n.code, n.x, n.y);
  finish(f, "Node.csv");
}

void write_screens_and_ramps(const City& c) {
  FILE* f = create("Screen.csv");
  for (const Link& l : c.links) {
    const bool river = l.group == G_BRIDGE;
    const bool railway = (l.a / 100 == 15 && l.b / 100 == 16) || (l.a / 100 == 16 && l.b / 100 == 15);
    const bool rail_bridge = (l.a == station(1) && l.b == station(2)) || (l.a == station(2) && l.b == station(1));
    if (river || railway || rail_bridge) std::fprintf(f, "%d,%d,%d\n", l.a, l.b, river ? 1 : railway ? 2 : 3);
  }
  finish(f, "Screen.csv");
  f = create("Ramp.csv");
  int number = 0;
  for (int r : kRampRows) {
    std::fprintf(f, "%d,%d,%d\n", grid(r, kCols), expressway(r), ++number);  // on-ramp
    std::fprintf(f, "%d,%d,%d\n", expressway(r), grid(r, kCols), ++number);  // off-ramp
  }
  finish(f, "Ramp.csv");
}

// The route input: each line at most 100 characters, no text outside keywords
// (the converter reads every digit as a node and every capital as a keyword).
void write_routes() {
  FILE* f = create("BusInput.txt");
  struct Route {
    const char* name;
    int mode;
    const char* headway;
    std::vector<std::string> lines;
  };
  auto row = [](int r, int from, int to, const char* speed) {
    std::string s = "N=" + std::to_string(grid(r, from)) + ",S=" + speed;
    for (int col = from + 1; col <= to; ++col) s += "," + std::to_string(grid(r, col));
    return s;
  };
  auto column = [](int col, const char* speed) {
    std::string s = "N=" + std::to_string(grid(1, col)) + ",S=" + speed;
    for (int r = 2; r <= kRows; ++r) s += "," + std::to_string(grid(r, col));
    return s;
  };
  const Route routes[] = {
      {"Bus 1 Cross", 1, "6", {row(4, 1, 9, "25")}},
      {"Bus 2 West", 1, "12", {column(3, "25")}},
      {"Bus 3 East", 1, "12", {column(7, "25")}},
      {"Bus 4 South", 1, "15", {row(2, 1, 9, "25")}},
      // Over the expressway: it stops only at its ends (a minus sign: passed without stopping).
      {"Express X", 2, "20",
       {"N=1202,S=30,-1203,-1204,-1205,-1206,-1207,-1208,-1209",
        "2002,S=70,2003,2004,2005,2006,2007,S=40,1709,S=25,1708,1707"}},
      {"Rail Line", 7, "6", {"N=3001,S=70,3002,3003,3004,3005"}},
  };
  for (const Route& r : routes) {
    std::fprintf(f, "LINE NAME=\"%s\",M=%d,F=%s,O=F\n", r.name, r.mode, r.headway);
    for (const std::string& l : r.lines) std::fprintf(f, "%s\n", l.c_str());
  }
  finish(f, "BusInput.txt");
  // Route numbers follow the conversion: each line, then its reverse direction.
  f = create("BusFare.csv");
  std::fputs("RouteID,Flat Fare,Dist Fare,Mode,Bus Route Name,\n", f);
  int id = 0;
  for (const Route& r : routes)
    for (int dir = 0; dir < 2; ++dir) {
      const char* fare = r.mode == 7 ? "60,5" : r.mode == 2 ? "150,0" : "100,0";
      std::fprintf(f, "%d,%s,%d,%s,\n", ++id, fare, r.mode, r.name);
    }
  finish(f, "BusFare.csv");
}

void write_tables() {
  write_text("QV.csv",
             "1,30,20,8,500,1000\n"
             "2,50,35,12,1200,2400\n"
             "3,50,30,10,1100,2200\n"
             "4,100,80,30,3600,7200\n"
             "5,50,35,12,1000,2000\n"
             "6,30,30,30,99999,199999\n"
             "7,15,15,15,99999,199999\n");
  write_text("RoadTariff.csv", "1,0.0,8.0\n2,20.0,0.0\n");
  write_text("RoadPCU.txt", "1,1.0,0.0\n2,2.0,0.0\n");
  write_text("RoadVTOD.txt", "1,1,ODcar.csv\n2,2,ODtruck.csv\n");
  write_text("PTOD.txt", "    1PTmorning.csv\n    2PTschool.csv\n");
  write_text("ModePCU.txt",
             "  1  2.0  30.0  80.0 1.01  0.8  3.0\n"
             "  2  2.0  30.0  60.0 1.01  0.9  5.0\n"
             "  7  0.0 300.0 800.0 1.01  1.0  2.0\n");
  // Stages: cars and trucks in two road stages and persons in two transit stages,
  // the second road stage holding its speeds and closing a bridge, the second
  // transit stage removing the sections the first one overfilled.
  write_text("Assign.txt",
             "0110  15000000000000    2 1 60 2 50\n"
             "0220  10001100001000    1 1 60\n"
             "0311  25000000000000    2 1 40 2 50\n"
             "0421   8001100001000    2 1 40 2100\n"
             "00\n");
  // Stage 3: the row-7 bridge is closed, and no left turn from the Crosstown
  // arterial eastbound into the east riverside street northbound.
  write_text("CUT03.csv", "2,1704,1705\n2,1705,1704\n3,1404,1405,1505\n0\n");
  for (int mode = 1; mode <= 4; ++mode) {
    std::string name = "answers" + std::to_string(mode) + ".txt";
    std::string text = "1\n" + std::to_string(mode) + "\n4\n1\n2\n1\n1\n";
    write_text(name.c_str(), text.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const bool help = std::strcmp(argv[1], "--help") == 0;
    std::fprintf(help ? stdout : stderr, "usage: make_sample_city   (writes the sample city into the current directory)\n");
    return help ? 0 : 2;
  }
  City c;
  build_nodes(c);
  build_zones(c);
  build_links(c);
  write_network(c);
  write_screens_and_ramps(c);
  write_routes();
  write_tables();
  const Matrix car = gravity(c, 12000, 2500, false, false);
  Matrix truck = gravity(c, 1000, 3500, false, false);
  write_matrix("ODcar.csv", car);
  write_matrix("ODtruck.csv", truck);
  write_matrix("PTmorning.csv", gravity(c, 7000, 5000, true, false));
  write_matrix("PTschool.csv", gravity(c, 1500, 1000, true, true));
  return 0;
}
