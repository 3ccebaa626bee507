// The per-frame render: DEMORender must give exactly the pixels and the error
// reports of one FONTPutChar per cell, whatever the screen, the sheet, the
// cell size and the image size.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "render/render.h"
#include "tests/test_support.h"

namespace {

using test::ImagePtr;

using Screen = test::CellScreen;

// A font that does not own its sheet, so that tests can share or swap it.
Font FontOf(Image* sheet, int32_t cw = 8, int32_t ch = 8) {
  return Font{cw, ch, sheet};
}

// The plain algorithm written out pixel by pixel: for every cell, in storage
// order, each pixel of the cw x ch glyph rectangle at the layout position is
// copied to (8 col + i, 8 row + j) when it lies inside both images and is not
// 0. Reads and writes happen in that order, so a target that is its own sheet
// sees what earlier cells drew.
void ModelRender(Image* image, const TextScreen* screen, const Font* font) {
  const Image* sheet = font->glyphs;
  if (!sheet || !sheet->pixels || !image->pixels || sheet->width <= 0) return;
  const int64_t cw = font->cellWidth, ch = font->cellHeight;
  for (int32_t r = 0; r < screen->rows; ++r)
    for (int32_t c = 0; c < screen->cols; ++c) {
      const int64_t p =
          int64_t(screen->cells[size_t(r) * screen->cols + c]) * cw;
      const int64_t gx = p % sheet->width, gy = p / sheet->width * ch;
      for (int64_t j = 0; j < ch; ++j)
        for (int64_t i = 0; i < cw; ++i) {
          const int64_t sx = gx + i, sy = gy + j, dx = 8 * c + i,
                        dy = 8 * r + j;
          if (sx < 0 || sy < 0 || sx >= sheet->width || sy >= sheet->height ||
              dx < 0 || dy < 0 || dx >= image->width || dy >= image->height)
            continue;
          const uint32_t v = sheet->pixels[sy * sheet->width + sx];
          if (v) image->pixels[dy * image->width + dx] = v;
        }
    }
}

// One FONTPutChar per cell: the reference for the error reports.
void PutCharRender(Image* image, const TextScreen* screen, const Font* font) {
  for (int32_t r = 0; r < screen->rows; ++r)
    for (int32_t c = 0; c < screen->cols; ++c)
      FONTPutChar(font, screen->cells[size_t(r) * screen->cols + c], 8 * c,
                  8 * r, image);
}

// Where two images first differ, for the failure message.
std::string FirstDifference(const Image* got, const Image* want) {
  if (got->width != want->width || got->height != want->height)
    return "sizes differ";
  for (int32_t y = 0; y < got->height; ++y)
    for (int32_t x = 0; x < got->width; ++x) {
      const uint32_t a = got->pixels[size_t(y) * got->width + x];
      const uint32_t b = want->pixels[size_t(y) * want->width + x];
      if (a != b)
        return "pixel (" + std::to_string(x) + ", " + std::to_string(y) +
               "): got " + std::to_string(a) + ", want " + std::to_string(b);
    }
  return "";
}

// Renders with DEMORender and with the model on copies of target, and
// expects the same pixels, and the same output as the per-cell loop.
void ExpectPlainResult(const Image* target, const TextScreen* screen,
                       const Font* font) {
  ImagePtr fast(IMGCopy(target)), model(IMGCopy(target)),
      plain(IMGCopy(target));
  const std::string said =
      test::StdoutOf([&] { DEMORender(fast.get(), screen, font); });
  const std::string wanted =
      test::StdoutOf([&] { PutCharRender(plain.get(), screen, font); });
  ModelRender(model.get(), screen, font);
  EXPECT_EQ(said, wanted);
  EXPECT_EQ(FirstDifference(fast.get(), model.get()), "");
  EXPECT_EQ(FirstDifference(plain.get(), model.get()), "");
}

// Ink values that a sign or top-byte slip would get wrong, beside colours.
uint32_t RandomInk(std::mt19937& rng) {
  static const uint32_t odd[] = {1,           0x80000000u, 0xFF000000u,
                                 0xFFFFFFFFu, 0x00FFFFFFu, 0x7FFFFFFFu};
  return rng() % 4 ? rng() | 1 : odd[rng() % 6];
}

// A sheet of perRow x gridRows glyphs of cw x ch, height cut to `height`
// rows. Each glyph is empty, has some empty rows, or some full rows.
Image* RandomSheet(std::mt19937& rng, int32_t perRow, int32_t height,
                   int32_t cw = 8, int32_t ch = 8) {
  Image* sheet = test::MakeImage(perRow * cw, height, {});
  const int32_t gridRows = (height + ch - 1) / ch;
  for (int32_t g = 0; g < perRow * gridRows; ++g) {
    const uint32_t kind = rng() % 4;  // 0: empty, 1: sparse, 2: rows, 3: dense
    if (kind == 0) continue;
    for (int32_t j = 0; j < ch; ++j) {
      const uint32_t rowKind = rng() % 3;  // 0: empty, 1: full, 2: mixed
      for (int32_t i = 0; i < cw; ++i) {
        bool ink = kind == 1   ? rng() % 8 == 0
                   : kind == 2 ? rowKind == 1 || (rowKind == 2 && rng() % 2)
                               : rng() % 4 != 0;
        if (ink)
          IMGSetPixel(sheet, (g % perRow) * cw + i, (g / perRow) * ch + j,
                      RandomInk(rng));
      }
    }
  }
  return sheet;
}

// Mostly blanks; the rest are glyphs, negative codes, codes past the sheet
// and extremes.
void RandomCells(std::mt19937& rng, Screen& s, int32_t glyphCount) {
  for (int32_t& cell : s.cells) {
    const uint32_t pick = rng() % 20;
    if (pick < 12)
      cell = 32;
    else if (pick < 16)
      cell = int32_t(rng() % uint32_t(glyphCount + 1));
    else if (pick == 16)
      cell = -int32_t(rng() % 300) - 1;
    else if (pick == 17)
      cell = glyphCount + int32_t(rng() % 300);
    else if (pick == 18)
      cell = int32_t(rng() % 512);
    else
      cell = rng() % 2 ? INT32_MAX : INT32_MIN;
  }
}

Image* RandomTarget(std::mt19937& rng, int32_t width, int32_t height) {
  Image* target = test::MakeImage(width, height, {});
  for (int32_t i = 0; i < width * height; ++i)
    if (rng() % 3 == 0) target->pixels[i] = rng();
  return target;
}

TEST(DemoRender, MatchesPlainLoopOnRandomScreensSheetsAndSizes) {
  std::mt19937 rng(20081111);
  for (int trial = 0; trial < 400; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const int32_t perRow = 1 + int32_t(rng() % 20);
    const int32_t height = int32_t(rng() % 90);  // not always whole cells
    ImagePtr sheet(RandomSheet(rng, perRow, height));
    Font font = FontOf(sheet.get());
    // Some screens wider than the 64 cells the render passes over at once.
    Screen s(int32_t(rng() % 4 ? rng() % 14 : 60 + rng() % 90),
             int32_t(rng() % 12));
    RandomCells(rng, s, perRow * ((height + 7) / 8));
    // From well inside the screen's pixels to well past them, cut anywhere.
    ImagePtr target(RandomTarget(rng, int32_t(rng() % (8 * s.screen.cols + 20)),
                                 int32_t(rng() % (8 * s.screen.rows + 20))));
    ExpectPlainResult(target.get(), &s.screen, &font);
  }
}

TEST(DemoRender, OtherCellSizesAndSheetWidthsMatchPlainLoop) {
  struct Geometry {
    int32_t cw, ch, sheetWidth;
  };
  const Geometry cases[] = {
      {6, 6, 96}, {8, 6, 128}, {7, 8, 112}, {16, 16, 256}, {8, 8, 100},
      {8, 8, 4},  {8, 8, 0},   {0, 8, 64},  {8, -8, 64},   {-8, 8, 64}};
  std::mt19937 rng(20080531);
  for (const Geometry& g : cases) {
    SCOPED_TRACE(std::to_string(g.cw) + "x" + std::to_string(g.ch) +
                 " cells, sheet " + std::to_string(g.sheetWidth) + " wide");
    ImagePtr sheet(test::MakeImage(g.sheetWidth, 64, {}));
    for (int32_t i = 0; i < g.sheetWidth * 64; ++i)
      if (rng() % 3) sheet->pixels[i] = RandomInk(rng);
    Font font = FontOf(sheet.get(), g.cw, g.ch);
    Screen s(11, 7);
    RandomCells(rng, s, 128);
    ImagePtr target(RandomTarget(rng, 83, 53));
    ExpectPlainResult(target.get(), &s.screen, &font);
  }
}

TEST(DemoRender, MissingFontSheetOrPixelsReportLikeThePlainLoop) {
  std::mt19937 rng(1);
  ImagePtr sheet(RandomSheet(rng, 16, 64));
  Screen s(5, 3);
  RandomCells(rng, s, 128);
  ImagePtr target(test::MakeImage(40, 24, {}));

  Font noSheet = FontOf(nullptr);
  ExpectPlainResult(target.get(), &s.screen, &noSheet);

  // No pixel array on the target, then on the sheet: IMGBlit reports once
  // per cell that reaches it.
  Image bare{40, 24, nullptr};
  Font font = FontOf(sheet.get());
  const std::string want =
      test::StdoutOf([&] { PutCharRender(&bare, &s.screen, &font); });
  std::string perCell;
  for (int i = 0; i < 5 * 3; ++i) perCell += "IMG error\n";
  EXPECT_EQ(want, perCell);
  EXPECT_EQ(test::StdoutOf([&] { DEMORender(&bare, &s.screen, &font); }), want);
  EXPECT_EQ(test::StdoutOf([&] { DEMORender(nullptr, &s.screen, &font); }),
            want);

  Image bareSheet{128, 64, nullptr};
  Font bareFont = FontOf(&bareSheet);
  ExpectPlainResult(target.get(), &s.screen, &bareFont);
  EXPECT_EQ(test::StdoutOf([&] { DEMORender(target.get(), nullptr, &font); }),
            "");
}

TEST(DemoRender, SheetChangedBetweenFramesIsDrawnAsItIsNow) {
  std::mt19937 rng(7);
  ImagePtr sheet(test::MakeImage(128, 64, {}));  // every glyph empty
  Font font = FontOf(sheet.get());
  Screen s(10, 6);
  RandomCells(rng, s, 128);
  ImagePtr target(test::MakeImage(80, 48, {}));
  DEMORender(target.get(), &s.screen, &font);
  EXPECT_EQ(test::Pixels(target.get()), std::vector<uint32_t>(80 * 48, 0));

  // Ink in the blank and in the last row of a glyph that had none.
  IMGSetPixel(sheet.get(), 0 + 3, 16 + 5, 0xABCDEF);  // code 32, row 5
  IMGSetPixel(sheet.get(), 8 + 7, 32 + 7, 0x123456);  // code 65, row 7
  s.cells[0] = 65;
  ExpectPlainResult(target.get(), &s.screen, &font);
}

TEST(DemoRender, TargetThatIsItsOwnSheetSeesEarlierCells) {
  // The sheet is also the target: cell k draws over glyph k, so a glyph read
  // before a cell drew over it must be read again afterwards.
  std::mt19937 rng(3);
  for (int trial = 0; trial < 50; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    ImagePtr sheet(RandomSheet(rng, 8, 48));  // 64 x 48, 48 glyphs
    Font font = FontOf(sheet.get());
    Screen s(8, 6);
    for (int32_t& cell : s.cells) cell = int32_t(rng() % 48);
    ImagePtr model(IMGCopy(sheet.get()));
    Font modelFont = FontOf(model.get());
    DEMORender(sheet.get(), &s.screen, &font);
    ModelRender(model.get(), &s.screen, &modelFont);
    EXPECT_EQ(FirstDifference(sheet.get(), model.get()), "");
  }
}

TEST(DemoRender, RealFontOnEveryCodeMatchesPlainLoop) {
  ImagePtr sheet(IMGLoad(INTRO_SOURCE_DIR "/data/font8x8.ppm"));
  ASSERT_NE(sheet, nullptr);
  ASSERT_EQ(sheet->width, 128);
  Font font = FontOf(sheet.get());
  // 80 x 60 cells: every byte value sign-extended, as the text screen holds
  // them, then blanks.
  Screen s(80, 60);
  for (int32_t i = 0; i < 256; ++i) s.cells[size_t(i) * 7] = int8_t(i);
  ImagePtr target(test::MakeImage(640, 480, {}));
  ExpectPlainResult(target.get(), &s.screen, &font);
  // The full-screen geometry, and a window narrower than the screen.
  ImagePtr small(test::MakeImage(320, 200, {}));
  ExpectPlainResult(small.get(), &s.screen, &font);
}

}  // namespace
