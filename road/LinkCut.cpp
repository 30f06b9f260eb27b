// Link cuts and prohibited turns of a stage, and the node markers the search consults.
#include <algorithm>
#include <string>

#include "run/recio.hpp"
#include "run/routines.hpp"

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
    if (!read_line(unit, line)) return false;  // the file ends inside the record
    text += ' ';
    text += line;
  }
}

}  // namespace

void LNKCUT(int16_t KSTAGE, int32_t NNODE, int32_t& NCUT, int LOG, NodeTable& NODTBL,
            CutTable& LCUT, int16_t& IERR) {
  static const Format name_digits = Format::parse("(I2.2)");
  static const Format code4_fmt = Format::parse("(' No Such Connections (',I4,'),4,',4(I5,','))");
  static const Format code3_fmt = Format::parse("(' No Such Connections (',I4,'),3,',3(I5,','))");
  static const Format code2_fmt = Format::parse("(' No Such Connections (',I4,'),2,',2(I5,','))");
  IERR = 0;

  if (KSTAGE > 0) {
    std::string digits;
    format_record(digits, name_digits, {KSTAGE});
    std::string name = "CUT00.csv";
    name.replace(3, 2, digits.substr(0, 2));
    if (!file_exists(name)) {
      say(LOG, {" No Link Cut Data at the stage", KSTAGE});
      NCUT = 0;
    } else {
      say(LOG, {" Link Cut Data at the stage", KSTAGE});
      LCUT.fill(0);
      int unit = free_unit();
      if (!open_read(unit, name)) {
        say(LOG, {" *** Error *** Can not open ", name});
        NCUT = 0;
        IERR = 9;
        return;
      }
      int32_t stored = 0;
      int32_t n = 0;
      int64_t codes[MAXCODES] = {0, 0, 0, 0};
      while (read_cut_record(unit, name, LOG, n, codes)) {
        if (n < 1) break;
        if (n > MAXCODES) continue;
        if (stored >= TURNSZ || stored >= LCUT.rows()) {
          close_unit(unit);
          NCUT = stored;
          say_line(LOG, " === SUBROUTINE LinkCut ============");
          say_line(LOG, " Cut Table size (TURNSZ) is overflow");
          IERR = 9;
          return;
        }
        ++stored;
        // Stored backwards: column 1 is the last node of the sequence.
        for (int k = 0; k < n; ++k) LCUT(stored, n - k) = codes[k];
      }
      NCUT = stored;
      close_unit(unit);
      say(LOG, {" Number of Link Cut & Prohibited Turns =", NCUT});
    }
  }

  const int32_t ncut = std::min(NCUT, LCUT.rows());
  for (int32_t i = 1; i <= ncut; ++i) {
    // A node that is not in this network only gets the message: the same cut file
    // serves the road and the transit networks.
    int16_t found = 0;
    int32_t pos = 0;
    NDSRCH(NODTBL, NNODE, LCUT(i, CUT_MIDDLE), found, pos);
    if (found == 0 && pos >= 1 && pos <= NODTBL.rows()) {
      NODTBL(pos, 5) += 1;
    } else if (LCUT(i, 4) > 0) {
      say_fmt(LOG, code4_fmt, {i, LCUT(i, 4), LCUT(i, 3), LCUT(i, 2), LCUT(i, 1)});
    } else if (LCUT(i, 3) > 0) {
      say_fmt(LOG, code3_fmt, {i, LCUT(i, 3), LCUT(i, 2), LCUT(i, 1)});
    } else {
      say_fmt(LOG, code2_fmt, {i, LCUT(i, 2), LCUT(i, 1)});
    }
  }
  if (ncut > 0) say_line(LOG, "");
}

}  // namespace routava
