// The bad-input matrix: every input file of the small town in fuzz/town broken
// the ways files break (empty, cut short, garbage, letters in numbers, values too
// large, ids of zero and below, one above each limit, records twice, CRLF, a
// byte-order mark, a directory in its place, missing), and console input that
// ends early or is garbage. Each variant is a run of the built program in a
// fresh copy of the town, classified against the unbroken run.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <thread>

#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;

// Broken variants fail the test always, and so do a file or console answers saved
// with CRLF line ends or a byte-order mark that do not read as the unbroken ones,
// and a run that leaves ~Temp scratch files behind. Strict, a variant fails too
// when it changes the results without a message naming its file (and line),
// unless it is silent by design (below).
constexpr bool kStrict = true;

// Variants whose results differ without a word because the files mean it so.
// Each must stay silent: one that gets a message is to be taken off the list.
const std::map<std::pair<std::string, std::string>, const char*>& silent_by_design() {
  static const std::map<std::pair<std::string, std::string>, const char*> list = {
      {{"Network.csv", "length 0"}, "centroid connectors of real networks have length 0"},
      {{"Network.csv", "records twice"}, "parallel links between two nodes are allowed"},
      {{"VTcar.csv", "records twice"}, "records of one pair add up"},
      {{"PTmorning.csv", "records twice"}, "records of one pair add up"},
      {{"CUT01.csv", "missing"}, "a stage without a cut file has no cut, as the log says per stage"},
      {{"CUT01.csv", "directory"}, "not a file: as missing"},
  };
  return list;
}

constexpr int kTimeLimitSeconds = 120;

// ------------------------------------------------------------------ the variants

enum class Layout { EDIT, CONVERTED };  // CONVERTED: no BusEdit.csv, the keyword file is converted

struct Variant {
  std::string file;   // the input broken, or "console"
  std::string label;  // what was done to it
  enum Kind { CONTENT, DIRECTORY, MISSING } kind = CONTENT;
  std::string content;  // the file's new text (or the console answers)
  Layout layout = Layout::EDIT;
};

const char* const kConsole = "console";
const char* const kAnswers = "1\n1\n4\n1\n2\n1\n1\n";  // loading mode 1, walking 4 km/h, all outputs

std::vector<std::string> split_keep(const std::string& text) {
  std::vector<std::string> lines;
  size_t b = 0;
  while (b < text.size()) {
    size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    lines.push_back(text.substr(b, e - b));
    b = e + 1;
  }
  return lines;
}

