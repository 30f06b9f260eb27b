// The record layer: column and free reading, column and free writing, units.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "run/recio.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

using test::Console;
using test::TempDir;

// ------------------------------------------------------------------ column writing

struct WriteCase {
  const char* format;
  std::vector<Out> values;
  const char* expected;
};

TEST(ColumnWriting, Descriptors) {
  const std::vector<WriteCase> cases = {
      {"(I5)", {int32_t(123456)}, "*****"},
      {"(I5)", {int32_t(-1234)}, "-1234"},
      {"(I5)", {int32_t(-12345)}, "*****"},
      {"(I2.2)", {int32_t(7)}, "07"},
      {"(I5.3)", {int32_t(-7)}, " -007"},
      {"(F6.2)", {2.346}, "  2.35"},
      {"(F6.2)", {-0.004}, " -0.00"},
      {"(F4.0)", {0.01f}, "  0."},
      {"(F2.0)", {0.0f}, "0."},
      {"(F3.2)", {0.5}, ".50"},
      {"(F5.1)", {9999.96}, "*****"},
      {"(A6)", {"ab"}, "    ab"},
      {"(A2)", {"abcdef"}, "ab"},
      {"(A)", {"as is"}, "as is"},
      {"(3X,I1)", {int32_t(4)}, "   4"},
      {"(I2,5X)", {int32_t(4)}, " 4"},  // trailing blanks are not written
      {"(I3,1H,,I3,1H,)", {int32_t(1), int32_t(22)}, "  1, 22,"},
      {"('Route,',I2,\",\")", {int32_t(5)}, "Route, 5,"},
      {"('it''s')", {}, "it's"},
      {"(2(I2,'|'),'end')", {int32_t(1), int32_t(2)}, " 1| 2|end"},
      {"(I2,',',I2,',')", {int32_t(1)}, " 1,"},  // stops at the first descriptor without a value
      {"(2X,55('-'))", {}, "  -------------------------------------------------------"},
      {"(\"RouteID,Seq   ,\", \"Node  ,\")", {}, "RouteID,Seq   ,Node  ,"},
      {"(I3,2(I2,1H,))", {int32_t(1), int32_t(2), int32_t(3), int32_t(4), int32_t(5), int32_t(6)},
       "  1 2, 3,\n 4, 5,\n 6,"},  // reversion to the last top-level group
      {"(I3,1H,)", {int32_t(1), int32_t(2)}, "  1,\n  2,"},  // reversion to the start
      {"(2(I5,1H,),I1,1H,,)", {int32_t(1), int32_t(2), int32_t(0)}, "    1,    2,0,"},
      {"(' F2.0,1H,,',F2.0,1H,)", {0.0f}, " F2.0,1H,,0.,"},
  };
  for (const WriteCase& c : cases) {
    std::string s;
    format_record(s, Format::parse(c.format), c.values.data(), c.values.size());
    EXPECT_EQ(s, c.expected) << "format " << c.format;
  }
}

TEST(ColumnWriting, RunTimeFormatFromPieces) {
  std::string f = "(4(I5,1H,),3(I3,1H,),";
  for (int t = 1; t <= 10; ++t) f += t <= 2 ? "I7,1H,," : "I1,1H,,";
  f += ")";
  Out v[17] = {int32_t(12), int32_t(1), int32_t(2), int32_t(340), int32_t(1), int32_t(2), int32_t(1),
               int32_t(15), int32_t(3), int32_t(0), int32_t(0), int32_t(0), int32_t(0), int32_t(0),
               int32_t(0), int32_t(0), int32_t(0)};
  std::string s;
  format_record(s, Format::parse(f), v, 17);
  EXPECT_EQ(s, "   12,    1,    2,  340,  1,  2,  1,     15,      3,0,0,0,0,0,0,0,0,");
}

// Iw as an independent reference: right-aligned digits, or w asterisks.
std::string plain_int(int64_t v, int w) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%" PRId64, v);
  std::string t = buf;
  return int(t.size()) > w ? std::string(size_t(w), '*') : std::string(size_t(w) - t.size(), ' ') + t;
}

