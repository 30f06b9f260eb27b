// Stage link costs and the capacity check of the main program.
#include <gtest/gtest.h>

#include <memory>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

std::unique_ptr<SharedTables> tables() { return std::make_unique<SharedTables>(); }

void road_link(SharedTables& t, int j, int a, int b, int character, int tariff, int length, int speed) {
  t.LINK(j, 1) = a;
  t.LINK(j, 2) = b;
  t.LINK(j, 3) = character;
  t.LINK(j, 6) = tariff;
  t.LINK(j, 7) = length;
  t.LINK(j, 8) = speed;
  t.NLROAD = std::max(t.NLROAD, j);
}

void net_row(NetTable& n, int r, int64_t j, int64_t from, int64_t to, int64_t imp, int64_t time, int64_t kind) {
  int64_t* row = n.row(r);
  row[0] = j;
  row[1] = from;
  row[2] = to;
  row[3] = imp;
  row[5] = time;
  row[6] = kind;
}

TEST(RoadLinkCosts, TimeTollAndGuards) {
  auto t = tables();
  road_link(*t, 1, 1, 2, 1, 0, 1000, 60);    // 100.5 -> 100
  road_link(*t, 2, 2, 3, 1, 1, 1000, 60);    // toll: (50 * 1 + 100) * 6000 / 1200 = 750
  road_link(*t, 3, 3, 4, 1, 0, 500, 0);      // no speed: never usable
  road_link(*t, 4, 4, 5, 9, 0, 20, 0);       // closed link keeps its kind 99
  road_link(*t, 5, 5, 6, 1, 150, 1000, 30);  // tariff type beyond the table: no toll
  t->TARIFF(1, 1) = 100.0f;
  t->TARIFF(1, 2) = 50.0f;
  for (int r = 1; r <= 5; ++r) net_row(t->LNKVT, r, r, r, r + 1, 7, 7, r == 4 ? 99 : 0);
  t->NLVT = 5;
  EXPECT_EQ(road_link_costs(*t, 1200.0f), 1);  // the link without speed, not the closed one
  EXPECT_EQ(t->LNKVT(1, 4), 100);
  EXPECT_EQ(t->LNKVT(1, 6), 100);
  EXPECT_EQ(t->LNKVT(2, 4), 850);
  EXPECT_EQ(t->LNKVT(2, 6), 100);
  EXPECT_EQ(t->LNKVT(3, 4), UNREACHED);
  EXPECT_EQ(t->LNKVT(4, 4), 7);
  EXPECT_EQ(t->LNKVT(5, 4), 200);
  road_link_costs(*t, 0.0f);  // no time value: tolls left out
  EXPECT_EQ(t->LNKVT(2, 4), 100);
  int32_t first = 0;
  EXPECT_EQ(links_without_tariff(*t, first), 1);  // type 150 has no row; said by the stage
  EXPECT_EQ(first, 5);
  t->TARIFF(1, 1) = -1e30f;  // a toll far out is held, not wrapped
  road_link_costs(*t, 1200.0f);
  EXPECT_EQ(t->LNKVT(2, 4), 100 - UNREACHED);
}

