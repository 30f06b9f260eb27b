// routava-map: draws the link volumes of one result file of a run as an SVG map.
//
//   routava-map [--routes] [--output MAP.svg] RESULTS.csv
//
// RESULTS.csv is a "Traffic AssignnnVT.csv" (PCU), "Traffic AssignnnPT.csv"
// (persons riding) or "Traffic TotalLinkVol.csv" (vehicles of all road stages in
// PCU) of the run; Node.csv, Network.csv, QV.csv, RoadPCU.txt and BusEdit.csv are
// read from the same directory. Each direction of a link is drawn on its
// right-hand side, its width proportional to the volume and, for PCU, its colour
// by the volume over the capacity Q1 of its speed-flow curve. The map is written
// to a temporary file and renamed, so a failed run leaves no half-written map.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run/recio.hpp"

namespace {

namespace fs = std::filesystem;
using namespace routava;

const char* const kUsage =
    "Usage: routava-map [--routes] [--output MAP.svg] RESULTS.csv\n"
    "       routava-map --help | --version\n";

const char* const kHelp =
    "\n"
    "Draws the link volumes of one result file of a run as a self-contained SVG map.\n"
    "RESULTS.csv is one of the run's link files:\n"
    "  Traffic AssignnnVT.csv    road stage: PCU (the link's load after the stage),\n"
    "                            coloured by PCU over the capacity Q1 of QV.csv\n"
    "  Traffic AssignnnPT.csv    transit stage: persons riding along the link\n"
    "  Traffic TotalLinkVol.csv  all stages: vehicles in PCU (RoadPCU.txt), coloured\n"
    "From the directory of RESULTS.csv it reads Node.csv (node code, x, y in metres),\n"
    "Network.csv, QV.csv, RoadPCU.txt and, with --routes, BusEdit.csv, whose transit\n"
    "routes it draws over the links. Links whose nodes have no coordinates are\n"
    "counted and reported, not drawn. The map goes to RESULTS.svg unless --output\n"
    "names another file.\n"
    "\n"
    "Exit status: 0 map written, 1 an input file is missing or malformed (nothing is\n"
    "written), 2 wrong arguments.\n";

const char* const kVersion = "3.04";

// ---------------------------------------------------------------- failures

struct Failure {
  std::string message;
};

[[noreturn]] void fail(const std::string& message) { throw Failure{message}; }

std::string where(const std::string& file, long line) { return file + ", line " + std::to_string(line); }

// ---------------------------------------------------------------- inputs

struct Point {
  double x, y;
};

struct LinkDraw {
  int row;  // row of Network.csv, from 1
  int a, b, character, qv;
  double volume = 0.0;
};

enum class Kind { ROAD, TRANSIT, TOTALS };

struct Results {
  Kind kind;
  std::string title;   // what the map shows
  std::string unit;    // "PCU" or "persons"
  bool coloured;       // volume over capacity is known
};

// Opens an input file of the directory (letters matched without regard to case).
int open_input(const std::string& name, bool required) {
  if (!file_exists(name)) {
    if (required) fail(name + " is missing in the directory of the results file");
    return 0;
  }
  const int unit = free_unit();
  if (!open_read(unit, name)) fail(name + " cannot be opened");
  return unit;
}

// A field of a result record, which the program writes as a right-aligned number.
double number_field(const std::vector<std::string>& fields, size_t k, const std::string& file, long line) {
  if (k >= fields.size())
    fail(where(file, line) + ": the record has " + std::to_string(fields.size()) + " fields, field " +
         std::to_string(k + 1) + " is needed");
  double v = 0.0;
  const ReadResult r = read_free_text(fields[k], {&v});
  if (!r) {
    const std::string text(trim(fields[k]));
    fail(where(file, line) + ": field " + std::to_string(k + 1) + " is '" + text + "', not a number" +
         (text.find('*') != std::string::npos ? " (a value too wide for its column)" : ""));
  }
  return v;
}

std::vector<std::string> split_fields(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == ',') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

std::map<int, Point> read_nodes() {
  const std::string name = "Node.csv";
  const int unit = open_input(name, true);
  std::map<int, Point> nodes;
  std::map<int, long> line_of;
  std::string line;
  while (read_line(unit, line)) {
    const long n = unit_line(unit);
    if (trim(line).empty()) continue;
    int32_t code = 0;
    double x = 0.0, y = 0.0;
    const ReadResult r = read_free_text(line, {&code, &x, &y});
    if (r.bad() && n == 1) continue;  // a header line
    if (r.bad()) fail(where(name, n) + ": '" + r.bad_text + "' is not a number");
    if (r.end()) fail(where(name, n) + ": a node needs its code, x and y (metres)");
    if (code <= 0) fail(where(name, n) + ": node code " + std::to_string(code) + " is not positive");
    if (!std::isfinite(x) || !std::isfinite(y)) fail(where(name, n) + ": the coordinates are not finite");
    if (auto [it, fresh] = line_of.emplace(code, n); !fresh)
      fail(where(name, n) + ": node " + std::to_string(code) + " is given again (first on line " +
           std::to_string(it->second) + ")");
    nodes[code] = {x, y};
  }
  close_unit(unit);
  return nodes;
}

// The links as the program reads them: seven values a record, up to an A node of 0 or less.
std::vector<LinkDraw> read_network() {
  const std::string name = "Network.csv";
  const int unit = open_input(name, true);
  std::vector<LinkDraw> links;
  for (;;) {
    int32_t v[7] = {0, 0, 0, 0, 0, 0, 0};
    const ReadResult r = read_free(unit, {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]});
    if (r.end()) break;
    if (r.bad()) fail(where(name, unit_line(unit)) + ": '" + r.bad_text + "' is not a whole number");
    if (v[0] <= 0) break;
    links.push_back({int(links.size()) + 1, v[0], v[1], v[2], v[4]});
  }
  close_unit(unit);
  if (links.empty()) fail(name + " holds no link");
  return links;
}

