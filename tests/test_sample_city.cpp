// Whole runs of the sample city (examples/city) in each transit loading mode,
// checked against figures worked out from its input files, and its volume map.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::read_lines;
using test::TempDir;
using Fields = std::vector<std::string>;

const fs::path kCity = fs::path(ROUTAVA_SOURCE_DIR) / "examples" / "city";

Fields split(const std::string& line) {
  Fields out(1);
  for (char c : line) {
    if (c == ',') {
      out.emplace_back();
    } else if (c != ' ') {
      out.back() += c;
    }
  }
  return out;
}
int as_int(const std::string& s) { return std::stoi(s); }
double as_real(const std::string& s) { return std::stod(s); }

// The records of a result file (header skipped), fields without blanks.
std::vector<Fields> records(const std::string& file) {
  std::vector<Fields> out;
  const auto lines = read_lines(file);
  for (size_t i = 1; i < lines.size(); ++i) out.push_back(split(lines[i]));
  return out;
}

void copy_city() {
  for (const auto& e : fs::directory_iterator(kCity)) {
    fs::copy_file(e.path(), e.path().filename(), fs::copy_options::overwrite_existing);
    fs::permissions(e.path().filename(), fs::perms::owner_write, fs::perm_options::add);
  }
}

// ---- the demand as the input files give it, computed here without the program

struct Stage {
  int number, kind;
  std::vector<std::pair<int, float>> tables;  // (OD table id, factor in percent)
};

std::vector<Stage> stages() {
  std::vector<Stage> out;
  for (const std::string& l : read_lines("Assign.txt")) {
    const int number = std::atoi(l.substr(0, 2).c_str());
    if (number <= 0) break;
    Stage s{number, l[2] - '0', {}};
    for (int i = 0, n = std::atoi(l.substr(20, 5).c_str()); i < n; ++i)
      s.tables.push_back({std::atoi(l.substr(25 + 5 * size_t(i), 2).c_str()),
                          float(std::atof(l.substr(27 + 5 * size_t(i), 3).c_str()))});
    out.push_back(s);
  }
  return out;
}

// trips[{o, d}][t]: the stage's factored trips by vehicle type t (road) or in t = 0 (transit).
using Demand = std::map<std::pair<int, int>, std::map<int, int>>;

Demand demand(const Stage& s) {
  std::map<int, std::pair<std::string, int>> files;  // id -> (file, vehicle type)
  if (s.kind == 1) {
    for (const std::string& l : read_lines("RoadVTOD.txt")) {
      const Fields f = split(l);
      files[as_int(f[0])] = {f[2], as_int(f[1])};
    }
  } else {
    for (const std::string& l : read_lines("PTOD.txt"))
      files[std::atoi(l.substr(0, 5).c_str())] = {std::string(trim(l.substr(5))), 0};
  }
  Demand out;
  for (const auto& [id, factor] : s.tables) {
    const auto& [file, type] = files.at(id);
    for (const std::string& l : read_lines(file)) {
      const Fields f = split(l);
      const int o = as_int(f[0]), d = as_int(f[1]);
      if (o == d) continue;  // trips inside a zone are never loaded
      out[{o, d}][type] += int(float(as_int(f[2])) * factor / 100.0f + 0.5f);
    }
  }
  return out;
}

std::string two(int stage) { return (stage < 10 ? "0" : "") + std::to_string(stage); }

// The vehicles or persons that leave each zone by its connectors (a path never
// passes through a zone, so each loaded pair leaves its origin once).
std::map<int, std::map<int, double>> leaving_zones(const std::string& link_file, size_t first_col, int ncol) {
  std::map<int, std::map<int, double>> out;
  for (const Fields& f : records(link_file)) {
    const int a = as_int(f[0]);
    if (a > 400) continue;  // not a zone centroid
    for (int t = 0; t < ncol; ++t) out[a][t] += as_real(f[first_col + size_t(t)]);
  }
  return out;
}

std::set<std::pair<int, int>> error_pairs(const std::string& file) {
  std::set<std::pair<int, int>> out;
  if (fs::exists(file))
    for (const Fields& f : records(file)) out.insert({as_int(f[0]), as_int(f[1])});
  return out;
}

