// Units: numbers, opening and closing, the names of files on disk, the console.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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

void flush_state(UnitState& u) {
  if (u.file && u.fill > 0) std::fwrite(u.buf.data(), 1, u.fill, u.file);
  u.fill = 0;
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

bool open_unit(int unit, std::string_view name, bool writing, bool binary) {
  if (unit == KEYBOARD || unit == SCREEN) return false;
  close_unit(unit);
  std::string wanted(trim(name));
  std::string on_disk = disk_name(wanted);
  if (writing && on_disk != wanted && exists_exact(on_disk)) {
    // The same file under another letter case: replace it, keep the program's name.
    std::remove(on_disk.c_str());
    on_disk = wanted;
  }
  if (!writing && !exists_exact(on_disk)) return false;
  FILE* f = std::fopen(on_disk.c_str(), writing ? "wb" : "rb");
  if (!f) return false;
  auto st = std::make_unique<UnitState>();
  st->name = on_disk;
  st->file = f;
  st->writing = writing;
  st->binary = binary;
  index_unit(unit, st.get());
  rt().units[unit] = std::move(st);
  return true;
}

}  // namespace

bool open_read(int unit, std::string_view name) { return open_unit(unit, name, false, false); }
bool open_write(int unit, std::string_view name) { return open_unit(unit, name, true, false); }
bool open_read_binary(int unit, std::string_view name) { return open_unit(unit, name, false, true); }
bool open_write_binary(int unit, std::string_view name) { return open_unit(unit, name, true, true); }

void close_unit(int unit, bool delete_file) {
  if (unit == SCREEN) {
    flush_unit(SCREEN);
    return;
  }
  auto it = rt().units.find(unit);
  if (it == rt().units.end()) return;
  UnitState& u = *it->second;
  flush_state(u);
  if (u.file) std::fclose(u.file);
  if (delete_file) std::remove(u.name.c_str());
  index_unit(unit, nullptr);
  rt().units.erase(it);
}

void close_all_units() {
  std::vector<int> open;
  for (auto& [u, st] : rt().units) open.push_back(u);
  for (int u : open) close_unit(u);
  flush_unit(SCREEN);
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
    if (u->file) std::fflush(u->file);
  }
}

}  // namespace routava
