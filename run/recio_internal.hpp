// Shared by the files of the record layer only; routines include run/recio.hpp.
//
//   RecFormat.cpp  descriptor lists parsed into items, unrolled lists and write plans
//   RecFields.cpp  single fields: numbers and texts to fixed-width text and back
//   RecWrite.cpp   column and free writing, messages and the reporting helpers
//   RecRead.cpp    column and free reading, binary records, read errors
//   RecUnits.cpp   unit numbers, opening and closing, file names, the console
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "run/recio.hpp"

namespace routava::recio {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The text from the quote at s[p] to its match, a doubled quote standing for one;
// p moves past the closing quote. False when s ends first.
inline bool take_quoted(std::string_view s, size_t& p, std::string& text) {
  const char q = s[p++];
  text.clear();
  while (p < s.size()) {
    if (s[p] == q) {
      if (p + 1 < s.size() && s[p + 1] == q) {
        text += q;
        p += 2;
        continue;
      }
      ++p;
      return true;
    }
    text += s[p++];
  }
  return false;
}

// ---------------------------------------------------------------- fields
//
// Each field writer fills exactly w characters at p, which hold blanks already
// (a record is blanked once), and returns p + w. The integer and text writers
// are inline: the column writer's inner loop calls them once per field.

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline int digit_count(uint64_t a) {
  int n = 1;
  for (uint64_t t = 10; n < 20 && a >= t; t *= 10) ++n;
  return n;
}

inline char* fill_field(char* p, char c, int w) {
  if (w <= 0) return p;
  std::memset(p, c, size_t(w));
  return p + w;
}

inline char* int_field(char* p, int64_t v, int w, int m) {
  uint64_t a = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
  const int n = (a == 0 && m == 0) ? 0 : digit_count(a);  // Iw.0 writes a zero as blanks
  const int nd = m > n ? m : n;
  const int need = nd + (v < 0 ? 1 : 0);
  if (need > w) return fill_field(p, '*', w);
  char* const end = p + w;
  char* q = end;
  if (n > 0) {
    while (a >= 100) {
      q -= 2;
      std::memcpy(q, kDigitPairs + 2 * (a % 100), 2);
      a /= 100;
    }
    if (a >= 10) {
      q -= 2;
      std::memcpy(q, kDigitPairs + 2 * a, 2);
    } else {
      *--q = char('0' + a);
    }
  }
  while (end - q < nd) *--q = '0';
  if (v < 0) *--q = '-';
  return end;
}

// Right-aligns `len` characters of `t` in a field of w, or asterisks when they do not fit.
inline char* right_field(char* p, const char* t, size_t len, int w) {
  if (len > size_t(w)) return fill_field(p, '*', w);
  std::memcpy(p + (size_t(w) - len), t, len);
  return p + w;
}

// Fw.d.
char* real_field(char* p, double v, int w, int d);

// Aw with w > 0: the text right-aligned when shorter, else its first w characters.
inline char* text_field(char* p, std::string_view s, int w) {
  if (s.size() < size_t(w)) return right_field(p, s.data(), s.size(), w);
  std::memcpy(p, s.data(), size_t(w));
  return p + w;
}

// Text of a field to a number: false when it does not convert. An integer takes
// [sign] digits only; a real also Fortran's fixed and exponent forms, and with
// `implied_decimals` d > 0 a text without a point has its last d digits as fraction.
bool parse_int_text(std::string_view t, int64_t& v);
bool parse_real_text(std::string_view t, double& v, int implied_decimals = -1);
// Stores a converted text into a variable; false when it does not convert.
bool assign_value(const In& var, std::string_view text, bool quoted);
// Stores an integer into an integer variable; false when it does not fit.
bool store_int(const In& var, int64_t v);

// ---------------------------------------------------------------- the group walk
//
// A descriptor list as reading and writing go through it: each group its count
// of times, and at the end of the list on from the reversion point for a further
// record. `item(it)` takes every data item, skip and literal and returns false to
// stop; `new_record()` is asked at the end of the list and returns false to stop.
// Column writing uses the unrolled plans instead where the format has them.
constexpr int kGroupDepth = 16;  // the parser refuses groups nested deeper

template <class Item, class NewRecord>
void walk_groups(const Format& f, Item&& item, NewRecord&& new_record) {
  struct Level {
    size_t open;
    int left;
  };
  Level stack[kGroupDepth];
  int depth = 0;
  const std::vector<FormatItem>& items = f.items();
  size_t pos = 0;
  for (;; ++pos) {
    if (pos >= items.size()) {
      if (items.empty() || !new_record()) return;
      pos = size_t(f.reversion_point());
      depth = 0;
    }
    const FormatItem& it = items[pos];
    switch (it.kind) {
      case FormatItem::GROUP_OPEN:
        if (depth < kGroupDepth) stack[depth++] = Level{pos, it.repeat};
        break;
      case FormatItem::GROUP_CLOSE:
        if (depth > 0 && --stack[depth - 1].left > 0) pos = stack[depth - 1].open;
        else if (depth > 0) --depth;
        break;
      case FormatItem::NO_ADVANCE:
        break;
      default:
        if (!item(it)) return;
        break;
    }
  }
}

// ---------------------------------------------------------------- units

// The integer a field wrote last on a unit and the 16 characters from the field
// on (the field, then blanks): a column often repeats its value from record to
// record (the pair and its counts along a path). Kept by the unit, for the format
// it wrote last, so that formats stay unchanged and may be shared.
struct FieldMemo {
  bool set = false;
  int64_t value = 0;
  char text[16];
};

struct UnitState {
  std::string name;  // as opened (on disk); for output the name it gets when complete
  std::string path;  // output: where the bytes go until the close (a temporary name beside `name`)
  FILE* file = nullptr;
  bool writing = false;
  bool binary = false;
  int error = 0;     // errno of the first write that failed
  bool first_line = true;
  long line = 0;
  std::string buf;  // output area: buf[0, fill) is pending
  size_t fill = 0;
  uint64_t memo_format = 0;     // Format::id() of the fields in memo
  std::vector<FieldMemo> memo;  // by field of the plan, then of the reversion plan
  std::string scratch;          // a record written item by item
};

struct Runtime {
  std::map<int, std::unique_ptr<UnitState>> units;
  std::istream* keyboard = nullptr;
  std::ostream* screen = nullptr;
  bool screen_mid_record = false;  // a prompt was written without ending its line
  long keyboard_line = 0;
  std::string scratch;  // a record on its way to the screen
  char* getline_buf = nullptr;
  size_t getline_cap = 0;
  // The record read last, in getline_buf, and the unit it came from.
  const UnitState* last_reader = nullptr;
  std::string_view last_record;
  // The open units by number, for the numbers a run uses: records are written
  // one by one, each finding its unit.
  std::array<UnitState*, 128> by_number{};
  // Outputs that could not be written, as said by say_write_failures, and how
  // many of them were said already.
  std::vector<std::string> write_failures;
  size_t failures_said = 0;
  std::vector<std::string> cut_records;  // messages of records cut short, not said yet
  long error_messages = 0;  // messages said with an error marker
};

Runtime& rt();
std::istream& keyboard();
std::ostream& screen();
bool keyboard_is_terminal();
UnitState* unit_state(int unit);  // nullptr when the unit is not open

// Counts a message said (screen and log) that carries an error marker.
void note_message(std::string_view text);

// Pending output reaches the file in pieces of kFlushAt or more.
constexpr size_t kFlushAt = 1 << 16;
void flush_state(UnitState& u);
void make_room(UnitState& u, size_t need);

// Room for `need` more characters of output; what is written there counts once
// `fill` is moved past it.
inline char* reserve(UnitState& u, size_t need) {
  if (u.fill + need > u.buf.size()) make_room(u, need);
  return u.buf.data() + u.fill;
}

inline void written(UnitState& u, size_t n) {
  u.fill += n;
  if (u.fill >= kFlushAt) flush_state(u);
}

}  // namespace routava::recio
