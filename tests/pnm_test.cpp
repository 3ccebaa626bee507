// PNM readers (file and buffer) and the P6 writer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "img/img.h"
#include "tests/test_support.h"

namespace {

using test::ImagePtr;

constexpr uint32_t W = 0xFFFFFF;  // bitmap 1

// What a reader gave: the image (none on failure) and what it printed.
struct Read {
  ImagePtr image;
  std::string out;
};

Read LoadBytes(const std::string& bytes) {
  test::TempDir dir;
  std::string path = dir.File("in.pnm");
  test::WriteFile(path, bytes);
  Read r;
  r.out = test::StdoutOf([&] { r.image.reset(IMGLoad(path.c_str())); });
  return r;
}

// The bytes go into a heap block of exactly their size, so that a read past
// the end is caught by AddressSanitizer.
Read ParseBytes(const std::string& bytes) {
  std::unique_ptr<uint8_t[]> copy(
      new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  Read r;
  r.out = test::StdoutOf(
      [&] { r.image.reset(IMGParse(copy.get(), bytes.size())); });
  return r;
}

std::string Fixture(const std::string& name) {
  return test::ReadFile(std::string(INTRO_SOURCE_DIR) + "/tests/data/pnm/" +
                        name);
}

// Pixels of a bitmap written as '0'/'1' characters; other characters are
// ignored, so rows can be spaced apart.
std::vector<uint32_t> Bits(const std::string& digits) {
  std::vector<uint32_t> v;
  for (char c : digits)
    if (c == '0' || c == '1') v.push_back(c == '1' ? W : 0);
  return v;
}

std::vector<uint32_t> Grey(const std::vector<uint32_t>& levels) {
  std::vector<uint32_t> v;
  for (uint32_t g : levels) v.push_back(g * 0x010101u);
  return v;
}

// The expected outcome of one read: an image, or failure (width 0).
struct Expect {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
};
const Expect kFails{};

// Checks a read against its expectation. On a pixel mismatch prints the
// first differing pixel and writes what was read to <name>_actual.ppm.
void Check(const Read& r, const Expect& e, const std::string& name) {
  SCOPED_TRACE(name);
  if (e.width == 0) {
    EXPECT_EQ(r.image, nullptr);
    EXPECT_EQ(r.out, "IMG error\n");
    return;
  }
  ASSERT_NE(r.image, nullptr);
  EXPECT_EQ(r.out, "");
  ASSERT_EQ(r.image->width, e.width);
  ASSERT_EQ(r.image->height, e.height);
  std::vector<uint32_t> got = test::Pixels(r.image.get());
  ASSERT_EQ(got.size(), e.pixels.size()) << "bad expectation";
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] != e.pixels[i]) {
      std::string actual =
          std::string(INTRO_BINARY_DIR) + "/" + name + "_actual.ppm";
      IMGSave(r.image.get(), actual.c_str());
      ADD_FAILURE() << "first difference at (" << i % e.width << ", "
                    << i / e.width << "): got 0x" << std::hex << got[i]
                    << ", want 0x" << e.pixels[i] << "; read image in "
                    << actual;
      return;
    }
  }
}

// e widened to width with black fill columns, as the buffer reader gives a
// bitmap whose width it rounded up.
Expect Widened(const Expect& e, int32_t width) {
  Expect w{width, e.height, {}};
  for (int32_t y = 0; y < e.height; ++y) {
    for (int32_t x = 0; x < width; ++x)
      w.pixels.push_back(x < e.width ? e.pixels[size_t(y) * e.width + x] : 0);
  }
  return w;
}

// ---- Files written by netpbm ----------------------------------------------

const Expect kColour{5,
                     3,
                     {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000,
                      0x010203, 0x0A141E, 0x804020, 0xC86432, 0x070809,
                      0xFEFDFC, 0x000001, 0x000100, 0x010000, 0x112205}};
const Expect kGrey{
    5, 3, Grey({0, 1, 2, 127, 128, 200, 254, 255, 10, 20, 30, 40, 50, 60, 7})};
