// routava-omx DIR OUT.omx: the zone-to-zone impedance files of a finished run as
// one Open Matrix file (OMX 0.2 on HDF5). The file is written under a temporary
// name beside OUT.omx and renamed at the end, so a failure leaves no OUT.omx.
#include <hdf5.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "run/definition.hpp"
#include "run/recio.hpp"

namespace fs = std::filesystem;
using namespace routava;

namespace {

struct Problem : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& file, long line, const std::string& what) {
  throw Problem(file + (line > 0 ? ", line " + std::to_string(line) : "") + ": " + what);
}

// One column of an impedance record: its matrix name and unit, and the scale from
// the file's number to the matrix value.
struct Measure {
  const char* name;
  const char* unit;
  double scale;
};

// The two impedance files of the program: their header, and per record the values
// after origin and destination (a null entry stands for the empty "(blank)" columns).
struct Kind {
  const char* prefix;    // matrix names: VT01_..., PT02_...
  const char* template_; // file name with the stage in "00"
  const char* header;
  std::vector<Measure> measures;  // in record order; name nullptr for an empty column
};

const Kind KINDS[] = {
    {"VT", "vehicle impedance00.csv",
     "O-Zone,D-Zone,PCU,Impedance,(blank1),Travel Time (min.),Distance (km),Toll Tariff,(blank2),(blank3),",
     {{"pcu", "PCU", 1.0},
      {"impedance", "min", 0.01},
      {nullptr, "", 0.0},
      {"time", "min", 1.0},
      {"distance", "km", 1.0},
      {"toll", "money", 1.0}}},
    {"PT", "transit impedance00.csv",
     "O-Zone,D-Zone,PT,Impedance,Get-On,Travel Time (min.),Boarding Distance (km),Total Fare,Walking Time "
     "(min.),Waiting (min.),",
     {{"trips", "persons", 1.0},
      {"impedance", "min", 0.01},
      {"boardings", "boardings", 1.0},
      {"time", "min", 1.0},
      {"distance", "km", 1.0},
      {"fare", "money", 1.0},
      {"walk", "min", 1.0},
      {"wait", "min", 1.0}}},
};

struct Matrix {
  std::string name;
  std::string unit;
  std::string source;
  std::vector<double> cells;  // NZ x NZ, row = origin
};

// The stage number of a file named like `template_` (letter case ignored), or -1.
int stage_of(const std::string& file, const char* template_) {
  const std::string t = template_;
  const size_t at = t.find("00");
  if (file.size() != t.size()) return -1;
  if (strncasecmp(file.c_str(), t.c_str(), at) != 0 || strcasecmp(file.c_str() + at + 2, t.c_str() + at + 2) != 0)
    return -1;
  if (!std::isdigit(static_cast<unsigned char>(file[at])) || !std::isdigit(static_cast<unsigned char>(file[at + 1])))
    return -1;
  return (file[at] - '0') * 10 + (file[at + 1] - '0');
}

// The zone count as the program takes it: the largest from-node of 400 or less.
int zone_count(const std::string& network) {
  const int u = free_unit();
  if (!open_read(u, network)) fail(network, 0, "cannot be read (the zone count comes from it)");
  int NZ = 0;
  for (;;) {
    int32_t v[7] = {0, 0, 0, 0, 0, 0, 0};
    ReadResult r = read_free(u, {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]});
    if (r.end() || (r && v[0] <= 0)) break;
    if (r.bad()) {
      const long line = unit_line(u);
      close_unit(u);
      fail(network, line, "\"" + r.bad_text + "\" is not a whole number");
    }
    if (v[0] <= NZSIZE) NZ = std::max(NZ, v[0]);
  }
  close_unit(u);
  if (NZ < 1) fail(network, 0, "no link leaves a zone (node 1 to 400)");
  return NZ;
}

