// The seven files of a road stage: layouts, headers, opening and closing.
#include "road/VehicleOutput.hpp"

namespace routava {

namespace {

// Headers, each beside the record layout it belongs to.
const char* const PATH_HEADER =
    "('Link,O-Node,D-Node,Time,From,To,Reverse Seq,',10('Vehicle',I3,','))";
const char* const IMPEDANCE_HEADER =
    "O-Zone,D-Zone,PCU,Impedance,(blank1),Travel Time (min.),Distance (km),Toll Tariff,"
    "(blank2),(blank3),";
const char* const IMPEDANCE_RECORD = "(I3,',',I3,',',I6,',',I6,',',',',F6.1,',',F6.2,',',I7,',,,')";
const char* const ERROR_HEADER = "(' O zone, D zone, Could Not Assigned VT 1,',9('VT',I2,','))";
const char* const ERROR_RECORD = "(I4,',',I4,',',10(I8,','))";
const char* const SCREEN_HEADER = "('Screen No,O-Zone,D-Zone,',10('Vehicle Type',I3,','))";
const char* const RAMP_HEADER = "('Inflow Ramp No,Outflow Ramp No,',10('Vehicle Type',I3,','))";
const char* const LINK_HEADER =
    "('O-Node,D-Node,Link character,Evaluation Group,QV type,Tariff type,Distance (m),"
    "Average Speed (Km per hour),PCU,',10('TYPE ',I2,' VT,'),10('TYPE ',I2,' VT*KM,'),"
    "10('TYPE ',I2,' VT*HOUR,'),'(blank),')";

constexpr int PATH_VALUES = 7 + NVTYPE;
constexpr int SCREEN_VALUES = 3 + NVTYPE;
constexpr int RAMP_VALUES = 2 + NVTYPE;
constexpr int ERROR_VALUES = 2 + NVTYPE;
constexpr int LINK_VALUES = 9 + 3 * NVTYPE;

// Writes the header of a per-type file: its fixed names, then the type numbers
// `first`..10 (repeated `blocks` times) put into the format's groups.
void typed_header(int unit, const char* fmt, int first, int blocks) {
  std::vector<Out> types;
  for (int b = 0; b < blocks; ++b)
    for (int t = first; t <= NVTYPE; ++t) types.emplace_back(int32_t(t));
  write_fmt(unit, Format::parse(fmt), types.data(), types.size());
}

std::vector<Out> int_buffer(int n) { return std::vector<Out>(size_t(n), Out(int64_t(0))); }

void set_counts(Out* v, const int32_t* od) {
  for (int t = 0; t < NVTYPE; ++t) v[t].i = od[t];
}

bool open_text(int unit, const std::string& name, int LOG) {
  if (open_write(unit, name)) return true;
  say_line(LOG, " === SUBROUTINE VehicleAssign =======");
  say(LOG, {" *** Error *** Can not open ", name});
  return false;
}

}  // namespace

std::string typed_format(TypedRecord kind, const std::array<int, 11>& used) {
  std::string f;
  auto pieces = [&](const char* full, const char* zero) {
    for (int t = 1; t <= NVTYPE; ++t) f += used[size_t(t)] > 0 ? full : zero;
  };
  switch (kind) {
    case TypedRecord::PATH:
      f = "(4(I5,1H,),3(I3,1H,),";
      pieces("I7,1H,,", "I1,1H,,");
      f += ")";
      break;
    case TypedRecord::LINK_RESULT:
      f = "(2(I5,1H,),4(I2,1H,),I6,1H,,I3,1H,,I7,1H,,";
      pieces(" F9.1,1H,,", " F2.0,1H,,");
      pieces("F10.2,1H,,", " F2.0,1H,,");
      pieces("F11.3,1H,,", " F2.0,1H,,");
      f += "1H,)";
      break;
    case TypedRecord::SCREEN:
      f = "(I2,1H,,2(I3,1H,),";
      pieces("I8,1H,,", "I1,1H,,");
      f += ")";
      break;
    case TypedRecord::RAMP:
      f = "(2(I3,1H,),";
      pieces("I8,1H,,", "I1,1H,,");
      f += ")";
      break;
  }
  return f;
}

void take_vehicle_units(VehicleFiles& vf) {
  int u = 10;
  for (int k = 1; k <= 6; ++k) {
    while (is_open(u)) ++u;
    vf.U[size_t(k)] = u++;
  }
}

void build_vehicle_formats(VehicleFiles& vf, const std::array<int, 11>& used) {
  vf.path_fmt = Format::parse(typed_format(TypedRecord::PATH, used));
  vf.link_fmt = Format::parse(typed_format(TypedRecord::LINK_RESULT, used));
  vf.screen_fmt = Format::parse(typed_format(TypedRecord::SCREEN, used));
  vf.ramp_fmt = Format::parse(typed_format(TypedRecord::RAMP, used));
  vf.path_rec = int_buffer(PATH_VALUES);
  vf.screen_rec = int_buffer(SCREEN_VALUES);
  vf.ramp_rec = int_buffer(RAMP_VALUES);
  vf.error_rec = int_buffer(ERROR_VALUES);
  vf.link_rec = int_buffer(9);
  for (int k = 0; k < 3 * NVTYPE; ++k) vf.link_rec.emplace_back(0.0f);
}

bool open_vehicle_files(VehicleFiles& vf, const FileNames& FN, int16_t KPATH, int16_t KSCRN,
                        int16_t KRAMP, int LOG) {
  auto name = [&](int slot) { return std::string(trim(FN[size_t(slot)])); };
  const auto& U = vf.U;
  vf.path = vf.screen = vf.ramp = false;
  vf.nscreen = vf.nramp = vf.nerror = 0;

  if (!open_write_binary(U[6], name(7))) {
    say_line(LOG, " === SUBROUTINE VehicleAssign =======");
    say(LOG, {" *** Error *** Can not open ", name(7)});
    return false;
  }
  if (KPATH > 0) {
    if (!open_text(U[1], name(1), LOG)) return false;
    vf.path = true;
    typed_header(U[1], PATH_HEADER, 1, 1);
  }
  if (!open_text(U[2], name(2), LOG)) return false;
  write_line(U[2], IMPEDANCE_HEADER);
  if (!open_text(U[5], name(6), LOG)) return false;
  typed_header(U[5], ERROR_HEADER, 2, 1);
  if (KSCRN > 0) {
    if (!open_text(U[3], name(4), LOG)) return false;
    vf.screen = true;
    typed_header(U[3], SCREEN_HEADER, 1, 1);
  }
  if (KRAMP > 0) {
    if (!open_text(U[4], name(5), LOG)) return false;
    vf.ramp = true;
    typed_header(U[4], RAMP_HEADER, 1, 1);
  }
  return true;
}

void write_scratch_record(const VehicleFiles& vf, int32_t o, int32_t d, const int32_t* od) {
  int32_t rec[2 + NVTYPE];
  rec[0] = o;
  rec[1] = d;
  for (int t = 0; t < NVTYPE; ++t) rec[2 + t] = od[t];
  write_binary(vf.U[6], rec, 2 + NVTYPE);
}

void write_path_record(VehicleFiles& vf, int64_t a, int64_t p, int64_t code, int64_t time,
                       int32_t o, int32_t d, int32_t rev, const int32_t* od) {
  Out* v = vf.path_rec.data();
  v[0].i = a;
  v[1].i = p;
  v[2].i = code;
  v[3].i = time;
  v[4].i = o;
  v[5].i = d;
  v[6].i = rev;
  set_counts(v + 7, od);
  write_fmt(vf.U[1], vf.path_fmt, v, PATH_VALUES);
}

void write_screen_record(VehicleFiles& vf, int32_t screen, int32_t o, int32_t d,
                         const int32_t* od) {
  Out* v = vf.screen_rec.data();
  v[0].i = screen;
  v[1].i = o;
  v[2].i = d;
  set_counts(v + 3, od);
  write_fmt(vf.U[3], vf.screen_fmt, v, SCREEN_VALUES);
  ++vf.nscreen;
}

void write_ramp_record(VehicleFiles& vf, int32_t inflow, int32_t outflow, const int32_t* od) {
  Out* v = vf.ramp_rec.data();
  v[0].i = inflow;
  v[1].i = outflow;
  set_counts(v + 2, od);
  write_fmt(vf.U[4], vf.ramp_fmt, v, RAMP_VALUES);
  ++vf.nramp;
}

void write_error_record(VehicleFiles& vf, int32_t o, int32_t d, const int32_t* od) {
  static const Format record = Format::parse(ERROR_RECORD);
  Out* v = vf.error_rec.data();
  v[0].i = o;
  v[1].i = d;
  set_counts(v + 2, od);
  write_fmt(vf.U[5], record, v, ERROR_VALUES);
  ++vf.nerror;
}

void write_impedance_record(const VehicleFiles& vf, int32_t o, int32_t d, int32_t pcu,
                            int64_t impedance, float time_min, float dist_km, int32_t toll) {
  static const Format record = Format::parse(IMPEDANCE_RECORD);
  write_fmt(vf.U[2], record, {o, d, pcu, impedance, time_min, dist_km, toll});
}

void close_vehicle_files(VehicleFiles& vf) {
  const auto& U = vf.U;
  if (vf.path) close_unit(U[1]);
  close_unit(U[2]);
  close_unit(U[6]);
  close_unit(U[5], vf.nerror == 0);
  if (vf.screen) close_unit(U[3], vf.nscreen == 0);
  if (vf.ramp) close_unit(U[4], vf.nramp == 0);
  vf.path = vf.screen = vf.ramp = false;
}

bool write_link_results(VehicleFiles& vf, const std::string& name, int32_t NLROAD,
                        const LinkTable& LINK, const float* work, int LOG) {
  const int unit = vf.U[1];
  if (!open_text(unit, name, LOG)) return false;
  typed_header(unit, LINK_HEADER, 1, 3);
  Out* v = vf.link_rec.data();
  for (int32_t i = 1; i <= NLROAD; ++i) {
    const int32_t* row = LINK.row(i);
    for (int c = 0; c < 9; ++c) v[c].i = row[c];
    const float* w = work + size_t(i - 1) * 3 * NVTYPE;
    for (int k = 0; k < 3 * NVTYPE; ++k) v[9 + k].f = double(w[k]);
    write_fmt(unit, vf.link_fmt, v, LINK_VALUES);
  }
  close_unit(unit);
  return true;
}

}  // namespace routava
