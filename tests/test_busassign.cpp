// BUSASSIGN and its files: small transit networks built by hand, searched with
// the real DIJKSTRA on a table sorted by HSORT and indexed by NODESET.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;
using test::Console;
using test::read_lines;
using test::TempDir;
using test::write_file;
using Lines = std::vector<std::string>;

constexpr int64_t RB = ROUTE_BASE;

// A transit network under construction: road rows first, then route rows, as
// the network file and the route generation leave LNKPT.
struct TransitNet {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  Settings set;
  StageRecord st;
  FileNames fn;
  int16_t IERR = -1;
  Lines console;
  Lines log;

  TransitNet() {
    set.KPATH = 1;
    set.KPATHALL = 0;
    set.KIMPALL = 0;
    set.KSRCH = 0;
    st.KSTAGE = 2;
    st.KASSIGN = 2;
    for (int m = 1; m <= 10; ++m) st.KSW[size_t(m)] = 1;
    const char* names[] = {"", "Transit PathPT02.csv", "Transit Impedance02.csv", "Traffic Assign02PT.csv",
                           "Transit ScreenPT02.csv", "Transit RampPT02.csv", "Transit Error02.csv", "~Temp02"};
    for (int i = 1; i <= 7; ++i) fn[size_t(i)] = pad(names[i], 40);
  }

  // A road link; its LNKPT row carries the walking time in column 4.
  int32_t road(int64_t a, int64_t b, int32_t length_m, int64_t walk_cmin, int32_t screen = 0, int32_t ramp = 0) {
    const int32_t k = ++t->NLROAD;
    const int32_t v[11] = {int32_t(a), int32_t(b), 1, 1, 1, 0, length_m, 30, 0, screen, ramp};
    for (int c = 1; c <= 11; ++c) t->LINK(k, c) = v[c - 1];
    add_row({k, a, b, walk_cmin, 0, 0, 0, 0});
    return k;
  }
  // A two-way road link of the given walking time.
  void street(int64_t a, int64_t b, int32_t length_m, int64_t walk_cmin) {
    road(a, b, length_m, walk_cmin);
    road(b, a, length_m, walk_cmin);
  }
  int32_t link_row(int64_t a, int64_t b) const {
    for (int32_t k = 1; k <= t->NLROAD; ++k)
      if (t->LINK(k, 1) == a && t->LINK(k, 2) == b) return k;
    ADD_FAILURE() << "no road link " << a << "-" << b;
    return 0;
  }
  void route(int32_t q, int16_t mode, float flat_fare, float fare_per_km) {
    t->RTMODE(q) = mode;
    t->RTFREQ(q) = t->RTFREQ0(q) = 10.0f;
    t->RTFARE(q, 1) = flat_fare;
    t->RTFARE(q, 2) = fare_per_km;
    t->NROUTE = std::max(t->NROUTE, q);
  }
  void section(int32_t q, int64_t a, int64_t b, int64_t imp, int64_t time) {
    add_row({link_row(a, b), q * RB + a, q * RB + b, imp, 0, time, t->RTMODE(q), 0});
  }
  void get_on(int32_t q, int64_t c, int64_t imp, int64_t wait) {
    add_row({0, c, q * RB + c, imp, 0, wait, t->RTMODE(q), 0});
  }
  void get_off(int32_t q, int64_t c) { add_row({0, q * RB + c, c, 1, 0, 0, t->RTMODE(q), 0}); }
  void stop(int32_t q, int64_t c, int64_t imp, int64_t wait) {
    get_on(q, c, imp, wait);
    get_off(q, c);
  }
  void transfer(int32_t from_route, int32_t to_route, int64_t c, int64_t wait) {
    add_row({0, from_route * RB + c, to_route * RB + c, wait, 0, wait, t->RTMODE(to_route), 0});
  }
  void add_row(std::vector<int64_t> v) {
    const int32_t r = ++t->NLPT;
    for (int c = 1; c <= 8; ++c) t->LNKPT(r, c) = v[size_t(c - 1)];
  }
  int64_t load(int64_t a, int64_t b) const {
    for (int32_t r = 1; r <= t->NLPT; ++r)
      if (t->LNKPT(r, 2) == a && t->LNKPT(r, 3) == b) return t->LNKPT(r, 8);
    ADD_FAILURE() << "no row " << a << "-" << b;
    return -1;
  }

