// GETNET: the input file check screen, the stage count and the console dialogue.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

const std::string DASHES = " ----------------------------------------";
const std::string ROAD_STAGES =
    "0110     00000000000    1 1100\n"
    "0210     00000000000    1 1100\n"
    "00\n";
const std::string TRANSIT_STAGE =
    "0110     00000000000    1 1100\n"
    "0220     00000000000    1 1100\n"
    "00\n";
const std::string SMALL_NETWORK = "1,2,1,1,1,0,1000\n2,1,1,1,1,0,1000\n";

struct Result {
  Settings set;
  int16_t IERR = -1;
  Lines console;
  Lines log;
  int32_t NZ = 0;
  int32_t NLROAD = 0;
};

// Runs GETNET in the current directory with the given keyboard input.
Result run_getnet(const std::string& answers, Settings set = Settings{}) {
  auto t = std::make_unique<SharedTables>();
  Result res;
  {
    Console con(answers);
    EXPECT_TRUE(open_write(LOG_UNIT, "Log.txt"));
    GETNET(set, *t, LOG_UNIT, res.IERR);
    close_unit(LOG_UNIT);
    res.console = con.lines();
  }
  res.set = set;
  res.log = read_lines("Log.txt");
  res.NZ = t->NZ;
  res.NLROAD = t->NLROAD;
  return res;
}

// The questions shown, in order, identified by the line after their dashes.
std::vector<int> questions_asked(const Lines& console) {
  static const std::map<std::string, int> first_line = {
      {" Please confirm the above files (debug=*)", 0},
      {" How to set Zone Number ?     ( Default = 2 )", 1},
      {" Which Bus Route File ?       ( Default = 3 )", 2},
      {" How to Assign Transit Modes", 3},
      {" Please Input Access Speed (km/h) on Foot", 4},
      {" Do you want Minimum path search for ?", 5},
      {" Do you need all impedance ?", 6},
      {" Do you need the Minimum Route Output Files ?.", 7},
      {" Do you need all path (route) ?", 8},
      {" Please Input Number of Zones", 9},
      {" Starting Zone Number for Partial Assignment", 10},
  };
  std::vector<int> asked;
  for (size_t k = 1; k < console.size(); ++k) {
    auto it = first_line.find(console[k]);
    if (it != first_line.end() && console[k - 1] == DASHES) asked.push_back(it->second);
  }
  return asked;
}

bool contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The block of lines from the first occurrence of `first` on, `n` lines long.
Lines block(const Lines& lines, const std::string& first, size_t n) {
  auto it = std::find(lines.begin(), lines.end(), first);
  if (it == lines.end() || size_t(lines.end() - it) < n) return {};
  return Lines(it, it + long(n));
}

// ------------------------------------------------------------ check screen

TEST(GetNetCheckScreen, LinesOnConsoleAndLogWithBusEdit) {
  TempDir dir;
  for (const char* f : {"Assign.txt", "Network.csv", "RoadVTOD.txt", "RoadPCU.txt", "QV.csv", "BusEdit.csv"})
    write_file(f, "");
  Result r = run_getnet("2\n");

  const Lines screen = {
      " === COMMON ===========" "= Vehicle Assignment =" "= Transit Assignment ==========",
      "  (exist)Assign.txt     (exist)RoadVTOD.txt   ( Non )PTOD.txt      ",
      "  (exist)Network.csv    (exist)RoadPCU.txt    ( Non )ModePCU.txt   ",
      std::string(23, ' ') + " (exist)QV.csv         ( Non )BusInput.txt  (ignored)",
      std::string(45, ' ') + " (exist)BusEdit.csv   (used)",
      "  ( Non )Screen.csv     ( Non )RoadTariff.csv ( Non )BusFare.csv   ",
      "  ( Non )Ramp.csv       (no check)CUTxx.csv",
      "",
      std::string(6, ' ') + "     OK     " + std::string(10, ' ') + "     OK     " + std::string(10, ' ') +
          "CAN NOT WORK" + std::string(5, ' '),
      " " + std::string(75, '.'),
  };
  const Lines confirmation = {"",     DASHES, " Please confirm the above files (debug=*)",
                              "      1.Yes (START)   2.No (STOP & CHECK)", DASHES, "",
                              "      ( 1.Yes   2.No ) = 2"};  // a piped answer is shown after its prompt
  Lines expected_console = screen;
  expected_console.insert(expected_console.end(), confirmation.begin(), confirmation.end());
  EXPECT_EQ(r.console, expected_console);

  // The log gets the same screen, an empty line, and the empty line of the user's stop.
  Lines expected_log = screen;
  expected_log.push_back("");
  expected_log.push_back("");
  EXPECT_EQ(r.log, expected_log);

  EXPECT_EQ(r.IERR, 9);
  EXPECT_TRUE(r.set.user_stop);
}

