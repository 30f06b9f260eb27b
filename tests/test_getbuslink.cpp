// Transit link generation: the rows appended to LNKPT, the condition tables,
// "BusEdit2.csv" and every finding on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

using test::Console;
using test::read_file;
using test::read_lines;
using test::TempDir;
using test::write_file;

// The tables GETBUSLINK works on; LNKPT is kept small unless a test needs more.
struct Net {
  explicit Net(int lnkpt_rows = 5000) {
    t->LNKPT.resize(lnkpt_rows, LNK_COLS);
    t->NROUTE = -1;
  }
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  LinkTable& LINK = t->LINK;
  int32_t& NLROAD = t->NLROAD;
  NetTable& LNKPT = t->LNKPT;
  int32_t& NLPT = t->NLPT;
  Vec<std::string>& ODPT = t->ODPT;
  RealTable& MODTAB = t->MODTAB;
  Vec<int16_t>& RTMODE = t->RTMODE;
  Vec<float>& RTFREQ = t->RTFREQ;
  Vec<float>& RTFREQ0 = t->RTFREQ0;
  RealTable& RTFARE = t->RTFARE;
  int32_t& NROUTE = t->NROUTE;
  int16_t IERR = -1;

  // A road link as GETNET leaves it in LINK and LNKPT.
  void road(int32_t a, int32_t b, int32_t length_m, int32_t type = 0) {
    ++NLROAD;
    LINK(NLROAD, 1) = a;
    LINK(NLROAD, 2) = b;
    LINK(NLROAD, 3) = type;
    LINK(NLROAD, 7) = length_m;
    ++NLPT;
    LNKPT(NLPT, 1) = NLROAD;
    LNKPT(NLPT, 2) = a;
    LNKPT(NLPT, 3) = b;
  }
  void both_ways(int32_t a, int32_t b, int32_t length_m) {
    road(a, b, length_m);
    road(b, a, length_m);
  }

  std::vector<std::string> run(int16_t MODEPT = 1, float TVALUE = 0.0f, int LOG = 0) {
    FileNames fn;
    for (auto& s : fn) s = pad("", 40);
    fn[1] = pad("BusEdit.csv", 40);
    fn[2] = pad("BusFare.csv", 40);
    fn[3] = pad("PTOD.txt", 40);
    fn[4] = pad("ModePCU.txt", 40);
    Settings set;
    set.MODEPT = MODEPT;
    StageRecord st;
    st.TVALUE = TVALUE;
    Console con;
    GETBUSLINK(*t, set, st, fn, LOG, IERR);
    std::vector<std::string> lines = con.lines();
    // Every file the routine opened is closed again, whichever way it returned.
    EXPECT_EQ(free_unit(), 10);
    return lines;
  }
};

struct Node {
  int32_t code;
  int32_t speed;
};

// A route as the conversion writes it.
std::string route(int id, int mode, const char* freq, const std::vector<Node>& nodes) {
  char buf[120];
  std::snprintf(buf, sizeof buf, "%5d,  0,%6d,%6s,%6d,,,\n", id, mode, freq, int(nodes.size()));
  std::string s = buf;
  int seq = 0;
  for (const Node& n : nodes) {
    std::snprintf(buf, sizeof buf, "%5d,%3d,,,,%6d,%6d,\n", id, ++seq, n.code, n.speed);
    s += buf;
  }
  return s;
}

const char* const ROUTE_HEADER = "RouteID,Seq   ,Mode  ,Freq  ,NodeNo,Node  ,Speed ,\n";

void route_file(const std::string& routes) { write_file("BusEdit.csv", ROUTE_HEADER + routes); }

// PTOD.txt with one table, ModePCU.txt with modes 1, 5, 7 and 8 (PCU 2, 16 hours), no fares.
void standard_inputs() {
  write_file("PTOD.txt", "    1PT01.csv\n");
  write_file("ModePCU.txt",
             "  1  2.0  40.0  80.0  161  1.0  3.0\n"
             "  5  2.0  40.0  80.0  161  1.0  3.0\n"
             "  7  2.0  40.0  80.0  161  1.0  3.0\n"
             "  8  2.0  40.0  80.0  161  1.0  3.0\n");
}

struct Row {
  int64_t c1, c2, c3, c4, c6, c7;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << "{" << r.c1 << "," << r.c2 << "," << r.c3 << "," << r.c4 << "," << r.c6 << "," << r.c7 << "}";
}

std::vector<Row> transit_rows(const Net& net, int32_t from) {
  std::vector<Row> out;
  for (int32_t r = from + 1; r <= net.NLPT; ++r) {
    out.push_back({net.LNKPT(r, 1), net.LNKPT(r, 2), net.LNKPT(r, 3), net.LNKPT(r, 4), net.LNKPT(r, 6),
                   net.LNKPT(r, 7)});
  }
  return out;
}

bool has(const std::vector<std::string>& lines, const std::string& want) {
  return std::find(lines.begin(), lines.end(), want) != lines.end();
}

bool has_part(const std::vector<std::string>& lines, const std::string& want) {
  for (const std::string& l : lines) {
    if (l.find(want) != std::string::npos) return true;
  }
  return false;
}