  void od(const std::string& file, const std::string& records, int id = 1) {
    write_file(file, records);
    t->ODPT(id) = pad(file, 40);
  }
  void tables(std::vector<std::pair<int16_t, float>> pairs) {
    st.NODTAB = int32_t(pairs.size());
    for (size_t k = 0; k < pairs.size(); ++k) {
      st.IODTAB[k + 1] = pairs[k].first;
      st.FODTAB[k + 1] = pairs[k].second;
    }
  }

  // `rest`, when given, receives the next keyboard line left after the call.
  void run(int32_t NZ, const std::string& keyboard = "", std::string* rest = nullptr) {
    t->NZ = NZ;
    for (int z = 1; z <= NZ; ++z) t->NCENT(z, 1) = z;
    Console con(keyboard);
    ASSERT_TRUE(open_write(LOG_UNIT, "Log.txt"));
    HSORT(t->LNKPT, t->NLPT, 8, 2);
    int16_t ierr = 0;
    NODESET(t->LNKPT, t->NLPT, *t, LOG_UNIT, ierr);
    ASSERT_LT(ierr, 9);
    BUSASSIGN(*t, set, st, fn, LOG_UNIT, IERR);
    if (rest != nullptr && !read_line(KEYBOARD, *rest)) *rest = "<end of input>";
    close_unit(LOG_UNIT);
    console = con.lines();
    log = read_lines("Log.txt");
  }
};

bool contains(const Lines& lines, const std::string& text) {
  for (const auto& l : lines)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

// The worked example: zone 1 walks to stop 101, rides route 12 (mode 1) over
// 101-102-103, gets off and walks to zone 2. Walking all the way is slower.
void worked_example(TransitNet& n) {
  n.street(1, 101, 100, 150);
  n.street(101, 102, 1000, 1500);
  n.street(102, 103, 1000, 1500);
  n.street(103, 2, 100, 150);
  n.route(12, 1, 2.0f, 0.5f);
  n.section(12, 101, 102, 210, 200);
  n.section(12, 102, 103, 210, 200);
  n.stop(12, 101, 520, 500);
  n.stop(12, 102, 520, 500);
  n.stop(12, 103, 520, 500);
}

TEST(BusAssign, WorkedExamplePathRecordsFieldByField) {
  TempDir dir;
  TransitNet n;
  worked_example(n);
  n.od("PT1.csv", "1,2,7\n");
  n.tables({{1, 100.0f}});
  n.run(2);
  EXPECT_EQ(n.IERR, 0);

  const Lines path = read_lines("Transit PathPT02.csv");
  ASSERT_EQ(path.size(), 7u);
  EXPECT_EQ(path[0], "FLAG,Link,O-Node,D-Node,Route,Mode,Next Route,Time,PT,From,To,Reverse Seq,");
  // FLAG, Link, O-Node, D-Node, Route, Mode, Next Route, Time, PT, From, To, Reverse Seq
  const std::vector<std::vector<int64_t>> expected = {
      {0, n.link_row(103, 2), 103, 2, 0, 0, 0, 150, 7, 1, 2, 1},
      {2, 0, 103, 103, 12, 1, 0, 0, 7, 1, 2, 2},
      {4, n.link_row(102, 103), 102, 103, 12, 1, 0, 200, 7, 1, 2, 3},
      {4, n.link_row(101, 102), 101, 102, 12, 1, 0, 200, 7, 1, 2, 4},
      {1, 0, 101, 101, 12, 1, 0, 500, 7, 1, 2, 5},
      {0, n.link_row(1, 101), 1, 101, 0, 0, 0, 150, 7, 1, 2, 6},
  };
  const size_t widths[] = {1, 5, 5, 5, 5, 2, 5, 6, 6, 3, 3, 3};
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto f = test::csv_fields(path[i + 1]);
    ASSERT_EQ(f.size(), 12u) << path[i + 1];
    for (size_t c = 0; c < 12; ++c) {
      EXPECT_EQ(f[c].size(), widths[c]) << "record " << i + 1 << " field " << c + 1;
      EXPECT_EQ(std::stoll(f[c]), expected[i][c]) << "record " << i + 1 << " field " << c + 1;
    }
  }

  const Lines imp = read_lines("Transit Impedance02.csv");
  ASSERT_EQ(imp.size(), 2u);
  EXPECT_EQ(imp[0],
            "O-Zone,D-Zone,PT,Impedance,Get-On,Travel Time (min.),Boarding Distance (km),Total Fare,"
            "Walking Time (min.),Waiting (min.),");
  // impedance 520 + 210 + 210; travel 500 + 200 + 200; fare 2 + 0.5 + 0.5; walk 150 + 150
  EXPECT_EQ(imp[1], "  1,  2,     7,   940, 1,   9.0,  2.00,      3,    3.0,    5.0,");

  // Every row of the path carries the 7 persons; the walk back is unused.
  EXPECT_EQ(n.load(1, 101), 7);
  EXPECT_EQ(n.load(101, 12 * RB + 101), 7);
  EXPECT_EQ(n.load(12 * RB + 101, 12 * RB + 102), 7);
  EXPECT_EQ(n.load(12 * RB + 102, 12 * RB + 103), 7);
  EXPECT_EQ(n.load(12 * RB + 103, 103), 7);
  EXPECT_EQ(n.load(103, 2), 7);
  EXPECT_EQ(n.load(101, 102), 0);
  EXPECT_EQ(n.load(12 * RB + 102, 102), 0);

  EXPECT_FALSE(fs::exists("Transit Error02.csv"));
  EXPECT_TRUE(contains(n.console, " Start of Transit Assignment"));
  EXPECT_TRUE(contains(n.console, " Assignment Zone =   1   for Traffic Assign02PT.csv"));
  EXPECT_TRUE(contains(n.log, " End of PT Assignment on Transit Modes"));
}

