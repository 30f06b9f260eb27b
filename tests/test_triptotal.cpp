// TRIPTOTAL: the totals files rebuilt from the files each stage left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

using test::Console;
using test::TempDir;
using test::read_lines;
using test::write_file;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

const std::string ROAD_IMP_HEAD =
    "O-Zone,D-Zone,PCU,Impedance,(blank1),Travel Time (min.),Distance (km),Toll Tariff,(blank2),(blank3),";
const std::string PT_IMP_HEAD =
    "O-Zone,D-Zone,PT,Impedance,Get-On,Travel Time (min.),Boarding Distance (km),Total Fare,"
    "Walking Time (min.),Waiting (min.),";
const std::string LINK_HEAD = "O-Node,D-Node,Link character,Evaluation Group,QV type,Tariff type,Distance (m),"
                              "Average Speed (Km per hour),PCU,";

// Line indexes of "Traffic TotalResult.csv".
constexpr int ROAD_SPEED_ROW1 = 3;
constexpr int PT_SPEED_ROW1 = 16;
constexpr int DIST_ROW1 = 29;
constexpr int IMP_ROW1 = 50;
constexpr int RESULT_LINES = 68;

FileNames totals_names() {
  FileNames fn;
  const char* names[8] = {"",
                          "ASSIGN.txt",
                          "vehicle Impedance00.csv",
                          "Traffic Assign00VT.csv",
                          "Traffic TotalResult.csv",
                          "Traffic TotalLinkVol.csv",
                          "",
                          "~Temp00"};
  for (int i = 0; i < 8; ++i) fn[size_t(i)] = pad(names[i], 40);
  return fn;
}

// ---------------------------------------------------------------- stage files as their writers lay them out

std::string road_pair(int o, int d, int pcu, int imp_cmin, double time_min, double dist_km) {
  static const Format f = Format::parse("(I3,1H,,I3,1H,,I6,1H,,I6,1H,,1H,,F6.1,1H,,F6.2,1H,,I7,3H,,,)");
  std::string s;
  format_record(s, f, {o, d, pcu, imp_cmin, time_min, dist_km, 0});
  return s;
}

std::string transit_pair(int o, int d, int pt, int imp_cmin, double dist_km) {
  static const Format f =
      Format::parse("(I3,1H,,I3,1H,,I6,1H,,I6,1H,,I2,1H,,F6.1,1H,,F6.2,1H,,I7,1H,,F7.1,1H,,F7.1,1H,)");
  std::string s;
  format_record(s, f, {o, d, pt, imp_cmin, 1, imp_cmin / 100.0, dist_km, 200, 3.0, 2.0});
  return s;
}

struct LinkRec {
  int a, b, ch, ev, qv, tar, len, speed, pcu;
  std::array<double, 10> n{}, km{}, hr{};  // vehicles or persons by type or mode
  double walkers = 0;
};

std::string link_record(const LinkRec& r, bool transit) {
  static const Format road = Format::parse(
      "(2(I5,1H,),4(I2,1H,),I6,1H,,I3,1H,,I7,1H,,10(F9.1,1H,),10(F10.2,1H,),10(F11.3,1H,),1H,)");
  static const Format pt = Format::parse(
      "(2(I5,1H,),4(I2,1H,),I6,1H,,I3,1H,,I7,1H,,10(F9.1,1H,),10(F10.2,1H,),10(F11.3,1H,),F9.1,1H,)");
  std::vector<Out> v{r.a, r.b, r.ch, r.ev, r.qv, r.tar, r.len, r.speed, r.pcu};
  for (double x : r.n) v.emplace_back(x);
  for (double x : r.km) v.emplace_back(x);
  for (double x : r.hr) v.emplace_back(x);
  if (transit) v.emplace_back(r.walkers);
  std::string s;
  format_record(s, transit ? pt : road, v.data(), v.size());
  return s;
}

void write_lines(const std::string& name, const std::string& head, const Lines& records) {
  std::string text = head + "\n";
  for (const auto& r : records) text += r + "\n";
  write_file(name, text);
}

void write_links(const std::string& name, const std::vector<LinkRec>& links, bool transit) {
  Lines records;
  for (const auto& l : links) records.push_back(link_record(l, transit));
  write_lines(name, LINK_HEAD + "...", records);
}

void write_scratch(const std::string& name, const std::vector<std::array<int32_t, 12>>& records) {
  int u = free_unit();
  ASSERT_TRUE(open_write_binary(u, name));
  for (const auto& r : records) write_binary(u, r.data(), 12);
  close_unit(u);
}

// The tables of a run whose LINK rows 1..n have their first seven columns. One
// set serves every test, started afresh by each Links: a run's tables are large.
struct Links {
  SharedTables& t = tables();
  Links() {
    t.LINK.fill(0);
    t.NLROAD = 0;
    t.NZ = 0;
  }
  static SharedTables& tables() {
    static SharedTables shared;
    return shared;
  }
  void add(int a, int b, int ch, int ev, int qv, int tar, int len) {
    ++t.NLROAD;
    int v[7] = {a, b, ch, ev, qv, tar, len};
    for (int c = 1; c <= 7; ++c) t.LINK(t.NLROAD, c) = v[c - 1];
  }
};

