// Record layouts of the transit assignment files.
#include "transit_assign/TransitOutput.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace routava {
namespace {

constexpr const char* PATH_HEADER = "FLAG,Link,O-Node,D-Node,Route,Mode,Next Route,Time,PT,From,To,Reverse Seq,";
constexpr const char* PATH_FORMAT = "(I1,1H,,4(I5,1H,),I2,1H,,I5,1H,,2(I6,1H,),3(I3,1H,))";

constexpr const char* IMPEDANCE_HEADER =
    "O-Zone,D-Zone,PT,Impedance,Get-On,Travel Time (min.),Boarding Distance (km),Total Fare,"
    "Walking Time (min.),Waiting (min.),";
constexpr const char* IMPEDANCE_FORMAT =
    "(I3,1H,,I3,1H,,I6,1H,,I6,1H,,I2,1H,,F6.1,1H,,F6.2,1H,,I7,1H,,F7.1,1H,,F7.1,1H,)";

constexpr const char* SCREEN_HEADER = "Screen No,O-Zone,D-Zone,MODE,Person Trips,";
constexpr const char* SCREEN_FORMAT = "(I2,1H,,I3,1H,,I3,1H,,I2,1H,,I8,1H,)";

constexpr const char* RAMP_HEADER = "Inflow Ramp No,Outflow Ramp No,MODE,Person Trips,";
constexpr const char* RAMP_FORMAT = "(I3,1H,,I3,1H,,I3,1H,,I8,1H,)";

constexpr const char* ERROR_HEADER = " O zone, D zone, Could Not Assigned PT,";
constexpr const char* ERROR_FORMAT = "(I4,1H,,I4,1H,,I8,1H,)";

int next_free_unit(int from) {
  int u = from;
  while (is_open(u)) ++u;
  return u;
}

}  // namespace

bool open_result_file(int unit, const std::string& slot, int LOG) {
  std::string name(trim(slot));
  if (open_write(unit, name)) return true;
  say_heading(LOG, "BusAssign");
  say_line(LOG, " *** Error *** Can not create the file " + name);
  return false;
}

void choose_transit_units(TransitFiles& tf) {
  tf.U1 = next_free_unit(10);
  tf.U2 = next_free_unit(tf.U1 + 1);
  tf.U3 = next_free_unit(tf.U2 + 1);
  tf.U4 = next_free_unit(tf.U3 + 1);
  tf.U5 = next_free_unit(tf.U4 + 1);
}

bool open_transit_files(TransitFiles& tf, const FileNames& FN, const Settings& set, int LOG) {
  tf.path_fmt = Format::parse(PATH_FORMAT);
  tf.impedance_fmt = Format::parse(IMPEDANCE_FORMAT);
  tf.screen_fmt = Format::parse(SCREEN_FORMAT);
  tf.ramp_fmt = Format::parse(RAMP_FORMAT);
  tf.error_fmt = Format::parse(ERROR_FORMAT);
  tf.nscreen = tf.nramp = tf.nerror = 0;
  tf.pending_ramp = 0;

  std::array<int, 5> opened{};
  size_t nopened = 0;
  auto open = [&](int unit, const std::string& slot) {
    if (!open_result_file(unit, slot, LOG)) return false;
    opened[nopened++] = unit;
    return true;
  };
  bool ok = true;
  if (set.KPATH >= 1) {
    ok = open(tf.U1, FN[1]);
    if (ok) write_line(tf.U1, PATH_HEADER);
    tf.path_open = ok;
  }
  if (ok && (ok = open(tf.U2, FN[2]))) write_line(tf.U2, IMPEDANCE_HEADER);
  if (ok && (ok = open(tf.U5, FN[6]))) write_free(tf.U5, {ERROR_HEADER});
  if (ok && set.KSCRN >= 1) {
    ok = open(tf.U3, FN[4]);
    if (ok) write_line(tf.U3, SCREEN_HEADER);
    tf.screen_open = ok;
  }
  if (ok && set.KRAMP >= 1) {
    ok = open(tf.U4, FN[5]);
    if (ok) write_line(tf.U4, RAMP_HEADER);
    tf.ramp_open = ok;
  }
  if (!ok) {
    for (size_t i = 0; i < nopened; ++i) close_unit(opened[i]);
    tf.path_open = tf.screen_open = tf.ramp_open = false;
  }
  return ok;
}

void write_path_record(const TransitFiles& tf, const TransitStep& st) {
  write_fmt(tf.U1, tf.path_fmt,
            {int32_t(st.kind), st.link, st.o_node, st.d_node, st.route, st.mode, st.next_route,
             st.time, st.pair.trips, st.pair.o, st.pair.d, st.seq});
}