void read_impedances(const std::string& path, const Kind& kind, int stage, int NZ, std::vector<Matrix>& out) {
  const size_t first = out.size();
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%s%02d_", kind.prefix, stage);
  for (const Measure& m : kind.measures)
    if (m.name != nullptr)
      out.push_back({prefix + std::string(m.name), m.unit, fs::path(path).filename().string(),
                     std::vector<double>(size_t(NZ) * size_t(NZ), std::numeric_limits<double>::quiet_NaN())});
  const int u = free_unit();
  if (!open_read(u, path)) fail(path, 0, "cannot be read");
  std::string line;
  if (!read_line(u, line) || line != kind.header) {
    close_unit(u);
    fail(path, 1, "is not an impedance file of the program (its header differs)");
  }
  std::vector<bool> seen(size_t(NZ) * size_t(NZ), false);
  while (read_line(u, line)) {
    const long n = unit_line(u);
    int32_t o = 0, d = 0;
    std::vector<double> v(kind.measures.size(), std::numeric_limits<double>::quiet_NaN());
    std::vector<In> vars = {&o, &d};
    for (double& x : v) vars.push_back(&x);
    ReadResult r = ReadResult();
    switch (vars.size()) {  // the readers take a fixed list
      case 8:
        r = read_free_text(line, {vars[0], vars[1], vars[2], vars[3], vars[4], vars[5], vars[6], vars[7]});
        break;
      default:
        r = read_free_text(line, {vars[0], vars[1], vars[2], vars[3], vars[4], vars[5], vars[6], vars[7], vars[8],
                                  vars[9]});
    }
    if (r.bad() || r.end()) {
      close_unit(u);
      if (r.end()) fail(path, n, "the record has too few fields");
      fail(path, n, "\"" + r.bad_text + "\" is not a number (a value too wide for its column?)");
    }
    if (o < 1 || o > NZ || d < 1 || d > NZ) {
      close_unit(u);
      fail(path, n, "zone pair " + std::to_string(o) + "-" + std::to_string(d) + " is outside the zones 1.." +
                        std::to_string(NZ));
    }
    const size_t cell = size_t(o - 1) * size_t(NZ) + size_t(d - 1);
    if (seen[cell]) {
      close_unit(u);
      fail(path, n, "zone pair " + std::to_string(o) + "-" + std::to_string(d) + " appears twice");
    }
    seen[cell] = true;
    size_t m = first;
    for (size_t k = 0; k < kind.measures.size(); ++k) {
      if (kind.measures[k].name == nullptr) continue;
      if (std::isnan(v[k])) {
        close_unit(u);
        fail(path, n, std::string("the ") + kind.measures[k].name + " field is empty");
      }
      out[m++].cells[cell] = v[k] * kind.measures[k].scale;
    }
  }
  close_unit(u);
}

// ------------------------------------------------------------------ HDF5

struct H5 {
  hid_t id;
  herr_t (*close)(hid_t);
  H5(hid_t i, herr_t (*c)(hid_t), const std::string& file) : id(i), close(c) {
    if (id < 0) fail(file, 0, "HDF5 could not create an object of the file");
  }
  ~H5() { close(id); }
  H5(const H5&) = delete;
  H5& operator=(const H5&) = delete;
};

void check(herr_t status, const std::string& file, const std::string& what) {
  if (status < 0) fail(file, 0, "HDF5 could not write " + what);
}

void text_attribute(hid_t on, const char* name, const std::string& value, const std::string& file) {
  H5 type(H5Tcopy(H5T_C_S1), H5Tclose, file);
  check(H5Tset_size(type.id, value.size() + 1), file, name);
  check(H5Tset_strpad(type.id, H5T_STR_NULLTERM), file, name);
  H5 space(H5Screate(H5S_SCALAR), H5Sclose, file);
  H5 attr(H5Acreate2(on, name, type.id, space.id, H5P_DEFAULT, H5P_DEFAULT), H5Aclose, file);
  check(H5Awrite(attr.id, type.id, value.c_str()), file, name);
}

// A group that keeps its members in the order they were made.
hid_t ordered_group(hid_t file_id, const char* name) {
  hid_t plist = H5Pcreate(H5P_GROUP_CREATE);
  H5Pset_link_creation_order(plist, H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED);
  hid_t g = H5Gcreate2(file_id, name, H5P_DEFAULT, plist, H5P_DEFAULT);
  H5Pclose(plist);
  return g;
}

