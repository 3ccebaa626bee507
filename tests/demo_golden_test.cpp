// Golden frames: a handful of presentations of a scripted run, checked by a
// hash of their pixels, in both configurations. Any change of a pixel (in the
// render, the scenes, the effects or the artwork) changes a hash.
//
// After an intended change of artwork or of what the intro draws, regenerate:
//   INTRO_PRINT_GOLDEN=1 SDL_VIDEODRIVER=dummy build/tests/demo_golden_test
// prints the new tables; look at the frames first (intro-capture with the
// same --keys writes them) and paste the tables below.
//
// Beside each hash, tests/data/golden/<case>-<presentation>.txt holds the
// text screen shown (as intro-capture --cells writes it), so a failure also
// shows which cells differ, row by row. INTRO_PRINT_GOLDEN=1 rewrites those
// files too.
//
// A frame that does not match is written to <build>/tests/golden/ as
// <case>_actual.ppm. Each frame that matches is kept there as
// <case>_expected.ppm, so a later mismatch also writes <case>_diff.ppm: the
// expected frame dimmed, with every pixel that differs in full red.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "demo/demo.h"
#include "tests/demo_fixture.h"
#include "tests/test_support.h"

namespace {

using test::IntroTest;

// FNV-1a over the pixels' bytes, low byte first.
uint64_t Hash(const Image* image) {
  uint64_t h = 14695981039346656037ull;
  const size_t n = size_t(image->width) * image->height;
  for (size_t i = 0; i < n; ++i)
    for (int b = 0; b < 32; b += 8) {
      h ^= (image->pixels[i] >> b) & 0xFF;
      h *= 1099511628211ull;
    }
  return h;
}

// The script: the whole of scene 1, scene 2 until presentation 600, a quit
// there, and the fade. The presentations checked: the pan, the first frame of
// the running man and a later one, scene 2's first frames, the quit frame,
// the fade half-way and at its end.
const std::vector<int32_t> kChecked = {0,   185, 199, 200, 333, 400,
                                       420, 555, 600, 640, 856};

struct Golden {
  int32_t width, height;
  std::map<int32_t, uint64_t> hashes;
};

const std::filesystem::path kGoldenDir = INTRO_BINARY_DIR "/tests/golden";
const std::filesystem::path kGoldenCells =
    INTRO_SOURCE_DIR "/tests/data/golden";

// The text screen as intro-capture --cells writes it: a line per row.
std::string Cells(const TextScreen* screen) {
  std::string text;
  for (const std::string& row : test::ScreenRows(screen)) text += row + "\n";
  return text;
}

// The frame as a raw P6 file, written here rather than by the library under
// test; through a temporary name, since both SDL runtimes may write at once.
void WriteFrame(const Image* image, const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  const std::filesystem::path part =
      path.string() + "." + std::to_string(getpid()) + ".part";
  {
    std::ofstream out(part, std::ios::binary);
    out << "P6\n" << image->width << " " << image->height << "\n255\n";
    const size_t n = size_t(image->width) * image->height;
    std::string bytes(3 * n, '\0');
    for (size_t i = 0; i < n; ++i) {
      bytes[3 * i] = char(image->pixels[i] >> 16);
      bytes[3 * i + 1] = char(image->pixels[i] >> 8);
      bytes[3 * i + 2] = char(image->pixels[i]);
    }
    out << bytes;
  }
  std::filesystem::rename(part, path, ec);
}

// A file written by WriteFrame; none if it is missing or not of that size.
test::ImagePtr ReadFrame(const std::filesystem::path& path, int32_t width,
                         int32_t height) {
  const std::string bytes = test::ReadFile(path.string());
  const std::string header =
      "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  const size_t n = size_t(width) * height;
  if (bytes.size() != header.size() + 3 * n ||
      bytes.compare(0, header.size(), header))
    return nullptr;
  test::ImagePtr image(test::MakeImage(width, height, {}));
  const auto* rgb =
      reinterpret_cast<const unsigned char*>(bytes.data() + header.size());
  for (size_t i = 0; i < n; ++i)
    image->pixels[i] = uint32_t(rgb[3 * i]) << 16 |
                       uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
  return image;
}

// Keeps a matching frame as the expected one, unless it is kept already.
void KeepExpected(const std::string& name, const Image* frame, uint64_t hash) {
  const auto path = kGoldenDir / (name + "_expected.ppm");
  test::ImagePtr kept = ReadFrame(path, frame->width, frame->height);
  if (!kept || Hash(kept.get()) != hash) WriteFrame(frame, path);
}

// Writes what a mismatching frame looks like, and says where and how.
std::string ReportMismatch(const std::string& name, const Image* frame,
                           uint64_t expectedHash) {
  // Both runtimes must give the same frames; each writes its own files.
  const std::string runtime =
      SDL_Linked_Version()->patch >= 50 ? "compat-" : "";
  const auto actual = kGoldenDir / (runtime + name + "_actual.ppm");
  WriteFrame(frame, actual);
  std::string said = "the frame is " + actual.string();
  test::ImagePtr expected = ReadFrame(kGoldenDir / (name + "_expected.ppm"),
                                      frame->width, frame->height);
  if (!expected || Hash(expected.get()) != expectedHash)
    return said + "; no expected frame is kept from a matching run";
  test::ImagePtr diff(test::MakeImage(frame->width, frame->height, {}));
  size_t differing = 0, first = 0;
  const size_t n = size_t(frame->width) * frame->height;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t want = expected->pixels[i];
    if (frame->pixels[i] == want) {
      diff->pixels[i] = (want >> 2) & 0x3F3F3F;
    } else {
      if (!differing++) first = i;
      diff->pixels[i] = 0xFF0000;
    }
  }
  const auto diffPath = kGoldenDir / (runtime + name + "_diff.ppm");
  WriteFrame(diff.get(), diffPath);
  char where[160];
  std::snprintf(where, sizeof where,
                "; %zu pixels differ, the first at (%zu, %zu): 0x%06" PRIX32
                " instead of 0x%06" PRIX32 "; the differences are ",
                differing, first % frame->width, first / frame->width,
                frame->pixels[first], expected->pixels[first]);
  return said + where + diffPath.string();
}

