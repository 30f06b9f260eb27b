// A road stage whose path search cannot have its work storage: the run stops
// searching, ends through its end banner and reports the failure in its status.
// This executable replaces the global allocation functions, so it holds no other test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "run/recio.hpp"
#include "run/routines.hpp"
#include "testutil.hpp"

namespace {

// While armed, every allocation whose size lies in [fail_from, fail_to] fails.
std::size_t fail_from = 0;
std::size_t fail_to = 0;
int failures = 0;

}  // namespace

void* operator new(std::size_t n) {
  if (fail_to > 0 && n >= fail_from && n <= fail_to) {
    ++failures;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n > 0 ? n : 1)) return p;
  throw std::bad_alloc();
}
// GCC takes free() here for a mismatch with the new expressions it inlines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace routava {
namespace {

namespace fs = std::filesystem;
using test::Console;
using test::TempDir;

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(SearchOutOfMemory, RunEndsThroughTheEndBannerWithFailureStatus) {
  TempDir dir;
  test::copy_network("SiouxFalls");
  Console con(test::read_file("answers.txt"));
  // The search's per-node arrays: NODESZ + 1 entries of 4 or 8 bytes. Nothing
  // else of the run has that size; its tables are far larger or far smaller.
  fail_from = size_t(NODESZ + 1) * sizeof(int32_t);
  fail_to = size_t(NODESZ + 1) * sizeof(int64_t);
  const int status = run_main();
  fail_to = 0;
  ASSERT_GT(failures, 0) << "no allocation of the search's size was made";

  EXPECT_NE(status, 0);
  const std::string log = test::read_file("Log.txt");
  for (const std::string& text : {con.text(), log}) {
    // Reported once: no origin is searched after the first failure.
    EXPECT_EQ(count(text, " === SUBROUTINE DIJKSTRA ===\n LIST(NODESZ) allocation error 1\n"), 1)
        << text;
    EXPECT_EQ(count(text, " End of Vehicle Assignment on Road Network"), 1) << text;
    EXPECT_NE(text.find(" *   The End of the Assignment      *"), std::string::npos) << text;
    EXPECT_NE(text.find(" Routava STAGE 1"), std::string::npos) << text;
    EXPECT_EQ(text.find(" Routava STAGE 2"), std::string::npos) << text;
  }
  // The stage's files are closed; no link result shows a partial loading.
  EXPECT_TRUE(fs::exists("Vehicle Impedance01.csv"));
  EXPECT_FALSE(fs::exists("Traffic Assign01VT.csv"));
  EXPECT_FALSE(is_open(10));
}

}  // namespace
}  // namespace routava
