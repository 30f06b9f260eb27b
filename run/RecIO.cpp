// The record layer: formats, units, column and free reading and writing.
#include "run/recio.hpp"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>

#include "run/definition.hpp"

namespace routava {

[[noreturn]] void bounds_failure(const char* file, int line) {
  std::fprintf(stderr, "routava: table index out of bounds at %s:%d\n", file, line);
  std::abort();
}

// ======================================================================= formats

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

struct FormatParser {
  std::string_view s;
  size_t p = 0;
  std::vector<FormatItem>& out;

  [[noreturn]] void fail(const char* what) const {
    throw std::invalid_argument(std::string("format ") + std::string(s) + ": " + what + " at " +
                                std::to_string(p));
  }
  void skip_blanks() {
    while (p < s.size() && is_blank(s[p])) ++p;
  }
  bool digit() const { return p < s.size() && s[p] >= '0' && s[p] <= '9'; }
  int number() {
    int v = 0;
    while (digit()) v = v * 10 + (s[p++] - '0');
    return v;
  }
  // Parses the items up to the closing parenthesis of the current group.
  void items(bool top) {
    for (;;) {
      skip_blanks();
      if (p >= s.size()) {
        if (top) return;
        fail("missing )");
      }
      char c = s[p];
      if (c == ',') {
        ++p;
        continue;
      }
      if (c == ')') {
        if (top) fail("unbalanced )");
        return;
      }
      item();
    }
  }
  void item() {
    int repeat = -1;
    if (digit()) repeat = number();
    skip_blanks();
    if (p >= s.size()) fail("descriptor expected");
    char c = s[p];
    char u = char(std::toupper(static_cast<unsigned char>(c)));
    if (c == '(') {
      ++p;
      FormatItem open(FormatItem::GROUP_OPEN);
      open.repeat = repeat < 0 ? 1 : repeat;
      size_t open_index = out.size();
      out.push_back(open);
      items(false);
      ++p;  // ')'
      FormatItem close(FormatItem::GROUP_CLOSE);
      close.repeat = int(open_index);
      out.push_back(close);
      out[open_index].partner = int(out.size() - 1);
      return;
    }
    if (c == '\'' || c == '"') {
      std::string text;
      ++p;
      for (;;) {
        if (p >= s.size()) fail("unterminated literal");
        if (s[p] == c) {
          if (p + 1 < s.size() && s[p + 1] == c) {
            text += c;
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        text += s[p++];
      }
      push_repeated(literal(text), repeat);
      return;
    }
    if (u == 'H') {
      if (repeat < 0) fail("H needs a count");
      ++p;
      if (p + size_t(repeat) > s.size()) fail("short H literal");
      out.push_back(literal(std::string(s.substr(p, size_t(repeat)))));
      p += size_t(repeat);
      return;
    }
    if (u == 'X') {
      ++p;
      FormatItem x(FormatItem::SKIP);
      x.w = repeat < 0 ? 1 : repeat;
      out.push_back(x);
      return;
    }
    if (c == '$' || c == '\\') {
      ++p;
      out.push_back(FormatItem(FormatItem::NO_ADVANCE));
      return;
    }
    if (c == '/') {
      ++p;
      FormatItem nl = literal("\n");
      push_repeated(nl, repeat);
      return;
    }
    if (u == 'I' || u == 'F' || u == 'A') {
      ++p;
      FormatItem d(u == 'I' ? FormatItem::INT : u == 'F' ? FormatItem::REAL : FormatItem::TEXT);
      skip_blanks();
      if (digit()) d.w = number();
      else if (u != 'A') fail("width expected");
      skip_blanks();
      if (p < s.size() && s[p] == '.') {
        ++p;
        skip_blanks();
        if (!digit()) fail("digits expected");
        d.d = number();
      } else if (u == 'F') {
        fail("F needs decimals");
      }
      push_repeated(d, repeat);
      return;
    }
    fail("unknown descriptor");
  }
  static FormatItem literal(const std::string& text) {
    FormatItem l(FormatItem::LITERAL);
    l.text = text;
    return l;
  }
  void push_repeated(const FormatItem& it, int repeat) {
    int n = repeat < 0 ? 1 : repeat;
    for (int i = 0; i < n; ++i) out.push_back(it);
  }
};

// Unrolls items[b, e) into a flat list, merging literals and blank skips.
std::vector<FormatItem> unroll(const std::vector<FormatItem>& items, size_t b, size_t e) {
  std::vector<FormatItem> out;
  for (size_t i = b; i < e && out.size() <= 4096; ++i) {
    const FormatItem& it = items[i];
    if (it.kind == FormatItem::GROUP_OPEN) {
      size_t close = size_t(it.partner);
      std::vector<FormatItem> body = unroll(items, i + 1, close);
      for (int k = 0; k < it.repeat && out.size() <= 4096; ++k) {
        for (const FormatItem& x : body) {
          if (x.kind == FormatItem::LITERAL && !out.empty() && out.back().kind == FormatItem::LITERAL &&
              x.text != "\n" && out.back().text != "\n") {
            out.back().text += x.text;
          } else {
            out.push_back(x);
          }
        }
      }
      i = close;
      continue;
    }
    if (it.kind == FormatItem::GROUP_CLOSE) continue;
    if (it.kind == FormatItem::LITERAL && !out.empty() && out.back().kind == FormatItem::LITERAL &&
        it.text != "\n" && out.back().text != "\n") {
      out.back().text += it.text;
      continue;
    }
    out.push_back(it);
  }
  return out;
}

}  // namespace

Format Format::parse(std::string_view text) {
  Format f;
  f.source_ = std::string(text);
  std::string_view s = text;
  // The outer parentheses are optional; strip them when they enclose the whole list.
  size_t b = 0, e = s.size();
  while (b < e && is_blank(s[b])) ++b;
  while (e > b && is_blank(s[e - 1])) --e;
  s = s.substr(b, e - b);
  if (!s.empty() && s.front() == '(') {
    int depth = 0;
    size_t close = std::string_view::npos;
    bool quote = false;
    char q = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      char c = s[i];
      if (quote) {
        if (c == q) quote = false;
        continue;
      }
      if (c == '\'' || c == '"') {
        quote = true;
        q = c;
      } else if ((c == 'H' || c == 'h') && i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) {
        // nH literal: skip its characters
        size_t k = i;
        while (k > 0 && std::isdigit(static_cast<unsigned char>(s[k - 1]))) --k;
        // only a count that starts an item (after '(' ',' or blank) makes an H literal
        if (k == 0 || s[k - 1] == '(' || s[k - 1] == ',' || is_blank(s[k - 1])) {
          int n = std::atoi(std::string(s.substr(k, i - k)).c_str());
          i += size_t(n);
        }
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (--depth == 0) {
          close = i;
          break;
        }
      }
    }
    if (close == s.size() - 1) s = s.substr(1, s.size() - 2);
  }
  FormatParser parser{s, 0, f.items_};
  parser.items(true);
  // Reversion: to the last group at the top level, else to the start.
  int depth = 0;
  f.reversion_ = 0;
  for (size_t i = 0; i < f.items_.size(); ++i) {
    const FormatItem& it = f.items_[i];
    if (it.kind == FormatItem::GROUP_OPEN) {
      if (depth == 0) f.reversion_ = int(i);
      ++depth;
    } else if (it.kind == FormatItem::GROUP_CLOSE) {
      --depth;
    } else if (it.kind == FormatItem::NO_ADVANCE) {
      f.no_advance_ = true;
    }
  }
  f.flat_ = unroll(f.items_, 0, f.items_.size());
  f.flat_reversion_ = unroll(f.items_, size_t(f.reversion_), f.items_.size());
  bool has_data = false;
  for (const FormatItem& it : f.flat_)
    if (it.kind == FormatItem::INT || it.kind == FormatItem::REAL || it.kind == FormatItem::TEXT) has_data = true;
  if (f.flat_.size() > 4096 || f.flat_reversion_.size() > 4096 || (!has_data && f.flat_.empty() && !f.items_.empty())) {
    f.flat_.clear();
    f.flat_reversion_.clear();
  }
  return f;
}

// ======================================================================= fields

void put_int(std::string& out, int64_t v, int w, int m) {
  char digits[24];
  int n = 0;
  uint64_t a = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
  if (!(a == 0 && m == 0)) {
    do {
      digits[n++] = char('0' + a % 10);
      a /= 10;
    } while (a != 0);
  }
  int nd = m > n ? m : n;
  int need = nd + (v < 0 ? 1 : 0);
  size_t at = out.size();
  out.resize(at + size_t(w), ' ');  // the field is w characters whatever happens
  char* p = out.data() + at;
  if (need > w) {
    std::memset(p, '*', size_t(w));
    return;
  }
  p += w - need;
  if (v < 0) *p++ = '-';
  for (int k = n; k < nd; ++k) *p++ = '0';
  while (n > 0) *p++ = digits[--n];
}

namespace {

constexpr uint64_t kPow10[] = {1ull, 10ull, 100ull, 1000ull, 10000ull};

// Exact decimal rounding (to nearest, ties to even, on the exact binary value) of
// |v| * 10^d into digits; false when the fast path does not apply.
bool scaled_digits(double a, int d, uint64_t& n) {
  if (d < 0 || d > 4) return false;
  // |v| * 10^d is exact in the 64-bit significand of long double for a double and d <= 4.
  long double x = static_cast<long double>(a) * static_cast<long double>(kPow10[d]);
  if (!(x < 9.0e18L)) return false;
  n = static_cast<uint64_t>(std::llrintl(x));
  return true;
}

}  // namespace

void put_real(std::string& out, double v, int w, int d) {
  if (std::isnan(v)) {
    if (w < 3) out.append(size_t(w), '*');
    else {
      out.append(size_t(w - 3), ' ');
      out += "NaN";
    }
    return;
  }
  bool neg = std::signbit(v);
  double a = std::fabs(v);
  if (std::isinf(a)) {
    const char* t = neg ? "-Infinity" : "Infinity";
    size_t len = std::strlen(t);
    if (size_t(w) >= len) {
      out.append(size_t(w) - len, ' ');
      out += t;
    } else if (w >= 4) {
      out.append(size_t(w - (neg ? 4 : 3)), ' ');
      out += neg ? "-Inf" : "Inf";
    } else {
      out.append(size_t(w), '*');
    }
    return;
  }
  char buf[400];
  int len;
  uint64_t n;
  if (scaled_digits(a, d, n)) {
    // integer part and d fraction digits
    uint64_t ip = n / kPow10[d];
    uint64_t fp = n % kPow10[d];
    char tmp[32];
    int k = 0;
    do {
      tmp[k++] = char('0' + ip % 10);
      ip /= 10;
    } while (ip != 0);
    len = 0;
    while (k > 0) buf[len++] = tmp[--k];
    buf[len++] = '.';
    for (int i = d - 1; i >= 0; --i) {
      buf[len + i] = char('0' + fp % 10);
      fp /= 10;
    }
    len += d;
  } else {
    len = std::snprintf(buf, sizeof buf, "%.*f", d, a);
    if (len < 0 || len >= int(sizeof buf)) {
      out.append(size_t(w), '*');
      return;
    }
    if (d == 0) buf[len++] = '.';
  }
  // buf holds "I.F" with at least one integer digit.
  const char* body = buf;
  int blen = len;
  int need = blen + (neg ? 1 : 0);
  if (need > w && body[0] == '0' && d > 0) {
    // the leading zero is optional when the field is tight
    ++body;
    --blen;
    need = blen + (neg ? 1 : 0);
  }
  if (need > w) {
    out.append(size_t(w), '*');
    return;
  }
  out.append(size_t(w - need), ' ');
  if (neg) out.push_back('-');
  out.append(body, size_t(blen));
}

void put_text(std::string& out, std::string_view s, int w) {
  if (w <= 0) {
    out.append(s);
  } else if (int(s.size()) < w) {
    out.append(size_t(w) - s.size(), ' ');
    out.append(s);
  } else {
    out.append(s.substr(0, size_t(w)));
  }
}

std::string pad(std::string_view s, size_t n) {
  std::string r(s.substr(0, std::min(n, s.size())));
  r.resize(n, ' ');
  return r;
}

std::string_view trim(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && (s[e - 1] == ' ' || s[e - 1] == '\0')) --e;
  return s.substr(0, e);
}

