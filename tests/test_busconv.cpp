// Bus route conversion: the keyword scanner, the two output layouts and the
// choice between converting again and keeping the converted file.
#include <gtest/gtest.h>

#include <algorithm>
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

const char* const EDIT_HEADER = "RouteID,Seq   ,Mode  ,Freq  ,NodeNo,Node  ,Speed ,\n";
const char* const COST_HEADER = "RouteID,Flat Fare,Dist Fare,Mode,Bus Route Name,\n";

FileNames conv_names() { return test::conversion_names(); }

void convert() { BUSCONV(conv_names(), 0); }

// The node records of a converted file, as (code, speed) texts.
std::vector<std::pair<std::string, std::string>> node_fields(int route) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& l : read_lines("BusEdit.csv")) {
    if (l.size() < 27 || l[0] == 'R' || l.substr(5, 5) == ",  0,") continue;  // header, route records
    if (std::stoi(l.substr(0, 5)) != route) continue;
    out.emplace_back(l.substr(13, 6), l.substr(20, 6));
  }
  return out;
}

TEST(BusConv, BlueLineExampleGivesBothDirectionsByteForByte) {
  TempDir dir;
  write_file("BusInput.txt",
             "LINE NAME=\"Blue line\",M=3,F=10,O=F\n"
             "N=101,102,-103,104 S=30\n");
  Console con;
  convert();
  EXPECT_EQ(read_file("BusEdit.csv"),
            std::string(EDIT_HEADER) +
                "    1,  0,     3,    10,     4,,,\n"
                "    1,  1,,,,   101,    30,\n"
                "    1,  2,,,,   102,    30,\n"
                "    1,  3,,,,  -103,    30,\n"
                "    1,  4,,,,   104,    30,\n"
                "    2,  0,     3,    10,     4,,,\n"
                "    2,  1,,,,   104,    30,\n"
                "    2,  2,,,,  -103,    30,\n"
                "    2,  3,,,,   102,    30,\n"
                "    2,  4,,,,   101,    30,\n");
  EXPECT_EQ(read_file("BusCost.csv"), std::string(COST_HEADER) +
                                          "     1,0,0,     3,Blue line   ,\n"
                                          "     2,0,0,     3,Blue line   ,\n");
  const std::vector<std::string> screen = con.lines();
  ASSERT_EQ(screen.size(), 3u);
  EXPECT_EQ(screen[0], "  Bus Data Conversion  Input = BusInput.txt      Output = BusEdit.csv     ");
  EXPECT_EQ(screen[1], "              another output = BusCost.csv     ");
  EXPECT_EQ(screen[2], " Number of Bus Route = 2");
  EXPECT_EQ(free_unit(), 10);
}

TEST(BusConv, SpeedsAreFilledFromTheFirstGivenAndThenForward) {
  struct Case {
    const char* nodes;
    std::vector<std::string> speeds;
  };
  const std::vector<Case> cases = {
      {"N=1 2 3 S=40 4 5", {"    40", "    40", "    40", "    40", "    40"}},
      {"N=1 S=20 2 3 S=35 4 5", {"    20", "    20", "    35", "    35", "    35"}},
      {"N=1 2 3", {"      ", "      ", "      "}},
      {"N=1 S=5 2 S=1234 3 S=100", {"   100", "   100", "   100"}},  // only 2 or 3 characters count
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file("BusInput.txt", std::string("L         \"x\",M=1,F=5\n") + c.nodes + "\n");
    Console con;
    convert();
    const auto nodes = node_fields(1);
    ASSERT_EQ(nodes.size(), c.speeds.size()) << c.nodes;
    for (size_t i = 0; i < nodes.size(); ++i) EXPECT_EQ(nodes[i].second, c.speeds[i]) << c.nodes << " node " << i + 1;
  }
}

