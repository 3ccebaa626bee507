// GIF and PNG recordings, decoded again with giflib and libpng: the recorder's
// own frames against its PPM files, and the GIF writer on made-up frames.
#include "recording/recording.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "img/img.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using Pixels = std::vector<uint32_t>;

// A GIF decoded to whole pictures: what a viewer shows after each stored
// frame, with that frame's delay and rectangle.
struct Decoded {
  int32_t width = 0, height = 0;
  bool loops = false;
  std::vector<Pixels> pictures;
  std::vector<int> delays;
  std::vector<GifImageDesc> rects;
};

bool DecodeGif(const std::string& path, Decoded* out) {
  int code = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
  if (!gif) return false;
  bool ok = DGifSlurp(gif) == GIF_OK;
  out->width = gif->SWidth;
  out->height = gif->SHeight;
  Pixels canvas(static_cast<size_t>(out->width) * out->height, 0);
  for (int i = 0; ok && i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    for (int e = 0; e < image.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = image.ExtensionBlocks[e];
      if (block.Function == APPLICATION_EXT_FUNC_CODE &&
          block.ByteCount == 11 &&
          std::string(reinterpret_cast<char*>(block.Bytes), 11) ==
              "NETSCAPE2.0" &&
          e + 1 < image.ExtensionBlockCount) {
        const ExtensionBlock& sub = image.ExtensionBlocks[e + 1];
        out->loops = sub.ByteCount == 3 && sub.Bytes[0] == 1 &&
                     sub.Bytes[1] == 0 && sub.Bytes[2] == 0;
      }
    }
    GraphicsControlBlock control{};
    ok = DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK &&
         control.DisposalMode == DISPOSE_DO_NOT;
    const GifImageDesc& d = image.ImageDesc;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    ok = ok && map && d.Left + d.Width <= out->width &&
         d.Top + d.Height <= out->height;
    for (int y = 0; ok && y < d.Height; ++y)
      for (int x = 0; x < d.Width; ++x) {
        int index = image.RasterBits[y * d.Width + x];
        ok = ok && index < map->ColorCount;
        if (!ok) break;
        const GifColorType& c = map->Colors[index];
        canvas[(d.Top + y) * out->width + d.Left + x] =
            uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
      }
    out->pictures.push_back(canvas);
    out->delays.push_back(control.DelayTime);
    out->rects.push_back(d);
  }
  DGifCloseFile(gif, &code);
  return ok;
}

// The pixels of a PNG as 0x00RRGGBB; empty when it cannot be read as 8-bit
// RGB.
Pixels DecodePng(const std::string& path, int32_t* width, int32_t* height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
    return {};
  *width = image.width;
  *height = image.height;
  Pixels pixels(rgb.size() / 3);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 |
                rgb[3 * i + 2];
  return pixels;
}

// round(100 * presentations / fps): where a stretch ends, in centiseconds.
int EndOf(int presentations, int fps) {
  return (200 * presentations + fps) / (2 * fps);
}

