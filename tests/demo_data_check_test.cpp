// The data files' rules: each kind of problem at its line and column, the
// glyph sheet's shape, the blank-glyph warnings, and a whole folder as
// `tandrix check` reads it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>

#include "demo/data_check.h"
#include "demo/data_files.h"
#include "demo/demo.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

struct TextCase {
  const char* name;
  DemoDataKind kind;
  std::string bytes;
  // The first problem: its place (0, 0: the whole file) and a part of what it
  // says; none expected when what is empty.
  int32_t line, column;
  bool warning;
  const char* what;
};

// A failing case is named, not dumped as bytes.
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class TextRules : public testing::TestWithParam<TextCase> {};

// A runner frame's box for the cases: three lines of four.
constexpr DemoCheckContext kBox = {nullptr, 3, 4};

TEST_P(TextRules, NameTheFirstProblemAtItsLineAndColumn) {
  const TextCase& c = GetParam();
  DemoReport report;
  const bool ok = DEMOCheckText(c.kind, "f.txt", c.bytes.data(), c.bytes.size(),
                                kBox, &report);
  if (!*c.what) {
    EXPECT_TRUE(ok);
    EXPECT_TRUE(report.problems.empty())
        << DEMOProblemLine(report.problems.front());
    return;
  }
  ASSERT_FALSE(report.problems.empty());
  const DemoProblem& p = report.problems.front();
  EXPECT_EQ(p.line, c.line) << DEMOProblemLine(p);
  EXPECT_EQ(p.column, c.column) << DEMOProblemLine(p);
  EXPECT_EQ(p.warning, c.warning) << DEMOProblemLine(p);
  EXPECT_NE(p.what.find(c.what), std::string::npos) << DEMOProblemLine(p);
  EXPECT_EQ(ok, c.warning);
  EXPECT_EQ(report.errors > 0, !c.warning);
}

const std::string kLogo5 =
    "000 000\n"
    "0 0 0  \n"
    "000 000\n"
    "0 0   0\n"
    "0 0 000\n";