// Roads 1-2 (600 m) and 2-3 (900 m) both ways; a mode-1 route 1-2-3 at 30 km/h, Freq 10.
Net three_node_example() {
  Net net;
  net.both_ways(1, 2, 600);
  net.both_ways(2, 3, 900);
  standard_inputs();
  route_file(route(1, 1, "10", {{1, 30}, {2, 30}, {3, 30}}));
  return net;
}

TEST(GetBusLink, ThreeNodeRouteGivesMainStopRowsInOrder) {
  TempDir dir;
  Net net = three_node_example();
  const std::vector<std::string> screen = net.run();
  EXPECT_EQ(net.IERR, 0);
  EXPECT_EQ(transit_rows(net, 4), (std::vector<Row>{
                                      {1, 100001, 100002, 120, 120, 1},
                                      {0, 1, 100001, 500, 500, 1},
                                      {0, 100001, 1, 1, 0, 1},
                                      {3, 100002, 100003, 180, 180, 1},
                                      {0, 2, 100002, 500, 500, 1},
                                      {0, 100002, 2, 1, 0, 1},
                                      {0, 3, 100003, 500, 500, 1},
                                      {0, 100003, 3, 1, 0, 1},
                                  }));
  EXPECT_EQ(screen.back(), "  Link: Total=    12,Route=     2,Get-On=     3,Get-Off=     3,Transfer=     0");
  EXPECT_TRUE(has(screen, " Now generating bus route and dummy links..."));
  EXPECT_TRUE(has(screen, " Bus Fare is free!  No File = BusFare.csv"));
  EXPECT_FALSE(has_part(screen, "Non Fare"));
  EXPECT_EQ(read_file("BusEdit2.csv"),
            "Route,No,A-Node,B-Node,Mode,Frequency,Speed,\n"
            "    1,  1,     1,     2, 1, 10.0, 30,\n"
            "    1,  2,     2,     3, 1, 10.0, 30,\n");
  EXPECT_EQ(net.NROUTE, 1);
  EXPECT_EQ(net.RTMODE(1), 1);
  EXPECT_EQ(net.RTFREQ(1), 10.0f);
  EXPECT_EQ(net.RTFREQ0(1), 10.0f);
  EXPECT_EQ(net.ODPT(1), pad("PT01.csv", 40));
  EXPECT_EQ(net.ODPT(2), pad("", 40));
  EXPECT_EQ(net.MODTAB(1, 1), 2.0f);
  EXPECT_EQ(net.MODTAB(1, 4), 16.0f);
  EXPECT_EQ(net.MODTAB(1, 5), 1.0f);
  EXPECT_EQ(net.MODTAB(1, 7), 3.0f);
  EXPECT_EQ(net.LINK(1, 9), 0);  // MODEPT 1 pre-loads nothing
}

TEST(GetBusLink, FaresEnterImpedanceButNotTime) {
  TempDir dir;
  Net net = three_node_example();
  write_file("BusFare.csv", "Route,Flat Fare,Dist Fare\n1,200,30\n");
  net.run(1, 1200.0f);
  EXPECT_EQ(net.IERR, 0);
  const std::vector<Row> rows = transit_rows(net, 4);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0], (Row{1, 100001, 100002, 210, 120, 1}));  // 120 + 600 m x 30 / km
  EXPECT_EQ(rows[1], (Row{0, 1, 100001, 1500, 500, 1}));     // 500 + flat fare 200
  EXPECT_EQ(rows[3], (Row{3, 100002, 100003, 315, 180, 1}));  // 180 + 135
  EXPECT_EQ(rows[2].c4, 1);
  EXPECT_EQ(net.RTFARE(1, 1), 200.0f);
  EXPECT_EQ(net.RTFARE(1, 2), 30.0f);
}

TEST(GetBusLink, BusesArePreloadedOnlyWithOperationPlanModes) {
  const std::array<int32_t, 5> expected = {0, 100, 292, 292, 292};  // PCU 2 x 16 h x 60 / 10
  for (int16_t MODEPT = 1; MODEPT <= 4; ++MODEPT) {
    TempDir dir;
    Net net = three_node_example();
    net.LINK(1, 9) = 100;
    net.LINK(3, 9) = 100;
    net.run(MODEPT);
    EXPECT_EQ(net.LINK(1, 9), expected[size_t(MODEPT)]) << MODEPT;
    EXPECT_EQ(net.LINK(3, 9), expected[size_t(MODEPT)]) << MODEPT;
    EXPECT_EQ(net.LINK(2, 9), 0) << MODEPT;  // the opposite direction is not ridden
  }
}