// Capacity Q1 (PCU) of each QV type; empty when there is no QV.csv.
std::map<int, double> read_capacities() {
  const std::string name = "QV.csv";
  std::map<int, double> q1;
  const int unit = open_input(name, false);
  if (unit == 0) return q1;
  for (;;) {
    int32_t type = 0;
    float v[5] = {0, 0, 0, 0, 0};
    const ReadResult r = read_free(unit, {&type, &v[0], &v[1], &v[2], &v[3], &v[4]});
    if (r.end()) break;
    if (r.bad()) fail(where(name, unit_line(unit)) + ": '" + r.bad_text + "' is not a number");
    if (type < 1) break;
    q1[type] = v[3];
  }
  close_unit(unit);
  return q1;
}

std::map<int, double> read_pcu() {
  const std::string name = "RoadPCU.txt";
  const int unit = open_input(name, false);
  if (unit == 0) fail(name + " is missing: it gives the PCU of each vehicle type of Traffic TotalLinkVol.csv");
  std::map<int, double> pcu;
  for (;;) {
    int32_t type = 0;
    float p = 0.0f, passengers = 0.0f;
    const ReadResult r = read_free(unit, {&type, &p, &passengers});
    if (r.end()) break;
    if (r.bad()) fail(where(name, unit_line(unit)) + ": '" + r.bad_text + "' is not a number");
    if (type < 1) break;
    pcu[type] = p;
  }
  close_unit(unit);
  return pcu;
}

struct Route {
  int id, mode;
  std::vector<int> nodes;
};

// The converted route file: a header, then per route its route line and node lines.
std::vector<Route> read_routes() {
  const std::string name = "BusEdit.csv";
  const int unit = open_input(name, true);
  std::string line;
  if (!read_line(unit, line)) fail(name + " is empty");
  std::vector<Route> routes;
  while (read_line(unit, line)) {
    long n = unit_line(unit);
    if (trim(line).empty()) continue;
    const auto f = split_fields(line);
    Route r{int(number_field(f, 0, name, n)), int(number_field(f, 2, name, n)), {}};
    const int count = int(number_field(f, 4, name, n));
    for (int k = 0; k < count; ++k) {
      if (!read_line(unit, line)) fail(name + ": route " + std::to_string(r.id) + " ends before its " +
                                       std::to_string(count) + " node lines");
      n = unit_line(unit);
      // A minus sign marks a node passed without stopping; the route still runs through it.
      r.nodes.push_back(std::abs(int(number_field(split_fields(line), 5, name, n))));
    }
    routes.push_back(std::move(r));
  }
  close_unit(unit);
  return routes;
}

