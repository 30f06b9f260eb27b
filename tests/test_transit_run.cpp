// Complete runs of examples/transit (two road and two transit stages, the second
// transit stage with KHOLD 1) in each transit loading mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::read_lines;
using test::TempDir;
using Lines = std::vector<std::string>;

void copy_example() {
  const fs::path src = fs::path(ROUTAVA_SOURCE_DIR) / "examples" / "transit";
  for (const auto& e : fs::directory_iterator(src)) {
    fs::copy_file(e.path(), fs::current_path() / e.path().filename(), fs::copy_options::overwrite_existing);
    fs::permissions(e.path().filename(), fs::perms::owner_write, fs::perm_options::add);
  }
}

int run_answers(int modept) { return test::run_program(read_file("answers" + std::to_string(modept) + ".txt")); }

// Copies the example into the working directory and runs it with the answers of one mode.
int run_example(int modept) {
  copy_example();
  return run_answers(modept);
}

std::set<std::string> outputs() {
  const fs::path src = fs::path(ROUTAVA_SOURCE_DIR) / "examples" / "transit";
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(fs::current_path())) {
    const std::string name = e.path().filename().string();
    if (!fs::exists(src / name) && name != "answers.in" && name != "console.out") out.insert(name);
  }
  return out;
}

std::set<std::string> expected_outputs(int modept) {
  std::set<std::string> files = test::stage_outputs({"01", "03"}, {});
  files.insert("BusEdit2.csv");
  if (modept == 4) return files;
  files.merge(test::stage_outputs({}, {"02", "04"}));
  // Stage 2 overfills route 1 between 1012 and 1013; stage 4 removes that section.
  files.insert("Transit CapacityOver04.csv");
  files.insert("Transit Operations.csv");
  return files;
}

// Link records of a link volume file by (O-Node, D-Node).
std::map<std::pair<int, int>, std::vector<std::string>> link_records(const std::string& file) {
  std::map<std::pair<int, int>, std::vector<std::string>> out;
  const Lines lines = read_lines(file);
  for (size_t i = 1; i < lines.size(); ++i) {
    auto f = test::csv_fields(lines[i]);
    out[{std::stoi(f[0]), std::stoi(f[1])}] = f;
  }
  return out;
}

// Paths: every pair's steps run 1..n from the destination, start at the origin,
// board as often as they alight, and add up to the link volume file.
void check_paths_against_volumes(const std::string& stage) {
  SCOPED_TRACE("stage " + stage);
  const Lines path = read_lines("Transit PathPT" + stage + ".csv");
  ASSERT_GT(path.size(), 1u);
  std::map<std::pair<int, int>, std::vector<std::vector<std::string>>> pairs;
  for (size_t i = 1; i < path.size(); ++i) {
    auto f = test::csv_fields(path[i]);
    ASSERT_EQ(f.size(), 12u) << path[i];
    pairs[{std::stoi(f[9]), std::stoi(f[10])}].push_back(f);
  }
  std::map<int, std::map<int, double>> riders;  // link -> mode -> persons
  std::map<int, double> walkers;
  for (const auto& [od, steps] : pairs) {
    int on = 0, off = 0;
    for (size_t s = 0; s < steps.size(); ++s) {
      const auto& f = steps[s];
      EXPECT_EQ(std::stoi(f[11]), int(s) + 1);
      const int flag = std::stoi(f[0]), link = std::stoi(f[1]), trips = std::stoi(f[8]);
      on += flag == 1 || flag == 3;
      off += flag == 2 || flag == 3;
      if (flag == 4) riders[link][std::stoi(f[5])] += trips;
      if (flag == 0) walkers[link] += trips;
    }
    EXPECT_EQ(on, off) << od.first << "-" << od.second;
    EXPECT_EQ(std::stoi(steps.back()[2]), od.first) << "path does not start at the origin";
    EXPECT_EQ(std::stoi(steps.front()[3]), od.second) << "path does not end at the destination";
  }
  const Lines vol = read_lines("Traffic Assign" + stage + "PT.csv");
  for (size_t k = 1; k < vol.size(); ++k) {
    const auto f = test::csv_fields(vol[k]);
    ASSERT_EQ(f.size(), 40u);
    for (int m = 1; m <= 10; ++m) {
      EXPECT_DOUBLE_EQ(std::stod(f[size_t(8 + m)]), riders[int(k)][m]) << "link " << k << " mode " << m;
    }
    EXPECT_DOUBLE_EQ(std::stod(f[39]), walkers[int(k)]) << "link " << k;
  }
}

