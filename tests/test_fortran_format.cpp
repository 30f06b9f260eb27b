// Fixed-width output must agree byte for byte with gfortran's formatted output,
// which the planners' existing result files were written with.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "run/recio.hpp"
#include "testutil.hpp"

namespace routava {
namespace {

struct Case {
  std::string desc;  // e.g. "F6.2"
  std::string kind;  // int, real, double, text
  std::string text;  // the value as the reference program reads it
  Out value = Out(int32_t(0));
  std::string held;  // storage for text values
};

std::string real_text(float v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", double(v));
  return buf;
}

std::string double_text(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::vector<Case> make_cases() {
  std::mt19937_64 rng(20261207);
  std::vector<Case> cases;
  auto add_int = [&](const std::string& d, int64_t v) {
    Case c{d, "int", std::to_string(v), Out(v), ""};
    c.value = Out(v);
    cases.push_back(c);
  };
  auto add_real = [&](const std::string& d, float v) {
    Case c{d, "real", real_text(v), Out(v), ""};
    c.value = Out(v);
    cases.push_back(c);
  };
  auto add_double = [&](const std::string& d, double v) {
    Case c{d, "double", double_text(v), Out(v), ""};
    c.value = Out(v);
    cases.push_back(c);
  };
  const std::vector<std::pair<std::string, int64_t>> ints = {{"I5", 99999}, {"I2.2", 99}, {"I7", 9999999}};
  for (const auto& [d, top] : ints) {
    for (int64_t v : {int64_t(0), int64_t(-1), top, top + 1, -top, -(top / 10), top / 10 + 1}) add_int(d, v);
    std::uniform_int_distribution<int64_t> any(-top * 20, top * 20);
    std::uniform_int_distribution<int64_t> small(-top / 10 - 2, top + 2);
    for (int i = 0; i < 300; ++i) {
      add_int(d, any(rng));
      add_int(d, small(rng));
    }
  }
  const std::vector<std::string> reals = {"F4.0", "F5.1", "F6.2", "F7.1", "F9.1",
                                          "F10.2", "F11.3", "F12.1", "F16.1"};
  std::uniform_real_distribution<double> exponent(-4.0, 9.0);
  std::uniform_int_distribution<int> coin(0, 1);
  std::uniform_int_distribution<int> small_int(0, 100000);
  for (const std::string& d : reals) {
    for (float v : {0.0f, -0.0f, 0.5f, -0.5f, 0.25f, 0.125f, 0.375f, 2.5f, 3.5f, -2.5f, 9.96f, 99.96f,
                    999.95f, 0.05f, -0.04f, -0.001f, 1e20f, -1e20f, 12345678.0f, 0.01f, 0.1f}) {
      add_real(d, v);
    }
    for (int i = 0; i < 250; ++i) {
      float mag = float(std::pow(10.0, exponent(rng)));
      add_real(d, coin(rng) ? mag : -mag);
      // ties and near-ties on the decimal grid
      float grid = float(small_int(rng)) / 8.0f;
      add_real(d, coin(rng) ? grid : -grid);
      double dm = std::pow(10.0, exponent(rng));
      add_double(d, coin(rng) ? dm : -dm);
    }
  }
  const char alphabet[] = "abcdefghijKLMNOPQ0123456789,.-_ ";
  std::uniform_int_distribution<int> len(0, 20);
  std::uniform_int_distribution<int> pick(0, int(sizeof alphabet) - 2);
  for (const std::string& d : {std::string("A6"), std::string("A16")}) {
    for (int i = 0; i < 200; ++i) {
      std::string s;
      int n = len(rng);
      for (int k = 0; k < n; ++k) s += alphabet[pick(rng)];
      while (!s.empty() && s.back() == ' ') s.pop_back();
      Case c{d, "text", s, Out(int32_t(0)), s};
      c.held = s;
      cases.push_back(c);
    }
  }
  for (Case& c : cases)
    if (c.kind == "text") c.value = Out(std::string_view(c.held));
  return cases;
}

TEST(FortranFormat, AgreesWithGfortranByteForByte) {
  const std::string ref = ROUTAVA_FORTRAN_REF;
  if (ref.empty()) GTEST_SKIP() << "gfortran was not available when the tests were configured";
  test::TempDir dir;
  std::vector<Case> cases = make_cases();
  std::string input;
  for (const Case& c : cases) input += c.desc + " " + c.kind + " " + c.text + "\n";
  test::write_file("cases.txt", input);
  std::string cmd = "\"" + ref + "\" < cases.txt > expected.txt";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::vector<std::string> expected = test::read_lines("expected.txt");
  ASSERT_EQ(expected.size(), cases.size());
  int mismatches = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    // Strings read back through the writer's own A descriptor; the reference drops trailing blanks.
    std::string got;
    format_record(got, Format::parse("(" + c.desc + ")"), {c.value});
    if (got != expected[i] && ++mismatches <= 20) {
      ADD_FAILURE() << c.desc << " of " << c.kind << " " << c.text << ": gfortran \"" << expected[i]
                    << "\", ours \"" << got << "\"";
    }
  }
  EXPECT_EQ(mismatches, 0) << "of " << cases.size() << " values";
  EXPECT_GT(cases.size(), 5000u);
}

}  // namespace
}  // namespace routava
