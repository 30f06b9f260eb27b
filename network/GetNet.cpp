#include <algorithm>
#include <array>
#include <climits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "network/ReadNetwork.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

namespace {

constexpr int NFILE = 13;
constexpr int DEBUG_CODE = 9;  // the hidden third answer of the confirmation

// Input files of the check screen, in check-screen order (index 0 unused).
constexpr std::array<std::string_view, NFILE + 1> INPUT_FILES = {
    "",           "Assign.txt",  "RoadVTOD.txt", "PTOD.txt",       "Network.csv",
    "RoadPCU.txt", "ModePCU.txt", "QV.csv",       "BusInput.txt",   "BusEdit.csv",
    "Screen.csv", "RoadTariff.csv", "BusFare.csv", "Ramp.csv"};
enum : int {
  ASSIGN = 1, ROADVTOD, PTOD, NETWORK, ROADPCU, MODEPCU, QV, BUSINPUT, BUSEDIT, SCREENS,
  ROADTARIFF, BUSFARE, RAMPS
};

constexpr std::string_view DASHES = " ----------------------------------------";

void log_line(int LOG, std::string_view text) {
  if (LOG > 0) write_line(LOG, text);
}

// The file tables of the check, allocated for the check only.
struct FileCheck {
  std::vector<std::string> FILTAB;  // names, 14 characters
  std::vector<int16_t> LEXIST;      // 1 = present
  std::vector<std::string> status;  // "(exist)" or "( Non )"
};

void check_files(FileCheck& fc) {
  for (int k = 1; k <= NFILE; ++k) {
    fc.FILTAB[k] = pad(INPUT_FILES[k], 14);
    fc.LEXIST[k] = file_exists(INPUT_FILES[k]) ? 1 : 0;
    fc.status[k] = fc.LEXIST[k] == 1 ? "(exist)" : "( Non )";
  }
}

void write_check_screen(const FileCheck& fc, int LOG) {
  static const Format three = Format::parse("(1X,3(1X,A7,A14))");
  static const Format ignored = Format::parse("(1X,22X,2(1X,A7,A14),'(ignored)')");
  static const Format used = Format::parse("(1X,44X,1X,A7,A14,'(used)')");
  static const Format two = Format::parse("(1X,22X,2(1X,A7,A14))");
  static const Format one = Format::parse("(1X,44X,1X,A7,A14)");
  static const Format last = Format::parse("(1X,1X,A7,A14,' (no check)CUTxx.csv')");
  const auto& s = fc.status;
  const auto& n = fc.FILTAB;
  const bool busedit = fc.LEXIST[BUSEDIT] == 1;
  const int units[2] = {SCREEN, LOG};
  for (int unit : units) {
    if (unit <= 0) continue;
    write_line(unit, " === COMMON ===========" "= Vehicle Assignment =" "= Transit Assignment ==========");
    write_fmt(unit, three, {s[1], n[1], s[2], n[2], s[3], n[3]});
    write_fmt(unit, three, {s[4], n[4], s[5], n[5], s[6], n[6]});
    write_fmt(unit, busedit ? ignored : two, {s[7], n[7], s[8], n[8]});
    write_fmt(unit, busedit ? used : one, {s[9], n[9]});
    write_fmt(unit, three, {s[10], n[10], s[11], n[11], s[12], n[12]});
    write_fmt(unit, last, {s[13], n[13]});
  }
}

void write_judgements(const FileCheck& fc, int LOG) {
  auto has = [&](int k) { return fc.LEXIST[k] == 1; };
  auto judge = [](bool ok) { return ok ? std::string_view("     OK     ") : std::string_view("CAN NOT WORK"); };
  std::string line(67, ' ');
  line.replace(6, 12, judge(has(ASSIGN) && has(NETWORK)));
  line.replace(28, 12, judge(has(ROADVTOD) && has(ROADPCU) && has(QV)));
  line.replace(50, 12, judge(has(PTOD) && has(MODEPCU) && (has(BUSEDIT) || has(BUSINPUT))));
  say_line(LOG, "");
  say_line(LOG, line);
  say_line(LOG, " " + std::string(75, '.'));
  log_line(LOG, "");
}

// Transit stage records of the control file (kind 2). A line whose later columns
// cannot be converted still counts by its kind: the stage loop reads only the pairs
// in use and may well run it, and it must not run without the transit settings.
// Lines whose stage and kind cannot be read are left out; the stage loop reports
// them if it reaches them.
int32_t count_transit_stages() {
  static const Format record = Format::parse("(I2,I1,17X,I5,10(I2,3X))");
  static const Format stage_kind = Format::parse("(I2,I1)");
  int32_t ntransit = 0;
  if (!file_exists(INPUT_FILES[ASSIGN])) return 0;
  const int unit = free_unit();
  if (!open_read(unit, INPUT_FILES[ASSIGN])) return 0;
  int32_t stage = 0, kind = 0, npair = 0;
  std::array<int32_t, 10> table{};
  std::string line;
  while (read_line(unit, line)) {
    kind = 0;
    ReadResult r = read_cols_text(line, record,
                                  {&stage, &kind, &npair, &table[0], &table[1], &table[2], &table[3],
                                   &table[4], &table[5], &table[6], &table[7], &table[8], &table[9]});
    if (r.bad()) {
      kind = 0;
      if (!read_cols_text(line, stage_kind, {&stage, &kind})) continue;
    }
    if (kind == 2) ++ntransit;
  }
  close_unit(unit);
  return ntransit;
}

enum class Asked { ANSWERED, NO_INPUT };

// Shows `lines` and the prompt on the screen and reads one whole number.
// An answer that is not a whole number shows the block again.
Asked ask(const std::vector<std::string_view>& lines, std::string_view prompt, int32_t& answer) {
  for (;;) {
    for (std::string_view l : lines) write_line(SCREEN, l);
    write_text(SCREEN, prompt);
    ReadResult r = read_answer(answer);
    if (r) return Asked::ANSWERED;
    if (r.end()) return Asked::NO_INPUT;
    write_line(SCREEN, " Please answer with a whole number.");
  }
}

// Asks until the answer lies in lo..hi.
Asked ask_in(const std::vector<std::string_view>& lines, std::string_view prompt, int32_t lo,
             int32_t hi, int32_t& answer) {
  for (;;) {
    if (ask(lines, prompt, answer) == Asked::NO_INPUT) return Asked::NO_INPUT;
    if (answer >= lo && answer <= hi) return Asked::ANSWERED;
  }
}

void no_input(int LOG, int16_t& IERR) {
  write_line(SCREEN, "");  // ends the prompt's line
  say_heading(LOG, "GetNet");
  say_line(LOG, " *** Error *** No answer: the console input has ended.");
  IERR = 9;
}

enum class Confirmed { START, STOP, NO_INPUT };

Confirmed confirm(Settings& set) {
  const std::vector<std::string_view> lines = {
      "", DASHES, " Please confirm the above files (debug=*)",
      "      1.Yes (START)   2.No (STOP & CHECK)", DASHES, ""};
  for (;;) {
    int32_t answer = 0;
    if (ask(lines, "      ( 1.Yes   2.No ) = ", answer) == Asked::NO_INPUT) return Confirmed::NO_INPUT;
    if (answer == 1) return Confirmed::START;
    if (answer == 2) return Confirmed::STOP;
    if (answer == DEBUG_CODE) {
      set.KDEBUG = 1;
      write_line(SCREEN, "");
      write_line(SCREEN, " *******************************");
      write_line(SCREEN, " * Why do you know this mode ? *");
      write_line(SCREEN, " *   --- DEBUG MODE ---        *");
      write_line(SCREEN, " * Take care of settings !     *");
      write_line(SCREEN, " *******************************");
      return Confirmed::START;
    }
  }
}

// Questions 1 and 2, asked in debug mode only. False when the console input ended.
bool ask_debug_settings(Settings& set, bool transit) {
  int32_t answer = 0;
  if (ask_in({"", DASHES, " How to set Zone Number ?     ( Default = 2 )",
              " (1.Input Number of Zone   2.Automatic Set from Link)", DASHES},
             "         Which one (1) = ", 1, 2, answer) == Asked::NO_INPUT)
    return false;
  set.zone_mode = int16_t(answer - 1);
  if (transit) {
    if (ask_in({"", DASHES, " Which Bus Route File ?       ( Default = 3 )",
                " (1.Selection by User  2.BusInput.txt  3.Automatic)", DASHES},
               "         Which one (3) = ", 1, 3, answer) == Asked::NO_INPUT)
      return false;
    set.route_file_choice = int16_t(answer - 1);
  }
  return true;
}

// Questions 3 and 4: the transit loading mode and the walking speed.
bool ask_transit_settings(Settings& set, int LOG) {
  static const Format speed_echo = Format::parse("('  Access Speed (km/h) = ',I3,' km/h')");
  int32_t answer = 0;
  if (ask_in({"", DASHES, " How to Assign Transit Modes", "  1 ; Normal Assignment",
              "      Loading sections by PCU converted from Passengers",
              "  2 ; Pre-Loading on Transit Routes by Operation Plan",
              "      Bus do not occupy the capacity of road any more",
              "  3 ; Bus operations increase by Demand of Passengers",
              "      Minimum headway is limited by \"ModePCU.txt\"",
              "      Loading the operations after assignment",
              "  4 ; (Special Case) Pre-Loading by Transit Operations",
              "      But no assignment of Transit mode", DASHES},
             "         How to Assign = ", 1, 4, answer) == Asked::NO_INPUT)
    return false;
  set.MODEPT = int16_t(answer);
  static constexpr std::array<std::string_view, 5> modes = {
      "", " 1.Normal Assignment", " 2.Pre-Loading on Transit Routes by Operation Plan",
      " 3.Bus operations increase by Demand of Passengers",
      " 4.Pre-Loading of Transit mode, but No assignment"};
  log_line(LOG, " How to Assign Transit Mode");
  log_line(LOG, modes[size_t(answer)]);

  if (ask_in({"", DASHES, " Please Input Access Speed (km/h) on Foot",
              "                   for Transit Assignment", DASHES},
             "   Access Speed (km/h) = ", 1, INT32_MAX, answer) == Asked::NO_INPUT)
    return false;
  set.FOOTSP = answer;
  if (LOG > 0) write_fmt(LOG, speed_echo, {set.FOOTSP});
  return true;
}

// A question answered 1 or 2, which sets `setting` to 0 or 1; the log gets the
// answer in words. False when the console input ended.
bool ask_either(const std::vector<std::string_view>& lines, std::string_view prompt,
                std::string_view logged_if_1, std::string_view logged_if_2, int LOG,
                int16_t& setting) {
  int32_t answer = 0;
  if (ask_in(lines, prompt, 1, 2, answer) == Asked::NO_INPUT) return false;
  setting = int16_t(answer - 1);
  log_line(LOG, setting == 0 ? logged_if_1 : logged_if_2);
  return true;
}

// Questions 5 and 6: which origins are searched and which impedances written.
bool ask_search_settings(Settings& set, int LOG) {
  return ask_either({"", DASHES, " Do you want Minimum path search for ?",
                     "  @ 1.Only zones of total generated trips>0",
                     "        *) to save time and disk spce", "    2.All zones",
                     "        *) to get impedance for all OD pairs", DASHES},
                    "  (Default = 1)   Which one = ", " Minimum Path Search for Generated trips > 0",
                    " Minimum Path Search for All Zones", LOG, set.KSRCH) &&
         ask_either({"", DASHES, " Do you need all impedance ?", "    1.only OD pair of some Trips",
                     "  @ 2.All Output", DASHES},
                    "  (Default = 2)   Which one = ", " Impedance Output of OD pairs = Trips > 0",
                    " Impedance Output of All OD pairs", LOG, set.KIMPALL);
}

// Questions 7 and 8: whether paths are written, and for which pairs.
bool ask_path_settings(Settings& set, int LOG) {
  int32_t answer = 0;
  std::vector<std::string_view> route_lines = {"", DASHES,
                                               " Do you need the Minimum Route Output Files ?."};
  if (set.KDEBUG != 1) {
    route_lines.insert(route_lines.end(),
                       {" *) 1 is recommended because Path is important data.",
                        "    If you need direction analysis at crossing or to",
                        "    get number of passengers at bus stops & stations,",
                        "    you must select 1"});
  }
  route_lines.insert(route_lines.end(),
                     {"    1. Yes, I need     2. No (for saving disk space )", DASHES});
  if (ask(route_lines, "      Which ( 1 or 2 ) = ", answer) == Asked::NO_INPUT) return false;
  set.KPATH = answer <= 1 ? 1 : 0;
  if (set.KPATH == 1) {
    log_line(LOG, " Minimum Path Output");
  } else {
    say_line(LOG, " You selected... No output of VehiclePathVT, TransitPathPT");
    say_line(LOG, " You can not analyze Direction Analysis at crossing");
    say_line(LOG, " & Bus Passenger Analysis at Bus Stop");
    return true;
  }
  return ask_either({"", DASHES, " Do you need all path (route) ?", "  @ 1.only OD pairs of Trips>0",
                     "    2.All pairs", DASHES},
                    "  (Default = 1)   Which one = ", " Path output of OD pairs of Trips > 0",
                    " Path output of All pairs", LOG, set.KPATHALL);
}

// Questions 1 to 8. False when the console input ended.
bool ask_settings(Settings& set, bool transit, int LOG) {
  if (set.KDEBUG == 1 && !ask_debug_settings(set, transit)) return false;
  if (transit && !ask_transit_settings(set, LOG)) return false;
  return ask_search_settings(set, LOG) && ask_path_settings(set, LOG);
}

// Questions 9 and 10, asked after the screen lines and ramps. False when the input ended.
bool ask_zones(Settings& set, int32_t& NZ) {
  if (set.zone_mode != 0) return true;
  int32_t answer = 0;
  // A negative count would size the zone tables negatively; zero stays possible,
  // as in the automatic mode.
  if (ask_in({"", DASHES, " Please Input Number of Zones", DASHES},
             "  Number of Zones & Centroids = ", 0, INT32_MAX, answer) == Asked::NO_INPUT)
    return false;
  NZ = answer;
  if (set.KDEBUG == 1) {
    const int32_t top = NZ > 1 ? std::min<int32_t>(NZ, INT16_MAX) : INT16_MAX;
    if (ask_in({"", DASHES, " Starting Zone Number for Partial Assignment",
                "    *) KHOME = 1 (normal case)", "       KHOME = n (origin zone from n to NZ)",
                "    *) all destination zones are assigned.", DASHES},
               "                Starting Zone = ", 1, top, answer) == Asked::NO_INPUT)
      return false;
    set.KHOME = int16_t(answer);
  }
  return true;
}

}  // namespace

