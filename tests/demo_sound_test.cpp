// The soundtrack in the driver: which runs open the audio device, that sound
// changes no frame, the fade to silence with the picture, and the runs that
// go on silent when the song or the device is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "sdl/audio.h"
#include "sdl/events.h"
#include "tests/demo_fixture.h"
#include "tests/test_support.h"

namespace {

constexpr int32_t kFramesPerPresentation = SYNTH_RATE / 50;

// FNV-1a over a frame's pixels.
uint64_t FrameHash(const Image* frame) {
  uint64_t h = 1469598103934665603ull;
  const size_t n = static_cast<size_t>(frame->width) * frame->height;
  for (size_t i = 0; i < n; ++i) h = (h ^ frame->pixels[i]) * 1099511628211ull;
  return h;
}

int32_t Peak(const std::vector<int16_t>& samples, size_t from, size_t to) {
  int32_t peak = 0;
  for (size_t i = from; i < to; ++i)
    peak = std::max(peak, std::abs(int32_t{samples[i]}));
  return peak;
}

// The data folder copied, with song.txt replaced by song (none: no song.txt).
void CopyData(const test::TempDir& dir, const char* song) {
  for (const auto& entry :
       std::filesystem::directory_iterator(INTRO_SOURCE_DIR "/data")) {
    if (!entry.is_regular_file() || entry.path().filename() == "song.txt")
      continue;
    std::filesystem::copy_file(entry.path(), dir.path() / entry.path().filename());
  }
  if (song) test::WriteFile(dir.File("song.txt"), song);
}

class DemoSoundTest : public test::IntroTest {
 protected:
  void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
  void TearDown() override {
    IntroTest::TearDown();
    unsetenv("SDL_AUDIODRIVER");
  }

