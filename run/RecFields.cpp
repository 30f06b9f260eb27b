// Single fields: numbers and texts written into fixed-width fields, and the text
// of a field converted back into a number.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "run/recio_internal.hpp"

namespace routava {

namespace recio {

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

// ---------------------------------------------------------------- text to numbers

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

namespace {

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

}  // namespace

// Fortran real forms: [sign] digits [. digits] [E|D [sign] digits], or with only a fraction.
bool parse_real_text(std::string_view t, double& v, int implied_decimals) {
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

bool store_int(const In& var, int64_t v) {
  switch (var.kind) {
    case In::I16:
      if (v < INT16_MIN || v > INT16_MAX) return false;
      *static_cast<int16_t*>(var.p) = int16_t(v);
      return true;
    case In::I32:
      if (v < INT32_MIN || v > INT32_MAX) return false;
      *static_cast<int32_t*>(var.p) = int32_t(v);
      return true;
    case In::I64:
      *static_cast<int64_t*>(var.p) = v;
      return true;
    default:
      return false;
  }
}

bool assign_value(const In& var, std::string_view text, bool quoted) {
  switch (var.kind) {
    case In::I16:
    case In::I32:
    case In::I64: {
      int64_t v;
      return !quoted && parse_int_text(text, v) && store_int(var, v);
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

}  // namespace recio

namespace {

using recio::int_field;
using recio::real_field;
using recio::text_field;

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

}  // namespace routava
