// Units, numbers and CSV records of the source files.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "import.hpp"

namespace routava::import {

namespace {

struct Unit {
  const char* name;
  double factor;
};

bool find_unit(std::initializer_list<Unit> units, std::string_view name, double& factor) {
  for (const Unit& u : units)
    if (name == u.name) {
      factor = u.factor;
      return true;
    }
  return false;
}

std::string_view strip(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool length_unit(std::string_view name, double& metres) {
  return find_unit({{"m", 1.0}, {"km", 1000.0}, {"mi", 1609.344}, {"ft", 0.3048}}, name, metres);
}

bool time_unit(std::string_view name, double& minutes) {
  return find_unit({{"min", 1.0}, {"h", 60.0}, {"s", 1.0 / 60.0}}, name, minutes);
}

bool speed_unit(std::string_view name, double& kmh) {
  return find_unit({{"kmh", 1.0}, {"mph", 1.609344}}, name, kmh);
}

bool parse_number(std::string_view text, double& value) {
  text = strip(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end && std::isfinite(value);
}

bool parse_whole(std::string_view text, int64_t& value) {
  text = strip(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end;
}

std::string read_text_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw ImportError(path, 0, std::string("cannot be read (") + std::strerror(errno) + ")");
  std::ostringstream ss;
  ss << f.rdbuf();
  std::string text = ss.str();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return text;
}

std::vector<CsvRow> read_csv(const std::string& path) {
  const std::string text = read_text_file(path);
  std::vector<CsvRow> rows;
  CsvRow row;
  std::string field;
  bool quoted = false, field_quoted = false;
  long line = 1;
  row.line = 1;
  auto end_field = [&] {
    row.fields.push_back(field_quoted ? field : std::string(strip(field)));
    field.clear();
    field_quoted = false;
  };
  auto end_row = [&] {
    end_field();
    const bool blank = row.fields.size() == 1 && row.fields[0].empty();
    if (!blank) rows.push_back(std::move(row));
    row = CsvRow();
    row.line = line;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == '"' && strip(field).empty()) {
      field.clear();
      quoted = field_quoted = true;
    } else if (c == ',') {
      end_field();
    } else if (c == '\n') {
      ++line;
      end_row();
    } else if (c != '\r') {
      field += c;
    }
  }
  if (quoted) throw ImportError(path, row.line, "a quoted field is not closed");
  if (!field.empty() || !row.fields.empty()) end_row();
  return rows;
}

}  // namespace routava::import