  // Every frame presented by a run of 300 presentations with a scene switch
  // at 120, then the quit fade.
  std::vector<uint64_t> RunFrames() {
    std::vector<uint64_t> hashes;
    test::harness.keys = {{120, ' '}};
    test::harness.quitAfter = 300;
    test::harness.onPresent = [&](int32_t, const Image* frame) {
      hashes.push_back(FrameHash(frame));
    };
    DEMORun();
    DEMOFree();
    return hashes;
  }
};

TEST_F(DemoSoundTest, MuteOpensNoAudioDeviceAndReadsNoSong) {
  sound_ = DemoSound::Off;
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  EXPECT_FALSE(SDLAUDIsOpen());
  EXPECT_EQ(demo.synth, nullptr);
  EXPECT_FALSE(SDL_WasInit(SDL_INIT_AUDIO));
}

TEST_F(DemoSoundTest, TheIntrosPlayTheSongOnTheDeviceUntilTheyEnd) {
  sound_ = DemoSound::Device;
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  EXPECT_TRUE(SDLAUDIsOpen());
  ASSERT_NE(demo.synth, nullptr);
  RunFrames();
  EXPECT_FALSE(SDLAUDIsOpen());
  EXPECT_EQ(demo.synth, nullptr);
}

TEST_F(DemoSoundTest, TheRecorderGetsTheSynthButNoDevice) {
  sound_ = DemoSound::Render;
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  EXPECT_FALSE(SDLAUDIsOpen());
  ASSERT_NE(demo.synth, nullptr);
  std::vector<int16_t> samples(2 * SYNTH_RATE);
  SYNTHRender(demo.synth, samples.data(), SYNTH_RATE);
  EXPECT_GT(Peak(samples, 0, samples.size()), 1000);
}

TEST_F(DemoSoundTest, SoundChangesNoFrame) {
  sound_ = DemoSound::Off;
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  const std::vector<uint64_t> mute = RunFrames();
  TearDown();
  SetUp();
  sound_ = DemoSound::Device;
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  ASSERT_TRUE(SDLAUDIsOpen());
  const std::vector<uint64_t> heard = RunFrames();
  ASSERT_EQ(mute.size(), size_t{300 + DEMO_FADE_STEPS});
  EXPECT_EQ(heard, mute);
}

// The recorder's way of hearing the run: each presentation's samples rendered
// as it is presented. The fade's presentation k ends on DEMOFadeGain(k), the
// sound dies away with the picture, and the last sample is silent.
TEST_F(DemoSoundTest, TheFadeRampsToSilenceWithThePicture) {
  sound_ = DemoSound::Render;
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  std::vector<int16_t> samples;
  std::vector<int32_t> gains;
  std::vector<int16_t> chunk(2 * kFramesPerPresentation);
  test::harness.quitAfter = 100;
  test::harness.onPresent = [&](int32_t, const Image*) {
    SYNTHRender(demo.synth, chunk.data(), kFramesPerPresentation);
    samples.insert(samples.end(), chunk.begin(), chunk.end());
    gains.push_back(SYNTHGain(demo.synth));
  };
  DEMORun();
  DEMOFree();
  ASSERT_EQ(gains.size(), size_t{100 + DEMO_FADE_STEPS});
  for (int32_t n = 0; n < 100; ++n) ASSERT_EQ(gains[n], SYNTH_GAIN_FULL) << n;
  for (int32_t k = 0; k < DEMO_FADE_STEPS; ++k)
    ASSERT_EQ(gains[100 + k], DEMOFadeGain(k)) << "fade step " << k;
  EXPECT_EQ(gains.back(), 0);
  const size_t per = chunk.size();
  // Louder before the fade than in its middle, and far louder than its end.
  const int32_t before = Peak(samples, 0, 100 * per);
  const int32_t middle = Peak(samples, (100 + 120) * per, (100 + 136) * per);
  const int32_t end = Peak(samples, samples.size() - 8 * per, samples.size());
  EXPECT_GT(before, 1000);
  EXPECT_LT(middle, before * 3 / 4);
  EXPECT_LT(end, before / 16);
  EXPECT_EQ(samples[samples.size() - 1], 0);
  EXPECT_EQ(samples[samples.size() - 2], 0);
}

TEST_F(DemoSoundTest, ASecondQuitSilencesAtOnce) {
  sound_ = DemoSound::Render;
  Start(320, 200);
  ASSERT_TRUE(initialised_);
  test::harness.quitAfter = 20;
  DEMORun();
  int32_t fadePresentations = 0;
  test::harness.onPresent = [&](int32_t, const Image*) {
    if (++fadePresentations == 10) SDLEventsPushQuit();
  };
  DEMOFadeOut();
  EXPECT_EQ(fadePresentations, 10);
  std::vector<int16_t> chunk(2 * kFramesPerPresentation);
  SYNTHRender(demo.synth, chunk.data(), kFramesPerPresentation);
  EXPECT_EQ(SYNTHGain(demo.synth), 0);
  EXPECT_EQ(chunk.back(), 0);
}

struct SongCase {
  const char* name;
  const char* song;      // none: no song.txt
  const char* expected;  // in the one line on standard error
};

class DemoSongFault : public test::IntroTest,
                      public testing::WithParamInterface<SongCase> {
 protected:
  void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
  void TearDown() override {
    IntroTest::TearDown();
    unsetenv("SDL_AUDIODRIVER");
  }
};

// A song that cannot be played is named in one line; the intro starts all the
// same, with no device and a synth of silence.
TEST_P(DemoSongFault, IsNamedAndTheIntroRunsSilent) {
  const SongCase& c = GetParam();
  test::TempDir dir;
  CopyData(dir, c.song);
  sound_ = DemoSound::Device;
  testing::internal::CaptureStderr();
  Start(320, 200, dir.path());
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(initialised_);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(err.rfind("intro: no sound: song.txt", 0), 0u) << err;
  EXPECT_NE(err.find(c.expected), std::string::npos) << err;
  EXPECT_FALSE(SDLAUDIsOpen());
  ASSERT_NE(demo.synth, nullptr);
  std::vector<int16_t> samples(2 * 4800, 1);
  SYNTHRender(demo.synth, samples.data(), 4800);
  EXPECT_EQ(Peak(samples, 0, samples.size()), 0);
  test::harness.quitAfter = 5;
  DEMORun();
  EXPECT_EQ(demo.presentations, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DemoSongFault,
    testing::Values(
        SongCase{"Missing", nullptr, "No such file or directory"},
        SongCase{"Malformed", "tempo 120\nbogus line\n", "song.txt:"},
        SongCase{"Empty", "", "song.txt"}),
    [](const testing::TestParamInfo<SongCase>& info) {
      return info.param.name;
    });

TEST_F(DemoSoundTest, NoAudioDeviceIsNamedAndTheIntroRunsSilent) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  sound_ = DemoSound::Device;
  testing::internal::CaptureStderr();
  Start(320, 200);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(initialised_);
  EXPECT_EQ(err.rfind("intro: no sound: no audio device: ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_FALSE(SDLAUDIsOpen());
  test::harness.quitAfter = 5;
  DEMORun();
  DEMOFree();
  EXPECT_EQ(demo.presentations, 5 + DEMO_FADE_STEPS);
}

}  // namespace
