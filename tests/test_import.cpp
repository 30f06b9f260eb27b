// routava-import: hand-made TNTP and GMNS networks with known answers, every kind of
// bad input refused with nothing written, and the research networks run through the
// program with every pair's impedance checked against the source's free-flow times.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <queue>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::read_lines;
using test::TempDir;
using test::write_file;

// Runs the importer in the working directory; its messages go to import.out.
int run_import(const std::string& args) { return test::run_tool(ROUTAVA_IMPORT_BINARY, args, "import.out"); }

// Runs the program inside `dir` on its own answers.txt, or on `answers` when given.
int run_in(const fs::path& dir, const std::string& answers = "") {
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  const int rc = test::run_program(answers.empty() ? read_file("answers.txt") : answers);
  fs::current_path(back);
  return rc;
}

// The fields of a record, blanks around them dropped.
std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream s(line);
  std::string f;
  while (std::getline(s, f, ',')) {
    const size_t b = f.find_first_not_of(' ');
    out.push_back(b == std::string::npos ? "" : f.substr(b, f.find_last_not_of(' ') - b + 1));
  }
  return out;
}

// The impedance records of a stage: (o, d) -> fields.
std::map<std::pair<int, int>, std::vector<std::string>> impedances(const fs::path& file) {
  std::map<std::pair<int, int>, std::vector<std::string>> out;
  const auto lines = read_lines(file);
  for (size_t i = 1; i < lines.size(); ++i) {
    const auto f = fields(lines[i]);
    out[{std::stoi(f[0]), std::stoi(f[1])}] = f;
  }
  return out;
}

// The stage records of a control file, read with the program's own layout.
struct Stage {
  int32_t KSTAGE = 0, KASSIGN = 0, KHOLD = 0, NODTAB = 0, table = 0;
  float TVALUE = 0, factor = 0;
};
std::vector<Stage> stages(const fs::path& file) {
  static const Format layout = Format::parse("(I2,2I1,F6.0,10I1,I5,10(I2,F3.0))");
  std::vector<Stage> out;
  for (const std::string& line : read_lines(file)) {
    Stage s;
    int32_t ksw[10];
    EXPECT_TRUE(read_cols_text(line, layout,
                               {&s.KSTAGE, &s.KASSIGN, &s.KHOLD, &s.TVALUE, &ksw[0], &ksw[1], &ksw[2], &ksw[3],
                                &ksw[4], &ksw[5], &ksw[6], &ksw[7], &ksw[8], &ksw[9], &s.NODTAB, &s.table,
                                &s.factor}));
    if (s.KSTAGE <= 0) break;
    out.push_back(s);
  }
  return out;
}

// ---------------------------------------------------------------- worked examples

// Zone 1 is a centroid only (below the first through node); zones 2 and 3 may be
// passed and become a centroid and a junction 1000 + z; nodes 4 and 5 become 1004 and
// 1005. Lengths in miles, times in hours. The link 1-4 has no free-flow time, the
// link 4-5 a toll.
const char* const HAND_NET =
    "<NUMBER OF ZONES> 3\n<NUMBER OF NODES> 5\n<FIRST THRU NODE> 2\n<NUMBER OF LINKS> 10\n<END OF METADATA>\n"
    "~ init term capacity length fftt b power speed toll type ;\n"
    "1\t4\t1000\t0.5\t0\t0.15\t4\t0\t0\t1\t;\n"
    "4\t1\t1000\t0.5\t0\t0.15\t4\t0\t0\t1\t;\n"
    "2\t4\t2000\t1\t0.02\t0.15\t4\t0\t0\t2\t;\n"
    "4\t2\t2000\t1\t0.02\t0.15\t4\t0\t0\t2\t;\n"
    "4\t5\t3000\t2\t0.05\t0.15\t4\t0\t1.5\t3\t;\n"
    "5\t4\t3000\t2\t0.05\t0.15\t4\t0\t1.5\t3\t;\n"
    "5\t3\t2000\t1\t0.02\t0.15\t4\t0\t0\t2\t;\n"
    "3\t5\t2000\t1\t0.02\t0.15\t4\t0\t0\t2\t;\n"
    "2\t3\t1000\t1\t0.01\t1.0\t2\t0\t0\t4\t;\n";
