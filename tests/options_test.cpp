// The intros' command line: what runs, what prints the usage, what is refused.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "demo/options.h"

namespace {

struct ArgsCase {
  const char* name;
  std::vector<std::string> args;
  bool runs;
  int status;  // when it does not run
  int32_t fps;  // when it runs
};

void PrintTo(const ArgsCase& c, std::ostream* os) { *os << c.name; }

class IntroArguments : public testing::TestWithParam<ArgsCase> {};

TEST_P(IntroArguments, RunOrEndWithTheirStatus) {
  const ArgsCase& c = GetParam();
  std::vector<std::string> words = {"/usr/bin/intro-window"};
  words.insert(words.end(), c.args.begin(), c.args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  IntroOptions options;
  int status = -1;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const bool runs = DEMOParseIntroOptions(int(argv.size()), argv.data(),
                                          &options, &status);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(runs, c.runs);
  if (runs) {
    EXPECT_EQ(options.fps, c.fps);
    EXPECT_EQ(out + err, "");
    return;
  }
  EXPECT_EQ(status, c.status);
  // The usage goes where the status says: stdout when asked for, stderr on a
  // mistake, and it names the program by its base name.
  const std::string& usage = c.status == 0 ? out : err;
  EXPECT_EQ(usage.find("usage: intro-window [--fps N]"), usage.find("usage"))
      << usage;
  EXPECT_NE(usage.find("usage: intro-window"), std::string::npos) << usage;
  EXPECT_EQ((c.status == 0 ? err : out), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntroArguments,
    testing::Values(
        ArgsCase{"NoneRunsUnpaced", {}, true, 0, 0},
        ArgsCase{"FpsPaces", {"--fps", "60"}, true, 0, 60},
        ArgsCase{"FpsWithEqualsSign", {"--fps=30"}, true, 0, 30},
        ArgsCase{"FpsZeroIsUnlimited", {"--fps", "0"}, true, 0, 0},
        ArgsCase{"FpsUpperBound", {"--fps", "1000"}, true, 0, 1000},
        ArgsCase{"LaterFpsWins", {"--fps", "10", "--fps", "20"}, true, 0, 20},
        ArgsCase{"HelpPrintsUsage", {"--help"}, false, 0, 0},
        ArgsCase{"UnknownOption", {"--fast"}, false, 2, 0},
        ArgsCase{"StrayWord", {"60"}, false, 2, 0},
        ArgsCase{"FpsWithoutValue", {"--fps"}, false, 2, 0},
        ArgsCase{"FpsPastTheBound", {"--fps", "1001"}, false, 2, 0},
        ArgsCase{"NegativeFps", {"--fps", "-1"}, false, 2, 0},
        ArgsCase{"FpsNotANumber", {"--fps", "60x"}, false, 2, 0},
        ArgsCase{"FpsEmpty", {"--fps="}, false, 2, 0},
        ArgsCase{"FpsOverflowingInt", {"--fps", "99999999999"}, false, 2, 0}),
    [](const testing::TestParamInfo<ArgsCase>& info) {
      return info.param.name;
    });

}  // namespace