TEST(TransitRun, EveryLoadingModeCompletesWithItsFiles) {
  for (int modept = 1; modept <= 4; ++modept) {
    SCOPED_TRACE("MODEPT " + std::to_string(modept));
    TempDir dir;
    ASSERT_EQ(run_example(modept), 0);
    const Lines console = read_lines("console.out");
    ASSERT_GE(console.size(), 2u);
    EXPECT_EQ(console[console.size() - 2], " *  Thank you for so l-o-n-g time   *");
    EXPECT_EQ(outputs(), expected_outputs(modept));
    for (const std::string& name : outputs()) EXPECT_EQ(name.find("Error"), std::string::npos) << name;
    if (modept == 4) continue;

    check_paths_against_volumes("02");
    check_paths_against_volumes("04");

    const Lines cap = read_lines("Transit CapacityOver04.csv");
    ASSERT_EQ(cap.size(), 2u);
    EXPECT_EQ(cap[0], "Route,O Node,D Node,Mode,Assigned PT,");
    EXPECT_EQ(cap[1].substr(0, 26), "    1,   1012,   1013,  1,");

    const Lines ops = read_lines("Transit Operations.csv");
    ASSERT_EQ(ops.size(), 9u);  // routes 1..8, the unused 3, 4 and 7 included
    EXPECT_EQ(ops[3],
              "    3, 0,  0.00,  0.00,    0,    0,      0,  0,      0.0,    0,      0,    0,      0,    0,      0,"
              "    0,      0,    0.0,    0.0,");
    // The express route 8 (mode 2) is slower than the rail line and carries nobody.
    EXPECT_EQ(ops[8],
              "    8, 2, 15.00, 15.00,    0,    0,      0,  3,      0.0,    0,      0,    0,      0,    0,      0,"
              "    0,      0,    3.0,    0.0,");
  }
}

// Road PCU between the road stage 1 and the transit stage 2: mode 1 adds the
// passengers' PCU (2.0 PCU per 30 passengers for modes 1 and 2); modes 2 and 3
// have pre-loaded the buses from their headways instead and add nothing more.
TEST(TransitRun, PassengerPcuReachesTheRoadOnlyInModeOne) {
  // Bus pre-load of modes 2 to 4: INT(PCU x hour factor x 60 / headway + 0.5) per route section.
  const std::map<std::pair<int, int>, int> preload = {
      {{1011, 1012}, 12}, {{1012, 1013}, 12}, {{1013, 1014}, 12}, {{1014, 1013}, 12}, {{1013, 1012}, 12},
      {{1012, 1011}, 12}, {{1011, 1021}, 8},  {{1021, 1022}, 8},  {{1022, 1014}, 8},
  };
  for (int modept = 1; modept <= 3; ++modept) {
    SCOPED_TRACE("MODEPT " + std::to_string(modept));
    TempDir dir;
    ASSERT_EQ(run_example(modept), 0);
    const auto road = link_records("Traffic Assign01VT.csv");
    const auto transit = link_records("Traffic Assign02PT.csv");
    ASSERT_EQ(road.size(), transit.size());
    int passengers_loaded = 0;
    for (const auto& [link, t] : transit) {
      const int before = std::stoi(road.at(link)[8]);
      const int after = std::stoi(t[8]);
      if (modept == 1) {
        const float pcu = 2.0f * std::stof(t[9]) / 30.0f + 2.0f * std::stof(t[10]) / 30.0f;
        EXPECT_EQ(after - before, int(pcu + 0.5f)) << link.first << "-" << link.second;
        passengers_loaded += after - before;
      } else {
        const auto p = preload.find(link);
        EXPECT_EQ(after - before, p == preload.end() ? 0 : p->second) << link.first << "-" << link.second;
      }
    }
    if (modept == 1) {
      EXPECT_GT(passengers_loaded, 0);
    }
  }
}

// Route 1 has 360 places between 1012 and 1013 (60 passengers, headway 10);
// the trips from zone 2 to zones 3 and 4 ride it there. A mode's passengers
// beyond what a real holds make room for any load.
TEST(TransitRun, CapacityCheckRemovesOnlyASectionAboveItsCapacity) {
  struct Case {
    int trips_2_3;
    bool removed;
    const char* passengers = "60.0";
  };
  for (const Case c : {Case{110, false}, Case{111, true}, Case{111, false, "1E380"}}) {
    SCOPED_TRACE(std::to_string(c.trips_2_3 + 250) + " trips, " + c.passengers + " passengers");
    TempDir dir;
    copy_example();
    std::string modes = read_file("ModePCU.txt");
    modes.replace(modes.find("60.0"), 4, c.passengers);
    test::write_file("ModePCU.txt", modes);
    test::write_file("PTmorning.csv", "2,3," + std::to_string(c.trips_2_3) + "\n2,4,250\n");
    ASSERT_EQ(run_answers(2), 0);
    const auto ops = link_records("Traffic Assign02PT.csv");
    EXPECT_EQ(std::stoi(ops.at({1012, 1013})[9]), c.trips_2_3 + 250);  // mode 1 persons
    EXPECT_EQ(fs::exists("Transit CapacityOver04.csv"), c.removed);
    // Without the section, zone 2 reaches zone 3 another way in stage 4.
    const auto stage4 = link_records("Traffic Assign04PT.csv");
    EXPECT_EQ(std::stoi(stage4.at({1012, 1013})[9]) == 0, c.removed);
  }
}

}  // namespace
}  // namespace routava
