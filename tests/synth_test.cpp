// The soundtrack library: the song parser's reports, the loader, pitch,
// envelopes, effects, the mix's limit, the master gain, the WAV header, and
// the intro's own song (its length, its loop, its peak, its first seconds).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "synth/synth.h"
#include "tests/test_support.h"

// Counts the allocations made while counting is on, to show that rendering
// makes none.
namespace {
std::atomic<bool> countAllocations{false};
std::atomic<int> allocations{0};
}  // namespace

// Kept out of line: inlined, the compiler would pair the malloc within with
// the callers' deletes and warn of a mismatch that is not there.
__attribute__((noinline)) void* operator new(size_t size) {
  if (countAllocations.load()) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace {

constexpr char kSongFile[] = INTRO_SOURCE_DIR "/data/song.txt";

struct SongDeleter {
  void operator()(Song* song) const { SONGFree(&song); }
};
struct SynthDeleter {
  void operator()(Synth* synth) const { SYNTHFree(&synth); }
};
using SongPtr = std::unique_ptr<Song, SongDeleter>;
using SynthPtr = std::unique_ptr<Synth, SynthDeleter>;

SongPtr Parse(const std::string& text, std::string* error = nullptr) {
  char buffer[256];
  SongPtr song(SONGParse(text.c_str(), "t.txt", buffer, sizeof buffer));
  if (error) *error = buffer;
  return song;
}

// A one-channel song at 125 beats a minute and speed 6 (960 frames a tick,
// 5760 a row) with one instrument "i" and the given rows, the pattern filled
// up to 16 rows with empty ones.
std::string OneChannel(const std::string& instrument,
                       std::vector<std::string> cells) {
  std::string text = "tempo 125\nspeed 6\nrows 16\ninstrument i " +
                     instrument + "\npattern p\n";
  cells.resize(16, "---");
  for (const std::string& cell : cells) text += "  " + cell + "\n";
  return text + "order p\n";
}

constexpr int32_t kTick = 960;
constexpr int32_t kRow = 6 * kTick;

std::vector<int16_t> Render(Synth* synth, int32_t frames) {
  std::vector<int16_t> out(static_cast<size_t>(frames) * SYNTH_CHANNELS);
  SYNTHRender(synth, out.data(), frames);
  return out;
}

std::vector<int16_t> RenderSong(const Song* song, int32_t frames) {
  SynthPtr synth(SYNTHNew(song));
  EXPECT_NE(synth, nullptr);
  return Render(synth.get(), frames);
}

// Channel 0 (left) or 1 (right) of interleaved frames.
std::vector<int32_t> Channel(const std::vector<int16_t>& frames, int c) {
  std::vector<int32_t> out;
  for (size_t i = static_cast<size_t>(c); i < frames.size(); i += 2)
    out.push_back(frames[i]);
  return out;
}

// The frequency in Hz of the rising zero crossings in [from, to), each placed
// between its two samples by linear interpolation.
double Frequency(const std::vector<int32_t>& s, size_t from, size_t to) {
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = from; i + 1 < to; ++i) {
    if (s[i] < 0 && s[i + 1] >= 0) {
      const double t = i + double(-s[i]) / double(s[i + 1] - s[i]);
      if (first < 0) first = t;
      last = t;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return (crossings - 1) * double(SYNTH_RATE) / (last - first);
}

double Cents(double frequency, double expected) {
  return 1200 * std::log2(frequency / expected);
}

// 440 Hz times 2^(semitones above A-4 / 12).
double NoteFrequency(double semitonesAboveA4) {
  return 440 * std::pow(2.0, semitonesAboveA4 / 12);
}

uint64_t Fnv1a(const std::vector<int16_t>& samples) {
  uint64_t h = 14695981039346656037ull;
  for (int16_t v : samples) {
    const auto u = static_cast<uint16_t>(v);
    for (uint8_t byte : {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)}) {
      h ^= byte;
      h *= 1099511628211ull;
    }
  }
  return h;
}

template <typename T>
int32_t Peak(const std::vector<T>& samples, size_t from = 0,
             size_t to = SIZE_MAX) {
  int32_t peak = 0;
  for (size_t i = from; i < samples.size() && i < to; ++i)
    peak = std::max(peak, std::abs(static_cast<int32_t>(samples[i])));
  return peak;
}

// ---- The parser's reports ----------------------------------------------------

struct BadSong {
  const char* name;
  std::string text;
  const char* error;
};

constexpr char kHead[] = "instrument i wave=pulse\n";
const std::string kPattern = [] {
  std::string p = "pattern p\n";
  for (int r = 0; r < 16; ++r) p += "  ---\n";
  return p;
}();

const BadSong kBadSongs[] = {
    {"UnknownKeyword", "tempo 120\ntemp 120\n",
     "t.txt:2:1: unknown keyword \"temp\""},
    {"TempoTooLow", "tempo 31\n",
     "t.txt:1:7: tempo takes a whole number from 32 to 300"},
    {"TempoNotANumber", "tempo fast\n",
     "t.txt:1:7: tempo takes a whole number from 32 to 300"},
    {"TempoWithoutValue", "tempo\n",
     "t.txt:1:6: tempo takes a whole number from 32 to 300"},
    {"TempoWithTooManyDigits", "tempo 000000120\n",
     "t.txt:1:7: tempo takes a whole number from 32 to 300"},
    {"SpeedZero", "speed 0\n",
     "t.txt:1:7: speed takes a whole number from 1 to 32"},
    {"TextAfterTheSpeed", "speed 6 fast\n", "t.txt:1:9: text after the speed"},
    {"RowsAfterAPattern", std::string(kHead) + kPattern + "rows 8\n",
     "t.txt:19:1: rows must come before the first pattern"},
    {"InstrumentWithoutName", "instrument\n",
     "t.txt:1:11: instrument needs a name"},
    {"InstrumentNameStartingWithADigit", "instrument 2lead\n",
     "t.txt:1:12: bad name \"2lead\": letters, digits and _, at most 16, not "
     "starting with a digit"},
    {"InstrumentDefinedTwice", "instrument a\ninstrument a\n",
     "t.txt:2:12: instrument \"a\" is defined twice"},
    {"UnknownInstrumentSetting", "instrument a wave=saw colour=red\n",
     "t.txt:1:23: unknown instrument setting \"colour\""},
    {"SettingWithoutEquals", "instrument a wave\n",
     "t.txt:1:14: expected setting=value, found \"wave\""},
    {"UnknownWave", "instrument a wave=sine\n",
     "t.txt:1:19: wave is pulse, triangle, saw or noise"},
    {"DutyOutOfRange", "instrument a duty=100\n",
     "t.txt:1:19: duty takes a whole number from 1 to 99"},
    {"PanOutOfRange", "instrument a pan=-101\n",
     "t.txt:1:18: pan takes a whole number from -100 to 100"},
    {"PatternWithTooFewRows",
     std::string(kHead) + "pattern p\n  C-4 i\n  ---\norder p\n",
     "t.txt:2:9: pattern \"p\" has 2 rows, not 16"},
    {"PatternCutShortByTheEnd", std::string(kHead) + "pattern p\n  C-4 i\n",
     "t.txt:2:9: pattern \"p\" has 1 rows, not 16"},
    {"PatternWithTooManyRows", std::string(kHead) + kPattern + "  C-4 i\n",
     "t.txt:19:3: pattern \"p\" has more than 16 rows"},
    {"RowOutsideAPattern", "C-4 i\n", "t.txt:1:1: a row outside a pattern"},
    {"NoteNameOutsideTheScale", std::string(kHead) + "pattern p\n  H-4\n",
     "t.txt:3:3: bad note \"H-4\": write C-4, C#4, --- or off"},
    {"SharpOfE", std::string(kHead) + "pattern p\n  E#4\n",
     "t.txt:3:3: bad note \"E#4\": write C-4, C#4, --- or off"},
    {"UnknownInstrumentInARow", std::string(kHead) + "pattern p\n  C-4 bass\n",
     "t.txt:3:7: unknown instrument \"bass\""},
    {"UnknownEffect", std::string(kHead) + "pattern p\n  C-4 i X12\n",
     "t.txt:3:9: bad effect \"X12\": write A, V, U, D, C or M and two hex "
     "digits"},
    {"EffectWithoutHexDigits", std::string(kHead) + "pattern p\n  C-4 i A3G\n",
     "t.txt:3:9: bad effect \"A3G\": write A, V, U, D, C or M and two hex "
     "digits"},
    {"TextAfterTheEffect", std::string(kHead) + "pattern p\n  C-4 i A37 x\n",
     "t.txt:3:13: text after the effect"},
    {"OrderOfAnUnknownPattern", std::string(kHead) + kPattern + "order p q\n",
     "t.txt:19:9: unknown pattern \"q\""},
    {"OrderLinesOfDifferentWidths",
     std::string(kHead) + kPattern + "order p p\norder p\n",
     "t.txt:20:1: order line of 1 channels; the first one had 2"},
    {"MoreThanEightChannels",
     std::string(kHead) + kPattern + "order p p p p p p p p p\n",
     "t.txt:19:23: more than 8 channels"},
    {"NoOrder", std::string(kHead) + kPattern,
     "t.txt:18:1: the song has no order line, so it would play nothing"},
    {"Empty", "", "t.txt:1:1: the song has no order line, so it would play "
                  "nothing"},
};

void PrintTo(const BadSong& c, std::ostream* os) { *os << c.name; }

class SongParserReports : public testing::TestWithParam<BadSong> {};

TEST_P(SongParserReports, TheFirstFaultWithItsLineAndColumn) {
  std::string error;
  EXPECT_EQ(Parse(GetParam().text, &error), nullptr);
  EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Malformed, SongParserReports,
                         testing::ValuesIn(kBadSongs),
                         [](const testing::TestParamInfo<BadSong>& info) {
                           return std::string(info.param.name);
                         });

TEST(SongParser, ReadsCommentsSharpsDotsAndSilentChannels) {
  const std::string text =
      "# a comment line\n"
      "tempo 150  # beats a minute\n"
      "speed 3\n"
      "rows 2\n"
      "instrument lead wave=saw attack=5 pan=-100\n"
      "pattern a\n"
      "  C#4 lead A37   # a sharp, not a comment\n"
      "  off ..   ...\n"
      "order a -\n"
      "order -- a\n";
  std::string error;
  SongPtr song = Parse(text, &error);
  ASSERT_NE(song, nullptr) << error;
  EXPECT_EQ(SONGVoices(song.get()), 2);
  // 2 positions x 2 rows x 3 ticks x (2,880,000 / (150 x 4 x 3)) frames.
  EXPECT_EQ(SONGLength(song.get()), 2 * 2 * 3 * 1600);
}

// Cut short anywhere, the intro's song either parses or says why on one line.
TEST(SongParser, TakesTheSongCutShortAnywhere) {
  const std::string text = test::ReadFile(kSongFile);
  ASSERT_FALSE(text.empty());
  for (size_t n = 0; n < text.size(); n += 97) {
    std::string error;
    SongPtr song = Parse(text.substr(0, n), &error);
    if (!song) {
      EXPECT_EQ(error.rfind("t.txt:", 0), 0u) << n;
      EXPECT_EQ(error.find('\n'), std::string::npos) << n;
    }
  }
  EXPECT_NE(Parse(text), nullptr);
}

TEST(SongParser, CutsItsReportToTheBufferGiven) {
  char error[12];
  EXPECT_EQ(SONGParse("tempo 1\n", "t.txt", error, sizeof error), nullptr);
  EXPECT_STREQ(error, "t.txt:1:7: ");
  EXPECT_EQ(SONGParse("tempo 1\n", "t.txt", nullptr, 0), nullptr);
}

// ---- The loader ----------------------------------------------------------------

TEST(SongLoad, NamesAMissingFileAndWhy) {
  test::TempDir dir;
  const std::string path = dir.File("none.txt");
  char error[256];
  EXPECT_EQ(SONGLoad(path.c_str(), error, sizeof error), nullptr);
  EXPECT_EQ(std::string(error), path + ": No such file or directory");
}

TEST(SongLoad, RefusesAFolderAndAFifoWithoutBlocking) {
  test::TempDir dir;
  char error[256];
  EXPECT_EQ(SONGLoad(dir.path().c_str(), error, sizeof error), nullptr);
  EXPECT_EQ(std::string(error),
            dir.path().string() + ": it is a folder, not a regular file");
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(SONGLoad(fifo.c_str(), error, sizeof error), nullptr);
  EXPECT_EQ(std::string(error), fifo + ": it is a FIFO, not a regular file");
}

TEST(SongLoad, RefusesAFileLargerThanASongMayBe) {
  test::TempDir dir;
  const std::string path = dir.File("big.txt");
  test::WriteFile(path, std::string(SONG_MAX_BYTES + 1, '#'));
  char error[256];
  EXPECT_EQ(SONGLoad(path.c_str(), error, sizeof error), nullptr);
  EXPECT_EQ(std::string(error),
            path + ": it is larger than the 1 MiB a song may be");
}

TEST(SongLoad, RefusesAZeroByte) {
  test::TempDir dir;
  const std::string path = dir.File("zero.txt");
  test::WriteFile(path, std::string("tempo 120\n\0order p\n", 20));
  char error[256];
  EXPECT_EQ(SONGLoad(path.c_str(), error, sizeof error), nullptr);
  EXPECT_EQ(std::string(error), path + ": it holds a zero byte; a song is text");
}

TEST(SongLoad, NamesTheFileInAParseError) {
  test::TempDir dir;
  const std::string path = dir.File("bad.txt");
  test::WriteFile(path, "tempo 120\nspeed 99\n");
  char error[256];
  EXPECT_EQ(SONGLoad(path.c_str(), error, sizeof error), nullptr);
  EXPECT_EQ(std::string(error),
            path + ":2:7: speed takes a whole number from 1 to 32");
}

// ---- Pitch ---------------------------------------------------------------------

struct PitchCase {
  const char* name;
  const char* wave;
  const char* note;
  double semitonesAboveA4;
};

void PrintTo(const PitchCase& c, std::ostream* os) { *os << c.name; }

class SynthPitch : public testing::TestWithParam<PitchCase> {};

TEST_P(SynthPitch, AHeldNoteIsWithinOneCentOfItsFrequency) {
  const PitchCase& c = GetParam();
  SongPtr song = Parse(OneChannel(std::string("wave=") + c.wave +
                                      " sustain=100 volume=50",
                                  {std::string(c.note) + " i"}));
  ASSERT_NE(song, nullptr);
  const std::vector<int32_t> left = Channel(RenderSong(song.get(), 60000), 0);
  const double f = Frequency(left, 100, left.size());
  EXPECT_NEAR(Cents(f, NoteFrequency(c.semitonesAboveA4)), 0, 1)
      << f << " Hz";
}

INSTANTIATE_TEST_SUITE_P(
    Notes, SynthPitch,
    testing::Values(PitchCase{"TriangleA4", "triangle", "A-4", 0},
                    PitchCase{"PulseC0", "pulse", "C-0", -57},
                    PitchCase{"SawCSharp2", "saw", "C#2", -32},
                    PitchCase{"PulseGSharp6", "pulse", "G#6", 23},
                    PitchCase{"TriangleB9", "triangle", "B-9", 62}),
    [](const testing::TestParamInfo<PitchCase>& info) {
      return std::string(info.param.name);
    });

struct EffectCase {
  const char* name;
  const char* effect;
  int32_t from, to;  // the frames measured
  double semitonesAboveA4;
};

void PrintTo(const EffectCase& c, std::ostream* os) { *os << c.name; }

class SynthEffects : public testing::TestWithParam<EffectCase> {};

TEST_P(SynthEffects, MoveThePitchOfATriangleOnA4) {
  const EffectCase& c = GetParam();
  SongPtr song = Parse(OneChannel("wave=triangle sustain=100 volume=50",
                                  {std::string("A-4 i ") + c.effect,
                                   std::string("--- . ") + c.effect}));
  ASSERT_NE(song, nullptr);
  const std::vector<int32_t> left = Channel(RenderSong(song.get(), 2 * kRow), 0);
  const double f = Frequency(left, static_cast<size_t>(c.from),
                             static_cast<size_t>(c.to));
  EXPECT_NEAR(Cents(f, NoteFrequency(c.semitonesAboveA4)), 0, 5) << f << " Hz";
}

INSTANTIATE_TEST_SUITE_P(
    Effects, SynthEffects,
    testing::Values(
        EffectCase{"ArpeggioSecondTickIsTheFirstStep", "A47", kTick + 50,
                   2 * kTick - 50, 4},
        EffectCase{"ArpeggioThirdTickIsTheSecondStep", "A47", 2 * kTick + 50,
                   3 * kTick - 50, 7},
        EffectCase{"ArpeggioFourthTickIsTheRoot", "A47", 3 * kTick + 50,
                   4 * kTick - 50, 0},
        EffectCase{"SlideUpASemitoneEachTickAfterTheFirst", "U40",
                   3 * kTick + 50, 4 * kTick - 50, 3},
        EffectCase{"SlideDownKeepsGoingOnTheNextRow", "D40",
                   kRow + 2 * kTick + 50, kRow + 3 * kTick - 50, -7},
        EffectCase{"VibratoAtItsPeakAfterAQuarterCycle", "V4F", 6000 - 240,
                   6000 + 240, 1.875}),
    [](const testing::TestParamInfo<EffectCase>& info) {
      return std::string(info.param.name);
    });

// ---- Envelope, cut, panning -------------------------------------------------

// The envelope's level at frame i: the magnitude of a pulse's sample.
int32_t Level(const std::vector<int32_t>& s, size_t i) { return std::abs(s[i]); }

TEST(SynthEnvelope, AttacksDecaysSustainsAndReleasesOnTime) {
  // 10 ms attack, 20 ms decay to half, 30 ms release after the note-off at
  // row 1; full level at volume 50 is 16383.
  SongPtr song = Parse(OneChannel(
      "wave=pulse attack=10 decay=20 sustain=50 release=30 volume=50",
      {"C-2 i", "off"}));
  ASSERT_NE(song, nullptr);
  const std::vector<int32_t> s = Channel(RenderSong(song.get(), 2 * kRow), 0);
  EXPECT_LE(Level(s, 0), 40);
  EXPECT_NEAR(Level(s, 240), 8192, 80);     // half-way up
  EXPECT_NEAR(Level(s, 480), 16383, 80);    // the peak at 10 ms
  EXPECT_NEAR(Level(s, 960), 12288, 80);    // half-way down
  EXPECT_NEAR(Level(s, 1440), 8192, 80);    // sustained from 30 ms
  EXPECT_NEAR(Level(s, kRow - 1), 8192, 80);
  EXPECT_NEAR(Level(s, kRow + 720), 4096, 80);  // half-way released
  EXPECT_LE(Level(s, kRow + 1430), 80);
  EXPECT_EQ(Peak(s, kRow + 1441), 0);
  EXPECT_LE(Peak(s), 16384);  // -16383.5 floors
}

TEST(SynthEnvelope, CutSilencesTheNoteAfterItsTicks) {
  SongPtr song = Parse(
      OneChannel("wave=pulse sustain=100 volume=50", {"C-3 i C03"}));
  ASSERT_NE(song, nullptr);
  const std::vector<int16_t> out = RenderSong(song.get(), kRow);
  EXPECT_GT(Peak(out, 2 * (3 * kTick - 100), 2 * 3 * kTick), 16000);
  EXPECT_EQ(Peak(out, 2 * (3 * kTick + SYNTH_RATE / 1000)), 0);
}

TEST(SynthMix, PanFullLeftSilencesTheRight) {
  SongPtr song =
      Parse(OneChannel("wave=saw sustain=100 volume=50 pan=-100", {"A-4 i"}));
  ASSERT_NE(song, nullptr);
  const std::vector<int16_t> out = RenderSong(song.get(), 4800);
  EXPECT_GT(Peak(Channel(out, 0)), 16000);
  EXPECT_EQ(Peak(Channel(out, 1)), 0);
}

TEST(SynthMix, LimitsEightVoicesAtFullVolumeWithoutWrapping) {
  std::string text = "instrument i wave=pulse sustain=100 volume=100\n";
  text += "pattern p\n  A-2 i\n";
  for (int r = 1; r < 16; ++r) text += "  ---\n";
  text += "order p p p p p p p p\n";
  SongPtr song = Parse(text);
  ASSERT_NE(song, nullptr);
  const std::vector<int16_t> out = RenderSong(song.get(), SYNTH_RATE);
  // Eight voices in phase would be 8 x 32767: every sample is at the limit.
  EXPECT_EQ(Peak(out), SYNTH_PEAK_LIMIT);
  for (size_t i = 2 * 100; i < out.size(); ++i)
    ASSERT_GE(std::abs(int32_t{out[i]}), SYNTH_PEAK_LIMIT - 1) << i;
}

// ---- Master gain -----------------------------------------------------------------

TEST(SynthGain, RampsLinearlyAcrossARenderToSilence) {
  SongPtr song = Parse(OneChannel("wave=saw sustain=100 volume=50", {"A-3 i"}));
  ASSERT_NE(song, nullptr);
  SynthPtr full(SYNTHNew(song.get()));
  SynthPtr faded(SYNTHNew(song.get()));
  constexpr int32_t kFrames = 4000;
  const std::vector<int16_t> reference = Render(full.get(), kFrames);
  SYNTHSetGain(faded.get(), 0);
  EXPECT_EQ(SYNTHGain(faded.get()), SYNTH_GAIN_FULL);  // not rendered yet
  const std::vector<int16_t> out = Render(faded.get(), kFrames);
  EXPECT_EQ(SYNTHGain(faded.get()), 0);
  for (int32_t i = 0; i < kFrames; ++i) {
    const double gain = 1.0 - double(i + 1) / kFrames;
    ASSERT_NEAR(out[2 * i], reference[2 * i] * gain, 1.5) << "frame " << i;
  }
  EXPECT_EQ(out[2 * kFrames - 2], 0);
  EXPECT_EQ(Peak(Render(faded.get(), kFrames)), 0);  // and stays silent
}

TEST(SynthGain, ClampsItsTargetAndComesBack) {
  SongPtr song = Parse(OneChannel("wave=saw sustain=100 volume=50", {"A-3 i"}));
  SynthPtr full(SYNTHNew(song.get()));
  SynthPtr synth(SYNTHNew(song.get()));
  SYNTHSetGain(synth.get(), -5);
  Render(synth.get(), 100);
  EXPECT_EQ(SYNTHGain(synth.get()), 0);
  SYNTHSetGain(synth.get(), 1000);
  Render(synth.get(), 100);
  EXPECT_EQ(SYNTHGain(synth.get()), SYNTH_GAIN_FULL);
  Render(full.get(), 200);
  EXPECT_EQ(Render(synth.get(), 500), Render(full.get(), 500));
}

// ---- Silence, null handles, allocation ---------------------------------------

TEST(Synth, WithoutASongRendersSilenceAndNoneIsSafe) {
  SynthPtr synth(SYNTHNew(nullptr));
  ASSERT_NE(synth, nullptr);
  std::vector<int16_t> out(2 * 1000, 123);
  SYNTHRender(synth.get(), out.data(), 1000);
  EXPECT_EQ(Peak(out), 0);
  EXPECT_EQ(SYNTHPosition(synth.get()), 1000);
  SYNTHRender(nullptr, out.data(), 1000);
  SYNTHRender(synth.get(), nullptr, 1000);
  SYNTHSetGain(nullptr, 0);
  Synth* none = nullptr;
  SYNTHFree(&none);
  SYNTHFree(nullptr);
  Song* noSong = nullptr;
  SONGFree(&noSong);
  SONGFree(nullptr);
  EXPECT_EQ(SONGLength(nullptr), 0);
}

TEST(Synth, RenderingAllocatesNothing) {
  SongPtr song = SongPtr(SONGLoad(kSongFile, nullptr, 0));
  ASSERT_NE(song, nullptr);
  SynthPtr synth(SYNTHNew(song.get()));
  song.reset();  // the synth keeps its own copy
  std::vector<int16_t> out(2 * 4096);
  allocations = 0;
  countAllocations = true;
  for (int k = 0; k < 100; ++k) SYNTHRender(synth.get(), out.data(), 4096);
  countAllocations = false;
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_GT(Peak(out), 0);
}

// ---- Determinism -------------------------------------------------------------------

TEST(SynthDeterminism, TwoRendersGiveTheSameBytes) {
  SongPtr song(SONGLoad(kSongFile, nullptr, 0));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(RenderSong(song.get(), 5 * SYNTH_RATE),
            RenderSong(song.get(), 5 * SYNTH_RATE));
}

TEST(SynthDeterminism, ChunksOfOddSizesGiveWhatOneRenderGives) {
  SongPtr song(SONGLoad(kSongFile, nullptr, 0));
  ASSERT_NE(song, nullptr);
  constexpr int32_t kFrames = 3 * SYNTH_RATE;
  const std::vector<int16_t> whole = RenderSong(song.get(), kFrames);
  SynthPtr synth(SYNTHNew(song.get()));
  std::vector<int16_t> chunked(whole.size());
  const int32_t sizes[] = {1, 7, 47, 49, 333, 801, 4801, 2};
  for (int32_t done = 0, k = 0; done < kFrames; ++k) {
    const int32_t n = std::min(sizes[k % 8], kFrames - done);
    SYNTHRender(synth.get(), chunked.data() + 2 * done, n);
    done += n;
  }
  EXPECT_EQ(chunked, whole);
}

// ---- The WAV header --------------------------------------------------------------

TEST(WavHeader, DescribesSixteenBitStereoAtTheSynthRate) {
  uint8_t header[WAV_HEADER_BYTES];
  WAVHeader(header, 48000);
  const uint8_t expected[WAV_HEADER_BYTES] = {
      'R', 'I', 'F', 'F', 0x24, 0xEE, 0x02, 0x00,  // 36 + 192000
      'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
      16, 0, 0, 0, 1, 0, 2, 0,                      // PCM, stereo
      0x80, 0xBB, 0, 0, 0x00, 0xEE, 0x02, 0x00,     // 48000 Hz, 192000 B/s
      4, 0, 16, 0, 'd', 'a', 't', 'a',
      0x00, 0xEE, 0x02, 0x00};
  EXPECT_EQ(std::vector<uint8_t>(header, header + WAV_HEADER_BYTES),
            std::vector<uint8_t>(expected, expected + WAV_HEADER_BYTES));
}

TEST(WavHeader, CutsAFrameCountTooLargeForTheSizeFields) {
  uint8_t header[WAV_HEADER_BYTES];
  WAVHeader(header, UINT32_MAX);
  auto at = [&](int k) {
    return uint32_t{header[k]} | uint32_t{header[k + 1]} << 8 |
           uint32_t{header[k + 2]} << 16 | uint32_t{header[k + 3]} << 24;
  };
  EXPECT_EQ(at(40) % 4, 0u);
  EXPECT_EQ(at(4), at(40) + 36);
  EXPECT_GT(at(40), UINT32_MAX - 40);
}

// ---- The intro's song ----------------------------------------------------------

class IntroSong : public testing::Test {
 protected:
  void SetUp() override {
    char error[256] = "";
    song_.reset(SONGLoad(kSongFile, error, sizeof error));
    ASSERT_NE(song_, nullptr) << error;
  }
  SongPtr song_;
};

TEST_F(IntroSong, LastsAtLeastAMinuteBeforeItLoops) {
  EXPECT_GE(SONGLength(song_.get()), 60 * SYNTH_RATE);
  EXPECT_GE(SONGVoices(song_.get()), 4);
}

TEST_F(IntroSong, NeverReachesTheLimitOverTheWholeLoop) {
  const int64_t length = SONGLength(song_.get());
  const std::vector<int16_t> out =
      RenderSong(song_.get(), static_cast<int32_t>(length));
  // Below the limit: the mix has its own headroom and the limiter never acts.
  EXPECT_LT(Peak(out), SYNTH_PEAK_LIMIT);
  EXPECT_GT(Peak(out), SYNTH_PEAK_LIMIT / 2);
}

// Every channel either starts a note on the first row or is silent there, so
// the second pass plays exactly what the first played, straight on from the
// last bar with no gap.
TEST_F(IntroSong, LoopsWithoutASeam) {
  const int32_t length = static_cast<int32_t>(SONGLength(song_.get()));
  const int32_t extra = 6 * SYNTH_RATE;
  const std::vector<int16_t> out = RenderSong(song_.get(), length + extra);
  const size_t seam = 2 * static_cast<size_t>(length);
  EXPECT_TRUE(std::equal(out.begin() + seam, out.end(), out.begin()));
  // No silent stretch of 10 ms on either side of the seam.
  for (size_t at = seam - 2 * 4800; at < seam + 2 * 4800; at += 2 * 480)
    EXPECT_GT(Peak(out, at, at + 2 * 480), 500) << "at frame " << at / 2;
}

// The first ten seconds, byte for byte. A change to the song, the voices or
// the mix changes it: listen (song-render), then set the new value.
TEST_F(IntroSong, FirstTenSecondsMatchTheirGoldenHash) {
  const std::vector<int16_t> out = RenderSong(song_.get(), 10 * SYNTH_RATE);
  EXPECT_EQ(Fnv1a(out), 0x27ccc245085bee66ull) << std::hex << Fnv1a(out);
}

}  // namespace
