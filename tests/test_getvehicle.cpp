// GETVEHICLE: the vehicle OD file list, PCU, QV curves and tariffs, their listings and error levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
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

const std::string OD_LIST = "1,1,ODcar.csv\n2,2,ODtruck.csv\n";
const std::string PCU = "1,1.0,0.0\n2,2.0,0.0\n";
const std::string QV = "1,60,40,20,1000,2000\n";

// The tables GETVEHICLE fills, set to values it must overwrite.
struct Result {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  int16_t IERR = -1;
  Vec<int16_t>& ODVTYP = t->ODVTYP;
  Vec<std::string>& ODVT = t->ODVT;
  Vec<float>& VPCU = t->VPCU;
  Vec<float>& VPASS = t->VPASS;
  RealTable& QVTAB = t->QVTAB;
  RealTable& TARIFF = t->TARIFF;
  Lines console;
  Lines log;
  Result() {
    ODVTYP.fill(-7);
    VPCU.fill(-7.0f);
    VPASS.fill(-7.0f);
    QVTAB.fill(-7.0f);
    TARIFF.fill(-7.0f);
  }
};

// Writes the files that are given (an empty text means "no file") and runs GETVEHICLE.
Result run(const std::string& od_list, const std::string& pcu, const std::string& qv,
           const std::string& tariff, int16_t KDEBUG = 0) {
  if (!od_list.empty()) write_file("RoadVTOD.txt", od_list);
  if (!pcu.empty()) write_file("RoadPCU.txt", pcu);
  if (!qv.empty()) write_file("QV.csv", qv);
  if (!tariff.empty()) write_file("RoadTariff.csv", tariff);
  FileNames FN;
  FN[1] = pad("RoadVTOD.txt", 40);
  FN[2] = pad("RoadPCU.txt", 40);
  FN[3] = pad("QV.csv", 40);
  FN[4] = pad("RoadTariff.csv", 40);
  Result r;
  Settings set;
  set.KDEBUG = KDEBUG;
  {
    Console con;
    EXPECT_TRUE(open_write(LOG_UNIT, "Log.txt"));
    GETVEHICLE(set, FN, *r.t, LOG_UNIT, r.IERR);
    close_unit(LOG_UNIT);
    r.console = con.lines();
  }
  r.log = read_lines("Log.txt");
  return r;
}

