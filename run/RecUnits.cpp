// Units: numbers, opening and closing, the names of files on disk, the console.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "run/recio_internal.hpp"

namespace routava {

namespace recio {

Runtime& rt() {
  static Runtime r;
  return r;
}

std::istream& keyboard() { return rt().keyboard ? *rt().keyboard : std::cin; }
std::ostream& screen() { return rt().screen ? *rt().screen : std::cout; }
bool keyboard_is_terminal() { return rt().keyboard == nullptr && isatty(0); }

UnitState* unit_state(int unit) {
  Runtime& r = rt();
  if (unit >= 0 && size_t(unit) < r.by_number.size()) return r.by_number[size_t(unit)];
  auto it = r.units.find(unit);
  return it == r.units.end() ? nullptr : it->second.get();
}

namespace {

// The first failure of an output is kept, once, to be said by the main program.
void note_failure(UnitState& u, int err) {
  if (u.error != 0) return;
  u.error = err != 0 ? err : EIO;
  std::string what = " *** Error *** Writing " + u.name + " failed (" + std::strerror(u.error) + "); ";
  what += u.path == u.name ? "the file is incomplete." : "the file is not kept.";
  rt().write_failures.push_back(what);
}

}  // namespace

void flush_state(UnitState& u) {
  if (u.file && u.fill > 0 && std::fwrite(u.buf.data(), 1, u.fill, u.file) != u.fill) note_failure(u, errno);
  u.fill = 0;
}

void note_message(std::string_view text) {
  if (text.find("ERROR") != std::string_view::npos || text.find("*** Error ***") != std::string_view::npos) {
    ++rt().error_messages;
  }
}

void make_room(UnitState& u, size_t need) {
  flush_state(u);
  if (need > u.buf.size()) u.buf.resize(std::max(need, kFlushAt + 4096));
}

}  // namespace recio

using namespace recio;

namespace {

// Keeps the index by number in step with `units`; called wherever a unit is
// opened or closed.
void index_unit(int unit, UnitState* state) {
  Runtime& r = rt();
  if (unit >= 0 && size_t(unit) < r.by_number.size()) r.by_number[size_t(unit)] = state;
}

bool exists_exact(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string disk_name(std::string_view name) {
  std::string n(trim(name));
  if (n.empty() || exists_exact(n) || n.find('/') != std::string::npos) return n;
  DIR* dir = ::opendir(".");
  if (!dir) return n;
  std::string found = n;
  while (dirent* e = ::readdir(dir)) {
    if (::strcasecmp(e->d_name, n.c_str()) == 0 && exists_exact(e->d_name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

bool file_exists(std::string_view name) { return exists_exact(disk_name(name)); }

bool is_open(int unit) {
  if (unit == KEYBOARD || unit == SCREEN) return true;
  return unit_state(unit) != nullptr;
}

int free_unit() {
  int u = 10;
  while (is_open(u)) ++u;
  return u;
}

namespace {

bool is_regular(const std::string& name) {
  struct stat st;
  return ::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool is_there(const std::string& name) {
  struct stat st;
  return ::lstat(name.c_str(), &st) == 0;
}

enum class Where { TEMPORARY, IN_PLACE };

bool open_unit(int unit, std::string_view name, bool writing, bool binary, Where where = Where::TEMPORARY) {
  if (unit == KEYBOARD || unit == SCREEN) return false;
  close_unit(unit);
  std::string wanted(trim(name));
  std::string on_disk = disk_name(wanted);
  std::string path = on_disk;
  if (writing) {
    struct stat st;
    if (::stat(wanted.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
    if (where == Where::IN_PLACE) {
      // The same file under another letter case is replaced; the program's name is kept.
      if (on_disk != wanted && exists_exact(on_disk)) std::remove(on_disk.c_str());
      path = wanted;
    } else if (!is_there(wanted) || is_regular(wanted)) {
      path = wanted + ".part";  // a file of the name in another case goes when this one is in place
    } else {
      path = wanted;  // a link or a device is written through
    }
    on_disk = wanted;
  }
  if (!writing && !exists_exact(on_disk)) return false;
  FILE* f = std::fopen(path.c_str(), writing ? "wb" : "rb");
  if (!f) return false;
  auto st = std::make_unique<UnitState>();
  st->name = on_disk;
  st->path = path;
  st->file = f;
  st->writing = writing;
  st->binary = binary;
  index_unit(unit, st.get());
  rt().units[unit] = std::move(st);
  return true;
}

// Ends an output: complete (rename it into place), unwanted (remove it and any
// earlier file of its name) or unfinished (drop it, keeping the earlier file).
enum class Ending { KEEP, DELETE, DROP };

bool end_output(UnitState& u, Ending how) {
  flush_state(u);
  if (std::fflush(u.file) != 0) note_failure(u, errno);
  if (std::ferror(u.file)) note_failure(u, EIO);
  if (std::fclose(u.file) != 0) note_failure(u, errno);
  u.file = nullptr;
  const bool temporary = u.path != u.name;
  if (how == Ending::DELETE) {
    if (temporary) std::remove(u.path.c_str());
    const std::string earlier = disk_name(u.name);
    std::remove(earlier.c_str());
    return u.error == 0;
  }
  if (!temporary) return u.error == 0;
  if (how == Ending::DROP || u.error != 0) {
    std::remove(u.path.c_str());
    return false;
  }
  const std::string earlier = disk_name(u.name);
  if (std::rename(u.path.c_str(), u.name.c_str()) != 0) {
    note_failure(u, errno);
    std::remove(u.path.c_str());
    return false;
  }
  if (earlier != u.name) std::remove(earlier.c_str());
  return true;
}

bool close_state(int unit, Ending how) {
  auto it = rt().units.find(unit);
  if (it == rt().units.end()) return true;
  UnitState& u = *it->second;
  bool ok = true;
  if (u.writing && u.file) {
    ok = end_output(u, how);
  } else if (u.file) {
    std::fclose(u.file);
    if (how == Ending::DELETE) std::remove(u.name.c_str());
  }
  if (rt().last_reader == &u) rt().last_reader = nullptr;
  index_unit(unit, nullptr);
  rt().units.erase(it);
  return ok;
}

}  // namespace

bool open_read(int unit, std::string_view name) { return open_unit(unit, name, false, false); }
bool open_write(int unit, std::string_view name) { return open_unit(unit, name, true, false); }
bool open_read_binary(int unit, std::string_view name) { return open_unit(unit, name, false, true); }
bool open_write_binary(int unit, std::string_view name) { return open_unit(unit, name, true, true); }
bool open_log(int unit, std::string_view name) { return open_unit(unit, name, true, false, Where::IN_PLACE); }

bool close_unit(int unit, bool delete_file) {
  if (unit == SCREEN) {
    flush_unit(SCREEN);
    return true;
  }
  return close_state(unit, delete_file ? Ending::DELETE : Ending::KEEP);
}

void close_all_units() {
  std::vector<int> open;
  for (auto& [u, st] : rt().units) open.push_back(u);
  for (int u : open) close_state(u, Ending::DROP);
  flush_unit(SCREEN);
}

void remove_file(std::string_view name) {
  const std::string on_disk = disk_name(name);
  if (exists_exact(on_disk)) std::remove(on_disk.c_str());
}

std::string unit_name(int unit) {
  if (unit == KEYBOARD) return "console input";
  if (unit == SCREEN) return "console";
  UnitState* u = unit_state(unit);
  return u ? u->name : std::string();
}

long unit_line(int unit) {
  if (unit == KEYBOARD) return rt().keyboard_line;
  UnitState* u = unit_state(unit);
  return u ? u->line : 0;
}

void set_console(std::istream* in, std::ostream* out) {
  flush_unit(SCREEN);
  rt().keyboard = in;
  rt().screen = out;
  rt().screen_mid_record = false;
  rt().keyboard_line = 0;
}

void flush_unit(int unit) {
  if (unit == SCREEN) {
    screen().flush();
    return;
  }
  if (UnitState* u = unit_state(unit)) {
    flush_state(*u);
    if (u->file && u->writing && std::fflush(u->file) != 0) note_failure(*u, errno);
  }
}

int say_write_failures(int log) {
  Runtime& r = rt();
  int said = 0;
  while (r.failures_said < r.write_failures.size()) {
    // Copied: saying to a failing log may add to the list.
    const std::string what = r.write_failures[r.failures_said++];
    say_line(log, what);
    ++said;
  }
  return said;
}

int say_cut_records(int log) {
  std::vector<std::string> said;
  said.swap(rt().cut_records);
  for (const std::string& what : said) say_line(log, what);
  return int(said.size());
}

long error_messages() { return rt().error_messages; }

}  // namespace routava