TEST(GetBusLink, PassedRepeatedAndWalkPenalisedNodesGetNoStops) {
  TempDir dir;
  Net net;
  net.both_ways(1, 2, 600);
  net.both_ways(2, 3, 600);
  net.road(5, 6, 600, 7);
  net.road(6, 7, 600, 8);
  standard_inputs();
  route_file(route(1, 1, "10", {{1, 30}, {-2, 30}, {3, 30}}) +
             route(2, 1, "10", {{1, 30}, {2, 30}, {1, 30}}) +
             route(3, 1, "10", {{5, 30}, {6, 30}, {7, 30}}));
  const std::vector<std::string> screen = net.run();
  EXPECT_EQ(net.IERR, 0);
  EXPECT_EQ(transit_rows(net, 6), (std::vector<Row>{
                                      {1, 100001, 100002, 120, 120, 1},
                                      {0, 1, 100001, 500, 500, 1},
                                      {0, 100001, 1, 1, 0, 1},
                                      {3, 100002, 100003, 120, 120, 1},
                                      {0, 3, 100003, 500, 500, 1},
                                      {0, 100003, 3, 1, 0, 1},
                                      {1, 200001, 200002, 120, 120, 1},
                                      {0, 1, 200001, 500, 500, 1},
                                      {0, 200001, 1, 1, 0, 1},
                                      {2, 200002, 200001, 120, 120, 1},
                                      {0, 2, 200002, 500, 500, 1},
                                      {0, 200002, 2, 1, 0, 1},
                                      {5, 300005, 300006, 120, 120, 1},
                                      {6, 300006, 300007, 120, 120, 1},
                                  }));
  EXPECT_EQ(read_lines("BusEdit2.csv")[2], "    1,  2,    -2,     3, 1, 10.0, 30,");
}

// Routes 1-2-3 and 4-2-5 meet at node 2.
struct TransferCase {
  const char* name;
  int mode1, mode2;
  std::vector<Node> first;
  std::vector<Row> transfers;
};

TEST(GetBusLink, TransfersOnlyBetweenRailRoutesOfOneModeWhereTheEarlierDeparts) {
  const std::vector<TransferCase> cases = {
      {"mode 7 shared intermediate node", 7, 7, {{1, 30}, {2, 30}, {3, 30}},
       {{0, 200002, 100002, 500, 500, 7}, {0, 100002, 200002, 300, 300, 7}}},
      {"mode 5 routes", 5, 5, {{1, 30}, {2, 30}, {3, 30}}, {}},
      {"different rail modes", 7, 8, {{1, 30}, {2, 30}, {3, 30}}, {}},
      {"shared node is the first route's last", 7, 7, {{1, 30}, {2, 30}}, {}},
  };
  for (const TransferCase& c : cases) {
    TempDir dir;
    Net net;
    net.both_ways(1, 2, 600);
    net.both_ways(2, 3, 600);
    net.both_ways(4, 2, 600);
    net.both_ways(2, 5, 600);
    standard_inputs();
    route_file(route(1, c.mode1, "10", c.first) +
               route(2, c.mode2, "6", {{4, 30}, {2, 30}, {5, 30}}));
    net.run();
    EXPECT_EQ(net.IERR, 0) << c.name;
    std::vector<Row> transfers;
    for (const Row& r : transit_rows(net, 8)) {
      if (r.c1 == 0 && r.c2 > ROUTE_BASE && r.c3 > ROUTE_BASE) transfers.push_back(r);
    }
    EXPECT_EQ(transfers, c.transfers) << c.name;
    if (!c.transfers.empty()) {
      // The pair follows the GET-OFF row of the second route at the shared node.
      const std::vector<Row> rows = transit_rows(net, 8);
      const auto at = std::find(rows.begin(), rows.end(), c.transfers[0]);
      ASSERT_NE(at, rows.end());
      EXPECT_EQ(*(at - 1), (Row{0, 200002, 2, 1, 0, 7}));
    }
  }
}

TEST(GetBusLink, FlyingSegmentIsReportedWithoutStopsOnEitherSide) {
  TempDir dir;
  Net net;
  net.both_ways(1, 2, 600);
  net.road(3, 2, 600);  // only against the route's direction
  standard_inputs();
  route_file(route(1, 1, "10", {{1, 30}, {2, 30}, {3, 30}}));
  const std::vector<std::string> screen = net.run();
  EXPECT_EQ(net.IERR, 1);
  EXPECT_TRUE(has(screen, " **ERROR** Transit Route (     1) is flying   FROM     2   TO     3"));
  EXPECT_EQ(transit_rows(net, 3), (std::vector<Row>{
                                      {1, 100001, 100002, 120, 120, 1},  // before the finding
                                      {0, 1, 100001, 500, 500, 1},
                                      {0, 100001, 1, 1, 0, 1},
                                  }));
  EXPECT_EQ(screen.back(), "  Link: Total=     6,Route=     1,Get-On=     1,Get-Off=     1,Transfer=     0");
}