TEST(TransitLinkCosts, WaitsFaresAndRunningTimes) {
  auto t = tables();
  road_link(*t, 1, 101, 102, 1, 0, 600, 30);
  t->RTFREQ(1) = 10.0f;
  t->RTFARE(1, 1) = 200.0f;
  t->RTFARE(1, 2) = 30.0f;
  t->RTFREQ(2) = 6.0f;
  t->MODTAB(1, 6) = 1.0f;
  const int64_t r1 = ROUTE_BASE, r2 = 2 * ROUTE_BASE;
  net_row(t->LNKPT, 1, 0, 101, r1 + 101, 0, 400, 1);            // boarding
  net_row(t->LNKPT, 2, 0, r2 + 101, r1 + 101, 0, 0, 7);         // transfer into route 1
  net_row(t->LNKPT, 3, 1, r1 + 101, r1 + 102, 0, 100, 1);       // bus section
  net_row(t->LNKPT, 4, 1, r1 + 101, r1 + 102, 0, 150, 1);       // bus section already slower
  net_row(t->LNKPT, 5, 1, r2 + 101, r2 + 102, 0, 70, 7);        // rail section
  net_row(t->LNKPT, 6, 0, r1 + 102, 102, 1, 0, 1);              // alighting
  t->NLPT = 6;
  t->RTFARE(2, 2) = 10.0f;

  EXPECT_EQ(transit_link_costs(*t, 3, 1200.0f), 0);
  EXPECT_EQ(t->LNKPT(1, 6), 500);   // half the headway
  EXPECT_EQ(t->LNKPT(1, 4), 1500);  // plus the flat fare in time
  EXPECT_EQ(t->LNKPT(2, 4), 500);
  EXPECT_EQ(t->LNKPT(2, 6), 500);
  EXPECT_EQ(t->LNKPT(3, 6), 120);   // 600 m at 30 km/h
  EXPECT_EQ(t->LNKPT(3, 4), 210);   // plus 30 per km
  EXPECT_EQ(t->LNKPT(4, 6), 150);   // running times only grow
  EXPECT_EQ(t->LNKPT(4, 4), 240);
  EXPECT_EQ(t->LNKPT(5, 6), 70);
  EXPECT_EQ(t->LNKPT(5, 4), 100);   // 600 m * 10 * 6 / 1200 = 30
  EXPECT_EQ(t->LNKPT(6, 4), 1);

  // A later stage without time value: pure waits and running times.
  transit_link_costs(*t, 1, 0.0f);
  EXPECT_EQ(t->LNKPT(1, 4), 500);
  EXPECT_EQ(t->LNKPT(3, 4), 120);
  EXPECT_EQ(t->LNKPT(5, 4), 70);
  // Mode 1 does not reset the wait from the headway.
  t->RTFREQ(1) = 20.0f;
  transit_link_costs(*t, 1, 1200.0f);
  EXPECT_EQ(t->LNKPT(1, 6), 500);
  EXPECT_EQ(t->LNKPT(1, 4), 1500);
}

// Values far out (as fuzzing found them) are held at UNREACHED, never wrapped.
TEST(TransitLinkCosts, FarOutValuesAreHeldAtUnreached) {
  struct C {
    const char* what;
    int16_t MODEPT;
    float TVALUE, flat, per_km, headway, red;
    int row, col;  // the cost that is held
    int64_t held;
  };
  const int I = LNK_IMPEDANCE, T = LNK_TIME;
  for (C c : {C{"time value 1E-24", 1, 1e-24f, 200.0f, 30.0f, 10.0f, 1.0f, 1, I, UNREACHED},
              C{"flat fare 2E30", 1, 1200.0f, 2e30f, 30.0f, 10.0f, 1.0f, 1, I, UNREACHED},
              C{"distance fare -2E30", 1, 1200.0f, 200.0f, -2e30f, 10.0f, 1.0f, 2, I, 120 - UNREACHED},
              C{"headway 1E38, loading mode 3", 3, 1200.0f, 200.0f, 30.0f, 1e38f, 1.0f, 1, T, UNREACHED},
              C{"speed reduction 1E-30", 1, 1200.0f, 200.0f, 30.0f, 10.0f, 1e-30f, 2, T, UNREACHED}}) {
    auto t = tables();
    road_link(*t, 1, 101, 102, 1, 0, 600, 30);
    t->RTFREQ(1) = c.headway;
    t->RTFARE(1, FARE_FLAT) = c.flat;
    t->RTFARE(1, FARE_PER_KM) = c.per_km;
    t->MODTAB(1, MODE_RED) = c.red;
    net_row(t->LNKPT, 1, 0, 101, ROUTE_BASE + 101, 0, 400, 1);             // boarding
    net_row(t->LNKPT, 2, 1, ROUTE_BASE + 101, ROUTE_BASE + 102, 0, 100, 1);  // bus section
    t->NLPT = 2;
    EXPECT_GT(transit_link_costs(*t, c.MODEPT, c.TVALUE), 0) << c.what;
    EXPECT_EQ(t->LNKPT(c.row, c.col), c.held) << c.what;
    for (int r = 1; r <= 2; ++r)
      for (int col : {I, T}) EXPECT_LE(std::abs(t->LNKPT(r, col)), 2 * UNREACHED) << c.what;
  }
}