struct Totals {
  int16_t IERR = -1;
  std::string console;
  Lines result;
  Lines linkvol;
};

Totals run_totals(Links& links, int16_t nstages, int32_t NZ = 2, int16_t MODEPT = 1) {
  Totals t;
  {
    Console con;
    Settings set;
    set.MODEPT = MODEPT;
    links.t.NZ = NZ;
    TRIPTOTAL(set, links.t, totals_names(), nstages, 0, t.IERR);
    t.console = con.text();
  }
  t.result = read_lines("Traffic TotalResult.csv");
  t.linkvol = read_lines("Traffic TotalLinkVol.csv");
  return t;
}

// The numbers of a CSV record (an empty field gives no number).
std::vector<double> numbers(const std::string& line) {
  std::vector<double> out;
  size_t b = 0;
  while (b < line.size()) {
    size_t e = line.find(',', b);
    if (e == std::string::npos) e = line.size();
    std::string f = line.substr(b, e - b);
    if (f.find_first_not_of(' ') != std::string::npos) out.push_back(std::stod(f));
    b = e + 1;
  }
  return out;
}

// The classes (1-based) of a table in the result file whose field `field` is not zero.
std::vector<int> classes_holding(const Lines& result, int first_row, int nclass, size_t field) {
  std::vector<int> out;
  for (int c = 1; c <= nclass; ++c) {
    std::vector<double> v = numbers(result.at(size_t(first_row + c - 1)));
    if (v.at(field) != 0.0) out.push_back(c);
  }
  return out;
}