TEST(BusAssign, LinkVolumeFileRecordsRidersWalkersAndEmptyLinks) {
  TempDir dir;
  TransitNet n;
  worked_example(n);
  n.t->MODTAB(1, 1) = 2.0f;
  n.t->MODTAB(1, 2) = 40.0f;
  n.t->LINK(n.link_row(101, 102), 9) = 55;
  n.od("PT1.csv", "1,2,7\n");
  n.tables({{1, 100.0f}});
  n.run(2);

  const Lines vol = read_lines("Traffic Assign02PT.csv");
  ASSERT_EQ(vol.size(), size_t(n.t->NLROAD) + 1);
  std::string header =
      "O-Node,D-Node,Link character,Evaluation Group,QV type,Tariff type,Distance (m),"
      "Average Speed (Km per hour),PCU,";
  for (const char* suffix : {" person,", " PT*KM,", " PT*HOUR,"})
    for (int m = 1; m <= 10; ++m) header += std::string("MODE ") + (m < 10 ? " " : "") + std::to_string(m) + suffix;
  header += "Walking PT,";
  EXPECT_EQ(vol[0], header);

  std::string zeros;
  for (int i = 0; i < 9; ++i) zeros += "0.,";
  // Ridden by 7 persons of mode 1: 7 person-km, 7 x 2 min = 0.233 person-hours,
  // 30 km/h; 2.0 x 7 / 40 = 0.35 PCU rounds to nothing.
  EXPECT_EQ(vol[size_t(n.link_row(101, 102))],
            "  101,  102, 1, 1, 1, 0,  1000, 30,     55,      7.0," + zeros + "      7.00," + zeros +
                "      0.233," + zeros + "      0.0,");
  // Walked by 7: no riders, speed 0, thirty fields "0." and the walkers.
  std::string thirty;
  for (int i = 0; i < 30; ++i) thirty += "0.,";
  EXPECT_EQ(vol[size_t(n.link_row(1, 101))], "    1,  101, 1, 1, 1, 0,   100,  0,      0," + thirty + "      7.0,");
  EXPECT_EQ(vol[size_t(n.link_row(101, 1))], "  101,    1, 1, 1, 1, 0,   100,  0,      0," + thirty + "      0.0,");
}

