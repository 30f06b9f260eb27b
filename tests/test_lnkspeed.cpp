// Link speeds from volumes through the speed-flow curves.
#include <gtest/gtest.h>

#include <vector>

#include "run/routines.hpp"

using namespace routava;

namespace {

struct Curve {
  float v1, v2, v3, q1, q2;
};

void set_curve(RealTable& qv, int type, Curve c) {
  qv(type, 1) = c.v1;
  qv(type, 2) = c.v2;
  qv(type, 3) = c.v3;
  qv(type, 4) = c.q1;
  qv(type, 5) = c.q2;
}

// One link of character `c`, QV type `q`, volume `vol` and starting speed `speed`.
int32_t speed_after(const RealTable& qv, int32_t c, int32_t q, int32_t vol, int32_t speed = 77) {
  LinkTable link(3, 11);
  link(1, 3) = c;
  link(1, 5) = q;
  link(1, 9) = vol;
  link(1, 8) = speed;
  LNKSPEED(1, link, qv);
  return link(1, 8);
}

}  // namespace

TEST(LnkSpeed, PiecewiseCurve) {
  RealTable qv(99, 5);
  set_curve(qv, 4, {60, 40, 20, 1000, 2000});
  struct Case {
    int32_t volume;
    int32_t speed;
  };
  // The curve's own breakpoints: a volume equal to Q1 takes the first segment, Q2 the second.
  for (Case c : std::vector<Case>{{0, 60},
                                  {500, 50},
                                  {1000, 40},
                                  {1500, 30},
                                  {2000, 20},
                                  {5000, 20},
                                  {1, 60},
                                  {25, 60},
                                  {26, 59}})
    EXPECT_EQ(speed_after(qv, 1, 4, c.volume), c.speed) << "volume " << c.volume;
}

TEST(LnkSpeed, CharacterAndTypeRules) {
  RealTable qv(99, 5);
  set_curve(qv, 4, {60, 40, 20, 1000, 2000});
  struct Case {
    const char* name;
    int32_t character, type, volume, start, speed;
  };
  const std::vector<Case> cases = {
      {"character 0 keeps V1", 0, 4, 5000, 77, 60},
      {"negative character keeps V1", -3, 4, 1500, 77, 60},
      {"character 9 keeps its speed", 9, 4, 0, 77, 77},
      {"character 12 keeps its speed", 12, 4, 5000, 13, 13},
      {"character 8 follows the curve", 8, 4, 1500, 77, 30},
      {"no QV type keeps its speed", 1, 0, 1500, 77, 77},
      {"negative QV type keeps its speed", 1, -2, 1500, 77, 77},
      {"undefined curve gives 0", 1, 5, 1500, 77, 0},
      {"type beyond the table is an undefined curve", 1, 120, 1500, 77, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(speed_after(qv, c.character, c.type, c.volume, c.start), c.speed) << c.name;
}

TEST(LnkSpeed, DegenerateCurves) {
  RealTable qv(99, 5);
  set_curve(qv, 1, {50, 30, 10, 0, 1000});     // Q1 = 0: V1 up to Q1
  set_curve(qv, 2, {50, 30, 10, 1000, 1000});  // Q2 = Q1: V2 between them
  set_curve(qv, 3, {50, 30, 10, 1000, 500});   // Q2 < Q1
  EXPECT_EQ(speed_after(qv, 1, 1, 0), 50);
  EXPECT_EQ(speed_after(qv, 1, 1, 500), 20);  // second segment: 30 - 20 * 500 / 1000
  EXPECT_EQ(speed_after(qv, 1, 2, 1000), 30);
  EXPECT_EQ(speed_after(qv, 1, 2, 1001), 10);
  EXPECT_EQ(speed_after(qv, 1, 3, 800), 34);   // first segment: 50 - 20 * 800 / 1000
  EXPECT_EQ(speed_after(qv, 1, 3, 1200), 10);  // beyond both: V3
}

TEST(LnkSpeed, SinglePrecisionRounding) {
  // 20 - 14.4 * 125 / 400 is 15.5 in single precision (15.49999997 in double).
  RealTable qv(99, 5);
  set_curve(qv, 7, {20.0f, 5.6f, 2.0f, 400, 800});
  EXPECT_EQ(speed_after(qv, 1, 7, 125), 16);
  EXPECT_EQ(speed_after(qv, 1, 7, 375), 7);  // 6.5 in single precision
}

TEST(LnkSpeed, OnlyRowsOneToNChange) {
  RealTable qv(99, 5);
  set_curve(qv, 4, {60, 40, 20, 1000, 2000});
  LinkTable link(4, 11);
  for (int i = 1; i <= 4; ++i) {
    link(i, 3) = 1;
    link(i, 5) = 4;
    link(i, 9) = 500 * i;
    link(i, 8) = -1;
  }
  LNKSPEED(3, link, qv);
  EXPECT_EQ(link(1, 8), 50);
  EXPECT_EQ(link(2, 8), 40);
  EXPECT_EQ(link(3, 8), 30);
  EXPECT_EQ(link(4, 8), -1);
  EXPECT_EQ(link(2, 9), 1000);  // the volume is read, not changed
}

TEST(LnkSpeed, AbsurdCurveValuesStayInRange) {
  RealTable qv(99, 5);
  set_curve(qv, 1, {3.0e30f, 1.0f, 1.0f, 10, 20});
  set_curve(qv, 2, {-3.0e30f, 1.0f, 1.0f, 10, 20});
  EXPECT_EQ(speed_after(qv, 0, 1, 0), 2147483647);
  EXPECT_EQ(speed_after(qv, 0, 2, 0), -2147483647 - 1);
}
