// A fixture that runs the real intro headless: SDL on its dummy video driver,
// the data files from the source tree's data folder, the configured screen
// size chosen per test, and the harness's key script.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/random.h"
#include "demo/demo.h"
#include "tests/demo_harness.h"

namespace test {

class IntroTest : public testing::Test {
 protected:
  // Starts SDL and the intro as a fresh process would, with the given
  // configured screen size, from folder (the data folder by default).
  void Start(int32_t width, int32_t height,
             const std::string& folder = INTRO_SOURCE_DIR "/data") {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE), 0)
        << SDL_GetError();
    sdlUp_ = true;
    DemoConfig config = HarnessConfig(width, height);
    config.sound = sound_;
    DEMOConfigure(config);
    intro::RandReset();
    harness.Reset();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(chdir(folder.c_str()), 0) << folder;
    initialised_ = DEMOInit();
  }

  // Whatever the test left, the driver releases it and starts from zero.
  void TearDown() override {
    if (!sdlUp_) return;
    DEMOReset();
    SDL_Quit();
    if (!oldCwd_.empty()) {
      EXPECT_EQ(chdir(oldCwd_.c_str()), 0);
    }
    sdlUp_ = false;
  }

  bool initialised_ = false;
  DemoSound sound_ = DemoSound::Off;  // the soundtrack, set before Start

 private:
  bool sdlUp_ = false;
  std::string oldCwd_;
};

// The text screen as rows of characters (cells outside 32..126 as '?').
inline std::vector<std::string> ScreenRows(const TextScreen* screen) {
  std::vector<std::string> rows;
  for (int32_t r = 0; r < screen->rows; ++r) {
    std::string row;
    for (int32_t c = 0; c < screen->cols; ++c) {
      int32_t v = screen->cells[r * screen->cols + c];
      row += v >= 32 && v <= 126 ? char(v) : '?';
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace test