std::string join(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// A field of a record: a token of a free-format record (separated by commas and
// blanks), or columns of a fixed-column record.
struct Field {
  int token = -1;
  int col = 0;  // 1-based
  int width = 0;
};

std::string set_field(const std::string& text, int line, Field f, const std::string& value) {
  std::vector<std::string> lines = split_keep(text);
  std::string& l = lines.at(size_t(line - 1));
  if (f.token >= 0) {
    int k = -1;
    size_t i = 0;
    while (i < l.size()) {
      while (i < l.size() && (l[i] == ',' || l[i] == ' ')) ++i;
      size_t b = i;
      while (i < l.size() && l[i] != ',' && l[i] != ' ') ++i;
      if (i > b && ++k == f.token) {
        l.replace(b, i - b, value);
        return join(lines);
      }
    }
    ADD_FAILURE() << "no token " << f.token << " on line " << line;
    return text;
  }
  if (l.size() < size_t(f.col - 1 + f.width)) l.resize(size_t(f.col - 1 + f.width), ' ');
  // Right-aligned in its columns; a longer value pushes the rest of the record on.
  std::string v = value.size() < size_t(f.width) ? std::string(size_t(f.width) - value.size(), ' ') + value : value;
  l.replace(size_t(f.col - 1), size_t(f.width), v);
  return join(lines);
}

std::string garbage(const std::string& seed) {
  uint32_t x = 2166136261u;
  for (char c : seed) x = (x ^ uint8_t(c)) * 16777619u;
  std::string g;
  for (int k = 0; k < 300; ++k) {
    x = x * 1664525u + 1013904223u;
    g += char(x >> 24);
  }
  return g;
}

// The last record cut in its middle, without its line end.
std::string truncated(const std::string& text) {
  std::vector<std::string> lines = split_keep(text);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  std::string last = lines.back();
  lines.pop_back();
  return join(lines) + last.substr(0, std::max<size_t>(1, last.size() / 2));
}

std::string duplicated(const std::string& text, int header) {
  std::vector<std::string> out;
  int n = 0;
  for (const auto& l : split_keep(text)) {
    out.push_back(l);
    if (++n > header) out.push_back(l);
  }
  return join(out);
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string numbered_lines(int n, const std::function<std::string(int)>& line) {
  std::string out;
  for (int k = 1; k <= n; ++k) out += line(k) + "\n";
  return out;
}

struct FileCase {
  const char* name;
  int header;     // header lines
  int line;       // the record that gets the field edits
  Field id;       // an id, code or zone: set to 0 and -1
  Field value;    // a number: letters, and a value too large for it
  const char* too_large;
  std::vector<std::pair<std::string, std::function<std::string(const std::string&)>>> limits;
  Layout layout = Layout::EDIT;
};

Field tok(int t) { return Field{t, 0, 0}; }
Field cols(int c, int w) { return Field{-1, c, w}; }

std::vector<FileCase> file_cases() {
  const char* big = "99999999999";
  auto at = [](int line, Field f, std::string v) {
    return [=](const std::string& t) { return set_field(t, line, f, v); };
  };
  auto plus = [](std::string extra) { return [=](const std::string& t) { return t + extra; }; };
  return {
      {"Assign.txt", 0, 1, cols(1, 2), cols(5, 6), "60000000",
       {{"11 OD tables", at(1, cols(21, 5), "11")},
        {"OD table not listed", at(1, cols(26, 2), "3")},
        {"stage kind 3", at(1, cols(3, 1), "3")},
        {"last stage cut short", [](const std::string& t) {
           std::vector<std::string> lines = split_keep(t);
           lines.pop_back();  // the terminating 00
           return truncated(join(lines));
         }}}},
      {"Network.csv", 0, 9, tok(0), tok(6), big,
       {{"node code 100000", at(9, tok(1), "100000")},
        {"length 0", at(9, tok(6), "0")},
        {"30001 links", [](const std::string& t) {
           return t + numbered_lines(30001 - 30, [](int k) {
                    return std::to_string(2000 + k) + "," + std::to_string(2001 + k) + ",1,1,2,0,100";
                  });
         }}}},
      {"Screen.csv", 0, 1, tok(0), tok(2), big,
       {{"3001 lines", plus(numbered_lines(3001 - 6, [](int k) { return std::to_string(5000 + k) + ",1,1"; }))}}},
      {"Ramp.csv", 0, 1, tok(0), tok(2), big,
       {{"1001 lines", plus(numbered_lines(1001 - 4, [](int k) { return std::to_string(5000 + k) + ",1,1"; }))}}},
      {"RoadVTOD.txt", 0, 1, tok(0), tok(1), big,
       {{"table id 101", at(1, tok(0), "101")}, {"vehicle type 11", at(1, tok(1), "11")}}},
      {"VTcar.csv", 0, 2, tok(0), tok(2), big,
       {{"zone 5 of 4", at(2, tok(1), "5")}, {"zone 401", at(2, tok(1), "401")}}},
      {"RoadPCU.txt", 0, 1, tok(0), tok(1), big, {{"vehicle type 11", at(1, tok(0), "11")}}},
      {"QV.csv", 0, 2, tok(0), tok(1), big, {{"QV type 100", at(2, tok(0), "100")}}},
      {"RoadTariff.csv", 0, 1, tok(0), tok(1), big, {{"tariff type 100", at(1, tok(0), "100")}}},
      {"CUT01.csv", 0, 1, tok(0), tok(1), big,
       {{"5 nodes", plus("5,1011,1012,1013,1014,4\n")},
        {"5001 entries", plus(numbered_lines(5001 - 2, [](int) { return "2,1041,1042"; }))}}},
      {"BusInput.txt", 0, 2, tok(1), tok(1), "12345678",
       {{"201 nodes", [](const std::string& t) {
           std::string nodes = "N=1041";
           for (int k = 0; k < 200; ++k) nodes += k % 2 ? ",1041" : ",1042";
           return t + "LINE      \"Long\",M=7,F=5,O=N\n" + nodes + " S=60\n";
         }},
        {"line over 100 columns", at(2, tok(4), std::string(90, ' ') + "S=30")},
        {"name without quote", [](const std::string& t) {
           std::vector<std::string> lines = split_keep(t);
           lines[0] = "LINE      Arterial bus M=1 F=10 O=F";
           return join(lines);
         }}},
       Layout::CONVERTED},
      {"BusEdit.csv", 1, 2, tok(0), tok(3), big,
       {{"route id 4001", at(2, tok(0), "4001")},
        {"301 nodes", at(2, tok(4), "301")},
        {"mode 11", at(2, tok(2), "11")},
        {"node code 100000", at(3, tok(2), "100000")}}},
      {"BusFare.csv", 1, 2, tok(0), tok(1), big, {{"route id 4001", at(2, tok(0), "4001")}}},
      {"ModePCU.txt", 0, 1, cols(1, 3), cols(4, 5), "1234567", {{"mode 11", at(1, cols(1, 3), "11")}}},
      {"PTOD.txt", 0, 1, cols(1, 5), cols(1, 5), "123456", {{"table id 101", at(1, cols(1, 5), "101")}}},
      {"PTmorning.csv", 0, 2, tok(0), tok(2), big,
       {{"zone 5 of 4", at(2, tok(1), "5")}, {"zone 401", at(2, tok(0), "401")}}},
  };
}

fs::path town_dir() { return fs::path(test::source_dir()) / "fuzz" / "town"; }

std::vector<Variant> variants() {
  std::vector<Variant> out;
  for (const FileCase& fc : file_cases()) {
    const std::string text = test::read_file(town_dir() / fc.name);
    EXPECT_FALSE(text.empty()) << fc.name;
    auto add = [&](std::string label, std::string content) {
      out.push_back(Variant{fc.name, std::move(label), Variant::CONTENT, std::move(content), fc.layout});
    };
    add("empty", "");
    add("truncated mid-line", truncated(text));
    add("binary garbage", garbage(fc.name));
    add("letters in a number", set_field(text, fc.line, fc.value, "abc"));
    add("number too large", set_field(text, fc.line, fc.value, fc.too_large));
    add("zero id", set_field(text, fc.line, fc.id, "0"));
    add("negative id", set_field(text, fc.line, fc.id, "-1"));
    for (const auto& [label, make] : fc.limits) add(label, make(text));
    add("records twice", duplicated(text, fc.header));
    add("CRLF", crlf(text));
    add("byte-order mark", "\xEF\xBB\xBF" + text);
    out.push_back(Variant{fc.name, "directory", Variant::DIRECTORY, "", fc.layout});
    out.push_back(Variant{fc.name, "missing", Variant::MISSING, "", fc.layout});
  }
  const std::string answers = kAnswers;
  for (auto [label, content] : std::vector<std::pair<std::string, std::string>>{
           {"empty", ""},
           {"ends early", "1\n1\n"},
           {"binary garbage", garbage("console")},
           {"letters", "yes\nabc\n" + answers},
           {"number too large", "99999999999\n" + answers},
           {"zero and negative", "0\n-1\n" + answers},
           {"CRLF", crlf(answers)},
           {"byte-order mark", "\xEF\xBB\xBF" + answers}}) {
    out.push_back(Variant{kConsole, label, Variant::CONTENT, content, Layout::EDIT});
  }
  return out;
}

// ------------------------------------------------------------------ running

struct RunResult {
  int status = 0;  // exit status; 124 time limit, 128 + n signal n
  std::string console;
  std::map<std::string, std::string> outputs;  // every file the run left that is not an input
  std::set<std::string> inputs;
};

std::string masked(const std::string& text) {
  static const std::regex stamp("Current time [0-9. :]*");
  return std::regex_replace(text, stamp, "Current time");
}

RunResult run_in(const fs::path& dir, const Variant& v) {
  RunResult r;
  for (const auto& e : fs::directory_iterator(town_dir())) {
    const std::string name = e.path().filename().string();
    if (name == "README.md" || name == "answers.txt") continue;
    if (v.layout == Layout::CONVERTED && name == "BusEdit.csv") continue;
    test::write_file(dir / name, test::read_file(e.path()));
    r.inputs.insert(name);
  }
  std::string answers = kAnswers;
  if (v.file == kConsole) {
    answers = v.content;
  } else if (v.kind == Variant::MISSING) {
    fs::remove(dir / v.file);
  } else if (v.kind == Variant::DIRECTORY) {
    fs::remove(dir / v.file);
    fs::create_directory(dir / v.file);
  } else {
    test::write_file(dir / v.file, v.content);
  }
  test::write_file(dir / ".answers", answers);
  const std::string cmd = "cd '" + dir.string() + "' && timeout -k 5 " + std::to_string(kTimeLimitSeconds) + " '" +
                          ROUTAVA_BINARY + "' < .answers > .console 2>&1";
  const int rc = std::system(cmd.c_str());
  r.status = rc == -1 ? -1 : WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
  r.console = test::read_file(dir / ".console");
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name == ".answers" || name == ".console" || r.inputs.count(name) || name == v.file) continue;
    r.outputs[name] = e.is_regular_file() ? test::read_file(e.path()) : std::string("(not a file)");
  }
  return r;
}