INSTANTIATE_TEST_SUITE_P(
    Kinds, TextRules,
    testing::Values(
        TextCase{"MessageOfOneLineEndedByALineBreak", DemoDataKind::Message,
                 "Hello, makers!\n", 0, 0, false, ""},
        TextCase{"MessageWithoutALineBreak", DemoDataKind::Message, "Hi", 0, 0,
                 false, ""},
        TextCase{"MessageWithATab", DemoDataKind::Message, "Hello\tthere", 1, 6,
                 false, "a tab"},
        TextCase{"MessageWithALineBreakInside", DemoDataKind::Message,
                 "one\ntwo\n", 1, 4, false, "a line break"},
        TextCase{"MessageWithACarriageReturn", DemoDataKind::Message, "hi\r\n",
                 1, 3, false, "carriage return"},
        TextCase{"MessageWithAControlCharacter", DemoDataKind::Message,
                 "ab\x01", 1, 3, false, "control character (0x01)"},
        TextCase{"MessageWithDelete", DemoDataKind::Message, "a\x7f", 1, 2,
                 false, "control character (0x7F)"},
        TextCase{"MessageWithAByteAboveAscii", DemoDataKind::Message,
                 "caf\xc3\xa9", 1, 4, false, "0xC3"},
        TextCase{"MessageWithAZeroByte", DemoDataKind::Message,
                 std::string("ab\0c", 4), 1, 3, false, "0x00"},
        TextCase{"EmptyMessage", DemoDataKind::Message, "", 0, 0, false,
                 "empty"},
        TextCase{"MessageOfALineBreakAlone", DemoDataKind::Message, "\n", 0, 0,
                 false, "empty"},
        TextCase{"LogoOfFiveRows", DemoDataKind::Logo, kLogo5, 0, 0, false, ""},
        TextCase{"LogoWhoseLastRowHasNoLineBreak", DemoDataKind::Logo,
                 kLogo5.substr(0, kLogo5.size() - 1), 0, 0, false, ""},
        TextCase{"LogoOfNineteenColumns", DemoDataKind::Logo,
                 std::string(5 * 20, '0')
                     .replace(19, 1, "\n")
                     .replace(39, 1, "\n")
                     .replace(59, 1, "\n")
                     .replace(79, 1, "\n")
                     .replace(99, 1, "\n"),
                 0, 0, false, ""},
        TextCase{"LogoWithARowOfTwenty", DemoDataKind::Logo,
                 "0\n0\n" + std::string(20, '0') + "\n0\n0\n", 3, 20, false,
                 "the row is 20 characters wide; the logo takes at most 19"},
        TextCase{"LogoWhoseLastRowIsTooWideWithoutALineBreak",
                 DemoDataKind::Logo, "0\n0\n0\n0\n" + std::string(25, '0'), 5,
                 20, false, "25 characters wide"},
        TextCase{"LogoOfFourRows", DemoDataKind::Logo, "0\n0\n0\n0\n", 4, 1,
                 false, "ends after 4 rows"},
        TextCase{"LogoOfSixRows", DemoDataKind::Logo, kLogo5 + "0\n", 6, 1,
                 false, "a row too many"},
        TextCase{"LogoWithATab", DemoDataKind::Logo, "0\n0\t0\n0\n0\n0\n", 2, 2,
                 false, "a tab"},
        TextCase{"LogoWithCarriageReturns", DemoDataKind::Logo,
                 "0\r\n0\r\n0\r\n0\r\n0\r\n", 1, 2, false, "carriage return"},
        TextCase{"EmptyLogo", DemoDataKind::Logo, "", 0, 0, false, "empty"},
        TextCase{"RunnerCoveringTheFirstFramesBox", DemoDataKind::Runner,
                 "abcd\nabcde\nabcd\n", 0, 0, false, ""},
        TextCase{"RunnerWithAShortLine", DemoDataKind::Runner,
                 "abcd\nab\nabcd\n", 2, 3, false, "2 characters wide"},
        TextCase{"RunnerWithALineOneShort", DemoDataKind::Runner,
                 "abcd\nabcd\nabc\n", 3, 4, false, "3 characters wide"},
        TextCase{"RunnerWithFewerLines", DemoDataKind::Runner, "abcd\nabcd\n",
                 3, 1, false, "ends after 2 lines"},
        TextCase{"RunnerCutShortByAZeroByte", DemoDataKind::Runner,
                 std::string("abcd\nab\0d\nabcd\n", 15), 2, 3, false,
                 "ends after 1 lines"},
        TextCase{"RunnerLongerThanThePartShown", DemoDataKind::Runner,
                 "abcd\nabcd\nabcd\n" + std::string(700, 'x'), 4, 601, true,
                 "only the first 615 bytes"},
        TextCase{"MapOfAnyBytes", DemoDataKind::Map, "\x01\t\r\n\xff", 0, 0,
                 false, ""},
        TextCase{"SongWithAnUnknownWord", DemoDataKind::Song,
                 "tempo 120\nbogus\n", 2, 1, false, "unknown keyword"}),
    [](const testing::TestParamInfo<TextCase>& info) {
      return std::string(info.param.name);
    });

TEST(DataCheck, WritesProblemsAsACompilerDoes) {
  EXPECT_EQ(DEMOProblemLine({"d/logo.txt", 3, 20, false, "too wide"}),
            "d/logo.txt:3:20: error: too wide");
  EXPECT_EQ(DEMOProblemLine({"d/message.txt", 1, 2, true, "blank"}),
            "d/message.txt:1:2: warning: blank");
  EXPECT_EQ(DEMOProblemLine({"d/manRun05.txt", 0, 0, false, "missing"}),
            "d/manRun05.txt: error: missing");
}