// Runs the intro from the started state with keys, and checks the
// presentations in golden.hashes; or prints the table of the hashes seen at
// the presentations in checked when INTRO_PRINT_GOLDEN is set.
void ExpectGoldenRun(const std::string& caseName, const Golden& golden,
                     const std::vector<int32_t>& checked,
                     std::vector<test::ScriptedKey> keys) {
  const bool print = std::getenv("INTRO_PRINT_GOLDEN") != nullptr;
  std::map<int32_t, uint64_t> seen;
  std::map<int32_t, std::string> cells;
  std::vector<std::string> mismatches;
  test::harness.onPresent = [&](int32_t n, const Image* frame) {
    for (int32_t c : checked)
      if (c == n) {
        seen[n] = Hash(frame);
        cells[n] = Cells(demo.screen);
      }
    auto want = golden.hashes.find(n);
    if (print || want == golden.hashes.end() || !seen.count(n)) return;
    const std::string name = caseName + "-" + std::to_string(n);
    if (seen[n] == want->second)
      KeepExpected(name, frame, want->second);
    else
      mismatches.push_back("presentation " + std::to_string(n) + ": " +
                           ReportMismatch(name, frame, want->second));
  };
  test::harness.keys = std::move(keys);
  DEMORun();
  DEMOFree();
  ASSERT_EQ(seen.size(), checked.size());
  if (print) {
    std::printf("%s: Golden{%d, %d, {", caseName.c_str(), golden.width,
                golden.height);
    for (auto [n, h] : seen) std::printf("{%d, 0x%016" PRIx64 "ull}, ", n, h);
    std::printf("}},\n");
    std::filesystem::create_directories(kGoldenCells);
    for (const auto& [n, text] : cells)
      test::WriteFile(
          (kGoldenCells / (caseName + "-" + std::to_string(n) + ".txt"))
              .string(),
          text);
    return;
  }
  for (auto [n, h] : golden.hashes) {
    const auto file =
        kGoldenCells / (caseName + "-" + std::to_string(n) + ".txt");
    EXPECT_EQ(cells[n], test::ReadFile(file.string()))
        << "the text screen of presentation " << n << " against " << file;
    EXPECT_EQ(seen[n], h) << "presentation " << n << " at " << golden.width
                          << "x" << golden.height;
  }
  for (const std::string& m : mismatches) ADD_FAILURE() << m;
}