// Reads the volumes into `links`; the k-th record belongs to the k-th link of Network.csv.
Results read_results(const std::string& name, std::vector<LinkDraw>& links) {
  const int unit = open_input(name, true);
  std::string header;
  if (!read_line(unit, header)) fail(name + " is empty");
  Results res;
  std::string stage;
  if (const size_t at = name.find("Assign"); at != std::string::npos && at + 8 <= name.size())
    stage = std::to_string(std::atoi(name.substr(at + 6, 2).c_str()));
  if (header.rfind("Origin Node,Dest Node,", 0) == 0) {
    res = {Kind::TOTALS, "all stages, road vehicles", "PCU", true};
  } else if (header.rfind("O-Node,D-Node,", 0) == 0 && header.find(",TYPE  1 VT,") != std::string::npos) {
    res = {Kind::ROAD, "road stage " + stage + ", load after the stage", "PCU", true};
  } else if (header.rfind("O-Node,D-Node,", 0) == 0 && header.find(",MODE  1 person,") != std::string::npos) {
    res = {Kind::TRANSIT, "transit stage " + stage + ", persons riding", "persons", false};
  } else {
    fail(name + " is not a link result file (Traffic AssignnnVT.csv, Traffic AssignnnPT.csv or "
                "Traffic TotalLinkVol.csv)");
  }
  std::map<int, double> pcu;
  if (res.kind == Kind::TOTALS) pcu = read_pcu();
  std::string line;
  size_t k = 0;
  while (read_line(unit, line)) {
    const long n = unit_line(unit);
    if (trim(line).empty()) continue;
    if (k == links.size())
      fail(where(name, n) + ": more link records than Network.csv has links (" + std::to_string(links.size()) + ")");
    LinkDraw& l = links[k++];
    const auto f = split_fields(line);
    const int a = int(number_field(f, 0, name, n)), b = int(number_field(f, 1, name, n));
    if (a != l.a || b != l.b)
      fail(where(name, n) + ": link " + std::to_string(a) + "-" + std::to_string(b) + " is not link " +
           std::to_string(l.row) + " of Network.csv (" + std::to_string(l.a) + "-" + std::to_string(l.b) +
           "): the results belong to another network");
    double v = 0.0;
    if (res.kind == Kind::ROAD) {
      v = number_field(f, 8, name, n);
    } else if (res.kind == Kind::TRANSIT) {
      for (size_t m = 0; m < 10; ++m) v += number_field(f, 9 + m, name, n);
    } else {
      for (int t = 1; t <= 10; ++t) {
        const auto p = pcu.find(t);
        v += number_field(f, size_t(6 + t), name, n) * (p == pcu.end() ? 0.0 : p->second);
      }
    }
    l.volume = v;
  }
  close_unit(unit);
  if (k != links.size())
    fail(name + " has " + std::to_string(k) + " link records; Network.csv has " + std::to_string(links.size()) +
         " links");
  return res;
}

// ---------------------------------------------------------------- drawing

std::string num(double v, int decimals = 1) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  if (std::strcmp(buf, "-0.0") == 0 || std::strcmp(buf, "-0") == 0) return decimals ? "0.0" : "0";
  return buf;
}

std::string escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

struct RatioClass {
  double below;
  const char* colour;
  const char* label;
};
const RatioClass kRatioClasses[] = {
    {0.6, "#1a9641", "below 0.6"}, {0.8, "#a6d96a", "0.6 to 0.8"}, {1.0, "#fdae61", "0.8 to 1.0"},
    {1.2, "#d7191c", "1.0 to 1.2"}, {1e300, "#67000d", "1.2 and above"},
};
const char* const kNoCapacity = "#808080";
const char* const kPersons = "#2166ac";
const char* const kEmpty = "#c8c8c8";

const char* colour_of(const LinkDraw& l, const Results& res, const std::map<int, double>& q1) {
  if (l.volume <= 0.0) return kEmpty;
  if (!res.coloured) return kPersons;
  const auto q = q1.find(l.qv);
  if (q == q1.end() || q->second <= 0.0) return kNoCapacity;
  const double ratio = l.volume / q->second;
  for (const RatioClass& c : kRatioClasses)
    if (ratio < c.below) return c.colour;
  return kRatioClasses[4].colour;
}