// ======================================================================= writing engine

namespace {

void put_value(std::string& line, const FormatItem& it, const Out& v) {
  switch (it.kind) {
    case FormatItem::INT:
      if (v.kind == Out::INT) put_int(line, v.i, it.w, it.d);
      else if (v.kind == Out::REAL) put_int(line, static_cast<int64_t>(v.f), it.w, it.d);
      else line.append(size_t(it.w), '*');
      break;
    case FormatItem::REAL:
      if (v.kind == Out::REAL) put_real(line, v.f, it.w, it.d);
      else if (v.kind == Out::INT) put_real(line, double(v.i), it.w, it.d);
      else line.append(size_t(it.w), '*');
      break;
    default:
      if (v.kind == Out::TEXT) put_text(line, v.s, it.w);
      else line.append(size_t(it.w), '*');
      break;
  }
}

}  // namespace

namespace {

// Writes the flat list once; returns false when the values ran out inside it.
bool write_flat(std::string& line, const std::vector<FormatItem>& flat, const Out* values, size_t n,
                size_t& idx, bool& any_data) {
  int pending_blanks = 0;
  for (const FormatItem& it : flat) {
    switch (it.kind) {
      case FormatItem::INT:
      case FormatItem::REAL:
      case FormatItem::TEXT:
        if (idx >= n) return false;
        any_data = true;
        if (pending_blanks) {
          line.append(size_t(pending_blanks), ' ');
          pending_blanks = 0;
        }
        if (it.kind == FormatItem::INT && values[idx].kind == Out::INT) {
          put_int(line, values[idx].i, it.w, it.d);
        } else {
          put_value(line, it, values[idx]);
        }
        ++idx;
        break;
      case FormatItem::SKIP:
        pending_blanks += it.w;
        break;
      case FormatItem::LITERAL:
        if (pending_blanks) {
          line.append(size_t(pending_blanks), ' ');
          pending_blanks = 0;
        }
        if (it.text.size() == 1) line.push_back(it.text[0]);
        else line.append(it.text);
        break;
      default:
        break;
    }
  }
  return true;
}

}  // namespace