class GoldenFrames : public IntroTest,
                     public testing::WithParamInterface<Golden> {};

TEST_P(GoldenFrames, MatchTheRecordedHashes) {
  const Golden& g = GetParam();
  Start(g.width, g.height);
  ASSERT_TRUE(initialised_);
  ExpectGoldenRun(std::to_string(g.width) + "x" + std::to_string(g.height), g,
                  kChecked, {{600, 'q'}});
}

INSTANTIATE_TEST_SUITE_P(Configurations, GoldenFrames,
                         testing::Values(Golden{320,
                                                200,
                                                {{0, 0x03702d99714c4325ull},
                                                 {185, 0xf0d034fdcef13925ull},
                                                 {199, 0x42417019159c77a5ull},
                                                 {200, 0x7e9a86023107cca5ull},
                                                 {333, 0x6a644bbbed19ff85ull},
                                                 {400, 0xb4132bcf0dccd325ull},
                                                 {420, 0xfc96f566864f6545ull},
                                                 {555, 0x56a8568caf096dc5ull},
                                                 {600, 0xa616e129eb4793a5ull},
                                                 {640, 0xfd807884493025a5ull},
                                                 {856, 0x03702d99714c4325ull}}},
                                         Golden{
                                             640,
                                             480,
                                             {{0, 0xf318e0e2f9b92325ull},
                                              {185, 0xa2a0be0cc2662e25ull},
                                              {199, 0xdf66c2f7c5c32d65ull},
                                              {200, 0xba2d985a5e7081e5ull},
                                              {333, 0xbb4aa8e33629bf45ull},
                                              {400, 0x6fd62ab2875fb325ull},
                                              {420, 0x62db38b4c5568325ull},
                                              {555, 0xdda9a1a89b775885ull},
                                              {600, 0x16cbe967fc39a245ull},
                                              {640, 0xb0254b73a6538875ull},
                                              {856, 0xf318e0e2f9b92325ull}}}),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

// The real sheet's ink is 0xC0E0C0, whose red and blue are equal: a reader
// that swapped them would draw the same frames. This sheet has the real
// glyphs with red growing along x, green along y and blue fixed above both,
// so red never equals blue and every channel is told apart.
std::string ColouredSheet(const Image* sheet) {
  std::string bytes = "P6\n" + std::to_string(sheet->width) + " " +
                      std::to_string(sheet->height) + "\n255\n";
  for (int32_t y = 0; y < sheet->height; ++y)
    for (int32_t x = 0; x < sheet->width; ++x) {
      const bool ink = sheet->pixels[size_t(y) * sheet->width + x] != 0;
      bytes += ink ? char(0x40 + x) : '\0';
      bytes += ink ? char(0x80 + y) : '\0';
      bytes += ink ? char(0xE0) : '\0';
    }
  return bytes;
}

using GoldenSheet = IntroTest;

// Scene 2 (a space at the first frame) until a quit at presentation 100,
// then two steps of the fade: at 160 every channel has lost 120, at 200 only
// blue is left.
TEST_F(GoldenSheet, ThreeChannelInkIsReadAndDrawnChannelByChannel) {
  const std::filesystem::path data = INTRO_SOURCE_DIR "/data";
  test::ImagePtr real(IMGLoad((data / "font8x8.ppm").c_str()));
  ASSERT_NE(real, nullptr);
  test::TempDir folder;
  for (const auto& entry : std::filesystem::directory_iterator(data))
    if (entry.path().extension() == ".txt")
      std::filesystem::copy_file(entry.path(),
                                 folder.path() / entry.path().filename());
  test::WriteFile(folder.File("font8x8.ppm"), ColouredSheet(real.get()));
  Start(320, 200, folder.path());
  ASSERT_TRUE(initialised_);
  const Golden golden{320,
                      200,
                      {{100, 0xd2dc603c8205562full},
                       {160, 0xd9c3bbcb903e7b37ull},
                       {200, 0x0545a7e69b41951dull}}};
  ExpectGoldenRun("coloured-320x200", golden, {100, 160, 200},
                  {{0, ' '}, {100, 'q'}});
}

}  // namespace