bool has(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}
bool has_text(const Lines& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

TEST(GetVehicle, FillsTablesAndListsEachFileInTheLog) {
  TempDir dir;
  Result r = run("1,1,ODcar.csv\n7,2,'Truck OD.csv'\n", "1,1.0,0.0\n2,2.5,0\n3,1.2,2.5\n",
                 QV, "1,100,20\n99,50.5,0\n");
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(r.ODVTYP(1), 1);
  EXPECT_EQ(r.ODVTYP(7), 2);
  EXPECT_EQ(r.ODVTYP(2), 0);  // not listed: cleared
  EXPECT_EQ(std::string(trim(r.ODVT(7))), "Truck OD.csv");
  EXPECT_FLOAT_EQ(r.VPCU(2), 2.5f);
  EXPECT_FLOAT_EQ(r.VPASS(3), 2.5f);
  EXPECT_FLOAT_EQ(r.VPCU(4), 0.0f);  // types not listed keep 0
  EXPECT_FLOAT_EQ(r.VPASS(4), 0.0f);
  const float qv[5] = {60, 40, 20, 1000, 2000};
  for (int c = 1; c <= 5; ++c) EXPECT_FLOAT_EQ(r.QVTAB(1, c), qv[c - 1]);
  EXPECT_FLOAT_EQ(r.QVTAB(2, 1), 0.0f);
  EXPECT_FLOAT_EQ(r.TARIFF(1, 1), 100.0f);
  EXPECT_FLOAT_EQ(r.TARIFF(1, 2), 20.0f);
  EXPECT_FLOAT_EQ(r.TARIFF(99, 1), 50.5f);
  EXPECT_FLOAT_EQ(r.TARIFF(2, 1), 0.0f);

  const Lines expected = {
      " RoadVTOD.txt",
      "----+----+----+----+----+----+----+----+----+----+",
      "  ID TYPE Vehicle OD File Name",
      "     1    1" + pad("ODcar.csv", 40),
      "     7    2" + pad("Truck OD.csv", 40),
      "----+----+----+----+----+----+----+----+----+----+",
      " RoadPCU.txt",
      "----+----+----+----+----+----+----+",
      " TYPE  PCU   Average Passenger",
      "    1 1.00 Not Use<-- Input OD = VT",
      "    2 2.50 Not Use<-- Input OD = VT",
      "    3 1.20 2.50   <-- Input OD = PT",
      "----+----+----+----+----+----+----+",
      " QV.csv",
      "------- QV Conditions --------------------",
      "QV Type     V1     V2     V3     Q1     Q2",
      "      1    60.    40.    20.  1000.  2000.",
      " ------------------------------------------",
      " RoadTariff.csv",
      "----- Toll Tariff Conditions -----",
      "   Type   Flat  Dist.",
      "      1   100.    20.",
      "     99    50.     0.",  // 50.5 rounds to even, as fixed-width output does
      "----------------------------------",
  };
  EXPECT_EQ(r.log, expected);
  EXPECT_TRUE(r.console.empty());  // listings reach the console only in debug mode
}

TEST(GetVehicle, DebugModeListsOnTheConsoleToo) {
  TempDir dir;
  Result r = run(OD_LIST, PCU, QV, "", 1);
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(r.console, r.log);
  EXPECT_TRUE(has(r.log, " NO TARIFF FILE. Toll Road is free."));
}

TEST(GetVehicle, MissingFilesSetTheirErrorLevels) {
  struct Case {
    const char* what;
    std::string od, pcu, qv, tariff;
    int16_t ierr;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"no OD list", "", PCU, QV, "", 9,
       {" === SUBROUTINE GetVehicle =======", " OD File Names are unknown.",
        " *** ERROR *** Please set RoadVTOD.txt"}},
      {"no PCU", OD_LIST, "", QV, "", 9,
       {" PCU of Vehicle is unknown.", " *** ERROR *** Please set RoadPCU.txt"}},
      {"no QV", OD_LIST, PCU, "", "", 9,
       {" QV conditions are unknown.", " *** ERROR *** Please set QV.csv"}},
      {"none of them", "", "", "", "", 27, {}},
      {"only the tariff missing", OD_LIST, PCU, QV, "", 0,
       {" ----- Toll Tariff Conditions -----", " NO TARIFF FILE. Toll Road is free.",
        " ----------------------------------"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Result r = run(c.od, c.pcu, c.qv, c.tariff);
    EXPECT_EQ(r.IERR, c.ierr);
    for (const std::string& l : c.lines) EXPECT_TRUE(has(r.log, l)) << l;
    if (c.ierr > 0) {
      for (const std::string& l : c.lines) EXPECT_TRUE(has(r.console, l)) << l;
    }
  }
}

TEST(GetVehicle, OdListEndsAtIdZeroAndRefusesBadIdsAndTypes) {
  TempDir dir;
  {
    Result r = run("1,1,a.csv\n0,0,x\n2,2,b.csv\n", PCU, QV, "");
    EXPECT_EQ(r.IERR, 0);
    EXPECT_EQ(r.ODVTYP(1), 1);
    EXPECT_EQ(r.ODVTYP(2), 0);  // after the terminator: not read
  }
  {
    Result r = run("3,11,c.csv\n", PCU, QV, "");
    EXPECT_EQ(r.IERR, 9);
    EXPECT_EQ(r.ODVTYP(3), 11);  // stays stored; the run stops on the error level
    EXPECT_TRUE(has(r.console, " Please check File RoadVTOD.txt"));
    EXPECT_TRUE(has(r.console, " *** ERROR *** abnormal definition"));
    EXPECT_TRUE(has(r.console, "     3   11" + pad("c.csv", 40)));
  }
  {
    // An id beyond the table is refused without touching it, and named with its line.
    Result r = run("1,1,a.csv\n101,1,d.csv\n4,1,e.csv\n", PCU, QV, "");
    EXPECT_EQ(r.IERR, 9);
    EXPECT_EQ(r.ODVTYP(1), 1);
    EXPECT_EQ(r.ODVTYP(4), 1);  // reading goes on after the refused record
    EXPECT_TRUE(has_text(r.console, "RoadVTOD.txt line 2"));
    EXPECT_TRUE(has(r.log, "   101    1" + pad("d.csv", 40)));
  }
}

TEST(GetVehicle, PcuTypeAboveTenIsReportedAndIgnored) {
  TempDir dir;
  Result r = run(OD_LIST, "1,1.0,0\n11,3.0,0\n12,1.5,1.5\n2,2.0,0\n", QV, "");
  EXPECT_EQ(r.IERR, 2);  // a warning per ignored record
  EXPECT_FLOAT_EQ(r.VPCU(2), 2.0f);
  for (const Lines* l : {&r.console, &r.log}) {
    EXPECT_TRUE(has(*l, " *** Error *** RoadPCU.txt line 2"));
    EXPECT_TRUE(has(*l, " The following PCU is ignored (Type > 10)."));
    EXPECT_TRUE(has(*l, "   11 3.00 Not Use<-- Input OD = VT"));
    EXPECT_TRUE(has(*l, "   12 1.50 1.50   <-- Input OD = PT"));
  }
}

TEST(GetVehicle, QvCurvesAreCheckedAndStoredEvenWhenAbnormal) {
  struct Case {
    const char* record;
    float q1;
    int16_t ierr;
    const char* abnormal;  // the echo of the abnormal definition, or ""
  };
  const Case cases[] = {
      {"1,60,40,20,1000,2000", 1000, 0, ""},
      {"1,60,40,20,2500,2000", 2500, 9, "   1   60.   40.   20. 2500. 2000."},  // Q1 > Q2
      {"1,40,60,20,1000,2000", 1000, 9, "   1   40.   60.   20. 1000. 2000."},  // V2 > V1
      {"1,60,40,45,1000,2000", 1000, 9, "   1   60.   40.   45. 1000. 2000."},  // V3 > V2
      {"1,60,60,60,1000,1000", 1000, 0, ""},                                     // flat is fine
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    TempDir dir;
    Result r = run(OD_LIST, PCU, std::string(c.record) + "\n", "");
    EXPECT_EQ(r.IERR, c.ierr);
    EXPECT_FLOAT_EQ(r.QVTAB(1, 4), c.q1);
    if (c.ierr > 0) {
      EXPECT_TRUE(has(r.console, " Please check File QV.csv"));
      EXPECT_TRUE(has(r.console, " *** ERROR *** abnormal definition"));
      EXPECT_TRUE(has(r.console, c.abnormal));
    }
  }
}

TEST(GetVehicle, UnreadableQvAndTariffRecordsAreCountedAndReadingGoesOn) {
  TempDir dir;
  Result r = run(OD_LIST, PCU, "1,60,40,20,1000,2000\n2,sixty,40,20,1000,2000\n3,50,30,10,500,900\n",
                 "1,10,x\n2,20,1\n");
  EXPECT_EQ(r.IERR, 18);
  EXPECT_FLOAT_EQ(r.QVTAB(3, 1), 50.0f);
  EXPECT_FLOAT_EQ(r.TARIFF(2, 1), 20.0f);
  const std::string qv_msg = "  *** ERROR *** Wrong Record at  2 in " + pad("QV.csv", 40);
  const std::string tariff_msg = "  *** ERROR *** Wrong Record at  1 in " + pad("RoadTariff.csv", 40);
  for (const Lines* l : {&r.console, &r.log}) {
    EXPECT_TRUE(has(*l, qv_msg));
    EXPECT_TRUE(has(*l, tariff_msg));
  }
}

TEST(GetVehicle, TypesAbove99AreWarnedAndSkipped) {
  TempDir dir;
  Result r = run(OD_LIST, PCU, "100,60,40,20,1000,2000\n5,60,40,20,1000,2000\n",
                 "1,10,1\n99,5,0\n100,7,7\n");
  EXPECT_EQ(r.IERR, 2);
  EXPECT_FLOAT_EQ(r.QVTAB(5, 1), 60.0f);
  EXPECT_FLOAT_EQ(r.TARIFF(99, 1), 5.0f);
  EXPECT_TRUE(has(r.console, " The following QV is ignored (> 99)."));
  EXPECT_TRUE(has(r.console, "    100    60.    40.    20.  1000.  2000."));
  EXPECT_TRUE(has(r.console, " The following Tariff is ignored (> 99)."));
  EXPECT_TRUE(has(r.console, "    100     7.     7."));
  EXPECT_TRUE(has_text(r.console, "QV.csv line 1"));
  EXPECT_TRUE(has_text(r.console, "RoadTariff.csv line 3"));
}

// A value that its result column cannot show is warned of with its line when
// read; the largest that still fits is not, and the run goes on either way.
TEST(GetVehicle, ValuesTooWideForTheirResultColumnsAreWarned) {
  struct C {
    const char* what;
    std::string pcu, qv, tariff;
    std::string warning;  // "" none
  };
  const std::string pcu_col = " does not fit the PCU column (I6) of Vehicle Impedance files and prints there as asterisks.";
  const std::string speed_col = " does not fit the average speed column (I3) of Traffic Assign files and prints there as asterisks.";
  const std::string toll_col = " does not fit the Toll Tariff column (I7) of Vehicle Impedance files and prints there as asterisks.";
  for (const C& c : std::vector<C>{
           {"PCU that fits", "1,999999.4,0.0\n", QV, "1,10,1\n", ""},
           {"PCU rounded beyond 6 digits", "1,1.0,0.0\n2,999999.6,0.0\n", QV, "1,10,1\n",
            " *** Warning *** RoadPCU.txt, line 2: the PCU 999999.6" + pcu_col},
           {"free speed that fits", PCU, "1,999,40,20,1000,2000\n", "1,10,1\n", ""},
           {"free speed of 4 digits", PCU, "1,60,40,20,1000,2000\n2,1000,40,20,1000,2000\n", "1,10,1\n",
            " *** Warning *** QV.csv, line 2: the free speed V1 1000.0" + speed_col},
           {"flat charge that fits", PCU, QV, "1,9999999,1\n", ""},
           {"flat charge of 8 digits", PCU, QV, "1,10,1\n2,1.0E8,0\n",
            " *** Warning *** RoadTariff.csv, line 2: the flat charge 100000000.0" + toll_col},
           {"flat charge offset by a charge per km below 0", PCU, QV, "1,1.0E8,-1\n", ""},
       }) {
    TempDir dir;
    Result r = run(OD_LIST, c.pcu, c.qv, c.tariff);
    EXPECT_EQ(r.IERR, 0) << c.what;
    for (const Lines* l : {&r.console, &r.log}) {
      Lines said;
      for (const std::string& line : *l)
        if (line.find("does not fit") != std::string::npos) said.push_back(line);
      EXPECT_EQ(said, c.warning.empty() ? Lines{} : Lines{c.warning}) << c.what;
    }
  }
}

}  // namespace
}  // namespace routava