TEST(ColumnWriting, ColumnsThatRepeatTheirValueWriteAsFresh) {
  // Records as a path walk writes them: most columns keep their value from one
  // record to the next, some change, some overflow, some are negative. A unit
  // remembers the fields it wrote last; a second format with other widths in
  // the same places, written between the records, must not be mistaken for it.
  TempDir dir;
  const Format f = Format::parse("(I5,1H,,I3,1H,,I1,1H,,2X,I7,1H,,I2,1H,)");
  const Format other = Format::parse("(I3,1H,,I5,1H,)");
  const int widths[5] = {5, 3, 1, 7, 2};
  int u = free_unit();
  ASSERT_TRUE(open_write(u, "walk.csv"));
  std::string file;
  std::mt19937_64 rng(17);
  Out v[5];
  int64_t held[5] = {};
  for (int rec = 0; rec < 20000; ++rec) {
    for (int k = 0; k < 5; ++k) {
      if (rng() % 4 == 0) {
        const int64_t span = int64_t(rng() % 3 == 0 ? 1000000000 : 150);
        held[k] = int64_t(rng() % uint64_t(2 * span)) - span / 3;
      }
      v[k] = held[k];
    }
    std::string expected;
    for (int k = 0; k < 5; ++k) expected += (k == 3 ? "  " : "") + plain_int(held[k], widths[k]) + ",";
    std::string got;
    format_record(got, f, v, 5);
    ASSERT_EQ(got, expected) << "record " << rec;
    // A record cut short by its values ends before the first field without one.
    std::string shorter;
    format_record(shorter, f, v, 3);
    ASSERT_EQ(shorter, expected.substr(0, 5 + 1 + 3 + 1 + 1 + 1)) << "record " << rec;
    write_fmt(u, f, v, 5);
    file += expected + "\n";
    if (rec % 7 == 0) {
      write_fmt(u, other, v, 2);
      file += plain_int(held[0], 3) + "," + plain_int(held[1], 5) + ",\n";
    }
  }
  close_unit(u);
  EXPECT_TRUE(test::read_file("walk.csv") == file);
}

// A format does not change when written with, so threads may share one, each
// writing its own unit.
TEST(ColumnWriting, ThreadsShareAFormatEachWritingItsUnit) {
  TempDir dir;
  static const Format f = Format::parse("(4(I5,1H,),3(I3,1H,),I7,1H,,I1,1H,)");
  constexpr int kThreads = 4;
  int units[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    units[t] = free_unit();
    ASSERT_TRUE(open_write(units[t], "out" + std::to_string(t) + ".csv"));
  }
  std::string expected[kThreads];
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &units, &expected] {
      std::mt19937 rng(uint32_t(100 + t));
      Out v[9];
      for (Out& x : v) x = int32_t(0);
      for (int rec = 0; rec < 100000; ++rec) {
        // values that repeat along a run of records, as along a path, and differ by thread
        const int k = int(rng() % 9);
        v[k] = int32_t(rng() % (k == 8 ? 10 : 1000)) * (t + 1);
        format_record(expected[t], f, v, 9);
        expected[t] += '\n';
        write_fmt(units[t], f, v, 9);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    close_unit(units[t]);
    EXPECT_TRUE(test::read_file("out" + std::to_string(t) + ".csv") == expected[t]) << "thread " << t;
  }
}

// Lists too long to unroll are written item by item; they must lay out as the
// unrolled ones do: groups, blanks only before something written, reversion.
TEST(ColumnWriting, ListsTooLongToUnrollWriteAlike) {
  auto digits = [](size_t from, size_t n, const char* sep) {
    std::string s;
    for (size_t k = from; k < from + n; ++k) s += char('0' + k % 10) + std::string(sep);
    return s;
  };
  struct Case {
    std::string format;
    size_t values;
    std::string expected;
  };
  const std::vector<Case> cases = {
      // 4201 fields, then reversion to the group on a new line
      {"(I1,2100(I1,I1))", 4204, digits(0, 4201, "") + "\n" + digits(4201, 3, "")},
      // the blank after the last value is not written
      {"(2X,3000(I1,1X),'end')", 5, "  " + digits(0, 4, " ") + digits(4, 1, "")},
      {"(2X,3000(I1,1X),'end')", 3000, "  " + digits(0, 3000, " ") + "end"},
      {"(2X,3000(I1,1X))", 3001, "  " + digits(0, 2999, " ") + digits(2999, 1, "") + "\n" + digits(3000, 1, "")},
      // a slash inside a group starts a new line each time round
      {"(2100(I1,/),I2)", 4, "0\n1\n2\n3\n"},
  };
  for (const Case& c : cases) {
    const Format f = Format::parse(c.format);
    ASSERT_TRUE(f.flat().empty()) << c.format << " was unrolled";
    std::vector<Out> v;
    for (size_t k = 0; k < c.values; ++k) v.emplace_back(int32_t(k % 10));
    std::string got;
    format_record(got, f, v.data(), v.size());
    EXPECT_EQ(got, c.expected) << c.format;
  }
}

