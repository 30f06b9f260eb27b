// Link cuts and prohibited turns of a stage, and the node markers the search consults.
#include <algorithm>
#include <string>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "run/unit_guard.hpp"

namespace routava {

namespace {

constexpr int MAXCODES = 4;

// Reads one record "n, code1 .. coden" (it may continue on the following lines,
// as free reading does). False at the end of the file. A record with more than
// four codes is reported and skipped (n is returned, codes are not).
bool read_cut_record(int unit, const std::string& name, int LOG, int32_t& n,
                     int64_t codes[MAXCODES]) {
  std::string text;
  std::string line;
  if (!read_line(unit, text)) return false;
  for (;;) {
    n = 0;
    ReadResult r = read_free_text(text, {&n});
    if (r.bad()) fatal_read(unit, r);
    if (r) break;
    if (!read_line(unit, line)) return false;  // only blank lines so far
    text += ' ';
    text += line;
  }
  if (n < 1) return true;
  if (n > MAXCODES) {
    say(LOG, {"  * ERROR * Link Cut record with", n, " nodes (4 at most) skipped: line",
              int64_t(unit_line(unit)), " of ", name});
    return true;
  }
  for (;;) {
    int32_t count = 0;
    for (int k = 0; k < MAXCODES; ++k) codes[k] = 0;
    ReadResult r;
    switch (n) {
      case 1:
        r = read_free_text(text, {&count, &codes[0]});
        break;
      case 2:
        r = read_free_text(text, {&count, &codes[0], &codes[1]});
        break;
      case 3:
        r = read_free_text(text, {&count, &codes[0], &codes[1], &codes[2]});
        break;
      default:
        r = read_free_text(text, {&count, &codes[0], &codes[1], &codes[2], &codes[3]});
        break;
    }
    if (r.bad()) fatal_read(unit, r);
    if (r) return true;
    if (!read_line(unit, line)) {  // the file ends inside the record
      say(LOG, {" *** Warning *** ", name, ", line", int32_t(unit_line(unit)),
                ": the last record has too few values at the end of the file and is not read."});
      return false;
    }
    text += ' ';
    text += line;
  }
}

// Steps 2 and 3: the stage's cut file into LCUT. False (IERR 9) when the file
// cannot be read to its end.
bool read_cut_file(int16_t KSTAGE, SharedTables& t, int LOG, int16_t& IERR) {
  static const Format name_digits = Format::parse("(I2.2)");
  std::string digits;
  format_record(digits, name_digits, {KSTAGE});
  std::string name = "CUT00.csv";
  name.replace(3, 2, digits.substr(0, 2));
  if (!file_exists(name)) {
    say(LOG, {" No Link Cut Data at the stage", KSTAGE});
    t.NCUT = 0;
    return true;
  }
  say(LOG, {" Link Cut Data at the stage", KSTAGE});
  t.LCUT.fill(0);
  const int unit = free_unit();
  if (!open_read(unit, name)) {
    say(LOG, {" *** Error *** Can not open ", name});
    t.NCUT = 0;
    IERR = 9;
    return false;
  }
  UnitGuard input(unit);
  int32_t stored = 0;
  bool ended_at_first = false;
  int32_t n = 0;
  int64_t codes[MAXCODES] = {0, 0, 0, 0};
  while (read_cut_record(unit, name, LOG, n, codes)) {
    if (n < 1) {
      if (stored == 0) {
        say(LOG, {" *** Warning *** ", name, ", line", int32_t(unit_line(unit)),
                  ": the list ends at its first line (number of nodes 0 or below); no cut is read."});
        ended_at_first = true;
      }
      break;
    }
    if (n > MAXCODES) continue;
    if (stored >= TURNSZ || stored >= t.LCUT.rows()) {
      t.NCUT = stored;
      say_heading(LOG, "LinkCut", 12);
      say_line(LOG, " Cut Table size (TURNSZ) is overflow");
      say_record(LOG, unit);
      input.close();
      IERR = 9;
      return false;
    }
    ++stored;
    t.CUTWHERE(stored) = record_place(unit);
    // Stored backwards: the last node of the sequence comes first.
    for (int k = 0; k < n; ++k) t.LCUT(stored, CUT_LAST + (n - 1 - k)) = codes[k];
  }
  if (stored == 0 && !ended_at_first) say(LOG, {" *** Warning *** ", name, " holds no cut."});
  t.NCUT = stored;
  input.close();
  say(LOG, {" Number of Link Cut & Prohibited Turns =", t.NCUT});
  return true;
}

// Step 4: the marker of every entry's middle node.
void mark_cut_nodes(SharedTables& t, int LOG) {
  static const Format code4_fmt = Format::parse("(' No Such Connections (',I4,'),4,',4(I5,','))");
  static const Format code3_fmt = Format::parse("(' No Such Connections (',I4,'),3,',3(I5,','))");
  static const Format code2_fmt = Format::parse("(' No Such Connections (',I4,'),2,',2(I5,','))");
  const int32_t ncut = std::min({t.NCUT, t.LCUT.rows(), t.CUTWHERE.size()});
  for (int32_t i = 1; i <= ncut; ++i) {
    // A node that is not in this network only gets the message: the same cut file
    // serves the road and the transit networks.
    const int64_t* e = t.LCUT.row(i);
    int16_t found = 0;
    int32_t pos = 0;
    NDSRCH(t.NODTBL, t.NNODE, field(e, CUT_MIDDLE), found, pos);
    if (found == 0 && pos >= 1 && pos <= t.NODTBL.rows()) {
      t.NODTBL(pos, NOD_CUT) += 1;
      continue;
    }
    if (field(e, CUT_FIRST) > 0) {
      say_fmt(LOG, code4_fmt,
              {i, field(e, CUT_FIRST), field(e, CUT_BEFORE), field(e, CUT_MIDDLE), field(e, CUT_LAST)});
    } else if (field(e, CUT_BEFORE) > 0) {
      say_fmt(LOG, code3_fmt, {i, field(e, CUT_BEFORE), field(e, CUT_MIDDLE), field(e, CUT_LAST)});
    } else {
      say_fmt(LOG, code2_fmt, {i, field(e, CUT_MIDDLE), field(e, CUT_LAST)});
    }
    if (!t.CUTWHERE(i).empty()) say_line(LOG, t.CUTWHERE(i));
  }
  if (ncut > 0) say_line(LOG, "");
}

}  // namespace

void LNKCUT(int16_t KSTAGE, SharedTables& t, int LOG, int16_t& IERR) {
  IERR = 0;
  if (KSTAGE > 0 && !read_cut_file(KSTAGE, t, LOG, IERR)) return;
  mark_cut_nodes(t, LOG);
}

}  // namespace routava
