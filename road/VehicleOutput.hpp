// The files of one road stage, written by VEHICLEASSIGN.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "run/definition.hpp"
#include "run/recio.hpp"

namespace routava {

// Record layouts that carry one value per vehicle type: a used type prints at
// full width, an unused one as a single zero character ("0." for reals).
enum class TypedRecord { PATH, LINK_RESULT, SCREEN, RAMP };
std::string typed_format(TypedRecord kind, const std::array<int, 11>& used);

// WORK of a stage, per road link: the vehicles, vehicle-km and vehicle-hours of
// types 1..10, each plane ten reals wide.
constexpr int WORK_VT = 0;
constexpr int WORK_VTKM = NVTYPE;
constexpr int WORK_VTHOUR = 2 * NVTYPE;
constexpr int WORK_COLS = 3 * NVTYPE;

// The OD pair being walked and its ten vehicle counts.
struct PairLoad {
  int32_t o;
  int32_t d;
  const int32_t* v;  // types 1..10 at v[0..9]
};

// One link of a walked path, as the path file lists it.
struct PathStep {
  int64_t road_link;  // row of LINK, 0 for a row off the road
  int64_t from_code;  // node codes at the link's ends
  int64_t to_code;
  int64_t time;       // hundredths of a minute
  int32_t rev;        // reverse sequence, 1 at the destination
};

// The sums of a completed path, as the impedance file lists them.
struct PairResult {
  int32_t pcu;
  int64_t impedance;  // hundredths of a minute
  float time_min;
  float dist_km;
  int32_t toll;
};

// Units and record counters of the stage files; unit roles U1..U6 as in VEHICLEASSIGN:
// U1 OD input, path file, link results; U2 impedance; U3 screen lines; U4 ramps;
// U5 errors; U6 the scratch file of the totals.
struct VehicleFiles {
  std::array<int, 7> U{};  // U[1..6]
  bool path = false;
  bool screen = false;
  bool ramp = false;
  int32_t nscreen = 0;
  int32_t nramp = 0;
  int32_t nerror = 0;
  Format path_fmt, link_fmt, screen_fmt, ramp_fmt;
  // Value buffers built once per call, refilled for every record.
  std::vector<Out> path_rec, screen_rec, ramp_rec, error_rec, link_rec;
};

// Takes the first six units from 10 upward that are not open.
void take_vehicle_units(VehicleFiles& vf);
void build_vehicle_formats(VehicleFiles& vf, const std::array<int, 11>& used);
// Opens the scratch, path, impedance, error, screen-line and ramp files and writes
// their headers; false (with a message) when one cannot be created.
// The path, screen-line and ramp files are opened as the dialogue's KPATH, KSCRN
// and KRAMP ask.
bool open_vehicle_files(VehicleFiles& vf, const FileNames& FN, const Settings& set, int LOG);

void write_scratch_record(const VehicleFiles& vf, const PairLoad& pair);
void write_path_record(VehicleFiles& vf, const PathStep& step, const PairLoad& pair);
void write_screen_record(VehicleFiles& vf, int32_t screen, const PairLoad& pair);
void write_ramp_record(VehicleFiles& vf, int32_t inflow, int32_t outflow, const PairLoad& pair);
void write_error_record(VehicleFiles& vf, const PairLoad& pair);
void write_impedance_record(const VehicleFiles& vf, const PairLoad& pair, const PairResult& sums);

// Closes the files of the walk, deleting the error, screen-line and ramp files
// that received no record.
void close_vehicle_files(VehicleFiles& vf);

// Writes the link results on U1. work: WORK_COLS reals per road link; the link
// volumes in LINK must already be raised.
// False (with a message) when the file cannot be created.
bool write_link_results(VehicleFiles& vf, const std::string& name, int32_t NLROAD,
                        const LinkTable& LINK, const float* work, int LOG);

}  // namespace routava
