// The per-frame render: DEMORender must give exactly the pixels and the error
// reports of one FONTPutChar per cell, whatever the screen, the sheet, the
// cell size and the image size; DEMORenderFrame, which draws only the cells
// that changed, must give exactly the pixels of clearing and rendering in
// full, and name every pixel it changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
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
void RandomCells(std::mt19937& rng, std::vector<int32_t>& cells,
                 int32_t glyphCount) {
  for (int32_t& cell : cells) {
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
    RandomCells(rng, s.cells, perRow * ((height + 7) / 8));
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
    RandomCells(rng, s.cells, 128);
    ImagePtr target(RandomTarget(rng, 83, 53));
    ExpectPlainResult(target.get(), &s.screen, &font);
  }
}

TEST(DemoRender, MissingFontSheetOrPixelsReportLikeThePlainLoop) {
  std::mt19937 rng(1);
  ImagePtr sheet(RandomSheet(rng, 16, 64));
  Screen s(5, 3);
  RandomCells(rng, s.cells, 128);
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
  RandomCells(rng, s.cells, 128);
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

// ---- Frames drawn where they changed --------------------------------------

struct CacheDeleter {
  void operator()(RenderCache* cache) const { DEMORenderCacheFree(&cache); }
};
using CachePtr = std::unique_ptr<RenderCache, CacheDeleter>;

// The plain path: the image cleared, then every cell rendered.
void PlainFrame(Image* image, const TextScreen* screen, const Font* font) {
  IMGClear(image);
  DEMORender(image, screen, font);
}

// Every pixel that differs between before and after lies inside one of the
// rectangles, which lie inside the image. "" when so.
std::string UnlistedChange(const Image* before, const Image* after,
                           const ImageRect* rects, int32_t count) {
  std::vector<bool> listed(size_t(after->width) * size_t(after->height));
  for (int32_t k = 0; k < count; ++k) {
    const ImageRect& r = rects[k];
    if (r.x < 0 || r.y < 0 || r.w <= 0 || r.h <= 0 ||
        r.x + r.w > after->width || r.y + r.h > after->height)
      return "rectangle " + std::to_string(k) + " is empty or leaves the image";
    for (int32_t y = r.y; y < r.y + r.h; ++y)
      for (int32_t x = r.x; x < r.x + r.w; ++x)
        listed[size_t(y) * after->width + x] = true;
  }
  for (size_t i = 0; i < listed.size(); ++i)
    if (before->pixels[i] != after->pixels[i] && !listed[i])
      return "pixel (" + std::to_string(i % after->width) + ", " +
             std::to_string(i / after->width) + ") changed unlisted";
  return "";
}

// What one step of a random sequence changes before the next frame.
enum class Step {
  FewCells,      // a handful of cells, as stars and a scroller move
  ManyCells,     // a new random screen, as the map's drift
  Nothing,       // the same screen again
  Blank,         // every cell blank (a scene's first fill)
  NewSheet,      // another glyph sheet, as a new font would bring
  CellSize,      // the font's cells 6, 8 or 16 wide and high
  ResizeScreen,  // the text screen gets another size
  ResizeImage,   // the frame image gets a new pixel array and size
  Fade,          // the image darkened in place, announced
};
constexpr int kSteps = 9;

// A text screen whose size can change, its cells owned by the test.
struct Grid {
  std::vector<int32_t> cells;
  TextScreen screen{};
  void Resize(int32_t cols, int32_t rows) {
    cells.assign(size_t(cols) * size_t(rows), 32);
    screen = TextScreen{cols, rows, cells.data(), 0};
  }
};

TEST(DemoRenderFrame, RandomSequencesOfChangesGiveThePlainPathsPixels) {
  std::mt19937 rng(20081029);
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    std::vector<ImagePtr> sheets;
    sheets.emplace_back(RandomSheet(rng, 16, 64));
    Font font = FontOf(sheets.back().get());
    Grid grid;
    grid.Resize(1 + int32_t(rng() % 90), 1 + int32_t(rng() % 20));
    RandomCells(rng, grid.cells, 128);
    // Images sized to the grid, or cut short of it, or wider than it.
    auto imageSize = [&](int32_t cells) {
      return std::max<int32_t>(0, 8 * cells + int32_t(rng() % 21) - 10);
    };
    ImagePtr fast(RandomTarget(rng, imageSize(grid.screen.cols),
                               imageSize(grid.screen.rows)));
    ImagePtr plain(IMGCopy(fast.get()));
    CachePtr cache(DEMORenderCacheNew());
    ASSERT_NE(cache, nullptr);
    for (int frame = 0; frame < 30; ++frame) {
      const Step step = frame == 0 ? Step::Nothing : Step(rng() % kSteps);
      SCOPED_TRACE("frame " + std::to_string(frame) + ", step " +
                   std::to_string(int(step)));
      const size_t n = grid.cells.size();
      switch (step) {
        case Step::FewCells:
          for (int k = int(rng() % 12); k >= 0; --k)
            grid.cells[rng() % n] =
                rng() % 3 ? int32_t(rng() % 128) : int32_t(rng());
          break;
        case Step::ManyCells:
          for (int32_t& cell : grid.cells)
            if (rng() % 2) cell = rng() % 4 ? 32 : int32_t(rng() % 130);
          break;
        case Step::Nothing:
          break;
        case Step::Blank:
          std::fill(grid.cells.begin(), grid.cells.end(), 32);
          break;
        case Step::NewSheet:
          // The old sheet is kept, so the new one cannot take its address.
          sheets.emplace_back(RandomSheet(rng, 1 + int32_t(rng() % 20),
                                          int32_t(rng() % 90)));
          font.glyphs = sheets.back().get();
          break;
        case Step::CellSize: {
          const int32_t sizes[] = {8, 6, 16};
          font.cellWidth = sizes[rng() % 3];
          font.cellHeight = sizes[rng() % 3];
          break;
        }
        case Step::ResizeScreen: {
          const std::vector<int32_t> old = grid.cells;
          grid.Resize(1 + int32_t(rng() % 90), 1 + int32_t(rng() % 20));
          for (size_t i = 0; i < grid.cells.size() && i < old.size(); ++i)
            grid.cells[i] = old[i];
          break;
        }
        case Step::ResizeImage: {
          const int32_t w = imageSize(grid.screen.cols);
          const int32_t h = imageSize(grid.screen.rows);
          IMGResize(fast.get(), w, h);
          IMGResize(plain.get(), w, h);
          break;
        }
        case Step::Fade:
          // As the fade writes into the image: every channel down by 64.
          for (Image* image : {fast.get(), plain.get()})
            for (size_t i = 0; i < size_t(image->width) * image->height; ++i) {
              const uint32_t p = image->pixels[i];
              uint32_t q = 0;
              for (int shift = 0; shift < 24; shift += 8) {
                const uint32_t c = (p >> shift) & 0xFF;
                q |= (c > 64 ? c - 64 : 0) << shift;
              }
              image->pixels[i] = q;
            }
          DEMORenderInvalidate(cache.get());
          break;
      }
      ImagePtr before(IMGCopy(fast.get()));
      DEMORenderFrame(cache.get(), fast.get(), &grid.screen, &font);
      PlainFrame(plain.get(), &grid.screen, &font);
      ASSERT_EQ(FirstDifference(fast.get(), plain.get()), "");
      int32_t count = -1;
      const ImageRect* rects =
          DEMORenderChanges(cache.get(), fast.get(), &count);
      if (rects)
        ASSERT_EQ(UnlistedChange(before.get(), fast.get(), rects, count), "");
      else
        EXPECT_EQ(count, 0);
    }
  }
}

