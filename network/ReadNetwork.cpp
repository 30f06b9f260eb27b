#include "network/ReadNetwork.hpp"

#include "run/recio.hpp"

namespace routava {

namespace {

constexpr std::string_view NETWORK_FILE = "Network.csv";

// The list number of the first entry for the link a -> b, or 0.
int32_t list_number(const LinkList& list, int32_t a, int32_t b) {
  if (list.count <= 0) return 0;
  const int32_t* r = list.rows.row(1);
  for (int32_t k = 0; k < list.count; ++k, r += 3) {
    if (r[0] == a && r[1] == b) return r[2];
  }
  return 0;
}

void log_fmt(int LOG, const Format& f, std::initializer_list<Out> values) {
  if (LOG > 0) write_fmt(LOG, f, values);
}

}  // namespace

void read_link_list(std::string_view name, std::string_view limit_name, LinkList& list,
                    int16_t& flag, int LOG, int16_t& IERR) {
  static const Format too_many = Format::parse("(' *** Error *** ',A,' has more lines than',I6,' at line',I7)");
  list.count = 0;
  if (!file_exists(name)) {
    flag = 0;
    return;
  }
  flag = 1;
  const int unit = free_unit();
  if (!open_read(unit, name)) {
    say_line(LOG, " === SUBROUTINE GetNet =======");
    say(LOG, {" *** Error *** Can not open ", name});
    IERR = 9;
    return;
  }
  const int capacity = list.rows.rows();
  try {
    for (;;) {
      int32_t from = 0, to = 0, number = 0;
      if (!read_free_or_fail(unit, {&from, &to, &number})) break;
      if (from <= 0) break;
      if (list.count >= capacity) {
        // Dropping the extra lines would leave links silently unmarked.
        say_line(LOG, " === SUBROUTINE GetNet =======");
        say_fmt(LOG, too_many, {name, capacity, int32_t(unit_line(unit))});
        say(LOG, {" *** Need to change Program Parameter (", limit_name, ")"});
        IERR = 9;
        break;
      }
      ++list.count;
      list.rows(list.count, 1) = from;
      list.rows(list.count, 2) = to;
      list.rows(list.count, 3) = number;
    }
  } catch (...) {
    close_unit(unit);
    throw;
  }
  close_unit(unit);
}

void read_network(const Settings& set, const LinkList& screens, const LinkList& ramps,
                  int16_t& IERR, int LOG, int32_t& NZ, int32_t& NLROAD, int32_t& NLPT,
                  int32_t& NLVT, CentTable& NCENT, LinkTable& LINK, NetTable& LNKPT,
                  NetTable& LNKVT) {
  static const Format wrong_record = Format::parse("('  * ERROR * Wrong Record at',I6,' in ',A40)");
  static const Format node_too_large =
      Format::parse("('  * ERROR * Node Code',I11,' is over 99999 at',I6,' in ',A40)");
  static const Format negative_length =
      Format::parse("('  * ERROR * Link Length',I11,' is negative at',I6,' in ',A40)");
  static const Format link_size = Format::parse("('  Link Table size',I6,' is over than',I6)");
  static const Format zone_count = Format::parse("('  Number of Zones & Centroids = ',I4)");
  static const Format zone_size = Format::parse("('  Zone size',I5,' is over than',I4)");

  LINK.fill(0);
  LNKVT.fill(0);
  LNKPT.fill(0);
  NLROAD = 0;
  NLVT = 0;
  NLPT = 0;
  const bool automatic = set.zone_mode != 0;
  if (automatic) NZ = 0;

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

  int32_t i = 1;
  for (;;) {
    int32_t a = 0, b = 0, kind = 0, group = 0, qv = 0, tariff = 0, length_m = 0;
    ReadResult r = read_free(unit, {&a, &b, &kind, &group, &qv, &tariff, &length_m});
    if (r.end()) break;
    if (r.bad()) {
      // The file's own line number: free reading skips empty lines, so the row
      // count would point at the wrong line.
      say_fmt(LOG, wrong_record, {int32_t(unit_line(unit)), NETWORK_FILE});
      IERR = 9;
      ++i;
      continue;
    }
    if (a <= 0) break;
    if (a >= ROUTE_BASE || b >= ROUTE_BASE) {
      // Such a code would be taken for a node on a transit route.
      say_fmt(LOG, node_too_large,
              {a >= ROUTE_BASE ? a : b, int32_t(unit_line(unit)), NETWORK_FILE});
      IERR = 9;
      ++i;
      continue;
    }
    if (length_m < 0) {
      // It would give negative times and distances, and draw every path onto it.
      say_fmt(LOG, negative_length, {length_m, int32_t(unit_line(unit)), NETWORK_FILE});
      IERR = 9;
      ++i;
      continue;
    }
    if (i > LRSIZE) {
      say_fmt(LOG, link_size, {i, LRSIZE});
      say_line(LOG, " *** Need to change Program Parameter (LRSIZE)");
      IERR = 9;
      close_unit(unit);
      return;
    }
    int32_t* row = LINK.row(i);
    row[0] = a;
    row[1] = b;
    row[2] = kind;
    row[3] = group;
    row[4] = qv;
    row[5] = tariff;
    row[6] = length_m;
    if (automatic && a <= NZSIZE && a > NZ) NZ = a;
    if (set.KSCRN > 0) row[9] = list_number(screens, a, b);
    if (set.KRAMP > 0) row[10] = list_number(ramps, a, b);

    int64_t* vt = LNKVT.row(i);
    int64_t* pt = LNKPT.row(i);
    vt[0] = pt[0] = i;
    vt[1] = pt[1] = a;
    vt[2] = pt[2] = b;
    if (set.FOOTSP > 0) {
      // Walking time in hundredths of a minute; types 7 and 8 are penalised a hundredfold.
      const int64_t factor = kind < 7 ? 6 : 600;
      pt[3] = int64_t(length_m) * factor / set.FOOTSP;
    }
    if (kind >= 9) vt[6] = pt[6] = 99;
    ++i;
  }
  close_unit(unit);
  NLROAD = i - 1;
  NLPT = NLROAD;
  NLVT = NLROAD;

  if (automatic) {
    say_fmt(LOG, zone_count, {NZ});
  } else {
    log_fmt(LOG, zone_count, {NZ});
  }
  if (NZ > NZSIZE) {
    say_fmt(LOG, zone_size, {NZ, NZSIZE});
    say_line(LOG, " *** Need to change Program Parameter (NZSIZE)");
    IERR = 9;
  } else {
    NCENT.fill(0);
    for (int32_t z = 1; z <= NZ; ++z) NCENT(z, 1) = z;
  }
}

}  // namespace routava
