// The record layer: formats, units, column and free reading and writing.
#include "run/recio.hpp"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
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

// The write plan of a flat list. Blanks of nX are only written when something
// follows them in the record, so they go with the next data item or literal,
// and trailing ones are dropped.
Format::WritePlan make_plan(const std::vector<FormatItem>& flat, std::string& literals) {
  Format::WritePlan plan;
  plan.head_at = uint32_t(literals.size());
  int32_t pending = 0;
  for (const FormatItem& it : flat) {
    switch (it.kind) {
      case FormatItem::INT:
      case FormatItem::REAL:
      case FormatItem::TEXT: {
        Format::WriteOp op;
        op.kind = it.kind;
        op.lead = pending;
        op.w = it.w;
        op.d = it.d;
        op.tail_at = uint32_t(literals.size());
        plan.ops.push_back(op);
        if (it.kind == FormatItem::TEXT && it.w <= 0) plan.free_text = true;
        plan.bound += size_t(pending) + size_t(std::max(it.w, 0));
        pending = 0;
        break;
      }
      case FormatItem::SKIP:
        pending += it.w;
        break;
      case FormatItem::LITERAL: {
        // Literals lie in the pool in order, so a run of them is one piece.
        uint32_t& len = plan.ops.empty() ? plan.head_len : plan.ops.back().tail_len;
        literals.append(size_t(pending), ' ');
        literals.append(it.text);
        len += uint32_t(size_t(pending) + it.text.size());
        plan.bound += size_t(pending) + it.text.size();
        pending = 0;
        break;
      }
      default:
        break;
    }
  }
  return plan;
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
  f.plan_ = make_plan(f.flat_, f.literals_);
  f.plan_reversion_ = make_plan(f.flat_reversion_, f.literals_);
  return f;
}

// ======================================================================= fields

// Each field writer fills exactly w characters at p, which hold blanks already
// (a record is blanked once), and returns p + w.