// A screen of the intro's size: the frames after the first draw only what
// changed, and say so; only a frame of the full path lists nothing.
TEST(DemoRenderFrame, ListsOnlyTheCellsThatChanged) {
  ImagePtr sheet(IMGLoad(INTRO_SOURCE_DIR "/data/font8x8.ppm"));
  ASSERT_NE(sheet, nullptr);
  Font font = FontOf(sheet.get());
  Screen s(80, 60);
  ImagePtr frame(test::MakeImage(640, 480, {}));
  CachePtr cache(DEMORenderCacheNew());
  int32_t count = -1;
  DEMORenderFrame(cache.get(), frame.get(), &s.screen, &font);
  EXPECT_EQ(DEMORenderChanges(cache.get(), frame.get(), &count), nullptr);

  DEMORenderFrame(cache.get(), frame.get(), &s.screen, &font);
  ASSERT_NE(DEMORenderChanges(cache.get(), frame.get(), &count), nullptr);
  EXPECT_EQ(count, 0);

  // Two cells far apart on one row, and a run of three on the next: the
  // run's rectangle is its three cells, the two cells get one each.
  s.cells[10 * 80 + 2] = 'A';
  s.cells[10 * 80 + 70] = 'B';
  for (int c = 30; c < 33; ++c) s.cells[11 * 80 + c] = 'C';
  DEMORenderFrame(cache.get(), frame.get(), &s.screen, &font);
  const ImageRect* rects = DEMORenderChanges(cache.get(), frame.get(), &count);
  ASSERT_NE(rects, nullptr);
  ASSERT_EQ(count, 3);
  EXPECT_EQ((std::vector<int32_t>{rects[0].x, rects[0].y, rects[0].w,
                                  rects[0].h, rects[1].x, rects[2].x,
                                  rects[2].y, rects[2].w}),
            (std::vector<int32_t>{16, 80, 8, 8, 560, 240, 88, 24}));

  // Another image, then an invalidate: the whole image again.
  ImagePtr other(test::MakeImage(640, 480, {}));
  EXPECT_EQ(DEMORenderChanges(cache.get(), other.get(), &count), nullptr);
  DEMORenderInvalidate(cache.get());
  EXPECT_EQ(DEMORenderChanges(cache.get(), frame.get(), &count), nullptr);
  EXPECT_EQ(count, 0);
}