TEST(BusAssign, GetOffStepNamesTheRouteBoardedNextAtTheSameStop) {
  TempDir dir;
  TransitNet n;
  n.street(1, 101, 100, 150);
  n.street(101, 102, 1000, 1500);
  n.street(102, 103, 1000, 1500);
  n.street(103, 2, 100, 150);
  n.route(5, 1, 1.0f, 0.0f);
  n.route(7, 2, 1.5f, 0.0f);
  n.section(5, 101, 102, 200, 200);
  n.stop(5, 101, 300, 300);
  n.stop(5, 102, 300, 300);
  n.section(7, 102, 103, 200, 200);
  n.stop(7, 102, 300, 300);
  n.stop(7, 103, 300, 300);
  n.od("PT1.csv", "1,2,4\n");
  n.tables({{1, 100.0f}});
  n.run(2);

  const Lines path = read_lines("Transit PathPT02.csv");
  ASSERT_EQ(path.size(), 9u);
  // walk, get-off 7, ride 7, get-on 7, get-off 5 (next 7), ride 5, get-on 5, walk
  const int64_t flag[] = {0, 2, 4, 1, 2, 4, 1, 0};
  const int64_t route[] = {0, 7, 7, 7, 5, 5, 5, 0};
  const int64_t next[] = {0, 0, 0, 0, 7, 0, 0, 0};
  const int64_t mode[] = {0, 2, 2, 2, 1, 1, 1, 0};
  for (size_t i = 0; i < 8; ++i) {
    const auto f = test::csv_fields(path[i + 1]);
    ASSERT_EQ(f.size(), 12u);
    EXPECT_EQ(std::stoll(f[0]), flag[i]) << "step " << i + 1;
    EXPECT_EQ(std::stoll(f[4]), route[i]) << "step " << i + 1;
    EXPECT_EQ(std::stoll(f[5]), mode[i]) << "step " << i + 1;
    EXPECT_EQ(std::stoll(f[6]), next[i]) << "step " << i + 1;
    EXPECT_EQ(std::stoll(f[11]), int64_t(i) + 1);
  }
  // Two boardings, both waits and both flat fares (2.5 is written as 2).
  EXPECT_EQ(read_lines("Transit Impedance02.csv")[1], "  1,  2,     4,  1000, 2,  10.0,  2.00,      2,    3.0,    6.0,");
}

TEST(BusAssign, TransferStepNamesBothRoutes) {
  TempDir dir;
  TransitNet n;
  n.street(1, 101, 100, 150);
  n.street(101, 102, 1000, 1500);
  n.street(102, 103, 1000, 1500);
  n.street(103, 2, 100, 150);
  n.route(3, 7, 0.0f, 0.0f);
  n.route(4, 7, 0.0f, 0.0f);
  n.section(3, 101, 102, 100, 100);
  n.stop(3, 101, 250, 250);
  n.section(4, 102, 103, 100, 100);
  n.stop(4, 103, 250, 250);
  n.transfer(3, 4, 102, 120);
  n.od("PT1.csv", "1,2,9\n");
  n.tables({{1, 100.0f}});
  n.run(2);

  const Lines path = read_lines("Transit PathPT02.csv");
  ASSERT_EQ(path.size(), 8u);
  // walk, get-off 4, ride 4, transfer 3 -> 4, ride 3, get-on 3, walk
  const auto t = test::csv_fields(path[4]);
  EXPECT_EQ(std::stoll(t[0]), 3);    // FLAG
  EXPECT_EQ(std::stoll(t[1]), 0);    // no road link
  EXPECT_EQ(std::stoll(t[2]), 102);  // O-Node
  EXPECT_EQ(std::stoll(t[3]), 102);  // D-Node
  EXPECT_EQ(std::stoll(t[4]), 3);    // from route 3
  EXPECT_EQ(std::stoll(t[5]), 7);
  EXPECT_EQ(std::stoll(t[6]), 4);    // onto route 4
  EXPECT_EQ(std::stoll(t[7]), 120);
  // A transfer counts as a boarding: wait 250 + 120, rides 100 + 100.
  EXPECT_EQ(read_lines("Transit Impedance02.csv")[1], "  1,  2,     9,   570, 2,   5.7,  2.00,      0,    3.0,    3.7,");
  EXPECT_EQ(n.load(3 * RB + 102, 4 * RB + 102), 9);
}

TEST(BusAssign, WalkOnlyPairHasOnlyWalkingTime) {
  TempDir dir;
  TransitNet n;
  worked_example(n);
  n.street(1, 3, 400, 600);
  n.od("PT1.csv", "1,3,2\n");
  n.tables({{1, 100.0f}});
  n.run(3);
  const Lines imp = read_lines("Transit Impedance02.csv");
  ASSERT_EQ(imp.size(), 2u);
  EXPECT_EQ(imp[1], "  1,  3,     2,     0, 0,   0.0,  0.00,      0,    6.0,    0.0,");
  const Lines path = read_lines("Transit PathPT02.csv");
  ASSERT_EQ(path.size(), 2u);
  std::string link = std::to_string(n.link_row(1, 3));
  link.insert(0, 5 - link.size(), ' ');
  EXPECT_EQ(path[1], "0," + link + ",    1,    3,    0, 0,    0,   600,     2,  1,  3,  1,");
}

