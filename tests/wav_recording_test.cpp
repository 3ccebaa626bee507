// The WAV soundtrack of a recording: the file read back sample for sample,
// its length to the sample at any rate, the presentations it leaves out, the
// gain ramp, and the target left alone on failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "recording/recording.h"
#include "synth/synth.h"
#include "tests/test_support.h"

namespace {

constexpr char kSongFile[] = INTRO_SOURCE_DIR "/data/song.txt";

// A synth at the start of the intro's song.
struct SongSynth {
  SongSynth() {
    char error[256] = "";
    Song* song = SONGLoad(kSongFile, error, sizeof error);
    EXPECT_NE(song, nullptr) << error;
    synth = SYNTHNew(song);
    SONGFree(&song);
  }
  ~SongSynth() { SYNTHFree(&synth); }
  Synth* synth = nullptr;
};

// The PCM of a WAV file, after checking its header says frames frames.
std::vector<int16_t> ReadPcm(const std::string& path, uint32_t frames) {
  const std::string bytes = test::ReadFile(path);
  uint8_t header[WAV_HEADER_BYTES];
  WAVHeader(header, frames);
  EXPECT_GE(bytes.size(), WAV_HEADER_BYTES);
  if (bytes.size() < WAV_HEADER_BYTES) return {};
  EXPECT_EQ(std::memcmp(bytes.data(), header, WAV_HEADER_BYTES), 0)
      << "the header does not say " << frames << " frames";
  std::vector<int16_t> pcm((bytes.size() - WAV_HEADER_BYTES) / 2);
  for (size_t i = 0; i < pcm.size(); ++i) {
    const auto lo = static_cast<uint8_t>(bytes[WAV_HEADER_BYTES + 2 * i]);
    const auto hi = static_cast<uint8_t>(bytes[WAV_HEADER_BYTES + 2 * i + 1]);
    pcm[i] = static_cast<int16_t>(lo | hi << 8);
  }
  return pcm;
}

// What a fresh synth renders from its start, the first skip frames dropped.
std::vector<int16_t> Reference(int64_t skip, int64_t frames) {
  SongSynth fresh;
  std::vector<int16_t> all(static_cast<size_t>(skip + frames) * 2);
  SYNTHRender(fresh.synth, all.data(), static_cast<int32_t>(skip + frames));
  return {all.begin() + skip * 2, all.end()};
}

struct LengthCase {
  const char* name;
  int32_t fps, first, presentations;
  int64_t frames;  // round(48000 * presentations / fps) - the first's start
};

class WavLength : public testing::TestWithParam<LengthCase> {};

TEST_P(WavLength, HoldsTheRecordedPresentationsToTheSample) {
  const LengthCase& c = GetParam();
  test::TempDir dir;
  const std::string path = dir.File("out.wav");
  SongSynth played;
  std::string error;
  WavRecording* wav = RECWavOpen(path.c_str(), c.fps, c.first, &error);
  ASSERT_NE(wav, nullptr) << error;
  for (int32_t k = 0; k < c.presentations; ++k)
    ASSERT_TRUE(RECWavAdd(wav, played.synth, &error)) << error;
  EXPECT_EQ(RECWavFrames(wav), c.frames);
  ASSERT_TRUE(RECWavClose(&wav, &error)) << error;
  EXPECT_EQ(wav, nullptr);
  const std::vector<int16_t> pcm =
      ReadPcm(path, static_cast<uint32_t>(c.frames));
  ASSERT_EQ(pcm.size(), static_cast<size_t>(c.frames) * 2);
  const int64_t total = SYNTHPosition(played.synth);
  EXPECT_EQ(pcm, Reference(total - c.frames, c.frames));
  EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{"out.wav"});
}

INSTANTIATE_TEST_SUITE_P(
    Rates, WavLength,
    testing::Values(
        LengthCase{"FiftyASecond", 50, 0, 100, 96000},
        // 800 frames each: no rounding at all.
        LengthCase{"SixtyASecond", 60, 0, 61, 48800},
        // 48000 / 7 = 6857.14...: the shares differ, the sum does not drift.
        LengthCase{"SevenASecond", 7, 0, 25, 171429},
        LengthCase{"ThousandASecond", 1000, 0, 1001, 48048},
        LengthCase{"OneASecond", 1, 0, 3, 144000},
        // From presentation 5 of 60 a second: 800 * 5 frames left out.
        LengthCase{"FromAPresentation", 60, 5, 65, 48000},
        LengthCase{"FromPastTheEnd", 50, 10, 10, 0}),
    [](const testing::TestParamInfo<LengthCase>& info) {
      return info.param.name;
    });

