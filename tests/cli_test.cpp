// The one option parser: the forms every program takes, the numbers it
// accepts, the lists, and what it answers to a mistake.
#include "cli/cli.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct NumberCase {
  const char* name;
  const char* text;
  int32_t min, max;
  bool ok;
  int32_t value;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class Numbers : public testing::TestWithParam<NumberCase> {};

TEST_P(Numbers, AreDecimalDigitsInRange) {
  const NumberCase& c = GetParam();
  int32_t value = -12345;
  EXPECT_EQ(cli::ParseNumber(c.text, c.min, c.max, &value), c.ok);
  EXPECT_EQ(value, c.ok ? c.value : -12345);  // untouched when refused
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Numbers,
    testing::Values(
        NumberCase{"Zero", "0", 0, 10, true, 0},
        NumberCase{"UpperBound", "1000", 0, 1000, true, 1000},
        NumberCase{"PastTheBound", "1001", 0, 1000, false, 0},
        NumberCase{"LargestInt", "2147483647", 0, INT32_MAX, true, INT32_MAX},
        NumberCase{"PastTheLargestInt", "2147483648", 0, INT32_MAX, false, 0},
        NumberCase{"ManyDigits", "99999999999999999999", 0, INT32_MAX, false, 0},
        NumberCase{"LeadingZeros", "007", 0, 10, true, 7},
        NumberCase{"LeadingBlank", " 5", 0, 10, false, 0},
        NumberCase{"TrailingBlank", "5 ", 0, 10, false, 0},
        NumberCase{"PlusSign", "+5", 0, 10, false, 0},
        NumberCase{"MinusWhereNoneIsMeant", "-1", 0, 10, false, 0},
        NumberCase{"MinusWhereAllowed", "-3", -5, 5, true, -3},
        NumberCase{"LoneMinus", "-", -5, 5, false, 0},
        NumberCase{"HexPrefix", "0x10", 0, 100, false, 0},
        NumberCase{"TrailingLetters", "60x", 0, 100, false, 0},
        NumberCase{"Empty", "", 0, 10, false, 0}),
    [](const testing::TestParamInfo<NumberCase>& info) {
      return info.param.name;
    });

TEST(Numbers, RefuseNone) {
  int32_t value = 0;
  EXPECT_FALSE(cli::ParseNumber(nullptr, 0, 10, &value));
}

bool Collect(const std::string& part, void* context) {
  auto* parts = static_cast<std::vector<std::string>*>(context);
  if (part == "bad") return false;
  parts->push_back(part);
  return true;
}

TEST(Lists, GiveEveryPartInOrder) {
  std::vector<std::string> parts;
  ASSERT_TRUE(cli::ParseList("5:q,10:space,7", Collect, &parts));
  EXPECT_EQ(parts, (std::vector<std::string>{"5:q", "10:space", "7"}));
}

TEST(Lists, RefuseEmptyPartsAndRefusedItems) {
  for (const char* text : {"", ",", "5:q,", ",5:q", "1,,2", "1,bad,2"}) {
    std::vector<std::string> parts;
    EXPECT_FALSE(cli::ParseList(text, Collect, &parts)) << '"' << text << '"';
  }
}

TEST(Sizes, AreTwoNumbersAroundAnX) {
  int32_t w = 0, h = 0;
  EXPECT_TRUE(cli::ParseSize("640x480", 8, 4096, &w, &h));
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  for (const char* text : {"640", "x480", "640x", "640x480x8", "640 x480",
                           "4104x8", "640X480"})
    EXPECT_FALSE(cli::ParseSize(text, 8, 4096, &w, &h)) << text;
}

// One program's table, and what a command line makes of it.
struct Outcome {
  bool runs;
  int status;
  std::string out, err;
  int32_t fps = -1;
  bool cells = false;
  std::string data = "(none)";  // copied: the words end with ParseLine
};

bool Even(const char* value, void* context) {
  int32_t n;
  if (!cli::ParseNumber(value, 0, 100, &n) || n % 2) return false;
  *static_cast<int32_t*>(context) = n;
  return true;
}

Outcome ParseLine(std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/bin/intro-capture");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  Outcome o;
  int32_t even = 0;
  const char* data = nullptr;
  cli::Parser parser(cli::ProgramName(int(argv.size()), argv.data()),
                     " [--fps N]\nThe test's usage.\n");
  parser.Number("--fps", 1, 1000, &o.fps);
  parser.Flag("--cells", &o.cells);
  parser.Text("--data", "a folder", &data);
  parser.Custom("--even", "an even number", Even, &even);
  o.status = -1;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  o.runs = parser.Parse(int(argv.size()), argv.data(), &o.status);
  if (data) o.data = data;
  o.out = testing::internal::GetCapturedStdout();
  o.err = testing::internal::GetCapturedStderr();
  return o;
}

constexpr char kUsage[] = "usage: intro-capture [--fps N]\nThe test's usage.\n";

TEST(Parser, TakesBothFormsOfAValue) {
  for (auto args : {std::vector<std::string>{"--fps", "30"},
                    std::vector<std::string>{"--fps=30"}}) {
    const Outcome o = ParseLine(args);
    EXPECT_TRUE(o.runs);
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.out + o.err, "");
  }
}

TEST(Parser, SetsSwitchesAndTexts) {
  const Outcome o = ParseLine({"--cells", "--data=/d"});
  ASSERT_TRUE(o.runs);
  EXPECT_TRUE(o.cells);
  EXPECT_EQ(o.data, "/d");
}