// A route that stops at the origin centroid's own node: its route node shares
// the node number of the origin, but the path goes on to the boarding there.
TEST(BusAssign, RouteNodeAtTheOriginDoesNotEndThePath) {
  TempDir dir;
  TransitNet n;
  n.street(1, 102, 2000, 3000);
  n.street(102, 2, 100, 150);
  n.route(5, 1, 2.0f, 0.0f);
  n.section(5, 1, 102, 400, 400);
  n.stop(5, 1, 300, 300);
  n.stop(5, 102, 300, 300);
  n.od("PT1.csv", "1,2,3\n");
  n.tables({{1, 100.0f}});
  n.run(2);

  const Lines path = read_lines("Transit PathPT02.csv");
  ASSERT_EQ(path.size(), 5u);  // walk, get-off, ride, get-on
  EXPECT_EQ(std::stoll(test::csv_fields(path[4])[0]), 1);
  EXPECT_EQ(read_lines("Transit Impedance02.csv")[1], "  1,  2,     3,   700, 1,   7.0,  2.00,      2,    1.5,    3.0,");
  EXPECT_EQ(n.load(1, 5 * RB + 1), 3);
}

TEST(BusAssign, TripsOfSeveralTablesAreScaledAndRoundedPerRecord) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::pair<int16_t, float>> tables;
    int64_t trips;
  };
  const Case cases[] = {
      {"two tables of 5 at 50 %", {{"A.csv", "1,2,5\n"}, {"B.csv", "1 2 5\n"}}, {{1, 50.0f}, {2, 50.0f}}, 6},
      {"one record of 3 at 50 %", {{"A.csv", "1,2,3\n"}}, {{1, 50.0f}}, 2},
      {"records of one table add up", {{"A.csv", "1,2,3\n1,2,4\n"}}, {{1, 100.0f}}, 7},
      {"zones above NZ are ignored", {{"A.csv", "1,2,3\n1,9,4\n9,2,4\n"}}, {{1, 100.0f}}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TransitNet n;
    worked_example(n);
    for (size_t i = 0; i < c.files.size(); ++i) n.od(c.files[i].first, c.files[i].second, int(i) + 1);
    n.tables(c.tables);
    n.run(2);
    const Lines imp = read_lines("Transit Impedance02.csv");
    ASSERT_EQ(imp.size(), 2u);
    EXPECT_EQ(std::stoll(test::csv_fields(imp[1])[2]), c.trips);
    EXPECT_EQ(n.load(1, 101), c.trips);
  }
}

TEST(BusAssign, BadOdRecordIsReportedWithItsFileAndSkipped) {
  TempDir dir;
  TransitNet n;
  worked_example(n);
  n.od("PT1.csv", "1,2,4\n0,2,5\n1,2,1\n");
  n.tables({{1, 100.0f}});
  n.run(2);
  EXPECT_TRUE(contains(n.console, " *** Error OD pair at Record (     2)  value =    0   2      5"));
  EXPECT_TRUE(contains(n.log, " *** Error OD pair at Record (     2)  value =    0   2      5"));
  EXPECT_TRUE(contains(n.log, "PT1.csv line 2"));
  EXPECT_EQ(std::stoll(test::csv_fields(read_lines("Transit Impedance02.csv")[1])[2]), 5);
}

TEST(BusAssign, MissingOdFilePausesAndGoesOnAtEndOfInput) {
  struct Case {
    const char* keyboard;
    const char* left;  // the keyboard line after the call
  };
  const Case cases[] = {{"", "<end of input>"}, {"\nnext answer\n", "next answer"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.left);
    TempDir dir;
    TransitNet n;
    worked_example(n);
    n.t->ODPT(1) = pad("Nowhere.csv", 40);
    n.od("PT2.csv", "1,2,3\n", 2);
    n.tables({{1, 100.0f}, {2, 100.0f}});
    std::string rest;
    n.run(2, c.keyboard, &rest);
    EXPECT_EQ(rest, c.left);  // the pause takes one line, and none at the end of input
    EXPECT_TRUE(contains(n.console, " *** Error *** Not Exist OD File Nowhere.csv"));
    EXPECT_TRUE(contains(n.log, " *** Error *** Not Exist OD File Nowhere.csv"));
    // The second table is still read and assigned.
    EXPECT_EQ(std::stoll(test::csv_fields(read_lines("Transit Impedance02.csv")[1])[2]), 3);
  }
}

