// The main program: banner, dialogue and network, the stage loop, totals, end banner.
#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "run/unit_guard.hpp"

namespace routava {

namespace {

const char* const kControlFile = "Assign.txt";

// Stage record: KSTAGE, KASSIGN, KHOLD, TVALUE, KSW(1..10), NODTAB; then the pairs.
const Format& stage_head_format() {
  static const Format f = Format::parse("(I2,2I1,F6.0,10I1,I5)");
  return f;
}
const Format& stage_pairs_format() {
  static const Format f = Format::parse("(25X,10(I2,F3.0))");
  return f;
}

struct RunState {
  int16_t NSTG = 1;
  int16_t NVTSTG = 0;
  int16_t NPTSTG = 0;
  int16_t NPTASG = 0;
  int16_t KSPDOK = 0;
  int16_t KPTLOAD = 0;
  bool failed = false;  // the run ends on a fatal condition: non-zero exit status
  std::vector<int16_t> started;       // stage numbers, in the order they began
  std::vector<int16_t> completed;     // stage numbers, in the order they ran
  std::vector<std::string> scratch;   // ~Temp files of this run's road stages
};

void fill_names(FileNames& fn, std::initializer_list<const char*> names, int stage) {
  for (auto& s : fn) s = pad("", 40);
  int k = 1;
  for (const char* n : names) {
    fn[size_t(k)] = pad(stage >= 0 ? stage_file_name(n, stage) : std::string(n), 40);
    ++k;
  }
}

void banner(int LOG) {
  const char* rule = " ====================================";
  const char* blank = " *                                  *";
  say(LOG, {rule});
  say(LOG, {blank});
  say(LOG, {" *   Routava Ver 3.04    *"});
  OUTTIME(LOG);
  say(LOG, {blank});
  say(LOG, {rule});
  say_line(LOG, "");
}

void end_banner(int LOG) {
  say_line(LOG, "");
  say_line(LOG, " ====================================");
  say_line(LOG, " *   The End of the Assignment      *");
  OUTTIME(LOG);
  say_line(LOG, " *  Thank you for so l-o-n-g time   *");
  say_line(LOG, " ====================================");
}

// At a fatal end the directory may hold files of an earlier run beside this
// run's: say which stages this run completed.
void completed_stages(int LOG, const RunState& rs) {
  if (rs.completed.empty()) {
    say_line(LOG, " Stages completed in this run: none");
    say_line(LOG, " Result files in this directory, if present, are from an earlier run.");
    return;
  }
  std::string list;
  for (int16_t k : rs.completed) format_free(list, {k});
  say_line(LOG, " Stages completed in this run:" + list);
  say_line(LOG, " Files of later stages and of the totals, if present, are from an earlier run or incomplete.");
}

// Scratch files are only for the totals; a run never leaves them behind.
void remove_scratch(const RunState& rs) {
  for (const std::string& name : rs.scratch) remove_file(name);
}

// Log.txt is flushed at each stage, so that a full disk is found early and a
// run cut short leaves its log up to there; records that files lost at their end
// are said first. True when some output failed.
bool output_failed(int LOG) {
  say_cut_records(LOG);
  flush_unit(LOG);
  return say_write_failures(LOG) > 0;
}

void no_control_file() {
  say(0, {" There is not the control file Assign.txt."});
  say(0, {" *** Error *** Please check in the directory."});
}

void echo_stage(int LOG, const StageRecord& st) {
  static const Format echo = Format::parse("(1X,I2,2I1,F6.0,10I1,I5,10(I2,F3.0))");
  Out values[15 + 20] = {st.KSTAGE, st.KASSIGN, st.KHOLD, st.TVALUE, st.KSW[1], st.KSW[2],
                         st.KSW[3], st.KSW[4], st.KSW[5], st.KSW[6], st.KSW[7], st.KSW[8],
                         st.KSW[9], st.KSW[10], st.NODTAB};
  size_t n = 15;
  for (int i = 1; i <= st.NODTAB && i <= 10; ++i) {
    values[n++] = Out(st.IODTAB[size_t(i)]);
    values[n++] = Out(st.FODTAB[size_t(i)]);
  }
  std::string record;
  format_record(record, echo, values, n);
  for (int unit : {LOG, int(SCREEN)}) {
    write_line(unit, " Assign parameters");
    write_line(unit, record);
    if (st.TVALUE <= 0.0f) write_line(unit, " You do not use Time Value. Time Value = 0");
  }
  write_line(SCREEN, "  ");
}

void counts_block(int LOG, const SharedTables& t) {
  for (int unit : {int(SCREEN), LOG}) {
    write_line(unit, "");
    write_free(unit, {" Number of Road Links =", t.NLROAD});
    write_free(unit, {" Number of all Links  =", t.NLVT});
    write_free(unit, {" Number of all Nodes  =", t.NNODE});
    write_free(unit, {" Number of Zones      =", t.NZ});
    write_line(unit, "");
  }
}

// Returns false when the run must end.
bool road_stage(SharedTables& t, Settings& set, RunState& rs, const StageRecord& st, int LOG,
                int16_t& IERR) {
  FileNames fn;
  if (rs.NVTSTG == 0) {
    ++rs.NVTSTG;
    say_line(LOG, " =============================================");
    say_line(LOG, " Making Initial Road Network for VT assignment");
    say_line(LOG, " =============================================");
    fill_names(fn, {"RoadVTOD.txt", "RoadPCU.txt", "QV.csv", "RoadTariff.csv"}, -1);
    GETVEHICLE(set, fn, t, LOG, IERR);
    if (IERR >= 9) return false;
    OUTTIME(LOG);
    say_fmt(LOG, "('  Road Link Table (',I6,') is sorting.')", {t.NLVT});
    HSORT(t.LNKVT, t.NLVT, LNK_COLS, LNK_FROM);
    NODESET(t.LNKVT, t.NLVT, t, LOG, IERR);
    counts_block(LOG, t);
  } else {
    ++rs.NVTSTG;
    NODESET(t.LNKVT, t.NLVT, t, LOG, IERR);
  }
  if (IERR >= 9) return false;
  if (set.MODEPT == 3 && rs.KPTLOAD == 1) {
    BUSOPEINC(t, LOG, IERR);
    if (IERR >= 9) return false;
    rs.KPTLOAD = 0;
    rs.KSPDOK = 0;
  }
  if (rs.KSPDOK == 0) LNKSPEED(t.NLROAD, t.LINK, t.QVTAB);
  if (int stuck = road_link_costs(t, st.TVALUE); stuck > 0) {
    // Usually a QV type missing from QV.csv: say why traffic avoids these links.
    say(LOG, {" *** Warning ***", stuck, " road links have speed 0 (no speed-flow curve in QV.csv);"
              " the path search does not use them."});
  }
  int32_t first = 0;
  if (const int free = st.TVALUE > 0.0f ? links_without_tariff(t, first) : 0; free > 0) {
    say(LOG, {" *** Warning ***", free, " road links have a tariff type without toll in RoadTariff.csv;",
              " they are free. The first: from", t.LINK(first, LINK_ANODE), " to", t.LINK(first, LINK_BNODE),
              ", tariff type", t.LINK(first, LINK_TARIFF)});
  }
  LNKCUT(st.KSTAGE, t, LOG, IERR);
  if (IERR > 0) return false;
  fill_names(fn,
             {"Vehicle PathVT00.csv", "Vehicle Impedance00.csv", "Traffic Assign00VT.csv",
              "Vehicle ScreenVT00.csv", "Vehicle RampVT00.csv", "Vehicle Error00.csv", "~Temp00"},
             st.KSTAGE);
  VEHICLEASSIGN(set, fn, st, t, LOG, IERR);
  if (IERR >= 9) return false;
  if (st.KHOLD <= 0) LNKSPEED(t.NLROAD, t.LINK, t.QVTAB);
  rs.KSPDOK = 1;
  return true;
}

bool transit_stage(SharedTables& t, Settings& set, RunState& rs, const StageRecord& st, int LOG,
                   int16_t& IERR) {
  FileNames fn;
  bool first = rs.NPTSTG == 0;
  bool sort = true;
  if (first) {
    ++rs.NPTSTG;
    say_line(LOG, " ==============================");
    say_line(LOG, " Making Initial Transit Network");
    say_line(LOG, " ==============================");
    fill_names(fn, {"BusInput.txt", "BusEdit.csv", "BusCost.csv"}, -1);
    GETBUSCONV(set, fn, LOG, &t.ROUTESRC);
    fill_names(fn, {"BusEdit.csv", "BusFare.csv", "PTOD.txt", "ModePCU.txt"}, -1);
    GETBUSLINK(t, set, st, fn, LOG, IERR);
    if (IERR > 0) return false;
  } else {
    ++rs.NPTSTG;
    if (st.KHOLD <= 0) {
      NODESET(t.LNKPT, t.NLPT, t, LOG, IERR);
      sort = false;
    } else {
      capacity_check(t, LOG, st.KSTAGE, IERR);
    }
  }
  if (sort) {
    OUTTIME(LOG);
    say_fmt(LOG, "('  Transit Link Table (',I6,') is sorting.')", {t.NLPT});
    HSORT(t.LNKPT, t.NLPT, LNK_COLS, LNK_FROM);
    NODESET(t.LNKPT, t.NLPT, t, LOG, IERR);
  }
  write_line(SCREEN, "");
  if (first) {
    for (int unit : {int(SCREEN), LOG}) {
      write_free(unit, {" Number of Zones      =", t.NZ});
      write_free(unit, {" Number of Road Links =", t.NLROAD});
      write_free(unit, {" Number of Bus Routes =", t.NROUTE});
    }
  }
  for (int unit : {int(SCREEN), LOG}) {
    write_free(unit, {" Number of all Links  =", t.NLPT});
    write_free(unit, {" Number of all Nodes  =", t.NNODE});
    write_line(unit, "");
  }
  if (IERR >= 9) return false;
  if (const int32_t held = transit_link_costs(t, set.MODEPT, st.TVALUE); held > 0) {
    say(LOG, {" *** Warning ***", held, " transit link cost(s) of stage", st.KSTAGE, " are too large for any path",
              " and are held at", int32_t(UNREACHED), ": check the fares and headways (BusFare.csv, BusEdit.csv),",
              " the speed reductions (ModePCU.txt) and the time value (Assign.txt)."});
  }
  LNKCUT(st.KSTAGE, t, LOG, IERR);
  if (IERR > 0) return false;
  rs.KPTLOAD = 1;
  ++rs.NPTASG;
  if (set.MODEPT != 4) {
    fill_names(fn,
               {"Transit PathPT00.csv", "Transit Impedance00.csv", "Traffic Assign00PT.csv",
                "Transit ScreenPT00.csv", "Transit RampPT00.csv", "Transit Error00.csv"},
               st.KSTAGE);
    BUSASSIGN(t, set, st, fn, LOG, IERR);
    if (IERR >= 9) return false;
  }
  return true;
}

// Reads records 1..nread of the control file; false at the end of the stage list.
bool next_stage(int nread, StageRecord& st, bool& missing) {
  const int unit = free_unit();
  missing = !open_read(unit, kControlFile);
  if (missing) return false;
  UnitGuard control(unit);
  std::string line;
  for (int k = 1; k <= nread; ++k) {
    if (!read_line(unit, line)) return false;
    StageRead sr = read_stage_record(line);
    if (!sr.ok) {
      ReadResult r;
      r.status = ReadStatus::BAD;
      r.bad_text = sr.bad_text;
      fatal_read(unit, r);
    }
    st = sr.record;
    if (st.KSTAGE <= 0) return false;
  }
  return true;
}

// Stage records that run but hardly as meant: said, and the run goes on.
void warn_stage(int LOG, const StageRecord& st, int32_t line, RunState& rs) {
  auto warn = [&](std::initializer_list<Out> what) {
    std::string s = ":";
    format_free(s, what);
    say(LOG, {" *** Warning *** Assign.txt, line", line, ", stage", st.KSTAGE, s});
  };
  if (st.KASSIGN > 2) warn({"stage kind", st.KASSIGN, " is not 1 or 2; it runs as a transit stage."});
  if (st.NODTAB < 1) warn({"no OD table is loaded (number of OD tables", st.NODTAB, ")."});
  if (std::find(rs.started.begin(), rs.started.end(), st.KSTAGE) != rs.started.end()) {
    warn({"the stage number is used before; that stage's result files are overwritten."});
  }
  rs.started.push_back(st.KSTAGE);
}

// The stage loop and the totals; returns when the run is to end.
void run_stages(SharedTables& t, Settings& set, RunState& rs, int LOG) {
  int16_t IERR = 0;
  GETNET(set, t, LOG, IERR);
  if (IERR >= 9) {
    rs.failed = !set.user_stop;
    return;
  }
  if (!file_exists(kControlFile)) {
    no_control_file();
    rs.failed = true;
    return;
  }
  int nread = 1;
  for (;;) {
    StageRecord st;
    bool missing = false;
    if (!next_stage(nread, st, missing)) {
      if (missing) {
        no_control_file();
        rs.failed = true;
        return;
      }
      break;
    }
    ++rs.NSTG;
    ++nread;
    say_line(LOG, " ======================================");
    say(LOG, {" Routava STAGE", st.KSTAGE});
    OUTTIME(LOG);
    say_line(LOG, " ======================================");
    echo_stage(LOG, st);
    if (st.NODTAB > 10) {
      say(LOG, {" *** Error *** Assign.txt, line", int32_t(nread - 1), ", stage", st.KSTAGE,
                ": number of OD tables", st.NODTAB, " is over than 10"});
      rs.failed = true;
      return;
    }
    warn_stage(LOG, st, int32_t(nread - 1), rs);
    if (st.KASSIGN >= 2 && set.FOOTSP <= 0) {
      // Added to the control file after the dialogue: without an access speed
      // every walk would cost nothing.
      say(LOG, {" *** Error *** Assign.txt, line", int32_t(nread - 1), ", stage", st.KSTAGE,
                ": a transit stage added after the start; the transit questions were not asked."});
      rs.failed = true;
      return;
    }
    if (output_failed(LOG)) {
      rs.failed = true;
      return;
    }
    if (st.KASSIGN < 2) rs.scratch.push_back(stage_file_name("~Temp00", st.KSTAGE));
    bool go_on = st.KASSIGN < 2 ? road_stage(t, set, rs, st, LOG, IERR) : transit_stage(t, set, rs, st, LOG, IERR);
    if (!go_on || output_failed(LOG)) {
      rs.failed = true;
      return;
    }
    rs.completed.push_back(st.KSTAGE);
    if (!file_exists(kControlFile)) {
      no_control_file();
      rs.failed = true;
      return;
    }
  }
  if (rs.started.empty()) {
    say(LOG, {" *** Warning *** Assign.txt, line", int32_t(nread), ": the list of stages ends here (stage number",
              " blank, 0 or below); no stage runs."});
  }
  FileNames fn;
  fill_names(fn,
             {"ASSIGN.txt", "vehicle Impedance00.csv", "Traffic Assign00VT.csv", "Traffic TotalResult.csv",
              "Traffic TotalLinkVol.csv", "", "~Temp00"},
             -1);
  TRIPTOTAL(set, t, fn, int16_t(rs.NSTG - 1), LOG, IERR);
  if (set.MODEPT != 4 && rs.NPTASG > 0) {
    BUSOPEOUT(t, pad("Transit Operations.csv", 40), LOG, IERR);
  }
  if (output_failed(LOG)) rs.failed = true;
}

}  // namespace

std::string stage_file_name(std::string_view tmpl, int stage) {
  std::string name(tmpl);
  size_t at = name.find("00");
  if (at == std::string::npos) return name;
  std::string digits;
  put_int(digits, stage, 2, 2);
  name.replace(at, 2, digits);
  return name;
}

StageRead read_stage_record(const std::string& line) {
  StageRead out;
  StageRecord& st = out.record;
  int32_t nodtab = 0;
  ReadResult r = read_cols_text(line, stage_head_format(),
                                {&st.KSTAGE, &st.KASSIGN, &st.KHOLD, &st.TVALUE, &st.KSW[1], &st.KSW[2],
                                 &st.KSW[3], &st.KSW[4], &st.KSW[5], &st.KSW[6], &st.KSW[7], &st.KSW[8],
                                 &st.KSW[9], &st.KSW[10], &nodtab});
  if (r.bad()) {
    out.ok = false;
    out.bad_text = r.bad_text;
    return out;
  }
  st.NODTAB = nodtab;
  int pairs = std::min(std::max(nodtab, 0), 10);
  if (pairs > 0) {
    In vars[20] = {&st.IODTAB[1], &st.FODTAB[1], &st.IODTAB[2], &st.FODTAB[2], &st.IODTAB[3],
                   &st.FODTAB[3], &st.IODTAB[4], &st.FODTAB[4], &st.IODTAB[5], &st.FODTAB[5],
                   &st.IODTAB[6], &st.FODTAB[6], &st.IODTAB[7], &st.FODTAB[7], &st.IODTAB[8],
                   &st.FODTAB[8], &st.IODTAB[9], &st.FODTAB[9], &st.IODTAB[10], &st.FODTAB[10]};
    r = read_cols_text(line, stage_pairs_format(), vars, size_t(2 * pairs));
    if (r.bad()) {
      out.ok = false;
      out.bad_text = r.bad_text;
    }
  }
  return out;
}

int run_main(int32_t threads) {
  const int LOG = LOG_UNIT;
  const long errors_before = error_messages();
  if (!open_log(LOG, "Log.txt")) {
    say(0, {" *** Error *** Log.txt can not be created in this directory."});
    end_banner(0);
    return 1;
  }
  RunState rs;
  std::unique_ptr<SharedTables> tables;
  try {
    tables = std::make_unique<SharedTables>();
  } catch (const std::bad_alloc&) {
    say(LOG, {" *** Error *** Not enough memory for the network tables."});
    end_banner(LOG);
    close_all_units();
    return 1;
  }
  Settings set;
  set.threads = threads;
  banner(LOG);
  try {
    run_stages(*tables, set, rs, LOG);
  } catch (const FatalReadError& e) {
    // The reading routine has closed its file on the way out; the run ends as any other.
    say_line(LOG, e.what());
    rs.failed = true;
  }
  remove_scratch(rs);
  if (output_failed(LOG)) rs.failed = true;
  if (rs.failed) completed_stages(LOG, rs);
  end_banner(LOG);
  // Outputs left open by a routine that failed are dropped here, not put in place.
  close_all_units();
  // A log that fails at its very end can only be told on the console.
  if (say_write_failures(0) > 0) rs.failed = true;
  if (rs.failed) return 1;
  return error_messages() > errors_before ? 3 : 0;
}

}  // namespace routava