TEST(GetBusLink, EveryRouteErrorIsReportedInOneRun) {
  TempDir dir;
  Net net;
  net.both_ways(1, 2, 600);
  standard_inputs();
  route_file(route(1, 0, "10", {{1, 30}, {2, 30}}) + route(2, 1, "0", {{1, 30}, {2, 30}}) +
             route(3, 1, "10", {{1, 30}, {2, 0}}) + route(4, 1, "10", {{0, 30}, {2, 30}}) +
             route(5, 1, "10", {{1, 30}}));  // one node: no segment, so no stop either
  const std::vector<std::string> screen = net.run();
  // Each message, then the file, line and text it is about.
  auto said = [&](const std::string& message, const std::string& where) {
    auto it = std::find(screen.begin(), screen.end(), message);
    ASSERT_NE(it, screen.end()) << message;
    ASSERT_NE(it + 1, screen.end()) << message;
    EXPECT_EQ(*(it + 1), where) << message;
  };
  said(" ** ERROR ** non MODE data on 1", "    in BusEdit.csv, line 2: \"    1,  0,     0,    10,     2,,,\"");
  said(" ** ERROR ** non FREQ data on 2", "    in BusEdit.csv, line 5: \"    2,  0,     1,     0,     2,,,\"");
  said(" No Node Code or Speed 3 2 0", "    in BusEdit.csv, line 10: \"    3,  2,,,,     2,     0,\"");
  said(" No Node Code or Speed 4 0 30", "    in BusEdit.csv, line 12: \"    4,  1,,,,     0,    30,\"");
  said(" **ERROR** Transit Route (     4) is flying   FROM     0   TO     2",
       "    in BusEdit.csv, the route at line 11: no road link from 0 to 2 in Network.csv");
  said(" ** ERROR ** non NODES     on 5", "    in BusEdit.csv, line 14: \"    5,  0,     1,    10,     1,,,\"");
  EXPECT_EQ(net.IERR, 6);
  EXPECT_EQ(net.RTMODE(2), 1);
  EXPECT_EQ(net.RTFREQ(2), 0.0f);
  EXPECT_EQ(net.NROUTE, 5);
  EXPECT_EQ(screen.back(), "  Link: Total=    17,Route=     3,Get-On=     6,Get-Off=     6,Transfer=     0");

  // A mode ModePCU.txt does not list: said once, with the first route of it.
  Net other;
  other.both_ways(1, 2, 600);
  route_file(route(6, 2, "10", {{1, 30}, {2, 30}}) + route(7, 2, "10", {{1, 30}, {2, 30}}));
  const std::vector<std::string> lines = other.run();
  EXPECT_TRUE(has(lines, " *** Warning *** Mode 2 of Route 6 at line 2 of BusEdit.csv is not in ModePCU.txt;"
                         " its conditions are all 0."));
  EXPECT_FALSE(has_part(lines, "Route 7 at line"));
}

// Findings in a route file converted in this run also name the keyword-file line
// the planner wrote; a route file kept from before has no such lines.
TEST(GetBusLink, FindingsInAConvertedFileNameTheKeywordLine) {
  TempDir dir;
  Net net;
  net.both_ways(1, 2, 600);
  standard_inputs();
  write_file("BusInput.txt",
             "LINE      \"No mode\",F=10,O=F\n"
             "N=1,2 S=30\n"
             "LINE      \"Flies\",M=1,F=10,O=N\n"
             "N=1,2\n"
             "3 S=30\n");
  const FileNames names = test::conversion_names();
  Settings set;
  set.route_file_choice = 1;
  {
    Console quiet;
    GETBUSCONV(set, names, 0, &net.t->ROUTESRC);
  }
  const std::vector<std::string> screen = net.run();
  auto said = [&](const std::string& message, const std::string& in, const std::string& from) {
    auto it = std::find(screen.begin(), screen.end(), message);
    ASSERT_NE(it, screen.end()) << message;
    ASSERT_LT(it + 2, screen.end()) << message;
    EXPECT_EQ(*(it + 1), in) << message;
    EXPECT_EQ(*(it + 2), from) << message;
  };
  // Route 2 is route 1 reversed by O=F: both came from line 1.
  said(" ** ERROR ** non MODE data on 1", "    in BusEdit.csv, line 2: \"    1,  0,      ,    10,     2,,,\"",
       "    from BusInput.txt, line 1: \"LINE      \"No mode\",F=10,O=F\"");
  said(" ** ERROR ** non MODE data on 2", "    in BusEdit.csv, line 5: \"    2,  0,      ,    10,     2,,,\"",
       "    from BusInput.txt, line 1: \"LINE      \"No mode\",F=10,O=F\"");
  // The node arrived at is on the next line of the keyword file.
  said(" **ERROR** Transit Route (     3) is flying   FROM     2   TO     3",
       "    in BusEdit.csv, the route at line 8: no road link from 2 to 3 in Network.csv",
       "    from BusInput.txt, line 5: \"3 S=30\"");

  set.route_file_choice = 2;  // the converted file exists: kept, not converted again
  Console quiet;
  GETBUSCONV(set, names, 0, &net.t->ROUTESRC);
  EXPECT_TRUE(net.t->ROUTESRC.from.empty());
}

TEST(GetBusLink, FareFileDecidesWhichRoutesAreReportedWithoutFares) {
  TempDir dir;
  Net net = three_node_example();
  route_file(route(1, 1, "10", {{1, 30}, {2, 30}}) + route(2, 1, "10", {{2, 30}, {3, 30}}));
  write_file("BusFare.csv", "Route,Flat,Dist\n1 150 20\n0,0,0\n2,999,999\n");  // 0 ends the table
  const std::vector<std::string> screen = net.run();
  EXPECT_EQ(net.IERR, 0);
  EXPECT_FALSE(has(screen, " ** Non Fare data **   Route = 1"));
  EXPECT_TRUE(has(screen, " ** Non Fare data **   Route = 2"));
  EXPECT_EQ(net.RTFARE(1, 1), 150.0f);
  EXPECT_EQ(net.RTFARE(2, 1), 0.0f);
  EXPECT_FALSE(has_part(screen, "Warning"));

  // Ended at its first line, the table gives no fare at all: said.
  write_file("BusFare.csv", "Route,Flat,Dist\n0,0,0\n1 150 20\n");
  Net again = three_node_example();
  const std::vector<std::string> lines = again.run();
  EXPECT_TRUE(has(lines, " *** Warning *** BusFare.csv, line 2: the list ends at its first line (route id 0 or below);"
                         " no route has a fare."));
}

