// The recorder's soundtrack, run as the real program: the WAV holds exactly
// the recorded presentations' sound, the quit fade included, and the frames
// are the same with it or without; the recorder never opens an audio device.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "synth/synth.h"
#include "tests/test_support.h"

namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Capture(const std::string& env, const std::string& args,
                const test::TempDir& dir) {
  std::string command = "cd '" INTRO_SOURCE_DIR "/data' && " + env + " '" +
                        INTRO_BINARY_DIR "/bin/intro-capture' " + args +
                        " >'" + dir.File("stdout") + "' 2>'" +
                        dir.File("stderr") + "' </dev/null";
  int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          test::ReadFile(dir.File("stdout")),
          test::ReadFile(dir.File("stderr"))};
}

std::vector<int16_t> Pcm(const std::string& bytes) {
  std::vector<int16_t> pcm;
  for (size_t i = WAV_HEADER_BYTES; i + 1 < bytes.size(); i += 2)
    pcm.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                       static_cast<uint8_t>(bytes[i + 1]) << 8));
  return pcm;
}

// The song as the recorder should hear total presentations at fps: full gain
// up to the quit, then the fade's 256 presentations from fadeFrom (none: -1),
// each ramping to one step less, down to silence. Presentation k covers
// frames [round(48000 k / fps), round(48000 (k + 1) / fps)).
std::vector<int16_t> Expected(int32_t fps, int32_t total, int32_t fadeFrom) {
  char error[256] = "";
  Song* song = SONGLoad(INTRO_SOURCE_DIR "/data/song.txt", error, sizeof error);
  EXPECT_NE(song, nullptr) << error;
  Synth* synth = SYNTHNew(song);
  SONGFree(&song);
  std::vector<int16_t> pcm;
  std::vector<int16_t> chunk(2 * SYNTH_RATE);
  auto start = [&](int64_t k) {
    return static_cast<int32_t>(std::llround(double(SYNTH_RATE) * k / fps));
  };
  for (int32_t k = 0; k < total; ++k) {
    if (fadeFrom >= 0 && k >= fadeFrom) SYNTHSetGain(synth, 255 - (k - fadeFrom));
    const int32_t n = start(k + 1) - start(k);
    SYNTHRender(synth, chunk.data(), n);
    pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + 2 * n);
  }
  SYNTHFree(&synth);
  return pcm;
}

struct RunCase {
  const char* name;
  int32_t fps;
  const char* keys;   // the script; none: no key
  int32_t frames;         // --frames
  int32_t presentations;  // presentations recorded, the fade's included
  int32_t fadeFrom;       // the fade's first presentation; -1: none
};

class CaptureWav : public testing::TestWithParam<RunCase> {};

TEST_P(CaptureWav, HoldsTheSoundOfThePresentationsRecorded) {
  const RunCase& c = GetParam();
  test::TempDir dir;
  std::string args = "--size 320x200 --gif " + dir.File("a.gif") + " --wav " +
                     dir.File("a.wav") + " --fps " + std::to_string(c.fps) +
                     " --frames " + std::to_string(c.frames);
  if (c.keys) args += std::string(" --keys ") + c.keys;
  const Outcome run = Capture("", args, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<int16_t> got = Pcm(test::ReadFile(dir.File("a.wav")));
  const std::vector<int16_t> expected =
      Expected(c.fps, c.presentations, c.fadeFrom);
  const int32_t presentations = c.presentations;
  // n / fps seconds to the sample.
  EXPECT_EQ(got.size(),
            2 * static_cast<size_t>(std::llround(double(SYNTH_RATE) *
                                                 presentations / c.fps)));
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "the PCM differs from the song's render";
  if (c.presentations == c.fadeFrom + 256) {
    EXPECT_EQ(got[got.size() - 1], 0);
    EXPECT_EQ(got[got.size() - 2], 0);
  }
  EXPECT_NE(run.out.find(" s of sound, " + std::to_string(got.size() / 2) +
                         " sample frames"),
            std::string::npos)
      << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CaptureWav,
    testing::Values(
        RunCase{"QuitFadesTheSoundWithThePicture", 50, "60:q", 1000, 317, 61},
        RunCase{"SeventyASecondDoesNotDrift", 70, "40:space,90:q", 1000, 347,
                91},
        RunCase{"TheLastPresentationEndsIt", 60, nullptr, 130, 130, -1},
        RunCase{"TheFadeIsCutWithTheRecording", 50, "10:q", 100, 100, 11}),
    [](const testing::TestParamInfo<RunCase>& info) {
      return info.param.name;
    });

// --from leaves out the sound of the presentations before it, as it does
// their frames.
TEST(CaptureWavFrom, StartsAtTheFirstPresentationRecorded) {
  test::TempDir dir;
  const Outcome run = Capture(
      "", "--size 320x200 --frames 80 --from 30 --every 7 --fps 60 --gif " +
              dir.File("a.gif") + " --wav " + dir.File("a.wav"),
      dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<int16_t> got = Pcm(test::ReadFile(dir.File("a.wav")));
  const std::vector<int16_t> all = Expected(60, 80, -1);
  ASSERT_EQ(got.size(), size_t{50 * 800 * 2});
  EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin() + 30 * 800 * 2));
}

// The recorder renders the sound itself: with SDL's file-writing audio driver
// chosen, no device is opened (the file never appears), and the frames it
// writes are byte for byte those of a run without --wav.
TEST(CaptureWavDevice, OpensNoAudioDeviceAndKeepsTheFrames) {
  test::TempDir dir;
  const std::string disk = dir.File("device.raw");
  const std::string env = "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + disk + "'";
  const std::string script = " --size 320x200 --frames 40 --every 3 "
                             "--keys 5:space,30:q --out ";
  ASSERT_EQ(Capture(env, script + dir.File("heard") + " --wav " +
                              dir.File("a.wav"), dir)
                .status,
            0);
  ASSERT_EQ(Capture(env, script + dir.File("mute"), dir).status, 0);
  EXPECT_FALSE(std::filesystem::exists(disk));
  const std::vector<std::string> names = test::Listing(dir.File("heard"));
  ASSERT_EQ(names.size(), 14u);
  EXPECT_EQ(names, test::Listing(dir.File("mute")));
  for (const std::string& name : names)
    EXPECT_EQ(test::ReadFile(dir.File("heard/" + name)),
              test::ReadFile(dir.File("mute/" + name)))
        << name;
}

TEST(CaptureWavDevice, AnUnwritableWavFailsTheRunAndLeavesNoFile) {
  test::TempDir dir;
  const Outcome run = Capture(
      "", "--frames 5 --gif " + dir.File("a.gif") + " --wav " +
              dir.File("no/such/a.wav"),
      dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write " + dir.File("no/such/a.wav")),
            std::string::npos)
      << run.err;
}

}  // namespace
