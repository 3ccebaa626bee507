#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/pacer.h"
#include "demo/demo.h"
#include "img/img.h"
#include "sdl/events.h"
#include "tests/demo_fixture.h"
#include "tests/test_support.h"

namespace {

using test::ImagePtr;
using test::IntroTest;
using test::MakeImage;
using test::Pixels;

struct KeyCase {
  const char* name;
  int key;
  int8_t expected;
};

class DemoKeyDispatch : public testing::TestWithParam<KeyCase> {};

TEST_P(DemoKeyDispatch, SetsRunState) {
  demo.runState = DEMO_RUNNING;
  DEMOKey(static_cast<int8_t>(GetParam().key));
  EXPECT_EQ(demo.runState, GetParam().expected) << "key " << GetParam().key;
  demo.runState = DEMO_RUNNING;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DemoKeyDispatch,
    testing::Values(
        KeyCase{"EscapeQuits", 27, DEMO_QUIT},
        KeyCase{"LowerQQuits", 'q', DEMO_QUIT},
        KeyCase{"UpperQQuits", 'Q', DEMO_QUIT},
        KeyCase{"SpaceAsksForTheNextScene", ' ', DEMO_NEXT_SCENE},
        // Low bytes of F2 (283) and F7 (288) act like Escape and
        // space: only the low byte reaches the driver.
        KeyCase{"LowByteOfF2Quits", 283 & 0xFF, DEMO_QUIT},
        KeyCase{"LowByteOfF7AsksForTheNextScene", 288 & 0xFF, DEMO_NEXT_SCENE},
        KeyCase{"NoKeyChangesNothing", 0, DEMO_RUNNING},
        KeyCase{"DigitZeroChangesNothing", '0', DEMO_RUNNING},
        KeyCase{"DigitNineChangesNothing", '9', DEMO_RUNNING},
        KeyCase{"LetterAChangesNothing", 'a', DEMO_RUNNING},
        KeyCase{"ReturnChangesNothing", '\r', DEMO_RUNNING},
        KeyCase{"MinusEscapeChangesNothing", -27, DEMO_RUNNING},
        KeyCase{"EscapePlus128ChangesNothing", 27 + 128, DEMO_RUNNING}),
    [](const testing::TestParamInfo<KeyCase>& info) {
      return std::string(info.param.name);
    });

struct TextCase {
  const char* name;
  const char* text;
  int32_t width, height;
};

class DemoTextMeasure : public testing::TestWithParam<TextCase> {};

TEST_P(DemoTextMeasure, WidthAndHeight) {
  EXPECT_EQ(DEMOTextWidth(GetParam().text), GetParam().width);
  EXPECT_EQ(DEMOTextHeight(GetParam().text), GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DemoTextMeasure,
    testing::Values(TextCase{"LastLineWithoutNewline", "ab\ncde", 2, 2},
                    TextCase{"LastLineWithNewline", "ab\ncde\n", 3, 3},
                    TextCase{"Empty", "", 0, 1},
                    TextCase{"NoNewlineAtAll", "no newline", 0, 1},
                    TextCase{"OnlyNewlines", "\n\n\n", 0, 4},
                    TextCase{"CarriageReturnCounts", "x\r\n", 2, 2},
                    TextCase{"LongestLineFirst", "abc\nd\n", 3, 3}),
    [](const testing::TestParamInfo<TextCase>& info) {
      return std::string(info.param.name);
    });

TEST(DemoTextMeasure, ZeroByteEndsTheText) {
  const char text[] = "ab\n\0abcdef\n";
  EXPECT_EQ(DEMOTextWidth(text), 2);
  EXPECT_EQ(DEMOTextHeight(text), 2);
}

// What a text-art file may not be: each gives none and names the reason.
TEST(DemoLoadText, RefusesWhatIsNoRegularFileOrTooBigAndSaysWhy) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0755), 0);
  test::WriteFile(dir.File("huge"), "");  // sparse, one byte past the bound
  std::filesystem::resize_file(dir.File("huge"), DEMO_TEXT_MAX_BYTES + 1);
  struct Case {
    const char* name;  // none for no name
    int32_t limit;
    const char* why;
  };
  for (const Case& c : {Case{nullptr, -1, "no file name"},
                        Case{"missing", -1, "No such file"},
                        Case{"fifo", -1, "FIFO"}, Case{"fifo", 615, "FIFO"},
                        Case{"folder", -1, "folder"},
                        Case{"huge", -1, "64 MiB"}}) {
    SCOPED_TRACE(c.name ? c.name : "none");
    const std::string path = c.name ? dir.File(c.name) : "";
    const char* reason = nullptr;
    char* text = DEMOLoadText(c.name ? path.c_str() : nullptr, c.limit, &reason);
    EXPECT_EQ(text, nullptr);
    DEMOFreeText(text);
    ASSERT_NE(reason, nullptr);
    EXPECT_NE(std::string(reason).find(c.why), std::string::npos) << reason;
  }
  // The start of a huge file still makes a frame text.
  char* frame = DEMOLoadText(dir.File("huge").c_str(), 615);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame[0], '\0');
  DEMOFreeText(frame);
}