// A round length of about `target` metres for the scale bar and the width legend.
double round_value(double target) {
  double p = std::pow(10.0, std::floor(std::log10(std::max(target, 1e-9))));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * p >= target * 0.999) return m * p;
  return 10.0 * p;
}

constexpr double kMapSize = 900.0;     // pixels of the longer side of the map
constexpr double kMargin = 30.0;
constexpr double kLegendWidth = 300.0;
constexpr double kMaxWidth = 16.0;     // pixels of the largest volume
constexpr double kGap = 0.8;           // pixels between the two directions

// Metres to pixels: north up, the longer side kMapSize pixels.
struct Canvas {
  double min_x, max_y, scale;
  double map_w, map_h;
  double px(double x) const { return kMargin + (x - min_x) * scale; }
  double py(double y) const { return kMargin + (max_y - y) * scale; }
};

// The links that can be drawn (both nodes have coordinates) and the canvas around them.
Canvas frame(const std::vector<LinkDraw>& links, const std::map<int, Point>& nodes,
             std::vector<const LinkDraw*>& shown, int& missing, std::string& first_missing) {
  double min_x = 1e300, max_x = -1e300, min_y = 1e300, max_y = -1e300;
  for (const LinkDraw& l : links) {
    const auto a = nodes.find(l.a), b = nodes.find(l.b);
    if (a == nodes.end() || b == nodes.end()) {
      if (missing++ == 0)
        first_missing = std::to_string(l.a) + "-" + std::to_string(l.b) + " (link " + std::to_string(l.row) + ")";
      continue;
    }
    for (const Point& p : {a->second, b->second}) {
      min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
      min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
    }
    shown.push_back(&l);
  }
  if (shown.empty()) fail("no link of Network.csv has both its nodes in Node.csv: nothing to draw");
  const double scale = kMapSize / std::max({max_x - min_x, max_y - min_y, 1.0});
  return {min_x, max_y, scale, (max_x - min_x) * scale + 2 * kMargin, (max_y - min_y) * scale + 2 * kMargin};
}

struct Svg {
  std::string s;
  void text(double x, double y, const std::string& t, const char* extra = "") {
    s += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"" + extra + ">" + escape(t) + "</text>\n";
  }
  void line(double x1, double y1, double x2, double y2, const std::string& attrs) {
    s += "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) + "\" " +
         attrs + "/>\n";
  }
  void swatch(double x, double y, const char* colour, double height = 10) {
    s += "<rect x=\"" + num(x) + "\" y=\"" + num(y - height) + "\" width=\"24\" height=\"" + num(height) +
         "\" fill=\"" + colour + "\"/>\n";
  }
};

void draw_links(Svg& g, const Canvas& cv, std::vector<const LinkDraw*> shown, const std::map<int, Point>& nodes,
                const Results& res, const std::map<int, double>& q1, double width_per_unit) {
  // Small volumes first, so that the heavy links lie on top.
  std::stable_sort(shown.begin(), shown.end(),
                   [](const LinkDraw* x, const LinkDraw* y) { return x->volume < y->volume; });
  g.s += "<g id=\"links\" stroke-linecap=\"butt\">\n";
  for (const LinkDraw* l : shown) {
    const Point a = nodes.at(l->a), b = nodes.at(l->b);
    double x1 = cv.px(a.x), y1 = cv.py(a.y), x2 = cv.px(b.x), y2 = cv.py(b.y);
    const double len = std::hypot(x2 - x1, y2 - y1);
    const double w = l->volume > 0.0 ? std::max(1.0, l->volume * width_per_unit) : 0.6;
    if (len > 0.0) {
      // The right-hand side of the direction of travel, on a screen whose y runs down.
      const double off = w / 2.0 + kGap / 2.0;
      const double nx = -(y2 - y1) / len * off, ny = (x2 - x1) / len * off;
      x1 += nx, y1 += ny, x2 += nx, y2 += ny;
    }
    g.s += "<line id=\"link" + std::to_string(l->row) + "\" x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" +
           num(x2) + "\" y2=\"" + num(y2) + "\" stroke=\"" + colour_of(*l, res, q1) + "\" stroke-width=\"" +
           num(w) + "\"";
    if (l->character <= 0) g.s += " stroke-dasharray=\"4 2\" opacity=\"0.6\"";
    if (l->character >= 9 && l->volume <= 0.0) g.s += " stroke-dasharray=\"1 2\"";
    std::string tip = std::to_string(l->a) + "-" + std::to_string(l->b) + ": " + num(l->volume) + " " + res.unit;
    if (res.coloured) {
      const auto q = q1.find(l->qv);
      if (q != q1.end() && q->second > 0.0) tip += ", " + num(l->volume / q->second, 2) + " of capacity";
    }
    g.s += "><title>" + escape(tip) + "</title></line>\n";
  }
  g.s += "</g>\n";
}