TEST(GetBusLink, FareFileFaultsAreFatalButReadingGoesOn) {
  struct Case {
    const char* fares;
    std::vector<std::string> messages;
    float fare3;
  };
  const std::vector<Case> cases = {
      {"Route,Flat,Dist\n1,100,10\nx,1,1\n3,50,5\n",
       {"  ** ERROR ** Wrong Record at    2 in " + pad("BusFare.csv", 40)}, 50.0f},
      {"1,100,10\n3,50,5\n", {" * ERROR * No Field Name at the top of BusFare.csv"}, 50.0f},
      {"", {" * ERROR * No record in BusFare.csv"}, 0.0f},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Net net = three_node_example();
    write_file("BusFare.csv", c.fares);
    const std::vector<std::string> screen = net.run();
    for (const std::string& m : c.messages) EXPECT_TRUE(has(screen, m)) << c.fares << "|" << m;
    EXPECT_GE(net.IERR, 9) << c.fares;
    EXPECT_EQ(net.RTFARE(3, 1), c.fare3) << c.fares;
    EXPECT_EQ(net.NLPT, 4) << c.fares;  // no route rows after a fatal table error
    EXPECT_FALSE(file_exists("BusEdit2.csv"));
  }
}

TEST(GetBusLink, FaresAndHeadwaysTooWideForTheOperationsColumnsAreWarned) {
  TempDir dir;
  Net net = three_node_example();
  write_file("BusFare.csv", "Route,Flat,Dist\n1,99999.9,-9999.9\n2,1.0E5,0\n3,0,-10000\n");
  route_file(route(1, 1, "999.99", {{1, 30}, {2, 30}}) + route(2, 1, "1000", {{2, 30}, {3, 30}}));
  const std::vector<std::string> screen = net.run();
  std::vector<std::string> said;
  for (const std::string& l : screen)
    if (l.find("does not fit") != std::string::npos) said.push_back(l);
  const std::string tail = " of Transit Operations.csv and prints there as asterisks.";
  EXPECT_EQ(said, (std::vector<std::string>{
                      " *** Warning *** BusFare.csv, line 3: the flat fare 100000.0 does not fit the Flat Tariff column (F7.1)" + tail,
                      " *** Warning *** BusFare.csv, line 4: the distance fare -10000.0 does not fit the Distance Tariff column (F7.1)" +
                          tail,
                      " *** Warning *** BusEdit.csv, line 5: the headway 1000.0 does not fit the Initial Headway column (F6.2)" + tail}));
  EXPECT_EQ(net.IERR, 0);
}

TEST(GetBusLink, ModeTableListingAndItsLimits) {
  TempDir dir;
  Net net = three_node_example();
  write_file("ModePCU.txt",
             "  1  2.0  40.0  80.0  161  1.0  3.0\n"
             " 11  1.5  10.0  20.0  102  0.5  1.0\n"
             "  7  3\n"  // a short line leaves the rest 0
             "  0\n"
             "  3  9.0\n");
  ASSERT_TRUE(open_write(LOG_UNIT, "Log.txt"));
  const std::vector<std::string> screen = net.run(1, 0.0f, LOG_UNIT);
  close_unit(LOG_UNIT);
  EXPECT_EQ(net.IERR, 1);
  EXPECT_TRUE(has(screen, " *** ERROR *** ModePCU.txt"));
  EXPECT_TRUE(has(screen, " The following MODE is ignored (> 10)."));
  EXPECT_TRUE(has(screen, " 11 1.50  10.0  20.0 10.2 0.50 1.00"));
  EXPECT_EQ(net.MODTAB(7, 1), 3.0f);
  EXPECT_EQ(net.MODTAB(7, 4), 0.0f);
  EXPECT_EQ(net.MODTAB(3, 1), 0.0f);  // after the mode-0 line nothing is read
  const std::vector<std::string> log = read_lines("Log.txt");
  const auto at = std::find(log.begin(), log.end(), " ModePCU.txt");
  ASSERT_NE(at, log.end());
  EXPECT_EQ(std::vector<std::string>(at, at + 9), (std::vector<std::string>{
                                                      " ModePCU.txt",
                                                      "----+----+----+----+----+----+----+",
                                                      " ID  PCU  Ave.  Max. Hr.C Red.minHd",
                                                      "  1 2.00  40.0  80.0 16.1 1.00 3.00",
                                                      " *** ERROR *** ModePCU.txt",
                                                      " The following MODE is ignored (> 10).",
                                                      " 11 1.50  10.0  20.0 10.2 0.50 1.00",
                                                      "  7 3.00   0.0   0.0  0.0 0.00 0.00",
                                                      "----+----+----+----+----+----+----+",
                                                  }));
  const auto od = std::find(log.begin(), log.end(), " PTOD.txt");
  ASSERT_NE(od, log.end());
  EXPECT_EQ(std::vector<std::string>(od, od + 5),
            (std::vector<std::string>{" PTOD.txt", "----+----+----+----+----+----+----+----+----+",
                                      "  ID Person Trip OD File", "    1" + pad("PT01.csv", 40),
                                      "----+----+----+----+----+----+----+----+----+"}));
}