void check_road_stage(const Stage& s, const std::map<int, float>& pcu) {
  SCOPED_TRACE("road stage " + std::to_string(s.number));
  const Demand dem = demand(s);
  const auto unreached = error_pairs("Vehicle Error" + two(s.number) + ".csv");
  std::map<int, std::map<int, double>> expected;  // origin -> type -> vehicles
  double expected_pcu = 0.0;
  for (const auto& [od, by_type] : dem) {
    if (unreached.count(od)) continue;
    for (const auto& [t, v] : by_type) {
      expected[od.first][t - 1] += v;
      expected_pcu += v * pcu.at(t);
    }
  }
  const auto leaving = leaving_zones("Traffic Assign" + two(s.number) + "VT.csv", 9, 10);
  for (const auto& [o, by_type] : expected)
    for (const auto& [t, v] : by_type) EXPECT_DOUBLE_EQ(leaving.at(o).at(t), v) << "zone " << o << " type " << t + 1;
  double impedance_pcu = 0.0;
  for (const Fields& f : records("Vehicle Impedance" + two(s.number) + ".csv")) impedance_pcu += as_int(f[2]);
  EXPECT_DOUBLE_EQ(impedance_pcu, expected_pcu);
  EXPECT_GT(expected_pcu, 5000.0);
}

void check_transit_stage(const Stage& s) {
  SCOPED_TRACE("transit stage " + std::to_string(s.number));
  const Demand dem = demand(s);
  const auto unreached = error_pairs("Transit Error" + two(s.number) + ".csv");
  std::map<int, double> expected;
  double total = 0.0;
  for (const auto& [od, t] : dem) {
    if (unreached.count(od)) continue;
    expected[od.first] += t.at(0);
    total += t.at(0);
  }
  // Every trip starts on foot: the walkers on the zones' connectors.
  const auto leaving = leaving_zones("Traffic Assign" + two(s.number) + "PT.csv", 39, 1);
  for (const auto& [o, v] : expected) EXPECT_DOUBLE_EQ(leaving.at(o).at(0), v) << "zone " << o;
  double impedance_pt = 0.0;
  for (const Fields& f : records("Transit Impedance" + two(s.number) + ".csv")) impedance_pt += as_int(f[2]);
  EXPECT_DOUBLE_EQ(impedance_pt, total);
  EXPECT_GT(total, 3000.0);
}

// Traffic TotalLinkVol.csv: link by link the sums of the stage files.
void check_link_totals(const std::vector<Stage>& st, int modept) {
  const auto total = records("Traffic TotalLinkVol.csv");
  std::vector<std::vector<double>> sum(total.size(), std::vector<double>(61, 0.0));
  for (const Stage& s : st) {
    if (s.kind == 2 && modept == 4) continue;
    const auto rec = records("Traffic Assign" + two(s.number) + (s.kind == 1 ? "VT" : "PT") + ".csv");
    ASSERT_EQ(rec.size(), total.size());
    for (size_t k = 0; k < rec.size(); ++k)
      for (int j = 0; j < 30 + (s.kind == 2); ++j) sum[k][size_t(j + (s.kind == 1 ? 0 : 30))] += as_real(rec[k][size_t(9 + j)]);
  }
  for (size_t k = 0; k < total.size(); ++k)
    for (int j : {0, 1, 10, 11, 30, 36, 40, 46, 60}) {  // vehicles, vehicle-km, persons, person-km, walkers
      EXPECT_NEAR(as_real(total[k][size_t(7 + j)]), sum[k][size_t(j)], 0.02 * double(st.size()))
          << "link " << k + 1 << " column " << 8 + j;
    }
}