TEST(DataCheck, CountsEveryProblemButShowsTwentyAndOneLineForTheRest) {
  DemoReport report;
  const std::string tabs(50, '\t');
  EXPECT_FALSE(DEMOCheckText(DemoDataKind::Message, "m", tabs.data(),
                             tabs.size(), {}, &report));
  ASSERT_EQ(report.problems.size(), 21u);
  EXPECT_EQ(report.problems[19].column, 20);
  EXPECT_NE(report.problems[20].what.find("more problems"), std::string::npos);
}

TEST(DataCheck, TakesASheetOnlyWhenItIsAGridOfEightByEightGlyphs) {
  struct Size {
    int32_t width, height;
    bool ok;
  };
  for (const Size s :
       {Size{128, 64, true}, Size{8, 8, true}, Size{130, 64, false},
        Size{128, 60, false}, Size{0, 0, false}}) {
    test::ImagePtr sheet(test::MakeImage(s.width, s.height, {}));
    DemoReport report;
    EXPECT_EQ(DEMOCheckSheet("font8x8.ppm", sheet.get(), &report), s.ok)
        << s.width << "x" << s.height;
    EXPECT_EQ(report.errors, s.ok ? 0 : 1);
  }
}

// A 128 x 64 sheet on which only 'A' and '!' have ink.
test::ImagePtr SheetWithAAndBang() {
  test::ImagePtr sheet(test::MakeImage(128, 64, {}));
  for (int code : {'A', '!'}) {
    const int x = code * 8 % 128, y = code * 8 / 128 * 8;
    sheet->pixels[(y + 3) * 128 + x + 4] = 0xFFFFFF;
  }
  return sheet;
}

TEST(DataCheck, WarnsOnceForEachCharacterTheFontDrawsBlank) {
  const test::ImagePtr sheet = SheetWithAAndBang();
  EXPECT_FALSE(DEMOGlyphBlank(sheet.get(), 'A'));
  EXPECT_TRUE(DEMOGlyphBlank(sheet.get(), 'B'));
  EXPECT_TRUE(DEMOGlyphBlank(sheet.get(), 200));  // past the sheet
  DemoReport report;
  const std::string message = "A B!BA C";
  EXPECT_TRUE(DEMOCheckText(DemoDataKind::Message, "m", message.data(),
                            message.size(), {sheet.get(), 0, 0}, &report));
  ASSERT_EQ(report.problems.size(), 2u);
  EXPECT_EQ(DEMOProblemLine(report.problems[0]),
            "m:1:3: warning: the font draws 'B' blank: it shows as a gap in "
            "the message");
  EXPECT_EQ(report.problems[1].column, 8);  // 'C'; the blank is no warning
  EXPECT_EQ(report.warnings, 2);
  EXPECT_EQ(report.errors, 0);
}

TEST(DataCheck, TheBuiltInMessageAndLogoPassWithTheShippedFont) {
  DemoReport report;
  test::ImagePtr sheet(
      DEMOLoadSheet(INTRO_SOURCE_DIR "/data/font8x8.ppm", &report));
  ASSERT_NE(sheet, nullptr);
  const DemoCheckContext context = {sheet.get(), 0, 0};
  const std::string message = std::string(DEMO_SCROLL_MESSAGE) + "\n";
  EXPECT_TRUE(DEMOCheckText(DemoDataKind::Message, "m", message.data(),
                            message.size(), context, &report));
  EXPECT_TRUE(DEMOCheckText(DemoDataKind::Logo, "l", DEMO_LOGO,
                            std::strlen(DEMO_LOGO), context, &report));
  EXPECT_TRUE(report.problems.empty())
      << DEMOProblemLine(report.problems.front());
  EXPECT_EQ(DEMOLogoWidth(DEMO_LOGO), 19);
}