TEST(DemoDarkenPixels, ChannelsClampIndependently) {
  ImagePtr image(MakeImage(4, 1, {0xFFFFFF, 0x010203, 0xAB000105, 0x800000}));
  DEMODarken(image.get(), 2);
  EXPECT_EQ(Pixels(image.get()),
            (std::vector<uint32_t>{0xFDFDFD, 0x000001, 0x000003, 0x7E0000}));
  DEMODarken(image.get(), 2 + 256 * 7);  // only the low byte counts
  EXPECT_EQ(Pixels(image.get()),
            (std::vector<uint32_t>{0xFBFBFB, 0, 0x000001, 0x7C0000}));
}

TEST(DemoDarkenPixels, WhiteIsBlackAfter128StepsOfTwo) {
  ImagePtr image(MakeImage(1, 1, {0xFFFFFF}));
  for (int i = 0; i < 127; ++i) DEMODarken(image.get(), 2);
  EXPECT_EQ(image->pixels[0], 0x010101u);
  DEMODarken(image.get(), 2);
  EXPECT_EQ(image->pixels[0], 0u);
}

using DemoRunTest = IntroTest;

TEST_F(DemoRunTest, StartUpMakesEveryObjectInTheWindowConfiguration) {
  Start(640, 480);
  ASSERT_TRUE(initialised_);
  EXPECT_EQ(demo.frame->width, 640);
  EXPECT_EQ(demo.frame->height, 480);
  EXPECT_EQ(demo.screen->cols, 80);
  EXPECT_EQ(demo.screen->rows, 60);
  EXPECT_EQ(demo.font->cellWidth, 8);
  ASSERT_NE(demo.font->glyphs, nullptr);
  EXPECT_EQ(demo.stars->count, 512);
  EXPECT_EQ(demo.stars->width, 80);
  EXPECT_EQ(demo.stars->height, 60);
  EXPECT_EQ(demo.scroller->row, 45);
  EXPECT_EQ(demo.scroller->screen, demo.screen);
  EXPECT_STREQ(demo.scroller->text, DEMO_SCROLL_MESSAGE);
  for (char* text : demo.frameTexts) {
    ASSERT_NE(text, nullptr);
    EXPECT_LE(std::strlen(text), size_t(DEMO_FRAME_TEXT_MAX));
  }
}

TEST_F(DemoRunTest, StartUpInTheFullScreenConfiguration) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  EXPECT_EQ(demo.screen->cols, 40);
  EXPECT_EQ(demo.screen->rows, 25);
  EXPECT_EQ(demo.scroller->row, 18);
}