void format_record(std::string& line, const Format& f, const Out* values, size_t n) {
  if (!f.flat().empty()) {
    size_t idx = 0;
    bool any_data = false;
    if (!write_flat(line, f.flat(), values, n, idx, any_data)) return;
    while (idx < n && any_data && !f.flat_reversion().empty()) {
      size_t before = idx;
      line.push_back('\n');
      if (!write_flat(line, f.flat_reversion(), values, n, idx, any_data)) return;
      if (idx == before) break;  // a reversion part without data descriptors
    }
    return;
  }
  const std::vector<FormatItem>& items = f.items();
  struct Level {
    int open;
    int left;
  };
  Level stack[16];
  int depth = 0;
  size_t idx = 0;
  size_t pos = 0;
  int pending_blanks = 0;  // nX at the end of a record writes nothing
  bool any_data = false;
  for (;;) {
    if (pos >= items.size()) {
      if (idx >= n || !any_data) break;
      line.push_back('\n');
      pending_blanks = 0;
      pos = size_t(f.reversion_point());
      depth = 0;
      continue;
    }
    const FormatItem& it = items[pos];
    switch (it.kind) {
      case FormatItem::INT:
      case FormatItem::REAL:
      case FormatItem::TEXT:
        if (idx >= n) return;
        any_data = true;
        if (pending_blanks) {
          line.append(size_t(pending_blanks), ' ');
          pending_blanks = 0;
        }
        put_value(line, it, values[idx++]);
        ++pos;
        break;
      case FormatItem::SKIP:
        pending_blanks += it.w;
        ++pos;
        break;
      case FormatItem::LITERAL:
        if (pending_blanks) {
          line.append(size_t(pending_blanks), ' ');
          pending_blanks = 0;
        }
        line.append(it.text);
        ++pos;
        break;
      case FormatItem::GROUP_OPEN:
        if (depth < 16) stack[depth++] = Level{int(pos), it.repeat};
        ++pos;
        break;
      case FormatItem::GROUP_CLOSE:
        if (depth > 0 && --stack[depth - 1].left > 0) {
          pos = size_t(stack[depth - 1].open) + 1;
        } else {
          if (depth > 0) --depth;
          ++pos;
        }
        break;
      case FormatItem::NO_ADVANCE:
        ++pos;
        break;
    }
  }
}

