// Shared test helpers: a temporary working directory, console capture, file access.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run/definition.hpp"
#include "run/recio.hpp"

namespace routava::test {

namespace fs = std::filesystem;

inline std::string source_dir() { return ROUTAVA_SOURCE_DIR; }
inline fs::path data_dir(const std::string& name) { return fs::path(source_dir()) / "tests" / "data" / name; }

// Makes a fresh temporary directory the working directory for the life of the object.
class TempDir {
 public:
  TempDir() {
    old_ = fs::current_path();
    std::string tmpl = (fs::temp_directory_path() / "routava-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    char* made = mkdtemp(buf.data());
    if (made == nullptr) std::abort();
    path_ = made;
    fs::current_path(path_);
  }
  ~TempDir() {
    routava::close_all_units();
    std::error_code ec;
    fs::current_path(old_, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path old_;
  fs::path path_;
};

// Routes the keyboard and screen units to strings for the life of the object.
class Console {
 public:
  explicit Console(const std::string& input = "") : in_(input) { routava::set_console(&in_, &out_); }
  ~Console() {
    routava::flush_unit(routava::SCREEN);
    routava::set_console(nullptr, nullptr);
  }
  std::string text() {
    routava::flush_unit(routava::SCREEN);
    return out_.str();
  }
  std::vector<std::string> lines() { return split_lines(text()); }

  static std::vector<std::string> split_lines(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
      if (c == '\n') {
        out.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
  }

 private:
  std::istringstream in_;
  std::ostringstream out_;
};

// The converter's file names BusInput.txt, BusEdit.csv, BusCost.csv, padded as the program passes them.
inline FileNames conversion_names() {
  FileNames fn;
  for (auto& s : fn) s = pad("", 40);
  fn[1] = pad("BusInput.txt", 40);
  fn[2] = pad("BusEdit.csv", 40);
  fn[3] = pad("BusCost.csv", 40);
  return fn;
}

inline void write_file(const fs::path& name, const std::string& content) {
  std::ofstream f(name, std::ios::binary);
  f << content;
}

inline std::string read_file(const fs::path& name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline std::vector<std::string> read_lines(const fs::path& name) {
  return Console::split_lines(read_file(name));
}

// The fields of a CSV record whose every field ends in a comma, as all result files write them.
inline std::vector<std::string> csv_fields(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (c == ',') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  EXPECT_TRUE(cur.empty()) << "record does not end in a comma: " << line;
  return out;
}

// The files a run writes for its road and transit stages (two-digit numbers) when
// every stage has screen-line and ramp records and no unreachable pair, with the
// totals and the log.
inline std::set<std::string> stage_outputs(const std::vector<std::string>& road,
                                           const std::vector<std::string>& transit) {
  std::set<std::string> files = {"Log.txt", "Traffic TotalResult.csv", "Traffic TotalLinkVol.csv"};
  for (const std::string& s : road) {
    for (const char* t : {"Vehicle PathVT", "Vehicle Impedance", "Vehicle ScreenVT", "Vehicle RampVT"})
      files.insert(t + s + ".csv");
    files.insert("Traffic Assign" + s + "VT.csv");
  }
  for (const std::string& s : transit) {
    for (const char* t : {"Transit PathPT", "Transit Impedance", "Transit ScreenPT", "Transit RampPT"})
      files.insert(t + s + ".csv");
    files.insert("Traffic Assign" + s + "PT.csv");
  }
  return files;
}

// Copies every file of a network directory under tests/data into the working directory.
inline void copy_network(const std::string& name) {
  for (const auto& e : fs::directory_iterator(data_dir(name))) {
    fs::copy_file(e.path(), fs::current_path() / e.path().filename(),
                  fs::copy_options::overwrite_existing);
    fs::permissions(fs::current_path() / e.path().filename(), fs::perms::owner_write,
                    fs::perm_options::add);
  }
}

// Runs the built program in the working directory with `answers` on its standard
// input; its console output goes to `console_file`. Returns the exit status.
inline int run_program(const std::string& answers, const std::string& console_file = "console.out") {
  write_file("answers.in", answers);
  std::string cmd = std::string("\"") + ROUTAVA_BINARY + "\" < answers.in > " + console_file + " 2>&1";
  int rc = std::system(cmd.c_str());
  if (rc == -1) return -1;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
}

// Runs a companion program with `args` (a shell command line) in the working
// directory; its standard output and errors go to `output_file`. Returns the exit status.
inline int run_tool(const std::string& binary, const std::string& args, const std::string& output_file) {
  const std::string cmd = "\"" + binary + "\" " + args + " > " + output_file + " 2>&1";
  const int rc = std::system(cmd.c_str());
  if (rc == -1) return -1;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
}

}  // namespace routava::test