TEST(ColumnWriting, FileOutputIsTheRecordsInOrderAcrossItsBuffer) {
  TempDir dir;
  const Format path = Format::parse("(4(I5,1H,),3(I3,1H,),I7,1H,,I1,1H,)");
  const Format named = Format::parse("(I4,1X,A,1H,,F6.2)");    // a text of any length
  const Format pairs = Format::parse("(I3,2(I2,1H,))");         // reversion onto new lines
  const Format prompt = Format::parse("('Which (1) = ',$)");   // no line end
  int u = free_unit();
  ASSERT_TRUE(open_write(u, "out.csv"));
  std::string expected;
  std::mt19937 rng(3);
  for (int rec = 0; rec < 40000; ++rec) {
    std::string line;
    switch (rec % 4) {
      case 0: {
        Out v[9];
        for (int k = 0; k < 9; ++k) v[k] = int32_t(rng() % 200000) - 1000;
        format_record(line, path, v, 9);
        write_fmt(u, path, v, 9);
        line += '\n';
        break;
      }
      case 1: {
        const std::string text(rng() % 90, char('a' + rec % 26));
        Out v[3] = {int32_t(rec % 10000), std::string_view(text), float(rng() % 100000) / 7.0f};
        format_record(line, named, v, 3);
        write_fmt(u, named, v, 3);
        line += '\n';
        break;
      }
      case 2: {
        Out v[8];
        for (int k = 0; k < 8; ++k) v[k] = int32_t(rng() % 120);
        const size_t n = 1 + rng() % 8;
        format_record(line, pairs, v, n);
        write_fmt(u, pairs, v, n);
        line += '\n';
        break;
      }
      default:
        format_record(line, prompt, nullptr, 0);
        write_fmt(u, prompt, nullptr, 0);
        write_line(u, "2");
        line += "2\n";
        break;
    }
    expected += line;
  }
  close_unit(u);
  ASSERT_GT(expected.size(), size_t(1) << 20);  // many times the 64 KiB output buffer
  EXPECT_TRUE(test::read_file("out.csv") == expected);
}

TEST(ColumnWriting, NoAdvanceLeavesThePromptOpen) {
  TempDir dir;
  Console con("3\n");
  write_fmt(SCREEN, Format::parse("('  Which = ',$)"), {});
  int32_t answer = 0;
  ASSERT_TRUE(read_answer(answer));
  EXPECT_EQ(answer, 3);
  // A transcript shows the answer after the prompt, on the same line.
  EXPECT_EQ(con.text(), "  Which = 3\n");
}

TEST(ColumnWriting, MalformedFormatIsAProgramFault) {
  EXPECT_THROW(Format::parse("(I5,"), std::invalid_argument);
  EXPECT_THROW(Format::parse("(Q5)"), std::invalid_argument);
  EXPECT_THROW(Format::parse("(F6)"), std::invalid_argument);
  EXPECT_THROW(Format::parse("(I2,0(I3))"), std::invalid_argument);
  std::string deep = "I1";
  for (int k = 0; k < 16; ++k) deep = "(" + deep + ")";
  EXPECT_NO_THROW(Format::parse("(" + deep + ")"));
  EXPECT_THROW(Format::parse("((" + deep + "))"), std::invalid_argument);
}

// ------------------------------------------------------------------ free writing

