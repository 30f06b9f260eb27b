// Totals over all stages: the link loads and the speed, distance and impedance
// class tables, rebuilt from the files each stage left in the working directory.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

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

  void heading() {
    if (!headed) say_line(LOG, " === SUBROUTINE TripTotal =======");
    headed = true;
  }
  void say(std::string_view text) {
    heading();
    say_line(LOG, text);
  }
  void say(const char* text, int32_t status) {
    heading();
    routava::say(LOG, {text, status});
  }
  // A problem the totals go on after: a counted warning.
  void warn(std::string_view text) {
    say(text);
    if (IERR < 8) ++IERR;
  }
};

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
  notes.warn(" * ERROR * " + name + ": " + std::to_string(t.records) + " record(s) could not be read in full, the first at " +
             where + " " + std::to_string(t.first_line) +
             " (" + t.first_text + "); counted where their other values allow.");
}

bool allocate(Table<float>& t, int rows, int cols, const char* message, Notes& notes) {
  try {
    t.resize(rows, cols);
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  notes.say(message, ALLOC_STATUS);
  notes.IERR = int16_t(notes.IERR >= 9 ? notes.IERR + 9 : 9);
  return false;
}

// RANK(c, 1 + 2 (table - 1)) is the from of class c, the next column its to.
void fill_rank(Table<float>& RANK) {
  auto put = [&RANK](int table, const float* edges, int nclass) {
    for (int c = 1; c <= nclass; ++c) {
      RANK(c, 1 + 2 * (table - 1)) = edges[c - 1];
      RANK(c, 2 + 2 * (table - 1)) = edges[c];
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
    if (RANK(c, 1 + 2 * (table - 1)) <= v && v < RANK(c, 2 + 2 * (table - 1))) return c;
  }
  return 0;
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
    while (p < line.size() && !blank(line[p]) && line[p] != ',' && line[p] != '/') ++p;
    std::string_view token = line.substr(b, p - b);
    size_t star = token.find('*');
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
  if (read_free_text(f.text, {&got})) {
    v = got;
    return true;
  }
  if constexpr (std::is_same_v<T, float>) v = UNKNOWN;
  return false;
}

enum class Record { BLANK, READ, TROUBLE };

// One record: two whole numbers (zones, or node codes up to 99999), then n reals into X[1..n], of which the first
// `need` must be present. The caller resets the values, so that nulls and missing
// trailing values read as zero. On trouble `why` holds the first offending text.
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
  if (fields.size() < size_t(need) + 2) bad("only " + std::to_string(fields.size()) + " values");
  return why.empty() ? Record::READ : Record::TROUBLE;
}

// ---------------------------------------------------------------- stage files

std::string two_digits(int s) {
  std::string d;
  put_int(d, s, 2, 2);
  return d;
}

// Writes `text` over the characters of a 40-character slot from 1-based position `from`.
void overwrite(std::string& name, size_t from, std::string_view text) {
  name.replace(from - 1, text.size(), text);
}

// A stage file that is missing, or holds not even its header line, leaves the stage out.
bool stage_file_ready(int unit, const std::string& name, bool has_header, int s, Notes& notes) {
  bool there = has_header ? open_read(unit, name) : open_read_binary(unit, name);
  if (!there) {
    notes.warn(" ** ERROR ** There is not the file " + name + "; stage " + std::to_string(s) +
               " is left out of the totals.");
    return false;
  }
  std::string header;
  bool empty = has_header && !read_line(unit, header);
  close_unit(unit);
  if (empty) {
    notes.warn(" ** ERROR ** The file " + name + " is empty; stage " + std::to_string(s) +
               " is left out of the totals.");
    return false;
  }
  return true;
}

// Impedance file: each pair's impedance and distance into OD, its trips into the
// distance and impedance tables (column 1 road PCU, 2 transit persons).
void read_impedance(int unit, const std::string& name, int kind, int32_t NZ, Table<float>& OD,
                    Table<float>& TOTAL2, Table<float>& TOTAL3, const Table<float>& RANK, Notes& notes) {
  open_read(unit, name);
  std::string line;
  read_line(unit, line);  // header
  std::vector<Field> fields;
  std::string why;
  Trouble trouble;
  const int col = kind == 1 ? 1 : 2;
  while (read_line(unit, line)) {
    int32_t o = 0, d = 0;
    float X[NIMPVAL + 1] = {};  // trips, impedance (1/100 min), two unused, distance (km)
    Record r = take_record(line, o, d, X, NIMPVAL, NIMPVAL, fields, why);
    if (r == Record::BLANK) continue;
    if (r == Record::TROUBLE) trouble.note(unit_line(unit), why);
    float impedance = X[2] / 100.0f;
    float distance = X[5];
    if (o >= 1 && o <= NZ && d >= 1 && d <= NZ) {
      OD(o, d) = impedance;
      OD(o, NZ + d) = distance;
    } else if (r != Record::TROUBLE) {
      trouble.note(unit_line(unit), "zones " + std::to_string(o) + " and " + std::to_string(d));
    }
    if (int c = class_of(RANK, DIST_TABLE, distance)) add(TOTAL2(c, col), X[1]);
    if (int c = class_of(RANK, IMP_TABLE, impedance)) add(TOTAL3(c, col), X[1]);
  }
  close_unit(unit);
  tell(notes, name, trouble);
}

// Scratch file of a road stage: the vehicles of each pair by type into columns
// 3..12 of the distance and impedance tables, then the file is deleted.
void read_scratch(int unit, const std::string& name, int32_t NZ, const Table<float>& OD,
                  Table<float>& TOTAL2, Table<float>& TOTAL3, const Table<float>& RANK, Notes& notes) {
  open_read_binary(unit, name);
  int32_t rec[12];  // origin, destination, vehicles of types 1..10
  Trouble trouble;
  while (read_binary(unit, rec, 12)) {
    int32_t o = rec[0], d = rec[1];
    if (o < 1 || o > NZ || d < 1 || d > NZ) {
      trouble.note(unit_line(unit), "zones " + std::to_string(o) + " and " + std::to_string(d));
      continue;
    }
    // Pairs the impedance file did not list keep 0 and fall in no class.
    int dc = class_of(RANK, DIST_TABLE, OD(o, NZ + d));
    int ic = class_of(RANK, IMP_TABLE, OD(o, d));
    for (int t = 1; t <= 10; ++t) {
      if (dc) TOTAL2(dc, 2 + t) += float(rec[1 + t]);
      if (ic) TOTAL3(ic, 2 + t) += float(rec[1 + t]);
    }
  }
  close_unit(unit, true);
  tell(notes, name, trouble, "record");
}

// Link results file: record k belongs to road link k. Loads into VOL, and the
// thirty load values of every link with a character above 0 into the speed table.
void read_links(int unit, const std::string& name, int kind, int nlinks, Table<float>& VOL,
                Table<float>& TOTAL1, const Table<float>& RANK, Notes& notes) {
  open_read(unit, name);
  std::string line;
  read_line(unit, line);  // header
  std::vector<Field> fields;
  std::string why;
  Trouble trouble;
  int k = 0;
  // A road record ends in an empty field where a transit record has its walkers.
  const int need = kind == 1 ? NLINKVAL - 1 : NLINKVAL;
  while (read_line(unit, line)) {
    int32_t onode = 0, dnode = 0;  // not used
    float X[NLINKVAL + 1] = {};
    Record r = take_record(line, onode, dnode, X, NLINKVAL, need, fields, why);
    if (r == Record::BLANK) continue;
    if (++k > nlinks) continue;
    if (r == Record::TROUBLE) trouble.note(unit_line(unit), why);
    const float character = X[1], length_m = X[5], speed = X[6];
    if (kind == 2) {
      for (int i = 8; i <= NLINKVAL; ++i) add(VOL(k, 23 + i), X[i]);  // persons, km, hours, walkers
    } else {
      for (int t = 1; t <= 10; ++t) add(VOL(k, t), X[7 + t]);
      // Vehicle-km and hours are recomputed from the link, only on usable links.
      if (speed > 0 && character > 0 && character < 9) {
        for (int t = 1; t <= 10; ++t) {
          add(VOL(k, 10 + t), length_m * X[7 + t] / 1000.0f);
          add(VOL(k, 20 + t), length_m * X[7 + t] / (speed * 1000.0f));
        }
      }
    }
    if (!(character > 0)) continue;
    for (int j = 1; j <= NLOAD; ++j) {
      float v = speed;
      int m = (j - 1) % 10 + 1;
      if (kind == 2 && m > 6) {
        // Modes 7..10 keep their own speed: person-km over person-hours.
        v = X[27 + m] > 0 ? X[17 + m] / X[27 + m] : UNKNOWN;
      }
      if (int c = class_of(RANK, SPEED_TABLE, v)) add(TOTAL1(c, j + NLOAD * (kind - 1)), X[7 + j]);
    }
  }
  close_unit(unit);
  if (k != nlinks) {
    notes.warn(" * ERROR * " + name + " holds " + std::to_string(k) + " link record(s) for " +
               std::to_string(nlinks) + " road links" +
               (k > nlinks ? std::string("; the records beyond are left out.") : std::string(".")));
  }
  tell(notes, name, trouble);
}

// ---------------------------------------------------------------- total files

void write_result(int unit, const std::string& name, const Table<float>& TOTAL1,
                  const Table<float>& TOTAL2, const Table<float>& TOTAL3, const Table<float>& RANK,
                  Notes& notes) {
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
    notes.warn(" ** ERROR ** The file " + name + " cannot be written.");
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
      v.emplace_back(RANK(c, 1));
      v.emplace_back(RANK(c, 2));
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
      v.emplace_back(RANK(c, 1 + 2 * (which - 1)));
      v.emplace_back(RANK(c, 2 + 2 * (which - 1)));
      v.emplace_back(T(c, 2));
      v.emplace_back(T(c, 1));
      for (int j = 3; j <= 12; ++j) v.emplace_back(T(c, j));
      write_fmt(unit, class_row, v.data(), v.size());
    }
  };
  table(dist_head, TOTAL2, DIST_TABLE);
  table(imp_head, TOTAL3, IMP_TABLE);
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
    notes.warn(" ** ERROR ** The file " + name + " cannot be written.");
    return;
  }
  std::vector<Out> v;
  v.reserve(7 + NVOL);
  for (int r = 0; r < 6; ++r)
    for (int t = 1; t <= 10; ++t) v.emplace_back(int32_t(t));
  write_fmt(unit, head, v.data(), v.size());
  for (int k = 1; k <= nlinks; ++k) {
    v.clear();
    for (int c = 1; c <= 7; ++c) v.emplace_back(LINK(k, c));
    for (int c = 1; c <= NVOL; ++c) v.emplace_back(VOL(k, c));
    write_fmt(unit, row, v.data(), v.size());
  }
  close_unit(unit);
}

}  // namespace

