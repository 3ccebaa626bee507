// A maker's folder: its own message and logo on the screen, a bad one at
// start-up, and the live reload of --watch keeping the last good content.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "demo/watch.h"
#include "tests/demo_fixture.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using test::ScreenRows;

// The 320 x 200 screen: 40 x 25 cells, the logo on row 6, the scroller on 18.
constexpr int32_t kCols = 40, kLogoRow = 6, kScrollRow = 18;

// A copy of the shipped data folder with the maker's files written into it.
class MakerFolder : public test::IntroTest {
 protected:
  void SetUp() override { fs::copy(INTRO_SOURCE_DIR "/data", dir.path()); }
  void Write(const std::string& name, const std::string& bytes) {
    test::WriteFile(dir.File(name), bytes);
  }
  void StartHere() { Start(320, 200, dir.path().string()); }

  // Runs with space pressed at presentation 0 (scene 2 from presentation 1)
  // and q at quit, keeping every screen; at presentation n of edits the
  // function given runs (after that frame was shown).
  void Run(int32_t quit,
           std::vector<std::pair<int32_t, std::function<void()>>> edits = {}) {
    test::harness.keys = {{0, ' '}, {quit, 'q'}};
    test::harness.onPresent = [this, edits](int32_t n, const Image*) {
      if (n != int32_t(screens.size())) return;  // the fade
      screens.push_back(ScreenRows(demo.screen));
      for (const auto& [at, edit] : edits)
        if (at == n) edit();
    };
    DEMORun();
  }

  test::TempDir dir;
  std::vector<std::vector<std::string>> screens;
};

// The text from index offset, cyclically, n characters.
std::string Window(const std::string& text, int32_t offset, int32_t n) {
  std::string s;
  for (int32_t i = 0; i < n; ++i) s += text[(offset + i) % text.size()];
  return s;
}

// The left column of rows on the screen starting at row top, or -1.
int32_t Find(const std::vector<std::string>& screen, int32_t top,
             const std::vector<std::string>& rows) {
  for (int32_t x = 0; x + int32_t(rows[0].size()) <= kCols; ++x) {
    bool match = true;
    for (size_t i = 0; i < rows.size() && match; ++i)
      match = screen[top + i].compare(x, rows[i].size(), rows[i]) == 0;
    if (match) return x;
  }
  return -1;
}

const std::vector<std::string> kBuiltInLogo = {
    "000 000 000 000 000", "0 0 0   0    0   0 ", "000 000 0    0   0 ",
    "0 0   0 0    0   0 ", "0 0 000 000 000 000"};

TEST_F(MakerFolder, ShowsItsOwnMessageAndANarrowerLogoCentredByItsWidth) {
  Write("message.txt", "HELLO FROM THE MAKERS  \n");
  Write("logo.txt", "#####\n#\n###\n#\n#####\n");  // ragged rows: padded
  StartHere();
  ASSERT_TRUE(initialised_);
  Run(60);
  const std::string message = "HELLO FROM THE MAKERS  ";
  const std::vector<std::string> logo = {"#####", "#    ", "###  ", "#    ",
                                         "#####"};
  // Scene-2 frame k is presentation 1 + k: the scroller one cell further
  // every second frame, the logo at 40 / 2 - 5 / 2 = 18 when the swing is 0.
  for (int32_t k : {0, 1, 2, 17, 40}) {
    const auto& screen = screens[1 + k];
    EXPECT_EQ(screen[kScrollRow], Window(message, k / 2, kCols)) << k;
    EXPECT_GE(Find(screen, kLogoRow, logo), 0) << k;
    EXPECT_EQ(Find(screen, kLogoRow, kBuiltInLogo), -1) << k;
  }
  EXPECT_EQ(Find(screens[1], kLogoRow, logo), 18);
}