std::string rep(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

int count_lines_with(const std::string& text, const std::string& what) {
  int n = 0;
  for (const auto& l : Console::split_lines(text))
    if (l.find(what) != std::string::npos) ++n;
  return n;
}

// One road stage 1 with a single pair 1 -> 2 (150 PCU: 100 of type 1 and 25 of type 2)
// and the links given.
void one_road_stage(const std::string& pair_record, const std::vector<LinkRec>& links) {
  write_file("Assign.txt", "0110\n");
  write_lines("Vehicle Impedance01.csv", ROAD_IMP_HEAD, {pair_record});
  write_scratch("~Temp01", {{1, 2, 100, 25, 0, 0, 0, 0, 0, 0, 0, 0}});
  write_links("Traffic Assign01VT.csv", links, false);
}

// Node codes as large as a road node may be; the totals do not use them.
LinkRec plain_link(int speed, int ch = 1) {
  LinkRec r{99998, 99999, ch, 1, 1, 0, 1000, speed, 3, {}, {}, {}, 0};
  r.n[0] = 3;
  r.km[0] = 3;
  r.hr[0] = 0.05;
  return r;
}

// The totals of that road stage on a single road link 1 -> 2 of character ch,
// 1000 m long, with the link record given, in the current directory.
Totals one_link_totals(const std::string& pair_record, const LinkRec& link, int ch = 1) {
  Links links;
  links.add(1, 2, ch, 1, 1, 0, 1000);
  one_road_stage(pair_record, {link});
  return run_totals(links, 1);
}

// ---------------------------------------------------------------- exact files

// Two links and a connector; a road stage, then a transit stage. Every total below
// was worked out by hand from the records written here.
TEST(TripTotalFiles, RoadAndTransitStagesGiveExactFiles) {
  TempDir dir;
  Links links;
  links.add(1, 3, 1, 1, 1, 0, 2000);
  links.add(3, 2, 1, 1, 2, 0, 1000);
  links.add(2, 1, 0, 9, 1, 0, 0);
  write_file("Assign.txt", "0110     00000000000    2 1100 2100\n0220     00000000000    1 1100\n00\n");

  // Stage 1, road. Pair 1->2: 148 PCU (100 of type 1, 24 of type 2), 12.5 min, 3 km;
  // pair 2->1: 80 PCU (60 and 10), 9.5 min, 2 km (class 2-4, not 0.01-2).
  write_lines("Vehicle Impedance01.csv", ROAD_IMP_HEAD,
              {road_pair(1, 2, 148, 1250, 12.5, 3.0), road_pair(2, 1, 80, 950, 9.5, 2.0)});
  write_scratch("~Temp01", {{1, 2, 100, 24, 0, 0, 0, 0, 0, 0, 0, 0}, {2, 1, 60, 10, 0, 0, 0, 0, 0, 0, 0, 0}});
  LinkRec r1{1, 3, 1, 1, 1, 0, 2000, 40, 148, {100, 24}, {200, 48}, {5, 1.2}, 0};
  // Speed 0: counted, but no vehicle-km although the file shows some, and no speed class.
  LinkRec r2{3, 2, 1, 1, 2, 0, 1000, 0, 30, {30}, {30}, {0}, 0};
  // Character 0: counted, nothing else.
  LinkRec r3{2, 1, 0, 9, 1, 0, 0, 60, 80, {60, 10}, {}, {}, 0};
  write_links("Traffic Assign01VT.csv", {r1, r2, r3}, false);

  // Stage 2, transit. Pair 1->2: 40 persons, 25 min, 5.5 km.
  write_lines("Transit Impedance02.csv", PT_IMP_HEAD, {transit_pair(1, 2, 40, 2500, 5.5)});
  LinkRec p1{1, 3, 1, 1, 1, 0, 2000, 30, 148, {40, 0, 0, 0, 0, 0, 0, 10}, {80, 0, 0, 0, 0, 0, 0, 42.5},
             {2.667, 0, 0, 0, 0, 0, 0, 0.5}, 5};  // mode 8 runs at its own 85 km/h
  LinkRec p2{3, 2, 1, 1, 2, 0, 1000, 0, 30, {0, 7, 0, 0, 0, 0, 0, 0, 3}, {0, 7, 0, 0, 0, 0, 0, 0, 3},
             {0, 0.1}, 0};  // mode 2 at speed 0, mode 9 without hours: no speed class
  LinkRec p3{2, 1, 0, 9, 1, 0, 0, 0, 80, {4}, {}, {}, 12};
  write_links("Traffic Assign02PT.csv", {p1, p2, p3}, true);

  Totals t = run_totals(links, 2);
  EXPECT_EQ(t.IERR, 0);
  EXPECT_EQ(t.console, "\n Now making total tables of the assignments.\n Please wait a little bit more...\n");
  EXPECT_FALSE(fs::exists("~Temp01"));

  auto names = [](const std::string& prefix, const std::string& suffix) {
    std::string s;
    for (int i = 1; i <= 10; ++i) s += prefix + (i < 10 ? " " : "") + std::to_string(i) + suffix;
    return s;
  };
  const std::string z16 = "             0.0,";
  const std::string z12 = "         0.0,";
  const char* speed_bounds[11] = {"  1., 10.,", " 10., 20.,", " 20., 30.,", " 30., 40.,",
                                  " 40., 50.,", " 50., 60.,", " 60., 70.,", " 70., 80.,",
                                  " 80., 90.,", " 90.,100.,", "100.,200.,"};
  const char* dist_bounds[19] = {"  0.,  2.,", "  2.,  4.,", "  4.,  6.,", "  6.,  8.,", "  8., 10.,",
                                 " 10., 15.,", " 15., 20.,", " 20., 25.,", " 25., 30.,", " 30., 35.,",
                                 " 35., 40.,", " 40., 45.,", " 45., 50.,", " 50., 60.,", " 60., 70.,",
                                 " 70., 80.,", " 80., 90.,", " 90.,100.,", "100.,999.,"};
  const char* imp_bounds[18] = {"  0., 10.,", " 10., 20.,", " 20., 30.,", " 30., 40.,", " 40., 50.,",
                                " 50., 60.,", " 60., 70.,", " 70., 80.,", " 80., 90.,", " 90.,100.,",
                                "100.,110.,", "110.,120.,", "120.,150.,", "150.,180.,", "180.,210.,",
                                "210.,240.,", "240.,300.,", "300.,999.,"};
  Lines want;
  want.push_back(" Routava  All LINK TOTAL Result,");
  want.push_back("");
  want.push_back("Speed (km per hour) From,To," + names("TYPE ", " VT,") + names("TYPE ", " VT*KM,") +
                 names("TYPE ", " VT*HOUR,") + ",");
  for (int c = 1; c <= 11; ++c) want.push_back(speed_bounds[c - 1] + rep(z16, 30));
  want[ROAD_SPEED_ROW1 + 4] = std::string(speed_bounds[4]) + "           100.0,            24.0," + rep(z16, 8) +
                              "           200.0,            48.0," + rep(z16, 8) +
                              "             5.0,             1.2," + rep(z16, 8);
  want.push_back("");
  want.push_back("Speed (km per hour) From,To," + names("MODE ", " PT,") + names("MODE ", " PT*KM,") +
                 names("MODE ", " PT*HOUR,") + ",");
  for (int c = 1; c <= 11; ++c) want.push_back(speed_bounds[c - 1] + rep(z16, 30));
  want[PT_SPEED_ROW1 + 3] = std::string(speed_bounds[3]) + "            40.0," + rep(z16, 9) +
                            "            80.0," + rep(z16, 9) + "             2.7," + rep(z16, 9);
  want[PT_SPEED_ROW1 + 8] = std::string(speed_bounds[8]) + rep(z16, 7) + "            10.0," + rep(z16, 2) +
                            rep(z16, 7) + "            42.5," + rep(z16, 2) + rep(z16, 7) +
                            "             0.5," + rep(z16, 2);
  want.push_back("");
  want.push_back("Distance (km) From,To,PT,PCU," + names("VT ", ","));
  for (int c = 1; c <= 19; ++c) want.push_back(dist_bounds[c - 1] + rep(z12, 12));
  want[DIST_ROW1 + 1] = std::string(dist_bounds[1]) + z12 + "       228.0,       160.0,        34.0," + rep(z12, 8);
  want[DIST_ROW1 + 2] = std::string(dist_bounds[2]) + "        40.0," + rep(z12, 11);
  want.push_back("");
  want.push_back("Impedance (min) From,To,PT,PCU," + names("VT ", ","));
  for (int c = 1; c <= 18; ++c) want.push_back(imp_bounds[c - 1] + rep(z12, 12));
  want[IMP_ROW1] = std::string(imp_bounds[0]) + z12 + "        80.0,        60.0,        10.0," + rep(z12, 8);
  want[IMP_ROW1 + 1] = std::string(imp_bounds[1]) + z12 + "       148.0,       100.0,        24.0," + rep(z12, 8);
  want[IMP_ROW1 + 2] = std::string(imp_bounds[2]) + "        40.0," + rep(z12, 11);
  ASSERT_EQ(want.size(), size_t(RESULT_LINES));
  EXPECT_EQ(t.result, want);

  const std::string v0 = "      0.0,", k0 = "      0.00,", h0 = "      0.000,";
  Lines vol;
  vol.push_back("Origin Node,Dest Node,Link character,Evaluation Group,QV type,Tariff type,Distance (m)," +
                names("TYPE ", " VT,") + names("TYPE ", " VT*KM,") + names("TYPE ", " VT*HOUR,") +
                names("Mode ", " PT,") + names("Mode ", " PT*KM,") + names("Mode ", " PT*HOUR,") + "Walker,");
  vol.push_back("    1,    3, 1, 1, 1, 0,  2000,    100.0,     24.0," + rep(v0, 8) + "    200.00,     48.00," +
                rep(k0, 8) + "      5.000,      1.200," + rep(h0, 8) + "     40.0," + rep(v0, 6) + "     10.0," +
                rep(v0, 2) + "     80.00," + rep(k0, 6) + "     42.50," + rep(k0, 2) + "      2.667," +
                rep(h0, 6) + "      0.500," + rep(h0, 2) + "      5.0,");
  vol.push_back("    3,    2, 1, 1, 2, 0,  1000,     30.0," + rep(v0, 9) + rep(k0, 10) + rep(h0, 10) + v0 +
                "      7.0," + rep(v0, 6) + "      3.0," + v0 + k0 + "      7.00," + rep(k0, 6) + "      3.00," +
                k0 + h0 + "      0.100," + rep(h0, 8) + v0);
  vol.push_back("    2,    1, 0, 9, 1, 0,     0,     60.0,     10.0," + rep(v0, 8) + rep(k0, 10) + rep(h0, 10) +
                "      4.0," + rep(v0, 9) + rep(k0, 10) + rep(h0, 10) + "     12.0,");
  EXPECT_EQ(t.linkvol, vol);
}

// ---------------------------------------------------------------- class edges

struct PairCase {
  const char* what;
  int imp_cmin;
  double dist_km;
  int dist_class;  // 0: in no class
  int imp_class;
};

TEST(TripTotalClasses, PairsFallInTheirDistanceAndImpedanceClass) {
  const PairCase cases[] = {
      {"2.0 km starts class 2-4", 500, 2.00, 2, 1},
      {"just below 2 km", 500, 1.99, 1, 1},
      {"0.01 km starts class 1", 500, 0.01, 1, 1},
      {"distance 0 is in no class", 500, 0.00, 0, 1},
      {"10 km starts 10-15", 500, 10.00, 6, 1},
      {"100 km starts the last class", 500, 100.00, 19, 1},
      {"999 km is in no class", 500, 999.00, 0, 1},
      {"impedance 0 is in no class", 0, 3.0, 2, 0},
      {"0.1 min starts class 1", 10, 3.0, 2, 1},
      {"0.09 min is in no class", 9, 3.0, 2, 0},
      {"10 min starts class 2", 1000, 3.0, 2, 2},
      {"299.99 min is in 240-300", 29999, 3.0, 2, 17},
      {"300 min starts the last class", 30000, 3.0, 2, 18},
      {"999 min is in no class", 99900, 3.0, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Totals t = one_link_totals(road_pair(1, 2, 150, c.imp_cmin, 1.0, c.dist_km), plain_link(40));
    ASSERT_EQ(t.result.size(), size_t(RESULT_LINES));
    std::vector<int> want_dist, want_imp;
    if (c.dist_class) want_dist.push_back(c.dist_class);
    if (c.imp_class) want_imp.push_back(c.imp_class);
    // The pair's PCU (field 3) and its vehicles of type 1 from the scratch file (field 4) alike.
    EXPECT_EQ(classes_holding(t.result, DIST_ROW1, 19, 3), want_dist);
    EXPECT_EQ(classes_holding(t.result, DIST_ROW1, 19, 4), want_dist);
    EXPECT_EQ(classes_holding(t.result, IMP_ROW1, 18, 3), want_imp);
    EXPECT_EQ(classes_holding(t.result, IMP_ROW1, 18, 4), want_imp);
  }
}

TEST(TripTotalClasses, LinksFallInTheirSpeedClass) {
  struct Case {
    const char* what;
    int speed, ch;
    int cls;
  } cases[] = {
      {"speed 0", 0, 1, 0},       {"1 km/h starts class 1", 1, 1, 1}, {"9 km/h", 9, 1, 1},
      {"10 km/h", 10, 1, 2},      {"99 km/h", 99, 1, 10},             {"100 km/h", 100, 1, 11},
      {"199 km/h", 199, 1, 11},   {"200 km/h is in no class", 200, 1, 0},
      {"character 0", 50, 0, 0},  {"character 9 still counts", 50, 9, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Totals t = one_link_totals(road_pair(1, 2, 150, 500, 5.0, 3.0), plain_link(c.speed, c.ch), c.ch);
    ASSERT_EQ(t.result.size(), size_t(RESULT_LINES));
    std::vector<int> want;
    if (c.cls) want.push_back(c.cls);
    EXPECT_EQ(classes_holding(t.result, ROAD_SPEED_ROW1, 11, 2), want);   // vehicles of type 1
    EXPECT_EQ(classes_holding(t.result, ROAD_SPEED_ROW1, 11, 12), want);  // their km
    EXPECT_TRUE(classes_holding(t.result, PT_SPEED_ROW1, 11, 2).empty());
  }
}

// ---------------------------------------------------------------- link totals

TEST(TripTotalLinks, VehicleKmOnlyOnLinksWithSpeedAndUsableCharacter) {
  struct Case {
    const char* what;
    int speed, ch;
    double km, hours;  // of the 3 vehicles on 1000 m
  } cases[] = {
      {"usable link at 40 km/h", 40, 1, 3.0, 0.075},
      {"speed 0", 0, 1, 0.0, 0.0},
      {"character 0", 40, 0, 0.0, 0.0},
      {"character 9", 40, 9, 0.0, 0.0},
      {"character 8", 40, 8, 3.0, 0.075},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Totals t = one_link_totals(road_pair(1, 2, 150, 500, 5.0, 3.0), plain_link(c.speed, c.ch), c.ch);
    ASSERT_EQ(t.linkvol.size(), 2u);
    std::vector<double> v = numbers(t.linkvol[1]);
    ASSERT_EQ(v.size(), 68u);
    EXPECT_EQ(v[7], 3.0);  // the count always
    EXPECT_NEAR(v[17], c.km, 1e-9);
    EXPECT_NEAR(v[27], c.hours, 1e-9);
  }
}

// A road stage and a transit stage whose persons all ride mode 1 at 30 km/h.
void road_and_transit(const char* control) {
  write_file("Assign.txt", control);
  write_lines("Vehicle Impedance01.csv", ROAD_IMP_HEAD, {road_pair(1, 2, 150, 500, 5.0, 3.0)});
  write_scratch("~Temp01", {{1, 2, 100, 25, 0, 0, 0, 0, 0, 0, 0, 0}});
  write_links("Traffic Assign01VT.csv", {plain_link(40)}, false);
  LinkRec p{1, 2, 1, 1, 1, 0, 1000, 30, 3, {6}, {6}, {0.2}, 2};
  write_lines("Transit Impedance02.csv", PT_IMP_HEAD, {transit_pair(1, 2, 6, 2500, 5.5)});
  write_links("Traffic Assign02PT.csv", {p}, true);
}

// Without a transit assignment the transit half of every table stays zero, and
// with loading mode 4 the transit stage's files are not even looked for.
TEST(TripTotalStages, TransitStagesCountUnlessNoTransitAssignmentRan) {
  struct Case {
    const char* what;
    int16_t nstages, MODEPT;
    double persons;
  } cases[] = {{"loading mode 1", 2, 1, 6},
               {"loading mode 3", 2, 3, 6},
               {"loading mode 4 skips them", 2, 4, 0},
               {"one road stage only", 1, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Links links;
    links.add(1, 2, 1, 1, 1, 0, 1000);
    road_and_transit("0110\n0220\n");
    if (c.MODEPT == 4) fs::remove("Traffic Assign02PT.csv");
    Totals t = run_totals(links, c.nstages, 2, c.MODEPT);
    EXPECT_EQ(t.IERR, 0) << t.console;
    ASSERT_EQ(t.result.size(), size_t(RESULT_LINES));
    EXPECT_EQ(numbers(t.result[DIST_ROW1 + 2])[2], c.persons);     // 5.5 km
    EXPECT_EQ(numbers(t.result[PT_SPEED_ROW1 + 3])[2], c.persons);  // 30 km/h
    EXPECT_EQ(numbers(t.linkvol.at(1))[37], c.persons);
    EXPECT_EQ(numbers(t.linkvol.at(1))[7], 3.0);  // the road stage either way
    if (c.persons != 0) continue;
    std::vector<double> v = numbers(t.linkvol[1]);
    EXPECT_EQ(std::count(v.begin() + 37, v.end(), 0.0), 31);
    for (int cls = 0; cls < 11; ++cls) {
      v = numbers(t.result[size_t(PT_SPEED_ROW1 + cls)]);
      EXPECT_EQ(std::count(v.begin() + 2, v.end(), 0.0), 30) << "speed class " << cls + 1;
    }
    for (int cls = 0; cls < 19; ++cls) EXPECT_EQ(numbers(t.result[size_t(DIST_ROW1 + cls)])[2], 0.0);
    for (int cls = 0; cls < 18; ++cls) EXPECT_EQ(numbers(t.result[size_t(IMP_ROW1 + cls)])[2], 0.0);
  }
}

// A kind above 2 ran as a transit stage; stage 12 names its files with "12".
TEST(TripTotalStages, KindAboveTwoIsTotalledAsTransit) {
  TempDir dir;
  Links links;
  links.add(1, 2, 1, 1, 1, 0, 1000);
  write_file("Assign.txt", "123\n");
  LinkRec p{1, 2, 1, 1, 1, 0, 1000, 30, 3, {6}, {6}, {0.2}, 2};
  write_lines("Transit Impedance12.csv", PT_IMP_HEAD, {transit_pair(1, 2, 6, 2500, 5.5)});
  write_links("Traffic Assign12PT.csv", {p}, true);
  Totals t = run_totals(links, 1);
  EXPECT_EQ(t.IERR, 0) << t.console;
  ASSERT_EQ(t.result.size(), size_t(RESULT_LINES));
  EXPECT_EQ(numbers(t.result[PT_SPEED_ROW1 + 3])[2], 6.0);
  EXPECT_EQ(numbers(t.result[ROAD_SPEED_ROW1 + 3])[2], 0.0);
  EXPECT_EQ(numbers(t.result[DIST_ROW1 + 2])[2], 6.0);
  EXPECT_EQ(numbers(t.linkvol.at(1))[67], 2.0);  // walkers
}

// ---------------------------------------------------------------- damaged inputs

TEST(TripTotalInputs, MissingOrEmptyStageFileLeavesThatStageOut) {
  struct Case {
    const char* file;
    bool remove;  // else emptied
    const char* message;
  } cases[] = {
      {"Vehicle Impedance01.csv", true, "There is not the file Vehicle Impedance01.csv; stage 1"},
      {"Vehicle Impedance01.csv", false, "The file Vehicle Impedance01.csv is empty; stage 1"},
      {"Traffic Assign01VT.csv", true, "There is not the file Traffic Assign01VT.csv; stage 1"},
      {"Traffic Assign01VT.csv", false, "The file Traffic Assign01VT.csv is empty; stage 1"},
      {"~Temp01", true, "There is not the file ~Temp01; stage 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir dir;
    Links links;
    links.add(1, 2, 1, 1, 1, 0, 1000);
    // Stage 1 carries 150 PCU and 3 vehicles per link, stage 2 the same again.
    one_road_stage(road_pair(1, 2, 150, 500, 5.0, 3.0), {plain_link(40)});
    write_lines("Vehicle Impedance02.csv", ROAD_IMP_HEAD, {road_pair(1, 2, 150, 500, 5.0, 3.0)});
    write_scratch("~Temp02", {{1, 2, 100, 25, 0, 0, 0, 0, 0, 0, 0, 0}});
    write_links("Traffic Assign02VT.csv", {plain_link(40)}, false);
    write_file("Assign.txt", "0110\n0210\n");
    if (c.remove) fs::remove(c.file);
    else write_file(c.file, "");

    Totals t = run_totals(links, 2);
    EXPECT_EQ(count_lines_with(t.console, c.message), 1) << t.console;
    EXPECT_EQ(count_lines_with(t.console, "=== SUBROUTINE TripTotal ="), 1);
    EXPECT_GT(t.IERR, 0);
    EXPECT_LT(t.IERR, 9);
    // Only stage 2 in the totals, and both files written.
    ASSERT_EQ(t.result.size(), size_t(RESULT_LINES));
    EXPECT_EQ(numbers(t.result[DIST_ROW1 + 1])[3], 150.0);
    EXPECT_EQ(numbers(t.result[DIST_ROW1 + 1])[4], 100.0);
    EXPECT_EQ(numbers(t.result[ROAD_SPEED_ROW1 + 4])[2], 3.0);
    ASSERT_EQ(t.linkvol.size(), 2u);
    EXPECT_EQ(numbers(t.linkvol[1])[7], 3.0);
    EXPECT_FALSE(fs::exists("~Temp02"));
  }
}

TEST(TripTotalInputs, ControlFileGoneOrShortStillWritesTotals) {
  struct Case {
    const char* what;
    const char* control;  // nullptr: no control file
    const char* message;
    double vehicles;  // on the link
  } cases[] = {
      {"no control file", nullptr, "There is not the control file ASSIGN.txt; no stage is totalled.", 0},
      {"fewer records than stages", "0110\n", "The control file ASSIGN.txt ends before stage 2 of 2", 3},
      {"an unreadable record", "0110\nx210\n", "The control file ASSIGN.txt cannot be read at line 2", 3},
      {"a stage number 0", "0110\n0010\n", "The control file ASSIGN.txt has stage number 0 at line 2", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Links links;
    links.add(1, 2, 1, 1, 1, 0, 1000);
    one_road_stage(road_pair(1, 2, 150, 500, 5.0, 3.0), {plain_link(40)});
    fs::remove("Assign.txt");
    if (c.control) write_file("Assign.txt", c.control);
    Totals t = run_totals(links, 2);
    EXPECT_EQ(count_lines_with(t.console, c.message), 1) << t.console;
    ASSERT_EQ(t.result.size(), size_t(RESULT_LINES));
    ASSERT_EQ(t.linkvol.size(), 2u);
    EXPECT_EQ(numbers(t.linkvol[1])[7], c.vehicles);
  }
}

TEST(TripTotalInputs, AsteriskFieldsAreCountedWhereTheOtherValuesAllow) {
  TempDir dir;
  Links links;
  links.add(1, 2, 1, 1, 1, 0, 1000);
  links.add(2, 1, 1, 1, 1, 0, 1000);
  write_file("Assign.txt", "0110\n");
  // Impedances of a million hundredths of a minute print as asterisks; so does a
  // PCU of a million. Pair 2->1 also carries 7 vehicles of type 1 in the scratch file.
  write_lines("Vehicle Impedance01.csv", ROAD_IMP_HEAD,
              {road_pair(1, 2, 150, 1000000, 10000.0, 3.0), road_pair(2, 1, 1000000, 500, 5.0, 5.0),
               road_pair(1, 1, 40, 1500000, 10000.0, 3.0)});
  // A scratch record of a zone the run does not have is left out.
  write_scratch("~Temp01", {{1, 2, 100, 25, 0, 0, 0, 0, 0, 0, 0, 0},
                            {2, 1, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                            {5, 1, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0}});
  LinkRec fast = plain_link(1000);  // its speed prints as "***"
  LinkRec bad = plain_link(40);
  write_links("Traffic Assign01VT.csv", {fast, bad}, false);
  // A link record with letters where the PCU should be.
  Lines text = read_lines("Traffic Assign01VT.csv");
  size_t at = text[2].find("      3,");
  ASSERT_NE(at, std::string::npos);
  text[2].replace(at, 8, "    abc,");
  std::string joined;
  for (const auto& l : text) joined += l + "\n";
  write_file("Traffic Assign01VT.csv", joined);
  ASSERT_NE(read_lines("Vehicle Impedance01.csv")[1].find("******"), std::string::npos);

  Totals t = run_totals(links, 1);
  ASSERT_EQ(t.result.size(), size_t(RESULT_LINES));
  // Distances are known for all pairs; impedances only for 2->1; its PCU is not.
  EXPECT_EQ(numbers(t.result[DIST_ROW1 + 1])[3], 190.0);  // 3 km: 150 + 40
  EXPECT_EQ(numbers(t.result[DIST_ROW1 + 1])[4], 100.0);
  EXPECT_EQ(numbers(t.result[DIST_ROW1 + 2])[3], 0.0);  // 5 km: PCU unknown
  EXPECT_EQ(numbers(t.result[DIST_ROW1 + 2])[4], 7.0);
  EXPECT_EQ(numbers(t.result[IMP_ROW1])[3], 0.0);
  EXPECT_EQ(numbers(t.result[IMP_ROW1])[4], 7.0);
  for (int c = 1; c < 18; ++c) EXPECT_EQ(numbers(t.result[size_t(IMP_ROW1 + c)])[4], 0.0);
  // Both links keep their counts; the one with an unreadable speed adds no km and no speed class.
  ASSERT_EQ(t.linkvol.size(), 3u);
  EXPECT_EQ(numbers(t.linkvol[1])[7], 3.0);
  EXPECT_EQ(numbers(t.linkvol[1])[17], 0.0);
  EXPECT_EQ(numbers(t.linkvol[2])[7], 3.0);
  EXPECT_EQ(numbers(t.linkvol[2])[17], 3.0);
  EXPECT_EQ(numbers(t.result[ROAD_SPEED_ROW1 + 4])[2], 3.0);
  // Once per file, with the first line concerned.
  EXPECT_EQ(count_lines_with(t.console, "Vehicle Impedance01.csv: 3 record(s) could not be read in full, "
                                        "the first at line 2 (******)"),
            1)
      << t.console;
  EXPECT_EQ(count_lines_with(t.console, "Traffic Assign01VT.csv: 2 record(s) could not be read in full, "
                                        "the first at line 2 (***)"),
            1)
      << t.console;
  EXPECT_EQ(count_lines_with(t.console, "~Temp01: 1 record(s) could not be read in full, the first at record 3 "
                                        "(zones 5 and 1)"),
            1)
      << t.console;
  EXPECT_EQ(count_lines_with(t.console, "ERROR"), 3);
}

// A record cut short: the values it has are counted, the missing distance puts
// the pair in no distance class, and the file's report says how many there were.
TEST(TripTotalInputs, ShortRecordIsCountedAndReportedWithItsValueCount) {
  TempDir dir;
  Totals t = one_link_totals("  1,  2,   150,   500,", plain_link(40));
  EXPECT_EQ(count_lines_with(t.console, "Vehicle Impedance01.csv: 1 record(s) could not be read in full, "
                                        "the first at line 2 (only 4 values); counted where"),
            1)
      << t.console;
  EXPECT_GT(t.IERR, 0);
  ASSERT_EQ(t.result.size(), size_t(RESULT_LINES));
  EXPECT_EQ(numbers(t.result[IMP_ROW1])[3], 150.0);  // 5 min
  EXPECT_EQ(numbers(t.result[IMP_ROW1])[4], 100.0);  // type 1 from the scratch file
  for (int c = 0; c < 19; ++c) EXPECT_EQ(numbers(t.result[size_t(DIST_ROW1 + c)])[3], 0.0);
}

TEST(TripTotalInputs, LinkFileOfAnotherLengthIsReported) {
  TempDir dir;
  Links links;
  links.add(1, 2, 1, 1, 1, 0, 1000);
  links.add(2, 1, 1, 1, 1, 0, 1000);
  one_road_stage(road_pair(1, 2, 150, 500, 5.0, 3.0), {plain_link(40), plain_link(40), plain_link(40)});
  Totals t = run_totals(links, 1);
  EXPECT_EQ(count_lines_with(t.console, "Traffic Assign01VT.csv holds 3 link record(s) for 2 road links"), 1)
      << t.console;
  ASSERT_EQ(t.linkvol.size(), 3u);
  EXPECT_EQ(numbers(t.linkvol[2])[7], 3.0);
  EXPECT_EQ(numbers(t.result[ROAD_SPEED_ROW1 + 4])[2], 6.0);  // the extra record is left out
}

TEST(TripTotalInputs, AllocationFailureWritesNoFile) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer stops at an allocation this large instead of failing it";
#endif
  TempDir dir;
  Links links;
  links.add(1, 2, 1, 1, 1, 0, 1000);
  one_road_stage(road_pair(1, 2, 150, 500, 5.0, 3.0), {plain_link(40)});
  Console con;
  int16_t IERR = 0;
  links.t.NZ = 30000000;
  TRIPTOTAL(Settings{}, links.t, totals_names(), 1, 0, IERR);
  EXPECT_EQ(IERR, 9);
  std::string text = con.text();
  EXPECT_NE(text.find(" === SUBROUTINE TripTotal =======\n OD(NZ,NZ,2) allocation error "), std::string::npos)
      << text;
  EXPECT_FALSE(fs::exists("Traffic TotalResult.csv"));
  EXPECT_FALSE(fs::exists("Traffic TotalLinkVol.csv"));
  EXPECT_TRUE(fs::exists("~Temp01"));
}

// ---------------------------------------------------------------- whole run

// Three road stages on Sioux Falls: the link totals are the sums of the stage files,
// and the scratch files are gone.
TEST(TripTotalRun, SiouxFallsLinkTotalsAddUpTheStages) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  ASSERT_EQ(test::run_program(test::read_file("answers.txt")), 0);

  std::vector<Lines> stages;
  for (const char* name : {"Traffic Assign01VT.csv", "Traffic Assign02VT.csv", "Traffic Assign03VT.csv"}) {
    stages.push_back(read_lines(name));
    ASSERT_GT(stages.back().size(), 100u) << name;
  }
  for (const char* scratch : {"~Temp01", "~Temp02", "~Temp03"}) EXPECT_FALSE(fs::exists(scratch)) << scratch;

  Lines total = read_lines("Traffic TotalLinkVol.csv");
  ASSERT_EQ(total.size(), stages[0].size());
  double vehicles = 0, max_km_gap = 0, max_hour_gap = 0;
  for (size_t k = 1; k < total.size(); ++k) {
    std::vector<double> t = numbers(total[k]);
    ASSERT_EQ(t.size(), 68u) << total[k];
    for (int type = 0; type < 10; ++type) {
      double n = 0, km = 0, hours = 0;
      for (const Lines& s : stages) {
        std::vector<double> v = numbers(s.at(k));
        ASSERT_EQ(v.size(), 39u) << s[k];
        EXPECT_EQ(v[0], t[0]);
        EXPECT_EQ(v[1], t[1]);
        n += v[size_t(9 + type)];
        km += v[size_t(19 + type)];
        hours += v[size_t(29 + type)];
      }
      EXPECT_EQ(t[size_t(7 + type)], n) << "link " << k << " type " << type + 1;
      vehicles += n;
      // The totals recompute km and hours from length and speed; the stages took hours
      // from the link time rounded to hundredths of a minute, hence the looser bound.
      max_km_gap = std::max(max_km_gap, std::fabs(t[size_t(17 + type)] - km) / std::max(1.0, km));
      max_hour_gap = std::max(max_hour_gap, std::fabs(t[size_t(27 + type)] - hours) / std::max(1.0, hours));
    }
    for (size_t j = 37; j < 68; ++j) EXPECT_EQ(t[j], 0.0);  // no transit stage
  }
  EXPECT_GT(vehicles, 0.0);
  EXPECT_LT(max_km_gap, 1e-4);
  EXPECT_LT(max_hour_gap, 5e-3);

  // Every Sioux Falls pair lies within the distance and impedance classes, so each
  // table holds all the PCU of the three impedance files.
  double pcu = 0;
  for (const char* name : {"Vehicle Impedance01.csv", "Vehicle Impedance02.csv", "Vehicle Impedance03.csv"}) {
    Lines imp = read_lines(name);
    for (size_t i = 1; i < imp.size(); ++i) pcu += numbers(imp[i]).at(2);
  }
  Lines result = read_lines("Traffic TotalResult.csv");
  ASSERT_EQ(result.size(), size_t(RESULT_LINES));
  double by_distance = 0, by_impedance = 0;
  for (int c = 0; c < 19; ++c) by_distance += numbers(result[size_t(DIST_ROW1 + c)])[3];
  for (int c = 0; c < 18; ++c) by_impedance += numbers(result[size_t(IMP_ROW1 + c)])[3];
  EXPECT_GT(pcu, 0.0);
  EXPECT_EQ(by_distance, pcu);
  EXPECT_EQ(by_impedance, pcu);
}

}  // namespace
}  // namespace routava
