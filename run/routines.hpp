// The routines of the system, called by the main program with the tables they work on.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "run/definition.hpp"

namespace routava {

struct SearchWork;   // road/Dijkstra.hpp: work storage of the path search, kept between origins
struct SearchGraph;  // road/Dijkstra.hpp: the compact copy of a stage's searched network

// The network one stage searches: its node table, network table (sorted by
// from-node), cuts, usable link kinds and zone count. Built once per stage and
// handed to every search of it, with the graph build_search_graph made of it;
// without one each search builds its own.
struct SearchNet {
  const NodeTable& NODTBL;
  int32_t NNODE;
  const NetTable& table;  // LNKVT or LNKPT
  const CutTable& LCUT;
  int32_t NCUT;
  const std::array<int16_t, 11>& KSW;  // KSW[1..10] of the stage record
  int32_t NZ;
  const SearchGraph* graph = nullptr;
};

struct RecordTally;  // run/recio.hpp

// ---- OD files (road and transit stages)
// After an OD file is read: an empty file, the records left out for a zone above
// the zone count NZ and those with trips below 0 are said once, naming the file.
void say_od_tallies(int LOG, std::string_view name, bool empty, int32_t NZ, const RecordTally& outside,
                    const RecordTally& negative);

// ---- run control
// The whole run in the working directory; returns the process exit status.
int run_main(int32_t threads = 1);  // threads: path searches at once, output unchanged
void OUTTIME(int unit);
// The time stamp line for a local time and its milliseconds (hundredths truncated).
std::string time_stamp_text(const std::tm& local, int millis);
// A per-stage file name: the template's "00" replaced by the stage number in two digits.
std::string stage_file_name(std::string_view tmpl, int stage);
// The stage record read from one line of the control file.
struct StageRead {
  StageRecord record;
  bool ok = true;  // false: the line could not be converted (bad_text says what)
  std::string bad_text;
};
StageRead read_stage_record(const std::string& line);
// Road link costs of LNKVT (impedance and time) from lengths, speeds and tolls;
// returns the number of usable road links left without a cost because their speed is 0.
int road_link_costs(SharedTables& t, float TVALUE);
// Road links whose tariff type (1 and above) has no toll in TARIFF, as when the
// type is missing from RoadTariff.csv; `first` is the first such row of LINK.
int links_without_tariff(const SharedTables& t, int32_t& first);
// Transit link costs of LNKPT for the stage's time value and the current road speeds;
// returns how many values were too large for any path and held at UNREACHED.
int32_t transit_link_costs(SharedTables& t, int16_t MODEPT, float TVALUE);
// Removes the route sections loaded beyond capacity, listing them in the stage's
// "Transit CapacityOver" file; returns the number removed.
int capacity_check(SharedTables& t, int LOG, int16_t stage, int16_t& IERR);

// ---- road network
// The check screen, the console dialogue, the screen-line and ramp lists and
// "Network.csv": LINK, LNKVT, LNKPT, their counts, NZ and NCENT.
void GETNET(Settings& set, SharedTables& t, int LOG, int16_t& IERR);
// The node table NODTBL/NNODE of rows 1..n of `table` (LNKVT or LNKPT, sorted by
// from-node), the to-node numbers of its rows and the centroids in NCENT.
void NODESET(NetTable& table, int32_t n, SharedTables& t, int LOG, int16_t& IERR);
// The row of `code` in the node table: pos, or pos 0 and IERR 9 when it is not there.
void NDSRCH(const NodeTable& NODTBL, int32_t NNODE, int64_t code, int16_t& IERR, int32_t& pos);

// ---- road assignment
// Sorts rows 1..N of A by column KEY (callers pass LNK_COLS, LNK_FROM); only columns
// 1..NCOL move. Arguments outside the table leave it as it is.
void HSORT(NetTable& A, int32_t N, int NCOL, int KEY);
// HSORT's sift-down: places the row held in ROW into the heap of rows L..IR.
void HEAP(NetTable& A, int32_t L, int32_t IR, int64_t* ROW, int NCOL, int KEY);
// The minimum-impedance tree from one origin zone into TREE. `unreached` is set to
// 0, to 1 when some zone cannot be reached, or to 9 when work storage ran out.
void DIJKSTRA(const SearchNet& net, int32_t origin_zone, int32_t origin_node, int LOG,
              int16_t KDEBUG, TreeTable& TREE, SearchWork& work, int16_t& unreached);
// The speeds of LINK rows 1..NLROAD from their volumes through the speed-flow curves.
void LNKSPEED(int32_t NLROAD, LinkTable& LINK, const RealTable& QVTAB);
// The stage's link cuts and prohibited turns into LCUT/NCUT (KSTAGE 0 keeps them),
// and their markers in the node table.
void LNKCUT(int16_t KSTAGE, SharedTables& t, int LOG, int16_t& IERR);
// The vehicle OD file list, PCU, speed-flow curves and tariffs of FN[1..4].
void GETVEHICLE(const Settings& set, const FileNames& FN, SharedTables& t, int LOG, int16_t& IERR);
// One road stage: its OD tables loaded all-or-nothing on LNKVT, its files written
// and its PCU volumes added to LINK. IERR 1 when some pair was not reached, 9 or
// more when the stage could not be assigned.
void VEHICLEASSIGN(Settings& set, const FileNames& FN, const StageRecord& stage, SharedTables& t,
                   int LOG, int16_t& IERR);

// ---- transit network
// Makes sure the converted route file FN[2] exists: converts FN[1] again, keeps
// FN[2], or asks the user, by the route file choice (which the answer replaces).
// When given, `source` tells where each line of a converted file came from
// (and is emptied when the file was not converted).
void GETBUSCONV(Settings& set, const FileNames& FN, int LOG, RouteSource* source = nullptr);
// Converts the keyword route text FN[1] into the route file FN[2] and the fare template FN[3].
void BUSCONV(const FileNames& FN, int LOG, RouteSource* source = nullptr);
// Reads the route (FN[1]), fare (FN[2]), PT OD list (FN[3]) and mode (FN[4])
// files and appends the rows of every route to LNKPT.
void GETBUSLINK(SharedTables& t, const Settings& set, const StageRecord& stage, const FileNames& FN,
                int LOG, int16_t& IERR);

// ---- transit assignment
// The stage's person trips on LNKPT, with the six stage files FN[1..6].
void BUSASSIGN(SharedTables& t, Settings& set, const StageRecord& stage, const FileNames& FN, int LOG,
               int16_t& IERR);
// Loading mode 3: the PCU of the extra buses that the last transit loads call for, onto LINK.
void BUSOPEINC(SharedTables& t, int LOG, int16_t& IERR);
// "Transit Operations.csv" (FNAME1) from the loads of the last transit stage.
void BUSOPEOUT(const SharedTables& t, const std::string& FNAME1, int LOG, int16_t& IERR);
// After sections were removed: the boarding, alighting and transfer rows of LNKPT
// that now lead nowhere are taken out, and the node table is rebuilt.
void CUTGETON(SharedTables& t, int LOG, int16_t& IERR);

// ---- totals
// Totals of the `nstages` stages run, from the files they left; reads NZ, NLROAD
// and LINK of the run's tables and MODEPT of its settings.
void TRIPTOTAL(const Settings& set, const SharedTables& t, const FileNames& FN, int16_t nstages, int LOG,
               int16_t& IERR);

}  // namespace routava
