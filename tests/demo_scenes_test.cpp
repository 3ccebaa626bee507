#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/sintab.h"
#include "demo/demo.h"
#include "tests/demo_fixture.h"
#include "tests/test_support.h"

namespace {

using test::IntroTest;
using test::ScreenRows;

// What each presentation showed: the scene-2 frame counter at that moment
// (it only moves in scene 2) and the text screen that was rendered.
struct Recorder {
  std::vector<int32_t> counters;
  std::vector<std::vector<std::string>> screens;
  bool keepScreens = true;

  void Attach() {
    test::harness.onPresent = [this](int32_t n, const Image*) {
      if (n != int32_t(counters.size())) return;  // the fade: nothing new
      counters.push_back(static_cast<int32_t>(demo.frameCounter));
      if (keepScreens) screens.push_back(ScreenRows(demo.screen));
    };
  }
  bool InScene2(int32_t n) const {
    return n > 0 ? counters[n] != counters[n - 1] : counters[0] != 0;
  }
};

std::vector<std::string> LogoRows() {
  std::vector<std::string> rows;
  const char* p = DEMO_LOGO;
  while (const char* end = std::strchr(p, '\n')) {
    rows.emplace_back(p, end);
    p = end + 1;
  }
  return rows;
}

// The scroll message from index offset, cyclically, n characters.
std::string MessageWindow(int32_t offset, int32_t n) {
  const std::string text = DEMO_SCROLL_MESSAGE;
  std::string s;
  for (int32_t i = 0; i < n; ++i) s += text[(offset + i) % text.size()];
  return s;
}

using SceneFlow = IntroTest;

TEST_F(SceneFlow, WithoutKeysScene1PlaysFourHundredFramesThenScene2) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  Recorder rec;
  rec.keepScreens = false;
  rec.Attach();
  test::harness.keys = {{450, 'q'}};
  DEMORun();
  EXPECT_EQ(demo.runState, DEMO_QUIT);
  ASSERT_EQ(rec.counters.size(), 451u);
  for (int32_t n = 0; n < 400; ++n) ASSERT_EQ(rec.counters[n], 0) << n;
  for (int32_t n = 400; n <= 450; ++n) ASSERT_EQ(rec.counters[n], n - 399) << n;
}

TEST_F(SceneFlow, FirstPanStartsAtPhases319And258) {
  Start(640, 480);
  ASSERT_TRUE(initialised_);
  std::vector<std::pair<int32_t, int32_t>> phases;
  test::harness.onPresent = [&](int32_t, const Image*) {
    phases.push_back({demo.p, demo.q});
  };
  test::harness.keys = {{1, 'q'}};
  DEMORun();
  ASSERT_GE(phases.size(), 2u);
  // Each frame shows the position from before the phases advance.
  EXPECT_EQ(phases[0], std::make_pair(319 + 6, 258 + 4));
  EXPECT_EQ(intro::SINTAB[319] >> 8, 118);
  EXPECT_EQ(intro::SINTAB[258] >> 8, 127);
}

TEST_F(SceneFlow, SpaceDuringPanSkipsTheRunningMan) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  Recorder rec;
  rec.Attach();
  test::harness.keys = {{10, ' '}, {30, 'q'}};
  DEMORun();
  ASSERT_EQ(rec.counters.size(), 31u);
  EXPECT_FALSE(rec.InScene2(10));
  for (int32_t n = 11; n <= 30; ++n) EXPECT_TRUE(rec.InScene2(n)) << n;
}

TEST_F(SceneFlow, SpaceDuringRunningManStartsScene2FromABlankScreen) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  Recorder rec;
  rec.Attach();
  test::harness.keys = {{250, ' '}, {252, 'q'}};
  DEMORun();
  ASSERT_EQ(rec.counters.size(), 253u);
  EXPECT_FALSE(rec.InScene2(250));
  EXPECT_TRUE(rec.InScene2(251));
  // Scene 2's first frame holds only stars, the logo box and the scroll row
  // (blank at first): nothing of the map or the running man remains.
  const auto& rows = rec.screens[251];
  for (size_t r = 0; r < rows.size(); ++r)
    for (char ch : rows[r])
      ASSERT_TRUE(ch == ' ' || ch == '*' || ch == '0')
          << "row " << r << ": " << rows[r];
}

TEST_F(SceneFlow, SpaceInScene2ReturnsToScene1WithNewPhases) {
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  Recorder rec;
  rec.keepScreens = false;
  rec.Attach();
  std::vector<std::pair<int32_t, int32_t>> phases;
  test::harness.onPresent = [&, inner = test::harness.onPresent](
                                int32_t n, const Image* f) {
    inner(n, f);
    phases.push_back({demo.p, demo.q});
  };
  test::harness.keys = {{10, ' '}, {20, ' '}, {40, 'q'}};
  DEMORun();
  ASSERT_EQ(rec.counters.size(), 41u);
  for (int32_t n = 11; n <= 20; ++n) EXPECT_TRUE(rec.InScene2(n)) << n;
  for (int32_t n = 21; n <= 40; ++n) EXPECT_FALSE(rec.InScene2(n)) << n;
  EXPECT_NE(phases[21], phases[0]);
}

