// The textual image form: exact output, reading it back, hostile and cut-short
// texts, and the substring search the reader uses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "img/img.h"
#include "tests/test_support.h"

namespace {

using test::ImagePtr;
using test::MakeImage;
using test::Pixels;
using test::StdoutOf;

// IMGToASCII as a std::string ("<none>" for a null result).
std::string TextOf(const Image* image) {
  char* text = IMGToASCII(image);
  if (!text) return "<none>";
  std::string s(text);
  std::free(text);
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Reads text and captures what it printed.
ImagePtr Read(const std::string& text, std::string* out) {
  Image* image = nullptr;
  *out = StdoutOf([&] { image = IMGFromASCII(text.c_str()); });
  return ImagePtr(image);
}

TEST(ImgToAscii, OnePixelIsExact) {
  ImagePtr image(MakeImage(1, 1, {0x0A0B0C}));
  EXPECT_EQ(TextOf(image.get()), "IMG{\nP3\n1 1\n255\n 10  11  12\n}\n");
}

TEST(ImgToAscii, SixPixelsMakeOneFullLine) {
  ImagePtr image(MakeImage(2, 3, {0, 1, 22, 0xFFFFFF, 0x646464, 0x090A0B}));
  const std::string pixels =
      "  0   0   0   0   0   1   0   0  22 255 255 255 100 100 100   9  10  11";
  EXPECT_EQ(pixels.size(), 71u);
  EXPECT_EQ(TextOf(image.get()), "IMG{\nP3\n2 3\n255\n" + pixels + "\n}\n");
}

TEST(ImgToAscii, SeventhPixelStartsALine) {
  ImagePtr image(MakeImage(7, 1, {1, 2, 3, 4, 5, 6, 7}));
  const auto lines = Lines(TextOf(image.get()));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[2], "7 1");
  EXPECT_EQ(lines[4].size(), 71u);
  EXPECT_EQ(lines[5], "  0   0   7");
  EXPECT_EQ(lines[6], "}");
}

TEST(ImgToAscii, LineLayoutForManySizes) {
  for (int32_t n = 1; n <= 25; ++n) {
    ImagePtr image(MakeImage(n, 1, {}));
    const std::string text = TextOf(image.get());
    const auto lines = Lines(text);
    const size_t pixelLines = static_cast<size_t>((n + 5) / 6);
    ASSERT_EQ(lines.size(), 5 + pixelLines) << "n=" << n;
    for (size_t i = 0; i < pixelLines; ++i) {
      const size_t inLine = i + 1 < pixelLines ? 6 : n - 6 * i;
      EXPECT_EQ(lines[4 + i].size(), 12 * inLine - 1) << "n=" << n;
    }
    EXPECT_EQ(text.substr(text.size() - 4), "0\n}\n") << "n=" << n;
    // The text fits the single allocation the form is sized for.
    EXPECT_LE(text.size() + 1, static_cast<size_t>(12 * n + n / 6 + 29));
  }
}

TEST(ImgToAscii, TopByteIsDropped) {
  ImagePtr image(MakeImage(1, 1, {0xFFABCDEF}));
  EXPECT_EQ(Lines(TextOf(image.get()))[4], "171 205 239");
}

TEST(ImgToAscii, EmptyImagesGiveBareBraces) {
  ImagePtr tall(MakeImage(0, 5, {}));
  ImagePtr wide(MakeImage(5, 0, {}));
  EXPECT_EQ(TextOf(tall.get()), "IMG{}");
  EXPECT_EQ(TextOf(wide.get()), "IMG{}");
}

TEST(ImgToAscii, NoneReportsOnce) {
  std::string text;
  EXPECT_EQ(StdoutOf([&] { text = TextOf(nullptr); }), "IMG error\n");
  EXPECT_EQ(text, "<none>");
}

TEST(ImgFromAscii, RoundTripsRandomImages) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    const int32_t w = 1 + static_cast<int32_t>(rng() % 23);
    const int32_t h = 1 + static_cast<int32_t>(rng() % 9);
    std::vector<uint32_t> values(static_cast<size_t>(w) * h);
    for (auto& v : values) v = rng() & 0xFFFFFF;
    ImagePtr image(MakeImage(w, h, values));
    std::string out;
    ImagePtr back = Read(TextOf(image.get()), &out);
    EXPECT_EQ(out, "");
    ASSERT_TRUE(back) << w << "x" << h;
    EXPECT_TRUE(IMGEqual(image.get(), back.get())) << w << "x" << h;
  }
}