TEST(GetNetCheckScreen, RowsWithoutBusEdit) {
  TempDir dir;
  write_file("BusInput.txt", "");
  write_file("Ramp.csv", "");
  Result r = run_getnet("2\n");
  ASSERT_GE(r.console.size(), 7u);
  EXPECT_EQ(r.console[3], std::string(23, ' ') + " ( Non )QV.csv         (exist)BusInput.txt  ");
  EXPECT_EQ(r.console[4], std::string(45, ' ') + " ( Non )BusEdit.csv   ");
  EXPECT_EQ(r.console[6], "  (exist)Ramp.csv       (no check)CUTxx.csv");
}

TEST(GetNetCheckScreen, Judgements) {
  struct Case {
    std::vector<std::string> present;
    std::string common, vehicle, transit;
  };
  const std::string OK = "     OK     ", NO = "CAN NOT WORK";
  const std::vector<Case> cases = {
      {{}, NO, NO, NO},
      {{"Assign.txt"}, NO, NO, NO},
      {{"Assign.txt", "Network.csv"}, OK, NO, NO},
      {{"RoadVTOD.txt", "RoadPCU.txt"}, NO, NO, NO},
      {{"RoadVTOD.txt", "RoadPCU.txt", "QV.csv"}, NO, OK, NO},
      {{"PTOD.txt", "ModePCU.txt"}, NO, NO, NO},
      {{"PTOD.txt", "ModePCU.txt", "BusInput.txt"}, NO, NO, OK},
      {{"PTOD.txt", "ModePCU.txt", "BusEdit.csv"}, NO, NO, OK},
      {{"PTOD.txt", "BusEdit.csv", "BusInput.txt"}, NO, NO, NO},
      // names are matched without regard to case
      {{"ASSIGN.TXT", "network.csv", "roadvtod.txt", "ROADPCU.TXT", "qv.CSV"}, OK, OK, NO},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const auto& f : c.present) write_file(f, "");
    Result r = run_getnet("2\n");
    const std::string line = std::string(6, ' ') + c.common + std::string(10, ' ') + c.vehicle +
                             std::string(10, ' ') + c.transit + std::string(5, ' ');
    ASSERT_GE(r.console.size(), 9u);
    EXPECT_EQ(r.console[8], line) << "present: " << testing::PrintToString(c.present);
    ASSERT_GE(r.log.size(), 9u);
    EXPECT_EQ(r.log[8], line);
  }
}

TEST(GetNetCheckScreen, MissingControlFileIsNotCreated) {
  TempDir dir;
  Result r = run_getnet("2\n");
  EXPECT_EQ(r.console[1].substr(0, 19), "  ( Non )Assign.txt");
  EXPECT_FALSE(test::fs::exists("Assign.txt"));
}

// ------------------------------------------------------------ confirmation

TEST(GetNetConfirmation, OtherAnswersRepeatItAndNineIsDebugMode) {
  TempDir dir;
  write_file("Assign.txt", ROAD_STAGES);
  write_file("Network.csv", SMALL_NETWORK);
  // 3 and 0 repeat the confirmation; 9 enters debug mode.
  Result r = run_getnet("3\n0\n9\n2\n1\n2\n1\n1\n");
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(r.set.KDEBUG, 1);
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 0, 0, 1, 5, 6, 7, 8}));
  const Lines banner = {"",
                        " *******************************",
                        " * Why do you know this mode ? *",
                        " *   --- DEBUG MODE ---        *",
                        " * Take care of settings !     *",
                        " *******************************"};
  EXPECT_EQ(block(r.console, " *******************************", 5),
            Lines(banner.begin() + 1, banner.end()));
  EXPECT_FALSE(contains(r.log, " * Why do you know this mode ? *"));
}