TEST(BusAssign, PassengerPcuIsAddedInModeOneOnlyAndNeverForRail) {
  for (int16_t MODEPT = 1; MODEPT <= 3; ++MODEPT) {
    SCOPED_TRACE("MODEPT " + std::to_string(MODEPT));
    TempDir dir;
    TransitNet n;
    worked_example(n);
    // A rail line (mode 7) from zone 3 along the same street.
    n.street(3, 101, 100, 150);
    n.route(20, 7, 0.0f, 0.0f);
    n.section(20, 101, 102, 100, 100);
    n.stop(20, 101, 600, 600);  // too long a wait for the trip from zone 1
    n.stop(20, 102, 600, 600);
    n.street(102, 4, 100, 150);
    n.set.MODEPT = MODEPT;
    n.t->MODTAB(1, 1) = 2.0f;
    n.t->MODTAB(1, 2) = 40.0f;
    n.t->MODTAB(7, 1) = 5.0f;
    n.t->MODTAB(7, 2) = 10.0f;
    const int32_t k1 = n.link_row(101, 102), k2 = n.link_row(102, 103);
    n.t->LINK(k1, 9) = 100;
    n.t->LINK(k2, 9) = 100;
    n.od("PT1.csv", "1,2,40\n3,4,50\n");
    n.tables({{1, 100.0f}});
    n.run(4);
    // 40 bus riders: 2.0 x 40 / 40 = 2 PCU; 50 rail riders on 101-102 add none.
    const int32_t gain = MODEPT == 1 ? 2 : 0;
    EXPECT_EQ(n.t->LINK(k1, 9), 100 + gain);
    EXPECT_EQ(n.t->LINK(k2, 9), 100 + gain);
    const auto rec = test::csv_fields(read_lines("Traffic Assign02PT.csv")[size_t(k1)]);
    EXPECT_EQ(std::stod(rec[9]), 40.0);   // MODE 1 persons
    EXPECT_EQ(std::stod(rec[15]), 50.0);  // MODE 7 persons
    EXPECT_EQ(std::stoll(rec[8]), 100 + gain);
  }
}

TEST(BusAssign, ZeroTripPairsFollowTheImpedanceAndPathSwitches) {
  struct Case {
    int16_t KIMPALL, KPATHALL, KSRCH;
    size_t impedance_records, path_records;
  };
  // OD: 1->2 has 3 trips, 2->1 none; origin 2 is searched only with KSRCH.
  const Case cases[] = {
      {0, 0, 0, 1, 6},
      {1, 0, 0, 1, 6},   // origin 2 has no trips and is skipped
      {1, 0, 1, 2, 6},   // 2->1 traced: impedance record with PT 0, no path
      {1, 1, 1, 2, 12},  // and its path too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "KIMPALL " << c.KIMPALL << " KPATHALL " << c.KPATHALL << " KSRCH " << c.KSRCH);
    TempDir dir;
    TransitNet n;
    worked_example(n);
    // The way back: route 13 from 103 to 101.
    n.route(13, 1, 2.0f, 0.5f);
    n.section(13, 103, 102, 210, 200);
    n.section(13, 102, 101, 210, 200);
    n.stop(13, 103, 520, 500);
    n.stop(13, 102, 520, 500);
    n.stop(13, 101, 520, 500);
    n.set.KIMPALL = c.KIMPALL;
    n.set.KPATHALL = c.KPATHALL;
    n.set.KSRCH = c.KSRCH;
    n.od("PT1.csv", "1,2,3\n");
    n.tables({{1, 100.0f}});
    n.run(2);
    const Lines imp = read_lines("Transit Impedance02.csv");
    EXPECT_EQ(imp.size(), c.impedance_records + 1);
    if (imp.size() == 3) {
      EXPECT_EQ(imp[2], "  2,  1,     0,   940, 1,   9.0,  2.00,      3,    3.0,    5.0,");
    }
    EXPECT_EQ(read_lines("Transit PathPT02.csv").size(), c.path_records + 1);
    // Zero trips load nothing.
    EXPECT_EQ(n.load(13 * RB + 103, 13 * RB + 102), 0);
  }
}