// A frame renders every cell through the font, presents once, and dispatches
// the key pressed before its poll exactly once.
TEST_F(DemoRunTest, FrameDispatchesTheKeyOnceAndClearsIt) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  test::harness.keys = {{1, ' '}};
  DEMOFrame();
  EXPECT_EQ(demo.runState, DEMO_RUNNING);
  DEMOFrame();
  EXPECT_EQ(demo.runState, DEMO_NEXT_SCENE);
  EXPECT_EQ(demo.keyboard->keys[0], 0);
  demo.runState = DEMO_RUNNING;
  DEMOFrame();  // the key's release: nothing more happens
  EXPECT_EQ(demo.runState, DEMO_RUNNING);
  EXPECT_EQ(demo.presentations, 3);
}

TEST_F(DemoRunTest, FadeOutPresents256FramesEndingBlack) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  SCRPrint(demo.screen, 0, 0, "Hello");
  DEMOFrame();
  ASSERT_GT(
      *std::max_element(demo.frame->pixels, demo.frame->pixels + 320 * 200),
      0u);
  std::vector<int32_t> blackFrom;
  test::harness.onPresent = [&](int32_t n, const Image* frame) {
    bool black = std::all_of(frame->pixels, frame->pixels + 320 * 200,
                             [](uint32_t v) { return v == 0; });
    if (black && blackFrom.empty()) blackFrom.push_back(n);
  };
  DEMOFadeOut();
  EXPECT_EQ(demo.presentations, 1 + 256);
  ASSERT_EQ(blackFrom.size(), 1u);
  EXPECT_LE(blackFrom[0], 1 + 127);
}

// Quitting never waits long: at 30 presentations a second the fade's 256
// would take 8.5 s; they go at 256 a second instead, and the pace of the run
// comes back afterwards.
TEST_F(DemoRunTest, PacedFadeLastsAboutASecondAndKeepsTheRunsPace) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  DEMOSetRate(30);
  DEMOFrame();
  std::vector<int64_t> at;
  test::harness.onPresent = [&](int32_t, const Image*) {
    at.push_back(intro::MonotonicNanoseconds());
  };
  DEMOFadeOut();
  ASSERT_EQ(at.size(), 256u);
  const double fade = double(at.back() - at.front()) / 1e9;
  EXPECT_GT(fade, 0.9);  // 255 periods of 1/256 s
  EXPECT_LT(fade, 2.0);
  at.clear();
  for (int i = 0; i < 4; ++i) DEMOFrame();
  ASSERT_EQ(at.size(), 4u);
  EXPECT_GT(double(at.back() - at.front()) / 1e9, 2.5 / 30);
}

TEST_F(DemoRunTest, FreeReleasesAndClearsTheHandles) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  DEMOFrame();
  DEMOFree();
  EXPECT_EQ(demo.frame, nullptr);
  EXPECT_EQ(demo.font, nullptr);
  EXPECT_EQ(demo.keyboard, nullptr);
  EXPECT_EQ(demo.display, nullptr);
  EXPECT_EQ(demo.presentations, 1 + 256);
}

