// Bitmap font: glyph placement on the sheet, clipping, transparency, the
// hexadecimal and line output, and fonts or arguments that are missing.
#include "font/font.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using test::ImagePtr;

struct FontDeleter {
  void operator()(Font* font) const {
    if (font) FONTFree(&font);
  }
};
using FontPtr = std::unique_ptr<Font, FontDeleter>;

// A font of cw x ch cells on a sheet of 16 x 8 cells (codes 0 to 127). With
// `marked`, every pixel says where it comes from: ((code + 1) << 8) | its
// index inside the cell. Otherwise every pixel of cell c holds c, so a drawn
// cell can be read back as its character (cell 0 is all background).
FontPtr SheetFont(int32_t cw, int32_t ch, bool marked) {
  FontPtr font(FONTNew());
  font->cellWidth = cw;
  font->cellHeight = ch;
  font->glyphs = IMGNew();
  IMGResize(font->glyphs, 16 * cw, 8 * ch);
  for (int32_t y = 0; y < 8 * ch; ++y)
    for (int32_t x = 0; x < 16 * cw; ++x) {
      const uint32_t code = (y / ch) * 16 + x / cw;
      const uint32_t inside = (y % ch) * cw + x % cw;
      IMGSetPixel(font->glyphs, x, y,
                  marked ? ((code + 1) << 8) | inside : code);
    }
  return font;
}

ImagePtr Target(int32_t width, int32_t height) {
  return ImagePtr(test::MakeImage(width, height, {}));
}

// The characters of a one-row target of cells cw wide, read from each cell's
// top-left pixel; background reads as '.'.
std::string Text(const Image* target, int32_t cw) {
  std::string out;
  for (int32_t x = 0; x < target->width; x += cw) {
    const uint32_t v = IMGGetPixel(target, x, 0);
    out += v ? static_cast<char>(v) : '.';
  }
  return out;
}

TEST(FontNew, HasSixBySixCellsAndNoSheet) {
  FontPtr font(FONTNew());
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->cellWidth, 6);
  EXPECT_EQ(font->cellHeight, 6);
  EXPECT_EQ(font->glyphs, nullptr);
  ImagePtr target = Target(8, 8);
  const std::string out =
      test::StdoutOf([&] { FONTPutChar(font.get(), 'A', 0, 0, target.get()); });
  EXPECT_EQ(out, "");  // the trace switch is off
  EXPECT_EQ(test::Pixels(target.get()), std::vector<uint32_t>(64, 0));
}

struct PlaceCase {
  const char* name;
  int32_t code;
  int32_t gx, gy;  // the glyph's cell on the sheet; gx < 0: nothing drawn
};
void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class FontPutCharPlace : public testing::TestWithParam<PlaceCase> {};

