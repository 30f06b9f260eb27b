// The command line: --help and --version answer and leave the directory alone;
// anything else is refused with status 2 before a file is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>

#include "testutil.hpp"

namespace routava {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;

struct Ran {
  int status;
  std::string out, err;
};

Ran run_with(const std::string& args) {
  test::write_file("answers.in", "2\n");
  std::string cmd = std::string("\"") + ROUTAVA_BINARY + "\" " + args + " < answers.in > out.txt 2> err.txt";
  int rc = std::system(cmd.c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : 128, read_file("out.txt"), read_file("err.txt")};
}

TEST(CommandLine, HelpVersionAndWrongArguments) {
  struct Case {
    const char* args;
    int status;
    const char* out_has;  // "" = stdout must be empty
    const char* err_has;  // "" = stderr must be empty
  };
  const Case cases[] = {
      {"--help", 0, "docs/manual.md", ""},
      {"--version", 0, "routava ", ""},
      {"-h", 2, "", "unexpected argument '-h'"},
      {"Assign.txt", 2, "", "unexpected argument 'Assign.txt'"},
      {"--help extra", 2, "", "unexpected argument 'extra'"},
      {"--version --help", 2, "", "unexpected argument '--help'"},
      {"--threads", 2, "", "--threads takes one whole number from 1 to 256"},
      {"--threads 0", 2, "", "--threads takes one whole number from 1 to 256, not '0'"},
      {"--threads 2x", 2, "", "not '2x'"},
      {"--threads 257", 2, "", "not '257'"},
      {"--threads 2 extra", 2, "", "unexpected argument 'extra'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    TempDir dir;
    test::write_file("Log.txt", "an earlier run\n");
    const Ran r = run_with(c.args);
    EXPECT_EQ(r.status, c.status);
    if (*c.out_has) {
      EXPECT_NE(r.out.find(c.out_has), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(r.out, "");
    }
    if (*c.err_has) {
      EXPECT_NE(r.err.find(c.err_has), std::string::npos) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
    } else {
      EXPECT_EQ(r.err, "");
    }
    // No run was started: the earlier log stays and nothing is added.
    EXPECT_EQ(read_file("Log.txt"), "an earlier run\n");
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(fs::current_path())) files += e.is_regular_file();
    EXPECT_EQ(files, 4u);  // Log.txt, answers.in, out.txt, err.txt
  }
}

TEST(CommandLine, VersionIsTheOneTheBannerShows) {
  TempDir dir;
  const Ran v = run_with("--version");
  ASSERT_EQ(v.status, 0);
  const Ran run = run_with("");  // no input files: the user answers "2. No"
  EXPECT_EQ(run.status, 0);
  std::smatch m;
  const std::string log = read_file("Log.txt");
  ASSERT_TRUE(std::regex_search(log, m, std::regex(R"(Routava Ver (\S+))")));
  EXPECT_EQ(v.out, "routava " + m[1].str() + "\n");
}

}  // namespace
}  // namespace routava
