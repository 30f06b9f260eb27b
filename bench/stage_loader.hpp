// The benchmarks' one door into the program's routines: the first road or
// transit stage of a working directory loaded into the shared tables exactly as
// a run prepares it, the search of that stage, and the writers of a stage's
// files. Every call into the program from bench/ goes through here, so that a
// changed signature is mended in this file alone.
#pragma once

#include <fnmatch.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "road/Dijkstra.hpp"
#include "road/VehicleOutput.hpp"
#include "run/recio.hpp"
#include "run/routines.hpp"
#include "transit_assign/TransitOutput.hpp"

namespace routava::bench {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with the object.
class ScratchDir {
 public:
  explicit ScratchDir(const char* stem) {
    std::string tmpl = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
    if (mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  bool ok() const { return !path_.empty(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// One stage as its search sees it, with the tree and work storage of the search.
struct LoadedStage {
  std::unique_ptr<SharedTables> t = std::make_unique<SharedTables>();
  Settings set;
  StageRecord stage;
  bool transit = false;
  TreeTable TREE{NODESZ, TREE_COLS};
  SearchWork work;
  SearchGraph graph;  // built once the stage is loaded, as a stage builds it
  bool graph_built = false;

  const NetTable& table() const { return transit ? t->LNKPT : t->LNKVT; }
  int32_t rows() const { return transit ? t->NLPT : t->NLVT; }
  SearchNet net() const {
    return SearchNet{t->NODTBL, t->NNODE, table(), t->LCUT, t->NCUT, stage.KSW, t->NZ,
                     graph_built ? &graph : nullptr};
  }
  // Internal node of a zone's centroid, 0 when no link leaves it.
  int32_t zone_node(int32_t zone) const { return t->NCENT(zone, CENT_NODE); }
  // The tree of one origin zone into TREE; the search's unreached flag. The
  // progress lines go wherever the console is set.
  int16_t search(int32_t zone) {
    int16_t flag = 0;
    DIJKSTRA(net(), zone, zone_node(zone), 0, 0, TREE, work, flag);
    return flag;
  }
};

// The console sent to a string while the object lives (the searches of a
// large table write progress lines).
class QuietConsole {
 public:
  QuietConsole() { set_console(nullptr, &sink_); }
  ~QuietConsole() { set_console(nullptr, nullptr); }
  QuietConsole(const QuietConsole&) = delete;
  QuietConsole& operator=(const QuietConsole&) = delete;
  void clear() { sink_.str(""); }

 private:
  std::ostringstream sink_;
};

namespace detail {

// The files a run writes: never read by a stage, and large.
inline bool is_output_name(const std::string& name) {
  for (const char* pattern :
       {"Vehicle PathVT??.csv", "Vehicle Impedance??.csv", "Vehicle ScreenVT??.csv", "Vehicle RampVT??.csv",
        "Vehicle Error??.csv", "Traffic Assign??VT.csv", "Traffic Assign??PT.csv", "Transit PathPT??.csv",
        "Transit Impedance??.csv", "Transit ScreenPT??.csv", "Transit RampPT??.csv", "Transit Error??.csv",
        "Transit CapacityOver??.csv", "Traffic TotalResult.csv", "Traffic TotalLinkVol.csv",
        "Transit Operations.csv", "~Temp??", "Log.txt"})
    if (fnmatch(pattern, name.c_str(), FNM_CASEFOLD) == 0) return true;
  return false;
}

inline std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The console answers of a directory: answers.txt, else those make_city writes.
inline std::string answers_of(const fs::path& dir) {
  for (const char* name : {"answers.txt", "answers-transit.txt", "answers-road.txt"})
    if (fs::is_regular_file(dir / name)) return slurp(dir / name);
  return "";
}

inline FileNames names(std::initializer_list<const char*> list) {
  FileNames fn;
  for (auto& s : fn) s = pad("", 40);
  int k = 1;
  for (const char* n : list) fn[size_t(k++)] = pad(n, 40);
  return fn;
}

// The last lines the console received, for a message.
inline std::string tail(const std::string& text, int lines = 8) {
  size_t at = text.size();
  for (int k = 0; k <= lines && at != std::string::npos && at > 0; ++k) at = text.rfind('\n', at - 1);
  return at == std::string::npos ? text : text.substr(at + 1);
}

// Steps of a run up to the search of the wanted stage; "" when all went well.
inline std::string prepare(LoadedStage& s, bool transit) {
  SharedTables& t = *s.t;
  const int LOG = LOG_UNIT;  // never opened: log lines are dropped
  int16_t IERR = 0;
  GETNET(s.set, t, LOG, IERR);
  if (IERR >= 9) return "the dialogue or the network did not load";

  // The control file's first stage of the wanted kind, and whether a road stage comes first.
  std::ifstream control("Assign.txt");
  std::string line;
  bool found = false, road_before = false;
  while (!found && std::getline(control, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    StageRead sr = read_stage_record(line);
    if (!sr.ok || sr.record.KSTAGE <= 0) break;
    const bool is_transit = sr.record.KASSIGN >= 2;
    if (is_transit == transit) {
      s.stage = sr.record;
      found = true;
    } else if (!is_transit) {
      road_before = true;
    }
  }
  if (!found) return transit ? "Assign.txt has no transit stage" : "Assign.txt has no road stage";
  s.transit = transit;

  if (!transit || road_before) {
    // The roads at their free speeds: earlier road stages are not loaded.
    GETVEHICLE(s.set, names({"RoadVTOD.txt", "RoadPCU.txt", "QV.csv", "RoadTariff.csv"}), t, LOG, IERR);
    if (IERR >= 9) return "the vehicle tables did not load";
    LNKSPEED(t.NLROAD, t.LINK, t.QVTAB);
  }
  if (!transit) {
    HSORT(t.LNKVT, t.NLVT, LNK_COLS, LNK_FROM);
    NODESET(t.LNKVT, t.NLVT, t, LOG, IERR);
    if (IERR >= 9) return "the road node table failed";
    road_link_costs(t, s.stage.TVALUE);
  } else {
    GETBUSCONV(s.set, names({"BusInput.txt", "BusEdit.csv", "BusCost.csv"}), LOG);
    GETBUSLINK(t, s.set, s.stage, names({"BusEdit.csv", "BusFare.csv", "PTOD.txt", "ModePCU.txt"}), LOG,
               IERR);
    if (IERR > 0) return "the transit network did not load";
    HSORT(t.LNKPT, t.NLPT, LNK_COLS, LNK_FROM);
    NODESET(t.LNKPT, t.NLPT, t, LOG, IERR);
    if (IERR >= 9) return "the transit node table failed";
    transit_link_costs(t, s.set.MODEPT, s.stage.TVALUE);
  }
  LNKCUT(s.stage.KSTAGE, t, LOG, IERR);
  if (IERR > 0) return "the link cuts did not load";
  return "";
}

}  // namespace detail

// Loads the first road stage (or the first transit stage) of the working
// directory `dir` with its console answers, silently, in a scratch copy of its
// input files (a stage writes converted route files). On failure returns null
// and says why in `error`, with the last console lines.
inline std::unique_ptr<LoadedStage> load_stage(const fs::path& dir, bool transit, std::string& error) {
  error.clear();
  std::error_code ec;
  if (!fs::is_regular_file(dir / "Network.csv", ec)) {
    error = dir.string() + " holds no Network.csv";
    return nullptr;
  }
  ScratchDir scratch("routava-stage");
  if (!scratch.ok()) {
    error = "cannot make a scratch directory";
    return nullptr;
  }
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && !detail::is_output_name(name))
      fs::copy_file(e.path(), scratch.path() / name, ec);
    if (ec) {
      error = "cannot copy " + name + ": " + ec.message();
      return nullptr;
    }
  }
  auto stage = std::make_unique<LoadedStage>();
  std::istringstream answers(detail::answers_of(dir));
  std::ostringstream console;
  const fs::path home = fs::current_path();
  fs::current_path(scratch.path());
  set_console(&answers, &console);
  try {
    error = detail::prepare(*stage, transit);
  } catch (const FatalReadError& e) {
    error = e.what();
  }
  close_all_units();
  set_console(nullptr, nullptr);
  fs::current_path(home);
  if (error.empty()) {
    stage->graph_built = build_search_graph(stage->net(), stage->graph);
    return stage;
  }
  error = dir.string() + ": " + error + "; the console ended with:\n" + detail::tail(console.str());
  return nullptr;
}

// ---- the writers of a stage's files, for timing one record kind at a time

// The files of a road stage, opened in `dir` with the program's layouts for
// vehicle types 1 and 2 (a car and a truck table).
class RoadStageFiles {
 public:
  explicit RoadStageFiles(const fs::path& dir) : dir_(dir) {
    std::array<int, 11> used{};
    used[1] = used[2] = 1;
    take_vehicle_units(vf_);
    build_vehicle_formats(vf_, used);
    // Full paths: longer than the 40 characters of a name slot, which is fine here.
    FileNames fn;
    const char* files[8] = {"", "Vehicle PathVT01.csv", "Vehicle Impedance01.csv", "Traffic Assign01VT.csv",
                            "Vehicle ScreenVT01.csv", "Vehicle RampVT01.csv", "Vehicle Error01.csv", "~Temp01"};
    for (int k = 1; k <= 7; ++k) fn[size_t(k)] = (dir / files[k]).string();
    Settings set;
    set.KPATH = 1;
    open_ = open_vehicle_files(vf_, fn, set, 0);
  }
  ~RoadStageFiles() { close_vehicle_files(vf_); }
  bool ok() const { return open_; }
  // od: the ten vehicle counts of the pair.
  void path(int64_t link, int64_t from, int64_t to, int64_t time, int32_t o, int32_t d, int32_t rev,
            const int32_t* od) {
    write_path_record(vf_, PathStep{link, from, to, time, rev}, PairLoad{o, d, od});
  }
  void impedance(int32_t o, int32_t d, int32_t pcu, int64_t imp, float time_min, float dist_km, int32_t toll) {
    write_impedance_record(vf_, PairLoad{o, d, nullptr}, PairResult{pcu, imp, time_min, dist_km, toll});
  }
  // One whole link result file of NLROAD records; work: 30 reals per link.
  bool link_results(int32_t NLROAD, const LinkTable& LINK, const float* work) {
    return write_link_results(vf_, (dir_ / "Traffic Assign01VT.csv").string(), NLROAD, LINK, work, 0);
  }

 private:
  fs::path dir_;
  VehicleFiles vf_;
  bool open_ = false;
};

// The path file of a transit stage, opened in `dir` with the program's layout.
class TransitPathFile {
 public:
  explicit TransitPathFile(const fs::path& dir) {
    choose_transit_units(tf_);
    FileNames fn;
    const char* files[7] = {"", "Transit PathPT02.csv", "Transit Impedance02.csv", "Traffic Assign02PT.csv",
                            "Transit ScreenPT02.csv", "Transit RampPT02.csv", "Transit Error02.csv"};
    for (int k = 1; k <= 6; ++k) fn[size_t(k)] = (dir / files[k]).string();
    Settings set;
    set.KPATH = 1;
    open_ = open_transit_files(tf_, fn, set, 0);
  }
  ~TransitPathFile() {
    if (open_) close_transit_files(tf_);
  }
  bool ok() const { return open_; }
  void path(const TransitStep& step) { write_path_record(tf_, step); }

 private:
  TransitFiles tf_;
  bool open_ = false;
};

}  // namespace routava::bench
