// GETVEHICLE: the vehicle OD file list, vehicle PCU, speed-flow curves and road tariffs.
#include <string>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "run/unit_guard.hpp"

namespace routava {

namespace {

// Listing lines go to the log, and to the console as well in debug mode.
struct Echo {
  int LOG;
  bool debug;
  void line(std::string_view text) const {
    if (debug) write_line(SCREEN, text);
    if (LOG > 0) write_line(LOG, text);
  }
  void fmt(const Format& f, std::initializer_list<Out> values) const {
    if (debug) write_fmt(SCREEN, f, values);
    if (LOG > 0) write_fmt(LOG, f, values);
  }
  void free(std::initializer_list<Out> values) const {
    if (debug) write_free(SCREEN, values);
    if (LOG > 0) write_free(LOG, values);
  }
};

// Opens `name` on the lowest free unit and announces it; 0 when it does not exist.
int open_listed(const Echo& echo, const std::string& name) {
  if (!file_exists(name)) return 0;
  const int unit = free_unit();
  if (!open_read(unit, name)) return 0;
  echo.free({name});
  return unit;
}

// Opens a file the run cannot go without; 0 when it is missing, which is
// reported (`what` says what is then unknown) and raises IERR by 9.
int open_required(const Echo& echo, const std::string& name, std::string_view what, int16_t& IERR) {
  const int unit = open_listed(echo, name);
  if (unit == 0) {
    say_heading(echo.LOG, "GetVehicle");
    say_line(echo.LOG, what);
    say(echo.LOG, {" *** ERROR *** Please set ", name});
    raise_level(IERR, 9);
  }
  return unit;
}

// A record whose type is beyond its table: reported with the file's line and a
// warning level; the caller then echoes the record.
void ignored_record(int LOG, const std::string& name, int unit, std::string_view what, int16_t& IERR) {
  say(LOG, {" *** Error *** ", name, " line", int32_t(unit_line(unit))});
  say_line(LOG, what);
  raise_level(IERR, 1);
}

void read_od_list(const Echo& echo, const std::string& name, SharedTables& t, int16_t& IERR) {
  static const Format record = Format::parse("(1X,I5,I5,A40)");
  const int LOG = echo.LOG;
  const int unit = open_required(echo, name, " OD File Names are unknown.", IERR);
  if (unit == 0) return;
  UnitGuard input(unit);
  echo.line("----+----+----+----+----+----+----+----+----+----+");
  echo.line("  ID TYPE Vehicle OD File Name");
  for (;;) {
    int16_t id = 0;
    int16_t type = 0;
    std::string file;
    if (!read_free_or_fail(unit, {&id, &type, In(&file, 40)})) break;
    if (id < 1) break;
    file = pad(file, 40);
    if (id > NODFSZ) {
      // The id indexes the table list: refuse it rather than write past its end.
      say(LOG, {" Please check File ", name, " line", int32_t(unit_line(unit))});
      say(LOG, {" *** ERROR *** OD table ID is over", int32_t(NODFSZ)});
      say_fmt(LOG, record, {id, type, file});
      raise_level(IERR, 9);
      continue;
    }
    t.ODVTYP(id) = type;
    t.ODVT(id) = file;
    if (type < 1 || type > NVTYPE) {
      say(LOG, {" Please check File ", name});
      say_line(LOG, " *** ERROR *** abnormal definition");
      say_fmt(LOG, record, {id, type, file});
      raise_level(IERR, 9);
    } else {
      echo.fmt(record, {id, type, file});
    }
  }
  input.close();
  echo.line("----+----+----+----+----+----+----+----+----+----+");
}

void read_pcu(const Echo& echo, const std::string& name, SharedTables& t, int16_t& IERR) {
  static const Format person = Format::parse("(I5,2F5.2,3X,'<-- Input OD = PT')");
  static const Format vehicle = Format::parse("(I5,F5.2,' Not Use','<-- Input OD = VT')");
  static const Format pair_pcu = Format::parse("(I6)");
  const int LOG = echo.LOG;
  const int unit = open_required(echo, name, " PCU of Vehicle is unknown.", IERR);
  if (unit == 0) return;
  UnitGuard input(unit);
  echo.line("----+----+----+----+----+----+----+");
  echo.line(" TYPE  PCU   Average Passenger");
  for (;;) {
    int16_t type = 0;
    float pcu = 0.0f;
    float pass = 0.0f;
    if (!read_free_or_fail(unit, {&type, &pcu, &pass})) break;
    if (type < 1) break;
    if (type > NVTYPE) {
      ignored_record(LOG, name, unit, " The following PCU is ignored (Type > 10).", IERR);
      if (pass > 0.0f) say_fmt(LOG, person, {type, pcu, pass});
      else say_fmt(LOG, vehicle, {type, pcu});
      continue;
    }
    t.VPCU(type) = pcu;
    t.VPASS(type) = pass;
    // One vehicle of the type already fills a pair's PCU column.
    say_if_too_wide(LOG, unit, pair_pcu, pcu, "the PCU", "the PCU column (I6) of Vehicle Impedance files");
    if (pass > 0.0f) echo.fmt(person, {type, pcu, pass});
    else echo.fmt(vehicle, {type, pcu});
  }
  input.close();
  echo.line("----+----+----+----+----+----+----+");
}

void wrong_record(int LOG, int unit, int32_t count, const std::string& name) {
  static const Format wrong = Format::parse("('  *** ERROR *** Wrong Record at',I3,' in ',A40)");
  say_fmt(LOG, wrong, {count, pad(name, 40)});
  say_record(LOG, unit);
}

void read_qv(const Echo& echo, const std::string& name, int16_t& IERR, RealTable& QVTAB) {
  static const Format record = Format::parse("(I7,5F7.0)");
  static const Format abnormal = Format::parse("(1X,I3,5F6.0)");
  static const Format speed = Format::parse("(I3)");
  const int LOG = echo.LOG;
  const int unit = open_required(echo, name, " QV conditions are unknown.", IERR);
  if (unit == 0) return;
  echo.line("------- QV Conditions --------------------");
  echo.line("QV Type     V1     V2     V3     Q1     Q2");
  for (int32_t count = 1;; ++count) {
    int16_t type = 0;
    float v[5] = {0, 0, 0, 0, 0};
    const ReadResult r = read_free(unit, {&type, &v[0], &v[1], &v[2], &v[3], &v[4]});
    if (r.bad()) {
      wrong_record(LOG, unit, count, name);
      raise_level(IERR, 9);
      continue;
    }
    if (r.end() || type < 1) break;
    if (type > 99) {
      ignored_record(LOG, name, unit, " The following QV is ignored (> 99).", IERR);
      say_fmt(LOG, record, {type, v[0], v[1], v[2], v[3], v[4]});
      continue;
    }
    for (int c = QV_V1; c <= QV_Q2; ++c) QVTAB(type, c) = v[c - QV_V1];
    echo.fmt(record, {type, v[0], v[1], v[2], v[3], v[4]});
    // An unloaded link of the type runs at V1.
    say_if_too_wide(LOG, unit, speed, v[0], "the free speed V1", "the average speed column (I3) of Traffic Assign files");
    // V1 >= V2 >= V3 and Q1 <= Q2, or the curve of LNKSPEED is not a falling line.
    if (v[3] > v[4] || v[1] > v[0] || v[2] > v[1]) {
      say(LOG, {" Please check File ", name});
      say_line(LOG, " *** ERROR *** abnormal definition");
      say_fmt(LOG, abnormal, {type, v[0], v[1], v[2], v[3], v[4]});
      raise_level(IERR, 9);
    }
  }
  close_unit(unit);
  echo.line(" ------------------------------------------");
}

void read_tariff(const Echo& echo, const std::string& name, int16_t& IERR, RealTable& TARIFF) {
  static const Format record = Format::parse("(I7,2F7.0)");
  static const Format toll = Format::parse("(I7)");
  const int LOG = echo.LOG;
  const int unit = open_listed(echo, name);
  if (unit == 0) {
    echo.line(" ----- Toll Tariff Conditions -----");
    echo.line(" NO TARIFF FILE. Toll Road is free.");
    echo.line(" ----------------------------------");
    return;
  }
  echo.line("----- Toll Tariff Conditions -----");
  echo.line("   Type   Flat  Dist.");
  for (int32_t count = 1;; ++count) {
    int16_t type = 0;
    float flat = 0.0f;
    float per_km = 0.0f;
    const ReadResult r = read_free(unit, {&type, &flat, &per_km});
    if (r.bad()) {
      wrong_record(LOG, unit, count, name);
      raise_level(IERR, 9);
      continue;
    }
    if (r.end() || type < 1) break;
    if (type > 99) {
      ignored_record(LOG, name, unit, " The following Tariff is ignored (> 99).", IERR);
      say_fmt(LOG, record, {type, flat, per_km});
      continue;
    }
    TARIFF(type, TARIFF_FLAT) = flat;
    TARIFF(type, TARIFF_PER_KM) = per_km;
    echo.fmt(record, {type, flat, per_km});
    // Every passage costs the flat charge at least (unless the charge per km is below 0).
    if (per_km >= 0.0f) say_if_too_wide(LOG, unit, toll, flat, "the flat charge", "the Toll Tariff column (I7) of Vehicle Impedance files");
  }
  close_unit(unit);
  echo.line("----------------------------------");
}

}  // namespace

void GETVEHICLE(const Settings& set, const FileNames& FN, SharedTables& t, int LOG, int16_t& IERR) {
  IERR = 0;
  t.ODVTYP.fill(0);
  t.ODVT.fill(std::string(40, ' '));
  t.VPCU.fill(0.0f);
  t.VPASS.fill(0.0f);
  t.QVTAB.fill(0.0f);
  t.TARIFF.fill(0.0f);

  const Echo echo{LOG, set.KDEBUG > 0};
  read_od_list(echo, std::string(trim(FN[1])), t, IERR);
  read_pcu(echo, std::string(trim(FN[2])), t, IERR);
  read_qv(echo, std::string(trim(FN[3])), IERR, t.QVTAB);
  read_tariff(echo, std::string(trim(FN[4])), IERR, t.TARIFF);
}

}  // namespace routava