const char* const HAND_TRIPS =
    "<NUMBER OF ZONES> 3\n<END OF METADATA>\n\nOrigin 1\n 1 : 5.0; 2 : 10.5; 3 : 20.4;\n"
    "Origin 2\n 1 : 7.49; 3 : 0.4;\nOrigin 3\n 1 : 2.5;\n";
const char* const HAND_NODES = "Node X Y ;\n1 0 0 ;\n2 1000 0 ;\n3 3000 0 ;\n4 1000 500 ;\n5 3000 5000 ;\n";

TEST(TntpImport, HandMadeNetworkGivesTheWorkedFiles) {
  TempDir dir;
  write_file("net.tntp", HAND_NET);
  write_file("trips.tntp", HAND_TRIPS);
  write_file("nodes.tntp", HAND_NODES);
  ASSERT_EQ(run_import("tntp net.tntp trips.tntp out --nodes nodes.tntp --length-unit mi --time-unit h "
                       "--time-value 60 --capacity-factor 2"),
            0)
      << read_file("import.out");

  // Lengths fitted to the whole-km/h free speeds (97 = 1.2 min at 80 km/h, 3205 m = 3 min
  // at 64 km/h); the toll-free link without time has no length and character 0.
  EXPECT_EQ(read_lines("out/Network.csv"),
            (std::vector<std::string>{"    1, 1004,0, 1, 1, 0,      0", " 1004,    1,0, 1, 1, 0,      0",
                                      " 1002, 1004,1, 2, 2, 0,   1606", " 1004, 1002,1, 2, 2, 0,   1606",
                                      " 1004, 1005,1, 3, 1, 1,   3205", " 1005, 1004,1, 3, 1, 1,   3205",
                                      " 1005, 1003,1, 2, 2, 0,   1606", " 1003, 1005,1, 2, 2, 0,   1606",
                                      " 1002, 1003,1, 4, 3, 0,   1609", "    2, 1002,0, 0, 1, 0,      0",
                                      " 1002,    2,0, 0, 1, 0,      0", "    3, 1003,0, 0, 1, 0,      0",
                                      " 1003,    3,0, 0, 1, 0,      0"}));
  // V2 = V1 / (1 + b), V3 = V1 / (1 + b 2^power), capacities doubled by the factor.
  EXPECT_EQ(read_lines("out/QV.csv"),
            (std::vector<std::string>{" 1,  64.00,  55.65,  18.82,     6000.,    12000.",
                                      " 2,  80.00,  69.57,  23.53,     4000.,     8000.",
                                      " 3, 161.00,  80.50,  32.20,     2000.,     4000."}));
  EXPECT_EQ(read_lines("out/RoadTariff.csv"), (std::vector<std::string>{" 1,      1.50, 0.0"}));
  // Half up, intrazonal and empty cells dropped.
  EXPECT_EQ(read_lines("out/OD.csv"), (std::vector<std::string>{"  1,  2,        11", "  1,  3,        20",
                                                                "  2,  1,         7", "  3,  1,         3"}));
  const auto st = stages("out/Assign.txt");
  ASSERT_EQ(st.size(), 1u);
  EXPECT_EQ(st[0].KASSIGN, 1);
  EXPECT_FLOAT_EQ(st[0].TVALUE, 60.0f);
  EXPECT_EQ(st[0].NODTAB, 1);
  EXPECT_EQ(st[0].table, 1);
  EXPECT_FLOAT_EQ(st[0].factor, 100.0f);
  EXPECT_EQ(read_lines("out/NodeCodes.csv").size(), 8u);  // header, 3 centroids, 2 junctions, 2 nodes
  EXPECT_EQ(read_lines("out/Node.csv").at(4), " 1003,      3000.000,         0.000");

  // The program's answers, worked by hand: 1-3 passes through zone 2's junction; 3-1
  // pays the toll of 1.5 at 60 an hour (150 hundredths of a minute) on top of 4.2 min.
  ASSERT_EQ(run_in("out"), 0);
  EXPECT_NE(read_file("out/console.out").find("The End of the Assignment"), std::string::npos);
  const auto imp = impedances("out/Vehicle Impedance01.csv");
  const std::map<std::pair<int, int>, std::pair<std::string, std::string>> expected = {
      {{1, 2}, {"120", "1.2"}}, {{1, 3}, {"180", "1.8"}}, {{2, 1}, {"120", "1.2"}},
      {{2, 3}, {"60", "0.6"}},  {{3, 1}, {"570", "4.2"}}, {{3, 2}, {"690", "5.4"}}};
  ASSERT_EQ(imp.size(), expected.size());
  for (const auto& [pair, want] : expected) {
    SCOPED_TRACE(std::to_string(pair.first) + "-" + std::to_string(pair.second));
    EXPECT_EQ(imp.at(pair)[3], want.first);
    EXPECT_EQ(imp.at(pair)[5], want.second);
  }
  EXPECT_EQ(imp.at({3, 1})[6], "4.81");  // 1606 m + 3205 m, the connector adds nothing
  EXPECT_EQ(imp.at({3, 1})[7], "1");     // the toll
  EXPECT_EQ(imp.at({1, 2})[2], "11");
}

