// Three-stage road runs of the program on the real test networks, checked against an
// independent shortest-path search and against the conservation of vehicle-kilometres.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <queue>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::read_file;
using test::read_lines;

std::vector<std::string> split(const std::string& line, char sep = ',') {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}
int64_t to_int(const std::string& s) { return std::stoll(s); }
double to_real(const std::string& s) { return std::stod(s); }

struct Link {
  int64_t a, b;
  int character, qv, length_m;
};

struct Network {
  std::vector<Link> links;
  std::map<int, float> v1;  // free speed of each QV type
  int NZ = 0;
};

Network read_network() {
  Network n;
  for (const std::string& line : read_lines("Network.csv")) {
    const auto f = split(line);
    if (f.size() < 7 || to_int(f[0]) <= 0) break;
    n.links.push_back({to_int(f[0]), to_int(f[1]), int(to_int(f[2])), int(to_int(f[4])),
                       int(to_int(f[6]))});
    if (n.links.back().a <= 400) n.NZ = std::max(n.NZ, int(n.links.back().a));
  }
  for (const std::string& line : read_lines("QV.csv")) {
    const auto f = split(line);
    if (f.size() >= 2) n.v1[int(to_int(f[0]))] = float(to_real(f[1]));
  }
  return n;
}

// A plain Dijkstra over the stage-1 costs: free speed V1 of the link's QV type, time
// int(L x 6 / v + 0.5), character 9 and above closed, a link into a node that no link
// leaves unusable, centroids 1..NZ entered but never left except at the origin.
struct Reference {
  std::map<int64_t, int> index;
  std::vector<std::vector<std::pair<int, int64_t>>> out;  // (to, cost)
  std::vector<int64_t> code;
  int NZ = 0;

  explicit Reference(const Network& n) : NZ(n.NZ) {
    std::map<int64_t, bool> leaves;
    for (const Link& l : n.links) leaves[l.a] = true;
    auto node = [&](int64_t c) {
      auto [it, added] = index.emplace(c, int(code.size()));
      if (added) {
        code.push_back(c);
        out.emplace_back();
      }
      return it->second;
    };
    for (const Link& l : n.links) {
      if (l.character >= 9 || !leaves.count(l.b)) continue;
      auto v = n.v1.find(l.qv);
      const float speed = v == n.v1.end() ? 0.0f : float(int(v->second + 0.5f));
      if (!(speed > 0.0f)) continue;
      const int64_t time = int64_t(float(l.length_m) * 6.0f / speed + 0.5f);
      const int from = node(l.a);
      const int to = node(l.b);
      out[size_t(from)].push_back({to, time});
    }
  }

  // Labels of the zones 1..NZ from zone o (-1 when unreached).
  std::vector<int64_t> zones_from(int o) const {
    std::vector<int64_t> label(code.size(), INT64_MAX);
    std::vector<int64_t> result(size_t(NZ) + 1, -1);
    auto it = index.find(o);
    if (it == index.end()) return result;
    using Item = std::pair<int64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
    label[size_t(it->second)] = 0;
    q.push({0, it->second});
    while (!q.empty()) {
      auto [l, u] = q.top();
      q.pop();
      if (l != label[size_t(u)]) continue;
      const int64_t c = code[size_t(u)];
      if (c >= 1 && c <= NZ) {
        result[size_t(c)] = l;
        if (c != o) continue;  // never through a centroid
      }
      for (auto [v, w] : out[size_t(u)]) {
        if (l + w < label[size_t(v)]) {
          label[size_t(v)] = l + w;
          q.push({l + w, v});
        }
      }
    }
    return result;
  }
};

// Stage-1 demand by (o, d, type), computed from the OD files and the stage record.
using Demand = std::map<std::pair<int, int>, std::array<int64_t, 11>>;

