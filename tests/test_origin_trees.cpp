// Trees searched ahead on worker threads: whatever the number of threads, a run
// leaves every file, its console transcript and its status byte for byte the same.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;

struct Outputs {
  int status = -1;
  std::map<std::string, std::string> files;  // name -> contents, time stamps masked
};

// A run of a copy of `dir` with `args`, its answers one per line.
Outputs run_copy(const fs::path& dir, const std::string& answers, const std::string& args) {
  test::TempDir work;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) fs::copy_file(e.path(), e.path().filename());
  test::write_file("answers.in", answers);
  const std::string cmd = std::string("\"") + ROUTAVA_BINARY + "\" " + args + " < answers.in > console.out 2>&1";
  const int rc = std::system(cmd.c_str());
  Outputs out;
  out.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
  static const std::regex stamp("Current time [^\n]*");
  for (const auto& e : fs::directory_iterator(fs::current_path()))
    out.files[e.path().filename().string()] = std::regex_replace(test::read_file(e.path()), stamp, "(time)");
  return out;
}

TEST(OriginTrees, OneAndFourThreadsWriteTheSameBytes) {
  struct Case {
    const char* what;
    fs::path dir;
    const char* answers;
  };
  const fs::path src = test::source_dir();
  const Case cases[] = {
      // Three road and two transit stages, every output on.
      {"MidCity road and transit", src / "tests/data/MidCity", "1\n1\n4\n1\n2\n1\n1\n"},
      // Debug dialogue: the search's messages to the log between the origins' own.
      {"transit debug", src / "examples/transit", "9\n1\n2\n3\n4\n2\n2\n1\n2\n4\n2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outputs one = run_copy(c.dir, c.answers, "--threads 1");
    const Outputs four = run_copy(c.dir, c.answers, "--threads 4");
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(four.status, one.status);
    ASSERT_GT(one.files.size(), 10u);
    ASSERT_EQ(four.files.size(), one.files.size());
    for (const auto& [name, text] : one.files) {
      const auto it = four.files.find(name);
      ASSERT_NE(it, four.files.end()) << name;
      EXPECT_TRUE(it->second == text) << name << " differs";
      EXPECT_FALSE(text.empty()) << name;
    }
  }
}

}  // namespace
}  // namespace routava
