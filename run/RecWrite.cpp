// Column and free writing, to text and to units; messages to the screen and the
// log, and the reporting helpers every routine uses.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "run/recio_internal.hpp"

namespace routava {

using namespace recio;

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

// Characters a pass from value idx on may write, with 16 to spare for a
// remembered field copied whole at the last field.
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
// With kMemo, `memo` holds a slot per field of the plan.
template <bool kMemo>
char* write_pass(char* p, const Format::WritePlan& plan, const char* pool, const Out* values, size_t n,
                 size_t& idx, bool& any_data, bool& complete, FieldMemo* memo) {
  p = put_literal(p, pool, plan.head_at, plan.head_len);
  // Walked by pointers held in locals: the characters written through p could alias the plan.
  const size_t count = std::min(plan.ops.size(), n - idx);
  const Format::WriteOp* field = plan.ops.data();
  const Format::WriteOp* const end = field + count;
  const Out* value = values + idx;
  complete = count == plan.ops.size();
  if (count > 0) any_data = true;
  idx += count;
  for (; field != end; ++field, ++value) {
    const Format::WriteOp& op = *field;
    const Out& v = *value;
    FieldMemo* const slot = memo;
    if constexpr (kMemo) ++memo;
    p += op.lead;
    if (op.kind == FormatItem::INT && v.kind == Out::INT) {
      if (!kMemo || op.w > 16) {
        p = int_field(p, v.i, op.w, op.d);
      } else if (slot->set && slot->value == v.i) {
        std::memcpy(p, slot->text, 16);  // the field, then blanks that were blank already
        p += op.w;
      } else {
        char* const after = int_field(p, v.i, op.w, op.d);
        std::memcpy(slot->text, p, 16);
        slot->set = true;
        slot->value = v.i;
        p = after;
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
  return p;
}

// Column writing of one record through `sink`, which hands out blank room and
// takes back the end of what was written. Values that outlast the list go on in
// further lines from the reversion point. With kMemo, `memo` holds the slots of
// the plan's fields and then those of the reversion plan.
template <bool kMemo, class Sink>
void format_flat(Sink& sink, const Format& f, const Out* values, size_t n, FieldMemo* memo = nullptr) {
  size_t idx = 0;
  bool any_data = false;
  bool complete = true;
  const Format::WritePlan* plan = &f.plan();
  for (bool first = true;; first = false) {
    const size_t before = idx;
    if (!first) sink.put('\n');
    char* p = sink.room(pass_room(*plan, values, n, idx));
    sink.done(write_pass<kMemo>(p, *plan, f.literals().data(), values, n, idx, any_data, complete, memo));
    if (!complete || (!first && idx == before)) return;  // a reversion part without data descriptors
    if (!(idx < n && any_data && !f.flat_reversion().empty())) return;
    if (kMemo && first) memo += f.plan().ops.size();
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
    format_flat<false>(sink, f, values, n);
    return;
  }
  // A list without an unrolled plan (too long to unroll), item by item.
  size_t idx = 0;
  int pending_blanks = 0;  // nX at the end of a record writes nothing
  bool any_data = false;
  auto blanks = [&line, &pending_blanks] {
    line.append(size_t(pending_blanks), ' ');
    pending_blanks = 0;
  };
  walk_groups(
      f,
      [&](const FormatItem& it) {
        if (it.kind == FormatItem::SKIP) {
          pending_blanks += it.w;
        } else if (it.kind == FormatItem::LITERAL) {
          blanks();
          line.append(it.text);
        } else {
          if (idx >= n) return false;
          any_data = true;
          blanks();
          put_value(line, it, values[idx++]);
        }
        return true;
      },
      [&] {
        if (idx >= n || !any_data) return false;
        line.push_back('\n');
        pending_blanks = 0;
        return true;
      });
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
      std::string& s = u->scratch;
      s.clear();
      format_record(s, f, values, n);
      emit(unit, s, !f.no_advance());
      return;
    }
    if (u->memo_format != f.id()) {
      u->memo.assign(f.plan().ops.size() + f.plan_reversion().ops.size(), FieldMemo{});
      u->memo_format = f.id();
    }
    UnitSink sink{*u};
    format_flat<true>(sink, f, values, n, u->memo.data());
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
  note_message(s);
  emit(SCREEN, s, true);
  if (log > 0) emit(log, s, true);
}

void say_fmt(int log, const Format& f, std::initializer_list<Out> values) {
  std::string s;
  format_record(s, f, values);
  note_message(s);
  emit(SCREEN, s, !f.no_advance());
  if (log > 0) emit(log, s, !f.no_advance());
}

void say_fmt(int log, std::string_view fmt, std::initializer_list<Out> values) {
  say_fmt(log, Format::parse(fmt), values);
}

void say_line(int log, std::string_view text) {
  note_message(text);
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

}  // namespace routava
