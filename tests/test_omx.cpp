// routava-omx: the OMX file of a road-and-transit run read back through the HDF5
// library, every matrix equal to its impedance file; bad input leaves no file.
#include <hdf5.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::read_lines;
using test::TempDir;

int run_omx(const std::string& args) { return test::run_tool(ROUTAVA_OMX_BINARY, args, "omx.out"); }

std::string text_attribute(hid_t on, const char* name) {
  hid_t a = H5Aopen(on, name, H5P_DEFAULT);
  if (a < 0) return "<missing>";
  hid_t t = H5Aget_type(a);
  std::string s(H5Tget_size(t), '\0');
  H5Aread(a, t, s.data());
  H5Tclose(t);
  H5Aclose(a);
  return s.substr(0, s.find('\0'));
}

std::vector<double> matrix(hid_t file, const std::string& name, std::string& unit) {
  hid_t d = H5Dopen2(file, ("/data/" + name).c_str(), H5P_DEFAULT);
  EXPECT_GE(d, 0) << name;
  if (d < 0) return {};
  hid_t space = H5Dget_space(d);
  std::vector<double> v(size_t(H5Sget_simple_extent_npoints(space)));
  H5Dread(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data());
  unit = text_attribute(d, "unit");
  H5Sclose(space);
  H5Dclose(d);
  return v;
}

std::vector<std::string> data_names(hid_t file) {
  std::vector<std::string> names;
  hid_t g = H5Gopen2(file, "/data", H5P_DEFAULT);
  H5G_info_t info;
  H5Gget_info(g, &info);
  for (hsize_t i = 0; i < info.nlinks; ++i) {
    char name[64] = {0};
    H5Lget_name_by_idx(g, ".", H5_INDEX_CRT_ORDER, H5_ITER_INC, i, name, sizeof name, H5P_DEFAULT);
    names.push_back(name);
  }
  H5Gclose(g);
  return names;
}

std::vector<double> numbers(const std::string& line) {
  std::vector<double> v;
  std::istringstream s(line);
  std::string f;
  while (std::getline(s, f, ',')) v.push_back(f.find_first_not_of(' ') == std::string::npos ? NAN : std::stod(f));
  return v;
}