const Expect kGrey15{3, 2, Grey({0, 15, 7, 1, 2, 3})};
const Expect kBits13{13, 3, Bits("1010101010101 0000000000001 0111111111110")};
const Expect kBits7{7, 2, Bits("1011001 0100111")};
const Expect kBits16{16, 2, Bits("1000000000000001 0101010101010101")};

// A fixture file's name as a test name: "grey_raw.pgm" gives "greyraw".
std::string FileCaseName(const char* file) {
  std::string name = file;
  name = name.substr(0, name.find('.'));
  std::string out;
  for (char c : name)
    if (c != '_') out += c;
  return out;
}

struct FixtureCase {
  const char* file;
  Expect load;
  Expect parse;
};

class PnmFixture : public testing::TestWithParam<FixtureCase> {};

TEST_P(PnmFixture, BothReadersGiveTheExpectedPixels) {
  const FixtureCase& c = GetParam();
  std::string bytes = Fixture(c.file);
  ASSERT_FALSE(bytes.empty()) << "missing fixture " << c.file;
  std::string name = c.file;
  name = name.substr(0, name.find('.'));
  Check(LoadBytes(bytes), c.load, name + "_load");
  Check(ParseBytes(bytes), c.parse, name + "_parse");
}

// P1 and P4 through the buffer reader are rounded up to a width of 8k; a
// plain bitmap then lacks digits unless its width was a multiple of 8. netpbm
// writes plain bitmap digits unseparated, which the file reader takes for one
// value a run, so only the spaced copies of them read through it.
INSTANTIATE_TEST_SUITE_P(
    NetpbmFiles, PnmFixture,
    testing::Values(
        FixtureCase{"colour_plain.ppm", kColour, kColour},
        FixtureCase{"colour_raw.ppm", kColour, kColour},
        FixtureCase{"colour_plain_comments.ppm", kColour, kColour},
        FixtureCase{"colour_raw_comments.ppm", kColour, kColour},
        FixtureCase{"grey_plain.pgm", kGrey, kGrey},
        FixtureCase{"grey_raw.pgm", kGrey, kGrey},
        FixtureCase{"grey_plain_comments.pgm", kGrey, kGrey},
        FixtureCase{"grey_raw_comments.pgm", kGrey, kGrey},
        FixtureCase{"grey15_plain.pgm", kGrey15, kGrey15},
        FixtureCase{"grey15_raw.pgm", kGrey15, kGrey15},
        FixtureCase{"bits13_plain.pbm", kFails, kFails},
        FixtureCase{"bits13_spaced.pbm", kBits13, kFails},
        FixtureCase{"bits13_spaced_comments.pbm", kBits13, kFails},
        FixtureCase{"bits13_raw.pbm", kBits13, Widened(kBits13, 16)},
        FixtureCase{"bits13_raw_comments.pbm", kBits13, Widened(kBits13, 16)},
        FixtureCase{"bits7_plain.pbm", kFails, kFails},
        FixtureCase{"bits7_spaced.pbm", kBits7, kFails},
        FixtureCase{"bits7_raw.pbm", kBits7, Widened(kBits7, 8)},
        FixtureCase{"bits16_plain.pbm", kFails, kBits16},
        FixtureCase{"bits16_spaced.pbm", kBits16, kBits16},
        FixtureCase{"bits16_raw.pbm", kBits16, kBits16}),
    [](const testing::TestParamInfo<FixtureCase>& info) {
      return FileCaseName(info.param.file);
    });

// Every input shorter than a complete image fails with exactly one report.
// Plain files lose their trailing blanks first (the last sample of each has
// one digit), so that every cut takes away at least one sample.
class PnmTruncated : public testing::TestWithParam<const char*> {};

TEST_P(PnmTruncated, EveryStrictPrefixFailsOnce) {
  std::string bytes = Fixture(GetParam());
  ASSERT_FALSE(bytes.empty());
  bool plain = bytes[1] >= '1' && bytes[1] <= '3';
  while (plain && static_cast<unsigned char>(bytes.back()) <= ' ')
    bytes.pop_back();
  ASSERT_NE(ParseBytes(bytes).image, nullptr);
  ASSERT_NE(LoadBytes(bytes).image, nullptr);
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::string prefix = bytes.substr(0, n);
    Check(LoadBytes(prefix), kFails, "load_prefix_" + std::to_string(n));
    Check(ParseBytes(prefix), kFails, "parse_prefix_" + std::to_string(n));
  }
}