// Returns the number of routes drawn.
int draw_routes(Svg& g, const Canvas& cv, const std::vector<Route>& routes, const std::map<int, Point>& nodes) {
  int drawn = 0;
  g.s += "<g id=\"routes\" fill=\"none\" stroke-linejoin=\"round\">\n";
  for (const Route& r : routes) {
    std::string pts;
    for (int code : r.nodes) {
      const auto p = nodes.find(code);
      if (p == nodes.end()) continue;
      pts += (pts.empty() ? "" : " ") + num(cv.px(p->second.x)) + "," + num(cv.py(p->second.y));
    }
    if (pts.find(' ') == std::string::npos) continue;
    const bool rail = r.mode >= 7;
    g.s += std::string("<polyline points=\"") + pts + "\" stroke=\"" + (rail ? "#000000" : "#6a3d9a") +
           "\" stroke-width=\"" + (rail ? "2" : "1.2") + "\"" + (rail ? " stroke-dasharray=\"8 4\"" : "") +
           " opacity=\"0.8\"><title>route " + std::to_string(r.id) + ", mode " + std::to_string(r.mode) +
           "</title></polyline>\n";
    ++drawn;
  }
  g.s += "</g>\n";
  return drawn;
}

void draw_legend(Svg& g, const Canvas& cv, const std::string& file, const Results& res, double max_volume,
                 double width_per_unit, int routes, int missing) {
  const double lx = cv.map_w + 10.0;
  double ly = 30.0;
  g.s += "<g id=\"legend\">\n";
  g.text(lx, ly, file, " font-size=\"14\" font-weight=\"bold\"");
  g.text(lx, ly += 18, res.title);
  g.text(lx, ly += 26, "Width: " + res.unit + " (each direction on its right)");
  if (max_volume > 0.0) {
    const double top = round_value(max_volume / 2.0);
    for (double v : {top / 4.0, top / 2.0, top}) {
      ly += 22;
      g.line(lx, ly, lx + 50, ly, "stroke=\"#555555\" stroke-width=\"" + num(std::max(1.0, v * width_per_unit)) + "\"");
      g.text(lx + 60, ly + 4, num(v, v < 10 ? 1 : 0) + " " + res.unit);
    }
  } else {
    g.text(lx, ly += 18, "no link carries any volume");
  }
  ly += 30;
  if (res.coloured) {
    g.text(lx, ly, "Colour: PCU over capacity Q1 (QV.csv)");
    for (const RatioClass& c : kRatioClasses) {
      g.swatch(lx, ly += 18, c.colour);
      g.text(lx + 32, ly, c.label);
    }
    g.swatch(lx, ly += 18, kNoCapacity);
    g.text(lx + 32, ly, "no capacity (QV type without Q1)");
    ly += 12;
  }
  g.swatch(lx, ly += 18, kEmpty, 1);
  g.text(lx + 32, ly, "no volume; dashed: zone connectors");
  if (routes > 0) {
    g.line(lx, ly + 16, lx + 24, ly + 16, "stroke=\"#6a3d9a\" stroke-width=\"1.2\"");
    g.text(lx + 32, ly += 20, "bus routes (modes 1-6)");
    g.line(lx, ly + 14, lx + 24, ly + 14, "stroke=\"#000000\" stroke-width=\"2\" stroke-dasharray=\"8 4\"");
    g.text(lx + 32, ly += 18, "rail routes (modes 7-10)");
  }
  ly += 36;
  const double bar_m = round_value(120.0 / cv.scale);
  g.s += "<path d=\"M" + num(lx) + "," + num(ly - 6) + " v6 h" + num(bar_m * cv.scale) +
         " v-6\" fill=\"none\" stroke=\"#000000\" stroke-width=\"1.5\"/>\n";
  g.text(lx, ly + 16, bar_m >= 1000 ? num(bar_m / 1000, 0) + " km" : num(bar_m, 0) + " m");
  if (missing > 0)
    g.text(lx, ly += 40, std::to_string(missing) + " links without coordinates not drawn", " fill=\"#b00000\"");
  g.s += "</g>\n";
}