// Traffic TotalResult.csv: the distance and impedance tables hold every pair of
// the impedance files whose value falls in a class, road pairs also by type.
void check_class_tables(const std::vector<Stage>& st, int modept) {
  double pt_dist = 0, pcu_dist = 0, pt_imp = 0, pcu_imp = 0;
  std::map<int, double> vt_dist;
  for (const Stage& s : st) {
    if (s.kind == 2 && modept == 4) continue;
    const bool road = s.kind == 1;
    const Demand dem = road ? demand(s) : Demand{};
    for (const Fields& f : records((road ? "Vehicle Impedance" : "Transit Impedance") + two(s.number) + ".csv")) {
      const double trips = as_int(f[2]), minutes = as_int(f[3]) / 100.0, km = as_real(f[6]);
      const bool in_dist = km >= 0.01 && km < 999.0, in_imp = minutes >= 0.1 && minutes < 999.0;
      (road ? pcu_dist : pt_dist) += in_dist ? trips : 0;
      (road ? pcu_imp : pt_imp) += in_imp ? trips : 0;
      const auto cell = dem.find({as_int(f[0]), as_int(f[1])});
      if (road && in_dist && cell != dem.end())
        for (const auto& [t, v] : cell->second) vt_dist[t] += v;
    }
  }
  const auto lines = read_lines("Traffic TotalResult.csv");
  std::map<std::string, std::vector<double>> table;  // header start -> column sums
  std::string current;
  for (const std::string& l : lines) {
    if (l.rfind("Distance (km)", 0) == 0 || l.rfind("Impedance (min)", 0) == 0) {
      current = l.substr(0, 8);
      table[current].assign(12, 0.0);
    } else if (l.empty()) {
      current.clear();
    } else if (!current.empty()) {
      const Fields f = split(l);
      for (size_t c = 0; c < 12; ++c) table[current][c] += as_real(f[2 + c]);
    }
  }
  ASSERT_EQ(table.size(), 2u);
  EXPECT_DOUBLE_EQ(table["Distance"][0], pt_dist);
  EXPECT_DOUBLE_EQ(table["Distance"][1], pcu_dist);
  EXPECT_DOUBLE_EQ(table["Impedanc"][0], pt_imp);
  EXPECT_DOUBLE_EQ(table["Impedanc"][1], pcu_imp);
  for (int t = 1; t <= 2; ++t) EXPECT_DOUBLE_EQ(table["Distance"][size_t(1 + t)], vt_dist[t]) << "type " << t;
  if (modept == 4) {
    EXPECT_EQ(pt_dist, 0.0);
  }
}

std::set<std::string> expected_outputs(int modept) {
  // BusInput.txt is converted at the first transit stage.
  std::set<std::string> files = test::stage_outputs({"01", "03"}, {});
  files.insert({"BusEdit.csv", "BusCost.csv", "BusEdit2.csv"});
  if (modept == 4) return files;
  files.merge(test::stage_outputs({}, {"02", "04"}));
  files.insert({"Transit CapacityOver04.csv", "Transit Operations.csv"});
  return files;
}

std::set<std::string> written_files() {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(fs::current_path())) {
    const std::string name = e.path().filename().string();
    if (!fs::exists(kCity / name) && name != "answers.in" && name != "console.out") out.insert(name);
  }
  return out;
}

// The cuts of CUT03.csv: a cut link carries stage-1 vehicles but none in stage 3;
// a prohibited turn is on stage-1 paths and on no stage-3 path.
void check_cuts_take_effect() {
  std::vector<std::vector<int>> cuts;
  for (const std::string& l : read_lines("CUT03.csv")) {
    std::vector<int> codes;
    for (const std::string& f : split(l)) codes.push_back(as_int(f));
    if (codes[0] < 1) break;
    cuts.push_back(std::vector<int>(codes.begin() + 1, codes.end()));
  }
  ASSERT_FALSE(cuts.empty());
  auto vehicles_on = [](const std::string& stage, int a, int b) {
    double v = 0;
    for (const Fields& f : records("Traffic Assign" + stage + "VT.csv"))
      if (as_int(f[0]) == a && as_int(f[1]) == b) v += as_real(f[9]) + as_real(f[10]);
    return v;
  };
  auto turns = [](const std::string& stage, int x, int y, int z) {
    int n = 0;
    const auto rec = records("Vehicle PathVT" + stage + ".csv");  // destination end first
    for (size_t i = 0; i + 1 < rec.size(); ++i)
      n += rec[i][4] == rec[i + 1][4] && rec[i][5] == rec[i + 1][5] && as_int(rec[i][1]) == y &&
           as_int(rec[i][2]) == z && as_int(rec[i + 1][1]) == x && as_int(rec[i + 1][2]) == y;
    return n;
  };
  for (const auto& c : cuts) {
    if (c.size() == 2) {
      EXPECT_GT(vehicles_on("01", c[0], c[1]), 0.0) << c[0] << "-" << c[1];
      EXPECT_EQ(vehicles_on("03", c[0], c[1]), 0.0) << c[0] << "-" << c[1];
    } else {
      ASSERT_EQ(c.size(), 3u);
      EXPECT_GT(turns("01", c[0], c[1], c[2]), 0) << c[0] << "-" << c[1] << "-" << c[2];
      EXPECT_EQ(turns("03", c[0], c[1], c[2]), 0) << c[0] << "-" << c[1] << "-" << c[2];
    }
  }
}