// The gain set before a presentation is reached across its samples: a ramp to
// 0 over the last presentation goes down linearly and ends on silence.
TEST(WavRecording, RampsToTheGainSetBeforeAPresentation) {
  test::TempDir dir;
  const std::string path = dir.File("fade.wav");
  SongSynth played;
  std::string error;
  WavRecording* wav = RECWavOpen(path.c_str(), 50, 0, &error);
  ASSERT_NE(wav, nullptr) << error;
  ASSERT_TRUE(RECWavAdd(wav, played.synth, &error));
  SYNTHSetGain(played.synth, 0);
  ASSERT_TRUE(RECWavAdd(wav, played.synth, &error));
  ASSERT_TRUE(RECWavClose(&wav, &error)) << error;
  const std::vector<int16_t> pcm = ReadPcm(path, 1920);
  ASSERT_EQ(pcm.size(), 1920u * 2);
  EXPECT_EQ(pcm[pcm.size() - 1], 0);
  EXPECT_EQ(pcm[pcm.size() - 2], 0);
  const std::vector<int16_t> full = Reference(0, 1920);
  // Over the second presentation the gain goes linearly from full to 0, a
  // step a frame.
  for (size_t f = 960; f < 1920; f += 97) {
    const double gain = double(1920 - f - 1) / 960;
    EXPECT_NEAR(pcm[2 * f], full[2 * f] * gain, 3) << "frame " << f;
  }
  int32_t firstHalf = 0;
  for (size_t i = 0; i < 960 * 2; ++i)
    firstHalf = std::max(firstHalf, std::abs(int32_t{pcm[i]}));
  EXPECT_GT(firstHalf, 1000);  // the first presentation is not silent
}

TEST(WavRecording, ADiscardedRecordingLeavesTheTargetAlone) {
  test::TempDir dir;
  const std::string path = dir.File("kept.wav");
  test::WriteFile(path, "before");
  SongSynth played;
  std::string error;
  WavRecording* wav = RECWavOpen(path.c_str(), 50, 0, &error);
  ASSERT_NE(wav, nullptr) << error;
  ASSERT_TRUE(RECWavAdd(wav, played.synth, &error));
  RECWavDiscard(&wav);
  EXPECT_EQ(wav, nullptr);
  EXPECT_EQ(test::ReadFile(path), "before");
  EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{"kept.wav"});
  RECWavDiscard(&wav);  // none: nothing happens
  RECWavDiscard(nullptr);
}

TEST(WavRecording, RefusesBadArgumentsAndAnUnwritableFolder) {
  test::TempDir dir;
  std::string error;
  EXPECT_EQ(RECWavOpen(dir.File("a.wav").c_str(), 0, 0, &error), nullptr);
  EXPECT_EQ(RECWavOpen(dir.File("a.wav").c_str(), 1001, 0, &error), nullptr);
  EXPECT_EQ(RECWavOpen(dir.File("a.wav").c_str(), 50, -1, &error), nullptr);
  EXPECT_EQ(RECWavOpen(nullptr, 50, 0, &error), nullptr);
  error.clear();
  EXPECT_EQ(RECWavOpen(dir.File("no/such/a.wav").c_str(), 50, 0, &error),
            nullptr);
  EXPECT_EQ(error.rfind("cannot write " + dir.File("no/such/a.wav"), 0), 0u)
      << error;
  EXPECT_TRUE(test::Listing(dir.path()).empty());
  WavRecording* none = nullptr;
  EXPECT_FALSE(RECWavClose(&none, &error));
  EXPECT_FALSE(RECWavAdd(nullptr, nullptr, &error));
}

// A folder that goes away before the recording is finished fails the close,
// and leaves nothing behind.
TEST(WavRecording, AVanishedFolderFailsTheClose) {
  test::TempDir dir;
  const std::string folder = dir.File("sub");
  std::filesystem::create_directory(folder);
  const std::string path = folder + "/gone.wav";
  SongSynth played;
  std::string error;
  WavRecording* wav = RECWavOpen(path.c_str(), 1, 0, &error);
  ASSERT_NE(wav, nullptr) << error;
  ASSERT_TRUE(RECWavAdd(wav, played.synth, &error));
  std::filesystem::remove_all(folder);
  EXPECT_FALSE(RECWavClose(&wav, &error));
  EXPECT_EQ(wav, nullptr);
  EXPECT_EQ(error.rfind("cannot write " + path, 0), 0u) << error;
  EXPECT_FALSE(std::filesystem::exists(folder));
}

}  // namespace