// Columns in another order with extra ones; a name with a comma; zone "3" on an
// ordinary node (split) and zone "7" on a centroid; miles and mph; capacity per lane.
TEST(GmnsImport, HandMadeNetworkGivesTheWorkedFiles) {
  TempDir dir;
  write_file("node.csv",
             "name,zone_id,node_id,y_coord,node_type,x_coord\n"
             "\"Main St, north\",7,10,0,centroid,0\n,3,20,0,,4000\n,,30,0,,2000\n,,40,0,,6000\n");
  write_file("link.csv",
             "link_id,name,to_node_id,from_node_id,free_speed,length,directed,capacity,lanes,toll,geometry\n"
             "1,\"a, b\",30,10,60,1,true,,,,\"LINESTRING (0 0, 1 1)\"\n"
             "2,,10,30,60,1,TRUE,,,,\n"
             "3,,20,30,30,2,false,1000,2,,\n"
             "4,,40,20,60,1,false,,,2,\n");
  write_file("demand.csv", "volume,o_zone_id,d_zone_id\n12.5,3,7\n4.4,7,3\n9,3,3\n");
  ASSERT_EQ(run_import("gmns node.csv link.csv demand.csv out --length-unit mi --speed-unit mph --stages 40,35,25"), 0)
      << read_file("import.out");
  EXPECT_EQ(read_lines("out/Network.csv"),
            (std::vector<std::string>{"    2, 1030,1, 1, 2, 0,   1609", " 1030,    2,1, 1, 2, 0,   1609",
                                      " 1030, 1020,1, 1, 1, 0,   3203", " 1020, 1030,1, 1, 1, 0,   3203",
                                      " 1020, 1040,1, 1, 2, 1,   1609", " 1040, 1020,1, 1, 2, 1,   1609",
                                      "    1, 1020,0, 0, 1, 0,      0", " 1020,    1,0, 0, 1, 0,      0"}));
  EXPECT_EQ(read_lines("out/QV.csv"), (std::vector<std::string>{" 1,  48.00,  41.74,  14.12,     2000.,     4000.",
                                                                " 2,  97.00,  97.00,  97.00,        0.,        0."}));
  EXPECT_EQ(read_lines("out/RoadTariff.csv"), (std::vector<std::string>{" 1,      2.00, 0.0"}));
  EXPECT_EQ(read_lines("out/OD.csv"), (std::vector<std::string>{"  1,  2,        13", "  2,  1,         4"}));
  EXPECT_EQ(read_lines("out/NodeCodes.csv"),
            (std::vector<std::string>{"Source Node,Node Code,Zone,Source Zone,", "10,    2,  2,7,", "20,    1,  1,3,",
                                      "20, 1020,  0,,", "30, 1030,  0,,", "40, 1040,  0,,"}));
  const auto st = stages("out/Assign.txt");
  ASSERT_EQ(st.size(), 3u);
  EXPECT_FLOAT_EQ(st[0].factor, 40.0f);
  EXPECT_FLOAT_EQ(st[1].factor, 35.0f);
  EXPECT_FLOAT_EQ(st[2].factor, 25.0f);
  EXPECT_EQ(st[2].KSTAGE, 3);
  EXPECT_FLOAT_EQ(st[0].TVALUE, 0.0f);

  ASSERT_EQ(run_in("out"), 0);
  const auto imp = impedances("out/Vehicle Impedance01.csv");
  ASSERT_EQ(imp.size(), 2u);
  EXPECT_EQ(imp.at({1, 2})[3], "500");  // 4 min on link 3, 1 min on link 1
  EXPECT_EQ(imp.at({2, 1})[3], "500");
  EXPECT_EQ(imp.at({1, 2})[2], "5");    // 40 % of 13, half up
}