TEST(DataCheck, PadsEveryRowOfALogoToTheWidestSoItsBoxIsOpaque) {
  const test::TempDir dir;
  test::WriteFile(dir.File("logo.txt"), "##\n#\n####\n\n#");
  DemoReport report;
  char* logo = DEMOLoadChecked(*DEMODataFileFind("logo.txt"),
                               dir.File("logo.txt").c_str(), {}, &report);
  ASSERT_NE(logo, nullptr);
  EXPECT_STREQ(logo, "##  \n#   \n####\n    \n#   \n");
  EXPECT_EQ(DEMOLogoWidth(logo), 4);
  DEMOFreeText(logo);
}

TEST(DataCheck, AnAbsentOptionalFileIsNoProblemAndMeansTheBuiltInText) {
  const test::TempDir dir;
  DemoReport report;
  EXPECT_EQ(DEMOLoadChecked(*DEMODataFileFind("message.txt"),
                            dir.File("message.txt").c_str(), {}, &report),
            nullptr);
  EXPECT_TRUE(report.problems.empty());
}

class CheckFolder : public testing::Test {
 protected:
  void SetUp() override {
    for (int32_t i = 0; i < DEMO_DATA_FILE_COUNT; ++i)
      if (!DEMO_DATA_FILES[i].optional)
        fs::copy_file(
            fs::path(INTRO_SOURCE_DIR "/data") / DEMO_DATA_FILES[i].name,
            dir.path() / DEMO_DATA_FILES[i].name);
  }
  std::vector<std::string> Lines() {
    DemoReport report;
    errors = DEMOCheckFolder(dir.path().string().c_str(), &report);
    std::vector<std::string> lines;
    const std::string prefix = dir.path().string() + "/";
    for (const DemoProblem& p : report.problems) {
      std::string line = DEMOProblemLine(p);
      if (line.compare(0, prefix.size(), prefix) == 0)
        line.erase(0, prefix.size());
      lines.push_back(line);
    }
    return lines;
  }
  test::TempDir dir;
  int32_t errors = -1;
};

TEST_F(CheckFolder, FindsNothingWrongWithTheShippedFiles) {
  EXPECT_EQ(Lines(), std::vector<std::string>{});
  EXPECT_EQ(errors, 0);
}

TEST_F(CheckFolder, NamesEveryBrokenFileInTheTablesOrder) {
  fs::remove(dir.path() / "manRun05.txt");
  fs::remove(dir.path() / "WorldMap.txt");
  ASSERT_EQ(mkfifo((dir.path() / "WorldMap.txt").c_str(), 0600), 0);
  test::WriteFile(dir.File("message.txt"), std::string(64 * 1024 + 1, 'x'));
  fs::create_directory(dir.path() / "logo.txt");
  test::WriteFile(dir.File("font8x8.ppm"),
                  "P6\n130 64\n255\n" + std::string(130 * 64 * 3, '\0'));
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{
                "font8x8.ppm: error: the sheet is 130x64 pixels; a glyph sheet "
                "is a grid of 8x8 glyphs (both sides multiples of 8)",
                "WorldMap.txt: error: cannot read it: it is a FIFO, not a "
                "regular file",
                "manRun05.txt: error: the running-man frame is missing",
                "message.txt: error: the file is 65537 bytes; a message holds "
                "at most 65536",
                "logo.txt: error: cannot read it: it is a folder, not a "
                "regular file",
            }));
  EXPECT_EQ(errors, 5);
}

TEST_F(CheckFolder, MeasuresEveryFrameAgainstTheFirst) {
  std::string frame = test::ReadFile(dir.File("manRun00.txt"));
  frame.erase(frame.find('\n') - 3, 3);  // the first line three short
  test::WriteFile(dir.File("manRun0o.txt"), frame);
  EXPECT_EQ(Lines(), std::vector<std::string>{
                         "manRun0o.txt:1:14: error: the line is 13 characters "
                         "wide; every frame covers the first frame's 16 "
                         "columns, or pieces of the frame before it show"});
  EXPECT_EQ(errors, 1);
}

}  // namespace