// Runs the recorder from the data folder; limit (when not 0) caps the size of
// every file it writes, in blocks of 512 bytes, so that a write fails.
int RunCapture(const std::string& args, const test::TempDir& dir,
               int limit = 0) {
  std::string command =
      (limit ? "trap '' XFSZ; ulimit -f " + std::to_string(limit) + "; " : "") +
      "cd '" INTRO_SOURCE_DIR "/data' && '" INTRO_BINARY_DIR
      "/bin/intro-capture' " +
      args + " >'" + dir.File("stdout") + "' 2>'" + dir.File("stderr") +
      "' </dev/null";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct RoundTrip {
  const char* name;
  int fps, from, every, frames;
  const char* keys;
  size_t recorded;  // PPM files written
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

class RecordingRoundTrip : public testing::TestWithParam<RoundTrip> {};

// The PPM files are the reference: the GIF, expanded by its delays, and every
// PNG show the same pixels, presentation by presentation.
TEST_P(RecordingRoundTrip, GifAndPngHoldTheFramesOfThePpmFiles) {
  const RoundTrip& c = GetParam();
  test::TempDir dir;
  const std::string common = "--size 320x200 --frames " +
                             std::to_string(c.frames) + " --from " +
                             std::to_string(c.from) + " --every " +
                             std::to_string(c.every) + " --keys " + c.keys;
  ASSERT_EQ(RunCapture(common + " --out " + dir.File("ppm"), dir), 0);
  ASSERT_EQ(
      RunCapture(common + " --png --gif " + dir.File("a.gif") + " --fps " +
                     std::to_string(c.fps) + " --out " + dir.File("png"),
                 dir),
      0)
      << test::ReadFile(dir.File("stderr"));
  EXPECT_EQ(test::ReadFile(dir.File("stderr")).find("reduced"),
            std::string::npos);

  std::vector<Pixels> expected;
  for (int n = c.from; n < c.frames; n += c.every) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06d", n);
    if (!fs::exists(dir.File("ppm") + name + ".ppm")) break;  // the intro quit
    test::ImagePtr ppm(IMGLoad((dir.File("ppm") + name + ".ppm").c_str()));
    ASSERT_NE(ppm, nullptr) << name;
    expected.push_back(test::Pixels(ppm.get()));
    int32_t w = 0, h = 0;
    EXPECT_EQ(DecodePng(dir.File("png") + name + ".png", &w, &h),
              expected.back())
        << name;
    EXPECT_EQ(w * 1000 + h, 320 * 1000 + 200) << name;
  }

  ASSERT_EQ(expected.size(), c.recorded);
  Decoded gif;
  ASSERT_TRUE(DecodeGif(dir.File("a.gif"), &gif));
  EXPECT_TRUE(gif.loops);
  EXPECT_EQ(gif.width * 1000 + gif.height, 320 * 1000 + 200);
  // Recorded presentation k ends at EndOf((k + 1) * every); the GIF frame
  // that shows it is the one whose running total first reaches that end.
  size_t frame = 0;
  int total = gif.delays.empty() ? 0 : gif.delays[0];
  for (size_t k = 0; k < expected.size(); ++k) {
    const int end = EndOf((k + 1) * c.every, c.fps);
    while (frame + 1 < gif.delays.size() && total < end)
      total += gif.delays[++frame];
    ASSERT_LT(frame, gif.pictures.size());
    ASSERT_EQ(gif.pictures[frame], expected[k])
        << "recorded presentation " << k << " in GIF frame " << frame;
  }
  EXPECT_EQ(frame + 1, gif.pictures.size()) << "frames left over";
  // At 60 fps the 120 presentations last exactly 200 hundredths.
  EXPECT_EQ(total, EndOf(expected.size() * c.every, c.fps));
  EXPECT_LT(gif.pictures.size(), expected.size()) << "nothing merged";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Stretches, RecordingRoundTrip,
    testing::Values(
        RoundTrip{"SceneSwitchAt60Fps", 60, 150, 1, 270, "200:space", 120},
        RoundTrip{"EveryThirdAt50Fps", 50, 100, 3, 400, "250:space", 100},
        // 191 presentations and the 256 of the fade: 180 to 446, every 2nd.
        RoundTrip{"FadeAfterQuitAt25Fps", 25, 180, 2, 600, "190:q", 134}),
    [](const testing::TestParamInfo<RoundTrip>& info) {
      return std::string(info.param.name);
    });
// clang-format on

// Frames made here, for what the intro never produces.
class GifWriter : public testing::Test {
 protected:
  std::string Path() const { return dir.File("w.gif"); }
  GifRecording* Open(int32_t w, int32_t h, int fps) {
    std::string error;
    GifRecording* gif = RECGifOpen(Path().c_str(), w, h, fps, 1, &error);
    EXPECT_NE(gif, nullptr) << error;
    return gif;
  }
  test::TempDir dir;
};

TEST_F(GifWriter, FrameWithMoreThan256ColoursIsReducedToCloseColours) {
  GifRecording* gif = Open(32, 32, 50);
  ASSERT_NE(gif, nullptr);
  Pixels values(32 * 32);
  for (size_t i = 0; i < values.size(); ++i)
    values[i] = static_cast<uint32_t>(i * 0x0F1D3B) & 0xFFFFFF;
  test::ImagePtr many(test::MakeImage(32, 32, values));
  bool reduced = false;
  ASSERT_TRUE(RECGifAdd(gif, many.get(), &reduced, nullptr));
  EXPECT_TRUE(reduced);
  values.resize(256);  // the rest of the picture is black: 256 colours at most
  test::ImagePtr few(test::MakeImage(32, 32, values));
  ASSERT_TRUE(RECGifAdd(gif, few.get(), &reduced, nullptr));
  EXPECT_FALSE(reduced);
  ASSERT_TRUE(RECGifClose(&gif, nullptr));

  Decoded d;
  ASSERT_TRUE(DecodeGif(Path(), &d));
  ASSERT_EQ(d.pictures.size(), 2u);
  for (size_t i = 0; i < 32 * 32; ++i) {
    const uint32_t a = test::Pixels(many.get())[i], b = d.pictures[0][i];
    for (int shift : {0, 8, 16}) {
      int error = std::abs(int(a >> shift & 255) - int(b >> shift & 255));
      ASSERT_LE(error, shift ? 18 : 42) << "pixel " << i;
    }
  }
  EXPECT_EQ(d.pictures[1], test::Pixels(few.get()));
}

TEST_F(GifWriter, StoresOnlyTheChangedRectangleAndMergesRepeats) {
  GifRecording* gif = Open(40, 30, 50);
  ASSERT_NE(gif, nullptr);
  test::ImagePtr a(test::MakeImage(40, 30, {}));
  test::ImagePtr b(IMGCopy(a.get()));
  IMGSetPixel(b.get(), 7, 5, 0xFF8000);
  IMGSetPixel(b.get(), 12, 21, 0x0000FF);
  test::ImagePtr top(IMGCopy(b.get()));
  top->pixels[0] |= 0xFF000000u;  // the top byte is not part of a colour
  for (const Image* frame : {a.get(), b.get(), b.get(), top.get(), a.get()})
    ASSERT_TRUE(RECGifAdd(gif, frame, nullptr, nullptr));
  EXPECT_EQ(RECGifStoredFrames(gif), 3);
  ASSERT_TRUE(RECGifClose(&gif, nullptr));

  Decoded d;
  ASSERT_TRUE(DecodeGif(Path(), &d));
  ASSERT_EQ(d.rects.size(), 3u);
  EXPECT_EQ(d.delays, (std::vector<int>{2, 6, 2}));
  const GifImageDesc& r = d.rects[1];
  EXPECT_EQ(std::vector<int>({r.Left, r.Top, r.Width, r.Height}),
            std::vector<int>({7, 5, 6, 17}));
  EXPECT_EQ(d.pictures[1], test::Pixels(b.get()));
  EXPECT_EQ(d.pictures[2], test::Pixels(a.get()));
}

TEST_F(GifWriter, LongStillIsSplitWhereTheDelayFieldWouldOverflow) {
  GifRecording* gif = Open(8, 8, 1);  // one second, 100 hundredths, a frame
  ASSERT_NE(gif, nullptr);
  test::ImagePtr still(test::MakeImage(8, 8, {0x123456}));
  for (int i = 0; i < 700; ++i)
    ASSERT_TRUE(RECGifAdd(gif, still.get(), nullptr, nullptr));
  ASSERT_TRUE(RECGifClose(&gif, nullptr));
  Decoded d;
  ASSERT_TRUE(DecodeGif(Path(), &d));
  int total = 0;
  for (size_t i = 0; i < d.delays.size(); ++i) {
    total += d.delays[i];
    EXPECT_EQ(d.pictures[i], test::Pixels(still.get()));
  }
  EXPECT_EQ(total, 70000);
  EXPECT_EQ(d.delays.size(), 2u);
}

// Stored frames that last longer than the 16-bit delay field: each is written
// as pieces of at most 65535 hundredths that add up exactly, the pieces after
// the first of one unchanged pixel.
struct LongCase {
  const char* name;
  int32_t fps, every;
  std::string frames;  // a letter for each frame given, one picture a letter
  std::vector<int> delays;  // as stored
  const char* shown;        // the picture after each stored frame
};

void PrintTo(const LongCase& c, std::ostream* os) { *os << c.name; }

class GifLongFrames : public testing::TestWithParam<LongCase> {};

TEST_P(GifLongFrames, LongFramesAreSplitIntoPiecesThatAddUpExactly) {
  const LongCase& c = GetParam();
  test::TempDir dir;
  const std::string path = dir.File("long.gif");
  std::string error;
  GifRecording* gif =
      RECGifOpen(path.c_str(), 4, 3, c.fps, c.every, &error);
  ASSERT_NE(gif, nullptr) << error;
  auto picture = [](char letter) {
    Pixels px(4 * 3, 0x102030);
    px[(letter - 'A') % 12] = 0xFFFFFF;
    return px;
  };
  for (char f : c.frames) {
    test::ImagePtr frame(test::MakeImage(4, 3, picture(f)));
    ASSERT_TRUE(RECGifAdd(gif, frame.get(), nullptr, &error)) << error;
  }
  EXPECT_EQ(RECGifStoredFrames(gif), int32_t(c.delays.size()));
  ASSERT_TRUE(RECGifClose(&gif, &error)) << error;

  Decoded d;
  ASSERT_TRUE(DecodeGif(path, &d));
  EXPECT_EQ(d.delays, c.delays);
  ASSERT_EQ(d.pictures.size(), std::strlen(c.shown));
  for (size_t i = 0; i < d.pictures.size(); ++i)
    EXPECT_EQ(d.pictures[i], picture(c.shown[i])) << "stored frame " << i;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Stretches, GifLongFrames,
    testing::Values(
        // 1000 presentations at 1 a second: 100000 hundredths each.
        LongCase{"OneFrameOfAThousandSeconds", 1, 1000, "AB",
                 {50000, 50000, 50000, 50000}, "AABB"},
        LongCase{"SevenHundredMergedRepeats", 1, 1, std::string(700, 'A'),
                 {35000, 35000}, "AA"},
        LongCase{"LongFrameMergedWithItsRepeats", 1, 600, "AAB",
                 {60000, 60000, 60000}, "AAB"},
        LongCase{"ExactlyWhatTheFieldHolds", 100, 65535, "A", {65535}, "A"},
        LongCase{"OneHundredthMoreThanTheFieldHolds", 100, 65536, "A",
                 {32768, 32768}, "AA"},
        LongCase{"UnevenShares", 100, 131072, "AB",
                 {43691, 43691, 43690, 43691, 43691, 43690}, "AAABBB"}),
    [](const testing::TestParamInfo<LongCase>& info) {
      return std::string(info.param.name);
    });
// clang-format on

// The recorder's own run: three recorded presentations, each standing for
// 1000 s, last exactly 100000 hundredths each and show their PPM files.
TEST(GifDelays, SplitsAStoredFrameLongerThanTheLimit) {
  test::TempDir dir;
  const std::string common = "--size 320x200 --frames 3000 --every 1000";
  ASSERT_EQ(RunCapture(common + " --out " + dir.File("ppm"), dir), 0);
  ASSERT_EQ(RunCapture(common + " --fps 1 --gif " + dir.File("x.gif"), dir), 0)
      << test::ReadFile(dir.File("stderr"));
  Decoded gif;
  ASSERT_TRUE(DecodeGif(dir.File("x.gif"), &gif));
  int64_t total = 0;
  size_t k = 0;
  for (size_t i = 0; i < gif.delays.size(); ++i) {
    EXPECT_GT(gif.delays[i], 0) << "stored frame " << i;
    EXPECT_LE(gif.delays[i], 65535) << "stored frame " << i;
    total += gif.delays[i];
    if (total < 100000 * int64_t(k + 1)) continue;
    ASSERT_EQ(total, 100000 * int64_t(k + 1)) << "stored frame " << i;
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06zu.ppm", 1000 * k);
    test::ImagePtr ppm(IMGLoad((dir.File("ppm") + name).c_str()));
    ASSERT_NE(ppm, nullptr) << name;
    EXPECT_EQ(gif.pictures[i], test::Pixels(ppm.get())) << name;
    ++k;
  }
  EXPECT_EQ(k, 3u);
  EXPECT_EQ(total, 300000);
}

TEST_F(GifWriter, FailuresLeaveNoFileBehind) {
  std::string error;
  const std::string missing = dir.File("no/such/folder/x.gif");
  EXPECT_EQ(RECGifOpen(missing.c_str(), 8, 8, 50, 1, &error), nullptr);
  EXPECT_NE(error.find("cannot write " + missing), std::string::npos);
  test::ImagePtr frame(test::MakeImage(8, 8, {1}));
  EXPECT_FALSE(RECPngSave(frame.get(), missing.c_str(), &error));

  GifRecording* gif = Open(8, 8, 50);
  ASSERT_NE(gif, nullptr);
  test::ImagePtr wrong(test::MakeImage(9, 8, {}));
  EXPECT_FALSE(RECGifAdd(gif, wrong.get(), nullptr, &error));
  RECGifDiscard(&gif);
  EXPECT_EQ(gif, nullptr);
  gif = Open(8, 8, 50);
  EXPECT_FALSE(RECGifClose(&gif, &error));  // no frame: nothing to open
  EXPECT_NE(error.find("no frame"), std::string::npos) << error;
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{});

  // The recorder says why and ends with status 1; the target never appears,
  // not even when the file system refuses a write half way.
  struct Case {
    std::string args;
    int limit;
  };
  for (const Case& c :
       {Case{"--frames 3 --gif " + missing, 0},
        Case{"--frames 300 --from 250 --png --out " + dir.File("png"), 2},
        Case{"--frames 600 --gif " + dir.File("big.gif"), 100}}) {
    EXPECT_EQ(RunCapture(c.args, dir, c.limit), 1) << c.args;
    const std::string err = test::ReadFile(dir.File("stderr"));
    EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
  }
  EXPECT_FALSE(fs::exists(dir.File("big.gif")));
  EXPECT_TRUE(fs::is_empty(dir.File("png")));
  // The discarded GIF is not reported as written.
  EXPECT_NE(test::ReadFile(dir.File("stdout")).find(" 0 written"),
            std::string::npos);
}

}  // namespace
