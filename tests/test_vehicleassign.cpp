// VEHICLEASSIGN and its stage files, checked field by field on a small hand-made network.
#include <gtest/gtest.h>

#include <algorithm>
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
using test::TempDir;
using test::read_lines;
using test::write_file;
using Lines = std::vector<std::string>;

// The network: zones 1..4 and junctions 101..104.
//   1 -> 101 -> 102 -> 103 -> 2, with a toll on 101-102 and ramps on 102-103 (5) and 103-2 (6);
//   101 -> 3 and 3 -> 101 are character-0 connectors; 2 -> 103 -> 102 -> 101 -> 1 comes back;
//   4 -> 104 leads nowhere and nothing enters 4, so zone 4 is cut off;
//   101 -> 2 is closed (character 9).
struct LinkDef {
  int32_t a, b, character, group, qv, tariff, length_m, speed, volume, screen, ramp;
  int64_t time, impedance;  // hundredths of a minute
};
const std::vector<LinkDef> NETWORK = {
    {1, 101, 1, 1, 1, 0, 1000, 60, 100, 0, 9, 100, 100},      // 1: ramp 9 (a third ramp)
    {101, 102, 1, 2, 1, 1, 2000, 60, 0, 0, 0, 200, 240},      // 2: toll
    {102, 103, 1, 1, 1, 0, 1500, 60, 0, 0, 5, 150, 150},      // 3: ramp 5
    {103, 2, 1, 1, 1, 0, 500, 60, 0, 3, 6, 50, 50},           // 4: screen 3, ramp 6
    {101, 3, 0, 9, 1, 0, 300, 60, 0, 7, 0, 30, 30},           // 5: connector, screen 7
    {2, 103, 1, 1, 1, 0, 500, 60, 0, 0, 0, 50, 50},           // 6
    {103, 102, 1, 1, 1, 0, 1500, 60, 0, 0, 8, 150, 150},      // 7: ramp 8
    {102, 101, 1, 1, 1, 0, 2000, 60, 0, 0, 0, 200, 200},      // 8
    {3, 101, 0, 9, 1, 0, 300, 60, 0, 0, 0, 30, 30},           // 9: connector
    {4, 104, 1, 1, 1, 0, 100, 60, 0, 0, 0, 10, 10},           // 10: into a dead end
    {101, 2, 9, 1, 0, 0, 10, 0, 0, 0, 0, 1, 1},               // 11: closed
    {101, 1, 1, 1, 1, 0, 1000, 60, 0, 0, 0, 100, 100},        // 12
};

const std::string OD_LIST_CAR = "ODcar.csv";
const std::string OD_LIST_TRUCK = "ODtruck.csv";

struct Stage {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  Settings set;
  StageRecord stage;
  FileNames FN;
  int16_t IERR = -1;
  Lines console;
  Lines log;
};

void build_network(SharedTables& t, const std::vector<LinkDef>& links, int32_t NZ) {
  t.NLROAD = int32_t(links.size());
  for (int32_t i = 1; i <= t.NLROAD; ++i) {
    const LinkDef& l = links[size_t(i - 1)];
    const int32_t cols[11] = {l.a, l.b, l.character, l.group, l.qv, l.tariff, l.length_m,
                              l.speed, l.volume, l.screen, l.ramp};
    for (int c = 1; c <= 11; ++c) t.LINK(i, c) = cols[c - 1];
    t.LNKVT(i, 1) = i;
    t.LNKVT(i, 2) = l.a;
    t.LNKVT(i, 3) = l.b;
    t.LNKVT(i, 7) = l.character >= 9 ? 99 : 0;
  }
  t.NLVT = t.NLROAD;
  t.NZ = NZ;
  for (int32_t z = 1; z <= NZ; ++z) t.NCENT(z, 1) = z;
  HSORT(t.LNKVT, t.NLVT, 8, 2);
  int16_t ierr = 0;
  Console quiet;  // NODESET names the dead end 4 -> 104
  NODESET(t.LNKVT, t.NLVT, t, 0, ierr);
  for (int32_t r = 1; r <= t.NLVT; ++r) {
    const LinkDef& l = links[size_t(t.LNKVT(r, 1) - 1)];
    t.LNKVT(r, 4) = l.impedance;
    t.LNKVT(r, 6) = l.time;
  }
}