// ------------------------------------------------------------ questions

TEST(GetNetQuestions, RoadOnlyControlFileAsksFiveSixSevenEight) {
  TempDir dir;
  write_file("Assign.txt", ROAD_STAGES);
  write_file("Network.csv", SMALL_NETWORK);
  Settings start;
  start.FOOTSP = 3;
  Result r = run_getnet("1\n1\n2\n1\n1\n", start);
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 5, 6, 7, 8}));
  EXPECT_EQ(r.set.KDEBUG, 0);
  EXPECT_FALSE(contains(r.console, " *   --- DEBUG MODE ---        *"));
  EXPECT_EQ(r.set.MODEPT, 1);
  EXPECT_EQ(r.set.FOOTSP, 3);  // kept when no transit stage exists
  EXPECT_EQ(r.set.zone_mode, 1);
  EXPECT_EQ(r.set.route_file_choice, 2);
  EXPECT_EQ(r.set.KSRCH, 0);
  EXPECT_EQ(r.set.KIMPALL, 1);
  EXPECT_EQ(r.set.KPATH, 1);
  EXPECT_EQ(r.set.KPATHALL, 0);
  EXPECT_EQ(r.set.KHOME, 1);

  // Exact blocks of questions 5 to 8 in normal mode.
  EXPECT_EQ(block(r.console, " Do you want Minimum path search for ?", 7),
            (Lines{" Do you want Minimum path search for ?", "  @ 1.Only zones of total generated trips>0",
                   "        *) to save time and disk spce", "    2.All zones",
                   "        *) to get impedance for all OD pairs", DASHES, "  (Default = 1)   Which one = 1"}));
  EXPECT_EQ(block(r.console, " Do you need all impedance ?", 5),
            (Lines{" Do you need all impedance ?", "    1.only OD pair of some Trips", "  @ 2.All Output",
                   DASHES, "  (Default = 2)   Which one = 2"}));
  EXPECT_EQ(block(r.console, " Do you need the Minimum Route Output Files ?.", 8),
            (Lines{" Do you need the Minimum Route Output Files ?.",
                   " *) 1 is recommended because Path is important data.",
                   "    If you need direction analysis at crossing or to",
                   "    get number of passengers at bus stops & stations,", "    you must select 1",
                   "    1. Yes, I need     2. No (for saving disk space )", DASHES,
                   "      Which ( 1 or 2 ) = 1"}));
  EXPECT_EQ(block(r.console, " Do you need all path (route) ?", 5),
            (Lines{" Do you need all path (route) ?", "  @ 1.only OD pairs of Trips>0", "    2.All pairs",
                   DASHES, "  (Default = 1)   Which one = 1"}));

  // Log echoes, then the empty line before the network is read.
  EXPECT_EQ(block(r.log, " Minimum Path Search for Generated trips > 0", 6),
            (Lines{" Minimum Path Search for Generated trips > 0", " Impedance Output of All OD pairs",
                   " Minimum Path Output", " Path output of OD pairs of Trips > 0", "",
                   " Read Network Data from Network.csv"}));
}

