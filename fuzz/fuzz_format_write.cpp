// Format parsing and column writing: the first line is a descriptor list, the
// rest of the bytes make the values. The record writer must agree with a plain
// walk over the descriptors, write the same text to a file, the screen and a
// string, also when a record repeats, and every field must hold its value.
#include <cmath>
#include <cstring>
#include <sstream>

#include "fuzz/common.hpp"
#include "run/recio.hpp"

namespace routava::fuzz {
namespace {

// Values drawn from the bytes.
struct ByteSource {
  const uint8_t* p;
  size_t n;
  uint8_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  uint64_t bits64() {
    uint64_t v = 0;
    for (int k = 0; k < 8; ++k) v = v << 8 | byte();
    return v;
  }
};

constexpr double kSpecialReals[] = {0.0, -0.0, 0.5, -0.5, 0.05, 0.005, 0.045, 9.995, 99.95, -99.95,
                                    1e15, 1e20, -1e300, 1e-300, 123456.789, 0.1, 2.5, -2.5,
                                    HUGE_VAL, -HUGE_VAL, NAN};
constexpr int64_t kSpecialInts[] = {0, 1, -1, 9, 10, 99, 100, -99, -100, 99999, -9999, INT32_MAX,
                                    INT32_MIN, INT64_MAX, INT64_MIN};

struct Values {
  std::vector<std::string> texts;  // stable storage for the text views
  std::vector<Out> out;
};

Values make_values(ByteSource& src, size_t count) {
  Values v;
  v.texts.reserve(count);
  for (size_t k = 0; k < count; ++k) {
    const uint8_t tag = src.byte();
    switch (tag % 6) {
      case 0:
        v.out.emplace_back(int64_t(kSpecialInts[src.byte() % std::size(kSpecialInts)]));
        break;
      case 1:
        v.out.emplace_back(int64_t(src.bits64()));
        break;
      case 2:
        v.out.emplace_back(int32_t(int8_t(src.byte())));
        break;
      case 3:
        v.out.emplace_back(kSpecialReals[src.byte() % std::size(kSpecialReals)]);
        break;
      case 4: {
        double d;
        uint64_t b = src.bits64();
        std::memcpy(&d, &b, sizeof d);
        v.out.emplace_back(d);
        break;
      }
      default: {
        std::string t;
        for (int len = src.byte() % 24; len > 0; --len) t += char(src.byte());
        v.texts.push_back(t);
        v.out.emplace_back(std::string_view(v.texts.back()));
        break;
      }
    }
  }
  return v;
}

// A real value in an integer field is written truncated; outside the range of
// int64 that has no meaning, and no caller does it.
bool writable(const FormatItem& it, const Out& v) {
  if (it.kind == FormatItem::INT && v.kind == Out::REAL) return std::isfinite(v.f) && std::fabs(v.f) < 9.2e18;
  return true;
}

void put_field(std::string& line, const FormatItem& it, const Out& v) {
  if (it.kind == FormatItem::INT) {
    if (v.kind == Out::INT) put_int(line, v.i, it.w, it.d);
    else if (v.kind == Out::REAL) put_int(line, int64_t(v.f), it.w, it.d);
    else line.append(size_t(it.w), '*');
  } else if (it.kind == FormatItem::REAL) {
    if (v.kind == Out::TEXT) line.append(size_t(it.w), '*');
    else put_real(line, v.kind == Out::REAL ? v.f : double(v.i), it.w, it.d);
  } else {
    if (v.kind == Out::TEXT) put_text(line, v.s, it.w);
    else line.append(size_t(std::max(it.w, 0)), '*');
  }
}

// Column writing done plainly, descriptor by descriptor, apart from the record
// layer on purpose (it unrolls the list into a write plan): nX only counts when
// something follows it in the record; the values that outlast the list go on in
// further lines from the reversion point, as long as each pass takes some.
// False when a value cannot be written meaningfully.
bool walk_write(std::string& line, const Format& f, const std::vector<Out>& values) {
  const auto& items = f.items();
  struct Level {
    size_t open;
    int left;
  };
  std::vector<Level> stack;
  size_t idx = 0, pos = 0, pass_start = 0;
  int pending = 0;
  bool any_data = false, first = true;
  for (;;) {
    if (pos >= items.size()) {
      if (idx >= values.size() || !any_data) return true;
      if (!first && idx == pass_start) return true;
      first = false;
      pass_start = idx;
      line.push_back('\n');
      pending = 0;
      pos = size_t(f.reversion_point());
      stack.clear();
      continue;
    }
    const FormatItem& it = items[pos];
    switch (it.kind) {
      case FormatItem::INT:
      case FormatItem::REAL:
      case FormatItem::TEXT:
        if (idx >= values.size()) return true;
        if (!writable(it, values[idx])) return false;
        any_data = true;
        line.append(size_t(pending), ' ');
        pending = 0;
        put_field(line, it, values[idx++]);
        break;
      case FormatItem::SKIP:
        pending += it.w;
        break;
      case FormatItem::LITERAL:
        line.append(size_t(pending), ' ');
        pending = 0;
        line += it.text;
        break;
      case FormatItem::GROUP_OPEN:
        stack.push_back({pos, it.repeat});
        break;
      case FormatItem::GROUP_CLOSE:
        if (!stack.empty() && --stack.back().left > 0) {
          pos = stack.back().open;
        } else if (!stack.empty()) {
          stack.pop_back();
        }
        break;
      case FormatItem::NO_ADVANCE:
        break;
    }
    ++pos;
  }
}

// Iw.m, from the decimal text of the value.
std::string int_reference(int64_t v, int w, int m) {
  std::string digits = v < 0 ? std::to_string(uint64_t(0) - uint64_t(v)) : std::to_string(v);
  if (v == 0 && m == 0) digits.clear();
  if (m > int(digits.size())) digits.insert(0, size_t(m) - digits.size(), '0');
  if (v < 0) digits.insert(0, 1, '-');
  if (int(digits.size()) > w) return std::string(size_t(std::max(w, 0)), '*');
  return std::string(size_t(w) - digits.size(), ' ') + digits;
}

// Fw.d holds the value rounded to d decimals, or asterisks.
void check_real_field(double v, int w, int d) {
  if (w <= 0 || w > 60 || d < 0 || d > 20) return;
  std::string s;
  put_real(s, v, w, d);
  require(s.size() == size_t(w), "a real field is not w characters wide");
  if (s == std::string(size_t(w), '*') || std::isnan(v) || std::isinf(v)) return;
  const size_t b = s.find_first_not_of(' ');
  require(b != std::string::npos, "a real field is blank");
  const std::string body = s.substr(b);
  const size_t point = body.find('.');
  require(point != std::string::npos && body.size() - point - 1 == size_t(d), "a real field lacks its decimals");
  const double back = std::strtod(body.c_str(), nullptr);
  const double tol = 0.5 * std::pow(10.0, -d) * (1 + 1e-9) + std::fabs(v) * 1e-15;
  require(std::fabs(back - v) <= tol, "a real field does not hold its value: " + body);
}

// Lists the program could mean: when a record goes on from the reversion point,
// data descriptors there.
bool regular_format(const Format& f) {
  const auto& items = f.items();
  bool data_after_reversion = false;
  for (size_t k = 0; k < items.size(); ++k) {
    const bool data = items[k].kind == FormatItem::INT || items[k].kind == FormatItem::REAL ||
                      items[k].kind == FormatItem::TEXT;
    if (data && k >= size_t(f.reversion_point())) data_after_reversion = true;
  }
  return data_after_reversion || items.empty();
}

}  // namespace
}  // namespace routava::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace routava;
  using namespace routava::fuzz;
  std::string_view head, rest;
  split_head(data, size, head, rest);
  Format f;
  if (!program_format(head, f)) return 0;
  if (!regular_format(f)) return 0;
  size_t data_items = 0;
  for (const FormatItem& it : f.items())
    data_items += it.kind == FormatItem::INT || it.kind == FormatItem::REAL || it.kind == FormatItem::TEXT;

  ByteSource src{reinterpret_cast<const uint8_t*>(rest.data()), rest.size()};
  const size_t count = std::min<size_t>(64, src.byte() % (3 * data_items + 2));
  Values first = make_values(src, count);
  // The same record once more, then with every other value changed: a field that
  // keeps its last text must still show the new value.
  Values third = make_values(src, count);
  for (size_t k = 0; k < count; k += 2) third.out[k] = first.out[k];

  const fs::path file = scratch_dir() / "written.txt";
  const int unit = 10;
  require(open_write(unit, file.string()), "cannot create the scratch file");
  std::string expected_file;
  std::ostringstream screen;
  std::string expected_screen;
  set_console(nullptr, &screen);
  for (const Values* v : {&first, &first, &third}) {
    std::string walked;
    if (!walk_write(walked, f, v->out)) continue;
    std::string line;
    format_record(line, f, v->out.data(), v->out.size());
    require(line == walked, "the record writer and the descriptor walk differ:\n[" + line + "]\n[" + walked + "]");
    write_fmt(unit, f, v->out.data(), v->out.size());
    expected_file += line;
    if (!f.no_advance()) expected_file += '\n';
    if (v->out.size() <= 8) {
      // say_fmt takes a braced list.
      const auto& o = v->out;
      switch (o.size()) {
        case 0: say_fmt(0, f, {}); break;
        case 1: say_fmt(0, f, {o[0]}); break;
        case 2: say_fmt(0, f, {o[0], o[1]}); break;
        case 3: say_fmt(0, f, {o[0], o[1], o[2]}); break;
        case 4: say_fmt(0, f, {o[0], o[1], o[2], o[3]}); break;
        case 5: say_fmt(0, f, {o[0], o[1], o[2], o[3], o[4]}); break;
        case 6: say_fmt(0, f, {o[0], o[1], o[2], o[3], o[4], o[5]}); break;
        case 7: say_fmt(0, f, {o[0], o[1], o[2], o[3], o[4], o[5], o[6]}); break;
        default: say_fmt(0, f, {o[0], o[1], o[2], o[3], o[4], o[5], o[6], o[7]}); break;
      }
      expected_screen += line;
      if (!f.no_advance()) expected_screen += '\n';
    }
  }
  close_unit(unit);
  flush_unit(SCREEN);
  set_console(nullptr, nullptr);
  require(read_file(file) == expected_file, "a record written to a file differs from the record text");
  require(screen.str() == expected_screen, "a record written to the screen differs from the record text");

  // Single fields.
  for (const Out& v : first.out) {
    for (const FormatItem& it : f.items()) {
      if (it.w > 60) continue;
      if (it.kind == FormatItem::INT && v.kind == Out::INT) {
        std::string s;
        put_int(s, v.i, it.w, it.d);
        require(s == int_reference(v.i, it.w, it.d), "an integer field is wrong: [" + s + "]");
        // What fits is read back as it was (the reader takes magnitudes up to 2^62).
        const bool readable = v.i > -(int64_t(1) << 62) && v.i < (int64_t(1) << 62);
        if (readable && s.find('*') == std::string::npos && s.find_first_not_of(' ') != std::string::npos) {
          int64_t back = 0;
          Format in = Format::parse("(I" + std::to_string(it.w) + ")");
          require(bool(read_cols_text(s, in, {&back})) && back == v.i, "an integer field does not read back");
        }
      } else if (it.kind == FormatItem::REAL && v.kind == Out::REAL) {
        check_real_field(v.f, it.w, it.d);
      }
    }
  }
  return 0;
}