// Zone 3, the highest, has links into it only: without a link leaving it the program
// would count two zones and drop its trips without a word.
TEST(TntpImport, ZoneThatNoLinkLeavesIsCountedAndReached) {
  TempDir dir;
  write_file("net.tntp",
             "<NUMBER OF ZONES> 3\n<FIRST THRU NODE> 4\n<END OF METADATA>\n"
             "1 4 100 1 1 ;\n4 1 100 1 1 ;\n2 4 100 1 1 ;\n4 2 100 1 1 ;\n4 3 100 1 1 ;\n");
  write_file("trips.tntp", "<END OF METADATA>\nOrigin 1\n 3 : 5; 2 : 1;\nOrigin 3\n 1 : 2;\n");
  ASSERT_EQ(run_import("tntp net.tntp trips.tntp out"), 0) << read_file("import.out");
  EXPECT_EQ(read_lines("out/Network.csv").back(), "    3,    3,9, 0, 0, 0,      0");
  ASSERT_EQ(run_in("out"), 0);
  EXPECT_NE(read_file("out/console.out").find(" Number of Zones      = 3"), std::string::npos);
  const auto imp = impedances("out/Vehicle Impedance01.csv");
  ASSERT_TRUE(imp.count({1, 3}));
  EXPECT_EQ(imp.at({1, 3})[2], "5");
  EXPECT_EQ(imp.at({1, 3})[3], "200");
  // Its own trips cannot leave it, and say so.
  EXPECT_NE(read_file("out/Vehicle Error01.csv").find("   3,   1,       2,"), std::string::npos);
}

// ---------------------------------------------------------------- refusals

std::string many_links_tntp(int n) {
  std::ostringstream s;
  s << "<NUMBER OF ZONES> 1\n<FIRST THRU NODE> 2\n<END OF METADATA>\n";
  for (int i = 0; i < n; ++i) s << (i % 2 == 0 ? 1 : 2 + i) << " " << (i % 2 == 0 ? 2 + i + 1 : 1) << " 100 1 1 ;\n";
  return s.str();
}