void format_record(std::string& line, const Format& f, std::initializer_list<Out> values) {
  format_record(line, f, values.begin(), values.size());
}

namespace {

void put_free_real(std::string& line, double v) {
  char buf[64];
  int len;
  if (v == std::trunc(v) && std::fabs(v) < 1e15) {
    len = std::snprintf(buf, sizeof buf, "%.1f", v);
  } else {
    len = std::snprintf(buf, sizeof buf, "%.7g", v);
  }
  line.append(buf, size_t(len));
}

}  // namespace

void format_free(std::string& line, std::initializer_list<Out> values) {
  size_t start = line.size();
  bool first = true;
  for (const Out& v : values) {
    if (v.kind == Out::TEXT) {
      if (first && (v.s.empty() || v.s[0] != ' ')) line.push_back(' ');
      line.append(v.s);
    } else {
      if (line.size() == start || line.back() != ' ') line.push_back(' ');
      if (v.kind == Out::INT) put_int(line, v.i, 24);
      else put_free_real(line, v.f);
      // strip the padding of the integer field
      if (v.kind == Out::INT) {
        size_t k = line.size() - 24;
        size_t b = k;
        while (b < line.size() && line[b] == ' ') ++b;
        line.erase(k, b - k);
      }
    }
    first = false;
  }
  if (values.size() == 0) line.push_back(' ');
}

// ======================================================================= units