TEST(Omx, EveryMatrixEqualsItsImpedanceFile) {
  TempDir dir;
  for (const auto& e : fs::directory_iterator(fs::path(test::source_dir()) / "examples" / "transit"))
    fs::copy_file(e.path(), e.path().filename());
  ASSERT_EQ(test::run_program(read_file("answers1.txt")), 0);
  ASSERT_EQ(run_omx(". skims.omx"), 0) << read_file("omx.out");

  int NZ = 0;  // as the program counts zones
  for (const std::string& line : read_lines("Network.csv")) {
    const int a = std::stoi(line);
    if (a <= 0) break;
    if (a <= 400) NZ = std::max(NZ, a);
  }
  hid_t file = H5Fopen("skims.omx", H5F_ACC_RDONLY, H5P_DEFAULT);
  ASSERT_GE(file, 0);
  EXPECT_EQ(text_attribute(file, "OMX_VERSION"), "0.2");
  int32_t shape[2] = {0, 0};
  hid_t a = H5Aopen(file, "SHAPE", H5P_DEFAULT);
  H5Aread(a, H5T_NATIVE_INT32, shape);
  H5Aclose(a);
  EXPECT_EQ(shape[0], NZ);
  EXPECT_EQ(shape[1], NZ);
  std::vector<int32_t> zones(static_cast<size_t>(NZ));
  hid_t z = H5Dopen2(file, "/lookup/zone", H5P_DEFAULT);
  H5Dread(z, H5T_NATIVE_INT32, H5S_ALL, H5S_ALL, H5P_DEFAULT, zones.data());
  H5Dclose(z);
  for (int i = 0; i < NZ; ++i) EXPECT_EQ(zones[size_t(i)], i + 1);

  // Columns of each file after origin and destination, with the matrix they fill and
  // its unit; impedances are written in minutes.
  struct Column {
    size_t field;
    const char* measure;
    const char* unit;
    double scale;
  };
  const std::vector<Column> vt = {{2, "pcu", "PCU", 1},  {3, "impedance", "min", 0.01}, {5, "time", "min", 1},
                                  {6, "distance", "km", 1}, {7, "toll", "money", 1}};
  const std::vector<Column> pt = {{2, "trips", "persons", 1}, {3, "impedance", "min", 0.01},
                                  {4, "boardings", "boardings", 1}, {5, "time", "min", 1},
                                  {6, "distance", "km", 1},     {7, "fare", "money", 1},
                                  {8, "walk", "min", 1},        {9, "wait", "min", 1}};
  const std::vector<std::pair<std::string, std::string>> files = {
      {"VT01", "Vehicle Impedance01.csv"}, {"PT02", "Transit Impedance02.csv"},
      {"VT03", "Vehicle Impedance03.csv"}, {"PT04", "Transit Impedance04.csv"}};
  std::vector<std::string> expected_names;
  size_t cells = 0;
  for (const auto& [prefix, csv] : files) {
    SCOPED_TRACE(csv);
    const auto& columns = prefix[0] == 'V' ? vt : pt;
    const auto lines = read_lines(csv);
    ASSERT_GT(lines.size(), 1u);
    for (const Column& c : columns) {
      const std::string name = prefix + "_" + c.measure;
      expected_names.push_back(name);
      std::string unit;
      const auto m = matrix(file, name, unit);
      ASSERT_EQ(m.size(), size_t(NZ) * size_t(NZ)) << name;
      EXPECT_EQ(unit, c.unit) << name;
      std::vector<bool> written(m.size(), false);
      for (size_t i = 1; i < lines.size(); ++i) {
        const auto v = numbers(lines[i]);
        const size_t cell = size_t(v[0] - 1) * size_t(NZ) + size_t(v[1] - 1);
        EXPECT_EQ(m[cell], v[c.field] * c.scale) << name << " " << lines[i];
        written[cell] = true;
        ++cells;
      }
      for (size_t k = 0; k < m.size(); ++k)
        if (!written[k]) {
          EXPECT_TRUE(std::isnan(m[k])) << name << " cell " << k;
        }
    }
  }
  EXPECT_EQ(data_names(file), expected_names);  // in stage order, as written
  EXPECT_GT(cells, size_t(NZ));
  H5Fclose(file);
}

TEST(Omx, BadInputLeavesNoFile) {
  struct Case {
    const char* name;
    std::string impedance;  // the content of Vehicle Impedance01.csv ("" = none)
    std::string message;
  };
  const std::string header =
      "O-Zone,D-Zone,PCU,Impedance,(blank1),Travel Time (min.),Distance (km),Toll Tariff,(blank2),(blank3),\n";
  const std::vector<Case> cases = {
      {"no impedance file", "", "holds no Vehicle ImpedanceNN.csv"},
      {"a value too wide for its column", header + "  1,  2,    10,******,,   6.0,  6.00,      0,,,\n",
       "Vehicle Impedance01.csv, line 2: \"******\" is not a number"},
      {"a zone beyond the network's", header + "  1,  9,    10,   600,,   6.0,  6.00,      0,,,\n",
       "line 2: zone pair 1-9 is outside the zones 1..2"},
      {"a record cut short", header + "  1,  2,    10,   600,,   6.0\n", "line 2: the record has too few fields"},
      {"a file of another kind", "O-Zone,D-Zone,PCU,\n", "line 1: is not an impedance file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directory("run");
    test::write_file("run/Network.csv", "1,2,1,1,1,0,1000\n2,1,1,1,1,0,1000\n");
    if (!c.impedance.empty()) test::write_file("run/Vehicle Impedance01.csv", c.impedance);
    test::write_file("old.omx", "kept");
    EXPECT_EQ(run_omx("run old.omx"), 1);
    EXPECT_NE(read_file("omx.out").find(c.message), std::string::npos) << read_file("omx.out");
    EXPECT_EQ(read_file("old.omx"), "kept");  // an earlier export is not replaced by a failed one
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 3);  // run, old.omx, omx.out
  }
}

}  // namespace
}  // namespace routava