TEST(FreeWriting, LeadingBlankAndSeparators) {
  auto free = [](std::initializer_list<Out> v) {
    std::string s;
    format_free(s, v);
    return s;
  };
  EXPECT_EQ(free({" Number of Road Links =", int32_t(76)}), " Number of Road Links = 76");
  EXPECT_EQ(free({"STAGE", int32_t(3)}), " STAGE 3");
  EXPECT_EQ(free({int32_t(1), int32_t(-2), int32_t(3)}), " 1 -2 3");
  EXPECT_EQ(free({" speed", 30.0f}), " speed 30.0");
  EXPECT_EQ(free({" x =", 2.5}), " x = 2.5");
}

// ------------------------------------------------------------------ column reading

TEST(ColumnReading, BlankAndShortFields) {
  const Format i3 = Format::parse("(I3)");
  struct C {
    const char* line;
    int32_t expected;
  };
  for (C c : {C{"  7", 7}, C{"   ", 0}, C{"12", 12}, C{"", 0}, C{"1 2", 12}, C{" 1 2", 1}, C{"-5 ", -5}}) {
    int32_t v = 99;
    ASSERT_TRUE(read_cols_text(c.line, i3, {&v})) << c.line;
    EXPECT_EQ(v, c.expected) << "\"" << c.line << "\"";
  }
}

TEST(ColumnReading, ImpliedDecimals) {
  const Format f42 = Format::parse("(F4.2)");
  const Format f30 = Format::parse("(F3.0)");
  struct C {
    const Format* f;
    const char* line;
    float expected;
  };
  for (C c : {C{&f42, "1234", 12.34f}, C{&f42, "12.5", 12.5f}, C{&f42, "   5", 0.05f},
              C{&f30, "  1", 1.0f}, C{&f30, "0.5", 0.5f}, C{&f30, "   ", 0.0f}, C{&f42, "1E1 ", 0.1f}}) {
    float v = -1;
    ASSERT_TRUE(read_cols_text(c.line, *c.f, {&v})) << c.line;
    EXPECT_FLOAT_EQ(v, c.expected) << c.line;
  }
}

TEST(ColumnReading, RepeatsGroupsSkipsAndText) {
  int16_t stage = 0, kind = 0, hold = 0;
  std::string name;
  ReadResult r = read_cols_text("1221 xxxxHello world", Format::parse("(I2,2I1,1X,4X,A5)"),
                                {&stage, &kind, &hold, In(&name, 8)});
  ASSERT_TRUE(r);
  EXPECT_EQ(stage, 12);
  EXPECT_EQ(kind, 2);
  EXPECT_EQ(hold, 1);
  EXPECT_EQ(name, "Hello   ");  // a shorter field is padded to the variable's length
  std::string tail;
  ASSERT_TRUE(read_cols_text("abcdefgh", Format::parse("(A8)"), {In(&tail, 3)}));
  EXPECT_EQ(tail, "fgh");  // a longer field keeps its rightmost characters
  int16_t a[4] = {};
  ASSERT_TRUE(read_cols_text(" 1 2 3 4", Format::parse("(2(I2,I2))"), {&a[0], &a[1], &a[2], &a[3]}));
  EXPECT_EQ(a[3], 4);
}

// More variables than the list: the reading goes on in the next records from the
// last top-level group; a slash takes the next record; running out of records is the end.
TEST(ColumnReading, ReversionAndSlashTakeFurtherRecords) {
  struct Case {
    const char* format;
    const char* text;
    int nvars;
    ReadStatus status;
    std::vector<int32_t> expected;  // the variables, 0 where not read
    long lines;                     // records consumed
  };
  const std::vector<Case> cases = {
      {"(I2,2(I1))", "1234\n5678\n9\n", 7, ReadStatus::OK, {12, 3, 4, 5, 6, 9, 0}, 3},
      {"(I2,2(I1))", "1234\n5678\n", 7, ReadStatus::END, {12, 3, 4, 5, 6, 0, 0}, 2},
      {"(I2,I1)", "123\n456\n", 4, ReadStatus::OK, {12, 3, 45, 6}, 2},
      {"(I1,/,I1)", "12\n34\n", 2, ReadStatus::OK, {1, 3, 0, 0}, 2},
      {"(I1,/)", "12\n34\n", 1, ReadStatus::OK, {1, 0, 0, 0}, 1},  // nothing read past the last variable
      {"(I1,/,I1)", "12\n", 2, ReadStatus::END, {1, 0, 0, 0}, 1},
      {"(2X)", "12\n34\n", 2, ReadStatus::OK, {0, 0, 0, 0}, 1},  // no data descriptor: one record
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " on " + c.text);
    TempDir dir;
    test::write_file("in.txt", c.text);
    int u = free_unit();
    ASSERT_TRUE(open_read(u, "in.txt"));
    std::vector<int32_t> v(c.expected.size(), 0);
    std::vector<In> vars;
    for (int k = 0; k < c.nvars; ++k) vars.emplace_back(&v[size_t(k)]);
    ReadResult r;
    if (c.nvars == 1) r = read_cols(u, c.format, {vars[0]});
    else if (c.nvars == 2) r = read_cols(u, c.format, {vars[0], vars[1]});
    else if (c.nvars == 4) r = read_cols(u, c.format, {vars[0], vars[1], vars[2], vars[3]});
    else r = read_cols(u, c.format, {vars[0], vars[1], vars[2], vars[3], vars[4], vars[5], vars[6]});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(v, c.expected);
    EXPECT_EQ(unit_line(u), c.lines);
    close_unit(u);
  }
}

