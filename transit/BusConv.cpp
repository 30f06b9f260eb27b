// Converts the keyword route text into the fixed-column route file and a fare
// template holding one zero-fare record per route.
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {
namespace {

constexpr size_t LINE_LEN = 100;  // input columns scanned
constexpr int MAX_NODES = 200;    // nodes of one route
constexpr size_t FIELD = 6;       // width of the mode, headway, node and speed texts
constexpr size_t NAME_LEN = 12;
constexpr size_t NAME_OFFSET = 11;  // the name starts this many columns after the L

// NODETXT: the texts of one route's nodes, right-aligned in FIELD characters.
constexpr int NT_CODE = 1;   // node code
constexpr int NT_SPEED = 2;  // km/h on the segment leaving the node
constexpr int NT_COLS = 2;

// The route being scanned and the files it goes to.
struct conversion {
  int LOG = 0;
  std::string input;  // name, for messages
  int edit = 0;       // unit of the converted route file
  int cost = 0;       // unit of the fare template
  Format route_fmt;
  Format node_fmt;
  Format cost_fmt;
  int64_t line_no = 0;
  int32_t route = 0;     // routes begun or written so far
  int16_t KREVERSE = 0;  // stays in force for the following routes until the next O
  std::string MODETXT;
  std::string FREQTXT;
  std::string RTNAME;
  Table<std::string> NODETXT;  // (node, NT_*)
  std::vector<int64_t> node_line;  // the input line each node was given on
  int64_t route_line = 0;          // the input line of the route's L
  RouteSource* source = nullptr;   // where each written line came from, when asked
  int nodes = 0;
  bool too_many = false;  // the node limit was already reported for this route
  int errors = 0;
};

std::string right_aligned(std::string_view v) {
  return std::string(FIELD - v.size(), ' ') + std::string(v);
}

bool is_blank(const std::string& s) { return trim(s).empty(); }

// A value the route file cannot hold as given. The conversion goes on so that
// one run shows every such finding, but its outputs are not kept. Text before
// the first route is discarded anyway, so it is not checked.
void reject(conversion& c, std::string_view what, std::string_view value) {
  if (c.route <= 0) return;
  say(c.LOG, {" ** ERROR ** ", c.input, " line", c.line_no, ", Route", c.route, ": ", what, value});
  ++c.errors;
}

void clear_route(conversion& c) {
  c.MODETXT.assign(FIELD, ' ');
  c.FREQTXT.assign(FIELD, ' ');
  c.RTNAME.assign(NAME_LEN, ' ');
  c.NODETXT.fill(std::string(FIELD, ' '));
  c.nodes = 0;
  c.too_many = false;
}

void add_node(conversion& c, std::string_view code) {
  if (c.nodes == MAX_NODES) {
    if (!c.too_many) reject(c, "more than 200 nodes in the route", "");
    c.too_many = true;
    return;
  }
  ++c.nodes;
  c.node_line[size_t(c.nodes)] = c.line_no;
  if (code.size() > FIELD) {
    reject(c, "node code longer than 6 characters: ", code);
    return;
  }
  c.NODETXT(c.nodes, NT_CODE) = right_aligned(code);
}

// A node without speed takes the nearest earlier one; the first node, the first given.
void fill_speeds(conversion& c) {
  if (c.nodes >= 1 && is_blank(c.NODETXT(1, NT_SPEED))) {
    for (int i = 2; i <= c.nodes; ++i) {
      if (!is_blank(c.NODETXT(i, NT_SPEED))) {
        c.NODETXT(1, NT_SPEED) = c.NODETXT(i, NT_SPEED);
        break;
      }
    }
  }
  for (int i = 2; i <= c.nodes; ++i) {
    if (is_blank(c.NODETXT(i, NT_SPEED))) c.NODETXT(i, NT_SPEED) = c.NODETXT(i - 1, NT_SPEED);
  }
}

void write_route(conversion& c, bool reverse) {
  write_fmt(c.edit, c.route_fmt, {c.route, int32_t(0), c.MODETXT, c.FREQTXT, int32_t(c.nodes)});
  if (c.source) c.source->from.push_back(c.route_line);
  for (int k = 1; k <= c.nodes; ++k) {
    const int i = reverse ? c.nodes + 1 - k : k;
    write_fmt(c.edit, c.node_fmt, {c.route, int32_t(k), c.NODETXT(i, NT_CODE), c.NODETXT(i, NT_SPEED)});
    if (c.source) c.source->from.push_back(c.node_line[size_t(i)]);
  }
  write_fmt(c.cost, c.cost_fmt, {c.route, c.MODETXT, c.RTNAME});
}

void finish_route(conversion& c) {
  fill_speeds(c);
  write_route(c, false);
  if (c.KREVERSE == 1) {
    ++c.route;
    write_route(c, true);
  }
}

// A value ends before the next comma or blank, or with the line.
size_t value_end(const std::string& line, size_t from) {
  size_t k = from;
  while (k < line.size() && line[k] != ',' && line[k] != ' ') ++k;
  return k;
}

void take_value(conversion& c, char keyword, std::string_view v) {
  switch (keyword) {
    case 'M':
      if (v.size() == 1 || v.size() == 2) c.MODETXT = right_aligned(v);
      break;
    case 'F':
      if (v.size() <= FIELD) {
        c.FREQTXT = right_aligned(v);
      } else {
        reject(c, "Freq longer than 6 characters: ", v);
      }
      break;
    case 'N':
      add_node(c, v);
      break;
    case 'S':
      if (v.size() == 2 || v.size() == 3) {
        if (c.nodes == 0) {
          reject(c, "speed before the first node: ", v);
        } else {
          c.NODETXT(c.nodes, NT_SPEED) = right_aligned(v);
        }
      }
      break;
    default:
      break;
  }
}

// Keyword letters count anywhere in the line, capitals only; any other
// number outside a keyword's value is a node.
void scan_line(conversion& c, const std::string& line) {
  size_t p = 0;
  while (p < line.size()) {
    const char ch = line[p];
    if (ch == 'L') {
      if (c.route > 0) finish_route(c);
      ++c.route;
      clear_route(c);
      c.route_line = c.line_no;
      std::string name;
      size_t k = p + NAME_OFFSET;
      // A name without closing quote or comma ends with the line.
      while (k < line.size() && line[k] != '"' && line[k] != ',') {
        if (name.size() < NAME_LEN) name += line[k];
        ++k;
      }
      c.RTNAME = pad(name, NAME_LEN);
      p = k + 1;
    } else if (ch == 'M' || ch == 'O' || ch == 'F' || ch == 'N' || ch == 'S') {
      const size_t eq = line.find('=', p + 1);
      if (eq == std::string::npos) {
        if (ch == 'N') add_node(c, "");
        if (ch == 'O') reject(c, "O without \"=\" on its line", "");
        return;
      }
      if (ch == 'O') {
        c.KREVERSE = (eq + 1 < line.size() && line[eq + 1] == 'F') ? 1 : 0;
        p = eq + 3;
        continue;
      }
      const size_t end = value_end(line, eq + 1);
      take_value(c, ch, std::string_view(line).substr(eq + 1, end - eq - 1));
      p = end + 1;
    } else if ((ch >= '1' && ch <= '9') || ch == '-') {
      const size_t end = value_end(line, p);
      add_node(c, std::string_view(line).substr(p, end - p));
      p = end + 1;
    } else {
      ++p;
    }
  }
}

}  // namespace

void BUSCONV(const FileNames& FN, int LOG, RouteSource* source) {
  const std::string in_name = pad(FN[1], 40);
  const std::string edit_name = pad(FN[2], 40);
  const std::string cost_name = pad(FN[3], 40);

  conversion c;
  c.LOG = LOG;
  c.input = std::string(trim(in_name));
  try {
    c.NODETXT.resize(MAX_NODES, NT_COLS);
    c.node_line.assign(MAX_NODES + 1, 0);
  } catch (const std::bad_alloc&) {
    int16_t level = 0;  // the conversion has no error level: the missing route file is found later
    say_alloc_failure(LOG, "BusConv", " NODETXT(200,2) allocation error", level);
    return;
  }
  clear_route(c);
  c.route_fmt = Format::parse("(I5,',',I3,',',2(A6,','),I6,',,,')");
  c.node_fmt = Format::parse("(I5,',',I3,',',',,,',2(A6,','))");
  c.cost_fmt = Format::parse("(I6,',','0,0,',A6,',',A12,',')");

  const int in = free_unit();
  if (!open_read(in, trim(in_name))) {
    say(LOG, {" *** ERROR *** Can not find ", trim(in_name)});
    return;
  }
  c.edit = free_unit();
  if (!open_write(c.edit, trim(edit_name))) {
    say(LOG, {" *** ERROR *** Can not create ", trim(edit_name)});
    close_unit(in);
    return;
  }
  c.cost = free_unit();
  if (!open_write(c.cost, trim(cost_name))) {
    say(LOG, {" *** ERROR *** Can not create ", trim(cost_name)});
    close_unit(in);
    close_unit(c.edit, true);
    return;
  }

  say_fmt(LOG, "('  Bus Data Conversion  Input = ',A16,'  Output = ',A16)", {in_name, edit_name});
  say_fmt(LOG, "('              another output = ',A16)", {cost_name});
  write_line(c.edit, "RouteID,Seq   ,Mode  ,Freq  ,NodeNo,Node  ,Speed ,");
  if (source != nullptr) {
    *source = RouteSource{c.input, {}, {0, 0}};  // from[0] unused, line 1 the header
    c.source = source;
  }
  write_line(c.cost, "RouteID,Flat Fare,Dist Fare,Mode,Bus Route Name,");

  std::string line;
  while (read_line(in, line)) {
    ++c.line_no;
    if (c.source) c.source->lines.push_back(line);
    if (line.size() > LINE_LEN && !trim(std::string_view(line).substr(LINE_LEN)).empty()) {
      say(LOG, {" * WARNING * ", c.input, " line", c.line_no, ": text after column 100 is ignored"});
    }
    scan_line(c, pad(line, LINE_LEN));
  }
  if (c.route > 0) finish_route(c);
  say(LOG, {" Number of Bus Route =", c.route});
  if (c.route == 0) say(LOG, {" *** Warning *** ", c.input, " has no LINE record: no transit route at all."});

  close_unit(in);
  const bool rejected = c.errors > 0;
  if (rejected) {
    say(LOG, {" *** ERROR *** ", c.input, " has", int32_t(c.errors), " error(s): ",
              trim(edit_name), " and ", trim(cost_name), " are not written"});
  }
  if (rejected && source != nullptr) *source = RouteSource{};  // the route file found later is not this one
  close_unit(c.edit, rejected);
  close_unit(c.cost, rejected);
}

}  // namespace routava
