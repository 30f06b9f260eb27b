// The program: one assignment run in the working directory.
#include <cstdio>
#include <cstring>

#include "run/routines.hpp"

namespace {

// Must match the banner of the run (Main.cpp).
const char* const kVersion = "3.04";

const char* const kHelp =
    "Usage: routava            (run in the current directory)\n"
    "       routava --help | --version\n"
    "\n"
    "Loads origin-destination trip tables onto a road and transit network, stage by\n"
    "stage: vehicle trips onto roads in PCU, person trips onto bus and rail routes\n"
    "reached on foot, each pair all-or-nothing on its minimum-impedance path. Road\n"
    "speeds follow the loads through speed-flow curves between stages.\n"
    "\n"
    "It works in the current directory and takes no other arguments: it reads the\n"
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return routava::run_main();
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
  std::fprintf(stderr,
               "routava: unexpected argument '%s'; run it without arguments in the working directory"
               " (see routava --help)\n",
               wrong);
  return 2;
}