TEST(ColumnReading, LettersInANumberAreBad) {
  int32_t v = 0;
  ReadResult r = read_cols_text(" 1a", Format::parse("(I3)"), {&v});
  EXPECT_TRUE(r.bad());
  EXPECT_EQ(r.bad_text, " 1a");
  float f = 0;
  EXPECT_TRUE(read_cols_text("1.2.3", Format::parse("(F5.0)"), {&f}).bad());
  // An F field into an integer takes the whole part, when the integer holds it.
  const Format f50 = Format::parse("(F5.1)");
  int16_t s = 0;
  int64_t l = 0;
  ASSERT_TRUE(read_cols_text("  125", f50, {&s}));
  EXPECT_EQ(s, 12);
  ASSERT_TRUE(read_cols_text("-99.9", f50, {&l}));
  EXPECT_EQ(l, -99);
  EXPECT_TRUE(read_cols_text("4.E04", f50, {&s}).bad());
  EXPECT_TRUE(read_cols_text("1E300", f50, {&l}).bad());
  EXPECT_TRUE(read_cols_text("1E999", f50, {&v}).bad());
}

// ------------------------------------------------------------------ free reading

TEST(FreeReading, SeparatorsNullsAndSlash) {
  int32_t a = 9, b = 9, c = 9;
  ASSERT_TRUE(read_free_text("1,,3", {&a, &b, &c}));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 9);
  EXPECT_EQ(c, 3);
  a = b = c = 9;
  ASSERT_TRUE(read_free_text(" 4 ,\t5   6 extra", {&a, &b, &c}));
  EXPECT_EQ(c, 6);
  a = b = c = 9;
  ASSERT_TRUE(read_free_text(",7", {&a, &b}));  // a leading comma is a null
  EXPECT_EQ(a, 9);
  EXPECT_EQ(b, 7);
  a = b = c = 9;
  ASSERT_TRUE(read_free_text("1 / 2 3", {&a, &b, &c}));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 9);
  EXPECT_EQ(c, 9);
}

TEST(FreeReading, RepeatCounts) {
  int32_t v[5] = {9, 9, 9, 9, 9};
  ASSERT_TRUE(read_free_text("3*7,2*", {&v[0], &v[1], &v[2], &v[3], &v[4]}));
  EXPECT_EQ(v[2], 7);
  EXPECT_EQ(v[3], 9);
  EXPECT_EQ(v[4], 9);
  float x[2] = {0, 0};
  ASSERT_TRUE(read_free_text("2*1.5", {&x[0], &x[1]}));
  EXPECT_FLOAT_EQ(x[1], 1.5f);
}

TEST(FreeReading, TextPlainAndQuoted) {
  int32_t id = 0;
  std::string a, b;
  ASSERT_TRUE(read_free_text("1,'My file, v2.csv' plain.txt", {&id, In(&a, 0), In(&b, 0)}));
  EXPECT_EQ(a, "My file, v2.csv");
  EXPECT_EQ(b, "plain.txt");
  ASSERT_TRUE(read_free_text("\"it\"\"s\"", {In(&a, 6)}));
  EXPECT_EQ(a, "it\"s  ");
}