// What the sample is there to show: tolls taken on the expressway between two
// ramps, rides on the rail line, and trips that change from one route to another.
void check_sample_shows_its_features() {
  EXPECT_GT(records("Vehicle RampVT01.csv").size(), 0u);
  bool toll = false;
  for (const Fields& f : records("Vehicle Impedance01.csv")) toll |= as_int(f[7]) > 0 && as_int(f[2]) > 0;
  EXPECT_TRUE(toll);
  int rail_riders = 0, changes = 0;
  for (const Fields& f : records("Transit PathPT02.csv")) rail_riders += f[0] == "4" && f[5] == "7" ? as_int(f[8]) : 0;
  for (const Fields& f : records("Transit Impedance02.csv")) changes += as_int(f[4]) >= 2 ? as_int(f[2]) : 0;
  EXPECT_GT(rail_riders, 0);
  EXPECT_GT(changes, 0);
}

TEST(SampleCity, EveryLoadingModeLoadsItsWholeDemand) {
  for (int modept = 1; modept <= 4; ++modept) {
    SCOPED_TRACE("MODEPT " + std::to_string(modept));
    TempDir dir;
    copy_city();
    ASSERT_EQ(test::run_program(read_file("answers" + std::to_string(modept) + ".txt")), 0);
    const auto console = read_lines("console.out");
    ASSERT_GE(console.size(), 2u);
    EXPECT_EQ(console[console.size() - 2], " *  Thank you for so l-o-n-g time   *");
    EXPECT_EQ(written_files(), expected_outputs(modept));

    std::map<int, float> pcu;
    for (const std::string& l : read_lines("RoadPCU.txt")) {
      const Fields f = split(l);
      pcu[as_int(f[0])] = float(as_real(f[1]));
    }
    const auto st = stages();
    ASSERT_EQ(st.size(), 4u);
    for (const Stage& s : st) {
      if (s.kind == 1) check_road_stage(s, pcu);
      if (s.kind == 2 && modept != 4) check_transit_stage(s);
    }
    check_link_totals(st, modept);
    check_class_tables(st, modept);
    if (modept == 1) {
      check_cuts_take_effect();
      check_sample_shows_its_features();
    }
  }
}

// ---- the volume map

struct Element {
  std::string name;
  std::map<std::string, std::string> attr;
  std::string text;  // character data directly inside
};

