// Helpers shared by the fuzz targets: a private scratch directory, whole files,
// and a check that turns a broken property into a crash libFuzzer records.
#pragma once

#include <unistd.h>

#include <cctype>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "run/recio.hpp"

namespace routava::fuzz {

namespace fs = std::filesystem;

// A property of the program that an input broke: print what and stop, so that
// libFuzzer keeps the input as a crash.
[[noreturn]] inline void broken(const std::string& what) {
  std::fprintf(stderr, "\n==== routava fuzz: property broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void require(bool ok, const std::string& what) {
  if (!ok) broken(what);
}

// One scratch directory per fuzzing process, removed at exit; in memory when the
// system has a RAM file system, since a whole run writes some forty files.
inline const fs::path& scratch_dir() {
  static const fs::path dir = [] {
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
                              ? fs::path("/dev/shm")
                              : fs::temp_directory_path();
    std::string tmpl = (base / "routava-fuzz-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) broken("cannot make a scratch directory");
    fs::path made(buf.data());
    static fs::path to_remove = made;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(to_remove, ec);
    });
    return made;
  }();
  return dir;
}

inline void write_file(const fs::path& p, std::string_view content) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(content.data(), std::streamsize(content.size()));
}

inline std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// The input split at its first line end: a head (without the '\n') and the rest.
inline void split_head(const uint8_t* data, size_t size, std::string_view& head, std::string_view& rest) {
  std::string_view all(reinterpret_cast<const char*>(data), size);
  size_t nl = all.find('\n');
  head = all.substr(0, nl);
  rest = nl == std::string_view::npos ? std::string_view() : all.substr(nl + 1);
}

// The program's descriptor lists are its own constants, never read from a file:
// widths and repeat counts of more than three digits only measure memory here.
// False for those and for lists that do not parse.
inline bool program_format(std::string_view s, Format& f) {
  if (s.size() > 200) return false;
  int run = 0;
  for (char c : s) {
    run = std::isdigit(static_cast<unsigned char>(c)) ? run + 1 : 0;
    if (run > 3) return false;
  }
  try {
    f = Format::parse(s);
  } catch (const std::invalid_argument&) {
    return false;
  }
  return true;
}

}  // namespace routava::fuzz