// The stage: table 1 (cars, type 1) at 100 %, table 2 (trucks, type 3) at 50 %.
Stage make_run(int16_t KSTAGE = 1) {
  Stage r;
  build_network(*r.t, NETWORK, 4);
  SharedTables& t = *r.t;
  t.ODVT(1) = pad(OD_LIST_CAR, 40);
  t.ODVTYP(1) = 1;
  t.ODVT(2) = pad(OD_LIST_TRUCK, 40);
  t.ODVTYP(2) = 3;
  t.VPCU(1) = 1.0f;
  t.VPCU(3) = 2.5f;
  t.TARIFF(1, 1) = 100.0f;
  t.TARIFF(1, 2) = 25.25f;  // 100 + 2 km x 25.25 = 150.5, which the +0.4999 keeps at 150
  r.set.KSRCH = 0;
  r.set.KIMPALL = 0;
  r.set.KPATH = 1;
  r.set.KPATHALL = 0;
  r.set.KSCRN = 1;
  r.set.KRAMP = 1;
  r.stage.KSTAGE = KSTAGE;
  r.stage.KASSIGN = 1;
  r.stage.NODTAB = 2;
  r.stage.IODTAB[1] = 1;
  r.stage.FODTAB[1] = 100.0f;
  r.stage.IODTAB[2] = 2;
  r.stage.FODTAB[2] = 50.0f;
  const char* templates[8] = {"",
                              "Vehicle PathVT00.csv",
                              "Vehicle Impedance00.csv",
                              "Traffic Assign00VT.csv",
                              "Vehicle ScreenVT00.csv",
                              "Vehicle RampVT00.csv",
                              "Vehicle Error00.csv",
                              "~Temp00"};
  const std::string digits = (KSTAGE < 10 ? "0" : "") + std::to_string(KSTAGE);
  for (int k = 1; k <= 7; ++k) {
    std::string name = templates[k];
    name.replace(name.find("00"), 2, digits);
    r.FN[size_t(k)] = pad(name, 40);
  }
  return r;
}

void assign(Stage& r) {
  SharedTables& t = *r.t;
  Console con;
  EXPECT_TRUE(open_write(LOG_UNIT, "Log.txt"));
  VEHICLEASSIGN(r.set, r.FN, r.stage, t, LOG_UNIT, r.IERR);
  close_unit(LOG_UNIT);
  r.console = con.lines();
  r.log = read_lines("Log.txt");
}

const std::string CARS = "1,2,10\n1,3,4\n2,1,6\n2,3,3\n1,4,2\n4,1,5\n3,2,7\n";
const std::string TRUCKS = "1,2,4\n2,1,3\n3,1,1\n";  // halved: 2, 2 (1.5 up), 1 (0.5 up)

bool has(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}
bool starts(const Lines& lines, const std::string& head) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.rfind(head, 0) == 0; });
}

// Scratch records (o, d, ten counts) of a stage.
std::vector<std::array<int32_t, 12>> scratch(const std::string& name) {
  std::vector<std::array<int32_t, 12>> out;
  const int u = free_unit();
  EXPECT_TRUE(open_read_binary(u, name));
  std::array<int32_t, 12> rec{};
  while (read_binary(u, rec.data(), 12)) out.push_back(rec);
  close_unit(u);
  return out;
}

std::string header(const std::string& head, const std::string& before, int width,
                   const std::string& after, int first = 1) {
  std::string s = head;
  for (int t = first; t <= 10; ++t) {
    std::string n = std::to_string(t);
    s += before + std::string(size_t(width) - n.size(), ' ') + n + after;
  }
  return s;
}