TEST(ImportRefusals, BadInputNamesFileLineAndFieldAndWritesNothing) {
  const std::string zones401 = "<NUMBER OF ZONES> 401\n<END OF METADATA>\n1 2 100 1 1 ;\n";
  const std::string net = "<NUMBER OF ZONES> 2\n<END OF METADATA>\n1 2 100 1 1 ;\n2 1 100 1 1 ;\n";
  const std::string trips = "<NUMBER OF ZONES> 2\n<END OF METADATA>\nOrigin 1\n 2 : 5;\n";
  const std::string nodes = "node_id,zone_id\n1,1\n2,2\n";
  const std::string links = "from_node_id,to_node_id,length,free_speed\n1,2,100,50\n2,1,100,50\n";
  const std::string demand = "o_zone_id,d_zone_id,volume\n1,2,5\n";
  struct Case {
    const char* name;
    std::map<std::string, std::string> files;
    std::string args;
    std::vector<std::string> message;  // every piece must appear
  };
  const std::vector<Case> cases = {
      {"more than 400 zones", {{"n.tntp", zones401}, {"t.tntp", trips}}, "tntp n.tntp t.tntp out",
       {"n.tntp, line 1", "401 zones", "at most 400"}},
      {"more than 30000 links", {{"n.tntp", many_links_tntp(30001)}, {"t.tntp", "<END OF METADATA>\n"}},
       "tntp n.tntp t.tntp out", {"n.tntp", "30001 road links", "at most 30000"}},
      {"node id that cannot be mapped", {{"n.tntp", net + "2 x 100 1 1 ;\n"}, {"t.tntp", trips}},
       "tntp n.tntp t.tntp out", {"n.tntp, line 5", "term node \"x\""}},
      {"link naming a node not in the node file",
       {{"node.csv", nodes}, {"link.csv", links + "2,9,100,50\n"}, {"d.csv", demand}},
       "gmns node.csv link.csv d.csv out", {"link.csv, line 4", "to_node_id 9 is not a node"}},
      {"unknown unit", {{"n.tntp", net}, {"t.tntp", trips}}, "tntp n.tntp t.tntp out --length-unit furlong",
       {"--length-unit \"furlong\""}},
      {"unknown speed unit", {{"node.csv", nodes}, {"link.csv", links}, {"d.csv", demand}},
       "gmns node.csv link.csv d.csv out --speed-unit knots", {"--speed-unit \"knots\""}},
      {"trips of a zone not in the network", {{"n.tntp", net}, {"t.tntp", trips + "Origin 3\n 1 : 2;\n"}},
       "tntp n.tntp t.tntp out", {"t.tntp, line 5", "origin 3 is not a zone of the network (1..2)"}},
      {"demand of a zone not in the network", {{"node.csv", nodes}, {"link.csv", links}, {"d.csv", demand + "1,9,3\n"}},
       "gmns node.csv link.csv d.csv out", {"d.csv, line 3", "d_zone_id 9 is not a zone"}},
      {"link line too short", {{"n.tntp", net + "1 2 100\n"}, {"t.tntp", trips}}, "tntp n.tntp t.tntp out",
       {"n.tntp, line 5", "at least", "(3 fields)"}},
      {"number that is not one", {{"node.csv", nodes}, {"link.csv", links + "1,2,abc,50\n"}, {"d.csv", demand}},
       "gmns node.csv link.csv d.csv out", {"link.csv, line 4", "length \"abc\" is not a number"}},
      {"trips entry without its colon", {{"n.tntp", net}, {"t.tntp", trips + " 1 5;\n"}}, "tntp n.tntp t.tntp out",
       {"t.tntp, line 5", "\"1 5\""}},
      {"stage factor the control file cannot hold", {{"n.tntp", net}, {"t.tntp", trips}},
       "tntp n.tntp t.tntp out --stages 40,12.5", {"--stages", "\"12.5\""}},
      {"capacity QV.csv cannot hold", {{"n.tntp", net + "2 1 1e12 1 1 ;\n"}, {"t.tntp", trips}},
       "tntp n.tntp t.tntp out", {"n.tntp, line 5", "400,000,000 PCU"}},
      {"two nodes of one zone", {{"node.csv", nodes + "3,2\n"}, {"link.csv", links}, {"d.csv", demand}},
       "gmns node.csv link.csv d.csv out", {"node.csv, line 4", "zone_id 2 is already the zone of node 2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (const auto& [name, text] : c.files) write_file(name, text);
    EXPECT_EQ(run_import(c.args), 1);
    const std::string out = read_file("import.out");
    for (const std::string& piece : c.message) EXPECT_NE(out.find(piece), std::string::npos) << out;
    // Nothing at all is left beside the inputs: no OUTDIR, no temporary folder.
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(".")) entries += e.path().filename() != "import.out";
    EXPECT_EQ(entries, c.files.size());
  }

  // An OUTDIR that holds files is never touched.
  TempDir dir;
  write_file("n.tntp", net);
  write_file("t.tntp", trips);
  fs::create_directory("out");
  write_file("out/mine.txt", "keep");
  EXPECT_EQ(run_import("tntp n.tntp t.tntp out"), 1);
  EXPECT_NE(read_file("import.out").find("out: exists and is not an empty folder"), std::string::npos);
  EXPECT_EQ(read_file("out/mine.txt"), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator("out"), fs::directory_iterator()), 1);
}

// ---------------------------------------------------------------- round trip