TEST(BusConv, ValuesAreKeptAsTextRightAligned) {
  struct Case {
    const char* line;
    const char* route_record;
  };
  const std::vector<Case> cases = {
      {"L\"........\"Red,M=12,F=7.5,N=9", "    1,  0,    12,   7.5,     1,,,"},
      {"L\"........\"Red,M=123,F=7.5,N=9", "    1,  0,      ,   7.5,     1,,,"},  // mode of 3 left blank
      {"L\"........\"Red,M=,F=,N=9", "    1,  0,      ,      ,     1,,,"},
      {"L\"........\"Red\" Mode=4 Freq=15 Node=9", "    1,  0,     4,    15,     1,,,"},
      {"L\"........\"Red\",F=15", "    1,  0,      ,    15,     0,,,"},  // no nodes
      // M finds the next "=" on the line, F's: its value becomes the mode and F is passed over.
      {"L\"........\"Red,M 4,F=6,N=9", "    1,  0,     6,      ,     1,,,"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file("BusInput.txt", std::string(c.line) + "\n");
    Console con;
    convert();
    const std::vector<std::string> lines = read_lines("BusEdit.csv");
    ASSERT_GE(lines.size(), 2u) << c.line;
    EXPECT_EQ(lines[1], c.route_record) << c.line;
  }
}

TEST(BusConv, ScannerRecognisesOnlyCapitalKeywordsAndBareNumbers) {
  TempDir dir;
  write_file("BusInput.txt",
             "Routes of the test town 7=ignored\n"  // before the first L: discarded
             "L         \"Green\",M=2,F=12\n"
             "nodes 11,12 s=30 X13 0 -14\n");
  Console con;
  convert();
  const auto nodes = node_fields(1);
  // lower-case s is no keyword, so 30 is a node; 0 starts nothing.
  std::vector<std::string> codes;
  for (const auto& n : nodes) codes.push_back(n.first);
  EXPECT_EQ(codes, (std::vector<std::string>{"    11", "    12", "    30", "    13", "   -14"}));
  EXPECT_EQ(read_lines("BusCost.csv")[1], "     1,0,0,     2,Green       ,");
  EXPECT_EQ(con.lines().back(), " Number of Bus Route = 1");
}

TEST(BusConv, ReverseSwitchStaysOnUntilTheNextOValue) {
  TempDir dir;
  write_file("BusInput.txt",
             "O=F\n"  // an O before the first route is kept
             "L         \"A\",M=1,F=10\nN=1,2\n"
             "L         \"B\",M=1,F=10\nN=3,4\n"
             "L         \"C\",M=1,F=10,O=N\nN=5,6\n"
             "L         \"D\",M=1,F=10\nN=7,8\n");
  Console con;
  convert();
  const std::vector<std::string> cost = read_lines("BusCost.csv");
  std::vector<std::string> names;
  for (size_t i = 1; i < cost.size(); ++i) names.push_back(cost[i].substr(0, 6) + cost[i].substr(18, 1));
  EXPECT_EQ(names, (std::vector<std::string>{"     1A", "     2A", "     3B", "     4B", "     5C",
                                             "     6D"}));
  EXPECT_EQ(node_fields(4), (std::vector<std::pair<std::string, std::string>>{
                                {"     4", "      "}, {"     3", "      "}}));
  EXPECT_EQ(con.lines().back(), " Number of Bus Route = 6");
}

TEST(BusConv, UnterminatedNameEndsWithTheLineAndConversionGoesOn) {
  TempDir dir;
  write_file("BusInput.txt",
             "L         \"Longer than twelve\n"
             "M=1 F=10 N=1,2\n" +
             std::string(90, ' ') + "L\n"  // the name would start beyond column 100
             "M=2 F=20 N=3,4" + std::string(86, ' ') + "5\n");  // the 5 is in column 101
  Console con;
  convert();
  EXPECT_EQ(read_file("BusCost.csv"), std::string(COST_HEADER) +
                                          "     1,0,0,     1,Longer than ,\n"
                                          "     2,0,0,     2,            ,\n");
  EXPECT_EQ(node_fields(2).size(), 2u);
  const std::vector<std::string> screen = con.lines();
  EXPECT_EQ(screen[2], " * WARNING * BusInput.txt line 4: text after column 100 is ignored");
  EXPECT_EQ(screen.back(), " Number of Bus Route = 2");
}

// Values the route file cannot hold are reported with file, line and route;
// the outputs are then not kept, so the run cannot go on with a wrong network.
TEST(BusConv, ValuesTooLongForTheirFieldsRejectTheConversion) {
  struct Case {
    std::string input;
    std::string message;
  };
  std::string many;  // 201 nodes, 20 to a line: the last one on line 12
  for (int i = 1; i <= 201; ++i) many += std::to_string(i) + (i % 20 == 0 ? "\n" : ",");
  const std::vector<Case> cases = {
      {"L         \"A\",M=1,F=1234567\nN=1,2\n", " ** ERROR ** BusInput.txt line 1, Route 1: Freq longer than 6 characters: 1234567"},
      {"L         \"A\",M=1,F=5\nN=1,1234567\n", " ** ERROR ** BusInput.txt line 2, Route 1: node code longer than 6 characters: 1234567"},
      {"L         \"A\",M=1,F=5\nN=-123456,2\n", " ** ERROR ** BusInput.txt line 2, Route 1: node code longer than 6 characters: -123456"},
      {"L         \"A\",M=1,F=5\nS=30 N=1,2\n", " ** ERROR ** BusInput.txt line 2, Route 1: speed before the first node: 30"},
      {"L         \"A\",M=1,F=5\nN=1,2\nO F\n", " ** ERROR ** BusInput.txt line 3, Route 1: O without \"=\" on its line"},
      {"L         \"A\",M=1,F=5\n" + many + "\n", " ** ERROR ** BusInput.txt line 12, Route 1: more than 200 nodes in the route"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file("BusInput.txt", c.input);
    write_file("BusEdit.csv", "stale\n");
    Console con;
    convert();
    const std::string text = con.text();
    EXPECT_NE(text.find(c.message + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" *** ERROR *** BusInput.txt has 1 error(s): BusEdit.csv and BusCost.csv are not written"),
              std::string::npos)
        << text;
    EXPECT_FALSE(file_exists("BusEdit.csv")) << c.message;
    EXPECT_FALSE(file_exists("BusCost.csv")) << c.message;
  }
}

TEST(BusConv, KeywordsBeforeTheFirstRouteAreNotChecked) {
  TempDir dir;
  write_file("BusInput.txt", "Only Some Freq=12345678 Notes 1234567\nL         \"A\",M=1,F=5\nN=1,2\n");
  Console con;
  convert();
  EXPECT_TRUE(file_exists("BusEdit.csv"));
  EXPECT_EQ(con.text().find("ERROR"), std::string::npos);
  EXPECT_EQ(read_lines("BusEdit.csv")[1], "    1,  0,     1,     5,     2,,,");
}

TEST(BusConv, InputWithoutRoutesIsSaid) {
  TempDir dir;
  write_file("BusInput.txt", "Notes only, no route keyword\n");
  Console con;
  convert();
  const auto lines = con.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], " Number of Bus Route = 0");
  EXPECT_EQ(lines.back(), " *** Warning *** BusInput.txt has no LINE record: no transit route at all.");
}