std::string draw(const std::string& file, const Results& res, const std::vector<LinkDraw>& links,
                 const std::map<int, Point>& nodes, const std::map<int, double>& q1,
                 const std::vector<Route>* routes, int& drawn, int& missing, std::string& first_missing) {
  std::vector<const LinkDraw*> shown;
  const Canvas cv = frame(links, nodes, shown, missing, first_missing);
  double max_volume = 0.0;
  for (const LinkDraw* l : shown) max_volume = std::max(max_volume, l->volume);
  const double width_per_unit = max_volume > 0.0 ? kMaxWidth / max_volume : 0.0;
  const std::string width = num(cv.map_w + kLegendWidth, 0), height = num(std::max(cv.map_h, 420.0), 0);

  Svg g;
  g.s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  g.s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + height + "\" viewBox=\"0 0 " +
         width + " " + height + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  g.s += "<title>" + escape(file) + ": " + escape(res.title) + "</title>\n";
  g.s += "<rect width=\"" + width + "\" height=\"" + height + "\" fill=\"#ffffff\"/>\n";
  draw_links(g, cv, shown, nodes, res, q1, width_per_unit);
  const int route_lines = routes ? draw_routes(g, cv, *routes, nodes) : 0;
  draw_legend(g, cv, file, res, max_volume, width_per_unit, route_lines, missing);
  g.s += "</svg>\n";
  drawn = int(shown.size());
  return g.s;
}

void write_map(const fs::path& out, const std::string& svg) {
  fs::path tmp = out;
  tmp += ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (f) f << svg;
    f.close();
    if (!f) {
      std::error_code ec;
      fs::remove(tmp, ec);
      fail("cannot write " + out.string() + ": " + std::strerror(errno));
    }
  }
  std::error_code ec;
  fs::rename(tmp, out, ec);
  if (ec) {
    fs::remove(tmp, ec);
    fail("cannot write " + out.string() + ": " + ec.message());
  }
}

int usage_error(const std::string& what) {
  std::fprintf(stderr, "routava-map: %s\n%s", what.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool with_routes = false;
  std::string results, output;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help") {
      std::printf("%s%s", kUsage, kHelp);
      return 0;
    }
    if (a == "--version") {
      std::printf("routava-map %s\n", kVersion);
      return 0;
    }
    if (a == "--routes") {
      with_routes = true;
    } else if (a == "--output") {
      if (++i == argc) return usage_error("--output needs a file name");
      output = argv[i];
    } else if (!a.empty() && a[0] == '-') {
      return usage_error("unknown option " + a);
    } else if (results.empty()) {
      results = a;
    } else {
      return usage_error("one results file only (" + results + ", " + a + ")");
    }
  }
  if (results.empty()) return usage_error("no results file given");

  const fs::path results_path = fs::absolute(results);
  fs::path out = output.empty() ? fs::path(results_path).replace_extension(".svg") : fs::absolute(output);
  const std::string file = results_path.filename().string();
  try {
    std::error_code ec;
    fs::current_path(results_path.parent_path(), ec);
    if (ec) fail("cannot enter the directory of " + results + ": " + ec.message());
    const std::map<int, Point> nodes = read_nodes();
    std::vector<LinkDraw> links = read_network();
    const Results res = read_results(file, links);
    const std::map<int, double> q1 = read_capacities();
    std::optional<std::vector<Route>> routes;
    if (with_routes) routes = read_routes();
    int drawn = 0, missing = 0;
    std::string first_missing;
    const std::string svg = draw(file, res, links, nodes, q1, routes ? &*routes : nullptr, drawn, missing, first_missing);
    write_map(out, svg);
    std::printf("routava-map: %s: %d links drawn, map %s\n", file.c_str(), drawn, out.string().c_str());
    if (missing > 0)
      std::fprintf(stderr, "routava-map: %d links have a node without coordinates in Node.csv and are not drawn (first: %s)\n",
                   missing, first_missing.c_str());
  } catch (const Failure& f) {
    std::fprintf(stderr, "routava-map: %s\n", f.message.c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "routava-map: %s\n", e.what());
    return 1;
  }
  return 0;
}
