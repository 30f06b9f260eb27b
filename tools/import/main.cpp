// routava-import: TNTP or GMNS network and demand -> a working directory of the program.
// Everything is written into a temporary folder beside OUTDIR and renamed into
// place at the end, so a failed import leaves no OUTDIR behind.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "import.hpp"

namespace fs = std::filesystem;
using namespace routava::import;

namespace {

const char* const USAGE =
    "usage: routava-import tntp NET TRIPS OUTDIR [--nodes NODEFILE] [--length-unit m|km|mi|ft]\n"
    "                      [--time-unit min|h|s] [--stages 40,35,25] [--time-value V]\n"
    "                      [--capacity-factor F]\n"
    "       routava-import gmns NODEFILE LINKFILE DEMANDFILE OUTDIR [--length-unit m|km|mi|ft]\n"
    "                      [--speed-unit kmh|mph] [--stages 40,35,25] [--time-value V]\n"
    "                      [--capacity-factor F]\n"
    "Writes a working directory of the program into OUTDIR (which must not exist or be\n"
    "empty); then run: cd OUTDIR && routava < answers.txt\n";

double positive_number(const std::string& option, const std::string& text, double limit) {
  double v = 0.0;
  if (!parse_number(text, v) || v <= 0 || v >= limit)
    throw ImportError(option + " \"" + text + "\" must be a number above 0 and below " + std::to_string(int64_t(limit)));
  return v;
}

std::vector<double> stage_factors(const std::string& text) {
  std::vector<double> out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string f = text.substr(at, comma - at);
    double v = 0.0;
    // The control file holds a factor in three columns: a whole number up to 999,
    // or one decimal below 10.
    const bool fits = parse_number(f, v) && v > 0 &&
                      ((v == std::floor(v) && v <= 999) || (v < 9.95 && std::fabs(v * 10 - std::round(v * 10)) < 1e-9));
    if (!fits)
      throw ImportError("--stages: factor \"" + f +
                        "\" must be a whole percentage from 1 to 999, or one with one decimal below 10");
    out.push_back(v);
    at = comma + 1;
  }
  if (out.size() > 99) throw ImportError("--stages: at most 99 stages");
  return out;
}

struct Command {
  std::string format;
  std::vector<std::string> files;
  std::string outdir;
  Options opt;
};

Command parse_args(int argc, char** argv) {
  Command c;
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--", 0) != 0) {
      plain.push_back(a);
      continue;
    }
    if (i + 1 >= argc) throw ImportError(a + " needs a value");
    const std::string v = argv[++i];
    if (a == "--nodes") c.opt.nodes_file = v;
    else if (a == "--length-unit") {
      if (!length_unit(v, c.opt.metres_per_length)) throw ImportError("--length-unit \"" + v + "\" is not one of m, km, mi, ft");
    } else if (a == "--time-unit") {
      if (!time_unit(v, c.opt.minutes_per_time)) throw ImportError("--time-unit \"" + v + "\" is not one of min, h, s");
    } else if (a == "--speed-unit") {
      if (!speed_unit(v, c.opt.kmh_per_speed)) throw ImportError("--speed-unit \"" + v + "\" is not one of kmh, mph");
    } else if (a == "--stages") c.opt.stages = stage_factors(v);
    else if (a == "--time-value") {
      if (!parse_number(v, c.opt.time_value) || c.opt.time_value < 0 || c.opt.time_value >= 99999.5)
        throw ImportError("--time-value \"" + v + "\" must be a number from 0 to below 99999.5 (money per hour)");
    }
    else if (a == "--capacity-factor") c.opt.capacity_factor = positive_number(a, v, 1e6);
    else throw ImportError("unknown option " + a);
  }
  if (plain.empty()) throw ImportError("no format given (tntp or gmns)");
  c.format = plain[0];
  const size_t need = c.format == "tntp" ? 4 : c.format == "gmns" ? 5 : 0;
  if (need == 0) throw ImportError("unknown format \"" + c.format + "\" (tntp or gmns)");
  if (plain.size() != need) throw ImportError(c.format + " takes " + std::to_string(need - 2) + " files and OUTDIR");
  if (c.format == "tntp" && c.opt.kmh_per_speed != 0) throw ImportError("--speed-unit is for gmns (tntp gives times)");
  if (c.format == "gmns" && (c.opt.minutes_per_time != 0 || !c.opt.nodes_file.empty()))
    throw ImportError("--time-unit and --nodes are for tntp (gmns gives speeds and node coordinates)");
  c.files.assign(plain.begin() + 1, plain.end() - 1);
  c.outdir = plain.back();
  return c;
}

// A fresh folder beside `outdir`, on the same file system so that it can be renamed.
std::string temporary_beside(const std::string& outdir) {
  fs::path target = fs::absolute(fs::path(outdir)).lexically_normal();
  if (!target.has_filename()) target = target.parent_path();
  std::string tmpl = (target.parent_path() / ("." + target.filename().string() + ".import-XXXXXX")).string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr)
    throw ImportError(target.parent_path().string(), 0, std::string("cannot make a folder there (") + std::strerror(errno) + ")");
  return buf.data();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << USAGE;
    return 0;
  }
  std::string tmp;
  try {
    Command c = parse_args(argc, argv);
    std::error_code ec;
    if (fs::exists(c.outdir, ec) && !(fs::is_directory(c.outdir, ec) && fs::is_empty(c.outdir, ec)))
      throw ImportError(c.outdir, 0, "exists and is not an empty folder (nothing was written)");
    const Source src = c.format == "tntp" ? read_tntp(c.files[0], c.files[1], c.opt)
                                          : read_gmns(c.files[0], c.files[1], c.files[2], c.opt);
    tmp = temporary_beside(c.outdir);
    std::cout << "routava-import " << c.format << ": " << c.outdir << "\n";
    write_workdir(src, c.opt, tmp);
    if (fs::exists(c.outdir, ec)) fs::remove(c.outdir, ec);
    fs::rename(tmp, c.outdir, ec);
    if (ec) throw ImportError(c.outdir, 0, "cannot be made (" + ec.message() + ")");
    tmp.clear();
    std::cout << "  run: cd " << c.outdir << " && routava < answers.txt\n";
    return 0;
  } catch (const std::exception& e) {
    if (!tmp.empty()) {
      std::error_code ec;
      fs::remove_all(tmp, ec);
    }
    std::cerr << "routava-import: " << e.what() << "\n";
    if (std::string(e.what()).find("usage") == std::string::npos && argc < 3) std::cerr << USAGE;
    return 1;
  }
}