// ------------------------------------------------------------------ judging

enum class Class { ORDERLY, WARNED, FATAL, SILENT, BROKEN };
const char* class_name(Class c) {
  switch (c) {
    case Class::ORDERLY: return "orderly end";
    case Class::WARNED: return "warned";
    case Class::FATAL: return "fatal";
    case Class::SILENT: return "silent";
    case Class::BROKEN: return "broken";
  }
  return "?";
}

struct Verdict {
  Class cls = Class::ORDERLY;
  bool named = false;         // a message names the file
  std::string said;           // the first new message
  std::string changed;        // how the outputs differ from the unbroken run
  int scratch_left = 0;       // ~Temp files left behind
  std::string why_broken;
};

const std::regex& message_marker() {
  static const std::regex re(
      "error|warning|please check|please set|please answer|can ?not|not exist|ignored|no such|is over|over than|flying|not connected|isolated|"
      "non fare|non mode|non freq|non nodes|unknown|no file|there is no|abnormal|wrong|no answer|no record|"
      "no field|not positive|too many|overflow|\\( non \\)|is free|skipped|no node|no link cut",
      std::regex::icase);
  return re;
}

// The echo of a console answer that answers shifted by a missing question can bring.
const std::regex& choice_echo() {
  static const std::regex re("^ You (selected|can not analyze)");
  return re;
}