TEST(FreeReading, StrictIntegersAndRealForms) {
  int32_t i = 0;
  EXPECT_TRUE(read_free_text("1.0", {&i}).bad());
  EXPECT_TRUE(read_free_text("1e3", {&i}).bad());
  EXPECT_TRUE(read_free_text("12abc", {&i}).bad());
  EXPECT_TRUE(read_free_text("99999999999", {&i}).bad());
  int16_t s = 0;
  EXPECT_TRUE(read_free_text("40000", {&s}).bad());
  float f = 0;
  for (auto [text, value] : std::vector<std::pair<const char*, float>>{
           {"3", 3.0f}, {"-2.5", -2.5f}, {".5", 0.5f}, {"5.", 5.0f}, {"1.5E2", 150.0f}, {"2d-1", 0.2f}}) {
    ASSERT_TRUE(read_free_text(text, {&f})) << text;
    EXPECT_FLOAT_EQ(f, value) << text;
  }
  EXPECT_TRUE(read_free_text("1.2.3", {&f}).bad());
  EXPECT_TRUE(read_free_text("nan", {&f}).bad());
}

TEST(FreeReading, DecimalsAreReadAsStrtodReadsThem) {
  // Plain decimals of every length, point position and sign, with the ties and
  // near-ties that a careless conversion rounds the wrong way.
  std::mt19937_64 rng(29);
  for (int i = 0; i < 200000; ++i) {
    std::string t;
    if (rng() % 3 == 0) t += rng() % 2 ? '-' : '+';
    const int digits = 1 + int(rng() % 22);
    const int point = int(rng() % (digits + 2)) - 1;  // -1: no point
    for (int k = 0; k < digits; ++k) {
      if (k == point) t += '.';
      t += char('0' + (k == 0 && rng() % 2 ? 0 : rng() % 10));
    }
    if (point == digits) t += '.';
    std::string with_exponent = t;
    with_exponent += "e0";
    const double want = std::strtod(with_exponent.c_str(), nullptr);
    double d = 1.0;
    float f = 1.0f;
    ASSERT_TRUE(read_free_text(t, {&d})) << t;
    ASSERT_TRUE(read_free_text(t, {&f})) << t;
    const float want_f = float(want);
    ASSERT_EQ(std::memcmp(&d, &want, sizeof d), 0) << t << ": " << d << " against " << want;
    ASSERT_EQ(std::memcmp(&f, &want_f, sizeof f), 0) << t;
  }
}

TEST(FreeReading, OneValueStoresWhatTheListReadingStores) {
  // Plain values, every form that converts or fails, and tokens the list reading
  // treats specially: the same outcome and the same bits in every kind of variable.
  for (const char* token : {"3", "-2.5", ".5", "5.", "+7", "-0", "0012", "1.5E2", "2d-1", "1e400", "1e-50", "1.2.3",
                            "nan", "+", "-", ".", "12abc", "40000", "-32768", "2147483648", "99999999999",
                            "2*5", "3*", "'7'", "\"8\"", "4/", "7,", " 9", "*", ""}) {
    auto same = [&](auto sentinel) {
      auto by_list = sentinel, by_value = sentinel;
      const bool list_ok = bool(read_free_text(token, {&by_list}));
      EXPECT_EQ(read_free_value(token, &by_value), list_ok) << "'" << token << "'";
      EXPECT_EQ(std::memcmp(&by_list, &by_value, sizeof by_list), 0) << "'" << token << "'";
    };
    same(int16_t(-5));
    same(int32_t(-5));
    same(int64_t(-5));
    same(-5.0f);
    same(-5.0);
  }
}

TEST(FreeReading, ContinuationEndOfFileCrlfAndByteOrderMark) {
  TempDir dir;
  test::write_file("in.txt", "\xEF\xBB\xBF" "1,2\r\n\r\n3\r\n4 5 6 7\r\n8");
  int u = free_unit();
  ASSERT_TRUE(open_read(u, "in.txt"));
  int32_t a = 0, b = 0, c = 0;
  ASSERT_TRUE(read_free(u, {&a, &b, &c}));  // the third value comes from a later line
  EXPECT_EQ(a, 1);
  EXPECT_EQ(c, 3);
  EXPECT_EQ(unit_line(u), 3);
  ASSERT_TRUE(read_free(u, {&a, &b}));  // the rest of "4 5 6 7" is discarded
  EXPECT_EQ(b, 5);
  ASSERT_TRUE(read_free(u, {&a}));  // a last line without line end is read
  EXPECT_EQ(a, 8);
  EXPECT_TRUE(read_free(u, {&a}).end());
  close_unit(u);
}