TEST(VehicleAssign, WritesEveryStageFileFieldByField) {
  TempDir dir;
  write_file(OD_LIST_CAR, CARS);
  write_file(OD_LIST_TRUCK, TRUCKS);
  Stage r = make_run();
  assign(r);
  EXPECT_EQ(r.IERR, 1);  // zone 4 is unreachable

  // Paths, destination end first; type 1 and 3 at full width, the unused ones as "0".
  const Lines path = {
      header("Link,O-Node,D-Node,Time,From,To,Reverse Seq,", "Vehicle", 3, ","),
      "    4,  103,    2,   50,  1,  2,  1,     10,0,      2,0,0,0,0,0,0,0,",
      "    3,  102,  103,  150,  1,  2,  2,     10,0,      2,0,0,0,0,0,0,0,",
      "    2,  101,  102,  200,  1,  2,  3,     10,0,      2,0,0,0,0,0,0,0,",
      "    1,    1,  101,  100,  1,  2,  4,     10,0,      2,0,0,0,0,0,0,0,",
      "    5,  101,    3,   30,  1,  3,  1,      4,0,      0,0,0,0,0,0,0,0,",
      "    1,    1,  101,  100,  1,  3,  2,      4,0,      0,0,0,0,0,0,0,0,",
      "   12,  101,    1,  100,  2,  1,  1,      6,0,      2,0,0,0,0,0,0,0,",
      "    8,  102,  101,  200,  2,  1,  2,      6,0,      2,0,0,0,0,0,0,0,",
      "    7,  103,  102,  150,  2,  1,  3,      6,0,      2,0,0,0,0,0,0,0,",
      "    6,    2,  103,   50,  2,  1,  4,      6,0,      2,0,0,0,0,0,0,0,",
      "    5,  101,    3,   30,  2,  3,  1,      3,0,      0,0,0,0,0,0,0,0,",
      "    8,  102,  101,  200,  2,  3,  2,      3,0,      0,0,0,0,0,0,0,0,",
      "    7,  103,  102,  150,  2,  3,  3,      3,0,      0,0,0,0,0,0,0,0,",
      "    6,    2,  103,   50,  2,  3,  4,      3,0,      0,0,0,0,0,0,0,0,",
      "   12,  101,    1,  100,  3,  1,  1,      0,0,      1,0,0,0,0,0,0,0,",
      "    9,    3,  101,   30,  3,  1,  2,      0,0,      1,0,0,0,0,0,0,0,",
      "    4,  103,    2,   50,  3,  2,  1,      7,0,      0,0,0,0,0,0,0,0,",
      "    3,  102,  103,  150,  3,  2,  2,      7,0,      0,0,0,0,0,0,0,0,",
      "    2,  101,  102,  200,  3,  2,  3,      7,0,      0,0,0,0,0,0,0,0,",
      "    9,    3,  101,   30,  3,  2,  4,      7,0,      0,0,0,0,0,0,0,0,",
  };
  EXPECT_EQ(read_lines("Vehicle PathVT01.csv"), path);

  // Connectors (character 0) add nothing to impedance, time or distance; PCU and toll
  // are rounded: 2 x 2.5 + 10 = 15, 1 x 2.5 = 2.5 -> 3, toll 150.5 -> 150.
  const Lines impedance = {
      "O-Zone,D-Zone,PCU,Impedance,(blank1),Travel Time (min.),Distance (km),Toll Tariff,"
      "(blank2),(blank3),",
      "  1,  2,    15,   540,,   5.0,  5.00,    150,,,",
      "  1,  3,     4,   100,,   1.0,  1.00,      0,,,",
      "  2,  1,    11,   500,,   5.0,  5.00,      0,,,",
      "  2,  3,     3,   400,,   4.0,  4.00,      0,,,",
      "  3,  1,     3,   100,,   1.0,  1.00,      0,,,",
      "  3,  2,     7,   440,,   4.0,  4.00,    150,,,",
  };
  EXPECT_EQ(read_lines("Vehicle Impedance01.csv"), impedance);

  const Lines error = {
      header(" O zone, D zone, Could Not Assigned VT 1,", "VT", 2, ",", 2),
      "   1,   4,       2,       0,       0,       0,       0,       0,       0,       0,       0,"
      "       0,",
      "   4,   1,       5,       0,       0,       0,       0,       0,       0,       0,       0,"
      "       0,",
  };
  EXPECT_EQ(read_lines("Vehicle Error01.csv"), error);

  const Lines screen = {
      header("Screen No,O-Zone,D-Zone,", "Vehicle Type", 3, ","),
      " 3,  1,  2,      10,0,       2,0,0,0,0,0,0,0,",
      " 7,  1,  3,       4,0,       0,0,0,0,0,0,0,0,",
      " 7,  2,  3,       3,0,       0,0,0,0,0,0,0,0,",
      " 3,  3,  2,       7,0,       0,0,0,0,0,0,0,0,",
  };
  EXPECT_EQ(read_lines("Vehicle ScreenVT01.csv"), screen);

  // One record per pair of ramps; the ramp left pending at the end of a walk (9 on
  // 1->2, 8 on 2->1) never pairs with a ramp of the next pair's walk.
  const Lines ramp = {
      header("Inflow Ramp No,Outflow Ramp No,", "Vehicle Type", 3, ","),
      "  5,  6,      10,0,       2,0,0,0,0,0,0,0,",
      "  5,  6,       7,0,       0,0,0,0,0,0,0,0,",
  };
  EXPECT_EQ(read_lines("Vehicle RampVT01.csv"), ramp);

  // Link results: the volume raised from 100 by 14 + 2 x 2.5; character-0 links carry
  // volume only; unused types print "0." in all three blocks.
  const Lines links = read_lines("Traffic Assign01VT.csv");
  ASSERT_EQ(links.size(), NETWORK.size() + 1);
  EXPECT_EQ(links[0],
            header(header(header("O-Node,D-Node,Link character,Evaluation Group,QV type,Tariff "
                                 "type,Distance (m),Average Speed (Km per hour),PCU,",
                                 "TYPE ", 2, " VT,"),
                          "TYPE ", 2, " VT*KM,"),
                   "TYPE ", 2, " VT*HOUR,") +
                "(blank),");
  EXPECT_EQ(links[1],
            "    1,  101, 1, 1, 1, 0,  1000, 60,    119,     14.0,0.,      2.0,0.,0.,0.,0.,0.,0.,0.,"
            "     14.00,0.,      2.00,0.,0.,0.,0.,0.,0.,0.,"
            "      0.233,0.,      0.033,0.,0.,0.,0.,0.,0.,0.,,");
  EXPECT_EQ(links[5],
            "  101,    3, 0, 9, 1, 0,   300, 60,      7,      7.0,0.,      0.0,0.,0.,0.,0.,0.,0.,0.,"
            "      0.00,0.,      0.00,0.,0.,0.,0.,0.,0.,0.,"
            "      0.000,0.,      0.000,0.,0.,0.,0.,0.,0.,0.,,");
  EXPECT_EQ(links[11],
            "  101,    2, 9, 1, 0, 0,    10,  0,      0,      0.0,0.,      0.0,0.,0.,0.,0.,0.,0.,0.,"
            "      0.00,0.,      0.00,0.,0.,0.,0.,0.,0.,0.,"
            "      0.000,0.,      0.000,0.,0.,0.,0.,0.,0.,0.,,");

  // LINK column 9: 7 cars + 1 truck on 3->101 is 9.5 PCU, which the +0.9 turns into 10.
  const int32_t raised[] = {119, 22, 22, 22, 7, 14, 14, 14, 10, 0, 0, 14};
  for (int32_t i = 1; i <= 12; ++i) EXPECT_EQ(r.t->LINK(i, 9), raised[i - 1]) << "link " << i;

  // The scratch file: every destination of every searched origin, the origin itself excluded.
  const auto recs = scratch("~Temp01");
  ASSERT_EQ(recs.size(), 12u);
  const std::array<int32_t, 12> first = {1, 2, 10, 0, 2, 0, 0, 0, 0, 0, 0, 0};
  const std::array<int32_t, 12> last = {4, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(recs.front(), first);
  EXPECT_EQ(recs.back(), last);
  for (const auto& rec : recs) EXPECT_NE(rec[0], rec[1]);

  // Console and log.
  for (const Lines* l : {&r.console, &r.log}) {
    EXPECT_TRUE(has(*l, " Start of Vehicle Assignment"));
    EXPECT_TRUE(has(*l, " End of Vehicle Assignment on Road Network"));
  }
  EXPECT_TRUE(has(r.console, " Assignment Zone =   1   for " + pad("Traffic Assign01VT.csv", 40)));
  EXPECT_TRUE(has(r.console, " -----------------------------------------"));
  EXPECT_FALSE(has(r.log, " -----------------------------------------"));
  EXPECT_FALSE(starts(r.console, " Node("));  // the isolated-node line is for debug mode
}

TEST(VehicleAssign, FilesWithoutRecordsAreDeletedAndASecondStageAddsItsVolume) {
  TempDir dir;
  write_file(OD_LIST_CAR, "1,2,10\n");
  write_file(OD_LIST_TRUCK, "");
  Stage r = make_run();
  r.t->LINK(4, 10) = 0;  // no screen line on the path
  r.t->LINK(4, 11) = 0;  // and a single ramp (9), which stays pending
  r.t->LINK(3, 11) = 0;
  assign(r);
  EXPECT_EQ(r.IERR, 1);  // the search from 1 still misses zone 4, but no pair asks for it
  EXPECT_TRUE(fs::exists("Vehicle PathVT01.csv"));
  EXPECT_TRUE(fs::exists("Vehicle Impedance01.csv"));
  EXPECT_TRUE(fs::exists("Traffic Assign01VT.csv"));
  EXPECT_TRUE(fs::exists("~Temp01"));
  EXPECT_FALSE(fs::exists("Vehicle Error01.csv"));
  EXPECT_FALSE(fs::exists("Vehicle ScreenVT01.csv"));
  EXPECT_FALSE(fs::exists("Vehicle RampVT01.csv"));
  EXPECT_EQ(r.t->LINK(1, 9), 110);

  // The next stage starts from the raised volumes; an empty truck table still makes
  // type 3 a used type.
  Stage r2 = make_run(2);
  r2.t = std::move(r.t);
  r2.set.KPATH = 0;
  r2.set.KSCRN = 0;
  r2.set.KRAMP = 0;
  assign(r2);
  EXPECT_EQ(r2.t->LINK(1, 9), 120);
  EXPECT_EQ(r2.t->LINK(2, 9), 20);
  EXPECT_FALSE(fs::exists("Vehicle PathVT02.csv"));
  const Lines links = read_lines("Traffic Assign02VT.csv");
  ASSERT_GE(links.size(), 2u);
  EXPECT_EQ(links[1],
            "    1,  101, 1, 1, 1, 0,  1000, 60,    120,     10.0,0.,      0.0,0.,0.,0.,0.,0.,0.,0.,"
            "     10.00,0.,      0.00,0.,0.,0.,0.,0.,0.,0.,"
            "      0.167,0.,      0.000,0.,0.,0.,0.,0.,0.,0.,,");
}

TEST(VehicleAssign, SearchImpedanceAndPathScopesFollowTheSwitches) {
  struct Case {
    const char* what;
    int16_t KSRCH, KIMPALL, KPATHALL, KDEBUG, KHOME;
    size_t scratch_records, impedance_records, error_records, path_records;
    int16_t KHOME_after;
  };
  // Demand 1->2 only. Origins searched: 1 only, or 1..4 with KSRCH; pairs walked:
  // 1->2 only, or every pair with KIMPALL (zone 4 then gives error records).
  const Case cases[] = {
      {"trips only", 0, 0, 0, 0, 1, 3, 1, 0, 4, 1},
      {"all origins searched", 1, 0, 0, 0, 1, 12, 1, 0, 4, 1},
      {"all impedances", 1, 1, 0, 0, 1, 12, 6, 6, 4, 1},
      {"all paths", 1, 1, 1, 0, 1, 12, 6, 6, 4 + 2 + 4 + 4 + 2 + 4, 1},
      {"KHOME ignored outside debug mode", 1, 0, 0, 0, 3, 12, 1, 0, 4, 1},
      {"KHOME in debug mode", 1, 0, 0, 1, 3, 6, 0, 0, 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    write_file(OD_LIST_CAR, "1,2,10\n");
    write_file(OD_LIST_TRUCK, "");
    Stage r = make_run();
    r.set.KSRCH = c.KSRCH;
    r.set.KIMPALL = c.KIMPALL;
    r.set.KPATHALL = c.KPATHALL;
    r.set.KDEBUG = c.KDEBUG;
    r.set.KHOME = c.KHOME;
    assign(r);
    EXPECT_EQ(r.set.KHOME, c.KHOME_after);
    EXPECT_EQ(scratch("~Temp01").size(), c.scratch_records);
    EXPECT_EQ(read_lines("Vehicle Impedance01.csv").size(), c.impedance_records + 1);
    if (c.error_records == 0) {
      EXPECT_FALSE(fs::exists("Vehicle Error01.csv"));
    } else {
      EXPECT_EQ(read_lines("Vehicle Error01.csv").size(), c.error_records + 1);
    }
    EXPECT_EQ(read_lines("Vehicle PathVT01.csv").size(), c.path_records + 1);
  }
}

TEST(VehicleAssign, ZeroTripPairsShowZeroPcuAndDebugNamesTheIsolatedNode) {
  TempDir dir;
  write_file(OD_LIST_CAR, "1,2,10\n");
  write_file(OD_LIST_TRUCK, "");
  Stage r = make_run();
  r.set.KIMPALL = 1;
  r.set.KDEBUG = 1;
  assign(r);
  const Lines imp = read_lines("Vehicle Impedance01.csv");
  EXPECT_TRUE(has(imp, "  1,  3,     0,   100,,   1.0,  1.00,      0,,,"));
  EXPECT_TRUE(has(r.console, " Node(           4) is isolated from Network"));
  EXPECT_TRUE(has(r.log, " Node(           4) is isolated from Network"));
  EXPECT_EQ(r.IERR, 1);
}

// OD cells as the scratch file shows them, every origin searched.
std::vector<std::array<int32_t, 12>> demand_of(Stage& r) {
  r.set.KSRCH = 1;
  r.set.KPATH = 0;
  assign(r);
  return scratch("~Temp01");
}
int32_t cell(const std::vector<std::array<int32_t, 12>>& recs, int32_t o, int32_t d, int t) {
  for (const auto& rec : recs)
    if (rec[0] == o && rec[1] == d) return rec[size_t(1 + t)];
  ADD_FAILURE() << "no scratch record for " << o << "-" << d;
  return -1;
}

TEST(VehicleAssign, OdTablesAddUpWithFactorsAndPersonTrips) {
  TempDir dir;
  // Cars twice (100 % and 50 %); type 5 holds persons at 2.5 a vehicle.
  write_file(OD_LIST_CAR, "1,2,10\n1,2,5\n2,1,7\n3,5,99\n");
  write_file("persons.csv", "1,3,10\n");
  Stage r = make_run();
  r.t->ODVT(3) = pad("persons.csv", 40);
  r.t->ODVTYP(3) = 5;
  r.t->VPASS(5) = 2.5f;
  r.stage.NODTAB = 3;
  r.stage.IODTAB = {0, 1, 1, 3};
  r.stage.FODTAB = {0, 100.0f, 50.0f, 50.0f};
  const auto recs = demand_of(r);
  EXPECT_EQ(cell(recs, 1, 2, 1), 15 + 5 + 3);  // 15 at 100 %, then 5.5 -> 5 and 3.0 -> 3
  EXPECT_EQ(cell(recs, 2, 1, 1), 7 + 4);   // 3.5 + 0.5 -> 4
  EXPECT_EQ(cell(recs, 1, 3, 5), 2);       // 10 / 2.5 x 50 % = 2
  EXPECT_EQ(cell(recs, 1, 3, 1), 0);
  const Lines links = read_lines("Traffic Assign01VT.csv");
  ASSERT_GE(links.size(), 2u);
  // Used types: 1 and 5; type 3 has no table in this stage. PCU of type 5 is 0.
  EXPECT_TRUE(links[1].starts_with(
      "    1,  101, 1, 1, 1, 0,  1000, 60,    123,     23.0,0.,0.,0.,      2.0,0.,0.,0.,0.,0.,"))
      << links[1];
  EXPECT_FALSE(starts(r.console, " *** Error"));  // zone 5 > NZ is skipped silently
}

TEST(VehicleAssign, BadOdInputIsReportedAndNeverIndexesOutside) {
  TempDir dir;
  write_file(OD_LIST_CAR, "1,2,10\n0,3,4\n2,-1,6\n2,x,3\n1,3,2\n");
  write_file("types.csv", "1,2,50\n");
  Stage r = make_run();
  r.t->ODVT(4) = pad("types.csv", 40);
  r.t->ODVTYP(4) = 11;  // only a list that GETVEHICLE rejected could hold this
  r.t->ODVT(5) = pad("nosuch.csv", 40);
  r.t->ODVTYP(5) = 1;
  r.stage.NODTAB = 5;
  r.stage.IODTAB = {0, 1, 4, 5, 101, 0};
  r.stage.FODTAB = {0, 100.0f, 100.0f, 100.0f, 100.0f, 100.0f};
  const auto recs = demand_of(r);
  EXPECT_EQ(cell(recs, 1, 2, 1), 10);
  EXPECT_EQ(cell(recs, 1, 3, 1), 2);
  EXPECT_EQ(cell(recs, 2, 3, 1), 0);
  for (const Lines* l : {&r.console, &r.log}) {
    EXPECT_TRUE(has(*l, " *** Error OD pair at Record (     2)  value =    0   3      4  in ODcar.csv"));
    EXPECT_TRUE(has(*l, " *** Error OD pair at Record (     3)  value =    2  -1      6  in ODcar.csv"));
    // Unreadable: reported with the values read before the bad one.
    EXPECT_TRUE(has(*l, " *** Error OD pair at Record (     4)  value =    2   0      0  in ODcar.csv"));
    EXPECT_TRUE(has(*l, " *** Error *** Not Exist OD File nosuch.csv"));
    EXPECT_TRUE(starts(*l, " *** Error *** Vehicle type 11 of OD table 4"));
    EXPECT_TRUE(starts(*l, " *** Error *** OD table 101 of stage 1"));
    EXPECT_TRUE(starts(*l, " *** Error *** OD table 0 of stage 1"));
  }
}

TEST(VehicleAssign, AnOutputThatCannotBeCreatedStopsTheRun) {
  TempDir dir;
  write_file(OD_LIST_CAR, "1,2,10\n");
  write_file(OD_LIST_TRUCK, "");
  fs::create_directory("Vehicle Impedance01.csv");
  Stage r = make_run();
  assign(r);
  EXPECT_GE(r.IERR, 9);
  EXPECT_TRUE(starts(r.console, " *** Error *** Can not open Vehicle Impedance01.csv"));
  EXPECT_TRUE(has(r.console, " End of Vehicle Assignment on Road Network"));
  EXPECT_EQ(r.t->LINK(1, 9), 100);  // nothing loaded
}

}  // namespace
}  // namespace routava