void write_impedance_record(const TransitFiles& tf, const TripPair& pair, const PairSums& sum) {
  // Minutes in single precision, as the fields have always been computed.
  const float travel_min = float(sum.travel) / 100.0f;
  const float walking_min = float(sum.walking) / 100.0f;
  const float waiting_min = float(sum.waiting) / 100.0f;
  const int64_t fare = int64_t(sum.fare + 0.4999f);
  write_fmt(tf.U2, tf.impedance_fmt,
            {pair.o, pair.d, pair.trips, sum.impedance, sum.get_on, travel_min, sum.distance_km, fare, walking_min,
             waiting_min});
}

void write_screen_record(TransitFiles& tf, int32_t screen, const TripPair& pair) {
  write_fmt(tf.U3, tf.screen_fmt, {screen, pair.o, pair.d, int32_t(0), pair.trips});
  ++tf.nscreen;
}

void ramp_step(TransitFiles& tf, int32_t ramp, const TripPair& pair) {
  if (tf.pending_ramp == 0) {
    tf.pending_ramp = ramp;
    return;
  }
  // Traced backwards: this ramp is the inflow, the pending one the outflow.
  if (pair.trips > 0) {
    write_fmt(tf.U4, tf.ramp_fmt, {ramp, tf.pending_ramp, int32_t(0), pair.trips});
    ++tf.nramp;
  }
  tf.pending_ramp = 0;
}

void write_error_record(TransitFiles& tf, const TripPair& pair) {
  write_fmt(tf.U5, tf.error_fmt, {pair.o, pair.d, pair.trips});
  ++tf.nerror;
}

void close_transit_files(TransitFiles& tf) {
  if (tf.path_open) close_unit(tf.U1);
  tf.path_open = false;
  close_unit(tf.U2);
  close_unit(tf.U5, tf.nerror == 0);
  if (tf.screen_open) close_unit(tf.U3, tf.nscreen == 0);
  if (tf.ramp_open) close_unit(tf.U4, tf.nramp == 0);
  tf.screen_open = tf.ramp_open = false;
}

LinkVolumeFormats link_volume_formats() {
  LinkVolumeFormats f;
  f.head = Format::parse("(2(I5,1H,),4(I2,1H,),I6,1H,,I3,1H,,I7,1H,)");
  f.persons = Format::parse("(F9.1,1H,)");
  f.pkm = Format::parse("(F10.2,1H,)");
  f.phours = Format::parse("(F11.3,1H,)");
  f.none = Format::parse("(F2.0,1H,)");
  f.tail = Format::parse("(F9.1,1H,)");
  return f;
}

std::string link_volume_header() {
  std::string h =
      "O-Node,D-Node,Link character,Evaluation Group,QV type,Tariff type,Distance (m),"
      "Average Speed (Km per hour),PCU,";
  for (const char* suffix : {" person,", " PT*KM,", " PT*HOUR,"}) {
    for (int m = 1; m <= NVTYPE; ++m) {
      h += "MODE ";
      put_int(h, m, 2);
      h += suffix;
    }
  }
  h += "Walking PT,";
  return h;
}

int32_t truncate_to_int(float x) {
  if (!std::isfinite(x)) return 0;
  const double lo = double(std::numeric_limits<int32_t>::min());
  const double hi = double(std::numeric_limits<int32_t>::max());
  return int32_t(std::clamp(double(x), lo, hi));
}

void write_link_volume_record(int unit, const LinkVolumeFormats& f, const LinkTable& LINK, int32_t k,
                              const Table<float>& WORK, const Vec<float>& FOOT) {
  float km = 0.0f, hours = 0.0f;
  for (int m = 1; m <= NVTYPE; ++m) {
    km += WORK(k, work_col(PERSON_KM, m));
    hours += WORK(k, work_col(PERSON_HOURS, m));
  }
  const int32_t speed = hours > 0.0f ? truncate_to_int(km / hours + 0.5f) : 0;
  // The record is the concatenation of its pieces, so it matches the field list
  // that would place them side by side.
  std::string rec;
  rec.reserve(400);
  format_record(rec, f.head,
                {LINK(k, LINK_ANODE), LINK(k, LINK_BNODE), LINK(k, LINK_CHARACTER), LINK(k, LINK_GROUP),
                 LINK(k, LINK_QVTYPE), LINK(k, LINK_TARIFF), LINK(k, LINK_LENGTH), speed,
                 LINK(k, LINK_VOLUME)});
  const struct {
    WorkPlane plane;
    const Format* piece;
  } planes[] = {{PERSONS, &f.persons}, {PERSON_KM, &f.pkm}, {PERSON_HOURS, &f.phours}};
  for (const auto& p : planes) {
    for (int m = 1; m <= NVTYPE; ++m) {
      const bool riders = WORK(k, work_col(PERSONS, m)) > 0.0f;
      format_record(rec, riders ? *p.piece : f.none, {WORK(k, work_col(p.plane, m))});
    }
  }
  format_record(rec, f.tail, {FOOT(k)});
  write_line(unit, rec);
}

}  // namespace routava
