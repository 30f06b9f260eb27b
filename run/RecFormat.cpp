// Descriptor lists: parsed once into items, unrolled, and planned for writing.
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/recio_internal.hpp"

namespace routava {

using recio::is_blank;

namespace {

struct FormatParser {
  std::string_view s;
  size_t p = 0;
  std::vector<FormatItem>& out;
  int depth = 0;  // of the group being parsed

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
      // Writers and readers would disagree on whether such a group is entered.
      if (repeat == 0) fail("group repeated 0 times");
      if (++depth > recio::kGroupDepth) fail("groups nested too deep");
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
      --depth;
      return;
    }
    if (c == '\'' || c == '"') {
      std::string text;
      if (!recio::take_quoted(s, p, text)) fail("unterminated literal");
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
  static std::atomic<uint64_t> parsed{0};
  Format f;
  f.id_ = ++parsed;
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

}  // namespace routava