// The leak checker of the sanitizer build sees whether everything went.
TEST_F(DemoRunTest, ResetReleasesEverythingWithoutAFadeAndInitRunsAgain) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  test::harness.keys = {{0, ' '}};
  DEMOFrame();
  ASSERT_EQ(demo.runState, DEMO_NEXT_SCENE);
  int32_t presented = 0;
  test::harness.onPresent = [&](int32_t, const Image*) { ++presented; };
  DEMOReset();
  EXPECT_EQ(presented, 0);  // no fade
  EXPECT_EQ(demo.display, nullptr);
  EXPECT_EQ(demo.keyboard, nullptr);
  EXPECT_EQ(demo.frame, nullptr);
  EXPECT_EQ(demo.font, nullptr);
  EXPECT_EQ(demo.screen, nullptr);
  EXPECT_EQ(demo.mapText, nullptr);
  for (char* text : demo.frameTexts) EXPECT_EQ(text, nullptr);
  EXPECT_EQ(demo.stars, nullptr);
  EXPECT_EQ(demo.scroller, nullptr);
  EXPECT_EQ(demo.runState, DEMO_RUNNING);
  EXPECT_EQ(demo.presentations, 0);
  EXPECT_EQ(SCRCurrent(), nullptr);
  // After a full run and DEMOFree too, the rest goes and a new start works.
  ASSERT_TRUE(DEMOInit());
  EXPECT_EQ(demo.screen->cols, 40);
  test::harness.onPresent = nullptr;
  DEMOFrame();
  DEMOFree();
  DEMOReset();
  EXPECT_EQ(demo.screen, nullptr);
  EXPECT_EQ(demo.presentations, 0);
}

// A missing text-art file is named on standard error and start-up fails
// cleanly; a missing glyph sheet only leaves the frames black.
TEST_F(DemoRunTest, MissingDataFilesAreNamed) {
  test::TempDir empty;
  testing::internal::CaptureStderr();
  std::string out = test::StdoutOf([&] { Start(320, 200, empty.path()); });
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(initialised_);
  EXPECT_EQ(out, "IMG error\n");
  EXPECT_NE(err.find("\"font8x8.ppm\""), std::string::npos) << err;
  EXPECT_NE(err.find("\"WorldMap.txt\""), std::string::npos) << err;
  EXPECT_NE(err.find("\"manRun0o.txt\""), std::string::npos) << err;
  EXPECT_NE(err.find("working directory"), std::string::npos) << err;
}

TEST_F(DemoRunTest, WithoutGlyphSheetFramesAreBlackButKeysWork) {
  test::TempDir folder;
  for (const char* name :
       {"WorldMap.txt", "manRun00.txt", "manRun01.txt", "manRun02.txt",
        "manRun03.txt", "manRun04.txt", "manRun05.txt", "manRun06.txt",
        "manRun07.txt", "manRun08.txt", "manRun09.txt", "manRun0a.txt",
        "manRun0b.txt", "manRun0c.txt", "manRun0d.txt", "manRun0e.txt",
        "manRun0f.txt", "manRun0g.txt", "manRun0h.txt", "manRun0i.txt",
        "manRun0j.txt", "manRun0k.txt", "manRun0l.txt", "manRun0m.txt",
        "manRun0n.txt", "manRun0o.txt"})
    test::WriteFile(folder.File(name), "#\n");
  testing::internal::CaptureStderr();
  std::string out = test::StdoutOf([&] { Start(320, 200, folder.path()); });
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(initialised_);
  EXPECT_EQ(out, "IMG error\n");
  EXPECT_NE(err.find("\"font8x8.ppm\""), std::string::npos) << err;
  bool anyInk = false;
  test::harness.onPresent = [&](int32_t, const Image* frame) {
    anyInk |= std::any_of(frame->pixels, frame->pixels + 320 * 200,
                          [](uint32_t v) { return v != 0; });
  };
  test::harness.keys = {{30, 'q'}};
  DEMORun();
  EXPECT_EQ(demo.runState, DEMO_QUIT);
  EXPECT_EQ(demo.presentations, 31);
  EXPECT_FALSE(anyInk);
}

TEST_F(DemoRunTest, TextArtFilesAreCutAt615Bytes) {
  test::TempDir folder;
  test::WriteFile(folder.File("WorldMap.txt"), std::string(5000, 'm'));
  for (int k = 0; k < 25; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "manRun0%c.txt",
                  k < 10 ? '0' + k : 'a' + k - 10);
    test::WriteFile(folder.File(name),
                    k == 0 ? std::string(700, 'x') : std::string(100, 'y'));
  }
  Start(320, 200, folder.path());
  ASSERT_TRUE(initialised_);
  EXPECT_EQ(std::strlen(demo.mapText), 5000u);
  EXPECT_EQ(std::strlen(demo.frameTexts[0]), 615u);
  EXPECT_EQ(std::strlen(demo.frameTexts[1]), 100u);
}