void TRIPTOTAL(int16_t MODEPT, int16_t nstages, int32_t NZ, int16_t& IERR, int LOG, const FileNames& FN,
               int32_t NLROAD, const LinkTable& LINK) {
  IERR = 0;
  write_line(SCREEN, "");
  write_line(SCREEN, " Now making total tables of the assignments.");
  write_line(SCREEN, " Please wait a little bit more...");
  Notes notes{LOG, IERR};

  const int32_t nz = NZ > 0 ? NZ : 0;
  // OD(o, d) is the pair's impedance in minutes, OD(o, NZ + d) its distance in km.
  Table<float> OD, VOL, TOTAL1, TOTAL2, TOTAL3, RANK;
  allocate(OD, nz, 2 * nz, " OD(NZ,NZ,2) allocation error", notes);
  allocate(VOL, LRSIZE, NVOL, " VOL(LRSIZE,61) allocation error", notes);
  // TOTAL1(c, j + 30 (kind - 1)): kind 1 road, 2 transit.
  allocate(TOTAL1, NSPEED, 2 * NLOAD, " TOTAL1 for SPEED allocation error", notes);
  allocate(TOTAL2, NDIST, 12, " TOTAL2 for DISTANCE allocation error", notes);
  allocate(TOTAL3, NIMP, 12, " TOTAL3 for IMPEDANCE allocation error", notes);
  allocate(RANK, 20, 6, " RANK(20,2,3) allocation error", notes);
  if (IERR >= 9) return;
  fill_rank(RANK);

  const int nlinks = std::min({NLROAD > 0 ? NLROAD : 0, LRSIZE, LINK.rows()});
  const int N1 = free_unit();
  int N2 = N1 + 1;
  while (is_open(N2)) ++N2;

  const std::string control(trim(FN[1]));
  bool have_control = nstages > 0 && open_read(N1, control);
  if (nstages > 0 && !have_control) {
    notes.warn(" ** ERROR ** There is not the control file " + control + "; no stage is totalled.");
  }
  for (int j = 1; have_control && j <= nstages; ++j) {
    int16_t s = 0, g = 0;
    ReadResult r = read_cols(N1, "(I2,I1)", {&s, &g});
    std::string problem;
    if (r.end()) {
      problem = "ends";
    } else if (r.bad()) {
      problem = "cannot be read at line " + std::to_string(unit_line(N1)) + " (" + r.bad_text + ")";
    } else if (s <= 0) {
      problem = "has stage number " + std::to_string(s) + " at line " + std::to_string(unit_line(N1));
    }
    if (!problem.empty()) {
      notes.warn(" ** ERROR ** The control file " + control + " " + problem + " before stage " +
                 std::to_string(j) + " of " + std::to_string(nstages) +
                 "; the stages from there on are left out of the totals.");
      break;
    }
    // Any kind below 2 ran as a road stage and any above as a transit stage.
    const int kind = g >= 2 ? 2 : 1;
    if (kind == 2 && MODEPT == 4) continue;  // no transit assignment ran

    std::string impedance = pad(FN[2], 40), links = pad(FN[3], 40), scratch = pad(FN[7], 40);
    const std::string digits = two_digits(s);
    overwrite(impedance, 1, kind == 1 ? "Vehicle" : "Transit");
    overwrite(impedance, 18, digits);
    overwrite(links, 17, kind == 1 ? "VT" : "PT");
    overwrite(links, 15, digits);
    overwrite(scratch, 6, digits);
    impedance = std::string(trim(impedance));
    links = std::string(trim(links));
    scratch = std::string(trim(scratch));

    bool ready = stage_file_ready(N2, impedance, true, s, notes);
    if (kind == 1) ready = stage_file_ready(N2, scratch, false, s, notes) && ready;
    ready = stage_file_ready(N2, links, true, s, notes) && ready;
    if (!ready) continue;

    OD.fill(0.0f);
    read_impedance(N2, impedance, kind, nz, OD, TOTAL2, TOTAL3, RANK, notes);
    if (kind == 1) read_scratch(N2, scratch, nz, OD, TOTAL2, TOTAL3, RANK, notes);
    read_links(N2, links, kind, nlinks, VOL, TOTAL1, RANK, notes);
  }
  if (have_control) close_unit(N1);

  write_result(N1, std::string(trim(FN[4])), TOTAL1, TOTAL2, TOTAL3, RANK, notes);
  write_link_totals(N1, std::string(trim(FN[5])), nlinks, LINK, VOL, notes);
}

}  // namespace routava