TEST(CapacityCheck, LoadAboveCapacityRemovesTheSection) {
  test::TempDir dir;
  test::Console con;
  auto t = tables();
  road_link(*t, 1, 101, 102, 1, 0, 600, 30);
  road_link(*t, 2, 102, 103, 1, 0, 600, 30);
  t->RTFREQ(1) = 10.0f;
  t->MODTAB(1, 3) = 50.0f;  // passengers per vehicle
  t->MODTAB(1, 4) = 1.0f;   // hours: capacity 50 * 60 / 10 = 300
  t->MODTAB(1, 5) = 1.0f;
  const int64_t r1 = ROUTE_BASE;
  net_row(t->LNKPT, 1, 1, r1 + 101, r1 + 102, 120, 120, 1);
  net_row(t->LNKPT, 2, 2, r1 + 102, r1 + 103, 120, 120, 1);
  t->LNKPT(1, 8) = 300;  // exactly the capacity: kept
  t->LNKPT(2, 8) = 301;
  t->NLPT = 2;
  int16_t IERR = 0;
  EXPECT_EQ(capacity_check(*t, 0, 4, IERR), 1);
  EXPECT_EQ(t->NLPT, 1);
  EXPECT_EQ(t->LNKPT(1, 8), 300);
  EXPECT_EQ(test::read_file("Transit CapacityOver04.csv"),
            "Route,O Node,D Node,Mode,Assigned PT,\n    1,    102,    103,  1,       301,\n");

  // Nothing over capacity: no file is left.
  EXPECT_EQ(capacity_check(*t, 0, 5, IERR), 0);
  EXPECT_FALSE(file_exists("Transit CapacityOver05.csv"));
  // A mode whose capacity column is 0 is never checked.
  t->MODTAB(1, 5) = 0.0f;
  t->LNKPT(1, 8) = 100000;
  EXPECT_EQ(capacity_check(*t, 0, 6, IERR), 0);
}

TEST(CapacityCheck, ListThatCannotBeCreatedIsReported) {
  test::TempDir dir;
  test::Console con;
  auto t = tables();
  road_link(*t, 1, 101, 102, 1, 0, 600, 30);
  t->RTFREQ(1) = 10.0f;
  t->MODTAB(1, 3) = 50.0f;
  t->MODTAB(1, 4) = 1.0f;
  t->MODTAB(1, 5) = 1.0f;
  net_row(t->LNKPT, 1, 1, ROUTE_BASE + 101, ROUTE_BASE + 102, 120, 120, 1);
  t->LNKPT(1, 8) = 301;
  t->NLPT = 1;
  std::filesystem::create_directory("Transit CapacityOver04.csv");  // blocks the file
  ASSERT_TRUE(open_write(LOG_UNIT, "Log.txt"));
  int16_t IERR = 0;
  EXPECT_EQ(capacity_check(*t, LOG_UNIT, 4, IERR), 1);
  close_unit(LOG_UNIT);
  EXPECT_EQ(t->NLPT, 0);
  const std::string message =
      " *** Error *** Can not create Transit CapacityOver04.csv; the sections over capacity are not listed.\n";
  EXPECT_NE(con.text().find(message), std::string::npos) << con.text();
  EXPECT_NE(test::read_file("Log.txt").find(message), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory("Transit CapacityOver04.csv"));
}

}  // namespace
}  // namespace routava
