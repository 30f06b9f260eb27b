// Column reading: the first byte picks the kinds of the variables, the first line
// is a descriptor list, the rest are records. A record must read the same from
// text and from a file, and the same with blanks added at its end.
#include <cstring>

#include "fuzz/common.hpp"
#include "run/recio.hpp"

namespace routava::fuzz {
namespace {

constexpr size_t kMaxVars = 48;

struct Vars {
  int16_t i16[kMaxVars];
  int32_t i32[kMaxVars];
  int64_t i64[kMaxVars];
  float r32[kMaxVars];
  double r64[kMaxVars];
  std::string txt[kMaxVars];
  std::vector<In> list;

  // One variable per data item of f (further ones for reversion), their kinds
  // chosen by `pick`: a mismatched kind now and then, as a careless caller would.
  Vars(const Format& f, uint8_t pick) {
    std::memset(i16, 0, sizeof i16);
    std::memset(i32, 0, sizeof i32);
    std::memset(i64, 0, sizeof i64);
    std::memset(r32, 0, sizeof r32);
    std::memset(r64, 0, sizeof r64);
    std::vector<const FormatItem*> data;
    for (const FormatItem& it : f.items())
      if (it.kind == FormatItem::INT || it.kind == FormatItem::REAL || it.kind == FormatItem::TEXT) data.push_back(&it);
    if (data.empty()) return;
    const size_t n = std::min(kMaxVars, data.size() + (pick >> 6));
    for (size_t k = 0; k < n; ++k) {
      const FormatItem& it = *data[k % data.size()];
      const int twist = (pick + int(k)) % 8;
      if (it.kind == FormatItem::TEXT) {
        list.push_back(twist == 7 ? In(&i32[k]) : In(&txt[k], twist < 3 ? 0 : twist < 5 ? it.w : 40));
      } else if (it.kind == FormatItem::INT) {
        if (twist < 4) list.push_back(In(&i32[k]));
        else if (twist == 4) list.push_back(In(&i16[k]));
        else if (twist == 5) list.push_back(In(&i64[k]));
        else if (twist == 6) list.push_back(In(&r32[k]));
        else list.push_back(In(&txt[k], 3));
      } else {
        if (twist < 4) list.push_back(In(&r32[k]));
        else if (twist == 4) list.push_back(In(&r64[k]));
        else if (twist == 5) list.push_back(In(&i32[k]));
        else if (twist == 6) list.push_back(In(&i64[k]));
        else list.push_back(In(&i16[k]));
      }
    }
  }
  Vars(const Vars&) = delete;

  bool same(const Vars& o) const {
    for (size_t k = 0; k < kMaxVars; ++k)
      if (txt[k] != o.txt[k]) return false;
    return std::memcmp(i16, o.i16, sizeof i16) == 0 && std::memcmp(i32, o.i32, sizeof i32) == 0 &&
           std::memcmp(i64, o.i64, sizeof i64) == 0 && std::memcmp(r32, o.r32, sizeof r32) == 0 &&
           std::memcmp(r64, o.r64, sizeof r64) == 0;
  }
  bool text_lengths_kept() const {
    for (const In& v : list)
      if (v.kind == In::TEXT && v.len > 0 && static_cast<const std::string*>(v.p)->size() != size_t(v.len))
        return false;
    return true;
  }
};

// An A without width takes the rest of the line: blanks added to it change the value.
bool has_free_text(const Format& f) {
  for (const FormatItem& it : f.items())
    if (it.kind == FormatItem::TEXT && it.w <= 0) return true;
  return false;
}

// The unit reader takes a braced list: lists of up to kListed variables are spelt out.
constexpr size_t kListed = 8;
ReadResult read_cols_listed(int unit, const Format& f, const std::vector<In>& v) {
  switch (v.size()) {
    case 0: return read_cols(unit, f, {});
    case 1: return read_cols(unit, f, {v[0]});
    case 2: return read_cols(unit, f, {v[0], v[1]});
    case 3: return read_cols(unit, f, {v[0], v[1], v[2]});
    case 4: return read_cols(unit, f, {v[0], v[1], v[2], v[3]});
    case 5: return read_cols(unit, f, {v[0], v[1], v[2], v[3], v[4]});
    case 6: return read_cols(unit, f, {v[0], v[1], v[2], v[3], v[4], v[5]});
    case 7: return read_cols(unit, f, {v[0], v[1], v[2], v[3], v[4], v[5], v[6]});
    case 8: return read_cols(unit, f, {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]});
    default: return ReadResult{};
  }
}

}  // namespace
}  // namespace routava::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace routava;
  using namespace routava::fuzz;
  if (size < 1) return 0;
  const uint8_t pick = data[0];
  std::string_view head, rest;
  split_head(data + 1, size - 1, head, rest);
  Format f;
  if (!program_format(head, f)) return 0;

  // The first record from text and from a file holding it alone.
  const std::string raw(rest.substr(0, rest.find('\n')));
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  Vars from_text(f, pick);
  ReadResult rt = read_cols_text(line, f, from_text.list.data(), from_text.list.size());
  if (rt) require(from_text.text_lengths_kept(), "a text variable lost its length");

  const fs::path one = scratch_dir() / "one.txt";
  write_file(one, raw + "\n");
  const int unit = 10;
  require(open_read(unit, one.string()), "cannot open the scratch file");
  Vars from_file(f, pick);
  ReadResult rf = read_cols_listed(unit, f, from_file.list);
  close_unit(unit);
  if (from_file.list.size() <= kListed) {
    require(rf.status == rt.status, "file and text reading disagree on the status");
    require(rf.bad_text == rt.bad_text, "file and text reading name different bad texts");
    require(from_file.same(from_text), "file and text reading give different values");
  }

  // Blanks after the end of a record change nothing.
  if (!has_free_text(f) && line.find('\t') == std::string::npos) {
    Vars padded(f, pick);
    ReadResult rp = read_cols_text(line + std::string(300, ' '), f, padded.list.data(), padded.list.size());
    require(rp.status == rt.status, "blanks at the end of a record change the status");
    require(rp.bad_text == rt.bad_text, "blanks at the end of a record change the bad text");
    if (rt) require(padded.same(from_text), "blanks at the end of a record change the values");
  }

  // All records of the rest through a unit, with the typed reader: it must end.
  const fs::path all = scratch_dir() / "all.txt";
  write_file(all, rest);
  require(open_read(unit, all.string()), "cannot open the scratch file");
  size_t lines = 0;
  for (char c : rest) lines += c == '\n';
  for (size_t reads = 0;; ++reads) {
    require(reads <= lines + 2, "column reading does not come to the end of the file");
    int32_t a = 0;
    float b = 0;
    std::string c;
    ReadResult r = read_cols(unit, f, {&a, &b, In(&c, 8)});
    if (r.end()) break;
  }
  close_unit(unit);
  return 0;
}