// Every cell lands at (8 * col, 8 * row) as its glyph from the real sheet:
// the sheet's ink where the glyph has ink, black elsewhere.
TEST_F(DemoRunTest, RenderDrawsEveryCellThroughTheGlyphSheet) {
  Start(640, 480);
  ASSERT_TRUE(initialised_);
  const Image* sheet = demo.font->glyphs;
  ASSERT_EQ(sheet->width, 128);
  ASSERT_EQ(sheet->height, 64);
  TextScreen* screen = demo.screen;
  for (int32_t i = 0; i < screen->cols * screen->rows; ++i)
    screen->cells[i] = (i * 7) % 160 - 16;  // codes -16 .. 143
  ImagePtr image(MakeImage(640, 480, {}));
  DEMORender(image.get(), screen, demo.font);
  for (int32_t r = 0; r < screen->rows; ++r)
    for (int32_t c = 0; c < screen->cols; ++c) {
      int32_t code = screen->cells[r * screen->cols + c];
      for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) {
          uint32_t expected = 0;
          if (code >= 0 && code < 128)
            expected =
                sheet
                    ->pixels[((code / 16) * 8 + y) * 128 + (code % 16) * 8 + x];
          ASSERT_EQ(image->pixels[(r * 8 + y) * 640 + c * 8 + x], expected)
              << "cell " << c << "," << r << " code " << code << " pixel " << x
              << "," << y;
        }
    }
}

// SDL's quit event (close button, SIGINT, SIGTERM) quits as Escape does: the
// fade's 256 presentations follow; a second one during the fade ends it. The
// quit comes as a real one does: queued as the window's close button queues
// it, or by a signal to the process. Classic SDL 1.2 queues a signal's quit
// from its handler; SDL 2 beneath sdl12-compat only on the next pump of the
// queue, so in that run the fade ends early only if its check pumps events.
struct QuitSource {
  const char* name;
  int signal;  // 0: the event is queued directly
};

void PrintTo(const QuitSource& c, std::ostream* os) { *os << c.name; }

class DemoQuit : public IntroTest,
                 public testing::WithParamInterface<QuitSource> {};

TEST_P(DemoQuit, QuitEventsEndTheRunAndTheFade) {
  const QuitSource& source = GetParam();
  struct Case {
    std::vector<int32_t> quitsAt;  // presentations after which one comes
    int32_t presented;
  };
  for (const Case& c : {Case{{50}, 51 + 256}, Case{{50, 60}, 61}}) {
    Start(320, 200);
    ASSERT_TRUE(initialised_);
    if (source.signal) {
      // SDL's handler must be in place, or the signal ends the test program.
      struct sigaction action {};
      ASSERT_EQ(sigaction(source.signal, nullptr, &action), 0);
      ASSERT_NE(action.sa_handler, SIG_DFL) << "SDL handles no " << source.name;
    }
    test::harness.onPresent = [&](int32_t n, const Image*) {
      if (!std::count(c.quitsAt.begin(), c.quitsAt.end(), n)) return;
      if (source.signal)
        raise(source.signal);
      else
        SDLEventsPushQuit();
    };
    DEMORun();
    EXPECT_EQ(demo.runState, DEMO_QUIT);
    DEMOFree();
    EXPECT_EQ(demo.presentations, c.presented) << c.quitsAt.size() << " quits";
    TearDown();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DemoQuit,
    testing::Values(QuitSource{"QueuedEvent", 0}, QuitSource{"Sigint", SIGINT},
                    QuitSource{"Sigterm", SIGTERM}),
    [](const testing::TestParamInfo<QuitSource>& info) {
      return std::string(info.param.name);
    });

// The presentation count stops at INT32_MAX: a run that reaches it (the
// recorder's --frames 2147483647 does, and its fade adds 256 more) goes on
// presenting, and the count neither wraps nor overflows.
TEST_F(DemoRunTest, PresentationCountStopsAtItsLimit) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  demo.presentations = INT32_MAX - 2;
  std::vector<int32_t> seen;
  test::harness.onPresent = [&](int32_t n, const Image*) { seen.push_back(n); };
  for (int i = 0; i < 4; ++i) DEMOFrame();
  EXPECT_EQ(seen, (std::vector<int32_t>{INT32_MAX - 2, INT32_MAX - 1,
                                        INT32_MAX, INT32_MAX}));
  DEMOKey('q');
  DEMOFree();
  EXPECT_EQ(seen.size(), 4u + 256u);  // the whole fade
  EXPECT_EQ(demo.presentations, INT32_MAX);
}

