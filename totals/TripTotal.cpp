// Totals over all stages: the link loads and the speed, distance and impedance
// class tables, rebuilt from the files each stage left in the working directory.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "run/definition.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {

constexpr int NSPEED = 11;    // speed classes
constexpr int NDIST = 19;     // distance classes
constexpr int NIMP = 18;      // impedance classes
constexpr int NLOAD = 30;     // load columns of a link: 10 counts, 10 km values, 10 hour values
constexpr int NVOL = 61;      // VOL columns
constexpr int NLINKVAL = 38;  // values after O-Node and D-Node in a link results record
constexpr int NIMPVAL = 5;    // values after the two zones read from an impedance record

// Values X[1..5] of an impedance record after its two zones.
constexpr int IX_TRIPS = 1;      // PCU (road) or persons (transit)
constexpr int IX_IMPEDANCE = 2;  // hundredths of a minute
constexpr int IX_DISTANCE = 5;   // km

// Values X[1..38] of a link results record after its two nodes.
constexpr int LX_CHARACTER = 1;
constexpr int LX_LENGTH = 5;    // metres
constexpr int LX_SPEED = 6;     // km/h
constexpr int LX_LOADS = 8;     // the thirty loads: 10 counts (vehicles or persons) by type or mode,
constexpr int LX_KM = 18;       //   then their 10 km values,
constexpr int LX_HOURS = 28;    //   then their 10 hour values
constexpr int LX_WALKERS = 38;  // persons on foot (transit; an empty field in a road record)

// VOL: per road link, summed over the stages; each block holds types or modes 1..10.
constexpr int VOL_VEHICLES = 1;
constexpr int VOL_VEH_KM = 11;
constexpr int VOL_VEH_HOURS = 21;
constexpr int VOL_PERSONS = 31;  // then person-km from 41, person-hours from 51, walkers 61

// TOTAL2 (distance) and TOTAL3 (impedance) columns.
constexpr int TOT_PCU = 1;       // trips of the road stages
constexpr int TOT_PT = 2;        // persons of the transit stages
constexpr int TOT_VEHICLES = 3;  // 3..12: vehicles of types 1..10, from the road scratch files
constexpr int TOT_COLS = 12;

enum { SPEED_TABLE = 1, DIST_TABLE = 2, IMP_TABLE = 3 };

// Class edges: class c runs from edge c up to, not including, edge c + 1.
constexpr float SPEED_EDGES[NSPEED + 1] = {1, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200};  // km/h
constexpr float DIST_EDGES[NDIST + 1] = {0.01f, 2,  4,  6,  8,  10, 15, 20, 25, 30,
                                         35,    40, 45, 50, 60, 70, 80, 90, 100, 999};  // km
constexpr float IMP_EDGES[NIMP + 1] = {0.1f, 10,  20,  30,  40,  50,  60,  70,  80, 90,
                                       100,  110, 120, 150, 180, 210, 240, 300, 999};  // min


// A value whose field could not be read (asterisks of an overflow, say). It falls
// in no class, and add() leaves every total it would have gone into alone.
const float UNKNOWN = std::numeric_limits<float>::quiet_NaN();

void add(float& total, float v) {
  if (!std::isnan(v)) total += v;
}

// Messages of this call: the heading once, then each message to the screen and the log.
struct Notes {
  int LOG;
  int16_t& IERR;
  bool headed = false;

  // A problem the totals go on after: a warning, counted while below the fatal 9.
  void warn(std::initializer_list<Out> message) {
    if (!headed) say_heading(LOG, "TripTotal");
    headed = true;
    say(LOG, message);
    if (IERR < 8) raise_level(IERR, 1);
  }
  void alloc_failure(std::string_view what) {
    say_alloc_failure(LOG, "TripTotal", what, IERR);
    headed = true;
  }
};

// `text` followed by numbers and texts as free writing lays them out ("zones 5 and 1").
std::string words(std::string text, std::initializer_list<Out> values) {
  format_free(text, values);
  return text;
}

