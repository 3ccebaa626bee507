// The audio device on SDL's disk driver, which writes what the callback gives
// to a file: the bytes played are the synth's from its first frame.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sdl/audio.h"
#include "tests/test_support.h"

namespace {

constexpr char kSongFile[] = INTRO_SOURCE_DIR "/data/song.txt";

class SdlAudio : public testing::Test {
 protected:
  void SetUp() override {
    char error[256] = "";
    song_ = SONGLoad(kSongFile, error, sizeof error);
    ASSERT_NE(song_, nullptr) << error;
    synth_ = SYNTHNew(song_);
    ASSERT_NE(synth_, nullptr);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir_.File("out.raw").c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
  }
  void TearDown() override {
    SDLAUDClose();
    SDL_Quit();
    SYNTHFree(&synth_);
    SONGFree(&song_);
    unsetenv("SDL_AUDIODRIVER");
  }

  test::TempDir dir_;
  Song* song_ = nullptr;
  Synth* synth_ = nullptr;
};

TEST_F(SdlAudio, PlaysTheSynthFromItsFirstFrame) {
  const char* reason = nullptr;
  ASSERT_TRUE(SDLAUDOpen(synth_, &reason)) << reason;
  EXPECT_TRUE(SDLAUDIsOpen());
  // A quarter of a second of frames, waited for at most 10 s.
  constexpr size_t kFrames = SYNTH_RATE / 4;
  constexpr size_t kBytes = kFrames * SYNTH_CHANNELS * sizeof(int16_t);
  const std::string file = dir_.File("out.raw");
  for (int k = 0; k < 1000; ++k) {
    std::error_code error;
    if (std::filesystem::file_size(file, error) >= kBytes && !error) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  SDLAUDClose();
  EXPECT_FALSE(SDLAUDIsOpen());
  const std::string played = test::ReadFile(file);
  ASSERT_GE(played.size(), kBytes);
  std::vector<int16_t> got(played.size() / sizeof(int16_t));
  std::memcpy(got.data(), played.data(), got.size() * sizeof(int16_t));
  // sdl12-compat's device plays silence until the open unpauses it: what the
  // synth gave starts at the first sound.
  auto sound = std::find_if(got.begin(), got.end(),
                            [](int16_t v) { return v != 0; });
  got.erase(got.begin(), sound - (sound - got.begin()) % SYNTH_CHANNELS);
  ASSERT_GE(got.size(), kFrames * SYNTH_CHANNELS / 2);
  got.resize(std::min(got.size(), kFrames * SYNTH_CHANNELS));

  Synth* fresh = SYNTHNew(song_);
  ASSERT_NE(fresh, nullptr);
  std::vector<int16_t> expected(got.size());
  SYNTHRender(fresh, expected.data(),
              static_cast<int32_t>(got.size() / SYNTH_CHANNELS));
  SYNTHFree(&fresh);
  ASSERT_NE(expected[0], 0);  // the song starts on its first frame
  EXPECT_EQ(got, expected);
  int32_t peak = 0;
  for (int16_t v : got) peak = std::max(peak, std::abs(int32_t{v}));
  EXPECT_GT(peak, 1000);  // not silence
  EXPECT_GE(SYNTHPosition(synth_), static_cast<int64_t>(kFrames));
}

TEST_F(SdlAudio, RefusesASecondOpenAndNoSynth) {
  const char* reason = nullptr;
  EXPECT_FALSE(SDLAUDOpen(nullptr, &reason));
  EXPECT_STREQ(reason, "no synth to play");
  ASSERT_TRUE(SDLAUDOpen(synth_, &reason)) << reason;
  EXPECT_FALSE(SDLAUDOpen(synth_, &reason));
  EXPECT_STREQ(reason, "the audio device is open already");
  EXPECT_TRUE(SDLAUDIsOpen());
}

TEST_F(SdlAudio, SaysWhyWhenThereIsNoDevice) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  const char* reason = nullptr;
  EXPECT_FALSE(SDLAUDOpen(synth_, &reason));
  ASSERT_NE(reason, nullptr);
  EXPECT_EQ(std::string(reason).rfind("no audio device: ", 0), 0u) << reason;
  EXPECT_GT(std::strlen(reason), std::strlen("no audio device: "));
  EXPECT_FALSE(SDLAUDIsOpen());
  SDLAUDClose();  // nothing to close
}

}  // namespace