// A press and its own release queued before one poll still switch the scene.
TEST_F(DemoRunTest, ATapBetweenTwoPollsIsNotLost) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  test::harness.onPresent = [](int32_t n, const Image*) {
    if (n == 10) {
      SDLEventsPushKey(' ', true);
      SDLEventsPushKey(' ', false);
    }
  };
  DEMOScene1();
  EXPECT_EQ(demo.runState, DEMO_NEXT_SCENE);
  EXPECT_EQ(demo.presentations, 11);
}

// Pacing changes when a frame appears, never what it shows: a paced run
// presents exactly the frames of an unpaced one, the fade included.
TEST_F(DemoRunTest, PacedRunShowsTheSameFrames) {
  std::vector<std::vector<uint32_t>> runs[2];
  for (int32_t fps : {0, 1000}) {
    Start(320, 200);
    ASSERT_TRUE(initialised_);
    DEMOSetRate(fps);
    auto& frames = runs[fps ? 1 : 0];
    test::harness.onPresent = [&](int32_t n, const Image* frame) {
      if (n % 7 == 0) frames.emplace_back(Pixels(frame));
    };
    test::harness.keys = {{120, ' '}, {300, 'q'}};
    DEMORun();
    DEMOFree();
    TearDown();
  }
  ASSERT_EQ(runs[0].size(), size_t(300 + 256 + 7) / 7);
  EXPECT_TRUE(runs[0] == runs[1]);
}

// The real program: missing data ends it with a message and status 1.
TEST(DemoProgram, ExitsNonZeroWhenDataIsMissing) {
  test::TempDir empty;
  std::string command = "cd '" + empty.path().string() +
                        "' && SDL_VIDEODRIVER=dummy '" INTRO_BINARY_DIR
                        "/bin/intro-window' 2>err.txt >out.txt";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::string err = test::ReadFile(empty.File("err.txt"));
  EXPECT_NE(err.find("\"WorldMap.txt\""), std::string::npos) << err;
}

// ---- Frames drawn where they changed --------------------------------------

// What the screen surface holds, as 0x00RRGGBB values (a 32-bit screen).
std::vector<uint32_t> ScreenSurface() {
  SDL_Surface* s = SDL_GetVideoSurface();
  std::vector<uint32_t> out;
  SDL_LockSurface(s);
  for (int y = 0; y < s->h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(
        static_cast<const uint8_t*>(s->pixels) + y * s->pitch);
    out.insert(out.end(), row, row + s->w);
  }
  SDL_UnlockSurface(s);
  return out;
}

