// The program: one assignment run in the working directory.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "run/routines.hpp"

namespace {

// Must match the banner of the run (Main.cpp).
const char* const kVersion = "3.04";

const char* const kHelp =
    "Usage: routava            (run in the current directory)\n"
    "       routava --help | --version\n"
    "       routava --threads N  (N path searches at once, 1 to 256; default all cores)\n"
    "\n"
    "Loads origin-destination trip tables onto a road and transit network, stage by\n"
    "stage: vehicle trips onto roads in PCU, person trips onto bus and rail routes\n"
    "reached on foot, each pair all-or-nothing on its minimum-impedance path. Road\n"
    "speeds follow the loads through speed-flow curves between stages.\n"
    "\n"
    "It works in the current directory and takes no file arguments: it reads the\n"
    "control file Assign.txt (one line per stage), asks a few questions on the\n"
    "console (answers may be piped from a file, one per line), and writes per-stage\n"
    "CSV result files, totals over all stages and Log.txt there, overwriting the\n"
    "files of an earlier run.\n"
    "\n"
    "Files it reads: Assign.txt and Network.csv always; road stages RoadVTOD.txt,\n"
    "RoadPCU.txt, QV.csv, the OD files RoadVTOD.txt names and optionally\n"
    "RoadTariff.csv; transit stages PTOD.txt, ModePCU.txt, BusInput.txt or\n"
    "BusEdit.csv, the OD files PTOD.txt names and optionally BusFare.csv; optional\n"
    "Screen.csv, Ramp.csv and per-stage link cuts CUTnn.csv.\n"
    "\n"
    "Exit status: 0 when the run reached its end banner normally, 1 when it ended on\n"
    "an error (or an output could not be written), 2 for a wrong argument, 3 when\n"
    "it reached its end banner but printed error messages (\"ERROR\") on the way.\n"
    "\n"
    "Manual: docs/manual.md in the source tree (every file, column and question).\n";

constexpr long kMaxThreads = 256;

// N of "--threads N": a whole number 1..kMaxThreads, else 0.
int thread_count(const char* text) {
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || n < 1 || n > kMaxThreads) return 0;
  return int(n);
}

int default_threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : int(std::min<unsigned>(cores, kMaxThreads));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return routava::run_main(default_threads());
  if (std::strcmp(argv[1], "--threads") == 0 && argc <= 3) {
    const int n = argc == 3 ? thread_count(argv[2]) : 0;
    if (n == 0) {
      std::fprintf(stderr, "routava: --threads takes one whole number from 1 to %ld%s%s%s (see routava --help)\n",
                   kMaxThreads, argc == 3 ? ", not '" : "", argc == 3 ? argv[2] : "", argc == 3 ? "'" : "");
      return 2;
    }
    return routava::run_main(n);
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("routava %s\n", kVersion);
    return 0;
  }
  // Name the argument that is wrong: in "--help x" that is the x.
  const char* wrong = argv[1];
  if (argc > 2 && (std::strcmp(wrong, "--help") == 0 || std::strcmp(wrong, "--version") == 0)) wrong = argv[2];
  if (argc > 3 && std::strcmp(wrong, "--threads") == 0) wrong = argv[3];
  std::fprintf(stderr,
               "routava: unexpected argument '%s'; run it without arguments in the working directory"
               " (see routava --help)\n",
               wrong);
  return 2;
}