// A plain shortest path over the source's free-flow times (minutes), zones below the
// first through node entered but never left, with the number of links on it.
struct SourceNet {
  int NZ = 0, first_thru = 1;
  std::map<int64_t, std::vector<std::pair<int64_t, double>>> out;
};

SourceNet read_source(const fs::path& file, double minutes_per_time) {
  SourceNet n;
  bool body = false;
  for (std::string line : read_lines(file)) {
    if (line.find('~') != std::string::npos) line.erase(line.find('~'));
    std::istringstream s(line);
    if (!body) {
      if (line.find("<NUMBER OF ZONES>") != std::string::npos) n.NZ = std::stoi(line.substr(line.find('>') + 1));
      if (line.find("<FIRST THRU NODE>") != std::string::npos) n.first_thru = std::stoi(line.substr(line.find('>') + 1));
      body = line.find("<END OF METADATA>") != std::string::npos;
      continue;
    }
    int64_t a = 0, b = 0;
    double cap = 0, len = 0, t = 0;
    if (s >> a >> b >> cap >> len >> t) n.out[a].push_back({b, t * minutes_per_time});
  }
  return n;
}

struct Label {
  double minutes = -1;
  int links = 0;
};

std::map<int, Label> shortest_from(const SourceNet& n, int o) {
  std::map<int64_t, Label> best;
  using Item = std::pair<double, int64_t>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
  best[o] = {0.0, 0};
  q.push({0.0, o});
  std::set<int64_t> done;
  while (!q.empty()) {
    auto [t, u] = q.top();
    q.pop();
    if (!done.insert(u).second) continue;
    if (u != o && u <= n.NZ && u < n.first_thru) continue;  // a centroid only
    auto it = n.out.find(u);
    if (it == n.out.end()) continue;
    for (auto [v, w] : it->second) {
      auto& l = best[v];
      if (l.minutes < 0 || t + w < l.minutes) {
        l = {t + w, best[u].links + 1};
        q.push({t + w, v});
      }
    }
  }
  std::map<int, Label> zones;
  for (int z = 1; z <= n.NZ; ++z)
    if (best.count(z)) zones[z] = best[z];
  return zones;
}

TEST(TntpRoundTrip, EveryPairsImpedanceIsTheShortestFreeFlowPath) {
  for (const char* name : {"SiouxFalls", "Anaheim", "Barcelona"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    const fs::path data = test::data_dir("tntp");
    const std::string base = (data / name).string();
    ASSERT_EQ(run_import("tntp \"" + base + "_net.tntp\" \"" + base + "_trips.tntp\" out"), 0)
        << read_file("import.out");
    // Paths of all pairs, to know how many links each one has.
    ASSERT_EQ(run_in("out", "1\n2\n2\n1\n2\n"), 0);
    EXPECT_NE(read_file("out/console.out").find("The End of the Assignment"), std::string::npos);
    std::map<std::pair<int, int>, int> links_on_path;
    const auto path = read_lines("out/Vehicle PathVT01.csv");
    for (size_t i = 1; i < path.size(); ++i) {
      const auto f = fields(path[i]);
      ++links_on_path[{std::stoi(f[4]), std::stoi(f[5])}];
    }
    const auto imp = impedances("out/Vehicle Impedance01.csv");
    const SourceNet src = read_source(data / (std::string(name) + "_net.tntp"), 1.0);
    size_t checked = 0;
    for (int o = 1; o <= src.NZ; ++o) {
      const auto label = shortest_from(src, o);
      for (int d = 1; d <= src.NZ; ++d) {
        if (d == o) continue;
        auto it = label.find(d);
        if (it == label.end()) {
          EXPECT_FALSE(imp.count({o, d})) << o << "-" << d;
          continue;
        }
        ASSERT_TRUE(imp.count({o, d})) << o << "-" << d;
        // Each link's time is the source's rounded to hundredths of a minute.
        const double rounding = 0.5 * std::max(it->second.links, links_on_path[{o, d}]);
        EXPECT_NEAR(std::stod(imp.at({o, d})[3]), 100.0 * it->second.minutes, rounding + 1e-6) << o << "-" << d;
        ++checked;
      }
    }
    EXPECT_GT(checked, size_t(src.NZ));
  }
}

}  // namespace
}  // namespace routava