TEST(GetNetQuestions, TransitStagesAskModeAndAccessSpeed) {
  TempDir dir;
  write_file("Assign.txt", TRANSIT_STAGE);
  write_file("Network.csv", SMALL_NETWORK);
  Result r = run_getnet("1\n3\n4\n2\n1\n1\n2\n");
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(r.set.MODEPT, 3);
  EXPECT_EQ(r.set.FOOTSP, 4);
  EXPECT_EQ(r.set.route_file_choice, 2);
  EXPECT_EQ(r.set.KSRCH, 1);
  EXPECT_EQ(r.set.KIMPALL, 0);
  EXPECT_EQ(r.set.KPATH, 1);
  EXPECT_EQ(r.set.KPATHALL, 1);

  EXPECT_EQ(block(r.console, " How to Assign Transit Modes", 12),
            (Lines{" How to Assign Transit Modes", "  1 ; Normal Assignment",
                   "      Loading sections by PCU converted from Passengers",
                   "  2 ; Pre-Loading on Transit Routes by Operation Plan",
                   "      Bus do not occupy the capacity of road any more",
                   "  3 ; Bus operations increase by Demand of Passengers",
                   "      Minimum headway is limited by \"ModePCU.txt\"",
                   "      Loading the operations after assignment",
                   "  4 ; (Special Case) Pre-Loading by Transit Operations",
                   "      But no assignment of Transit mode", DASHES, "         How to Assign = 3"}));
  EXPECT_EQ(block(r.console, " Please Input Access Speed (km/h) on Foot", 4),
            (Lines{" Please Input Access Speed (km/h) on Foot", "                   for Transit Assignment",
                   DASHES, "   Access Speed (km/h) = 4"}));
  EXPECT_EQ(block(r.log, " How to Assign Transit Mode", 7),
            (Lines{" How to Assign Transit Mode", " 3.Bus operations increase by Demand of Passengers",
                   "  Access Speed (km/h) =   4 km/h", " Minimum Path Search for All Zones",
                   " Impedance Output of OD pairs = Trips > 0", " Minimum Path Output",
                   " Path output of All pairs"}));
}

TEST(GetNetQuestions, ModeEchoesInLog) {
  const std::vector<std::pair<int, std::string>> cases = {
      {1, " 1.Normal Assignment"},
      {2, " 2.Pre-Loading on Transit Routes by Operation Plan"},
      {3, " 3.Bus operations increase by Demand of Passengers"},
      {4, " 4.Pre-Loading of Transit mode, but No assignment"},
  };
  for (const auto& [mode, echo] : cases) {
    TempDir dir;
    write_file("Assign.txt", TRANSIT_STAGE);
    write_file("Network.csv", SMALL_NETWORK);
    Result r = run_getnet("1\n" + std::to_string(mode) + "\n120\n1\n2\n1\n1\n");
    EXPECT_EQ(r.set.MODEPT, mode);
    EXPECT_EQ(block(r.log, " How to Assign Transit Mode", 3),
              (Lines{" How to Assign Transit Mode", echo, "  Access Speed (km/h) = 120 km/h"}));
  }
}

TEST(GetNetQuestions, OutOfRangeAnswersAreAskedAgain) {
  TempDir dir;
  write_file("Assign.txt", TRANSIT_STAGE);
  write_file("Network.csv", SMALL_NETWORK);
  // Q3: 0 and 5 refused; Q4: 0 refused; Q5: 0 and 3 refused; Q6: 3; Q7: any; Q8: 0.
  Result r = run_getnet("1\n0\n5\n2\n0\n6\n0\n3\n2\n3\n2\n1\n0\n1\n");
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 3, 3, 3, 4, 4, 5, 5, 5, 6, 6, 7, 8, 8}));
  EXPECT_EQ(r.set.MODEPT, 2);
  EXPECT_EQ(r.set.FOOTSP, 6);
  EXPECT_EQ(r.set.KSRCH, 1);
  EXPECT_EQ(r.set.KIMPALL, 1);
  EXPECT_EQ(r.set.KPATHALL, 0);
}

TEST(GetNetQuestions, AnswerSevenToRouteOutputSkipsPathQuestion) {
  TempDir dir;
  write_file("Assign.txt", ROAD_STAGES);
  write_file("Network.csv", SMALL_NETWORK);
  Settings start;
  start.KPATHALL = 1;
  Result r = run_getnet("1\n1\n2\n7\n", start);
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(r.set.KPATH, 0);
  EXPECT_EQ(r.set.KPATHALL, 1);  // not asked, keeps its value
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 5, 6, 7}));
  const Lines warning = {" You can not analyze Direction Analysis at crossing",
                         " & Bus Passenger Analysis at Bus Stop"};
  EXPECT_EQ(block(r.console, "      Which ( 1 or 2 ) = 7", 4),
            (Lines{"      Which ( 1 or 2 ) = 7", " You selected... No output of VehiclePathVT, TransitPathPT", warning[0],
                   warning[1]}));
  EXPECT_EQ(block(r.log, " You selected... No output of VehiclePathVT, TransitPathPT", 3),
            (Lines{" You selected... No output of VehiclePathVT, TransitPathPT", warning[0], warning[1]}));
  EXPECT_FALSE(contains(r.log, " Minimum Path Output"));
}