TEST_F(SceneFlow, QuitFromEitherSceneFadesAndEnds) {
  for (int32_t quitAt : {5, 300, 420}) {
    Start(320, 200);
    ASSERT_TRUE(initialised_);
    std::vector<bool> black;
    test::harness.onPresent = [&](int32_t, const Image* frame) {
      black.push_back(std::all_of(frame->pixels, frame->pixels + 320 * 200,
                                  [](uint32_t v) { return v == 0; }));
    };
    test::harness.keys = {{quitAt, 'Q'}};
    DEMORun();
    EXPECT_EQ(demo.runState, DEMO_QUIT);
    EXPECT_EQ(demo.presentations, quitAt + 1);
    DEMOFree();
    ASSERT_EQ(black.size(), size_t(quitAt + 1 + 256)) << quitAt;
    // The pan's first frames show nothing: the map starts far off screen.
    if (quitAt >= 200) {
      EXPECT_FALSE(black[quitAt]) << quitAt;
    }
    EXPECT_TRUE(black.back()) << quitAt;
    TearDown();
  }
}

// Scene 2's frame counter, started just below where a signed count would
// overflow (2^31) and where the count wraps (2^32), runs on with the same
// alternation of scroller steps: every frame is the one a run started from a
// counter of the same parity shows.
TEST_F(SceneFlow, Scene2FramesStayTheSameAcrossTheCountersLimits) {
  constexpr int32_t kFrames = 12;
  auto run = [&](uint32_t counter) {
    std::vector<std::vector<uint32_t>> frames;
    Start(320, 200);
    EXPECT_TRUE(initialised_);
    if (!initialised_) return frames;
    demo.frameCounter = counter;
    demo.scroller->offset = 90;  // the message's first words in view
    test::harness.onPresent = [&](int32_t, const Image* frame) {
      frames.push_back(test::Pixels(frame));
    };
    test::harness.keys = {{kFrames - 1, 'q'}};
    DEMOScene2();
    EXPECT_EQ(demo.frameCounter, counter + kFrames);
    TearDown();
    return frames;
  };
  const auto fromZero = run(0), fromOne = run(1);
  ASSERT_EQ(fromZero.size(), size_t(kFrames));
  ASSERT_NE(fromZero, fromOne);  // the parity does show
  for (uint32_t start : {0x80000000u - 4, 0x80000000u - 3, 0xFFFFFFFFu - 4,
                         0xFFFFFFFFu - 5}) {
    EXPECT_TRUE(run(start) == (start & 1 ? fromOne : fromZero))
        << "from " << start;
  }
}

struct Layout {
  int32_t width, height;
  int32_t logoTop, logoLeftAtZero, logoMin, logoMax, scrollRow, manCol, manRow;
};

class ScenePositions : public IntroTest,
                       public testing::WithParamInterface<Layout> {};

TEST_P(ScenePositions, LogoScrollerAndRunningManSitWhereExpected) {
  const Layout& l = GetParam();
  Start(l.width, l.height);
  ASSERT_TRUE(initialised_);
  Recorder rec;
  rec.Attach();
  test::harness.keys = {{400 + 300, 'q'}};
  DEMORun();
  ASSERT_EQ(rec.screens.size(), 701u);

  // The running man's first frame text at its place in presentation 200.
  const auto& manScreen = rec.screens[200];
  int32_t r = l.manRow, c = l.manCol;
  for (const char* p = demo.frameTexts[0]; *p; ++p) {
    if (*p == '\n') {
      ++r;
      c = l.manCol;
      continue;
    }
    if (r < int32_t(manScreen.size()) && c < int32_t(manScreen[r].size())) {
      ASSERT_EQ(manScreen[r][c], *p) << "row " << r << " col " << c;
    }
    ++c;
  }

  // Scene 2: the logo's opaque box swings between its bounds; the scroll row
  // shows the message one cell further every second frame; stars elsewhere.
  const auto logo = LogoRows();
  ASSERT_EQ(logo.size(), 5u);
  int32_t minLeft = 1 << 30, maxLeft = -1, stars = 0;
  for (int32_t k = 0; k < 300; ++k) {
    const auto& rows = rec.screens[400 + k];
    int32_t left = -1;
    for (int32_t x = 0; x + 19 <= l.width / 8 && left < 0; ++x) {
      bool match = true;
      for (int i = 0; i < 5 && match; ++i)
        match = rows[l.logoTop + i].compare(x, 19, logo[i]) == 0;
      if (match) left = x;
    }
    ASSERT_GE(left, 0) << "no logo in scene-2 frame " << k;
    if (k == 0) {
      EXPECT_EQ(left, l.logoLeftAtZero);
    }
    minLeft = std::min(minLeft, left);
    maxLeft = std::max(maxLeft, left);
    ASSERT_EQ(rows[l.scrollRow], MessageWindow(k / 2, l.width / 8))
        << "scene-2 frame " << k;
    for (const auto& row : rows)
      stars += std::count(row.begin(), row.end(), '*');
  }
  EXPECT_EQ(minLeft, l.logoMin);
  EXPECT_EQ(maxLeft, l.logoMax);
  EXPECT_GT(stars, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, ScenePositions,
    testing::Values(Layout{320, 200, 6, 11, 1, 20, 18, 16, 6},
                    Layout{640, 480, 15, 31, 11, 50, 45, 36, 24}),
    [](const auto& info) {
      return std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

}  // namespace
