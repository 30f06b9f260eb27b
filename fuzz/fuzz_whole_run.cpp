// Whole runs in-process on the small town of fuzz/town: the first byte picks the
// input file the rest of the bytes replace (or the console input), the second
// byte the console answers. Every run must end through its end banner, close
// every unit, and leave no output cut short.
//
// Each run starts in a fresh copy of the town and with the console set anew, so
// nothing of one run reaches the next: the units are all closed when run_main
// returns (checked), and the record layer keeps no other state between runs.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <sstream>

#include "fuzz/common.hpp"
#include "run/definition.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava::fuzz {
namespace {

constexpr const char* kConsole = "(console)";
// In the order of the first byte; the keyword route file is used without BusEdit.csv.
constexpr std::array<const char*, 17> kInputs = {
    "Assign.txt", "Network.csv", "Screen.csv",     "Ramp.csv",    "RoadVTOD.txt", "VTcar.csv",
    "RoadPCU.txt", "QV.csv",     "RoadTariff.csv", "CUT01.csv",   "BusInput.txt", "BusEdit.csv",
    "BusFare.csv", "ModePCU.txt", "PTOD.txt",      "PTmorning.csv", kConsole};
// Transit loading modes 1 to 4, then the debug dialogue (zones automatic, route file automatic).
constexpr std::array<const char*, 5> kAnswers = {
    "1\n1\n4\n1\n2\n1\n1\n", "1\n2\n4\n1\n2\n1\n1\n", "1\n3\n4\n1\n2\n1\n1\n", "1\n4\n4\n1\n2\n1\n1\n",
    "9\n2\n3\n1\n4\n1\n2\n1\n1\n"};

const char* const kEndRule = " ====================================\n";
const char* const kEndLine = " *   The End of the Assignment      *";

struct Town {
  std::vector<std::pair<std::string, std::string>> files;
};

const Town& town() {
  static const Town t = [] {
    Town t;
    const fs::path dir = fs::path(ROUTAVA_SOURCE_DIR) / "fuzz" / "town";
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      if (name == "README.md" || name == "answers.txt") continue;
      t.files.emplace_back(name, read_file(e.path()));
    }
    require(t.files.size() >= 15, "fuzz/town is incomplete");
    return t;
  }();
  return t;
}

bool ends_with(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The end banner closes the text: the rule line after "The End of the Assignment".
bool ends_in_banner(const std::string& text) {
  const size_t at = text.rfind(kEndLine);
  return at != std::string::npos && ends_with(text, kEndRule) && text.size() - at < 200;
}

}  // namespace
}  // namespace routava::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace routava;
  using namespace routava::fuzz;
  if (size < 2) return 0;
  const std::string replaced = kInputs[data[0] % kInputs.size()];
  const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string answers = replaced == kConsole ? bytes : kAnswers[data[1] % kAnswers.size()];

  const fs::path dir = scratch_dir() / "run";
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  std::vector<std::string> inputs;
  for (const auto& [name, content] : town().files) {
    if (replaced == "BusInput.txt" && name == "BusEdit.csv") continue;
    write_file(dir / name, name == replaced ? bytes : content);
    inputs.push_back(name);
  }

  std::istringstream in(answers);
  std::ostringstream out;
  set_console(&in, &out);
  // libFuzzer writes its corpus relative to the directory it was started in.
  static const fs::path home = fs::current_path();
  require(chdir(dir.c_str()) == 0, "cannot enter the run directory");
  const int status = run_main();
  require(chdir(home.c_str()) == 0, "cannot go back to the starting directory");
  set_console(nullptr, nullptr);

  require(status == 0 || status == 1 || status == 3, "exit status " + std::to_string(status));
  require(ends_in_banner(out.str()), "the console does not end with the end banner");
  require(ends_in_banner(read_file(dir / "Log.txt")), "Log.txt does not end with the end banner");
  require(free_unit() == 10 && !is_open(LOG_UNIT), "a unit is still open after the run");
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    const bool input = std::find(inputs.begin(), inputs.end(), name) != inputs.end();
    const bool scratch = name.rfind("~Temp", 0) == 0;
    require(!scratch && !name.ends_with(".part"), name + " is left behind");
    if (input || scratch) continue;
    require(e.is_regular_file(), name + " is not a file");
    const std::string text = read_file(e.path());
    require(text.empty() || text.back() == '\n', name + " ends inside a line");
  }
  return 0;
}
