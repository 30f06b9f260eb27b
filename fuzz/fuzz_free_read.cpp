// Free reading: the first byte picks a variable list (the shapes the input files
// use), the rest is the text. The same first record read from text and from a
// file must give the same result, and reading a whole file must end.
#include <cstring>

#include "fuzz/common.hpp"
#include "run/recio.hpp"

namespace routava::fuzz {
namespace {

struct Vars {
  int16_t i16[8];
  int32_t i32[8];
  int64_t i64[8];
  float r32[8];
  double r64[8];
  std::string txt[4];

  Vars() {
    // Recognisable starting values: a null value must leave them as they are.
    for (int k = 0; k < 8; ++k) {
      i16[k] = int16_t(-7 - k);
      i32[k] = -70 - k;
      i64[k] = -700 - k;
      r32[k] = -0.5f - float(k);
      r64[k] = -0.25 - k;
    }
    // Texts start at the length of their variable: a null value keeps them.
    txt[0] = pad("keep", 40);
    txt[1] = "keep";
    txt[2] = pad("keep", 5);
    txt[3] = "keep";
  }
  bool same_numbers(const Vars& o) const {
    return std::memcmp(i16, o.i16, sizeof i16) == 0 && std::memcmp(i32, o.i32, sizeof i32) == 0 &&
           std::memcmp(i64, o.i64, sizeof i64) == 0 && std::memcmp(r32, o.r32, sizeof r32) == 0 &&
           std::memcmp(r64, o.r64, sizeof r64) == 0;
  }
  bool same(const Vars& o) const {
    for (int k = 0; k < 4; ++k)
      if (txt[k] != o.txt[k]) return false;
    return same_numbers(o);
  }
};

constexpr int kShapes = 8;

// Calls read(list) with the variable list of one shape, bound to v.
template <class Read>
ReadResult with_shape(int shape, Vars& v, Read read) {
  switch (shape) {
    case 0:  // Network.csv
      return read({&v.i32[0], &v.i32[1], &v.i32[2], &v.i32[3], &v.i32[4], &v.i32[5], &v.i32[6]});
    case 1:  // RoadVTOD.txt
      return read({&v.i16[0], &v.i16[1], In(&v.txt[0], 40)});
    case 2:  // RoadPCU.txt
      return read({&v.i16[0], &v.r32[0], &v.r32[1]});
    case 3:  // QV.csv
      return read({&v.i16[0], &v.r32[0], &v.r32[1], &v.r32[2], &v.r32[3], &v.r32[4]});
    case 4:  // a cut record
      return read({&v.i32[0], &v.i64[0], &v.i64[1], &v.i64[2], &v.i64[3]});
    case 5:  // OD files
      return read({&v.i32[0], &v.i32[1], &v.i32[2]});
    case 6:  // texts of both kinds among numbers
      return read({In(&v.txt[1], 0), &v.r64[0], &v.i64[0], In(&v.txt[2], 5)});
    default:  // a route line of BusEdit.csv
      return read({&v.i32[0], &v.i32[1], &v.i32[2], &v.r32[0], &v.i32[3]});
  }
}

bool text_lengths_kept(int shape, const Vars& v) {
  if (shape == 1) return v.txt[0].size() == 40;
  if (shape == 6) return v.txt[2].size() == 5;
  return true;
}

// The first record as the file reader sees it: no line end, no CR before it, no
// byte-order mark at the start.
std::string first_record(std::string_view text) {
  std::string line(text.substr(0, text.find('\n')));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  return line;
}

size_t count_lines(std::string_view text) {
  if (text.empty()) return 0;
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return text.back() == '\n' ? n : n + 1;
}

}  // namespace
}  // namespace routava::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace routava;
  using namespace routava::fuzz;
  if (size < 1) return 0;
  const int shape = data[0] % kShapes;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const fs::path file = scratch_dir() / "free.txt";
  write_file(file, text);
  const int unit = 10;
  require(open_read(unit, file.string()), "cannot open the scratch file");

  // The first record from the file and from text.
  Vars from_file;
  ReadResult rf = with_shape(shape, from_file, [&](std::initializer_list<In> l) { return read_free(unit, l); });
  const long lines_used = unit_line(unit);
  Vars from_text;
  const std::string first = first_record(text);
  ReadResult rt = with_shape(shape, from_text, [&](std::initializer_list<In> l) { return read_free_text(first, l); });
  if (lines_used == 1 && !rt.end()) {
    require(rf.status == rt.status, "file and text reading disagree on the status");
    if (rf.bad()) require(rf.bad_text == rt.bad_text, "file and text reading name different bad texts");
    require(from_file.same(from_text), "file and text reading give different values");
  }
  if (rf) require(text_lengths_kept(shape, from_file), "a text variable lost its length");

  // The rest of the file: every read takes at least one line, and reading ends.
  const size_t total = count_lines(text);
  long last = lines_used;
  size_t reads = 1;
  while (!rf.end()) {
    require(reads <= total + 1, "free reading does not come to the end of the file");
    Vars v;
    rf = with_shape(shape, v, [&](std::initializer_list<In> l) { return read_free(unit, l); });
    ++reads;
    const long now = unit_line(unit);
    require(now >= last && size_t(now) <= total, "the line number of the unit went wrong");
    if (!rf.end()) require(now > last, "a record was read without taking a line");
    if (rf) require(text_lengths_kept(shape, v), "a text variable lost its length");
    last = now;
  }
  close_unit(unit);
  return 0;
}