TEST_F(MakerFolder, WithoutTheOptionalFilesShowsTheBuiltInTexts) {
  StartHere();
  ASSERT_TRUE(initialised_);
  EXPECT_EQ(DEMOMessage(), DEMO_SCROLL_MESSAGE);
  EXPECT_EQ(DEMOLogo(), DEMO_LOGO);
  Run(10);
  EXPECT_EQ(Find(screens[1], kLogoRow, kBuiltInLogo), 11);  // 20 - 19 / 2
  EXPECT_EQ(screens[5][kScrollRow], Window(DEMO_SCROLL_MESSAGE, 2, kCols));
}

TEST_F(MakerFolder, ABadFileAtStartUpIsNamedOnceAndTheBuiltInTextIsUsed) {
  Write("message.txt", "one\ttwo\n");
  Write("logo.txt", "0\n0\n0\n");
  testing::internal::CaptureStderr();
  StartHere();
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(initialised_);
  EXPECT_STREQ(DEMOMessage(), DEMO_SCROLL_MESSAGE);
  EXPECT_STREQ(DEMOLogo(), DEMO_LOGO);
  EXPECT_EQ(err,
            "intro: message.txt:1:4: error: a tab (0x09): the message takes "
            "printable characters only; use blanks; the built-in message is "
            "used\n"
            "intro: logo.txt:3:1: error: the logo ends after 3 rows; it takes "
            "five; the built-in logo is used\n");
}

TEST_F(MakerFolder,
       AReloadKeepsTheLastGoodMessageOnABadEditAndRestartsTheScene) {
  Write("message.txt", "FIRST \n");
  StartHere();
  ASSERT_TRUE(initialised_);
  ASSERT_TRUE(DEMOWatchStart());
  const std::string bad = "THIRD\tBAD\n";
  testing::internal::CaptureStderr();
  Run(100, {{20, [&] { Write("message.txt", "SECOND \n"); }},
            {40, [&] { Write("message.txt", bad); }},
            {50, [&] { Write("message.txt", bad); }},  // the same again
            {60, [&] { Write("message.txt", "FOURTH \n"); }},
            {80, [&] { fs::remove(dir.path() / "message.txt"); }}});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(screens[20][kScrollRow], Window("FIRST ", 19 / 2, kCols));
  // The good edit: the scene restarts, the scroller and the swing from 0.
  EXPECT_EQ(screens[21][kScrollRow], Window("SECOND ", 0, kCols));
  EXPECT_EQ(Find(screens[21], kLogoRow, kBuiltInLogo), 11);
  // The bad edits change nothing and restart nothing.
  for (int32_t n : {41, 51, 60})
    EXPECT_EQ(screens[n][kScrollRow], Window("SECOND ", (n - 21) / 2, kCols))
        << n;
  EXPECT_EQ(screens[61][kScrollRow], Window("FOURTH ", 0, kCols));
  // Removed, the message is the built-in one again, from its start.
  EXPECT_EQ(screens[81][kScrollRow], Window(DEMO_SCROLL_MESSAGE, 0, kCols));
  EXPECT_EQ(err,
            "intro: message.txt:1:6: error: a tab (0x09): the message takes "
            "printable characters only; use blanks\n"
            "intro: message.txt: the last good content stays\n");
}

TEST_F(MakerFolder, AReloadTakesANewLogoAndKeepsTheSheetWhenTheNewOneIsBad) {
  StartHere();
  ASSERT_TRUE(initialised_);
  ASSERT_TRUE(DEMOWatchStart());
  const Image* sheet = demo.font->glyphs;
  testing::internal::CaptureStderr();
  Run(40, {{10, [&] { Write("logo.txt", "X\nXX\nX\nXX\nX\n"); }},
           {20, [&] {
              Write("font8x8.ppm",
                    "P6\n12 8\n255\n" + std::string(12 * 8 * 3, '\0'));
            }}});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_GE(Find(screens[10], kLogoRow, kBuiltInLogo), 0);
  EXPECT_EQ(Find(screens[11], kLogoRow, {"X ", "XX", "X ", "XX", "X "}), 19);
  EXPECT_EQ(demo.font->glyphs, sheet);
  EXPECT_NE(err.find("intro: font8x8.ppm: error: the sheet is 12x8 pixels"),
            std::string::npos)
      << err;
}

}  // namespace