TEST(BusConv, MissingInputWritesNothing) {
  TempDir dir;
  Console con;
  convert();
  EXPECT_EQ(con.lines(), (std::vector<std::string>{" *** ERROR *** Can not find BusInput.txt"}));
  EXPECT_FALSE(file_exists("BusEdit.csv"));
  EXPECT_EQ(free_unit(), 10);
}

// ---- the choice between converting and keeping the converted file

struct ChoiceCase {
  int16_t choice;
  bool input;
  bool converted;
  std::string keyboard;
  bool converts;
  std::vector<std::string> screen_has;
  int16_t choice_after;
};

TEST(GetBusConv, ChoiceAndFilesDecideWhetherToConvert) {
  const std::vector<ChoiceCase> cases = {
      {1, true, true, "", true, {"  Bus Data Conversion  Input = BusInput.txt      Output = BusEdit.csv     "}, 1},
      {1, false, true, "", false, {}, 1},
      {1, false, false, "", false, {" *** ERROR *** Can not find BusInput.txt"}, 1},
      {2, true, false, "", true, {" Number of Bus Route = 1"}, 2},
      {0, true, false, "", true, {" Number of Bus Route = 1"}, 0},
      {2, false, true, "", false,
       {" This program use the existing BusEdit.csv     ",
        " because BusInput.txt     does not exist"}, 2},
      {0, false, true, "", false, {" This program use the existing BusEdit.csv     "}, 0},
      {2, true, true, "", false, {"  This program use the existing " + pad("BusEdit.csv", 30)}, 2},
      {0, true, true, "1\n", true, {" Convert from BusInput.txt", " Number of Bus Route = 1"}, 1},
      {0, true, true, "0\n", false, {" This program use the existing BusEdit.csv"}, 0},
      {0, true, true, "7\n", false, {" This program use the existing BusEdit.csv"}, 7},
      {0, true, true, "x\n1\n", true, {" Please answer 0 or 1.", " Convert from BusInput.txt"}, 1},
      {0, true, true, "", false,
       {" No answer given: the converted file is used.", " This program use the existing BusEdit.csv"}, 0},
  };
  const std::string old_edit = "old converted file\n";
  for (const ChoiceCase& c : cases) {
    TempDir dir;
    if (c.input) write_file("BusInput.txt", "L         \"A\",M=1,F=5\nN=1,2\n");
    if (c.converted) write_file("BusEdit.csv", old_edit);
    Settings set;
    set.route_file_choice = c.choice;
    const int16_t& choice = set.route_file_choice;
    std::vector<std::string> screen;
    {
      Console con(c.keyboard);
      GETBUSCONV(set, conv_names(), 0);
      screen = con.lines();
    }
    const std::string label = "choice " + std::to_string(c.choice) + " input " + std::to_string(c.input) +
                              " converted " + std::to_string(c.converted) + " keys '" + c.keyboard + "'";
    for (const std::string& want : c.screen_has) {
      EXPECT_NE(std::find(screen.begin(), screen.end(), want), screen.end()) << label << ": " << want;
    }
    if (c.converts) {
      EXPECT_EQ(read_lines("BusEdit.csv").at(1), "    1,  0,     1,     5,     2,,,") << label;
    } else if (c.converted) {
      EXPECT_EQ(read_file("BusEdit.csv"), old_edit) << label;
    } else {
      EXPECT_FALSE(file_exists("BusEdit.csv")) << label;
    }
    EXPECT_EQ(choice, c.choice_after) << label;
    if (!c.converts && c.choice != 0) {
      EXPECT_EQ(screen.size(), c.screen_has.size()) << label;
    }
  }
}