TEST(Parser, AnswersHelpOnStandardOutputWithStatusZero) {
  const Outcome o = ParseLine({"--fps", "5", "--help", "--bogus"});
  EXPECT_FALSE(o.runs);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, kUsage);
  EXPECT_EQ(o.err, "");
}

TEST(Parser, AnswersVersionWithTheProgramsName) {
  const Outcome o = ParseLine({"--version"});
  EXPECT_FALSE(o.runs);
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(testing::internal::RE::FullMatch(
      o.out, "intro-capture \\(tandrix\\) [0-9]+\\.[0-9]+\\.[0-9]+\n"))
      << o.out;
}

struct MistakeCase {
  const char* name;
  std::vector<std::string> args;
  const char* line;  // the first line on standard error
};

void PrintTo(const MistakeCase& c, std::ostream* os) { *os << c.name; }

class Mistakes : public testing::TestWithParam<MistakeCase> {};

TEST_P(Mistakes, NameWhatIsWrongThenTheUsageWithStatusTwo) {
  const Outcome o = ParseLine(GetParam().args);
  EXPECT_FALSE(o.runs);
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, std::string(GetParam().line) + "\n" + kUsage);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mistakes,
    testing::Values(
        MistakeCase{"UnknownOption",
                    {"--fast"},
                    "intro-capture: unknown option: --fast"},
        MistakeCase{"UnknownOptionWithAValue",
                    {"--fast=1"},
                    "intro-capture: unknown option: --fast=1"},
        MistakeCase{"StrayWord", {"60"}, "intro-capture: unexpected argument: 60"},
        MistakeCase{"MissingValue",
                    {"--fps"},
                    "intro-capture: --fps takes a number from 1 to 1000"},
        MistakeCase{"EmptyValue",
                    {"--fps="},
                    "intro-capture: --fps takes a number from 1 to 1000"},
        MistakeCase{"NumberWithABlank",
                    {"--fps", " 5"},
                    "intro-capture: --fps takes a number from 1 to 1000, not  5"},
        MistakeCase{"NumberWithASign",
                    {"--fps=+5"},
                    "intro-capture: --fps takes a number from 1 to 1000, not +5"},
        MistakeCase{"SwitchGivenAValue",
                    {"--cells=yes"},
                    "intro-capture: --cells takes no value"},
        MistakeCase{"EmptyText",
                    {"--data", ""},
                    "intro-capture: --data takes a folder"},
        MistakeCase{"CustomValueRefused",
                    {"--even", "3"},
                    "intro-capture: --even takes an even number, not 3"}),
    [](const testing::TestParamInfo<MistakeCase>& info) {
      return info.param.name;
    });

// Runs body in a child whose standard output is sink and whose standard
// error goes to errName; its exit status, or -1.
template <typename Body>
int InChild(const char* sink, const char* errName, Body body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    const int out = open(sink, O_WRONLY);
    const int err = open(errName, O_WRONLY | O_TRUNC);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(99);
    _exit(body());
  }
  int wstatus = 0;
  if (waitpid(child, &wstatus, 0) != child || !WIFEXITED(wstatus)) return -1;
  return WEXITSTATUS(wstatus);
}

// What FinishOutput says on standard error and returns with standard output
// on sink after text was printed; and what --help then ends with.
struct Finishing {
  bool finished;
  std::string err;
  int helpStatus;
};

Finishing FinishOnto(const char* sink, const char* text) {
  char errName[] = "/tmp/cli-test-stderr-XXXXXX";
  const int errFd = mkstemp(errName);
  if (errFd < 0) return {false, "mkstemp failed", -1};
  close(errFd);
  Finishing f{};
  f.finished = InChild(sink, errName, [&] {
                 std::fputs(text, stdout);
                 return cli::FinishOutput("prog") ? 0 : 1;
               }) == 0;
  std::FILE* err = std::fopen(errName, "r");
  for (int c; err && (c = std::fgetc(err)) != EOF;) f.err += char(c);
  if (err) std::fclose(err);
  f.helpStatus = InChild(sink, errName, [] {
    std::string arg0 = "prog", arg1 = "--help";
    char* argv[] = {arg0.data(), arg1.data()};
    cli::Parser parser("prog", " [--fps N]\n");
    int status = -1;
    parser.Parse(2, argv, &status);
    return status;
  });
  unlink(errName);
  return f;
}

TEST(FinishOutput, FailsWithOneLineWhenAWriteFailed) {
  const Finishing full = FinishOnto("/dev/full", "usage: prog\n");
  EXPECT_FALSE(full.finished);
  EXPECT_EQ(full.err, std::string("prog: write error on standard output: ") +
                          std::strerror(ENOSPC) + "\n");
  // --help whose usage is lost ends with 1, not 0.
  EXPECT_EQ(full.helpStatus, 1);
  const Finishing null = FinishOnto("/dev/null", "usage: prog\n");
  EXPECT_TRUE(null.finished);
  EXPECT_EQ(null.err, "");
  EXPECT_EQ(null.helpStatus, 0);
}

TEST(ProgramName, IsTheBaseNameOfTheFirstWord) {
  std::string words[] = {"/usr/local/bin/intro-term", "", "intro-window"};
  char* argv0[] = {words[0].data()};
  char* argv1[] = {words[1].data()};
  char* argv2[] = {words[2].data()};
  EXPECT_STREQ(cli::ProgramName(1, argv0), "intro-term");
  EXPECT_STREQ(cli::ProgramName(1, argv1), "intro");
  EXPECT_STREQ(cli::ProgramName(1, argv2), "intro-window");
  EXPECT_STREQ(cli::ProgramName(0, nullptr), "intro");
}

}  // namespace
