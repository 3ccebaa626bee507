// The text's colour read back from a rendered frame: every printable glyph's
// cell must give the colour of its own ink, wherever on the screen it stands.
#include "render/ink.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/render.h"
#include "tests/test_support.h"

namespace {

using test::ImagePtr;

using Screen = test::CellScreen;

// The real glyphs, each ink pixel a colour of its own place on the sheet, so
// that a sample taken from the wrong pixel of the right glyph shows too.
ImagePtr PlacedInkSheet() {
  ImagePtr sheet(IMGLoad(INTRO_SOURCE_DIR "/data/font8x8.ppm"));
  if (!sheet) return nullptr;
  for (int32_t y = 0; y < sheet->height; ++y)
    for (int32_t x = 0; x < sheet->width; ++x) {
      uint32_t& p = sheet->pixels[size_t(y) * sheet->width + x];
      if (p) p = 0x800000u | uint32_t(x) << 8 | uint32_t(y);
    }
  return sheet;
}

// The first ink pixel of the cell at (col, row) of frame, looked for pixel by
// pixel: what the terminal should show for that cell's glyph.
uint32_t FirstInkOfCell(const Image* frame, int32_t col, int32_t row) {
  for (int32_t y = row * 8; y < row * 8 + 8; ++y)
    for (int32_t x = col * 8; x < col * 8 + 8; ++x)
      if (uint32_t p = frame->pixels[size_t(y) * frame->width + x]) return p;
  return 0;
}

TEST(Ink, EveryPrintableGlyphGivesTheColourOfItsOwnInk) {
  ImagePtr sheet = PlacedInkSheet();
  ASSERT_NE(sheet, nullptr);
  Font font{8, 8, sheet.get()};
  InkMap map;
  ASSERT_TRUE(INKFind(&font, &map));
  int32_t inked = 0;
  for (int32_t code = 33; code <= 126; ++code) {
    // Alone on the screen, away from the first row and column.
    Screen s(10, 6);
    s.cells[3 * 10 + 7] = code;
    ImagePtr frame(test::MakeImage(80, 48, {}));
    DEMORender(frame.get(), &s.screen, &font);
    const uint32_t want = FirstInkOfCell(frame.get(), 7, 3);
    EXPECT_EQ(INKSample(frame.get(), &s.screen, &font, &map, 0xABCDEF),
              want ? want : 0xABCDEFu)
        << "code " << code << " ('" << char(code) << "')";
    inked += want != 0;
  }
  EXPECT_GT(inked, 90);  // the shipped font inks nearly all of them
}

TEST(Ink, IsTheFirstInkedCellsAndFollowsTheFade) {
  ImagePtr sheet(IMGLoad(INTRO_SOURCE_DIR "/data/font8x8.ppm"));
  ASSERT_NE(sheet, nullptr);
  Font font{8, 8, sheet.get()};
  InkMap map;
  ASSERT_TRUE(INKFind(&font, &map));
  EXPECT_EQ(map.first, 0xC0E0C0u);  // the shipped sheet's one ink colour
  Screen s(10, 6);
  s.cells[12] = ' ';
  s.cells[25] = 'A';
  ImagePtr frame(test::MakeImage(80, 48, {}));
  DEMORender(frame.get(), &s.screen, &font);
  for (size_t i = 0; i < size_t(80 * 48); ++i)
    if (frame->pixels[i]) frame->pixels[i] -= 0x101010;  // a fade's step
  EXPECT_EQ(INKSample(frame.get(), &s.screen, &font, &map, 0), 0xB0D0B0u);
}

TEST(Ink, FallsBackWithoutTextOrSheet) {
  ImagePtr sheet(IMGLoad(INTRO_SOURCE_DIR "/data/font8x8.ppm"));
  ASSERT_NE(sheet, nullptr);
  Font font{8, 8, sheet.get()};
  InkMap map;
  ASSERT_TRUE(INKFind(&font, &map));
  Screen blank(10, 6);
  ImagePtr frame(test::MakeImage(80, 48, {}));
  EXPECT_EQ(INKSample(frame.get(), &blank.screen, &font, &map, 7u), 7u);
  // A glyph outside the frame (the frame smaller than the screen) is passed.
  blank.cells[5 * 10 + 9] = 'A';
  ImagePtr small(test::MakeImage(40, 24, {}));
  EXPECT_EQ(INKSample(small.get(), &blank.screen, &font, &map, 7u), 7u);
  Font bare{8, 8, nullptr};
  EXPECT_FALSE(INKFind(&bare, &map));
  EXPECT_FALSE(map.any);
}

}  // namespace