struct ReadCase {
  const char* name;
  const char* text;
  int32_t width;
  int32_t height;
  std::vector<uint32_t> pixels;
};

class ImgFromAsciiReads : public testing::TestWithParam<ReadCase> {};

TEST_P(ImgFromAsciiReads, GivesImage) {
  const ReadCase& c = GetParam();
  std::string out;
  ImagePtr image = Read(c.text, &out);
  EXPECT_EQ(out, "");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, c.width);
  EXPECT_EQ(image->height, c.height);
  EXPECT_EQ(Pixels(image.get()), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ImgFromAsciiReads,
    testing::Values(
        ReadCase{"LeadingTextIgnored",
                 "junk IM IMG{\nP3\n1 1\n255\n1 2 3\n}\n",
                 1,
                 1,
                 {0x010203}},
        ReadCase{"FirstOfTwoBlocks",
                 "IMG{\nP3\n1 1\n255\n1 2 3\n}\nIMG{\nP3\n1 1\n255\n4 5 6\n}\n",
                 1,
                 1,
                 {0x010203}},
        ReadCase{"MarkersApart",
                 "IMG then { then P3\n2 1\n255\n1 2 3 4 5 6",
                 2,
                 1,
                 {0x010203, 0x040506}},
        ReadCase{"ChannelSpillsUpward",
                 "IMG{\nP3\n1 1\n255\n0 300 0\n}\n",
                 1,
                 1,
                 {300 * 256}},
        ReadCase{"AnySeparators",
                 "IMG{P3\n2x1y255z1,2;3 :4a5b6",
                 2,
                 1,
                 {0x010203, 0x040506}},
        ReadCase{
            "LastNumberAtEnd", "IMG{P3\n1 1\n255\n7 8 9", 1, 1, {0x070809}},
        ReadCase{"ZeroWidth", "IMG{P3\n0 5\n255\n", 0, 5, {}},
        ReadCase{"MissingSizeDigitsAreZero", "IMG{P3\nx y\nz", 0, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RejectCase {
  const char* name;
  const char* text;
};

class ImgFromAsciiRejects : public testing::TestWithParam<RejectCase> {};

TEST_P(ImgFromAsciiRejects, ReportsOnceAndGivesNone) {
  std::string out;
  ImagePtr image = Read(GetParam().text, &out);
  EXPECT_EQ(out, "IMG error\n");
  EXPECT_FALSE(image);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ImgFromAsciiRejects,
    testing::Values(
        RejectCase{"EmptyForm", "IMG{}"}, RejectCase{"Empty", ""},
        RejectCase{"MarkersOutOfOrder", "P3\n{IMG 1 1\n255\n1 2 3"},
        RejectCase{"NoBrace", "IMG\nP3\n1 1\n255\n1 2 3"},
        RejectCase{"P3WithoutNewline", "IMG{P3 1 1\n255\n1 2 3"},
        RejectCase{"WidthOverflows", "IMG{P3\n2147483648 1\n255\n1 2 3"},
        RejectCase{"WidthOverflowsWithZeroHeight",
                   "IMG{P3\n2147483648 0\n255\n"},
        RejectCase{"HeightOverflows", "IMG{P3\n1 99999999999999999999\n255\n1"},
        RejectCase{"PixelCountOverflows", "IMG{P3\n65536 65536\n255\n1 2 3"},
        RejectCase{"TextTooShortForSize", "IMG{P3\n1000 1000\n255\n1 2 3"},
        RejectCase{"OneCharacterShort", "IMG{P3\n2 1\n255\n1 2 3 4 5"},
        RejectCase{"LettersInsteadOfNumbers",
                   "IMG{P3\n2 1\n255\nabcdefghijklmnopqrstuvwxyz"},
        RejectCase{"EndsAfterMaxval", "IMG{P3\n0 5\n255"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImgFromAscii, EveryCutShortTextReportsOnce) {
  // The last blue value has one digit, so any cut before it loses a number.
  ImagePtr image(MakeImage(
      3, 2, {0x010203, 0xFFFFFF, 0x7B7C7D, 0x0A0B0C, 0x808080, 0x640007}));
  const std::string text = TextOf(image.get());
  const size_t lastDigit = text.rfind('7');
  for (size_t len = 0; len < text.size(); ++len) {
    std::string out;
    ImagePtr back = Read(text.substr(0, len), &out);
    if (len <= lastDigit) {
      EXPECT_EQ(out, "IMG error\n") << "prefix " << len;
      EXPECT_FALSE(back) << "prefix " << len;
    } else {
      EXPECT_EQ(out, "") << "prefix " << len;
      ASSERT_TRUE(back) << "prefix " << len;
      EXPECT_TRUE(IMGEqual(back.get(), image.get())) << "prefix " << len;
    }
  }
}

TEST(ImgFromAscii, DamagedTextsGiveImageOrOneReport) {
  // Characters of a valid text replaced at random; each text sits in a buffer
  // of its exact length so that a sanitizer build sees any read past its end.
  std::mt19937 rng(29);
  ImagePtr image(MakeImage(4, 3, {}));
  const std::string valid = TextOf(image.get());
  const std::string alphabet = "0123456789 \nIMGP{}x";
  for (int round = 0; round < 2000; ++round) {
    std::string text = valid.substr(0, rng() % (valid.size() + 1));
    for (int k = rng() % 4; k > 0 && !text.empty(); --k)
      text[rng() % text.size()] = alphabet[rng() % alphabet.size()];
    auto buffer = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
    Image* result = nullptr;
    const std::string out =
        StdoutOf([&] { result = IMGFromASCII(buffer.get()); });
    EXPECT_EQ(out, result ? "" : "IMG error\n") << text;
    if (result) IMGFree(&result);
  }
}

TEST(ImgFromAscii, NoneReportsOnce) {
  Image* image = nullptr;
  EXPECT_EQ(StdoutOf([&] { image = IMGFromASCII(nullptr); }), "IMG error\n");
  EXPECT_EQ(image, nullptr);
}

struct FindCase {
  const char* text;
  const char* pattern;
  int32_t expected;
};

class ImgFindCases : public testing::TestWithParam<FindCase> {};

TEST_P(ImgFindCases, GivesIndexPastMatch) {
  const FindCase& c = GetParam();
  int32_t found = -1;
  EXPECT_EQ(StdoutOf([&] { found = IMGFind(c.text, c.pattern); }), "");
  EXPECT_EQ(found, c.expected) << c.pattern << " in " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, ImgFindCases,
    testing::Values(FindCase{"IMG", "MG", 3}, FindCase{"IIMG", "IMG", 4},
                    FindCase{"IMX", "IMG", 0}, FindCase{"XMG", "IMG", 0},
                    FindCase{"IMG", "", 0}, FindCase{"", "I", 0},
                    FindCase{"IM", "IMG", 0}, FindCase{"abcabc", "c", 3},
                    FindCase{"aaab", "aab", 4}),
    [](const testing::TestParamInfo<FindCase>& info) {
      auto word = [](const char* s) {
        return *s ? std::string(s) : std::string("Nothing");
      };
      return word(info.param.pattern) + "In" + word(info.param.text);
    });

TEST(ImgFind, NoneArgumentsReportOnce) {
  int32_t a = -1, b = -1;
  EXPECT_EQ(StdoutOf([&] { a = IMGFind(nullptr, "x"); }), "IMG error\n");
  EXPECT_EQ(StdoutOf([&] { b = IMGFind("x", nullptr); }), "IMG error\n");
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
}

}  // namespace