namespace {

constexpr char kDigitPairs[] =
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

// Right-aligns `len` characters of `t` in a field of w, or asterisks when they do not fit.
inline char* right_field(char* p, const char* t, size_t len, int w) {
  if (len > size_t(w)) return fill_field(p, '*', w);
  std::memcpy(p + (size_t(w) - len), t, len);
  return p + w;
}

char* real_field(char* p, double v, int w, int d) {
  if (std::isnan(v)) return w < 3 ? fill_field(p, '*', w) : right_field(p, "NaN", 3, w);
  bool neg = std::signbit(v);
  double a = std::fabs(v);
  if (std::isinf(a)) {
    const char* t = neg ? "-Infinity" : "Infinity";
    size_t len = std::strlen(t);
    if (size_t(w) >= len) return right_field(p, t, len, w);
    if (w >= 4) return right_field(p, neg ? "-Inf" : "Inf", neg ? 4 : 3, w);
    return fill_field(p, '*', w);
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
    if (len < 0 || len >= int(sizeof buf)) return fill_field(p, '*', w);
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
  if (need > w) return fill_field(p, '*', w);
  p += w - need;
  if (neg) *p++ = '-';
  std::memcpy(p, body, size_t(blen));
  return p + blen;
}

// Aw with w > 0: the text right-aligned when shorter, else its first w characters.
inline char* text_field(char* p, std::string_view s, int w) {
  if (s.size() < size_t(w)) return right_field(p, s.data(), s.size(), w);
  std::memcpy(p, s.data(), size_t(w));
  return p + w;
}

// A blank field of w characters at the end of out; returns where it begins.
inline char* blank_field(std::string& out, int w) {
  size_t at = out.size();
  out.append(size_t(w > 0 ? w : 0), ' ');
  return out.data() + at;
}

}  // namespace

void put_int(std::string& out, int64_t v, int w, int m) { int_field(blank_field(out, w), v, w, m); }

void put_real(std::string& out, double v, int w, int d) { real_field(blank_field(out, w), v, w, d); }

void put_text(std::string& out, std::string_view s, int w) {
  if (w <= 0) out.append(s);
  else text_field(blank_field(out, w), s, w);
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

inline char* put_literal(char* p, const char* pool, uint32_t at, uint32_t len) {
  if (len == 1) {
    *p = pool[at];
    return p + 1;
  }
  std::memcpy(p, pool + at, len);
  return p + len;
}

// Characters a pass from value idx on may write, with 16 to spare for a cached
// text copied whole at the last field.
size_t pass_room(const Format::WritePlan& plan, const Out* values, size_t n, size_t idx) {
  size_t room = plan.bound + 16;
  if (plan.free_text) {
    for (const Format::WriteOp& op : plan.ops) {
      if (idx >= n) break;
      const Out& v = values[idx++];
      if (op.kind == FormatItem::TEXT && op.w <= 0 && v.kind == Out::TEXT) room += v.s.size();
    }
  }
  return room;
}

// One pass over a write plan into p, which holds pass_room() blanks; returns the
// end of what was written. `complete` is false when the values ran out inside it.
char* write_pass(char* p, const Format::WritePlan& plan, const std::string& literals, const Out* values,
                 size_t n, size_t& idx_io, bool& any_data, bool& complete) {
  const char* pool = literals.data();
  p = put_literal(p, pool, plan.head_at, plan.head_len);
  size_t idx = idx_io;
  complete = true;
  for (const Format::WriteOp& op : plan.ops) {
    if (idx >= n) {
      complete = false;
      break;
    }
    p += op.lead;
    const Out& v = values[idx++];
    if (op.kind == FormatItem::INT && v.kind == Out::INT) {
      if (op.w > 16) {
        p = int_field(p, v.i, op.w, op.d);
      } else if (op.cached && op.cached_value == v.i) {
        std::memcpy(p, op.cached_text, 16);  // the field, then blanks that were blank already
        p += op.w;
      } else {
        char* end = int_field(p, v.i, op.w, op.d);
        std::memcpy(op.cached_text, p, 16);
        op.cached = true;
        op.cached_value = v.i;
        p = end;
      }
    } else if (op.kind == FormatItem::INT) {
      p = v.kind == Out::REAL ? int_field(p, static_cast<int64_t>(v.f), op.w, op.d) : fill_field(p, '*', op.w);
    } else if (op.kind == FormatItem::REAL) {
      if (v.kind == Out::REAL) p = real_field(p, v.f, op.w, op.d);
      else if (v.kind == Out::INT) p = real_field(p, double(v.i), op.w, op.d);
      else p = fill_field(p, '*', op.w);
    } else if (v.kind != Out::TEXT) {
      p = fill_field(p, '*', op.w);
    } else if (op.w > 0) {
      p = text_field(p, v.s, op.w);
    } else {
      std::memcpy(p, v.s.data(), v.s.size());  // A without width: as long as the text
      p += v.s.size();
    }
    p = put_literal(p, pool, op.tail_at, op.tail_len);
  }
  if (idx > idx_io) any_data = true;
  idx_io = idx;
  return p;
}

// Column writing of one record through `sink`, which hands out blank room and
// takes back the end of what was written. Values that outlast the list go on in
// further lines from the reversion point.
template <class Sink>
void format_flat(Sink& sink, const Format& f, const Out* values, size_t n) {
  size_t idx = 0;
  bool any_data = false;
  bool complete = true;
  const Format::WritePlan* plan = &f.plan();
  for (bool first = true;; first = false) {
    const size_t before = idx;
    if (!first) sink.put('\n');
    char* p = sink.room(pass_room(*plan, values, n, idx));
    sink.done(write_pass(p, *plan, f.literals(), values, n, idx, any_data, complete));
    if (!complete || (!first && idx == before)) return;  // a reversion part without data descriptors
    if (!(idx < n && any_data && !f.flat_reversion().empty())) return;
    plan = &f.plan_reversion();
  }
}

struct StringSink {
  std::string& line;
  char* room(size_t need) {
    const size_t at = line.size();
    line.append(need, ' ');
    return line.data() + at;
  }
  void done(char* end) { line.resize(size_t(end - line.data())); }
  void put(char c) { line.push_back(c); }
};

}  // namespace

void format_record(std::string& line, const Format& f, const Out* values, size_t n) {
  if (!f.flat().empty()) {
    StringSink sink{line};
    format_flat(sink, f, values, n);
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
  std::string buf;  // output area: buf[0, fill) is pending
  size_t fill = 0;
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
  // The open units by number, for the numbers a run uses: records are written
  // one by one, each finding its unit.
  std::array<UnitState*, 128> by_number{};
};

Runtime& rt() {
  static Runtime r;
  return r;
}

std::istream& keyboard() { return rt().keyboard ? *rt().keyboard : std::cin; }
std::ostream& screen() { return rt().screen ? *rt().screen : std::cout; }
bool keyboard_is_terminal() { return rt().keyboard == nullptr && isatty(0); }

UnitState* unit_state(int unit) {
  Runtime& r = rt();
  if (unit >= 0 && size_t(unit) < r.by_number.size()) return r.by_number[size_t(unit)];
  auto it = r.units.find(unit);
  return it == r.units.end() ? nullptr : it->second.get();
}

// Keeps the index by number in step with `units`; called wherever a unit is
// opened or closed.
void index_unit(int unit, UnitState* state) {
  Runtime& r = rt();
  if (unit >= 0 && size_t(unit) < r.by_number.size()) r.by_number[size_t(unit)] = state;
}

bool exists_exact(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void flush_state(UnitState& u) {
  if (u.file && u.fill > 0) std::fwrite(u.buf.data(), 1, u.fill, u.file);
  u.fill = 0;
}

constexpr size_t kFlushAt = 1 << 16;

void make_room(UnitState& u, size_t need) {
  flush_state(u);
  if (need > u.buf.size()) u.buf.resize(std::max(need, kFlushAt + 4096));
}

// Room for `need` more characters of output; what is written there counts once
// `fill` is moved past it.
inline char* reserve(UnitState& u, size_t need) {
  if (u.fill + need > u.buf.size()) make_room(u, need);
  return u.buf.data() + u.fill;
}

// Pending output reaches the file in pieces of kFlushAt or more.
inline void written(UnitState& u, size_t n) {
  u.fill += n;
  if (u.fill >= kFlushAt) flush_state(u);
}

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
  index_unit(unit, st.get());
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
  index_unit(unit, nullptr);
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
  char* p = reserve(*u, record.size() + 1);
  std::memcpy(p, record.data(), record.size());
  if (advance) p[record.size()] = '\n';
  written(*u, record.size() + (advance ? 1 : 0));
}

// Column writing straight into a unit's output area.
struct UnitSink {
  UnitState& u;
  char* room(size_t need) {
    char* p = reserve(u, need);
    std::memset(p, ' ', need);
    return p;
  }
  void done(char* end) { u.fill = size_t(end - u.buf.data()); }
  void put(char c) {
    *reserve(u, 1) = c;
    ++u.fill;
  }
};

}  // namespace

void write_fmt(int unit, const Format& f, const Out* values, size_t n) {
  if (unit != SCREEN && unit > 0) {
    // Format straight into the unit's buffer: no temporary per record.
    UnitState* u = unit_state(unit);
    if (!u || !u->writing) return;
    if (f.flat().empty()) {
      std::string& s = rt().scratch;
      s.clear();
      format_record(s, f, values, n);
      emit(unit, s, !f.no_advance());
      return;
    }
    UnitSink sink{*u};
    format_flat(sink, f, values, n);
    if (!f.no_advance()) sink.put('\n');
    written(*u, 0);
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
  char* p = reserve(*u, size_t(bytes) + 2 * sizeof bytes);
  std::memcpy(p, &bytes, sizeof bytes);
  std::memcpy(p + sizeof bytes, values, size_t(bytes));
  std::memcpy(p + sizeof bytes + size_t(bytes), &bytes, sizeof bytes);
  written(*u, size_t(bytes) + 2 * sizeof bytes);
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

void raise_level(int16_t& IERR, int by) {
  IERR = int16_t(std::clamp(int(IERR) + by, 0, LEVEL_CAP));
}

void say_heading(int log, std::string_view name, int rule) {
  std::string s = " === SUBROUTINE ";
  s += name;
  s += ' ';
  s.append(size_t(std::max(rule, 0)), '=');
  say_line(log, s);
}

void say_alloc_failure(int log, std::string_view name, std::string_view what, int16_t& IERR,
                       int rule) {
  say_heading(log, name, rule);
  say(log, {what, ALLOC_STATUS});
  raise_level(IERR, 9);
}

// ======================================================================= reading

namespace {

// The next record of a file unit (line end, CR and a leading byte-order mark
// removed) as a view into the reader's buffer, valid until the next read.
bool next_file_record(UnitState& u, std::string_view& line) {
  Runtime& r = rt();
  ssize_t n = ::getline(&r.getline_buf, &r.getline_cap, u.file);
  if (n < 0) return false;
  line = std::string_view(r.getline_buf, size_t(n));
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (u.first_line) {
    u.first_line = false;
    if (line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF &&
        static_cast<unsigned char>(line[1]) == 0xBB && static_cast<unsigned char>(line[2]) == 0xBF) {
      line.remove_prefix(3);
    }
  }
  ++u.line;
  return true;
}

bool keyboard_line(std::string& line) {
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

// The next record of any unit as a view; `keep` holds a keyboard line.
bool next_record(int unit, std::string& keep, std::string_view& line) {
  if (unit == KEYBOARD) {
    if (!keyboard_line(keep)) return false;
    line = keep;
    return true;
  }
  UnitState* u = unit_state(unit);
  if (!u || u->writing || !u->file) return false;
  return next_file_record(*u, line);
}

}  // namespace

bool read_line(int unit, std::string& line) {
  if (unit == KEYBOARD) return keyboard_line(line);
  std::string_view view;
  if (!next_record(unit, line, view)) return false;
  line.assign(view);
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

constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A plain decimal, [sign] digits [. digits], of at most 15 significant digits and
// 22 decimals: its digits and the power of ten are exact doubles, so one division
// rounds exactly as strtod does. False for anything else.
bool plain_decimal(std::string_view t, double& v, int implied_decimals) {
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  uint64_t m = 0;
  int significant = 0;
  int decimals = 0;
  bool point = false;
  bool digits = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      if (point) ++decimals;
      if (m == 0 && c == '0') continue;  // leading zeros are not significant
      if (++significant > 15) return false;
      m = m * 10 + uint64_t(c - '0');
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  if (!point && implied_decimals > 0) decimals = implied_decimals;
  if (decimals > 22) return false;
  double d = double(m);
  if (decimals > 0) d /= kExactPow10[decimals];
  v = neg ? -d : d;
  return true;
}

// Fortran real forms: [sign] digits [. digits] [E|D [sign] digits], or with only a fraction.
bool parse_real_text(std::string_view t, double& v, int implied_decimals = -1) {
  if (plain_decimal(t, v, implied_decimals)) return true;
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

// List-directed reading over records supplied by `next` (false at end of input),
// each a view that stays valid until `next` is called again.
template <class NextLine>
ReadResult free_read(const In* vars, size_t nvars, NextLine next) {
  std::string_view line;
  if (!next(line)) return end_of_file();
  size_t pos = 0;
  size_t idx = 0;
  bool after_comma = true;  // a comma at the very start is a null value
  std::string quoted_text;
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
    std::string_view token;
    bool quoted = false;
    if (c == '\'' || c == '"') {
      quoted = true;
      quoted_text.clear();
      ++pos;
      for (;;) {
        if (pos >= line.size()) break;
        if (line[pos] == c) {
          if (pos + 1 < line.size() && line[pos + 1] == c) {
            quoted_text += c;
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        quoted_text += line[pos++];
      }
      token = quoted_text;
    } else {
      size_t b = pos;
      while (pos < line.size() && !is_blank(line[pos]) && line[pos] != ',' && line[pos] != '/') ++pos;
      token = line.substr(b, pos - b);
    }
    // r*value and r* (r nulls)
    long repeat = 1;
    std::string_view value = token;
    bool null_value = false;
    if (!quoted) {
      size_t star = token.find('*');
      if (star != std::string_view::npos && star > 0) {
        int64_t r;
        if (parse_int_text(token.substr(0, star), r) && r > 0 && token[0] != '+' && token[0] != '-') {
          repeat = long(r);
          value = token.substr(star + 1);
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
      if (!assign_value(vars[idx], value, quoted)) return bad(std::string(token));
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
  std::string keep;
  return free_read(vars.begin(), vars.size(),
                   [unit, &keep](std::string_view& l) { return next_record(unit, keep, l); });
}

ReadResult read_free_text(std::string_view text, std::initializer_list<In> vars) {
  bool given = false;
  return free_read(vars.begin(), vars.size(), [&](std::string_view& l) {
    if (given) return false;
    given = true;
    l = text;
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
