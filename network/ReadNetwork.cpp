#include "network/ReadNetwork.hpp"

#include "run/recio.hpp"
#include "run/unit_guard.hpp"

namespace routava {

namespace {

// The list number of the first entry for the link a -> b, or 0.
int32_t list_number(const LinkList& list, int32_t a, int32_t b) {
  if (list.count <= 0) return 0;
  const int32_t* r = list.rows.row(1);
  for (int32_t k = 0; k < list.count; ++k, r += LIST_COLS) {
    if (field(r, LIST_FROM) == a && field(r, LIST_TO) == b) return field(r, LIST_NUMBER);
  }
  return 0;
}

void log_fmt(int LOG, const Format& f, std::initializer_list<Out> values) {
  if (LOG > 0) write_fmt(LOG, f, values);
}

// One record of the network file: A, B, link character, evaluation group,
// QV type, tariff type, length in metres.
struct LinkRecord {
  int32_t a = 0, b = 0, kind = 0, group = 0, qv = 0, tariff = 0, length_m = 0;
};

// A record that would break the tables is reported and left out (IERR 9): a node
// code in the range of route nodes, or a negative length. True when it is kept.
bool acceptable(const LinkRecord& k, int unit, int LOG, int16_t& IERR) {
  static const Format node_too_large =
      Format::parse("('  * ERROR * Node Code',I11,' is over 99999 at',I6,' in ',A40)");
  static const Format negative_length =
      Format::parse("('  * ERROR * Link Length',I11,' is negative at',I6,' in ',A40)");
  const int32_t line = int32_t(unit_line(unit));
  if (k.a >= ROUTE_BASE || k.b >= ROUTE_BASE) {
    // Such a code would be taken for a node on a transit route.
    say_fmt(LOG, node_too_large, {k.a >= ROUTE_BASE ? k.a : k.b, line, NETWORK_FILE});
    IERR = 9;
    return false;
  }
  if (k.length_m < 0) {
    // It would give negative times and distances, and draw every path onto it.
    say_fmt(LOG, negative_length, {k.length_m, line, NETWORK_FILE});
    IERR = 9;
    return false;
  }
  return true;
}

// Row i of LINK, LNKVT and LNKPT from one record.
void store_link(SharedTables& t, int32_t i, const LinkRecord& k, const Settings& set,
                const LinkLists& lists) {
  int32_t* link = t.LINK.row(i);
  field(link, LINK_ANODE) = k.a;
  field(link, LINK_BNODE) = k.b;
  field(link, LINK_CHARACTER) = k.kind;
  field(link, LINK_GROUP) = k.group;
  field(link, LINK_QVTYPE) = k.qv;
  field(link, LINK_TARIFF) = k.tariff;
  field(link, LINK_LENGTH) = k.length_m;
  if (set.KSCRN > 0) field(link, LINK_SCREEN) = list_number(lists.screens, k.a, k.b);
  if (set.KRAMP > 0) field(link, LINK_RAMP) = list_number(lists.ramps, k.a, k.b);

  int64_t* vt = t.LNKVT.row(i);
  int64_t* pt = t.LNKPT.row(i);
  field(vt, LNK_ROAD) = field(pt, LNK_ROAD) = i;
  field(vt, LNK_FROM) = field(pt, LNK_FROM) = k.a;
  field(vt, LNK_TO) = field(pt, LNK_TO) = k.b;
  if (set.FOOTSP > 0) {
    // Walking time in hundredths of a minute; types 7 and 8 are penalised a hundredfold.
    const int64_t factor = k.kind < 7 ? 6 : 600;
    field(pt, LNK_IMPEDANCE) = int64_t(k.length_m) * factor / set.FOOTSP;
  }
  if (k.kind >= 9) field(vt, LNK_KIND) = field(pt, LNK_KIND) = KIND_CLOSED;
}

// The zone count found or typed, and the centroid codes of NCENT.
void settle_zones(const Settings& set, SharedTables& t, int LOG, int16_t& IERR) {
  static const Format zone_count = Format::parse("('  Number of Zones & Centroids = ',I4)");
  static const Format zone_size = Format::parse("('  Zone size',I5,' is over than',I4)");
  if (set.zone_mode != 0) {
    say_fmt(LOG, zone_count, {t.NZ});
  } else {
    log_fmt(LOG, zone_count, {t.NZ});
  }
  if (t.NZ > NZSIZE) {
    say_fmt(LOG, zone_size, {t.NZ, NZSIZE});
    say_line(LOG, " *** Need to change Program Parameter (NZSIZE)");
    IERR = 9;
    return;
  }
  t.NCENT.fill(0);
  for (int32_t z = 1; z <= t.NZ; ++z) t.NCENT(z, CENT_CODE) = z;
}

}  // namespace

void read_link_list(LinkList& list, int16_t& flag, int LOG, int16_t& IERR) {
  static const Format too_many = Format::parse("(' *** Error *** ',A,' has more lines than',I6,' at line',I7)");
  list.count = 0;
  if (!file_exists(list.file)) {
    flag = 0;
    return;
  }
  flag = 1;
  const int unit = free_unit();
  if (!open_read(unit, list.file)) {
    say_heading(LOG, "GetNet");
    say(LOG, {" *** Error *** Can not open ", list.file});
    IERR = 9;
    return;
  }
  UnitGuard input(unit);
  const int capacity = list.rows.rows();
  for (;;) {
    int32_t from = 0, to = 0, number = 0;
    if (!read_free_or_fail(unit, {&from, &to, &number})) break;
    if (from <= 0) {
      if (list.count == 0) {
        say(LOG, {" *** Warning *** ", list.file, ", line", int32_t(unit_line(unit)),
                  ": the list ends at its first line (from-node 0 or below); no link is listed."});
        return;
      }
      break;
    }
    if (list.count >= capacity) {
      // Dropping the extra lines would leave links silently unmarked.
      say_heading(LOG, "GetNet");
      say_fmt(LOG, too_many, {list.file, capacity, int32_t(unit_line(unit))});
      say(LOG, {" *** Need to change Program Parameter (", list.limit, ")"});
      IERR = 9;
      break;
    }
    int32_t* r = list.rows.row(++list.count);
    field(r, LIST_FROM) = from;
    field(r, LIST_TO) = to;
    field(r, LIST_NUMBER) = number;
  }
  // The file asks for the list's result files, which would then not be written.
  if (list.count == 0 && IERR < 9) say(LOG, {" *** Warning *** ", list.file, " lists no link."});
  input.close();
}

// A from-node of 0 or below ends the links; records after it are not read, which
// is worth a word (a planner's 0 is more often a slip than an end mark).
void end_of_links(int unit, int32_t links, int LOG, int16_t& IERR) {
  const long at = unit_line(unit);
  std::string rest;
  while (read_line(unit, rest) && rest.find_first_not_of(" ,\t") == std::string::npos) {
  }
  if (links == 0) {
    say(LOG, {" *** Error *** ", NETWORK_FILE, ", line", int32_t(at), ": the links end at their first record",
              " (from-node 0 or below)."});
    IERR = 9;
  } else if (rest.find_first_not_of(" ,\t") != std::string::npos) {
    say(LOG, {" *** Warning *** ", NETWORK_FILE, ", line", int32_t(at), ": a from-node of 0 or below ends the links;",
              " the records after it are not read."});
  }
}

void read_network(const Settings& set, const LinkLists& lists, SharedTables& t, int LOG, int16_t& IERR) {
  static const Format wrong_record = Format::parse("('  * ERROR * Wrong Record at',I6,' in ',A40)");
  static const Format link_size = Format::parse("('  Link Table size',I6,' is over than',I6)");
  static const Format distance = Format::parse("(I6)");

  t.LINK.fill(0);
  t.LINKLINE.fill(0);
  t.LNKVT.fill(0);
  t.LNKPT.fill(0);
  t.NLROAD = t.NLVT = t.NLPT = 0;
  if (set.zone_mode != 0) t.NZ = 0;

  if (!file_exists(NETWORK_FILE)) {
    say(LOG, {" There is no network definition. ", NETWORK_FILE});
    say(LOG, {" *** Error *** Please set ", NETWORK_FILE});
    IERR = 9;
    return;
  }
  const int unit = free_unit();
  if (!open_read(unit, NETWORK_FILE)) {
    say(LOG, {" *** Error *** Can not open ", NETWORK_FILE});
    IERR = 9;
    return;
  }
  say(LOG, {" Read Network Data from ", NETWORK_FILE});

  int32_t i = 1;  // the next row; a rejected record uses up its row number
  for (;; ++i) {
    LinkRecord k;
    ReadResult r = read_free(unit, {&k.a, &k.b, &k.kind, &k.group, &k.qv, &k.tariff, &k.length_m});
    if (r.end()) break;
    if (r.bad()) {
      // The file's own line number: free reading skips empty lines, so the row
      // count would point at the wrong line.
      say_fmt(LOG, wrong_record, {int32_t(unit_line(unit)), NETWORK_FILE});
      say_record(LOG, unit);
      IERR = 9;
      continue;
    }
    if (k.a <= 0) {
      end_of_links(unit, i - 1, LOG, IERR);
      break;
    }
    if (!acceptable(k, unit, LOG, IERR)) continue;
    if (i > LRSIZE) {
      say_fmt(LOG, link_size, {i, LRSIZE});
      say_record(LOG, unit);
      say_line(LOG, " *** Need to change Program Parameter (LRSIZE)");
      IERR = 9;
      close_unit(unit);
      return;
    }
    store_link(t, i, k, set, lists);
    t.LINKLINE(i) = int32_t(unit_line(unit));
    say_if_too_wide(LOG, unit, distance, double(k.length_m), "the length", "the Distance (m) column (I6) of Traffic Assign files");
    if (set.zone_mode != 0 && k.a <= NZSIZE && k.a > t.NZ) t.NZ = k.a;
  }
  if (i == 1 && IERR < 9) {
    // Every stage would run on nothing.
    say(LOG, {" *** Error *** ", NETWORK_FILE, " holds no link."});
    IERR = 9;
  }
  close_unit(unit);
  t.NLROAD = i - 1;
  t.NLPT = t.NLROAD;
  t.NLVT = t.NLROAD;
  settle_zones(set, t, LOG, IERR);
}

}  // namespace routava