// Records of one file that could not be read in full.
struct Trouble {
  long records = 0;
  long first_line = 0;
  std::string first_text;

  void note(long line, std::string_view text) {
    if (records++ == 0) {
      first_line = line;
      first_text = std::string(text);
    }
  }
};

// Reported once per file, however many records were affected.
void tell(Notes& notes, const std::string& name, const Trouble& t, const char* where = "line") {
  if (t.records == 0) return;
  notes.warn({" * ERROR * ", name, ": ", t.records, " record(s) could not be read in full, the first at ", where,
              " ", t.first_line, " (", t.first_text, "); counted where their other values allow."});
}

bool allocate(Table<float>& t, int rows, int cols, const char* message, Notes& notes) {
  try {
    t.resize(rows, cols);
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  notes.alloc_failure(message);
  return false;
}

// Columns of RANK: RANK(c, rank_from(table)) is the from of class c, RANK(c, rank_to(table)) its to.
constexpr int rank_from(int table) { return 2 * table - 1; }
constexpr int rank_to(int table) { return 2 * table; }

void fill_rank(Table<float>& RANK) {
  auto put = [&RANK](int table, const float* edges, int nclass) {
    for (int c = 1; c <= nclass; ++c) {
      RANK(c, rank_from(table)) = edges[c - 1];
      RANK(c, rank_to(table)) = edges[c];
    }
  };
  put(SPEED_TABLE, SPEED_EDGES, NSPEED);
  put(DIST_TABLE, DIST_EDGES, NDIST);
  put(IMP_TABLE, IMP_EDGES, NIMP);
}

int class_count(int table) { return table == SPEED_TABLE ? NSPEED : table == DIST_TABLE ? NDIST : NIMP; }

// The class holding v, or 0 when v is in none (an unknown value never is).
int class_of(const Table<float>& RANK, int table, float v) {
  for (int c = 1; c <= class_count(table); ++c) {
    if (RANK(c, rank_from(table)) <= v && v < RANK(c, rank_to(table))) return c;
  }
  return 0;
}

// The work tables of the call.
struct Totals {
  Table<float> OD;      // of the stage: OD(o, d) the pair's impedance (min), OD(o, NZ + d) its distance (km)
  Table<float> VOL;     // per road link (VOL_*)
  Table<float> TOTAL1;  // speed table: TOTAL1(c, j + 30 (kind - 1)), load j of a link, kind 1 road, 2 transit
  Table<float> TOTAL2;  // distance table (TOT_*)
  Table<float> TOTAL3;  // impedance table (TOT_*)
  Table<float> RANK;    // class edges (fill_rank)
};

// Allocates the tables in the order of their messages; false when any failed.
bool allocate_totals(Totals& w, int32_t nz, Notes& notes) {
  bool ok = allocate(w.OD, nz, 2 * nz, " OD(NZ,NZ,2) allocation error", notes);
  ok = allocate(w.VOL, LRSIZE, NVOL, " VOL(LRSIZE,61) allocation error", notes) && ok;
  ok = allocate(w.TOTAL1, NSPEED, 2 * NLOAD, " TOTAL1 for SPEED allocation error", notes) && ok;
  ok = allocate(w.TOTAL2, NDIST, TOT_COLS, " TOTAL2 for DISTANCE allocation error", notes) && ok;
  ok = allocate(w.TOTAL3, NIMP, TOT_COLS, " TOTAL3 for IMPEDANCE allocation error", notes) && ok;
  ok = allocate(w.RANK, 20, 6, " RANK(20,2,3) allocation error", notes) && ok;
  if (ok) fill_rank(w.RANK);
  return ok;
}

// ---------------------------------------------------------------- record values

// One value of a record as free reading separates them; null for an empty field.
struct Field {
  std::string_view text;
  bool null = false;
};

bool blank(char c) { return c == ' ' || c == '\t'; }

// Splits a record into at most `most` values: commas or blanks separate, an empty
// field between commas is a null, a slash ends the record, r*v stands for r values.
void split_record(std::string_view line, size_t most, std::vector<Field>& out) {
  out.clear();
  size_t p = 0;
  bool after_comma = true;  // a comma at the very start is a null
  while (p < line.size() && out.size() < most) {
    char c = line[p];
    if (blank(c)) {
      ++p;
      continue;
    }
    if (c == ',') {
      if (after_comma) out.push_back(Field{{}, true});
      after_comma = true;
      ++p;
      continue;
    }
    if (c == '/') return;
    size_t b = p;
    size_t star = std::string_view::npos;  // the first '*' of the token, found on the way
    for (; p < line.size() && !blank(line[p]) && line[p] != ',' && line[p] != '/'; ++p)
      if (line[p] == '*' && star == std::string_view::npos) star = p - b;
    std::string_view token = line.substr(b, p - b);
    int32_t repeat = 0;
    if (star != std::string_view::npos && star > 0 && token[0] != '+' && token[0] != '-' &&
        read_free_text(token.substr(0, star), {&repeat}) && repeat > 0) {
      std::string_view value = token.substr(star + 1);
      for (int32_t r = 0; r < repeat && out.size() < most; ++r) out.push_back(Field{value, value.empty()});
    } else {
      out.push_back(Field{token, false});
    }
    after_comma = false;
    while (p < line.size() && blank(line[p])) ++p;
    if (p < line.size() && line[p] == ',') {
      after_comma = true;
      ++p;
    }
  }
}

// Converts a field into v; a null leaves v alone. False when the field does not
// convert; v is then UNKNOWN for a real and left alone for a zone or node.
template <class T>
bool take(const Field& f, T& v) {
  if (f.null) return true;
  T got{};
  if (read_free_value(f.text, &got)) {
    v = got;
    return true;
  }
  if constexpr (std::is_same_v<T, float>) v = UNKNOWN;
  return false;
}

enum class Record { BLANK, READ, TROUBLE };

// One record: two whole numbers (zones, or node codes up to 99999), then n reals
// into X[1..n], of which the first `need` must be present. The caller resets the
// values, so that nulls and missing trailing values read as zero. On trouble
// `why` holds the first offending text.
Record take_record(std::string_view line, int32_t& a, int32_t& b, float* X, int n, int need,
                   std::vector<Field>& fields, std::string& why) {
  split_record(line, size_t(n) + 2, fields);
  if (fields.empty()) return Record::BLANK;
  why.clear();
  auto bad = [&why](std::string_view text) {
    if (why.empty()) why = std::string(text);
  };
  if (fields.size() >= 1 && !take(fields[0], a)) bad(fields[0].text);
  if (fields.size() >= 2 && !take(fields[1], b)) bad(fields[1].text);
  for (size_t i = 2; i < fields.size(); ++i) {
    if (!take(fields[i], X[i - 1])) bad(fields[i].text);
  }
  if (fields.size() < size_t(need) + 2) bad(words("only", {int64_t(fields.size()), " values"}));
  return why.empty() ? Record::READ : Record::TROUBLE;
}

// ---------------------------------------------------------------- stage files

// The files stage s of kind 1 (road) or 2 (transit) left: the name templates
// with the kind and the stage number written over their characters.
struct StageFiles {
  std::string impedance, links, scratch;
};

StageFiles stage_files(const FileNames& FN, int16_t s, int kind) {
  std::string digits;
  put_int(digits, s, 2, 2);
  // Writes `text` over the characters of a 40-character slot from 1-based position `from`.
  auto overwrite = [](std::string& name, size_t from, std::string_view text) {
    name.replace(from - 1, text.size(), text);
  };
  std::string impedance = pad(FN[2], 40), links = pad(FN[3], 40), scratch = pad(FN[7], 40);
  overwrite(impedance, 1, kind == 1 ? "Vehicle" : "Transit");
  overwrite(impedance, 18, digits);
  overwrite(links, 17, kind == 1 ? "VT" : "PT");
  overwrite(links, 15, digits);
  overwrite(scratch, 6, digits);
  return {std::string(trim(impedance)), std::string(trim(links)), std::string(trim(scratch))};
}

// The next record of the control file into stage s and kind g: false, once
// reported, when the stages from there on are left out.
bool next_stage(int unit, const std::string& control, int j, int16_t nstages, int16_t& s, int16_t& g,
                Notes& notes) {
  static const Format control_record = Format::parse("(I2,I1)");
  ReadResult r = read_cols(unit, control_record, {&s, &g});
  std::string problem;
  if (r.end()) problem = "ends";
  else if (r.bad()) problem = words("cannot be read at line", {unit_line(unit), " (", r.bad_text, ")"});
  else if (s <= 0) problem = words("has stage number", {s, " at line", unit_line(unit)});
  if (problem.empty()) return true;
  notes.warn({" ** ERROR ** The control file ", control, " ", problem, " before stage", j, " of", nstages,
              "; the stages from there on are left out of the totals."});
  return false;
}

// A stage file that is missing, or holds not even its header line, leaves the stage out.
bool stage_file_ready(int unit, const std::string& name, bool has_header, int s, Notes& notes) {
  bool there = has_header ? open_read(unit, name) : open_read_binary(unit, name);
  if (!there) {
    notes.warn({" ** ERROR ** There is not the file ", name, "; stage ", s, " is left out of the totals."});
    return false;
  }
  std::string header;
  bool empty = has_header && !read_line(unit, header);
  close_unit(unit);
  if (empty) {
    notes.warn({" ** ERROR ** The file ", name, " is empty; stage ", s, " is left out of the totals."});
    return false;
  }
  return true;
}

// A stage's result file read record by record after its header line; the records
// that could not be read in full are reported together.
struct StageCsv {
  int unit;
  const std::string& name;
  std::string line;
  std::vector<Field> fields;
  std::string why;  // the first offending text of the record read last
  Trouble trouble;

  StageCsv(int u, const std::string& n) : unit(u), name(n) {
    open_read(unit, name);
    read_line(unit, line);  // header
  }
  // The next record that is not blank into a, b and X[1..n] (see take_record),
  // nulls and missing values zero; false at the end of the file.
  bool next(int32_t& a, int32_t& b, float* X, int n, int need, Record& r) {
    while (read_line(unit, line)) {
      a = b = 0;
      std::fill(X, X + n + 1, 0.0f);
      r = take_record(line, a, b, X, n, need, fields, why);
      if (r != Record::BLANK) return true;
    }
    return false;
  }
  void note(std::string_view what) { trouble.note(unit_line(unit), what); }
  void report(Notes& notes) const { tell(notes, name, trouble); }
};

std::string zones_text(int32_t o, int32_t d) { return words("zones", {o, " and", d}); }

// Impedance file: each pair's impedance and distance into OD, its trips into the
// distance and impedance tables.
void read_impedance(int unit, const std::string& name, int kind, int32_t NZ, Totals& w, Notes& notes) {
  Table<float>&OD = w.OD, &TOTAL2 = w.TOTAL2, &TOTAL3 = w.TOTAL3;
  const Table<float>& RANK = w.RANK;
  StageCsv in(unit, name);
  const int col = kind == 1 ? TOT_PCU : TOT_PT;
  int32_t o, d;
  float X[NIMPVAL + 1];
  Record r;
  while (in.next(o, d, X, NIMPVAL, NIMPVAL, r)) {
    if (r == Record::TROUBLE) in.note(in.why);
    float impedance = X[IX_IMPEDANCE] / 100.0f;  // min
    float distance = X[IX_DISTANCE];
    if (o >= 1 && o <= NZ && d >= 1 && d <= NZ) {
      OD(o, d) = impedance;
      OD(o, NZ + d) = distance;
    } else if (r != Record::TROUBLE) {
      in.note(zones_text(o, d));
    }
    if (int c = class_of(RANK, DIST_TABLE, distance)) add(TOTAL2(c, col), X[IX_TRIPS]);
    if (int c = class_of(RANK, IMP_TABLE, impedance)) add(TOTAL3(c, col), X[IX_TRIPS]);
  }
  close_unit(unit);
  in.report(notes);
}

// Scratch file of a road stage: the vehicles of each pair by type into the
// distance and impedance tables, then the file is deleted.
void read_scratch(int unit, const std::string& name, int32_t NZ, Totals& w, Notes& notes) {
  const Table<float>&OD = w.OD, &RANK = w.RANK;
  Table<float>&TOTAL2 = w.TOTAL2, &TOTAL3 = w.TOTAL3;
  open_read_binary(unit, name);
  int32_t rec[12];  // origin, destination, vehicles of types 1..10
  Trouble trouble;
  while (read_binary(unit, rec, 12)) {
    int32_t o = rec[0], d = rec[1];
    if (o < 1 || o > NZ || d < 1 || d > NZ) {
      trouble.note(unit_line(unit), zones_text(o, d));
      continue;
    }
    // Pairs the impedance file did not list keep 0 and fall in no class.
    int dc = class_of(RANK, DIST_TABLE, OD(o, NZ + d));
    int ic = class_of(RANK, IMP_TABLE, OD(o, d));
    for (int t = 0; t < NVTYPE; ++t) {
      if (dc) TOTAL2(dc, TOT_VEHICLES + t) += float(rec[2 + t]);
      if (ic) TOTAL3(ic, TOT_VEHICLES + t) += float(rec[2 + t]);
    }
  }
  close_unit(unit, true);
  tell(notes, name, trouble, "record");
}

// Link results file: record k belongs to road link k. Loads into VOL, and the
// thirty load values of every link with a character above 0 into the speed table.
void read_links(int unit, const std::string& name, int kind, int nlinks, Totals& w, Notes& notes) {
  Table<float>&VOL = w.VOL, &TOTAL1 = w.TOTAL1;
  const Table<float>& RANK = w.RANK;
  StageCsv in(unit, name);
  int k = 0;
  // A road record ends in an empty field where a transit record has its walkers.
  const int need = kind == 1 ? NLINKVAL - 1 : NLINKVAL;
  int32_t onode, dnode;  // not used
  float X[NLINKVAL + 1];
  Record r;
  while (in.next(onode, dnode, X, NLINKVAL, need, r)) {
    if (++k > nlinks) continue;
    if (r == Record::TROUBLE) in.note(in.why);
    const float character = X[LX_CHARACTER], length_m = X[LX_LENGTH], speed = X[LX_SPEED];
    if (kind == 2) {
      // persons, their km and hours, walkers
      for (int i = LX_LOADS; i <= LX_WALKERS; ++i) add(VOL(k, VOL_PERSONS + i - LX_LOADS), X[i]);
    } else {
      for (int t = 0; t < NVTYPE; ++t) add(VOL(k, VOL_VEHICLES + t), X[LX_LOADS + t]);
      // Vehicle-km and hours are recomputed from the link, only on usable links.
      if (speed > 0 && character > 0 && character < 9) {
        for (int t = 0; t < NVTYPE; ++t) {
          add(VOL(k, VOL_VEH_KM + t), length_m * X[LX_LOADS + t] / 1000.0f);
          add(VOL(k, VOL_VEH_HOURS + t), length_m * X[LX_LOADS + t] / (speed * 1000.0f));
        }
      }
    }
    if (!(character > 0)) continue;
    for (int j = 1; j <= NLOAD; ++j) {
      float v = speed;
      int m = (j - 1) % 10 + 1;
      if (kind == 2 && m > 6) {
        // Modes 7..10 keep their own speed: person-km over person-hours.
        const float km = X[LX_KM + m - 1], hours = X[LX_HOURS + m - 1];
        v = hours > 0 ? km / hours : UNKNOWN;
      }
      if (int c = class_of(RANK, SPEED_TABLE, v)) add(TOTAL1(c, j + NLOAD * (kind - 1)), X[LX_LOADS + j - 1]);
    }
  }
  close_unit(unit);
  if (k != nlinks) {
    notes.warn({" * ERROR * ", name, " holds ", k, " link record(s) for ", nlinks, " road links",
                k > nlinks ? "; the records beyond are left out." : "."});
  }
  in.report(notes);
}

// ---------------------------------------------------------------- total files

void write_result(int unit, const std::string& name, const Totals& w, Notes& notes) {
  const Table<float>&TOTAL1 = w.TOTAL1, &RANK = w.RANK;
  static const Format speed_head[2] = {
      Format::parse("('Speed (km per hour) From,To,',10('TYPE ',I2,' VT,'),10('TYPE ',I2,' VT*KM,'),"
                    "10('TYPE ',I2,' VT*HOUR,'),',')"),
      Format::parse("('Speed (km per hour) From,To,',10('MODE ',I2,' PT,'),10('MODE ',I2,' PT*KM,'),"
                    "10('MODE ',I2,' PT*HOUR,'),',')")};
  static const Format speed_row = Format::parse("(F4.0,1H,,F4.0,1H,,30(F16.1,1H,))");
  static const Format dist_head = Format::parse("('Distance (km) From,To,PT,PCU,',10('VT ',I2,','))");
  static const Format imp_head = Format::parse("('Impedance (min) From,To,PT,PCU,',10('VT ',I2,','))");
  static const Format class_row = Format::parse("(F4.0,1H,,F4.0,1H,,12(F12.1,1H,))");

  if (!open_write(unit, name)) {
    notes.warn({" ** ERROR ** The file ", name, " cannot be written."});
    return;
  }
  std::vector<Out> v;
  v.reserve(2 + NLOAD);
  auto numbers = [&v](int times) {
    v.clear();
    for (int r = 0; r < times; ++r)
      for (int t = 1; t <= 10; ++t) v.emplace_back(int32_t(t));
  };
  write_free(unit, {" Routava  All LINK TOTAL Result,"});
  for (int kind = 1; kind <= 2; ++kind) {
    write_line(unit, "");
    numbers(3);
    write_fmt(unit, speed_head[kind - 1], v.data(), v.size());
    for (int c = 1; c <= NSPEED; ++c) {
      v.clear();
      v.emplace_back(RANK(c, rank_from(SPEED_TABLE)));
      v.emplace_back(RANK(c, rank_to(SPEED_TABLE)));
      for (int j = 1; j <= NLOAD; ++j) v.emplace_back(TOTAL1(c, j + NLOAD * (kind - 1)));
      write_fmt(unit, speed_row, v.data(), v.size());
    }
  }
  // Distance and impedance tables: persons before PCU, then the vehicle types.
  auto table = [&](const Format& head, const Table<float>& T, int which) {
    write_line(unit, "");
    numbers(1);
    write_fmt(unit, head, v.data(), v.size());
    for (int c = 1; c <= class_count(which); ++c) {
      v.clear();
      v.emplace_back(RANK(c, rank_from(which)));
      v.emplace_back(RANK(c, rank_to(which)));
      v.emplace_back(T(c, TOT_PT));
      v.emplace_back(T(c, TOT_PCU));
      for (int j = TOT_VEHICLES; j <= TOT_COLS; ++j) v.emplace_back(T(c, j));
      write_fmt(unit, class_row, v.data(), v.size());
    }
  };
  table(dist_head, w.TOTAL2, DIST_TABLE);
  table(imp_head, w.TOTAL3, IMP_TABLE);
  close_unit(unit);
}

void write_link_totals(int unit, const std::string& name, int nlinks, const LinkTable& LINK,
                       const Table<float>& VOL, Notes& notes) {
  static const Format head = Format::parse(
      "('Origin Node,Dest Node,Link character,Evaluation Group,QV type,Tariff type,Distance (m),',"
      "10('TYPE ',I2,' VT,'),10('TYPE ',I2,' VT*KM,'),10('TYPE ',I2,' VT*HOUR,'),"
      "10('Mode ',I2,' PT,'),10('Mode ',I2,' PT*KM,'),10('Mode ',I2,' PT*HOUR,'),'Walker,')");
  static const Format row = Format::parse(
      "(2(I5,1H,),4(I2,1H,),I6,1H,,10(F9.1,1H,),10(F10.2,1H,),10(F11.3,1H,),"
      "10(F9.1,1H,),10(F10.2,1H,),10(F11.3,1H,),F9.1,1H,)");

  if (!open_write(unit, name)) {
    notes.warn({" ** ERROR ** The file ", name, " cannot be written."});
    return;
  }
  std::vector<Out> v;
  v.reserve(7 + NVOL);
  for (int r = 0; r < 6; ++r)
    for (int t = 1; t <= 10; ++t) v.emplace_back(int32_t(t));
  write_fmt(unit, head, v.data(), v.size());
  for (int k = 1; k <= nlinks; ++k) {
    v.clear();
    for (int c : {LINK_ANODE, LINK_BNODE, LINK_CHARACTER, LINK_GROUP, LINK_QVTYPE, LINK_TARIFF, LINK_LENGTH})
      v.emplace_back(LINK(k, c));
    for (int c = 1; c <= NVOL; ++c) v.emplace_back(VOL(k, c));
    write_fmt(unit, row, v.data(), v.size());
  }
  close_unit(unit);
}

}  // namespace