INSTANTIATE_TEST_SUITE_P(NetpbmFiles, PnmTruncated,
                         testing::Values("colour_plain_comments.ppm",
                                         "colour_raw.ppm", "grey_plain.pgm",
                                         "grey_raw_comments.pgm",
                                         "bits16_spaced.pbm", "bits13_raw.pbm"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return FileCaseName(info.param);
                         });

// ---- Hand-made inputs where the two readers differ or must fail ------------

struct ReaderCase {
  const char* name;
  std::string bytes;
  Expect load;
  Expect parse;
};

class PnmReaders : public testing::TestWithParam<ReaderCase> {};

TEST_P(PnmReaders, ReadAsExpected) {
  const ReaderCase& c = GetParam();
  Check(LoadBytes(c.bytes), c.load, std::string(c.name) + "_load");
  Check(ParseBytes(c.bytes), c.parse, std::string(c.name) + "_parse");
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// 4 x 3 raw colour raster with bytes 0 .. 35, and its pixels.
std::string Ramp36() {
  std::string s;
  for (int i = 0; i < 36; ++i) s += static_cast<char>(i);
  return s;
}
std::vector<uint32_t> Ramp36Pixels() {
  std::vector<uint32_t> v;
  for (uint32_t i = 0; i < 36; i += 3)
    v.push_back(i << 16 | (i + 1) << 8 | (i + 2));
  return v;
}

const ReaderCase kReaderCases[] = {
    // The file reader consumes any byte after a number; the buffer reader
    // reads the "x" as a height of 0.
    {"LetterBetweenWidthAndHeight",
     "P6\n4x3\n255\n" + Ramp36(),
     {4, 3, Ramp36Pixels()},
     kFails},
    // "#" right after digits ends the number in the file reader, which then
    // reads the comment's "2" as the height and "2" as maxval, so the raster
    // starts at "15"; to the buffer reader it is a comment.
    {"HashRightAfterDigits",
     "P2\n3#2\n2\n15\n1 2 3 4 5 6\n",
     {3, 2, Grey({15, 1, 2, 3, 4, 5})},
     {3, 2, Grey({1, 2, 3, 4, 5, 6})}},
    // Width 10: the file reader starts each row on a new byte and skips the
    // fill bits; the buffer reader makes them pixels of a 16-wide image.
    {"P4Width10",
     "P4\n10 2\n" + Bytes({0xB3, 0x7F, 0xC0, 0xAA}),
     {10, 2, Bits("1011001101 1100000010")},
     {16, 2, Bits("1011001101111111 1100000010101010")}},
    // Width 3: the buffer reader reads 8 digits a row, unseparated.
    {"P1Width3",
     "P1\n3 2\n1 0 1\n0 1 1\n1111000 01 10\n",
     {3, 2, Bits("101 011")},
     {8, 2, Bits("10101111 11000011")}},
    // Adjacent digits are one value to the file reader, one pixel each to
    // the buffer reader.
    {"P1RunOfDigits",
     "P1\n2 1\n10 1 1 0 0 1 0\n",
     {2, 1, {W, W}},
     {8, 1, Bits("10110010")}},
    {"P1Separated", "P1\n2 1\n1 0\n", {2, 1, {W, 0}}, kFails},
    {"P1RunWithoutSecondValue", "P1\n2 1\n10\n", kFails, kFails},
    // Samples are neither scaled nor masked: a plain value above 255 spills
    // into the next channel up and the grey channels are ORed, not added.
    {"P2Maxval15", "P2 1 1 15 15\n", {1, 1, {0x0F0F0F}}, {1, 1, {0x0F0F0F}}},
    {"P5Byte128",
     "P5 1 1 255\n" + Bytes({128}),
     {1, 1, {0x808080}},
     {1, 1, {0x808080}}},
    {"P3Red300",
     "P3 1 1 255 300 1 2\n",
     {1, 1, {0x12C0102}},
     {1, 1, {0x12C0102}}},
    {"P2Grey257", "P2 1 1 255 257\n", {1, 1, {0x1010101}}, {1, 1, {0x1010101}}},
    // A plain sample of more digits than 32 bits hold wraps modulo 2^32.
    {"P2HugeSample",
     "P2 1 1 255 4294967298\n",
     {1, 1, {0x020202}},
     {1, 1, {0x020202}}},
    {"P1Huge", "P1 1 1 4294967296\n", {1, 1, {0}}, {8, 1, Bits("11111111")}},
    // Maxval is ignored, however large.
    {"HugeMaxval",
     "P5 1 1 99999999999999999999\n" + Bytes({16}),
     {1, 1, {0x101010}},
     {1, 1, {0x101010}}},
    // Bytes up to 0x20 and from 0x7F up separate header tokens.
    {"ControlAndHighBytes",
     "P5" + Bytes({0xFF, 0x80, '1', 0x7F, '1', 0x01}) + "255\n" + Bytes({16}),
     {1, 1, {0x101010}},
     {1, 1, {0x101010}}},
    // Numbers before the magic fill the fields too; the raster starts right
    // after the type (file) or one byte later (buffer).
    {"NumbersBeforeMagic",
     "1 1 255 P5" + Bytes({0x80, 0x40}),
     {1, 1, {0x808080}},
     {1, 1, {0x404040}}},
    {"TrailingBytesIgnored",
     "P5 1 1 255\n" + Bytes({16}) + "junk",
     {1, 1, {0x101010}},
     {1, 1, {0x101010}}},
    {"Empty", "", kFails, kFails},
    {"MagicP0", "P0 1 1 255\n" + Bytes({1, 2, 3}), kFails, kFails},
    {"MagicP7", "P7 1 1 255\n" + Bytes({1, 2, 3}), kFails, kFails},
    {"MagicPx", "Px 1 1 255\n" + Bytes({1, 2, 3}), kFails, kFails},
    {"MagicAtEnd", "P", kFails, kFails},
    {"WidthZero", "P5 0 1 255\n" + Bytes({1, 2}), kFails, kFails},
    {"HeightZero", "P5 1 0 255\n" + Bytes({1, 2}), kFails, kFails},
    {"WidthNotANumber", "P5 w 1 255\n" + Bytes({1, 2}), kFails, kFails},
    // Before the magic, the buffer reader can never get past a letter.
    {"LetterBeforeMagic", "x P5 1 1 255\n" + Bytes({1, 2}), kFails, kFails},
    {"EndInsideComment", "P5 1 1 # maxval", kFails, kFails},
    {"P6ShortByOnePixel", "P6 2 1 255\n" + Bytes({1, 2, 3}), kFails, kFails},
    {"P6ShortByOneByte", "P6 2 1 255\n" + Bytes({1, 2, 3, 4, 5}), kFails,
     kFails},
    {"P4ShortByOneRow", "P4 9 2\n" + Bytes({0xFF, 0x80}), kFails, kFails},
};

INSTANTIATE_TEST_SUITE_P(Headers, PnmReaders, testing::ValuesIn(kReaderCases),
                         [](const testing::TestParamInfo<ReaderCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- Size limits -----------------------------------------------------------

struct SizeCase {
  const char* width;
  const char* height;
  size_t rasterBytes;  // P5: supplied raster, one byte a pixel
  bool accepted;
};

class PnmSizeLimit : public testing::TestWithParam<SizeCase> {};

TEST_P(PnmSizeLimit, SidesAreCheckedBeforeAnythingIsRead) {
  const SizeCase& c = GetParam();
  std::string bytes = std::string("P5 ") + c.width + " " + c.height + " 255\n" +
                      std::string(c.rasterBytes, '\x10');
  for (bool load : {true, false}) {
    SCOPED_TRACE(load ? "IMGLoad" : "IMGParse");
    Read r = load ? LoadBytes(bytes) : ParseBytes(bytes);
    EXPECT_EQ(r.image != nullptr, c.accepted);
    EXPECT_EQ(r.out, c.accepted ? "" : "IMG error\n");
    if (r.image) {
      EXPECT_EQ(size_t(r.image->width) * r.image->height, c.rasterBytes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sides, PnmSizeLimit,
    testing::Values(SizeCase{"16384", "1", 16384, true},
                    SizeCase{"1", "16384", 16384, true},
                    SizeCase{"16385", "1", 16385, false},
                    SizeCase{"1", "16385", 16385, false},
                    SizeCase{"46341", "46341", 64, false},
                    SizeCase{"2147483648", "1", 64, false},
                    SizeCase{"1", "4294967297", 64, false},  // 2^32 + 1
                    SizeCase{"99999999999999999999", "1", 64, false},
                    SizeCase{"00000000000000000004", "1", 4, true},
                    // Within the limits but far more than the input holds.
                    SizeCase{"16384", "4096", 64, false}),
    [](const testing::TestParamInfo<SizeCase>& info) {
      return std::string(info.param.width) + "x" + info.param.height +
             (info.param.accepted ? "IsRead" : "IsRefused");
    });

// The pixel limit at 2^26, with a raster that is really there (P4, 8 MB).
TEST(PnmSizeLimit, PixelCountAtTheLimitAndOnePast) {
  for (int32_t height : {4096, 4097}) {
    std::string bytes = "P4 16384 " + std::to_string(height) + "\n" +
                        std::string(size_t(height) * 2048, '\x80');
    for (bool load : {true, false}) {
      SCOPED_TRACE(testing::Message()
                   << height << (load ? " IMGLoad" : " IMGParse"));
      Read r = load ? LoadBytes(bytes) : ParseBytes(bytes);
      if (height == 4096) {
        ASSERT_NE(r.image, nullptr);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(int64_t(r.image->width) * r.image->height, IMG_MAX_PIXELS);
        EXPECT_EQ(r.image->pixels[IMG_MAX_PIXELS - 8], W);
        EXPECT_EQ(r.image->pixels[IMG_MAX_PIXELS - 1], 0u);
      } else {
        EXPECT_EQ(r.image, nullptr);
        EXPECT_EQ(r.out, "IMG error\n");
      }
    }
  }
}

// ---- Files that are not there or not files ---------------------------------

TEST(PnmRead, NoneAndUnreadableInputsReportOnce) {
  test::TempDir dir;
  EXPECT_EQ(test::StdoutOf([] { EXPECT_EQ(IMGLoad(nullptr), nullptr); }),
            "IMG error\n");
  EXPECT_EQ(test::StdoutOf([] { EXPECT_EQ(IMGParse(nullptr, 10), nullptr); }),
            "IMG error\n");
  std::string missing = dir.File("missing.ppm");
  EXPECT_EQ(
      test::StdoutOf([&] { EXPECT_EQ(IMGLoad(missing.c_str()), nullptr); }),
      "IMG error\n");
  std::string folder = dir.path().string();
  EXPECT_EQ(
      test::StdoutOf([&] { EXPECT_EQ(IMGLoad(folder.c_str()), nullptr); }),
      "IMG error\n");
}

// Through a pipe the size of the input is unknown beforehand, so the reader
// meets its end inside the raster.
struct PipeCase {
  const char* name;
  std::string bytes;
  bool complete;
};

class PnmPipe : public testing::TestWithParam<PipeCase> {};

TEST_P(PnmPipe, ReportsAnInputThatEndsInsideTheRaster) {
  test::TempDir dir;
  std::string fifo = dir.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string& bytes = GetParam().bytes;
  // The writer's open waits for the reader's, and the bytes fit the pipe.
  std::thread writer([&] {
    int fd = open(fifo.c_str(), O_WRONLY);
    if (fd < 0) return;
    ssize_t ignored = write(fd, bytes.data(), bytes.size());
    (void)ignored;
    close(fd);
  });
  Read r;
  r.out = test::StdoutOf([&] { r.image.reset(IMGLoad(fifo.c_str())); });
  writer.join();
  EXPECT_EQ(r.image != nullptr, GetParam().complete);
  EXPECT_EQ(r.out, GetParam().complete ? "" : "IMG error\n");
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PnmPipe,
    testing::Values(
        PipeCase{"P6Whole", "P6 2 1 255\n" + Bytes({1, 2, 3, 4, 5, 6}), true},
        PipeCase{"P6ShortByOneByte", "P6 2 1 255\n" + Bytes({1, 2, 3, 4, 5}),
                 false},
        PipeCase{"P5Short", "P5 3 1 255\n" + Bytes({1, 2}), false},
        PipeCase{"P4ShortByOneRow", "P4 9 2\n" + Bytes({0xFF, 0x80}), false},
        PipeCase{"P3Short", "P3 1 1 255 1 2", false},
        PipeCase{"P2Whole", "P2 2 1 255 1 2", true}),
    [](const testing::TestParamInfo<PipeCase>& info) {
      return std::string(info.param.name);
    });

// Random damage to real files: a reader either gives an image silently or
// reports exactly once and gives none; under the sanitizers it never reads
// outside its input.
TEST(PnmRead, DamagedInputEitherReadsOrReportsOnce) {
  std::mt19937 rng(20081111);
  const char* files[] = {"colour_plain.ppm", "colour_raw.ppm",
                         "grey_plain_comments.pgm", "bits13_raw.pbm",
                         "bits16_plain.pbm"};
  for (const char* file : files) {
    std::string original = Fixture(file);
    for (int round = 0; round < 100; ++round) {
      std::string bytes = original;
      int edits = 1 + rng() % 4;
      for (int e = 0; e < edits; ++e) {
        size_t at = rng() % bytes.size();
        switch (rng() % 3) {
          case 0:
            bytes[at] = static_cast<char>(rng());
            break;
          case 1:
            bytes.erase(at, 1 + rng() % 3);
            break;
          default:
            bytes.insert(at, 1, "0123456789 #Px\n\xff"[rng() % 16]);
            break;
        }
        if (bytes.empty()) bytes = "P";
      }
      for (bool load : {true, false}) {
        Read r = load ? LoadBytes(bytes) : ParseBytes(bytes);
        ASSERT_EQ(r.out, r.image ? "" : "IMG error\n")
            << file << " round " << round << (load ? " IMGLoad" : " IMGParse");
      }
    }
  }
}

// ---- Writer -----------------------------------------------------------------

// The header lines of a P6 file written by IMGSave, and the raster after them.
struct SavedFile {
  std::vector<std::string> lines;
  std::string raster;
};

SavedFile SplitSaved(const std::string& bytes, int headerLines) {
  SavedFile f;
  size_t at = 0;
  for (int i = 0; i < headerLines; ++i) {
    size_t nl = bytes.find('\n', at);
    if (nl == std::string::npos) break;
    f.lines.push_back(bytes.substr(at, nl - at));
    at = nl + 1;
  }
  f.raster = bytes.substr(at);
  return f;
}

TEST(PnmWrite, HeaderAndRasterAreExact) {
  test::TempDir dir;
  std::string path = dir.File("out.ppm");
  ImagePtr image(test::MakeImage(
      3, 2, {0xFF0A0B0C, 0x00FFFFFF, 0, 0x01020304, 0x7F800000, 0x0A}));
  std::string out =
      test::StdoutOf([&] { EXPECT_TRUE(IMGSave(image.get(), path.c_str())); });
  EXPECT_EQ(out, "");
  SavedFile f = SplitSaved(test::ReadFile(path), 6);
  ASSERT_EQ(f.lines.size(), 6u);
  EXPECT_EQ(f.lines[0], "P6");
  EXPECT_EQ(f.lines[1], "3 2");
  int dated = 0;
  for (int i = 2; i < 5; ++i) {
    EXPECT_EQ(f.lines[i].substr(0, 1), "#") << f.lines[i];
    dated += f.lines[i].find("20081111") != std::string::npos;
  }
  EXPECT_EQ(dated, 1);
  EXPECT_EQ(f.lines[5], "255");
  // Three bytes a pixel, top byte dropped; a channel of 10 is the byte 10.
  EXPECT_EQ(f.raster, Bytes({10, 11, 12, 255, 255, 255, 0, 0, 0, 2, 3, 4, 128,
                             0, 0, 0, 0, 10}));
  // The only file in the folder: no temporary is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(PnmWrite, SaveThenReadGivesTheSameImage) {
  test::TempDir dir;
  std::string path = dir.File("round.ppm");
  std::mt19937 rng(7);
  for (auto [w, h] : {std::pair{1, 1}, {37, 23}, {300, 2}}) {
    std::vector<uint32_t> values(size_t(w) * h);
    for (uint32_t& v : values) v = rng() & 0xFFFFFF;
    ImagePtr image(test::MakeImage(w, h, values));
    ASSERT_TRUE(IMGSave(image.get(), path.c_str()));  // replaces the last one
    ImagePtr loaded(IMGLoad(path.c_str()));
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(IMGEqual(image.get(), loaded.get())) << w << "x" << h;
    std::string bytes = test::ReadFile(path);
    ImagePtr parsed(
        IMGParse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_NE(parsed, nullptr);
    EXPECT_TRUE(IMGEqual(image.get(), parsed.get())) << w << "x" << h;
  }
}

TEST(PnmWrite, NetpbmAcceptsTheFile) {
  if (std::system("command -v pamfile >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "netpbm's pamfile is not installed";
  test::TempDir dir;
  std::string path = dir.File("check.ppm");
  ImagePtr image(test::MakeImage(37, 5, {0x123456, 0xFFFFFF, 0x0A0A0A}));
  ASSERT_TRUE(IMGSave(image.get(), path.c_str()));
  // -allimages reads every raster and fails on a short or over-long one.
  std::string report = path + ".txt";
  int status = std::system(
      ("pamfile -allimages '" + path + "' >'" + report + "' 2>&1").c_str());
  std::string text = test::ReadFile(report);
  EXPECT_EQ(status, 0) << text;
  EXPECT_NE(text.find("PPM raw, 37 by 5  maxval 255"), std::string::npos)
      << text;
}

struct SaveFailure {
  const char* name;
  int32_t width, height;
  bool noImage, noName;
};

class PnmWriteFails : public testing::TestWithParam<SaveFailure> {};

TEST_P(PnmWriteFails, ReportsOnceAndCreatesNothing) {
  const SaveFailure& c = GetParam();
  test::TempDir dir;
  std::string path = dir.File("out.ppm");
  ImagePtr image(test::MakeImage(c.width, c.height, {}));
  const Image* arg = c.noImage ? nullptr : image.get();
  const char* name = c.noName ? nullptr : path.c_str();
  EXPECT_EQ(test::StdoutOf([&] { EXPECT_FALSE(IMGSave(arg, name)); }),
            "IMG error\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, PnmWriteFails,
    testing::Values(SaveFailure{"NoImage", 2, 2, true, false},
                    SaveFailure{"NoName", 2, 2, false, true},
                    SaveFailure{"WidthZero", 0, 2, false, false},
                    SaveFailure{"HeightZero", 2, 0, false, false}),
    [](const testing::TestParamInfo<SaveFailure>& info) {
      return std::string(info.param.name);
    });

TEST(PnmWrite, UnwritableTargetsReportOnce) {
  test::TempDir dir;
  ImagePtr image(test::MakeImage(2, 2, {1, 2, 3, 4}));
  // A folder cannot be replaced by a file; a missing folder cannot hold one.
  std::filesystem::create_directory(dir.path() / "folder");
  for (std::string target : {dir.File("folder"), dir.File("missing/out.ppm")}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(test::StdoutOf(
                  [&] { EXPECT_FALSE(IMGSave(image.get(), target.c_str())); }),
              "IMG error\n");
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "folder"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "folder"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

// A write that fails part way (here: the file size limit) is reported, and
// the file that was there before is left as it was, with no temporary beside.
TEST(PnmWrite, WriteErrorLeavesTheExistingFileAlone) {
  test::TempDir dir;
  std::string path = dir.File("keep.ppm");
  test::WriteFile(path, "old contents");
  ImagePtr image(test::MakeImage(200, 200, {}));

  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool ok = true;
  std::string out =
      test::StdoutOf([&] { ok = IMGSave(image.get(), path.c_str()); });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(ok);
  EXPECT_EQ(out, "IMG error\n");
  EXPECT_EQ(test::ReadFile(path), "old contents");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
