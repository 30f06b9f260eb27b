// Column and free reading of records from units and texts, binary records, and
// the fatal read error.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "run/recio_internal.hpp"

namespace routava {

using namespace recio;

namespace {

bool starts_with_byte_order_mark(std::string_view line) {
  return line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF &&
         static_cast<unsigned char>(line[1]) == 0xBB && static_cast<unsigned char>(line[2]) == 0xBF;
}

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
    if (starts_with_byte_order_mark(line)) line.remove_prefix(3);
  }
  ++u.line;
  r.last_reader = &u;
  r.last_record = line;
  return true;
}

bool keyboard_line(std::string& line) {
  screen().flush();
  if (!std::getline(keyboard(), line)) return false;
  // Answers saved by an editor that marks UTF-8 start with a byte-order mark, as files may.
  if (++rt().keyboard_line == 1 && starts_with_byte_order_mark(line)) line.erase(0, 3);
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
      if (!next(line)) {
        ReadResult r = end_of_file();
        r.cut_short = idx > 0;
        return r;
      }
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
      take_quoted(line, pos, quoted_text);  // an open quote runs to the end of the line
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

// An Iw or Fw.d field into a variable: blanks ignored, an all-blank field zero,
// an F field without a point holding d decimals. False when it does not convert.
bool number_into(const FormatItem& it, std::string_view raw, const In& var) {
  if (var.kind == In::TEXT) return false;
  std::string digits;
  for (char c : raw)
    if (!is_blank(c)) digits += c;
  const std::string_view s = digits.empty() ? std::string_view("0") : std::string_view(digits);
  const bool int_var = var.kind == In::I16 || var.kind == In::I32 || var.kind == In::I64;
  if (it.kind == FormatItem::INT) {
    int64_t v;  // a real variable too takes only an integer text here
    return (int_var || parse_int_text(s, v)) && assign_value(var, s, false);
  }
  double d;
  if (!parse_real_text(s, d, it.d)) return false;
  if (int_var) return std::fabs(d) <= 0x1p62 && store_int(var, static_cast<int64_t>(d));  // the whole part
  if (var.kind == In::R32) *static_cast<float*>(var.p) = float(d);
  else *static_cast<double*>(var.p) = d;
  return true;
}

// An Aw field of w characters into a text variable, cut to its rightmost or
// padded to the variable's length.
bool text_into(const std::string& raw, int w, const In& var) {
  if (var.kind != In::TEXT) return false;
  std::string* dst = static_cast<std::string*>(var.p);
  if (var.len <= 0) *dst = raw;
  else if (w >= var.len) *dst = raw.substr(size_t(w - var.len));
  else *dst = pad(raw, size_t(var.len));
  return true;
}

// Column reading of records supplied by `next`.
template <class NextLine>
ReadResult column_read(const Format& f, const In* vars, size_t nvars, NextLine next) {
  std::string line;
  if (!next(line)) return end_of_file();
  ReadResult result;
  size_t col = 0;
  size_t idx = 0;
  bool any_data = false;
  // The next w characters of the record, blanks past its end.
  auto field = [&](int w) {
    std::string s;
    if (col < line.size()) s = line.substr(col, size_t(w));
    col += size_t(w);
    if (s.size() < size_t(w)) s.resize(size_t(w), ' ');
    return s;
  };
  auto next_line = [&] {
    if (!next(line)) {
      result = end_of_file();
      return false;
    }
    col = 0;
    return true;
  };
  walk_groups(
      f,
      [&](const FormatItem& it) {
        if (idx >= nvars) return false;
        if (it.kind == FormatItem::SKIP) {
          col += size_t(it.w);
          return true;
        }
        if (it.kind == FormatItem::LITERAL) {
          if (it.text == "\n") return next_line();
          col += it.text.size();
          return true;
        }
        any_data = true;
        const In& var = vars[idx++];
        bool ok;
        std::string raw;
        if (it.kind == FormatItem::TEXT) {
          // A without width: as long as the variable, or the rest of the record.
          const int w = it.w > 0 ? it.w : var.len > 0 ? var.len : int(line.size() > col ? line.size() - col : 0);
          raw = field(w);
          ok = text_into(raw, w, var);
        } else {
          raw = field(it.w);
          ok = number_into(it, raw, var);
        }
        if (!ok) result = bad(raw);
        return ok;
      },
      [&] { return idx < nvars && any_data && next_line(); });
  return result;
}

}  // namespace

ReadResult read_free(int unit, std::initializer_list<In> vars) {
  std::string keep;
  ReadResult r = free_read(vars.begin(), vars.size(),
                           [unit, &keep](std::string_view& l) { return next_record(unit, keep, l); });
  if (r.cut_short && unit != KEYBOARD) {
    rt().cut_records.push_back(" *** Warning *** " + unit_name(unit) + ", line " + std::to_string(unit_line(unit)) +
                               ": the last record has too few values at the end of the file and is not read.");
  }
  return r;
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

bool read_free_value(std::string_view token, const In& var) {
  // Only a plain token is one value converted as it stands; anything free
  // reading treats specially goes the whole way.
  auto special = [](char c) {
    return is_blank(c) || c == ',' || c == '/' || c == '*' || c == '\'' || c == '"';
  };
  if (token.empty() || std::any_of(token.begin(), token.end(), special)) return bool(read_free_text(token, {var}));
  return assign_value(var, token, false);
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

namespace {

// The text of the record read last on the unit, quoted ("" once another unit was read).
std::string quoted_record(int unit) {
  const UnitState* u = unit_state(unit);
  if (u == nullptr || rt().last_reader != u) return "";
  return ": \"" + std::string(rt().last_record) + "\"";
}

}  // namespace

std::string record_place(int unit) {
  return "    in " + unit_name(unit) + ", line " + std::to_string(unit_line(unit)) + quoted_record(unit);
}

void say_record(int log, int unit) { say_line(log, record_place(unit)); }

void tally_record(RecordTally& tally, int unit) {
  if (tally.count++ > 0) return;
  tally.first_line = unit_line(unit);
  tally.first_text = quoted_record(unit);
}

void say_tally(int log, const RecordTally& tally, std::string_view name, std::string_view what) {
  if (tally.count == 0) return;
  say_line(log, " *** Warning *** " + std::string(name) + ": " + std::to_string(tally.count) + " record(s) " +
                    std::string(what) + ", the first at line " + std::to_string(tally.first_line) + tally.first_text);
}

bool say_if_too_wide(int log, int unit, const Format& column_format, double value, std::string_view what,
                     std::string_view column) {
  if (!std::isfinite(value)) return false;  // not a value the readers give
  const auto& items = column_format.items();
  const bool whole = std::any_of(items.begin(), items.end(), [](const FormatItem& it) { return it.kind == FormatItem::INT; });
  std::string shown;
  if (whole) {
    // Rounded as the writers round; beyond 64 bits it cannot fit any column anyway.
    const double r = std::floor(value + 0.5);
    format_record(shown, column_format, {int64_t(std::clamp(r, -9.0e18, 9.0e18))});
  } else {
    format_record(shown, column_format, {value});
  }
  if (shown.find('*') == std::string::npos) return false;
  say(log, {" *** Warning *** ", unit_name(unit), ", line", int32_t(unit_line(unit)), ": ", what, float(value),
            " does not fit ", column, " and prints there as asterisks."});
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