bool ends_in_banner(const std::string& text) {
  const size_t at = text.rfind(" *   The End of the Assignment      *");
  const std::string rule = " ====================================\n";
  return at != std::string::npos && text.size() >= rule.size() &&
         text.compare(text.size() - rule.size(), rule.size(), rule) == 0 && text.size() - at < 200;
}

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string describe_changes(const RunResult& base, const RunResult& r) {
  std::vector<std::string> parts;
  for (const auto& [name, text] : base.outputs) {
    if (name == "Log.txt") continue;
    auto it = r.outputs.find(name);
    if (it == r.outputs.end()) parts.push_back("no " + name);
    else if (it->second != text) parts.push_back(name + " differs");
  }
  for (const auto& [name, text] : r.outputs)
    if (!base.outputs.count(name) && name != "Log.txt" && name.rfind("~Temp", 0) != 0) parts.push_back("new " + name);
  std::string out;
  for (size_t k = 0; k < parts.size() && k < 4; ++k) out += (k ? "; " : "") + parts[k];
  if (parts.size() > 4) out += "; and " + std::to_string(parts.size() - 4) + " more";
  return out;
}

Verdict judge(const Variant& v, const RunResult& base, const RunResult& r) {
  Verdict out;
  for (const auto& [name, text] : r.outputs) {
    if (name.rfind("~Temp", 0) == 0) {
      ++out.scratch_left;
      continue;
    }
    if (name.ends_with(".part")) out.why_broken = name + ": an output left under its temporary name";
    if (!text.empty() && text.back() != '\n') out.why_broken = name + " ends inside a line";
  }
  static const std::regex sanitizer("AddressSanitizer|LeakSanitizer|runtime error:|table index out of bounds");
  if (r.status == 124 || r.status == 137) out.why_broken = "no end within " + std::to_string(kTimeLimitSeconds) + " s";
  else if (r.status >= 128 || r.status < 0) out.why_broken = "ended by signal " + std::to_string(r.status - 128);
  else if (std::regex_search(r.console, sanitizer)) out.why_broken = "sanitizer report";
  else if (r.status != 0 && r.status != 1 && r.status != 3) out.why_broken = "exit status " + std::to_string(r.status);
  else if (!ends_in_banner(r.console)) out.why_broken = "no end banner on the console";
  else if (auto log = r.outputs.find("Log.txt"); log != r.outputs.end() && !ends_in_banner(log->second))
    out.why_broken = "no end banner in Log.txt";

  // New messages: lines the unbroken run does not show, with a marker of trouble.
  std::multiset<std::string> before;
  for (const auto& l : test::Console::split_lines(masked(base.console))) before.insert(l);
  std::vector<std::string> lines = test::Console::split_lines(masked(r.console));
  std::vector<bool> fresh(lines.size());
  for (size_t k = 0; k < lines.size(); ++k) {
    auto it = before.find(lines[k]);
    fresh[k] = it == before.end();
    if (!fresh[k]) before.erase(it);
  }
  std::vector<std::string> names = {lower(v.file)};
  if (v.file == kConsole) names = {"console", "answer"};
  for (size_t k = 0; k < lines.size(); ++k) {
    if (!fresh[k] || !std::regex_search(lines[k], message_marker()) || std::regex_search(lines[k], choice_echo()))
      continue;
    if (out.said.empty()) out.said = lines[k];
    // The message itself or the two new lines after it.
    for (size_t j = k; j < lines.size() && j <= k + 2 && fresh[j]; ++j)
      for (const auto& n : names)
        if (lower(lines[j]).find(n) != std::string::npos) out.named = true;
    if (out.named) {
      out.said = lines[k];
      break;
    }
  }
  out.changed = describe_changes(base, r);
  if (!out.why_broken.empty()) out.cls = Class::BROKEN;
  else if (r.status == 1) out.cls = Class::FATAL;
  else if (out.named) out.cls = Class::WARNED;
  else if (!out.changed.empty()) out.cls = Class::SILENT;
  else out.cls = Class::ORDERLY;
  return out;
}

