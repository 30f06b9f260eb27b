// The per-stage files of the transit assignment: path, impedance, screen-line,
// ramp, error and link volume files. Each record layout is stated once, here.
#pragma once

#include <cstdint>
#include <string>

#include "run/definition.hpp"
#include "run/recio.hpp"

namespace routava {

// Step kinds of a traced path, as written in the FLAG column.
enum class StepKind : int32_t { WALK = 0, GET_ON = 1, GET_OFF = 2, TRANSFER = 3, RIDE = 4 };

// Units, counters and record layouts of the open transit files of one call.
struct TransitFiles {
  int U1 = 0;  // path file, later the link volume file
  int U2 = 0;  // impedance file
  int U3 = 0;  // screen-line file
  int U4 = 0;  // ramp file
  int U5 = 0;  // error file
  bool path_open = false;
  bool screen_open = false;
  bool ramp_open = false;
  int64_t nscreen = 0;
  int64_t nramp = 0;
  int64_t nerror = 0;
  int32_t pending_ramp = 0;  // the exit ramp met first while tracing backwards
  Format path_fmt;
  Format impedance_fmt;
  Format screen_fmt;
  Format ramp_fmt;
  Format error_fmt;
};

// WORK, the riders along each road link: one plane of NVTYPE columns per
// quantity, mode m at column work_col(plane, m).
enum WorkPlane : int { PERSONS = 0, PERSON_KM = 1, PERSON_HOURS = 2 };
constexpr int PT_WORK_COLS = 3 * NVTYPE;
inline int work_col(WorkPlane plane, int m) { return int(plane) * NVTYPE + m; }

// An origin and destination zone and the trips between them.
struct TripPair {
  int32_t o = 0;
  int32_t d = 0;
  int32_t trips = 0;  // persons
};

// One step of a traced path as the path file shows it.
struct TransitStep {
  TripPair pair;
  StepKind kind = StepKind::WALK;
  int64_t link = 0;  // road link row R (0 for boarding, alighting and transfer rows)
  int64_t o_node = 0;
  int64_t d_node = 0;
  int64_t route = 0;
  int32_t mode = 0;
  int64_t next_route = 0;
  int64_t time = 0;  // hundredths of a minute
  int32_t seq = 0;   // 1 at the destination end
};

// The sums of one traced pair.
struct PairSums {
  int64_t impedance = 0;  // hundredths of a minute
  int64_t travel = 0;     // hundredths of a minute
  int32_t get_on = 0;
  float distance_km = 0.0f;
  float fare = 0.0f;
  int64_t walking = 0;  // hundredths of a minute
  int64_t waiting = 0;  // hundredths of a minute
};

// Takes the five lowest units from 10 upward that are not open.
void choose_transit_units(TransitFiles& tf);

// Creates the result file named in a 40-character slot on `unit`; false after
// a message when it cannot be created.
bool open_result_file(int unit, const std::string& slot, int LOG);

// Opens the path (KPATH), impedance, error, screen-line (KSCRN) and ramp
// (KRAMP) files and writes their headers. False, after a message and with
// every file closed again, when one of them cannot be created.
bool open_transit_files(TransitFiles& tf, const FileNames& FN, const Settings& set, int LOG);

void write_path_record(const TransitFiles& tf, const TransitStep& st);
void write_impedance_record(const TransitFiles& tf, const TripPair& pair, const PairSums& sum);
void write_screen_record(TransitFiles& tf, int32_t screen, const TripPair& pair);
// The ramp pairing rule for one traced step of the pair on a link with ramp number `ramp`.
void ramp_step(TransitFiles& tf, int32_t ramp, const TripPair& pair);
void write_error_record(TransitFiles& tf, const TripPair& pair);

// Closes the files of the origin loop; error, screen-line and ramp files
// without records are deleted.
void close_transit_files(TransitFiles& tf);

// The link volume file: per-record pieces parsed once.
struct LinkVolumeFormats {
  Format head;     // LINK_ANODE..LINK_LENGTH, average speed, LINK_VOLUME
  Format persons;  // a mode with riders: persons, person-km, person-hours
  Format pkm;
  Format phours;
  Format none;  // a mode without riders, each of its three fields
  Format tail;  // walkers
};

LinkVolumeFormats link_volume_formats();
std::string link_volume_header();
// One record for road link k, with the riders' average speed.
void write_link_volume_record(int unit, const LinkVolumeFormats& f, const LinkTable& LINK, int32_t k,
                              const Table<float>& WORK, const Vec<float>& FOOT);

// Truncation of a single-precision value to a 32-bit count, clamped so that
// absurd values cannot overflow.
int32_t truncate_to_int(float x);

}  // namespace routava