// Stars: many single cells all over the screen. Their rectangles stay within
// the limit, or are replaced by the one box around them all; every third cell
// of a wide screen gives more runs than the limit.
TEST(DemoRenderFrame, ManyScatteredChangesStayListed) {
  std::mt19937 rng(512);
  ImagePtr sheet(IMGLoad(INTRO_SOURCE_DIR "/data/font8x8.ppm"));
  ASSERT_NE(sheet, nullptr);
  Font font = FontOf(sheet.get());
  Screen s(240, 60);
  ImagePtr frame(test::MakeImage(1920, 480, {}));
  CachePtr cache(DEMORenderCacheNew());
  DEMORenderFrame(cache.get(), frame.get(), &s.screen, &font);
  for (int changed : {10, 200, 2000, 0}) {
    SCOPED_TRACE(std::to_string(changed) + " cells changed");
    for (int k = 0; k < changed; ++k)
      s.cells[rng() % s.cells.size()] = rng() % 2 ? '*' : 32;
    if (changed == 0)  // every third cell
      for (size_t i = 0; i < s.cells.size(); i += 3)
        s.cells[i] = s.cells[i] == '#' ? 'o' : '#';
    ImagePtr before(IMGCopy(frame.get()));
    DEMORenderFrame(cache.get(), frame.get(), &s.screen, &font);
    int32_t count = -1;
    const ImageRect* rects =
        DEMORenderChanges(cache.get(), frame.get(), &count);
    ASSERT_NE(rects, nullptr);
    EXPECT_LE(count, DEMO_RENDER_RECTS);
    if (changed == 0) {
      EXPECT_EQ(count, 1);
    }
    EXPECT_EQ(UnlistedChange(before.get(), frame.get(), rects, count), "");
  }
}

}  // namespace