// A last record the file ends inside is not read; it is kept to be said with its line.
TEST(FreeReading, RecordCutShortAtTheEndIsSaid) {
  TempDir dir;
  {
    Console drain;  // what earlier tests of this process left
    say_cut_records(0);
  }
  Console con;
  test::write_file("OD.csv", "1,2,3\n4,5");
  int u = free_unit();
  ASSERT_TRUE(open_read(u, "OD.csv"));
  int32_t a = 0, b = 0, c = 0;
  ASSERT_TRUE(read_free(u, {&a, &b, &c}));
  ReadResult r = read_free(u, {&a, &b, &c});
  EXPECT_TRUE(r.end());
  EXPECT_TRUE(r.cut_short);
  close_unit(u);
  EXPECT_EQ(say_cut_records(0), 1);
  EXPECT_EQ(say_cut_records(0), 0);
  EXPECT_EQ(con.text(), " *** Warning *** OD.csv, line 2: the last record has too few values at the end of the file"
                        " and is not read.\n");
}

TEST(FreeReading, FatalErrorNamesFileLineAndText) {
  TempDir dir;
  test::write_file("Data.csv", "1,2\n3,x4\n");
  int u = free_unit();
  ASSERT_TRUE(open_read(u, "Data.csv"));
  int32_t a, b;
  EXPECT_TRUE(read_free_or_fail(u, {&a, &b}));
  try {
    read_free_or_fail(u, {&a, &b});
    FAIL() << "no error";
  } catch (const FatalReadError& e) {
    std::string m = e.what();
    EXPECT_NE(m.find("Data.csv"), std::string::npos) << m;
    EXPECT_NE(m.find("line 2"), std::string::npos) << m;
    EXPECT_NE(m.find("x4"), std::string::npos) << m;
  }
  close_unit(u);
}

TEST(FreeReading, KeyboardWaitsThroughEmptyLinesAndReportsBadAndEnd) {
  Console con("\n   \n12\nabc\n");
  int32_t v = 0;
  ASSERT_TRUE(read_answer(v));
  EXPECT_EQ(v, 12);
  ReadResult r = read_answer(v);
  EXPECT_TRUE(r.bad());
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(read_answer(v).end());

  // Answers saved by an editor that marks UTF-8: the mark is not part of the first answer.
  Console marked("\xEF\xBB\xBF" "3\r\n4\n");
  ASSERT_TRUE(read_answer(v));
  EXPECT_EQ(v, 3);
  ASSERT_TRUE(read_answer(v));
  EXPECT_EQ(v, 4);
}

// ------------------------------------------------------------------ units and files

TEST(Units, NamesMatchWithoutRegardToCase) {
  TempDir dir;
  test::write_file("ASSIGN.TXT", " 1\n");
  EXPECT_TRUE(file_exists("Assign.txt"));
  EXPECT_EQ(disk_name("assign.txt"), "ASSIGN.TXT");
  int u = free_unit();
  ASSERT_TRUE(open_read(u, "Assign.txt"));
  std::string line;
  EXPECT_TRUE(read_line(u, line));
  EXPECT_EQ(line, " 1");
  close_unit(u);

  // Writing over a file that exists in another case replaces it: one file remains.
  test::write_file("LOG.TXT", "old\n");
  ASSERT_TRUE(open_write(u, "Log.txt"));
  write_line(u, "new");
  close_unit(u);
  int logs = 0;
  for (const auto& e : std::filesystem::directory_iterator(".")) {
    std::string n = e.path().filename().string();
    if (n == "Log.txt" || n == "LOG.TXT") ++logs;
  }
  EXPECT_EQ(logs, 1);
  EXPECT_EQ(test::read_file("Log.txt"), "new\n");
  EXPECT_FALSE(file_exists("missing.csv"));
  EXPECT_FALSE(open_read(u, "missing.csv"));
}