TEST(BusAssign, UnreachablePairGoesToTheErrorFile) {
  TempDir dir;
  TransitNet n;
  worked_example(n);
  n.street(3, 9, 100, 150);  // zone 3 and node 9 are cut off from the rest
  n.set.KDEBUG = 1;
  n.od("PT1.csv", "1,2,4\n1,3,5\n");
  n.tables({{1, 100.0f}});
  n.run(3);
  EXPECT_EQ(n.IERR, 1);
  const Lines err = read_lines("Transit Error02.csv");
  ASSERT_EQ(err.size(), 2u);
  EXPECT_EQ(err[0], " O zone, D zone, Could Not Assigned PT,");
  EXPECT_EQ(err[1], "   1,   3,       5,");
  EXPECT_TRUE(contains(n.console, " Node(           3) is isolated from Network"));
  // The reachable pair is assigned all the same.
  EXPECT_EQ(read_lines("Transit Impedance02.csv").size(), 2u);
}

TEST(BusAssign, OutputSwitchesDecideWhichFilesExist) {
  TempDir dir;
  TransitNet n;
  worked_example(n);
  n.set.KPATH = 0;
  n.set.KSCRN = 1;  // no link carries a screen-line number
  n.set.KRAMP = 1;  // nor a ramp number
  n.od("PT1.csv", "1,2,4\n");
  n.tables({{1, 100.0f}});
  n.run(2);
  EXPECT_FALSE(fs::exists("Transit PathPT02.csv"));
  EXPECT_FALSE(fs::exists("Transit ScreenPT02.csv"));
  EXPECT_FALSE(fs::exists("Transit RampPT02.csv"));
  EXPECT_FALSE(fs::exists("Transit Error02.csv"));
  EXPECT_TRUE(fs::exists("Transit Impedance02.csv"));
  EXPECT_TRUE(fs::exists("Traffic Assign02PT.csv"));
}

TEST(BusAssign, AnOutputThatCannotBeCreatedStopsTheRun) {
  TempDir dir;
  TransitNet n;
  worked_example(n);
  fs::create_directory("Transit Impedance02.csv");  // in the way of the file
  n.od("PT1.csv", "1,2,4\n");
  n.tables({{1, 100.0f}});
  n.run(2);
  EXPECT_EQ(n.IERR, 9);
  EXPECT_TRUE(contains(n.log, " *** Error *** Can not create the file Transit Impedance02.csv"));
  EXPECT_EQ(n.load(1, 101), 0);
  EXPECT_FALSE(fs::exists("Traffic Assign02PT.csv"));
}

TEST(BusAssign, WorkArrayThatCannotBeHadIsNamedAndNothingIsWritten) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer stops at an allocation this large instead of failing it";
#endif
  TempDir dir;
  TransitNet n;
  worked_example(n);
  n.od("PT1.csv", "1,2,4\n");
  n.tables({{1, 100.0f}});
  n.t->NZ = 30000000;  // OD(NZ,NZ) would need 3.6 PB; the arrays before it are small
  Lines screen;
  {
    Console con;
    BUSASSIGN(*n.t, n.set, n.st, n.fn, 0, n.IERR);
    screen = con.lines();
  }
  EXPECT_EQ(n.IERR, 9);
  EXPECT_EQ(screen, (Lines{" === SUBROUTINE BusAssign =======", " OD(NZ,NZ) allocation error 1"}));
  for (const auto& e : fs::directory_iterator(fs::current_path())) {
    EXPECT_EQ(e.path().filename(), "PT1.csv") << "written although the assignment could not start";
  }
  EXPECT_EQ(free_unit(), 10);
}

TEST(BusAssign, ScreenLineRecordsEveryCrossingStepWithTrips) {
  TempDir dir;
  TransitNet n;
  n.road(1, 101, 100, 150, 0);
  n.road(101, 102, 1000, 1500, 4);  // walked over
  n.road(102, 2, 100, 150, 0);
  n.road(2, 102, 100, 150, 0);
  n.road(102, 101, 1000, 1500, 4);
  n.road(101, 1, 100, 150, 0);
  n.set.KSCRN = 1;
  n.set.KIMPALL = 1;
  n.set.KSRCH = 1;
  n.od("PT1.csv", "1,2,6\n");
  n.tables({{1, 100.0f}});
  n.run(2);
  const Lines scr = read_lines("Transit ScreenPT02.csv");
  ASSERT_EQ(scr.size(), 2u);  // 2->1 is traced with no trips: no record
  EXPECT_EQ(scr[0], "Screen No,O-Zone,D-Zone,MODE,Person Trips,");
  EXPECT_EQ(scr[1], " 4,  1,  2, 0,       6,");
}