namespace {

struct UnitState {
  std::string name;  // as opened (on disk)
  FILE* file = nullptr;
  bool writing = false;
  bool binary = false;
  bool first_line = true;
  long line = 0;
  std::string buf;  // pending output
};

struct Runtime {
  std::map<int, std::unique_ptr<UnitState>> units;
  std::istream* keyboard = nullptr;
  std::ostream* screen = nullptr;
  bool screen_mid_record = false;  // a prompt was written without ending its line
  long keyboard_line = 0;
  std::string scratch;
  char* getline_buf = nullptr;
  size_t getline_cap = 0;
};

Runtime& rt() {
  static Runtime r;
  return r;
}

std::istream& keyboard() { return rt().keyboard ? *rt().keyboard : std::cin; }
std::ostream& screen() { return rt().screen ? *rt().screen : std::cout; }
bool keyboard_is_terminal() { return rt().keyboard == nullptr && isatty(0); }

UnitState* unit_state(int unit) {
  auto it = rt().units.find(unit);
  return it == rt().units.end() ? nullptr : it->second.get();
}

bool exists_exact(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void flush_state(UnitState& u) {
  if (u.file && !u.buf.empty()) {
    std::fwrite(u.buf.data(), 1, u.buf.size(), u.file);
    u.buf.clear();
  }
}

constexpr size_t kFlushAt = 1 << 16;

}  // namespace

std::string disk_name(std::string_view name) {
  std::string n(trim(name));
  if (n.empty() || exists_exact(n) || n.find('/') != std::string::npos) return n;
  DIR* dir = ::opendir(".");
  if (!dir) return n;
  std::string found = n;
  while (dirent* e = ::readdir(dir)) {
    if (::strcasecmp(e->d_name, n.c_str()) == 0 && exists_exact(e->d_name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

bool file_exists(std::string_view name) { return exists_exact(disk_name(name)); }

bool is_open(int unit) {
  if (unit == KEYBOARD || unit == SCREEN) return true;
  return unit_state(unit) != nullptr;
}

int free_unit() {
  int u = 10;
  while (is_open(u)) ++u;
  return u;
}

namespace {

bool open_unit(int unit, std::string_view name, bool writing, bool binary) {
  if (unit == KEYBOARD || unit == SCREEN) return false;
  close_unit(unit);
  std::string wanted(trim(name));
  std::string on_disk = disk_name(wanted);
  if (writing && on_disk != wanted && exists_exact(on_disk)) {
    // The same file under another letter case: replace it, keep the program's name.
    std::remove(on_disk.c_str());
    on_disk = wanted;
  }
  if (!writing && !exists_exact(on_disk)) return false;
  FILE* f = std::fopen(on_disk.c_str(), writing ? "wb" : "rb");
  if (!f) return false;
  auto st = std::make_unique<UnitState>();
  st->name = on_disk;
  st->file = f;
  st->writing = writing;
  st->binary = binary;
  rt().units[unit] = std::move(st);
  return true;
}

}  // namespace

bool open_read(int unit, std::string_view name) { return open_unit(unit, name, false, false); }
bool open_write(int unit, std::string_view name) { return open_unit(unit, name, true, false); }
bool open_read_binary(int unit, std::string_view name) { return open_unit(unit, name, false, true); }
bool open_write_binary(int unit, std::string_view name) { return open_unit(unit, name, true, true); }

void close_unit(int unit, bool delete_file) {
  if (unit == SCREEN) {
    flush_unit(SCREEN);
    return;
  }
  auto it = rt().units.find(unit);
  if (it == rt().units.end()) return;
  UnitState& u = *it->second;
  flush_state(u);
  if (u.file) std::fclose(u.file);
  if (delete_file) std::remove(u.name.c_str());
  rt().units.erase(it);
}

void close_all_units() {
  std::vector<int> open;
  for (auto& [u, st] : rt().units) open.push_back(u);
  for (int u : open) close_unit(u);
  flush_unit(SCREEN);
}

std::string unit_name(int unit) {
  if (unit == KEYBOARD) return "console input";
  if (unit == SCREEN) return "console";
  UnitState* u = unit_state(unit);
  return u ? u->name : std::string();
}

long unit_line(int unit) {
  if (unit == KEYBOARD) return rt().keyboard_line;
  UnitState* u = unit_state(unit);
  return u ? u->line : 0;
}

void set_console(std::istream* in, std::ostream* out) {
  flush_unit(SCREEN);
  rt().keyboard = in;
  rt().screen = out;
  rt().screen_mid_record = false;
  rt().keyboard_line = 0;
}

void flush_unit(int unit) {
  if (unit == SCREEN) {
    screen().flush();
    return;
  }
  if (UnitState* u = unit_state(unit)) {
    flush_state(*u);
    if (u->file) std::fflush(u->file);
  }
}

// ======================================================================= writing

namespace {

// Emits one formatted record (possibly several lines after reversion) to a unit.
void emit(int unit, std::string_view record, bool advance) {
  if (unit == SCREEN || unit <= 0) {
    std::ostream& os = screen();
    os.write(record.data(), std::streamsize(record.size()));
    if (advance) os.put('\n');
    rt().screen_mid_record = !advance;
    return;
  }
  UnitState* u = unit_state(unit);
  if (!u || !u->writing) return;
  u->buf.append(record);
  if (advance) u->buf.push_back('\n');
  if (u->buf.size() >= kFlushAt) flush_state(*u);
}

}  // namespace

void write_fmt(int unit, const Format& f, const Out* values, size_t n) {
  if (unit != SCREEN && unit > 0) {
    // Format straight into the unit's buffer: no temporary per record.
    UnitState* u = unit_state(unit);
    if (!u || !u->writing) return;
    format_record(u->buf, f, values, n);
    if (!f.no_advance()) u->buf.push_back('\n');
    if (u->buf.size() >= kFlushAt) flush_state(*u);
    return;
  }
  std::string& s = rt().scratch;
  s.clear();
  format_record(s, f, values, n);
  emit(unit, s, !f.no_advance());
}

void write_fmt(int unit, const Format& f, std::initializer_list<Out> values) {
  write_fmt(unit, f, values.begin(), values.size());
}

void write_fmt(int unit, std::string_view fmt, std::initializer_list<Out> values) {
  write_fmt(unit, Format::parse(fmt), values);
}

void write_free(int unit, std::initializer_list<Out> values) {
  std::string s;
  format_free(s, values);
  emit(unit, s, true);
}

void write_line(int unit, std::string_view text) { emit(unit, text, true); }
void write_text(int unit, std::string_view text) { emit(unit, text, false); }

void write_binary(int unit, const int32_t* values, int n) {
  UnitState* u = unit_state(unit);
  if (!u || !u->writing) return;
  // Sequential unformatted record: byte count, data, byte count.
  int32_t bytes = n * int32_t(sizeof(int32_t));
  u->buf.append(reinterpret_cast<const char*>(&bytes), sizeof bytes);
  u->buf.append(reinterpret_cast<const char*>(values), size_t(bytes));
  u->buf.append(reinterpret_cast<const char*>(&bytes), sizeof bytes);
  if (u->buf.size() >= kFlushAt) flush_state(*u);
}

void say(int log, std::initializer_list<Out> values) {
  std::string s;
  format_free(s, values);
  emit(SCREEN, s, true);
  if (log > 0) emit(log, s, true);
}

void say_fmt(int log, const Format& f, std::initializer_list<Out> values) {
  std::string s;
  format_record(s, f, values);
  emit(SCREEN, s, !f.no_advance());
  if (log > 0) emit(log, s, !f.no_advance());
}

void say_fmt(int log, std::string_view fmt, std::initializer_list<Out> values) {
  say_fmt(log, Format::parse(fmt), values);
}

void say_line(int log, std::string_view text) {
  emit(SCREEN, text, true);
  if (log > 0) emit(log, text, true);
}

// ======================================================================= reading

bool read_line(int unit, std::string& line) {
  if (unit == KEYBOARD) {
    screen().flush();
    if (!std::getline(keyboard(), line)) return false;
    ++rt().keyboard_line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (rt().screen_mid_record) {
      // A transcript read from a file or pipe shows the answer after its prompt.
      if (!keyboard_is_terminal()) {
        screen() << line << '\n';
      }
      rt().screen_mid_record = false;
    }
    return true;
  }
  UnitState* u = unit_state(unit);
  if (!u || u->writing || !u->file) return false;
  Runtime& r = rt();
  ssize_t n = ::getline(&r.getline_buf, &r.getline_cap, u->file);
  if (n < 0) return false;
  line.assign(r.getline_buf, size_t(n));
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (u->first_line) {
    u->first_line = false;
    if (line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF &&
        static_cast<unsigned char>(line[1]) == 0xBB && static_cast<unsigned char>(line[2]) == 0xBF) {
      line.erase(0, 3);
    }
  }
  ++u->line;
  return true;
}

namespace {

bool parse_int_text(std::string_view t, int64_t& v) {
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  if (i >= t.size()) return false;
  uint64_t a = 0;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c < '0' || c > '9') return false;
    a = a * 10 + uint64_t(c - '0');
    if (a > (uint64_t(1) << 62)) return false;
  }
  v = neg ? -int64_t(a) : int64_t(a);
  return true;
}

// Fortran real forms: [sign] digits [. digits] [E|D [sign] digits], or with only a fraction.
bool parse_real_text(std::string_view t, double& v, int implied_decimals = -1) {
  std::string s;
  s.reserve(t.size() + 8);
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) s += t[i++];
  size_t mant_start = s.size();
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      s += c;
    } else if (c == '.' && !point) {
      point = true;
      s += c;
    } else {
      break;
    }
  }
  if (!digits) return false;
  int exp10 = 0;
  bool has_exp = false;
  if (i < t.size()) {
    char c = char(std::toupper(static_cast<unsigned char>(t[i])));
    if (c == 'E' || c == 'D' || c == 'Q') {
      ++i;
    } else if (c != '+' && c != '-') {
      return false;
    }
    int64_t e;
    if (!parse_int_text(t.substr(i), e)) return false;
    if (e > 9999 || e < -9999) return false;
    exp10 = int(e);
    has_exp = true;
    i = t.size();
  }
  (void)has_exp;
  if (i != t.size()) return false;
  if (!point && implied_decimals > 0) {
    // implied decimal point: the last d digits are the fraction
    std::string m = s.substr(mant_start);
    while (int(m.size()) < implied_decimals) m.insert(m.begin(), '0');
    m.insert(m.size() - size_t(implied_decimals), 1, '.');
    s = s.substr(0, mant_start) + m;
  }
  s += 'e';
  s += std::to_string(exp10);
  char* end = nullptr;
  errno = 0;
  v = std::strtod(s.c_str(), &end);
  return end && *end == '\0';
}

// Stores a converted text into a variable; false when it does not convert.
bool assign_value(const In& var, std::string_view text, bool quoted) {
  switch (var.kind) {
    case In::I16:
    case In::I32:
    case In::I64: {
      int64_t v;
      if (quoted || !parse_int_text(text, v)) return false;
      if (var.kind == In::I16) {
        if (v < INT16_MIN || v > INT16_MAX) return false;
        *static_cast<int16_t*>(var.p) = int16_t(v);
      } else if (var.kind == In::I32) {
        if (v < INT32_MIN || v > INT32_MAX) return false;
        *static_cast<int32_t*>(var.p) = int32_t(v);
      } else {
        *static_cast<int64_t*>(var.p) = v;
      }
      return true;
    }
    case In::R32:
    case In::R64: {
      double v;
      if (quoted || !parse_real_text(text, v)) return false;
      if (var.kind == In::R32) *static_cast<float*>(var.p) = float(v);
      else *static_cast<double*>(var.p) = v;
      return true;
    }
    case In::TEXT: {
      std::string* s = static_cast<std::string*>(var.p);
      *s = var.len > 0 ? pad(text, size_t(var.len)) : std::string(text);
      return true;
    }
  }
  return false;
}

ReadResult bad(std::string text) {
  ReadResult r;
  r.status = ReadStatus::BAD;
  r.bad_text = std::move(text);
  return r;
}

ReadResult end_of_file() {
  ReadResult r;
  r.status = ReadStatus::END;
  return r;
}

// List-directed reading over records supplied by `next` (false at end of input).
template <class NextLine>
ReadResult free_read(const In* vars, size_t nvars, NextLine next) {
  std::string line;
  if (!next(line)) return end_of_file();
  size_t pos = 0;
  size_t idx = 0;
  bool after_comma = true;  // a comma at the very start is a null value
  while (idx < nvars) {
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    if (pos >= line.size()) {
      if (!next(line)) return end_of_file();
      pos = 0;
      continue;
    }
    char c = line[pos];
    if (c == ',') {
      if (after_comma) ++idx;  // null: the variable keeps its value
      after_comma = true;
      ++pos;
      continue;
    }
    if (c == '/') return ReadResult{};
    std::string token;
    bool quoted = false;
    if (c == '\'' || c == '"') {
      quoted = true;
      ++pos;
      for (;;) {
        if (pos >= line.size()) break;
        if (line[pos] == c) {
          if (pos + 1 < line.size() && line[pos + 1] == c) {
            token += c;
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        token += line[pos++];
      }
    } else {
      size_t b = pos;
      while (pos < line.size() && !is_blank(line[pos]) && line[pos] != ',' && line[pos] != '/') ++pos;
      token.assign(line, b, pos - b);
    }
    // r*value and r* (r nulls)
    long repeat = 1;
    std::string_view value = token;
    bool null_value = false;
    if (!quoted) {
      size_t star = token.find('*');
      if (star != std::string::npos && star > 0) {
        int64_t r;
        if (parse_int_text(std::string_view(token).substr(0, star), r) && r > 0 &&
            token[0] != '+' && token[0] != '-') {
          repeat = long(r);
          value = std::string_view(token).substr(star + 1);
          null_value = value.empty();
          if (!null_value && (value[0] == '\'' || value[0] == '"')) {
            // r*'text': strip the delimiters
            char q = value[0];
            if (value.size() >= 2 && value.back() == q) value = value.substr(1, value.size() - 2);
            quoted = true;
          }
        }
      }
    }
    for (long k = 0; k < repeat && idx < nvars; ++k, ++idx) {
      if (null_value) continue;
      if (!assign_value(vars[idx], value, quoted)) return bad(token);
    }
    after_comma = false;
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    if (pos < line.size() && line[pos] == ',') {
      after_comma = true;
      ++pos;
    }
  }
  return ReadResult{};
}

// Column reading of records supplied by `next`.
template <class NextLine>
ReadResult column_read(const Format& f, const In* vars, size_t nvars, NextLine next) {
  std::string line;
  if (!next(line)) return end_of_file();
  const std::vector<FormatItem>& items = f.items();
  struct Level {
    int open;
    int left;
  };
  Level stack[16];
  int depth = 0;
  size_t col = 0;
  size_t idx = 0;
  size_t pos = 0;
  bool any_data = false;
  auto field = [&](int w) {
    std::string s;
    if (col < line.size()) s = line.substr(col, size_t(w));
    col += size_t(w);
    if (s.size() < size_t(w)) s.resize(size_t(w), ' ');
    return s;
  };
  while (idx < nvars) {
    if (pos >= items.size()) {
      if (!any_data) break;
      if (!next(line)) return end_of_file();
      col = 0;
      pos = size_t(f.reversion_point());
      depth = 0;
      continue;
    }
    const FormatItem& it = items[pos];
    switch (it.kind) {
      case FormatItem::INT:
      case FormatItem::REAL: {
        any_data = true;
        std::string raw = field(it.w);
        std::string s;
        for (char c : raw)
          if (!is_blank(c)) s += c;
        const In& var = vars[idx];
        if (s.empty()) s = "0";
        if (var.kind == In::TEXT) return bad(raw);
        if (it.kind == FormatItem::INT || var.kind == In::I16 || var.kind == In::I32 || var.kind == In::I64) {
          if (it.kind == FormatItem::REAL) {
            double d;
            if (!parse_real_text(s, d, it.d)) return bad(raw);
            int64_t v = static_cast<int64_t>(d);
            if (!assign_value(var, std::to_string(v), false)) return bad(raw);
          } else if (var.kind == In::R32 || var.kind == In::R64) {
            int64_t v;
            if (!parse_int_text(s, v)) return bad(raw);
            if (!assign_value(var, s, false)) return bad(raw);
          } else {
            if (!assign_value(var, s, false)) return bad(raw);
          }
        } else {
          double d;
          if (!parse_real_text(s, d, it.d)) return bad(raw);
          if (var.kind == In::R32) *static_cast<float*>(var.p) = float(d);
          else *static_cast<double*>(var.p) = d;
        }
        ++idx;
        ++pos;
        break;
      }
      case FormatItem::TEXT: {
        any_data = true;
        const In& var = vars[idx];
        int w = it.w > 0 ? it.w : (var.len > 0 ? var.len : int(line.size() > col ? line.size() - col : 0));
        std::string raw = field(w);
        if (var.kind != In::TEXT) return bad(raw);
        std::string* dst = static_cast<std::string*>(var.p);
        if (var.len <= 0) *dst = raw;
        else if (w >= var.len) *dst = raw.substr(size_t(w - var.len));
        else *dst = pad(raw, size_t(var.len));
        ++idx;
        ++pos;
        break;
      }
      case FormatItem::SKIP:
        col += size_t(it.w);
        ++pos;
        break;
      case FormatItem::LITERAL:
        if (it.text == "\n") {
          if (!next(line)) return end_of_file();
          col = 0;
        } else {
          col += it.text.size();
        }
        ++pos;
        break;
      case FormatItem::GROUP_OPEN:
        if (depth < 16) stack[depth++] = Level{int(pos), it.repeat};
        ++pos;
        break;
      case FormatItem::GROUP_CLOSE:
        if (depth > 0 && --stack[depth - 1].left > 0) {
          pos = size_t(stack[depth - 1].open) + 1;
        } else {
          if (depth > 0) --depth;
          ++pos;
        }
        break;
      case FormatItem::NO_ADVANCE:
        ++pos;
        break;
    }
  }
  return ReadResult{};
}

}  // namespace

ReadResult read_free(int unit, std::initializer_list<In> vars) {
  return free_read(vars.begin(), vars.size(), [unit](std::string& l) { return read_line(unit, l); });
}

ReadResult read_free_text(std::string_view text, std::initializer_list<In> vars) {
  bool given = false;
  return free_read(vars.begin(), vars.size(), [&](std::string& l) {
    if (given) return false;
    given = true;
    l.assign(text);
    return true;
  });
}

ReadResult read_cols(int unit, const Format& f, std::initializer_list<In> vars) {
  return column_read(f, vars.begin(), vars.size(), [unit](std::string& l) { return read_line(unit, l); });
}

ReadResult read_cols(int unit, std::string_view fmt, std::initializer_list<In> vars) {
  return read_cols(unit, Format::parse(fmt), vars);
}

ReadResult read_cols_text(std::string_view line, const Format& f, std::initializer_list<In> vars) {
  return read_cols_text(line, f, vars.begin(), vars.size());
}

ReadResult read_cols_text(std::string_view line, const Format& f, const In* vars, size_t n) {
  bool given = false;
  return column_read(f, vars, n, [&](std::string& l) {
    if (given) return false;
    given = true;
    l.assign(line);
    return true;
  });
}

bool read_binary(int unit, int32_t* values, int n) {
  UnitState* u = unit_state(unit);
  if (!u || u->writing || !u->file) return false;
  int32_t bytes = 0;
  if (std::fread(&bytes, sizeof bytes, 1, u->file) != 1) return false;
  if (bytes < 0) return false;
  std::vector<char> data(size_t(bytes) + sizeof(int32_t));
  if (std::fread(data.data(), 1, data.size(), u->file) != data.size()) return false;
  int have = bytes / int32_t(sizeof(int32_t));
  for (int i = 0; i < n; ++i) values[i] = 0;
  std::memcpy(values, data.data(), size_t(std::min(have, n)) * sizeof(int32_t));
  ++u->line;
  return true;
}

[[noreturn]] void fatal_read(int unit, const ReadResult& r) {
  std::string msg = " *** Read Error *** " + unit_name(unit) + ", line " + std::to_string(unit_line(unit)) +
                    ": cannot convert \"" + r.bad_text + "\"";
  throw FatalReadError(msg);
}

bool read_free_or_fail(int unit, std::initializer_list<In> vars) {
  ReadResult r = read_free(unit, vars);
  if (r.bad()) fatal_read(unit, r);
  return bool(r);
}

bool read_cols_or_fail(int unit, const Format& f, std::initializer_list<In> vars) {
  ReadResult r = read_cols(unit, f, vars);
  if (r.bad()) fatal_read(unit, r);
  return bool(r);
}

ReadResult read_answer(int32_t& value) {
  int32_t v = value;
  ReadResult r = read_free(KEYBOARD, {&v});
  if (r) value = v;
  return r;
}

}  // namespace routava