TEST(Units, LowestFreeUnitAndDeleteOnClose) {
  TempDir dir;
  int a = free_unit();
  EXPECT_EQ(a, 10);
  ASSERT_TRUE(open_write(a, "a.csv"));
  int b = free_unit();
  EXPECT_EQ(b, 11);
  ASSERT_TRUE(open_write(b, "b.csv"));
  close_unit(a, true);
  EXPECT_FALSE(file_exists("a.csv"));
  EXPECT_EQ(free_unit(), 10);
  close_unit(b);
  EXPECT_TRUE(file_exists("b.csv"));
}

// A result takes its name only when complete: a run that fails or is killed
// leaves the earlier file, never a half-written one.
TEST(Units, OutputsTakeTheirNameOnlyWhenComplete) {
  TempDir dir;
  Console con;
  test::write_file("Result.csv", "old\n");
  int u = free_unit();
  ASSERT_TRUE(open_write(u, "Result.csv"));
  write_line(u, "new");
  flush_unit(u);
  EXPECT_EQ(test::read_file("Result.csv"), "old\n");
  close_all_units();  // the routine writing it did not finish
  EXPECT_EQ(test::read_file("Result.csv"), "old\n");
  EXPECT_FALSE(std::filesystem::exists("Result.csv.part"));

  ASSERT_TRUE(open_write(u, "Result.csv"));
  write_line(u, "new");
  EXPECT_TRUE(close_unit(u));
  EXPECT_EQ(test::read_file("Result.csv"), "new\n");
  EXPECT_FALSE(std::filesystem::exists("Result.csv.part"));

  // Delete on close: nothing of the name stays, neither the new nor the earlier file.
  ASSERT_TRUE(open_write(u, "Result.csv"));
  EXPECT_TRUE(close_unit(u, true));
  EXPECT_FALSE(file_exists("Result.csv"));
  EXPECT_FALSE(std::filesystem::exists("Result.csv.part"));

  // A full disk: the failure is kept and said once, naming the file.
  std::filesystem::create_symlink("/dev/full", "Full.csv");
  ASSERT_TRUE(open_write(u, "Full.csv"));
  write_line(u, "lost");
  EXPECT_FALSE(close_unit(u));
  EXPECT_EQ(say_write_failures(0), 1);
  EXPECT_EQ(say_write_failures(0), 0);
  EXPECT_NE(con.text().find(" *** Error *** Writing Full.csv failed"), std::string::npos) << con.text();
  EXPECT_TRUE(std::filesystem::is_symlink("Full.csv"));
  EXPECT_FALSE(open_write(u, "."));  // a directory is not an output
}

TEST(Units, BinaryRecordsRoundTrip) {
  TempDir dir;
  int u = free_unit();
  ASSERT_TRUE(open_write_binary(u, "~Temp01"));
  int32_t rec[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -12};
  write_binary(u, rec, 12);
  rec[0] = 7;
  write_binary(u, rec, 12);
  close_unit(u);
  ASSERT_TRUE(open_read_binary(u, "~temp01"));
  int32_t back[12] = {};
  ASSERT_TRUE(read_binary(u, back, 12));
  EXPECT_EQ(back[11], -12);
  ASSERT_TRUE(read_binary(u, back, 12));
  EXPECT_EQ(back[0], 7);
  EXPECT_FALSE(read_binary(u, back, 12));
  close_unit(u);
}

TEST(Units, MessagesGoToScreenThenLog) {
  TempDir dir;
  Console con;
  int log = 60;
  ASSERT_TRUE(open_write(log, "Log.txt"));
  say(log, {" Number of Zones      =", int32_t(24)});
  say_fmt(log, "('  Road Link Table (',I6,') is sorting.')", {int32_t(126)});
  say(0, {" screen only"});
  close_unit(log);
  EXPECT_EQ(con.text(), " Number of Zones      = 24\n  Road Link Table (   126) is sorting.\n screen only\n");
  EXPECT_EQ(test::read_file("Log.txt"), " Number of Zones      = 24\n  Road Link Table (   126) is sorting.\n");
}

}  // namespace
}  // namespace routava