void write_omx(const std::string& path, int NZ, const std::vector<Matrix>& matrices) {
  H5 file(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose, path);
  text_attribute(file.id, "OMX_VERSION", "0.2", path);
  {
    const hsize_t two = 2;
    const int32_t shape[2] = {NZ, NZ};
    H5 space(H5Screate_simple(1, &two, nullptr), H5Sclose, path);
    H5 attr(H5Acreate2(file.id, "SHAPE", H5T_STD_I32LE, space.id, H5P_DEFAULT, H5P_DEFAULT), H5Aclose, path);
    check(H5Awrite(attr.id, H5T_NATIVE_INT32, shape), path, "SHAPE");
  }
  H5 data(ordered_group(file.id, "/data"), H5Gclose, path);
  H5 lookup(ordered_group(file.id, "/lookup"), H5Gclose, path);

  const hsize_t dims[2] = {hsize_t(NZ), hsize_t(NZ)};
  H5 space(H5Screate_simple(2, dims, nullptr), H5Sclose, path);
  H5 plist(H5Pcreate(H5P_DATASET_CREATE), H5Pclose, path);
  if (H5Zfilter_avail(H5Z_FILTER_DEFLATE) > 0) {
    const hsize_t chunk[2] = {1, hsize_t(NZ)};  // a row per chunk, as readers fetch them
    check(H5Pset_chunk(plist.id, 2, chunk), path, "the chunk layout");
    check(H5Pset_deflate(plist.id, 4), path, "the compression");
  }
  for (const Matrix& m : matrices) {
    H5 set(H5Dcreate2(data.id, m.name.c_str(), H5T_IEEE_F64LE, space.id, H5P_DEFAULT, plist.id, H5P_DEFAULT),
           H5Dclose, path);
    check(H5Dwrite(set.id, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, m.cells.data()), path, m.name);
    text_attribute(set.id, "unit", m.unit, path);
    text_attribute(set.id, "source", m.source, path);
  }
  std::vector<int32_t> zones(static_cast<size_t>(NZ));
  for (int z = 1; z <= NZ; ++z) zones[size_t(z - 1)] = z;
  const hsize_t n = hsize_t(NZ);
  H5 zspace(H5Screate_simple(1, &n, nullptr), H5Sclose, path);
  H5 zset(H5Dcreate2(lookup.id, "zone", H5T_STD_I32LE, zspace.id, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Dclose,
          path);
  check(H5Dwrite(zset.id, H5T_NATIVE_INT32, H5S_ALL, H5S_ALL, H5P_DEFAULT, zones.data()), path, "/lookup/zone");
  check(H5Fflush(file.id, H5F_SCOPE_GLOBAL), path, "the file");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << "usage: routava-omx DIR OUT.omx\n"
                 "Writes the Vehicle ImpedanceNN.csv and Transit ImpedanceNN.csv files of a finished run\n"
                 "in DIR as one OMX file; pairs without a record are NaN.\n";
    return 0;
  }
  if (argc != 3) {
    std::cerr << "routava-omx: usage: routava-omx DIR OUT.omx\n";
    return 1;
  }
  const std::string dir = argv[1];
  const std::string out = argv[2];
  std::string tmp;
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // our own messages instead of HDF5's stack
  try {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) fail(dir, 0, "is not a folder");
    std::string network;
    std::vector<std::pair<std::pair<int, int>, std::string>> files;  // ((stage, kind), name)
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      const std::string name = e.path().filename().string();
      if (strcasecmp(name.c_str(), "network.csv") == 0) network = e.path().string();
      for (int k = 0; k < 2; ++k) {
        const int stage = stage_of(name, KINDS[k].template_);
        if (stage >= 0) files.push_back({{stage, k}, e.path().string()});
      }
    }
    if (files.empty()) fail(dir, 0, "holds no Vehicle ImpedanceNN.csv or Transit ImpedanceNN.csv");
    if (network.empty()) fail(dir, 0, "holds no Network.csv (the zone count comes from it)");
    std::sort(files.begin(), files.end());
    const int NZ = zone_count(network);
    std::vector<Matrix> matrices;
    for (const auto& [key, path] : files) read_impedances(path, KINDS[key.second], key.first, NZ, matrices);

    fs::path target = fs::absolute(fs::path(out));
    tmp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> buf(tmp.begin(), tmp.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0) {
      tmp.clear();
      fail(target.parent_path().string(), 0, "cannot hold a new file");
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);  // as any file the user makes, not private as mkstemp leaves it
    ::close(fd);
    tmp = buf.data();
    write_omx(tmp, NZ, matrices);
    fs::rename(tmp, out, ec);
    if (ec) fail(out, 0, "cannot be made (" + ec.message() + ")");
    tmp.clear();
    std::cout << "routava-omx: " << out << ": " << matrices.size() << " matrices of " << NZ << " x " << NZ
              << " zones from " << files.size() << " files\n";
    return 0;
  } catch (const std::exception& e) {
    close_all_units();
    if (!tmp.empty()) std::remove(tmp.c_str());
    std::cerr << "routava-omx: " << e.what() << "\n";
    return 1;
  }
}