TEST(GetBusLink, MissingTablesAreFatalBeforeAnyRoute) {
  struct Case {
    const char* missing;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"PTOD.txt",
       {" === SUBROUTINE GetBusLink =======", " OD File Names are unknown.", " *** ERROR *** Please set PTOD.txt",
        " Bus Fare is free!  No File = BusFare.csv"}},
      {"ModePCU.txt",
       {" === SUBROUTINE GetBusLink =======", " Mode Conditions are unknown.",
        " *** ERROR *** Please set ModePCU.txt"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Net net = three_node_example();
    std::remove(c.missing);
    const std::vector<std::string> screen = net.run();
    for (const std::string& m : c.messages) EXPECT_TRUE(has(screen, m)) << c.missing << ": " << m;
    EXPECT_EQ(net.IERR, 9) << c.missing;
    EXPECT_EQ(net.NLPT, 4) << c.missing;
    EXPECT_FALSE(file_exists("BusEdit2.csv")) << c.missing;
  }
}

// Values the tables cannot hold: reported with file and route or line, counted,
// and the run ends after the call; nothing is read or written out of bounds.
TEST(GetBusLink, ValuesBeyondTheTableLimitsAreRejected) {
  struct Case {
    const char* name;
    std::string od, fares, routes;
    std::string message;
    int16_t ierr;
  };
  std::vector<Node> long_route;
  for (int i = 0; i < 301; ++i) long_route.push_back({1 + i % 2, 30});
  const std::string good = route(2, 1, "10", {{1, 30}, {2, 30}});
  const std::vector<Case> cases = {
      {"OD id 101", "    1a.csv\n  101b.csv\n", "", good,
       " ** ERROR ** OD File ID 101 is over 100 at line 2 of PTOD.txt", 1},
      {"fare id 4001", "", "Route,Flat,Dist\n4001,5,5\n2,1,1\n", good,
       " ** ERROR ** Bus Route ID 4001 is over than Program Max.ID 4000 at line 2 of BusFare.csv", 1},
      {"route id 0", "", "", route(0, 1, "10", {{1, 30}, {2, 30}}) + good,
       " ** ERROR ** Bus Route ID 0 is not positive at line 2 of BusEdit.csv", 1},
      {"route id -3", "", "", good + route(-3, 1, "10", {{1, 30}, {2, 30}}),
       " ** ERROR ** Bus Route ID -3 is not positive at line 5 of BusEdit.csv", 1},
      {"mode 11", "", "", route(1, 11, "10", {{1, 30}, {2, 30}}) + good,
       " ** ERROR ** MODE 11 is out of 1 to 10 on Route 1 in BusEdit.csv", 1},
      {"mode -1", "", "", route(1, -1, "10", {{1, 30}, {2, 30}}) + good,
       " ** ERROR ** MODE -1 is out of 1 to 10 on Route 1 in BusEdit.csv", 1},
      {"301 nodes", "", "", route(1, 1, "10", long_route) + good,
       " ** ERROR ** Too many NODES 301 on Route 1 in BusEdit.csv: Max. = 300", 1},
      {"node 100000", "", "", route(1, 1, "10", {{1, 30}, {100000, 30}}) + good,
       " ** ERROR ** Node Code 100000 is over 99999 on Route 1 at line 4 of BusEdit.csv", 1},
      {"node -100001", "", "", route(1, 1, "10", {{-100001, 30}, {2, 30}}) + good,
       " ** ERROR ** Node Code -100001 is over 99999 on Route 1 at line 3 of BusEdit.csv", 1},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Net net;
    net.both_ways(1, 2, 600);
    standard_inputs();
    if (!c.od.empty()) write_file("PTOD.txt", c.od);
    if (!c.fares.empty()) write_file("BusFare.csv", c.fares);
    route_file(c.routes);
    const std::vector<std::string> screen = net.run();
    EXPECT_TRUE(has(screen, c.message)) << c.name;
    EXPECT_EQ(net.IERR, c.ierr) << c.name;
    // The good route 2 is still built; the rejected one is not.
    EXPECT_EQ(screen.back(), "  Link: Total=     7,Route=     1,Get-On=     2,Get-Off=     2,Transfer=     0")
        << c.name;
    EXPECT_EQ(net.LNKPT(3, 2), 200001) << c.name;
  }
}

TEST(GetBusLink, RouteIdAboveTheTableEndsAtOnce) {
  TempDir dir;
  Net net = three_node_example();
  route_file(route(1, 1, "10", {{1, 30}, {2, 30}}) + route(4001, 1, "10", {{1, 30}, {2, 30}}) +
             route(2, 1, "10", {{1, 30}, {2, 30}}));
  const std::vector<std::string> screen = net.run();
  EXPECT_TRUE(has(screen, " ** ERROR ** Bus Route ID is over than Program"));
  EXPECT_TRUE(has(screen, " Max.ID = 4000"));
  EXPECT_EQ(net.IERR, 9);
  EXPECT_FALSE(has_part(screen, "Link: Total"));
  EXPECT_EQ(net.NROUTE, 1);
  EXPECT_EQ(read_lines("BusEdit2.csv").size(), 2u);  // written up to there and closed
}

TEST(GetBusLink, FullTableEndsAtOnce) {
  TempDir dir;
  Net net(7);
  net.both_ways(1, 2, 600);
  net.both_ways(2, 3, 900);
  standard_inputs();
  route_file(route(1, 1, "10", {{1, 30}, {2, 30}, {3, 30}}));
  const std::vector<std::string> screen = net.run();
  EXPECT_TRUE(has(screen, "  LINK size      8 is over than      7"));
  EXPECT_TRUE(has(screen, " at generating TRANSIT main link of Route 1"));
  EXPECT_TRUE(has(screen, " ** Need to change Parameter LKSIZE= 7"));
  EXPECT_EQ(net.IERR, 9);
  EXPECT_EQ(net.NLPT, 7);
  EXPECT_EQ(read_lines("BusEdit2.csv").size(), 3u);  // the record comes before the check
}

TEST(GetBusLink, RouteFileFaults) {
  struct Case {
    const char* name;
    const char* content;  // nullptr: no file
    std::string message;
    bool link_line;
  };
  const std::vector<Case> cases = {
      {"missing", nullptr, " *** ERROR *** Can not find BusEdit.csv", false},
      {"empty", "", " * ERROR * No record in BusEdit.csv", false},
      {"no header", "12,45678\n    1,  0,     1,    10,     2,,,\n    1,  1,,,,     1,    30,\n    1,  2,,,,     2,    30,\n",
       " * ERROR * No Field Name at the top of BusEdit.csv", true},
      {"end inside the nodes", "RouteID\n    1,  0,     1,    10,     3,,,\n    1,  1,,,,     1,    30,\n",
       " ** ERROR ** End of file in the NODES of Route 1 in BusEdit.csv: node 2 of 3", false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Net net;
    net.both_ways(1, 2, 600);
    standard_inputs();
    if (c.content != nullptr) write_file("BusEdit.csv", c.content);
    const std::vector<std::string> screen = net.run();
    EXPECT_TRUE(has(screen, c.message)) << c.name;
    EXPECT_GE(net.IERR, 9) << c.name;
    EXPECT_EQ(has_part(screen, "Link: Total"), c.link_line) << c.name;
    EXPECT_TRUE(file_exists("BusEdit2.csv")) << c.name;
  }
}

TEST(GetBusLink, UnreadableValueIsAFatalReadErrorWithFilesClosed) {
  TempDir dir;
  Net net = three_node_example();
  route_file("    1,  0,    x1,    10,     2,,,\n");
  FileNames fn;
  for (auto& s : fn) s = pad("", 40);
  fn[1] = pad("BusEdit.csv", 40);
  fn[2] = pad("BusFare.csv", 40);
  fn[3] = pad("PTOD.txt", 40);
  fn[4] = pad("ModePCU.txt", 40);
  Console con;
  try {
    GETBUSLINK(*net.t, Settings{}, StageRecord{}, fn, 0, net.IERR);
    ADD_FAILURE() << "no read error";
  } catch (const FatalReadError& e) {
    EXPECT_NE(std::string(e.what()).find("BusEdit.csv, line 2"), std::string::npos) << e.what();
  }
  EXPECT_EQ(free_unit(), 10);
}

// ---- the indexed look-ups against a plain scan of the rules

// Rows (columns 1, 2, 3, 7 and, for transfers, 4) found by scanning every
// road link per segment and every earlier row per stop.
std::vector<std::array<int64_t, 5>> scanned_rows(const Net& road, const std::vector<std::vector<Node>>& routes,
                                                 const std::vector<int>& modes) {
  std::vector<std::array<int64_t, 5>> rows;
  for (int32_t r = 1; r <= road.NLPT; ++r) rows.push_back({road.LNKPT(r, 1), road.LNKPT(r, 2), road.LNKPT(r, 3), 0, 0});
  std::vector<int> mode_of(routes.size() + 1, 0);
  for (size_t q = 0; q < routes.size(); ++q) {
    const int64_t id = int64_t(q) + 1;
    const int mode = modes[q];
    mode_of[size_t(id)] = mode;
    const std::vector<Node>& n = routes[q];
    const size_t nl0 = rows.size();
    int64_t L = 0;
    for (size_t i = 0; i < n.size(); ++i) {
      const int64_t code = n[i].code;
      if (i + 1 < n.size()) {
        L = 0;
        for (int32_t k = 1; k <= road.NLROAD; ++k) {
          if (road.LINK(k, 1) == std::llabs(code) && road.LINK(k, 2) == std::llabs(n[i + 1].code)) {
            L = k;
            break;
          }
        }
        if (L == 0) continue;
        rows.push_back({L, id * 100000 + std::llabs(code), id * 100000 + std::llabs(n[i + 1].code), mode, 0});
      }
      bool repeated = false;
      for (size_t j = 0; j < i; ++j) repeated = repeated || n[j].code == code;
      if (L == 0 || repeated || code < 0) continue;
      rows.push_back({0, code, id * 100000 + code, mode, 0});
      rows.push_back({0, id * 100000 + code, code, mode, 0});
      if (mode < 7) continue;
      for (size_t k = 0; k < nl0; ++k) {
        const int64_t from = rows[k][1];
        const int64_t R = from / 100000;
        if (rows[k][0] > 0 && R > 0 && from - R * 100000 == code && mode_of[size_t(R)] == mode) {
          rows.push_back({0, id * 100000 + code, from, mode, 500});
          rows.push_back({0, from, id * 100000 + code, mode, 500});
        }
      }
    }
  }
  return rows;
}

TEST(GetBusLink, IndexedLookupsKeepFirstRoadRowAndRowOrder) {
  TempDir dir;
  Net net(60000);
  std::mt19937 rng(7);
  const int side = 12;  // a grid of 144 nodes, links both ways, some doubled
  auto id = [&](int x, int y) { return 1 + x + side * y; };
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      if (x + 1 < side) net.both_ways(id(x, y), id(x + 1, y), 100 + int(rng() % 900));
      if (y + 1 < side) net.both_ways(id(x, y), id(x, y + 1), 100 + int(rng() % 900));
      if (rng() % 5 == 0 && x + 1 < side) net.road(id(x, y), id(x + 1, y), 50);  // a parallel link
    }
  }
  standard_inputs();
  std::vector<std::vector<Node>> routes;
  std::vector<int> modes;
  std::string text;
  for (int q = 1; q <= 150; ++q) {
    int x = int(rng() % side), y = int(rng() % side);
    std::vector<Node> n;
    const int len = 2 + int(rng() % 20);
    for (int k = 0; k < len; ++k) {
      n.push_back({(rng() % 10 == 0 ? -1 : 1) * id(x, y), 30});
      const int dir = int(rng() % 4);
      if (dir == 0 && x + 1 < side) ++x;
      else if (dir == 1 && x > 0) --x;
      else if (dir == 2 && y + 1 < side) ++y;
      else if (dir == 3 && y > 0) --y;
      if (rng() % 25 == 0) x = int(rng() % side);  // now and then a jump: a flying segment
    }
    const int mode = std::array<int, 3>{1, 7, 8}[rng() % 3];
    routes.push_back(n);
    modes.push_back(mode);
    text += route(q, mode, "10", n);
  }
  route_file(text);
  const auto expected = scanned_rows(net, routes, modes);
  // The case must exercise what it guards: doubled road links ridden, transfers, flying segments.
  int doubled = 0, transfers = 0;
  for (const auto& e : expected) {
    if (e[0] > 0 && e[1] > ROUTE_BASE) {
      for (int32_t k = int32_t(e[0]) + 1; k <= net.NLROAD; ++k) {
        if (net.LINK(k, 1) == net.LINK(int32_t(e[0]), 1) && net.LINK(k, 2) == net.LINK(int32_t(e[0]), 2)) ++doubled;
      }
    }
    if (e[4] != 0) ++transfers;
  }
  EXPECT_GT(doubled, 0);
  EXPECT_GT(transfers, 0);
  net.run();
  EXPECT_GT(net.IERR, 0);
  ASSERT_EQ(size_t(net.NLPT), expected.size());
  for (int32_t r = 1; r <= net.NLPT; ++r) {
    const auto& e = expected[size_t(r - 1)];
    ASSERT_EQ(net.LNKPT(r, 1), e[0]) << "row " << r;
    ASSERT_EQ(net.LNKPT(r, 2), e[1]) << "row " << r;
    ASSERT_EQ(net.LNKPT(r, 3), e[2]) << "row " << r;
    if (r > net.NLROAD) {
      ASSERT_EQ(net.LNKPT(r, 7), e[3]) << "row " << r;
    }
    if (e[4] != 0) {
      ASSERT_EQ(net.LNKPT(r, 4), e[4]) << "row " << r;
    }
  }
}