void TRIPTOTAL(const Settings& set, const SharedTables& t, const FileNames& FN, int16_t nstages, int LOG,
               int16_t& IERR) {
  IERR = 0;
  write_line(SCREEN, "");
  write_line(SCREEN, " Now making total tables of the assignments.");
  write_line(SCREEN, " Please wait a little bit more...");
  Notes notes{LOG, IERR};

  const int32_t nz = t.NZ > 0 ? t.NZ : 0;
  Totals w;
  if (!allocate_totals(w, nz, notes)) return;

  const int nlinks = std::min({t.NLROAD > 0 ? t.NLROAD : 0, LRSIZE, t.LINK.rows()});
  const int N1 = free_unit();
  int N2 = N1 + 1;
  while (is_open(N2)) ++N2;

  const std::string control(trim(FN[1]));
  bool have_control = nstages > 0 && open_read(N1, control);
  if (nstages > 0 && !have_control) {
    notes.warn({" ** ERROR ** There is not the control file ", control, "; no stage is totalled."});
  }
  for (int j = 1; have_control && j <= nstages; ++j) {
    int16_t s = 0, g = 0;
    if (!next_stage(N1, control, j, nstages, s, g, notes)) break;
    // Any kind below 2 ran as a road stage and any above as a transit stage.
    const int kind = g >= 2 ? 2 : 1;
    if (kind == 2 && set.MODEPT == 4) continue;  // no transit assignment ran

    const StageFiles f = stage_files(FN, s, kind);
    bool ready = stage_file_ready(N2, f.impedance, true, s, notes);
    if (kind == 1) ready = stage_file_ready(N2, f.scratch, false, s, notes) && ready;
    ready = stage_file_ready(N2, f.links, true, s, notes) && ready;
    if (!ready) continue;

    w.OD.fill(0.0f);
    read_impedance(N2, f.impedance, kind, nz, w, notes);
    if (kind == 1) read_scratch(N2, f.scratch, nz, w, notes);
    read_links(N2, f.links, kind, nlinks, w, notes);
  }
  if (have_control) close_unit(N1);

  write_result(N1, std::string(trim(FN[4])), w, notes);
  write_link_totals(N1, std::string(trim(FN[5])), nlinks, t.LINK, w.VOL, notes);
}

}  // namespace routava
