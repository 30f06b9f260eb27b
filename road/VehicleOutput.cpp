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
constexpr int LINK_VALUES = LINK_VOLUME + WORK_COLS;

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

void cannot_open(const std::string& name, int LOG) {
  say_heading(LOG, "VehicleAssign");
  say(LOG, {" *** Error *** Can not open ", name});
}

bool open_text(int unit, const std::string& name, int LOG) {
  if (open_write(unit, name)) return true;
  cannot_open(name, LOG);
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
  vf.link_rec = int_buffer(LINK_VOLUME);
  for (int k = 0; k < WORK_COLS; ++k) vf.link_rec.emplace_back(0.0f);
}

bool open_vehicle_files(VehicleFiles& vf, const FileNames& FN, const Settings& set, int LOG) {
  auto name = [&](int slot) { return std::string(trim(FN[size_t(slot)])); };
  const auto& U = vf.U;
  vf.path = vf.screen = vf.ramp = false;
  vf.nscreen = vf.nramp = vf.nerror = 0;

  if (!open_write_binary(U[6], name(7))) {
    cannot_open(name(7), LOG);
    return false;
  }
  if (set.KPATH > 0) {
    if (!open_text(U[1], name(1), LOG)) return false;
    vf.path = true;
    typed_header(U[1], PATH_HEADER, 1, 1);
  }
  if (!open_text(U[2], name(2), LOG)) return false;
  write_line(U[2], IMPEDANCE_HEADER);
  if (!open_text(U[5], name(6), LOG)) return false;
  typed_header(U[5], ERROR_HEADER, 2, 1);
  if (set.KSCRN > 0) {
    if (!open_text(U[3], name(4), LOG)) return false;
    vf.screen = true;
    typed_header(U[3], SCREEN_HEADER, 1, 1);
  }
  if (set.KRAMP > 0) {
    if (!open_text(U[4], name(5), LOG)) return false;
    vf.ramp = true;
    typed_header(U[4], RAMP_HEADER, 1, 1);
  }
  return true;
}

void write_scratch_record(const VehicleFiles& vf, const PairLoad& pair) {
  int32_t rec[2 + NVTYPE];
  rec[0] = pair.o;
  rec[1] = pair.d;
  for (int t = 0; t < NVTYPE; ++t) rec[2 + t] = pair.v[t];
  write_binary(vf.U[6], rec, 2 + NVTYPE);
}

void write_path_record(VehicleFiles& vf, const PathStep& step, const PairLoad& pair) {
  Out* v = vf.path_rec.data();
  v[0].i = step.road_link;
  v[1].i = step.from_code;
  v[2].i = step.to_code;
  v[3].i = step.time;
  v[4].i = pair.o;
  v[5].i = pair.d;
  v[6].i = step.rev;
  set_counts(v + 7, pair.v);
  write_fmt(vf.U[1], vf.path_fmt, v, PATH_VALUES);
}

void write_screen_record(VehicleFiles& vf, int32_t screen, const PairLoad& pair) {
  Out* v = vf.screen_rec.data();
  v[0].i = screen;
  v[1].i = pair.o;
  v[2].i = pair.d;
  set_counts(v + 3, pair.v);
  write_fmt(vf.U[3], vf.screen_fmt, v, SCREEN_VALUES);
  ++vf.nscreen;
}

void write_ramp_record(VehicleFiles& vf, int32_t inflow, int32_t outflow, const PairLoad& pair) {
  Out* v = vf.ramp_rec.data();
  v[0].i = inflow;
  v[1].i = outflow;
  set_counts(v + 2, pair.v);
  write_fmt(vf.U[4], vf.ramp_fmt, v, RAMP_VALUES);
  ++vf.nramp;
}

void write_error_record(VehicleFiles& vf, const PairLoad& pair) {
  static const Format record = Format::parse(ERROR_RECORD);
  Out* v = vf.error_rec.data();
  v[0].i = pair.o;
  v[1].i = pair.d;
  set_counts(v + 2, pair.v);
  write_fmt(vf.U[5], record, v, ERROR_VALUES);
  ++vf.nerror;
}

void write_impedance_record(const VehicleFiles& vf, const PairLoad& pair, const PairResult& sums) {
  static const Format record = Format::parse(IMPEDANCE_RECORD);
  write_fmt(vf.U[2], record,
            {pair.o, pair.d, sums.pcu, sums.impedance, sums.time_min, sums.dist_km, sums.toll});
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
    // The link's columns up to its volume, then its row of WORK.
    const int32_t* row = LINK.row(i);
    for (int c = LINK_ANODE; c <= LINK_VOLUME; ++c) v[c - LINK_ANODE].i = field(row, c);
    const float* w = work + size_t(i - 1) * WORK_COLS;
    for (int k = 0; k < WORK_COLS; ++k) v[LINK_VOLUME + k].f = double(w[k]);
    write_fmt(unit, vf.link_fmt, v, LINK_VALUES);
  }
  close_unit(unit);
  return true;
}

}  // namespace routava