TEST(GetBusConv, DialogueIsShownOnScreenAndEchoedToTheLog) {
  TempDir dir;
  write_file("BusInput.txt", "L         \"A\",M=1,F=5\nN=1,2\n");
  write_file("BusEdit.csv", "old\n");
  ASSERT_TRUE(open_write(LOG_UNIT, "Log.txt"));
  Settings set;
  set.route_file_choice = 0;
  std::vector<std::string> screen;
  {
    Console con("0\n");
    GETBUSCONV(set, conv_names(), LOG_UNIT);
    screen = con.lines();
  }
  close_unit(LOG_UNIT);
  const std::string dashes = "  " + std::string(55, '-');
  EXPECT_EQ(screen, (std::vector<std::string>{
                        dashes,
                        "  BusEdit.csv      (converted file) exists",
                        "   0 ; Use this converted file BusEdit.csv",
                        "    1 ; Use original BusInput.txt     & convert again",
                        "   if input = 1, the Converted File will be over written",
                        dashes,
                        "  ( Use 0=Converted File, 1=Original File) which = 0",
                        " This program use the existing BusEdit.csv",
                    }));
  EXPECT_EQ(read_lines("Log.txt"), (std::vector<std::string>{
                                       dashes,
                                       "  BusEdit.csv      (converted file) exists",
                                       " 0 ; Use this converted file BusEdit.csv",
                                       "  1 ; Use original BusInput.txt     & convert again",
                                       "  ( Use 0=Converted File, 1=Original File) which =  0",
                                       dashes,
                                       " This program use the existing BusEdit.csv",
                                   }));
  EXPECT_EQ(read_file("BusEdit.csv"), "old\n");
}

}  // namespace
}  // namespace routava