TEST(GetNetQuestions, RouteOutputFlagFromAnyAnswer) {
  const std::vector<std::pair<int, int>> cases = {{-4, 1}, {0, 1}, {1, 1}, {2, 0}, {99, 0}};
  for (const auto& [answer, kpath] : cases) {
    TempDir dir;
    write_file("Network.csv", SMALL_NETWORK);
    Result r = run_getnet("1\n1\n1\n" + std::to_string(answer) + "\n1\n");
    EXPECT_EQ(r.set.KPATH, kpath) << "answer " << answer;
    EXPECT_EQ(questions_asked(r.console).size(), kpath == 1 ? 5u : 4u);
  }
}

TEST(GetNetQuestions, DebugModeWithTransitAsksEveryQuestion) {
  TempDir dir;
  write_file("Assign.txt", TRANSIT_STAGE);
  write_file("Network.csv", SMALL_NETWORK + "5,1,1,1,1,0,500\n");
  // debug; Q1 typed zones; Q2 BusInput.txt; Q3 1; Q4 5; Q5 1; Q6 2; Q7 1; Q8 1;
  // Q9 3 zones; Q10: 4 is above NZ and 0 below 1, both asked again, then 2.
  Result r = run_getnet("9\n1\n2\n1\n5\n1\n2\n1\n1\n3\n4\n0\n2\n");
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10}));
  EXPECT_EQ(r.set.KDEBUG, 1);
  EXPECT_EQ(r.set.zone_mode, 0);
  EXPECT_EQ(r.set.route_file_choice, 1);
  EXPECT_EQ(r.set.MODEPT, 1);
  EXPECT_EQ(r.set.FOOTSP, 5);
  EXPECT_EQ(r.set.KHOME, 2);
  EXPECT_EQ(r.NZ, 3);  // typed, not taken from the links

  EXPECT_EQ(block(r.console, " How to set Zone Number ?     ( Default = 2 )", 4),
            (Lines{" How to set Zone Number ?     ( Default = 2 )",
                   " (1.Input Number of Zone   2.Automatic Set from Link)", DASHES, "         Which one (1) = 1"}));
  EXPECT_EQ(block(r.console, " Which Bus Route File ?       ( Default = 3 )", 4),
            (Lines{" Which Bus Route File ?       ( Default = 3 )",
                   " (1.Selection by User  2.BusInput.txt  3.Automatic)", DASHES, "         Which one (3) = 2"}));
  // In debug mode the route question has no advice lines.
  EXPECT_EQ(block(r.console, " Do you need the Minimum Route Output Files ?.", 4),
            (Lines{" Do you need the Minimum Route Output Files ?.",
                   "    1. Yes, I need     2. No (for saving disk space )", DASHES, "      Which ( 1 or 2 ) = 1"}));
  EXPECT_EQ(block(r.console, " Please Input Number of Zones", 3),
            (Lines{" Please Input Number of Zones", DASHES, "  Number of Zones & Centroids = 3"}));
  EXPECT_EQ(block(r.console, " Starting Zone Number for Partial Assignment", 6),
            (Lines{" Starting Zone Number for Partial Assignment", "    *) KHOME = 1 (normal case)",
                   "       KHOME = n (origin zone from n to NZ)", "    *) all destination zones are assigned.",
                   DASHES, "                Starting Zone = 4"}));
  // A typed zone count goes to the log only.
  EXPECT_TRUE(contains(r.log, "  Number of Zones & Centroids =    3"));
  for (const auto& l : r.console) EXPECT_NE(l, "  Number of Zones & Centroids =    3");
}