// A strict reader of the XML the map may hold: the declaration, elements with
// quoted unique attributes, character data with the five predefined entities.
// Fails the test (and returns what it read so far) on anything else.
std::vector<Element> parse_xml(const std::string& s) {
  std::vector<Element> out;
  std::vector<size_t> open;
  size_t p = 0;
  auto fail = [&](const std::string& why) {
    ADD_FAILURE() << "not well-formed at byte " << p << ": " << why;
    return out;
  };
  auto entity_ok = [&](size_t at) {
    for (const char* e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
      if (s.compare(at, std::strlen(e), e) == 0) return true;
    return false;
  };
  if (s.rfind("<?xml ", 0) == 0) p = s.find("?>") + 2;
  bool root_done = false;
  while (p < s.size()) {
    if (s[p] != '<') {
      if (open.empty() && !std::isspace(static_cast<unsigned char>(s[p]))) return fail("text outside the root");
      if (s[p] == '&' && !entity_ok(p)) return fail("bare &");
      if (!open.empty()) out[open.back()].text += s[p];
      ++p;
      continue;
    }
    if (s.compare(p, 2, "</") == 0) {
      const size_t e = s.find('>', p);
      if (e == std::string::npos || open.empty() || s.substr(p + 2, e - p - 2) != out[open.back()].name)
        return fail("unmatched end tag");
      open.pop_back();
      root_done = open.empty();
      p = e + 1;
      continue;
    }
    if (root_done) return fail("a second root element");
    Element el;
    ++p;
    while (p < s.size() && (std::isalnum(static_cast<unsigned char>(s[p])) || s[p] == '-' || s[p] == ':')) el.name += s[p++];
    if (el.name.empty()) return fail("empty element name");
    bool empty_tag = false;
    for (;;) {
      while (p < s.size() && std::isspace(static_cast<unsigned char>(s[p]))) ++p;
      if (p >= s.size()) return fail("unterminated tag");
      if (s.compare(p, 2, "/>") == 0) {
        empty_tag = true;
        p += 2;
        break;
      }
      if (s[p] == '>') {
        ++p;
        break;
      }
      std::string key;
      while (p < s.size() && s[p] != '=' && !std::isspace(static_cast<unsigned char>(s[p]))) key += s[p++];
      if (p + 1 >= s.size() || s[p] != '=' || s[p + 1] != '"') return fail("attribute " + key + " without a quoted value");
      const size_t e = s.find('"', p + 2);
      if (e == std::string::npos) return fail("unterminated attribute");
      const std::string value = s.substr(p + 2, e - p - 2);
      if (value.find('<') != std::string::npos) return fail("< in an attribute");
      for (size_t a = value.find('&'); a != std::string::npos; a = value.find('&', a + 1))
        if (!entity_ok(p + 2 + a)) return fail("bare & in an attribute");
      if (!el.attr.emplace(key, value).second) return fail("attribute " + key + " given twice");
      p = e + 1;
    }
    out.push_back(el);
    if (!empty_tag) open.push_back(out.size() - 1);
    root_done = open.empty();
  }
  if (!open.empty()) return fail("unclosed element " + out[open.back()].name);
  return out;
}

struct MapRun {
  int status;
  std::string out, err;
};

MapRun run_map(const std::string& args) {
  const std::string cmd = std::string("\"") + ROUTAVA_MAP + "\" " + args + " > map.out 2> map.err";
  const int rc = std::system(cmd.c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : 128, read_file("map.out"), read_file("map.err")};
}

// Rows of Network.csv (from 1) whose two nodes both have coordinates in Node.csv.
std::set<int> links_with_coordinates() {
  std::set<int> nodes, rows;
  for (const std::string& l : read_lines("Node.csv")) {
    if (l.empty() || !std::isdigit(static_cast<unsigned char>(l[0]))) continue;
    nodes.insert(as_int(split(l)[0]));
  }
  int row = 0;
  for (const std::string& l : read_lines("Network.csv")) {
    const Fields f = split(l);
    ++row;
    if (nodes.count(as_int(f[0])) && nodes.count(as_int(f[1]))) rows.insert(row);
  }
  return rows;
}

void check_map(const std::string& svg_file, const std::set<int>& expected_links, bool routes) {
  const std::string svg = read_file(svg_file);
  const auto els = parse_xml(svg);
  ASSERT_FALSE(els.empty());
  EXPECT_EQ(els[0].name, "svg");
  ASSERT_TRUE(els[0].attr.count("xmlns") && els[0].attr.count("viewBox"));
  EXPECT_EQ(els[0].attr.at("xmlns"), "http://www.w3.org/2000/svg");
  double w = 0, h = 0;
  std::istringstream(els[0].attr.at("viewBox").substr(4)) >> w >> h;
  std::set<int> drawn;
  int polylines = 0;
  for (const Element& e : els) {
    polylines += e.name == "polyline";
    if (e.name != "line" || e.attr.count("id") == 0) continue;
    ASSERT_EQ(e.attr.at("id").rfind("link", 0), 0u);
    EXPECT_TRUE(drawn.insert(std::stoi(e.attr.at("id").substr(4))).second) << "drawn twice: " << e.attr.at("id");
    for (const char* c : {"x1", "y1", "x2", "y2"}) {
      const double v = std::stod(e.attr.at(c));
      EXPECT_TRUE(v > 0.0 && v < (c[0] == 'x' ? w : h)) << e.attr.at("id") << " " << c << " " << v;
    }
    EXPECT_GT(std::stod(e.attr.at("stroke-width")), 0.0);
  }
  EXPECT_EQ(drawn, expected_links);
  EXPECT_EQ(polylines > 0, routes);
}

TEST(SampleCity, MapDrawsEveryLinkWithCoordinatesAndRefusesBadInput) {
  TempDir dir;
  copy_city();
  ASSERT_EQ(test::run_program(read_file("answers1.txt")), 0);

  std::smatch version;
  const std::string log = read_file("Log.txt");
  ASSERT_TRUE(std::regex_search(log, version, std::regex(R"(Routava Ver (\S+))")));
  EXPECT_EQ(run_map("--version").out, "routava-map " + version[1].str() + "\n");

  MapRun r = run_map("\"Traffic TotalLinkVol.csv\" --output total.svg");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  check_map("total.svg", links_with_coordinates(), false);
  const std::string first = read_file("total.svg");
  ASSERT_EQ(run_map("\"Traffic TotalLinkVol.csv\" --output total.svg").status, 0);
  EXPECT_EQ(read_file("total.svg"), first) << "the map must not change from run to run";
  EXPECT_EQ(first, read_file(fs::path(ROUTAVA_SOURCE_DIR) / "docs" / "sample-city-map.svg"))
      << "the README shows an old map: copy out/city/map.svg of tools/run-example.sh to docs/sample-city-map.svg";

  r = run_map("--routes \"Traffic Assign02PT.csv\"");
  ASSERT_EQ(r.status, 0) << r.err;
  check_map("Traffic Assign02PT.svg", links_with_coordinates(), true);

  // A node without coordinates: its links are counted and left out, not drawn at (0, 0).
  const std::string nodes = read_file("Node.csv");
  const std::string without = std::regex_replace(nodes, std::regex("\n1405,[^\n]*"), "");
  ASSERT_NE(without, nodes);
  test::write_file("Node.csv", without);
  const std::set<int> left = links_with_coordinates();
  r = run_map("\"Traffic Assign03VT.csv\" --output vt.svg");
  ASSERT_EQ(r.status, 0) << r.err;
  const size_t all = records("Traffic Assign03VT.csv").size();
  EXPECT_NE(r.err.find(std::to_string(all - left.size()) + " links have a node without coordinates"), std::string::npos)
      << r.err;
  check_map("vt.svg", left, false);
  test::write_file("Node.csv", nodes);

  struct Bad {
    const char* file;
    const char* find;  // a line (regex) of the file to replace, "" = remove the file
    const char* replace;
    std::string message;
  };
  const Bad bad[] = {
      {"Node.csv", "", "", "Node.csv is missing"},
      {"Node.csv", "\n1101,[^\n]*", "\n1101,0,north", "Node.csv, line 2: 'north' is not a number"},
      {"Traffic TotalLinkVol.csv", "\n[^\n]*\n$", "\n",
       "has " + std::to_string(all - 1) + " link records; Network.csv has " + std::to_string(all) + " links"},
      {"Traffic TotalLinkVol.csv", "\n 1101, 1102,", "\n 1102, 1101,", "belong to another network"},
      {"Traffic TotalLinkVol.csv", "\n( 1101, 1102,[^,]*,[^,]*,[^,]*,[^,]*,[^,]*,)[^,]*", "\n$1*********",
       "'*********', not a number (a value too wide for its column)"},
      {"RoadPCU.txt", "", "", "RoadPCU.txt is missing"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(std::string(b.file) + " " + b.message);
    const std::string keep = read_file(b.file);
    if (*b.find) {
      const std::string changed = std::regex_replace(keep, std::regex(b.find), b.replace, std::regex_constants::format_first_only);
      ASSERT_NE(changed, keep);
      test::write_file(b.file, changed);
    } else {
      fs::remove(b.file);
    }
    test::write_file("total.svg", "an earlier map");
    r = run_map("\"Traffic TotalLinkVol.csv\" --output total.svg");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
    EXPECT_EQ(read_file("total.svg"), "an earlier map");
    EXPECT_FALSE(fs::exists("total.svg.tmp"));
    test::write_file(b.file, keep);
  }
}

}  // namespace
}  // namespace routava