// Full-table scale: the indexes that replace the linear searches must find the same rows.
TEST(GetBusLink, ThousandsOfRoutesOnAFullTableAreAllBuilt) {
  TempDir dir;
  auto net = std::make_unique<Net>(LKSIZE);
  const int side = 80;  // 6400 nodes, 25280 road links
  auto id = [&](int x, int y) { return 1 + x + side * y; };
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      if (x + 1 < side) net->both_ways(id(x, y), id(x + 1, y), 500);
      if (y + 1 < side) net->both_ways(id(x, y), id(x, y + 1), 500);
    }
  }
  standard_inputs();
  std::string text;
  for (int q = 1; q <= 3000; ++q) {
    std::vector<Node> n;
    const int y = q % side, x0 = q % 50;
    for (int x = x0; x < x0 + 25; ++x) n.push_back({id(x, y), 25});
    text += route(q, q % 100 == 0 ? 7 : 1, "10", n);  // 30 rail routes on 4 shared rows
  }
  route_file(text);
  const std::vector<std::string> screen = net->run();
  EXPECT_EQ(net->IERR, 0);
  EXPECT_EQ(screen.back(), "  Link: Total=251984,Route= 72000,Get-On= 75000,Get-Off= 75000,Transfer=  4704");
}

}  // namespace
}  // namespace routava
