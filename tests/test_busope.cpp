// BUSOPEINC (extra buses for the transit demand) and BUSOPEOUT ("Transit Operations.csv").
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
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

constexpr int64_t RB = ROUTE_BASE;

struct Routes {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  int16_t IERR = -1;

  Routes() {
    t->NLROAD = 4;
    for (int k = 1; k <= 4; ++k) t->LINK(k, 9) = 100;
  }
  void route(int32_t q, int16_t mode, float headway, float flat = 0.0f, float per_km = 0.0f) {
    t->RTMODE(q) = mode;
    t->RTFREQ(q) = t->RTFREQ0(q) = headway;
    t->RTFARE(q, 1) = flat;
    t->RTFARE(q, 2) = per_km;
    t->NROUTE = std::max(t->NROUTE, q);
  }
  void add(int64_t j, int64_t from, int64_t to, int64_t mode, int64_t load) {
    const int32_t r = ++t->NLPT;
    const int64_t v[8] = {j, from, to, 100, 0, 100, mode, load};
    for (int c = 1; c <= 8; ++c) t->LNKPT(r, c) = v[c - 1];
  }
  void inc() {
    Console con;
    BUSOPEINC(*t, LOG_UNIT, IERR);
  }
  void out() {
    Console con;
    BUSOPEOUT(*t, pad("Transit Operations.csv", 40), LOG_UNIT, IERR);
  }
};

// ------------------------------------------------------------ BUSOPEINC

TEST(BusOpeInc, ExtraBusesLoadTheRoadSectionsOfTheRoute) {
  struct Case {
    const char* name;
    float min_headway;
    int64_t busiest;  // largest section load of the bus route
    int32_t gain;     // PCU added to each of its road sections
  };
  // Headway 10, 50 passengers a bus, hour factor 1, 2 PCU a bus: 600 persons
  // need a headway of 5; 60 / 5 - 60 / 10 = 6 more buses, 12 PCU.
  const Case cases[] = {
      {"minimum headway 3", 3.0f, 600, 12},
      {"minimum headway 6 limits the increase", 6.0f, 600, 8},
      {"minimum headway 0: no increase", 0.0f, 600, 0},
      {"the load fits the current headway", 3.0f, 60, 0},
      {"the sections carry nobody", 3.0f, 0, 0},
      {"a minimum headway above the current one never removes buses", 12.0f, 600, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Routes r;
    r.route(1, 1, 10.0f);
    r.route(2, 7, 10.0f);
    r.t->MODTAB(1, 1) = 2.0f;
    r.t->MODTAB(1, 3) = 50.0f;
    r.t->MODTAB(1, 4) = 1.0f;
    r.t->MODTAB(1, 7) = c.min_headway;
    // A rail mode that would call for more trains; trains load no road.
    r.t->MODTAB(7, 1) = 1.0f;
    r.t->MODTAB(7, 3) = 100.0f;
    r.t->MODTAB(7, 4) = 1.0f;
    r.t->MODTAB(7, 7) = 2.0f;
    r.add(1, RB + 101, RB + 102, 1, c.busiest);
    r.add(2, RB + 102, RB + 103, 1, c.busiest / 2);
    r.add(0, 101, RB + 101, 1, c.busiest + 1000);  // a boarding row is not a section
    r.add(3, 2 * RB + 103, 2 * RB + 104, 7, 5000);
    r.inc();
    EXPECT_EQ(r.IERR, 0);
    EXPECT_EQ(r.t->LINK(1, 9), 100 + c.gain);
    EXPECT_EQ(r.t->LINK(2, 9), 100 + c.gain);
    EXPECT_EQ(r.t->LINK(3, 9), 100);
    EXPECT_EQ(r.t->LINK(4, 9), 100);
    EXPECT_EQ(r.t->RTFREQ(1), 10.0f);  // the headway itself is not changed
  }
}

// ------------------------------------------------------------ BUSOPEOUT

const char* const HEADER =
    " Route ID,Mode,Initial Headway,Final Headway,A-Node,B-Node,Max Passengers,Sections,Average Paasengers,"
    "Node,Max Get-On,Node,Max Transfer On,Node,Max Get-Off,Node,Max Transfer Off,Flat Tariff,Distance Tariff,";

TEST(BusOpeOut, RouteRecordsWithBusiestSectionAndStops) {
  TempDir dir;
  Routes r;
  r.route(1, 1, 10.0f, 2.0f, 0.5f);
  r.t->RTFREQ(1) = 8.5f;
  r.route(2, 7, 5.0f, 1.0f, 0.2f);  // carried nobody
  // route 3 is a gap in the numbering
  r.route(4, 7, 6.0f);
  r.route(5, 7, 6.0f);

  r.add(1, RB + 101, RB + 102, 1, 30);
  r.add(2, RB + 102, RB + 103, 1, 50);
  r.add(0, 101, RB + 101, 1, 30);
  r.add(0, 102, RB + 102, 1, 20);
  r.add(0, RB + 103, 103, 1, 50);
  r.add(0, RB + 102, 102, 1, 0);
  r.add(3, 2 * RB + 201, 2 * RB + 202, 7, 0);
  r.add(0, 201, 2 * RB + 201, 7, 0);
  r.add(4, 4 * RB + 401, 4 * RB + 402, 7, 20);
  r.add(0, 401, 4 * RB + 401, 7, 10);
  r.add(0, 402, 4 * RB + 402, 7, 10);  // same load: the first boarding keeps its place
  r.add(0, 4 * RB + 402, 5 * RB + 402, 7, 7);  // transfer from route 4 to route 5
  r.add(4, 5 * RB + 402, 5 * RB + 403, 7, 12345678);
  r.out();
  EXPECT_EQ(r.IERR, 0);

  const auto lines = read_lines("Transit Operations.csv");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], HEADER);
  EXPECT_EQ(lines[1],
            "    1, 1, 10.00,  8.50,  102,  103,     50,  2,     40.0,  101,     30,    0,      0,  103,     50,"
            "    0,      0,    2.0,    0.5,");
  EXPECT_EQ(lines[2],
            "    2, 7,  5.00,  5.00,    0,    0,      0,  1,      0.0,    0,      0,    0,      0,    0,      0,"
            "    0,      0,    1.0,    0.2,");
  EXPECT_EQ(lines[3],
            "    3, 0,  0.00,  0.00,    0,    0,      0,  0,      0.0,    0,      0,    0,      0,    0,      0,"
            "    0,      0,    0.0,    0.0,");
  // Route 4: boardings of 10 and 10 keep stop 401; it hands 7 on to route 5 at 402.
  const auto r4 = test::csv_fields(lines[4]);
  ASSERT_EQ(r4.size(), 19u);
  EXPECT_EQ(r4[9], "  401");
  EXPECT_EQ(r4[10], "     10");
  EXPECT_EQ(r4[15], "  402");
  EXPECT_EQ(r4[16], "      7");
  // Route 5: a load of ten million or more does not fit I7 (nor its mean F9.1).
  const auto r5 = test::csv_fields(lines[5]);
  ASSERT_EQ(r5.size(), 19u);
  EXPECT_EQ(r5[6], "*******");
  EXPECT_EQ(r5[8], "*********");
  EXPECT_EQ(r5[11], "  402");
  EXPECT_EQ(r5[12], "      7");
}

TEST(BusOpeOut, NoRoutesNoFile) {
  TempDir dir;
  Routes r;
  r.IERR = 3;
  r.out();
  EXPECT_FALSE(fs::exists("Transit Operations.csv"));
  EXPECT_EQ(r.IERR, 3);
}

}  // namespace
}  // namespace routava