// Random sequences of what a run does between frames (cells changed here and
// there, the fade, a new glyph sheet, another screen size): every frame image
// is the plain path's, clearing and rendering every cell, and on a 32-bit
// screen the screen shows it.
TEST_F(DemoRunTest, FramesMatchThePlainPathThroughFadesSheetsAndResizes) {
  Start(640, 480);
  ASSERT_TRUE(initialised_);
  // A 32-bit screen in the image's format, as on a desktop, where only the
  // changed parts are presented.
  SDL_SetVideoMode(640, 480, 32, 0);
  SDLDPYSetMode(demo.display, 640, 480);
  const bool checkScreen = SDL_GetVideoSurface()->format->BitsPerPixel == 32;
  std::mt19937 rng(20030728);
  std::vector<ImagePtr> oldSheets;  // kept, so no new sheet takes an address
  for (int frame = 0; frame < 120; ++frame) {
    const uint32_t step = frame < 2 ? 0 : rng() % 10;
    SCOPED_TRACE("frame " + std::to_string(frame) + ", step " +
                 std::to_string(step));
    TextScreen* screen = demo.screen;
    const int32_t n = screen->cols * screen->rows;
    switch (step) {
      case 0:
      case 1:
      case 2:
      case 3:  // a few cells: stars, a scroller
        for (int k = int(rng() % 20); k >= 0; --k)
          screen->cells[rng() % n] = rng() % 2 ? '*' : int32_t(rng() % 140);
        break;
      case 4:  // a scene's blank fill and a text printed at random
        SCRFill(screen, 32);
        SCRPrint(screen, int32_t(rng() % 60) - 20, int32_t(rng() % 40) - 10,
                 demo.frameTexts[rng() % DEMO_FRAME_TEXTS]);
        break;
      case 5:  // the fade's step, on the frame image in place
        DEMODarken(demo.frame, int32_t(rng() % 256));
        break;
      case 6: {  // a new sheet: the old one's glyphs in another colour
        ImagePtr sheet(IMGCopy(demo.font->glyphs));
        for (int32_t i = 0; i < sheet->width * sheet->height; ++i)
          if (sheet->pixels[i]) sheet->pixels[i] = 0x00FF8000 | uint32_t(i);
        oldSheets.emplace_back(demo.font->glyphs);
        demo.font->glyphs = sheet.release();
        break;
      }
      case 7: {  // another screen and frame size
        const bool small = demo.frame->width == 640;
        SCRResize(screen, small ? 40 : 80, small ? 25 : 60);
        SCRFill(screen, 'x');
        IMGResize(demo.frame, small ? 320 : 640, small ? 200 : 480);
        break;
      }
      case 8:  // nothing at all
        break;
      case 9:  // text over what is there
        SCRPrint(screen, int32_t(rng() % 40), int32_t(rng() % 25), "TANDRIX");
        break;
    }
    DEMOFrame();
    ImagePtr plain(IMGCopy(demo.frame));
    IMGClear(plain.get());
    DEMORender(plain.get(), demo.screen, demo.font);
    ASSERT_EQ(Pixels(demo.frame), Pixels(plain.get()));
    if (checkScreen && demo.frame->width == 640) {
      const std::vector<uint32_t> shown = ScreenSurface(),
                                  want = Pixels(plain.get());
      const auto at = std::mismatch(shown.begin(), shown.end(), want.begin());
      ASSERT_TRUE(at.first == shown.end())
          << "the screen differs at pixel (" << (at.first - shown.begin()) % 640
          << ", " << (at.first - shown.begin()) / 640 << ")";
    }
  }
}

// The whole fade darkens the picture in place: the frame after it is drawn in
// full, as if the frame image were new.
TEST_F(DemoRunTest, FrameAfterTheFadeOutIsTheWholePicture) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  SCRFill(demo.screen, 32);
  SCRPrint(demo.screen, 2, 3, "Hello\nworld");
  DEMOFrame();
  DEMOFadeOut();
  DEMOFrame();  // the same cells as before the fade
  ImagePtr plain(MakeImage(320, 200, {}));
  DEMORender(plain.get(), demo.screen, demo.font);
  EXPECT_EQ(Pixels(demo.frame), Pixels(plain.get()));
}

}  // namespace