// ------------------------------------------------------------------ the test

TEST(BadInputMatrix, EveryVariantEndsInOrder) {
  test::TempDir tmp;
  const fs::path base_dir = tmp.path();
  const std::vector<Variant> all = variants();

  // The unbroken runs, twice each: the comparison needs them reproducible.
  std::map<Layout, RunResult> base;
  for (Layout s : {Layout::EDIT, Layout::CONVERTED}) {
    Variant none{"(none)", "unbroken", Variant::CONTENT, "", s};
    RunResult runs[2];
    for (int k = 0; k < 2; ++k) {
      const fs::path d = base_dir / ("base" + std::to_string(int(s)) + "-" + std::to_string(k));
      fs::create_directory(d);
      runs[k] = run_in(d, none);
      ASSERT_EQ(runs[k].status, 0) << runs[k].console;
    }
    ASSERT_EQ(describe_changes(runs[0], runs[1]), "") << "the unbroken run is not reproducible";
    Verdict v = judge(none, runs[0], runs[0]);
    ASSERT_EQ(v.cls, Class::ORDERLY) << v.why_broken;
    ASSERT_EQ(v.scratch_left, 0);
    base[s] = std::move(runs[0]);
  }

  std::vector<Verdict> verdicts(all.size());
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t k; (k = next++) < all.size();) {
      const fs::path d = base_dir / ("v" + std::to_string(k));
      fs::create_directory(d);
      RunResult r = run_in(d, all[k]);
      verdicts[k] = judge(all[k], base[all[k].layout], r);
      std::error_code ec;
      fs::remove_all(d, ec);
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < std::max(2u, std::thread::hardware_concurrency()); ++t) pool.emplace_back(worker);
  for (auto& t : pool) t.join();

  std::map<Class, int> counts;
  std::ostringstream silent, unnamed, scratch;
  for (size_t k = 0; k < all.size(); ++k) {
    const Variant& v = all[k];
    const Verdict& d = verdicts[k];
    ++counts[d.cls];
    const std::string what = v.file + " | " + v.label;
    EXPECT_NE(d.cls, Class::BROKEN) << what << ": " << d.why_broken;
    const bool same_text = v.label == "CRLF" || v.label == "byte-order mark";
    if (same_text) {
      EXPECT_EQ(d.cls, Class::ORDERLY) << what << " does not read as the unbroken text: " << d.changed << " / " << d.said;
    }
    if (d.scratch_left > 0) {
      scratch << "  " << what << " | " << class_name(d.cls) << "\n";
      ADD_FAILURE() << what << ": the run left " << d.scratch_left << " ~Temp files";
    }
    if (d.cls == Class::SILENT) silent << "  " << what << " | " << d.changed << " | " << (d.said.empty() ? "nothing said" : d.said) << "\n";
    if (!d.named && !d.said.empty() && d.cls != Class::SILENT)
      unnamed << "  " << what << " | " << class_name(d.cls) << " | " << d.said << "\n";
    const bool by_design = silent_by_design().count({v.file, v.label}) > 0;
    if (kStrict && by_design && d.cls != Class::SILENT) {
      ADD_FAILURE() << what << " is listed as silent by design but is " << class_name(d.cls);
    }
    if (kStrict && !by_design && (d.cls == Class::SILENT || (d.cls == Class::FATAL && !d.named))) {
      ADD_FAILURE() << what << ": the results change (" << d.changed << ") and no message names " << v.file;
    }
  }
  std::cout << "Bad-input matrix: " << all.size() << " variants\n";
  for (Class c : {Class::ORDERLY, Class::WARNED, Class::FATAL, Class::SILENT, Class::BROKEN})
    std::cout << "  " << class_name(c) << ": " << counts[c] << "\n";
  std::cout << "Silent (file | variant | what changed | what was said):\n" << silent.str();
  std::cout << "Messages that do not name the file (file | variant | class | message):\n" << unnamed.str();
  std::cout << "Runs leaving ~Temp files (file | variant | class):\n" << scratch.str();
}

}  // namespace
}  // namespace routava