// Ramps of a bus ride: the path crosses ramp 1 then ramp 2 in the direction of travel.
// Zone 3 is reached over ramp 1 only and leaves over ramp 2 only.
void ramp_network(TransitNet& n) {
  n.road(1, 101, 100, 150);
  n.road(101, 102, 1000, 1500, 0, 1);
  n.road(102, 103, 1000, 1500);
  n.road(103, 104, 1000, 1500, 0, 2);
  n.road(104, 2, 100, 150);
  n.road(102, 3, 100, 150);
  n.road(3, 103, 100, 150);
  n.road(2, 104, 100, 150);
  n.set.KRAMP = 1;
}

TEST(BusAssign, PathOverTwoRampsWritesOneRecordInflowFirst) {
  TempDir dir;
  TransitNet n;
  ramp_network(n);
  n.od("PT1.csv", "1,2,8\n");
  n.tables({{1, 100.0f}});
  n.run(3);
  const Lines ramp = read_lines("Transit RampPT02.csv");
  ASSERT_EQ(ramp.size(), 2u);
  EXPECT_EQ(ramp[0], "Inflow Ramp No,Outflow Ramp No,MODE,Person Trips,");
  EXPECT_EQ(ramp[1], "  1,  2,  0,       8,");
}

TEST(BusAssign, PendingRampNeverPairsAcrossPairs) {
  TempDir dir;
  TransitNet n;
  ramp_network(n);
  // 1->3 leaves ramp 1 pending; 3->2 meets ramp 2 first and must not pair it with ramp 1.
  n.od("PT1.csv", "1,3,5\n3,2,6\n");
  n.tables({{1, 100.0f}});
  n.run(3);
  EXPECT_FALSE(fs::exists("Transit RampPT02.csv"));
}

// A path longer than the step table: 1200 walking links after a change from
// route 5 to route 7 near the origin.
TEST(BusAssign, PathLongerThanTheStepTableKeepsItsNextRoute) {
  TempDir dir;
  TransitNet n;
  n.road(1, 101, 100, 10);
  n.road(101, 102, 100, 10);
  n.road(102, 103, 100, 10);
  const int chain = 1200;
  int64_t prev = 103;
  for (int i = 1; i <= chain; ++i) {
    n.road(prev, 1000 + i, 10, 10);
    prev = 1000 + i;
  }
  n.road(prev, 2, 10, 10);
  n.road(2, prev, 10, 10);
  n.route(5, 1, 0.0f, 0.0f);
  n.route(7, 1, 0.0f, 0.0f);
  n.section(5, 101, 102, 1, 1);
  n.stop(5, 101, 1, 1);
  n.stop(5, 102, 1, 1);
  n.section(7, 102, 103, 1, 1);
  n.stop(7, 102, 1, 1);
  n.stop(7, 103, 1, 1);
  n.od("PT1.csv", "1,2,1\n");
  n.tables({{1, 100.0f}});
  n.run(2);
  EXPECT_EQ(n.IERR, 0);
  const Lines path = read_lines("Transit PathPT02.csv");
  const size_t steps = size_t(chain) + 1 + 3 + 4;  // walks, get-off 7, ride, get-on, get-off 5, ride, get-on, walk
  ASSERT_EQ(path.size(), steps + 1);
  const auto off5 = test::csv_fields(path[size_t(chain) + 1 + 4]);
  EXPECT_EQ(std::stoll(off5[0]), 2);
  EXPECT_EQ(std::stoll(off5[4]), 5);
  EXPECT_EQ(std::stoll(off5[6]), 7);
  EXPECT_EQ(off5[11], "***");  // step 1205 does not fit I3
  EXPECT_EQ(read_lines("Transit Impedance02.csv").size(), 2u);
  EXPECT_FALSE(fs::exists("Transit Error02.csv"));
}

TEST(BusAssign, OriginCentroidOffTheNetworkReportsItsPairs) {
  TempDir dir;
  TransitNet n;
  worked_example(n);
  n.road(101, 3, 100, 150);  // zone 3 can be reached but has no leaving link
  n.od("PT1.csv", "3,2,4\n1,2,1\n");
  n.tables({{1, 100.0f}});
  n.run(3);
  const Lines err = read_lines("Transit Error02.csv");
  ASSERT_EQ(err.size(), 2u);
  EXPECT_EQ(err[1], "   3,   2,       4,");
  EXPECT_EQ(read_lines("Transit Impedance02.csv").size(), 2u);
}

}  // namespace
}  // namespace routava