TEST(GetNetQuestions, TypedZoneCountAndStartingZone) {
  struct Case {
    std::string zone_answers;  // answers to questions 9 and 10
    std::vector<int> asked_after_8;
    int32_t NZ;
    int16_t KHOME;
  };
  const std::vector<Case> cases = {
      {"1\n250\n", {9, 10}, 1, 250},         // one zone: any starting zone of 1 or more
      {"0\n-1\n3\n", {9, 10, 10}, 0, 3},    // no zones: as with an empty automatic count
      {"-5\n2\n1\n", {9, 9, 10}, 2, 1},     // a negative count is asked again
      {"2\n3\n2\n", {9, 10, 10}, 2, 2},     // above NZ is asked again
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file("Network.csv", SMALL_NETWORK);
    Result r = run_getnet("9\n1\n1\n2\n1\n1\n" + c.zone_answers);
    EXPECT_EQ(r.IERR, 0);
    std::vector<int> asked = {0, 1, 5, 6, 7, 8};
    asked.insert(asked.end(), c.asked_after_8.begin(), c.asked_after_8.end());
    EXPECT_EQ(questions_asked(r.console), asked) << c.zone_answers;
    EXPECT_EQ(r.NZ, c.NZ);
    EXPECT_EQ(r.set.KHOME, c.KHOME);
  }
}

TEST(GetNetQuestions, ControlFileLinesThatCannotBeReadAreNotCounted) {
  TempDir dir;
  // A stray text line does not stop the count: the transit record after it still counts.
  write_file("Assign.txt", "0110     00000000000    1 1100\nxx stages end here\n0220     00000000000    1 1100\n");
  write_file("Network.csv", SMALL_NETWORK);
  Result r = run_getnet("1\n1\n4\n1\n1\n1\n1\n");
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 3, 4, 5, 6, 7, 8}));
}

// The stage loop reads only the pairs in use, so such a record runs as a transit
// stage: its questions must be asked, or it would run without walking speed.
TEST(GetNetQuestions, TransitRecordWithTextAfterItsPairsIsCounted) {
  struct C {
    const char* name;
    const char* record;
  };
  for (C c : {C{"comment after the one pair", "0220     00000000000    1 1100  morning peak\n"},
              C{"letters in the unused pair columns", "0220     00000000000    1 1100 xx100\n"}}) {
    TempDir dir;
    write_file("Assign.txt", std::string("0110     00000000000    1 1100\n") + c.record + "00\n");
    write_file("Network.csv", SMALL_NETWORK);
    Result r = run_getnet("1\n2\n4\n1\n1\n1\n1\n");
    EXPECT_EQ(r.IERR, 0) << c.name;
    EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 3, 4, 5, 6, 7, 8})) << c.name;
    EXPECT_EQ(r.set.MODEPT, 2) << c.name;
    EXPECT_EQ(r.set.FOOTSP, 4) << c.name;
  }
}

TEST(GetNetQuestions, KindZeroRecordIsNotATransitStage) {
  TempDir dir;
  write_file("Assign.txt", "0100     00000000000    1 1100\n0300     00000000000    1 1100\n");
  write_file("Network.csv", SMALL_NETWORK);
  Result r = run_getnet("1\n1\n2\n1\n1\n");
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 5, 6, 7, 8}));
}

// ------------------------------------------------------------ console input

TEST(GetNetConsole, NonNumberIsAskedAgain) {
  TempDir dir;
  write_file("Network.csv", SMALL_NETWORK);
  Result r = run_getnet("yes\n1\n1.5\n2\n2\n1\n1\n");
  EXPECT_EQ(r.IERR, 0);
  EXPECT_EQ(questions_asked(r.console), (std::vector<int>{0, 0, 5, 5, 6, 7, 8}));
  EXPECT_EQ(std::count(r.console.begin(), r.console.end(), " Please answer with a whole number."), 2);
  EXPECT_EQ(r.set.KSRCH, 1);
}

TEST(GetNetConsole, EndOfInputEndsTheRunWithAMessage) {
  const std::vector<std::string> inputs = {"", "4\n", "1\n", "1\n2\n2\n1\n", "9\n1\n1\n1\n1\n1\n"};
  for (const auto& input : inputs) {
    TempDir dir;
    write_file("Network.csv", SMALL_NETWORK);
    Result r = run_getnet(input);
    EXPECT_EQ(r.IERR, 9) << "input " << testing::PrintToString(input);
    EXPECT_FALSE(r.set.user_stop);
    const Lines message = {" === SUBROUTINE GetNet =======",
                           " *** Error *** No answer: the console input has ended."};
    EXPECT_EQ(block(r.console, message[0], 2), message);
    EXPECT_EQ(block(r.log, message[0], 2), message);
    EXPECT_FALSE(contains(r.log, " Read Network Data from Network.csv"));
  }
}

}  // namespace
}  // namespace routava