void GETNET(Settings& set, SharedTables& t, int LOG, int16_t& IERR) {
  IERR = 0;
  set.user_stop = false;

  LinkLists lists;
  try {
    lists.screens.rows.resize(NSCRSZ, LIST_COLS);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, "GetNet", " NWORK(NSCRSZ,3) allocation error", IERR);
    return;
  }
  try {
    lists.ramps.rows.resize(NRMPSZ, LIST_COLS);
  } catch (const std::bad_alloc&) {
    say_alloc_failure(LOG, "GetNet", " MWORK(NRMPSZ,3) allocation error", IERR);
    return;
  }

  int32_t ntransit = 0;
  {
    FileCheck fc;
    try {
      fc.FILTAB.resize(NFILE + 1);
      fc.LEXIST.resize(NFILE + 1);
      fc.status.resize(NFILE + 1);
    } catch (const std::bad_alloc&) {
      write_line(SCREEN, " *** Allocation Error ***");
      write_free(SCREEN, {" File Check Skipped by ", ALLOC_STATUS});
      IERR = 9;
      return;
    }
    check_files(fc);
    write_check_screen(fc, LOG);
    write_judgements(fc, LOG);
    ntransit = count_transit_stages();
  }
  const bool transit = ntransit > 0;

  switch (confirm(set)) {
    case Confirmed::START:
      break;
    case Confirmed::STOP:
      IERR = 9;
      set.user_stop = true;
      log_line(LOG, "");
      return;
    case Confirmed::NO_INPUT:
      no_input(LOG, IERR);
      return;
  }
  if (!ask_settings(set, transit, LOG)) {
    no_input(LOG, IERR);
    return;
  }
  say_line(LOG, "");

  read_link_list(lists.screens, set.KSCRN, LOG, IERR);
  if (IERR >= 9) return;
  read_link_list(lists.ramps, set.KRAMP, LOG, IERR);
  if (IERR >= 9) return;

  if (!ask_zones(set, t.NZ)) {
    no_input(LOG, IERR);
    return;
  }
  read_network(set, lists, t, LOG, IERR);
}

}  // namespace routava
