// The intros' command line: what runs, what prints the usage, what is refused.
#include "programs/intro/options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace {

struct ArgsCase {
  const char* name;
  std::vector<std::string> args;
  bool runs;
  int status;                  // when it does not run
  int32_t fps;                 // when it runs
  const char* data = nullptr;  // the data folder, when it runs
  bool watch = false;          // --watch, when it runs
  bool mute = false;           // --mute given, when it runs
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
  const bool runs =
      IntroParseOptions(int(argv.size()), argv.data(), &options, &status);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(runs, c.runs);
  if (runs) {
    EXPECT_EQ(options.fps, c.fps);
    EXPECT_STREQ(options.data ? options.data : "(none)",
                 c.data ? c.data : "(none)");
    EXPECT_EQ(options.watch, c.watch);
    EXPECT_EQ(options.mute, c.mute);
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
        ArgsCase{"FpsOverflowingInt", {"--fps", "99999999999"}, false, 2, 0},
        ArgsCase{"DataNamesTheFolder", {"--data", "/d"}, true, 0, 0, "/d"},
        ArgsCase{"DataWithEqualsSign",
                 {"--data=/d", "--fps", "5"},
                 true,
                 0,
                 5,
                 "/d"},
        ArgsCase{"DataWithoutFolder", {"--data"}, false, 2, 0},
        ArgsCase{"DataEmpty", {"--data="}, false, 2, 0},
        ArgsCase{"WatchWithTheFolder",
                 {"--data", "/d", "--watch"},
                 true,
                 0,
                 0,
                 "/d",
                 true},
        ArgsCase{"WatchTakesNoValue", {"--watch=yes"}, false, 2, 0},
        ArgsCase{"MuteSilences", {"--mute", "--fps", "7"}, true, 0, 7, nullptr,
                 false, true},
        ArgsCase{"MuteTakesNoValue", {"--mute=yes"}, false, 2, 0}),
    [](const testing::TestParamInfo<ArgsCase>& info) {
      return info.param.name;
    });

// --version answers on standard output with the program's base name and the
// version, and ends the program with status 0 before any other option counts.
TEST(IntroVersion, NamesTheProgramAndItsVersion) {
  std::string words[] = {"/usr/bin/intro-fullscreen", "--fps", "9", "--version",
                         "--bogus"};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(),
                  words[3].data(), words[4].data()};
  IntroOptions options;
  int status = -1;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(IntroParseOptions(5, argv, &options, &status));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(testing::internal::RE::FullMatch(
      out, "intro-fullscreen \\(tandrix\\) [0-9]+\\.[0-9]+\\.[0-9]+\n"))
      << out;
}

// The data folder becomes the working directory, where the driver opens the
// data files by name; one that cannot be entered is reported and refused.
TEST(IntroDataFolder, IsEnteredOrRefusedWithItsName) {
  char* before = getcwd(nullptr, 0);
  ASSERT_NE(before, nullptr);
  EXPECT_TRUE(cli::EnterDataFolder("intro-window", nullptr));
  EXPECT_TRUE(
      cli::EnterDataFolder("intro-window", INTRO_SOURCE_DIR "/data"));
  EXPECT_EQ(std::string(std::filesystem::current_path()),
            std::string(std::filesystem::canonical(INTRO_SOURCE_DIR "/data")));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(cli::EnterDataFolder("intro-window", "/no/such/folder"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(
      err.rfind("intro-window: cannot use the data folder /no/such/folder: ",
                0),
      0u)
      << err;
  EXPECT_EQ(std::string(std::filesystem::current_path()),
            std::string(std::filesystem::canonical(INTRO_SOURCE_DIR "/data")));
  ASSERT_EQ(chdir(before), 0);
  std::free(before);
}

}  // namespace