Demand stage1_demand() {
  std::map<int, std::pair<std::string, int>> tables;  // id -> (file, type)
  for (const std::string& line : read_lines("RoadVTOD.txt")) {
    const auto f = split(line);
    if (f.size() >= 3 && to_int(f[0]) >= 1) tables[int(to_int(f[0]))] = {f[2], int(to_int(f[1]))};
  }
  const std::string rec = read_lines("Assign.txt").at(0);
  const int ntab = int(to_int(rec.substr(20, 5)));
  Demand od;
  for (int k = 1; k <= ntab; ++k) {
    const int id = int(to_int(rec.substr(size_t(20 + 5 * k), 2)));
    const float factor = float(to_real(rec.substr(size_t(22 + 5 * k), 3)));
    const auto& [file, type] = tables.at(id);
    for (const std::string& line : read_lines(file)) {
      const auto f = split(line);
      if (f.size() < 3) continue;
      const int o = int(to_int(f[0]));
      const int d = int(to_int(f[1]));
      const float n = float(to_int(f[2]));
      od[{o, d}][size_t(type)] += int64_t(n * factor / 100.0f + 0.5f);
    }
  }
  return od;
}

void check_network(const std::string& name) {
  SCOPED_TRACE(name);
  TempDir dir;
  test::copy_network(name);
  const std::string answers = read_file("answers.txt");
  ASSERT_EQ(test::run_program(answers), 0);
  const std::string console = read_file("console.out");
  EXPECT_NE(console.find(" *   The End of the Assignment      *"), std::string::npos);
  for (const char* s : {"01", "02", "03"}) {
    const std::string st(s);
    EXPECT_TRUE(fs::exists("Vehicle PathVT" + st + ".csv")) << st;
    EXPECT_TRUE(fs::exists("Vehicle Impedance" + st + ".csv")) << st;
    EXPECT_TRUE(fs::exists("Traffic Assign" + st + "VT.csv")) << st;
    EXPECT_FALSE(fs::exists("Vehicle ScreenVT" + st + ".csv")) << st;  // no Screen.csv
  }
  EXPECT_TRUE(fs::exists("Traffic TotalLinkVol.csv"));

  const Network net = read_network();
  const Reference ref(net);
  const Demand od = stage1_demand();
  std::istringstream in(answers);
  int confirm = 0, search = 0;
  in >> confirm >> search;
  const bool all_origins = search == 2;

  // Every pair of every searched origin: an impedance record with the least impedance
  // when reachable, an error record when not.
  std::map<int, std::map<int, std::vector<std::string>>> imp;
  const auto imp_lines = read_lines("Vehicle Impedance01.csv");
  for (size_t i = 1; i < imp_lines.size(); ++i) {
    const auto f = split(imp_lines[i]);
    ASSERT_EQ(f.size(), 11u) << imp_lines[i];
    imp[int(to_int(f[0]))][int(to_int(f[1]))] = f;
  }
  std::map<int, std::map<int, bool>> unreached;
  if (fs::exists("Vehicle Error01.csv")) {
    const auto err = read_lines("Vehicle Error01.csv");
    for (size_t i = 1; i < err.size(); ++i) {
      const auto f = split(err[i]);
      unreached[int(to_int(f[0]))][int(to_int(f[1]))] = true;
    }
  }
  std::vector<int64_t> generated(size_t(net.NZ) + 1, 0);
  for (const auto& [pair, v] : od)
    if (pair.first <= net.NZ && pair.second <= net.NZ)
      for (int t = 1; t <= 10; ++t) generated[size_t(pair.first)] += v[size_t(t)];
  int pairs_checked = 0;
  for (int o = 1; o <= net.NZ; ++o) {
    if (!all_origins && generated[size_t(o)] <= 0) {
      EXPECT_FALSE(imp.count(o)) << "origin " << o << " has no trips";
      continue;
    }
    const auto label = ref.zones_from(o);
    for (int d = 1; d <= net.NZ; ++d) {
      if (d == o) continue;
      if (label[size_t(d)] < 0) {
        EXPECT_TRUE(unreached[o][d]) << o << "-" << d;
        EXPECT_FALSE(imp[o].count(d)) << o << "-" << d;
        continue;
      }
      ASSERT_TRUE(imp[o].count(d)) << o << "-" << d;
      EXPECT_EQ(to_int(imp[o][d][3]), label[size_t(d)]) << o << "-" << d;
      ++pairs_checked;
    }
  }
  EXPECT_GT(pairs_checked, 0);

  // The vehicles of each path record are the stage's demand of the pair. Collect the
  // links of every loaded pair on the way.
  std::map<std::pair<int, int>, std::vector<int>> path_links;
  const auto path_lines = read_lines("Vehicle PathVT01.csv");
  for (size_t i = 1; i < path_lines.size(); ++i) {
    const auto f = split(path_lines[i]);
    ASSERT_EQ(f.size(), 18u) << path_lines[i];
    const std::pair<int, int> pair{int(to_int(f[4])), int(to_int(f[5]))};
    auto it = od.find(pair);
    ASSERT_NE(it, od.end()) << path_lines[i];  // paths are written for pairs with trips
    for (int t = 1; t <= 2; ++t)
      ASSERT_EQ(to_int(f[size_t(6 + t)]), it->second[size_t(t)]) << path_lines[i];
    path_links[pair].push_back(int(to_int(f[0])));
  }

  // A pair's distance is the length of its path's links (connectors of character 0 aside).
  auto counted_km = [&](int a) {
    const Link& l = net.links.at(size_t(a - 1));
    return l.character >= 1 ? l.length_m / 1000.0 : 0.0;
  };
  for (const auto& [pair, links] : path_links) {
    double km = 0.0;
    for (int a : links) km += counted_km(a);
    ASSERT_TRUE(imp[pair.first].count(pair.second));
    EXPECT_NEAR(to_real(imp[pair.first][pair.second][6]), km, 0.0051) << pair.first << "-" << pair.second;
  }

  // Each link carries the vehicles of the pairs whose paths use it.
  const size_t nlinks = net.links.size();
  std::vector<std::array<double, 3>> volume(nlinks + 1, {0, 0, 0});
  for (const auto& [pair, links] : path_links)
    for (int a : links)
      for (int t = 1; t <= 2; ++t) volume[size_t(a)][size_t(t)] += double(od.at(pair)[size_t(t)]);
  const auto link_lines = read_lines("Traffic Assign01VT.csv");
  ASSERT_EQ(link_lines.size(), nlinks + 1);
  std::array<double, 3> by_links{0, 0, 0};
  for (size_t a = 1; a <= nlinks; ++a) {
    const auto f = split(link_lines[a]);
    ASSERT_EQ(f.size(), 41u) << link_lines[a];  // 39 fields, the empty (blank) column, the end
    EXPECT_EQ(to_int(f[8]), int64_t(volume[a][1] + 2.0 * volume[a][2])) << link_lines[a];
    for (int t = 1; t <= 2; ++t) {
      const double vkm = volume[a][size_t(t)] * counted_km(int(a));
      EXPECT_NEAR(to_real(f[size_t(8 + t)]), volume[a][size_t(t)], 0.05) << link_lines[a];
      EXPECT_NEAR(to_real(f[size_t(18 + t)]), vkm, 0.005 + 1e-5 * vkm) << link_lines[a];
      by_links[size_t(t)] += to_real(f[size_t(18 + t)]);
    }
  }

  // Per type, vehicle-km over the links equals vehicles x path distance over the pairs,
  // within the rounding of the printed fields.
  for (int t = 1; t <= 2; ++t) {
    double by_pairs = 0.0;
    double vehicles = 0.0;
    for (const auto& [o, row] : imp)
      for (const auto& [d, f] : row) {
        auto it = od.find({o, d});
        if (it == od.end()) continue;
        const double v = double(it->second[size_t(t)]);
        by_pairs += v * to_real(f[6]);
        vehicles += v;
      }
    EXPECT_GT(by_links[size_t(t)], 0.0);
    const double tolerance = 0.005 * vehicles + 0.005 * double(nlinks) + 1e-5 * by_pairs;
    EXPECT_NEAR(by_links[size_t(t)], by_pairs, tolerance) << "type " << t;
  }

  // With every origin searched, a progress line for zone 1 and every fiftieth zone.
  if (all_origins) {
    int lines = 0;
    for (const std::string& l : read_lines("console.out")) {
      if (l.rfind(" Assignment Zone =", 0) != 0) continue;
      ++lines;
      const int zone = int(to_int(l.substr(18, 4)));
      EXPECT_TRUE(zone == 1 || zone % 50 == 0) << l;
    }
    EXPECT_EQ(lines, 3 * (1 + net.NZ / 50));
  }
}

TEST(RoadNetworks, SiouxFalls) { check_network("SiouxFalls"); }
TEST(RoadNetworks, Anaheim) { check_network("Anaheim"); }
TEST(RoadNetworks, Barcelona) { check_network("Barcelona"); }
TEST(RoadNetworks, Winnipeg) { check_network("Winnipeg"); }

}  // namespace
}  // namespace routava