// 8 x 8 cells on a 128 x 64 sheet, drawn at (5, 3) of a 20 x 14 target.
TEST_P(FontPutCharPlace, CopiesTheCodesCell) {
  const PlaceCase& c = GetParam();
  FontPtr font = SheetFont(8, 8, true);
  ImagePtr target = Target(20, 14);
  const std::string out = test::StdoutOf(
      [&] { FONTPutChar(font.get(), c.code, 5, 3, target.get()); });
  EXPECT_EQ(out, "");
  std::vector<uint32_t> want(20 * 14, 0);
  if (c.gx >= 0)
    for (int32_t j = 0; j < 8; ++j)
      for (int32_t i = 0; i < 8; ++i)
        want[(3 + j) * 20 + 5 + i] =
            IMGGetPixel(font->glyphs, c.gx + i, c.gy + j);
  EXPECT_EQ(test::Pixels(target.get()), want);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FontPutCharPlace,
    testing::Values(
        PlaceCase{"Code0", 0, 0, 0},
        PlaceCase{"Code15EndsTheFirstRow", 15, 120, 0},
        PlaceCase{"Code16StartsTheSecondRow", 16, 0, 8},
        PlaceCase{"Code65", 65, 8, 32}, PlaceCase{"Code127", 127, 120, 56},
        PlaceCase{"Minus1", -1, -1, 0}, PlaceCase{"Minus16", -16, -1, 0},
        PlaceCase{"Minus17", -17, -1, 0}, PlaceCase{"Minus128", -128, -1, 0},
        PlaceCase{"Code128BelowTheSheet", 128, -1, 0},
        PlaceCase{"Code1000", 1000, -1, 0},
        PlaceCase{"Int32Max", INT32_MAX, -1, 0},
        PlaceCase{"Int32Min", INT32_MIN, -1, 0},
        // (2^29 + 65) * 8 is code 65's offset plus 2^32.
        PlaceCase{"HugeCodeDoesNotWrapOntoAGlyph", (1 << 29) + 65, -1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct ClipCase {
  const char* name;
  int32_t x, y;
  int32_t left, top, right, bottom;  // target rectangle written, exclusive
};
void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }

class FontPutCharClip : public testing::TestWithParam<ClipCase> {};

// Code 65 of the 8 x 8 font onto a 12 x 10 target.
TEST_P(FontPutCharClip, ShowsOnlyThePartOnTheTarget) {
  const ClipCase& c = GetParam();
  FontPtr font = SheetFont(8, 8, true);
  ImagePtr target = Target(12, 10);
  FONTPutChar(font.get(), 65, c.x, c.y, target.get());
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 12; ++x) {
      const bool inside =
          x >= c.left && x < c.right && y >= c.top && y < c.bottom;
      const uint32_t want =
          inside ? (66u << 8) | uint32_t((y - c.y) * 8 + (x - c.x)) : 0;
      ASSERT_EQ(IMGGetPixel(target.get(), x, y), want) << x << ", " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, FontPutCharClip,
    testing::Values(ClipCase{"Inside", 2, 1, 2, 1, 10, 9},
                    ClipCase{"LeftThreeColumnsCut", -3, 0, 0, 0, 5, 8},
                    ClipCase{"TopCut", 0, -6, 0, 0, 8, 2},
                    ClipCase{"RightCut", 9, 0, 9, 0, 12, 8},
                    ClipCase{"BottomCut", 0, 7, 0, 7, 8, 10},
                    ClipCase{"JustLeftOfTheTarget", -8, 0, 0, 0, 0, 0},
                    ClipCase{"PastTheRightEdge", 12, 0, 0, 0, 0, 0},
                    ClipCase{"FarAway", INT32_MIN, INT32_MAX, 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FontPutChar, BackgroundPixelsKeepTheTarget) {
  FontPtr font(FONTNew());
  font->cellWidth = 2;
  font->cellHeight = 2;
  // Code 0: ink on the diagonal; code 1: background only.
  font->glyphs = test::MakeImage(4, 2, {7, 0, 0, 0, 0, 9, 0, 0});
  ImagePtr target(test::MakeImage(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}));
  FONTPutChar(font.get(), 0, 0, 0, target.get());
  FONTPutChar(font.get(), 1, 2, 0, target.get());
  EXPECT_EQ(test::Pixels(target.get()),
            (std::vector<uint32_t>{7, 2, 3, 4, 5, 9, 7, 8}));
}

TEST(FontPutChar, MissingTargetOrSheetPixelsReportThroughTheBlit) {
  FontPtr font = SheetFont(8, 8, false);
  EXPECT_EQ(test::StdoutOf([&] { FONTPutChar(font.get(), 1, 0, 0, nullptr); }),
            "IMG error\n");
}

TEST(FontPutChar, SheetWithoutWidthDrawsNothing) {
  FontPtr font(FONTNew());
  font->glyphs = IMGNew();
  IMGResize(font->glyphs, 0, 8);
  ImagePtr target = Target(8, 8);
  FONTPutChar(font.get(), 3, 0, 0, target.get());
  EXPECT_EQ(test::Pixels(target.get()), std::vector<uint32_t>(64, 0));
}

struct HexCase {
  const char* name;
  int width;  // 8, 16 or 32 bits
  uint32_t value;
  const char* want;
};
void PrintTo(const HexCase& c, std::ostream* os) { *os << c.name; }

class FontPutHex : public testing::TestWithParam<HexCase> {};

TEST_P(FontPutHex, DrawsUpperCaseDigitsOneCellApart) {
  const HexCase& c = GetParam();
  FontPtr font = SheetFont(8, 8, false);
  ImagePtr target = Target(8 * 10, 8);
  // Start one cell in, so that the leading cell shows nothing is drawn left.
  Image* t = target.get();
  if (c.width == 8) FONTPutHex8(font.get(), uint8_t(c.value), 8, 0, t);
  if (c.width == 16) FONTPutHex16(font.get(), uint16_t(c.value), 8, 0, t);
  if (c.width == 32) FONTPutHex32(font.get(), c.value, 8, 0, t);
  EXPECT_EQ(Text(target.get(), 8), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FontPutHex,
    testing::Values(HexCase{"Byte3A", 8, 0x3A, ".3A......."},
                    HexCase{"ByteZero", 8, 0x00, ".00......."},
                    HexCase{"ByteF9", 8, 0xF9, ".F9......."},
                    HexCase{"Half12AB", 16, 0x12AB, ".12AB....."},
                    HexCase{"HalfC0DE", 16, 0xC0DE, ".C0DE....."},
                    HexCase{"WordABE1", 32, 0xABE1, ".0000ABE1."},
                    HexCase{"WordMinusOne", 32, uint32_t(-1), ".FFFFFFFF."},
                    HexCase{"Word89ABCDEF", 32, 0x89ABCDEF, ".89ABCDEF."},
                    HexCase{"Word01234567", 32, 0x01234567, ".01234567."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FontPutHex, StepsByTheCellWidth) {
  FontPtr font = SheetFont(5, 3, false);
  ImagePtr target = Target(5 * 9, 3);
  FONTPutHex32(font.get(), 0xDEADBEEF, 0, 0, target.get());
  EXPECT_EQ(Text(target.get(), 5), "DEADBEEF.");
}

struct LineCase {
  const char* name;
  const char* text;
  int32_t x;
  const char* want;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class FontPutLineText : public testing::TestWithParam<LineCase> {};

TEST_P(FontPutLineText, DrawsTheFirstLineOneCellApart) {
  const LineCase& c = GetParam();
  FontPtr font = SheetFont(5, 3, false);
  ImagePtr target = Target(5 * 8, 3);
  FONTPutLine(font.get(), c.text, c.x, 0, target.get());
  EXPECT_EQ(Text(target.get(), 5), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FontPutLineText,
    testing::Values(LineCase{"StopsAtTheLineFeed", "AB\nYZ", 0, "AB......"},
                    LineCase{"StopsAtTheEndWithoutLineFeed", "HELLO", 5,
                             ".HELLO.."},
                    LineCase{"EmptyLine", "\nAB", 0, "........"},
                    LineCase{"HighBytesDrawNothing", "a\xE9z", 0, "a.z....."},
                    LineCase{"StartLeftOfTheTarget", "wxyz", -10, "yz......"},
                    LineCase{"PastTheRightEdge", "0123456789", 0, "01234567"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FontNone, MissingFontOrTextDrawsNothingSilently) {
  FontPtr font = SheetFont(8, 8, false);
  Font* bare = FONTNew();
  ImagePtr target = Target(64, 8);
  const std::string out = test::StdoutOf([&] {
    FONTPutChar(nullptr, 'A', 0, 0, target.get());
    FONTPutHex8(nullptr, 0x12, 0, 0, target.get());
    FONTPutHex16(nullptr, 0x1234, 0, 0, target.get());
    FONTPutHex32(nullptr, 0x12345678, 0, 0, target.get());
    FONTPutLine(nullptr, "AB", 0, 0, target.get());
    FONTPutLine(font.get(), nullptr, 0, 0, target.get());
    FONTPutHex32(bare, 0x12345678, 0, 0, target.get());
    FONTPutLine(bare, "AB", 0, 0, target.get());
    FONTError();
  });
  EXPECT_EQ(out, "");
  EXPECT_EQ(test::Pixels(target.get()), std::vector<uint32_t>(64 * 8, 0));
  FONTFree(&bare);
}

TEST(FontFree, ReleasesTheSheetAndClearsTheHandle) {
  Font* font = SheetFont(8, 8, false).release();
  FONTFree(&font);
  EXPECT_EQ(font, nullptr);
  EXPECT_EQ(test::StdoutOf([&] {
              FONTFree(&font);
              FONTFree(nullptr);
            }),
            "");
}

}  // namespace
